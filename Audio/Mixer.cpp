#include "Mixer.h"

#include <algorithm>
#include <cmath>

namespace {

// A handle carries the sample's place in its high bits and, for a channel, the place of
// the playback in its low 16; a sample's handle has low bits 0.
constexpr DWORD kSampleShift = 16;
constexpr size_t kMaxSamples = 0x7FFF;
constexpr DWORD kMaxPlaybacks = 0xFFFF;

float Length(const BASS_3DVECTOR& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

BASS_3DVECTOR Cross(const BASS_3DVECTOR& a, const BASS_3DVECTOR& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

bool Finite(const BASS_3DVECTOR& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

Mixer::Gains Mixer::GainsFor(const Listener& listener) {
    Gains gains;
    // The source sits at the origin: it lies along -position from the listener.
    const BASS_3DVECTOR toSource{-listener.position.x, -listener.position.y, -listener.position.z};
    const float distance = Length(toSource);
    if (!std::isfinite(distance)) return gains;
    float volume = 1.0f;
    if (distance > kAudioMinDistance && listener.rolloff > 0.0f)
        volume = kAudioMinDistance / (kAudioMinDistance + listener.rolloff * (distance - kAudioMinDistance));
    // In a left-handed world the listener's right is top x front.
    const BASS_3DVECTOR right = Cross(listener.top, listener.front);
    const float rightLength = Length(right);
    float pan = 0.0f;
    if (distance > 0.0f && rightLength > 0.0f && std::isfinite(rightLength)) {
        pan = (toSource.x * right.x + toSource.y * right.y + toSource.z * right.z) / (distance * rightLength);
        pan = std::clamp(pan, -1.0f, 1.0f);
    }
    // A balance: the far side fades while the near side keeps its level, so that a stereo
    // piece in front of the listener sounds as recorded.
    gains.left = volume * std::min(1.0f, 1.0f - pan);
    gains.right = volume * std::min(1.0f, 1.0f + pan);
    return gains;
}

void Mixer::Reset(bool positional) {
    std::lock_guard<std::mutex> guard(lock_);
    samples_.clear();
    positional_ = positional;
    staged_ = Listener();
    applied_ = Listener();
}

bool Mixer::SetVolume(DWORD volume) {
    if (volume > 100) return false;
    std::lock_guard<std::mutex> guard(lock_);
    volume_ = volume;
    return true;
}

DWORD Mixer::Volume() {
    std::lock_guard<std::mutex> guard(lock_);
    return volume_;
}

void Mixer::Set3DFactors(float distance, float rolloff, float doppler) {
    std::lock_guard<std::mutex> guard(lock_);
    // A negative factor (or one that is not a number) leaves the factor as it is.
    if (distance > 0.0f && std::isfinite(distance)) staged_.distanceFactor = distance;
    if (rolloff >= 0.0f && std::isfinite(rolloff)) staged_.rolloff = rolloff;
    if (doppler >= 0.0f && std::isfinite(doppler)) staged_.doppler = doppler;
}

void Mixer::Set3DPosition(const BASS_3DVECTOR* position, const BASS_3DVECTOR* front, const BASS_3DVECTOR* top) {
    std::lock_guard<std::mutex> guard(lock_);
    if (position && Finite(*position)) staged_.position = *position;
    if (front && Finite(*front)) staged_.front = *front;
    if (top && Finite(*top)) staged_.top = *top;
}

void Mixer::Apply3D() {
    std::lock_guard<std::mutex> guard(lock_);
    applied_ = staged_;
}

HSAMPLE Mixer::AddSample(std::vector<int16_t>&& frames, DWORD max, DWORD flags) {
    if (max == 0 || max > kMaxPlaybacks || frames.empty()) return 0;
    std::lock_guard<std::mutex> guard(lock_);
    size_t place = 0;
    while (place < samples_.size() && samples_[place]) ++place;
    if (place >= kMaxSamples) return 0;
    auto sample = std::make_unique<Sample>();
    sample->frames = std::move(frames);
    sample->positional = (flags & BASS_SAMPLE_3D) != 0;
    sample->channels.resize(max);
    if (place == samples_.size())
        samples_.push_back(std::move(sample));
    else
        samples_[place] = std::move(sample);
    return static_cast<DWORD>(place + 1) << kSampleShift;
}

Mixer::Sample* Mixer::FindSample(HSAMPLE sample) {
    if (sample & ((1u << kSampleShift) - 1)) return nullptr;
    const size_t place = sample >> kSampleShift;
    if (place == 0 || place > samples_.size()) return nullptr;
    return samples_[place - 1].get();
}

Mixer::Channel* Mixer::FindChannel(HCHANNEL channel, Sample** owner) {
    const DWORD slot = channel & ((1u << kSampleShift) - 1);
    Sample* sample = FindSample(channel & ~((1u << kSampleShift) - 1));
    if (!sample || slot == 0 || slot > sample->channels.size()) return nullptr;
    Channel& c = sample->channels[slot - 1];
    if (!c.used) return nullptr;
    if (owner) *owner = sample;
    return &c;
}

HCHANNEL Mixer::NewChannel(HSAMPLE handle, bool onlyNew) {
    std::lock_guard<std::mutex> guard(lock_);
    Sample* sample = FindSample(handle);
    if (!sample) return 0;
    size_t slot = 0;
    while (slot < sample->channels.size() && sample->channels[slot].used) ++slot;
    if (slot == sample->channels.size()) {
        if (onlyNew) return 0;
        slot = 0;
        for (size_t i = 1; i < sample->channels.size(); ++i)
            if (sample->channels[i].position > sample->channels[slot].position) slot = i;
    }
    sample->channels[slot] = Channel{true, false, 0};
    return handle | static_cast<DWORD>(slot + 1);
}

bool Mixer::Play(HCHANNEL handle, bool restart) {
    std::lock_guard<std::mutex> guard(lock_);
    Channel* channel = FindChannel(handle, nullptr);
    if (!channel) return false;
    if (restart) channel->position = 0;
    channel->playing = true;
    return true;
}

size_t Mixer::Channels(HSAMPLE handle) {
    std::lock_guard<std::mutex> guard(lock_);
    Sample* sample = FindSample(handle);
    if (!sample) return 0;
    return static_cast<size_t>(
        std::count_if(sample->channels.begin(), sample->channels.end(), [](const Channel& c) { return c.used; }));
}

void Mixer::Mix(int16_t* out, size_t frames) {
    std::lock_guard<std::mutex> guard(lock_);
    accumulator_.assign(frames * 2, 0.0f);
    const Gains positioned = GainsFor(applied_);
    for (const std::unique_ptr<Sample>& sample : samples_) {
        if (!sample) continue;
        const Gains gains = sample->positional && positional_ ? positioned : Gains();
        const size_t length = sample->frames.size() / 2;
        for (Channel& channel : sample->channels) {
            if (!channel.used || !channel.playing) continue;
            const size_t count = std::min(frames, length - channel.position);
            const int16_t* from = sample->frames.data() + channel.position * 2;
            for (size_t i = 0; i < count; ++i) {
                accumulator_[i * 2] += from[i * 2] * gains.left;
                accumulator_[i * 2 + 1] += from[i * 2 + 1] * gains.right;
            }
            channel.position += count;
            if (channel.position >= length) channel = Channel();
        }
    }
    const float volume = static_cast<float>(volume_) / 100.0f;
    for (size_t i = 0; i < frames * 2; ++i) {
        const float v = std::clamp(accumulator_[i] * volume, -32768.0f, 32767.0f);
        out[i] = static_cast<int16_t>(v);
    }
}
