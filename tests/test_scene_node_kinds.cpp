// The node-kind reader: "Face" on any node, nodes of other kinds left alone, and a particle
// emitter built from every key (and from none), with its material set-up, its frame
// weights from "TexGen", its flags and "NoCull".
#include "Core/MemFile.h"
#include "Core/String.h"
#include "Effect/Material.h"
#include "Scene/Hierarchy.h"
#include "Scene/ParticleEmitter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <utility>

namespace {

using Entry = std::pair<const char*, const char*>;

void Set(Hierarchy& node, const char* key, const char* text) {
    node.properties.children.SetString(String(key), String(text));
}

void SetChildren(Hierarchy& node, const char* key, std::initializer_list<Entry> entries) {
    HandleParam* record = node.properties.children.Record(String(key));
    for (const Entry& e : entries) record->children.SetString(String(e.first), String(e.second));
}

ParticleEmitter* EmitterOf(Hierarchy& node) { return dynamic_cast<ParticleEmitter*>(node.GetObject()); }

TEST(NodeKinds, FaceAppliesToAnyNode) {
    Hierarchy node;
    MemFile paths;
    Set(node, "Face", "xz");
    EXPECT_TRUE(LoadSceneNode(node, paths));
    EXPECT_EQ(node.faceAxes[0], 1);
    EXPECT_EQ(node.faceAxes[1], 0);
    EXPECT_EQ(node.faceAxes[2], 1);
    EXPECT_EQ(node.GetObject(), nullptr);
}

TEST(NodeKinds, OtherKindsAreLeftAlone) {
    for (const char* kind : {"", "Mesh", "particleemitter", "ParticleEmitterX"}) {
        Hierarchy node;
        MemFile paths;
        Set(node, "NodeType", kind);
        Set(node, "MaxParticles", "10");
        EXPECT_TRUE(LoadSceneNode(node, paths)) << kind;
        EXPECT_EQ(node.GetObject(), nullptr) << kind;
        EXPECT_FALSE(node.properties.children.Contains(String("NoCull"))) << kind;
    }
}

TEST(NodeKinds, EmitterWithoutKeysTakesTheReadersDefaults) {
    Hierarchy node;
    MemFile paths;
    // A loaded text may carry its NUL.
    char kind[] = "ParticleEmitter";
    node.properties.children.SetString(String("NodeType"), String::FromBuffer(kind, sizeof kind, true));
    ASSERT_TRUE(LoadSceneNode(node, paths));
    ParticleEmitter* e = EmitterOf(node);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->capacity, 0);
    EXPECT_EQ(e->iterationAccuracy, 0.0f);
    EXPECT_EQ(e->emitDir.y, 0.0f);
    EXPECT_EQ(e->acceleration.x, 0.0f);
    for (const RangeValue* r : {&e->spawnArea, &e->particleLife, &e->particleSize, &e->dirDeviation, &e->startSpeed,
                                &e->genPeriod.range}) {
        EXPECT_EQ(r->x0, 1.0f);
        EXPECT_TRUE(r->IsConstant());
    }
    EXPECT_EQ(e->spawnType, 0);
    EXPECT_TRUE(FColor::Equals(e->startColor, FColor()));
    EXPECT_TRUE(e->genPeriod.IsStarted());
    EXPECT_EQ(e->ready, 1);
    EXPECT_EQ(e->sizeConstant, 1);
    EXPECT_EQ(e->singleFrame, 1);
    EXPECT_EQ(e->colorConstant, 1);
    EXPECT_EQ(e->frameWeights.count, 0u);
    i32 noCull = 0;
    EXPECT_TRUE(node.properties.children.GetInt(String("NoCull"), &noCull));
    EXPECT_EQ(noCull, 1);
    EXPECT_TRUE(node.OwnsObject());
    const MaterialLayer& layer = node.GetMaterial().layers[0];
    EXPECT_EQ(layer.BaseTexture(), nullptr);
    EXPECT_EQ(layer.vertexColor, 1);
    EXPECT_EQ(layer.stages[0].alphaOp, static_cast<u32>(D3DTOP_MODULATE));
    EXPECT_EQ(layer.stages[0].alphaArg[1], static_cast<u32>(D3DTA_TEXTURE));
    EXPECT_EQ(layer.stages[0].alphaArg[2], static_cast<u32>(D3DTA_DIFFUSE));
}

