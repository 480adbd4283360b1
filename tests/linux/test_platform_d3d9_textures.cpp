// Textures and surfaces on the platform's reference Direct3D 9 device, and the D3DX
// texture functions on adapters configured through the test interface: creation checks,
// level chains, locks and pitches, cube faces, render targets and depth textures, texture
// memory, loss and reset, counting, and D3DX's adjustments, filters, normal maps and
// copies between formats, down to the bytes.
#include <PlatformTestD3d9.h>
#include <d3d9.h>
#include <d3dx9.h>

#include <gtest/gtest.h>

#include "../TextureTexels.h"
#include "PlatformD3d9Support.h"

#include <math.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using platformd3d9::kWindow;
using platformd3d9::PlainSurfacePitch;
using platformd3d9::Windowed;


class D3d9Textures : public platformd3d9::ReferenceD3d9 {
protected:
    void OpenWithCaps(DWORD textureCaps, UINT maxSize = 4096) {
        PlatformTestD3d9Adapter a = PlatformTest_D3d9DefaultAdapter();
        a.devices[D3DDEVTYPE_HAL].TextureCaps = textureCaps;
        a.devices[D3DDEVTYPE_HAL].MaxTextureWidth = a.devices[D3DDEVTYPE_HAL].MaxTextureHeight = maxSize;
        Open(a);
    }
    IDirect3DTexture9* Texture(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(w, h, levels, usage, format, pool, &t, nullptr), D3D_OK);
        return t;
    }
};

const DWORD kAllCaps = D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_MIPCUBEMAP;

