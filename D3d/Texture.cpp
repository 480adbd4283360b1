// Creation, device loss and pixel access of textures. What a texture was made from is
// kept (the file name, the image bytes, the asked-for parameters, saved levels of an empty
// texture), so Restore can make the same texture again; Invalidate releases only what the
// texture owns. Sub-textures hold no Direct3D pointer of their parent's at all: they reach
// the pixels through GetPixelOwner, so no reset or clear can leave one dangling.
#include "D3d/Texture.h"

#include <string.h>

#include "Core/D3dxLibrary.h"
#include "Core/ProgramObjects.h"
#include "Core/Timer.h"
#include "D3d/DeviceContext.h"
#include "D3d/DeviceEnumeration.h"

namespace {

// Link chains are short; a longer one can only be a cycle, which must not hang a query.
constexpr u32 kMaxLinkDepth = 64;

bool IsBlockCompressed(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

// The rows of a locked level as LockRect counts them in its pitch: compressed formats
// lock rows of 4x4 blocks.
u32 LockedRows(D3DFORMAT format, u32 height) { return IsBlockCompressed(format) ? (height + 3) / 4 : height; }

u32 LockedSize(const D3DLOCKED_RECT& locked, D3DFORMAT format, u32 height) {
    if (locked.Pitch <= 0) return 0;
    return static_cast<u32>(locked.Pitch) * LockedRows(format, height);
}

}  // namespace

Texture::Texture() = default;

Texture::~Texture() {
    Clear(true);
    animations.CursorWalk([](const String&, TextureAnimDef*& def) { delete def; });
    animations.Clear();
}

void Texture::StoreParams(u32 width, u32 height, u32 levelCount, u32 usage, D3DFORMAT format, D3DPOOL pool) {
    params = CreateParams{width, height, levelCount, usage, format, pool};
    levelDesc.Width = width;
    levelDesc.Height = height;
    levelDesc.Usage = usage;
    levelDesc.Format = format;
    levelDesc.Pool = pool;
    levels = levelCount;
}

Texture* Texture::Resolved() {
    Texture* t = this;
    for (u32 i = 0; i < kMaxLinkDepth && t->link; ++i) t = t->link;
    return t;
}

Texture* Texture::GetPixelOwner() {
    Texture* t = Resolved();
    for (u32 i = 0; i < kMaxLinkDepth && t->SharesParentPixels(); ++i) t = t->parent->Resolved();
    return t;
}

void Texture::ReleaseD3D() {
    if (texture) texture->Release();
    if (cubeTexture) cubeTexture->Release();
    texture = nullptr;
    cubeTexture = nullptr;
}

void Texture::FreeSavedLevels() {
    for (Blob& blob : savedLevels) blob.Free();
    for (Blob& blob : savedCubeLevels) blob.Free();
}

void Texture::Clear(bool clearSubs) {
    animated = 0;
    animation = TextureAnimation{};
    if (link) {
        link = nullptr;
        return;
    }
    sourceData.Free();  // a borrowed block is only forgotten
    FreeSavedLevels();
    if (parent) {
        auto* entry = parent->subs.Find(name);
        if (entry && entry->value == this) parent->subs.Remove(name);
        parent = nullptr;
    }
    ReleaseD3D();
    ownPixels = 0;
    if (clearSubs) {
        DeleteSubs();
        // The animations name the sub-textures that just went.
        animations.CursorWalk([](const String&, TextureAnimDef*& def) { delete def; });
        animations.Clear();
    }
}

bool Texture::Create(const TextureDesc& desc) {
    Clear(true);
    sourcePath = desc.path;
    u32 width = 0, height = 0, levelCount = 0, usage = 0, fil = D3DX_FILTER_BOX, mip = D3DX_FILTER_BOX, key = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    D3DPOOL pool = D3DPOOL_MANAGED;
    if (desc.flags & TEXDESC_FORMAT) format = desc.format;
    if (desc.flags & TEXDESC_COLORKEY) key = desc.colorKey;
    if (desc.flags & TEXDESC_SIZE) {
        width = desc.width;
        height = desc.height;
    }
    if (desc.flags & TEXDESC_USAGE) usage = desc.usage;
    if (desc.flags & TEXDESC_POOL) pool = desc.pool;
    if (desc.flags & TEXDESC_FILTER) {
        fil = desc.filter;
        mip = desc.mipFilter;
    }
    if (desc.flags & TEXDESC_LEVELS) levelCount = desc.levels;

    u32 newKind = TEX_EMPTY;
    if ((desc.path.flags & kPathDisk) || (desc.flags & TEXDESC_PART_NAME)) newKind = TEX_FROM_DISK;
    const bool named = (desc.path.flags & (kPathDisk | kPathArchive)) != 0;
    if (named && String::EqualsText(GetExtension(desc.path.name), "ts")) return LoadScriptFile(desc.path, desc);
    if (desc.path.flags & kPathDisk) {
        if (desc.deferred) newKind |= TEX_DEFERRED;
        return CreateFromFile(desc.path.name, newKind, width, height, levelCount, usage, format, pool, fil, mip, key,
                              desc.isCube != 0, desc.clearSubs != 0);
    }
    if (desc.path.flags & (kPathArchive | kPathResource | kPathMemory)) {
        Blob bytes;
        bool borrowed = true;
        patht path = desc.path;
        if (!path.ReadAll(bytes, borrowed)) return false;
        sourcePath = path;
        return CreateFromMemory(bytes.data(), bytes.size(), borrowed ? TEX_FROM_MEMORY : TEX_FROM_MEMFILE, width,
                                height, levelCount, usage, format, pool, fil, mip, key, desc.isCube != 0,
                                desc.clearSubs != 0);
    }
    return CreateEmpty(newKind, width, height, levelCount, usage, format, pool, desc.isCube != 0,
                       desc.clearSubs != 0);
}

bool Texture::CreateEmpty(u32 newKind, u32 width, u32 height, u32 levelCount, u32 usage, D3DFORMAT format,
                          D3DPOOL pool, bool cube, bool clearSubs) {
    Clear(clearSubs);
    const bool device = detached ? TheDevice() != nullptr : Register();
    isCube = cube;
    // Without a file or bytes behind it a texture can only be made empty again after a
    // reset, whatever kind the request named (a part name makes it "from disk").
    kind = TEX_EMPTY | (newKind & TEX_DEFERRED);
    ownPixels = 1;
    StoreParams(width, height, levelCount, usage, format, pool);
    if ((kind & TEX_DEFERRED) || !device) return true;  // made on first use, or by the first Restore
    return LoadFromSource();
}

bool Texture::CreateFromFile(const String& file, u32 newKind, u32 width, u32 height, u32 levelCount, u32 usage,
                             D3DFORMAT format, D3DPOOL pool, u32 fil, u32 mip, u32 key, bool cube, bool clearSubs) {
    Clear(clearSubs);
    const bool device = detached ? TheDevice() != nullptr : Register();
    isCube = cube;
    kind = newKind;
    filter = fil;
    mipFilter = mip;
    colorKey = key;
    fileName = file;
    ownPixels = 1;
    StoreParams(width, height, levelCount, usage, format, pool);
    if (kind & TEX_FROM_MEMORY) return false;  // there is no block to borrow
    if (kind & TEX_FROM_MEMFILE) {
        patht path(file);
        bool borrowed = false;
        if (!path.ReadAll(sourceData, borrowed)) return false;
    }
    if ((kind & TEX_DEFERRED) || !device) return true;
    return LoadFromSource();
}

bool Texture::CreateFromMemory(const void* data, u32 size, u32 dataKind, u32 width, u32 height, u32 levelCount,
                               u32 usage, D3DFORMAT format, D3DPOOL pool, u32 fil, u32 mip, u32 key, bool cube,
                               bool clearSubs) {
    // The caller's block may be this texture's own source: keep it alive across Clear.
    Blob keep;
    if (data && data == sourceData.data()) {
        keep = static_cast<Blob&&>(sourceData);
    }
    Clear(clearSubs);
    if (dataKind != TEX_FROM_MEMORY && dataKind != TEX_FROM_MEMFILE) return false;
    if (!data || size == 0) return false;
    const bool device = detached ? TheDevice() != nullptr : Register();
    isCube = cube;
    kind = dataKind;
    filter = fil;
    mipFilter = mip;
    colorKey = key;
    ownPixels = 1;
    StoreParams(width, height, levelCount, usage, format, pool);
    if (dataKind == TEX_FROM_MEMORY)
        sourceData.Borrow(data, size);
    else
        sourceData.Assign(data, size);  // a copy the texture owns; the caller keeps its block
    if (!device) return true;
    return LoadFromSource();
}

bool Texture::LoadFromSource() {
    IDirect3DDevice9* device = TheDevice();
    if (!device) return false;
    ReleaseD3D();
    HRESULT hr = E_FAIL;
    const CreateParams& p = params;
    if (kind & TEX_EMPTY) {
        if (noPixels) return true;
        if (isCube)
            hr = D3dx().CreateCubeTexture(device, p.width, p.levels, p.usage, p.format, p.pool, &cubeTexture);
        else
            hr = D3dx().CreateTexture(device, p.width, p.height, p.levels, p.usage, p.format, p.pool, &texture);
        if (FAILED(hr)) return false;
        if (!AfterCreate()) return false;
        return WriteSavedLevels();
    }
    if (kind & TEX_FROM_DISK) {
        if (isCube)
            hr = D3dx().CreateCubeTextureFromFileExA(device, fileName.c_str(), p.width, p.levels, p.usage, p.format,
                                                  p.pool, filter, mipFilter, colorKey, &imageInfo, nullptr,
                                                  &cubeTexture);
        else
            hr = D3dx().CreateTextureFromFileExA(device, fileName.c_str(), p.width, p.height, p.levels, p.usage,
                                              p.format, p.pool, filter, mipFilter, colorKey, &imageInfo, nullptr,
                                              &texture);
    } else if (kind & (TEX_FROM_MEMFILE | TEX_FROM_MEMORY)) {
        if (sourceData.size() == 0) {
            if (!(kind & TEX_FROM_MEMFILE)) return false;
            bool borrowed = false;
            patht path = sourcePath;
            if (!path.ReadAll(sourceData, borrowed)) return false;
        }
        if (isCube)
            hr = D3dx().CreateCubeTextureFromFileInMemoryEx(device, sourceData.data(), sourceData.size(), p.width,
                                                         p.levels, p.usage, p.format, p.pool, filter, mipFilter,
                                                         colorKey, &imageInfo, nullptr, &cubeTexture);
        else
            hr = D3dx().CreateTextureFromFileInMemoryEx(device, sourceData.data(), sourceData.size(), p.width,
                                                     p.height, p.levels, p.usage, p.format, p.pool, filter,
                                                     mipFilter, colorKey, &imageInfo, nullptr, &texture);
    }
    if (FAILED(hr)) return false;
    return AfterCreate();
}

bool Texture::AfterCreate() {
    HRESULT hr = E_FAIL;
    if (cubeTexture) {
        hr = cubeTexture->GetLevelDesc(0, &levelDesc);
        levels = cubeTexture->GetLevelCount();
    } else if (texture) {
        hr = texture->GetLevelDesc(0, &levelDesc);
        levels = texture->GetLevelCount();
    }
    if (FAILED(hr)) return false;
    if (!(parent && inParentPixels)) rect.Set(0, 0, static_cast<i32>(levelDesc.Width), static_cast<i32>(levelDesc.Height));
    UpdateSubs();
    return true;
}

void Texture::UpdateSubs() {
    const IntRect whole(0, 0, static_cast<i32>(levelDesc.Width), static_cast<i32>(levelDesc.Height));
    subs.CursorWalk([&](const String&, Texture*& sub) {
        if (sub->SharesParentPixels()) sub->levelDesc = levelDesc;
        if (!sub->inParentPixels) {
            if (sub->SharesParentPixels()) sub->rect = whole;
            return;
        }
        if (!IntRect::Intersect(sub->rect, whole, sub->rect, false)) sub->rect.Set(0, 0, 0, 0);
    });
}

bool Texture::WriteSavedLevels() {
    if (texture) {
        const u32 count = levels < kSavedLevels ? levels : kSavedLevels;
        for (u32 level = 0; level < count; ++level) {
            const Blob& saved = savedLevels[level];
            if (saved.size() == 0) continue;
            D3DSURFACE_DESC desc;
            if (FAILED(texture->GetLevelDesc(level, &desc))) return false;
            D3DLOCKED_RECT locked;
            if (FAILED(texture->LockRect(level, &locked, nullptr, 0))) return false;
            const u32 room = LockedSize(locked, desc.Format, desc.Height);
            memcpy(locked.pBits, saved.data(), saved.size() < room ? saved.size() : room);
            texture->UnlockRect(level);
        }
    }
    if (cubeTexture) {
        const u32 count = levels < kSavedLevels ? levels : kSavedLevels;
        for (u32 level = 0; level < count; ++level) {
            for (u32 face = 0; face < kCubeFaces; ++face) {
                const Blob& saved = savedCubeLevels[face * kSavedLevels + level];
                if (saved.size() == 0) continue;
                IDirect3DSurface9* surface = nullptr;
                if (FAILED(cubeTexture->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, &surface)))
                    return false;
                D3DSURFACE_DESC desc;
                D3DLOCKED_RECT locked;
                if (FAILED(surface->GetDesc(&desc)) || FAILED(surface->LockRect(&locked, nullptr, 0))) {
                    surface->Release();
                    return false;
                }
                const u32 room = LockedSize(locked, desc.Format, desc.Height);
                memcpy(locked.pBits, saved.data(), saved.size() < room ? saved.size() : room);
                surface->UnlockRect();
                surface->Release();
            }
        }
    }
    return true;
}

