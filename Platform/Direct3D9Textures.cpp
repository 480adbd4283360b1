// The reference device's textures: 2D and cube textures whose levels are surfaces with
// real pixel memory, their creation with the runtime's checks of size, levels, usage,
// pool and format, the copy from a system-memory texture into a default-pool one, and
// the texture memory the device reports.
//
// A level surface is the texture's: it has no count of its own (a reference to it or a
// binding of it holds the texture), it lives exactly as long as the texture, and its
// pixels sit in the texture's one block of memory, level after level and face after face.
// Default-pool textures count against the texture memory the device reports and, like
// every default-pool resource, must be released before a reset.
#include "Direct3D9Internal.h"

#include <string.h>

#include <algorithm>

namespace d3d9 {

namespace {

constexpr DWORD kTextureUsages =
    D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC | D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_DMAP;
constexpr UINT kCubeFaces = 6;

UINT Halved(UINT size, UINT level) { return std::max(1u, size >> level); }

bool IsPow2(UINT n) { return n && !(n & (n - 1)); }

}  // namespace

UINT FullChain(UINT width, UINT height) {
    UINT levels = 1;
    for (UINT size = std::max(width, height); size > 1; size >>= 1) ++levels;
    return levels;
}

// ---- textures ----------------------------------------------------------------------------

template <class I>
TextureBase<I>::TextureBase(Device* device, PlatformTestD3d9Kind kind, D3DRESOURCETYPE type, UINT width,
                            UINT height, UINT levels_, UINT faces_, DWORD usage, D3DFORMAT format_, D3DPOOL pool)
    : Resource<I>(device, kind, type, pool, usage), levels(levels_), faces(faces_), format(format_) {
    size_t total = 0;
    for (UINT level = 0; level < levels; ++level)
        total += SurfaceBytes(format, Halved(width, level), Halved(height, level));
    memory.assign(total * faces, 0);
    // Levels of a default-pool texture live in video memory, out of the program's reach
    // unless the texture is dynamic.
    const bool lockable = pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC);
    size_t offset = 0;
    for (UINT face = 0; face < faces; ++face) {
        for (UINT level = 0; level < levels; ++level) {
            D3DSURFACE_DESC desc;
            desc.Format = format;
            desc.Type = D3DRTYPE_SURFACE;
            desc.Usage = usage;
            desc.Pool = pool;
            desc.MultiSampleType = D3DMULTISAMPLE_NONE;
            desc.MultiSampleQuality = 0;
            desc.Width = Halved(width, level);
            desc.Height = Halved(height, level);
            Surface* surface = new Surface(device, desc, lockable, this, memory.data() + offset);
            surface->unlockTwiceAllowed = type == D3DRTYPE_TEXTURE;
            surfaces.push_back(surface);
            offset += SurfaceBytes(format, desc.Width, desc.Height);
        }
    }
    if (pool == D3DPOOL_DEFAULT && device) device->defaultTextureBytes += memory.size();
}

template <class I>
TextureBase<I>::~TextureBase() {
    if (this->pool == D3DPOOL_DEFAULT && this->device) this->device->defaultTextureBytes -= memory.size();
    for (Surface* surface : surfaces) delete surface;
}

template <class I>
DWORD STDMETHODCALLTYPE TextureBase<I>::SetLOD(DWORD value) {
    // Only a managed texture has a level of detail: the runtime loads it from there down.
    if (this->pool != D3DPOOL_MANAGED) return 0;
    const DWORD old = lod;
    lod = std::min<DWORD>(value, levels - 1);
    Log("SetLOD", D3D_OK, {U(value)});
    return old;
}

template <class I>
HRESULT STDMETHODCALLTYPE TextureBase<I>::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) {
    if (filter == D3DTEXF_NONE || filter > D3DTEXF_GAUSSIANQUAD) return D3DERR_INVALIDCALL;
    autoGenFilter = filter;
    return D3D_OK;
}

template <class I>
HRESULT STDMETHODCALLTYPE TextureBase<I>::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    Surface* surface = Level(0, level);
    if (!desc || !surface) return D3DERR_INVALIDCALL;
    *desc = surface->desc;
    return D3D_OK;
}

