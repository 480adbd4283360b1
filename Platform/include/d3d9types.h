// Direct3D 9 value types, for the Linux build. Declarations are added here when
// the first caller needs them; layouts are the documented ones.
#pragma once

#include <windows.h>

// A 3-component vector: three floats x, y, z (12 bytes).
typedef struct _D3DVECTOR {
    float x;
    float y;
    float z;
} D3DVECTOR;

// A 4x4 matrix of floats, row by row: _RC is row R, column C (both 1-based), and
// m[R-1][C-1] names the same element (64 bytes).
typedef struct _D3DMATRIX {
    union {
        struct {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
        float m[4][4];
    };
} D3DMATRIX;
