// The D3DX9 mesh through the real API: creation, counts, layout, buffer locks and the
// vertex-cache optimisation, checked by what any correct optimiser must keep (the same
// triangles, vertices moved whole, a consistent adjacency and remaps), never by its order.
#include "MeshFixtures.h"
#include "PortableD3d9Device.h"

#include <d3dx9.h>

#include <cstring>
#include <vector>

using namespace meshfixtures;

namespace {

const D3DVERTEXELEMENT9 kLayout[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0},
};

class D3dx9MeshTest : public PortableD3d9Device {
protected:
    ID3DXMesh* Make(const RawMesh& raw, DWORD options) {
        ID3DXMesh* mesh = nullptr;
        EXPECT_EQ(D3DXCreateMesh(DWORD(raw.indices.size() / 3), DWORD(raw.vertices.size()), options, kLayout, device,
                                 &mesh),
                  D3D_OK);
        if (!mesh) return nullptr;
        void* data = nullptr;
        EXPECT_EQ(mesh->LockVertexBuffer(0, &data), D3D_OK);
        std::memcpy(data, raw.vertices.data(), raw.vertices.size() * sizeof(Vertex));
        mesh->UnlockVertexBuffer();
        EXPECT_EQ(mesh->LockIndexBuffer(0, &data), D3D_OK);
        for (size_t i = 0; i < raw.indices.size(); ++i) {
            if (options & D3DXMESH_32BIT)
                static_cast<DWORD*>(data)[i] = raw.indices[i];
            else
                static_cast<WORD*>(data)[i] = WORD(raw.indices[i]);
        }
        mesh->UnlockIndexBuffer();
        return mesh;
    }

    RawMesh Read(ID3DXMesh* mesh) {
        RawMesh raw;
        raw.vertices.resize(mesh->GetNumVertices());
        raw.indices.resize(size_t(mesh->GetNumFaces()) * 3);
        void* data = nullptr;
        EXPECT_EQ(mesh->LockVertexBuffer(D3DLOCK_READONLY, &data), D3D_OK);
        std::memcpy(raw.vertices.data(), data, raw.vertices.size() * sizeof(Vertex));
        mesh->UnlockVertexBuffer();
        EXPECT_EQ(mesh->LockIndexBuffer(D3DLOCK_READONLY, &data), D3D_OK);
        for (size_t i = 0; i < raw.indices.size(); ++i)
            raw.indices[i] = (mesh->GetOptions() & D3DXMESH_32BIT) ? static_cast<DWORD*>(data)[i]
                                                                    : static_cast<WORD*>(data)[i];
        mesh->UnlockIndexBuffer();
        return raw;
    }

    // Optimises raw and checks the invariants of the result against it.
    void CheckOptimize(const RawMesh& raw, DWORD options) {
        ID3DXMesh* mesh = Make(raw, options);
        ASSERT_NE(mesh, nullptr);
        const DWORD faces = mesh->GetNumFaces();
        std::vector<DWORD> adjacencyOut(size_t(faces) * 3, 0x12345678u);
        std::vector<DWORD> faceRemap(faces, 0x12345678u);
        ID3DXBuffer* vertexRemap = nullptr;
        ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE, reinterpret_cast<const DWORD*>(raw.adjacency.data()),
                                        adjacencyOut.data(), faceRemap.data(), &vertexRemap),
                  D3D_OK);
        ASSERT_NE(vertexRemap, nullptr);
        EXPECT_EQ(mesh->GetOptions(), options);
        const RawMesh after = Read(mesh);

        // The same triangles, with the same winding.
        EXPECT_EQ(Triangles(after.vertices, after.indices), Triangles(raw.vertices, raw.indices));
        // Each new vertex is an old one, whole, and every old one is there once.
        ASSERT_GE(vertexRemap->GetBufferSize(), raw.vertices.size() * sizeof(DWORD));
        const DWORD* oldOf = static_cast<const DWORD*>(vertexRemap->GetBufferPointer());
        std::vector<int> seen(raw.vertices.size(), 0);
        for (size_t i = 0; i < raw.vertices.size(); ++i) {
            ASSERT_LT(oldOf[i], raw.vertices.size());
            ++seen[oldOf[i]];
            EXPECT_EQ(std::memcmp(&after.vertices[i], &raw.vertices[oldOf[i]], sizeof(Vertex)), 0) << i;
        }
        for (int s : seen) EXPECT_EQ(s, 1);
        // Face f of the result is old face faceRemap[f], its corners renumbered.
        std::vector<DWORD> newFace(faces);
        for (DWORD f = 0; f < faces; ++f) {
            ASSERT_LT(faceRemap[f], faces);
            newFace[faceRemap[f]] = f;
        }
        for (DWORD f = 0; f < faces; ++f) {
            std::vector<DWORD> was, is;
            for (int k = 0; k < 3; ++k) {
                was.push_back(raw.indices[3 * faceRemap[f] + k]);
                is.push_back(oldOf[after.indices[3 * f + k]]);
            }
            EXPECT_EQ(is, was) << f;
        }
        // The adjacency follows the faces: the same neighbours under their new numbers.
        for (DWORD f = 0; f < faces; ++f) {
            std::vector<DWORD> expected, got;
            for (int k = 0; k < 3; ++k) {
                const DWORD a = raw.adjacency[3 * faceRemap[f] + k];
                expected.push_back(a == 0xFFFFFFFFu ? a : newFace[a]);
                got.push_back(adjacencyOut[3 * f + k]);
            }
            std::sort(expected.begin(), expected.end());
            std::sort(got.begin(), got.end());
            EXPECT_EQ(got, expected) << f;
        }
        vertexRemap->Release();
        mesh->Release();
    }
};

