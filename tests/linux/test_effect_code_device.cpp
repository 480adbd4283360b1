// Effect code on the reference device and our D3DX: building from source, the compiled
// cache beside it (used, refused, overwritten), the technique index by caps and labels, the
// device-object life, the manager's shared codes, and effect groups with their definitions.
#include "Core/ProgramObjects.h"
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "Effect/Effect.h"
#include "Effect/EffectCode.h"
#include "Effect/EffectManager.h"
#include "tests/TestSupport.h"
#include "tests/EffectCodeSources.h"
#include "tests/EffectTestSupport.h"

#include <PlatformTestD3d9.h>
#include <PlatformTestWindows.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using effectsupport::WarningsCapture;

class EffectCodeDevice : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformTest_D3d9Reset();
        PlatformTest_ResetWindows();
        folder = testsupport::FreshTestFolder("corvane-effects");
        fs::create_directories(folder / "Shaders");
        // Sources are named relative to a working folder of the test's own, as media are,
        // so every compiled file is written under it.
        saved = fs::current_path();
        fs::current_path(folder);
    }
    void TearDown() override {
        TheEffectManager().Reset();
        TheEffectManager().searchPaths.Clear();
        app.reset();
        fs::current_path(saved);
        fs::remove_all(folder);
        PlatformTest_D3d9Reset();
        PlatformTest_ResetWindows();
    }
    // An application with a windowed device on the given adapter.
    void Open(const PlatformTestD3d9Adapter& adapter = PlatformTest_D3d9DefaultAdapter()) {
        PlatformTest_D3d9SetAdapters({adapter});
        app = std::make_unique<Application>();
        ASSERT_TRUE(app->Create(GetModuleHandleA(nullptr), nullptr));
        ASSERT_TRUE(app->SetMode(false));
        ASSERT_NE(TheDevice(), nullptr);
    }
    fs::path Write(const std::string& name, const std::string& text) {
        const fs::path path = fs::path("Shaders") / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    static SHADERDESC Desc(const fs::path& path) {
        SHADERDESC desc;
        desc.path = patht(path.string().c_str());
        return desc;
    }
    static std::vector<std::string> TechniqueNames(const EffectCode& code) {
        std::vector<std::string> names;
        for (auto* n = code.techniques.first; code.techniques.count && n;) {
            names.push_back(n->key.c_str());
            n = n->next;
            if (n == code.techniques.first) break;
        }
        return names;
    }
    static std::string ReadFile(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path folder;
    fs::path saved;
    std::unique_ptr<Application> app;
};

PlatformTestD3d9Adapter ShaderModel3Adapter() {
    PlatformTestD3d9Adapter adapter = PlatformTest_D3d9DefaultAdapter();
    for (auto& [type, caps] : adapter.devices) {
        caps.VertexShaderVersion = D3DVS_VERSION(3, 0);
        caps.PixelShaderVersion = D3DPS_VERSION(3, 0);
    }
    return adapter;
}

TEST_F(EffectCodeDevice, IndexesTheValidTechniquesByNameAndIntegerLabels) {
    Open();
    const fs::path source = Write("Labelled.fx", effectsupport::kLabelledEffect);
    EffectCode code;
    const SHADERDESC desc = Desc(source);
    ASSERT_TRUE(code.Create(&desc));
    ASSERT_NE(code.GetEffect(), nullptr);
    // The shader-model-3 technique is not valid on a ps_2_0 device.
    EXPECT_EQ(TechniqueNames(code), (std::vector<std::string>{"Lit", "Simple"}));
    ASSERT_EQ(code.techniqueIndex.count, 2u);
    const TechniqueRecord& first = code.techniqueIndex.first->key;  // the smaller sum first
    EXPECT_STREQ(first.name.c_str(), "Simple");
    EXPECT_EQ(first.passes, 1u);
    EXPECT_EQ(first.annotationSum, 0);
    const TechniqueRecord& lit = code.techniqueIndex.first->next->key;
    EXPECT_STREQ(lit.name.c_str(), "Lit");
    EXPECT_EQ(lit.passes, 2u);
    EXPECT_EQ(lit.owner, &code);
    EXPECT_EQ(lit.annotationSum, 2);
    ASSERT_EQ(lit.annotations.count, 1u) << "zero, string and float annotations are not labels";
    EXPECT_STREQ(lit.annotations.first->key.c_str(), "DIR");

    TechniqueRecord query;
    query.annotationSum = 2;
    query.annotations.Insert(String("DIR"), 2);
    const TechniqueRecord* found = FindTechniqueByLabels(code.techniqueIndex, query);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->name.c_str(), "Lit");
}

