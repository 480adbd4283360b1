// The markup parser: the tree it builds from text, tags, attributes and raw blocks, the
// success flag on damaged input, the nesting bound, and survival of truncated and
// garbage input.
#include "D3d/Markup.h"

#include "Core/Tokenizer.h"
#include "D3d/TextElement.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::string Narrow(const WString& w) {
    std::string out;
    for (u32 i = 0; i < w.length; ++i) out += w.data[i] < 128 ? char(w.data[i]) : '?';
    return out;
}

WString Wide(const std::u16string& s) {
    return WString::FromBuffer(const_cast<char16_t*>(s.data()), static_cast<u32>(s.size()), true);
}

// A tree as text: a run is its text in quotes, a markup element its name, then its
// attributes in braces and its children in brackets.
std::string Dump(const TextElement* first) {
    std::string out;
    for (const TextElement* e = first; e; e = e->NextSibling()) {
        if (!out.empty()) out += ' ';
        if (e->IsRun()) {
            out += '"' + Narrow(e->GetText()) + '"';
            continue;
        }
        out += Narrow(e->GetName());
        const WStringDictMap& attributes = e->Attributes();
        if (attributes.count) {
            out += '{';
            const WStringDictMap::Node* node = attributes.first;
            for (u32 i = 0; i < attributes.count; ++i, node = node->next) {
                if (i) out += ',';
                out += Narrow(node->key) + '=' + Narrow(node->value);
            }
            out += '}';
        }
        if (e->FirstChild()) out += '[' + Dump(e->FirstChild()) + ']';
    }
    return out;
}

struct Parsed {
    bool ok;
    std::string tree;
};

Parsed ParseText(const std::u16string& text) {
    TextElement document;
    document.SetName(WString(u"root"));
    const bool ok = Markup::Parse(&document, Wide(text));
    EXPECT_EQ(ok, Markup::Succeeded());
    EXPECT_EQ(document.Cursor(), document.FirstChild());
    return {ok, Dump(document.FirstChild())};
}

struct Case {
    const char16_t* text;
    bool ok;
    const char* tree;
};

template <size_t N>
void CheckCases(const Case (&cases)[N]) {
    for (const Case& c : cases) {
        const Parsed p = ParseText(c.text);
        EXPECT_EQ(p.ok, c.ok) << Narrow(WString(c.text));
        EXPECT_EQ(p.tree, c.tree) << Narrow(WString(c.text));
    }
}

}  // namespace

TEST(Markup, TreesFromTextTagsAndRawBlocks) {
    const Case cases[] = {
        {u"", true, ""},
        {u"   ", true, ""},
        {u"  hello world ", true, "\"hello world \""},
        {u"abc  <b>x</b>  def", true, "\"abc  \" b[\"x\"] \"def\""},
        {u"a &amp; b &lt;", true, "\"a &amp; b &lt;\""},
        {u"line\none\ttab", true, "\"line\none\ttab\""},
        {u"x<RAW><b>1</b> > </RAW>y", true, "\"x\" \"<b>1</b> > \" \"y\""},
        {u"<RAW></RAW>", true, "\"\""},
        {u"<b>1<i>2</i>3</b>4", true, "b[\"1\" i[\"2\"] \"3\"] \"4\""},
        {u"<br/>x<hr />", true, "br \"x\" hr"},
        {u"a > b /> c", true, "\"a > b /> c\""},
        {u"</RAW>z", true, "\"</RAW>z\""},
        {u"< b>x</b >", true, "b[\"x\"]"},
        // A closing tag ends its parent whatever its name; a wrong name is recorded.
        {u"<b>x</i>y", false, "b[\"x\"] \"y\""},
        {u"<b><i>x</b>y</i>z", false, "b[i[\"x\"] \"y\"] \"z\""},
        // At the top level a closing tag is compared with the root's name and ends the text.
        {u"a</root>b", true, "\"a\""},
        {u"a</x>b", false, "\"a\""},
        // Damaged closings: the token after the name is not swallowed.
        {u"<b>x</b<i>y</i>", false, "b[\"x\"] i[\"y\"]"},
        {u"<b>x</>y", false, "b[\"x\"] \"y\""},
        {u"<b>x</<i>y</i>", false, "b[\"x\"] i[\"y\"]"},
        {u"<b>x</", false, "b[\"x\"]"},
        // Tags left open are closed silently.
        {u"<b>x<i>y", true, "b[\"x\" i[\"y\"]]"},
        // No tag name: the "<" is text and what follows is not swallowed.
        {u"<>", false, "\"<>\""},
        {u"< >a", false, "\"< >a\""},
        {u"x<", false, "\"x\" \"<\""},
        {u"<<b>c</b>", false, "\"<\" b[\"c\"]"},
        {u"<</b>c", false, "\"<\""},
        // The input ending inside a tag or a raw block drops that element.
        {u"t<b x=1", false, "\"t\""},
        {u"t<b", false, "\"t\""},
        {u"t<RAW>abc", false, "\"t\""},
        {u"<b>t<RAW>abc", false, "b[\"t\"]"},
    };
    CheckCases(cases);
}

