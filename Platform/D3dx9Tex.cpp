// The D3DX texture functions for the Linux build. They work on any Direct3D 9 device
// through its public interface only (caps, CheckDeviceFormat, CreateTexture, LockRect),
// as the real library does, so what they make is what the device itself would accept.
//
// Sizes, levels and formats are adjusted before creation the way the library documents:
// defaults filled in, sizes rounded to whole compressed blocks, to powers of two and to
// squares where the caps ask for them and clamped to the maximum, level counts cut to the
// chain, an unsupported format replaced by the nearest one the device has. Pixels are
// converted through four floats per texel (D3dx9TexPixels), which serves filtering, normal
// maps and copies between formats alike; compressed formats are copied as whole blocks,
// or decoded and coded again through the image library when the format or size changes.
// Filtering reaches levels in video memory that no lock can, through copies in system
// memory. The file functions are in D3dx9TexFiles.cpp.
#include "D3dx9TexPixels.h"
#include "ImageFormat.h"

#include <d3dx9.h>
#include <math.h>
#include <string.h>

#include <algorithm>
#include <vector>

using namespace d3dx9;

namespace {

constexpr DWORD kRefusedUsages =
    D3DUSAGE_WRITEONLY | D3DUSAGE_DONOTCLIP | D3DUSAGE_POINTS | D3DUSAGE_RTPATCHES | D3DUSAGE_NPATCHES;
constexpr UINT kDefaultSize = 256;

UINT RoundUpPow2(UINT n) {
    UINT p = 1;
    while (p < n && p < 0x80000000u) p <<= 1;
    return p;
}

UINT FloorPow2(UINT n) {
    UINT p = 1;
    while (p <= n / 2) p <<= 1;
    return p;
}

UINT FullChain(UINT width, UINT height) {
    UINT levels = 1;
    for (UINT size = std::max(width, height); size > 1; size >>= 1) ++levels;
    return levels;
}

// ---- formats ------------------------------------------------------------------------------

// What a format carries, in bits per channel, for choosing the nearest one.
struct Shape {
    D3DFORMAT format;
    uint8_t r, g, b, a, l;
    bool isSigned;
    bool block;
};

constexpr Shape kShapes[] = {
    {D3DFMT_A8R8G8B8, 8, 8, 8, 8, 0, false, false},      {D3DFMT_X8R8G8B8, 8, 8, 8, 0, 0, false, false},
    {D3DFMT_A8B8G8R8, 8, 8, 8, 8, 0, false, false},      {D3DFMT_X8B8G8R8, 8, 8, 8, 0, 0, false, false},
    {D3DFMT_R8G8B8, 8, 8, 8, 0, 0, false, false},        {D3DFMT_R5G6B5, 5, 6, 5, 0, 0, false, false},
    {D3DFMT_X1R5G5B5, 5, 5, 5, 0, 0, false, false},      {D3DFMT_A1R5G5B5, 5, 5, 5, 1, 0, false, false},
    {D3DFMT_A4R4G4B4, 4, 4, 4, 4, 0, false, false},      {D3DFMT_X4R4G4B4, 4, 4, 4, 0, 0, false, false},
    {D3DFMT_R3G3B2, 3, 3, 2, 0, 0, false, false},        {D3DFMT_A2R10G10B10, 10, 10, 10, 2, 0, false, false},
    {D3DFMT_A2B10G10R10, 10, 10, 10, 2, 0, false, false}, {D3DFMT_A16B16G16R16, 16, 16, 16, 16, 0, false, false},
    {D3DFMT_G16R16, 16, 16, 0, 0, 0, false, false},      {D3DFMT_A8, 0, 0, 0, 8, 0, false, false},
    {D3DFMT_L8, 0, 0, 0, 0, 8, false, false},            {D3DFMT_A8L8, 0, 0, 0, 8, 8, false, false},
    {D3DFMT_A4L4, 0, 0, 0, 4, 4, false, false},          {D3DFMT_L16, 0, 0, 0, 0, 16, false, false},
    {D3DFMT_V8U8, 8, 8, 0, 0, 0, true, false},           {D3DFMT_Q8W8V8U8, 8, 8, 8, 8, 0, true, false},
    {D3DFMT_V16U16, 16, 16, 0, 0, 0, true, false},       {D3DFMT_DXT1, 5, 6, 5, 1, 0, false, true},
    {D3DFMT_DXT2, 5, 6, 5, 4, 0, false, true},           {D3DFMT_DXT3, 5, 6, 5, 4, 0, false, true},
    {D3DFMT_DXT4, 5, 6, 5, 8, 0, false, true},           {D3DFMT_DXT5, 5, 6, 5, 8, 0, false, true},
};

const Shape* ShapeOf(D3DFORMAT format) {
    for (const Shape& s : kShapes)
        if (s.format == format) return &s;
    return nullptr;
}

// How far `have` is from what `want` holds: a lost channel costs most, lost bits more
// than spare ones, and luminance is served by colour at a small price.
int Distance(const Shape& want, const Shape& have) {
    if (want.isSigned != have.isSigned) return 1 << 20;
    int cost = have.block && !want.block ? 5000 : 0;
    auto channel = [&](int w, int h) {
        if (w && !h) return 1000;
        if (!w && h) return 4;
        return w > h ? (w - h) * 10 : h - w;
    };
    cost += channel(want.a, have.a);
    if (want.l && !have.l) {
        const int colour = std::min({have.r, have.g, have.b});
        cost += colour ? 20 + channel(want.l, colour) : 1000;
    } else {
        cost += channel(want.l, have.l);
        cost += channel(want.r, have.r) + channel(want.g, have.g) + channel(want.b, have.b);
    }
    return cost;
}

struct DeviceInfo {
    IDirect3D9* d3d = nullptr;
    D3DDEVICE_CREATION_PARAMETERS creation{};
    D3DDISPLAYMODE mode{};
    D3DCAPS9 caps{};
    ~DeviceInfo() {
        if (d3d) d3d->Release();
    }
    bool Read(IDirect3DDevice9* device) {
        return SUCCEEDED(device->GetDeviceCaps(&caps)) && SUCCEEDED(device->GetCreationParameters(&creation)) &&
               SUCCEEDED(device->GetDisplayMode(0, &mode)) && SUCCEEDED(device->GetDirect3D(&d3d));
    }
    bool Supports(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) const {
        const DWORD asked = usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DMAP);
        return SUCCEEDED(d3d->CheckDeviceFormat(creation.AdapterOrdinal, creation.DeviceType, mode.Format, asked, type,
                                                format));
    }
};

