// Turns an OGG Vorbis or WAV file held in memory into the one form the mixer plays:
// 16-bit stereo frames at the output rate. Decoding and resampling happen once, when a
// sample is loaded, so that the mixer's thread only adds and scales. The input is
// untrusted: every length is checked against the bytes that are there, and a file that
// would decode to more than kMaxFrames frames is refused rather than filling memory.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

class SampleDecoder {
public:
    // About 12 minutes at 44.1 kHz: far longer than any sound the program plays.
    static constexpr size_t kMaxFrames = size_t(32) << 20;

    // Decodes `bytes` (OGG Vorbis by its "OggS" mark, else WAV by "RIFF" "WAVE") into
    // interleaved left/right frames at `rate`; a mono file plays on both sides, a file
    // of more channels keeps its first two. False (out emptied) on anything it cannot
    // read or that holds no frame.
    static bool Decode(const uint8_t* bytes, size_t size, uint32_t rate, std::vector<int16_t>& out);

private:
    // The decoded frames before resampling: interleaved floats, one or two channels.
    struct Pcm {
        std::vector<float> samples;
        uint32_t channels = 0;
        uint32_t rate = 0;
    };
    static bool DecodeOgg(const uint8_t* bytes, size_t size, Pcm& pcm);
    static bool DecodeWav(const uint8_t* bytes, size_t size, Pcm& pcm);
    // Linear interpolation from the file's rate to `rate`, to stereo 16-bit.
    static bool Resample(const Pcm& pcm, uint32_t rate, std::vector<int16_t>& out);
};
