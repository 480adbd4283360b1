// File descriptors (patht), path texts, and resolution against the disk and archive
// search lists (MemFile). Resources come from the tests' own table (tests/resources.list):
// "MEMFILE" 200 holds "resource bytes".
#include "Core/ArchiveStream.h"
#include "Core/FileStream.h"
#include "Core/MemFile.h"
#include "Core/MemoryBuffer.h"
#include "Core/Path.h"
#include "Core/ValueTypes.h"
#include "tools/RarWriter.h"

#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Text(const String& s) { return std::string(s.c_str(), s.length); }

std::string Drain(Stream* stream) {
    std::string all;
    char chunk[256];
    for (u32 n; (n = stream->Read(chunk, sizeof chunk)) != 0;) all.append(chunk, n);
    return all;
}

using testsupport::BlockPath;
using testsupport::BuildArchive;

patht ArchivePath(const char* name, MemoryBuffer* archive, u32 flags = kPathArchive) {
    patht path(name);
    path.flags = flags;
    path.archive = archive;
    return path;
}

String CursorName(const PathList& list) { return list.current->payload.name; }

// Two disk folders A and B under a fresh temporary folder, and two mounted archives X and Y.
class MemFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int serial = 0;
        // Under the working folder, so that a relative name reaches it (a temporary folder
        // may be on another drive, which no relative name reaches).
        root = fs::current_path() / ("corvane-memfile-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
        fs::create_directories(root / "A");
        fs::create_directories(root / "B");
        Write("A/corv_both.txt", "both from A");
        Write("B/corv_both.txt", "both from B");
        Write("A/corv_only_a.txt", "only A");
        Write("B/corv_only_b.txt", "only B");
        Write("A/corv_dup.txt", "dup on disk");
        folderA = root / "A";
        folderB = root / "B";

        archiveX = BuildArchive({{"Shaders/Distort.fx", "x distort"}, {"corv_dup.txt", "dup in X"}, {"corv_only_x.txt", "only X"}},
                                {{"corv_bare.txt", "bare in X"}});
        archiveY = BuildArchive({{"Shaders/Distort.fx", "y distort"}, {"corv_only_y.txt", "only Y"}});
        ASSERT_TRUE(x.Load(BlockPath(archiveX)));
        ASSERT_TRUE(y.Load(BlockPath(archiveY)));
    }
    void TearDown() override { fs::remove_all(root); }

    void Write(const std::string& relative, const std::string& bytes) {
        std::ofstream out(root / relative, std::ios::binary);
        out << bytes;
    }
    // The folder as a path relative to the working folder (absolute names lose their
    // leading slash when resolved, like any name).
    static std::string Relative(const fs::path& path) { return fs::relative(path, fs::current_path()).string(); }

    static patht DiskFolder(const fs::path& folder) { return patht(folder.string().c_str()); }

    fs::path root, folderA, folderB;
    std::vector<u8> archiveX, archiveY;
    MemoryBuffer x, y;
};

}  // namespace

// Path texts -------------------------------------------------------------------------

TEST(PathText, FileNameAndFolder) {
    EXPECT_EQ(Text(GetFileName(String("Media/Fonts/64font.fs"))), "64font.fs");
    EXPECT_EQ(Text(GetFileName(String("Media\\Fonts\\64font.fs"))), "64font.fs");
    EXPECT_EQ(Text(GetFileName(String("Media\\Fonts/x"))), "x");
    EXPECT_EQ(Text(GetFileName(String("plain.txt"))), "plain.txt");
    EXPECT_EQ(Text(GetFileName(String("folder/"))), "");
    EXPECT_EQ(Text(GetFileName(String())), "");

    EXPECT_EQ(Text(GetFolder(String("Media/Fonts/64font.fs"))), "Media/Fonts");
    EXPECT_EQ(Text(GetFolder(String("Media\\Fonts/64font.fs"))), "Media\\Fonts");
    EXPECT_EQ(Text(GetFolder(String("plain.txt"))), "");
    // A separator that is the first character gives no folder.
    EXPECT_EQ(Text(GetFolder(String("/name.txt"))), "");
    EXPECT_EQ(Text(GetFolder(String("\\name.txt"))), "");
    EXPECT_EQ(Text(GetFolder(String("//name.txt"))), "/");
    EXPECT_EQ(Text(GetFolder(String())), "");

    EXPECT_EQ(Text(GetFolderWithSlash(String("Media\\Fonts\\a.fs"))), "Media\\Fonts/");
    EXPECT_EQ(Text(GetFolderWithSlash(String("a.fs"))), "");
    EXPECT_EQ(Text(GetFolderWithSlash(String("/a.fs"))), "");
}

