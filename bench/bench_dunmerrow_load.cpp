// Loading the product scene: Dunmerrow::LoadCustom on the reference device (a window of
// its own, the shipped configuration, no effects, no audio library) over the synthetic
// world of the scene's tests, written once into a folder of the benchmark's own. Each
// iteration times LoadCustom alone on a fresh scene; building the scene and its device
// and tearing them down again are not timed.
//
// The ceiling loads the same ten model files (ground, sky, box, four flares, palm and the
// sprite quad twice) with AdvScene::Load into fresh models on the same kind of device: the
// part of LoadCustom that is model loading, without regrouping, sprites, sky table,
// lights, glows, magic emitters, the distortion view and the music.
#include "Core/Log.h"
#include "Dunmerrow/Dunmerrow.h"
#include "tests/DunmerrowWorld.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

// The synthetic world in a folder of its own, entered while the benchmark runs.
struct BenchWorld {
    fs::path home = fs::current_path();
    fs::path folder = fs::temp_directory_path() / ("corvane_bench_dunmerrow_" + std::to_string(getpid()));

    BenchWorld() {
        fs::remove_all(folder);
        fs::create_directories(folder);
        fs::current_path(folder);
        dunmerrowtest::WriteSyntheticModels(folder);
    }
    ~BenchWorld() {
        fs::current_path(home);
        fs::remove_all(folder);
        SetLogMasterSwitch(true);
    }
};

// A scene with a windowed device and the shipped configuration read, not yet loaded.
std::unique_ptr<Dunmerrow> MakeScene() {
    auto scene = std::make_unique<Dunmerrow>();
    if (!scene->LoadConfig() || !scene->Application::Create(GetModuleHandleA(nullptr), nullptr) ||
        !scene->SetMode(false))
        return nullptr;
    return scene;
}

void DropScene(std::unique_ptr<Dunmerrow>& scene) {
    if (!scene) return;
    HWND window = scene->GetWindow();
    scene->ReleaseCustom();
    scene.reset();
    if (window) DestroyWindow(window);
}

void BM_DunmerrowLoadCustom(benchmark::State& state) {
    BenchWorld world;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<Dunmerrow> scene = MakeScene();
        if (!scene) {
            state.SkipWithError("no reference device");
            break;
        }
        state.ResumeTiming();
        benchmark::DoNotOptimize(scene->LoadCustom());
        state.PauseTiming();
        DropScene(scene);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DunmerrowLoadCustom)->Unit(benchmark::kMillisecond);

void BM_DunmerrowModelLoadsAlone(benchmark::State& state) {
    BenchWorld world;
    std::unique_ptr<Dunmerrow> device = MakeScene();
    if (!device) {
        state.SkipWithError("no reference device");
        return;
    }
    static const char* const kFiles[] = {"Models/All/Ground.UDF",    "Models/All/Sky.UDF",        "Models/Box.UDF",
                                         "Models/Flares/Flare1.UDF", "Models/Flares/Flare2.UDF", "Models/Flares/Flare3.UDF",
                                         "Models/Flares/Flare4.UDF", "Models/All/Palm.UDF",       "Models/Quad.udf",
                                         "Models/Quad.udf"};
    constexpr size_t kCount = sizeof kFiles / sizeof kFiles[0];
    for (auto _ : state) {
        auto models = std::make_unique<AdvScene[]>(kCount);
        LOADDESC desc;
        for (size_t i = 0; i < kCount; ++i) benchmark::DoNotOptimize(models[i].Load(MediaPath(String(kFiles[i])), &desc));
        state.PauseTiming();
        models.reset();
        state.ResumeTiming();
    }
    DropScene(device);
}
BENCHMARK(BM_DunmerrowModelLoadsAlone)->Unit(benchmark::kMillisecond);

}  // namespace