// The format to create: the one asked for when the device has it, else the nearest it
// has; D3DFMT_UNKNOWN when it has none near.
D3DFORMAT ChooseFormat(const DeviceInfo& info, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT asked) {
    if (asked == D3DFMT_UNKNOWN || asked == static_cast<D3DFORMAT>(D3DX_DEFAULT)) asked = D3DFMT_A8R8G8B8;
    if (info.Supports(usage, type, asked)) return asked;
    // CxV8U8 computes its third component from the two it stores, so no format is near it
    // by channels: the library takes the ones that keep its two signed channels as they
    // are, the one with luminance beside them first.
    if (asked == D3DFMT_CxV8U8) {
        for (D3DFORMAT kin : {D3DFMT_X8L8V8U8, D3DFMT_V8U8})
            if (info.Supports(usage, type, kin)) return kin;
    }
    // Compressed texels are decompressed into the plainest format with every channel.
    if (ShapeOf(asked) && ShapeOf(asked)->block && info.Supports(usage, type, D3DFMT_A8R8G8B8)) return D3DFMT_A8R8G8B8;
    const Shape* want = ShapeOf(asked);
    if (!want) want = ShapeOf(D3DFMT_A8R8G8B8);
    D3DFORMAT best = D3DFMT_UNKNOWN;
    int bestCost = 1 << 20;
    for (const Shape& s : kShapes) {
        const int cost = Distance(*want, s);
        if (cost < bestCost && info.Supports(usage, type, s.format)) {
            best = s.format;
            bestCost = cost;
        }
    }
    return best;
}

// Levels for a texture of this size: the full chain for 0 or D3DX_DEFAULT, else no more
// than the chain; the device's own generation takes one level or all.
UINT ChooseLevels(UINT asked, UINT width, UINT height, DWORD usage, bool mipmaps) {
    if (usage & D3DUSAGE_AUTOGENMIPMAP) return asked == 1 ? 1 : 0;
    if (!mipmaps) return 1;
    const UINT chain = FullChain(width, height);
    return asked == 0 || asked == D3DX_DEFAULT ? chain : std::min(asked, chain);
}

bool IsDefaultSize(UINT size) { return size == D3DX_DEFAULT; }

// Rounds a size as the caps require and clamps it to `max`.
UINT FitSize(UINT size, bool block, bool pow2, UINT max) {
    if (size == 0) size = 1;
    size = std::min(size, max);
    if (block) size = std::min((size + 3) & ~3u, max);
    if (pow2) {
        size = RoundUpPow2(size);
        if (size > max) size = FloorPow2(max);
    }
    return size;
}

}  // namespace

