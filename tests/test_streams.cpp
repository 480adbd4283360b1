// Streams: the disk file stream, the in-memory stream with its write rope, the archive
// held in memory whose members open as streams, and decoding text read from a stream.
#include "Core/ArchiveStream.h"
#include "Core/FileStream.h"
#include "Core/Memory.h"
#include "Core/MemoryBuffer.h"
#include "Core/Path.h"
#include "Core/String.h"
#include "Core/TextCodec.h"
#include "Core/WString.h"
#include "tools/RarWriter.h"

#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Pattern(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    std::mt19937 random(seed);
    for (char& c : s) c = static_cast<char>(random() & 0xFF);
    return s;
}

// Everything a stream yields from its position to its end, in reads of `step` bytes.
std::string Drain(Stream& stream, u32 step) {
    std::string all;
    std::vector<char> chunk(step);
    for (;;) {
        const u32 n = stream.Read(chunk.data(), step);
        if (n == 0) break;
        EXPECT_LE(n, step);
        all.append(chunk.data(), n);
    }
    return all;
}

std::string RopeBytes(const ByteRope& rope) {
    std::string s(rope.Size(), '\0');
    EXPECT_EQ(rope.CopyOut(0, s.data(), rope.Size()), rope.Size());
    return s;
}

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int serial = 0;
        folder = fs::temp_directory_path() /
                 ("corvane-filestream-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
        fs::create_directories(folder);
        file = folder / "data.bin";
    }
    void TearDown() override { fs::remove_all(folder); }

    String Name() const { return String(file.string().c_str()); }

    fs::path folder;
    fs::path file;
};

}  // namespace

// FileStream -------------------------------------------------------------------------

TEST_F(FileStreamTest, ModeBitsPickReadThenAppendThenWrite) {
    WriteFile(file, "0123456789");
    {
        // Read and append together open for reading: nothing is appended or truncated.
        FileStream s;
        ASSERT_TRUE(s.Open(Name(), kStreamRead | kStreamAppend));
        char buffer[16] = {};
        EXPECT_EQ(s.Read(buffer, sizeof buffer), 10u);
        EXPECT_EQ(std::string(buffer, 10), "0123456789");
        EXPECT_EQ(s.Write("xy", 2), 0u);
    }
    EXPECT_EQ(ReadFile(file), "0123456789");
    {
        // Write and append together append.
        FileStream s;
        ASSERT_TRUE(s.Open(Name(), kStreamWrite | kStreamAppend));
        EXPECT_EQ(s.Write("ab", 2), 2u);
    }
    EXPECT_EQ(ReadFile(file), "0123456789ab");
    {
        // Write alone truncates.
        FileStream s;
        ASSERT_TRUE(s.Open(Name(), kStreamWrite));
        EXPECT_EQ(s.Write("new", 3), 3u);
    }
    EXPECT_EQ(ReadFile(file), "new");
    {
        // No mode bit opens nothing.
        FileStream s;
        EXPECT_FALSE(s.Open(Name(), 0));
        EXPECT_FALSE(s.IsOpen());
    }
}

TEST_F(FileStreamTest, SeekOriginsTellSizeAndEof) {
    WriteFile(file, "abcdefghij");
    FileStream s;
    ASSERT_TRUE(s.Open(Name(), kStreamRead));
    EXPECT_EQ(s.Size(), 10);
    EXPECT_EQ(s.Tell(), 0);
    ASSERT_TRUE(s.Seek(3, kSeekSet));
    ASSERT_TRUE(s.Seek(2, kSeekCurrent));
    EXPECT_EQ(s.Tell(), 5);
    // Any origin other than 0 and 1 counts from the end.
    ASSERT_TRUE(s.Seek(-2, 7));
    EXPECT_EQ(s.Tell(), 8);
    char buffer[8] = {};
    EXPECT_EQ(s.Read(buffer, 8), 2u);
    EXPECT_EQ(std::string(buffer, 2), "ij");
    EXPECT_TRUE(s.Eof());
    EXPECT_FALSE(s.Seek(-20, kSeekSet));
    EXPECT_TRUE(s.Close());
    EXPECT_FALSE(s.Close());
}

