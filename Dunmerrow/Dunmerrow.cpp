// The product scene's object: its settings, what it switches off for good when it is built,
// the two conversions of the user's sliders (day length, shadow-map size) and the per-frame
// music step. Loading is in DunmerrowLoad.cpp, the frame in DunmerrowRender.cpp.
//
// The day length and shadow quality come from the registry, where anyone can write any
// number: both are clamped to 0..100 before they are used, and the day length is worked
// out in 64 bits (the span times the squared setting does not fit in 32) and never drops
// below 1 ms, because the frame divides by it.
#include "Dunmerrow/Dunmerrow.h"

#include "Core/Log.h"
#include "Core/ProgramObjects.h"
#include "Core/StatisticsTable.h"
#include "Screen/ProductSettings.h"
#include "Screen/RenderDefaults.h"

#include <algorithm>
#include <limits>
#include <new>

ScreenSaver* CreateProductSaver(i32 mode) {
    if (mode == ScreenSaver::kModePreview || mode == ScreenSaver::kModeConfig) return CreateSaver(mode);
    return new (std::nothrow) Dunmerrow;
}

Dunmerrow::Dunmerrow()
    : MusicFile(String("MusicFile"), true),
      CameraTimes(String("CameraTimes"), true),
      Cameras(String("Cameras"), true),
      GoldColor(String("GoldColor"), true),
      SunLight(String("SunLight"), true),
      MoonLight(String("MoonLight"), true),
      AmbientLight(String("AmbientLight"), true),
      ShadowLightness(String("ShadowLightness"), true),
      PyrShadow(String("PyrShadow"), true),
      ShadowsEnabled(String("ShadowsEnabled"), true),
      ShadowDelay(String("ShadowDelay"), true),
      ShadowArea(String("ShadowArea"), true),
      DistAmount(String("DistAmount"), true),
      Scale(String("Scale"), true),
      IsAnimated(String("IsAnimated"), true),
      AnkhSpeed(String("AnkhSpeed"), true),
      CloudSpeed(String("CloudSpeed"), true),
      MaxMagic(String("MaxMagic"), true),
      GlowPos(String("GlowPos"), true),
      GlowCol(String("GlowCol"), true),
      GlowSize(String("GlowSize"), true),
      GlowRays(String("GlowRays"), true),
      // The dialog's texts are entered when the product settings are read.
      MesShadowQual(String("Mes_Settings_ShadowQual"), false),
      MesDayLength(String("Mes_Settings_DayLength"), false),
      MesDayOpt(String("Mes_Settings_DayOpt"), false) {
    // The running scene writes no log, keeps no statistics and never forces its effects to
    // be compiled from source: all three cost frame time that nobody looks at.
    SetLogMasterSwitch(false);
    TheStatistics().enabled = 0;
    TheRenderDefaults().forceCompile = 0;
}

Dunmerrow::~Dunmerrow() {
    ReleaseDetachedNodes();
    ReleaseOwnTextures();
}

void Dunmerrow::ReadProductSettings(TextDataTree&) {
    RegisterProductSettings(true);
    g_paramRegistry.Register(&MesShadowQual, String("Mes_Settings_ShadowQual"));
    g_paramRegistry.Register(&MesDayLength, String("Mes_Settings_DayLength"));
    g_paramRegistry.Register(&MesDayOpt, String("Mes_Settings_DayOpt"));
}

i32 Dunmerrow::DayLengthMs(i32 setting, i32 minLength, i32 maxLength) {
    const i64 s = std::clamp<i64>(setting, 0, 100);
    const i64 span = static_cast<i64>(maxLength) - static_cast<i64>(minLength);
    const i64 length = static_cast<i64>(minLength) + span * s * s / 10000;
    return static_cast<i32>(std::clamp<i64>(length, 1, std::numeric_limits<i32>::max()));
}

i32 Dunmerrow::ShadowMapSize(i32 setting) {
    const i32 q = std::clamp<i32>(setting, 0, 100) * 2048 / 100;
    if (q < 128 || q > 1024) return q;
    i32 size = 128;
    while (size < q) size *= 2;
    return size;
}

bool Dunmerrow::Update() {
    if (Music && Volume != 0) music.Update(ViewCamera.GetEye(), ViewCamera.GetDirection(), ViewCamera.GetUp());
    return true;
}

void Dunmerrow::ReleaseCustom() { music.Release(); }
