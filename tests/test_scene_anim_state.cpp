// Node animations and animation states: the product of the three tracks, the local time
// under each flag, the clock with its speed on a frozen engine Timer, layers,
// cross-fades (their blend and their collapse) and the cache, and the pose blend with
// its decomposition (mirrored, sheared and degenerate matrices).
#include "Core/Array.h"
#include "Core/Timer.h"
#include "Scene/AnimState.h"
#include "Scene/DecomposeMatrix.h"
#include "Scene/NodeAnimation.h"

#include <gtest/gtest.h>

#include <d3dx9math.h>

#include <cmath>
#include <limits>
#include <new>

namespace {

// A transform that counts its evaluations and answers a fixed matrix.
class CountingObject : public AbstractObject {
public:
    explicit CountingObject(const Matrix& m, int* calls) : matrix_(m), calls_(calls) {}
    bool GetMatrix(f32, Matrix& out) override {
        ++*calls_;
        out = matrix_;
        return true;
    }
    bool GetRange(TimeRange& out) override {
        out = TimeRange{0, 10};
        return true;
    }

private:
    Matrix matrix_;
    int* calls_;
};

Matrix Translation(f32 x, f32 y, f32 z) {
    Matrix m = IdentityMatrix;
    m.m[12] = x;
    m.m[13] = y;
    m.m[14] = z;
    m.kind = PureTranslation;
    return m;
}

Matrix Scaling(f32 x, f32 y, f32 z) {
    Matrix m = IdentityMatrix;
    m.m[0] = x;
    m.m[5] = y;
    m.m[10] = z;
    m.kind = 0;
    return m;
}

// An animation moving along x from 0 at 0 s to 4 at 4 s, linearly.
RefHandle<AbstractObject> Slide() {
    NodeAnimation* animation = new NodeAnimation;
    animation->Position().SetFlags(kTrackLinear);
    animation->Position().AddKey(KeyData(0, 0, 0, 0));
    animation->Position().AddKey(KeyData(4, 4, 0, 0));
    return RefHandle<AbstractObject>(animation);
}

// A started leaf on the given animation.
AnimState* Leaf(const RefHandle<AbstractObject>& animation, u32 flags = 0) {
    AnimState* state = new AnimState;
    state->animation = animation;
    state->flags.bits = flags;
    state->ReadRange();
    state->Start();
    return state;
}

void ExpectRow(const Matrix& m, int row, f32 x, f32 y, f32 z, f32 tolerance = 1e-5f) {
    EXPECT_NEAR(m.m[4 * row], x, tolerance) << "row " << row;
    EXPECT_NEAR(m.m[4 * row + 1], y, tolerance) << "row " << row;
    EXPECT_NEAR(m.m[4 * row + 2], z, tolerance) << "row " << row;
}

// Runs on a frozen engine clock; a state's clock is moved by moving its start back.
class AnimClock : public ::testing::Test {
protected:
    void SetUp() override { Timer::Freeze(true); }
    void TearDown() override { Timer::Freeze(false); }
    static void RunFor(AnimState& state, u64 ms) { state.startTime = Timer::Now() - ms; }
};

}  // namespace

