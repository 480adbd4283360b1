// Vertex blending: vertices per second of the SSE and the scalar kernel over 50,000
// vertices with four influences each in the 56-byte layout (position, normal, texture
// coordinate, tangent, binormal), every element blended and written, against a memcpy of
// the same bytes, the ceiling that no kernel writing that much memory can pass.
#include "Scene/SkinKernel.h"
#include "tests/SkinFixtures.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr u32 kVertices = 50000;
constexpr u32 kBones = 40;
constexpr u32 kStride = 56;

struct Scene {
    std::unique_ptr<skinfixtures::SkinModel> model{skinfixtures::FourInfluenceModel(kVertices, kBones, 3)};
    std::vector<const Matrix*> bones = model->BonePointers();
    std::vector<u8> target = std::vector<u8>(size_t(kVertices) * kStride);

    SkinBlendJob Job() {
        SkinBlendJob job;
        job.skin = &model->skin;
        job.source = &model->mesh;
        job.bones = bones.data();
        job.boneCount = kBones;
        job.target = target.data();
        job.targetBytes = target.size();
        job.targetStride = kStride;
        job.targetPosition = 0;
        job.targetNormal = 12;
        job.targetTangent = 32;
        job.targetBinormal = 44;
        job.blendNormals = true;
        job.blendTangents = true;
        return job;
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

void Skin(benchmark::State& state, SkinKernel::Kind kind) {
    Scene& scene = TheScene();
    const SkinBlendJob job = scene.Job();
    if (!SkinKernel::Blend(kind, job)) {
        state.SkipWithError("the kernel refused the job");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(SkinKernel::Blend(kind, job));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(i64(state.iterations()) * kVertices);
    state.SetBytesProcessed(i64(state.iterations()) * kVertices * kStride);
}

void BM_SkinningSse(benchmark::State& state) { Skin(state, SkinKernel::kSse); }
void BM_SkinningScalar(benchmark::State& state) { Skin(state, SkinKernel::kScalar); }

void BM_SkinningMemcpyCeiling(benchmark::State& state) {
    Scene& scene = TheScene();
    const u8* source = scene.model->mesh.vertices.streams[0];
    for (auto _ : state) {
        std::memcpy(scene.target.data(), source, scene.target.size());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(i64(state.iterations()) * kVertices);
    state.SetBytesProcessed(i64(state.iterations()) * kVertices * kStride);
}

}  // namespace

BENCHMARK(BM_SkinningSse);
BENCHMARK(BM_SkinningScalar);
BENCHMARK(BM_SkinningMemcpyCeiling);
