// How a box lies relative to the camera: the frustum test of the culling pass and the
// share of the screen a box covers, which chooses a mesh's level of detail.
//
// The frustum is six planes (left, right, top, bottom, near, far) read from the
// view-projection matrix, unnormalised: only the signs of the distances matter. Each plane
// keeps the box corner that lies farthest along its normal (the p-corner) and the one
// farthest against it (the n-corner), so a box is tested with two dot products per plane.
//
// The projected size divides each corner by its own w. A corner at or behind the eye has
// no screen position, so a box that reaches in front of the near plane counts as filling
// the screen (1.0), and w is kept above a small positive epsilon for the rest: the answer
// stays finite and grows as the box approaches, up to 1. (A box reaching nearer than the
// near plane is the case the divide by w cannot answer.)
#pragma once

#include "Core/Bounded.h"
#include "Core/Matrix.h"
#include "Core/Types.h"

struct FrustumPlane {
    f32 nx = 0.0f;
    f32 ny = 0.0f;
    f32 nz = 0.0f;
    f32 d = 0.0f;
    u32 pCorner = 5;  // Box::Corner index farthest along the normal
    u32 nCorner = 3;  // and farthest against it
};
static_assert(sizeof(FrustumPlane) == 24, "six 32-bit words");

inline constexpr u32 kFrustumPlanes = 6;

// The classification answers of FrustumTestBox.
inline constexpr i32 kBoxInside = 3;
inline constexpr i32 kBoxOutside = 4;
inline constexpr i32 kBoxCrossing = 5;

// The six planes of a view-projection matrix (row-vector order, rows as D3DX stores
// them), with each plane's corner pair chosen from the signs of its normal.
void FrustumFromViewProjection(FrustumPlane out[kFrustumPlanes], const Matrix& viewProjection);

// 4 as soon as the box lies wholly behind one plane, 5 when it crosses at least one, else
// 3, visiting the planes in order.
i32 FrustumTestBox(const Box& box, const FrustumPlane planes[kFrustumPlanes]);

// The share of a screenWidth x screenHeight screen that the box covers once its corners
// are projected with worldViewProjection: the smaller of the width and height shares, each
// at most 1; 1 when the box reaches in front of the near plane, 0 for an empty screen.
f32 ProjectedBoxSize(const Box& box, const Matrix& worldViewProjection, f32 screenWidth, f32 screenHeight);
