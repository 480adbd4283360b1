// The product scene's media inventory: every name the scene and its configuration text ask
// the packed media archive for opens there, spelt as the scene spells it ("Media/" and
// forward slashes, the archive's members matched without case), and reads as what the
// scene takes it for. A missing name fails with that name; nothing is passed over.
#include "Core/MemoryBuffer.h"
#include "Core/Path.h"
#include "Core/Stream.h"

#include <d3dx9tex.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#ifdef CORVANE_MEDIA_ARCHIVE

namespace {

// The archive, read once for the whole run.
MemoryBuffer* Archive() {
    static MemoryBuffer archive;
    static const bool loaded = archive.Load(patht(CORVANE_MEDIA_ARCHIVE));
    return loaded ? &archive : nullptr;
}

patht InArchive(const std::string& name) {
    patht path(("Media/" + name).c_str());
    path.flags = kPathArchive;
    path.archive = Archive();
    return path;
}

// The member's bytes, read as the engine opens a file; empty when it is absent.
std::vector<unsigned char> ReadMember(const std::string& name) {
    std::vector<unsigned char> bytes;
    std::unique_ptr<Stream> stream(InArchive(name).Open(kStreamRead));
    if (!stream) return bytes;
    const i32 size = stream->Size();
    if (size > 0) {
        bytes.resize(static_cast<size_t>(size));
        if (stream->Read(bytes.data(), static_cast<u32>(size)) != static_cast<u32>(size)) bytes.clear();
    }
    stream->Close();
    return bytes;
}

struct Texture {
    const char* name;
    UINT size;
    D3DXIMAGE_FILEFORMAT kind;
    bool alpha;
};

const Texture kTextures[] = {
    {"Models/All/sand.jpg", 512, D3DXIFF_JPG, false},       {"Models/All/sand_h.png", 256, D3DXIFF_PNG, false},
    {"Models/All/stone.jpg", 512, D3DXIFF_JPG, false},      {"Models/All/gold.jpg", 256, D3DXIFF_JPG, false},
    {"Models/All/bark.jpg", 256, D3DXIFF_JPG, false},       {"Models/All/leaves.png", 256, D3DXIFF_PNG, true},
    {"Models/All/lightmap.jpg", 256, D3DXIFF_JPG, false},   {"Models/Flares/flare1.png", 128, D3DXIFF_PNG, true},
    {"Models/Flares/flare2.png", 128, D3DXIFF_PNG, true},   {"Models/Flares/flare3.png", 128, D3DXIFF_PNG, true},
    {"Models/Flares/flare4.png", 128, D3DXIFF_PNG, true},   {"Models/morn_day_sun.png", 256, D3DXIFF_PNG, true},
    {"Models/moon.png", 256, D3DXIFF_PNG, true},            {"Models/Moon.png", 256, D3DXIFF_PNG, true},
    {"displace.bmp", 256, D3DXIFF_BMP, false},
};

u32 Little32(const std::vector<unsigned char>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<u32>(b[at + 3]) << 24);
}

}  // namespace

TEST(DunmerrowMedia, TheArchiveLoads) { ASSERT_NE(Archive(), nullptr) << CORVANE_MEDIA_ARCHIVE; }

TEST(DunmerrowMedia, EveryTextureOpensWithItsSizeAndKind) {
    ASSERT_NE(Archive(), nullptr);
    for (const Texture& t : kTextures) {
        const std::vector<unsigned char> bytes = ReadMember(t.name);
        if (bytes.empty()) {
            ADD_FAILURE() << "missing: Media/" << t.name;
            continue;
        }
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(D3DXGetImageInfoFromFileInMemory(bytes.data(), static_cast<UINT>(bytes.size()), &info), D3D_OK)
            << t.name;
        EXPECT_EQ(info.Width, t.size) << t.name;
        EXPECT_EQ(info.Height, t.size) << t.name;
        EXPECT_EQ(info.ImageFileFormat, t.kind) << t.name;
        if (t.alpha) {
            EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8) << t.name;
        }
    }
}

TEST(DunmerrowMedia, TheMoonIsOneMemberUnderBothSpellings) {
    ASSERT_NE(Archive(), nullptr);
    const std::vector<unsigned char> lower = ReadMember("Models/moon.png");
    ASSERT_FALSE(lower.empty());
    EXPECT_EQ(ReadMember("Models/Moon.png"), lower);
    EXPECT_EQ(ReadMember("MODELS/MOON.PNG"), lower);
}

// The distortion reads displace.bmp as 24-bit pixels and repeats it over the screen: its
// opposite edges meet as smoothly as neighbouring columns and rows do.
TEST(DunmerrowMedia, TheDisplacementMapIsATiling24BitBitmap) {
    ASSERT_NE(Archive(), nullptr);
    const std::vector<unsigned char> b = ReadMember("displace.bmp");
    ASSERT_GE(b.size(), 54u);
    ASSERT_EQ(b[0], 'B');
    ASSERT_EQ(b[1], 'M');
    const u32 offset = Little32(b, 10), width = Little32(b, 18), height = Little32(b, 22);
    ASSERT_EQ(width, 256u);
    ASSERT_EQ(height, 256u);
    ASSERT_EQ(b[28] | (b[29] << 8), 24);
    ASSERT_EQ(Little32(b, 30), 0u);  // uncompressed
    const size_t stride = (width * 3 + 3) & ~3u;
    ASSERT_GE(b.size(), offset + stride * height);
    auto at = [&](u32 x, u32 y, u32 c) { return static_cast<int>(b[offset + y * stride + x * 3 + c]); };
    long inner = 0, seamX = 0, seamY = 0, spread = 0;
    for (u32 i = 0; i < 256; ++i)
        for (u32 c = 0; c < 3; ++c) {
            inner += std::abs(at(100, i, c) - at(101, i, c)) + std::abs(at(i, 100, c) - at(i, 101, c));
            seamX += std::abs(at(255, i, c) - at(0, i, c));
            seamY += std::abs(at(i, 255, c) - at(i, 0, c));
            spread += std::abs(at(i, 50, c) - at((i + 128) % 256, 200, c));
        }
    // Neighbours differ little, far texels a lot; the seams look like neighbours.
    EXPECT_LT(inner * 4, spread);
    EXPECT_LT(seamX, inner * 2 + 256);
    EXPECT_LT(seamY, inner * 2 + 256);
}

#else

TEST(DunmerrowMedia, TheArchiveLoads) { GTEST_SKIP() << "this build packs no media archive"; }

#endif  // CORVANE_MEDIA_ARCHIVE
