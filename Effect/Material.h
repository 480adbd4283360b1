// How one mesh surface is drawn: up to three layers, each drawn either by an effect or by
// the fixed-function texture stages, with its own depth, cull, fog, alpha-test, blend and
// lighting states. The model loader fills the layers and then calls BuildPasses, which
// folds layers without an effect into as few passes as possible (each becoming a texture
// stage of its pass) and sets the frame-buffer blend of every further pass to imitate the
// layer's combine kind. A mesh draw runs, per layer: ApplyRenderStates, BindTextures,
// ApplyLighting, ApplyMaterial, the draw, RestoreFog. Every device state goes through the
// state cache.
//
// A material may carry keyed variants (materials chosen by a float key such as the mesh's
// projected size); the variants are owned by the material and copied with it.
#pragma once

#include <d3d9.h>

#include "Core/AnimatedValue.h"
#include "Core/FColor.h"
#include "Core/HandleParam.h"
#include "Core/Matrix.h"
#include "Core/OrderedMap.h"
#include "Core/String.h"
#include "Core/Types.h"

class Effect;
class Texture;
struct RenderContext;

// The sampler of one texture: address modes, filters, the texture (not counted: the
// loader keeps the textures alive) and a scale that the effects read as they choose.
struct SamplerDesc {
    u32 addressU = D3DTADDRESS_WRAP;
    u32 addressV = D3DTADDRESS_WRAP;
    u32 minFilter = D3DTEXF_LINEAR;
    u32 magFilter = D3DTEXF_LINEAR;
    u32 mipFilter = D3DTEXF_LINEAR;
    Texture* texture = nullptr;
    f32 scale = 1.0f;

    // Same pixel owner (or both null) and the same address and filter words; the scale
    // is not compared.
    bool Equals(const SamplerDesc& other) const;
};

// Operation value that lets ApplyMaterial choose the stage's operation from what it has.
constexpr u32 kTextureOpAutomatic = 100;

// Whether a texture operation reads argument index (0 ARG0, 1 ARG1, 2 ARG2).
bool OpUsesArg(u32 op, u32 index);

// The combine kinds of TextureStage::SetCombine: where a stage's alpha comes from.
enum CombineKind : i32 {
    kCombineOff = 0,             // alpha operation disabled
    kCombineFactor = 1,          // the texture factor
    kCombineTexture = 2,         // the texture as it is
    kCombineTextureFactor = 3,   // the texture times the texture factor
    kCombineDiffuse = 4,         // the diffuse colour
    kCombineDiffuseFactor = 5,   // the diffuse colour times the texture factor
    kCombineTextureDiffuse = 6,  // the texture times the diffuse colour
};

// One fixed-function texture stage.
struct TextureStage {
    u32 reserved = 0;
    u32 colorOp = D3DTOP_DISABLE;
    u32 alphaOp = D3DTOP_DISABLE;
    u32 colorArg[3] = {D3DTA_DIFFUSE, D3DTA_TEXTURE, D3DTA_DIFFUSE};
    u32 alphaArg[3] = {D3DTA_DIFFUSE, D3DTA_TEXTURE, D3DTA_DIFFUSE};
    u32 texCoordIndex = 0;  // the stage number unless set, with TCI flags
    Matrix transform;       // identity
    u32 transformEnabled = 0;
    SamplerDesc sampler;

    TextureStage();
    // Sets the alpha operation and arguments by a combine kind 0 to 6 (CombineKind); other
    // kinds change nothing.
    void SetCombine(i32 kind);
};

// A D3DMATERIAL9 in its published order. The setters take (a, r, g, b).
struct MaterialColors {
    D3DMATERIAL9 value;

    MaterialColors() { Reset(); }
    // Diffuse, ambient and specular 1.0, emissive 0, power 16.
    void Reset();
    void SetDiffuse(f32 a, f32 r, f32 g, f32 b);
    void SetAmbient(f32 a, f32 r, f32 g, f32 b);
    void SetSpecular(f32 a, f32 r, f32 g, f32 b);
    void SetEmissive(f32 a, f32 r, f32 g, f32 b);
    void SetPower(f32 power) { value.Power = power; }
    bool Equals(const MaterialColors& other) const;
};

// The maps of a layer, by their index in MaterialLayer::samplers.
enum MaterialMapIndex : u32 {
    kBaseMap = 0,
    kBumpMap = 1,
    kEnvMap = 2,
    kGlossMap = 3,
    kEnvMap2 = 4,
    kGlossMap2 = 5,
    kSpecularMap = 6,
    kMaterialMapCount = 7,
};

// The blend kinds of MaterialLayer::SetBlendMode, as source and destination factors. A
// layer's blend-kind name gives a texture operation that also serves as its pass's blend
// kind, so the kinds that a name can give share the operation's value.
enum BlendKind : i32 {
    kBlendOff = 1,         // no blending (the factors made ready: source alpha, its inverse)
    kBlendModulate = 4,    // destination colour, zero
    kBlendModulate2X = 5,  // destination colour, source colour
    kBlendAdditive = 7,    // source alpha, one
    kBlendOwnFactors = 8,  // blending on with the layer's own factors
    kBlendUnnamed = 100,   // a blend-kind name that names no kind: as kBlendModulate2X
};

