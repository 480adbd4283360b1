// The product scene's frame on the reference device, over the synthetic world with the
// engine's own effects: the ground view's objects draw the shadow-mapped technique for the
// one spot light the view holds, the shadow map is drawn every ShadowDelay-th frame while
// the shadow parameters go out every frame, palms neither draw nor cast when the scene is
// not animated, the sky fades by the texture factor's alpha, and the statistics carry the
// day part and the free texture memory.
#include "Effect/Effect.h"
#include "Effect/EffectCode.h"
#include "Effect/ShadowMappedEffect.h"
#include "Effect/TechniqueSelection.h"
#include "tests/linux/DunmerrowTestSupport.h"

#include <PlatformTestD3dx9Effect.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace dunmerrowtest;
using Calls = std::vector<std::string>;

class DunmerrowFrameDevice : public DunmerrowFixture {
protected:
    // The scene started on the engine's own effects; the day timer and the engine clock
    // frozen where the test steps them.
    bool StartScene(const std::string& settings = std::string()) {
        SceneOptions options;
        options.shippedEffects = true;
        options.settings = settings;
        if (!Start(options)) return false;
        DayLengthSetting = 100000;
        Timer::FreezeAt(5000000);
        scene->dayTimer.SetStart(5000000);
        Look();
        return true;
    }
    // Looking over the oasis towards the pyramid and the monument, with the configuration's
    // planes and field of view (the saver sets them at its first frame).
    void Look() {
        scene->ViewCamera.SetPerspective(10.0f, 36000.0f, 50.0f * 3.14159265f / 180.0f, 0.75f);
        scene->ViewCamera.SetView(Vec3(-3000.0f, 1500.0f, -9000.0f), Vec3(0.1f, -0.15f, 1.0f), Vec3(0.0f, 1.0f, 0.0f));
    }
    // One frame at day fraction t (of the day `day` days on), recorded.
    Calls Frame(f32 t, int day = 0) {
        Timer::FreezeAt(5000000 + static_cast<u64>(day) * 100000 + static_cast<u64>(t * 100000.0f));
        PlatformTest_D3d9ClearCallLog();
        PlatformTest_D3dx9ClearEffectPasses();
        IDirect3DDevice9* device = scene->device;
        EXPECT_EQ(device->BeginScene(), D3D_OK);
        EXPECT_TRUE(scene->RenderScene());
        EXPECT_EQ(device->EndScene(), D3D_OK);
        return PlatformTest_D3d9CallLog();
    }
    ShadowMappedEffect* Shadowed() {
        Effect* effect = TheEffectManager().FindEffect(String("ShadowMapped"), 100);
        return effect ? QueryAs<ShadowMappedEffect>(effect, ShadowMappedEffectTypeId()) : nullptr;
    }
    // The dunes take the shadowed effect, as a bump-mapped ground material does.
    Hierarchy* ShadowedDunes() {
        Hierarchy* dunes = scene->ground.GetRoot()->FindNode(String("Dunes"));
        if (dunes) dunes->GetMaterial().layers[0].effect = Shadowed();
        return dunes;
    }
    static size_t Count(const Calls& calls, const std::string& prefix) {
        size_t n = 0;
        for (const std::string& call : calls)
            if (call.rfind(prefix, 0) == 0) ++n;
        return n;
    }
    static size_t Draws(const Calls& calls) { return Count(calls, "DrawIndexedPrimitive(") + Count(calls, "DrawPrimitive("); }
    // The records of the shadowed effect's passes begun in the last frame.
    static std::vector<PlatformTestEffectPass> ShadowedPasses() {
        std::vector<PlatformTestEffectPass> out;
        for (const PlatformTestEffectPass& pass : PlatformTest_D3dx9EffectPasses())
            if (!pass.commit && pass.technique.find("ShadowDir") != std::string::npos) out.push_back(pass);
        return out;
    }
    // The first number of a value text such as "[0.8, 0.8, 0.8, 1]".
    static double FirstNumber(const std::string& text) {
        const size_t at = text.find_first_of("-0123456789.");
        return at == std::string::npos ? -1.0 : std::strtod(text.c_str() + at, nullptr);
    }
};

}  // namespace

