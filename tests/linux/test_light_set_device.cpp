// The light set against the reference device: which SetLight and LightEnable calls reach
// it, in which order, with which indices, and the ambient state through the state cache.
#include "PlatformD3d9Support.h"

#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"
#include "Effect/LightSet.h"

#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

RefHandle<Light> MakePoint(f32 x) {
    auto* light = new PointLight;
    light->SetPosition(x, 0.0f, 0.0f);
    light->SetRange(10.0f);
    light->SetAttenuation(1.0f, 0.0f, 0.0f);
    return RefHandle<Light>(light);
}

RefHandle<LightingInfo> InfoOf(std::initializer_list<RefHandle<Light>> lights, u32 ambient = 0xFF202020u) {
    RefHandle<LightingInfo> info(new LightingInfo);
    info->ambient = FColor::FromPacked(ambient);
    for (const RefHandle<Light>& light : lights) info->AddLight(light);
    return info;
}

std::string Call(const char* method, i32 index, u32 value) {
    return std::string(method) + "(" + std::to_string(index) + ", " + std::to_string(value) + ")";
}

// Every call that mentions a light, and the ambient state.
Calls LightCalls() {
    Calls out;
    for (const std::string& call : PlatformTest_D3d9CallLog())
        if (call.rfind("SetLight", 0) == 0 || call.rfind("LightEnable", 0) == 0 ||
            call.rfind("SetRenderState(139,", 0) == 0)
            out.push_back(call);
    PlatformTest_D3d9ClearCallLog();
    return out;
}

class LightSetDevice : public platformd3d9::ReferenceD3d9 {
protected:
    void SetUp() override {
        ReferenceD3d9::SetUp();
        Open();
        PublishDevice(device);
        StateCache::InvalidateAll();
        set.Reset();
        PlatformTest_D3d9ClearCallLog();
    }
    void TearDown() override {
        set.Reset();
        StateCache::InvalidateAll();
        PublishDevice(nullptr);
        ReferenceD3d9::TearDown();
    }

    LightSet& set = TheLightSet();
};

}  // namespace

TEST_F(LightSetDevice, ASecondApplyOfTheSameLightsSendsNothing) {
    RefHandle<Light> a = MakePoint(0.0f);
    RefHandle<Light> b = MakePoint(1.0f);
    RefHandle<LightingInfo> info = InfoOf({a, b});
    set.Apply(info);
    EXPECT_EQ(LightCalls(), (Calls{"SetRenderState(139, 4280295456)", "SetLight(0, 1)", "LightEnable(0, 1)",
                                   "SetLight(1, 1)", "LightEnable(1, 1)"}));
    D3DLIGHT9 held{};
    ASSERT_EQ(device->GetLight(1, &held), D3D_OK);
    EXPECT_EQ(held.Position.x, 1.0f);
    EXPECT_EQ(held.Range, 10.0f);

    set.Apply(info);
    EXPECT_EQ(LightCalls(), Calls{});  // the ambient state too: the cache drops it
    EXPECT_EQ(PlatformTest_D3d9CallLog().size(), 0u);
}

TEST_F(LightSetDevice, AChangedLightIsSentAgainOnce) {
    RefHandle<Light> sun = MakePoint(0.0f);
    RefHandle<LightingInfo> info = InfoOf({sun});
    set.Apply(info);
    LightCalls();
    sun->SetPosition(5.0f, 6.0f, 7.0f);
    set.Apply(info);
    EXPECT_EQ(LightCalls(), Calls{"SetLight(0, 1)"});
    D3DLIGHT9 held{};
    ASSERT_EQ(device->GetLight(0, &held), D3D_OK);
    EXPECT_EQ(held.Position.z, 7.0f);
    set.Apply(info);
    EXPECT_EQ(LightCalls(), Calls{});

    // Changed while parked: sent again when it comes back.
    RefHandle<Light> other = MakePoint(2.0f);
    set.Apply(InfoOf({other}));
    LightCalls();
    sun->SetDiffuse(FColor::FromRgb(1.0f, 0.5f, 0.0f));
    set.Apply(info);
    EXPECT_EQ(LightCalls(), (Calls{"SetLight(0, 1)", "LightEnable(0, 1)", "LightEnable(1, 0)"}));
}

