// The reference device: creation from checked presentation parameters, the swap chain's
// buffers, reset and device loss, present, scenes and clears, and every fixed-function
// state with the runtime's defaults. Resources, bindings and draws are in
// Direct3D9Draw.cpp.
//
// Loss follows the runtime's three states: working; lost (Present, TestCooperativeLevel
// and Reset report D3DERR_DEVICELOST); and waiting for a reset (TestCooperativeLevel
// reports D3DERR_DEVICENOTRESET). A reset the runtime refuses also leaves the device
// waiting for a reset, even one that was never lost. While lost, drawing does nothing
// and reports success, as the runtime lets a frame run on. A full-screen device is lost
// when its program leaves the foreground (Direct3D9Focus.cpp), or when a test says so.
#include "Direct3D9Internal.h"

#include <string.h>

#include <algorithm>

#include <winuser.h>

namespace d3d9 {

namespace {

constexpr DWORD kVertexProcessingFlags =
    D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING;
constexpr UINT kWindowedIntervals = D3DPRESENT_INTERVAL_DEFAULT | D3DPRESENT_INTERVAL_ONE |
                                    D3DPRESENT_INTERVAL_IMMEDIATE;
constexpr DWORD kPresentFlags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER | D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL |
                                D3DPRESENTFLAG_DEVICECLIP | D3DPRESENTFLAG_VIDEO;

bool ClientSize(HWND window, UINT& width, UINT& height) {
    if (!window) return false;
    RECT client;
    if (!GetClientRect(window, &client)) return false;
    width = static_cast<UINT>(client.right - client.left);
    height = static_cast<UINT>(client.bottom - client.top);
    return true;
}

}  // namespace

std::vector<Device*>& LiveDevices() {
    static std::vector<Device*> devices;
    return devices;
}

Device* AsDevice(IDirect3DDevice9* device) { return device ? dynamic_cast<Device*>(device) : nullptr; }

// ---- presentation parameters -------------------------------------------------------------

HRESULT Direct3D::ValidatePresentation(UINT ordinal, D3DDEVTYPE type, HWND focus,
                                       D3DPRESENT_PARAMETERS& params) const {
    const PlatformTestD3d9Adapter& a = adapters[ordinal];
    const D3DCAPS9& caps = a.devices.at(type);
    D3DPRESENT_PARAMETERS p = params;

    if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY) return D3DERR_INVALIDCALL;
    if (p.BackBufferCount > D3DPRESENT_BACK_BUFFERS_MAX) return D3DERR_INVALIDCALL;
    if (p.BackBufferCount == 0) p.BackBufferCount = 1;
    if (p.SwapEffect == D3DSWAPEFFECT_COPY && p.BackBufferCount > 1) return D3DERR_INVALIDCALL;
    if (p.Flags & ~kPresentFlags) return D3DERR_INVALIDCALL;

    if (p.MultiSampleType != D3DMULTISAMPLE_NONE) {
        // Multisampled buffers are resolved on present: only a discarding swap chain has them.
        if (p.SwapEffect != D3DSWAPEFFECT_DISCARD) return D3DERR_INVALIDCALL;
        if (p.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) return D3DERR_INVALIDCALL;
    } else if (p.MultiSampleQuality != 0) {
        return D3DERR_INVALIDCALL;
    }

