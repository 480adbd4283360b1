// The full-screen saver's loop driven pass by pass: a scene whose Update runs a script
// between passes with the platform's clock stepped by hand. What ends the saver and what
// does not (keys, close requests, the window's destruction, buttons and movements around
// the first second, the debug mode), the keep-alive presses, the clock in its corner,
// the debug recorder and its file, and the arrows' key spacing.
#include "Core/Log.h"
#include "D3d/InputDevice.h"
#include "Screen/CameraPath.h"
#include "Screen/SceneParams.h"
#include "tests/SaverTestScene.h"
#include "tests/TestSupport.h"

#include <PlatformTest.h>
#include <PlatformTestD3d9.h>
#include <PlatformTestInput.h>
#include <PlatformTestWindows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using LoopScene = ScriptedSaverScene;

class SaverLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = fs::current_path();
        folder = testsupport::FreshTestFolder("corvane-loop");
        fs::current_path(folder);
        PlatformTest_D3d9Reset();
        PlatformTest_ResetWindows();
        PlatformTest_ResetModules();
        PlatformTest_ResetInput();
        PlatformTest_SetClock(100000);
        ResetTheSaver();
        ResetDebugMode();
        savedWarnings = LogWarnings().fileName;
        savedInfo = LogInfo().fileName;
        savedMaster = TheLogRegistry().masterSwitch;
        LogWarnings().fileName = String((folder / "warnings.log").c_str());
        LogInfo().fileName = String((folder / "info.log").c_str());
        SetLogMasterSwitch(true);
    }
    void TearDown() override {
        scene.reset();
        LogWarnings().fileName = savedWarnings;
        LogInfo().fileName = savedInfo;
        TheLogRegistry().masterSwitch = savedMaster;
        ResetTheSaver();
        ResetDebugMode();
        PlatformTest_D3d9Reset();
        PlatformTest_ResetWindows();
        PlatformTest_ResetModules();
        PlatformTest_ResetInput();
        PlatformTest_UseSystemClock();
        fs::current_path(home);
        fs::remove_all(folder);
    }

    // The saver's window, device and input as start-up leaves them, without a scene load.
    void Open(bool debug = false) {
        DebugMode = debug ? 1 : 0;
        scene = std::make_unique<LoopScene>(50);
        ASSERT_TRUE(scene->Application::Create(GetModuleHandleA(nullptr), nullptr));
        ASSERT_TRUE(scene->SetMode(false));
        ASSERT_TRUE(scene->Input.Create(true, 6, 6));
        scene->Input.AddListener(scene.get());
        scene->Camera->SetParams(&scene->Input, 1.0f, 0.3f);
        scene->PathActive = 0;
        scene->StartTimer.Restart();
        window = scene->GetWindow();
    }
    int Run() {
        cursorBefore = PlatformTest_CursorCounter();
        return scene->Run();
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string Warnings() const { return Read(folder / "warnings.log"); }
    std::string Info() const { return Read(folder / "info.log"); }
    static size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    EVENT Move(i32 fromX, i32 fromY, i32 toX, i32 toY) const {
        EVENT e;
        e.type = kEventPointerMove;
        e.x = toX;
        e.y = toY;
        e.prevX = fromX;
        e.prevY = fromY;
        return e;
    }
    void KeyUp(u32 scanCode) const {
        EVENT e;
        e.type = kEventKeyUp;
        e.key = scanCode;
        scene->RecieveEvent(e);
    }

    fs::path home, folder;
    String savedWarnings, savedInfo;
    u8 savedMaster = 0;
    std::unique_ptr<LoopScene> scene;
    HWND window = nullptr;
    int cursorBefore = 0;
};

}  // namespace

TEST_F(SaverLoopTest, AQuitFlagSetBeforeTheLoopSkipsItAndStillCleansUp) {
    Open();
    scene->closing = 1;
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(scene->updates, 0u);
    EXPECT_EQ(scene->releases, 1u);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(PlatformTest_CursorCounter(), cursorBefore + 1);
    EXPECT_EQ(Count(Info(), "Exit"), 0u);
}

