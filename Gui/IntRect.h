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

    static bool Equals(IntRect a, IntRect b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }

    // The common part of a and b. With `sizes` both are read as origin and size, and the
    // result is written that way. Rectangles whose edges touch meet (a zero-sized result);
    // false, with `out` untouched, when they are apart. `out` may be a or b.
    static bool Intersect(IntRect a, IntRect b, IntRect& out, bool sizes);
};