TEST(PathText, ExtensionsAreOfTheFileNameOnly) {
    EXPECT_EQ(Text(GetExtension(String("Media/Shaders/Distort.fx"))), "fx");
    EXPECT_EQ(Text(GetExtension(String("archive.tar.gz"))), "gz");
    // A dot in a folder name is no extension.
    EXPECT_EQ(Text(GetExtension(String("Media.old/readme"))), "");
    EXPECT_EQ(Text(GetExtension(String("Media.old\\readme"))), "");
    EXPECT_EQ(Text(GetExtension(String("name."))), "");
    EXPECT_EQ(Text(GetExtension(String(".hidden"))), "hidden");

    EXPECT_EQ(Text(StripExtension(String("Media/Shaders/Distort.fx"))), "Distort");
    EXPECT_EQ(Text(StripExtension(String("archive.tar.gz"))), "archive.tar");
    EXPECT_EQ(Text(StripExtension(String("Media.old/readme"))), "readme");
    // A file name that begins with its only dot has nothing before it.
    EXPECT_EQ(Text(StripExtension(String("Fonts/.fs"))), "");
    EXPECT_EQ(Text(StripExtension(String(".hidden"))), "");
    EXPECT_EQ(Text(StripExtension(String())), "");
}

TEST_F(MemFileTest, FileExistsOpensForReading) {
    EXPECT_TRUE(FileExists(String((folderA / "corv_both.txt").string().c_str())));
    EXPECT_TRUE(FileExists(String(Relative(folderA / "corv_both.txt").c_str())));
    EXPECT_FALSE(FileExists(String((folderA / "corv_none.txt").string().c_str())));
    EXPECT_FALSE(FileExists(String()));
}

// patht -----------------------------------------------------------------------------

TEST(Patht, ConstructionDefaults) {
    patht empty;
    EXPECT_EQ(empty.flags, 0u);
    EXPECT_TRUE(empty.name.IsEmpty());
    EXPECT_EQ(empty.number, 0u);
    EXPECT_EQ(empty.archive, nullptr);
    EXPECT_EQ(empty.block.data, nullptr);
    EXPECT_EQ(empty.block.size, 0u);
    EXPECT_EQ(empty.borrow, 1);
    patht fromText("Media/a.txt");
    EXPECT_EQ(fromText.flags, static_cast<u32>(kPathDisk));
    EXPECT_EQ(Text(fromText.name), "Media/a.txt");
    EXPECT_EQ(fromText.borrow, 1);
    patht fromString(String("b.txt"));
    EXPECT_EQ(fromString.flags, static_cast<u32>(kPathDisk));
    EXPECT_EQ(Text(fromString.name), "b.txt");
    patht fromNull(static_cast<const char*>(nullptr));
    EXPECT_TRUE(fromNull.name.IsEmpty());
}

TEST(Patht, MatchesAgreesOnEverySharedPlace) {
    MemoryBuffer one, two;
    patht a("Media/a.txt");
    patht b("Media/a.txt");
    EXPECT_TRUE(a.Matches(b));
    b.name = String("media/A.txt");
    EXPECT_FALSE(a.Matches(b));  // disk names compare with case

    // No shared place: no match, even with equal names.
    patht archive = ArchivePath("Media/a.txt", &one);
    EXPECT_FALSE(a.Matches(archive));
    patht both = ArchivePath("Media/a.txt", &one, kPathDisk | kPathArchive);
    EXPECT_TRUE(both.Matches(a));
    EXPECT_TRUE(both.Matches(archive));
    EXPECT_FALSE(both.Matches(ArchivePath("Media/a.txt", &two)));
    EXPECT_FALSE(both.Matches(ArchivePath("Media/b.txt", &one)));

    const u8 bytes[4] = {};
    patht blockA;
    blockA.flags = kPathMemory;
    blockA.block = {bytes, 4};
    patht blockB = blockA;
    EXPECT_TRUE(blockA.Matches(blockB));
    blockB.block.size = 3;
    EXPECT_FALSE(blockA.Matches(blockB));

    patht resA;
    resA.flags = kPathResource;
    resA.number = 125;
    patht resB = resA;
    resB.name = String("whatever");  // names do not count for resources
    EXPECT_TRUE(resA.Matches(resB));
    resB.number = 126;
    EXPECT_FALSE(resA.Matches(resB));
    patht none;
    EXPECT_FALSE(none.Matches(none));
}

