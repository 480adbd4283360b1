// The text data tree: children by case-sensitive name in creation order, the value
// readers, deep copies and the release of deep trees.
#include "Core/String.h"
#include "Core/TextCodec.h"
#include "Core/TextData.h"
#include "Core/TextNode.h"
#include "Core/WString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

WString W(const char* text) { return WString::FromNarrow(text); }
std::string N(const WString& w) { return String::FromWString(w).c_str(); }

// A new child under a name, owned by the parent.
TextNode* Add(TextDataTree& parent, const char* name, const char* value = "", u32 after = 1) {
    TextNode* node = new TextNode;
    node->name = W(name);
    node->value = W(value);
    parent.InsertChild(node->name, node, after);
    return node;
}

std::string Order(const TextDataTree& tree) {
    std::string out;
    const TextDataTree::Entry* entry = tree.first;
    for (u32 i = 0; i < tree.count; ++i, entry = entry->next) out += (i ? "," : "") + N(entry->key);
    return out;
}

}  // namespace

TEST(TextNodeValues, IntegersRealsAndText) {
    struct Case {
        const char* text;
        i32 asInt;
        double asReal;
    };
    const Case cases[] = {
        {"800", 800, 800.0},       {"1.9", 1, 1.9},       {"-1.9", -1, -1.9},       {"", 0, 0.0},
        {"12abc", 0, 12.0},        {"abc", 0, 0.0},       {"  7", 7, 7.0},          {"2147483647", 2147483647, 2147483647.0},
        {"2147483648", 0, 2147483648.0}, {"-2147483648", -2147483647 - 1, -2147483648.0},
        {"0x10", 16, 16.0},        {"1e3", 1000, 1000.0}, {"3.5 ", 0, 3.5},
    };
    for (const Case& c : cases) {
        TextNode node;
        node.value = W(c.text);
        EXPECT_EQ(node.GetInt(), c.asInt) << c.text;
        EXPECT_DOUBLE_EQ(node.GetReal(), c.asReal) << c.text;
        EXPECT_EQ(N(node.GetString()), c.text);
    }
    // A unit beyond ASCII ends the number.
    TextNode wide;
    wide.value = WString(u"5\u00B2");
    EXPECT_EQ(wide.GetInt(), 0);
    EXPECT_DOUBLE_EQ(wide.GetReal(), 5.0);

    EXPECT_EQ(TextNode::IntOf(nullptr), 0);
    EXPECT_EQ(TextNode::RealOf(nullptr), 0.0);
    EXPECT_TRUE(TextNode::StringOf(nullptr).IsEmpty());
}

TEST(TextNodeValues, Vec3ReadsTheFirstThreeElements) {
    TextNode node;
    Add(node, "0", "1.5");
    Add(node, "1", "-2");
    Add(node, "2", "1e2");
    Add(node, "3", "9");
    float xyz[3] = {7, 7, 7};
    node.GetVec3(xyz);
    EXPECT_FLOAT_EQ(xyz[0], 1.5f);
    EXPECT_FLOAT_EQ(xyz[1], -2.0f);
    EXPECT_FLOAT_EQ(xyz[2], 100.0f);

    // Missing elements read 0.
    TextNode shorter;
    Add(shorter, "1", "4");
    shorter.GetVec3(xyz);
    EXPECT_FLOAT_EQ(xyz[0], 0.0f);
    EXPECT_FLOAT_EQ(xyz[1], 4.0f);
    EXPECT_FLOAT_EQ(xyz[2], 0.0f);
}

