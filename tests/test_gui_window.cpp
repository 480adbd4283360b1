// The window base: size limits, layer lists (spreading, local inserts, packing), the
// window tree (adding, moving and removing children, who keeps them alive), focus,
// anchors that outlive their targets, and redraws through the frame signal.
#include "Core/Timer.h"
#include "Gui/LayerList.h"
#include "Gui/Window.h"
#include "Gui/WindowManager.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingWindow : public Window {
public:
    void OnEvent(WindowEvent event) override {
        codes.push_back(event.code);
        Window::OnEvent(event);
    }
    bool OnFrame() override {
        ++frames;
        return Window::OnFrame();
    }
    std::vector<u32> codes;
    int frames = 0;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        Timer::FreezeAt(5000);
        TheWindowManager().Reset();
        ASSERT_EQ(TheWindowManager().Count(), 0u);
    }
    void TearDown() override {
        EXPECT_EQ(TheWindowManager().Count(), 0u) << "every window leaves the manager's list";
        EXPECT_EQ(TheWindowManager().FrameSignal().Count(), 0u) << "and the frame signal";
        TheWindowManager().Reset();
        Timer::Freeze(false);
    }
    static void Frame() { TheWindowManager().FrameSignal().Emit(); }
};

bool Same(const IntRect& r, i32 a, i32 b, i32 c, i32 d) { return IntRect::Equals(r, IntRect(a, b, c, d)); }

std::vector<i32> Offsets(const LayerList& list) {
    std::vector<i32> out;
    for (Window* w = list.First(); w; w = list.Next(w)) out.push_back(w->LayerOffset());
    return out;
}

TEST_F(WindowTest, Defaults) {
    Window w;
    EXPECT_EQ(w.ReturnThis(), &w);
    EXPECT_FALSE(w.IsVisible());
    EXPECT_TRUE(w.IsEnabled());
    EXPECT_FALSE(w.IsFocused());
    EXPECT_FALSE(w.IsLinked());
    EXPECT_EQ(w.OwnLayers(), 1);
    EXPECT_EQ(w.LayerSpan(), 1);
    EXPECT_EQ(w.GetIntParam(), 0);
    EXPECT_EQ(w.GetFloatParam(), 1.0f);
    EXPECT_EQ(w.MinSize(), IntPair(1, 1));
    EXPECT_EQ(w.MaxSize(), IntPair(2000, 2000));
    EXPECT_EQ(w.MinSize2(), IntPair(1, 1));
    EXPECT_EQ(w.MaxSize2(), IntPair(2000, 2000));
    w.SetIntParam(7);
    w.SetFloatParam(0.5f);
    EXPECT_EQ(w.GetIntParam(), 7);
    EXPECT_EQ(w.GetFloatParam(), 0.5f);
    void* part = nullptr;
    ASSERT_TRUE(w.QueryType(WindowTypeId(), &part));
    EXPECT_EQ(part, &w);
    ASSERT_TRUE(w.QueryType(LayerEntryTypeId(), &part));
    EXPECT_EQ(part, &w);
    ASSERT_TRUE(w.QueryType(ClientLayoutTypeId(), &part));
    EXPECT_EQ(part, static_cast<ClientLayout*>(&w));
}

TEST_F(WindowTest, SizeLimits) {
    Window w;
    w.SetSize(0, 0);
    EXPECT_EQ(w.GetExtent(), IntPair(1, 1));
    w.SetSize(5000, 10);
    EXPECT_EQ(w.GetExtent(), IntPair(2000, 10));
    w.SetSize(-40, 3000);
    EXPECT_EQ(w.GetExtent(), IntPair(1, 2000));
    w.SetSizeLimits(IntPair(50, 60), IntPair(100, 120));
    w.SetRect(IntRect(3, 4, 10, 500));
    EXPECT_TRUE(Same(w.GetRect(), 3, 4, 50, 120));
    w.SetOrigin(-7, 8);
    EXPECT_TRUE(Same(w.GetRect(), -7, 8, 50, 120));
    EXPECT_EQ(w.GetOrigin(), IntPair(-7, 8));
}

