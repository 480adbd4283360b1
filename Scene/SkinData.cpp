#include "Scene/SkinData.h"

#include "Core/OrderedMap.h"
#include "D3d/FrameSequence.h"

#include <new>
#include <stdint.h>
#include <string.h>
#include <utility>

AlignedFloats::AlignedFloats(AlignedFloats&& other) noexcept : data_(other.data_), count_(other.count_) {
    other.data_ = nullptr;
    other.count_ = 0;
}

AlignedFloats& AlignedFloats::operator=(AlignedFloats&& other) noexcept {
    if (this != &other) {
        Free();
        data_ = other.data_;
        count_ = other.count_;
        other.data_ = nullptr;
        other.count_ = 0;
    }
    return *this;
}

bool AlignedFloats::Allocate(u64 n) {
    Free();
    if (n > SIZE_MAX / sizeof(f32)) return false;
    const std::size_t bytes = static_cast<std::size_t>(n ? n : 1) * sizeof(f32);
    void* block = ::operator new(bytes, std::align_val_t(kAlignment), std::nothrow);
    if (!block) return false;
    memset(block, 0, bytes);
    data_ = static_cast<f32*>(block);
    count_ = n;
    return true;
}

void AlignedFloats::Free() {
    if (data_) ::operator delete(data_, std::align_val_t(kAlignment));
    data_ = nullptr;
    count_ = 0;
}

namespace {

// Bone lists: fewer bones first, then bone by bone as signed numbers.
struct BoneListOrder {
    int operator()(const IntArray& a, const IntArray& b) const {
        if (a.count != b.count) return a.count < b.count ? -1 : 1;
        for (i32 i = 0; i < a.count; ++i)
            if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
        return 0;
    }
};
using BoneSetMap = OrderedMap<IntArray, u32, BoneListOrder>;

// The offset of a FLOAT3 element of stream 0 whose 12 bytes lie inside the stride, -1
// when the layout has none; -2 when it has one that is not usable that way.
int Float3Offset(const VertexDeclaration& layout, u8 usage, u32 stride) {
    const int at = layout.FindUsage(usage, 0);
    if (at < 0) return -1;
    const D3DVERTEXELEMENT9& e = layout.elements[at];
    if (e.Stream != 0 || e.Type != D3DDECLTYPE_FLOAT3 || u32(e.Offset) + 12 > stride) return -2;
    return e.Offset;
}

constexpr u8 kComponentUsages[4] = {D3DDECLUSAGE_POSITION, D3DDECLUSAGE_NORMAL, D3DDECLUSAGE_TANGENT,
                                    D3DDECLUSAGE_BINORMAL};

}  // namespace

bool SkinData::Validate(const FrameSequence& mesh) const {
    const i32 n = influenceCounts.count;
    if (firstInfluences.count != n || u32(n) != mesh.vertices.vertexCount) return false;
    if (n > 0 && !mesh.vertices.streams[0]) return false;
    const u32 stride = mesh.vertices.Stride(0);
    if (Float3Offset(mesh.vertices.layout, D3DDECLUSAGE_POSITION, stride) < 0) return false;
    for (u32 c = 1; c < 4; ++c)
        if (Float3Offset(mesh.vertices.layout, kComponentUsages[c], stride) == -2) return false;
    for (i32 v = 0; v < n; ++v) {
        const i64 first = firstInfluences[v];
        const i64 count = influenceCounts[v];
        // Both kernels read a vertex's first influence.
        if (count < 1 || first < 0 || first + count > influences.count) return false;
        for (i64 j = first; j < first + count; ++j) {
            const i32 bone = influences[static_cast<i32>(j)].bone;
            if (bone < 0 || bone >= boneNames.count) return false;
        }
    }
    return true;
}

