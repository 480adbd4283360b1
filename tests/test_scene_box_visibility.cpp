// The frustum test against the default camera (at the origin, looking along +z with up +y,
// near 1, far 1000, a field of view of pi/3 and aspect 0.75), and the projected size of a
// box: at most 1, growing as the box approaches, finite around the eye.
#include "Effect/BoxVisibility.h"

#include <d3dx9.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

Matrix FromD3dx(const D3DXMATRIX& d) {
    Matrix m;
    for (u32 r = 0; r < 4; ++r)
        for (u32 c = 0; c < 4; ++c) m.m[4 * r + c] = d.m[r][c];
    m.kind = 0;
    return m;
}

Matrix DefaultViewProjection() {
    D3DXMATRIX view, projection, product;
    const D3DXVECTOR3 eye(0, 0, 0), at(0, 0, 1), up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, 1.0471976f, 0.75f, 1.0f, 1000.0f);
    D3DXMatrixMultiply(&product, &view, &projection);
    return FromD3dx(product);
}

Box At(f32 x, f32 y, f32 z, f32 size) { return Box{x, y, z, size, size, size}; }

struct FrustumCase {
    const char* what;
    Box box;
    i32 expected;
};

const FrustumCase kFrustumCases[] = {
    {"in front, well inside", At(0, 0, 50, 2), 3},
    {"far off to the left", At(-500, 0, 50, 2), 4},
    {"far off above", At(0, 500, 50, 2), 4},
    {"behind the camera", At(0, 0, -50, 2), 4},
    {"beyond the far plane", At(0, 0, 1200, 2), 4},
    {"straddling the near plane", At(0, 0, 1, 1), 5},
    {"straddling the far plane", At(0, 0, 1000, 10), 5},
    {"across the left edge", At(-21, 0, 50, 4), 5},
    {"around the eye", At(0, 0, 0, 4), 5},
};

TEST(FrustumTestBox, DefaultCamera) {
    FrustumPlane planes[kFrustumPlanes];
    FrustumFromViewProjection(planes, DefaultViewProjection());
    for (const FrustumCase& c : kFrustumCases) EXPECT_EQ(FrustumTestBox(c.box, planes), c.expected) << c.what;
}

TEST(FrustumTestBox, CornerPairsFollowTheNormalSigns) {
    FrustumPlane planes[kFrustumPlanes];
    FrustumFromViewProjection(planes, DefaultViewProjection());
    // The near plane's normal points along +z only: p-corner 5 (+x +y +z), n-corner 3.
    EXPECT_EQ(planes[4].pCorner, 5u);
    EXPECT_EQ(planes[4].nCorner, 3u);
    // The left plane leans towards +x and +z.
    EXPECT_GT(planes[0].nx, 0.0f);
    EXPECT_EQ(planes[0].pCorner, 5u);
    // The right plane's normal points to -x: p-corner 4 (-x +y +z), n-corner 2.
    EXPECT_LT(planes[1].nx, 0.0f);
    EXPECT_EQ(planes[1].pCorner, 4u);
    EXPECT_EQ(planes[1].nCorner, 2u);
    // Far: -z.
    EXPECT_EQ(planes[5].pCorner, 1u);
    EXPECT_EQ(planes[5].nCorner, 7u);
}

TEST(ProjectedBoxSize, GrowsAsTheBoxApproachesAndStaysAtMostOne) {
    const Matrix wvp = DefaultViewProjection();
    f32 previous = 0.0f;
    for (f32 z = 900.0f; z > -5.0f; z -= 0.5f) {
        const f32 size = ProjectedBoxSize(At(0.3f, -0.2f, z, 1.0f), wvp, 800.0f, 600.0f);
        ASSERT_TRUE(std::isfinite(size)) << z;
        EXPECT_GE(size, previous) << z;
        EXPECT_LE(size, 1.0f) << z;
        EXPECT_GE(size, 0.0f) << z;
        previous = size;
    }
    EXPECT_EQ(previous, 1.0f);
}

TEST(ProjectedBoxSize, FiniteAroundTheEye) {
    const Matrix wvp = DefaultViewProjection();
    for (f32 x = -2.0f; x <= 2.0f; x += 0.25f)
        for (f32 z = -2.0f; z <= 2.0f; z += 0.25f)
            for (f32 size : {0.0f, 0.01f, 1.0f}) {
                const f32 s = ProjectedBoxSize(At(x, 0.0f, z, size), wvp, 640.0f, 480.0f);
                EXPECT_TRUE(std::isfinite(s));
                EXPECT_LE(s, 1.0f);
                EXPECT_GE(s, 0.0f);
            }
    // A box that holds the eye fills the screen.
    EXPECT_EQ(ProjectedBoxSize(At(0, 0, 0, 2), wvp, 640.0f, 480.0f), 1.0f);
}

TEST(ProjectedBoxSize, TheSmallerShareOfWidthAndHeight) {
    const Matrix wvp = DefaultViewProjection();
    // A wide flat box: its height share is the smaller.
    const Box wide{0, 0, 100, 20, 2, 0};
    const f32 size = ProjectedBoxSize(wide, wvp, 800.0f, 600.0f);
    // Projected height: 2 / 100 x cot(pi/6) = 0.0346 in -1..1 units, half of that a share.
    EXPECT_NEAR(size, 0.5f * 2.0f / 100.0f * 1.7320508f, 1e-4f);
    EXPECT_EQ(ProjectedBoxSize(wide, wvp, 0.0f, 600.0f), 0.0f);
}

}  // namespace