TEST(NodeAnimation, ScaleThenRotationThenTranslation) {
    NodeAnimation animation;
    Matrix m = ZeroMatrix;
    EXPECT_FALSE(animation.GetMatrix(0, m));
    EXPECT_EQ(m.m[0], 0.0f);
    TimeRange range{7, 8};
    EXPECT_FALSE(animation.GetRange(range));
    EXPECT_EQ(range.start, 7.0f);

    animation.Position().AddKey(KeyData(-1, 1, 0, 0));
    animation.Position().AddKey(KeyData(1, 1, 0, 0));
    ASSERT_TRUE(animation.GetMatrix(0, m));
    EXPECT_EQ(m.kind, 6u);  // a translation only

    animation.Scale().AddKey(KeyData(2, 2, 2, 2));
    const f32 half = std::sqrt(0.5f);
    animation.Rotation().AddKey(KeyData::Rotation(0, 0, 0, half, half));  // 90 degrees about z
    ASSERT_TRUE(animation.GetMatrix(0, m));
    D3DXVECTOR3 p(1, 0, 0), out;
    D3DXVec3TransformCoord(&out, &p, reinterpret_cast<const D3DXMATRIX*>(m.m));
    EXPECT_NEAR(out.x, 1.0f, 1e-5f);
    EXPECT_NEAR(out.y, 2.0f, 1e-5f);
    EXPECT_NEAR(out.z, 0.0f, 1e-5f);
    ASSERT_TRUE(animation.GetRange(range));
    EXPECT_EQ(range.start, -1.0f);
    EXPECT_EQ(range.end, 2.0f);
    void* part = nullptr;
    EXPECT_TRUE(animation.QueryType(NodeAnimationTypeId(), &part));
    EXPECT_TRUE(animation.QueryType(AbstractObjectTypeId(), &part));
}

TEST(AnimState, LocalTimeUnderEachFlag) {
    AnimState state;
    state.animationRange = TimeRange{0, 4};
    state.ownRange = TimeRange{1, 2};
    state.startOffset = 0.5f;
    EXPECT_EQ(state.LocalTime(10.5f), 10.0f);
    state.flags.bits = kAnimLoop;
    EXPECT_NEAR(state.LocalTime(4.5f), 0.0f, 1e-6f);
    EXPECT_NEAR(state.LocalTime(5.5f), 1.0f, 1e-6f);
    state.flags.bits = kAnimLoopOwnRange;
    EXPECT_NEAR(state.LocalTime(3.0f), 1.5f, 1e-6f);
    state.flags.bits = kAnimClamp | kAnimLoop | kAnimLoopOwnRange;  // clamping wins
    EXPECT_EQ(state.LocalTime(100), 4.0f);
    EXPECT_EQ(state.LocalTime(-100), 0.0f);
}

TEST_F(AnimClock, LoopFlagRepeatsTheAnimationRange) {
    AnimState* state = Leaf(Slide(), kAnimLoop);
    Matrix m;
    RunFor(*state, 5000);
    ASSERT_TRUE(state->Evaluate(true, m));
    EXPECT_NEAR(m.m[12], 1.0f, 1e-5f);
    RunFor(*state, 4000);  // the 0 s pose again at 4 s
    ASSERT_TRUE(state->Evaluate(true, m));
    EXPECT_NEAR(m.m[12], 0.0f, 1e-5f);
    delete state;
}

TEST_F(AnimClock, ALoopKeepsMillisecondStepsTenDaysAfterItsStart) {
    // Ten days are 864000 s: a float of seconds that far steps by 62.5 ms.
    AnimState* state = Leaf(Slide(), kAnimLoop);
    Matrix m;
    const u64 tenDays = 10ull * 24 * 3600 * 1000;
    for (u64 ms : {3u, 19u, 35u}) {
        RunFor(*state, tenDays + ms);
        ASSERT_TRUE(state->Evaluate(true, m));
        EXPECT_NEAR(m.m[12], static_cast<f32>(ms) * 0.001f, 1e-4f) << ms << " ms after ten days";
    }
    delete state;
}

TEST_F(AnimClock, ClampFlagHoldsTheLastPose) {
    AnimState* state = Leaf(Slide(), kAnimClamp);
    Matrix m;
    RunFor(*state, 60000);
    ASSERT_TRUE(state->Evaluate(true, m));
    EXPECT_NEAR(m.m[12], 4.0f, 1e-5f);
    delete state;
}

