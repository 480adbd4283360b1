// The shader checker's text work: the stages read from techniques, the effect-only syntax
// blanked with line numbers kept, the functions one entry reaches, and a compiler's gaps
// told from a shader's errors.
#include "tools/ShaderText.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using shadertext::GapsOnly;
using shadertext::ReachableFrom;
using shadertext::Separate;
using shadertext::Stage;

const char* const kEffect = R"(shared float4x4 WorldViewProj;
shared texture EnvironmentMap < string ResourceName = "displace.bmp"; int Levels = 1; >;
float Scale = 0.5;
float2 Scroll = { 0.1, 0.2 };
static const float kHalf = 0.5;
vector<float, 3> Axis;
sampler2D Displace = sampler_state
{
    Texture = <EnvironmentMap>;
    AddressU = Wrap;
};
float Twice(float x) { return x * 2.0; }
float Unused(float x) { return x; }
float4 Vs(float3 p : POSITION) : POSITION { return mul(float4(p, Twice(Scale)), WorldViewProj); }
float4 Ps(float2 uv : TEXCOORD0) : COLOR { return tex2D(Displace, uv) * kHalf; }
technique Simple < int SPOT = 1; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 Vs();
        PixelShader = compile ps_2_0 Ps();
    }
}
technique Other
{
    pass P0 { VertexShader = compile vs_2_0 Vs(); PixelShader = NULL; }
}
)";

size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST(ShaderText, SeparateReadsTheStagesAndLeavesPlainHlsl) {
    std::string text = kEffect;
    std::vector<Stage> stages;
    std::string problem;
    ASSERT_TRUE(Separate(text, stages, problem)) << problem;
    ASSERT_EQ(stages.size(), 3u);
    EXPECT_EQ(stages[0].technique, "Simple");
    EXPECT_EQ(stages[0].profile, "vs_1_1");
    EXPECT_EQ(stages[0].entry, "Vs");
    EXPECT_EQ(stages[1].profile, "ps_2_0");
    EXPECT_EQ(stages[1].entry, "Ps");
    EXPECT_EQ(stages[2].technique, "Other");
    EXPECT_EQ(stages[2].profile, "vs_2_0");

    EXPECT_EQ(Lines(text), Lines(kEffect));  // messages keep pointing at the source lines
    for (const char* gone : {"technique", "pass", "compile", "ResourceName", "SPOT", "sampler_state", "Wrap",
                             "Scale =", "0.1"})
        EXPECT_EQ(text.find(gone), std::string::npos) << gone;
    for (const char* kept : {"shared texture EnvironmentMap", "float Scale", "float2 Scroll",
                             "static const float kHalf = 0.5;", "vector<float, 3> Axis;", "sampler2D Displace",
                             "float Twice(float x)", "return tex2D(Displace, uv) * kHalf;"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
}

TEST(ShaderText, ReachableFromKeepsTheEntryAndWhatItCalls) {
    std::string text = kEffect;
    std::vector<Stage> stages;
    std::string problem;
    ASSERT_TRUE(Separate(text, stages, problem));
    const std::string vs = ReachableFrom(text, "Vs");
    EXPECT_NE(vs.find("float Twice(float x)"), std::string::npos);
    EXPECT_NE(vs.find("float4 Vs("), std::string::npos);
    EXPECT_EQ(vs.find("Unused"), std::string::npos);
    EXPECT_EQ(vs.find("tex2D"), std::string::npos);
    EXPECT_NE(vs.find("sampler2D Displace"), std::string::npos);  // declarations stay
    EXPECT_EQ(Lines(vs), Lines(text));
    const std::string ps = ReachableFrom(text, "Ps");
    EXPECT_EQ(ps.find("Twice"), std::string::npos);
    EXPECT_NE(ps.find("tex2D"), std::string::npos);
    // An entry that does not exist leaves no function at all; the compiler then says so.
    EXPECT_EQ(ReachableFrom(text, "Missing").find("return"), std::string::npos);
}

TEST(ShaderText, GapsOfTheCompilerAreToldFromErrorsOfTheShader) {
    const auto gaps = GapsOnly(
        "a.fx:3:5: E5005: Function \"tex2D\" is not defined.\n"
        "<anonymous>: E5017: Aborting due to not yet implemented feature: Ternary operator.\n"
        "a.fx:9:1: warning X3206: implicit truncation of vector type\n");
    ASSERT_EQ(gaps.size(), 2u);
    EXPECT_TRUE(gaps.count("intrinsic tex2D"));
    EXPECT_TRUE(gaps.count("Ternary operator."));
    // A misspelt intrinsic, an undeclared name, a syntax error: the shader's fault.
    EXPECT_TRUE(GapsOnly("a.fx:3:5: E5005: Function \"tex2d\" is not defined.\n").empty());
    EXPECT_TRUE(GapsOnly("a.fx:1:63: E5005: Identifier \"uvx\" is not declared.\n"
                         "a.fx:3:5: E5005: Function \"tex2D\" is not defined.\n")
                    .empty());
    EXPECT_TRUE(GapsOnly("a.fx(4,9): error X3004: undeclared identifier 'Scrol'\n").empty());
    EXPECT_TRUE(GapsOnly("").empty());
}

TEST(ShaderText, BrokenTextNeverReadsPastItsEnd) {
    const std::string whole = kEffect;
    for (size_t length = 0; length <= whole.size(); ++length) {
        std::string text = whole.substr(0, length);
        std::vector<Stage> stages;
        std::string problem;
        Separate(text, stages, problem);
        EXPECT_EQ(text.size(), length);
        ReachableFrom(text, "Vs");
    }
    for (const char* garbage : {"technique", "technique T < int A = 1;", "= sampler_state", "< ; < >", "}}}((",
                                "technique T { pass { VertexShader = compile", "\"unterminated", "#line 1\n#"}) {
        std::string text = garbage;
        std::vector<Stage> stages;
        std::string problem;
        Separate(text, stages, problem);
        EXPECT_EQ(text.size(), strlen(garbage));
        GapsOnly(garbage);
    }
}

}  // namespace
