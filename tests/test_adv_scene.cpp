// The model loader: documents built in memory with the model builder (and one written out
// by hand), loaded through AdvScene::Load from memory, and the scene they leave: nodes and
// their roots, transforms and poses per load name, the bind pose, animation tracks and
// ranges, lights, properties with inheritance and line shapes.
#include "Core/ProgramObjects.h"
#include "Effect/Light.h"
#include "Scene/AdvScene.h"
#include "Scene/NodeAnimation.h"
#include "Scene/SkinnedMesh.h"
#include "tests/EffectTestSupport.h"
#include "tests/ModelBuilder.h"
#include "tools/UdfDump.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace modelbuilder;

namespace {

bool LoadBytes(AdvScene& scene, const Bytes& bytes, const char* name = "") {
    LOADDESC desc;
    desc.name = String(name);
    return scene.Load(patht::FromMemory(bytes.data(), static_cast<u32>(bytes.size())), &desc);
}

Matrix Scaled(f32 sx, f32 sy, f32 sz, f32 x, f32 y, f32 z) {
    return Rows({sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, x, y, z, 1});
}

void ExpectVec(const Vec3& v, f32 x, f32 y, f32 z) {
    EXPECT_NEAR(v.x, x, 1e-5f);
    EXPECT_NEAR(v.y, y, 1e-5f);
    EXPECT_NEAR(v.z, z, 1e-5f);
}

Matrix LocalOf(Hierarchy* node) {
    Matrix m;
    node->GetTransform(false).GetMatrix(m);
    return m;
}

}  // namespace

// ---- loading ----------------------------------------------------------------------------

TEST(AdvSceneLoad, DescriptorDefaultsCarryTheLoaderOption) {
    LOADDESC desc;
    EXPECT_EQ(desc.flags, 3u);  // the loader option is on unless its maker hands it in off
    EXPECT_EQ(LOADDESC(1).flags, 3u);
    EXPECT_EQ(LOADDESC(0).flags, 1u);
    EXPECT_EQ(desc.value, 0);
    EXPECT_TRUE(desc.name.IsEmpty());
}

TEST(AdvSceneLoad, EmptyModelStoresAmbientAndAZeroRange) {
    ModelBuilder b;
    ModelBuilder::SetColor(b.Root(), "AmbColor", 1.0f, 0.25f, 0.5f, 0.75f);
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build(), "base"));
    EXPECT_FLOAT_EQ(scene.GetLighting().ambient.r, 0.25f);
    EXPECT_FLOAT_EQ(scene.GetLighting().ambient.b, 0.75f);
    TimeRange range{5, 5};
    ASSERT_TRUE(scene.GetAnimationRange(String("base"), range));
    EXPECT_EQ(range.start, 0.0f);
    EXPECT_EQ(range.end, 0.0f);
    EXPECT_EQ(scene.GetRoot()->children.count, 0u);
    EXPECT_EQ(scene.GetLoadDesc().name, "base");
}

TEST(AdvSceneLoad, TwelveByteColourKeepsTheLastComponent) {
    ModelBuilder b;
    ModelBuilder::SetColor(b.Root(), "AmbColor", 0.5f, 0.25f, 0.125f, 0.0f, 12);
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    const FColor& c = scene.GetLighting().ambient;
    EXPECT_FLOAT_EQ(c.a, 0.5f);
    EXPECT_FLOAT_EQ(c.r, 0.25f);
    EXPECT_FLOAT_EQ(c.g, 0.125f);
    EXPECT_FLOAT_EQ(c.b, 1.0f);
}

TEST(AdvSceneLoad, MissingFileIsAnErrorRecord) {
    effectsupport::WarningsCapture errors(LogErrors());
    AdvScene scene;
    LOADDESC desc;
    desc.name = String("x");
    desc.flags = 0x11;
    EXPECT_FALSE(scene.Load(patht("no_such_model_here.udf"), &desc));
    const std::string text = errors.Text();
    EXPECT_NE(text.find("Cannot load udf: no_such_model_here.udf"), std::string::npos) << text;
    EXPECT_NE(text.find("AdvScene::Load"), std::string::npos) << text;
    // The descriptor is copied all the same; nothing else changed.
    EXPECT_EQ(scene.GetLoadDesc().flags, 0x11u);
    TimeRange range;
    EXPECT_FALSE(scene.GetAnimationRange(String("x"), range));
}

