// What the full-screen saver's Linux tests share: a fresh start for every program-wide
// object and platform record a saver run touches, in a folder of the test's own.
#pragma once

#include "Effect/EffectManager.h"
#include "Gui/WindowManager.h"
#include "Screen/ProductSettings.h"
#include "Screen/SceneParams.h"
#include "Screen/ScreenSaverFull.h"
#include "tests/TestSupport.h"

#include <PlatformResources.h>
#include <PlatformTest.h>
#include <PlatformTestD3d9.h>
#include <PlatformTestInput.h>
#include <PlatformTestProcess.h>
#include <PlatformTestRegistry.h>
#include <PlatformTestWindows.h>

#include <array>
#include <filesystem>
#include <string>

namespace savertest {

// Where a saver test runs and what it must put back: the folder it came from, a fresh
// folder of its own and the switches as it found them.
struct World {
    std::filesystem::path home, folder;
    testsupport::ProgramSwitches switches;
};

// Makes a fresh folder named after the running test, enters it (the saver writes its logs
// and caches into the working folder) and gives it its own registry file.
inline World EnterFreshWorld(const std::string& prefix) {
    World world;
    world.home = std::filesystem::current_path();
    world.folder = testsupport::FreshTestFolder(prefix);
    std::filesystem::current_path(world.folder);
    PlatformTest_SetRegistryFile((world.folder / "registry").c_str());
    PlatformTest_ResetWindows();
    PlatformTest_ResetProcess();
    PlatformTest_ResetInput();
    PlatformTest_D3d9Reset();
    PlatformResources_Override(nullptr);
    ResetTheSaver();
    ResetProductSettings();
    ResetDebugMode();
    TheWindowManager().Reset();
    TheEffectManager().Reset();
    return world;
}

// Undoes EnterFreshWorld once the saver is gone: the program-wide objects and platform
// records back to a fresh start, the switches and the registry file as the test found
// them, the working folder back to home, the test's folder gone.
inline void LeaveWorld(const World& world) {
    TheWindowManager().Reset();
    TheEffectManager().Reset();
    PlatformResources_Override(nullptr);
    PlatformTest_ResetWindows();
    PlatformTest_ResetProcess();
    PlatformTest_ResetInput();
    PlatformTest_D3d9Reset();
    PlatformTest_UseSystemClock();
    PlatformTest_SetRegistryFile(nullptr);
    ResetTheSaver();
    ResetDebugMode();
    ResetProductSettings();
    world.switches.PutBack();
    std::filesystem::current_path(world.home);
    std::filesystem::remove_all(world.folder);
}

// Direct3D objects alive, by kind: a run that leaks nothing ends with what it began with.
using LiveCounts = std::array<int, static_cast<size_t>(PlatformTestD3d9Kind::Count)>;

inline LiveCounts Live() {
    LiveCounts counts{};
    for (size_t k = 0; k < counts.size(); ++k) counts[k] = PlatformTest_D3d9LiveObjects(static_cast<PlatformTestD3d9Kind>(k));
    return counts;
}

// A test that runs one saver of kind Scene in a fresh world of its own, deleted at the end.
template <class Scene>
class WorldTest : public ::testing::Test {
protected:
    explicit WorldTest(const char* prefix) : prefix_(prefix) {}
    void SetUp() override { world = EnterFreshWorld(prefix_); }
    void TearDown() override {
        delete scene;
        scene = nullptr;
        LeaveWorld(world);
    }

    World world;
    Scene* scene = nullptr;

private:
    const char* prefix_;
};

}  // namespace savertest
