// The platform's input as the test interface injects it: buffered DirectInput records with
// the clock's time stamps, overflow that keeps the oldest, peeking, event signals, input
// taken away and given back, the window messages Windows posts beside (or, for an
// exclusive device, instead of) the device data, and GetAsyncKeyState.
#include <windows.h>
#include <dinput.h>
#include <PlatformTest.h>
#include <PlatformTestInput.h>
#include <PlatformTestWindows.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<MSG> g_received;

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    g_received.push_back(m);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class PlatformInput : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformTest_ResetWindows();
        PlatformTest_ResetInput();
        PlatformTest_SetClock(1000);
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "CorvaneInputTest";
        ASSERT_NE(RegisterClassA(&wc), 0);
        window = CreateWindowExA(0, "CorvaneInputTest", "input", WS_POPUP | WS_VISIBLE, 100, 50, 320, 240, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(DirectInput8Create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A,
                                     reinterpret_cast<void**>(&input), nullptr),
                  DI_OK);
        Pump();
        g_received.clear();
    }
    void TearDown() override {
        if (keyboard) keyboard->Release();
        if (mouse) mouse->Release();
        input->Release();
        PlatformTest_ResetWindows();
        PlatformTest_ResetInput();
        PlatformTest_UseSystemClock();
        PlatformTest_UseSystemLocalTime();
    }
    void Pump() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    IDirectInputDevice8A* Make(REFGUID which, const DIDATAFORMAT& format, DWORD level, DWORD buffer) {
        IDirectInputDevice8A* d = nullptr;
        EXPECT_EQ(input->CreateDevice(which, &d, nullptr), DI_OK);
        EXPECT_EQ(d->SetDataFormat(&format), DI_OK);
        EXPECT_EQ(d->SetCooperativeLevel(window, level), DI_OK);
        DIPROPDWORD p{};
        p.diph.dwSize = sizeof p;
        p.diph.dwHeaderSize = sizeof p.diph;
        p.diph.dwHow = DIPH_DEVICE;
        p.dwData = buffer;
        EXPECT_EQ(d->SetProperty(DIPROP_BUFFERSIZE, &p.diph), DI_OK);
        return d;
    }
    std::vector<UINT> Messages(std::initializer_list<UINT> of) const {
        std::vector<UINT> out;
        for (const MSG& m : g_received)
            for (UINT u : of)
                if (m.message == u) out.push_back(u);
        return out;
    }
    // What the device has buffered, taken out.
    static std::vector<DIDEVICEOBJECTDATA> Drain(IDirectInputDevice8A* device) {
        DIDEVICEOBJECTDATA data[16];
        DWORD count = 16;
        EXPECT_EQ(device->GetDeviceData(sizeof data[0], data, &count, 0), DI_OK);
        return std::vector<DIDEVICEOBJECTDATA>(data, data + count);
    }
    const MSG* Find(UINT message) const {
        for (const MSG& m : g_received)
            if (m.message == message) return &m;
        return nullptr;
    }
    HWND window = nullptr;
    IDirectInput8A* input = nullptr;
    IDirectInputDevice8A* keyboard = nullptr;
    IDirectInputDevice8A* mouse = nullptr;
};

}  // namespace

TEST_F(PlatformInput, KeysBecomeBufferedRecordsStampedByTheClock) {
    keyboard = Make(GUID_SysKeyboard, c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, 8);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ(keyboard->SetEventNotification(event), DI_OK);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    PlatformTest_KeyDown(DIK_A);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    PlatformTest_AdvanceClock(30);
    PlatformTest_KeyUp(DIK_A);

    BYTE keys[256];
    ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keys[DIK_A], 0);
    DIDEVICEOBJECTDATA data[8];
    DWORD count = 8;
    ASSERT_EQ(keyboard->GetDeviceData(sizeof data[0], data, &count, 0), DI_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(data[0].dwOfs, static_cast<DWORD>(DIK_A));
    EXPECT_EQ(data[0].dwData, 0x80u);
    EXPECT_EQ(data[0].dwTimeStamp, 1000u);
    EXPECT_EQ(data[1].dwData, 0u);
    EXPECT_EQ(data[1].dwTimeStamp, 1030u);
    EXPECT_GT(data[1].dwSequence, data[0].dwSequence);
    count = 8;
    ASSERT_EQ(keyboard->GetDeviceData(sizeof data[0], data, &count, 0), DI_OK);
    EXPECT_EQ(count, 0u);
    keyboard->Unacquire();
    EXPECT_TRUE(CloseHandle(event));
}

