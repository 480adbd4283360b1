// DirectInput 8 over the platform's input: the system keyboard and mouse. A device keeps
// what it observes only while acquired: an immediate state (256 key bytes, or the mouse's
// axes and buttons) and, when a buffer size is set, buffered records stamped with the
// millisecond clock and one sequence counter of the process. A full buffer keeps its
// oldest records and drops new ones, reporting DI_BUFFEROVERFLOW at the next read. Each
// arrival signals the device's notification event.
//
// A device laid out by a data format reports its objects at the format's offsets, so a
// copy of a standard format with other flags or offsets works as on Windows. A device
// acquired for a foreground window is taken away when that window stops being active.
#include <windows.h>
#include <dinput.h>
#include <PlatformTestInput.h>

#include "InputQueue.h"
#include "WindowSystem.h"

#include <algorithm>
#include <deque>
#include <vector>

namespace {

// ---- the standard formats
constexpr DWORD kButtonAny = DIDFT_BUTTON | DIDFT_ANYINSTANCE;
constexpr DWORD kAxisAny = DIDFT_AXIS | DIDFT_ANYINSTANCE;

DIOBJECTDATAFORMAT gMouseObjects[7] = {
    {&GUID_XAxis, DIMOFS_X, kAxisAny, 0},
    {&GUID_YAxis, DIMOFS_Y, kAxisAny, 0},
    {&GUID_ZAxis, DIMOFS_Z, kAxisAny | DIDFT_OPTIONAL, 0},
    {nullptr, DIMOFS_BUTTON0, kButtonAny, 0},
    {nullptr, DIMOFS_BUTTON1, kButtonAny, 0},
    {nullptr, DIMOFS_BUTTON2, kButtonAny | DIDFT_OPTIONAL, 0},
    {nullptr, DIMOFS_BUTTON3, kButtonAny | DIDFT_OPTIONAL, 0},
};

struct KeyboardObjects {
    DIOBJECTDATAFORMAT objects[256];
    constexpr KeyboardObjects() : objects{} {
        for (DWORD i = 0; i < 256; ++i)
            objects[i] = {&GUID_Key, i, DIDFT_BUTTON | DIDFT_OPTIONAL | static_cast<DWORD>(DIDFT_MAKEINSTANCE(i)), 0};
    }
};
constinit KeyboardObjects gKeyboardObjects;

constexpr DWORD kPropBufferSize = 1;
constexpr DWORD kPropAxisMode = 2;
constexpr DWORD kPropGranularity = 3;
// How far one step of each mouse axis moves: a count for x and y, and for the wheel one
// notch (WHEEL_DELTA).
constexpr DWORD kAxisGranularity[3] = {1, 1, 120};

// The number behind a predefined property reference, or 0 for a real GUID.
DWORD PropertyNumber(REFGUID property) {
    const ULONG_PTR address = reinterpret_cast<ULONG_PTR>(&property);
    const ULONG_PTR number = address >> 4;
    return (address & 15) == 0 && number < 0x100 ? static_cast<DWORD>(number) : 0;
}

// The properties handled here are device-wide DWORDs; anything else is refused.
HRESULT CheckDeviceDword(DWORD number, LPCDIPROPHEADER header) {
    if (!header) return E_POINTER;
    if (number != kPropBufferSize && number != kPropAxisMode) return DIERR_UNSUPPORTED;
    if (header->dwSize != sizeof(DIPROPDWORD) || header->dwHeaderSize != sizeof(DIPROPHEADER) ||
        header->dwHow != DIPH_DEVICE || header->dwObj != 0)
        return DIERR_INVALIDPARAM;
    return DI_OK;
}

DWORD gSequence = 0;

class DirectInput;

class Device final : public IDirectInputDevice8A {
public:
    Device(DirectInput* parent, platform::InputKind kind);

    // ---- IUnknown
    HRESULT WINAPI QueryInterface(REFIID riid, void** object) override;
    ULONG WINAPI AddRef() override { return ++references; }
    ULONG WINAPI Release() override;