TEST(AdvSceneLoad, GarbageAndTruncatedDocumentsFail) {
    ModelBuilder b;
    UdfNode* node = ModelBuilder::Node(b.Root(), "Box");
    ModelBuilder::SetTransforms(node, Translation(1, 2, 3));
    const Bytes good = b.Build();
    for (std::size_t cut = 0; cut < good.size(); cut += 7) {
        AdvScene scene;
        const Bytes part(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_FALSE(LoadBytes(scene, part)) << cut;
    }
    Bytes garbage(200);
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<u8>(i * 37 + 11);
    AdvScene scene;
    EXPECT_FALSE(LoadBytes(scene, garbage));
}

TEST(AdvSceneLoad, BonesGoUnderTheBoneRootAndNestedOnesStayInPlace) {
    ModelBuilder b;
    UdfNode* hip = ModelBuilder::Node(b.Root(), "Hip", "Bone");
    ModelBuilder::Node(hip, "Knee", "Bone");
    UdfNode* body = ModelBuilder::Node(b.Root(), "Body", "Mesh");
    ModelBuilder::Node(body, "Finger", "Bone");
    ModelBuilder::Node(b.Root(), "Dummy01", "Dummy");
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));

    Hierarchy* boneHip = scene.GetBoneRoot()->FindChild(String("Hip"));
    ASSERT_NE(boneHip, nullptr);
    EXPECT_EQ(boneHip->kind, kNodeBone);
    ASSERT_NE(boneHip->FindChild(String("Knee")), nullptr);
    EXPECT_EQ(boneHip->FindChild(String("Knee"))->kind, kNodeBone);
    EXPECT_EQ(scene.GetRoot()->FindChild(String("Hip")), nullptr);

    Hierarchy* mesh = scene.GetRoot()->FindChild(String("Body"));
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->kind, kNodePlain);
    Hierarchy* finger = mesh->FindChild(String("Finger"));
    ASSERT_NE(finger, nullptr);
    EXPECT_EQ(finger->kind, kNodeBone);
    EXPECT_EQ(scene.GetRoot()->FindChild(String("Dummy01"))->kind, kNodePlain);
}

TEST(AdvSceneLoad, CamerasGoUnderTheCameraRoot) {
    ModelBuilder b;
    UdfNode* camera = b.BlockEntry("Cameras", "Camera01", "Camera");
    ModelBuilder::SetTransforms(camera, Translation(0, 10, -20));
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    Hierarchy* node = scene.GetCameraRoot()->FindChild(String("Camera01"));
    ASSERT_NE(node, nullptr);
    ExpectVec(node->transform.GetPosition(), 0, 10, -20);
    EXPECT_EQ(scene.GetRoot()->children.count, 0u);
}

TEST(AdvSceneLoad, OnlyALeadingTildeAsksForOcclusionQueries) {
    ModelBuilder b;
    ModelBuilder::Node(b.Root(), "~Wall");
    ModelBuilder::Node(b.Root(), "Wall~");
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    EXPECT_TRUE(scene.GetRoot()->FindChild(String("~Wall"))->cullOptions & kCullWithQuery);
    EXPECT_FALSE(scene.GetRoot()->FindChild(String("Wall~"))->cullOptions & kCullWithQuery);
}

TEST(AdvSceneLoad, NodeMatrixIsSplitIntoItsParts) {
    ModelBuilder b;
    // A frame turned 90 degrees about y, scaled by 2, 3, 4, at (5, 6, 7).
    UdfNode* node = ModelBuilder::Node(b.Root(), "Turned");
    ModelBuilder::SetTransforms(node, Rows({0, 0, -2, 0, 0, 3, 0, 0, 4, 0, 0, 0, 5, 6, 7, 1}));
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build(), "pose"));
    Hierarchy* turned = scene.GetRoot()->FindChild(String("Turned"));
    ASSERT_NE(turned, nullptr);
    ExpectVec(turned->transform.GetPosition(), 5, 6, 7);
    ExpectVec(turned->transform.GetScale(), 2, 3, 4);
    ExpectVec(turned->transform.GetDirection(), 1, 0, 0);
    ExpectVec(turned->transform.GetUp(), 0, 1, 0);
    ASSERT_EQ(turned->nodePoses.count, 1);
    EXPECT_TRUE(turned->FindNodePose(String("pose")));
    // The rebuilt matrix is the stored one.
    const Matrix m = LocalOf(turned);
    const f32 expected[16] = {0, 0, -2, 0, 0, 3, 0, 0, 4, 0, 0, 0, 5, 6, 7, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m[i], expected[i], 1e-5f) << i;
}

TEST(AdvSceneLoad, MatricesThatAreNoFrameAreKeptWhole) {
    struct Row {
        const char* name;
        Matrix m;
    } rows[] = {
        {"ZeroAxes", Rows({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 1})},
        // Rows 2 and 3 at about 45 degrees: far from perpendicular.
        {"Sheared", Rows({1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 4, 5, 6, 1})},
    };
    ModelBuilder b;
    for (const Row& row : rows) ModelBuilder::SetTransforms(ModelBuilder::Node(b.Root(), row.name), row.m);
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    for (const Row& row : rows) {
        Hierarchy* node = scene.GetRoot()->FindChild(String(row.name));
        ASSERT_NE(node, nullptr);
        const Matrix m = LocalOf(node);
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m[i], row.m.m[i], 1e-6f) << row.name << " " << i;
        ExpectVec(node->transform.GetPosition(), 0, 0, 0);
    }
}

