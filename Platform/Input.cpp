// The platform's input: keys, mouse movements, buttons and the wheel as a person gives
// them (tests inject them). Each reaches the DirectInput devices and becomes the window
// messages Windows would post: key messages to the focus window, mouse messages to the
// active window in its client coordinates, the wheel to the focus window. A device of
// that kind acquired exclusively holds the messages back. GetAsyncKeyState answers from
// the same record of what is held down.
//
// Input the program injects (keybd_event, mouse_event, SendInput) takes the same road and is
// kept for tests. A headless run ends itself through the exit key: when CORVANE_EXIT_AFTER_MS
// names a number of milliseconds at start, the first message retrieval after that long
// presses and releases Escape, so a program that quits on Escape (the full-screen saver)
// ends without a person.
#include <windows.h>
#include <dinput.h>
#include <PlatformTestInput.h>

#include "InputQueue.h"
#include "MessageQueue.h"
#include "WindowSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

struct InputState {
    bool keys[256] = {};
    bool buttons[4] = {};
    bool virtualKeys[256] = {};
};

InputState& State() {
    static InputState state;
    return state;
}

// The virtual key of a scan code on a US keyboard layout; 0 for none.
BYTE VirtualKey(BYTE scan) {
    static const char* const kLetters = "QWERTYUIOP\0\0\0\0ASDFGHJKL\0\0\0\0\0ZXCVBNM";
    if (scan >= DIK_1 && scan <= DIK_9) return static_cast<BYTE>('1' + (scan - DIK_1));
    if (scan == DIK_0) return '0';
    if (scan >= DIK_Q && scan <= DIK_M && kLetters[scan - DIK_Q]) return static_cast<BYTE>(kLetters[scan - DIK_Q]);
    if (scan >= DIK_F1 && scan <= DIK_F10) return static_cast<BYTE>(VK_F1 + (scan - DIK_F1));
    switch (scan) {
    case DIK_ESCAPE: return VK_ESCAPE;
    case DIK_BACK: return VK_BACK;
    case DIK_TAB: return VK_TAB;
    case DIK_RETURN: case DIK_NUMPADENTER: return VK_RETURN;
    case DIK_LCONTROL: case DIK_RCONTROL: return VK_CONTROL;
    case DIK_LSHIFT: case DIK_RSHIFT: return VK_SHIFT;
    case DIK_LMENU: case DIK_RMENU: return VK_MENU;
    case DIK_SPACE: return VK_SPACE;
    case DIK_CAPITAL: return VK_CAPITAL;
    case DIK_F11: return VK_F11;
    case DIK_F12: return VK_F12;
    case DIK_NUMLOCK: return VK_NUMLOCK;
    case DIK_SCROLL: return VK_SCROLL;
    case DIK_NUMPAD0: return VK_NUMPAD0;
    case DIK_NUMPAD1: return VK_NUMPAD1;
    case DIK_NUMPAD2: return VK_NUMPAD2;
    case DIK_NUMPAD3: return VK_NUMPAD3;
    case DIK_NUMPAD4: return VK_NUMPAD4;
    case DIK_NUMPAD5: return VK_NUMPAD5;
    case DIK_NUMPAD6: return VK_NUMPAD6;
    case DIK_NUMPAD7: return VK_NUMPAD7;
    case DIK_NUMPAD8: return VK_NUMPAD8;
    case DIK_NUMPAD9: return VK_NUMPAD9;
    case DIK_MULTIPLY: return VK_MULTIPLY;
    case DIK_ADD: return VK_ADD;
    case DIK_SUBTRACT: return VK_SUBTRACT;
    case DIK_DECIMAL: return VK_DECIMAL;
    case DIK_DIVIDE: return VK_DIVIDE;
    case DIK_HOME: return VK_HOME;
    case DIK_UP: return VK_UP;
    case DIK_PRIOR: return VK_PRIOR;
    case DIK_LEFT: return VK_LEFT;
    case DIK_RIGHT: return VK_RIGHT;
    case DIK_END: return VK_END;
    case DIK_DOWN: return VK_DOWN;
    case DIK_NEXT: return VK_NEXT;
    case DIK_INSERT: return VK_INSERT;
    case DIK_DELETE: return VK_DELETE;
    case DIK_LWIN: return VK_LWIN;
    case DIK_RWIN: return VK_RWIN;
    case DIK_APPS: return VK_APPS;
    default: return 0;
    }
}

