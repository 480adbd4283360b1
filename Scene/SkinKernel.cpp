// The SSE kernel is compiled for SSE whatever the build's target processor (the 32-bit
// build targets processors without it), and is only called where the processor has it.
#include "Scene/SkinKernel.h"

#include "D3d/FrameSequence.h"
#include "Scene/SkinData.h"

#include <xmmintrin.h>

#include <cfloat>
#include <cstring>
#include <new>

namespace {

constexpr u32 kFloat3 = 12;

// The offset of a FLOAT3 element of the bind pose in stream 0, -1 when it has none
// (the skin's validation has made sure that one it has lies inside the stride).
i32 SourceOffset(const FrameSequence& source, u8 usage) {
    return source.vertices.layout.GetUsageOffset(usage, 0);
}

bool Fits(i32 offset, u32 stride) { return offset < 0 || u64(offset) + kFloat3 <= stride; }

// The checks both kernels make before their first write.
bool Sound(const SkinBlendJob& job) {
    if (!job.skin || !job.source || !job.target) return false;
    const SkinData& skin = *job.skin;
    const u32 n = job.source->vertices.vertexCount;
    if (skin.VertexCount() != n || job.boneCount != u32(skin.boneNames.count)) return false;
    if (job.boneCount != 0 && !job.bones) return false;
    for (u32 b = 0; b < job.boneCount; ++b)
        if (!job.bones[b]) return false;
    if (n != 0 && !job.source->vertices.streams[0]) return false;
    if (job.targetStride == 0 || u64(job.targetStride) * n > job.targetBytes) return false;
    if (job.targetPosition < 0 || !Fits(job.targetPosition, job.targetStride)) return false;
    return Fits(job.targetNormal, job.targetStride) && Fits(job.targetTangent, job.targetStride) &&
           Fits(job.targetBinormal, job.targetStride);
}

// Which elements are written where: an element is written when it is blended and the
// target has it.
struct Writes {
    i32 position;
    i32 normal;
    i32 tangent;
    i32 binormal;

    explicit Writes(const SkinBlendJob& job)
        : position(job.targetPosition),
          normal(job.blendNormals ? job.targetNormal : -1),
          tangent(job.blendTangents ? job.targetTangent : -1),
          binormal(job.blendTangents ? job.targetBinormal : -1) {}
};

void Put(u8* vertex, i32 offset, const Vec3& v) {
    if (offset < 0) return;
    const f32 xyz[3] = {v.x, v.y, v.z};
    memcpy(vertex + offset, xyz, sizeof xyz);
}

Vec3 Get(const u8* vertex, i32 offset) {
    if (offset < 0) return Vec3();
    f32 xyz[3];
    memcpy(xyz, vertex + offset, sizeof xyz);
    return Vec3(xyz[0], xyz[1], xyz[2]);
}

// v x m with the divide by w (the point form of a row-vector transform).
Vec3 TransformCoord(const Vec3& v, const f32* m) {
    const f32 x = v.x * m[0] + v.y * m[4] + v.z * m[8] + m[12];
    const f32 y = v.x * m[1] + v.y * m[5] + v.z * m[9] + m[13];
    const f32 z = v.x * m[2] + v.y * m[6] + v.z * m[10] + m[14];
    const f32 w = v.x * m[3] + v.y * m[7] + v.z * m[11] + m[15];
    return Vec3(x / w, y / w, z / w);
}

// v x the upper 3x3 part of m.
Vec3 TransformNormal(const Vec3& v, const f32* m) {
    return Vec3(v.x * m[0] + v.y * m[4] + v.z * m[8], v.x * m[1] + v.y * m[5] + v.z * m[9],
                v.x * m[2] + v.y * m[6] + v.z * m[10]);
}

Vec3 Direction(const Vec3& v, const f32* m, bool renormalise) {
    Vec3 out = TransformNormal(v, m);
    if (renormalise) Vec3Normalize(out, out);
    return out;
}

// The scratch block of the SSE kernel: per bone, the first three columns of its matrix,
// each as a row of four floats, so that one row dotted with (x, y, z, 1) gives one
// component of the affine product.
class BoneRows {
public:
    explicit BoneRows(u32 bones)
        : rows_(static_cast<f32*>(::operator new(sizeof(f32) * 12 * (bones ? bones : 1), std::align_val_t(16),
                                                   std::nothrow))) {}
    ~BoneRows() {
        if (rows_) ::operator delete(rows_, std::align_val_t(16));
    }
    BoneRows(const BoneRows&) = delete;
    BoneRows& operator=(const BoneRows&) = delete;

