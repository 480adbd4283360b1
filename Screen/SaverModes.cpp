#include "Screen/SaverModes.h"

#include "Screen/ProductSettings.h"

#include <commctrl.h>

// ---- the preview ------------------------------------------------------------------------

ScreenSaver::Preview::~Preview() = default;

bool ScreenSaver::Preview::Create(HINSTANCE instance_, HWND parent) {
    if (!ScreenSaver::Create(instance_, parent)) return false;
    if (!RegisterSaverWindow()) return false;
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
    // Messages are pumped until the window has handled the note posted behind creation's
    // own messages, so the panel sees the preview painted before Run starts.
    WaitFlag = 1;
    PostMessageA(window, WM_USER, 0, 0);
    MSG msg;
    while (WaitFlag) {
        const BOOL got = GetMessageA(&msg, window, 0, 0);
        // -1: the window is gone (the panel closed its parent); waiting on would never end.
        if (got == 0 || got == -1) {
            PostQuitMessage(0);
            return true;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return true;
}

int ScreenSaver::Preview::Run() {
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageA(&msg, window, 0, 0);
        // -1 comes once the panel has destroyed the parent and with it the preview.
        if (got == 0 || got == -1) break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        if (closing) break;
    }
    if (window && IsWindow(window)) DestroyWindow(window);
    ShowCursor(TRUE);
    return 1;
}

LRESULT ScreenSaver::Preview::MsgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) Paint(hwnd);
    if (message == WM_USER) WaitFlag = 0;
    return Application::MsgProc(hwnd, message, wParam, lParam);
}

// Bitmap 109 at the top left of the client area, neither stretched nor centred. The old
// bitmap goes back into the memory context before the context and the bitmap are deleted:
// a bitmap still selected cannot be deleted and would be lost on every paint.
void ScreenSaver::Preview::Paint(HWND hwnd) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    if (!dc) return;
    RECT client{};
    GetClientRect(hwnd, &client);
    if (HBITMAP bitmap = LoadBitmapA(Instance, MAKEINTRESOURCEA(kBitmapId))) {
        if (HDC memory = CreateCompatibleDC(dc)) {
            HGDIOBJ old = SelectObject(memory, bitmap);
            BitBlt(dc, 0, 0, client.right - client.left, client.bottom - client.top, memory, 0, 0, SRCCOPY);
            if (old) SelectObject(memory, old);
            DeleteDC(memory);
        }
        DeleteObject(bitmap);
    }
    EndPaint(hwnd, &paint);
}

// ---- the configuration dialog -----------------------------------------------------------

ScreenSaver::Config::Config()
    : ShadowQualText(String("Mes_Settings_ShadowQual"), true), DayLengthText(String("Mes_Settings_DayLength"), true),
      DayOptText(String("Mes_Settings_DayOpt"), true) {}

ScreenSaver::Config::~Config() = default;

void ScreenSaver::Config::ReadProductSettings(TextDataTree&) { RegisterProductSettings(false); }

bool ScreenSaver::Config::Create(HINSTANCE instance_, HWND parent) {
    if (!ScreenSaver::Create(instance_, parent)) return false;
    // The dialog's track bars are the common controls library's: its classes first.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    DialogBoxParamA(Instance, MAKEINTRESOURCEA(kDialogId), ParentWindow, ScreenSaver::StaticDlgProc, 0);
    return true;
}

int ScreenSaver::Config::Run() { return 1; }