TEST(AdvSceneLoad, ObjectMatrixNearTheIdentityGivesNoObjectTransform) {
    ModelBuilder b;
    Matrix nearly = IdentityMatrix;
    nearly.m[0] = 1.009f;
    nearly.m[13] = -0.0099f;
    ModelBuilder::SetTransforms(ModelBuilder::Node(b.Root(), "Near"), IdentityMatrix, nearly);
    Matrix offset = IdentityMatrix;
    offset.m[14] = 0.02f;
    ModelBuilder::SetTransforms(ModelBuilder::Node(b.Root(), "Off"), IdentityMatrix, offset);
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build(), "a"));
    Hierarchy* within = scene.GetRoot()->FindChild(String("Near"));
    Hierarchy* off = scene.GetRoot()->FindChild(String("Off"));
    EXPECT_EQ(within->objectPoses.count, 0);
    ASSERT_EQ(off->objectPoses.count, 1);
    Matrix m;
    off->GetObjectTransform(false).GetMatrix(m);
    EXPECT_NEAR(m.m[14], 0.02f, 1e-6f);
}

TEST(AdvSceneLoad, TransformRecordOf72BytesIgnoresItsKindWords) {
    ModelBuilder b;
    UdfNode* node = ModelBuilder::Node(b.Root(), "Full");
    Matrix m = Translation(1, 2, 3);
    Bytes bytes = MatrixBytes(m, 72);
    // Kind words claiming the identity must not make the translation vanish.
    const u32 identityKind = 0xFFFFFFFFu;
    std::memcpy(bytes.data() + 64, &identityKind, 4);
    ModelBuilder::Value(node, "NodeTM", "matrix", bytes);
    ModelBuilder::SetMatrix(node, "ObjectTM", IdentityMatrix);
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    ExpectVec(scene.GetRoot()->FindChild(String("Full"))->transform.GetPosition(), 1, 2, 3);
}

TEST(AdvSceneLoad, MissingObjectMatrixLeavesTheTransform) {
    ModelBuilder b;
    ModelBuilder::SetMatrix(ModelBuilder::Node(b.Root(), "Half"), "NodeTM", Translation(1, 2, 3));
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build(), "a"));
    Hierarchy* half = scene.GetRoot()->FindChild(String("Half"));
    ExpectVec(half->transform.GetPosition(), 0, 0, 0);
    EXPECT_EQ(half->nodePoses.count, 0);
}

TEST(AdvSceneLoad, SecondLoadUnderAnotherNameFilesASecondPose) {
    auto model = [](f32 x, f32 keyEnd) {
        ModelBuilder b;
        UdfNode* node = ModelBuilder::Node(b.Root(), "Door");
        ModelBuilder::SetTransforms(node, Translation(x, 0, 0));
        ModelBuilder::SetTrack(node, "Position", "Tcb", {KeyData(0, 0, 0, 0), KeyData(keyEnd, 1, 0, 0)});
        ModelBuilder::Node(node, "Handle");
        return b.Build();
    };
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, model(1, 2), "closed"));
    ASSERT_TRUE(LoadBytes(scene, model(5, 6), "open"));
    ASSERT_EQ(scene.GetRoot()->children.count, 1u);
    Hierarchy* door = scene.GetRoot()->FindChild(String("Door"));
    ASSERT_NE(door, nullptr);
    EXPECT_EQ(door->children.count, 1u);
    EXPECT_EQ(door->DisplacedCount(), 0);
    EXPECT_EQ(door->nodePoses.count, 2);
    // The first load's pose stays the active one.
    ExpectVec(door->transform.GetPosition(), 1, 0, 0);
    ASSERT_TRUE(door->FindNodePose(String("open")));
    ExpectVec(door->FindNodePose(String("open"))->GetPosition(), 5, 0, 0);
    EXPECT_TRUE(door->FindAnimation(String("closed")));
    EXPECT_TRUE(door->FindAnimation(String("open")));
    TimeRange closed;
    TimeRange open;
    ASSERT_TRUE(scene.GetAnimationRange(String("closed"), closed));
    ASSERT_TRUE(scene.GetAnimationRange(String("open"), open));
    EXPECT_EQ(closed.end, 2.0f);
    EXPECT_EQ(open.end, 6.0f);
    EXPECT_EQ(scene.GetLoadDesc().name, "open");
}

TEST(AdvSceneLoad, BoundsAreGivenToTheNode) {
    ModelBuilder b;
    ModelBuilder::SetBox(ModelBuilder::Node(b.Root(), "Boxed"), 1, 2, 3, 4, 5, 6);
    ModelBuilder::Node(b.Root(), "Free");
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    Hierarchy* boxed = scene.GetRoot()->FindChild(String("Boxed"));
    EXPECT_TRUE(boxed->cullOptions & kCullExplicitBounds);
    EXPECT_EQ(boxed->explicitBounds.x, 1.0f);
    EXPECT_EQ(boxed->explicitBounds.d, 6.0f);
    EXPECT_FALSE(scene.GetRoot()->FindChild(String("Free"))->cullOptions & kCullExplicitBounds);
}

