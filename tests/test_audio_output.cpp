// The audio library as the program loads it, with its output captured as 16-bit stereo at
// 44.1 kHz, so the tests read back the levels of each side. On Linux SDL's "disk" driver
// writes what would have been played to a file of the test's own. On Windows the output is
// WinMM's: under Wine the test runner points ALSA's default device at a file (a "file"
// device over "null", in a home folder of its own) and names that file in
// CORVANE_AUDIO_CAPTURE; without it there is nothing to read back and the capture tests
// skip.
#include "Audio/AudioApi.h"
#include "tests/AudioFixtures.h"
#include "tests/TestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace fs = std::filesystem;
using audiofixtures::Peak;
using audiofixtures::ToneWav;

namespace {

// The real library, loaded as the program loads it.
struct Library : BassCalls {
    Library() {
        module = LoadLibraryA(CORVANE_AUDIO_LIBRARY);
        EXPECT_NE(module, nullptr);
        EXPECT_TRUE(FetchAll([this](const char* name) {
            return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
        }));
    }
    ~Library() {
        if (module) FreeLibrary(module);
    }
    HMODULE module = nullptr;
};

class AudioOutput : public ::testing::Test {
protected:
    void SetUp() override {
        folder = testsupport::FreshTestFolder("corvane-audio-output");
#ifdef _WIN32
        const char* named = getenv("CORVANE_AUDIO_CAPTURE");
        if (named && *named) {
            capture = named;
            std::error_code ignored;
            fs::remove(capture, ignored);  // the device recreates it when it opens
        }
#else
        capture = folder / "output.raw";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "4", 1);  // some five times faster than played
#endif
        ASSERT_NE(lib.channelPlay, nullptr);
        tone = ToneWav(44100, 1, 16, 8820, 441, 0.5, true);  // 0.2 s of +-0.5
    }
    void TearDown() override {
        // A test that stopped half way must not leave the output running into an unloaded library.
        if (lib.free) lib.free();
#ifndef _WIN32
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
        unsetenv("SDL_DISKAUDIODELAY");
#endif
        fs::remove_all(folder);
    }

    // The tests that read the output back need somewhere to read it from.
    bool Captured() const { return !capture.empty(); }

