// The node transform: identity when fresh, the scale rows, the whole composition (base
// first, then scale, orientation and position) against D3DX's own products, the cache
// following every setter, Reset, Assign with the out-of-date state, and the transform
// standing in for an animation as a fixed pose.
#include "Scene/NodeTransform.h"

#include <d3dx9.h>
#include <gtest/gtest.h>

#include <cstring>

namespace {

Matrix FromD3dx(const D3DXMATRIX& d) {
    Matrix m{};
    std::memcpy(m.m, &d, sizeof m.m);
    m.valid = 1;
    return m;
}

D3DXMATRIX ToD3dx(const Matrix& m) {
    D3DXMATRIX d;
    std::memcpy(&d, m.m, sizeof m.m);
    return d;
}

void ExpectNear(const Matrix& actual, const Matrix& expected, f32 tolerance = 1e-5f) {
    for (u32 i = 0; i < 16; ++i) EXPECT_NEAR(actual.m[i], expected.m[i], tolerance) << "element " << i;
}

void ExpectIdentity(NodeTransform& t) {
    Matrix m;
    t.GetMatrix(m);
    EXPECT_EQ(m.valid, 1u);
    EXPECT_EQ(m.kind, u32(Identity));
    for (u32 i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], IdentityMatrix.m[i]) << i;
}

TEST(NodeTransform, FreshTransformIsTheIdentity) {
    NodeTransform t;
    ExpectIdentity(t);
    EXPECT_EQ(t.GetScale().x, 1.0f);
    EXPECT_EQ(t.GetDirection().z, 1.0f);
    EXPECT_EQ(t.GetUp().y, 1.0f);
    EXPECT_EQ(t.GetPosition().x, 0.0f);
    EXPECT_EQ(t.GetBaseMatrix().kind, u32(Identity));
}

TEST(NodeTransform, ScaleXDoublesRowZeroOnly) {
    NodeTransform t;
    t.SetScale(2.0f, 1.0f, 1.0f);
    Matrix m;
    t.GetMatrix(m);
    const f32 expected[16] = {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (u32 i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], expected[i]) << i;
    EXPECT_EQ(m.kind & u32(UnitDiagonal), 0u);
    EXPECT_EQ(m.kind, u32(PureScale));
}

TEST(NodeTransform, BaseThenScaleThenOrientationThenPosition) {
    D3DXMATRIX rotation, translation, base;
    D3DXMatrixRotationY(&rotation, 0.3f);
    D3DXMatrixTranslation(&translation, -1.0f, 2.0f, 0.5f);
    D3DXMatrixMultiply(&base, &rotation, &translation);

    NodeTransform t;
    t.SetBaseMatrix(FromD3dx(base));
    t.SetScale(1.0f, 2.0f, 3.0f);
    t.SetOrientation(Vec3(1, 0, 1), Vec3(0, 1, 0));
    EXPECT_EQ(t.SetPosition(4.0f, 5.0f, 6.0f).y, 5.0f);

    // Each part's own matrix, chained the D3DX way: scale x orientation x position.
    Matrix scale, orientation, position;
    ASSERT_TRUE(t.GetScalePart().GetMatrix(0.0f, scale));
    ASSERT_TRUE(t.GetOrientationPart().GetMatrix(0.0f, orientation));
    ASSERT_TRUE(t.GetPositionPart().GetMatrix(0.0f, position));
    D3DXMATRIX s = ToD3dx(scale), o = ToD3dx(orientation), p = ToD3dx(position), frame, expected;
    D3DXMATRIX scaling;
    D3DXMatrixScaling(&scaling, 1.0f, 2.0f, 3.0f);
    EXPECT_EQ(std::memcmp(&s, &scaling, sizeof s), 0);
    EXPECT_NEAR(o.m[0][0], 0.70710677f, 1e-6f);  // side = up x direction, normalised
    EXPECT_NEAR(o.m[0][2], -0.70710677f, 1e-6f);
    EXPECT_EQ(o.m[3][0], 0.0f);  // at the origin
    EXPECT_EQ(p.m[3][2], 6.0f);
    D3DXMatrixMultiply(&frame, &s, &o);
    D3DXMatrixMultiply(&frame, &frame, &p);
    D3DXMatrixMultiply(&expected, &base, &frame);

    Matrix m;
    t.GetMatrix(m);
    EXPECT_EQ(m.valid, 1u);
    ExpectNear(m, FromD3dx(expected));
    EXPECT_EQ(m.kind, 0u);
}

