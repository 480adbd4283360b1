// Between the platform's input (what a person does, injected by tests) and the DirectInput
// devices that observe it: the input side hands each key, movement and button to the
// devices, and asks whether an exclusively acquired device keeps the window messages of
// its kind from flowing.
#pragma once

#include <windows.h>

namespace platform {

enum class InputKind { Keyboard, Mouse };

// Feeds every acquired device of the kind. Mouse axes: 0 x, 1 y, 2 the wheel.
void DirectInputKey(BYTE scanCode, bool down);
void DirectInputMouseAxes(LONG dx, LONG dy, LONG dz);
void DirectInputMouseButton(int button, bool down);
// True while a device of that kind is acquired with DISCL_EXCLUSIVE.
bool DirectInputExclusive(InputKind kind);
// Takes every acquired device away (the next read reports DIERR_INPUTLOST).
void DirectInputLoseAll();

// What is held down now: the state a device takes over when it is acquired.
bool InputKeyDown(BYTE scanCode);
bool InputButtonDown(int button);

// The exit key of a headless run (PlatformTest_ArmExitKeyFromEnvironment): once its time has
// come, presses and releases Escape and disarms. True while it is still armed, with the
// milliseconds left in *wait (when given).
bool ExitKeyPending(DWORD* wait);

}  // namespace platform
