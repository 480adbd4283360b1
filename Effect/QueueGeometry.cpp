// Plain arithmetic on centre-and-size boxes and corner rectangles; the segment tests use
// the angle-sum point test of the foundation, which also counts points on an edge.
#include "Effect/QueueGeometry.h"

#include <math.h>

#include <algorithm>

i32 BoxesOverlap(const Box& a, const Box& b) {
    if (2.0f * fabsf(a.x - b.x) > a.w + b.w) return 0;
    if (a.h + b.h < 2.0f * fabsf(a.y - b.y)) return 0;
    if (a.d + b.d < 2.0f * fabsf(a.z - b.z)) return 0;
    return 4;
}

i32 IntersectSpans(i32 a0, i32 a1, i32 b0, i32 b1, i32* lo, i32* hi) {
    const i32 low = std::max(std::min(a0, a1), std::min(b0, b1));
    const i32 high = std::min(std::max(a0, a1), std::max(b0, b1));
    if (low > high) return 0;
    if (lo) *lo = low;
    if (hi) *hi = high;
    return low == high ? 1 : 2;
}

i32 ClassifyRectOverlap(const IntRect& r, const IntRect& s, IntRect* out) {
    i32 x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    const i32 x = IntersectSpans(r.left, r.right, s.left, s.right, &x0, &x1);
    const i32 y = IntersectSpans(r.top, r.bottom, s.top, s.bottom, &y0, &y1);
    if (x == 0 || y == 0) return 0;
    if (out) out->Set(x0, y0, x1, y1);
    if (x == 1 && y == 1) return 12;
    if (x == 2 && y == 2) return 13;
    return 10;
}

Plane PlaneFromPoints(const Vec3& p0, const Vec3& p1, const Vec3& p2) {
    Plane plane;
    plane.point = p0;
    Vec3Cross(plane.normal, p1 - p0, p2 - p0);
    return plane;
}

i32 SegmentPlane(const Segment& segment, const Plane& plane, f32* t) {
    const Vec3 direction = segment.p1 - segment.p0;
    const f32 along = Vec3Dot(plane.normal, direction);
    if (fabsf(along) >= 1e-5f) {
        if (t) *t = Vec3Dot(plane.normal, plane.point - segment.p0) / along;
        return 1;
    }
    return PlaneSide(plane, segment.p0) == 2 ? 3 : 0;
}

bool SegmentCrossesQuad(const Segment& segment, const Quad& quad) {
    const Plane plane = PlaneFromPoints(quad.p[0], quad.p[1], quad.p[2]);
    f32 t = 0.0f;
    if (SegmentPlane(segment, plane, &t) != 1 || !(t >= 0.0f && t <= 1.0f)) return false;
    const Vec3 point = segment.PointAt(t);
    Triangle first, second;
    first.Set(quad.p[0], quad.p[1], quad.p[2]);
    second.Set(quad.p[2], quad.p[3], quad.p[0]);
    return IsPointInsideByAngleSum(first, point) != 4 || IsPointInsideByAngleSum(second, point) != 4;
}

i32 BoxPlaneTest(const Box& box, const Segment& segment) {
    for (u32 face = 0; face < 6; ++face)
        if (SegmentCrossesQuad(segment, Box::Face(box, face))) return 4;
    return 0;
}