TEST_F(FileStreamTest, ClosedStreamGivesNeutralValues) {
    FileStream s;
    char buffer[4] = {'k', 'e', 'e', 'p'};
    EXPECT_FALSE(s.Open(String((folder / "missing" / "none.bin").string().c_str()), kStreamRead));
    EXPECT_FALSE(s.Open(String(), kStreamRead));
    EXPECT_EQ(s.Tell(), -1);
    EXPECT_EQ(s.Size(), 0);
    EXPECT_EQ(s.Read(buffer, 4), 0u);
    EXPECT_EQ(std::string(buffer, 4), "keep");
    EXPECT_EQ(s.Write(buffer, 4), 0u);
    EXPECT_FALSE(s.Seek(0, kSeekSet));
    EXPECT_TRUE(s.Eof());
    EXPECT_FALSE(s.Close());
}

TEST_F(FileStreamTest, ReopeningClosesTheFirstFile) {
    WriteFile(file, "first");
    WriteFile(folder / "second.bin", "second!");
    FileStream s;
    ASSERT_TRUE(s.Open(Name(), kStreamRead));
    ASSERT_TRUE(s.Open(String((folder / "second.bin").string().c_str()), kStreamRead));
    EXPECT_EQ(s.Size(), 7);
    EXPECT_EQ(Drain(s, 3), "second!");
}

TEST_F(FileStreamTest, ReadTextDecodesWhatWasRead) {
    // "h", e-acute, "llo" in UTF-8: 6 bytes, 5 characters.
    WriteFile(file, "h\xC3\xA9llo");
    FileStream s;
    ASSERT_TRUE(s.Open(Name(), kStreamRead));
    WString text;
    // A generous count reads what there is.
    EXPECT_EQ(s.ReadText(text, 1000000, kTextUtf8), 6u);
    EXPECT_EQ(text, WString(u"h\u00E9llo"));
    // A count of n units reads at most 2n bytes.
    ASSERT_TRUE(s.Seek(0, kSeekSet));
    EXPECT_EQ(s.ReadText(text, 2, kTextUtf8), 4u);
    EXPECT_EQ(text, WString(u"h\u00E9l"));
    // At the end nothing is read and the text is emptied.
    EXPECT_EQ(s.ReadText(text, 10, kTextUtf8), 2u);
    EXPECT_EQ(text, WString(u"lo"));
    EXPECT_EQ(s.ReadText(text, 10, kTextUtf8), 0u);
    EXPECT_TRUE(text.IsEmpty());
}

// ArchiveStream over bytes -----------------------------------------------------------

TEST(ArchiveStream, ReadsWholeInPiecesAndAfterSeek) {
    const std::string bytes = Pattern(50000, 1);
    ArchiveStream s;
    ASSERT_TRUE(s.Open(String(), kStreamRead));
    s.BorrowBytes(bytes.data(), static_cast<u32>(bytes.size()));
    EXPECT_TRUE(s.BytesBorrowed());
    EXPECT_EQ(s.Size(), 50000);

    std::string whole(bytes.size(), '\0');
    EXPECT_EQ(s.Read(whole.data(), 60000), 50000u);
    EXPECT_EQ(whole, bytes);
    EXPECT_FALSE(s.Eof());
    char spare = 'z';
    EXPECT_EQ(s.Read(&spare, 1), 0u);
    EXPECT_EQ(spare, 'z');
    EXPECT_TRUE(s.Eof());

    ASSERT_TRUE(s.Seek(0, kSeekSet));
    EXPECT_FALSE(s.Eof());
    EXPECT_EQ(Drain(s, 777), bytes);

    ASSERT_TRUE(s.Seek(12345, kSeekSet));
    ASSERT_TRUE(s.Seek(-345, kSeekCurrent));
    EXPECT_EQ(s.Tell(), 12000);
    char piece[100];
    EXPECT_EQ(s.Read(piece, 100), 100u);
    EXPECT_EQ(std::string(piece, 100), bytes.substr(12000, 100));
    ASSERT_TRUE(s.Seek(-10, kSeekEnd));
    EXPECT_EQ(Drain(s, 4), bytes.substr(49990));
}

