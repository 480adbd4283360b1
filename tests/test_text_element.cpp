// Text elements: styles inherited and changed by attributes, glyph runs per charset, the
// floating flag, and the inline image an "IMG" element makes through the factory, with
// its texture reference given back after the window is gone.
#include "D3d/TextElement.h"

#include "D3d/Charset.h"
#include "D3d/FontManager.h"
#include "D3d/InlineObjectFactory.h"
#include "D3d/Markup.h"
#include "D3d/Texture.h"
#include "D3d/TextureManager.h"
#include "TextureTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Narrow(const WString& w) {
    std::string out;
    for (u32 i = 0; i < w.length; ++i) out += w.data[i] < 128 ? char(w.data[i]) : '?';
    return out;
}

// The n-th plain run of a document (0 the first).
TextElement* NthRun(TextElement& document, u32 n) {
    TextElement* at = document.FindKind(TextElement::kKindRun);
    for (; at && n; --n) at = at->Next() ? at->Next()->FindKind(TextElement::kKindRun) : nullptr;
    return at;
}

// What the factory double was asked to make, and what happened to it since.
struct Made {
    Texture* texture;
    i32 width;
    i32 height;
    bool deleted = false;
    bool textureKnownAtDeletion = false;
};

class RecordingFactory : public InlineObjectFactory {
public:
    std::vector<Made> made;
    bool fail = false;

    class Object : public InlineObject {
    public:
        Object(RecordingFactory* f, size_t i) : factory(f), index(i) {}
        ~Object() override {
            Made& m = factory->made[index];
            m.deleted = true;
            // The texture must still be alive while its window goes.
            m.textureKnownAtDeletion = m.texture && TheTextureManager().Knows(m.texture);
        }
        RecordingFactory* factory;
        size_t index;
    };

    InlineObject* MakeImage(Texture* texture, i32 width, i32 height) override {
        made.push_back({texture, width, height});
        if (fail) return nullptr;
        return new Object(this, made.size() - 1);
    }
};

class TextElementTest : public ::testing::Test {
protected:
    void SetUp() override {
        TheTextureManager().Reset();
        TheFontManager().Clear();
        Markup::ResetSuccess();
    }
    void TearDown() override {
        TheFontManager().Clear();
        TheTextureManager().Reset();
    }
    RecordingFactory factory;
};

}  // namespace

TEST_F(TextElementTest, BoldComesFromTheTagOrTheAttributeAndNormalClearsIt) {
    TextElement document;
    ASSERT_TRUE(document.SetMarkup(WString(u"<B>a</B><P Bold>b</P><I>c<N>d</N><B>e</B></I><x Italic Normal>f</x>g")));
    EXPECT_TRUE(document.IsChanged());
    EXPECT_EQ(Narrow(document.GetName()), "root");
    const u32 expected[] = {TextStyle::kBold, TextStyle::kBold, TextStyle::kItalic, 0,
                            TextStyle::kBold | TextStyle::kItalic, 0, 0};
    for (u32 i = 0; i < 7; ++i) {
        TextElement* run = NthRun(document, i);
        ASSERT_NE(run, nullptr) << i;
        EXPECT_EQ(run->GetStyle().flags, expected[i]) << Narrow(run->GetText());
    }
}

TEST_F(TextElementTest, AttributesSetSizesSpacingFontAndColoursAndChildrenInheritThem) {
    TextElement document;
    ASSERT_TRUE(document.SetMarkup(
        WString(u"<P Size=20 CharSpace=2 RowSpace='-3' FontName='Serif Sans' Color=0x80FF0000 BGColor=4278190335>"
                u"a<Q Size=9 Color=zz>b</Q></P>c")));
    const TextStyle& a = NthRun(document, 0)->GetStyle();
    EXPECT_EQ(a.size, 20);
    EXPECT_EQ(a.charSpacing, 2);
    EXPECT_EQ(a.rowSpacing, -3);
    EXPECT_EQ(Narrow(a.fontName), "Serif Sans");
    EXPECT_EQ(a.color.ToPacked(), 0x80FF0000u);
    EXPECT_EQ(a.background.ToPacked(), 0xFF0000FFu);
    const TextStyle& b = NthRun(document, 1)->GetStyle();
    EXPECT_EQ(b.size, 9);
    EXPECT_EQ(b.charSpacing, 2);
    EXPECT_EQ(Narrow(b.fontName), "Serif Sans");
    EXPECT_EQ(b.color.ToPacked(), 0u);  // a value that is no number reads as 0
    EXPECT_EQ(b.background.ToPacked(), 0xFF0000FFu);
    const TextStyle& c = NthRun(document, 2)->GetStyle();
    const TextStyle plain;
    EXPECT_EQ(c.size, plain.size);
    EXPECT_EQ(c.flags, 0u);
    EXPECT_EQ(c.color.ToPacked(), plain.color.ToPacked());
    EXPECT_TRUE(c.fontName.IsEmpty());
}

