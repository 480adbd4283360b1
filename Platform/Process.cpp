// The process: its command line and its one thread's priority. The engine runs on one
// thread, so the priority is one number; the command line is the program's own text,
// which the entry point sets from its arguments and tests set as Windows would pass it.
#include <windows.h>

#include <PlatformTestProcess.h>

#include <string>

namespace {

struct ProcessState {
    std::string commandLine;
    int priority = THREAD_PRIORITY_NORMAL;
};

ProcessState& State() {
    static ProcessState state;
    return state;
}

// The value GetCurrentThread hands out: (HANDLE)-2, as the documentation gives it.
HANDLE CurrentThreadHandle() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }

bool ValidPriority(int p) {
    switch (p) {
    case THREAD_PRIORITY_IDLE:
    case THREAD_PRIORITY_LOWEST:
    case THREAD_PRIORITY_BELOW_NORMAL:
    case THREAD_PRIORITY_NORMAL:
    case THREAD_PRIORITY_ABOVE_NORMAL:
    case THREAD_PRIORITY_HIGHEST:
    case THREAD_PRIORITY_TIME_CRITICAL:
        return true;
    default:
        return false;
    }
}

}  // namespace

LPSTR WINAPI GetCommandLineA(void) { return State().commandLine.data(); }

HANDLE WINAPI GetCurrentThread(void) { return CurrentThreadHandle(); }

// Only the calling thread exists as a thread handle here.
BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
    if (hThread != CurrentThreadHandle()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!ValidPriority(nPriority)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    State().priority = nPriority;
    return TRUE;
}

int WINAPI GetThreadPriority(HANDLE hThread) {
    if (hThread != CurrentThreadHandle()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return THREAD_PRIORITY_ERROR_RETURN;
    }
    return State().priority;
}

void PlatformTest_SetCommandLine(const char* commandLine) { State().commandLine = commandLine ? commandLine : ""; }
int PlatformTest_ThreadPriority() { return State().priority; }
void PlatformTest_ResetProcess() { State() = ProcessState{}; }
