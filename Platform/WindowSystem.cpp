// The window table: classes, creation and destruction in the order of messages that
// Windows follows, placement with WM_WINDOWPOSCHANGING/CHANGED, showing, minimising and
// maximising, activation and focus. The default procedure's share of these (WM_MOVE and
// WM_SIZE after WM_WINDOWPOSCHANGED, the size limits of WM_WINDOWPOSCHANGING) lives in
// DefWindowProcA, so that a procedure that does not pass a message on sees what it would
// see on Windows.
#include "WindowSystem.h"

#include "MessageQueue.h"

#include <ctype.h>
#include <string.h>

#include <algorithm>

namespace platform {

namespace {

bool SameName(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) return false;
    return i == a.size() && b[i] == 0;
}

LONG Width(const RECT& r) { return r.right - r.left; }
LONG Height(const RECT& r) { return r.bottom - r.top; }

// Windows keeps coordinates in 16 bits.
int ClampCoordinate(int v) { return std::clamp(v, -32768, 32767); }
int ClampExtent(int v) { return std::clamp(v, 0, 32767); }

// Where minimised top-level windows go: off the screen.
constexpr int kMinimizedPosition = -32000;

RECT MaximizedRect(const MINMAXINFO& info) {
    return {info.ptMaxPosition.x, info.ptMaxPosition.y, info.ptMaxPosition.x + info.ptMaxSize.x,
            info.ptMaxPosition.y + info.ptMaxSize.y};
}

}  // namespace

int Metric(int index) {
    const WindowSystem& system = WindowSystem::Get();
    const int w = system.DesktopWidth();
    const int h = system.DesktopHeight();
    // A fixed set in the proportions of the classic look: a 1-pixel border, a 3-pixel
    // fixed frame, a 4-pixel sizing frame, 2-pixel edges, and a caption and a menu bar of
    // 18 pixels with the line below them.
    switch (index) {
    case SM_CXSCREEN: return w;
    case SM_CYSCREEN: return h;
    case SM_CXVSCROLL: case SM_CYHSCROLL: case SM_CYVSCROLL: case SM_CXHSCROLL: return 16;
    case SM_CYVTHUMB: case SM_CXHTHUMB: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXEDGE: case SM_CYEDGE: return 2;
    case SM_CXICON: case SM_CYICON: case SM_CXCURSOR: case SM_CYCURSOR: return 32;
    case SM_CXSMICON: case SM_CYSMICON: return 16;
    case SM_CYMENU: return 19;
    case SM_CXFULLSCREEN: return w;
    case SM_CYFULLSCREEN: return h - 19;
    case SM_MOUSEPRESENT: case SM_MOUSEWHEELPRESENT: return 1;
    case SM_CXMIN: case SM_CXMINTRACK: return 112;
    case SM_CYMIN: case SM_CYMINTRACK: return 27;  // a caption and two sizing frames
    case SM_CXSIZE: case SM_CYSIZE: case SM_CXMENUSIZE: case SM_CYMENUSIZE: return 18;
    case SM_CXSMSIZE: return 12;
    case SM_CYSMSIZE: return 14;
    case SM_CYSMCAPTION: return 15;
    case SM_CXDOUBLECLK: case SM_CYDOUBLECLK: case SM_CXDRAG: case SM_CYDRAG: return 4;
    case SM_CXICONSPACING: case SM_CYICONSPACING: return 75;
    case SM_CMOUSEBUTTONS: return 3;
    case SM_CXMINIMIZED: return 160;
    case SM_CYMINIMIZED: return 24;
    // A window may be dragged to cover the screen with its sizing frame and edges outside.
    case SM_CXMAXTRACK: return w + 12;
    case SM_CYMAXTRACK: return h + 12;
    // A maximised overlapped window hangs its sizing frame off the screen.
    case SM_CXMAXIMIZED: return w + 8;
    case SM_CYMAXIMIZED: return h + 8;
    case SM_CXVIRTUALSCREEN: return w;
    case SM_CYVIRTUALSCREEN: return h;
    case SM_CMONITORS: case SM_SAMEDISPLAYFORMAT: return 1;
    case SM_CXFOCUSBORDER: case SM_CYFOCUSBORDER: return 1;
    default: return 0;  // SM_XVIRTUALSCREEN, SM_SWAPBUTTON, SM_DEBUG, ... and unknown indices
    }
}

WindowSystem& WindowSystem::Get() {
    static WindowSystem system;
    return system;
}

WindowSystem::WindowSystem() {
    MakeDesktop();
    RegisterStandardClasses(*this);
}

void WindowSystem::Reset() {
    windows.clear();
    classes.clear();
    active = nullptr;
    focus = nullptr;
    desktopWidth = 1024;
    desktopHeight = 768;
    cascade = 0;
    cursor = CursorState{};
    recording = false;
    record.clear();
    nextAtom = 0xC000;
    MakeDesktop();
    RegisterStandardClasses(*this);
}

