// The audio library's two hot paths. Mixing: one 3D channel into a stereo buffer, against
// a memcpy of the same PCM bytes (the ceiling: mixing reads, scales and clamps each of
// them). Decoding: what BASS_SampleLoad does to an OGG Vorbis file (decode, resample,
// convert) against stb_vorbis decoding the same file alone.
#include "Mixer.h"
#include "SampleDecoder.h"
#include "tests/AudioFixtures.h"

#define STB_VORBIS_HEADER_ONLY 1
#define STB_VORBIS_NO_STDIO 1
#define STB_VORBIS_NO_PUSHDATA_API 1
#include <stb/stb_vorbis.h>

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <iterator>

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

#ifdef CORVANE_AUDIO_TONE_OGG
std::vector<uint8_t> Ogg() {
    std::ifstream in(CORVANE_AUDIO_TONE_OGG, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void BM_AudioDecodeSampleLoad(benchmark::State& state) {
    const std::vector<uint8_t> ogg = Ogg();
    std::vector<int16_t> frames;
    for (auto _ : state) {
        if (!SampleDecoder::Decode(ogg.data(), ogg.size(), 44100, frames)) state.SkipWithError("not decoded");
        benchmark::DoNotOptimize(frames.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * (frames.size() / 2)));
}
BENCHMARK(BM_AudioDecodeSampleLoad);

void BM_AudioDecodeStbVorbisAlone(benchmark::State& state) {
    const std::vector<uint8_t> ogg = Ogg();
    int frames = 0;
    for (auto _ : state) {
        int channels = 0, rate = 0;
        short* pcm = nullptr;
        frames = stb_vorbis_decode_memory(ogg.data(), static_cast<int>(ogg.size()), &channels, &rate, &pcm);
        if (frames <= 0) state.SkipWithError("not decoded");
        benchmark::DoNotOptimize(pcm);
        free(pcm);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * frames);
}
BENCHMARK(BM_AudioDecodeStbVorbisAlone);
#endif

}  // namespace
