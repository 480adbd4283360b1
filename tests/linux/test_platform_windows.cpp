// The platform's window manager and module loader against Windows' documented behaviour:
// the messages each call sends and their order, failures and their error codes, the
// queue's order and filters, timers on the platform's clock, window longs, the frame
// metrics, and libraries that are there, absent or broken.
#include <windows.h>
#include <PlatformTest.h>
#include <PlatformTestWindows.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <math.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

// What the test procedure answers instead of passing a message on, per message.
std::map<UINT, LRESULT> g_answers;
// Called from inside the procedure, for re-entrant cases.
void (*g_onMessage)(HWND, UINT, WPARAM, LPARAM) = nullptr;

LRESULT CALLBACK TestProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_onMessage) g_onMessage(hwnd, message, wParam, lParam);
    auto it = g_answers.find(message);
    if (it != g_answers.end()) return it->second;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

int g_otherCalls = 0;
LRESULT CALLBACK OtherProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ++g_otherCalls;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// The export of a platform library the tests add: "corvanetest.dll".
int TestExport(int x) { return x * 3; }

constexpr UINT kNoClientSize = 0x0800;  // WINDOWPOS flags that Windows does not publish
constexpr UINT kNoClientMove = 0x1000;
constexpr UINT kStateChanged = 0x8000;

class PlatformWindows : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformTest_ResetWindows();
        PlatformTest_ResetModules();
        PlatformTest_AddLibraryExport("corvanetest.dll", "TestExport", reinterpret_cast<void*>(&TestExport));
        PlatformTest_UseSystemClock();
        g_answers.clear();
        g_onMessage = nullptr;
        g_otherCalls = 0;
        WNDCLASSA wc{};
        wc.lpfnWndProc = TestProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = "TestWindow";
        wc.cbWndExtra = 8;
        ASSERT_NE(RegisterClassA(&wc), 0);
        PlatformTest_RecordMessages(true);
    }
    void TearDown() override {
        PlatformTest_ResetWindows();
        PlatformTest_ResetModules();
        PlatformTest_UseSystemClock();
        g_answers.clear();
        g_onMessage = nullptr;
    }

    static HWND Make(DWORD style, HWND parent = nullptr, int x = 10, int y = 20, int w = 200, int h = 150,
                     DWORD exStyle = 0, HMENU menu = nullptr) {
        return CreateWindowExA(exStyle, "TestWindow", "title", style, x, y, w, h, parent, menu,
                               GetModuleHandleA(nullptr), nullptr);
    }

    static std::vector<UINT> Seq(HWND window) {
        std::vector<UINT> out;
        for (const PlatformTestMessage& m : PlatformTest_Messages(window)) out.push_back(m.message);
        return out;
    }

    static PlatformTestMessage First(HWND window, UINT message) {
        for (const PlatformTestMessage& m : PlatformTest_Messages(window))
            if (m.message == message) return m;
        ADD_FAILURE() << "no message " << message;
        return PlatformTestMessage{};
    }
};

}  // namespace

// ---- creation ---------------------------------------------------------------------------

TEST_F(PlatformWindows, AnInvisibleOverlappedWindowGetsOnlyTheCreationMessages) {
    HWND w = Make(WS_OVERLAPPEDWINDOW);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Seq(w), (std::vector<UINT>{WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE}));
    EXPECT_EQ(First(w, WM_NCCALCSIZE).wParam, 0u);
    EXPECT_FALSE(IsWindowVisible(w));
    // An overlapped window always has a caption and clips its siblings.
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)),
              static_cast<DWORD>(WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_EXSTYLE)), static_cast<DWORD>(WS_EX_WINDOWEDGE));
    char title[16];
    EXPECT_EQ(GetWindowTextA(w, title, sizeof title), 5);
    EXPECT_STREQ(title, "title");
}

TEST_F(PlatformWindows, AVisiblePopupIsSizedThenShownAndActivated) {
    HWND w = Make(WS_POPUP | WS_VISIBLE);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Seq(w), (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW,
                                         WM_WINDOWPOSCHANGING, WM_ACTIVATEAPP, WM_NCACTIVATE, WM_ACTIVATE,
                                         WM_SETFOCUS, WM_WINDOWPOSCHANGED}));
    const auto messages = PlatformTest_Messages(w);
    EXPECT_EQ(messages[3].wParam, static_cast<WPARAM>(SIZE_RESTORED));
    EXPECT_EQ(messages[3].lParam, MAKELPARAM(200, 150));
    EXPECT_EQ(messages[4].lParam, MAKELPARAM(10, 20));
    EXPECT_EQ(messages[5].wParam, static_cast<WPARAM>(TRUE));
    EXPECT_EQ(messages[6].windowPosFlags, static_cast<UINT>(SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE));
    EXPECT_EQ(messages[7].wParam, static_cast<WPARAM>(TRUE));
    EXPECT_EQ(LOWORD(messages[9].wParam), WA_ACTIVE);
    EXPECT_EQ(messages[11].windowPosFlags,
              static_cast<UINT>(SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE | kNoClientSize | kNoClientMove));
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_EQ(GetForegroundWindow(), w);
    EXPECT_EQ(GetFocus(), w);
}

TEST_F(PlatformWindows, AChildIsSizedAndItsParentNotified) {
    HWND parent = Make(WS_OVERLAPPEDWINDOW);
    PlatformTest_ClearMessages();
    HWND child = Make(WS_CHILD, parent, 5, 6, 50, 40, 0, reinterpret_cast<HMENU>(42));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(Seq(child), (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}));
    EXPECT_EQ(Seq(parent), (std::vector<UINT>{WM_PARENTNOTIFY}));
    const PlatformTestMessage notify = First(parent, WM_PARENTNOTIFY);
    EXPECT_EQ(notify.wParam, MAKEWPARAM(WM_CREATE, 42));
    EXPECT_EQ(notify.lParam, reinterpret_cast<LPARAM>(child));
    // The child hears of its creation before its parent does.
    const auto all = PlatformTest_AllMessages();
    EXPECT_EQ(all.back().message, static_cast<UINT>(WM_PARENTNOTIFY));
    EXPECT_EQ(GetParent(child), parent);
    EXPECT_EQ(GetDlgCtrlID(child), 42);
    EXPECT_EQ(GetWindowLongA(child, GWL_ID), 42);
    EXPECT_TRUE(IsChild(parent, child));
    EXPECT_FALSE(IsChild(child, parent));
}

TEST_F(PlatformWindows, AVisibleOverlappedWindowGetsItsFirstSizeAfterTheShow) {
    HWND w = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Seq(w), (std::vector<UINT>{WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SHOWWINDOW,
                                         WM_WINDOWPOSCHANGING, WM_ACTIVATEAPP, WM_NCACTIVATE, WM_ACTIVATE,
                                         WM_SETFOCUS, WM_WINDOWPOSCHANGED, WM_SIZE, WM_MOVE}));
    RECT client;
    GetClientRect(w, &client);
    const PlatformTestMessage size = First(w, WM_SIZE);
    EXPECT_EQ(size.lParam, MAKELPARAM(client.right, client.bottom));
    // A second show sends nothing and reports the window visible before.
    PlatformTest_ClearMessages();
    EXPECT_TRUE(ShowWindow(w, SW_SHOW));
    EXPECT_TRUE(Seq(w).empty());
}

