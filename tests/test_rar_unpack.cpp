// The RAR 2.0 unpacker and cipher on their own: streams written bit by bit here (so the
// unpacker is checked against the format, not only against our packer), round trips
// through the packer in every mode, and damaged or hostile input.
#include "Core/Crc32.h"
#include "Core/Memory.h"
#include "Core/Rar20Crypt.h"
#include "Core/Rar20Unpack.h"
#include "tools/Rar20Pack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Writes bits from the top of each byte down, as the format reads them.
class Bits {
public:
    Bits& Put(u32 value, u32 count) {
        for (u32 i = count; i-- > 0;) {
            if (used_ % 8 == 0)
                bytes_.push_back(0);
            if ((value >> i) & 1)
                bytes_.back() |= u8(0x80 >> (used_ % 8));
            ++used_;
        }
        return *this;
    }
    std::vector<u8> Bytes(u32 slack = 2) const {
        std::vector<u8> out = bytes_;
        out.insert(out.end(), slack, 0);
        return out;
    }

private:
    std::vector<u8> bytes_;
    u32 used_ = 0;
};

// A table header that sends fresh LZ tables whose lengths are all 0 but the given ones.
// The header code gives each of the symbols 0..15 four bits, so a length is sent as its
// own value.
struct LzTables {
    std::vector<u8> lengths = std::vector<u8>(Rar20::kLzTableSize, 0);
    bool keep = false;  // the lengths are sent as differences from the tables before
    void Set(u32 index, u8 length) { lengths[index] = length; }
    void Write(Bits& out) const {
        out.Put(0, 1).Put(keep ? 1 : 0, 1);  // LZ, fresh or kept
        for (u32 i = 0; i < Rar20::kBitLengthCodes; ++i)
            out.Put(i < 16 ? 4 : 0, 4);
        for (u8 l : lengths)
            out.Put(l, 4);
    }
};

// Main codes 'a' and 270 (a 3-byte match), distance codes 0 and 1 (distances 1 and 2),
// each pair one bit: 0 for the first, 1 for the second.
LzTables TinyTables() {
    LzTables t;
    t.Set('a', 1);
    t.Set(Rar20::kLengthCode, 1);
    t.Set(Rar20::kMainCodes + 0, 1);
    t.Set(Rar20::kMainCodes + 1, 1);
    t.Set(Rar20::kMainCodes + Rar20::kDistanceCodes + 0, 1);
    t.Set(Rar20::kMainCodes + Rar20::kDistanceCodes + 1, 1);
    return t;
}

struct Unpacked {
    bool ok;
    std::vector<u8> bytes;
    u32 crc;
};

Unpacked Unpack(Rar20Unpacker& u, const std::vector<u8>& packed, u32 size, bool solid = false) {
    Rar20Output out;
    out.limit = size;
    const bool ok = u.Unpack(packed.data(), u32(packed.size()), solid, out);
    Unpacked r{ok, {}, Crc32::Finish(out.crc)};
    EXPECT_LE(out.size, size);
    if (out.data != nullptr)
        r.bytes.assign(out.data, out.data + out.size);
    return r;
}

std::vector<u8> Bytes(const std::string& s) { return std::vector<u8>(s.begin(), s.end()); }

std::vector<u8> Mixed(std::mt19937& rng, std::size_t size) {
    std::vector<u8> d;
    while (d.size() < size) {
        const u32 kind = rng() % 4;
        if (kind == 0 || d.size() < 64) {
            for (u32 i = 0; i < 20; ++i)
                d.push_back(u8(rng()));
        } else if (kind == 1) {
            const u32 dist = 1 + rng() % std::min<std::size_t>(d.size(), 70000);
            const u32 len = 2 + rng() % 300;
            for (u32 i = 0; i < len; ++i)
                d.push_back(d[d.size() - dist]);
        } else if (kind == 2) {
            for (u32 i = 0; i < 50; ++i)
                d.push_back(u8(128 + 100 * std::sin(double(d.size()) * 0.07)));
        } else {
            const char* words[] = {"sun ", "moon ", "palm ", "sand "};
            for (u32 i = 0; i < 10; ++i)
                for (const char* c = words[rng() % 4]; *c; ++c)
                    d.push_back(u8(*c));
        }
    }
    d.resize(size);
    return d;
}

} // namespace

TEST(RarUnpack, AHandWrittenStreamOfLiteralsAndMatches) {
    // 'a', then a 3-byte match at distance 1: "aaaa"; then distance 2 once more: "aaaaaaa".
    Bits bits;
    TinyTables().Write(bits);
    bits.Put(0, 1);                // 'a'
    bits.Put(1, 1).Put(0, 1);      // length class 0 (3 bytes), distance code 0 (1)
    bits.Put(1, 1).Put(1, 1);      // length class 0, distance code 1 (2)
    Rar20Unpacker u;
    ASSERT_TRUE(u.Ready());
    const Unpacked r = Unpack(u, bits.Bytes(), 7);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, Bytes("aaaaaaa"));
    EXPECT_EQ(r.crc, Crc32::Compute("aaaaaaa", 7));
}