TEST(AdvSceneLoad, BindPoseIsTheInverseOfEachBoneWorld) {
    ModelBuilder b;
    UdfNode* hip = ModelBuilder::Node(b.Root(), "Hip", "Bone");
    ModelBuilder::SetTransforms(hip, Translation(1, 2, 3));
    UdfNode* knee = ModelBuilder::Node(hip, "Knee", "Bone");
    ModelBuilder::SetTransforms(knee, Scaled(2, 2, 2, 0, -1, 0));
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    Hierarchy* boneHip = scene.GetBoneRoot()->FindChild(String("Hip"));
    Hierarchy* boneKnee = boneHip->FindChild(String("Knee"));
    const Matrix& hipInverse = boneHip->GetPreMatrix();
    EXPECT_NEAR(hipInverse.m[12], -1.0f, 1e-5f);
    EXPECT_NEAR(hipInverse.m[14], -3.0f, 1e-5f);
    // knee world = scale 2 at (1, 1, 3): its inverse scales by 0.5 and moves by -0.5 of that.
    const Matrix& kneeInverse = boneKnee->GetPreMatrix();
    EXPECT_NEAR(kneeInverse.m[0], 0.5f, 1e-5f);
    EXPECT_NEAR(kneeInverse.m[12], -0.5f, 1e-5f);
    EXPECT_NEAR(kneeInverse.m[13], -0.5f, 1e-5f);
    EXPECT_NEAR(kneeInverse.m[14], -1.5f, 1e-5f);
}

TEST(AdvSceneLoad, SingularBoneWorldGivesTheIdentityBindPose) {
    ModelBuilder b;
    UdfNode* flat = ModelBuilder::Node(b.Root(), "Flat", "Bone");
    ModelBuilder::SetTransforms(flat, Scaled(0, 0, 0, 4, 5, 6));
    UdfNode* child = ModelBuilder::Node(flat, "Tip", "Bone");
    ModelBuilder::SetTransforms(child, Translation(1, 0, 0));
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    Hierarchy* bone = scene.GetBoneRoot()->FindChild(String("Flat"));
    for (Hierarchy* node : {bone, bone->FindChild(String("Tip"))}) {
        const Matrix& m = node->GetPreMatrix();
        for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], IdentityMatrix.m[i]) << node->name.c_str() << " " << i;
    }
}

TEST(AdvSceneLoad, ModelLoadTimeIsRecorded) {
    TheStatistics().ClearCurrent();
    const u8 enabled = TheStatistics().enabled;
    TheStatistics().enabled = 1;
    ModelBuilder b;
    ModelBuilder::Node(b.Root(), "One");
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    i32 ms = -1;
    EXPECT_TRUE(TheStatistics().Current().children.GetInt(String("model_load_time"), &ms));
    EXPECT_GE(ms, 0);
    TheStatistics().enabled = enabled;
    TheStatistics().ClearCurrent();
}

// ---- animation --------------------------------------------------------------------------

TEST(AdvSceneAnimation, TracksAreFilledWithTheirInterpolation) {
    ModelBuilder b;
    UdfNode* node = ModelBuilder::Node(b.Root(), "Mover");
    ModelBuilder::SetTrack(node, "Position", "Linear", {KeyData(0, 0, 0, 0), KeyData(2, 4, 0, 0)});
    ModelBuilder::SetTrack(node, "Scale", "Sample", {KeyData(0, 1, 1, 1), KeyData(1.0f / 3, 2, 2, 2)});
    ModelBuilder::SetTrack(node, "Rotation", "Tcb",
                           {KeyData::Rotation(0, 0, 0, 0, 1), KeyData::Rotation(2, 0, 0.7071068f, 0, 0.7071068f),
                            KeyData::Rotation(4, 0, 0, 0, 1)});
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build(), "walk"));
    Hierarchy* mover = scene.GetRoot()->FindChild(String("Mover"));
    const RefHandle<AbstractObject> handle = mover->FindAnimation(String("walk"));
    ASSERT_TRUE(handle);
    NodeAnimation* animation = static_cast<NodeAnimation*>(handle.Get());
    EXPECT_EQ(animation->Position().keys.Count(), 2u);
    EXPECT_EQ(animation->Scale().keys.Count(), 2u);
    EXPECT_EQ(animation->Rotation().keys.Count(), 3u);
    EXPECT_TRUE(animation->Position().GetFlags() & kTrackLinear);
    EXPECT_TRUE(animation->Scale().GetFlags() & kTrackLinear);
    EXPECT_FALSE(animation->Rotation().GetFlags() & kTrackLinear);
    // Linear position: halfway is (2, 0, 0).
    Matrix m;
    ASSERT_TRUE(animation->Position().GetMatrix(1.0f, m));
    EXPECT_NEAR(m.m[12], 2.0f, 1e-5f);
    TimeRange range;
    ASSERT_TRUE(scene.GetAnimationRange(String("walk"), range));
    EXPECT_EQ(range.start, 0.0f);
    EXPECT_EQ(range.end, 4.0f);
}

