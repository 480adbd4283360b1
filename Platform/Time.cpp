// winmm's millisecond clock over the monotonic system clock, with a test override.
#include <windows.h>
#include <PlatformTest.h>

#include <time.h>

namespace {
struct ClockOverride {
    bool active = false;
    DWORD now = 0;
};
ClockOverride& TestClock() {
    static ClockOverride clock;
    return clock;
}
}  // namespace

DWORD WINAPI timeGetTime(void) {
    const ClockOverride& clock = TestClock();
    if (clock.active) return clock.now;
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
}

void PlatformTest_SetClock(DWORD milliseconds) {
    TestClock().active = true;
    TestClock().now = milliseconds;
}

void PlatformTest_AdvanceClock(DWORD milliseconds) {
    ClockOverride& clock = TestClock();
    if (!clock.active) {
        clock.now = timeGetTime();
        clock.active = true;
    }
    clock.now += milliseconds;
}

void PlatformTest_UseSystemClock() { TestClock().active = false; }

namespace {
void FromCalendar(const tm& t, long nanoseconds, LPSYSTEMTIME out) {
    out->wYear = static_cast<WORD>(t.tm_year + 1900);
    out->wMonth = static_cast<WORD>(t.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(t.tm_wday);
    out->wDay = static_cast<WORD>(t.tm_mday);
    out->wHour = static_cast<WORD>(t.tm_hour);
    out->wMinute = static_cast<WORD>(t.tm_min);
    out->wSecond = static_cast<WORD>(t.tm_sec);
    out->wMilliseconds = static_cast<WORD>(nanoseconds / 1000000);
}
}  // namespace

VOID WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    if (!lpSystemTime) return;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t{};
    localtime_r(&ts.tv_sec, &t);
    FromCalendar(t, ts.tv_nsec, lpSystemTime);
}

VOID WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    if (!lpSystemTime) return;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t{};
    gmtime_r(&ts.tv_sec, &t);
    FromCalendar(t, ts.tv_nsec, lpSystemTime);
}
