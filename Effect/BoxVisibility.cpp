#include "Effect/BoxVisibility.h"

#include "Core/Vector.h"

namespace {

// Below this a corner is taken to sit on the eye plane.
constexpr f32 kMinW = 1e-4f;

// Corner pairs by the signs of the normal's x, y and z (bit 2, 1, 0 set when negative).
constexpr u32 kCornerPairs[8][2] = {{5, 3}, {1, 7}, {6, 0}, {2, 4}, {4, 2}, {0, 6}, {7, 1}, {3, 5}};

f32 Dot(const FrustumPlane& p, const Vec3& v) { return p.nx * v.x + p.ny * v.y + p.nz * v.z; }

}  // namespace

void FrustumFromViewProjection(FrustumPlane out[kFrustumPlanes], const Matrix& viewProjection) {
    auto at = [&](u32 r, u32 c) { return viewProjection.m[4 * r + c]; };
    for (u32 i = 0; i < 4; ++i) {
        const f32 values[kFrustumPlanes] = {
            at(i, 3) + at(i, 0),  // left
            at(i, 3) - at(i, 0),  // right
            at(i, 3) - at(i, 1),  // top
            at(i, 3) + at(i, 1),  // bottom
            at(i, 2),             // near
            at(i, 3) - at(i, 2),  // far
        };
        for (u32 p = 0; p < kFrustumPlanes; ++p) {
            f32* word = i == 0 ? &out[p].nx : i == 1 ? &out[p].ny : i == 2 ? &out[p].nz : &out[p].d;
            *word = values[p];
        }
    }
    for (u32 p = 0; p < kFrustumPlanes; ++p) {
        const u32 signs = (out[p].nx < 0.0f ? 4u : 0u) | (out[p].ny < 0.0f ? 2u : 0u) | (out[p].nz < 0.0f ? 1u : 0u);
        out[p].pCorner = kCornerPairs[signs][0];
        out[p].nCorner = kCornerPairs[signs][1];
    }
}

i32 FrustumTestBox(const Box& box, const FrustumPlane planes[kFrustumPlanes]) {
    i32 result = kBoxInside;
    for (u32 p = 0; p < kFrustumPlanes; ++p) {
        const FrustumPlane& plane = planes[p];
        if (Dot(plane, Box::Corner(box, plane.pCorner)) < -plane.d) return kBoxOutside;
        if (Dot(plane, Box::Corner(box, plane.nCorner)) < -plane.d) result = kBoxCrossing;
    }
    return result;
}

f32 ProjectedBoxSize(const Box& box, const Matrix& worldViewProjection, f32 screenWidth, f32 screenHeight) {
    if (!(screenWidth > 0.0f) || !(screenHeight > 0.0f)) return 0.0f;
    const f32* m = worldViewProjection.m;
    f32 minX = 0.0f, maxX = 0.0f, minY = 0.0f, maxY = 0.0f;
    for (u32 i = 0; i < 8; ++i) {
        const Vec3 c = Box::Corner(box, i);
        const f32 x = c.x * m[0] + c.y * m[4] + c.z * m[8] + m[12];
        const f32 y = c.x * m[1] + c.y * m[5] + c.z * m[9] + m[13];
        const f32 z = c.x * m[2] + c.y * m[6] + c.z * m[10] + m[14];
        f32 w = c.x * m[3] + c.y * m[7] + c.z * m[11] + m[15];
        // Nearer than the near plane (or behind the eye): the box surrounds the viewer.
        if (!(z >= 0.0f)) return 1.0f;
        if (!(w > kMinW)) w = kMinW;
        const f32 sx = x / w;
        const f32 sy = y / w;
        if (i == 0 || sx < minX) minX = sx;
        if (i == 0 || sx > maxX) maxX = sx;
        if (i == 0 || sy < minY) minY = sy;
        if (i == 0 || sy > maxY) maxY = sy;
    }
    // From the -1..1 of projected space to pixels: half the screen per unit.
    const f32 dx = (maxX - minX) * 0.5f * screenWidth;
    const f32 dy = (maxY - minY) * 0.5f * screenHeight;
    const f32 fx = (dx < screenWidth ? dx : screenWidth) / screenWidth;
    const f32 fy = (dy < screenHeight ? dy : screenHeight) / screenHeight;
    const f32 size = fx < fy ? fx : fy;
    return size >= 0.0f ? size : 1.0f;  // NaN from a degenerate matrix: treat as close
}
