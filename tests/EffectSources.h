// Effect sources the effect tests, benchmarks and fuzz seeds share: one that uses every
// construct the platform reads, and small ones for single behaviours.
#pragma once

namespace effectsources {

// Parameters of every type, annotations, initialisers, samplers, a struct and functions
// (skipped), and three techniques: "Lit" (vs_2_0 + PS_MODEL, then vs_1_1 with no pixel
// shader), "Modern" (vs_3_0 + ps_3_0) and "Old" (vs_1_1 + ps_1_4).
inline constexpr char kCorpus[] = R"FX(
// Every construct the platform reads.
#define LIGHTS 3
#define EMPTY
#ifndef PS_MODEL
#define PS_MODEL ps_2_0
#endif

shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;
shared uniform float4 EyePoint = {0, 1, 2, 1};
shared float Ticks < string UIName = "Time"; float UIMax = 1.0e3; > = 0.5;
shared bool FogEnable = true;
static const float Hidden = 2;
const int Count = LIGHTS;
float3 Tint = float3(0.25, 0.5, 1.0 / 4);
float2 Offsets[2] = { {1, 2}, {3, 4} };
matrix Bones[3];
float1 One = 7;
float1x1 OneByOne = 8;
half Half = -1.5;
string Label = "a // not a comment";
texture DiffuseMap < string ResourceName = "stone.bmp"; >;
texture2D NormalMap;
textureCUBE EnvironmentMap;
sampler2D DiffuseSampler = sampler_state {
    Texture = <DiffuseMap>;
    MinFilter = Linear; MagFilter = LINEAR;
    AddressU = Wrap;
};
samplerCUBE EnvSampler = sampler_state { Texture = (EnvironmentMap); };

struct VS_OUT {
    float4 pos : POSITION;
    float2 uv : TEXCOORD0;
};

/* a block comment
   across lines with { braces } */
VS_OUT MainVS(float4 pos : POSITION, uniform int lights)
{
    VS_OUT o;
    o.pos = mul(pos, WorldViewProj);
    o.uv = float2(0, 0);
    if (lights > 0) { o.uv.x = 1; }
    return o;
}

float4 MainPS(VS_OUT i) : COLOR0
{
    return tex2D(DiffuseSampler, i.uv) * Ticks;
}

float4 SimplePS() : COLOR { return 1; }

technique Lit < int DIR = LIGHTS; int POINT = 0; string Label = "lit"; >
{
    pass P0 < int Order = 1; >
    {
        VertexShader = compile vs_2_0 MainVS(LIGHTS);
        PixelShader = compile PS_MODEL MainPS();
        ZEnable = true;
    }
    pass
    {
        VertexShader = compile vs_1_1 MainVS(0);
        PixelShader = NULL;
    }
}

technique Modern
{
    pass { VertexShader = compile vs_3_0 MainVS(1); PixelShader = compile ps_3_0 SimplePS(); }
}

technique Old
{
    pass { VertexShader = compile vs_1_1 MainVS(1); PixelShader = compile ps_1_4 SimplePS(); }
}
)FX";

// Two shared parameters and one of its own, one technique of one pass.
inline constexpr char kShared[] = R"FX(
shared float4x4 World;
shared float Scale = 2;
float Own = 1;
texture Tex;
float4 VS() : POSITION { return 0; }
technique T { pass P { VertexShader = compile vs_2_0 VS(); } }
)FX";

}  // namespace effectsources
