// One frame of the product scene: the day cycle and the drawing of the desert.
//
// The scene time becomes a day fraction t; everything that changes with the time of day
// follows from t alone (the sun and moon directions, their colours, the sky boxes, the
// camera-flight lists), so a frozen engine clock gives a frame that can be drawn again
// exactly. The frame draws into the world render target through three views that each
// hold the lighting their owner chose (pass flag kPassViewLighting): the sky and the
// monument views hold none, the ground view holds the active light, so the shadow-mapped
// effect finds that light first on every ground object. The sun and moon are never
// switched on: the fixed-function path never lights with them.
//
// Nothing here fails: a missing model, node, light or effect leaves its step out and the
// frame goes on. The clock freeze is taken only when nobody holds it already, so a caller
// that froze the clock (a test stepping a day) keeps its frozen time after the frame.
#include "Dunmerrow/Dunmerrow.h"
#include "Dunmerrow/TimeOfDay.h"

#include "Core/Bounded.h"
#include "Core/Log.h"
#include "Core/ProgramObjects.h"
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"
#include "D3d/Texture.h"
#include "Effect/EffectManager.h"
#include "Effect/LightingInfo.h"
#include "Effect/Material.h"
#include "Effect/RenderQueue.h"
#include "Effect/SceneCamera.h"
#include "Effect/ShadowMappedEffect.h"
#include "Scene/Hierarchy.h"
#include "Scene/NodeTransform.h"
#include "Scene/RenderView.h"
#include "Screen/ProductSettings.h"
#include "Screen/SceneParams.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr f32 kTwoPi = 6.28318530718f;
constexpr f32 kFlareMaxAngle = 1.2217305f;  // 70 degrees: further off the view no flare shows
constexpr f32 kQuadDistance = 25000.0f;     // the sun and moon quads, inside the far plane
constexpr f32 kLightDistance = 20000.0f;    // the shadow light, back from the box centre
constexpr f32 kShadowDepth = 40000.0f;
constexpr f32 kSkyFadeSpan = 0.04f;          // the last stretch of day fraction before a switch
constexpr f32 kShadowBias = -0.000205f;
constexpr f32 kShadowSlope = 1.5f;

// Only the colour channels scale; the alpha stays whole.
FColor ScaleColour(const FColor& colour, f32 s) {
    FColor out;
    out.Set(colour.a, colour.r * s, colour.g * s, colour.b * s);
    return out;
}

FColor Grey(f32 v) {
    FColor out;
    out.SetGrey(v);
    return out;
}

Vec3 Normalised(const Vec3& v) {
    Vec3 out;
    Vec3Normalize(out, v);
    return out;
}

// The angle between two directions; 0 when either has no length.
f32 AngleBetween(const Vec3& a, const Vec3& b) {
    const f32 la = Vec3Length(a);
    const f32 lb = Vec3Length(b);
    if (la <= 0.0f || lb <= 0.0f) return 0.0f;
    f32 c = Vec3Dot(a, b) / (la * lb);
    if (c > 1.0f) c = 1.0f;
    if (c < -1.0f) c = -1.0f;
    return std::acos(c);
}

// "The factor" of a layer is the texture factor's alpha, which reaches the stages through
// the layer's opacity; the factor colour carries the same value for stages that read it
// as a colour.
void SetLayerFactor(MaterialLayer& layer, f32 value) {
    layer.opacity = value;
    layer.factor.a = value;
}

void PlaceNode(Hierarchy* node, const Vec3& position) {
    if (!node) return;
    node->GetTransform(true).SetPosition(position.x, position.y, position.z);
}

// A sky face shown alone, or blended with the next set's face by the factor alpha.
void SetSkyStages(Material& material, Texture* current, Texture* next, bool blend) {
    material.layerCount = 1;
    MaterialLayer& layer = material.layers[0];
    TextureStage& first = layer.stages[0];
    first.sampler.texture = current;
    first.colorOp = D3DTOP_SELECTARG1;
    first.colorArg[1] = D3DTA_TEXTURE;
    first.alphaOp = D3DTOP_DISABLE;
    TextureStage& second = layer.stages[1];
    if (blend) {
        second.sampler = first.sampler;
        second.sampler.texture = next;
        second.texCoordIndex = first.texCoordIndex;
        second.colorOp = D3DTOP_BLENDFACTORALPHA;
        second.colorArg[1] = D3DTA_CURRENT;  // the current set, weighted by the factor alpha
        second.colorArg[2] = D3DTA_TEXTURE;  // the next set, weighted by the rest
        second.alphaOp = D3DTOP_DISABLE;
        layer.stages[2].colorOp = D3DTOP_DISABLE;
        layer.stages[2].alphaOp = D3DTOP_DISABLE;
    } else {
        second.colorOp = D3DTOP_DISABLE;
        second.alphaOp = D3DTOP_DISABLE;
        second.sampler.texture = nullptr;
    }
}

