// The D3DX file functions for the Linux build: textures, cube textures and surfaces loaded
// from image files in memory or on disk, image descriptions, and textures saved to files.
// The platform's image library reads and writes the files (Image.h); this layer decides
// what to create from what a file holds, as D3DX documents it, and moves the texels in.
//
// A size of 0 or D3DX_DEFAULT is the file's, rounded up to a power of two
// (D3DX_DEFAULT_NONPOW2 and D3DX_FROM_FILE keep it); levels 0 or D3DX_DEFAULT are the full
// chain, D3DX_FROM_FILE the file's own; a format left to D3DX is the file's, given alpha
// when a colour key will make texels transparent. The device then gets its say through
// D3DXCheckTextureRequirements. The top level is scaled with the filter (D3DX_DEFAULT:
// triangle); lower levels come from the file when it holds them at the right sizes, else
// from the level above with the mip filter (D3DX_DEFAULT: box). Texels equal to a non-zero
// colour key, compared as A8R8G8B8, become transparent black before any scaling. Without
// a filter, the texels of a 2D texture beyond a smaller image are transparent black, those
// of a cube's faces opaque black, as D3DX leaves them. A texture in video memory is filled
// through a system-memory copy, as the runtime allows no lock of it. Compressed data goes in
// as its blocks when the texture keeps the file's format; DDS texels of the wide formats
// (channels of more than 8 bits, floating point) go into a texture of their own format
// without passing through eight bits, and floating-point texels go into no other format.
#include "D3dx9TexPixels.h"
#include "Image.h"
#include "ImageFilter.h"
#include "ImageFormat.h"

#include <d3dx9.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace d3dx9;

namespace {

bool ReadWholeFile(LPCSTR path, std::vector<uint8_t>& bytes) {
    if (!path) return false;
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    uint8_t chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    const bool ok = !ferror(f);
    fclose(f);
    return ok;
}

void FillInfo(const PlatformImage::Info& from, D3DXIMAGE_INFO* to) {
    if (!to) return;
    to->Width = from.width;
    to->Height = from.height;
    to->Depth = from.depth;
    to->MipLevels = from.mipLevels;
    to->Format = static_cast<D3DFORMAT>(from.format);
    to->ResourceType = static_cast<D3DRESOURCETYPE>(from.resourceType);
    to->ImageFileFormat = static_cast<D3DXIMAGE_FILEFORMAT>(from.fileFormat);
}

UINT RoundUpPow2(UINT n) {
    UINT p = 1;
    while (p < n && p < 0x80000000u) p <<= 1;
    return p;
}

// The size to ask for on one axis, from the argument and the file's size.
UINT SizeFromFile(UINT asked, UINT file) {
    if (asked == 0 || asked == D3DX_DEFAULT) return RoundUpPow2(file);
    if (asked == D3DX_DEFAULT_NONPOW2 || asked == D3DX_FROM_FILE) return file;
    return asked;
}

// The format to ask for when D3DX chooses: the file's, with alpha when a colour key is
// given, and the formats textures do not take replaced by their nearest kin.
D3DFORMAT FormatFromFile(D3DFORMAT asked, uint32_t file, D3DCOLOR colorKey) {
    if (asked == D3DFMT_FROM_FILE) return static_cast<D3DFORMAT>(file);
    if (asked != D3DFMT_UNKNOWN && asked != static_cast<D3DFORMAT>(D3DX_DEFAULT)) return asked;
    D3DFORMAT f = static_cast<D3DFORMAT>(file);
    switch (f) {
    case D3DFMT_R8G8B8: f = D3DFMT_X8R8G8B8; break;
    case D3DFMT_P8:
    case D3DFMT_A8P8: f = D3DFMT_A8R8G8B8; break;
    default: break;
    }
    if (colorKey) {
        switch (f) {
        case D3DFMT_X8R8G8B8: return D3DFMT_A8R8G8B8;
        case D3DFMT_X1R5G5B5: return D3DFMT_A1R5G5B5;
        case D3DFMT_X4R4G4B4: return D3DFMT_A4R4G4B4;
        case D3DFMT_R5G6B5: return D3DFMT_A8R8G8B8;
        case D3DFMT_L8: return D3DFMT_A8L8;
        case D3DFMT_X8B8G8R8: return D3DFMT_A8B8G8R8;
        default: break;
        }
    }
    return f;
}

void KeyOut(PlatformImage::Surface& s, D3DCOLOR key) {
    if (!key) return;
    uint32_t* texels = s.Argb();
    for (size_t i = 0, n = size_t(s.width) * s.height; i < n; ++i)
        if (texels[i] == key) texels[i] = 0;
}

// Writes one A8R8G8B8 surface (or the file's blocks) into a level surface of any format.
HRESULT PutLevel(IDirect3DSurface9* level, const PlatformImage::Surface& argb) {
    const RECT all{0, 0, LONG(argb.width), LONG(argb.height)};
    return D3DXLoadSurfaceFromMemory(level, nullptr, nullptr, argb.bytes.data(), D3DFMT_A8R8G8B8, argb.pitch, nullptr,
                                     &all, D3DX_FILTER_NONE, 0);
}

HRESULT PutBlocks(IDirect3DSurface9* level, const PlatformImage::Surface& blocks, D3DFORMAT format) {
    const RECT all{0, 0, LONG(blocks.width), LONG(blocks.height)};
    return D3DXLoadSurfaceFromMemory(level, nullptr, nullptr, blocks.bytes.data(), format, blocks.pitch, nullptr, &all,
                                     D3DX_FILTER_NONE, 0);
}

IDirect3DSurface9* LevelOf(IDirect3DBaseTexture9* texture, UINT face, UINT level) {
    IDirect3DSurface9* s = nullptr;
    if (texture->GetType() == D3DRTYPE_CUBETEXTURE)
        static_cast<IDirect3DCubeTexture9*>(texture)->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, &s);
    else
        static_cast<IDirect3DTexture9*>(texture)->GetSurfaceLevel(level, &s);
    return s;
}

