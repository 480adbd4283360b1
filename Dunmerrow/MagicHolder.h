// The magic emitter of one glow point: a particle emitter made in code (not loaded from a
// model) on a node of its own, whose particle count the scene raises at night. The
// holder's "MagicSize" setting is the particles' size; every holder registers its own
// parameter under that key, so one configuration value serves all five.
#pragma once

#include "Core/Parameter.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/Vector.h"

class Hierarchy;
class ParticleEmitter;
class Texture;

class MagicHolder {
public:
    MagicHolder();
    ~MagicHolder();
    MagicHolder(const MagicHolder&) = delete;
    MagicHolder& operator=(const MagicHolder&) = delete;

    // A new node at position x scale whose material takes the texture (combine: texture x
    // diffuse), the node property "NoCull" = 1, and a new emitter filled by Describe, its
    // sizes x scale, its timer restarted. A holder built before is released first. False
    // when memory runs out (nothing is left half built).
    bool Build(const Vec3& position, Texture* texture, f32 scale);
    // Fills the emitter's description: the particles' look and motion; size = MagicSize.
    void Describe(ParticleEmitter& emitter) const;
    // The number of particles the emitter keeps alive, from 0 to kMaxCount: the emitter's
    // vertex buffer is sized by the count, and no more sparks than this can be alive at
    // once (a configured MaxMagic of millions would otherwise ask for gigabytes).
    void SetCount(i32 count);
    static constexpr i32 kMaxCount = 500;
    // Null until Build succeeds.
    Hierarchy* Node() const { return node; }
    ParticleEmitter* Emitter() const { return emitter; }
    void Release();

    FloatParameter MagicSize;

private:
    Hierarchy* node = nullptr;
    Hierarchy* secondNode = nullptr;  // a second slot the holder keeps; never filled here
    ParticleEmitter* emitter = nullptr;
};

// The count of magic particles at night weight w (1 - the sun's height): MaxMagic x w^4,
// truncated; never below 0.
i32 MagicCount(i32 maxMagic, f32 w);
