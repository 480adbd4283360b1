#include "Core/Bounded.h"

#include "Core/D3dxLibrary.h"

#include <d3dx9math.h>

Vec3 Segment::PointAt(f32 t) const { return p0 + (p1 - p0) * t; }

void Triangle::Set(const Vec3& p0, const Vec3& p1, const Vec3& p2) {
    p[0] = p0;
    p[1] = p1;
    p[2] = p2;
}

void Quad::Set(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3) {
    p[0] = p0;
    p[1] = p1;
    p[2] = p2;
    p[3] = p3;
}

Vec3 Box::Corner(const Box& box, u32 i) {
    // Bit 0: high x, bit 1: high y, bit 2: high z.
    static constexpr u8 kSides[8] = {2, 3, 1, 0, 6, 7, 5, 4};
    const u8 sides = kSides[i < 7 ? i : 7];
    const f32 hw = box.w * 0.5f;
    const f32 hh = box.h * 0.5f;
    const f32 hd = box.d * 0.5f;
    return Vec3((sides & 1) ? box.x + hw : box.x - hw, (sides & 2) ? box.y + hh : box.y - hh,
                (sides & 4) ? box.z + hd : box.z - hd);
}

Quad Box::Face(const Box& box, u32 i) {
    static constexpr u8 kCorners[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {1, 5, 6, 2},
                                          {0, 4, 7, 3}, {0, 4, 5, 1}, {3, 7, 6, 2}};
    const u8* c = kCorners[i < 5 ? i : 5];
    Quad q;
    q.Set(Corner(box, c[0]), Corner(box, c[1]), Corner(box, c[2]), Corner(box, c[3]));
    return q;
}

Box Box::Union(const Box& a, const Box& b) {
    const f32 ac[3] = {a.x, a.y, a.z};
    const f32 as[3] = {a.w, a.h, a.d};
    const f32 bc[3] = {b.x, b.y, b.z};
    const f32 bs[3] = {b.w, b.h, b.d};
    f32 centre[3];
    f32 size[3];
    for (int k = 0; k < 3; ++k) {
        const f32 aLo = ac[k] - as[k] * 0.5f;
        const f32 aHi = ac[k] + as[k] * 0.5f;
        const f32 bLo = bc[k] - bs[k] * 0.5f;
        const f32 bHi = bc[k] + bs[k] * 0.5f;
        const f32 lo = bLo < aLo ? bLo : aLo;
        const f32 hi = bHi > aHi ? bHi : aHi;
        centre[k] = (hi + lo) * 0.5f;
        size[k] = hi - lo;
    }
    return Box{centre[0], centre[1], centre[2], size[0], size[1], size[2]};
}

namespace {

Box BoxOfRange(const f32 lo[3], const f32 hi[3]) {
    return Box{(lo[0] + hi[0]) * 0.5f, (lo[1] + hi[1]) * 0.5f, (lo[2] + hi[2]) * 0.5f,
               hi[0] - lo[0],          hi[1] - lo[1],          hi[2] - lo[2]};
}

}  // namespace

bool BoundsOfPoints(Box& out, const Vec3* points, u32 n) {
    if (points == nullptr || n == 0) {
        return false;
    }
    f32 lo[3] = {points[0].x, points[0].y, points[0].z};
    f32 hi[3] = {lo[0], lo[1], lo[2]};
    for (u32 i = 1; i < n; ++i) {
        const f32 p[3] = {points[i].x, points[i].y, points[i].z};
        for (int k = 0; k < 3; ++k) {
            if (p[k] < lo[k]) lo[k] = p[k];
            if (p[k] > hi[k]) hi[k] = p[k];
        }
    }
    out = BoxOfRange(lo, hi);
    return true;
}

bool ComputeBoundsFromVertices(Box& out, const void* vertices, u32 stride, u32 count) {
    // No vertices, no bounds: checked here, because the runtimes do not agree on it (some
    // succeed and read the first position anyway).
    if (count == 0 || !vertices) return false;
    D3DXVECTOR3 lo;
    D3DXVECTOR3 hi;
    if (FAILED(D3dx().ComputeBoundingBox(static_cast<const D3DXVECTOR3*>(vertices), count, stride, &lo, &hi))) {
        return false;
    }
    const f32 l[3] = {lo.x, lo.y, lo.z};
    const f32 u[3] = {hi.x, hi.y, hi.z};
    out = BoxOfRange(l, u);
    return true;
}

void Bounded::Transform(Box& out, const Box& box, const Matrix& matrix) {
    if (matrix.kind == Identity) {
        out = box;
        return;
    }
    D3DXMATRIX m;
    for (u32 r = 0; r < 4; ++r) {
        for (u32 c = 0; c < 4; ++c) {
            m.m[r][c] = matrix.m[4 * r + c];
        }
    }
    Vec3 corners[8];
    for (u32 i = 0; i < 8; ++i) {
        const Vec3 c = Box::Corner(box, i);
        D3DXVECTOR3 v(c.x, c.y, c.z);
        D3dx().Vec3TransformCoord(&v, &v, &m);
        corners[i] = Vec3(v.x, v.y, v.z);
    }
    BoundsOfPoints(out, corners, 8);
}