// Fills a texture of the format the image's wide texels are stored in, straight from them:
// a level the file holds at the texture's size is copied as it is, the top level at another
// size is scaled from the file's, and a level the file lacks is made from the one above.
// The scaling works on the texels' own values, so nothing passes through eight bits.
HRESULT FillFromStoredTexels(IDirect3DBaseTexture9* texture, const PlatformImage::Image& image, DWORD topKind,
                             DWORD mipKind, D3DCOLOR colorKey) {
    const UINT faces = texture->GetType() == D3DRTYPE_CUBETEXTURE ? 6 : 1;
    const UINT levels = texture->GetLevelCount();
    const UINT fileFace = std::min<UINT>(image.faces, faces) - 1;  // the last face the file holds
    const D3DFORMAT format = static_cast<D3DFORMAT>(image.pixelFormat);
    for (UINT face = 0; face < faces; ++face) {
        IDirect3DSurface9* above = nullptr;
        for (UINT level = 0; level < levels; ++level) {
            IDirect3DSurface9* s = LevelOf(texture, face, level);
            if (!s) {
                if (above) above->Release();
                return D3DERR_INVALIDCALL;
            }
            D3DSURFACE_DESC d;
            s->GetDesc(&d);
            const PlatformImage::Surface* stored =
                level < image.info.mipLevels ? &image.Level(std::min(face, fileFace), level) : nullptr;
            HRESULT hr;
            if (level == 0 || (stored && face <= fileFace && stored->width == d.Width && stored->height == d.Height)) {
                const RECT all{0, 0, LONG(stored->width), LONG(stored->height)};
                hr = D3DXLoadSurfaceFromMemory(s, nullptr, nullptr, stored->bytes.data(), format, stored->pitch, nullptr,
                                               &all, level == 0 ? topKind : mipKind, colorKey);
            } else {
                hr = D3DXLoadSurfaceFromSurface(s, nullptr, nullptr, above, nullptr, nullptr, mipKind, 0);
            }
            if (above) above->Release();
            above = s;
            if (FAILED(hr)) {
                above->Release();
                return hr;
            }
        }
        if (above) above->Release();
    }
    return D3D_OK;
}

