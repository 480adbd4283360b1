// The scene camera: its defaults and projections, the lazy update (moving the eye never
// rebuilds the projection), the corner pair of each plane for every sign of its normal,
// and the frustum planes against point containment worked out from the camera's own
// geometry on random cameras.
#include "Effect/SceneCamera.h"

#include <d3dx9.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace {

Matrix FromD3dx(const D3DXMATRIX& d) {
    Matrix m{};
    std::memcpy(m.m, &d, sizeof m.m);
    return m;
}

bool SameElements(const Matrix& a, const Matrix& b) { return std::memcmp(a.m, b.m, sizeof a.m) == 0; }

// The point (x, y, z, 1) times m, divided by w, as z / w.
f64 ProjectedDepth(const Matrix& m, f64 z) {
    const f64 pz = z * m.m[10] + m.m[14];
    const f64 pw = z * m.m[11] + m.m[15];
    return pz / pw;
}

TEST(SceneCamera, FreshCameraDefaults) {
    SceneCamera camera;
    EXPECT_EQ(camera.dirty, 1);
    EXPECT_EQ(camera.projectionDirty, 1);
    EXPECT_EQ(camera.perspective, 1);
    EXPECT_EQ(camera.view.valid, 0u);
    EXPECT_EQ(camera.projection.valid, 0u);
    EXPECT_EQ(camera.viewProjection.valid, 0u);
    EXPECT_EQ(camera.GetNear(), 1.0f);
    EXPECT_EQ(camera.farPlane, 1000.0f);
    EXPECT_EQ(camera.fieldOfView, 1.0471976f);
    EXPECT_EQ(camera.aspect, 0.75f);
    EXPECT_EQ(camera.GetEye().x, 0.0f);
    EXPECT_EQ(camera.GetDirection().z, 1.0f);
    EXPECT_EQ(camera.GetUp().y, 1.0f);
}

TEST(SceneCamera, FreshCameraLooksAlongZWithTheDefaultProjection) {
    SceneCamera camera;
    const Matrix view = camera.GetView();
    EXPECT_EQ(camera.dirty, 0);
    EXPECT_EQ(view.valid, 1u);
    EXPECT_EQ(view.kind, 0u);
    for (u32 i = 0; i < 16; ++i) EXPECT_EQ(view.m[i], IdentityMatrix.m[i]) << i;

    const Matrix projection = camera.GetProjection();
    EXPECT_EQ(projection.valid, 1u);
    EXPECT_EQ(projection.kind, 0u);
    D3DXMATRIX expected;
    D3DXMatrixPerspectiveFovLH(&expected, 1.0471976f, 0.75f, 1.0f, 1000.0f);
    EXPECT_TRUE(SameElements(projection, FromD3dx(expected)));
    const f32 cotHalf = 1.7320508f;  // cot(pi / 6)
    EXPECT_NEAR(projection.m[0], cotHalf / 0.75f, 1e-5f);
    EXPECT_NEAR(projection.m[5], cotHalf, 1e-5f);
    EXPECT_NEAR(projection.m[10], 1000.0f / 999.0f, 1e-6f);
    EXPECT_EQ(projection.m[11], 1.0f);
    EXPECT_NEAR(projection.m[14], -1000.0f / 999.0f, 1e-6f);
    EXPECT_EQ(projection.m[15], 0.0f);
    // Depth 1 lands on 0 and depth 1000 on 1.
    EXPECT_NEAR(ProjectedDepth(projection, 1.0), 0.0, 1e-6);
    EXPECT_NEAR(ProjectedDepth(projection, 1000.0), 1.0, 1e-6);

    // With the identity view the view-projection is the projection.
    const Matrix viewProjection = camera.GetViewProjection();
    EXPECT_EQ(viewProjection.valid, 1u);
    for (u32 i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(viewProjection.m[i], projection.m[i]) << i;
}

TEST(SceneCamera, OrthographicDepthRunsFromNearToNearPlusDepth) {
    SceneCamera camera;
    camera.SetOrthographic(1.0f, 100.0f, 50.0f, 9.0f);
    EXPECT_EQ(camera.perspective, 0);
    EXPECT_EQ(camera.projectionDirty, 1);
    const Matrix projection = camera.GetProjection();
    EXPECT_EQ(camera.farPlane, 10.0f);
    EXPECT_NEAR(ProjectedDepth(projection, 1.0), 0.0, 1e-6);
    EXPECT_NEAR(ProjectedDepth(projection, 10.0), 1.0, 1e-6);
    EXPECT_NEAR(projection.m[0], 2.0f / 100.0f, 1e-7f);
    EXPECT_NEAR(projection.m[5], 2.0f / 50.0f, 1e-7f);
    EXPECT_EQ(projection.m[15], 1.0f);

    // Back to a perspective: the projection is rebuilt from the stored values.
    camera.SetPerspective(2.0f, 20.0f, 1.0f, 1.5f);
    D3DXMATRIX expected;
    D3DXMatrixPerspectiveFovLH(&expected, 1.0f, 1.5f, 2.0f, 20.0f);
    EXPECT_TRUE(SameElements(camera.GetProjection(), FromD3dx(expected)));
    EXPECT_EQ(camera.GetNear(), 2.0f);
}

TEST(SceneCamera, MovingTheEyeLeavesTheProjectionBitForBit) {
    SceneCamera camera;
    camera.SetPerspective(0.5f, 300.0f, 0.9f, 1.3333334f);
    const Matrix before = camera.GetProjection();
    const Matrix viewBefore = camera.GetView();

    camera.SetEye(5.0f, -6.0f, 7.0f);
    EXPECT_EQ(camera.dirty, 1);
    EXPECT_EQ(camera.projectionDirty, 0);
    const Matrix after = camera.GetProjection();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof(Matrix)), 0);
    // The view did follow the eye: the eye maps to the origin.
    const Matrix view = camera.GetView();
    EXPECT_FALSE(SameElements(view, viewBefore));
    EXPECT_NEAR(5.0f * view.m[0] - 6.0f * view.m[4] + 7.0f * view.m[8] + view.m[12], 0.0f, 1e-5f);
    EXPECT_NEAR(5.0f * view.m[1] - 6.0f * view.m[5] + 7.0f * view.m[9] + view.m[13], 0.0f, 1e-5f);
    EXPECT_NEAR(5.0f * view.m[2] - 6.0f * view.m[6] + 7.0f * view.m[10] + view.m[14], 0.0f, 1e-5f);

    // So do direction, up and a whole view.
    camera.SetDirection(1.0f, 0.0f, 0.0f);
    camera.SetUp(0.0f, 0.0f, 1.0f);
    const Matrix turned = camera.GetProjection();
    EXPECT_EQ(std::memcmp(&before, &turned, sizeof(Matrix)), 0);
    camera.SetView(Vec3(1, 2, 3), Vec3(0, -1, 0), Vec3(1, 0, 0));
    EXPECT_EQ(camera.projectionDirty, 0);
    EXPECT_EQ(camera.GetEye().y, 2.0f);
    EXPECT_EQ(camera.GetDirection().y, -1.0f);
    EXPECT_EQ(camera.GetUp().x, 1.0f);
}