TEST_F(SaverLoopTest, EscapeAndSpaceEndTheLoop) {
    for (WPARAM key : {WPARAM{0x1B}, WPARAM{0x20}}) {
        Open();
        scene->script = [&](u32 pass) {
            if (pass == 3) PostMessageA(window, WM_KEYDOWN, key, 0);
        };
        EXPECT_EQ(Run(), 1);
        EXPECT_EQ(scene->updates, 3u) << key;  // the pass after the key pumps it and stops
        EXPECT_EQ(scene->releases, 1u);
        EXPECT_EQ(Count(Info(), "Exit"), key == 0x1B ? 1u : 2u);
        scene.reset();
    }
    EXPECT_EQ(Count(Warnings(), "Escape pressed"), 1u);
    EXPECT_EQ(Count(Warnings(), "Space pressed"), 1u);
}

TEST_F(SaverLoopTest, OtherKeysAndTheKeepAliveKeyOnlyLog) {
    Open();
    scene->limit = 6;
    scene->script = [&](u32 pass) {
        if (pass == 1) PostMessageA(window, WM_KEYDOWN, 'A', 0);
        if (pass == 2) PostMessageA(window, WM_KEYDOWN, 0x72, 0);  // F3
        if (pass == 3) PostMessageA(window, WM_KEYDOWN, 0x71, 0);  // F2: only the debug mode opens the device dialog
    };
    Run();
    EXPECT_EQ(scene->updates, 6u);
    EXPECT_EQ(Count(Warnings(), "Something other pressed"), 1u);  // A; neither F2 nor F3
}

TEST_F(SaverLoopTest, CloseAndQuitRequestsAreSwallowed) {
    Open();
    struct Row {
        UINT message;
        WPARAM wParam;
        LRESULT result;
    } rows[] = {
        {WM_CLOSE, 0, 1},          {WM_QUIT, 0, 1},           {WM_SYSCOMMAND, SC_CLOSE, 1},
        {WM_SYSCOMMAND, SC_NEXTWINDOW, 1}, {WM_SYSCOMMAND, SC_PREVWINDOW, 1}, {WM_SYSCOMMAND, SC_SCREENSAVE, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SendMessageA(window, row.message, row.wParam, 0), row.result) << row.message << " " << row.wParam;
        EXPECT_EQ(scene->closing, 0) << row.message;
    }
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(Count(Warnings(), "Quit command received"), 2u);
    EXPECT_EQ(Count(Warnings(), "Close command received"), 3u);
}

TEST_F(SaverLoopTest, TheDestructionOfTheSaversWindowEndsTheLoop) {
    Open();
    // Another window's destruction is only logged.
    EXPECT_EQ(scene->MsgProc(reinterpret_cast<HWND>(0x1234), WM_DESTROY, 0, 0), 1);
    EXPECT_EQ(scene->closing, 0);
    scene->script = [&](u32 pass) {
        if (pass == 2) DestroyWindow(window);
    };
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(scene->updates, 2u);
    EXPECT_EQ(scene->releases, 1u);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(SaverLoopTest, AMoveEndsTheSaverOnlyAfterTheFirstSecond) {
    Open();
    scene->ExitOnMM = 1;
    PlatformTest_AdvanceClock(1000);
    scene->RecieveEvent(Move(10, 10, 12, 10));
    EXPECT_EQ(scene->closing, 0);  // 1,000 ms is still the grace
    PlatformTest_AdvanceClock(1);
    scene->RecieveEvent(Move(10, 10, 10, 10));
    EXPECT_EQ(scene->closing, 0);  // no movement at all
    scene->RecieveEvent(Move(10, 10, 10, 11));
    EXPECT_EQ(scene->closing, 1);
    EXPECT_EQ(Count(Warnings(), "Mouse moved"), 1u);
}

TEST_F(SaverLoopTest, WithoutExitOnMoveOrWithoutMovementNothingEnds) {
    Open();
    PlatformTest_AdvanceClock(5000);
    scene->ExitOnMM = 0;
    scene->RecieveEvent(Move(0, 0, 300, 200));
    EXPECT_EQ(scene->closing, 0);
    scene->ExitOnMM = 1;
    for (int i = 0; i < 20; ++i) scene->RecieveEvent(Move(i, i, i, i));
    EXPECT_EQ(scene->closing, 0);
}

TEST_F(SaverLoopTest, AWindowsMouseMoveEndsTheSaverThroughTheInputDevice) {
    Open();
    scene->ExitOnMM = 1;
    scene->limit = 20;
    scene->script = [&](u32 pass) {
        if (pass == 1) PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(40, 30));  // inside the grace
        if (pass == 2) PlatformTest_AdvanceClock(1500);
        if (pass == 3) PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(41, 30));
    };
    Run();
    EXPECT_EQ(scene->updates, 3u);
    EXPECT_EQ(Count(Warnings(), "Mouse moved"), 1u);
}