// Fills every level of every face of `texture` from the decoded image.
HRESULT FillTexture(IDirect3DBaseTexture9* texture, PlatformImage::Image& image, DWORD filter, DWORD mipFilter,
                    D3DCOLOR colorKey) {
    const UINT faces = texture->GetType() == D3DRTYPE_CUBETEXTURE ? 6 : 1;
    const UINT levels = texture->GetLevelCount();
    D3DSURFACE_DESC top;
    {
        IDirect3DSurface9* s = LevelOf(texture, 0, 0);
        if (!s) return D3DERR_INVALIDCALL;
        s->GetDesc(&top);
        s->Release();
    }
    const DWORD topKind = FilterKind(filter, D3DX_FILTER_TRIANGLE);
    if (!topKind) return D3DERR_INVALIDCALL;
    // The mip filter's high bits count DDS levels to skip; a kind it does not name is the
    // box, as a mip filter never makes a load fail.
    DWORD mipKind = FilterKind(mipFilter == D3DX_DEFAULT ? D3DX_DEFAULT : mipFilter & 0x03FFFFFF, D3DX_FILTER_BOX);
    if (!mipKind) mipKind = D3DX_FILTER_BOX;
    std::string error;
    const uint32_t held = image.pixelFormat;
    if (held != PlatformImage::Format::kA8R8G8B8 && !PlatformImage::IsBlockFormat(held)) {
        if (held == uint32_t(top.Format)) return FillFromStoredTexels(texture, image, topKind, mipKind, colorKey);
        // Squeezing values of any range into another format would be a guess at what the
        // caller wants; an error says so instead.
        if (IsFloatFormat(static_cast<D3DFORMAT>(held))) {
            fprintf(stderr, "D3DX: floating-point texels of format %u are loaded only into a texture of that format, "
                            "not of format %u\n",
                    held, unsigned(top.Format));
            return E_NOTIMPL;
        }
        if (!PlatformImage::DecompressImage(&image, &error)) return D3DXERR_INVALIDDATA;
    }
    // Blocks go in untouched when nothing about them changes: the texture's every level is
    // in the file at its size.
    bool asBlocks = PlatformImage::IsBlockFormat(image.pixelFormat) && image.pixelFormat == uint32_t(top.Format) &&
                    !colorKey && levels <= image.info.mipLevels;
    for (UINT level = 0; asBlocks && level < levels; ++level) {
        IDirect3DSurface9* s = LevelOf(texture, 0, level);
        if (!s) return D3DERR_INVALIDCALL;
        D3DSURFACE_DESC d;
        s->GetDesc(&d);
        s->Release();
        asBlocks = image.Level(0, level).width == d.Width && image.Level(0, level).height == d.Height;
    }
    if (!asBlocks && PlatformImage::IsBlockFormat(image.pixelFormat) && !PlatformImage::DecompressImage(&image, &error))
        return D3DXERR_INVALIDDATA;
    // What no filter leaves beyond a smaller image: transparent black in a 2D texture, opaque
    // black on a cube's faces.
    const uint32_t beyond = faces == 1 ? 0u : PlatformImage::kFilterNoneFill;
    const UINT fileFaces = std::min<UINT>(image.faces, faces);
    for (UINT face = 0; face < faces; ++face) {
        PlatformImage::Surface above;
        for (UINT level = 0; level < levels; ++level) {
            IDirect3DSurface9* s = LevelOf(texture, face, level);
            if (!s) return D3DERR_INVALIDCALL;
            D3DSURFACE_DESC d;
            s->GetDesc(&d);
            HRESULT hr = D3D_OK;
            const bool fromFile = face < fileFaces && level < image.info.mipLevels &&
                                  image.Level(face, level).width == d.Width && image.Level(face, level).height == d.Height;
            if (asBlocks && fromFile) {
                hr = PutBlocks(s, image.Level(face, level), d.Format);
            } else if (asBlocks) {
                hr = D3DXERR_INVALIDDATA;  // a cube file short of a face
            } else {
                PlatformImage::Surface next;
                if (level == 0 || fromFile) {
                    PlatformImage::Surface source = image.Level(std::min(face, fileFaces - 1), level == 0 ? 0 : level);
                    KeyOut(source, colorKey);
                    if (!PlatformImage::Resize(source, d.Width, d.Height, level == 0 ? topKind : mipKind, &next, &error,
                                               beyond))
                        hr = D3DERR_INVALIDCALL;
                } else if (!PlatformImage::Resize(above, d.Width, d.Height, mipKind, &next, &error, beyond)) {
                    hr = D3DERR_INVALIDCALL;
                }
                if (SUCCEEDED(hr)) hr = PutLevel(s, next);
                above = std::move(next);
            }
            s->Release();
            if (FAILED(hr)) return hr;
        }
    }
    return D3D_OK;
}

