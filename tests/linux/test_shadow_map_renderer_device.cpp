// The shadow-map renderer against the reference device: the storage each kind of device
// gets, the states Begin locks and End gives back bit for bit, the light camera for a
// perspective and an orthographic light, and the passes Begin refuses without touching
// the device.
#include "Core/Vector.h"
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"
#include "D3d/Texture.h"
#include "Effect/Effect.h"
#include "Effect/Light.h"
#include "Effect/ShadowMapRenderer.h"

#include <PlatformTestD3d9.h>
#include <PlatformTestWindows.h>
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

DWORD Bits(f32 value) {
    DWORD bits = 0;
    memcpy(&bits, &value, sizeof(bits));
    return bits;
}

std::string StateCall(D3DRENDERSTATETYPE state, DWORD value) {
    return "SetRenderState(" + std::to_string(static_cast<u32>(state)) + ", " + std::to_string(value) + ")";
}

// The calls since the last look that set states, switch targets, set the viewport or clear.
Calls PassCalls() {
    Calls out;
    for (const std::string& call : PlatformTest_D3d9CallLog())
        for (const char* prefix : {"SetRenderState(", "SetRenderTarget(", "SetDepthStencilSurface(", "SetViewport(", "Clear("})
            if (call.rfind(prefix, 0) == 0) out.push_back(call);
    PlatformTest_D3d9ClearCallLog();
    return out;
}

Calls Starting(const Calls& calls, const std::string& prefix) {
    Calls out;
    for (const std::string& call : calls)
        if (call.rfind(prefix, 0) == 0) out.push_back(call);
    return out;
}

// Remembers what the renderer tells the shadow-map effect.
class RecordingEffect : public Effect {
public:
    bool SetParameters(Material*, i32) override { return true; }
    bool SelectTechnique(Material*, i32, i32&) override { return false; }
    void SetUseDepthTexture(u8 use, u32) override { told.push_back(use); }
    std::vector<u8> told;
};

RefHandle<Light> Spot(Vec3 position, Vec3 direction, f32 range) {
    auto* light = new SpotLight;
    light->SetPosition(position.x, position.y, position.z);
    light->SetDirection(direction.x, direction.y, direction.z);
    light->SetRange(range);
    return RefHandle<Light>(light);
}

constexpr f32 kBias = -0.000205f;
constexpr f32 kSlope = 1.5f;
constexpr f32 kEarlierBias = 0.125f;
constexpr f32 kEarlierSlope = 0.75f;
constexpr DWORD kEarlierColorWrite = D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_BLUE;

class ShadowMapDevice : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformTest_D3d9Reset();
        PlatformTest_ResetWindows();
        SetShadowMapEffect(nullptr);
    }
    void Start(bool depthTextures) {
        PlatformTestD3d9Adapter adapter = PlatformTest_D3d9DefaultAdapter();
        if (!depthTextures) adapter.depthTextureFormats.clear();
        PlatformTest_D3d9SetAdapters({adapter});
        app = std::make_unique<Application>();
        ASSERT_TRUE(app->Create(GetModuleHandleA(nullptr), nullptr));
        ASSERT_TRUE(app->SetMode(false));
        ASSERT_NE(TheDevice(), nullptr);
        StateCache::InvalidateAll();
        // States the pass changes, set to values other than the device's defaults.
        StateCache::SetRenderState(D3DRS_DEPTHBIAS, Bits(kEarlierBias));
        StateCache::SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, Bits(kEarlierSlope));
        StateCache::SetRenderState(D3DRS_COLORWRITEENABLE, kEarlierColorWrite);
        StateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        RememberBackBuffer();
        PlatformTest_D3d9ClearCallLog();
    }
    void RememberBackBuffer() {
        IDirect3DSurface9* target = nullptr;
        ASSERT_EQ(TheDevice()->GetRenderTarget(0, &target), D3D_OK);
        backBuffer = target;
        target->Release();
    }
    void TearDown() override {
        renderer.reset();
        SetShadowMapEffect(nullptr);
        StateCache::InvalidateAll();
        app.reset();
        PlatformTest_D3d9Reset();
        PlatformTest_ResetWindows();
    }
    static DWORD DeviceState(D3DRENDERSTATETYPE state) {
        DWORD value = 0xDEADBEEF;
        EXPECT_EQ(TheDevice()->GetRenderState(state, &value), D3D_OK);
        return value;
    }
    // The three biased states read back exactly as they were before the pass.
    static void ExpectEarlierStates() {
        EXPECT_EQ(DeviceState(D3DRS_DEPTHBIAS), Bits(kEarlierBias));
        EXPECT_EQ(DeviceState(D3DRS_SLOPESCALEDEPTHBIAS), Bits(kEarlierSlope));
        EXPECT_EQ(DeviceState(D3DRS_COLORWRITEENABLE), kEarlierColorWrite);
    }
    static bool AnyLocked() {
        for (D3DRENDERSTATETYPE state :
             {D3DRS_DEPTHBIAS, D3DRS_SLOPESCALEDEPTHBIAS, D3DRS_COLORWRITEENABLE, D3DRS_ALPHABLENDENABLE})
            if (StateCache::IsRenderStateLocked(state)) return true;
        return false;
    }
    IDirect3DSurface9* CurrentTarget() {
        IDirect3DSurface9* target = nullptr;
        EXPECT_EQ(TheDevice()->GetRenderTarget(0, &target), D3D_OK);
        if (target) target->Release();
        return target;
    }
    D3DFORMAT ColorFormat() {
        D3DSURFACE_DESC desc{};
        EXPECT_EQ(renderer->GetColorSurface()->GetDesc(&desc), D3D_OK);
        return desc.Format;
    }

    std::unique_ptr<Application> app;
    std::unique_ptr<ShadowMapRenderer> renderer = std::make_unique<ShadowMapRenderer>();
    IDirect3DSurface9* backBuffer = nullptr;
};

}  // namespace