TEST_F(AnimClock, SpeedScalesTheClock) {
    AnimState* state = Leaf(Slide());
    Matrix m;
    state->speed = 2.0f;
    RunFor(*state, 1000);
    ASSERT_TRUE(state->Evaluate(true, m));
    EXPECT_NEAR(m.m[12], 2.0f, 1e-5f);
    state->speed = 0.0f;
    RunFor(*state, 3000);
    ASSERT_TRUE(state->Evaluate(true, m));
    EXPECT_NEAR(m.m[12], 0.0f, 1e-5f);
    // A state not started plays the start of its range.
    state->active = false;
    state->animationRange = TimeRange{3, 4};
    ASSERT_TRUE(state->Evaluate(true, m));
    EXPECT_NEAR(m.m[12], 3.0f, 1e-5f);
    // EvaluateAt takes the given time, without speed or clock.
    ASSERT_TRUE(state->EvaluateAt(true, 1.5f, m));
    EXPECT_NEAR(m.m[12], 1.5f, 1e-5f);
    delete state;
}

TEST_F(AnimClock, LeafWithoutKeysFailsAndLeafWithoutAnimationAnswersItsPose) {
    AnimState* empty = Leaf(RefHandle<AbstractObject>(new NodeAnimation));
    Matrix m = ZeroMatrix;
    EXPECT_FALSE(empty->Evaluate(true, m));
    EXPECT_EQ(m.m[0], 0.0f);
    delete empty;

    AnimState bare;
    EXPECT_FALSE(bare.IsActive());
    ASSERT_TRUE(bare.Evaluate(true, m));
    EXPECT_EQ(m.kind, u32(Identity));
    int calls = 0;
    bare.basePose = RefHandle<AbstractObject>(new CountingObject(Translation(0, 7, 0), &calls));
    EXPECT_TRUE(bare.IsActive());
    ASSERT_TRUE(bare.Evaluate(true, m));
    EXPECT_EQ(m.m[13], 7.0f);
}

TEST_F(AnimClock, BasePoseFollowsTheAnimationOnTheFirstBranchOnly) {
    int calls = 0;
    RefHandle<AbstractObject> pose(new CountingObject(Scaling(2, 2, 2), &calls));
    AnimState* first = Leaf(Slide());
    AnimState* second = Leaf(Slide());
    first->basePose = pose;
    second->basePose = pose;
    RunFor(*first, 1000);
    RunFor(*second, 2000);
    AnimState layer;
    layer.kind = kAnimLayer;
    layer.first = first;
    layer.second = second;
    Matrix m;
    ASSERT_TRUE(layer.Evaluate(true, m));
    EXPECT_EQ(calls, 1);
    // (translate 1) x (scale 2) x (translate 2): x = 1 x 2 + 2.
    EXPECT_NEAR(m.m[12], 4.0f, 1e-5f);
    EXPECT_NEAR(m.m[0], 2.0f, 1e-5f);
}

TEST_F(AnimClock, LayerIsFirstTimesSecond) {
    int calls = 0;
    AnimState layer;
    layer.kind = kAnimLayer;
    layer.first = new AnimState;
    layer.first->animation = RefHandle<AbstractObject>(new CountingObject(Translation(1, 0, 0), &calls));
    layer.second = new AnimState;
    const f32 half = std::sqrt(0.5f);
    D3DXQUATERNION q(0, 0, half, half);
    Matrix rotation = IdentityMatrix;
    D3DXMatrixRotationQuaternion(reinterpret_cast<D3DXMATRIX*>(rotation.m), &q);
    rotation.kind = 0;
    layer.second->animation = RefHandle<AbstractObject>(new CountingObject(rotation, &calls));
    Matrix m;
    ASSERT_TRUE(layer.Evaluate(true, m));
    // Translated first, then turned: the origin ends at (0, 1, 0).
    EXPECT_NEAR(m.m[12], 0.0f, 1e-5f);
    EXPECT_NEAR(m.m[13], 1.0f, 1e-5f);
    // A failing child counts as the identity.
    layer.second->animation = RefHandle<AbstractObject>(new NodeAnimation);
    ASSERT_TRUE(layer.Evaluate(true, m));
    EXPECT_NEAR(m.m[12], 1.0f, 1e-5f);
    EXPECT_NEAR(m.m[13], 0.0f, 1e-5f);
}

