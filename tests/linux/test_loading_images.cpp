// The loading screen's pictures as the saver carries them: each rendered file must be
// embedded in the built executable, and must load as a texture of the size and kind the
// loading screen expects. The corners are transparent away from their own corner, so the
// background shows around them.
#include <PlatformTestD3d9.h>
#include <d3d9.h>
#include <d3dx9.h>

#include <gtest/gtest.h>

#include "PlatformD3d9Support.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#if defined(CORVANE_EXECUTABLE) && defined(CORVANE_IMAGE_DIR)

namespace {

std::vector<unsigned char> ReadAll(const std::string& path) {
    std::vector<unsigned char> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    unsigned char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return bytes;
}

struct LoadingImage {
    int resource;
    const char* file;
    UINT width, height;
    D3DXIMAGE_FILEFORMAT kind;
    // The corner an ornament sits in (0: none): 1 left up, 2 left down, 3 right up, 4 right down.
    int corner;
};

const LoadingImage kImages[] = {
    {162, "loading.jpg", 1024, 768, D3DXIFF_JPG, 0}, {150, "corner-ld.png", 128, 128, D3DXIFF_PNG, 2},
    {151, "corner-lu.png", 128, 128, D3DXIFF_PNG, 1}, {152, "corner-rd.png", 128, 128, D3DXIFF_PNG, 4},
    {153, "corner-ru.png", 128, 128, D3DXIFF_PNG, 3},  {154, "badge.png", 64, 64, D3DXIFF_PNG, 0},
    {155, "badge-small.png", 32, 32, D3DXIFF_PNG, 0},
};

class LoadingImages : public platformd3d9::ReferenceD3d9 {};

}  // namespace

TEST_F(LoadingImages, TheExecutableCarriesEveryPicture) {
    const std::vector<unsigned char> program = ReadAll(CORVANE_EXECUTABLE);
    ASSERT_FALSE(program.empty());
    for (const LoadingImage& image : kImages) {
        const std::vector<unsigned char> bytes = ReadAll(std::string(CORVANE_IMAGE_DIR) + "/" + image.file);
        ASSERT_GT(bytes.size(), 64u) << image.file;
        const auto at = std::search(program.begin(), program.end(),
                                    std::boyer_moore_searcher(bytes.begin(), bytes.end()));
        EXPECT_NE(at, program.end()) << image.file << " (resource " << image.resource << ")";
    }
}

TEST_F(LoadingImages, EachLoadsAsATextureOfItsSize) {
    Open();
    for (const LoadingImage& image : kImages) {
        SCOPED_TRACE(image.file);
        const std::vector<unsigned char> bytes = ReadAll(std::string(CORVANE_IMAGE_DIR) + "/" + image.file);
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(D3DXGetImageInfoFromFileInMemory(bytes.data(), static_cast<UINT>(bytes.size()), &info), D3D_OK);
        EXPECT_EQ(info.Width, image.width);
        EXPECT_EQ(info.Height, image.height);
        EXPECT_EQ(info.ImageFileFormat, image.kind);
        EXPECT_EQ(info.Format, image.kind == D3DXIFF_PNG ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8);

        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, bytes.data(), static_cast<UINT>(bytes.size()),
                                                      D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
                                                      D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_FILTER_NONE,
                                                      D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
                  D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        const auto texel = [&](UINT x, UINT y) {
            return reinterpret_cast<const DWORD*>(static_cast<const unsigned char*>(locked.pBits) + y * locked.Pitch)[x];
        };
        const UINT right = image.width - 1, bottom = image.height - 1;
        if (image.corner) {
            const bool isRight = image.corner >= 3, isDown = image.corner % 2 == 0;
            const UINT ax = isRight ? right : 0, ay = isDown ? bottom : 0;
            EXPECT_EQ(texel(ax, ay) >> 24, 0xFFu);                         // its own corner is opaque
            EXPECT_EQ(texel(right - ax, bottom - ay) >> 24, 0u);           // the opposite one is clear
            EXPECT_EQ(texel(ax, bottom - ay) >> 24, 0u);                   // and so are the far ends
            EXPECT_EQ(texel(right - ax, ay) >> 24, 0u);                    // of its two edges
        } else {
            EXPECT_EQ(texel(0, 0) >> 24, 0xFFu);
            EXPECT_EQ(texel(right, bottom) >> 24, 0xFFu);
            // A dusk sky over sand: the top is darker and bluer than the bottom row is red.
            EXPECT_GT(texel(image.width / 2, 0) & 0xFF, (texel(image.width / 2, 0) >> 16) & 0xFF);
        }
        texture->UnlockRect(0);
        texture->Release();
    }
}

#endif
