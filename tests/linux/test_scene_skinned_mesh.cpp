// The skinned mesh on the reference device, both kernels: what reaches the target vertex
// buffer (read back by locking it), when a pass blends, restores or leaves the buffer
// alone (a lock armed to fail tells whether the draw locked at all), the pose kept for
// later passes on default-pool and system-memory buffers, a restore before any pose was
// kept, a mesh without its bones, a blend the kernel refuses, and a target that has only
// positions.
#include "Core/Timer.h"
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/FrameSequence.h"
#include "D3d/GeometryCache.h"
#include "D3d/StateCache.h"
#include "Effect/LightSet.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "Scene/Hierarchy.h"
#include "Scene/RenderView.h"
#include "Scene/SkinnedMesh.h"
#include "tests/RecordingEffect.h"
#include "tests/SkinFixtures.h"
#include "tests/linux/PlatformD3d9Support.h"

#include <PlatformTest.h>
#include <PlatformTestD3d9.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace skinfixtures;

namespace {

using Calls = std::vector<std::string>;

constexpr u32 kKeep = kPassKeepPose;
constexpr u32 kRestore = kPassRestorePose;

const SourceVertex kVertex{{1.0f, 2.0f, 3.0f}, {0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}};

// Three vertices (one triangle) of the full layout, each with one influence of 0.5 on
// bone 1 of two.
std::unique_ptr<SkinModel> Triangle() {
    std::vector<SourceVertex> vertices{kVertex, kVertex, kVertex};
    vertices[1].position = Vec3(-4.0f, 0.0f, 1.0f);
    vertices[2].position = Vec3(0.0f, 5.0f, -2.0f);
    auto model = std::make_unique<SkinModel>(FullLayout(), vertices,
                                             std::vector<std::vector<Influence>>(3, {{1, 0.5f}}), 2);
    model->mesh.indices.Allocate(3, 2);
    for (u32 i = 0; i < 3; ++i) model->mesh.indices.Set(i, i);
    return model;
}

class SkinnedMeshDevice : public ::testing::TestWithParam<SkinKernel::Kind> {
protected:
    Application app;
    RenderContext context;
    Material material;
    std::unique_ptr<SkinModel> model = Triangle();
    std::vector<const Matrix*> bones;

    void SetUp() override {
        platformd3d9::ResetPlatform();
        if (!app.Create(GetModuleHandleA(nullptr), nullptr) || !app.SetMode(false))
            GTEST_SKIP() << "no windowed reference device";
        StateCache::InvalidateAll();
        TheGeometryCache().Reset();
        TheLightSet().Reset();
        context.world = IdentityMatrix;
        context.viewProjection = IdentityMatrix;
        material.context = &context;
        PlatformTest_SetClock(10000);
        ASSERT_TRUE(model->built);
        bones = model->BonePointers();
    }
    void TearDown() override {
        PlatformTest_UseSystemClock();
        TheGeometryCache().Reset();
        TheLightSet().Reset();
        StateCache::InvalidateAll();
    }

    // A mesh over the model with dynamic buffers in the default pool or in system memory.
    void Prepare(SkinnedMesh& mesh, bool systemMemory) {
        mesh.SetSource(&model->mesh, &model->skin);
        mesh.SetKernel(GetParam());
        mesh.GetGeometryDesc().Setup(model->mesh, nullptr, true, systemMemory);
        ASSERT_TRUE(mesh.SetBoneMatrices(bones.data(), u32(bones.size())));
    }
    bool Draw(SkinnedMesh& mesh, u32 passFlags) {
        context.sceneFlags = passFlags;
        return mesh.Draw(&material);
    }

