// The D3DX file functions on the reference device, with files the platform's image library
// writes: sizes and levels taken from the file (rounded to powers of two or kept), the
// format chosen with and without a colour key, the colour key itself, compressed blocks
// kept, cube maps, video-memory textures filled through a copy, damaged files, image
// descriptions, surfaces loaded from files, and textures saved and read back.
#include "Platform/Image.h"
#include "Platform/ImageFormat.h"

#include <PlatformTestD3d9.h>
#include <d3d9.h>
#include <d3dx9.h>

#include <gtest/gtest.h>

#include "../TextureTexels.h"
#include "PlatformD3d9Support.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using platformd3d9::kWindow;
using platformd3d9::Windowed;

class D3dx9Files : public platformd3d9::ReferenceD3d9 {
protected:
    void SetUp() override {
        ReferenceD3d9::SetUp();
        Open();
    }
};

// A one-level image whose texel (x, y) is Pattern(x, y).
DWORD Pattern(UINT x, UINT y) { return 0xFF000000u | (x * 40) << 16 | (y * 30) << 8 | 0x11; }

PlatformImage::Image Picture(UINT w, UINT h) {
    PlatformImage::Image image = PlatformImage::MakeArgbImage(w, h);
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x) image.surfaces[0].Argb()[y * w + x] = Pattern(x, y);
    return image;
}

std::vector<uint8_t> File(const PlatformImage::Image& image, PlatformImage::FileFormat format) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(PlatformImage::Encode(image, format, &bytes, &error)) << error;
    return bytes;
}

HRESULT Load(IDirect3DDevice9* device, const std::vector<uint8_t>& file, UINT w, UINT h, UINT levels,
             D3DFORMAT format, D3DCOLOR key, D3DXIMAGE_INFO* info, IDirect3DTexture9** out,
             D3DPOOL pool = D3DPOOL_MANAGED, DWORD filter = D3DX_DEFAULT) {
    return D3DXCreateTextureFromFileInMemoryEx(device, file.data(), UINT(file.size()), w, h, levels, 0, format, pool,
                                               filter, D3DX_DEFAULT, key, info, nullptr, out);
}

TEST_F(D3dx9Files, SizesFromTheFileAreRoundedUpToPowersOfTwo) {
    const std::vector<uint8_t> tga = File(Picture(3, 5), PlatformImage::kFileTga);
    IDirect3DTexture9* t = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(Load(device, tga, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, D3DFMT_UNKNOWN, 0, &info, &t), D3D_OK);
    D3DSURFACE_DESC d;
    t->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Width, 4u);
    EXPECT_EQ(d.Height, 8u);
    EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(t->GetLevelCount(), 4u);
    EXPECT_EQ(info.Width, 3u);
    EXPECT_EQ(info.Height, 5u);
    EXPECT_EQ(info.Depth, 1u);
    EXPECT_EQ(info.MipLevels, 1u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_TGA);
    t->Release();

    // Kept as they are, the texels come across exactly.
    ASSERT_EQ(Load(device, tga, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, D3DFMT_UNKNOWN, 0, nullptr, &t), D3D_OK);
    t->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Width, 3u);
    EXPECT_EQ(d.Height, 5u);
    for (UINT y = 0; y < 5; ++y)
        for (UINT x = 0; x < 3; ++x) EXPECT_EQ(TexelAt(t, 0, x, y), Pattern(x, y)) << x << "," << y;
    t->Release();
}

TEST_F(D3dx9Files, AColourKeyMakesItsTexelsTransparentBlack) {
    const std::vector<uint8_t> bmp = File(Picture(4, 4), PlatformImage::kFileBmp);
    IDirect3DTexture9* t = nullptr;
    D3DXIMAGE_INFO info{};
    // Without a key an opaque picture needs no alpha; with one it gets some.
    ASSERT_EQ(Load(device, bmp, D3DX_DEFAULT, D3DX_DEFAULT, 1, D3DFMT_UNKNOWN, 0, &info, &t), D3D_OK);
    D3DSURFACE_DESC d;
    t->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_BMP);
    t->Release();
    ASSERT_EQ(Load(device, bmp, D3DX_DEFAULT, D3DX_DEFAULT, 1, D3DFMT_UNKNOWN, Pattern(2, 1), nullptr, &t), D3D_OK);
    t->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(TexelAt(t, 0, 2, 1), 0x00000000u);
    EXPECT_EQ(TexelAt(t, 0, 1, 2), Pattern(1, 2));
    t->Release();
}

