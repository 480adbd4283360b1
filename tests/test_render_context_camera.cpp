// A render context taking a camera: a dirty camera is brought up to date first, an
// up-to-date one is copied as it stands, and only the view slots and the eye change.
#include "Effect/RenderContext.h"
#include "Effect/SceneCamera.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool SameRecord(const Matrix& a, const Matrix& b) { return std::memcmp(&a, &b, sizeof(Matrix)) == 0; }

TEST(RenderContextSetCamera, UpdatesADirtyCameraThenCopiesItsMatricesAndEye) {
    SceneCamera camera;
    camera.SetView(Vec3(1, 2, 3), Vec3(0, 0, 1), Vec3(0, 1, 0));
    RenderContext context;
    context.SetCamera(camera);
    EXPECT_EQ(camera.dirty, 0);
    EXPECT_EQ(camera.projectionDirty, 0);
    EXPECT_EQ(context.view.valid, 1u);
    EXPECT_EQ(context.projection.valid, 1u);
    EXPECT_EQ(context.viewProjection.valid, 1u);
    EXPECT_TRUE(SameRecord(context.view, camera.GetView()));
    EXPECT_TRUE(SameRecord(context.projection, camera.GetProjection()));
    EXPECT_TRUE(SameRecord(context.viewProjection, camera.GetViewProjection()));
    EXPECT_EQ(context.view.m[12], -1.0f);
    EXPECT_EQ(context.view.m[14], -3.0f);
    EXPECT_EQ(context.eye.x, 1.0f);
    EXPECT_EQ(context.eye.y, 2.0f);
    EXPECT_EQ(context.eye.z, 3.0f);
    // The object slots are not the camera's.
    EXPECT_EQ(context.world.valid, 0u);
    EXPECT_EQ(context.inverseWorld.valid, 0u);

    // A moved camera is updated again; its projection stays as it was.
    const Matrix projection = context.projection;
    camera.SetEye(0.0f, 0.0f, -10.0f);
    context.SetCamera(camera);
    EXPECT_EQ(camera.dirty, 0);
    EXPECT_EQ(context.view.m[14], 10.0f);
    EXPECT_EQ(context.eye.z, -10.0f);
    EXPECT_TRUE(SameRecord(context.projection, projection));
}

TEST(RenderContextSetCamera, CopiesAnUpToDateCameraAsItStands) {
    SceneCamera camera;
    camera.Update();
    // Held values that an update would replace: they must arrive untouched.
    camera.view.m[12] = 42.0f;
    camera.viewProjection.valid = 0;
    camera.eye = Vec3(7, 8, 9);
    RenderContext context;
    context.SetCamera(camera);
    EXPECT_EQ(context.view.m[12], 42.0f);
    EXPECT_EQ(context.viewProjection.valid, 0u);
    EXPECT_EQ(context.projection.valid, 1u);
    EXPECT_EQ(context.eye.y, 8.0f);
}

}  // namespace
