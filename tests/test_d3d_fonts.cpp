// Bitmap fonts: charset files read into width and rectangle tables (with and without a
// texture), the bounds of those tables, the charset a style and a character get from the
// font manager, and the log lines of the loads that fail.
#include "Core/Log.h"
#include "Core/TextData.h"
#include "Core/TextDataTree.h"
#include "D3d/Charset.h"
#include "D3d/FontManager.h"
#include "D3d/Texture.h"
#include "D3d/TextStyle.h"
#include "TextureTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

using namespace texsupport;
namespace fs = std::filesystem;

namespace {

bool Parse(TextDataTree& doc, const char* text) {
    return TextData::LoadText(WString::FromNarrow(text), doc, nullptr, TextData::kStatementForm);
}

// A charset read from text, with no file behind it.
bool LoadCharset(Charset& charset, const char* text) {
    TextDataTree doc;
    if (!Parse(doc, text)) return false;
    return charset.LoadFromTree(doc, patht());
}

std::string ReadAllText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs fn with the current folder set to a fresh folder, so that the plain log it writes
// is its own; returns that log.
template <class Fn>
std::string LogOf(const char* name, Fn&& fn) {
    const fs::path dir = fs::temp_directory_path() / (std::string("corvane_fonts_") + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    fn();
    fs::current_path(previous);
    const std::string log = ReadAllText(dir / "log");
    fs::remove_all(dir);
    return log;
}

struct FontReset {
    FontReset() { TheFontManager().Clear(); }
    ~FontReset() { TheFontManager().Clear(); }
};

TextStyle Style(int32_t size, uint32_t flags = 0) {
    TextStyle style;
    style.size = size;
    style.flags = flags;
    return style;
}

}  // namespace

TEST(TextStyle, DefaultsAndAssignCopyEveryField) {
    TextStyle style;
    EXPECT_EQ(style.size, 14);
    EXPECT_FALSE(style.IsBold());
    EXPECT_FALSE(style.IsItalic());
    EXPECT_EQ(style.color.ToPacked(), 0xFFFFFFFFu);
    EXPECT_EQ(style.background.ToPacked(), 0xFF000000u);

    TextStyle other;
    other.size = 28;
    other.flags = TextStyle::kBold | TextStyle::kItalic;
    other.scale = 2.5f;
    other.charSpacing = -1;
    other.rowSpacing = 3;
    other.color = FColor::FromPacked(0x80102030);
    other.background = FColor::FromPacked(0x11223344);
    other.fontName = WString::FromNarrow("Serif");
    EXPECT_EQ(&style.Assign(other), &style);
    EXPECT_EQ(style.size, 28);
    EXPECT_TRUE(style.IsBold());
    EXPECT_TRUE(style.IsItalic());
    EXPECT_EQ(style.scale, 2.5f);
    EXPECT_EQ(style.charSpacing, -1);
    EXPECT_EQ(style.rowSpacing, 3);
    EXPECT_EQ(style.color.ToPacked(), 0x80102030u);
    EXPECT_EQ(style.background.ToPacked(), 0x11223344u);
    EXPECT_TRUE(style.fontName == WString::FromNarrow("Serif"));
    EXPECT_EQ(&style.Assign(style), &style);
    EXPECT_EQ(style.size, 28);
}

TEST(Charset, RangesAndCellsThatCannotMakeACharsetFailTheLoad) {
    struct Case {
        const char* text;
        bool loads;
    } cases[] = {
        {"CharsPerLine = 8; StartChar = 32; EndChar = 127;", true},
        {"StartChar = 32; EndChar = 127;", false},                        // no cells per row
        {"CharsPerLine = 0; StartChar = 32; EndChar = 127;", false},      // a division by zero
        {"CharsPerLine = -3; StartChar = 32; EndChar = 127;", false},
        {"CharsPerLine = 8; StartChar = 128; EndChar = 127;", false},     // start above end
        {"CharsPerLine = 8; StartChar = 65; EndChar = 65;", true},        // one character
        {"CharsPerLine = 8; StartChar = -1; EndChar = 10;", false},       // below the UTF-16 units
        {"CharsPerLine = 8; StartChar = 0; EndChar = 65535;", true},
        {"CharsPerLine = 8; StartChar = 0; EndChar = 65536;", false},     // beyond them
        {"CharsPerLine = 8; StartChar = 0; EndChar = 2147483647;", false},
    };
    for (const Case& c : cases) {
        Charset charset;
        EXPECT_EQ(LoadCharset(charset, c.text), c.loads) << c.text;
        if (!c.loads) {
            // A failed load leaves the empty charset behind.
            EXPECT_EQ(charset.GetTableSize(), 0) << c.text;
            EXPECT_EQ(charset.GetStartChar(), 0) << c.text;
            EXPECT_EQ(charset.GetEndChar(), 256) << c.text;
        }
    }
}

TEST(Charset, EndCharIsCoveredAndTheUnitAfterItIsNot) {
    Charset charset;
    ASSERT_TRUE(LoadCharset(charset, "CharsPerLine = 16; StartChar = 32; EndChar = 126;"));
    EXPECT_FALSE(charset.Covers(31));
    EXPECT_TRUE(charset.Covers(32));
    EXPECT_TRUE(charset.Covers(126));
    EXPECT_FALSE(charset.Covers(127));
    EXPECT_EQ(charset.GetTableSize(), 95);
}

TEST(Charset, WidthsComeFromSizesAndOtherwiseFromTheCell) {
    Charset charset;
    ASSERT_TRUE(LoadCharset(charset, "CharWidth = 9; CharHeight = 17; CharsPerLine = 16; StartChar = 65;"
                                     "EndChar = 70; Sizes = array(3, 4, 300);"));
    EXPECT_EQ(charset.GetCharWidth(), 9);
    EXPECT_EQ(charset.GetCharHeight(), 17);
    EXPECT_EQ(charset.GetCharSize('A'), IntPair(3, 17));
    EXPECT_EQ(charset.GetCharSize('B'), IntPair(4, 17));
    EXPECT_EQ(charset.GetCharSize('C'), IntPair(300 & 0xFF, 17));  // cut to 8 bits
    EXPECT_EQ(charset.GetCharSize('D'), IntPair(9, 17));           // not named: a cell wide
    EXPECT_EQ(charset.GetCharSize('F'), IntPair(9, 17));
}

TEST(Charset, ACellWiderThanAByteGivesTheWidestGlyphAByteHolds) {
    Charset wide;
    ASSERT_TRUE(LoadCharset(wide, "CharWidth = 300; CharsPerLine = 4; StartChar = 65; EndChar = 66; Sizes = array(300);"));
    EXPECT_EQ(wide.GetCharWidth(), 300);
    EXPECT_EQ(wide.GetCharSize('A').x, 300 & 0xFF);  // a width "Sizes" gives is cut to 8 bits
    EXPECT_EQ(wide.GetCharSize('B').x, 255);
    Charset negative;
    ASSERT_TRUE(LoadCharset(negative, "CharWidth = -5; CharsPerLine = 4; StartChar = 65; EndChar = 66;"));
    EXPECT_EQ(negative.GetCharSize('B').x, 0);
}

TEST(Charset, ACharacterBelowTheStartHasNoGlyphAndNeverGrowsTheTables) {
    Charset charset;
    ASSERT_TRUE(LoadCharset(charset, "CharsPerLine = 16; StartChar = 1000; EndChar = 1009;"));
    EXPECT_EQ(charset.GetTableSize(), 10);
    EXPECT_EQ(charset.GetCharSize(999), IntPair(0, 0));
    EXPECT_EQ(charset.GetCharSize(0), IntPair(0, 0));
    EXPECT_EQ(charset.GetCharRect(5), CharRect());
    EXPECT_EQ(charset.GetCharTexCoords(5, 1, 1, 1, 1), CharRect());
    EXPECT_EQ(charset.GetTableSize(), 10);
}

TEST(Charset, ACharacterPastTheTablesGrowsThemInsteadOfReadingPastTheirEnd) {
    Charset charset;
    ASSERT_TRUE(LoadCharset(charset, "CharWidth = 7; CharHeight = 12; CharsPerLine = 16; StartChar = 32;"
                                     "EndChar = 40;"));
    EXPECT_EQ(charset.GetCharSize(300), IntPair(7, 12));
    EXPECT_EQ(charset.GetTableSize(), 300 - 32 + 1);
    EXPECT_EQ(charset.GetCharSize(0xFFFF), IntPair(7, 12));
    EXPECT_EQ(charset.GetTableSize(), 0xFFFF - 32 + 1);
}

TEST(Charset, SizesAndRectsCannotGrowTheTablesBeyondTheSixteenBitRange) {
    Charset charset;
    ASSERT_TRUE(LoadCharset(charset, "CharsPerLine = 16; StartChar = 100; EndChar = 109;"
                                     "Sizes[5] = 2; Sizes[65435] = 4; Sizes[65436] = 5; Sizes[2000000] = 6;"
                                     "Sizes[-1] = 7; Sizes.x = 8;"));
    // 100 + 65435 is the last UTF-16 unit; the members past it are dropped.
    EXPECT_EQ(charset.GetTableSize(), 65436);
    EXPECT_EQ(charset.GetCharSize(105).x, 2);
    EXPECT_EQ(charset.GetCharSize(0xFFFF).x, 4);
}

TEST(Charset, RectsWithoutATextureSetTheWidthOnlyAndSkipKeysThatAreNotOneCharacter) {
    Charset charset;
    ASSERT_TRUE(LoadCharset(charset, "CharWidth = 8; CharsPerLine = 16; StartChar = 32; EndChar = 126;"
                                     "Rects[\"a\"] = array(10, 0, 15, 8); Rects[\"bc\"] = array(0, 0, 30, 8);"
                                     "Rects[\"\"] = array(0, 0, 31, 8);"));
    EXPECT_EQ(charset.GetCharSize('a').x, 5);
    EXPECT_EQ(charset.GetCharSize('b').x, 8);
    EXPECT_EQ(charset.GetCharSize('c').x, 8);
    // No texture: no rectangle.
    EXPECT_EQ(charset.GetCharRect('a'), CharRect());
    EXPECT_EQ(charset.GetTableSize(), 95);
}

TEST(FontManager, NothingLoadedFindsNoCharset) {
    FontReset reset;
    EXPECT_EQ(TheFontManager().FindCharset('A', TextStyle()), nullptr);
    EXPECT_EQ(TheFontManager().GetDefaultCharset(), nullptr);
    EXPECT_EQ(TheFontManager().FindEntry(TextStyle()), nullptr);
    EXPECT_FALSE(TheFontManager().LoadFont(patht("fontseng_no_such_font.fs"), 0));
    EXPECT_EQ(TheFontManager().EntryCount(), 0u);
}

namespace {

// Charset files without textures, one per range, for the manager tests.
void WriteCharsets() {
    ASSERT_TRUE(WriteText("fontseng_latin.css", "CharsPerLine = 16; StartChar = 32; EndChar = 126;"));
    ASSERT_TRUE(WriteText("fontseng_upper.css", "CharsPerLine = 16; StartChar = 127; EndChar = 255;"));
    ASSERT_TRUE(WriteText("fontseng_wide.css", "CharsPerLine = 16; StartChar = 0; EndChar = 1000;"));
    ASSERT_TRUE(WriteText("fontseng_broken.css", "StartChar = 0; EndChar = 10;"));
}

bool LoadText(const char* text) {
    TextDataTree doc;
    if (!Parse(doc, text)) return false;
    return TheFontManager().LoadFontFromTree(doc, patht(""), 0);
}

}  // namespace

TEST(FontManager, TheFirstCoveringCharsetOfTheChosenStyleDrawsACharacter) {
    FontReset reset;
    WriteCharsets();
    ASSERT_TRUE(WriteText("fontseng_two.fs", "Name = \"Two\"; Styles[0].Size = 20;"
                                             "Styles[0].Charsets = array(\"fontseng_latin.css\", \"fontseng_upper.css\","
                                             " \"fontseng_wide.css\");"));
    ASSERT_TRUE(TheFontManager().LoadFont(patht("fontseng_two.fs"), 0));
    const TextStyle style = Style(20);
    Charset* latin = TheFontManager().FindCharset('A', style);
    ASSERT_NE(latin, nullptr);
    EXPECT_EQ(latin->GetStartChar(), 32);
    EXPECT_EQ(TheFontManager().FindCharset(126, style), latin);
    Charset* upper = TheFontManager().FindCharset(127, style);
    ASSERT_NE(upper, nullptr);
    EXPECT_EQ(upper->GetStartChar(), 127);
    EXPECT_EQ(TheFontManager().FindCharset(255, style), upper);
    Charset* wide = TheFontManager().FindCharset(256, style);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->GetEndChar(), 1000);
    EXPECT_EQ(TheFontManager().FindCharset(10, style), wide);
    EXPECT_EQ(TheFontManager().FindCharset(1001, style), nullptr);
    EXPECT_EQ(TheFontManager().GetDefaultCharset(), latin);
}

