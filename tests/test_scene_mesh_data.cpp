// Mesh optimisation of a loaded record through the D3DX mesh, checked by invariants: the
// same triangles, vertex data and skin arrays moved with their vertices, the adjacency
// consistent with the faces; meshes with nothing to optimise are kept as they are; and the
// vertex transform that bakes a matrix into positions and normals.
#include "D3d/FrameSequence.h"
#include "MeshFixtures.h"
#include "PortableD3d9Device.h"
#include "Scene/MeshData.h"
#include "Scene/SkinData.h"

#include <d3dx9.h>

#include <cstring>
#include <map>
#include <set>
#include <vector>

using namespace meshfixtures;

namespace {

class MeshDataTest : public PortableD3d9Device {};

// For each vertex a key that survives renumbering: its position.
using Key = std::array<f32, 3>;
Key KeyOf(const Vertex& v) { return Key{v.px, v.py, v.pz}; }

// The neighbours of each face as sets of triangles, so two numberings can be compared.
std::map<FaceKey, std::multiset<FaceKey>> Neighbours(const std::vector<Vertex>& vertices,
                                                       const std::vector<u32>& indices, const u32* adjacency) {
    auto triangle = [&](u32 f) {
        auto at = [&](u32 i) { return Corner{vertices[i].px, vertices[i].py, vertices[i].pz}; };
        return Canonical(at(indices[3 * f]), at(indices[3 * f + 1]), at(indices[3 * f + 2]));
    };
    std::map<FaceKey, std::multiset<FaceKey>> out;
    for (u32 f = 0; f < indices.size() / 3; ++f) {
        std::multiset<FaceKey>& set = out[triangle(f)];
        for (u32 k = 0; k < 3; ++k)
            if (adjacency[3 * f + k] != 0xFFFFFFFFu) set.insert(triangle(adjacency[3 * f + k]));
    }
    return out;
}

void CheckInvariants(const RawMesh& raw, const FrameSequence& record) {
    const std::vector<Vertex> vertices = Vertices(record);
    const std::vector<u32> indices = Indices(record);
    ASSERT_EQ(vertices.size(), raw.vertices.size());
    EXPECT_EQ(Triangles(vertices, indices), Triangles(raw.vertices, raw.indices));
    // Every vertex is still there, whole.
    std::map<Key, Vertex> before;
    for (const Vertex& v : raw.vertices) before[KeyOf(v)] = v;
    for (const Vertex& v : vertices) {
        ASSERT_TRUE(before.count(KeyOf(v)));
        EXPECT_EQ(std::memcmp(&before[KeyOf(v)], &v, sizeof v), 0);
    }
    ASSERT_EQ(record.AdjacencyBytes(), indices.size() * 4);
    EXPECT_EQ(Neighbours(vertices, indices, record.Adjacency()),
              Neighbours(raw.vertices, raw.indices, raw.adjacency.data()));
}

// 2-byte and 4-byte indices each keep their size through the round trip.
TEST_F(MeshDataTest, GridsAreOptimisedWithTheirTrianglesAdjacencyAndIndexSize) {
    if (!OptimizesForVertexCache(device)) GTEST_SKIP() << kNoVertexCacheReorder;
    for (u32 indexSize : {2u, 4u}) {
        SCOPED_TRACE(indexSize);
        const RawMesh raw = Grid(10, 8);
        FrameSequence record;
        Fill(record, raw, indexSize);
        ASSERT_EQ(MeshData::Optimize(record, nullptr, device), MeshOptimizeResult::kOptimized);
        EXPECT_EQ(record.indices.elementSize, indexSize);
        CheckInvariants(raw, record);
    }
}

TEST_F(MeshDataTest, RandomMeshesKeepTheirTriangles) {
    if (!OptimizesForVertexCache(device)) GTEST_SKIP() << kNoVertexCacheReorder;
    for (u32 seed = 11; seed < 17; ++seed) {
        SCOPED_TRACE(seed);
        const RawMesh raw = Random(30 + seed, 50 + 3 * seed, seed);
        FrameSequence record;
        Fill(record, raw, seed % 2 ? 2 : 4);
        ASSERT_EQ(MeshData::Optimize(record, nullptr, device), MeshOptimizeResult::kOptimized);
        CheckInvariants(raw, record);
    }
}

TEST_F(MeshDataTest, SkinArraysMoveWithTheirVertices) {
    if (!OptimizesForVertexCache(device)) GTEST_SKIP() << kNoVertexCacheReorder;
    const RawMesh raw = Random(24, 40, 5);
    FrameSequence record;
    Fill(record, raw, 2);
    SkinData skin;
    // Vertex v's run: first 100 + 2 v, count 1 + v % 3; keyed by the vertex's position.
    std::map<Key, std::pair<i32, i32>> runOf;
    skin.firstInfluences.Resize(24);
    skin.influenceCounts.Resize(24);
    for (i32 v = 0; v < 24; ++v) {
        skin.firstInfluences[v] = 100 + 2 * v;
        skin.influenceCounts[v] = 1 + v % 3;
        runOf[KeyOf(raw.vertices[size_t(v)])] = {100 + 2 * v, 1 + v % 3};
    }
    skin.influences.Resize(200);
    skin.influences[7].weight = 0.25f;
    ASSERT_EQ(MeshData::Optimize(record, &skin, device), MeshOptimizeResult::kOptimized);
    ASSERT_EQ(skin.firstInfluences.count, 24);
    ASSERT_EQ(skin.influenceCounts.count, 24);
    EXPECT_EQ(skin.firstInfluences.capacity, 24);
    const std::vector<Vertex> vertices = Vertices(record);
    for (i32 i = 0; i < 24; ++i) {
        const auto run = runOf[KeyOf(vertices[size_t(i)])];
        EXPECT_EQ(skin.firstInfluences[i], run.first) << i;
        EXPECT_EQ(skin.influenceCounts[i], run.second) << i;
    }
    // The influences themselves do not move.
    EXPECT_EQ(skin.influences.count, 200);
    EXPECT_EQ(skin.influences[7].weight, 0.25f);
    CheckInvariants(raw, record);
}

TEST_F(MeshDataTest, WithoutAdjacencyTheMeshIsKeptAsItIs) {
    const RawMesh raw = Random(20, 30, 3);
    FrameSequence record;
    Fill(record, raw, 2, false);
    EXPECT_EQ(MeshData::Optimize(record, nullptr, device), MeshOptimizeResult::kNotOptimized);
    EXPECT_EQ(Indices(record), raw.indices);
    EXPECT_EQ(std::memcmp(record.vertices.streams[0], raw.vertices.data(), raw.vertices.size() * sizeof(Vertex)), 0);
}

TEST_F(MeshDataTest, ALibraryThatCannotReorderKeepsTheMesh) {
    if (OptimizesForVertexCache(device)) GTEST_SKIP() << "this D3DX reorders for the vertex cache";
    const RawMesh raw = Grid(4, 3);
    FrameSequence record;
    Fill(record, raw, 2);
    EXPECT_EQ(MeshData::Optimize(record, nullptr, device), MeshOptimizeResult::kNotOptimized);
    EXPECT_EQ(Indices(record), raw.indices);
    EXPECT_EQ(std::memcmp(record.Adjacency(), raw.adjacency.data(), raw.adjacency.size() * 4), 0);
}

TEST_F(MeshDataTest, WithoutFacesTheMeshIsKeptAsItIs) {
    RawMesh raw = Grid(2, 2);
    FrameSequence record;
    Fill(record, raw, 2);
    record.indices.Free();
    EXPECT_EQ(MeshData::Optimize(record, nullptr, device), MeshOptimizeResult::kNotOptimized);
    EXPECT_EQ(std::memcmp(record.vertices.streams[0], raw.vertices.data(), raw.vertices.size() * sizeof(Vertex)), 0);
}

TEST_F(MeshDataTest, AnIndexCountThatIsNotAMultipleOfThreeIsRefused) {
    RawMesh raw = Grid(3, 3);
    raw.indices.push_back(0);
    FrameSequence record;
    Fill(record, raw, 2);
    EXPECT_EQ(MeshData::Optimize(record, nullptr, device), MeshOptimizeResult::kFailed);
    EXPECT_EQ(Indices(record), raw.indices);
}

TEST_F(MeshDataTest, AdjacencyOfTheWrongSizeIsRefused) {
    const RawMesh raw = Grid(3, 3);
    FrameSequence record;
    Fill(record, raw, 2, false);
    void* block = MemAlloc(8);
    std::memset(block, 0xFF, 8);
    record.AdoptAdjacency(block, 8);
    EXPECT_EQ(MeshData::Optimize(record, nullptr, device), MeshOptimizeResult::kFailed);
    EXPECT_EQ(Indices(record), raw.indices);
    EXPECT_EQ(record.AdjacencyBytes(), 8u);
}

TEST_F(MeshDataTest, SkinArraysOfAnotherLengthAreRefused) {
    const RawMesh raw = Grid(3, 3);
    FrameSequence record;
    Fill(record, raw, 2);
    SkinData skin;
    skin.firstInfluences.Resize(3);
    skin.influenceCounts.Resize(3);
    EXPECT_EQ(MeshData::Optimize(record, &skin, device), MeshOptimizeResult::kFailed);
    EXPECT_EQ(Indices(record), raw.indices);
}

TEST(TransformVertices, NormalOffsetMinusOneMovesPositionsOnly) {
    std::vector<Vertex> v = {MakeVertex(0, 1, 2), MakeVertex(1, -3, 4)};
    const std::vector<Vertex> before = v;
    Matrix m = IdentityMatrix;
    m.kind = 0;
    m.m[12] = 10.0f;  // translate x by 10
    m.m[13] = -1.0f;
    TransformVertices(v.data(), sizeof(Vertex), 2, m, -1);
    EXPECT_FLOAT_EQ(v[0].px, 11.0f);
    EXPECT_FLOAT_EQ(v[0].py, 1.0f);
    EXPECT_FLOAT_EQ(v[1].px, 7.0f);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(v[i].nz, before[i].nz);
        EXPECT_EQ(v[i].u, before[i].u);
    }
}

