// The window manager's calls over the window table: classes, windows and their longs,
// texts and relations, placement, activation and focus, rectangles, cursors and icons,
// system metrics and parameters, stock objects and message boxes; and the window part of
// the test interface.
#include "MessageQueue.h"
#include "WindowSystem.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

using platform::Window;
using platform::WindowClass;
using platform::WindowSystem;

namespace {

LONG Width(const RECT& r) { return r.right - r.left; }
LONG Height(const RECT& r) { return r.bottom - r.top; }

// What the process was told through SystemParametersInfo, and how message boxes answer.
struct UserSettings {
    bool screenSaverRunning = false;
    bool screenSaveActive = true;
    int messageBoxAnswer = 0;
    std::vector<PlatformTestMessageBox> messageBoxes;
};
UserSettings& Settings() {
    static UserSettings settings;
    return settings;
}

// ---- longs ----

// Indices whose values are pointers: readable through the 32-bit calls only where a LONG
// holds a pointer.
bool IsPointerIndex(int index) { return index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT; }

bool ReadLong(HWND hWnd, int index, LONG_PTR* value, size_t size) {
    WindowSystem& system = WindowSystem::Get();
    Window* w = system.Find(hWnd);
    if (!w) return false;
    if (index >= 0) {
        if (static_cast<size_t>(index) + size > w->extra.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return false;
        }
        if (size == sizeof(LONG)) {
            LONG v;
            memcpy(&v, w->extra.data() + index, sizeof v);
            *value = v;
        } else {
            memcpy(value, w->extra.data() + index, sizeof *value);
        }
        return true;
    }
    if (size < sizeof(LONG_PTR) && IsPointerIndex(index)) {
        SetLastError(ERROR_INVALID_INDEX);
        return false;
    }
    switch (index) {
    case GWL_STYLE: *value = static_cast<LONG>(w->style); return true;
    case GWL_EXSTYLE: *value = static_cast<LONG>(w->exStyle); return true;
    case GWLP_ID: *value = reinterpret_cast<LONG_PTR>(w->menu); return true;
    case GWLP_USERDATA: *value = w->userData; return true;
    case GWLP_WNDPROC: *value = reinterpret_cast<LONG_PTR>(w->procedure); return true;
    case GWLP_HINSTANCE: *value = reinterpret_cast<LONG_PTR>(w->instance); return true;
    case GWLP_HWNDPARENT:
        *value = reinterpret_cast<LONG_PTR>(system.IsTopLevel(*w) ? w->owner : w->parent);
        return true;
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return false;
    }
}

// Stores the value and gives back the previous one; 0 on failure, with the last error set.
// A previous value of 0 leaves the last error alone, as Windows does.
LONG_PTR WriteLong(HWND hWnd, int index, LONG_PTR value, size_t size) {
    WindowSystem& system = WindowSystem::Get();
    LONG_PTR old = 0;
    if (!ReadLong(hWnd, index, &old, size)) return 0;
    Window* w = system.Peek(hWnd);
    if (index >= 0) {
        if (size == sizeof(LONG)) {
            const LONG v = static_cast<LONG>(value);
            memcpy(w->extra.data() + index, &v, sizeof v);
        } else {
            memcpy(w->extra.data() + index, &value, sizeof value);
        }
        return old;
    }
    switch (index) {
    case GWL_STYLE:
    case GWL_EXSTYLE: {
        // The procedure hears of the change before and after, and may amend it before.
        STYLESTRUCT change{static_cast<DWORD>(old), static_cast<DWORD>(value)};
        system.Send(hWnd, WM_STYLECHANGING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&change));
        if (!(w = system.Find(hWnd))) return 0;
        (index == GWL_STYLE ? w->style : w->exStyle) = change.styleNew;
        system.Send(hWnd, WM_STYLECHANGED, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&change));
        return old;
    }
    case GWLP_ID: w->menu = reinterpret_cast<HMENU>(value); return old;
    case GWLP_USERDATA: w->userData = value; return old;
    case GWLP_WNDPROC: w->procedure = reinterpret_cast<WNDPROC>(value); return old;
    case GWLP_HINSTANCE: w->instance = reinterpret_cast<HINSTANCE>(value); return old;
    case GWLP_HWNDPARENT:
        if (system.IsTopLevel(*w)) w->owner = value ? system.Root(reinterpret_cast<HWND>(value)) : nullptr;
        return old;
    default:
        return 0;
    }
}

