// The shell's ShellExecuteA. Nothing is started on this machine: each request is recorded
// for the tests (PlatformTestDialogs.h) and answered as a successful start would be, with
// a value above 32. A request without a file cannot find one, as on Windows.
#include "WindowSystem.h"

#include <shellapi.h>
#include <PlatformTestDialogs.h>

#include <cstdio>

namespace platform {
namespace {

std::vector<PlatformTestShellExecute>& Requests() {
    static std::vector<PlatformTestShellExecute> requests;
    return requests;
}

std::string Text(LPCSTR text) { return text ? text : ""; }

}  // namespace

void ResetShell() { Requests().clear(); }

}  // namespace platform

using namespace platform;

HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters, LPCSTR lpDirectory,
                               INT nShowCmd) {
    if (!lpFile || !lpFile[0]) return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(ERROR_FILE_NOT_FOUND));
    Requests().push_back(
        {hwnd, Text(lpOperation), lpFile, Text(lpParameters), Text(lpDirectory), nShowCmd});
    fprintf(stderr, "ShellExecuteA: %s %s\n", lpOperation ? lpOperation : "(default)", lpFile);
    // The value Windows documents for success is anything above 32.
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

std::vector<PlatformTestShellExecute> PlatformTest_ShellExecutes() { return Requests(); }