// Creates the texture (in system memory first when it lives in video memory), fills it,
// and for video memory copies it across.
template <class T, class Make>
HRESULT MakeAndFill(IDirect3DDevice9* device, D3DPOOL pool, DWORD usage, Make make, PlatformImage::Image& image,
                    DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, T** out) {
    T* texture = nullptr;
    if (HRESULT hr = make(pool, usage, &texture); FAILED(hr)) return hr;
    const bool staged = pool == D3DPOOL_DEFAULT && !(usage & D3DUSAGE_DYNAMIC);
    T* filled = texture;
    if (staged) {
        filled = nullptr;
        if (HRESULT hr = make(D3DPOOL_SYSTEMMEM, 0, &filled); FAILED(hr)) {
            texture->Release();
            return hr;
        }
    }
    HRESULT hr = FillTexture(filled, image, filter, mipFilter, colorKey);
    if (SUCCEEDED(hr) && staged) hr = device->UpdateTexture(filled, texture);
    if (staged) filled->Release();
    if (FAILED(hr)) {
        texture->Release();
        return hr;
    }
    *out = texture;
    return D3D_OK;
}

HRESULT Decode(LPCVOID data, UINT size, DWORD mipFilter, PlatformImage::Image& image) {
    std::string error;
    if (!PlatformImage::Decode(data, size, &image, &error, PlatformImage::Texels::kWideAsStored))
        return D3DXERR_INVALIDDATA;
    if (mipFilter != D3DX_DEFAULT)
        PlatformImage::SkipLevels(&image, (mipFilter >> D3DX_SKIP_DDS_MIP_LEVELS_SHIFT) & D3DX_SKIP_DDS_MIP_LEVELS_MASK);
    return D3D_OK;
}

}  // namespace

HRESULT WINAPI D3DXGetImageInfoFromFileInMemory(LPCVOID data, UINT size, D3DXIMAGE_INFO* info) {
    if (!data || size == 0) return D3DERR_INVALIDCALL;
    // With nowhere to put a description the bytes are not even looked at.
    if (!info) return D3D_OK;
    PlatformImage::Info read;
    std::string error;
    if (!PlatformImage::ReadInfo(data, size, &read, &error)) return D3DXERR_INVALIDDATA;
    FillInfo(read, info);
    return D3D_OK;
}

HRESULT WINAPI D3DXGetImageInfoFromFileA(LPCSTR path, D3DXIMAGE_INFO* info) {
    if (!path) return D3DERR_INVALIDCALL;
    // A file that cannot be read, or holds nothing, is no image, asked for a description
    // or not.
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes) || bytes.empty()) return D3DXERR_INVALIDDATA;
    return D3DXGetImageInfoFromFileInMemory(bytes.data(), UINT(bytes.size()), info);
}

