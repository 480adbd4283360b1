// Skin data: vertex groups by bone list in order of first use, padding to whole batches of
// four, the weight layout of the four-wide kernel, the bind-pose blocks, and the refusal
// of influence data that would make the build read outside its arrays.
#include "D3d/FrameSequence.h"
#include "Scene/SkinData.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace {

static_assert(!std::is_copy_constructible_v<SkinGroup>, "a group owns its blocks");
static_assert(!std::is_copy_assignable_v<SkinGroup>, "a group owns its blocks");
static_assert(std::is_nothrow_move_constructible_v<SkinGroup>);

struct Influence {
    std::vector<i32> bones;
};

// A mesh of n vertices with FLOAT3 positions (x = vertex number, y = 10 x, z = -x) and,
// when asked, normals, tangents and binormals of their own values; a skin whose vertex v
// has the bones lists[v], each with weight 0.1 x (slot + 1) + v.
class SkinFixture {
public:
    FrameSequence mesh;
    SkinData skin;

    SkinFixture(const std::vector<std::vector<i32>>& lists, bool frame, i32 boneCount = 16) {
        VertexDeclaration layout;
        layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
        if (frame) {
            layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
            layout.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
            layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0);
            layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BINORMAL, 0);
        } else {
            layout.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
        }
        const u32 n = u32(lists.size());
        EXPECT_TRUE(mesh.vertices.Reserve(n, layout));
        const u32 stride = mesh.vertices.Stride(0);
        for (u32 v = 0; v < n; ++v) {
            f32* f = reinterpret_cast<f32*>(mesh.vertices.streams[0] + size_t(v) * stride);
            for (u32 k = 0; k < stride / 4; ++k) f[k] = 1000.0f * f32(k) + f32(v);
            f[0] = f32(v);
            f[1] = 10.0f * f32(v);
            f[2] = -f32(v);
        }
        skin.boneNames.Resize(boneCount);
        skin.firstInfluences.Resize(i32(n));
        skin.influenceCounts.Resize(i32(n));
        for (u32 v = 0; v < n; ++v) {
            skin.firstInfluences[i32(v)] = skin.influences.count;
            skin.influenceCounts[i32(v)] = i32(lists[v].size());
            for (size_t j = 0; j < lists[v].size(); ++j) {
                BoneInfluence* slot = skin.influences.At(skin.influences.count);
                slot->bone = lists[v][j];
                slot->weight = 0.1f * f32(j + 1) + f32(v);
            }
        }
    }
};

std::vector<i32> Vertices(const SkinGroup& g) { return std::vector<i32>(g.vertices.begin(), g.vertices.end()); }
std::vector<i32> Bones(const SkinGroup& g) { return std::vector<i32>(g.bones.begin(), g.bones.end()); }

TEST(SkinData, FiveVerticesPadToEightRepeatingTheLast) {
    SkinFixture f({{2}, {2}, {2}, {2}, {2}}, true);
    ASSERT_TRUE(f.skin.BuildGroups(f.mesh));
    ASSERT_EQ(f.skin.groups.count, 1);
    const SkinGroup& g = f.skin.groups[0];
    EXPECT_EQ(Vertices(g), (std::vector<i32>{0, 1, 2, 3, 4, 4, 4, 4}));
    for (u32 i = 5; i < 8; ++i) {
        EXPECT_EQ(g.blocks[SkinGroup::kPositionX][i], 4.0f);
        EXPECT_EQ(g.blocks[SkinGroup::kPositionY][i], 40.0f);
        EXPECT_EQ(g.blocks[SkinGroup::kWeights][i], g.blocks[SkinGroup::kWeights][4]);
    }
}

TEST(SkinData, FourVerticesStayFour) {
    SkinFixture f({{1, 3}, {1, 3}, {1, 3}, {1, 3}}, true);
    ASSERT_TRUE(f.skin.BuildGroups(f.mesh));
    ASSERT_EQ(f.skin.groups.count, 1);
    EXPECT_EQ(Vertices(f.skin.groups[0]), (std::vector<i32>{0, 1, 2, 3}));
    EXPECT_EQ(f.skin.groups[0].blocks[SkinGroup::kPositionX].Count(), 4u);
    EXPECT_EQ(f.skin.groups[0].blocks[SkinGroup::kWeights].Count(), 8u);
}

