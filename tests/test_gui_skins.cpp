// Skins read into label windows without a device: tiles and their rules and anchors, the
// states and what each shows, the keys the loader takes out of a configuration, and tiles
// added in code. Tiles that name textures are in the device suite.
#include "Core/TextData.h"
#include "Core/TextNode.h"
#include "Core/WString.h"
#include "Gui/ImageWindow.h"
#include "Gui/LabelWindow.h"
#include "Gui/StyleRegistry.h"
#include "Gui/WindowManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Doc {
    TextDataTree tree;
    bool ok;
    explicit Doc(const std::string& text) {
        ok = TextData::LoadText(WString::FromNarrow(text.c_str()), tree, nullptr, TextData::kStatementForm);
    }
    TextNode* Cfg() { return tree.GetChild("Cfg"); }
};

std::vector<std::string> Names(const std::vector<String>* names) {
    std::vector<std::string> out;
    if (names)
        for (const String& n : *names) out.emplace_back(n.c_str());
    return out;
}

class SkinTest : public ::testing::Test {
protected:
    // Reads the skin of a configuration text into label, sized to rect first.
    static bool LoadSkin(LabelWindow& label, const std::string& text, IntRect rect) {
        Doc doc(text);
        label.SetRect(rect);
        return doc.ok && label.ParseSkin(doc.Cfg());
    }

    void TearDown() override {
        TheWindowManager().Reset();
        StyleRegistry::Reset();
    }
};

TEST_F(SkinTest, WithoutStatesEveryTileShowsInTheEmptyState) {
    Doc doc("Cfg = object(Tiles = object(left = object(width = 8), mid = object(), right = object(width = 8)));");
    ASSERT_TRUE(doc.ok);
    LabelWindow label;
    EXPECT_TRUE(label.ParseSkin(doc.Cfg()));
    ASSERT_EQ(label.Tiles().size(), 3u);
    EXPECT_EQ(label.StateCount(), 1u);
    EXPECT_EQ(Names(label.StateTiles(String())), (std::vector<std::string>{"left", "mid", "right"}));
    EXPECT_TRUE(label.CurrentState().IsEmpty());
    // Each tile is a child laid out in the label window, found by its name.
    for (ImageWindow* tile : label.Tiles()) {
        EXPECT_EQ(tile->GetParent(), &label);
        EXPECT_EQ(tile->ParentLayout(), static_cast<ClientLayout*>(&label));
        EXPECT_EQ(tile->Owner(), &label);
        EXPECT_EQ(label.FindTile(tile->GetName()), tile);
        EXPECT_EQ(tile->GetImage(), nullptr);  // no "texture": the tile draws nothing
    }
    EXPECT_EQ(label.FindTile(String("nobody")), nullptr);
}

TEST_F(SkinTest, StatesListTheirTilesAndSplitTheirNames) {
    Doc doc(
        "Cfg = object(Tiles = object(a = object(), b = object()),"
        "  States = object(Normal_Hover = object(tiles = array(\"a\", \"ghost\", \"a\")), Pressed = object(tiles = \"b\"),"
        "                  Empty = object()));");
    ASSERT_TRUE(doc.ok);
    LabelWindow label;
    ASSERT_TRUE(label.ParseSkin(doc.Cfg()));
    EXPECT_EQ(label.StateCount(), 4u);
    // A name listed twice is kept once; a name that is no tile stays listed (and is skipped
    // when the state is drawn).
    EXPECT_EQ(Names(label.StateTiles(String("Normal_Hover"))), (std::vector<std::string>{"a", "ghost"}));
    EXPECT_EQ(Names(label.StateTiles(String("Pressed"))), (std::vector<std::string>{"b"}));
    EXPECT_EQ(Names(label.StateTiles(String("Empty"))), (std::vector<std::string>{}));
    EXPECT_EQ(label.StateTiles(String("Missing")), nullptr);
    const PropertyMap* parts = label.StateParts(String("Normal_Hover"));
    ASSERT_NE(parts, nullptr);
    EXPECT_EQ(parts->count, 2u);
    EXPECT_TRUE(parts->HasName(String("Normal")));
    EXPECT_TRUE(parts->HasName(String("Hover")));
    // Showing a state that names a missing tile sets up the others without failing.
    label.SetState(String("Normal_Hover"));
    EXPECT_EQ(std::string(label.CurrentState().c_str()), "Normal_Hover");
    EXPECT_TRUE(label.ApplySkin());
}

