// The material readers of the model loader without a device: the "Materials" block (the
// first definition of a name wins, sub-materials fill the layer they name), a layer's
// colours and address modes, the node's effect and state properties, and the one line of
// the text file "log" that each texture or effect that cannot be had leaves (the working
// folder is the test's own, so the file is too).
#include "Core/UdfNode.h"
#include "D3d/TextureManager.h"
#include "Effect/EffectManager.h"
#include "Effect/Material.h"
#include "Scene/AdvScene.h"
#include "tests/EffectTestSupport.h"
#include "tests/ModelBuilder.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace modelbuilder;

namespace fs = std::filesystem;
using effectsupport::ScriptedEffect;

class TestScene : public AdvScene {
public:
    void SetFlags(u32 flags) { desc.flags = flags; }
};

class MaterialLoading : public ::testing::Test {
protected:
    void SetUp() override {
        folder = testsupport::FreshTestFolder("corvane-materials");
        saved = fs::current_path();
        fs::current_path(folder);
        ASSERT_TRUE(CreateSceneNode(&node));
        node->Rename(String("Box01"));
        ASSERT_TRUE(scene.GetRoot()->AddChild(node));
        entry = ModelBuilder::Node(builder.Root(), "Box01", "Dummy");
        scene.SetFlags(0);
    }
    void TearDown() override {
        TheEffectManager().Reset();
        TheTextureManager().Reset();
        fs::current_path(saved);
        fs::remove_all(folder);
    }
    // The lines of the text file "log" (CR LF endings), or none without the file.
    static std::vector<std::string> LogLines() {
        std::ifstream in("log", std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
    UdfNode* MaterialEntry(const char* name) { return builder.BlockEntry("Materials", name, "Material"); }
    static UdfNode* Map(UdfNode* material, const char* name, const char* kind, const char* file) {
        UdfNode* textures = ModelBuilder::Object(material, "Textures", "Textures");
        UdfNode* map = ModelBuilder::Object(textures, name, kind);
        ModelBuilder::SetText(map, "FileName", file);
        return map;
    }
    UdfNode* Block() { return builder.Root()->FindChild("Materials"); }
    const MaterialLayer& Layer0() { return node->GetMaterial().layers[0]; }
    // Registers effects of one name with the given qualities, in order.
    static std::vector<Effect*> Register(const char* name, std::initializer_list<i32> qualities) {
        Array<Effect*> list(0, 4);
        std::vector<Effect*> made;
        for (i32 q : qualities) {
            auto* effect = new ScriptedEffect(true);
            effect->AddName(String(name), q);
            list.Add(effect);
            made.push_back(effect);
        }
        EXPECT_TRUE(TheEffectManager().Create(list));
        return made;
    }

    fs::path folder;
    fs::path saved;
    ModelBuilder builder;
    TestScene scene;
    Hierarchy* node = nullptr;
    UdfNode* entry = nullptr;
};

TEST_F(MaterialLoading, TheFirstDefinitionOfANameWinsAcrossLoads) {
    ModelBuilder::SetColor(MaterialEntry("Stone"), "Diffuse", 1.0f, 1.0f, 0.0f, 0.0f);
    ASSERT_TRUE(scene.LoadMaterials(Block()));
    ModelBuilder second;
    UdfNode* again = second.BlockEntry("Materials", "Stone", "Material");
    ModelBuilder::SetColor(again, "Diffuse", 1.0f, 0.0f, 1.0f, 0.0f);
    ModelBuilder::SetColor(second.BlockEntry("Materials", "Moss", "Material"), "Diffuse", 1.0f, 0.0f, 0.5f, 0.0f);
    ASSERT_TRUE(scene.LoadMaterials(second.Root()->FindChild("Materials")));
    Material* stone = scene.GetMaterials().Find(String("Stone"));
    ASSERT_NE(stone, nullptr);
    EXPECT_FLOAT_EQ(stone->layers[0].colors.value.Diffuse.r, 1.0f);
    EXPECT_FLOAT_EQ(stone->layers[0].colors.value.Diffuse.g, 0.0f);
    ASSERT_NE(scene.GetMaterials().Find(String("Moss")), nullptr) << "new names are still added";
    EXPECT_EQ(scene.GetMaterials().Count(), 2);
}

TEST_F(MaterialLoading, ColoursPowerCullingAndOpacityOfALayer) {
    UdfNode* m = MaterialEntry("Glass");
    ModelBuilder::SetColor(m, "Diffuse", 0.5f, 1.0f, 0.0f, 0.25f);
    ModelBuilder::SetColor(m, "Emissive", 1.0f, 0.1f, 0.2f, 0.3f);
    ModelBuilder::SetColor(m, "Ambient", 0.0f, 0.0f, 0.0f, 0.0f, 12);  // b keeps its default
    ModelBuilder::SetFloat(m, "ShineStrength", 0.25f);
    ModelBuilder::SetByte(m, "TwoSided", 1);
    ModelBuilder::SetFloat(m, "Opacity", 0.3f);
    ModelBuilder::SetFloat(MaterialEntry("Plain"), "Opacity", 1.0f);
    ASSERT_TRUE(scene.LoadMaterials(Block()));
    const MaterialLayer& glass = scene.GetMaterials().Find(String("Glass"))->layers[0];
    const D3DCOLORVALUE& d = glass.colors.value.Diffuse;
    EXPECT_FLOAT_EQ(d.r, 1.0f);
    EXPECT_FLOAT_EQ(d.g, 0.0f);
    EXPECT_FLOAT_EQ(d.b, 0.25f);
    EXPECT_FLOAT_EQ(d.a, 0.5f);
    EXPECT_FLOAT_EQ(glass.colors.value.Emissive.b, 0.3f);
    EXPECT_FLOAT_EQ(glass.colors.value.Ambient.r, 0.0f);
    EXPECT_FLOAT_EQ(glass.colors.value.Ambient.b, 1.0f);
    EXPECT_FLOAT_EQ(glass.colors.value.Power, 12.0f);
    EXPECT_EQ(glass.cullMode, u32(D3DCULL_NONE));
    EXPECT_FLOAT_EQ(glass.opacity, 0.3f);
    EXPECT_TRUE(String::EqualsText(glass.blendKindName, "Glass"));
    const MaterialLayer& plain = scene.GetMaterials().Find(String("Plain"))->layers[0];
    EXPECT_EQ(plain.cullMode, u32(D3DCULL_CCW));
    EXPECT_FLOAT_EQ(plain.colors.value.Power, 16.0f);
    EXPECT_FLOAT_EQ(plain.colors.value.Emissive.r, 0.0f);
}

TEST_F(MaterialLoading, SubMaterialsFillTheLayersTheyNameAndOthersAreSkipped) {
    UdfNode* m = MaterialEntry("Multi");
    ModelBuilder::SetColor(m, "Diffuse", 1.0f, 0.0f, 0.0f, 0.0f);  // not read: sub-materials win
    UdfNode* subs = ModelBuilder::Object(m, "Materials", "Material");
    const struct {
        const char* name;
        i32 id;
        f32 red;
    } parts[] = {{"Base", 0, 0.1f}, {"Detail", 2, 0.3f}, {"Beyond", 3, 0.7f}, {"Below", -1, 0.9f}};
    for (const auto& p : parts) {
        UdfNode* sub = ModelBuilder::Object(subs, p.name, "Material");
        ModelBuilder::SetInt(sub, "MaterialSubId", p.id);
        ModelBuilder::SetColor(sub, "Diffuse", 1.0f, p.red, 1.0f, 1.0f);
    }
    ASSERT_TRUE(scene.LoadMaterials(Block()));
    const Material* multi = scene.GetMaterials().Find(String("Multi"));
    ASSERT_NE(multi, nullptr);
    EXPECT_FLOAT_EQ(multi->layers[0].colors.value.Diffuse.r, 0.1f);
    EXPECT_FLOAT_EQ(multi->layers[2].colors.value.Diffuse.r, 0.3f);
    EXPECT_FLOAT_EQ(multi->layers[1].colors.value.Diffuse.r, 1.0f) << "layer 1 was not named";
    for (const MaterialLayer& layer : multi->layers) {
        EXPECT_FALSE(String::EqualsText(layer.blendKindName, "Beyond"));
        EXPECT_FALSE(String::EqualsText(layer.blendKindName, "Below"));
    }
}

TEST_F(MaterialLoading, AMaterialBorderClampsWhileThePropertyBorderIsBorder) {
    // A gloss map's slot is filled whether or not its image loads.
    UdfNode* m = MaterialEntry("Water");
    UdfNode* refract = Map(m, "Refract", "Refract", "missing_env.dds");
    UdfNode* inner = ModelBuilder::Object(refract, "Textures", "Textures");
    UdfNode* gloss = ModelBuilder::Object(inner, "Gloss", "Diffuse");
    ModelBuilder::SetText(gloss, "FileName", "missing_gloss.bmp");
    ModelBuilder::SetText(gloss, "TexAddrU", "Border");
    ModelBuilder::SetText(gloss, "TexAddrV", "Mirror");
    ASSERT_TRUE(scene.LoadMaterials(Block()));
    const MaterialLayer& water = scene.GetMaterials().Find(String("Water"))->layers[0];
    EXPECT_EQ(water.samplers[kGlossMap2].addressU, u32(D3DTADDRESS_CLAMP));
    EXPECT_EQ(water.samplers[kGlossMap2].addressV, u32(D3DTADDRESS_MIRROR));
    EXPECT_EQ(water.samplers[kGlossMap2].texture, nullptr);

    ModelBuilder::Prop(entry, "TexAddrU", "border");
    ModelBuilder::Prop(entry, "TexAddrV", "Border");  // case counts: not in the table
    ASSERT_TRUE(scene.ReadMaterialStates(entry, node, nullptr));
    EXPECT_EQ(Layer0().samplers[kBaseMap].addressU, u32(D3DTADDRESS_BORDER));
    EXPECT_EQ(Layer0().samplers[kBaseMap].addressV, 0u);
}

struct AlphaRow {
    std::vector<const char*> words;
    u32 op;
    u32 arg1;
    u32 arg2;
};

class AlphaUse : public MaterialLoading, public ::testing::WithParamInterface<AlphaRow> {};

TEST_P(AlphaUse, WordsChooseTheFirstStageCombine) {
    const AlphaRow& row = GetParam();
    if (row.words.size() == 1)
        ModelBuilder::Prop(entry, "AlphaUse", row.words[0]);
    else
        ModelBuilder::PropList(entry, "AlphaUse", {row.words[0], row.words[1]});
    ASSERT_TRUE(scene.ReadMaterialStates(entry, node, nullptr));
    const TextureStage& stage = Layer0().stages[0];
    EXPECT_EQ(stage.alphaOp, row.op);
    if (row.op != D3DTOP_DISABLE) {
        EXPECT_EQ(stage.alphaArg[1], row.arg1);
    }
    if (row.op == D3DTOP_MODULATE) {
        EXPECT_EQ(stage.alphaArg[2], row.arg2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, AlphaUse,
    ::testing::Values(AlphaRow{{"texture", "diffuse"}, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE},
                      AlphaRow{{"factor", "texture"}, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_TFACTOR},
                      AlphaRow{{"Diffuse", "FACTOR"}, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR},
                      AlphaRow{{"factor"}, D3DTOP_SELECTARG1, D3DTA_TFACTOR, 0},
                      AlphaRow{{"diffuse"}, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, 0},
                      AlphaRow{{"texture"}, D3DTOP_SELECTARG1, D3DTA_TEXTURE, 0},
                      AlphaRow{{"other"}, D3DTOP_DISABLE, 0, 0}));

TEST_F(MaterialLoading, AlphaIsReadOnlyWithTheFactorWord) {
    ModelBuilder::Prop(entry, "AlphaUse", "factor");
    ASSERT_TRUE(scene.ReadMaterialStates(entry, node, nullptr));
    EXPECT_FLOAT_EQ(Layer0().opacity, 0.5f);
    ModelBuilder::Prop(entry, "Alpha", "0.25");
    ASSERT_TRUE(scene.ReadMaterialStates(entry, node, nullptr));
    EXPECT_FLOAT_EQ(Layer0().opacity, 0.25f);

    UdfNode* other = ModelBuilder::Node(builder.Root(), "Other", "Dummy");
    ModelBuilder::Prop(other, "AlphaUse", "texture");
    ModelBuilder::Prop(other, "Alpha", "0.75");
    Material start;
    ASSERT_TRUE(scene.ReadMaterialStates(other, node, &start));
    EXPECT_FLOAT_EQ(Layer0().opacity, 1.0f);
}

TEST_F(MaterialLoading, EffectQualityWordsGoToTheLayersInOrder) {
    ModelBuilder::PropList(entry, "EffectQuality", {"custom", "100"});
    ASSERT_TRUE(scene.ReadMaterialStates(entry, node, nullptr));
    EXPECT_EQ(node->GetMaterial().layers[0].effectQuality, -2);
    EXPECT_EQ(node->GetMaterial().layers[1].effectQuality, 100);
    EXPECT_EQ(node->GetMaterial().layers[2].effectQuality, -1);

    // A repeated word counts once.
    UdfNode* twice = ModelBuilder::Node(builder.Root(), "Twice", "Dummy");
    UdfNode* words = ModelBuilder::PropList(twice, "EffectQuality", {"50", "50"});
    ModelBuilder::SetText(words, "2", "custom");
    Material start;
    ASSERT_TRUE(scene.ReadMaterialStates(twice, node, &start));
    EXPECT_EQ(node->GetMaterial().layers[0].effectQuality, 50);
    EXPECT_EQ(node->GetMaterial().layers[1].effectQuality, -2);
    EXPECT_EQ(node->GetMaterial().layers[2].effectQuality, -1);
}

TEST_F(MaterialLoading, TheEffectVariantIsChosenForQuality200) {
    const std::vector<Effect*> high = Register("Glass", {300, 100});
    ModelBuilder::Prop(entry, "Effect", "Glass");
    ASSERT_TRUE(scene.ReadMaterialStates(entry, node, nullptr));
    EXPECT_EQ(Layer0().effect, high[0]);
    TheEffectManager().Reset();

    const std::vector<Effect*> low = Register("Glass", {100, 300});
    Material start;
    ASSERT_TRUE(scene.ReadMaterialStates(entry, node, &start));
    EXPECT_EQ(Layer0().effect, low[0]);
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(MaterialLoading, AnUnknownEffectLeavesOneLogLineAndTheEffectAsItWas) {
    ModelBuilder::Prop(entry, "Effect", "Nowhere");
    ASSERT_TRUE(scene.ReadMaterialStates(entry, node, nullptr));
    EXPECT_EQ(Layer0().effect, nullptr);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"Effect 'Nowhere' is not supported even with fallback"}));
}

TEST_F(MaterialLoading, StatePropertiesSetTheFirstLayerAndTheDrawOrder) {
    ModelBuilder::Prop(entry, "Blend", "additive");
    ModelBuilder::Prop(entry, "Blending", "multiply");  // "Blend" is read first
    ModelBuilder::Prop(entry, "MinFilter", "anisotropic");
    ModelBuilder::Prop(entry, "MagFilter", "guasquad");
    ModelBuilder::Prop(entry, "MipFilter", "Point");  // not in the table: 0
    ModelBuilder::Prop(entry, "ZWrite", "0");
    ModelBuilder::Prop(entry, "ZEnable", "1");
    ModelBuilder::Prop(entry, "AlphaTest", "128");
    ModelBuilder::Prop(entry, "SpecularEnable", "1");
    ModelBuilder::Prop(entry, "LocalViewer", "yes");
    ModelBuilder::Prop(entry, "Lit", "1");
    ModelBuilder::Prop(entry, "AlphaOrder", "5");
    ASSERT_TRUE(scene.ReadMaterialStates(entry, node, nullptr));
    const MaterialLayer& l = Layer0();
    EXPECT_EQ(l.blendEnabled, 1);
    EXPECT_EQ(l.srcBlend, u32(D3DBLEND_SRCALPHA));
    EXPECT_EQ(l.destBlend, u32(D3DBLEND_ONE));
    EXPECT_EQ(l.samplers[kBaseMap].minFilter, u32(D3DTEXF_ANISOTROPIC));
    EXPECT_EQ(l.samplers[kBaseMap].magFilter, u32(D3DTEXF_GAUSSIANQUAD));
    EXPECT_EQ(l.samplers[kBaseMap].mipFilter, 0u);
    EXPECT_EQ(l.depthWrite, 0);
    EXPECT_EQ(l.depthTest, 1);
    EXPECT_EQ(l.alphaRef, 128u);
    EXPECT_EQ(l.specularEnabled, 1);
    EXPECT_EQ(l.localViewer, 0);
    EXPECT_EQ(l.lit, 1);
    EXPECT_EQ(node->GetDrawOrder(), 5);

    // "Blending" alone; numbers that do not parse change nothing.
    UdfNode* other = ModelBuilder::Node(builder.Root(), "Other", "Dummy");
    ModelBuilder::Prop(other, "Blending", "multiply");
    ModelBuilder::Prop(other, "AlphaOrder", "five");
    ModelBuilder::Prop(other, "AlphaTest", "half");
    Material start;
    ASSERT_TRUE(scene.ReadMaterialStates(other, node, &start));
    EXPECT_EQ(Layer0().destBlend, u32(D3DBLEND_ZERO));
    EXPECT_EQ(Layer0().srcBlend, u32(D3DBLEND_DESTCOLOR));
    EXPECT_EQ(Layer0().alphaRef, 1u);
    EXPECT_EQ(node->GetDrawOrder(), 5);
}

TEST_F(MaterialLoading, EachMissingTextureLeavesOneLogLine) {
    UdfNode* m = MaterialEntry("Rock");
    Map(m, "Diffuse", "Diffuse", "rock.jpg");
    Map(m, "Shine", "Shine", "rock_spec.jpg");
    Map(m, "Bump", "Bump", "rock_bump.jpg");
    UdfNode* reflect = Map(m, "Reflect", "Reflect", "sky.dds");
    UdfNode* inner = ModelBuilder::Object(reflect, "Textures", "Textures");
    ModelBuilder::SetText(ModelBuilder::Object(inner, "Env", "Ambient"), "FileName", "sky_cube.dds");
    ModelBuilder::SetText(ModelBuilder::Object(inner, "Gloss", "Diffuse"), "FileName", "sky_gloss.jpg");
    Map(m, "Opacity", "Opacity", "rock_alpha.jpg");  // a kind the reader ignores
    ASSERT_TRUE(scene.LoadMaterials(Block()));
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "Cannot load texture: rock.jpg",
                              "Cannot load texture: rock_spec.jpg",
                              "Cannot load heightmap texture: rock_bump.jpg",
                              "Cannot load gloss texture: sky_gloss.jpg",
                              "Cannot load texture: sky_cube.dds",
                          }));
    const MaterialLayer& rock = scene.GetMaterials().Find(String("Rock"))->layers[0];
    for (u32 slot = 0; slot < kMaterialMapCount; ++slot) EXPECT_EQ(rock.samplers[slot].texture, nullptr);
}

TEST_F(MaterialLoading, LoadFlag0x8IgnoresReflectAndBumpMaps) {
    scene.SetFlags(kLoadNoReflectBump);
    UdfNode* m = MaterialEntry("Rock");
    Map(m, "Bump", "Bump", "rock_bump.jpg");
    Map(m, "Reflect", "Reflect", "sky.dds");
    Map(m, "Refract", "Refract", "water.dds");
    ASSERT_TRUE(scene.LoadMaterials(Block()));
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"Cannot load texture: water.dds"}));
}

}  // namespace