TEST(AdvSceneAnimation, AnElementWithoutDataEndsItsTrack) {
    ModelBuilder b;
    UdfNode* node = ModelBuilder::Node(b.Root(), "Cut");
    UdfNode* track = ModelBuilder::SetTrack(node, "Position", "Tcb", {KeyData(0, 1, 0, 0), KeyData(1, 2, 0, 0)});
    ModelBuilder::Value(track, "2", "AniKey", nullptr, 0);
    const KeyData late(9, 3, 0, 0);
    ModelBuilder::Value(track, "3", "AniKey", &late, 32);
    // A short key keeps the rest of its record zero.
    UdfNode* scale = ModelBuilder::SetTrack(node, "Scale", "Tcb", {});
    const KeyData shortKey(0.5f, 7, 8, 9, 1, 1, 1);
    ModelBuilder::Value(scale, "0", "AniKey", &shortKey, 12);
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    const RefHandle<AbstractObject> handle = scene.GetRoot()->FindChild(String("Cut"))->FindAnimation(String(""));
    ASSERT_TRUE(handle);
    NodeAnimation* animation = static_cast<NodeAnimation*>(handle.Get());
    EXPECT_EQ(animation->Position().keys.Count(), 2u);
    ASSERT_EQ(animation->Scale().keys.Count(), 1u);
    const KeyData& k = animation->Scale().keys.First()->value;
    EXPECT_EQ(k.time, 0.5f);
    EXPECT_EQ(k.y, 8.0f);
    EXPECT_EQ(k.z, 0.0f);
    EXPECT_EQ(k.bias, 0.0f);
}

// ---- lights -----------------------------------------------------------------------------

