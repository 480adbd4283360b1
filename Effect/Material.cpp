// Construction, copying and the name map of materials, the folding of layers into passes,
// and the set-up of a layer on the device. A material owns its keyed variants; copying a
// material copies them (a variant's own variants included), so two materials never share a
// variant.
//
// The set-up operations send everything through the state cache, so a state a previous
// draw left as it is costs nothing; their results are the cache's (false without a device
// or when the device refused a value), combined, and false while no context is set.
#include "Effect/Material.h"

#include <cstring>

#include <d3dx9.h>

#include "Core/D3dxLibrary.h"
#include "D3d/StateCache.h"
#include "D3d/Texture.h"
#include "Effect/Effect.h"
#include "Effect/EffectManager.h"
#include "Effect/RenderContext.h"

namespace {

void SetColor(D3DCOLORVALUE& c, f32 a, f32 r, f32 g, f32 b) {
    c.r = r;
    c.g = g;
    c.b = b;
    c.a = a;
}

bool SameColor(const D3DCOLORVALUE& x, const D3DCOLORVALUE& y) {
    return x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a;
}

}  // namespace

TextureStage::TextureStage() : transform(IdentityMatrix) {}

void MaterialColors::Reset() {
    SetDiffuse(1.0f, 1.0f, 1.0f, 1.0f);
    SetAmbient(1.0f, 1.0f, 1.0f, 1.0f);
    SetSpecular(1.0f, 1.0f, 1.0f, 1.0f);
    SetEmissive(0.0f, 0.0f, 0.0f, 0.0f);
    value.Power = 16.0f;
}

void MaterialColors::SetDiffuse(f32 a, f32 r, f32 g, f32 b) { SetColor(value.Diffuse, a, r, g, b); }
void MaterialColors::SetAmbient(f32 a, f32 r, f32 g, f32 b) { SetColor(value.Ambient, a, r, g, b); }
void MaterialColors::SetSpecular(f32 a, f32 r, f32 g, f32 b) { SetColor(value.Specular, a, r, g, b); }
void MaterialColors::SetEmissive(f32 a, f32 r, f32 g, f32 b) { SetColor(value.Emissive, a, r, g, b); }

bool MaterialColors::Equals(const MaterialColors& other) const {
    return SameColor(value.Diffuse, other.value.Diffuse) && SameColor(value.Ambient, other.value.Ambient) &&
           SameColor(value.Specular, other.value.Specular) && SameColor(value.Emissive, other.value.Emissive) &&
           value.Power == other.value.Power;
}

MaterialLayer::MaterialLayer() {
    for (u32 i = 0; i < 8; ++i) stages[i].texCoordIndex = i;
}

void KeyedMaterials::Set(f32 key, const Material& material) {
    Material* copy = new Material(material);
    if (auto* node = map.Find(key)) {
        delete node->value;
        node->value = copy;
        return;
    }
    if (!map.Set(key, copy, true)) delete copy;
}

void KeyedMaterials::Clear() {
    if (map.count) {
        auto* node = map.first;
        for (u32 i = 0; i < map.count; ++i, node = node->next) delete node->value;
    }
    map.Clear();
}

void KeyedMaterials::Assign(const KeyedMaterials& other) {
    if (this == &other) return;
    Clear();
    modeWords[0] = other.modeWords[0];
    modeWords[1] = other.modeWords[1];
    if (!other.map.count) return;
    auto* node = other.map.first;
    for (u32 i = 0; i < other.map.count; ++i, node = node->next) Set(node->key, *node->value);
}

bool KeyedMaterials::IsActive() const { return map.count > 0 && TheEffectManager().settings.materialSwitch != 0; }

Material* KeyedMaterials::Evaluate(Material* owner, f32 value) const {
    if (!map.count) return owner;
    const EffectSettings& settings = TheEffectManager().settings;
    if (!settings.materialSwitch) value = settings.materialKey;
    FloatMapOf<Material*>::Node* before = nullptr;
    FloatMapOf<Material*>::Node* after = nullptr;
    AnimatedValue::FindSegment(map, value, before, after);
    if (after) return after->value;
    return before ? before->value : owner;
}