TEST(ArchiveStream, SeekBoundsAndTheEnd) {
    const std::string bytes = "0123456789";
    ArchiveStream s;
    s.Open(String("ignored"), kStreamRead);
    s.BorrowBytes(bytes.data(), 10);
    ASSERT_TRUE(s.Seek(4, kSeekSet));
    // Past the end, and before the first byte, are refused and keep the position.
    EXPECT_FALSE(s.Seek(11, kSeekSet));
    EXPECT_FALSE(s.Seek(1, 2));
    EXPECT_FALSE(s.Seek(-5, kSeekCurrent));
    EXPECT_FALSE(s.Seek(-11, kSeekEnd));
    EXPECT_FALSE(s.Seek(-2147483647 - 1, kSeekCurrent));
    EXPECT_EQ(s.Tell(), 4);
    // Exactly the end is allowed; the next read finds nothing and sets Eof.
    ASSERT_TRUE(s.Seek(10, kSeekSet));
    EXPECT_FALSE(s.Eof());
    char c = 0;
    EXPECT_EQ(s.Read(&c, 1), 0u);
    EXPECT_TRUE(s.Eof());
    // Any seek clears Eof, even a refused one.
    EXPECT_FALSE(s.Seek(50, kSeekSet));
    EXPECT_FALSE(s.Eof());
    EXPECT_TRUE(s.Close());
}

TEST(ArchiveStream, BaseOffsetsPositionsFromTheStart) {
    const std::string bytes = "abcdefgh";
    ArchiveStream s;
    s.SetBase(1000);
    ASSERT_TRUE(s.Open(String(), kStreamRead));
    s.BorrowBytes(bytes.data(), 8);
    EXPECT_EQ(s.Tell(), 1000);
    EXPECT_EQ(s.Size(), 8);
    ASSERT_TRUE(s.Seek(1000, kSeekSet));
    char c = 0;
    ASSERT_EQ(s.Read(&c, 1), 1u);
    EXPECT_EQ(c, 'a');
    EXPECT_EQ(s.Tell(), 1001);
    ASSERT_TRUE(s.Seek(1008, kSeekSet));
    EXPECT_EQ(s.Tell(), 1008);
    // Offsets from the start before the base, or past the end, are refused.
    EXPECT_FALSE(s.Seek(999, kSeekSet));
    EXPECT_FALSE(s.Seek(0, kSeekSet));
    EXPECT_FALSE(s.Seek(1009, kSeekSet));
    EXPECT_EQ(s.Tell(), 1008);
    ASSERT_TRUE(s.Seek(-3, kSeekEnd));
    EXPECT_EQ(s.Tell(), 1005);
}

TEST(ArchiveStream, OwnedAndCopiedBytes) {
    const char text[] = "owned bytes";
    ArchiveStream copied;
    copied.Open(String(), kStreamRead);
    ASSERT_TRUE(copied.CopyBytes(text, 11));
    EXPECT_FALSE(copied.BytesBorrowed());
    EXPECT_NE(static_cast<const void*>(copied.Bytes().data), static_cast<const void*>(text));
    EXPECT_EQ(Drain(copied, 4), "owned bytes");

    char* block = static_cast<char*>(MemAlloc(5));
    std::memcpy(block, "adopt", 5);
    ArchiveStream adopted;  // frees the block when destroyed (ASan checks the leak)
    adopted.Open(String(), kStreamRead);
    adopted.AdoptBytes(block, 5);
    EXPECT_EQ(Drain(adopted, 2), "adopt");

    ArchiveStream empty;
    empty.Open(String(), kStreamRead);
    char c = 'q';
    EXPECT_EQ(empty.Size(), 0);
    EXPECT_EQ(empty.Read(&c, 1), 0u);
    EXPECT_TRUE(empty.Eof());
    EXPECT_EQ(empty.Read(nullptr, 5), 0u);
    EXPECT_EQ(empty.Write(nullptr, 5), 0u);
}

