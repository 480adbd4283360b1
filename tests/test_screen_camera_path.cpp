// The flight camera and its ".cam" documents: keys from documents written in the text
// form, rotation-only and unordered paths, an empty path looking along +z, the union of
// the two tracks' ranges, the view matrix and its cache, the recorder's rotation as the
// inverse of an evaluation, short and garbage documents, and a written path read back.
#include "Core/ArchiveStream.h"
#include "Core/Path.h"
#include "Screen/CameraPath.h"
#include "tools/UdfDump.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<u8> Document(const std::string& body) {
    std::vector<u8> bytes;
    std::string error;
    EXPECT_TRUE(UdfTextToBinary("udf-text 1\n" + body, &bytes, &error)) << error;
    return bytes;
}

u32 Load(CameraBase& flight, const std::vector<u8>& bytes) {
    ArchiveStream in;
    in.Open(String(), kStreamRead);
    in.BorrowBytes(bytes.data(), static_cast<u32>(bytes.size()));
    return LoadCameraPath(flight, &in);
}

void ExpectVec(const Vec3& v, f32 x, f32 y, f32 z, f32 tolerance = 1e-5f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

}  // namespace

TEST(CameraPathTest, PositionAndRotationEntriesGoToTheirTracks) {
    CameraBase flight;
    const std::vector<u8> doc = Document(
        "value \"pos0\" \"pos\" = real 0 10 20 30 0 0 0 0\n"
        "value \"rot0\" \"rot\" = real 0 0 0 0 1 0 0 0\n"
        "value \"pos1\" \"pos\" = real 5000 110 20 30 0 0 0 0\n"
        "value \"rot1\" \"rot\" = real 5000 0 0.70710678 0 0.70710678 0 0 0\n");
    EXPECT_EQ(Load(flight, doc), 4u);
    EXPECT_EQ(flight.PositionTrack().keys.Count(), 2u);
    EXPECT_EQ(flight.RotationTrack().keys.Count(), 2u);
    TimeRange range;
    ASSERT_TRUE(flight.GetTimeRange(range));
    EXPECT_EQ(range.start, 0.0f);
    EXPECT_EQ(range.end, 5000.0f);
    ASSERT_TRUE(flight.Evaluate(2500.0f));
    ExpectVec(flight.GetPosition(), 60.0f, 20.0f, 30.0f, 1e-3f);
    ASSERT_TRUE(flight.Evaluate(5000.0f));
    ExpectVec(flight.GetPosition(), 110.0f, 20.0f, 30.0f);
    ExpectVec(flight.GetDirection(), 1.0f, 0.0f, 0.0f);
    ExpectVec(flight.GetUp(), 0.0f, 1.0f, 0.0f);
}

TEST(CameraPathTest, OnlyThePosTypeFillsThePositionTrack) {
    // The entry's name does not decide, its type does, and exactly: "POS" is a rotation.
    CameraBase flight;
    const std::vector<u8> doc = Document(
        "value \"rot0\" \"pos\" = real 0 1 2 3 0 0 0 0\n"
        "value \"pos0\" \"POS\" = real 0 0 0 0 1 0 0 0\n");
    EXPECT_EQ(Load(flight, doc), 2u);
    EXPECT_EQ(flight.PositionTrack().keys.Count(), 1u);
    EXPECT_EQ(flight.RotationTrack().keys.Count(), 1u);
}