Material::Material() {
    layers[0].stages[0].colorOp = kTextureOpAutomatic;
    layers[0].stages[0].alphaOp = kTextureOpAutomatic;
}

Material::Material(const Material& other) { Assign(other); }

Material::~Material() = default;

Material& Material::Assign(const Material& other) {
    if (this == &other) return *this;
    reserved0 = other.reserved0;
    keyed.Assign(other.keyed);
    layerCount = other.layerCount;
    for (i32 i = 0; i < 3; ++i) layers[i].Assign(other.layers[i]);
    reserved1 = other.reserved1;
    alphaTestAllowed = other.alphaTestAllowed;
    values.Assign(other.values);
    return *this;
}

bool MaterialMap::Add(const String& name, const Material& material) {
    if (map.Contains(name)) return false;
    Material* copy = new Material(material);
    if (map.Insert(name, copy, true)) return true;
    delete copy;
    return false;
}

void MaterialMap::Put(const String& name, const Material& material) {
    if (auto* node = map.Find(name)) {
        node->value->Assign(material);
        return;
    }
    Add(name, material);
}

Material* MaterialMap::Find(const String& name) const {
    auto* node = map.Find(name);
    return node ? node->value : nullptr;
}

bool MaterialMap::Get(const String& name, Material& out) const {
    Material* found = Find(name);
    if (!found) return false;
    out.Assign(*found);
    return true;
}

void MaterialMap::Clear() {
    if (map.count) {
        auto* node = map.first;
        for (u32 i = 0; i < map.count; ++i, node = node->next) delete node->value;
    }
    map.Clear();
}

// ---- The records' own rules ----

bool OpUsesArg(u32 op, u32 index) {
    if (index > 2) return false;
    switch (op) {
    case D3DTOP_DISABLE:
    case kTextureOpAutomatic: return false;
    case D3DTOP_SELECTARG1: return index == 1;
    case D3DTOP_SELECTARG2: return index == 2;
    case D3DTOP_MULTIPLYADD:
    case D3DTOP_LERP: return true;
    default: return index != 0;
    }
}

void TextureStage::SetCombine(i32 kind) {
    // Per kind (CombineKind, in order): the alpha operation and its first and second
    // arguments.
    constexpr u32 kKeep = 0xFFFFFFFFu;
    static constexpr u32 kCombines[7][3] = {
        {D3DTOP_DISABLE, kKeep, kKeep},
        {D3DTOP_SELECTARG1, D3DTA_TFACTOR, kKeep},
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE, kKeep},
        {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_TFACTOR},
        {D3DTOP_SELECTARG1, D3DTA_DIFFUSE, kKeep},
        {D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR},
        {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE},
    };
    if (kind < 0 || kind > 6) return;
    const u32* row = kCombines[kind];
    alphaOp = row[0];
    if (row[1] != kKeep) alphaArg[1] = row[1];
    if (row[2] != kKeep) alphaArg[2] = row[2];
}

bool SamplerDesc::Equals(const SamplerDesc& other) const {
    Texture* mine = texture ? texture->GetPixelOwner() : nullptr;
    Texture* theirs = other.texture ? other.texture->GetPixelOwner() : nullptr;
    return mine == theirs && addressU == other.addressU && addressV == other.addressV &&
           minFilter == other.minFilter && magFilter == other.magFilter && mipFilter == other.mipFilter;
}

void MaterialLayer::SetBlendMode(i32 kind) {
    blendEnabled = kind != kBlendOff;
    switch (kind) {
    case kBlendOff:
        srcBlend = D3DBLEND_SRCALPHA;
        destBlend = D3DBLEND_INVSRCALPHA;
        break;
    case kBlendModulate:
        srcBlend = D3DBLEND_DESTCOLOR;
        destBlend = D3DBLEND_ZERO;
        break;
    case kBlendModulate2X:
    case kBlendUnnamed:
        srcBlend = D3DBLEND_DESTCOLOR;
        destBlend = D3DBLEND_SRCCOLOR;
        break;
    case kBlendAdditive:
        srcBlend = D3DBLEND_SRCALPHA;
        destBlend = D3DBLEND_ONE;
        break;
    default: break;
    }
}