TEST(ArchiveStream, ReadTextOverBorrowedBytes) {
    const char16_t units[] = u"wide text";
    ArchiveStream s;
    s.Open(String(), kStreamRead);
    s.BorrowBytes(units, 18);
    WString text;
    EXPECT_EQ(s.ReadText(text, 9, kTextUtf16Le), 18u);
    EXPECT_EQ(text, WString(u"wide text"));
}

// ArchiveStream writing (the rope) ------------------------------------------------------

TEST(ArchiveStreamWrite, OverwritingInTheMiddleReplacesThenGrows) {
    ArchiveStream s;
    ASSERT_TRUE(s.Open(String(), kStreamWrite));
    EXPECT_EQ(s.Write("abcd", 4), 4u);
    EXPECT_EQ(s.Size(), 4);
    ASSERT_TRUE(s.Seek(2, kSeekSet));
    EXPECT_EQ(s.Write("XYZ", 3), 3u);
    EXPECT_EQ(s.Size(), 5);
    EXPECT_EQ(s.Tell(), 5);
    ASSERT_TRUE(s.Seek(0, kSeekSet));
    EXPECT_EQ(Drain(s, 2), "abXYZ");
    EXPECT_EQ(s.WriteBuffer().Take(0, -1).c_str(), std::string("abXYZ"));
}

TEST(ArchiveStreamWrite, AssignedTextIsTheOnlyContents) {
    ArchiveStream s;
    s.Open(String(), kStreamWrite);
    s.Write("old contents", 12);
    ASSERT_TRUE(s.AssignBuffer(String("fresh")));
    EXPECT_EQ(s.Size(), 5);
    EXPECT_EQ(s.WriteBuffer().PieceCount(), 1u);
    s.Seek(0, kSeekSet);
    EXPECT_EQ(Drain(s, 3), "fresh");
}

TEST(ArchiveStreamWrite, WritesOnAReadStreamGoToTheRope) {
    const std::string bytes = "readable";
    ArchiveStream s;
    s.Open(String(), kStreamRead);
    s.BorrowBytes(bytes.data(), 8);
    ASSERT_TRUE(s.Seek(6, kSeekSet));
    // The rope is empty, so the bytes land at its end; the readable bytes stay as they are.
    EXPECT_EQ(s.Write("xyz", 3), 3u);
    EXPECT_EQ(s.WriteBuffer().Take(0, -1).c_str(), std::string("xyz"));
    EXPECT_EQ(s.Size(), 8);
    EXPECT_EQ(s.Tell(), 9);
    char c;
    EXPECT_EQ(s.Read(&c, 1), 0u);
    EXPECT_TRUE(s.Eof());
}

TEST(ArchiveStreamWrite, SequentialWritesFillWholePieces) {
    ArchiveStream s;
    s.Open(String(), kStreamWrite);
    const std::string bytes = Pattern(16384 * 5 + 100, 2);
    // Many small writes, then one large one.
    for (std::size_t i = 0; i < 16384 * 3; i += 7) {
        const u32 n = static_cast<u32>(std::min<std::size_t>(7, 16384 * 3 - i));
        ASSERT_EQ(s.Write(bytes.data() + i, n), n);
    }
    ASSERT_EQ(s.Write(bytes.data() + 16384 * 3, 16384 * 2 + 100), 16384u * 2 + 100);
    EXPECT_EQ(s.Size(), static_cast<i32>(bytes.size()));
    EXPECT_EQ(s.WriteBuffer().PieceCount(), 6u);
    EXPECT_TRUE(s.WriteBuffer().Verify());
    EXPECT_EQ(RopeBytes(s.WriteBuffer()), bytes);
}

