// The engine's four effects built at start-up from the media's own effect sources, on the
// reference device: every variant the effects ask for, with the definitions and cache file
// names the effect cache gives them, every name registered; below pixel shader 2.0 nothing
// can run them; and one frame through each effect, a device loss, and the frame again.
#include "EffectClassSupport.h"
#include "MediaArchiveSupport.h"

#include "Core/MemoryBuffer.h"
#include "Effect/BumpEnvEffect.h"
#include "Effect/DistortEffect.h"
#include "Effect/SceneCamera.h"
#include "Effect/ShadowMappedEffect.h"
#include "tools/ShaderVariants.h"

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace effectclasses;
namespace fs = std::filesystem;

// The digest of a cache file name, over the bytes of the key text: one character of the
// 62-letter alphabet per group of five bytes (the sum of the group, signed bytes), one
// more for a trailing partial group, "1" for nothing.
std::string Digest(const std::string& text) {
    static const char kAlphabet[] = "1234567890qwertyuiopasdfghjklzxcvbnmQWERTYUIOPASDFGHJKLZXCVBNM";
    std::string out;
    int sum = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        sum += static_cast<signed char>(text[i]);
        if (i % 5 == 4) {
            out += kAlphabet[sum % 62];
            sum = 0;
        }
    }
    if (text.empty() || text.size() % 5 != 0) out += kAlphabet[sum % 62];
    return out;
}

// Where a variant's compiled form is saved: Shaders/<base>/<base> <digest>.fxo, the key
// text being every name and value run together with ':' made a blank.
fs::path CacheFile(const std::string& file, const shadervariants::DefinitionSet& set) {
    std::string key;
    for (const auto& d : set) key += d.name + d.value;
    for (char& c : key)
        if (c == ':') c = ' ';
    const std::string base = file.substr(0, file.rfind('.'));
    return fs::path("Shaders") / base / (base + " " + Digest(key) + ".fxo");
}

std::vector<std::string> Expected(const shadervariants::DefinitionSet& set) {
    std::vector<std::string> out;
    for (const auto& d : set) out.push_back(d.name + "=" + d.value);
    return out;
}

class EffectManagerCreate : public EffectClasses {
protected:
    // The media's sources, out of the packed archive into the folder the manager searches.
    void ExtractMedia() {
#ifndef CORVANE_MEDIA_ARCHIVE
        GTEST_SKIP() << "this build packs no media archive";
#else
        MemoryBuffer archive;
        ASSERT_TRUE(archive.Load(patht(CORVANE_MEDIA_ARCHIVE)));
        for (const shadervariants::Source& source : shadervariants::EngineSources()) {
            std::string bytes;
            ASSERT_TRUE(ReadMediaMember(archive, "Media/Shaders/" + source.file, bytes)) << source.file;
            Write(source.file, bytes);
        }
#endif
    }
    // The effects in creation order: shadow map, shadow-mapped, distortion, bump-environment.
    StandardEffect* At(i32 i) { return static_cast<StandardEffect*>(TheEffectManager().Effects()[i]); }
};

TEST_F(EffectManagerCreate, TheFourEffectsBuildEveryVariantOfTheMediaSources) {
    ExtractMedia();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(TheEffectManager().Create());
    ASSERT_EQ(TheEffectManager().Effects().count, 4);
    const std::vector<shadervariants::Source> sources = shadervariants::EngineSources();
    // Creation order against the list's order (distortion, shadow-mapped, shadow map,
    // bump-environment).
    const int sourceOf[4] = {2, 1, 0, 3};
    for (i32 e = 0; e < 4; ++e) {
        const shadervariants::Source& source = sources[sourceOf[e]];
        SCOPED_TRACE(source.file);
        const EffectCodeArray& codes = At(e)->GetCodes();
        ASSERT_EQ(codes.count, static_cast<i32>(source.sets.size()));
        for (i32 v = 0; v < codes.count; ++v) {
            ASSERT_TRUE(codes[v]);
            EXPECT_EQ(Macros(codes[v]), Expected(source.sets[v])) << "variant " << v;
            EXPECT_EQ(std::string(codes[v]->GetDesc().path.name.c_str()), "Shaders/" + source.file);
            EXPECT_TRUE(fs::exists(CacheFile(source.file, source.sets[v]))) << CacheFile(source.file, source.sets[v]);
        }
        // One cache file per variant, no more.
        const fs::path folder = CacheFile(source.file, source.sets[0]).parent_path();
        EXPECT_EQ(static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator())),
                  source.sets.size());
    }
    EXPECT_EQ(TheEffectManager().CodeCount(), 2u + 2u + 1u + 20u);
    EXPECT_NE(dynamic_cast<ShadowMapEffect*>(At(0)), nullptr);
    EXPECT_NE(dynamic_cast<ShadowMappedEffect*>(At(1)), nullptr);
    EXPECT_NE(dynamic_cast<DistortEffect*>(At(2)), nullptr);
    EXPECT_NE(dynamic_cast<BumpEnvEffect*>(At(3)), nullptr);
    EXPECT_EQ(TheShadowMapEffect(), At(0));
    EXPECT_EQ(TheEffectManager().FindEffect(String("ShadowMap"), 200), At(0));
    EXPECT_EQ(TheEffectManager().FindEffect(String("ShadowMapped"), 200), At(1));
    EXPECT_EQ(TheEffectManager().FindEffect(String("Bump"), 200), At(1));
    EXPECT_EQ(TheEffectManager().FindEffect(String("Distort"), 200), At(2));
    EXPECT_EQ(TheEffectManager().FindEffect(String("BumpEnv"), 200), At(3));
    // Every technique of the media's sources is there to be found.
    const std::vector<std::vector<const char*>> techniques = {
        {"ShadowMap", "ShadowMapAlpha", "ZTexShadowMap", "ZTexShadowMapAlpha"},
        {"ShadowDir", "ShadowDirMask", "ShadowSpot", "ShadowSpotMask", "ShadowSpotNoCone", "ShadowSpotNoConeMask",
         "Simple", "ZTexShadowDir", "ZTexShadowDirMask", "ZTexShadowSpot", "ZTexShadowSpotMask",
         "ZTexShadowSpotNoCone", "ZTexShadowSpotNoConeMask", "ZTexSimple"},
        {"Simple"},
        {"Refl", "ReflGloss", "ReflSphere", "ReflSphereGloss", "Refr", "RefrGloss", "RefrSphere", "RefrSphereGloss"}};
    for (i32 e = 0; e < 4; ++e) {
        EXPECT_EQ(At(e)->GetTechniqueNames().count, techniques[e].size());
        for (const char* name : techniques[e]) EXPECT_TRUE(At(e)->GetTechniqueNames().Contains(String(name))) << name;
    }
}

