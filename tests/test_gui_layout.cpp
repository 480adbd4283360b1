// The client layout: anchors on the parent's client area and on siblings, stretch and
// weights, measured spans, cascades through dependents and their end.
#include "Gui/ClientLayout.h"

#include <gtest/gtest.h>

namespace {

bool Same(const IntRect& r, i32 a, i32 b, i32 c, i32 d) { return IntRect::Equals(r, IntRect(a, b, c, d)); }

struct Family {
    ClientLayout parent;
    ClientLayout child;
    ClientLayout sibling;
    Family() {
        parent.SetRect(IntRect(0, 0, 300, 200));
        child.SetParentLayout(&parent);
        sibling.SetParentLayout(&parent);
    }
};

TEST(ClientLayout, Defaults) {
    ClientLayout l;
    EXPECT_TRUE(Same(l.GetRect(), 0, 0, 0, 0));
    EXPECT_EQ(l.WidthSpec().b, 0.0f);
    EXPECT_EQ(l.WidthSpec().k, 1.0f);
    EXPECT_EQ(l.HeightSpec().k, 1.0f);
    EXPECT_STREQ(l.LayoutName().c_str(), "client");
    for (i32 i = 0; i < kAnchorCount; ++i) EXPECT_EQ(l.AnchorTarget(i), nullptr);
    void* part = nullptr;
    EXPECT_TRUE(l.QueryType(ClientLayoutTypeId(), &part));
    EXPECT_EQ(part, &l);
}

TEST(ClientLayout, FillsTheParentLessMarginsAndFollowsItsWidth) {
    Family f;
    f.child.SetAnchor(&f.parent, kAnchorX1, 10, 0, kAnchorX1);
    f.child.SetAnchor(&f.parent, kAnchorX2, 10, 0, kAnchorX2);
    f.child.Relayout(true, false);
    EXPECT_EQ(f.child.GetRect().left, 10);
    EXPECT_EQ(f.child.GetRect().right, 280);
    ASSERT_EQ(f.parent.Dependents().size(), 1u);
    f.parent.SetRect(IntRect(0, 0, 500, 200));
    EXPECT_EQ(f.child.GetRect().left, 10);
    EXPECT_EQ(f.child.GetRect().right, 480);
    // A move of the parent counts as a change of both sides for its children.
    f.parent.SetRect(IntRect(7, 0, 500, 200));
    EXPECT_EQ(f.child.GetRect().right, 480);
}

TEST(ClientLayout, FixedWidthOnTheRightEdgeAndThePinnedHighMargin) {
    Family f;
    f.child.SetWidthSpec(100, 0);
    f.child.SetAnchor(&f.parent, kAnchorX2, 0, 0, kAnchorX2);
    f.child.Relayout(true, false);
    EXPECT_EQ(f.child.GetRect().left, 200);
    EXPECT_EQ(f.child.GetRect().right, 100);
    // The high side's own margin holds the span off the edge, not the low side's.
    f.child.SetAnchor(nullptr, kAnchorX1, 3, 0, kAnchorX1);
    f.child.SetAnchor(&f.parent, kAnchorX2, 12, 0, kAnchorX2);
    f.child.Relayout(true, false);
    EXPECT_EQ(f.child.GetRect().left, 188);
}

TEST(ClientLayout, WeightsShareTheFreeRoom) {
    Family f;
    f.child.SetWidthSpec(100, 1);
    f.child.SetAnchor(&f.parent, kAnchorX1, 0, 1, kAnchorX1);
    f.child.SetAnchor(&f.parent, kAnchorX2, 0, 1, kAnchorX2);
    f.child.Relayout(true, false);
    EXPECT_EQ(f.child.GetRect().left, 66);
    EXPECT_EQ(f.child.GetRect().right, 166);
}

TEST(ClientLayout, SiblingAnchorsAndVerticalAxis) {
    Family f;
    f.sibling.SetRect(IntRect(20, 30, 50, 40));
    f.child.SetHeightSpec(25, 0);
    f.child.SetAnchor(&f.sibling, kAnchorY2, 5, 0, kAnchorY1);  // below the sibling, 5 apart
    f.child.SetAnchor(&f.sibling, kAnchorX1, 0, 0, kAnchorX1);
    f.child.SetAnchor(&f.sibling, kAnchorX2, 0, 0, kAnchorX2);
    f.child.Relayout(true, true);
    EXPECT_TRUE(Same(f.child.GetRect(), 20, 75, 50, 25));
    f.sibling.SetRect(IntRect(20, 40, 60, 40));  // lower and wider
    EXPECT_TRUE(Same(f.child.GetRect(), 20, 85, 60, 25));
}

TEST(ClientLayout, MeasuredWidthBetweenTwoLayouts) {
    Family f;
    ClientLayout left, right;
    left.SetRect(IntRect(10, 0, 40, 10));   // right edge 50
    right.SetRect(IntRect(150, 0, 40, 10)); // left edge 150
    f.child.SetWidthAnchors(&left, kAnchorX2, &right, kAnchorX1, LayoutRule{4, 0.5f});
    f.child.SetAnchor(&left, kAnchorX2, 0, 0, kAnchorX1);
    f.child.Relayout(true, false);
    EXPECT_EQ(f.child.GetRect().left, 50);
    EXPECT_EQ(f.child.GetRect().right, 54);  // (150 - 50) * 0.5 + 4
    right.SetRect(IntRect(250, 0, 40, 10));
    EXPECT_EQ(f.child.GetRect().right, 104);
    f.child.RemoveAnchor(kAnchorW1);
    EXPECT_EQ(f.child.AnchorTarget(kAnchorW2), nullptr);
}

TEST(ClientLayout, DependentsAreListedOnceAndDroppedWithTheLastAnchor) {
    Family f;
    f.child.SetAnchor(&f.sibling, kAnchorX1, 0, 0, kAnchorX1);
    f.child.SetAnchor(&f.sibling, kAnchorY1, 1, 0, kAnchorY1);
    EXPECT_EQ(f.sibling.Dependents().size(), 1u);
    f.child.ClearAnchor(kAnchorX1);
    EXPECT_EQ(f.sibling.Dependents().size(), 1u);
    f.child.ClearAnchor(kAnchorY1);
    EXPECT_TRUE(f.sibling.Dependents().empty());
}

TEST(ClientLayout, DestroyedTargetLeavesNoDanglingAnchor) {
    ClientLayout parent;
    ClientLayout child;
    {
        ClientLayout target;
        child.SetAnchor(&target, kAnchorX1, 0, 0, kAnchorX1);
        parent.SetRect(IntRect(0, 0, 10, 10));
    }
    EXPECT_EQ(child.AnchorTarget(kAnchorX1), nullptr);
    child.Relayout(true, true);  // would read the dead target
    {
        ClientLayout follower;
        follower.SetAnchor(&child, kAnchorX2, 0, 0, kAnchorX1);
        EXPECT_EQ(child.Dependents().size(), 1u);
    }
    EXPECT_TRUE(child.Dependents().empty());
}

TEST(ClientLayout, ACycleOfAnchorsEnds) {
    ClientLayout a, b;
    a.SetRect(IntRect(0, 0, 10, 10));
    b.SetRect(IntRect(0, 0, 10, 10));
    a.SetAnchor(&b, kAnchorX2, 1, 0, kAnchorX1);
    b.SetAnchor(&a, kAnchorX2, 1, 0, kAnchorX1);
    a.SetAnchor(&a, kAnchorX2, 0, 0, kAnchorX2);  // even on itself
    a.Relayout(true, false);
    b.SetRect(IntRect(5, 0, 10, 10));
    SUCCEED() << "returned";
    EXPECT_GE(a.GetRect().left, 0);
}

}  // namespace
