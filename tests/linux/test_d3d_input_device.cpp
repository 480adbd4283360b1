// The engine's input device on the platform's DirectInput, fed through the test interface:
// key and button events, double clicks at the interval's edge, one move per batch, the
// keyboard first, typed characters, the pointer tracked from the device in full screen,
// lost input, a Create that failed, the notification events' lifetime, the pointer scaled
// by a new screen size, Windows mouse moves left of the client area, and the windowed
// pointer in the window's own coordinates.
#include "D3d/Application.h"
#include "D3d/InputDevice.h"
#include <PlatformTest.h>
#include <PlatformTestD3d9.h>
#include <PlatformTestInput.h>
#include <PlatformTestWindows.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class Recorder : public EventReceiver {
public:
    void RecieveEvent(EVENT event) override { events.push_back(event); }
    std::vector<u32> Types() const {
        std::vector<u32> out;
        for (const EVENT& e : events) out.push_back(e.type);
        return out;
    }
    std::vector<EVENT> events;
};

class InputDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformTest_D3d9Reset();
        PlatformTest_ResetWindows();
        PlatformTest_ResetModules();
        PlatformTest_ResetInput();
        PlatformTest_SetClock(5000);
    }
    void TearDown() override {
        input.reset();
        app.reset();
        PlatformTest_D3d9Reset();
        PlatformTest_ResetWindows();
        PlatformTest_ResetModules();
        PlatformTest_ResetInput();
        PlatformTest_UseSystemClock();
    }
    static bool Start(Application& app, bool fullScreen) {
        return app.Create(GetModuleHandleA(nullptr), nullptr) && app.SetMode(fullScreen);
    }
    // An application and an input device created as the saver creates them, unless asked
    // for a device without exclusive mode.
    bool Open(bool fullScreen = false, bool exclusive = true) {
        app = std::make_unique<Application>();
        if (!Start(*app, fullScreen)) return false;
        input = std::make_unique<InputDevice>();
        input->AddListener(&recorder);
        return input->Create(exclusive, 6, 6);
    }
    std::unique_ptr<Application> app;
    std::unique_ptr<InputDevice> input;
    Recorder recorder;
    static void Pump() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    static void Click(int button) {
        PlatformTest_MouseButton(button, true);
        PlatformTest_MouseButton(button, false);
    }
};

}  // namespace

TEST_F(InputDeviceTest, KeysBecomeKeyEventsWithTheScanCode) {
    ASSERT_TRUE(Open());
    PlatformTest_KeyDown(DIK_A);
    PlatformTest_KeyUp(DIK_A);
    input->DispatchEvents();
    ASSERT_EQ(recorder.Types(), (std::vector<u32>{kEventKeyDown, kEventKeyUp}));
    EXPECT_EQ(recorder.events[0].key, static_cast<u32>(DIK_A));
    EXPECT_EQ(recorder.events[0].x, 0);
    EXPECT_FALSE(input->IsKeyDown(DIK_A));
    PlatformTest_KeyDown(DIK_B);
    input->DispatchEvents();
    EXPECT_TRUE(input->IsKeyDown(DIK_B));
}

TEST_F(InputDeviceTest, TheKeyboardGoesFirstAndABatchMakesOneMove) {
    ASSERT_TRUE(Open());
    PlatformTest_MouseMove(4, 2);
    PlatformTest_MouseMove(3, 1);
    PlatformTest_KeyDown(DIK_SPACE);
    input->DispatchEvents();
    EXPECT_EQ(recorder.Types(), (std::vector<u32>{kEventKeyDown}));
    input->DispatchEvents();
    // Exclusive: the move reports the device's raw axis values.
    ASSERT_EQ(recorder.Types(), (std::vector<u32>{kEventKeyDown, kEventExclusivePointerMove}));
    EXPECT_EQ(recorder.events[1].x, 7);
    EXPECT_EQ(recorder.events[1].y, 3);
    input->DispatchEvents();
    EXPECT_EQ(recorder.events.size(), 2u);
}