TEST_F(D3d9Textures, CreationIsCheckedAsTheRuntimeChecksIt) {
    Open();
    struct Row {
        UINT w, h, levels;
        DWORD usage;
        D3DFORMAT format;
        D3DPOOL pool;
        HRESULT expected;
    };
    const Row rows[] = {
        {64, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3D_OK},
        {0, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {64, 0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {64, 64, 8, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},  // the chain has 7
        {64, 64, 1, D3DUSAGE_WRITEONLY, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {64, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3D_OK},
        {64, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {64, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, D3DERR_INVALIDCALL},
        {64, 64, 1, D3DUSAGE_DEPTHSTENCIL, D3DFMT_D24S8, D3DPOOL_DEFAULT, D3D_OK},
        {64, 64, 1, D3DUSAGE_DEPTHSTENCIL, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3DERR_INVALIDCALL},
        {64, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_D24S8, D3DPOOL_DEFAULT, D3DERR_INVALIDCALL},
        {64, 64, 1, D3DUSAGE_DEPTHSTENCIL, D3DFMT_D24S8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {64, 64, 1, 0, D3DFMT_D24S8, D3DPOOL_SYSTEMMEM, D3DERR_INVALIDCALL},
        {64, 64, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3D_OK},
        {64, 64, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {64, 64, 1, D3DUSAGE_DYNAMIC | D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3DERR_INVALIDCALL},
        {64, 64, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3D_OK},
        {64, 64, 2, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {64, 64, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, D3DERR_INVALIDCALL},
        {8192, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},  // wider than the caps allow
        {8192, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, D3D_OK},              // scratch ignores the caps
        {64, 64, 1, 0, D3DFMT_P8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},         // not a texture format here
        {64, 64, 1, 0, static_cast<D3DFORMAT>(0x7777), D3DPOOL_SCRATCH, D3DERR_INVALIDCALL},
        {64, 64, 1, 0, D3DFMT_A8R8G8B8, static_cast<D3DPOOL>(7), D3DERR_INVALIDCALL},
    };
    for (const Row& r : rows) {
        IDirect3DTexture9* t = reinterpret_cast<IDirect3DTexture9*>(1);
        EXPECT_EQ(device->CreateTexture(r.w, r.h, r.levels, r.usage, r.format, r.pool, &t, nullptr), r.expected)
            << r.w << "x" << r.h << " levels " << r.levels << " usage " << r.usage << " format " << r.format
            << " pool " << r.pool;
        if (SUCCEEDED(r.expected)) {
            ASSERT_NE(t, nullptr);
            t->Release();
        } else {
            EXPECT_EQ(t, nullptr);
        }
    }
    EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr, nullptr),
              D3DERR_INVALIDCALL);
}

TEST_F(D3d9Textures, FormatsTheAdapterRefusesCannotBeTextures) {
    PlatformTestD3d9Adapter a = PlatformTest_D3d9DefaultAdapter();
    a.textureFormats.erase(std::remove(a.textureFormats.begin(), a.textureFormats.end(), D3DFMT_L8),
                           a.textureFormats.end());
    Open(a);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_L8),
              D3DERR_NOTAVAILABLE);
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
    IDirect3DCubeTexture9* c = nullptr;
    EXPECT_EQ(device->CreateCubeTexture(16, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &c, nullptr), D3DERR_INVALIDCALL);
    // Scratch memory never reaches the device.
    EXPECT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_L8, D3DPOOL_SCRATCH, &t, nullptr), D3D_OK);
    t->Release();
}

TEST_F(D3d9Textures, LevelsHalveDownToOne) {
    Open();
    IDirect3DTexture9* t = Texture(2, 8, 4, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->GetLevelCount(), 4u);
    EXPECT_EQ(t->GetType(), D3DRTYPE_TEXTURE);
    const UINT sizes[4][2] = {{2, 8}, {1, 4}, {1, 2}, {1, 1}};
    for (UINT level = 0; level < 4; ++level) {
        D3DSURFACE_DESC d;
        ASSERT_EQ(t->GetLevelDesc(level, &d), D3D_OK);
        EXPECT_EQ(d.Width, sizes[level][0]);
        EXPECT_EQ(d.Height, sizes[level][1]);
        EXPECT_EQ(d.Type, D3DRTYPE_SURFACE);
        EXPECT_EQ(d.Format, D3DFMT_X8R8G8B8);
        EXPECT_EQ(d.Pool, D3DPOOL_SYSTEMMEM);
    }
    D3DSURFACE_DESC d;
    EXPECT_EQ(t->GetLevelDesc(4, &d), D3DERR_INVALIDCALL);
    t->Release();

    t = Texture(300, 20, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    EXPECT_EQ(t->GetLevelCount(), 9u);  // 300, 150, 75, 37, 18, 9, 4, 2, 1
    t->Release();
    t = Texture(64, 64, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    EXPECT_EQ(t->GetLevelCount(), 1u);
    EXPECT_EQ(t->GetAutoGenFilterType(), D3DTEXF_LINEAR);
    EXPECT_EQ(t->SetAutoGenFilterType(D3DTEXF_NONE), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->SetAutoGenFilterType(D3DTEXF_POINT), D3D_OK);
    EXPECT_EQ(t->GetAutoGenFilterType(), D3DTEXF_POINT);
    t->GenerateMipSubLevels();
    t->Release();
}

TEST_F(D3d9Textures, LocksHandOutPitchAndTheRectanglesFirstTexel) {
    Open();
    IDirect3DTexture9* t = Texture(128, 128, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    D3DLOCKED_RECT whole, part;
    ASSERT_EQ(t->LockRect(0, &whole, nullptr, 0), D3D_OK);
    EXPECT_EQ(whole.Pitch, 512);
    ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    const RECT r{60, 60, 68, 68};
    ASSERT_EQ(t->LockRect(0, &part, &r, 0), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(part.pBits), static_cast<uint8_t*>(whole.pBits) + 60 * 512 + 60 * 4);
    const DWORD texel = 0x11223344;
    memcpy(part.pBits, &texel, 4);
    ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    // What went through the rectangle is where a whole lock sees it.
    ASSERT_EQ(t->LockRect(0, &whole, nullptr, D3DLOCK_READONLY), D3D_OK);
    DWORD read;
    memcpy(&read, static_cast<uint8_t*>(whole.pBits) + 60 * 512 + 60 * 4, 4);
    EXPECT_EQ(read, texel);
    ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    // Levels follow one another in memory.
    uint8_t* expected = static_cast<uint8_t*>(whole.pBits);
    for (UINT level = 0; level < t->GetLevelCount(); ++level) {
        D3DLOCKED_RECT l;
        ASSERT_EQ(t->LockRect(level, &l, nullptr, 0), D3D_OK);
        EXPECT_EQ(l.pBits, expected) << level;
        D3DSURFACE_DESC d;
        t->GetLevelDesc(level, &d);
        expected += size_t(d.Height) * l.Pitch;
        t->UnlockRect(level);
    }
    EXPECT_EQ(t->LockRect(8, &whole, nullptr, 0), D3DERR_INVALIDCALL);
    t->Release();

    struct Row {
        D3DFORMAT format;
        INT pitch;  // of a 128-wide level
    };
    const Row rows[] = {{D3DFMT_R5G6B5, 256},   {D3DFMT_A1R5G5B5, 256}, {D3DFMT_A4R4G4B4, 256},
                        {D3DFMT_L8, 128},       {D3DFMT_A8, 128},       {D3DFMT_A8L8, 256},
                        {D3DFMT_V8U8, 256},     {D3DFMT_X8R8G8B8, 512}, {D3DFMT_DXT1, 256},
                        {D3DFMT_DXT3, 512},     {D3DFMT_DXT5, 512}};
    for (const Row& row : rows) {
        t = Texture(128, 128, 1, 0, row.format, D3DPOOL_MANAGED);
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(t->LockRect(0, &whole, nullptr, 0), D3D_OK);
        EXPECT_EQ(whole.Pitch, row.pitch) << row.format;
        t->UnlockRect(0);
        ASSERT_EQ(t->LockRect(0, &part, &r, 0), D3D_OK);
        const bool block = row.format == D3DFMT_DXT1 || row.format == D3DFMT_DXT3 || row.format == D3DFMT_DXT5;
        // Compressed rows are rows of 4x4 blocks.
        const size_t offset = block ? (60 / 4) * size_t(row.pitch) + (60 / 4) * size_t(row.pitch / 32)
                                    : 60 * size_t(row.pitch) + 60 * size_t(row.pitch / 128);
        EXPECT_EQ(static_cast<uint8_t*>(part.pBits), static_cast<uint8_t*>(whole.pBits) + offset) << row.format;
        t->UnlockRect(0);
        t->Release();
    }
}

TEST_F(D3d9Textures, RowsArePaddedToFourBytesAndBlockRowsKeepTheirBlocks) {
    // The runtime starts every row of texels on a 4-byte boundary; a row of compressed
    // blocks is already whole blocks of 8 or 16 bytes.
    Open();
    struct Row {
        D3DFORMAT format;
        UINT width;
        INT pitch;
    };
    const Row rows[] = {{D3DFMT_R5G6B5, 5, 12}, {D3DFMT_A1R5G5B5, 3, 8}, {D3DFMT_L8, 3, 4},
                        {D3DFMT_A8, 5, 8},      {D3DFMT_A8L8, 1, 4},     {D3DFMT_L8, 8, 8},
                        {D3DFMT_X8R8G8B8, 5, 20}, {D3DFMT_DXT1, 5, 16},  {D3DFMT_DXT5, 5, 32},
                        {D3DFMT_DXT1, 1, 8}};
    for (const Row& row : rows) {
        IDirect3DTexture9* t = Texture(row.width, 4, 1, 0, row.format, D3DPOOL_MANAGED);
        ASSERT_NE(t, nullptr);
        D3DLOCKED_RECT l;
        ASSERT_EQ(t->LockRect(0, &l, nullptr, 0), D3D_OK);
        EXPECT_EQ(l.Pitch, row.pitch) << row.format << " " << row.width;
        t->UnlockRect(0);
        t->Release();
    }
    // Every level of a chain is padded on its own, and a rectangle starts a padded row in.
    IDirect3DTexture9* t = Texture(5, 5, 0, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED);
    const INT pitches[] = {12, 4, 4};
    ASSERT_EQ(t->GetLevelCount(), 3u);
    D3DLOCKED_RECT whole, part;
    for (UINT level = 0; level < 3; ++level) {
        ASSERT_EQ(t->LockRect(level, &whole, nullptr, 0), D3D_OK);
        EXPECT_EQ(whole.Pitch, pitches[level]) << level;
        t->UnlockRect(level);
    }
    ASSERT_EQ(t->LockRect(0, &whole, nullptr, 0), D3D_OK);
    t->UnlockRect(0);
    const RECT r{1, 2, 4, 5};
    ASSERT_EQ(t->LockRect(0, &part, &r, 0), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(part.pBits), static_cast<uint8_t*>(whole.pBits) + 2 * 12 + 1 * 2);
    EXPECT_EQ(part.Pitch, 12);
    t->UnlockRect(0);
    t->Release();
    // A plain surface is padded the same way.
    EXPECT_EQ(PlainSurfacePitch(device, 7, 2, D3DFMT_A8, D3DPOOL_SYSTEMMEM), 8);
}

TEST_F(D3d9Textures, LockRulesFollowThePoolAndTheLocksHeld) {
    Open();
    D3DLOCKED_RECT l{};
    IDirect3DTexture9* t = Texture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    EXPECT_EQ(t->LockRect(0, &l, nullptr, 0), D3DERR_INVALIDCALL);
    t->Release();
    t = Texture(16, 16, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    EXPECT_EQ(t->LockRect(0, &l, nullptr, D3DLOCK_DISCARD), D3D_OK);
    t->UnlockRect(0);
    t->Release();

    t = Texture(16, 16, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM);
    ASSERT_EQ(t->LockRect(0, &l, nullptr, 0), D3D_OK);
    D3DLOCKED_RECT second{0x5a5a, reinterpret_cast<void*>(0x5a5a)};
    EXPECT_EQ(t->LockRect(0, &second, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(second.Pitch, 0x5a5a);  // untouched by the refusal
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &s), D3D_OK);
    EXPECT_EQ(s->LockRect(&second, nullptr, 0), D3DERR_INVALIDCALL);
    // Another level of the same texture can be locked meanwhile.
    EXPECT_EQ(t->LockRect(1, &second, nullptr, 0), D3D_OK);
    EXPECT_EQ(t->UnlockRect(1), D3D_OK);
    EXPECT_EQ(t->UnlockRect(0), D3D_OK);
    EXPECT_EQ(t->UnlockRect(0), D3D_OK);  // a second unlock of a level is harmless
    EXPECT_EQ(s->UnlockRect(), D3D_OK);
    s->Release();
    t->Release();

    IDirect3DCubeTexture9* c = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &c, nullptr), D3D_OK);
    ASSERT_EQ(c->LockRect(D3DCUBEMAP_FACE_POSITIVE_Y, 0, &l, nullptr, 0), D3D_OK);
    EXPECT_EQ(c->UnlockRect(D3DCUBEMAP_FACE_POSITIVE_Y, 0), D3D_OK);
    EXPECT_EQ(c->UnlockRect(D3DCUBEMAP_FACE_POSITIVE_Y, 0), D3DERR_INVALIDCALL);
    c->Release();
}

TEST_F(D3d9Textures, CubeFacesAreSurfacesOfTheirOwn) {
    OpenWithCaps(kAllCaps);
    IDirect3DCubeTexture9* c = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(64, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &c, nullptr), D3D_OK);
    EXPECT_EQ(c->GetLevelCount(), 7u);
    EXPECT_EQ(c->GetType(), D3DRTYPE_CUBETEXTURE);
    D3DSURFACE_DESC d;
    EXPECT_EQ(c->GetLevelDesc(7, &d), D3DERR_INVALIDCALL);
    ASSERT_EQ(c->GetLevelDesc(2, &d), D3D_OK);
    EXPECT_EQ(d.Width, 16u);
    IDirect3DSurface9* s = reinterpret_cast<IDirect3DSurface9*>(1);
    EXPECT_EQ(c->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(D3DCUBEMAP_FACE_NEGATIVE_Z + 1), 0, &s),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(s, nullptr);
    // Each face keeps its own texels.
    for (UINT face = 0; face < 6; ++face) {
        D3DLOCKED_RECT l;
        ASSERT_EQ(c->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &l, nullptr, 0), D3D_OK);
        memset(l.pBits, int(face + 1), 4);
        c->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
    }
    for (UINT face = 0; face < 6; ++face) {
        ASSERT_EQ(c->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), 0, &s), D3D_OK);
        D3DLOCKED_RECT l;
        ASSERT_EQ(s->LockRect(&l, nullptr, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(static_cast<uint8_t*>(l.pBits)[0], face + 1);
        s->UnlockRect();
        IDirect3DCubeTexture9* container = nullptr;
        ASSERT_EQ(s->GetContainer(IID_IDirect3DCubeTexture9, reinterpret_cast<void**>(&container)), D3D_OK);
        EXPECT_EQ(container, c);
        container->Release();
        s->Release();
    }
    c->Release();
    // Without cube maps in the caps there are none; without mipmapped cubes one level.
    device->Release();
    d3d->Release();
    device = nullptr;
    OpenWithCaps(D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_MIPMAP);
    ASSERT_EQ(device->CreateCubeTexture(64, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &c, nullptr), D3D_OK);
    EXPECT_EQ(c->GetLevelCount(), 1u);
    c->Release();
    device->Release();
    d3d->Release();
    OpenWithCaps(D3DPTEXTURECAPS_MIPMAP);
    EXPECT_EQ(device->CreateCubeTexture(64, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &c, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateCubeTexture(64, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &c, nullptr), D3D_OK);
    c->Release();
}

TEST_F(D3d9Textures, ALevelSurfaceCountsOnItsTexture) {
    Open();
    IDirect3DTexture9* t = Texture(32, 32, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    EXPECT_EQ(PlatformTest_D3d9RefCount(t), 1u);
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(3, &s), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9RefCount(t), 2u);
    EXPECT_EQ(PlatformTest_D3d9RefCount(s), 2u);
    D3DSURFACE_DESC d;
    ASSERT_EQ(s->GetDesc(&d), D3D_OK);
    EXPECT_EQ(d.Width, 4u);
    EXPECT_EQ(d.Pool, D3DPOOL_MANAGED);
    IDirect3DTexture9* container = nullptr;
    ASSERT_EQ(s->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container)), D3D_OK);
    EXPECT_EQ(container, t);
    container->Release();
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(s->GetContainer(IID_IDirect3DCubeTexture9, &none), E_NOINTERFACE);
    // The texture outlives the program's hold on it while a level is held.
    EXPECT_EQ(t->Release(), 1u);
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::Texture), 1);
    EXPECT_EQ(s->Release(), 0u);
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::Texture), 0);
}

