// The quaternion and inverse functions of D3DX9 that the key tracks and the animation blend
// rest on: the rules that shape a rotation curve (the shorter arc for quaternions in opposite
// half-spaces, linear weights for nearly equal ones, extrapolation past either end) and the
// round trips between matrices and quaternions. The same tests run against the real library
// under Wine.
#include <d3dx9.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

D3DXQUATERNION AxisAngle(float x, float y, float z, float angle) {
    const float length = std::sqrt(x * x + y * y + z * z);
    const float s = std::sin(angle / 2.0f) / length;
    return D3DXQUATERNION(x * s, y * s, z * s, std::cos(angle / 2.0f));
}

void ExpectQuaternion(const D3DXQUATERNION& q, const D3DXQUATERNION& expected, float tolerance) {
    EXPECT_NEAR(q.x, expected.x, tolerance);
    EXPECT_NEAR(q.y, expected.y, tolerance);
    EXPECT_NEAR(q.z, expected.z, tolerance);
    EXPECT_NEAR(q.w, expected.w, tolerance);
}

// q and -q are the same rotation: compare against whichever sign the expectation has.
void ExpectSameRotation(const D3DXQUATERNION& q, const D3DXQUATERNION& expected, float tolerance) {
    const float sign = D3DXQuaternionDot(&q, &expected) < 0.0f ? -1.0f : 1.0f;
    ExpectQuaternion(D3DXQUATERNION(sign * q.x, sign * q.y, sign * q.z, sign * q.w), expected, tolerance);
}

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float tolerance) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i / 4][i % 4], b.m[i / 4][i % 4], tolerance) << "element " << i;
}

constexpr float kPi = 3.14159265f;

}  // namespace

TEST(D3dx9Quaternion, SlerpHalfwayIsHalfTheAngle) {
    const D3DXQUATERNION a = AxisAngle(0, 0, 1, 0.0f);
    const D3DXQUATERNION b = AxisAngle(0, 0, 1, kPi / 2);
    D3DXQUATERNION out;
    EXPECT_EQ(D3DXQuaternionSlerp(&out, &a, &b, 0.5f), &out);
    ExpectQuaternion(out, AxisAngle(0, 0, 1, kPi / 4), 1e-6f);
    D3DXQuaternionSlerp(&out, &a, &b, 0.0f);
    ExpectQuaternion(out, a, 1e-6f);
    D3DXQuaternionSlerp(&out, &a, &b, 1.0f);
    ExpectQuaternion(out, b, 1e-6f);
}

TEST(D3dx9Quaternion, SlerpOutsideTheUnitIntervalExtrapolatesAlongTheArc) {
    const D3DXQUATERNION a = AxisAngle(1, 2, 3, 0.25f);
    const D3DXQUATERNION b = AxisAngle(1, 2, 3, 0.25f + kPi / 3);
    D3DXQUATERNION out;
    D3DXQuaternionSlerp(&out, &a, &b, 2.0f);
    ExpectQuaternion(out, AxisAngle(1, 2, 3, 0.25f + 2 * kPi / 3), 1e-5f);
    D3DXQuaternionSlerp(&out, &a, &b, -1.0f);
    ExpectQuaternion(out, AxisAngle(1, 2, 3, 0.25f - kPi / 3), 1e-5f);
    D3DXQuaternionSlerp(&out, &a, &b, -1.0f / 3.0f);
    ExpectQuaternion(out, AxisAngle(1, 2, 3, 0.25f - kPi / 9), 1e-5f);
}