TEST_F(EffectCodeDevice, CapsAndDefinitionsDecideWhichTechniquesExist) {
    Open(ShaderModel3Adapter());
    const fs::path source = Write("Labelled.fx", effectsupport::kLabelledEffect);
    EffectCode code;
    SHADERDESC desc = Desc(source);
    desc.macros.Add(ShaderMacro{String("EXTRA"), String("3")});
    ASSERT_TRUE(code.Create(&desc));
    EXPECT_EQ(TechniqueNames(code), (std::vector<std::string>{"Extra", "Future", "Lit", "Simple"}));
    TechniqueRecord spot;
    spot.annotationSum = 3;
    spot.annotations.Insert(String("SPOT"), 3);
    const TechniqueRecord* found = FindTechniqueByLabels(code.techniqueIndex, spot);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->name.c_str(), "Extra");
    EXPECT_EQ(code.GetDesc().macros.count, 1);
}

TEST_F(EffectCodeDevice, SavedCompiledFormIsUsedWithoutTheSource) {
    Open();
    const fs::path source = Write("Labelled.fx", effectsupport::kLabelledEffect);
    const fs::path cache = fs::path("Shaders") / "Labelled" / "Labelled 1.fxo";
    SHADERDESC desc = Desc(source);
    desc.saveCompiled = 1;
    {
        EffectCode code;
        ASSERT_TRUE(code.Create(&desc));
    }
    ASSERT_TRUE(fs::exists(cache)) << "the cache folder is made beside the source";
    const std::string compiled = ReadFile(cache);
    EXPECT_FALSE(compiled.empty());
    // Without the source the cache alone builds the same effect.
    fs::remove(source);
    desc.saveCompiled = 0;
    EffectCode again;
    ASSERT_TRUE(again.Create(&desc));
    EXPECT_EQ(TechniqueNames(again), (std::vector<std::string>{"Lit", "Simple"}));
    // The compiled form is deterministic: compiling again writes the same bytes.
    Write("Labelled.fx", effectsupport::kLabelledEffect);
    desc.forceCompile = 1;
    desc.saveCompiled = 1;
    EffectCode third;
    ASSERT_TRUE(third.Create(&desc));
    EXPECT_EQ(ReadFile(cache), compiled);
}

TEST_F(EffectCodeDevice, ADamagedCacheIsRefusedAndAForcedCompileOverwritesIt) {
    Open();
    WarningsCapture warnings;
    const fs::path source = Write("Labelled.fx", effectsupport::kLabelledEffect);
    fs::create_directories(fs::path("Shaders") / "Labelled");
    const fs::path cache = fs::path("Shaders") / "Labelled" / "Labelled 1.fxo";
    std::ofstream(cache, std::ios::binary) << "DXBC this is not our compiled form";
    SHADERDESC desc = Desc(source);
    EffectCode code;
    EXPECT_FALSE(code.Create(&desc)) << "a cache that exists is trusted over the source";
    EXPECT_EQ(code.GetEffect(), nullptr);
    EXPECT_EQ(code.techniques.count, 0u);
    const std::string log = warnings.Text();
    EXPECT_NE(log.find("Failed to load binary effect: " + cache.string()), std::string::npos) << log;
    EXPECT_NE(log.find("Errors Msgs: "), std::string::npos) << log;

    desc.forceCompile = 1;
    desc.saveCompiled = 1;
    ASSERT_TRUE(code.Create(&desc));
    desc.forceCompile = 0;
    desc.saveCompiled = 0;
    EffectCode fromCache;
    EXPECT_TRUE(fromCache.Create(&desc)) << "the forced compile replaced the damaged file";
}