TEST_F(SaverLoopTest, AButtonEndsTheSaver) {
    for (u32 type : {u32{kEventLeftDown}, u32{kEventRightDown}}) {
        Open();
        EVENT e;
        e.type = type;
        scene->RecieveEvent(e);
        EXPECT_EQ(scene->closing, 1) << type;
        scene.reset();
    }
    EXPECT_EQ(Count(Warnings(), "Mouse pressed"), 2u);
}

TEST_F(SaverLoopTest, TheDebugModeIgnoresTheMouseButNotEscapeOrSpace) {
    Open(true);
    scene->ExitOnMM = 1;
    PlatformTest_AdvanceClock(5000);
    EVENT button;
    button.type = kEventLeftDown;
    scene->RecieveEvent(button);
    button.type = kEventRightDown;
    scene->RecieveEvent(button);
    scene->RecieveEvent(Move(1, 1, 50, 60));
    EXPECT_EQ(scene->closing, 0);
    SendMessageA(window, WM_KEYDOWN, 'Q', 0);  // other keys are not even logged here
    EXPECT_EQ(scene->closing, 0);
    EXPECT_EQ(Count(Warnings(), "Something other pressed"), 0u);
    SendMessageA(window, WM_KEYDOWN, 0x20, 0);
    EXPECT_EQ(scene->closing, 1);
    scene->closing = 0;
    SendMessageA(window, WM_KEYDOWN, 0x1B, 0);
    EXPECT_EQ(scene->closing, 1);
}

TEST_F(SaverLoopTest, TheKeepAlivePressesF3TwiceEveryThirtySecondsAndNeverReleasesIt) {
    Open(true);  // the debug mode: a released F3 would toggle the flight
    const u8 pathActive = scene->PathActive;
    PlatformTest_ClearInjectedInput();
    PlatformTest_RecordMessages(true);
    scene->limit = 8;
    scene->script = [&](u32) { PlatformTest_AdvanceClock(10000); };
    Run();
    // Passes at 0, 10, ..., 70 s: the presses go out at 30 and 60 s, one through
    // keybd_event and one through SendInput each time, both key-downs.
    const std::vector<PlatformTestInjectedInput> injected = PlatformTest_InjectedInput();
    ASSERT_EQ(injected.size(), 4u);
    for (size_t i = 0; i < injected.size(); ++i) {
        EXPECT_EQ(injected[i].call, i % 2 == 0 ? PlatformTestInputCall::KeybdEvent : PlatformTestInputCall::SendInput);
        EXPECT_EQ(injected[i].input.type, static_cast<DWORD>(INPUT_KEYBOARD));
        EXPECT_EQ(injected[i].input.ki.wVk, 0x72);
        EXPECT_EQ(injected[i].input.ki.dwFlags, 0u);
    }
    size_t downs = 0;
    size_t ups = 0;
    for (const PlatformTestMessage& m : PlatformTest_AllMessages()) {
        if (m.message == WM_KEYDOWN && m.wParam == 0x72) ++downs;
        if (m.message == WM_KEYUP && m.wParam == 0x72) ++ups;
    }
    PlatformTest_RecordMessages(false);
    EXPECT_EQ(downs, 4u);
    EXPECT_EQ(ups, 0u);
    EXPECT_EQ(scene->PathActive, pathActive);
    EXPECT_EQ(Count(Warnings(), "Something other pressed"), 0u);
}

TEST_F(SaverLoopTest, TheClockSitsInTheBottomRightCorner) {
    Open();
    SYSTEMTIME noon{};
    noon.wYear = 2026;
    noon.wMonth = 12;
    noon.wDay = 9;
    noon.wHour = 12;
    noon.wMinute = 30;
    PlatformTest_SetLocalTime(noon);
    scene->ShowTime = 1;
    scene->limit = 2;
    Run();
    const IntRect screen = scene->GetScreenRect();
    const IntPair size = scene->ClockText.GetTextExtent();
    const IntPair origin = scene->ClockText.GetOrigin();
    EXPECT_EQ(origin.x, screen.right - size.x);
    EXPECT_EQ(origin.y, screen.bottom - size.y);
}