constexpr BYTE kButtonKeys[4] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON, 0};
// The virtual key of a character typed without a key (KEYEVENTF_UNICODE).
constexpr BYTE kVkPacket = 0xE7;

// The MK_ flags of the buttons and modifier keys held now.
WPARAM MouseKeyFlags() {
    const InputState& s = State();
    WPARAM flags = 0;
    if (s.buttons[0]) flags |= MK_LBUTTON;
    if (s.buttons[1]) flags |= MK_RBUTTON;
    if (s.buttons[2]) flags |= MK_MBUTTON;
    if (s.virtualKeys[VK_SHIFT]) flags |= MK_SHIFT;
    if (s.virtualKeys[VK_CONTROL]) flags |= MK_CONTROL;
    return flags;
}

LPARAM PackPoint(LONG x, LONG y) {
    return static_cast<LPARAM>(static_cast<DWORD>(static_cast<WORD>(x)) | (static_cast<DWORD>(static_cast<WORD>(y)) << 16));
}

// Posts a mouse message to the active window with the cursor in its client coordinates.
void PostMouse(UINT message) {
    if (platform::DirectInputExclusive(platform::InputKind::Mouse)) return;
    platform::WindowSystem& system = platform::WindowSystem::Get();
    const HWND target = system.Active();
    const platform::Window* w = system.Peek(target);
    if (!w) return;
    const POINT origin = system.ClientOrigin(*w);
    const POINT cursor = system.cursor.position;
    platform::MessageQueue::Get().PostInput(target, message, MouseKeyFlags(), PackPoint(cursor.x - origin.x, cursor.y - origin.y));
}

// One key going down or up, as a person's keyboard or injected input gives it: `vk` for the
// async key state and the window messages, `scan` (with the extended-key flag as its high
// bit, as DirectInput numbers keys) for the DirectInput devices. A key without a scan code
// reaches no device, as DirectInput reads keys by scan code; one without a virtual key
// posts no message.
void Deliver(BYTE vk, BYTE scan, bool down) {
    InputState& s = State();
    const bool wasDown = scan ? s.keys[scan] : s.virtualKeys[vk];
    if (scan) {
        s.keys[scan] = down;
        platform::DirectInputKey(scan, down);
    }
    if (vk) s.virtualKeys[vk] = down;
    if (!vk || platform::DirectInputExclusive(platform::InputKind::Keyboard)) return;
    const HWND focus = platform::WindowSystem::Get().Focus();
    if (!focus) return;
    // Repeat count 1, the scan code, the extended-key bit, the previous state and the
    // transition state.
    DWORD bits = 1 | (static_cast<DWORD>(scan & 0x7F) << 16);
    if (scan & 0x80) bits |= 1u << 24;
    if (wasDown) bits |= 1u << 30;
    if (!down) bits |= (1u << 30) | (1u << 31);
    platform::MessageQueue::Get().PostInput(focus, down ? WM_KEYDOWN : WM_KEYUP, vk, static_cast<LPARAM>(static_cast<LONG>(bits)));
}

void Key(BYTE scan, bool down) { Deliver(VirtualKey(scan), scan, down); }

// Injected input, in the order it was given, for tests.
std::vector<PlatformTestInjectedInput>& Injected() {
    static std::vector<PlatformTestInjectedInput> injected;
    return injected;
}

