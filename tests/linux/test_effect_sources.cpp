// The effect sources of the media, read from the packed archive and parsed by the
// platform's effect reader with every definition set the engine compiles them with. The
// rules checked here are what the engine relies on: parameters it sets are shared,
// declared in every variant with the type its Set call needs, techniques carry only the
// light labels as integer annotations, a technique name with its labels is unique across
// an effect's variants, and passes only compile shaders for the profiles the effect asks.
#include "Core/MemoryBuffer.h"
#include "Core/Path.h"
#include "Core/ValueTypes.h"
#include "Effect/LightGroup.h"
#include "Platform/D3dx9EffectModel.h"
#include "tools/ShaderVariants.h"

#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using d3dx9::EffectDecl;
using d3dx9::EffectParamDecl;
using shadervariants::DefinitionSet;
using shadervariants::Source;

// ---- the engine's side of the contract -----------------------------------------------------

enum class Kind { Matrix, Vector, Float, Bool, Texture };

// The type each parameter name needs by the call that sets it.
bool ExpectedKind(const std::string& name, Kind& kind) {
    static const std::map<std::string, Kind> kNamed = {
        {"WorldViewProj", Kind::Matrix},  {"WorldView", Kind::Matrix},       {"ObjToCube", Kind::Matrix},
        {"View2LightTex", Kind::Matrix},  {"EyePoint", Kind::Vector},        {"EyeCube", Kind::Vector},
        {"TexFactor", Kind::Vector},      {"ViewDir", Kind::Vector},         {"Ambient", Kind::Vector},
        {"ShadowMask", Kind::Vector},     {"OffsetBias", Kind::Float},       {"FresnelR0", Kind::Float},
        {"Etha", Kind::Float},            {"SpecPower", Kind::Float},        {"AlphaRef", Kind::Float},
        {"Ticks", Kind::Float},           {"FogEnd", Kind::Float},           {"FogDelta", Kind::Float},
        {"ShadowMapSize", Kind::Float},   {"InvShadowMapSize", Kind::Float}, {"FogEnable", Kind::Bool},
        {"RangeFogEnable", Kind::Bool},   {"CubeMapEnv", Kind::Bool},        {"DiffuseMap", Kind::Texture},
        {"NormalMap", Kind::Texture},     {"EnvironmentMap", Kind::Texture}, {"EnvGlossMap", Kind::Texture},
        {"SpecularMap", Kind::Texture},   {"ShadowMap", Kind::Texture}};
    if (auto it = kNamed.find(name); it != kNamed.end()) {
        kind = it->second;
        return true;
    }
    // Per-light parameters: kind, number 1 to 8, field.
    for (const char* prefix : {"Dir", "Point", "Spot"}) {
        const std::string p = prefix;
        if (name.compare(0, p.size(), p) != 0 || name.size() < p.size() + 2) continue;
        const char digit = name[p.size()];
        if (digit < '1' || digit > '8') continue;
        const std::string field = name.substr(p.size() + 1);
        for (const char* vectorField : {"Diff", "Spec", "Pos", "Dir", "Att"})
            if (field == vectorField) {
                kind = Kind::Vector;
                return true;
            }
        for (const char* floatField : {"Falloff", "Theta", "Phi"})
            if (field == floatField) {
                kind = Kind::Float;
                return true;
            }
    }
    return false;
}

bool HasKind(const EffectParamDecl& p, Kind kind) {
    if (p.elements != 0) return false;
    switch (kind) {
    case Kind::Matrix:
        return p.cls == D3DXPC_MATRIX_ROWS && p.type == D3DXPT_FLOAT && p.rows == 4 && p.columns == 4;
    case Kind::Vector:
        return p.cls == D3DXPC_VECTOR && p.type == D3DXPT_FLOAT && p.rows == 1 && p.columns == 4;
    case Kind::Float:
        return p.cls == D3DXPC_SCALAR && p.type == D3DXPT_FLOAT;
    case Kind::Bool:
        return p.cls == D3DXPC_SCALAR && p.type == D3DXPT_BOOL;
    case Kind::Texture:
        return p.cls == D3DXPC_OBJECT && p.type == D3DXPT_TEXTURE;
    }
    return false;
}

