// Compressed, solid, encrypted and commented archives through the archive reader and
// MemoryBuffer, built in-process by the RAR 2.0 compressor (whose archives
// tools/check-rar20.sh has an independent reader extract); and member streams that
// outlive their archive.
#include "Core/ArchiveStream.h"
#include "Core/Crc32.h"
#include "Core/Memory.h"
#include "Core/MemoryBuffer.h"
#include "Core/RarArchive.h"
#include "Core/Stream.h"
#include "tests/TestSupport.h"
#include "tools/Rar20Pack.h"
#include "tools/RarWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::BlockPath;

// Field offsets of a file block.
constexpr u32 kFlags = 3, kUnpSize = 11, kFileCrc = 16, kUnpVer = 24, kMethod = 25;

void Put32(std::vector<u8>& b, std::size_t at, u32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = u8(v >> (8 * i));
}

std::vector<u8> Build(const std::vector<Rar20Member>& members, const Rar20ArchiveOptions& options,
                      Rar20PackStats* stats = nullptr) {
    std::vector<u8> bytes;
    EXPECT_TRUE(Rar20WriteArchive(members, options, &bytes, stats));
    return bytes;
}

// Extracts from a heap copy of exactly the archive's size (AddressSanitizer sees any
// read past it).
bool Extract(const std::vector<u8>& archive, const std::string& name, std::vector<u8>* out,
             const char* password = nullptr) {
    std::unique_ptr<u8[]> copy(new u8[archive.size()]);
    std::memcpy(copy.get(), archive.data(), archive.size());
    RarMemoryFile file;
    file.data = copy.get();
    file.size = u32(archive.size());
    u8* data = reinterpret_cast<u8*>(0x1);
    u32 size = 77;
    const bool ok = RarExtract(&data, &size, name.c_str(), &file, password);
    if (!ok) {
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(size, 0u);
        return false;
    }
    if (out != nullptr)
        out->assign(data, data + size);
    MemFree(data);
    return true;
}

std::vector<RarMember> ListMembers(const std::vector<u8>& archive) {
    RarMemoryFile file;
    file.data = archive.data();
    file.size = u32(archive.size());
    std::vector<RarMember> members;
    RarMember m;
    if (RarBegin(&file, nullptr))
        while (RarNextMember(&file, &m) == RarWalk::Member)
            members.push_back(m);
    return members;
}

const RarMember* FindMember(const std::vector<RarMember>& members, const std::string& name) {
    for (const RarMember& m : members)
        if (std::string(m.name, m.nameLength) == name)
            return &m;
    return nullptr;
}

std::string Drain(Stream& s) {
    std::string out;
    char chunk[4096];
    for (u32 n; (n = s.Read(chunk, sizeof chunk)) > 0;)
        out.append(chunk, n);
    return out;
}

std::string Text(const std::vector<u8>& v) { return std::string(v.begin(), v.end()); }

// Small members that still use every mode: text, a waveform in multimedia, and a copy.
std::vector<Rar20Member> SmallMembers() {
    std::vector<Rar20Member> ms(4);
    ms[0].name = "a.txt";
    for (int i = 0; i < 300; ++i)
        ms[0].data.push_back(u8("dune palm moon "[i % 15]));
    ms[1].name = "Sound/b.raw";
    for (int i = 0; i < 2000; ++i)
        ms[1].data.push_back(u8(128 + (i % 40) * 3));
    ms[1].options.segments = {{0, 2}};
    ms[2].name = "c.dat";
    ms[2].data = ms[0].data;
    ms[3].name = "Empty Dir";
    ms[3].directory = true;
    for (Rar20Member& m : ms)
        m.options.blockCodes = 200;
    return ms;
}

// The small members, every one packed (none stored for not shrinking).
std::vector<u8> PackedSmall() {
    Rar20ArchiveOptions options;
    options.keepLarger = true;
    return Build(SmallMembers(), options);
}

} // namespace