TEST_F(EffectCodeDevice, CompilerFailuresAreLoggedWithTheirMessages) {
    Open();
    WarningsCapture warnings;
    const fs::path source = Write("Broken.fx", effectsupport::kBrokenEffect);
    EffectCode code;
    SHADERDESC desc = Desc(source);
    EXPECT_FALSE(code.Create(&desc));
    const std::string log = warnings.Text();
    const bool compiler = log.find("Failed to create effect compiler: " + source.string()) != std::string::npos;
    const bool compile = log.find("Failed to compile effect: " + source.string()) != std::string::npos;
    EXPECT_TRUE(compiler || compile) << log;
    EXPECT_NE(log.find("Errors Msgs: \n"), std::string::npos) << log;
    EXPECT_NE(log.find("Broken.fx"), std::string::npos) << "the message names the file";
    EXPECT_FALSE(fs::exists(fs::path("Shaders") / "Broken")) << "nothing is saved";

    WarningsCapture missing;
    SHADERDESC absent = Desc(fs::path("Shaders") / "Absent.fx");
    EXPECT_FALSE(code.Create(&absent));
    EXPECT_NE(missing.Text().find("Failed to create effect compiler: "), std::string::npos) << missing.Text();
}

TEST_F(EffectCodeDevice, DeviceLossDropsTheEffectAndRestoreRebuildsItInPlace) {
    Open();
    const fs::path source = Write("Labelled.fx", effectsupport::kLabelledEffect);
    EffectCode code;
    const SHADERDESC desc = Desc(source);
    ASSERT_TRUE(code.Create(&desc));
    ID3DXEffect* before = code.GetEffect();
    EXPECT_TRUE(code.Restore());
    EXPECT_EQ(code.GetEffect(), before) << "a restore with an effect does nothing";

    const i32 registered = app->DeviceObjects().Count();
    EXPECT_TRUE(app->DeviceObjects().Contains(&code));
    ASSERT_TRUE(app->ResetDevice());  // invalidate and restore every device object
    EXPECT_NE(code.GetEffect(), nullptr);
    EXPECT_EQ(TechniqueNames(code), (std::vector<std::string>{"Lit", "Simple"}));
    EXPECT_EQ(app->DeviceObjects().Count(), registered) << "a restore neither leaves nor rejoins";
    EXPECT_TRUE(app->DeviceObjects().Contains(&code));

    EXPECT_TRUE(code.Invalidate());
    EXPECT_EQ(code.GetEffect(), nullptr);
    EXPECT_TRUE(code.Restore());
    EXPECT_NE(code.GetEffect(), nullptr);
}

TEST_F(EffectCodeDevice, WithoutADeviceTheBinaryStepFails) {
    WarningsCapture warnings;
    const fs::path source = Write("Labelled.fx", effectsupport::kLabelledEffect);
    EffectCode code;
    const SHADERDESC desc = Desc(source);
    EXPECT_FALSE(code.Create(&desc));
    EXPECT_NE(warnings.Text().find("Failed to load binary effect: "), std::string::npos) << warnings.Text();
}

