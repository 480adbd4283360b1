// The last error code of each thread, and the thread's sleep. Windows keeps the last error
// per thread; so does this, which for the engine's one thread is the same as per process.
#include <windows.h>

#include <sched.h>
#include <time.h>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}  // namespace

DWORD WINAPI GetLastError(void) { return lastError; }

void WINAPI SetLastError(DWORD dwErrCode) { lastError = dwErrCode; }

void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        sched_yield();
        return;
    }
    timespec t{static_cast<time_t>(dwMilliseconds / 1000), static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0) {
    }
}