std::vector<std::string> Numbered(const char* kind, int count, std::initializer_list<const char*> fields) {
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i)
        for (const char* field : fields) names.push_back(kind + std::to_string(i) + field);
    return names;
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<std::string> kFogAndAmbient = {"FogEnable", "RangeFogEnable", "FogEnd", "FogDelta", "Ambient"};

// What the engine sets on each source: the effect's bindings, and the fog, ambient and
// light parameters of the lights its variants draw.
std::vector<std::string> ParametersSetOn(const std::string& file) {
    if (file == "Distort.fx")
        return {"WorldViewProj", "WorldView", "DiffuseMap", "EnvironmentMap", "EyePoint", "TexFactor", "ObjToCube",
                "Ticks"};
    if (file == "ShadowMap.fx") return {"WorldViewProj", "WorldView", "DiffuseMap", "AlphaRef"};
    if (file == "CausBump_T.fx")
        return Join(Join({"WorldViewProj", "WorldView", "EyePoint", "ViewDir", "DiffuseMap", "NormalMap",
                          "SpecularMap", "SpecPower", "TexFactor", "ShadowMask", "OffsetBias", "ShadowMap",
                          "ShadowMapSize", "InvShadowMapSize", "View2LightTex"},
                         kFogAndAmbient),
                    Numbered("Spot", 1, {"Diff", "Spec", "Pos", "Dir", "Att", "Falloff", "Theta", "Phi"}));
    if (file == "BumpEnv_T.fx")
        return Join(Join(Join({"WorldViewProj", "WorldView", "DiffuseMap", "EnvironmentMap", "NormalMap",
                               "EnvGlossMap", "EyePoint", "EyeCube", "SpecPower", "TexFactor", "ObjToCube",
                               "FresnelR0", "Etha"},
                              kFogAndAmbient),
                         Numbered("Dir", 3, {"Dir", "Diff", "Spec"})),
                    Numbered("Point", 3, {"Pos", "Att", "Diff", "Spec"}));
    return {};
}

std::string Value(const DefinitionSet& set, const std::string& name, bool* present = nullptr) {
    for (const auto& d : set)
        if (d.name == name) {
            if (present) *present = true;
            return d.value;
        }
    if (present) *present = false;
    return std::string();
}

bool Defined(const DefinitionSet& set, const std::string& name) {
    bool present;
    Value(set, name, &present);
    return present;
}

// The techniques a variant must define, as the effects select them.
std::set<std::string> TechniquesOf(const std::string& file, const DefinitionSet& set) {
    const bool z = Defined(set, "ZTEXTURE");
    if (file == "Distort.fx") return {"Simple"};
    if (file == "ShadowMap.fx")
        return z ? std::set<std::string>{"ZTexShadowMap", "ZTexShadowMapAlpha"}
                 : std::set<std::string>{"ShadowMap", "ShadowMapAlpha"};
    if (file == "CausBump_T.fx") {
        std::set<std::string> names;
        for (const char* name : {"ShadowDir", "ShadowDirMask", "ShadowSpot", "ShadowSpotMask", "ShadowSpotNoCone",
                                 "ShadowSpotNoConeMask", "Simple"})
            names.insert(std::string(z ? "ZTex" : "") + name);
        return names;
    }
    if (file == "BumpEnv_T.fx") {
        const std::string family = Defined(set, "REFLECTION") ? "Refl" : "Refr";
        return {family, family + "Gloss", family + "Sphere", family + "SphereGloss"};
    }
    return {};
}

// The integer labels a technique of a variant must carry (zero counts included).
std::map<std::string, int> LabelsOf(const std::string& file, const DefinitionSet& set) {
    if (file == "CausBump_T.fx") return {{"SPOT", 1}};
    if (file == "BumpEnv_T.fx")
        return {{"DIR", std::stoi(Value(set, "NUMDIR"))}, {"POINT", std::stoi(Value(set, "NUMPOINT"))}};
    return {};
}

