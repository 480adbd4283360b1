// Loading the product scene. LoadCustom runs once the device, the media archive, the fonts
// and the effects exist. It turns the user's sliders into a day length and a shadow-map
// size, makes the world render target (the only thing whose failure stops the saver),
// loads the models and regroups their nodes into what each frame draws through its own
// view, loads the sky boxes and the sun and moon sprites, builds the distortion view, the
// two lights, the glows and the magic emitters, and starts the music last.
//
// Regrouping takes nodes out of the ground model: the palms (only their positions are
// kept; the palm model is drawn at each of them), the monument's five objects (into the
// monument group), the landmark pyramid (held on its own: the scene owns it from then on)
// and the smaller pyramid (into the landmark group). A node the ground lacks leaves its
// step out.
//
// What the settings file may get wrong is caught here: the sliders are clamped, short
// glow arrays build only the glows they describe completely, and a missing camera list
// leaves the flights as they are.
#include "Dunmerrow/Dunmerrow.h"

#include "Core/Log.h"
#include "D3d/Texture.h"
#include "D3d/TextureManager.h"
#include "Effect/EffectManager.h"
#include "Scene/AnimState.h"
#include "Scene/Hierarchy.h"
#include "Screen/ProductSettings.h"
#include "Screen/RenderDefaults.h"
#include "Screen/SceneParams.h"

#include <algorithm>

namespace {

const char kSource[] = ".\\Dunmerrow";
const char kLoadSignature[] = "bool __thiscall Dunmerrow::LoadCustom(void)";

LogSite LoadSite(i32 line) { return LogSite(kSource, kLoadSignature, line); }

// The quality the scene asks its effects at.
constexpr i32 kEffectQuality = 100;

// The sky sets in the order of the day, with the day fraction each starts at, and the
// five faces of a set in the order the sky model's nodes "Sky1".."Sky5" take them.
struct SkySetName {
    const char* name;
    f32 start;
};
constexpr SkySetName kSkySetNames[Dunmerrow::kSkySets] = {
    {"chateau", 0.0f}, {"mpcarentan", 0.09f}, {"dam", 0.44f}, {"pathfinder", 0.58f}};
constexpr const char* kSkyFaces[5] = {"up", "ft", "bk", "lf", "rt"};

// The monument's objects, in the order the monument group takes them.
constexpr const char* kMonumentNodes[5] = {"Ankh", "Object012", "Object02", "figure01", "Object05"};

// Which flare model serves each of the seven flare nodes.
constexpr u32 kFlareModels[7] = {0, 1, 2, 3, 0, 1, 2};

// The node's first child, or null.
Hierarchy* FirstChild(Hierarchy* node) {
    if (!node || node->GetChildren().count == 0) return nullptr;
    return node->GetChildren().first->value;
}

// Takes node out of its parent (the node itself stays alive; the caller owns it).
void Detach(Hierarchy* node) {
    if (node && node->GetParent()) node->GetParent()->RemoveChild(node->GetName());
}

// Every model loops the animation filed under the default (empty) load name, on its
// root, replacing whatever played before.
void PlayDefaultLoop(AdvScene& model) {
    AnimRequest request(String(""), kAnimLoop, 1.0f, 0.0f, 0.0f);
    model.GetRoot()->PlayAnimation(&request, kPlayReplace, false, 0.0f);
}

// The translation of the node's local transform, whether it was split into parts or
// kept as a matrix.
Vec3 LocalPosition(Hierarchy* node) {
    Matrix local;
    node->GetTransform(false).GetMatrix(local);
    return Vec3(local.m[12], local.m[13], local.m[14]);
}

void ScaleUniformly(Hierarchy* node, f32 scale) { node->GetTransform(true).SetScale(scale, scale, scale); }

// A camera-facing sprite showing texture: no depth write, no lighting, the stages built
// again for the new texture.
void MakeSprite(Hierarchy& node, Texture* texture) {
    Material& material = node.GetMaterial();
    MaterialLayer& layer = material.layers[0];
    layer.samplers[kBaseMap].texture = texture;
    layer.depthWrite = 0;
    layer.lit = 0;
    material.BuildPasses();
    node.SetFaceAxes(String("XYZ"));
}

}  // namespace

Texture* Dunmerrow::LoadOwnTexture(const String& name) {
    if (ownTextureCount >= kOwnTextures) return nullptr;
    Texture* texture = LoadMediaTexture(name);
    if (texture) ownTextures[ownTextureCount++] = texture;
    return texture;
}

void Dunmerrow::ReleaseOwnTextures() {
    for (u32 i = 0; i < ownTextureCount; ++i) TheTextureManager().Release(ownTextures[i]);
    ownTextureCount = 0;
}

void Dunmerrow::ReleaseDetachedNodes() {
    delete landmark;
    landmark = nullptr;
}

