#include "Core/Geometry.h"

#include "Core/D3dxLibrary.h"

#include <d3dx9math.h>

#include <cmath>
#include <cstdlib>

namespace {

constexpr f32 kTwoPi = 6.2831855f;
// The float nearest 1/32766, so that (rand() mod 32767) covers 0 to 2 pi inclusive.
constexpr f32 kRandToUnit = 3.051944e-05f;

D3DXVECTOR3 ToD3dx(const Vec3& v) { return D3DXVECTOR3(v.x, v.y, v.z); }
Vec3 FromD3dx(const D3DXVECTOR3& v) { return Vec3(v.x, v.y, v.z); }

Vec3 Transformed(const Vec3& v, const D3DXMATRIX& m) {
    D3DXVECTOR3 p = ToD3dx(v);
    D3dx().Vec3TransformCoord(&p, &p, &m);
    return FromD3dx(p);
}

// The cosine between two vectors of non-zero length, clamped into [-1, 1]
// against rounding. Formed in double precision, where neither the dot product
// nor the product of the lengths can overflow or vanish for float inputs.
f32 ClampedCosine(const Vec3& a, const Vec3& b) {
    const f64 dot = f64(a.x) * b.x + f64(a.y) * b.y + f64(a.z) * b.z;
    const f64 aa = f64(a.x) * a.x + f64(a.y) * a.y + f64(a.z) * a.z;
    const f64 bb = f64(b.x) * b.x + f64(b.y) * b.y + f64(b.z) * b.z;
    const f64 c = dot / (std::sqrt(aa) * std::sqrt(bb));
    if (c < -1.0) return -1.0f;
    if (c > 1.0) return 1.0f;
    return static_cast<f32>(c);
}

}  // namespace

void Plane::PointAtDistance(Vec3& out, const Plane& plane, f32 s) {
    const Vec3& p = plane.point;
    const Vec3& n = plane.normal;
    const f32 k = -Vec3Dot(p, n);
    // A trial point in the plane: two coordinates 1 and the third solved from the
    // largest-enough normal component.
    Vec3 q;
    if (std::fabs(n.x) > 0.0001f) {
        q = Vec3((-n.y - n.z - k) / n.x, 1.0f, 1.0f);
    } else if (std::fabs(n.y) > 0.0001f) {
        q = Vec3(1.0f, (-n.x - n.z - k) / n.y, 1.0f);
    } else if (std::fabs(n.z) > 0.0001f) {
        q = Vec3(1.0f, 1.0f, (-n.x - n.y - k) / n.z);
    } else {
        out = Vec3(0.0f, 0.0f, 0.0f);
        return;
    }
    Vec3 dir;
    Vec3Normalize(dir, q - p);
    out = p + dir * s;
}

void ProjectPointOnRay(Vec3& out, const Ray& r, const Vec3& p) {
    const Vec3& d = r.direction;
    const f32 dd = Vec3Dot(d, d);
    if (dd == 0.0f) {
        out = p;
        return;
    }
    out = p + d * (Vec3Dot(r.point - p, d) / dd);
}

void Perpendicular2D(Vec3& out, const Vec3& v) { out = Vec3(-v.y, v.x, 0.0f); }

f32 AngleBetween(const Vec3& a, const Vec3& b) {
    const f32 la = Vec3Length(a);
    const f32 lb = Vec3Length(b);
    if (la == 0.0f || lb == 0.0f) {
        return HalfPi;
    }
    return std::acos(ClampedCosine(a, b));
}

f32 FresnelR0FromIndex(f32 n) {
    return static_cast<f32>(std::pow(1.0 - n, 2.0) / std::pow(1.0 + n, 2.0));
}

void AnyPerpendicular(Vec3 d, Vec3& out1, Vec3& out2) {
    Plane plane;
    plane.point = Vec3(0.0f, 0.0f, 0.0f);
    plane.normal = d;
    Plane::PointAtDistance(out2, plane, 1.0f);
    Vec3 side;
    Vec3Cross(side, out2, d);
    Vec3Normalize(out1, side);
}

void DeviateDirection(Vec3& out, Vec3 origin, f32 length, f32 angleX, f32 angleY) {
    D3DXMATRIX rx;
    D3DXMATRIX ry;
    D3dx().MatrixRotationX(&rx, angleX);
    D3dx().MatrixRotationY(&ry, angleY);
    const Vec3 turned = Transformed(Transformed(Vec3(0.0f, 0.0f, length), rx), ry);
    out = origin + turned;
}

void RandomConeDirection(Vec3& out, Vec3 axis, f32 angle) {
    Vec3 unused;
    Vec3 u;
    AnyPerpendicular(axis, unused, u);
    D3DXMATRIX tilt;
    const D3DXVECTOR3 du = ToD3dx(u);
    D3dx().MatrixRotationAxis(&tilt, &du, angle);
    const Vec3 v = Transformed(axis, tilt);

    const f32 r = static_cast<f32>(std::rand() % 32767) * kTwoPi * kRandToUnit;
    D3DXMATRIX spin;
    const D3DXVECTOR3 da = ToD3dx(axis);
    D3dx().MatrixRotationAxis(&spin, &da, r);
    out = Transformed(v, spin);
}

i32 PlaneSide(const Plane& plane, const Vec3& point) {
    const f32 s = Vec3Dot(point - plane.point, plane.normal);
    if (std::fabs(s) <= 0.00001f) {
        return 2;
    }
    return s > 0.0f ? 1 : 0;
}

i32 PointInBox(const Box& box, const Vec3& point) {
    constexpr f32 kTolerance = 0.00001f;
    // Twice the distance from the centre, to compare with the full size.
    const f32 ex = 2.0f * std::fabs(box.x - point.x);
    const f32 ey = 2.0f * std::fabs(box.y - point.y);
    const f32 ez = 2.0f * std::fabs(box.z - point.z);
    if (std::fabs(ex - box.w) <= kTolerance && ey <= box.h && ez <= box.d) return 2;
    if (std::fabs(ey - box.h) <= kTolerance && ex <= box.w && ez <= box.d) return 2;
    if (std::fabs(ez - box.d) <= kTolerance && ex <= box.w && ey <= box.h) return 2;
    if (ex > box.w || ey > box.h) return 4;
    return ez <= box.d ? 3 : 4;
}

i32 ClassifyBox(const Box& a, const Box& b) {
    u32 inside = 0;
    for (u32 i = 0; i < 8; ++i) {
        if (PointInBox(a, Box::Corner(b, i)) == 3) {
            ++inside;
        }
    }
    if (inside == 8) return 3;
    return inside > 0 ? 2 : 4;
}

i32 IsPointInsideByAngleSum(const Triangle& corners, const Vec3& point) {
    constexpr f32 kNear = 0.000001f;
    Vec3 d[3];
    for (u32 i = 0; i < 3; ++i) {
        d[i] = corners.p[i] - point;
        if (Vec3Length(d[i]) <= kNear) {
            return 2;
        }
    }
    const f32 c01 = ClampedCosine(d[0], d[1]);
    const f32 c12 = ClampedCosine(d[1], d[2]);
    const f32 c02 = ClampedCosine(d[0], d[2]);
    if (c01 + 1.0f <= kNear || c12 + 1.0f <= kNear || c02 + 1.0f <= kNear) {
        return 2;
    }
    const f32 sum = std::acos(c01) + std::acos(c12) + std::acos(c02);
    return std::fabs(sum - kTwoPi) <= 0.0001f ? 3 : 4;
}
