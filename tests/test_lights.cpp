// Lights: which boxes they reach, the colour they give at a point, their influence, the
// gathering and limiting of an object's lights, and the light set's bookkeeping without a
// device (what reached the device is asserted in the Linux suite).
#include "D3d/DeviceContext.h"
#include "Effect/Light.h"
#include "Effect/LightSet.h"
#include "Effect/LightingInfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

Box MakeBox(f32 x, f32 y, f32 z, f32 size) {
    Box box;
    box.x = x;
    box.y = y;
    box.z = z;
    box.w = box.h = box.d = size;
    return box;
}

FColor Argb(f32 a, f32 r, f32 g, f32 b) {
    FColor c;
    c.Set(a, r, g, b);
    return c;
}

RefHandle<Light> MakePoint(f32 x, f32 y, f32 z, f32 range) {
    auto* light = new PointLight;
    light->SetPosition(x, y, z);
    light->SetRange(range);
    light->SetAttenuation(1.0f, 0.0f, 0.0f);
    return RefHandle<Light>(light);
}

RefHandle<Light> MakeSpot(f32 range, f32 phi, f32 theta) {
    auto* light = new SpotLight;
    light->SetDirection(0.0f, 0.0f, 1.0f);
    light->SetRange(range);
    light->SetPhi(phi);
    light->SetTheta(theta);
    light->SetAttenuation(1.0f, 0.0f, 0.0f);
    return RefHandle<Light>(light);
}

RefHandle<Light> MakeDir(FColor diffuse) {
    auto* light = new DirLight;
    light->SetDirection(0.0f, -1.0f, 0.0f);
    light->SetDiffuse(diffuse);
    return RefHandle<Light>(light);
}

std::vector<Light*> LightsOf(const LightingInfo& info) {
    std::vector<Light*> out;
    info.ForEachLight([&out](const RefHandle<Light>& light) { out.push_back(light.Get()); });
    return out;
}

void ExpectColor(const FColor& c, f32 a, f32 r, f32 g, f32 b) {
    EXPECT_FLOAT_EQ(c.a, a);
    EXPECT_FLOAT_EQ(c.r, r);
    EXPECT_FLOAT_EQ(c.g, g);
    EXPECT_FLOAT_EQ(c.b, b);
}

}  // namespace