TEST_F(DunmerrowFrameDevice, TheGroundViewDrawsTheShadowMappedTechniqueForOneSpotLight) {
    ASSERT_TRUE(StartScene());
    ASSERT_TRUE(scene->ShadowsEnabled.value);
    ShadowMappedEffect* shadowed = Shadowed();
    ASSERT_NE(shadowed, nullptr);
    ASSERT_NE(ShadowedDunes(), nullptr);
    for (f32 t : {0.25f, 0.75f}) {
        SCOPED_TRACE(t);
        Frame(t);
        const std::vector<PlatformTestEffectPass> passes = ShadowedPasses();
        ASSERT_FALSE(passes.empty()) << "the dunes drew with the shadowed effect";
        const std::string family = shadowed->UsesDepthTexture() ? "ZTexShadowDirMask" : "ShadowDirMask";
        for (const PlatformTestEffectPass& pass : passes) EXPECT_EQ(pass.technique, family);
        // The selection asked for one spot light: the active light, orthographic.
        const TechniqueSelection* selection = shadowed->GetCurrentSelection();
        ASSERT_NE(selection, nullptr);
        const auto* spot = selection->query.annotations.Find(String("SPOT"));
        ASSERT_NE(spot, nullptr);
        EXPECT_EQ(spot->value, 1);
        EXPECT_EQ(selection->query.annotations.count, 1u);
        ASSERT_GT(selection->entries.count, 0);
        ASSERT_GT(selection->entries[0].lights.count, 0);
        const Light* active = t < 0.5f ? scene->sunLight.Get() : scene->moonLight.Get();
        EXPECT_EQ(selection->entries[0].lights[0].Get(), active);
        EXPECT_FALSE(active->IsEnabled());
        EXPECT_FALSE(active->IsShadowPerspective());
    }
}

TEST_F(DunmerrowFrameDevice, TheShadowMapIsDrawnEveryShadowDelayFramesItsParametersEveryFrame) {
    ASSERT_TRUE(StartScene());
    ASSERT_NE(ShadowedDunes(), nullptr);
    for (i32 delay : {1, 3}) {
        SCOPED_TRACE(delay);
        scene->ShadowDelay.value = delay;
        scene->day.shadowFrame = 0;
        std::vector<bool> drawn;
        std::vector<double> masks;
        for (int frame = 0; frame < 7; ++frame) {
            const f32 t = 0.1f + 0.04f * static_cast<f32>(frame);
            const u32 before = scene->day.shadowMapDraws;
            const Calls calls = Frame(t);
            drawn.push_back(scene->day.shadowMapDraws != before);
            // Casters are drawn with their back faces, and only in the shadow pass.
            EXPECT_EQ(Count(calls, "SetRenderState(22, 2)") > 0, drawn.back()) << "frame " << frame;
            const std::vector<PlatformTestEffectPass> passes = ShadowedPasses();
            ASSERT_FALSE(passes.empty()) << "frame " << frame;
            const std::string* mask = passes.front().Find("ShadowMask");
            ASSERT_NE(mask, nullptr);
            masks.push_back(FirstNumber(*mask));
            // The dunes get the shadow grey of the frame's own sun height.
            const f32 s = std::fabs(std::sin(6.2831853f * t));
            EXPECT_NEAR(masks.back(), 0.8 * s + (1.0 - s) * 0.99, 1e-3) << "frame " << frame;
        }
        for (int frame = 0; frame < 7; ++frame) EXPECT_EQ(drawn[frame], frame % delay == 0) << "frame " << frame;
    }
}