TEST(Patht, CompareOrdersByFlagsNumbersBlocksAndNames) {
    patht a("Media/A.txt");
    patht b("media/a.TXT");
    EXPECT_EQ(a.Compare(b), 0);  // disk names without case
    b.name = String("Media/b.txt");
    EXPECT_LT(a.Compare(b), 0);
    EXPECT_GT(b.Compare(a), 0);

    // The flag words decide when no place is shared.
    patht res;
    res.flags = kPathResource;
    res.number = 5;
    EXPECT_LT(a.Compare(res), 0);
    EXPECT_GT(res.Compare(a), 0);
    // The names decide over the flag words when both are disk files.
    patht diskAndArchive("Media/0.txt");
    diskAndArchive.flags = kPathDisk | kPathMemory;
    EXPECT_LT(diskAndArchive.Compare(b), 0);

    // Numbers, both ways.
    patht res2 = res;
    EXPECT_EQ(res.Compare(res2), 0);
    res2.number = 9;
    EXPECT_LT(res.Compare(res2), 0);
    EXPECT_GT(res2.Compare(res), 0);
    // Equal numbers give 0 even when the flags differ.
    res2.number = 5;
    res2.flags = kPathResource | kPathDisk;
    EXPECT_EQ(res.Compare(res2), 0);

    // Blocks by pointer.
    const u8 bytes[8] = {};
    patht m1, m2;
    m1.flags = m2.flags = kPathMemory;
    m1.block = {bytes, 8};
    m2.block = {bytes + 4, 2};
    EXPECT_LT(m1.Compare(m2), 0);
    EXPECT_GT(m2.Compare(m1), 0);
    m2.block = {bytes, 2};
    EXPECT_EQ(m1.Compare(m2), 0);

    // Archives by pointer, then names without case.
    MemoryBuffer archives[2];
    patht x1 = ArchivePath("Media/A.txt", &archives[0]);
    patht x2 = ArchivePath("media/a.txt", &archives[0]);
    EXPECT_EQ(x1.Compare(x2), 0);
    x2.name = String("Media/B.txt");
    EXPECT_LT(x1.Compare(x2), 0);
    patht y1 = ArchivePath("Media/A.txt", &archives[1]);
    EXPECT_LT(x1.Compare(y1), 0);
    EXPECT_GT(y1.Compare(x1), 0);
    // Disk and archive on both: equal names end the compare before the archives.
    patht d1 = ArchivePath("Media/A.txt", &archives[1], kPathDisk | kPathArchive);
    patht d2 = ArchivePath("Media/a.txt", &archives[0], kPathDisk | kPathArchive);
    EXPECT_EQ(d1.Compare(d2), 0);
}

TEST(Patht, WithFolderNamesTheFolderOfTheFile) {
    MemoryBuffer archive;
    patht disk("Media/Fonts/64font.fs");
    disk.number = 7;
    disk.borrow = 0;
    patht folder = disk.WithFolder();
    EXPECT_EQ(folder.flags, static_cast<u32>(kPathDisk));
    EXPECT_EQ(Text(folder.name), "Media/Fonts");
    EXPECT_EQ(folder.number, 0u);
    EXPECT_EQ(folder.borrow, 1);

    patht both = ArchivePath("Media\\Fonts\\a.fs", &archive, kPathDisk | kPathArchive);
    folder = both.WithFolder();
    EXPECT_EQ(folder.flags, static_cast<u32>(kPathDisk | kPathArchive));
    EXPECT_EQ(Text(folder.name), "Media\\Fonts");
    EXPECT_EQ(folder.archive, &archive);

    // An archive place without an archive, or a disk place without a name, gives nothing.
    EXPECT_EQ(ArchivePath("Media/a", nullptr).WithFolder().flags, 0u);
    patht unnamed;
    unnamed.flags = kPathDisk;
    EXPECT_EQ(unnamed.WithFolder().flags, 0u);
}