template <class I>
Surface* TextureBase<I>::Level(UINT face, UINT level) const {
    if (face >= faces || level >= levels) return nullptr;
    return surfaces[size_t(face) * levels + level];
}

template <class I>
HRESULT TextureBase<I>::HandOutLevel(UINT face, UINT level, IDirect3DSurface9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    Surface* surface = Level(face, level);
    if (!surface) {
        *out = nullptr;
        return D3DERR_INVALIDCALL;
    }
    return HandOut(surface, surface, reinterpret_cast<void**>(out));
}

template class TextureBase<IDirect3DTexture9>;
template class TextureBase<IDirect3DCubeTexture9>;

Texture::Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : TextureBase(device, PlatformTestD3d9Kind::Texture, D3DRTYPE_TEXTURE, width, height, levels, 1, usage, format,
                  pool) {}

bool Texture::Answers(REFIID riid) const {
    return riid == IID_IDirect3DTexture9 || riid == IID_IDirect3DBaseTexture9 || riid == IID_IDirect3DResource9;
}

HRESULT STDMETHODCALLTYPE Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** out) {
    return HandOutLevel(0, level, out);
}

HRESULT STDMETHODCALLTYPE Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    Surface* surface = Level(0, level);
    return surface ? surface->LockRect(locked, rect, flags) : D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Texture::UnlockRect(UINT level) {
    Surface* surface = Level(0, level);
    return surface ? surface->UnlockRect() : D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Texture::AddDirtyRect(const RECT*) { return D3D_OK; }

CubeTexture::CubeTexture(Device* device, UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : TextureBase(device, PlatformTestD3d9Kind::CubeTexture, D3DRTYPE_CUBETEXTURE, edge, edge, levels, kCubeFaces,
                  usage, format, pool) {}

bool CubeTexture::Answers(REFIID riid) const {
    return riid == IID_IDirect3DCubeTexture9 || riid == IID_IDirect3DBaseTexture9 || riid == IID_IDirect3DResource9;
}

HRESULT STDMETHODCALLTYPE CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** out) {
    return HandOutLevel(static_cast<UINT>(face), level, out);
}

HRESULT STDMETHODCALLTYPE CubeTexture::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked,
                                                const RECT* rect, DWORD flags) {
    Surface* surface = Level(static_cast<UINT>(face), level);
    return surface ? surface->LockRect(locked, rect, flags) : D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE CubeTexture::UnlockRect(D3DCUBEMAP_FACES face, UINT level) {
    Surface* surface = Level(static_cast<UINT>(face), level);
    return surface ? surface->UnlockRect() : D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE CubeTexture::AddDirtyRect(D3DCUBEMAP_FACES face, const RECT*) {
    return static_cast<UINT>(face) < kCubeFaces ? D3D_OK : D3DERR_INVALIDCALL;
}

// ---- creation -----------------------------------------------------------------------------

namespace {

// The runtime's checks shared by 2D and cube textures; D3D_OK with `levels` made the
// number the texture gets.
HRESULT CheckTexture(const Device& device, D3DRESOURCETYPE type, UINT width, UINT height, UINT& levels, DWORD usage,
                     D3DFORMAT format, D3DPOOL pool) {
    if (width == 0 || height == 0 || (usage & ~kTextureUsages) || pool < D3DPOOL_DEFAULT || pool > D3DPOOL_SCRATCH)
        return D3DERR_INVALIDCALL;
    const DWORD targets = usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL);
    // Render targets and depth buffers live in video memory only, and a texture is one
    // or the other; the program cannot write to either through a lock.
    if (targets == (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL) || (targets && pool != D3DPOOL_DEFAULT) ||
        (targets && (usage & D3DUSAGE_DYNAMIC)))
        return D3DERR_INVALIDCALL;
    if (IsDepthFormat(format) != ((usage & D3DUSAGE_DEPTHSTENCIL) != 0)) return D3DERR_INVALIDCALL;
    // A managed texture has a system-memory copy the runtime uploads; dynamic ones are
    // rewritten by the program instead.
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    const UINT chain = FullChain(width, height);
    if (usage & D3DUSAGE_AUTOGENMIPMAP) {
        // The device builds the lower levels itself: the program sees the top one.
        if (pool == D3DPOOL_SYSTEMMEM || levels > 1) return D3DERR_INVALIDCALL;
        levels = 1;
    }
    if (levels > chain) return D3DERR_INVALIDCALL;
    if (pool == D3DPOOL_SCRATCH) {
        // Scratch memory is never seen by the device: any format it can size will do.
        if (FormatBits(format) == 0 && !IsBlockCompressed(format)) return D3DERR_INVALIDCALL;
        if (levels == 0) levels = chain;
        return D3D_OK;
    }
    const D3DCAPS9& caps = device.caps;
    if (type == D3DRTYPE_CUBETEXTURE) {
        if (!(caps.TextureCaps & D3DPTEXTURECAPS_CUBEMAP)) return D3DERR_INVALIDCALL;
        if ((caps.TextureCaps & D3DPTEXTURECAPS_CUBEMAP_POW2) && !IsPow2(width)) return D3DERR_INVALIDCALL;
        if (!(caps.TextureCaps & D3DPTEXTURECAPS_MIPCUBEMAP)) {
            if (levels > 1) return D3DERR_INVALIDCALL;
            levels = 1;
        }
    } else {
        const bool pow2 = IsPow2(width) && IsPow2(height);
        if ((caps.TextureCaps & D3DPTEXTURECAPS_POW2) && !(caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) &&
            !pow2)
            return D3DERR_INVALIDCALL;
        if ((caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) && width != height) return D3DERR_INVALIDCALL;
        if (!(caps.TextureCaps & D3DPTEXTURECAPS_MIPMAP)) {
            if (levels > 1) return D3DERR_INVALIDCALL;
            levels = 1;
        }
    }
    if (width > caps.MaxTextureWidth || height > caps.MaxTextureHeight) return D3DERR_INVALIDCALL;
    if (FAILED(FormatAvailable(device.AdapterConfig(), usage, type, format))) return D3DERR_INVALIDCALL;
    if (levels == 0) levels = chain;
    return D3D_OK;
}

}  // namespace

HRESULT STDMETHODCALLTYPE Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                                D3DPOOL pool, IDirect3DTexture9** out, HANDLE* shared) {
    if (HRESULT hr = Fault("CreateTexture")) {
        if (out) *out = nullptr;
        Log("CreateTexture", hr, {U(width), U(height), U(levels), H(usage), U(format), U(pool), O(nullptr)});
        return hr;
    }
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    UINT count = levels;
    HRESULT hr = shared ? D3DERR_INVALIDCALL : CheckTexture(*this, D3DRTYPE_TEXTURE, width, height, count, usage,
                                                            format, pool);
    if (FAILED(hr)) {
        Log("CreateTexture", hr, {U(width), U(height), U(levels), H(usage), U(format), U(pool), O(nullptr)});
        return hr;
    }
    Texture* texture = new Texture(this, width, height, count, usage, format, pool);
    Log("CreateTexture", D3D_OK, {U(width), U(height), U(levels), H(usage), U(format), U(pool), O(texture->Interface())});
    *out = texture;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format,
                                                    D3DPOOL pool, IDirect3DCubeTexture9** out, HANDLE* shared) {
    if (HRESULT hr = Fault("CreateCubeTexture")) {
        if (out) *out = nullptr;
        Log("CreateCubeTexture", hr, {U(edge), U(levels), H(usage), U(format), U(pool), O(nullptr)});
        return hr;
    }
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    UINT count = levels;
    HRESULT hr = shared ? D3DERR_INVALIDCALL : CheckTexture(*this, D3DRTYPE_CUBETEXTURE, edge, edge, count, usage,
                                                            format, pool);
    if (FAILED(hr)) {
        Log("CreateCubeTexture", hr, {U(edge), U(levels), H(usage), U(format), U(pool), O(nullptr)});
        return hr;
    }
    CubeTexture* texture = new CubeTexture(this, edge, count, usage, format, pool);
    Log("CreateCubeTexture", D3D_OK, {U(edge), U(levels), H(usage), U(format), U(pool), O(texture->Interface())});
    *out = texture;
    return D3D_OK;
}