// The write buffer against a plain string under long random runs of seeks, writes
// (small and across many pieces) and reads.
TEST(ArchiveStreamWrite, RandomSeeksWritesAndReadsMatchAnOracle) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
        std::mt19937 random(seed);
        ArchiveStream s;
        ASSERT_TRUE(s.Open(String(), kStreamWrite | kStreamRead));
        std::string oracle;
        std::size_t position = 0;
        bool atEnd = false;
        const std::string source = Pattern(200000, seed + 100);
        std::vector<char> out;
        u32 maxPieces = 0;
        for (int step = 0; step < 2500; ++step) {
            const unsigned what = random() % 10;
            if (what < 3) {
                // Seek somewhere, sometimes out of range.
                const u32 origin = random() % 3;
                const i64 size = static_cast<i64>(oracle.size());
                const i64 target = static_cast<i64>(random() % (oracle.size() + 20)) - 5;
                i32 offset = static_cast<i32>(origin == 0 ? target : origin == 1 ? target - static_cast<i64>(position)
                                                                                  : target - size);
                const bool ok = s.Seek(offset, origin);
                atEnd = false;
                EXPECT_EQ(ok, target >= 0 && target <= size);
                if (ok) position = static_cast<std::size_t>(target);
            } else if (what < 7) {
                // Mostly small writes, now and then one across several pieces.
                const u32 n = random() % 8 == 0 ? 1 + random() % 60000 : 1 + random() % 300;
                const std::size_t from = random() % (source.size() - n);
                ASSERT_EQ(s.Write(source.data() + from, n), n);
                const std::size_t replaced = std::min<std::size_t>(n, oracle.size() - position);
                oracle.replace(position, replaced, source, from, n);
                position += n;
            } else {
                const u32 n = random() % 3 == 0 ? random() % 70000 : random() % 500;
                out.assign(n + 1, '\0');
                if (position >= oracle.size()) atEnd = true;
                const u32 got = s.Read(out.data(), n);
                const std::size_t expected = std::min<std::size_t>(n, oracle.size() - position);
                ASSERT_EQ(got, expected);
                ASSERT_EQ(std::memcmp(out.data(), oracle.data() + position, got), 0);
                position += got;
                EXPECT_EQ(s.Eof(), atEnd);
            }
            ASSERT_EQ(s.Size(), static_cast<i32>(oracle.size()));
            ASSERT_EQ(s.Tell(), static_cast<i32>(position));
            if (step % 50 == 0) {
                ASSERT_TRUE(s.WriteBuffer().Verify()) << "seed " << seed << " step " << step;
                ASSERT_EQ(RopeBytes(s.WriteBuffer()), oracle);
            }
            maxPieces = std::max(maxPieces, s.WriteBuffer().PieceCount());
        }
        ASSERT_TRUE(s.WriteBuffer().Verify());
        EXPECT_EQ(RopeBytes(s.WriteBuffer()), oracle);
        EXPECT_GT(oracle.size(), 16384u * 12) << "the run should cross many pieces";
        EXPECT_GT(maxPieces, 20u);
        // The tree stays shallow: within twice the depth of a perfect tree, plus a little.
        const u32 pieces = s.WriteBuffer().PieceCount();
        EXPECT_LE(s.WriteBuffer().Height(), 2 * static_cast<u32>(std::ceil(std::log2(pieces + 1))) + 2);
    }
}

// ByteRope -----------------------------------------------------------------------------