TEST_F(PlatformWindows, DefaultPositionsCascadeAndTheSizeIsHeldToTheTrackingLimits) {
    HWND a = Make(WS_OVERLAPPEDWINDOW, nullptr, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, 0);
    HWND b = Make(WS_OVERLAPPEDWINDOW, nullptr, CW_USEDEFAULT, 0, 300, 200);
    RECT ra, rb;
    GetWindowRect(a, &ra);
    GetWindowRect(b, &rb);
    EXPECT_GT(ra.left, 0);
    EXPECT_GT(rb.left, ra.left);
    EXPECT_EQ(ra.right - ra.left, 1024 * 3 / 4);
    EXPECT_EQ(rb.right - rb.left, 300);
    // Too small for a caption: made as small as a window may be tracked.
    HWND tiny = Make(WS_OVERLAPPEDWINDOW, nullptr, 0, 0, 5, 5);
    RECT rt;
    GetWindowRect(tiny, &rt);
    EXPECT_EQ(rt.right - rt.left, GetSystemMetrics(SM_CXMINTRACK));
    EXPECT_EQ(rt.bottom - rt.top, GetSystemMetrics(SM_CYMINTRACK));
    // A popup without a sizing frame is taken as asked, and CW_USEDEFAULT means 0 there.
    HWND popup = Make(WS_POPUP, nullptr, CW_USEDEFAULT, 7, CW_USEDEFAULT, 9);
    RECT rp;
    GetWindowRect(popup, &rp);
    EXPECT_EQ(rp.left, 0);
    EXPECT_EQ(rp.top, 0);
    EXPECT_EQ(rp.right, 0);
    EXPECT_EQ(rp.bottom, 0);
}