bool Texture::LoadIntoParent() {
    Texture* owner = GetPixelOwner();
    if (owner == this || !owner->texture) return true;
    if (!(kind & (TEX_FROM_DISK | TEX_FROM_MEMFILE | TEX_FROM_MEMORY))) return true;
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(owner->texture->GetSurfaceLevel(0, &surface))) return false;
    RECT target{rect.left, rect.top, rect.right, rect.bottom};
    HRESULT hr;
    if (kind & TEX_FROM_DISK)
        hr = D3dx().LoadSurfaceFromFileA(surface, nullptr, &target, fileName.c_str(), nullptr, filter, colorKey,
                                      &imageInfo);
    else
        hr = sourceData.size() ? D3dx().LoadSurfaceFromFileInMemory(surface, nullptr, &target, sourceData.data(),
                                                                 sourceData.size(), nullptr, filter, colorKey,
                                                                 &imageInfo)
                               : E_FAIL;
    surface->Release();
    return SUCCEEDED(hr);
}

bool Texture::Restore() {
    if (link || (kind & TEX_DEFERRED)) return true;
    if (SharesParentPixels()) return inParentPixels ? LoadIntoParent() : true;
    if (ownPixels && !texture && !cubeTexture && !(noPixels && (kind & TEX_EMPTY))) {
        if (!LoadFromSource()) return false;
    }
    bool ok = true;
    subs.CursorWalk([&](const String&, Texture*& sub) {
        if (ok) {
            if (sub->SharesParentPixels()) sub->levelDesc = levelDesc;
            ok = sub->Restore();
        }
    });
    return ok;
}

