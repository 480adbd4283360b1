// The D3DX texture functions on a real device of each platform (Wine's Direct3D and D3DX
// under Wine, the reference device and the platform's D3DX on Linux): creation with its
// adjustments on the default adapter, the pitch and rectangle of a lock, box filtering of
// mip levels and the normals of a height ramp.
#include <d3d9.h>
#include <d3dx9.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "PortableD3d9Device.h"
#include "TextureTexels.h"

#include <string.h>

namespace {

class D3dx9Tex : public PortableD3d9Device {
protected:
    D3DSURFACE_DESC Top(IDirect3DTexture9* t) {
        D3DSURFACE_DESC d{};
        t->GetLevelDesc(0, &d);
        return d;
    }
};

}  // namespace

TEST_F(D3dx9Tex, CreateTextureFillsInDefaultsAndCutsLevelsToTheChain) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(D3DXCreateTexture(device, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                &t),
              D3D_OK);
    EXPECT_EQ(Top(t).Width, 256u);
    EXPECT_EQ(Top(t).Height, 256u);
    EXPECT_EQ(Top(t).Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(t->GetLevelCount(), 9u);
    t->Release();

    struct Row {
        UINT w, h, levels, expectedLevels;
    };
    const Row rows[] = {{0, 0, 0, 1}, {64, 63, 9, 7}, {284, 137, 9, 9}, {0, 0, 20, 1}, {64, 64, 1, 1}};
    for (const Row& r : rows) {
        ASSERT_EQ(D3DXCreateTexture(device, r.w, r.h, r.levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
        EXPECT_EQ(t->GetLevelCount(), r.expectedLevels) << r.w << "x" << r.h << " asked " << r.levels;
        t->Release();
    }

    D3DCAPS9 caps;
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    if (!(caps.TextureCaps & D3DPTEXTURECAPS_POW2)) {
        ASSERT_EQ(D3DXCreateTexture(device, D3DX_DEFAULT, 63, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
        EXPECT_EQ(Top(t).Width, 63u);
        EXPECT_EQ(Top(t).Height, 63u);
        t->Release();
    }
    UINT w = 2, h = 2, levels = 1;
    D3DFORMAT format = D3DFMT_DXT1;
    ASSERT_EQ(D3DXCheckTextureRequirements(device, &w, &h, &levels, 0, &format, D3DPOOL_MANAGED), D3D_OK);
    if (format == D3DFMT_DXT1) {
        EXPECT_EQ(w, 4u);
        EXPECT_EQ(h, 4u);
    }
    EXPECT_EQ(D3DXCreateTexture(nullptr, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTexture(device, 4, 4, 1, D3DUSAGE_WRITEONLY, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
              D3DERR_INVALIDCALL);
}

TEST_F(D3dx9Tex, ALockHandsOutThePitchAndTheRectanglesFirstTexel) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(128, 128, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    D3DLOCKED_RECT whole, part;
    ASSERT_EQ(t->LockRect(0, &whole, nullptr, 0), D3D_OK);
    EXPECT_EQ(whole.Pitch, 512);
    ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    const RECT r{60, 60, 68, 68};
    ASSERT_EQ(t->LockRect(0, &part, &r, 0), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(part.pBits), static_cast<uint8_t*>(whole.pBits) + 60 * whole.Pitch + 60 * 4);
    const DWORD texel = 0x11223344;
    memcpy(part.pBits, &texel, 4);
    ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    EXPECT_EQ(TexelAt(t, 0, 60, 60), texel);
    D3DLOCKED_RECT again;
    ASSERT_EQ(t->LockRect(0, &again, nullptr, 0), D3D_OK);
    EXPECT_EQ(t->LockRect(0, &part, nullptr, 0), D3DERR_INVALIDCALL);
    t->UnlockRect(0);
    t->Release();
}

TEST_F(D3dx9Tex, BoxFilteringAveragesEachBlockIntoTheLevelBelow) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 3, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    // Each 2x2 block of the top level is one colour, so every filter agrees on level 1.
    const DWORD blocks[2][2] = {{0xFF204060, 0x80FF0000}, {0x00000000, 0xFFFFFFFF}};
    D3DLOCKED_RECT l;
    ASSERT_EQ(t->LockRect(0, &l, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x)
            memcpy(static_cast<uint8_t*>(l.pBits) + y * l.Pitch + x * 4, &blocks[y / 2][x / 2], 4);
    t->UnlockRect(0);
    ASSERT_EQ(D3DXFilterTexture(t, nullptr, 0, D3DX_FILTER_BOX), D3D_OK);
    for (UINT y = 0; y < 2; ++y)
        for (UINT x = 0; x < 2; ++x) EXPECT_EQ(TexelAt(t, 1, x, y), blocks[y][x]) << x << "," << y;
    // (Below that the libraries part: the box filter averages 2x2 texels, as documented,
    // where Wine's D3DX takes one; the reference suite checks the averages.)
    EXPECT_EQ(D3DXFilterTexture(t, nullptr, 3, D3DX_FILTER_BOX), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXFilterTexture(t, nullptr, 0, D3DX_FILTER_BOX + 1), D3DERR_INVALIDCALL);
    t->Release();
}

TEST_F(D3dx9Tex, TheNormalsOfARampLeanAgainstItsRise) {
    IDirect3DTexture9* heights = nullptr;
    IDirect3DTexture9* normals = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &heights, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateTexture(8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &normals, nullptr), D3D_OK);
    D3DLOCKED_RECT l;
    ASSERT_EQ(heights->LockRect(0, &l, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < 4; ++y) {
        for (UINT x = 0; x < 8; ++x) {
            const DWORD v = 0xFF000000u | (x * 32) << 16;
            memcpy(static_cast<uint8_t*>(l.pBits) + y * l.Pitch + x * 4, &v, 4);
        }
    }
    heights->UnlockRect(0);
    // A texel no normal map can hold (a zero vector), to tell a map made from none made.
    ASSERT_EQ(normals->LockRect(0, &l, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < 4; ++y) memset(static_cast<uint8_t*>(l.pBits) + y * l.Pitch, 0, 32);
    normals->UnlockRect(0);
    const HRESULT hr = D3DXComputeNormalMap(normals, heights, nullptr, 0, D3DX_CHANNEL_RED, 255.0f / 32.0f);
    if (hr == E_NOTIMPL) {  // Wine's library has none
        normals->Release();
        heights->Release();
        GTEST_SKIP() << "this D3DX has no normal maps";
    }
    ASSERT_EQ(hr, D3D_OK);
    if (TexelAt(normals, 0, 3, 1) == 0) {
        normals->Release();
        heights->Release();
        GTEST_SKIP() << "this D3DX answers D3D_OK without computing normal maps";
    }
    // Inside the ramp the slope is one: the normal (-1, 0, 1) / sqrt(2), biased to bytes.
    const DWORD inside = TexelAt(normals, 0, 3, 1);
    EXPECT_NEAR(int((inside >> 16) & 0xFF), 37, 1);
    EXPECT_NEAR(int((inside >> 8) & 0xFF), 128, 1);
    EXPECT_NEAR(int(inside & 0xFF), 218, 1);
    normals->Release();
    heights->Release();
}