TEST(AdvSceneLights, KindsPositionsDirectionsAndAttenuation) {
    ModelBuilder b;
    ModelBuilder::SetTransforms(b.BlockEntry("Lights", "Sun", "DirLight"), IdentityMatrix);
    UdfNode* lamp = b.BlockEntry("Lights", "Lamp", "PointLight");
    ModelBuilder::SetTransforms(lamp, Translation(1, 2, 3));
    ModelBuilder::SetFloat(lamp, "AttStart", 50.0f);
    ModelBuilder::SetColor(lamp, "Diffuse", 1, 0.5f, 0.25f, 0.125f);
    UdfNode* spot = b.BlockEntry("Lights", "Spot", "SpotLight");
    // Turned so that its local -y points along +z: rows x, z, -y.
    ModelBuilder::SetTransforms(spot, Rows({1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 7, 8, 9, 1}));
    ModelBuilder::SetFloat(spot, "HotSpot", 0.25f);
    ModelBuilder::SetFloat(spot, "FallOff", 0.5f);
    ModelBuilder::SetFloat(spot, "AttEnd", 40.0f);
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    LightingInfo& lights = scene.GetLighting();
    ASSERT_EQ(lights.LightCount(), 3);

    Light* sun = lights.LightAt(0);
    EXPECT_EQ(sun->GetType(), D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(sun->GetName(), "Sun");
    ExpectVec(sun->GetDirection(), 0, -1, 0);
    EXPECT_EQ(sun->GetRange(), 0.0f);

    Light* point = lights.LightAt(1);
    EXPECT_EQ(point->GetType(), D3DLIGHT_POINT);
    ExpectVec(point->GetPosition(), 1, 2, 3);
    ExpectVec(point->GetAttenuation(), 0, 0.02f, 0);
    EXPECT_EQ(point->GetRange(), 0.0f);
    EXPECT_FLOAT_EQ(point->GetDiffuse().r, 0.5f);
    EXPECT_FLOAT_EQ(point->GetDiffuse().b, 0.125f);

    Light* cone = lights.LightAt(2);
    EXPECT_EQ(cone->GetType(), D3DLIGHT_SPOT);
    ExpectVec(cone->GetPosition(), 7, 8, 9);
    ExpectVec(cone->GetDirection(), 0, 0, 1);
    EXPECT_EQ(cone->GetTheta(), 0.25f);
    EXPECT_EQ(cone->GetPhi(), 0.5f);
    EXPECT_EQ(cone->GetRange(), 40.0f);
}

TEST(AdvSceneLights, ObjectOffsetAppliesBeforeTheNodeTransform) {
    ModelBuilder b;
    // Object offset (1, 0, 0), then a node scale of 2 at (0, 5, 0): the light sits at (2, 5, 0).
    ModelBuilder::SetTransforms(b.BlockEntry("Lights", "Lamp", "PointLight"), Scaled(2, 2, 2, 0, 5, 0),
                                Translation(1, 0, 0));
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    ASSERT_EQ(scene.GetLighting().LightCount(), 1);
    ExpectVec(scene.GetLighting().LightAt(0)->GetPosition(), 2, 5, 0);
}

TEST(AdvSceneLights, AnUnknownKindOrABadTransformEndsTheBlock) {
    for (int bad = 0; bad < 2; ++bad) {
        ModelBuilder b;
        ModelBuilder::SetTransforms(b.BlockEntry("Lights", "First", "PointLight"), Translation(1, 0, 0));
        UdfNode* second = b.BlockEntry("Lights", "Second", bad == 0 ? "AreaLight" : "PointLight");
        ModelBuilder::SetTransforms(second, bad == 0 ? IdentityMatrix : Scaled(0, 0, 0, 1, 1, 1));
        ModelBuilder::SetTransforms(b.BlockEntry("Lights", "Third", "DirLight"), IdentityMatrix);
        ModelBuilder::Node(b.Root(), "AfterLights");
        AdvScene scene;
        ASSERT_TRUE(LoadBytes(scene, b.Build()));
        ASSERT_EQ(scene.GetLighting().LightCount(), 1) << bad;
        EXPECT_EQ(scene.GetLighting().LightAt(0)->GetName(), "First");
        // The model load itself went on.
        EXPECT_NE(scene.GetRoot()->FindChild(String("AfterLights")), nullptr);
    }
}

TEST(AdvSceneLights, MissingTransformsCountAsTheIdentity) {
    ModelBuilder b;
    b.BlockEntry("Lights", "Bare", "DirLight");
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    ASSERT_EQ(scene.GetLighting().LightCount(), 1);
    ExpectVec(scene.GetLighting().LightAt(0)->GetDirection(), 0, -1, 0);
}

// ---- properties -------------------------------------------------------------------------

TEST(AdvSceneProps, NearerValuesWinAndNodesWithoutPropsInheritNothing) {
    ModelBuilder b;
    UdfNode* parent = ModelBuilder::Node(b.Root(), "Parent");
    ModelBuilder::Prop(parent, "Effect", "Glass");
    ModelBuilder::Prop(parent, "Blend", "add");
    UdfNode* child = ModelBuilder::Node(parent, "Child");
    ModelBuilder::Prop(child, "Effect", "Water");
    ModelBuilder::Node(parent, "Plain");
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    Hierarchy* p = scene.GetRoot()->FindChild(String("Parent"));
    Hierarchy* c = p->FindChild(String("Child"));
    String text;
    ASSERT_TRUE(c->properties.children.GetString(String("Effect"), &text));
    EXPECT_EQ(text, "Water");
    ASSERT_TRUE(c->properties.children.GetString(String("Blend"), &text));
    EXPECT_EQ(text, "add");
    EXPECT_EQ(c->properties.children.count, 2u);
    EXPECT_EQ(p->FindChild(String("Plain"))->properties.children.count, 0u);
}

TEST(AdvSceneProps, FindPropAndItsReaders) {
    ModelBuilder b;
    UdfNode* top = ModelBuilder::Node(b.Root(), "Top");
    ModelBuilder::Prop(top, "usage", "static");
    ModelBuilder::PropList(top, "Words", {"vb_dynamic", "IB_writeonly", "VB_DYNAMIC", "static"});
    UdfNode* middle = ModelBuilder::Node(top, "Middle");
    ModelBuilder::Prop(middle, "Effect", "Bump");
    UdfNode* bottom = ModelBuilder::Node(middle, "Bottom");
    ModelBuilder::Prop(bottom, "ZWrite", "0");
    UdfNode* loose = ModelBuilder::Node(middle, "Loose");
    ModelBuilder::SetText(loose, "OptimizeMesh", "0");

    // Case does not matter, inheritance crosses levels, the NUL is dropped.
    String text;
    ASSERT_TRUE(AdvScene::ReadPropString(bottom, String("Usage"), text));
    EXPECT_EQ(text, "static");
    EXPECT_EQ(text.length, 6u);
    ASSERT_TRUE(AdvScene::ReadPropString(bottom, String("effect"), text));
    EXPECT_EQ(text, "Bump");
    EXPECT_EQ(AdvScene::FindProp(bottom, String("Effect"), false), nullptr);
    EXPECT_FALSE(AdvScene::ReadPropString(bottom, String("Missing"), text));
    // Without a "Props" block the entry's own keys are searched, and nothing is inherited.
    ASSERT_TRUE(AdvScene::ReadPropString(loose, String("optimizemesh"), text));
    EXPECT_EQ(text, "0");
    EXPECT_EQ(AdvScene::FindProp(loose, String("Effect"), true), nullptr);

    StringList words;
    ASSERT_TRUE(AdvScene::ReadPropSet(bottom, String("words"), words));
    ASSERT_EQ(words.count, 3);
    EXPECT_TRUE(AdvScene::SetHasWord(words, String("IB_WRITEONLY")));
    EXPECT_FALSE(AdvScene::SetHasWord(words, String("dynamic")));
    StringList single;
    ASSERT_TRUE(AdvScene::ReadPropSet(bottom, String("Usage"), single));
    ASSERT_EQ(single.count, 1);
    EXPECT_TRUE(AdvScene::SetHasWord(single, String("STATIC")));
}

TEST(AdvSceneProps, WordSetKeepsTheOrderOfTheEntries) {
    ModelBuilder b;
    UdfNode* node = ModelBuilder::Node(b.Root(), "N");
    ModelBuilder::PropList(node, "Usage", {"b", "a", "B", "c"});
    StringList words;
    ASSERT_TRUE(AdvScene::ReadPropSet(node, String("Usage"), words));
    std::vector<std::string> seen;
    const StringList::Node* at = words.anchor;
    for (i32 i = 0; i < words.count; ++i, at = at->next) seen.push_back(at->payload.c_str());
    EXPECT_EQ(seen, (std::vector<std::string>{"b", "a", "c"}));
}

TEST(AdvSceneProps, NestedBlocksAreCopiedAsPropertyNodes) {
    ModelBuilder b;
    UdfNode* node = ModelBuilder::Node(b.Root(), "Emitter");
    ModelBuilder::PropList(node, "StartColor", {"1", "0.5", "0.25"});
    ModelBuilder::Prop(node, "NodeType", "ParticleEmitter");
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    HandleParam& props = scene.GetRoot()->FindChild(String("Emitter"))->properties;
    const HandleParamMap::Node* color = props.children.Find(String("startcolor"));
    ASSERT_NE(color, nullptr);
    String text;
    ASSERT_TRUE(color->value->children.GetString(String("1"), &text));
    EXPECT_EQ(text, "0.5");
    EXPECT_EQ(color->value->children.count, 3u);
}

// ---- line shapes ------------------------------------------------------------------------

namespace {

UdfNode* AddLine(UdfNode* shape, const char* element, i32 count, std::initializer_list<f32> xyz, i32 closed = -1,
                 bool withCount = true) {
    UdfNode* lines = ModelBuilder::Object(shape, "Lines", "Lines");
    UdfNode* line = ModelBuilder::Object(lines, element, "Line");
    if (withCount) ModelBuilder::SetInt(line, "LineNumVerts", count);
    std::vector<f32> points;
    std::size_t k = 0;
    for (f32 v : xyz) {
        points.push_back(v);
        if (++k % 3 == 0) points.push_back(0.0f);
    }
    if (!points.empty()) ModelBuilder::Value(line, "Line", "Point4", AsBytes(points));
    if (closed >= 0) ModelBuilder::SetByte(line, "LineClosed", static_cast<u8>(closed));
    return line;
}

}  // namespace

TEST(AdvSceneLines, TheLastCompleteLineIsKept) {
    ModelBuilder b;
    UdfNode* a = ModelBuilder::Node(b.Root(), "Path", "Shape");
    AddLine(a, "0", 2, {1, 2, 3, 4, 5, 6}, 1);
    AddLine(a, "1", 3, {7, 8, 9, 10, 11, 12, 13, 14, 15});
    // Skipped: too few points, no points, no count.
    UdfNode* c = ModelBuilder::Node(b.Root(), "Short", "Shape");
    AddLine(c, "0", 1, {1, 1, 1}, 1);
    AddLine(c, "1", 3, {2, 2, 2, 3, 3, 3});
    AddLine(c, "2", 2, {});
    AddLine(c, "3", 0, {4, 4, 4}, 0, false);
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));

    HandleParam& path = scene.GetRoot()->FindChild(String("Path"))->properties;
    const ShapeLine* line = FindShapeLine(path);
    ASSERT_NE(line, nullptr);
    ASSERT_EQ(line->count, 3);
    ExpectVec(line->data[0], 7, 8, 9);
    ExpectVec(line->data[2], 13, 14, 15);
    u8 closed = 9;
    ASSERT_TRUE(FindLineClosed(path, &closed));
    EXPECT_EQ(closed, 0);

    HandleParam& kept = scene.GetRoot()->FindChild(String("Short"))->properties;
    line = FindShapeLine(kept);
    ASSERT_NE(line, nullptr);
    ASSERT_EQ(line->count, 1);
    ExpectVec(line->data[0], 1, 1, 1);
    ASSERT_TRUE(FindLineClosed(kept, &closed));
    EXPECT_EQ(closed, 1);
}