bool Texture::Invalidate() {
    if (link || SharesParentPixels()) return true;
    subs.CursorWalk([](const String&, Texture*& sub) { sub->Invalidate(); });
    ReleaseD3D();
    return true;
}

IDirect3DTexture9* Texture::GetD3DTexture() {
    Texture* t = this;
    for (u32 i = 0; i < kMaxLinkDepth; ++i) {
        if (t->animated && t->animation.def) {
            t->animation.Advance(Timer::Now());
            if (!t->animation.frame) return nullptr;
            t = t->animation.frame;
        } else if (t->link) {
            t = t->link;
        } else {
            break;
        }
    }
    Texture* owner = t->GetPixelOwner();
    if (!owner->texture && (owner->kind & TEX_DEFERRED)) {
        owner->kind &= ~TEX_DEFERRED;
        owner->Restore();
    }
    return owner->texture;
}

IDirect3DBaseTexture9* Texture::GetBaseTexture() {
    Texture* owner = GetPixelOwner();
    if (!owner->isCube) return GetD3DTexture();
    if (!owner->cubeTexture && (owner->kind & TEX_DEFERRED)) {
        owner->kind &= ~TEX_DEFERRED;
        owner->Restore();
    }
    return owner->cubeTexture;
}

bool Texture::IsCube() { return Resolved()->isCube != 0; }
D3DFORMAT Texture::GetFormat() { return Resolved()->levelDesc.Format; }
u32 Texture::GetLevelCount() { return Resolved()->levels; }
bool Texture::HasAlpha() { return FormatHasAlpha(GetFormat()); }
D3DXIMAGE_INFO Texture::GetImageInfo() { return Resolved()->imageInfo; }