TEST_F(WindowTest, FirstTopLevelWindowGetsTheMiddleLayer) {
    Window w;
    w.Show();
    EXPECT_TRUE(w.IsLinked());
    EXPECT_EQ(w.GetList(), &TheWindowManager());
    EXPECT_EQ(w.LayerOffset(), 5000);
    EXPECT_TRUE(w.HasPendingRedraw());
    Frame();
    EXPECT_FALSE(w.HasPendingRedraw()) << "OnFrame ends the redraw";
}

TEST_F(WindowTest, DisabledWindowIsLinkedButNotRedrawn) {
    RecordingWindow w;
    w.SetEnabled(false);
    w.Show();
    EXPECT_TRUE(w.IsLinked());
    EXPECT_FALSE(w.HasPendingRedraw());
    w.SetEnabled(true);
    EXPECT_TRUE(w.HasPendingRedraw());
    Frame();
    EXPECT_EQ(w.frames, 1);
}

TEST_F(WindowTest, LocalInsertsMoveOnlyTheNeighbours) {
    LayerList list(10000, 1);
    Window a, b, c;
    ASSERT_TRUE(list.Insert(&a));
    EXPECT_EQ(Offsets(list), (std::vector<i32>{5000}));
    ASSERT_TRUE(list.Insert(&b));  // next to the cursor (a): the room below a is shared out
    EXPECT_EQ(Offsets(list), (std::vector<i32>{1667, 3334}));
    EXPECT_EQ(list.First(), &b);
    ASSERT_TRUE(list.Insert(&c));  // next to b; a keeps its layer
    EXPECT_EQ(Offsets(list), (std::vector<i32>{556, 1112, 3334}));
    EXPECT_EQ(list.First(), &c);
    EXPECT_EQ(list.Last(), &a);
    EXPECT_EQ(list.SumOfSpans(), 3);
}

TEST_F(WindowTest, SpreadingAndPacking) {
    LayerList list(10000, 1);
    Window a, b, c;
    list.Insert(&a);
    list.Insert(&b);
    list.Insert(&c);
    list.Spread();
    EXPECT_EQ(Offsets(list), (std::vector<i32>{2500, 5000, 7500}));
    list.Pack(false);
    EXPECT_EQ(Offsets(list), (std::vector<i32>{9998, 9999, 10000}));
    list.Pack(true);
    EXPECT_EQ(Offsets(list), (std::vector<i32>{1, 2, 3}));
    list.Unlink(&b);
    EXPECT_EQ(b.LayerOffset(), -1);
    EXPECT_FALSE(b.IsLinked());
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.SumOfSpans(), 2);
}

TEST_F(WindowTest, InsertWithoutRoomLeavesTheListUnchanged) {
    LayerList list(3, 1);
    Window w1, w2, w3, w4;
    ASSERT_TRUE(list.Insert(&w1));
    ASSERT_TRUE(list.Insert(&w2));
    ASSERT_TRUE(list.Insert(&w3));
    const std::vector<i32> before = Offsets(list);
    EXPECT_EQ(before, (std::vector<i32>{1, 2, 3}));
    EXPECT_FALSE(list.Insert(&w4));
    EXPECT_FALSE(list.InsertNear(&w4, &w1));
    EXPECT_EQ(Offsets(list), before);
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.SumOfSpans(), 3);
    EXPECT_FALSE(w4.IsLinked());
    EXPECT_EQ(w4.LayerOffset(), 0);
}

TEST_F(WindowTest, AnEmptyBandTakesASpanOneWiderThanItsRoom) {
    LayerList list(3, 1);
    Window wide, wider;
    wider.SetLayerSpan(5);
    EXPECT_FALSE(list.Insert(&wider));
    wide.SetLayerSpan(3);
    EXPECT_TRUE(list.Insert(&wide));
}