    f32* Data() const { return rows_; }

private:
    f32* rows_;
};

// A group the SSE kernel can walk without reading past its blocks or its bones.
bool GroupFits(const SkinGroup& group, u32 boneCount, u32 vertexCount) {
    const u32 n = static_cast<u32>(group.vertices.count);
    const u32 bones = static_cast<u32>(group.bones.count);
    if (n % 4 != 0 || bones == 0) return n == 0;
    for (u32 b = 0; b < SkinGroup::kWeights; ++b)
        if (group.blocks[b].Count() < n) return false;
    if (group.blocks[SkinGroup::kWeights].Count() < u64(bones) * n) return false;
    for (u32 j = 0; j < bones; ++j)
        if (group.bones[static_cast<i32>(j)] < 0 || u32(group.bones[static_cast<i32>(j)]) >= boneCount) return false;
    for (u32 i = 0; i < n; ++i)
        if (group.vertices[static_cast<i32>(i)] < 0 || u32(group.vertices[static_cast<i32>(i)]) >= vertexCount)
            return false;
    return true;
}

struct Lanes {
    __m128 x, y, z;
};

__attribute__((target("sse"))) inline Lanes Affine(const __m128* b, __m128 x, __m128 y, __m128 z) {
    return Lanes{_mm_add_ps(_mm_add_ps(_mm_mul_ps(x, b[0]), _mm_mul_ps(y, b[1])), _mm_add_ps(_mm_mul_ps(z, b[2]), b[3])),
                 _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, b[4]), _mm_mul_ps(y, b[5])), _mm_add_ps(_mm_mul_ps(z, b[6]), b[7])),
                 _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, b[8]), _mm_mul_ps(y, b[9])), _mm_add_ps(_mm_mul_ps(z, b[10]), b[11]))};
}

__attribute__((target("sse"))) inline Lanes Linear(const __m128* b, __m128 x, __m128 y, __m128 z,
                                                   bool renormalise) {
    Lanes out{_mm_add_ps(_mm_add_ps(_mm_mul_ps(x, b[0]), _mm_mul_ps(y, b[1])), _mm_mul_ps(z, b[2])),
              _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, b[4]), _mm_mul_ps(y, b[5])), _mm_mul_ps(z, b[6])),
              _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, b[8]), _mm_mul_ps(y, b[9])), _mm_mul_ps(z, b[10]))};
    if (!renormalise) return out;
    const __m128 lengthSq =
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(out.x, out.x), _mm_mul_ps(out.y, out.y)), _mm_mul_ps(out.z, out.z));
    // The estimate of 1/sqrt(0) is infinite, and 0 x infinity is a NaN: lanes without a
    // usable length (zero, or too small to be a normal float) are made zero instead.
    const __m128 usable = _mm_cmpge_ps(lengthSq, _mm_set1_ps(FLT_MIN));
    const __m128 scale = _mm_and_ps(_mm_rsqrt_ps(lengthSq), usable);
    out.x = _mm_mul_ps(out.x, scale);
    out.y = _mm_mul_ps(out.y, scale);
    out.z = _mm_mul_ps(out.z, scale);
    return out;
}

__attribute__((target("sse"))) inline __m128 Load(const SkinGroup& group, u32 block, u32 step) {
    return _mm_load_ps(group.blocks[block].Data() + step);
}