TEST(CameraPathTest, RotationEntriesOnlyKeepThePositionAndTurn) {
    CameraBase flight;
    flight.SetPosition(Vec3(7.0f, 8.0f, 9.0f));
    // A quarter turn about +y at 4000 ms: +z goes to +x.
    const std::vector<u8> doc = Document(
        "value \"rot0\" \"rot\" = real 0 0 0 0 1 0 0 0\n"
        "value \"rot1\" \"rot\" = real 4000 0 0.70710678 0 0.70710678 0 0 0\n");
    EXPECT_EQ(Load(flight, doc), 2u);
    TimeRange range;
    ASSERT_TRUE(flight.GetTimeRange(range));
    EXPECT_EQ(range.end, 4000.0f);
    ASSERT_TRUE(flight.Evaluate(0.0f));
    ExpectVec(flight.GetPosition(), 7.0f, 8.0f, 9.0f);
    ExpectVec(flight.GetDirection(), 0.0f, 0.0f, 1.0f);
    ASSERT_TRUE(flight.Evaluate(4000.0f));
    ExpectVec(flight.GetPosition(), 7.0f, 8.0f, 9.0f);
    ExpectVec(flight.GetDirection(), 1.0f, 0.0f, 0.0f);
}

TEST(CameraPathTest, OutOfOrderEntriesPlayInTimeOrder) {
    CameraBase flight;
    const std::vector<u8> doc = Document(
        "value \"pos0\" \"pos\" = real 10000 200 0 0 0 0 0 0\n"
        "value \"pos1\" \"pos\" = real 0 0 0 0 0 0 0 0\n"
        "value \"pos2\" \"pos\" = real 5000 100 0 0 0 0 0 0\n");
    EXPECT_EQ(Load(flight, doc), 3u);
    TimeRange range;
    ASSERT_TRUE(flight.GetTimeRange(range));
    EXPECT_EQ(range.start, 0.0f);
    EXPECT_EQ(range.end, 10000.0f);
    f32 last = -1.0f;
    for (f32 t = 0.0f; t <= 10000.0f; t += 500.0f) {
        flight.Evaluate(t);
        EXPECT_GT(flight.GetPosition().x, last) << t;
        last = flight.GetPosition().x;
    }
    flight.Evaluate(5000.0f);
    EXPECT_EQ(flight.GetPosition().x, 100.0f);
}