TEST_F(PlatformInput, AFullBufferKeepsTheOldestAndReportsTheOverflowOnce) {
    keyboard = Make(GUID_SysKeyboard, c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND, 2);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    PlatformTest_KeyDown(DIK_1);
    PlatformTest_KeyDown(DIK_2);
    PlatformTest_KeyDown(DIK_3);
    DIDEVICEOBJECTDATA data[4];
    DWORD count = 4;
    // Peeking leaves the records and the overflow in place.
    ASSERT_EQ(keyboard->GetDeviceData(sizeof data[0], data, &count, DIGDD_PEEK), DI_BUFFEROVERFLOW);
    EXPECT_EQ(count, 2u);
    count = 4;
    ASSERT_EQ(keyboard->GetDeviceData(sizeof data[0], data, &count, 0), DI_BUFFEROVERFLOW);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(data[0].dwOfs, static_cast<DWORD>(DIK_1));
    EXPECT_EQ(data[1].dwOfs, static_cast<DWORD>(DIK_2));
    count = 4;
    EXPECT_EQ(keyboard->GetDeviceData(sizeof data[0], data, &count, 0), DI_OK);
    EXPECT_EQ(count, 0u);
    // A wrong record size is refused.
    count = 4;
    EXPECT_EQ(keyboard->GetDeviceData(sizeof data[0] - 4, data, &count, 0), DIERR_INVALIDPARAM);
}

TEST_F(PlatformInput, LostInputIsReportedOnceAndComesBackWithAcquire) {
    keyboard = Make(GUID_SysKeyboard, c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND, 8);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    PlatformTest_LoseInput();
    BYTE keys[256];
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_INPUTLOST);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
    PlatformTest_KeyDown(DIK_SPACE);  // held while the device was away
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keys[DIK_SPACE], 0x80);
}

TEST_F(PlatformInput, AForegroundDeviceIsTakenAwayWhenItsWindowIsDeactivated) {
    keyboard = Make(GUID_SysKeyboard, c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, 8);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    HWND other = CreateWindowExA(0, "CorvaneInputTest", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    BYTE keys[256];
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_INPUTLOST);
    EXPECT_EQ(keyboard->Acquire(), DIERR_OTHERAPPHASPRIO);
}

TEST_F(PlatformInput, KeysPostKeyMessagesWithTheScanCodeAndTypedCharacters) {
    keyboard = Make(GUID_SysKeyboard, c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, 8);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    // Both before the pump: the typed character still comes between them.
    PlatformTest_KeyDown(DIK_Q);
    PlatformTest_KeyUp(DIK_Q);
    Pump();
    EXPECT_EQ(Messages({WM_KEYDOWN, WM_CHAR, WM_KEYUP}), (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
    const MSG* down = Find(WM_KEYDOWN);
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(down->wParam, static_cast<WPARAM>('Q'));
    EXPECT_EQ((down->lParam >> 16) & 0xFF, DIK_Q);
    const MSG* up = Find(WM_KEYUP);
    ASSERT_NE(up, nullptr);
    EXPECT_EQ((up->lParam >> 16) & 0xFF, DIK_Q);
    EXPECT_NE(static_cast<DWORD>(up->lParam) & 0x80000000u, 0u);
    const MSG* typed = Find(WM_CHAR);
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(typed->wParam, static_cast<WPARAM>('q'));
}

TEST_F(PlatformInput, AnExclusiveDeviceHoldsBackTheMessagesOfItsKind) {
    keyboard = Make(GUID_SysKeyboard, c_dfDIKeyboard, DISCL_EXCLUSIVE | DISCL_FOREGROUND, 8);
    mouse = Make(GUID_SysMouse, c_dfDIMouse, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, 8);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    PlatformTest_KeyDown(DIK_W);
    PlatformTest_MouseMove(5, 0);
    Pump();
    EXPECT_TRUE(Messages({WM_KEYDOWN, WM_CHAR}).empty());
    EXPECT_EQ(Messages({WM_MOUSEMOVE}).size(), 1u);
    DWORD count = INFINITE;
    EXPECT_EQ(keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), nullptr, &count, DIGDD_PEEK), DI_OK);
    EXPECT_EQ(count, 1u);
    keyboard->Unacquire();
    PlatformTest_KeyUp(DIK_W);
    Pump();
    EXPECT_EQ(Messages({WM_KEYUP}).size(), 1u);
}

