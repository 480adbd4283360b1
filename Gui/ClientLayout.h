// The layout part of a window: it owns the window's rectangle (relative to the parent's
// client area) and places it by anchors. Each edge can follow an edge of a sibling or of
// the parent, with a margin in pixels and a weight that shares out free space; a width
// or height can instead be measured between two other layouts. When a rectangle
// changes, every layout anchored to it lays itself out again; a mark set while laying
// out stops a chain of anchors that leads back to itself.
#pragma once

#include "Core/IntRect.h"
#include "Core/Object.h"
#include "Core/String.h"
#include "Gui/WindowEvent.h"

enum AnchorKind : i32 {
    kAnchorX1 = 0,
    kAnchorY1 = 1,
    kAnchorX2 = 2,
    kAnchorY2 = 3,
    kAnchorW1 = 4,
    kAnchorH1 = 5,
    kAnchorW2 = 6,
    kAnchorH2 = 7,
    kAnchorCount = 8,
};

// A base value b and a weight k.
struct LayoutRule {
    f32 b = 0.0f;
    f32 k = 0.0f;
};

u32 ClientLayoutTypeId();

class ClientLayout : public virtual Object {
public:
    ClientLayout();
    // Leaves the dependents lists of every target and drops its own dependents' anchors
    // on it, so that no layout keeps a pointer to it.
    ~ClientLayout() override;

    bool QueryType(u32 typeId, void** out) override;

    // Stores the rectangle (x, y, width, height) and tells the layouts anchored to it.
    virtual void SetRect(IntRect rect);
    IntRect GetRect() const { return rect_; }
    // Lays out the requested axes from the anchors (no re-entry while already laying out).
    void Relayout(bool horizontal, bool vertical);

    // Anchor 0 to 3 (X1, Y1, X2, Y2) follows `side` (0 x1, 1 y1, 2 x2, 3 y2) of target
    // with the offset rule (margin b, free-space weight k); a null target clears it.
    void SetAnchor(ClientLayout* target, i32 side, f32 offsetB, f32 offsetK, i32 anchor);
    // The width measured from W1's target edge to W2's (factor k, addend b of `factor`).
    void SetWidthAnchors(ClientLayout* w1, i32 side1, ClientLayout* w2, i32 side2, LayoutRule factor);
    void SetHeightAnchors(ClientLayout* h1, i32 side1, ClientLayout* h2, i32 side2, LayoutRule factor);
    void SetWidthSpec(f32 b, f32 k) { widthSpec_ = {b, k}; }
    void SetHeightSpec(f32 b, f32 k) { heightSpec_ = {b, k}; }
    LayoutRule WidthSpec() const { return widthSpec_; }
    LayoutRule HeightSpec() const { return heightSpec_; }
    // The parent's layout (its client area is the reference of anchors on it); null detaches.
    void SetParentLayout(ClientLayout* parent) { parent_ = parent; }
    ClientLayout* ParentLayout() const { return parent_; }
    // Clears an anchor; W1 also clears W2, H1 also H2.
    void RemoveAnchor(i32 anchor);
    void ClearAnchors();
    // Clears one anchor alone (a W or H anchor without its partner).
    void ClearAnchor(i32 anchor);
    // Clears every anchor that follows target.
    void ClearAnchorsOn(const ClientLayout* target);

    ClientLayout* AnchorTarget(i32 anchor) const;
    i32 AnchorSide(i32 anchor) const;
    LayoutRule AnchorOffset(i32 anchor) const;  // for X1, Y1, X2, Y2, W1, H1
    const PointerList<ClientLayout>& Dependents() const { return dependents_; }
    const String& LayoutName() const { return name_; }

protected:
    IntRect rect_{0, 0, 0, 0};

private:
    void LayoutAxis(bool horizontal, IntRect& r) const;
    void NotifyDependents(bool left, bool top, bool right, bool bottom);
    void SetTarget(i32 anchor, ClientLayout* target);
    void SetMeasureAnchors(i32 first, ClientLayout* t1, i32 side1, ClientLayout* t2, i32 side2, LayoutRule factor);
    // The reference rectangle of an anchor: its target's, the parent's client area, or
    // (no target) the own rectangle.
    IntRect Reference(i32 anchor, i32& side) const;
    // The edge of the anchor's reference that it follows, on one axis.
    i64 EdgeOf(i32 anchor, bool horizontal) const;

    LayoutRule widthSpec_{0.0f, 1.0f};
    LayoutRule heightSpec_{0.0f, 1.0f};
    i32 sides_[kAnchorCount] = {0, 1, 2, 3, 0, 1, 2, 3};
    LayoutRule offsets_[6];
    bool inLayout_ = false;
    PointerList<ClientLayout> dependents_;
    String name_;
    ClientLayout* parent_ = nullptr;
    ClientLayout* targets_[kAnchorCount] = {};
};
