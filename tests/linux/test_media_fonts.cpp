// The fonts of the media archive, as the saver finds them: the packed archive mounted as a
// search place, each font file read through the font manager, every charset's texture
// made on a device. Each glyph rectangle must lie inside its atlas and have the width the
// charset gives its character; every printable character of the range must have a glyph.
#include "Core/MemFile.h"
#include "Core/MemoryBuffer.h"
#include "D3d/Charset.h"
#include "D3d/FontManager.h"
#include "D3d/Texture.h"
#include "D3d/TextureManager.h"
#include "../TextureTestSupport.h"
#include "MediaArchiveSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace texsupport;

namespace {

bool PowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

bool Printable(int ch) { return ch >= 32 && ch != 127 && !(ch >= 128 && ch < 160); }

// The summed alpha of the texels inside a rectangle.
unsigned Ink(const std::vector<unsigned>& texels, IntPair atlas, const CharRect& r) {
    const int left = static_cast<int>(std::lround(r.left * atlas.x));
    const int right = static_cast<int>(std::lround(r.right * atlas.x));
    const int top = static_cast<int>(std::lround(r.top * atlas.y));
    const int bottom = static_cast<int>(std::lround(r.bottom * atlas.y));
    unsigned sum = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) sum += texels[static_cast<size_t>(y) * atlas.x + x] >> 24;
    return sum;
}

// Checks every character of every charset of the entry chosen for size; returns how many
// charsets it saw.
int CheckEntry(int32_t size, int firstPrintable, int lastPrintable) {
    TextStyle style;
    style.size = size;
    FontManager::Entry* entry = TheFontManager().FindEntry(style);
    EXPECT_NE(entry, nullptr) << size;
    if (!entry) return 0;
    EXPECT_EQ(entry->style.size, size);
    for (Charset* charset : entry->charsets) {
        Texture* texture = charset->GetTexture();
        EXPECT_NE(texture, nullptr) << size;
        if (!texture) continue;
        const IntPair atlas = texture->GetSize();
        EXPECT_TRUE(PowerOfTwo(atlas.x) && PowerOfTwo(atlas.y)) << atlas.x << " x " << atlas.y;
        const std::vector<unsigned> texels = ReadPixels(texture->GetD3DTexture(), 0);
        EXPECT_EQ(texels.size(), static_cast<size_t>(atlas.x) * atlas.y);
        if (texels.size() != static_cast<size_t>(atlas.x) * atlas.y) continue;
        for (int ch = charset->GetStartChar(); ch <= charset->GetEndChar(); ++ch) {
            const CharRect r = charset->GetCharRect(static_cast<uint16_t>(ch));
            const IntPair glyph = charset->GetCharSize(static_cast<uint16_t>(ch));
            EXPECT_GE(r.left, 0.0f) << size << " " << ch;
            EXPECT_GE(r.top, 0.0f) << size << " " << ch;
            EXPECT_LE(r.left, r.right) << size << " " << ch;
            EXPECT_LE(r.top, r.bottom) << size << " " << ch;
            EXPECT_LE(r.right, 1.0f) << size << " " << ch;
            EXPECT_LE(r.bottom, 1.0f) << size << " " << ch;
            EXPECT_NEAR((r.right - r.left) * atlas.x, glyph.x, 1e-3) << size << " " << ch;
            if (ch >= firstPrintable && ch <= lastPrintable && Printable(ch)) {
                EXPECT_GT(glyph.x, 0) << size << " " << ch;
                EXPECT_EQ(glyph.y, charset->GetCharHeight());
                EXPECT_NEAR((r.bottom - r.top) * atlas.y, charset->GetCharHeight(), 1e-3) << size << " " << ch;
                // A visible character has ink inside its rectangle (the blank ones: the
                // spaces and the soft hyphen).
                if (ch != 32 && ch != 160 && ch != 173) {
                    EXPECT_GT(Ink(texels, atlas, r), 0u) << size << " " << ch;
                }
            }
        }
    }
    return static_cast<int>(entry->charsets.count);
}

}  // namespace

TEST(MediaFonts, EveryGlyphOfThePackedFontsLiesInsideItsAtlas) {
    Application app;
    REQUIRE_TEXTURE_DEVICE(app);
    DeviceScope scope(app);
    // The charsets hold textures of this test's device: they go before it does, however
    // the test ends.
    struct FontsBack {
        FontsBack() { TheFontManager().Clear(); }
        ~FontsBack() { TheFontManager().Clear(); }
    } fonts;

#ifndef CORVANE_MEDIA_ARCHIVE
    GTEST_SKIP() << "this build packs no media archive";
#else
    MediaMount media;
    ASSERT_TRUE(media);

    ASSERT_TRUE(TheFontManager().LoadFont(patht("Fonts/64font.fs"), 0));
    ASSERT_TRUE(TheFontManager().LoadFont(patht("Fonts/sylfaen.fs"), 0));
    EXPECT_EQ(TheFontManager().EntryCount(), 4u);
    EXPECT_EQ(CheckEntry(64, 32, 255), 1);
    for (int32_t size : {14, 20, 28}) EXPECT_EQ(CheckEntry(size, 32, 255), 1);

    TextStyle style;
    Charset* big = TheFontManager().FindCharset(0, [] {
        TextStyle s;
        s.size = 64;
        return s;
    }());
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->GetStartChar(), 0);
    EXPECT_EQ(big->GetEndChar(), 255);
    EXPECT_EQ(TheFontManager().FindCharset(0, style), nullptr);  // sylfaen starts at the space
    ASSERT_NE(TheFontManager().GetDefaultCharset(), nullptr);
    EXPECT_EQ(TheFontManager().GetDefaultCharset()->GetStartChar(), 32);
#endif
}
