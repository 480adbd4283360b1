// The multimedia timer of winmm.
#pragma once

#include <windows.h>

// Milliseconds since the system started, wrapping at 2^32.
DWORD WINAPI timeGetTime(void);