TEST(RarUnpack, TheOutputStopsAtTheSizeItWasGiven) {
    Bits bits;
    TinyTables().Write(bits);
    bits.Put(0, 1).Put(1, 1).Put(0, 1);  // "a" and a 3-byte match: 4 bytes
    Rar20Unpacker u;
    const Unpacked r = Unpack(u, bits.Bytes(), 2);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, Bytes("aa"));
}

TEST(RarUnpack, AMatchBeforeTheFirstByteFails) {
    Bits bits;
    TinyTables().Write(bits);
    bits.Put(0, 1);            // 'a': one byte of history
    bits.Put(1, 1).Put(1, 1);  // a match at distance 2
    Rar20Unpacker u;
    EXPECT_FALSE(Unpack(u, bits.Bytes(), 4).ok);
    // A match first thing, with nothing behind it.
    Bits first;
    TinyTables().Write(first);
    first.Put(1, 1).Put(0, 1);
    EXPECT_FALSE(Unpack(u, first.Bytes(), 3).ok);
}

TEST(RarUnpack, CodesPastTheEndOfTheDataFail) {
    Bits bits;
    TinyTables().Write(bits);
    bits.Put(0, 1);  // one literal, then nothing
    Rar20Unpacker u;
    EXPECT_TRUE(Unpack(u, bits.Bytes(0), 1).ok);
    // Ten bytes wanted: the zero bits past the end would read as more literals.
    EXPECT_FALSE(Unpack(u, bits.Bytes(0), 10).ok);
    // No data at all: no tables.
    EXPECT_FALSE(Unpack(u, {}, 10).ok);
    // An empty member needs nothing.
    EXPECT_TRUE(Unpack(u, {}, 0).ok);
}

TEST(RarUnpack, RepeatingALengthBeforeTheFirstOneFails) {
    Bits bits;
    bits.Put(0, 1).Put(0, 1);
    // Header code: 16 (repeat the previous length) gets one bit, 0 gets one bit.
    for (u32 i = 0; i < Rar20::kBitLengthCodes; ++i)
        bits.Put(i == 0 || i == Rar20::kRepeatPrevious ? 1 : 0, 4);
    bits.Put(1, 1).Put(0, 2);  // code 16 first: there is no previous length
    Rar20Unpacker u;
    EXPECT_FALSE(Unpack(u, bits.Bytes(), 5).ok);
}

TEST(RarUnpack, TablesSentAsRuns) {
    // 'a'..'h' three bits each, sent as: 10 zeros (17), 87 zeros (18), a 3, the previous
    // length six times more (16), a 3, and zeros to the end (18).
    Bits bits;
    bits.Put(0, 1).Put(0, 1);
    // Header code: 3, 16, 17 and 18 two bits each (00, 01, 10, 11 in symbol order).
    for (u32 i = 0; i < Rar20::kBitLengthCodes; ++i)
        bits.Put(i == 3 || i >= 16 ? 2 : 0, 4);
    bits.Put(2, 2).Put(10 - 3, 3);
    bits.Put(3, 2).Put(87 - 11, 7);
    bits.Put(0, 2);
    bits.Put(1, 2).Put(6 - 3, 2);
    bits.Put(0, 2);
    u32 left = Rar20::kLzTableSize - 105;
    while (left > 0) {
        const u32 n = std::min(left, 138u);
        bits.Put(3, 2).Put(n - 11, 7);
        left -= n;
    }
    for (u32 c = 0; c < 8; ++c)
        bits.Put(c, 3);
    Rar20Unpacker u;
    const Unpacked r = Unpack(u, bits.Bytes(), 8);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, Bytes("abcdefgh"));
}

TEST(RarUnpack, ANewBlockKeepsOrReplacesTheTables) {
    // Block 1: 'a' (1 bit), 'b' (2 bits), 269 (2 bits). Block 2 sends differences
    // from block 1 that swap the roles of 'a' and 'b'.
    LzTables first;
    first.Set('a', 1);
    first.Set('b', 2);
    first.Set(Rar20::kNewTables, 2);
    Bits bits;
    first.Write(bits);
    bits.Put(0, 1).Put(2, 2).Put(3, 2);  // 'a', 'b', new tables
    bits.Put(0, 1).Put(1, 1);            // LZ, keep: differences follow
    for (u32 i = 0; i < Rar20::kBitLengthCodes; ++i)
        bits.Put(i < 16 ? 4 : 0, 4);
    for (u32 i = 0; i < Rar20::kLzTableSize; ++i) {
        u32 delta = 0;
        if (i == 'a')
            delta = 1;  // 1 -> 2
        else if (i == 'b')
            delta = 15;  // 2 -> 1 (mod 16)
        bits.Put(delta, 4);
    }
    bits.Put(0, 1).Put(2, 2);  // now 'b' is 0 and 'a' is 10
    Rar20Unpacker u;
    const Unpacked r = Unpack(u, bits.Bytes(), 4);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, Bytes("abba"));
}

