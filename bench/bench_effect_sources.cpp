// Start-up's EffectManager::Create, on the reference device with recording off: cold, every
// variant of the four effects compiled from its source, against warm, loaded from the
// compiled ".fxo" files an earlier run saved beside the sources (the shadow-mapped effect
// compiles its two variants either way); and the variants alone through the effect cache,
// without the effects around them. The sources are copied from the media into a folder of
// their own, since compiled files are written to disk.
#include "D3d/Application.h"
#include "Effect/EffectCode.h"
#include "Effect/EffectManager.h"
#include "tools/ShaderVariants.h"

#include <PlatformTestD3d9.h>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Stage {
    fs::path folder = fs::temp_directory_path() / "corvane_bench_effect_sources";
    fs::path saved = fs::current_path();
    Application app;
    EffectSettings settings = TheEffectManager().settings;
    bool ready = false;

    Stage() {
        fs::remove_all(folder);
        fs::create_directories(folder / "Shaders");
        std::error_code error;
        for (const shadervariants::Source& source : shadervariants::EngineSources())
            fs::copy_file(fs::path(CORVANE_SOURCE_DIR) / "Media" / "Shaders" / source.file,
                          folder / "Shaders" / source.file, error);
        fs::current_path(folder);
        if (error || !app.Create(GetModuleHandleA(nullptr), nullptr) || !app.SetMode(false)) return;
        PlatformTest_D3d9SetRecording(false);
        ready = true;
    }
    ~Stage() {
        TheEffectManager().Reset();
        TheEffectManager().settings = settings;
        fs::current_path(saved);
        fs::remove_all(folder);
    }
};

// Every variant once; false when one does not build.
bool BuildAll(bool forceCompile, bool saveCompiled, i64& variants) {
    std::vector<RefHandle<EffectCode>> codes;
    for (const shadervariants::Source& source : shadervariants::EngineSources()) {
        for (const shadervariants::DefinitionSet& set : source.sets) {
            SHADERDESC desc;
            desc.forceCompile = forceCompile;
            desc.saveCompiled = saveCompiled;
            desc.path = patht(("Shaders/" + source.file).c_str());
            desc.path.flags = kPathDisk;
            for (const shadervariants::Definition& d : set)
                desc.macros.Add(ShaderMacro{String(d.name.c_str()), String(d.value.c_str())});
            codes.push_back(TheEffectManager().GetEffectCode(&desc));
            if (!codes.back()) return false;
            ++variants;
        }
    }
    return true;  // the handles go here, and the codes with them
}

void Build(benchmark::State& state, bool warm) {
    Stage stage;
    if (!stage.ready) return state.SkipWithError("no device or no sources");
    i64 variants = 0;
    if (warm && !BuildAll(true, true, variants)) return state.SkipWithError("a variant does not build");
    variants = 0;
    for (auto _ : state)
        if (!BuildAll(!warm, false, variants)) return state.SkipWithError("a variant does not build");
    state.SetItemsProcessed(variants);
    state.counters["variants"] = static_cast<double>(variants) / static_cast<double>(state.iterations());
}

void CreateEffects(benchmark::State& state, bool warm) {
    Stage stage;
    if (!stage.ready) return state.SkipWithError("no device or no sources");
    static bool searched = false;
    if (!searched) TheEffectManager().searchPaths.AddSearchPath(patht("Shaders"));
    searched = true;
    TheEffectManager().settings.forceCompile = 1;
    TheEffectManager().settings.saveCompiled = warm ? 1 : 0;
    if (!TheEffectManager().Create() || TheEffectManager().Effects().count != 4)
        return state.SkipWithError("an effect does not build");
    TheEffectManager().settings.forceCompile = warm ? 0 : 1;
    TheEffectManager().settings.saveCompiled = 0;
    for (auto _ : state) {
        TheEffectManager().Reset();
        if (!TheEffectManager().Create() || TheEffectManager().Effects().count != 4)
            return state.SkipWithError("an effect does not build");
    }
    state.SetItemsProcessed(state.iterations());
}

void ManagerCreateCold(benchmark::State& state) { CreateEffects(state, false); }
void ManagerCreateWarm(benchmark::State& state) { CreateEffects(state, true); }
void EffectSourcesCold(benchmark::State& state) { Build(state, false); }
void EffectSourcesWarm(benchmark::State& state) { Build(state, true); }

}  // namespace

BENCHMARK(ManagerCreateCold)->Unit(benchmark::kMillisecond);
BENCHMARK(ManagerCreateWarm)->Unit(benchmark::kMillisecond);
BENCHMARK(EffectSourcesCold)->Unit(benchmark::kMillisecond);
BENCHMARK(EffectSourcesWarm)->Unit(benchmark::kMillisecond);
