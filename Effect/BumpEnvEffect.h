// The bump and environment effect: bump-mapped surfaces that reflect or refract an
// environment (a cube map or a sphere map), optionally modulated by a gloss map, lit per
// vertex by up to three directional and three point lights. "BumpEnv_T.fx" is compiled in
// two families (REFLECTION and REFRACTION), each with one variant per combination of up to
// three directional and point lights together: 2 x 10 variants.
//
// At draw time the layer's environment textures choose the technique (reflection wins
// over refraction, a cube map over a sphere map, with or without gloss) and the layer's
// light setting how many lights it takes: -1 the default level, -2 the material's
// "MaxLights", any other value an entry of the light-count table (the level and the table
// are the effect manager's settings).
#pragma once

#include "Effect/StandardEffect.h"

class BumpEnvEffect : public StandardEffect {
public:
    BumpEnvEffect();

    bool Create() override;
    // False, with nothing to draw, for a layer that has neither environment texture.
    bool SelectTechnique(Material* material, i32 layer, i32& passes) override;

    // The number of lights a layer's light setting asks for; `current` when it is -2 and
    // the material has no integer "MaxLights". Settings outside the table take its
    // nearest entry.
    static i32 LightCountFor(const Material* material, i32 setting, i32 current);
    // The technique for a layer's environment textures; empty when it has neither.
    static String TechniqueFor(const MaterialLayer& layer);
};