// ---- icons and cursors ----

// The system's icons and cursors: one handle for each identifier, the same all along.
struct SystemImage {
    WORD id;
};
constexpr SystemImage kSystemCursors[] = {{32512}, {32513}, {32514}, {32515}, {32516}, {32640}, {32641}, {32642},
                                          {32643}, {32644}, {32645}, {32646}, {32648}, {32649}, {32650}, {32651}};
constexpr SystemImage kSystemIcons[] = {{32512}, {32513}, {32514}, {32515}, {32516}, {32517}, {32518}};

template <size_t N>
const SystemImage* FindSystemImage(const SystemImage (&table)[N], LPCSTR name) {
    if (!IS_INTRESOURCE(name)) return nullptr;
    const WORD id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    for (const SystemImage& image : table)
        if (image.id == id) return &image;
    return nullptr;
}

// The identifier of a system cursor's handle; 0 for none and for any other handle.
WORD SystemCursorId(HCURSOR shape) {
    for (const SystemImage& image : kSystemCursors)
        if (reinterpret_cast<const void*>(&image) == reinterpret_cast<const void*>(shape)) return image.id;
    return 0;
}

// An image of the program's own, from its icon or cursor group resource. The handle is
// the resource's handle moved by one byte: distinct for every resource and never equal to
// a system image's handle.
void* LoadImageResource(HINSTANCE instance, LPCSTR name, LPCSTR type) {
    HRSRC found = name ? FindResourceA(instance, name, type) : nullptr;
    if (!found) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<char*>(found) + 1;
}

// ---- stock objects ----
struct StockObject {
    int index;
};
constexpr StockObject kStockObjects[] = {{0},  {1},  {2},  {3},  {4},  {5},  {6},  {7},  {8},  {9},
                                         {10}, {11}, {12}, {13}, {14}, {15}, {16}, {17}, {18}, {19}};

}  // namespace

// ---- classes ----------------------------------------------------------------------------

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpWndClass) {
    if (!lpWndClass || lpWndClass->cbSize != sizeof(WNDCLASSEXA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return WindowSystem::Get().RegisterClass(*lpWndClass);
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
    if (!lpWndClass) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXA ex{};
    ex.cbSize = sizeof ex;
    ex.style = lpWndClass->style;
    ex.lpfnWndProc = lpWndClass->lpfnWndProc;
    ex.cbClsExtra = lpWndClass->cbClsExtra;
    ex.cbWndExtra = lpWndClass->cbWndExtra;
    ex.hInstance = lpWndClass->hInstance;
    ex.hIcon = lpWndClass->hIcon;
    ex.hCursor = lpWndClass->hCursor;
    ex.hbrBackground = lpWndClass->hbrBackground;
    ex.lpszMenuName = lpWndClass->lpszMenuName;
    ex.lpszClassName = lpWndClass->lpszClassName;
    return WindowSystem::Get().RegisterClass(ex);
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
    return WindowSystem::Get().UnregisterClass(lpClassName) ? TRUE : FALSE;
}

BOOL WINAPI GetClassInfoA(HINSTANCE, LPCSTR lpClassName, LPWNDCLASSA lpWndClass) {
    const WindowClass* c = WindowSystem::Get().FindClass(lpClassName);
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (lpWndClass) {
        lpWndClass->style = c->style;
        lpWndClass->lpfnWndProc = c->procedure;
        lpWndClass->cbClsExtra = c->classExtra;
        lpWndClass->cbWndExtra = c->windowExtra;
        lpWndClass->hInstance = c->instance;
        lpWndClass->hIcon = c->icon;
        lpWndClass->hCursor = c->cursor;
        lpWndClass->hbrBackground = c->background;
        lpWndClass->lpszMenuName = c->menuName;
        lpWndClass->lpszClassName = c->name.c_str();
    }
    return TRUE;
}

int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Find(hWnd);
    if (!w || !lpClassName || nMaxCount <= 0) return 0;
    const std::string name = w->windowClass ? w->windowClass->name : std::string("#32769");
    const size_t n = std::min(name.size(), static_cast<size_t>(nMaxCount) - 1);
    memcpy(lpClassName, name.data(), n);
    lpClassName[n] = 0;
    return static_cast<int>(n);
}

// ---- windows ----------------------------------------------------------------------------

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
    return WindowSystem::Get().Create(dwExStyle, lpClassName, lpWindowName, dwStyle, X, Y, nWidth, nHeight,
                                      hWndParent, hMenu, hInstance, lpParam);
}