TEST(FontManager, AStyleTakesTheCeilingUnlessTheFloorMatchesItExactly) {
    FontReset reset;
    WriteCharsets();
    ASSERT_TRUE(LoadText("Styles[0].Size = 64; Styles[0].Charsets = array(\"fontseng_latin.css\");"));
    // Only the 64 style: everything draws with it, smaller and larger alike.
    Charset* big = TheFontManager().FindCharset('x', Style(14));
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(TheFontManager().FindCharset('x', Style(100)), big);
    EXPECT_EQ(TheFontManager().FindCharset('x', Style(64, TextStyle::kBold)), big);

    ASSERT_TRUE(LoadText("Styles[0].Size = 14; Styles[0].Charsets = array(\"fontseng_latin.css\");"
                         "Styles[1].Size = 28; Styles[1].Bold = 1; Styles[1].Charsets = array(\"fontseng_latin.css\");"));
    Charset* small = TheFontManager().FindCharset('x', Style(14));
    Charset* bold = TheFontManager().FindCharset('x', Style(28, TextStyle::kBold));
    ASSERT_NE(small, nullptr);
    ASSERT_NE(bold, nullptr);
    EXPECT_NE(small, big);
    EXPECT_NE(bold, big);
    EXPECT_EQ(TheFontManager().EntryCount(), 3u);

    struct Case {
        int32_t size;
        uint32_t flags;
        Charset* expected;
    } cases[] = {
        {14, 0, small},                 // exact
        {10, 0, small},                 // below everything: the smallest
        {15, 0, bold},                  // between 14 and 28: the larger
        {28, 0, bold},                  // the floor is bold, the ceiling is the same entry
        {30, 0, big},                   // between 28 and 64
        {200, 0, big},                  // above everything: the largest
        {20, TextStyle::kBold, bold},   // the floor (14) is not bold: the ceiling
        {14, TextStyle::kItalic, small},// no ceiling other than itself
    };
    for (const Case& c : cases)
        EXPECT_EQ(TheFontManager().FindCharset('x', Style(c.size, c.flags)), c.expected) << c.size;
    EXPECT_EQ(TheFontManager().GetDefaultCharset(), small);

    // A different font name sends a size past an exact floor.
    TextStyle named = Style(14);
    named.fontName = WString::FromNarrow("Other");
    EXPECT_EQ(TheFontManager().FindCharset('x', named), small);  // exact: floor and ceiling agree
    named.size = 16;
    EXPECT_EQ(TheFontManager().FindCharset('x', named), bold);
}

