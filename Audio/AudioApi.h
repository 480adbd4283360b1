// The calls of the audio library that the program loads at run time, and their types.
// The library (this folder) exports them under these names; the program fetches them by
// name with GetProcAddress and never links against the library. On 32-bit Windows they
// use the stdcall convention and are exported undecorated (AudioLibrary.def).
//
// Only the calls the music player uses exist. Their meanings:
//   BASS_SetConfig(option, value)      option 4: the global volume of samples, 0 to 100.
//   BASS_Init(device, freq, flags, window, clsid)
//                                      device 1 the default output, 0 no sound (the calls
//                                      work but nothing is heard); flag 4 enables 3D.
//   BASS_Free()                        stops the output and frees every sample.
//   BASS_Set3DFactors(distance, rolloff, doppler)
//                                      a negative value leaves a factor unchanged.
//   BASS_Set3DPosition(pos, vel, front, top)
//                                      the listener; null leaves a vector unchanged.
//   BASS_Apply3D()                     3D changes take effect only here.
//   BASS_SampleLoad(mem, file, offset, length, max, flags)
//                                      an OGG Vorbis or WAV file in memory; at most `max`
//                                      playbacks at once; flag 4 positions it in 3D.
//   BASS_SampleGetChannel(sample, onlynew)
//                                      a playback of the sample (0 when `max` are taken).
//   BASS_ChannelPlay(channel, restart)  starts (or restarts) a playback.
// A failed call returns 0 (FALSE) and leaves everything as it was.
#pragma once

#include <stdint.h>

#include <type_traits>

#if defined(_WIN32) || __has_include(<windows.h>)
// Windows, or the program built over the platform layer: its own types.
#include <windows.h>
#define AUDIOAPI_CALL WINAPI
#else
// The library on Linux stands alone; the types have the same sizes.
typedef int BOOL;
typedef uint32_t DWORD;
typedef void* HWND;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define AUDIOAPI_CALL
#endif

typedef uint64_t QWORD;
typedef DWORD HSAMPLE;
typedef DWORD HCHANNEL;

// A position or direction in the listener's world: x right, y up, z forward (left-handed,
// as the renderer's world).
struct BASS_3DVECTOR {
    float x;
    float y;
    float z;
};

enum : DWORD {
    BASS_CONFIG_GVOL_SAMPLE = 4,  // the global volume of samples, 0 to 100
    BASS_DEVICE_3D = 4,           // BASS_Init: 3D positioning on
    BASS_SAMPLE_3D = 4,           // BASS_SampleLoad: the sample is positioned in 3D
};

// The listener's distance at which roll-off begins: nearer, a 3D sample plays at full
// volume. The camera flies some 10,000 units from the sound at the origin; with roll-off
// 0.1 the music is then about 3 dB down (2,000 / (2,000 + 0.1 * 8,000)), where a
// minimum of 1 unit would put it some 60 dB down.
constexpr float kAudioMinDistance = 2000.0f;

// The function types, as GetProcAddress's result is cast to them.
typedef DWORD(AUDIOAPI_CALL* BassSetConfigFn)(DWORD option, DWORD value);
typedef BOOL(AUDIOAPI_CALL* BassInitFn)(int device, DWORD freq, DWORD flags, HWND window, const void* clsid);
typedef BOOL(AUDIOAPI_CALL* BassFreeFn)();
typedef BOOL(AUDIOAPI_CALL* BassSet3DFactorsFn)(float distance, float rolloff, float doppler);
typedef BOOL(AUDIOAPI_CALL* BassSet3DPositionFn)(const BASS_3DVECTOR* pos, const BASS_3DVECTOR* vel,
                                                 const BASS_3DVECTOR* front, const BASS_3DVECTOR* top);
typedef void(AUDIOAPI_CALL* BassApply3DFn)();
typedef HSAMPLE(AUDIOAPI_CALL* BassSampleLoadFn)(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD max,
                                                 DWORD flags);
typedef HCHANNEL(AUDIOAPI_CALL* BassSampleGetChannelFn)(HSAMPLE sample, BOOL onlynew);
typedef BOOL(AUDIOAPI_CALL* BassChannelPlayFn)(DWORD handle, BOOL restart);

// The calls, fetched by name. `fetch(name)` returns the address of an export or null;
// Fetch fills every pointer and says whether all were found.
struct BassCalls {
    BassSetConfigFn setConfig = nullptr;
    BassInitFn init = nullptr;
    BassFreeFn free = nullptr;
    BassSet3DFactorsFn set3DFactors = nullptr;
    BassSet3DPositionFn set3DPosition = nullptr;
    BassApply3DFn apply3D = nullptr;
    BassSampleLoadFn sampleLoad = nullptr;
    BassSampleGetChannelFn sampleGetChannel = nullptr;
    BassChannelPlayFn channelPlay = nullptr;

    template <class Fetch>
    bool FetchAll(Fetch fetch) {
        bool all = true;
        auto one = [&](const char* name, auto& fn) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(fetch(name));
            all = all && fn != nullptr;
        };
        one("BASS_SetConfig", setConfig);
        one("BASS_Init", init);
        one("BASS_Free", free);
        one("BASS_Set3DFactors", set3DFactors);
        one("BASS_Set3DPosition", set3DPosition);
        one("BASS_Apply3D", apply3D);
        one("BASS_SampleLoad", sampleLoad);
        one("BASS_SampleGetChannel", sampleGetChannel);
        one("BASS_ChannelPlay", channelPlay);
        return all;
    }
};