TEST(MatrixLookDir, EyeToOriginAndDirectionToDepth) {
    Matrix view;
    view.kind = 7;
    MatrixLookDir(view, Vec3(1, 2, 3), Vec3(0, 0, -4), Vec3(0, 1, 0));
    EXPECT_EQ(view.kind, 0u);
    EXPECT_EQ(view.valid, 1u);
    auto transform = [&](const Vec3& p, u32 c) { return p.x * view.m[c] + p.y * view.m[4 + c] + p.z * view.m[8 + c] + view.m[12 + c]; };
    // The eye goes to the origin; one unit along the direction (not its length) to z = 1.
    for (u32 c = 0; c < 3; ++c) EXPECT_NEAR(transform(Vec3(1, 2, 3), c), 0.0f, 1e-6f);
    EXPECT_NEAR(transform(Vec3(1, 2, 2), 2), 1.0f, 1e-6f);
    EXPECT_NEAR(transform(Vec3(1, 3, 3), 1), 1.0f, 1e-6f);
}

// The corner pair by the signs of the normal: p-corner and n-corner.
struct CornerCase {
    Vec3 direction;
    u32 pCorner;
    u32 nCorner;
};

const CornerCase kCornerCases[] = {
    {{1, 2, 3}, 5, 3},    {{1, 2, -3}, 1, 7},    {{1, -2, 3}, 6, 0},    {{1, -2, -3}, 2, 4},
    {{-1, 2, 3}, 4, 2},   {{-1, 2, -3}, 0, 6},   {{-1, -2, 3}, 7, 1},   {{-1, -2, -3}, 3, 5},
    {{0, 0, 1}, 5, 3},  // zero counts as not negative
};

// The near plane's normal is the view direction scaled by a positive factor.
TEST(SceneCamera, CornerPairsForEverySignOfTheNormal) {
    for (const CornerCase& c : kCornerCases) {
        SceneCamera camera;
        camera.SetDirection(c.direction.x, c.direction.y, c.direction.z);
        const FrustumPlane& nearPlane = camera.GetFrustum()[4];
        EXPECT_EQ(nearPlane.nx < 0.0f, c.direction.x < 0.0f);
        EXPECT_EQ(nearPlane.ny < 0.0f, c.direction.y < 0.0f);
        EXPECT_EQ(nearPlane.nz < 0.0f, c.direction.z < 0.0f);
        EXPECT_EQ(nearPlane.pCorner, c.pCorner) << c.direction.x << " " << c.direction.y << " " << c.direction.z;
        EXPECT_EQ(nearPlane.nCorner, c.nCorner) << c.direction.x << " " << c.direction.y << " " << c.direction.z;
    }
}

