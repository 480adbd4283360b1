// Named parameters read from documents, and the settings table over the registry.
#include "Core/ParamTable.h"
#include "Core/Parameter.h"
#include "Core/TextData.h"
#include "Core/TextDataTree.h"
#include "Core/TextNode.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A document parsed from the line form of the text language.
struct Doc {
    explicit Doc(const char16_t* text) { ok = TextData::LoadText(WString(text), tree, nullptr, TextData::kLineForm); }
    TextDataTree tree;
    bool ok;
};

// A node built by hand below parent.
TextNode* AddNode(TextDataTree& parent, const char16_t* name, const char16_t* value = nullptr) {
    TextNode* node = new TextNode();
    node->name = WString(name);
    if (value) node->value = WString(value);
    parent.InsertChild(WString(name), node);
    return node;
}

std::vector<std::string> Lists(const StringListArray& array) {
    std::vector<std::string> out;
    for (const StringList& list : array) {
        std::string joined;
        // A list filled in order keeps current on its last node: one step reaches the first.
        const auto* node = list.current;
        for (i32 i = 0; i < list.count; ++i) {
            node = node->next;
            joined += (i ? "," : "") + std::string(node->payload.c_str());
        }
        out.push_back(joined);
    }
    return out;
}

}  // namespace

// ---- registration ------------------------------------------------------------------------

TEST(Parameters, RegisterForTheirLifetime) {
    const u32 before = g_paramRegistry.RegisteredCount();
    {
        IntParameter width(String("Width"), true);
        IntParameter hidden(String("Hidden"), false);
        EXPECT_EQ(g_paramRegistry.RegisteredCount(), before + 1);
        ASSERT_NE(g_paramRegistry.KeyOf(&width), nullptr);
        EXPECT_STREQ(g_paramRegistry.KeyOf(&width)->c_str(), "Width");
        EXPECT_EQ(g_paramRegistry.KeyOf(&hidden), nullptr);
        // Registering an address again changes its key.
        g_paramRegistry.Register(&width, String("Breadth"));
        EXPECT_EQ(g_paramRegistry.RegisteredCount(), before + 1);
        EXPECT_STREQ(g_paramRegistry.KeyOf(&width)->c_str(), "Breadth");
    }
    EXPECT_EQ(g_paramRegistry.RegisteredCount(), before);
}

TEST(Parameters, NullNodeChangesNothing) {
    i32 target = 9;
    IntParameter i(String("i"), false);
    StringParameter s(String("s"), false);
    FloatArrayParameter fa(String("fa"), false);
    IntRefParameter ref(String("r"), false, &target), dangling(String("d"), false, nullptr);
    i.value = 7;
    s.value = String("keep");
    fa.value.Add(3.0f);
    for (Parameter* p : std::vector<Parameter*>{&i, &s, &fa, &ref}) EXPECT_FALSE(p->Parse(nullptr));
    EXPECT_EQ(i.value, 7);
    EXPECT_STREQ(s.value.c_str(), "keep");
    EXPECT_EQ(fa.value.count, 1);
    EXPECT_EQ(target, 9);
    TextNode node;
    node.value = WString(u"4");
    EXPECT_FALSE(dangling.Parse(&node));
    EXPECT_TRUE(ref.Parse(&node));
    EXPECT_EQ(target, 4);
}

// ---- scalars -----------------------------------------------------------------------------

TEST(Parameters, ScalarsReadTheirKeys) {
    BoolParameter zero(String("Zero"), true), five(String("Five"), true), half(String("Half"), true),
        negative(String("Negative"), true);
    IntParameter truncated(String("Truncated"), true), below(String("Below"), true), mixed(String("Mixed"), true);
    FloatParameter real(String("Real"), true), prefix(String("Mixed"), true);
    StringParameter title(String("Title"), true), greek(String("Greek"), true);
    IntParameter untouched(String("Absent"), true), wrongCase(String("width"), true);
    zero.value = 1;
    untouched.value = 77;
    wrongCase.value = 5;

    Doc doc(u"Zero = 0\nFive = 5\nHalf = 0.5\nNegative = -1\nTruncated = 1.9\nBelow = -1.9\nMixed = 12abc\n"
            u"Real = 2.75\nTitle = \"Corvane \\\"Night\\\"\"\nGreek = \"\u00e9t\u00e9\"\nWidth = 800\n");
    ASSERT_TRUE(doc.ok);
    g_paramRegistry.ReadDocument(doc.tree);

    EXPECT_EQ(zero.value, 0);
    EXPECT_EQ(five.value, 1);
    EXPECT_EQ(half.value, 0);
    EXPECT_EQ(negative.value, 1);
    EXPECT_EQ(truncated.value, 1);
    EXPECT_EQ(below.value, -1);
    EXPECT_EQ(mixed.value, 0);     // not wholly a number
    EXPECT_EQ(prefix.value, 12.0f);  // the same key read as a real: the number of the beginning
    EXPECT_EQ(real.value, 2.75f);
    EXPECT_STREQ(greek.value.c_str(), "\xe9t\xe9");
    EXPECT_EQ(untouched.value, 77);
    EXPECT_EQ(wrongCase.value, 5);  // keys compare case-sensitively
    EXPECT_FALSE(title.value.IsEmpty());
}

