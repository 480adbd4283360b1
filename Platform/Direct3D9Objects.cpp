// The reference device's resource objects: buffers with the memory Lock hands out,
// surfaces, vertex declarations, shaders, queries, the swap chain and state blocks, and
// the counting they share (see Direct3D9Internal.h). Each object knows its device and is
// listed by it, so that a reset can see which default-pool objects the program still
// holds and the device can let go of its own holds when it goes.
#include "Direct3D9Internal.h"

#include <string.h>

namespace d3d9 {

// ---- counting -----------------------------------------------------------------------------

ObjectBase::ObjectBase(Device* device_, PlatformTestD3d9Kind kind_, bool heldByProgram)
    : device(device_), refs(heldByProgram ? 1 : 0), number(NextObjectNumber()), kind(kind_) {
    if (!heldByProgram) binds = 1;  // the device's own object
    if (device) {
        device->Track(this);
        if (heldByProgram) device->AddRef();
    }
    CountLive(kind, 1);
}

ObjectBase::~ObjectBase() {
    if (device) device->Untrack(this);
    CountLive(kind, -1);
}

ULONG ObjectBase::AddRefImpl() {
    // The program's first reference holds the device again.
    if (++refs == 1 && device) device->AddRef();
    return refs;
}

ULONG ObjectBase::ReleaseImpl() {
    if (refs == 0) return 0;  // a release the program does not hold must not wrap
    const ULONG left = --refs;
    if (left == 0) {
        Device* owner = device;
        if (binds == 0) delete this;
        // Released last: the device may go with this reference, and with it what it held.
        if (owner) owner->Release();
    }
    return left;
}

void ObjectBase::HandToProgram() {
    refs = 1;
    if (device) device->AddRef();
    if (binds > 0) --binds;
}

void ObjectBase::Unbind() {
    if (binds == 0) return;
    if (--binds == 0 && refs == 0) delete this;
}

ObjectBase* Base(IUnknown* object) { return object ? dynamic_cast<ObjectBase*>(object) : nullptr; }

void BindObject(IUnknown* object) {
    if (ObjectBase* base = Base(object)) base->Bind();
}

void UnbindObject(IUnknown* object) {
    if (ObjectBase* base = Base(object)) base->Unbind();
}

HRESULT HandOut(ObjectBase* object, IUnknown* as, void** out) {
    object->AddRefImpl();
    *out = as;
    return D3D_OK;
}

// Hands the device out with a reference.
HRESULT GiveDevice(Device* device, IDirect3DDevice9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    device->AddRef();
    *out = device;
    return D3D_OK;
}

// ---- resources --------------------------------------------------------------------------

template <class I>
Resource<I>::~Resource() {
    for (auto& entry : privateData) Free(entry.second);
}

template <class I>
HRESULT STDMETHODCALLTYPE Resource<I>::GetDevice(IDirect3DDevice9** out) {
    return GiveDevice(this->device, out);
}

template <class I>
typename Resource<I>::PrivateData* Resource<I>::FindData(REFGUID guid) {
    for (auto& entry : privateData)
        if (entry.first == guid) return &entry.second;
    return nullptr;
}

template <class I>
void Resource<I>::Free(PrivateData& data) {
    if (data.object) data.object->Release();
    data.object = nullptr;
    data.bytes.clear();
}

constexpr DWORD kPrivateDataIUnknown = 1;  // D3DSPD_IUNKNOWN: the data is an interface to hold

template <class I>
HRESULT STDMETHODCALLTYPE Resource<I>::SetPrivateData(REFGUID guid, const void* data, DWORD size, DWORD flags) {
    if (!data && size) return D3DERR_INVALIDCALL;
    if ((flags & kPrivateDataIUnknown) && size != sizeof(IUnknown*)) return D3DERR_INVALIDCALL;
    PrivateData* slot = FindData(guid);
    if (slot) {
        Free(*slot);
    } else {
        privateData.emplace_back(guid, PrivateData{});
        slot = &privateData.back().second;
    }
    if (flags & kPrivateDataIUnknown) {
        IUnknown* object = nullptr;
        memcpy(&object, data, sizeof object);
        if (object) object->AddRef();
        slot->object = object;
    }
    slot->bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    return D3D_OK;
}

template <class I>
HRESULT STDMETHODCALLTYPE Resource<I>::GetPrivateData(REFGUID guid, void* data, DWORD* size) {
    PrivateData* slot = FindData(guid);
    if (!slot) return D3DERR_NOTFOUND;
    if (!size) return D3DERR_INVALIDCALL;
    const DWORD needed = static_cast<DWORD>(slot->bytes.size());
    if (!data) {
        *size = needed;
        return D3D_OK;
    }
    if (*size < needed) {
        *size = needed;
        return D3DERR_MOREDATA;
    }
    if (slot->object) slot->object->AddRef();
    memcpy(data, slot->bytes.data(), needed);
    *size = needed;
    return D3D_OK;
}

template <class I>
HRESULT STDMETHODCALLTYPE Resource<I>::FreePrivateData(REFGUID guid) {
    for (size_t i = 0; i < privateData.size(); ++i) {
        if (privateData[i].first != guid) continue;
        Free(privateData[i].second);
        privateData.erase(privateData.begin() + static_cast<long>(i));
        return D3D_OK;
    }
    return D3DERR_NOTFOUND;
}

template <class I>
DWORD STDMETHODCALLTYPE Resource<I>::SetPriority(DWORD newPriority) {
    // Only managed resources keep a priority.
    const DWORD old = priority;
    if (pool == D3DPOOL_MANAGED) priority = newPriority;
    return old;
}

template class Resource<IDirect3DVertexBuffer9>;
template class Resource<IDirect3DIndexBuffer9>;
template class Resource<IDirect3DSurface9>;
template class Resource<IDirect3DTexture9>;
template class Resource<IDirect3DCubeTexture9>;

// ---- buffers ----------------------------------------------------------------------------

constexpr DWORD kLockFlags =
    D3DLOCK_READONLY | D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK | D3DLOCK_DONOTWAIT |
    D3DLOCK_NO_DIRTY_UPDATE;

HRESULT Buffer::LockBytes(const void* buffer, DWORD usage, UINT offset, UINT size, void** data, DWORD flags) {
    if (HRESULT hr = Fault("Lock")) return hr;
    if (!data) return D3DERR_INVALIDCALL;
    // The runtime accepts a discarding lock of a buffer made without D3DUSAGE_DYNAMIC; a
    // debug runtime warns about it, and so does the call log.
    if ((flags & D3DLOCK_DISCARD) && !(usage & D3DUSAGE_DYNAMIC) && g_recording)
        Record("Warning: D3DLOCK_DISCARD without D3DUSAGE_DYNAMIC", false, {O(buffer), H(flags)});
    // Flags the runtime does not know, and reading what is being discarded, are refused.
    if ((flags & ~kLockFlags) || ((flags & D3DLOCK_READONLY) && (flags & D3DLOCK_DISCARD))) {
        *data = nullptr;
        return D3DERR_INVALIDCALL;
    }
    const size_t length = bytes.size();
    // Size 0 locks from the offset to the end; a range past the end would hand out
    // memory the buffer does not have.
    if (offset > length || (size != 0 && size > length - offset)) {
        *data = nullptr;
        return D3DERR_INVALIDCALL;
    }
    *data = bytes.data() + offset;
    ++locks;
    return D3D_OK;
}

HRESULT Buffer::UnlockBytes() {
    if (locks == 0) return D3DERR_INVALIDCALL;
    --locks;
    return D3D_OK;
}

VertexBuffer::VertexBuffer(Device* device, UINT length, DWORD usage, DWORD fvf_, D3DPOOL pool)
    : Resource(device, PlatformTestD3d9Kind::VertexBuffer, D3DRTYPE_VERTEXBUFFER, pool, usage),
      Buffer(length),
      fvf(fvf_) {}

VertexBuffer::~VertexBuffer() = default;

bool VertexBuffer::Answers(REFIID riid) const {
    return riid == IID_IDirect3DVertexBuffer9 || riid == IID_IDirect3DResource9;
}

HRESULT STDMETHODCALLTYPE VertexBuffer::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    return LockBytes(this, usage, offset, size, data, flags);
}