TEST(AdvSceneLines, OnlyShapesReadLinesAndCopiesOwnTheirPoints) {
    ModelBuilder b;
    AddLine(ModelBuilder::Node(b.Root(), "NotShape", "Dummy"), "0", 1, {1, 2, 3});
    AddLine(ModelBuilder::Node(b.Root(), "Shape01", "Shape"), "0", 1, {1, 2, 3});
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, b.Build()));
    EXPECT_EQ(FindShapeLine(scene.GetRoot()->FindChild(String("NotShape"))->properties), nullptr);
    HandleParam copy(scene.GetRoot()->FindChild(String("Shape01"))->properties);
    const ShapeLine* original = FindShapeLine(scene.GetRoot()->FindChild(String("Shape01"))->properties);
    const ShapeLine* copied = FindShapeLine(copy);
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied, original);
    ExpectVec(copied->data[0], 1, 2, 3);
    EXPECT_FALSE(scene.LoadLines(nullptr, scene.GetRoot()));
}

// ---- a document written out by hand -----------------------------------------------------

TEST(AdvSceneDocument, SmallModelMatchesItsLayoutByteForByte) {
    ModelBuilder b;
    ModelBuilder::SetColor(b.Root(), "AmbColor", 1.0f, 0.5f, 0.25f, 0.0f);
    const Bytes built = b.Build();

    // file size, magic, no types, root size, the root's table, the colour's bytes.
    Bytes expected;
    auto put32 = [&](u32 v) {
        for (int i = 0; i < 4; ++i) expected.push_back(static_cast<u8>(v >> (8 * i)));
    };
    auto putText = [&](const char* s) {
        put32(static_cast<u32>(std::strlen(s)));
        for (const char* p = s; *p; ++p) expected.push_back(static_cast<u8>(*p));
    };
    auto putFloat = [&](f32 f) {
        u32 v;
        std::memcpy(&v, &f, 4);
        put32(v);
    };
    put32(84);                 // 0: the whole file
    putText("UDF Binary 1.0");  // 4: 4 + 14 bytes
    put32(0);                  // 22: no composite types
    put32(58);                 // 26: from this word to the end
    put32(38);                 // 30: the root table: this word, the count and one entry
    put32(1);                  // 34: one entry
    putText("AmbColor");       // 38: 4 + 8
    putText("color");          // 50: 4 + 5
    expected.push_back(0);     // 59: a plain value
    put32(68);                 // 60: its block's offset
    put32(16);                 // 64: and size
    putFloat(1.0f);            // 68: a, r, g, b
    putFloat(0.5f);
    putFloat(0.25f);
    putFloat(0.0f);
    ASSERT_EQ(expected.size(), 84u);
    EXPECT_EQ(built, expected);

    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, expected));
    EXPECT_FLOAT_EQ(scene.GetLighting().ambient.a, 1.0f);
    EXPECT_FLOAT_EQ(scene.GetLighting().ambient.r, 0.5f);
    EXPECT_FLOAT_EQ(scene.GetLighting().ambient.g, 0.25f);
    EXPECT_FLOAT_EQ(scene.GetLighting().ambient.b, 0.0f);
}