// ---- creation -----------------------------------------------------------------------------

HRESULT WINAPI D3DXCheckTextureRequirements(LPDIRECT3DDEVICE9 device, UINT* width, UINT* height, UINT* levels,
                                            DWORD usage, D3DFORMAT* format, D3DPOOL) {
    if (!device || (usage & kRefusedUsages)) return D3DERR_INVALIDCALL;
    DeviceInfo info;
    if (!info.Read(device)) return D3DERR_INVALIDCALL;
    const D3DFORMAT chosen = ChooseFormat(info, usage, D3DRTYPE_TEXTURE, format ? *format : D3DFMT_UNKNOWN);
    if (chosen == D3DFMT_UNKNOWN) return D3DERR_NOTAVAILABLE;

    UINT w = width ? *width : D3DX_DEFAULT;
    UINT h = height ? *height : D3DX_DEFAULT;
    if (IsDefaultSize(w) && IsDefaultSize(h))
        w = h = kDefaultSize;
    else if (IsDefaultSize(w))
        w = h;
    else if (IsDefaultSize(h))
        h = w;
    const DWORD texCaps = info.caps.TextureCaps;
    const bool mipmaps = (texCaps & D3DPTEXTURECAPS_MIPMAP) != 0;
    const UINT askedLevels = levels ? *levels : 0;
    // Sizes that are not powers of two are allowed conditionally: without mip levels.
    bool pow2 = (texCaps & D3DPTEXTURECAPS_POW2) != 0;
    if (pow2 && (texCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) && askedLevels == 1) pow2 = false;
    const bool block = ShapeOf(chosen) && ShapeOf(chosen)->block;
    w = FitSize(w, block, pow2, info.caps.MaxTextureWidth ? info.caps.MaxTextureWidth : w);
    h = FitSize(h, block, pow2, info.caps.MaxTextureHeight ? info.caps.MaxTextureHeight : h);
    if (texCaps & D3DPTEXTURECAPS_SQUAREONLY) w = h = std::max(w, h);

    if (width) *width = w;
    if (height) *height = h;
    if (levels) *levels = ChooseLevels(askedLevels, w, h, usage, mipmaps);
    if (format) *format = chosen;
    return D3D_OK;
}

HRESULT WINAPI D3DXCheckCubeTextureRequirements(LPDIRECT3DDEVICE9 device, UINT* size, UINT* levels, DWORD usage,
                                                D3DFORMAT* format, D3DPOOL) {
    if (!device || (usage & kRefusedUsages)) return D3DERR_INVALIDCALL;
    DeviceInfo info;
    if (!info.Read(device)) return D3DERR_INVALIDCALL;
    const D3DFORMAT chosen = ChooseFormat(info, usage, D3DRTYPE_CUBETEXTURE, format ? *format : D3DFMT_UNKNOWN);
    if (chosen == D3DFMT_UNKNOWN) return D3DERR_NOTAVAILABLE;
    UINT s = size ? *size : D3DX_DEFAULT;
    if (IsDefaultSize(s)) s = kDefaultSize;
    const DWORD texCaps = info.caps.TextureCaps;
    const bool block = ShapeOf(chosen) && ShapeOf(chosen)->block;
    s = FitSize(s, block, (texCaps & D3DPTEXTURECAPS_CUBEMAP_POW2) != 0,
                info.caps.MaxTextureWidth ? info.caps.MaxTextureWidth : s);
    if (size) *size = s;
    if (levels) *levels = ChooseLevels(*levels, s, s, usage, (texCaps & D3DPTEXTURECAPS_MIPCUBEMAP) != 0);
    if (format) *format = chosen;
    return D3D_OK;
}

