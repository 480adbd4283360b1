#include "Scene/MeshData.h"

#include "Core/Array.h"
#include "Core/D3dxLibrary.h"
#include "Core/ElementArray.h"
#include "Core/Memory.h"
#include "D3d/DeviceContext.h"
#include "D3d/FrameSequence.h"
#include "Scene/SkinData.h"

#include <memory>
#include <new>
#include <string.h>
#include <utility>

namespace {

// Releases a COM object at the end of a scope.
template <class T>
struct Releaser {
    T* object = nullptr;
    ~Releaser() {
        if (object) object->Release();
    }
};

std::unique_ptr<u8[]> Bytes(u64 n) { return std::unique_ptr<u8[]>(new (std::nothrow) u8[n ? n : 1]); }

}  // namespace

ID3DXMesh* MeshData::CreateD3DXMesh(const FrameSequence& mesh, DWORD options, bool copy, IDirect3DDevice9* device) {
    if (!device) return nullptr;
    const u32 faces = mesh.indices.count / 3;
    const u32 count = mesh.vertices.vertexCount;
    ID3DXMesh* d3dxMesh = nullptr;
    if (FAILED(D3dx().CreateMesh(faces, count, options, mesh.vertices.layout.Elements(), device, &d3dxMesh)))
        return nullptr;
    if (!copy) return d3dxMesh;

    const u64 vertexBytes = mesh.vertices.StreamBytes(0);
    const u32 indexSize = (options & D3DXMESH_32BIT) ? 4 : 2;
    // The D3DX mesh derives its stride from the layout as the record does; a record whose
    // own stride or index size says otherwise cannot be copied byte for byte.
    bool ok = d3dxMesh->GetNumBytesPerVertex() == mesh.vertices.Stride(0) && mesh.vertices.streams[0] &&
              mesh.indices.elementSize == indexSize && mesh.indices.data;
    void* data = nullptr;
    if (ok && SUCCEEDED(d3dxMesh->LockVertexBuffer(D3DLOCK_DISCARD, &data))) {
        memcpy(data, mesh.vertices.streams[0], vertexBytes);
        d3dxMesh->UnlockVertexBuffer();
    } else {
        ok = false;
    }
    if (ok && SUCCEEDED(d3dxMesh->LockIndexBuffer(D3DLOCK_DISCARD, &data))) {
        memcpy(data, mesh.indices.data, u64(faces) * 3 * indexSize);
        d3dxMesh->UnlockIndexBuffer();
    } else {
        ok = false;
    }
    if (!ok) {
        d3dxMesh->Release();
        return nullptr;
    }
    return d3dxMesh;
}

bool MeshData::CopyFromD3DXMesh(FrameSequence& mesh, ID3DXMesh* d3dxMesh) {
    if (!d3dxMesh) return false;
    const u32 count = d3dxMesh->GetNumVertices();
    const u32 stride = d3dxMesh->GetNumBytesPerVertex();
    const u64 indexCount = u64(d3dxMesh->GetNumFaces()) * 3;
    const u32 indexSize = (d3dxMesh->GetOptions() & D3DXMESH_32BIT) ? 4 : 2;
    if (count != mesh.vertices.vertexCount || stride != mesh.vertices.Stride(0) || !mesh.vertices.streams[0] ||
        indexCount != mesh.indices.count || indexSize != mesh.indices.elementSize || !mesh.indices.data)
        return false;

    const u64 vertexBytes = u64(count) * stride;
    const u64 indexBytes = indexCount * indexSize;
    auto vertices = Bytes(vertexBytes);
    auto indices = Bytes(indexBytes);
    if (!vertices || !indices) return false;
    void* data = nullptr;
    if (FAILED(d3dxMesh->LockVertexBuffer(D3DLOCK_READONLY, &data))) return false;
    memcpy(vertices.get(), data, vertexBytes);
    d3dxMesh->UnlockVertexBuffer();
    if (FAILED(d3dxMesh->LockIndexBuffer(D3DLOCK_READONLY, &data))) return false;
    memcpy(indices.get(), data, indexBytes);
    d3dxMesh->UnlockIndexBuffer();

    memcpy(mesh.vertices.streams[0], vertices.get(), vertexBytes);
    memcpy(mesh.indices.data, indices.get(), indexBytes);
    return true;
}

MeshOptimizeResult MeshData::Optimize(FrameSequence& mesh, SkinData* skin) { return Optimize(mesh, skin, TheDevice()); }

