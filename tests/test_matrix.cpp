#include "Core/Matrix.h"
#include "Core/Vector.h"

#include <d3dx9math.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

// A matrix that truly has the form the kind bits claim (and, for a clear bit,
// truly lacks it), with an affine fourth column (0, 0, 0, 1).
Matrix MakeOfKind(u32 kind, std::mt19937& rng, u32 valid = 1) {
    std::uniform_real_distribution<float> value(0.25f, 3.0f);
    std::bernoulli_distribution negative(0.5);
    auto pick = [&] {
        float v = value(rng);
        if (v == 1.0f) v = 1.5f;
        return negative(rng) ? -v : v;
    };
    Matrix x;
    for (u32 r = 0; r < 4; ++r) {
        for (u32 c = 0; c < 4; ++c) {
            float v;
            if (c == 3) {
                v = r == 3 ? 1.0f : 0.0f;
            } else if (r == 3) {
                v = (kind & TranslationZero) ? 0.0f : pick();
            } else if (r == c) {
                v = (kind & UnitDiagonal) ? 1.0f : pick();
            } else {
                v = (kind & OffDiagonalZero) ? 0.0f : pick();
            }
            x.m[4 * r + c] = v;
        }
    }
    x.kind = kind;
    x.valid = valid;
    return x;
}

void ReferenceProduct(double out[16], const Matrix& a, const Matrix& b) {
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k) s += double(a.m[4 * i + k]) * double(b.m[4 * k + j]);
            out[4 * i + j] = s;
        }
    }
}

bool SameBits(const Matrix& x, const Matrix& y) { return std::memcmp(&x, &y, sizeof(Matrix)) == 0; }

bool SameElements(const Matrix& x, const Matrix& y) { return std::memcmp(x.m, y.m, sizeof x.m) == 0; }

// The kind a product must carry for operand kinds ka and kb.
u32 ExpectedKind(u32 ka, u32 kb) {
    if (ka == 7) return kb;
    if (kb == 7) return ka;
    if (ka == 6) return kb & ~1u;
    if (kb == 6) return ka & ~1u;
    if (ka == 5) return kb & ~2u;
    if (kb == 5) return ka & ~2u;
    return 0;
}

}  // namespace

TEST(Matrix, EveryKindPairMatchesPlainProduct) {
    std::mt19937 rng(1234);
    for (u32 ka = 0; ka < 8; ++ka) {
        for (u32 kb = 0; kb < 8; ++kb) {
            for (int trial = 0; trial < 20; ++trial) {
                SCOPED_TRACE(testing::Message() << "kinds " << ka << " x " << kb << " trial " << trial);
                const Matrix a = MakeOfKind(ka, rng, trial & 1);
                const Matrix b = MakeOfKind(kb, rng, (trial >> 1) & 1);
                Matrix r = MakeOfKind(0, rng, 0);
                r.Multiply(a, b);
                EXPECT_EQ(r.valid, 1u);
                EXPECT_EQ(r.kind, ExpectedKind(ka, kb));
                if (ka == Identity || kb == Identity) {
                    // A copy of the other operand, bit for bit.
                    EXPECT_TRUE(SameElements(r, ka == Identity ? b : a));
                }
                double ref[16];
                ReferenceProduct(ref, a, b);
                for (int e = 0; e < 16; ++e) {
                    EXPECT_NEAR(r.m[e], ref[e], 1e-4 * (1.0 + std::fabs(ref[e]))) << "element " << e;
                }
                // The kind word never claims more than the elements show.
                Matrix fresh = r;
                fresh.kind = 0;
                fresh.Classify();
                EXPECT_EQ(r.kind & ~fresh.kind, 0u);
            }
        }
    }
}

TEST(Matrix, ResultMayAliasEitherOperand) {
    std::mt19937 rng(99);
    for (u32 ka = 0; ka < 8; ++ka) {
        for (u32 kb = 0; kb < 8; ++kb) {
            SCOPED_TRACE(testing::Message() << "kinds " << ka << " x " << kb);
            const Matrix a = MakeOfKind(ka, rng, 0);
            const Matrix b = MakeOfKind(kb, rng, 0);
            const Matrix expected = Matrix::Product(a, b);

            Matrix left = a;
            left.Multiply(left, b);
            EXPECT_TRUE(SameBits(left, expected));

            Matrix right = b;
            right.Multiply(a, right);
            EXPECT_TRUE(SameBits(right, expected));

            Matrix both = a;
            both.Multiply(both, both);
            EXPECT_TRUE(SameBits(both, Matrix::Product(a, a)));
        }
    }
}