TEST_F(D3dx9MeshTest, CreateReportsCountsOptionsAndLayout) {
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateMesh(4, 6, D3DXMESH_SYSTEMMEM | D3DXMESH_DYNAMIC, kLayout, device, &mesh), D3D_OK);
    EXPECT_EQ(mesh->GetNumFaces(), 4u);
    EXPECT_EQ(mesh->GetNumVertices(), 6u);
    EXPECT_EQ(mesh->GetNumBytesPerVertex(), 32u);
    EXPECT_EQ(mesh->GetOptions(), DWORD(D3DXMESH_SYSTEMMEM | D3DXMESH_DYNAMIC));
    EXPECT_EQ(mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
    ASSERT_EQ(mesh->GetDeclaration(declaration), D3D_OK);
    EXPECT_EQ(std::memcmp(declaration, kLayout, sizeof kLayout), 0);

    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(mesh->GetIndexBuffer(&ib), D3D_OK);
    D3DINDEXBUFFER_DESC desc;
    ASSERT_EQ(ib->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX16);
    EXPECT_EQ(desc.Size, 4u * 3 * 2);
    EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
    ib->Release();
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(mesh->GetVertexBuffer(&vb), D3D_OK);
    D3DVERTEXBUFFER_DESC vdesc;
    ASSERT_EQ(vb->GetDesc(&vdesc), D3D_OK);
    EXPECT_EQ(vdesc.Size, 6u * 32);
    EXPECT_NE(vdesc.Usage & D3DUSAGE_DYNAMIC, 0u);
    vb->Release();
    EXPECT_EQ(mesh->Release(), 0u);
}

TEST_F(D3dx9MeshTest, ThirtyTwoBitIndicesMakeAnIndex32Buffer) {
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateMesh(2, 4, D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, kLayout, device, &mesh), D3D_OK);
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(mesh->GetIndexBuffer(&ib), D3D_OK);
    D3DINDEXBUFFER_DESC desc;
    ASSERT_EQ(ib->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX32);
    EXPECT_EQ(desc.Size, 2u * 3 * 4);
    ib->Release();
    mesh->Release();
}

TEST_F(D3dx9MeshTest, ADeclarationOnTwoStreamsIsRefused) {
    const D3DVERTEXELEMENT9 twoStreams[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {1, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
        {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0},
    };
    ID3DXMesh* mesh = nullptr;
    EXPECT_EQ(D3DXCreateMesh(1, 3, D3DXMESH_SYSTEMMEM, twoStreams, device, &mesh), D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh, nullptr);
    EXPECT_EQ(D3DXCreateMesh(1, 3, D3DXMESH_SYSTEMMEM, kLayout, nullptr, &mesh), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateMesh(1, 3, D3DXMESH_SYSTEMMEM, nullptr, device, &mesh), D3DERR_INVALIDCALL);
}

TEST_F(D3dx9MeshTest, OptimizingAGridKeepsItsTriangles) {
    if (!OptimizesForVertexCache(device)) GTEST_SKIP() << kNoVertexCacheReorder;
    CheckOptimize(Grid(12, 9), D3DXMESH_SYSTEMMEM | D3DXMESH_DYNAMIC);
}

TEST_F(D3dx9MeshTest, OptimizingWithThirtyTwoBitIndices) {
    if (!OptimizesForVertexCache(device)) GTEST_SKIP() << kNoVertexCacheReorder;
    CheckOptimize(Grid(7, 5), D3DXMESH_SYSTEMMEM | D3DXMESH_DYNAMIC | D3DXMESH_32BIT);
}

TEST_F(D3dx9MeshTest, OptimizingRandomMeshesKeepsTheirTriangles) {
    if (!OptimizesForVertexCache(device)) GTEST_SKIP() << kNoVertexCacheReorder;
    for (u32 seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        CheckOptimize(Random(40 + seed * 7, 60 + seed * 11, seed), D3DXMESH_SYSTEMMEM | D3DXMESH_DYNAMIC);
    }
}

TEST_F(D3dx9MeshTest, VertexRemapBufferHoldsOneWordPerVertex) {
    ID3DXBuffer* buffer = nullptr;
    ASSERT_EQ(D3DXCreateBuffer(12, &buffer), D3D_OK);
    EXPECT_EQ(buffer->GetBufferSize(), 12u);
    ASSERT_NE(buffer->GetBufferPointer(), nullptr);
    EXPECT_EQ(buffer->Release(), 0u);
    EXPECT_EQ(D3DXCreateBuffer(4, nullptr), D3DERR_INVALIDCALL);
}

}  // namespace
