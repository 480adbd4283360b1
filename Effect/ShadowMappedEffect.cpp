// The shadow effects' creation, technique choice and shadow parameters. Both load their
// source twice, the second time with ZTEXTURE, into one technique index; the shadow-mapped
// effect registers under "ShadowMapped" and "Bump", the shadow-map effect under
// "ShadowMap".
#include "Effect/ShadowMappedEffect.h"

#include "Core/D3dxLibrary.h"
#include "D3d/Texture.h"
#include "Effect/Light.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "Effect/SceneCamera.h"
#include "Effect/ShadowMapRenderer.h"

#include <cstring>
#include <initializer_list>

namespace {

// Loads the colour-map variant and the depth-texture variant; true when both loaded.
bool LoadBothMaps(StandardEffect& effect, EffectCodeArray& codes, SHADERDESC desc, Array<LightGroup>& groups,
                  i32 psVersion) {
    bool ok = effect.LoadEffectGroup(codes, desc, 0, groups, psVersion);
    desc.macros.Add(ShaderMacro{String("ZTEXTURE"), String()});
    ok = effect.LoadEffectGroup(codes, desc, 0, groups, psVersion) && ok;
    return ok;
}

D3DXMATRIX ToD3dx(const Matrix& m) {
    D3DXMATRIX out;
    std::memcpy(&out, m.m, sizeof m.m);
    return out;
}

Matrix FromD3dx(const D3DXMATRIX& d) {
    Matrix out;
    std::memcpy(out.m, &d, sizeof out.m);
    out.kind = 0;
    out.valid = 1;
    return out;
}

// The shadow technique for the first light: its camera kind, its cone, the mask and the
// kind of map.
String ShadowTechnique(const Light& light, u8 mask, u8 zTexture) {
    String name(zTexture ? "ZTexShadow" : "Shadow");
    if (!light.IsShadowPerspective())
        name.Append(String("Dir"));
    else if (light.GetPhi() < 0.0f)
        name.Append(String("SpotNoCone"));
    else
        name.Append(String("Spot"));
    if (mask) name.Append(String("Mask"));
    return name;
}

void AddPosition(VertexDeclaration& declaration) {
    declaration.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
}

}  // namespace

Matrix ShadowTextureMatrix(u32 size) {
    Matrix t = IdentityMatrix;
    const f32 offset = 0.5f + 0.5f / static_cast<f32>(size ? size : 1);
    *t.At(0, 0) = 0.5f;
    *t.At(1, 1) = -0.5f;
    *t.At(3, 0) = offset;
    *t.At(3, 1) = offset;
    t.kind = 0;
    t.valid = 1;
    return t;
}

// The shadow-mapped effect.

u32 ShadowMappedEffectTypeId() { return TypeIdOf<ShadowMappedEffect>(); }

bool ShadowMappedEffect::QueryType(u32 typeId, void** out) {
    if (typeId == ShadowMappedEffectTypeId()) {
        *out = this;
        return true;
    }
    return StandardEffect::QueryType(typeId, out);
}

ShadowMappedEffect::ShadowMappedEffect() {
    lightLimit = 1;
    AddPosition(declaration);
    declaration.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
    declaration.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
    declaration.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0);
    declaration.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BINORMAL, 0);
    for (const char* name : {"WorldViewProj", "WorldView", "EyePoint", "ViewDir", "DiffuseMap", "NormalMap",
                             "SpecularMap", "SpecPower", "TexFactor"})
        BindParameter(String(name));
}

bool ShadowMappedEffect::Create() {
    if (!Effect::Create() || !pool.Create()) return false;
    // Always compiled: the cached form would not follow a change of the map's kind.
    const SHADERDESC desc = SourceDescription("CausBump_T.fx", 1);
    Array<LightGroup> groups(0, 10);  // no light groups at all: one variant per load
    const bool ok = LoadBothMaps(*this, codes, desc, groups, 20);
    if (techniqueIndex.count == 0) return false;
    // Its techniques draw one spot light each: the light kind its variants number.
    bool known = false;
    for (const String& kind : kindOrder) known = known || kind == "SPOT";
    if (!known) kindOrder.Add(String("SPOT"));
    AddName(String("ShadowMapped"), 100);
    AddName(String("Bump"), 100);
    return ok;
}