IntPair Texture::GetSize() {
    Texture* t = Resolved();
    IntPair size;
    if (t->parent) {
        size.x = t->rect.right - t->rect.left;
        size.y = t->rect.bottom - t->rect.top;
    } else {
        size.x = static_cast<i32>(t->levelDesc.Width);
        size.y = static_cast<i32>(t->levelDesc.Height);
    }
    return size;
}

IntRect Texture::GetRect() { return Resolved()->rect; }
void Texture::SetRect(i32 left, i32 top, i32 right, i32 bottom) { Resolved()->rect.Set(left, top, right, bottom); }
void Texture::SetName(const String& text) { Resolved()->name = text; }
Texture* Texture::GetParentTexture() { return Resolved()->parent; }
StringMapOf<Texture*>& Texture::GetSubTextures() { return Resolved()->subs; }
StringMapOf<TextureAnimDef*>& Texture::GetAnimations() { return Resolved()->animations; }
bool Texture::HasAnimations() { return Resolved()->animations.count != 0; }

bool Texture::IsAnimated() {
    Texture* t = Resolved();
    return t->animated && t->animation.def;
}

IDirect3DSurface9* Texture::GetSurfaceLevel(u32 level) {
    IDirect3DTexture9* tex = GetD3DTexture();
    IDirect3DSurface9* surface = nullptr;
    if (!tex || FAILED(tex->GetSurfaceLevel(level, &surface))) return nullptr;
    return surface;
}

