// The product's music: the audio library that travels in the executable as resource
// "BASS" 126, written to a temporary file and loaded at run time, and the one piece it
// plays as a 3D sound at the world's origin while the camera flies around it.
//
// Every call into the library goes through a pointer fetched by name, and every one is
// checked: when the library cannot be written, loaded or lacks a call, a WARNINGS record
// says so and the saver runs silent. Only the calls used here are fetched. Release stops
// the library (BASS_Free, so that its output thread ends) before its code is unmapped,
// and the temporary file is deleted whatever happened before.
#pragma once

#include "Audio/AudioApi.h"
#include "Core/Path.h"
#include "Core/String.h"
#include "Core/Timer.h"
#include "Core/Vector.h"

class MemFile;

// The common settings the music follows.
struct MusicSettings {
    bool music = true;     // "Music"
    i32 volume = 100;      // "Volume", 0 to 100
    String file;           // "MusicFile", under "Media/"
};

class Music {
public:
    static constexpr u16 kResourceId = 126;
    static constexpr const char* kResourceType = "BASS";
    static constexpr DWORD kMaxPlaybacks = 20;
    static constexpr u64 kRampMs = 4000;  // the volume reaches "Volume" after this long

    Music() = default;
    ~Music() { Release(); }
    Music(const Music&) = delete;
    Music& operator=(const Music&) = delete;

    // Writes the library out of the resources and loads it. False, with a WARNINGS record
    // and nothing left on disk, when that fails.
    bool LoadBass();
    // The whole file as a sample (at most 20 playbacks), or 0 when it cannot be read, the
    // library refuses it, or there is no library.
    HSAMPLE LoadMusic(patht path, DWORD flags);

    // The start of the scene: loads the library, opens the output (the no-sound device
    // when the default cannot be opened), sets the roll-off, starts at volume 0 and, with
    // "Music" on, starts the piece. `files` resolves "Media/...", on disk and in the
    // archives it searches (null: the disk only).
    void Start(HWND window, const MusicSettings& settings, MemFile* files);
    // Each frame: the volume ramp over the first 4 seconds and the listener at the camera.
    void Update(const Vec3& eye, const Vec3& front, const Vec3& top);
    // Volume 0, the library stopped and unloaded, the temporary file deleted.
    void Release();

    bool IsLoaded() const { return module_ != nullptr; }
    // The temporary file's path, empty when there is none.
    const char* LibraryFile() const { return libraryFile_; }
    HSAMPLE Sample() const { return sample_; }
    Timer& MusicTimer() { return timer_; }

private:
    bool WriteLibraryFile();
    bool FetchCalls();
    void DeleteLibraryFile();
    // The pointer when the library is loaded and has the call, else null.
    template <class Fn>
    Fn Call(Fn fn) const {
        return module_ ? fn : nullptr;
    }

    HMODULE module_ = nullptr;
    char libraryFile_[MAX_PATH] = {};
    BassCalls calls_;
    MusicSettings settings_;
    HSAMPLE sample_ = 0;
    Timer timer_;
};
