// The engine's texture: one Direct3D 9 texture, 2D or cube, made from an image file on
// disk, from image bytes in memory, empty (render targets, generated maps) or from a
// texture script. It keeps its source, so that after a device loss it builds the same
// texture again; an empty texture can save its levels' pixels to be written back.
//
// A texture may also stand for part of another: a sub-texture named in its parent's
// "Subs", inside the parent's pixels (an atlas rectangle) or sharing the parent whole; an
// animation instance running one of the parent's frame animations; or a link to another
// texture. A sub-texture never holds a Direct3D reference of the parent's: it reads the
// texture through its pixel owner, so neither a release of its own nor a stale pointer
// after a reset can happen. Only a sub-texture that made an image of its own (a script
// entry outside the parent's pixels with a file of its own) owns a texture, and then owns
// it as any texture does. Sub-textures of scripts are not device objects: their parent
// invalidates and restores them, after itself.
//
// Every operation reports failure as false or null and writes no log record; callers log.
#pragma once

#include <d3d9.h>
#include <d3dx9.h>

#include "Core/Array.h"
#include "Core/IntRect.h"
#include "Core/Matrix.h"
#include "Core/Object.h"
#include "Core/OrderedMap.h"
#include "Core/Path.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"
#include "D3d/DeviceObject.h"
#include "D3d/TextureAnimation.h"
#include "D3d/TextureDesc.h"

class TextDataTree;

enum TextureKind : u32 {
    TEX_FROM_MEMFILE = 1,  // made from bytes the texture owns (sourceData)
    TEX_FROM_DISK = 2,     // made by the D3DX file loader from fileName
    TEX_FROM_MEMORY = 4,   // made from bytes the texture borrows (sourceData, never freed)
    TEX_EMPTY = 8,         // created empty from the stored parameters
    TEX_DEFERRED = 16,     // creation waits for the first use
};

struct TexCoordRect {
    f32 uMin, vMin, uMax, vMax;
};

class Texture : public DeviceObject, public virtual Object {
public:
    static constexpr u32 kSavedLevels = 14;  // levels of a texture of up to 8192 texels a side
    static constexpr u32 kCubeFaces = 6;

    Texture();
    ~Texture() override;
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    bool Restore() override;
    bool Invalidate() override;

    bool Create(const TextureDesc& desc);
    bool CreateEmpty(u32 kind, u32 width, u32 height, u32 levels, u32 usage, D3DFORMAT format, D3DPOOL pool,
                     bool cube, bool clearSubs);
    bool CreateFromFile(const String& fileName, u32 kind, u32 width, u32 height, u32 levels, u32 usage,
                        D3DFORMAT format, D3DPOOL pool, u32 filter, u32 mipFilter, u32 colorKey, bool cube,
                        bool clearSubs);
    // dataKind: TEX_FROM_MEMORY keeps the caller's block (which must outlive the texture),
    // TEX_FROM_MEMFILE copies it; anything else fails.
    bool CreateFromMemory(const void* data, u32 size, u32 dataKind, u32 width, u32 height, u32 levels, u32 usage,
                          D3DFORMAT format, D3DPOOL pool, u32 filter, u32 mipFilter, u32 colorKey, bool cube,
                          bool clearSubs);
    void Clear(bool clearSubs);

    IDirect3DTexture9* GetD3DTexture();
    IDirect3DBaseTexture9* GetBaseTexture();

    bool IsCube();
    D3DFORMAT GetFormat();
    u32 GetLevelCount();
    bool HasAlpha();
    D3DXIMAGE_INFO GetImageInfo();
    IntPair GetSize();
    IntRect GetRect();
    void SetRect(i32 left, i32 top, i32 right, i32 bottom);
    void SetName(const String& text);
    const String& GetName() const { return name; }
    Texture* GetParentTexture();
    // The texture whose Direct3D texture holds this one's pixels: this one, unless it is
    // a sub-texture without an image of its own, whose pixel owner is its parent's.
    Texture* GetPixelOwner();
    StringMapOf<Texture*>& GetSubTextures();
    StringMapOf<TextureAnimDef*>& GetAnimations();
    bool HasAnimations();
    bool IsAnimated();
    u32 GetKind() const { return kind; }
    u32 GetDelay() const { return delay; }
    u32 GetPlacement() const { return placement; }
    bool IsInParentPixels() const { return inParentPixels != 0; }
    void SetLink(Texture* target) { link = target; }