TEST_F(AnimClock, CacheSkipsEvaluationsWithinTheTolerance) {
    int calls = 0;
    AnimState state;
    state.animation = RefHandle<AbstractObject>(new CountingObject(Translation(1, 2, 3), &calls));
    state.flags.bits = kAnimCache;
    state.tolerance = 0.1f;
    Matrix m;
    ASSERT_TRUE(state.EvaluateAt(true, 1.0f, m));
    ASSERT_TRUE(state.EvaluateAt(true, 1.05f, m));
    ASSERT_TRUE(state.EvaluateAt(true, 0.95f, m));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(m.m[13], 2.0f);
    ASSERT_TRUE(state.EvaluateAt(true, 1.2f, m));
    EXPECT_EQ(calls, 2);
    state.flags.bits = 0;
    ASSERT_TRUE(state.EvaluateAt(true, 1.2f, m));
    EXPECT_EQ(calls, 3);
}

TEST_F(AnimClock, ZeroLengthCrossFadeCollapsesIntoTheSecondClip) {
    RefHandle<AbstractObject> slide = Slide();
    int calls = 0;
    RefHandle<AbstractObject> still(new CountingObject(Translation(9, 0, 0), &calls));
    AnimState fade;
    fade.kind = kAnimCrossFade;
    fade.first = Leaf(still);
    fade.second = Leaf(slide, kAnimClamp);
    RunFor(*fade.second, 2000);
    fade.Start();
    EXPECT_EQ(slide.UseCount(), 2u);
    Matrix m;
    ASSERT_TRUE(fade.Evaluate(true, m));
    EXPECT_NEAR(m.m[12], 2.0f, 1e-5f);
    // Now the second clip itself, with its clock and flags.
    EXPECT_EQ(fade.kind, u32(kAnimClip));
    EXPECT_EQ(fade.first, nullptr);
    EXPECT_EQ(fade.second, nullptr);
    EXPECT_EQ(fade.animation.Get(), slide.Get());
    EXPECT_EQ(slide.UseCount(), 2u);
    EXPECT_EQ(still.UseCount(), 1u);
    EXPECT_TRUE(fade.flags.Has(kAnimClamp));
    RunFor(fade, 3000);
    ASSERT_TRUE(fade.Evaluate(true, m));
    EXPECT_NEAR(m.m[12], 3.0f, 1e-5f);
}

TEST_F(AnimClock, CrossFadeHalfwayGivesTheMidpoint) {
    int calls = 0;
    AnimState fade;
    fade.kind = kAnimCrossFade;
    fade.duration = 1000;
    fade.first = new AnimState;
    fade.first->animation = RefHandle<AbstractObject>(new CountingObject(Translation(0, 0, 0), &calls));
    fade.second = new AnimState;
    Matrix b = Translation(2, 4, 6);
    b.ScaleRows(Vec3(3, 3, 3));
    fade.second->animation = RefHandle<AbstractObject>(new CountingObject(b, &calls));
    fade.Start();
    RunFor(fade, 500);
    Matrix m;
    ASSERT_TRUE(fade.Evaluate(true, m));
    ExpectRow(m, 0, 2, 0, 0);
    ExpectRow(m, 1, 0, 2, 0);
    ExpectRow(m, 2, 0, 0, 2);
    ExpectRow(m, 3, 1, 2, 3);
    EXPECT_EQ(fade.kind, u32(kAnimCrossFade));  // still fading
    // Woken from 25 days asleep mid-fade (more milliseconds than an int holds): the second
    // pose, and the fade is over.
    RunFor(fade, 25ull * 24 * 3600 * 1000);
    ASSERT_TRUE(fade.Evaluate(true, m));
    ExpectRow(m, 0, 3, 0, 0);
    ExpectRow(m, 3, 2, 4, 6);
    EXPECT_EQ(fade.kind, u32(kAnimClip));
}

