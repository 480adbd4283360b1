// One full frame of the product scene at 1024 x 768 on the reference device: the saver's
// DoRender with Dunmerrow loaded from the built media archive (ground, sky, palms, the
// monument, glows, magic, shadow map and the distortion view), through the whole start-up
// the program runs. Recording is off while timed; one more frame is recorded to count the
// device calls, and the state cache's counts over the timed frames give the share of state
// sets it kept from the device.
//
// The ceiling replays that frame's recorded device calls alone (bench/FrameReplay.h): the
// device work with none of the scene's culling, queueing, cache or effect bookkeeping.
#include "Core/Log.h"
#include "D3d/StateCache.h"
#include "Dunmerrow/Dunmerrow.h"
#include "Effect/EffectManager.h"
#include "Gui/WindowManager.h"
#include "Screen/ProductSettings.h"
#include "Screen/SceneParams.h"
#include "FrameReplay.h"
#include "tests/linux/MediaResourcesSupport.h"

#include <windows.h>
#include <PlatformResources.h>
#include <PlatformTestD3d9.h>
#include <PlatformTestRegistry.h>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The product scene started as the program starts it, full screen at 1024 x 768, in a
// folder of its own (the saver writes its logs and caches into the working folder).
struct SceneFrame {
    fs::path home = fs::current_path();
    fs::path folder = fs::temp_directory_path() / "corvane-bench-dunmerrow";
    std::unique_ptr<MediaResources> media;
    std::unique_ptr<Dunmerrow> scene;
    bool ok = false;

    SceneFrame() {
        fs::remove_all(folder);
        fs::create_directories(folder);
        fs::current_path(folder);
        PlatformTest_SetRegistryFile((folder / "registry").c_str());
        PlatformTest_D3d9Reset();
        ResetTheSaver();
        ResetProductSettings();
        ResetDebugMode();
        TheWindowManager().Reset();
        TheEffectManager().Reset();
        std::ofstream("settings.txt", std::ios::binary) << "\xEF\xBB\xBF"
                                                           "UseDesktop = 0\nWidth = 1024\nHeight = 768\nDepth = 32\n"
                                                           "Music = 0\n";
        media = std::make_unique<MediaResources>();
        scene = std::make_unique<Dunmerrow>();
        ok = media->HasArchive() && scene->Create(GetModuleHandleA(nullptr), nullptr);
        // The scene switched the log off; the first frames settle the caches and queries.
        for (int i = 0; ok && i < 5; ++i) scene->DoRender();
    }
    ~SceneFrame() {
        if (scene) scene->ReleaseCustom();
        scene.reset();
        TheWindowManager().Reset();
        TheEffectManager().Reset();
        media.reset();
        PlatformTest_D3d9Reset();
        ResetTheSaver();
        ResetProductSettings();
        SetLogMasterSwitch(true);
        fs::current_path(home);
        fs::remove_all(folder);
    }
    SceneFrame(const SceneFrame&) = delete;
    SceneFrame& operator=(const SceneFrame&) = delete;

    // Every call of one frame, with recording on for that frame only.
    std::vector<std::string> RecordFrame() {
        PlatformTest_D3d9SetRecording(true);
        PlatformTest_D3d9ClearCallLog();
        scene->DoRender();
        std::vector<std::string> log = PlatformTest_D3d9CallLog();
        PlatformTest_D3d9SetRecording(false);
        return log;
    }
};

void BM_DunmerrowFrame(benchmark::State& state) {
    SceneFrame frame;
    if (!frame.ok) {
        state.SkipWithError("no reference device or no media archive");
        return;
    }
    PlatformTest_D3d9SetRecording(false);
    const size_t drawsBefore = PlatformTest_D3d9DrawCount();
    StateCache::ResetCounts();
    for (auto _ : state) benchmark::DoNotOptimize(frame.scene->DoRender());
    const StateCache::Counts counts = StateCache::GetCounts();
    const double frames = static_cast<double>(state.iterations());
    state.counters["device_draws_per_frame"] = static_cast<double>(PlatformTest_D3d9DrawCount() - drawsBefore) / frames;
    state.counters["state_sets_per_frame"] = static_cast<double>(counts.requested) / frames;
    state.counters["cache_filtered_share"] =
        counts.requested ? static_cast<double>(counts.requested - counts.sent) / static_cast<double>(counts.requested) : 0.0;
    state.counters["device_calls_per_frame"] = static_cast<double>(frame.RecordFrame().size());
    state.counters["ground_nodes"] = static_cast<double>(frame.scene->ground.GetRoot()->CountNodes(false, true, false));
    PlatformTest_D3d9SetRecording(true);
}
BENCHMARK(BM_DunmerrowFrame)->Unit(benchmark::kMillisecond);

void BM_DunmerrowFrameReplayCeiling(benchmark::State& state) {
    SceneFrame frame;
    if (!frame.ok) {
        state.SkipWithError("no reference device or no media archive");
        return;
    }
    const std::vector<std::string> log = frame.RecordFrame();
    int skipped = 0;
    const std::vector<framereplay::Call> calls = framereplay::Parse(log, skipped);
    {
        // Room for the largest draw: the ground's dunes, some fifty thousand triangles.
        framereplay::Replay replay(frame.scene->device, 65536);
        for (auto _ : state) replay.Run(calls);
    }
    state.counters["device_calls_per_frame"] = static_cast<double>(log.size());
    state.counters["replayed_calls"] = static_cast<double>(calls.size());
    state.counters["skipped_calls"] = skipped;
    PlatformTest_D3d9SetRecording(true);
}
BENCHMARK(BM_DunmerrowFrameReplayCeiling)->Unit(benchmark::kMillisecond);

}  // namespace
