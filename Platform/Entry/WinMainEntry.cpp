// The process entry of the Linux build: joins the arguments into a Windows command
// line (program name excluded) and calls the program's WinMain.
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return WinMain(nullptr, nullptr, commandLine.data(), SW_SHOWDEFAULT);
}