TEST_F(PlatformInput, MouseInputBecomesRecordsMessagesAndCursorMoves) {
    DIDATAFORMAT absolute = c_dfDIMouse;
    absolute.dwFlags = DIDF_ABSAXIS;
    mouse = Make(GUID_SysMouse, absolute, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, 16);
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    POINT before{};
    GetCursorPos(&before);
    PlatformTest_MouseMove(10, -4);
    PlatformTest_MouseMove(5, 0);
    PlatformTest_MouseButton(0, true);
    EXPECT_LT(GetAsyncKeyState(VK_LBUTTON), 0);
    PlatformTest_MouseButton(0, false);
    EXPECT_EQ(GetAsyncKeyState(VK_LBUTTON), 0);
    PlatformTest_MouseWheel(120);

    DIDEVICEOBJECTDATA data[16];
    DWORD count = 16;
    ASSERT_EQ(mouse->GetDeviceData(sizeof data[0], data, &count, 0), DI_OK);
    ASSERT_EQ(count, 6u);
    EXPECT_EQ(data[0].dwOfs, static_cast<DWORD>(DIMOFS_X));
    EXPECT_EQ(data[0].dwData, 10u);
    EXPECT_EQ(data[1].dwOfs, static_cast<DWORD>(DIMOFS_Y));
    EXPECT_EQ(static_cast<LONG>(data[1].dwData), -4);
    EXPECT_EQ(data[2].dwData, 15u);  // absolute axes report the position
    EXPECT_EQ(data[3].dwOfs, static_cast<DWORD>(DIMOFS_BUTTON0));
    EXPECT_EQ(data[3].dwData, 0x80u);
    EXPECT_EQ(data[4].dwData, 0u);
    EXPECT_EQ(data[5].dwOfs, static_cast<DWORD>(DIMOFS_Z));
    DIMOUSESTATE state{};
    ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 15);
    EXPECT_EQ(state.lY, -4);
    EXPECT_EQ(state.lZ, 120);

    POINT after{};
    GetCursorPos(&after);
    EXPECT_EQ(after.x, before.x + 15);
    EXPECT_EQ(after.y, before.y - 4);
    Pump();
    EXPECT_EQ(Messages({WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEWHEEL}),
              (std::vector<UINT>{WM_MOUSEMOVE, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEWHEEL}));
    const MSG* click = Find(WM_LBUTTONDOWN);
    ASSERT_NE(click, nullptr);
    POINT client = after;
    ScreenToClient(window, &client);
    EXPECT_EQ(click->lParam, MAKELPARAM(client.x, client.y));
    EXPECT_EQ(click->wParam & MK_LBUTTON, static_cast<WPARAM>(MK_LBUTTON));
}

TEST_F(PlatformInput, RelativeAxesReportMovementSinceTheLastRead) {
    mouse = Make(GUID_SysMouse, c_dfDIMouse, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND, 0);
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    PlatformTest_MouseMove(3, 4);
    PlatformTest_MouseMove(3, 0);
    DIMOUSESTATE state{};
    ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 6);
    EXPECT_EQ(state.lY, 4);
    ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 0);
    DWORD count = 1;
    DIDEVICEOBJECTDATA data[1];
    EXPECT_EQ(mouse->GetDeviceData(sizeof data[0], data, &count, 0), DIERR_NOTBUFFERED);
}

