// The output through SDL2's audio subsystem, which reaches PipeWire, PulseAudio or ALSA
// (or a file, with SDL's "disk" driver). SDL calls back on its own thread for each buffer.
#include "OutputSink.h"

#include "Mixer.h"

#include <SDL2/SDL.h>

namespace {

constexpr Uint16 kBufferFrames = 1024;  // about 23 ms at 44.1 kHz

class SdlSink : public OutputSink {
public:
    SdlSink(SDL_AudioDeviceID device) : device_(device) {}
    ~SdlSink() override {
        // Closing waits for the callback to return; nothing touches the mixer afterwards.
        SDL_CloseAudioDevice(device_);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

private:
    SDL_AudioDeviceID device_;
};

void Fill(void* user, Uint8* stream, int bytes) {
    static_cast<Mixer*>(user)->Mix(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(bytes) / 4);
}

}  // namespace

std::unique_ptr<OutputSink> OutputSink::Open(uint32_t rate, Mixer& mixer) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
    SDL_AudioSpec wanted{};
    wanted.freq = static_cast<int>(rate);
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = kBufferFrames;
    wanted.callback = Fill;
    wanted.userdata = &mixer;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts when the device wants another format or rate.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    SDL_PauseAudioDevice(device, 0);
    return std::make_unique<SdlSink>(device);
}
