// The default window procedure: what Windows does with a message that a window's own
// procedure passes on. The work that Windows leaves to it is left to it here too: the
// title comes from WM_NCCREATE, the client area from WM_NCCALCSIZE, WM_MOVE and WM_SIZE
// from WM_WINDOWPOSCHANGED, the size limits from WM_WINDOWPOSCHANGING, closing from
// WM_CLOSE and the window menu's commands from WM_SYSCOMMAND.
#include "WindowSystem.h"

#include <string.h>

#include <algorithm>

using platform::Window;
using platform::WindowSystem;

namespace {

LONG Width(const RECT& r) { return r.right - r.left; }
LONG Height(const RECT& r) { return r.bottom - r.top; }

void LimitSize(HWND hWnd, WINDOWPOS* pos) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Peek(hWnd);
    if (!w || (pos->flags & SWP_NOSIZE)) return;
    if (!(w->style & WS_THICKFRAME) && (w->style & (WS_POPUP | WS_CHILD))) return;
    const MINMAXINFO info = system.QueryMinMaxInfo(hWnd);
    if (!(w = system.Peek(hWnd))) return;
    pos->cx = std::min<int>(pos->cx, info.ptMaxTrackSize.x);
    pos->cy = std::min<int>(pos->cy, info.ptMaxTrackSize.y);
    if (!(w->style & WS_MINIMIZE)) {
        pos->cx = std::max<int>(pos->cx, info.ptMinTrackSize.x);
        pos->cy = std::max<int>(pos->cy, info.ptMinTrackSize.y);
    }
}

void ReportPlacement(HWND hWnd, const WINDOWPOS* pos) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Peek(hWnd);
    if (!w) return;
    const RECT client = w->client;
    if (!(pos->flags & platform::kSwpNoClientMove)) system.Send(hWnd, WM_MOVE, 0, MAKELPARAM(client.left, client.top));
    if (!(w = system.Peek(hWnd))) return;
    if (!(pos->flags & platform::kSwpNoClientSize) || (pos->flags & platform::kSwpStateChanged)) {
        if (w->style & WS_MINIMIZE) {
            system.Send(hWnd, WM_SIZE, SIZE_MINIMIZED, 0);
        } else {
            const WPARAM kind = (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED;
            system.Send(hWnd, WM_SIZE, kind, MAKELPARAM(Width(client), Height(client)));
        }
    }
}

LRESULT HitTest(HWND hWnd, LPARAM lParam) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Peek(hWnd);
    if (!w) return HTNOWHERE;
    const POINT at{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
    const POINT origin = system.ParentOrigin(*w);
    RECT window = w->window;
    RECT client = w->client;
    OffsetRect(&window, origin.x, origin.y);
    OffsetRect(&client, origin.x, origin.y);
    if (!PtInRect(&window, at)) return HTNOWHERE;
    if (PtInRect(&client, at)) return HTCLIENT;
    if (w->style & WS_MINIMIZE) return HTCAPTION;
    const RECT in = WindowSystem::FrameInsets(w->style, w->exStyle, false);
    const bool inFrame = at.x < window.left + in.left || at.x >= window.right - in.right ||
                         at.y < window.top + in.bottom || at.y >= window.bottom - in.bottom;
    if (inFrame) {
        if (!(w->style & WS_THICKFRAME)) return HTBORDER;
        const bool left = at.x < window.left + in.left, right = at.x >= window.right - in.right;
        const bool top = at.y < window.top + in.bottom, bottom = at.y >= window.bottom - in.bottom;
        if (top) return left ? HTTOPLEFT : right ? HTTOPRIGHT : HTTOP;
        if (bottom) return left ? HTBOTTOMLEFT : right ? HTBOTTOMRIGHT : HTBOTTOM;
        return left ? HTLEFT : HTRIGHT;
    }
    if ((w->style & WS_CAPTION) == WS_CAPTION && at.y < window.top + in.bottom + GetSystemMetrics(SM_CYCAPTION))
        return HTCAPTION;
    return system.HasMenuBar(*w) ? HTMENU : HTBORDER;
}