    HWND window = p.hDeviceWindow ? p.hDeviceWindow : focus;
    if (p.Windowed) {
        if (!window) return D3DERR_INVALIDCALL;
        if (p.FullScreen_RefreshRateInHz != 0) return D3DERR_INVALIDCALL;
        if ((p.PresentationInterval & ~kWindowedIntervals) != 0) return D3DERR_INVALIDCALL;
        if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) {
            UINT width = 0, height = 0;
            if (!ClientSize(window, width, height)) return D3DERR_INVALIDCALL;
            // A minimised window has no client area; the runtime still makes a 1x1 buffer.
            if (p.BackBufferWidth == 0) p.BackBufferWidth = width ? width : 1;
            if (p.BackBufferHeight == 0) p.BackBufferHeight = height ? height : 1;
        }
        if (p.BackBufferFormat == D3DFMT_UNKNOWN) p.BackBufferFormat = a.desktop.Format;
        // A windowed swap chain presents onto the desktop as it is.
        if (WithoutAlpha(p.BackBufferFormat) != a.desktop.Format || !Contains(a.renderTargetFormats, p.BackBufferFormat))
            return D3DERR_INVALIDCALL;
    } else {
        if (!focus) return D3DERR_INVALIDCALL;
        const D3DFORMAT display = WithoutAlpha(p.BackBufferFormat);
        if (!IsDisplayFormat(display) || !Contains(a.renderTargetFormats, p.BackBufferFormat))
            return D3DERR_INVALIDCALL;
        bool found = false;
        for (const D3DDISPLAYMODE& mode : a.modes) {
            if (mode.Format == display && mode.Width == p.BackBufferWidth && mode.Height == p.BackBufferHeight &&
                (p.FullScreen_RefreshRateInHz == 0 || p.FullScreen_RefreshRateInHz == mode.RefreshRate))
                found = true;
        }
        if (!found) return D3DERR_INVALIDCALL;
        const UINT interval = p.PresentationInterval;
        if (interval != D3DPRESENT_INTERVAL_DEFAULT && interval != D3DPRESENT_INTERVAL_IMMEDIATE &&
            !(interval == D3DPRESENT_INTERVAL_ONE || interval == D3DPRESENT_INTERVAL_TWO ||
              interval == D3DPRESENT_INTERVAL_THREE || interval == D3DPRESENT_INTERVAL_FOUR))
            return D3DERR_INVALIDCALL;
        if (interval != D3DPRESENT_INTERVAL_DEFAULT && !(caps.PresentationIntervals & interval))
            return D3DERR_INVALIDCALL;
    }

    if (p.EnableAutoDepthStencil) {
        if (!IsDepthFormat(p.AutoDepthStencilFormat) || !Contains(a.depthFormats, p.AutoDepthStencilFormat))
            return D3DERR_INVALIDCALL;
    }
    // The buffers share their samples: each format must have the type and the quality.
    if (!MultiSampleSupported(a, p.BackBufferFormat, p.MultiSampleType, p.MultiSampleQuality) ||
        (p.EnableAutoDepthStencil &&
         !MultiSampleSupported(a, p.AutoDepthStencilFormat, p.MultiSampleType, p.MultiSampleQuality)))
        return D3DERR_INVALIDCALL;
    params = p;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Direct3D::CreateDevice(UINT ordinal, D3DDEVTYPE type, HWND focus, DWORD behavior,
                                                 D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** out) {
    if (HRESULT hr = Fault("CreateDevice")) {
        if (out) *out = nullptr;
        return hr;
    }
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!params) return D3DERR_INVALIDCALL;
    if (HRESULT hr = CheckAdapter(ordinal, type)) return hr;
    const D3DCAPS9& caps = adapters[ordinal].devices.at(type);
    // Exactly one kind of vertex processing; hardware and mixed need transform and
    // lighting in hardware, a pure device needs hardware processing and the caps bit.
    const DWORD processing = behavior & kVertexProcessingFlags;
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_MIXED_VERTEXPROCESSING)
        return D3DERR_INVALIDCALL;
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && !(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT))
        return D3DERR_INVALIDCALL;
    if ((behavior & D3DCREATE_PUREDEVICE) &&
        (processing != D3DCREATE_HARDWARE_VERTEXPROCESSING || !(caps.DevCaps & D3DDEVCAPS_PUREDEVICE)))
        return D3DERR_INVALIDCALL;
    if (HRESULT hr = ValidatePresentation(ordinal, type, focus, *params)) return hr;
    Device* device = new Device(this, ordinal, type, focus, behavior, *params, caps);
    Log("CreateDevice", D3D_OK, {U(ordinal), U(type), H(behavior), U(params->BackBufferWidth),
                                 U(params->BackBufferHeight), U(params->BackBufferFormat), U(params->Windowed)});
    *out = device;
    return D3D_OK;
}

// ---- the device -------------------------------------------------------------------------