TEST_F(EffectCodeDevice, TheManagerSharesOneCodePerKeyAndForgetsItWithItsLastHandle) {
    Open();
    const fs::path source = Write("Labelled.fx", effectsupport::kLabelledEffect);
    EffectManager& manager = TheEffectManager();
    SHADERDESC desc = Desc(source);
    RefHandle<EffectCode> a = manager.GetEffectCode(&desc);
    ASSERT_TRUE(a);
    EXPECT_EQ(a.UseCount(), 1u) << "the tables hold no count";
    desc.flags = 0x800;
    desc.forceCompile = 1;
    RefHandle<EffectCode> b = manager.GetEffectCode(&desc);
    EXPECT_EQ(b.Get(), a.Get());
    EXPECT_EQ(a.UseCount(), 2u);
    EXPECT_EQ(manager.CodeCount(), 1u);
    desc.macros.Add(ShaderMacro{String("EXTRA"), String("1")});
    RefHandle<EffectCode> c = manager.GetEffectCode(&desc);
    ASSERT_TRUE(c);
    EXPECT_NE(c.Get(), a.Get());
    EXPECT_EQ(manager.CodeCount(), 2u);
    c.Release();
    EXPECT_EQ(manager.CodeCount(), 1u);
    a.Release();
    b.Release();
    EXPECT_EQ(manager.CodeCount(), 0u);
    RefHandle<EffectCode> fresh = manager.GetEffectCode(&desc);
    EXPECT_TRUE(fresh);

    // A source found nowhere gives an empty handle and no record.
    WarningsCapture warnings;
    SHADERDESC absent = Desc(fs::path("Shaders") / "Absent.fx");
    EXPECT_FALSE(manager.GetEffectCode(&absent));
    EXPECT_EQ(warnings.Text(), "");
}

TEST_F(EffectCodeDevice, TheManagerResolvesSourcesAgainstItsSearchPaths) {
    Open();
    Write("Labelled.fx", effectsupport::kLabelledEffect);
    EffectManager& manager = TheEffectManager();
    manager.searchPaths.AddSearchPath(patht("Shaders"));
    SHADERDESC desc;
    desc.path = patht("Labelled.fx");
    RefHandle<EffectCode> code = manager.GetEffectCode(&desc);
    ASSERT_TRUE(code);
    EXPECT_STREQ(code->GetDesc().path.name.c_str(), "Shaders/Labelled.fx");
}

// An effect whose variants come from the group loader.
class GroupEffect : public Effect {
public:
    bool Load(const fs::path& source, i32 firstTexcoord, Array<LightGroup>& groups, i32 psVersion) {
        SHADERDESC desc;
        desc.path = patht(source.string().c_str());
        desc.macros.Add(ShaderMacro{String("CALLER"), String("1")});
        return LoadEffectGroup(codes, desc, firstTexcoord, groups, psVersion);
    }
    EffectCodeArray codes{0, 10};
    bool SetParameters(Material*, i32) override { return true; }
    bool SelectTechnique(Material*, i32, i32& passes) override {
        passes = 0;
        return true;
    }
};

std::vector<std::string> Definitions(const EffectCode& code) {
    std::vector<std::string> out;
    for (const ShaderMacro& m : code.GetDesc().macros) out.push_back(std::string(m.name.c_str()) + "=" + m.value.c_str());
    return out;
}

// The variants choose their pixel shader through PS_MODEL, as the product's sources do.
const char* const kGroupSource = R"(
shared float4 TexFactor = {1, 1, 1, 1};
float4 Vs(float4 pos : POSITION) : POSITION { return pos; }
float4 Ps() : COLOR { return TexFactor; }
technique Simple < int DIR = NUMDIR; int POINT = NUMPOINT; >
{
    pass P0
    {
        VertexShader = compile vs_1_1 Vs();
        PixelShader = compile PS_MODEL Ps();
    }
}
)";

TEST_F(EffectCodeDevice, AnEmptyGroupGivesOneVariantWithTheCallersDefinitions) {
    Open();
    const fs::path source = Write("Group.fx", kGroupSource);
    GroupEffect effect;
    Array<LightGroup> groups(0, 10);
    groups.Add(LightGroup());
    // An empty group declares no counts: give the source its two names through the caller.
    SHADERDESC desc;
    desc.path = patht(source.string().c_str());
    desc.macros.Add(ShaderMacro{String("NUMDIR"), String("0")});
    desc.macros.Add(ShaderMacro{String("NUMPOINT"), String("0")});
    ASSERT_TRUE(effect.LoadEffectGroup(effect.codes, desc, 0, groups, 20));
    ASSERT_EQ(effect.codes.count, 1);
    EXPECT_EQ(Definitions(*effect.codes[0].Get()),
              (std::vector<std::string>{"NUMDIR=0", "NUMPOINT=0", "TEXCOORDS=", "PS_MODEL=ps_2_0"}));
    EXPECT_EQ(effect.GetTechniqueIndex().count, 1u);
    EXPECT_TRUE(effect.GetTechniqueNames().Contains(String("Simple")));
}