    IDirect3DSurface9* GetSurfaceLevel(u32 level);
    IDirect3DSurface9* GetCubeMapSurface(D3DCUBEMAP_FACES face, u32 level);
    bool LockRect(u32 level, D3DLOCKED_RECT* out, DWORD flags);
    bool UnlockRect(u32 level);
    bool SaveToFile(const String& fileName);
    TexCoordRect GetTexCoordRect();
    Matrix GetTexCoordMatrix();
    bool SaveLevels();
    // Regenerates every mip level from level 0 (triangle filter).
    bool FilterMipLevels();

    bool MakeNormalMap(D3DFORMAT format, u32 flags, u32 channel, f32 amplitude, bool heightToAlpha);
    static Texture* BuildNormalMap(Texture* source, D3DFORMAT format, u32 flags, u32 channel, f32 amplitude,
                                   bool heightToAlpha);
    // Builds the texture again in place; with D3DFMT_R8G8B8 and a non-zero strength the
    // heights it holds become a normal map of that amplitude.
    bool Reload(D3DFORMAT format, f32 strength);

    // Texture scripts.
    bool LoadScriptFile(patht script, const TextureDesc& desc);
    bool LoadScript(const TextDataTree& node, patht script, Texture* parentTexture);
    bool PlaceSub(Texture* sub, Array<Texture*>& moved, i32 depth);
    bool ScorePlacement(const IntRect& candidate, i64& coveredArea, i32& score, Array<Texture*>& overlapped);

    // Parts and animations.
    bool FindPart(const String& partName, TextureAnimation& out);
    bool StartAnimation(Texture* source, const String& animationName);
    Texture* LookupPart(const TextureDesc& desc);
    Texture* CreatePart(const TextureDesc& desc);
    void AttachSub(Texture* sub);
    void DetachSub(Texture* sub);
    void DeleteSubs();
    Texture* FindSub(const String& subName);
    void ComputeAnimationLengths();

    // The texture at the end of the link chain.
    Texture* Resolved();

    u8 detached = 0;

private:
    friend class TextureManager;

    bool LoadFromSource();
    bool AfterCreate();
    void UpdateSubs();
    void ReleaseD3D();
    void FreeSavedLevels();
    bool WriteSavedLevels();
    bool LoadIntoParent();
    bool SharesParentPixels() const { return parent && !ownPixels; }

    // What the texture was asked to be; re-creation after a device loss asks the same.
    struct CreateParams {
        u32 width = 0;
        u32 height = 0;
        u32 levels = 0;
        u32 usage = 0;
        D3DFORMAT format = D3DFMT_UNKNOWN;
        D3DPOOL pool = D3DPOOL_MANAGED;
    };
    void StoreParams(u32 width, u32 height, u32 levels, u32 usage, D3DFORMAT format, D3DPOOL pool);

    CreateParams params;
    D3DSURFACE_DESC levelDesc{};
    u8 noPixels = 0;
    IDirect3DTexture9* texture = nullptr;  // owned when ownPixels is set
    u8 isCube = 0;
    IDirect3DCubeTexture9* cubeTexture = nullptr;
    D3DXIMAGE_INFO imageInfo{};
    Blob sourceData;
    String fileName;
    patht sourcePath;
    Blob savedLevels[kSavedLevels];
    Blob savedCubeLevels[kCubeFaces * kSavedLevels];
    u32 kind = TEX_EMPTY;
    u32 levels = 0;
    u32 filter = D3DX_FILTER_BOX;
    u32 mipFilter = D3DX_FILTER_BOX;
    u32 colorKey = 0;
    Texture* link = nullptr;
    Texture* parent = nullptr;
    u8 inParentPixels = 0;
    u8 ownPixels = 0;  // this texture made (or will make) a Direct3D texture of its own
    StringMapOf<Texture*> subs;
    u32 placement = 0;
    String name;
    u32 delay = 100;
    IntRect rect{0, 0, 0, 0};
    StringMapOf<TextureAnimDef*> animations;
    TextureAnimation animation;
    u8 animated = 0;
};

// Sets the statistic "FREE TEXTURE MEM" to the device's available texture memory in
// megabytes; false without a device.
bool RecordFreeTextureMemory();