TEST(RarUnpack, AMemberThatStartsAnewTakesItsTableDifferencesFromEmptyTables) {
    Rar20Unpacker u;
    Bits first;
    TinyTables().Write(first);
    first.Put(0, 1).Put(1, 1).Put(0, 1);  // "aaaa"
    ASSERT_EQ(Unpack(u, first.Bytes(), 4).bytes, Bytes("aaaa"));
    // The next member is not solid: the differences of its first tables are from nothing,
    // whatever the member before left.
    LzTables second;
    second.keep = true;
    second.Set('b', 1);
    second.Set('c', 1);
    Bits bits;
    second.Write(bits);
    bits.Put(0, 1).Put(1, 1).Put(0, 1);  // "bcb"
    const Unpacked r = Unpack(u, bits.Bytes(), 3);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, Bytes("bcb"));
}

TEST(RarUnpack, PackerRoundTripsInEveryMode) {
    std::mt19937 rng(77);
    const std::vector<u8> data = Mixed(rng, 60000);
    struct Case {
        u32 block;
        bool delta;
        std::vector<Rar20Segment> segments;
    };
    const Case cases[] = {
        {0x8000, true, {}},
        {1, true, {}},
        {7, false, {}},
        {300, true, {{5000, 1}, {5000, 0}, {7000, 2}, {100, 3}, {9000, 4}, {0, 0}}},
        {2000, true, {{0, 3}}},
        {50, false, {{3, 4}, {1, 0}, {2, 2}, {0, 1}}},
    };
    for (const Case& c : cases) {
        Rar20PackOptions o;
        o.blockCodes = c.block;
        o.deltaTables = c.delta;
        o.segments = c.segments;
        Rar20Packer packer;
        const std::vector<u8> packed = packer.Pack(data.data(), data.size(), false, o);
        Rar20Unpacker u;
        const Unpacked r = Unpack(u, packed, u32(data.size()));
        EXPECT_TRUE(r.ok) << c.block;
        EXPECT_TRUE(r.bytes == data) << c.block;
        EXPECT_EQ(r.crc, Crc32::Compute(data.data(), data.size()));
    }
}

TEST(RarUnpack, SolidMembersContinueTheState) {
    std::mt19937 rng(5);
    std::vector<std::vector<u8>> members;
    for (u32 i = 0; i < 6; ++i)
        members.push_back(Mixed(rng, 1000 + rng() % 40000));
    members.push_back(members[1]);  // all of it a match into an earlier member
    members.push_back({});          // an empty member in the run
    members.push_back(members[0]);
    Rar20Packer packer;
    std::vector<std::vector<u8>> packed;
    for (std::size_t i = 0; i < members.size(); ++i) {
        Rar20PackOptions o;
        o.blockCodes = 500 + u32(i) * 300;
        if (i % 3 == 1)
            o.segments = {{1000, u32(i % 4) + 1}, {0, 0}};
        packed.push_back(packer.Pack(members[i].data(), members[i].size(), i != 0, o));
    }
    EXPECT_LT(packed[6].size(), members[6].size() / 10);  // it found the earlier copy
    Rar20Unpacker u;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const Unpacked r = Unpack(u, packed[i], u32(members[i].size()), i != 0);
        EXPECT_TRUE(r.ok) << i;
        EXPECT_TRUE(r.bytes == members[i]) << i;
    }
    // Starting in the middle without the members before fails, cleanly.
    Rar20Unpacker fresh;
    const Unpacked r = Unpack(fresh, packed[6], u32(members[6].size()), true);
    EXPECT_FALSE(r.ok && r.bytes == members[6]);
}

TEST(RarUnpack, MultimediaPredictorIsItsOwnInverse) {
    Rar20Predictor encoder, decoder;
    std::mt19937 rng(3);
    for (u32 i = 0; i < 20000; ++i) {
        const u32 channel = i % 3;
        const u8 value = u8(128 + 90 * std::sin(i * 0.01 * (channel + 1)) + rng() % 9);
        const u32 delta = encoder.Encode(channel, value);
        ASSERT_LT(delta, 256u);
        ASSERT_EQ(decoder.Decode(channel, delta), value) << i;
    }
}

