// What the window system's quads put on the screen, read back from the render target of a
// device that rasterises (Wine's Direct3D 9 under a virtual display): a text window's
// glyphs take the shape of their atlas cells in the text's colour, with the scene showing
// through their transparent texels, and a skin's tiles show the texels of their textures,
// a tile cut from a larger image only its own part.
//
// A device that draws no pixels (the reference device clears its targets but does not
// rasterise) has nothing to show; the tests skip there.
#include "D3d/Charset.h"
#include "D3d/FontManager.h"
#include "D3d/StateCache.h"
#include "D3d/Texture.h"
#include "Core/TextData.h"
#include "Core/TextNode.h"
#include "Gui/ImageWindow.h"
#include "Gui/LabelWindow.h"
#include "Gui/RichTextWindow.h"
#include "Gui/WindowManager.h"
#include "RichTextSupport.h"

#include <d3d9.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr u32 kBackground = 0x203060u;  // the scene behind the windows

// The pixels of the device's render target, 0x00RRGGBB row by row; empty when they cannot
// be read (a format other than 32-bit, a copy that fails).
struct Frame {
    u32 width = 0;
    u32 height = 0;
    std::vector<u32> pixels;
    u32 At(i32 x, i32 y) const {
        if (x < 0 || y < 0 || u32(x) >= width || u32(y) >= height) return 0xFFFFFFFFu;
        return pixels[size_t(y) * width + u32(x)];
    }
};

Frame ReadTarget(IDirect3DDevice9* device) {
    Frame frame;
    IDirect3DSurface9* target = nullptr;
    if (FAILED(device->GetRenderTarget(0, &target))) return frame;
    D3DSURFACE_DESC desc;
    target->GetDesc(&desc);
    IDirect3DSurface9* source = target;
    IDirect3DSurface9* resolved = nullptr;
    IDirect3DSurface9* copy = nullptr;
    const bool known = desc.Format == D3DFMT_X8R8G8B8 || desc.Format == D3DFMT_A8R8G8B8;
    // A multisampled target is read through a plain one of its size.
    if (known && desc.MultiSampleType != D3DMULTISAMPLE_NONE &&
        SUCCEEDED(device->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                             &resolved, nullptr)) &&
        SUCCEEDED(device->StretchRect(target, nullptr, resolved, nullptr, D3DTEXF_NONE)))
        source = resolved;
    D3DLOCKED_RECT locked;
    if (known && (source != target || desc.MultiSampleType == D3DMULTISAMPLE_NONE) &&
        SUCCEEDED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                      nullptr)) &&
        SUCCEEDED(device->GetRenderTargetData(source, copy)) &&
        SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        frame.width = desc.Width;
        frame.height = desc.Height;
        for (u32 y = 0; y < desc.Height; ++y) {
            const u32* row = reinterpret_cast<const u32*>(static_cast<const u8*>(locked.pBits) + y * locked.Pitch);
            for (u32 x = 0; x < desc.Width; ++x) frame.pixels.push_back(row[x] & 0xFFFFFFu);
        }
        copy->UnlockRect();
    }
    if (copy) copy->Release();
    if (resolved) resolved->Release();
    target->Release();
    return frame;
}

// Whether each of red, green and blue is within 12 of the expected colour's.
bool Near(u32 pixel, u32 expected) {
    for (u32 shift : {0u, 8u, 16u})
        if (std::abs(i32((pixel >> shift) & 0xFF) - i32((expected >> shift) & 0xFF)) > 12) return false;
    return true;
}

std::string Hex(u32 value) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", value);
    return text;
}

struct ColourVertex {
    f32 x, y, z, rhw;
    u32 colour;
};

class GuiPixels : public richtext::DeviceTest {
protected:
    void SetUp() override {
        richtext::DeviceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        device = TheDevice();
        if (!Rasterises()) GTEST_SKIP() << "this device does not rasterise: it has no pixels to show";
    }
    void TearDown() override {
        StateCache::InvalidateAll();
        richtext::DeviceTest::TearDown();
    }

    // One white square drawn straight through the device: does it reach the target?
    bool Rasterises() {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        if (FAILED(device->BeginScene())) return false;
        const ColourVertex square[4] = {{-0.5f, -0.5f, 0.5f, 1.0f, 0xFFFFFFFFu},
                                        {15.5f, -0.5f, 0.5f, 1.0f, 0xFFFFFFFFu},
                                        {-0.5f, 15.5f, 0.5f, 1.0f, 0xFFFFFFFFu},
                                        {15.5f, 15.5f, 0.5f, 1.0f, 0xFFFFFFFFu}};
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        device->SetTexture(0, nullptr);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, square, sizeof(ColourVertex));
        device->EndScene();
        // The states above went past the cache.
        StateCache::InvalidateAll();
        return Near(ReadTarget(device).At(8, 8), 0xFFFFFFu);
    }

    // One frame of the window manager over the background, read back before it is shown.
    Frame DrawWindows() {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u | kBackground, 1.0f, 0);
        EXPECT_EQ(device->BeginScene(), D3D_OK);
        EXPECT_TRUE(TheWindowManager().Draw());
        device->EndScene();
        return ReadTarget(device);
    }

    IDirect3DDevice9* device = nullptr;
};