TEST(SkinData, BoneListsInAnotherOrderMakeGroupsInOrderOfFirstUse) {
    SkinFixture f({{7, 3}, {3, 7}, {7, 3}, {5}, {3, 7}}, false);
    ASSERT_TRUE(f.skin.BuildGroups(f.mesh));
    ASSERT_EQ(f.skin.groups.count, 3);
    EXPECT_EQ(Bones(f.skin.groups[0]), (std::vector<i32>{7, 3}));  // vertex 0's
    EXPECT_EQ(Vertices(f.skin.groups[0]), (std::vector<i32>{0, 2, 2, 2}));
    EXPECT_EQ(Bones(f.skin.groups[1]), (std::vector<i32>{3, 7}));
    EXPECT_EQ(Vertices(f.skin.groups[1]), (std::vector<i32>{1, 4, 4, 4}));
    EXPECT_EQ(Bones(f.skin.groups[2]), (std::vector<i32>{5}));
    EXPECT_EQ(Vertices(f.skin.groups[2]), (std::vector<i32>{3, 3, 3, 3}));
}

TEST(SkinData, WeightsLieInBatchesOfFourPerBone) {
    EXPECT_EQ(SkinGroup::WeightIndex(5, 0, 2), 9u);
    EXPECT_EQ(SkinGroup::WeightIndex(5, 1, 2), 13u);
    EXPECT_EQ(SkinGroup::WeightIndex(0, 1, 2), 4u);
    EXPECT_EQ(SkinGroup::WeightIndex(7, 2, 3), 3u + 8u + 12u);

    std::vector<std::vector<i32>> lists(6, std::vector<i32>{4, 9});
    SkinFixture f(lists, false);
    ASSERT_TRUE(f.skin.BuildGroups(f.mesh));
    const SkinGroup& g = f.skin.groups[0];
    ASSERT_EQ(g.vertices.count, 8);
    // Vertex 5 sits at position 5: its two weights at 9 and 13.
    EXPECT_FLOAT_EQ(g.blocks[SkinGroup::kWeights][9], 5.1f);
    EXPECT_FLOAT_EQ(g.blocks[SkinGroup::kWeights][13], 5.2f);
    EXPECT_FLOAT_EQ(g.blocks[SkinGroup::kWeights][1], 1.1f);
    EXPECT_FLOAT_EQ(g.blocks[SkinGroup::kWeights][5], 1.2f);
}

TEST(SkinData, BlocksHoldTheBindPoseAndAreAligned) {
    SkinFixture f({{0}, {0}, {0}}, true);
    ASSERT_TRUE(f.skin.BuildGroups(f.mesh));
    const SkinGroup& g = f.skin.groups[0];
    for (const AlignedFloats& block : g.blocks)
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block.Data()) % 16, 0u);
    const u32 stride = f.mesh.vertices.Stride(0);
    for (u32 i = 0; i < 3; ++i) {
        const f32* v = reinterpret_cast<const f32*>(f.mesh.vertices.streams[0] + size_t(i) * stride);
        EXPECT_EQ(g.blocks[SkinGroup::kPositionZ][i], -f32(i));
        EXPECT_EQ(g.blocks[SkinGroup::kNormalX][i], v[3]);
        EXPECT_EQ(g.blocks[SkinGroup::kNormalZ][i], v[5]);
        EXPECT_EQ(g.blocks[SkinGroup::kTangentX][i], v[8]);
        EXPECT_EQ(g.blocks[SkinGroup::kBinormalZ][i], v[13]);
    }
}

