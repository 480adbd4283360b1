// The music player against a stand-in audio library that records every call: the library
// travels as resource "BASS" 126 (a table of this test's own), is written to a temporary
// file in the test's folder and loaded from there.
#include "Core/Log.h"
#include "Core/Timer.h"
#include "Screen/Music.h"
#include "tests/TestSupport.h"

#include <PlatformResources.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const fs::path& file) {
    std::vector<std::string> lines;
    std::istringstream in(ReadText(file));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = testsupport::FreshTestFolder("corvane-music");
        temp = folder / "temp";
        fs::create_directories(temp);
        calls = folder / "calls.txt";
        savedTemp = getenv("TMPDIR") ? getenv("TMPDIR") : "";
        setenv("TMPDIR", temp.c_str(), 1);
        setenv("CORVANE_AUDIO_STANDIN_LOG", calls.c_str(), 1);
        unsetenv("CORVANE_AUDIO_STANDIN_NO_DEVICE");
        unsetenv("CORVANE_AUDIO_STANDIN_REFUSE");
        library = ReadText(CORVANE_AUDIO_STANDIN);
        ASSERT_FALSE(library.empty());
        UseLibrary(library);
        // The warnings go to a file of the test's own.
        savedWarnings = LogWarnings().fileName;
        savedMaster = TheLogRegistry().masterSwitch;
        LogWarnings().fileName = String((folder / "errors.log").c_str());
        SetLogMasterSwitch(true);
        Timer::Freeze(true);
        fs::create_directories(folder / "Media");
        std::ofstream(folder / "Media" / "music.ogg", std::ios::binary) << "OggS and the rest";
        settings.file = String("music.ogg");
        settings.volume = 80;
        savedFolder = fs::current_path();
        fs::current_path(folder);
    }
    void TearDown() override {
        fs::current_path(savedFolder);
        Timer::Freeze(false);
        LogWarnings().fileName = savedWarnings;
        TheLogRegistry().masterSwitch = savedMaster;
        PlatformResources_Override(nullptr);
        if (savedTemp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", savedTemp.c_str(), 1);
        unsetenv("CORVANE_AUDIO_STANDIN_LOG");
        fs::remove_all(folder);
    }

    void UseLibrary(const std::string& bytes) {
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        entry = {"BASS", 0, nullptr, Music::kResourceId, data, data + bytes.size()};
        table = {&entry, 1};
        PlatformResources_Override(&table);
    }

    std::vector<std::string> Calls() { return Lines(calls); }
    void ForgetCalls() { fs::remove(calls); }
    std::string Warnings() { return ReadText(folder / "errors.log"); }
    size_t TempFiles() {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(temp)) n += e.path().filename().string().rfind("bas", 0) == 0;
        return n;
    }
    // Runs one frame `ms` after the start with the camera at (1, 2, 3) looking along +z.
    void Frame(Music& music, u64 ms) {
        music.MusicTimer().SetStart(Timer::Now() - ms);
        music.Update(Vec3(1, 2, 3), Vec3(0, 0, 1), Vec3(0, 1, 0));
    }

    fs::path folder, temp, calls, savedFolder;
    std::string savedTemp, library;
    PlatformResource entry{};
    PlatformResourceTable table{};
    String savedWarnings;
    u8 savedMaster = 0;
    MusicSettings settings;
};

const std::vector<std::string> kStartCalls = {
    "Set3DFactors -1 0.1 -1", "Apply3D", "SetConfig 4 0",
    "SampleLoad 1 OggS 0 17 20 4", "SampleGetChannel 65536 1", "ChannelPlay 65537 1"};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST_F(MusicTest, StartsOnTheDefaultDeviceIn3DAndPlaysThePiece) {
    Music music;
    music.Start(nullptr, settings, nullptr);
    EXPECT_TRUE(music.IsLoaded());
    EXPECT_EQ(Calls(), Join({"Init 1 44100 4"}, kStartCalls));
    // The library sits in a "bas" temporary file in the temporary folder.
    const std::string file = music.LibraryFile();
    EXPECT_EQ(fs::path(file).parent_path(), temp);
    EXPECT_EQ(fs::path(file).filename().string().substr(0, 3), "bas");
    EXPECT_EQ(ReadText(file), library);
    EXPECT_EQ(Warnings(), "");
}

TEST_F(MusicTest, WithoutAnOutputDeviceItRetriesOnTheNoSoundDeviceWithout3D) {
    setenv("CORVANE_AUDIO_STANDIN_NO_DEVICE", "1", 1);
    Music music;
    music.Start(nullptr, settings, nullptr);
    EXPECT_EQ(Calls(), Join({"Init 1 44100 4", "Init 0 44100 0"}, kStartCalls));
}

