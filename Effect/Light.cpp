#include "Effect/Light.h"

#include "Core/Geometry.h"

#include <cmath>
#include <string.h>

namespace {

// Lights are numbered in the order they are made; the number is their identity wherever
// an order or a signature can be seen.
u32 g_nextLightSequence = 1;

constexpr f32 kAttenuationCap = 1000.0f;  // the factor at the light itself
constexpr f32 kNoSpotRange = 0.001f;      // a spot this short reaches nothing
constexpr f32 kNoSpotDirection = 0.00001f;

FColor FromColorValue(const D3DCOLORVALUE& c) {
    FColor color;
    color.Set(c.a, c.r, c.g, c.b);
    return color;
}

D3DCOLORVALUE ToColorValue(FColor color) {
    D3DCOLORVALUE c;
    c.r = color.r;
    c.g = color.g;
    c.b = color.b;
    c.a = color.a;
    return c;
}

Vec3 FromVector(const D3DVECTOR& v) { return Vec3(v.x, v.y, v.z); }

f32 DistanceTo(const D3DVECTOR& from, f32 x, f32 y, f32 z) {
    return Vec3Length(Vec3(x - from.x, y - from.y, z - from.z));
}

// Closed intervals: boxes that touch overlap, as a point exactly at a light's range is lit.
bool Overlaps(const Box& a, const Box& b) {
    auto axis = [](f32 ca, f32 sa, f32 cb, f32 sb) {
        return std::fabs(ca - cb) * 2.0f <= std::fabs(sa) + std::fabs(sb);
    };
    return axis(a.x, a.w, b.x, b.w) && axis(a.y, a.h, b.y, b.h) && axis(a.z, a.d, b.z, b.d);
}

template <class T>
bool AnswerType(T* self, u32 ownId, u32 typeId, void** out) {
    if (typeId == ownId || typeId == LightTypeId()) {
        *out = static_cast<Light*>(self);
        if (typeId == ownId) *out = self;
        return true;
    }
    *out = nullptr;
    return false;
}

}  // namespace

u32 LightTypeId() { return TypeIdOf<Light>(); }
u32 PointLightTypeId() { return TypeIdOf<PointLight>(); }
u32 SpotLightTypeId() { return TypeIdOf<SpotLight>(); }
u32 DirLightTypeId() { return TypeIdOf<DirLight>(); }

i32 ClassifyReach(const Box& object, const Box& reach) {
    // Apart: no corner can be inside either (and most lights are far from most objects).
    if (!Overlaps(object, reach)) return 0;
    // Overlapping with no corner of the reach in the object, the object lies in the reach
    // (or crosses it like a plank through a cube): partly.
    const i32 corners = ClassifyBox(object, reach);
    return corners == 3 ? 2 : 1;
}

Light::Light(D3DLIGHTTYPE type, i32 index) : index_(index), sequence_(g_nextLightSequence++) {
    memset(&light_, 0, sizeof light_);
    light_.Type = type;
}

bool Light::QueryType(u32 typeId, void** out) { return AnswerType(this, LightTypeId(), typeId, out); }

void Light::SetName(const String& name) {
    name_ = name;
    ++changes_;
}

void Light::SetDiffuse(FColor color) {
    light_.Diffuse = ToColorValue(color);
    ++changes_;
}

void Light::SetSpecular(FColor color) {
    light_.Specular = ToColorValue(color);
    ++changes_;
}

void Light::SetRange(f32 range) {
    light_.Range = range;
    ++changes_;
}

void Light::SetDirection(f32 x, f32 y, f32 z) {
    light_.Direction = D3DVECTOR{x, y, z};
    ++changes_;
}

void Light::SetPosition(f32 x, f32 y, f32 z) {
    light_.Position = D3DVECTOR{x, y, z};
    ++changes_;
}

void Light::SetAttenuation(f32 a0, f32 a1, f32 a2) {
    light_.Attenuation0 = a0;
    light_.Attenuation1 = a1;
    light_.Attenuation2 = a2;
    ++changes_;
}

void Light::SetPhi(f32 phi) {
    light_.Phi = phi;
    ++changes_;
}

void Light::SetTheta(f32 theta) {
    light_.Theta = theta;
    ++changes_;
}

void Light::SetShadowPerspective(u8 perspective) {
    perspective_ = perspective;
    ++changes_;
}

void Light::SetShadowBox(f32 width, f32 height, f32 depth) {
    shadowBox_ = Vec3(width, height, depth);
    ++changes_;
}

void Light::SetEnabled(bool enabled) {
    enabled_ = enabled;
    CountDeviceChange();
}

FColor Light::GetDiffuse() const { return FromColorValue(light_.Diffuse); }
FColor Light::GetSpecular() const { return FromColorValue(light_.Specular); }
Vec3 Light::GetPosition() const { return FromVector(light_.Position); }
Vec3 Light::GetDirection() const { return FromVector(light_.Direction); }
Vec3 Light::GetAttenuation() const { return Vec3(light_.Attenuation0, light_.Attenuation1, light_.Attenuation2); }

