// The camera paths the build packs into the media archive: the default flight "c.cam"
// loads from the archive as the saver names it, pairs every position key with a rotation
// key, starts at 0 ms, keeps 5,000 ms between keys, lasts 30 to 80 s and looks at the
// landmark from everywhere along the way.
#include "Core/MemoryBuffer.h"
#include "Core/Path.h"
#include "Screen/CameraPath.h"

#include <gtest/gtest.h>

TEST(MediaCameraPathsTest, TheDefaultFlightLoadsFromTheArchiveWithARange) {
#ifndef CORVANE_MEDIA_ARCHIVE
    GTEST_SKIP() << "this build packs no media archive";
#else
    MemoryBuffer archive;
    ASSERT_TRUE(archive.Load(patht(CORVANE_MEDIA_ARCHIVE)));
    patht file("Media/c.cam");
    file.flags = kPathArchive;
    file.archive = &archive;
    CameraBase flight;
    const u32 keys = LoadCameraPath(flight, file);
    ASSERT_GT(keys, 0u);
    TimeRange range;
    ASSERT_TRUE(flight.GetTimeRange(range));
    EXPECT_EQ(range.start, 0.0f);
    EXPECT_GE(range.end, 30000.0f);
    EXPECT_LE(range.end, 80000.0f);

    const KeyTrack& positions = flight.PositionTrack().keys;
    const KeyTrack& rotations = flight.RotationTrack().keys;
    ASSERT_EQ(positions.Count(), rotations.Count());
    EXPECT_EQ(keys, positions.Count() * 2);
    f32 expected = 0.0f;
    for (const KeyTrack::Entry* key = positions.First(); key; key = positions.Next(key), expected += 5000.0f) {
        EXPECT_EQ(key->key, expected);
        EXPECT_NE(rotations.Find(key->key), nullptr) << key->key;
        // At each key the camera looks towards the landmark near the origin.
        flight.Evaluate(key->key);
        Vec3 toward;
        Vec3Normalize(toward, Vec3() - flight.GetPosition());
        EXPECT_GT(Vec3Dot(toward, flight.GetDirection()), 0.95f) << key->key;
        EXPECT_GT(flight.GetUp().y, 0.5f) << key->key;
    }
#endif
}