TEST_F(D3dx9Files, CompressedBlocksGoInAsTheyAre) {
    PlatformImage::Image image = Picture(8, 8);
    std::string error;
    ASSERT_TRUE(PlatformImage::CompressImage(&image, PlatformImage::Format::kDxt1, &error)) << error;
    const std::vector<uint8_t> dds = File(image, PlatformImage::kFileDds);
    IDirect3DTexture9* t = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(Load(device, dds, D3DX_DEFAULT, D3DX_DEFAULT, 1, D3DFMT_UNKNOWN, 0, &info, &t), D3D_OK);
    EXPECT_EQ(info.Format, D3DFMT_DXT1);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DDS);
    D3DLOCKED_RECT l;
    ASSERT_EQ(t->LockRect(0, &l, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(memcmp(l.pBits, image.surfaces[0].bytes.data(), 32), 0);
    t->UnlockRect(0);
    t->Release();
    // A chain the file lacks is made from its top level and coded again.
    ASSERT_EQ(Load(device, dds, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, D3DFMT_UNKNOWN, 0, nullptr, &t), D3D_OK);
    EXPECT_EQ(t->GetLevelCount(), 4u);
    D3DSURFACE_DESC d;
    t->GetLevelDesc(3, &d);
    EXPECT_EQ(d.Format, D3DFMT_DXT1);
    t->Release();
}

TEST_F(D3dx9Files, CubeMapsComeFromCubeFilesOnly) {
    PlatformImage::Image cube = PlatformImage::MakeArgbImage(4, 4);
    cube.faces = 6;
    cube.info.resourceType = PlatformImage::kResourceCubeTexture;
    cube.surfaces.resize(6);
    for (UINT face = 0; face < 6; ++face) cube.surfaces[face].ResetArgb(4, 4, 0xFF000000u | (face + 1) * 0x10);
    const std::vector<uint8_t> dds = File(cube, PlatformImage::kFileDds);
    IDirect3DCubeTexture9* c = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXCreateCubeTextureFromFileInMemoryEx(device, dds.data(), UINT(dds.size()), D3DX_DEFAULT, 1, 0,
                                                      D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                      &info, nullptr, &c),
              D3D_OK);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_CUBETEXTURE);
    for (UINT face = 0; face < 6; ++face) {
        D3DLOCKED_RECT l;
        ASSERT_EQ(c->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &l, nullptr, D3DLOCK_READONLY), D3D_OK);
        DWORD v;
        memcpy(&v, l.pBits, 4);
        EXPECT_EQ(v, 0xFF000000u | (face + 1) * 0x10) << face;
        c->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
    }
    c->Release();
    const std::vector<uint8_t> flat = File(Picture(4, 4), PlatformImage::kFileDds);
    EXPECT_EQ(D3DXCreateCubeTextureFromFileInMemoryEx(device, flat.data(), UINT(flat.size()), D3DX_DEFAULT, 1, 0,
                                                      D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                      nullptr, nullptr, &c),
              E_FAIL);
}

TEST_F(D3dx9Files, AVideoMemoryTextureIsFilledThroughACopy) {
    const std::vector<uint8_t> png = File(Picture(8, 8), PlatformImage::kFilePng);
    PlatformTest_D3d9ClearCallLog();
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(Load(device, png, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, D3DFMT_UNKNOWN, 0, nullptr, &t,
                   D3DPOOL_DEFAULT),
              D3D_OK);
    bool updated = false;
    for (const std::string& line : PlatformTest_D3d9CallLog())
        if (line.rfind("UpdateTexture(", 0) == 0) updated = !line.ends_with("failed");
    EXPECT_TRUE(updated);
    t->Release();
}

TEST_F(D3dx9Files, DamagedFilesAreInvalidData) {
    std::vector<uint8_t> tga = File(Picture(16, 16), PlatformImage::kFileTga);
    tga.resize(tga.size() / 2);
    IDirect3DTexture9* t = reinterpret_cast<IDirect3DTexture9*>(1);
    EXPECT_EQ(Load(device, tga, D3DX_DEFAULT, D3DX_DEFAULT, 1, D3DFMT_UNKNOWN, 0, nullptr, &t), D3DXERR_INVALIDDATA);
    EXPECT_EQ(t, nullptr);
    const uint8_t junk[32] = {'n', 'o', 't'};
    D3DXIMAGE_INFO info;
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(junk, sizeof junk, &info), D3DXERR_INVALIDDATA);
    const std::vector<uint8_t> bmp = File(Picture(6, 2), PlatformImage::kFileBmp);
    ASSERT_EQ(D3DXGetImageInfoFromFileInMemory(bmp.data(), UINT(bmp.size()), &info), D3D_OK);
    EXPECT_EQ(info.Width, 6u);
    EXPECT_EQ(info.Height, 2u);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_BMP);
}