TEST_F(LightSetDevice, ParkedLightsComeBackWithTheirIndexAndNoRecord) {
    RefHandle<Light> a = MakePoint(0.0f);
    RefHandle<Light> b = MakePoint(1.0f);
    RefHandle<Light> c = MakePoint(2.0f);
    RefHandle<LightingInfo> ab = InfoOf({a, b});
    RefHandle<LightingInfo> onlyC = InfoOf({c});
    set.Apply(ab);
    LightCalls();
    set.Apply(onlyC);
    // Disabled in creation order after the new light is enabled.
    EXPECT_EQ(LightCalls(), (Calls{"SetLight(2, 1)", "LightEnable(2, 1)", "LightEnable(0, 0)", "LightEnable(1, 0)"}));
    set.Apply(ab);
    EXPECT_EQ(LightCalls(), (Calls{"LightEnable(0, 1)", "LightEnable(1, 1)", "LightEnable(2, 0)"}));
    BOOL enabled = TRUE;
    ASSERT_EQ(device->GetLightEnable(2, &enabled), D3D_OK);
    EXPECT_EQ(enabled, FALSE);
    ASSERT_EQ(device->GetLightEnable(0, &enabled), D3D_OK);
    EXPECT_EQ(enabled, TRUE);
}

TEST_F(LightSetDevice, OneMoreLightThanIndicesIsSkippedNeverSentToMinusOne) {
    std::vector<RefHandle<Light>> lights;
    RefHandle<LightingInfo> all(new LightingInfo);
    for (int i = 0; i <= LightSet::kLastIndex; ++i) {
        lights.push_back(MakePoint(static_cast<f32>(i)));
        all->AddLight(lights.back());
    }
    set.Apply(all);
    EXPECT_EQ(set.EnabledCount(), 101u);
    EXPECT_EQ(lights.back()->GetIndex(), 100);
    LightCalls();

    RefHandle<Light> extra = MakePoint(500.0f);
    all->AddLight(extra);
    set.Apply(all);
    EXPECT_EQ(LightCalls(), Calls{});
    EXPECT_EQ(extra->GetIndex(), -1);
    EXPECT_FALSE(extra->IsActive());
    EXPECT_FALSE(set.IsEnabled(extra.Get()));
    for (const std::string& call : PlatformTest_D3d9CallLog()) EXPECT_EQ(call.find("4294967295"), std::string::npos);

    // Once the others are parked, the light parked longest ago gives its index up: all
    // were parked together, in creation order, so the first of them after the one kept.
    set.Apply(InfoOf({lights[0]}));
    EXPECT_EQ(set.ParkedCount(), 100u);
    LightCalls();
    set.Apply(InfoOf({lights[0], extra}));
    EXPECT_EQ(LightCalls(), (Calls{"SetLight(1, 1)", "LightEnable(1, 1)"}));
    EXPECT_EQ(extra->GetIndex(), 1);
    EXPECT_EQ(lights[1]->GetIndex(), -1);
    EXPECT_FALSE(set.IsParked(lights[1].Get()));
    // It comes back with a fresh index when needed again.
    set.Apply(InfoOf({lights[1]}));
    EXPECT_EQ(lights[1]->GetIndex(), 2);
    EXPECT_EQ(LightCalls(), (Calls{"SetLight(2, 1)", "LightEnable(2, 1)", "LightEnable(0, 0)", "LightEnable(1, 0)"}));
}

TEST_F(LightSetDevice, ASwitchedOffLightIsNeverEnabled) {
    RefHandle<Light> a = MakePoint(0.0f);
    RefHandle<Light> b = MakePoint(1.0f);
    b->SetEnabled(false);
    RefHandle<LightingInfo> info = InfoOf({a, b});
    set.Apply(info);
    EXPECT_EQ(LightCalls(), (Calls{"SetRenderState(139, 4280295456)", "SetLight(0, 1)", "LightEnable(0, 1)"}));
    EXPECT_EQ(b->GetIndex(), -1);
    // Switched off while enabled: disabled at the next Apply, and not sent again.
    a->SetEnabled(false);
    set.Apply(info);
    EXPECT_EQ(LightCalls(), Calls{"LightEnable(0, 0)"});
    a->SetEnabled(true);
    b->SetEnabled(true);
    set.Apply(info);
    EXPECT_EQ(LightCalls(), (Calls{"LightEnable(0, 1)", "SetLight(1, 1)", "LightEnable(1, 1)"}));
}