TEST(FontManager, ASecondStyleOfTheSameSizeReplacesTheFirst) {
    FontReset reset;
    WriteCharsets();
    ASSERT_TRUE(LoadText("Styles[0].Size = 20; Styles[0].Charsets = array(\"fontseng_latin.css\", \"fontseng_upper.css\");"
                         "Styles[1].Size = 20; Styles[1].Italic = 1; Styles[1].FontName = \"Slanted\";"
                         "Styles[1].Charsets = array(\"fontseng_wide.css\");"));
    EXPECT_EQ(TheFontManager().EntryCount(), 1u);
    FontManager::Entry* entry = TheFontManager().FindEntry(Style(20));
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->style.IsItalic());
    EXPECT_FALSE(entry->style.IsBold());
    EXPECT_TRUE(entry->style.fontName == WString::FromNarrow("Slanted"));
    ASSERT_EQ(entry->charsets.count, 1);
    EXPECT_EQ(TheFontManager().FindCharset('A', Style(20))->GetEndChar(), 1000);
    // The replaced charsets are freed (the leak checker of the sanitizer build sees it).
}

TEST(FontManager, ACharsetThatFailsIsLeftOutAndLogged) {
    FontReset reset;
    const fs::path here = fs::current_path();
    std::string log = LogOf("charset", [&] {
        ASSERT_TRUE(WriteText("fontseng_latin.css", "CharsPerLine = 16; StartChar = 32; EndChar = 126;"));
        ASSERT_TRUE(WriteText("fontseng_broken.css", "StartChar = 0; EndChar = 10;"));
        ASSERT_TRUE(WriteText("fontseng_notex.css", "Name = \"fontseng_missing.tga\"; CharsPerLine = 4;"));
        ASSERT_TRUE(LoadText("Styles[0].Size = 14; Styles[0].Charsets = array(\"fontseng_broken.css\","
                             " \"fontseng_absent.css\", \"fontseng_notex.css\", \"fontseng_latin.css\");"));
    });
    EXPECT_EQ(log,
              "Error: Charset 'fontseng_broken.css' loading failed\r\n"
              "Error: Charset 'fontseng_absent.css' loading failed\r\n"
              "Error: font texture loading failed\r\n"
              "Error: Charset 'fontseng_notex.css' loading failed\r\n");
    FontManager::Entry* entry = TheFontManager().FindEntry(Style(14));
    ASSERT_NE(entry, nullptr);
    ASSERT_EQ(entry->charsets.count, 1);
    EXPECT_EQ(entry->charsets[0]->GetStartChar(), 32);
}