TEST_F(AnimClock, FailedBlendLeavesTheCallersMatrix) {
    int calls = 0;
    AnimState fade;
    fade.kind = kAnimCrossFade;
    fade.duration = 1000;
    fade.first = new AnimState;
    fade.first->animation = RefHandle<AbstractObject>(new CountingObject(ZeroMatrix, &calls));
    fade.second = new AnimState;
    fade.second->animation = RefHandle<AbstractObject>(new CountingObject(Translation(1, 1, 1), &calls));
    fade.Start();
    RunFor(fade, 100);
    Matrix m = Translation(5, 6, 7);
    EXPECT_FALSE(fade.Evaluate(true, m));
    EXPECT_EQ(m.m[12], 5.0f);
    EXPECT_EQ(m.m[14], 7.0f);
}

TEST(BlendMatrices, EndsAndMidpoint) {
    const Matrix a = Translation(1, 0, 0);
    Matrix b = Translation(3, 2, 0);
    b.ScaleRows(Vec3(1, 3, 5));
    Matrix m;
    ASSERT_TRUE(BlendMatrices(a, b, 0.0f, m));
    ExpectRow(m, 0, 1, 0, 0);
    ExpectRow(m, 3, 1, 0, 0);
    ASSERT_TRUE(BlendMatrices(a, b, 1.0f, m));
    ExpectRow(m, 1, 0, 3, 0);
    ExpectRow(m, 2, 0, 0, 5);
    ExpectRow(m, 3, 3, 2, 0);
    ASSERT_TRUE(BlendMatrices(a, b, 0.5f, m));
    ExpectRow(m, 1, 0, 2, 0);
    ExpectRow(m, 2, 0, 0, 3);
    ExpectRow(m, 3, 2, 1, 0);
    EXPECT_EQ(m.kind & u32(UnitDiagonal), 0u);
}

TEST(BlendMatrices, MirroredMatrixBlendsMirrored) {
    Matrix a = Scaling(-1, 1, 1);
    Matrix b = Scaling(-2, 2, 2);
    b.m[12] = 4;
    Matrix m;
    ASSERT_TRUE(BlendMatrices(a, b, 0.5f, m));
    ExpectRow(m, 0, -1.5f, 0, 0);
    ExpectRow(m, 1, 0, 1.5f, 0);
    ExpectRow(m, 3, 2, 0, 0);
    f32 det = 0;
    Matrix inverse;
    ASSERT_NE(D3DXMatrixInverse(reinterpret_cast<D3DXMATRIX*>(inverse.m), &det,
                                reinterpret_cast<const D3DXMATRIX*>(m.m)),
              nullptr);
    EXPECT_LT(det, 0.0f);
}

TEST(DecomposeMatrix, PartsAndRefusals) {
    Matrix m = Scaling(2, 3, 4);
    m.m[12] = 5;
    Vec3 position, direction, up, scale;
    ASSERT_TRUE(DecomposeMatrix(m, position, direction, up, scale));
    EXPECT_EQ(position.x, 5.0f);
    EXPECT_EQ(scale.x, 2.0f);
    EXPECT_EQ(scale.y, 3.0f);
    EXPECT_EQ(scale.z, 4.0f);
    EXPECT_EQ(up.y, 1.0f);
    EXPECT_EQ(direction.z, 1.0f);

    Matrix sheared = IdentityMatrix;
    sheared.m[9] = 0.5f;  // direction leans towards up
    EXPECT_FALSE(DecomposeMatrix(sheared, position, direction, up, scale));
    Matrix sideways = IdentityMatrix;
    sideways.m[2] = 0.5f;  // row 0 leans towards direction
    EXPECT_FALSE(DecomposeMatrix(sideways, position, direction, up, scale));
    EXPECT_FALSE(DecomposeMatrix(ZeroMatrix, position, direction, up, scale));
    Matrix tiny = Scaling(0.003f, 0.003f, 0.003f);
    EXPECT_FALSE(DecomposeMatrix(tiny, position, direction, up, scale));
    Matrix broken = IdentityMatrix;
    broken.m[5] = std::numeric_limits<f32>::quiet_NaN();
    EXPECT_FALSE(DecomposeMatrix(broken, position, direction, up, scale));
    Matrix distant = IdentityMatrix;
    distant.m[13] = std::numeric_limits<f32>::infinity();
    EXPECT_FALSE(DecomposeMatrix(distant, position, direction, up, scale));
}

