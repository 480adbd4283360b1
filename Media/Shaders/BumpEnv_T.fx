// Bump-mapped surfaces that mirror (REFLECTION) or look through (otherwise) their
// surroundings: a cube map in cube space, or a sphere map in view space. The normal map
// bends the view ray per pixel; a Fresnel term gives reflections their strength at grazing
// angles, refractions what is left; an optional gloss map masks the environment.
//
// The lights are added per vertex: DIR1 to DIR3 and POINT1 to POINT3 say which light slots
// a variant holds (numbers run on across kinds, so a variant with one directional and two
// point lights holds DIR1, POINT2 and POINT3), NUMDIR and NUMPOINT how many of each, and
// the techniques carry the same counts as annotations so the program finds the variant
// for an object's lights.
//
// Every parameter the program sets is shared and declared in every variant (the light
// parameters too, used only where a variant holds the light), so values set on one
// variant reach the others through the pool.

#ifndef NUMDIR
#define NUMDIR 0
#endif
#ifndef NUMPOINT
#define NUMPOINT 0
#endif
#ifndef PS_MODEL
#define PS_MODEL ps_2_0
#endif

shared float4x4 WorldViewProj;
shared float4x4 WorldView;
shared float4x4 ObjToCube;
shared float4 EyePoint;  // the eye in object space
shared float4 EyeCube;   // the eye in cube-map space (the rays need only directions)
shared float4 TexFactor;
shared float4 Ambient;
shared float SpecPower = 16;
shared float FresnelR0 = 0.04;
shared float Etha = 1;
shared float BumpEnvScale = 2;

// Lights in object space: directions point from the light, attenuation factors are
// 1 / (a0 + a1 d + a2 d^2).
shared float4 Dir1Dir;
shared float4 Dir1Diff;
shared float4 Dir1Spec;
shared float4 Dir2Dir;
shared float4 Dir2Diff;
shared float4 Dir2Spec;
shared float4 Dir3Dir;
shared float4 Dir3Diff;
shared float4 Dir3Spec;
shared float4 Point1Pos;
shared float4 Point1Att = { 1, 0, 0, 1 };
shared float4 Point1Diff;
shared float4 Point1Spec;
shared float4 Point2Pos;
shared float4 Point2Att = { 1, 0, 0, 1 };
shared float4 Point2Diff;
shared float4 Point2Spec;
shared float4 Point3Pos;
shared float4 Point3Att = { 1, 0, 0, 1 };
shared float4 Point3Diff;
shared float4 Point3Spec;

shared bool FogEnable;
shared bool RangeFogEnable;
shared float FogEnd = 1;
shared float FogDelta = 1;

shared texture DiffuseMap;
shared texture NormalMap;
shared texture EnvironmentMap;
shared texture EnvGlossMap;

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

sampler2D GlossSampler = sampler_state
{
    Texture = <EnvGlossMap>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Wrap;
    AddressV = Wrap;
};

samplerCUBE CubeSampler = sampler_state
{
    Texture = <EnvironmentMap>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
};

sampler2D SphereSampler = sampler_state
{
    Texture = <EnvironmentMap>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Clamp;
    AddressV = Clamp;
};

struct EnvVertex
{
    float3 pos : POSITION;
    float3 normal : NORMAL;
    float2 uv : TEXCOORD0;
    float3 tangent : TANGENT;
    float3 binormal : BINORMAL;
};

struct EnvPixel
{
    float4 pos : POSITION;
    float2 uv : TEXCOORD0;
    float3 tangent : TEXCOORD1;   // the tangent frame in the environment's space
    float3 binormal : TEXCOORD2;
    float3 normal : TEXCOORD3;
    float3 view : TEXCOORD4;      // from the eye to the point, same space
    float4 diffuse : COLOR0;      // ambient and diffuse light of the vertex
    float4 specular : COLOR1;
    float fog : FOG;
};

void AddDirLight(float3 n, float3 toEye, float4 dir, float4 diff, float4 spec, inout float3 diffuse,
                 inout float3 specular)
{
    float3 l = -normalize(dir.xyz);
    float4 k = lit(dot(n, l), dot(n, normalize(l + toEye)), SpecPower);
    diffuse += diff.rgb * k.y;
    specular += spec.rgb * k.z;
}