HRESULT WINAPI D3DXCreateTextureFromFileInMemoryEx(LPDIRECT3DDEVICE9 device, LPCVOID data, UINT size, UINT width,
                                                   UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                                   D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                                   D3DXIMAGE_INFO* info, PALETTEENTRY*, LPDIRECT3DTEXTURE9* out) {
    if (!device || !data || size == 0 || !out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    PlatformImage::Image image;
    if (HRESULT hr = Decode(data, size, mipFilter, image); FAILED(hr)) return hr;
    UINT w = SizeFromFile(width, image.info.width);
    UINT h = SizeFromFile(height, image.info.height);
    UINT levels = mipLevels == D3DX_FROM_FILE ? image.info.mipLevels : mipLevels;
    D3DFORMAT f = FormatFromFile(format, image.info.format, colorKey);
    if (HRESULT hr = D3DXCheckTextureRequirements(device, &w, &h, &levels, usage, &f, pool); FAILED(hr)) return hr;
    auto make = [&](D3DPOOL p, DWORD u, IDirect3DTexture9** t) {
        return device->CreateTexture(w, h, levels, u, f, p, t, nullptr);
    };
    if (HRESULT hr = MakeAndFill(device, pool, usage, make, image, filter, mipFilter, colorKey, out); FAILED(hr))
        return hr;
    FillInfo(image.info, info);
    return D3D_OK;
}

HRESULT WINAPI D3DXCreateCubeTextureFromFileInMemoryEx(LPDIRECT3DDEVICE9 device, LPCVOID data, UINT size, UINT edge,
                                                       UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                       DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                                       D3DXIMAGE_INFO* info, PALETTEENTRY*,
                                                       LPDIRECT3DCUBETEXTURE9* out) {
    if (!device || !data || size == 0 || !out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    PlatformImage::Image image;
    if (HRESULT hr = Decode(data, size, mipFilter, image); FAILED(hr)) return hr;
    // Only a file that holds a cube map makes one.
    if (image.faces != 6) return E_FAIL;
    UINT s = SizeFromFile(edge, std::max(image.info.width, image.info.height));
    UINT levels = mipLevels == D3DX_FROM_FILE ? image.info.mipLevels : mipLevels;
    D3DFORMAT f = FormatFromFile(format, image.info.format, colorKey);
    if (HRESULT hr = D3DXCheckCubeTextureRequirements(device, &s, &levels, usage, &f, pool); FAILED(hr)) return hr;
    auto make = [&](D3DPOOL p, DWORD u, IDirect3DCubeTexture9** t) {
        return device->CreateCubeTexture(s, levels, u, f, p, t, nullptr);
    };
    if (HRESULT hr = MakeAndFill(device, pool, usage, make, image, filter, mipFilter, colorKey, out); FAILED(hr))
        return hr;
    FillInfo(image.info, info);
    return D3D_OK;
}

HRESULT WINAPI D3DXCreateTextureFromFileExA(LPDIRECT3DDEVICE9 device, LPCSTR path, UINT width, UINT height,
                                            UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                            DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* info,
                                            PALETTEENTRY* palette, LPDIRECT3DTEXTURE9* out) {
    if (!device || !path || !out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes) || bytes.empty()) return D3DXERR_INVALIDDATA;
    return D3DXCreateTextureFromFileInMemoryEx(device, bytes.data(), UINT(bytes.size()), width, height, levels, usage,
                                               format, pool, filter, mipFilter, colorKey, info, palette, out);
}

HRESULT WINAPI D3DXCreateCubeTextureFromFileExA(LPDIRECT3DDEVICE9 device, LPCSTR path, UINT size, UINT levels,
                                                DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                                DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* info,
                                                PALETTEENTRY* palette, LPDIRECT3DCUBETEXTURE9* out) {
    if (!device || !path || !out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes) || bytes.empty()) return D3DXERR_INVALIDDATA;
    return D3DXCreateCubeTextureFromFileInMemoryEx(device, bytes.data(), UINT(bytes.size()), size, levels, usage,
                                                   format, pool, filter, mipFilter, colorKey, info, palette, out);
}

HRESULT WINAPI D3DXLoadSurfaceFromFileInMemory(LPDIRECT3DSURFACE9 dest, const PALETTEENTRY* destPalette,
                                               const RECT* destRect, LPCVOID data, UINT size, const RECT* sourceRect,
                                               DWORD filter, D3DCOLOR colorKey, D3DXIMAGE_INFO* info) {
    if (!dest || !data || size == 0) return D3DERR_INVALIDCALL;
    PlatformImage::Image image;
    std::string error;
    if (!PlatformImage::Decode(data, size, &image, &error)) return D3DXERR_INVALIDDATA;
    if (PlatformImage::IsBlockFormat(image.pixelFormat) && !PlatformImage::DecompressImage(&image, &error))
        return D3DXERR_INVALIDDATA;
    const PlatformImage::Surface& top = image.Level(0, 0);
    const RECT whole{0, 0, LONG(top.width), LONG(top.height)};
    const HRESULT hr = D3DXLoadSurfaceFromMemory(dest, destPalette, destRect, top.bytes.data(), D3DFMT_A8R8G8B8,
                                                 top.pitch, nullptr, sourceRect ? sourceRect : &whole, filter, colorKey);
    if (SUCCEEDED(hr)) FillInfo(image.info, info);
    return hr;
}

