// The particle emitter. Particles are kept oldest first in one array; the walk that ages
// them keeps the survivors in place, so a removal costs nothing beyond the walk itself.
// Random values come from the C runtime's rand(), shared with the rest of the program.
#include "Scene/ParticleEmitter.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Core/Geometry.h"
#include "D3d/Application.h"
#include "D3d/StateCache.h"
#include "D3d/Texture.h"
#include "D3d/TextureDesc.h"
#include "D3d/TextureManager.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "Scene/Hierarchy.h"
#include "Scene/PropertyReaders.h"

namespace {

constexpr f32 kTwoPi = 6.2831855f;
// The float nearest 1/32766, so that rand() % 32767 covers 0 to 2 pi inclusive.
constexpr f32 kRandToUnit = 3.051944e-05f;
// The motion unit of time is 10 ms.
constexpr f32 kMotionPerMs = 0.1f;
constexpr f32 kPointScaleC = 4.0f;

DWORD FloatBits(f32 v) {
    DWORD bits = 0;
    memcpy(&bits, &v, sizeof bits);
    return bits;
}

Vec3 TransformCoord(const Vec3& v, const Matrix& m) {
    const f32* e = m.m;
    const f32 x = v.x * e[0] + v.y * e[4] + v.z * e[8] + e[12];
    const f32 y = v.x * e[1] + v.y * e[5] + v.z * e[9] + e[13];
    const f32 z = v.x * e[2] + v.y * e[6] + v.z * e[10] + e[14];
    const f32 w = v.x * e[3] + v.y * e[7] + v.z * e[11] + e[15];
    if (w == 0.0f || w == 1.0f) return Vec3(x, y, z);
    return Vec3(x / w, y / w, z / w);
}

// The direction turned by the matrix, its translation left out.
Vec3 TransformNormal(const Vec3& v, const Matrix& m) {
    const f32* e = m.m;
    return Vec3(v.x * e[0] + v.y * e[4] + v.z * e[8], v.x * e[1] + v.y * e[5] + v.z * e[9],
                v.x * e[2] + v.y * e[6] + v.z * e[10]);
}

f32 RandomAngle() { return static_cast<f32>(std::rand() % 32767) * kTwoPi * kRandToUnit; }

// A sampled life in whole milliseconds, truncated toward zero; samples beyond 32 bits
// (and NaN) would make the conversion undefined and are limited.
i32 LifeFromSample(double v) {
    if (!(v > -2147483648.0)) return v < 0.0 ? INT32_MIN : 0;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<i32>(v);
}

// The texture the particles take their frames from: the first layer's that has one.
Texture* MaterialTexture(const Material* material) {
    if (!material) return nullptr;
    for (i32 i = 0; i < 3; ++i)
        if (Texture* t = material->layers[i].BaseTexture()) return t;
    return nullptr;
}

void Widen(Vec3& lo, Vec3& hi, const Vec3& p) {
    if (p.x < lo.x) lo.x = p.x;
    if (p.y < lo.y) lo.y = p.y;
    if (p.z < lo.z) lo.z = p.z;
    if (p.x > hi.x) hi.x = p.x;
    if (p.y > hi.y) hi.y = p.y;
    if (p.z > hi.z) hi.z = p.z;
}

// Saves a render state and sets it; Restore puts every saved one back in reverse order.
class StateChanges {
public:
    bool Set(D3DRENDERSTATETYPE state, DWORD value) {
        DWORD old = 0;
        if (count < kMax && StateCache::GetRenderState(state, &old)) saved[count++] = {state, old};
        return StateCache::SetRenderState(state, value);
    }
    bool Restore() {
        bool ok = true;
        while (count > 0) {
            --count;
            ok = StateCache::SetRenderState(saved[count].state, saved[count].value) && ok;
        }
        return ok;
    }

private:
    static constexpr u32 kMax = 8;
    struct Saved {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } saved[kMax];
    u32 count = 0;
};

}  // namespace

// ---- the batch ----------------------------------------------------------------------

bool ParticleBatch::UsesPointSprites() const {
    if (!pointSpritesAllowed || !singleFrame || !ready) return false;
    const Application* app = TheApplication();
    if (!app || !app->SupportsPointSprites()) return false;
    return sizeConstant || app->SupportsPointSize();
}