namespace {

// The surfaces of a texture of either kind, face-major, with its level count.
const std::vector<Surface*>* LevelsOf(ObjectBase* object, UINT& levels, D3DRESOURCETYPE& type) {
    if (auto* t = dynamic_cast<Texture*>(object)) {
        levels = t->levels;
        type = D3DRTYPE_TEXTURE;
        return &t->surfaces;
    }
    if (auto* c = dynamic_cast<CubeTexture*>(object)) {
        levels = c->levels;
        type = D3DRTYPE_CUBETEXTURE;
        return &c->surfaces;
    }
    return nullptr;
}

}  // namespace

HRESULT STDMETHODCALLTYPE Device::UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest) {
    if (HRESULT hr = Fault("UpdateTexture")) return hr;
    ObjectBase* from = Base(source);
    ObjectBase* to = Base(dest);
    UINT fromLevels = 0, toLevels = 0;
    D3DRESOURCETYPE fromType = D3DRTYPE_TEXTURE, toType = D3DRTYPE_TEXTURE;
    const std::vector<Surface*>* src = from ? LevelsOf(from, fromLevels, fromType) : nullptr;
    const std::vector<Surface*>* dst = to ? LevelsOf(to, toLevels, toType) : nullptr;
    HRESULT hr = D3D_OK;
    // From system memory into the default pool, one type and format; the source's top
    // level may be larger, its chain then lines up with the destination's lower down.
    size_t skip = 0;
    if (!src || !dst || fromType != toType || src->front()->desc.Pool != D3DPOOL_SYSTEMMEM ||
        dst->front()->desc.Pool != D3DPOOL_DEFAULT || src->front()->desc.Format != dst->front()->desc.Format) {
        hr = D3DERR_INVALIDCALL;
    } else {
        const D3DSURFACE_DESC& top = dst->front()->desc;
        while (skip < fromLevels && (*src)[skip]->desc.Width > top.Width) ++skip;
        if (skip >= fromLevels || (*src)[skip]->desc.Width != top.Width || (*src)[skip]->desc.Height != top.Height ||
            fromLevels - skip < toLevels)
            hr = D3DERR_INVALIDCALL;
    }
    Log("UpdateTexture", hr, {O(source), O(dest)});
    if (FAILED(hr)) return hr;
    const size_t faces = dst->size() / toLevels;
    for (size_t face = 0; face < faces; ++face) {
        for (size_t level = 0; level < toLevels; ++level) {
            const Surface& a = *(*src)[face * fromLevels + skip + level];
            Surface& b = *(*dst)[face * toLevels + level];
            memcpy(b.pixels, a.pixels, SurfaceBytes(a.desc.Format, a.desc.Width, a.desc.Height));
        }
    }
    return D3D_OK;
}

UINT STDMETHODCALLTYPE Device::GetAvailableTextureMem() {
    // What default-pool textures hold is gone; rounded down to whole megabytes, as the
    // runtime reports it.
    const size_t total = AdapterConfig().textureMemory;
    const size_t left = total - std::min(total, defaultTextureBytes);
    return static_cast<UINT>(left) & ~((1u << 20) - 1);
}

// ---- pixels --------------------------------------------------------------------------------

void FillRect(Surface& surface, const RECT& rect, D3DCOLOR color) {
    if (!surface.pixels || FormatBits(surface.desc.Format) != 32 || IsDepthFormat(surface.desc.Format)) return;
    const UINT pitch = RowPitch(surface.desc.Format, surface.desc.Width);
    for (LONG y = rect.top; y < rect.bottom; ++y)
        for (LONG x = rect.left; x < rect.right; ++x)
            memcpy(surface.pixels + size_t(y) * pitch + size_t(x) * 4, &color, 4);
}

}  // namespace d3d9
