// Textures on the platform's real Direct3D 9 and D3DX: creation from image bytes, saved
// levels written back after a device reset, both kinds of sub-texture across a reset with
// the parent's reference count unchanged, deferred creation, normal maps of a height ramp,
// DDS files written and read back, mip filtering and textures of more than 14 levels.
#include "Core/ProgramObjects.h"
#include "D3d/Texture.h"
#include "D3d/TextureManager.h"
#include "TextureTestSupport.h"
#include "TextureTexels.h"

#include <gtest/gtest.h>

using namespace texsupport;

namespace {

// A 16x16 image whose red channel rises by 16 per column.
std::vector<unsigned char> RedRamp() {
    return MakeBmp(16, 16, [](unsigned x, unsigned) { return 0xFF000000u | ((x * 16u) << 16); });
}

bool CreateRamp(Texture& t, u32 dataKind, D3DFORMAT format = D3DFMT_A8R8G8B8) {
    static const std::vector<unsigned char> bytes = RedRamp();
    return t.CreateFromMemory(bytes.data(), static_cast<u32>(bytes.size()), dataKind, 0, 0, 1, 0, format,
                              D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0, false, true);
}

}  // namespace

TEST(Texture, MadeFromACopyOfImageBytes) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    Texture t;
    {
        std::vector<unsigned char> bytes = RedRamp();
        ASSERT_TRUE(t.CreateFromMemory(bytes.data(), static_cast<u32>(bytes.size()), TEX_FROM_MEMFILE, 0, 0, 1, 0,
                                       D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0,
                                       false, true));
        bytes.assign(bytes.size(), 0);  // the texture keeps its own copy
    }
    EXPECT_EQ(t.GetKind(), static_cast<u32>(TEX_FROM_MEMFILE));
    EXPECT_EQ(t.GetSize().x, 16);
    EXPECT_EQ(t.GetFormat(), D3DFMT_A8R8G8B8);
    EXPECT_EQ(t.GetLevelCount(), 1u);
    EXPECT_EQ(t.GetImageInfo().Width, 16u);
    const TexCoordRect r = t.GetTexCoordRect();
    EXPECT_FLOAT_EQ(r.uMax, 1.0f);
    std::vector<unsigned> pixels = ReadPixels(t.GetD3DTexture(), 0);
    ASSERT_EQ(pixels.size(), 256u);
    EXPECT_EQ(pixels[5] & 0x00FFFFFFu, 0x500000u);
    // After a reset the copy makes the same texture again.
    ASSERT_TRUE(app.ResetDevice());
    pixels = ReadPixels(t.GetD3DTexture(), 0);
    ASSERT_EQ(pixels.size(), 256u);
    EXPECT_EQ(pixels[7] & 0x00FFFFFFu, 0x700000u);
    // A data kind of neither copy nor borrow is refused.
    EXPECT_FALSE(t.CreateFromMemory(pixels.data(), 16, 2, 0, 0, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, 5, 5, 0,
                                    false, true));
    EXPECT_EQ(t.GetD3DTexture(), nullptr);
}

TEST(Texture, SavedLevelsComeBackAfterAReset) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    Texture t;
    ASSERT_TRUE(t.CreateEmpty(TEX_EMPTY, 8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, false, true));
    ASSERT_TRUE(FillPixels(t.GetD3DTexture(), 0, [](unsigned x, unsigned y) { return 0xFF000000u | (x << 8) | y; }));
    ASSERT_TRUE(FillPixels(t.GetD3DTexture(), 1, [](unsigned, unsigned) { return 0x12345678u; }));
    ASSERT_TRUE(t.SaveLevels());
    ASSERT_TRUE(app.ResetDevice());
    const std::vector<unsigned> level0 = ReadPixels(t.GetD3DTexture(), 0);
    ASSERT_EQ(level0.size(), 64u);
    EXPECT_EQ(level0[3 * 8 + 5], 0xFF000503u);
    const std::vector<unsigned> level1 = ReadPixels(t.GetD3DTexture(), 1);
    ASSERT_EQ(level1.size(), 16u);
    EXPECT_EQ(level1[15], 0x12345678u);
}

