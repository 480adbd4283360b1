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

// Forgets key and button states, puts the cursor's movement counters back and takes
// nothing from devices that exist (they stay as they are).
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