TEST(ByteRope, InsertRemoveAndTakeWithAnyIndices) {
    ByteRope rope;
    EXPECT_EQ(rope.Size(), 0u);
    EXPECT_EQ(rope.Height(), 0u);
    EXPECT_TRUE(rope.Verify());
    rope.Remove(0, 10);  // nothing to remove
    EXPECT_EQ(rope.Take(0, -1).length, 0u);
    char c = 'k';
    EXPECT_EQ(rope.CopyOut(0, &c, 1), 0u);
    EXPECT_EQ(c, 'k');

    ASSERT_TRUE(rope.Insert(-1, "world", 5));
    ASSERT_TRUE(rope.Insert(0, "hello ", 6));
    ASSERT_TRUE(rope.Insert(1000, "!", 1));  // past the end appends
    ASSERT_TRUE(rope.Insert(-7, "?", 1));    // any negative index appends
    EXPECT_EQ(RopeBytes(rope), "hello world!?");
    EXPECT_FALSE(rope.Insert(0, nullptr, 3));
    EXPECT_TRUE(rope.Insert(0, nullptr, 0));

    // Negative indices count from the end; the last index is cut at the last byte.
    EXPECT_EQ(std::string(rope.Take(-2, -1).c_str()), "!?");
    EXPECT_EQ(std::string(rope.Take(6, 100).c_str()), "world!?");
    EXPECT_EQ(std::string(rope.Take(-100, 1).c_str()), "he");
    EXPECT_EQ(rope.Take(13, 20).length, 0u);  // first past the end
    EXPECT_EQ(rope.Take(5, 4).length, 0u);    // last before first

    rope.Remove(-1, -1);
    EXPECT_EQ(RopeBytes(rope), "hello world!");
    rope.Remove(5, 5);
    EXPECT_EQ(RopeBytes(rope), "helloworld!");
    rope.Remove(8, 1000);
    EXPECT_EQ(RopeBytes(rope), "hellowor");
    rope.Remove(100, 200);
    rope.Remove(4, 2);
    EXPECT_EQ(RopeBytes(rope), "hellowor");
    rope.Remove(0, -1);
    EXPECT_EQ(rope.Size(), 0u);
    EXPECT_EQ(rope.PieceCount(), 0u);
    EXPECT_TRUE(rope.Verify());
}

TEST(ByteRope, SplitPiecesRefillAndTheRemainderJoinsTheNextPiece) {
    ByteRope rope;
    const std::string full = Pattern(16384, 3);
    const std::string small(100, 's');
    ASSERT_TRUE(rope.Insert(-1, full.data(), 16384));
    ASSERT_TRUE(rope.Insert(-1, small.data(), 100));
    ASSERT_EQ(rope.PieceCount(), 2u);
    // 10 bytes into the full first piece: 10 bytes spill over and join the next piece,
    // which stays below the limit, so no piece is added.
    ASSERT_TRUE(rope.Insert(5, "0123456789", 10));
    EXPECT_EQ(rope.PieceCount(), 2u);
    EXPECT_TRUE(rope.Verify());
    std::string expected = full.substr(0, 5) + "0123456789" + full.substr(5) + small;
    EXPECT_EQ(RopeBytes(rope), expected);
    // 20000 bytes into the middle: the cut piece is refilled, the rest goes to new pieces.
    const std::string big = Pattern(20000, 4);
    ASSERT_TRUE(rope.Insert(8000, big.data(), 20000));
    expected.insert(8000, big);
    EXPECT_TRUE(rope.Verify());
    EXPECT_EQ(RopeBytes(rope), expected);
    // Removing a range that covers whole pieces and parts of two others.
    rope.Remove(3000, 30000);
    expected.erase(3000, 27001);
    EXPECT_TRUE(rope.Verify());
    EXPECT_EQ(RopeBytes(rope), expected);
}

