// Loading a window tree's configuration: the frame rectangle and its limits, the
// children's rules and anchors (also on siblings configured later), styles, the keys the
// loader takes out of the node and those it keeps as parameters.
#include "Core/TextData.h"
#include "Core/TextNode.h"
#include "Core/WString.h"
#include "Gui/StyleRegistry.h"
#include "Gui/Window.h"
#include "Gui/WindowManager.h"

#include <gtest/gtest.h>

namespace {

struct Doc {
    TextDataTree tree;
    bool ok;
    explicit Doc(const char* text) {
        ok = TextData::LoadText(WString::FromNarrow(text), tree, nullptr, TextData::kStatementForm);
    }
    TextNode* Cfg() { return tree.GetChild("Cfg"); }
};

class LoadWindowsTest : public ::testing::Test {
protected:
    void SetUp() override { StyleRegistry::Reset(); }
    void TearDown() override {
        TheWindowManager().Reset();
        StyleRegistry::Reset();
    }
};

TEST_F(LoadWindowsTest, FrameRectangleAndItsLimits) {
    const struct {
        const char* text;
        IntRect expected;
    } rows[] = {
        {"Cfg = object(WindowFrame = object(x1 = 10, y1 = 20, x2 = 50, y2 = 60, w = 80));", {10, 20, 80, 60}},
        {"Cfg = object(WindowFrame = object(x1 = 1, y1 = 2, x2 = 0, y2 = 5000));", {1, 2, 1, 2000}},
        {"Cfg = object(WindowFrame = object(h = 7));", {0, 0, 1, 7}},
        {"Cfg = object(WindowFrame = 12);", {0, 0, 1, 1}},  // not an object: every value missing
    };
    for (const auto& row : rows) {
        Doc doc(row.text);
        ASSERT_TRUE(doc.ok) << row.text;
        Window w;
        w.LoadWindows(doc.Cfg());
        EXPECT_TRUE(IntRect::Equals(w.GetRect(), row.expected)) << row.text;
        EXPECT_EQ(doc.Cfg()->GetChild("WindowFrame"), nullptr);
    }
}

TEST_F(LoadWindowsTest, ChildrenRulesForwardAnchorsStylesAndParameters) {
    Doc doc(
        "Cfg = object("
        "  WindowFrame = object(x1 = 0, y1 = 0, w = 400, h = 300),"
        "  Windows = object("
        "    label = object(width = 120, height = object(b = 30, k = 0.5),"
        "      anchors = object(X1 = object(window = \"button\", align = \"X2\", offset = 4),"
        "                       Y1 = object(window = \"Parent\", align = \"Y1\", offset = object(b = 6, k = 0)))),"
        "    ghost = object(width = 5),"
        "    button = object(width = 40, height = 20,"
        "      anchors = object(X1 = object(window = \"Parent\", offset = 10),"
        "                       Y1 = object(window = \"Parent\", align = \"Y1\", offset = 5))),"
        "    plain = object(anchors = object(Q9 = object(window = \"nobody\", align = \"zz\", offset = 3)))"
        "  ),"
        "  Styles = object(s0 = \"Plain\", s1 = \"Bold\"),"
        "  Title = \"Hello\","
        "  Colour = array(1, 2, 3)"
        ");");
    ASSERT_TRUE(doc.ok);
    StyleRegistry::GetOrCreate(String("Bold")).AddName(String("weight"));
    Window parent, label, button, plain;
    label.SetName(String("label"));
    button.SetName(String("button"));
    plain.SetName(String("plain"));
    parent.AddChild(&label, false);
    parent.AddChild(&button, false);
    parent.AddChild(&plain, false);
    parent.LoadWindows(doc.Cfg());

    EXPECT_TRUE(IntRect::Equals(parent.GetRect(), IntRect(0, 0, 400, 300)));
    // Rules: an integer is (N, 0), an object (b, k), a missing rule (0, 1).
    EXPECT_EQ(label.WidthSpec().b, 120.0f);
    EXPECT_EQ(label.WidthSpec().k, 0.0f);
    EXPECT_EQ(label.HeightSpec().b, 30.0f);
    EXPECT_EQ(label.HeightSpec().k, 0.5f);
    EXPECT_EQ(plain.WidthSpec().b, 0.0f);
    EXPECT_EQ(plain.WidthSpec().k, 1.0f);

    // The anchor on the sibling configured later was connected when its entry was read.
    ASSERT_EQ(label.AnchorTarget(kAnchorX1), static_cast<ClientLayout*>(&button));
    EXPECT_EQ(label.AnchorSide(kAnchorX1), kAnchorX2);
    EXPECT_EQ(label.AnchorOffset(kAnchorX1).b, 4.0f);
    EXPECT_EQ(label.AnchorTarget(kAnchorY1), static_cast<ClientLayout*>(&parent));
    EXPECT_EQ(label.AnchorOffset(kAnchorY1).b, 6.0f);
    // An unknown kind is X1; a window no entry configures leaves it without target.
    EXPECT_EQ(plain.AnchorTarget(kAnchorX1), nullptr);
    EXPECT_EQ(plain.AnchorOffset(kAnchorX1).b, 3.0f);
    EXPECT_EQ(plain.AnchorSide(kAnchorX1), kAnchorX1);

    // The rules took effect: the button sits 10 in and 5 down, the label 4 right of it.
    EXPECT_TRUE(IntRect::Equals(button.GetRect(), IntRect(10, 5, 40, 20)));
    EXPECT_EQ(label.GetRect().left, 54);
    EXPECT_EQ(label.GetRect().right, 120);
    // and follow the button when it moves.
    button.SetRect(IntRect(30, 5, 40, 20));
    EXPECT_EQ(label.GetRect().left, 74);

    // The loader's keys are gone; the rest are parameters, found without regard to case.
    TextNode* cfg = doc.Cfg();
    EXPECT_EQ(cfg->GetChild("WindowFrame"), nullptr);
    EXPECT_EQ(cfg->GetChild("Windows"), nullptr);
    EXPECT_EQ(cfg->GetChild("Styles"), nullptr);
    EXPECT_EQ(cfg->ChildCount(), 2u);
    EXPECT_EQ(parent.Params().count, 2u);
    const TextNode* title = parent.GetParam(String("TITLE"));
    ASSERT_NE(title, nullptr);
    EXPECT_TRUE(WString::Equals(title->value, WString::FromNarrow("Hello")));
    const TextNode* colour = parent.GetParam(String("colour"));
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(colour->ChildCount(), 3u);
    EXPECT_EQ(TextNode::IntOf(colour->GetChild(2)), 3);

    // Styles: created empty when missing, indexed by their keys.
    ASSERT_EQ(parent.Styles().size(), 2u);
    EXPECT_TRUE(StyleRegistry::Contains(String("Plain")));
    EXPECT_EQ(parent.Styles()[0], &StyleRegistry::GetOrCreate(String("Plain")));
    EXPECT_EQ(parent.StyleOf(String("WEIGHT")), &StyleRegistry::GetOrCreate(String("Bold")));
    EXPECT_EQ(parent.StyleOf(String("size")), nullptr);
}

TEST_F(LoadWindowsTest, MeasuredWidthBetweenSiblingsAndItsFactor) {
    Doc doc(
        "Cfg = object(WindowFrame = object(w = 300, h = 100), Windows = object("
        "  a = object(width = 50, anchors = object(X1 = object(window = \"Parent\", offset = 0))),"
        "  mid = object(anchors = object(W1 = object(window = \"a\", align = \"X2\", offset = object(b = 2, k = 0.5)),"
        "                                W2 = object(window = \"b\", align = \"X1\", offset = 99),"
        "                                X1 = object(window = \"a\", align = \"X2\"))),"
        "  b = object(width = 50, anchors = object(X2 = object(window = \"Parent\", align = \"X2\")))));");
    ASSERT_TRUE(doc.ok);
    Window parent, a, mid, b;
    a.SetName(String("a"));
    mid.SetName(String("mid"));
    b.SetName(String("b"));
    parent.AddChild(&a, false);
    parent.AddChild(&mid, false);
    parent.AddChild(&b, false);
    parent.LoadWindows(doc.Cfg());
    EXPECT_EQ(a.GetRect().left, 0);
    EXPECT_EQ(b.GetRect().left, 250);
    EXPECT_EQ(mid.AnchorTarget(kAnchorW2), static_cast<ClientLayout*>(&b));
    EXPECT_EQ(mid.AnchorOffset(kAnchorW1).b, 2.0f);
    EXPECT_EQ(mid.GetRect().left, 50);
    EXPECT_EQ(mid.GetRect().right, 102);  // (250 - 50) * 0.5 + 2; W2's offset is not used
}

TEST_F(LoadWindowsTest, NullAndEmptyNodes) {
    Window w;
    w.LoadWindows(nullptr);
    Doc doc("Cfg = object(Windows = object(x = 1, y = object(anchors = 5)), Styles = 3);");
    ASSERT_TRUE(doc.ok);
    Window child;
    child.SetName(String("y"));
    w.AddChild(&child, false);
    w.LoadWindows(doc.Cfg());
    EXPECT_EQ(doc.Cfg()->ChildCount(), 0u);
    EXPECT_TRUE(w.Styles().empty());
    EXPECT_EQ(w.Params().count, 0u);
}

}  // namespace