TEST(SkinData, WithoutNormalTangentAndBinormalTheirBlocksAreZero) {
    SkinFixture f({{1}, {1}, {1}, {1}, {1}}, false);
    ASSERT_TRUE(f.skin.BuildGroups(f.mesh));
    const SkinGroup& g = f.skin.groups[0];
    for (u32 b = SkinGroup::kNormalX; b <= SkinGroup::kBinormalZ; ++b)
        for (u32 i = 0; i < 8; ++i) EXPECT_EQ(g.blocks[b][i], 0.0f) << b << " " << i;
    EXPECT_EQ(g.blocks[SkinGroup::kPositionY][2], 20.0f);
}

TEST(SkinData, GroupsMoveTheirBlocksWithoutCopying) {
    SkinFixture f({{1}, {1}}, false);
    ASSERT_TRUE(f.skin.BuildGroups(f.mesh));
    const f32* before = f.skin.groups[0].blocks[SkinGroup::kPositionX].Data();
    SkinGroup moved(std::move(f.skin.groups[0]));
    EXPECT_EQ(moved.blocks[SkinGroup::kPositionX].Data(), before);
    EXPECT_EQ(f.skin.groups[0].blocks[SkinGroup::kPositionX].Data(), nullptr);
}

// Each row: what is wrong with the data, and the change that makes it so.
struct Hostile {
    const char* what;
    void (*spoil)(SkinFixture&);
};

const Hostile kHostile[] = {
    {"a vertex without influence", [](SkinFixture& f) { f.skin.influenceCounts[1] = 0; }},
    {"a negative influence count", [](SkinFixture& f) { f.skin.influenceCounts[1] = -3; }},
    {"a run past the influences", [](SkinFixture& f) { f.skin.influenceCounts[2] = 5; }},
    {"a first influence past the end", [](SkinFixture& f) { f.skin.firstInfluences[0] = 100000; }},
    {"a negative first influence", [](SkinFixture& f) { f.skin.firstInfluences[0] = -1; }},
    {"a run that overflows", [](SkinFixture& f) {
         f.skin.firstInfluences[0] = INT32_MAX;
         f.skin.influenceCounts[0] = INT32_MAX;
     }},
    {"a bone at the bone count", [](SkinFixture& f) { f.skin.influences[2].bone = 16; }},
    {"a negative bone", [](SkinFixture& f) { f.skin.influences[0].bone = -1; }},
    {"fewer first influences than vertices", [](SkinFixture& f) { f.skin.firstInfluences.Resize(2); }},
    {"more influence counts than vertices", [](SkinFixture& f) { f.skin.influenceCounts.Resize(4); }},
    {"no position", [](SkinFixture& f) {
         VertexDeclaration layout;
         layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
         f.mesh.vertices.layout = layout;
     }},
};

TEST(SkinData, HostileInfluencesAreRefused) {
    for (const Hostile& row : kHostile) {
        SCOPED_TRACE(row.what);
        SkinFixture f({{1, 2}, {3}, {4}}, true);
        ASSERT_TRUE(f.skin.Validate(f.mesh));
        row.spoil(f);
        EXPECT_FALSE(f.skin.Validate(f.mesh));
        EXPECT_FALSE(f.skin.BuildGroups(f.mesh));
        EXPECT_EQ(f.skin.groups.count, 0);
    }
}

TEST(SkinData, ARefusedRebuildKeepsTheGroupsBuiltBefore) {
    SkinFixture f({{1, 2}, {3}, {4}}, true);
    ASSERT_TRUE(f.skin.BuildGroups(f.mesh));
    ASSERT_EQ(f.skin.groups.count, 3);
    f.skin.influences[0].bone = 99;
    EXPECT_FALSE(f.skin.BuildGroups(f.mesh));
    EXPECT_EQ(f.skin.groups.count, 3);
}

}  // namespace

namespace {

TEST(AlignedFloats, ABlockThatCannotBeMadeLeavesItEmpty) {
    AlignedFloats block;
    ASSERT_TRUE(block.Allocate(6));
    EXPECT_EQ(block.Count(), 6u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block.Data()) % 16, 0u);
    EXPECT_FALSE(block.Allocate(UINT64_MAX));
    EXPECT_EQ(block.Data(), nullptr);
    EXPECT_EQ(block.Count(), 0u);
}

}  // namespace
