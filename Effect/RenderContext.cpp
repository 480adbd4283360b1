// The context's matrix products go through the kind-driven table so that the common cases
// (an identity or translation world) cost little; the inverse is D3DX's. A camera is brought
// up to date before its matrices are copied, so a context never holds a view that lags behind
// where the camera was last put.
#include "Effect/RenderContext.h"

#include <cstring>

#include <d3dx9.h>

#include "Core/D3dxLibrary.h"
#include "Effect/SceneCamera.h"

namespace {

Matrix IdentitySlot() {
    Matrix m = IdentityMatrix;
    m.kind = 0;
    m.valid = 0;
    return m;
}

}  // namespace

RenderContext::RenderContext()
    : world(IdentitySlot()),
      view(IdentitySlot()),
      projection(IdentitySlot()),
      viewProjection(IdentitySlot()),
      inverseWorld(IdentitySlot()) {}

void RenderContext::SetTicks(f32 seconds) { std::memcpy(&ticks, &seconds, sizeof ticks); }

f32 RenderContext::GetTicks() const {
    f32 seconds;
    std::memcpy(&seconds, &ticks, sizeof seconds);
    return seconds;
}

Matrix RenderContext::GetWorldView() const { return Matrix::Product(world, view); }

Matrix RenderContext::GetWorldViewProjection() const { return Matrix::Product(world, viewProjection); }

const Matrix& RenderContext::GetInverseWorld() {
    if (inverseWorld.valid) return inverseWorld;
    D3DXMATRIX in;
    D3DXMATRIX out;
    std::memcpy(&in, world.m, sizeof world.m);
    if (D3dx().MatrixInverse(&out, nullptr, &in)) {
        std::memcpy(inverseWorld.m, &out, sizeof inverseWorld.m);
    } else {
        inverseWorld = IdentitySlot();
    }
    inverseWorld.kind = 0;
    inverseWorld.valid = 1;
    return inverseWorld;
}

void RenderContext::SetCamera(SceneCamera& camera) {
    if (camera.dirty) camera.Update();
    view = camera.view;
    projection = camera.projection;
    viewProjection = camera.viewProjection;
    eye = camera.eye;
}