bool ParticleBatch::EnsureGeometry(bool sprites) {
    const u32 perParticle = sprites ? 1 : kQuadVertices;
    const u64 needed = u64(static_cast<u32>(capacity)) * perParticle;
    if (geometry && geometry->HasBuffers() && (geometrySprites != 0) == sprites && needed <= room) return true;
    // A capacity raised after the geometry was made, or a change of draw mode: the
    // geometry is made again with room for all of it rather than written past its end.
    range = nullptr;
    room = 0;
    geometry = GeometryRef();
    if (needed == 0 || needed > 0xFFFFFFFFull) return false;
    if (!CreateDynamicGeometry(static_cast<u32>(needed), sprites ? kSpriteUsage : kQuadUsage,
                               sprites ? kSpriteFVF : kQuadFVF, sprites ? D3DPT_POINTLIST : D3DPT_TRIANGLELIST))
        return false;
    room = static_cast<u32>(needed);
    geometrySprites = sprites ? 1 : 0;
    return true;
}

u32 ParticleBatch::FillQuads(QuadVertex* out, u32 n, const Vec3& side, const Vec3& up, const Vec3& normal, Vec3& lo,
                             Vec3& hi) {
    u32 written = 0;
    Vec3 r, u;
    u32 packed = 0;
    const f32* rect = nullptr;
    for (Particle* p = Next(); p && written < n; p = Next(), ++written) {
        if (written == 0 || !sizeConstant) {
            r = side * (p->width * 0.5f);
            u = up * (p->height * 0.5f);
        }
        if (written == 0 || !colorConstant) packed = p->color.ToPacked();
        if (written == 0 || !singleFrame) rect = p->texRect;
        Widen(lo, hi, p->position);
        // The side axis points to the camera's left, so P - R is the right-hand edge.
        const Vec3 corners[6] = {p->position - r - u, p->position + r - u, p->position - r + u,
                                 p->position + r - u, p->position + r + u, p->position - r + u};
        const f32 us[6] = {rect[2], rect[0], rect[2], rect[0], rect[0], rect[2]};
        const f32 vs[6] = {rect[3], rect[3], rect[1], rect[3], rect[1], rect[1]};
        for (u32 k = 0; k < kQuadVertices; ++k) {
            QuadVertex& v = out[written * kQuadVertices + k];
            v.x = corners[k].x;
            v.y = corners[k].y;
            v.z = corners[k].z;
            v.nx = normal.x;
            v.ny = normal.y;
            v.nz = normal.z;
            v.color = packed;
            v.u = us[k];
            v.v = vs[k];
        }
    }
    return written;
}

u32 ParticleBatch::FillSprites(SpriteVertex* out, u32 n, const Vec3& normal, Vec3& lo, Vec3& hi) {
    u32 written = 0;
    u32 packed = 0;
    for (Particle* p = Next(); p && written < n; p = Next(), ++written) {
        if (written == 0 || !colorConstant) packed = p->color.ToPacked();
        Widen(lo, hi, p->position);
        SpriteVertex& v = out[written];
        v.x = p->position.x;
        v.y = p->position.y;
        v.z = p->position.z;
        v.nx = normal.x;
        v.ny = normal.y;
        v.nz = normal.z;
        v.size = p->width;
        v.color = packed;
    }
    return written;
}

