// The set-up the window suites on the reference device share: a fresh platform and a
// windowed device for every test (skipped where there is none), and the window manager,
// geometry, light and texture tables emptied before and after.
#pragma once

#include "D3d/Application.h"
#include "D3d/GeometryCache.h"
#include "D3d/StateCache.h"
#include "D3d/TextureManager.h"
#include "Effect/LightSet.h"
#include "Gui/WindowManager.h"
#include "tests/linux/PlatformD3d9Support.h"

#include <gtest/gtest.h>

class WindowDeviceTest : public ::testing::Test {
protected:
    Application app;
    WindowManager& wm = TheWindowManager();

    void SetUp() override {
        platformd3d9::ResetPlatform();
        wm.Reset();
        TheTextureManager().Reset();
        if (!app.Create(GetModuleHandleA(nullptr), nullptr) || !app.SetMode(false))
            GTEST_SKIP() << "no windowed reference device";
        StateCache::InvalidateAll();
        TheGeometryCache().Reset();
        TheLightSet().Reset();
    }
    void TearDown() override {
        wm.Reset();
        TheTextureManager().Reset();
        TheGeometryCache().Reset();
        TheLightSet().Reset();
        StateCache::InvalidateAll();
    }
};