TEST(Markup, AttributesTakeQuotedNumberAndWordValues) {
    const Case cases[] = {
        {u"<img src=\"a b\" w=12 flag h='q' n=x>", true, "img{src=a b,w=12,flag=,h=q,n=x}"},
        {u"<p a=1.5 b='it\\'s' c>", true, "p{a=1.5,b=it's,c=}"},
        {u"<p a=1 a=2>", true, "p{a=2}"},
        // A ">" inside a quoted value ends the tag; the quote is then unterminated.
        {u"<a t=\"x>y\">z</a>", false, "a[\"y\">z\"]"},
        // "=" without a name or a value stops the attributes; the parse goes on.
        {u"<p a=1 = b=2>t</p>", true, "p{a=1}[\"t\"]"},
        {u"<p a=(>t</p>", true, "p[\"t\"]"},
        {u"<p a b=>t</p>", true, "p{a=}[\"t\"]"},
    };
    CheckCases(cases);
}

TEST(Markup, ParseAttributesReportsItsOwnFailures) {
    TextElement e;
    EXPECT_TRUE(Markup::ParseAttributes(&e, WString()));
    EXPECT_EQ(e.Attributes().count, 0u);
    EXPECT_TRUE(Markup::ParseAttributes(&e, WString(u"  a  b = 'x' ")));
    EXPECT_EQ(Dump(&e), "{a=,b=x}");
    EXPECT_EQ(e.Attributes().cursor, e.Attributes().first);
    TextElement f;
    EXPECT_FALSE(Markup::ParseAttributes(&f, WString(u"= x")));
    EXPECT_FALSE(Markup::ParseAttributes(&f, WString(u"k=v z =")));
    EXPECT_EQ(Dump(&f), "{k=v}");
    // Its result leaves the flag alone, except for an unterminated quote.
    Markup::ResetSuccess();
    EXPECT_FALSE(Markup::ParseAttributes(&f, WString(u"=")));
    EXPECT_TRUE(Markup::Succeeded());
    EXPECT_FALSE(Markup::ParseAttributes(&f, WString(u"q=\"open")));
    EXPECT_FALSE(Markup::Succeeded());
    Markup::ResetSuccess();
    EXPECT_TRUE(Markup::Succeeded());
    EXPECT_FALSE(Markup::ParseAttributes(nullptr, WString(u"a")));
}

TEST(Markup, EveryTagAndAttributeOfStyledText) {
    const Parsed p = ParseText(
        u"<B>b</B><I>i</I><N>n</N><IMG Src=\"pic.png\" Width=16 Height=8/>"
        u"<P Size=20 CharSpace=2 RowSpace=3 FontName=\"Serif Sans\" Bold Italic Normal Color=0xFF00FF00 "
        u"BGColor=4278190335 TextFloat>t</P>");
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.tree,
              "B[\"b\"] I[\"i\"] N[\"n\"] IMG{Src=pic.png,Width=16,Height=8} "
              "P{Size=20,CharSpace=2,RowSpace=3,FontName=Serif Sans,Bold=,Italic=,Normal=,Color=0xFF00FF00,"
              "BGColor=4278190335,TextFloat=}[\"t\"]");
}

TEST(Markup, ParseAppendsToWhatTheDocumentHolds) {
    TextElement document;
    document.SetName(WString(u"root"));
    EXPECT_TRUE(Markup::Parse(&document, WString(u"a")));
    EXPECT_TRUE(Markup::Parse(&document, WString(u"<b/>c")));
    EXPECT_EQ(Dump(document.FirstChild()), "\"a\" b \"c\"");
    EXPECT_EQ(document.ChildCount(), 3u);
    EXPECT_FALSE(Markup::Parse(nullptr, WString(u"a")));
}

