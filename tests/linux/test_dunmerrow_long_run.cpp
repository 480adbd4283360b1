// The product scene of a saver left running for days, on the platform's test clock: the
// millisecond counter wrapping after 2^32 ms while it runs, and a machine that slept a
// week between two frames. Through both, each frame moves the distortion view's time,
// the day and the magic on by the time that frame took, and the frame after the sleep
// returns as any other does.
#include "Core/Timer.h"
#include "Dunmerrow/Dunmerrow.h"
#include "Scene/ParticleEmitter.h"
#include "Screen/SceneParams.h"
#include "tests/linux/MediaResourcesSupport.h"
#include "tests/linux/SaverTestSupport.h"

#include <windows.h>
#include <PlatformTest.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <vector>

namespace {

constexpr DWORD kFrameMs = 16;
constexpr i32 kDayMs = 600000;
constexpr u64 kCounterRound = 1ull << 32;
constexpr DWORD kWeekMs = 7u * 24 * 3600 * 1000;

// What one frame left behind.
struct FrameTimes {
    f32 distortion;  // the view cell's time, seconds
    f32 day;         // the day fraction
    u64 magic;       // the first magic emitter's last update
};

// The product scene, stopped after a number of passes; each pass notes the frame before
// it, then moves the test clock on by what the script says.
class LongRunScene : public Dunmerrow {
public:
    explicit LongRunScene(u32 passes) : limit(passes) {}
    bool Update() override {
        Dunmerrow::Update();
        ++updates;
        const ParticleEmitter* emitter = magic[0].Emitter();
        frames.push_back({viewCell.Time(), day.fraction, emitter ? emitter->lastUpdate : 0});
        PlatformTest_AdvanceClock(step(updates));
        if (updates >= limit) closing = 1;
        return true;
    }
    DWORD (*step)(u32 pass) = [](u32) { return kFrameMs; };
    u32 limit;
    u32 updates = 0;
    std::vector<FrameTimes> frames;
};

class DunmerrowLongRunTest : public savertest::WorldTest<LongRunScene> {
protected:
    DunmerrowLongRunTest() : WorldTest("corvane-dunmerrow-long-run") {}
    void TearDown() override {
        WorldTest::TearDown();
        Timer::ForgetWraps();
    }

    // Starts the scene, then moves its clocks to a test clock standing at `start`, at
    // night (when the magic is drawn). Start-up runs on the system clock: its loading fade
    // waits for time to pass.
    void Start(u32 passes, DWORD start) {
        std::ofstream("settings.txt", std::ios::binary) << "\xEF\xBB\xBF" "DEBUG = 1\n";
        srand(1);
        scene = new LongRunScene(passes);
        ASSERT_TRUE(scene->Create(GetModuleHandleA(nullptr), nullptr));
        PlatformTest_SetClock(start);
        Timer::ForgetWraps();
        DayLengthSetting = kDayMs;
        scene->dayTimer.SetStart(Timer::Now() - kDayMs * 3 / 4);
        scene->ankhTimer.Restart();
        scene->viewCell.CellTimer().Restart();
        for (GlowRayMesh& glow : scene->glows) glow.RayTimer().Restart();
        for (MagicHolder& holder : scene->magic) {
            ParticleEmitter* emitter = holder.Emitter();
            ASSERT_NE(emitter, nullptr);
            emitter->genPeriod.Restart();
            emitter->lastUpdate = Timer::Now();
        }
    }

    // Frames first..last-1 each moved every time on by one frame's step.
    void ExpectFrameSteps(u32 first, u32 last) const {
        const std::vector<FrameTimes>& f = scene->frames;
        ASSERT_LE(last, f.size());
        for (u32 i = first; i + 1 < last; ++i) {
            EXPECT_NEAR(f[i + 1].distortion - f[i].distortion, kFrameMs * 0.001f, 0.0005f) << "frame " << i;
            EXPECT_NEAR(f[i + 1].day - f[i].day, static_cast<f32>(kFrameMs) / kDayMs, 1e-6f) << "frame " << i;
            EXPECT_EQ(f[i + 1].magic - f[i].magic, kFrameMs) << "frame " << i;
        }
    }
};

}  // namespace

TEST_F(DunmerrowLongRunTest, EveryFrameMovesOnByItsStepAcrossTheCounterWrap) {
    MediaResources media;
    // Twenty frames before the wrap and twenty after it.
    Start(40, static_cast<DWORD>(kCounterRound - 20 * kFrameMs - 8));
    EXPECT_EQ(scene->Run(), 1);
    ASSERT_EQ(scene->frames.size(), 40u);
    // The first pass comes before the first frame.
    ExpectFrameSteps(1, 40);
    EXPECT_GT(Timer::Now(), kCounterRound);
}

TEST_F(DunmerrowLongRunTest, TheFrameAfterAWeekAsleepReturnsAndLaterFramesStepOnByTheirTime) {
    MediaResources media;
    Start(30, 100000);
    scene->step = [](u32 pass) { return pass == 10 ? kWeekMs : kFrameMs; };
    EXPECT_EQ(scene->Run(), 1);
    ASSERT_EQ(scene->frames.size(), 30u);
    ExpectFrameSteps(1, 10);
    // Frame 10 drew the first frame after the week; from there on, frames step as before,
    // with every time a week on.
    ExpectFrameSteps(10, 30);
    EXPECT_GE(scene->frames[29].magic, 100000u + kWeekMs);
}
