// The full-screen saver's one loop and its two input paths. Run pumps the window's
// messages, keeps Windows from starting another screensaver, shows the frame rate and the
// clock, polls input and draws until the quit flag is set; it never sleeps, so a frame
// follows the last as fast as the device presents.
//
// Only a few things end the saver: Escape and Space (window messages), a mouse button and,
// with "ExitOnMM", a real mouse movement after the first second (input events), and the
// saver's own window being destroyed. Close and quit requests and the system's
// close-window commands are swallowed: a screensaver is ended by its user, not by a
// request to close. In the debug mode the mouse flies the free camera instead, and key
// releases drive a small camera-path recorder.
//
// The keep-alive presses F3 twice every 30 s and never releases it: a release would reach
// the recorder's F3 and start or stop the path each time.
#include "Screen/ScreenSaverFull.h"

#include "Core/Log.h"
#include "Core/ProgramObjects.h"
#include "Core/FrameNotifier.h"
#include "Core/Timer.h"
#include "Core/WString.h"
#include "D3d/InputDevice.h"
#include "Gui/RichTextWindow.h"
#include "Screen/CameraPath.h"
#include "Screen/OverlayTexts.h"
#include "Screen/SceneParams.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr BYTE kKeepAliveKey = 0x72;  // VK_F3
constexpr u64 kFpsDisplayPeriodMs = 1000;

// Virtual keys of the window messages.
constexpr WPARAM kVirtualEscape = 0x1B;
constexpr WPARAM kVirtualSpace = 0x20;
constexpr WPARAM kVirtualF2 = 0x71;
constexpr WPARAM kVirtualF3 = 0x72;
constexpr WPARAM kVirtualF6 = 0x75;

// DirectInput scan codes of the debug controls.
enum DebugKey : u32 {
    kDebugSpace = 0x39,
    kDebugRecordY = 0x15,
    kDebugRecordU = 0x16,
    kDebugDropP = 0x19,
    kDebugF1 = 0x3B,
    kDebugF3 = 0x3D,
    kDebugF10 = 0x44,
    kDebugF11 = 0x57,
    kDebugUpArrow = 200,
    kDebugDownArrow = 208,
};

constexpr f32 kAnimLengthStep = 0.5f;
constexpr f32 kShortestAnimLength = 1.0f;

const char kSource[] = "Screen\\ScreenSaver";
const char kRunSignature[] = "public: virtual int __thiscall ScreenSaver::Full::Run(void)";
const char kMsgProcSignature[] =
    "public: virtual long __thiscall ScreenSaver::Full::MsgProc(struct HWND__ *,unsigned int,unsigned int,long)";
const char kEventSignature[] = "public: virtual void __thiscall ScreenSaver::Full::RecieveEvent(struct EVENT)";

LogSite Site(const char* signature) { return LogSite(kSource, signature, 0); }

// Two presses of F3, one through each of Windows' ways of faking input.
void SendKeepAlive() {
    keybd_event(kKeepAliveKey, 0, 0, 0);
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = kKeepAliveKey;
    input.ki.wScan = 0;
    input.ki.dwFlags = 0;
    input.ki.time = 0;
    input.ki.dwExtraInfo = 0;
    SendInput(1, &input, sizeof input);
}

void Show(RichTextWindow& window, const WString& text) {
    window.SetMarkup(text);
    window.EnableFrameEvents(true, true);
}

void ShowKeyCount(ScreenSaver::Full& saver) {
    Show(saver.DebugKeyCountText, WString::FromInt(static_cast<i32>(saver.FlightPath->PositionTrack().keys.Count()), 10));
}

// Appends a key at the free camera's placement to both tracks of the flight: AnimLength after
// the last key, or with byDistance half the distance from the last key's position later.
void RecordKey(ScreenSaver::Full& saver, bool byDistance) {
    const CameraPath& camera = *saver.Camera;
    const Vec3 position = camera.GetPosition();
    const D3DXQUATERNION rotation = RotationFromFrame(camera.GetDirection(), camera.GetUp());
    VectorTrackObject& positions = saver.FlightPath->PositionTrack();
    f32 time = 0.0f;
    if (const KeyTrack::Entry* last = positions.keys.Last()) {
        if (byDistance) {
            const Vec3 from(last->value.x, last->value.y, last->value.z);
            time = last->key + 0.5f * Vec3Length(position - from);
        } else {
            time = last->key + saver.AnimLength;
        }
    }
    positions.AddKey(KeyData(time, position.x, position.y, position.z));
    saver.FlightPath->RotationTrack().AddKey(KeyData::Rotation(time, rotation.x, rotation.y, rotation.z, rotation.w));
    ShowKeyCount(saver);
}

}  // namespace

String ScreenSaver::Full::FormatClock(u32 hour, u32 minute, u32 second, bool hours24) {
    return FormatClockText(hour, minute, second, hours24);
}

