// Material maps of the model loader on the reference device: a "Bump" height map is
// replaced by the precomputed normal map stored beside it under the name that ten times
// its strength gives, or else turned into a normal map in place; a "Diffuse" map fills the
// base slot with its address modes.
#include "D3d/Texture.h"
#include "D3d/TextureManager.h"
#include "Scene/AdvScene.h"
#include "tests/ModelBuilder.h"
#include "tests/TextureTestSupport.h"
#include "tests/linux/EffectDrawSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace modelbuilder;

class TestScene : public AdvScene {
public:
    void SetFlags(u32 flags) { desc.flags = flags; }
};

class MaterialTextures : public effectdraw::DrawDevice {
protected:
    void SetUp() override {
        DrawDevice::SetUp();
        TheTextureManager().Reset();
        scene.SetFlags(kLoadFilterNormalMaps);
    }
    void TearDown() override {
        TheTextureManager().Reset();
        DrawDevice::TearDown();
    }
    // A material "name" with one map of that kind.
    UdfNode* AddMaterial(const char* name, const char* kind, const char* file, f32 amount) {
        UdfNode* m = builder.BlockEntry("Materials", name, "Material");
        UdfNode* map = ModelBuilder::Object(ModelBuilder::Object(m, "Textures", "Textures"), kind, kind);
        ModelBuilder::SetText(map, "FileName", file);
        ModelBuilder::SetFloat(map, "Amount", amount);
        return map;
    }
    const MaterialLayer& Layer(const char* name) { return scene.GetMaterials().Find(String(name))->layers[0]; }
    static std::vector<std::string> LogLines() {
        std::ifstream in("log", std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
    // A flat grey height map of 8 x 8 pixels.
    static void WriteHeightMap(const char* name) {
        ASSERT_TRUE(texsupport::WriteFile(name, texsupport::MakeBmp(8, 8, [](unsigned, unsigned) { return 0xFF808080u; })));
    }

    ModelBuilder builder;
    TestScene scene;
};

TEST_F(MaterialTextures, APrecomputedNormalMapIsFoundByTheStrengthInItsName) {
    // The normal map beside the height map: "sand01_bump.nhm2.dds" for a strength of 0.25.
    WriteHeightMap("source.bmp");
    TextureDesc request;
    request.path = patht("source.bmp");
    Texture* source = TheTextureManager().Load(request, nullptr);
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(source->SaveToFile(String("sand01_bump.nhm2.dds")));
    TheTextureManager().Reset();

    AddMaterial("Sand", "Bump", "sand01_bump.jpg", 0.25f);  // the height map itself is absent
    AddMaterial("Deeper", "Bump", "sand01_bump.jpg", 0.35f);  // "nhm3": absent too
    ASSERT_TRUE(scene.LoadMaterials(builder.Root()->FindChild("Materials")));
    Texture* normal = Layer("Sand").samplers[kBumpMap].texture;
    ASSERT_NE(normal, nullptr);
    TextureDesc again;
    again.path = patht("sand01_bump.nhm2.dds");
    EXPECT_EQ(TheTextureManager().Load(again, nullptr), normal) << "the precomputed file is the one in the slot";
    EXPECT_FLOAT_EQ(Layer("Sand").samplers[kBumpMap].scale, 0.25f);
    EXPECT_EQ(Layer("Deeper").samplers[kBumpMap].texture, nullptr);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"Cannot load heightmap texture: sand01_bump.jpg"}));
}

TEST_F(MaterialTextures, AHeightMapBecomesANormalMapInPlace) {
    WriteHeightMap("stones_bump.bmp");
    UdfNode* map = AddMaterial("Stones", "Bump", "stones_bump.bmp", 1.0f);
    ModelBuilder::SetText(map, "TexAddrU", "Mirror");
    ASSERT_TRUE(scene.LoadMaterials(builder.Root()->FindChild("Materials")));
    const SamplerDesc& slot = Layer("Stones").samplers[kBumpMap];
    ASSERT_NE(slot.texture, nullptr);
    EXPECT_EQ(slot.addressU, u32(D3DTADDRESS_MIRROR));
    EXPECT_EQ(slot.addressV, u32(D3DTADDRESS_WRAP));
    // A flat height map gives normals straight out of the surface: blue.
    const std::vector<unsigned> pixels = texsupport::ReadPixels(slot.texture->GetD3DTexture(), 0);
    ASSERT_FALSE(pixels.empty());
    const unsigned p = pixels[pixels.size() / 2];
    EXPECT_GE(p & 0xFFu, 0xF0u);
    EXPECT_NEAR(int((p >> 8) & 0xFFu), 0x80, 2);
    EXPECT_NEAR(int((p >> 16) & 0xFFu), 0x80, 2);
    EXPECT_TRUE(LogLines().empty());
    // The bump map chose the layer's effect name; no effect of that name exists here.
    EXPECT_EQ(Layer("Stones").effect, nullptr);
}

TEST_F(MaterialTextures, ADiffuseMapFillsTheBaseSlotWithItsAddressModes) {
    WriteHeightMap("wall.bmp");
    UdfNode* map = AddMaterial("Wall", "Diffuse", "wall.bmp", 50.0f);
    ModelBuilder::SetText(map, "TexAddrU", "Border");
    ModelBuilder::SetText(map, "TexAddrV", "Wrap");
    ASSERT_TRUE(scene.LoadMaterials(builder.Root()->FindChild("Materials")));
    const MaterialLayer& wall = Layer("Wall");
    ASSERT_NE(wall.samplers[kBaseMap].texture, nullptr);
    EXPECT_EQ(wall.samplers[kBaseMap].addressU, u32(D3DTADDRESS_CLAMP));
    EXPECT_EQ(wall.samplers[kBaseMap].addressV, u32(D3DTADDRESS_WRAP));
    EXPECT_FLOAT_EQ(wall.samplers[kBaseMap].scale, 50.0f);
    EXPECT_EQ(wall.stages[0].sampler.texture, wall.samplers[kBaseMap].texture) << "the passes were built";
}

}  // namespace