bool ShadowMappedEffect::SelectTechnique(Material* material, i32 layer, i32& passes) {
    String name;
    const auto* tec = material ? material->values.children.Find(String("Tec")) : nullptr;
    if (tec) {
        String text;
        if (tec->value && tec->value->GetString(&text)) name = text;
        if (zTexture) name = String("ZTexSimple");
    } else if (material && material->context && material->context->lighting) {
        const LightingInfo& lighting = *material->context->lighting.Get();
        const Light* first = lighting.LightCount() > 0 ? lighting.LightAt(0) : nullptr;
        if (first) name = ShadowTechnique(*first, mask, zTexture);
    }
    SetDefaultTechnique(name);
    lightLimit = 1;
    passes = 0;
    return SetupLightTechnique(material, layer, lightLimit, lightPlan, passes);
}

void ShadowMappedEffect::SetShadowParams(SceneCamera& eyeCamera, ShadowMapRenderer& renderer, u8 maskOn,
                                         FColor shadowMask) {
    mask = maskOn;
    zTexture = renderer.UsesDepthTexture() ? 1 : 0;
    // A lost device leaves no D3DX effect to set anything on; the next frame sets it all.
    ID3DXEffect* effect = FirstVariantEffect();
    if (!effect) return;

    const D3DXVECTOR4 maskColor(shadowMask.r, shadowMask.g, shadowMask.b, shadowMask.a);
    effect->SetVector("ShadowMask", &maskColor);
    Texture* map = zTexture ? renderer.GetDepthTexture() : renderer.GetColorTexture();
    if (!zTexture) effect->SetFloat("OffsetBias", renderer.GetDepthBias());
    effect->SetTexture("ShadowMap", map ? map->GetBaseTexture() : nullptr);

    const u32 size = renderer.GetSize();
    effect->SetFloat("ShadowMapSize", static_cast<f32>(size));
    effect->SetFloat("InvShadowMapSize", size ? 1.0f / static_cast<f32>(size) : 0.0f);

    const D3DXMATRIX view = ToD3dx(eyeCamera.GetView());
    D3DXMATRIX inverse;
    if (!D3dx().MatrixInverse(&inverse, nullptr, &view)) D3DXMatrixIdentity(&inverse);
    const Matrix lightViewProjection = renderer.GetCamera().GetViewProjection();
    const Matrix viewToLight = Matrix::Product(FromD3dx(inverse), lightViewProjection);
    const D3DXMATRIX viewToTexture = ToD3dx(Matrix::Product(viewToLight, ShadowTextureMatrix(size)));
    effect->SetMatrix("View2LightTex", &viewToTexture);
}

// The shadow-map effect.

ShadowMapEffect::ShadowMapEffect() {
    lightLimit = 0;
    AddPosition(declaration);
    declaration.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
    for (const char* name : {"WorldViewProj", "WorldView", "DiffuseMap", "AlphaRef"}) BindParameter(String(name));
    SetShadowMapEffect(this);
}

ShadowMapEffect::~ShadowMapEffect() {
    // A failed creation deletes the effect: the renderer must not reach it afterwards.
    if (TheShadowMapEffect() == this) SetShadowMapEffect(nullptr);
}

bool ShadowMapEffect::Create() {
    if (!Effect::Create() || !pool.Create()) return false;
    const SHADERDESC desc = SourceDescription("ShadowMap.fx", 1);
    Array<LightGroup> groups(0, 10);
    groups.Add(LightGroup());
    // Either variant alone still draws the maps of its kind.
    LoadBothMaps(*this, codes, desc, groups, 11);
    if (techniqueIndex.count == 0) return false;
    AddName(String("ShadowMap"), 100);
    return true;
}

bool ShadowMapEffect::SelectTechnique(Material* material, i32 layer, i32& passes) {
    const bool alpha = material && material->IsTransparent(-1);
    if (alpha)
        SetDefaultTechnique(String(zTexture ? "ZTexShadowMapAlpha" : "ShadowMapAlpha"));
    else
        SetDefaultTechnique(String(zTexture ? "ZTexShadowMap" : "ShadowMap"));
    lightLimit = 0;
    passes = 0;
    return SetupLightTechnique(material, layer, lightLimit, lightPlan, passes);
}

void ShadowMapEffect::SetUseDepthTexture(u8 use, u32) { zTexture = use ? 1 : 0; }