TEST(Matrix, IdentityOperandReturnsOtherBitForBitThenValid) {
    std::mt19937 rng(5);
    Matrix b = MakeOfKind(3, rng, 0);
    b.m[3] = -0.0f;  // even a non-affine column passes through untouched
    const Matrix r = Matrix::Product(IdentityMatrix, b);
    EXPECT_TRUE(SameElements(r, b));
    EXPECT_EQ(r.kind, 3u);
    EXPECT_EQ(r.valid, 1u);
    const Matrix l = Matrix::Product(b, IdentityMatrix);
    EXPECT_TRUE(SameElements(l, b));
    EXPECT_EQ(l.kind, 3u);
    EXPECT_EQ(l.valid, 1u);
    // Two identities: the left one wins, and it is the identity either way.
    EXPECT_TRUE(SameBits(Matrix::Product(IdentityMatrix, IdentityMatrix), IdentityMatrix));
}

TEST(Matrix, SpecialRoutineTieBreaks) {
    D3DXMATRIX t;
    D3DXMATRIX s;
    D3DXMatrixTranslation(&t, 1, 2, 3);
    D3DXMatrixScaling(&s, 2, 3, 4);
    Matrix mt;
    Matrix ms;
    std::memcpy(mt.m, t.m, sizeof mt.m);
    std::memcpy(ms.m, s.m, sizeof ms.m);
    mt.kind = PureTranslation;
    ms.kind = PureScale;
    // Translation then scale: the translation is scaled; rows 0-2 are the scale.
    const Matrix ts = Matrix::Product(mt, ms);
    const float expectTs[16] = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 2, 6, 12, 1};
    EXPECT_EQ(std::memcmp(ts.m, expectTs, sizeof expectTs), 0);
    EXPECT_EQ(ts.kind, u32(OffDiagonalZero));
    // Scale then translation: the translation is added as is.
    const Matrix st = Matrix::Product(ms, mt);
    const float expectSt[16] = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 2, 3, 1};
    EXPECT_EQ(std::memcmp(st.m, expectSt, sizeof expectSt), 0);
    EXPECT_EQ(st.kind, u32(OffDiagonalZero));
}

TEST(Matrix, ZeroMatrixProductsGoThroughScaleRoutines) {
    std::mt19937 rng(7);
    const Matrix b = MakeOfKind(0, rng);
    const Matrix zb = Matrix::Product(ZeroMatrix, b);
    for (int e = 0; e < 12; ++e) EXPECT_EQ(zb.m[e], 0.0f) << e;
    for (int e = 12; e < 16; ++e) EXPECT_EQ(zb.m[e], b.m[e]) << e;
    const Matrix bz = Matrix::Product(b, ZeroMatrix);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) EXPECT_EQ(bz.m[4 * r + c], 0.0f);
        EXPECT_EQ(bz.m[4 * r + 3], b.m[4 * r + 3]);
    }
}

TEST(Matrix, ProgramWideMatricesAndTable) {
    D3DXMATRIX z;
    D3DXMATRIX i;
    D3DXMatrixScaling(&z, 0, 0, 0);
    D3DXMatrixScaling(&i, 1, 1, 1);
    EXPECT_EQ(std::memcmp(ZeroMatrix.m, z.m, sizeof z.m), 0);
    EXPECT_EQ(ZeroMatrix.kind, u32(PureScale));
    EXPECT_EQ(ZeroMatrix.valid, 1u);
    EXPECT_EQ(std::memcmp(IdentityMatrix.m, i.m, sizeof i.m), 0);
    EXPECT_EQ(IdentityMatrix.kind, u32(Identity));
    EXPECT_EQ(IdentityMatrix.valid, 1u);

    const auto before = MultiplyTable;
    Matrix::InitMultiplyTable();
    Matrix::InitMultiplyTable();
    EXPECT_EQ(before, MultiplyTable);
    for (MultiplyRoutine routine : MultiplyTable) EXPECT_NE(routine, nullptr);
}