TEST(Texture, MoreThanFourteenLevelsSaveTheFirstFourteen) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    Texture t;
    if (!t.CreateEmpty(TEX_EMPTY, 16384, 1, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, false, true) ||
        t.GetLevelCount() <= Texture::kSavedLevels)
        GTEST_SKIP() << "the device makes no texture of 16384 texels";
    EXPECT_EQ(t.GetLevelCount(), 15u);
    for (u32 level = 0; level < t.GetLevelCount(); ++level)
        ASSERT_TRUE(FillPixels(t.GetD3DTexture(), level, [level](unsigned, unsigned) { return 0xFF000000u | level; }));
    EXPECT_TRUE(t.SaveLevels());
    ASSERT_TRUE(app.ResetDevice());
    EXPECT_EQ(ReadPixels(t.GetD3DTexture(), 13).at(0), 0xFF00000Du);
}

TEST(Texture, SubTexturesSurviveAResetWithoutTouchingTheParentsReferences) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    Texture* parent = new Texture;
    ASSERT_TRUE(CreateRamp(*parent, TEX_FROM_MEMFILE));
    TextureDesc inside;
    inside.flags = TEXDESC_PART_NAME | TEXDESC_PART_RECT;
    inside.partName = String("inside");
    inside.partRect = IntRect(4, 4, 12, 12);
    TextureDesc whole;
    whole.flags = TEXDESC_PART_NAME;
    whole.partName = String("whole");
    Texture* in = parent->CreatePart(inside);
    Texture* out = parent->CreatePart(whole);
    IDirect3DTexture9* before = parent->GetD3DTexture();
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(in->GetD3DTexture(), before);
    EXPECT_EQ(out->GetD3DTexture(), before);
    EXPECT_EQ(RefCount(before), 1u);  // sub-textures hold no reference
    EXPECT_FLOAT_EQ(in->GetTexCoordRect().uMin, 0.25f);

    // Invalidating a sub-texture never releases its parent's texture.
    EXPECT_TRUE(in->Invalidate());
    EXPECT_TRUE(out->Invalidate());
    EXPECT_EQ(RefCount(before), 1u);

    ASSERT_TRUE(app.ResetDevice());
    IDirect3DTexture9* after = parent->GetD3DTexture();
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(in->GetD3DTexture(), after);
    EXPECT_EQ(out->GetD3DTexture(), after);
    EXPECT_EQ(RefCount(after), 1u);
    // Clearing a sub-texture releases nothing of the parent's.
    in->Clear(true);
    EXPECT_EQ(RefCount(after), 1u);
    EXPECT_EQ(parent->FindSub(String("inside")), nullptr);
    delete in;
    delete parent;  // takes "whole" with it
}

TEST(Texture, ScriptSubTexturesAreRestoredByTheirParentAfterIt) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    ASSERT_TRUE(WriteFile("texeng_dot.bmp", MakeBmp(4, 4, [](unsigned, unsigned) { return 0xFF00FF00u; })));
    ASSERT_TRUE(WriteFile("texeng_own.bmp", MakeBmp(8, 8, [](unsigned, unsigned) { return 0xFF0000FFu; })));
    ASSERT_TRUE(WriteText("texeng_sheet.ts",
                          "Width = 16; Height = 16; Format = \"D3DFMT_A8R8G8B8\";"
                          "Subs = object(dot = object(FileName = \"texeng_dot.bmp\", ParentSpace = 1, Filter = \"D3DX_FILTER_NONE\"),"
                          "              own = object(FileName = \"texeng_own.bmp\"));"));
    const i32 objectsBefore = app.DeviceObjects().Count();
    Texture* sheet = new Texture;
    TextureDesc desc;
    ASSERT_TRUE(sheet->LoadScriptFile(patht("texeng_sheet.ts"), desc));
    EXPECT_EQ(app.DeviceObjects().Count(), objectsBefore + 1);  // the sheet alone registers
    Texture* dot = sheet->FindSub(String("dot"));
    Texture* own = sheet->FindSub(String("own"));
    ASSERT_NE(dot, nullptr);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(dot->GetPixelOwner(), sheet);
    EXPECT_EQ(own->GetPixelOwner(), own);  // an image of its own
    EXPECT_NE(own->GetD3DTexture(), sheet->GetD3DTexture());
    auto dotPixel = [&]() {
        const std::vector<unsigned> pixels = ReadPixels(sheet->GetD3DTexture(), 0);
        const IntRect r = dot->GetRect();
        return pixels.at(static_cast<size_t>(r.top) * 16 + r.left);
    };
    EXPECT_EQ(dotPixel(), 0xFF00FF00u);
    ASSERT_TRUE(app.ResetDevice());
    EXPECT_EQ(dotPixel(), 0xFF00FF00u);  // drawn into the new parent texture again
    ASSERT_NE(own->GetD3DTexture(), nullptr);
    EXPECT_EQ(ReadPixels(own->GetD3DTexture(), 0).at(0), 0xFF0000FFu);
    EXPECT_EQ(RefCount(sheet->GetD3DTexture()), 1u);
    delete sheet;
    EXPECT_EQ(app.DeviceObjects().Count(), objectsBefore);
}