TEST(RarMembers, EverySampleReadsBackInEveryKindOfArchive) {
    const std::vector<Rar20Member> samples = Rar20SampleMembers();
    struct Kind {
        bool solid;
        const char* password;
    };
    for (const Kind kind : {Kind{false, nullptr}, Kind{true, nullptr}, Kind{false, "pass word"}, Kind{true, "K"}}) {
        Rar20ArchiveOptions options;
        options.solid = kind.solid;
        options.password = kind.password ? kind.password : "";
        Rar20PackStats stats;
        const std::vector<u8> archive = Build(samples, options, &stats);
        // Every code of the format was written.
        for (u32 i = 0; i < Rar20::kMainCodes; ++i)
            EXPECT_GT(stats.main[i], 0u) << "main code " << i;
        for (u32 i = 0; i < Rar20::kDistanceCodes; ++i)
            EXPECT_GT(stats.distance[i], 0u) << "distance code " << i;
        for (u32 i = 0; i < Rar20::kRepeatCodes; ++i)
            EXPECT_GT(stats.repeat[i], 0u) << "repeat code " << i;
        for (u32 i = 0; i < Rar20::kBitLengthCodes; ++i)
            EXPECT_GT(stats.header[i], 0u) << "table code " << i;
        for (u32 c = 1; c <= Rar20::kMaxChannels; ++c)
            EXPECT_GT(stats.audioBlocks[c], 0u) << c << " channels";
        EXPECT_GT(stats.freshTables, 0u);
        EXPECT_GT(stats.deltaTables, 0u);
        EXPECT_GT(stats.modeChanges, 0u);
        EXPECT_EQ(stats.solidMembers > 0, kind.solid);
        // The last member first: a solid archive unpacks every one before it.
        for (auto m = samples.rbegin(); m != samples.rend(); ++m) {
            if (m->directory)
                continue;
            std::vector<u8> out;
            EXPECT_TRUE(Extract(archive, m->name, &out, kind.password)) << m->name;
            EXPECT_TRUE(out == m->data) << m->name;
        }
        if (kind.password != nullptr) {
            EXPECT_FALSE(Extract(archive, "Docs/readme.txt", nullptr));  // no password
            EXPECT_FALSE(Extract(archive, "Docs/readme.txt", nullptr, "wrong"));
        }
    }
}

TEST(RarMembers, HeaderChecksumsOverTheFixedPartOrTheWhole) {
    std::vector<Rar20Member> ms = SmallMembers();
    ms[0].comment = "a comment in the file header";
    ms[2].comment = "another";
    for (bool fixedPart : {true, false}) {
        Rar20ArchiveOptions options;
        options.comment = "the archive comment";
        options.fixedPartHeaderCrc = fixedPart;
        const std::vector<u8> archive = Build(ms, options);
        for (const Rar20Member& m : ms) {
            if (m.directory)
                continue;
            std::vector<u8> out;
            EXPECT_TRUE(Extract(archive, m.name, &out)) << m.name << " " << fixedPart;
            EXPECT_TRUE(out == m.data);
        }
        const std::vector<RarMember> listed = ListMembers(archive);
        EXPECT_EQ(listed.size(), ms.size());
        // The checksum still guards the fields read: a changed size is refused.
        std::vector<u8> bad = archive;
        const RarMember* a = FindMember(listed, "a.txt");
        ASSERT_NE(a, nullptr);
        bad[a->headerOffset + kUnpSize] ^= 1;
        EXPECT_FALSE(Extract(bad, "a.txt", nullptr));
        // So is a changed name, which the fixed-part checksum covers too.
        bad = archive;
        bad[a->headerOffset + 32] = 'b';
        EXPECT_FALSE(Extract(bad, "b.txt", nullptr));
        // And the main header.
        bad = archive;
        bad[7 + 9] ^= 1;
        EXPECT_FALSE(Extract(bad, "a.txt", nullptr));
    }
}

TEST(RarMembers, ChecksumsOfUnpackedMembers) {
    const std::vector<u8> archive = PackedSmall();
    const std::vector<RarMember> listed = ListMembers(archive);
    const RarMember* b = FindMember(listed, "Sound\\b.raw");
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(b->IsStored());
    // The header's CRC-32 does not match what unpacks.
    std::vector<u8> bad = archive;
    Put32(bad, b->headerOffset + kFileCrc, b->fileCrc ^ 0x100);
    RarWriter::SealHeader(bad.data() + b->headerOffset);
    EXPECT_FALSE(Extract(bad, "Sound/b.raw", nullptr));
    EXPECT_TRUE(Extract(bad, "a.txt", nullptr));
    // A damaged byte in the packed data.
    for (u32 at : {0u, 5u, b->packSize / 2, b->packSize - 3}) {
        bad = archive;
        bad[b->dataOffset + at] ^= 0x24;
        EXPECT_FALSE(Extract(bad, "Sound/b.raw", nullptr)) << at;
    }
    // A size that claims more than the data holds fails when the codes run out, and one
    // of nearly 4 GB is not allocated up front.
    for (u32 size : {b->unpSize + 1, 0xFFFFFFF0u}) {
        bad = archive;
        Put32(bad, b->headerOffset + kUnpSize, size);
        RarWriter::SealHeader(bad.data() + b->headerOffset);
        EXPECT_FALSE(Extract(bad, "Sound/b.raw", nullptr)) << size;
    }
}