TEST_F(WindowTest, HidingTheFocusedTopLevelWindowSendsFocusLost) {
    RecordingWindow w;
    w.Show();
    EXPECT_TRUE(w.SetFocus());
    EXPECT_EQ(TheWindowManager().GetFocus(), &w);
    TheWindowManager().DispatchQueued();
    EXPECT_EQ(w.codes, (std::vector<u32>{1}));
    w.Hide();
    EXPECT_EQ(w.codes, (std::vector<u32>{1, 2}));
    EXPECT_FALSE(w.IsFocused());
    EXPECT_EQ(TheWindowManager().GetFocus(), nullptr);
    TheWindowManager().DispatchQueued();
    EXPECT_EQ(w.codes, (std::vector<u32>{1, 2})) << "no second focus-lost";
}

TEST_F(WindowTest, FocusAmongChildren) {
    Window parent;
    RecordingWindow a, b;
    parent.AddChild(&a, false);
    parent.AddChild(&b, false);
    parent.Show();
    a.SetFocus();
    EXPECT_EQ(parent.GetFocusedChild(), &a);
    EXPECT_EQ(a.codes, (std::vector<u32>{1}));
    b.SetFocus();
    EXPECT_EQ(a.codes, (std::vector<u32>{1, 2}));
    EXPECT_EQ(b.codes, (std::vector<u32>{1}));
    EXPECT_FALSE(a.IsFocused()) << "one focused child";
    b.Hide();
    EXPECT_EQ(b.codes, (std::vector<u32>{1, 2}));
    EXPECT_EQ(parent.GetFocusedChild(), nullptr);
    a.KillFocus();  // not focused: nothing
    EXPECT_EQ(a.codes, (std::vector<u32>{1, 2}));
}

TEST_F(WindowTest, LeftButtonMarksTheFocusedProperty) {
    Window w;
    w.RecieveEvent(WindowEvent(kWindowEventKeyDown));
    EXPECT_FALSE(w.Properties().HasName(String("focused")));
    w.RecieveEvent(WindowEvent(kWindowEventLeftDown));
    EXPECT_TRUE(w.Properties().HasName(String("focused")));
    EXPECT_TRUE(w.Properties().Find(String("focused"))->value.IsEmpty());
}

TEST_F(WindowTest, AddChildMovesAWindowBetweenParents) {
    Window p1, p2, c;
    c.Show();  // top level first
    ASSERT_EQ(c.GetList(), &TheWindowManager());
    p1.AddChild(&c, true);
    EXPECT_EQ(c.GetParent(), &p1);
    EXPECT_EQ(c.GetList(), &p1.ChildLayers());
    EXPECT_TRUE(c.IsVisible()) << "the visible flag is kept";
    EXPECT_EQ(TheWindowManager().Count(), 0u);
    EXPECT_EQ(p1.LayerSpan(), 2);
    EXPECT_EQ(c.AnchorTarget(kAnchorX1), static_cast<ClientLayout*>(&p1));
    EXPECT_EQ(c.AnchorTarget(kAnchorY1), static_cast<ClientLayout*>(&p1));
    EXPECT_EQ(c.ParentLayout(), static_cast<ClientLayout*>(&p1));
    ASSERT_EQ(p1.children.size(), 1u);

    p1.AddChild(&c, true);  // already there: nothing
    EXPECT_EQ(p1.GetChildren().size(), 1u);

    p2.AddChild(&c, false);
    EXPECT_EQ(c.GetParent(), &p2);
    EXPECT_TRUE(p1.GetChildren().empty());
    EXPECT_TRUE(p1.children.empty()) << "the event node left too";
    EXPECT_EQ(p1.LayerSpan(), 1);
    EXPECT_EQ(p2.GetChildren(), (std::vector<Window*>{&c}));
    EXPECT_EQ(p2.children.size(), 1u);
    EXPECT_EQ(c.GetList(), &p2.ChildLayers());
    EXPECT_EQ(c.AnchorTarget(kAnchorX1), nullptr) << "hidden on the way: its anchors went";

    c.AddChild(&p2, false);  // its own parent: refused, no ring
    EXPECT_EQ(p2.GetParent(), nullptr);
    EXPECT_EQ(c.GetChildren().size(), 0u);
    p2.AddChild(&p2, false);
    EXPECT_EQ(p2.GetChildren().size(), 1u);
}

