// The vector and matrix part of the D3DX9 utility library, for the Linux build.
// Only what the engine calls is declared. Matrices follow the row-vector
// convention: a point is a row vector multiplied on the left, so row 4 holds the
// translation; rotations are those of a left-handed coordinate system.
#pragma once

#include <windows.h>
#include <d3d9types.h>

struct D3DXVECTOR3 : public D3DVECTOR {
    D3DXVECTOR3() = default;
    D3DXVECTOR3(float fx, float fy, float fz) {
        x = fx;
        y = fy;
        z = fz;
    }
    D3DXVECTOR3(const D3DVECTOR& v) : D3DVECTOR(v) {}
};

struct D3DXVECTOR4 {
    D3DXVECTOR4() = default;
    D3DXVECTOR4(float fx, float fy, float fz, float fw) : x(fx), y(fy), z(fz), w(fw) {}
    float x, y, z, w;
};

struct D3DXMATRIX : public D3DMATRIX {
    D3DXMATRIX() = default;
    D3DXMATRIX(const D3DMATRIX& mat) : D3DMATRIX(mat) {}
    float& operator()(unsigned row, unsigned column) { return m[row][column]; }
    float operator()(unsigned row, unsigned column) const { return m[row][column]; }
};

// A quaternion x i + y j + z k + w; a unit quaternion is a rotation.
struct D3DXQUATERNION {
    D3DXQUATERNION() = default;
    D3DXQUATERNION(FLOAT fx, FLOAT fy, FLOAT fz, FLOAT fw) : x(fx), y(fy), z(fz), w(fw) {}
    FLOAT x, y, z, w;
};

// pOut = pM1 x pM2. pOut may be the same matrix as either operand. Returns pOut.
D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2);
// A scaling by sx, sy, sz along the axes. Returns pOut.
D3DXMATRIX* WINAPI D3DXMatrixScaling(D3DXMATRIX* pOut, float sx, float sy, float sz);
// A translation by x, y, z. Returns pOut.
D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* pOut, float x, float y, float z);
// Rotations by Angle radians about the x, y or z axis. Return pOut.
D3DXMATRIX* WINAPI D3DXMatrixRotationX(D3DXMATRIX* pOut, float Angle);
D3DXMATRIX* WINAPI D3DXMatrixRotationY(D3DXMATRIX* pOut, float Angle);
D3DXMATRIX* WINAPI D3DXMatrixRotationZ(D3DXMATRIX* pOut, float Angle);
// A rotation by Angle radians about the axis pV (need not be of unit length).
// Returns pOut.
D3DXMATRIX* WINAPI D3DXMatrixRotationAxis(D3DXMATRIX* pOut, const D3DXVECTOR3* pV, float Angle);
// Transforms the point (x, y, z, 1) by pM and projects the result back to w = 1.
// pOut may be pV. Returns pOut.
D3DXVECTOR3* WINAPI D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM);
// The axis-aligned box of NumVertices positions, the first at pFirstPosition and
// each further one dwStride bytes after the previous (positions need no
// alignment). Fails with D3DERR_INVALIDCALL for a null pointer or no vertices.
HRESULT WINAPI D3DXComputeBoundingBox(const D3DXVECTOR3* pFirstPosition, DWORD NumVertices, DWORD dwStride,
                                      D3DXVECTOR3* pMin, D3DXVECTOR3* pMax);

// A left-handed perspective projection: vertical field of view fovy (radians), width over
// height Aspect, near and far planes zn and zf; depth maps zn to 0 and zf to 1. Returns pOut.
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, FLOAT fovy, FLOAT Aspect, FLOAT zn, FLOAT zf);
// A left-handed orthographic projection of a w x h view volume between zn and zf. Returns pOut.
D3DXMATRIX* WINAPI D3DXMatrixOrthoLH(D3DXMATRIX* pOut, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
// A left-handed view from pEye towards pAt, with pUp as the up direction. Returns pOut.
D3DXMATRIX* WINAPI D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye, const D3DXVECTOR3* pAt,
                                      const D3DXVECTOR3* pUp);

// Sets pOut to the identity. Returns pOut.
inline D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* pOut) {
    for (unsigned r = 0; r < 4; ++r) {
        for (unsigned c = 0; c < 4; ++c) {
            pOut->m[r][c] = r == c ? 1.0f : 0.0f;
        }
    }
    return pOut;
}

// The inverse of pM, and its determinant in *pDeterminant when that is not null. A singular
// matrix (determinant 0) has no inverse: the result is null and neither pOut nor
// *pDeterminant is written.
D3DXMATRIX* WINAPI D3DXMatrixInverse(D3DXMATRIX* pOut, FLOAT* pDeterminant, const D3DXMATRIX* pM);
// The rotation matrix of the quaternion pQ (taken to be of unit length). Returns pOut.
D3DXMATRIX* WINAPI D3DXMatrixRotationQuaternion(D3DXMATRIX* pOut, const D3DXQUATERNION* pQ);
// The unit quaternion of the rotation in the upper 3x3 part of pM. Returns pOut.
D3DXQUATERNION* WINAPI D3DXQuaternionRotationMatrix(D3DXQUATERNION* pOut, const D3DXMATRIX* pM);
// Spherical interpolation from pQ1 (t = 0) to pQ2 (t = 1) along the shorter arc: when the
// two point into opposite half-spaces, pQ2's negation (the same rotation) is the target.
// t outside [0, 1] extrapolates along the same arc. Nearly equal quaternions are
// interpolated linearly. pOut may be either operand. Returns pOut.
D3DXQUATERNION* WINAPI D3DXQuaternionSlerp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                           const D3DXQUATERNION* pQ2, FLOAT t);
// pQ scaled to unit length; a zero quaternion gives zero. Returns pOut.
D3DXQUATERNION* WINAPI D3DXQuaternionNormalize(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);

// The four-component dot product. Returns it.
inline FLOAT D3DXQuaternionDot(const D3DXQUATERNION* pQ1, const D3DXQUATERNION* pQ2) {
    return pQ1->x * pQ2->x + pQ1->y * pQ2->y + pQ1->z * pQ2->z + pQ1->w * pQ2->w;
}
// Sets pOut to (0, 0, 0, 1), the rotation by nothing. Returns pOut.
inline D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* pOut) {
    pOut->x = pOut->y = pOut->z = 0.0f;
    pOut->w = 1.0f;
    return pOut;
}