TEST_F(LightSetDevice, ARefusedRecordIsTriedAgain) {
    RefHandle<Light> a = MakePoint(0.0f);
    RefHandle<LightingInfo> info = InfoOf({a});
    PlatformTest_D3d9FailCall("SetLight", 1, D3DERR_INVALIDCALL);
    set.Apply(info);
    // The refused call never reached the device's record.
    EXPECT_EQ(LightCalls(), (Calls{"SetRenderState(139, 4280295456)", "LightEnable(0, 1)"}));
    set.Apply(info);
    EXPECT_EQ(LightCalls(), Calls{"SetLight(0, 1)"});
    set.Apply(info);
    EXPECT_EQ(LightCalls(), Calls{});
}

TEST_F(LightSetDevice, TheAmbientColourFollowsTheRecord) {
    RefHandle<Light> a = MakePoint(0.0f);
    set.Apply(InfoOf({a}, 0xFF102030u));
    LightCalls();
    set.Apply(InfoOf({a}, 0xFF405060u));
    EXPECT_EQ(LightCalls(), Calls{Call("SetRenderState", 139, 0xFF405060u)});
    DWORD ambient = 0;
    ASSERT_TRUE(PlatformTest_D3d9RenderState(device, D3DRS_AMBIENT, &ambient));
    EXPECT_EQ(ambient, 0xFF405060u);
}

TEST_F(LightSetDevice, LimitedLightsReachTheDevice) {
    RefHandle<Light> a = MakePoint(0.0f);
    RefHandle<Light> b = MakePoint(1.0f);
    RefHandle<Light> c = MakePoint(2.0f);
    RefHandle<LightingInfo> info = InfoOf({a, b, c});
    Box box;
    box.w = box.h = box.d = 1.0f;
    // Equal influence everywhere at the centre: the first two lights stay.
    info->LimitLights(box, 2);
    set.Apply(info);
    EXPECT_EQ(LightCalls(), (Calls{"SetRenderState(139, 4280295456)", "SetLight(0, 1)", "LightEnable(0, 1)",
                                   "SetLight(1, 1)", "LightEnable(1, 1)"}));
    EXPECT_EQ(c->GetIndex(), -1);
}

TEST_F(LightSetDevice, AfterAResetEveryLightIsSentAgain) {
    // What a device reset needs: the device forgot its lights, so the set forgets them too.
    RefHandle<Light> a = MakePoint(0.0f);
    RefHandle<LightingInfo> info = InfoOf({a});
    set.Apply(info);
    LightCalls();
    set.Reset();
    StateCache::InvalidateAll();
    EXPECT_EQ(a->GetIndex(), -1);
    set.Apply(info);
    EXPECT_EQ(LightCalls(), (Calls{"SetRenderState(139, 4280295456)", "SetLight(0, 1)", "LightEnable(0, 1)"}));
}

TEST_F(LightSetDevice, TheSetNoticesADeviceThatForgotItsStates) {
    // Every device creation and reset invalidates the state cache; the set follows it
    // without being told, since the device layer knows nothing of lights.
    RefHandle<Light> a = MakePoint(0.0f);
    RefHandle<LightingInfo> info = InfoOf({a});
    set.Apply(info);
    LightCalls();
    set.Apply(info);
    EXPECT_EQ(LightCalls(), Calls{}) << "a steady set sends nothing";
    StateCache::InvalidateAll();
    set.Apply(info);
    EXPECT_EQ(LightCalls(), (Calls{"SetRenderState(139, 4280295456)", "SetLight(0, 1)", "LightEnable(0, 1)"}));
}