IDirect3DSurface9* Texture::GetCubeMapSurface(D3DCUBEMAP_FACES face, u32 level) {
    Texture* owner = GetPixelOwner();
    GetBaseTexture();
    IDirect3DSurface9* surface = nullptr;
    if (!owner->cubeTexture || FAILED(owner->cubeTexture->GetCubeMapSurface(face, level, &surface))) return nullptr;
    return surface;
}

bool Texture::LockRect(u32 level, D3DLOCKED_RECT* out, DWORD flags) {
    IDirect3DTexture9* tex = GetD3DTexture();
    return tex && out && SUCCEEDED(tex->LockRect(level, out, nullptr, flags));
}

bool Texture::UnlockRect(u32 level) {
    IDirect3DTexture9* tex = GetD3DTexture();
    return tex && SUCCEEDED(tex->UnlockRect(level));
}

bool Texture::SaveToFile(const String& file) {
    IDirect3DTexture9* tex = GetD3DTexture();
    if (!tex) return false;
    return SUCCEEDED(D3dx().SaveTextureToFileA(file.c_str(), D3DXIFF_DDS, tex, nullptr));
}

TexCoordRect Texture::GetTexCoordRect() {
    Texture* t = Resolved();
    if (t->parent && t->inParentPixels) {
        Texture* owner = t->parent->Resolved();
        const f32 w = static_cast<f32>(owner->levelDesc.Width);
        const f32 h = static_cast<f32>(owner->levelDesc.Height);
        if (w != 0 && h != 0)
            return TexCoordRect{t->rect.left / w, t->rect.top / h, t->rect.right / w, t->rect.bottom / h};
    }
    return TexCoordRect{0, 0, 1, 1};
}

Matrix Texture::GetTexCoordMatrix() {
    Matrix m = IdentityMatrix;
    Texture* t = Resolved();
    if (t->parent && t->inParentPixels) {
        const TexCoordRect r = GetTexCoordRect();
        *m.At(0, 0) = r.uMax - r.uMin;
        *m.At(1, 1) = r.vMax - r.vMin;
        *m.At(2, 0) = r.uMin;
        *m.At(2, 1) = r.vMin;
        m.kind = 0;
    }
    return m;
}

bool Texture::SaveLevels() {
    Texture* t = GetPixelOwner();
    if (t->texture) {
        // Levels past the saved blocks (a texture larger than 8192 texels) are not kept.
        const u32 count = t->levels < kSavedLevels ? t->levels : kSavedLevels;
        for (u32 level = 0; level < count; ++level) {
            D3DSURFACE_DESC desc;
            D3DLOCKED_RECT locked;
            if (FAILED(t->texture->GetLevelDesc(level, &desc))) return false;
            if (FAILED(t->texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY))) return false;
            t->savedLevels[level].Assign(locked.pBits, LockedSize(locked, desc.Format, desc.Height));
            t->texture->UnlockRect(level);
        }
        return true;
    }
    if (t->cubeTexture) {
        const u32 count = t->levels < kSavedLevels ? t->levels : kSavedLevels;
        for (u32 level = 0; level < count; ++level) {
            for (u32 face = 0; face < kCubeFaces; ++face) {
                IDirect3DSurface9* surface = nullptr;
                if (FAILED(t->cubeTexture->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, &surface)))
                    return false;
                D3DSURFACE_DESC desc;
                D3DLOCKED_RECT locked;
                if (FAILED(surface->GetDesc(&desc)) || FAILED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
                    surface->Release();
                    return false;
                }
                t->savedCubeLevels[face * kSavedLevels + level].Assign(locked.pBits,
                                                                      LockedSize(locked, desc.Format, desc.Height));
                surface->UnlockRect();
                surface->Release();
            }
        }
        return true;
    }
    return false;
}