TEST_F(TextElementTest, TextFloatMarksTheElementFloating) {
    TextElement document;
    ASSERT_TRUE(document.SetMarkup(WString(u"<a TextFloat>x</a><b>y</b>")));
    TextElement* a = document.FirstChild();
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->IsFloating());
    EXPECT_FALSE(a->NextSibling()->IsFloating());
    EXPECT_FALSE(NthRun(document, 0)->IsFloating());
}

TEST_F(TextElementTest, WithoutFontsEveryRunIsOneEntryWithoutCharset) {
    TextElement document;
    ASSERT_TRUE(document.SetMarkup(WString(u"abc<b/>d")));
    const TextElement::GlyphRuns& runs = NthRun(document, 0)->GetGlyphRuns();
    ASSERT_EQ(runs.count, 1u);
    EXPECT_EQ(runs.first->key, 0u);
    EXPECT_EQ(runs.first->value, nullptr);
    // An empty run has no entry.
    TextElement* d = NthRun(document, 1);
    d->SetText(WString());
    EXPECT_EQ(d->GetGlyphRuns().count, 0u);
    EXPECT_TRUE(d->IsChanged());
}

TEST_F(TextElementTest, SetMarkupReplacesTheTreeAndReportsTheParse) {
    TextElement document;
    ASSERT_TRUE(document.SetMarkup(WString(u"<B>a</B>")));
    EXPECT_FALSE(document.SetMarkup(WString(u"x</y>")));
    EXPECT_EQ(document.ChildCount(), 1u);
    EXPECT_EQ(Narrow(document.FirstChild()->GetText()), "x");
    EXPECT_EQ(document.Parent(), nullptr);
}

// Layout walks the subtree in a loop: a chain deeper than any stack is styled whole.
TEST_F(TextElementTest, LayoutOfADeepTreeNeedsNoRecursion) {
    TextElement root;
    TextElement* at = &root;
    for (u32 i = 0; i < 200000; ++i) {
        TextElement* child = new TextElement();
        if (i == 0) child->Attributes().Insert(WString(u"Size"), WString(u"33"));
        at->AppendChild(child);
        at = child;
    }
    TextElement* run = new TextElement();
    run->SetRun(true);
    run->AssignText(WString(u"deep"));
    at->AppendChild(run);
    root.Layout(true);
    EXPECT_EQ(run->GetStyle().size, 33);
    EXPECT_EQ(run->GetGlyphRuns().count, 1u);
}

TEST_F(TextElementTest, AnImageTakesItsSizeFromAttributesOrTheTextureAndGivesTheTextureBack) {
    ASSERT_TRUE(texsupport::WriteText("text_pic.ts", "Empty = 1; Width = 32; Height = 16;"));
    {
        TextElement document(&factory);
        ASSERT_TRUE(document.SetMarkup(WString(u"a<IMG Src=\"text_pic.ts\"/>b<IMG Src='text_pic.ts' Width=10>"
                                               u"</IMG><IMG Src=text_none.png Width=5/><IMG/><P Src=text_pic.ts/>")));
        ASSERT_EQ(factory.made.size(), 4u);
        Texture* texture = factory.made[0].texture;
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(factory.made[0].width, 32);
        EXPECT_EQ(factory.made[0].height, 16);
        EXPECT_EQ(factory.made[1].texture, texture);
        EXPECT_EQ(factory.made[1].width, 10);
        EXPECT_EQ(factory.made[1].height, 16);
        // A missing texture: no image, the size from the attributes or 0.
        EXPECT_EQ(factory.made[2].texture, nullptr);
        EXPECT_EQ(factory.made[2].width, 5);
        EXPECT_EQ(factory.made[2].height, 0);
        EXPECT_EQ(factory.made[3].texture, nullptr);
        EXPECT_EQ(factory.made[3].width, 0);
        // Each image element holds one reference; the window holds none.
        EXPECT_EQ(texture->GetRefCount(), 2u);
        EXPECT_EQ(TheTextureManager().TextureCount(), 1u);

        TextElement* image = document.FindKind(TextElement::kKindObject);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(Narrow(image->GetName()), "IMG");
        EXPECT_EQ(image->GetImageTexture(), texture);
        EXPECT_NE(image->GetAttachedObject(), nullptr);
        // The element that is no IMG stays without an object.
        EXPECT_EQ(document.LastChild()->GetKind(), TextElement::kKindMarkup);
        // Laying out again makes nothing new.
        document.Layout(true);
        EXPECT_EQ(factory.made.size(), 4u);
        EXPECT_EQ(texture->GetRefCount(), 2u);

        // Replacing the markup deletes the windows, then gives the textures back.
        ASSERT_TRUE(document.SetMarkup(WString(u"<IMG Src=text_pic.ts/>")));
        EXPECT_TRUE(factory.made[0].deleted);
        EXPECT_TRUE(factory.made[0].textureKnownAtDeletion);
        EXPECT_TRUE(factory.made[1].textureKnownAtDeletion);
        EXPECT_TRUE(factory.made[2].deleted);
        ASSERT_EQ(factory.made.size(), 5u);
        EXPECT_EQ(factory.made[4].texture->GetRefCount(), 1u);
    }
    EXPECT_TRUE(factory.made[4].deleted);
    EXPECT_TRUE(factory.made[4].textureKnownAtDeletion);
    EXPECT_EQ(TheTextureManager().TextureCount(), 0u);
}