TEST(FontManager, AFontIsFoundThroughTheSearchPathsAndItsCharsetsBesideIt) {
    FontReset reset;
    // The search folder leaves the program-wide search paths with the test.
    struct SearchPathsBack {
        ~SearchPathsBack() { TheTextureManager().SearchPaths().Clear(); }
    } back;
    const fs::path dir = fs::path("fontseng_search") / "Fonts";
    fs::create_directories(dir);
    ASSERT_TRUE(WriteText((dir / "found.css").string(), "CharsPerLine = 16; StartChar = 32; EndChar = 126;"));
    ASSERT_TRUE(WriteText((dir / "found.fs").string(), "Styles[0].Size = 14; Styles[0].Charsets = array(\"found.css\");"));
    EXPECT_FALSE(TheFontManager().LoadFont(patht("Fonts/found.fs"), 0));
    TheTextureManager().SearchPaths().AddSearchPath(patht("fontseng_search"));
    EXPECT_TRUE(TheFontManager().LoadFont(patht("Fonts/found.fs"), 0));
    Charset* charset = TheFontManager().FindCharset('A', TextStyle());
    ASSERT_NE(charset, nullptr);
    EXPECT_EQ(charset->GetEndChar(), 126);
}

namespace {

// A 64 x 32 atlas: magenta (the key colour) at the top left texel, grey elsewhere.
void WriteAtlas(const char* name) {
    ASSERT_TRUE(WriteFile(name, MakeBmp(64, 32, [](unsigned x, unsigned y) {
                              return x == 0 && y == 0 ? 0xFFFF00FFu : 0xFF808080u;
                          })));
}

void ExpectRect(const CharRect& r, float left, float top, float right, float bottom) {
    EXPECT_FLOAT_EQ(r.left, left);
    EXPECT_FLOAT_EQ(r.top, top);
    EXPECT_FLOAT_EQ(r.right, right);
    EXPECT_FLOAT_EQ(r.bottom, bottom);
}

}  // namespace

