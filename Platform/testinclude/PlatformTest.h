// The test interface of the Linux platform layer. Tests use it to drive what the
// engine sees of the system; the engine never includes it.
#pragma once

#include <windows.h>

// The millisecond clock behind timeGetTime. While a test clock is set, timeGetTime
// returns it; otherwise the monotonic system clock.
void PlatformTest_SetClock(DWORD milliseconds);
void PlatformTest_AdvanceClock(DWORD milliseconds);
void PlatformTest_UseSystemClock();

// The wall clock behind GetLocalTime and GetSystemTime (the test zone is UTC, so both
// answer the same). From the moment it is set it runs on with timeGetTime, so a test clock
// decides how it moves. SYSTEMTIME's day of the week is recomputed from the date.
void PlatformTest_SetLocalTime(const SYSTEMTIME& time);
void PlatformTest_UseSystemLocalTime();
