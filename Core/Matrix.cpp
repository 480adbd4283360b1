#include "Core/Matrix.h"

#include "Core/D3dxLibrary.h"

#include <d3dx9math.h>

#include <cstring>

namespace {

// Kind words above 7 are no kinds: they are read as "nothing known".
constexpr u32 KnownKind(u32 kind) { return kind < 8 ? kind : 0u; }

constexpr MultiplyRoutine ChooseRoutine(u32 ka, u32 kb) {
    // Checked in this order, so an identity beats a translation, which beats a
    // scale, and a special left operand beats an equally special right one.
    if (ka == Identity) return MulCopyB;
    if (kb == Identity) return MulCopyA;
    if (ka == PureTranslation) return MulTranslationByB;
    if (kb == PureTranslation) return MulByTranslation;
    if (ka == PureScale) return MulScaleByB;
    if (kb == PureScale) return MulByScale;
    return MulGeneral;
}

constexpr std::array<MultiplyRoutine, 64> BuildMultiplyTable() {
    std::array<MultiplyRoutine, 64> table{};
    for (u32 ka = 0; ka < 8; ++ka) {
        for (u32 kb = 0; kb < 8; ++kb) {
            table[8 * ka + kb] = ChooseRoutine(ka, kb);
        }
    }
    return table;
}

void CopyMatrix(Matrix& to, const Matrix& from) {
    if (&to != &from) {
        std::memcpy(&to, &from, sizeof(Matrix));
    }
}

D3DXMATRIX* AsD3dx(Matrix& x) { return reinterpret_cast<D3DXMATRIX*>(x.m); }
const D3DXMATRIX* AsD3dx(const Matrix& x) { return reinterpret_cast<const D3DXMATRIX*>(x.m); }

}  // namespace

// Constant-initialised, so they are complete before any code of the program runs.
constinit std::array<MultiplyRoutine, 64> MultiplyTable = BuildMultiplyTable();
constinit const Matrix ZeroMatrix = {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, PureScale, 1};
constinit const Matrix IdentityMatrix = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, Identity, 1};

void Matrix::InitMultiplyTable() { MultiplyTable = BuildMultiplyTable(); }

void Matrix::Multiply(const Matrix& a, const Matrix& b) {
    MultiplyTable[8 * KnownKind(a.kind) + KnownKind(b.kind)](*this, a, b);
    valid = 1;
}

Matrix Matrix::Product(const Matrix& a, const Matrix& b) {
    Matrix result;
    result.Multiply(a, b);
    return result;
}

f32* Matrix::At(u32 row, u32 column) { return row < 4 && column < 4 ? m + 4 * row + column : nullptr; }

const f32* Matrix::At(u32 row, u32 column) const {
    return row < 4 && column < 4 ? m + 4 * row + column : nullptr;
}

void Matrix::Classify() {
    if (m[0] == 1.0f && m[5] == 1.0f && m[10] == 1.0f) {
        kind |= UnitDiagonal;
    }
    if (m[12] == 0.0f && m[13] == 0.0f && m[14] == 0.0f) {
        kind |= TranslationZero;
    }
    if (m[1] == 0.0f && m[2] == 0.0f && m[4] == 0.0f && m[6] == 0.0f && m[8] == 0.0f && m[9] == 0.0f) {
        kind |= OffDiagonalZero;
    }
}

Matrix Matrix::FromAxes(Vec3 position, Vec3 forward, Vec3 up) {
    Matrix r = IdentityMatrix;
    Vec3 side;
    Vec3Cross(side, up, forward);
    Vec3Normalize(side, side);
    Vec3Normalize(up, up);
    Vec3Normalize(forward, forward);
    const Vec3 rows[4] = {side, up, forward, position};
    for (u32 i = 0; i < 4; ++i) {
        r.m[4 * i + 0] = rows[i].x;
        r.m[4 * i + 1] = rows[i].y;
        r.m[4 * i + 2] = rows[i].z;
    }
    r.kind = 0;
    r.valid = 1;
    return r;
}

