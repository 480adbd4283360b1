// The render queue's overlap and crossing tests against brute force on random inputs:
// boxes by their extents per axis, spans and rectangles by the integer points they share,
// and segments against boxes by stepping along the segment.
#include "Effect/QueueGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

TEST(QueueGeometry, BoxesOverlapAgreesWithExtentsAndTouchingCounts) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> position(-8, 8), size(0, 8);
    for (int i = 0; i < 20000; ++i) {
        // Whole numbers (and halves) are exact in floats, so touching is exact too.
        Box a{f32(position(random)), f32(position(random)), f32(position(random)),
              f32(size(random)), f32(size(random)), f32(size(random))};
        Box b{f32(position(random)), f32(position(random)), f32(position(random)),
              f32(size(random)), f32(size(random)), f32(size(random))};
        auto meets = [](f32 ca, f32 sa, f32 cb, f32 sb) {
            return std::max(ca - sa / 2, cb - sb / 2) <= std::min(ca + sa / 2, cb + sb / 2);
        };
        const bool expected = meets(a.x, a.w, b.x, b.w) && meets(a.y, a.h, b.y, b.h) && meets(a.z, a.d, b.z, b.d);
        ASSERT_EQ(BoxesOverlap(a, b), expected ? 4 : 0) << i;
        ASSERT_EQ(BoxesOverlap(b, a), BoxesOverlap(a, b));
    }
}

// The integer points of [a0, a1] and [b0, b1] in common, by counting.
int CommonPoints(int a0, int a1, int b0, int b1, int* first, int* last) {
    int n = 0;
    for (int v = -20; v <= 20; ++v) {
        if (v >= std::min(a0, a1) && v <= std::max(a0, a1) && v >= std::min(b0, b1) && v <= std::max(b0, b1)) {
            if (n == 0) *first = v;
            *last = v;
            ++n;
        }
    }
    return n;
}

TEST(QueueGeometry, SpansAndRectanglesAgreeWithTheirCommonPoints) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> v(-10, 10);
    for (int i = 0; i < 20000; ++i) {
        const int a0 = v(random), a1 = v(random), b0 = v(random), b1 = v(random);
        int first = 0, last = 0, lo = 99, hi = 99;
        const int n = CommonPoints(a0, a1, b0, b1, &first, &last);
        const int got = IntersectSpans(a0, a1, b0, b1, &lo, &hi);
        ASSERT_EQ(got, n == 0 ? 0 : (n == 1 ? 1 : 2)) << a0 << " " << a1 << " " << b0 << " " << b1;
        if (n) {
            ASSERT_EQ(lo, first);
            ASSERT_EQ(hi, last);
        }
    }
    for (int i = 0; i < 20000; ++i) {
        const IntRect r(v(random), v(random), v(random), v(random));
        const IntRect s(v(random), v(random), v(random), v(random));
        int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
        const int nx = CommonPoints(r.left, r.right, s.left, s.right, &x0, &x1);
        const int ny = CommonPoints(r.top, r.bottom, s.top, s.bottom, &y0, &y1);
        IntRect out(99, 99, 99, 99);
        const int got = ClassifyRectOverlap(r, s, &out);
        int expected = 0;
        if (nx && ny) expected = (nx == 1 && ny == 1) ? 12 : ((nx > 1 && ny > 1) ? 13 : 10);
        ASSERT_EQ(got, expected) << i;
        if (expected) {
            ASSERT_EQ(out.left, x0);
            ASSERT_EQ(out.top, y0);
            ASSERT_EQ(out.right, x1);
            ASSERT_EQ(out.bottom, y1);
        } else {
            ASSERT_EQ(out.left, 99) << "nothing is written for rectangles apart";
        }
    }
}

TEST(QueueGeometry, SegmentsAgainstPlanes) {
    const Plane ground = PlaneFromPoints(Vec3(0, 0, 0), Vec3(0, 0, 1), Vec3(1, 0, 0));
    EXPECT_GT(ground.normal.y, 0.0f);
    f32 t = -1.0f;
    EXPECT_EQ(SegmentPlane(Segment{Vec3(0, 2, 0), Vec3(0, -2, 0)}, ground, &t), 1);
    EXPECT_FLOAT_EQ(t, 0.5f);
    // The parameter is that of the line: a segment that stops short still has one.
    EXPECT_EQ(SegmentPlane(Segment{Vec3(0, 2, 0), Vec3(0, 1, 0)}, ground, &t), 1);
    EXPECT_FLOAT_EQ(t, 2.0f);
    EXPECT_EQ(SegmentPlane(Segment{Vec3(0, 0, 0), Vec3(5, 0, 3)}, ground, &t), 3) << "lies in the plane";
    EXPECT_EQ(SegmentPlane(Segment{Vec3(0, 1, 0), Vec3(5, 1, 3)}, ground, &t), 0) << "parallel above it";
}

// Whether a segment crosses the surface of a box, by stepping along it: one end inside and
// the other outside, or a step inside between two outside ends.
bool CrossesBySteps(const Box& box, const Segment& s) {
    auto inside = [&](const Vec3& p) {
        return fabsf(p.x - box.x) < box.w / 2 && fabsf(p.y - box.y) < box.h / 2 && fabsf(p.z - box.z) < box.d / 2;
    };
    const bool start = inside(s.p0);
    for (int i = 1; i <= 4000; ++i)
        if (inside(s.PointAt(f32(i) / 4000)) != start) return true;
    return false;
}

TEST(QueueGeometry, BoxPlaneTestAgreesWithSteppingAlongTheSegment) {
    std::mt19937 random(13);
    std::uniform_real_distribution<float> v(-3.0f, 3.0f);
    const Box box{0.25f, -0.5f, 0.0f, 2.0f, 3.0f, 1.5f};
    int crossings = 0, checked = 0;
    for (int i = 0; i < 3000; ++i) {
        const Segment s{Vec3(v(random), v(random), v(random)), Vec3(v(random), v(random), v(random))};
        // Segments that start or end on the surface, or pass by an edge of the box, are left
        // out: stepping cannot judge them.
        auto excess = [&](const Vec3& p) {
            return std::max({fabsf(p.x - box.x) - box.w / 2, fabsf(p.y - box.y) - box.h / 2,
                             fabsf(p.z - box.z) - box.d / 2});
        };
        bool near = fabsf(excess(s.p0)) < 0.05f || fabsf(excess(s.p1)) < 0.05f;
        for (int k = 0; k <= 2000 && !near; ++k) {
            const Vec3 p = s.PointAt(f32(k) / 2000);
            const f32 e[3] = {fabsf(p.x - box.x) - box.w / 2, fabsf(p.y - box.y) - box.h / 2,
                              fabsf(p.z - box.z) - box.d / 2};
            int onFace = 0;
            for (f32 v : e) onFace += fabsf(v) < 0.05f;
            near = onFace >= 2 && excess(p) < 0.05f;
        }
        if (near) continue;
        ++checked;
        const bool expected = CrossesBySteps(box, s);
        crossings += expected;
        ASSERT_EQ(BoxPlaneTest(box, s), expected ? 4 : 0) << i;
    }
    EXPECT_GT(checked, 500);
    EXPECT_GT(crossings, 100);
    // Both ends inside crosses nothing.
    EXPECT_EQ(BoxPlaneTest(box, Segment{Vec3(0.2f, -0.4f, 0.1f), Vec3(0.4f, 0.2f, -0.2f)}), 0);
}

}  // namespace
