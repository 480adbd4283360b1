// The common controls library: InitCommonControls and InitCommonControlsEx, which make
// its window classes known, and the one control of it the program uses, the track bar
// ("msctls_trackbar32").
//
// As with the real library, a track bar cannot be made before the library is
// initialised: the class is registered by the initialisation, as a global class, and a
// dialog template that names it before then makes no dialog. The window table's reset
// forgets it with every other class.
//
// A track bar keeps a range, a position clamped to it, and the line and page steps of
// its keys. What a program sets (TBM_SETPOS, the range messages) changes the state
// silently; what a user does notifies the parent as comctl32 documents: the arrow, page,
// Home and End keys send WM_HSCROLL (WM_VSCROLL for TBS_VERT) with TB_LINEUP...TB_BOTTOM
// and TB_ENDTRACK when the key is released; a drag of the thumb sends TB_THUMBTRACK
// while it moves, TB_THUMBPOSITION and TB_ENDTRACK when the button is let go, and
// NM_RELEASEDCAPTURE as the control gives up the mouse. Nothing is drawn here, so the
// repaint that follows a user's move is only its custom-draw notification (NM_CUSTOMDRAW
// with CDDS_PREPAINT) to the parent; a program's own change is not painted while nobody
// looks, and tells the parent nothing.
#include "WindowSystem.h"

#include <commctrl.h>
#include <PlatformTestDialogs.h>

#include <algorithm>
#include <utility>

