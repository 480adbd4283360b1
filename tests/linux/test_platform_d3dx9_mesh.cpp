// The Linux D3DX9 mesh on the reference device: what OptimizeInplace refuses (and that a
// refusal changes nothing), its own order (vertices renumbered in first use, fewer cache
// misses), and a mesh record that a failing buffer lock leaves exactly as it was.
#include "../MeshFixtures.h"
#include "D3d/FrameSequence.h"
#include "PlatformD3d9Support.h"
#include "Scene/MeshData.h"
#include "Scene/SkinData.h"

#include <d3dx9.h>

#include <cstring>
#include <vector>

using namespace meshfixtures;
using platformd3d9::ReferenceD3d9;

namespace {

class D3dx9MeshPlatform : public ReferenceD3d9 {
protected:
    void SetUp() override {
        ReferenceD3d9::SetUp();
        Open();
    }

    ID3DXMesh* Make(const RawMesh& raw) {
        FrameSequence record;
        Fill(record, raw, 4);
        return MeshData::CreateD3DXMesh(record, MeshData::kOptimizeOptions | D3DXMESH_32BIT, true, device);
    }

    std::vector<u32> ReadIndices(ID3DXMesh* mesh) {
        std::vector<u32> out(size_t(mesh->GetNumFaces()) * 3);
        void* data = nullptr;
        EXPECT_EQ(mesh->LockIndexBuffer(D3DLOCK_READONLY, &data), D3D_OK);
        std::memcpy(out.data(), data, out.size() * 4);
        mesh->UnlockIndexBuffer();
        return out;
    }
};

TEST_F(D3dx9MeshPlatform, BadAdjacencyIsRefusedAndChangesNothing) {
    const RawMesh raw = Grid(4, 4);
    ID3DXMesh* mesh = Make(raw);
    ASSERT_NE(mesh, nullptr);
    const DWORD faces = mesh->GetNumFaces();
    for (DWORD bad : {faces, faces + 7, 0xFFFFFFFEu}) {
        std::vector<DWORD> adjacency(raw.adjacency.begin(), raw.adjacency.end());
        adjacency[5] = bad;
        std::vector<DWORD> out(adjacency.size(), 0xABu);
        ID3DXBuffer* remap = reinterpret_cast<ID3DXBuffer*>(0x1);
        EXPECT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE, adjacency.data(), out.data(), nullptr, &remap),
                  D3DERR_INVALIDCALL)
            << bad;
        EXPECT_EQ(remap, nullptr);
        EXPECT_EQ(out[0], 0xABu);
        EXPECT_EQ(ReadIndices(mesh), raw.indices);
    }
    mesh->Release();
}

TEST_F(D3dx9MeshPlatform, AnIndexBeyondTheVerticesIsRefused) {
    RawMesh raw = Grid(3, 3);
    raw.indices[4] = u32(raw.vertices.size());
    ID3DXMesh* mesh = Make(raw);
    ASSERT_NE(mesh, nullptr);
    std::vector<DWORD> adjacency(raw.adjacency.begin(), raw.adjacency.end());
    EXPECT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE, adjacency.data(), nullptr, nullptr, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(ReadIndices(mesh), raw.indices);
    mesh->Release();
}

TEST_F(D3dx9MeshPlatform, FlagsAreChecked) {
    const RawMesh raw = Grid(2, 2);
    ID3DXMesh* mesh = Make(raw);
    ASSERT_NE(mesh, nullptr);
    std::vector<DWORD> adjacency(raw.adjacency.begin(), raw.adjacency.end());
    std::vector<DWORD> out(adjacency.size());
    EXPECT_EQ(mesh->OptimizeInplace(0, adjacency.data(), nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh->OptimizeInplace(0x1, adjacency.data(), nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER, adjacency.data(), nullptr,
                                    nullptr, nullptr),
              D3DERR_INVALIDCALL);
    // New adjacency cannot be told without the old.
    EXPECT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE, nullptr, out.data(), nullptr, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(ReadIndices(mesh), raw.indices);
    mesh->Release();
}

TEST_F(D3dx9MeshPlatform, VerticesAreNumberedInFirstUse) {
    RawMesh raw = Random(50, 60, 9);
    ID3DXMesh* mesh = Make(raw);
    ASSERT_NE(mesh, nullptr);
    std::vector<DWORD> adjacency(raw.adjacency.begin(), raw.adjacency.end());
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE, adjacency.data(), nullptr, nullptr, nullptr), D3D_OK);
    const std::vector<u32> indices = ReadIndices(mesh);
    u32 next = 0;
    for (u32 i : indices) {
        ASSERT_LE(i, next);
        if (i == next) ++next;
    }
    mesh->Release();
}

TEST_F(D3dx9MeshPlatform, IgnoreVertsKeepsTheVertexNumbers) {
    const RawMesh raw = Random(30, 40, 4);
    ID3DXMesh* mesh = Make(raw);
    ASSERT_NE(mesh, nullptr);
    std::vector<DWORD> adjacency(raw.adjacency.begin(), raw.adjacency.end());
    std::vector<DWORD> faceRemap(mesh->GetNumFaces());
    ID3DXBuffer* remap = nullptr;
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_IGNOREVERTS, adjacency.data(), nullptr,
                                    faceRemap.data(), &remap),
              D3D_OK);
    const DWORD* oldOf = static_cast<const DWORD*>(remap->GetBufferPointer());
    for (DWORD v = 0; v < 30; ++v) EXPECT_EQ(oldOf[v], v);
    const std::vector<u32> indices = ReadIndices(mesh);
    for (size_t f = 0; f < faceRemap.size(); ++f)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(indices[3 * f + k], raw.indices[3 * faceRemap[f] + k]);
    remap->Release();
    mesh->Release();
}

