// Particle emitters: a drawable on a scene node that spawns particles at the node's world
// position, moves them under a constant acceleration, fades their colour from a start to an
// end colour, retires them when their life runs out and draws them all in one batch, as
// camera-facing quads or, where the device and the emitter allow it, as point sprites.
//
// Three layers over MeshObject: ParticleMesh holds the capacity (which the product may
// change every frame), ParticleBatch builds and draws the vertex batch through three
// particle-access operations, and ParticleEmitter owns the parameters and the particles.
// Everything happens inside the draw: a node that is not drawn freezes its particles and
// catches up at its next draw, at most 1,000 spawns and the capacity.
//
// The geometry is made at the first draw with room for the capacity; when the capacity
// later grows beyond that room the geometry is made again, so a batch is never written
// past its vertex range. Each draw takes a range of exactly the vertices it writes, so the
// draw never shows vertices left over from an earlier frame.
//
// LoadSceneNode is the node-kind reader that the model loader runs for every node it
// reads: it applies the "Face" property and turns a node whose "NodeType" is
// "ParticleEmitter" into one.
#pragma once

#include <vector>

#include "Core/FColor.h"
#include "Core/List.h"
#include "Core/MemFile.h"
#include "Core/OrderedMap.h"
#include "Core/String.h"
#include "Core/Timer.h"
#include "Core/Types.h"
#include "Core/Vector.h"
#include "D3d/TextureAnimation.h"
#include "Effect/MeshObject.h"

class Hierarchy;
class Material;
class Texture;
struct RenderContext;

// The folders a model's textures are searched in.
using SearchPathSet = MemFile;

// Applies the node-kind properties of a freshly read node: "Face" sets its face axes, and
// "NodeType" = "ParticleEmitter" attaches a particle emitter configured from the other
// properties. True: an unknown kind, or none, is not an error.
bool LoadSceneNode(Hierarchy& node, SearchPathSet& paths);

struct Particle {
    Vec3 position{0.0f, 0.0f, 0.0f};  // world space
    f32 width = 0.0f;
    f32 height = 0.0f;
    FColor color;
    f32 texRect[4] = {0.0f, 0.0f, 1.0f, 1.0f};  // left, top, right, bottom
    Vec3 velocity{0.0f, 0.0f, 0.0f};            // world units per 10 ms
    i32 life = 0;                               // ms; negative: never ends
    u64 spawnTime = 0;                          // ms
    TextureAnimation frame;                     // the part of the texture shown
};

// A mesh with a particle capacity (the most particles alive at once).
class ParticleMesh : public MeshObject {
public:
    i32 capacity = 0;
};

// The vertex batch of a particle drawable. The particles are reached through Begin, Next
// and Count, which the emitter provides.
class ParticleBatch : public ParticleMesh {
public:
    // Position, normal, diffuse colour, one texture coordinate pair: 36 bytes.
    static constexpr u32 kQuadFVF = 0x152;
    // Position, normal, point size, diffuse colour: 32 bytes.
    static constexpr u32 kSpriteFVF = 0x72;
    static constexpr u32 kQuadUsage = 0x208;    // dynamic, write-only
    static constexpr u32 kSpriteUsage = 0x248;  // dynamic, points, write-only
    static constexpr u32 kQuadVertices = 6;     // two triangles per particle

    struct QuadVertex {
        f32 x, y, z;
        f32 nx, ny, nz;
        u32 color;
        f32 u, v;
    };
    struct SpriteVertex {
        f32 x, y, z;
        f32 nx, ny, nz;
        f32 size;
        u32 color;
    };

    ParticleBatch() = default;

    // Cursor to the oldest particle.
    virtual void Begin() = 0;
    // The particle at the cursor (null past the last), and the cursor advanced.
    virtual Particle* Next() = 0;
    virtual i32 Count() const = 0;

    // Builds and draws the batch with the material (whose context gives the world and view
    // matrices). False when the geometry cannot be made or a step failed; with nothing to
    // draw, true.
    bool Draw(Material* material) override;
    // Whether the next draw uses point sprites (every condition of the device and the
    // emitter holds).
    bool UsesPointSprites() const;
    // The vertices the current geometry has room for (0 before the first draw).
    u32 Room() const { return room; }

    u8 pointSpritesAllowed = 1;
    u8 ready = 0;
    u8 sizeConstant = 0;
    u8 singleFrame = 0;
    u8 colorConstant = 0;

protected:
    // Makes the geometry for the draw mode and capacity unless the current one fits.
    bool EnsureGeometry(bool sprites);
    // Fills the vertices of n particles; returns how many particles were written.
    u32 FillQuads(QuadVertex* out, u32 n, const Vec3& side, const Vec3& up, const Vec3& normal, Vec3& lo, Vec3& hi);
    u32 FillSprites(SpriteVertex* out, u32 n, const Vec3& normal, Vec3& lo, Vec3& hi);

    u32 room = 0;            // vertices the geometry holds
    u8 geometrySprites = 0;  // the geometry is a point-sprite one
    BufferRange* range = nullptr;  // this frame's vertices, handed back at the next draw
};

// Frame weights by frame name, and the frame table by running total.
using FrameWeights = StringMapOf<i32>;
using FrameTable = OrderedMap<i32, String, SignedOrder>;

class ParticleEmitter : public ParticleBatch {
public:
    static constexpr u32 kMaxCatchUp = 1000;  // spawns one update may make up for

    ParticleEmitter();
    ~ParticleEmitter() override;

    // A new emitter with the parameters, the time scale, the last update, the generation
    // timer, both frame maps, the capacity and the five flags; it has no particles.
    DrawItem* Clone() override;
    // Spawns, moves, ages and draws (the drawable's draw operation).
    bool Draw(Material* material) override;
    bool Update(Material* material) { return Draw(material); }

    void Begin() override;
    Particle* Next() override;
    i32 Count() const override { return static_cast<i32>(particles.size()); }

    // Frame weights from the material's texture (its animations, else its sub-textures,
    // each weighing 10), the frame table rebuilt, and the last update set to now.
    void ApplyDesc(Material* material);
    // Files a frame weight (a weight already filed is replaced in place).
    void SetFrameWeight(const String& name, i32 weight);
    // The frame table from the frame weights: running totals, walked from the weights'
    // cursor (the one added last) round the list. Negative weights count as 0.
    void RebuildFrameTable();
    // A weighted random frame name; empty with no frames or no positive total.
    String PickFrame() const;
    // One new particle at the world position of the material's context.
    void Spawn(Material* material, Particle& out);
    // Drops every particle.
    void ClearParticles() { particles.clear(); }

    // Parameters.
    u8 colorFade = 1;
    f32 iterationAccuracy = 0.0f;
    Vec3 spawnOffset{0.0f, 0.0f, 0.0f};
    Vec3 emitDir{0.0f, 1.0f, 0.0f};
    Vec3 acceleration{0.0f, 0.0f, 0.0f};
    RangeValue spawnArea;
    i32 spawnType = 0;
    RangeValue particleLife;
    RangeValue particleSize;
    RangeValue dirDeviation;
    RangeValue startSpeed;
    FColor startColor;
    FColor endColor;
    f32 timeScale = 1.0f;
    u64 lastUpdate = 0;
    TimedRange genPeriod;
    FrameWeights frameWeights;
    FrameTable frameTable;

private:
    // Moves and ages every particle by dt motion units at time now.
    void Step(u64 now, f32 dt);

    std::vector<Particle> particles;  // oldest first
    size_t cursor = 0;
    List<u64> pending;  // spawn times due
};
