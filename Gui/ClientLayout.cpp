#include "Gui/ClientLayout.h"

u32 ClientLayoutTypeId() { return TypeIdOf<ClientLayout>(); }

namespace {
constexpr i32 kOffsetCount = 6;  // X1, Y1, X2, Y2, W1, H1 carry offset rules
bool IsHorizontal(i32 anchor) { return anchor == kAnchorX1 || anchor == kAnchorX2 || anchor == kAnchorW1 || anchor == kAnchorW2; }
bool ValidAnchor(i32 anchor) { return anchor >= 0 && anchor < kAnchorCount; }
}  // namespace

ClientLayout::ClientLayout() : name_("client") {}

ClientLayout::~ClientLayout() {
    for (i32 i = 0; i < kAnchorCount; ++i) SetTarget(i, nullptr);
    // Layouts anchored to this one lose those anchors, so that none follows a dead layout.
    for (ClientLayout* d : dependents_) {
        for (i32 i = 0; i < kAnchorCount; ++i)
            if (d->targets_[i] == this) d->targets_[i] = nullptr;
        if (d->parent_ == this) d->parent_ = nullptr;
    }
}

bool ClientLayout::QueryType(u32 typeId, void** out) {
    if (typeId == ClientLayoutTypeId()) {
        *out = this;
        return true;
    }
    return Object::QueryType(typeId, out);
}

ClientLayout* ClientLayout::AnchorTarget(i32 anchor) const { return ValidAnchor(anchor) ? targets_[anchor] : nullptr; }

i32 ClientLayout::AnchorSide(i32 anchor) const { return ValidAnchor(anchor) ? sides_[anchor] : 0; }

LayoutRule ClientLayout::AnchorOffset(i32 anchor) const {
    return anchor >= 0 && anchor < kOffsetCount ? offsets_[anchor] : LayoutRule{};
}

void ClientLayout::SetTarget(i32 anchor, ClientLayout* target) {
    ClientLayout* old = targets_[anchor];
    targets_[anchor] = target;
    if (old && old != target) {
        bool stillFollowed = false;
        for (ClientLayout* t : targets_) stillFollowed = stillFollowed || t == old;
        if (!stillFollowed) old->dependents_.RemoveAll(this);
    }
    if (target) target->dependents_.AddUnique(this);
}

void ClientLayout::SetAnchor(ClientLayout* target, i32 side, f32 offsetB, f32 offsetK, i32 anchor) {
    if (anchor < kAnchorX1 || anchor > kAnchorY2) return;
    sides_[anchor] = side;
    offsets_[anchor] = {offsetB, offsetK};
    SetTarget(anchor, target);
}

void ClientLayout::SetMeasureAnchors(i32 first, ClientLayout* t1, i32 side1, ClientLayout* t2, i32 side2,
                                     LayoutRule factor) {
    const i32 second = first + 2;  // W1 and W2, H1 and H2
    sides_[first] = side1;
    sides_[second] = side2;
    offsets_[first] = factor;
    SetTarget(first, t1);
    SetTarget(second, t2);
}

void ClientLayout::SetWidthAnchors(ClientLayout* w1, i32 side1, ClientLayout* w2, i32 side2, LayoutRule factor) {
    SetMeasureAnchors(kAnchorW1, w1, side1, w2, side2, factor);
}

void ClientLayout::SetHeightAnchors(ClientLayout* h1, i32 side1, ClientLayout* h2, i32 side2, LayoutRule factor) {
    SetMeasureAnchors(kAnchorH1, h1, side1, h2, side2, factor);
}

void ClientLayout::RemoveAnchor(i32 anchor) {
    if (!ValidAnchor(anchor)) return;
    SetTarget(anchor, nullptr);
    if (anchor == kAnchorW1) SetTarget(kAnchorW2, nullptr);
    if (anchor == kAnchorH1) SetTarget(kAnchorH2, nullptr);
}

void ClientLayout::ClearAnchors() {
    for (i32 i = 0; i < kAnchorCount; ++i) SetTarget(i, nullptr);
}

void ClientLayout::ClearAnchor(i32 anchor) {
    if (ValidAnchor(anchor)) SetTarget(anchor, nullptr);
}

void ClientLayout::ClearAnchorsOn(const ClientLayout* target) {
    for (i32 i = 0; i < kAnchorCount; ++i)
        if (targets_[i] == target) SetTarget(i, nullptr);
}

