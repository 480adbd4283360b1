// Key tracks: where the keys are found, which segments get built and dropped, the curve
// rules at the ends, in the middle and across the wrap of a cyclic track, and the values
// at the edges (no keys, one key, times on and beyond the keys, keys too close to divide).
#include "Scene/KeyTrack.h"
#include "Scene/RotationTrack.h"
#include "Scene/VectorTrack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>

namespace {

// The cubic Hermite curve, written out for the expectations.
f32 Hermite(f32 p0, f32 p1, f32 m0, f32 m1, f32 s) {
    const f32 s2 = s * s;
    const f32 s3 = s2 * s;
    return p0 * (2 * s3 - 3 * s2 + 1) + p1 * (3 * s2 - 2 * s3) + m0 * (s3 - 2 * s2 + s) + m1 * (s3 - s2);
}

f32 X(VectorTrack& track, f32 t) {
    Vec3 v(-99, -99, -99);
    EXPECT_TRUE(track.Evaluate(t, v));
    return v.x;
}

void AddX(VectorTrack& track, f32 time, f32 x) { ASSERT_TRUE(track.AddKey(KeyData(time, x, 0, 0))); }

// The rotation of a quaternion about z, in degrees (the tests turn about z only).
f32 AngleZ(const D3DXQUATERNION& q) { return 2.0f * std::atan2(q.z, q.w) * 57.29578f; }

KeyData TurnZ(f32 time, f32 degrees) {
    const f32 half = degrees / 57.29578f / 2.0f;
    return KeyData::Rotation(time, 0, 0, std::sin(half), std::cos(half));
}

f32 Angle(RotationTrack& track, f32 t) {
    D3DXQUATERNION q(0, 0, 0, 0);
    EXPECT_TRUE(track.Evaluate(t, q));
    return AngleZ(q);
}

}  // namespace

TEST(KeyData, IsTheStored32ByteLayout) {
    EXPECT_EQ(sizeof(KeyData), 32u);
    EXPECT_EQ(offsetof(KeyData, time), 0u);
    EXPECT_EQ(offsetof(KeyData, x), 4u);
    EXPECT_EQ(offsetof(KeyData, w), 16u);
    EXPECT_EQ(offsetof(KeyData, continuity), 20u);
    EXPECT_EQ(offsetof(KeyData, tension), 24u);
    EXPECT_EQ(offsetof(KeyData, bias), 28u);
    const KeyData v(1, 2, 3, 4, 5, 6, 7);
    EXPECT_EQ(v.w, 0.0f);
    EXPECT_EQ(v.continuity, 5.0f);
    EXPECT_EQ(v.tension, 6.0f);
    EXPECT_EQ(v.bias, 7.0f);
}

TEST(VectorTrack, EmptyTrackAnswersNothingAndLeavesOutputs) {
    VectorTrackObject track;
    Vec3 v(7, 8, 9);
    EXPECT_FALSE(track.Evaluate(1.0f, v));
    EXPECT_EQ(v.x, 7.0f);
    TimeRange range{5, 6};
    EXPECT_FALSE(track.GetRange(range));
    EXPECT_EQ(range.start, 5.0f);
    Matrix m = ZeroMatrix;
    EXPECT_FALSE(track.GetMatrix(0.0f, m));
    EXPECT_EQ(m.m[0], 0.0f);
}

TEST(VectorTrack, OneKeyHoldsItsValueEverywhere) {
    VectorTrack track;
    ASSERT_TRUE(track.AddKey(KeyData(2.0f, 1, 2, 3)));
    for (f32 t : {-100.0f, 0.0f, 2.0f, 3.0f, 1e6f}) {
        Vec3 v;
        ASSERT_TRUE(track.Evaluate(t, v));
        EXPECT_EQ(v.x, 1.0f);
        EXPECT_EQ(v.y, 2.0f);
        EXPECT_EQ(v.z, 3.0f);
    }
    EXPECT_EQ(track.SegmentCount(), 0u);
}

