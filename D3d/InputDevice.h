// The keyboard and mouse as the engine sees them: a DirectInput 8 keyboard and mouse whose
// immediate state is polled at an interval and whose buffered data, when DirectInput
// signals it, becomes EVENT records handed by value to every registered receiver. The
// device also listens to the window's messages (focus, cursor shape, typed characters,
// Windows mouse moves) and re-reads the screen size after a device reset.
//
// The DirectInput library is loaded by name at Create, so a machine without it gives a
// false Create and a device that does nothing rather than a program that cannot start.
#pragma once

#define DIRECTINPUT_VERSION 0x0800
#include <windows.h>
#include <dinput.h>

#include "Core/Array.h"
#include "Core/Timer.h"
#include "Core/ValueTypes.h"
#include "D3d/DeviceObject.h"
#include "D3d/EventReceiver.h"

class InputDevice : public MessageListener, public virtual DeviceObject {
public:
    static constexpr DWORD kBufferRecords = 64;

    InputDevice();
    ~InputDevice() override;
    InputDevice(const InputDevice&) = delete;
    InputDevice& operator=(const InputDevice&) = delete;

    bool Create(bool exclusive, DWORD keyboardFlags, DWORD mouseFlags);
    void AddListener(EventReceiver* receiver) { listeners.Add(receiver); }
    // The receivers in the order they get each event.
    const Array<EventReceiver*>& Listeners() const { return listeners; }
    bool Poll(u32 interval);
    void DispatchEvents();

    bool IsKeyDown(u32 scanCode) const { return scanCode < 256 && (keys[scanCode] & 0x80) != 0; }
    bool IsLeftButtonDown() const { return IsButtonDown(0, VK_LBUTTON); }
    bool IsRightButtonDown() const { return IsButtonDown(1, VK_RBUTTON); }
    IntPair GetPosition() const { return pointer; }
    bool HasFocus() const { return hasFocus != 0; }

    void HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    bool Restore() override;
    bool Invalidate() override { return true; }

    u32 doubleClickInterval = 500;

private:
    void Release();
    bool FullScreen() const;
    bool IsButtonDown(int button, int virtualKey) const;
    bool ReadPointer();
    bool ReadState(IDirectInputDevice8A* device, DWORD size, void* out);
    bool ReadData(IDirectInputDevice8A* device, DIDEVICEOBJECTDATA* records, DWORD* count);
    void KeyboardBatch();
    void MouseBatch();
    void Button(int button, bool pressed, DWORD time, EVENT& e);
    void Send(const EVENT& event);

    u8 exclusive = 0;
    u8 hasFocus = 1;
    IDirectInput8A* input = nullptr;
    IDirectInputDevice8A* keyboard = nullptr;
    IDirectInputDevice8A* mouse = nullptr;
    HMODULE library = nullptr;
    Timer pollTimer;
    u8 keys[256] = {};
    DIMOUSESTATE mouseState{};
    float scale = 1.0f;
    IntPair pointer;
    IntPair lastRaw;
    i32 screenX = 0, screenY = 0, screenWidth = 0, screenHeight = 0;
    u8 clicks[2] = {};
    u32 firstClickTime[2] = {};
    HWND window = nullptr;
    HANDLE events[2] = {};  // keyboard, mouse
    Array<EventReceiver*> listeners{0, 4};
    DIDEVICEOBJECTDATA keyboardRecords[kBufferRecords] = {};
    DIDEVICEOBJECTDATA mouseRecords[kBufferRecords] = {};
};

bool IsMouseButtonEvent(u32 type);
// The character a scan code types (lower case, digits, some punctuation; 253 backspace,
// 252 escape), 255 for none.
u16 CharFromScanCode(u32 scanCode);
