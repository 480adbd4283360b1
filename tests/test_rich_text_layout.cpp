// The text layout of the rich-text window with a fixed-cell font (8 x 10 pixels a
// character): word wrap on and off, words and characters wider than the width, line
// records and their positions, the lines a clip lets through, and glyph quads cut by the
// clip with their texture coordinates cut alike.
#include "Gui/TextLayout.h"

#include "D3d/InlineObjectFactory.h"

#include "RichTextSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace richtext;

namespace {

// The characters of every plain run in document order: what text positions index.
std::string PlainText(TextElement& root) {
    std::string out;
    for (TextElement* e = &root; e; e = e->Next())
        if (e->IsRun()) out += Narrow(e->GetText());
    return out;
}

// The text of each line record, from its positions.
std::vector<std::string> LineTexts(TextLayout& layout, TextElement& root) {
    const std::string text = PlainText(root);
    std::vector<std::string> out;
    for (const TextLine& line : layout.Lines()) {
        if (line.firstPos < 0) {
            out.push_back("");
            continue;
        }
        out.push_back(text.substr(line.firstPos, line.lastPos - line.firstPos + 1));
    }
    return out;
}

class RichTextLayoutTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(LoadCellFont(false)); }

    std::vector<std::string> Wrap(const char* markup, i32 width, bool wrap) {
        EXPECT_TRUE(root.SetMarkup(WString::FromNarrow(markup)));
        layout.Wrap(&root, width, wrap);
        return LineTexts(layout, root);
    }

    FontScope scope;
    TextElement root;
    TextLayout layout;
};

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(RichTextLayoutTest, WrapTable) {
    const struct {
        const char* markup;
        i32 width;
        bool wrap;
        Lines lines;
    } cases[] = {
        // Exactly five cells fit 40 pixels; the blank after them stays on its line.
        {"aa bb cc", 40, true, {"aa bb ", "cc"}},
        {"aa bb cc", 39, true, {"aa ", "bb ", "cc"}},
        // Without wrap only line breaks end lines.
        {"aa bb cc dd ee", 20, false, {"aa bb cc dd ee"}},
        {"aa\nbb cc", 20, false, {"aa\n", "bb cc"}},
        // A word wider than the width: split after the last character that fits.
        {"abcdefghij", 40, true, {"abcde", "fghij"}},
        {"abcdefghijk", 40, true, {"abcde", "fghij", "k"}},
        // ... and it starts on a fresh line when the line already holds a word.
        {"xy abcdefghij", 40, true, {"xy ", "abcde", "fghij"}},
        // A character wider than the width takes a line of its own.
        {"ab", 5, true, {"a", "b"}},
        {"a b", 5, true, {"a ", "b"}},
        // A line break ends the line after it; a break at the end leaves an empty last line.
        {"ab\n", 100, true, {"ab\n", ""}},
        {"a\n\nb", 100, true, {"a\n", "\n", "b"}},
        // Words run across elements; styles do not break them.
        {"ab<B>cd</B>ef gh", 48, true, {"abcdef ", "gh"}},
        {"", 100, true, {""}},
    };
    for (const auto& c : cases) EXPECT_EQ(Wrap(c.markup, c.width, c.wrap), c.lines) << c.markup << " / " << c.width;
}

TEST_F(RichTextLayoutTest, LineRecordsHoldPlaceSizeAndPositions) {
    Wrap("aa bb cc\n\ndd", 40, true);
    const std::vector<TextLine>& lines = layout.Lines();
    ASSERT_EQ(lines.size(), 4u);
    const struct {
        i32 bottom, height, left, right, first, last;
    } expected[] = {
        {10, 10, 0, 48, 0, 5},   // "aa bb "
        {20, 10, 0, 16, 6, 8},   // "cc\n"
        {30, 10, 0, 0, 9, 9},    // "\n": an empty line ended by a break takes one position
        {40, 10, 0, 16, 10, 11}, // "dd"
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].bottom, expected[i].bottom) << i;
        EXPECT_EQ(lines[i].height, expected[i].height) << i;
        EXPECT_EQ(lines[i].left, expected[i].left) << i;
        EXPECT_EQ(lines[i].right, expected[i].right) << i;
        EXPECT_EQ(lines[i].firstPos, expected[i].first) << i;
        EXPECT_EQ(lines[i].lastPos, expected[i].last) << i;
        ASSERT_NE(lines[i].key.element, nullptr);
        EXPECT_TRUE(lines[i].key.element->IsRun()) << i;
    }
    // The text's extent: the widest line and the last bottom.
    EXPECT_EQ(layout.Extent(), IntPair(48, 40));
    // Keys name the first character of each line.
    EXPECT_EQ(lines[1].key.GetChar(), u'c');
    EXPECT_EQ(lines[3].key.GetChar(), u'd');
}

