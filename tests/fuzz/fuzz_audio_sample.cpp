// What BASS_SampleLoad does with the bytes it is handed: decode (OGG Vorbis or WAV) to the
// output's form, take the frames in as a sample and play a little of it. Seeds: short
// tones from musicgen, as WAV and encoded by oggenc (tools/run-fuzz.sh).
#include "Mixer.h"
#include "SampleDecoder.h"

#include <stddef.h>
#include <stdint.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<int16_t> frames;
    if (!SampleDecoder::Decode(data, size, 44100, frames)) return 0;
    Mixer mixer;
    mixer.Reset(true);
    const HSAMPLE sample = mixer.AddSample(std::move(frames), 2, BASS_SAMPLE_3D);
    mixer.Play(mixer.NewChannel(sample, true), true);
    int16_t out[2 * 256];
    mixer.Mix(out, 256);
    return 0;
}