TEST_F(D3dx9MeshPlatform, AttributesSortStablyAndFormTheTable) {
    const RawMesh raw = Grid(4, 2);  // 16 faces
    ID3DXMesh* mesh = Make(raw);
    ASSERT_NE(mesh, nullptr);
    DWORD* attributes = nullptr;
    ASSERT_EQ(mesh->LockAttributeBuffer(0, &attributes), D3D_OK);
    for (DWORD f = 0; f < 16; ++f) attributes[f] = f % 3 == 0 ? 2 : 1;
    mesh->UnlockAttributeBuffer();
    std::vector<DWORD> adjacency(raw.adjacency.begin(), raw.adjacency.end());
    std::vector<DWORD> faceRemap(16);
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE, adjacency.data(), nullptr, faceRemap.data(), nullptr),
              D3D_OK);
    ASSERT_EQ(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attributes), D3D_OK);
    for (DWORD f = 0; f < 16; ++f) {
        EXPECT_EQ(attributes[f], f < 10 ? 1u : 2u);
        EXPECT_EQ(attributes[f], faceRemap[f] % 3 == 0 ? 2u : 1u);
    }
    mesh->UnlockAttributeBuffer();
    DWORD ranges = 0;
    ASSERT_EQ(mesh->GetAttributeTable(nullptr, &ranges), D3D_OK);
    ASSERT_EQ(ranges, 2u);
    D3DXATTRIBUTERANGE table[2];
    ASSERT_EQ(mesh->GetAttributeTable(table, &ranges), D3D_OK);
    EXPECT_EQ(table[0].AttribId, 1u);
    EXPECT_EQ(table[0].FaceStart, 0u);
    EXPECT_EQ(table[0].FaceCount, 10u);
    EXPECT_EQ(table[1].FaceStart, 10u);
    EXPECT_EQ(table[1].FaceCount, 6u);
    mesh->Release();
}

TEST_F(D3dx9MeshPlatform, TheOrderMissesFewerInASmallFifo) {
    // Columns wider than the cache: row order misses about one vertex per triangle.
    const RawMesh raw = Grid(60, 40);
    ID3DXMesh* mesh = Make(raw);
    ASSERT_NE(mesh, nullptr);
    std::vector<DWORD> adjacency(raw.adjacency.begin(), raw.adjacency.end());
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE, adjacency.data(), nullptr, nullptr, nullptr), D3D_OK);
    const std::vector<u32> after = ReadIndices(mesh);
    const double triangles = double(raw.indices.size() / 3);
    const double before = FifoMisses(raw.indices.data(), raw.indices.size(), 16) / triangles;
    const double optimised = FifoMisses(after.data(), after.size(), 16) / triangles;
    EXPECT_GT(before, 0.95);
    EXPECT_LT(optimised, 0.8);
    mesh->Release();
}

// Each Lock of the optimisation fails in turn: the creation's two fills, OptimizeInplace's
// two reads and two writes, the copy back's two reads. Every time the record and the skin
// are left exactly as they were.
TEST_F(D3dx9MeshPlatform, AFailingLockLeavesTheRecordUnchanged) {
    const RawMesh raw = Random(20, 30, 2);
    for (int nth = 1; nth <= 8; ++nth) {
        SCOPED_TRACE(nth);
        FrameSequence record;
        Fill(record, raw, 2);
        SkinData skin;
        skin.firstInfluences.Resize(20);
        skin.influenceCounts.Resize(20);
        for (i32 v = 0; v < 20; ++v) {
            skin.firstInfluences[v] = v;
            skin.influenceCounts[v] = 1;
        }
        const u32* adjacencyBefore = record.Adjacency();
        PlatformTest_D3d9FailCall("Lock", nth, D3DERR_INVALIDCALL);
        EXPECT_EQ(MeshData::Optimize(record, &skin, device), MeshOptimizeResult::kFailed);
        EXPECT_EQ(Indices(record), raw.indices);
        EXPECT_EQ(std::memcmp(record.vertices.streams[0], raw.vertices.data(), raw.vertices.size() * sizeof(Vertex)),
                  0);
        EXPECT_EQ(record.Adjacency(), adjacencyBefore);
        EXPECT_EQ(std::memcmp(record.Adjacency(), raw.adjacency.data(), raw.adjacency.size() * 4), 0);
        for (i32 v = 0; v < 20; ++v) EXPECT_EQ(skin.firstInfluences[v], v);
    }
    // With nothing armed the same optimisation goes through.
    FrameSequence record;
    Fill(record, raw, 2);
    EXPECT_EQ(MeshData::Optimize(record, nullptr, device), MeshOptimizeResult::kOptimized);
}

TEST_F(D3dx9MeshPlatform, DrawSubsetDrawsTheFacesOfItsAttribute) {
    const RawMesh raw = Grid(2, 2);
    ID3DXMesh* mesh = Make(raw);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->DrawSubset(0), D3D_OK);
    EXPECT_EQ(mesh->DrawSubset(5), D3D_OK);  // no faces: nothing drawn, no error
    mesh->Release();
}

}  // namespace
