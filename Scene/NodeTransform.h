// The editable transform of a scene node or a camera: a fixed base matrix, then a scale,
// an orientation (direction and up) and a position, with the resulting matrix cached
// until one of them changes. A node's matrix is read far more often than it is edited,
// so the frame is built once per change, not once per read.
//
// Every transform here answers a matrix through the interface of animated objects, so a
// saved pose can stand wherever an animation can (an animation state's base pose). A
// fixed transform ignores the time it is asked about.
#pragma once

#include "Core/Matrix.h"
#include "Core/Types.h"
#include "Core/Vector.h"
#include "Scene/AbstractObject.h"

// A transform that never changes: its base matrix, whatever the time.
class FixedTransform : public AbstractObject {
public:
    FixedTransform() = default;
    explicit FixedTransform(const Matrix& base) : baseMatrix_(base) {}

    bool QueryType(u32 typeId, void** out) override;
    // The transform's matrix (GetMatrix(out)); always true.
    bool GetMatrix(f32 time, Matrix& out) override;
    // The transform's matrix: here the base matrix. Returns out.
    virtual Matrix& GetMatrix(Matrix& out);

    const Matrix& GetBaseMatrix() const { return baseMatrix_; }

protected:
    Matrix baseMatrix_ = IdentityMatrix;
};

// The three parts of a node transform, each answering its own matrix.
class ScaleTransform : public AbstractObject {
public:
    Vec3 scale{1.0f, 1.0f, 1.0f};
    bool GetMatrix(f32 time, Matrix& out) override;  // a scaling by the three factors
};

class OrientationTransform : public AbstractObject {
public:
    Vec3 direction{0.0f, 0.0f, 1.0f};
    Vec3 up{0.0f, 1.0f, 0.0f};
    bool GetMatrix(f32 time, Matrix& out) override;  // the frame at the origin
};

class PositionTransform : public AbstractObject {
public:
    Vec3 position{0.0f, 0.0f, 0.0f};
    bool GetMatrix(f32 time, Matrix& out) override;  // a translation
};

class NodeTransform : public FixedTransform {
public:
    NodeTransform() = default;

    bool QueryType(u32 typeId, void** out) override;
    using FixedTransform::GetMatrix;
    // base matrix x (the frame of position, direction and up, its rows scaled), built
    // when a part changed since the last call. Returns out.
    Matrix& GetMatrix(Matrix& out) override;

    // Back to the identity: unit scale, identity base, origin, looking along +z, up +y.
    void Reset();
    void SetScale(f32 x, f32 y, f32 z);
    void SetOrientation(const Vec3& direction, const Vec3& up);
    void SetDirection(f32 x, f32 y, f32 z);
    void SetUp(f32 x, f32 y, f32 z);
    const Vec3& SetPosition(f32 x, f32 y, f32 z);
    void SetBaseMatrix(const Matrix& base);

    Vec3 GetScale() const { return scale_.scale; }
    Vec3 GetDirection() const { return orientation_.direction; }
    Vec3 GetUp() const { return orientation_.up; }
    Vec3 GetPosition() const { return position_.position; }
    void GetOrientation(Vec3& direction, Vec3& up) const;

    // The parts, through the interface they share.
    AbstractObject& GetScalePart() { return scale_; }
    AbstractObject& GetOrientationPart() { return orientation_; }
    AbstractObject& GetPositionPart() { return position_; }

    // Copies every part, the cached matrix and whether it is out of date.
    void Assign(const NodeTransform& other);

private:
    ScaleTransform scale_;
    OrientationTransform orientation_;
    PositionTransform position_;
    Matrix cached_{};
    u8 dirty_ = 1;
};

u32 FixedTransformTypeId();
u32 NodeTransformTypeId();
