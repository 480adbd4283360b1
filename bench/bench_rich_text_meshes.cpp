// The rich-text window's redraw on the reference device (recording off): a window of
// 10,000 characters, all of them visible, laid out and written as quads into its dynamic
// vertex ranges (Render: word wrap, placing, mesh upkeep, locks and the vertices). The
// figure is vertices written per second (six per glyph quad and six per background quad),
// against its ceiling: a memcpy of the same vertex bytes.
#include "D3d/Application.h"
#include "D3d/FontManager.h"
#include "Gui/RichTextWindow.h"
#include "Gui/WindowManager.h"

#include <PlatformTestD3d9.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr u32 kLines = 100;
constexpr u32 kColumns = 100;  // 10,000 characters

bool WriteBytes(const char* name, const std::vector<u8>& bytes) {
    FILE* f = std::fopen(name, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

void Put32(std::vector<u8>& out, u32 v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<u8>(v >> (8 * i)));
}

// A white 128 x 128 atlas (24-bit BMP) so that the charset has a texture.
std::vector<u8> WhiteAtlas() {
    const u32 size = 128;
    const u32 pixels = size * size * 3;
    std::vector<u8> out = {'B', 'M'};
    Put32(out, 54 + pixels);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, size);
    Put32(out, size);
    Put32(out, 1 | (24u << 16));  // planes, bits per pixel
    Put32(out, 0);
    Put32(out, pixels);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    out.resize(out.size() + pixels, 0xFF);
    return out;
}

bool WriteText(const char* name, const char* text) {
    return WriteBytes(name, std::vector<u8>(text, text + std::strlen(text)));
}

bool LoadFont() {
    TheFontManager().Clear();
    const bool loaded = WriteBytes("bench_meshes.bmp", WhiteAtlas()) &&
           WriteText("bench_meshes.css",
                     "Name = \"bench_meshes.bmp\"; CharWidth = 8; CharHeight = 14; CharsPerLine = 16; "
                     "StartChar = 32; EndChar = 126;") &&
           WriteText("bench_meshes.fs", "Styles[0].Size = 14; Styles[0].Charsets = array(\"bench_meshes.css\");") &&
           TheFontManager().LoadFont(patht("bench_meshes.fs"), 0) && TheFontManager().GetDefaultCharset() &&
           TheFontManager().GetDefaultCharset()->GetTexture();
    // The charset and its texture are in memory now; the files are not left behind.
    for (const char* name : {"bench_meshes.bmp", "bench_meshes.css", "bench_meshes.fs"}) std::remove(name);
    return loaded;
}

// Lines of 99 printable characters and a line break.
WString Page() {
    std::u16string s;
    for (u32 line = 0; line < kLines; ++line) {
        for (u32 column = 0; column + 1 < kColumns; ++column) s += static_cast<char16_t>(u'!' + (line + column) % 90);
        s += u'\n';
    }
    return WString::FromBuffer(s.data(), static_cast<u32>(s.size()), true);
}

// The glyphs one redraw writes: every printable character of the page.
constexpr u32 kGlyphs = kLines * (kColumns - 1);
constexpr u32 kVertices = kGlyphs * RichTextWindow::kVerticesPerGlyph * 2;
constexpr u32 kBytes = kGlyphs * RichTextWindow::kVerticesPerGlyph * (sizeof(GlyphVertex) + sizeof(ShadeVertex));

void BM_RichTextBuildMeshes(benchmark::State& state) {
    Application app;
    if (!app.Create(GetModuleHandleA(nullptr), nullptr) || !app.SetMode(false))
        return state.SkipWithError("no reference device");
    PlatformTest_D3d9SetRecording(false);
    TheWindowManager().Reset();
    if (!LoadFont()) return state.SkipWithError("the bench font could not be loaded");
    {
        RichTextWindow window;
        window.SetRect(IntRect(0, 0, 1000, 1500));
        window.Show();
        window.SetRawText(Page());
        if (!window.Render() || window.GetLayout().Glyphs().size() != kGlyphs)
            return state.SkipWithError("the page was not drawn whole");
        for (auto _ : state) benchmark::DoNotOptimize(window.Render());
        state.counters["vertices/s"] = benchmark::Counter(static_cast<double>(kVertices) * state.iterations(),
                                                          benchmark::Counter::kIsRate);
        window.ReleaseMeshes();
    }
    TheFontManager().Clear();
    TheWindowManager().Reset();
    if (app.GetWindow()) DestroyWindow(app.GetWindow());
}
BENCHMARK(BM_RichTextBuildMeshes)->Unit(benchmark::kMicrosecond);

void BM_RichTextVertexCopyCeiling(benchmark::State& state) {
    std::vector<u8> from(kBytes, 0x5A);
    std::vector<u8> to(kBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kBytes);
        benchmark::ClobberMemory();
    }
    state.counters["vertices/s"] =
        benchmark::Counter(static_cast<double>(kVertices) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RichTextVertexCopyCeiling)->Unit(benchmark::kMicrosecond);

}  // namespace