D3DLIGHT9& Light::EditRecord() {
    ++changes_;
    return light_;
}

f32 Light::Attenuate(f32 dist) const {
    if (dist == 0.0f) return kAttenuationCap;
    const f32 denominator = (dist * light_.Attenuation2 + light_.Attenuation1) * dist + light_.Attenuation0;
    // Also catches a NaN: !(NaN > 0).
    if (!(denominator > 0.0f)) return kAttenuationCap;
    return 1.0f / denominator;
}

void Light::CountDeviceChange() {
    const bool current = IsRecordCurrent();
    ++changes_;
    if (current) sentChanges_ = changes_;
}

void Light::MarkRecordSent() {
    recordSent_ = true;
    sentChanges_ = changes_;
}

PointLight::PointLight() : Light(D3DLIGHT_POINT, -1) {}

bool PointLight::QueryType(u32 typeId, void** out) { return AnswerType(this, PointLightTypeId(), typeId, out); }

i32 PointLight::Reaches(Box box) {
    const D3DLIGHT9& l = Record();
    // A negative range lights no point (ColorAt), so it reaches no box either.
    if (l.Range < 0.0f) return 0;
    Box reach;
    reach.x = l.Position.x;
    reach.y = l.Position.y;
    reach.z = l.Position.z;
    reach.w = reach.h = reach.d = 2.0f * l.Range;
    return ClassifyReach(box, reach);
}

bool PointLight::ColorAt(f32 x, f32 y, f32 z, FColor& out) {
    const f32 dist = DistanceTo(Record().Position, x, y, z);
    if (dist > Record().Range) return false;
    out = FColor::Scale(GetDiffuse(), Attenuate(dist));
    return true;
}

f32 PointLight::Influence(Box box) {
    const f32 largest = std::fmax(box.w, std::fmax(box.h, box.d));
    const D3DVECTOR& p = Record().Position;
    const f32 dist = Vec3Length(Vec3(box.x - p.x, box.y - p.y, box.z - p.z)) - largest;
    if (dist > Record().Range) return 0.0f;
    return FColor::Scale(GetDiffuse(), Attenuate(dist)).Intensity();
}

SpotLight::SpotLight() : Light(D3DLIGHT_SPOT, -1) {}

bool SpotLight::QueryType(u32 typeId, void** out) { return AnswerType(this, SpotLightTypeId(), typeId, out); }

i32 SpotLight::Reaches(Box box) {
    const D3DLIGHT9& l = Record();
    const Vec3 direction = GetDirection();
    const f32 length = Vec3Length(direction);
    // A negative range lights no point, as a zero one.
    if (std::fabs(l.Range) <= kNoSpotRange || l.Range < 0.0f || length <= kNoSpotDirection) return 0;
    const Vec3 centre = GetPosition() + direction * (l.Range * 0.5f / length);
    const f32 spread = std::tan(l.Phi) * l.Range;
    Box reach;
    reach.x = centre.x;
    reach.y = centre.y;
    reach.z = centre.z;
    reach.w = reach.h = reach.d = 2.0f * std::sqrt(spread * spread + l.Range * l.Range);
    return ClassifyReach(box, reach);
}

bool SpotLight::ColorAt(f32 x, f32 y, f32 z, FColor& out) {
    const D3DLIGHT9& l = Record();
    const Vec3 offset(x - l.Position.x, y - l.Position.y, z - l.Position.z);
    const f32 dist = Vec3Length(offset);
    // Without a direction there is no cone to be inside of.
    if (dist > l.Range || Vec3Length(GetDirection()) <= kNoSpotDirection) return false;
    Vec3 toPoint;
    Vec3 axis;
    Vec3Normalize(toPoint, offset);
    Vec3Normalize(axis, GetDirection());
    const f32 k = Vec3Dot(toPoint, axis);
    const f32 cosPhi = std::cos(l.Phi);
    const f32 cosTheta = std::cos(l.Theta);
    if (k < cosPhi) return false;
    // Within the inner cone (this also covers an inner cone as wide as the outer one,
    // where the ramp below would divide by zero).
    f32 spot = 1.0f;
    if (k < cosTheta) spot = std::pow((k - cosPhi) / (cosTheta - cosPhi), l.Falloff);
    out = FColor::Scale(GetDiffuse(), spot * Attenuate(dist));
    return true;
}

f32 SpotLight::Influence(Box) { return 0.0f; }

DirLight::DirLight() : Light(D3DLIGHT_DIRECTIONAL, -1) {}

bool DirLight::QueryType(u32 typeId, void** out) { return AnswerType(this, DirLightTypeId(), typeId, out); }

i32 DirLight::Reaches(Box) { return 2; }

bool DirLight::ColorAt(f32, f32, f32, FColor& out) {
    out = GetDiffuse();
    return true;
}

f32 DirLight::Influence(Box) { return GetDiffuse().Intensity(); }
