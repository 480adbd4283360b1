// Heat shimmer: the geometry shows the scene behind it (the scene's colour texture, seen
// through the screen position of each pixel), pushed about by a displacement texture that
// scrolls with time. The displacement fades towards the silhouette, where the surface is
// seen edge-on, so the shimmer has no hard border.
//
// Every parameter the program sets is shared: all effects of a pool see one value.

shared float4x4 WorldViewProj;
shared float4x4 WorldView;
shared float4x4 ObjToCube;
shared float4 EyePoint;   // the eye in object space
shared float4 TexFactor;  // tint (rgb) and opacity (a)
shared float Ticks;       // seconds
shared texture DiffuseMap;  // the scene to distort
shared texture EnvironmentMap < string ResourceName = "displace.bmp"; >;  // displacement

// How far the displacement moves the scene, in texture units, and how fast its two layers
// scroll (texture units per second).
float DistortScale = 0.025;
float2 ScrollA = { 0.031, 0.047 };
float2 ScrollB = { -0.023, 0.011 };

sampler2D SceneSampler = sampler_state
{
    Texture = <DiffuseMap>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

sampler2D DisplaceSampler = sampler_state
{
    Texture = <EnvironmentMap>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Wrap;
    AddressV = Wrap;
};

struct DistortVertex
{
    float3 pos : POSITION;
    float3 normal : NORMAL;
    float2 uv : TEXCOORD0;
};

struct DistortPixel
{
    float4 pos : POSITION;
    float2 uvA : TEXCOORD0;     // first displacement layer
    float2 uvB : TEXCOORD1;     // second displacement layer
    float4 screen : TEXCOORD2;  // clip position, divided per pixel
    float4 strength : COLOR0;   // displacement strength in a
};

DistortPixel DistortVS(DistortVertex v)
{
    DistortPixel o;
    o.pos = mul(float4(v.pos, 1.0), WorldViewProj);
    o.uvA = v.uv + ScrollA * Ticks;
    o.uvB = v.uv * 1.7 + ScrollB * Ticks;
    o.screen = o.pos;
    float3 toEye = normalize(EyePoint.xyz - v.pos);
    float facing = saturate(dot(normalize(v.normal), toEye));
    o.strength = float4(1.0, 1.0, 1.0, facing * facing);
    return o;
}

float4 DistortPS(float2 uvA : TEXCOORD0, float2 uvB : TEXCOORD1, float4 screen : TEXCOORD2,
                 float4 strength : COLOR0) : COLOR
{
    // Two layers of the displacement map, centred on zero.
    float2 offset = tex2D(DisplaceSampler, uvA).rg + tex2D(DisplaceSampler, uvB).gr - 1.0;
    float2 uv = screen.xy / screen.w * float2(0.5, -0.5) + 0.5;
    uv += offset * (DistortScale * strength.a);
    float4 scene = tex2D(SceneSampler, uv);
    return float4(scene.rgb * TexFactor.rgb, TexFactor.a);
}

technique Simple
{
    pass P0
    {
        VertexShader = compile vs_1_1 DistortVS();
        PixelShader = compile ps_2_0 DistortPS();
    }
}