TEST(D3dx9Quaternion, SlerpTakesTheShorterArcWhenTheDotIsNegative) {
    const D3DXQUATERNION a = AxisAngle(0, 1, 0, 0.0f);
    const D3DXQUATERNION b = AxisAngle(0, 1, 0, kPi / 3);
    const D3DXQUATERNION negB(-b.x, -b.y, -b.z, -b.w);
    D3DXQUATERNION out;
    D3DXQuaternionSlerp(&out, &a, &negB, 0.5f);
    // The 30 degree turn with the sign of the start, not the 150 degree way round.
    ExpectQuaternion(out, AxisAngle(0, 1, 0, kPi / 6), 1e-6f);
    D3DXQuaternionSlerp(&out, &a, &negB, 1.0f);
    ExpectQuaternion(out, b, 1e-6f);
    D3DXQuaternionSlerp(&out, &a, &negB, 2.0f);
    ExpectQuaternion(out, AxisAngle(0, 1, 0, 2 * kPi / 3), 1e-5f);
}

TEST(D3dx9Quaternion, SlerpOfNearlyEqualQuaternionsIsLinear) {
    // Equal or opposite quaternions give the start at every weight, never a division by 0.
    const D3DXQUATERNION q = AxisAngle(3, -1, 2, 1.1f);
    const D3DXQUATERNION neg(-q.x, -q.y, -q.z, -q.w);
    for (float t : {0.0f, 0.5f, 1.0f, 3.0f, -2.0f}) {
        D3DXQUATERNION out;
        D3DXQuaternionSlerp(&out, &q, &q, t);
        ExpectQuaternion(out, q, 1e-5f);
        D3DXQuaternionSlerp(&out, &q, &neg, t);
        ExpectQuaternion(out, q, 1e-5f);
    }
    // Parallel quaternions of different length are mixed by the plain linear weights.
    const D3DXQUATERNION one(0, 0, 0, 1);
    const D3DXQUATERNION two(0, 0, 0, 2);
    D3DXQUATERNION out;
    D3DXQuaternionSlerp(&out, &one, &two, 0.5f);
    ExpectQuaternion(out, D3DXQUATERNION(0, 0, 0, 1.5f), 1e-6f);
    D3DXQuaternionSlerp(&out, &one, &two, 3.0f);
    ExpectQuaternion(out, D3DXQUATERNION(0, 0, 0, 4.0f), 1e-5f);
}

TEST(D3dx9Quaternion, SlerpOutputMayBeAnInput) {
    D3DXQUATERNION a = AxisAngle(0, 0, 1, 0.0f);
    const D3DXQUATERNION b = AxisAngle(0, 0, 1, 1.0f);
    D3DXQuaternionSlerp(&a, &a, &b, 0.5f);
    ExpectQuaternion(a, AxisAngle(0, 0, 1, 0.5f), 1e-6f);
}

TEST(D3dx9Quaternion, RotationQuaternionMatchesRotationAboutTheAxis) {
    const struct {
        float x, y, z, angle;
    } rows[] = {{1, 0, 0, 0.7f}, {0, 1, 0, -1.3f}, {0, 0, 1, 2.9f}, {1, -2, 0.5f, 1.0f}, {-3, 1, 4, kPi}};
    for (const auto& row : rows) {
        const D3DXQUATERNION q = AxisAngle(row.x, row.y, row.z, row.angle);
        const D3DXVECTOR3 axis(row.x, row.y, row.z);
        D3DXMATRIX fromQuaternion, fromAxis;
        EXPECT_EQ(D3DXMatrixRotationQuaternion(&fromQuaternion, &q), &fromQuaternion);
        D3DXMatrixRotationAxis(&fromAxis, &axis, row.angle);
        ExpectMatrixNear(fromQuaternion, fromAxis, 1e-5f);
    }
}

TEST(D3dx9Quaternion, RotationMatrixRoundTripsInEveryBranch) {
    // Small and large angles about each axis reach each of the diagonal's branches.
    const struct {
        float x, y, z, angle;
    } rows[] = {{1, 0, 0, 0.3f},  {1, 0, 0, 3.0f},     {0, 1, 0, 3.0f},  {0, 0, 1, 3.0f},
                {1, 1, 1, 2.0f},  {1, -2, 0.5f, 2.5f}, {0, 0, 1, kPi},   {2, 1, -3, -2.8f}};
    for (const auto& row : rows) {
        const D3DXQUATERNION q = AxisAngle(row.x, row.y, row.z, row.angle);
        D3DXMATRIX m;
        D3DXMatrixRotationQuaternion(&m, &q);
        D3DXQUATERNION back;
        EXPECT_EQ(D3DXQuaternionRotationMatrix(&back, &m), &back);
        ExpectSameRotation(back, q, 1e-5f);
    }
}

