// DirectInput 8 and kernel events as the engine uses them, through the real API only: they
// run on Linux against the platform layer and under Wine against its dinput8. They check
// creation, the standard data formats, the buffer size and granularity properties, the
// cooperative levels the system devices take or refuse, reads before acquisition, and the
// waits on events.
#define DIRECTINPUT_VERSION 0x0800
#include <windows.h>
#include <dinput.h>

#include <gtest/gtest.h>

namespace {

const char kClass[] = "CorvaneDirectInputWindow";

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

DIPROPDWORD BufferSize(DWORD size) {
    DIPROPDWORD p{};
    p.diph.dwSize = sizeof(DIPROPDWORD);
    p.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    p.diph.dwObj = 0;
    p.diph.dwHow = DIPH_DEVICE;
    p.dwData = size;
    return p;
}

class DirectInputPortable : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kClass;
        ASSERT_NE(RegisterClassA(&wc), 0);
        window = CreateWindowExA(0, kClass, "input", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(DirectInput8Create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A,
                                     reinterpret_cast<void**>(&input), nullptr),
                  DI_OK);
        ASSERT_NE(input, nullptr);
    }
    void TearDown() override {
        if (keyboard) keyboard->Release();
        if (mouse) mouse->Release();
        if (input) input->Release();
        DestroyWindow(window);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        UnregisterClassA(kClass, GetModuleHandleA(nullptr));
    }
    void MakeDevices() {
        ASSERT_EQ(input->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr), DI_OK);
        ASSERT_EQ(input->CreateDevice(GUID_SysMouse, &mouse, nullptr), DI_OK);
    }
    HWND window = nullptr;
    IDirectInput8A* input = nullptr;
    IDirectInputDevice8A* keyboard = nullptr;
    IDirectInputDevice8A* mouse = nullptr;
};

}  // namespace

TEST(DirectInputCreate, RefusesBadArguments) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_TRUE(FAILED(DirectInput8Create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A, nullptr, nullptr)));
    EXPECT_TRUE(FAILED(DirectInput8Create(GetModuleHandleA(nullptr), 0, IID_IDirectInput8A, &out, nullptr)));
    EXPECT_EQ(out, nullptr);
    EXPECT_TRUE(FAILED(DirectInput8Create(nullptr, 0x0800, IID_IDirectInput8A, &out, nullptr)));
    EXPECT_TRUE(FAILED(DirectInput8Create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInputDevice8A, &out, nullptr)));
}

