#include "Gui/IntRect.h"

namespace {
// Corner form in 64 bits, so that origin + size cannot overflow.
struct Corners {
    i64 left, top, right, bottom;
};
Corners ToCorners(const IntRect& r, bool sizes) {
    return {r.left, r.top, sizes ? static_cast<i64>(r.left) + r.right : r.right,
            sizes ? static_cast<i64>(r.top) + r.bottom : r.bottom};
}
i64 Max(i64 a, i64 b) { return a > b ? a : b; }
i64 Min(i64 a, i64 b) { return a < b ? a : b; }
}  // namespace

bool IntRect::Intersect(IntRect a, IntRect b, IntRect& out, bool sizes) {
    const Corners ca = ToCorners(a, sizes);
    const Corners cb = ToCorners(b, sizes);
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
