// Shadow casters drawn from the light. With a colour shadow map (R32F) each pixel writes
// its depth in the light's projection, which the receivers compare against their own; with
// a depth texture (ZTEXTURE) the depth buffer is the map and the colour written does not
// matter. The "Alpha" techniques drop the pixels whose base-map alpha is below AlphaRef, so
// that leaves and fences cast shadows with holes.

shared float4x4 WorldViewProj;  // the light's view-projection during the shadow pass
shared float4x4 WorldView;
shared texture DiffuseMap;
shared float AlphaRef = 0;

sampler2D DiffuseSampler = sampler_state
{
    Texture = <DiffuseMap>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Wrap;
    AddressV = Wrap;
};

struct CasterVertex
{
    float3 pos : POSITION;
    float2 uv : TEXCOORD0;
};

struct CasterPixel
{
    float4 pos : POSITION;
    float2 uv : TEXCOORD0;
    float2 depth : TEXCOORD1;  // z and w of the light-space position
};

CasterPixel CasterVS(CasterVertex v)
{
    CasterPixel o;
    o.pos = mul(float4(v.pos, 1.0), WorldViewProj);
    o.uv = v.uv;
    o.depth = o.pos.zw;
    return o;
}

float4 DepthPS(float2 depth : TEXCOORD1) : COLOR
{
    float z = depth.x / depth.y;
    return float4(z, z, z, 1.0);
}

float4 DepthAlphaPS(float2 uv : TEXCOORD0, float2 depth : TEXCOORD1) : COLOR
{
    clip(tex2D(DiffuseSampler, uv).a - AlphaRef);
    float z = depth.x / depth.y;
    return float4(z, z, z, 1.0);
}

#ifdef ZTEXTURE

technique ZTexShadowMap
{
    pass P0
    {
        VertexShader = compile vs_1_1 CasterVS();
        PixelShader = compile ps_2_0 DepthPS();
    }
}

technique ZTexShadowMapAlpha
{
    pass P0
    {
        VertexShader = compile vs_1_1 CasterVS();
        PixelShader = compile ps_2_0 DepthAlphaPS();
    }
}

#else

technique ShadowMap
{
    pass P0
    {
        VertexShader = compile vs_1_1 CasterVS();
        PixelShader = compile ps_2_0 DepthPS();
    }
}

technique ShadowMapAlpha
{
    pass P0
    {
        VertexShader = compile vs_1_1 CasterVS();
        PixelShader = compile ps_2_0 DepthAlphaPS();
    }
}

#endif