TEST(NodeTransform, EverySetterRebuildsTheCachedMatrix) {
    NodeTransform t;
    Matrix m;
    t.GetMatrix(m);
    t.SetPosition(1.0f, 2.0f, 3.0f);
    t.GetMatrix(m);
    EXPECT_EQ(m.m[12], 1.0f);
    EXPECT_EQ(m.m[14], 3.0f);
    EXPECT_EQ(m.kind, u32(PureTranslation));

    t.SetDirection(1.0f, 0.0f, 0.0f);  // looking along +x: side is -z
    t.GetMatrix(m);
    EXPECT_EQ(m.m[8], 1.0f);
    EXPECT_EQ(m.m[2], -1.0f);

    t.SetUp(0.0f, 0.0f, 1.0f);
    t.GetMatrix(m);
    EXPECT_EQ(m.m[6], 1.0f);

    Matrix base = IdentityMatrix;
    base.m[12] = 10.0f;
    base.kind = PureTranslation;
    t.SetBaseMatrix(base);
    t.GetMatrix(m);
    // The base comes first: its translation is turned by the frame, then moved.
    Vec3 direction, up;
    t.GetOrientation(direction, up);
    EXPECT_EQ(direction.x, 1.0f);
    EXPECT_EQ(up.z, 1.0f);
    // Side = up x direction = +y, so the base's 10 along x lands on y.
    EXPECT_EQ(m.m[12], 1.0f);
    EXPECT_EQ(m.m[13], 12.0f);
    EXPECT_EQ(m.m[14], 3.0f);

    // Reading again without a change answers the same bits.
    Matrix again;
    t.GetMatrix(again);
    EXPECT_EQ(std::memcmp(&m, &again, sizeof m), 0);
}

TEST(NodeTransform, ResetGoesBackToTheIdentity) {
    NodeTransform t;
    t.SetScale(3.0f, 3.0f, 3.0f);
    t.SetOrientation(Vec3(0, 1, 0), Vec3(1, 0, 0));
    t.SetPosition(7.0f, 8.0f, 9.0f);
    Matrix base = IdentityMatrix;
    base.m[0] = 5.0f;
    base.kind = PureScale;
    t.SetBaseMatrix(base);
    Matrix m;
    t.GetMatrix(m);
    t.Reset();
    ExpectIdentity(t);
}

TEST(NodeTransform, AssignCopiesThePartsAndWhetherTheCacheIsStale) {
    NodeTransform source;
    source.SetScale(1.0f, 1.0f, 2.0f);
    source.SetPosition(-3.0f, 0.0f, 4.0f);
    Matrix base = IdentityMatrix;
    base.m[13] = 1.0f;
    base.kind = PureTranslation;
    source.SetBaseMatrix(base);

    // The target's cache is up to date; the source's is stale, and so must the copy's be.
    NodeTransform target;
    Matrix m;
    target.GetMatrix(m);
    target.Assign(source);
    Matrix expected, copied;
    source.GetMatrix(expected);
    target.GetMatrix(copied);
    EXPECT_EQ(std::memcmp(&expected, &copied, sizeof expected), 0);
    EXPECT_EQ(target.GetScale().z, 2.0f);
    EXPECT_EQ(target.GetPosition().x, -3.0f);
    EXPECT_EQ(target.GetBaseMatrix().m[13], 1.0f);

    // An up-to-date source hands over its cached matrix as it is.
    NodeTransform third;
    third.Assign(source);
    third.GetMatrix(copied);
    EXPECT_EQ(std::memcmp(&expected, &copied, sizeof expected), 0);
    third.Assign(third);
    third.GetMatrix(copied);
    EXPECT_EQ(std::memcmp(&expected, &copied, sizeof expected), 0);
}

TEST(NodeTransform, StandsInForAnAnimationAsAFixedPose) {
    NodeTransform* transform = new NodeTransform;
    transform->SetPosition(0.0f, 0.0f, 2.0f);
    RefHandle<AbstractObject> pose(transform);
    EXPECT_EQ(QueryAs<NodeTransform>(pose.Get(), NodeTransformTypeId()), transform);
    EXPECT_EQ(QueryAs<FixedTransform>(pose.Get(), FixedTransformTypeId()), transform);
    EXPECT_NE(QueryAs<AbstractObject>(pose.Get(), AbstractObjectTypeId()), nullptr);

    Matrix early, late;
    ASSERT_TRUE(pose->GetMatrix(0.0f, early));
    ASSERT_TRUE(pose->GetMatrix(12345.0f, late));
    EXPECT_EQ(std::memcmp(&early, &late, sizeof early), 0);
    EXPECT_EQ(early.m[14], 2.0f);
    TimeRange range;
    EXPECT_FALSE(pose->GetRange(range));
}

TEST(FixedTransform, AnswersItsBaseMatrixAtAnyTime) {
    Matrix base = IdentityMatrix;
    base.m[12] = 3.0f;
    base.kind = PureTranslation;
    FixedTransform fixed(base);
    Matrix out;
    ASSERT_TRUE(fixed.GetMatrix(-1.0f, out));
    EXPECT_EQ(std::memcmp(&out, &base, sizeof out), 0);
    EXPECT_EQ(QueryAs<NodeTransform>(&fixed, NodeTransformTypeId()), nullptr);
}

}  // namespace