TEST_F(RichTextLayoutTest, RowSpacingAndScaleShapeTheLines) {
    Wrap("<P RowSpace=5>ab\ncd</P>", 100, true);
    ASSERT_EQ(layout.Lines().size(), 2u);
    EXPECT_EQ(layout.Lines()[0].bottom, 10);
    EXPECT_EQ(layout.Lines()[1].bottom, 25);  // 10 + spacing 5 + height 10

    // Character spacing widens every character, and so the line.
    Wrap("<P CharSpace=2>abcd</P>", 100, true);
    ASSERT_EQ(layout.Lines().size(), 1u);
    EXPECT_EQ(layout.Lines()[0].right, 40);
    Wrap("<P CharSpace=2>abcd</P>", 30, true);
    EXPECT_EQ(LineTexts(layout, root), (Lines{"abc", "d"}));
}

TEST_F(RichTextLayoutTest, WithoutARootOrAFontThereIsNothingToMeasure) {
    layout.Wrap(nullptr, 100, true);
    EXPECT_TRUE(layout.Lines().empty());
    EXPECT_EQ(MeasureText(nullptr), IntPair(kCellWidth, kCellHeight));
    TheFontManager().Clear();
    EXPECT_EQ(MeasureText(nullptr), IntPair(0, 0));
    // Characters without a charset take no room; the lines still come out.
    EXPECT_TRUE(root.SetMarkup(WString(u"ab cd")));
    layout.Wrap(&root, 1, true);
    EXPECT_EQ(LineTexts(layout, root), (Lines{"ab cd"}));
    // Without a font the line has no height either; a clip reaching above it still meets it.
    EXPECT_EQ(layout.Lines()[0].height, 0);
    EXPECT_EQ(layout.Place(IntPair(0, 0), IntRect(0, -10, 100, 100), IntPair(0, 0), {}), 1);
    EXPECT_TRUE(layout.Glyphs().empty());
}

TEST_F(RichTextLayoutTest, OnlyLinesThatMeetTheClipAreLaidOut) {
    std::string text;
    for (int i = 0; i < 10; ++i) text += "xy\n";
    Wrap(text.c_str(), 100, true);
    ASSERT_EQ(layout.Lines().size(), 11u);

    // Lines 0 to 3 start above y = 35; line 4 starts at 40 and is not laid out.
    EXPECT_EQ(layout.Place(IntPair(0, 0), IntRect(0, 0, 100, 35), IntPair(0, 0), {}), 4);
    EXPECT_EQ(layout.Glyphs().size(), 8u);
    EXPECT_EQ(layout.Drawn().back().line, 3);

    // Scrolled by 25 and seen from a window at (100, 200): lines 2 to 5 meet the clip.
    EXPECT_EQ(layout.Place(IntPair(100, 200), IntRect(100, 200, 200, 235), IntPair(0, 25), {}), 4);
    EXPECT_EQ(layout.Drawn().front().line, 2);
    EXPECT_EQ(layout.Drawn().back().line, 5);
    const GlyphRecord& first = layout.Glyphs().front();
    EXPECT_TRUE(IntRect::Equals(first.rect, IntRect(100, 195, 108, 205)));
    EXPECT_EQ(first.position, 6);
    EXPECT_EQ(first.ch, u'x');

    // A clip below every line lays out nothing.
    EXPECT_EQ(layout.Place(IntPair(0, 0), IntRect(0, 500, 100, 600), IntPair(0, 0), {}), 0);
    EXPECT_TRUE(layout.Glyphs().empty());
}