TEST_F(WindowTest, RemovedChildStaysAlive) {
    Window parent;
    Window* child = new Window();
    parent.AddChild(child, false);
    parent.Show();
    ASSERT_TRUE(child->IsVisible());
    parent.RemoveChild(child);
    EXPECT_EQ(child->GetParent(), nullptr);
    EXPECT_FALSE(child->IsLinked());
    EXPECT_TRUE(child->IsVisible());
    EXPECT_FALSE(child->HasPendingRedraw());
    EXPECT_EQ(child->ParentLayout(), nullptr);
    child->Show();  // usable on its own: a top-level window now
    EXPECT_EQ(child->GetList(), &TheWindowManager());
    delete child;
}

TEST_F(WindowTest, DestroyedParentLeavesItsChildrenAlive) {
    Window* parent = new Window();
    Window a, b;
    parent->AddChild(&a, true);
    parent->AddChild(&b, false);
    parent->Show();
    parent->SetFocus();
    delete parent;
    EXPECT_EQ(a.GetParent(), nullptr);
    EXPECT_EQ(b.GetParent(), nullptr);
    EXPECT_FALSE(a.IsLinked());
    EXPECT_EQ(a.AnchorTarget(kAnchorX1), nullptr);
    EXPECT_EQ(TheWindowManager().GetFocus(), nullptr);
    a.SetRect(IntRect(0, 0, 5, 5));  // no dead parent is read
}

TEST_F(WindowTest, AnchorsOnHideAndRemove) {
    Window parent, a, b;
    parent.AddChild(&a, false);
    parent.AddChild(&b, false);
    a.SetAnchor(&parent, kAnchorX2, 0, 0, kAnchorX2);
    b.SetAnchor(&a, kAnchorX2, 5, 0, kAnchorX1);
    b.SetAnchor(&a, kAnchorY2, 5, 0, kAnchorY1);
    b.SetAnchor(&a, kAnchorX2, 0, 0, kAnchorX2);
    b.SetWidthAnchors(&a, kAnchorX1, &a, kAnchorX2, LayoutRule{0, 1});
    parent.Show();
    a.Hide();
    EXPECT_EQ(a.AnchorTarget(kAnchorX2), nullptr) << "a hidden window drops its own anchors";
    EXPECT_EQ(b.AnchorTarget(kAnchorX1), static_cast<ClientLayout*>(&parent));
    EXPECT_EQ(b.AnchorSide(kAnchorX1), kAnchorX1);
    EXPECT_EQ(b.AnchorOffset(kAnchorX1).b, 0.0f);
    EXPECT_EQ(b.AnchorTarget(kAnchorY1), static_cast<ClientLayout*>(&parent));
    EXPECT_EQ(b.AnchorSide(kAnchorY1), kAnchorY1);
    EXPECT_EQ(b.AnchorTarget(kAnchorX2), nullptr);
    EXPECT_EQ(b.AnchorTarget(kAnchorW1), nullptr);
    EXPECT_EQ(b.AnchorTarget(kAnchorW2), nullptr);
    EXPECT_TRUE(a.Dependents().empty());

    Window c;
    parent.AddChild(&c, false);
    b.SetAnchor(&c, kAnchorX2, 0, 0, kAnchorX1);
    parent.RemoveChild(&c);
    EXPECT_EQ(b.AnchorTarget(kAnchorX1), static_cast<ClientLayout*>(&parent));

    // A top-level target: the follower has no parent, so its anchors are cleared.
    Window top, follower;
    follower.SetAnchor(&top, kAnchorX1, 0, 0, kAnchorX1);
    top.Hide();
    EXPECT_EQ(follower.AnchorTarget(kAnchorX1), nullptr);
}

