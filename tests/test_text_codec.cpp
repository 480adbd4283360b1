#include "Core/TextCodec.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

struct Decoded {
    bool ok;
    u32 consumed;
    u32 cp;
};

Decoded Dec(std::vector<u8> bytes, int kind) {
    Decoded d{false, 99, 0x12345678u};
    // Decode from a heap copy of exactly the given size so that ASan sees any overread.
    u8* p = new u8[bytes.size() + 1];
    for (size_t i = 0; i < bytes.size(); ++i) p[i] = bytes[i];
    d.ok = DecodeCodePoint(p, p + bytes.size(), &d.consumed, &d.cp, kind);
    delete[] p;
    return d;
}

std::vector<u8> Enc(u32 cp, int kind, u32 room = 8) {
    std::vector<u8> out(room, 0xAA);
    u32 written = 99;
    if (!EncodeCodePoint(out.data(), out.data() + room, &written, cp, kind)) {
        EXPECT_EQ(written, 0u);
        for (u8 b : out) EXPECT_EQ(b, 0xAA) << "a failed encode must write nothing";
        return {};
    }
    out.resize(written);
    return out;
}

bool IsSurrogate(u32 cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

u32 Utf8Length(u32 cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

// ---- round trips over each kind's whole range -----------------------------------

TEST(TextCodecRoundTrip, CodePageBytes) {
    for (u32 cp = 0; cp < 256; ++cp) {
        const auto bytes = Enc(cp, kTextCodePage);
        ASSERT_EQ(bytes, std::vector<u8>{static_cast<u8>(cp)});
        const Decoded d = Dec(bytes, kTextCodePage);
        ASSERT_TRUE(d.ok);
        ASSERT_EQ(d.consumed, 1u);
        ASSERT_EQ(d.cp, cp) << "byte " << cp;
    }
}

TEST(TextCodecRoundTrip, EveryCodePointInUnicodeKinds) {
    const int kinds[] = {kTextUtf8, kTextUtf16Le, kTextUtf16Be, kTextUtf32Le, kTextUtf32Be};
    for (int kind : kinds) {
        for (u32 cp = 0; cp <= kMaxCodePoint; ++cp) {
            if (IsSurrogate(cp)) continue;
            u8 buf[4];
            u32 written = 0;
            ASSERT_TRUE(EncodeCodePoint(buf, buf + 4, &written, cp, kind)) << kind << " " << cp;
            const u32 expected = kind == kTextUtf8 ? Utf8Length(cp)
                                 : (kind == kTextUtf16Le || kind == kTextUtf16Be) ? (cp < 0x10000 ? 2u : 4u)
                                                                                  : 4u;
            ASSERT_EQ(written, expected) << kind << " " << cp;
            u32 consumed = 0, back = 0;
            ASSERT_TRUE(DecodeCodePoint(buf, buf + written, &consumed, &back, kind)) << kind << " " << cp;
            ASSERT_EQ(consumed, written);
            // U+FEFF in UTF-8 is the byte-order mark, which decodes to 0.
            ASSERT_EQ(back, kind == kTextUtf8 && cp == 0xFEFF ? 0u : cp) << "kind " << kind;
        }
    }
}

TEST(TextCodecRoundTrip, SurrogateValuesSurviveUtf8AndUtf32) {
    for (int kind : {kTextUtf8, kTextUtf32Le, kTextUtf32Be}) {
        for (u32 cp = 0xD800; cp <= 0xDFFF; ++cp) {
            const auto bytes = Enc(cp, kind);
            const Decoded d = Dec(bytes, kind);
            ASSERT_TRUE(d.ok);
            ASSERT_EQ(d.cp, cp);
        }
    }
}

// ---- exact bytes --------------------------------------------------------------------

TEST(TextCodecBytes, KnownSequences) {
    using B = std::vector<u8>;
    EXPECT_EQ(Enc(0x80, kTextUtf8), (B{0xC2, 0x80}));
    EXPECT_EQ(Enc(0x800, kTextUtf8), (B{0xE0, 0xA0, 0x80}));
    EXPECT_EQ(Enc(0x20AC, kTextUtf8), (B{0xE2, 0x82, 0xAC}));
    EXPECT_EQ(Enc(0x1F600, kTextUtf8), (B{0xF0, 0x9F, 0x98, 0x80}));
    EXPECT_EQ(Enc(0x10FFFF, kTextUtf8), (B{0xF4, 0x8F, 0xBF, 0xBF}));
    EXPECT_EQ(Enc(0x1F600, kTextUtf16Be), (B{0xD8, 0x3D, 0xDE, 0x00}));
    EXPECT_EQ(Enc(0x1F600, kTextUtf16Le), (B{0x3D, 0xD8, 0x00, 0xDE}));
    EXPECT_EQ(Enc(0x1F600, kTextUtf32Le), (B{0x00, 0xF6, 0x01, 0x00}));
    EXPECT_EQ(Enc(0x1F600, kTextUtf32Be), (B{0x00, 0x01, 0xF6, 0x00}));
    EXPECT_EQ(Enc(0x1234, kTextCodePage), (B{0x34}));  // the low byte

    struct Case {
        B bytes;
        int kind;
        u32 cp, consumed;
    };
    const Case cases[] = {
        {{0xC3, 0xA9}, kTextUtf8, 0xE9, 2},
        {{0xE2, 0x82, 0xAC, 0x41}, kTextUtf8, 0x20AC, 3},
        {{0xEF, 0xBB, 0xBF, 0x41}, kTextUtf8, 0, 3},  // the byte-order mark
        {{0x3D, 0xD8, 0x00, 0xDE}, kTextUtf16Le, 0x1F600, 4},
        {{0xD8, 0x3D, 0xDE, 0x00}, kTextUtf16Be, 0x1F600, 4},
        {{0x78, 0x56, 0x34, 0x12}, kTextUtf32Be, kInvalidCodePoint, 4},  // no code point
    };
    for (const Case& c : cases) {
        const Decoded d = Dec(c.bytes, c.kind);
        EXPECT_TRUE(d.ok);
        EXPECT_EQ(d.cp, c.cp);
        EXPECT_EQ(d.consumed, c.consumed);
    }
}

// ---- malformed input ------------------------------------------------------------------

TEST(TextCodecMalformed, Utf8BadBytesConsumeOne) {
    const std::vector<std::vector<u8>> bad = {
        {0x80},                    // stray continuation
        {0xBF, 0x41},              // stray continuation
        {0xC0, 0x80},              // overlong zero
        {0xC1, 0xBF},              // overlong
        {0xE0, 0x80, 0x80},        // overlong three-byte
        {0xF0, 0x80, 0x80, 0x80},  // overlong four-byte
        {0xF4, 0x90, 0x80, 0x80},  // above 0x10FFFF
        {0xF5, 0x80, 0x80, 0x80},  // no such lead
        {0xFF},
        {0xC3, 0x41},              // continuation missing
        {0xE2, 0x82, 0x41},        // third byte not a continuation
        {0xE2, 0x41},              // bad, and short: still invalid, not "incomplete"
        {0xF0, 0x9F, 0x98, 0x41},
    };
    for (const auto& b : bad) {
        const Decoded d = Dec(b, kTextUtf8);
        EXPECT_TRUE(d.ok);
        EXPECT_EQ(d.cp, kInvalidCodePoint) << std::hex << int(b[0]);
        EXPECT_EQ(d.consumed, 1u) << std::hex << int(b[0]);
    }
}

TEST(TextCodecMalformed, TruncatedSequencesFailWithoutConsuming) {
    const std::vector<u8> full[] = {{0xC3, 0xA9}, {0xE2, 0x82, 0xAC}, {0xF0, 0x9F, 0x98, 0x80}};
    for (const auto& f : full) {
        for (size_t n = 1; n < f.size(); ++n) {
            const Decoded d = Dec(std::vector<u8>(f.begin(), f.begin() + n), kTextUtf8);
            EXPECT_FALSE(d.ok);
            EXPECT_EQ(d.consumed, 0u);
        }
    }
    Decoded d = Dec({0x41}, kTextUtf16Le);  // odd byte
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.consumed, 0u);
    d = Dec({0x3D, 0xD8, 0x00}, kTextUtf16Le);  // high surrogate cut off
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.consumed, 2u);
    d = Dec({0x00, 0x01, 0xF6}, kTextUtf32Be);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.consumed, 0u);
    d = Dec({}, kTextCodePage);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.consumed, 0u);
}

