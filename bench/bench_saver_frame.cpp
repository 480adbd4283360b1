// One frame of the full-screen saver: ScreenSaver::Full::DoRender with the empty scene and
// the frame-rate and clock overlays shown, on the reference device in a window (the main
// loop's message pump and input polling are not part of it). Recording is off while timed;
// the calls of one more frame are taken from the call log and reported per frame.
//
// The ceiling replays that frame's recorded device calls alone (bench/FrameReplay.h): the
// cost of the device work with none of the saver's, the cache's or the window system's.
#include "Core/Log.h"
#include "Core/TextData.h"
#include "Core/TextDataTree.h"
#include "Core/WString.h"
#include "D3d/FontManager.h"
#include "D3d/StateCache.h"
#include "D3d/TextureManager.h"
#include "Gui/WindowManager.h"
#include "Screen/ScreenSaverFull.h"
#include "FrameReplay.h"

#include <PlatformTestD3d9.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// A white 128 x 64 atlas of 8 x 10 cells, characters 32 to 126: enough for the overlays'
// digits, colons and letters.
bool LoadBenchFont() {
    TheFontManager().Clear();
    const char* bmpName = "bench_saver_frame.bmp";
    const char* cssName = "bench_saver_frame.css";
    const unsigned w = 128, h = 64;
    std::vector<unsigned char> bmp(54 + w * h * 4, 0xFF);
    auto put32 = [&](size_t at, unsigned v) {
        for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    std::memset(bmp.data(), 0, 54);
    bmp[0] = 'B', bmp[1] = 'M';
    put32(2, static_cast<unsigned>(bmp.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    bmp[26] = 1;
    bmp[28] = 32;
    std::ofstream(bmpName, std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), static_cast<long>(bmp.size()));
    std::ofstream(cssName) << "Name = \"" << bmpName
                           << "\"; CharWidth = 8; CharHeight = 10; CharsPerLine = 16; StartChar = 32; EndChar = 126;";
    TextDataTree doc;
    const std::string text = std::string("Styles[0].Size = 64; Styles[0].Charsets = array(\"") + cssName + "\");";
    const bool loaded = TextData::LoadText(WString::FromNarrow(text.c_str()), doc, nullptr, TextData::kStatementForm) &&
                        TheFontManager().LoadFontFromTree(doc, patht(""), 0);
    std::remove(cssName);
    std::remove(bmpName);
    return loaded && TheFontManager().GetDefaultCharset() != nullptr;
}

// The saver with a windowed device and its two overlays, as a run with "ShowFps" and
// "ShowTime" draws them.
struct SaverFrame {
    std::unique_ptr<ScreenSaver::Full> owned{new ScreenSaver::Full};
    ScreenSaver::Full& saver = *owned;
    bool ok = false;

    SaverFrame() {
        SetLogMasterSwitch(false);
        ok = saver.Application::Create(GetModuleHandleA(nullptr), nullptr) && saver.SetMode(false) && LoadBenchFont();
        if (!ok) return;
        saver.PathActive = 0;  // the free camera: no flight file is needed
        for (RichTextWindow* overlay : {&saver.FpsText, &saver.ClockText}) overlay->Style().size = 64;
        saver.FpsText.SetRect(IntRect(10, 10, 256, 128));
        saver.FpsText.SetIntParam(2);
        saver.FpsText.SetRawText(WString::FromNarrow("60"));
        saver.FpsText.Show();
        saver.ClockText.SetRect(IntRect(200, 300, 350, 74));
        saver.ClockText.SetRawText(WString::FromNarrow("11:22:33 pm"));
        saver.ClockText.Show();
        // The first frames lay the overlays out; the timed ones only redraw.
        for (int i = 0; i < 3; ++i) saver.DoRender();
    }
    ~SaverFrame() {
        HWND window = saver.GetWindow();
        // The overlays give their meshes back to the window manager as they go.
        owned.reset();
        if (window) DestroyWindow(window);
        TheWindowManager().Reset();
        TheFontManager().Clear();
        SetLogMasterSwitch(true);
    }

    // Every call of one frame, with recording on for that frame only.
    std::vector<std::string> RecordFrame() {
        PlatformTest_D3d9SetRecording(true);
        PlatformTest_D3d9ClearCallLog();
        saver.DoRender();
        std::vector<std::string> log = PlatformTest_D3d9CallLog();
        PlatformTest_D3d9SetRecording(false);
        return log;
    }
};

void BM_SaverFrame(benchmark::State& state) {
    SaverFrame frame;
    if (!frame.ok) {
        state.SkipWithError("no reference device");
        return;
    }
    PlatformTest_D3d9SetRecording(false);
    const size_t drawsBefore = PlatformTest_D3d9DrawCount();
    for (auto _ : state) benchmark::DoNotOptimize(frame.saver.DoRender());
    state.counters["device_draws_per_frame"] =
        static_cast<double>(PlatformTest_D3d9DrawCount() - drawsBefore) / static_cast<double>(state.iterations());
    state.counters["device_calls_per_frame"] = static_cast<double>(frame.RecordFrame().size());
    PlatformTest_D3d9SetRecording(true);
}
BENCHMARK(BM_SaverFrame)->Unit(benchmark::kMicrosecond);

// ---- the ceiling ------------------------------------------------------------------------------

void BM_SaverFrameReplayCeiling(benchmark::State& state) {
    std::vector<framereplay::Call> calls;
    int skipped = 0;
    size_t recorded = 0;
    IDirect3DDevice9* device = nullptr;
    SaverFrame frame;
    if (!frame.ok) {
        state.SkipWithError("no reference device");
        return;
    }
    const std::vector<std::string> log = frame.RecordFrame();
    recorded = log.size();
    calls = framereplay::Parse(log, skipped);
    device = frame.saver.device;
    {
        // Room for the largest screen-space draw: glyph quads, 4096 triangles.
        framereplay::Replay replay(device, 4096);
        for (auto _ : state) replay.Run(calls);
    }
    state.counters["device_calls_per_frame"] = static_cast<double>(recorded);
    state.counters["replayed_calls"] = static_cast<double>(calls.size());
    state.counters["skipped_calls"] = skipped;
    PlatformTest_D3d9SetRecording(true);
}
BENCHMARK(BM_SaverFrameReplayCeiling)->Unit(benchmark::kMicrosecond);

}  // namespace