// A keyboard record of keybd_event or SendInput. Without KEYEVENTF_SCANCODE the virtual
// key drives the messages and the key state and the scan code only what the devices and
// lParam see (0 when the caller gave none); with it the key is the scan code's. A
// KEYEVENTF_UNICODE record types a character through VK_PACKET and reaches no device.
void InjectKey(const KEYBDINPUT& ki) {
    const bool down = !(ki.dwFlags & KEYEVENTF_KEYUP);
    if (ki.dwFlags & KEYEVENTF_UNICODE) {
        Deliver(kVkPacket, 0, down);
        return;
    }
    BYTE scan = static_cast<BYTE>(ki.wScan & 0x7F);
    if (scan && (ki.dwFlags & KEYEVENTF_EXTENDEDKEY)) scan |= 0x80;
    const BYTE vk = (ki.dwFlags & KEYEVENTF_SCANCODE) ? VirtualKey(scan) : static_cast<BYTE>(ki.wVk);
    Deliver(vk, scan, down);
}

// A mouse record of mouse_event or SendInput: a movement (relative in mickeys, or
// absolute in 0..65535 across the screen), then the buttons and the wheel.
void InjectMouse(const MOUSEINPUT& mi) {
    if (mi.dwFlags & MOUSEEVENTF_MOVE) {
        LONG dx = mi.dx, dy = mi.dy;
        if (mi.dwFlags & MOUSEEVENTF_ABSOLUTE) {
            const platform::WindowSystem& system = platform::WindowSystem::Get();
            const LONG x = static_cast<LONG>((static_cast<int64_t>(std::clamp<LONG>(mi.dx, 0, 65535)) * system.DesktopWidth()) >> 16);
            const LONG y = static_cast<LONG>((static_cast<int64_t>(std::clamp<LONG>(mi.dy, 0, 65535)) * system.DesktopHeight()) >> 16);
            dx = x - system.cursor.position.x;
            dy = y - system.cursor.position.y;
        }
        PlatformTest_MouseMove(dx, dy);
    }
    static constexpr DWORD kButtons[3][2] = {{MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP},
                                             {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP},
                                             {MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP}};
    for (int b = 0; b < 3; ++b) {
        if (mi.dwFlags & kButtons[b][0]) PlatformTest_MouseButton(b, true);
        if (mi.dwFlags & kButtons[b][1]) PlatformTest_MouseButton(b, false);
    }
    if (mi.dwFlags & MOUSEEVENTF_WHEEL) PlatformTest_MouseWheel(static_cast<LONG>(mi.mouseData));
}

struct ExitKey {
    bool armed = false;
    DWORD due = 0;
};
ExitKey& Exit() {
    static ExitKey exitKey;
    return exitKey;
}

void Inject(PlatformTestInputCall call, const INPUT& input) {
    Injected().push_back(PlatformTestInjectedInput{call, input});
    if (input.type == INPUT_KEYBOARD) InjectKey(input.ki);
    else if (input.type == INPUT_MOUSE) InjectMouse(input.mi);
    // Hardware input comes from devices other than keyboards and mice; nothing here reads it.
}

}  // namespace

namespace platform {
bool InputKeyDown(BYTE scanCode) { return State().keys[scanCode]; }
bool InputButtonDown(int button) { return button >= 0 && button < 4 && State().buttons[button]; }

bool ExitKeyPending(DWORD* wait) {
    ExitKey& e = Exit();
    if (!e.armed) return false;
    const DWORD now = timeGetTime();
    if (static_cast<int32_t>(now - e.due) >= 0) {
        e.armed = false;
        keybd_event(VK_ESCAPE, DIK_ESCAPE, 0, 0);
        keybd_event(VK_ESCAPE, DIK_ESCAPE, KEYEVENTF_KEYUP, 0);
        return false;
    }
    if (wait) *wait = e.due - now;
    return true;
}
}  // namespace platform

SHORT WINAPI GetAsyncKeyState(int vKey) {
    if (vKey < 0 || vKey > 255) return 0;
    return State().virtualKeys[vKey] ? static_cast<SHORT>(0x8000) : 0;
}

void PlatformTest_ResetInput() {
    State() = InputState{};
    Injected().clear();
    Exit() = ExitKey{};
}