MeshOptimizeResult MeshData::Optimize(FrameSequence& mesh, SkinData* skin, IDirect3DDevice9* device) {
    const u32 indexCount = mesh.indices.count;
    if (mesh.AdjacencyBytes() == 0 || indexCount == 0) return MeshOptimizeResult::kNotOptimized;
    if (indexCount % 3 != 0) return MeshOptimizeResult::kFailed;
    const u32 faces = indexCount / 3;
    const u64 adjacencyBytes = u64(faces) * 3 * sizeof(u32);
    if (mesh.AdjacencyBytes() != adjacencyBytes || !mesh.Adjacency()) return MeshOptimizeResult::kFailed;
    const u32 count = mesh.vertices.vertexCount;
    if (skin && (skin->influenceCounts.count != i32(count) || skin->firstInfluences.count != i32(count)))
        return MeshOptimizeResult::kFailed;

    const DWORD options = kOptimizeOptions | (mesh.indices.elementSize == 4 ? DWORD(D3DXMESH_32BIT) : 0);
    Releaser<ID3DXMesh> d3dxMesh{CreateD3DXMesh(mesh, options, true, device)};
    if (!d3dxMesh.object) return MeshOptimizeResult::kFailed;

    u32* adjacency = static_cast<u32*>(MemAlloc(adjacencyBytes));
    if (!adjacency) return MeshOptimizeResult::kFailed;
    std::unique_ptr<u32, void (*)(void*)> adjacencyOwner(adjacency, MemFree);
    Releaser<ID3DXBuffer> remap;
    static_assert(sizeof(DWORD) == sizeof(u32), "adjacency entries are 32-bit face numbers");
    const HRESULT hr = d3dxMesh.object->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE,
                                                        reinterpret_cast<const DWORD*>(mesh.Adjacency()),
                                                        reinterpret_cast<DWORD*>(adjacency), nullptr,
                                                        skin ? &remap.object : nullptr);
    // A library that cannot reorder for the cache (Wine's) leaves a mesh that is still
    // whole and drawable: it is kept, unoptimised, rather than lost.
    if (hr == E_NOTIMPL) return MeshOptimizeResult::kNotOptimized;
    if (FAILED(hr)) return MeshOptimizeResult::kFailed;

    IntArray firsts;
    IntArray counts;
    if (skin) {
        if (!remap.object || remap.object->GetBufferSize() != u64(count) * sizeof(DWORD))
            return MeshOptimizeResult::kFailed;
        const DWORD* oldOf = static_cast<const DWORD*>(remap.object->GetBufferPointer());
        firsts = IntArray(i32(count));
        counts = IntArray(i32(count));
        if (firsts.count != i32(count) || counts.count != i32(count)) return MeshOptimizeResult::kFailed;
        for (u32 i = 0; i < count; ++i) {
            if (oldOf[i] >= count) return MeshOptimizeResult::kFailed;
            firsts[i32(i)] = skin->firstInfluences[i32(oldOf[i])];
            counts[i32(i)] = skin->influenceCounts[i32(oldOf[i])];
        }
    }

    if (!CopyFromD3DXMesh(mesh, d3dxMesh.object)) return MeshOptimizeResult::kFailed;
    mesh.AdoptAdjacency(adjacencyOwner.release(), u32(adjacencyBytes));
    if (skin) {
        skin->firstInfluences = std::move(firsts);
        skin->influenceCounts = std::move(counts);
    }
    return MeshOptimizeResult::kOptimized;
}

void TransformVertices(void* bytes, u32 stride, u32 count, const Matrix& m, i32 normalOffset) {
    if (!bytes || stride < 12) return;
    D3DXMATRIX dm;
    for (u32 r = 0; r < 4; ++r)
        for (u32 c = 0; c < 4; ++c) dm.m[r][c] = m.m[4 * r + c];
    const bool normals = normalOffset >= 0 && u32(normalOffset) + 12 <= stride;
    u8* vertex = static_cast<u8*>(bytes);
    for (u32 i = 0; i < count; ++i, vertex += stride) {
        D3DXVECTOR3 p;
        memcpy(&p, vertex, 12);
        D3dx().Vec3TransformCoord(&p, &p, &dm);
        memcpy(vertex, &p, 12);
        if (!normals) continue;
        f32 n[3];
        memcpy(n, vertex + normalOffset, 12);
        f32 out[3];
        for (u32 c = 0; c < 3; ++c) out[c] = n[0] * dm.m[0][c] + n[1] * dm.m[1][c] + n[2] * dm.m[2][c];
        memcpy(vertex + normalOffset, out, 12);
    }
}
