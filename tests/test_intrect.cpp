// Integer rectangles: the two readings and their intersection.
#include "Gui/IntRect.h"

#include <gtest/gtest.h>

#include <limits.h>

namespace {
bool Same(const IntRect& r, i32 a, i32 b, i32 c, i32 d) { return IntRect::Equals(r, IntRect(a, b, c, d)); }
}  // namespace

TEST(IntRect, SetClearCopyEquals) {
    IntRect r;
    r.Set(1, 2, 3, 4);
    EXPECT_TRUE(Same(r, 1, 2, 3, 4));
    IntRect copy(9, 9, 9, 9);
    r.CopyTo(copy);
    EXPECT_TRUE(IntRect::Equals(r, copy));
    for (int field = 0; field < 4; ++field) {
        IntRect other = r;
        (&other.left)[field] += 1;
        EXPECT_FALSE(IntRect::Equals(r, other)) << field;
    }
    r.Clear();
    EXPECT_TRUE(Same(r, 0, 0, 0, 0));
}

TEST(IntRect, IntersectTable) {
    const struct {
        IntRect a, b;
        bool sizes;
        bool meets;
        IntRect out;
    } cases[] = {
        // corners
        {{0, 0, 10, 10}, {5, 5, 15, 15}, false, true, {5, 5, 10, 10}},
        {{5, 5, 15, 15}, {0, 0, 10, 10}, false, true, {5, 5, 10, 10}},
        {{0, 0, 10, 10}, {10, 10, 20, 20}, false, true, {10, 10, 10, 10}},  // touching corners meet
        {{0, 0, 10, 10}, {11, 0, 20, 10}, false, false, {}},
        {{0, 0, 10, 10}, {0, 11, 10, 20}, false, false, {}},
        {{20, 0, 30, 10}, {0, 0, 10, 10}, false, false, {}},  // a right of b
        {{0, 20, 10, 30}, {0, 0, 10, 10}, false, false, {}},  // a below b
        {{2, 2, 4, 4}, {0, 0, 10, 10}, false, true, {2, 2, 4, 4}},  // inside
        {{-10, -10, -2, -2}, {-5, -5, 5, 5}, false, true, {-5, -5, -2, -2}},
        // origin and size
        {{0, 0, 10, 10}, {5, 5, 10, 10}, true, true, {5, 5, 5, 5}},
        {{0, 0, 10, 10}, {10, 0, 5, 5}, true, true, {10, 0, 0, 5}},  // edges touch: zero width
        {{0, 0, 10, 10}, {11, 0, 5, 5}, true, false, {}},
        {{3, 4, 2, 2}, {0, 0, 100, 100}, true, true, {3, 4, 2, 2}},
    };
    for (const auto& c : cases) {
        IntRect out(77, 77, 77, 77);
        EXPECT_EQ(IntRect::Intersect(c.a, c.b, out, c.sizes), c.meets)
            << c.a.left << "," << c.a.top << "," << c.a.right << "," << c.a.bottom;
        if (c.meets)
            EXPECT_TRUE(IntRect::Equals(out, c.out)) << out.left << "," << out.top << "," << out.right << "," << out.bottom;
        else
            EXPECT_TRUE(Same(out, 77, 77, 77, 77));  // untouched when apart
    }
}

TEST(IntRect, IntersectIntoAnInputAndWithoutOverflow) {
    IntRect a(0, 0, 10, 10);
    const IntRect b(4, 6, 20, 20);
    ASSERT_TRUE(IntRect::Intersect(a, b, a, false));
    EXPECT_TRUE(Same(a, 4, 6, 10, 10));
    // Origin plus size beyond the 32-bit range does not wrap into a small rectangle.
    IntRect out;
    ASSERT_TRUE(IntRect::Intersect(IntRect(INT_MAX - 5, 0, 100, 10), IntRect(INT_MAX - 10, 0, 100, 10), out, true));
    EXPECT_TRUE(Same(out, INT_MAX - 5, 0, 95, 10)) << out.left << " " << out.right;
}