TEST(Patht, OpenResourcesAndBlocks) {
    patht resource;
    resource.flags = kPathResource | kPathDisk;
    resource.number = 0x100C8;  // the low 16 bits, 200, are the identifier
    std::unique_ptr<Stream> s(resource.Open(kStreamRead));
    ASSERT_TRUE(s);
    EXPECT_EQ(resource.flags, static_cast<u32>(kPathResource));
    EXPECT_TRUE(static_cast<ArchiveStream*>(s.get())->BytesBorrowed());
    EXPECT_EQ(Drain(s.get()), "resource bytes");

    // Write mode copies the bytes into the write buffer.
    resource.flags = kPathResource;
    s.reset(resource.Open(kStreamWrite | kStreamRead));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Size(), 14);
    s->Seek(0, kSeekEnd);
    s->Write("!", 1);
    s->Seek(0, kSeekSet);
    EXPECT_EQ(Drain(s.get()), "resource bytes!");

    const std::string bytes = "block bytes";
    patht block;
    block.flags = kPathMemory | kPathDisk;
    block.block = {reinterpret_cast<const u8*>(bytes.data()), 11};
    s.reset(block.Open(kStreamRead));
    ASSERT_TRUE(s);
    EXPECT_EQ(block.flags, static_cast<u32>(kPathMemory));
    auto* view = static_cast<ArchiveStream*>(s.get());
    EXPECT_TRUE(view->BytesBorrowed());
    EXPECT_EQ(static_cast<const void*>(view->Bytes().data), static_cast<const void*>(bytes.data()));
    EXPECT_EQ(Drain(s.get()), "block bytes");

    // A block that may not be borrowed is copied.
    block.borrow = 0;
    s.reset(block.Open(kStreamRead));
    ASSERT_TRUE(s);
    view = static_cast<ArchiveStream*>(s.get());
    EXPECT_FALSE(view->BytesBorrowed());
    EXPECT_NE(static_cast<const void*>(view->Bytes().data), static_cast<const void*>(bytes.data()));
    EXPECT_EQ(Drain(s.get()), "block bytes");

    // An absent resource goes on to the next places, not to the block.
    patht absent;
    absent.flags = kPathResource | kPathMemory;
    absent.number = 999;
    absent.block = block.block;
    EXPECT_EQ(absent.Open(kStreamRead), nullptr);
    patht nothing;
    EXPECT_EQ(nothing.Open(kStreamRead), nullptr);
}

TEST_F(MemFileTest, OpenDiskThenArchive) {
    patht disk((folderA / "corv_only_a.txt").string().c_str());
    disk.flags = kPathDisk | kPathArchive;
    disk.archive = &x;
    std::unique_ptr<Stream> s(disk.Open(kStreamRead));
    ASSERT_TRUE(s);
    EXPECT_EQ(disk.flags, static_cast<u32>(kPathDisk));
    EXPECT_EQ(Drain(s.get()), "only A");

    patht member = ArchivePath("Media/corv_only_x.txt", &x, kPathDisk | kPathArchive);
    s.reset(member.Open(kStreamRead));
    ASSERT_TRUE(s);
    EXPECT_EQ(member.flags, static_cast<u32>(kPathArchive));
    EXPECT_EQ(Drain(s.get()), "only X");

    patht missing = ArchivePath("Media/none.txt", &x, kPathDisk | kPathArchive);
    EXPECT_EQ(missing.Open(kStreamRead), nullptr);
    EXPECT_EQ(missing.flags, static_cast<u32>(kPathArchive));
    patht noArchive = ArchivePath("Media/corv_only_x.txt", nullptr);
    EXPECT_EQ(noArchive.Open(kStreamRead), nullptr);
}

