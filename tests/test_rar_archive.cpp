#include "Core/Crc32.h"
#include "Core/Memory.h"
#include "Core/RarArchive.h"
#include "tools/RarWriter.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// The archive bytes in a heap block of exactly their size, so that AddressSanitizer
// reports any read past the end.
class ExactArchive {
public:
    explicit ExactArchive(const std::vector<u8>& bytes, std::size_t length = SIZE_MAX)
        : length_(length < bytes.size() ? length : bytes.size()), bytes_(new u8[length_]) {
        if (length_ != 0)
            std::memcpy(bytes_.get(), bytes.data(), length_);
        file.data = bytes_.get();
        file.size = u32(length_);
    }
    RarMemoryFile file;

    // Extracts and, on success, returns the bytes; false with null and 0 otherwise.
    bool Extract(const std::string& name, std::vector<u8>* out = nullptr, const char* password = nullptr) {
        u8* data = reinterpret_cast<u8*>(0x1);  // must be overwritten in every case
        u32 size = 12345;
        const bool ok = RarExtract(&data, &size, name.c_str(), &file, password);
        if (!ok) {
            EXPECT_EQ(data, nullptr);
            EXPECT_EQ(size, 0u);
            return false;
        }
        EXPECT_NE(data, nullptr);
        if (out != nullptr)
            out->assign(data, data + size);
        MemFree(data);
        return true;
    }

    bool Find(const std::string& name, const u8** data, u32* size) {
        *data = reinterpret_cast<const u8*>(0x1);
        *size = 12345;
        const bool ok = RarFindStored(data, size, name.c_str(), &file);
        if (!ok) {
            EXPECT_EQ(*data, nullptr);
            EXPECT_EQ(*size, 0u);
        } else if (*size != 0) {
            EXPECT_GE(*data, file.data);
            EXPECT_LE(*data + *size, file.data + file.size);
        }
        return ok;
    }

    std::vector<RarMember> List(RarWalk* last = nullptr) {
        std::vector<RarMember> members;
        RarWalk walk = RarWalk::Broken;
        if (RarBegin(&file, nullptr)) {
            RarMember m;
            while ((walk = RarNextMember(&file, &m)) == RarWalk::Member)
                members.push_back(m);
        }
        if (last != nullptr)
            *last = walk;
        return members;
    }

private:
    std::size_t length_;
    std::unique_ptr<u8[]> bytes_;
};

std::vector<u8> RandomBytes(std::mt19937& rng, std::size_t size) {
    std::vector<u8> out(size);
    for (u8& b : out)
        b = u8(rng());
    return out;
}

std::string Name(const RarMember& m) { return std::string(m.name, m.nameLength); }

// Offsets of the fields of a file block.
constexpr u32 kPackSize = 7, kUnpSize = 11, kFileCrc = 16, kUnpVer = 24, kMethod = 25, kNameSize = 26;

void Put16(std::vector<u8>& b, std::size_t at, u32 v) {
    b[at] = u8(v);
    b[at + 1] = u8(v >> 8);
}
void Put32(std::vector<u8>& b, std::size_t at, u32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = u8(v >> (8 * i));
}

// Recomputes a block's header checksum when the header lies inside the bytes.
void SealIfInside(std::vector<u8>& b, std::size_t at) {
    if (at + 7 > b.size())
        return;
    const std::size_t headSize = b[at + 5] | b[at + 6] << 8;
    if (headSize >= 2 && at + headSize <= b.size())
        RarWriter::SealHeader(b.data() + at);
}

// Where each file block of a well-formed archive starts.
std::vector<u32> HeaderOffsets(const std::vector<u8>& bytes) {
    ExactArchive a(bytes);
    std::vector<u32> offsets;
    for (const RarMember& m : a.List())
        offsets.push_back(m.headerOffset);
    return offsets;
}