bool MaterialLayer::Equals(const MaterialLayer& other) const {
    if (!colors.Equals(other.colors) || effect != other.effect || blendEnabled != other.blendEnabled ||
        srcBlend != other.srcBlend || destBlend != other.destBlend || depthTest != other.depthTest ||
        depthFunc != other.depthFunc || depthWrite != other.depthWrite || alphaFunc != other.alphaFunc ||
        alphaRef != other.alphaRef || lit != other.lit || vertexColor != other.vertexColor ||
        vertexAlpha != other.vertexAlpha || specularEnabled != other.specularEnabled ||
        localViewer != other.localViewer || cullMode != other.cullMode || opacity != other.opacity)
        return false;
    for (u32 i = 0; i < kMaterialMapCount; ++i)
        if (!samplers[i].Equals(other.samplers[i])) return false;
    return true;
}

// ---- Passes ----

namespace {

constexpr f32 kTwoPassDepthBias = 1e-5f;

bool NameHas(const String& name, const char* word) { return name.FindNoCase(String(word), false) >= 0; }

// The combine kind a layer's blend-kind name asks for; the first word found wins, so
// "AddSigned" is never taken for "Add". The texture operation is also the blend kind of a
// pass that the layer begins.
static_assert(kBlendModulate == i32(D3DTOP_MODULATE) && kBlendModulate2X == i32(D3DTOP_MODULATE2X) &&
                  kBlendAdditive == i32(D3DTOP_ADD) && kBlendOwnFactors == i32(D3DTOP_ADDSIGNED),
              "a blend-kind name's texture operation is its pass's blend kind");
i32 CombineKindOf(const String& name) {
    if (NameHas(name, "LightMap") || NameHas(name, "Modulate2X")) return D3DTOP_MODULATE2X;
    if (NameHas(name, "Modulate")) return D3DTOP_MODULATE;
    if (NameHas(name, "AddSigned")) return D3DTOP_ADDSIGNED;
    if (NameHas(name, "Add") || NameHas(name, "Chrome")) return D3DTOP_ADD;
    return kBlendUnnamed;
}

i32 ClampedLayerCount(i32 count) { return count < 0 ? 0 : (count > 3 ? 3 : count); }

u32 FloatBits(f32 value) {
    u32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

bool ArgsRead(u32 op, const u32 (&args)[3], u32 source) {
    for (u32 k = 0; k < 3; ++k)
        if (OpUsesArg(op, k) && (args[k] & D3DTA_SELECTMASK) == source) return true;
    return false;
}

}  // namespace

void Material::BuildPasses() {
    const i32 count = ClampedLayerCount(layerCount);
    for (i32 i = 0; i < count; ++i) layers[i].stages[0].sampler = layers[i].samplers[kBaseMap];

    i32 passes = 0;
    i32 passLayer = -1;
    i32 stage = -1;
    i32 freeSlot = -1;
    for (i32 i = 0; i < count; ++i) {
        MaterialLayer& layer = layers[i];
        const i32 kind = CombineKindOf(layer.blendKindName);
        const bool joins = i > 0 && !layer.effect && !layers[i - 1].effect;
        if (!joins) {
            ++passes;
            passLayer = -1;
            stage = -1;
            if (!layer.blendEnabled) {
                if (i == 0 && kind == kBlendUnnamed) {
                    layer.blendEnabled = 0;
                    layer.srcBlend = D3DBLEND_SRCALPHA;
                    layer.destBlend = D3DBLEND_INVSRCALPHA;
                } else {
                    layer.SetBlendMode(kind);
                }
            }
            if (i > 0) layer.lit = 0;
        }
        if (layer.effect) {
            if (freeSlot >= 0) {
                layers[freeSlot].Assign(layer);
                freeSlot = i;
            }
            passLayer = -1;
            stage = -1;
            continue;
        }
        if (passLayer < 0) passLayer = i;
        ++stage;
        if (joins) freeSlot = i;
        TextureStage& target = layers[passLayer].stages[stage];
        target.sampler = layer.samplers[kBaseMap];
        target.texCoordIndex = static_cast<u32>(i);
        if (NameHas(layer.blendKindName, "Chrome")) target.texCoordIndex |= D3DTSS_TCI_SPHEREMAP;
        target.alphaOp = kTextureOpAutomatic;
        const bool textured = target.sampler.texture != nullptr;
        if (stage > 0) {
            target.colorOp = static_cast<u32>(kind);
            target.colorArg[1] = D3DTA_CURRENT;
            target.colorArg[2] = textured ? D3DTA_TEXTURE : D3DTA_DIFFUSE;
            continue;
        }
        u32 args = 0;
        if (textured) target.colorArg[1 + args++] = D3DTA_TEXTURE;
        if (layer.lit) target.colorArg[1 + args++] = D3DTA_DIFFUSE;
        target.colorOp = args == 0 ? D3DTOP_DISABLE : (args == 1 ? D3DTOP_SELECTARG1 : D3DTOP_MODULATE);
    }
    layerCount = passes;
    if (passes == 2) layers[0].depthBias = FloatBits(kTwoPassDepthBias);
}

void Material::AssignBumpEffects() {
    const i32 count = ClampedLayerCount(layerCount);
    for (i32 i = 0; i < count; ++i) {
        MaterialLayer& layer = layers[i];
        const bool bump = layer.samplers[kBumpMap].texture != nullptr;
        const bool env = layer.samplers[kEnvMap].texture != nullptr || layer.samplers[kEnvMap2].texture != nullptr;
        const char* name = env ? (bump ? "BumpEnv" : "Env") : (bump ? "Bump" : nullptr);
        if (name) layer.effect = TheEffectManager().FindEffect(String(name), 200);
    }
}

bool Material::IsTransparent(i32 layerIndex) const {
    if (layerIndex == -1) layerIndex = 0;
    if (layerIndex < 0 || layerIndex > 2) return false;
    const MaterialLayer& layer = layers[layerIndex];
    if (layer.effect) return layer.effect->IsTransparent(this, layerIndex);
    if (layer.vertexAlpha) return true;
    if (layer.opacity != 1.0f)
        for (const TextureStage& stage : layer.stages)
            if (ArgsRead(stage.alphaOp, stage.alphaArg, D3DTA_TFACTOR)) return true;
    for (const TextureStage& stage : layer.stages) {
        if (stage.alphaOp != kTextureOpAutomatic) return stage.alphaOp != D3DTOP_DISABLE;
        if (stage.sampler.texture && stage.sampler.texture->HasAlpha()) return true;
    }
    return false;
}

bool Material::IsBlended() const { return layers[0].blendEnabled && layers[0].destBlend != D3DBLEND_ZERO; }

Effect* Material::FirstEffect() const {
    const i32 count = ClampedLayerCount(layerCount);
    for (i32 i = 0; i < count; ++i)
        if (layers[i].effect) return layers[i].effect;
    return nullptr;
}

bool Material::Equals(const Material& other) const {
    if (layerCount != other.layerCount) return false;
    const i32 count = ClampedLayerCount(layerCount);
    for (i32 i = 0; i < count; ++i)
        if (!layers[i].Equals(other.layers[i])) return false;
    return true;
}

// ---- Set-up of one layer on the device ----

namespace {

bool SetState(D3DRENDERSTATETYPE state, u32 value) { return StateCache::SetRenderState(state, value); }

bool SetStage(u32 stage, D3DTEXTURESTAGESTATETYPE type, u32 value) {
    return StateCache::SetTextureStageState(stage, type, value);
}

constexpr D3DTEXTURESTAGESTATETYPE kColorArgs[3] = {D3DTSS_COLORARG0, D3DTSS_COLORARG1, D3DTSS_COLORARG2};
constexpr D3DTEXTURESTAGESTATETYPE kAlphaArgs[3] = {D3DTSS_ALPHAARG0, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2};

// The top byte of the texture factor: opacity x 255, truncated, kept within a byte (an
// opacity above 1 or below 0 would otherwise spill into the colour or wrap round).
u32 OpacityByte(f32 opacity) {
    const f32 scaled = opacity * 255.0f;
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= 255.0f) return 255;
    return static_cast<u32>(scaled);
}

Matrix InverseOf(const Matrix& m) {
    D3DXMATRIX in;
    D3DXMATRIX out;
    std::memcpy(&in, m.m, sizeof m.m);
    Matrix result = IdentityMatrix;
    if (D3dx().MatrixInverse(&out, nullptr, &in)) std::memcpy(result.m, &out, sizeof result.m);
    result.kind = 0;
    result.valid = 1;
    return result;
}

}  // namespace

