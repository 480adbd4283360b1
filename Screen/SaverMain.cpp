// What WinMain does: read the run mode from the command line, build the object for it,
// and run it between setting and clearing the system's screensaver-running flag.
#include "Screen/SaverModes.h"
#include "Screen/ScreenSaverFull.h"

#include "Core/EngineStartup.h"
#include "Core/Timer.h"

#include <new>
#include <stdlib.h>

ScreenSaver* CreateSaver(i32 mode) {
    switch (mode) {
    case ScreenSaver::kModePreview:
        return new (std::nothrow) ScreenSaver::Preview;
    case ScreenSaver::kModeConfig:
        return new (std::nothrow) ScreenSaver::Config;
    default:
        // The full-screen saver serves every other mode, here without a scene of its own;
        // the program's factory puts the product scene in its place.
        return new (std::nothrow) ScreenSaver::Full;
    }
}

int RunScreenSaver(HINSTANCE instance, SaverFactory factory) {
    if (!EngineStartup()) return 0;
    u32 number = 0;
    const i32 mode = ParseCommandLine(&number);
    ScreenSaver* saver = factory ? factory(mode) : nullptr;
    if (!saver) return 0;
    BOOL old = FALSE;
    SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 1, &old, 0);
    srand(static_cast<unsigned>(Timer::Now() % 32768));
    HWND parent = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(number));
    if (!saver->Create(instance, parent)) {
        SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 0, &old, 0);
        delete saver;
        return 0;
    }
    const int result = saver->Run();
    SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 0, &old, 0);
    delete saver;
    return result;
}
