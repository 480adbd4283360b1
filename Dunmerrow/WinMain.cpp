// The screensaver's entry point: Windows starts the program in one of its run modes, and
// the saver's mode object does the rest; every full-screen mode runs the product scene.
#include <windows.h>

#include "Dunmerrow/Dunmerrow.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return RunScreenSaver(instance, CreateProductSaver); }
