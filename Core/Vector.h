// Three-component vectors and the few vector operations the engine does itself.
#pragma once

#include "Core/Types.h"

struct Vec3 {
    f32 x = 0.0f;
    f32 y = 0.0f;
    f32 z = 0.0f;
    constexpr Vec3() = default;
    constexpr Vec3(f32 x_, f32 y_, f32 z_) : x(x_), y(y_), z(z_) {}
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return Vec3(a.x + b.x, a.y + b.y, a.z + b.z); }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return Vec3(a.x - b.x, a.y - b.y, a.z - b.z); }
inline Vec3 operator*(const Vec3& v, f32 s) { return Vec3(v.x * s, v.y * s, v.z * s); }
inline f32 Vec3Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The Euclidean length. Squares are summed in double precision, so vectors with
// components beyond the square root of the float range still have a length.
f32 Vec3Length(const Vec3& v);
// out = a - b.
void Vec3Subtract(Vec3& out, const Vec3& a, const Vec3& b);
// out = v * s.
void Vec3Scale(Vec3& out, const Vec3& v, f32 s);
// out = v / |v|; a vector whose squared length is 0 gives (0, 0, 0). out may be v.
void Vec3Normalize(Vec3& out, const Vec3& v);
// out = a x b in single precision; out may be a or b. Returns out.
Vec3& Vec3Cross(Vec3& out, const Vec3& a, const Vec3& b);