TEST(Parameters, ReadingAgainOverwritesOnlyWhatTheDocumentHolds) {
    IntParameter a(String("A"), true), b(String("B"), true), twin(String("B"), true);
    TextDataTree first;
    AddNode(first, u"A", u"1");
    AddNode(first, u"B", u"2");
    g_paramRegistry.ReadDocument(first);
    EXPECT_EQ(a.value, 1);
    EXPECT_EQ(b.value, 2);
    EXPECT_EQ(twin.value, 2);  // two parameters with one key both receive it

    TextDataTree second;
    AddNode(second, u"B", u"3");
    g_paramRegistry.ReadDocument(second);
    EXPECT_EQ(a.value, 1);
    EXPECT_EQ(b.value, 3);
    EXPECT_EQ(twin.value, 3);

    // A node as the document: its top-level children are read.
    TextNode scope;
    AddNode(scope, u"A", u"-4");
    g_paramRegistry.ReadDocument(scope);
    EXPECT_EQ(a.value, -4);
}

// ---- colours and arrays ------------------------------------------------------------------

TEST(Parameters, ColoursAreBytesWithoutClamping) {
    ColorParameter fog(String("Fog"), true), bright(String("Bright"), true), partial(String("Partial"), true);
    fog.value.a = 0.25f;
    partial.value.Set(0.5f, 0.5f, 0.5f, 0.5f);
    Doc doc(u"Fog = array(32, 48, 64)\nBright = array(355,355,355)\nPartial = array(255)\n");
    ASSERT_TRUE(doc.ok);
    g_paramRegistry.ReadDocument(doc.tree);
    EXPECT_FLOAT_EQ(fog.value.r, 32 / 255.0f);
    EXPECT_FLOAT_EQ(fog.value.g, 48 / 255.0f);
    EXPECT_FLOAT_EQ(fog.value.b, 64 / 255.0f);
    EXPECT_EQ(fog.value.a, 0.25f);  // alpha keeps its value
    EXPECT_NEAR(bright.value.r, 355 / 255.0f, 1e-5);
    EXPECT_NEAR(bright.value.b, 1.392f, 1e-3);
    // Missing components keep what they held.
    EXPECT_FLOAT_EQ(partial.value.r, 1.0f);
    EXPECT_EQ(partial.value.g, 0.5f);
    EXPECT_EQ(partial.value.b, 0.5f);
    EXPECT_EQ(partial.value.a, 0.5f);
}