HRESULT WINAPI D3DXLoadSurfaceFromFileA(LPDIRECT3DSURFACE9 dest, const PALETTEENTRY* destPalette,
                                        const RECT* destRect, LPCSTR path, const RECT* sourceRect, DWORD filter,
                                        D3DCOLOR colorKey, D3DXIMAGE_INFO* info) {
    if (!dest || !path) return D3DERR_INVALIDCALL;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes) || bytes.empty()) return D3DXERR_INVALIDDATA;
    return D3DXLoadSurfaceFromFileInMemory(dest, destPalette, destRect, bytes.data(), UINT(bytes.size()), sourceRect,
                                           filter, colorKey, info);
}

HRESULT WINAPI D3DXSaveTextureToFileA(LPCSTR path, D3DXIMAGE_FILEFORMAT fileFormat, LPDIRECT3DBASETEXTURE9 texture,
                                      const PALETTEENTRY*) {
    if (!path || !texture) return D3DERR_INVALIDCALL;
    const D3DRESOURCETYPE type = texture->GetType();
    if (type != D3DRTYPE_TEXTURE && type != D3DRTYPE_CUBETEXTURE) return D3DERR_INVALIDCALL;
    PlatformImage::Image image;
    image.faces = type == D3DRTYPE_CUBETEXTURE ? 6 : 1;
    image.info.mipLevels = texture->GetLevelCount();
    image.info.resourceType = type;
    image.info.fileFormat = fileFormat;
    for (UINT face = 0; face < image.faces; ++face) {
        for (UINT level = 0; level < image.info.mipLevels; ++level) {
            IDirect3DSurface9* s = LevelOf(texture, face, level);
            if (!s) return D3DERR_INVALIDCALL;
            D3DSURFACE_DESC d;
            s->GetDesc(&d);
            if (face == 0 && level == 0) {
                image.info.width = d.Width;
                image.info.height = d.Height;
                image.info.format = d.Format;
                image.pixelFormat = IsBlockFormat(d.Format) ? uint32_t(d.Format) : PlatformImage::Format::kA8R8G8B8;
            }
            D3DLOCKED_RECT locked;
            HRESULT hr = s->LockRect(&locked, nullptr, D3DLOCK_READONLY);
            if (FAILED(hr)) {
                s->Release();
                return hr;
            }
            PlatformImage::Surface out;
            out.width = d.Width;
            out.height = d.Height;
            const uint8_t* bits = static_cast<const uint8_t*>(locked.pBits);
            if (IsBlockFormat(d.Format)) {
                out.pitch = uint32_t(PlatformImage::RowBytes(d.Format, d.Width));
                const uint32_t rows = PlatformImage::RowCount(d.Format, d.Height);
                for (uint32_t r = 0; r < rows; ++r)
                    out.bytes.insert(out.bytes.end(), bits + size_t(r) * locked.Pitch,
                                     bits + size_t(r) * locked.Pitch + out.pitch);
            } else if (TexelBytes(d.Format) && !IsFloatFormat(d.Format)) {
                // Floating-point texels of any range would be clamped into the A8R8G8B8
                // words the image library writes from, so they are not saved.
                out.ResetArgb(d.Width, d.Height);
                const Plane plane = ReadPlane(d.Format, bits, locked.Pitch, d.Width, d.Height);
                for (size_t i = 0; i < plane.texels.size(); ++i) out.Argb()[i] = ToArgb(plane.texels[i]);
            } else {
                hr = E_NOTIMPL;
            }
            s->UnlockRect();
            s->Release();
            if (FAILED(hr)) return hr;
            image.surfaces.push_back(std::move(out));
        }
    }
    std::vector<uint8_t> bytes;
    std::string error;
    if (!PlatformImage::Encode(image, PlatformImage::FileFormat(fileFormat), &bytes, &error)) return D3DERR_INVALIDCALL;
    FILE* f = fopen(path, "wb");
    if (!f) return D3DERR_INVALIDCALL;
    const bool written = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = fclose(f) == 0;
    return written && closed ? D3D_OK : D3DERR_INVALIDCALL;
}