TEST(VectorTrack, TimesOnKeysAndOutsideBuildNoSegment) {
    VectorTrack track;
    AddX(track, 0, 10);
    AddX(track, 1, 20);
    AddX(track, 2, 40);
    EXPECT_EQ(X(track, 0), 10.0f);
    EXPECT_EQ(X(track, 1), 20.0f);
    EXPECT_EQ(X(track, 2), 40.0f);
    // No extrapolation: the end values hold beyond the keys.
    EXPECT_EQ(X(track, -5), 10.0f);
    EXPECT_EQ(X(track, 7), 40.0f);
    EXPECT_EQ(track.SegmentCount(), 0u);
    X(track, 0.5f);
    EXPECT_EQ(track.SegmentCount(), 1u);
    X(track, 0.75f);  // the same segment, from the cache
    EXPECT_EQ(track.SegmentCount(), 1u);
    X(track, 1.5f);
    EXPECT_EQ(track.SegmentCount(), 2u);
}

TEST(VectorTrack, LoopingWrapsIntoTheKeyRange) {
    VectorTrack track;
    track.SetFlags(kTrackLooping | kTrackLinear);
    AddX(track, 0, 0);
    AddX(track, 4, 8);
    EXPECT_EQ(X(track, 4), 0.0f);  // the last key's time is the first key's
    EXPECT_NEAR(X(track, 5), 2.0f, 1e-6f);
    EXPECT_NEAR(X(track, -1), 6.0f, 1e-6f);
    EXPECT_NEAR(X(track, 9), 2.0f, 1e-6f);
}

TEST(VectorTrack, TwoKeysRunAlongTheLineAtEvenSpeed) {
    VectorTrack track;
    ASSERT_TRUE(track.AddKey(KeyData(1, 0, 0, 0)));
    ASSERT_TRUE(track.AddKey(KeyData(3, 4, -8, 2)));
    for (f32 s : {0.1f, 0.25f, 0.5f, 0.9f}) {
        Vec3 v;
        ASSERT_TRUE(track.Evaluate(1 + 2 * s, v));
        EXPECT_NEAR(v.x, 4 * s, 1e-5f);
        EXPECT_NEAR(v.y, -8 * s, 1e-5f);
        EXPECT_NEAR(v.z, 2 * s, 1e-5f);
    }
}

TEST(VectorTrack, ZeroTensionContinuityBiasGiveHalfTheOuterChord) {
    VectorTrack track;
    AddX(track, 0, 0);
    AddX(track, 1, 1);
    AddX(track, 2, 3);
    AddX(track, 3, 6);
    // Inner segment: m0 = (3 - 0) / 2, m1 = (6 - 1) / 2.
    for (f32 s : {0.25f, 0.5f, 0.8f}) EXPECT_NEAR(X(track, 1 + s), Hermite(1, 3, 1.5f, 2.5f, s), 1e-5f);
}

TEST(VectorTrack, EndAndStartRules) {
    VectorTrack track;
    AddX(track, 0, 0);
    AddX(track, 1, 1);
    AddX(track, 2, 3);
    // Last segment: m0 = (3 - 0) / 2; m1 = 1.5 x (3 - 1) + m0 / 2.
    EXPECT_NEAR(X(track, 1.5f), Hermite(1, 3, 1.5f, 3.75f, 0.5f), 1e-5f);
    // First segment: m1 = (3 - 0) / 2; m0 = 1.5 x (1 - 0) - m1 / 2.
    EXPECT_NEAR(X(track, 0.5f), Hermite(0, 1, 0.75f, 1.5f, 0.5f), 1e-5f);
}

TEST(VectorTrack, TensionContinuityAndBiasShapeTheTangents) {
    struct Row {
        f32 continuity, tension, bias;
        f32 m0;  // outgoing tangent at the key at t = 1 (neighbours 0 and 3, key value 1)
    } rows[] = {
        {0, 0, 0, 1.5f},
        {0, 1, 0, 0.0f},    // full tension: a flat tangent
        {0, 0.5f, 0, 0.75f},
        {0, 0, 1, 1.0f},    // full bias: half the incoming chord doubled
        {0, 0, -1, 2.0f},   // half the outgoing chord doubled
        {1, 0, 0, 2.0f},    // continuity 1: the outgoing side takes the outgoing chord
        {-1, 0, 0, 1.0f},
    };
    for (const Row& row : rows) {
        VectorTrack track;
        AddX(track, 0, 0);
        ASSERT_TRUE(track.AddKey(KeyData(1, 1, 0, 0, row.continuity, row.tension, row.bias)));
        AddX(track, 2, 3);
        AddX(track, 3, 6);
        EXPECT_NEAR(X(track, 1.5f), Hermite(1, 3, row.m0, 2.5f, 0.5f), 1e-5f)
            << row.continuity << " " << row.tension << " " << row.bias;
    }
}

