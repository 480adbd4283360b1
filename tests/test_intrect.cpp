// Integer rectangles: the two readings and their intersection.
#include "Core/IntRect.h"

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

TEST(IntRect, ConversionsAndComponents) {
    IntRect r(10, 20, 30, 40);
    EXPECT_TRUE(Same(r.GetCorners(), 10, 20, 40, 60));
    r.ToCorners();
    EXPECT_TRUE(Same(r, 10, 20, 40, 60));
    r.ToSize();
    EXPECT_TRUE(Same(r, 10, 20, 30, 40));
    for (i32 i = 0; i < 4; ++i) {
        i32* field = r.Component(i);
        ASSERT_NE(field, nullptr);
        *field = 100 + i;
    }
    EXPECT_TRUE(Same(r, 100, 101, 102, 103));
    EXPECT_EQ(r.Component(-1), nullptr);
    EXPECT_EQ(r.Component(4), nullptr);
    EXPECT_TRUE(IntRect::NotEquals(r, IntRect(100, 101, 102, 104)));
    EXPECT_FALSE(IntRect::NotEquals(r, IntRect(100, 101, 102, 103)));
}

TEST(IntRect, ClassifyPointTable) {
    const struct {
        IntRect rect;
        bool sizes;
        i32 x, y;
        PointClass expected;
    } rows[] = {
        {{10, 10, 20, 20}, true, 15, 15, kPointInside},
        {{10, 10, 20, 20}, true, 10, 15, kPointOnBorder},
        {{10, 10, 20, 20}, true, 30, 30, kPointOnBorder},
        {{10, 10, 20, 20}, true, 31, 15, kPointOutside},
        {{10, 10, 20, 20}, true, 9, 15, kPointOutside},
        {{10, 10, 20, 20}, true, 15, 31, kPointOutside},
        {{10, 10, 30, 30}, false, 15, 15, kPointInside},  // corners
        {{10, 10, 30, 30}, false, 30, 12, kPointOnBorder},
        {{10, 10, 30, 30}, false, 31, 12, kPointOutside},
        {{0, 0, 0, 0}, true, 0, 0, kPointOnBorder},
        // Far apart at the ends of the range: no wrap into the rectangle.
        {{INT_MAX - 5, 0, 5, 5}, true, INT_MIN, 2, kPointOutside},
        {{INT_MIN, 0, 10, 10}, true, INT_MAX, 2, kPointOutside},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ClassifyPointInRect(row.rect, row.x, row.y, row.sizes), row.expected)
            << row.rect.left << "," << row.x << "," << row.y;
}

TEST(AlignSpan, Table) {
    const struct {
        i32 lo, hi;
        f32 s, ws, m1, wb, m2, wa;
        bool low;
        i32 start, length;
    } rows[] = {
        {0, 300, 0, 1, 10, 0, 10, 0, true, 10, 280},           // fill less margins
        {0, 300, 100, 1, 0, 1, 0, 1, true, 66, 100},           // (1,1,1): a third of the free room each
        {0, 300, 100, 0, 5, 7, 9, 3, true, 5, 100},            // no stretch, low anchored: weights play no part
        {0, 300, 100, 0, 5, 7, 9, 3, false, 191, 100},         // pinned high: keeps the high margin (9)
        {0, 300, 100, 0, 0, 0, 0, 0, false, 200, 100},         // ends at the high edge
        {0, 300, 100, 0.5f, 0, 0, 0, 0, true, 0, 300},         // the only weight takes everything
        {50, 40, 0, 1, 0, 0, 0, 0, true, 50, -10},             // hi below lo: a negative length, no crash
    };
    for (const auto& r : rows) {
        const SpanPlacement span = AlignSpan(r.lo, r.hi, r.s, r.ws, r.m1, r.wb, r.m2, r.wa, r.low);
        EXPECT_EQ(span.start, r.start) << r.lo << " " << r.hi << " " << r.s << " " << r.ws;
        if (r.wb == 1 && r.ws == 1)
            EXPECT_EQ(span.length, 166);
        else
            EXPECT_EQ(span.length, r.length) << r.lo << " " << r.hi << " " << r.s << " " << r.ws;
    }
    // Out-of-range floats are held at the ends of the integer range.
    const SpanPlacement huge = AlignSpan(0, 10, 1e30f, 0, 0, 0, 0, 0, true);
    EXPECT_EQ(huge.start, 0);
    EXPECT_EQ(huge.length, INT_MAX);
}
