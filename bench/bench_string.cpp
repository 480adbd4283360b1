// Number conversions of String against the standard library's charconv, and
// UTF-8 decoding throughput of WString.
#include <benchmark/benchmark.h>

#include <charconv>
#include <string>
#include <vector>

#include "Core/String.h"
#include "Core/TextCodec.h"
#include "Core/WString.h"

namespace {

const int kInts[] = {0, 7, -42, 1234, -98765, 2147483647, -2147483647 - 1, 65535};
const double kReals[] = {1.5, 100.0, 1e20, 0.0001234, -2.75, 3.14159265, 6.02e23, 123456.789};
const char* const kIntTexts[] = {"0", "7", "-42", "1234", "-98765", "2147483647", "65535", "31"};
const char* const kRealTexts[] = {"1.5", "100", "1e20", "0.0001234", "-2.75", "3.14159265", "6.02e23", "0.5"};

void BM_StringFromInt(benchmark::State& state) {
    size_t i = 0;
    for (auto _ : state) {
        String s = String::FromInt(kInts[i++ & 7], 10);
        benchmark::DoNotOptimize(s.data);
    }
}
BENCHMARK(BM_StringFromInt);

void BM_ToCharsInt(benchmark::State& state) {
    size_t i = 0;
    char buf[16];
    for (auto _ : state) {
        auto r = std::to_chars(buf, buf + sizeof buf, kInts[i++ & 7]);
        benchmark::DoNotOptimize(r.ptr);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ToCharsInt);

void BM_StringFromReal(benchmark::State& state) {
    size_t i = 0;
    for (auto _ : state) {
        String s = String::FromReal(kReals[i++ & 7], 7);
        benchmark::DoNotOptimize(s.data);
    }
}
BENCHMARK(BM_StringFromReal);

void BM_ToCharsDouble(benchmark::State& state) {
    size_t i = 0;
    char buf[64];
    for (auto _ : state) {
        auto r = std::to_chars(buf, buf + sizeof buf, kReals[i++ & 7], std::chars_format::general, 7);
        benchmark::DoNotOptimize(r.ptr);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ToCharsDouble);

void BM_StringToInt(benchmark::State& state) {
    std::vector<String> texts;
    for (const char* t : kIntTexts) texts.emplace_back(t);
    size_t i = 0;
    for (auto _ : state) {
        int v = 0;
        benchmark::DoNotOptimize(texts[i++ & 7].ToInt(&v));
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_StringToInt);

void BM_FromCharsInt(benchmark::State& state) {
    std::vector<std::string> texts(std::begin(kIntTexts), std::end(kIntTexts));
    size_t i = 0;
    for (auto _ : state) {
        const std::string& t = texts[i++ & 7];
        int v = 0;
        auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        benchmark::DoNotOptimize(r.ptr);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_FromCharsInt);

void BM_StringToFloat(benchmark::State& state) {
    std::vector<String> texts;
    for (const char* t : kRealTexts) texts.emplace_back(t);
    size_t i = 0;
    for (auto _ : state) {
        float v = 0;
        benchmark::DoNotOptimize(texts[i++ & 7].ToFloat(&v));
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_StringToFloat);

void BM_FromCharsFloat(benchmark::State& state) {
    std::vector<std::string> texts(std::begin(kRealTexts), std::end(kRealTexts));
    size_t i = 0;
    for (auto _ : state) {
        const std::string& t = texts[i++ & 7];
        double v = 0;
        auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        benchmark::DoNotOptimize(r.ptr);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_FromCharsFloat);

// A document-like UTF-8 text of about 64 KiB; `mixed` adds accented letters,
// symbols and emoji between the ASCII.
std::string Utf8Text(bool mixed) {
    const std::string ascii = "Material \"Chrome\" { Shininess 0.75; Texture \"env.ts\"; }\n";
    const std::string other = "caf\xC3\xA9 \xE2\x82\xAC 12 \xF0\x9F\x98\x80 na\xC3\xAFve\n";
    std::string text;
    while (text.size() < 65536) text += (mixed && (text.size() / 64) % 2) ? other : ascii;
    return text;
}

void DecodeUtf8(benchmark::State& state, bool mixed) {
    const std::string text = Utf8Text(mixed);
    WString w;
    for (auto _ : state) {
        w.Decode(text.data(), static_cast<u32>(text.size()), kTextUtf8);
        benchmark::DoNotOptimize(w.data);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_WStringDecodeUtf8Ascii(benchmark::State& state) { DecodeUtf8(state, false); }
BENCHMARK(BM_WStringDecodeUtf8Ascii);

void BM_WStringDecodeUtf8Mixed(benchmark::State& state) { DecodeUtf8(state, true); }
BENCHMARK(BM_WStringDecodeUtf8Mixed);

void BM_WStringEncodeUtf8Mixed(benchmark::State& state) {
    const std::string text = Utf8Text(true);
    WString w;
    w.Decode(text.data(), static_cast<u32>(text.size()), kTextUtf8);
    std::vector<char> out(text.size() + 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(w.Encode(out.data(), static_cast<u32>(out.size()), kTextUtf8));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_WStringEncodeUtf8Mixed);

}  // namespace