TEST(RarMembers, VersionsAndMethodsThatCannotBeUnpacked) {
    const std::vector<Rar20Member> ms = SmallMembers();
    const std::vector<u8> archive = PackedSmall();
    const std::vector<RarMember> listed = ListMembers(archive);
    const RarMember* a = FindMember(listed, "a.txt");
    ASSERT_NE(a, nullptr);
    auto patched = [&](u32 field, u8 value) {
        std::vector<u8> v = archive;
        v[a->headerOffset + field] = value;
        RarWriter::SealHeader(v.data() + a->headerOffset);
        return v;
    };
    // Compressed by a version before 2.0, by an unknown method, or by a later version.
    EXPECT_FALSE(Extract(patched(kUnpVer, 15), "a.txt", nullptr));
    EXPECT_FALSE(Extract(patched(kUnpVer, 13), "a.txt", nullptr));
    EXPECT_FALSE(Extract(patched(kUnpVer, 29), "a.txt", nullptr));
    EXPECT_FALSE(Extract(patched(kMethod, 0x36), "a.txt", nullptr));
    EXPECT_FALSE(Extract(patched(kMethod, 0x2F), "a.txt", nullptr));
    // Every level from fastest to best unpacks the same way.
    for (u8 method = 0x31; method <= 0x35; ++method)
        EXPECT_TRUE(Extract(patched(kMethod, method), "a.txt", nullptr)) << int(method);
    EXPECT_TRUE(Extract(archive, "c.dat", nullptr));

    // Encrypted members of a version before 2.0 use other ciphers: refused, stored or not.
    Rar20ArchiveOptions secret;
    secret.password = "pw";
    secret.compress = false;
    const std::vector<u8> sealed = Build(ms, secret);
    const std::vector<RarMember> sealedList = ListMembers(sealed);
    const RarMember* s = FindMember(sealedList, "a.txt");
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->IsStored() && s->IsEncrypted());
    EXPECT_TRUE(Extract(sealed, "a.txt", nullptr, "pw"));
    std::vector<u8> old = sealed;
    old[s->headerOffset + kUnpVer] = 15;
    RarWriter::SealHeader(old.data() + s->headerOffset);
    EXPECT_FALSE(Extract(old, "a.txt", nullptr, "pw"));
    // A stored encrypted member holds whole cipher blocks: it cannot claim more.
    std::vector<u8> longer = sealed;
    Put32(longer, s->headerOffset + kUnpSize, s->packSize + 1);
    RarWriter::SealHeader(longer.data() + s->headerOffset);
    EXPECT_FALSE(Extract(longer, "a.txt", nullptr, "pw"));
}

TEST(RarMembers, SolidMembersCheckEveryMemberBefore) {
    const std::vector<Rar20Member> ms = SmallMembers();
    Rar20ArchiveOptions options;
    options.solid = true;
    const std::vector<u8> archive = Build(ms, options);
    const std::vector<RarMember> listed = ListMembers(archive);
    // Directories come first, then the files; every file after the first continues.
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_TRUE(listed[0].IsDirectory());
    EXPECT_EQ(listed[1].flags & kRarFileSolid, 0);
    EXPECT_NE(listed[3].flags & kRarFileSolid, 0);
    std::vector<u8> out;
    ASSERT_TRUE(Extract(archive, "c.dat", &out));
    EXPECT_TRUE(out == ms[2].data);
    // c.dat itself is intact, but a member before it does not match its checksum.
    std::vector<u8> bad = archive;
    const RarMember* b = FindMember(listed, "Sound\\b.raw");
    ASSERT_NE(b, nullptr);
    Put32(bad, b->headerOffset + kFileCrc, b->fileCrc + 1);
    RarWriter::SealHeader(bad.data() + b->headerOffset);
    EXPECT_FALSE(Extract(bad, "c.dat", nullptr));
    EXPECT_TRUE(Extract(bad, "a.txt", nullptr));
    // A member that starts afresh needs nothing before it.
    bad = archive;
    bad[listed[3].headerOffset + kFlags] &= u8(~kRarFileSolid);
    RarWriter::SealHeader(bad.data() + listed[3].headerOffset);
    EXPECT_FALSE(Extract(bad, "c.dat", nullptr));  // its data continues the state all the same
}

