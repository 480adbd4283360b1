// An integer rectangle: left, top, then either right and bottom or width and height;
// which reading holds is the user's, and Intersect is told which one its inputs use.
#pragma once

#include "Core/Types.h"

struct IntRect {
    i32 left;
    i32 top;
    i32 right;   // or the width
    i32 bottom;  // or the height

    IntRect() = default;  // the values are the caller's to set
    IntRect(i32 a, i32 b, i32 c, i32 d) : left(a), top(b), right(c), bottom(d) {}

    void Set(i32 a, i32 b, i32 c, i32 d) {
        left = a;
        top = b;
        right = c;
        bottom = d;
    }
    void Clear() { Set(0, 0, 0, 0); }
    void CopyTo(IntRect& out) const { out = *this; }
    // Corners (x1, y1, x2, y2) in place to origin and size, and back.
    void ToSize();
    void ToCorners();
    // The corners of an origin-and-size rectangle.
    IntRect GetCorners() const;
    // The address of left, top, right or bottom (index 0 to 3); null for any other index.
    i32* Component(i32 index);

    static bool Equals(IntRect a, IntRect b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }

    static bool NotEquals(IntRect a, IntRect b) { return !Equals(a, b); }

    // The common part of a and b. With `sizes` both are read as origin and size, and the
    // result is written that way. Rectangles whose edges touch meet (a zero-sized result);
    // false, with `out` untouched, when they are apart. `out` may be a or b.
    static bool Intersect(IntRect a, IntRect b, IntRect& out, bool sizes);
};

// Where a point lies against a rectangle: outside, on its border or inside.
enum PointClass : i32 {
    kPointOnBorder = 2,
    kPointInside = 3,
    kPointOutside = 4,
};
// With `sizes` the rectangle is origin and size, else corners.
PointClass ClassifyPointInRect(IntRect rect, i32 px, i32 py, bool sizes);

// The placement of a span (a window's extent on one axis) between lo and hi: its start
// and length.
struct SpanPlacement {
    i32 start;
    i32 length;
};

// Places a span of size s between lo and hi with margins m1 (low side) and m2 (high side).
// With stretch ws = 0 the span keeps its size: after the low margin when the low side is
// anchored, else ending at the high margin. Otherwise the free room (hi - lo less margins
// and size) is shared out by weight: wb before the span, ws to the span, wa after it.
SpanPlacement AlignSpan(i32 lo, i32 hi, f32 s, f32 ws, f32 m1, f32 wb, f32 m2, f32 wa, bool lowAnchored);