TEST_F(PlatformWindows, CreationFailures) {
    SetLastError(0);
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_EQ(Make(WS_CHILD), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
    EXPECT_EQ(Make(WS_CHILD, reinterpret_cast<HWND>(0x7777)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

    // A refused WM_NCCREATE: the window is destroyed at once, and never shown.
    HWND parent = Make(WS_POPUP);
    PlatformTest_ClearMessages();
    g_answers[WM_NCCREATE] = FALSE;
    EXPECT_EQ(Make(WS_CHILD | WS_VISIBLE, parent), nullptr);
    auto all = PlatformTest_AllMessages();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].message, static_cast<UINT>(WM_NCCREATE));
    EXPECT_EQ(all[1].message, static_cast<UINT>(WM_DESTROY));
    EXPECT_EQ(all[2].message, static_cast<UINT>(WM_NCDESTROY));
    EXPECT_FALSE(IsWindow(all[0].window));
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    DestroyWindow(parent);

    // WM_CREATE answering -1 destroys the window before CreateWindowEx returns.
    g_answers.clear();
    g_answers[WM_CREATE] = -1;
    PlatformTest_ClearMessages();
    EXPECT_EQ(Make(WS_POPUP | WS_VISIBLE), nullptr);
    all = PlatformTest_AllMessages();
    std::vector<UINT> seq;
    for (const auto& m : all) seq.push_back(m.message);
    EXPECT_EQ(seq, (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(all[0].window));
    // Its class has no window left.
    EXPECT_TRUE(UnregisterClassA("TestWindow", nullptr));
}

TEST_F(PlatformWindows, ClassesAreRegisteredOnceWhateverTheCase) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = TestProc;
    wc.lpszClassName = "testWINDOW";
    SetLastError(0);
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    wc.lpszClassName = "Second";
    const ATOM atom = RegisterClassA(&wc);
    EXPECT_GE(atom, 0xC000);
    // A window can be made by the class's atom, and the class cannot go while it has one.
    HWND w = CreateWindowExA(0, MAKEINTATOM(atom), "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    char name[32];
    EXPECT_EQ(GetClassNameA(w, name, sizeof name), 6);
    EXPECT_STREQ(name, "Second");
    EXPECT_FALSE(UnregisterClassA("second", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    DestroyWindow(w);
    EXPECT_TRUE(UnregisterClassA("second", nullptr));
    EXPECT_FALSE(UnregisterClassA("Second", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
    WNDCLASSA info{};
    EXPECT_TRUE(GetClassInfoA(nullptr, "TESTWINDOW", &info));
    EXPECT_EQ(info.lpfnWndProc, &TestProc);
    EXPECT_EQ(info.cbWndExtra, 8);
    WNDCLASSEXA bad{};
    bad.cbSize = sizeof bad - 1;
    bad.lpszClassName = "Bad";
    EXPECT_EQ(RegisterClassExA(&bad), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// ---- destruction ------------------------------------------------------------------------

TEST_F(PlatformWindows, DestroyGoesDownWithWmDestroyAndUpWithWmNcDestroy) {
    HWND parent = Make(WS_OVERLAPPEDWINDOW);
    HWND child = Make(WS_CHILD, parent, 0, 0, 50, 50);
    HWND grandchild = Make(WS_CHILD, child, 0, 0, 10, 10);
    HWND owned = Make(WS_POPUP, parent);
    EXPECT_EQ(GetParent(owned), parent);  // a popup's parent is its owner
    PlatformTest_ClearMessages();
    EXPECT_TRUE(DestroyWindow(parent));
    std::vector<std::pair<HWND, UINT>> order;
    for (const auto& m : PlatformTest_AllMessages())
        if (m.message == WM_DESTROY || m.message == WM_NCDESTROY) order.push_back({m.window, m.message});
    EXPECT_EQ(order, (std::vector<std::pair<HWND, UINT>>{{owned, WM_DESTROY},
                                                          {owned, WM_NCDESTROY},
                                                          {parent, WM_DESTROY},
                                                          {child, WM_DESTROY},
                                                          {grandchild, WM_DESTROY},
                                                          {grandchild, WM_NCDESTROY},
                                                          {child, WM_NCDESTROY},
                                                          {parent, WM_NCDESTROY}}));
    for (HWND w : {parent, child, grandchild, owned}) EXPECT_FALSE(IsWindow(w));
}

TEST_F(PlatformWindows, ADestroyedHandleIsInvalidEverywhere) {
    HWND w = Make(WS_POPUP | WS_VISIBLE);
    ASSERT_TRUE(DestroyWindow(w));
    RECT r;
    POINT p{0, 0};
    MSG msg;
    const auto expectInvalid = [&](bool failed) {
        EXPECT_TRUE(failed);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
        SetLastError(0);
    };
    expectInvalid(!DestroyWindow(w));
    expectInvalid(!GetWindowRect(w, &r));
    expectInvalid(!GetClientRect(w, &r));
    expectInvalid(GetWindowLongA(w, GWL_STYLE) == 0);
    expectInvalid(SetWindowLongA(w, GWL_STYLE, 0) == 0);
    expectInvalid(!SetWindowPos(w, nullptr, 0, 0, 1, 1, SWP_NOZORDER));
    expectInvalid(!ShowWindow(w, SW_SHOW));
    expectInvalid(!PostMessageA(w, WM_USER, 0, 0));
    expectInvalid(SendMessageA(w, WM_USER, 0, 0) == 0);
    expectInvalid(!ClientToScreen(w, &p));
    expectInvalid(!PeekMessageA(&msg, w, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetMessageA(&msg, w, 0, 0), -1);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(IsWindowVisible(w));
    // Activation and focus moved off it.
    EXPECT_EQ(GetForegroundWindow(), nullptr);
    EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(PlatformWindows, DestroyingTheActiveWindowDeactivatesBeforeWmDestroy) {
    HWND w = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    PlatformTest_ClearMessages();
    DestroyWindow(w);
    EXPECT_EQ(Seq(w), (std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_NCACTIVATE, WM_ACTIVATE,
                                         WM_ACTIVATEAPP, WM_KILLFOCUS, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_EQ(First(w, WM_ACTIVATEAPP).wParam, static_cast<WPARAM>(FALSE));
}

TEST_F(PlatformWindows, AProcedureMayDestroyItsWindowWhileItIsBeingMade) {
    g_onMessage = [](HWND hwnd, UINT message, WPARAM, LPARAM) {
        if (message == WM_SIZE) DestroyWindow(hwnd);
    };
    EXPECT_EQ(Make(WS_POPUP | WS_VISIBLE), nullptr);
    g_onMessage = [](HWND hwnd, UINT message, WPARAM, LPARAM) {
        if (message == WM_DESTROY) DestroyWindow(hwnd);  // asked again from inside: nothing more happens
    };
    HWND w = Make(WS_POPUP);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(DestroyWindow(w));
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(PlatformWindows, PostedMessagesOfADestroyedWindowAreDropped) {
    HWND a = Make(WS_POPUP);
    HWND b = Make(WS_POPUP);
    PostMessageA(a, WM_USER, 1, 0);
    PostMessageA(b, WM_USER, 2, 0);
    PostMessageA(a, WM_USER, 3, 0);
    DestroyWindow(a);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, b);
    EXPECT_EQ(msg.wParam, 2u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

// ---- placement --------------------------------------------------------------------------

TEST_F(PlatformWindows, MovingSendsWmMoveAndResizingWmSize) {
    HWND w = Make(WS_POPUP | WS_VISIBLE);
    PlatformTest_ClearMessages();
    ASSERT_TRUE(SetWindowPos(w, nullptr, 30, 40, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE));
    EXPECT_EQ(Seq(w), (std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE}));
    EXPECT_EQ(First(w, WM_WINDOWPOSCHANGED).windowPosFlags,
              static_cast<UINT>(SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE | kNoClientSize));
    EXPECT_EQ(First(w, WM_MOVE).lParam, MAKELPARAM(30, 40));

    PlatformTest_ClearMessages();
    ASSERT_TRUE(SetWindowPos(w, nullptr, 0, 0, 120, 80, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE));
    EXPECT_EQ(Seq(w), (std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, WM_SIZE}));
    EXPECT_EQ(First(w, WM_NCCALCSIZE).wParam, static_cast<WPARAM>(TRUE));
    const PlatformTestMessage size = First(w, WM_SIZE);
    EXPECT_EQ(size.wParam, static_cast<WPARAM>(SIZE_RESTORED));
    EXPECT_EQ(size.lParam, MAKELPARAM(120, 80));
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 30);
    EXPECT_EQ(r.right, 150);

    // The same place again changes nothing, and says nothing after WM_WINDOWPOSCHANGING.
    PlatformTest_ClearMessages();
    ASSERT_TRUE(SetWindowPos(w, HWND_NOTOPMOST, 30, 40, 120, 80, SWP_SHOWWINDOW));
    EXPECT_EQ(Seq(w), (std::vector<UINT>{WM_WINDOWPOSCHANGING}));
    // MoveWindow is SetWindowPos without activation or z-order.
    ASSERT_TRUE(MoveWindow(w, 1, 2, 3, 4, TRUE));
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.bottom, 6);
}

TEST_F(PlatformWindows, AProcedureMayChangeThePlacementInWmWindowPosChanging) {
    HWND w = Make(WS_POPUP);
    g_onMessage = [](HWND, UINT message, WPARAM, LPARAM lParam) {
        if (message == WM_WINDOWPOSCHANGING) reinterpret_cast<WINDOWPOS*>(lParam)->cx = 33;
    };
    SetWindowPos(w, nullptr, 0, 0, 100, 100, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r.right - r.left, 33);
    EXPECT_EQ(r.bottom - r.top, 100);
}

TEST_F(PlatformWindows, HidingAndShowingThroughSetWindowPos) {
    HWND w = Make(WS_OVERLAPPEDWINDOW);
    PlatformTest_ClearMessages();
    SetWindowPos(w, nullptr, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE);
    // No WM_SHOWWINDOW from SetWindowPos.
    EXPECT_EQ(Seq(w), (std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_ACTIVATEAPP, WM_NCACTIVATE, WM_ACTIVATE,
                                         WM_SETFOCUS, WM_WINDOWPOSCHANGED}));
    EXPECT_TRUE(IsWindowVisible(w));
    PlatformTest_ClearMessages();
    SetWindowPos(w, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_FALSE(IsWindowVisible(w));
    const auto seq = Seq(w);
    ASSERT_GE(seq.size(), 2u);
    EXPECT_EQ(seq[0], static_cast<UINT>(WM_WINDOWPOSCHANGING));
    EXPECT_EQ(seq[1], static_cast<UINT>(WM_WINDOWPOSCHANGED));
    EXPECT_EQ(First(w, WM_WINDOWPOSCHANGED).windowPosFlags,
              static_cast<UINT>(SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | kNoClientSize |
                                kNoClientMove));
    // The hidden window gave up the foreground.
    EXPECT_EQ(GetForegroundWindow(), nullptr);
}

TEST_F(PlatformWindows, MinimisingMaximisingAndRestoringReportTheirSizeKinds) {
    HWND w = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, 100, 100, 300, 200);
    RECT normal;
    GetWindowRect(w, &normal);

    PlatformTest_ClearMessages();
    EXPECT_TRUE(ShowWindow(w, SW_MAXIMIZE));
    EXPECT_TRUE(IsZoomed(w));
    auto seq = Seq(w);
    EXPECT_EQ(seq.front(), static_cast<UINT>(WM_GETMINMAXINFO));
    EXPECT_EQ(seq.back(), static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(PlatformTest_Messages(w).back().wParam, static_cast<WPARAM>(SIZE_MAXIMIZED));
    EXPECT_NE(First(w, WM_WINDOWPOSCHANGING).windowPosFlags & kStateChanged, 0u);
    // The sizing frame hangs off the screen; the client area fills it below the caption.
    RECT r;
    GetWindowRect(w, &r);
    const int frame = GetSystemMetrics(SM_CXFRAME);
    EXPECT_EQ(r.left, -frame);
    EXPECT_EQ(r.top, -frame);
    EXPECT_EQ(r.right - r.left, GetSystemMetrics(SM_CXMAXIMIZED));
    EXPECT_EQ(r.bottom - r.top, GetSystemMetrics(SM_CYMAXIMIZED));
    RECT client;
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(client.bottom, GetSystemMetrics(SM_CYSCREEN) - GetSystemMetrics(SM_CYCAPTION));

    PlatformTest_ClearMessages();
    EXPECT_TRUE(ShowWindow(w, SW_MINIMIZE));
    EXPECT_TRUE(IsIconic(w));
    EXPECT_FALSE(IsZoomed(w));
    const PlatformTestMessage minimized = First(w, WM_SIZE);
    EXPECT_EQ(minimized.wParam, static_cast<WPARAM>(SIZE_MINIMIZED));
    EXPECT_EQ(minimized.lParam, 0);
    GetClientRect(w, &client);
    EXPECT_TRUE(IsRectEmpty(&client));
    // Minimising hands the activation on; there is no other window to take it.
    EXPECT_EQ(GetForegroundWindow(), nullptr);
    EXPECT_EQ(GetFocus(), nullptr);

    // Restored from minimised, it is maximised again, as it was.
    PlatformTest_ClearMessages();
    ShowWindow(w, SW_RESTORE);
    EXPECT_EQ(Seq(w).front(), static_cast<UINT>(WM_QUERYOPEN));
    EXPECT_TRUE(IsZoomed(w));
    ShowWindow(w, SW_RESTORE);
    EXPECT_FALSE(IsZoomed(w));
    EXPECT_EQ(PlatformTest_Messages(w).back().message, static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(First(w, WM_SIZE).wParam, static_cast<WPARAM>(SIZE_MAXIMIZED));
    GetWindowRect(w, &r);
    EXPECT_TRUE(EqualRect(&r, &normal));
    EXPECT_EQ(GetForegroundWindow(), w);
}

TEST_F(PlatformWindows, AMaximisedPopupIsMadeAndShownInWindowsOrder) {
    HWND made = Make(WS_POPUP | WS_MAXIMIZE);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(Seq(made), (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_GETMINMAXINFO,
                                            WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, WM_MOVE,
                                            WM_SIZE}));
    EXPECT_EQ(First(made, WM_WINDOWPOSCHANGING).windowPosFlags,
              static_cast<UINT>(SWP_NOACTIVATE | SWP_FRAMECHANGED | kStateChanged));
    EXPECT_EQ(PlatformTest_Messages(made).back().wParam, static_cast<WPARAM>(SIZE_MAXIMIZED));
    EXPECT_TRUE(IsZoomed(made));
    EXPECT_FALSE(IsWindowVisible(made));

    HWND shown = Make(WS_POPUP);
    PlatformTest_ClearMessages();
    EXPECT_FALSE(ShowWindow(shown, SW_SHOWMAXIMIZED));
    // No WM_SHOWWINDOW for a maximising show.
    EXPECT_EQ(Seq(shown), (std::vector<UINT>{WM_GETMINMAXINFO, WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_ACTIVATEAPP,
                                             WM_NCACTIVATE, WM_ACTIVATE, WM_SETFOCUS, WM_WINDOWPOSCHANGED, WM_MOVE,
                                             WM_SIZE}));
    EXPECT_EQ(First(shown, WM_WINDOWPOSCHANGING).windowPosFlags & (SWP_SHOWWINDOW | SWP_FRAMECHANGED),
              static_cast<UINT>(SWP_SHOWWINDOW | SWP_FRAMECHANGED));
    RECT r;
    GetWindowRect(shown, &r);
    EXPECT_EQ(r.right, GetSystemMetrics(SM_CXSCREEN));  // a frameless popup covers the screen exactly
    EXPECT_EQ(r.bottom, GetSystemMetrics(SM_CYSCREEN));
}

TEST_F(PlatformWindows, ShowWindowReportsThePreviousVisibility) {
    HWND w = Make(WS_POPUP);
    EXPECT_FALSE(ShowWindow(w, SW_SHOWNA));
    EXPECT_EQ(GetForegroundWindow(), nullptr);  // shown without activation
    EXPECT_TRUE(ShowWindow(w, SW_HIDE));
    PlatformTest_ClearMessages();
    EXPECT_FALSE(ShowWindow(w, SW_HIDE));  // already hidden: nothing at all
    EXPECT_TRUE(Seq(w).empty());
    HWND child = Make(WS_CHILD | WS_VISIBLE, w, 0, 0, 10, 10);
    PlatformTest_ClearMessages();
    EXPECT_TRUE(ShowWindow(child, SW_HIDE));
    EXPECT_EQ(Seq(child), (std::vector<UINT>{WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED}));
    EXPECT_EQ(First(child, WM_WINDOWPOSCHANGING).windowPosFlags,
              static_cast<UINT>(SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER));
    EXPECT_FALSE(ShowWindow(w, 99));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(PlatformWindows, AWindowIsVisibleOnlyWithItsAncestors) {
    HWND parent = Make(WS_POPUP);
    HWND child = Make(WS_CHILD | WS_VISIBLE, parent, 0, 0, 10, 10);
    EXPECT_FALSE(IsWindowVisible(child));
    ShowWindow(parent, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(child));
}

TEST_F(PlatformWindows, ActivationMovesBetweenWindowsWithoutWmActivateApp) {
    HWND a = Make(WS_POPUP | WS_VISIBLE);
    HWND b = Make(WS_POPUP | WS_VISIBLE);
    EXPECT_EQ(GetForegroundWindow(), b);
    const auto seqA = Seq(a);
    // a lost the activation to b, once, with no WM_ACTIVATEAPP(FALSE).
    size_t deactivate = 0;
    for (const auto& m : PlatformTest_Messages(a)) {
        if (m.message == WM_ACTIVATE && LOWORD(m.wParam) == WA_INACTIVE) {
            ++deactivate;
            EXPECT_EQ(m.lParam, reinterpret_cast<LPARAM>(b));
        }
        if (m.message == WM_ACTIVATEAPP) {
            EXPECT_EQ(m.wParam, static_cast<WPARAM>(TRUE));
        }
    }
    EXPECT_EQ(deactivate, 1u);
    EXPECT_EQ(seqA.back(), static_cast<UINT>(WM_KILLFOCUS));
    // Destroying the active window activates the other.
    DestroyWindow(b);
    EXPECT_EQ(GetForegroundWindow(), a);
    EXPECT_EQ(GetFocus(), a);
    // SetFocus on a child activates its top-level window first and returns the old focus.
    HWND c = Make(WS_POPUP | WS_VISIBLE);
    HWND child = Make(WS_CHILD | WS_VISIBLE, a, 0, 0, 5, 5);
    EXPECT_EQ(GetForegroundWindow(), c);
    EXPECT_EQ(SetFocus(child), c);
    EXPECT_EQ(GetForegroundWindow(), a);
    EXPECT_EQ(GetFocus(), child);
    EXPECT_EQ(SetActiveWindow(c), a);
    EXPECT_EQ(GetFocus(), c);
    EXPECT_TRUE(SetForegroundWindow(a));
    EXPECT_EQ(GetActiveWindow(), a);
    // A disabled window takes no focus and gives it up.
    EXPECT_FALSE(EnableWindow(child, FALSE));
    EXPECT_TRUE(EnableWindow(child, FALSE));
    EXPECT_EQ(SetFocus(child), nullptr);
    EXPECT_TRUE(EnableWindow(child, TRUE));
    EXPECT_TRUE(IsWindowEnabled(child));
}

TEST_F(PlatformWindows, TheForegroundMovingToAnotherProgramTellsBothProgramsAndBack) {
    HWND ours = Make(WS_POPUP | WS_VISIBLE);
    HWND hidden = Make(WS_POPUP);
    HWND other = Make(WS_POPUP);
    PlatformTest_MarkOtherProgram(other);
    PlatformTest_ClearMessages();
    auto appMessages = [](HWND w) {
        std::vector<WPARAM> told;
        for (const auto& m : PlatformTest_Messages(w))
            if (m.message == WM_ACTIVATEAPP) told.push_back(m.wParam);
        return told;
    };
    ASSERT_TRUE(SetForegroundWindow(other));
    // Every window of this program hears it lost the foreground, shown or not; the other
    // program hears it gained it.
    EXPECT_EQ(appMessages(ours), (std::vector<WPARAM>{FALSE}));
    EXPECT_EQ(appMessages(hidden), (std::vector<WPARAM>{FALSE}));
    EXPECT_EQ(appMessages(other), (std::vector<WPARAM>{TRUE}));
    EXPECT_EQ(GetForegroundWindow(), other);
    EXPECT_EQ(GetActiveWindow(), nullptr);
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(Seq(ours).back(), static_cast<UINT>(WM_KILLFOCUS));
    PlatformTest_ClearMessages();
    EXPECT_EQ(SetActiveWindow(ours), nullptr);
    EXPECT_EQ(appMessages(ours), (std::vector<WPARAM>{TRUE}));
    EXPECT_EQ(appMessages(other), (std::vector<WPARAM>{FALSE}));
    EXPECT_EQ(GetFocus(), ours);
    // The shell's desktop in front is another program too.
    PlatformTest_ClearMessages();
    ASSERT_TRUE(SetForegroundWindow(GetDesktopWindow()));
    EXPECT_EQ(appMessages(ours), (std::vector<WPARAM>{FALSE}));
    EXPECT_EQ(GetForegroundWindow(), GetDesktopWindow());
    EXPECT_EQ(GetActiveWindow(), nullptr);
    EXPECT_EQ(GetFocus(), nullptr);
    ASSERT_TRUE(SetForegroundWindow(ours));
    EXPECT_EQ(GetActiveWindow(), ours);
}

// ---- window longs -----------------------------------------------------------------------

TEST_F(PlatformWindows, WindowLongsReturnThePreviousValue) {
    HWND w = Make(WS_POPUP);
    PlatformTest_ClearMessages();
    EXPECT_EQ(static_cast<DWORD>(SetWindowLongA(w, GWL_STYLE, WS_POPUP | WS_BORDER)),
              static_cast<DWORD>(WS_POPUP | WS_CLIPSIBLINGS));
    EXPECT_EQ(Seq(w), (std::vector<UINT>{WM_STYLECHANGING, WM_STYLECHANGED}));
    EXPECT_EQ(First(w, WM_STYLECHANGING).wParam, static_cast<WPARAM>(GWL_STYLE));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)), static_cast<DWORD>(WS_POPUP | WS_BORDER));

    EXPECT_EQ(SetWindowLongPtrA(w, GWLP_USERDATA, 0x12345678), 0);
    EXPECT_EQ(SetWindowLongPtrA(w, GWLP_USERDATA, 7), 0x12345678);
    EXPECT_EQ(GetWindowLongPtrA(w, GWLP_USERDATA), 7);

    // The extra bytes of the class, read and written in place.
    EXPECT_EQ(SetWindowLongA(w, 4, 99), 0);
    EXPECT_EQ(GetWindowLongA(w, 4), 99);
    SetLastError(0);
    EXPECT_EQ(GetWindowLongA(w, 5), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    EXPECT_EQ(GetWindowLongA(w, -100), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
#if UINTPTR_MAX != 0xFFFFFFFFu
    // A pointer does not fit a LONG here: its index is refused to the 32-bit calls.
    EXPECT_EQ(GetWindowLongA(w, GWLP_WNDPROC), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
#endif

    // A new procedure gets the messages; the old one is still there to call.
    const LONG_PTR old = SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OtherProc));
    EXPECT_EQ(old, reinterpret_cast<LONG_PTR>(&TestProc));
    SendMessageA(w, WM_USER, 0, 0);
    EXPECT_EQ(g_otherCalls, 1);
    g_answers[WM_USER + 1] = 55;
    EXPECT_EQ(CallWindowProcA(reinterpret_cast<WNDPROC>(old), w, WM_USER + 1, 0, 0), 55);
    EXPECT_EQ(GetWindowLongPtrA(w, GWLP_HINSTANCE), reinterpret_cast<LONG_PTR>(GetModuleHandleA(nullptr)));
}

// ---- frames and metrics -----------------------------------------------------------------

TEST_F(PlatformWindows, FramesFollowTheSystemMetrics) {
    struct Row {
        DWORD style;
        DWORD exStyle;
        BOOL menu;
        int side;
        int top;
    };
    const int frame = GetSystemMetrics(SM_CXFRAME);
    const int fixed = GetSystemMetrics(SM_CXDLGFRAME);
    const int border = GetSystemMetrics(SM_CXBORDER);
    const int edge = GetSystemMetrics(SM_CXEDGE);
    const int caption = GetSystemMetrics(SM_CYCAPTION);
    const int menu = GetSystemMetrics(SM_CYMENU);
    const Row rows[] = {
        {WS_POPUP, 0, FALSE, 0, 0},
        {WS_POPUP | WS_BORDER, 0, FALSE, border, border},
        {WS_CAPTION, 0, FALSE, fixed, fixed + caption},
        {WS_OVERLAPPEDWINDOW, 0, FALSE, frame, frame + caption},
        {WS_OVERLAPPEDWINDOW, 0, TRUE, frame, frame + caption + menu},
        {WS_POPUP, WS_EX_CLIENTEDGE, FALSE, edge, edge},
        {WS_POPUP, WS_EX_DLGMODALFRAME, FALSE, fixed, fixed},
        {WS_CAPTION, WS_EX_TOOLWINDOW, FALSE, fixed, fixed + GetSystemMetrics(SM_CYSMCAPTION)},
    };
    for (const Row& row : rows) {
        RECT r;
        SetRect(&r, 0, 0, 100, 50);
        ASSERT_TRUE(AdjustWindowRectEx(&r, row.style, row.menu, row.exStyle));
        EXPECT_EQ(r.left, -row.side) << std::hex << row.style;
        EXPECT_EQ(r.right, 100 + row.side);
        EXPECT_EQ(r.top, -row.top);
        EXPECT_EQ(r.bottom, 50 + row.side);
    }
    EXPECT_FALSE(AdjustWindowRect(nullptr, WS_POPUP, FALSE));
    EXPECT_EQ(GetSystemMetrics(SM_CYMINTRACK), caption + 2 * frame);
    EXPECT_EQ(GetSystemMetrics(12345), 0);
}

TEST_F(PlatformWindows, TheApplicationsWindowHasTheClientAreaItAskedForPlusAMenuBar) {
    // Made as the Application makes its own window: widened for a menu it does not have.
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hIcon = LoadIconA(GetModuleHandleA(nullptr), nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = "Corvane Class";
    ASSERT_NE(RegisterClassA(&wc), 0);
    EXPECT_EQ(wc.hIcon, nullptr);  // no icon of that name
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    RECT outer;
    SetRect(&outer, 0, 0, 640, 480);
    AdjustWindowRect(&outer, style, TRUE);
    HWND w = CreateWindowExA(0, "Corvane Class", "Corvane Application", style, CW_USEDEFAULT, CW_USEDEFAULT,
                             outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    RECT client;
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480 + GetSystemMetrics(SM_CYMENU));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)) & WS_OVERLAPPEDWINDOW,
              static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_EQ(GetForegroundWindow(), w);
    // The device's own SetWindowPos to the same place with SWP_SHOWWINDOW changes nothing.
    RECT before;
    GetWindowRect(w, &before);
    PlatformTest_ClearMessages();
    SetWindowPos(w, HWND_NOTOPMOST, before.left, before.top, before.right - before.left, before.bottom - before.top,
                 SWP_SHOWWINDOW);
    for (const auto& m : PlatformTest_Messages(w)) EXPECT_NE(m.message, static_cast<UINT>(WM_SIZE));
}

TEST_F(PlatformWindows, TheDesktopFollowsItsTestSize) {
    PlatformTest_SetDesktopSize(800, 600);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 600);
    RECT r;
    ASSERT_TRUE(GetWindowRect(GetDesktopWindow(), &r));
    EXPECT_EQ(r.right, 800);
    EXPECT_EQ(r.bottom, 600);
    EXPECT_TRUE(IsWindow(GetDesktopWindow()));
    EXPECT_FALSE(DestroyWindow(GetDesktopWindow()));
    RECT work;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_TRUE(EqualRect(&work, &r));
    // The cursor stays on the screen.
    SetCursorPos(5000, -3);
    POINT p;
    GetCursorPos(&p);
    EXPECT_EQ(p.x, 799);
    EXPECT_EQ(p.y, 0);
}

TEST_F(PlatformWindows, ClientAndScreenCoordinates) {
    HWND parent = Make(WS_OVERLAPPEDWINDOW, nullptr, 100, 50, 300, 200);
    HWND child = Make(WS_CHILD | WS_BORDER, parent, 10, 20, 50, 40);
    POINT p{0, 0};
    ASSERT_TRUE(ClientToScreen(child, &p));
    const int frame = GetSystemMetrics(SM_CXFRAME);
    const int caption = GetSystemMetrics(SM_CYCAPTION);
    const int border = GetSystemMetrics(SM_CXBORDER);
    EXPECT_EQ(p.x, 100 + frame + 10 + border);
    EXPECT_EQ(p.y, 50 + frame + caption + 20 + border);
    ASSERT_TRUE(ScreenToClient(child, &p));
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    RECT r;
    GetWindowRect(child, &r);
    EXPECT_EQ(r.left, 100 + frame + 10);
    // Hit tests in screen coordinates.
    POINT inside{0, 0};
    ClientToScreen(parent, &inside);
    EXPECT_EQ(SendMessageA(parent, WM_NCHITTEST, 0, MAKELPARAM(inside.x + 1, inside.y + 1)), HTCLIENT);
    EXPECT_EQ(SendMessageA(parent, WM_NCHITTEST, 0, MAKELPARAM(150, 50 + frame + 2)), HTCAPTION);
    EXPECT_EQ(SendMessageA(parent, WM_NCHITTEST, 0, MAKELPARAM(100, 50)), HTTOPLEFT);
    EXPECT_EQ(SendMessageA(parent, WM_NCHITTEST, 0, MAKELPARAM(5, 5)), HTNOWHERE);
}

TEST_F(PlatformWindows, Rectangles) {
    RECT a, b, out;
    SetRect(&a, 0, 0, 10, 10);
    SetRect(&b, 5, 5, 20, 20);
    EXPECT_TRUE(IntersectRect(&out, &a, &b));
    EXPECT_EQ(out.left, 5);
    EXPECT_EQ(out.right, 10);
    SetRect(&b, 10, 0, 20, 10);  // touching edges do not overlap
    EXPECT_FALSE(IntersectRect(&out, &a, &b));
    EXPECT_TRUE(IsRectEmpty(&out));
    EXPECT_TRUE(PtInRect(&a, POINT{0, 0}));
    EXPECT_FALSE(PtInRect(&a, POINT{10, 5}));
    EXPECT_FALSE(PtInRect(&a, POINT{5, 10}));
    OffsetRect(&a, 3, -2);
    EXPECT_EQ(a.left, 3);
    EXPECT_EQ(a.bottom, 8);
    EXPECT_TRUE(UnionRect(&out, &a, &b));
    EXPECT_EQ(out.left, 3);
    EXPECT_EQ(out.right, 20);
    SetRectEmpty(&a);
    EXPECT_TRUE(IsRectEmpty(&a));
    EXPECT_TRUE(InflateRect(&a, 2, 3));
    EXPECT_EQ(a.left, -2);
    EXPECT_EQ(a.bottom, 3);
    EXPECT_FALSE(SetRect(nullptr, 0, 0, 0, 0));
}

// ---- the queue --------------------------------------------------------------------------

TEST_F(PlatformWindows, PeekMessageFiltersByWindowAndRange) {
    HWND a = Make(WS_POPUP);
    HWND b = Make(WS_POPUP);
    HWND child = Make(WS_CHILD, a, 0, 0, 5, 5);
    PostMessageA(a, WM_USER, 1, 0);
    PostMessageA(b, WM_USER, 2, 0);
    PostMessageA(nullptr, WM_USER, 3, 0);
    PostMessageA(a, WM_APP, 4, 0);
    PostMessageA(child, WM_USER, 5, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, b, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(msg.hwnd, nullptr);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 4u);
    // A window's filter takes its children's messages too.
    ASSERT_TRUE(PeekMessageA(&msg, a, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
    ASSERT_TRUE(PeekMessageA(&msg, a, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_FALSE(PeekMessageA(&msg, a, 0, 0, PM_REMOVE));
    // b's message stayed where PM_NOREMOVE left it.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, b);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    SetLastError(0);
    EXPECT_FALSE(PeekMessageA(&msg, reinterpret_cast<HWND>(0x4444), 0, 0, PM_REMOVE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(GetMessageA(&msg, reinterpret_cast<HWND>(0x4444), 0, 0), -1);
}

TEST_F(PlatformWindows, QuitComesAfterEverythingPostedAndPassesAnyRange) {
    HWND a = Make(WS_POPUP);
    PostQuitMessage(5);
    PostMessageA(a, WM_USER, 1, 0);  // posted after the quit, retrieved before it
    MSG msg;
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    // WM_QUIT belongs to no window: a window filter never takes it, any range does.
    EXPECT_FALSE(PeekMessageA(&msg, a, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(PlatformWindows, GetMessageWithNothingToWaitForEndsTheLoop) {
    MSG msg;
    msg.message = WM_USER;
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    // The classic loop ends instead of hanging.
    HWND a = Make(WS_POPUP);
    PostMessageA(a, WM_USER, 0, 0);
    int dispatched = 0;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageA(&msg);
        ++dispatched;
    }
    EXPECT_EQ(dispatched, 1);
}

TEST_F(PlatformWindows, DispatchAndSendCallTheProcedure) {
    HWND a = Make(WS_POPUP);
    g_answers[WM_USER] = 77;
    PostMessageA(a, WM_USER, 9, 8);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    PlatformTest_ClearMessages();
    EXPECT_EQ(DispatchMessageA(&msg), 77);
    EXPECT_EQ(SendMessageA(a, WM_USER, 1, 2), 77);
    const auto received = PlatformTest_Messages(a);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].wParam, 9u);
    EXPECT_EQ(received[0].lParam, 8);
    EXPECT_EQ(received[1].wParam, 1u);
    msg.hwnd = nullptr;
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    EXPECT_EQ(DispatchMessageA(nullptr), 0);
}

TEST_F(PlatformWindows, TranslateMessagePostsTheCharacterOfAKey) {
    HWND a = Make(WS_POPUP);
    MSG key{a, WM_KEYDOWN, 'A', 0x1E0001, 0, {0, 0}};
    EXPECT_TRUE(TranslateMessage(&key));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>('a'));
    EXPECT_EQ(msg.lParam, 0x1E0001);
    key.message = WM_KEYUP;
    EXPECT_TRUE(TranslateMessage(&key));  // a key message, though nothing is typed
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    key.message = WM_KEYDOWN;
    key.wParam = VK_F2;
    EXPECT_TRUE(TranslateMessage(&key));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    key.message = WM_USER;
    EXPECT_FALSE(TranslateMessage(&key));
}

TEST_F(PlatformWindows, TimersFireOnThePlatformsClock) {
    PlatformTest_SetClock(1000);
    HWND a = Make(WS_POPUP);
    EXPECT_EQ(SetTimer(a, 7, 500, nullptr), 7u);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    PlatformTest_AdvanceClock(499);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    PlatformTest_AdvanceClock(1);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(msg.hwnd, a);
    EXPECT_EQ(msg.wParam, 7u);
    PlatformTest_ClearMessages();
    DispatchMessageA(&msg);
    EXPECT_EQ(Seq(a), (std::vector<UINT>{WM_TIMER}));
    // Once retrieved, the timer waits a whole period again.
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    // Posted messages come before a due timer.
    PlatformTest_AdvanceClock(600);
    PostMessageA(a, WM_USER, 0, 0);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    EXPECT_TRUE(KillTimer(a, 7));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(KillTimer(a, 7));
    // With the clock held still, GetMessage does not wait for a timer that cannot come.
    SetTimer(a, 8, 100, nullptr);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    // A destroyed window's timers go with it.
    DestroyWindow(a);
    PlatformTest_AdvanceClock(1000);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

int g_timerCalls = 0;
void CALLBACK CountTimer(HWND, UINT, UINT_PTR, DWORD) { ++g_timerCalls; }

TEST_F(PlatformWindows, ThreadTimersCallTheirProcedureOnDispatch) {
    PlatformTest_SetClock(0);
    g_timerCalls = 0;
    const UINT_PTR id = SetTimer(nullptr, 0, 10, CountTimer);
    EXPECT_NE(id, 0u);
    PlatformTest_AdvanceClock(10);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, id);
    DispatchMessageA(&msg);
    EXPECT_EQ(g_timerCalls, 1);
    // A WM_TIMER that names no live timer's procedure calls nothing.
    KillTimer(nullptr, id);
    DispatchMessageA(&msg);
    EXPECT_EQ(g_timerCalls, 1);
}

TEST_F(PlatformWindows, TheQueueHasAQuota) {
    HWND a = Make(WS_POPUP);
    for (int i = 0; i < 10000; ++i) ASSERT_TRUE(PostMessageA(a, WM_USER, static_cast<WPARAM>(i), 0));
    EXPECT_FALSE(PostMessageA(a, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_TRUE(PostMessageA(a, WM_USER, 0, 0));
}

// ---- the default procedure --------------------------------------------------------------

TEST_F(PlatformWindows, TheDefaultProcedureClosesOnWmCloseAndScClose) {
    HWND a = Make(WS_POPUP);
    PlatformTest_ClearMessages();
    SendMessageA(a, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(Seq(a), (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(a));
    HWND b = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    // Alt+F4.
    SendMessageA(b, WM_SYSKEYDOWN, VK_F4, 1 << 29);
    EXPECT_FALSE(IsWindow(b));
}

TEST_F(PlatformWindows, TheDefaultProcedureSetsTheClassCursorAndKeepsTheText) {
    HWND a = Make(WS_POPUP);
    SetCursor(nullptr);
    EXPECT_EQ(SendMessageA(a, WM_SETCURSOR, reinterpret_cast<WPARAM>(a), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), TRUE);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(SendMessageA(a, WM_SETCURSOR, reinterpret_cast<WPARAM>(a), MAKELPARAM(HTCAPTION, WM_MOUSEMOVE)), FALSE);
    EXPECT_TRUE(SetWindowTextA(a, "a longer title"));
    EXPECT_EQ(GetWindowTextLengthA(a), 14);
    char small[5];
    EXPECT_EQ(GetWindowTextA(a, small, sizeof small), 4);
    EXPECT_STREQ(small, "a lo");
    EXPECT_EQ(SendMessageA(a, WM_NCACTIVATE, TRUE, 0), TRUE);
    EXPECT_EQ(SendMessageA(a, WM_QUERYOPEN, 0, 0), TRUE);
    EXPECT_EQ(DefWindowProcA(reinterpret_cast<HWND>(0x8888), WM_NCCREATE, 0, 0), 0);
}

TEST_F(PlatformWindows, SizeAndMoveCommandsEnterAndLeaveTheModalLoop) {
    HWND a = Make(WS_OVERLAPPEDWINDOW);
    PlatformTest_ClearMessages();
    SendMessageA(a, WM_SYSCOMMAND, SC_SIZE, 0);
    EXPECT_EQ(Seq(a), (std::vector<UINT>{WM_SYSCOMMAND, WM_ENTERSIZEMOVE, WM_EXITSIZEMOVE}));
    SendMessageA(a, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    EXPECT_TRUE(IsZoomed(a));
}

// ---- cursor, icons, stock objects, message boxes ----------------------------------------

TEST_F(PlatformWindows, SystemCursorsAndIconsHaveStableDistinctHandles) {
    const HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), arrow);
    EXPECT_NE(LoadCursorA(nullptr, IDC_WAIT), arrow);
    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), LoadIconA(nullptr, IDI_HAND));
    SetLastError(0);
    EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), "NoSuchIcon"), nullptr);
    EXPECT_EQ(SetCursor(arrow), nullptr);
    EXPECT_EQ(SetCursor(nullptr), arrow);
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(ShowCursor(FALSE), -2);
    EXPECT_EQ(ShowCursor(TRUE), -1);
    EXPECT_EQ(PlatformTest_CursorCounter(), -1);
    EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
    EXPECT_NE(GetStockObject(BLACK_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetStockObject(9), nullptr);
    EXPECT_EQ(GetStockObject(20), nullptr);
    EXPECT_EQ(GetStockObject(-1), nullptr);
}

TEST_F(PlatformWindows, SetCursorCallsAreRecordedAsSystemCursorIds) {
    PlatformTest_ClearCursorsSet();
    const LPCSTR names[] = {IDC_ARROW, IDC_SIZENWSE, IDC_SIZENS, IDC_SIZENESW, IDC_SIZEWE};
    for (LPCSTR name : names) {
        const HCURSOR shape = LoadCursorA(nullptr, name);
        ASSERT_NE(shape, nullptr);
        SetCursor(shape);
        EXPECT_EQ(GetCursor(), shape);
    }
    SetCursor(nullptr);
    EXPECT_EQ(PlatformTest_CursorsSet(), (std::vector<WORD>{32512, 32642, 32645, 32643, 32644, 0}));
    PlatformTest_ClearCursorsSet();
    EXPECT_TRUE(PlatformTest_CursorsSet().empty());
    SetCursor(LoadCursorA(nullptr, IDC_SIZEWE));
    PlatformTest_ResetWindows();
    EXPECT_TRUE(PlatformTest_CursorsSet().empty());
}

TEST_F(PlatformWindows, MessageBoxesAreRecordedAndAnswered) {
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "q", nullptr, MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "q", nullptr, MB_OKCANCEL | MB_DEFBUTTON4), IDOK);
    PlatformTest_SetMessageBoxAnswer(IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "x", "y", 0xF), 0);
    EXPECT_EQ(MessageBoxA(reinterpret_cast<HWND>(0x9999), "x", "y", MB_OK), 0);
    const auto boxes = PlatformTest_MessageBoxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].text, "text");
    EXPECT_EQ(boxes[0].caption, "caption");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_EQ(boxes[1].caption, "Error");
}

TEST_F(PlatformWindows, TheScreenSaverFlagReportsItsOldValue) {
    BOOL old = TRUE;
    EXPECT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 1, &old, 0));
    EXPECT_FALSE(old);
    EXPECT_TRUE(PlatformTest_ScreenSaverRunning());
    EXPECT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 0, &old, 0));
    EXPECT_TRUE(old);
    BOOL running = TRUE;
    EXPECT_TRUE(SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0));
    EXPECT_FALSE(running);
    EXPECT_FALSE(SystemParametersInfoA(0xFFFF, 0, nullptr, 0));
}

// ---- modules ----------------------------------------------------------------------------

TEST_F(PlatformWindows, PlatformLibrariesResolveTheirExportsByName) {
    HMODULE library = LoadLibraryA("corvanetest.dll");
    ASSERT_NE(library, nullptr);
    // The same library whatever the case, path or missing extension; counted once more each.
    EXPECT_EQ(LoadLibraryA("C:\\Windows\\System32\\CORVANETEST"), library);
    EXPECT_EQ(GetModuleHandleA("CorvaneTest.dll"), library);
    typedef int (*Function)(int);
    Function f = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, "TestExport")));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f(5), 15);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(library, "testexport"), nullptr);  // export names keep their case
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_NE(GetProcAddress(library, "TestExport"), nullptr);  // one use left
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_EQ(GetProcAddress(library, "TestExport"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(FreeLibrary(library));
    EXPECT_EQ(GetModuleHandleA("corvanetest.dll"), nullptr);
}

TEST_F(PlatformWindows, AnAbsentOrUnknownLibraryIsNotFound) {
    PlatformTest_SetLibraryAbsent("CorvaneTest.DLL", true);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("corvanetest.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    PlatformTest_SetLibraryAbsent("corvanetest.dll", false);
    EXPECT_NE(LoadLibraryA("corvanetest.dll"), nullptr);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("nosuchlibrary.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryA(""), nullptr);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    EXPECT_EQ(GetProcAddress(GetModuleHandleA(nullptr), "main"), nullptr);  // the program exports nothing
}

TEST_F(PlatformWindows, SharedObjectsOnDiskAreLoaded) {
    // The maths library is a shared object somewhere on this machine.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(static_cast<double (*)(double)>(&cos)), &info), 0);
    ASSERT_NE(info.dli_fname, nullptr);
    HMODULE library = LoadLibraryA(info.dli_fname);
    ASSERT_NE(library, nullptr) << info.dli_fname;
    EXPECT_EQ(LoadLibraryA(info.dli_fname), library);
    typedef double (*Cosine)(double);
    Cosine c = reinterpret_cast<Cosine>(reinterpret_cast<void*>(GetProcAddress(library, "cos")));
    ASSERT_NE(c, nullptr);
    EXPECT_DOUBLE_EQ(c(0.0), 1.0);
    EXPECT_EQ(GetProcAddress(library, "NoSuchFunction"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_TRUE(FreeLibrary(library));

    // A file that is not a library is there but cannot be loaded.
    const std::filesystem::path garbage =
        std::filesystem::temp_directory_path() / ("corvane-garbage-" + std::to_string(getpid()) + ".dll");
    {
        std::ofstream out(garbage, std::ios::binary);
        out << "MZ this is not a library";
    }
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(garbage.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    // A truncated one neither.
    {
        std::ofstream out(garbage, std::ios::binary | std::ios::trunc);
        std::ifstream in(info.dli_fname, std::ios::binary);
        std::vector<char> head(512);
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        out.write(head.data(), in.gcount());
    }
    EXPECT_EQ(LoadLibraryA(garbage.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    std::filesystem::remove(garbage);
    EXPECT_EQ(LoadLibraryA(garbage.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(PlatformLastError, IsKeptAsSet) {
    SetLastError(1234);
    EXPECT_EQ(GetLastError(), 1234u);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), static_cast<HRESULT>(0x8007007E));
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
}
