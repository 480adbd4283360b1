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

TEST_F(D3dx9Files, TexelsBeyondAnUnfilteredImageAreTransparentBlack) {
    const std::vector<uint8_t> tga = File(Picture(3, 3), PlatformImage::kFileTga);
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(Load(device, tga, D3DX_DEFAULT, D3DX_DEFAULT, 1, D3DFMT_UNKNOWN, 0, nullptr, &t, D3DPOOL_MANAGED,
                   D3DX_FILTER_NONE),
              D3D_OK);
    D3DSURFACE_DESC d;
    t->GetLevelDesc(0, &d);
    ASSERT_EQ(d.Width, 4u);
    ASSERT_EQ(d.Height, 4u);
    EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(TexelAt(t, 0, 2, 2), Pattern(2, 2));
    for (UINT i = 0; i < 4; ++i) {
        EXPECT_EQ(TexelAt(t, 0, 3, i), 0x00000000u) << "column 3, row " << i;
        EXPECT_EQ(TexelAt(t, 0, i, 3), 0x00000000u) << "row 3, column " << i;
    }
    t->Release();
}

// A 2x2 DDS file put together field by field: its pixel-format description and the texels
// of its one level as they lie in the file.
struct DdsTexels {
    uint32_t pfFlags, fourCC, bits, r, g, b, a;
    std::vector<uint8_t> texels;

    std::vector<uint8_t> File() const {
        std::vector<uint8_t> out;
        auto u32 = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        };
        const uint32_t flags = 0x1007;  // DDSD_CAPS, HEIGHT, WIDTH, PIXELFORMAT
        for (uint32_t v : {0x20534444u, 124u, flags, 2u, 2u, 0u, 0u, 1u}) u32(v);
        for (int i = 0; i < 11; ++i) u32(0);
        for (uint32_t v : {32u, pfFlags, fourCC, bits, r, g, b, a, 0x1000u /* DDSCAPS_TEXTURE */, 0u, 0u, 0u, 0u})
            u32(v);
        out.insert(out.end(), texels.begin(), texels.end());
        return out;
    }
};

std::vector<uint8_t> Halves(std::initializer_list<uint16_t> halves) {
    std::vector<uint8_t> out;
    for (uint16_t h : halves) out.insert(out.end(), {static_cast<uint8_t>(h), static_cast<uint8_t>(h >> 8)});
    return out;
}

std::vector<uint8_t> Floats(std::initializer_list<float> floats) {
    std::vector<uint8_t> out(floats.size() * 4);
    memcpy(out.data(), floats.begin(), out.size());
    return out;
}

// The bytes of a level's rows, without what a pitch adds beyond them.
std::vector<uint8_t> LevelRows(IDirect3DTexture9* t, UINT level, UINT rowBytes) {
    D3DSURFACE_DESC d;
    D3DLOCKED_RECT l;
    if (FAILED(t->GetLevelDesc(level, &d)) || FAILED(t->LockRect(level, &l, nullptr, D3DLOCK_READONLY))) return {};
    std::vector<uint8_t> out;
    for (UINT y = 0; y < d.Height; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(l.pBits) + size_t(y) * l.Pitch;
        out.insert(out.end(), row, row + rowBytes);
    }
    t->UnlockRect(level);
    return out;
}

