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

// A wall clock set by a test: the calendar time at the moment it was set and timeGetTime
// then, so that it moves on with the millisecond clock.
struct WallOverride {
    bool active = false;
    time_t seconds = 0;
    DWORD milliseconds = 0;
    DWORD setAt = 0;
};
WallOverride& TestWall() {
    static WallOverride wall;
    return wall;
}

void Calendar(bool local, LPSYSTEMTIME out) {
    if (!out) return;
    time_t seconds = 0;
    long milliseconds = 0;
    const WallOverride& wall = TestWall();
    if (wall.active) {
        const uint64_t total = static_cast<uint64_t>(wall.milliseconds) + (timeGetTime() - wall.setAt);
        seconds = wall.seconds + static_cast<time_t>(total / 1000);
        milliseconds = static_cast<long>(total % 1000);
        local = false;
    } else {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        seconds = ts.tv_sec;
        milliseconds = ts.tv_nsec / 1000000;
    }
    tm t{};
    if (local) localtime_r(&seconds, &t);
    else gmtime_r(&seconds, &t);
    out->wYear = static_cast<WORD>(t.tm_year + 1900);
    out->wMonth = static_cast<WORD>(t.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(t.tm_wday);
    out->wDay = static_cast<WORD>(t.tm_mday);
    out->wHour = static_cast<WORD>(t.tm_hour);
    out->wMinute = static_cast<WORD>(t.tm_min);
    out->wSecond = static_cast<WORD>(t.tm_sec);
    out->wMilliseconds = static_cast<WORD>(milliseconds);
}

}  // namespace

VOID WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) { Calendar(true, lpSystemTime); }

VOID WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) { Calendar(false, lpSystemTime); }

void PlatformTest_SetLocalTime(const SYSTEMTIME& time) {
    tm t{};
    t.tm_year = time.wYear - 1900;
    t.tm_mon = time.wMonth - 1;
    t.tm_mday = time.wDay;
    t.tm_hour = time.wHour;
    t.tm_min = time.wMinute;
    t.tm_sec = time.wSecond;
    WallOverride& wall = TestWall();
    wall.active = true;
    wall.seconds = timegm(&t);
    wall.milliseconds = time.wMilliseconds % 1000u;
    wall.setAt = timeGetTime();
}

void PlatformTest_UseSystemLocalTime() { TestWall().active = false; }