TEST(TextCodecMalformed, LoneSurrogatesInUtf16AreInvalid) {
    Decoded d = Dec({0x3D, 0xD8, 0x41, 0x00}, kTextUtf16Le);  // high, then 'A'
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.cp, kInvalidCodePoint);
    EXPECT_EQ(d.consumed, 2u);  // 'A' is read next
    d = Dec({0xD8, 0x3D, 0xD8, 0x3D}, kTextUtf16Be);  // high, high
    EXPECT_EQ(d.cp, kInvalidCodePoint);
    EXPECT_EQ(d.consumed, 2u);
    d = Dec({0x00, 0xDE, 0x41, 0x00}, kTextUtf16Le);  // low alone
    EXPECT_EQ(d.cp, kInvalidCodePoint);
    EXPECT_EQ(d.consumed, 2u);
}

TEST(TextCodecMalformed, BadArgumentsFail) {
    u8 b[4] = {0x41, 0, 0, 0};
    u32 n = 7, cp = 0;
    EXPECT_FALSE(DecodeCodePoint(b, b + 4, &n, &cp, 7));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(DecodeCodePoint(nullptr, nullptr, &n, &cp, kTextUtf8));
    EXPECT_FALSE(DecodeCodePoint(b + 4, b, &n, &cp, kTextUtf8));
    EXPECT_FALSE(DecodeCodePoint(b, b + 4, nullptr, &cp, kTextUtf8));
    EXPECT_FALSE(EncodeCodePoint(b, b + 4, &n, 0x41, 0));
    EXPECT_FALSE(EncodeCodePoint(b, b + 4, nullptr, 0x41, kTextUtf8));
}