TEST_F(PlatformInput, FocusChangesSendFocusMessages) {
    HWND other = CreateWindowExA(0, "CorvaneInputTest", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    g_received.clear();
    SetFocus(window);
    const MSG* kill = Find(WM_KILLFOCUS);
    const MSG* set = Find(WM_SETFOCUS);
    ASSERT_NE(kill, nullptr);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(kill->hwnd, other);
    EXPECT_EQ(set->hwnd, window);
}

TEST_F(PlatformInput, EventsAreCountedUntilClosed) {
    const int before = PlatformTest_OpenEvents();
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(PlatformTest_OpenEvents(), before + 1);
    CloseHandle(event);
    EXPECT_EQ(PlatformTest_OpenEvents(), before);
}

// ---- injected input ------------------------------------------------------------------------

namespace {

INPUT KeyInput(WORD vk, WORD scan, DWORD flags) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = scan;
    in.ki.dwFlags = flags;
    return in;
}

std::vector<MSG> KeyMessages() {
    std::vector<MSG> out;
    for (const MSG& m : g_received)
        if (m.message == WM_KEYDOWN || m.message == WM_KEYUP) out.push_back(m);
    return out;
}

}  // namespace

TEST_F(PlatformInput, TheKeepAliveKeyReachesTheFocusWindowAndTheKeyStateButNoDevice) {
    keyboard = Make(GUID_SysKeyboard, c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, 8);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    keybd_event(VK_F3, 0, 0, 0);
    INPUT in = KeyInput(VK_F3, 0, 0);
    EXPECT_EQ(SendInput(1, &in, sizeof(INPUT)), 1u);
    Pump();

    const std::vector<MSG> keys = KeyMessages();
    ASSERT_EQ(keys.size(), 2u);
    for (const MSG& m : keys) {
        EXPECT_EQ(m.hwnd, window);
        EXPECT_EQ(m.message, static_cast<UINT>(WM_KEYDOWN));
        EXPECT_EQ(m.wParam, static_cast<WPARAM>(VK_F3));
        EXPECT_EQ((static_cast<DWORD>(m.lParam) >> 16) & 0xFF, 0u);  // no scan code was given
    }
    EXPECT_EQ(static_cast<DWORD>(keys[0].lParam) & (1u << 30), 0u);
    EXPECT_NE(static_cast<DWORD>(keys[1].lParam) & (1u << 30), 0u);  // already down: an auto-repeat
    EXPECT_NE(GetAsyncKeyState(VK_F3) & 0x8000, 0);
    // DirectInput reads keys by scan code, and these carry none.
    EXPECT_TRUE(Drain(keyboard).empty());

    const std::vector<PlatformTestInjectedInput> injected = PlatformTest_InjectedInput();
    ASSERT_EQ(injected.size(), 2u);
    EXPECT_EQ(injected[0].call, PlatformTestInputCall::KeybdEvent);
    EXPECT_EQ(injected[1].call, PlatformTestInputCall::SendInput);
    for (const PlatformTestInjectedInput& i : injected) {
        EXPECT_EQ(i.input.type, static_cast<DWORD>(INPUT_KEYBOARD));
        EXPECT_EQ(i.input.ki.wVk, VK_F3);
        EXPECT_EQ(i.input.ki.dwFlags, 0u);
    }
}

TEST_F(PlatformInput, AKeyWithItsScanCodeAlsoBecomesDeviceData) {
    keyboard = Make(GUID_SysKeyboard, c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, 8);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    keybd_event(VK_ESCAPE, DIK_ESCAPE, 0, 0);
    keybd_event(VK_ESCAPE, DIK_ESCAPE, KEYEVENTF_KEYUP, 0);
    Pump();
    const std::vector<MSG> keys = KeyMessages();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(keys[1].message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ((static_cast<DWORD>(keys[0].lParam) >> 16) & 0xFF, static_cast<DWORD>(DIK_ESCAPE));
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);
    const std::vector<DIDEVICEOBJECTDATA> data = Drain(keyboard);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(data[0].dwOfs, static_cast<DWORD>(DIK_ESCAPE));
    EXPECT_EQ(data[0].dwData, 0x80u);
    EXPECT_EQ(data[1].dwData, 0u);
}

