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

// Makes a fresh folder named after the running test, enters it (the saver writes its logs
// and caches into the working folder) and gives it its own registry file; returns it.
inline std::filesystem::path EnterFreshWorld(const std::string& prefix) {
    const std::filesystem::path folder = testsupport::FreshTestFolder(prefix);
    std::filesystem::current_path(folder);
    PlatformTest_SetRegistryFile((folder / "registry").c_str());
    PlatformTest_ResetWindows();
    PlatformTest_ResetProcess();
    PlatformTest_ResetInput();
    PlatformTest_D3d9Reset();
    PlatformResources_Override(nullptr);
    ResetTheSaver();
    ResetProductSettings();
    ResetDebugMode();
    ResetDesktopMode();
    TheWindowManager().Reset();
    TheEffectManager().Reset();
    return folder;
}

// Undoes EnterFreshWorld once the saver is gone: the program-wide objects and platform
// records back to a fresh start, the working folder back to home, the test's folder gone.
inline void LeaveWorld(const std::filesystem::path& home, const std::filesystem::path& folder) {
    TheWindowManager().Reset();
    TheEffectManager().Reset();
    PlatformResources_Override(nullptr);
    PlatformTest_ResetWindows();
    PlatformTest_ResetProcess();
    PlatformTest_ResetInput();
    PlatformTest_D3d9Reset();
    PlatformTest_UseSystemClock();
    ResetTheSaver();
    ResetDebugMode();
    ResetProductSettings();
    std::filesystem::current_path(home);
    std::filesystem::remove_all(folder);
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
    void SetUp() override {
        home = std::filesystem::current_path();
        folder = EnterFreshWorld(prefix_);
    }
    void TearDown() override {
        delete scene;
        scene = nullptr;
        LeaveWorld(home, folder);
    }

    std::filesystem::path home, folder;
    Scene* scene = nullptr;

private:
    const char* prefix_;
};

}  // namespace savertest