struct MaterialLayer {
    Effect* effect = nullptr;  // null: the fixed-function path
    i32 effectQuality = -1;    // -1: the program-wide default
    String techniqueName;      // empty: the effect's default technique
    TextureStage stages[8];
    u8 depthTest = 1;
    u32 depthFunc = D3DCMP_LESSEQUAL;
    u8 depthWrite = 1;
    u32 depthBias = 0;            // float bits
    u32 slopeScaleDepthBias = 0;  // float bits
    u8 noFogInLaterPass = 0;
    u8 ownFogColor = 0;
    u32 fogColor = 0;
    u8 blendEnabled = 0;
    u32 srcBlend = D3DBLEND_SRCALPHA;
    u32 destBlend = D3DBLEND_INVSRCALPHA;
    String blendKindName;  // what BuildPasses reads the layer's combine kind from
    MaterialColors colors;
    u32 cullMode = D3DCULL_CCW;
    f32 opacity = 1.0f;
    FColor factor;  // (1, 1, 1, 1)
    u8 specularEnabled = 0;
    u8 localViewer = 0;
    u32 alphaRef = 1;
    u32 alphaFunc = D3DCMP_GREATEREQUAL;
    u8 vertexColor = 0;
    u8 vertexAlpha = 0;
    u8 lit = 0;
    SamplerDesc samplers[kMaterialMapCount];

    MaterialLayer();
    MaterialLayer(const MaterialLayer& other) = default;
    MaterialLayer& operator=(const MaterialLayer& other) = default;
    MaterialLayer& Assign(const MaterialLayer& other) { return *this = other; }

    // Blending on unless kind is kBlendOff, then the factors of the kind (BlendKind); other
    // kinds keep the factors.
    void SetBlendMode(i32 kind);
    bool Equals(const MaterialLayer& other) const;
    Texture* BaseTexture() const { return samplers[kBaseMap].texture; }
};

class Material;

// The keyed variants of a material, owned: a float key to a material.
class KeyedMaterials {
public:
    KeyedMaterials() = default;
    KeyedMaterials(const KeyedMaterials& other) { Assign(other); }
    KeyedMaterials& operator=(const KeyedMaterials& other) {
        Assign(other);
        return *this;
    }
    ~KeyedMaterials() { Clear(); }

    // Files a copy of material under key (an equal key replaces the material).
    void Set(f32 key, const Material& material);
    void Clear();
    // Copies every key of other, in other's list order.
    void Assign(const KeyedMaterials& other);
    i32 Count() const { return static_cast<i32>(map.count); }
    // At least one key and the material switch of the effect manager's settings on.
    bool IsActive() const;
    // The material at the least key >= value, else at the greatest key; owner without
    // keys. While the material switch is off the value is the settings' material key.
    Material* Evaluate(Material* owner, f32 value) const;

    FloatMapOf<Material*> map;
    u32 modeWords[2] = {0, 0};
};

class Material {
public:
    Material();
    Material(const Material& other);
    Material& operator=(const Material& other) { return Assign(other); }
    ~Material();
    // Copies the keyed materials, the layers, the mode words and the named values; the
    // context pointer and fog bookkeeping stay this material's own.
    Material& Assign(const Material& other);

    void BuildPasses();
    void AssignBumpEffects();

    bool IsTransparent(i32 layer) const;
    bool IsBlended() const;
    bool NeedsSorting() const { return IsTransparent(0) || IsBlended(); }
    Effect* FirstEffect() const;
    bool Equals(const Material& other) const;

    // The per-layer set-up of a fixed-function or effect draw; false while no context is
    // set.
    bool ApplyRenderStates(i32 layer);
    bool BindTextures(i32 layer);
    bool ApplyLighting(i32 layer);
    bool ApplyMaterial(i32 layer);
    void RestoreFog();

    // Typed named values ("OffsetBias", "Etha", "RefractionI", "ObjToCube"): true and out
    // filled when the name holds a value of that type, else out keeps what it held.
    bool GetFloat(const String& name, f32& out) const;
    bool GetMatrix(const String& name, Matrix& out) const;
    void SetFloat(const String& name, f32 value);
    void SetMatrix(const String& name, const Matrix& value);

    u32 reserved0 = 0;
    KeyedMaterials keyed;
    RenderContext* context = nullptr;
    i32 layerCount = 1;
    MaterialLayer layers[3];
    u32 reserved1 = 0;
    u8 alphaTestAllowed = 1;
    HandleParam values;
    u32 savedFogColor = 0;
    u32 fogRestore = 0;  // 0 nothing, 1 fog was switched on, 2 a later pass changed the fog
    // FOGENABLE as it was before ApplyRenderStates changed the fog: RestoreFog puts it
    // back, so a layer with its own fog colour never leaves fog off (or on) for the draws
    // that follow.
    u32 savedFogEnable = 0;
};

// Materials by name (case-sensitive); each node holds its own copy.
class MaterialMap {
public:
    MaterialMap() = default;
    MaterialMap(const MaterialMap&) = delete;
    MaterialMap& operator=(const MaterialMap&) = delete;
    ~MaterialMap() { Clear(); }

    // Stores a copy unless the name is taken; true when stored.
    bool Add(const String& name, const Material& material);
    // Stores a copy, replacing what the name held.
    void Put(const String& name, const Material& material);
    // The stored material or null.
    Material* Find(const String& name) const;
    // Copies the stored material into out; false when the name is absent.
    bool Get(const String& name, Material& out) const;
    void Clear();
    i32 Count() const { return static_cast<i32>(map.count); }

private:
    StringMapOf<Material*> map;
};