TEST(Markup, ParseElementReadsOneElementFromALexer) {
    const std::u16string text = u"<b>x</b>y</root>";
    Lexer lexer;
    lexer.LoadMarkupTable();
    lexer.SetSource(text.data(), static_cast<u32>(text.size()));
    TextElement root;
    root.SetName(WString(u"root"));
    Markup::ResetSuccess();
    TextElement* a = new TextElement();
    a->SetParent(&root);
    ASSERT_TRUE(Markup::ParseElement(a, lexer));
    root.AppendChild(a);
    TextElement* b = new TextElement();
    b->SetParent(&root);
    ASSERT_TRUE(Markup::ParseElement(b, lexer));
    root.AppendChild(b);
    TextElement c;
    c.SetParent(&root);
    EXPECT_FALSE(Markup::ParseElement(&c, lexer));  // the closing tag
    EXPECT_TRUE(Markup::Succeeded());
    EXPECT_EQ(Dump(root.FirstChild()), "b[\"x\"] \"y\"");
}

// Nesting past the bound would otherwise recurse once per level until the stack ran out.
TEST(Markup, NestingIsBounded) {
    auto nested = [](u32 levels) {
        std::u16string text;
        for (u32 i = 0; i < levels; ++i) text += u"<a>";
        text += u"x";
        for (u32 i = 0; i < levels; ++i) text += u"</a>";
        return text;
    };
    auto deepest = [](const TextElement& document) {
        u32 most = 0;
        for (const TextElement* e = document.FirstChild(); e; e = e->Next()) {
            u32 d = 0;
            for (const TextElement* p = e->Parent(); p; p = p->Parent()) ++d;
            if (d > most) most = d;
        }
        return most;
    };
    {
        TextElement document;
        document.SetName(WString(u"root"));
        EXPECT_TRUE(Markup::Parse(&document, Wide(nested(Markup::kMaxDepth))));
        EXPECT_EQ(deepest(document), Markup::kMaxDepth + 1);  // the text inside the deepest tag
    }
    {
        TextElement document;
        document.SetName(WString(u"root"));
        EXPECT_FALSE(Markup::Parse(&document, Wide(nested(Markup::kMaxDepth + 1))));
        EXPECT_EQ(deepest(document), Markup::kMaxDepth + 1);
    }
    {
        TextElement document;
        document.SetName(WString(u"root"));
        EXPECT_FALSE(Markup::Parse(&document, Wide(nested(200000))));
        EXPECT_LE(deepest(document), Markup::kMaxDepth + 1);
        u32 texts = 0;
        for (const TextElement* e = document.FirstChild(); e; e = e->Next()) texts += e->IsRun();
        EXPECT_EQ(texts, 1u);
    }
}

// Every prefix of a document and random garbage parse without fault, and every run holds
// characters of the source.
TEST(Markup, SurvivesTruncatedAndGarbageInput) {
    const std::u16string full =
        u"<P Size=20 Color='0xFF00FF00'>a <B>bold <I>it</I></B><RAW><x></RAW>"
        u"<IMG Src=\"p.png\" Width=3/> tail &amp;</P><N>n</N>";
    for (size_t n = 0; n <= full.size(); ++n) {
        const std::u16string part = full.substr(0, n);
        TextElement document;
        document.SetName(WString(u"root"));
        const bool ok = Markup::Parse(&document, Wide(part));
        EXPECT_EQ(ok, Markup::Succeeded());
        for (const TextElement* e = document.FirstChild(); e; e = e->Next())
            if (e->IsRun() && e->GetLength()) {
                const std::u16string run(e->GetText().data, e->GetLength());
                EXPECT_NE(full.find(run), std::u16string::npos) << n;
            }
    }
    EXPECT_TRUE(ParseText(full).ok);

    std::mt19937 random(1234);
    const char16_t alphabet[] = u"<>/= \"'abRAWIMG\\\n0x19&;";
    for (int round = 0; round < 2000; ++round) {
        std::u16string text;
        const int length = static_cast<int>(random() % 60);
        for (int i = 0; i < length; ++i) {
            if (random() % 8 == 0)
                text += static_cast<char16_t>(random() & 0xFFFF);
            else
                text += alphabet[random() % (sizeof(alphabet) / sizeof(alphabet[0]) - 1)];
        }
        TextElement document;
        document.SetName(WString(u"root"));
        Markup::Parse(&document, Wide(text));
        u32 total = 0;
        for (const TextElement* e = document.FirstChild(); e; e = e->Next()) total += e->GetLength();
        EXPECT_LE(total, text.size());
    }
}