TEST(Texture, DeferredTexturesAreMadeOnFirstUse) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    ASSERT_TRUE(WriteFile("texeng_deferred.bmp", RedRamp()));
    Texture t;
    ASSERT_TRUE(t.CreateFromFile(String("texeng_deferred.bmp"), TEX_FROM_DISK | TEX_DEFERRED, 0, 0, 1, 0,
                                 D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 1, 1, 0, false, true));
    EXPECT_TRUE(t.Restore());  // the restore pass does not make it
    ASSERT_TRUE(app.ResetDevice());
    EXPECT_TRUE(t.GetKind() & TEX_DEFERRED);
    IDirect3DTexture9* made = t.GetD3DTexture();
    ASSERT_NE(made, nullptr);
    EXPECT_FALSE(t.GetKind() & TEX_DEFERRED);
    EXPECT_EQ(t.GetSize().x, 16);
}

TEST(Texture, NormalMapOfAHeightRampKeepsTheHeightsInAlpha) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    Texture t;
    ASSERT_TRUE(CreateRamp(t, TEX_FROM_MEMFILE));
    ASSERT_TRUE(t.MakeNormalMap(D3DFMT_A8R8G8B8, 0, D3DX_CHANNEL_RED, 1.0f, true));
    EXPECT_EQ(t.GetKind(), static_cast<u32>(TEX_EMPTY));
    std::vector<unsigned> pixels = ReadPixels(t.GetD3DTexture(), 0);
    ASSERT_EQ(pixels.size(), 256u);
    for (unsigned x = 0; x < 16; ++x) EXPECT_EQ(pixels[8 * 16 + x] >> 24, x * 16u) << x;
    // Inside the ramp every normal leans the same way. (Wine's D3DX computes no normals:
    // it leaves the colour channels zero, so only their evenness is asked here.)
    const unsigned middle = pixels[8 * 16 + 8];
    EXPECT_EQ(middle & 0x00FFFFFFu, pixels[8 * 16 + 7] & 0x00FFFFFFu);
    EXPECT_EQ(middle & 0x00FFFFFFu, pixels[4 * 16 + 8] & 0x00FFFFFFu);
    // The normal map, not the ramp, comes back after a reset.
    ASSERT_TRUE(app.ResetDevice());
    const std::vector<unsigned> again = ReadPixels(t.GetD3DTexture(), 0);
    EXPECT_EQ(again, pixels);
}

TEST(Texture, HeightsFromAChannelWithoutBitsGiveAlphaZero) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    Texture t;
    ASSERT_TRUE(CreateRamp(t, TEX_FROM_MEMFILE, D3DFMT_X8R8G8B8));
    // Alpha is no height channel and X8R8G8B8 has no luminance field.
    ASSERT_TRUE(t.MakeNormalMap(D3DFMT_A8R8G8B8, 0, D3DX_CHANNEL_ALPHA, 1.0f, true));
    for (unsigned pixel : ReadPixels(t.GetD3DTexture(), 0)) EXPECT_EQ(pixel >> 24, 0u);
}

TEST(Texture, ReloadTurnsAHeightMapIntoANormalMap) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    Texture t;
    ASSERT_TRUE(CreateRamp(t, TEX_FROM_MEMFILE));
    ASSERT_TRUE(t.Reload(D3DFMT_R8G8B8, 2.0f));
    const std::vector<unsigned> pixels = ReadPixels(t.GetD3DTexture(), 0);
    ASSERT_EQ(pixels.size(), 256u);
    EXPECT_EQ(t.GetKind(), static_cast<u32>(TEX_EMPTY));  // the normal map, kept as saved levels
    EXPECT_EQ(t.GetFormat(), D3DFMT_X8R8G8B8);
    Texture plain;
    ASSERT_TRUE(CreateRamp(plain, TEX_FROM_MEMFILE));
    ASSERT_TRUE(plain.Reload(D3DFMT_UNKNOWN, 0.0f));
    EXPECT_EQ(ReadPixels(plain.GetD3DTexture(), 0).at(5) & 0x00FFFFFFu, 0x500000u);
}