TEST_F(SkinTest, WidthAndHeightRulesInBothForms) {
    const struct {
        const char* rule;
        f32 b, k;
    } rows[] = {
        {"32", 32.0f, 0.0f},
        {"object(b = 0, k = 1.0)", 0.0f, 1.0f},
        {"object(b = 12, k = 0.25)", 12.0f, 0.25f},
        {"object(k = 0.5)", 0.0f, 0.5f},
    };
    for (const auto& row : rows) {
        Doc doc(std::string("Cfg = object(Tiles = object(t = object(width = ") + row.rule + ", height = " + row.rule + ")));");
        ASSERT_TRUE(doc.ok) << row.rule;
        LabelWindow label;
        ASSERT_TRUE(label.ParseSkin(doc.Cfg()));
        ImageWindow* tile = label.FindTile(String("t"));
        ASSERT_NE(tile, nullptr);
        EXPECT_EQ(tile->WidthSpec().b, row.b) << row.rule;
        EXPECT_EQ(tile->WidthSpec().k, row.k) << row.rule;
        EXPECT_EQ(tile->HeightSpec().b, row.b) << row.rule;
        EXPECT_EQ(tile->HeightSpec().k, row.k) << row.rule;
    }
    // Without the keys: the layout's own defaults.
    Doc bare("Cfg = object(Tiles = object(t = object()));");
    LabelWindow label;
    ASSERT_TRUE(label.ParseSkin(bare.Cfg()));
    EXPECT_EQ(label.FindTile(String("t"))->WidthSpec().k, 1.0f);
}

TEST_F(SkinTest, ParentAnchorsFollowResizesAndAFixedWidthStays) {
    const char* text = (
        "Cfg = object(Tiles = object("
        "  bar = object(width = object(b = 0, k = 1.0), height = 10,"
        "    anchors = object(X1 = object(tile = \"PARENT\", align = \"X1\", offset = 5),"
        "                     X2 = object(tile = \"PARENT\", align = \"X2\", offset = 7),"
        "                     Y1 = object(tile = \"PARENT\", align = \"Y1\", offset = 3))),"
        "  knob = object(width = 32, height = 10,"
        "    anchors = object(X2 = object(tile = \"PARENT\", align = \"X2\"),"
        "                     Y1 = object(tile = \"bar\", align = \"Y2\", offset = 2)))));");
    LabelWindow label;
    ASSERT_TRUE(LoadSkin(label, text, IntRect(0, 0, 200, 50)));
    ImageWindow* bar = label.FindTile(String("bar"));
    ImageWindow* knob = label.FindTile(String("knob"));
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(knob, nullptr);
    EXPECT_EQ(bar->AnchorTarget(kAnchorX1), static_cast<ClientLayout*>(&label));
    // Stretched across the label window less the two margins.
    EXPECT_TRUE(IntRect::Equals(bar->GetRect(), IntRect(5, 3, 188, 10)));
    EXPECT_EQ(knob->GetRect().right, 32);
    EXPECT_EQ(knob->GetRect().left, 168);
    EXPECT_EQ(knob->GetRect().top, 15);  // 2 below the bar

    label.SetSize(300, 60);
    EXPECT_TRUE(IntRect::Equals(bar->GetRect(), IntRect(5, 3, 288, 10)));
    EXPECT_EQ(knob->GetRect().right, 32);  // "width" 32 is fixed
    EXPECT_EQ(knob->GetRect().left, 268);
}