Device::Device(Direct3D* d3d_, UINT adapter_, D3DDEVTYPE type, HWND focus, DWORD behavior_,
               const D3DPRESENT_PARAMETERS& params, const D3DCAPS9& caps_)
    : number(NextObjectNumber()),
      d3d(d3d_),
      adapter(adapter_),
      deviceType(type),
      focusWindow(focus),
      behavior(behavior_),
      present(params),
      caps(caps_) {
    caps.DeviceType = type;
    caps.AdapterOrdinal = adapter;
    d3d->AddRef();
    LiveDevices().push_back(this);
    WatchFocusWindows();
    CountLive(PlatformTestD3d9Kind::Device, 1);
    softwareVertexProcessing = (behavior & D3DCREATE_SOFTWARE_VERTEXPROCESSING) ? TRUE : FALSE;
    for (UINT i = 0; i < 256; ++i) {
        const WORD level = static_cast<WORD>(i * 257);  // the identity ramp over 16 bits
        gamma.red[i] = gamma.green[i] = gamma.blue[i] = level;
    }
    for (IDirect3DBaseTexture9*& texture : states.textures) texture = nullptr;
    swapChain = new SwapChain(this);
    BuildSwapChain();
    ResetStates();
}

Device::~Device() {
    if (recording) {
        StateBlock* block = recording;
        recording = nullptr;
        block->Unbind();
    }
    ReleaseStates(states);
    ReleaseSwapChain();
    for (auto& entry : fvfDeclarations) entry.second->Unbind();
    fvfDeclarations.clear();
    if (swapChain) swapChain->Unbind();
    swapChain = nullptr;
    // Whatever is still listed was held by something that outlives the device; it keeps
    // working without one rather than pointing at freed memory.
    for (ObjectBase* object : live) object->device = nullptr;
    live.clear();
    auto& devices = LiveDevices();
    devices.erase(std::remove(devices.begin(), devices.end(), this), devices.end());
    CountLive(PlatformTestD3d9Kind::Device, -1);
    d3d->Release();
}

void Device::Untrack(ObjectBase* object) {
    const auto it = std::find(live.begin(), live.end(), object);
    if (it != live.end()) live.erase(it);
}

const PlatformTestD3d9Adapter& Device::AdapterConfig() const { return d3d->adapters[adapter]; }