// The pixel-shader profile of the passes: the model the engine chose where the effect
// follows it, else the profile the effect needs.
std::string PixelProfileOf(const std::string& file, const DefinitionSet& set) {
    return file == "BumpEnv_T.fx" ? Value(set, "PS_MODEL") : "ps_2_0";
}

// ---- reading the media -----------------------------------------------------------------------

class EffectSources : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
#ifdef CORVANE_MEDIA_ARCHIVE
        archive = new MemoryBuffer();
        if (!archive->Load(patht(CORVANE_MEDIA_ARCHIVE))) {
            delete archive;
            archive = nullptr;
        }
#endif
    }
    static void TearDownTestSuite() {
        delete archive;
        archive = nullptr;
    }
    void SetUp() override {
#ifndef CORVANE_MEDIA_ARCHIVE
        GTEST_SKIP() << "this build packs no media archive";
#else
        ASSERT_NE(archive, nullptr) << "the media archive does not load";
#endif
    }

    static std::string Read(const std::string& file) {
        patht path(("Media/Shaders/" + file).c_str());
        path.flags = kPathArchive;
        path.archive = archive;
        Blob bytes;
        bool borrowed = false;
        if (!path.ReadAll(bytes, borrowed)) return std::string();
        return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }

    static bool Parse(const std::string& text, const DefinitionSet& set, EffectDecl& effect, std::string& error) {
        std::vector<D3DXMACRO> macros;
        for (const auto& d : set) macros.push_back({d.name.c_str(), d.value.c_str()});
        macros.push_back({nullptr, nullptr});
        return d3dx9::ReadEffectSource(text.data(), text.size(), macros.data(), effect, error);
    }

    static MemoryBuffer* archive;
};

MemoryBuffer* EffectSources::archive = nullptr;

const EffectParamDecl* FindParameter(const EffectDecl& effect, const std::string& name) {
    for (const auto& p : effect.parameters)
        if (p.name == name) return &p;
    return nullptr;
}

float FloatOf(const EffectParamDecl& p) {
    float f = 0;
    if (!p.words.empty()) memcpy(&f, &p.words[0], sizeof f);
    return f;
}

// ---- the rules ---------------------------------------------------------------------------------

TEST_F(EffectSources, EveryVariantParsesWithoutIncludes) {
    for (const Source& source : shadervariants::EngineSources()) {
        const std::string text = Read(source.file);
        ASSERT_FALSE(text.empty()) << source.file << " is missing from the media archive";
        EXPECT_EQ(text.find("#include"), std::string::npos) << source.file;
        for (const DefinitionSet& set : source.sets) {
            EffectDecl effect;
            std::string error;
            EXPECT_TRUE(Parse(text, set, effect, error))
                << source.file << " [" << shadervariants::Describe(set) << "]: " << error;
        }
    }
}

TEST_F(EffectSources, TheParametersTheEngineSetsAreSharedTypedAndInEveryVariant) {
    for (const Source& source : shadervariants::EngineSources()) {
        const std::string text = Read(source.file);
        const std::vector<std::string> needed = ParametersSetOn(source.file);
        ASSERT_FALSE(needed.empty()) << source.file;
        std::vector<std::string> firstNames;
        for (size_t v = 0; v < source.sets.size(); ++v) {
            const DefinitionSet& set = source.sets[v];
            const std::string where = source.file + " [" + shadervariants::Describe(set) + "]";
            EffectDecl effect;
            std::string error;
            ASSERT_TRUE(Parse(text, set, effect, error)) << where << ": " << error;
            for (const std::string& name : needed) {
                const EffectParamDecl* p = FindParameter(effect, name);
                ASSERT_NE(p, nullptr) << where << " lacks " << name;
                EXPECT_NE(p->flags & D3DX_PARAMETER_SHARED, 0u) << where << ": " << name << " is not shared";
            }
            // Whatever the engine could set (by its name) has the type of the engine's call.
            std::vector<std::string> names;
            for (const EffectParamDecl& p : effect.parameters) {
                names.push_back(p.name);
                Kind kind;
                if (ExpectedKind(p.name, kind)) {
                    EXPECT_TRUE(HasKind(p, kind)) << where << ": " << p.name << " has the wrong type";
                    EXPECT_NE(p.flags & D3DX_PARAMETER_SHARED, 0u) << where << ": " << p.name << " is not shared";
                }
            }
            // No definition adds or removes a parameter: the pool sees the same ones in all.
            if (v == 0) firstNames = names;
            else EXPECT_EQ(names, firstNames) << where << " declares other parameters than the first variant";
        }
    }
}