// The cell font's atlas drawn anew with the shape each glyph will show: in every 8 x 10
// cell the left four columns opaque white and the right four transparent.
bool StripeTheAtlas() {
    Charset* charset = TheFontManager().GetDefaultCharset();
    Texture* texture = charset ? charset->GetTexture() : nullptr;
    IDirect3DTexture9* d3d = texture ? texture->GetD3DTexture() : nullptr;
    if (!d3d || !texture->HasAlpha()) return false;
    for (u32 level = 0; level < d3d->GetLevelCount(); ++level)
        if (!texsupport::FillPixels(d3d, level, [level](unsigned x, unsigned) {
                return ((x << level) % richtext::kCellWidth) < 4 ? 0xFFFFFFFFu : 0x00FFFFFFu;
            }))
            return false;
    return true;
}

}  // namespace

TEST_F(GuiPixels, GlyphsShowTheirCellsShapeInTheTextColourWithTheSceneThroughTheirClearTexels) {
    ASSERT_TRUE(StripeTheAtlas());
    RichTextWindow window;
    window.SetRect(IntRect(10, 20, 200, 50));
    window.Show();
    // As the saver styles its overlays: a colour, and no box behind the glyphs.
    window.Style().color = FColor::FromBytes(230, 40, 20);
    window.Style().background.Set(0.0f, 0.0f, 0.0f, 0.0f);
    window.SetRawText(WString(u"HI!"));
    const Frame frame = DrawWindows();
    ASSERT_FALSE(frame.pixels.empty()) << "the render target could not be read";

    // Inside each glyph's cell (rows 21 to 28 of 20 to 29), column by column.
    const u32 text = 0xE62814u;
    u32 wrong = 0;
    std::string first;
    for (i32 glyph = 0; glyph < 3; ++glyph) {
        const i32 left = 10 + glyph * richtext::kCellWidth;
        for (i32 y = 21; y < 29; ++y) {
            for (i32 x = left; x < left + richtext::kCellWidth; ++x) {
                const u32 expected = x - left < 4 ? text : kBackground;
                if (Near(frame.At(x, y), expected)) continue;
                if (wrong++ == 0)
                    first = "glyph " + std::to_string(glyph) + " at (" + std::to_string(x) + ", " + std::to_string(y) +
                            "): " + Hex(frame.At(x, y)) + ", not " + Hex(expected);
            }
        }
    }
    EXPECT_EQ(wrong, 0u) << "pixels of 192 unlike their texel; the first: " << first;
    // Past the text, inside the window, the scene is untouched.
    EXPECT_TRUE(Near(frame.At(60, 25), kBackground)) << Hex(frame.At(60, 25));
}

namespace {

// A 64 x 64 image of sixteen 16 x 16 blocks, each of its own colour.
u32 BlockColour(u32 bx, u32 by) { return 0x102030u + bx * 0x3C0000u + by * 0x003C00u + (bx + by) * 0x10u; }

}  // namespace

TEST_F(GuiPixels, SkinTilesShowTheirTexelsAndACutOutTileOnlyItsPart) {
    const std::string image =
        std::string("guipixels_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bmp";
    ASSERT_TRUE(texsupport::WriteFile(image, texsupport::MakeBmp(64, 64, [](unsigned x, unsigned y) {
        return 0xFF000000u | BlockColour(x / 16, y / 16);
    })));
    TextDataTree skin;
    // "part" is the image's top right quarter (its corners, as the skin gives them): blocks
    // 2 and 3 of rows 0 and 1. Both tiles show texels of one texture, so they share a mesh,
    // drawn with the material of the first tile set up: the part.
    ASSERT_TRUE(TextData::LoadText(WString::FromNarrow(("Cfg = object(Tiles = object("
                                                        "  part = object(texture = \"" + image +
                                                        "\", texrect = object(x1 = 32, y1 = 0, x2 = 64, y2 = 32)),"
                                                        "  whole = object(texture = \"" + image + "\")));")
                                                           .c_str()),
                                   skin, nullptr, TextData::kStatementForm));
    {
        LabelWindow label;
        label.SetRect(IntRect(20, 10, 200, 100));
        label.Show();
        ASSERT_TRUE(label.ParseSkin(skin.GetChild("Cfg")));
        ImageWindow* whole = label.FindTile(String("whole"));
        ImageWindow* part = label.FindTile(String("part"));
        ASSERT_TRUE(whole && part && whole->GetImage() && part->GetImage());
        // Texel for pixel: each at its texture's own size.
        whole->SetRect(IntRect(0, 0, 64, 64));
        part->SetRect(IntRect(100, 0, 32, 32));
        const Frame frame = DrawWindows();
        ASSERT_FALSE(frame.pixels.empty()) << "the render target could not be read";

        for (u32 by = 0; by < 4; ++by)
            for (u32 bx = 0; bx < 4; ++bx) {
                const i32 x = 20 + i32(bx) * 16 + 8, y = 10 + i32(by) * 16 + 8;
                EXPECT_TRUE(Near(frame.At(x, y), BlockColour(bx, by)))
                    << "whole, block " << bx << ", " << by << ": " << Hex(frame.At(x, y));
            }
        for (u32 by = 0; by < 2; ++by)
            for (u32 bx = 0; bx < 2; ++bx) {
                const i32 x = 120 + i32(bx) * 16 + 8, y = 10 + i32(by) * 16 + 8;
                EXPECT_TRUE(Near(frame.At(x, y), BlockColour(bx + 2, by)))
                    << "part, block " << bx + 2 << ", " << by << ": " << Hex(frame.At(x, y));
            }
        // Between the tiles the scene shows.
        EXPECT_TRUE(Near(frame.At(100, 40), kBackground)) << Hex(frame.At(100, 40));
    }
    std::remove(image.c_str());
}