TEST_F(InputDeviceTest, ADoubleClickNeedsLessThanTheInterval) {
    ASSERT_TRUE(Open());
    Click(0);
    PlatformTest_AdvanceClock(499);
    Click(0);
    input->DispatchEvents();
    EXPECT_EQ(recorder.Types(), (std::vector<u32>{kEventLeftDown, kEventLeftUp, kEventLeftDown, kEventLeftUp,
                                                  kEventLeftDoubleClick}));
    recorder.events.clear();
    PlatformTest_AdvanceClock(1000);
    Click(1);
    PlatformTest_AdvanceClock(500);
    Click(1);
    input->DispatchEvents();
    EXPECT_EQ(recorder.Types(),
              (std::vector<u32>{kEventRightDown, kEventRightUp, kEventRightDown, kEventRightUp}));
}

TEST_F(InputDeviceTest, TypedCharactersAndFocusBecomeEvents) {
    ASSERT_TRUE(Open());
    SendMessageA(app->GetWindow(), WM_CHAR, 'x', 0);
    ASSERT_EQ(recorder.Types(), (std::vector<u32>{kEventCharacter}));
    EXPECT_EQ(recorder.events[0].key, static_cast<u32>('x'));
    EXPECT_FALSE(input->IsKeyDown(DIK_X));
    SendMessageA(app->GetWindow(), WM_SETFOCUS, 0, 0);
    EXPECT_EQ(recorder.events.back().type, static_cast<u32>(kEventFocusGained));
    EXPECT_TRUE(input->HasFocus());
    EXPECT_EQ(CharFromScanCode(DIK_Q), u16('q'));
    EXPECT_EQ(CharFromScanCode(DIK_0), u16('0'));
    EXPECT_EQ(CharFromScanCode(DIK_BACK), u16(253));
    EXPECT_EQ(CharFromScanCode(DIK_F1), u16(255));
}

TEST_F(InputDeviceTest, WindowsMouseMovesAreReadSigned) {
    ASSERT_TRUE(Open());
    SendMessageA(app->GetWindow(), WM_MOUSEMOVE, 0, MAKELPARAM(-5, -7));
    ASSERT_EQ(recorder.Types(), (std::vector<u32>{kEventPointerMove}));
    EXPECT_EQ(recorder.events[0].x, -5);
    EXPECT_EQ(recorder.events[0].y, -7);
    EXPECT_EQ(input->GetPosition(), IntPair(-5, -7));
}

TEST_F(InputDeviceTest, LostInputIsAcquiredAgain) {
    ASSERT_TRUE(Open());
    PlatformTest_LoseInput();
    EXPECT_TRUE(input->Poll(0));
    PlatformTest_KeyDown(DIK_E);
    input->DispatchEvents();
    EXPECT_EQ(recorder.Types(), (std::vector<u32>{kEventKeyDown}));
}

TEST_F(InputDeviceTest, AFailedCreateLeavesFocusMessagesHarmless) {
    Application app;
    ASSERT_TRUE(Start(app, false));
    PlatformTest_SetLibraryAbsent("dinput8.dll", true);
    InputDevice input;
    Recorder recorder;
    input.AddListener(&recorder);
    EXPECT_FALSE(input.Create(true, 6, 6));
    SendMessageA(app.GetWindow(), WM_KILLFOCUS, 0, 0);
    SendMessageA(app.GetWindow(), WM_SETFOCUS, 0, 0);
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_FALSE(input.Poll(0));
    input.DispatchEvents();
}

TEST_F(InputDeviceTest, TheNotificationEventsAreClosedWithTheDevice) {
    Application app;
    ASSERT_TRUE(Start(app, false));
    const int before = PlatformTest_OpenEvents();
    {
        InputDevice input;
        ASSERT_TRUE(input.Create(true, 6, 6));
        EXPECT_EQ(PlatformTest_OpenEvents(), before + 2);
        ASSERT_TRUE(input.Create(true, 6, 6));  // a second Create replaces the first pair
        EXPECT_EQ(PlatformTest_OpenEvents(), before + 2);
    }
    EXPECT_EQ(PlatformTest_OpenEvents(), before);
}

