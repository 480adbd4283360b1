// The library's exported calls over one device: the mixer, and the output sink while a
// real device is open. A shared library has one instance of these per process, as the
// program has one audio output. The calls come from the program's main thread; the
// sink's thread only enters the mixer, which has its own lock.
#include "AudioApi.h"
#include "Mixer.h"
#include "OutputSink.h"
#include "SampleDecoder.h"

#include <stdio.h>

#include <memory>
#include <string>

#if defined(_WIN32)
// AudioLibrary.def names the exports, without the stdcall decoration.
#define AUDIO_EXPORT extern "C"
#else
#define AUDIO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr int kNoSoundDevice = 0;
constexpr int kDefaultDevice = 1;
constexpr DWORD kMaxRate = 192000;

struct Device {
    bool open = false;
    DWORD rate = 0;
    Mixer mixer;
    std::unique_ptr<OutputSink> sink;
};

Device& TheDevice() {
    static Device device;
    return device;
}

}  // namespace

AUDIO_EXPORT DWORD AUDIOAPI_CALL BASS_SetConfig(DWORD option, DWORD value) {
    if (option != BASS_CONFIG_GVOL_SAMPLE) return FALSE;
    return TheDevice().mixer.SetVolume(value) ? TRUE : FALSE;
}

AUDIO_EXPORT BOOL AUDIOAPI_CALL BASS_Init(int device, DWORD freq, DWORD flags, HWND, const void*) {
    Device& d = TheDevice();
    if (d.open || freq == 0 || freq > kMaxRate) return FALSE;
    if (device != kNoSoundDevice && device != kDefaultDevice) return FALSE;
    d.mixer.Reset((flags & BASS_DEVICE_3D) != 0);
    if (device == kDefaultDevice) {
        d.sink = OutputSink::Open(freq, d.mixer);
        if (!d.sink) return FALSE;
    }
    d.open = true;
    d.rate = freq;
    return TRUE;
}

AUDIO_EXPORT BOOL AUDIOAPI_CALL BASS_Free() {
    Device& d = TheDevice();
    if (!d.open) return FALSE;
    // The output's thread stops before the samples it reads are freed.
    d.sink.reset();
    d.mixer.Reset(false);
    d.open = false;
    return TRUE;
}

AUDIO_EXPORT BOOL AUDIOAPI_CALL BASS_Set3DFactors(float distance, float rolloff, float doppler) {
    Device& d = TheDevice();
    if (!d.open) return FALSE;
    d.mixer.Set3DFactors(distance, rolloff, doppler);
    return TRUE;
}

AUDIO_EXPORT BOOL AUDIOAPI_CALL BASS_Set3DPosition(const BASS_3DVECTOR* pos, const BASS_3DVECTOR*,
                                                   const BASS_3DVECTOR* front, const BASS_3DVECTOR* top) {
    Device& d = TheDevice();
    if (!d.open) return FALSE;
    d.mixer.Set3DPosition(pos, front, top);
    return TRUE;
}

AUDIO_EXPORT void AUDIOAPI_CALL BASS_Apply3D() {
    Device& d = TheDevice();
    if (d.open) d.mixer.Apply3D();
}

AUDIO_EXPORT HSAMPLE AUDIOAPI_CALL BASS_SampleLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD max,
                                                   DWORD flags) {
    Device& d = TheDevice();
    // Only samples in memory: the program reads its files through its own archive.
    if (!d.open || !mem || !file || length == 0 || max == 0) return 0;
    std::vector<int16_t> frames;
    const uint8_t* bytes = static_cast<const uint8_t*>(file);
    if (offset > 0x7FFFFFFF) return 0;
    std::string why;
    std::vector<std::string> notes;
    const bool decoded = SampleDecoder::Decode(bytes + offset, length, d.rate, frames, &why, &notes);
    // The library has no log of the program's: its lines go to the error output, where a
    // refused file's reason, and where a damaged one was played past, can still be read.
    for (const std::string& note : notes)
        fprintf(stderr, "corvane_audio: a sample of %lu bytes: %s\n", static_cast<unsigned long>(length), note.c_str());
    if (!decoded) {
        fprintf(stderr, "corvane_audio: a sample of %lu bytes is refused: %s\n", static_cast<unsigned long>(length),
                why.c_str());
        return 0;
    }
    return d.mixer.AddSample(std::move(frames), max, flags);
}

AUDIO_EXPORT HCHANNEL AUDIOAPI_CALL BASS_SampleGetChannel(HSAMPLE sample, BOOL onlynew) {
    Device& d = TheDevice();
    if (!d.open) return 0;
    return d.mixer.NewChannel(sample, onlynew != FALSE);
}

AUDIO_EXPORT BOOL AUDIOAPI_CALL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    Device& d = TheDevice();
    if (!d.open) return FALSE;
    return d.mixer.Play(handle, restart != FALSE) ? TRUE : FALSE;
}