TEST(ByteRope, ManyPiecesStayBalanced) {
    ByteRope rope(16);  // small pieces make a deep tree from little data
    std::string oracle;
    std::mt19937 random(9);
    for (int i = 0; i < 4000; ++i) {
        const std::string bytes = Pattern(1 + random() % 40, i);
        const i64 at = oracle.empty() ? 0 : static_cast<i64>(random() % (oracle.size() + 1));
        ASSERT_TRUE(rope.Insert(at, bytes.data(), static_cast<u32>(bytes.size())));
        oracle.insert(std::min<std::size_t>(static_cast<std::size_t>(at), oracle.size()), bytes);
        if (random() % 3 == 0 && !oracle.empty()) {
            const std::size_t a = random() % oracle.size();
            const std::size_t n = 1 + random() % 50;
            rope.Remove(static_cast<i64>(a), static_cast<i64>(a + n - 1));
            oracle.erase(a, n);
        }
    }
    ASSERT_TRUE(rope.Verify());
    EXPECT_EQ(RopeBytes(rope), oracle);
    EXPECT_GT(rope.PieceCount(), 1000u);
    EXPECT_LE(rope.Height(), 2 * static_cast<u32>(std::ceil(std::log2(rope.PieceCount() + 1))) + 2);
    // Appending only, the worst case for an unbalanced tree.
    ByteRope appended(4);
    for (int i = 0; i < 5000; ++i) ASSERT_TRUE(appended.Insert(-1, "abcd", 4));
    EXPECT_EQ(appended.PieceCount(), 5000u);
    EXPECT_TRUE(appended.Verify());
    EXPECT_LE(appended.Height(), 2 * static_cast<u32>(std::ceil(std::log2(5001))) + 2);
}

// MemoryBuffer ------------------------------------------------------------------------

namespace {

using testsupport::BlockPath;
using testsupport::BuildArchive;

}  // namespace

TEST(MemoryBuffer, MembersOpenAsStreamsOverTheHeldBytes) {
    const std::string big = Pattern(70000, 5);
    const std::vector<u8> archive = BuildArchive({{"Fonts/a.fs", "font a"}, {"big.bin", big}, {"empty.txt", ""}});
    MemoryBuffer buffer;
    EXPECT_TRUE(buffer.IsBorrowed());
    ASSERT_TRUE(buffer.Load(BlockPath(archive)));
    EXPECT_TRUE(buffer.IsBorrowed());
    EXPECT_EQ(buffer.Data(), archive.data());
    EXPECT_EQ(buffer.Size(), archive.size());

    EXPECT_TRUE(buffer.Contains(String("Media/Fonts/a.fs")));
    EXPECT_TRUE(buffer.Contains(String("media\\fonts\\A.FS")));
    EXPECT_FALSE(buffer.Contains(String("Media/Fonts/b.fs")));
    EXPECT_FALSE(buffer.Contains(String()));
    // A failed search leaves the buffer as it was.
    EXPECT_EQ(buffer.Data(), archive.data());
    EXPECT_EQ(buffer.Size(), archive.size());

    // Read-only: a view into the archive bytes, no copy.
    std::unique_ptr<Stream> read(buffer.OpenMember(String("Media/big.bin"), kStreamRead));
    ASSERT_TRUE(read);
    auto* view = static_cast<ArchiveStream*>(read.get());
    EXPECT_TRUE(view->BytesBorrowed());
    const u8* first = reinterpret_cast<const u8*>(view->Bytes().data);
    EXPECT_GE(first, archive.data());
    EXPECT_LE(first + big.size(), archive.data() + archive.size());
    EXPECT_EQ(read->Size(), 70000);
    EXPECT_EQ(Drain(*read, 4096), big);
    ASSERT_TRUE(read->Seek(-5, kSeekEnd));
    EXPECT_EQ(Drain(*read, 2), big.substr(69995));

    // With the write bit: a copy in the write buffer, which may change freely.
    std::unique_ptr<Stream> write(buffer.OpenMember(String("Media/Fonts/a.fs"), kStreamWrite | kStreamRead));
    ASSERT_TRUE(write);
    EXPECT_EQ(write->Size(), 6);
    ASSERT_TRUE(write->Seek(0, kSeekEnd));
    EXPECT_EQ(write->Write("!!", 2), 2u);
    write->Seek(0, kSeekSet);
    EXPECT_EQ(Drain(*write, 3), "font a!!");
    std::unique_ptr<Stream> again(buffer.OpenMember(String("Media/Fonts/a.fs"), kStreamRead));
    EXPECT_EQ(Drain(*again, 100), "font a");

    std::unique_ptr<Stream> empty(buffer.OpenMember(String("Media/empty.txt"), kStreamRead));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->Size(), 0);
    EXPECT_FALSE(buffer.OpenMember(String("Media/none.txt"), kStreamRead));
}