int ScreenSaver::Full::Run() {
    FrameRate frameRate(Timer::Now());
    Timer keepAlive;
    Timer display;
    if (!closing) {
        for (;;) {
            MSG msg;
            while (!closing && PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            if (keepAlive.CheckPeriod(kKeepAliveMs)) {
                SendKeepAlive();
                keepAlive.Restart();
            }
            if (closing) break;

            const u64 rate = frameRate.Pass(Timer::Now());
            if (ShowFps && display.CheckPeriod(kFpsDisplayPeriodMs))
                Show(FpsText, WString::FromInt(static_cast<i32>(rate), 10));
            const IntRect screen = GetScreenRect();
            if (ShowTime) {
                SYSTEMTIME now{};
                GetLocalTime(&now);
                const String clock = FormatClock(now.wHour, now.wMinute, now.wSecond, b24h != 0);
                ClockText.SetMarkup(WString::FromNarrow((std::string("<RAW>") + clock.c_str() + "</RAW>").c_str()));
                const IntPair size = ClockText.GetTextExtent();
                ClockText.SetOrigin(screen.right - size.x, screen.bottom - size.y);
                ClockText.EnableFrameEvents(true, true);
            }

            Input.Poll(0);
            Input.DispatchEvents();
            FrameUpdate();
            Camera->Step();
            if (active) {
                Update();
                DoRender();
            }
            if (closing) break;
        }
        LogInfo().Write(Site(kRunSignature)).Print("Exit");
    }
    LogInfo().Write(Site(kRunSignature)).Print(static_cast<i32>(TheFrameNotifier().Frame()));
    ReleaseCustom();
    Destroy();
    if (window && IsWindow(window)) DestroyWindow(window);
    ShowCursor(TRUE);
    return 1;
}

LRESULT ScreenSaver::Full::MsgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
        switch (wParam) {
        case kVirtualEscape:
            LogWarnings().Write(Site(kMsgProcSignature)).Print("Escape pressed");
            closing = 1;
            break;
        case kVirtualSpace:
            LogWarnings().Write(Site(kMsgProcSignature)).Print("Space pressed");
            closing = 1;
            break;
        case kVirtualF2:
            if (DebugMode) RunDeviceDialog();
            break;
        case kVirtualF3:
            break;  // the keep-alive's own key
        case kVirtualF6:
            if (DebugMode) ToggleFullscreen();
            break;
        default:
            if (!DebugMode) LogWarnings().Write(Site(kMsgProcSignature)).Print("Something other pressed");
            break;
        }
        break;
    case WM_DESTROY:
        LogWarnings().Write(Site(kMsgProcSignature)).Print("Quit command received");
        // The saver's own window is gone: nothing is left to draw into or to read input
        // from, so the loop must end rather than run on without a window.
        if (hwnd == window) closing = 1;
        return 1;
    case WM_CLOSE:
    case WM_QUIT:
        LogWarnings().Write(Site(kMsgProcSignature)).Print("Quit command received");
        return 1;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_CLOSE:
        case SC_NEXTWINDOW:
        case SC_PREVWINDOW:
            LogWarnings().Write(Site(kMsgProcSignature)).Print("Close command received");
            return 1;
        case SC_SCREENSAVE:
            return 0;
        default:
            break;
        }
        break;
    case WM_USER:
        SetTimer(hwnd, 1, 500, nullptr);
        break;
    case WM_TIMER:
        KillTimer(hwnd, 1);
        WaitFlag = 0;
        break;
    default:
        break;
    }
    return Application::MsgProc(hwnd, message, wParam, lParam);
}

void ScreenSaver::Full::RecieveEvent(EVENT event) {
    if ((event.type == kEventLeftDown || event.type == kEventRightDown) && !DebugMode) {
        LogWarnings().Write(Site(kEventSignature)).Print("Mouse pressed");
        closing = 1;
    }
    if (event.type == kEventPointerMove && (event.x != event.prevX || event.y != event.prevY) && ExitOnMM &&
        StartTimer.Elapsed() > kMoveGraceMs && !DebugMode) {
        LogWarnings().Write(Site(kEventSignature)).Print("Mouse moved");
        closing = 1;
    }
    if (!DebugMode || event.type != kEventKeyUp) return;
    HandleDebugKey(event.key);
}

void ScreenSaver::Full::HandleDebugKey(u32 key) {
    TimeRange range;
    switch (key) {
    case kDebugSpace:
        DebugHold = 1;
        PathTime += DebugStep * 10.0f;
        if (!PathActive) {
            PathActive = 1;
            PathTime = 0.0f;
            FlightPath->GetTimeRange(range);
        }
        break;
    case kDebugRecordY:
    case kDebugRecordU:
        PathActive = 0;
        RecordKey(*this, key == kDebugRecordU);
        break;
    case kDebugDropP:
        PathActive = 0;
        if (FlightPath->GetTimeRange(range)) {
            FlightPath->PositionTrack().RemoveKey(range.end);
            FlightPath->RotationTrack().RemoveKey(range.end);
        }
        ShowKeyCount(*this);
        break;
    case kDebugF1:
        DebugHold = 0;
        PathActive = PathActive ? 0 : 1;
        if (PathActive) {
            PathTime = 0.0f;
            LoadRandomFlight();
        }
        break;
    case kDebugF3:
        DebugHold = 0;
        PathActive = PathActive ? 0 : 1;
        if (PathActive) {
            PathTime = 0.0f;
            FlightPath->GetTimeRange(range);
        }
        break;
    case kDebugF10:
        if (!WriteCameraPath(*FlightPath, String("Media/c.cam")))
            LogWarnings().Write(Site(kEventSignature)).Print("Cannot write Media/c.cam");
        else
            Flights.Read(String("c.cam"), MediaPath(String("c.cam")));  // played from now on as written
        break;
    case kDebugF11:
        LoadCameraPath(String("c.cam"));
        break;
    default:
        break;
    }
}

void ScreenSaver::Full::FrameUpdate() {
    Input.Poll(0);
    bool changed = false;
    if (Input.IsKeyDown(kDebugUpArrow)) {
        AnimLength += kAnimLengthStep;
        changed = true;
    }
    if (Input.IsKeyDown(kDebugDownArrow)) {
        AnimLength -= kAnimLengthStep;
        if (AnimLength < kShortestAnimLength) AnimLength = kShortestAnimLength;
        changed = true;
    }
    if (changed) Show(DebugAnimLengthText, WString::FromReal(AnimLength, 5));
}
