// A stand-in for the audio library that records each call, one line each, in the file
// that CORVANE_AUDIO_STANDIN_LOG names; the last line, "unloaded", is written when the
// module is unmapped, so a test sees whether a call came after FreeLibrary. The same
// variable's neighbours steer it: CORVANE_AUDIO_STANDIN_NO_DEVICE makes BASS_Init of
// device 1 fail, CORVANE_AUDIO_STANDIN_REFUSE makes BASS_SampleLoad refuse every file.
#include "Audio/AudioApi.h"

#include <stdio.h>
#include <stdlib.h>

#include <string>

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void Record(const std::string& line) {
    const char* path = getenv("CORVANE_AUDIO_STANDIN_LOG");
    if (!path) return;
    if (FILE* f = fopen(path, "a")) {
        fprintf(f, "%s\n", line.c_str());
        fclose(f);
    }
}

std::string Number(double v) {
    char text[32];
    snprintf(text, sizeof text, "%g", v);
    return text;
}

std::string Vector(const BASS_3DVECTOR* v) {
    if (!v) return "null";
    return Number(v->x) + "," + Number(v->y) + "," + Number(v->z);
}

__attribute__((destructor)) void Unloaded() { Record("unloaded"); }

}  // namespace

STANDIN_EXPORT DWORD BASS_SetConfig(DWORD option, DWORD value) {
    Record("SetConfig " + std::to_string(option) + " " + std::to_string(value));
    return TRUE;
}

STANDIN_EXPORT BOOL BASS_Init(int device, DWORD freq, DWORD flags, HWND, const void*) {
    Record("Init " + std::to_string(device) + " " + std::to_string(freq) + " " + std::to_string(flags));
    return device == 1 && getenv("CORVANE_AUDIO_STANDIN_NO_DEVICE") ? FALSE : TRUE;
}

STANDIN_EXPORT BOOL BASS_Free() {
    Record("Free");
    return TRUE;
}

STANDIN_EXPORT BOOL BASS_Set3DFactors(float distance, float rolloff, float doppler) {
    Record("Set3DFactors " + Number(distance) + " " + Number(rolloff) + " " + Number(doppler));
    return TRUE;
}

STANDIN_EXPORT BOOL BASS_Set3DPosition(const BASS_3DVECTOR* pos, const BASS_3DVECTOR* vel, const BASS_3DVECTOR* front,
                                       const BASS_3DVECTOR* top) {
    Record("Set3DPosition " + Vector(pos) + " " + Vector(vel) + " " + Vector(front) + " " + Vector(top));
    return TRUE;
}

STANDIN_EXPORT void BASS_Apply3D() { Record("Apply3D"); }

STANDIN_EXPORT HSAMPLE BASS_SampleLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD max,
                                       DWORD flags) {
    std::string head;
    if (mem && file) head.assign(static_cast<const char*>(file), length < 4 ? length : 4);
    Record("SampleLoad " + std::to_string(mem) + " " + head + " " + std::to_string(offset) + " " +
           std::to_string(length) + " " + std::to_string(max) + " " + std::to_string(flags));
    return getenv("CORVANE_AUDIO_STANDIN_REFUSE") ? 0 : 0x10000;
}

STANDIN_EXPORT HCHANNEL BASS_SampleGetChannel(HSAMPLE sample, BOOL onlynew) {
    Record("SampleGetChannel " + std::to_string(sample) + " " + std::to_string(onlynew));
    return sample | 1;
}

STANDIN_EXPORT BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    Record("ChannelPlay " + std::to_string(handle) + " " + std::to_string(restart));
    return TRUE;
}