TEST(TextCodecMalformed, RandomBytesAlwaysMakeProgressOrStopAtTheEnd) {
    std::mt19937 rng(12345);
    for (int kind = kTextCodePage; kind <= kTextUtf32Be; ++kind) {
        for (int round = 0; round < 2000; ++round) {
            const size_t n = rng() % 12;
            std::vector<u8> bytes(n);
            for (auto& b : bytes) b = static_cast<u8>(rng() & 1 ? 0x80 | (rng() & 0x7F) : rng());
            u8* p = new u8[n + 1];
            for (size_t i = 0; i < n; ++i) p[i] = bytes[i];
            const u8* pos = p;
            const u8* end = p + n;
            while (pos < end) {
                u32 consumed = 0, cp = 0;
                const bool ok = DecodeCodePoint(pos, end, &consumed, &cp, kind);
                ASSERT_LE(consumed, static_cast<u32>(end - pos));
                if (ok) {
                    ASSERT_GT(consumed, 0u);
                    ASSERT_TRUE(cp <= kMaxCodePoint || cp == kInvalidCodePoint);
                } else if (consumed == 0) {
                    break;
                }
                pos += consumed;
            }
            delete[] p;
        }
    }
}

// ---- encoding limits ---------------------------------------------------------------------

TEST(TextCodecEncode, RefusesWhatDoesNotFitOrCannotBeHeld) {
    EXPECT_TRUE(Enc(0x10000, kTextCodePage).empty());
    EXPECT_TRUE(Enc(0x110000, kTextUtf8).empty());
    EXPECT_TRUE(Enc(0x110000, kTextUtf16Le).empty());  // would be a bogus surrogate pair
    EXPECT_TRUE(Enc(0xFFFFFFFF, kTextUtf16Be).empty());
    EXPECT_EQ(Enc(0x110000, kTextUtf32Le).size(), 4u);
    for (u32 room = 0; room < 4; ++room) {
        EXPECT_TRUE(Enc(0x1F600, kTextUtf8, room).empty()) << room;
        EXPECT_TRUE(Enc(0x1F600, kTextUtf16Le, room).empty()) << room;
        EXPECT_TRUE(Enc(0x41, kTextUtf32Be, room).empty()) << room;
    }
    EXPECT_TRUE(Enc(0x20AC, kTextUtf8, 2).empty());
    EXPECT_TRUE(Enc(0x41, kTextUtf16Be, 1).empty());
    EXPECT_TRUE(Enc(0x41, kTextCodePage, 0).empty());
}

}  // namespace
