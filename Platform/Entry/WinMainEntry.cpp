// The process entry of the Linux build: makes the Windows command line (the program name
// in quotes, then the arguments, as Explorer starts a program) that GetCommandLineA
// answers, and calls the program's WinMain with the executable's module and the
// arguments alone.
#include <windows.h>

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
    return WinMain(reinterpret_cast<HINSTANCE>(GetModuleHandleA(nullptr)), nullptr, arguments.data(), SW_SHOWDEFAULT);
}