// ---- the rigged sample, written in the text form ----------------------------------------

namespace {

Bytes SampleModel(const char* name) {
    const std::filesystem::path path = std::filesystem::path(CORVANE_TEST_DATA) / "model" / name;
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<u8> bytes;
    std::string error;
    EXPECT_TRUE(UdfTextToBinary(text.str(), &bytes, &error)) << error;
    return bytes;
}

}  // namespace

TEST(AdvSceneSample, RiggedModelLoadsEveryBlock) {
    AdvScene scene;
    ASSERT_TRUE(LoadBytes(scene, SampleModel("rig.txt"), "rig"));
    EXPECT_FLOAT_EQ(scene.GetLighting().ambient.g, 0.3f);
    EXPECT_NE(scene.GetCameraRoot()->FindChild(String("Camera01")), nullptr);
    ASSERT_EQ(scene.GetLighting().LightCount(), 2);
    EXPECT_EQ(scene.GetLighting().LightAt(1)->GetRange(), 200.0f);

    Hierarchy* bone = scene.GetBoneRoot()->FindChild(String("Root"));
    ASSERT_NE(bone, nullptr);
    Hierarchy* tip = bone->FindChild(String("Tip"));
    ASSERT_NE(tip, nullptr);
    EXPECT_NEAR(tip->GetPreMatrix().m[13], -1.0f, 1e-6f);

    Hierarchy* strip = scene.GetRoot()->FindChild(String("Strip"));
    ASSERT_NE(strip, nullptr);
    String usage;
    ASSERT_TRUE(strip->properties.children.GetString(String("usage"), &usage));
    EXPECT_EQ(usage, "dynamic");
    Hierarchy* glow = strip->FindChild(String("~Glow"));
    ASSERT_NE(glow, nullptr);
    EXPECT_TRUE(glow->cullOptions & kCullWithQuery);
    // The emitter's own block, then the mesh's inherited keys.
    EXPECT_NE(glow->properties.children.Find(String("TexGen")), nullptr);
    EXPECT_TRUE(glow->properties.children.GetString(String("OptimizeMesh"), &usage));

    Hierarchy* path = scene.GetRoot()->FindChild(String("Path"));
    const ShapeLine* line = FindShapeLine(path->properties);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->count, 2);
    u8 closed = 0;
    ASSERT_TRUE(FindLineClosed(path->properties, &closed));
    EXPECT_EQ(closed, 1);

    TimeRange range;
    ASSERT_TRUE(scene.GetAnimationRange(String("rig"), range));
    EXPECT_EQ(range.start, 0.0f);
    EXPECT_EQ(range.end, 4.0f);
}

TEST(AdvSceneSample, SkinnedMeshesTakeTheIntervalOnlyWithItsFlag) {
    for (u32 flags : {0x1u, 0x11u}) {
        AdvScene scene;
        SkinnedMesh* mesh = new SkinnedMesh;
        mesh->SetSkinInterval(-1);
        scene.GetSkinnedMeshes().PushBack(mesh);
        const Bytes bytes = SampleModel("rig.txt");
        LOADDESC desc;
        desc.flags = flags;
        desc.value = 250;
        ASSERT_TRUE(scene.Load(patht::FromMemory(bytes.data(), static_cast<u32>(bytes.size())), &desc));
        EXPECT_EQ(mesh->GetSkinInterval(), flags & 0x10 ? 250 : -1);
        delete mesh;
    }
}
