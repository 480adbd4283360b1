// A magic holder makes in code what a model would otherwise describe: a node with a
// textured, additive material and a particle emitter whose sparks rise from around the glow
// and fade out. The scene steers it through one number, the emitter's capacity: the
// emitter spawns far faster than its sparks die, so it always runs full and the capacity
// is the number of sparks alive (0 stops it at once: nothing more is spawned or drawn).
#include "Dunmerrow/MagicHolder.h"

#include <cmath>
#include <new>

#include "Effect/Material.h"
#include "Scene/Hierarchy.h"
#include "Scene/ParticleEmitter.h"

namespace {

constexpr f32 kDefaultMagicSize = 5.0f;
constexpr i32 kDescribedCount = 30;
// A spark lives 2 to 3 s and the emitter asks for one every 2 to 4 ms: even the shortest
// lives at the slowest pace keep 500 alive, so any count up to kMaxCount is reached and
// held (and a count below it stops the spawning, so the pace costs nothing).
constexpr f32 kLifeLow = 2000.0f, kLifeHigh = 3000.0f;
constexpr f32 kPeriodLow = 2.0f, kPeriodHigh = 4.0f;
// Sparks start within this radius of the glow, rise (world units per 10 ms) in a cone of
// this deviation (radians), and slow down a little as they climb.
constexpr f32 kSpawnRadiusLow = 0.0f, kSpawnRadiusHigh = 60.0f;
constexpr f32 kSpeedLow = 0.3f, kSpeedHigh = 0.9f;
constexpr f32 kDeviationLow = 0.0f, kDeviationHigh = 0.6f;
constexpr f32 kSlowDown = -0.002f;

}  // namespace

MagicHolder::MagicHolder() : MagicSize(String("MagicSize"), true) { MagicSize.value = kDefaultMagicSize; }

MagicHolder::~MagicHolder() { Release(); }

void MagicHolder::Release() {
    // The node owns the emitter.
    delete node;
    delete secondNode;
    node = nullptr;
    secondNode = nullptr;
    emitter = nullptr;
}

void MagicHolder::Describe(ParticleEmitter& target) const {
    target.capacity = kDescribedCount;
    target.iterationAccuracy = 0.0f;
    target.spawnOffset = Vec3(0.0f, 0.0f, 0.0f);
    target.spawnArea.Set(kSpawnRadiusLow, 10.0f, kSpawnRadiusHigh, 10.0f);
    target.spawnType = 0;
    target.emitDir = Vec3(0.0f, 1.0f, 0.0f);
    target.dirDeviation.Set(kDeviationLow, 10.0f, kDeviationHigh, 3.0f);
    target.startSpeed.Set(kSpeedLow, 10.0f, kSpeedHigh, 10.0f);
    target.acceleration = Vec3(0.0f, kSlowDown, 0.0f);
    target.particleLife.Set(kLifeLow, 10.0f, kLifeHigh, 10.0f);
    target.particleSize = RangeValue(MagicSize.value);
    target.genPeriod.range.Set(kPeriodLow, 10.0f, kPeriodHigh, 10.0f);
    // Pale gold, fading to nothing: with additive blending a dying spark simply vanishes.
    target.startColor.Set(1.0f, 1.0f, 0.9f, 0.6f);
    target.endColor.Set(0.0f, 1.0f, 0.6f, 0.2f);
    target.colorFade = 1;
}

bool MagicHolder::Build(const Vec3& position, Texture* texture, f32 scale) {
    Release();
    Hierarchy* made = new (std::nothrow) Hierarchy;
    if (!made) return false;
    ParticleEmitter* sparks = new (std::nothrow) ParticleEmitter;
    if (!sparks) {
        delete made;
        return false;
    }

    Material& material = made->GetMaterial();
    MaterialLayer& layer = material.layers[0];
    layer.samplers[kBaseMap].texture = texture;
    layer.stages[0].sampler = layer.samplers[kBaseMap];
    layer.stages[0].colorOp = kTextureOpAutomatic;
    layer.stages[0].SetCombine(kCombineTextureDiffuse);
    // The flag set is the vertex colour (each spark's own fading colour); the one cleared
    // is lighting: sparks are light, nothing shades them.
    layer.vertexColor = 1;
    layer.lit = 0;
    layer.SetBlendMode(kBlendAdditive);
    layer.depthWrite = 0;
    made->properties.children.SetInt(String("NoCull"), 1);

    Describe(*sparks);
    sparks->particleSize.x0 *= scale;
    sparks->particleSize.x1 *= scale;
    sparks->particleSize.x2 *= scale;
    sparks->genPeriod.Restart();
    sparks->ApplyDesc(&material);
    sparks->ready = 1;
    sparks->sizeConstant = sparks->particleSize.IsConstant() ? 1 : 0;
    sparks->singleFrame = sparks->frameWeights.count <= 1 ? 1 : 0;
    sparks->colorConstant = FColor::Equals(sparks->startColor, sparks->endColor) ? 1 : 0;
    made->SetObject(sparks);
    made->GetTransform(true).SetPosition(position.x * scale, position.y * scale, position.z * scale);

    node = made;
    emitter = sparks;
    return true;
}

void MagicHolder::SetCount(i32 count) {
    if (!emitter) return;
    emitter->capacity = count <= 0 ? 0 : count > kMaxCount ? kMaxCount : count;
}

i32 MagicCount(i32 maxMagic, f32 w) {
    // A NaN weight or one outside the day counts as its nearer end.
    if (!(w > 0.0f) || maxMagic <= 0) return 0;
    if (w > 1.0f) w = 1.0f;
    const f32 w2 = w * w;
    const f64 m = static_cast<f64>(maxMagic) * static_cast<f64>(w2 * w2);
    return static_cast<i32>(m);
}