TEST_F(ShadowMapDevice, ADepthTextureMapBiasesAndSilencesColourOnlyDuringThePass) {
    Start(true);
    ASSERT_TRUE(renderer->Create(512));
    EXPECT_TRUE(renderer->UsesDepthTexture());
    EXPECT_EQ(renderer->GetSize(), 512u);
    EXPECT_EQ(ColorFormat(), D3DFMT_A8R8G8B8);
    PlatformTest_D3d9ClearCallLog();

    ASSERT_TRUE(renderer->Begin(Spot({0, 10, 0}, {0, -1, 0}, 50.0f), 1, kBias, kSlope));
    const Calls begin = PassCalls();
    EXPECT_EQ(Starting(begin, "SetRenderState("),
              (Calls{StateCall(D3DRS_DEPTHBIAS, Bits(kBias)), StateCall(D3DRS_SLOPESCALEDEPTHBIAS, Bits(kSlope)),
                     StateCall(D3DRS_COLORWRITEENABLE, 0), StateCall(D3DRS_ALPHABLENDENABLE, FALSE)}));
    const Calls clears = Starting(begin, "Clear(");
    ASSERT_EQ(clears.size(), 1u);
    EXPECT_EQ(clears[0].rfind("Clear(0, 0x2,", 0), 0u) << clears[0];  // depth only
    const Calls viewports = Starting(begin, "SetViewport(");
    ASSERT_EQ(viewports.size(), 1u);
    EXPECT_EQ(viewports[0].rfind("SetViewport(0, 0, 512, 512", 0), 0u) << viewports[0];
    EXPECT_EQ(renderer->GetDepthBias(), kBias);
    EXPECT_EQ(CurrentTarget(), renderer->GetColorSurface());

    // A material drawn into the map cannot switch blending or colour writes back on.
    for (D3DRENDERSTATETYPE state :
         {D3DRS_DEPTHBIAS, D3DRS_SLOPESCALEDEPTHBIAS, D3DRS_COLORWRITEENABLE, D3DRS_ALPHABLENDENABLE})
        EXPECT_TRUE(StateCache::IsRenderStateLocked(state)) << state;
    StateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    StateCache::SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    StateCache::SetRenderState(D3DRS_DEPTHBIAS, 0);
    EXPECT_EQ(PassCalls(), Calls{});
    EXPECT_EQ(DeviceState(D3DRS_COLORWRITEENABLE), 0u);
    EXPECT_EQ(DeviceState(D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(FALSE));

    ASSERT_TRUE(renderer->End());
    EXPECT_FALSE(AnyLocked());
    ExpectEarlierStates();
    // Blending stays off until someone sets it, and then it may be set again.
    EXPECT_EQ(DeviceState(D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(FALSE));
    EXPECT_EQ(CurrentTarget(), backBuffer);
    StateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    EXPECT_EQ(DeviceState(D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(TRUE));
    EXPECT_FALSE(renderer->End());  // no pass open
}

TEST_F(ShadowMapDevice, AColourMapIsR32fClearedToWhiteAndLeavesBiasAndColourWritesAlone) {
    Start(false);
    ASSERT_TRUE(renderer->Create(256));
    EXPECT_FALSE(renderer->UsesDepthTexture());
    EXPECT_EQ(renderer->GetDepthTexture(), nullptr);
    EXPECT_NE(renderer->GetDepthSurface(), nullptr);
    EXPECT_EQ(ColorFormat(), D3DFMT_R32F);
    RecordingEffect effect;
    SetShadowMapEffect(&effect);
    PlatformTest_D3d9ClearCallLog();

    for (int frame = 0; frame < 2; ++frame) {
        ASSERT_TRUE(renderer->Begin(Spot({0, 10, 0}, {0, -1, 0}, 50.0f), 1, kBias, kSlope));
        const Calls begin = PassCalls();
        EXPECT_EQ(Starting(begin, "SetRenderState("),
                  frame == 0 ? Calls{StateCall(D3DRS_ALPHABLENDENABLE, FALSE)} : Calls{});
        const Calls clears = Starting(begin, "Clear(");
        ASSERT_EQ(clears.size(), 1u);
        EXPECT_EQ(clears[0], "Clear(0, 0x3, 0xFFFFFFFF, 1, 0)");  // colour to white, and depth
        EXPECT_TRUE(StateCache::IsRenderStateLocked(D3DRS_ALPHABLENDENABLE));
        EXPECT_FALSE(StateCache::IsRenderStateLocked(D3DRS_COLORWRITEENABLE));
        EXPECT_FALSE(StateCache::IsRenderStateLocked(D3DRS_DEPTHBIAS));
        ASSERT_TRUE(renderer->End());
        EXPECT_EQ(Starting(PassCalls(), "SetRenderState("), Calls{});
        EXPECT_FALSE(AnyLocked());
    }
    ExpectEarlierStates();
    EXPECT_EQ(CurrentTarget(), backBuffer);
    SetShadowMapEffect(nullptr);
    EXPECT_EQ(effect.told, (std::vector<u8>{0, 0}));
}

TEST_F(ShadowMapDevice, APerspectiveLightLooksAlongItsConeOutToItsRange) {
    Start(true);
    ASSERT_TRUE(renderer->Create(128));
    ASSERT_TRUE(renderer->Begin(Spot({1, 2, 3}, {0, 0, 2}, 40.0f), 1, kBias, kSlope));
    SceneCamera& camera = renderer->GetCamera();
    camera.Update();
    EXPECT_EQ(camera.perspective, 1);
    EXPECT_EQ(camera.nearPlane, 0.01f);
    EXPECT_EQ(camera.farPlane, 40.0f);
    EXPECT_EQ(camera.fieldOfView, 1.5707964f);
    EXPECT_EQ(camera.aspect, 1.0f);
    EXPECT_EQ(camera.eye.x, 1.0f);
    EXPECT_EQ(camera.eye.y, 2.0f);
    EXPECT_EQ(camera.eye.z, 3.0f);
    EXPECT_EQ(camera.direction.z, 2.0f);
    EXPECT_NEAR(Vec3Length(camera.up), 1.0f, 1e-6f);
    EXPECT_NEAR(Vec3Dot(camera.up, camera.direction), 0.0f, 1e-6f);
    EXPECT_TRUE(renderer->End());
}

TEST_F(ShadowMapDevice, AnOrthographicLightUsesItsShadowBoxWhateverItsRange) {
    Start(true);
    ASSERT_TRUE(renderer->Create(128));
    auto* sun = new DirLight;
    sun->SetDirection(0.0f, -1.0f, 1.0f);
    sun->SetPosition(0.0f, 100.0f, -100.0f);
    sun->SetRange(5.0f);
    sun->SetShadowPerspective(0);
    sun->SetShadowBox(30.0f, 20.0f, 400.0f);
    ASSERT_TRUE(renderer->Begin(RefHandle<Light>(sun), 1, kBias, kSlope));
    SceneCamera& camera = renderer->GetCamera();
    camera.Update();
    EXPECT_EQ(camera.perspective, 0);
    EXPECT_EQ(camera.nearPlane, 0.01f);
    EXPECT_EQ(camera.orthoWidth, 30.0f);
    EXPECT_EQ(camera.orthoHeight, 20.0f);
    EXPECT_EQ(camera.orthoDepth, 400.0f);
    EXPECT_FLOAT_EQ(camera.farPlane, 400.01f);
    // An orthographic projection scales x by 2 / width and y by 2 / height.
    const Matrix projection = camera.GetProjection();
    EXPECT_FLOAT_EQ(projection.m[0], 2.0f / 30.0f);
    EXPECT_FLOAT_EQ(projection.m[5], 2.0f / 20.0f);
    EXPECT_EQ(projection.m[15], 1.0f);
    EXPECT_EQ(camera.eye.y, 100.0f);
    EXPECT_NEAR(Vec3Dot(camera.up, camera.direction), 0.0f, 1e-6f);
    EXPECT_TRUE(renderer->End());
}

TEST_F(ShadowMapDevice, ALightWithoutDirectionIsRefusedBeforeAnythingChanges) {
    Start(true);
    ASSERT_TRUE(renderer->Create(128));
    RecordingEffect effect;
    SetShadowMapEffect(&effect);
    PlatformTest_D3d9ClearCallLog();
    EXPECT_FALSE(renderer->Begin(Spot({0, 0, 0}, {0, 0, 0}, 10.0f), 1, kBias, kSlope));
    EXPECT_FALSE(renderer->Begin(Spot({0, 0, 0}, {NAN, 0, 0}, 10.0f), 1, kBias, kSlope));
    EXPECT_FALSE(renderer->Begin(RefHandle<Light>(), 1, kBias, kSlope));
    EXPECT_EQ(PassCalls(), Calls{});
    EXPECT_FALSE(AnyLocked());
    EXPECT_FALSE(renderer->IsBegun());
    EXPECT_TRUE(effect.told.empty());
    EXPECT_FALSE(renderer->End());
    SetShadowMapEffect(nullptr);
}

TEST_F(ShadowMapDevice, TheShadowMapEffectHearsTheKindOfMapAndIsSkippedWhenAbsent) {
    Start(true);
    ASSERT_TRUE(renderer->Create(64));
    ASSERT_EQ(TheShadowMapEffect(), nullptr);
    ASSERT_TRUE(renderer->Begin(Spot({0, 5, 0}, {0, -1, 0}, 10.0f), 1, kBias, kSlope));  // nobody to tell
    ASSERT_TRUE(renderer->End());

    RecordingEffect effect;
    SetShadowMapEffect(&effect);
    ASSERT_TRUE(renderer->Begin(Spot({0, 5, 0}, {0, -1, 0}, 10.0f), 1, kBias, kSlope));
    ASSERT_TRUE(renderer->End());
    SetShadowMapEffect(nullptr);
    EXPECT_EQ(effect.told, (std::vector<u8>{1}));
}

TEST_F(ShadowMapDevice, ARefusedSwitchUnlocksAndRestoresTheStatesAtOnce) {
    Start(true);
    ASSERT_TRUE(renderer->Create(128));
    PlatformTest_D3d9FailCall("SetRenderTarget", 1, D3DERR_INVALIDCALL);
    EXPECT_FALSE(renderer->Begin(Spot({0, 5, 0}, {0, -1, 0}, 10.0f), 1, kBias, kSlope));
    // The caller skips its pass and never calls End: nothing may stay locked or biased.
    EXPECT_FALSE(AnyLocked());
    ExpectEarlierStates();
    EXPECT_EQ(CurrentTarget(), backBuffer);
    EXPECT_FALSE(renderer->End());
    // The next frame's pass works.
    ASSERT_TRUE(renderer->Begin(Spot({0, 5, 0}, {0, -1, 0}, 10.0f), 1, kBias, kSlope));
    EXPECT_TRUE(renderer->End());
}

TEST_F(ShadowMapDevice, ASecondBeginKeepsTheFirstPassesRememberedStates) {
    Start(true);
    ASSERT_TRUE(renderer->Create(128));
    ASSERT_TRUE(renderer->Begin(Spot({0, 5, 0}, {0, -1, 0}, 10.0f), 1, kBias, kSlope));
    EXPECT_FALSE(renderer->Begin(Spot({0, 5, 0}, {0, -1, 0}, 10.0f), 1, 0.5f, 2.0f));
    EXPECT_EQ(renderer->GetDepthBias(), kBias);
    EXPECT_EQ(DeviceState(D3DRS_DEPTHBIAS), Bits(kBias));
    ASSERT_TRUE(renderer->End());
    ExpectEarlierStates();
    EXPECT_FALSE(AnyLocked());
}

TEST_F(ShadowMapDevice, ARendererDestroyedMidPassLeavesNothingLocked) {
    Start(true);
    ASSERT_TRUE(renderer->Create(128));
    ASSERT_TRUE(renderer->Begin(Spot({0, 5, 0}, {0, -1, 0}, 10.0f), 1, kBias, kSlope));
    renderer.reset();
    EXPECT_FALSE(AnyLocked());
    EXPECT_EQ(DeviceState(D3DRS_COLORWRITEENABLE), kEarlierColorWrite);
    EXPECT_EQ(CurrentTarget(), backBuffer);
}
