// Rich-text layout speed in characters per second, against its floor: TextElement::Layout
// alone on the same markup (styles and glyph runs, which the rich-text window needs before
// it can wrap). The rich-text figure is Layout plus word wrap into line records plus the
// placing of the lines a 640 x 480 clip lets through; a second figure wraps and places
// without Layout, and a third places a screenful out of a long wrapped document (what a
// frame costs once the document is wrapped).
#include "D3d/FontManager.h"
#include "D3d/Markup.h"
#include "D3d/TextElement.h"
#include "Gui/TextLayout.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

bool WriteFile(const char* name, const char* text) {
    FILE* f = std::fopen(name, "wb");
    if (!f) return false;
    const bool ok = std::fputs(text, f) >= 0;
    return std::fclose(f) == 0 && ok;
}

bool LoadFont() {
    TheFontManager().Clear();
    return WriteFile("bench_rich.css", "CharWidth = 8; CharHeight = 14; CharsPerLine = 16; StartChar = 32; EndChar = 255;") &&
           WriteFile("bench_rich.fs", "Styles[0].Size = 14; Styles[0].Charsets = array(\"bench_rich.css\");") &&
           TheFontManager().LoadFont(patht("bench_rich.fs"), 0);
}

// Paragraphs of styled words, the kind of page the saver shows; its plain characters.
WString Markup(u32 paragraphs, u32* characters) {
    std::u16string s;
    u32 plain = 0;
    for (u32 i = 0; i < paragraphs; ++i) {
        const std::u16string a = u"Some text in a paragraph, ";
        const std::u16string b = u"bold";
        const std::u16string c = u" and more words that wrap at the width of the window.\n";
        s += u"<P Color=0xFF00FF00>" + a + u"<B>" + b + u"</B>" + c + u"</P>";
        plain += static_cast<u32>(a.size() + b.size() + c.size());
    }
    *characters = plain;
    return WString::FromBuffer(s.data(), static_cast<u32>(s.size()), true);
}

// What one pass of a benchmark runs over the document.
enum Pass { kLayoutOnly, kLayoutWrapPlace, kWrapPlace };

void RunPass(benchmark::State& state, Pass pass) {
    if (!LoadFont()) return state.SkipWithError("the bench font could not be loaded");
    u32 characters = 0;
    TextElement root;
    root.SetMarkup(Markup(static_cast<u32>(state.range(0)), &characters));
    TextLayout layout;
    for (auto _ : state) {
        if (pass != kWrapPlace) root.Layout(true);
        if (pass != kLayoutOnly) {
            layout.Wrap(&root, 640, true);
            benchmark::DoNotOptimize(layout.Place(IntPair(0, 0), IntRect(0, 0, 640, 480), IntPair(0, 0), {}));
        }
        benchmark::ClobberMemory();
    }
    state.counters["chars/s"] = benchmark::Counter(static_cast<double>(characters) * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_TextElementLayoutFloor(benchmark::State& state) { RunPass(state, kLayoutOnly); }
BENCHMARK(BM_TextElementLayoutFloor)->Arg(20)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_RichTextLayout(benchmark::State& state) { RunPass(state, kLayoutWrapPlace); }
BENCHMARK(BM_RichTextLayout)->Arg(20)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_RichTextWrapAndPlace(benchmark::State& state) { RunPass(state, kWrapPlace); }
BENCHMARK(BM_RichTextWrapAndPlace)->Arg(20)->Arg(1000)->Unit(benchmark::kMicrosecond);

// A screenful out of the middle of a long document: the binary search skips what lies
// above, the walk stops below.
void BM_RichTextPlaceScreenful(benchmark::State& state) {
    if (!LoadFont()) return state.SkipWithError("the bench font could not be loaded");
    u32 characters = 0;
    TextElement root;
    root.SetMarkup(Markup(5000, &characters));
    TextLayout layout;
    layout.Wrap(&root, 640, true);
    const IntPair scroll(0, layout.Lines()[layout.Lines().size() / 2].bottom);
    for (auto _ : state)
        benchmark::DoNotOptimize(layout.Place(IntPair(0, 0), IntRect(0, 0, 640, 480), scroll, {}));
    state.counters["glyphs"] = static_cast<double>(layout.Glyphs().size());
}
BENCHMARK(BM_RichTextPlaceScreenful)->Unit(benchmark::kMicrosecond);

}  // namespace