TEST(RarMembers, StreamsOfCompressedAndSolidArchives) {
    const std::vector<Rar20Member> ms = SmallMembers();
    for (bool solid : {false, true}) {
        Rar20ArchiveOptions options;
        options.solid = solid;
        options.keepLarger = true;
        options.prefix = "Media\\";
        const std::vector<u8> archive = Build(ms, options);
        MemoryBuffer buffer;
        ASSERT_TRUE(buffer.Load(BlockPath(archive)));
        EXPECT_TRUE(buffer.Contains(String("Media/Sound/b.raw")));
        EXPECT_FALSE(buffer.Contains(String("Media/Sound/none.raw")));
        EXPECT_FALSE(buffer.Contains(String("Media/Empty Dir")));
        for (const Rar20Member& m : ms) {
            if (m.directory)
                continue;
            std::unique_ptr<Stream> s(buffer.OpenMember(String(("Media/" + m.name).c_str()), kStreamRead));
            ASSERT_TRUE(s) << m.name;
            EXPECT_EQ(s->Size(), i32(m.data.size()));
            EXPECT_EQ(Drain(*s), Text(m.data));
            // Unpacked bytes belong to the stream.
            EXPECT_FALSE(static_cast<ArchiveStream*>(s.get())->BytesBorrowed());
        }
        std::unique_ptr<Stream> w(buffer.OpenMember(String("Media/a.txt"), kStreamRead | kStreamWrite));
        ASSERT_TRUE(w);
        EXPECT_EQ(Drain(*w), Text(ms[0].data));
    }
}

TEST(RarMembers, StreamsOutliveTheArchiveTheyCameFrom) {
    RarWriter writer;
    writer.SetPrefix("Media\\");
    const std::string big(100000, 'q');
    ASSERT_TRUE(writer.AddFile("big.txt", big.data(), big.size()));
    ASSERT_TRUE(writer.AddFile("small.txt", "small", 5));
    const std::vector<u8> archive = writer.Take();
    const std::vector<u8> other = testsupport::BuildArchive({{"x.txt", "x"}});

    // Owned bytes (a copy, as from a disk file): views share the ownership.
    auto owned = [](const std::vector<u8>& bytes) {
        patht path = BlockPath(bytes);
        path.borrow = 0;
        return path;
    };
    std::unique_ptr<Stream> afterUnload, afterReload, afterDestruction;
    {
        MemoryBuffer buffer;
        ASSERT_TRUE(buffer.Load(owned(archive)));
        ASSERT_FALSE(buffer.IsBorrowed());
        afterUnload.reset(buffer.OpenMember(String("Media/big.txt"), kStreamRead));
        ASSERT_TRUE(afterUnload);
        // Still a view into the held file: no copy was made.
        const u8* view = reinterpret_cast<const u8*>(static_cast<ArchiveStream*>(afterUnload.get())->Bytes().data);
        EXPECT_GE(view, buffer.Data());
        EXPECT_LE(view + big.size(), buffer.Data() + buffer.Size());
        buffer.Unload();
        EXPECT_EQ(buffer.Size(), 0u);

        ASSERT_TRUE(buffer.Load(owned(archive)));
        afterReload.reset(buffer.OpenMember(String("Media/small.txt"), kStreamRead));
        ASSERT_TRUE(buffer.Load(owned(other)));
        EXPECT_FALSE(buffer.Contains(String("Media/small.txt")));

        ASSERT_TRUE(buffer.Load(owned(archive)));
        afterDestruction.reset(buffer.OpenMember(String("Media/big.txt"), kStreamRead));
    }
    // Read only now, with the bytes they came from unloaded, replaced and destroyed.
    ASSERT_TRUE(afterUnload && afterReload && afterDestruction);
    EXPECT_EQ(Drain(*afterUnload), big);
    EXPECT_EQ(Drain(*afterReload), "small");
    EXPECT_EQ(Drain(*afterDestruction), big);
    afterUnload.reset();
    afterReload.reset();
    afterDestruction.reset();

    // Borrowed bytes (the executable's own resource, there for the whole run): a plain
    // view, no copy and no ownership.
    MemoryBuffer borrowed;
    ASSERT_TRUE(borrowed.Load(BlockPath(archive)));
    ASSERT_TRUE(borrowed.IsBorrowed());
    std::unique_ptr<Stream> view(borrowed.OpenMember(String("Media/big.txt"), kStreamRead));
    ASSERT_TRUE(view);
    auto* stream = static_cast<ArchiveStream*>(view.get());
    EXPECT_TRUE(stream->BytesBorrowed());
    EXPECT_GE(reinterpret_cast<const u8*>(stream->Bytes().data), archive.data());
    EXPECT_LT(reinterpret_cast<const u8*>(stream->Bytes().data), archive.data() + archive.size());
    EXPECT_EQ(Drain(*view), big);
}