ShadowMappedEffect* FindShadowedEffect() {
    Effect* effect = TheEffectManager().FindEffect(String("ShadowMapped"), 100);
    return effect ? QueryAs<ShadowMappedEffect>(effect, ShadowMappedEffectTypeId()) : nullptr;
}

// Whether the segment p0 -> p1 meets the box (slab test over the three axes).
bool SegmentMeetsBox(const Vec3& p0, const Vec3& p1, const Box& box) {
    const f32 start[3] = {p0.x, p0.y, p0.z};
    const f32 delta[3] = {p1.x - p0.x, p1.y - p0.y, p1.z - p0.z};
    const f32 lo[3] = {box.x - box.w * 0.5f, box.y - box.h * 0.5f, box.z - box.d * 0.5f};
    const f32 hi[3] = {box.x + box.w * 0.5f, box.y + box.h * 0.5f, box.z + box.d * 0.5f};
    f32 enter = 0.0f;
    f32 leave = 1.0f;
    for (int axis = 0; axis < 3; ++axis) {
        if (delta[axis] == 0.0f) {
            if (start[axis] < lo[axis] || start[axis] > hi[axis]) return false;
            continue;
        }
        f32 a = (lo[axis] - start[axis]) / delta[axis];
        f32 b = (hi[axis] - start[axis]) / delta[axis];
        if (a > b) std::swap(a, b);
        if (a > enter) enter = a;
        if (b < leave) leave = b;
        if (enter > leave) return false;
    }
    return true;
}

bool Inside(const Vec3& p, const Box& box) {
    return std::fabs(p.x - box.x) < box.w * 0.5f && std::fabs(p.y - box.y) < box.h * 0.5f &&
           std::fabs(p.z - box.z) < box.d * 0.5f;
}

}  // namespace

// ---- the pieces -----------------------------------------------------------------------

f32 Dunmerrow::DayFraction() {
    // A day of no length would divide by zero: a millisecond is the shortest day.
    const i64 length = DayLengthSetting > 1 ? DayLengthSetting : 1;
    const i64 elapsed = static_cast<i64>(Timer::Now() - dayTimer.Start());
    if (elapsed < 0) {
        // The clock went back (a test or a wrapped counter): the day starts again now.
        dayTimer.Restart();
        return 0.0f;
    }
    if (elapsed >= length) {
        // The day timer restarts at each whole day; the part of the new day already gone
        // stays counted, so a frame late by a few milliseconds lands where it should.
        const i64 days = elapsed / length;
        dayTimer.SetStart(dayTimer.Start() + static_cast<u64>(days * length));
    }
    const f32 t = static_cast<f32>(static_cast<f64>(elapsed % length) / static_cast<f64>(length));
    return t < 1.0f ? t : 0.0f;
}

void Dunmerrow::UpdateCameraLists(f32 t) {
    if (DebugMode) return;
    const i32 entries = CameraTimes.value.count;
    // One entry gives no span to switch in and no second list to switch to.
    if (entries < 2) return;
    i32 n = day.nextDayPart;
    if (n < 0 || n >= entries) n = 0;
    const FloatArray& times = CameraTimes.value;
    const bool due = n > 0 ? t >= times[n] : (t >= times[0] && t < times[1]);
    if (!due) {
        day.nextDayPart = n;
        return;
    }
    day.currentDayPart = n;
    // A day part without its list keeps the flights that are playing.
    if (const StringList* list = Cameras.value.Get(n)) {
        Animations = *list;
        UsedAnimations.Clear();
    }
    day.nextDayPart = (n + 1) % entries;
}

f32 Dunmerrow::SkyFadeAlpha(f32 r) {
    const f32 alpha = r * 25.0f;
    if (alpha < 0.0f) return 0.0f;
    return alpha > 1.0f ? 1.0f : alpha;
}

