#include "Core/Vector.h"

#include <cmath>

namespace {

f64 LengthSquared(const Vec3& v) {
    const f64 x = v.x;
    const f64 y = v.y;
    const f64 z = v.z;
    return x * x + y * y + z * z;
}

}  // namespace

f32 Vec3Length(const Vec3& v) { return static_cast<f32>(std::sqrt(LengthSquared(v))); }

void Vec3Subtract(Vec3& out, const Vec3& a, const Vec3& b) { out = Vec3(a.x - b.x, a.y - b.y, a.z - b.z); }

void Vec3Scale(Vec3& out, const Vec3& v, f32 s) { out = Vec3(v.x * s, v.y * s, v.z * s); }

void Vec3Normalize(Vec3& out, const Vec3& v) {
    // In double precision the squares of float components neither overflow nor
    // vanish, so very long and very short vectors normalise too.
    const f64 lengthSq = LengthSquared(v);
    if (lengthSq == 0.0) {
        out = Vec3(0.0f, 0.0f, 0.0f);
        return;
    }
    const f64 inv = 1.0 / std::sqrt(lengthSq);
    out = Vec3(static_cast<f32>(v.x * inv), static_cast<f32>(v.y * inv), static_cast<f32>(v.z * inv));
}

Vec3& Vec3Cross(Vec3& out, const Vec3& a, const Vec3& b) {
    const f32 x = a.y * b.z - a.z * b.y;
    const f32 y = a.z * b.x - a.x * b.z;
    const f32 z = a.x * b.y - a.y * b.x;
    out = Vec3(x, y, z);
    return out;
}