TEST_F(PlatformInput, AScanCodeRecordFindsItsOwnVirtualKeyAndTheExtendedBit) {
    keyboard = Make(GUID_SysKeyboard, c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, 8);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    // The virtual key is ignored with KEYEVENTF_SCANCODE; the up arrow is the extended 0x48.
    INPUT in[2] = {KeyInput('Q', 0x48, KEYEVENTF_SCANCODE | KEYEVENTF_EXTENDEDKEY),
                   KeyInput('Q', 0x48, KEYEVENTF_SCANCODE | KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP)};
    EXPECT_EQ(SendInput(2, in, sizeof(INPUT)), 2u);
    Pump();
    const std::vector<MSG> keys = KeyMessages();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].wParam, static_cast<WPARAM>(VK_UP));
    EXPECT_NE(static_cast<DWORD>(keys[0].lParam) & (1u << 24), 0u);
    EXPECT_NE(static_cast<DWORD>(keys[1].lParam) & (1u << 31), 0u);
    const std::vector<DIDEVICEOBJECTDATA> data = Drain(keyboard);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(data[0].dwOfs, static_cast<DWORD>(DIK_UP));
}

TEST_F(PlatformInput, AnExclusiveKeyboardHoldsInjectedKeyMessagesBack) {
    keyboard = Make(GUID_SysKeyboard, c_dfDIKeyboard, DISCL_EXCLUSIVE | DISCL_FOREGROUND, 8);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    keybd_event(VK_SPACE, DIK_SPACE, 0, 0);
    Pump();
    EXPECT_TRUE(KeyMessages().empty());
    BYTE keys[256];
    ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keys[DIK_SPACE], 0x80);
}

TEST_F(PlatformInput, InjectedMouseInputMovesTheCursorAndPressesButtons) {
    PlatformTest_SetDesktopSize(1024, 768);
    SetCursorPos(10, 10);
    INPUT in[3]{};
    in[0].type = INPUT_MOUSE;
    in[0].mi.dx = 5;
    in[0].mi.dy = -3;
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE;
    in[1].type = INPUT_MOUSE;
    in[1].mi.dx = 32768;  // the middle of the screen, in 0..65535
    in[1].mi.dy = 32768;
    in[1].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[2].type = INPUT_MOUSE;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    ASSERT_EQ(SendInput(1, &in[0], sizeof(INPUT)), 1u);
    POINT p{};
    GetCursorPos(&p);
    EXPECT_EQ(p.x, 15);
    EXPECT_EQ(p.y, 7);
    ASSERT_EQ(SendInput(2, &in[1], sizeof(INPUT)), 2u);
    GetCursorPos(&p);
    EXPECT_EQ(p.x, 512);
    EXPECT_EQ(p.y, 384);
    EXPECT_NE(GetAsyncKeyState(VK_LBUTTON) & 0x8000, 0);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 7);
    EXPECT_EQ(GetAsyncKeyState(VK_LBUTTON), 0);
    Pump();
    EXPECT_EQ(Messages({WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP}),
              (std::vector<UINT>{WM_MOUSEMOVE, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP}));
    const std::vector<PlatformTestInjectedInput> injected = PlatformTest_InjectedInput();
    ASSERT_EQ(injected.size(), 4u);
    EXPECT_EQ(injected[3].call, PlatformTestInputCall::MouseEvent);
    EXPECT_EQ(injected[3].input.mi.dwExtraInfo, 7u);
}

TEST_F(PlatformInput, SendInputStopsAtARecordOfNoKnownKind) {
    INPUT in[3] = {KeyInput('A', 0, 0), KeyInput('B', 0, 0), KeyInput('C', 0, 0)};
    in[1].type = 7;
    SetLastError(0);
    EXPECT_EQ(SendInput(3, in, sizeof(INPUT)), 1u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SendInput(1, nullptr, sizeof(INPUT)), 0u);
    EXPECT_NE(GetAsyncKeyState('A') & 0x8000, 0);
    EXPECT_EQ(GetAsyncKeyState('C'), 0);
    EXPECT_EQ(PlatformTest_InjectedInput().size(), 1u);
}

// ---- the exit key of a headless run --------------------------------------------------------

