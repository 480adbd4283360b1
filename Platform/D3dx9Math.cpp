// The vector and matrix functions of D3DX9 for the Linux build.
#include <d3dx9math.h>

#include <cmath>
#include <cstring>

namespace {

// Direct3D's "invalid call" error (facility 0x876, code 2156).
constexpr HRESULT kInvalidCall = static_cast<HRESULT>(0x8876086Cu);

// One matrix row as a vector of four floats (one SSE register on x86).
typedef float Row4 __attribute__((vector_size(16)));

D3DXMATRIX* SetRows(D3DXMATRIX* out, const float (&e)[16]) {
    std::memcpy(out->m, e, sizeof e);
    return out;
}

}  // namespace

D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2) {
    // Row i of the product is the sum of pM2's rows weighted by row i of pM1. The
    // four rows of pM2 are held as 4-float vectors, so each output row is four
    // vector multiply-adds. Both operands are read whole before pOut is written,
    // so pOut may be either of them.
    Row4 b[4];
    std::memcpy(b, pM2->m, sizeof b);
    float a[16];
    std::memcpy(a, pM1->m, sizeof a);
    Row4 r[4];
    for (int i = 0; i < 4; ++i) {
        r[i] = a[4 * i] * b[0] + a[4 * i + 1] * b[1] + a[4 * i + 2] * b[2] + a[4 * i + 3] * b[3];
    }
    std::memcpy(pOut->m, r, sizeof r);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixScaling(D3DXMATRIX* pOut, float sx, float sy, float sz) {
    return SetRows(pOut, {sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, 0, 0, 0, 1});
}

D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* pOut, float x, float y, float z) {
    return SetRows(pOut, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1});
}

D3DXMATRIX* WINAPI D3DXMatrixRotationX(D3DXMATRIX* pOut, float Angle) {
    const float c = std::cos(Angle);
    const float s = std::sin(Angle);
    return SetRows(pOut, {1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1});
}

D3DXMATRIX* WINAPI D3DXMatrixRotationY(D3DXMATRIX* pOut, float Angle) {
    const float c = std::cos(Angle);
    const float s = std::sin(Angle);
    return SetRows(pOut, {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1});
}

D3DXMATRIX* WINAPI D3DXMatrixRotationZ(D3DXMATRIX* pOut, float Angle) {
    const float c = std::cos(Angle);
    const float s = std::sin(Angle);
    return SetRows(pOut, {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
}

D3DXMATRIX* WINAPI D3DXMatrixRotationAxis(D3DXMATRIX* pOut, const D3DXVECTOR3* pV, float Angle) {
    // The axis is normalised first; a zero axis stays zero, which leaves the
    // uniform scaling by cos(Angle).
    float x = pV->x;
    float y = pV->y;
    float z = pV->z;
    const double lengthSq = double(x) * x + double(y) * y + double(z) * z;
    if (lengthSq > 0.0) {
        const double inv = 1.0 / std::sqrt(lengthSq);
        x = float(x * inv);
        y = float(y * inv);
        z = float(z * inv);
    }
    const float c = std::cos(Angle);
    const float s = std::sin(Angle);
    const float t = 1.0f - c;
    return SetRows(pOut, {t * x * x + c, t * x * y + s * z, t * x * z - s * y, 0,  //
                          t * x * y - s * z, t * y * y + c, t * y * z + s * x, 0,  //
                          t * x * z + s * y, t * y * z - s * x, t * z * z + c, 0,  //
                          0, 0, 0, 1});
}

D3DXVECTOR3* WINAPI D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM) {
    const float x = pV->x;
    const float y = pV->y;
    const float z = pV->z;
    const float(&m)[4][4] = pM->m;
    const float w = x * m[0][3] + y * m[1][3] + z * m[2][3] + m[3][3];
    const float rx = x * m[0][0] + y * m[1][0] + z * m[2][0] + m[3][0];
    const float ry = x * m[0][1] + y * m[1][1] + z * m[2][1] + m[3][1];
    const float rz = x * m[0][2] + y * m[1][2] + z * m[2][2] + m[3][2];
    pOut->x = rx / w;
    pOut->y = ry / w;
    pOut->z = rz / w;
    return pOut;
}

HRESULT WINAPI D3DXComputeBoundingBox(const D3DXVECTOR3* pFirstPosition, DWORD NumVertices, DWORD dwStride,
                                      D3DXVECTOR3* pMin, D3DXVECTOR3* pMax) {
    if (pFirstPosition == nullptr || pMin == nullptr || pMax == nullptr || NumVertices == 0) {
        return kInvalidCall;
    }
    // Positions inside interleaved vertices need not be aligned: read them bytewise.
    const unsigned char* at = reinterpret_cast<const unsigned char*>(pFirstPosition);
    float p[3];
    std::memcpy(p, at, sizeof p);
    float lo[3] = {p[0], p[1], p[2]};
    float hi[3] = {p[0], p[1], p[2]};
    for (DWORD i = 1; i < NumVertices; ++i) {
        at += dwStride;
        std::memcpy(p, at, sizeof p);
        for (int k = 0; k < 3; ++k) {
            if (p[k] < lo[k]) lo[k] = p[k];
            if (p[k] > hi[k]) hi[k] = p[k];
        }
    }
    *pMin = D3DXVECTOR3(lo[0], lo[1], lo[2]);
    *pMax = D3DXVECTOR3(hi[0], hi[1], hi[2]);
    return S_OK;
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, FLOAT fovy, FLOAT Aspect, FLOAT zn, FLOAT zf) {
    const float yScale = 1.0f / std::tan(fovy / 2.0f);
    const float xScale = yScale / Aspect;
    const float depth = zf / (zf - zn);
    return SetRows(pOut, {xScale, 0, 0, 0, 0, yScale, 0, 0, 0, 0, depth, 1, 0, 0, -zn * depth, 0});
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoLH(D3DXMATRIX* pOut, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf) {
    const float depth = 1.0f / (zf - zn);
    return SetRows(pOut, {2.0f / w, 0, 0, 0, 0, 2.0f / h, 0, 0, 0, 0, depth, 0, 0, 0, zn / (zn - zf), 1});
}

namespace {

struct Vec3 {
    float x, y, z;
};

Vec3 Normalized(Vec3 v) {
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    // A zero vector stays zero rather than turning into NaNs.
    if (length == 0.0f) return v;
    return Vec3{v.x / length, v.y / length, v.z / length};
}

Vec3 Cross(Vec3 a, Vec3 b) { return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace

D3DXMATRIX* WINAPI D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye, const D3DXVECTOR3* pAt,
                                      const D3DXVECTOR3* pUp) {
    const Vec3 eye{pEye->x, pEye->y, pEye->z};
    const Vec3 zAxis = Normalized(Vec3{pAt->x - eye.x, pAt->y - eye.y, pAt->z - eye.z});
    const Vec3 xAxis = Normalized(Cross(Vec3{pUp->x, pUp->y, pUp->z}, zAxis));
    const Vec3 yAxis = Cross(zAxis, xAxis);
    return SetRows(pOut, {xAxis.x, yAxis.x, zAxis.x, 0,  //
                          xAxis.y, yAxis.y, zAxis.y, 0,  //
                          xAxis.z, yAxis.z, zAxis.z, 0,  //
                          -Dot(xAxis, eye), -Dot(yAxis, eye), -Dot(zAxis, eye), 1});
}