HRESULT STDMETHODCALLTYPE VertexBuffer::Unlock() { return UnlockBytes(); }

HRESULT STDMETHODCALLTYPE VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = D3DFMT_VERTEXDATA;
    desc->Type = D3DRTYPE_VERTEXBUFFER;
    desc->Usage = usage;
    desc->Pool = pool;
    desc->Size = static_cast<UINT>(bytes.size());
    desc->FVF = fvf;
    return D3D_OK;
}

IndexBuffer::IndexBuffer(Device* device, UINT length, DWORD usage, D3DFORMAT format_, D3DPOOL pool)
    : Resource(device, PlatformTestD3d9Kind::IndexBuffer, D3DRTYPE_INDEXBUFFER, pool, usage),
      Buffer(length),
      format(format_) {}

IndexBuffer::~IndexBuffer() = default;

bool IndexBuffer::Answers(REFIID riid) const {
    return riid == IID_IDirect3DIndexBuffer9 || riid == IID_IDirect3DResource9;
}

HRESULT STDMETHODCALLTYPE IndexBuffer::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    return LockBytes(this, usage, offset, size, data, flags);
}

HRESULT STDMETHODCALLTYPE IndexBuffer::Unlock() { return UnlockBytes(); }

HRESULT STDMETHODCALLTYPE IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = format;
    desc->Type = D3DRTYPE_INDEXBUFFER;
    desc->Usage = usage;
    desc->Pool = pool;
    desc->Size = static_cast<UINT>(bytes.size());
    return D3D_OK;
}