TEST(TextElement, NextWalksInDocumentOrderAndFindKindPicksRuns) {
    TextElement document;
    document.SetName(WString(u"root"));
    ASSERT_TRUE(Markup::Parse(&document, WString(u"ab<b>cd<i>e</i></b>f")));
    std::string order;
    for (const TextElement* e = &document; e; e = e->Next())
        order += (e->IsRun() ? Narrow(e->GetText()) : "<" + Narrow(e->GetName()) + ">") + " ";
    EXPECT_EQ(order, "<root> ab <b> cd <i> e f ");
    EXPECT_EQ(document.GetKind(), TextElement::kKindMarkup);
    TextElement* first = document.FindKind(TextElement::kKindRun);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Narrow(first->GetText()), "ab");
    EXPECT_EQ(first->FindKind(TextElement::kKindRun), first);
    EXPECT_EQ(Narrow(first->FindKind(TextElement::kKindMarkup)->GetName()), "b");
    EXPECT_EQ(document.FindKind(TextElement::kKindObject), nullptr);
}

TEST(TextElement, CursorCrossesElementsAndStaysOnACharacter) {
    TextElement document;
    document.SetName(WString(u"root"));
    ASSERT_TRUE(Markup::Parse(&document, WString(u"ab<b>cd<i>e</i></b>f")));
    TextCursor cursor(&document, 0);
    EXPECT_EQ(cursor.GetChar(), 0);
    ASSERT_TRUE(cursor.Advance(0));  // off the markup element, no step spent
    EXPECT_EQ(cursor.GetChar(), u'a');
    TextCursor one(&document, 0);
    ASSERT_TRUE(one.Advance(1));  // the move off the markup element is the step
    EXPECT_EQ(one.GetChar(), u'a');
    ASSERT_TRUE(cursor.Advance(2));
    EXPECT_EQ(cursor.GetChar(), u'c');
    ASSERT_TRUE(cursor.Advance(3));
    EXPECT_EQ(cursor.GetChar(), u'f');
    // Exactly what is left in the last run: false, and the cursor stays on "f".
    const TextCursor before = cursor;
    EXPECT_FALSE(cursor.Advance(1));
    EXPECT_EQ(cursor.element, before.element);
    EXPECT_EQ(cursor.index, before.index);
    EXPECT_EQ(cursor.GetChar(), u'f');
    EXPECT_FALSE(cursor.Advance(100));
    EXPECT_EQ(cursor.GetChar(), u'f');
    // NextElement steps to the next element whatever its kind.
    TextCursor walk(document.FirstChild(), 1);
    ASSERT_TRUE(walk.NextElement());
    EXPECT_EQ(Narrow(walk.element->GetName()), "b");
    EXPECT_EQ(walk.index, 0u);
    TextCursor none;
    EXPECT_FALSE(none.Advance(1));
    EXPECT_FALSE(none.NextElement());
    EXPECT_EQ(none.GetChar(), 0);
}

// A chain far deeper than any stack allows is walked and deleted in loops.
TEST(TextElement, DeepTreesAreWalkedAndDeletedWithoutRecursion) {
    TextElement* root = new TextElement();
    TextElement* at = root;
    const u32 levels = 300000;
    for (u32 i = 0; i < levels; ++i) {
        TextElement* child = new TextElement();
        at->AppendChild(child);
        if (i % 3 == 0) {
            TextElement* run = new TextElement();
            run->SetRun(true);
            at->AppendChild(run);
        }
        at = child;
    }
    u32 visited = 0;
    for (const TextElement* e = root; e; e = e->Next()) ++visited;
    EXPECT_EQ(visited, 1 + levels + (levels + 2) / 3);
    delete root;
}

TEST(TextElement, ScaleSizeTruncates) {
    EXPECT_EQ(ScaleSize(IntPair(10, 7), 1.5f), IntPair(15, 10));
    EXPECT_EQ(ScaleSize(IntPair(-3, 3), 1.5f), IntPair(-4, 4));
    EXPECT_EQ(ScaleSize(IntPair(100, 100), 0.0f), IntPair(0, 0));
    // Beyond the integer range the result is held at its end instead of being undefined.
    EXPECT_EQ(ScaleSize(IntPair(2000000000, -2000000000), 4.0f), IntPair(2147483647, -2147483647 - 1));
}