TEST_F(SaverLoopTest, TheArrowsChangeTheKeySpacingDownToOne) {
    Open(true);
    scene->AnimLength = 2.0f;
    PlatformTest_KeyDown(DIK_UP);
    for (int i = 0; i < 4; ++i) scene->FrameUpdate();
    EXPECT_EQ(scene->AnimLength, 4.0f);
    PlatformTest_KeyUp(DIK_UP);
    PlatformTest_KeyDown(DIK_DOWN);
    for (int i = 0; i < 10; ++i) scene->FrameUpdate();
    EXPECT_EQ(scene->AnimLength, 1.0f);
}

TEST_F(SaverLoopTest, TheRecorderAppendsDropsAndWritesKeysThatReadBack) {
    Open(true);
    scene->AnimLength = 3000.0f;
    scene->Camera->SetPosition(Vec3(0, 0, 0));
    KeyUp(0x15);  // Y: the first key at 0
    scene->Camera->SetPosition(Vec3(30, 40, 0));
    scene->Camera->SetOrientation(Vec3(1, 0, 0), Vec3(0, 1, 0));
    KeyUp(0x15);  // Y: AnimLength later
    scene->Camera->SetPosition(Vec3(30, 40, 100));
    KeyUp(0x16);  // U: half the distance (100) later
    const KeyTrack& positions = scene->FlightPath->PositionTrack().keys;
    ASSERT_EQ(positions.Count(), 3u);
    EXPECT_EQ(positions.First()->key, 0.0f);
    EXPECT_EQ(positions.Next(positions.First())->key, 3000.0f);
    EXPECT_EQ(positions.Last()->key, 3050.0f);
    EXPECT_EQ(scene->FlightPath->RotationTrack().keys.Count(), 3u);
    EXPECT_EQ(scene->PathActive, 0);
    // The recorded rotation plays back as the camera's direction.
    scene->FlightPath->Evaluate(3000.0f);
    EXPECT_NEAR(scene->FlightPath->GetDirection().x, 1.0f, 1e-5f);

    KeyUp(0x19);  // P: the last key goes from both tracks
    EXPECT_EQ(positions.Count(), 2u);
    EXPECT_EQ(scene->FlightPath->RotationTrack().keys.Count(), 2u);

    fs::create_directories(folder / "Media");
    KeyUp(0x44);  // F10
    ASSERT_TRUE(fs::exists(folder / "Media" / "c.cam"));
    scene->FlightPath->PositionTrack().Clear();
    scene->FlightPath->RotationTrack().Clear();
    KeyUp(0x57);  // F11
    ASSERT_EQ(positions.Count(), 2u);
    EXPECT_EQ(positions.Last()->key, 3000.0f);
    EXPECT_EQ(positions.Last()->value.x, 30.0f);
    EXPECT_EQ(scene->FlightPath->RotationTrack().keys.Count(), 2u);
}

TEST_F(SaverLoopTest, SpaceAndF3StartAndStopTheFlightInTheDebugMode) {
    Open(true);
    scene->PathActive = 0;
    scene->PathTime = 55.0f;
    KeyUp(0x39);  // Space: hold, step and start
    EXPECT_EQ(scene->DebugHold, 1);
    EXPECT_EQ(scene->PathActive, 1);
    EXPECT_EQ(scene->PathTime, 0.0f);
    KeyUp(0x39);
    EXPECT_EQ(scene->PathTime, scene->DebugStep * 10.0f);
    KeyUp(0x3D);  // F3: stop
    EXPECT_EQ(scene->DebugHold, 0);
    EXPECT_EQ(scene->PathActive, 0);
    KeyUp(0x3D);  // F3: start from 0
    EXPECT_EQ(scene->PathActive, 1);
    EXPECT_EQ(scene->PathTime, 0.0f);
    // Without the debug mode key releases do nothing.
    DebugMode = 0;
    KeyUp(0x3D);
    EXPECT_EQ(scene->PathActive, 1);
}