IntRect ClientLayout::Reference(i32 anchor, i32& side) const {
    const ClientLayout* target = targets_[anchor];
    side = sides_[anchor];
    if (!target) {
        // Without a target an edge holds on to the window's own edge.
        side = anchor & 3;
        return rect_;
    }
    if (target == parent_) return IntRect(0, 0, parent_->rect_.right, parent_->rect_.bottom);
    return target->rect_;
}

namespace {
// The edge of a reference rectangle that a side names on one axis: the near edge for
// sides 0 and 1, the far edge for 2 and 3 (a side of the other axis is read on this one).
i64 Edge(const IntRect& r, i32 side, bool horizontal) {
    const i64 origin = horizontal ? r.left : r.top;
    const i64 extent = horizontal ? r.right : r.bottom;
    return (side & 2) ? origin + extent : origin;
}
i32 Clamp32(i64 v) {
    if (v > 2147483647) return 2147483647;
    if (v < -2147483647 - 1) return -2147483647 - 1;
    return static_cast<i32>(v);
}
}  // namespace

i64 ClientLayout::EdgeOf(i32 anchor, bool horizontal) const {
    i32 side = 0;
    const IntRect reference = Reference(anchor, side);
    return Edge(reference, side, horizontal);
}

void ClientLayout::LayoutAxis(bool horizontal, IntRect& r) const {
    const i32 a1 = horizontal ? kAnchorX1 : kAnchorY1;
    const i32 a2 = horizontal ? kAnchorX2 : kAnchorY2;
    const i32 m1 = horizontal ? kAnchorW1 : kAnchorH1;
    const i32 m2 = horizontal ? kAnchorW2 : kAnchorH2;
    const i32 lo = Clamp32(EdgeOf(a1, horizontal));
    const i32 hi = Clamp32(EdgeOf(a2, horizontal));
    LayoutRule spec = horizontal ? widthSpec_ : heightSpec_;
    f32 size = spec.b;
    f32 stretch = spec.k;
    if (targets_[m1] && targets_[m2]) {
        const i64 e1 = EdgeOf(m1, horizontal);
        const i64 e2 = EdgeOf(m2, horizontal);
        size = static_cast<f32>(e2 - e1) * offsets_[m1].k + offsets_[m1].b;
        stretch = 0.0f;
    }
    const SpanPlacement span = AlignSpan(lo, hi, size, stretch, offsets_[a1].b, offsets_[a1].k, offsets_[a2].b, offsets_[a2].k,
                                targets_[a1] != nullptr);
    if (horizontal) {
        r.left = span.start;
        r.right = span.length;
    } else {
        r.top = span.start;
        r.bottom = span.length;
    }
}

void ClientLayout::Relayout(bool horizontal, bool vertical) {
    if (inLayout_) return;
    inLayout_ = true;
    IntRect r = rect_;
    if (horizontal) LayoutAxis(true, r);
    if (vertical) LayoutAxis(false, r);
    SetRect(r);  // stores it (a window also limits it) and tells the dependents
    inLayout_ = false;
}

void ClientLayout::SetRect(IntRect rect) {
    const IntRect before = rect_.GetCorners();
    rect_ = rect;
    const IntRect after = rect_.GetCorners();
    NotifyDependents(before.left != after.left, before.top != after.top, before.right != after.right,
                     before.bottom != after.bottom);
}

void ClientLayout::NotifyDependents(bool left, bool top, bool right, bool bottom) {
    if (!(left || top || right || bottom)) return;
    // A snapshot: laying a dependent out may change who depends on whom.
    const std::vector<ClientLayout*> snapshot(dependents_.begin(), dependents_.end());
    for (ClientLayout* d : snapshot) {
        if (!dependents_.Contains(d)) continue;
        bool changed[4] = {left, top, right, bottom};
        if (d->parent_ == this) {
            // Anchors on the parent measure from its client area, which a move or a
            // resize changes as a whole.
            const bool h = left || right;
            const bool v = top || bottom;
            changed[0] = changed[2] = h;
            changed[1] = changed[3] = v;
        }
        bool horizontal = false;
        bool vertical = false;
        for (i32 i = 0; i < kAnchorCount; ++i) {
            if (d->targets_[i] != this || !changed[d->sides_[i] & 3]) continue;
            if (IsHorizontal(i))
                horizontal = true;
            else
                vertical = true;
        }
        if (horizontal || vertical) d->Relayout(horizontal, vertical);
    }
}
