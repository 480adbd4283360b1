// Bump-mapped receivers of the shadow map, lit by one light that casts the shadows: a spot
// light with its cone ("ShadowSpot"), the same light without a cone ("ShadowSpotNoCone",
// an attenuated light from a point) or a light whose shadow is projected orthographically
// ("ShadowDir", parallel rays along the light's direction, no attenuation). "Simple" lights
// the same way as the spot and casts no shadow.
//
// The shadow map is looked up through View2LightTex, which takes a view-space position to
// the map's texture coordinates. With ZTEXTURE the map is a depth texture and the hardware
// compares; without it the map holds depths in an R32F colour texture, compared here with
// OffsetBias and filtered over the four nearest texels. The "Mask" techniques tint the
// shadowed part of the light with ShadowMask instead of taking all of it away.
//
// Every parameter the program sets is shared and declared in every variant, so values set
// on one variant reach the other through the pool.

shared float4x4 WorldViewProj;
shared float4x4 WorldView;
shared float4x4 View2LightTex;
shared float4 EyePoint;  // the eye in object space
shared float4 ViewDir;
shared float4 TexFactor;
shared float4 Ambient;
shared float4 ShadowMask;
shared float SpecPower = 16;
shared float OffsetBias = 0.01;
shared float ShadowMapSize = 1024;
shared float InvShadowMapSize = 0.0009765625;

// The light, in object space; Theta and Phi are the cosines of the inner and outer
// half-angles of the cone.
shared float4 Spot1Pos;
shared float4 Spot1Dir = { 0, 0, 1, 1 };
shared float4 Spot1Diff;
shared float4 Spot1Spec;
shared float4 Spot1Att = { 1, 0, 0, 1 };
shared float Spot1Falloff = 1;
shared float Spot1Theta = 0.9;
shared float Spot1Phi = 0.8;

shared bool FogEnable;
shared bool RangeFogEnable;
shared float FogEnd = 1;
shared float FogDelta = 1;

shared texture DiffuseMap;
shared texture NormalMap;
shared texture SpecularMap;
shared texture ShadowMap;

sampler2D DiffuseSampler = sampler_state
{
    Texture = <DiffuseMap>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Wrap;
    AddressV = Wrap;
};

sampler2D NormalSampler = sampler_state
{
    Texture = <NormalMap>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Wrap;
    AddressV = Wrap;
};

sampler2D SpecularSampler = sampler_state
{
    Texture = <SpecularMap>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Wrap;
    AddressV = Wrap;
};

#ifdef ZTEXTURE
// A depth texture answers the comparison itself, filtered.
sampler2D ShadowSampler = sampler_state
{
    Texture = <ShadowMap>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
    AddressU = Border;
    AddressV = Border;
    BorderColor = 0xFFFFFFFF;
};
#else
// Depths are compared here; R32F textures cannot be filtered.
sampler2D ShadowSampler = sampler_state
{
    Texture = <ShadowMap>;
    MinFilter = Point;
    MagFilter = Point;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};
#endif

struct ReceiverVertex
{
    float3 pos : POSITION;
    float3 normal : NORMAL;
    float2 uv : TEXCOORD0;
    float3 tangent : TANGENT;
    float3 binormal : BINORMAL;
};

struct ReceiverPixel
{
    float4 pos : POSITION;
    float2 uv : TEXCOORD0;
    float3 light : TEXCOORD1;   // towards the light, tangent space
    float3 halfway : TEXCOORD2; // half vector, tangent space
    float4 shadow : TEXCOORD3;  // shadow-map coordinates, projective
    float4 reach : COLOR0;      // attenuation and cone in a
    float fog : FOG;
};

// The parts every vertex shader shares: position, texture coordinates, shadow-map
// coordinates and fog. `toLight` is the unit vector towards the light in object space.
ReceiverPixel Receiver(ReceiverVertex v, float3 toLight, float reach)
{
    ReceiverPixel o;
    o.pos = mul(float4(v.pos, 1.0), WorldViewProj);
    o.uv = v.uv;

    float3 toEye = normalize(EyePoint.xyz - v.pos);
    float3 halfway = normalize(toLight + toEye);
    o.light = float3(dot(toLight, v.tangent), dot(toLight, v.binormal), dot(toLight, v.normal));
    o.halfway = float3(dot(halfway, v.tangent), dot(halfway, v.binormal), dot(halfway, v.normal));

    float4 viewPos = mul(float4(v.pos, 1.0), WorldView);
    o.shadow = mul(viewPos, View2LightTex);
    o.reach = float4(1.0, 1.0, 1.0, reach);

    // Fog by depth, or by range from the eye; without fog the factor stays 1.
    float range = lerp(viewPos.z, length(viewPos.xyz), (float)RangeFogEnable);
    o.fog = lerp(1.0, saturate((FogEnd - range) / FogDelta), (float)FogEnable);
    return o;
}

// Attenuation of a light at a point: 1 / (a0 + a1 d + a2 d^2).
float Attenuation(float3 toLight)
{
    float d = length(toLight);
    return 1.0 / max(Spot1Att.x + Spot1Att.y * d + Spot1Att.z * d * d, 0.0001);
}

// An orthographic light: parallel rays along its direction, no attenuation.
ReceiverPixel ReceiverDirVS(ReceiverVertex v)
{
    return Receiver(v, -normalize(Spot1Dir.xyz), 1.0);
}