__attribute__((target("sse"))) inline void Store(f32 (&lanes)[3][4], const Lanes& l) {
    _mm_store_ps(lanes[0], l.x);
    _mm_store_ps(lanes[1], l.y);
    _mm_store_ps(lanes[2], l.z);
}

}  // namespace

SkinKernel::Kind SkinKernel::Preferred(const SkinData& skin, bool processorHasSse) {
    return processorHasSse && (skin.groups.count != 0 || skin.VertexCount() == 0) ? kSse : kScalar;
}

bool SkinKernel::BlendScalar(const SkinBlendJob& job) {
    if (!Sound(job)) return false;
    const SkinData& skin = *job.skin;
    const FrameSequence& source = *job.source;
    const u32 n = source.vertices.vertexCount;
    const u32 sourceStride = source.vertices.Stride(0);
    const i32 sourcePosition = SourceOffset(source, D3DDECLUSAGE_POSITION);
    const i32 sourceNormal = SourceOffset(source, D3DDECLUSAGE_NORMAL);
    const i32 sourceTangent = SourceOffset(source, D3DDECLUSAGE_TANGENT);
    const i32 sourceBinormal = SourceOffset(source, D3DDECLUSAGE_BINORMAL);
    if (sourcePosition < 0 || !Fits(sourcePosition, sourceStride) || !Fits(sourceNormal, sourceStride) ||
        !Fits(sourceTangent, sourceStride) || !Fits(sourceBinormal, sourceStride))
        return false;
    const Writes writes(job);

    for (u32 v = 0; v < n; ++v) {
        const i32 first = skin.firstInfluences[static_cast<i32>(v)];
        const i32 count = skin.influenceCounts[static_cast<i32>(v)];
        const BoneInfluence* influence = &skin.influences[first];
        // One influence: its bone's matrix as it is; else the weighted sum, rounded to
        // floats after each step.
        f32 blended[16];
        const f32* m = job.bones[influence[0].bone]->m;
        if (count > 1) {
            for (u32 e = 0; e < 16; ++e) blended[e] = influence[0].weight * m[e];
            for (i32 k = 1; k < count; ++k) {
                const f32* mk = job.bones[influence[k].bone]->m;
                const f32 w = influence[k].weight;
                for (u32 e = 0; e < 16; ++e) blended[e] = blended[e] + w * mk[e];
            }
            m = blended;
        }
        const bool renormalise = count > 1;
        const u8* from = source.vertices.streams[0] + u64(v) * sourceStride;
        u8* to = job.target + u64(v) * job.targetStride;

        SkinVertex out;
        out.position = TransformCoord(Get(from, sourcePosition), m);
        Put(to, writes.position, out.position);
        if (job.blendNormals) {
            out.normal = Direction(Get(from, sourceNormal), m, renormalise);
            Put(to, writes.normal, out.normal);
        }
        if (job.blendTangents) {
            out.tangent = Direction(Get(from, sourceTangent), m, renormalise);
            out.binormal = Direction(Get(from, sourceBinormal), m, renormalise);
            Put(to, writes.tangent, out.tangent);
            Put(to, writes.binormal, out.binormal);
        }
        if (job.keep) {
            SkinVertex& kept = job.keep[v];
            kept.position = out.position;
            if (job.blendNormals) kept.normal = out.normal;
            if (job.blendTangents) {
                kept.tangent = out.tangent;
                kept.binormal = out.binormal;
            }
        }
    }
    return true;
}

