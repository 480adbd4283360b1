// Parsing speed of the data-description text language: a generated document of about
// 10 MB in the statement form and in the line form, beside RapidJSON building its DOM
// from a JSON document of the same structure and size (when its header is installed).
// Throughput is reported in bytes per second of the source document.
#include "Core/ArchiveStream.h"
#include "Core/String.h"
#include "Core/TextCodec.h"
#include "Core/TextData.h"
#include "Core/TextNode.h"
#include "Core/UdfText.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#if __has_include(<rapidjson/document.h>)
#include <rapidjson/document.h>
#define CORVANE_HAVE_RAPIDJSON 1
#endif

namespace {

constexpr std::size_t kTargetBytes = 10u << 20;

enum class Shape { Statements, Lines, Json };

// One record per item: a text, two numbers, an array and a nested object, the shapes
// the fonts, texture scripts and settings use.
std::string Generate(Shape shape) {
    std::string out;
    out.reserve(kTargetBytes + 256);
    if (shape == Shape::Json) out += "{\n";
    char line[512];
    for (int i = 0; out.size() < kTargetBytes; ++i) {
        const double size = 0.5 + (i % 97) * 0.25;
        const int r = i % 256, g = (i * 7) % 256, b = (i * 13) % 256;
        int n;
        if (shape == Shape::Json) {
            n = std::snprintf(line, sizeof line,
                              "%s\"Item%d\": {\"Name\": \"item number %d\", \"Size\": %.2f, \"Count\": %d, "
                              "\"Color\": [%d, %d, %d], \"Rect\": {\"x\": %d, \"y\": %d, \"w\": 32, \"h\": 64}}\n",
                              i ? "," : "", i, i, size, i, r, g, b, i % 640, i % 480);
        } else {
            n = std::snprintf(line, sizeof line,
                              "Item%d = object(Name = \"item number %d\", Size = %.2f, Count = %d, "
                              "Color = array(%d, %d, %d), Rect = object(x = %d, y = %d, w = 32, h = 64))%s\n",
                              i, i, size, i, r, g, b, i % 640, i % 480, shape == Shape::Statements ? ";" : "");
        }
        out.append(line, static_cast<std::size_t>(n));
    }
    if (shape == Shape::Json) out += "}\n";
    return out;
}

const std::string& Document(Shape shape) {
    static const std::string statements = Generate(Shape::Statements);
    static const std::string lines = Generate(Shape::Lines);
    static const std::string json = Generate(Shape::Json);
    return shape == Shape::Statements ? statements : shape == Shape::Lines ? lines : json;
}

// With teardown: the document is released inside the timed loop, as RapidJSON's is.
// Without: only reading the stream and building the tree is timed.
void ParseText(benchmark::State& state, Shape shape, bool timeTeardown) {
    const std::string& text = Document(shape);
    for (auto _ : state) {
        ArchiveStream stream;
        stream.Open(String(), kStreamRead);
        stream.BorrowBytes(text.data(), static_cast<u32>(text.size()));
        TextDataTree* doc = new TextDataTree;
        const bool ok = shape == Shape::Statements ? TextData::Load(stream, *doc, nullptr, kTextCodePage)
                                                   : UdfText::LoadStream(stream, *doc, nullptr, kTextCodePage);
        if (!ok || doc->ChildCount() == 0) state.SkipWithError("the document did not parse");
        benchmark::DoNotOptimize(doc->count);
        if (!timeTeardown) state.PauseTiming();
        delete doc;
        if (!timeTeardown) state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_TextStatementForm(benchmark::State& state) { ParseText(state, Shape::Statements, true); }
void BM_TextLineForm(benchmark::State& state) { ParseText(state, Shape::Lines, true); }
void BM_TextStatementFormBuildOnly(benchmark::State& state) { ParseText(state, Shape::Statements, false); }
void BM_TextLineFormBuildOnly(benchmark::State& state) { ParseText(state, Shape::Lines, false); }
BENCHMARK(BM_TextStatementForm)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_TextLineForm)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_TextStatementFormBuildOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_TextLineFormBuildOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

#ifdef CORVANE_HAVE_RAPIDJSON
void BM_RapidJsonDom(benchmark::State& state) {
    const std::string& text = Document(Shape::Json);
    for (auto _ : state) {
        rapidjson::Document doc;
        doc.Parse(text.data(), text.size());
        if (doc.HasParseError() || doc.MemberCount() == 0) state.SkipWithError("the JSON did not parse");
        benchmark::DoNotOptimize(doc.MemberCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_RapidJsonDom)->Unit(benchmark::kMillisecond)->MinTime(2.0);
#endif

}  // namespace
