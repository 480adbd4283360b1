// What the window manager must do on Windows as well as on the platform layer: these use
// only the real API, so they run on Linux and under Wine alike. A procedure of their own
// records the messages; Windows sends more than the platform does (painting, input method
// and icon queries), so each check looks only at the messages it is about.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct Received {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    UINT posFlags;
};
std::vector<Received> g_log;
LRESULT g_createAnswer = 0;
BOOL g_ncCreateAnswer = TRUE;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    UINT flags = 0;
    if (message == WM_WINDOWPOSCHANGING || message == WM_WINDOWPOSCHANGED)
        flags = reinterpret_cast<const WINDOWPOS*>(lParam)->flags;
    g_log.push_back({hwnd, message, wParam, lParam, flags});
    if (message == WM_NCCREATE && !g_ncCreateAnswer) return FALSE;
    if (message == WM_CREATE && g_createAnswer) return g_createAnswer;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

const char kClass[] = "CorvanePortableWindow";

// The messages of one window, restricted to the set a test is about.
std::vector<UINT> Messages(HWND window, std::initializer_list<UINT> of) {
    std::vector<UINT> out;
    for (const Received& r : g_log)
        if ((!window || r.window == window) && std::find(of.begin(), of.end(), r.message) != of.end())
            out.push_back(r.message);
    return out;
}

const Received* Find(HWND window, UINT message) {
    for (const Received& r : g_log)
        if (r.window == window && r.message == message) return &r;
    return nullptr;
}

// Takes out whatever earlier tests left in the queue.
void Drain() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT) DispatchMessageA(&msg);
}

class PlatformWindowsPortable : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.cbWndExtra = sizeof(LONG) * 2;
        wc.lpszClassName = kClass;
        ASSERT_NE(RegisterClassA(&wc), 0) << GetLastError();
        g_createAnswer = 0;
        g_ncCreateAnswer = TRUE;
        Drain();
        g_log.clear();
    }
    void TearDown() override {
        for (HWND w : made)
            if (IsWindow(w)) DestroyWindow(w);
        Drain();
        UnregisterClassA(kClass, GetModuleHandleA(nullptr));
    }
    HWND Make(DWORD style, int x, int y, int width, int height, HWND parent = nullptr) {
        HWND w = CreateWindowExA(0, kClass, "portable", style, x, y, width, height, parent, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        if (w) made.push_back(w);
        return w;
    }
    std::vector<HWND> made;
};

}  // namespace

TEST_F(PlatformWindowsPortable, APopupIsCreatedSizedShownAndActivatedInOrder) {
    // WM_ACTIVATEAPP comes only when activation moves in from another program: a window an
    // earlier test left active in this thread keeps the program active.
    const bool programWasActive = GetActiveWindow() != nullptr;
    HWND w = Make(WS_POPUP | WS_VISIBLE, 10, 20, 200, 100);
    ASSERT_NE(w, nullptr);
    std::vector<UINT> seq = Messages(w, {WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE,
                                         WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_ACTIVATEAPP, WM_NCACTIVATE,
                                         WM_ACTIVATE, WM_SETFOCUS, WM_WINDOWPOSCHANGED});
    // Windows may repeat WM_WINDOWPOSCHANGING right after the first.
    seq.erase(std::unique(seq.begin(), seq.end()), seq.end());
    std::vector<UINT> expected{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE,     WM_SIZE,     WM_MOVE,
                               WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_NCACTIVATE, WM_ACTIVATE, WM_SETFOCUS,
                               WM_WINDOWPOSCHANGED};
    if (!programWasActive) expected.insert(expected.begin() + 7, WM_ACTIVATEAPP);
    EXPECT_EQ(seq, expected);
    const Received* size = Find(w, WM_SIZE);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->wParam, static_cast<WPARAM>(SIZE_RESTORED));
    EXPECT_EQ(size->lParam, MAKELPARAM(200, 100));
    const Received* changing = Find(w, WM_WINDOWPOSCHANGING);
    ASSERT_NE(changing, nullptr);
    EXPECT_EQ(changing->posFlags & (SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE),
              static_cast<UINT>(SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE));
    EXPECT_TRUE(IsWindowVisible(w));
}

TEST_F(PlatformWindowsPortable, AnInvisibleOverlappedWindowGetsNoSizeUntilShown) {
    HWND w = Make(WS_OVERLAPPEDWINDOW, 30, 40, 300, 200);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Messages(w, {WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}),
              (std::vector<UINT>{WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE}));
    g_log.clear();
    EXPECT_FALSE(ShowWindow(w, SW_SHOW));
    const std::vector<UINT> seq = Messages(w, {WM_SHOWWINDOW, WM_WINDOWPOSCHANGED, WM_SIZE, WM_MOVE});
    ASSERT_FALSE(seq.empty());
    EXPECT_EQ(seq.front(), static_cast<UINT>(WM_SHOWWINDOW));
    EXPECT_NE(std::find(seq.begin(), seq.end(), static_cast<UINT>(WM_SIZE)), seq.end());
    EXPECT_TRUE(ShowWindow(w, SW_SHOW));  // it was visible
}

