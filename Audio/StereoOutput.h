// The frames of one source (a WAV file, one link of an OGG stream) written after what the
// output already holds, as 16-bit stereo at the output's rate. The source comes in blocks,
// as the decoder makes them, and goes straight into the final buffer: at the output's own
// rate each frame is converted where it stands; at another rate each output frame is
// interpolated between the two source frames around it (position i * from / to), the last
// frame of a block carried over to the next, so the whole source is never held as floats.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

class StereoOutput {
public:
    StereoOutput(std::vector<int16_t>& out, uint32_t fromRate, uint32_t toRate, size_t maxFrames);

    // Adds `frames` source frames, one channel in each array. False once the source, or
    // what it makes of the output, passes the most frames a sample may hold.
    bool Add(const float* left, const float* right, size_t frames);
    // Writes the output frames after the last source frame. False when no frame came.
    bool Finish();

    // One sample in 16 bits: scaled by 32768, clamped to [-32768, 32767] and rounded to the
    // nearest (halves to the even one); a NaN, which a damaged stream decodes to, is silence.
    static int16_t ToInt16(float v);

private:
    void Write(float left, float right) {
        out_.push_back(ToInt16(left));
        out_.push_back(ToInt16(right));
    }
    void Resample(const float* left, const float* right, size_t frames);

    static constexpr size_t kBlockFrames = 1024;

    std::vector<int16_t>& out_;
    const uint32_t from_, to_;
    const double step_;        // source frames per output frame
    const size_t maxFrames_;
    const size_t first_;       // the output's frames before this source's
    uint64_t inFrames_ = 0;    // source frames added
    uint64_t written_ = 0;     // output frames written
    float lastLeft_ = 0, lastRight_ = 0;  // the source's latest frame
    int16_t block_[2 * kBlockFrames];
};