TEST(Matrix, KindWordsAboveSevenTakeTheGeneralProduct) {
    std::mt19937 rng(11);
    Matrix a = MakeOfKind(0, rng);
    const Matrix b = MakeOfKind(0, rng);
    a.kind = 15;  // not a kind: must not be read as an identity
    const Matrix r = Matrix::Product(a, b);
    double ref[16];
    ReferenceProduct(ref, a, b);
    for (int e = 0; e < 16; ++e) EXPECT_NEAR(r.m[e], ref[e], 1e-4 * (1.0 + std::fabs(ref[e])));
    EXPECT_EQ(r.kind, 0u);
}

TEST(Matrix, ClassifyFindsFormsAndOnlyAddsBits) {
    std::mt19937 rng(3);
    for (u32 k = 0; k < 8; ++k) {
        Matrix x = MakeOfKind(k, rng);
        x.kind = 0;
        x.Classify();
        EXPECT_EQ(x.kind, k);
    }
    Matrix scale = IdentityMatrix;
    scale.kind = 0;
    scale.m[0] = 2;
    scale.m[5] = 2;
    scale.m[12] = -0.0f;  // negative zero counts as zero
    scale.Classify();
    EXPECT_EQ(scale.kind, u32(PureScale));

    Matrix stale = MakeOfKind(0, rng);
    stale.kind = UnitDiagonal;
    stale.Classify();
    EXPECT_EQ(stale.kind, u32(UnitDiagonal));
}