TEST_F(D3d9Textures, BoundTexturesAreHeldAndLogged) {
    Open();
    PlatformTest_D3d9ClearCallLog();
    IDirect3DTexture9* t = Texture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    const unsigned number = PlatformTest_D3d9ObjectNumber(t);
    ASSERT_EQ(device->SetTexture(0, t), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9RefCount(t), 1u);  // the binding is the device's, not the program's
    EXPECT_EQ(t->Release(), 0u);
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::Texture), 1);
    IDirect3DBaseTexture9* bound = nullptr;
    ASSERT_EQ(device->GetTexture(0, &bound), D3D_OK);
    EXPECT_EQ(bound, t);
    bound->Release();
    ASSERT_EQ(device->SetTexture(0, nullptr), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::Texture), 0);
    const std::vector<std::string> log = PlatformTest_D3d9CallLog();
    const std::string n = "#" + std::to_string(number);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "CreateTexture(8, 8, 1, 0x0, 21, 1, " + n + ")");
    EXPECT_EQ(log[1], "SetTexture(0, " + n + ")");
    EXPECT_EQ(log[2], "SetTexture(0, null)");
}

TEST_F(D3d9Textures, ATextureLevelIsARenderTarget) {
    Open();
    IDirect3DTexture9* t = Texture(64, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &level), D3D_OK);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    const D3DVIEWPORT9 v = PlatformTest_D3d9Viewport(device);
    EXPECT_EQ(v.Width, 64u);
    EXPECT_EQ(v.Height, 32u);
    const RECT scissor = PlatformTest_D3d9ScissorRect(device);
    EXPECT_EQ(scissor.right, 64);
    EXPECT_EQ(scissor.bottom, 32);
    // A clear reaches the texture's texels; they come back through a system-memory copy.
    const D3DRECT corner{0, 0, 8, 8};
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->Clear(1, &corner, D3DCLEAR_TARGET, 0x80405060, 1.0f, 0), D3D_OK);
    IDirect3DSurface9* copy = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(64, 32, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr), D3D_OK);
    ASSERT_EQ(device->GetRenderTargetData(level, copy), D3D_OK);
    D3DLOCKED_RECT l;
    ASSERT_EQ(copy->LockRect(&l, nullptr, D3DLOCK_READONLY), D3D_OK);
    DWORD inside, outside;
    memcpy(&inside, static_cast<uint8_t*>(l.pBits) + 7 * l.Pitch + 7 * 4, 4);
    memcpy(&outside, static_cast<uint8_t*>(l.pBits) + 31 * l.Pitch + 63 * 4, 4);
    EXPECT_EQ(inside, 0x80405060u);
    EXPECT_EQ(outside, 0xFF102030u);
    copy->UnlockRect();
    copy->Release();
    // Bound as the target, the level keeps its texture alive after the program lets go.
    level->Release();
    t->Release();
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::Texture), 1);
    IDirect3DSurface9* current = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &current), D3D_OK);
    EXPECT_EQ(current, level);
    current->Release();
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::Texture), 0);
    EXPECT_EQ(PlatformTest_D3d9Viewport(device).Width, 320u);
    back->Release();

    // A plain texture's level is no target.
    t = Texture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    t->GetSurfaceLevel(0, &level);
    EXPECT_EQ(device->SetRenderTarget(0, level), D3DERR_INVALIDCALL);
    level->Release();
    t->Release();
}

