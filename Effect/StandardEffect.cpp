// The standard effect's binding and its per-draw parameter pass. Handles are read from the
// first variant once and again after every device loss (a rebuilt effect hands out new
// handles); until then SetParameters reads them first.
#include "Effect/StandardEffect.h"

#include "Effect/EffectManager.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"

namespace {

struct StandardName {
    const char* name;
    ParameterOperation operation;
};

// In the order the catalogue is entered.
const StandardName kStandardNames[] = {
    {"WorldViewProj", &StandardParams::WorldViewProj},
    {"WorldView", &StandardParams::WorldView},
    {"CubeMapEnv", &StandardParams::CubeMapEnv},
    {"ObjToCube", &StandardParams::ObjToCube},
    {"EyePoint", &StandardParams::EyePoint},
    {"EyeCube", &StandardParams::EyeCube},
    {"DiffuseMap", &StandardParams::DiffuseMap},
    {"NormalMap", &StandardParams::NormalMap},
    {"EnvironmentMap", &StandardParams::EnvironmentMap},
    {"EnvGlossMap", &StandardParams::EnvGlossMap},
    {"SpecularMap", &StandardParams::SpecularMap},
    {"OffsetBias", &StandardParams::OffsetBias},
    {"FresnelR0", &StandardParams::FresnelR0},
    {"Etha", &StandardParams::Etha},
    {"SpecPower", &StandardParams::SpecPower},
    {"TexFactor", &StandardParams::TexFactor},
    {"ViewDir", &StandardParams::ViewDir},
    {"AlphaRef", &StandardParams::AlphaRef},
};

}  // namespace

StandardEffect::StandardEffect() { BindStandardParams(); }

StandardEffect::~StandardEffect() {
    // The selections name the variant codes, which go with this part of the object: end
    // whatever is still begun while they live.
    CloseOpenEntry();
}

void StandardEffect::BindStandardParams() {
    for (const StandardName& entry : kStandardNames) catalogue.Insert(String(entry.name), CatalogueEntry{entry.operation, 0});
}

bool StandardEffect::BindParameter(const String& name, ParameterOperation operation, u32 argument) {
    BoundParameter parameter;
    if (operation) {
        parameter.operation = operation;
        parameter.argument = argument;
    } else {
        const auto* known = catalogue.Find(name);
        if (!known) return false;
        parameter.operation = known->value.operation;
        parameter.argument = known->value.argument;
    }
    if (auto* node = bound.Find(name)) {
        node->value = parameter;
    } else {
        bound.Insert(name, parameter);
    }
    // A handle read before this binding does not cover it.
    parameterRefresh = 1;
    return true;
}

ID3DXEffect* StandardEffect::FirstVariantEffect() const {
    if (codes.count == 0 || !codes[0]) return nullptr;
    return codes[0]->GetEffect();
}

SHADERDESC StandardEffect::SourceDescription(const char* fileName, u8 forceCompile) {
    SHADERDESC desc;
    desc.forceCompile = forceCompile;
    desc.saveCompiled = TheEffectManager().settings.saveCompiled;
    desc.path = patht(fileName);
    desc.path.flags = kPathDisk | kPathArchive;
    desc.pool = &pool;
    return desc;
}

bool StandardEffect::RefreshParameters(ID3DXEffect* effect) {
    if (!effect) effect = FirstVariantEffect();
    if (!effect) return false;
    for (auto* node = bound.first; bound.count;) {
        node->value.handle = effect->GetParameterByName(nullptr, node->key.c_str());
        node = node->next;
        if (node == bound.first) break;
    }
    if (!LookUpStateParameters(effect)) return false;
    parameterRefresh = 0;
    return true;
}

bool StandardEffect::SetParameters(Material* material, i32 layer) {
    currentMaterial = material;
    currentLayer = layer;
    if (parameterRefresh) RefreshParameters(nullptr);
    d3dxEffect = FirstVariantEffect();
    context = material ? material->context : nullptr;
    if (!d3dxEffect || parameterRefresh || !context || !LayerOf(material, layer)) return false;
    for (auto* node = bound.first; bound.count;) {
        const BoundParameter& parameter = node->value;
        if (parameter.handle && parameter.operation) {
            currentHandle = parameter.handle;
            parameter.operation(*this, parameter.argument);
        }
        node = node->next;
        if (node == bound.first) break;
    }
    currentHandle = nullptr;
    // Parameters set while a pass is open reach its shaders only when committed.
    if (ID3DXEffect* open = OpenPassEffect()) open->CommitChanges();
    return true;
}