TEST(VectorTrack, KeysCloserThanATenThousandthGiveTheEarlierValue) {
    VectorTrack track;
    AddX(track, 1.0f, 5);
    AddX(track, 1.00005f, 9);
    EXPECT_EQ(X(track, 1.00002f), 5.0f);
}

TEST(VectorTrack, AddKeyDropsExactlyTheSegmentsTheKeyShapes) {
    VectorTrack track;
    for (int i = 0; i < 6; ++i) AddX(track, f32(i), f32(i * i));
    for (int i = 0; i < 5; ++i) X(track, i + 0.5f);
    ASSERT_EQ(track.SegmentCount(), 5u);
    const f32 before = X(track, 2.5f);
    // Replacing the key at 3 drops the segments from 1, 2, 3 and 4; the one from 0 stays.
    AddX(track, 3, 20);
    EXPECT_EQ(track.SegmentCount(), 1u);
    EXPECT_NE(X(track, 2.5f), before);
    // A new key between 2 and 3 drops the segments from 1, 2 and 3 (4 is not built).
    for (int i = 0; i < 5; ++i) X(track, i + 0.5f);
    ASSERT_EQ(track.SegmentCount(), 5u);
    AddX(track, 2.5f, 7);
    EXPECT_EQ(track.SegmentCount(), 2u);
    EXPECT_EQ(X(track, 2.5f), 7.0f);
    // A failed key drops nothing.
    EXPECT_FALSE(track.AddKey(KeyData(std::numeric_limits<f32>::quiet_NaN(), 1, 1, 1)));
    EXPECT_EQ(track.SegmentCount(), 2u);
}

TEST(VectorTrack, CyclicAddKeyAlsoDropsTheWrapSegments) {
    VectorTrack track;
    track.SetFlags(kTrackCyclic);
    for (int i = 0; i < 6; ++i) AddX(track, f32(i), f32(i % 5));
    for (int i = 0; i < 5; ++i) X(track, i + 0.5f);
    ASSERT_EQ(track.SegmentCount(), 5u);
    // The second key shapes the last segment across the wrap: the segments from 0, 1 and
    // 2 go as on any track, the one from 4 with them; the one from 3 stays.
    const f32 last = X(track, 4.5f);
    AddX(track, 1, 3);
    EXPECT_EQ(track.SegmentCount(), 1u);
    EXPECT_NE(X(track, 4.5f), last);
}

TEST(VectorTrack, KeyFiledWithoutInvalidationIsNotHiddenByAStaleSegment) {
    VectorTrack track;
    track.SetFlags(kTrackLinear);
    AddX(track, 0, 0);
    AddX(track, 2, 2);
    EXPECT_NEAR(X(track, 1), 1.0f, 1e-6f);
    ASSERT_NE(track.keys.InsertKey(1.5f, KeyData(1.5f, 10, 0, 0)), nullptr);
    EXPECT_NEAR(X(track, 0.75f), 5.0f, 1e-5f);
}

TEST(VectorTrack, CyclicTwoKeysMirrorEachOther) {
    VectorTrack track;
    track.SetFlags(kTrackCyclic);
    AddX(track, 0, 0);
    AddX(track, 1, 2);
    // The neighbours are the other key: both tangents 0, an eased curve.
    EXPECT_NEAR(X(track, 0.25f), Hermite(0, 2, 0, 0, 0.25f), 1e-6f);
    EXPECT_NEAR(X(track, 0.5f), 1.0f, 1e-6f);
}

