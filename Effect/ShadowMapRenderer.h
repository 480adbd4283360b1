// The shadow-map renderer: a square off-screen target that a light's view of the scene
// is drawn into, with a camera of its own placed at the light. The storage is chosen once,
// at creation: where the device takes D24S8 as a texture the depth buffer itself is the
// map (colour writes go off and a depth bias is applied during the pass); elsewhere an R32F
// colour target takes depth written as colour.
//
// Between Begin and End the states the pass depends on are locked in the state cache, so
// materials drawn into the map cannot switch blending or colour writes back on. End puts
// the biased states back exactly as Begin found them and unlocks them.
#pragma once

#include "Core/Object.h"
#include "Core/Types.h"
#include "D3d/RenderTarget.h"
#include "Effect/SceneCamera.h"

class Effect;
class Light;

// The program-wide shadow-map effect (null until one is made): the renderer tells it at
// every Begin which kind of map it is drawing into. The effect sets it when it is made and
// clears it when it goes; tests reset it with SetShadowMapEffect(nullptr).
Effect* TheShadowMapEffect();
void SetShadowMapEffect(Effect* effect);

class ShadowMapRenderer : public RenderTarget {
public:
    ShadowMapRenderer() = default;
    ~ShadowMapRenderer() override;

    // A size x size target: A8R8G8B8 colour with a D24S8 depth texture when the device
    // offers one, R32F colour with a D24S8 depth surface when it does not.
    bool Create(u32 size);
    // Places the light camera at the light, locks the pass's states and switches to the
    // target, clearing depth (and, for a colour map, colour to white: the farthest depth).
    // The flag word is not used. False (nothing changed) for a missing light, a light
    // direction of zero length (no camera can look along it) or a Begin already open;
    // false with the states restored when the device refuses the switch.
    bool Begin(RefHandle<Light> light, u32 flags, f32 depthBias, f32 slopeBias);
    // Restores the states Begin changed and the previous target. False when no Begin is
    // open.
    bool End();

    SceneCamera& GetCamera() { return camera; }
    u32 GetSize() const { return size; }
    f32 GetDepthBias() const { return depthBias; }
    bool UsesDepthTexture() const { return GetDepthTexture() != nullptr; }

private:
    void LockStates(f32 bias, f32 slope);
    void RestoreStates();
    bool SetupCamera(const Light& light);

    SceneCamera camera;
    f32 depthBias = 0.0f;
    u32 savedColorWrite = 0;
    u32 savedDepthBias = 0;
    u32 savedSlopeBias = 0;
    u32 size = 0;
    bool depthStatesSaved = false;
    bool inPass = false;
};