// ---- surfaces ---------------------------------------------------------------------------

Surface::Surface(Device* device, const D3DSURFACE_DESC& desc_, bool lockable_, bool heldByProgram)
    : Resource(device, PlatformTestD3d9Kind::Surface, D3DRTYPE_SURFACE, desc_.Pool, desc_.Usage, heldByProgram),
      desc(desc_),
      lockable(lockable_) {
    // Colour surfaces keep their pixels (copies and fills reach them); a depth buffer only
    // when it can be locked.
    if (lockable || !IsDepthFormat(desc.Format)) {
        bytes.resize(SurfaceBytes(desc.Format, desc.Width, desc.Height));
        pixels = bytes.data();
    }
}

Surface::Surface(Device* device, const D3DSURFACE_DESC& desc_, bool lockable_, ObjectBase* container_,
                 uint8_t* pixels_)
    : Resource(device, PlatformTestD3d9Kind::Surface, D3DRTYPE_SURFACE, desc_.Pool, desc_.Usage, false),
      desc(desc_),
      lockable(lockable_),
      container(container_),
      pixels(pixels_) {}

Surface::~Surface() = default;

ULONG Surface::AddRefImpl() { return container ? container->AddRefImpl() : ObjectBase::AddRefImpl(); }
ULONG Surface::ReleaseImpl() { return container ? container->ReleaseImpl() : ObjectBase::ReleaseImpl(); }
void Surface::Bind() {
    if (container)
        container->Bind();
    else
        ObjectBase::Bind();
}
void Surface::Unbind() {
    if (container)
        container->Unbind();
    else
        ObjectBase::Unbind();
}
bool Surface::HeldByProgram() const { return container ? container->HeldByProgram() : ObjectBase::HeldByProgram(); }

bool Surface::Answers(REFIID riid) const { return riid == IID_IDirect3DSurface9 || riid == IID_IDirect3DResource9; }

