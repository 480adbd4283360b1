// The input part of the platform's test interface. The engine never includes it.
//
// Tests press and release keys, move the mouse and press its buttons as a person would.
// Each input becomes, as on Windows, buffered data and state of the DirectInput devices
// that are acquired, and the window messages Windows sends: key messages to the focus
// window (with the scan code in lParam bits 16-23; TranslateMessage makes WM_CHAR of them)
// and mouse messages to the active top-level window in its client coordinates. A device
// acquired exclusively suppresses the messages of its kind, as raw input registered with
// "no legacy" does.
#pragma once

#include <windows.h>

#include <vector>

// Forgets key and button states and the injected input, puts the cursor's movement
// counters back, disarms the exit key and takes nothing from devices that exist (they
// stay as they are).
void PlatformTest_ResetInput();

// A key by its DirectInput scan code (DIK_*).
void PlatformTest_KeyDown(BYTE scanCode);
void PlatformTest_KeyUp(BYTE scanCode);
// A relative mouse movement in mickeys; the cursor moves by the same amount on the screen.
void PlatformTest_MouseMove(LONG dx, LONG dy);
// Button 0 left, 1 right, 2 middle.
void PlatformTest_MouseButton(int button, bool down);
// A wheel turn; one notch is 120.
void PlatformTest_MouseWheel(LONG delta);

// Takes input away from every acquired DirectInput device, as when another program takes
// the devices: the next read reports DIERR_INPUTLOST, then DIERR_NOTACQUIRED until the
// device is acquired again.
void PlatformTest_LoseInput();

// The number of event objects that are open, to find events that are never closed.
int PlatformTest_OpenEvents();

// Input the program injected through keybd_event, mouse_event and SendInput, in order, each
// as the INPUT record it became, with the call that gave it. It is delivered as a person's:
// a keyboard record without KEYEVENTF_SCANCODE posts its virtual key to the focus window and
// sets its key state, and reaches the DirectInput devices only when it carries a scan code
// (they read keys by scan code).
enum class PlatformTestInputCall { KeybdEvent, MouseEvent, SendInput };
struct PlatformTestInjectedInput {
    PlatformTestInputCall call;
    INPUT input;
};
std::vector<PlatformTestInjectedInput> PlatformTest_InjectedInput();
void PlatformTest_ClearInjectedInput();

// The exit key of a headless run: reads CORVANE_EXIT_AFTER_MS as the platform's start does.
// When it names a number of milliseconds, the first message retrieval (PeekMessage,
// GetMessage) at or after that time from now presses and releases Escape, as
// keybd_event(VK_ESCAPE, scan 1) would, once. Returns whether it was armed.
bool PlatformTest_ArmExitKeyFromEnvironment();
