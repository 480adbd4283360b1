// The reference device's resources and draws: creation of buffers, surfaces,
// declarations, shaders, queries and state blocks with the runtime's argument checks;
// binding them; and draws, which are checked against what is bound and recorded, never
// rasterised. A draw that would read outside a bound vertex or index buffer is refused
// with D3DERR_INVALIDCALL, so that a fault in the engine shows as a failed call here
// rather than as a wild read on a real driver.
#include "Direct3D9Internal.h"

#include <d3dx9mesh.h>
#include <string.h>

#include <algorithm>

namespace d3d9 {

namespace {

constexpr DWORD kBufferUsages = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC | D3DUSAGE_SOFTWAREPROCESSING |
                                D3DUSAGE_DONOTCLIP | D3DUSAGE_POINTS | D3DUSAGE_RTPATCHES | D3DUSAGE_NPATCHES;
constexpr size_t kMaxShaderTokens = 1u << 20;  // far beyond any shader model's instruction limit

// The vertices (or indices) a draw of `count` primitives reads; 0 for an unknown type.
uint64_t VertexCount(D3DPRIMITIVETYPE type, UINT count) {
    switch (type) {
    case D3DPT_POINTLIST: return count;
    case D3DPT_LINELIST: return uint64_t(count) * 2;
    case D3DPT_LINESTRIP: return uint64_t(count) + 1;
    case D3DPT_TRIANGLELIST: return uint64_t(count) * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return uint64_t(count) + 2;
    default: return 0;
    }
}

bool ValidPool(D3DPOOL pool) { return pool >= D3DPOOL_DEFAULT && pool <= D3DPOOL_SCRATCH; }

template <class T>
T* Ours(IUnknown* object) {
    return object ? dynamic_cast<T*>(Base(object)) : nullptr;
}

// Checks that every index lies within [minIndex, minIndex + count).
bool IndicesWithin(const uint8_t* data, D3DFORMAT format, uint64_t first, uint64_t indexCount, UINT minIndex,
                   UINT count) {
    const uint64_t end = uint64_t(minIndex) + count;
    for (uint64_t i = 0; i < indexCount; ++i) {
        uint32_t index;
        if (format == D3DFMT_INDEX16) {
            uint16_t small;
            memcpy(&small, data + (first + i) * 2, sizeof small);
            index = small;
        } else {
            memcpy(&index, data + (first + i) * 4, sizeof index);
        }
        if (index < minIndex || index >= end) return false;
    }
    return true;
}

}  // namespace

// ---- texture bindings (the textures themselves: Direct3D9Textures.cpp) ---------------------

HRESULT STDMETHODCALLTYPE Device::CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                                                      IDirect3DVolumeTexture9** out, HANDLE*) {
    // The program has no use for volume textures, and the device has none.
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    if (HRESULT hr = Fault("SetTexture")) {
        Log("SetTexture", hr, {U(stage), O(nullptr)});
        return hr;
    }
    // Only the device's own textures can be bound.
    if (texture && !Base(texture)) {
        Log("SetTexture", D3DERR_INVALIDCALL, {U(stage), O(nullptr)});
        return D3DERR_INVALIDCALL;
    }
    const int slot = SamplerSlot(stage);
    if (slot >= 0) {
        Assign(Target().textures[slot], texture);
        if (StateMask* mask = RecordingMask()) mask->textures.set(slot);
    }
    Log("SetTexture", D3D_OK, {U(stage), O(texture)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** out) {
    const int slot = SamplerSlot(stage);
    if (!out || slot < 0) return D3DERR_INVALIDCALL;
    *out = states.textures[slot];
    if (*out) (*out)->AddRef();
    return D3D_OK;
}

// ---- buffers -------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                                     IDirect3DVertexBuffer9** out, HANDLE* shared) {
    if (HRESULT hr = Fault("CreateVertexBuffer")) {
        if (out) *out = nullptr;
        return hr;
    }
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    // Shared handles belong to the 9Ex runtime; scratch memory is never read by the
    // device, which is what vertices are for; a buffer shorter than one vertex of its FVF
    // could not hold what it says it holds.
    if (shared || length == 0 || (usage & ~kBufferUsages) || !ValidPool(pool) || pool == D3DPOOL_SCRATCH ||
        ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) || (fvf && length < D3DXGetFVFVertexSize(fvf)))
        return D3DERR_INVALIDCALL;
    VertexBuffer* buffer = new VertexBuffer(this, length, usage, fvf, pool);
    Log("CreateVertexBuffer", D3D_OK, {U(length), H(usage), H(fvf), U(pool), O(buffer->Interface())});
    *out = buffer;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                    IDirect3DIndexBuffer9** out, HANDLE* shared) {
    if (HRESULT hr = Fault("CreateIndexBuffer")) {
        if (out) *out = nullptr;
        return hr;
    }
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    // Indices, like vertices, are read by the device alone, which never sees scratch memory.
    if (shared || length == 0 || (usage & ~kBufferUsages) || !ValidPool(pool) || pool == D3DPOOL_SCRATCH ||
        ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) ||
        (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    IndexBuffer* buffer = new IndexBuffer(this, length, usage, format, pool);
    Log("CreateIndexBuffer", D3D_OK, {U(length), H(usage), U(format), U(pool), O(buffer->Interface())});
    *out = buffer;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* data, UINT offset,
                                                  UINT stride) {
    if (HRESULT hr = Fault("SetStreamSource")) {
        Log("SetStreamSource", hr, {U(stream), O(nullptr), U(offset), U(stride)});
        return hr;
    }
    VertexBuffer* buffer = Ours<VertexBuffer>(data);
    HRESULT hr = D3D_OK;
    if (stream >= caps.MaxStreams || stream >= kStreams || (data && !buffer) || stride > caps.MaxStreamStride ||
        (offset % 4) != 0 || (offset && !(caps.DevCaps2 & D3DDEVCAPS2_STREAMOFFSET)))
        hr = D3DERR_INVALIDCALL;
    Log("SetStreamSource", hr, {U(stream), O(buffer ? buffer->Interface() : nullptr), U(offset), U(stride)});
    if (FAILED(hr)) return hr;
    StreamBinding& binding = Target().streams[stream];
    Assign(binding.buffer, buffer);
    // Unbinding keeps the offset and stride the stream had.
    if (buffer) {
        binding.offset = offset;
        binding.stride = stride;
    }
    if (StateMask* mask = RecordingMask()) mask->streams.set(stream);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** out, UINT* offset,
                                                  UINT* stride) {
    if (!out || !offset || !stride || stream >= caps.MaxStreams || stream >= kStreams) return D3DERR_INVALIDCALL;
    const StreamBinding& binding = states.streams[stream];
    *out = binding.buffer;
    if (binding.buffer) binding.buffer->AddRefImpl();
    *offset = binding.offset;
    *stride = binding.stride;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetStreamSourceFreq(UINT stream, UINT setting) {
    if (stream >= caps.MaxStreams || stream >= kStreams) return D3DERR_INVALIDCALL;
    Target().streams[stream].frequency = setting;
    if (StateMask* mask = RecordingMask()) mask->frequencies.set(stream);
    Log("SetStreamSourceFreq", D3D_OK, {U(stream), H(setting)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetStreamSourceFreq(UINT stream, UINT* setting) {
    if (!setting || stream >= caps.MaxStreams || stream >= kStreams) return D3DERR_INVALIDCALL;
    *setting = states.streams[stream].frequency;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetIndices(IDirect3DIndexBuffer9* data) {
    if (HRESULT hr = Fault("SetIndices")) {
        Log("SetIndices", hr, {O(nullptr)});
        return hr;
    }
    IndexBuffer* buffer = Ours<IndexBuffer>(data);
    if (data && !buffer) {
        Log("SetIndices", D3DERR_INVALIDCALL, {O(nullptr)});
        return D3DERR_INVALIDCALL;
    }
    Assign(Target().indices, buffer);
    if (StateMask* mask = RecordingMask()) mask->indices = true;
    Log("SetIndices", D3D_OK, {O(buffer ? buffer->Interface() : nullptr)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetIndices(IDirect3DIndexBuffer9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = states.indices;
    if (states.indices) states.indices->AddRefImpl();
    return D3D_OK;
}

// ---- surfaces and render targets -----------------------------------------------------------

namespace {

D3DSURFACE_DESC SurfaceDesc(UINT width, UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool,
                            D3DMULTISAMPLE_TYPE multiSample, DWORD quality) {
    D3DSURFACE_DESC desc;
    desc.Format = format;
    desc.Type = D3DRTYPE_SURFACE;
    desc.Usage = usage;
    desc.Pool = pool;
    desc.MultiSampleType = multiSample;
    desc.MultiSampleQuality = quality;
    desc.Width = width;
    desc.Height = height;
    return desc;
}

}  // namespace

HRESULT STDMETHODCALLTYPE Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                                     D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL lockable,
                                                     IDirect3DSurface9** out, HANDLE* shared) {
    if (HRESULT hr = Fault("CreateRenderTarget")) {
        if (out) *out = nullptr;
        return hr;
    }
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (shared || width == 0 || height == 0 || IsDepthFormat(format) ||
        !Contains(AdapterConfig().renderTargetFormats, format) ||
        !MultiSampleSupported(AdapterConfig(), format, multiSample, quality))
        return D3DERR_INVALIDCALL;
    Surface* surface = new Surface(
        this, SurfaceDesc(width, height, format, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, multiSample, quality),
        lockable != FALSE, true);
    Log("CreateRenderTarget", D3D_OK, {U(width), U(height), U(format), U(multiSample), O(surface->Interface())});
    *out = surface;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                                            D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL,
                                                            IDirect3DSurface9** out, HANDLE* shared) {
    if (HRESULT hr = Fault("CreateDepthStencilSurface")) {
        if (out) *out = nullptr;
        return hr;
    }
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (shared || width == 0 || height == 0 || !IsDepthFormat(format) ||
        !Contains(AdapterConfig().depthFormats, format) ||
        !MultiSampleSupported(AdapterConfig(), format, multiSample, quality))
        return D3DERR_INVALIDCALL;
    Surface* surface = new Surface(
        this, SurfaceDesc(width, height, format, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, multiSample, quality),
        IsLockableDepth(format), true);
    Log("CreateDepthStencilSurface", D3D_OK, {U(width), U(height), U(format), U(multiSample), O(surface->Interface())});
    *out = surface;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format,
                                                              D3DPOOL pool, IDirect3DSurface9** out, HANDLE* shared) {
    if (HRESULT hr = Fault("CreateOffscreenPlainSurface")) {
        if (out) *out = nullptr;
        return hr;
    }
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    const PlatformTestD3d9Adapter& a = AdapterConfig();
    // Plain surfaces are never managed; outside the scratch pool the format must be one
    // the device has.
    const bool known = FormatBits(format) != 0 && !IsDepthFormat(format);
    const bool supported = Contains(a.textureFormats, format) || Contains(a.renderTargetFormats, format) ||
                           format == D3DFMT_YUY2 || format == D3DFMT_UYVY;
    if (shared || width == 0 || height == 0 || !ValidPool(pool) || pool == D3DPOOL_MANAGED || !known ||
        (pool != D3DPOOL_SCRATCH && !supported))
        return D3DERR_INVALIDCALL;
    Surface* surface = new Surface(this, SurfaceDesc(width, height, format, 0, pool, D3DMULTISAMPLE_NONE, 0), true, true);
    Log("CreateOffscreenPlainSurface", D3D_OK, {U(width), U(height), U(format), U(pool), O(surface->Interface())});
    *out = surface;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetRenderTarget(DWORD index, IDirect3DSurface9* target) {
    if (HRESULT hr = Fault("SetRenderTarget")) {
        Log("SetRenderTarget", hr, {U(index), O(nullptr)});
        return hr;
    }
    Surface* surface = Ours<Surface>(target);
    if (index >= caps.NumSimultaneousRTs || index >= kRenderTargets || (index == 0 && !target) ||
        (target && (!surface || !(surface->desc.Usage & D3DUSAGE_RENDERTARGET)))) {
        Log("SetRenderTarget", D3DERR_INVALIDCALL, {U(index), O(nullptr)});
        return D3DERR_INVALIDCALL;
    }
    Assign(renderTargets[index], surface);
    if (index == 0) {
        // A new first target brings its own viewport and scissor rectangle, recorded or not.
        const UINT w = surface->desc.Width;
        const UINT h = surface->desc.Height;
        states.viewport = D3DVIEWPORT9{0, 0, w, h, 0.0f, 1.0f};
        states.scissor = RECT{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)};
    }
    Log("SetRenderTarget", D3D_OK, {U(index), O(target)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetRenderTarget(DWORD index, IDirect3DSurface9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (index >= caps.NumSimultaneousRTs || index >= kRenderTargets) return D3DERR_INVALIDCALL;
    if (!renderTargets[index]) return D3DERR_NOTFOUND;
    renderTargets[index]->AddRefImpl();
    *out = renderTargets[index];
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetDepthStencilSurface(IDirect3DSurface9* depth) {
    if (HRESULT hr = Fault("SetDepthStencilSurface")) {
        Log("SetDepthStencilSurface", hr, {O(nullptr)});
        return hr;
    }
    Surface* surface = Ours<Surface>(depth);
    if (depth && (!surface || !(surface->desc.Usage & D3DUSAGE_DEPTHSTENCIL))) {
        Log("SetDepthStencilSurface", D3DERR_INVALIDCALL, {O(nullptr)});
        return D3DERR_INVALIDCALL;
    }
    Assign(depthStencil, surface);
    Log("SetDepthStencilSurface", D3D_OK, {O(depth)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetDepthStencilSurface(IDirect3DSurface9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!depthStencil) return D3DERR_NOTFOUND;
    depthStencil->AddRefImpl();
    *out = depthStencil;
    return D3D_OK;
}

namespace {

// Copies a rectangle of whole pixels between two surfaces of one format.
void CopyRect(const Surface& from, const RECT& source, Surface& to, LONG x, LONG y) {
    if (!from.pixels || !to.pixels) return;
    const UINT fromPitch = RowPitch(from.desc.Format, from.desc.Width);
    const UINT toPitch = RowPitch(to.desc.Format, to.desc.Width);
    if (IsBlockCompressed(from.desc.Format)) {
        // Whole 4x4 blocks: a rectangle that starts or ends inside one was refused before.
        const UINT block = from.desc.Format == D3DFMT_DXT1 ? 8 : 16;
        const size_t rowBytes = size_t((source.right - source.left + 3) / 4) * block;
        for (LONG row = source.top / 4; row < (source.bottom + 3) / 4; ++row)
            memcpy(to.pixels + size_t(y / 4 + row - source.top / 4) * toPitch + size_t(x / 4) * block,
                   from.pixels + size_t(row) * fromPitch + size_t(source.left / 4) * block, rowBytes);
        return;
    }
    const UINT pixel = FormatBits(from.desc.Format) / 8;
    const size_t rowBytes = size_t(source.right - source.left) * pixel;
    for (LONG row = source.top; row < source.bottom; ++row) {
        memcpy(to.pixels + size_t(y + row - source.top) * toPitch + size_t(x) * pixel,
               from.pixels + size_t(row) * fromPitch + size_t(source.left) * pixel, rowBytes);
    }
}

bool RectWithin(const RECT& r, const D3DSURFACE_DESC& desc) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && static_cast<UINT>(r.right) <= desc.Width &&
           static_cast<UINT>(r.bottom) <= desc.Height;
}

// Compressed surfaces are copied in whole 4x4 blocks: a rectangle must start on a block
// and end on one or at the surface's edge.
bool OnBlocks(const RECT& r, const D3DSURFACE_DESC& desc) {
    if (!IsBlockCompressed(desc.Format)) return true;
    return !(r.left & 3) && !(r.top & 3) && (!(r.right & 3) || UINT(r.right) == desc.Width) &&
           (!(r.bottom & 3) || UINT(r.bottom) == desc.Height);
}

RECT Whole(const D3DSURFACE_DESC& desc) {
    return RECT{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
}

}  // namespace

HRESULT STDMETHODCALLTYPE Device::UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                                                IDirect3DSurface9* dest, const POINT* destPoint) {
    Surface* from = Ours<Surface>(source);
    Surface* to = Ours<Surface>(dest);
    // From system memory into the default pool, one format, neither locked.
    if (!from || !to || from->desc.Pool != D3DPOOL_SYSTEMMEM || to->desc.Pool != D3DPOOL_DEFAULT ||
        from->desc.Format != to->desc.Format || from->locked || to->locked)
        return D3DERR_INVALIDCALL;
    const RECT r = sourceRect ? *sourceRect : Whole(from->desc);
    const LONG x = destPoint ? destPoint->x : 0;
    const LONG y = destPoint ? destPoint->y : 0;
    const RECT target{x, y, x + (r.right - r.left), y + (r.bottom - r.top)};
    if (!RectWithin(r, from->desc) || !RectWithin(target, to->desc) || !OnBlocks(r, from->desc) ||
        !OnBlocks(target, to->desc))
        return D3DERR_INVALIDCALL;
    CopyRect(*from, r, *to, x, y);
    Log("UpdateSurface", D3D_OK, {O(source), O(dest)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetRenderTargetData(IDirect3DSurface9* target, IDirect3DSurface9* dest) {
    Surface* from = Ours<Surface>(target);
    Surface* to = Ours<Surface>(dest);
    if (!from || !to || !(from->desc.Usage & D3DUSAGE_RENDERTARGET) || to->desc.Pool != D3DPOOL_SYSTEMMEM ||
        from->desc.Format != to->desc.Format || from->desc.Width != to->desc.Width ||
        from->desc.Height != to->desc.Height || from->desc.MultiSampleType != D3DMULTISAMPLE_NONE)
        return D3DERR_INVALIDCALL;
    CopyRect(*from, Whole(from->desc), *to, 0, 0);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetFrontBufferData(UINT iSwapChain, IDirect3DSurface9* dest) {
    Surface* to = Ours<Surface>(dest);
    D3DDISPLAYMODE mode;
    GetDisplayMode(0, &mode);
    if (iSwapChain != 0 || !to || to->desc.Format != D3DFMT_A8R8G8B8 || to->desc.Pool != D3DPOOL_SYSTEMMEM ||
        to->desc.Width < mode.Width || to->desc.Height < mode.Height)
        return D3DERR_INVALIDCALL;
    // Nothing is shown on this platform: the front buffer is black.
    if (to->pixels) memset(to->pixels, 0, SurfaceBytes(to->desc.Format, to->desc.Width, to->desc.Height));
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::StretchRect(IDirect3DSurface9* source, const RECT* sourceRect,
                                              IDirect3DSurface9* dest, const RECT* destRect,
                                              D3DTEXTUREFILTERTYPE filter) {
    if (HRESULT hr = Fault("StretchRect")) return hr;
    Surface* from = Ours<Surface>(source);
    Surface* to = Ours<Surface>(dest);
    HRESULT hr = D3D_OK;
    if (!from || !to || from == to || from->desc.Pool != D3DPOOL_DEFAULT || to->desc.Pool != D3DPOOL_DEFAULT ||
        filter > D3DTEXF_LINEAR)
        hr = D3DERR_INVALIDCALL;
    const RECT r = from && sourceRect ? *sourceRect : from ? Whole(from->desc) : RECT{};
    const RECT d = to && destRect ? *destRect : to ? Whole(to->desc) : RECT{};
    if (SUCCEEDED(hr) && (!RectWithin(r, from->desc) || !RectWithin(d, to->desc) || !OnBlocks(r, from->desc) ||
                          !OnBlocks(d, to->desc)))
        hr = D3DERR_INVALIDCALL;
    if (SUCCEEDED(hr)) {
        const bool depth = IsDepthFormat(from->desc.Format) || IsDepthFormat(to->desc.Format);
        // Depth buffers are copied whole, with the same format and outside a scene.
        if (depth && (inScene || from->desc.Format != to->desc.Format || sourceRect || destRect))
            hr = D3DERR_INVALIDCALL;
        if (!depth && !(to->desc.Usage & D3DUSAGE_RENDERTARGET) && to->desc.Usage != 0) hr = D3DERR_INVALIDCALL;
    }
    Log("StretchRect", hr, {O(source), O(dest), U(filter)});
    if (FAILED(hr)) return hr;
    if (from->desc.Format == to->desc.Format && r.right - r.left == d.right - d.left &&
        r.bottom - r.top == d.bottom - d.top)
        CopyRect(*from, r, *to, d.left, d.top);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::ColorFill(IDirect3DSurface9* target, const RECT* rect, D3DCOLOR color) {
    Surface* surface = Ours<Surface>(target);
    if (!surface || surface->desc.Pool != D3DPOOL_DEFAULT || IsDepthFormat(surface->desc.Format) ||
        (surface->desc.Usage & ~static_cast<DWORD>(D3DUSAGE_RENDERTARGET)))
        return D3DERR_INVALIDCALL;
    const RECT r = rect ? *rect : Whole(surface->desc);
    if (!RectWithin(r, surface->desc)) return D3DERR_INVALIDCALL;
    FillRect(*surface, r, color);
    Log("ColorFill", D3D_OK, {O(target), H(color)});
    return D3D_OK;
}

// ---- vertex declarations and FVF codes -----------------------------------------------------

HRESULT STDMETHODCALLTYPE Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                          IDirect3DVertexDeclaration9** out) {
    if (HRESULT hr = Fault("CreateVertexDeclaration")) {
        if (out) *out = nullptr;
        return hr;
    }
    if (!elements || !out) return D3DERR_INVALIDCALL;
    UINT count = 0;
    for (;; ++count) {
        // The runtime reads up to its longest declaration looking for the end marker.
        if (count == MAXD3DDECLLENGTH) return E_FAIL;
        const D3DVERTEXELEMENT9& e = elements[count];
        if (e.Stream == 0xFF && e.Type == D3DDECLTYPE_UNUSED) break;
        if (e.Stream >= kStreams || e.Type >= D3DDECLTYPE_UNUSED || e.Method > D3DDECLMETHOD_LOOKUPPRESAMPLED ||
            e.Usage > D3DDECLUSAGE_SAMPLE || e.UsageIndex > MAXD3DDECLUSAGEINDEX || (e.Offset % 4) != 0)
            return E_FAIL;
        for (UINT j = 0; j < count; ++j)
            if (elements[j].Usage == e.Usage && elements[j].UsageIndex == e.UsageIndex) return E_FAIL;
    }
    VertexDeclaration* declaration = new VertexDeclaration(this, elements, count, true);
    DWORD fvf = 0;
    if (SUCCEEDED(D3DXFVFFromDeclarator(elements, &fvf))) declaration->fvf = fvf;
    Log("CreateVertexDeclaration", D3D_OK, {U(count), O(declaration->Interface())});
    *out = declaration;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
    if (HRESULT hr = Fault("SetVertexDeclaration")) {
        Log("SetVertexDeclaration", hr, {O(nullptr)});
        return hr;
    }
    VertexDeclaration* ours = Ours<VertexDeclaration>(declaration);
    if (declaration && !ours) {
        Log("SetVertexDeclaration", D3DERR_INVALIDCALL, {O(nullptr)});
        return D3DERR_INVALIDCALL;
    }
    StateSet& target = Target();
    Assign(target.declaration, ours);
    target.fvf = ours ? ours->fvf : 0;
    if (StateMask* mask = RecordingMask()) mask->declaration = true;
    Log("SetVertexDeclaration", D3D_OK, {O(declaration)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = states.declaration;
    if (states.declaration) states.declaration->AddRefImpl();
    return D3D_OK;
}

VertexDeclaration* Device::DeclarationForFVF(DWORD fvf) {
    const auto it = fvfDeclarations.find(fvf);
    if (it != fvfDeclarations.end()) return it->second;
    D3DVERTEXELEMENT9 elements[MAX_FVF_DECL_SIZE];
    UINT count = 0;
    if (SUCCEEDED(D3DXDeclaratorFromFVF(fvf, elements))) {
        while (!(elements[count].Stream == 0xFF && elements[count].Type == D3DDECLTYPE_UNUSED)) ++count;
    } else {
        // A code D3DX cannot spell out (an XYZW position) still draws: only its size counts.
        elements[0] = D3DVERTEXELEMENT9{0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0};
    }
    VertexDeclaration* declaration = new VertexDeclaration(this, elements, count, false);
    declaration->fvf = fvf;
    declaration->fvfStride = count ? 0 : D3DXGetFVFVertexSize(fvf);
    fvfDeclarations[fvf] = declaration;
    return declaration;
}

HRESULT STDMETHODCALLTYPE Device::SetFVF(DWORD fvf) {
    if (HRESULT hr = Fault("SetFVF")) {
        Log("SetFVF", hr, {H(fvf)});
        return hr;
    }
    Log("SetFVF", D3D_OK, {H(fvf)});
    // FVF 0 leaves the declaration as it is.
    if (fvf == 0) return D3D_OK;
    StateSet& target = Target();
    Assign(target.declaration, DeclarationForFVF(fvf));
    target.fvf = fvf;
    if (StateMask* mask = RecordingMask()) mask->declaration = true;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetFVF(DWORD* fvf) {
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = states.fvf;
    return D3D_OK;
}

// ---- shaders ----------------------------------------------------------------------------

namespace {

// The tokens of a shader up to and including its end token, when its version token is
// of `kind` (0xFFFE vertex, 0xFFFF pixel) and no newer than `highest`.
bool ReadShader(const DWORD* function, DWORD kind, DWORD highest, std::vector<DWORD>& tokens) {
    if (!function || (function[0] >> 16) != kind) return false;
    const DWORD version = function[0] & 0xFFFF;
    if (version > (highest & 0xFFFF)) return false;
    for (size_t i = 0; i < kMaxShaderTokens; ++i) {
        if (function[i] == D3DVS_END()) {
            tokens.assign(function, function + i + 1);
            return true;
        }
    }
    return false;
}

}  // namespace

HRESULT STDMETHODCALLTYPE Device::CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** out) {
    if (HRESULT hr = Fault("CreateVertexShader")) return hr;
    if (!out) return D3DERR_INVALIDCALL;
    std::vector<DWORD> tokens;
    if (!ReadShader(function, 0xFFFE, caps.VertexShaderVersion, tokens)) return D3DERR_INVALIDCALL;
    VertexShader* shader = new VertexShader(this, std::move(tokens));
    Log("CreateVertexShader", D3D_OK, {O(shader->Interface())});
    *out = shader;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetVertexShader(IDirect3DVertexShader9* shader) {
    VertexShader* ours = Ours<VertexShader>(shader);
    if (shader && !ours) return D3DERR_INVALIDCALL;
    Assign(Target().vertexShader, ours);
    if (StateMask* mask = RecordingMask()) mask->vertexShader = true;
    Log("SetVertexShader", D3D_OK, {O(shader)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetVertexShader(IDirect3DVertexShader9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = states.vertexShader;
    if (states.vertexShader) states.vertexShader->AddRefImpl();
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** out) {
    if (HRESULT hr = Fault("CreatePixelShader")) return hr;
    if (!out) return D3DERR_INVALIDCALL;
    std::vector<DWORD> tokens;
    if (!ReadShader(function, 0xFFFF, caps.PixelShaderVersion, tokens)) return D3DERR_INVALIDCALL;
    PixelShader* shader = new PixelShader(this, std::move(tokens));
    Log("CreatePixelShader", D3D_OK, {O(shader->Interface())});
    *out = shader;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetPixelShader(IDirect3DPixelShader9* shader) {
    PixelShader* ours = Ours<PixelShader>(shader);
    if (shader && !ours) return D3DERR_INVALIDCALL;
    Assign(Target().pixelShader, ours);
    if (StateMask* mask = RecordingMask()) mask->pixelShader = true;
    Log("SetPixelShader", D3D_OK, {O(shader)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetPixelShader(IDirect3DPixelShader9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = states.pixelShader;
    if (states.pixelShader) states.pixelShader->AddRefImpl();
    return D3D_OK;
}

namespace {

// Copies `count` registers of `width` elements between a constant table of `size`
// registers and the caller, refusing a range past the table.
template <class T>
HRESULT Constants(T* table, UINT size, UINT width, UINT start, const T* from, T* to, UINT count) {
    if ((!from && !to) || start > size || count > size - start) return D3DERR_INVALIDCALL;
    if (from)
        memcpy(table + size_t(start) * width, from, size_t(count) * width * sizeof(T));
    else
        memcpy(to, table + size_t(start) * width, size_t(count) * width * sizeof(T));
    return D3D_OK;
}

}  // namespace

#define D3D9_CONSTANTS(Stage, Suffix, Type, Table, Size, Width, MaskFlag)                                        \
    HRESULT STDMETHODCALLTYPE Device::Set##Stage##ShaderConstant##Suffix(UINT start, const Type* data, UINT count) { \
        const HRESULT hr = Constants(reinterpret_cast<Type*>(Target().Table), Size, Width, start, data,            \
                                     static_cast<Type*>(nullptr), count);                                          \
        if (SUCCEEDED(hr))                                                                                          \
            if (StateMask* mask = RecordingMask()) mask->MaskFlag = true;                                           \
        Log("Set" #Stage "ShaderConstant" #Suffix, hr, {U(start), U(count)});                                       \
        return hr;                                                                                                  \
    }                                                                                                               \
    HRESULT STDMETHODCALLTYPE Device::Get##Stage##ShaderConstant##Suffix(UINT start, Type* data, UINT count) {      \
        if (IsPure()) return D3DERR_INVALIDCALL;                                                                    \
        return Constants(reinterpret_cast<Type*>(states.Table), Size, Width, start,                                \
                         static_cast<const Type*>(nullptr), data, count);                                           \
    }

D3D9_CONSTANTS(Vertex, F, float, vertexF, kVertexFloatConstants, 4, vertexConstants)
D3D9_CONSTANTS(Vertex, I, int, vertexI, kIntConstants, 4, vertexConstants)
D3D9_CONSTANTS(Vertex, B, BOOL, vertexB, kBoolConstants, 1, vertexConstants)
D3D9_CONSTANTS(Pixel, F, float, pixelF, kPixelFloatConstants, 4, pixelConstants)
D3D9_CONSTANTS(Pixel, I, int, pixelI, kIntConstants, 4, pixelConstants)
D3D9_CONSTANTS(Pixel, B, BOOL, pixelB, kBoolConstants, 1, pixelConstants)

#undef D3D9_CONSTANTS

// ---- draws ------------------------------------------------------------------------------

HRESULT Device::CheckStreams(UINT startVertex, UINT vertexCount) const {
    const VertexDeclaration* declaration = states.declaration;
    if (!declaration || vertexCount == 0) return D3D_OK;
    for (UINT stream = 0; stream < kStreams; ++stream) {
        const UINT extent = declaration->StreamExtent(stream);
        const StreamBinding& binding = states.streams[stream];
        // A stream the declaration reads but nobody bound draws nothing from it.
        if (extent == 0 || !binding.buffer) continue;
        const uint64_t last = uint64_t(startVertex) + vertexCount - 1;
        const uint64_t end = uint64_t(binding.offset) + last * binding.stride + extent;
        if (end > binding.buffer->bytes.size()) return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT count) {
    if (HRESULT hr = Fault("DrawPrimitive")) {
        Log("DrawPrimitive", hr, {U(type), U(startVertex), U(count)});
        return hr;
    }
    const uint64_t vertices = VertexCount(type, count);
    HRESULT hr = D3D_OK;
    if (!states.declaration || (count && vertices == 0) || count > caps.MaxPrimitiveCount ||
        startVertex + vertices > 0xFFFFFFFFull)
        hr = D3DERR_INVALIDCALL;
    else
        hr = CheckStreams(startVertex, count ? static_cast<UINT>(vertices) : 0);
    Log("DrawPrimitive", hr, {U(type), U(startVertex), U(count)});
    if (SUCCEEDED(hr) && count && state == DeviceState::Ok) ++g_drawCount;
    return hr;
}

HRESULT STDMETHODCALLTYPE Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex,
                                                       UINT numVertices, UINT startIndex, UINT count) {
    if (HRESULT hr = Fault("DrawIndexedPrimitive")) {
        Log("DrawIndexedPrimitive", hr, {U(type), I(baseVertex), U(minIndex), U(numVertices), U(startIndex), U(count)});
        return hr;
    }
    const uint64_t indexCount = VertexCount(type, count);
    const IndexBuffer* indices = states.indices;
    HRESULT hr = D3D_OK;
    if (!states.declaration || !indices || (count && indexCount == 0) || count > caps.MaxPrimitiveCount) {
        hr = D3DERR_INVALIDCALL;
    } else if (count) {
        const uint64_t indexSize = indices->format == D3DFMT_INDEX16 ? 2 : 4;
        const int64_t firstVertex = int64_t(baseVertex) + minIndex;
        // The indices read must lie in the buffer, each within the range the call names,
        // and that range within the bound vertices.
        if ((uint64_t(startIndex) + indexCount) * indexSize > indices->bytes.size() || firstVertex < 0 ||
            firstVertex + numVertices > 0xFFFFFFFFll ||
            !IndicesWithin(indices->bytes.data(), indices->format, startIndex, indexCount, minIndex, numVertices))
            hr = D3DERR_INVALIDCALL;
        else
            hr = CheckStreams(static_cast<UINT>(firstVertex), numVertices);
    }
    Log("DrawIndexedPrimitive", hr, {U(type), I(baseVertex), U(minIndex), U(numVertices), U(startIndex), U(count)});
    if (SUCCEEDED(hr) && count && state == DeviceState::Ok) ++g_drawCount;
    return hr;
}

HRESULT STDMETHODCALLTYPE Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) {
    if (HRESULT hr = Fault("DrawPrimitiveUP")) {
        Log("DrawPrimitiveUP", hr, {U(type), U(count), U(stride)});
        return hr;
    }
    const uint64_t vertices = VertexCount(type, count);
    HRESULT hr = D3D_OK;
    if (!data || !states.declaration || (count && vertices == 0) || count > caps.MaxPrimitiveCount)
        hr = D3DERR_INVALIDCALL;
    Log("DrawPrimitiveUP", hr, {U(type), U(count), U(stride)});
    if (FAILED(hr)) return hr;
    // The program's memory took stream 0's place; afterwards the stream is empty.
    StreamBinding& stream0 = states.streams[0];
    Assign(stream0.buffer, static_cast<VertexBuffer*>(nullptr));
    stream0.offset = stream0.stride = 0;
    if (count && state == DeviceState::Ok) ++g_drawCount;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                                                         UINT count, const void* indexData, D3DFORMAT indexFormat,
                                                         const void* vertexData, UINT stride) {
    if (HRESULT hr = Fault("DrawIndexedPrimitiveUP")) {
        Log("DrawIndexedPrimitiveUP", hr, {U(type), U(minIndex), U(numVertices), U(count), U(stride)});
        return hr;
    }
    const uint64_t indexCount = VertexCount(type, count);
    HRESULT hr = D3D_OK;
    if (!indexData || !vertexData || !states.declaration || (count && indexCount == 0) ||
        count > caps.MaxPrimitiveCount || (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32) ||
        !IndicesWithin(static_cast<const uint8_t*>(indexData), indexFormat, 0, indexCount, minIndex, numVertices))
        hr = D3DERR_INVALIDCALL;
    Log("DrawIndexedPrimitiveUP", hr, {U(type), U(minIndex), U(numVertices), U(count), U(stride)});
    if (FAILED(hr)) return hr;
    StreamBinding& stream0 = states.streams[0];
    Assign(stream0.buffer, static_cast<VertexBuffer*>(nullptr));
    stream0.offset = stream0.stride = 0;
    Assign(states.indices, static_cast<IndexBuffer*>(nullptr));
    if (count && state == DeviceState::Ok) ++g_drawCount;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::ProcessVertices(UINT, UINT, UINT, IDirect3DVertexBuffer9*,
                                                  IDirect3DVertexDeclaration9*, DWORD) {
    // Vertices are never transformed here.
    return D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Device::DrawRectPatch(UINT, const float*, const D3DRECTPATCH_INFO*) {
    return D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Device::DrawTriPatch(UINT, const float*, const D3DTRIPATCH_INFO*) {
    return D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Device::DeletePatch(UINT) { return D3DERR_INVALIDCALL; }

// ---- queries and state blocks ---------------------------------------------------------------

HRESULT STDMETHODCALLTYPE Device::CreateQuery(D3DQUERYTYPE type, IDirect3DQuery9** out) {
    if (HRESULT hr = Fault("CreateQuery")) return hr;
    const auto& supported = AdapterConfig().queries;
    if (std::find(supported.begin(), supported.end(), type) == supported.end()) return D3DERR_NOTAVAILABLE;
    // Without an out pointer the call only asks whether the type exists.
    if (!out) return D3D_OK;
    Query* query = new Query(this, type);
    Log("CreateQuery", D3D_OK, {U(type), O(query->Interface())});
    *out = query;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreateStateBlock(D3DSTATEBLOCKTYPE type, IDirect3DStateBlock9** out) {
    if (HRESULT hr = Fault("CreateStateBlock")) return hr;
    if (!out || recording) return D3DERR_INVALIDCALL;
    StateMask mask;
    switch (type) {
    case D3DSBT_ALL: mask.All(); break;
    case D3DSBT_PIXELSTATE: mask.Pixel(); break;
    case D3DSBT_VERTEXSTATE: mask.Vertex(); break;
    default: return D3DERR_INVALIDCALL;
    }
    StateBlock* block = new StateBlock(this, mask);
    CopyStates(*block->states, states, block->mask);
    Log("CreateStateBlock", D3D_OK, {U(type), O(block->Interface())});
    *out = block;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::BeginStateBlock() {
    if (HRESULT hr = Fault("BeginStateBlock")) return hr;
    if (recording) return D3DERR_INVALIDCALL;
    // The device holds the block while it records; EndStateBlock hands it over.
    recording = new StateBlock(this, StateMask(), false);
    Log("BeginStateBlock", D3D_OK, {});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::EndStateBlock(IDirect3DStateBlock9** out) {
    if (HRESULT hr = Fault("EndStateBlock")) return hr;
    if (!out || !recording) return D3DERR_INVALIDCALL;
    StateBlock* block = recording;
    recording = nullptr;
    block->HandToProgram();
    Log("EndStateBlock", D3D_OK, {O(block->Interface())});
    *out = block;
    return D3D_OK;
}

}  // namespace d3d9
