// The frame is built from the axes (side = up x direction), its rows scaled, and put
// after the base matrix through the kind-driven product; the result is classified so
// that an identity or a pure translation stays cheap in the products that follow.
#include "Scene/NodeTransform.h"

#include "Core/D3dxLibrary.h"

#include <d3dx9.h>

namespace {

using VectorMatrixFn = D3DXMATRIX*(WINAPI*)(D3DXMATRIX*, float, float, float);

bool MatrixOfVector(Matrix& out, VectorMatrixFn build, const Vec3& v, u32 kind) {
    build(reinterpret_cast<D3DXMATRIX*>(out.m), v.x, v.y, v.z);
    out.kind = kind;
    out.valid = 1;
    return true;
}

}  // namespace

u32 FixedTransformTypeId() { return TypeIdOf<FixedTransform>(); }
u32 NodeTransformTypeId() { return TypeIdOf<NodeTransform>(); }

bool FixedTransform::QueryType(u32 typeId, void** out) {
    return AnswerOwnType(this, FixedTransformTypeId(), typeId, out) || AbstractObject::QueryType(typeId, out);
}

bool FixedTransform::GetMatrix(f32, Matrix& out) {
    GetMatrix(out);
    return true;
}

Matrix& FixedTransform::GetMatrix(Matrix& out) {
    out = baseMatrix_;
    return out;
}

bool ScaleTransform::GetMatrix(f32, Matrix& out) { return MatrixOfVector(out, D3dx().MatrixScaling, scale, PureScale); }

bool OrientationTransform::GetMatrix(f32, Matrix& out) {
    out = Matrix::FromAxes(Vec3(), direction, up);
    return true;
}

bool PositionTransform::GetMatrix(f32, Matrix& out) {
    return MatrixOfVector(out, D3dx().MatrixTranslation, position, PureTranslation);
}

bool NodeTransform::QueryType(u32 typeId, void** out) {
    return AnswerOwnType(this, NodeTransformTypeId(), typeId, out) || FixedTransform::QueryType(typeId, out);
}

Matrix& NodeTransform::GetMatrix(Matrix& out) {
    if (dirty_) {
        Matrix frame = Matrix::FromAxes(position_.position, orientation_.direction, orientation_.up);
        frame.ScaleRows(scale_.scale);
        cached_.Multiply(baseMatrix_, frame);
        cached_.Classify();
        dirty_ = 0;
    }
    out = cached_;
    return out;
}

void NodeTransform::Reset() {
    scale_.scale = Vec3(1.0f, 1.0f, 1.0f);
    baseMatrix_ = IdentityMatrix;
    position_.position = Vec3();
    orientation_.direction = Vec3(0.0f, 0.0f, 1.0f);
    orientation_.up = Vec3(0.0f, 1.0f, 0.0f);
    dirty_ = 1;
}

void NodeTransform::SetScale(f32 x, f32 y, f32 z) {
    scale_.scale = Vec3(x, y, z);
    dirty_ = 1;
}

void NodeTransform::SetOrientation(const Vec3& direction, const Vec3& up) {
    orientation_.direction = direction;
    orientation_.up = up;
    dirty_ = 1;
}

void NodeTransform::SetDirection(f32 x, f32 y, f32 z) {
    orientation_.direction = Vec3(x, y, z);
    dirty_ = 1;
}

void NodeTransform::SetUp(f32 x, f32 y, f32 z) {
    orientation_.up = Vec3(x, y, z);
    dirty_ = 1;
}

const Vec3& NodeTransform::SetPosition(f32 x, f32 y, f32 z) {
    position_.position = Vec3(x, y, z);
    dirty_ = 1;
    return position_.position;
}

void NodeTransform::SetBaseMatrix(const Matrix& base) {
    baseMatrix_ = base;
    dirty_ = 1;
}

void NodeTransform::GetOrientation(Vec3& direction, Vec3& up) const {
    direction = orientation_.direction;
    up = orientation_.up;
}

void NodeTransform::Assign(const NodeTransform& other) {
    if (&other == this) return;
    baseMatrix_ = other.baseMatrix_;
    scale_.scale = other.scale_.scale;
    orientation_.direction = other.orientation_.direction;
    orientation_.up = other.orientation_.up;
    position_.position = other.position_.position;
    cached_ = other.cached_;
    dirty_ = other.dirty_;
}
