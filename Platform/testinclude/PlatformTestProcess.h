// The process's part of the platform's test interface: the command line GetCommandLineA
// answers and the priority the main thread was given. The engine never includes it.
#pragma once

#include <windows.h>

// The text GetCommandLineA returns from now on (copied).
void PlatformTest_SetCommandLine(const char* commandLine);
// The calling thread's priority, as SetThreadPriority last set it (0 at start).
int PlatformTest_ThreadPriority();
// Back to priority 0 and an empty command line.
void PlatformTest_ResetProcess();
