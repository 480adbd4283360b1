// The shader checkers' text work: the stages read from techniques, the effect-only syntax
// blanked with line numbers kept, the functions one entry reaches, an entry called with its
// pass's arguments, and a compiler's gaps told from a shader's errors.
#include "tools/ShaderText.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using shadertext::BlankTextures;
using shadertext::CallWithArguments;
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

TEST(ShaderText, TextureObjectsAreBlankedForCompilersWithoutEffects) {
    const std::string effect = "shared texture DiffuseMap;\n"
                               "uniform texture2D Detail\n;\n"
                               "textureCUBE Sky;\n"
                               "sampler2D Diffuse;\n"
                               "struct Input { float2 texture : TEXCOORD0; };\n"
                               "float4 Ps(Input i) : COLOR { float texture2D = 1; return texture2D; }\n";
    std::string text = effect;
    BlankTextures(text);
    EXPECT_EQ(Lines(text), Lines(effect));
    for (const char* gone : {"DiffuseMap", "Detail", "Sky", "shared", "uniform"})
        EXPECT_EQ(text.find(gone), std::string::npos) << gone;
    // Samplers, and the word as a name inside a structure or a function, stay.
    for (const char* kept : {"sampler2D Diffuse;", "float2 texture : TEXCOORD0;", "float texture2D = 1;"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
}

TEST(ShaderText, AnEntryIsCalledWithTheArgumentsOfItsPass) {
    const std::string effect = "float4 Ps(uniform bool tinted, uniform float3 tint, float2 uv : TEXCOORD0,\n"
                               "          float4 colour : COLOR0) : COLOR\n"
                               "{ return tinted ? float4(tint, 1) * colour : colour; }\n"
                               "void Vs(uniform int lights, float3 p : POSITION, out float4 o : POSITION)\n"
                               "{ o = float4(p, lights); }\n"
                               "technique T\n"
                               "{\n"
                               "    pass P0\n"
                               "    {\n"
                               "        VertexShader = compile vs_1_1 Vs(2);\n"
                               "        PixelShader = compile ps_2_0 Ps(true,\tfloat3(1, 0.5,\n0));\n"
                               "    }\n"
                               "    pass P1 { PixelShader = compile ps_2_0 Ps(false); }\n"
                               "}\n";
    std::string text = effect;
    std::vector<Stage> stages;
    std::string problem;
    ASSERT_TRUE(Separate(text, stages, problem)) << problem;
    ASSERT_EQ(stages.size(), 3u);
    EXPECT_EQ(stages[0].arguments, "2");
    EXPECT_EQ(stages[0].line, 10);
    EXPECT_EQ(stages[1].arguments, "true, float3(1, 0.5, 0)");  // on one line, for the listings
    EXPECT_EQ(stages[1].line, 11);

    std::string wrapper;
    ASSERT_TRUE(CallWithArguments(text, stages[1], "PassEntry", wrapper, problem)) << problem;
    EXPECT_EQ(wrapper, "\n#line 11\nfloat4 PassEntry(float2 uv : TEXCOORD0, float4 colour : COLOR0) : COLOR "
                       "{ return Ps(true, float3(1, 0.5, 0), uv, colour); }\n");
    ASSERT_TRUE(CallWithArguments(text, stages[0], "PassEntry", wrapper, problem)) << problem;
    EXPECT_EQ(wrapper, "\n#line 10\nvoid PassEntry(float3 p : POSITION, out float4 o : POSITION) { Vs(2, p, o); }\n");
    // One argument leaves the tint to the stage's inputs, as the effect would.
    ASSERT_TRUE(CallWithArguments(text, stages[2], "PassEntry", wrapper, problem)) << problem;
    EXPECT_NE(wrapper.find("PassEntry(uniform float3 tint, float2 uv"), std::string::npos) << wrapper;
    EXPECT_NE(wrapper.find("Ps(false, tint, uv, colour)"), std::string::npos) << wrapper;

    Stage tooMany = stages[0];
    tooMany.arguments = "1, 2, 3, 4";
    EXPECT_FALSE(CallWithArguments(text, tooMany, "PassEntry", wrapper, problem));
    EXPECT_EQ(problem, "Vs takes 3 parameters, the pass gives 4 arguments");
    Stage missing = stages[0];
    missing.entry = "Gone";
    EXPECT_FALSE(CallWithArguments(text, missing, "PassEntry", wrapper, problem));
    EXPECT_EQ(problem, "no function Gone");
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
        BlankTextures(text);
        EXPECT_EQ(text.size(), length);
        std::string wrapper;
        for (const Stage& stage : stages) CallWithArguments(text, {"T", "vs_1_1", stage.entry, "1, (2", 1}, "W", wrapper, problem);
    }
    for (const char* garbage : {"technique", "technique T < int A = 1;", "= sampler_state", "< ; < >", "}}}((",
                                "technique T { pass { VertexShader = compile", "\"unterminated", "#line 1\n#",
                                "technique T { pass { PixelShader = compile ps_2_0 Ps(true, (1", "shared texture",
                                "texture T", "float4 Ps(, : ) : { }", "Ps() {}", "void Ps(uniform bool b) : {"}) {
        std::string text = garbage;
        std::vector<Stage> stages;
        std::string problem;
        Separate(text, stages, problem);
        EXPECT_EQ(text.size(), strlen(garbage));
        BlankTextures(text);
        std::string wrapper;
        CallWithArguments(text, {"T", "ps_2_0", "Ps", "true, 1", 1}, "W", wrapper, problem);
        GapsOnly(garbage);
    }
}

}  // namespace
