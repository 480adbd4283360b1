// The blending kernels, each selected explicitly: a single influence follows its bone
// whatever its weight; weights that do not sum to 1 give the SSE kernel's weighted sum and
// the scalar kernel's sum divided by the weight sum; a blended normal of zero length stays
// zero (no NaN in vertex data); a target with only a position gets only positions; kept
// records equal what was written; and jobs that would write out of bounds are refused
// before the first write.
#include "Scene/SkinKernel.h"
#include "tests/SkinFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

using namespace skinfixtures;

namespace {

// The target memory of a job: vertices of `stride` bytes, every byte 0xAB at first.
struct Target {
    std::vector<u8> bytes;
    u32 stride;
    Target(u32 n, u32 stride_) : bytes(size_t(n) * stride_, 0xAB), stride(stride_) {}
    Vec3 At(u32 v, u32 offset) const {
        f32 xyz[3];
        std::memcpy(xyz, bytes.data() + size_t(v) * stride + offset, sizeof xyz);
        return Vec3(xyz[0], xyz[1], xyz[2]);
    }
};

SkinBlendJob MakeJob(const SkinModel& model, const std::vector<const Matrix*>& bones, Target& target) {
    SkinBlendJob job;
    job.skin = &model.skin;
    job.source = &model.mesh;
    job.bones = bones.data();
    job.boneCount = u32(bones.size());
    job.target = target.bytes.data();
    job.targetBytes = target.bytes.size();
    job.targetStride = target.stride;
    return job;
}

void ExpectNear(const Vec3& actual, const Vec3& expected, f32 tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

class SkinKernelTest : public ::testing::TestWithParam<SkinKernel::Kind> {
protected:
    SkinKernel::Kind Kind() const { return GetParam(); }
    bool Blend(const SkinBlendJob& job) const { return SkinKernel::Blend(Kind(), job); }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(BothKernels, SkinKernelTest, ::testing::Values(SkinKernel::kScalar, SkinKernel::kSse),
                         [](const ::testing::TestParamInfo<SkinKernel::Kind>& info) {
                             return std::string(info.param == SkinKernel::kSse ? "Sse" : "Scalar");
                         });

TEST_P(SkinKernelTest, OneInfluenceFollowsItsBoneWhateverItsWeight) {
    SourceVertex v{{1.0f, 2.0f, 3.0f}, {0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}};
    SkinModel model(PositionNormalLayout(), {v}, {{{1, 0.5f}}}, 2);
    ASSERT_TRUE(model.built);
    model.bones[1] = Affine(0.5f, 2.0f, 10.0f, -4.0f, 7.0f);
    const auto bones = model.BonePointers();
    Target target(1, 24);
    SkinBlendJob job = MakeJob(model, bones, target);
    job.targetNormal = 12;
    job.blendNormals = true;
    ASSERT_TRUE(Blend(job));
    ExpectNear(target.At(0, 0), TransformPoint(v.position, model.bones[1]), 1e-5f);
    // The bone's own 3x3 part, not renormalised: the scale of 2 stays in the normal.
    ExpectNear(target.At(0, 12), TransformDirection(v.normal, model.bones[1]), 1e-5f);
    EXPECT_NEAR(Vec3Length(target.At(0, 12)), 2.0f, 1e-5f);
}

TEST_P(SkinKernelTest, WeightsThatDoNotSumToOneKeepTheKernelsDifference) {
    SourceVertex v{{1.0f, 2.0f, 3.0f}, {0.0f, 1.0f, 0.0f}, {}, {}};
    SkinModel model(PositionNormalLayout(), {v}, {{{0, 0.5f}, {1, 0.3f}}}, 2);
    ASSERT_TRUE(model.built);
    model.bones[0] = Affine(0.3f, 1.0f, 5.0f, 0.0f, 0.0f);
    model.bones[1] = Affine(-1.2f, 1.0f, 0.0f, 8.0f, -2.0f);
    const Vec3 q1 = TransformPoint(v.position, model.bones[0]);
    const Vec3 q2 = TransformPoint(v.position, model.bones[1]);
    const Vec3 sum = q1 * 0.5f + q2 * 0.3f;
    const auto bones = model.BonePointers();
    Target target(1, 24);
    SkinBlendJob job = MakeJob(model, bones, target);
    job.targetNormal = 12;
    job.blendNormals = true;
    ASSERT_TRUE(Blend(job));
    if (Kind() == SkinKernel::kSse)
        ExpectNear(target.At(0, 0), sum, 1e-4f);
    else
        ExpectNear(target.At(0, 0), sum * (1.0f / 0.8f), 1e-4f);
    // Two influences: the normal is renormalised (the SSE estimate is good to ~12 bits).
    EXPECT_NEAR(Vec3Length(target.At(0, 12)), 1.0f, Kind() == SkinKernel::kSse ? 1e-3f : 1e-6f);
    // The stored weights are as they were.
    EXPECT_EQ(model.skin.influences[0].weight, 0.5f);
    EXPECT_EQ(model.skin.influences[1].weight, 0.3f);
}

TEST_P(SkinKernelTest, AZeroLengthBlendedNormalStaysZero) {
    // Vertex 0 has no normal at all; vertex 1's two bones mirror each other, so its
    // blended 3x3 part is zero.
    SourceVertex none{{1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {}, {}};
    SourceVertex cancelled{{0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}};
    SkinModel model(FullLayout(), {none, cancelled}, {{{0, 0.5f}, {1, 0.5f}}, {{0, 0.5f}, {1, 0.5f}}}, 2);
    ASSERT_TRUE(model.built);
    model.bones[0] = Affine(0.0f, 1.0f, 0.0f, 0.0f, 0.0f);
    model.bones[1] = Affine(0.0f, -1.0f, 0.0f, 0.0f, 0.0f);
    const auto bones = model.BonePointers();
    Target target(2, 56);
    SkinBlendJob job = MakeJob(model, bones, target);
    job.targetNormal = 12;
    job.targetTangent = 32;
    job.targetBinormal = 44;
    job.blendNormals = true;
    job.blendTangents = true;
    std::vector<SkinVertex> kept(2);
    job.keep = kept.data();
    ASSERT_TRUE(Blend(job));
    for (u32 v = 0; v < 2; ++v) {
        SCOPED_TRACE(v);
        for (u32 offset : {12u, 32u, 44u}) {
            const Vec3 d = target.At(v, offset);
            EXPECT_TRUE(Finite(d));
            EXPECT_EQ(d.x, 0.0f);
            EXPECT_EQ(d.y, 0.0f);
            EXPECT_EQ(d.z, 0.0f);
        }
        EXPECT_TRUE(Finite(kept[v].normal));
        EXPECT_EQ(Vec3Length(kept[v].normal), 0.0f);
    }
}

TEST_P(SkinKernelTest, APositionOnlyTargetReceivesOnlyPositions) {
    SourceVertex v{{1.0f, 2.0f, 3.0f}, {0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}};
    SkinModel model(FullLayout(), {v, v, v, v, v}, std::vector<std::vector<Influence>>(5, {{0, 1.0f}}), 1);
    ASSERT_TRUE(model.built);
    model.bones[0] = Translation(1.0f, 1.0f, 1.0f);
    const auto bones = model.BonePointers();
    Target target(5, 20);  // POSITION then a FLOAT2 the kernel must not touch
    SkinBlendJob job = MakeJob(model, bones, target);
    ASSERT_TRUE(Blend(job));
    for (u32 i = 0; i < 5; ++i) {
        ExpectNear(target.At(i, 0), Vec3(2.0f, 3.0f, 4.0f), 1e-6f);
        for (u32 b = 12; b < 20; ++b) EXPECT_EQ(target.bytes[i * 20 + b], 0xAB);
    }
}

TEST_P(SkinKernelTest, KeptRecordsHoldWhatWasWrittenAndWhatWasOnlyBlended) {
    std::unique_ptr<SkinModel> model(FourInfluenceModel(37, 9, 5));
    ASSERT_TRUE(model->built);
    const auto bones = model->BonePointers();
    Target target(37, 56);
    SkinBlendJob job = MakeJob(*model, bones, target);
    job.blendNormals = true;  // kept, not written: the target has no normal
    job.blendTangents = true;
    job.targetTangent = 32;
    job.targetBinormal = 44;
    std::vector<SkinVertex> kept(37);
    job.keep = kept.data();
    ASSERT_TRUE(Blend(job));
    for (u32 v = 0; v < 37; ++v) {
        SCOPED_TRACE(v);
        ExpectNear(kept[v].position, target.At(v, 0), 0.0f);
        ExpectNear(kept[v].tangent, target.At(v, 32), 0.0f);
        ExpectNear(kept[v].binormal, target.At(v, 44), 0.0f);
        EXPECT_NEAR(Vec3Length(kept[v].normal), 1.0f, 1e-3f);
        for (u32 b = 12; b < 32; ++b) EXPECT_EQ(target.bytes[v * 56 + b], 0xAB);
    }
}

TEST_P(SkinKernelTest, JobsThatWouldWriteOutOfBoundsAreRefusedUntouched) {
    std::unique_ptr<SkinModel> model(FourInfluenceModel(8, 4, 1));
    ASSERT_TRUE(model->built);
    auto bones = model->BonePointers();
    Target target(8, 24);
    const std::vector<u8> before = target.bytes;

    SkinBlendJob job = MakeJob(*model, bones, target);
    job.targetBytes -= 1;  // room for 7.96 vertices
    EXPECT_FALSE(Blend(job));
    job = MakeJob(*model, bones, target);
    job.targetNormal = 13;  // 13 + 12 > 24
    job.blendNormals = true;
    EXPECT_FALSE(Blend(job));
    job = MakeJob(*model, bones, target);
    job.targetPosition = -1;
    EXPECT_FALSE(Blend(job));
    job = MakeJob(*model, bones, target);
    job.boneCount = 3;  // fewer matrices than bone names
    EXPECT_FALSE(Blend(job));
    bones[2] = nullptr;
    job = MakeJob(*model, bones, target);
    EXPECT_FALSE(Blend(job));
    EXPECT_EQ(target.bytes, before);
}

TEST(SkinKernel, BothKernelsGiveOnePoseForWeightsThatSumToOne) {
    std::unique_ptr<SkinModel> model(FourInfluenceModel(203, 13, 11));
    ASSERT_TRUE(model->built);
    const auto bones = model->BonePointers();
    Target scalar(203, 56);
    Target sse(203, 56);
    for (Target* t : {&scalar, &sse}) {
        SkinBlendJob job = MakeJob(*model, bones, *t);
        job.targetNormal = 12;
        job.targetTangent = 32;
        job.targetBinormal = 44;
        job.blendNormals = true;
        job.blendTangents = true;
        ASSERT_TRUE(SkinKernel::Blend(t == &sse ? SkinKernel::kSse : SkinKernel::kScalar, job));
    }
    for (u32 v = 0; v < 203; ++v) {
        SCOPED_TRACE(v);
        ExpectNear(sse.At(v, 0), scalar.At(v, 0), 1e-4f);
        for (u32 offset : {12u, 32u, 44u}) ExpectNear(sse.At(v, offset), scalar.At(v, offset), 2e-3f);
        // The bytes between the written elements (the texture coordinate) are untouched.
        for (u32 b = 24; b < 32; ++b) EXPECT_EQ(sse.bytes[v * 56 + b], 0xAB);
    }
}

TEST(SkinKernel, TheScalarKernelDividesByW) {
    SourceVertex v{{1.0f, 2.0f, 3.0f}, {}, {}, {}};
    SkinModel model(PositionNormalLayout(), {v}, {{{0, 1.0f}}}, 1);
    model.bones[0] = Translation(1.0f, 0.0f, 0.0f);
    model.bones[0].m[15] = 2.0f;
    const auto bones = model.BonePointers();
    Target target(1, 24);
    ASSERT_TRUE(SkinKernel::BlendScalar(MakeJob(model, bones, target)));
    ExpectNear(target.At(0, 0), Vec3(1.0f, 1.0f, 1.5f), 1e-6f);
    ASSERT_TRUE(SkinKernel::BlendSse(MakeJob(model, bones, target)));
    ExpectNear(target.At(0, 0), Vec3(2.0f, 2.0f, 3.0f), 1e-6f);
}

TEST(SkinKernel, TheSseKernelNeedsTheVertexGroups) {
    SourceVertex v{{1.0f, 2.0f, 3.0f}, {}, {}, {}};
    SkinModel model(PositionNormalLayout(), {v}, {{{0, 1.0f}}}, 1);
    model.skin.groups.Resize(0);
    EXPECT_EQ(SkinKernel::Preferred(model.skin, true), SkinKernel::kScalar);
    const auto bones = model.BonePointers();
    Target target(1, 24);
    const std::vector<u8> before = target.bytes;
    EXPECT_FALSE(SkinKernel::BlendSse(MakeJob(model, bones, target)));
    EXPECT_EQ(target.bytes, before);
    EXPECT_TRUE(SkinKernel::BlendScalar(MakeJob(model, bones, target)));
}

TEST_P(SkinKernelTest, DirectionsTheSourceLacksBlendAsZero) {
    // The source has a position and a texture coordinate only; the target wants normals,
    // tangents and binormals all the same.
    SourceVertex v{{1.0f, 2.0f, 3.0f}, {}, {}, {}};
    SkinModel model(PositionTexLayout(), {v, v}, {{{0, 0.5f}, {1, 0.5f}}, {{0, 1.0f}}}, 2);
    ASSERT_TRUE(model.built);
    const auto bones = model.BonePointers();
    Target target(2, 48);
    SkinBlendJob job = MakeJob(model, bones, target);
    job.targetNormal = 12;
    job.targetTangent = 24;
    job.targetBinormal = 36;
    job.blendNormals = true;
    job.blendTangents = true;
    ASSERT_TRUE(Blend(job));
    for (u32 i = 0; i < 2; ++i) {
        ExpectNear(target.At(i, 0), v.position, 1e-6f);
        for (u32 offset : {12u, 24u, 36u}) {
            const Vec3 d = target.At(i, offset);
            EXPECT_TRUE(Finite(d));
            EXPECT_EQ(Vec3Length(d), 0.0f);
        }
    }
}
