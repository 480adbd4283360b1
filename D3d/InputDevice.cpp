// The input device's reads and its translation of DirectInput data into EVENT records.
// Every DirectInput read that reports lost input is retried once after Acquire; any other
// failure ends the read. The two notification events are the device's own and are closed
// with it.
#include "D3d/InputDevice.h"

#include "D3d/Application.h"

#include <algorithm>

namespace {

typedef HRESULT(WINAPI* DirectInput8CreateFunction)(HINSTANCE, DWORD, REFIID, LPVOID*, LPUNKNOWN);

struct CharacterTable {
    u16 entries[256];
    CharacterTable() {
        std::fill(std::begin(entries), std::end(entries), u16(255));
        const char* digits = "1234567890";
        for (int i = 0; i < 10; ++i) entries[2 + i] = static_cast<u16>(digits[i]);
        const char* rows[3] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
        const int starts[3] = {16, 30, 44};
        for (int r = 0; r < 3; ++r)
            for (int i = 0; rows[r][i]; ++i) entries[starts[r] + i] = static_cast<u16>(rows[r][i]);
        entries[51] = ',';
        entries[52] = '.';
        entries[53] = ';';
        entries[57] = ' ';
        entries[28] = '\n';
        entries[14] = 253;  // backspace
        entries[1] = 252;   // escape
    }
};

const CharacterTable& Characters() {
    static const CharacterTable table;
    return table;
}

// The mouse format with absolute axes, so that lX and lY are positions.
DIDATAFORMAT AbsoluteMouseFormat() {
    DIDATAFORMAT format = c_dfDIMouse;
    format.dwFlags = DIDF_ABSAXIS;
    return format;
}

bool SetBufferSize(IDirectInputDevice8A* device, DWORD size) {
    DIPROPDWORD p{};
    p.diph.dwSize = sizeof(DIPROPDWORD);
    p.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    p.diph.dwObj = 0;
    p.diph.dwHow = DIPH_DEVICE;
    p.dwData = size;
    return SUCCEEDED(device->SetProperty(DIPROP_BUFFERSIZE, &p.diph));
}

}  // namespace

bool IsMouseButtonEvent(u32 type) { return type <= kEventRightDoubleClick; }

u16 CharFromScanCode(u32 scanCode) { return scanCode < 256 ? Characters().entries[scanCode] : u16(255); }

InputDevice::InputDevice() { (void)Characters(); }

InputDevice::~InputDevice() {
    Release();
    listeners.Clear();
    Unregister();
}

void InputDevice::Release() {
    for (IDirectInputDevice8A** device : {&keyboard, &mouse}) {
        if (!*device) continue;
        (*device)->Unacquire();
        (*device)->SetEventNotification(nullptr);
        (*device)->Release();
        *device = nullptr;
    }
    // The notification events belong to the devices that are gone.
    for (HANDLE& event : events) {
        if (event) CloseHandle(event);
        event = nullptr;
    }
    if (input) input->Release();
    input = nullptr;
    if (library) FreeLibrary(library);
    library = nullptr;
}

bool InputDevice::FullScreen() const {
    const Application* app = TheApplication();
    return app && !app->IsWindowed();
}

bool InputDevice::IsButtonDown(int button, int virtualKey) const {
    if (FullScreen() && !exclusive) return (mouseState.rgbButtons[button] & 0x80) != 0;
    return GetAsyncKeyState(virtualKey) < 0;
}

bool InputDevice::Create(bool exclusiveMode, DWORD keyboardFlags, DWORD mouseFlags) {
    Release();
    const bool hasDevice = DeviceObject::Register();
    if (!MessageListener::Register() || !hasDevice) return false;
    Application* app = TheApplication();
    window = app->GetWindow();
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    const IntRect screen = app->GetScreenRect();
    screenX = screen.left;
    screenY = screen.top;
    screenWidth = screen.right;
    screenHeight = screen.bottom;
    exclusive = exclusiveMode ? 1 : 0;

    library = LoadLibraryA("dinput8.dll");
    if (!library) return false;
    auto create = reinterpret_cast<DirectInput8CreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "DirectInput8Create")));
    if (!create || FAILED(create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A,
                                 reinterpret_cast<LPVOID*>(&input), nullptr)))
        return false;

    if (FAILED(input->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr)) ||
        FAILED(keyboard->SetDataFormat(&c_dfDIKeyboard)))
        return false;
    keyboard->SetCooperativeLevel(window, keyboardFlags);
    if (!SetBufferSize(keyboard, kBufferRecords)) return false;
    events[0] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!events[0] || FAILED(keyboard->SetEventNotification(events[0]))) return false;

    const DIDATAFORMAT mouseFormat = AbsoluteMouseFormat();
    if (FAILED(input->CreateDevice(GUID_SysMouse, &mouse, nullptr)) || FAILED(mouse->SetDataFormat(&mouseFormat)))
        return false;
    mouse->SetCooperativeLevel(window, mouseFlags);
    if (!SetBufferSize(mouse, kBufferRecords)) return false;
    events[1] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!events[1] || FAILED(mouse->SetEventNotification(events[1]))) return false;

    return SUCCEEDED(keyboard->Acquire()) && SUCCEEDED(mouse->Acquire());
}

