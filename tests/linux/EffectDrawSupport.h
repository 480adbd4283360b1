// What the effect drawing suites share: an application with a windowed reference device and
// a working folder of the test's own for effect sources, and readers of what the device
// recorded.
#pragma once

#include "Core/ProgramObjects.h"
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"
#include "Effect/Effect.h"
#include "Effect/EffectManager.h"
#include "Effect/Light.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "tests/TestSupport.h"
#include "tests/EffectDrawSources.h"

#include <PlatformTestD3d9.h>
#include <PlatformTestD3dx9Effect.h>
#include <PlatformTestWindows.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace effectdraw {

namespace fs = std::filesystem;

class DrawDevice : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformTest_D3d9Reset();
        PlatformTest_ResetWindows();
        folder = testsupport::FreshTestFolder("corvane-draw");
        fs::create_directories(folder / "Shaders");
        saved = fs::current_path();
        fs::current_path(folder);
        PlatformTest_D3d9SetAdapters({PlatformTest_D3d9DefaultAdapter()});
        app = std::make_unique<Application>();
        ASSERT_TRUE(app->Create(GetModuleHandleA(nullptr), nullptr));
        ASSERT_TRUE(app->SetMode(false));
        ASSERT_NE(TheDevice(), nullptr);
        StateCache::InvalidateAll();
    }
    void TearDown() override {
        TheEffectManager().Reset();
        app.reset();
        fs::current_path(saved);
        fs::remove_all(folder);
        PlatformTest_D3d9Reset();
        PlatformTest_ResetWindows();
    }
    fs::path Write(const std::string& name, const std::string& text) {
        const fs::path path = fs::path("Shaders") / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // The device's calls since the last look, and the effect passes recorded.
    static std::vector<std::string> TakeCalls() {
        std::vector<std::string> calls = PlatformTest_D3d9CallLog();
        PlatformTest_D3d9ClearCallLog();
        return calls;
    }
    static void ClearRecords() {
        PlatformTest_D3d9ClearCallLog();
        PlatformTest_D3dx9ClearEffectPasses();
    }

    fs::path folder;
    fs::path saved;
    std::unique_ptr<Application> app;
};

// The effect passes recorded since the last clear, as "#effect technique pass" lines.
inline std::vector<std::string> PassLines(const std::vector<PlatformTestEffectPass>& passes) {
    std::vector<std::string> out;
    for (const PlatformTestEffectPass& p : passes)
        if (!p.commit) out.push_back("#" + std::to_string(p.effect) + " " + p.technique + " " + std::to_string(p.pass));
    return out;
}

inline std::vector<std::string> Matching(const std::vector<std::string>& calls, const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& call : calls)
        if (call.rfind(prefix, 0) == 0) out.push_back(call);
    return out;
}

}  // namespace effectdraw