void Device::BuildSwapChain() {
    D3DSURFACE_DESC desc;
    desc.Format = present.BackBufferFormat;
    desc.Type = D3DRTYPE_SURFACE;
    desc.Usage = D3DUSAGE_RENDERTARGET;
    desc.Pool = D3DPOOL_DEFAULT;
    desc.MultiSampleType = present.MultiSampleType;
    desc.MultiSampleQuality = present.MultiSampleQuality;
    desc.Width = present.BackBufferWidth;
    desc.Height = present.BackBufferHeight;
    const bool lockable = (present.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
    for (UINT i = 0; i < present.BackBufferCount; ++i) {
        Surface* buffer = new Surface(this, desc, lockable, false);
        buffer->swapChain = swapChain;
        backBuffers.push_back(buffer);
    }
    Assign(renderTargets[0], backBuffers[0]);
    if (present.EnableAutoDepthStencil) {
        desc.Format = present.AutoDepthStencilFormat;
        desc.Usage = D3DUSAGE_DEPTHSTENCIL;
        autoDepthStencil = new Surface(this, desc, IsLockableDepth(desc.Format), false);
        Assign(depthStencil, autoDepthStencil);
    }
}

void Device::ReleaseSwapChain() {
    for (Surface*& target : renderTargets) Assign(target, static_cast<Surface*>(nullptr));
    Assign(depthStencil, static_cast<Surface*>(nullptr));
    for (Surface* buffer : backBuffers) buffer->Unbind();
    backBuffers.clear();
    if (autoDepthStencil) autoDepthStencil->Unbind();
    autoDepthStencil = nullptr;
}

void Device::ResetStates() {
    DefaultStates(states, caps, present.BackBufferWidth, present.BackBufferHeight,
                  present.EnableAutoDepthStencil != FALSE);
    softwareVertexProcessing = (behavior & D3DCREATE_SOFTWARE_VERTEXPROCESSING) ? TRUE : FALSE;
}

HRESULT STDMETHODCALLTYPE Device::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DDevice9) {
        AddRef();
        *out = static_cast<IDirect3DDevice9*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE Device::AddRef() { return ++refs; }

ULONG STDMETHODCALLTYPE Device::Release() {
    if (refs == 0) return 0;
    const ULONG left = --refs;
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE Device::TestCooperativeLevel() {
    if (HRESULT hr = Fault("TestCooperativeLevel")) return hr;
    switch (state) {
    case DeviceState::Lost: return D3DERR_DEVICELOST;
    case DeviceState::NotReset: return D3DERR_DEVICENOTRESET;
    default: return D3D_OK;
    }
}

HRESULT STDMETHODCALLTYPE Device::EvictManagedResources() {
    if (HRESULT hr = Fault("EvictManagedResources")) return hr;
    Log("EvictManagedResources", D3D_OK, {});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetDirect3D(IDirect3D9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    d3d->AddRef();
    *out = d3d;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetDeviceCaps(D3DCAPS9* out) {
    if (HRESULT hr = Fault("GetDeviceCaps")) return hr;
    if (!out) return D3DERR_INVALIDCALL;
    *out = caps;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* mode) {
    if (iSwapChain != 0 || !mode) return D3DERR_INVALIDCALL;
    if (present.Windowed) {
        *mode = AdapterConfig().desktop;
    } else {
        mode->Width = present.BackBufferWidth;
        mode->Height = present.BackBufferHeight;
        mode->RefreshRate = present.FullScreen_RefreshRateInHz;
        mode->Format = WithoutAlpha(present.BackBufferFormat);
        if (mode->RefreshRate == 0) {
            for (const D3DDISPLAYMODE& m : AdapterConfig().modes)
                if (m.Format == mode->Format && m.Width == mode->Width && m.Height == mode->Height)
                    mode->RefreshRate = std::max(mode->RefreshRate, m.RefreshRate);
        }
    }
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* out) {
    if (!out) return D3DERR_INVALIDCALL;
    out->AdapterOrdinal = adapter;
    out->DeviceType = deviceType;
    out->hFocusWindow = focusWindow;
    out->BehaviorFlags = behavior;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetCursorProperties(UINT x, UINT y, IDirect3DSurface9* bitmap) {
    Surface* surface = dynamic_cast<Surface*>(bitmap);
    if (!surface) return D3DERR_INVALIDCALL;
    const UINT w = surface->desc.Width;
    const UINT h = surface->desc.Height;
    D3DDISPLAYMODE mode;
    GetDisplayMode(0, &mode);
    // Cursor images are powers of two no larger than the display.
    if ((w & (w - 1)) || (h & (h - 1)) || w > mode.Width || h > mode.Height || x >= w || y >= h)
        return D3DERR_INVALIDCALL;
    Log("SetCursorProperties", D3D_OK, {U(x), U(y), O(bitmap)});
    return D3D_OK;
}

void STDMETHODCALLTYPE Device::SetCursorPosition(int, int, DWORD) {}

BOOL STDMETHODCALLTYPE Device::ShowCursor(BOOL show) {
    const BOOL previous = cursorVisible;
    cursorVisible = show ? TRUE : FALSE;
    return previous;
}

HRESULT STDMETHODCALLTYPE Device::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* params,
                                                            IDirect3DSwapChain9** out) {
    if (!params || !out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE Device::GetSwapChain(UINT iSwapChain, IDirect3DSwapChain9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    if (iSwapChain != 0) {
        *out = nullptr;
        return D3DERR_INVALIDCALL;
    }
    swapChain->AddRefImpl();
    *out = swapChain;
    return D3D_OK;
}

UINT STDMETHODCALLTYPE Device::GetNumberOfSwapChains() { return 1; }

HRESULT STDMETHODCALLTYPE Device::Reset(D3DPRESENT_PARAMETERS* params) {
    if (HRESULT hr = Fault("Reset")) {
        Log("Reset", hr, {});
        return hr;
    }
    if (state == DeviceState::Lost) return D3DERR_DEVICELOST;
    D3DPRESENT_PARAMETERS checked = params ? *params : D3DPRESENT_PARAMETERS{};
    HRESULT hr = params ? d3d->ValidatePresentation(adapter, deviceType, focusWindow, checked) : D3DERR_INVALIDCALL;
    if (SUCCEEDED(hr)) {
        // Everything in the default pool must be gone, the swap chain's own buffers
        // included, before their memory can be laid out again.
        for (ObjectBase* object : live)
            if (object->BlocksReset()) hr = D3DERR_INVALIDCALL;
    }
    if (FAILED(hr)) {
        state = DeviceState::NotReset;
        Log("Reset", hr, {});
        return hr;
    }
    if (recording) {
        StateBlock* block = recording;
        recording = nullptr;
        block->Unbind();
    }
    ReleaseStates(states);
    ReleaseSwapChain();
    present = checked;
    *params = checked;
    BuildSwapChain();
    ResetStates();
    inScene = false;
    state = DeviceState::Ok;
    Log("Reset", D3D_OK, {U(checked.BackBufferWidth), U(checked.BackBufferHeight), U(checked.BackBufferFormat),
                          U(checked.Windowed)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::Present(const RECT*, const RECT*, HWND, const RGNDATA*) {
    if (HRESULT hr = Fault("Present")) {
        Log("Present", hr, {});
        return hr;
    }
    if (state != DeviceState::Ok) {
        // A frame of a lost device still ends in Present; the log shows it refused.
        Log("Present", D3DERR_DEVICELOST, {});
        return D3DERR_DEVICELOST;
    }
    ++frames;
    ++g_presentCount;
    Log("Present", D3D_OK, {});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE,
                                                IDirect3DSurface9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (iSwapChain != 0 || iBackBuffer >= backBuffers.size()) return D3DERR_INVALIDCALL;
    backBuffers[iBackBuffer]->AddRefImpl();
    *out = backBuffers[iBackBuffer];
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetRasterStatus(UINT iSwapChain, D3DRASTER_STATUS* status) {
    if (iSwapChain != 0 || !status) return D3DERR_INVALIDCALL;
    status->InVBlank = FALSE;
    status->ScanLine = 0;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetDialogBoxMode(BOOL enable) {
    if (enable && !(present.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER)) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

void STDMETHODCALLTYPE Device::SetGammaRamp(UINT iSwapChain, DWORD flags, const D3DGAMMARAMP* ramp) {
    if (iSwapChain != 0 || !ramp) return;
    gamma = *ramp;
    Log("SetGammaRamp", D3D_OK, {H(flags)});
}

void STDMETHODCALLTYPE Device::GetGammaRamp(UINT iSwapChain, D3DGAMMARAMP* ramp) {
    if (iSwapChain != 0 || !ramp) return;
    *ramp = gamma;
}

// ---- scenes and clears --------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE Device::BeginScene() {
    if (HRESULT hr = Fault("BeginScene")) return hr;
    if (inScene) {
        Log("BeginScene", D3DERR_INVALIDCALL, {});
        return D3DERR_INVALIDCALL;
    }
    inScene = true;
    Log("BeginScene", D3D_OK, {});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::EndScene() {
    if (HRESULT hr = Fault("EndScene")) return hr;
    if (!inScene) {
        Log("EndScene", D3DERR_INVALIDCALL, {});
        return D3DERR_INVALIDCALL;
    }
    inScene = false;
    Log("EndScene", D3D_OK, {});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                        DWORD stencil) {
    if (HRESULT hr = Fault("Clear")) return hr;
    HRESULT hr = D3D_OK;
    if ((count && !rects) || (flags & ~static_cast<DWORD>(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
        hr = D3DERR_INVALIDCALL;
    else if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depthStencil)
        hr = D3DERR_INVALIDCALL;
    else if ((flags & D3DCLEAR_STENCIL) && !HasStencil(depthStencil->desc.Format))
        hr = D3DERR_INVALIDCALL;
    Log("Clear", hr, {U(count), H(flags), H(color), F(z), U(stencil)});
    if (SUCCEEDED(hr) && (flags & D3DCLEAR_TARGET) && renderTargets[0]) {
        // The colour reaches the first target within the viewport (and the rectangles),
        // so that what a render target texture was cleared to can be read back.
        const D3DVIEWPORT9& v = states.viewport;
        const RECT view{LONG(v.X), LONG(v.Y), LONG(v.X + v.Width), LONG(v.Y + v.Height)};
        const LONG w = LONG(renderTargets[0]->desc.Width), h = LONG(renderTargets[0]->desc.Height);
        auto clip = [&](RECT r) {
            r.left = std::max({r.left, view.left, LONG(0)});
            r.top = std::max({r.top, view.top, LONG(0)});
            r.right = std::min({r.right, view.right, w});
            r.bottom = std::min({r.bottom, view.bottom, h});
            if (r.left < r.right && r.top < r.bottom) FillRect(*renderTargets[0], r, color);
        };
        if (count == 0) clip(view);
        for (DWORD i = 0; i < count; ++i) clip(RECT{rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
    }
    return hr;
}

// ---- fixed-function states -----------------------------------------------------------------

HRESULT STDMETHODCALLTYPE Device::SetRenderState(D3DRENDERSTATETYPE state_, DWORD value) {
    if (HRESULT hr = Fault("SetRenderState")) {
        Log("SetRenderState", hr, {U(state_), U(value)});
        return hr;
    }
    const UINT index = static_cast<UINT>(state_);
    if (index >= kRenderStates) {
        Log("SetRenderState", D3DERR_INVALIDCALL, {U(state_), U(value)});
        return D3DERR_INVALIDCALL;
    }
    Target().render[index] = value;
    if (StateMask* mask = RecordingMask()) mask->render.set(index);
    Log("SetRenderState", D3D_OK, {U(index), U(value)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetRenderState(D3DRENDERSTATETYPE state_, DWORD* value) {
    if (HRESULT hr = Fault("GetRenderState")) return hr;
    // A pure device keeps no copy the program could read.
    if (IsPure() || !value || static_cast<UINT>(state_) >= kRenderStates) return D3DERR_INVALIDCALL;
    *value = states.render[state_];
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (HRESULT hr = Fault("SetSamplerState")) {
        Log("SetSamplerState", hr, {U(sampler), U(type), U(value)});
        return hr;
    }
    const int slot = SamplerSlot(sampler);
    const UINT t = static_cast<UINT>(type);
    // The runtime takes samplers and types it does not keep without complaint.
    if (slot >= 0 && t >= 1 && t < kSamplerTypes) {
        Target().sampler[slot][t] = value;
        if (StateMask* mask = RecordingMask()) mask->sampler.set(slot * kSamplerTypes + t);
    }
    Log("SetSamplerState", D3D_OK, {U(sampler), U(t), U(value)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    const int slot = SamplerSlot(sampler);
    const UINT t = static_cast<UINT>(type);
    if (IsPure() || !value || slot < 0 || t < 1 || t >= kSamplerTypes) return D3DERR_INVALIDCALL;
    *value = states.sampler[slot][t];
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (HRESULT hr = Fault("SetTextureStageState")) {
        Log("SetTextureStageState", hr, {U(stage), U(type), U(value)});
        return hr;
    }
    const UINT t = static_cast<UINT>(type);
    if (stage < kStages && t >= 1 && t < kStageTypes) {
        Target().stage[stage][t] = value;
        if (StateMask* mask = RecordingMask()) mask->stage.set(stage * kStageTypes + t);
    }
    Log("SetTextureStageState", D3D_OK, {U(stage), U(t), U(value)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    const UINT t = static_cast<UINT>(type);
    if (IsPure() || !value || stage >= kStages || t < 1 || t >= kStageTypes) return D3DERR_INVALIDCALL;
    *value = states.stage[stage][t];
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetTransform(D3DTRANSFORMSTATETYPE state_, const D3DMATRIX* matrix) {
    if (HRESULT hr = Fault("SetTransform")) {
        Log("SetTransform", hr, {U(state_)});
        return hr;
    }
    const UINT index = static_cast<UINT>(state_);
    if (!matrix || !IsTransform(index)) {
        Log("SetTransform", D3DERR_INVALIDCALL, {U(index)});
        return D3DERR_INVALIDCALL;
    }
    Target().transform[index] = *matrix;
    if (StateMask* mask = RecordingMask()) mask->transform.set(index);
    Log("SetTransform", D3D_OK, {U(index), F(matrix->_11), F(matrix->_22), F(matrix->_33), F(matrix->_41),
                                 F(matrix->_42), F(matrix->_43)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetTransform(D3DTRANSFORMSTATETYPE state_, D3DMATRIX* matrix) {
    if (IsPure() || !matrix || !IsTransform(state_)) return D3DERR_INVALIDCALL;
    *matrix = states.transform[state_];
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::MultiplyTransform(D3DTRANSFORMSTATETYPE state_, const D3DMATRIX* matrix) {
    if (!matrix || !IsTransform(state_)) return D3DERR_INVALIDCALL;
    // The given matrix times the current one.
    const D3DMATRIX current = states.transform[state_];
    D3DMATRIX product;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += matrix->m[r][k] * current.m[k][c];
            product.m[r][c] = sum;
        }
    return SetTransform(state_, &product);
}

HRESULT STDMETHODCALLTYPE Device::SetViewport(const D3DVIEWPORT9* viewport) {
    if (HRESULT hr = Fault("SetViewport")) return hr;
    HRESULT hr = D3D_OK;
    const Surface* target = renderTargets[0];
    // The viewport must lie within render target 0.
    if (!viewport || !target || uint64_t(viewport->X) + viewport->Width > target->desc.Width ||
        uint64_t(viewport->Y) + viewport->Height > target->desc.Height)
        hr = D3DERR_INVALIDCALL;
    if (viewport) {
        Log("SetViewport", hr, {U(viewport->X), U(viewport->Y), U(viewport->Width), U(viewport->Height),
                                F(viewport->MinZ), F(viewport->MaxZ)});
    }
    if (FAILED(hr)) return hr;
    Target().viewport = *viewport;
    if (StateMask* mask = RecordingMask()) mask->viewport = true;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetViewport(D3DVIEWPORT9* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = states.viewport;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetMaterial(const D3DMATERIAL9* material) {
    if (HRESULT hr = Fault("SetMaterial")) return hr;
    if (!material) {
        Log("SetMaterial", D3DERR_INVALIDCALL, {U(0)});
        return D3DERR_INVALIDCALL;
    }
    Target().material = *material;
    if (StateMask* mask = RecordingMask()) mask->material = true;
    Log("SetMaterial", D3D_OK, {F(material->Diffuse.r), F(material->Diffuse.g), F(material->Diffuse.b),
                                F(material->Diffuse.a), F(material->Power)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetMaterial(D3DMATERIAL9* material) {
    if (IsPure() || !material) return D3DERR_INVALIDCALL;
    *material = states.material;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetLight(DWORD index, const D3DLIGHT9* light) {
    if (HRESULT hr = Fault("SetLight")) return hr;
    if (!light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL || light->Range < 0.0f) {
        Log("SetLight", D3DERR_INVALIDCALL, {U(index)});
        return D3DERR_INVALIDCALL;
    }
    auto& lights = Target().lights;
    const auto it = lights.find(index);
    const BOOL enabled = it != lights.end() ? it->second.enabled : FALSE;
    lights[index] = Light{*light, enabled};
    if (StateMask* mask = RecordingMask()) mask->MarkLight(index);
    Log("SetLight", D3D_OK, {U(index), U(light->Type)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetLight(DWORD index, D3DLIGHT9* light) {
    if (IsPure() || !light) return D3DERR_INVALIDCALL;
    const auto it = states.lights.find(index);
    if (it == states.lights.end()) return D3DERR_INVALIDCALL;
    *light = it->second.light;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::LightEnable(DWORD index, BOOL enable) {
    if (HRESULT hr = Fault("LightEnable")) return hr;
    auto& lights = Target().lights;
    auto it = lights.find(index);
    if (it == lights.end()) {
        // Enabling a light never set makes the runtime's default light: white, directional,
        // pointing along +z.
        D3DLIGHT9 light;
        memset(&light, 0, sizeof light);
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
        light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
        it = lights.emplace(index, Light{light, FALSE}).first;
    }
    it->second.enabled = enable ? TRUE : FALSE;
    if (StateMask* mask = RecordingMask()) mask->MarkLight(index);
    Log("LightEnable", D3D_OK, {U(index), U(enable ? 1 : 0)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetLightEnable(DWORD index, BOOL* enable) {
    if (IsPure() || !enable) return D3DERR_INVALIDCALL;
    const auto it = states.lights.find(index);
    if (it == states.lights.end()) return D3DERR_INVALIDCALL;
    *enable = it->second.enabled;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetClipPlane(DWORD index, const float* plane) {
    if (!plane || index >= caps.MaxUserClipPlanes || index >= kClipPlanes) return D3DERR_INVALIDCALL;
    memcpy(Target().clipPlanes[index], plane, sizeof states.clipPlanes[index]);
    if (StateMask* mask = RecordingMask()) mask->clipPlanes.set(index);
    Log("SetClipPlane", D3D_OK, {U(index), F(plane[0]), F(plane[1]), F(plane[2]), F(plane[3])});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetClipPlane(DWORD index, float* plane) {
    if (IsPure() || !plane || index >= caps.MaxUserClipPlanes || index >= kClipPlanes) return D3DERR_INVALIDCALL;
    memcpy(plane, states.clipPlanes[index], sizeof states.clipPlanes[index]);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetClipStatus(const D3DCLIPSTATUS9* status) {
    if (!status) return D3DERR_INVALIDCALL;
    clipStatus = *status;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetClipStatus(D3DCLIPSTATUS9* status) {
    if (!status) return D3DERR_INVALIDCALL;
    *status = clipStatus;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetScissorRect(const RECT* rect) {
    if (HRESULT hr = Fault("SetScissorRect")) return hr;
    if (!rect) return D3DERR_INVALIDCALL;
    Target().scissor = *rect;
    if (StateMask* mask = RecordingMask()) mask->scissor = true;
    Log("SetScissorRect", D3D_OK, {I(rect->left), I(rect->top), I(rect->right), I(rect->bottom)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetScissorRect(RECT* rect) {
    if (!rect) return D3DERR_INVALIDCALL;
    *rect = states.scissor;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetSoftwareVertexProcessing(BOOL software) {
    // Only a mixed device switches between the two.
    if (!(behavior & D3DCREATE_MIXED_VERTEXPROCESSING)) return D3DERR_INVALIDCALL;
    softwareVertexProcessing = software ? TRUE : FALSE;
    Log("SetSoftwareVertexProcessing", D3D_OK, {U(softwareVertexProcessing)});
    return D3D_OK;
}

BOOL STDMETHODCALLTYPE Device::GetSoftwareVertexProcessing() { return softwareVertexProcessing; }

HRESULT STDMETHODCALLTYPE Device::SetNPatchMode(float segments) {
    if (segments < 0.0f) return D3DERR_INVALIDCALL;
    Target().nPatchMode = segments;
    if (StateMask* mask = RecordingMask()) mask->nPatchMode = true;
    Log("SetNPatchMode", D3D_OK, {F(segments)});
    return D3D_OK;
}

float STDMETHODCALLTYPE Device::GetNPatchMode() { return states.nPatchMode; }

HRESULT STDMETHODCALLTYPE Device::ValidateDevice(DWORD* passes) {
    if (!passes) return D3DERR_INVALIDCALL;
    // A texture sampled with no filter for its texels has nothing to give: the device
    // filters minified and magnified texels with at least the nearest one.
    for (UINT slot = 0; slot < kPixelSamplers; ++slot) {
        if (!states.textures[slot]) continue;
        if (states.sampler[slot][D3DSAMP_MINFILTER] == D3DTEXF_NONE ||
            states.sampler[slot][D3DSAMP_MAGFILTER] == D3DTEXF_NONE)
            return D3DERR_UNSUPPORTEDTEXTUREFILTER;
    }
    *passes = 1;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetPaletteEntries(UINT number, const PALETTEENTRY* entries) {
    if (!entries) return D3DERR_INVALIDCALL;
    palettes[number].assign(entries, entries + 256);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetPaletteEntries(UINT number, PALETTEENTRY* entries) {
    const auto it = palettes.find(number);
    if (!entries || it == palettes.end()) return D3DERR_INVALIDCALL;
    memcpy(entries, it->second.data(), it->second.size() * sizeof(PALETTEENTRY));
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetCurrentTexturePalette(UINT number) {
    if (!palettes.count(number)) return D3DERR_INVALIDCALL;
    texturePalette = number;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetCurrentTexturePalette(UINT* number) {
    if (!number) return D3DERR_INVALIDCALL;
    *number = texturePalette;
    return D3D_OK;
}

}  // namespace d3d9