TEST(VectorTrack, CyclicEndsTakeTheirNeighboursAcrossTheWrap) {
    VectorTrack track;
    track.SetFlags(kTrackCyclic);
    AddX(track, 0, 0);
    AddX(track, 1, 1);
    AddX(track, 2, 3);
    AddX(track, 3, 0);
    // First segment: the key before is the second-to-last (3): m0 = (1 - 3) / 2.
    EXPECT_NEAR(X(track, 0.5f), Hermite(0, 1, -1.0f, 1.5f, 0.5f), 1e-5f);
    // Last segment: the key after is the second (1): m1 = (1 - 3) / 2.
    EXPECT_NEAR(X(track, 2.5f), Hermite(3, 0, -0.5f, -1.0f, 0.5f), 1e-5f);
}

TEST(VectorTrack, NegativeTimesKeepTheirOrder) {
    VectorTrack track;
    track.SetFlags(kTrackLinear);
    AddX(track, 0.5f, 30);
    AddX(track, -2, 10);
    AddX(track, -1, 20);
    AddX(track, -0.0f, 25);
    TimeRange range;
    ASSERT_TRUE(track.GetRange(range));
    EXPECT_EQ(range.start, -2.0f);
    EXPECT_EQ(range.end, 0.5f);
    const f32 expected[] = {-2, -1, 0, 0.5f};
    int i = 0;
    for (const KeyTrack::Entry* key = track.keys.First(); key; key = track.keys.Next(key)) {
        ASSERT_LT(i, 4);
        EXPECT_EQ(key->key, expected[i++]);
    }
    EXPECT_EQ(i, 4);
    EXPECT_NEAR(X(track, -1.5f), 15.0f, 1e-5f);
    EXPECT_NEAR(X(track, -0.5f), 22.5f, 1e-5f);
}

TEST(VectorTrack, TimesThatAreNotNumbersAreRefused) {
    VectorTrack track;
    AddX(track, 0, 1);
    for (f32 bad : {std::numeric_limits<f32>::quiet_NaN(), std::numeric_limits<f32>::infinity(),
                    -std::numeric_limits<f32>::infinity()}) {
        EXPECT_FALSE(track.AddKey(KeyData(bad, 5, 5, 5)));
        EXPECT_EQ(track.keys.InsertKey(bad, KeyData(bad, 5, 5, 5)), nullptr);
    }
    EXPECT_EQ(track.keys.Count(), 1u);
    EXPECT_EQ(X(track, 3), 1.0f);
    // Evaluating at a NaN time answers a key's value, never garbage.
    AddX(track, 1, 2);
    const f32 v = X(track, std::numeric_limits<f32>::quiet_NaN());
    EXPECT_TRUE(v == 1.0f || v == 2.0f);
}

TEST(VectorTrack, ClearEmptiesKeysAndSegments) {
    VectorTrack track;
    AddX(track, 0, 0);
    AddX(track, 1, 1);
    X(track, 0.5f);
    track.Clear();
    EXPECT_EQ(track.keys.Count(), 0u);
    EXPECT_EQ(track.SegmentCount(), 0u);
    Vec3 v;
    EXPECT_FALSE(track.Evaluate(0.5f, v));
}

TEST(VectorTrack, WrappersAnswerTranslationAndScaling) {
    VectorTrackObject position;
    NodeVectorTrack scale;
    ASSERT_TRUE(position.AddKey(KeyData(0, 1, 2, 3)));
    ASSERT_TRUE(scale.AddKey(KeyData(0, 4, 5, 6)));
    Matrix m;
    ASSERT_TRUE(position.GetMatrix(0, m));
    EXPECT_EQ(m.kind, 6u);
    EXPECT_EQ(m.valid, 1u);
    EXPECT_EQ(m.m[12], 1.0f);
    EXPECT_EQ(m.m[13], 2.0f);
    EXPECT_EQ(m.m[14], 3.0f);
    EXPECT_EQ(m.m[0], 1.0f);
    ASSERT_TRUE(scale.GetMatrix(0, m));
    EXPECT_EQ(m.kind, 5u);
    EXPECT_EQ(m.m[0], 4.0f);
    EXPECT_EQ(m.m[5], 5.0f);
    EXPECT_EQ(m.m[10], 6.0f);
    EXPECT_EQ(m.m[12], 0.0f);
    void* part = nullptr;
    EXPECT_TRUE(position.QueryType(VectorTrackObjectTypeId(), &part));
    EXPECT_EQ(part, &position);
    EXPECT_TRUE(position.QueryType(VectorTrackTypeId(), &part));
    EXPECT_TRUE(position.QueryType(AbstractObjectTypeId(), &part));
    EXPECT_FALSE(position.QueryType(NodeVectorTrackTypeId(), &part));
    EXPECT_TRUE(scale.QueryType(NodeVectorTrackTypeId(), &part));
}