TEST_F(DunmerrowFrameDevice, PalmsNeitherDrawNorCastWhenTheSceneIsNotAnimated) {
    ASSERT_TRUE(StartScene());
    ASSERT_EQ(scene->palmCount, Dunmerrow::kPalms);
    scene->ShadowDelay.value = 1;
    scene->IsAnimated.value = 1;
    Frame(0.2f);  // the queries and caches settle
    const Calls animated = Frame(0.2f);
    scene->IsAnimated.value = 0;
    Frame(0.2f);
    const Calls still = Frame(0.2f);
    // Trunk and leaves at every palm position, in the view and in the shadow pass.
    EXPECT_GE(Draws(animated), Draws(still) + 2 * Dunmerrow::kPalms);
    // Without animation the palm model stays where it was loaded.
    const Vec3 at = scene->palm.GetRoot()->GetTransform(false).GetPosition();
    const Vec3 last = scene->palmPositions[Dunmerrow::kPalms - 1];
    EXPECT_FLOAT_EQ(at.x, last.x);  // placed there by the last animated frame, not moved since
    const u32 drawsBefore = scene->day.shadowMapDraws;
    Frame(0.21f);
    EXPECT_EQ(scene->day.shadowMapDraws, drawsBefore + 1);
}

TEST_F(DunmerrowFrameDevice, TheSkyFadesByTheTextureFactorAlpha) {
    ASSERT_TRUE(StartScene());
    const Calls steady = Frame(0.02f);
    EXPECT_EQ(Count(steady, "SetTextureStageState(1, 1, 14)"), 0u);
    const Calls fading = Frame(0.07f);
    // Each of the five faces blends the two sets by the factor's alpha, 0.5 here.
    EXPECT_GE(Count(fading, "SetTextureStageState(1, 1, 14)"), 1u);
    bool factor = false;
    for (const std::string& call : fading) {
        if (call.rfind("SetRenderState(60, ", 0) != 0) continue;
        const unsigned long value = std::strtoul(call.c_str() + 19, nullptr, 0);
        if ((value >> 24) == 127u) factor = true;
    }
    EXPECT_TRUE(factor) << "a texture factor of alpha 0.5";
}

TEST_F(DunmerrowFrameDevice, TheStatisticsCarryTheDayPartAndTheDevicesFreeTextureMemory) {
    ASSERT_TRUE(StartScene());
    scene->CameraTimes.value.Resize(0);
    for (f32 v : {0.0f, 0.05f, 0.47f, 0.62f}) scene->CameraTimes.value.Add(v);
    ResetDebugMode();  // the camera lists switch outside the debug mode only
    for (f32 t : {0.0f, 0.1f, 0.5f}) Frame(t);
    i32 part = -1;
    EXPECT_TRUE(TheStatistics().Current().children.GetInt(String("DayPart"), &part));
    EXPECT_EQ(part, 2);
    String memory;
    ASSERT_TRUE(TheStatistics().Current().children.GetString(String("FREE TEXTURE MEM"), &memory));
    EXPECT_EQ(std::string(memory.c_str()), std::to_string(scene->device->GetAvailableTextureMem()) + ".");
}

TEST_F(DunmerrowFrameDevice, AFrameOnALostDeviceGoesOnAndTheNextOneDrawsAgain) {
    ASSERT_TRUE(StartScene());
    // The occlusion queries settle over the first frames; compare settled frames.
    Frame(0.3f);
    Frame(0.3f);
    const size_t normal = Draws(Frame(0.3f));
    ASSERT_GT(normal, 0u);
    PlatformTest_D3d9LoseDevice(scene->device);
    EXPECT_TRUE(scene->RenderScene());
    PlatformTest_D3d9AllowReset(scene->device);
    ASSERT_TRUE(scene->DoRender());  // the saver resets the device and restores its objects
    Look();  // the saver's frame set the camera of its own
    Frame(0.3f);
    Frame(0.3f);
    EXPECT_EQ(Draws(Frame(0.3f)), normal);
}