TEST_F(InputDeviceTest, InFullScreenThePointerFollowsTheDevice) {
    ASSERT_TRUE(Open(true, false));
    ASSERT_TRUE(input->Poll(0));
    const IntPair start = input->GetPosition();
    PlatformTest_MouseMove(10, 5);
    input->DispatchEvents();
    ASSERT_EQ(recorder.Types(), (std::vector<u32>{kEventPointerMove}));
    EXPECT_EQ(input->GetPosition(), IntPair(start.x + 10, start.y + 5));
    EXPECT_EQ(recorder.events[0].dx, 10);
    PlatformTest_MouseMove(-100000, 0);
    ASSERT_TRUE(input->Poll(0));
    EXPECT_EQ(input->GetPosition().x, 0);  // clamped to the screen
    PlatformTest_MouseButton(0, true);
    ASSERT_TRUE(input->Poll(0));
    EXPECT_TRUE(input->IsLeftButtonDown());
}

TEST_F(InputDeviceTest, RestoreScalesThePointerByTheNewSize) {
    Application app;
    ASSERT_TRUE(Start(app, false));
    InputDevice input;
    ASSERT_TRUE(input.Create(true, 6, 6));
    const IntRect screen = app.GetScreenRect();
    ASSERT_GT(screen.right, 0);
    SendMessageA(app.GetWindow(), WM_MOUSEMOVE, 0, MAKELPARAM(screen.right - 1, screen.bottom - 1));
    RECT r{};
    GetWindowRect(app.GetWindow(), &r);
    const int grow = screen.right / 2;  // 1.5 times as wide: not a whole multiple
    ASSERT_TRUE(SetWindowPos(app.GetWindow(), nullptr, 0, 0, r.right - r.left + grow, r.bottom - r.top,
                             SWP_NOMOVE | SWP_NOZORDER));
    app.CheckWindowSize();
    const IntRect now = app.GetScreenRect();
    ASSERT_EQ(now.right, screen.right + grow);
    input.Restore();
    EXPECT_EQ(input.GetPosition().x,
              static_cast<i32>(static_cast<i64>(screen.right - 1) * now.right / screen.right));
    EXPECT_EQ(input.GetPosition().y, screen.bottom - 1);
}

TEST_F(InputDeviceTest, InFullScreenWithoutExclusiveModeTheCursorIsHidden) {
    ASSERT_TRUE(Open(true, false));
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    input->HandleMessage(app->GetWindow(), WM_SETCURSOR, 0, 0);
    EXPECT_EQ(GetCursor(), nullptr);
}

TEST_F(InputDeviceTest, WindowedTheCursorIsTheArrow) {
    ASSERT_TRUE(Open());
    SetCursor(nullptr);
    input->HandleMessage(app->GetWindow(), WM_SETCURSOR, 0, 0);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
}

TEST_F(InputDeviceTest, WindowedThePointerIsInTheWindowsClientCoordinates) {
    ASSERT_TRUE(Open());
    HWND window = app->GetWindow();
    ASSERT_TRUE(SetWindowPos(window, nullptr, 200, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
    POINT origin{0, 0};
    ASSERT_TRUE(ClientToScreen(window, &origin));
    ASSERT_GE(origin.x, 200);
    ASSERT_GE(origin.y, 100);
    POINT cursor{};
    ASSERT_TRUE(GetCursorPos(&cursor));
    PlatformTest_MouseMove(origin.x + 30 - cursor.x, origin.y + 20 - cursor.y);
    ASSERT_TRUE(input->Poll(0));
    // Not the screen position: a hit test would land 200 pixels right of the pointer.
    EXPECT_EQ(input->GetPosition(), IntPair(30, 20));
}
