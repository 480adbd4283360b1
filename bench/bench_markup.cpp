// Markup parsing against its ceiling, a bare pass of the markup lexer over the same text
// (the parser cannot be faster than reading the tokens), and the layout of one long plain
// run: per character a charset choice through the font manager and a glyph-run entry per
// change of charset.
#include "Core/Tokenizer.h"
#include "D3d/FontManager.h"
#include "D3d/Markup.h"
#include "D3d/TextElement.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

std::u16string Document() {
    std::u16string s;
    for (int i = 0; i < 2000; ++i)
        s += u"<P Size=20 Color=0xFF00FF00>Some text in a paragraph, <B>bold</B> and <I Italic>italic</I> "
             u"words &amp; <RAW><raw></RAW><IMG Src=\"pic.png\" Width=16 Height=8/> more words.</P>\n";
    return s;
}

void BM_MarkupLexCeiling(benchmark::State& state) {
    const std::u16string text = Document();
    Lexer lexer;
    lexer.LoadMarkupTable();
    for (auto _ : state) {
        lexer.SetSource(text.data(), static_cast<u32>(text.size()));
        LexToken t;
        LexError e;
        while (lexer.NextToken(t, e, false) == kLexToken) {
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_MarkupLexCeiling)->Unit(benchmark::kMillisecond);

void BM_MarkupParse(benchmark::State& state) {
    const std::u16string text = Document();
    const WString markup = WString::FromBuffer(const_cast<char16_t*>(text.data()), static_cast<u32>(text.size()), true);
    for (auto _ : state) {
        TextElement document;
        document.SetName(WString(u"root"));
        benchmark::DoNotOptimize(Markup::Parse(&document, markup));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_MarkupParse)->Unit(benchmark::kMillisecond);

bool WriteFile(const char* name, const char* text) {
    FILE* f = std::fopen(name, "wb");
    if (!f) return false;
    const bool ok = std::fputs(text, f) >= 0;
    return std::fclose(f) == 0 && ok;
}

// A run of 100,000 characters; arg 0: all from one charset, arg 1: the charset changes
// every fourth character (a glyph-run entry each time).
void BM_LayoutRun(benchmark::State& state) {
    TheFontManager().Clear();
    if (!WriteFile("bench_text_low.css", "CharsPerLine = 16; StartChar = 32; EndChar = 127;") ||
        !WriteFile("bench_text_high.css", "CharsPerLine = 16; StartChar = 128; EndChar = 255;") ||
        !WriteFile("bench_text.fs",
                   "Styles[0].Size = 14; Styles[0].Charsets = array(\"bench_text_low.css\", \"bench_text_high.css\");"
                   "Styles[1].Size = 20; Styles[1].Charsets = array(\"bench_text_low.css\");") ||
        !TheFontManager().LoadFont(patht("bench_text.fs"), 0)) {
        state.SkipWithError("the bench font could not be loaded");
        return;
    }
    const bool mixed = state.range(0) != 0;
    std::u16string text;
    for (u32 i = 0; i < 100000; ++i)
        text += mixed && i % 4 == 3 ? static_cast<char16_t>(0xE0 + i % 16) : static_cast<char16_t>(u'a' + i % 26);
    TextElement run;
    run.SetRun(true);
    const WString wide = WString::FromBuffer(text.data(), static_cast<u32>(text.size()), true);
    for (auto _ : state) {
        run.SetText(wide);
        benchmark::DoNotOptimize(run.GetGlyphRuns().count);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["glyph_runs"] = static_cast<double>(run.GetGlyphRuns().count);
    TheFontManager().Clear();
}
BENCHMARK(BM_LayoutRun)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
