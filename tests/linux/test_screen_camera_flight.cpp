// The free camera flown by hand through the platform's input: moves by the clock and the
// speed along the camera's own axes, the home key, turns only with Shift or Ctrl held,
// no jump after the focus goes and comes back, nothing without focus or device.
#include "D3d/Application.h"
#include "D3d/InputDevice.h"
#include "Screen/CameraPath.h"
#include <PlatformTest.h>
#include <PlatformTestD3d9.h>
#include <PlatformTestInput.h>
#include <PlatformTestWindows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

class CameraFlightTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformTest_D3d9Reset();
        PlatformTest_ResetWindows();
        PlatformTest_ResetModules();
        PlatformTest_ResetInput();
        PlatformTest_SetClock(10000);
        app = std::make_unique<Application>();
        ASSERT_TRUE(app->Create(GetModuleHandleA(nullptr), nullptr) && app->SetMode(false));
        input = std::make_unique<InputDevice>();
        ASSERT_TRUE(input->Create(true, 6, 6));
        camera = std::make_unique<CameraPath>();
        camera->SetParams(input.get(), 1000.0f, 1.0f);  // 1 unit a millisecond
        POINT middle{100, 100};  // inside the client area, so that moves are not clamped
        ClientToScreen(app->GetWindow(), &middle);
        SetCursorPos(middle.x, middle.y);
        Step();  // takes the first reference point
    }
    void TearDown() override {
        camera.reset();
        input.reset();
        app.reset();
        PlatformTest_D3d9Reset();
        PlatformTest_ResetWindows();
        PlatformTest_ResetModules();
        PlatformTest_ResetInput();
        PlatformTest_UseSystemClock();
    }
    // One pass as the main loop makes it: poll, then the camera.
    void Step(u64 afterMs = 0) {
        clock += afterMs;
        PlatformTest_SetClock(clock);
        input->Poll(0);
        input->DispatchEvents();
        camera->Step();
    }
    void Hold(BYTE key, bool down) {
        if (down) PlatformTest_KeyDown(key);
        else PlatformTest_KeyUp(key);
        input->Poll(0);
    }
    void MovePointer(LONG dx, LONG dy) {
        POINT at{};
        GetCursorPos(&at);
        SetCursorPos(at.x + dx, at.y + dy);
    }
    static void ExpectVec(const Vec3& v, f32 x, f32 y, f32 z, f32 tolerance = 1e-3f) {
        EXPECT_NEAR(v.x, x, tolerance);
        EXPECT_NEAR(v.y, y, tolerance);
        EXPECT_NEAR(v.z, z, tolerance);
    }

    u64 clock = 10000;
    std::unique_ptr<Application> app;
    std::unique_ptr<InputDevice> input;
    std::unique_ptr<CameraPath> camera;
};

}  // namespace

TEST_F(CameraFlightTest, KeysMoveAlongTheCameraAxesByTimeAndSpeed) {
    struct Row {
        BYTE key;
        Vec3 expected;  // after 10 ms looking along +z with +y up
    } rows[] = {
        {DIK_W, Vec3(0, 10, 0)},
        {DIK_S, Vec3(0, -10, 0)},
        {DIK_A, Vec3(-10, 0, 0)},
        {DIK_D, Vec3(10, 0, 0)},
    };
    for (const Row& row : rows) {
        camera->SetPosition(Vec3());
        Step();
        Hold(row.key, true);
        Step(10);
        Hold(row.key, false);
        ExpectVec(camera->GetPosition(), row.expected.x, row.expected.y, row.expected.z);
    }
}

TEST_F(CameraFlightTest, ButtonsFlyAlongTheViewAndZGoesHome) {
    camera->SetOrientation(Vec3(0, 0, 4), Vec3(0, 1, 0));  // the direction is normalised for the step
    PlatformTest_MouseButton(0, true);
    Step(20);
    ExpectVec(camera->GetPosition(), 0, 0, 20);
    PlatformTest_MouseButton(0, false);
    PlatformTest_MouseButton(1, true);
    Step(5);
    ExpectVec(camera->GetPosition(), 0, 0, 15);
    PlatformTest_MouseButton(1, false);
    Hold(DIK_W, true);
    Hold(DIK_Z, true);
    Step(50);
    ExpectVec(camera->GetPosition(), 0, 0, 0);
}

TEST_F(CameraFlightTest, MouseMovementTurnsOnlyInLookMode) {
    MovePointer(30, 0);
    Step(1);
    ExpectVec(camera->GetDirection(), 0, 0, 1);
    Hold(DIK_LSHIFT, true);
    MovePointer(20, 0);
    Step(1);
    // A yaw of 20 x 0.00625 radians to the right.
    const f32 yaw = 20 * 0.00625f;
    ExpectVec(camera->GetDirection(), std::sin(yaw), 0, std::cos(yaw));
    ExpectVec(camera->GetUp(), 0, 1, 0);
    MovePointer(0, 10);
    Step(1);
    // A pitch of 10 x 0.01 radians: the view tips down, the up vector stays perpendicular.
    EXPECT_LT(camera->GetDirection().y, -0.09f);
    EXPECT_NEAR(Vec3Dot(camera->GetDirection(), camera->GetUp()), 0.0f, 1e-4f);
}

TEST_F(CameraFlightTest, CtrlRollsAboutTheView) {
    Hold(DIK_LCONTROL, true);
    MovePointer(40, 25);
    Step(1);
    const f32 roll = -40 * 0.00625f;
    ExpectVec(camera->GetDirection(), 0, 0, 1);
    EXPECT_NEAR(std::fabs(camera->GetUp().x), std::sin(std::fabs(roll)), 1e-3f);
    EXPECT_NEAR(camera->GetUp().y, std::cos(roll), 1e-3f);
}

TEST_F(CameraFlightTest, NoJumpAfterTheFocusGoesAndComesBack) {
    Hold(DIK_LSHIFT, true);
    HWND window = app->GetWindow();
    SendMessageA(window, WM_KILLFOCUS, 0, 0);
    EXPECT_FALSE(camera->HasReferencePoint());
    MovePointer(200, 150);  // the pointer travels elsewhere meanwhile
    Hold(DIK_W, true);
    Step(5000);  // without focus nothing flies, not even later
    SendMessageA(window, WM_SETFOCUS, 0, 0);
    Step(0);
    ExpectVec(camera->GetDirection(), 0, 0, 1);
    ExpectVec(camera->GetPosition(), 0, 0, 0);
    EXPECT_TRUE(camera->HasReferencePoint());
    MovePointer(8, 0);
    Step(2);
    const f32 yaw = 8 * 0.00625f;
    ExpectVec(camera->GetDirection(), std::sin(yaw), 0, std::cos(yaw));
    ExpectVec(camera->GetPosition(), 0, 2, 0);
}

TEST_F(CameraFlightTest, WithoutADeviceNothingMoves) {
    CameraPath idle;
    idle.SetPosition(Vec3(1, 2, 3));
    Hold(DIK_W, true);
    idle.Step();
    ExpectVec(idle.GetPosition(), 1, 2, 3);
    EXPECT_EQ(idle.GetMoveSpeed(), 1.0f);
    EXPECT_EQ(idle.GetTurnFactor(), 0.3f);
}