TEST(TextTreeChildren, NamesAreCaseSensitiveAndKeepCreationOrder) {
    TextDataTree doc;
    TextNode* upper = Add(doc, "Width", "800");
    TextNode* lower = Add(doc, "width", "640");
    Add(doc, "Alpha");
    Add(doc, "zeta");
    Add(doc, "Beta");
    EXPECT_EQ(doc.GetChild("Width"), upper);
    EXPECT_EQ(doc.GetChild(W("width")), lower);
    EXPECT_EQ(doc.GetChild("WIDTH"), nullptr);
    EXPECT_EQ(doc.FindChild("Widt"), nullptr);
    EXPECT_EQ(doc.FindChild(u"Width", 5)->value, upper);
    EXPECT_EQ(Order(doc), "Width,width,Alpha,zeta,Beta");
    EXPECT_EQ(N(doc.FirstChildKey()), "Beta");  // the cursor is on the last one added
    EXPECT_EQ(doc.ChildCount(), 5u);
}

TEST(TextTreeChildren, InsertNextToTheCursorAndReplace) {
    TextNode node;
    Add(node, "a");
    Add(node, "b");
    node.cursor = node.first;
    Add(node, "after-a");         // after the cursor, which moves onto it
    Add(node, "before", "", 0);  // before the cursor
    EXPECT_EQ(Order(node), "a,before,after-a,b");

    // An existing name keeps its place; only the node changes, and the old one stays
    // the caller's.
    TextNode* old = node.GetChild("b");
    TextNode* replacement = new TextNode;
    TextDataTree::Entry* entry = node.InsertChild(W("b"), replacement, 1);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(node.GetChild("b"), replacement);
    EXPECT_EQ(Order(node), "a,before,after-a,b");
    delete old;
}

TEST(TextTreeChildren, IndexNames) {
    TextNode node;
    Add(node, "0", "zero");
    Add(node, "12", "twelve");
    Add(node, "-3", "minus");
    EXPECT_EQ(N(node.GetChild(0)->value), "zero");
    EXPECT_EQ(N(node.GetChild(12)->value), "twelve");
    EXPECT_EQ(N(node.GetChild(-3)->value), "minus");
    EXPECT_EQ(node.GetChild(1), nullptr);
    char16_t units[12];
    EXPECT_EQ(TextDataTree::IndexName(-2147483647 - 1, units), 11u);
    EXPECT_EQ(N(WString(units)), "-2147483648");
}

TEST(TextTreeRelease, ClearKeepsNodesAndClearChildrenDeletesThem) {
    TextNode node;
    TextNode* child = Add(node, "kept");
    Add(*child, "grandchild");
    node.Clear();
    EXPECT_EQ(node.ChildCount(), 0u);
    EXPECT_EQ(node.GetChild("kept"), nullptr);
    EXPECT_EQ(child->ChildCount(), 1u);  // still alive: Clear freed only the entries
    delete child;

    Add(node, "x");
    Add(*Add(node, "y"), "z");
    node.ClearChildren();
    EXPECT_EQ(node.ChildCount(), 0u);
    EXPECT_EQ(N(node.FirstChildKey()), "");
    Add(node, "again");  // the map works after being reset
    EXPECT_EQ(Order(node), "again");
}

TEST(TextTreeRelease, DeepTreesGoWithoutRecursion) {
    TextDataTree* doc = new TextDataTree;
    TextDataTree* parent = doc;
    for (int i = 0; i < 300000; ++i) parent = Add(*parent, "d");
    EXPECT_TRUE(TextDataTree::TreeContains(doc->GetChild("d"), static_cast<TextNode*>(parent)));
    delete doc;  // a document owns what was parsed into it
}

TEST(TextNodeCopy, CopiesAreDeepOrderedAndIndependent) {
    TextNode source;
    source.kind = TextNode::kArray;
    source.indexCounter = 3;
    source.name = W("src");
    Add(source, "2", "c");
    TextNode* middle = Add(source, "0", "a");
    Add(*middle, "inner", "deep");
    Add(source, "1", "b");
    source.cursor = source.FindChild("0");

    TextNode copy;
    Add(copy, "old");
    u64 made = 0;
    ASSERT_TRUE(copy.CopyFrom(source, ~u64(0), &made));
    EXPECT_EQ(made, 4u);
    EXPECT_EQ(copy.kind, TextNode::kArray);
    EXPECT_EQ(copy.indexCounter, 3u);
    EXPECT_EQ(N(copy.name), "src");
    EXPECT_EQ(Order(copy), "2,0,1");
    EXPECT_EQ(N(copy.FirstChildKey()), "0");
    EXPECT_NE(copy.GetChild("0"), source.GetChild("0"));
    copy.GetChild("0")->GetChild("inner")->value = W("changed");
    EXPECT_EQ(N(source.GetChild("0")->GetChild("inner")->value), "deep");
}