    // ---- IDirectInputDevice8A
    HRESULT WINAPI GetCapabilities(LPDIDEVCAPS) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI GetProperty(REFGUID rguidProp, LPDIPROPHEADER pdiph) override;
    HRESULT WINAPI SetProperty(REFGUID rguidProp, LPCDIPROPHEADER pdiph) override;
    HRESULT WINAPI Acquire() override;
    HRESULT WINAPI Unacquire() override;
    HRESULT WINAPI GetDeviceState(DWORD cbData, LPVOID lpvData) override;
    HRESULT WINAPI GetDeviceData(DWORD cbObjectData, LPDIDEVICEOBJECTDATA rgdod, LPDWORD pdwInOut,
                                 DWORD dwFlags) override;
    HRESULT WINAPI SetDataFormat(LPCDIDATAFORMAT lpdf) override;
    HRESULT WINAPI SetEventNotification(HANDLE hEvent) override;
    HRESULT WINAPI SetCooperativeLevel(HWND hwnd, DWORD dwFlags) override;
    HRESULT WINAPI GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI GetDeviceInfo(LPDIDEVICEINSTANCEA) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI RunControlPanel(HWND, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI Initialize(HINSTANCE, DWORD, REFGUID) override { return DI_OK; }
    HRESULT WINAPI CreateEffect(REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT*, LPUNKNOWN) override {
        return DIERR_UNSUPPORTED;
    }
    HRESULT WINAPI EnumEffects(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) override { return DI_OK; }
    HRESULT WINAPI GetEffectInfo(LPDIEFFECTINFOA, REFGUID) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI GetForceFeedbackState(LPDWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI SendForceFeedbackCommand(DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) override {
        return DI_OK;
    }
    HRESULT WINAPI Escape(LPDIEFFESCAPE) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI Poll() override { return acquired ? DI_NOEFFECT : DIERR_NOTACQUIRED; }
    HRESULT WINAPI SendDeviceData(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI EnumEffectsInFile(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override {
        return DIERR_UNSUPPORTED;
    }
    HRESULT WINAPI WriteEffectToFile(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI BuildActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI SetActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI GetImageInfo(LPDIDEVICEIMAGEINFOHEADERA) override { return DIERR_UNSUPPORTED; }

    // ---- input arriving from the platform
    void Key(BYTE scanCode, bool down);
    void Axes(const LONG delta[3]);
    void Button(int button, bool down);
    void Lose();
    bool Exclusive() const { return acquired && (cooperation & DISCL_EXCLUSIVE); }

    const platform::InputKind kind;

private:
    ~Device() = default;
    // An acquired foreground device is taken away once its window is no longer active.
    bool StillAcquired();
    // The result of a read of a device that is not acquired.
    HRESULT NotAcquired();
    void Push(int offset, DWORD data);
    void Signal();
    int AxisOf(LPCDIPROPHEADER header) const;
    HRESULT Granularity(LPDIPROPHEADER header) const;

    ULONG references = 1;
    DirectInput* parent;
    bool formatSet = false;
    bool absolute = false;  // axes report positions rather than movements
    DWORD dataSize = 0;
    // Where each object is reported in the format (-1 not in it): keys by scan code; the
    // mouse's x, y and wheel axes, then its four buttons.
    std::vector<int> offsets;
    HWND window = nullptr;
    DWORD cooperation = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;
    bool acquired = false;
    bool lost = false;
    DWORD bufferSize = 0;
    std::deque<DIDEVICEOBJECTDATA> buffer;
    bool overflow = false;
    HANDLE event = nullptr;
    BYTE down[256] = {};     // keys, or the mouse buttons in the first four
    LONG position[3] = {};   // the mouse's axes, summed since creation
    LONG movement[3] = {};   // summed since the last GetDeviceState
};

class DirectInput final : public IDirectInput8A {
public:
    HRESULT WINAPI QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDirectInput8A) {
            AddRef();
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return ++references; }
    ULONG WINAPI Release() override {
        const ULONG left = --references;
        if (left == 0) delete this;
        return left;
    }
    HRESULT WINAPI CreateDevice(REFGUID rguid, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) override {
        if (!device) return E_POINTER;
        *device = nullptr;
        if (outer) return DIERR_NOAGGREGATION;
        if (rguid == GUID_SysKeyboard) *device = new Device(this, platform::InputKind::Keyboard);
        else if (rguid == GUID_SysMouse) *device = new Device(this, platform::InputKind::Mouse);
        else return DIERR_DEVICENOTREG;
        return DI_OK;
    }
    HRESULT WINAPI EnumDevices(DWORD, LPDIENUMDEVICESCALLBACKA, LPVOID, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI GetDeviceStatus(REFGUID rguid) override {
        return rguid == GUID_SysKeyboard || rguid == GUID_SysMouse ? DI_OK : DIERR_DEVICENOTREG;
    }
    HRESULT WINAPI RunControlPanel(HWND, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI Initialize(HINSTANCE, DWORD) override { return DI_OK; }
    HRESULT WINAPI FindDevice(REFGUID, LPCSTR, GUID*) override { return DIERR_DEVICENOTREG; }
    HRESULT WINAPI EnumDevicesBySemantics(LPCSTR, LPDIACTIONFORMATA, LPDIENUMDEVICESBYSEMANTICSCBA, LPVOID,
                                          DWORD) override {
        return DIERR_UNSUPPORTED;
    }
    HRESULT WINAPI ConfigureDevices(LPDICONFIGUREDEVICESCALLBACK, LPDICONFIGUREDEVICESPARAMSA, DWORD,
                                    LPVOID) override {
        return DIERR_UNSUPPORTED;
    }

private:
    ~DirectInput() = default;
    ULONG references = 1;
};

// The devices that exist, in creation order, for the input to reach.
std::vector<Device*>& Devices() {
    static std::vector<Device*> devices;
    return devices;
}

Device::Device(DirectInput* parent, platform::InputKind kind) : kind(kind), parent(parent) {
    parent->AddRef();
    Devices().push_back(this);
}

HRESULT WINAPI Device::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectInputDevice8A) {
        AddRef();
        *object = this;
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG WINAPI Device::Release() {
    const ULONG left = --references;
    if (left == 0) {
        auto& devices = Devices();
        devices.erase(std::remove(devices.begin(), devices.end(), this), devices.end());
        DirectInput* owner = parent;
        delete this;
        owner->Release();
    }
    return left;
}

HRESULT WINAPI Device::SetDataFormat(LPCDIDATAFORMAT lpdf) {
    if (!lpdf) return E_POINTER;
    if (acquired) return DIERR_ACQUIRED;
    if (lpdf->dwSize != sizeof(DIDATAFORMAT) || lpdf->dwObjSize != sizeof(DIOBJECTDATAFORMAT) ||
        (lpdf->dwNumObjs && !lpdf->rgodf))
        return DIERR_INVALIDPARAM;
    const bool keyboard = kind == platform::InputKind::Keyboard;
    std::vector<int> map(keyboard ? 256 : 7, -1);
    DWORD nextKey = 0, nextButton = 0, nextAxis = 0;
    for (DWORD i = 0; i < lpdf->dwNumObjs; ++i) {
        const DIOBJECTDATAFORMAT& o = lpdf->rgodf[i];
        const bool isButton = (o.dwType & DIDFT_BUTTON) != 0;
        const bool isAxis = (o.dwType & DIDFT_AXIS) != 0;
        const bool anyInstance = (o.dwType & DIDFT_ANYINSTANCE) == DIDFT_ANYINSTANCE;
        const DWORD instance = (o.dwType >> 8) & 0xFFFF;
        int slot = -1;
        if (keyboard) {
            if (isButton && (!o.pguid || *o.pguid == GUID_Key)) slot = static_cast<int>(anyInstance ? nextKey : instance);
            if (slot >= 0 && slot < 256 && map[slot] < 0) nextKey = static_cast<DWORD>(slot) + 1;
            else slot = -1;
        } else if (isAxis && (!o.pguid || *o.pguid == GUID_XAxis || *o.pguid == GUID_YAxis || *o.pguid == GUID_ZAxis)) {
            if (o.pguid) slot = *o.pguid == GUID_XAxis ? 0 : *o.pguid == GUID_YAxis ? 1 : 2;
            else slot = static_cast<int>(anyInstance ? nextAxis : instance);
            if (slot >= 0 && slot < 3 && map[slot] < 0) nextAxis = static_cast<DWORD>(slot) + 1;
            else slot = -1;
        } else if (isButton && (!o.pguid || *o.pguid == GUID_Button)) {
            const DWORD b = anyInstance ? nextButton : instance;
            slot = b < 4 && map[3 + b] < 0 ? static_cast<int>(3 + b) : -1;
            if (slot >= 0) nextButton = b + 1;
        }
        if (slot < 0) {
            if (o.dwType & DIDFT_OPTIONAL) continue;
            return DIERR_INVALIDPARAM;  // an object this device does not have
        }
        const DWORD width = isAxis ? 4 : 1;
        if (o.dwOfs > lpdf->dwDataSize || lpdf->dwDataSize - o.dwOfs < width) return DIERR_INVALIDPARAM;
        map[slot] = static_cast<int>(o.dwOfs);
    }
    offsets = std::move(map);
    dataSize = lpdf->dwDataSize;
    absolute = (lpdf->dwFlags & DIDF_ABSAXIS) != 0;
    formatSet = true;
    return DI_OK;
}

HRESULT WINAPI Device::SetCooperativeLevel(HWND hwnd, DWORD dwFlags) {
    const DWORD level = dwFlags & ~DWORD(DISCL_NOWINKEY);
    const bool oneAccess = ((level & DISCL_EXCLUSIVE) != 0) != ((level & DISCL_NONEXCLUSIVE) != 0);
    const bool oneScope = ((level & DISCL_FOREGROUND) != 0) != ((level & DISCL_BACKGROUND) != 0);
    if (!oneAccess || !oneScope || level > 15) return E_INVALIDARG;
    platform::WindowSystem& system = platform::WindowSystem::Get();
    if (!hwnd) {
        if (level != (DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)) return E_HANDLE;
    } else {
        const platform::Window* w = system.Peek(hwnd);
        if (!w || !system.IsTopLevel(*w)) return E_HANDLE;
        // The system devices are not given to a program in the background alone.
        if (level == (DISCL_EXCLUSIVE | DISCL_BACKGROUND)) return E_NOTIMPL;
    }
    if (acquired) return DIERR_ACQUIRED;
    window = hwnd;
    cooperation = level;
    return DI_OK;
}

HRESULT WINAPI Device::SetProperty(REFGUID rguidProp, LPCDIPROPHEADER pdiph) {
    const DWORD number = PropertyNumber(rguidProp);
    const HRESULT checked = CheckDeviceDword(number, pdiph);
    if (checked != DI_OK) return checked;
    if (acquired) return DIERR_ACQUIRED;
    const DWORD value = reinterpret_cast<LPCDIPROPDWORD>(pdiph)->dwData;
    if (number == kPropAxisMode) {
        if (kind != platform::InputKind::Mouse || value > DIPROPAXISMODE_REL) return DIERR_INVALIDPARAM;
        absolute = value == DIPROPAXISMODE_ABS;
        return DI_OK;
    }
    bufferSize = value;
    while (buffer.size() > bufferSize) buffer.pop_back();
    return DI_OK;
}

// The mouse axis a property header names (0 x, 1 y, 2 the wheel), by its offset in the
// data format or by its type and instance; -1 for a button, -2 for no object at all.
int Device::AxisOf(LPCDIPROPHEADER header) const {
    if (header->dwHow == DIPH_BYOFFSET) {
        for (size_t slot = 0; slot < offsets.size(); ++slot)
            if (offsets[slot] >= 0 && DWORD(offsets[slot]) == header->dwObj) return slot < 3 ? int(slot) : -1;
        return -2;
    }
    const DWORD instance = DIDFT_GETINSTANCE(header->dwObj);
    if ((header->dwObj & DIDFT_AXIS) && instance < 3) return int(instance);
    if ((header->dwObj & DIDFT_BUTTON) && instance < 4) return -1;
    return -2;
}

// Granularity is read per object: the mouse's axes have one, its buttons and the keys none.
HRESULT Device::Granularity(LPDIPROPHEADER header) const {
    if (!header) return E_POINTER;
    if (header->dwSize != sizeof(DIPROPDWORD) || header->dwHeaderSize != sizeof(DIPROPHEADER) ||
        (header->dwHow != DIPH_BYOFFSET && header->dwHow != DIPH_BYID))
        return DIERR_INVALIDPARAM;
    if (kind != platform::InputKind::Mouse) return DIERR_UNSUPPORTED;
    const int axis = AxisOf(header);
    if (axis == -2) return DIERR_OBJECTNOTFOUND;
    if (axis < 0) return DIERR_UNSUPPORTED;
    reinterpret_cast<LPDIPROPDWORD>(header)->dwData = kAxisGranularity[axis];
    return DI_OK;
}

HRESULT WINAPI Device::GetProperty(REFGUID rguidProp, LPDIPROPHEADER pdiph) {
    const DWORD number = PropertyNumber(rguidProp);
    if (number == kPropGranularity) return Granularity(pdiph);
    const HRESULT checked = CheckDeviceDword(number, pdiph);
    if (checked != DI_OK) return checked;
    reinterpret_cast<LPDIPROPDWORD>(pdiph)->dwData =
        number == kPropBufferSize ? bufferSize : (absolute ? DIPROPAXISMODE_ABS : DIPROPAXISMODE_REL);
    return DI_OK;
}

// Taken while acquired too, as Windows' runtime does.
HRESULT WINAPI Device::SetEventNotification(HANDLE hEvent) {
    if (hEvent && !ResetEvent(hEvent)) return DIERR_INVALIDPARAM;  // not an event
    event = hEvent;
    return DI_OK;
}

HRESULT WINAPI Device::Acquire() {
    if (!formatSet) return DIERR_INVALIDPARAM;
    if (StillAcquired()) return DI_NOEFFECT;
    platform::WindowSystem& system = platform::WindowSystem::Get();
    if (cooperation & DISCL_FOREGROUND) {
        const HWND active = system.Active();
        if (!system.Peek(window) || !active || system.Root(active) != window) return DIERR_OTHERAPPHASPRIO;
    }
    if (cooperation & DISCL_EXCLUSIVE) {
        for (Device* other : Devices())
            if (other != this && other->kind == kind && other->Exclusive()) return DIERR_OTHERAPPHASPRIO;
    }
    acquired = true;
    lost = false;
    buffer.clear();
    overflow = false;
    std::fill(std::begin(movement), std::end(movement), 0);
    std::fill(std::begin(down), std::end(down), BYTE(0));
    if (kind == platform::InputKind::Keyboard) {
        for (int k = 0; k < 256; ++k)
            if (platform::InputKeyDown(static_cast<BYTE>(k))) down[k] = 0x80;
    } else {
        for (int b = 0; b < 4; ++b)
            if (platform::InputButtonDown(b)) down[b] = 0x80;
    }
    return DI_OK;
}

HRESULT WINAPI Device::Unacquire() {
    lost = false;
    if (!acquired) return DI_NOEFFECT;
    acquired = false;
    return DI_OK;
}

bool Device::StillAcquired() {
    if (!acquired) return false;
    if (cooperation & DISCL_FOREGROUND) {
        platform::WindowSystem& system = platform::WindowSystem::Get();
        const HWND active = system.Active();
        if (!system.Peek(window) || !active || system.Root(active) != window) Lose();
    }
    return acquired;
}

HRESULT Device::NotAcquired() {
    if (lost) {
        lost = false;
        return DIERR_INPUTLOST;
    }
    return DIERR_NOTACQUIRED;
}

void Device::Lose() {
    if (!acquired) return;
    acquired = false;
    lost = true;
}

HRESULT WINAPI Device::GetDeviceState(DWORD cbData, LPVOID lpvData) {
    if (!StillAcquired()) return NotAcquired();
    if (!lpvData) return E_POINTER;
    if (cbData != dataSize) return DIERR_INVALIDPARAM;
    BYTE* out = static_cast<BYTE*>(lpvData);
    std::fill(out, out + cbData, BYTE(0));
    if (kind == platform::InputKind::Keyboard) {
        for (int k = 0; k < 256; ++k)
            if (offsets[k] >= 0) out[offsets[k]] = down[k];
        return DI_OK;
    }
    for (int a = 0; a < 3; ++a) {
        if (offsets[a] < 0) continue;
        const LONG value = absolute ? position[a] : movement[a];
        std::copy_n(reinterpret_cast<const BYTE*>(&value), sizeof value, out + offsets[a]);
    }
    for (int b = 0; b < 4; ++b)
        if (offsets[3 + b] >= 0) out[offsets[3 + b]] = down[b];
    std::fill(std::begin(movement), std::end(movement), 0);
    return DI_OK;
}

HRESULT WINAPI Device::GetDeviceData(DWORD cbObjectData, LPDIDEVICEOBJECTDATA rgdod, LPDWORD pdwInOut,
                                     DWORD dwFlags) {
    if (!pdwInOut || cbObjectData != sizeof(DIDEVICEOBJECTDATA) || (dwFlags & ~DWORD(DIGDD_PEEK)))
        return DIERR_INVALIDPARAM;
    if (!StillAcquired()) return NotAcquired();
    if (bufferSize == 0) return DIERR_NOTBUFFERED;
    const size_t count = std::min<size_t>(*pdwInOut, buffer.size());
    if (rgdod) std::copy_n(buffer.begin(), count, rgdod);
    const HRESULT result = overflow ? DI_BUFFEROVERFLOW : DI_OK;
    if (!(dwFlags & DIGDD_PEEK)) {
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
        overflow = false;
    }
    *pdwInOut = static_cast<DWORD>(count);
    return result;
}

void Device::Push(int offset, DWORD data) {
    if (offset < 0 || bufferSize == 0) return;
    if (buffer.size() >= bufferSize) {
        overflow = true;  // the oldest records are kept; this one is dropped
        return;
    }
    DIDEVICEOBJECTDATA record{};
    record.dwOfs = static_cast<DWORD>(offset);
    record.dwData = data;
    record.dwTimeStamp = timeGetTime();
    record.dwSequence = ++gSequence;
    buffer.push_back(record);
}

void Device::Signal() {
    if (event) SetEvent(event);
}

void Device::Key(BYTE scanCode, bool isDown) {
    if (!StillAcquired()) return;
    down[scanCode] = isDown ? 0x80 : 0;
    Push(offsets[scanCode], isDown ? 0x80 : 0);
    Signal();
}

void Device::Axes(const LONG delta[3]) {
    if (!StillAcquired()) return;
    for (int a = 0; a < 3; ++a) {
        if (delta[a] == 0) continue;
        position[a] += delta[a];
        movement[a] += delta[a];
        Push(offsets[a], static_cast<DWORD>(absolute ? position[a] : delta[a]));
    }
    Signal();
}

void Device::Button(int button, bool isDown) {
    if (button < 0 || button > 3 || !StillAcquired()) return;
    down[button] = isDown ? 0x80 : 0;
    Push(offsets[3 + button], isDown ? 0x80 : 0);
    Signal();
}

// ---- the standard formats' records, as the import library carries them
}  // namespace

const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 256, 256,
                                     gKeyboardObjects.objects};
const DIDATAFORMAT c_dfDIMouse = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS,
                                  sizeof(DIMOUSESTATE), 7, gMouseObjects};

extern "C" HRESULT WINAPI DirectInput8Create(HINSTANCE hinst, DWORD dwVersion, REFIID riidltf, LPVOID* ppvOut,
                                             LPUNKNOWN punkOuter) {
    if (!ppvOut) return E_POINTER;
    *ppvOut = nullptr;
    if (!hinst) return DIERR_INVALIDPARAM;
    if (dwVersion == 0) return DIERR_NOTINITIALIZED;
    if (dwVersion < DIRECTINPUT_VERSION) return DIERR_BETADIRECTINPUTVERSION;
    if (dwVersion > DIRECTINPUT_VERSION) return DIERR_OLDDIRECTINPUTVERSION;
    if (riidltf != IID_IDirectInput8A && riidltf != IID_IUnknown) return DIERR_NOINTERFACE;
    if (punkOuter) return DIERR_NOAGGREGATION;
    *ppvOut = static_cast<IDirectInput8A*>(new DirectInput());
    return DI_OK;
}

namespace platform {

void DirectInputKey(BYTE scanCode, bool down) {
    for (Device* d : std::vector<Device*>(Devices()))
        if (d->kind == InputKind::Keyboard) d->Key(scanCode, down);
}

void DirectInputMouseAxes(LONG dx, LONG dy, LONG dz) {
    const LONG delta[3] = {dx, dy, dz};
    for (Device* d : std::vector<Device*>(Devices()))
        if (d->kind == InputKind::Mouse) d->Axes(delta);
}

void DirectInputMouseButton(int button, bool down) {
    for (Device* d : std::vector<Device*>(Devices()))
        if (d->kind == InputKind::Mouse) d->Button(button, down);
}

bool DirectInputExclusive(InputKind kind) {
    for (Device* d : Devices())
        if (d->kind == kind && d->Exclusive()) return true;
    return false;
}

void DirectInputLoseAll() {
    for (Device* d : Devices()) d->Lose();
}

}  // namespace platform