// The blend keeps its SSE operands on the stack, which must then be 16-byte aligned; the
// 32-bit calling convention promises only 4, so the routine aligns its own frame rather
// than trust every caller (a thread's entry, a callback of the system) to have done it.
__attribute__((target("sse"), force_align_arg_pointer)) bool SkinKernel::BlendSse(const SkinBlendJob& job) {
    if (!Sound(job)) return false;
    const SkinData& skin = *job.skin;
    const u32 n = job.source->vertices.vertexCount;
    if (Preferred(skin, true) != kSse) return false;  // no vertex groups to walk
    for (const SkinGroup& group : skin.groups)
        if (!GroupFits(group, job.boneCount, n)) return false;

    BoneRows scratch(job.boneCount);
    f32* rows = scratch.Data();
    if (!rows) return false;
    for (u32 b = 0; b < job.boneCount; ++b) {
        const f32* m = job.bones[b]->m;
        for (u32 c = 0; c < 3; ++c)
            for (u32 r = 0; r < 4; ++r) rows[12 * b + 4 * c + r] = m[4 * r + c];
    }
    const Writes writes(job);

    for (const SkinGroup& group : skin.groups) {
        const u32 count = static_cast<u32>(group.vertices.count);
        const u32 bones = static_cast<u32>(group.bones.count);
        const bool renormalise = bones > 1;
        const f32* weights = group.blocks[SkinGroup::kWeights].Data();
        for (u32 step = 0; step < count; step += 4) {
            // The twelve elements of each lane's blend matrix, four lanes at a time.
            __m128 b[12];
            const f32* row = rows + 12 * u32(group.bones[0]);
            if (bones == 1) {
                for (u32 e = 0; e < 12; ++e) b[e] = _mm_set1_ps(row[e]);
            } else {
                const f32* w = weights + u64(step) * bones;
                const __m128 w0 = _mm_load_ps(w);
                for (u32 e = 0; e < 12; ++e) b[e] = _mm_mul_ps(w0, _mm_set1_ps(row[e]));
                for (u32 j = 1; j < bones; ++j) {
                    const __m128 wj = _mm_load_ps(w + 4 * j);
                    const f32* rj = rows + 12 * u32(group.bones[static_cast<i32>(j)]);
                    for (u32 e = 0; e < 12; ++e) b[e] = _mm_add_ps(b[e], _mm_mul_ps(wj, _mm_set1_ps(rj[e])));
                }
            }
            alignas(16) f32 lanes[4][3][4];  // element, component, lane
            const bool have[4] = {true, job.blendNormals, job.blendTangents, job.blendTangents};
            Store(lanes[0], Affine(b, Load(group, SkinGroup::kPositionX, step), Load(group, SkinGroup::kPositionY, step),
                                   Load(group, SkinGroup::kPositionZ, step)));
            if (have[1])
                Store(lanes[1], Linear(b, Load(group, SkinGroup::kNormalX, step), Load(group, SkinGroup::kNormalY, step),
                                       Load(group, SkinGroup::kNormalZ, step), renormalise));
            if (have[2]) {
                Store(lanes[2], Linear(b, Load(group, SkinGroup::kTangentX, step),
                                       Load(group, SkinGroup::kTangentY, step), Load(group, SkinGroup::kTangentZ, step),
                                       renormalise));
                Store(lanes[3], Linear(b, Load(group, SkinGroup::kBinormalX, step),
                                       Load(group, SkinGroup::kBinormalY, step),
                                       Load(group, SkinGroup::kBinormalZ, step), renormalise));
            }

            const i32 offsets[4] = {writes.position, writes.normal, writes.tangent, writes.binormal};
            for (u32 lane = 0; lane < 4; ++lane) {
                const u32 v = static_cast<u32>(group.vertices[static_cast<i32>(step + lane)]);
                u8* to = job.target + u64(v) * job.targetStride;
                Vec3 element[4];
                for (u32 k = 0; k < 4; ++k) {
                    if (!have[k]) continue;
                    element[k] = Vec3(lanes[k][0][lane], lanes[k][1][lane], lanes[k][2][lane]);
                    Put(to, offsets[k], element[k]);
                }
                if (job.keep) {
                    SkinVertex& kept = job.keep[v];
                    kept.position = element[0];
                    if (have[1]) kept.normal = element[1];
                    if (have[2]) {
                        kept.tangent = element[2];
                        kept.binormal = element[3];
                    }
                }
            }
        }
    }
    return true;
}