TEST_F(D3dx9Files, WideDdsTexelsLoadInTheirOwnFormatAsTheFileHoldsThem) {
    constexpr uint32_t kRgbAlpha = 0x41, kLuminance = 0x20000, kFourCC = 0x4;  // DDPF_ flags
    struct Row {
        D3DFORMAT format;
        D3DFORMAT asked;
        DdsTexels dds;
    };
    const Row rows[] = {
        {D3DFMT_L16, D3DFMT_L16, {kLuminance, 0, 16, 0xFFFF, 0, 0, 0, Halves({0x0193, 0xFFFF, 0x0000, 0x8001})}},
        // Red's mask in the top bits names the format whose red is in the bottom ones.
        {D3DFMT_A2B10G10R10, D3DFMT_UNKNOWN,
         {kRgbAlpha, 0, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000,
          {0xFF, 0x03, 0, 0xC0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0x4C}}},
        {D3DFMT_R16F, D3DFMT_UNKNOWN, {kFourCC, 111, 0, 0, 0, 0, 0, Halves({0x3C00, 0xC000, 0x63D0, 0x3800})}},
        {D3DFMT_G16R16F, D3DFMT_UNKNOWN,
         {kFourCC, 112, 0, 0, 0, 0, 0, Halves({0x3C00, 0xC000, 0x63D0, 0x3800, 0x0001, 0x7BFF, 0x8000, 0xBC00})}},
        {D3DFMT_A16B16G16R16F, D3DFMT_A16B16G16R16F,
         {kFourCC, 113, 0, 0, 0, 0, 0,
          Halves({0x3C00, 0xC000, 0x63D0, 0x3800, 0x0001, 0x7BFF, 0x8000, 0xBC00, 1, 2, 3, 4, 5, 6, 7, 8})}},
        {D3DFMT_R32F, D3DFMT_UNKNOWN, {kFourCC, 114, 0, 0, 0, 0, 0, Floats({1.0f, 2.0f, 3.0f, 6.0f})}},
        {D3DFMT_G32R32F, D3DFMT_UNKNOWN,
         {kFourCC, 115, 0, 0, 0, 0, 0, Floats({1.5f, -3.0f, 100.0f, 0.25f, 7.0f, -0.5f, 1e6f, 2.0f})}},
        {D3DFMT_A32B32G32R32F, D3DFMT_A32B32G32R32F,
         {kFourCC, 116, 0, 0, 0, 0, 0,
          Floats({1.5f, -3.0f, 100.0f, 0.25f, 7.0f, -0.5f, 1e6f, 2.0f, 0.0f, 1.0f, -1.0f, 4.0f, 8.0f, 16.0f, 32.0f,
                 64.0f})}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "format " << row.format);
        const std::vector<uint8_t> file = row.dds.File();
        IDirect3DTexture9* t = nullptr;
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(Load(device, file, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, row.asked, 0, &info, &t), D3D_OK);
        EXPECT_EQ(info.Format, row.format);
        D3DSURFACE_DESC d;
        t->GetLevelDesc(0, &d);
        EXPECT_EQ(d.Format, row.format);
        EXPECT_EQ(t->GetLevelCount(), 2u);
        EXPECT_EQ(LevelRows(t, 0, UINT(row.dds.texels.size() / 2)), row.dds.texels);
        t->Release();
    }

    // The level below comes from the texels' own values, not from eight bits of them.
    const std::vector<uint8_t> r32f = rows[5].dds.File();
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(Load(device, r32f, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, D3DFMT_UNKNOWN, 0, nullptr, &t), D3D_OK);
    EXPECT_EQ(LevelRows(t, 1, 4), Floats({3.0f}));
    t->Release();

    // Read into colours, the ten-bit format's bottom bits are red.
    const std::vector<uint8_t> tenBits = rows[1].dds.File();
    ASSERT_EQ(Load(device, tenBits, D3DX_DEFAULT, D3DX_DEFAULT, 1, D3DFMT_A8R8G8B8, 0, nullptr, &t), D3D_OK);
    EXPECT_EQ(TexelAt(t, 0, 0, 0), 0xFFFF0000u);
    t->Release();

    // Floating-point texels are not squeezed into a format of another kind.
    t = reinterpret_cast<IDirect3DTexture9*>(1);
    EXPECT_EQ(Load(device, rows[2].dds.File(), D3DX_DEFAULT, D3DX_DEFAULT, 1, D3DFMT_A8R8G8B8, 0, nullptr, &t),
              E_NOTIMPL);
    EXPECT_EQ(t, nullptr);
}

}  // namespace