bool ParticleBatch::Draw(Material* material) {
    if (!material || !material->context) return false;
    RenderContext& context = *material->context;
    const i32 count = Count();
    const u32 n = static_cast<u32>(count < capacity ? count : capacity > 0 ? capacity : 0);
    // Without a capacity there is nothing to draw and no geometry to make for it.
    if (capacity <= 0) return true;
    const bool sprites = UsesPointSprites();
    if (!EnsureGeometry(sprites)) return false;
    if (n == 0) return true;

    SharedBuffer* buffer = geometry->GetVertexBuffer(0);
    if (!buffer) return false;
    if (range) buffer->FreeRange(range);
    const u32 stride = sprites ? sizeof(SpriteVertex) : sizeof(QuadVertex);
    const u32 vertices = sprites ? n : n * kQuadVertices;
    range = buffer->AllocateRange(vertices * stride, 0, nullptr);
    void* bytes = nullptr;
    if (!range || !range->Lock(D3DLOCK_DISCARD, &bytes) || !bytes) return false;

    // Particle positions are in world space already.
    context.world = IdentityMatrix;
    context.inverseWorld.valid = 0;
    const f32* view = context.view.m;
    Vec3 up(view[1], view[5], view[9]);
    Vec3 forward(view[2], view[6], view[10]);
    Vec3Normalize(up, up);
    Vec3Normalize(forward, forward);
    Vec3 side;
    Vec3Cross(side, forward, up);
    Vec3Normalize(side, side);
    const Vec3 normal = forward * -1.0f;

    Begin();
    Particle* first = Next();
    Begin();
    Vec3 lo = first ? first->position : Vec3();
    Vec3 hi = lo;
    const u32 written = sprites ? FillSprites(static_cast<SpriteVertex*>(bytes), n, normal, lo, hi)
                                : FillQuads(static_cast<QuadVertex*>(bytes), n, side, up, normal, lo, hi);
    // Fewer particles than counted (the list changed under the draw) leave vertices that
    // must not show: they collapse onto the first one.
    for (u32 i = written; i < n; ++i) {
        if (sprites) {
            static_cast<SpriteVertex*>(bytes)[i] = static_cast<SpriteVertex*>(bytes)[0];
        } else {
            for (u32 k = 0; k < kQuadVertices; ++k)
                static_cast<QuadVertex*>(bytes)[i * kQuadVertices + k] = static_cast<QuadVertex*>(bytes)[0];
        }
    }
    box = Box{(lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f, hi.x - lo.x, hi.y - lo.y, hi.z - lo.z};
    valid = 1;
    bool ok = range->Unlock();

    StateChanges states;
    if (sprites) {
        ok = states.Set(D3DRS_POINTSPRITEENABLE, 1) && ok;
        ok = states.Set(D3DRS_POINTSCALEENABLE, 1) && ok;
        ok = states.Set(D3DRS_POINTSIZE_MIN, FloatBits(1.0f)) && ok;
        if (sizeConstant && first) ok = states.Set(D3DRS_POINTSIZE, FloatBits(first->width)) && ok;
        ok = states.Set(D3DRS_POINTSCALE_A, FloatBits(0.0f)) && ok;
        ok = states.Set(D3DRS_POINTSCALE_B, FloatBits(0.0f)) && ok;
        ok = states.Set(D3DRS_POINTSCALE_C, FloatBits(kPointScaleC)) && ok;
    }
    ok = MeshObject::Draw(material) && ok;
    ok = states.Restore() && ok;
    return ok;
}

// ---- the emitter --------------------------------------------------------------------

ParticleEmitter::ParticleEmitter() {
    ready = 1;
    // An emitter made in code starts its generation clock now: one left unstarted would
    // never spawn, and one started at time 0 would make up for the whole uptime.
    genPeriod.Restart();
    lastUpdate = Timer::Now();
}

ParticleEmitter::~ParticleEmitter() {
    // The frame table, then the frame weights, then the particle records.
    frameTable.Clear();
    frameWeights.Clear();
    particles.clear();
}

DrawItem* ParticleEmitter::Clone() {
    ParticleEmitter* copy = new (std::nothrow) ParticleEmitter;
    if (!copy) return nullptr;
    copy->colorFade = colorFade;
    copy->iterationAccuracy = iterationAccuracy;
    copy->spawnOffset = spawnOffset;
    copy->emitDir = emitDir;
    copy->acceleration = acceleration;
    copy->spawnArea = spawnArea;
    copy->spawnType = spawnType;
    copy->particleLife = particleLife;
    copy->particleSize = particleSize;
    copy->dirDeviation = dirDeviation;
    copy->startSpeed = startSpeed;
    copy->startColor = startColor;
    copy->endColor = endColor;
    copy->timeScale = timeScale;
    copy->lastUpdate = lastUpdate;
    copy->genPeriod = genPeriod;
    copy->frameWeights = frameWeights;
    copy->frameTable = frameTable;
    copy->capacity = capacity;
    copy->pointSpritesAllowed = pointSpritesAllowed;
    copy->ready = ready;
    copy->sizeConstant = sizeConstant;
    copy->singleFrame = singleFrame;
    copy->colorConstant = colorConstant;
    copy->properties = properties;
    return copy;
}

void ParticleEmitter::Begin() { cursor = 0; }

Particle* ParticleEmitter::Next() { return cursor < particles.size() ? &particles[cursor++] : nullptr; }

void ParticleEmitter::SetFrameWeight(const String& name, i32 weight) { frameWeights.Insert(name, weight, true); }

void ParticleEmitter::ApplyDesc(Material* material) {
    frameWeights.Clear();
    if (Texture* texture = MaterialTexture(material)) {
        auto& animations = texture->GetAnimations();
        if (animations.count > 0) {
            auto* node = animations.first;
            for (u32 i = 0; i < animations.count; ++i, node = node->next) SetFrameWeight(node->key, 10);
        } else {
            auto& subs = texture->GetSubTextures();
            auto* node = subs.first;
            for (u32 i = 0; i < subs.count; ++i, node = node->next) SetFrameWeight(node->key, 10);
        }
    }
    RebuildFrameTable();
    lastUpdate = Timer::Now();
}

void ParticleEmitter::RebuildFrameTable() {
    frameTable.Clear();
    if (frameWeights.count == 0) return;
    i64 total = 0;
    auto* node = frameWeights.cursor;
    for (u32 i = 0; i < frameWeights.count; ++i, node = node->next) {
        // A negative weight would take from the frames before it and could leave the
        // total below zero; it counts as no weight. The total stays within 32 bits.
        if (node->value > 0) total += node->value;
        if (total > INT32_MAX) total = INT32_MAX;
        frameTable.Insert(static_cast<i32>(total), node->key, true);
    }
}

String ParticleEmitter::PickFrame() const {
    if (frameTable.count == 0 || !frameTable.root) return String();
    const FrameTable::Node* node = frameTable.root;
    while (node->right) node = node->right;
    const i64 total = node->key;
    if (total < 0) return String();
    const i64 r = static_cast<i64>(std::rand()) % (total + 1);
    // The smallest key at or above r.
    const FrameTable::Node* best = nullptr;
    for (node = frameTable.root; node;) {
        if (node->key >= r) {
            best = node;
            node = node->left;
        } else {
            node = node->right;
        }
    }
    return best ? best->value : String();
}

void ParticleEmitter::Spawn(Material* material, Particle& out) {
    const Matrix& world = material && material->context ? material->context->world : IdentityMatrix;
    const Vec3 origin = TransformCoord(spawnOffset, world);
    const f32 radius = static_cast<f32>(spawnArea.Sample());
    f32 a = RandomAngle();
    const f32 b = RandomAngle();
    if (spawnType == 1) a = 0.0f;
    DeviateDirection(out.position, origin, radius, a, b);
    out.width = out.height = static_cast<f32>(particleSize.Sample());
    out.color = startColor;
    out.life = LifeFromSample(particleLife.Sample());
    Vec3 direction = TransformNormal(emitDir, world);
    RandomConeDirection(direction, direction, static_cast<f32>(dirDeviation.Sample()));
    Vec3Normalize(direction, direction);
    out.velocity = direction * static_cast<f32>(startSpeed.Sample());
    out.frame = TextureAnimation{};
    if (Texture* texture = MaterialTexture(material)) {
        if (texture->FindPart(PickFrame(), out.frame)) memcpy(out.texRect, out.frame.texRect, sizeof out.texRect);
    }
}

void ParticleEmitter::Step(u64 now, f32 dt) {
    const bool fade = colorFade && !colorConstant;
    size_t kept = 0;
    for (size_t i = 0; i < particles.size(); ++i) {
        Particle& p = particles[i];
        if (p.frame.def && p.frame.Advance(now)) memcpy(p.texRect, p.frame.texRect, sizeof p.texRect);
        const i64 age = static_cast<i64>(now - p.spawnTime);
        if (p.life >= 0 && age >= p.life) continue;
        p.velocity = p.velocity + acceleration * dt;
        p.position = p.position + p.velocity * dt;
        // Only a positive life has a fraction to fade by; a negative one never ends and
        // a life of 0 would divide by zero.
        if (fade && p.life > 0) {
            f32 f = static_cast<f32>(age) / static_cast<f32>(p.life);
            if (f < 0.0f) f = 0.0f;
            if (f > 1.0f) f = 1.0f;
            p.color = FColor::Add(FColor::Scale(endColor, f), FColor::Scale(startColor, 1.0f - f));
        }
        if (kept != i) particles[kept] = p;
        ++kept;
    }
    particles.resize(kept);
}

bool ParticleEmitter::Draw(Material* material) {
    const u64 now = Timer::Now();
    pending.Clear();
    genPeriod.Advance(pending, kMaxCatchUp, now);
    // The anchor is the first stamp appended: the walk from it goes earliest first.
    const List<u64>::Node* stamp = pending.anchor;
    for (i32 i = 0; i < pending.count && Count() < capacity; ++i, stamp = stamp->next) {
        Particle particle;
        Spawn(material, particle);
        particle.spawnTime = stamp->payload;
        particles.push_back(particle);
    }
    // Stamps beyond the capacity are dropped.
    pending.Clear();

    const f32 dt = static_cast<f32>(static_cast<i64>(now - lastUpdate)) * timeScale * kMotionPerMs;
    if (dt > iterationAccuracy) {
        lastUpdate = now;
        Step(now, dt);
    }
    return ParticleBatch::Draw(material);
}

// ---- the node-kind reader -----------------------------------------------------------

namespace {

// The texture a node names, through the model's search folders; null when it names none
// or the file is not found.
Texture* LoadNodeTexture(const HandleParam& props, SearchPathSet& paths) {
    String name;
    if (!ReadPropertyString(props, "Texture", &name) || name.IsEmpty()) return nullptr;
    TextureDesc desc;
    desc.path = patht(name);
    desc.path.flags = kPathDisk | kPathArchive;
    return TheTextureManager().Load(desc, &paths);
}

// "TexGen": each entry with a text value files its name with that text as a whole
// number (0 when it is not one).
void ReadFrameWeights(const HandleParam& texGen, ParticleEmitter& emitter) {
    const HandleParamMap& entries = texGen.children;
    auto* node = entries.first;
    for (u32 i = 0; i < entries.count; ++i, node = node->next) {
        String text;
        if (!node->value || !node->value->GetString(&text)) continue;
        i32 weight = 0;
        PropertyText(node->value).ToInt(&weight);
        emitter.SetFrameWeight(node->key, weight);
    }
}

}  // namespace

bool LoadSceneNode(Hierarchy& node, SearchPathSet& paths) {
    const HandleParam& props = node.GetProperties();
    String text;
    if (ReadPropertyString(props, "Face", &text)) node.SetFaceAxes(text);
    if (!ReadPropertyString(props, "NodeType", &text) || !(text == "ParticleEmitter")) return true;

    Texture* texture = LoadNodeTexture(props, paths);
    ParticleEmitter* emitter = new (std::nothrow) ParticleEmitter;
    if (!emitter) return false;
    emitter->capacity = ReadPropertyInt(props, "MaxParticles");
    emitter->iterationAccuracy = ReadPropertyFloat(props, "IterationAccuracy");
    emitter->dirDeviation = ReadPropertyRange(props, "DirDeviation");
    emitter->emitDir = ReadPropertyVector(props, "EmitDir");
    emitter->acceleration = ReadPropertyVector(props, "Acceleration");
    emitter->particleSize = ReadPropertyRange(props, "ParticleSize");
    emitter->particleLife = ReadPropertyRange(props, "ParticleLife");
    emitter->spawnOffset = Vec3(0.0f, 0.0f, 0.0f);
    emitter->startColor = ReadPropertyColor(props, "StartColor");
    emitter->endColor = ReadPropertyColor(props, "EndColor");
    emitter->spawnArea = ReadPropertyRange(props, "SpawnArea");
    emitter->spawnType = ReadPropertyInt(props, "SpawnType");
    emitter->startSpeed = ReadPropertyRange(props, "StartSpeed");
    emitter->genPeriod.Restart();
    emitter->genPeriod.range = ReadPropertyRange(props, "GenPeriod");

    Material& material = node.GetMaterial();
    MaterialLayer& layer = material.layers[0];
    layer.samplers[kBaseMap].texture = texture;
    layer.vertexColor = 1;
    layer.stages[0].SetCombine(kCombineTextureDiffuse);

    if (const HandleParam* texGen = FindProperty(props, "TexGen")) {
        ReadFrameWeights(*texGen, *emitter);
        emitter->RebuildFrameTable();
    } else {
        emitter->ApplyDesc(&material);
    }

    emitter->ready = 1;
    emitter->sizeConstant = emitter->particleSize.IsConstant() ? 1 : 0;
    emitter->singleFrame = emitter->frameWeights.count <= 1 ? 1 : 0;
    emitter->colorConstant = FColor::Equals(emitter->startColor, emitter->endColor) ? 1 : 0;

    node.properties.children.SetInt(String("NoCull"), 1);
    node.SetObject(emitter);
    return true;
}
