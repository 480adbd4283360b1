// The window manager of the Linux platform layer: the table of window classes and windows
// of the process, their placement, activation and focus, and the calls of their window
// procedures. It is one program-wide object, used from one thread (the engine's main
// thread, where Windows too runs a window's procedure); tests put it back to its first
// state through the test interface.
//
// Windows are found by handle only. A handle is a number that is never given out twice,
// so a destroyed window's handle stays invalid. A procedure may destroy any window,
// its own included, while it runs: code here holds handles, never records, across a call
// of a procedure, and looks the record up again afterwards.
//
// The desktop is a window of its own that is never destroyed: top-level windows are its
// children, so every window has a parent and screen coordinates are the desktop's client
// coordinates. Each window keeps its window and client rectangles in its parent's client
// coordinates, as Windows reports them in WM_MOVE and WINDOWPOS.
//
// Every window belongs to this program except the desktop and the windows a test says
// stand for another program's. The foreground moving between programs is what
// WM_ACTIVATEAPP tells, and what a full-screen Direct3D device loses its screen to;
// activation moving between this program's own windows tells nothing of the kind.
#pragma once

#include <windows.h>
#include <PlatformTestWindows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// WINDOWPOS flags that Windows adds for what the client area did; not in the headers.
constexpr UINT kSwpNoClientSize = 0x0800;
constexpr UINT kSwpNoClientMove = 0x1000;
// Set on the change of a window's minimised or maximised state.
constexpr UINT kSwpStateChanged = 0x8000;

struct WindowClass {
    std::string name;
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC procedure = nullptr;
    int classExtra = 0;
    int windowExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HICON smallIcon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    LPCSTR menuName = nullptr;
    int windows = 0;  // windows of the class that exist
};

// What a window of a system class (a dialog, a control) keeps beyond the fields below; it
// goes with the window.
struct WindowData {
    virtual ~WindowData() = default;
};

struct Window {
    HWND handle = nullptr;
    WindowClass* windowClass = nullptr;
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;  // the desktop for a top-level window; null for the desktop
    HWND owner = nullptr;
    HMENU menu = nullptr;  // a child's identifier
    HINSTANCE instance = nullptr;
    WNDPROC procedure = nullptr;
    LONG_PTR userData = 0;
    std::vector<BYTE> extra;
    RECT window{};  // in the parent's client coordinates
    RECT client{};
    RECT normal{};  // the window rectangle to restore to
    bool restoreMaximized = false;
    bool needsFirstSize = false;  // an overlapped window gets WM_SIZE and WM_MOVE on its first show
    bool destroying = false;
    bool otherProgram = false;  // the desktop, or a test's stand-in for another program's window
    std::vector<HWND> children;  // in z-order, topmost first
    std::unique_ptr<WindowData> data;
};

class WindowSystem {
public:
    static WindowSystem& Get();

    void Reset();

    // ---- classes
    ATOM RegisterClass(const WNDCLASSEXA& description);
    bool UnregisterClass(LPCSTR name);
    // A class of the system (dialogs, controls) with the atom Windows gives it; registered
    // at start and after every reset.
    void RegisterSystemClass(const WNDCLASSEXA& description, ATOM atom);
    WindowClass* FindClass(LPCSTR nameOrAtom);

    // ---- windows
    // The record of a live window (the desktop included); null, with
    // ERROR_INVALID_WINDOW_HANDLE as the last error, for anything else.
    Window* Find(HWND handle);
    // The same without touching the last error.
    Window* Peek(HWND handle);
    HWND Desktop() const { return desktop; }
    bool IsTopLevel(const Window& w) const { return w.parent == desktop; }

    HWND Create(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width, int height,
                HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter);
    bool Destroy(HWND handle);