TEST_F(EffectCodeDevice, EveryCombinationGetsItsDefinitionsInterpolatorsAndModel) {
    Open();
    const fs::path source = Write("Group.fx", kGroupSource);
    GroupEffect effect;
    LightGroup group;
    LightKind dir;
    dir.name = String("DIR");
    dir.maxCount = 2;
    dir.perLight.Add(String("LightDir"));
    dir.shared.Add(String("Eye"));
    dir.define = String("LIGHTING");
    LightKind point;
    point.name = String("POINT");
    point.maxCount = 1;
    point.perLight.Add(String("LightPos"));
    point.shared.Add(String("Eye"));
    point.define = String("LIGHTING");
    group.AddKind(dir);
    group.AddKind(point);
    group.maxTotal = 2;
    Array<LightGroup> groups(0, 10);
    groups.Add(group);
    ASSERT_TRUE(effect.Load(source, 2, groups, 11));
    // (0,0) (1,0) (2,0) (0,1) (1,1): five variants.
    ASSERT_EQ(effect.codes.count, 5);
    EXPECT_EQ(Definitions(*effect.codes[0].Get()),
              (std::vector<std::string>{"CALLER=1", "NUMDIR=0", "NUMPOINT=0", "TEXCOORDS=", "PS_MODEL=ps_1_1"}));
    // Two directional lights: the shared output once, the light numbers running on.
    EXPECT_EQ(Definitions(*effect.codes[2].Get()),
              (std::vector<std::string>{"CALLER=1", "DIR1=", "DIR2=", "NUMDIR=2", "LIGHTING=", "NUMPOINT=0",
                                        "TEXCOORDS=LightDir:TEXCOORD2;Eye:TEXCOORD3;LightDir:TEXCOORD4;",
                                        "PS_MODEL=ps_1_4"}));
    // One of each: the point light is light 2, the shared output and the extra definition once.
    EXPECT_EQ(Definitions(*effect.codes[4].Get()),
              (std::vector<std::string>{"CALLER=1", "DIR1=", "NUMDIR=1", "LIGHTING=", "POINT2=", "NUMPOINT=1",
                                        "TEXCOORDS=LightDir:TEXCOORD2;Eye:TEXCOORD3;LightPos:TEXCOORD4;",
                                        "PS_MODEL=ps_1_4"}));
    // Each variant's technique is its own record (same name, different labels or owners).
    EXPECT_EQ(effect.GetTechniqueIndex().count, 5u);
    EXPECT_EQ(effect.GetTechniqueNames().count, 1u);
}

TEST_F(EffectCodeDevice, CombinationsThatFitNoModelAreSkippedAndAFailureStopsTheLoad) {
    Open();
    const fs::path source = Write("Group.fx", kGroupSource);
    LightKind dir;
    dir.name = String("DIR");
    dir.maxCount = 3;
    dir.perLight.Add(String("A"));
    dir.perLight.Add(String("B"));
    dir.perLight.Add(String("C"));
    LightKind point;
    point.name = String("POINT");
    point.maxCount = 0;
    LightGroup group;
    group.AddKind(dir);
    group.AddKind(point);
    group.maxTotal = 3;
    Array<LightGroup> groups(0, 10);
    groups.Add(group);
    GroupEffect effect;
    // 0, 3, 6 interpolators fit ps_2_0; 9 fits nothing.
    ASSERT_TRUE(effect.Load(source, 0, groups, 20));
    EXPECT_EQ(effect.codes.count, 3);

    WarningsCapture warnings;
    GroupEffect broken;
    const fs::path bad = Write("Bad.fx", effectsupport::kBrokenEffect);
    EXPECT_FALSE(broken.Load(bad, 0, groups, 20));
    EXPECT_EQ(broken.codes.count, 1);
    EXPECT_FALSE(broken.codes[0]) << "the failed variant's slot holds an empty handle";
}

}  // namespace