void Dunmerrow::UpdateSky(f32 t) {
    i32 cur = currentSky;
    if (cur < 0 || cur >= static_cast<i32>(kSkySets)) cur = 0;
    i32 nxt = day.nextSky;
    if (nxt < 0 || nxt >= static_cast<i32>(kSkySets)) nxt = (cur + 1) % static_cast<i32>(kSkySets);
    const bool wrapped = nxt == 0 && t <= skyTable[cur].start;
    if ((nxt != 0 && t >= skyTable[nxt].start) || wrapped) {
        cur = nxt;
        nxt = (nxt + 1) % static_cast<i32>(kSkySets);
    }
    currentSky = cur;
    day.nextSky = nxt;
    const f32 r = nxt == 0 ? 1.0f - t : skyTable[nxt].start - t;
    const bool fading = r <= kSkyFadeSpan;
    for (u32 k = 0; k < 5; ++k) {
        Material* material = skyMaterials[k];
        if (!material) continue;
        SetSkyStages(*material, skyTable[cur].faces[k], skyTable[nxt].faces[k], fading);
        SetLayerFactor(material->layers[0], fading ? SkyFadeAlpha(r) : 1.0f);
    }
}

void Dunmerrow::UpdateLightMap() {
    if (!lightMap) return;
    Material& material = lightMap->GetMaterial();
    const f32 flicker = day.flicker;
    // The light map is the second layer, added over the stone: its alpha is the texture's
    // times the factor, blended additively. The two layers' depth tests and biases keep
    // the added pass on the stone it lights: our reading of the two pairs of values is the
    // depth comparison (less for the stone, less-or-equal for the pass drawn over it) and
    // the depth bias.
    MaterialLayer& stone = material.layers[0];
    MaterialLayer& light = material.layers[1];
    SetLayerFactor(light, flicker);
    light.factor.r = light.factor.g = light.factor.b = flicker;
    light.stages[0].SetCombine(kCombineTextureFactor);
    light.SetBlendMode(kBlendAdditive);
    stone.depthFunc = D3DCMP_LESS;
    light.depthFunc = D3DCMP_LESSEQUAL;
    const f32 stoneBias = 0.00002f;
    const f32 lightBias = 0.00001f;
    std::memcpy(&stone.depthBias, &stoneBias, sizeof stoneBias);
    std::memcpy(&light.depthBias, &lightBias, sizeof lightBias);
    // Folded into one pass (both layers fixed-function), the light map is the first
    // layer's second stage: it adds texture x factor colour over the stone.
    if (material.layerCount == 1 && stone.stages[1].colorOp != D3DTOP_DISABLE) {
        stone.factor.r = stone.factor.g = stone.factor.b = flicker;
        TextureStage& stage = stone.stages[1];
        stage.colorOp = D3DTOP_MULTIPLYADD;
        stage.colorArg[0] = D3DTA_CURRENT;
        stage.colorArg[1] = D3DTA_TEXTURE;
        stage.colorArg[2] = D3DTA_TFACTOR;
    }
}

f32 Dunmerrow::FlareScale(u32 i, u32 n, f32 theta) {
    return 20.0f / (0.2f * static_cast<f32>(n - i) + 2.0f * theta + 1.0f);
}

void Dunmerrow::RenderFlare(FlareRecord& record, RenderView& view) {
    day.flareNodesDrawn = 0;
    if (!record.camera) return;
    SceneCamera& camera = *record.camera;
    const Vec3 eye = camera.GetEye();
    const Vec3 direction = Normalised(camera.GetDirection());
    const f32 distance = record.distance;
    const Vec3 centre = eye + direction * distance;
    const Vec3 v = record.source - centre;
    const f32 length = Vec3Length(v);
    const f32 theta = AngleBetween(v, direction);
    if (theta >= kFlareMaxAngle) return;
    const u32 n = record.count < 7 ? record.count : 7;
    if (n == 0) return;
    const Vec3 step = Normalised(v) * (-(0.5f * distance + length) / static_cast<f32>(n));
    const Vec3 up = camera.GetUp();
    for (u32 i = 0; i < n; ++i) {
        Hierarchy* node = record.nodes[i];
        if (!node) continue;
        const Vec3 position = record.source + step * static_cast<f32>(i + 1);
        NodeTransform& transform = node->GetTransform(true);
        transform.SetPosition(position.x, position.y, position.z);
        const f32 scale = FlareScale(i, n, theta);
        transform.SetScale(scale, scale, scale);
        transform.SetOrientation(direction, up);
        if (Hierarchy* plane = node->FindChild(String("Plane01"))) {
            // No depth write and no lighting; blending on with the layer's own factors;
            // the factor 0.1 keeps each sprite faint.
            MaterialLayer& layer = plane->GetMaterial().layers[0];
            layer.depthWrite = 0;
            layer.lit = 0;
            layer.SetBlendMode(kBlendOwnFactors);
            SetLayerFactor(layer, 0.1f);
        }
        CullSceneNodes(node, view);
        ++day.flareNodesDrawn;
    }
}

