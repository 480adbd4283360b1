// The bump and environment effect's creation and technique choice. The light count it
// chooses persists in the effect's light limit, which is what a "MaxLights" setting on a
// material without that value falls back to.
#include "Effect/BumpEnvEffect.h"

#include "D3d/Texture.h"
#include "Effect/EffectManager.h"
#include "Effect/Material.h"

#include <initializer_list>

namespace {

constexpr i32 kDefaultLevelSetting = -1;
constexpr i32 kMaterialLimitSetting = -2;

i32 TableEntry(const EffectSettings& settings, i32 index) {
    if (index < 0) index = 0;
    if (index >= EffectSettings::kLightTableSize) index = EffectSettings::kLightTableSize - 1;
    return settings.lightCounts[index];
}

LightKind Kind(const char* name, i32 maxCount) {
    LightKind kind;
    kind.name = String(name);
    kind.maxCount = maxCount;
    return kind;
}

}  // namespace

BumpEnvEffect::BumpEnvEffect() {
    declaration.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    declaration.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
    declaration.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
    declaration.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0);
    declaration.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BINORMAL, 0);
    for (const char* name : {"WorldViewProj", "WorldView", "DiffuseMap", "EnvironmentMap", "NormalMap", "EnvGlossMap",
                             "EyePoint", "EyeCube", "SpecPower", "TexFactor", "ObjToCube", "FresnelR0", "Etha"})
        BindParameter(String(name));
}

bool BumpEnvEffect::Create() {
    if (!Effect::Create() || !pool.Create()) return false;
    SHADERDESC desc = SourceDescription("BumpEnv_T.fx", TheEffectManager().settings.forceCompile);
    LightGroup group;
    group.AddKind(Kind("DIR", 3));
    group.AddKind(Kind("POINT", 3));
    group.maxTotal = 3;
    Array<LightGroup> groups(0, 10);
    groups.Add(group);

    desc.macros.Add(ShaderMacro{String("REFLECTION"), String()});
    if (!LoadEffectGroup(codes, desc, 0, groups, 20)) return false;
    desc.macros[0].name = String("REFRACTION");
    if (!LoadEffectGroup(codes, desc, 0, groups, 20)) return false;
    // The group loader has entered DIR and POINT as the kinds the variants number.
    if (techniqueIndex.count == 0) return false;
    AddName(String("BumpEnv"), 100);
    return true;
}

i32 BumpEnvEffect::LightCountFor(const Material* material, i32 setting, i32 current) {
    const EffectSettings& settings = TheEffectManager().settings;
    if (setting == kDefaultLevelSetting) return TableEntry(settings, settings.defaultLightLevel);
    if (setting == kMaterialLimitSetting) {
        i32 limit = current;
        if (material && material->values.children.GetInt(String("MaxLights"), &limit)) return limit;
        return current;
    }
    // The model loader stores whatever number the file gives.
    return TableEntry(settings, setting);
}

String BumpEnvEffect::TechniqueFor(const MaterialLayer& layer) {
    Texture* reflection = layer.samplers[kEnvMap].texture;
    Texture* refraction = layer.samplers[kEnvMap2].texture;
    if (!reflection && !refraction) return String();
    const bool reflect = reflection != nullptr;
    Texture* environment = reflect ? reflection : refraction;
    const bool gloss = (reflect ? layer.samplers[kGlossMap].texture : layer.samplers[kGlossMap2].texture) != nullptr;
    String name(reflect ? "Refl" : "Refr");
    if (!environment->IsCube()) name.Append(String("Sphere"));
    if (gloss) name.Append(String("Gloss"));
    return name;
}

bool BumpEnvEffect::SelectTechnique(Material* material, i32 layer, i32& passes) {
    passes = 0;
    const MaterialLayer* l = LayerOf(material, layer);
    if (!l) return SetupLightTechnique(material, layer, lightLimit, lightPlan, passes);
    const String technique = TechniqueFor(*l);
    if (technique.IsEmpty()) {
        // Not a bump-and-environment layer: nothing of an earlier draw may be drawn for it.
        CloseOpenEntry();
        currentSelection = nullptr;
        currentMaterial = material;
        currentLayer = layer;
        return false;
    }
    lightLimit = LightCountFor(material, l->effectQuality, lightLimit);
    SetDefaultTechnique(technique);
    return SetupLightTechnique(material, layer, lightLimit, lightPlan, passes);
}
