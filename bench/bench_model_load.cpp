// Loading a 50,000-vertex skinned model from memory: AdvScene::Load (the reader, the walk,
// the mesh record with its skin, the bind pose and the binding of the skinned mesh to its
// bones) against the ceiling, the binary reader alone reading every node of the same
// bytes. The model is one skinned grid under two bones, in the exporter's 56-byte layout,
// with mesh optimisation switched off by its property (no device here).
#include "Core/ArchiveStream.h"
#include "Core/UdfBinaryTree.h"
#include "Scene/AdvScene.h"
#include "tests/ModelBuilder.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace modelbuilder;

constexpr u32 kColumns = 250;
constexpr u32 kRows = 200;
constexpr u32 kStride = 56;

const Bytes& SkinnedModel() {
    static const Bytes bytes = [] {
        const u32 vertices = kColumns * kRows;
        std::vector<f32> verts(static_cast<std::size_t>(vertices) * (kStride / 4), 0.0f);
        std::vector<u32> firsts(vertices);
        std::vector<u32> counts(vertices, 1);
        std::vector<ModelBuilder::Influence> weights(vertices);
        for (u32 v = 0; v < vertices; ++v) {
            f32* p = &verts[static_cast<std::size_t>(v) * (kStride / 4)];
            p[0] = static_cast<f32>(v % kColumns);
            p[1] = static_cast<f32>(v / kColumns);
            p[5] = -1.0f;
            firsts[v] = v;
            weights[v] = {v / kColumns < kRows / 2 ? 0u : 1u, 1.0f};
        }
        std::vector<u16> indices;
        for (u32 y = 0; y + 1 < kRows; ++y)
            for (u32 x = 0; x + 1 < kColumns; ++x) {
                const u16 a = static_cast<u16>(y * kColumns + x);
                const u16 b = static_cast<u16>(a + 1);
                const u16 c = static_cast<u16>(a + kColumns);
                const u16 d = static_cast<u16>(c + 1);
                indices.insert(indices.end(), {a, c, b, b, c, d});
            }
        ModelBuilder model;
        UdfNode* hip = ModelBuilder::Node(model.Root(), "Hip", "Bone");
        ModelBuilder::SetTransforms(hip, IdentityMatrix);
        ModelBuilder::SetTransforms(ModelBuilder::Node(hip, "Knee", "Bone"), Translation(0, 100, 0));
        UdfNode* mesh = ModelBuilder::Node(model.Root(), "Grid", "Mesh");
        ModelBuilder::SetTransforms(mesh, IdentityMatrix);
        ModelBuilder::Prop(mesh, "OptimizeMesh", "0");
        ModelBuilder::SetMesh(mesh, ShippedDecl(), AsBytes(verts), vertices, AsBytes(indices),
                              static_cast<u32>(indices.size()));
        ModelBuilder::SetSkin(mesh, {"Hip", "Knee"}, firsts, counts, weights);
        return model.Build();
    }();
    return bytes;
}

void BM_ModelLoad(benchmark::State& state) {
    const Bytes& bytes = SkinnedModel();
    for (auto _ : state) {
        AdvScene scene;
        LOADDESC desc;
        const bool loaded = scene.Load(patht::FromMemory(bytes.data(), static_cast<u32>(bytes.size())), &desc);
        benchmark::DoNotOptimize(loaded);
    }
    state.SetBytesProcessed(static_cast<i64>(state.iterations()) * static_cast<i64>(bytes.size()));
}
BENCHMARK(BM_ModelLoad)->Unit(benchmark::kMillisecond);

void BM_ModelReaderOnly(benchmark::State& state) {
    const Bytes& bytes = SkinnedModel();
    for (auto _ : state) {
        ArchiveStream stream;
        stream.Open(String(), kStreamRead);
        stream.BorrowBytes(bytes.data(), static_cast<u32>(bytes.size()));
        UdfBinaryTree reader;
        UdfNode* root = reader.Open(&stream);
        const bool loaded = root && root->Load(0, 0);
        benchmark::DoNotOptimize(loaded);
        reader.Close();
    }
    state.SetBytesProcessed(static_cast<i64>(state.iterations()) * static_cast<i64>(bytes.size()));
}
BENCHMARK(BM_ModelReaderOnly)->Unit(benchmark::kMillisecond);

}  // namespace
