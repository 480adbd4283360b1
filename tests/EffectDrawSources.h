// Effect drawing fixtures for tests and benchmarks: a source whose variants are numbered by
// light kinds (the way the product's sources are), its light groups and description, and
// lights and lighting built in a line.
#pragma once

#include "Effect/EffectCode.h"
#include "Effect/Light.h"
#include "Effect/LightGroup.h"
#include "Effect/LightingInfo.h"

#include <filesystem>
#include <initializer_list>

namespace effectdraw {

namespace fs = std::filesystem;

// Directional and point lights, one variant per combination. "Lit" takes a second pass when
// its variant holds a point light; "Other" has one pass; "Marked" counts its directional
// lights under the label DIRS (a plan's suffix "S"). Every parameter the engine sets is
// shared and unconditional, so the pool carries it to every variant.
inline const char* const kLitSource = R"(
shared float4x4 WorldViewProj;
shared float4x4 WorldView;
shared float4 EyePoint;
shared float4 EyeCube;
shared float4 ViewDir;
shared float4 TexFactor;
shared float SpecPower;
shared float AlphaRef;
shared float OffsetBias;
shared float FresnelR0;
shared float Etha;
shared bool CubeMapEnv;
shared float4x4 ObjToCube;
shared texture DiffuseMap;
shared texture NormalMap;
shared texture EnvironmentMap;
shared texture EnvGlossMap;
shared texture SpecularMap;
shared bool FogEnable;
shared bool RangeFogEnable;
shared float FogEnd;
shared float FogDelta;
shared float4 Ambient;
shared float4 Dir1Dir;
shared float4 Dir1Diff;
shared float4 Dir1Spec;
shared float4 Dir2Dir;
shared float4 Dir2Diff;
shared float4 Point1Pos;
shared float4 Point1Att;
shared float4 Point1Diff;
shared float4 Point2Pos;
shared float4 Point2Att;
shared float4 Point2Diff;
shared float4 Point2Spec;
shared float4 Spot1Pos;
shared float4 Spot1Dir;
shared float4 Spot1Att;
shared float4 Spot1Diff;
shared float Spot1Falloff;
shared float Spot1Theta;
shared float Spot1Phi;

float4 Vs(float4 pos : POSITION) : POSITION { return mul(pos, WorldViewProj); }
float4 Ps() : COLOR { return TexFactor * Ambient; }

technique Lit < int DIR = NUMDIR; int POINT = NUMPOINT; int SPOT = NUMSPOT; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 Vs();
        PixelShader = compile PS_MODEL Ps();
    }
#if NUMPOINT > 0
    pass P1
    {
        VertexShader = compile vs_1_1 Vs();
        PixelShader = compile PS_MODEL Ps();
    }
#endif
}

technique Other < int DIR = NUMDIR; int POINT = NUMPOINT; int SPOT = NUMSPOT; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 Vs();
        PixelShader = compile PS_MODEL Ps();
    }
}

technique Marked < int DIRS = NUMDIR; int POINT = NUMPOINT; int SPOT = NUMSPOT; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 Vs();
        PixelShader = compile PS_MODEL Ps();
    }
}
)";

// Light kinds of the variants: directional and point lights up to `maxTotal` together,
// spot lights never (the spot count is a caller's definition, 0).
inline Array<LightGroup> LitGroups(i32 maxTotal) {
    LightGroup group;
    LightKind dir;
    dir.name = String("DIR");
    dir.maxCount = 2;
    LightKind point;
    point.name = String("POINT");
    point.maxCount = 2;
    group.AddKind(dir);
    group.AddKind(point);
    group.maxTotal = maxTotal;
    Array<LightGroup> groups(0, 10);
    groups.Add(group);
    return groups;
}

inline SHADERDESC LitDesc(const fs::path& source, Pool* pool) {
    SHADERDESC desc;
    desc.path = patht(source.string().c_str());
    desc.macros.Add(ShaderMacro{String("NUMSPOT"), String("0")});
    desc.pool = pool;
    return desc;
}

// A light with a diffuse colour of its own, so that limiting never regroups the list.
inline RefHandle<Light> Dir(f32 grey, f32 x = 0.0f, f32 y = -1.0f, f32 z = 0.0f) {
    auto* light = new DirLight;
    FColor c;
    c.Set(1.0f, grey, grey, grey);
    light->SetDiffuse(c);
    light->SetSpecular(c);
    light->SetDirection(x, y, z);
    return RefHandle<Light>(light);
}

inline RefHandle<Light> Point(f32 x, f32 y, f32 z) {
    auto* light = new PointLight;
    light->SetPosition(x, y, z);
    light->SetRange(1000.0f);
    light->SetAttenuation(1.0f, 0.5f, 0.25f);
    FColor c;
    c.Set(1.0f, 0.5f, 0.25f, 0.125f);
    light->SetDiffuse(c);
    light->SetSpecular(c);
    return RefHandle<Light>(light);
}

inline RefHandle<Light> Spot(f32 theta, f32 phi) {
    auto* light = new SpotLight;
    light->SetPosition(0.0f, 10.0f, 0.0f);
    light->SetDirection(0.0f, -1.0f, 0.0f);
    light->SetRange(100.0f);
    light->SetTheta(theta);
    light->SetPhi(phi);
    return RefHandle<Light>(light);
}

// Lighting information for an object: the lights in order and a signature of their own.
inline RefHandle<LightingInfo> Lighting(std::initializer_list<RefHandle<Light>> lights, FColor ambient = FColor()) {
    RefHandle<LightingInfo> info(new LightingInfo);
    info->ambient = ambient;
    for (const RefHandle<Light>& light : lights) info->AddLight(light);
    info->UpdateKey();
    return info;
}

}  // namespace effectdraw
