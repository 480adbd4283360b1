// The engine's lights: one Direct3D 9 light record each, with the three questions the
// renderer asks of a light (does it reach this box, how strongly, what colour does it
// give at this point) answered per kind by PointLight, SpotLight and DirLight.
//
// Every setter adds 1 to a change counter, and so does every upload to the device. The
// light also remembers the counter as it stood when its record last reached the device,
// so the light set can tell a record that changed since (the sun and the moon move every
// frame) from one the device already holds; the set's own bookkeeping keeps that mark in
// step, so only a setter makes a record stale.
//
// Each light carries a creation sequence number: wherever the order of a collection of
// lights can be seen, or lights are folded into a signature, the number stands for the
// light, so runs repeat exactly whatever addresses the allocator hands out.
#pragma once

#include "Core/Bounded.h"
#include "Core/FColor.h"
#include "Core/Object.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/Vector.h"

#include <d3d9.h>

u32 LightTypeId();
u32 PointLightTypeId();
u32 SpotLightTypeId();
u32 DirLightTypeId();

class Light : public virtual Object {
public:
    ~Light() override = default;

    // How the light's reach lies against box: 0 not at all, 1 partly, 2 wholly (the
    // reach lies inside the box).
    virtual i32 Reaches(Box box) = 0;
    // The colour the light gives at a point; false when it does not light it.
    virtual bool ColorAt(f32 x, f32 y, f32 z, FColor& out) = 0;
    // How strongly the light acts on box, for choosing among lights.
    virtual f32 Influence(Box box) = 0;

    bool QueryType(u32 typeId, void** out) override;

    void SetName(const String& name);
    void SetDiffuse(FColor color);
    void SetSpecular(FColor color);
    void SetRange(f32 range);
    void SetDirection(f32 x, f32 y, f32 z);
    void SetPosition(f32 x, f32 y, f32 z);
    void SetAttenuation(f32 a0, f32 a1, f32 a2);
    void SetPhi(f32 phi);
    void SetTheta(f32 theta);
    void SetShadowPerspective(u8 perspective);
    void SetShadowBox(f32 width, f32 height, f32 depth);
    // A switched-off light stays in the lists that effects read, but the light set never
    // enables it on the device. This changes nothing the device holds, so it does not make
    // the record stale.
    void SetEnabled(bool enabled);

    D3DLIGHTTYPE GetType() const { return light_.Type; }
    bool IsShadowPerspective() const { return perspective_ != 0; }
    FColor GetDiffuse() const;
    FColor GetSpecular() const;
    f32 GetRange() const { return light_.Range; }
    Vec3 GetPosition() const;
    Vec3 GetDirection() const;
    // Attenuation0, 1 and 2 as x, y and z.
    Vec3 GetAttenuation() const;
    f32 GetPhi() const { return light_.Phi; }
    f32 GetTheta() const { return light_.Theta; }
    f32 GetFalloff() const { return light_.Falloff; }
    // Width, height and depth as x, y and z.
    Vec3 GetShadowBox() const { return shadowBox_; }
    bool IsEnabled() const { return enabled_; }
    const String& GetName() const { return name_; }

    // The record as the device gets it.
    const D3DLIGHT9& Record() const { return light_; }
    // For the model loader's members that have no setter (Ambient, Falloff): counts as a
    // change, since the caller may alter anything.
    D3DLIGHT9& EditRecord();

    u32 GetChanges() const { return changes_; }
    u32 GetSequence() const { return sequence_; }
    i32 GetIndex() const { return index_; }
    bool IsActive() const { return active_ != 0; }

    // The factor 1 / ((dist * a2 + a1) * dist + a0); 1000 at distance 0, and 1000 where
    // that denominator is not positive (it would divide by zero or turn the light
    // negative).
    f32 Attenuate(f32 dist) const;

    // The light set's side. A device index (-1 for none) and the enabled mark.
    void SetIndex(i32 index) { index_ = index; }
    void SetActive(bool active) { active_ = active ? 1 : 0; }
    // Adds 1 to the counter for the set's own bookkeeping: a record that was current on
    // the device stays current.
    void CountDeviceChange();
    // The record reached the device as it stands now.
    void MarkRecordSent();
    // The device no longer holds the record (or never took it).
    void MarkRecordLost() { recordSent_ = false; }
    // Whether the device holds the record as it stands now.
    bool IsRecordCurrent() const { return recordSent_ && sentChanges_ == changes_; }

protected:
    Light(D3DLIGHTTYPE type, i32 index);

private:
    u32 changes_ = 0;
    String name_;
    D3DLIGHT9 light_;
    i32 index_ = -1;
    u8 active_ = 0;
    u8 perspective_ = 1;
    Vec3 shadowBox_;
    bool enabled_ = true;
    bool recordSent_ = false;
    u32 sentChanges_ = 0;
    u32 sequence_ = 0;
};

// Lights a sphere of its Range around its Position.
class PointLight : public Light {
public:
    PointLight();
    i32 Reaches(Box box) override;
    bool ColorAt(f32 x, f32 y, f32 z, FColor& out) override;
    f32 Influence(Box box) override;
    bool QueryType(u32 typeId, void** out) override;
};

// Lights a cone along its Direction, Theta and Phi the half-angles of the inner and outer
// cone.
class SpotLight : public Light {
public:
    SpotLight();
    i32 Reaches(Box box) override;
    bool ColorAt(f32 x, f32 y, f32 z, FColor& out) override;
    f32 Influence(Box box) override;
    bool QueryType(u32 typeId, void** out) override;
};

// Lights everything, along its Direction, without attenuation.
class DirLight : public Light {
public:
    DirLight();
    i32 Reaches(Box box) override;
    bool ColorAt(f32 x, f32 y, f32 z, FColor& out) override;
    f32 Influence(Box box) override;
    bool QueryType(u32 typeId, void** out) override;
};

// How a light's axis-aligned reach box lies against an object's box, in the
// vocabulary of Light::Reaches.
i32 ClassifyReach(const Box& object, const Box& reach);