TEST(CameraPathTest, AnEmptyPathHasNoRangeAndLooksAlongZ) {
    CameraBase flight;
    flight.SetPosition(Vec3(1.0f, 2.0f, 3.0f));
    flight.SetOrientation(Vec3(1.0f, 0.0f, 0.0f), Vec3(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(Load(flight, Document("")), 0u);
    TimeRange range{-5.0f, -6.0f};
    EXPECT_FALSE(flight.GetTimeRange(range));
    EXPECT_EQ(range.start, -5.0f);  // untouched
    EXPECT_TRUE(flight.Evaluate(123.0f));
    ExpectVec(flight.GetPosition(), 1.0f, 2.0f, 3.0f);
    ExpectVec(flight.GetDirection(), 0.0f, 0.0f, 1.0f);
    ExpectVec(flight.GetUp(), 0.0f, 1.0f, 0.0f);
}

TEST(CameraPathTest, TheRangeIsTheUnionOfBothTracks) {
    CameraBase flight;
    flight.PositionTrack().AddKey(KeyData(1000.0f, 0, 0, 0));
    flight.PositionTrack().AddKey(KeyData(3000.0f, 0, 0, 0));
    TimeRange range;
    ASSERT_TRUE(flight.GetTimeRange(range));
    EXPECT_EQ(range.start, 1000.0f);
    EXPECT_EQ(range.end, 3000.0f);
    flight.RotationTrack().AddKey(KeyData::Rotation(-500.0f, 0, 0, 0, 1));
    flight.RotationTrack().AddKey(KeyData::Rotation(2000.0f, 0, 0, 0, 1));
    ASSERT_TRUE(flight.GetTimeRange(range));
    EXPECT_EQ(range.start, -500.0f);
    EXPECT_EQ(range.end, 3000.0f);
}

TEST(CameraPathTest, TheViewIsTheLookAtOfThePlacementAndIsCached) {
    CameraBase camera;
    camera.SetPosition(Vec3(5.0f, 6.0f, 7.0f));
    camera.SetOrientation(Vec3(0.0f, 0.0f, 2.0f), Vec3(0.0f, 1.0f, 0.0f));
    Matrix view;
    camera.BuildView(view);
    EXPECT_EQ(view.valid, 1u);
    // Looking along +z from (5, 6, 7): the view only translates by minus the eye.
    const f32 expected[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -5, -6, -7, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(view.m[i], expected[i], 1e-5f) << i;
    camera.SetScale(Vec3(2.0f, 2.0f, 2.0f));
    camera.BuildView(view);
    EXPECT_NEAR(view.m[0], 2.0f, 1e-5f);
    EXPECT_NEAR(view.m[12], -5.0f, 1e-5f);  // the scaling comes first and leaves the translation
    Matrix parent = IdentityMatrix;
    parent.m[13] = 100.0f;
    camera.SetParentMatrix(parent);
    camera.BuildView(view);
    EXPECT_NEAR(view.m[13], 94.0f, 1e-4f);
}

TEST(CameraPathTest, TheRecordedRotationEvaluatesBackToItsFrame) {
    const Vec3 frames[][2] = {
        {Vec3(0, 0, 1), Vec3(0, 1, 0)},
        {Vec3(1, 0, 0), Vec3(0, 1, 0)},
        {Vec3(0.3f, -0.4f, 0.8f), Vec3(0, 1, 0)},
        {Vec3(0, 0, -1), Vec3(0.6f, 0.8f, 0)},
        {Vec3(-2, 1, -3), Vec3(0.1f, 1, 0.2f)},
    };
    for (const auto& frame : frames) {
        const D3DXQUATERNION q = RotationFromFrame(frame[0], frame[1]);
        CameraBase camera;
        camera.RotationTrack().AddKey(KeyData::Rotation(0.0f, q.x, q.y, q.z, q.w));
        camera.Evaluate(0.0f);
        Vec3 d;
        Vec3Normalize(d, frame[0]);
        ExpectVec(camera.GetDirection(), d.x, d.y, d.z, 1e-4f);
        // The up vector comes back made perpendicular to the direction.
        EXPECT_NEAR(Vec3Dot(camera.GetUp(), camera.GetDirection()), 0.0f, 1e-4f);
        EXPECT_GT(Vec3Dot(camera.GetUp(), frame[1]), 0.0f);
    }
}

TEST(CameraPathTest, ShortEntriesReadAsZerosAndNaNTimesAndObjectsAreRefused) {
    CameraBase flight;
    const std::vector<u8> doc = Document(
        "value \"pos0\" \"pos\" = real 1000 4\n"
        "value \"pos1\" \"pos\" = real 0x7fc00000 1 2 3 0 0 0 0\n"
        "value \"rot0\" \"rot\" =\n"
        "node \"odd\" \"pos\" { value \"x\" \"int\" = int 1 }\n");
    EXPECT_EQ(Load(flight, doc), 2u);
    EXPECT_EQ(flight.PositionTrack().keys.Count(), 1u);
    const KeyTrack::Entry* key = flight.PositionTrack().keys.Find(1000.0f);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->value.x, 4.0f);
    EXPECT_EQ(key->value.y, 0.0f);
    EXPECT_EQ(flight.RotationTrack().keys.Count(), 1u);
}

TEST(CameraPathTest, GarbageAndTruncatedDocumentsLoadNothing) {
    const std::vector<u8> doc = Document(
        "value \"pos0\" \"pos\" = real 0 1 2 3 0 0 0 0\n"
        "value \"rot0\" \"rot\" = real 0 0 0 0 1 0 0 0\n");
    for (size_t n = 0; n < doc.size(); ++n) {
        CameraBase flight;
        flight.PositionTrack().AddKey(KeyData(77.0f, 1, 1, 1));
        const std::vector<u8> cut(doc.begin(), doc.begin() + static_cast<std::ptrdiff_t>(n));
        Load(flight, cut);
        // The old keys are always gone; whatever was filed came from the document.
        EXPECT_EQ(flight.PositionTrack().keys.Find(77.0f), nullptr) << n;
    }
    std::vector<u8> noise(300);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<u8>(i * 37 + 11);
    CameraBase flight;
    EXPECT_EQ(Load(flight, noise), 0u);
}

TEST(CameraPathTest, AMissingFileEmptiesTheTracks) {
    CameraBase flight;
    flight.PositionTrack().AddKey(KeyData(0.0f, 1, 1, 1));
    EXPECT_EQ(LoadCameraPath(flight, patht("no-such-folder/none.cam")), 0u);
    EXPECT_EQ(flight.PositionTrack().keys.Count(), 0u);
}

TEST(CameraPathTest, AWrittenPathReadsBackKeyForKey) {
    CameraBase recorded;
    for (int i = 0; i < 5; ++i) {
        const f32 t = static_cast<f32>(i) * 5000.0f;
        recorded.PositionTrack().AddKey(KeyData(t, 10.0f * i, -3.5f, 1e6f));
        const D3DXQUATERNION q = RotationFromFrame(Vec3(std::sin(0.3f * i), 0.1f, std::cos(0.3f * i)), Vec3(0, 1, 0));
        recorded.RotationTrack().AddKey(KeyData::Rotation(t, q.x, q.y, q.z, q.w));
    }
    // A lone rotation key after the last position: the tracks need not pair.
    recorded.RotationTrack().AddKey(KeyData::Rotation(30000.0f, 0, 0, 0, 1));

    char name[64];
    std::snprintf(name, sizeof name, "camera_path_%s.cam", ::testing::UnitTest::GetInstance()->current_test_info()->name());
    ASSERT_TRUE(WriteCameraPath(recorded, String(name)));
    CameraBase loaded;
    EXPECT_EQ(LoadCameraPath(loaded, patht(name)), 11u);
    std::remove(name);

    const KeyTrack* tracks[2][2] = {{&recorded.PositionTrack().keys, &loaded.PositionTrack().keys},
                                    {&recorded.RotationTrack().keys, &loaded.RotationTrack().keys}};
    for (const auto& pair : tracks) {
        ASSERT_EQ(pair[0]->Count(), pair[1]->Count());
        for (const KeyTrack::Entry *a = pair[0]->First(), *b = pair[1]->First(); a; a = pair[0]->Next(a), b = pair[1]->Next(b)) {
            EXPECT_EQ(a->key, b->key);
            EXPECT_EQ(0, std::memcmp(&a->value, &b->value, sizeof(KeyData)));
        }
    }
}

TEST(CameraPathTest, TheWrittenEntriesAreNamedByIndexInTimeOrder) {
    CameraBase flight;
    flight.PositionTrack().AddKey(KeyData(5000.0f, 2, 0, 0));
    flight.PositionTrack().AddKey(KeyData(0.0f, 1, 0, 0));
    flight.RotationTrack().AddKey(KeyData::Rotation(0.0f, 0, 0, 0, 1));
    ArchiveStream out;
    out.Open(String(), kStreamWrite);
    ASSERT_TRUE(WriteCameraPath(flight, &out));
    std::vector<u8> bytes(static_cast<size_t>(out.Size()));
    out.Seek(0, kSeekSet);
    out.Read(bytes.data(), static_cast<u32>(bytes.size()));
    std::string text;
    std::string error;
    ASSERT_TRUE(UdfBinaryToText(bytes.data(), bytes.size(), &text, &error)) << error;
    EXPECT_NE(text.find("value \"pos0\" \"pos\" = real 0 1 0 0"), std::string::npos) << text;
    EXPECT_NE(text.find("value \"pos1\" \"pos\" = real 5e+03 2 0 0"), std::string::npos) << text;
    EXPECT_NE(text.find("value \"rot0\" \"rot\" = real 0 0 0 0 1"), std::string::npos) << text;
    EXPECT_LT(text.find("\"pos1\""), text.find("\"rot0\""));
}