void AddPointLight(float3 p, float3 n, float3 toEye, float4 pos, float4 att, float4 diff, float4 spec,
                   inout float3 diffuse, inout float3 specular)
{
    float3 toLight = pos.xyz - p;
    float d = length(toLight);
    float3 l = toLight / d;
    float reach = 1.0 / max(att.x + att.y * d + att.z * d * d, 0.0001);
    float4 k = lit(dot(n, l), dot(n, normalize(l + toEye)), SpecPower);
    diffuse += diff.rgb * (k.y * reach);
    specular += spec.rgb * (k.z * reach);
}

// Lighting, position, texture coordinates and fog; the caller fills the tangent frame and
// the view vector in the space its environment map needs.
EnvPixel Light(EnvVertex v)
{
    EnvPixel o;
    o.pos = mul(float4(v.pos, 1.0), WorldViewProj);
    o.uv = v.uv;

    float3 n = normalize(v.normal);
    float3 toEye = normalize(EyePoint.xyz - v.pos);
    float3 diffuse = Ambient.rgb;
    float3 specular = 0;
#ifdef DIR1
    AddDirLight(n, toEye, Dir1Dir, Dir1Diff, Dir1Spec, diffuse, specular);
#endif
#ifdef DIR2
    AddDirLight(n, toEye, Dir2Dir, Dir2Diff, Dir2Spec, diffuse, specular);
#endif
#ifdef DIR3
    AddDirLight(n, toEye, Dir3Dir, Dir3Diff, Dir3Spec, diffuse, specular);
#endif
#ifdef POINT1
    AddPointLight(v.pos, n, toEye, Point1Pos, Point1Att, Point1Diff, Point1Spec, diffuse, specular);
#endif
#ifdef POINT2
    AddPointLight(v.pos, n, toEye, Point2Pos, Point2Att, Point2Diff, Point2Spec, diffuse, specular);
#endif
#ifdef POINT3
    AddPointLight(v.pos, n, toEye, Point3Pos, Point3Att, Point3Diff, Point3Spec, diffuse, specular);
#endif
    o.diffuse = float4(saturate(diffuse), 1.0);
    o.specular = float4(saturate(specular), 1.0);

    float4 viewPos = mul(float4(v.pos, 1.0), WorldView);
    // Fog by depth, or by range from the eye; without fog the factor stays 1.
    float range = lerp(viewPos.z, length(viewPos.xyz), (float)RangeFogEnable);
    o.fog = lerp(1.0, saturate((FogEnd - range) / FogDelta), (float)FogEnable);

    o.tangent = v.tangent;
    o.binormal = v.binormal;
    o.normal = v.normal;
    o.view = v.pos;
    return o;
}

// For cube maps: the frame and the view vector turned into the cube map's space (the
// directions of the world, for a map of the surroundings).
EnvPixel CubeVS(EnvVertex v)
{
    EnvPixel o = Light(v);
    float3x3 toCube = (float3x3)ObjToCube;
    o.tangent = mul(v.tangent, toCube);
    o.binormal = mul(v.binormal, toCube);
    o.normal = mul(v.normal, toCube);
    o.view = mul(v.pos - EyePoint.xyz, toCube);
    return o;
}

// For sphere maps: the frame and the view vector in view space (the eye at the origin).
EnvPixel SphereVS(EnvVertex v)
{
    EnvPixel o = Light(v);
    float3x3 toView = (float3x3)WorldView;
    o.tangent = mul(v.tangent, toView);
    o.binormal = mul(v.binormal, toView);
    o.normal = mul(v.normal, toView);
    o.view = mul(float4(v.pos, 1.0), WorldView).xyz;
    return o;
}

// The ray that meets the environment, and how much of the environment shows along it.
float3 EnvRay(float2 uv, float3 tangent, float3 binormal, float3 normal, float3 view, out float amount)
{
    float3 bump = tex2D(NormalSampler, uv).xyz * 2.0 - 1.0;
    bump.xy *= BumpEnvScale;
    float3 n = normalize(bump.x * tangent + bump.y * binormal + bump.z * normal);
    float3 v = normalize(view);
    float facing = 1.0 - saturate(dot(-v, n));
    float facing2 = facing * facing;
    float fresnel = FresnelR0 + (1.0 - FresnelR0) * facing2 * facing2 * facing;
#ifdef REFLECTION
    amount = fresnel;
    return reflect(v, n);
#else
    amount = 1.0 - fresnel;
    return refract(v, n, Etha);
#endif
}

// A view-space ray to sphere-map coordinates.
float2 SphereCoords(float3 r)
{
    float m = 2.0 * sqrt(r.x * r.x + r.y * r.y + (r.z - 1.0) * (r.z - 1.0));
    return float2(r.x / m + 0.5, 0.5 - r.y / m);
}