bool Texture::FilterMipLevels() {
    IDirect3DBaseTexture9* base = GetBaseTexture();
    if (!base) return false;
    return SUCCEEDED(D3dx().FilterTexture(base, nullptr, 0, D3DX_FILTER_TRIANGLE));
}

namespace {

// Where a height sits in a source pixel: the chosen colour channel, or the luminance
// field when the channel is another one or the format has no bits for it.
void HeightField(D3DFORMAT format, u32 channel, u32& shift, u32& bits) {
    const FormatChannels layout = FormatChannelLayout(format);
    shift = bits = 0;
    if (channel == D3DX_CHANNEL_RED) {
        shift = layout.redShift;
        bits = layout.redBits;
    } else if (channel == D3DX_CHANNEL_GREEN) {
        shift = layout.greenShift;
        bits = layout.greenBits;
    } else if (channel == D3DX_CHANNEL_BLUE) {
        shift = layout.blueShift;
        bits = layout.blueBits;
    }
    if (bits) return;
    switch (format) {
    case D3DFMT_L8:
    case D3DFMT_A8L8: bits = 8; break;
    case D3DFMT_A4L4: bits = 4; break;
    case D3DFMT_L16: bits = 16; break;
    default: break;
    }
}

u32 ReadPixel(const u8* at, u32 bytes) {
    u32 value = 0;
    for (u32 i = 0; i < bytes; ++i) value |= static_cast<u32>(at[i]) << (8 * i);
    return value;
}

void WritePixel(u8* at, u32 bytes, u32 value) {
    for (u32 i = 0; i < bytes; ++i) at[i] = static_cast<u8>(value >> (8 * i));
}

u32 FieldMask(u32 bits) { return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1; }

// Copies the heights of one level into the alpha field of the normal map's level.
bool HeightsToAlpha(IDirect3DTexture9* source, IDirect3DTexture9* target, u32 level, u32 channel) {
    D3DSURFACE_DESC sourceDesc, targetDesc;
    if (FAILED(source->GetLevelDesc(level, &sourceDesc)) || FAILED(target->GetLevelDesc(level, &targetDesc)))
        return false;
    const u32 sourceBytes = FormatBitsPerPixel(sourceDesc.Format) / 8;
    const u32 targetBytes = FormatBitsPerPixel(targetDesc.Format) / 8;
    const FormatChannels targetLayout = FormatChannelLayout(targetDesc.Format);
    if (sourceBytes == 0 || sourceBytes > 4 || targetBytes == 0 || targetBytes > 4 || targetLayout.alphaBits == 0)
        return true;  // formats whose pixels are no plain words keep D3DX's alpha
    u32 shift, bits;
    HeightField(sourceDesc.Format, channel, shift, bits);
    D3DLOCKED_RECT in, out;
    if (FAILED(source->LockRect(level, &in, nullptr, D3DLOCK_READONLY))) return false;
    if (FAILED(target->LockRect(level, &out, nullptr, 0))) {
        source->UnlockRect(level);
        return false;
    }
    const u32 width = sourceDesc.Width < targetDesc.Width ? sourceDesc.Width : targetDesc.Width;
    const u32 height = sourceDesc.Height < targetDesc.Height ? sourceDesc.Height : targetDesc.Height;
    const u32 alphaMask = FieldMask(targetLayout.alphaBits);
    const f32 alphaMax = static_cast<f32>(alphaMask);
    const f32 heightMax = static_cast<f32>(FieldMask(bits));
    for (u32 y = 0; y < height; ++y) {
        const u8* row = static_cast<const u8*>(in.pBits) + static_cast<size_t>(y) * in.Pitch;
        u8* dest = static_cast<u8*>(out.pBits) + static_cast<size_t>(y) * out.Pitch;
        for (u32 x = 0; x < width; ++x) {
            u32 alpha = 0;  // a source without bits for the height has no height to give
            if (bits) {
                const u32 value = (ReadPixel(row + x * sourceBytes, sourceBytes) >> shift) & FieldMask(bits);
                alpha = static_cast<u32>(static_cast<f32>(value) / heightMax * alphaMax);
            }
            u32 pixel = ReadPixel(dest + x * targetBytes, targetBytes);
            pixel = (pixel & ~(alphaMask << targetLayout.alphaShift)) | ((alpha & alphaMask) << targetLayout.alphaShift);
            WritePixel(dest + x * targetBytes, targetBytes, pixel);
        }
    }
    target->UnlockRect(level);
    source->UnlockRect(level);
    return true;
}

}  // namespace

