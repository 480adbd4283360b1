// A scene for the full-screen saver's tests: loads nothing, draws nothing, and counts the
// calls the saver makes into it. LoadCustom can be told to fail.
#pragma once

#include "Screen/ScreenSaverFull.h"

#include <functional>

class SaverTestScene : public ScreenSaver::Full {
public:
    bool LoadCustom() override {
        ++loads;
        return loadResult;
    }
    bool RenderScene() override {
        ++renders;
        return true;
    }
    bool Update() override {
        ++updates;
        return true;
    }
    void ReleaseCustom() override { ++releases; }
    void Fade(f32 start, f32 end) override {
        ++fades;
        ScreenSaver::Full::Fade(start, end);
    }
    void DrawFadeQuad(f32 opacity) override {
        lastFadeOpacity = opacity;
        ++fadeQuads;
        ScreenSaver::Full::DrawFadeQuad(opacity);
    }

    bool loadResult = true;
    u32 loads = 0;
    u32 renders = 0;
    u32 updates = 0;
    u32 releases = 0;
    u32 fades = 0;
    u32 fadeQuads = 0;
    f32 lastFadeOpacity = -1.0f;
};

// Runs `script` after each pass's Update with the pass number (from 1); the loop is
// stopped after `limit` passes.
class ScriptedSaverScene : public SaverTestScene {
public:
    explicit ScriptedSaverScene(u32 passes) : limit(passes) {}
    bool Update() override {
        SaverTestScene::Update();
        if (script) script(updates);
        if (updates >= limit) closing = 1;
        return true;
    }
    std::function<void(u32)> script;
    u32 limit;
};