TEST(Matrix, AtAndFromAxes) {
    Matrix x = IdentityMatrix;
    EXPECT_EQ(x.At(2, 3), &x.m[11]);
    EXPECT_EQ(x.At(3, 0), &x.m[12]);
    EXPECT_EQ(x.At(4, 0), nullptr);
    EXPECT_EQ(x.At(0, 4), nullptr);
    const Matrix& cx = x;
    EXPECT_EQ(cx.At(1, 1), &x.m[5]);

    const Matrix f = Matrix::FromAxes(Vec3(1, 2, 3), Vec3(0, 0, 2), Vec3(0, 3, 0));
    const float expect[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
    EXPECT_EQ(std::memcmp(f.m, expect, sizeof expect), 0);
    EXPECT_EQ(f.kind, 0u);
    EXPECT_EQ(f.valid, 1u);
    // Up is not made perpendicular to forward.
    const Matrix g = Matrix::FromAxes(Vec3(), Vec3(0, 0, 1), Vec3(0, 1, 1));
    EXPECT_NEAR(g.m[5], 0.70710677f, 1e-6);
    EXPECT_NEAR(g.m[6], 0.70710677f, 1e-6);
    EXPECT_EQ(g.m[0], 1.0f);
}

TEST(Vector, LengthNormalizeCross) {
    EXPECT_EQ(Vec3Length(Vec3(3, 4, 12)), 13.0f);
    EXPECT_FLOAT_EQ(Vec3Length(Vec3(3e30f, 4e30f, 0)), 5e30f);

    Vec3 n;
    Vec3Normalize(n, Vec3(0, 0, 0));
    EXPECT_EQ(n.x, 0.0f);
    EXPECT_EQ(n.y, 0.0f);
    EXPECT_EQ(n.z, 0.0f);
    Vec3Normalize(n, Vec3(3, 0, 4));
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_EQ(n.y, 0.0f);
    EXPECT_FLOAT_EQ(n.z, 0.8f);
    // Very long and very short vectors still normalise.
    Vec3Normalize(n, Vec3(0, 2e30f, 0));
    EXPECT_FLOAT_EQ(n.y, 1.0f);
    Vec3Normalize(n, Vec3(0, 0, -1e-30f));
    EXPECT_FLOAT_EQ(n.z, -1.0f);
    n = Vec3(0, 5, 0);
    Vec3Normalize(n, n);
    EXPECT_EQ(n.y, 1.0f);

    Vec3 a(1, 2, 3);
    const Vec3 b(4, 5, 6);
    Vec3& r = Vec3Cross(a, a, b);  // out is the first operand
    EXPECT_EQ(&r, &a);
    EXPECT_EQ(a.x, -3.0f);
    EXPECT_EQ(a.y, 6.0f);
    EXPECT_EQ(a.z, -3.0f);
    Vec3 c(4, 5, 6);
    Vec3Cross(c, Vec3(1, 2, 3), c);
    EXPECT_EQ(c.x, -3.0f);
    EXPECT_EQ(c.y, 6.0f);
    EXPECT_EQ(c.z, -3.0f);

    Vec3 d;
    Vec3Subtract(d, Vec3(1, 2, 3), Vec3(3, 2, 1));
    EXPECT_EQ(d.x, -2.0f);
    EXPECT_EQ(d.z, 2.0f);
    Vec3Scale(d, d, -0.5f);
    EXPECT_EQ(d.x, 1.0f);
    EXPECT_EQ(d.z, -1.0f);
}

TEST(D3dxMath, RotationsTranslationAndTransformCoord) {
    const float halfPi = 1.5707964f;
    D3DXMATRIX m;
    D3DXVECTOR3 v(1, 0, 0);
    D3DXVECTOR3 out;
    D3DXMatrixRotationY(&m, halfPi);
    D3DXVec3TransformCoord(&out, &v, &m);
    EXPECT_NEAR(out.x, 0, 1e-6);
    EXPECT_NEAR(out.z, -1, 1e-6);
    D3DXMatrixRotationX(&m, halfPi);
    v = D3DXVECTOR3(0, 1, 0);
    D3DXVec3TransformCoord(&out, &v, &m);
    EXPECT_NEAR(out.y, 0, 1e-6);
    EXPECT_NEAR(out.z, 1, 1e-6);
    D3DXMatrixRotationZ(&m, halfPi);
    v = D3DXVECTOR3(1, 0, 0);
    D3DXVec3TransformCoord(&v, &v, &m);  // in place
    EXPECT_NEAR(v.x, 0, 1e-6);
    EXPECT_NEAR(v.y, 1, 1e-6);

    // A rotation about an unnormalised axis equals the one about the unit axis.
    D3DXMATRIX axis;
    D3DXMATRIX ry;
    const D3DXVECTOR3 up(0, 5, 0);
    D3DXMatrixRotationAxis(&axis, &up, 0.7f);
    D3DXMatrixRotationY(&ry, 0.7f);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(axis.m[r][c], ry.m[r][c], 1e-6);

    D3DXMatrixTranslation(&m, 1, 2, 3);
    v = D3DXVECTOR3(1, 1, 1);
    D3DXVec3TransformCoord(&out, &v, &m);
    EXPECT_EQ(out.x, 2.0f);
    EXPECT_EQ(out.z, 4.0f);
    // The result is brought back to w = 1.
    D3DXMatrixIdentity(&m);
    m.m[3][3] = 2.0f;
    D3DXVec3TransformCoord(&out, &v, &m);
    EXPECT_EQ(out.y, 0.5f);

    // Multiply in place on either side.
    D3DXMATRIX a;
    D3DXMATRIX b;
    D3DXMatrixRotationX(&a, 0.3f);
    D3DXMatrixTranslation(&b, 1, 2, 3);
    D3DXMATRIX expected;
    D3DXMatrixMultiply(&expected, &a, &b);
    D3DXMatrixMultiply(&a, &a, &b);
    EXPECT_EQ(std::memcmp(&a, &expected, sizeof a), 0);
    EXPECT_EQ(expected.m[3][0], 1.0f);
    EXPECT_EQ(expected(3, 2), 3.0f);
}

TEST(D3dxMath, ComputeBoundingBoxReadsStridedUnalignedPositions) {
    // 20-byte vertices starting one byte into the buffer: position, then 8 bytes.
    unsigned char buffer[1 + 3 * 20] = {};
    const float positions[3][3] = {{1, -2, 3}, {-4, 5, 0}, {2, 2, -6}};
    for (int i = 0; i < 3; ++i) std::memcpy(buffer + 1 + 20 * i, positions[i], 12);
    const auto* first = reinterpret_cast<const D3DXVECTOR3*>(buffer + 1);
    D3DXVECTOR3 lo;
    D3DXVECTOR3 hi;
    ASSERT_EQ(D3DXComputeBoundingBox(first, 3, 20, &lo, &hi), S_OK);
    EXPECT_EQ(lo.x, -4.0f);
    EXPECT_EQ(lo.y, -2.0f);
    EXPECT_EQ(lo.z, -6.0f);
    EXPECT_EQ(hi.x, 2.0f);
    EXPECT_EQ(hi.y, 5.0f);
    EXPECT_EQ(hi.z, 3.0f);
    EXPECT_TRUE(FAILED(D3DXComputeBoundingBox(nullptr, 3, 20, &lo, &hi)));
    EXPECT_TRUE(FAILED(D3DXComputeBoundingBox(first, 3, 20, nullptr, &hi)));
}