TEST(RotationTrack, OneKeyAndTheEnds) {
    RotationTrack track;
    ASSERT_TRUE(track.AddKey(TurnZ(1, 40)));
    EXPECT_NEAR(Angle(track, -3), 40.0f, 1e-4f);
    ASSERT_TRUE(track.AddKey(TurnZ(2, 80)));
    EXPECT_NEAR(Angle(track, 0), 40.0f, 1e-4f);
    EXPECT_NEAR(Angle(track, 9), 80.0f, 1e-4f);
    EXPECT_EQ(track.SegmentCount(), 0u);
    D3DXQUATERNION q(1, 2, 3, 4);
    RotationTrack empty;
    EXPECT_FALSE(empty.Evaluate(0, q));
    EXPECT_EQ(q.x, 1.0f);
}

TEST(RotationTrack, TwoKeysFollowTheBezierWithTheKeysAsControls) {
    RotationTrack curve;
    ASSERT_TRUE(curve.AddKey(TurnZ(0, 0)));
    ASSERT_TRUE(curve.AddKey(TurnZ(1, 90)));
    // Controls 0, 0, 90, 90 degrees: at a quarter, 0.15625 of the way.
    EXPECT_NEAR(Angle(curve, 0.25f), 90 * 0.15625f, 1e-3f);
    EXPECT_NEAR(Angle(curve, 0.5f), 45.0f, 1e-3f);
    RotationTrack linear;
    linear.SetFlags(kTrackLinear);
    ASSERT_TRUE(linear.AddKey(TurnZ(0, 0)));
    ASSERT_TRUE(linear.AddKey(TurnZ(1, 90)));
    EXPECT_NEAR(Angle(linear, 0.25f), 22.5f, 1e-3f);
}

TEST(RotationTrack, ThreeKeysCurveRatherThanSlerp) {
    // Keys at 0, 2 and 4 s, the same rotation at both ends. The first segment's controls
    // are 30 degrees (a third of the way) and 90 (the middle key's own), so the middle of
    // the segment is at 56.25 degrees, not the 45 of a plain slerp.
    RotationTrack track;
    ASSERT_TRUE(track.AddKey(TurnZ(0, 0)));
    ASSERT_TRUE(track.AddKey(TurnZ(2, 90)));
    ASSERT_TRUE(track.AddKey(TurnZ(4, 0)));
    EXPECT_NEAR(Angle(track, 1), 56.25f, 1e-3f);
    EXPECT_NEAR(Angle(track, 3), 56.25f, 1e-3f);
    EXPECT_NEAR(Angle(track, 2), 90.0f, 1e-4f);
}