bool Material::ApplyRenderStates(i32 layerIndex) {
    if (!context || layerIndex < 0 || layerIndex > 2) return false;
    const MaterialLayer& layer = layers[layerIndex];
    bool ok = true;
    if (layer.noFogInLaterPass || layer.ownFogColor) {
        DWORD enable = 0;
        const bool known = StateCache::GetRenderState(D3DRS_FOGENABLE, &enable);
        DWORD color = 0;
        if (StateCache::GetRenderState(D3DRS_FOGCOLOR, &color)) savedFogColor = color;
        if (layerIndex > 0) {
            ok &= layer.ownFogColor ? SetState(D3DRS_FOGCOLOR, layer.fogColor) : SetState(D3DRS_FOGENABLE, 0);
            // Without a readable state, what the later pass changed was fog that was on.
            savedFogEnable = known ? enable : 1;
            fogRestore = 2;
        } else if (layer.ownFogColor) {
            ok &= SetState(D3DRS_FOGENABLE, 1);
            ok &= SetState(D3DRS_FOGCOLOR, layer.fogColor);
            savedFogEnable = known ? enable : 0;
            fogRestore = 1;
        }
    }
    ok &= SetState(D3DRS_CULLMODE, layer.cullMode);
    ok &= SetState(D3DRS_ZENABLE, layer.depthTest);
    ok &= SetState(D3DRS_DEPTHBIAS, layer.depthBias);
    ok &= SetState(D3DRS_SLOPESCALEDEPTHBIAS, layer.slopeScaleDepthBias);
    if (layer.depthTest) ok &= SetState(D3DRS_ZFUNC, layer.depthFunc);
    ok &= SetState(D3DRS_ZWRITEENABLE, layer.depthWrite);

    const bool transparent = IsTransparent(layerIndex);
    if (transparent && alphaTestAllowed) {
        ok &= SetState(D3DRS_ALPHAREF, layer.alphaRef);
        ok &= SetState(D3DRS_ALPHAFUNC, layer.alphaFunc);
        ok &= SetState(D3DRS_ALPHATESTENABLE, 1);
    } else {
        ok &= SetState(D3DRS_ALPHATESTENABLE, 0);
    }
    if (!transparent && !layer.blendEnabled) {
        ok &= SetState(D3DRS_ALPHABLENDENABLE, 0);
    } else {
        ok &= SetState(D3DRS_ALPHABLENDENABLE, 1);
        ok &= SetState(D3DRS_SRCBLEND, layer.blendEnabled ? layer.srcBlend : u32(D3DBLEND_SRCALPHA));
        ok &= SetState(D3DRS_DESTBLEND, layer.blendEnabled ? layer.destBlend : u32(D3DBLEND_INVSRCALPHA));
    }
    return ok;
}