// Three small members: "a.txt", "Dir\b.bin", "c.dat".
std::vector<u8> SmallArchive(u16 mainFlags = 0) {
    RarWriter w(mainFlags);
    const std::string a = "first member";
    const std::vector<u8> b = {0, 1, 2, 3, 255, 254, 0, 7};
    const std::string c = "third";
    w.AddFile("a.txt", a.data(), a.size());
    w.AddFile("Dir/b.bin", b.data(), b.size());
    w.AddFile("c.dat", c.data(), c.size());
    return w.Take();
}

std::string MixCase(std::string s, std::mt19937& rng) {
    for (char& c : s)
        if (std::isalpha(u8(c)) && (rng() & 1))
            c = char(std::isupper(u8(c)) ? std::tolower(u8(c)) : std::toupper(u8(c)));
    return s;
}

} // namespace

TEST(Crc32, KnownValuesAndPiecewiseUpdates) {
    EXPECT_EQ(Crc32::Compute("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32::Compute(nullptr, 0), 0u);
    EXPECT_EQ(Crc32::Compute("a", 1), 0xE8B7BE43u);
    EXPECT_EQ(Crc32::Compute("The quick brown fox jumps over the lazy dog", 43), 0x414FA339u);

    // The sliced loop against a plain bit-by-bit register, at every length and alignment.
    std::mt19937 rng(7);
    const std::vector<u8> data = RandomBytes(rng, 300);
    for (std::size_t start = 0; start < 8; ++start)
        for (std::size_t len = 0; start + len <= data.size(); ++len) {
            u32 c = 0xFFFFFFFFu;
            for (std::size_t i = 0; i < len; ++i) {
                c ^= data[start + i];
                for (int bit = 0; bit < 8; ++bit)
                    c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : (c >> 1);
            }
            ASSERT_EQ(Crc32::Compute(data.data() + start, len), ~c) << start << " " << len;
        }
    // A long run against the same bit-by-bit register.
    const std::vector<u8> large = RandomBytes(rng, 70001);
    u32 slow = 0xFFFFFFFFu;
    for (u8 b : large) {
        slow ^= b;
        for (int bit = 0; bit < 8; ++bit)
            slow = (slow & 1u) ? (slow >> 1) ^ 0xEDB88320u : (slow >> 1);
    }
    EXPECT_EQ(Crc32::Compute(large.data(), large.size()), ~slow);
    for (std::size_t split = 0; split <= data.size(); split += 7) {
        u32 running = Crc32::Update(Crc32::kInitial, data.data(), split);
        running = Crc32::Update(running, data.data() + split, data.size() - split);
        EXPECT_EQ(Crc32::Finish(running), Crc32::Compute(data.data(), data.size()));
    }
}

TEST(RarRead, SucceedsExactlyWhenTheBytesAreThere) {
    const u8 bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    RarMemoryFile f;
    f.data = bytes;
    f.size = 8;
    u8 out[8] = {};
    EXPECT_EQ(RarRead(&f, out, 7), 7u);  // size - 1 bytes: copied and advanced
    EXPECT_EQ(f.offset, 7u);
    EXPECT_EQ(out[6], 7);
    EXPECT_EQ(RarRead(&f, out, 2), 0u);  // one byte short: nothing moves
    EXPECT_EQ(f.offset, 7u);
    EXPECT_EQ(RarRead(&f, out, 1), 1u);  // ends exactly at size
    EXPECT_EQ(out[0], 8);
    EXPECT_EQ(f.offset, 8u);
    EXPECT_EQ(RarRead(&f, out, 1), 0u);
    EXPECT_EQ(RarRead(&f, out, 0), 0u);
    f.offset = 0;
    EXPECT_EQ(RarRead(&f, out, 8), 8u);
    f.offset = 100;  // a position past the end reads nothing and does not wrap
    EXPECT_EQ(RarRead(&f, out, 0xFFFFFFF0u), 0u);
    EXPECT_EQ(RarRead(nullptr, out, 1), 0u);
    f.offset = 0;
    EXPECT_EQ(RarRead(&f, nullptr, 1), 0u);
}

TEST(RarWriter, NamesAndLimits) {
    RarWriter w;
    w.SetPrefix("Media/");
    EXPECT_EQ(w.ArchiveName("Fonts/64font.fs"), "Media\\Fonts\\64font.fs");
    EXPECT_EQ(w.ArchiveName("/lead/trail/"), "Media\\lead\\trail");
    w.SetPrefix("Media");
    EXPECT_EQ(w.ArchiveName("x"), "Media\\x");
    w.SetPrefix("");
    const u8 byte = 1;
    EXPECT_FALSE(w.AddFile("", &byte, 1));
    EXPECT_FALSE(w.AddFile(std::string(260, 'n'), &byte, 1));
    EXPECT_TRUE(w.AddFile(std::string(259, 'n'), &byte, 1));
    EXPECT_FALSE(w.AddFile("null", nullptr, 5));
    EXPECT_FALSE(w.AddDirectory("/"));
    // Signature, main header with its checksum, then the one file.
    const std::vector<u8>& b = w.Bytes();
    ASSERT_EQ(b.size(), 7u + 13u + 32u + 259u + 1u);
    EXPECT_EQ(std::memcmp(b.data(), "Rar!\x1A\x07\x00", 7), 0);
    EXPECT_EQ(b[9], 0x73);
    EXPECT_EQ(u16(b[7] | b[8] << 8), u16(Crc32::Compute(b.data() + 9, 11)));
}

TEST(RarArchive, EveryMemberOfALargeTreeReadsBackByName) {
    std::mt19937 rng(1234);
    RarWriter w;
    w.SetPrefix("Media\\");
    struct Item {
        std::string path;
        std::vector<u8> data;
    };
    std::vector<Item> items;
    const char* folders[] = {"", "Fonts/", "Models/Cars/", "Models/Cars/Wheels/", "Textures/Sky/Night/", "a/b/c/d/e/"};
    for (int i = 0; i < 600; ++i) {
        Item item;
        item.path = std::string(folders[i % 6]) + "File" + std::to_string(i) + (i % 3 ? ".bin" : ".TXT");
        item.data = RandomBytes(rng, i % 50 == 0 ? 0 : rng() % 3000);
        items.push_back(item);
    }
    items.push_back({"Models/big.mesh", RandomBytes(rng, 200000)});
    ASSERT_TRUE(w.AddDirectory("Models"));
    for (const Item& item : items)
        ASSERT_TRUE(w.AddFile(item.path, item.data.data(), item.data.size()));
    ExactArchive archive(w.Bytes());

    for (const Item& item : items) {
        std::string back = "Media\\" + item.path;
        for (char& c : back)
            if (c == '/')
                c = '\\';
        const std::string forward = "media/" + item.path;
        for (const std::string& name : {back, forward, MixCase(back, rng), MixCase(forward, rng)}) {
            std::vector<u8> out;
            ASSERT_TRUE(archive.Extract(name, &out)) << name;
            ASSERT_EQ(out, item.data) << name;
        }
        const u8* data;
        u32 size;
        ASSERT_TRUE(archive.Find(forward, &data, &size));
        ASSERT_EQ(size, item.data.size());
        ASSERT_TRUE(size == 0 || std::memcmp(data, item.data.data(), size) == 0);
    }

    // The listing gives every entry in archive order, the directory first.
    RarWalk last;
    const std::vector<RarMember> members = archive.List(&last);
    EXPECT_EQ(last, RarWalk::End);
    ASSERT_EQ(members.size(), items.size() + 1);
    EXPECT_TRUE(members[0].IsDirectory());
    EXPECT_EQ(Name(members[0]), "Media\\Models");
    for (std::size_t i = 0; i < items.size(); ++i) {
        const RarMember& m = members[i + 1];
        EXPECT_FALSE(m.IsDirectory());
        EXPECT_EQ(m.unpSize, items[i].data.size());
        EXPECT_EQ(m.packSize, items[i].data.size());
        EXPECT_EQ(m.method, kRarMethodStored);
        const u8* data;
        u32 size;
        ASSERT_TRUE(RarStoredData(&archive.file, &m, &data, &size));
        EXPECT_EQ(size, items[i].data.size());
    }

    // A directory entry is not a file, and a folder name alone finds nothing.
    EXPECT_FALSE(archive.Extract("Media\\Models"));
    EXPECT_FALSE(archive.Extract("Media\\Models\\Cars"));
    EXPECT_FALSE(archive.Extract("Media\\Models\\Cars\\File1.bin.extra"));
    EXPECT_FALSE(archive.Extract("Media\\Models\\Cars\\File1.bi"));
    EXPECT_FALSE(archive.Extract(""));
}

TEST(RarArchive, NameRule) {
    std::mt19937 rng(5);
    const std::vector<u8> data = RandomBytes(rng, 100);
    RarWriter w;
    ASSERT_TRUE(w.AddFile("Media\\Fonts\\64font.fs", data.data(), data.size()));
    ExactArchive archive(w.Bytes());
    std::vector<u8> out;
    EXPECT_TRUE(archive.Extract("Media/Fonts/64font.fs", &out));
    EXPECT_EQ(out, data);
    EXPECT_TRUE(archive.Extract("MEDIA\\fonts/64FONT.FS"));
    // Slashes compare as '_', so an underscore stands for either.
    EXPECT_TRUE(archive.Extract("media_fonts_64font.fs"));
    EXPECT_FALSE(archive.Extract("media fonts 64font.fs"));
    EXPECT_FALSE(archive.Extract("Media/Fonts/64font.f"));

    EXPECT_TRUE(RarNamesMatch("A\\b", 3, "a/B", 3));
    EXPECT_FALSE(RarNamesMatch("ab", 2, "abc", 3));
    // Letters beyond ASCII are compared as bytes.
    EXPECT_FALSE(RarNamesMatch("\xC0", 1, "\xE0", 1));
    // Only the first 512 bytes count.
    const std::string longA = std::string(512, 'x') + "A";
    const std::string longB = std::string(512, 'X') + "different tail";
    EXPECT_TRUE(RarNamesMatch(longA.data(), u32(longA.size()), longB.data(), u32(longB.size())));
}

TEST(RarArchive, SignaturesAndVersions) {
    const std::vector<u8> good = SmallArchive();
    std::vector<u8> out;
    {
        std::vector<u8> old = good;
        std::memcpy(old.data(), "UniquE!", 7);
        ExactArchive a(old);
        EXPECT_TRUE(a.Extract("c.dat", &out));
        EXPECT_EQ(std::string(out.begin(), out.end()), "third");
    }
    {
        // Other leading bytes are let through: the blocks then follow them directly.
        std::vector<u8> bare = {'N', 'o', 't', 'R', 'a', 'r', '?'};
        bare.insert(bare.end(), good.begin() + 20, good.end());
        ExactArchive a(bare);
        EXPECT_TRUE(a.Extract("dir/B.BIN", &out));
        EXPECT_EQ(out, (std::vector<u8>{0, 1, 2, 3, 255, 254, 0, 7}));
    }
    const std::vector<u32> heads = HeaderOffsets(good);
    ASSERT_EQ(heads.size(), 3u);
    for (u8 version : {u8(12), u8(13), u8(20), u8(21), u8(29), u8(36)}) {
        std::vector<u8> v = good;
        v[heads[1] + kUnpVer] = version;
        RarWriter::SealHeader(v.data() + heads[1]);
        ExactArchive a(v);
        const bool supported = version >= 13 && version <= 20;
        EXPECT_EQ(a.Extract("Dir\\b.bin"), supported) << int(version);
        const u8* data;
        u32 size;
        EXPECT_EQ(a.Find("Dir\\b.bin", &data, &size), supported) << int(version);
        EXPECT_TRUE(a.Extract("c.dat"));  // the others are untouched
    }
}

TEST(RarArchive, UnknownNamesAndAlteredData) {
    std::vector<u8> bytes = SmallArchive();
    {
        ExactArchive a(bytes);
        EXPECT_FALSE(a.Extract("missing.txt"));
        const u8* data;
        u32 size;
        EXPECT_FALSE(a.Find("missing.txt", &data, &size));
        EXPECT_EQ(a.file.offset, a.file.size);  // every header was walked
    }
    const std::vector<RarMember> members = ExactArchive(bytes).List();
    ASSERT_EQ(members.size(), 3u);
    bytes[members[1].dataOffset + 3] ^= 0x40;  // one bit of b.bin
    ExactArchive a(bytes);
    EXPECT_FALSE(a.Extract("Dir\\b.bin"));
    const u8* data;
    u32 size;
    EXPECT_FALSE(a.Find("Dir\\b.bin", &data, &size));
    EXPECT_FALSE(RarStoredData(&a.file, &members[1], &data, &size));
    EXPECT_TRUE(a.Extract("a.txt"));
    EXPECT_TRUE(a.Extract("c.dat"));

    // A damaged header is refused even when its data is intact.
    std::vector<u8> header = SmallArchive();
    header[members[2].headerOffset + kFileCrc] ^= 1;  // FILE_CRC, header checksum left stale
    ExactArchive h(header);
    EXPECT_FALSE(h.Extract("c.dat"));
    RarWalk last;
    EXPECT_EQ(h.List(&last).size(), 2u);
    EXPECT_EQ(last, RarWalk::Broken);
    // The main header too.
    std::vector<u8> main = SmallArchive();
    main[7] ^= 1;
    EXPECT_FALSE(ExactArchive(main).Extract("a.txt"));
}

TEST(RarArchive, MembersThatCannotBeRead) {
    const std::vector<u8> good = SmallArchive();
    const std::vector<u32> heads = HeaderOffsets(good);
    auto patched = [&](int member, u32 field, u32 value, int width) {
        std::vector<u8> v = good;
        if (width == 1)
            v[heads[member] + field] = u8(value);
        else if (width == 2)
            Put16(v, heads[member] + field, value);
        else
            Put32(v, heads[member] + field, value);
        RarWriter::SealHeader(v.data() + heads[member]);
        return v;
    };
    // Compressed, encrypted (with or without a password) and split members.
    EXPECT_FALSE(ExactArchive(patched(1, kMethod, 0x33, 1)).Extract("Dir/b.bin"));
    EXPECT_TRUE(ExactArchive(patched(1, kMethod, 0x33, 1)).Extract("c.dat"));
    EXPECT_FALSE(ExactArchive(patched(1, 3, 0x8004, 2)).Extract("Dir/b.bin"));
    EXPECT_FALSE(ExactArchive(patched(1, 3, 0x8004, 2)).Extract("Dir/b.bin", nullptr, "secret"));
    EXPECT_FALSE(ExactArchive(patched(1, 3, 0x8002, 2)).Extract("Dir/b.bin"));
    EXPECT_FALSE(ExactArchive(patched(1, 3, 0x8001, 2)).Extract("Dir/b.bin"));
    // A stored member cannot unpack to more than it holds...
    EXPECT_FALSE(ExactArchive(patched(1, kUnpSize, 9, 4)).Extract("Dir/b.bin"));
    EXPECT_FALSE(ExactArchive(patched(1, kUnpSize, 0xFFFFFFFFu, 4)).Extract("Dir/b.bin"));
    // ...but may unpack to less (the checksum then covers the shorter run).
    {
        std::vector<u8> v = patched(1, kUnpSize, 4, 4);
        Put32(v, heads[1] + kFileCrc, Crc32::Compute("\x00\x01\x02\x03", 4));
        RarWriter::SealHeader(v.data() + heads[1]);
        std::vector<u8> out;
        EXPECT_TRUE(ExactArchive(v).Extract("Dir/b.bin", &out));
        EXPECT_EQ(out, (std::vector<u8>{0, 1, 2, 3}));
    }
    // Without the long-block flag no data follows, so nothing can be read.
    EXPECT_FALSE(ExactArchive(patched(1, 3, 0x0000, 2)).Extract("Dir/b.bin"));

    // Solid archives: every earlier header must be sound and of a known version; a stored
    // member depends on no other member's data, a compressed one on all before it.
    std::vector<u8> solid = SmallArchive(kRarMainSolid);
    const std::vector<u32> solidHeads = HeaderOffsets(solid);
    EXPECT_TRUE(ExactArchive(solid).Extract("c.dat"));
    solid[solidHeads[0] + kMethod] = 0x35;  // stored bytes that claim to be packed
    RarWriter::SealHeader(solid.data() + solidHeads[0]);
    EXPECT_TRUE(ExactArchive(solid).Extract("c.dat"));
    EXPECT_FALSE(ExactArchive(solid).Extract("a.txt"));
    solid[solidHeads[0] + kUnpVer] = 29;
    RarWriter::SealHeader(solid.data() + solidHeads[0]);
    EXPECT_FALSE(ExactArchive(solid).Extract("c.dat"));
}

TEST(RarArchive, NullArguments) {
    ExactArchive a(SmallArchive());
    u8* data = nullptr;
    u32 size = 0;
    EXPECT_FALSE(RarExtract(&data, &size, nullptr, &a.file, nullptr));
    EXPECT_FALSE(RarExtract(&data, &size, "a.txt", nullptr, nullptr));
    EXPECT_FALSE(RarExtract(nullptr, &size, "a.txt", &a.file, nullptr));
    EXPECT_FALSE(RarExtract(&data, nullptr, "a.txt", &a.file, nullptr));
    RarMemoryFile hollow;
    hollow.size = 100;  // no bytes behind the size
    EXPECT_FALSE(RarExtract(&data, &size, "a.txt", &hollow, nullptr));
    RarMemoryFile empty;
    EXPECT_FALSE(RarExtract(&data, &size, "a.txt", &empty, nullptr));
    const u8* view = nullptr;
    EXPECT_FALSE(RarFindStored(&view, &size, nullptr, &a.file));
    EXPECT_FALSE(RarFindStored(&view, &size, "a.txt", nullptr));
    EXPECT_FALSE(RarStoredData(&a.file, nullptr, &view, &size));
    EXPECT_FALSE(RarBegin(nullptr, nullptr));
    EXPECT_EQ(RarNextMember(nullptr, nullptr), RarWalk::Broken);
    EXPECT_TRUE(RarExtract(&data, &size, "a.txt", &a.file, nullptr));
    MemFree(data);
}

TEST(RarArchiveHostile, MalformedBlocksAreRefusedWithoutReadingOutside) {
    const std::vector<u8> good = SmallArchive();
    const std::vector<u32> heads = HeaderOffsets(good);
    const u32 last = heads[2];
    auto refuse = [](const std::vector<u8>& bytes, const char* what) {
        ExactArchive a(bytes);
        EXPECT_FALSE(a.Extract("c.dat")) << what;
        const u8* data;
        u32 size;
        EXPECT_FALSE(a.Find("c.dat", &data, &size)) << what;
        RarWalk end;
        a.List(&end);
        EXPECT_EQ(end, RarWalk::Broken) << what;
    };
    auto sealed = [&](u32 at, u32 field, u32 value, int width) {
        std::vector<u8> v = good;
        if (width == 2)
            Put16(v, at + field, value);
        else
            Put32(v, at + field, value);
        SealIfInside(v, at);
        return v;
    };
    // HEAD_SIZE below the fixed fields, zero, or shorter than the name.
    for (u32 headSize : {0u, 1u, 6u, 7u, 10u, 11u, 31u, 32u, 36u}) {
        std::vector<u8> v = good;
        Put16(v, last + 5, headSize);
        SealIfInside(v, last);
        refuse(v, ("HEAD_SIZE " + std::to_string(headSize)).c_str());
    }
    // HEAD_SIZE past the end of the buffer.
    refuse(sealed(last, 5, 0xFFFF, 2), "HEAD_SIZE past end");
    // NAME_SIZE past the header and past the buffer.
    refuse(sealed(last, kNameSize, 6, 2), "NAME_SIZE past header");
    refuse(sealed(last, kNameSize, 0xFFFF, 2), "NAME_SIZE past buffer");
    // PACK_SIZE past the buffer, and large enough to wrap a 32-bit position back onto
    // the first block (which would loop for ever).
    refuse(sealed(last, kPackSize, 6, 4), "PACK_SIZE past end");
    refuse(sealed(last, kPackSize, 0xFFFFFFFFu, 4), "PACK_SIZE max");
    {
        const u32 headSize = 32 + 5;
        const u32 wrap = u32(0x100000000ull - last - headSize + heads[0]);
        refuse(sealed(last, kPackSize, wrap, 4), "PACK_SIZE wraps");
    }
    // The main header: too short, past the end, of another type.
    {
        std::vector<u8> v = good;
        Put16(v, 7 + 5, 12);
        RarWriter::SealHeader(v.data() + 7);
        EXPECT_FALSE(ExactArchive(v).Extract("a.txt"));
        Put16(v, 7 + 5, 0xFFFF);
        SealIfInside(v, 7);
        EXPECT_FALSE(ExactArchive(v).Extract("a.txt"));
        v = good;
        v[9] = 0x74;
        RarWriter::SealHeader(v.data() + 7);
        EXPECT_FALSE(ExactArchive(v).Extract("a.txt"));
    }
    // Trailing bytes too few for a block header.
    {
        std::vector<u8> v = good;
        v.insert(v.end(), {0, 0, 0});
        ExactArchive a(v);
        EXPECT_FALSE(a.Extract("missing"));
        RarWalk end;
        EXPECT_EQ(a.List(&end).size(), 3u);
        EXPECT_EQ(end, RarWalk::Broken);
    }
}

TEST(RarArchiveHostile, OtherBlocksAndLongNames) {
    const std::string data = "payload";
    RarWriter w;
    ASSERT_TRUE(w.AddFile("before", data.data(), data.size()));
    std::vector<u8> bytes = w.Take();
    // An unknown block carrying four bytes of its own: stepped over.
    const std::vector<u8> unknown = {0, 0, 0x7A, 0x00, 0x80, 11, 0, 4, 0, 0, 0, 'x', 'x', 'x', 'x'};
    bytes.insert(bytes.end(), unknown.begin(), unknown.end());
    RarWriter::SealHeader(bytes.data() + bytes.size() - unknown.size());
    // A file with a name far longer than the usual 259 bytes, without a zero byte.
    RarFileFields longName;
    longName.name = std::string(700, 'L');
    longName.packSize = longName.unpSize = u32(data.size());
    longName.fileCrc = Crc32::Compute(data.data(), data.size());
    RarWriter tail;
    ASSERT_TRUE(tail.AddFileBlock(longName, data.data(), data.size()));
    // A name with a wide form after its zero byte: only the part before it counts.
    RarFileFields wide;
    wide.name = std::string("wide.txt\0\x01\x02\x03", 12);
    wide.flags = 0x8200;
    wide.packSize = wide.unpSize = u32(data.size());
    wide.fileCrc = longName.fileCrc;
    ASSERT_TRUE(tail.AddFileBlock(wide, data.data(), data.size()));
    tail.AddEndBlock();
    ASSERT_TRUE(tail.AddFile("after end", data.data(), data.size()));
    bytes.insert(bytes.end(), tail.Bytes().begin() + 20, tail.Bytes().end());

    ExactArchive a(bytes);
    std::vector<u8> out;
    EXPECT_TRUE(a.Extract("before", &out));
    EXPECT_TRUE(a.Extract(std::string(700, 'l'), &out));
    EXPECT_EQ(std::string(out.begin(), out.end()), data);
    EXPECT_TRUE(a.Extract(std::string(512, 'l')));  // names compare on 512 bytes
    EXPECT_FALSE(a.Extract(std::string(259, 'l')));
    EXPECT_TRUE(a.Extract("WIDE.TXT"));
    EXPECT_FALSE(a.Extract("after end"));  // the end-of-archive block ends the walk
    RarWalk end;
    EXPECT_EQ(a.List(&end).size(), 3u);
    EXPECT_EQ(end, RarWalk::End);

    // A sub-block ends the walk as well.
    std::vector<u8> sub = SmallArchive();
    const std::vector<u32> heads = HeaderOffsets(sub);
    sub[heads[1] + 2] = 0x77;
    RarWriter::SealHeader(sub.data() + heads[1]);
    ExactArchive s(sub);
    EXPECT_TRUE(s.Extract("a.txt"));
    EXPECT_FALSE(s.Extract("c.dat"));

    // A long block whose header cannot hold its size field.
    std::vector<u8> shortLong = SmallArchive();
    const std::vector<u8> bad = {0, 0, 0x7A, 0x00, 0x80, 7, 0};
    shortLong.insert(shortLong.begin() + heads[2], bad.begin(), bad.end());
    RarWriter::SealHeader(shortLong.data() + heads[2]);
    EXPECT_FALSE(ExactArchive(shortLong).Extract("c.dat"));
}

TEST(RarArchiveHostile, EveryTruncationFailsCleanlyOrFindsCompleteMembers) {
    std::mt19937 rng(99);
    RarWriter w;
    std::vector<std::string> names;
    for (int i = 0; i < 12; ++i) {
        names.push_back("dir" + std::to_string(i % 3) + "/member" + std::to_string(i));
        const std::vector<u8> data = RandomBytes(rng, rng() % 200);
        ASSERT_TRUE(w.AddFile(names.back(), data.data(), data.size()));
    }
    const std::vector<u8> full = w.Bytes();
    const std::vector<RarMember> members = ExactArchive(full).List();
    ASSERT_EQ(members.size(), names.size());
    for (std::size_t length = 0; length <= full.size(); ++length) {
        ExactArchive a(full, length);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const bool complete = members[i].dataOffset + members[i].packSize <= length;
            ASSERT_EQ(a.Extract(names[i]), complete) << "length " << length << " member " << i;
            const u8* data;
            u32 size;
            ASSERT_EQ(a.Find(names[i], &data, &size), complete);
        }
        a.List();
    }
}

TEST(RarArchiveHostile, GarbageAndMutationsNeverMisbehave) {
    std::mt19937 rng(2024);
    const std::vector<u8> good = SmallArchive();
    const char* names[] = {"a.txt", "Dir\\b.bin", "c.dat", ""};
    for (int round = 0; round < 3000; ++round) {
        std::vector<u8> v;
        if (round % 3 == 0) {
            v = RandomBytes(rng, rng() % 120);
            if (round % 2 == 0 && v.size() >= 7)
                std::memcpy(v.data(), "Rar!\x1A\x07\x00", 7);
        } else {
            v = good;
            const int flips = 1 + int(rng() % 4);
            for (int i = 0; i < flips; ++i)
                v[rng() % v.size()] = u8(rng());
            // Keep the mutated headers' checksums right so the walk goes deeper.
            if (round % 3 == 1)
                for (u32 at : HeaderOffsets(good))
                    SealIfInside(v, at);
        }
        ExactArchive a(v);
        for (const char* name : names) {
            std::vector<u8> out;
            const bool extracted = a.Extract(name, &out);
            const u8* data;
            u32 size;
            const bool found = a.Find(name, &data, &size);
            ASSERT_EQ(extracted, found) << round;
            if (found) {
                ASSERT_TRUE(size == out.size() && (size == 0 || std::memcmp(data, out.data(), size) == 0));
            }
        }
        for (const RarMember& m : a.List())
            ASSERT_LE(u64(m.dataOffset) + m.packSize, a.file.size);
    }
}
