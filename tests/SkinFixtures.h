// Skinned meshes for the kernel and skinned-mesh suites and the skinning benchmark: a bind
// pose in a chosen layout, each vertex's influences, the skin built from them, and bone
// matrices that tests set and move.
#pragma once

#include "Core/Matrix.h"
#include "Core/Types.h"
#include "Core/Vector.h"
#include "D3d/FrameSequence.h"
#include "Scene/SkinData.h"
#include "Scene/SkinKernel.h"

#include <d3d9.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace skinfixtures {

struct Influence {
    i32 bone;
    f32 weight;
};

struct SourceVertex {
    Vec3 position;
    Vec3 normal;
    Vec3 tangent;
    Vec3 binormal;
};

// POSITION, NORMAL, TEXCOORD (FLOAT2), TANGENT, BINORMAL: the 56-byte layout of the
// shipped skinned models.
inline VertexDeclaration FullLayout() {
    VertexDeclaration layout;
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BINORMAL, 0);
    return layout;
}

inline VertexDeclaration PositionNormalLayout() {
    VertexDeclaration layout;
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
    return layout;
}

// POSITION then a texture coordinate: a target that receives positions only.
inline VertexDeclaration PositionTexLayout() {
    VertexDeclaration layout;
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
    return layout;
}

inline Matrix Translation(f32 x, f32 y, f32 z) {
    Matrix m = IdentityMatrix;
    m.m[12] = x;
    m.m[13] = y;
    m.m[14] = z;
    m.kind = 0;
    return m;
}

// A rotation about z by radians, scaled by s, then moved by (x, y, z): an affine bone.
inline Matrix Affine(f32 radians, f32 s, f32 x, f32 y, f32 z) {
    Matrix m = Translation(x, y, z);
    const f32 c = std::cos(radians) * s;
    const f32 n = std::sin(radians) * s;
    m.m[0] = c;
    m.m[1] = n;
    m.m[4] = -n;
    m.m[5] = c;
    m.m[10] = s;
    return m;
}

inline Vec3 TransformPoint(const Vec3& v, const Matrix& m) {
    return Vec3(v.x * m.m[0] + v.y * m.m[4] + v.z * m.m[8] + m.m[12], v.x * m.m[1] + v.y * m.m[5] + v.z * m.m[9] + m.m[13],
                v.x * m.m[2] + v.y * m.m[6] + v.z * m.m[10] + m.m[14]);
}

inline Vec3 TransformDirection(const Vec3& v, const Matrix& m) {
    return Vec3(v.x * m.m[0] + v.y * m.m[4] + v.z * m.m[8], v.x * m.m[1] + v.y * m.m[5] + v.z * m.m[9],
                v.x * m.m[2] + v.y * m.m[6] + v.z * m.m[10]);
}

// A source mesh and its skin. The TEXCOORD of a full-layout vertex v is (v, -v).
class SkinModel {
public:
    FrameSequence mesh;
    SkinData skin;
    std::vector<Matrix> bones;

    SkinModel(const VertexDeclaration& layout, const std::vector<SourceVertex>& vertices,
              const std::vector<std::vector<Influence>>& influences, u32 boneCount) {
        const u32 n = u32(vertices.size());
        mesh.vertices.Reserve(n, layout);
        const u32 stride = mesh.vertices.Stride(0);
        auto put = [&](u32 v, u8 usage, const Vec3& value) {
            const int offset = layout.GetUsageOffset(usage, 0);
            if (offset < 0) return;
            const f32 xyz[3] = {value.x, value.y, value.z};
            std::memcpy(mesh.vertices.streams[0] + size_t(v) * stride + offset, xyz, sizeof xyz);
        };
        for (u32 v = 0; v < n; ++v) {
            put(v, D3DDECLUSAGE_POSITION, vertices[v].position);
            put(v, D3DDECLUSAGE_NORMAL, vertices[v].normal);
            put(v, D3DDECLUSAGE_TANGENT, vertices[v].tangent);
            put(v, D3DDECLUSAGE_BINORMAL, vertices[v].binormal);
            const int tex = layout.GetUsageOffset(D3DDECLUSAGE_TEXCOORD, 0);
            if (tex >= 0) {
                const f32 uv[2] = {f32(v), -f32(v)};
                std::memcpy(mesh.vertices.streams[0] + size_t(v) * stride + tex, uv, sizeof uv);
            }
        }
        mesh.ComputeBounds();
        skin.boneNames.Resize(i32(boneCount));
        for (u32 b = 0; b < boneCount; ++b) skin.boneNames[i32(b)] = String(("bone" + std::to_string(b)).c_str());
        skin.firstInfluences.Resize(i32(n));
        skin.influenceCounts.Resize(i32(n));
        size_t total = 0;
        for (const std::vector<Influence>& list : influences) total += list.size();
        skin.influences.Resize(i32(total));
        i32 next = 0;
        for (u32 v = 0; v < n; ++v) {
            skin.firstInfluences[i32(v)] = next;
            skin.influenceCounts[i32(v)] = i32(influences[v].size());
            for (const Influence& i : influences[v]) skin.influences[next++] = {i.bone, i.weight};
        }
        bones.assign(boneCount, IdentityMatrix);
        built = skin.BuildGroups(mesh);
    }

    std::vector<const Matrix*> BonePointers() const {
        std::vector<const Matrix*> out;
        for (const Matrix& m : bones) out.push_back(&m);
        return out;
    }

    bool built = false;
};

// n vertices with four influences each over `boneCount` bones, weights summing to 1,
// grouped the way shipped meshes are: runs of neighbouring vertices share their bones.
inline SkinModel* FourInfluenceModel(u32 n, u32 boneCount, u32 seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<f32> unit(-1.0f, 1.0f);
    std::vector<SourceVertex> vertices(n);
    std::vector<std::vector<Influence>> influences(n);
    std::vector<i32> run;
    for (u32 v = 0; v < n; ++v) {
        vertices[v].position = Vec3(10.0f * unit(rng), 10.0f * unit(rng), 10.0f * unit(rng));
        vertices[v].normal = Vec3(0.0f, 0.0f, 1.0f);
        vertices[v].tangent = Vec3(1.0f, 0.0f, 0.0f);
        vertices[v].binormal = Vec3(0.0f, 1.0f, 0.0f);
        if (v % 64 == 0) {
            run.clear();
            for (u32 k = 0; k < 4; ++k) run.push_back(i32((v / 64 + 7 * k) % boneCount));
        }
        const f32 a = 0.1f + 0.4f * (unit(rng) + 1.0f) / 2.0f;
        const f32 b = 0.1f + 0.2f * (unit(rng) + 1.0f) / 2.0f;
        const f32 c = 0.1f;
        influences[v] = {{run[0], a}, {run[1], b}, {run[2], c}, {run[3], 1.0f - a - b - c}};
    }
    SkinModel* model = new SkinModel(FullLayout(), vertices, influences, boneCount);
    for (u32 b = 0; b < boneCount; ++b) model->bones[b] = Affine(0.1f * f32(b), 1.0f, f32(b), 0.5f * f32(b), 0.0f);
    return model;
}

}  // namespace skinfixtures