TEST(CharsetTexture, GridCellsRectsAndInsetsAreTextureCoordinates) {
    Application app;
    REQUIRE_TEXTURE_DEVICE(app);
    DeviceScope scope(app);
    WriteAtlas("fontseng_atlas.bmp");
    ASSERT_TRUE(WriteText("fontseng_atlas.css",
                          "Name = \"fontseng_atlas.bmp\"; Format = \"D3DFMT_A8R8G8B8\"; ColorKey = array(255, 0, 255);"
                          "CharWidth = 8; CharHeight = 16; CharsPerLine = 8; StartChar = 32; EndChar = 47;"
                          "Sizes = array(6); Rects[\"!\"] = array(40, 16, 44, 30);"));
    Charset charset;
    ASSERT_TRUE(charset.Load(patht("fontseng_atlas.css")));
    ASSERT_NE(charset.GetTexture(), nullptr);
    EXPECT_EQ(charset.GetTexture()->GetSize(), IntPair(64, 32));

    // Space: the first cell, as wide as "Sizes" says.
    EXPECT_EQ(charset.GetCharSize(' '), IntPair(6, 16));
    ExpectRect(charset.GetCharRect(' '), 0.0f, 0.0f, 6.0f / 64, 16.0f / 32);
    // ")" is cell 9: the second row, second column, a cell wide.
    EXPECT_EQ(charset.GetCharSize(')'), IntPair(8, 16));
    ExpectRect(charset.GetCharRect(')'), 8.0f / 64, 16.0f / 32, 16.0f / 64, 32.0f / 32);
    // "!" was placed by "Rects": its rectangle and its width.
    EXPECT_EQ(charset.GetCharSize('!'), IntPair(4, 16));
    ExpectRect(charset.GetCharRect('!'), 40.0f / 64, 16.0f / 32, 44.0f / 64, 30.0f / 32);
    ExpectRect(charset.GetCharTexCoords('!', 1, 2, 3, 4), 41.0f / 64, 18.0f / 32, 41.0f / 64, 26.0f / 32);
    // Past the grid the tables grow with empty rectangles.
    ExpectRect(charset.GetCharRect('0'), 0, 0, 0, 0);
    EXPECT_EQ(charset.GetCharSize('0'), IntPair(8, 16));

    // The key colour loaded as transparent.
    const std::vector<unsigned> texels = ReadPixels(charset.GetTexture()->GetD3DTexture(), 0);
    ASSERT_EQ(texels.size(), 64u * 32u);
    EXPECT_EQ(texels[0] >> 24, 0u);
    EXPECT_EQ(texels[1], 0xFF808080u);
    charset.Clear();
    EXPECT_EQ(TheTextureManager().TextureCount(), 0u);
}