TEST_F(WindowTest, SetRectRedrawsOnlyChildrenWhoseVisiblePartChanged) {
    RecordingWindow parent, inside, atEdge;
    parent.SetRect(IntRect(0, 0, 100, 100));
    parent.AddChild(&inside, false);
    parent.AddChild(&atEdge, false);
    inside.SetRect(IntRect(10, 10, 20, 20));
    atEdge.SetRect(IntRect(80, 10, 30, 20));
    parent.Show();
    Frame();
    ASSERT_FALSE(parent.HasPendingRedraw());
    ASSERT_FALSE(inside.HasPendingRedraw());
    ASSERT_FALSE(atEdge.HasPendingRedraw());

    parent.SetRect(IntRect(0, 0, 90, 100));  // narrower: only the clipped child changes
    EXPECT_TRUE(parent.HasPendingRedraw());
    EXPECT_FALSE(inside.HasPendingRedraw());
    EXPECT_TRUE(atEdge.HasPendingRedraw());
    Frame();

    parent.SetRect(IntRect(5, 0, 90, 100));  // moved: every child moves on the screen
    EXPECT_TRUE(inside.HasPendingRedraw());
    EXPECT_TRUE(atEdge.HasPendingRedraw());
    Frame();
    EXPECT_EQ(inside.frames, 2);
    EXPECT_EQ(atEdge.frames, 3);
}

TEST_F(WindowTest, AbsoluteRectanglesHitTestsAndLayers) {
    Window root, child, grandchild;
    root.SetRect(IntRect(100, 50, 200, 100));
    root.AddChild(&child, false);
    child.AddChild(&grandchild, false);
    child.SetRect(IntRect(150, 10, 100, 40));  // sticks out on the right
    grandchild.SetRect(IntRect(5, 5, 10, 10));
    IntRect rect, clip;
    EXPECT_TRUE(child.GetAbsoluteRect(rect, clip));
    EXPECT_TRUE(Same(rect, 250, 60, 100, 40));
    EXPECT_TRUE(Same(clip, 250, 60, 50, 40));
    EXPECT_TRUE(grandchild.GetAbsoluteRect(rect, clip));
    EXPECT_TRUE(Same(rect, 255, 65, 10, 10));
    EXPECT_EQ(grandchild.ClientToScreen(1, 2), IntPair(256, 67));
    EXPECT_EQ(grandchild.ScreenToClient(256, 67), IntPair(1, 2));
    EXPECT_TRUE(child.HitTest(250, 60));   // border
    EXPECT_TRUE(child.HitTest(340, 70));   // inside the rectangle, outside the clip
    EXPECT_FALSE(child.HitTest(351, 70));
    EXPECT_EQ(grandchild.GetRoot(), &root);
    EXPECT_EQ(root.FindChild(String("x")), nullptr);
    child.SetName(String("panel"));
    EXPECT_EQ(root.FindChild(String("panel")), &child);
    EXPECT_EQ(root.FindChild(String("Panel")), nullptr);

    root.Show();
    EXPECT_EQ(root.SubtreeLayers(), 3);
    EXPECT_EQ(root.LayerSpan(), 3);
    EXPECT_EQ(child.LayerSpan(), 2);
    EXPECT_EQ(root.AbsoluteLayer(), root.LayerOffset());
    EXPECT_EQ(child.AbsoluteLayer(), root.LayerOffset() - child.LayerOffset());
    EXPECT_EQ(grandchild.LayerFromTop(), child.LayerOffset() + grandchild.LayerOffset());
    EXPECT_EQ(child.LowestLayer(), child.AbsoluteLayer());
    EXPECT_GT(child.LayerOffset(), 0);
    EXPECT_LT(child.LayerOffset(), root.LayerSpan());

    child.SetOwnLayers(2);
    EXPECT_EQ(root.LayerSpan(), 4);
    EXPECT_EQ(child.LayerSpan(), 3);
    EXPECT_EQ(child.HighestLayer(), child.LayerFromTop() + 1);
    EXPECT_EQ(TheWindowManager().SumOfSpans(), 4);
}

TEST_F(WindowTest, AWindowOutsideItsParentHasAnEmptyClip) {
    Window root, child;
    root.SetRect(IntRect(0, 0, 10, 10));
    root.AddChild(&child, false);
    child.SetRect(IntRect(50, 50, 5, 5));
    IntRect rect, clip;
    EXPECT_FALSE(child.GetAbsoluteRect(rect, clip));
    EXPECT_EQ(clip.right, 0);
    EXPECT_EQ(clip.bottom, 0);
}