TEST(TextNodeCopy, FromItselfAboveAndBelow) {
    TextNode root;
    TextNode* a = Add(root, "a", "va");
    TextNode* b = Add(*a, "b", "vb");
    Add(*b, "c", "vc");

    ASSERT_TRUE(a->CopyFrom(*a));
    EXPECT_EQ(Order(*a), "b");
    EXPECT_EQ(N(a->GetChild("b")->GetChild("c")->value), "vc");

    // From below: b goes away with a's old children, after being copied.
    a = root.GetChild("a");
    ASSERT_TRUE(a->CopyFrom(*a->GetChild("b")));
    EXPECT_EQ(N(a->value), "vb");
    EXPECT_EQ(Order(*a), "c");

    // From above: the copy holds what the ancestor held, including the target's old self.
    TextNode* c = a->GetChild("c");
    ASSERT_TRUE(c->CopyFrom(*a));
    EXPECT_EQ(N(c->value), "vb");
    EXPECT_EQ(Order(*c), "c");
    EXPECT_EQ(N(c->GetChild("c")->value), "vc");
}

TEST(TextNodeCopy, ALimitLeavesTheTargetUnchanged) {
    TextNode source;
    for (int i = 0; i < 10; ++i) Add(source, std::to_string(i).c_str(), "x");
    TextNode target;
    target.value = W("mine");
    Add(target, "keep");
    EXPECT_FALSE(target.CopyFrom(source, 9));
    EXPECT_EQ(N(target.value), "mine");
    EXPECT_EQ(Order(target), "keep");
    EXPECT_TRUE(target.CopyFrom(source, 10));
    EXPECT_EQ(target.ChildCount(), 10u);
}

TEST(TextTreeParsed, ArraysReadByIndexName) {
    TextDataTree doc;
    TextNode* current = nullptr;
    ASSERT_TRUE(TextData::ParseStatementForm(doc, W("Colors = array(array(255, 128, 0), array(355, 0, 0))"), current,
                                             nullptr, TextData::kLineForm));
    ASSERT_TRUE(TextData::ParseStatementForm(doc, W("Gap = array(1, 2)"), current, nullptr, TextData::kLineForm));
    ASSERT_TRUE(TextData::ParseStatementForm(doc, W("Gap[1] = "), current, nullptr, TextData::kLineForm));
    ASSERT_TRUE(TextData::ParseStatementForm(doc, W("Gap[5] = 6"), current, nullptr, TextData::kLineForm));

    const TextNode* colors = doc.GetChild("Colors");
    ASSERT_NE(colors, nullptr);
    std::string read;
    for (u32 i = 0; i < colors->ChildCount(); ++i) {
        float rgb[3];
        colors->GetChild(static_cast<i32>(i))->GetVec3(rgb);
        read += std::to_string(static_cast<int>(rgb[0])) + "/" + std::to_string(static_cast<int>(rgb[1])) + "/" +
                std::to_string(static_cast<int>(rgb[2])) + " ";
    }
    EXPECT_EQ(read, "255/128/0 355/0/0 ");

    // Three children, but index 2 names none: the reader gets no node and reads 0.
    const TextNode* gap = doc.GetChild("Gap");
    ASSERT_EQ(gap->ChildCount(), 3u);
    std::string ints;
    for (u32 i = 0; i < gap->ChildCount(); ++i) ints += std::to_string(TextNode::IntOf(gap->GetChild(static_cast<i32>(i)))) + " ";
    EXPECT_EQ(ints, "1 0 0 ");
}
