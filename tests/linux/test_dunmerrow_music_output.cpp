// What the user hears of the product scene: the saver started with nothing on disk, only
// the executable's resources (the build's packed media archive and the real audio
// library), its output captured through SDL's "disk" driver into a file of the test's own.
//
// The output thread runs on its own, faster than real time, while the test steps the
// platform clock. So that no result depends on how fast either side gets on, every level
// is read from a stretch of the capture known to have been mixed at one clock time: each
// step of the clock waits until the capture has grown past what was in flight when the
// previous step set its volume (the mixer's buffer and the file's own buffering), plus a
// stretch to measure; that stretch ends where the capture stood when the next step began.
#include "Dunmerrow/Dunmerrow.h"
#include "tests/linux/MediaResourcesSupport.h"
#include "tests/linux/SaverTestSupport.h"

#include <windows.h>
#include <PlatformTest.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uintmax_t kFrameBytes = 4;  // 16-bit stereo
constexpr uintmax_t kRate = 44100;
// What may have been mixed but not yet be seen in the file when a step reads its size: a
// buffer of the output (1,024 frames) and the file's buffer, many times over.
constexpr uintmax_t kInFlightBytes = 32 * 1024;
// The stretch of each step that is measured: 0.3 s.
constexpr uintmax_t kMeasuredBytes = kRate * kFrameBytes * 3 / 10;
// The clock's steps after the music started, ms.
constexpr DWORD kStepMs = 500;
constexpr DWORD kLastStepMs = 6000;
constexpr auto kDeadline = std::chrono::seconds(120);

// The product scene with a script that runs before each frame's update; the script's
// false ends the run.
class ListenedScene : public Dunmerrow {
public:
    bool Update() override {
        if (script && !script()) closing = 1;
        return Dunmerrow::Update();
    }
    std::function<bool()> script;
};

class DunmerrowMusicOutput : public savertest::WorldTest<ListenedScene> {
protected:
    DunmerrowMusicOutput() : WorldTest("corvane-dunmerrow-music") {}
    void SetUp() override {
        WorldTest::SetUp();
        capture = world.folder / "output.raw";
        fs::create_directories(world.folder / "temp");
        savedTemp = getenv("TMPDIR") ? getenv("TMPDIR") : "";
        setenv("TMPDIR", (world.folder / "temp").c_str(), 1);
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "4", 1);  // some five times faster than played
    }
    void TearDown() override {
        WorldTest::TearDown();
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
        unsetenv("SDL_DISKAUDIODELAY");
        if (savedTemp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", savedTemp.c_str(), 1);
    }

    uintmax_t CaptureSize() const {
        std::error_code error;
        const uintmax_t size = fs::file_size(capture, error);
        return error ? 0 : size - size % kFrameBytes;
    }

    std::vector<int16_t> Captured() const {
        std::ifstream in(capture, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<int16_t> samples(bytes.size() / 2);
        memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

    fs::path capture;
    std::string savedTemp;
};

// The root mean square of both channels over bytes [from, to) of the capture.
double Level(const std::vector<int16_t>& samples, uintmax_t from, uintmax_t to) {
    const size_t first = static_cast<size_t>(from / 2), last = std::min(samples.size(), static_cast<size_t>(to / 2));
    if (last <= first) return 0.0;
    double sum = 0.0;
    for (size_t i = first; i < last; ++i) sum += static_cast<double>(samples[i]) * samples[i];
    return std::sqrt(sum / static_cast<double>(last - first));
}

}  // namespace

TEST_F(DunmerrowMusicOutput, TheMusicComesFromTheArchiveAndRisesFromSilence) {
    MediaResources media(CORVANE_AUDIO_LIBRARY);
    if (!media.HasArchive()) GTEST_SKIP() << "this build packs no media archive";
    ASSERT_TRUE(media.HasAudioLibrary());
    scene = new ListenedScene;
    ASSERT_TRUE(scene->Create(GetModuleHandleA(nullptr), nullptr));
    ASSERT_FALSE(fs::exists(world.folder / "Media")) << "the media come from the archive alone";
    ASSERT_EQ(scene->Music, 1);
    ASSERT_EQ(scene->Volume, 80);
    ASSERT_TRUE(scene->music.IsLoaded());

    // From here the platform's clock is the run's time; the music's ramp starts with it.
    const DWORD start = timeGetTime();
    PlatformTest_SetClock(start);
    scene->music.MusicTimer().Restart();

    // For each step: the clock time and the capture's size when its frame began.
    struct Step {
        DWORD ms;
        uintmax_t begun;
    };
    std::vector<Step> steps;
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    bool late = false;
    scene->script = [&] {
        if (std::chrono::steady_clock::now() > deadline) {
            late = true;
            return false;
        }
        const uintmax_t size = CaptureSize();
        if (steps.empty()) {
            steps.push_back({0, size});
            return true;
        }
        // A step is due once its time has been played, counted from the first frame, and
        // the previous step's stretch has been captured.
        const Step& last = steps.back();
        const DWORD next = last.ms + kStepMs;
        const uintmax_t played = steps.front().begun + uintmax_t{next} * kRate / 1000 * kFrameBytes;
        if (size < std::max(played, last.begun + kInFlightBytes + kMeasuredBytes)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return true;
        }
        if (last.ms >= kLastStepMs) return false;
        PlatformTest_SetClock(start + next);
        steps.push_back({next, size});
        return true;
    };
    EXPECT_EQ(scene->Run(), 1);
    ASSERT_FALSE(late) << "the capture stopped growing after " << CaptureSize() << " bytes";
    ASSERT_EQ(steps.size(), kLastStepMs / kStepMs + 1);

    const std::vector<int16_t> samples = Captured();
    // What a step's volume was heard at: from past what was in flight to where the next
    // step began.
    auto levelAt = [&](DWORD ms) {
        const size_t i = ms / kStepMs;
        return Level(samples, steps[i].begun + kInFlightBytes, steps[i + 1].begun);
    };
    // Silence at first: everything before the volume's first rise.
    for (size_t i = 0; i < steps[1].begun / 2 && i < samples.size(); ++i)
        ASSERT_EQ(samples[i], 0) << "sample " << i << " of the opening";
    // Sound within 2 s (at 1.5 s), and louder at 5 s as the volume rises.
    std::string levels;
    for (DWORD ms = 0; ms < kLastStepMs; ms += kStepMs)
        levels += " " + std::to_string(ms) + " ms: " + std::to_string(static_cast<int>(levelAt(ms)));
    const double early = levelAt(1500), later = levelAt(5000);
    EXPECT_GT(early, 30.0) << levels;
    EXPECT_GT(later, 2.0 * early) << levels;
}
