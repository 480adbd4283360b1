// Processes and threads: the command line and the calling thread's priority. Included by
// windows.h.
#pragma once

#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_ERROR_RETURN (0x7FFFFFFF)

#ifdef __cplusplus
extern "C" {
#endif
// The whole command line of the process, program name first.
LPSTR WINAPI GetCommandLineA(void);
// A pseudo handle that stands for the calling thread wherever it is passed.
HANDLE WINAPI GetCurrentThread(void);
BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority);
int WINAPI GetThreadPriority(HANDLE hThread);
#ifdef __cplusplus
}
#endif