    // Plays the tone once and returns everything the output received.
    std::vector<int16_t> PlayTone(DWORD volume, const BASS_3DVECTOR* listener, bool apply) {
        EXPECT_TRUE(Captured());
        EXPECT_TRUE(lib.init(1, 44100, BASS_DEVICE_3D, nullptr, nullptr));
        EXPECT_TRUE(lib.setConfig(BASS_CONFIG_GVOL_SAMPLE, volume));
        EXPECT_TRUE(lib.set3DFactors(-1, 0.1f, -1));
        const BASS_3DVECTOR front{0, 0, 1}, top{0, 1, 0};
        if (listener) {
            EXPECT_TRUE(lib.set3DPosition(listener, nullptr, &front, &top));
        }
        if (apply) lib.apply3D();
        const HSAMPLE sample = lib.sampleLoad(TRUE, tone.data(), 0, static_cast<DWORD>(tone.size()), 20, BASS_SAMPLE_3D);
        EXPECT_NE(sample, 0u);
        EXPECT_TRUE(lib.channelPlay(lib.sampleGetChannel(sample, TRUE), TRUE));
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        EXPECT_TRUE(lib.free());
        std::ifstream in(capture, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<int16_t> samples(bytes.size() / 2);
        memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

    Library lib;
    fs::path folder, capture;
    std::vector<uint8_t> tone;
};

constexpr int kHalf = 16383;

#define REQUIRE_CAPTURE() \
    if (!Captured()) GTEST_SKIP() << "no output to read back: tools/run-wine-tests.sh sets one up"

}  // namespace

TEST_F(AudioOutput, ADecodedToneComesOutAtItsLevel) {
    REQUIRE_CAPTURE();
    const std::vector<int16_t> out = PlayTone(100, nullptr, false);
    ASSERT_GT(out.size(), 2u * 8820);
    EXPECT_NEAR(Peak(out.data(), out.size(), 0), kHalf, 2);
    EXPECT_NEAR(Peak(out.data(), out.size(), 1), kHalf, 2);
}

TEST_F(AudioOutput, TheGlobalVolumeScalesIt) {
    REQUIRE_CAPTURE();
    const std::vector<int16_t> out = PlayTone(25, nullptr, false);
    ASSERT_GT(out.size(), 2u * 8820);
    EXPECT_NEAR(Peak(out.data(), out.size(), 0), kHalf / 4, 2);
}

TEST_F(AudioOutput, ASourceOnTheListenersRightIsLouderOnTheRight) {
    REQUIRE_CAPTURE();
    const BASS_3DVECTOR listener{-100, 0, 0};
    const std::vector<int16_t> out = PlayTone(100, &listener, true);
    ASSERT_GT(out.size(), 2u * 8820);
    EXPECT_NEAR(Peak(out.data(), out.size(), 1), kHalf, 2);
    EXPECT_LT(Peak(out.data(), out.size(), 0), 100);
}

TEST_F(AudioOutput, ThreeDChangesWaitForApply3D) {
    REQUIRE_CAPTURE();
    const BASS_3DVECTOR listener{-100, 0, 0};
    const std::vector<int16_t> out = PlayTone(100, &listener, false);
    EXPECT_NEAR(Peak(out.data(), out.size(), 0), kHalf, 2);
}

#ifndef _WIN32
TEST_F(AudioOutput, WithoutAnOutputTheDefaultDeviceFails) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_FALSE(lib.init(1, 44100, BASS_DEVICE_3D, nullptr, nullptr));
    EXPECT_TRUE(lib.init(0, 44100, 0, nullptr, nullptr));
    EXPECT_TRUE(lib.free());
}
#endif

TEST_F(AudioOutput, TheNoSoundDeviceWorksAndPlaybacksStopAtTheMaximum) {
    EXPECT_TRUE(lib.init(0, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(lib.init(0, 44100, 0, nullptr, nullptr));  // already open
    const HSAMPLE sample = lib.sampleLoad(TRUE, tone.data(), 0, static_cast<DWORD>(tone.size()), 1, 0);
    EXPECT_NE(sample, 0u);
    EXPECT_NE(lib.sampleGetChannel(sample, TRUE), 0u);
    EXPECT_EQ(lib.sampleGetChannel(sample, TRUE), 0u);  // at most one playback
    EXPECT_TRUE(lib.free());
    EXPECT_FALSE(lib.free());
    EXPECT_FALSE(fs::exists(capture));
}

TEST_F(AudioOutput, CallsBeforeInitFailAndGarbageIsRefused) {
    EXPECT_FALSE(lib.set3DFactors(-1, 0.1f, -1));
    EXPECT_EQ(lib.sampleLoad(TRUE, tone.data(), 0, static_cast<DWORD>(tone.size()), 20, 0), 0u);
    EXPECT_FALSE(lib.channelPlay(0x10001, TRUE));
    lib.apply3D();
    ASSERT_TRUE(lib.init(0, 44100, BASS_DEVICE_3D, nullptr, nullptr));
    const char garbage[] = "RIFF....WAVEnothing";
    EXPECT_EQ(lib.sampleLoad(TRUE, garbage, 0, sizeof garbage, 20, 0), 0u);
    EXPECT_EQ(lib.sampleLoad(TRUE, nullptr, 0, 100, 20, 0), 0u);
    EXPECT_EQ(lib.sampleLoad(FALSE, "music.ogg", 0, 0, 20, 0), 0u);
    EXPECT_EQ(lib.sampleLoad(TRUE, tone.data(), 0, static_cast<DWORD>(tone.size()), 0, 0), 0u);
    EXPECT_FALSE(lib.setConfig(BASS_CONFIG_GVOL_SAMPLE, 101));
    EXPECT_FALSE(lib.setConfig(5, 1));
    EXPECT_TRUE(lib.free());
}
