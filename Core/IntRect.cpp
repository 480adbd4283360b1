#include "Core/IntRect.h"

namespace {
// Corner form in 64 bits, so that origin + size cannot overflow.
struct Corners {
    i64 left, top, right, bottom;
};
Corners CornersOf(const IntRect& r, bool sizes) {
    return {r.left, r.top, sizes ? static_cast<i64>(r.left) + r.right : r.right,
            sizes ? static_cast<i64>(r.top) + r.bottom : r.bottom};
}
i64 Max(i64 a, i64 b) { return a > b ? a : b; }
i64 Min(i64 a, i64 b) { return a < b ? a : b; }
}  // namespace

bool IntRect::Intersect(IntRect a, IntRect b, IntRect& out, bool sizes) {
    const Corners ca = CornersOf(a, sizes);
    const Corners cb = CornersOf(b, sizes);
    const i64 left = Max(ca.left, cb.left);
    const i64 top = Max(ca.top, cb.top);
    if (left > cb.right || top > cb.bottom || ca.right < cb.left || ca.bottom < cb.top) return false;
    const i64 right = Min(ca.right, cb.right);
    const i64 bottom = Min(ca.bottom, cb.bottom);
    out.left = static_cast<i32>(left);
    out.top = static_cast<i32>(top);
    out.right = static_cast<i32>(sizes ? right - left : right);
    out.bottom = static_cast<i32>(sizes ? bottom - top : bottom);
    return true;
}

void IntRect::ToSize() {
    right -= left;
    bottom -= top;
}

void IntRect::ToCorners() {
    right += left;
    bottom += top;
}

IntRect IntRect::GetCorners() const { return IntRect(left, top, left + right, top + bottom); }

i32* IntRect::Component(i32 index) {
    switch (index) {
        case 0: return &left;
        case 1: return &top;
        case 2: return &right;
        case 3: return &bottom;
        default: return nullptr;  // an index past the four fields would point outside the rectangle
    }
}

PointClass ClassifyPointInRect(IntRect rect, i32 px, i32 py, bool sizes) {
    // 64-bit differences: a point far from a rectangle near the ends of the range must
    // not wrap round into it.
    i64 w = rect.right;
    i64 h = rect.bottom;
    if (!sizes) {
        w = static_cast<i64>(rect.right) - rect.left;
        h = static_cast<i64>(rect.bottom) - rect.top;
    }
    const i64 dx = static_cast<i64>(px) - rect.left;
    const i64 dy = static_cast<i64>(py) - rect.top;
    if (dx < 0 || dx > w || dy < 0 || dy > h) return kPointOutside;
    if (dx == 0 || dx == w || dy == 0 || dy == h) return kPointOnBorder;
    return kPointInside;
}

namespace {
// Truncation toward zero that stays defined for values outside the 32-bit range.
i32 TruncateToInt(f32 v) {
    if (!(v == v)) return 0;
    if (v >= 2147483520.0f) return 2147483647;
    if (v <= -2147483648.0f) return -2147483647 - 1;
    return static_cast<i32>(v);
}
}  // namespace

SpanPlacement AlignSpan(i32 lo, i32 hi, f32 s, f32 ws, f32 m1, f32 wb, f32 m2, f32 wa, bool lowAnchored) {
    f32 start;
    f32 length;
    if (ws == 0.0f) {
        length = s;
        // A span pinned to the high side keeps the high side's own margin.
        start = lowAnchored ? static_cast<f32>(lo) + m1 : static_cast<f32>(hi) - m2 - s;
    } else {
        const f32 free = static_cast<f32>(hi - static_cast<i64>(lo)) - (m2 + s + m1);
        const f32 total = wa + wb + ws;
        const f32 spanShare = total == 0.0f ? 0.0f : ws / total;
        const f32 beforeShare = total == 0.0f ? 0.0f : wb / total;
        start = static_cast<f32>(lo) + m1 + beforeShare * free;
        length = s + spanShare * free;
    }
    const f32 end = start + length;
    const i32 first = TruncateToInt(start);
    return {first, TruncateToInt(end - start)};
}
