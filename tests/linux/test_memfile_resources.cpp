// The media archive mounted from the executable's resources, with a resource table of the
// test's own put in place through the platform's test interface (Linux only).
#include "Core/MemFile.h"
#include "Core/MemoryBuffer.h"
#include "Core/Path.h"

#include <PlatformResources.h>

#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::BuildArchive;

std::string Text(const String& s) { return std::string(s.c_str(), s.length); }

patht ArchivePath(const char* name, MemoryBuffer* archive, u32 flags = kPathArchive) {
    patht path(name);
    path.flags = flags;
    path.archive = archive;
    return path;
}

}  // namespace

TEST(MemFileResources, MountedMediaArchiveBorrowsTheResource) {
    const std::vector<u8> media = BuildArchive({{"Shaders/Distort.fx", "media distort"}, {"Fonts/64font.fs", "font"}});
    const PlatformResource entries[] = {{"MEMFILE", 0, nullptr, 125, media.data(), media.data() + media.size()}};
    const PlatformResourceTable table = {entries, 1};
    PlatformResources_Override(&table);

    MemoryBuffer mounted;
    patht resource;
    resource.flags = kPathResource;
    resource.number = 125;
    const bool loaded = mounted.Load(resource);
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(mounted.IsBorrowed());
    EXPECT_EQ(mounted.Data(), media.data());

    MemFile effects;
    patht shaders = ArchivePath("Media/Shaders", &mounted, kPathDisk | kPathArchive);
    effects.AddSearchPath(shaders);
    patht source("Distort.fx");
    source.flags = kPathDisk | kPathArchive;
    const bool resolved = effects.Resolve(source);
    Blob bytes;
    bool borrowed = true;
    const bool read = resolved && source.ReadAll(bytes, borrowed);
    PlatformResources_Override(nullptr);

    ASSERT_TRUE(resolved);
    EXPECT_EQ(source.flags, static_cast<u32>(kPathArchive));
    EXPECT_EQ(source.archive, &mounted);
    EXPECT_EQ(Text(source.name), "Media/Shaders/Distort.fx");
    ASSERT_TRUE(read);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes.data()), bytes.size()), "media distort");
}