TEST_F(RichTextLayoutTest, GlyphsBesideTheClipGetNoRecordAndSelectionColoursTheRange) {
    Wrap("<P Color=0xFF112233 BGColor=0xFF445566>abcdef</P>", 100, false);
    TextLayout::Selection selection;
    selection.start = 1;
    selection.end = 3;
    selection.textColor = 0xFFC80000;
    selection.backColor = 0xFF000064;
    ASSERT_EQ(layout.Place(IntPair(0, 0), IntRect(4, 0, 20, 10), IntPair(0, 0), selection), 1);
    // Glyphs 0 (0..8), 1 (8..16) and 2 (16..24) meet the clip 4..20; the rest lie right of it.
    ASSERT_EQ(layout.Glyphs().size(), 3u);
    const u32 colors[3] = {0xFF112233, 0xFFC80000, 0xFFC80000};
    const u32 backs[3] = {0xFF445566, 0xFF000064, 0xFF000064};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(layout.Glyphs()[i].color, colors[i]) << i;
        EXPECT_EQ(layout.Glyphs()[i].background, backs[i]) << i;
        EXPECT_EQ(layout.Glyphs()[i].advance, kCellWidth);
    }
}

TEST(RichTextQuads, AGlyphCutByTheClipHasItsTextureCoordinatesCutAlike) {
    Application app;
    REQUIRE_TEXTURE_DEVICE(app);
    texsupport::DeviceScope deviceScope(app);
    FontScope scope;
    ASSERT_TRUE(LoadCellFont(true));
    Charset* cells = TheFontManager().GetDefaultCharset();
    ASSERT_NE(cells->GetTexture(), nullptr);

    // "!" is cell 1: u from 8/128 to 16/128, v from 0 to 10/64.
    GlyphRecord glyph;
    glyph.rect = IntRect(100, 50, 108, 60);
    glyph.advance = 8;
    glyph.ch = u'!';
    glyph.charset = cells;
    glyph.color = 0xFF010203;
    glyph.background = 0xFF040506;

    GlyphVertex v[6];
    ASSERT_TRUE(TextLayout::GlyphQuad(glyph, IntRect(0, 0, 640, 480), 0.25f, v));
    // Two clockwise triangles: top left, top right, bottom right; top left, bottom right, bottom left.
    const f32 xs[6] = {99.5f, 107.5f, 107.5f, 99.5f, 107.5f, 99.5f};
    const f32 ys[6] = {49.5f, 49.5f, 59.5f, 49.5f, 59.5f, 59.5f};
    const f32 us[6] = {8.0f / 128, 16.0f / 128, 16.0f / 128, 8.0f / 128, 16.0f / 128, 8.0f / 128};
    const f32 vs[6] = {0.0f, 0.0f, 10.0f / 64, 0.0f, 10.0f / 64, 10.0f / 64};
    for (int i = 0; i < 6; ++i) {
        EXPECT_FLOAT_EQ(v[i].x, xs[i]) << i;
        EXPECT_FLOAT_EQ(v[i].y, ys[i]) << i;
        EXPECT_FLOAT_EQ(v[i].z, 0.25f);
        EXPECT_FLOAT_EQ(v[i].rhw, 1.0f);
        EXPECT_EQ(v[i].color, 0xFF010203u);
        EXPECT_FLOAT_EQ(v[i].u, us[i]) << i;
        EXPECT_FLOAT_EQ(v[i].v, vs[i]) << i;
    }

    // Cut 2 pixels on the left and 5 at the bottom: a quarter of the width, half the height.
    ASSERT_TRUE(TextLayout::GlyphQuad(glyph, IntRect(102, 0, 640, 55), 0.25f, v));
    EXPECT_FLOAT_EQ(v[0].x, 101.5f);
    EXPECT_FLOAT_EQ(v[2].y, 54.5f);
    EXPECT_FLOAT_EQ(v[0].u, 10.0f / 128);
    EXPECT_FLOAT_EQ(v[1].u, 16.0f / 128);
    EXPECT_FLOAT_EQ(v[0].v, 0.0f);
    EXPECT_FLOAT_EQ(v[2].v, 5.0f / 64);

    // The background spans the advance and is cut the same way.
    ShadeVertex s[6];
    ASSERT_TRUE(TextLayout::ShadeQuad(glyph, IntRect(102, 0, 640, 55), 0.5f, s));
    EXPECT_FLOAT_EQ(s[0].x, 101.5f);
    EXPECT_FLOAT_EQ(s[1].x, 107.5f);
    EXPECT_FLOAT_EQ(s[2].y, 54.5f);
    EXPECT_EQ(s[0].color, 0xFF040506u);
    EXPECT_FLOAT_EQ(s[0].z, 0.5f);

    // Wholly outside: a collapsed quad that draws nothing.
    EXPECT_FALSE(TextLayout::GlyphQuad(glyph, IntRect(200, 0, 640, 480), 0.25f, v));
    for (int i = 1; i < 6; ++i) {
        EXPECT_EQ(v[i].x, v[0].x);
        EXPECT_EQ(v[i].y, v[0].y);
    }
    EXPECT_FALSE(TextLayout::ShadeQuad(glyph, IntRect(0, 60, 640, 480), 0.5f, s));
}