    // Calls the window's procedure (recorded while recording is on); 0 for a window that
    // is gone.
    LRESULT Send(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT CallProcedure(WNDPROC procedure, HWND handle, UINT message, WPARAM wParam, LPARAM lParam);

    // ---- placement
    bool SetPosition(HWND handle, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
    bool Show(HWND handle, int command);
    // The frame around the client area of a window of that style: how far the client
    // rectangle lies inside the window rectangle on each side.
    static RECT FrameInsets(DWORD style, DWORD exStyle, bool menu);
    bool HasMenuBar(const Window& w) const;
    RECT DefaultClientRect(const Window& w, const RECT& windowRect) const;
    MINMAXINFO DefaultMinMaxInfo(const Window& w) const;
    // Sends WM_GETMINMAXINFO with the default values filled in; the answer.
    MINMAXINFO QueryMinMaxInfo(HWND handle);
    // The offset of a window's parent's client area from the screen's origin.
    POINT ParentOrigin(const Window& w);
    // Screen coordinates of a point in the window's client area.
    POINT ClientOrigin(const Window& w);

    // ---- activation and focus
    // The foreground window, whichever program it belongs to.
    HWND Active() const { return active; }
    // The active window of this program: none while another program is in front.
    HWND ActiveOfThisProgram();
    HWND Focus() const { return focus; }
    void Activate(HWND handle);
    void ActivateOther(HWND leaving);
    void SetFocusTo(HWND handle);
    HWND Root(HWND handle);

    // ---- the desktop
    LONG DesktopWidth() const { return desktopWidth; }
    LONG DesktopHeight() const { return desktopHeight; }
    void SetDesktopSize(LONG width, LONG height);

    // ---- the cursor: where it is, its shape and its display counter (shown while >= 0)
    struct CursorState {
        POINT position{512, 384};
        HCURSOR shape = nullptr;
        int counter = 0;
        std::vector<HCURSOR> shapesSet;  // every SetCursor argument, in order
    };
    CursorState cursor;

    // ---- hooks
    // What a system library sees of a window's sent messages before the window's own
    // procedure does, as the Direct3D runtime watches its focus window. Hooks are part of
    // the libraries, not of the windows: a reset keeps them.
    using MessageHook = void (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void AddHook(MessageHook hook);

    // ---- the recorder
    void Record(bool on) { recording = on; }
    void ClearRecord() { record.clear(); }
    const std::vector<PlatformTestMessage>& Recorded() const { return record; }

    // Top-level windows in z-order, for broadcasts and activation.
    std::vector<HWND> TopLevelWindows();

private:
    WindowSystem();
    HWND NewHandle();
    void MakeDesktop();
    void Insert(Window& parent, HWND child, HWND after);
    void Unlink(Window& w);
    void NotifyParent(HWND handle, UINT event);
    UINT MinMaximize(HWND handle, int command, RECT* newRect);
    void SendDestroy(HWND handle);
    void Free(HWND handle);
    void SendFirstSize(HWND handle);
    enum class Program { None, This, Other };
    Program ProgramOf(HWND handle);
    void TellPrograms(Program losing, Program gaining);

    std::map<ULONG_PTR, std::unique_ptr<Window>> windows;
    std::vector<std::unique_ptr<WindowClass>> classes;
    ULONG_PTR nextHandle = 0x10020;
    ATOM nextAtom = 0xC000;
    HWND desktop = nullptr;
    HWND active = nullptr;
    HWND focus = nullptr;
    LONG desktopWidth = 1024;
    LONG desktopHeight = 768;
    int cascade = 0;
    bool recording = false;
    std::vector<PlatformTestMessage> record;
    std::vector<MessageHook> hooks;
};

// Registers the dialog class and the standard controls (Controls.cpp).
void RegisterStandardClasses(WindowSystem& system);
// Push buttons (the default one among them), for the dialog's Enter key.
bool IsPushButton(HWND window);
bool IsDefaultPushButton(HWND window);
// Forgets the running dialogs and the test's dialog hook (Dialogs.cpp).
void ResetDialogs();
// Forgets what the shell was asked to open (Shell32.cpp).
void ResetShell();
// Forgets the drawing objects and the windows' pixels (Gdi.cpp).
void ResetGdi();

// The system metric of that index from the fixed metric set and the desktop's size.
int Metric(int index);

}  // namespace platform