bool Dunmerrow::LandmarkHides(const Vec3& a, const Vec3& b) const {
    if (!landmark) return false;
    Box box = landmark->box;
    if (!landmark->IsValid()) Bounded::Transform(box, landmark->explicitBounds, landmark->GetFinalWorld());
    // Crossing a face: the segment meets the box and does not lie wholly inside it.
    return SegmentMeetsBox(a, b, box) && !(Inside(a, box) && Inside(b, box));
}

f32 Dunmerrow::ShadowExtent(i32 area, f32 y, f32 d) {
    const f32 a = static_cast<f32>(area);
    const f32 k = y * 0.00049f;
    const f32 extent = a * (k * k + 0.005f) * 13.0f / (12.0f * d + 1.0f);
    return extent < 2.0f * a ? extent : 2.0f * a;
}

// ---- the frame ------------------------------------------------------------------------

// What the steps of one frame share: where the eye stands, the queue and the three views,
// the light that shines, and what the shadow pass and the world target left for the rest.
struct Dunmerrow::Frame {
    explicit Frame(SceneCamera& camera)
        : eye(camera.GetEye()), viewDir(Normalised(camera.GetDirection())), queue(&camera) {}
    Vec3 eye;
    Vec3 viewDir;
    Vec3 sunPosition{0.0f, 0.0f, 0.0f};
    RenderQueue queue;
    RenderView skyView;
    RenderView monumentView;
    RenderView groundView;
    RefHandle<Light> active;
    ShadowMappedEffect* shadowed = nullptr;
    bool shadows = false;
    bool worldBegun = false;
};

bool Dunmerrow::RenderScene() {
    // One time for the whole frame; a freeze held by the caller stays the caller's.
    const bool frozenBefore = Timer::IsFrozen();
    if (!frozenBefore) Timer::Freeze(true);
    TheStatistics().ClearCurrent();

    const f32 t = DayFraction();
    day.fraction = t;
    UpdateCameraLists(t);
    PublishStatistics();
    const TimeOfDay now = TimeOfDay::At(t, CurrentDaySettings());

    Frame frame(ViewCamera);
    ApplyDay(now);
    PlaceSunAndMoon(now, frame);
    AimShadowLights(now, frame);
    SetUpViews(now, frame);
    if (IsAnimated.value) palm.GetRoot()->UpdateWorld(frame.skyView);
    ground.GetRoot()->UpdateWorld(frame.groundView);

    frame.worldBegun = BeginTargetWithColour(&world, 50.0f / 255.0f, 50.0f / 255.0f, 50.0f / 255.0f, 1.0f);
    RenderShadowPass(frame);
    RenderWorld(now, frame);
    RenderGlowsAndFlare(now, frame);
    // The world target onto the screen through the distortion.
    if (frame.worldBegun) world.End();
    viewCell.Render(frame.eye, DistAmount.value, now.height);

    if (!frozenBefore) Timer::Freeze(false);
    const i32 delay = ShadowDelay.value > 1 ? ShadowDelay.value : 1;
    day.shadowFrame = (day.shadowFrame + 1) % delay;
    return true;
}

void Dunmerrow::PublishStatistics() {
    StatisticsTable& statistics = TheStatistics();
    if (statistics.enabled != 1) return;
    HandleParamMap& record = statistics.Current().children;
    record.SetInt(String("DayPart"), day.currentDayPart);
    IDirect3DDevice9* device = TheDevice();
    const unsigned memory = device ? static_cast<unsigned>(device->GetAvailableTextureMem()) : 0u;
    char text[24];
    std::snprintf(text, sizeof text, "%u.", memory);
    record.SetString(String("FREE TEXTURE MEM"), String::FromText(text));
}