TEST(TransformVertices, AScaleScalesNormalsWithoutRenormalising) {
    std::vector<Vertex> v = {MakeVertex(0, 1, 2)};
    v[0].nx = 1.0f;
    v[0].ny = 0.0f;
    v[0].nz = 1.0f;
    Matrix m = IdentityMatrix;
    m.kind = 0;
    m.m[0] = 2.0f;
    m.m[5] = 3.0f;
    m.m[10] = 4.0f;
    m.m[12] = 5.0f;  // a translation never reaches normals
    TransformVertices(v.data(), sizeof(Vertex), 1, m, 12);
    EXPECT_FLOAT_EQ(v[0].px, 7.0f);
    EXPECT_FLOAT_EQ(v[0].py, 6.0f);
    EXPECT_FLOAT_EQ(v[0].nx, 2.0f);
    EXPECT_FLOAT_EQ(v[0].ny, 0.0f);
    EXPECT_FLOAT_EQ(v[0].nz, 4.0f);
    EXPECT_FLOAT_EQ(v[0].u, 0.0f);
}

TEST(TransformVertices, ANormalOffsetBeyondTheStrideIsIgnored) {
    std::vector<Vertex> v = {MakeVertex(0, 1, 2)};
    Matrix m = IdentityMatrix;
    m.kind = 0;
    m.m[0] = 2.0f;
    TransformVertices(v.data(), sizeof(Vertex), 1, m, 24);  // 24 + 12 > 32
    EXPECT_FLOAT_EQ(v[0].px, 2.0f);
    EXPECT_FLOAT_EQ(v[0].u, 0.0f);
    EXPECT_FLOAT_EQ(v[0].v, -0.0f);
}

}  // namespace
