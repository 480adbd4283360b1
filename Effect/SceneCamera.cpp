// The matrices come from D3DX's left-handed builders; the view-projection goes through the
// kind-driven product and the planes through the culling code's own reader, so the camera
// and the box test agree on what a plane is.
#include "Effect/SceneCamera.h"

#include "Core/D3dxLibrary.h"

#include <d3dx9.h>

namespace {

D3DXMATRIX* AsD3dx(Matrix& m) { return reinterpret_cast<D3DXMATRIX*>(m.m); }

D3DXVECTOR3 ToD3dx(const Vec3& v) { return D3DXVECTOR3(v.x, v.y, v.z); }

}  // namespace

void MatrixLookDir(Matrix& out, const Vec3& eye, const Vec3& direction, const Vec3& up) {
    const D3DXVECTOR3 from = ToD3dx(eye);
    const D3DXVECTOR3 at = ToD3dx(eye + direction);
    const D3DXVECTOR3 upVector = ToD3dx(up);
    D3dx().MatrixLookAtLH(AsD3dx(out), &from, &at, &upVector);
    out.kind = 0;
    out.valid = 1;
}

void SceneCamera::SetPerspective(f32 nearZ, f32 farZ, f32 fovY, f32 aspectRatio) {
    nearPlane = nearZ;
    farPlane = farZ;
    fieldOfView = fovY;
    aspect = aspectRatio;
    SelectProjection(1);
}

void SceneCamera::SetOrthographic(f32 nearZ, f32 width, f32 height, f32 depth) {
    nearPlane = nearZ;
    orthoWidth = width;
    orthoHeight = height;
    orthoDepth = depth;
    SelectProjection(0);
}

void SceneCamera::SelectProjection(u8 perspectiveFlag) {
    perspective = perspectiveFlag;
    dirty = 1;
    projectionDirty = 1;
}

void SceneCamera::SetView(const Vec3& eyePosition, const Vec3& viewDirection, const Vec3& upVector) {
    eye = eyePosition;
    direction = viewDirection;
    up = upVector;
    dirty = 1;
}

void SceneCamera::SetEye(f32 x, f32 y, f32 z) {
    eye = Vec3(x, y, z);
    dirty = 1;
}

void SceneCamera::SetDirection(f32 x, f32 y, f32 z) {
    direction = Vec3(x, y, z);
    dirty = 1;
}

void SceneCamera::SetUp(f32 x, f32 y, f32 z) {
    up = Vec3(x, y, z);
    dirty = 1;
}

Matrix SceneCamera::GetProjection() {
    if (dirty) Update();
    return projection;
}

Matrix SceneCamera::GetView() {
    if (dirty) Update();
    return view;
}

Matrix SceneCamera::GetViewProjection() {
    if (dirty) Update();
    return viewProjection;
}

const FrustumPlane* SceneCamera::GetFrustum() {
    if (dirty) Update();
    return frustum;
}

void SceneCamera::Update() {
    if (projectionDirty) {
        if (perspective) {
            D3dx().MatrixPerspectiveFovLH(AsD3dx(projection), fieldOfView, aspect, nearPlane, farPlane);
        } else {
            farPlane = nearPlane + orthoDepth;
            D3dx().MatrixOrthoLH(AsD3dx(projection), orthoWidth, orthoHeight, nearPlane, farPlane);
        }
        projection.kind = 0;
        projection.valid = 1;
        projectionDirty = 0;
    }
    MatrixLookDir(view, eye, direction, up);
    viewProjection.Multiply(view, projection);
    FrustumFromViewProjection(frustum, viewProjection);
    dirty = 0;
}
