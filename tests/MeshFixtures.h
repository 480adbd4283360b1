// Meshes for the mesh suites, the fuzz target and the benchmark: a regular grid and random
// triangle soups over vertices whose positions are all different, so that a triangle can
// be recognised by its corners' positions whatever the vertex numbering; face adjacency
// found by matching opposite edges; and the miss count of a FIFO vertex cache.
#pragma once

#include "Core/Types.h"
#include "D3d/FrameSequence.h"

#include <d3d9.h>
#include <d3dx9.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace meshfixtures {

// position FLOAT3 at 0, normal FLOAT3 at 12, texture coordinate FLOAT2 at 24: stride 32.
struct Vertex {
    f32 px, py, pz;
    f32 nx, ny, nz;
    f32 u, v;
};
static_assert(sizeof(Vertex) == 32);

struct RawMesh {
    std::vector<Vertex> vertices;
    std::vector<u32> indices;
    std::vector<u32> adjacency;
};

inline VertexDeclaration Layout() {
    VertexDeclaration layout;
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
    return layout;
}

inline Vertex MakeVertex(u32 i, f32 x, f32 y) {
    return Vertex{x, y, 0.001f * f32(i), 0.0f, 0.0f, 1.0f, f32(i), -f32(i)};
}

// Adjacency by opposite edges: the neighbour across edge (a, b) of a face is a face with
// the edge (b, a); open edges get 0xFFFFFFFF.
inline std::vector<u32> Adjacency(const std::vector<u32>& indices) {
    std::map<std::pair<u32, u32>, u32> edges;
    const u32 faces = u32(indices.size() / 3);
    for (u32 f = 0; f < faces; ++f)
        for (u32 k = 0; k < 3; ++k) edges[{indices[3 * f + k], indices[3 * f + (k + 1) % 3]}] = f;
    std::vector<u32> adjacency(indices.size(), 0xFFFFFFFFu);
    for (u32 f = 0; f < faces; ++f)
        for (u32 k = 0; k < 3; ++k) {
            auto it = edges.find({indices[3 * f + (k + 1) % 3], indices[3 * f + k]});
            if (it != edges.end() && it->second != f) adjacency[3 * f + k] = it->second;
        }
    return adjacency;
}

// A grid of columns x rows quads, two triangles each, faces in row order.
inline RawMesh Grid(u32 columns, u32 rows) {
    RawMesh mesh;
    for (u32 y = 0; y <= rows; ++y)
        for (u32 x = 0; x <= columns; ++x)
            mesh.vertices.push_back(MakeVertex(u32(mesh.vertices.size()), f32(x), f32(y)));
    for (u32 y = 0; y < rows; ++y)
        for (u32 x = 0; x < columns; ++x) {
            const u32 a = y * (columns + 1) + x;
            const u32 b = a + 1;
            const u32 c = a + columns + 1;
            const u32 d = c + 1;
            mesh.indices.insert(mesh.indices.end(), {a, c, b, b, c, d});
        }
    mesh.adjacency = Adjacency(mesh.indices);
    return mesh;
}

// faces random triangles over vertices vertices (some may stay unused), in random order.
inline RawMesh Random(u32 vertices, u32 faces, u32 seed) {
    std::mt19937 rng(seed);
    RawMesh mesh;
    for (u32 i = 0; i < vertices; ++i) mesh.vertices.push_back(MakeVertex(i, f32(rng() % 1000), f32(rng() % 1000)));
    for (u32 f = 0; f < faces; ++f)
        for (u32 k = 0; k < 3; ++k) mesh.indices.push_back(rng() % vertices);
    mesh.adjacency = Adjacency(mesh.indices);
    return mesh;
}

// The mesh as a record: stream 0 owned, indices of indexSize bytes, adjacency adopted.
inline void Fill(FrameSequence& record, const RawMesh& mesh, u32 indexSize, bool withAdjacency = true) {
    record.vertices.Reserve(u32(mesh.vertices.size()), Layout());
    if (!mesh.vertices.empty())
        std::memcpy(record.vertices.streams[0], mesh.vertices.data(), mesh.vertices.size() * sizeof(Vertex));
    record.indices.Allocate(u32(mesh.indices.size()), indexSize);
    for (u32 i = 0; i < mesh.indices.size(); ++i) record.indices.Set(i, mesh.indices[i]);
    if (withAdjacency && !mesh.adjacency.empty()) {
        void* block = MemAlloc(mesh.adjacency.size() * 4);
        std::memcpy(block, mesh.adjacency.data(), mesh.adjacency.size() * 4);
        record.AdoptAdjacency(block, u32(mesh.adjacency.size() * 4));
    }
}