TEST_F(D3d9Textures, ADepthTextureIsADepthBuffer) {
    Open();
    IDirect3DTexture9* t = Texture(64, 64, 1, D3DUSAGE_DEPTHSTENCIL, D3DFMT_D24S8, D3DPOOL_DEFAULT);
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &depth), D3D_OK);
    ASSERT_EQ(device->SetDepthStencilSurface(depth), D3D_OK);
    IDirect3DSurface9* current = nullptr;
    ASSERT_EQ(device->GetDepthStencilSurface(&current), D3D_OK);
    EXPECT_EQ(current, depth);
    current->Release();
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->SetDepthStencilSurface(nullptr), D3D_OK);
    current = reinterpret_cast<IDirect3DSurface9*>(1);
    EXPECT_EQ(device->GetDepthStencilSurface(&current), D3DERR_NOTFOUND);
    EXPECT_EQ(current, nullptr);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    // A colour level is no depth buffer.
    IDirect3DTexture9* colour = Texture(64, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    IDirect3DSurface9* level = nullptr;
    colour->GetSurfaceLevel(0, &level);
    EXPECT_EQ(device->SetDepthStencilSurface(level), D3DERR_INVALIDCALL);
    level->Release();
    colour->Release();
    depth->Release();
    t->Release();
}

