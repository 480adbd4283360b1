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