void Material::RestoreFog() {
    // Both states go back as they were, whichever the layer changed.
    if (fogRestore != 0) {
        SetState(D3DRS_FOGCOLOR, savedFogColor);
        SetState(D3DRS_FOGENABLE, savedFogEnable ? 1 : 0);
    }
    fogRestore = 0;
}

bool Material::BindTextures(i32 layerIndex) {
    if (!context || layerIndex < 0 || layerIndex > 2) return false;
    bool ok = true;
    for (u32 s = 0; s < 8; ++s) {
        const TextureStage& stage = layers[layerIndex].stages[s];
        Texture* texture = stage.sampler.texture;
        if (!texture) continue;
        ok &= SetStage(s, D3DTSS_TEXCOORDINDEX, stage.texCoordIndex);
        ok &= StateCache::SetTexture(s, texture->GetBaseTexture());
        ok &= StateCache::SetSamplerState(s, D3DSAMP_ADDRESSU, stage.sampler.addressU);
        ok &= StateCache::SetSamplerState(s, D3DSAMP_ADDRESSV, stage.sampler.addressV);
        ok &= StateCache::SetSamplerState(s, D3DSAMP_MINFILTER, stage.sampler.minFilter);
        ok &= StateCache::SetSamplerState(s, D3DSAMP_MAGFILTER, stage.sampler.magFilter);
        ok &= StateCache::SetSamplerState(s, D3DSAMP_MIPFILTER, stage.sampler.mipFilter);
    }
    return ok;
}

