// The process entry of the Linux build: makes the Windows command line (the program name
// in quotes, then the arguments, as Explorer starts a program) that GetCommandLineA
// answers, and calls the program's WinMain with the executable's module and the
// arguments alone.
//
// A headless run can end itself: CORVANE_EXIT_AFTER_MS=<milliseconds> in the environment
// arms the exit key, an Escape press and release injected as keybd_event would once that
// long has passed, so a screensaver started without a person still quits and reports.
// The full-screen run writes no log by design, so such a run reports on stderr instead:
// how long it ran and how many frames the device presented.
#include <windows.h>

#include <PlatformTestD3d9.h>
#include <PlatformTestInput.h>
#include <PlatformTestProcess.h>

#include <chrono>
#include <stdio.h>
#include <stdlib.h>
#include <string>

int main(int argc, char** argv) {
    std::string arguments;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) arguments += ' ';
        arguments += argv[i];
    }
    std::string commandLine = "\"" + std::string(argc > 0 ? argv[0] : "corvane") + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    PlatformTest_SetCommandLine(commandLine.c_str());
    PlatformTest_ArmExitKeyFromEnvironment();
    const auto start = std::chrono::steady_clock::now();
    const int result =
        WinMain(reinterpret_cast<HINSTANCE>(GetModuleHandleA(nullptr)), nullptr, arguments.data(), SW_SHOWDEFAULT);
    if (getenv("CORVANE_EXIT_AFTER_MS")) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const size_t frames = PlatformTest_D3d9PresentCount();
        fprintf(stderr, "corvane: %.1f s, %zu frames presented (%.0f frames/s), exit code %d\n", seconds, frames,
                seconds > 0.0 ? static_cast<double>(frames) / seconds : 0.0, result);
    }
    return result;
}