TEST_F(TextElementTest, WithoutAFactoryOrAnObjectNoTextureIsKept) {
    ASSERT_TRUE(texsupport::WriteText("text_pic.ts", "Empty = 1; Width = 32; Height = 16;"));
    {
        TextElement document;
        ASSERT_TRUE(document.SetMarkup(WString(u"<IMG Src=text_pic.ts/>")));
        EXPECT_EQ(document.FirstChild()->GetKind(), TextElement::kKindMarkup);
        EXPECT_EQ(TheTextureManager().TextureCount(), 0u);
    }
    factory.fail = true;
    {
        TextElement document(&factory);
        ASSERT_TRUE(document.SetMarkup(WString(u"<IMG Src=text_pic.ts/>")));
        ASSERT_EQ(factory.made.size(), 1u);
        EXPECT_NE(factory.made[0].texture, nullptr);
        EXPECT_EQ(document.FirstChild()->GetAttachedObject(), nullptr);
        EXPECT_EQ(document.FirstChild()->GetImageTexture(), nullptr);
        EXPECT_EQ(TheTextureManager().TextureCount(), 0u);  // given back at once
    }
}

// The factory goes down the parse: an "IMG" nested in markup gets its object from the
// document's factory, and an element handed one later makes its object at its next layout.
TEST_F(TextElementTest, ElementsParsedIntoADocumentTakeItsFactory) {
    TextElement document(&factory);
    ASSERT_TRUE(document.SetMarkup(WString(u"<P><Q>a<IMG Width=3 Height=4/></Q></P>")));
    ASSERT_EQ(factory.made.size(), 1u);
    EXPECT_EQ(factory.made[0].width, 3);
    TextElement* image = document.FindKind(TextElement::kKindObject);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Parent()->Parent()->Parent(), &document);
    EXPECT_EQ(image->ObjectFactory(), &factory);

    TextElement alone;
    ASSERT_TRUE(alone.SetMarkup(WString(u"<IMG Width=5/>")));
    EXPECT_EQ(factory.made.size(), 1u);
    alone.FirstChild()->SetObjectFactory(&factory);
    alone.Layout(true);
    ASSERT_EQ(factory.made.size(), 2u);
    EXPECT_EQ(factory.made[1].width, 5);
    EXPECT_EQ(alone.FirstChild()->GetKind(), TextElement::kKindObject);
}

namespace {

// A font of two charsets without textures: ASCII letters and the Latin-1 upper half.
void LoadTwoCharsetFont() {
    ASSERT_TRUE(texsupport::WriteText("text_low.css", "CharsPerLine = 16; StartChar = 32; EndChar = 127;"));
    ASSERT_TRUE(texsupport::WriteText("text_high.css", "CharsPerLine = 16; StartChar = 128; EndChar = 255;"));
    ASSERT_TRUE(texsupport::WriteText("text_two.fs", "Name = \"Two\"; Styles[0].Size = 14;"
                                                     "Styles[0].Charsets = array(\"text_low.css\", \"text_high.css\");"));
    ASSERT_TRUE(TheFontManager().LoadFont(patht("text_two.fs"), 0));
}

// The glyph runs of a run as "index:start character of the charset" ("index:-" for none).
std::string Runs(const TextElement& run) {
    std::string out;
    const TextElement::GlyphRuns& runs = run.GetGlyphRuns();
    const TextElement::GlyphRuns::Node* node = runs.first;
    for (u32 i = 0; i < runs.count; ++i, node = node->next) {
        if (i) out += ' ';
        out += std::to_string(node->key) + ':' + (node->value ? std::to_string(node->value->GetStartChar()) : "-");
    }
    return out;
}

}  // namespace

TEST_F(TextElementTest, AlternatingCharsetsGiveOneGlyphRunPerChange) {
    LoadTwoCharsetFont();
    TextElement document;
    ASSERT_TRUE(document.SetMarkup(WString(u"ab\u00e9\u00e8c\u00fcd<B>x\u00e9</B>")));
    EXPECT_EQ(Runs(*NthRun(document, 0)), "0:32 2:128 4:32 5:128 6:32");
    EXPECT_EQ(Runs(*NthRun(document, 1)), "0:32 1:128");
    // SetText lays the run out again.
    TextElement* first = NthRun(document, 0);
    first->SetText(WString(u"\u00e9zz"));
    EXPECT_EQ(Runs(*first), "0:128 1:32");
}

TEST_F(TextElementTest, ACharacterNoCharsetCoversGetsAnEntryWithoutCharset) {
    LoadTwoCharsetFont();
    TextElement document;
    ASSERT_TRUE(document.SetMarkup(WString(u"a\u4e00\u4e01b\tc")));
    EXPECT_EQ(Runs(*NthRun(document, 0)), "0:32 1:- 3:32 4:- 5:32");
}
