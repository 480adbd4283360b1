// The engine's 4x4 matrix: the elements in the D3DX layout, plus a kind word that
// records what is known about the matrix so that products with an identity, a
// pure translation or a pure scale can skip most of the work.
#pragma once

#include <array>

#include "Core/Types.h"
#include "Core/Vector.h"

// Bits of Matrix::kind. They describe the upper 4x3 part only; the fourth column
// is taken to be (0, 0, 0, 1).
enum MatrixKind : u32 {
    TranslationZero = 1,  // m(3,0), m(3,1), m(3,2) are 0
    UnitDiagonal = 2,     // m(0,0), m(1,1), m(2,2) are 1
    OffDiagonalZero = 4,  // the six off-diagonal elements of the 3x3 block are 0
    PureScale = TranslationZero | OffDiagonalZero,
    PureTranslation = UnitDiagonal | OffDiagonalZero,
    Identity = TranslationZero | UnitDiagonal | OffDiagonalZero,
};

// A plain value of 18 words. Element (row, column) is m[4 * row + column]; points
// are row vectors multiplied on the left, so row 3 holds the translation.
//
// The kind word may under-state a matrix (that only costs speed) but must never
// claim PureScale, PureTranslation or Identity for a matrix of another form. Any
// other value, including words above 7, leads to the general product.
struct Matrix {
    f32 m[16];
    u32 kind = 0;
    u32 valid = 0;  // 1 once the matrix holds a computed value

    // this = a x b through MultiplyTable; valid becomes 1. this may be a or b.
    void Multiply(const Matrix& a, const Matrix& b);
    // a x b by value, formed through the same table; valid is 1.
    static Matrix Product(const Matrix& a, const Matrix& b);
    // Address of element (row, column); null when either is above 3.
    f32* At(u32 row, u32 column);
    const f32* At(u32 row, u32 column) const;
    // Adds the kind bits that the elements show. It never clears a bit: callers
    // that want a fresh kind clear the word first.
    void Classify();
    // Rows: normalize(up x forward), normalize(up), normalize(forward), position;
    // the fourth column is (0, 0, 0, 1). The up vector is not made perpendicular
    // to forward. Kind 0, valid 1.
    static Matrix FromAxes(Vec3 position, Vec3 forward, Vec3 up);
    // Multiplies rows 0, 1 and 2 by scale.x, .y and .z (a scale applied before the rest
    // of the transform). The diagonal is no longer known to be 1; zero terms stay zero.
    void ScaleRows(const Vec3& scale);
    // Fills MultiplyTable. The table is already complete before the program
    // starts; filling it again changes nothing.
    static void InitMultiplyTable();
};

// A product routine: writes the whole of result (elements, kind and valid) from
// a and b, reading everything it needs before writing, so result may alias either.
using MultiplyRoutine = void (*)(Matrix& result, const Matrix& a, const Matrix& b);

// The product routine for operands of kinds ka and kb (each 0 to 7) is
// MultiplyTable[8 * ka + kb].
extern std::array<MultiplyRoutine, 64> MultiplyTable;

// The routines of the table.
void MulCopyB(Matrix& result, const Matrix& a, const Matrix& b);           // a is the identity
void MulCopyA(Matrix& result, const Matrix& a, const Matrix& b);           // b is the identity
void MulTranslationByB(Matrix& result, const Matrix& a, const Matrix& b);  // a is a pure translation
void MulByTranslation(Matrix& result, const Matrix& a, const Matrix& b);   // b is a pure translation
void MulScaleByB(Matrix& result, const Matrix& a, const Matrix& b);        // a is a pure scale
void MulByScale(Matrix& result, const Matrix& a, const Matrix& b);         // b is a pure scale
void MulGeneral(Matrix& result, const Matrix& a, const Matrix& b);         // D3DXMatrixMultiply, kind 0

// Program-wide matrices: all zero but m(3,3) = 1 (kind PureScale), and the identity
// (kind Identity); both valid.
extern const Matrix ZeroMatrix;
extern const Matrix IdentityMatrix;