TEST(NodeKinds, EmitterReadsEveryKey) {
    Hierarchy node;
    MemFile paths;
    Set(node, "NodeType", "ParticleEmitter");
    Set(node, "MaxParticles", "250.9");
    Set(node, "IterationAccuracy", "0.5");
    SetChildren(node, "DirDeviation", {{"0", "0.1"}, {"1", "1"}, {"2", "0.3"}, {"3", "2"}});
    SetChildren(node, "EmitDir", {{"0", "0"}, {"1", "0"}, {"2", "1"}});
    SetChildren(node, "Acceleration", {{"0", "0"}, {"1", "-0.01"}, {"2", "0"}});
    SetChildren(node, "ParticleSize", {{"0", "1"}, {"1", "10"}, {"2", "3"}, {"3", "10"}});
    Set(node, "ParticleLife", "2000");
    SetChildren(node, "StartColor", {{"a", "1"}, {"r", "1"}, {"g", "0.5"}, {"b", "0"}});
    SetChildren(node, "EndColor", {{"0", "0"}, {"1", "0"}, {"2", "0"}});
    Set(node, "SpawnArea", "3");
    Set(node, "SpawnType", "1");
    Set(node, "StartSpeed", "0.25");
    SetChildren(node, "GenPeriod", {{"0", "20"}, {"1", "5"}});
    HandleParam* texGen = node.properties.children.Record(String("TexGen"));
    texGen->children.SetString(String("spark"), String("10"));
    texGen->children.SetString(String("smoke"), String("many"));
    texGen->children.SetInt(String("skipped"), 7);
    texGen->children.SetString(String("ember"), String("2.7"));
    ASSERT_TRUE(LoadSceneNode(node, paths));
    ParticleEmitter* e = EmitterOf(node);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->capacity, 250);
    EXPECT_EQ(e->iterationAccuracy, 0.5f);
    EXPECT_FLOAT_EQ(e->dirDeviation.x1, 0.3f);
    EXPECT_FALSE(e->dirDeviation.IsConstant());
    EXPECT_EQ(e->emitDir.z, 1.0f);
    EXPECT_FLOAT_EQ(e->acceleration.y, -0.01f);
    EXPECT_EQ(e->particleLife.x0, 2000.0f);
    EXPECT_FLOAT_EQ(e->startColor.g, 0.5f);
    EXPECT_EQ(e->startColor.b, 0.0f);
    EXPECT_EQ(e->endColor.a, 1.0f);
    EXPECT_EQ(e->endColor.r, 0.0f);
    EXPECT_EQ(e->spawnArea.x0, 3.0f);
    EXPECT_EQ(e->spawnType, 1);
    EXPECT_EQ(e->startSpeed.x0, 0.25f);
    EXPECT_EQ(e->genPeriod.range.x0, 20.0f);
    EXPECT_EQ(e->genPeriod.range.w0, 5.0f);
    // Weights: spark 10, smoke 0 (not a number), ember 2 (truncated); the integer entry
    // is no text and is skipped.
    ASSERT_EQ(e->frameWeights.count, 3u);
    EXPECT_EQ(e->frameWeights.Find(String("spark"))->value, 10);
    EXPECT_EQ(e->frameWeights.Find(String("smoke"))->value, 0);
    EXPECT_EQ(e->frameWeights.Find(String("ember"))->value, 2);
    EXPECT_FALSE(e->frameWeights.Contains(String("skipped")));
    // Walked from ember (added last): ember 2, spark 12, smoke 12 (replacing spark).
    ASSERT_EQ(e->frameTable.count, 2u);
    EXPECT_TRUE(e->frameTable.Find(2)->value == "ember");
    EXPECT_TRUE(e->frameTable.Find(12)->value == "smoke");
    EXPECT_EQ(e->sizeConstant, 0);
    EXPECT_EQ(e->singleFrame, 0);
    EXPECT_EQ(e->colorConstant, 0);
}

TEST(NodeKinds, AMissingTextureLeavesTheMaterialWithout) {
    Hierarchy node;
    MemFile paths;
    Set(node, "NodeType", "ParticleEmitter");
    Set(node, "Texture", "no_such_texture_anywhere.dds");
    ASSERT_TRUE(LoadSceneNode(node, paths));
    ASSERT_NE(EmitterOf(node), nullptr);
    EXPECT_EQ(node.GetMaterial().layers[0].BaseTexture(), nullptr);
}

TEST(NodeKinds, ASecondReadReplacesTheEmitter) {
    Hierarchy node;
    MemFile paths;
    Set(node, "NodeType", "ParticleEmitter");
    Set(node, "MaxParticles", "5");
    ASSERT_TRUE(LoadSceneNode(node, paths));
    Set(node, "MaxParticles", "9");
    ASSERT_TRUE(LoadSceneNode(node, paths));
    ASSERT_NE(EmitterOf(node), nullptr);
    EXPECT_EQ(EmitterOf(node)->capacity, 9);
}

}  // namespace
