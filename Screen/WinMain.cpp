// The screensaver's entry point: Windows starts the program in one of its run modes, and
// the saver's mode object does the rest.
#include <windows.h>

#include "Screen/ScreenSaver.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return RunScreenSaver(instance, CreateSaver); }