// A light from a point with its cone: full inside Theta, nothing outside Phi.
ReceiverPixel ReceiverSpotVS(ReceiverVertex v)
{
    float3 toLight = Spot1Pos.xyz - v.pos;
    float3 l = normalize(toLight);
    float cosAngle = dot(-l, normalize(Spot1Dir.xyz));
    float cone = saturate((cosAngle - Spot1Phi) / (Spot1Theta - Spot1Phi));
    cone = pow(cone, Spot1Falloff);
    return Receiver(v, l, saturate(Attenuation(toLight) * cone));
}

// A light from a point without a cone.
ReceiverPixel ReceiverNoConeVS(ReceiverVertex v)
{
    float3 toLight = Spot1Pos.xyz - v.pos;
    return Receiver(v, normalize(toLight), saturate(Attenuation(toLight)));
}

// How much of the light reaches the pixel, 0 in full shadow, 1 in full light.
float Visibility(float4 shadow)
{
#ifdef ZTEXTURE
    return tex2Dproj(ShadowSampler, shadow).r;
#else
    // Four nearest texels, each compared, blended by the pixel's place between them.
    float2 uv = shadow.xy / shadow.w;
    float depth = shadow.z / shadow.w - OffsetBias;
    float2 texel = uv * ShadowMapSize - 0.5;
    float2 weight = texel - floor(texel);
    float2 corner = (floor(texel) + 0.5) * InvShadowMapSize;
    float4 stored;
    stored.x = tex2D(ShadowSampler, corner).r;
    stored.y = tex2D(ShadowSampler, corner + float2(InvShadowMapSize, 0)).r;
    stored.z = tex2D(ShadowSampler, corner + float2(0, InvShadowMapSize)).r;
    stored.w = tex2D(ShadowSampler, corner + float2(InvShadowMapSize, InvShadowMapSize)).r;
    float4 inLight = stored >= depth;
    float2 rows = lerp(inLight.xz, inLight.yw, weight.x);
    return lerp(rows.x, rows.y, weight.y);
#endif
}

// Bump-mapped diffuse and specular light, scaled by `light` (0 to 1 per channel).
float4 Shade(float2 uv, float3 toLight, float3 halfway, float reach, float3 light)
{
    float4 base = tex2D(DiffuseSampler, uv) * TexFactor;
    float3 normal = normalize(tex2D(NormalSampler, uv).xyz * 2.0 - 1.0);
    float3 l = normalize(toLight);
    float3 h = normalize(halfway);
    float diffuse = saturate(dot(normal, l));
    float specular = pow(saturate(dot(normal, h)), SpecPower) * (diffuse > 0.0);
    float3 gloss = tex2D(SpecularSampler, uv).rgb;
    float3 colour = base.rgb * (Ambient.rgb + Spot1Diff.rgb * diffuse * reach * light) +
                    gloss * Spot1Spec.rgb * specular * reach * light;
    return float4(colour, base.a);
}

float4 SimplePS(float2 uv : TEXCOORD0, float3 toLight : TEXCOORD1, float3 halfway : TEXCOORD2,
                float4 reach : COLOR0) : COLOR
{
    return Shade(uv, toLight, halfway, reach.a, 1.0);
}

float4 ShadowPS(float2 uv : TEXCOORD0, float3 toLight : TEXCOORD1, float3 halfway : TEXCOORD2,
                float4 shadow : TEXCOORD3, float4 reach : COLOR0) : COLOR
{
    return Shade(uv, toLight, halfway, reach.a, Visibility(shadow));
}

float4 ShadowMaskPS(float2 uv : TEXCOORD0, float3 toLight : TEXCOORD1, float3 halfway : TEXCOORD2,
                    float4 shadow : TEXCOORD3, float4 reach : COLOR0) : COLOR
{
    return Shade(uv, toLight, halfway, reach.a, lerp(ShadowMask.rgb, 1.0, Visibility(shadow)));
}

#ifdef ZTEXTURE

technique ZTexShadowDir < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 ReceiverDirVS();
        PixelShader = compile ps_2_0 ShadowPS();
    }
}

technique ZTexShadowDirMask < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 ReceiverDirVS();
        PixelShader = compile ps_2_0 ShadowMaskPS();
    }
}

technique ZTexShadowSpot < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 ReceiverSpotVS();
        PixelShader = compile ps_2_0 ShadowPS();
    }
}

technique ZTexShadowSpotMask < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 ReceiverSpotVS();
        PixelShader = compile ps_2_0 ShadowMaskPS();
    }
}

technique ZTexShadowSpotNoCone < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 ReceiverNoConeVS();
        PixelShader = compile ps_2_0 ShadowPS();
    }
}

technique ZTexShadowSpotNoConeMask < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 ReceiverNoConeVS();
        PixelShader = compile ps_2_0 ShadowMaskPS();
    }
}

technique ZTexSimple < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 ReceiverSpotVS();
        PixelShader = compile ps_2_0 SimplePS();
    }
}

#else

technique ShadowDir < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 ReceiverDirVS();
        PixelShader = compile ps_2_0 ShadowPS();
    }
}

technique ShadowDirMask < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 ReceiverDirVS();
        PixelShader = compile ps_2_0 ShadowMaskPS();
    }
}

technique ShadowSpot < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 ReceiverSpotVS();
        PixelShader = compile ps_2_0 ShadowPS();
    }
}

technique ShadowSpotMask < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 ReceiverSpotVS();
        PixelShader = compile ps_2_0 ShadowMaskPS();
    }
}

technique ShadowSpotNoCone < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 ReceiverNoConeVS();
        PixelShader = compile ps_2_0 ShadowPS();
    }
}

technique ShadowSpotNoConeMask < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 ReceiverNoConeVS();
        PixelShader = compile ps_2_0 ShadowMaskPS();
    }
}

technique Simple < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 ReceiverSpotVS();
        PixelShader = compile ps_2_0 SimplePS();
    }
}

#endif