HRESULT WINAPI D3DXCreateTexture(LPDIRECT3DDEVICE9 device, UINT width, UINT height, UINT levels, DWORD usage,
                                 D3DFORMAT format, D3DPOOL pool, LPDIRECT3DTEXTURE9* out) {
    if (!device || !out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (HRESULT hr = D3DXCheckTextureRequirements(device, &width, &height, &levels, usage, &format, pool); FAILED(hr))
        return hr;
    return device->CreateTexture(width, height, levels, usage, format, pool, out, nullptr);
}

HRESULT WINAPI D3DXCreateCubeTexture(LPDIRECT3DDEVICE9 device, UINT size, UINT levels, DWORD usage, D3DFORMAT format,
                                     D3DPOOL pool, LPDIRECT3DCUBETEXTURE9* out) {
    if (!device || !out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (HRESULT hr = D3DXCheckCubeTextureRequirements(device, &size, &levels, usage, &format, pool); FAILED(hr))
        return hr;
    return device->CreateCubeTexture(size, levels, usage, format, pool, out, nullptr);
}

// ---- pixels -------------------------------------------------------------------------------

namespace {

bool Within(const RECT& r, UINT width, UINT height) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && UINT(r.right) <= width &&
           UINT(r.bottom) <= height;
}

// Copies whole 4x4 blocks of one compressed format between rectangles of one size.
HRESULT CopyBlocks(D3DFORMAT format, const uint8_t* src, UINT srcPitch, const RECT& from, uint8_t* dst, INT dstPitch,
                   UINT width, UINT height) {
    if ((from.left | from.top) & 3) return D3DERR_INVALIDCALL;
    const UINT block = format == D3DFMT_DXT1 ? 8 : 16;
    const UINT columns = (width + 3) / 4, rows = (height + 3) / 4;
    const uint8_t* start = src + size_t(from.top / 4) * srcPitch + size_t(from.left / 4) * block;
    for (UINT row = 0; row < rows; ++row)
        memcpy(dst + ptrdiff_t(row) * dstPitch, start + size_t(row) * srcPitch, size_t(columns) * block);
    return D3D_OK;
}


// The texels of a rectangle of uncompressed (or palette) memory.
HRESULT ReadSource(D3DFORMAT format, const uint8_t* bytes, UINT pitch, const PALETTEENTRY* palette, const RECT& r,
                   Plane& plane) {
    const bool paletted = format == D3DFMT_P8;
    const UINT texel = paletted ? 1 : TexelBytes(format);
    if (!texel || (paletted && !palette)) return E_NOTIMPL;
    plane.width = UINT(r.right - r.left);
    plane.height = UINT(r.bottom - r.top);
    plane.texels.resize(size_t(plane.width) * plane.height);
    for (UINT y = 0; y < plane.height; ++y) {
        const uint8_t* row = bytes + size_t(r.top + y) * pitch + size_t(r.left) * texel;
        for (UINT x = 0; x < plane.width; ++x) {
            if (paletted) {
                // The palette's flags byte is the entry's alpha.
                const PALETTEENTRY& e = palette[row[x]];
                plane.At(x, y) = Texel{e.peRed / 255.0f, e.peGreen / 255.0f, e.peBlue / 255.0f, e.peFlags / 255.0f};
            } else {
                plane.At(x, y) = ReadTexel(format, row + size_t(x) * texel);
            }
        }
    }
    return D3D_OK;
}

// The texels of a block-aligned rectangle of compressed memory, decoded.
HRESULT DecodeBlocks(D3DFORMAT format, const uint8_t* bytes, UINT pitch, const RECT& r, Plane& plane) {
    if ((r.left | r.top) & 3) return D3DERR_INVALIDCALL;
    const UINT width = UINT(r.right - r.left), height = UINT(r.bottom - r.top);
    const UINT block = format == D3DFMT_DXT1 ? 8 : 16;
    const size_t rowBytes = size_t((width + 3) / 4) * block;
    std::vector<uint8_t> tight;
    for (UINT row = 0; row < (height + 3) / 4; ++row) {
        const uint8_t* from = bytes + size_t(r.top / 4 + row) * pitch + size_t(r.left / 4) * block;
        tight.insert(tight.end(), from, from + rowBytes);
    }
    PlatformImage::Surface argb;
    if (!PlatformImage::DecompressDxt(format, tight.data(), tight.size(), width, height, &argb, nullptr))
        return D3DXERR_INVALIDDATA;
    plane = ReadPlane(D3DFMT_A8R8G8B8, argb.bytes.data(), INT(argb.pitch), width, height);
    return D3D_OK;
}

// Codes texels into the blocks of a block-aligned rectangle of a compressed surface.
HRESULT EncodeBlocks(const D3DSURFACE_DESC& desc, const Plane& plane, const RECT& r, IDirect3DSurface9* dest) {
    if ((r.left | r.top) & 3) return D3DERR_INVALIDCALL;
    PlatformImage::Surface argb;
    argb.ResetArgb(plane.width, plane.height);
    WritePlane(D3DFMT_A8R8G8B8, plane, argb.bytes.data(), INT(argb.pitch));
    std::vector<uint8_t> blocks;
    if (!PlatformImage::CompressDxt(desc.Format, argb, &blocks, nullptr)) return E_FAIL;
    D3DLOCKED_RECT locked;
    if (HRESULT hr = dest->LockRect(&locked, &r, 0); FAILED(hr)) return hr;
    const UINT block = desc.Format == D3DFMT_DXT1 ? 8 : 16;
    const size_t rowBytes = size_t((plane.width + 3) / 4) * block;
    for (UINT row = 0; row < (plane.height + 3) / 4; ++row)
        memcpy(static_cast<uint8_t*>(locked.pBits) + ptrdiff_t(row) * locked.Pitch, blocks.data() + row * rowBytes,
               rowBytes);
    dest->UnlockRect();
    return D3D_OK;
}

}  // namespace

HRESULT WINAPI D3DXLoadSurfaceFromMemory(LPDIRECT3DSURFACE9 dest, const PALETTEENTRY*, const RECT* destRect,
                                         LPCVOID source, D3DFORMAT sourceFormat, UINT sourcePitch,
                                         const PALETTEENTRY* palette, const RECT* sourceRect, DWORD filter,
                                         D3DCOLOR colorKey) {
    if (!dest || !source || !sourceRect || sourceFormat == D3DFMT_UNKNOWN) return D3DERR_INVALIDCALL;
    const RECT& sr = *sourceRect;
    if (sr.left < 0 || sr.top < 0 || sr.left >= sr.right || sr.top >= sr.bottom) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc;
    if (FAILED(dest->GetDesc(&desc))) return D3DERR_INVALIDCALL;
    const RECT dr = destRect ? *destRect : RECT{0, 0, LONG(desc.Width), LONG(desc.Height)};
    if (!Within(dr, desc.Width, desc.Height)) return D3DERR_INVALIDCALL;
    const DWORD kind = FilterKind(filter, D3DX_FILTER_TRIANGLE);
    if (!kind) return D3DERR_INVALIDCALL;
    const UINT sw = UINT(sr.right - sr.left), sh = UINT(sr.bottom - sr.top);
    const UINT dw = UINT(dr.right - dr.left), dh = UINT(dr.bottom - dr.top);
    const uint8_t* bytes = static_cast<const uint8_t*>(source);

    if (IsBlockFormat(sourceFormat) && sourceFormat == desc.Format && sw == dw && sh == dh && !colorKey) {
        // Blocks that change neither format nor size are copied as they are.
        D3DLOCKED_RECT locked;
        if (HRESULT hr = dest->LockRect(&locked, &dr, 0); FAILED(hr)) return hr;
        const HRESULT hr = CopyBlocks(sourceFormat, bytes, sourcePitch, sr, static_cast<uint8_t*>(locked.pBits),
                                      locked.Pitch, sw, sh);
        dest->UnlockRect();
        return hr;
    }
    // Formats with unused bits other than X8R8G8B8's go the long way, which sets them.
    const bool unusedBits = desc.Format == D3DFMT_X1R5G5B5 || desc.Format == D3DFMT_X4R4G4B4 ||
                            desc.Format == D3DFMT_X8B8G8R8 || desc.Format == D3DFMT_X8L8V8U8;
    const bool sameLayout = !unusedBits && (sourceFormat == desc.Format ||
                                            (sourceFormat == D3DFMT_A8R8G8B8 && desc.Format == D3DFMT_X8R8G8B8));
    if (sameLayout && !IsBlockFormat(sourceFormat) && sourceFormat != D3DFMT_P8 && TexelBytes(sourceFormat) &&
        sw == dw && sh == dh && !colorKey) {
        // Texels that change neither format nor size are copied row by row: the loaders
        // put every decoded level through here, and the float planes below cost a hundred
        // times as much.
        const size_t rowBytes = size_t{sw} * TexelBytes(sourceFormat);
        D3DLOCKED_RECT locked;
        if (HRESULT hr = dest->LockRect(&locked, &dr, 0); FAILED(hr)) return hr;
        const uint8_t* from = bytes + size_t(sr.top) * sourcePitch + size_t(sr.left) * TexelBytes(sourceFormat);
        uint8_t* to = static_cast<uint8_t*>(locked.pBits);
        for (UINT y = 0; y < sh; ++y, from += sourcePitch, to += locked.Pitch) {
            memcpy(to, from, rowBytes);
            if (desc.Format == D3DFMT_X8R8G8B8) {
                // X8R8G8B8 holds its unused byte as 0xFF, as the plane writer does.
                for (size_t x = 3; x < rowBytes; x += 4) to[x] = 0xFF;
            }
        }
        dest->UnlockRect();
        return D3D_OK;
    }
    Plane plane;
    if (IsBlockFormat(sourceFormat)) {
        if (HRESULT hr = DecodeBlocks(sourceFormat, bytes, sourcePitch, sr, plane); FAILED(hr)) return hr;
    } else if (HRESULT hr = ReadSource(sourceFormat, bytes, sourcePitch, palette, sr, plane); FAILED(hr)) {
        return hr;
    }
    if (colorKey)
        for (Texel& t : plane.texels)
            if (ToArgb(t) == colorKey) t = Texel{0, 0, 0, 0};
    const Plane scaled = Resample(plane, dw, dh, kind);
    if (IsBlockFormat(desc.Format)) return EncodeBlocks(desc, scaled, dr, dest);
    if (!TexelBytes(desc.Format)) return E_NOTIMPL;
    D3DLOCKED_RECT locked;
    if (HRESULT hr = dest->LockRect(&locked, &dr, 0); FAILED(hr)) return hr;
    WritePlane(desc.Format, scaled, static_cast<uint8_t*>(locked.pBits), locked.Pitch);
    dest->UnlockRect();
    return D3D_OK;
}

HRESULT WINAPI D3DXLoadSurfaceFromSurface(LPDIRECT3DSURFACE9 dest, const PALETTEENTRY* destPalette,
                                          const RECT* destRect, LPDIRECT3DSURFACE9 source,
                                          const PALETTEENTRY* sourcePalette, const RECT* sourceRect, DWORD filter,
                                          D3DCOLOR colorKey) {
    if (!dest || !source) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc;
    if (FAILED(source->GetDesc(&desc))) return D3DERR_INVALIDCALL;
    const RECT whole{0, 0, LONG(desc.Width), LONG(desc.Height)};
    const RECT sr = sourceRect ? *sourceRect : whole;
    if (!Within(sr, desc.Width, desc.Height)) return D3DERR_INVALIDCALL;
    // The whole surface is locked, so the source rectangle keeps its place in it.
    D3DLOCKED_RECT locked;
    if (HRESULT hr = source->LockRect(&locked, nullptr, D3DLOCK_READONLY); FAILED(hr)) return hr;
    const HRESULT hr = D3DXLoadSurfaceFromMemory(dest, destPalette, destRect, locked.pBits, desc.Format,
                                                 UINT(locked.Pitch), sourcePalette, &sr, filter, colorKey);
    source->UnlockRect();
    return hr;
}

namespace {

// A level in video memory that was not made dynamic cannot be locked, so it is read and
// written through copies in system memory, as the runtime lets every texture be filtered:
// read through a render target of its size (a render target can be copied out whole),
// written with UpdateSurface.
struct Staging {
    IDirect3DDevice9* device = nullptr;
    IDirect3DSurface9* copy = nullptr;    // in system memory
    IDirect3DSurface9* target = nullptr;  // a render target between the level and the copy
    ~Staging() {
        if (target) target->Release();
        if (copy) copy->Release();
        if (device) device->Release();
    }
    HRESULT Make(IDirect3DSurface9* level, const D3DSURFACE_DESC& desc) {
        if (HRESULT hr = level->GetDevice(&device); FAILED(hr)) return hr;
        return device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                   nullptr);
    }
    HRESULT ReadFrom(IDirect3DSurface9* level, const D3DSURFACE_DESC& desc) {
        if (HRESULT hr = Make(level, desc); FAILED(hr)) return hr;
        if (desc.Usage & D3DUSAGE_RENDERTARGET) return device->GetRenderTargetData(level, copy);
        if (HRESULT hr = device->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0,
                                                    FALSE, &target, nullptr);
            FAILED(hr))
            return hr;
        if (HRESULT hr = device->StretchRect(level, nullptr, target, nullptr, D3DTEXF_POINT); FAILED(hr)) return hr;
        return device->GetRenderTargetData(target, copy);
    }
};

