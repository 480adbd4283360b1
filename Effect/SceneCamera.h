// The camera of one drawing pass: where it stands and looks, its projection, and what
// follows from them (view, projection and view-projection matrices and the six frustum
// planes that culling tests boxes against).
//
// It recomputes lazily. Setters only raise the dirty bytes; the getters of matrices and
// planes (and a render context taking the camera) bring it up to date first. Only the
// projection setters raise the projection byte, so a camera that moves every frame keeps
// its projection matrix bit for bit and never rebuilds it.
//
// The fields are public: the render queue reads the three matrices with their valid words,
// the eye and the dirty byte directly.
#pragma once

#include "Core/Matrix.h"
#include "Core/Types.h"
#include "Core/Vector.h"
#include "Effect/BoxVisibility.h"

class SceneCamera {
public:
    Matrix projection{};
    Matrix view{};
    Matrix viewProjection{};
    f32 nearPlane = 1.0f;
    f32 farPlane = 1000.0f;
    f32 fieldOfView = 1.0471976f;  // radians, vertical
    f32 aspect = 0.75f;
    Vec3 eye{0.0f, 0.0f, 0.0f};
    Vec3 direction{0.0f, 0.0f, 1.0f};
    Vec3 up{0.0f, 1.0f, 0.0f};
    FrustumPlane frustum[kFrustumPlanes];  // left, right, top, bottom, near, far
    u8 perspective = 1;                    // 0: orthographic
    f32 orthoWidth = 0.0f;
    f32 orthoHeight = 0.0f;
    f32 orthoDepth = 0.0f;
    u8 dirty = 1;
    u8 projectionDirty = 1;

    void SetPerspective(f32 nearZ, f32 farZ, f32 fovY, f32 aspectRatio);
    // The far plane becomes near + depth at the next update.
    void SetOrthographic(f32 nearZ, f32 width, f32 height, f32 depth);
    void SetView(const Vec3& eyePosition, const Vec3& viewDirection, const Vec3& upVector);
    void SetEye(f32 x, f32 y, f32 z);
    void SetDirection(f32 x, f32 y, f32 z);
    void SetUp(f32 x, f32 y, f32 z);

    Vec3 GetEye() const { return eye; }
    Vec3 GetDirection() const { return direction; }
    Vec3 GetUp() const { return up; }
    f32 GetNear() const { return nearPlane; }

    // Copies, brought up to date first when the camera is dirty.
    Matrix GetProjection();
    Matrix GetView();
    Matrix GetViewProjection();
    // The six planes, brought up to date first when the camera is dirty.
    const FrustumPlane* GetFrustum();

    // Rebuilds the projection when its byte is raised, then the view, the view-projection
    // and the planes; clears the dirty bytes.
    void Update();

private:
    void SelectProjection(u8 perspectiveFlag);
};

// A left-handed view from eye looking along direction (not necessarily unit length):
// kind 0, valid 1.
void MatrixLookDir(Matrix& out, const Vec3& eye, const Vec3& direction, const Vec3& up);