void Matrix::ScaleRows(const Vec3& scale) {
    const f32 factors[3] = {scale.x, scale.y, scale.z};
    for (u32 row = 0; row < 3; ++row) {
        for (u32 column = 0; column < 4; ++column) m[4 * row + column] *= factors[row];
    }
    kind &= ~u32(UnitDiagonal);
}

void MulCopyB(Matrix& result, const Matrix&, const Matrix& b) { CopyMatrix(result, b); }

void MulCopyA(Matrix& result, const Matrix& a, const Matrix&) { CopyMatrix(result, a); }

void MulTranslationByB(Matrix& result, const Matrix& a, const Matrix& b) {
    const f32 tx = a.m[12];
    const f32 ty = a.m[13];
    const f32 tz = a.m[14];
    f32 row3[4];
    for (u32 j = 0; j < 4; ++j) {
        row3[j] = tx * b.m[j] + ty * b.m[4 + j] + tz * b.m[8 + j] + b.m[12 + j];
    }
    const u32 kind = KnownKind(b.kind) & ~u32(TranslationZero);
    const u32 valid = b.valid;
    if (&result != &b) {
        std::memcpy(result.m, b.m, 12 * sizeof(f32));
    }
    std::memcpy(result.m + 12, row3, sizeof row3);
    result.kind = kind;
    result.valid = valid;
}

void MulByTranslation(Matrix& result, const Matrix& a, const Matrix& b) {
    const f32 row3[4] = {a.m[12] + b.m[12], a.m[13] + b.m[13], a.m[14] + b.m[14], a.m[15]};
    const u32 kind = KnownKind(a.kind) & ~u32(TranslationZero);
    const u32 valid = a.valid;
    if (&result != &a) {
        std::memcpy(result.m, a.m, 12 * sizeof(f32));
    }
    std::memcpy(result.m + 12, row3, sizeof row3);
    result.kind = kind;
    result.valid = valid;
}

void MulScaleByB(Matrix& result, const Matrix& a, const Matrix& b) {
    const f32 scale[3] = {a.m[0], a.m[5], a.m[10]};
    const u32 kind = KnownKind(b.kind) & ~u32(UnitDiagonal);
    const u32 valid = b.valid;
    f32 r[16];
    for (u32 i = 0; i < 3; ++i) {
        for (u32 j = 0; j < 4; ++j) {
            r[4 * i + j] = b.m[4 * i + j] * scale[i];
        }
    }
    std::memcpy(r + 12, b.m + 12, 4 * sizeof(f32));
    std::memcpy(result.m, r, sizeof r);
    result.kind = kind;
    result.valid = valid;
}

void MulByScale(Matrix& result, const Matrix& a, const Matrix& b) {
    const f32 s0 = b.m[0];
    const f32 s1 = b.m[5];
    const f32 s2 = b.m[10];
    const u32 kind = KnownKind(a.kind) & ~u32(UnitDiagonal);
    const u32 valid = a.valid;
    // Each row depends on the same row of a only, so writing row by row is safe
    // even when result is a.
    for (u32 i = 0; i < 16; i += 4) {
        const f32 x0 = a.m[i + 0];
        const f32 x1 = a.m[i + 1];
        const f32 x2 = a.m[i + 2];
        const f32 x3 = a.m[i + 3];
        result.m[i + 0] = x0 * s0;
        result.m[i + 1] = x1 * s1;
        result.m[i + 2] = x2 * s2;
        result.m[i + 3] = x3;
    }
    result.kind = kind;
    result.valid = valid;
}

void MulGeneral(Matrix& result, const Matrix& a, const Matrix& b) {
    D3dx().MatrixMultiply(AsD3dx(result), AsD3dx(a), AsD3dx(b));
    result.kind = 0;
    result.valid = 1;
}