bool Staged(const D3DSURFACE_DESC& desc) { return desc.Pool == D3DPOOL_DEFAULT && !(desc.Usage & D3DUSAGE_DYNAMIC); }

Plane ReadLocked(IDirect3DSurface9* surface, const D3DSURFACE_DESC& desc, HRESULT& hr) {
    D3DLOCKED_RECT locked;
    if (hr = surface->LockRect(&locked, nullptr, D3DLOCK_READONLY); FAILED(hr)) return Plane{};
    Plane plane = ReadPlane(desc.Format, static_cast<const uint8_t*>(locked.pBits), locked.Pitch, desc.Width,
                            desc.Height);
    surface->UnlockRect();
    return plane;
}

HRESULT WriteLocked(IDirect3DSurface9* surface, const D3DSURFACE_DESC& desc, const Plane& plane) {
    D3DLOCKED_RECT locked;
    if (HRESULT hr = surface->LockRect(&locked, nullptr, 0); FAILED(hr)) return hr;
    WritePlane(desc.Format, plane, static_cast<uint8_t*>(locked.pBits), locked.Pitch);
    surface->UnlockRect();
    return D3D_OK;
}

// A level read whole into a plane.
HRESULT ReadLevel(IDirect3DSurface9* surface, Plane& plane, D3DFORMAT& format) {
    D3DSURFACE_DESC desc;
    if (FAILED(surface->GetDesc(&desc))) return D3DERR_INVALIDCALL;
    format = desc.Format;
    if (!TexelBytes(desc.Format)) return E_NOTIMPL;
    HRESULT hr = D3D_OK;
    if (!Staged(desc)) {
        plane = ReadLocked(surface, desc, hr);
        return hr;
    }
    Staging staging;
    if (hr = staging.ReadFrom(surface, desc); FAILED(hr)) return hr;
    plane = ReadLocked(staging.copy, desc, hr);
    return hr;
}