TEST_F(MemFileTest, ReadAllBorrowsOnlyWhereAllowed) {
    patht resource;
    resource.flags = kPathResource;
    resource.number = 200;
    const u8* resourceBytes = nullptr;
    u32 resourceSize = 0;
    ASSERT_TRUE(GetResourceBlob(200, "MemFile", &resourceBytes, &resourceSize));

    Blob out;
    bool borrowed = true;
    ASSERT_TRUE(resource.ReadAll(out, borrowed));
    EXPECT_TRUE(borrowed);
    EXPECT_TRUE(out.IsBorrowed());
    EXPECT_EQ(out.data(), resourceBytes);
    EXPECT_EQ(out.size(), 14u);

    borrowed = false;
    ASSERT_TRUE(resource.ReadAll(out, borrowed));
    EXPECT_FALSE(borrowed);
    EXPECT_FALSE(out.IsBorrowed());
    EXPECT_NE(out.data(), resourceBytes);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()), out.size()), "resource bytes");

    const std::string bytes = "memory block";
    patht block;
    block.flags = kPathMemory;
    block.block = {reinterpret_cast<const u8*>(bytes.data()), 12};
    borrowed = true;
    ASSERT_TRUE(block.ReadAll(out, borrowed));
    EXPECT_TRUE(borrowed);
    EXPECT_EQ(out.data(), block.block.data);
    block.borrow = 0;
    ASSERT_TRUE(block.ReadAll(out, borrowed));
    EXPECT_FALSE(borrowed);
    EXPECT_NE(out.data(), block.block.data);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()), out.size()), "memory block");

    // Disk files and archive members are read into a buffer of their own.
    patht disk((folderB / "corv_only_b.txt").string().c_str());
    borrowed = true;
    ASSERT_TRUE(disk.ReadAll(out, borrowed));
    EXPECT_FALSE(borrowed);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()), out.size()), "only B");
    patht member = ArchivePath("Media/Shaders/Distort.fx", &y);
    borrowed = true;
    ASSERT_TRUE(member.ReadAll(out, borrowed));
    EXPECT_FALSE(borrowed);
    EXPECT_FALSE(out.IsBorrowed());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()), out.size()), "y distort");

    // An absent resource falls through to the other places; nothing anywhere is false.
    patht absent;
    absent.flags = kPathResource | kPathDisk;
    absent.number = 999;
    absent.name = String((folderA / "corv_only_a.txt").string().c_str());
    borrowed = true;
    ASSERT_TRUE(absent.ReadAll(out, borrowed));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()), out.size()), "only A");
    patht nowhere((folderA / "corv_none.txt").string().c_str());
    EXPECT_FALSE(nowhere.ReadAll(out, borrowed));
}

// MemFile search lists -------------------------------------------------------------

TEST_F(MemFileTest, AddSearchPathSkipsMatchesAndLeavesTheCursorOnTheNewEntry) {
    MemFile files;
    files.AddSearchPath(DiskFolder(folderA));
    files.AddSearchPath(DiskFolder(folderB));
    EXPECT_EQ(files.DiskFolders().count, 2);
    EXPECT_EQ(Text(CursorName(files.DiskFolders())), folderB.string());
    files.AddSearchPath(DiskFolder(folderA));  // matches: nothing added, cursor kept
    EXPECT_EQ(files.DiskFolders().count, 2);
    EXPECT_EQ(Text(CursorName(files.DiskFolders())), folderB.string());

    // Disk and archive places land in both lists; an archive place needs an archive.
    files.AddSearchPath(ArchivePath("Media", &x, kPathDisk | kPathArchive));
    files.AddSearchPath(ArchivePath("Media", &y));
    files.AddSearchPath(ArchivePath("Media", &y));
    files.AddSearchPath(ArchivePath("Media", nullptr));
    patht nothing;
    files.AddSearchPath(nothing);
    EXPECT_EQ(files.DiskFolders().count, 3);
    EXPECT_EQ(files.ArchiveFolders().count, 2);
    EXPECT_EQ(files.ArchiveFolders().current->payload.archive, &y);

    MemFile copy;
    copy.AddSearchPath(DiskFolder(folderB));
    copy.AddSearchPaths(files);
    EXPECT_EQ(copy.DiskFolders().count, 3);
    EXPECT_EQ(copy.ArchiveFolders().count, 2);
    copy.AddSearchPaths(copy);
    copy.AddSearchPaths(files);
    EXPECT_EQ(copy.DiskFolders().count, 3);
    EXPECT_EQ(copy.ArchiveFolders().count, 2);
}

TEST_F(MemFileTest, ResolveMemoryAndResources) {
    MemFile files;
    patht block;
    block.flags = kPathMemory | kPathResource | kPathDisk;
    block.number = 200;
    ASSERT_TRUE(files.Resolve(block));
    EXPECT_EQ(block.flags, static_cast<u32>(kPathMemory));

    patht resource("/corv_none.txt");
    resource.flags = kPathResource | kPathDisk;
    resource.number = 200;
    ASSERT_TRUE(files.ResolveDefault(resource));
    EXPECT_EQ(resource.flags, static_cast<u32>(kPathResource));
    EXPECT_EQ(Text(resource.name), "/corv_none.txt");  // left as it was

    // An absent resource goes on to the name.
    files.AddSearchPath(DiskFolder(folderA));
    patht absent("corv_only_a.txt");
    absent.flags = kPathResource | kPathDisk;
    absent.number = 999;
    ASSERT_TRUE(files.Resolve(absent));
    EXPECT_EQ(absent.flags, static_cast<u32>(kPathDisk));
}