namespace {

// Inline objects sized by their element's "Width" and "Height", made by a factory double.
class SizedObjects : public InlineObjectFactory {
public:
    struct Object : InlineObject {
        IntPair size;
    };
    InlineObject* MakeImage(Texture*, i32 width, i32 height) override {
        Object* object = new Object;
        object->size = IntPair(width, height);
        return object;
    }
    static IntPair SizeOf(const TextElement* element, void*) {
        const auto* object = static_cast<const Object*>(element->GetAttachedObject());
        return object ? object->size : IntPair(0, 0);
    }
};

class RichTextObjectsTest : public RichTextLayoutTest {
protected:
    void SetUp() override {
        RichTextLayoutTest::SetUp();
        root.SetObjectFactory(&factory);
        layout.SetObjectSize(&SizedObjects::SizeOf, nullptr);
    }
    void TearDown() override {
        root.SetMarkup(WString());
        root.SetObjectFactory(nullptr);
    }
    SizedObjects factory;
};

}  // namespace

TEST_F(RichTextObjectsTest, AnInlineObjectIsAWordOfItsOwnStandingOnTheLine) {
    Wrap("ab<IMG Width=16 Height=20/>cd", 100, true);
    ASSERT_EQ(layout.Lines().size(), 1u);
    EXPECT_EQ(layout.Lines()[0].height, 20);
    EXPECT_EQ(layout.Lines()[0].right, 48);
    // Objects take no text position: "abcd" is 0 to 3.
    EXPECT_EQ(layout.Lines()[0].lastPos, 3);
    ASSERT_EQ(layout.Place(IntPair(5, 7), IntRect(0, 0, 200, 200), IntPair(0, 0), {}), 1);
    ASSERT_EQ(layout.Objects().size(), 1u);
    // Relative to the window: after "ab", its bottom on the line's bottom.
    EXPECT_EQ(layout.Objects()[0].origin, IntPair(16, 0));
    ASSERT_EQ(layout.Glyphs().size(), 4u);
    EXPECT_EQ(layout.Glyphs()[2].rect.left, 5 + 32);

    // An object that does not fit goes to the next line like a word.
    Wrap("abcd<IMG Width=40 Height=10/>", 64, true);
    EXPECT_EQ(layout.Lines().size(), 2u);
}

TEST_F(RichTextObjectsTest, AFloatingObjectPushesTheLinesBesideItAside) {
    Wrap("<IMG TextFloat Width=16 Height=25/>ab\ncd\nef\ngh", 100, true);
    ASSERT_EQ(layout.Lines().size(), 4u);
    // The object's own line starts at 0 with it; the following lines whose top lies above
    // its bottom (25) start right of it.
    const i32 lefts[4] = {0, 16, 16, 0};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(layout.Lines()[i].left, lefts[i]) << i;
    EXPECT_EQ(layout.Lines()[0].height, 10);  // the object floats: it does not raise the line
    ASSERT_EQ(layout.Place(IntPair(0, 0), IntRect(0, 0, 200, 200), IntPair(0, 0), {}), 4);
    ASSERT_EQ(layout.Objects().size(), 1u);
    EXPECT_EQ(layout.Objects()[0].origin, IntPair(0, 0));  // its top on the line's top
    EXPECT_EQ(layout.Glyphs()[0].rect.left, 16);

    // A floating object after words starts a line of its own.
    Wrap("ab<IMG TextFloat Width=16 Height=25/>cd", 100, true);
    ASSERT_EQ(layout.Lines().size(), 2u);
    ASSERT_EQ(layout.Place(IntPair(0, 0), IntRect(0, 0, 200, 200), IntPair(0, 0), {}), 2);
    ASSERT_EQ(layout.Objects().size(), 1u);
    EXPECT_EQ(layout.Objects()[0].origin, IntPair(0, 10));
    ASSERT_EQ(layout.Glyphs().size(), 4u);
    EXPECT_EQ(layout.Glyphs()[2].rect.left, 16);
}
