// Sounds for the audio library's tests, benchmarks and fuzz seeds: WAV files built in
// memory from a formula, so every expected level is known exactly; and the pages of an
// OGG stream, to change one and make its checksums right again.
#pragma once

#include <ogg/ogg.h>

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace audiofixtures {

// A WAV file of `frames` frames: every channel holds a sine of `hz` at `level` (0 to 1),
// or, with `square`, a square wave whose every sample is +-level.
inline std::vector<uint8_t> ToneWav(uint32_t rate, uint16_t channels, uint16_t bits, uint32_t frames, double hz,
                                    double level, bool square = false, bool floats = false) {
    const uint32_t bytesPerSample = bits / 8;
    const uint32_t dataBytes = frames * channels * bytesPerSample;
    std::vector<uint8_t> out;
    out.reserve(44 + dataBytes);
    auto put = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto text = [&](const char* t) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(t[i]));
    };
    text("RIFF");
    put(36 + dataBytes, 4);
    text("WAVE");
    text("fmt ");
    put(16, 4);
    put(floats ? 3 : 1, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * channels * bytesPerSample, 4);
    put(channels * bytesPerSample, 2);
    put(bits, 2);
    text("data");
    put(dataBytes, 4);
    const double pi = 3.14159265358979323846;
    for (uint32_t i = 0; i < frames; ++i) {
        double v = std::sin(2.0 * pi * hz * i / rate);
        if (square) v = v >= 0.0 ? 1.0 : -1.0;
        v *= level;
        for (uint16_t c = 0; c < channels; ++c) {
            if (floats) {
                float f = static_cast<float>(v);
                uint32_t word;
                memcpy(&word, &f, 4);
                put(word, 4);
            } else if (bits == 8) {
                put(static_cast<uint32_t>(std::lround(128 + v * 127)), 1);
            } else {
                const double scale = std::ldexp(1.0, bits - 1) - 1;
                put(static_cast<uint32_t>(static_cast<int64_t>(std::lround(v * scale))), bits / 8);
            }
        }
    }
    return out;
}

// The largest magnitude among every second value from `first` (one channel of stereo).
inline int Peak(const int16_t* samples, size_t count, size_t first) {
    int peak = 0;
    for (size_t i = first; i < count; i += 2) peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    return peak;
}

// Where every whole page of an OGG stream lies (its offset and length), in order.
struct OggSpan {
    size_t at, length;
};
inline std::vector<OggSpan> OggPageSpans(const std::vector<uint8_t>& ogg) {
    constexpr size_t kHeader = 27, kSegments = 26;
    std::vector<OggSpan> pages;
    for (size_t at = 0; ogg.size() - at >= kHeader && memcmp(ogg.data() + at, "OggS", 4) == 0;) {
        const size_t segments = ogg[at + kSegments];
        if (ogg.size() - at - kHeader < segments) break;
        size_t length = kHeader + segments;
        for (size_t i = 0; i < segments; ++i) length += ogg[at + kHeader + i];
        if (length > ogg.size() - at) break;
        pages.push_back({at, length});
        at += length;
    }
    return pages;
}

// Writes every page's checksum anew, so that a stream changed on purpose (or by the fuzzer)
// reaches the checks behind the framing's.
inline void RepairOggChecksums(std::vector<uint8_t>& ogg) {
    constexpr size_t kHeader = 27, kSegments = 26;
    for (const OggSpan& page : OggPageSpans(ogg)) {
        const size_t header = kHeader + ogg[page.at + kSegments];
        ogg_page view{ogg.data() + page.at, static_cast<long>(header), ogg.data() + page.at + header,
                      static_cast<long>(page.length - header)};
        ogg_page_checksum_set(&view);
    }
}

}  // namespace audiofixtures
