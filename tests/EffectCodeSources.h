// Effect sources for tests, in the HLSL of D3DX effects: real shaders, so that a real
// compiler accepts them too, with the declarations the engine reads (shared parameters,
// techniques with integer light labels, profiles that decide which techniques are valid).
#pragma once

namespace effectsupport {

// Three techniques: one without labels, one with two directional lights over two passes (and
// annotations that are not integers or are zero, which the index ignores), and one that
// needs shader model 3. EXTRA, when defined, adds a spot technique labelled with its value.
inline const char* const kLabelledEffect = R"(
shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;
shared float4 TexFactor = {1, 1, 1, 1};
texture DiffuseMap;
sampler DiffuseSampler = sampler_state
{
    Texture = <DiffuseMap>;
    MinFilter = Linear;
    MagFilter = Linear;
};

struct VsOut
{
    float4 pos : POSITION;
    float2 uv : TEXCOORD0;
};

VsOut Vs(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
    VsOut o;
    o.pos = mul(pos, WorldViewProj);
    o.uv = uv;
    return o;
}

float4 Ps(float2 uv : TEXCOORD0) : COLOR
{
    return tex2D(DiffuseSampler, uv) * TexFactor;
}

float4 PsFlat(float2 uv : TEXCOORD0) : COLOR
{
    return TexFactor;
}

technique Simple
{
    pass P0
    {
        VertexShader = compile vs_2_0 Vs();
        PixelShader = compile ps_2_0 Ps();
    }
}

technique Lit < int DIR = 2; int POINT = 0; string Label = "lit"; float Scale = 2.0; >
{
    pass P0
    {
        VertexShader = compile vs_2_0 Vs();
        PixelShader = compile ps_2_0 Ps();
    }
    pass P1
    {
        VertexShader = compile vs_2_0 Vs();
        PixelShader = compile ps_2_0 PsFlat();
    }
}

technique Future < int DIR = 1; >
{
    pass P0
    {
        VertexShader = compile vs_3_0 Vs();
        PixelShader = compile ps_3_0 PsFlat();
    }
}

#ifdef EXTRA
technique Extra < int SPOT = EXTRA; >
{
    pass P0
    {
        VertexShader = compile vs_2_0 Vs();
        PixelShader = compile ps_2_0 PsFlat();
    }
}
#endif
)";

// Not an effect: the compiler must refuse it with a message.
inline const char* const kBrokenEffect = "technique Broken { pass P0 { VertexShader = compile vs_2_0 ; } ";

}  // namespace effectsupport