BOOL WINAPI DestroyWindow(HWND hWnd) { return WindowSystem::Get().Destroy(hWnd) ? TRUE : FALSE; }

BOOL WINAPI IsWindow(HWND hWnd) { return WindowSystem::Get().Peek(hWnd) ? TRUE : FALSE; }

BOOL WINAPI IsWindowVisible(HWND hWnd) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Peek(hWnd);
    if (!w) return FALSE;
    // Visible only when every ancestor is.
    for (; w; w = system.Peek(w->parent))
        if (!(w->style & WS_VISIBLE)) return FALSE;
    return TRUE;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    const Window* w = WindowSystem::Get().Find(hWnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    WindowSystem& system = WindowSystem::Get();
    Window* w = system.Find(hWnd);
    if (!w) return FALSE;
    const BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    if (bEnable && wasDisabled) {
        w->style &= ~static_cast<DWORD>(WS_DISABLED);
        system.Send(hWnd, WM_ENABLE, TRUE, 0);
    } else if (!bEnable && !wasDisabled) {
        w->style |= WS_DISABLED;
        // A disabled window cannot keep the keyboard.
        const HWND focus = system.Focus();
        if (focus && (focus == hWnd || IsChild(hWnd, focus))) system.SetFocusTo(nullptr);
        system.Send(hWnd, WM_ENABLE, FALSE, 0);
    }
    return wasDisabled;
}

BOOL WINAPI IsIconic(HWND hWnd) {
    const Window* w = WindowSystem::Get().Peek(hWnd);
    return w && (w->style & WS_MINIMIZE) ? TRUE : FALSE;
}

BOOL WINAPI IsZoomed(HWND hWnd) {
    const Window* w = WindowSystem::Get().Peek(hWnd);
    return w && (w->style & WS_MAXIMIZE) ? TRUE : FALSE;
}

BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Peek(hWnd);
    // The chain of parents runs through child windows up to a top-level window.
    while (w && (w->style & WS_CHILD) && w->parent && w->parent != system.Desktop()) {
        if (w->parent == hWndParent) return TRUE;
        w = system.Peek(w->parent);
    }
    return FALSE;
}

HWND WINAPI GetParent(HWND hWnd) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Find(hWnd);
    if (!w) return nullptr;
    if (w->style & WS_CHILD) return w->parent == system.Desktop() ? nullptr : w->parent;
    return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND WINAPI GetAncestor(HWND hwnd, UINT gaFlags) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Find(hwnd);
    if (!w || hwnd == system.Desktop()) return nullptr;
    switch (gaFlags) {
    case GA_PARENT: return w->parent;
    case GA_ROOT: return system.Root(hwnd);
    case GA_ROOTOWNER: {
        HWND root = system.Root(hwnd);
        for (const Window* r = system.Peek(root); r && r->owner; r = system.Peek(root)) root = r->owner;
        return root;
    }
    default: return nullptr;
    }
}

HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Find(hWnd);
    if (!w) return nullptr;
    if (uCmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
    if (uCmd == GW_OWNER) return w->owner;
    const Window* parent = system.Peek(w->parent);
    if (!parent) return nullptr;
    const auto& siblings = parent->children;
    const auto at = std::find(siblings.begin(), siblings.end(), hWnd);
    switch (uCmd) {
    case GW_HWNDFIRST: return siblings.empty() ? nullptr : siblings.front();
    case GW_HWNDLAST: return siblings.empty() ? nullptr : siblings.back();
    case GW_HWNDNEXT: return at == siblings.end() || at + 1 == siblings.end() ? nullptr : *(at + 1);
    case GW_HWNDPREV: return at == siblings.end() || at == siblings.begin() ? nullptr : *(at - 1);
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
    }
}

HWND WINAPI GetDesktopWindow(void) { return WindowSystem::Get().Desktop(); }

int WINAPI GetDlgCtrlID(HWND hWnd) {
    const Window* w = WindowSystem::Get().Find(hWnd);
    if (!w || !(w->style & WS_CHILD)) return 0;
    return static_cast<int>(reinterpret_cast<LONG_PTR>(w->menu));
}

LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
    LONG_PTR value = 0;
    return ReadLong(hWnd, nIndex, &value, sizeof(LONG)) ? static_cast<LONG>(value) : 0;
}

LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    return static_cast<LONG>(WriteLong(hWnd, nIndex, dwNewLong, sizeof(LONG)));
}

