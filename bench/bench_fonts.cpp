// Bitmap fonts: reading a charset of 256 characters (grid, widths and a rectangle for each
// printable one, as the media fonts have them) from a parsed document, the glyph lookups
// the text layout makes for every character it places, and the choice of a style among
// the loaded sizes.
#include "Core/TextData.h"
#include "Core/TextDataTree.h"
#include "D3d/Charset.h"
#include "D3d/FontManager.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string CharsetText() {
    std::string text = "CharWidth = 40; CharHeight = 76; CharsPerLine = 25; StartChar = 0; EndChar = 255; Sizes = array(";
    for (int i = 0; i < 256; ++i) text += (i ? ", " : "") + std::to_string(20 + i % 40);
    text += ");";
    for (int c = 'a'; c <= 'z'; ++c)
        text += std::string("Rects[\"") + static_cast<char>(c) + "\"] = array(" + std::to_string(c * 3) + ", 0, " +
                std::to_string(c * 3 + 30) + ", 76);";
    return text;
}

void BM_CharsetLoadFromTree(benchmark::State& state) {
    TextDataTree doc;
    TextData::LoadText(WString::FromNarrow(CharsetText().c_str()), doc, nullptr, TextData::kStatementForm);
    for (auto _ : state) {
        Charset charset;
        benchmark::DoNotOptimize(charset.LoadFromTree(doc, patht()));
    }
}
BENCHMARK(BM_CharsetLoadFromTree);

void BM_CharsetGlyphLookup(benchmark::State& state) {
    TextDataTree doc;
    TextData::LoadText(WString::FromNarrow(CharsetText().c_str()), doc, nullptr, TextData::kStatementForm);
    Charset charset;
    charset.LoadFromTree(doc, patht());
    uint16_t ch = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(charset.GetCharSize(ch));
        benchmark::DoNotOptimize(charset.GetCharTexCoords(ch, 0.5f, 0.5f, 0.5f, 0.5f));
        ch = static_cast<uint16_t>((ch + 1) & 0xFF);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CharsetGlyphLookup);

void BM_FontManagerChooseStyle(benchmark::State& state) {
    FontManager fonts;
    TextDataTree doc;
    TextData::LoadText(WString::FromNarrow("Styles[0].Size = 14; Styles[1].Size = 20; Styles[2].Size = 28; "
                                           "Styles[3].Size = 64; Styles[3].Bold = 1;"),
                       doc, nullptr, TextData::kStatementForm);
    fonts.LoadFontFromTree(doc, patht(), 0);
    TextStyle style;
    int32_t size = 8;
    for (auto _ : state) {
        style.size = size;
        benchmark::DoNotOptimize(fonts.FindEntry(style));
        size = size >= 80 ? 8 : size + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FontManagerChooseStyle);

}  // namespace