bool Material::ApplyLighting(i32 layerIndex) {
    if (!context || layerIndex < 0 || layerIndex > 2) return false;
    const MaterialLayer& layer = layers[layerIndex];
    bool ok = true;
    if (context->world.valid) ok &= StateCache::SetWorldMatrix(context->world) == 0;
    if (context->view.valid) ok &= StateCache::SetViewMatrix(context->view) == 0;
    if (context->projection.valid) ok &= StateCache::SetProjectionMatrix(context->projection) == 0;
    if (!layer.lit) {
        ok &= SetState(D3DRS_LIGHTING, 0);
        ok &= SetState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
        return ok;
    }
    ok &= StateCache::SetMaterial(&layer.colors.value);
    ok &= SetState(D3DRS_LIGHTING, 1);
    ok &= SetState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    ok &= SetState(D3DRS_SPECULARENABLE, layer.specularEnabled);
    ok &= SetState(D3DRS_LOCALVIEWER, layer.localViewer);
    return ok;
}

bool Material::ApplyMaterial(i32 layerIndex) {
    if (!context || layerIndex < 0 || layerIndex > 2) return false;
    if (!BindTextures(layerIndex)) return false;
    const MaterialLayer& layer = layers[layerIndex];
    bool ok = true;

    // The texture factor carries the factor colour and the opacity to the stages that
    // read it; an automatic alpha operation may choose it (a layer that is not opaque).
    bool colorReadsFactor = false;
    bool alphaReadsFactor = false;
    for (const TextureStage& stage : layer.stages) {
        if (stage.colorOp == D3DTOP_DISABLE) break;
        const bool textured = stage.sampler.texture != nullptr;
        if (ArgsRead(stage.colorOp, stage.colorArg, D3DTA_TFACTOR) ||
            (stage.colorOp == kTextureOpAutomatic && textured))
            colorReadsFactor = true;
        // A blend by the factor's alpha reads it without naming it as an argument.
        if (ArgsRead(stage.alphaOp, stage.alphaArg, D3DTA_TFACTOR) ||
            (stage.alphaOp == kTextureOpAutomatic && (textured || layer.opacity != 1.0f)) ||
            stage.colorOp == D3DTOP_BLENDFACTORALPHA || stage.alphaOp == D3DTOP_BLENDFACTORALPHA)
            alphaReadsFactor = true;
    }
    if (colorReadsFactor || alphaReadsFactor) {
        DWORD factor = 0;
        StateCache::GetRenderState(D3DRS_TEXTUREFACTOR, &factor);
        if (colorReadsFactor) factor = (factor & 0xFF000000u) | (layer.factor.ToRgb24() & 0x00FFFFFFu);
        if (alphaReadsFactor) factor = (factor & 0x00FFFFFFu) | (OpacityByte(layer.opacity) << 24);
        ok &= SetState(D3DRS_TEXTUREFACTOR, factor);
    }

    bool factorUsed = false;
    for (u32 s = 0; s < 8; ++s) {
        const TextureStage& stage = layer.stages[s];
        if (stage.colorOp == D3DTOP_DISABLE) {
            ok &= SetStage(s, D3DTSS_COLOROP, D3DTOP_DISABLE);
            return ok;
        }
        Texture* texture = stage.sampler.texture;
        const bool automaticColor = stage.colorOp == kTextureOpAutomatic;
        const bool automaticAlpha = stage.alphaOp == kTextureOpAutomatic;

        // Texture coordinates: the texture's own placement (a part of an atlas), the
        // stage's transform over it, or the stage's transform of camera-space positions.
        if (texture && (automaticColor || automaticAlpha || ArgsRead(stage.colorOp, stage.colorArg, D3DTA_TEXTURE) ||
                        ArgsRead(stage.alphaOp, stage.alphaArg, D3DTA_TEXTURE))) {
            ok &= SetStage(s, D3DTSS_TEXCOORDINDEX, stage.texCoordIndex);
            Matrix m = texture->GetTexCoordMatrix();
            if (stage.transformEnabled) {
                if (stage.texCoordIndex & D3DTSS_TCI_CAMERASPACEPOSITION)
                    m = Matrix::Product(InverseOf(context->view), stage.transform);
                else
                    m = Matrix::Product(stage.transform, m);
            }
            if (m.kind == Identity) {
                ok &= SetStage(s, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
            } else {
                ok &= SetStage(s, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
                ok &= StateCache::SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + s),
                                               reinterpret_cast<const D3DMATRIX*>(m.m));
            }
        }

        if (!automaticColor) {
            ok &= SetStage(s, D3DTSS_COLOROP, stage.colorOp);
            for (u32 k = 0; k < 3; ++k)
                if (OpUsesArg(stage.colorOp, k)) ok &= SetStage(s, kColorArgs[k], stage.colorArg[k]);
        } else if (s > 0) {
            ok &= SetStage(s, D3DTSS_COLORARG1, D3DTA_CURRENT);
            ok &= SetStage(s, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
            ok &= SetStage(s, D3DTSS_COLORARG2, texture ? D3DTA_TEXTURE : D3DTA_DIFFUSE);
        } else if (texture) {
            ok &= SetStage(s, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            if (layer.lit || layer.vertexColor) {
                ok &= SetStage(s, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
                ok &= SetStage(s, D3DTSS_COLOROP, D3DTOP_MODULATE);
            } else {
                ok &= SetStage(s, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
            }
        } else {
            ok &= SetStage(s, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
            ok &= SetStage(s, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        }

        if (!automaticAlpha) {
            ok &= SetStage(s, D3DTSS_ALPHAOP, stage.alphaOp);
            for (u32 k = 0; k < 3; ++k) {
                if (!OpUsesArg(stage.alphaOp, k)) continue;
                ok &= SetStage(s, kAlphaArgs[k], stage.alphaArg[k]);
                if ((stage.alphaArg[k] & D3DTA_SELECTMASK) == D3DTA_TFACTOR) factorUsed = true;
            }
            continue;
        }
        const bool t = texture && texture->HasAlpha();
        const bool f = !factorUsed && layer.opacity != 1.0f;
        const bool d = layer.vertexAlpha != 0;
        const u32 sources = u32(t) + u32(f) + u32(d);
        if (sources == 0) {
            ok &= SetStage(s, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        } else if (sources == 3) {
            if (s == 0) {
                ok &= SetStage(s, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
                ok &= SetStage(s, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
                factorUsed = true;
            } else {
                ok &= SetStage(s, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
                ok &= SetStage(s, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
            }
            ok &= SetStage(s, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        } else if (s > 0) {
            // A later stage only brings its texture's alpha in; the rest came from stage 0.
            if (!t) {
                ok &= SetStage(s, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
            } else {
                ok &= SetStage(s, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
                ok &= SetStage(s, D3DTSS_ALPHAARG2, D3DTA_TEXTURE);
                ok &= SetStage(s, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
            }
        } else if (sources == 1) {
            ok &= SetStage(s, D3DTSS_ALPHAARG1, t ? D3DTA_TEXTURE : (d ? D3DTA_DIFFUSE : D3DTA_TFACTOR));
            if (f) factorUsed = true;
            ok &= SetStage(s, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        } else {
            ok &= SetStage(s, D3DTSS_ALPHAARG1, t ? D3DTA_TEXTURE : D3DTA_DIFFUSE);
            ok &= SetStage(s, D3DTSS_ALPHAARG2, f ? D3DTA_TFACTOR : D3DTA_DIFFUSE);
            if (f) factorUsed = true;
            ok &= SetStage(s, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        }
    }
    return ok;
}

// ---- Named values ----

bool Material::GetFloat(const String& name, f32& out) const { return values.children.GetFloat(name, &out); }

bool Material::GetMatrix(const String& name, Matrix& out) const { return values.children.GetMatrix(name, &out); }

void Material::SetFloat(const String& name, f32 value) { values.children.SetFloat(name, value); }

void Material::SetMatrix(const String& name, const Matrix& value) { values.children.SetMatrix(name, value); }
