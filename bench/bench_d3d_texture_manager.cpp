// The texture manager's Load of a name it already holds: the name search (one file check
// per candidate), the script check beside it and the shared texture's lookup, with and
// without trying the other image extensions. Textures are made without a device, so only
// the manager's own work is measured.
#include "D3d/Texture.h"
#include "D3d/TextureManager.h"

#include <benchmark/benchmark.h>
#include <stdio.h>

namespace {

void WriteImage(const char* name) {
    if (FILE* f = fopen(name, "wb")) {
        fputs("bench", f);
        fclose(f);
    }
}

void LoadHeld(benchmark::State& state, const char* request, u32 flags) {
    WriteImage("bench_texeng_held.png");
    TheTextureManager().Reset();
    TextureDesc first;
    first.path = patht(request);
    first.flags = flags;
    Texture* held = TheTextureManager().Load(first, nullptr);
    if (!held) {
        state.SkipWithError("the first load failed");
        return;
    }
    for (auto _ : state) {
        TextureDesc desc;
        desc.path = patht(request);
        desc.flags = flags;
        Texture* again = TheTextureManager().Load(desc, nullptr);
        benchmark::DoNotOptimize(again);
        TheTextureManager().Release(again);
    }
    TheTextureManager().Reset();
    remove("bench_texeng_held.png");
}

void BM_TextureManagerLoadHeld(benchmark::State& state) { LoadHeld(state, "bench_texeng_held.png", 0); }
void BM_TextureManagerLoadHeldNoScript(benchmark::State& state) {
    LoadHeld(state, "bench_texeng_held.png", TEXDESC_NO_SCRIPT);
}
void BM_TextureManagerLoadHeldTryingExtensions(benchmark::State& state) {
    LoadHeld(state, "bench_texeng_held.jpg", TEXDESC_TRY_EXTENSIONS | TEXDESC_NO_SCRIPT);
}

}  // namespace

BENCHMARK(BM_TextureManagerLoadHeld);
BENCHMARK(BM_TextureManagerLoadHeldNoScript);
BENCHMARK(BM_TextureManagerLoadHeldTryingExtensions);