TEST_F(DirectInputPortable, CreatesTheSystemDevicesOnly) {
    MakeDevices();
    IDirectInputDevice8A* other = nullptr;
    EXPECT_TRUE(FAILED(input->CreateDevice(GUID_XAxis, &other, nullptr)));
    EXPECT_EQ(other, nullptr);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(keyboard->QueryInterface(IID_IDirectInputDevice8A, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(keyboard));
    unknown->Release();
}

TEST_F(DirectInputPortable, StandardFormatsHaveTheirDocumentedShape) {
    EXPECT_EQ(c_dfDIKeyboard.dwSize, sizeof(DIDATAFORMAT));
    EXPECT_EQ(c_dfDIKeyboard.dwObjSize, sizeof(DIOBJECTDATAFORMAT));
    EXPECT_EQ(c_dfDIKeyboard.dwDataSize, 256u);
    EXPECT_EQ(c_dfDIKeyboard.dwNumObjs, 256u);
    EXPECT_EQ(c_dfDIMouse.dwDataSize, sizeof(DIMOUSESTATE));
    EXPECT_EQ(sizeof(DIMOUSESTATE), 16u);
    EXPECT_EQ(c_dfDIMouse.dwNumObjs, 7u);
    EXPECT_EQ(c_dfDIMouse.dwFlags, static_cast<DWORD>(DIDF_RELAXIS));
    EXPECT_EQ(c_dfDIMouse.rgodf[3].dwOfs, static_cast<DWORD>(DIMOFS_BUTTON0));
    EXPECT_EQ(DIMOFS_Y, 4);
    EXPECT_EQ(DIMOFS_BUTTON1, 13);
}

TEST_F(DirectInputPortable, TakesTheStandardFormatsAndAnAbsoluteMouseCopy) {
    MakeDevices();
    EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    EXPECT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
    DIDATAFORMAT absolute = c_dfDIMouse;
    absolute.dwFlags = DIDF_ABSAXIS;
    EXPECT_EQ(mouse->SetDataFormat(&absolute), DI_OK);
    DIDATAFORMAT broken = c_dfDIMouse;
    broken.dwSize = sizeof(DIDATAFORMAT) + 4;
    EXPECT_EQ(mouse->SetDataFormat(&broken), DIERR_INVALIDPARAM);
}

TEST_F(DirectInputPortable, KeepsTheBufferSizeAndChecksThePropertyHeader) {
    MakeDevices();
    ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    DIPROPDWORD size = BufferSize(64);
    EXPECT_EQ(keyboard->SetProperty(DIPROP_BUFFERSIZE, &size.diph), DI_OK);
    DIPROPDWORD read = BufferSize(0);
    ASSERT_EQ(keyboard->GetProperty(DIPROP_BUFFERSIZE, &read.diph), DI_OK);
    EXPECT_EQ(read.dwData, 64u);
    DIPROPDWORD bad = BufferSize(32);
    bad.diph.dwHeaderSize = sizeof(DIPROPHEADER) + 4;
    EXPECT_EQ(keyboard->SetProperty(DIPROP_BUFFERSIZE, &bad.diph), DIERR_INVALIDPARAM);
    ASSERT_EQ(keyboard->GetProperty(DIPROP_BUFFERSIZE, &read.diph), DI_OK);
    EXPECT_EQ(read.dwData, 64u);
}

TEST_F(DirectInputPortable, MouseAxesReportTheirGranularityAndTheRestIsUnsupported) {
    MakeDevices();
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
    ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    struct Row {
        DWORD how, object, granularity;
    };
    const Row rows[] = {
        {DIPH_BYOFFSET, DIMOFS_X, 1},
        {DIPH_BYOFFSET, DIMOFS_Y, 1},
        {DIPH_BYOFFSET, DIMOFS_Z, 120},  // one notch of the wheel
        {DIPH_BYID, DIDFT_MAKEINSTANCE(1) | DIDFT_RELAXIS, 1},
    };
    for (const Row& r : rows) {
        DIPROPDWORD p = BufferSize(0);
        p.diph.dwHow = r.how;
        p.diph.dwObj = r.object;
        EXPECT_EQ(mouse->GetProperty(DIPROP_GRANULARITY, &p.diph), DI_OK) << r.object;
        EXPECT_EQ(p.dwData, r.granularity) << r.object;
    }
    DIPROPDWORD vidpid = BufferSize(0);
    EXPECT_EQ(mouse->GetProperty(DIPROP_VIDPID, &vidpid.diph), DIERR_UNSUPPORTED);
    EXPECT_EQ(keyboard->GetProperty(DIPROP_VIDPID, &vidpid.diph), DIERR_UNSUPPORTED);
    DIPROPRANGE range{};
    range.diph.dwSize = sizeof(DIPROPRANGE);
    range.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    range.diph.dwHow = DIPH_DEVICE;
    EXPECT_EQ(keyboard->GetProperty(DIPROP_RANGE, &range.diph), DIERR_UNSUPPORTED);
}

TEST_F(DirectInputPortable, CooperativeLevelsOfTheSystemDevices) {
    MakeDevices();
    for (IDirectInputDevice8A* device : {keyboard, mouse}) {
        for (DWORD flags = 0; flags < 16; ++flags) {
            HRESULT expected = E_INVALIDARG;
            if (flags == 5 || flags == 6 || flags == 10) expected = S_OK;
            if (flags == 9) expected = E_NOTIMPL;
            EXPECT_EQ(device->SetCooperativeLevel(window, flags), expected) << flags;
            HRESULT withoutWindow = E_INVALIDARG;
            if (flags == 10) withoutWindow = S_OK;
            if (flags == 5 || flags == 6 || flags == 9) withoutWindow = E_HANDLE;
            EXPECT_EQ(device->SetCooperativeLevel(nullptr, flags), withoutWindow) << flags;
        }
    }
}

TEST_F(DirectInputPortable, ReadsNeedAnAcquiredDevice) {
    MakeDevices();
    ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    ASSERT_EQ(keyboard->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
    DIPROPDWORD size = BufferSize(16);
    ASSERT_EQ(keyboard->SetProperty(DIPROP_BUFFERSIZE, &size.diph), DI_OK);
    BYTE keys[256];
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
    DIDEVICEOBJECTDATA data[4];
    DWORD count = 4;
    EXPECT_EQ(keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), data, &count, 0), DIERR_NOTACQUIRED);

    ASSERT_TRUE(SUCCEEDED(keyboard->Acquire()));
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    count = 4;
    EXPECT_TRUE(SUCCEEDED(keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), data, &count, 0)));
    // Set-up calls are refused while the device is acquired.
    EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DIERR_ACQUIRED);
    EXPECT_EQ(keyboard->SetProperty(DIPROP_BUFFERSIZE, &size.diph), DIERR_ACQUIRED);
    EXPECT_EQ(keyboard->Unacquire(), DI_OK);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
}

TEST_F(DirectInputPortable, TakesAnEventForNotification) {
    MakeDevices();
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(mouse->SetEventNotification(event), DI_OK);
    ASSERT_TRUE(SUCCEEDED(mouse->Acquire()));
    // The event can change while the device is acquired.
    EXPECT_EQ(mouse->SetEventNotification(nullptr), DI_OK);
    EXPECT_EQ(mouse->SetEventNotification(event), DI_OK);
    mouse->Unacquire();
    EXPECT_EQ(mouse->SetEventNotification(nullptr), DI_OK);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(DirectInputEvents, AutoResetEventsWakeOneWait) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 10), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(CloseHandle(event));
}

TEST(DirectInputEvents, ManualResetEventsStaySignalled) {
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(CloseHandle(event));
}

TEST(DirectInputEvents, WaitAnyReportsTheFirstSignalledAndWaitAllNeedsEvery) {
    HANDLE events[2] = {CreateEventA(nullptr, FALSE, FALSE, nullptr), CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    ASSERT_NE(events[0], nullptr);
    ASSERT_NE(events[1], nullptr);
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), static_cast<DWORD>(WAIT_OBJECT_0 + 1));
    SetEvent(events[0]);
    SetEvent(events[1]);
    // Both signalled: the lower index wins and only it is consumed.
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), static_cast<DWORD>(WAIT_OBJECT_0 + 1));
    SetEvent(events[0]);
    EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // A failed wait-all consumes nothing.
    EXPECT_EQ(WaitForSingleObject(events[0], 0), static_cast<DWORD>(WAIT_OBJECT_0));
    SetEvent(events[0]);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(CloseHandle(events[0]));
    EXPECT_TRUE(CloseHandle(events[1]));
}

TEST(DirectInputEvents, RefusesBadHandlesAndCounts) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(0, &event, FALSE, 0), WAIT_FAILED);
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_FALSE(SetEvent(event));
}