float4 Combine(float2 uv, float4 diffuse, float4 specular, float3 environment)
{
    float4 base = tex2D(DiffuseSampler, uv) * TexFactor;
    return float4(base.rgb * diffuse.rgb + environment + specular.rgb, base.a);
}

float4 CubePS(float2 uv : TEXCOORD0, float3 tangent : TEXCOORD1, float3 binormal : TEXCOORD2,
              float3 normal : TEXCOORD3, float3 view : TEXCOORD4, float4 diffuse : COLOR0,
              float4 specular : COLOR1) : COLOR
{
    float amount;
    float3 ray = EnvRay(uv, tangent, binormal, normal, view, amount);
    return Combine(uv, diffuse, specular, texCUBE(CubeSampler, ray).rgb * amount);
}

float4 CubeGlossPS(float2 uv : TEXCOORD0, float3 tangent : TEXCOORD1, float3 binormal : TEXCOORD2,
                   float3 normal : TEXCOORD3, float3 view : TEXCOORD4, float4 diffuse : COLOR0,
                   float4 specular : COLOR1) : COLOR
{
    float amount;
    float3 ray = EnvRay(uv, tangent, binormal, normal, view, amount);
    float3 gloss = tex2D(GlossSampler, uv).rgb;
    return Combine(uv, diffuse, specular, texCUBE(CubeSampler, ray).rgb * gloss * amount);
}

float4 SpherePS(float2 uv : TEXCOORD0, float3 tangent : TEXCOORD1, float3 binormal : TEXCOORD2,
                float3 normal : TEXCOORD3, float3 view : TEXCOORD4, float4 diffuse : COLOR0,
                float4 specular : COLOR1) : COLOR
{
    float amount;
    float3 ray = EnvRay(uv, tangent, binormal, normal, view, amount);
    return Combine(uv, diffuse, specular, tex2D(SphereSampler, SphereCoords(ray)).rgb * amount);
}

float4 SphereGlossPS(float2 uv : TEXCOORD0, float3 tangent : TEXCOORD1, float3 binormal : TEXCOORD2,
                     float3 normal : TEXCOORD3, float3 view : TEXCOORD4, float4 diffuse : COLOR0,
                     float4 specular : COLOR1) : COLOR
{
    float amount;
    float3 ray = EnvRay(uv, tangent, binormal, normal, view, amount);
    float3 gloss = tex2D(GlossSampler, uv).rgb;
    return Combine(uv, diffuse, specular, tex2D(SphereSampler, SphereCoords(ray)).rgb * gloss * amount);
}

#ifdef REFLECTION

technique Refl < int DIR = NUMDIR; int POINT = NUMPOINT; >
{
    pass P0
    {
        VertexShader = compile vs_2_0 CubeVS();
        PixelShader = compile PS_MODEL CubePS();
    }
}

technique ReflGloss < int DIR = NUMDIR; int POINT = NUMPOINT; >
{
    pass P0
    {
        VertexShader = compile vs_2_0 CubeVS();
        PixelShader = compile PS_MODEL CubeGlossPS();
    }
}

technique ReflSphere < int DIR = NUMDIR; int POINT = NUMPOINT; >
{
    pass P0
    {
        VertexShader = compile vs_2_0 SphereVS();
        PixelShader = compile PS_MODEL SpherePS();
    }
}

technique ReflSphereGloss < int DIR = NUMDIR; int POINT = NUMPOINT; >
{
    pass P0
    {
        VertexShader = compile vs_2_0 SphereVS();
        PixelShader = compile PS_MODEL SphereGlossPS();
    }
}

#else

technique Refr < int DIR = NUMDIR; int POINT = NUMPOINT; >
{
    pass P0
    {
        VertexShader = compile vs_2_0 CubeVS();
        PixelShader = compile PS_MODEL CubePS();
    }
}

technique RefrGloss < int DIR = NUMDIR; int POINT = NUMPOINT; >
{
    pass P0
    {
        VertexShader = compile vs_2_0 CubeVS();
        PixelShader = compile PS_MODEL CubeGlossPS();
    }
}

technique RefrSphere < int DIR = NUMDIR; int POINT = NUMPOINT; >
{
    pass P0
    {
        VertexShader = compile vs_2_0 SphereVS();
        PixelShader = compile PS_MODEL SpherePS();
    }
}

technique RefrSphereGloss < int DIR = NUMDIR; int POINT = NUMPOINT; >
{
    pass P0
    {
        VertexShader = compile vs_2_0 SphereVS();
        PixelShader = compile PS_MODEL SphereGlossPS();
    }
}

#endif