TEST(RarUnpack, GarbageNeverReadsOutsideOrOverflows) {
    std::mt19937 rng(11);
    Rar20Unpacker u;
    ASSERT_TRUE(u.Ready());
    for (u32 round = 0; round < 300; ++round) {
        std::vector<u8> junk(rng() % 600);
        for (u8& b : junk)
            b = u8(rng());
        const u32 size = rng() % 5000;
        Rar20Output out;
        out.limit = size;
        u.Unpack(junk.data(), u32(junk.size()), (round & 1) != 0, out);
        EXPECT_LE(out.size, size);
    }
    // Damaged packer output: every bit flip of a small stream fails or unpacks to
    // something of the right size, never more.
    const std::vector<u8> data = Mixed(rng, 3000);
    Rar20Packer packer;
    Rar20PackOptions o;
    o.blockCodes = 400;
    o.segments = {{1000, 2}, {0, 0}};
    const std::vector<u8> packed = packer.Pack(data.data(), data.size(), false, o);
    for (std::size_t bit = 0; bit < packed.size() * 8; bit += 3) {
        std::vector<u8> bad = packed;
        bad[bit / 8] ^= u8(0x80 >> (bit % 8));
        const Unpacked r = Unpack(u, bad, u32(data.size()));
        if (r.ok) {
            EXPECT_EQ(r.bytes.size(), data.size());
        }
    }
    // Every cut of it fails (the last byte or two are slack).
    for (std::size_t n = 0; n + 3 < packed.size(); n += 7)
        EXPECT_FALSE(Unpack(u, std::vector<u8>(packed.begin(), packed.begin() + std::ptrdiff_t(n)), u32(data.size())).ok);
}

TEST(RarUnpack, AClaimedSizeIsNotAllocatedUpFront) {
    // A stream of two bytes' worth of codes claims nearly 4 GB: it fails when the codes
    // run out, having allocated only for what it decoded (AddressSanitizer refuses an
    // allocation that large, so the test would abort otherwise).
    Bits bits;
    TinyTables().Write(bits);
    bits.Put(0, 1);
    Rar20Unpacker u;
    Rar20Output out;
    out.limit = 0xFFFFFFF0u;
    const std::vector<u8> packed = bits.Bytes(0);
    EXPECT_FALSE(u.Unpack(packed.data(), u32(packed.size()), false, out));
    EXPECT_LE(out.capacity, 0x10000u);
}

TEST(RarCipher, BlocksRoundTripAndChainTheKey) {
    std::vector<u8> plain(160);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = u8(i % 16);  // ten equal blocks
    std::vector<u8> sealed = plain;
    Rar20Cipher enc;
    enc.SetPassword("corvane");
    for (std::size_t i = 0; i < sealed.size(); i += 16)
        enc.EncryptBlock(sealed.data() + i);
    // Equal plain blocks seal differently: the key moves on with every block.
    EXPECT_NE(std::memcmp(sealed.data(), sealed.data() + 16, 16), 0);
    EXPECT_NE(sealed, plain);
    std::vector<u8> opened = sealed;
    Rar20Cipher dec;
    dec.SetPassword("corvane");
    dec.Decrypt(opened.data(), u32(opened.size()));
    EXPECT_EQ(opened, plain);
    // Another password, or the same one with a different tail, opens nothing.
    for (const char* other : {"Corvane", "corvane!", "", "corvanecorvanecorvane"}) {
        std::vector<u8> wrong = sealed;
        Rar20Cipher c;
        c.SetPassword(other);
        c.Decrypt(wrong.data(), u32(wrong.size()));
        EXPECT_NE(wrong, plain) << other;
    }
    // A tail shorter than a block is left alone.
    std::vector<u8> tail = sealed;
    tail.resize(20);
    Rar20Cipher c;
    c.SetPassword("corvane");
    c.Decrypt(tail.data(), 20);
    EXPECT_EQ(std::vector<u8>(tail.begin(), tail.begin() + 16), std::vector<u8>(plain.begin(), plain.begin() + 16));
    EXPECT_EQ(std::vector<u8>(tail.begin() + 16, tail.end()), std::vector<u8>(sealed.begin() + 16, sealed.begin() + 20));
}

TEST(RarCipher, AKnownBlock) {
    // Checked against an independent reader through the archives of check-rar20.sh; kept
    // here so that a change to the cipher shows at once.
    u8 block[16] = {};
    Rar20Cipher c;
    c.SetPassword("corvane");
    c.EncryptBlock(block);
    const u8 expected[16] = {0x18, 0x5F, 0x19, 0x23, 0x85, 0xD4, 0x6F, 0xAD, 0xD7, 0x74, 0xE8, 0x70, 0x40, 0x91, 0x05, 0x03};
    EXPECT_EQ(std::memcmp(block, expected, 16), 0);
}
