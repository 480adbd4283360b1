// The full-screen scene's own keys of the screen parameters: colours, planes, fog, the
// field of view and the camera speed, the camera paths to fly, and the debug switch. They
// are read straight from the configuration document (never from the registry, which holds
// only the user's settings) and converted on the way in: colours from bytes to floats,
// the field of view from degrees to radians.
#pragma once

#include "Core/FColor.h"
#include "Core/List.h"
#include "Core/String.h"
#include "Core/Types.h"

class TextDataTree;

struct SceneParams {
    static constexpr f32 kByteUnit = 0.003921569f;   // 1/255
    static constexpr f32 kDegreeUnit = 0.0055555557f;  // 1/180
    static constexpr f32 kPi = 3.1415927f;

    FColor Ambient;
    FColor BgColor;
    FColor FogColor;
    f32 NearPlane = 0.0f;
    f32 FarPlane = 0.0f;
    u8 FogEnable = 0;
    f32 FogStart = 0.0f;
    f32 FogEnd = 0.0f;
    f32 Fov = 0.0f;  // radians
    f32 CamSpeed = 0.0f;
    StringList Animations;
    f32 AnimLength = 0.0f;
};

// The program-wide switch of the key "DEBUG": windowed, no random flight at start, debug
// overlays and camera keys.
extern u8 DebugMode;
void ResetDebugMode();

// Reads the scene keys the document holds into params; an absent key leaves its member
// as it was, and every element of "Animations" is appended. Registers "AnimLength" as a
// float binder of params in the document table (read when that table reads the document).
void ReadSceneKeys(const TextDataTree& document, SceneParams& params);