namespace {

class ExitKey : public PlatformInput {
protected:
    void TearDown() override {
        unsetenv("CORVANE_EXIT_AFTER_MS");
        PlatformInput::TearDown();
    }
};

}  // namespace

TEST_F(ExitKey, EscapeArrivesOnceWhenItsTimeHasCome) {
    setenv("CORVANE_EXIT_AFTER_MS", "500", 1);
    ASSERT_TRUE(PlatformTest_ArmExitKeyFromEnvironment());
    PlatformTest_AdvanceClock(499);
    Pump();
    EXPECT_TRUE(KeyMessages().empty());
    PlatformTest_AdvanceClock(1);
    Pump();
    const std::vector<MSG> keys = KeyMessages();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(keys[0].wParam, static_cast<WPARAM>(VK_ESCAPE));
    EXPECT_EQ(keys[1].message, static_cast<UINT>(WM_KEYUP));
    ASSERT_EQ(PlatformTest_InjectedInput().size(), 2u);
    EXPECT_EQ(PlatformTest_InjectedInput()[0].call, PlatformTestInputCall::KeybdEvent);
    g_received.clear();
    PlatformTest_AdvanceClock(10000);
    Pump();
    EXPECT_TRUE(KeyMessages().empty());
}

TEST_F(ExitKey, GetMessageWaitsForTheExitKey) {
    PlatformTest_UseSystemClock();
    setenv("CORVANE_EXIT_AFTER_MS", "20", 1);
    ASSERT_TRUE(PlatformTest_ArmExitKeyFromEnvironment());
    // Without the exit key nothing could arrive and GetMessage would give up at once.
    MSG msg{};
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(VK_ESCAPE));
}

TEST_F(ExitKey, AValueThatIsNoTimeArmsNothing) {
    for (const char* value : {"", "soon", "-5", "12ms", " 5", "99999999999"}) {
        setenv("CORVANE_EXIT_AFTER_MS", value, 1);
        EXPECT_FALSE(PlatformTest_ArmExitKeyFromEnvironment()) << value;
    }
    unsetenv("CORVANE_EXIT_AFTER_MS");
    EXPECT_FALSE(PlatformTest_ArmExitKeyFromEnvironment());
    PlatformTest_AdvanceClock(100000);
    Pump();
    EXPECT_TRUE(KeyMessages().empty());
    setenv("CORVANE_EXIT_AFTER_MS", "0", 1);
    EXPECT_TRUE(PlatformTest_ArmExitKeyFromEnvironment());
    PlatformTest_ResetInput();  // a reset disarms it
    Pump();
    EXPECT_TRUE(KeyMessages().empty());
}

// ---- the wall clock ------------------------------------------------------------------------

TEST_F(PlatformInput, TheLocalTimeIsSetAndRunsOnWithTheClock) {
    SYSTEMTIME set{};
    set.wYear = 1999;
    set.wMonth = 12;
    set.wDay = 31;
    set.wHour = 23;
    set.wMinute = 59;
    set.wSecond = 59;
    set.wMilliseconds = 500;
    PlatformTest_SetLocalTime(set);
    SYSTEMTIME t{};
    GetLocalTime(&t);
    EXPECT_EQ(t.wYear, 1999);
    EXPECT_EQ(t.wHour, 23);
    EXPECT_EQ(t.wMilliseconds, 500);
    EXPECT_EQ(t.wDayOfWeek, 5);  // a Friday
    PlatformTest_AdvanceClock(600);
    GetLocalTime(&t);
    EXPECT_EQ(t.wYear, 2000);
    EXPECT_EQ(t.wMonth, 1);
    EXPECT_EQ(t.wDay, 1);
    EXPECT_EQ(t.wHour, 0);
    EXPECT_EQ(t.wMinute, 0);
    EXPECT_EQ(t.wSecond, 0);
    EXPECT_EQ(t.wMilliseconds, 100);
    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    EXPECT_EQ(utc.wDay, 1);
    GetLocalTime(nullptr);  // nothing to write to: nothing happens
    PlatformTest_UseSystemLocalTime();
    GetLocalTime(&t);
    EXPECT_GT(t.wYear, 2000);
}
