// Lexing speed of the script and markup tables over markup-like text, and the cost of
// loading a table.
#include "Core/Tokenizer.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {
std::u16string Sample() {
    std::u16string s;
    for (int i = 0; i < 200; ++i)
        s += u"<font face=\"Arial\" size=12 color='#ff00ff'>Hello world a<=b && c!==d 3.25 class</font> ";
    return s;
}

void BM_LexScript(benchmark::State& state) {
    const std::u16string text = Sample();
    Lexer lexer;
    lexer.LoadScriptTable();
    size_t tokens = 0;
    for (auto _ : state) {
        lexer.SetSource(text.data(), text.size());
        LexToken t;
        LexError e;
        while (lexer.NextToken(t, e, false) == kLexToken) ++tokens;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
    state.counters["tokens"] = static_cast<double>(tokens) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_LexScript);

void BM_LexMarkup(benchmark::State& state) {
    const std::u16string text = Sample();
    Lexer lexer;
    lexer.LoadMarkupTable();
    for (auto _ : state) {
        lexer.SetSource(text.data(), text.size());
        LexToken t;
        LexError e;
        while (lexer.NextToken(t, e, false) == kLexToken) {
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_LexMarkup);

void BM_LoadScriptTable(benchmark::State& state) {
    for (auto _ : state) {
        Lexer lexer;
        lexer.LoadScriptTable();
        benchmark::DoNotOptimize(lexer);
    }
}
BENCHMARK(BM_LoadScriptTable);
}  // namespace