bool Dunmerrow::LoadCustom() {
    // 1. The flights of the first part of the day (the debug mode keeps its own).
    // Without a first camera list the flights of the scene keys stay.
    if (!DebugMode && Cameras.value.count > 0) Animations.CopyFrom(Cameras.value[0]);
    // Every day part's flights are read now, so that no frame waits on the archive.
    for (i32 part = 0; !DebugMode && part < Cameras.value.count; ++part) KeepFlights(Cameras.value[part]);

    // 2. The day length, in ms from here on.
    DayLengthSetting = DayLengthMs(DayLengthSetting, DayMinLengthSetting, DayMaxLengthSetting);

    // 3. Without bump mapping the ground is lit by a warmer, brighter ambient colour.
    bumpEffect = TheEffectManager().FindEffect(String("Bump"), kEffectQuality) != nullptr;
    if (!bumpEffect) AmbientLight.value = FColor::FromBytes(255, 255, 200);

    // 4. The clocks of the day and of the ankh (which times the loading too).
    dayTimer.Restart();
    ankhTimer.Restart();

    // 5. The shadow-map size.
    const i32 shadowSize = ShadowMapSize(ShadowQualitySetting);
    ShadowQualitySetting = shadowSize;
    LogInfo().Write(LoadSite(__LINE__)).Print("ShadowQuality = ").Print(shadowSize);

    // 6. The world render target, no larger than 1280 x 1024.
    const IntRect screen = GetScreenRect();
    const u32 width = static_cast<u32>(std::clamp<i32>(screen.right, 1, static_cast<i32>(kWorldMaxWidth)));
    const u32 height = static_cast<u32>(std::clamp<i32>(screen.bottom, 1, static_cast<i32>(kWorldMaxHeight)));
    if (!world.Create(width, height, D3DFMT_X8R8G8B8, D3DFMT_D24S8, false)) {
        LogErrors().Write(LoadSite(__LINE__)).Print("World texture failed to create!");
        return false;
    }

    // 7. Shadows need a map size and both shadow effects.
    if (shadowSize == 0 || !TheEffectManager().FindEffect(String("ShadowMap"), kEffectQuality) ||
        !TheEffectManager().FindEffect(String("ShadowMapped"), kEffectQuality)) {
        ShadowsEnabled.value = 0;
    } else if (!shadowMap.Create(static_cast<u32>(shadowSize))) {
        // The frames would draw into a map that is not there: they go without shadows.
        LogWarnings().Write(LoadSite(__LINE__)).Print("ShadowMap failed to create!");
        ShadowsEnabled.value = 0;
    }

    // 8. The models.
    ankhTimer.Restart();
    LOADDESC desc(TheRenderDefaults().loaderOption);
    desc.flags |= kLoadOptimizeMeshes;
    Timer groundTimer;
    ground.Load(MediaPath(String("Models/All/Ground.UDF")), &desc);
    LogInfo().Write(LoadSite(__LINE__)).Print("Load: ").Print(static_cast<i32>(groundTimer.Elapsed()));
    sky.Load(MediaPath(String("Models/All/Sky.UDF")), &desc);
    box.Load(MediaPath(String("Models/Box.UDF")), &desc);
    for (u32 n = 0; n < kFlares; ++n)
        flares[n].Load(MediaPath(String("Models/Flares/Flare") + String::FromInt(static_cast<int>(n + 1), 10) +
                                 String(".UDF")),
                       &desc);
    palm.Load(MediaPath(String("Models/All/Palm.UDF")), &desc);

    // 9. The palms. The leaves are cut out by alpha testing (a texel is drawn when its
    // alpha is at least 110) instead of being blended, so they need no sorting.
    if (Hierarchy* leaves = palm.GetRoot()->FindNode(String("Palm02"))) {
        Material& material = leaves->GetMaterial();
        material.alphaTestAllowed = 1;
        material.layers[0].alphaFunc = D3DCMP_GREATEREQUAL;
        material.layers[0].alphaRef = 110;
    }
    PlayDefaultLoop(palm);
    palmCount = 0;
    for (u32 n = 1; n <= kPalms; ++n) {
        Hierarchy* node = ground.GetRoot()->FindNode(String("Palm0") + String::FromInt(static_cast<int>(n), 10));
        if (!node) continue;
        palmPositions[palmCount++] = LocalPosition(node);
        // Only the position is wanted: the palm model is drawn there instead.
        Detach(node);
        delete node;
    }
    PlayDefaultLoop(ground);

    // 10. The monument group, drawn in a view of its own with a golden ambient colour.
    for (const char* name : kMonumentNodes)
        if (Hierarchy* node = ground.GetRoot()->FindNode(String(name))) monuments.GetRoot()->AddChild(node);
    ankh = monuments.GetRoot()->FindNode(String("Ankh"));
    lightMap = ground.GetRoot()->FindNode(String("Object11"));

    // 11. The lens flare: seven nodes from the four flare models.
    for (u32 i = 0; i < 7; ++i) flare.nodes[i] = flares[kFlareModels[i]].GetRoot();
    flare.count = 7;
    flare.camera = &ViewCamera;
    flare.distance = 10000.0f;

    // 12. The landmark pyramid and the smaller one.
    ReleaseDetachedNodes();
    if (Hierarchy* node = ground.GetRoot()->FindChild(String("Object01"))) {
        Detach(node);
        landmark = node;
    }
    if (Hierarchy* node = ground.GetRoot()->FindChild(String("Pyr1"))) landmarkGroup.GetRoot()->AddChild(node);

    // 13. The sun and the moon: camera-facing sprites that neither write depth nor take
    // light. The sun adds its light; the moon shows its texture as it is. The material
    // keeps no fog switch for a first layer, so the sun's "no fog" is its no-fog flag,
    // which the shipped configuration (fog off) never needs.
    sunQuad.Load(MediaPath(String("Models/Quad.udf")), &desc);
    moonQuad.Load(MediaPath(String("Models/Quad.udf")), &desc);
    if (Hierarchy* sun = FirstChild(sunQuad.GetRoot())) {
        Material& material = sun->GetMaterial();
        material.layers[0].noFogInLaterPass = 1;
        material.layers[0].SetBlendMode(kBlendAdditive);
        MakeSprite(*sun, LoadOwnTexture(String("Models/morn_day_sun.png")));
    }
    ScaleUniformly(sunQuad.GetRoot(), Scale.value * 45.0f);
    if (Hierarchy* moon = FirstChild(moonQuad.GetRoot())) {
        MakeSprite(*moon, LoadOwnTexture(String("Models/moon.png")));
        moon->GetMaterial().layers[0].stages[0].SetCombine(kCombineTexture);
    }
    ScaleUniformly(moonQuad.GetRoot(), Scale.value * 15.0f);

    // 14. The sky boxes and the materials of the sky's five faces.
    for (u32 s = 0; s < kSkySets; ++s) {
        skyTable[s].start = kSkySetNames[s].start;
        for (u32 f = 0; f < 5; ++f)
            skyTable[s].faces[f] =
                LoadOwnTexture(String("Models/All/") + kSkySetNames[s].name + "_" + kSkyFaces[f] + ".jpg");
    }
    currentSky = 0;
    for (u32 k = 0; k < 5; ++k) {
        Hierarchy* face = sky.GetRoot()->FindChild(String("Sky") + String::FromInt(static_cast<int>(k + 1), 10));
        skyMaterials[k] = face ? &face->GetMaterial() : nullptr;
    }

    // 15. The distortion view that shows the world target on the screen.
    viewCell.Create(box.GetRoot()->FindNode(String("box")), world.GetColorTexture(),
                    LoadOwnTexture(String("displace.bmp")), TheEffectManager().FindEffect(String("Distort"), kEffectQuality));

    // 16. The sun and the moon light. They carry no range, so the shadow camera over them
    // is orthographic; they stay switched off, so only effects see them.
    sunLight = RefHandle<Light>(new (std::nothrow) SpotLight);
    moonLight = RefHandle<Light>(new (std::nothrow) SpotLight);
    for (Light* light : {sunLight.Get(), moonLight.Get()}) {
        if (!light) continue;
        light->SetEnabled(false);
        light->SetShadowPerspective(0);
    }

    // 17. The glows and their magic, as many as every glow array describes.
    const i32 glowCount = std::min<i32>({static_cast<i32>(kGlows), GlowPos.value.count, GlowCol.value.count,
                                         GlowSize.value.count, GlowRays.value.count});
    for (i32 i = 0; i < glowCount; ++i) {
        const Vec3 position = GlowPos.value[i];
        const f32 size = GlowSize.value[i] * Scale.value;
        glows[i].Build(Vec3(position.x * Scale.value, position.y * Scale.value, position.z * Scale.value), size,
                       size * 0.2f, GlowCol.value[i], GlowRays.value[i]);
        Texture* texture = LoadOwnTexture(String("Models/Moon.png"));
        magic[i].Build(position, texture, 1.0f);
    }

    // 18. The music.
    MusicSettings settings;
    settings.music = Music != 0;
    settings.volume = Volume;
    settings.file = MusicFile.value;
    MemFile files;
    files.AddSearchPath(MediaPath(String()));
    music.Start(GetWindow(), settings, &files);

    // 19.
    LogInfo().Write(LoadSite(__LINE__)).Print("Load: ").Print(static_cast<i32>(ankhTimer.Elapsed()));
    return true;
}