bool InputDevice::ReadState(IDirectInputDevice8A* device, DWORD size, void* out) {
    HRESULT hr = device->GetDeviceState(size, out);
    if (hr == DIERR_INPUTLOST) {
        device->Acquire();
        hr = device->GetDeviceState(size, out);
    }
    return SUCCEEDED(hr);
}

bool InputDevice::ReadData(IDirectInputDevice8A* device, DIDEVICEOBJECTDATA* records, DWORD* count) {
    *count = kBufferRecords;
    HRESULT hr = device->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), records, count, 0);
    if (hr == DIERR_INPUTLOST) {
        if (FAILED(device->Acquire())) return false;
        *count = kBufferRecords;
        hr = device->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), records, count, 0);
    }
    return SUCCEEDED(hr);
}

// Steps 1 to 3 of a poll: the pointer from the device or the cursor, the mouse state, and
// the clamp to the screen.
bool InputDevice::ReadPointer() {
    if (!mouse) return false;
    const bool tracked = FullScreen() && !exclusive;
    if (!tracked) {
        POINT cursor{};
        GetCursorPos(&cursor);
        ScreenToClient(window, &cursor);
        pointer = IntPair(cursor.x, cursor.y);
    }
    if (!ReadState(mouse, sizeof mouseState, &mouseState)) return false;
    if (tracked) {
        pointer.x += static_cast<i32>(static_cast<float>(mouseState.lX - lastRaw.x) / scale);
        pointer.y += static_cast<i32>(static_cast<float>(mouseState.lY - lastRaw.y) / scale);
    }
    pointer.x = std::clamp(pointer.x, 0, std::max(screenWidth - 1, 0));
    pointer.y = std::clamp(pointer.y, 0, std::max(screenHeight - 1, 0));
    lastRaw = IntPair(mouseState.lX, mouseState.lY);
    return true;
}

bool InputDevice::Poll(u32 interval) {
    if (pollTimer.Elapsed() < interval) return true;
    if (!ReadPointer()) return false;
    if (!keyboard || !ReadState(keyboard, sizeof keys, keys)) return false;
    pollTimer.Restart();
    return true;
}

void InputDevice::Send(const EVENT& event) {
    for (EventReceiver* receiver : listeners) receiver->RecieveEvent(event);
}

void InputDevice::DispatchEvents() {
    if (!events[0] || !events[1]) return;
    const DWORD which = WaitForMultipleObjects(2, events, FALSE, 0);
    if (which == WAIT_OBJECT_0) KeyboardBatch();
    else if (which == WAIT_OBJECT_0 + 1) MouseBatch();
}

void InputDevice::KeyboardBatch() {
    DWORD count = 0;
    if (!keyboard || !ReadData(keyboard, keyboardRecords, &count)) return;
    for (DWORD i = 0; i < count && i < kBufferRecords; ++i) {
        const DIDEVICEOBJECTDATA& r = keyboardRecords[i];
        if (r.dwOfs > 255) break;
        EVENT e;
        const bool pressed = (r.dwData & 0x80) != 0;
        e.type = pressed ? kEventKeyDown : kEventKeyUp;
        keys[r.dwOfs] = pressed ? 0x80 : 0;
        e.key = r.dwOfs;
        Send(e);
    }
}

