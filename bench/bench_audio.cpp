// The audio library's two hot paths. Mixing: one 3D channel into a stereo buffer, against
// a memcpy of the same PCM bytes (the ceiling: mixing reads, scales and clamps each of
// them). Decoding: what BASS_SampleLoad does to an OGG Vorbis file (decode, convert)
// against the reference decoder decoding the same file alone, and the heap that takes.
#include "Mixer.h"
#include "SampleDecoder.h"
#include "tests/AudioFixtures.h"

#include <vorbis/vorbisfile.h>

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <new>

// The heap in use and its peak, counted by the program's operator new and delete below
// (every allocation carries its size in a header of its own). They are never inlined: a
// caller that saw both would take the header's offset for a mismatched free.
namespace HeapCount {
std::atomic<size_t> inUse{0}, peak{0};
constexpr size_t kHeader = 16;  // keeps the block's alignment
// Starts a new peak from what is in use now, and returns that.
size_t Reset() {
    peak = inUse.load();
    return peak;
}
size_t Peak() { return peak.load(); }
}  // namespace HeapCount

[[gnu::noinline]] void* operator new(size_t size) {
    char* block = static_cast<char*>(malloc(size + HeapCount::kHeader));
    if (!block) abort();  // a benchmark that runs out of memory has nothing to report
    memcpy(block, &size, sizeof size);
    const size_t now = HeapCount::inUse += size;
    for (size_t seen = HeapCount::peak; now > seen && !HeapCount::peak.compare_exchange_weak(seen, now);) {
    }
    return block + HeapCount::kHeader;
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    if (!p) return;
    char* block = static_cast<char*>(p) - HeapCount::kHeader;
    size_t size;
    memcpy(&size, block, sizeof size);
    HeapCount::inUse -= size;
    free(block);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

constexpr size_t kFrames = 1024;

std::vector<int16_t> TenSeconds() {
    std::vector<int16_t> frames;
    const std::vector<uint8_t> wav = audiofixtures::ToneWav(44100, 2, 16, 441000, 441, 0.5);
    SampleDecoder::Decode(wav.data(), wav.size(), 44100, frames);
    return frames;
}

void BM_AudioMixOne3DChannel(benchmark::State& state) {
    Mixer mixer;
    mixer.Reset(true);
    const HSAMPLE sample = mixer.AddSample(TenSeconds(), 1, BASS_SAMPLE_3D);
    const BASS_3DVECTOR position{-3000, 500, 200}, front{0.6f, 0, 0.8f}, top{0, 1, 0};
    mixer.Set3DFactors(-1, 0.1f, -1);
    mixer.Set3DPosition(&position, &front, &top);
    mixer.Apply3D();
    mixer.SetVolume(80);
    std::vector<int16_t> out(kFrames * 2);
    HCHANNEL channel = mixer.NewChannel(sample, true);
    mixer.Play(channel, true);
    size_t played = 0;
    for (auto _ : state) {
        mixer.Mix(out.data(), kFrames);
        benchmark::DoNotOptimize(out.data());
        played += kFrames;
        if (played + kFrames > 441000) {  // start again before the sample ends
            state.PauseTiming();
            mixer.Play(channel, true);
            played = 0;
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kFrames));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFrames * 4));
}
BENCHMARK(BM_AudioMixOne3DChannel);

void BM_AudioMemcpyCeiling(benchmark::State& state) {
    const std::vector<int16_t> pcm = TenSeconds();
    std::vector<int16_t> out(kFrames * 2);
    size_t at = 0;
    for (auto _ : state) {
        memcpy(out.data(), pcm.data() + at * 2, kFrames * 4);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
        at = at + 2 * kFrames > 441000 ? 0 : at + kFrames;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kFrames));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFrames * 4));
}
BENCHMARK(BM_AudioMemcpyCeiling);

#ifdef CORVANE_AUDIO_MINUTE_OGG
std::vector<uint8_t> Minute() {
    std::ifstream in(CORVANE_AUDIO_MINUTE_OGG, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// What BASS_SampleLoad does to a minute of stereo at 44.1 kHz: decode, convert, at the
// output's rate. "peak_over_output" is the heap's peak during one Decode over the size of
// the 16-bit result it makes (counted by the allocator below).
void BM_SampleDecoderDecode(benchmark::State& state) {
    const std::vector<uint8_t> ogg = Minute();
    std::vector<int16_t> frames;
    for (auto _ : state) {
        if (!SampleDecoder::Decode(ogg.data(), ogg.size(), 44100, frames)) state.SkipWithError("not decoded");
        benchmark::DoNotOptimize(frames.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * (frames.size() / 2)));
    std::vector<int16_t> once;
    const size_t before = HeapCount::Reset();
    SampleDecoder::Decode(ogg.data(), ogg.size(), 44100, once);
    state.counters["peak_over_output"] =
        static_cast<double>(HeapCount::Peak() - before) / static_cast<double>(once.size() * sizeof once[0]);
}
BENCHMARK(BM_SampleDecoderDecode)->Unit(benchmark::kMillisecond);

// The reference decoder alone on the same bytes: vorbisfile's own ov_read_float loop, the
// floor of the above (which adds the page survey, the mix and the 16-bit conversion).
struct MinuteReader {
    const std::vector<uint8_t>* bytes;
    size_t at = 0;
    static size_t Read(void* to, size_t size, size_t count, void* self) {
        MinuteReader& r = *static_cast<MinuteReader*>(self);
        const size_t n = size == 0 ? 0 : std::min(count, (r.bytes->size() - r.at) / size);
        memcpy(to, r.bytes->data() + r.at, n * size);
        r.at += n * size;
        return n;
    }
};

void BM_VorbisDecodeMemory(benchmark::State& state) {
    const std::vector<uint8_t> ogg = Minute();
    int64_t frames = 0;
    for (auto _ : state) {
        MinuteReader reader{&ogg};
        OggVorbis_File file;
        if (ov_open_callbacks(&reader, &file, nullptr, 0, ov_callbacks{&MinuteReader::Read, nullptr, nullptr, nullptr})) {
            state.SkipWithError("not opened");
            break;
        }
        frames = 0;
        float** pcm = nullptr;
        int section = 0;
        for (long got; (got = ov_read_float(&file, &pcm, 4096, &section)) != 0;) {
            if (got < 0) continue;
            benchmark::DoNotOptimize(pcm[0][got - 1]);
            frames += got;
        }
        ov_clear(&file);
        if (frames == 0) state.SkipWithError("not decoded");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * frames);
}
BENCHMARK(BM_VorbisDecodeMemory)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
