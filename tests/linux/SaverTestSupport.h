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
#include <PlatformTestD3d9.h>
#include <PlatformTestInput.h>
#include <PlatformTestProcess.h>
#include <PlatformTestRegistry.h>
#include <PlatformTestWindows.h>

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

}  // namespace savertest