void PlatformTest_KeyDown(BYTE scanCode) { Key(scanCode, true); }
void PlatformTest_KeyUp(BYTE scanCode) { Key(scanCode, false); }

void PlatformTest_MouseMove(LONG dx, LONG dy) {
    platform::WindowSystem& system = platform::WindowSystem::Get();
    POINT& cursor = system.cursor.position;
    cursor.x = std::clamp<LONG>(cursor.x + dx, 0, system.DesktopWidth() - 1);
    cursor.y = std::clamp<LONG>(cursor.y + dy, 0, system.DesktopHeight() - 1);
    platform::DirectInputMouseAxes(dx, dy, 0);
    PostMouse(WM_MOUSEMOVE);
}

void PlatformTest_MouseButton(int button, bool down) {
    if (button < 0 || button > 2) return;
    InputState& s = State();
    s.buttons[button] = down;
    s.virtualKeys[kButtonKeys[button]] = down;
    platform::DirectInputMouseButton(button, down);
    static constexpr UINT kMessages[3][2] = {
        {WM_LBUTTONUP, WM_LBUTTONDOWN}, {WM_RBUTTONUP, WM_RBUTTONDOWN}, {WM_MBUTTONUP, WM_MBUTTONDOWN}};
    PostMouse(kMessages[button][down ? 1 : 0]);
}

void PlatformTest_MouseWheel(LONG delta) {
    platform::DirectInputMouseAxes(0, 0, delta);
    if (platform::DirectInputExclusive(platform::InputKind::Mouse)) return;
    platform::WindowSystem& system = platform::WindowSystem::Get();
    const HWND focus = system.Focus();
    if (!focus) return;
    // The wheel message carries the turn in the high word and the cursor in screen
    // coordinates.
    const WPARAM wParam = MouseKeyFlags() | (static_cast<WPARAM>(static_cast<WORD>(delta)) << 16);
    platform::MessageQueue::Get().PostInput(focus, WM_MOUSEWHEEL, wParam, PackPoint(system.cursor.position.x, system.cursor.position.y));
}

void PlatformTest_LoseInput() { platform::DirectInputLoseAll(); }

VOID WINAPI keybd_event(BYTE bVk, BYTE bScan, DWORD dwFlags, ULONG_PTR dwExtraInfo) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki = KEYBDINPUT{bVk, bScan, dwFlags, 0, dwExtraInfo};
    Inject(PlatformTestInputCall::KeybdEvent, input);
}

VOID WINAPI mouse_event(DWORD dwFlags, DWORD dx, DWORD dy, DWORD dwData, ULONG_PTR dwExtraInfo) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi = MOUSEINPUT{static_cast<LONG>(dx), static_cast<LONG>(dy), dwData, dwFlags, 0, dwExtraInfo};
    Inject(PlatformTestInputCall::MouseEvent, input);
}

// Inserts the records in order; one of a kind no device knows stops the call, which then
// reports how many went in before it.
UINT WINAPI SendInput(UINT cInputs, LPINPUT pInputs, int cbSize) {
    if (cbSize != static_cast<int>(sizeof(INPUT)) || (cInputs && !pInputs)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (UINT i = 0; i < cInputs; ++i) {
        if (pInputs[i].type > INPUT_HARDWARE) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return i;
        }
        Inject(PlatformTestInputCall::SendInput, pInputs[i]);
    }
    return cInputs;
}

std::vector<PlatformTestInjectedInput> PlatformTest_InjectedInput() { return Injected(); }
void PlatformTest_ClearInjectedInput() { Injected().clear(); }

bool PlatformTest_ArmExitKeyFromEnvironment() {
    ExitKey& e = Exit();
    e = ExitKey{};
    const char* value = getenv("CORVANE_EXIT_AFTER_MS");
    if (!value || *value < '0' || *value > '9') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long ms = strtoull(value, &end, 10);
    // More than half the clock's range would read as a time already past.
    if (errno || *end || ms > 0x7FFFFFFFull) return false;
    e.armed = true;
    e.due = timeGetTime() + static_cast<DWORD>(ms);
    return true;
}