HWND WindowSystem::NewHandle() {
    const ULONG_PTR value = nextHandle;
    nextHandle += 4;
    return reinterpret_cast<HWND>(value);
}

void WindowSystem::MakeDesktop() {
    auto w = std::make_unique<Window>();
    // The desktop's handle stays the same across resets, as it does across processes.
    w->handle = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x10010));
    w->text = "";
    w->style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    w->procedure = DefWindowProcA;
    w->otherProgram = true;  // the shell's, as on Windows
    w->window = {0, 0, desktopWidth, desktopHeight};
    w->client = w->window;
    w->normal = w->window;
    desktop = w->handle;
    windows[reinterpret_cast<ULONG_PTR>(desktop)] = std::move(w);
}

void WindowSystem::SetDesktopSize(LONG width, LONG height) {
    desktopWidth = std::max<LONG>(width, 1);
    desktopHeight = std::max<LONG>(height, 1);
    if (Window* d = Peek(desktop)) {
        d->window = {0, 0, desktopWidth, desktopHeight};
        d->client = d->window;
    }
}

// ---- classes ----------------------------------------------------------------------------

WindowClass* WindowSystem::FindClass(LPCSTR nameOrAtom) {
    if (!nameOrAtom) return nullptr;
    for (auto& c : classes) {
        if (IS_INTRESOURCE(nameOrAtom) ? c->atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(nameOrAtom))
                                       : SameName(c->name, nameOrAtom))
            return c.get();
    }
    return nullptr;
}

ATOM WindowSystem::RegisterClass(const WNDCLASSEXA& d) {
    if (!d.lpszClassName || IS_INTRESOURCE(d.lpszClassName) || !d.lpszClassName[0] || d.cbClsExtra < 0 ||
        d.cbWndExtra < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // Class names are one name space in this process, whatever module registers them.
    if (FindClass(d.lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    if (nextAtom == 0) {  // every string atom is in use
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    auto c = std::make_unique<WindowClass>();
    c->name = d.lpszClassName;
    c->atom = nextAtom++;
    c->style = d.style;
    c->procedure = d.lpfnWndProc;
    c->classExtra = d.cbClsExtra;
    c->windowExtra = d.cbWndExtra;
    c->instance = d.hInstance ? d.hInstance : reinterpret_cast<HINSTANCE>(GetModuleHandleA(nullptr));
    c->icon = d.hIcon;
    c->smallIcon = d.hIconSm;
    c->cursor = d.hCursor;
    c->background = d.hbrBackground;
    c->menuName = d.lpszMenuName;
    const ATOM atom = c->atom;
    classes.push_back(std::move(c));
    return atom;
}

void WindowSystem::RegisterSystemClass(const WNDCLASSEXA& d, ATOM atom) {
    if (FindClass(d.lpszClassName)) return;
    auto c = std::make_unique<WindowClass>();
    c->name = d.lpszClassName;
    c->atom = atom;
    c->style = d.style;
    c->procedure = d.lpfnWndProc;
    c->windowExtra = d.cbWndExtra;
    c->cursor = d.hCursor;
    classes.push_back(std::move(c));
}

bool WindowSystem::UnregisterClass(LPCSTR name) {
    WindowClass* c = FindClass(name);
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return false;
    }
    if (c->windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return false;
    }
    classes.erase(std::find_if(classes.begin(), classes.end(), [&](auto& p) { return p.get() == c; }));
    return true;
}

// ---- windows ----------------------------------------------------------------------------

Window* WindowSystem::Peek(HWND handle) {
    auto it = windows.find(reinterpret_cast<ULONG_PTR>(handle));
    return it == windows.end() ? nullptr : it->second.get();
}

Window* WindowSystem::Find(HWND handle) {
    Window* w = Peek(handle);
    if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

HWND WindowSystem::Root(HWND handle) {
    Window* w = Peek(handle);
    while (w && w->parent && w->parent != desktop) {
        handle = w->parent;
        w = Peek(handle);
    }
    return w ? handle : nullptr;
}

std::vector<HWND> WindowSystem::TopLevelWindows() {
    Window* d = Peek(desktop);
    return d ? d->children : std::vector<HWND>{};
}

LRESULT WindowSystem::CallProcedure(WNDPROC procedure, HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    if (recording) {
        UINT flags = 0;
        if ((message == WM_WINDOWPOSCHANGING || message == WM_WINDOWPOSCHANGED) && lParam)
            flags = reinterpret_cast<const WINDOWPOS*>(lParam)->flags;
        record.push_back({handle, message, wParam, lParam, flags});
    }
    if (!procedure) return DefWindowProcA(handle, message, wParam, lParam);
    return procedure(handle, message, wParam, lParam);
}

LRESULT WindowSystem::Send(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Peek(handle);
    if (!w) return 0;
    // Hooks are only ever added, so an index stays good while one adds another.
    for (size_t i = 0; i < hooks.size(); ++i) {
        hooks[i](handle, message, wParam, lParam);
        // A hook may have destroyed the window it was told of.
        if (!(w = Peek(handle))) return 0;
    }
    return CallProcedure(w->procedure, handle, message, wParam, lParam);
}

void WindowSystem::AddHook(MessageHook hook) {
    if (hook && std::find(hooks.begin(), hooks.end(), hook) == hooks.end()) hooks.push_back(hook);
}

void WindowSystem::Insert(Window& parent, HWND child, HWND after) {
    auto& list = parent.children;
    list.erase(std::remove(list.begin(), list.end(), child), list.end());
    const Window* c = Peek(child);
    const bool topmost = c && (c->exStyle & WS_EX_TOPMOST);
    // Topmost windows stay in front of the others.
    auto firstOfGroup = list.begin();
    if (!topmost)
        while (firstOfGroup != list.end() && Peek(*firstOfGroup) && (Peek(*firstOfGroup)->exStyle & WS_EX_TOPMOST))
            ++firstOfGroup;
    if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
        list.insert(firstOfGroup, child);
    } else if (after == HWND_BOTTOM) {
        if (topmost) {
            auto end = list.begin();
            while (end != list.end() && Peek(*end) && (Peek(*end)->exStyle & WS_EX_TOPMOST)) ++end;
            list.insert(end, child);
        } else {
            list.push_back(child);
        }
    } else {
        auto at = std::find(list.begin(), list.end(), after);
        list.insert(at == list.end() ? firstOfGroup : at + 1, child);
    }
}

void WindowSystem::Unlink(Window& w) {
    if (Window* p = Peek(w.parent)) p->children.erase(std::remove(p->children.begin(), p->children.end(), w.handle),
                                                    p->children.end());
}

void WindowSystem::NotifyParent(HWND handle, UINT event) {
    Window* w = Peek(handle);
    if (!w || (w->style & (WS_CHILD | WS_POPUP)) != WS_CHILD || (w->exStyle & WS_EX_NOPARENTNOTIFY)) return;
    if (!w->parent || w->parent == desktop) return;
    const WORD id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(w->menu));
    Send(w->parent, WM_PARENTNOTIFY, MAKEWPARAM(event, id), reinterpret_cast<LPARAM>(handle));
}

bool WindowSystem::HasMenuBar(const Window& w) const { return w.parent == desktop && w.menu != nullptr; }

RECT WindowSystem::FrameInsets(DWORD style, DWORD exStyle, bool menu) {
    int border = 0;
    if (style & WS_THICKFRAME)
        border = Metric(SM_CXFRAME);
    else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME))
        border = Metric(SM_CXDLGFRAME);
    else if (style & WS_BORDER)
        border = Metric(SM_CXBORDER);
    if (exStyle & WS_EX_CLIENTEDGE) border += Metric(SM_CXEDGE);
    if (exStyle & WS_EX_STATICEDGE) border += Metric(SM_CXBORDER);
    int top = border;
    if ((style & WS_CAPTION) == WS_CAPTION)
        top += (exStyle & WS_EX_TOOLWINDOW) ? Metric(SM_CYSMCAPTION) : Metric(SM_CYCAPTION);
    if (menu) top += Metric(SM_CYMENU);
    return {border, top, border, border};
}