    // The target's bytes, read back through a lock.
    static std::vector<u8> Contents(SkinnedMesh& mesh) {
        GeometryRef g = mesh.GetGeometry();
        if (!g || !g->GetVertexBuffer(0)) return {};
        BufferRange* range = g->GetVertexBuffer(0)->GetRanges();
        void* data = nullptr;
        if (!range || !range->Lock(0, &data)) return {};
        std::vector<u8> out(static_cast<u8*>(data), static_cast<u8*>(data) + range->size);
        range->Unlock();
        return out;
    }
    static void Overwrite(SkinnedMesh& mesh, u8 value) {
        GeometryRef g = mesh.GetGeometry();
        BufferRange* range = g->GetVertexBuffer(0)->GetRanges();
        void* data = nullptr;
        ASSERT_TRUE(range->Lock(0, &data));
        std::memset(data, value, range->size);
        range->Unlock();
    }
    static Vec3 At(const std::vector<u8>& bytes, u32 stride, u32 v, u32 offset) {
        f32 xyz[3] = {};
        if (size_t(v) * stride + offset + 12 <= bytes.size()) std::memcpy(xyz, bytes.data() + v * stride + offset, 12);
        return Vec3(xyz[0], xyz[1], xyz[2]);
    }
    // The positions of the three vertices in a target of `stride` bytes.
    static std::vector<Vec3> Positions(SkinnedMesh& mesh, u32 stride) {
        const std::vector<u8> bytes = Contents(mesh);
        return {At(bytes, stride, 0, 0), At(bytes, stride, 1, 0), At(bytes, stride, 2, 0)};
    }
    // Where the bone matrix m puts the three vertices.
    std::vector<Vec3> Moved(const Matrix& m) const {
        std::vector<Vec3> out;
        for (u32 v = 0; v < 3; ++v) {
            f32 xyz[3];
            std::memcpy(xyz, model->mesh.vertices.streams[0] + v * 56, 12);
            out.push_back(TransformPoint(Vec3(xyz[0], xyz[1], xyz[2]), m));
        }
        return out;
    }
    static void ExpectPositions(const std::vector<Vec3>& actual, const std::vector<Vec3>& expected) {
        ASSERT_EQ(actual.size(), expected.size());
        for (size_t i = 0; i < actual.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(actual[i].x, expected[i].x, 1e-4f);
            EXPECT_NEAR(actual[i].y, expected[i].y, 1e-4f);
            EXPECT_NEAR(actual[i].z, expected[i].z, 1e-4f);
        }
    }
    // Arms the next lock to fail, runs fn, and tells whether fn locked (the arming was
    // used) or not (a lock of our own fails instead).
    bool Locks(const std::function<void()>& fn, SkinnedMesh& mesh) {
        PlatformTest_D3d9FailCall("Lock", 1, D3DERR_INVALIDCALL);
        fn();
        BufferRange* range = mesh.GetGeometry()->GetVertexBuffer(0)->GetRanges();
        void* data = nullptr;
        const bool probe = range->Lock(0, &data);
        if (probe) range->Unlock();
        return probe;
    }
    static size_t Draws() {
        size_t n = 0;
        for (const std::string& call : PlatformTest_D3d9CallLog())
            if (call.rfind("DrawIndexedPrimitive", 0) == 0) ++n;
        return n;
    }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(BothKernels, SkinnedMeshDevice, ::testing::Values(SkinKernel::kScalar, SkinKernel::kSse),
                         [](const ::testing::TestParamInfo<SkinKernel::Kind>& info) {
                             return std::string(info.param == SkinKernel::kSse ? "Sse" : "Scalar");
                         });

TEST_P(SkinnedMeshDevice, AVertexWithOneInfluenceOfHalfFollowsItsBone) {
    SkinnedMesh mesh;
    Prepare(mesh, false);
    model->bones[1] = Affine(0.7f, 1.5f, 3.0f, -1.0f, 2.0f);
    PlatformTest_D3d9ClearCallLog();
    ASSERT_TRUE(Draw(mesh, 0));
    // The fixed-function target: POSITION, NORMAL, TEXCOORD, 32 bytes.
    ExpectPositions(Positions(mesh, 32), Moved(model->bones[1]));
    const std::vector<u8> bytes = Contents(mesh);
    const Vec3 normal = At(bytes, 32, 0, 12);
    EXPECT_NEAR(normal.z, 1.5f, 1e-5f);  // the bone's scale, not renormalised
    // The texture coordinate came from the source through the discarding lock.
    f32 uv[2];
    std::memcpy(uv, bytes.data() + 2 * 32 + 24, sizeof uv);
    EXPECT_EQ(uv[0], 2.0f);
    EXPECT_EQ(uv[1], -2.0f);
    EXPECT_EQ(Draws(), 1u);
}

TEST_P(SkinnedMeshDevice, TwoDrawsWithinTheIntervalBlendOnce) {
    for (bool systemMemory : {false, true}) {
        SCOPED_TRACE(systemMemory);
        TheGeometryCache().Reset();
        SkinnedMesh mesh;
        Prepare(mesh, systemMemory);
        mesh.SetSkinInterval(1000);
        const Matrix first = Translation(1.0f, 2.0f, 3.0f);
        model->bones[1] = first;
        ASSERT_TRUE(Draw(mesh, kKeep));
        EXPECT_TRUE(mesh.HasKeptPose());
        // The bone moves, but within the interval the kept pose is drawn: left alone in
        // the default pool, copied again into system memory.
        model->bones[1] = Translation(-5.0f, 0.0f, 0.0f);
        PlatformTest_AdvanceClock(999);
        if (systemMemory) {
            Overwrite(mesh, 0x33);
            EXPECT_TRUE(Draw(mesh, kKeep));
        } else {
            bool drawn = false;
            EXPECT_FALSE(Locks([&] { drawn = Draw(mesh, kKeep); }, mesh));
            EXPECT_TRUE(drawn);
        }
        ExpectPositions(Positions(mesh, 32), Moved(first));
        // Once the interval has passed the pass blends again.
        PlatformTest_AdvanceClock(1);
        ASSERT_TRUE(Draw(mesh, kKeep));
        ExpectPositions(Positions(mesh, 32), Moved(model->bones[1]));
    }
}

TEST_P(SkinnedMeshDevice, ARestorePassLeavesACurrentDefaultPoolTargetAlone) {
    SkinnedMesh mesh;
    Prepare(mesh, false);
    model->bones[1] = Translation(1.0f, 2.0f, 3.0f);
    ASSERT_TRUE(Draw(mesh, kKeep));
    const std::vector<u8> before = Contents(mesh);
    model->bones[1] = Translation(9.0f, 9.0f, 9.0f);
    bool drawn = false;
    PlatformTest_D3d9ClearCallLog();
    EXPECT_FALSE(Locks([&] { drawn = Draw(mesh, kRestore); }, mesh));
    EXPECT_TRUE(drawn);
    EXPECT_EQ(Contents(mesh), before);
    EXPECT_EQ(Draws(), 1u);
}

TEST_P(SkinnedMeshDevice, ARestorePassCopiesTheKeptPoseIntoSystemMemory) {
    SkinnedMesh mesh;
    Prepare(mesh, true);
    const Matrix kept = Translation(1.0f, 2.0f, 3.0f);
    model->bones[1] = kept;
    ASSERT_TRUE(Draw(mesh, kKeep));
    model->bones[1] = Translation(9.0f, 9.0f, 9.0f);
    Overwrite(mesh, 0x11);
    ASSERT_TRUE(Draw(mesh, kRestore));
    ExpectPositions(Positions(mesh, 32), Moved(kept));
    // The copy writes the kept elements only; the texture coordinate keeps its bytes.
    const std::vector<u8> bytes = Contents(mesh);
    for (u32 b = 24; b < 32; ++b) EXPECT_EQ(bytes[b], 0x11);
}

TEST_P(SkinnedMeshDevice, ARestoreBeforeAnyPoseWasKeptBlends) {
    for (bool systemMemory : {false, true}) {
        SCOPED_TRACE(systemMemory);
        TheGeometryCache().Reset();
        model->bones[1] = Translation(4.0f, 0.0f, 0.0f);
        {
            SkinnedMesh mesh;
            Prepare(mesh, systemMemory);
            ASSERT_TRUE(Draw(mesh, kRestore));
            ExpectPositions(Positions(mesh, 32), Moved(model->bones[1]));
            EXPECT_FALSE(mesh.HasKeptPose());
        }
        {
            // A keeping pass inside the interval from time 0: nothing to restore either.
            PlatformTest_SetClock(500);
            SkinnedMesh mesh;
            Prepare(mesh, systemMemory);
            mesh.SetSkinInterval(1000);
            ASSERT_TRUE(Draw(mesh, kKeep));
            ExpectPositions(Positions(mesh, 32), Moved(model->bones[1]));
            EXPECT_TRUE(mesh.HasKeptPose());
        }
    }
}

TEST_P(SkinnedMeshDevice, AMeshWithoutItsBonesReportsFalseWithoutALock) {
    SkinnedMesh mesh;
    Prepare(mesh, false);
    ASSERT_TRUE(Draw(mesh, 0));
    const std::vector<u8> before = Contents(mesh);
    // One matrix short: no bones at all.
    EXPECT_FALSE(mesh.SetBoneMatrices(bones.data(), 1));
    EXPECT_EQ(mesh.BoneCount(), 0u);
    std::vector<const Matrix*> withNull = bones;
    withNull[0] = nullptr;
    EXPECT_FALSE(mesh.SetBoneMatrices(withNull.data(), 2));
    EXPECT_EQ(mesh.BoneCount(), 0u);
    for (u32 flags : {0u, kKeep, kRestore}) {
        SCOPED_TRACE(flags);
        PlatformTest_D3d9ClearCallLog();
        bool drawn = true;
        EXPECT_FALSE(Locks([&] { drawn = Draw(mesh, flags); }, mesh));
        EXPECT_FALSE(drawn);
        // Drawn with what the buffer holds.
        EXPECT_EQ(Draws(), 1u);
        EXPECT_EQ(Contents(mesh), before);
    }
}

TEST_P(SkinnedMeshDevice, ABlendTheKernelRefusesIsReportedAndKeepsNoPose) {
    SkinnedMesh mesh;
    Prepare(mesh, false);
    const Matrix first = Translation(1.0f, 2.0f, 3.0f);
    model->bones[1] = first;
    ASSERT_TRUE(Draw(mesh, 0));
    // The skin names a bone more than the mesh holds matrices for: the kernel writes
    // nothing, and the draw shows what the target held without the new pose.
    model->skin.boneNames.Add(String("bone2"));
    model->bones[1] = Translation(-5.0f, 0.0f, 0.0f);
    PlatformTest_D3d9ClearCallLog();
    EXPECT_FALSE(Draw(mesh, kKeep));
    EXPECT_EQ(Draws(), 1u);
    EXPECT_NE(Positions(mesh, 32)[0].x, Moved(model->bones[1])[0].x);
    // Nothing was blended, so nothing is kept for a later pass to restore.
    EXPECT_FALSE(mesh.HasKeptPose());
}

TEST_P(SkinnedMeshDevice, APositionOnlyTargetGetsPositionsAndTheSourcesOtherElements) {
    for (bool systemMemory : {false, true}) {
        SCOPED_TRACE(systemMemory);
        TheGeometryCache().Reset();
        RecordingEffect effect;
        effect.SetLayout(PositionTexLayout());
        context.overrideEffect = &effect;
        SkinnedMesh mesh;
        Prepare(mesh, systemMemory);
        model->bones[1] = Translation(0.0f, 0.0f, 10.0f);
        ASSERT_TRUE(Draw(mesh, 0));
        ExpectPositions(Positions(mesh, 20), Moved(model->bones[1]));
        std::vector<u8> bytes = Contents(mesh);
        ASSERT_EQ(bytes.size(), 60u);
        f32 uv[2];
        std::memcpy(uv, bytes.data() + 20 + 12, sizeof uv);
        EXPECT_EQ(uv[0], 1.0f);
        EXPECT_EQ(uv[1], -1.0f);
        // Without a discard the other elements keep their bytes.
        Overwrite(mesh, 0x22);
        model->bones[1] = Translation(0.0f, 0.0f, 20.0f);
        ASSERT_TRUE(Draw(mesh, 0));
        ExpectPositions(Positions(mesh, 20), Moved(model->bones[1]));
        bytes = Contents(mesh);
        std::memcpy(uv, bytes.data() + 20 + 12, sizeof uv);
        if (systemMemory) {
            for (u32 b = 12; b < 20; ++b) EXPECT_EQ(bytes[20 + b], 0x22);
        } else {
            EXPECT_EQ(uv[0], 1.0f);
        }
        context.overrideEffect = nullptr;
    }
}

TEST_P(SkinnedMeshDevice, AClonedMeshHasNoBonesUntilBound) {
    SkinnedMesh mesh;
    Prepare(mesh, false);
    mesh.SetSkinInterval(250);
    std::unique_ptr<DrawItem> item(mesh.Clone());
    SkinnedMesh* clone = nullptr;
    ASSERT_TRUE(item->QueryType(SkinnedMeshTypeId(), reinterpret_cast<void**>(&clone)));
    ASSERT_EQ(clone, item.get());
    EXPECT_EQ(clone->BoneCount(), 0u);
    EXPECT_EQ(clone->GetSkinInterval(), 250);
    EXPECT_EQ(clone->GetSkin(), &model->skin);
    EXPECT_EQ(clone->GetPartTable(), &model->mesh);
    EXPECT_TRUE(clone->SetBoneMatrices(bones.data(), 2));
}

TEST_P(SkinnedMeshDevice, TheBonesAreBroughtUpToDateUnlessThePassSaysTheyAre) {
    Hierarchy* rootNode = nullptr;
    Hierarchy* bone = nullptr;
    ASSERT_TRUE(CreateSceneNode(&rootNode));
    std::unique_ptr<Hierarchy> root(rootNode);
    ASSERT_TRUE(CreateSceneNode(&bone));
    bone->name = String("bone1");
    ASSERT_TRUE(root->AddChild(bone));
    Hierarchy* other = nullptr;
    ASSERT_TRUE(CreateSceneNode(&other));
    other->name = String("bone0");
    ASSERT_TRUE(root->AddChild(other));

    SkinnedMesh mesh;
    mesh.SetSource(&model->mesh, &model->skin);
    mesh.SetKernel(GetParam());
    mesh.GetGeometryDesc().Setup(model->mesh, nullptr, true, false);
    ASSERT_TRUE(mesh.BindBones(root.get()));
    // The draw brings the bone's final matrix up to date through a view of its own.
    bone->GetTransform(true).SetPosition(0.0f, 6.0f, 0.0f);
    ASSERT_TRUE(Draw(mesh, 0));
    ExpectPositions(Positions(mesh, 32), Moved(Translation(0.0f, 6.0f, 0.0f)));
    // With the pass's word that the bones are current, the matrices are read as they are.
    bone->GetTransform(true).SetPosition(0.0f, 0.0f, -3.0f);
    ASSERT_TRUE(Draw(mesh, kPassSkipBoneUpdate));
    ExpectPositions(Positions(mesh, 32), Moved(Translation(0.0f, 6.0f, 0.0f)));
    ASSERT_TRUE(Draw(mesh, 0));
    ExpectPositions(Positions(mesh, 32), Moved(Translation(0.0f, 0.0f, -3.0f)));
}