namespace platform {
namespace {

struct TrackBarData : WindowData {
    LONG minimum = 0;
    LONG maximum = 100;
    LONG position = 0;
    LONG lineSize = 1;
    LONG pageSize = 20;
};

LRESULT CALLBACK TrackBarProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

TrackBarData* TrackBarOf(HWND window) {
    Window* w = WindowSystem::Get().Peek(window);
    if (!w || !w->windowClass || w->windowClass->procedure != TrackBarProc) return nullptr;
    return static_cast<TrackBarData*>(w->data.get());
}

void Clamp(TrackBarData& d) {
    // A range given the wrong way round holds only its minimum.
    d.position = std::max(d.minimum, std::min(d.position, d.maximum));
}

// Sends the parent a notification; a top-level track bar has nobody to tell.
LRESULT SendToParent(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Peek(control);
    if (!w || !(w->style & WS_CHILD)) return 0;
    return system.Send(w->parent, message, wParam, lParam);
}

void Scroll(HWND control, WORD code, LONG position) {
    const Window* w = WindowSystem::Get().Peek(control);
    if (!w) return;
    const UINT message = (w->style & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    // The high word carries the position for the thumb's own codes only.
    const bool thumb = code == TB_THUMBTRACK || code == TB_THUMBPOSITION;
    SendToParent(control, message, MAKEWPARAM(code, thumb ? static_cast<WORD>(position) : 0),
                 reinterpret_cast<LPARAM>(control));
}

void Notify(HWND control, UINT code, NMHDR& header) {
    const Window* w = WindowSystem::Get().Peek(control);
    if (!w) return;
    header.hwndFrom = control;
    header.idFrom = reinterpret_cast<UINT_PTR>(w->menu);
    header.code = code;
    SendToParent(control, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
}

void Repaint(HWND control) {
    NMCUSTOMDRAW draw{};
    draw.dwDrawStage = CDDS_PREPAINT;
    GetClientRect(control, &draw.rc);
    Notify(control, NM_CUSTOMDRAW, draw.hdr);
}

// The move a key makes, or false for a key the track bar does not take.
bool KeyMove(const TrackBarData& d, WPARAM key, WORD& code, LONG& target) {
    switch (key) {
    case VK_LEFT:
    case VK_UP: code = TB_LINEUP; target = d.position - d.lineSize; return true;
    case VK_RIGHT:
    case VK_DOWN: code = TB_LINEDOWN; target = d.position + d.lineSize; return true;
    case VK_PRIOR: code = TB_PAGEUP; target = d.position - d.pageSize; return true;
    case VK_NEXT: code = TB_PAGEDOWN; target = d.position + d.pageSize; return true;
    case VK_HOME: code = TB_TOP; target = d.minimum; return true;
    case VK_END: code = TB_BOTTOM; target = d.maximum; return true;
    default: return false;
    }
}

LRESULT CALLBACK TrackBarProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = WindowSystem::Get().Peek(hWnd);
    if (w && message == WM_NCCREATE) w->data = std::make_unique<TrackBarData>();
    TrackBarData* d = TrackBarOf(hWnd);
    if (!d || message == WM_NCCREATE) return DefWindowProcA(hWnd, message, wParam, lParam);
    switch (message) {
    case TBM_GETPOS: return d->position;
    case TBM_GETRANGEMIN: return d->minimum;
    case TBM_GETRANGEMAX: return d->maximum;
    case TBM_SETPOS:
        d->position = static_cast<LONG>(lParam);
        Clamp(*d);
        return 0;
    case TBM_SETRANGE:
        // Two unsigned 16-bit words: the minimum low, the maximum high.
        d->minimum = LOWORD(lParam);
        d->maximum = HIWORD(lParam);
        Clamp(*d);
        return 0;
    case TBM_SETRANGEMIN:
        d->minimum = static_cast<LONG>(lParam);
        Clamp(*d);
        return 0;
    case TBM_SETRANGEMAX:
        d->maximum = static_cast<LONG>(lParam);
        Clamp(*d);
        return 0;
    case TBM_SETPAGESIZE: return std::exchange(d->pageSize, static_cast<LONG>(lParam));
    case TBM_GETPAGESIZE: return d->pageSize;
    case TBM_SETLINESIZE: return std::exchange(d->lineSize, static_cast<LONG>(lParam));
    case TBM_GETLINESIZE: return d->lineSize;
    case WM_KEYDOWN: {
        WORD code = 0;
        LONG target = 0;
        if (!KeyMove(*d, wParam, code, target)) break;
        d->position = target;
        Clamp(*d);
        const LONG position = d->position;
        Scroll(hWnd, code, position);
        if (IsWindow(hWnd)) Repaint(hWnd);
        return 0;
    }
    case WM_KEYUP: {
        WORD code = 0;
        LONG target = 0;
        if (KeyMove(*d, wParam, code, target)) Scroll(hWnd, TB_ENDTRACK, 0);
        return 0;
    }
    default: break;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

void RegisterCommonControls(DWORD classes) {
    if (!(classes & ICC_BAR_CLASSES)) return;
    WindowSystem& system = WindowSystem::Get();
    if (system.FindClass(TRACKBAR_CLASSA)) return;
    WNDCLASSEXA description{};
    description.cbSize = sizeof description;
    description.style = CS_GLOBALCLASS | CS_DBLCLKS;
    description.lpfnWndProc = TrackBarProc;
    description.lpszClassName = TRACKBAR_CLASSA;
    system.RegisterClass(description);
}

}  // namespace
}  // namespace platform

using namespace platform;

void WINAPI InitCommonControls(void) { RegisterCommonControls(ICC_WIN95_CLASSES); }

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
    if (!picce || picce->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
    RegisterCommonControls(picce->dwICC);
    return TRUE;
}

bool PlatformTest_DragTrackBar(HWND trackBar, LONG position) {
    TrackBarData* d = TrackBarOf(trackBar);
    if (!d || !IsWindowEnabled(trackBar) || !IsWindowVisible(trackBar) || !IsWindowEnabled(GetParent(trackBar)))
        return false;
    d->position = position;
    Clamp(*d);
    const LONG reached = d->position;
    Scroll(trackBar, TB_THUMBTRACK, reached);
    if (IsWindow(trackBar)) Repaint(trackBar);
    // The button is let go where the thumb is.
    if (IsWindow(trackBar)) Scroll(trackBar, TB_THUMBPOSITION, reached);
    if (IsWindow(trackBar)) Scroll(trackBar, TB_ENDTRACK, 0);
    NMHDR released{};
    if (IsWindow(trackBar)) Notify(trackBar, NM_RELEASEDCAPTURE, released);
    return true;
}