TEST(Texture, SavedToADdsFileAndReadBack) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    Texture t;
    ASSERT_TRUE(CreateRamp(t, TEX_FROM_MEMFILE));
    remove("texeng_saved.dds");
    if (D3DXSaveTextureToFileA("texeng_probe.dds", D3DXIFF_DDS, t.GetD3DTexture(), nullptr) == E_NOTIMPL)
        GTEST_SKIP() << "this D3DX writes no DDS files of textures";
    ASSERT_TRUE(t.SaveToFile(String("texeng_saved.dds")));
    Texture back;
    ASSERT_TRUE(back.CreateFromFile(String("texeng_saved.dds"), TEX_FROM_DISK, 0, 0, 1, 0, D3DFMT_UNKNOWN,
                                    D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0, false, true));
    EXPECT_EQ(back.GetImageInfo().ImageFileFormat, D3DXIFF_DDS);
    EXPECT_EQ(ReadPixels(back.GetD3DTexture(), 0), ReadPixels(t.GetD3DTexture(), 0));
    Texture none;
    EXPECT_FALSE(none.SaveToFile(String("texeng_nothing.dds")));
}

TEST(Texture, FilterMipLevelsFillsEveryLevelFromTheFirst) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    const auto top = [](unsigned, unsigned) { return 0xFF336699u; };
    const auto blank = [](unsigned, unsigned) { return 0u; };
    Texture t;
    ASSERT_TRUE(t.CreateEmpty(TEX_EMPTY, 8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, false, true));
    ASSERT_EQ(t.GetLevelCount(), 4u);
    ASSERT_TRUE(FillPixels(t.GetD3DTexture(), 0, top));
    ASSERT_TRUE(FillPixels(t.GetD3DTexture(), 3, blank));
    ASSERT_TRUE(t.FilterMipLevels());
    EXPECT_EQ(ReadPixels(t.GetD3DTexture(), 3).at(0), 0xFF336699u);
    // A texture in the default pool cannot be locked: its levels come in from system
    // memory, as a loader puts them there, and are filtered all the same.
    Texture video, staged;
    ASSERT_TRUE(video.CreateEmpty(TEX_EMPTY, 8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, false, true));
    ASSERT_TRUE(staged.CreateEmpty(TEX_EMPTY, 8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, false, true));
    for (unsigned level = 0; level < 4; ++level) ASSERT_TRUE(FillPixels(staged.GetD3DTexture(), level, level ? blank : top));
    ASSERT_EQ(TheDevice()->UpdateTexture(staged.GetD3DTexture(), video.GetD3DTexture()), D3D_OK);
    ASSERT_TRUE(video.FilterMipLevels());
    EXPECT_EQ(TexelThroughTarget(TheDevice(), video.GetD3DTexture(), 3, 0, 0), 0xFF336699u);
    Texture none;
    EXPECT_FALSE(none.FilterMipLevels());
}

TEST(Texture, FreeTextureMemoryIsRecorded) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    ASSERT_TRUE(RecordFreeTextureMemory());
    const i32 megabytes = static_cast<i32>(TheDevice()->GetAvailableTextureMem() / (1024u * 1024u));
    EXPECT_EQ(TheStatistics().Get(String("FREE TEXTURE MEM")), megabytes);
    ASSERT_TRUE(RecordFreeTextureMemory());  // set, not added to
    EXPECT_EQ(TheStatistics().Get(String("FREE TEXTURE MEM")), megabytes);
    // The record's values must not outlive the type table they are released through at exit.
    TheStatistics().ClearCurrent();
}

TEST(Texture, AnEmptyRequestForAPartIsMadeEmptyAgainAfterAReset) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    TextureDesc desc;
    desc.width = 16;
    desc.height = 16;
    desc.format = D3DFMT_A8R8G8B8;
    desc.partName = String("cell");
    desc.flags = TEXDESC_SIZE | TEXDESC_FORMAT | TEXDESC_PART_NAME;
    Texture* part = TheTextureManager().Load(desc, nullptr);
    ASSERT_NE(part, nullptr);
    Texture* sheet = part->GetParentTexture();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->GetKind(), static_cast<u32>(TEX_EMPTY));  // no file stands behind it
    ASSERT_NE(part->GetD3DTexture(), nullptr);
    ASSERT_TRUE(app.ResetDevice());
    IDirect3DTexture9* after = part->GetD3DTexture();
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after, sheet->GetD3DTexture());
    EXPECT_EQ(part->GetSize().x, 16);
    TheTextureManager().Release(part);  // a sub-texture gives back its parent's reference
    EXPECT_EQ(TheTextureManager().TextureCount(), 0u);
}
