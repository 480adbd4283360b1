// The process entry of the Linux build: makes the Windows command line (the program name
// in quotes, then the arguments, as Explorer starts a program) that GetCommandLineA
// answers, and calls the program's WinMain with the executable's module and the
// arguments alone.
//
// A headless run can end itself: CORVANE_EXIT_AFTER_MS=<milliseconds> in the environment
// arms the exit key, an Escape press and release injected as keybd_event would once that
// long has passed, so a screensaver started without a person still quits and reports.
#include <windows.h>

#include <PlatformTestInput.h>
#include <PlatformTestProcess.h>

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
    return WinMain(reinterpret_cast<HINSTANCE>(GetModuleHandleA(nullptr)), nullptr, arguments.data(), SW_SHOWDEFAULT);
}
