// Mesh loading with the load flag that optimises meshes, on the reference device: the
// record is reordered for the vertex cache and every vertex keeps its own influences.
#include "D3d/FrameSequence.h"
#include "Scene/AdvScene.h"
#include "Scene/SkinData.h"
#include "Scene/SkinnedMesh.h"
#include "tests/ModelBuilder.h"
#include "tests/linux/EffectDrawSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

namespace {

using namespace modelbuilder;

class TestScene : public AdvScene {
public:
    void SetFlags(u32 flags) { desc.flags = flags; }
};

using OptimizedMesh = effectdraw::DrawDevice;

TEST_F(OptimizedMesh, AnOptimisedSkinnedMeshKeepsEachVertexWithItsInfluences) {
    ModelBuilder builder;
    TestScene scene;
    scene.SetFlags(kLoadOptimizeMeshes);
    Hierarchy* node = nullptr;
    ASSERT_TRUE(CreateSceneNode(&node));
    node->Rename(String("Strip"));
    scene.GetRoot()->AddChild(node);
    UdfNode* entry = ModelBuilder::Node(builder.Root(), "Strip", "Mesh");

    // Six vertices (position x = their number) in four triangles of a strip, used out of
    // order so that the cache order differs from the stored one; vertex i hangs on bone
    // i % 3.
    std::vector<f32> vertices;
    for (u32 i = 0; i < 6; ++i) {
        const f32 v[8] = {f32(i), f32(i % 2), 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
        vertices.insert(vertices.end(), v, v + 8);
    }
    const std::vector<u16> indices = {4, 3, 5, 0, 1, 2, 2, 1, 3, 2, 3, 4};
    std::vector<u32> adjacency(indices.size(), 0xFFFFFFFFu);
    // Faces: 0 (4 3 5), 1 (0 1 2), 2 (2 1 3), 3 (2 3 4); shared edges 1-2, 2-3, 3-0.
    adjacency[1 * 3 + 1] = 2;
    adjacency[2 * 3 + 0] = 1;
    adjacency[2 * 3 + 1] = 3;
    adjacency[3 * 3 + 0] = 2;
    adjacency[3 * 3 + 1] = 0;
    adjacency[0 * 3 + 0] = 3;
    const Bytes adjacencyBytes = AsBytes(adjacency);
    ModelBuilder::SetMesh(entry, PlainDecl(), AsBytes(vertices), 6, AsBytes(indices), 12, 2, &adjacencyBytes);
    std::vector<u32> firsts, counts;
    std::vector<ModelBuilder::Influence> weights;
    for (u32 i = 0; i < 6; ++i) {
        firsts.push_back(i);
        counts.push_back(1);
        weights.push_back({i % 3, 1.0f});
    }
    ModelBuilder::SetSkin(entry, {"B0", "B1", "B2"}, firsts, counts, weights);

    ASSERT_TRUE(scene.LoadMesh(entry, node));
    auto* skinned = dynamic_cast<SkinnedMesh*>(node->GetObject());
    ASSERT_NE(skinned, nullptr);
    const FrameSequence& record = *skinned->GetPartTable();
    const SkinData& skin = *skinned->GetSkin();
    EXPECT_TRUE(skin.Validate(record));
    EXPECT_EQ(record.AdjacencyBytes(), 48u);
    ASSERT_EQ(record.vertices.vertexCount, 6u);
    for (u32 v = 0; v < 6; ++v) {
        f32 x = 0.0f;
        std::memcpy(&x, record.vertices.streams[0] + 32 * v, 4);
        const u32 original = u32(x);
        const i32 first = skin.firstInfluences[i32(v)];
        ASSERT_GE(first, 0);
        ASSERT_LT(first, skin.influences.count);
        EXPECT_EQ(skin.influences[first].bone, i32(original % 3)) << "vertex " << v;
    }
    // The triangles are the same set of corners.
    std::multiset<std::vector<u32>> before, after;
    for (u32 f = 0; f < 4; ++f) {
        std::vector<u32> a{indices[3 * f], indices[3 * f + 1], indices[3 * f + 2]};
        std::sort(a.begin(), a.end());
        before.insert(a);
        std::vector<u32> b;
        for (u32 k = 0; k < 3; ++k) {
            f32 x = 0.0f;
            std::memcpy(&x, record.vertices.streams[0] + 32 * record.indices.Get(3 * f + k), 4);
            b.push_back(u32(x));
        }
        std::sort(b.begin(), b.end());
        after.insert(b);
    }
    EXPECT_EQ(before, after);
}

}  // namespace
