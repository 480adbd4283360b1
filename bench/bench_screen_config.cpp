// The saver's configuration load: LoadConfig over the shipped screen parameters and
// message table (parsing both, registering every binder, reading the document) against
// the text loader alone on the same bytes. The difference is the binders' share.
#include "Core/ArchiveStream.h"
#include "Core/Path.h"
#include "Core/String.h"
#include "Core/TextCodec.h"
#include "Core/TextDataTree.h"
#include "Core/UdfText.h"
#include "Screen/SaverModes.h"

#include <benchmark/benchmark.h>

#include <windows.h>

namespace {

struct Bytes {
    const u8* data = nullptr;
    u32 size = 0;
};

Bytes Resource(u16 id) {
    Bytes b;
    GetResourceBlob(id, kPathResourceType, &b.data, &b.size);
    return b;
}

void BM_LoadConfigShipped(benchmark::State& state) {
    ScreenSaver::Config saver;
    if (!saver.LoadConfig()) {
        state.SkipWithError("the configuration resources are missing");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(saver.LoadConfig());
    const Bytes a = Resource(156), b = Resource(157);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (a.size + b.size));
}
BENCHMARK(BM_LoadConfigShipped)->Unit(benchmark::kMicrosecond);

void BM_TextLoaderOnShippedBytes(benchmark::State& state) {
    const Bytes texts[2] = {Resource(156), Resource(157)};
    if (!texts[0].data || !texts[1].data) {
        state.SkipWithError("the configuration resources are missing");
        return;
    }
    for (auto _ : state) {
        TextDataTree document;
        for (const Bytes& text : texts) {
            ArchiveStream stream;
            stream.Open(String(), kStreamRead);
            stream.BorrowBytes(text.data + 3, text.size - 3);
            UdfText::LoadStream(stream, document, nullptr, kTextUtf8);
        }
        benchmark::DoNotOptimize(document.count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (texts[0].size + texts[1].size));
}
BENCHMARK(BM_TextLoaderOnShippedBytes)->Unit(benchmark::kMicrosecond);

}  // namespace
