// The Application's declaration cache: what a draw pays to find the device declaration of
// its layout among the layouts a scene uses, against building the layout's key alone.
#include "D3d/Application.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// The layouts of a scene: position, normal, up to four texture coordinate sets, colours.
std::vector<VertexDeclaration> SceneLayouts() {
    std::vector<VertexDeclaration> layouts;
    const u32 extras[] = {0, D3DFVF_NORMAL, D3DFVF_DIFFUSE, D3DFVF_NORMAL | D3DFVF_DIFFUSE};
    for (u32 extra : extras) {
        for (u32 sets = 0; sets <= 4; ++sets) {
            VertexDeclaration layout;
            layout.SetFVF(D3DFVF_XYZ | extra | (sets << D3DFVF_TEXCOUNT_SHIFT));
            layouts.push_back(layout);
        }
    }
    return layouts;
}

void DeclarationCacheHit(benchmark::State& state) {
    Application app;
    if (!app.Create(GetModuleHandleA(nullptr), nullptr) || !app.SetMode(false)) {
        state.SkipWithError("no windowed device");
        return;
    }
    const std::vector<VertexDeclaration> layouts = SceneLayouts();
    for (const auto& layout : layouts) app.GetVertexDeclaration(layout);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(app.GetVertexDeclaration(layouts[i]));
        if (++i == layouts.size()) i = 0;
    }
    state.counters["layouts"] = static_cast<double>(layouts.size());
    DestroyWindow(app.GetWindow());
}

void DeclarationKeyOnly(benchmark::State& state) {
    const std::vector<VertexDeclaration> layouts = SceneLayouts();
    size_t i = 0;
    for (auto _ : state) {
        VertexDeclaration copy = layouts[i];
        benchmark::DoNotOptimize(copy);
        if (++i == layouts.size()) i = 0;
    }
}

}  // namespace

BENCHMARK(DeclarationCacheHit);
BENCHMARK(DeclarationKeyOnly);