bool SkinGroup::FillComponents(const FrameSequence& mesh, const SkinData& skin) {
    const u32 n = static_cast<u32>(vertices.count);
    const u32 boneCount = static_cast<u32>(bones.count);
    for (u32 b = 0; b < kWeights; ++b)
        if (!blocks[b].Allocate(n)) {
            for (AlignedFloats& block : blocks) block.Free();
            return false;
        }
    if (!blocks[kWeights].Allocate(u64(boneCount) * n)) {
        for (AlignedFloats& block : blocks) block.Free();
        return false;
    }

    const u32 stride = mesh.vertices.Stride(0);
    int offsets[4];
    for (u32 c = 0; c < 4; ++c) offsets[c] = Float3Offset(mesh.vertices.layout, kComponentUsages[c], stride);
    const u8* data = mesh.vertices.streams[0];
    f32* weights = blocks[kWeights].Data();
    for (u32 i = 0; i < n; ++i) {
        const i32 v = vertices[static_cast<i32>(i)];
        const i32 first = skin.firstInfluences[v];
        for (u32 j = 0; j < boneCount; ++j)
            weights[WeightIndex(i, j, boneCount)] = skin.influences[first + static_cast<i32>(j)].weight;
        const u8* vertex = data + static_cast<std::size_t>(v) * stride;
        // Missing normals, tangents and binormals stay at the blocks' zeros.
        for (u32 c = 0; c < 4; ++c) {
            if (offsets[c] < 0) continue;
            f32 xyz[3];
            memcpy(xyz, vertex + offsets[c], sizeof xyz);
            for (u32 k = 0; k < 3; ++k) blocks[3 * c + k][i] = xyz[k];
        }
    }
    return true;
}

// Two passes: the first finds each vertex's group and counts the groups' vertices, the
// second sizes each vertex list once and fills it, so a big group is not regrown ten
// entries at a time.
bool SkinData::BuildGroups(const FrameSequence& mesh) {
    if (!Validate(mesh)) return false;
    Array<SkinGroup> built;
    BoneSetMap map;
    IntArray key;
    const i32 n = influenceCounts.count;
    IntArray groupOf(n);
    IntArray sizes;
    if (groupOf.count != n) return false;
    for (i32 v = 0; v < n; ++v) {
        const i32 first = firstInfluences[v];
        const i32 count = influenceCounts[v];
        // Neighbouring vertices mostly share their bones: then the last answer holds.
        bool same = v > 0 && count == key.count;
        for (i32 j = 0; same && j < count; ++j) same = key[j] == influences[first + j].bone;
        if (same) {
            groupOf[v] = groupOf[v - 1];
            ++sizes[groupOf[v]];
            continue;
        }
        if (!key.Resize(count)) return false;
        for (i32 j = 0; j < count; ++j) key[j] = influences[first + j].bone;
        BoneSetMap::Node* node = map.Find(key);
        if (!node) {
            node = map.Insert(key, static_cast<u32>(built.count));
            if (!node) return false;
            SkinGroup* group = built.At(built.count);
            i32* size = sizes.At(sizes.count);
            if (!group || !size || !group->bones.Resize(count)) return false;
            for (i32 j = 0; j < count; ++j) group->bones[j] = key[j];
        }
        groupOf[v] = static_cast<i32>(node->value);
        ++sizes[groupOf[v]];
    }
    // Each list padded to whole batches of four with its last vertex, so the kernel's
    // last step writes that vertex again instead of reading past the group.
    for (i32 g = 0; g < built.count; ++g) {
        if (!built[g].vertices.Resize((sizes[g] + 3) / 4 * 4)) return false;
        sizes[g] = 0;
    }
    for (i32 v = 0; v < n; ++v) built[groupOf[v]].vertices[sizes[groupOf[v]]++] = v;
    for (i32 g = 0; g < built.count; ++g) {
        SkinGroup& group = built[g];
        for (i32 i = sizes[g]; i < group.vertices.count; ++i) group.vertices[i] = group.vertices[sizes[g] - 1];
        if (!group.FillComponents(mesh, *this)) return false;
    }
    groups = std::move(built);
    return true;
}