HRESULT WriteLevel(IDirect3DSurface9* surface, const Plane& plane) {
    D3DSURFACE_DESC desc;
    if (FAILED(surface->GetDesc(&desc))) return D3DERR_INVALIDCALL;
    if (!TexelBytes(desc.Format)) return E_NOTIMPL;
    if (!Staged(desc)) return WriteLocked(surface, desc, plane);
    Staging staging;
    if (HRESULT hr = staging.Make(surface, desc); FAILED(hr)) return hr;
    if (HRESULT hr = WriteLocked(staging.copy, desc, plane); FAILED(hr)) return hr;
    return staging.device->UpdateSurface(staging.copy, nullptr, surface, nullptr);
}

// The surface of a face's level of a 2D or cube texture, with a reference.
IDirect3DSurface9* LevelSurface(IDirect3DBaseTexture9* texture, UINT face, UINT level) {
    IDirect3DSurface9* surface = nullptr;
    if (texture->GetType() == D3DRTYPE_TEXTURE)
        static_cast<IDirect3DTexture9*>(texture)->GetSurfaceLevel(level, &surface);
    else
        static_cast<IDirect3DCubeTexture9*>(texture)->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level,
                                                                      &surface);
    return surface;
}

}  // namespace

HRESULT WINAPI D3DXFilterTexture(LPDIRECT3DBASETEXTURE9 texture, const PALETTEENTRY*, UINT sourceLevel,
                                 DWORD filter) {
    if (!texture) return D3DERR_INVALIDCALL;
    const DWORD kind = FilterKind(filter, D3DX_FILTER_BOX);
    if (!kind) return D3DERR_INVALIDCALL;
    if (sourceLevel == D3DX_DEFAULT) sourceLevel = 0;
    const UINT levels = texture->GetLevelCount();
    if (sourceLevel >= levels) return D3DERR_INVALIDCALL;
    const D3DRESOURCETYPE type = texture->GetType();
    if (type != D3DRTYPE_TEXTURE && type != D3DRTYPE_CUBETEXTURE) return D3DERR_INVALIDCALL;
    const UINT faces = type == D3DRTYPE_CUBETEXTURE ? 6 : 1;
    for (UINT face = 0; face < faces; ++face) {
        Plane above;
        D3DFORMAT format;
        IDirect3DSurface9* top = LevelSurface(texture, face, sourceLevel);
        if (!top) return D3DERR_INVALIDCALL;
        HRESULT hr = ReadLevel(top, above, format);
        top->Release();
        if (FAILED(hr)) return hr;
        // Each level from the one above it, as a chain of halvings keeps every texel's
        // footprint square.
        for (UINT level = sourceLevel + 1; level < levels; ++level) {
            IDirect3DSurface9* surface = LevelSurface(texture, face, level);
            if (!surface) return D3DERR_INVALIDCALL;
            D3DSURFACE_DESC desc;
            surface->GetDesc(&desc);
            above = Resample(above, desc.Width, desc.Height, kind);
            hr = WriteLevel(surface, above);
            // The next level is made from this one as stored, rounded to its format.
            if (SUCCEEDED(hr)) hr = ReadLevel(surface, above, format);
            surface->Release();
            if (FAILED(hr)) return hr;
        }
    }
    return D3D_OK;
}

