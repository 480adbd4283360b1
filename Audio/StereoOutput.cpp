#include "StereoOutput.h"

#include <string.h>

#include <algorithm>

namespace {

// A float in [2^23, 2^24) has no bits below its units: adding 1.5 * 2^23 to a sample of
// at most 32768 in magnitude rounds it to an integer as lrint does, without its call.
constexpr float kRoundingBias = 12582912.0f;
constexpr int32_t kRoundingBiasBits = 0x4B400000;

}  // namespace

StereoOutput::StereoOutput(std::vector<int16_t>& out, uint32_t fromRate, uint32_t toRate, size_t maxFrames)
    : out_(out), from_(fromRate), to_(toRate), step_(static_cast<double>(fromRate) / toRate), maxFrames_(maxFrames),
      first_(out.size() / 2) {}

int16_t StereoOutput::ToInt16(float v) {
    if (!(v == v)) return 0;
    // Full scale is 32768, as the reference decoder's own 16-bit output has it, so that a
    // 16-bit source comes through unchanged; +1 clips to the largest positive value.
    const float biased = std::clamp(v * 32768.0f, -32768.0f, 32767.0f) + kRoundingBias;
    int32_t bits;
    memcpy(&bits, &biased, sizeof bits);
    return static_cast<int16_t>(bits - kRoundingBiasBits);
}

bool StereoOutput::Add(const float* left, const float* right, size_t frames) {
    const uint64_t inFrames = inFrames_ + frames;
    if (inFrames > maxFrames_ || first_ + inFrames * to_ / from_ > maxFrames_) return false;
    if (from_ == to_) {
        // Converted a block at a time on the stack and appended: the buffer's memory is
        // written once, where growing it first would fill it with zeros as well.
        for (size_t done = 0; done < frames;) {
            const size_t block = std::min(kBlockFrames, frames - done);
            for (size_t i = 0; i < block; ++i)
                block_[2 * i] = ToInt16(left[done + i]), block_[2 * i + 1] = ToInt16(right[done + i]);
            out_.insert(out_.end(), block_, block_ + 2 * block);
            done += block;
        }
        written_ += frames;
    } else {
        Resample(left, right, frames);
    }
    inFrames_ = inFrames;
    if (frames > 0) lastLeft_ = left[frames - 1], lastRight_ = right[frames - 1];
    return true;
}

// Every output frame whose two source frames have both come: frame a of the source is the
// carried one when it lies in the block before.
void StereoOutput::Resample(const float* left, const float* right, size_t frames) {
    const uint64_t base = inFrames_, end = inFrames_ + frames;
    for (;; ++written_) {
        const double position = static_cast<double>(written_) * step_;
        const uint64_t a = static_cast<uint64_t>(position);
        if (a + 1 >= end) break;
        const float t = static_cast<float>(position - static_cast<double>(a));
        const float la = a >= base ? left[a - base] : lastLeft_, ra = a >= base ? right[a - base] : lastRight_;
        const float lb = left[a + 1 - base], rb = right[a + 1 - base];
        Write(la + (lb - la) * t, ra + (rb - ra) * t);
    }
}

bool StereoOutput::Finish() {
    if (inFrames_ == 0) return false;
    const uint64_t outFrames = (inFrames_ * to_ + from_ - 1) / from_;
    // What is left lies at or past the last source frame, which stands for both of its two.
    for (; written_ < outFrames; ++written_) {
        const double position = static_cast<double>(written_) * step_;
        const float t = static_cast<float>(position - static_cast<double>(inFrames_ - 1));
        Write(lastLeft_ + (lastLeft_ - lastLeft_) * t, lastRight_ + (lastRight_ - lastRight_) * t);
    }
    return true;
}