TEST(MemoryBuffer, LoadCopiesWhenTheBytesCannotBeBorrowed) {
    const std::vector<u8> archive = BuildArchive({{"x.txt", "xx"}});
    MemoryBuffer buffer;
    patht path = BlockPath(archive);
    path.borrow = 0;
    ASSERT_TRUE(buffer.Load(path));
    EXPECT_FALSE(buffer.IsBorrowed());
    EXPECT_NE(buffer.Data(), archive.data());
    EXPECT_TRUE(buffer.Contains(String("Media/x.txt")));
    // Loading again replaces the file; an unreadable place leaves the buffer empty.
    patht nowhere("/nonexistent/corvane/archive.rar");
    EXPECT_FALSE(buffer.Load(nowhere));
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_FALSE(buffer.Contains(String("Media/x.txt")));
    EXPECT_FALSE(buffer.OpenMember(String("Media/x.txt"), kStreamRead));
}

TEST(MemoryBuffer, DamagedOrForeignBytesFindNothing) {
    std::vector<u8> archive = BuildArchive({{"x.txt", "payload"}});
    MemoryBuffer buffer;
    ASSERT_TRUE(buffer.Load(BlockPath(archive)));
    archive[archive.size() - 10] ^= 0x55;  // inside the member's data: its checksum fails
    EXPECT_FALSE(buffer.Contains(String("Media/x.txt")));
    EXPECT_FALSE(buffer.OpenMember(String("Media/x.txt"), kStreamRead));

    const std::vector<u8> junk(300, 0xAB);
    ASSERT_TRUE(buffer.Load(BlockPath(junk)));
    EXPECT_FALSE(buffer.Contains(String("Media/x.txt")));
    const std::vector<u8> cut(archive.begin(), archive.begin() + 30);
    ASSERT_TRUE(buffer.Load(BlockPath(cut)));
    EXPECT_FALSE(buffer.OpenMember(String("Media/x.txt"), kStreamRead));
}

TEST(MemoryBuffer, TheMemberIndexAgreesWithTheArchiveReader) {
    // Two members whose names match alike: the first one wins, as in a walk.
    RarWriter writer;
    writer.SetPrefix("Media\\");
    ASSERT_TRUE(writer.AddFile("Dup/A.txt", "first", 5));
    ASSERT_TRUE(writer.AddFile("dup\\a.TXT", "second", 6));
    ASSERT_TRUE(writer.AddDirectory("Dir"));
    ASSERT_TRUE(writer.AddFile("b.txt", "bee", 3));
    writer.AddEndBlock();
    const std::vector<u8> archive = writer.Bytes();
    MemoryBuffer buffer;
    ASSERT_TRUE(buffer.Load(BlockPath(archive)));
    std::unique_ptr<Stream> s(buffer.OpenMember(String("media/dup/a.txt"), kStreamRead));
    ASSERT_TRUE(s);
    EXPECT_EQ(Drain(*s, 16), "first");
    EXPECT_FALSE(buffer.Contains(String("Media/Dir")));  // directories hold no bytes
    for (const char* name : {"Media/b.txt", "MEDIA\\B.TXT", "Media_b.txt"}) {
        const u8* direct = nullptr;
        u32 size = 0;
        RarMemoryFile file{archive.data(), static_cast<u32>(archive.size()), 0};
        EXPECT_EQ(buffer.Contains(String(name)), RarFindStored(&direct, &size, name, &file)) << name;
    }

    // A broken block ends the index; names before it are listed, names after it are not
    // reachable either way.
    std::vector<u8> cut = archive;
    cut.resize(cut.size() - 12);
    MemoryBuffer partial;
    ASSERT_TRUE(partial.Load(BlockPath(cut)));
    EXPECT_TRUE(partial.Contains(String("Media/Dup/A.txt")));
}