RECT WindowSystem::DefaultClientRect(const Window& w, const RECT& r) const {
    if (w.style & WS_MINIMIZE) return {r.left, r.top, r.left, r.top};
    const RECT in = FrameInsets(w.style, w.exStyle, HasMenuBar(w));
    RECT c{r.left + in.left, r.top + in.top, r.right - in.right, r.bottom - in.bottom};
    // A window smaller than its frame has an empty client area, never a negative one.
    if (c.right < c.left) c.right = c.left;
    if (c.bottom < c.top) c.bottom = c.top;
    return c;
}

MINMAXINFO WindowSystem::DefaultMinMaxInfo(const Window& w) const {
    MINMAXINFO info{};
    LONG parentWidth = desktopWidth, parentHeight = desktopHeight;
    if (w.parent != desktop) {
        if (const Window* p = const_cast<WindowSystem*>(this)->Peek(w.parent)) {
            parentWidth = Width(p->client);
            parentHeight = Height(p->client);
        }
    }
    const RECT in = FrameInsets(w.style, w.exStyle, false);
    info.ptReserved = {w.window.left, w.window.top};
    // Maximised, the frame hangs outside the parent's client area on every side; the
    // caption stays inside.
    const LONG frameX = in.left;
    const LONG frameY = in.bottom;
    info.ptMaxSize = {parentWidth + 2 * frameX, parentHeight + 2 * frameY};
    info.ptMaxPosition = {-frameX, -frameY};
    if (w.style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME))
        info.ptMinTrackSize = {Metric(SM_CXMINTRACK), Metric(SM_CYMINTRACK)};
    else
        info.ptMinTrackSize = {2 * frameX, 2 * frameY};
    info.ptMaxTrackSize = {Metric(SM_CXMAXTRACK), Metric(SM_CYMAXTRACK)};
    return info;
}