Texture* Texture::BuildNormalMap(Texture* source, D3DFORMAT format, u32 flags, u32 channel, f32 amplitude,
                                 bool heightToAlpha) {
    if (!source) return nullptr;
    IDirect3DTexture9* sourceTexture = source->GetD3DTexture();
    if (!sourceTexture) return nullptr;
    D3DSURFACE_DESC desc;
    if (FAILED(sourceTexture->GetLevelDesc(0, &desc))) return nullptr;
    Texture* made = new Texture;
    made->detached = 1;
    if (!made->CreateEmpty(TEX_EMPTY, desc.Width, desc.Height, sourceTexture->GetLevelCount(), 0, format,
                           D3DPOOL_MANAGED, false, true) ||
        !made->texture ||
        FAILED(D3dx().ComputeNormalMap(made->texture, sourceTexture, nullptr, flags, channel, amplitude))) {
        delete made;
        return nullptr;
    }
    if (heightToAlpha && FormatHasAlpha(made->levelDesc.Format)) {
        const u32 count = made->texture->GetLevelCount();
        const u32 sourceCount = sourceTexture->GetLevelCount();
        for (u32 level = 0; level < count && level < sourceCount; ++level) {
            if (!HeightsToAlpha(sourceTexture, made->texture, level, channel)) {
                delete made;
                return nullptr;
            }
        }
    }
    made->SaveLevels();
    return made;
}

bool Texture::MakeNormalMap(D3DFORMAT format, u32 flags, u32 channel, f32 amplitude, bool heightToAlpha) {
    Texture* t = Resolved();
    if (t->texture) {
        Texture* made = BuildNormalMap(t, format, flags, channel, amplitude, heightToAlpha);
        if (!made) return false;
        for (u32 i = 0; i < kSavedLevels; ++i) t->savedLevels[i] = static_cast<Blob&&>(made->savedLevels[i]);
        t->ReleaseD3D();
        t->texture = made->texture;
        made->texture = nullptr;
        t->kind = made->kind;
        t->levelDesc = made->levelDesc;
        t->imageInfo = made->imageInfo;
        // A re-creation after a device loss must make the normal map's texture, not the
        // height map's.
        t->params = made->params;
        t->levels = made->levels;
        t->ownPixels = 1;
        delete made;
        t->UpdateSubs();
    }
    bool ok = true;
    t->subs.CursorWalk([&](const String&, Texture*& sub) {
        if (ok && !sub->inParentPixels && !sub->SharesParentPixels())
            ok = sub->MakeNormalMap(format, flags, channel, amplitude, heightToAlpha);
    });
    return ok;
}

bool Texture::Reload(D3DFORMAT format, f32 strength) {
    Texture* t = Resolved();
    if (t->SharesParentPixels()) return false;
    t->ReleaseD3D();
    t->kind &= ~TEX_DEFERRED;
    if (!t->LoadFromSource()) return false;
    if (format == D3DFMT_R8G8B8 && strength != 0)
        return t->MakeNormalMap(D3DFMT_X8R8G8B8, 0, D3DX_CHANNEL_RED, strength, false);
    return true;
}

bool RecordFreeTextureMemory() {
    IDirect3DDevice9* device = TheDevice();
    if (!device) return false;
    const i32 megabytes = static_cast<i32>(device->GetAvailableTextureMem() / (1024u * 1024u));
    const String key("FREE TEXTURE MEM");
    TheStatistics().Add(key, megabytes - TheStatistics().Get(key));
    return true;
}
