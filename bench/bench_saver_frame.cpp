// One frame of the full-screen saver: ScreenSaver::Full::DoRender with the empty scene and
// the frame-rate and clock overlays shown, on the reference device in a window (the main
// loop's message pump and input polling are not part of it). Recording is off while timed;
// the calls of one more frame are taken from the call log and reported per frame.
//
// The ceiling replays that frame's recorded device calls alone, parsed once into a list
// of operations: the cost of the device work with none of the saver's, the cache's or
// the window system's. Calls that name objects are replayed with the replay's own (a
// texture; draws from the window meshes' buffers become draws from memory, so their
// declarations and streams are not replayed); calls the replay does not know are counted,
// not issued.
#include "Core/Log.h"
#include "Core/TextData.h"
#include "Core/TextDataTree.h"
#include "Core/WString.h"
#include "D3d/FontManager.h"
#include "D3d/StateCache.h"
#include "D3d/TextureManager.h"
#include "Gui/WindowManager.h"
#include "Screen/ScreenSaverFull.h"

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

enum class Op { RenderState, SamplerState, StageState, Clear, BeginScene, EndScene, Present, FVF, DrawUP, Texture,
                Draw, Shaders, Transform };
struct Call {
    Op op;
    unsigned long a = 0, b = 0, c = 0;
    double z = 0.0;
};

unsigned long Number(const std::string& text) { return std::strtoul(text.c_str(), nullptr, 0); }

std::vector<std::string> Arguments(const std::string& call) {
    std::vector<std::string> out;
    const size_t open = call.find('('), close = call.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close <= open) return out;
    std::string inner = call.substr(open + 1, close - open - 1);
    size_t at = 0;
    while (at <= inner.size()) {
        const size_t comma = inner.find(',', at);
        std::string piece = inner.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        while (!piece.empty() && piece.front() == ' ') piece.erase(piece.begin());
        if (!piece.empty()) out.push_back(piece);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return out;
}

// The replayable calls of a recorded frame; `skipped` counts the rest.
std::vector<Call> Parse(const std::vector<std::string>& log, int& skipped) {
    std::vector<Call> calls;
    skipped = 0;
    for (const std::string& line : log) {
        const std::string name = line.substr(0, line.find('('));
        const std::vector<std::string> args = Arguments(line);
        auto arg = [&](size_t i) { return i < args.size() ? Number(args[i]) : 0ul; };
        if (name == "SetRenderState" && args.size() >= 2) calls.push_back({Op::RenderState, arg(0), arg(1)});
        else if (name == "SetSamplerState" && args.size() >= 3) calls.push_back({Op::SamplerState, arg(0), arg(1), arg(2)});
        else if (name == "SetTextureStageState" && args.size() >= 3) calls.push_back({Op::StageState, arg(0), arg(1), arg(2)});
        else if (name == "Clear" && args.size() >= 4)
            calls.push_back({Op::Clear, arg(1), arg(2), 0, std::strtod(args[3].c_str(), nullptr)});
        else if (name == "BeginScene") calls.push_back({Op::BeginScene});
        else if (name == "EndScene") calls.push_back({Op::EndScene});
        else if (name == "Present") calls.push_back({Op::Present});
        else if (name == "SetFVF" && !args.empty()) calls.push_back({Op::FVF, arg(0)});
        else if (name == "DrawPrimitiveUP" && args.size() >= 2) calls.push_back({Op::DrawUP, arg(0), arg(1)});
        else if (name == "SetTexture" && !args.empty()) calls.push_back({Op::Texture, arg(0), args.size() > 1 && args[1] != "null"});
        else if (name == "SetVertexShader" || name == "SetPixelShader") calls.push_back({Op::Shaders});
        else if (name == "SetTransform" && !args.empty()) calls.push_back({Op::Transform, arg(0)});
        // The window meshes' buffers are the saver's own: their draws are replayed from
        // memory, which needs neither the declaration nor the stream.
        else if (name == "SetVertexDeclaration" || name == "SetStreamSource") continue;
        else if ((name == "DrawPrimitive" || name == "DrawIndexedPrimitive") && !args.empty())
            calls.push_back({Op::Draw, arg(0), args.size() > 1 ? arg(args.size() - 1) : 2});
        else {
            ++skipped;
            if (std::getenv("BENCH_SHOW_SKIPPED")) std::fprintf(stderr, "%s\n", line.c_str());
        }
    }
    return calls;
}

void BM_SaverFrameReplayCeiling(benchmark::State& state) {
    std::vector<Call> calls;
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
    calls = Parse(log, skipped);
    device = frame.saver.device;
    IDirect3DTexture9* texture = nullptr;
    device->CreateTexture(128, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
    // Room for the largest screen-space draw: glyph quads of up to 28 bytes a vertex.
    std::vector<unsigned char> vertices(28 * 3 * 4096, 0);
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    for (auto _ : state) {
        for (const Call& call : calls) {
            switch (call.op) {
            case Op::RenderState: device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(call.a), call.b); break;
            case Op::SamplerState:
                device->SetSamplerState(call.a, static_cast<D3DSAMPLERSTATETYPE>(call.b), call.c);
                break;
            case Op::StageState:
                device->SetTextureStageState(call.a, static_cast<D3DTEXTURESTAGESTATETYPE>(call.b), call.c);
                break;
            case Op::Clear: device->Clear(0, nullptr, call.a, static_cast<D3DCOLOR>(call.b), static_cast<float>(call.z), 0); break;
            case Op::BeginScene: device->BeginScene(); break;
            case Op::EndScene: device->EndScene(); break;
            case Op::Present: device->Present(nullptr, nullptr, nullptr, nullptr); break;
            case Op::FVF: device->SetFVF(call.a); break;
            case Op::Shaders:
                device->SetVertexShader(nullptr);
                device->SetPixelShader(nullptr);
                break;
            case Op::Transform: device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(call.a), &identity); break;
            case Op::Texture: device->SetTexture(call.a, call.b ? texture : nullptr); break;
            case Op::DrawUP:
            case Op::Draw: {
                const unsigned long count = call.b < 4096 ? call.b : 4096;
                device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
                device->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(call.a ? call.a : 4), static_cast<UINT>(count),
                                        vertices.data(), 28);
                break;
            }
            }
        }
    }
    if (texture) texture->Release();
    // The replay changed the device behind the cache's back.
    StateCache::InvalidateAll();
    state.counters["device_calls_per_frame"] = static_cast<double>(recorded);
    state.counters["replayed_calls"] = static_cast<double>(calls.size());
    state.counters["skipped_calls"] = skipped;
    PlatformTest_D3d9SetRecording(true);
}
BENCHMARK(BM_SaverFrameReplayCeiling)->Unit(benchmark::kMicrosecond);

}  // namespace