// Button 0 makes types 0 to 2, button 1 types 3 to 5. A release counts a click; a second
// click within the interval follows its up event with a double click.
void InputDevice::Button(int button, bool pressed, DWORD time, EVENT& e) {
    const u32 base = button == 0 ? kEventLeftDown : kEventRightDown;
    e.type = pressed ? base : base + 1;
    Send(e);
    if (pressed) return;
    if (clicks[button] == 1 && time - firstClickTime[button] < doubleClickInterval) {
        e.type = base + 2;
        Send(e);
        clicks[button] = 0;
        return;
    }
    firstClickTime[button] = time;
    clicks[button] = 1;
}

void InputDevice::MouseBatch() {
    DWORD count = 0;
    if (!mouse || !ReadData(mouse, mouseRecords, &count)) return;
    const IntPair previous = pointer;
    if (!ReadPointer()) return;
    bool moved = false;
    for (DWORD i = 0; i < count && i < kBufferRecords; ++i) {
        const DIDEVICEOBJECTDATA& r = mouseRecords[i];
        EVENT e;
        e.x = pointer.x;
        e.y = pointer.y;
        const bool pressed = (r.dwData & 0x80) != 0;
        switch (r.dwOfs) {
        case DIMOFS_X:
        case DIMOFS_Y:
            if (moved) break;
            moved = true;
            e.type = exclusive ? kEventExclusivePointerMove : kEventPointerMove;
            if (exclusive) {
                e.x = mouseState.lX;
                e.y = mouseState.lY;
            }
            e.prevX = previous.x;
            e.prevY = previous.y;
            e.dx = e.x - e.prevX;
            e.dy = e.y - e.prevY;
            Send(e);
            break;
        case DIMOFS_BUTTON0:
        case DIMOFS_BUTTON1:
            Button(static_cast<int>(r.dwOfs - DIMOFS_BUTTON0), pressed, r.dwTimeStamp, e);
            break;
        default:
            break;  // the wheel and the other buttons make no event
        }
    }
}

void InputDevice::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETCURSOR:
        SetCursor(FullScreen() && !exclusive ? nullptr : LoadCursorA(nullptr, IDC_ARROW));
        break;
    case WM_SETFOCUS: {
        // After a failed Create there may be no devices: nothing to acquire, no event.
        if (!keyboard || !mouse) break;
        keyboard->Acquire();
        mouse->Acquire();
        hasFocus = 1;
        EVENT e;
        e.type = kEventFocusGained;
        e.x = pointer.x;
        e.y = pointer.y;
        Send(e);
        break;
    }
    case WM_KILLFOCUS:
        if (!keyboard || !mouse) break;
        hasFocus = 0;
        keyboard->Unacquire();
        mouse->Unacquire();
        break;
    case WM_CHAR: {
        EVENT e;
        e.type = kEventCharacter;
        e.key = static_cast<u32>(wParam);
        e.x = pointer.x;
        e.y = pointer.y;
        Send(e);
        break;
    }
    case WM_MOUSEMOVE: {
        // Client coordinates are signed: left of or above the client area they are negative.
        EVENT e;
        e.type = kEventPointerMove;
        e.x = static_cast<i16>(LOWORD(lParam));
        e.y = static_cast<i16>(HIWORD(lParam));
        e.prevX = pointer.x;
        e.prevY = pointer.y;
        e.dx = e.x - e.prevX;
        e.dy = e.y - e.prevY;
        pointer = IntPair(e.x, e.y);
        Send(e);
        break;
    }
    default:
        break;
    }
}

bool InputDevice::Restore() {
    Application* app = TheApplication();
    if (!app) return true;
    const IntRect screen = app->GetScreenRect();
    // Scaled as x * new / old in 64 bits: an integer quotient of the sizes would lose the
    // pointer on any change that is not a whole multiple.
    if (screenWidth != 0)
        pointer.x = static_cast<i32>(static_cast<i64>(pointer.x) * screen.right / screenWidth);
    if (screenHeight != 0)
        pointer.y = static_cast<i32>(static_cast<i64>(pointer.y) * screen.bottom / screenHeight);
    screenX = screen.left;
    screenY = screen.top;
    screenWidth = screen.right;
    screenHeight = screen.bottom;
    if (FullScreen() && !exclusive) {
        pointer.x = std::clamp(pointer.x, 0, std::max(screenWidth - 1, 0));
        pointer.y = std::clamp(pointer.y, 0, std::max(screenHeight - 1, 0));
    }
    return true;
}
