// The standard parameter operations: each computes one value from the binding context and
// sends it with the D3DX call its type needs. Maps a layer lacks fall back to the
// program-wide fallback texture where a missing texture would leave the shader sampling
// whatever the last draw bound.
#include "Core/D3dxLibrary.h"
#include "Core/Geometry.h"
#include "D3d/Texture.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "Effect/StandardEffect.h"

#include <cstring>

namespace {

Texture* g_fallbackTexture = nullptr;

constexpr f32 kDefaultOffsetBias = 0.01f;
constexpr f32 kDefaultEtha = 0.5f;

D3DXMATRIX ToD3dx(const Matrix& m) {
    D3DXMATRIX out;
    std::memcpy(&out, m.m, sizeof m.m);
    return out;
}

void SendMatrix(StandardEffect& e, const Matrix& m) {
    const D3DXMATRIX d = ToD3dx(m);
    e.GetD3dxEffect()->SetMatrix(e.GetCurrentHandle(), &d);
}

void SendVector(StandardEffect& e, f32 x, f32 y, f32 z, f32 w) {
    const D3DXVECTOR4 v(x, y, z, w);
    e.GetD3dxEffect()->SetVector(e.GetCurrentHandle(), &v);
}

void SendFloat(StandardEffect& e, f32 value) { e.GetD3dxEffect()->SetFloat(e.GetCurrentHandle(), value); }

void SendTexture(StandardEffect& e, IDirect3DBaseTexture9* texture) {
    e.GetD3dxEffect()->SetTexture(e.GetCurrentHandle(), texture);
}

Texture* Map(StandardEffect& e, MaterialMapIndex index) {
    const MaterialLayer* layer = e.GetLayer();
    return layer ? layer->samplers[index].texture : nullptr;
}

IDirect3DBaseTexture9* BaseOf(Texture* texture) { return texture ? texture->GetBaseTexture() : nullptr; }

IDirect3DBaseTexture9* FallbackD3d() {
    Texture* fallback = FallbackTexture();
    return fallback ? fallback->GetD3DTexture() : nullptr;
}

bool CubeEnvironment(StandardEffect& e) {
    Texture* env = Map(e, kEnvMap);
    return env && env->IsCube();
}

// The eye in object space: through the inverse of the world matrix.
D3DXVECTOR3 ObjectEye(StandardEffect& e) {
    RenderContext& context = *e.GetContext();
    const D3DXMATRIX inverse = ToD3dx(context.GetInverseWorld());
    D3DXVECTOR3 eye(context.eye.x, context.eye.y, context.eye.z);
    D3dx().Vec3TransformCoord(&eye, &eye, &inverse);
    return eye;
}

f32 NamedFloat(StandardEffect& e, const char* name, f32 fallback) {
    f32 value = fallback;
    if (const Material* material = e.GetMaterial()) material->GetFloat(String(name), value);
    return value;
}

}  // namespace

Texture* FallbackTexture() { return g_fallbackTexture; }

void SetFallbackTexture(Texture* texture) { g_fallbackTexture = texture; }

namespace StandardParams {

void WorldViewProj(StandardEffect& e, u32) { SendMatrix(e, e.GetContext()->GetWorldViewProjection()); }

void WorldView(StandardEffect& e, u32) { SendMatrix(e, e.GetContext()->GetWorldView()); }

void CubeMapEnv(StandardEffect& e, u32) {
    e.GetD3dxEffect()->SetBool(e.GetCurrentHandle(), CubeEnvironment(e) ? TRUE : FALSE);
}

void ObjToCube(StandardEffect& e, u32) { SendMatrix(e, e.GetContext()->world); }

void EyePoint(StandardEffect& e, u32) {
    const D3DXVECTOR3 eye = ObjectEye(e);
    SendVector(e, eye.x, eye.y, eye.z, 1.0f);
}

void EyeCube(StandardEffect& e, u32) {
    // Without a cube map there is no cube space: the identity stands for it, so the value is
    // the object-space eye rather than whatever a stale matrix would make of it.
    D3DXMATRIX cube;
    D3DXMatrixIdentity(&cube);
    if (CubeEnvironment(e)) {
        Matrix named;
        if (e.GetMaterial()->GetMatrix(String("ObjToCube"), named)) cube = ToD3dx(named);
    }
    D3DXVECTOR3 eye = ObjectEye(e);
    D3dx().Vec3TransformCoord(&eye, &eye, &cube);
    SendVector(e, eye.x, eye.y, eye.z, 1.0f);
}

void DiffuseMap(StandardEffect& e, u32) {
    Texture* base = Map(e, kBaseMap);
    IDirect3DBaseTexture9* d3d = base ? base->GetD3DTexture() : nullptr;
    SendTexture(e, d3d ? d3d : FallbackD3d());
}

void NormalMap(StandardEffect& e, u32) {
    Texture* bump = Map(e, kBumpMap);
    SendTexture(e, bump ? bump->GetD3DTexture() : nullptr);
}

void EnvironmentMap(StandardEffect& e, u32) {
    IDirect3DBaseTexture9* env = BaseOf(Map(e, kEnvMap));
    SendTexture(e, env ? env : BaseOf(Map(e, kEnvMap2)));
}

void EnvGlossMap(StandardEffect& e, u32) {
    IDirect3DBaseTexture9* gloss = BaseOf(Map(e, kGlossMap));
    if (!gloss) gloss = BaseOf(Map(e, kGlossMap2));
    SendTexture(e, gloss ? gloss : FallbackD3d());
}

void SpecularMap(StandardEffect& e, u32) {
    IDirect3DBaseTexture9* specular = BaseOf(Map(e, kSpecularMap));
    SendTexture(e, specular ? specular : FallbackD3d());
}

void OffsetBias(StandardEffect& e, u32) { SendFloat(e, NamedFloat(e, "OffsetBias", kDefaultOffsetBias)); }

void FresnelR0(StandardEffect& e, u32) {
    const MaterialLayer* layer = e.GetLayer();
    f32 n = layer->samplers[kEnvMap].texture ? 10.0f * layer->samplers[kEnvMap].scale
                                             : 11.0f - 10.0f * layer->samplers[kEnvMap2].scale;
    n = NamedFloat(e, "RefractionI", n);
    SendFloat(e, FresnelR0FromIndex(n));
}

void Etha(StandardEffect& e, u32) { SendFloat(e, NamedFloat(e, "Etha", kDefaultEtha)); }

void SpecPower(StandardEffect& e, u32) { SendFloat(e, e.GetLayer()->colors.value.Power); }

void TexFactor(StandardEffect& e, u32) {
    const MaterialLayer* layer = e.GetLayer();
    SendVector(e, layer->factor.r, layer->factor.g, layer->factor.b, layer->opacity);
}

void ViewDir(StandardEffect& e, u32) {
    const Matrix& view = e.GetContext()->view;
    SendVector(e, *view.At(0, 2), *view.At(1, 2), *view.At(2, 2), 0.0f);
}

void AlphaRef(StandardEffect& e, u32) {
    SendFloat(e, static_cast<f32>(e.GetLayer()->alphaRef) * FColor::kByteScale);
}

}  // namespace StandardParams