TEST_F(MemFileTest, ResolveOnDiskByNameThenBesideEachFolder) {
    MemFile files;
    // Straight on disk, relative to the working folder.
    const std::string direct = Relative(folderA / "corv_only_a.txt");
    patht path(direct.c_str());
    ASSERT_TRUE(files.Resolve(path));
    EXPECT_EQ(path.flags, static_cast<u32>(kPathDisk));
    EXPECT_EQ(Text(path.name), direct);

    // Leading slashes, then leading back slashes, are dropped before searching.
    files.AddSearchPath(DiskFolder(folderA));
    patht slashed("//\\\\corv_only_a.txt");
    ASSERT_TRUE(files.Resolve(slashed));
    EXPECT_EQ(Text(slashed.name), folderA.string() + "/corv_only_a.txt");
    patht relativeSlashed(("/" + direct).c_str());
    ASSERT_TRUE(MemFile().Resolve(relativeSlashed));
    EXPECT_EQ(Text(relativeSlashed.name), direct);

    // A missing file leaves the path exactly as it was.
    patht missing("/corv_none.txt");
    missing.flags = kPathDisk | kPathArchive | kPathResource;
    missing.number = 999;
    EXPECT_FALSE(files.Resolve(missing));
    EXPECT_EQ(missing.flags, static_cast<u32>(kPathDisk | kPathArchive | kPathResource));
    EXPECT_EQ(Text(missing.name), "/corv_none.txt");
    EXPECT_EQ(missing.number, 999u);
    // Without the disk place, the disk is not searched.
    patht archiveOnly("corv_only_a.txt");
    archiveOnly.flags = kPathArchive;
    EXPECT_FALSE(files.Resolve(archiveOnly));
}

TEST_F(MemFileTest, DiskSearchStartsAtTheCursor) {
    MemFile files;
    files.AddSearchPath(DiskFolder(folderA));
    files.AddSearchPath(DiskFolder(folderB));
    const std::string a = folderA.string(), b = folderB.string();

    // The cursor sits on B, the entry added last: a file in both is found in B.
    patht both("corv_both.txt");
    ASSERT_TRUE(files.Resolve(both));
    EXPECT_EQ(Text(both.name), b + "/corv_both.txt");
    EXPECT_EQ(Text(CursorName(files.DiskFolders())), b);

    // A file only A holds: B is tried, then A; the cursor stays on A.
    patht onlyA("corv_only_a.txt");
    ASSERT_TRUE(files.Resolve(onlyA));
    EXPECT_EQ(Text(onlyA.name), a + "/corv_only_a.txt");
    EXPECT_EQ(Text(CursorName(files.DiskFolders())), a);

    // After a success in A, the next search starts at A.
    both = patht("corv_both.txt");
    ASSERT_TRUE(files.Resolve(both));
    EXPECT_EQ(Text(both.name), a + "/corv_both.txt");

    // A miss walks once round and leaves the cursor where it was.
    patht none("corv_none.txt");
    EXPECT_FALSE(files.Resolve(none));
    EXPECT_EQ(Text(CursorName(files.DiskFolders())), a);

    patht onlyB("corv_only_b.txt");
    ASSERT_TRUE(files.Resolve(onlyB));
    EXPECT_EQ(Text(CursorName(files.DiskFolders())), b);
}

TEST_F(MemFileTest, FolderEntriesEndingInSlashesGiveOneSlash) {
    for (const std::string tail : {"/", "//", "\\", "\\\\", "/\\"}) {
        MemFile files;
        files.AddSearchPath(patht((folderA.string() + tail).c_str()));
        patht path("corv_only_a.txt");
        ASSERT_TRUE(files.Resolve(path)) << tail;
        EXPECT_EQ(Text(path.name), folderA.string() + "/corv_only_a.txt") << tail;
    }
}

