// The full-screen saver's main loop in its smallest form: messages, input and frames until
// Escape, Space or a mouse button ends it. The complete loop (frame rate, clock, the
// keep-alive key, mouse movements, the debug controls) replaces this file.
#include "Screen/ScreenSaverFull.h"

#include "Core/Log.h"
#include "Screen/CameraPath.h"

int ScreenSaver::Full::Run() {
    MSG msg;
    while (!closing) {
        while (!closing && PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (closing) break;
        Input.Poll(0);
        Input.DispatchEvents();
        FrameUpdate();
        Camera->Step();
        if (active) {
            Update();
            DoRender();
        }
    }
    ReleaseCustom();
    Destroy();
    if (window) DestroyWindow(window);
    ShowCursor(TRUE);
    return 1;
}

LRESULT ScreenSaver::Full::MsgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && (wParam == VK_ESCAPE || wParam == VK_SPACE)) closing = 1;
    return Application::MsgProc(hwnd, message, wParam, lParam);
}

void ScreenSaver::Full::RecieveEvent(EVENT event) {
    if ((event.type == kEventLeftDown || event.type == kEventRightDown) && !DebugMode) closing = 1;
}

void ScreenSaver::Full::HandleDebugKey(u32) {}

void ScreenSaver::Full::FrameUpdate() { Input.Poll(0); }

String ScreenSaver::Full::FormatClock(u32 hour, u32 minute, u32 second, bool hours24) {
    (void)hour, (void)minute, (void)second, (void)hours24;
    return String();
}
