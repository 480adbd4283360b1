// One effect draw as the mesh draw runs it, on the reference device with recording off:
// choosing the technique selection (built once, then taken from the cache), setting the
// eighteen standard parameters, and the passes with Begin, BeginPass and End, for one light
// (one technique) and for three lights that need three techniques.
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "Effect/EffectManager.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "Effect/StandardEffect.h"
#include "tests/EffectDrawSources.h"

#include <PlatformTestD3d9.h>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class BenchEffect : public StandardEffect {
public:
    BenchEffect() {
        // Every standard name, as an effect whose source declares them all.
        const auto* node = catalogue.first;
        for (u32 i = 0; i < catalogue.count; ++i, node = node->next) BindParameter(node->key);
        SetDefaultTechnique(String("Lit"));
    }
    bool Load(const fs::path& source) {
        if (!Effect::Create() || !pool.Create()) return false;
        Array<LightGroup> groups = effectdraw::LitGroups(1);
        return LoadEffectGroup(codes, effectdraw::LitDesc(source, &pool), 0, groups, 20);
    }
    bool SelectTechnique(Material* material, i32 layer, i32& passes) override {
        return SetupLightTechnique(material, layer, lightLimit, lightPlan, passes);
    }
};

// An application with a device, the source in a folder of its own, and the effect.
struct Stage {
    fs::path folder = fs::temp_directory_path() / "corvane_bench_effect_draw";
    fs::path saved = fs::current_path();
    Application app;
    BenchEffect effect;
    bool ready = false;

    Stage() {
        // Sources are named relative to the working folder, as media are.
        fs::create_directories(folder / "Shaders");
        fs::current_path(folder);
        const fs::path source = fs::path("Shaders") / "Lit.fx";
        std::ofstream(source, std::ios::binary) << effectdraw::kLitSource;
        if (!app.Create(GetModuleHandleA(nullptr), nullptr) || !app.SetMode(false)) return;
        PlatformTest_D3d9SetRecording(false);
        ready = effect.Load(source);
    }
    ~Stage() {
        TheEffectManager().Reset();
        fs::current_path(saved);
        fs::remove_all(folder);
    }
};

void Draw(benchmark::State& state, std::initializer_list<RefHandle<Light>> lights) {
    Stage stage;
    if (!stage.ready) return state.SkipWithError("no device or no effect");
    RenderContext context;
    context.lighting = effectdraw::Lighting(lights);
    Material material;
    material.context = &context;
    i64 passesDrawn = 0;
    for (auto _ : state) {
        i32 passes = 0;
        stage.effect.SelectTechnique(&material, 0, passes);
        stage.effect.SetParameters(&material, 0);
        for (i32 p = 0; p < passes; ++p) stage.effect.BeginPass(p);
        stage.effect.End();
        passesDrawn += passes;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["passes/draw"] = static_cast<double>(passesDrawn) / static_cast<double>(state.iterations());
}

void DrawOneLight(benchmark::State& state) { Draw(state, {effectdraw::Dir(0.9f)}); }

void DrawThreeTechniques(benchmark::State& state) {
    Draw(state, {effectdraw::Dir(0.9f), effectdraw::Point(1, 2, 3), effectdraw::Dir(0.5f)});
}

// Only the technique choice, from the cache.
void SelectCached(benchmark::State& state) {
    Stage stage;
    if (!stage.ready) return state.SkipWithError("no device or no effect");
    RenderContext context;
    context.lighting = effectdraw::Lighting({effectdraw::Dir(0.9f), effectdraw::Point(1, 2, 3)});
    Material material;
    material.context = &context;
    for (auto _ : state) {
        i32 passes = 0;
        benchmark::DoNotOptimize(stage.effect.SelectTechnique(&material, 0, passes));
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(DrawOneLight);
BENCHMARK(DrawThreeTechniques);
BENCHMARK(SelectCached);

}  // namespace