TEST_F(D3d9Textures, DefaultPoolTexturesTakeTextureMemory) {
    Open();
    const UINT before = device->GetAvailableTextureMem();
    EXPECT_EQ(before, 256u << 20);
    IDirect3DTexture9* managed = Texture(1024, 1024, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    EXPECT_EQ(device->GetAvailableTextureMem(), before);
    IDirect3DTexture9* t = Texture(1024, 1024, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    EXPECT_EQ(device->GetAvailableTextureMem(), before - (4u << 20));
    IDirect3DCubeTexture9* c = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(512, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &c, nullptr),
              D3D_OK);
    EXPECT_EQ(device->GetAvailableTextureMem(), before - (10u << 20));
    c->Release();
    t->Release();
    EXPECT_EQ(device->GetAvailableTextureMem(), before);
    managed->Release();
}

TEST_F(D3d9Textures, DefaultPoolTexturesBlockAResetOthersSurviveIt) {
    Open();
    IDirect3DTexture9* managed = Texture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    IDirect3DTexture9* system = Texture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM);
    D3DLOCKED_RECT l;
    ASSERT_EQ(managed->LockRect(0, &l, nullptr, 0), D3D_OK);
    memset(l.pBits, 0xAB, 4);
    managed->UnlockRect(0);
    IDirect3DTexture9* target = Texture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    PlatformTest_D3d9LoseDevice(device);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    PlatformTest_D3d9AllowReset(device);
    D3DPRESENT_PARAMETERS p = Windowed();
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    // A level held alone holds the texture, and so blocks the reset too.
    IDirect3DSurface9* level = nullptr;
    target->GetSurfaceLevel(0, &level);
    target->Release();
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    level->Release();
    EXPECT_EQ(device->Reset(&p), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    ASSERT_EQ(managed->LockRect(0, &l, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(l.pBits)[3], 0xAB);
    managed->UnlockRect(0);
    managed->Release();
    system->Release();
}

TEST_F(D3d9Textures, UpdateTextureCopiesEveryLevelIntoTheDefaultPool) {
    Open();
    IDirect3DTexture9* source = Texture(16, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM);
    IDirect3DTexture9* dest = Texture(8, 8, 0, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    for (UINT level = 0; level < source->GetLevelCount(); ++level) {
        D3DLOCKED_RECT l;
        ASSERT_EQ(source->LockRect(level, &l, nullptr, 0), D3D_OK);
        D3DSURFACE_DESC d;
        source->GetLevelDesc(level, &d);
        memset(l.pBits, int(0x10 + level), size_t(l.Pitch) * d.Height);
        source->UnlockRect(level);
    }
    // The source's second level lines up with the destination's first.
    ASSERT_EQ(device->UpdateTexture(source, dest), D3D_OK);
    for (UINT level = 0; level < dest->GetLevelCount(); ++level) {
        D3DLOCKED_RECT l;
        ASSERT_EQ(dest->LockRect(level, &l, nullptr, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(static_cast<uint8_t*>(l.pBits)[0], 0x11 + level) << level;
        dest->UnlockRect(level);
    }
    EXPECT_EQ(device->UpdateTexture(dest, source), D3DERR_INVALIDCALL);
    IDirect3DTexture9* other = Texture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_R5G6B5, D3DPOOL_DEFAULT);
    EXPECT_EQ(device->UpdateTexture(source, other), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateTexture(source, nullptr), D3DERR_INVALIDCALL);
    other->Release();
    dest->Release();
    source->Release();
}

TEST_F(D3d9Textures, OnlyManagedTexturesKeepALevelOfDetail) {
    Open();
    IDirect3DTexture9* managed = Texture(16, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    EXPECT_EQ(managed->SetLOD(2), 0u);
    EXPECT_EQ(managed->GetLOD(), 2u);
    EXPECT_EQ(managed->SetLOD(9), 2u);
    EXPECT_EQ(managed->GetLOD(), 4u);  // no lower than the last level
    IDirect3DTexture9* system = Texture(16, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM);
    EXPECT_EQ(system->SetLOD(2), 0u);
    EXPECT_EQ(system->GetLOD(), 0u);
    EXPECT_EQ(managed->AddDirtyRect(nullptr), D3D_OK);
    system->Release();
    managed->Release();
}

// ---- D3DX ---------------------------------------------------------------------------------

struct Requirement {
    UINT w, h, levels;
    D3DFORMAT format;
    UINT ew, eh, elevels;
    D3DFORMAT eformat;
};

void ExpectRequirements(IDirect3DDevice9* device, const Requirement& r) {
    UINT w = r.w, h = r.h, levels = r.levels;
    D3DFORMAT format = r.format;
    ASSERT_EQ(D3DXCheckTextureRequirements(device, &w, &h, &levels, 0, &format, D3DPOOL_MANAGED), D3D_OK);
    EXPECT_EQ(w, r.ew) << r.w << "x" << r.h;
    EXPECT_EQ(h, r.eh) << r.w << "x" << r.h;
    EXPECT_EQ(levels, r.elevels) << r.w << "x" << r.h;
    EXPECT_EQ(format, r.eformat) << r.w << "x" << r.h;
}

TEST_F(D3d9Textures, D3DXAdjustsNothingAnUnrestrictedDeviceCanMake) {
    Open();
    const Requirement rows[] = {
        {D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, 256, 256, 9, D3DFMT_A8R8G8B8},
        {D3DX_DEFAULT, 63, D3DX_DEFAULT, D3DFMT_A8R8G8B8, 63, 63, 6, D3DFMT_A8R8G8B8},
        {62, 62, 1, D3DFMT_X8R8G8B8, 62, 62, 1, D3DFMT_X8R8G8B8},
        {64, 63, 9, D3DFMT_R5G6B5, 64, 63, 7, D3DFMT_R5G6B5},
        {284, 137, 20, D3DFMT_L8, 284, 137, 9, D3DFMT_L8},
        {0, 0, 0, D3DFMT_A8R8G8B8, 1, 1, 1, D3DFMT_A8R8G8B8},
        {0xFFFFFFFE, 4, 1, D3DFMT_A8R8G8B8, 4096, 4, 1, D3DFMT_A8R8G8B8},
        {2, 2, 1, D3DFMT_DXT1, 4, 4, 1, D3DFMT_DXT1},
        {9, 9, 1, D3DFMT_DXT5, 12, 12, 1, D3DFMT_DXT5},
    };
    for (const Requirement& r : rows) ExpectRequirements(device, r);
    UINT levels = 6;
    EXPECT_EQ(D3DXCheckTextureRequirements(device, nullptr, nullptr, &levels, D3DUSAGE_AUTOGENMIPMAP, nullptr,
                                           D3DPOOL_MANAGED),
              D3D_OK);
    EXPECT_EQ(levels, 0u);
    EXPECT_EQ(D3DXCheckTextureRequirements(nullptr, nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCheckTextureRequirements(device, nullptr, nullptr, nullptr, D3DUSAGE_WRITEONLY, nullptr,
                                           D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);

    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(D3DXCreateTexture(device, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT,
                                &t),
              D3D_OK);
    D3DSURFACE_DESC d;
    t->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Width, 256u);
    EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(t->GetLevelCount(), 9u);
    t->Release();
}

TEST_F(D3d9Textures, D3DXRoundsToPowersOfTwoSquaresAndTheMaximumTheCapsAskFor) {
    OpenWithCaps(D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_MIPMAP, 512);
    const Requirement pow2[] = {
        {100, 60, 0, D3DFMT_A8R8G8B8, 128, 64, 8, D3DFMT_A8R8G8B8},
        {511, 3, 1, D3DFMT_A8R8G8B8, 512, 4, 1, D3DFMT_A8R8G8B8},
        {1000, 2000, 0, D3DFMT_A8R8G8B8, 512, 512, 10, D3DFMT_A8R8G8B8},
        {9, 9, 1, D3DFMT_DXT5, 16, 16, 1, D3DFMT_DXT5},
    };
    for (const Requirement& r : pow2) ExpectRequirements(device, r);
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(D3DXCreateTexture(device, 100, 60, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
    D3DSURFACE_DESC d;
    t->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Width, 128u);
    EXPECT_EQ(d.Height, 64u);
    t->Release();
    // The device itself refuses what D3DX would have rounded.
    EXPECT_EQ(device->CreateTexture(100, 60, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
              D3DERR_INVALIDCALL);
    device->Release();
    d3d->Release();

    // Conditional non-powers of two are allowed without mip levels only.
    OpenWithCaps(D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL | D3DPTEXTURECAPS_MIPMAP);
    ExpectRequirements(device, {100, 60, 1, D3DFMT_A8R8G8B8, 100, 60, 1, D3DFMT_A8R8G8B8});
    ExpectRequirements(device, {100, 60, 0, D3DFMT_A8R8G8B8, 128, 64, 8, D3DFMT_A8R8G8B8});
    device->Release();
    d3d->Release();

    OpenWithCaps(D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY | D3DPTEXTURECAPS_MIPMAP);
    ExpectRequirements(device, {100, 20, 0, D3DFMT_A8R8G8B8, 128, 128, 8, D3DFMT_A8R8G8B8});
    device->Release();
    d3d->Release();

    // No mipmaps: one level whatever is asked.
    OpenWithCaps(0);
    ExpectRequirements(device, {64, 64, 0, D3DFMT_A8R8G8B8, 64, 64, 1, D3DFMT_A8R8G8B8});
}

TEST_F(D3d9Textures, D3DXReplacesAFormatTheDeviceLacksWithTheNearest) {
    PlatformTestD3d9Adapter a = PlatformTest_D3d9DefaultAdapter();
    for (D3DFORMAT gone : {D3DFMT_L8, D3DFMT_DXT1, D3DFMT_A4R4G4B4, D3DFMT_R5G6B5})
        a.textureFormats.erase(std::remove(a.textureFormats.begin(), a.textureFormats.end(), gone),
                               a.textureFormats.end());
    Open(a);
    const Requirement rows[] = {
        {16, 16, 1, D3DFMT_L8, 16, 16, 1, D3DFMT_A8L8},
        {2, 2, 1, D3DFMT_DXT1, 2, 2, 1, D3DFMT_A8R8G8B8},  // not rounded to blocks any more
        {16, 16, 1, D3DFMT_A4R4G4B4, 16, 16, 1, D3DFMT_A8R8G8B8},
        {16, 16, 1, D3DFMT_R5G6B5, 16, 16, 1, D3DFMT_X8R8G8B8},  // no bit of green lost
    };
    for (const Requirement& r : rows) ExpectRequirements(device, r);
    IDirect3DCubeTexture9* c = nullptr;
    ASSERT_EQ(D3DXCreateCubeTexture(device, D3DX_DEFAULT, 0, 0, D3DFMT_L8, D3DPOOL_MANAGED, &c), D3D_OK);
    D3DSURFACE_DESC d;
    c->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Width, 256u);
    EXPECT_EQ(d.Format, D3DFMT_A8L8);
    EXPECT_EQ(c->GetLevelCount(), 9u);
    c->Release();
}

void FillTop(IDirect3DTexture9* t, const std::vector<DWORD>& texels, UINT width) {
    D3DLOCKED_RECT l;
    ASSERT_EQ(t->LockRect(0, &l, nullptr, 0), D3D_OK);
    for (size_t i = 0; i < texels.size(); ++i)
        memcpy(static_cast<uint8_t*>(l.pBits) + (i / width) * l.Pitch + (i % width) * 4, &texels[i], 4);
    t->UnlockRect(0);
}

TEST_F(D3d9Textures, D3DXFilterTextureAveragesBoxesIntoTheLowerLevels) {
    Open();
    IDirect3DTexture9* t = Texture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    ASSERT_EQ(t->GetLevelCount(), 3u);
    FillTop(t,
            {0xFF000000, 0xFF000004, 0x00000010, 0x00000020,  //
             0xFF000008, 0xFF00000C, 0x00000030, 0x00000040,  //
             0x80FF0000, 0x80FF0000, 0xFF00FF00, 0xFF00FF00,  //
             0x00FF0000, 0x00FF0000, 0xFF00FF00, 0xFF00FF00},
            4);
    ASSERT_EQ(D3DXFilterTexture(t, nullptr, 0, D3DX_FILTER_BOX), D3D_OK);
    EXPECT_EQ(TexelAt(t, 1, 0, 0), 0xFF000006u);
    EXPECT_EQ(TexelAt(t, 1, 1, 0), 0x00000028u);
    EXPECT_EQ(TexelAt(t, 1, 0, 1), 0x40FF0000u);
    EXPECT_EQ(TexelAt(t, 1, 1, 1), 0xFF00FF00u);
    // The last level averages the one above it as stored: alpha (255+0+64+255)/4 = 143.5
    // and blue (6+0x28)/4 = 11.5 round to even, red and green 255/4 to 64.
    EXPECT_EQ(TexelAt(t, 2, 0, 0), 0x9040400Cu);
    // Point filtering takes one texel of each 2x2 block.
    ASSERT_EQ(D3DXFilterTexture(t, nullptr, 0, D3DX_FILTER_POINT), D3D_OK);
    EXPECT_TRUE(TexelAt(t, 1, 0, 0) == 0xFF000000u || TexelAt(t, 1, 0, 0) == 0xFF00000Cu ||
                TexelAt(t, 1, 0, 0) == 0xFF000004u || TexelAt(t, 1, 0, 0) == 0xFF000008u);
    // Filtering from level 1 leaves level 1 as it is.
    const DWORD kept = TexelAt(t, 1, 1, 0);
    ASSERT_EQ(D3DXFilterTexture(t, nullptr, 1, D3DX_FILTER_BOX), D3D_OK);
    EXPECT_EQ(TexelAt(t, 1, 1, 0), kept);

    EXPECT_EQ(D3DXFilterTexture(t, nullptr, 0, D3DX_FILTER_BOX + 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXFilterTexture(t, nullptr, 3, D3DX_FILTER_BOX), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXFilterTexture(nullptr, nullptr, 0, D3DX_FILTER_BOX), D3DERR_INVALIDCALL);
    t->Release();

    // A default-pool texture cannot be locked: its levels are read through a render target
    // and written from system memory, and a copy that fails fails the filtering.
    t = Texture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    EXPECT_EQ(D3DXFilterTexture(t, nullptr, 0, D3DX_DEFAULT), D3D_OK);
    PlatformTest_D3d9FailCall("StretchRect", 1, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(D3DXFilterTexture(t, nullptr, 0, D3DX_DEFAULT), D3DERR_OUTOFVIDEOMEMORY);
    t->Release();
}

TEST_F(D3d9Textures, D3DXFilterTextureFiltersEveryCubeFaceAndConvertsFormats) {
    Open();
    IDirect3DCubeTexture9* c = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(2, 0, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &c, nullptr), D3D_OK);
    for (UINT face = 0; face < 6; ++face) {
        D3DLOCKED_RECT l;
        ASSERT_EQ(c->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &l, nullptr, 0), D3D_OK);
        // White and black alternating in the first row, the second all black.
        const uint16_t row0[2] = {0xFFFF, 0x0000};
        memcpy(l.pBits, row0, 4);
        memset(static_cast<uint8_t*>(l.pBits) + l.Pitch, 0, 4);
        c->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
    }
    ASSERT_EQ(D3DXFilterTexture(c, nullptr, 0, D3DX_FILTER_BOX), D3D_OK);
    for (UINT face = 0; face < 6; ++face) {
        D3DLOCKED_RECT l;
        ASSERT_EQ(c->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 1, &l, nullptr, D3DLOCK_READONLY), D3D_OK);
        uint16_t v;
        memcpy(&v, l.pBits, 2);
        // A quarter of white: 31/4 -> 8 in five bits, 63/4 -> 16 in six.
        EXPECT_EQ(v, (8 << 11) | (16 << 5) | 8) << face;
        c->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 1);
    }
    c->Release();
}

TEST_F(D3d9Textures, D3DXComputeNormalMapOfARamp) {
    Open();
    IDirect3DTexture9* heights = Texture(8, 4, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED);
    D3DLOCKED_RECT l;
    ASSERT_EQ(heights->LockRect(0, &l, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 8; ++x) static_cast<uint8_t*>(l.pBits)[y * l.Pitch + x] = uint8_t(x * 32);
    heights->UnlockRect(0);
    IDirect3DTexture9* normals = Texture(8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);

    // Heights rise by 32/255 a texel; this amplitude makes the slope one, a normal of
    // (-1, 0, 1) / sqrt(2) inside; the wrapped edges see the drop from the top to 0.
    const float amplitude = 255.0f / 32.0f;
    ASSERT_EQ(D3DXComputeNormalMap(normals, heights, nullptr, 0, D3DX_CHANNEL_LUMINANCE, amplitude), D3D_OK);
    auto biased = [](float n) { return DWORD(lrintf((n + 1) / 2 * 255)); };
    auto argb = [&](float x, float y, float z, DWORD a = 0xFF) {
        const float len = sqrtf(x * x + y * y + z * z);
        return (a << 24) | (biased(x / len) << 16) | (biased(y / len) << 8) | biased(z / len);
    };
    EXPECT_EQ(TexelAt(normals, 0, 3, 1), argb(-1, 0, 1));
    EXPECT_EQ(TexelAt(normals, 0, 0, 2), argb(3, 0, 1));   // (32 - 224) / 2 = -3 slopes
    EXPECT_EQ(TexelAt(normals, 0, 7, 0), argb(3, 0, 1));

    ASSERT_EQ(D3DXComputeNormalMap(normals, heights, nullptr, D3DX_NORMALMAP_MIRROR_U, D3DX_CHANNEL_RED, amplitude),
              D3D_OK);
    EXPECT_EQ(TexelAt(normals, 0, 0, 0), argb(-0.5f, 0, 1));  // the edge texel stands in for its neighbour
    EXPECT_EQ(TexelAt(normals, 0, 4, 3), argb(-1, 0, 1));
    ASSERT_EQ(D3DXComputeNormalMap(normals, heights, nullptr, D3DX_NORMALMAP_MIRROR | D3DX_NORMALMAP_INVERTSIGN,
                                   D3DX_CHANNEL_GREEN, amplitude),
              D3D_OK);
    EXPECT_EQ(TexelAt(normals, 0, 4, 3), argb(1, 0, 1));
    ASSERT_EQ(D3DXComputeNormalMap(normals, heights, nullptr, D3DX_NORMALMAP_COMPUTE_OCCLUSION, D3DX_CHANNEL_BLUE,
                                   amplitude),
              D3D_OK);
    EXPECT_EQ(TexelAt(normals, 0, 4, 3), argb(-1, 0, 1, DWORD(lrintf(255 / sqrtf(2)))));
    // An L8 source has no alpha: it reads as opaque everywhere, a flat height.
    ASSERT_EQ(D3DXComputeNormalMap(normals, heights, nullptr, 0, D3DX_CHANNEL_ALPHA, amplitude), D3D_OK);
    EXPECT_EQ(TexelAt(normals, 0, 4, 3), argb(0, 0, 1));

    EXPECT_EQ(D3DXComputeNormalMap(normals, heights, nullptr, 0, D3DX_CHANNEL_RED | D3DX_CHANNEL_GREEN, 1.0f),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXComputeNormalMap(nullptr, heights, nullptr, 0, D3DX_CHANNEL_RED, 1.0f), D3DERR_INVALIDCALL);

    // Signed destinations take the normal unbiased.
    IDirect3DTexture9* bump = Texture(8, 4, 1, 0, D3DFMT_V8U8, D3DPOOL_MANAGED);
    ASSERT_EQ(D3DXComputeNormalMap(bump, heights, nullptr, 0, D3DX_CHANNEL_RED, amplitude), D3D_OK);
    ASSERT_EQ(bump->LockRect(0, &l, nullptr, D3DLOCK_READONLY), D3D_OK);
    const int8_t u = static_cast<int8_t>(static_cast<uint8_t*>(l.pBits)[3 * 2]);
    const int8_t v = static_cast<int8_t>(static_cast<uint8_t*>(l.pBits)[3 * 2 + 1]);
    EXPECT_EQ(u, -90);  // -0.7071 of 127
    EXPECT_EQ(v, 0);
    bump->UnlockRect(0);
    bump->Release();
    normals->Release();
    heights->Release();
}

TEST_F(D3d9Textures, D3DXLoadSurfaceFromMemoryConvertsScalesAndKeysOut) {
    Open();
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(4, 2, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, &s, nullptr), D3D_OK);
    const DWORD pixels[2] = {0xFFFF0000, 0xFF00FF00};
    const RECT from{0, 0, 2, 1};
    ASSERT_EQ(D3DXLoadSurfaceFromMemory(s, nullptr, nullptr, pixels, D3DFMT_A8R8G8B8, 8, nullptr, &from,
                                        D3DX_FILTER_POINT, 0),
              D3D_OK);
    D3DLOCKED_RECT l;
    ASSERT_EQ(s->LockRect(&l, nullptr, D3DLOCK_READONLY), D3D_OK);
    uint16_t row[4];
    memcpy(row, static_cast<uint8_t*>(l.pBits) + l.Pitch, 8);
    EXPECT_EQ(row[0], 0xF800);
    EXPECT_EQ(row[1], 0xF800);
    EXPECT_EQ(row[2], 0x07E0);
    EXPECT_EQ(row[3], 0x07E0);
    s->UnlockRect();
    s->Release();

    ASSERT_EQ(device->CreateOffscreenPlainSurface(2, 1, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &s, nullptr), D3D_OK);
    ASSERT_EQ(D3DXLoadSurfaceFromMemory(s, nullptr, nullptr, pixels, D3DFMT_A8R8G8B8, 8, nullptr, &from,
                                        D3DX_FILTER_NONE, 0xFF00FF00),
              D3D_OK);
    ASSERT_EQ(s->LockRect(&l, nullptr, D3DLOCK_READONLY), D3D_OK);
    DWORD out[2];
    memcpy(out, l.pBits, 8);
    EXPECT_EQ(out[0], 0xFFFF0000u);
    EXPECT_EQ(out[1], 0x00000000u);
    s->UnlockRect();
    EXPECT_EQ(D3DXLoadSurfaceFromMemory(s, nullptr, nullptr, pixels, D3DFMT_A8R8G8B8, 8, nullptr, nullptr,
                                        D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    const RECT outside{0, 0, 3, 1};
    EXPECT_EQ(D3DXLoadSurfaceFromMemory(s, nullptr, &outside, pixels, D3DFMT_A8R8G8B8, 8, nullptr, &from,
                                        D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    s->Release();

    // Compressed blocks go across as they are, from a block-aligned source rectangle.
    IDirect3DTexture9* t = Texture(8, 8, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED);
    IDirect3DSurface9* level = nullptr;
    t->GetSurfaceLevel(0, &level);
    uint8_t blocks[2 * 16];
    for (size_t i = 0; i < sizeof blocks; ++i) blocks[i] = uint8_t(i);
    const RECT all{0, 0, 8, 8};
    ASSERT_EQ(D3DXLoadSurfaceFromMemory(level, nullptr, nullptr, blocks, D3DFMT_DXT1, 16, nullptr, &all,
                                        D3DX_FILTER_NONE, 0),
              D3D_OK);
    ASSERT_EQ(level->LockRect(&l, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(memcmp(l.pBits, blocks, sizeof blocks), 0);
    level->UnlockRect();
    level->Release();
    t->Release();
}

TEST_F(D3d9Textures, D3DXFileLoadersRefuseWhatTheyCannotRead) {
    Open();
    const uint8_t junk[16] = {1, 2, 3};
    IDirect3DTexture9* t = reinterpret_cast<IDirect3DTexture9*>(1);
    EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, junk, sizeof junk, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                                                  0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                  nullptr, nullptr, &t),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, junk, 0, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                  D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                  nullptr, nullptr, &t),
              D3DERR_INVALIDCALL);
    D3DXIMAGE_INFO info;
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(junk, 0, &info), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(junk, sizeof junk, &info), D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXCreateTextureFromFileExA(device, "/nonexistent/texture.dds", D3DX_DEFAULT, D3DX_DEFAULT,
                                           D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                           D3DX_DEFAULT, 0, nullptr, nullptr, &t),
              D3DXERR_INVALIDDATA);
}

TEST_F(D3d9Textures, CompressedSurfacesAreUpdatedInWholeBlocks) {
    Open();
    IDirect3DTexture9* source = Texture(8, 8, 1, 0, D3DFMT_DXT5, D3DPOOL_SYSTEMMEM);
    IDirect3DTexture9* dest = Texture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_DXT5, D3DPOOL_DEFAULT);
    D3DLOCKED_RECT l;
    ASSERT_EQ(source->LockRect(0, &l, nullptr, 0), D3D_OK);
    for (int i = 0; i < 64; ++i) static_cast<uint8_t*>(l.pBits)[i] = uint8_t(i + 1);
    source->UnlockRect(0);
    IDirect3DSurface9* from = nullptr;
    IDirect3DSurface9* to = nullptr;
    source->GetSurfaceLevel(0, &from);
    dest->GetSurfaceLevel(0, &to);
    // The lower-right block alone, to the upper left.
    const RECT block{4, 4, 8, 8};
    const POINT origin{0, 0};
    ASSERT_EQ(device->UpdateSurface(from, &block, to, &origin), D3D_OK);
    ASSERT_EQ(dest->LockRect(0, &l, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(static_cast<uint8_t*>(l.pBits)[i], 49 + i) << i;
    EXPECT_EQ(static_cast<uint8_t*>(l.pBits)[16], 0);
    dest->UnlockRect(0);
    const RECT inside{2, 0, 6, 4};
    EXPECT_EQ(device->UpdateSurface(from, &inside, to, &origin), D3DERR_INVALIDCALL);
    const POINT off{2, 0};
    EXPECT_EQ(device->UpdateSurface(from, &block, to, &off), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->UpdateSurface(from, nullptr, to, nullptr), D3D_OK);
    ASSERT_EQ(dest->LockRect(0, &l, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(l.pBits)[63], 64);
    dest->UnlockRect(0);
    to->Release();
    from->Release();
    dest->Release();
    source->Release();
}

TEST_F(D3d9Textures, AFailedCreationReachesD3DXCallers) {
    Open();
    PlatformTest_D3d9FailCall("CreateTexture", 1, E_OUTOFMEMORY);
    IDirect3DTexture9* t = reinterpret_cast<IDirect3DTexture9*>(1);
    EXPECT_EQ(D3DXCreateTexture(device, 64, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), E_OUTOFMEMORY);
    EXPECT_EQ(t, nullptr);
    const std::vector<std::string> log = PlatformTest_D3d9CallLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "CreateTexture(64, 64, 7, 0x0, 21, 1, null) -> failed");
    ASSERT_EQ(D3DXCreateTexture(device, 64, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
    t->Release();
}

TEST_F(D3d9Textures, ANormalMapFillsEveryLevelOfItsChain) {
    Open();
    IDirect3DTexture9* heights = Texture(4, 4, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED);
    D3DLOCKED_RECT l;
    ASSERT_EQ(heights->LockRect(0, &l, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < 4; ++y) memset(static_cast<uint8_t*>(l.pBits) + y * l.Pitch, 0x40, 4);
    heights->UnlockRect(0);
    IDirect3DTexture9* normals = nullptr;
    // Twenty-four-bit RGB is no texture format here: D3DX takes the nearest, X8R8G8B8.
    ASSERT_EQ(D3DXCreateTexture(device, 4, 4, 0, 0, D3DFMT_R8G8B8, D3DPOOL_MANAGED, &normals), D3D_OK);
    D3DSURFACE_DESC d;
    normals->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Format, D3DFMT_X8R8G8B8);
    ASSERT_EQ(D3DXComputeNormalMap(normals, heights, nullptr, 0, D3DX_CHANNEL_LUMINANCE, 4.0f), D3D_OK);
    // Flat ground: straight up at every level.
    for (UINT level = 0; level < 3; ++level) EXPECT_EQ(TexelAt(normals, level, 0, 0), 0xFF8080FFu) << level;
    normals->Release();
    heights->Release();
}

}  // namespace
