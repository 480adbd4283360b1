// What BASS_SampleLoad does with the bytes it is handed: decode (OGG Vorbis or WAV) to the
// output's form, take the frames in as a sample and play a little of it. An OGG input is
// tried as it is, then with every page's checksum written anew: a mutation almost never
// leaves a checksum right, and the checks behind the framing's (the headers, the decoder
// itself) would otherwise be out of the fuzzer's reach. Seeds: short tones from musicgen,
// as WAV and encoded by oggenc (tools/run-fuzz.sh).
#include "Mixer.h"
#include "SampleDecoder.h"
#include "tests/AudioFixtures.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

namespace {

void Play(const uint8_t* data, size_t size) {
    std::vector<int16_t> frames;
    if (!SampleDecoder::Decode(data, size, 44100, frames)) return;
    Mixer mixer;
    mixer.Reset(true);
    const HSAMPLE sample = mixer.AddSample(std::move(frames), 2, BASS_SAMPLE_3D);
    mixer.Play(mixer.NewChannel(sample, true), true);
    int16_t out[2 * 256];
    mixer.Mix(out, 256);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Play(data, size);
    if (size >= 4 && memcmp(data, "OggS", 4) == 0) {
        std::vector<uint8_t> repaired(data, data + size);
        audiofixtures::RepairOggChecksums(repaired);
        Play(repaired.data(), repaired.size());
    }
    return 0;
}
