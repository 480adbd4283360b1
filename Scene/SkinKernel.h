// The two vertex-blending kernels of skinned meshes. Both turn the bind-pose vertices of a
// mesh into the pose that its bones' current matrices give, and write the result into
// locked vertex memory of another layout (and, when asked, into a kept copy of the pose).
//
// The scalar kernel goes vertex by vertex through the mesh's interleaved vertices: the
// position with the whole 4x4 blend matrix and the divide by w, normals, tangents and
// binormals with its 3x3 part and an exact renormalisation. The SSE kernel goes through
// the skin's vertex groups four vertices at a time, from the groups' aligned
// structure-of-arrays copies of the bind pose: the position with the 3x4 part only (no
// divide), the directions renormalised with the instruction set's approximate reciprocal
// square root. With bones whose fourth column is (0, 0, 0, 1) and weights that sum to 1
// both give the same pose up to rounding; with another weight sum s, the scalar kernel's
// positions are the SSE kernel's divided by s, and that difference is kept.
//
// One influence uses its bone's matrix as it is: the weight is ignored and the directions
// are not renormalised. A blended direction of zero length stays zero in both kernels
// (the SSE kernel also writes zero for lengths below the smallest normal float, where its
// reciprocal square root has no finite answer), so no kernel ever writes a NaN for one.
//
// Nothing is written outside the job's target: a target too small for the mesh's vertices,
// an element that does not fit inside the stride, a missing bone matrix or a group that
// does not match its bones refuses the whole job before the first write.
#pragma once

#include "Core/Matrix.h"
#include "Core/Types.h"
#include "Core/Vector.h"

class FrameSequence;
class SkinData;

// One vertex of a kept pose: the blended elements in this order.
struct SkinVertex {
    Vec3 position;
    Vec3 normal;
    Vec3 tangent;
    Vec3 binormal;
};
static_assert(sizeof(SkinVertex) == 48, "four three-float elements");

// What one blend reads and where it writes.
struct SkinBlendJob {
    // The skin must have passed SkinData::Validate against the source; the SSE kernel
    // also needs its vertex groups (SkinData::BuildGroups).
    const SkinData* skin = nullptr;
    const FrameSequence* source = nullptr;  // the bind pose, FLOAT3 elements in stream 0
    const Matrix* const* bones = nullptr;   // one matrix per bone name of the skin
    u32 boneCount = 0;

    u8* target = nullptr;  // locked vertex memory, vertex v at v x stride
    u64 targetBytes = 0;   // its size: at least the source's vertex count x stride
    u32 targetStride = 0;
    // Byte offsets of the FLOAT3 elements written in the target vertex; -1 for none. The
    // position is always written; the others only when their element is blended.
    i32 targetPosition = 0;
    i32 targetNormal = -1;
    i32 targetTangent = -1;
    i32 targetBinormal = -1;

    bool blendNormals = false;   // blend the normal (zero when the source has none)
    bool blendTangents = false;  // blend tangent and binormal (likewise)
    SkinVertex* keep = nullptr;  // the source's vertex count of records, or null
};

class SkinKernel {
public:
    enum Kind : u8 {
        kScalar,
        kSse,
    };

    // Blends every vertex of the source; false, with nothing written, for a job that
    // would read or write out of bounds (see the file's notes).
    static bool BlendScalar(const SkinBlendJob& job);
    static bool BlendSse(const SkinBlendJob& job);
    static bool Blend(Kind kind, const SkinBlendJob& job) {
        return kind == kSse ? BlendSse(job) : BlendScalar(job);
    }
    // The kernel the processor allows for the skin: SSE when the processor has it and the
    // skin has its vertex groups, else the scalar kernel.
    static Kind Preferred(const SkinData& skin, bool processorHasSse);
};