TEST_F(D3dx9Files, ASurfaceLoadsFromAFileInAnyFormat) {
    const std::vector<uint8_t> tga = File(Picture(4, 2), PlatformImage::kFileTga);
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(4, 2, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, &s, nullptr), D3D_OK);
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXLoadSurfaceFromFileInMemory(s, nullptr, nullptr, tga.data(), UINT(tga.size()), nullptr,
                                              D3DX_FILTER_NONE, 0, &info),
              D3D_OK);
    EXPECT_EQ(info.Width, 4u);
    D3DLOCKED_RECT l;
    ASSERT_EQ(s->LockRect(&l, nullptr, D3DLOCK_READONLY), D3D_OK);
    uint16_t v;
    memcpy(&v, static_cast<uint8_t*>(l.pBits) + l.Pitch + 3 * 2, 2);
    // Pattern(3, 1) = 0xFF781E11: red 120 -> 15, green 30 -> 7, blue 17 -> 2.
    EXPECT_EQ(v, (15 << 11) | (7 << 5) | 2);
    s->UnlockRect();
    s->Release();
}

TEST_F(D3dx9Files, ASavedTextureReadsBackTheSame) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    D3DLOCKED_RECT l;
    ASSERT_EQ(t->LockRect(0, &l, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x) {
            const DWORD v = Pattern(x, y);
            memcpy(static_cast<uint8_t*>(l.pBits) + y * l.Pitch + x * 4, &v, 4);
        }
    t->UnlockRect(0);
    ASSERT_EQ(D3DXFilterTexture(t, nullptr, 0, D3DX_FILTER_BOX), D3D_OK);
    char path[] = "/tmp/corvane-saved-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_EQ(D3DXSaveTextureToFileA(path, D3DXIFF_DDS, t, nullptr), D3D_OK);
    IDirect3DTexture9* back = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device, path, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_FROM_FILE, 0,
                                           D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0,
                                           &info, nullptr, &back),
              D3D_OK);
    unlink(path);
    EXPECT_EQ(info.MipLevels, 3u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
    ASSERT_EQ(back->GetLevelCount(), 3u);
    for (UINT level = 0; level < 3; ++level)
        EXPECT_EQ(TexelAt(back, level, 0, 0), TexelAt(t, level, 0, 0)) << level;
    back->Release();
    t->Release();
}

TEST_F(D3dx9Files, TexelsAreCodedIntoBlocksAndDecodedOutOfThem) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    IDirect3DSurface9* blocks = nullptr;
    t->GetSurfaceLevel(0, &blocks);
    // Red on the left block, blue on the right: both exact in five-six-five colour.
    DWORD texels[4][8];
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 8; ++x) texels[y][x] = x < 4 ? 0xFFFF0000u : 0xFF0000FFu;
    const RECT all{0, 0, 8, 4};
    ASSERT_EQ(D3DXLoadSurfaceFromMemory(blocks, nullptr, nullptr, texels, D3DFMT_A8R8G8B8, 32, nullptr, &all,
                                        D3DX_FILTER_NONE, 0),
              D3D_OK);
    IDirect3DSurface9* plain = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(8, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &plain, nullptr), D3D_OK);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(plain, nullptr, nullptr, blocks, nullptr, nullptr, D3DX_FILTER_NONE, 0),
              D3D_OK);
    D3DLOCKED_RECT l;
    ASSERT_EQ(plain->LockRect(&l, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 8; ++x) {
            DWORD v;
            memcpy(&v, static_cast<uint8_t*>(l.pBits) + y * l.Pitch + x * 4, 4);
            EXPECT_EQ(v, texels[y][x]) << x << "," << y;
        }
    plain->UnlockRect();
    // A rectangle that cuts a block cannot be coded.
    const RECT cut{2, 0, 6, 4};
    EXPECT_EQ(D3DXLoadSurfaceFromMemory(blocks, nullptr, &cut, texels, D3DFMT_A8R8G8B8, 32, nullptr, &cut,
                                        D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    plain->Release();
    blocks->Release();
    t->Release();
}

}  // namespace
