// One frame of the render queue on the reference device: 2,000 items over 20 materials
// (eight of them drawn by one of 4 effects, three blended) filed with Submit and drawn with
// Draw, with and without grouping by effect. Reported per run: items per second, device
// calls per item (the call log of one recorded frame), and the share of state sets that
// the state cache kept from the device in that frame.
//
// The effects here are stand-ins that select one pass and make no D3DX calls, so the
// figures are those of the queue, the meshes, the materials and the state cache; an
// effect's own parameter and pass costs come on top (see bench_d3dx_effect.cpp).
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"
#include "Effect/DebugBox.h"
#include "Effect/Effect.h"
#include "Effect/Material.h"
#include "Effect/MeshObject.h"
#include "Effect/RenderQueue.h"

#include <PlatformTestD3d9.h>
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kItems = 2000;
constexpr int kMaterials = 20;
constexpr int kEffects = 4;
constexpr int kMeshes = 50;

// One pass, no device calls: the queue's batching decides how often it is opened.
class OnePassEffect : public Effect {
public:
    bool SetParameters(Material*, i32) override { return true; }
    bool SelectTechnique(Material*, i32, i32& passes) override {
        passes = 1;
        passTotal = 1;
        return true;
    }
    bool BeginPass(i32) override { return true; }
    bool End() override { return true; }
};

struct Scene {
    Application app;
    bool ready = false;
    OnePassEffect effects[kEffects];
    Material materials[kMaterials];
    std::vector<std::unique_ptr<DrawItem>> meshes;
    std::vector<Box> boxes;

    Scene() {
        if (!app.Create(GetModuleHandleA(nullptr), nullptr) || !app.SetMode(false)) return;
        StateCache::InvalidateAll();
        TheDebugBox().Reset();
        if (!TheDebugBox().EnsureGeometry()) return;
        for (int i = 0; i < kMaterials; ++i) {
            MaterialLayer& layer = materials[i].layers[0];
            if (i < 8) layer.effect = &effects[i % kEffects];
            layer.cullMode = i % 2 ? D3DCULL_CW : D3DCULL_CCW;
            layer.depthWrite = i % 3 ? 1 : 0;
            layer.colors.SetDiffuse(1.0f, f32(i) / kMaterials, 0.5f, 0.25f);
            if (i >= 17) {  // blended: drawn in the transparent run
                layer.blendEnabled = 1;
                layer.destBlend = D3DBLEND_INVSRCALPHA;
            }
        }
        for (int i = 0; i < kMeshes; ++i) meshes.emplace_back(TheDebugBox().Mesh().Clone());
        std::mt19937 rng(15);
        std::uniform_real_distribution<f32> position(-50.0f, 50.0f);
        for (int i = 0; i < kItems; ++i) boxes.push_back(Box{position(rng), position(rng), position(rng), 1.0f, 1.0f, 1.0f});
        ready = true;
    }
    ~Scene() {
        meshes.clear();
        TheDebugBox().Reset();
        StateCache::InvalidateAll();
    }

    void Fill(RenderQueue& queue, bool grouped) {
        for (int i = 0; i < kItems; ++i) {
            auto* item = new RenderItem;
            item->drawable = meshes[i % kMeshes].get();
            item->material = &materials[i % kMaterials];
            item->context.box = boxes[i];
            item->context.sceneFlags = grouped ? u32(kSceneGroupByEffect) : 0u;
            item->context.world.valid = 1;
            item->context.view.valid = 1;
            item->context.projection.valid = 1;
            queue.Submit(item);
        }
    }
};

void RenderQueueFrame(benchmark::State& state) {
    const bool grouped = state.range(0) != 0;
    Scene scene;
    if (!scene.ready) {
        state.SkipWithError("no reference device");
        return;
    }
    RenderQueue queue;
    queue.SetGroupByEffect(grouped);

    // One recorded frame for the per-item figures.
    PlatformTest_D3d9SetRecording(true);
    PlatformTest_D3d9ClearCallLog();
    StateCache::ResetCounts();
    scene.Fill(queue, grouped);
    queue.Draw();
    const double calls = double(PlatformTest_D3d9CallLog().size());
    const StateCache::Counts counts = StateCache::GetCounts();
    queue.Clear();
    PlatformTest_D3d9SetRecording(false);

    for (auto _ : state) {
        scene.Fill(queue, grouped);
        benchmark::DoNotOptimize(queue.Draw());
        queue.Clear();
    }
    state.SetItemsProcessed(state.iterations() * kItems);
    state.counters["device_calls_per_item"] = calls / kItems;
    state.counters["state_sets_per_item"] = double(counts.requested) / kItems;
    state.counters["cache_filtered_share"] =
        counts.requested ? 1.0 - double(counts.sent) / double(counts.requested) : 0.0;
    PlatformTest_D3d9SetRecording(true);
}

}  // namespace

BENCHMARK(RenderQueueFrame)->Arg(0)->Arg(1)->ArgName("grouped")->Unit(benchmark::kMillisecond);