TEST_F(MemFileTest, DiskWinsOverTheArchive) {
    MemFile files;
    files.AddSearchPath(DiskFolder(folderA));
    files.AddSearchPath(ArchivePath("Media", &x));
    patht dup = ArchivePath("corv_dup.txt", &x, kPathDisk | kPathArchive);
    ASSERT_TRUE(files.Resolve(dup));
    EXPECT_EQ(dup.flags, static_cast<u32>(kPathDisk));
    std::unique_ptr<Stream> s(dup.Open(kStreamRead));
    ASSERT_TRUE(s);
    EXPECT_EQ(Drain(s.get()), "dup on disk");

    // Not on disk: the archive folder finds it.
    patht onlyX("corv_only_x.txt");
    onlyX.flags = kPathDisk | kPathArchive;
    ASSERT_TRUE(files.Resolve(onlyX));
    EXPECT_EQ(onlyX.flags, static_cast<u32>(kPathArchive));
    EXPECT_EQ(onlyX.archive, &x);
    EXPECT_EQ(Text(onlyX.name), "Media/corv_only_x.txt");
    s.reset(onlyX.Open(kStreamRead));
    ASSERT_TRUE(s);
    EXPECT_EQ(Drain(s.get()), "only X");
}

TEST_F(MemFileTest, ArchiveSearchOwnArchiveThenFoldersThenBareNames) {
    MemFile files;
    // The path's own archive first, under the name as given.
    patht own = ArchivePath("/Media\\corv_only_y.txt", &y);
    ASSERT_TRUE(files.Resolve(own));
    EXPECT_EQ(own.archive, &y);
    EXPECT_EQ(Text(own.name), "Media\\corv_only_y.txt");

    files.AddSearchPath(ArchivePath("Media", &x));
    files.AddSearchPath(ArchivePath("Media/", &y));
    // The cursor is on Y: a member of both is found in Y.
    patht shader = ArchivePath("Shaders/Distort.fx", nullptr);
    ASSERT_TRUE(files.Resolve(shader));
    EXPECT_EQ(shader.archive, &y);
    EXPECT_EQ(Text(shader.name), "Media/Shaders/Distort.fx");

    // One only X holds: the cursor moves to X and stays there.
    patht onlyX = ArchivePath("corv_only_x.txt", nullptr);
    ASSERT_TRUE(files.Resolve(onlyX));
    EXPECT_EQ(onlyX.archive, &x);
    EXPECT_EQ(files.ArchiveFolders().current->payload.archive, &x);
    shader = ArchivePath("Shaders/Distort.fx", nullptr);
    ASSERT_TRUE(files.Resolve(shader));
    EXPECT_EQ(shader.archive, &x);
    std::unique_ptr<Stream> s(shader.Open(kStreamRead));
    ASSERT_TRUE(s);
    EXPECT_EQ(Drain(s.get()), "x distort");

    // Beside no folder, the bare name is tried in each archive.
    patht bare = ArchivePath("corv_bare.txt", nullptr);
    ASSERT_TRUE(files.Resolve(bare));
    EXPECT_EQ(bare.archive, &x);
    EXPECT_EQ(Text(bare.name), "corv_bare.txt");

    patht missing = ArchivePath("corv_none.txt", &y);
    EXPECT_FALSE(files.Resolve(missing));
    EXPECT_EQ(missing.archive, &y);
    EXPECT_EQ(Text(missing.name), "corv_none.txt");
}

TEST_F(MemFileTest, AForgottenArchiveIsNoLongerSearched) {
    MemFile files;
    files.AddSearchPath(DiskFolder(folderA));
    files.AddSearchPath(ArchivePath("Media", &x));
    files.AddSearchPath(ArchivePath("Shaders", &x));
    files.AddSearchPath(ArchivePath("Media", &y));
    ASSERT_EQ(files.ArchiveFolders().count, 3);
    EXPECT_EQ(files.ForgetArchive(&x), 2);
    ASSERT_EQ(files.ArchiveFolders().count, 1);
    EXPECT_EQ(files.ArchiveFolders().current->payload.archive, &y);
    EXPECT_EQ(files.DiskFolders().count, 1);
    EXPECT_EQ(files.ForgetArchive(&x), 0);
    EXPECT_EQ(files.ForgetArchive(nullptr), 0);
    EXPECT_EQ(files.ForgetArchive(&y), 1);
    EXPECT_EQ(files.ArchiveFolders().count, 0);
}
