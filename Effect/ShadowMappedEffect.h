// The two effects that carry the engine's shadows. The shadow-map effect draws casters
// into the map while the shadow-map renderer has its target bound; the shadow-mapped
// effect draws lit, bump-mapped receivers that sample that map through a light-space
// texture matrix. Each compiles two variants of its source: one for a floating-point
// colour map and one (definition ZTEXTURE) for a depth-texture map, whose technique names
// begin with "ZTex", so the kind of map decides the technique family at draw time.
//
// The shadow-mapped effect takes one light, the first of the object's list: its shadow
// camera kind and cone choose the technique. The renderer tells the shadow-map effect the
// kind of map at every shadow pass; the scene hands the renderer to the shadow-mapped
// effect once per frame, after that pass.
#pragma once

#include "Core/FColor.h"
#include "Effect/StandardEffect.h"

class SceneCamera;
class ShadowMapRenderer;

// The shadow-mapped effect's own type id, for QueryAs (a scene finds the effect by name and
// hands it the shadow map each frame).
u32 ShadowMappedEffectTypeId();

class ShadowMappedEffect : public StandardEffect {
public:
    ShadowMappedEffect();

    bool QueryType(u32 typeId, void** out) override;

    bool Create() override;
    bool SelectTechnique(Material* material, i32 layer, i32& passes) override;
    bool IsTransparent(const Material*, i32) const override { return false; }

    // Sends the shadow map and its matrices, for the eye camera and the renderer's last
    // pass, on the first variant (the pool carries them to the other). Nothing is sent
    // while that variant has no D3DX effect (a lost device), but the switches are kept.
    void SetShadowParams(SceneCamera& eyeCamera, ShadowMapRenderer& renderer, u8 maskOn, FColor shadowMask);

    u8 GetMask() const { return mask; }
    u8 UsesDepthTexture() const { return zTexture; }

private:
    u8 mask = 0;
    u8 zTexture = 0;
};

class ShadowMapEffect : public StandardEffect {
public:
    // Becomes the program-wide shadow-map effect.
    ShadowMapEffect();
    // Stops being it, when it still is.
    ~ShadowMapEffect() override;

    bool Create() override;
    bool SelectTechnique(Material* material, i32 layer, i32& passes) override;
    bool IsTransparent(const Material*, i32) const override { return false; }
    void SetUseDepthTexture(u8 use, u32 unused) override;

    u8 UsesDepthTexture() const { return zTexture; }

private:
    u8 zTexture = 0;
};

// Shadow-map texture coordinates from clip space: x and y halved (y flipped) and moved by
// half the map plus half a texel.
Matrix ShadowTextureMatrix(u32 size);
