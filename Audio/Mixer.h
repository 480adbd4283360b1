// The mixer: loaded samples, their playbacks, the global volume and the 3D listener. The
// output's thread calls Mix for each buffer it needs while the program's thread loads
// samples and moves the listener, so every member function takes one lock; Mix holds it
// only while it adds up one buffer.
//
// Mixing is done in floats: each playing channel is scaled by its gain, added, scaled by
// the global volume and clamped once into 16 bits. 3D settings are staged: the listener
// and the factors are recorded by their calls and reach the channels only at Apply3D, so
// that a whole frame's changes are heard together.
#pragma once

#include "AudioApi.h"

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <mutex>
#include <vector>

class Mixer {
public:
    // The gain of each side for a 3D source at the origin heard from `listener`.
    struct Gains {
        float left = 1.0f;
        float right = 1.0f;
    };
    struct Listener {
        BASS_3DVECTOR position{0.0f, 0.0f, 0.0f};
        BASS_3DVECTOR front{0.0f, 0.0f, 1.0f};
        BASS_3DVECTOR top{0.0f, 1.0f, 0.0f};
        float distanceFactor = 1.0f;
        float rolloff = 1.0f;
        float doppler = 1.0f;
    };
    static Gains GainsFor(const Listener& listener);

    // Forgets every sample and playback and puts the listener and volume back.
    void Reset(bool positional);

    bool SetVolume(DWORD volume);  // 0 to 100
    DWORD Volume();

    void Set3DFactors(float distance, float rolloff, float doppler);
    void Set3DPosition(const BASS_3DVECTOR* position, const BASS_3DVECTOR* front, const BASS_3DVECTOR* top);
    void Apply3D();

    // Takes decoded frames (16-bit stereo at the output rate) as a new sample; 0 when
    // `max` is 0 or there is no handle left.
    HSAMPLE AddSample(std::vector<int16_t>&& frames, DWORD max, DWORD flags);
    // A new playback of the sample, stopped at its start; when all `max` are taken, 0
    // with `onlyNew`, else the one furthest along is taken over.
    HCHANNEL NewChannel(HSAMPLE sample, bool onlyNew);
    bool Play(HCHANNEL channel, bool restart);
    // How many playbacks of the sample exist (playing or waiting to play).
    size_t Channels(HSAMPLE sample);

    // Fills `frames` interleaved 16-bit stereo frames. A playback that reaches its
    // sample's end is over and frees its place.
    void Mix(int16_t* out, size_t frames);

private:
    struct Channel {
        bool used = false;
        bool playing = false;
        size_t position = 0;  // the next frame
    };
    struct Sample {
        std::vector<int16_t> frames;
        bool positional = false;
        std::vector<Channel> channels;  // `max` places
    };
    Sample* FindSample(HSAMPLE sample);
    Channel* FindChannel(HCHANNEL channel, Sample** owner);

    std::mutex lock_;
    std::vector<std::unique_ptr<Sample>> samples_;
    DWORD volume_ = 100;
    bool positional_ = false;  // 3D on for this device
    Listener staged_;
    Listener applied_;
    std::vector<float> accumulator_;
};
