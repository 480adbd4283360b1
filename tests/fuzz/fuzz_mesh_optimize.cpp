// Fuzz target for mesh optimisation and skin groups. The input chooses a small mesh (vertex
// count, index size, indices, adjacency words, some of them out of range) and the skin's
// per-vertex runs and bone indices. The mesh goes through MeshData::Optimize on the
// reference device and the skin through SkinData::BuildGroups; either may refuse, but a
// refusal must leave the record as it was, and a success must keep the same triangles and
// put every vertex in exactly one group.
#include "D3d/FrameSequence.h"
#include "Scene/MeshData.h"
#include "Scene/SkinData.h"
#include "tests/MeshFixtures.h"

#include <d3d9.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint32_t Byte() { return at < size ? data[at++] : 0; }
    uint32_t Word() { return Byte() | Byte() << 8 | Byte() << 16 | Byte() << 24; }
};


using Tri = std::array<std::array<float, 3>, 3>;

std::vector<Tri> Triangles(const FrameSequence& record) {
    std::vector<Tri> out;
    const uint32_t stride = record.vertices.Stride(0);
    auto corner = [&](uint32_t i) {
        std::array<float, 3> p{-1.0f, -1.0f, -1.0f};  // an index past the vertices
        const uint32_t v = record.indices.Get(i);
        if (v < record.vertices.vertexCount) std::memcpy(p.data(), record.vertices.streams[0] + size_t(v) * stride, 12);
        return p;
    };
    for (uint32_t f = 0; f + 2 < record.indices.count; f += 3) {
        Tri t{corner(f), corner(f + 1), corner(f + 2)};
        std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
        out.push_back(t);
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 14) return 0;
    Input in{data, size};
    const uint32_t vertexCount = 1 + in.Byte() % 64;
    const uint32_t indexSize = (in.Byte() & 1) ? 4 : 2;
    const uint32_t indexCount = in.Byte() % 200;
    const uint32_t boneCount = in.Byte() % 8;

    FrameSequence record;
    VertexDeclaration layout;
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
    if (!record.vertices.Reserve(vertexCount, layout)) return 0;
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const float p[6] = {float(v), float(v * 7 % 13), float(v) * 0.5f, 0.0f, 1.0f, float(v)};
        std::memcpy(record.vertices.streams[0] + size_t(v) * 24, p, sizeof p);
    }
    if (!record.indices.Allocate(indexCount, indexSize)) return 0;
    for (uint32_t i = 0; i < indexCount; ++i) {
        const uint32_t b = in.Byte();
        record.indices.Set(i, b == 255 ? in.Word() : b % (vertexCount + 1));  // now and then one too far
    }
    const uint32_t adjacencyWords = (in.Byte() & 1) ? indexCount : in.Byte();
    if (adjacencyWords) {
        uint32_t* adjacency = static_cast<uint32_t*>(MemAlloc(adjacencyWords * 4));
        const uint32_t faces = indexCount / 3;
        for (uint32_t i = 0; i < adjacencyWords; ++i) {
            const uint32_t b = in.Byte();
            adjacency[i] = b >= 250 ? (b == 255 ? 0xFFFFFFFFu : in.Word()) : (faces ? b % faces : b);
        }
        record.AdoptAdjacency(adjacency, adjacencyWords * 4);
    }

    SkinData skin;
    const uint32_t skinVertices = (in.Byte() & 7) == 0 ? vertexCount + 1 : vertexCount;
    const uint32_t influenceCount = in.Byte() % 96;
    skin.boneNames.Resize(int32_t(boneCount));
    skin.firstInfluences.Resize(int32_t(skinVertices));
    skin.influenceCounts.Resize(int32_t(skinVertices));
    skin.influences.Resize(int32_t(influenceCount));
    for (uint32_t v = 0; v < skinVertices; ++v) {
        skin.firstInfluences[int32_t(v)] = int32_t(in.Byte()) - 8;
        skin.influenceCounts[int32_t(v)] = int32_t(in.Byte() % 6) - 1;
    }
    for (uint32_t i = 0; i < influenceCount; ++i) {
        skin.influences[int32_t(i)].bone = int32_t(in.Byte() % 10) - 1;
        skin.influences[int32_t(i)].weight = float(in.Byte()) / 255.0f;
    }

    const std::vector<Tri> before = Triangles(record);
    std::vector<uint8_t> bytes(record.vertices.streams[0], record.vertices.streams[0] + vertexCount * 24);
    const std::vector<int32_t> firsts(skin.firstInfluences.begin(), skin.firstInfluences.end());
    const MeshOptimizeResult result = MeshData::Optimize(record, &skin, meshfixtures::HeadlessDevice());
    if (result != MeshOptimizeResult::kOptimized) {
        if (std::memcmp(bytes.data(), record.vertices.streams[0], bytes.size()) != 0) __builtin_trap();
        if (!std::equal(firsts.begin(), firsts.end(), skin.firstInfluences.begin())) __builtin_trap();
    }
    if (Triangles(record) != before) __builtin_trap();

    if (skin.BuildGroups(record)) {
        std::vector<int> seen(vertexCount, 0);
        for (const SkinGroup& g : skin.groups) {
            if (g.vertices.count % 4 != 0) __builtin_trap();
            for (int32_t i = 0; i < g.vertices.count; ++i)
                if (i == 0 || g.vertices[i] != g.vertices[i - 1]) ++seen[size_t(g.vertices[i])];
        }
        for (int s : seen)
            if (s != 1) __builtin_trap();
    } else if (skin.groups.count != 0) {
        __builtin_trap();
    }
    return 0;
}
