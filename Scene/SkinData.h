// The bone data of one loaded mesh and the vertex groups of the four-wide blending kernel.
// Each vertex names a run of (bone, weight) influences; vertices with the same bone list
// (the same bones in the same order) form a group, and a group keeps its bind-pose
// positions, normals, tangents, binormals and weights as structure-of-arrays in 16-byte
// aligned blocks, padded to a multiple of four vertices, so that the kernel loads four
// vertices' components with one aligned load and never needs a scalar tail.
//
// The data comes from model files, so nothing is trusted: a vertex without an influence,
// an influence run that ends beyond the influence array, a bone index outside the bone
// names, per-vertex arrays of different lengths, or a vertex count that differs from the
// mesh's are refused before anything is built, and a failed allocation fails the build
// with no group left half made. A group owns its blocks: it can be moved, never copied.
#pragma once

#include "Core/Array.h"
#include "Core/Types.h"

#include <cstddef>

class FrameSequence;
class SkinData;

// One influence: a bone and its weight ("BoneWeights" holds these pairs, 8 bytes each).
struct BoneInfluence {
    i32 bone = 0;
    f32 weight = 0.0f;
};
static_assert(sizeof(BoneInfluence) == 8, "the pair layout of model files");

// A block of floats aligned to 16 bytes, freed with its owner. Move-only.
class AlignedFloats {
public:
    static constexpr std::size_t kAlignment = 16;

    AlignedFloats() = default;
    ~AlignedFloats() { Free(); }
    AlignedFloats(const AlignedFloats&) = delete;
    AlignedFloats& operator=(const AlignedFloats&) = delete;
    AlignedFloats(AlignedFloats&& other) noexcept;
    AlignedFloats& operator=(AlignedFloats&& other) noexcept;

    // n zeroed floats (the old block freed first); false, left empty, when memory runs
    // out or n floats would not fit in a size_t.
    bool Allocate(u64 n);
    void Free();

    f32* Data() { return data_; }
    const f32* Data() const { return data_; }
    u64 Count() const { return count_; }
    f32& operator[](u64 i) { return data_[i]; }
    f32 operator[](u64 i) const { return data_[i]; }

private:
    f32* data_ = nullptr;
    u64 count_ = 0;
};

class SkinGroup {
public:
    // The thirteen blocks: three components each of position, normal, tangent and
    // binormal, then the weights.
    enum Block : u32 {
        kPositionX, kPositionY, kPositionZ,
        kNormalX, kNormalY, kNormalZ,
        kTangentX, kTangentY, kTangentZ,
        kBinormalX, kBinormalY, kBinormalZ,
        kWeights,
        kBlockCount,
    };

    IntArray bones{0, 10};     // the bone list of every vertex of the group
    IntArray vertices{0, 10};  // vertex numbers, increasing, padded to a multiple of 4
    AlignedFloats blocks[kBlockCount];

    SkinGroup() = default;
    SkinGroup(SkinGroup&&) noexcept = default;
    SkinGroup& operator=(SkinGroup&&) noexcept = default;
    SkinGroup(const SkinGroup&) = delete;
    SkinGroup& operator=(const SkinGroup&) = delete;

    // Where the weight of bone slot `slot` for the vertex at `position` of the group lies
    // in the weight block: batches of four vertices, one run of four per bone.
    static u64 WeightIndex(u32 position, u32 slot, u32 boneCount) {
        return (position % 4) + 4ull * slot + 4ull * boneCount * (position / 4);
    }

    // Allocates and fills the blocks from the mesh's stream-0 vertices and the skin's
    // weights; the vertices must already be padded. False, with no block kept, when
    // memory runs out. The caller has checked the mesh and the skin (SkinData::Validate).
    bool FillComponents(const FrameSequence& mesh, const SkinData& skin);
};

class SkinData {
public:
    Array<SkinGroup> groups;
    IntArray firstInfluences;  // per vertex, its first entry in influences
    IntArray influenceCounts;  // per vertex, its number of influences
    Array<BoneInfluence> influences;
    StringArray boneNames;  // in bone-index order

    SkinData() = default;
    SkinData(const SkinData&) = delete;
    SkinData& operator=(const SkinData&) = delete;

    u32 VertexCount() const { return static_cast<u32>(influenceCounts.count); }

    // True when the per-vertex data is sound for the mesh: as many first influences and
    // influence counts as the mesh has vertices, every vertex with at least one influence,
    // every run inside the influence array, every bone index within the bone names, and a
    // FLOAT3 position (and any normal, tangent or binormal) inside the stream-0 stride.
    bool Validate(const FrameSequence& mesh) const;

    // Builds the groups in order of first appearance and fills their blocks. False, with
    // the groups as they were, for data Validate refuses or when memory runs out.
    bool BuildGroups(const FrameSequence& mesh);
};
