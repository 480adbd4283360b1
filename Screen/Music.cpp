#include "Screen/Music.h"

#include "Core/Log.h"
#include "Core/MemFile.h"
#include "Core/ValueTypes.h"

#include <windows.h>

#include <algorithm>
#include <string.h>

namespace {

constexpr int kDefaultDevice = 1;
constexpr int kNoSoundDevice = 0;
constexpr DWORD kOutputRate = 44100;
constexpr float kUnchanged = -1.0f;
constexpr float kRolloff = 0.1f;

BASS_3DVECTOR ToVector(const Vec3& v) { return {v.x, v.y, v.z}; }

}  // namespace

bool Music::WriteLibraryFile() {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(kResourceId), kResourceType);
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = found ? SizeofResource(nullptr, found) : 0;
    if (!bytes || size == 0) return false;
    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) return false;
    if (GetTempFileNameA(folder, "bas", 0, libraryFile_) == 0) {
        libraryFile_[0] = 0;
        return false;
    }
    HANDLE file = CreateFileA(libraryFile_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes, size, &written, nullptr) && written == size;
    CloseHandle(file);
    return ok;
}

bool Music::FetchCalls() {
    BassCalls c;
    const bool all = c.FetchAll([this](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module_, name)); });
    calls_ = all ? c : BassCalls();
    return all;
}

void Music::DeleteLibraryFile() {
    if (libraryFile_[0]) DeleteFileA(libraryFile_);
    libraryFile_[0] = 0;
}

bool Music::LoadBass() {
    if (module_) return true;
    const char* failure = nullptr;
    if (!WriteLibraryFile()) {
        failure = "Audio library could not be written";
    } else if (!(module_ = LoadLibraryA(libraryFile_))) {
        failure = "Audio library failed to load";
    } else if (!FetchCalls()) {
        // A library without one of the calls is not the one the program carries.
        FreeLibrary(module_);
        module_ = nullptr;
        failure = "Audio library lacks a call";
    }
    if (!failure) return true;
    DeleteLibraryFile();
    LogWarnings().Write(LOG_SITE("bool __cdecl LoadBass(void)")).Print(failure);
    return false;
}

HSAMPLE Music::LoadMusic(patht path, DWORD flags) {
    BassSampleLoadFn load = Call(calls_.sampleLoad);
    if (!load) return 0;
    Blob bytes;
    bool borrowed = true;
    if (!path.ReadAll(bytes, borrowed) || bytes.size() == 0) return 0;
    return load(TRUE, bytes.data(), 0, bytes.size(), kMaxPlaybacks, flags);
}

void Music::Start(HWND window, const MusicSettings& settings, MemFile* files) {
    settings_ = settings;
    settings_.volume = std::clamp<i32>(settings.volume, 0, 100);
    if (LoadBass()) {
        if (!calls_.init(kDefaultDevice, kOutputRate, BASS_DEVICE_3D, window, nullptr))
            calls_.init(kNoSoundDevice, kOutputRate, 0, window, nullptr);
        calls_.set3DFactors(kUnchanged, kRolloff, kUnchanged);
        calls_.apply3D();
        calls_.setConfig(BASS_CONFIG_GVOL_SAMPLE, 0);
        if (settings_.music) {
            // The piece travels in the media archive with the rest of the scene's media:
            // a copy on disk comes first, then the archives the search context knows.
            patht path(String("Media/") + settings_.file);
            path.flags = kPathDisk | kPathArchive;
            if (files) files->Resolve(path);
            sample_ = LoadMusic(path, BASS_SAMPLE_3D);
            if (sample_) {
                const HCHANNEL channel = calls_.sampleGetChannel(sample_, TRUE);
                calls_.channelPlay(channel, TRUE);
            } else {
                LogWarnings().Write(LOG_SITE("bool __thiscall Dunmerrow::LoadCustom(void)")).Print("Music failed to load");
            }
        }
    }
    timer_.Restart();
}

void Music::Update(const Vec3& eye, const Vec3& front, const Vec3& top) {
    if (!settings_.music || settings_.volume == 0) return;
    BassSetConfigFn setConfig = Call(calls_.setConfig);
    BassSet3DPositionFn setPosition = Call(calls_.set3DPosition);
    BassApply3DFn apply = Call(calls_.apply3D);
    if (!setConfig || !setPosition || !apply) return;
    const double ramp = std::min(1.0, static_cast<double>(timer_.Elapsed()) / static_cast<double>(kRampMs));
    setConfig(BASS_CONFIG_GVOL_SAMPLE, static_cast<DWORD>(settings_.volume * ramp));
    const BASS_3DVECTOR position = ToVector(eye), direction = ToVector(front), up = ToVector(top);
    setPosition(&position, nullptr, &direction, &up);
    apply();
}

void Music::Release() {
    if (module_) {
        if (BassSetConfigFn setConfig = Call(calls_.setConfig)) setConfig(BASS_CONFIG_GVOL_SAMPLE, 0);
        // The library's output thread must stop before its code is unmapped.
        if (BassFreeFn free = Call(calls_.free)) free();
        FreeLibrary(module_);
        module_ = nullptr;
        calls_ = BassCalls();
    }
    sample_ = 0;
    DeleteLibraryFile();
}