TEST_F(PlatformWindowsPortable, AChildIsSizedAndItsParentHearsOfIt) {
    HWND parent = Make(WS_OVERLAPPEDWINDOW, 0, 0, 300, 200);
    g_log.clear();
    HWND child = CreateWindowExA(0, kClass, "", WS_CHILD, 1, 2, 30, 20, parent, reinterpret_cast<HMENU>(7),
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(Messages(child, {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}),
              (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}));
    const Received* notify = Find(parent, WM_PARENTNOTIFY);
    ASSERT_NE(notify, nullptr);
    EXPECT_EQ(notify->wParam, MAKEWPARAM(WM_CREATE, 7));
    EXPECT_EQ(notify->lParam, reinterpret_cast<LPARAM>(child));
    EXPECT_EQ(GetDlgCtrlID(child), 7);
    EXPECT_EQ(GetParent(child), parent);
    // A child's id is no menu: without a frame its client area is the whole window.
    RECT client{};
    ASSERT_TRUE(GetClientRect(child, &client));
    EXPECT_EQ(client.right, 30);
    EXPECT_EQ(client.bottom, 20);
}

TEST_F(PlatformWindowsPortable, RegisteringAClassTwiceFails) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "corvaneportablewindow";  // names compare without case
    SetLastError(0);
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    SetLastError(0);
    EXPECT_EQ(CreateWindowExA(0, "CorvaneNoSuchClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr),
              nullptr);
    // Windows says it cannot find the class; Wine 8 says the class does not exist.
    EXPECT_TRUE(GetLastError() == ERROR_CANNOT_FIND_WND_CLASS || GetLastError() == ERROR_CLASS_DOES_NOT_EXIST)
        << GetLastError();
}