DaySettings Dunmerrow::CurrentDaySettings() const {
    DaySettings settings;
    settings.ambientLight = AmbientLight.value;
    settings.sunLight = SunLight.value;
    settings.moonLight = MoonLight.value;
    settings.shadowLightness = ShadowLightness.value;
    settings.pyramidShadow = PyrShadow.value;
    settings.maxMagic = MaxMagic.value;
    settings.bumpEffect = bumpEffect;
    return settings;
}

void Dunmerrow::ApplyDay(const TimeOfDay& now) {
    UpdateSky(now.fraction);
    day.height = now.height;
    RangeValue flickerRange;
    flickerRange.Set(0.9f, 10.0f, 1.0f, 10.0f);
    day.flicker = static_cast<f32>(flickerRange.Sample()) * now.night * 0.8f;
    if (day.shadowFrame == 0 && lightMap) UpdateLightMap();
    TurnAnkh();
    day.groundColour = now.groundColour;
    day.sunColour = now.sunColour;
    day.moonColour = now.moonColour;
    day.shadowGrey = now.shadowGrey;
}

void Dunmerrow::TurnAnkh() {
    // The ankh turns a full circle, then starts over.
    f32 spin = static_cast<f32>(ankhTimer.Elapsed()) * AnkhSpeed.value;
    if (spin >= kTwoPi) {
        spin = 0.0f;
        ankhTimer.Restart();
    }
    if (ankh) ankh->GetTransform(true).SetUp(std::sin(spin), 0.0f, std::cos(spin));
}

void Dunmerrow::PlaceSunAndMoon(const TimeOfDay& now, Frame& frame) {
    // The sun grows near the horizon and near the view's centre.
    frame.sunPosition = now.sunDirection * kQuadDistance;
    PlaceNode(sunQuad.GetRoot(), frame.sunPosition);
    PlaceNode(moonQuad.GetRoot(), now.moonDirection * kQuadDistance);
    const f32 theta = AngleBetween(frame.sunPosition - frame.eye, frame.viewDir);
    if (Hierarchy* child = sunQuad.GetRoot()->GetChildren().first ? sunQuad.GetRoot()->GetChildren().first->value : nullptr)
        SetLayerFactor(child->GetMaterial().layers[0], 1.0f);
    const f32 h = now.height;
    const f32 scale = (1.5f - h * h) * (0.7f - theta / kPi) * 55.0f;
    sunQuad.GetRoot()->GetTransform(true).SetScale(scale, scale, scale);
}

void Dunmerrow::AimShadowLights(const TimeOfDay& now, const Frame& frame) {
    // The shadow box follows the eye; the lights describe the shadow-casting light.
    const f32 downward = frame.viewDir.y < 0.0f ? -frame.viewDir.y : 0.0f;
    const f32 extent = ShadowExtent(ShadowArea.value, frame.eye.y, downward);
    const Vec3 boxCentre = frame.eye + frame.viewDir * (extent * 0.5f);
    auto setLight = [&](Light* light, const Vec3& dir, const FColor& colour) {
        if (!light) return;
        light->SetEnabled(false);
        const Vec3 position = boxCentre + dir * kLightDistance;
        light->SetPosition(position.x, position.y, position.z);
        light->SetDirection(-dir.x, -dir.y, -dir.z);
        light->SetDiffuse(colour);
        light->SetSpecular(ScaleColour(colour, 0.3f));
        light->SetShadowBox(extent, extent, kShadowDepth);
        light->SetAttenuation(0.1f, 0.004f, 0.00005f);
    };
    setLight(sunLight.Get(), now.sunDirection, day.sunColour);
    setLight(moonLight.Get(), now.moonDirection, day.moonColour);
}

void Dunmerrow::SetUpViews(const TimeOfDay& now, Frame& frame) {
    // The three views, each lit only by what it holds: the ground view the active light.
    const auto setupView = [&](RenderView& view, bool ambient, const FColor& colour) {
        view.camera = ViewCamera;
        view.flags = kPassViewLighting;
        view.lighting = RefHandle<LightingInfo>(new (std::nothrow) LightingInfo);
        if (view.lighting) view.lighting->ambient = ambient ? colour : Grey(0.0f);
    };
    setupView(frame.skyView, false, FColor());
    setupView(frame.monumentView, true, GoldColor.value);
    setupView(frame.groundView, true, day.groundColour);
    if (!IsAnimated.value) frame.groundView.queue = &frame.queue;

    frame.active = now.daytime ? sunLight : moonLight;
    if (frame.active && frame.groundView.lighting) frame.groundView.lighting->AddLight(frame.active);
    if (frame.active) day.lightDirection = frame.active->GetDirection();
    if (now.daytime) flare.source = frame.sunPosition;
}