LRESULT SystemCommand(HWND hWnd, WPARAM command) {
    WindowSystem& system = WindowSystem::Get();
    switch (command & 0xFFF0) {
    case SC_CLOSE:
        return system.Send(hWnd, WM_CLOSE, 0, 0);
    case SC_MINIMIZE:
        system.Show(hWnd, SW_MINIMIZE);
        return 0;
    case SC_MAXIMIZE:
        system.Show(hWnd, SW_MAXIMIZE);
        return 0;
    case SC_RESTORE:
        system.Show(hWnd, SW_RESTORE);
        return 0;
    case SC_MOVE:
    case SC_SIZE:
        // No pointer drags the frame here: the modal drag ends as soon as it starts.
        system.Send(hWnd, WM_ENTERSIZEMOVE, 0, 0);
        system.Send(hWnd, WM_EXITSIZEMOVE, 0, 0);
        return 0;
    default:
        return 0;
    }
}

}  // namespace

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WindowSystem& system = WindowSystem::Get();
    Window* w = system.Find(hWnd);
    if (!w) return 0;
    switch (Msg) {
    case WM_NCCREATE: {
        const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        if (create && create->lpszName && !IS_INTRESOURCE(create->lpszName)) w->text = create->lpszName;
        return TRUE;
    }
    case WM_NCCALCSIZE:
        if (!lParam) return 0;
        if (wParam) {
            NCCALCSIZE_PARAMS* params = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam);
            params->rgrc[0] = system.DefaultClientRect(*w, params->rgrc[0]);
        } else {
            RECT* r = reinterpret_cast<RECT*>(lParam);
            *r = system.DefaultClientRect(*w, *r);
        }
        return 0;
    case WM_WINDOWPOSCHANGING:
        if (lParam) LimitSize(hWnd, reinterpret_cast<WINDOWPOS*>(lParam));
        return 0;
    case WM_WINDOWPOSCHANGED:
        if (lParam) ReportPlacement(hWnd, reinterpret_cast<const WINDOWPOS*>(lParam));
        return 0;
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_SYSCOMMAND:
        return SystemCommand(hWnd, wParam);
    case WM_SYSKEYDOWN:
        // Alt+F4 closes the window through its window menu.
        if (wParam == VK_F4 && (lParam & (1 << 29))) system.Send(system.Root(hWnd), WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_NCHITTEST:
        return HitTest(hWnd, lParam);
    case WM_NCACTIVATE:
    case WM_QUERYOPEN:
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_MOUSEACTIVATE:
        if (w->parent != system.Desktop()) {
            const LRESULT asked = system.Send(w->parent, WM_MOUSEACTIVATE, wParam, lParam);
            if (asked) return asked;
        }
        return 1;  // MA_ACTIVATE
    case WM_SETCURSOR: {
        // A child lets its parent choose first; in the client area the class cursor is set.
        if (w->style & WS_CHILD) {
            const HWND parent = w->parent;
            if (system.Send(parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
            if (!(w = system.Peek(hWnd))) return FALSE;
        }
        if (LOWORD(lParam) == HTCLIENT && w->windowClass && w->windowClass->cursor) {
            SetCursor(w->windowClass->cursor);
            return TRUE;
        }
        return FALSE;
    }
    case WM_SETTEXT:
        w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        return TRUE;
    case WM_GETTEXT: {
        char* out = reinterpret_cast<char*>(lParam);
        if (!out || wParam == 0) return 0;
        const size_t n = std::min<size_t>(w->text.size(), static_cast<size_t>(wParam) - 1);
        memcpy(out, w->text.data(), n);
        out[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_ERASEBKGND:
        return w->windowClass && w->windowClass->background ? 1 : 0;
    default:
        return 0;
    }
}

LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (!lpPrevWndFunc) return 0;
    return WindowSystem::Get().CallProcedure(lpPrevWndFunc, hWnd, Msg, wParam, lParam);
}