TEST_F(WindowTest, MapRect) {
    const f32 target[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    f32 out[4];
    Window::MapRect(IntRect(10, 10, 100, 50), IntRect(35, 20, 50, 25), true, target, out);
    EXPECT_FLOAT_EQ(out[0], 0.25f);
    EXPECT_FLOAT_EQ(out[1], 0.2f);
    EXPECT_FLOAT_EQ(out[2], 0.75f);
    EXPECT_FLOAT_EQ(out[3], 0.7f);
    Window::MapRect(IntRect(10, 10, 110, 60), IntRect(35, 20, 85, 45), false, target, out);
    EXPECT_FLOAT_EQ(out[2], 0.75f);
    Window::MapRect(IntRect(10, 10, 0, 0), IntRect(10, 10, 5, 5), true, target, out);  // no division by zero
    EXPECT_FLOAT_EQ(out[2], 0.0f);
}

TEST_F(WindowTest, SetEnabledOffHidesTheSubtreeButKeepsTheFlag) {
    Window parent, child;
    parent.AddChild(&child, false);
    parent.Show();
    parent.SetEnabled(false);
    EXPECT_TRUE(parent.IsVisible());
    EXPECT_FALSE(parent.IsActive());
    EXPECT_FALSE(child.IsVisible());
    EXPECT_FALSE(parent.HasPendingRedraw());
    parent.SetEnabled(true);
    EXPECT_TRUE(parent.HasPendingRedraw());
}

TEST_F(WindowTest, WindowDestroyedWithAPendingRedrawLeavesTheFrameSignal) {
    RecordingWindow* w = new RecordingWindow();
    w->Show();
    ASSERT_EQ(TheWindowManager().FrameSignal().Count(), 1u);
    delete w;
    EXPECT_EQ(TheWindowManager().FrameSignal().Count(), 0u);
    Frame();  // nothing left to call into the dead window
}

// A window that deletes another from its frame handler, as an owner of overlays might.
class DeletingWindow : public Window {
public:
    Window* victim = nullptr;
    bool OnFrame() override {
        delete victim;
        victim = nullptr;
        return Window::OnFrame();
    }
};

TEST_F(WindowTest, DeletingAWindowDuringTheFrameSignal) {
    DeletingWindow killer;
    killer.victim = new RecordingWindow();
    killer.Show();
    killer.victim->Show();
    Frame();
    EXPECT_EQ(killer.victim, nullptr);
    EXPECT_FALSE(killer.HasPendingRedraw());
}

TEST_F(WindowTest, QueuedEventsForADestroyedWindowAreDropped) {
    RecordingWindow* w = new RecordingWindow();
    w->Show();
    w->SetFocus();
    TheWindowManager().PostEvent(w, WindowEvent(kWindowEventKeyDown));
    delete w;
    EXPECT_EQ(TheWindowManager().GetFocus(), nullptr);
    TheWindowManager().DispatchQueued();  // ASan: nothing reaches the dead window
}

TEST_F(WindowTest, PropertyMapIsBothANameSetAndTypedValues) {
    PropertyMap map;
    map.AddName(String("a"));
    EXPECT_TRUE(map.HasName(String("a")));
    EXPECT_FALSE(map.HasName(String("A"))) << "names are case-sensitive";
    map.SetInt(String("n"), 4);
    i32 n = 0;
    EXPECT_TRUE(map.GetInt(String("n"), &n));
    EXPECT_EQ(n, 4);
    map.SetString(String("n"), String("text"));  // another type replaces the value
    EXPECT_FALSE(map.GetInt(String("n"), &n));
    String text;
    EXPECT_TRUE(map.GetString(String("n"), &text));
    EXPECT_STREQ(text.c_str(), "text");
    f32 f = 0;
    EXPECT_FALSE(map.GetFloat(String("missing"), &f));
    PropertyMap copy = map;
    EXPECT_TRUE(copy.GetString(String("n"), &text));
    EXPECT_EQ(map.Erase(String("n")).IsEmpty(), false);
    EXPECT_EQ(map.Find(String("n")), nullptr);
    EXPECT_EQ(copy.count, 2u);
}

}  // namespace