// ---- normal maps --------------------------------------------------------------------------

namespace {

float Height(const Texel& t, DWORD channel) {
    switch (channel) {
    case D3DX_CHANNEL_RED: return t.r;
    case D3DX_CHANNEL_GREEN: return t.g;
    case D3DX_CHANNEL_BLUE: return t.b;
    case D3DX_CHANNEL_ALPHA: return t.a;
    default: return 0.2125f * t.r + 0.7154f * t.g + 0.0721f * t.b;
    }
}

// The neighbour of `i` at `i + step` on an axis of `size`: wrapped around, or mirrored
// at the edge (the texel beyond the edge is the edge texel itself).
UINT Neighbour(UINT i, int step, UINT size, bool mirror) {
    const int64_t j = int64_t(i) + step;
    if (j >= 0 && j < int64_t(size)) return UINT(j);
    if (mirror) return j < 0 ? 0 : size - 1;
    return UINT((j + size) % size);
}

}  // namespace

HRESULT WINAPI D3DXComputeNormalMap(LPDIRECT3DTEXTURE9 texture, LPDIRECT3DTEXTURE9 source, const PALETTEENTRY*,
                                    DWORD flags, DWORD channel, FLOAT amplitude) {
    if (!texture || !source) return D3DERR_INVALIDCALL;
    if (channel != D3DX_CHANNEL_RED && channel != D3DX_CHANNEL_GREEN && channel != D3DX_CHANNEL_BLUE &&
        channel != D3DX_CHANNEL_ALPHA && channel != D3DX_CHANNEL_LUMINANCE)
        return D3DERR_INVALIDCALL;
    IDirect3DSurface9* from = nullptr;
    IDirect3DSurface9* to = nullptr;
    if (FAILED(source->GetSurfaceLevel(0, &from))) return D3DERR_INVALIDCALL;
    if (FAILED(texture->GetSurfaceLevel(0, &to))) {
        from->Release();
        return D3DERR_INVALIDCALL;
    }
    Plane heights;
    D3DFORMAT sourceFormat;
    HRESULT hr = ReadLevel(from, heights, sourceFormat);
    D3DSURFACE_DESC desc{};
    if (SUCCEEDED(hr)) hr = to->GetDesc(&desc);
    if (SUCCEEDED(hr)) {
        // A destination of another size takes the heights averaged (or spread) to its own.
        if (heights.width != desc.Width || heights.height != desc.Height)
            heights = Resample(heights, desc.Width, desc.Height, D3DX_FILTER_BOX);
        const bool mirrorU = (flags & D3DX_NORMALMAP_MIRROR_U) != 0, mirrorV = (flags & D3DX_NORMALMAP_MIRROR_V) != 0;
        const bool biased = !IsSignedFormat(desc.Format);
        Plane normals;
        normals.width = desc.Width;
        normals.height = desc.Height;
        normals.texels.resize(size_t(desc.Width) * desc.Height);
        for (UINT y = 0; y < desc.Height; ++y) {
            for (UINT x = 0; x < desc.Width; ++x) {
                auto h = [&](UINT i, UINT j) { return Height(heights.At(i, j), channel); };
                // Central differences over the 3x3 neighbourhood, denominator 2.
                const float dx = (h(Neighbour(x, 1, desc.Width, mirrorU), y) -
                                  h(Neighbour(x, -1, desc.Width, mirrorU), y)) / 2.0f * amplitude;
                const float dy = (h(x, Neighbour(y, 1, desc.Height, mirrorV)) -
                                  h(x, Neighbour(y, -1, desc.Height, mirrorV))) / 2.0f * amplitude;
                float nx = -dx, ny = -dy, nz = 1.0f;
                if (flags & D3DX_NORMALMAP_INVERTSIGN) {
                    nx = -nx;
                    ny = -ny;
                }
                const float length = sqrtf(nx * nx + ny * ny + nz * nz);
                nx /= length;
                ny /= length;
                nz /= length;
                // A crude occlusion: how squarely the surface faces up.
                const float alpha = (flags & D3DX_NORMALMAP_COMPUTE_OCCLUSION) ? nz : 1.0f;
                normals.At(x, y) = biased ? Texel{(nx + 1) / 2, (ny + 1) / 2, (nz + 1) / 2, alpha}
                                          : Texel{nx, ny, nz, alpha};
            }
        }
        hr = WriteLevel(to, normals);
    }
    from->Release();
    to->Release();
    // The levels below follow from the top one, as a mip chain of the map.
    if (SUCCEEDED(hr) && texture->GetLevelCount() > 1) hr = D3DXFilterTexture(texture, nullptr, 0, D3DX_FILTER_BOX);
    return hr;
}
