// Ten thousand frames of the product scene over days of a few hundred milliseconds (every
// day part, sky set, sun and moon position and shadow delay comes round many times), the
// device lost at random frames and given back a few frames later: afterwards no Direct3D
// object more is alive than before the losses, every frame returned, and the scene's
// day cycle kept going.
#include "Dunmerrow/Dunmerrow.h"
#include "Effect/EffectManager.h"
#include "Gui/WindowManager.h"
#include "Screen/ProductSettings.h"
#include "Screen/SceneParams.h"
#include "tests/TestSupport.h"
#include "tests/linux/MediaResourcesSupport.h"
#include "tests/linux/SaverTestSupport.h"

#include <windows.h>
#include <PlatformResources.h>
#include <PlatformTest.h>
#include <PlatformTestD3d9.h>
#include <PlatformTestInput.h>
#include <PlatformTestProcess.h>
#include <PlatformTestRegistry.h>
#include <PlatformTestWindows.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr u32 kFrames = 10000;

// The product scene, stopped after a number of passes, with a script run after each.
class SoakScene : public Dunmerrow {
public:
    explicit SoakScene(u32 passes) : limit(passes) {}
    bool RenderScene() override {
        ++renders;
        return Dunmerrow::RenderScene();
    }
    bool Update() override {
        Dunmerrow::Update();
        ++updates;
        if (script) script(updates);
        if (updates >= limit) closing = 1;
        return true;
    }
    std::function<void(u32)> script;
    u32 limit;
    u32 updates = 0;
    u32 renders = 0;
};

// The bytes of the glows' dynamic vertex buffers, made and held by their ranges: a draw
// that kept the last frame's range would grow both with every frame.
struct GlowBuffers {
    u64 length = 0;
    u64 used = 0;
    bool operator==(const GlowBuffers&) const = default;
};
GlowBuffers GlowBuffersOf(Dunmerrow& scene) {
    GlowBuffers sum;
    for (GlowRayMesh& glow : scene.glows) {
        const GeometryRef geometry = glow.GetGeometry();
        const SharedBuffer* buffer = geometry ? geometry->GetVertexBuffer(0) : nullptr;
        if (!buffer) continue;
        sum.length += buffer->GetLength();
        sum.used += buffer->GetLength() - buffer->GetFreeBytes();
    }
    return sum;
}

class DunmerrowSoakTest : public savertest::WorldTest<SoakScene> {
protected:
    DunmerrowSoakTest() : WorldTest("corvane-dunmerrow-soak") {}
};

}  // namespace

TEST_F(DunmerrowSoakTest, TenThousandFramesOfShortDaysWithRandomDeviceLossesLeakNothing) {
    std::ofstream("settings.txt", std::ios::binary) << "\xEF\xBB\xBF" "ShowFps = 1\n";
    MediaResources media;
    // The flights are drawn with rand(), which the program's entry point seeds and every
    // earlier test of the process has moved on: the seed of a fresh process makes the run
    // the same whatever ran before (with another, a mesh may first be drawn only after the
    // counts were taken).
    srand(1);
    scene = new SoakScene(kFrames);
    ASSERT_TRUE(scene->Create(GetModuleHandleA(nullptr), nullptr));
    // Days of 1.6 s at 16 ms a frame: a hundred frames a day, a hundred days.
    DayLengthSetting = 1600;
    scene->ShadowDelay.value = 3;
    // The day parts of the shipped configuration, whatever the test's resources carry.
    if (scene->CameraTimes.value.count < 2) {
        scene->CameraTimes.value.Resize(0);
        for (f32 t : {0.0f, 0.05f, 0.47f, 0.62f}) scene->CameraTimes.value.Add(t);
    }
    if (scene->skyTable[1].start == 0.0f) {
        const f32 starts[Dunmerrow::kSkySets] = {0.0f, 0.09f, 0.44f, 0.58f};
        for (u32 set = 0; set < Dunmerrow::kSkySets; ++set) scene->skyTable[set].start = starts[set];
    }
    PlatformTest_SetClock(timeGetTime());
    scene->dayTimer.Restart();

    std::mt19937 random(20261210);
    savertest::LiveCounts before{};
    savertest::LiveCounts after{};
    GlowBuffers glowsBefore;
    GlowBuffers glowsAfter;
    u32 giveBackAt = 0;
    u32 losses = 0;
    bool lost = false;
    std::array<u32, 4> partFrames{};
    std::array<u32, Dunmerrow::kSkySets> skyFrames{};
    scene->script = [&](u32 pass) {
        PlatformTest_AdvanceClock(16);
        if (scene->day.currentDayPart >= 0 && scene->day.currentDayPart < 4) ++partFrames[scene->day.currentDayPart];
        if (scene->currentSky >= 0 && scene->currentSky < static_cast<i32>(Dunmerrow::kSkySets)) ++skyFrames[scene->currentSky];
        // Meshes make their buffers when first drawn: the counts are taken once four
        // whole days (every day part, every flight list) have been drawn.
        if (pass == 400) {
            before = savertest::Live();
            glowsBefore = GlowBuffersOf(*scene);
        }
        if (pass == kFrames - 1) {
            after = savertest::Live();
            glowsAfter = GlowBuffersOf(*scene);
        }
        if (pass < 450) return;
        if (pass > kFrames - 60) {
            // The last frames run on a device that is back.
            if (lost) PlatformTest_D3d9AllowReset(scene->device);
            lost = false;
            return;
        }
        if (!lost && random() % 60 == 0) {
            PlatformTest_D3d9LoseDevice(scene->device);
            lost = true;
            giveBackAt = pass + 1 + random() % 8;
            ++losses;
        } else if (lost && pass >= giveBackAt) {
            PlatformTest_D3d9AllowReset(scene->device);
            lost = false;
        }
    };
    EXPECT_EQ(scene->Run(), 1);
    EXPECT_EQ(scene->updates, kFrames);
    EXPECT_GT(losses, 50u);
    for (size_t k = 0; k < before.size(); ++k) EXPECT_EQ(after[k], before[k]) << "live objects of kind " << k;
    EXPECT_GT(glowsBefore.length, 0u) << "the glows drew";
    EXPECT_EQ(glowsAfter.length, glowsBefore.length) << "bytes of the glows' vertex buffers";
    EXPECT_EQ(glowsAfter.used, glowsBefore.used) << "bytes the glows' ranges hold";
    // Every day part and every sky set had its frames, day after day.
    for (u32 part = 0; part < 4; ++part) EXPECT_GT(partFrames[part], 100u) << "day part " << part;
    for (u32 set = 0; set < Dunmerrow::kSkySets; ++set) EXPECT_GT(skyFrames[set], 100u) << "sky set " << set;
    // A third of the frames drew the shadow map, less those of a lost device.
    if (scene->ShadowsEnabled.value && scene->shadowMap.GetSize() > 0) {
        EXPECT_GT(scene->day.shadowMapDraws, kFrames / 4);
        EXPECT_LE(scene->day.shadowMapDraws, kFrames / 3 + 1);
    }
    // Run released the device: nothing of it is left.
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::Device), 0);
}