void Dunmerrow::RenderShadowPass(Frame& frame) {
    frame.shadowed = ShadowsEnabled.value ? FindShadowedEffect() : nullptr;
    frame.shadows = ShadowsEnabled.value && shadowMap.GetSize() > 0;
    if (!frame.shadows) return;
    if (day.shadowFrame == 0 && frame.active && shadowMap.Begin(frame.active, 1, kShadowBias, kShadowSlope)) {
        RenderView shadowView;
        shadowView.camera = shadowMap.GetCamera();
        // What the light sees says nothing of what the eye will: the nodes' occlusion
        // queries stay the eye's.
        shadowView.flags = kPassNoQueries;
        shadowView.contextTag = TheEffectManager().FindEffect(String("ShadowMap"), 100);
        // Casters are drawn with their back faces: the front faces' depth would shadow
        // the lit surfaces themselves.
        StateCache::SetRenderStateLocked(D3DRS_CULLMODE, D3DCULL_CW, true);
        CullSceneNodes(ground.GetRoot(), shadowView);
        if (landmark) CullSceneNodes(landmark, shadowView);
        CullSceneNodes(landmarkGroup.GetRoot(), shadowView);
        CullSceneNodes(monuments.GetRoot(), shadowView);
        CullPalms(shadowView);
        StateCache::SetRenderStateLocked(D3DRS_CULLMODE, D3DCULL_CCW, false);
        shadowMap.End();
        ++day.shadowMapDraws;
    }
    if (frame.shadowed) frame.shadowed->SetShadowParams(ViewCamera, shadowMap, 1, day.shadowGrey);
}

void Dunmerrow::RenderWorld(const TimeOfDay& now, Frame& frame) {
    // Sky, sun, moon; the ground.
    CullSceneNodes(sky.GetRoot(), frame.skyView);
    CullSceneNodes(sunQuad.GetRoot(), frame.skyView);
    CullSceneNodes(moonQuad.GetRoot(), frame.skyView);
    CullSceneNodes(ground.GetRoot(), frame.groundView);

    // The landmarks and the palms, under their own shadow grey.
    if (frame.shadows) {
        day.shadowGrey = now.landmarkGrey;
        if (frame.shadowed) frame.shadowed->SetShadowParams(ViewCamera, shadowMap, 1, day.shadowGrey);
    }
    if (landmark) CullSceneNodes(landmark, frame.groundView);
    CullSceneNodes(landmarkGroup.GetRoot(), frame.groundView);
    CullPalms(frame.groundView);

    // What the ground view queued; then the monument.
    frame.queue.Draw();
    frame.queue.Clear();
    CullSceneNodes(monuments.GetRoot(), frame.monumentView);
}

void Dunmerrow::CullPalms(RenderView& view) {
    if (!IsAnimated.value) return;
    for (u32 i = 0; i < palmCount && i < kPalms; ++i) {
        PlaceNode(palm.GetRoot(), palmPositions[i]);
        CullSceneNodes(palm.GetRoot(), view);
    }
}

void Dunmerrow::RenderGlowsAndFlare(const TimeOfDay& now, Frame& frame) {
    // The rays fade out as the sun rises, the magic grows at night.
    for (u32 i = 0; i < kGlows; ++i) {
        glows[i].DrawRays(frame.skyView.camera);
        MaterialLayer& rays = glows[i].RayMaterial().layers[0];
        SetLayerFactor(rays, now.night);
        rays.stages[0].SetCombine(kCombineDiffuseFactor);
        magic[i].SetCount(now.magicCount);
        if (Hierarchy* node = magic[i].Node()) CullSceneNodes(node, frame.skyView);
    }
    // The flare, unless the landmark stands between the eye and the sun.
    day.flareNodesDrawn = 0;
    if (now.daytime && !LandmarkHides(frame.eye, frame.sunPosition)) RenderFlare(flare, frame.monumentView);
}