TEST_F(EffectSources, DefaultValuesTheEffectsRelyOn) {
    const std::string shadowMap = Read("ShadowMap.fx");
    const std::string bumpEnv = Read("BumpEnv_T.fx");
    EffectDecl effect;
    std::string error;
    ASSERT_TRUE(Parse(shadowMap, shadervariants::EngineSources()[2].sets[0], effect, error)) << error;
    ASSERT_NE(FindParameter(effect, "AlphaRef"), nullptr);
    EXPECT_EQ(FloatOf(*FindParameter(effect, "AlphaRef")), 0.0f);
    ASSERT_TRUE(Parse(bumpEnv, shadervariants::EngineSources()[3].sets[0], effect, error)) << error;
    ASSERT_NE(FindParameter(effect, "Etha"), nullptr);
    ASSERT_NE(FindParameter(effect, "BumpEnvScale"), nullptr);
    EXPECT_EQ(FloatOf(*FindParameter(effect, "Etha")), 1.0f);
    EXPECT_EQ(FloatOf(*FindParameter(effect, "BumpEnvScale")), 2.0f);
    // The distortion's displacement texture names its default file.
    ASSERT_TRUE(Parse(Read("Distort.fx"), shadervariants::EngineSources()[0].sets[0], effect, error)) << error;
    const EffectParamDecl* displace = FindParameter(effect, "EnvironmentMap");
    ASSERT_NE(displace, nullptr);
    ASSERT_EQ(displace->annotations.size(), 1u);
    EXPECT_EQ(displace->annotations[0].text, "displace.bmp");
}

TEST_F(EffectSources, TechniquesCarryOnlyLightLabelsAndAreUniqueAcrossVariants) {
    for (const Source& source : shadervariants::EngineSources()) {
        const std::string text = Read(source.file);
        std::set<std::string> keys;  // name and non-zero labels, over all variants
        for (const DefinitionSet& set : source.sets) {
            const std::string where = source.file + " [" + shadervariants::Describe(set) + "]";
            EffectDecl effect;
            std::string error;
            ASSERT_TRUE(Parse(text, set, effect, error)) << where << ": " << error;
            std::set<std::string> names;
            for (const auto& technique : effect.techniques) {
                EXPECT_TRUE(names.insert(technique.name).second) << where << ": " << technique.name << " twice";
                std::map<std::string, int> labels;
                for (const EffectParamDecl& a : technique.annotations) {
                    if (a.type != D3DXPT_INT) continue;
                    ASSERT_EQ(a.cls, D3DXPC_SCALAR) << where << ": " << technique.name << " " << a.name;
                    EXPECT_TRUE(a.name == "DIR" || a.name == "POINT" || a.name == "SPOT")
                        << where << ": " << technique.name << " carries the integer " << a.name;
                    labels[a.name] = static_cast<int32_t>(a.words[0]);
                }
                EXPECT_EQ(labels, LabelsOf(source.file, set)) << where << ": " << technique.name;
                std::string key = technique.name;
                for (const auto& [label, count] : labels)
                    if (count != 0) key += " " + label + "=" + std::to_string(count);
                EXPECT_TRUE(keys.insert(key).second) << where << ": " << key << " is in two variants";
            }
            EXPECT_EQ(names, TechniquesOf(source.file, set)) << where;
        }
    }
}

