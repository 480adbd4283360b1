// How a full-screen device follows its program in and out of the foreground, as the
// runtime does by watching the focus window's messages. When WM_ACTIVATEAPP(FALSE) reaches
// the focus window the display goes back to the desktop's mode (WM_DISPLAYCHANGE to every
// top-level window), the device window is minimised, and only then does the program hear
// of it: by that time the device is lost. While the display is being given up the device
// already answers D3DERR_DEVICENOTRESET, as the runtime does. When WM_ACTIVATEAPP(TRUE)
// reaches the focus window again, the device's mode is set again, the device window is
// restored without taking the activation, and the device waits for a reset.
//
// A windowed device shares the desktop with every other program and is not touched.
#include "Direct3D9Internal.h"

#include "WindowSystem.h"

#include <algorithm>

#include <winuser.h>

namespace d3d9 {

namespace {

bool IsLive(const Device* device) {
    const auto& devices = LiveDevices();
    return std::find(devices.begin(), devices.end(), device) != devices.end();
}

void TellDisplayChange(D3DFORMAT format, UINT width, UINT height) {
    platform::WindowSystem& system = platform::WindowSystem::Get();
    const LPARAM size = MAKELPARAM(width, height);
    for (HWND top : system.TopLevelWindows()) system.Send(top, WM_DISPLAYCHANGE, FormatBits(format), size);
}

// A window on its way out is left to go; one already minimised stays so.
bool CanMinimize(HWND window) {
    const platform::Window* w = platform::WindowSystem::Get().Peek(window);
    return w && !w->destroying && !(w->style & WS_MINIMIZE);
}

void FollowFocusWindow(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_ACTIVATEAPP) return;
    // A device released by a procedure called on the way is skipped.
    for (Device* device : std::vector<Device*>(LiveDevices())) {
        if (!IsLive(device) || device->focusWindow != window || device->present.Windowed) continue;
        if (wParam)
            device->RegainScreen();
        else
            device->YieldScreen();
    }
}

}  // namespace

void WatchFocusWindows() { platform::WindowSystem::Get().AddHook(FollowFocusWindow); }

HWND Device::DeviceWindow() const { return present.hDeviceWindow ? present.hDeviceWindow : focusWindow; }

void Device::YieldScreen() {
    if (screenYielded) return;
    screenYielded = true;
    // Held so that a procedure releasing the device on the way does not free it under us.
    AddRef();
    state = DeviceState::NotReset;
    const D3DDISPLAYMODE& desktop = AdapterConfig().desktop;
    TellDisplayChange(desktop.Format, desktop.Width, desktop.Height);
    if (CanMinimize(DeviceWindow())) ShowWindow(DeviceWindow(), SW_MINIMIZE);
    state = DeviceState::Lost;
    Release();
}

void Device::RegainScreen() {
    if (!screenYielded) return;
    screenYielded = false;
    AddRef();
    // A program that resets as soon as its window is back finds the device ready for it.
    if (state == DeviceState::Lost && !heldLost) state = DeviceState::NotReset;
    TellDisplayChange(WithoutAlpha(present.BackBufferFormat), present.BackBufferWidth, present.BackBufferHeight);
    if (IsWindow(DeviceWindow()) && IsIconic(DeviceWindow())) ShowWindow(DeviceWindow(), SW_SHOWNOACTIVATE);
    Release();
}

}  // namespace d3d9