TEST(CharsetTexture, AKeyGivenAsOneNumberIsUsedAsItStands) {
    Application app;
    REQUIRE_TEXTURE_DEVICE(app);
    DeviceScope scope(app);
    WriteAtlas("fontseng_atlas2.bmp");
    ASSERT_TRUE(WriteText("fontseng_atlas2.css", "Name = \"fontseng_atlas2.bmp\"; ColorKey = 4294902015; CharsPerLine = 8;"));
    Charset charset;
    ASSERT_TRUE(charset.Load(patht("fontseng_atlas2.css")));
    const std::vector<unsigned> texels = ReadPixels(charset.GetTexture()->GetD3DTexture(), 0);
    ASSERT_FALSE(texels.empty());
    EXPECT_EQ(texels[0] >> 24, 0u);
    EXPECT_EQ(texels[1], 0xFF808080u);
}

TEST(CharsetTexture, ATextureWithoutASizeGivesZeroCoordinates) {
    Application app;
    REQUIRE_TEXTURE_DEVICE(app);
    DeviceScope scope(app);
    ASSERT_TRUE(WriteText("fontseng_zero.ts", "Empty = 1; Width = 0; Height = 0;"));
    ASSERT_TRUE(WriteText("fontseng_zero.css", "Name = \"fontseng_zero.ts\"; CharsPerLine = 8; StartChar = 32; EndChar = 40;"
                                               "Rects[\"!\"] = array(1, 2, 3, 4);"));
    Charset charset;
    ASSERT_TRUE(charset.Load(patht("fontseng_zero.css")));
    ASSERT_NE(charset.GetTexture(), nullptr);
    EXPECT_EQ(charset.GetCharRect(' '), CharRect());
    EXPECT_EQ(charset.GetCharRect('!'), CharRect());
    EXPECT_EQ(charset.GetCharTexCoords('!', 1, 1, 1, 1), CharRect());
    EXPECT_EQ(charset.GetCharSize('!'), IntPair(2, 14));
}
