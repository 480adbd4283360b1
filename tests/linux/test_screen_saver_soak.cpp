// A thousand passes of the full-screen saver's loop with the frame-rate and clock overlays
// on, the device lost at random passes and given back a few passes later: afterwards no
// Direct3D object more is alive than before the losses, and a frame draws what it drew
// before them (the overlays came back with the device).
#include "Effect/EffectManager.h"
#include "Gui/WindowManager.h"
#include "Screen/ProductSettings.h"
#include "Screen/SceneParams.h"
#include "tests/SaverTestScene.h"
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

using SoakScene = ScriptedSaverScene;

// The draws of a frame's windows: those after the depth-only clear that precedes them.
size_t WindowDraws(const std::vector<std::string>& frame) {
    size_t draws = 0;
    bool windows = false;
    for (const std::string& call : frame) {
        if (call.rfind("Clear(0, 0x2,", 0) == 0) windows = true;
        if (call.rfind("EndScene", 0) == 0) windows = false;
        if (windows && call.rfind("DrawPrimitive", 0) == 0) ++draws;
    }
    return draws;
}

class SaverSoakTest : public savertest::WorldTest<SoakScene> {
protected:
    SaverSoakTest() : WorldTest("corvane-soak") {}
};

}  // namespace

TEST_F(SaverSoakTest, AThousandPassesWithRandomDeviceLossesLeakNothingAndKeepTheOverlays) {
    std::ofstream("settings.txt", std::ios::binary) << "\xEF\xBB\xBF" "ShowFps = 1\nShowTime = 1\n";
    MediaResources media;
    scene = new SoakScene(1000);
    ASSERT_TRUE(scene->Create(GetModuleHandleA(nullptr), nullptr));
    ASSERT_TRUE(scene->FpsText.IsVisible());
    ASSERT_TRUE(scene->ClockText.IsVisible());
    // Start-up ran on the live clock (its loading screen fades for 200 ms of it); the loop
    // runs on a clock stepped here, from where the live one stands.
    PlatformTest_SetClock(timeGetTime());

    std::mt19937 random(20261209);
    savertest::LiveCounts before{};
    savertest::LiveCounts after{};
    std::vector<std::string> frameBefore;
    std::vector<std::string> frameAfter;
    u32 giveBackAt = 0;
    u32 losses = 0;
    bool lost = false;
    // Between the script of one pass and that of the next the loop draws exactly one frame.
    scene->script = [&](u32 pass) {
        PlatformTest_AdvanceClock(16);
        if (pass == 20 || pass == 998) PlatformTest_D3d9ClearCallLog();
        if (pass == 21) {
            frameBefore = PlatformTest_D3d9CallLog();
            before = savertest::Live();
        }
        if (pass == 999) {
            frameAfter = PlatformTest_D3d9CallLog();
            after = savertest::Live();
        }
        if (pass < 30) return;
        if (pass > 950) {
            // The last passes run on a device that is back.
            if (lost) PlatformTest_D3d9AllowReset(scene->device);
            lost = false;
            return;
        }
        if (!lost && random() % 40 == 0) {
            PlatformTest_D3d9LoseDevice(scene->device);
            lost = true;
            giveBackAt = pass + 1 + random() % 6;
            ++losses;
        } else if (lost && pass >= giveBackAt) {
            PlatformTest_D3d9AllowReset(scene->device);
            lost = false;
        }
    };
    EXPECT_EQ(scene->Run(), 1);
    EXPECT_EQ(scene->updates, 1000u);
    EXPECT_GT(losses, 5u);
    for (size_t k = 0; k < before.size(); ++k) EXPECT_EQ(after[k], before[k]) << "live objects of kind " << k;
    // A frame after the losses draws as many window meshes as one before them: the
    // overlays are drawn again, and nothing more.
    EXPECT_FALSE(frameBefore.empty());
    EXPECT_EQ(WindowDraws(frameAfter), WindowDraws(frameBefore));
    if (media.HasArchive()) {
        EXPECT_GT(WindowDraws(frameBefore), 0u) << "the overlays draw with the media's fonts";
    }
    // Run released the device: nothing of it is left.
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::Device), 0);
}