TEST_F(MusicTest, TheVolumeRisesOverFourSecondsAndTheListenerFollowsTheCamera) {
    Music music;
    music.Start(nullptr, settings, nullptr);
    ForgetCalls();
    Frame(music, 1000);
    Frame(music, 2000);
    Frame(music, 3999);
    Frame(music, 4000);
    Frame(music, 60000);
    const std::string listener = "Set3DPosition 1,2,3 null 0,0,1 0,1,0";
    EXPECT_EQ(Calls(), (std::vector<std::string>{"SetConfig 4 20", listener, "Apply3D", "SetConfig 4 40", listener,
                                                 "Apply3D", "SetConfig 4 79", listener, "Apply3D", "SetConfig 4 80",
                                                 listener, "Apply3D", "SetConfig 4 80", listener, "Apply3D"}));
}

TEST_F(MusicTest, MusicOffLoadsNothingAndMakesNoCallEachFrame) {
    settings.music = false;
    Music music;
    music.Start(nullptr, settings, nullptr);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"Init 1 44100 4", "Set3DFactors -1 0.1 -1", "Apply3D", "SetConfig 4 0"}));
    ForgetCalls();
    Frame(music, 5000);
    EXPECT_EQ(Calls(), std::vector<std::string>{});
}

TEST_F(MusicTest, VolumeZeroMakesNoCallEachFrame) {
    settings.volume = 0;
    Music music;
    music.Start(nullptr, settings, nullptr);
    ForgetCalls();
    Frame(music, 5000);
    EXPECT_EQ(Calls(), std::vector<std::string>{});
}

TEST_F(MusicTest, AMissingFileWarnsAndTheSceneGoesOn) {
    settings.file = String("absent.ogg");
    Music music;
    music.Start(nullptr, settings, nullptr);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"Init 1 44100 4", "Set3DFactors -1 0.1 -1", "Apply3D", "SetConfig 4 0"}));
    EXPECT_EQ(music.Sample(), 0u);
    EXPECT_NE(Warnings().find("Music failed to load"), std::string::npos) << Warnings();
}

TEST_F(MusicTest, ARefusedFileWarns) {
    setenv("CORVANE_AUDIO_STANDIN_REFUSE", "1", 1);
    Music music;
    music.Start(nullptr, settings, nullptr);
    EXPECT_EQ(Calls().back(), "SampleLoad 1 OggS 0 17 20 4");
    EXPECT_NE(Warnings().find("Music failed to load"), std::string::npos) << Warnings();
}

TEST_F(MusicTest, ReleaseSilencesStopsTheLibraryBeforeUnloadingItAndDeletesTheFile) {
    Music music;
    music.Start(nullptr, settings, nullptr);
    const std::string file = music.LibraryFile();
    ASSERT_TRUE(fs::exists(file));
    ForgetCalls();
    music.Release();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"SetConfig 4 0", "Free", "unloaded"}));
    EXPECT_FALSE(music.IsLoaded());
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(TempFiles(), 0u);
    // A second release, and frames after it, call nothing.
    ForgetCalls();
    music.Release();
    Frame(music, 5000);
    EXPECT_EQ(Calls(), std::vector<std::string>{});
}

TEST_F(MusicTest, TheDestructorReleasesToo) {
    {
        Music music;
        music.Start(nullptr, settings, nullptr);
        ForgetCalls();
    }
    EXPECT_EQ(Calls(), (std::vector<std::string>{"SetConfig 4 0", "Free", "unloaded"}));
    EXPECT_EQ(TempFiles(), 0u);
}

TEST_F(MusicTest, WithoutTheResourceNothingIsCalledAndTheSaverRunsSilent) {
    const PlatformResourceTable none = {nullptr, 0};
    PlatformResources_Override(&none);
    Music music;
    music.Start(nullptr, settings, nullptr);
    EXPECT_FALSE(music.IsLoaded());
    Frame(music, 5000);
    music.Release();
    EXPECT_EQ(Calls(), std::vector<std::string>{});
    EXPECT_EQ(TempFiles(), 0u);
    EXPECT_NE(Warnings().find("Audio library could not be written"), std::string::npos) << Warnings();
    EXPECT_EQ(Warnings().find("Music failed to load"), std::string::npos);
}

TEST_F(MusicTest, ALibraryThatCannotBeLoadedLeavesNoFileBehind) {
    const std::string garbage = "this is not a shared object";
    UseLibrary(garbage);
    Music music;
    EXPECT_FALSE(music.LoadBass());
    EXPECT_EQ(TempFiles(), 0u);
    EXPECT_EQ(music.LoadMusic(patht("Media/music.ogg"), 4), 0u);
    Frame(music, 5000);
    EXPECT_EQ(Calls(), std::vector<std::string>{});
    EXPECT_NE(Warnings().find("Audio library failed to load"), std::string::npos) << Warnings();
}

TEST_F(MusicTest, AnEmptyResourceIsNotWritten) {
    UseLibrary(std::string());
    Music music;
    EXPECT_FALSE(music.LoadBass());
    EXPECT_EQ(TempFiles(), 0u);
}