HRESULT STDMETHODCALLTYPE Surface::GetContainer(REFIID riid, void** out) {
    if (!out) return D3DERR_INVALIDCALL;
    // A level answers for its texture (and the texture's interfaces); the device is the
    // container of every other surface but the swap chain's.
    if (container) return container->Interface()->QueryInterface(riid, out);
    if (swapChain && (riid == IID_IDirect3DSwapChain9 || riid == IID_IUnknown))
        return HandOut(swapChain, swapChain->Interface(), out);
    if (riid == IID_IDirect3DDevice9 || (!swapChain && riid == IID_IUnknown)) {
        device->AddRef();
        *out = static_cast<IDirect3DDevice9*>(device);
        return D3D_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE Surface::GetDesc(D3DSURFACE_DESC* out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = desc;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Surface::LockRect(D3DLOCKED_RECT* out, const RECT* rect, DWORD flags) {
    if (HRESULT hr = Fault("LockRect")) return hr;
    if (!out || !lockable || locked || (flags & ~kLockFlags)) return D3DERR_INVALIDCALL;
    const UINT pitch = RowPitch(desc.Format, desc.Width);
    size_t offset = 0;
    if (rect) {
        // Empty, inverted and out-of-bounds rectangles are refused, as newer runtimes do.
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
            static_cast<UINT>(rect->right) > desc.Width || static_cast<UINT>(rect->bottom) > desc.Height)
            return D3DERR_INVALIDCALL;
        if (IsBlockCompressed(desc.Format)) {
            const UINT block = desc.Format == D3DFMT_DXT1 ? 8 : 16;
            offset = size_t(rect->top / 4) * pitch + size_t(rect->left / 4) * block;
        } else {
            offset = size_t(rect->top) * pitch + size_t(rect->left) * FormatBits(desc.Format) / 8;
        }
    }
    out->Pitch = static_cast<INT>(pitch);
    out->pBits = pixels + offset;
    locked = true;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Surface::UnlockRect() {
    if (!locked) return unlockTwiceAllowed ? D3D_OK : D3DERR_INVALIDCALL;
    locked = false;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Surface::GetDC(HDC* dc) {
    // No GDI on this platform.
    if (dc) *dc = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Surface::ReleaseDC(HDC) { return D3DERR_INVALIDCALL; }

// ---- vertex declarations ------------------------------------------------------------------

VertexDeclaration::VertexDeclaration(Device* device, const D3DVERTEXELEMENT9* first, UINT count,
                                     bool heldByProgram)
    : Object(device, PlatformTestD3d9Kind::VertexDeclaration, heldByProgram), elements(first, first + count + 1) {}

VertexDeclaration::~VertexDeclaration() = default;

bool VertexDeclaration::Answers(REFIID riid) const { return riid == IID_IDirect3DVertexDeclaration9; }

HRESULT STDMETHODCALLTYPE VertexDeclaration::GetDevice(IDirect3DDevice9** out) { return GiveDevice(device, out); }

HRESULT STDMETHODCALLTYPE VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* out, UINT* count) {
    if (!count) return D3DERR_INVALIDCALL;
    // The count includes the end marker, and the whole array is copied: the runtime
    // trusts the caller's room.
    *count = static_cast<UINT>(elements.size());
    if (out) memcpy(out, elements.data(), elements.size() * sizeof elements[0]);
    return D3D_OK;
}

UINT VertexDeclaration::StreamExtent(UINT stream) const {
    if (fvfStride) return stream == 0 ? fvfStride : 0;
    static const UINT kSizes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8};
    UINT extent = 0;
    for (size_t i = 0; i + 1 < elements.size(); ++i) {
        const D3DVERTEXELEMENT9& e = elements[i];
        if (e.Stream != stream || e.Type >= sizeof kSizes / sizeof kSizes[0]) continue;
        const UINT end = e.Offset + kSizes[e.Type];
        if (end > extent) extent = end;
    }
    return extent;
}

// ---- shaders ----------------------------------------------------------------------------

template <class I, PlatformTestD3d9Kind K>
bool Shader<I, K>::Answers(REFIID riid) const {
    return riid == (K == PlatformTestD3d9Kind::VertexShader ? IID_IDirect3DVertexShader9 : IID_IDirect3DPixelShader9);
}

template <class I, PlatformTestD3d9Kind K>
HRESULT STDMETHODCALLTYPE Shader<I, K>::GetDevice(IDirect3DDevice9** out) {
    return GiveDevice(this->device, out);
}

template <class I, PlatformTestD3d9Kind K>
HRESULT STDMETHODCALLTYPE Shader<I, K>::GetFunction(void* data, UINT* size) {
    if (!size) return D3DERR_INVALIDCALL;
    const UINT bytes = static_cast<UINT>(tokens.size() * sizeof(DWORD));
    if (!data) {
        *size = bytes;
        return D3D_OK;
    }
    if (*size < bytes) return D3DERR_INVALIDCALL;
    memcpy(data, tokens.data(), bytes);
    *size = bytes;
    return D3D_OK;
}

template class Shader<IDirect3DVertexShader9, PlatformTestD3d9Kind::VertexShader>;
template class Shader<IDirect3DPixelShader9, PlatformTestD3d9Kind::PixelShader>;

// ---- queries ----------------------------------------------------------------------------

Query::Query(Device* device, D3DQUERYTYPE type_) : Object(device, PlatformTestD3d9Kind::Query), type(type_) {}

bool Query::Answers(REFIID riid) const { return riid == IID_IDirect3DQuery9; }

HRESULT STDMETHODCALLTYPE Query::GetDevice(IDirect3DDevice9** out) { return GiveDevice(device, out); }

DWORD STDMETHODCALLTYPE Query::GetDataSize() {
    switch (type) {
    case D3DQUERYTYPE_TIMESTAMP:
    case D3DQUERYTYPE_TIMESTAMPFREQ: return sizeof(uint64_t);
    case D3DQUERYTYPE_EVENT:
    case D3DQUERYTYPE_TIMESTAMPDISJOINT: return sizeof(BOOL);
    default: return sizeof(DWORD);
    }
}

HRESULT STDMETHODCALLTYPE Query::Issue(DWORD flags) {
    if (HRESULT hr = Fault("Issue")) return hr;
    const bool beginnable = type == D3DQUERYTYPE_OCCLUSION || type == D3DQUERYTYPE_TIMESTAMPDISJOINT;
    if ((flags & ~static_cast<DWORD>(D3DISSUE_BEGIN | D3DISSUE_END)) ||
        (flags & D3DISSUE_BEGIN && !beginnable) || (flags & D3DISSUE_BEGIN && flags & D3DISSUE_END)) {
        Log("Issue", D3DERR_INVALIDCALL, {O(this), H(flags)});
        return D3DERR_INVALIDCALL;
    }
    Log("Issue", D3D_OK, {O(this), H(flags)});
    if (flags & D3DISSUE_BEGIN) {
        begun = true;
        drawsAtBegin = g_drawCount;
        return D3D_OK;
    }
    if (!(flags & D3DISSUE_END)) return D3D_OK;
    // The answer is fixed when the end is issued.
    issued = true;
    pendingPolls = 0;
    switch (type) {
    case D3DQUERYTYPE_OCCLUSION: {
        PlatformTestOcclusionResult scripted;
        if (NextScriptedOcclusion(scripted)) {
            result = scripted.pixels;
            pendingPolls = scripted.pendingPolls;
        } else if (begun && g_drawCount > drawsAtBegin && device->RenderTargetSurface()) {
            // Nothing is rasterised: a draw counts as covering the whole target.
            const D3DSURFACE_DESC& target = device->RenderTargetSurface()->desc;
            result = uint64_t(target.Width) * target.Height;
        } else {
            result = 0;
        }
        break;
    }
    case D3DQUERYTYPE_EVENT: result = TRUE; break;
    case D3DQUERYTYPE_TIMESTAMP: result = device->frames * 1000; break;
    case D3DQUERYTYPE_TIMESTAMPFREQ: result = 1000000; break;
    default: result = 0; break;
    }
    begun = false;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Query::GetData(void* data, DWORD size, DWORD flags) {
    if (HRESULT hr = Fault("GetData")) return hr;
    if (flags & ~static_cast<DWORD>(D3DGETDATA_FLUSH)) return D3DERR_INVALIDCALL;
    if (size && !data) return D3DERR_INVALIDCALL;
    if (device->state != DeviceState::Ok) return D3DERR_DEVICELOST;
    // A query never ended answers at once with nothing written.
    if (!issued) return S_OK;
    if (pendingPolls > 0) {
        --pendingPolls;
        return S_FALSE;
    }
    // A smaller buffer gets the first bytes of the answer only.
    const DWORD full = GetDataSize();
    if (size) memcpy(data, &result, size < full ? size : full);
    return S_OK;
}

// ---- the swap chain ---------------------------------------------------------------------

SwapChain::SwapChain(Device* device) : Object(device, PlatformTestD3d9Kind::SwapChain, false) {}

bool SwapChain::Answers(REFIID riid) const { return riid == IID_IDirect3DSwapChain9; }

HRESULT STDMETHODCALLTYPE SwapChain::Present(const RECT* source, const RECT* dest, HWND window,
                                             const RGNDATA* dirty, DWORD) {
    return device->Present(source, dest, window, dirty);
}

HRESULT STDMETHODCALLTYPE SwapChain::GetFrontBufferData(IDirect3DSurface9* dest) {
    return device->GetFrontBufferData(0, dest);
}

HRESULT STDMETHODCALLTYPE SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** out) {
    return device->GetBackBuffer(0, index, type, out);
}

HRESULT STDMETHODCALLTYPE SwapChain::GetRasterStatus(D3DRASTER_STATUS* status) {
    return device->GetRasterStatus(0, status);
}

HRESULT STDMETHODCALLTYPE SwapChain::GetDisplayMode(D3DDISPLAYMODE* mode) { return device->GetDisplayMode(0, mode); }

HRESULT STDMETHODCALLTYPE SwapChain::GetDevice(IDirect3DDevice9** out) { return GiveDevice(device, out); }

HRESULT STDMETHODCALLTYPE SwapChain::GetPresentParameters(D3DPRESENT_PARAMETERS* params) {
    if (!params) return D3DERR_INVALIDCALL;
    *params = device->present;
    // The swap chain reports the window it presents to.
    if (!params->hDeviceWindow) params->hDeviceWindow = device->focusWindow;
    return D3D_OK;
}

}  // namespace d3d9