TEST_F(SkinTest, AnchorsOnLaterTilesResolveAndUnknownTilesStayUnresolved) {
    const char* text = (
        "Cfg = object(Tiles = object("
        "  first = object(width = 10, anchors = object(X1 = object(tile = \"second\", align = \"X2\", offset = 1),"
        "                                               Y1 = object(tile = \"nowhere\", align = \"Y2\", offset = 4),"
        "                                               Q7 = object(tile = \"PARENT\"))),"
        "  second = object(width = 20, anchors = object(X1 = object(tile = \"PARENT\", offset = 30)))));");
    LabelWindow label;
    ASSERT_TRUE(LoadSkin(label, text, IntRect(0, 0, 200, 50)));
    ImageWindow* first = label.FindTile(String("first"));
    ImageWindow* second = label.FindTile(String("second"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->AnchorTarget(kAnchorX1), static_cast<ClientLayout*>(second));
    EXPECT_EQ(first->AnchorSide(kAnchorX1), kAnchorX2);
    EXPECT_EQ(first->GetRect().left, 51);
    // The unknown tile: no target, and the tile keeps its own edge.
    EXPECT_EQ(first->AnchorTarget(kAnchorY1), nullptr);
    // An unknown anchor name is not read as X1.
    EXPECT_EQ(first->AnchorOffset(kAnchorX1).b, 1.0f);
    second->SetRect(IntRect(60, 0, 20, 10));
    EXPECT_EQ(first->GetRect().left, 81);
}

TEST_F(SkinTest, LoadWindowsTakesTheSkinKeysAndKeepsTheRest) {
    Doc doc(
        "Cfg = object(WindowFrame = object(w = 100, h = 20), Tiles = object(t = object(width = 4)),"
        "  States = object(On = object(tiles = array(\"t\"))), Caption = \"Go\");");
    ASSERT_TRUE(doc.ok);
    LabelWindow label;
    label.LoadWindows(doc.Cfg());
    EXPECT_EQ(label.Tiles().size(), 1u);
    EXPECT_EQ(label.StateCount(), 2u);
    EXPECT_EQ(label.GetRect().right, 100);
    EXPECT_EQ(doc.Cfg()->GetChild("Tiles"), nullptr);
    EXPECT_EQ(doc.Cfg()->GetChild("States"), nullptr);
    EXPECT_NE(label.GetParam(String("Caption")), nullptr);
    EXPECT_EQ(label.GetParam(String("Tiles")), nullptr);
}

TEST_F(SkinTest, GarbageShapesAreSkipped) {
    const char* const texts[] = {
        "Cfg = object(Tiles = 5, States = 7);",
        "Cfg = object(Tiles = object(a = 1, b = array(1, 2)), States = object(s = object(tiles = object(x = 1))));",
        "Cfg = object(Tiles = object(a = object(width = \"wide\", anchors = object(X1 = 3, W1 = object(tile = 9)))));",
        "Cfg = object(Tiles = object(a = object(), a = object()));",
        "Cfg = 3;",
    };
    for (const char* text : texts) {
        Doc doc(text);
        ASSERT_TRUE(doc.ok) << text;
        LabelWindow label;
        EXPECT_TRUE(label.ParseSkin(doc.Cfg())) << text;
        for (ImageWindow* tile : label.Tiles()) EXPECT_EQ(label.FindTile(tile->GetName()), tile) << text;
        label.SetRect(IntRect(0, 0, 40, 40));
        EXPECT_TRUE(label.ApplySkin()) << text;
    }
    LabelWindow label;
    EXPECT_FALSE(label.ParseSkin(nullptr));
}

TEST_F(SkinTest, TilesAddedInCodeJoinTheirStatesOnce) {
    LabelWindow label;
    auto* a = new ImageWindow();
    a->SetName(String("a"));
    EXPECT_TRUE(label.AddTile(a, String()));
    EXPECT_TRUE(label.AddTile(a, String("lit")));
    EXPECT_TRUE(label.AddTile(a, String("lit")));
    EXPECT_EQ(label.Tiles().size(), 1u);
    EXPECT_EQ(Names(label.StateTiles(String("lit"))), (std::vector<std::string>{"a"}));
    // Another window under a taken name stays the caller's.
    ImageWindow impostor;
    impostor.SetName(String("a"));
    EXPECT_FALSE(label.AddTile(&impostor, String()));
    EXPECT_EQ(label.Tiles().size(), 1u);
    EXPECT_EQ(impostor.GetParent(), nullptr);
    EXPECT_FALSE(label.AddTile(nullptr, String()));
    // The label's parameters reach the tiles added later, too.
    label.SetIntParam(3);
    label.SetFloatParam(0.25f);
    auto* b = new ImageWindow();
    b->SetName(String("b"));
    label.AddTile(b, String());
    EXPECT_EQ(a->Combine(), 3);
    EXPECT_EQ(b->Combine(), 3);
    EXPECT_EQ(b->TextureFactor(), 0.25f);
}

}  // namespace
