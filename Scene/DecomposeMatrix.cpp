#include "Scene/DecomposeMatrix.h"

#include <cmath>

namespace {

Vec3 Row(const Matrix& m, u32 row) { return Vec3(m.m[4 * row], m.m[4 * row + 1], m.m[4 * row + 2]); }

// row / |row|, or row itself when its length is 0.
Vec3 Unit(const Vec3& row, f32 length) { return length > 0.0f ? row * (1.0f / length) : row; }

}  // namespace

bool DecomposeMatrix(const Matrix& m, Vec3& position, Vec3& direction, Vec3& up, Vec3& scale) {
    const Vec3 side = Row(m, 0);
    position = Row(m, 3);
    scale = Vec3(Vec3Length(side), Vec3Length(Row(m, 1)), Vec3Length(Row(m, 2)));
    const Vec3 unitSide = Unit(side, scale.x);
    up = Unit(Row(m, 1), scale.y);
    direction = Unit(Row(m, 2), scale.z);
    // Each test is written so that a NaN fails it: NaN compares false with every bound.
    if (!(std::fabs(scale.x + scale.y + scale.z) > 0.01f)) return false;
    if (!(std::fabs(Vec3Dot(direction, up)) <= 0.1f)) return false;
    if (!(std::fabs(Vec3Dot(unitSide, direction)) <= 0.1f)) return false;
    if (!std::isfinite(position.x) || !std::isfinite(position.y) || !std::isfinite(position.z)) return false;
    Vec3 built;
    Vec3Cross(built, up, direction);
    if (Vec3Dot(built, unitSide) < 0.0f) scale.x = -scale.x;
    return true;
}