TEST(D3dx9Quaternion, NormalizeScalesToUnitLength) {
    const D3DXQUATERNION q(1, 2, 2, 4);
    D3DXQUATERNION out;
    EXPECT_EQ(D3DXQuaternionNormalize(&out, &q), &out);
    ExpectQuaternion(out, D3DXQUATERNION(0.2f, 0.4f, 0.4f, 0.8f), 1e-6f);
    D3DXQUATERNION identity;
    D3DXQuaternionIdentity(&identity);
    ExpectQuaternion(identity, D3DXQUATERNION(0, 0, 0, 1), 0.0f);
}

TEST(D3dx9Matrix, InverseTimesMatrixIsTheIdentity) {
    D3DXMATRIX m;
    const float e[16] = {2, 1, 0, 0.5f, -1, 3, 2, 0, 0.25f, 0, 4, 1, 7, -2, 5, 1};
    for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = e[i];
    D3DXMATRIX inverse, product, identity;
    float determinant = 0.0f;
    EXPECT_EQ(D3DXMatrixInverse(&inverse, &determinant, &m), &inverse);
    D3DXMatrixMultiply(&product, &m, &inverse);
    D3DXMatrixIdentity(&identity);
    ExpectMatrixNear(product, identity, 1e-5f);
    D3DXMatrixMultiply(&product, &inverse, &m);
    ExpectMatrixNear(product, identity, 1e-5f);
    EXPECT_NEAR(determinant, -64.125f, 1e-4f);
    // Without a determinant pointer the inverse is the same.
    D3DXMATRIX again;
    EXPECT_EQ(D3DXMatrixInverse(&again, nullptr, &m), &again);
    ExpectMatrixNear(again, inverse, 0.0f);
}

TEST(D3dx9Matrix, InverseOfARigidTransformUndoesIt) {
    D3DXMATRIX rotation, translation, m, inverse;
    D3DXMatrixRotationY(&rotation, 0.8f);
    D3DXMatrixTranslation(&translation, 3, -4, 5);
    D3DXMatrixMultiply(&m, &rotation, &translation);
    ASSERT_NE(D3DXMatrixInverse(&inverse, nullptr, &m), nullptr);
    D3DXVECTOR3 p(1, 2, 3), moved, back;
    D3DXVec3TransformCoord(&moved, &p, &m);
    D3DXVec3TransformCoord(&back, &moved, &inverse);
    EXPECT_NEAR(back.x, 1.0f, 1e-5f);
    EXPECT_NEAR(back.y, 2.0f, 1e-5f);
    EXPECT_NEAR(back.z, 3.0f, 1e-5f);
}

TEST(D3dx9Matrix, SingularMatrixHasNoInverse) {
    D3DXMATRIX flat, out;
    D3DXMatrixScaling(&flat, 1, 0, 1);
    D3DXMatrixIdentity(&out);
    float determinant = 5.0f;
    EXPECT_EQ(D3DXMatrixInverse(&out, &determinant, &flat), nullptr);
    // Neither output is written.
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    ExpectMatrixNear(out, identity, 0.0f);
    EXPECT_EQ(determinant, 5.0f);
    D3DXMATRIX zero;
    for (int i = 0; i < 16; ++i) zero.m[i / 4][i % 4] = 0.0f;
    EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &zero), nullptr);
    // Two equal rows.
    D3DXMATRIX twin;
    const float e[16] = {1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) twin.m[i / 4][i % 4] = e[i];
    EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &twin), nullptr);
}