TEST_F(EffectSources, PassesCompileOnlyShadersForTheProfilesAsked) {
    for (const Source& source : shadervariants::EngineSources()) {
        const std::string text = Read(source.file);
        for (const DefinitionSet& set : source.sets) {
            const std::string where = source.file + " [" + shadervariants::Describe(set) + "]";
            EffectDecl effect;
            std::string error;
            ASSERT_TRUE(Parse(text, set, effect, error)) << where << ": " << error;
            for (const auto& technique : effect.techniques) {
                ASSERT_FALSE(technique.passes.empty()) << where << ": " << technique.name;
                if (source.file == "Distort.fx") {
                    EXPECT_EQ(technique.passes.size(), 1u);
                }
                for (const auto& pass : technique.passes) {
                    const std::string at = where + ": " + technique.name;
                    EXPECT_TRUE(pass.states.empty()) << at << " sets " << pass.states[0].first;
                    EXPECT_TRUE(pass.vertexShader.profile == "vs_1_1" || pass.vertexShader.profile == "vs_2_0")
                        << at << " vertex profile " << pass.vertexShader.profile;
                    EXPECT_EQ(pass.pixelShader.profile, PixelProfileOf(source.file, set)) << at;
                    EXPECT_FALSE(pass.vertexShader.entry.empty()) << at;
                    EXPECT_FALSE(pass.pixelShader.entry.empty()) << at;
                }
            }
            // Every sampler reads a texture parameter of the effect.
            for (const EffectParamDecl& p : effect.parameters) {
                for (const auto& [state, value] : p.states) {
                if (state != "Texture") continue;
                    ASSERT_GE(value.size(), 3u) << where << ": " << p.name;
                    const EffectParamDecl* texture = FindParameter(effect, value.substr(1, value.size() - 2));
                    ASSERT_NE(texture, nullptr) << where << ": " << p.name << " reads " << value;
                    EXPECT_EQ(texture->type, D3DXPT_TEXTURE) << where << ": " << p.name;
                }
            }
        }
    }
}

// The checker's list of definition sets is the engine's: the bump-environment variants in
// the order the engine's light-group walk gives them, and the pixel-shader models the
// engine chooses for the effects' versions.
TEST(EffectSourceSets, MatchTheEngineLightGroupWalk) {
    LightGroup group;
    group.maxTotal = 3;
    LightKind dir;
    dir.name = String("DIR");
    dir.maxCount = 3;
    LightKind point;
    point.name = String("POINT");
    point.maxCount = 3;
    group.AddKind(dir);
    group.AddKind(point);
    std::vector<std::pair<int, int>> walked;
    group.Reset();
    do walked.push_back({group.Count(0), group.Count(1)});
    while (group.Next());
    std::vector<std::pair<int, int>> listed;
    for (const auto& counts : shadervariants::kBumpEnvCombinations) listed.push_back({counts[0], counts[1]});
    EXPECT_EQ(walked, listed);

    EXPECT_STREQ(ChoosePixelShaderModel(0, 20), "ps_2_0");
    EXPECT_STREQ(ChoosePixelShaderModel(0, 11), "ps_1_1");
    const std::vector<Source> sources = shadervariants::EngineSources();
    ASSERT_EQ(sources.size(), 4u);
    EXPECT_EQ(sources[3].sets.size(), 20u);
    // One directional and two point lights: numbers run on across kinds.
    EXPECT_EQ(shadervariants::Describe(sources[3].sets[8]),
              "REFLECTION DIR1 NUMDIR=1 POINT2 POINT3 NUMPOINT=2 TEXCOORDS PS_MODEL=ps_2_0");
    EXPECT_EQ(shadervariants::Describe(sources[3].sets[10]),
              "REFRACTION NUMDIR=0 NUMPOINT=0 TEXCOORDS PS_MODEL=ps_2_0");
}

// Cut short anywhere, a source is refused with a message or read, never more.
TEST_F(EffectSources, TruncatedSourcesFailCleanly) {
    for (const Source& source : shadervariants::EngineSources()) {
        const std::string text = Read(source.file);
        for (size_t length = 0; length < text.size(); length += 61) {
            EffectDecl effect;
            std::string error;
            if (!Parse(text.substr(0, length), source.sets[0], effect, error)) {
                EXPECT_FALSE(error.empty()) << source.file << " cut at " << length;
            }
        }
    }
}

}  // namespace