// The window is destroyed before CreateWindowEx returns null. WM_NCDESTROY is its last
// message; Windows sends WM_DESTROY before it ("the window is destroyed"), Wine 8 does not.
TEST_F(PlatformWindowsPortable, CreationRefusedByTheProcedure) {
    const auto withoutDestroy = [](std::vector<UINT> seq) {
        seq.erase(std::remove(seq.begin(), seq.end(), static_cast<UINT>(WM_DESTROY)), seq.end());
        return seq;
    };
    g_createAnswer = -1;
    EXPECT_EQ(Make(WS_POPUP, 0, 0, 10, 10), nullptr);
    EXPECT_EQ(withoutDestroy(Messages(nullptr, {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY})),
              (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_NCDESTROY}));
    ASSERT_FALSE(g_log.empty());
    EXPECT_FALSE(IsWindow(g_log.front().window));
    EXPECT_EQ(g_log.back().message, static_cast<UINT>(WM_NCDESTROY));
    g_createAnswer = 0;
    g_ncCreateAnswer = FALSE;
    g_log.clear();
    EXPECT_EQ(Make(WS_POPUP, 0, 0, 10, 10), nullptr);
    EXPECT_EQ(withoutDestroy(Messages(nullptr, {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY})),
              (std::vector<UINT>{WM_NCCREATE, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(g_log.front().window));
}

TEST_F(PlatformWindowsPortable, SetWindowLongReturnsThePreviousValue) {
    HWND w = Make(WS_POPUP, 0, 0, 10, 10);
    ASSERT_NE(w, nullptr);
    const LONG style = GetWindowLongA(w, GWL_STYLE);
    EXPECT_NE(style & WS_POPUP, 0);
    EXPECT_EQ(SetWindowLongA(w, GWL_STYLE, style | WS_BORDER), style);
    EXPECT_EQ(GetWindowLongA(w, GWL_STYLE), style | WS_BORDER);
    EXPECT_EQ(SetWindowLongA(w, 0, 11), 0);
    EXPECT_EQ(SetWindowLongA(w, 0, 12), 11);
    EXPECT_EQ(SetWindowLongA(w, sizeof(LONG), 13), 0);
    EXPECT_EQ(GetWindowLongA(w, 0), 12);
    SetLastError(0);
    EXPECT_EQ(GetWindowLongA(w, sizeof(LONG) * 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    EXPECT_EQ(SetWindowLongPtrA(w, GWLP_USERDATA, 5), 0);
    EXPECT_EQ(SetWindowLongPtrA(w, GWLP_USERDATA, 6), 5);
    const Received* changing = Find(w, WM_STYLECHANGING);
    ASSERT_NE(changing, nullptr);
    EXPECT_EQ(changing->wParam, static_cast<WPARAM>(GWL_STYLE));
}

TEST_F(PlatformWindowsPortable, AdjustWindowRectGivesTheClientAreaAskedFor) {
    const DWORD styles[] = {WS_OVERLAPPEDWINDOW, WS_CAPTION | WS_SYSMENU, WS_POPUP | WS_BORDER, WS_POPUP,
                            WS_POPUP | WS_THICKFRAME};
    for (DWORD style : styles) {
        RECT outer;
        SetRect(&outer, 0, 0, 320, 240);
        ASSERT_TRUE(AdjustWindowRect(&outer, style, FALSE));
        HWND w = Make(style, 50, 60, outer.right - outer.left, outer.bottom - outer.top);
        ASSERT_NE(w, nullptr);
        RECT client;
        ASSERT_TRUE(GetClientRect(w, &client));
        EXPECT_EQ(client.right, 320) << std::hex << style;
        EXPECT_EQ(client.bottom, 240) << std::hex << style;
        // The client area sits where the frame ends.
        POINT origin{0, 0};
        ClientToScreen(w, &origin);
        EXPECT_EQ(origin.x, 50 - outer.left);
        EXPECT_EQ(origin.y, 60 - outer.top);
        DestroyWindow(w);
    }
    RECT edged;
    SetRect(&edged, 0, 0, 100, 100);
    AdjustWindowRectEx(&edged, WS_POPUP, FALSE, WS_EX_CLIENTEDGE);
    EXPECT_EQ(-edged.left, GetSystemMetrics(SM_CXEDGE));
}

TEST_F(PlatformWindowsPortable, QuitComesAfterWhatWasPostedBeforeAndAfterIt) {
    HWND w = Make(WS_POPUP, 0, 0, 10, 10);
    ASSERT_NE(w, nullptr);
    Drain();
    PostMessageA(w, WM_USER + 1, 0, 0);
    PostQuitMessage(3);
    PostMessageA(w, WM_USER + 2, 0, 0);
    MSG msg;
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 3u);
    // A range that leaves WM_QUIT out still gets it.
    PostQuitMessage(4);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
}

TEST_F(PlatformWindowsPortable, ADestroyedWindowsHandleIsRefused) {
    HWND parent = Make(WS_OVERLAPPEDWINDOW, 0, 0, 200, 200);
    HWND child = Make(WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, parent);
    ASSERT_NE(child, nullptr);
    g_log.clear();
    ASSERT_TRUE(DestroyWindow(parent));
    std::vector<std::pair<HWND, UINT>> order;
    for (const Received& r : g_log)
        if (r.message == WM_DESTROY || r.message == WM_NCDESTROY) order.push_back({r.window, r.message});
    EXPECT_EQ(order, (std::vector<std::pair<HWND, UINT>>{
                         {parent, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {parent, WM_NCDESTROY}}));
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(child));
    RECT r;
    SetLastError(0);
    EXPECT_FALSE(GetWindowRect(parent, &r));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(parent));
    // Windows checks the handle first; Wine 8 reports the window as not its thread's.
    EXPECT_TRUE(GetLastError() == ERROR_INVALID_WINDOW_HANDLE || GetLastError() == ERROR_ACCESS_DENIED)
        << GetLastError();
    SetLastError(0);
    EXPECT_FALSE(PostMessageA(child, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    SetLastError(0);
    EXPECT_EQ(SetWindowLongA(parent, GWL_STYLE, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(PlatformWindowsPortable, PlacementMessagesCarryTheNewPlace) {
    HWND w = Make(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    ASSERT_NE(w, nullptr);
    g_log.clear();
    ASSERT_TRUE(SetWindowPos(w, nullptr, 15, 25, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
    const Received* move = Find(w, WM_MOVE);
    ASSERT_NE(move, nullptr);
    EXPECT_EQ(move->lParam, MAKELPARAM(15, 25));
    EXPECT_EQ(Find(w, WM_SIZE), nullptr);
    g_log.clear();
    ASSERT_TRUE(SetWindowPos(w, nullptr, 0, 0, 60, 40, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    const Received* size = Find(w, WM_SIZE);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->wParam, static_cast<WPARAM>(SIZE_RESTORED));
    EXPECT_EQ(size->lParam, MAKELPARAM(60, 40));
    g_log.clear();
    ShowWindow(w, SW_MINIMIZE);
    size = Find(w, WM_SIZE);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->wParam, static_cast<WPARAM>(SIZE_MINIMIZED));
    EXPECT_TRUE(IsIconic(w));
    g_log.clear();
    ShowWindow(w, SW_SHOWMAXIMIZED);
    size = Find(w, WM_SIZE);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->wParam, static_cast<WPARAM>(SIZE_MAXIMIZED));
    EXPECT_TRUE(IsZoomed(w));
    g_log.clear();
    ShowWindow(w, SW_RESTORE);
    size = Find(w, WM_SIZE);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->wParam, static_cast<WPARAM>(SIZE_RESTORED));
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 15);
    EXPECT_EQ(r.right - r.left, 60);
}

TEST_F(PlatformWindowsPortable, TheSystemCursorsAndStockObjectsExist) {
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), LoadCursorA(nullptr, IDC_WAIT));
    EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("corvane-no-such-library.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
    EXPECT_GT(GetSystemMetrics(SM_CYMENU), 0);
}

// The window menu's Close sends WM_CLOSE at once, and WM_CLOSE left to the default
// procedure destroys the window: both before SendMessage returns.
TEST_F(PlatformWindowsPortable, CloseFromTheWindowMenuDestroysTheWindowAtOnce) {
    HWND w = Make(WS_OVERLAPPEDWINDOW, 0, 0, 100, 100);
    ASSERT_NE(w, nullptr);
    g_log.clear();
    SendMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(Messages(w, {WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}),
              (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
}
