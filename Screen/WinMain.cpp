// The screensaver's entry point. The engine foundation is built; the saver's modes,
// window and scene join here as they land.
#include <windows.h>

#include "Core/EngineStartup.h"

#include <stdio.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    EngineStartup();
    printf("Corvane: the engine foundation is built; the screensaver scene is not yet.\n");
    return 0;
}