TEST(Light, ConstructionZeroesTheRecordExceptItsType) {
    PointLight point;
    SpotLight spot;
    DirLight dir;
    EXPECT_EQ(point.GetType(), D3DLIGHT_POINT);
    EXPECT_EQ(spot.GetType(), D3DLIGHT_SPOT);
    EXPECT_EQ(dir.GetType(), D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(point.GetIndex(), -1);
    EXPECT_FALSE(point.IsActive());
    EXPECT_TRUE(point.IsShadowPerspective());
    EXPECT_TRUE(point.IsEnabled());
    EXPECT_EQ(point.GetChanges(), 0u);
    EXPECT_EQ(point.Record().Range, 0.0f);
    EXPECT_EQ(point.Record().Diffuse.a, 0.0f);
    // Each light has its own creation number, in the order made.
    EXPECT_LT(point.GetSequence(), spot.GetSequence());
    EXPECT_LT(spot.GetSequence(), dir.GetSequence());
}

TEST(Light, EverySetterCountsAChangeAndGettersDoNot) {
    PointLight light;
    light.SetName(String("lamp"));
    light.SetDiffuse(Argb(0.5f, 1.0f, 0.25f, 0.125f));
    light.SetSpecular(Argb(1.0f, 0.0f, 1.0f, 0.0f));
    light.SetRange(12.0f);
    light.SetDirection(0.0f, 1.0f, 0.0f);
    light.SetPosition(1.0f, 2.0f, 3.0f);
    light.SetAttenuation(1.0f, 0.5f, 0.25f);
    light.SetPhi(0.5f);
    light.SetTheta(0.25f);
    light.SetShadowPerspective(0);
    light.SetShadowBox(10.0f, 20.0f, 30.0f);
    EXPECT_EQ(light.GetChanges(), 11u);

    ExpectColor(light.GetDiffuse(), 0.5f, 1.0f, 0.25f, 0.125f);
    // Stored as the Direct3D colour: r, g, b, a.
    EXPECT_EQ(light.Record().Diffuse.r, 1.0f);
    EXPECT_EQ(light.Record().Diffuse.a, 0.5f);
    ExpectColor(light.GetSpecular(), 1.0f, 0.0f, 1.0f, 0.0f);
    EXPECT_EQ(light.GetRange(), 12.0f);
    EXPECT_EQ(light.GetPosition().z, 3.0f);
    EXPECT_EQ(light.GetDirection().y, 1.0f);
    EXPECT_EQ(light.GetAttenuation().y, 0.5f);
    EXPECT_EQ(light.Record().Attenuation2, 0.25f);
    EXPECT_EQ(light.GetPhi(), 0.5f);
    EXPECT_EQ(light.GetTheta(), 0.25f);
    EXPECT_EQ(light.GetFalloff(), 0.0f);
    EXPECT_FALSE(light.IsShadowPerspective());
    EXPECT_EQ(light.GetShadowBox().z, 30.0f);
    EXPECT_STREQ(light.GetName().c_str(), "lamp");
    EXPECT_EQ(light.GetChanges(), 11u);

    light.EditRecord().Falloff = 2.0f;
    EXPECT_EQ(light.GetFalloff(), 2.0f);
    EXPECT_EQ(light.GetChanges(), 12u);
}

TEST(Light, ARecordGoesStaleOnlyThroughASetter) {
    PointLight light;
    EXPECT_FALSE(light.IsRecordCurrent());  // never sent
    light.MarkRecordSent();
    EXPECT_TRUE(light.IsRecordCurrent());
    // The light set's own counting keeps the record current...
    light.CountDeviceChange();
    light.SetEnabled(false);
    EXPECT_TRUE(light.IsRecordCurrent());
    EXPECT_EQ(light.GetChanges(), 2u);
    // ...a setter does not.
    light.SetRange(3.0f);
    EXPECT_FALSE(light.IsRecordCurrent());
    light.CountDeviceChange();
    EXPECT_FALSE(light.IsRecordCurrent());
    light.MarkRecordSent();
    light.MarkRecordLost();
    EXPECT_FALSE(light.IsRecordCurrent());
}

TEST(Light, QueryTypeAnswersItsOwnTypeAndLight) {
    PointLight point;
    SpotLight spot;
    void* out = nullptr;
    EXPECT_TRUE(point.QueryType(PointLightTypeId(), &out));
    EXPECT_EQ(out, static_cast<void*>(&point));
    EXPECT_TRUE(point.QueryType(LightTypeId(), &out));
    EXPECT_EQ(out, static_cast<void*>(static_cast<Light*>(&point)));
    EXPECT_FALSE(point.QueryType(SpotLightTypeId(), &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(QueryAs<SpotLight>(&spot, SpotLightTypeId()), &spot);
    EXPECT_EQ(QueryAs<Light>(&spot, DirLightTypeId()), nullptr);
    EXPECT_NE(PointLightTypeId(), SpotLightTypeId());
    EXPECT_NE(DirLightTypeId(), LightTypeId());
}

TEST(Light, AttenuationAndItsCap) {
    struct Row {
        f32 a0, a1, a2, dist, factor;
    };
    const Row rows[] = {
        {1.0f, 0.0f, 0.0f, 0.0f, 1000.0f},   // at the light itself
        {1.0f, 0.0f, 0.25f, 2.0f, 0.5f},     // 1 / (1 + 0.25 * 4)
        {0.0f, 1.0f, 0.0f, 4.0f, 0.25f},     // linear
        {0.0f, 0.0f, 0.0f, 2.0f, 1000.0f},   // denominator 0: capped, no division by zero
        {-1.0f, 0.0f, 0.0f, 2.0f, 1000.0f},  // negative denominator: capped, never negative
        {1.0f, -1.0f, 0.0f, 3.0f, 1000.0f},  // 1 - 3 < 0
    };
    for (const Row& row : rows) {
        PointLight light;
        light.SetAttenuation(row.a0, row.a1, row.a2);
        EXPECT_FLOAT_EQ(light.Attenuate(row.dist), row.factor) << row.a0 << " " << row.a1 << " " << row.dist;
    }
}

TEST(Light, PointLightReach) {
    RefHandle<Light> light = MakePoint(0.0f, 0.0f, 0.0f, 10.0f);
    // A unit box 20 units away: not reached, and no influence (20 - 1 = 19 > 10).
    EXPECT_EQ(light->Reaches(MakeBox(20.0f, 0.0f, 0.0f, 1.0f)), 0);
    EXPECT_EQ(light->Influence(MakeBox(20.0f, 0.0f, 0.0f, 1.0f)), 0.0f);
    // Wholly inside a large object's box.
    EXPECT_EQ(light->Reaches(MakeBox(0.0f, 0.0f, 0.0f, 50.0f)), 2);
    // A small object well inside the reach holds none of its corners, yet it is reached.
    EXPECT_EQ(light->Reaches(MakeBox(1.0f, 1.0f, 1.0f, 1.0f)), 1);
    // A plank through the reach cube: no corner inside either way, still reached.
    Box plank = MakeBox(0.0f, 0.0f, 0.0f, 1.0f);
    plank.x = 0.0f;
    plank.w = 100.0f;
    EXPECT_EQ(light->Reaches(plank), 1);
    // Some corners inside.
    EXPECT_EQ(light->Reaches(MakeBox(10.0f, 10.0f, 10.0f, 4.0f)), 1);
    // Just beyond the reach on one axis only.
    EXPECT_EQ(light->Reaches(MakeBox(11.0f, 0.0f, 0.0f, 1.9f)), 0);
    EXPECT_EQ(light->Reaches(MakeBox(0.0f, -11.0f, 0.0f, 1.9f)), 0);
    EXPECT_EQ(light->Reaches(MakeBox(0.0f, 0.0f, 11.0f, 1.9f)), 0);
}

TEST(Light, ACornerOnTheObjectSurfaceIsNotInside) {
    // Reach cube [3, 5] on each axis; the object spans [-5, 5]: only the corner (3, 3, 3)
    // is inside, the seven others lie on the object's faces.
    RefHandle<Light> light = MakePoint(4.0f, 4.0f, 4.0f, 1.0f);
    EXPECT_EQ(light->Reaches(MakeBox(0.0f, 0.0f, 0.0f, 10.0f)), 1);
    // Moved in by a little more than the tolerance, all eight are inside.
    light->SetPosition(3.999f, 3.999f, 3.999f);
    EXPECT_EQ(light->Reaches(MakeBox(0.0f, 0.0f, 0.0f, 10.0f)), 2);
}

TEST(Light, ANegativeRangeReachesNothing) {
    RefHandle<Light> point = MakePoint(0.0f, 0.0f, 0.0f, -5.0f);
    EXPECT_EQ(point->Reaches(MakeBox(0.0f, 0.0f, 0.0f, 1.0f)), 0);
    FColor c;
    EXPECT_FALSE(point->ColorAt(0.5f, 0.0f, 0.0f, c));
    RefHandle<Light> spot = MakeSpot(-5.0f, 0.5f, 0.25f);
    EXPECT_EQ(spot->Reaches(MakeBox(0.0f, 0.0f, -2.0f, 1.0f)), 0);
}

TEST(Light, SpotLightReach) {
    // Range 10 along +z (a direction of length 2 is normalised), Phi 45 degrees: the reach
    // cube is centred at z = 5 with side 2 * sqrt(10^2 + 10^2) = 28.28.
    RefHandle<Light> spot = MakeSpot(10.0f, 0.7853982f, 0.5f);
    spot->SetDirection(0.0f, 0.0f, 2.0f);
    EXPECT_EQ(spot->Reaches(MakeBox(0.0f, 0.0f, 5.0f, 28.4f)), 2);
    EXPECT_EQ(spot->Reaches(MakeBox(0.0f, 0.0f, 5.0f, 28.2f)), 1);  // the object inside the reach
    EXPECT_EQ(spot->Reaches(MakeBox(0.0f, 0.0f, 5.0f, 1.0f)), 1);
    EXPECT_EQ(spot->Reaches(MakeBox(0.0f, 0.0f, 19.0f, 0.2f)), 1);  // z up to 19.14
    EXPECT_EQ(spot->Reaches(MakeBox(0.0f, 0.0f, 20.0f, 1.0f)), 0);
    EXPECT_EQ(spot->Reaches(MakeBox(0.0f, 0.0f, -10.0f, 1.0f)), 0);  // z down to -9.14
    // Zero range or zero direction never reaches anything.
    RefHandle<Light> shortSpot = MakeSpot(0.001f, 0.5f, 0.25f);
    EXPECT_EQ(shortSpot->Reaches(MakeBox(0.0f, 0.0f, 0.0f, 100.0f)), 0);
    spot->SetDirection(0.0f, 0.0f, 0.000001f);
    EXPECT_EQ(spot->Reaches(MakeBox(0.0f, 0.0f, 0.0f, 100.0f)), 0);
    FColor c;
    EXPECT_FALSE(spot->ColorAt(0.0f, 0.0f, 1.0f, c));
    EXPECT_EQ(spot->Influence(MakeBox(0.0f, 0.0f, 5.0f, 1.0f)), 0.0f);
}

TEST(Light, DirLightReachesEverything) {
    RefHandle<Light> dir = MakeDir(Argb(0.5f, 0.6f, 0.0f, 0.8f));
    EXPECT_EQ(dir->Reaches(MakeBox(1e6f, -1e6f, 0.0f, 0.0f)), 2);
    FColor c;
    EXPECT_TRUE(dir->ColorAt(1e6f, 0.0f, 0.0f, c));
    ExpectColor(c, 0.5f, 0.6f, 0.0f, 0.8f);
    EXPECT_FLOAT_EQ(dir->Influence(MakeBox(0.0f, 0.0f, 0.0f, 1.0f)), 0.5f);  // sqrt(0.36 + 0.64) * 0.5
}

TEST(Light, PointLightColour) {
    RefHandle<Light> light = MakePoint(1.0f, 2.0f, 3.0f, 10.0f);
    light->SetDiffuse(Argb(0.5f, 0.25f, 0.5f, 1.0f));
    FColor c;
    // At the light itself: the diffuse colour times 1000, alpha included.
    ASSERT_TRUE(light->ColorAt(1.0f, 2.0f, 3.0f, c));
    ExpectColor(c, 500.0f, 250.0f, 500.0f, 1000.0f);
    // Exactly at the range: lit.
    light->SetAttenuation(0.0f, 1.0f, 0.0f);
    ASSERT_TRUE(light->ColorAt(11.0f, 2.0f, 3.0f, c));
    ExpectColor(c, 0.05f, 0.025f, 0.05f, 0.1f);
    EXPECT_FALSE(light->ColorAt(11.01f, 2.0f, 3.0f, c));
    // With no attenuation at all the colour is capped, not infinite.
    light->SetAttenuation(0.0f, 0.0f, 0.0f);
    ASSERT_TRUE(light->ColorAt(4.0f, 2.0f, 3.0f, c));
    EXPECT_FLOAT_EQ(c.b, 1000.0f);
}

TEST(Light, PointLightInfluence) {
    RefHandle<Light> light = MakePoint(0.0f, 0.0f, 0.0f, 10.0f);
    light->SetDiffuse(Argb(1.0f, 1.0f, 0.0f, 0.0f));
    light->SetAttenuation(0.0f, 1.0f, 0.0f);
    // dist = 3 - 1 = 2, f = 0.5: f^2 * |rgb| * a.
    EXPECT_FLOAT_EQ(light->Influence(MakeBox(3.0f, 0.0f, 0.0f, 1.0f)), 0.25f);
    // The largest side counts.
    Box box = MakeBox(5.0f, 0.0f, 0.0f, 1.0f);
    box.h = 3.0f;
    EXPECT_FLOAT_EQ(light->Influence(box), 0.25f);
    EXPECT_EQ(light->Influence(MakeBox(12.5f, 0.0f, 0.0f, 1.0f)), 0.0f);
}

TEST(Light, SpotLightColourAndItsConeEdge) {
    RefHandle<Light> spot = MakeSpot(10.0f, 0.7f, 0.1f);
    spot->SetDiffuse(Argb(1.0f, 0.5f, 0.25f, 1.0f));
    spot->EditRecord().Falloff = 1.0f;
    FColor c;
    // On the axis: the full attenuated colour.
    ASSERT_TRUE(spot->ColorAt(0.0f, 0.0f, 5.0f, c));
    ExpectColor(c, 1.0f, 0.5f, 0.25f, 1.0f);
    EXPECT_FALSE(spot->ColorAt(0.0f, 0.0f, 10.5f, c));  // beyond the range
    EXPECT_FALSE(spot->ColorAt(0.0f, 0.0f, -5.0f, c));  // behind

    // The point (3, 0, 4) sees the axis under k = 0.8: an outer cone whose cosine is
    // exactly 0.8 lights it with factor 0 (0 to the power Falloff).
    const f32 k = 0.8f;
    f32 phi = std::acos(k);
    bool found = false;
    for (int i = 0; i < 64 && !found; ++i) {
        for (f32 candidate : {std::nextafter(phi, 0.0f), phi, std::nextafter(phi, 2.0f)}) {
            if (std::cos(candidate) == k) {
                phi = candidate;
                found = true;
                break;
            }
        }
        if (!found) phi = std::nextafter(phi, std::cos(phi) > k ? 2.0f : 0.0f);
    }
    ASSERT_TRUE(found);
    spot->SetPhi(phi);
    ASSERT_TRUE(spot->ColorAt(3.0f, 0.0f, 4.0f, c));
    ExpectColor(c, 0.0f, 0.0f, 0.0f, 0.0f);
    // Just outside the outer cone: not lit.
    EXPECT_FALSE(spot->ColorAt(3.01f, 0.0f, 4.0f, c));
    // Half way between the cones' cosines: factor 0.5 with Falloff 1, 0.25 with Falloff 2.
    spot->SetTheta(0.0f);  // cos 1
    spot->SetPhi(std::acos(0.6f));
    ASSERT_TRUE(spot->ColorAt(3.0f, 0.0f, 4.0f, c));
    EXPECT_NEAR(c.r, 0.25f, 1e-5f);
    spot->EditRecord().Falloff = 2.0f;
    ASSERT_TRUE(spot->ColorAt(3.0f, 0.0f, 4.0f, c));
    EXPECT_NEAR(c.r, 0.125f, 1e-5f);
    // An inner cone as wide as the outer one: lit fully up to the edge, no division by 0.
    spot->SetTheta(0.7f);
    spot->SetPhi(0.7f);
    ASSERT_TRUE(spot->ColorAt(0.5f, 0.0f, 4.0f, c));
    EXPECT_FLOAT_EQ(c.r, 0.5f);
}

TEST(LightingInfo, StartsWhiteAndEmpty) {
    LightingInfo info;
    EXPECT_EQ(info.signature, 0u);
    ExpectColor(info.ambient, 1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(info.LightCount(), 0);
    EXPECT_EQ(info.LightAt(0), nullptr);
}

TEST(LightingInfo, GatherForBoxTakesTheLightsThatReach) {
    RefHandle<Light> dir = MakeDir(Argb(1.0f, 1.0f, 1.0f, 1.0f));
    RefHandle<Light> distant = MakePoint(100.0f, 0.0f, 0.0f, 5.0f);
    RefHandle<Light> nearby = MakePoint(1.0f, 0.0f, 0.0f, 5.0f);
    LightingInfo group;
    group.ambient = Argb(1.0f, 0.2f, 0.3f, 0.4f);
    group.signature = 0x55u;
    group.AddLight(dir);
    group.AddLight(distant);
    group.AddLight(nearby);

    LightingInfo target;
    EXPECT_EQ(group.GatherForBox(MakeBox(0.0f, 0.0f, 0.0f, 2.0f), target), 1);  // nearby is partly inside
    ExpectColor(target.ambient, 1.0f, 0.2f, 0.3f, 0.4f);
    EXPECT_EQ(LightsOf(target), (std::vector<Light*>{dir.Get(), nearby.Get()}));
    const u32 once = (0x55u ^ dir->GetSequence()) + (0x55u ^ nearby->GetSequence());
    EXPECT_EQ(target.signature, once);
    EXPECT_EQ(dir.UseCount(), 3u);  // test, group, target

    // Again into the same target: no light twice, but the signature grows again.
    EXPECT_EQ(group.GatherForBox(MakeBox(0.0f, 0.0f, 0.0f, 2.0f), target), 1);
    EXPECT_EQ(target.LightCount(), 2);
    EXPECT_EQ(target.signature, 2 * once);

    // Only the directional light reaches a box far off: wholly, 2.
    LightingInfo lone;
    EXPECT_EQ(group.GatherForBox(MakeBox(0.0f, 50.0f, 0.0f, 1.0f), lone), 2);
    EXPECT_EQ(LightsOf(lone), (std::vector<Light*>{dir.Get()}));

    // No light at all: 2 and the ambient colour.
    LightingInfo dark;
    dark.ambient = Argb(1.0f, 0.5f, 0.5f, 0.5f);
    dark.AddLight(distant);
    LightingInfo none;
    EXPECT_EQ(dark.GatherForBox(MakeBox(0.0f, 0.0f, 0.0f, 1.0f), none), 2);
    EXPECT_EQ(none.LightCount(), 0);
    ExpectColor(none.ambient, 1.0f, 0.5f, 0.5f, 0.5f);
    EXPECT_EQ(none.signature, 0u);

    // Through a shared record; a null one gathers nothing.
    RefHandle<LightingInfo> shared(new LightingInfo);
    EXPECT_EQ(group.GatherForBox(MakeBox(0.0f, 0.0f, 0.0f, 2.0f), shared), 1);
    EXPECT_EQ(shared->LightCount(), 2);
    EXPECT_EQ(group.GatherForBox(MakeBox(0.0f, 0.0f, 0.0f, 2.0f), RefHandle<LightingInfo>()), 2);
}

TEST(LightingInfo, GatherForNodeSaysWhetherTheSubtreeHasLights) {
    RefHandle<Light> nearby = MakePoint(1.0f, 0.0f, 0.0f, 5.0f);
    LightingInfo view;
    view.ambient = Argb(1.0f, 0.1f, 0.1f, 0.1f);
    view.AddLight(nearby);
    LightingInfo lit;
    EXPECT_EQ(LightSet::GatherForNode(view, lit, MakeBox(0.0f, 0.0f, 0.0f, 1.0f)), 1);
    EXPECT_EQ(LightsOf(lit), (std::vector<Light*>{nearby.Get()}));
    LightingInfo unlit;
    EXPECT_EQ(LightSet::GatherForNode(view, unlit, MakeBox(50.0f, 0.0f, 0.0f, 1.0f)), 2);
    EXPECT_EQ(unlit.LightCount(), 0);
    ExpectColor(unlit.ambient, 1.0f, 0.1f, 0.1f, 0.1f);
    // A light that holds the whole box still gives 1: the subtree gathers from the
    // smaller set.
    RefHandle<Light> dir = MakeDir(Argb(1.0f, 1.0f, 1.0f, 1.0f));
    LightingInfo sun;
    sun.AddLight(dir);
    LightingInfo below;
    EXPECT_EQ(LightSet::GatherForNode(sun, below, MakeBox(0.0f, 0.0f, 0.0f, 1.0f)), 1);
}

TEST(LightingInfo, UpdateKeyFoldsTheCreationNumbers) {
    RefHandle<Light> a = MakePoint(0.0f, 0.0f, 0.0f, 1.0f);
    RefHandle<Light> b = MakePoint(0.0f, 0.0f, 0.0f, 1.0f);
    LightingInfo info;
    info.signature = 1234;
    info.UpdateKey();
    EXPECT_EQ(info.signature, 0u);
    info.AddLight(a);
    info.AddLight(b);
    info.UpdateKey();
    u32 key = 0;
    key = (a->GetSequence() ^ key) + key;
    key = (b->GetSequence() ^ key) + key;
    EXPECT_EQ(info.signature, key);
    // The same lights in another record: the same key.
    LightingInfo again;
    again.AddLight(a);
    again.AddLight(b);
    again.UpdateKey();
    EXPECT_EQ(again.signature, info.signature);
}

TEST(LightingInfo, LimitLights) {
    RefHandle<Light> s1 = MakeSpot(5.0f, 0.5f, 0.25f);
    RefHandle<Light> s2 = MakeSpot(5.0f, 0.5f, 0.25f);
    RefHandle<Light> s3 = MakeSpot(5.0f, 0.5f, 0.25f);
    auto fill = [&](LightingInfo& info) {
        info.ClearLights();
        info.AddLight(s1);
        info.AddLight(s2);
        info.AddLight(s3);
    };
    const Box box = MakeBox(0.0f, 0.0f, 1.0f, 1.0f);
    LightingInfo info;
    fill(info);
    info.LimitLights(box, 0);
    EXPECT_EQ(info.LightCount(), 0);
    fill(info);
    info.LimitLights(box, -1);
    EXPECT_EQ(LightsOf(info), (std::vector<Light*>{s1.Get(), s2.Get(), s3.Get()}));
    // Equal influence: a limit keeps the first lights of the list.
    fill(info);
    info.LimitLights(box, 2);
    EXPECT_EQ(LightsOf(info), (std::vector<Light*>{s1.Get(), s2.Get()}));
    fill(info);
    info.LimitLights(box, 5);
    EXPECT_EQ(info.LightCount(), 3);
    EXPECT_EQ(s1.UseCount(), 2u);  // no handle lost or doubled on the way

    // Lights of equal influence come together, groups in the order they first occurred.
    RefHandle<Light> dirA = MakeDir(Argb(1.0f, 1.0f, 0.0f, 0.0f));
    RefHandle<Light> dirB = MakeDir(Argb(1.0f, 0.0f, 1.0f, 0.0f));  // same intensity as dirA
    LightingInfo mixed;
    mixed.AddLight(dirA);
    mixed.AddLight(s1);
    mixed.AddLight(dirB);
    mixed.AddLight(s2);
    mixed.LimitLights(box, 3);
    EXPECT_EQ(LightsOf(mixed), (std::vector<Light*>{dirA.Get(), dirB.Get(), s1.Get()}));
}

// The bookkeeping of the light set, without a device: indices, enabled and parked lights.
class LightSetBookkeeping : public ::testing::Test {
protected:
    void SetUp() override {
        if (TheDevice()) GTEST_SKIP() << "a device is published";
        set.Reset();
    }
    void TearDown() override { set.Reset(); }

    LightSet& set = TheLightSet();
};

TEST_F(LightSetBookkeeping, IndicesAreHandedOutAndKeptWhileParked) {
    RefHandle<Light> a = MakePoint(0.0f, 0.0f, 0.0f, 1.0f);
    RefHandle<Light> b = MakePoint(0.0f, 0.0f, 0.0f, 1.0f);
    RefHandle<Light> c = MakePoint(0.0f, 0.0f, 0.0f, 1.0f);
    RefHandle<LightingInfo> ab(new LightingInfo);
    ab->AddLight(a);
    ab->AddLight(b);
    RefHandle<LightingInfo> onlyC(new LightingInfo);
    onlyC->AddLight(c);

    set.Apply(ab);
    EXPECT_EQ(a->GetIndex(), 0);
    EXPECT_EQ(b->GetIndex(), 1);
    EXPECT_TRUE(a->IsActive());
    EXPECT_EQ(set.EnabledCount(), 2u);
    EXPECT_EQ(a->GetChanges(), 5u);  // three setters, the upload and the enabling

    set.Apply(onlyC);
    EXPECT_EQ(c->GetIndex(), 2);
    EXPECT_FALSE(a->IsActive());
    EXPECT_TRUE(set.IsParked(a.Get()));
    EXPECT_EQ(a->GetIndex(), 0);  // kept while parked
    EXPECT_EQ(set.ParkedCount(), 2u);

    set.Apply(ab);
    EXPECT_EQ(a->GetIndex(), 0);
    EXPECT_EQ(b->GetIndex(), 1);
    EXPECT_TRUE(set.IsEnabled(a.Get()));
    EXPECT_TRUE(set.IsParked(c.Get()));
    EXPECT_EQ(set.ParkedCount(), 1u);

    // A null record does nothing.
    set.Apply(RefHandle<LightingInfo>());
    EXPECT_EQ(set.EnabledCount(), 2u);

    set.Reset();
    EXPECT_EQ(a->GetIndex(), -1);
    EXPECT_FALSE(a->IsActive());
    EXPECT_EQ(set.EnabledCount() + set.ParkedCount(), 0u);
    EXPECT_EQ(a.UseCount(), 2u);  // the test and the record
}
