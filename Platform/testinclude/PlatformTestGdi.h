// The drawing part of the platform's test interface: what has been painted into each
// window, and how many drawing objects (device contexts and bitmaps) are alive. The
// engine never includes it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// A window's pixels as A8R8G8B8 words, rows from the top; the size of its client area
// when it was first painted. Black where nothing was drawn.
struct PlatformTestPixels {
    LONG width = 0;
    LONG height = 0;
    std::vector<uint32_t> argb;
    uint32_t At(LONG x, LONG y) const { return argb[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};
// False when nothing was ever painted into the window.
bool PlatformTest_WindowPixels(HWND window, PlatformTestPixels* out);

// Device contexts and bitmaps made and not yet deleted (stock objects not counted).
int PlatformTest_GdiObjectCount();
// Forgets every drawing object and every window's pixels (PlatformTest_ResetWindows
// does this too).
void PlatformTest_ResetGdi();
