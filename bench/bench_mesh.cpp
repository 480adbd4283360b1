// Mesh optimisation and skin groups on the reference device:
// - a 100,000-triangle grid (250 x 200 quads, faces in row order) reordered by the D3DX
//   mesh's OptimizeInplace: triangles per second, and the average cache-miss ratio (misses
//   per triangle) of a 16-entry FIFO cache before and after, as counters;
// - SkinData::BuildGroups over the grid's vertices in the shipped 56-byte layout, vertices
//   per second, against a memcpy of the same vertex bytes (the ceiling of any pass that
//   reads every vertex once).
#include "D3d/FrameSequence.h"
#include "Scene/MeshData.h"
#include "Scene/SkinData.h"
#include "tests/MeshFixtures.h"
#include "tests/SkinFixtures.h"

#include <benchmark/benchmark.h>
#include <d3d9.h>
#include <windows.h>

#include <cstring>
#include <vector>

namespace {


const meshfixtures::RawMesh& BigGrid() {
    static const meshfixtures::RawMesh grid = meshfixtures::Grid(250, 200);
    return grid;
}

void BM_OptimizeGrid(benchmark::State& state) {
    const meshfixtures::RawMesh& raw = BigGrid();
    const double triangles = double(raw.indices.size() / 3);
    std::vector<u32> after;
    for (auto _ : state) {
        state.PauseTiming();
        FrameSequence record;
        meshfixtures::Fill(record, raw, 2);
        state.ResumeTiming();
        if (MeshData::Optimize(record, nullptr, meshfixtures::HeadlessDevice()) != MeshOptimizeResult::kOptimized) {
            state.SkipWithError("optimisation failed");
            return;
        }
        state.PauseTiming();
        after = meshfixtures::Indices(record);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(triangles));
    state.counters["acmr_before"] = double(meshfixtures::FifoMisses(raw.indices.data(), raw.indices.size(), 16)) / triangles;
    state.counters["acmr_after"] = double(meshfixtures::FifoMisses(after.data(), after.size(), 16)) / triangles;
}
BENCHMARK(BM_OptimizeGrid)->Unit(benchmark::kMillisecond);

// The grid in the shipped layout (position, normal, texture coordinate, tangent, binormal:
// 56 bytes), each vertex with two bones chosen by its quarter of the grid.
struct SkinnedGrid {
    FrameSequence mesh;
    SkinData skin;
    SkinnedGrid() {
        const VertexDeclaration layout = skinfixtures::FullLayout();
        const u32 n = u32(BigGrid().vertices.size());
        mesh.vertices.Reserve(n, layout);
        for (u32 i = 0; i < n * 14; ++i) reinterpret_cast<f32*>(mesh.vertices.streams[0])[i] = f32(i % 97);
        skin.boneNames.Resize(8);
        skin.firstInfluences.Resize(i32(n));
        skin.influenceCounts.Resize(i32(n));
        skin.influences.Resize(i32(2 * n));
        for (u32 v = 0; v < n; ++v) {
            const i32 quarter = i32(v * 4 / n);
            skin.firstInfluences[i32(v)] = i32(2 * v);
            skin.influenceCounts[i32(v)] = 2;
            skin.influences[i32(2 * v)] = BoneInfluence{quarter, 0.75f};
            skin.influences[i32(2 * v + 1)] = BoneInfluence{quarter + 4, 0.25f};
        }
    }
};

void BM_BuildGroups(benchmark::State& state) {
    SkinnedGrid grid;
    for (auto _ : state) {
        if (!grid.skin.BuildGroups(grid.mesh)) {
            state.SkipWithError("BuildGroups failed");
            return;
        }
        benchmark::DoNotOptimize(grid.skin.groups.data);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * grid.mesh.vertices.vertexCount);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(grid.mesh.vertices.StreamBytes(0)));
}
BENCHMARK(BM_BuildGroups)->Unit(benchmark::kMillisecond);

void BM_BuildGroupsMemcpyCeiling(benchmark::State& state) {
    SkinnedGrid grid;
    const size_t bytes = size_t(grid.mesh.vertices.StreamBytes(0));
    std::vector<u8> target(bytes);
    for (auto _ : state) {
        std::memcpy(target.data(), grid.mesh.vertices.streams[0], bytes);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * grid.mesh.vertices.vertexCount);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_BuildGroupsMemcpyCeiling)->Unit(benchmark::kMillisecond);

}  // namespace
