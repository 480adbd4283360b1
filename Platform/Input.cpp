// The platform's input: keys, mouse movements, buttons and the wheel as a person gives
// them (tests inject them). Each reaches the DirectInput devices and becomes the window
// messages Windows would post: key messages to the focus window, mouse messages to the
// active window in its client coordinates, the wheel to the focus window. A device of
// that kind acquired exclusively holds the messages back. GetAsyncKeyState answers from
// the same record of what is held down.
#include <windows.h>
#include <dinput.h>
#include <PlatformTestInput.h>

#include "InputQueue.h"
#include "MessageQueue.h"
#include "WindowSystem.h"

#include <algorithm>

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

void Key(BYTE scan, bool down) {
    InputState& s = State();
    const bool wasDown = s.keys[scan];
    s.keys[scan] = down;
    const BYTE vk = VirtualKey(scan);
    if (vk) s.virtualKeys[vk] = down;
    platform::DirectInputKey(scan, down);
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

}  // namespace

namespace platform {
bool InputKeyDown(BYTE scanCode) { return State().keys[scanCode]; }
bool InputButtonDown(int button) { return button >= 0 && button < 4 && State().buttons[button]; }
}  // namespace platform

SHORT WINAPI GetAsyncKeyState(int vKey) {
    if (vKey < 0 || vKey > 255) return 0;
    return State().virtualKeys[vKey] ? static_cast<SHORT>(0x8000) : 0;
}

void PlatformTest_ResetInput() { State() = InputState{}; }

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

VOID WINAPI keybd_event(BYTE, BYTE, DWORD, ULONG_PTR) {}

VOID WINAPI mouse_event(DWORD, DWORD, DWORD, DWORD, ULONG_PTR) {}

UINT WINAPI SendInput(UINT cInputs, LPINPUT pInputs, int cbSize) {
    if (cbSize != static_cast<int>(sizeof(INPUT)) || (cInputs && !pInputs)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return cInputs;
}