TEST(RotationTrack, IncomingControlsLieBackTowardsTheEarlierKey) {
    // Turns about one axis through less than half a turn, so every slerp here is linear in
    // the angle and the curve is a cubic Bezier over the control angles. Keys 0, 20, 90 and
    // 100 degrees at 0, 1, 2 and 3 s, no tension, continuity or bias; the keys are uneven
    // so that an incoming control on the wrong side of its key shows.
    // At the 20-degree key: X = 20 + 20/3, Y = 20 + 70/3, Z = 35; outgoing 35, incoming
    // 20 - (35 - 20) = 5. At the 90-degree key: X = 90 + 70/3, Y = 90 + 10/3,
    // Z = 90 + 40/3; incoming 90 - 40/3.
    const auto bezier = [](f32 a0, f32 a1, f32 a2, f32 a3, f32 s) {
        const f32 r = 1.0f - s;
        return a0 * r * r * r + 3 * a1 * r * r * s + 3 * a2 * r * s * s + a3 * s * s * s;
    };
    RotationTrack track;
    ASSERT_TRUE(track.AddKey(TurnZ(0, 0)));
    ASSERT_TRUE(track.AddKey(TurnZ(1, 20)));
    ASSERT_TRUE(track.AddKey(TurnZ(2, 90)));
    ASSERT_TRUE(track.AddKey(TurnZ(3, 100)));
    // The first segment starts the track: its outgoing control is a third of the way.
    EXPECT_NEAR(Angle(track, 0.5f), bezier(0, 20.0f / 3, 5, 20, 0.5f), 1e-3f);  // 6.875
    EXPECT_NEAR(Angle(track, 0.25f), bezier(0, 20.0f / 3, 5, 20, 0.25f), 1e-3f);
    // The middle segment has keys on both sides.
    EXPECT_NEAR(Angle(track, 1.5f), bezier(20, 35, 90 - 40.0f / 3, 90, 0.5f), 1e-3f);  // 55.625
    EXPECT_NEAR(Angle(track, 1.25f), bezier(20, 35, 90 - 40.0f / 3, 90, 0.25f), 1e-3f);
}

TEST(RotationTrack, MatrixOfTheRotation) {
    RotationTrackObject track;
    ASSERT_TRUE(track.AddKey(TurnZ(0, 90)));
    Matrix m;
    ASSERT_TRUE(track.GetMatrix(5, m));
    EXPECT_EQ(m.kind, 0u);
    EXPECT_NEAR(m.m[0], 0.0f, 1e-6f);
    EXPECT_NEAR(m.m[1], 1.0f, 1e-6f);
    EXPECT_NEAR(m.m[4], -1.0f, 1e-6f);
    void* part = nullptr;
    EXPECT_TRUE(track.QueryType(RotationTrackTypeId(), &part));
    EXPECT_TRUE(track.QueryType(RotationTrackObjectTypeId(), &part));
    EXPECT_FALSE(track.QueryType(VectorTrackTypeId(), &part));
}

TEST(VectorTrack, ChangingTheCyclicFlagRebuildsTheSegments) {
    VectorTrack track;
    AddX(track, 0, 0);
    AddX(track, 1, 2);
    const f32 straight = X(track, 0.25f);
    EXPECT_NEAR(straight, 0.5f, 1e-6f);
    track.SetFlags(kTrackCyclic);
    EXPECT_EQ(track.SegmentCount(), 0u);
    EXPECT_NEAR(X(track, 0.25f), Hermite(0, 2, 0, 0, 0.25f), 1e-6f);
    // The linear flag only changes how a segment is read: the cache stays.
    track.SetFlags(kTrackCyclic | kTrackLinear);
    EXPECT_EQ(track.SegmentCount(), 1u);
    EXPECT_NEAR(X(track, 0.25f), 0.5f, 1e-6f);
}

TEST(VectorTrack, ARemovedKeyReshapesTheCurveAroundIt) {
    VectorTrack track;
    for (int i = 0; i < 5; ++i) track.AddKey(KeyData(static_cast<f32>(i), static_cast<f32>(i * i), 0, 0));
    Vec3 before;
    ASSERT_TRUE(track.Evaluate(1.5f, before));
    ASSERT_TRUE(track.Evaluate(2.5f, before));
    EXPECT_FALSE(track.RemoveKey(7.0f));
    ASSERT_TRUE(track.RemoveKey(2.0f));
    EXPECT_EQ(track.keys.Count(), 4u);
    EXPECT_EQ(track.keys.Find(2.0f), nullptr);
    // The segment from 1 now runs to 3, as a fresh track with the same keys has it.
    VectorTrack fresh;
    for (int i : {0, 1, 3, 4}) fresh.AddKey(KeyData(static_cast<f32>(i), static_cast<f32>(i * i), 0, 0));
    for (f32 t : {0.5f, 1.5f, 2.0f, 2.5f, 3.5f}) {
        Vec3 a, b;
        ASSERT_TRUE(track.Evaluate(t, a));
        ASSERT_TRUE(fresh.Evaluate(t, b));
        EXPECT_EQ(a.x, b.x) << t;
    }
}