TEST(Parameters, ArraysTakeExactlyTheDocumentsElements) {
    FloatArrayParameter rates(String("Rates"), true);
    IntArrayParameter list(String("List"), true);
    EXPECT_EQ(rates.value.capacity, 10);
    for (int i = 0; i < 7; ++i) rates.value.Add(99.0f);

    Doc doc(u"Rates = array(0.5, 1, 1.5, 2, 2.5)\nList = array(10, , 20,)\n");
    ASSERT_TRUE(doc.ok);
    g_paramRegistry.ReadDocument(doc.tree);
    ASSERT_EQ(rates.value.count, 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(rates.value[i], 0.5f * (i + 1));
    ASSERT_EQ(list.value.count, 2);
    EXPECT_EQ(list.value[0], 10);
    EXPECT_EQ(list.value[1], 20);

    // Elements follow their indices, not the order they were written in.
    Doc indexed(u"List[2] = 30\nList[0] = 10\nList[1] = 20\n");
    ASSERT_TRUE(indexed.ok);
    g_paramRegistry.ReadDocument(indexed.tree);
    ASSERT_EQ(list.value.count, 3);
    EXPECT_EQ(list.value[0], 10);
    EXPECT_EQ(list.value[2], 30);

    // An index gap reads as the element's default; an empty array empties.
    TextDataTree gap;
    TextNode* node = AddNode(gap, u"List");
    AddNode(*node, u"0", u"5");
    AddNode(*node, u"7", u"6");
    TextNode* none = AddNode(gap, u"Rates");
    none->kind = TextNode::kArray;
    g_paramRegistry.ReadDocument(gap);
    ASSERT_EQ(list.value.count, 2);
    EXPECT_EQ(list.value[0], 5);
    EXPECT_EQ(list.value[1], 0);
    EXPECT_EQ(rates.value.count, 0);
}

TEST(Parameters, VectorColourAndTextListArrays) {
    Vec3ArrayParameter glow(String("GlowPos"), true);
    ColorArrayParameter colours(String("Colours"), true);
    StringListArrayParameter cameras(String("Cameras"), true);
    Doc doc(u"GlowPos[0] = array(3991.92,362.159,-5689.91)\nGlowPos[1] = array(-12.5, 0)\n"
            u"Colours = array(array(255, 0, 0), array(0, 510, 0))\n"
            u"Cameras = array(array(\"1.cam\",\"2.cam\"),array(\"3.cam\"),\"4.cam\")\n");
    ASSERT_TRUE(doc.ok);
    g_paramRegistry.ReadDocument(doc.tree);

    ASSERT_EQ(glow.value.count, 2);
    EXPECT_FLOAT_EQ(glow.value[0].x, 3991.92f);
    EXPECT_FLOAT_EQ(glow.value[0].z, -5689.91f);
    EXPECT_EQ(glow.value[1].x, -12.5f);
    EXPECT_EQ(glow.value[1].z, 0.0f);  // a missing component reads 0

    ASSERT_EQ(colours.value.count, 2);
    EXPECT_FLOAT_EQ(colours.value[0].r, 1.0f);
    EXPECT_EQ(colours.value[0].g, 0.0f);
    EXPECT_FLOAT_EQ(colours.value[1].g, 2.0f);
    EXPECT_EQ(colours.value[0].a, 1.0f);
    EXPECT_EQ(colours.value[1].a, 1.0f);

    EXPECT_EQ(Lists(cameras.value), (std::vector<std::string>{"1.cam,2.cam", "3.cam", "4.cam"}));
    // Read again: the lists are replaced, not added to.
    g_paramRegistry.ReadDocument(doc.tree);
    EXPECT_EQ(Lists(cameras.value), (std::vector<std::string>{"1.cam,2.cam", "3.cam", "4.cam"}));
}

// ---- owned parameters --------------------------------------------------------------------

TEST(Parameters, OwnedReferenceParametersAreReadAfterTheRegistered) {
    i32 depth = 1, replaced = 0;
    IntParameter registered(String("OwnedDepth"), true);
    ASSERT_TRUE(g_paramRegistry.Own(String("OwnedDepth"), new IntRefParameter(String("OwnedDepth"), false, &replaced)));
    // The key entered again: the new parameter takes the place of the old, which is deleted.
    ASSERT_TRUE(g_paramRegistry.Own(String("OwnedDepth"), new IntRefParameter(String("OwnedDepth"), false, &depth)));
    EXPECT_FALSE(g_paramRegistry.Own(String("Null"), nullptr));
    EXPECT_EQ(g_paramRegistry.Owned(String("Null")), nullptr);
    const u32 registeredBefore = g_paramRegistry.RegisteredCount();

    TextDataTree doc;
    AddNode(doc, u"OwnedDepth", u"12");
    g_paramRegistry.ReadDocument(doc);
    EXPECT_EQ(depth, 12);
    EXPECT_EQ(replaced, 0);
    EXPECT_EQ(registered.value, 12);
    EXPECT_EQ(g_paramRegistry.RegisteredCount(), registeredBefore);  // owned ones are not registrations
    // Unbound before the variable goes out of scope, and the registry left as it was.
    EXPECT_TRUE(g_paramRegistry.Disown(String("OwnedDepth")));
}
