// The sky boxes of the media archive, as the product scene asks for them: four sets of five
// faces under "Models\All\", each a 512 x 512 JPEG picture that the image loader reads.
#include "Core/MemoryBuffer.h"
#include "Core/RarArchive.h"

#include <d3dx9tex.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const char* const kSets[] = {"chateau", "mpcarentan", "dam", "pathfinder"};
const char* const kFaces[] = {"up", "ft", "bk", "lf", "rt"};

}  // namespace

TEST(MediaSky, EveryFaceOfEverySetIsPackedAndReadsAs512Square) {
#ifndef CORVANE_MEDIA_ARCHIVE
    GTEST_SKIP() << "this build packs no media archive";
#else
    MemoryBuffer archive;
    ASSERT_TRUE(archive.Load(patht(CORVANE_MEDIA_ARCHIVE)));
    RarMemoryFile file{archive.Data(), archive.Size(), 0};
    for (const char* set : kSets) {
        for (const char* face : kFaces) {
            const std::string name = std::string("Media\\Models\\All\\") + set + "_" + face + ".jpg";
            const u8* data = nullptr;
            u32 size = 0;
            file.offset = 0;
            ASSERT_TRUE(RarFindStored(&data, &size, name.c_str(), &file)) << name;
            D3DXIMAGE_INFO info{};
            ASSERT_EQ(D3DXGetImageInfoFromFileInMemory(data, size, &info), D3D_OK) << name;
            EXPECT_EQ(info.Width, 512u) << name;
            EXPECT_EQ(info.Height, 512u) << name;
            EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG) << name;
        }
    }
#endif
}