MINMAXINFO WindowSystem::QueryMinMaxInfo(HWND handle) {
    Window* w = Peek(handle);
    if (!w) return MINMAXINFO{};
    MINMAXINFO info = DefaultMinMaxInfo(*w);
    Send(handle, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    // A procedure may ask for anything; the limits stay in order.
    info.ptMaxTrackSize.x = std::max(info.ptMaxTrackSize.x, info.ptMinTrackSize.x);
    info.ptMaxTrackSize.y = std::max(info.ptMaxTrackSize.y, info.ptMinTrackSize.y);
    return info;
}

POINT WindowSystem::ParentOrigin(const Window& w) {
    const Window* p = Peek(w.parent);
    return p ? ClientOrigin(*p) : POINT{0, 0};
}

POINT WindowSystem::ClientOrigin(const Window& w) {
    const POINT o = ParentOrigin(w);
    return {o.x + w.client.left, o.y + w.client.top};
}

HWND WindowSystem::Create(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width,
                          int height, HWND parentHandle, HMENU menu, HINSTANCE instance, LPVOID parameter) {
    WindowClass* windowClass = FindClass(className);
    if (!windowClass) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    const bool child = (style & (WS_CHILD | WS_POPUP)) == WS_CHILD;
    const bool overlapped = (style & (WS_CHILD | WS_POPUP)) == 0;
    HWND parent = desktop;
    HWND owner = nullptr;
    if (parentHandle == HWND_MESSAGE) {
        parentHandle = nullptr;  // a message-only window: a hidden top-level window here
    } else if (parentHandle && !Find(parentHandle)) {
        return nullptr;
    }
    if (child) {
        if (!parentHandle) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        parent = parentHandle;
    } else if (parentHandle && parentHandle != desktop) {
        owner = Root(parentHandle);  // an owner is always a top-level window
    }

    // What Windows makes of the styles: overlapped windows always have a caption, top-level
    // windows clip their siblings, framed windows have the raised outer edge.
    DWORD windowStyle = style;
    if (!child) {
        windowStyle |= WS_CLIPSIBLINGS;
        if (overlapped) windowStyle |= WS_CAPTION;
    }
    if ((exStyle & WS_EX_DLGMODALFRAME) ||
        (!(exStyle & WS_EX_STATICEDGE) && (windowStyle & (WS_DLGFRAME | WS_THICKFRAME))))
        exStyle |= WS_EX_WINDOWEDGE;
    else
        exStyle &= ~static_cast<DWORD>(WS_EX_WINDOWEDGE);

    int showCommand = SW_SHOW;
    if (overlapped) {
        if (x == CW_USEDEFAULT) {
            // Default positions cascade down the screen, one caption and frame apart.
            const int step = Metric(SM_CYCAPTION) + Metric(SM_CYFRAME) + 3;
            const int k = cascade++ % 8;
            if (y != CW_USEDEFAULT) showCommand = y;
            x = y = step * (k + 1);
        }
        if (width == CW_USEDEFAULT) {
            width = desktopWidth * 3 / 4;
            height = desktopHeight * 3 / 4;
        }
    } else {
        if (x == CW_USEDEFAULT) x = y = 0;
        if (width == CW_USEDEFAULT) width = height = 0;
    }
    width = std::max(width, 0);
    height = std::max(height, 0);

    auto fresh = std::make_unique<Window>();
    Window& w = *fresh;
    w.handle = NewHandle();
    w.windowClass = windowClass;
    w.style = windowStyle & ~static_cast<DWORD>(WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
    w.exStyle = exStyle;
    w.parent = parent;
    w.owner = owner;
    w.menu = menu;
    w.instance = instance;
    w.procedure = windowClass->procedure;
    w.extra.assign(static_cast<size_t>(windowClass->windowExtra), 0);
    w.window = {x, y, x + width, y + height};
    w.client = w.window;
    w.normal = w.window;
    w.needsFirstSize = overlapped;
    const HWND handle = w.handle;
    windows[reinterpret_cast<ULONG_PTR>(handle)] = std::move(fresh);
    ++windowClass->windows;
    // New children go to the bottom, so that the first made is the first in tab order;
    // new top-level windows come to the top.
    Insert(*Peek(parent), handle, child ? HWND_BOTTOM : HWND_TOP);

    CREATESTRUCTA create{};
    create.lpCreateParams = parameter;
    create.hInstance = instance;
    create.hMenu = menu;
    create.hwndParent = parentHandle;
    create.x = x;
    create.y = y;
    create.cx = width;
    create.cy = height;
    create.style = static_cast<LONG>(style);
    create.lpszName = title;
    create.lpszClass = className;
    create.dwExStyle = exStyle;

    // Sizable and overlapped windows are held to the size limits their procedure states.
    if ((windowStyle & WS_THICKFRAME) || overlapped) {
        const MINMAXINFO info = QueryMinMaxInfo(handle);
        Window* again = Peek(handle);
        if (!again) return nullptr;
        create.cx = std::max(std::min<int>(create.cx, info.ptMaxTrackSize.x), static_cast<int>(info.ptMinTrackSize.x));
        create.cy = std::max(std::min<int>(create.cy, info.ptMaxTrackSize.y), static_cast<int>(info.ptMinTrackSize.y));
        again->window = {x, y, x + create.cx, y + create.cy};
        again->client = again->window;
        again->normal = again->window;
    }

    // A window whose procedure refuses WM_NCCREATE or WM_CREATE is destroyed before
    // CreateWindowEx returns null: WM_DESTROY, then WM_NCDESTROY. It was never shown and
    // its parent never heard of it, so nothing else is sent.
    const auto refuse = [&] {
        SendDestroy(handle);
        if (Peek(handle)) Free(handle);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    };
    if (!Send(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) return refuse();
    if (Window* again = Peek(handle)) {
        RECT r = again->window;
        Send(handle, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&r));
        if ((again = Peek(handle))) again->client = r;
    }
    if (!Peek(handle)) return nullptr;
    if (Send(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) return refuse();
    Window* made = Peek(handle);
    if (!made) return nullptr;
    if (!made->needsFirstSize) {
        const RECT c = made->client;
        Send(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(Width(c), Height(c)));
        Send(handle, WM_MOVE, 0, MAKELPARAM(c.left, c.top));
    }
    if (style & (WS_MINIMIZE | WS_MAXIMIZE)) {
        RECT r{};
        const UINT flags = MinMaximize(handle, (style & WS_MINIMIZE) ? SW_MINIMIZE : SW_MAXIMIZE, &r);
        SetPosition(handle, nullptr, r.left, r.top, Width(r), Height(r), flags | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        if (Window* again = Peek(handle)) again->needsFirstSize = false;
    }
    NotifyParent(handle, WM_CREATE);
    if (!Peek(handle)) return nullptr;
    if (style & WS_VISIBLE) {
        if (style & WS_MAXIMIZE)
            showCommand = SW_SHOW;
        else if (style & WS_MINIMIZE)
            showCommand = SW_SHOWMINIMIZED;
        Show(handle, showCommand);
    }
    return Peek(handle) ? handle : nullptr;
}

bool WindowSystem::Destroy(HWND handle) {
    Window* w = Find(handle);
    if (!w) return false;
    if (handle == desktop) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (w->destroying) return true;  // already on its way: a procedure asked again
    const bool child = !IsTopLevel(*w);
    if (child) NotifyParent(handle, WM_DESTROY);
    if (!(w = Peek(handle))) return true;
    if (w->style & WS_VISIBLE) {
        if (child)
            Show(handle, SW_HIDE);
        else
            SetPosition(handle, nullptr, 0, 0, 0, 0,
                        SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
    }
    if (!Peek(handle)) return true;
    if (!child) {
        // Owned windows go first, whole.
        for (HWND other : TopLevelWindows()) {
            Window* o = Peek(other);
            if (o && o->owner == handle) Destroy(other);
        }
        if (!Peek(handle)) return true;
    }
    SendDestroy(handle);
    if (Peek(handle)) Free(handle);
    return true;
}

// WM_DESTROY goes to the window first and then down to its children.
void WindowSystem::SendDestroy(HWND handle) {
    Window* w = Peek(handle);
    if (!w) return;
    w->destroying = true;
    if (active == handle) ActivateOther(handle);
    Send(handle, WM_DESTROY, 0, 0);
    if (!(w = Peek(handle))) return;
    for (HWND c : std::vector<HWND>(w->children)) SendDestroy(c);
}

// The children's storage goes first; each window hears WM_NCDESTROY as the last message.
void WindowSystem::Free(HWND handle) {
    Window* w = Peek(handle);
    if (!w) return;
    w->destroying = true;
    for (HWND c : std::vector<HWND>(w->children)) Free(c);
    ForgetWindowMessages(handle);
    if (focus == handle) focus = nullptr;
    if (active == handle) active = nullptr;
    Send(handle, WM_NCDESTROY, 0, 0);
    if (!(w = Peek(handle))) return;
    Unlink(*w);
    for (HWND other : TopLevelWindows())
        if (Window* o = Peek(other); o && o->owner == handle) o->owner = nullptr;
    if (w->windowClass) --w->windowClass->windows;
    windows.erase(reinterpret_cast<ULONG_PTR>(handle));
}

// ---- placement --------------------------------------------------------------------------

bool WindowSystem::SetPosition(HWND handle, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    Window* w = Find(handle);
    if (!w) return false;
    if (handle == desktop) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (!(flags & SWP_NOMOVE)) {
        x = ClampCoordinate(x);
        y = ClampCoordinate(y);
    }
    if (!(flags & SWP_NOSIZE)) {
        cx = ClampExtent(cx);
        cy = ClampExtent(cy);
    }
    WINDOWPOS pos{handle, insertAfter, x, y, cx, cy, flags};
    if (!(flags & SWP_NOSENDCHANGING)) {
        Send(handle, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
        if (!(w = Find(handle))) return false;
    }
    flags = pos.flags;
    const RECT oldWindow = w->window;
    const RECT oldClient = w->client;
    RECT next = oldWindow;
    if (!(flags & SWP_NOSIZE)) {
        next.right = next.left + std::max(pos.cx, 0);
        next.bottom = next.top + std::max(pos.cy, 0);
    }
    if (!(flags & SWP_NOMOVE)) OffsetRect(&next, pos.x - next.left, pos.y - next.top);

    // What the call really changes.
    if (w->style & WS_VISIBLE)
        flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
    else
        flags &= ~static_cast<UINT>(SWP_HIDEWINDOW);
    if (Width(next) == Width(oldWindow) && Height(next) == Height(oldWindow)) flags |= SWP_NOSIZE;
    if (next.left == oldWindow.left && next.top == oldWindow.top) flags |= SWP_NOMOVE;
    HWND after = pos.hwndInsertAfter;
    if (!(flags & SWP_NOZORDER)) {
        if (after == handle || (after == HWND_NOTOPMOST && !(w->exStyle & WS_EX_TOPMOST)))
            flags |= SWP_NOZORDER;
        else if (!IsTopLevel(*w) && (after == HWND_TOPMOST || after == HWND_NOTOPMOST))
            after = HWND_TOP;  // only top-level windows are topmost
    }

    RECT client;
    if ((flags & (SWP_NOSIZE | SWP_FRAMECHANGED)) != SWP_NOSIZE) {
        NCCALCSIZE_PARAMS params{};
        params.rgrc[0] = next;
        params.rgrc[1] = oldWindow;
        params.rgrc[2] = oldClient;
        params.lppos = &pos;
        Send(handle, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params));
        if (!(w = Find(handle))) return false;
        client = params.rgrc[0];
    } else {
        client = oldClient;
        OffsetRect(&client, next.left - oldWindow.left, next.top - oldWindow.top);
    }
    if (Width(client) == Width(oldClient) && Height(client) == Height(oldClient)) flags |= kSwpNoClientSize;
    if (client.left == oldClient.left && client.top == oldClient.top) flags |= kSwpNoClientMove;

    w->window = next;
    w->client = client;
    if (!(w->style & (WS_MINIMIZE | WS_MAXIMIZE))) w->normal = next;
    if (!(flags & SWP_NOZORDER)) {
        if (after == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
        if (after == HWND_NOTOPMOST || after == HWND_BOTTOM) w->exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
        if (Window* p = Peek(w->parent)) Insert(*p, handle, after);
    }
    if (flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
    if (flags & SWP_HIDEWINDOW) w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    const bool child = !IsTopLevel(*w);

    if (!(flags & (SWP_NOACTIVATE | SWP_HIDEWINDOW))) {
        if (child)
            Send(handle, WM_CHILDACTIVATE, 0, 0);
        else
            Activate(handle);
        if (!(w = Find(handle))) return false;
    }

    constexpr UINT kNoChange = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | kSwpNoClientSize | kSwpNoClientMove;
    constexpr UINT kStatus = kNoChange | SWP_FRAMECHANGED | SWP_SHOWWINDOW | SWP_HIDEWINDOW;
    if ((flags & kStatus) != kNoChange) {
        WINDOWPOS done{handle, pos.hwndInsertAfter, w->window.left, w->window.top, Width(w->window),
                       Height(w->window), flags};
        Send(handle, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&done));
    }

    if (flags & SWP_HIDEWINDOW) {
        // A hidden window gives up activation and its focus.
        if (active == handle) ActivateOther(handle);
        if (focus && (focus == handle || IsChild(handle, focus))) {
            Window* again = Peek(handle);
            SetFocusTo(again && again->parent != desktop ? again->parent : nullptr);
        }
    }
    return true;
}

// Moves the window into or out of its minimised or maximised state and computes where it
// goes; the flags for the SetPosition that carries it out.
UINT WindowSystem::MinMaximize(HWND handle, int command, RECT* newRect) {
    Window* w = Peek(handle);
    if (!w) return SWP_NOSIZE | SWP_NOMOVE;
    switch (command) {
    case SW_MINIMIZE: {
        if (w->style & WS_MINIMIZE) return SWP_NOSIZE | SWP_NOMOVE;
        w->restoreMaximized = (w->style & WS_MAXIMIZE) != 0;
        if (!w->restoreMaximized) w->normal = w->window;
        w->style = (w->style | WS_MINIMIZE) & ~static_cast<DWORD>(WS_MAXIMIZE);
        int left = kMinimizedPosition, top = kMinimizedPosition;
        if (!IsTopLevel(*w)) {
            // Minimised children line up at the bottom of their parent.
            const Window* p = Peek(w->parent);
            left = 0;
            top = p ? Height(p->client) - Metric(SM_CYMINIMIZED) : 0;
        }
        *newRect = {left, top, left + Metric(SM_CXMINIMIZED), top + Metric(SM_CYMINIMIZED)};
        return kSwpStateChanged | SWP_NOCOPYBITS;
    }
    case SW_MAXIMIZE: {
        const MINMAXINFO info = QueryMinMaxInfo(handle);
        if (!(w = Peek(handle))) return SWP_NOSIZE | SWP_NOMOVE;
        if (!(w->style & (WS_MINIMIZE | WS_MAXIMIZE))) w->normal = w->window;
        w->style = (w->style | WS_MAXIMIZE) & ~static_cast<DWORD>(WS_MINIMIZE);
        *newRect = MaximizedRect(info);
        return kSwpStateChanged;
    }
    default: {  // restore
        if (w->style & WS_MINIMIZE) {
            if (!Send(handle, WM_QUERYOPEN, 0, 0)) return SWP_NOSIZE | SWP_NOMOVE;
            if (!(w = Peek(handle))) return SWP_NOSIZE | SWP_NOMOVE;
            w->style &= ~static_cast<DWORD>(WS_MINIMIZE);
            if (w->restoreMaximized) {
                // Back to the maximised state it was minimised from; the normal place stays.
                w->restoreMaximized = false;
                const MINMAXINFO info = QueryMinMaxInfo(handle);
                if (!(w = Peek(handle))) return SWP_NOSIZE | SWP_NOMOVE;
                w->style |= WS_MAXIMIZE;
                *newRect = MaximizedRect(info);
                return kSwpStateChanged;
            }
        } else if (w->style & WS_MAXIMIZE) {
            w->style &= ~static_cast<DWORD>(WS_MAXIMIZE);
        } else {
            return SWP_NOSIZE | SWP_NOMOVE;
        }
        *newRect = w->normal;
        return kSwpStateChanged;
    }
    }
}

void WindowSystem::SendFirstSize(HWND handle) {
    Window* w = Peek(handle);
    if (!w || !w->needsFirstSize) return;
    w->needsFirstSize = false;
    WPARAM kind = SIZE_RESTORED;
    if (w->style & WS_MAXIMIZE) kind = SIZE_MAXIMIZED;
    if (w->style & WS_MINIMIZE) kind = SIZE_MINIMIZED;
    const RECT c = w->client;
    Send(handle, WM_SIZE, kind, MAKELPARAM(Width(c), Height(c)));
    Send(handle, WM_MOVE, 0, MAKELPARAM(c.left, c.top));
}

bool WindowSystem::Show(HWND handle, int command) {
    Window* w = Find(handle);
    if (!w) return false;
    const bool wasVisible = (w->style & WS_VISIBLE) != 0;
    const bool child = !IsTopLevel(*w);
    const DWORD style = w->style;
    bool show = command != SW_HIDE;
    UINT flags = 0;
    RECT target{};
    bool moved = false;
    switch (command) {
    case SW_HIDE:
        if (!wasVisible) return false;
        flags = SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE;
        if (child) flags |= SWP_NOACTIVATE | SWP_NOZORDER;
        break;
    case SW_SHOWMINNOACTIVE:
    case SW_MINIMIZE:
    case SW_FORCEMINIMIZE:
        flags |= SWP_NOACTIVATE | SWP_NOZORDER;
        [[fallthrough]];
    case SW_SHOWMINIMIZED:
        flags |= SWP_SHOWWINDOW | SWP_FRAMECHANGED;
        if (style & WS_MINIMIZE) {
            if (wasVisible) return true;
            flags |= SWP_NOSIZE | SWP_NOMOVE;
        } else {
            flags |= MinMaximize(handle, SW_MINIMIZE, &target);
            moved = true;
        }
        break;
    case SW_SHOWMAXIMIZED:
        if (!wasVisible) flags |= SWP_SHOWWINDOW;
        flags |= SWP_FRAMECHANGED;
        if (style & WS_MAXIMIZE) {
            if (wasVisible) return true;
            flags |= SWP_NOSIZE | SWP_NOMOVE;
        } else {
            flags |= MinMaximize(handle, SW_MAXIMIZE, &target);
            moved = true;
        }
        break;
    case SW_SHOWNA:
        flags |= SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE;
        if (child) flags |= SWP_NOZORDER;
        break;
    case SW_SHOW:
        if (wasVisible) return true;
        flags |= SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE;
        if (child) flags |= SWP_NOACTIVATE | SWP_NOZORDER;
        break;
    case SW_SHOWNOACTIVATE:
        flags |= SWP_NOACTIVATE | SWP_NOZORDER;
        [[fallthrough]];
    case SW_RESTORE:
    case SW_SHOWNORMAL:
    case SW_SHOWDEFAULT:
        if (!wasVisible) flags |= SWP_SHOWWINDOW;
        if (style & (WS_MINIMIZE | WS_MAXIMIZE)) {
            flags |= SWP_FRAMECHANGED | MinMaximize(handle, SW_RESTORE, &target);
            moved = (flags & kSwpStateChanged) != 0;
        } else {
            if (wasVisible) return true;
            flags |= SWP_NOSIZE | SWP_NOMOVE;
        }
        if (child && !(flags & kSwpStateChanged)) flags |= SWP_NOACTIVATE | SWP_NOZORDER;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return wasVisible;
    }
    if (!Peek(handle)) return wasVisible;
    if ((show != wasVisible || command == SW_SHOWNA) && command != SW_SHOWMAXIMIZED && !(flags & kSwpStateChanged)) {
        Send(handle, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        if (!Peek(handle)) return wasVisible;
    }
    if (!moved) flags |= SWP_NOSIZE | SWP_NOMOVE;
    SetPosition(handle, HWND_TOP, target.left, target.top, Width(target), Height(target), flags);
    if (!Peek(handle)) return wasVisible;
    if (command == SW_MINIMIZE || command == SW_FORCEMINIMIZE) {
        // Minimising hands activation to the next window.
        if (active == handle) ActivateOther(handle);
        if (focus && (focus == handle || IsChild(handle, focus))) SetFocusTo(nullptr);
    }
    if (command != SW_HIDE) SendFirstSize(handle);
    return wasVisible;
}

// ---- activation and focus ---------------------------------------------------------------

WindowSystem::Program WindowSystem::ProgramOf(HWND handle) {
    const Window* w = Peek(handle);
    if (!w) return Program::None;
    return w->otherProgram ? Program::Other : Program::This;
}

HWND WindowSystem::ActiveOfThisProgram() { return ProgramOf(active) == Program::This ? active : nullptr; }

// WM_ACTIVATEAPP goes to every top-level window of the program that loses the foreground
// and of the one that gains it.
void WindowSystem::TellPrograms(Program losing, Program gaining) {
    for (HWND top : TopLevelWindows()) {
        const Program program = ProgramOf(top);
        if (program == losing && losing != Program::None)
            Send(top, WM_ACTIVATEAPP, FALSE, 0);
        else if (program == gaining && gaining != Program::None)
            Send(top, WM_ACTIVATEAPP, TRUE, 0);
    }
}

void WindowSystem::Activate(HWND handle) {
    if (handle) {
        handle = Root(handle);
        if (!handle) return;
    }
    const HWND previous = active;
    if (previous == handle) return;
    const Program losing = ProgramOf(previous);
    if (previous && Peek(previous)) {
        Send(previous, WM_NCACTIVATE, FALSE, reinterpret_cast<LPARAM>(handle));
        if (Window* p = Peek(previous)) {
            const bool iconic = (p->style & WS_MINIMIZE) != 0;
            Send(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, iconic), reinterpret_cast<LPARAM>(handle));
        }
    }
    active = handle && Peek(handle) ? handle : nullptr;
    const HWND now = active;
    const Program gaining = ProgramOf(now);
    if (losing != gaining) TellPrograms(losing, gaining);
    if (now == desktop) {
        // The shell's desktop in front: this program keeps no focus, and the desktop's own
        // messages are the shell's business.
        SetFocusTo(nullptr);
    } else if (now && active == now) {
        if (Peek(now)) {
            if (Window* d = Peek(desktop)) Insert(*d, now, HWND_TOP);
            Send(now, WM_NCACTIVATE, TRUE, reinterpret_cast<LPARAM>(previous));
        }
        if (Window* w = Peek(now)) {
            const bool iconic = (w->style & WS_MINIMIZE) != 0;
            Send(now, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, iconic), reinterpret_cast<LPARAM>(previous));
        }
        if (Window* w = Peek(now); w && active == now) {
            // The focus goes to the window unless one of its children has it already; a
            // window of another program takes it from this program's windows.
            if (w->otherProgram)
                SetFocusTo(nullptr);
            else if (!focus || Root(focus) != now)
                SetFocusTo((w->style & WS_MINIMIZE) ? nullptr : now);
        }
    } else if (!active) {
        SetFocusTo(nullptr);
    }
}

void WindowSystem::ActivateOther(HWND leaving) {
    if (!active || Root(active) != leaving) return;
    auto usable = [&](HWND h) {
        const Window* w = Peek(h);
        return w && h != leaving && !w->destroying && (w->style & WS_VISIBLE) &&
               !(w->style & (WS_DISABLED | WS_MINIMIZE));
    };
    HWND next = nullptr;
    if (const Window* w = Peek(leaving); w && w->owner && usable(w->owner)) next = w->owner;
    if (!next)
        for (HWND h : TopLevelWindows())
            if (usable(h)) {
                next = h;
                break;
            }
    Activate(next);
}

void WindowSystem::SetFocusTo(HWND handle) {
    if (focus == handle) return;
    const HWND previous = focus;
    if (previous && Peek(previous)) Send(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(handle), 0);
    focus = handle && Peek(handle) ? handle : nullptr;
    if (focus) Send(focus, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
}

}  // namespace platform
