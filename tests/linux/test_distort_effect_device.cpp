// The distortion effect on the reference device: its one variant and name, the technique it
// draws a lit object with, the eye and time it sends, and how its creation fails.
#include "EffectClassSupport.h"

#include "Effect/DistortEffect.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace effectclasses;

class DistortEffectDevice : public EffectClasses {};

TEST_F(DistortEffectDevice, DistortBuildsOneVariantAndRegistersDistort) {
    WriteAll();
    DistortEffect* effect = Create<DistortEffect>();
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(effect->GetCodes().count, 1);
    EXPECT_EQ(Macros(effect->GetCodes()[0]), (std::vector<std::string>{"TEXCOORDS=", "PS_MODEL=ps_2_0"}));
    EXPECT_STREQ(effect->GetCodes()[0]->GetDesc().path.name.c_str(), "Shaders/Distort.fx");
    EXPECT_EQ(TheEffectManager().FindEffect(String("Distort"), 100), effect);
    EXPECT_EQ(TheEffectManager().FindEffect(String("Distort1"), 100), nullptr);
    EXPECT_EQ(QueryAs<DistortEffect>(static_cast<Object*>(effect), DistortEffectTypeId()), effect);
    EXPECT_EQ(effect->GetBody().totalStride, 32u);
}

TEST_F(DistortEffectDevice, DistortDrawsSimpleForALitObjectWithTheEyeAndTheTime) {
    WriteAll();
    DistortEffect* effect = Create<DistortEffect>();
    ASSERT_NE(effect, nullptr);
    // Lights reach the object, but the effect takes none: "Simple" still draws it.
    context.lighting = Lighting({Dir(0.5f), Point(1.0f, 2.0f, 3.0f)});
    context.SetTicks(2.5f);
    const f32 eye[3] = {1.0f, 2.0f, 3.0f};
    effect->SetVector(eye);
    effect->SetVector(nullptr);
    EXPECT_EQ(Draw(*effect, material), (std::vector<std::string>{"Simple 0"}));
    EXPECT_EQ(effect->GetUndrawnLights().LightCount(), 0);
    const std::vector<PlatformTestEffectPass> passes = PlatformTest_D3dx9EffectPasses();
    ASSERT_FALSE(passes.empty());
    ASSERT_NE(passes[0].Find("EyePoint"), nullptr);
    EXPECT_EQ(*passes[0].Find("EyePoint"), "[1, 2, 3, 1]");
    ASSERT_NE(passes[0].Find("Ticks"), nullptr);
    EXPECT_EQ(*passes[0].Find("Ticks"), "2.5");
}

TEST_F(DistortEffectDevice, DistortBelowPixelShader2HasNoTechnique) {
    Restart(true, D3DPS_VERSION(1, 4));
    WriteAll();
    WarningsCapture errors(LogErrors());
    EXPECT_EQ(Create<DistortEffect>(), nullptr);
    EXPECT_NE(errors.Text().find("No techniques supported"), std::string::npos) << errors.Text();
    EXPECT_NE(errors.Text().find("bool __thiscall DistortEffect::Create(void)"), std::string::npos);
    EXPECT_EQ(TheEffectManager().FindEffect(String("Distort"), 100), nullptr);
}

TEST_F(DistortEffectDevice, DistortWithoutItsSourceFailsTheGroupLoad) {
    WarningsCapture errors(LogErrors());
    EXPECT_EQ(Create<DistortEffect>(), nullptr);
    EXPECT_NE(errors.Text().find("LoadEffectGroup failed"), std::string::npos) << errors.Text();
}

}  // namespace