#if UINTPTR_MAX != 0xFFFFFFFFu
LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
    LONG_PTR value = 0;
    return ReadLong(hWnd, nIndex, &value, sizeof(LONG_PTR)) ? value : 0;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    return WriteLong(hWnd, nIndex, dwNewLong, sizeof(LONG_PTR));
}
#endif

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    WindowSystem& system = WindowSystem::Get();
    if (!system.Find(hWnd)) return FALSE;
    return system.Send(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    WindowSystem& system = WindowSystem::Get();
    if (!lpString || nMaxCount <= 0) return 0;
    lpString[0] = 0;
    if (!system.Find(hWnd)) return 0;
    return static_cast<int>(system.Send(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                        reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthA(HWND hWnd) {
    WindowSystem& system = WindowSystem::Get();
    if (!system.Find(hWnd)) return 0;
    return static_cast<int>(system.Send(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

// ---- placement --------------------------------------------------------------------------

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Find(hWnd);
    if (!w || !lpRect) return FALSE;
    const POINT origin = system.ParentOrigin(*w);
    *lpRect = w->window;
    OffsetRect(lpRect, origin.x, origin.y);
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    const Window* w = WindowSystem::Get().Find(hWnd);
    if (!w || !lpRect) return FALSE;
    *lpRect = {0, 0, Width(w->client), Height(w->client)};
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
    return WindowSystem::Get().SetPosition(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags) ? TRUE : FALSE;
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (bRepaint ? 0u : static_cast<UINT>(SWP_NOREDRAW));
    return WindowSystem::Get().SetPosition(hWnd, nullptr, X, Y, nWidth, nHeight, flags) ? TRUE : FALSE;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) { return WindowSystem::Get().Show(hWnd, nCmdShow) ? TRUE : FALSE; }

// Nothing is painted here, so there is never an update region to paint.
BOOL WINAPI UpdateWindow(HWND hWnd) { return WindowSystem::Get().Find(hWnd) ? TRUE : FALSE; }

BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL bMenu, DWORD dwExStyle) {
    if (!lpRect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const RECT in = WindowSystem::FrameInsets(dwStyle, dwExStyle, bMenu != FALSE);
    lpRect->left -= in.left;
    lpRect->top -= in.top;
    lpRect->right += in.right;
    lpRect->bottom += in.bottom;
    return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT lpRect, DWORD dwStyle, BOOL bMenu) {
    return AdjustWindowRectEx(lpRect, dwStyle, bMenu, 0);
}

BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Find(hWnd);
    if (!w || !lpPoint) return FALSE;
    const POINT origin = system.ClientOrigin(*w);
    lpPoint->x += origin.x;
    lpPoint->y += origin.y;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Find(hWnd);
    if (!w || !lpPoint) return FALSE;
    const POINT origin = system.ClientOrigin(*w);
    lpPoint->x -= origin.x;
    lpPoint->y -= origin.y;
    return TRUE;
}

// ---- activation and focus ---------------------------------------------------------------

HWND WINAPI GetForegroundWindow(void) { return WindowSystem::Get().Active(); }

BOOL WINAPI SetForegroundWindow(HWND hWnd) {
    WindowSystem& system = WindowSystem::Get();
    if (!system.Find(hWnd)) return FALSE;
    system.Activate(hWnd);
    return TRUE;
}

HWND WINAPI GetActiveWindow(void) { return WindowSystem::Get().ActiveOfThisProgram(); }

HWND WINAPI SetActiveWindow(HWND hWnd) {
    WindowSystem& system = WindowSystem::Get();
    if (hWnd && !system.Find(hWnd)) return nullptr;
    const HWND previous = system.ActiveOfThisProgram();
    system.Activate(hWnd);
    return previous;
}

HWND WINAPI GetFocus(void) { return WindowSystem::Get().Focus(); }

HWND WINAPI SetFocus(HWND hWnd) {
    WindowSystem& system = WindowSystem::Get();
    const HWND previous = system.Focus();
    if (!hWnd) {
        system.SetFocusTo(nullptr);
        return previous;
    }
    if (!system.Find(hWnd)) return nullptr;
    // A minimised or disabled window, or one inside such a window, takes no focus.
    for (const Window* w = system.Peek(hWnd); w && w->handle != system.Desktop(); w = system.Peek(w->parent))
        if (w->style & (WS_MINIMIZE | WS_DISABLED)) return nullptr;
    const HWND root = system.Root(hWnd);
    if (system.Active() != root) system.Activate(root);
    if (!system.Peek(hWnd)) return nullptr;
    system.SetFocusTo(hWnd);
    return previous;
}

// ---- rectangles -------------------------------------------------------------------------

BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
    if (!lprc) return FALSE;
    *lprc = {xLeft, yTop, xRight, yBottom};
    return TRUE;
}

BOOL WINAPI SetRectEmpty(LPRECT lprc) { return SetRect(lprc, 0, 0, 0, 0); }

BOOL WINAPI CopyRect(LPRECT lprcDst, const RECT* lprcSrc) {
    if (!lprcDst || !lprcSrc) return FALSE;
    *lprcDst = *lprcSrc;
    return TRUE;
}

BOOL WINAPI OffsetRect(LPRECT lprc, int dx, int dy) {
    if (!lprc) return FALSE;
    lprc->left += dx;
    lprc->right += dx;
    lprc->top += dy;
    lprc->bottom += dy;
    return TRUE;
}

BOOL WINAPI InflateRect(LPRECT lprc, int dx, int dy) {
    if (!lprc) return FALSE;
    lprc->left -= dx;
    lprc->right += dx;
    lprc->top -= dy;
    lprc->bottom += dy;
    return TRUE;
}

// The right and bottom edges are outside the rectangle.
BOOL WINAPI PtInRect(const RECT* lprc, POINT pt) {
    if (!lprc) return FALSE;
    return pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top && pt.y < lprc->bottom ? TRUE : FALSE;
}

BOOL WINAPI IsRectEmpty(const RECT* lprc) {
    return !lprc || lprc->right <= lprc->left || lprc->bottom <= lprc->top ? TRUE : FALSE;
}

BOOL WINAPI EqualRect(const RECT* a, const RECT* b) {
    if (!a || !b) return FALSE;
    return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom ? TRUE : FALSE;
}

// Rectangles that do not overlap give an empty one.
BOOL WINAPI IntersectRect(LPRECT lprcDst, const RECT* a, const RECT* b) {
    if (!lprcDst) return FALSE;
    if (!a || !b || IsRectEmpty(a) || IsRectEmpty(b) || a->left >= b->right || b->left >= a->right ||
        a->top >= b->bottom || b->top >= a->bottom) {
        SetRectEmpty(lprcDst);
        return FALSE;
    }
    *lprcDst = {std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
                std::min(a->bottom, b->bottom)};
    return TRUE;
}

// An empty rectangle adds nothing.
BOOL WINAPI UnionRect(LPRECT lprcDst, const RECT* a, const RECT* b) {
    if (!lprcDst || !a || !b) return FALSE;
    const bool emptyA = IsRectEmpty(a), emptyB = IsRectEmpty(b);
    if (emptyA && emptyB) {
        SetRectEmpty(lprcDst);
        return FALSE;
    }
    if (emptyA) *lprcDst = *b;
    else if (emptyB) *lprcDst = *a;
    else
        *lprcDst = {std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                    std::max(a->bottom, b->bottom)};
    return TRUE;
}

// ---- cursor and icons -------------------------------------------------------------------

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    if (!hInstance) {
        const SystemImage* image = FindSystemImage(kSystemIcons, lpIconName);
        if (!image) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return reinterpret_cast<HICON>(const_cast<SystemImage*>(image));
    }
    return static_cast<HICON>(LoadImageResource(hInstance, lpIconName, RT_GROUP_ICON));
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    if (!hInstance) {
        const SystemImage* image = FindSystemImage(kSystemCursors, lpCursorName);
        if (!image) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return reinterpret_cast<HCURSOR>(const_cast<SystemImage*>(image));
    }
    return static_cast<HCURSOR>(LoadImageResource(hInstance, lpCursorName, RT_GROUP_CURSOR));
}

HCURSOR WINAPI SetCursor(HCURSOR hCursor) {
    WindowSystem::CursorState& cursor = WindowSystem::Get().cursor;
    const HCURSOR previous = cursor.shape;
    cursor.shape = hCursor;
    cursor.shapesSet.push_back(hCursor);
    return previous;
}

HCURSOR WINAPI GetCursor(void) { return WindowSystem::Get().cursor.shape; }

int WINAPI ShowCursor(BOOL bShow) {
    int& counter = WindowSystem::Get().cursor.counter;
    counter += bShow ? 1 : -1;
    return counter;
}

BOOL WINAPI GetCursorPos(LPPOINT lpPoint) {
    if (!lpPoint) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *lpPoint = WindowSystem::Get().cursor.position;
    return TRUE;
}

// The cursor stays on the screen.
BOOL WINAPI SetCursorPos(int X, int Y) {
    WindowSystem& system = WindowSystem::Get();
    system.cursor.position = {std::clamp<LONG>(X, 0, system.DesktopWidth() - 1),
                              std::clamp<LONG>(Y, 0, system.DesktopHeight() - 1)};
    return TRUE;
}

// ---- the system -------------------------------------------------------------------------

int WINAPI GetSystemMetrics(int nIndex) { return platform::Metric(nIndex); }

BOOL WINAPI SystemParametersInfoA(UINT uiAction, UINT uiParam, PVOID pvParam, UINT) {
    UserSettings& settings = Settings();
    switch (uiAction) {
    case SPI_SETSCREENSAVERRUNNING:
        if (pvParam) *static_cast<BOOL*>(pvParam) = settings.screenSaverRunning ? TRUE : FALSE;
        settings.screenSaverRunning = uiParam != 0;
        return TRUE;
    case SPI_GETSCREENSAVERRUNNING:
    case SPI_GETSCREENSAVEACTIVE:
        if (!pvParam) {
            SetLastError(ERROR_NOACCESS);
            return FALSE;
        }
        *static_cast<BOOL*>(pvParam) =
            (uiAction == SPI_GETSCREENSAVERRUNNING ? settings.screenSaverRunning : settings.screenSaveActive) ? TRUE
                                                                                                              : FALSE;
        return TRUE;
    case SPI_SETSCREENSAVEACTIVE:
        settings.screenSaveActive = uiParam != 0;
        return TRUE;
    case SPI_GETWORKAREA:
        if (!pvParam) {
            SetLastError(ERROR_NOACCESS);
            return FALSE;
        }
        *static_cast<RECT*>(pvParam) = {0, 0, WindowSystem::Get().DesktopWidth(), WindowSystem::Get().DesktopHeight()};
        return TRUE;
    default:
        SetLastError(ERROR_INVALID_SPI_VALUE);
        return FALSE;
    }
}

// Nobody can answer a message box here: it is written to the error stream and recorded,
// and answers with the button a test chose or the box's default button.
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    if (hWnd && !WindowSystem::Get().Find(hWnd)) return 0;
    static const int kButtons[][3] = {{IDOK, 0, 0},         {IDOK, IDCANCEL, 0},      {IDABORT, IDRETRY, IDIGNORE},
                                      {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, 0},       {IDRETRY, IDCANCEL, 0},
                                      {IDCANCEL, IDTRYAGAIN, IDCONTINUE}};
    const UINT kind = uType & MB_TYPEMASK;
    if (kind >= sizeof kButtons / sizeof kButtons[0]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UserSettings& settings = Settings();
    const char* text = lpText ? lpText : "";
    const char* caption = lpCaption ? lpCaption : "Error";
    settings.messageBoxes.push_back({hWnd, text, caption, uType});
    fprintf(stderr, "MessageBoxA: %s: %s\n", caption, text);
    if (settings.messageBoxAnswer) return settings.messageBoxAnswer;
    const UINT button = (uType & MB_DEFMASK) >> 8;
    const int answer = button < 3 ? kButtons[kind][button] : 0;
    return answer ? answer : kButtons[kind][0];
}

HGDIOBJ WINAPI GetStockObject(int i) {
    // Index 9 names no object.
    if (i < 0 || i > DC_PEN || i == 9) return nullptr;
    return const_cast<StockObject*>(&kStockObjects[i]);
}

// ---- the test interface -----------------------------------------------------------------

void PlatformTest_ResetWindows() {
    platform::ResetDialogs();
    platform::ResetShell();
    platform::ResetGdi();
    WindowSystem::Get().Reset();
    platform::MessageQueue::Get().Reset();
    Settings() = UserSettings{};
}

void PlatformTest_RecordMessages(bool on) { WindowSystem::Get().Record(on); }
void PlatformTest_ClearMessages() { WindowSystem::Get().ClearRecord(); }

std::vector<PlatformTestMessage> PlatformTest_Messages(HWND window) {
    std::vector<PlatformTestMessage> out;
    for (const PlatformTestMessage& m : WindowSystem::Get().Recorded())
        if (m.window == window) out.push_back(m);
    return out;
}

std::vector<PlatformTestMessage> PlatformTest_AllMessages() { return WindowSystem::Get().Recorded(); }

void PlatformTest_SetDesktopSize(LONG width, LONG height) { WindowSystem::Get().SetDesktopSize(width, height); }

void PlatformTest_MarkOtherProgram(HWND window) {
    WindowSystem& system = WindowSystem::Get();
    if (Window* w = system.Peek(window); w && system.IsTopLevel(*w)) w->otherProgram = true;
}

void PlatformTest_SetMessageBoxAnswer(int answer) { Settings().messageBoxAnswer = answer; }
std::vector<PlatformTestMessageBox> PlatformTest_MessageBoxes() { return Settings().messageBoxes; }

int PlatformTest_CursorCounter() { return WindowSystem::Get().cursor.counter; }

std::vector<WORD> PlatformTest_CursorsSet() {
    std::vector<WORD> ids;
    for (HCURSOR shape : WindowSystem::Get().cursor.shapesSet) ids.push_back(SystemCursorId(shape));
    return ids;
}

void PlatformTest_ClearCursorsSet() { WindowSystem::Get().cursor.shapesSet.clear(); }
bool PlatformTest_ScreenSaverRunning() { return Settings().screenSaverRunning; }