inline const Vertex& VertexAt(const FrameSequence& record, u32 i) {
    return reinterpret_cast<const Vertex*>(record.vertices.streams[0])[i];
}

using Corner = std::array<f32, 3>;
using FaceKey = std::array<Corner, 3>;

// A face by its corners' positions, turned so that the smallest corner comes first (the
// winding is kept).
inline FaceKey Canonical(Corner a, Corner b, Corner c) {
    FaceKey t{a, b, c};
    const size_t first = std::min_element(t.begin(), t.end()) - t.begin();
    std::rotate(t.begin(), t.begin() + first, t.end());
    return t;
}

inline std::vector<FaceKey> Triangles(const std::vector<Vertex>& vertices, const std::vector<u32>& indices) {
    std::vector<FaceKey> out;
    for (size_t f = 0; f + 2 < indices.size(); f += 3) {
        auto at = [&](u32 i) { return Corner{vertices[i].px, vertices[i].py, vertices[i].pz}; };
        out.push_back(Canonical(at(indices[f]), at(indices[f + 1]), at(indices[f + 2])));
    }
    std::sort(out.begin(), out.end());
    return out;
}

inline std::vector<Vertex> Vertices(const FrameSequence& record) {
    const Vertex* v = reinterpret_cast<const Vertex*>(record.vertices.streams[0]);
    return std::vector<Vertex>(v, v + record.vertices.vertexCount);
}

inline std::vector<u32> Indices(const FrameSequence& record) {
    std::vector<u32> out(record.indices.count);
    for (u32 i = 0; i < record.indices.count; ++i) out[i] = record.indices.Get(i);
    return out;
}

// A device on the Linux reference platform, made once, for the benchmark and the fuzz
// target (the reference device needs no real window).
inline IDirect3DDevice9* HeadlessDevice() {
    static IDirect3DDevice9* device = [] {
        IDirect3DDevice9* made = nullptr;
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d) return made;
        D3DPRESENT_PARAMETERS p{};
        p.BackBufferWidth = 64;
        p.BackBufferHeight = 64;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.hDeviceWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
        p.Windowed = TRUE;
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, p.hDeviceWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE,
                          &p, &made);
        return made;
    }();
    return device;
}

// Whether the D3DX library at hand reorders for the vertex cache at all: Wine's answers
// E_NOTIMPL, and the suites that need the reorder skip there.
inline bool OptimizesForVertexCache(IDirect3DDevice9* device) {
    const D3DVERTEXELEMENT9 layout[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0},
    };
    ID3DXMesh* mesh = nullptr;
    if (FAILED(D3DXCreateMesh(1, 3, D3DXMESH_SYSTEMMEM, layout, device, &mesh))) return false;
    void* data = nullptr;
    if (SUCCEEDED(mesh->LockIndexBuffer(0, &data))) {
        const WORD face[3] = {0, 1, 2};
        std::memcpy(data, face, sizeof face);
        mesh->UnlockIndexBuffer();
    }
    const DWORD adjacency[3] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    const HRESULT hr = mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE, adjacency, nullptr, nullptr, nullptr);
    mesh->Release();
    return hr != E_NOTIMPL;
}

inline constexpr const char* kNoVertexCacheReorder = "this D3DX does not reorder for the vertex cache";

// Misses of a FIFO cache of the given size over the index list.
inline u64 FifoMisses(const u32* indices, size_t count, u32 cacheSize) {
    std::deque<u32> fifo;
    u64 misses = 0;
    for (size_t i = 0; i < count; ++i) {
        if (std::find(fifo.begin(), fifo.end(), indices[i]) != fifo.end()) continue;
        ++misses;
        fifo.push_back(indices[i]);
        if (fifo.size() > cacheSize) fifo.pop_front();
    }
    return misses;
}

}  // namespace meshfixtures