TEST_F(EffectManagerCreate, BelowPixelShader2NoEffectCanRun) {
    Restart(true, D3DPS_VERSION(1, 4));
    ExtractMedia();
    if (IsSkipped() || HasFatalFailure()) return;
    WarningsCapture errors(LogErrors());
    WarningsCapture warnings;
    // The manager goes on past every failure.
    ASSERT_TRUE(TheEffectManager().Create());
    EXPECT_EQ(TheEffectManager().Effects().count, 0);
    EXPECT_NE(errors.Text().find("No techniques supported"), std::string::npos) << errors.Text();
    // Each failed before registering a name, so the record names none.
    const std::string text = warnings.Text();
    size_t failures = 0;
    for (size_t at = text.find("Effect failed to create: "); at != std::string::npos;
         at = text.find("Effect failed to create: ", at + 1))
        ++failures;
    EXPECT_EQ(failures, 4u) << text;
    EXPECT_EQ(TheShadowMapEffect(), nullptr);
    for (const char* name : {"ShadowMap", "ShadowMapped", "Bump", "Distort", "BumpEnv"})
        EXPECT_EQ(TheEffectManager().FindEffect(String(name), 200), nullptr) << name;
    EXPECT_EQ(PlatformTest_D3dx9LiveEffects(), 0);
}

TEST_F(EffectManagerCreate, AFrameThroughEachEffectSurvivesADeviceLoss) {
    ExtractMedia();
    if (IsSkipped() || HasFatalFailure()) return;
    for (bool depth : {false, true}) {
        SCOPED_TRACE(depth ? "depth-texture map" : "colour map");
        Restart(depth);
        ASSERT_TRUE(TheEffectManager().Create());
        ASSERT_EQ(TheEffectManager().Effects().count, 4);
        MakeRenderer(256);
        std::unique_ptr<Texture> cube = MakeTexture(true);
        Material environment;
        environment.context = &context;
        environment.layers[0].samplers[kEnvMap].texture = cube.get();
        SceneCamera eye;
        // The shadow pass, then the receivers, the distortion and an environment-mapped mesh.
        auto frame = [&]() {
            std::vector<std::string> drawn;
            context.lighting = Lighting({Spot(0.3f, 0.5f)});
            EXPECT_TRUE(renderer->Begin(Spot(0.3f, 0.5f), 1, -0.000205f, 1.5f));
            for (const std::string& pass : Draw(*At(0), material)) drawn.push_back(pass);
            EXPECT_TRUE(renderer->End());
            static_cast<ShadowMappedEffect*>(At(1))->SetShadowParams(eye, *renderer, 0, FColor());
            for (const std::string& pass : Draw(*At(1), material)) drawn.push_back(pass);
            for (const std::string& pass : Draw(*At(2), material)) drawn.push_back(pass);
            context.lighting = Lighting({Dir(0.9f), Point(1.0f, 2.0f, 3.0f)});
            for (const std::string& pass : Draw(*At(3), environment)) drawn.push_back(pass);
            return drawn;
        };
        const std::string prefix = depth ? "ZTex" : "";
        const std::vector<std::string> expected = {prefix + "ShadowMap 0", prefix + "ShadowSpot 0", "Simple 0",
                                                   "Refl 0"};
        EXPECT_EQ(frame(), expected);
        EXPECT_EQ(PlatformTest_D3dx9LiveEffects(), 25);

        ASSERT_TRUE(app->ResetDevice());
        // Every variant was rebuilt, no effect more or less, and the frame draws the same.
        EXPECT_EQ(PlatformTest_D3dx9LiveEffects(), 25);
        for (i32 e = 0; e < 4; ++e)
            for (const RefHandle<EffectCode>& code : At(e)->GetCodes()) EXPECT_NE(code->GetEffect(), nullptr);
        EXPECT_EQ(frame(), expected);
        EXPECT_TRUE(Matching(TakeCalls(), "EffectWarning").empty());

        TheEffectManager().Reset();
        renderer.reset();
        EXPECT_EQ(PlatformTest_D3dx9LiveEffects(), 0);
        EXPECT_EQ(PlatformTest_D3dx9LiveEffectPools(), 0);
        EXPECT_EQ(TheShadowMapEffect(), nullptr);
    }
}

}  // namespace
