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

D3DXMATRIX* WINAPI D3DXMatrixInverse(D3DXMATRIX* pOut, FLOAT* pDeterminant, const D3DXMATRIX* pM) {
    // Cofactor expansion through the 2x2 minors of the upper and lower row pairs, in
    // double precision so that a well-conditioned matrix comes back to float exactly.
    double a[16];
    for (int i = 0; i < 16; ++i) a[i] = pM->m[i / 4][i % 4];
    const double s0 = a[0] * a[5] - a[4] * a[1];
    const double s1 = a[0] * a[6] - a[4] * a[2];
    const double s2 = a[0] * a[7] - a[4] * a[3];
    const double s3 = a[1] * a[6] - a[5] * a[2];
    const double s4 = a[1] * a[7] - a[5] * a[3];
    const double s5 = a[2] * a[7] - a[6] * a[3];
    const double c5 = a[10] * a[15] - a[14] * a[11];
    const double c4 = a[9] * a[15] - a[13] * a[11];
    const double c3 = a[9] * a[14] - a[13] * a[10];
    const double c2 = a[8] * a[15] - a[12] * a[11];
    const double c1 = a[8] * a[14] - a[12] * a[10];
    const double c0 = a[8] * a[13] - a[12] * a[9];
    const double det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    // A zero determinant, or one too small for float, leaves no inverse to give; then
    // neither output is written.
    if (det == 0.0 || !std::isfinite(1.0 / det) || static_cast<float>(det) == 0.0f) return nullptr;
    if (pDeterminant) *pDeterminant = static_cast<float>(det);
    const double k = 1.0 / det;
    const double r[16] = {
        (a[5] * c5 - a[6] * c4 + a[7] * c3) * k,    (-a[1] * c5 + a[2] * c4 - a[3] * c3) * k,
        (a[13] * s5 - a[14] * s4 + a[15] * s3) * k, (-a[9] * s5 + a[10] * s4 - a[11] * s3) * k,
        (-a[4] * c5 + a[6] * c2 - a[7] * c1) * k,   (a[0] * c5 - a[2] * c2 + a[3] * c1) * k,
        (-a[12] * s5 + a[14] * s2 - a[15] * s1) * k, (a[8] * s5 - a[10] * s2 + a[11] * s1) * k,
        (a[4] * c4 - a[5] * c2 + a[7] * c0) * k,    (-a[0] * c4 + a[1] * c2 - a[3] * c0) * k,
        (a[12] * s4 - a[13] * s2 + a[15] * s0) * k, (-a[8] * s4 + a[9] * s2 - a[11] * s0) * k,
        (-a[4] * c3 + a[5] * c1 - a[6] * c0) * k,   (a[0] * c3 - a[1] * c1 + a[2] * c0) * k,
        (-a[12] * s3 + a[13] * s1 - a[14] * s0) * k, (a[8] * s3 - a[9] * s1 + a[10] * s0) * k,
    };
    for (int i = 0; i < 16; ++i) pOut->m[i / 4][i % 4] = static_cast<float>(r[i]);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationQuaternion(D3DXMATRIX* pOut, const D3DXQUATERNION* pQ) {
    const float x = pQ->x;
    const float y = pQ->y;
    const float z = pQ->z;
    const float w = pQ->w;
    return SetRows(pOut, {1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y + z * w), 2.0f * (x * z - y * w), 0,  //
                          2.0f * (x * y - z * w), 1.0f - 2.0f * (x * x + z * z), 2.0f * (y * z + x * w), 0,  //
                          2.0f * (x * z + y * w), 2.0f * (y * z - x * w), 1.0f - 2.0f * (x * x + y * y), 0,  //
                          0, 0, 0, 1});
}

D3DXQUATERNION* WINAPI D3DXQuaternionRotationMatrix(D3DXQUATERNION* pOut, const D3DXMATRIX* pM) {
    // The component of largest magnitude is found from the diagonal and taken from a
    // square root; the others follow from sums and differences of the off-diagonal pairs
    // divided by it, so nothing is divided by a number near zero.
    const float(&m)[4][4] = pM->m;
    const float trace = m[0][0] + m[1][1] + m[2][2];
    float x, y, z, w;
    if (trace > 0.0f) {
        const float s = 2.0f * std::sqrt(trace + 1.0f);
        w = 0.25f * s;
        x = (m[1][2] - m[2][1]) / s;
        y = (m[2][0] - m[0][2]) / s;
        z = (m[0][1] - m[1][0]) / s;
    } else if (m[0][0] >= m[1][1] && m[0][0] >= m[2][2]) {
        const float s = 2.0f * std::sqrt(1.0f + m[0][0] - m[1][1] - m[2][2]);
        x = 0.25f * s;
        y = (m[0][1] + m[1][0]) / s;
        z = (m[0][2] + m[2][0]) / s;
        w = (m[1][2] - m[2][1]) / s;
    } else if (m[1][1] >= m[2][2]) {
        const float s = 2.0f * std::sqrt(1.0f + m[1][1] - m[0][0] - m[2][2]);
        x = (m[0][1] + m[1][0]) / s;
        y = 0.25f * s;
        z = (m[1][2] + m[2][1]) / s;
        w = (m[2][0] - m[0][2]) / s;
    } else {
        const float s = 2.0f * std::sqrt(1.0f + m[2][2] - m[0][0] - m[1][1]);
        x = (m[0][2] + m[2][0]) / s;
        y = (m[1][2] + m[2][1]) / s;
        z = 0.25f * s;
        w = (m[0][1] - m[1][0]) / s;
    }
    *pOut = D3DXQUATERNION(x, y, z, w);
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionSlerp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                           const D3DXQUATERNION* pQ2, FLOAT t) {
    // Below this distance of the cosine from 1 the arc is too short for sin(theta) to
    // divide by: the chord and the arc agree to float precision, so the weights are linear.
    constexpr float kLinearBelow = 0.001f;
    float cosine = D3DXQuaternionDot(pQ1, pQ2);
    float sign = 1.0f;
    if (cosine < 0.0f) {
        // q and -q are the same rotation; the other one lies on the shorter arc.
        sign = -1.0f;
        cosine = -cosine;
    }
    float w1 = 1.0f - t;
    float w2 = t;
    if (1.0f - cosine > kLinearBelow) {
        const float theta = std::acos(cosine);
        const float inverseSine = 1.0f / std::sin(theta);
        w1 = std::sin((1.0f - t) * theta) * inverseSine;
        w2 = std::sin(t * theta) * inverseSine;
    }
    w2 *= sign;
    const D3DXQUATERNION a = *pQ1;
    const D3DXQUATERNION b = *pQ2;
    *pOut = D3DXQUATERNION(w1 * a.x + w2 * b.x, w1 * a.y + w2 * b.y, w1 * a.z + w2 * b.z, w1 * a.w + w2 * b.w);
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionNormalize(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ) {
    const double lengthSq = double(pQ->x) * pQ->x + double(pQ->y) * pQ->y + double(pQ->z) * pQ->z +
                            double(pQ->w) * pQ->w;
    if (lengthSq == 0.0) {
        *pOut = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 0.0f);
        return pOut;
    }
    const double inv = 1.0 / std::sqrt(lengthSq);
    *pOut = D3DXQUATERNION(float(pQ->x * inv), float(pQ->y * inv), float(pQ->z * inv), float(pQ->w * inv));
    return pOut;
}
