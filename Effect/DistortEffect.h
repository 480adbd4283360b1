// The distortion effect: draws geometry with the scene's colour image sampled through a
// scrolling displacement texture (a heat shimmer). One variant of "Distort.fx", one
// technique ("Simple") without light annotations, so the effect takes no lights at all:
// its light limit is 0 and an object lit by anything still finds the technique.
//
// The scene hands the eye point over once per frame; the effect sends it with w = 1 and
// the draw context's time in seconds, which scrolls the displacement.
#pragma once

#include "Core/Vector.h"
#include "Effect/StandardEffect.h"

// The distortion effect's own type id, for QueryAs.
u32 DistortEffectTypeId();

class DistortEffect : public StandardEffect {
public:
    DistortEffect();

    bool QueryType(u32 typeId, void** out) override;
    // Builds the pool and the one variant; false, logged, when either fails or the
    // compiled source offers no technique this device can run.
    bool Create() override;
    bool SelectTechnique(Material* material, i32 layer, i32& passes) override;

    // Stores the eye point (x, y, z) sent as "EyePoint"; a null pointer changes nothing.
    void SetVector(const f32* xyz);
    const Vec3& GetEye() const { return eye; }

private:
    Vec3 eye{0.0f, 0.0f, 0.0f};
};