TEST(AnimState, CopyFromCopiesTheTreeAndCountsTheHandles) {
    RefHandle<AbstractObject> slide = Slide();
    AnimState layer;
    layer.kind = kAnimLayer;
    layer.first = Leaf(slide);
    layer.second = Leaf(slide, kAnimLoop);
    EXPECT_EQ(slide.UseCount(), 3u);
    AnimState copy;
    ASSERT_TRUE(copy.CopyFrom(layer));
    EXPECT_EQ(slide.UseCount(), 5u);
    ASSERT_NE(copy.first, nullptr);
    EXPECT_NE(copy.first, layer.first);
    EXPECT_TRUE(copy.second->flags.Has(kAnimLoop));
    EXPECT_TRUE(copy.IsActive());
    copy.Release();
    EXPECT_EQ(slide.UseCount(), 3u);
    EXPECT_FALSE(copy.IsActive());
}

TEST(AnimRequest, SettingsPassToTheState) {
    AnimRequest* a = new AnimRequest(String("walk"), kAnimLoop, 2.0f, 0.25f, 1.5f);
    AnimRequest* b = new AnimRequest(String("run"), kAnimClamp, 1.0f, 0.0f, 0.0f);
    AnimRequest* fade = AnimRequest::Join(kAnimCrossFade, a, b, 300);
    ASSERT_NE(fade, nullptr);
    EXPECT_EQ(fade->first->name, "walk");
    AnimState state;
    state.TakeSettings(*fade->first);
    EXPECT_TRUE(state.flags.Has(kAnimLoop));
    EXPECT_EQ(state.speed, 2.0f);
    EXPECT_EQ(state.tolerance, 0.25f);
    EXPECT_EQ(state.startOffset, 1.5f);
    state.TakeSettings(*fade);
    EXPECT_EQ(state.kind, u32(kAnimCrossFade));
    EXPECT_EQ(state.duration, 300);
    delete fade;
}

TEST(StringSplit, PiecesBetweenSeparators) {
    struct Row {
        const char* text;
        int count;
        const char* first;
        const char* last;
    } rows[] = {{"tex.png:0 0 8 8", 2, "tex.png", "0 0 8 8"}, {"plain", 1, "plain", "plain"},
                {"", 1, "", ""},
                {"a::b", 3, "a", "b"},
                {":", 2, "", ""}};
    for (const Row& row : rows) {
        StringArray parts;
        parts.Add(String("stale"));
        ASSERT_TRUE(String(row.text).Split(':', parts)) << row.text;
        ASSERT_EQ(parts.count, row.count) << row.text;
        EXPECT_EQ(parts[0], row.first);
        EXPECT_EQ(parts[parts.count - 1], row.last);
    }
}

TEST(MatrixScaleRows, ScalesRowsAndForgetsTheUnitDiagonal) {
    Matrix m = Translation(1, 2, 3);
    m.ScaleRows(Vec3(2, 3, 4));
    EXPECT_EQ(m.m[0], 2.0f);
    EXPECT_EQ(m.m[5], 3.0f);
    EXPECT_EQ(m.m[10], 4.0f);
    EXPECT_EQ(m.m[12], 1.0f);
    EXPECT_EQ(m.kind, u32(OffDiagonalZero));
    Matrix product;
    product.Multiply(m, IdentityMatrix);
    EXPECT_EQ(product.m[5], 3.0f);
}
