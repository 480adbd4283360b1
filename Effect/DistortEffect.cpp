// The distortion effect's creation and its two parameters of its own. Creation logs each
// failure on the errors channel under the effect's own name, so a missing or unusable
// source shows in the log even though the manager drops the effect quietly.
#include "Effect/DistortEffect.h"

#include "Core/Log.h"
#include "Effect/EffectManager.h"
#include "Effect/RenderContext.h"

namespace {

const char kSource[] = ".\\Effect\\Distort";
const char kCreateSignature[] = "bool __thiscall DistortEffect::Create(void)";

// "EyePoint": the eye handed over by the scene, w = 1.
void SendEye(StandardEffect& e, u32) {
    const Vec3& eye = static_cast<DistortEffect&>(e).GetEye();
    const D3DXVECTOR4 v(eye.x, eye.y, eye.z, 1.0f);
    e.GetD3dxEffect()->SetVector(e.GetCurrentHandle(), &v);
}

// "Ticks": the draw's time in seconds, which scrolls the displacement.
void SendTicks(StandardEffect& e, u32) { e.GetD3dxEffect()->SetFloat(e.GetCurrentHandle(), e.GetContext()->GetTicks()); }

void LogFailure(i32 line, const char* text) { LogErrors().Write(LogSite(kSource, kCreateSignature, line)).Print(text); }

}  // namespace

u32 DistortEffectTypeId() { return TypeIdOf<DistortEffect>(); }

DistortEffect::DistortEffect() {
    // Its one technique carries no light labels: any light would leave it unmatched.
    lightLimit = 0;
    declaration.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    declaration.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
    declaration.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
    BindParameter(String("WorldViewProj"));
    BindParameter(String("WorldView"));
    BindParameter(String("DiffuseMap"));
    BindParameter(String("EnvironmentMap"));
    BindParameter(String("EyePoint"), &SendEye);
    BindParameter(String("TexFactor"));
    BindParameter(String("ObjToCube"));
    BindParameter(String("Ticks"), &SendTicks);
}

bool DistortEffect::QueryType(u32 typeId, void** out) {
    if (typeId == DistortEffectTypeId()) {
        *out = this;
        return true;
    }
    return StandardEffect::QueryType(typeId, out);
}

bool DistortEffect::Create() {
    if (!Effect::Create()) {
        LogFailure(__LINE__, "Effect::Create failed");
        return false;
    }
    if (!pool.Create()) {
        LogFailure(__LINE__, "Pool::Create failed");
        return false;
    }
    const SHADERDESC desc = SourceDescription("Distort.fx", TheEffectManager().settings.forceCompile);
    Array<LightGroup> groups(0, 10);
    groups.Add(LightGroup());
    if (!LoadEffectGroup(codes, desc, 0, groups, 20)) {
        LogFailure(__LINE__, "LoadEffectGroup failed");
        return false;
    }
    if (techniqueIndex.count == 0) {
        LogFailure(__LINE__, "No techniques supported");
        return false;
    }
    AddName(String("Distort"), 100);
    return true;
}

bool DistortEffect::SelectTechnique(Material* material, i32 layer, i32& passes) {
    SetDefaultTechnique(String("Simple"));
    return SetupLightTechnique(material, layer, lightLimit, lightPlan, passes);
}

void DistortEffect::SetVector(const f32* xyz) {
    if (!xyz) return;
    eye = Vec3(xyz[0], xyz[1], xyz[2]);
}