// Where a point of the world lies relative to the camera, worked out from eye, direction
// and up alone: the smallest margin by which it is inside (negative when outside).
f64 ContainmentMargin(const SceneCamera& camera, const Vec3& point) {
    auto dot = [](const f64 a[3], const f64 b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    auto normalise = [&](f64 v[3]) {
        const f64 length = std::sqrt(dot(v, v));
        for (int i = 0; i < 3; ++i) v[i] /= length;
    };
    f64 z[3] = {camera.direction.x, camera.direction.y, camera.direction.z};
    normalise(z);
    const f64 up[3] = {camera.up.x, camera.up.y, camera.up.z};
    f64 x[3] = {up[1] * z[2] - up[2] * z[1], up[2] * z[0] - up[0] * z[2], up[0] * z[1] - up[1] * z[0]};
    normalise(x);
    const f64 y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]};
    const f64 rel[3] = {f64(point.x) - camera.eye.x, f64(point.y) - camera.eye.y, f64(point.z) - camera.eye.z};
    const f64 vx = dot(rel, x), vy = dot(rel, y), vz = dot(rel, z);
    f64 halfWidth, halfHeight;
    if (camera.perspective) {
        halfHeight = vz * std::tan(camera.fieldOfView / 2.0);
        halfWidth = halfHeight * camera.aspect;
    } else {
        halfWidth = camera.orthoWidth / 2.0;
        halfHeight = camera.orthoHeight / 2.0;
    }
    const f64 margins[] = {vz - camera.nearPlane, camera.farPlane - vz, halfWidth - std::fabs(vx), halfHeight - std::fabs(vy)};
    f64 smallest = margins[0];
    for (f64 m : margins) smallest = std::min(smallest, m);
    return smallest;
}

bool InsideAllPlanes(const FrustumPlane* planes, const Vec3& p) {
    for (u32 i = 0; i < kFrustumPlanes; ++i) {
        const FrustumPlane& q = planes[i];
        if (f64(q.nx) * p.x + f64(q.ny) * p.y + f64(q.nz) * p.z + q.d < 0.0) return false;
    }
    return true;
}

TEST(SceneCamera, FrustumPlanesAgreeWithPointContainment) {
    std::mt19937 random(1234);
    auto uniform = [&](f32 lo, f32 hi) { return std::uniform_real_distribution<f32>(lo, hi)(random); };
    const Box box{0.0f, 0.0f, 0.0f, 1.0f, 2.0f, 3.0f};  // unequal sides: no ties between corners
    int inside = 0, outside = 0;
    for (int cameraIndex = 0; cameraIndex < 60; ++cameraIndex) {
        SceneCamera camera;
        const Vec3 direction(uniform(-1, 1), uniform(-1, 1), uniform(-1, 1));
        Vec3 up(uniform(-1, 1), uniform(-1, 1), uniform(-1, 1));
        Vec3 side;
        Vec3Cross(side, up, direction);
        if (Vec3Length(side) < 0.2f * Vec3Length(up) * Vec3Length(direction)) continue;
        camera.SetView(Vec3(uniform(-50, 50), uniform(-50, 50), uniform(-50, 50)), direction, up);
        f32 reach;
        if (cameraIndex % 3 == 2) {
            const f32 nearZ = uniform(0.0f, 5.0f), depth = uniform(10.0f, 100.0f);
            camera.SetOrthographic(nearZ, uniform(5.0f, 80.0f), uniform(5.0f, 80.0f), depth);
            reach = nearZ + depth + 50.0f;
        } else {
            const f32 nearZ = uniform(0.5f, 5.0f), farZ = nearZ + uniform(10.0f, 200.0f);
            camera.SetPerspective(nearZ, farZ, uniform(0.3f, 2.5f), uniform(0.5f, 2.0f));
            reach = farZ * 1.3f;
        }
        const FrustumPlane* planes = camera.GetFrustum();

        // Each plane's corners lie farthest along and against its normal.
        for (u32 i = 0; i < kFrustumPlanes; ++i) {
            const Vec3 normal(planes[i].nx, planes[i].ny, planes[i].nz);
            f32 most = -INFINITY, least = INFINITY;
            for (u32 c = 0; c < 8; ++c) {
                const f32 d = Vec3Dot(normal, Box::Corner(box, c));
                most = std::max(most, d);
                least = std::min(least, d);
            }
            EXPECT_EQ(Vec3Dot(normal, Box::Corner(box, planes[i].pCorner)), most) << cameraIndex << " plane " << i;
            EXPECT_EQ(Vec3Dot(normal, Box::Corner(box, planes[i].nCorner)), least) << cameraIndex << " plane " << i;
        }

        for (int k = 0; k < 400; ++k) {
            const Vec3 offset(uniform(-reach, reach), uniform(-reach, reach), uniform(-reach, reach));
            const Vec3 point = camera.eye + offset;
            const f64 margin = ContainmentMargin(camera, point);
            if (std::fabs(margin) < 1e-2) continue;  // too near a face for float planes to decide
            const bool expected = margin > 0.0;
            (expected ? inside : outside) += 1;
            EXPECT_EQ(InsideAllPlanes(planes, point), expected) << "camera " << cameraIndex << " margin " << margin;
        }
    }
    // Both answers were exercised.
    EXPECT_GT(inside, 500);
    EXPECT_GT(outside, 500);
}

}  // namespace
