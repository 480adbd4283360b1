#include "Core/WString.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Core/Memory.h"
#include "Core/String.h"
#include "Core/TextCodec.h"

namespace {

std::u16string Units(const WString& w) { return w.data ? std::u16string(w.data, w.length) : std::u16string(); }

WString W(const char16_t* text) { return WString(text); }

void ExpectEmpty(const WString& w) {
    EXPECT_EQ(w.data, nullptr);
    EXPECT_EQ(w.length, 0u);
}

WString Decoded(const std::vector<u8>& bytes, int kind) {
    // A heap block of exactly the byte count, so that ASan catches any overread.
    u8* p = bytes.empty() ? nullptr : new u8[bytes.size()];
    for (size_t i = 0; i < bytes.size(); ++i) p[i] = bytes[i];
    WString w;
    w.Decode(p, static_cast<u32>(bytes.size()), kind);
    delete[] p;
    if (w.data) {
        EXPECT_EQ(w.data[w.length], 0) << "decoded text must be terminated";
    }
    return w;
}

std::vector<u8> Encoded(const WString& w, int kind, u32* total = nullptr) {
    const u32 need = w.Encode(nullptr, 0, kind);
    std::vector<u8> out(need + 1, 0xAA);
    const u32 again = w.Encode(out.data(), need + 1, kind);
    EXPECT_EQ(again, need);
    EXPECT_EQ(out[need], 0);
    if (total) *total = need;
    out.resize(need);
    return out;
}

bool Skipped(u32 cp) { return (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFEFF; }

// Every code point 1..0x10FFFF but the surrogates and U+FEFF (whose UTF-8 form is
// the byte-order mark, which ends a decoded text), as UTF-16.
WString AllCodePoints() {
    std::u16string s;
    for (u32 cp = 1; cp <= kMaxCodePoint; ++cp) {
        if (Skipped(cp)) continue;
        if (cp < 0x10000) {
            s.push_back(static_cast<char16_t>(cp));
        } else {
            s.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            s.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        }
    }
    return W(s.c_str());
}

// ---- construction ----------------------------------------------------------------------------

TEST(WStringConstruct, TextsUnitsAndBuffers) {
    ExpectEmpty(WString(nullptr));
    ExpectEmpty(WString::FromBuffer(nullptr, 4, true));
    ExpectEmpty(WString::FromNarrow(nullptr));
    ExpectEmpty(WString::FromNarrow(""));
    WString e(u"");  // an empty, non-null text keeps a one-unit buffer
    EXPECT_EQ(e.length, 0u);
    ASSERT_NE(e.data, nullptr);
    EXPECT_EQ(e.data[0], 0);
    WString a(u"abc");
    WString b(a);
    EXPECT_NE(b.data, a.data);
    EXPECT_EQ(Units(b), u"abc");
    EXPECT_EQ(Units(WString::FromChar(static_cast<char>(0xE9))), std::u16string(1, char16_t(0xFFE9)));
    EXPECT_EQ(Units(WString::FromUnit(0xE9)), std::u16string(1, char16_t(0xE9)));
    EXPECT_EQ(WString::FromUnit(0).length, 1u);
    char16_t raw[] = {u'x', u'y', u'z'};
    EXPECT_EQ(Units(WString::FromBuffer(raw, 2, true)), u"xy");
    char16_t* heap = MemAllocArray<char16_t>(3);
    heap[0] = u'h';
    heap[1] = u'i';
    heap[2] = 0;
    WString taken = WString::FromBuffer(heap, 2, false);
    EXPECT_EQ(taken.data, heap);  // ASan reports a leak or double free otherwise
}

TEST(WStringConstruct, NarrowNumbersAndStrings) {
    EXPECT_EQ(Units(WString::FromNarrow("\xE9t\xE9")), u"\u00e9t\u00e9");  // C locale: Latin-1
    EXPECT_EQ(Units(WString::FromInt(-42, 10)), u"-42");
    EXPECT_EQ(Units(WString::FromInt(-1, 16)), u"ffffffff");
    EXPECT_EQ(Units(WString::FromReal(100, 7)), u"100.");
    EXPECT_EQ(Units(WString::FromReal(1e20, 7)), u"1.e+020");
    // A String's bytes end at its first zero.
    EXPECT_EQ(Units(WString::FromString(String::FromBuffer(const_cast<char*>("ab\0cd"), 5, true))), u"ab");
    WString n(u"old");
    n.AssignNarrow("q");
    EXPECT_EQ(Units(n), u"q");
    n.AssignNarrow(nullptr);
    ExpectEmpty(n);
}

TEST(WStringConstruct, CodePageRoundTripThroughString) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    const WString w = WString::FromNarrow(all.c_str());
    ASSERT_EQ(w.length, 255u);
    for (u32 i = 0; i < 255; ++i) ASSERT_EQ(w.data[i], i + 1);
    const String back = String::FromWString(w);
    ASSERT_EQ(back.length, 255u);
    EXPECT_EQ(std::string(back.data, back.length), all);
}

TEST(WStringConstruct, AssignAndMoves) {
    WString s(u"abc");
    char16_t* p = s.data;
    s.Assign(s);
    EXPECT_EQ(s.data, p);
    s.AssignText(s.data + 1);  // text inside our own buffer
    EXPECT_EQ(Units(s), u"bc");
    s.Assign(W(u""));
    ExpectEmpty(s);
    s.AssignText(nullptr);
    ExpectEmpty(s);
    WString m(u"move");
    p = m.data;
    WString n(static_cast<WString&&>(m));
    EXPECT_EQ(n.data, p);
    ExpectEmpty(m);
    WString o;
    o = static_cast<WString&&>(n);
    EXPECT_EQ(o.data, p);
    ExpectEmpty(n);
}

// ---- decoding -----------------------------------------------------------------------------------

TEST(WStringDecode, KnownTexts) {
    EXPECT_EQ(Units(Decoded({'h', 0xC3, 0xA9, 0xE2, 0x82, 0xAC}, kTextUtf8)), u"h\u00e9\u20ac");
    EXPECT_EQ(Units(Decoded({0xF0, 0x9F, 0x98, 0x80, 'x'}, kTextUtf8)), u"\U0001F600x");
    EXPECT_EQ(Units(Decoded({0x3D, 0xD8, 0x00, 0xDE}, kTextUtf16Le)), u"\U0001F600");
    EXPECT_EQ(Units(Decoded({0x00, 0x41, 0x00, 0x42}, kTextUtf16Be)), u"AB");
    EXPECT_EQ(Units(Decoded({0x00, 0xF6, 0x01, 0x00, 0x41, 0, 0, 0}, kTextUtf32Le)), u"\U0001F600A");
    ExpectEmpty(Decoded({}, kTextUtf8));
    WString w(u"old");
    w.Decode(nullptr, 5, kTextUtf8);
    ExpectEmpty(w);
}

TEST(WStringDecode, ZeroAndBomEndTheText) {
    ExpectEmpty(Decoded({0xEF, 0xBB, 0xBF, 'a', 'b'}, kTextUtf8));
    EXPECT_EQ(Units(Decoded({'a', 0xEF, 0xBB, 0xBF, 'b'}, kTextUtf8)), u"a");
    EXPECT_EQ(Units(Decoded({0xFF, 0xFE, 'a', 0}, kTextUtf16Le)), u"\ufeffa");  // only UTF-8 has the rule
    EXPECT_EQ(Units(Decoded({'a', 0, 'b'}, kTextCodePage)), u"a");
    EXPECT_EQ(Units(Decoded({'a', 0, 'b'}, kTextUtf8)), u"a");
    EXPECT_EQ(Units(Decoded({'a', 0, 0, 0, 'b', 0}, kTextUtf16Le)), u"a");
}

TEST(WStringDecode, MalformedInputBecomesReplacementOrIsDropped) {
    const std::u16string fffd(1, char16_t(0xFFFD));
    EXPECT_EQ(Units(Decoded({'a', 0x80, 'b'}, kTextUtf8)), u"a" + fffd + u"b");
    EXPECT_EQ(Units(Decoded({0xC3, 'b'}, kTextUtf8)), fffd + u"b");
    EXPECT_EQ(Units(Decoded({0xC0, 0x80}, kTextUtf8)), fffd + fffd);  // no overlong zero
    EXPECT_EQ(Units(Decoded({'a', 0xE2, 0x82}, kTextUtf8)), u"a");     // incomplete tail
    EXPECT_EQ(Units(Decoded({'a', 0xF0}, kTextUtf8)), u"a");
    EXPECT_EQ(Units(Decoded({0x41, 0x00, 0x42}, kTextUtf16Le)), u"A");  // odd byte count
    EXPECT_EQ(Units(Decoded({0x41, 0x00, 0x3D, 0xD8}, kTextUtf16Le)), u"A");
    EXPECT_EQ(Units(Decoded({0x41, 0x00, 0x3D, 0xD8, 0x42}, kTextUtf16Le)), u"A");
    EXPECT_EQ(Units(Decoded({0x3D, 0xD8, 0x41, 0x00}, kTextUtf16Le)), fffd + u"A");
    EXPECT_EQ(Units(Decoded({0x00, 0xDE, 0x41, 0x00}, kTextUtf16Le)), fffd + u"A");
    EXPECT_EQ(Units(Decoded({0xFF, 0xFF, 0xFF, 0x7F, 0x41, 0, 0}, kTextUtf32Le)), fffd);
    ExpectEmpty(Decoded({'a'}, 0));  // unknown kind: nothing decodes
    ExpectEmpty(Decoded({'a'}, 42));
}

TEST(WStringDecode, RandomBytesAlwaysTerminate) {
    std::mt19937 rng(777);
    for (int kind = 0; kind <= 7; ++kind) {
        for (int round = 0; round < 3000; ++round) {
            std::vector<u8> bytes(rng() % 40);
            for (auto& b : bytes) b = static_cast<u8>(rng() % 3 == 0 ? 0x80 | (rng() & 0x7F) : rng() | 1);
            const WString w = Decoded(bytes, kind);
            ASSERT_LE(w.length, bytes.size());
        }
    }
}

// ---- encoding ------------------------------------------------------------------------------------

TEST(WStringEncode, EveryCodePointRoundTrips) {
    const WString all = AllCodePoints();
    for (int kind : {kTextUtf8, kTextUtf16Le, kTextUtf16Be, kTextUtf32Le, kTextUtf32Be}) {
        u32 total = 0;
        const std::vector<u8> bytes = Encoded(all, kind, &total);
        u64 expected = 0;
        for (u32 cp = 1; cp <= kMaxCodePoint; ++cp) {
            if (Skipped(cp)) continue;
            expected += kind == kTextUtf8 ? (cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4)
                        : kind <= kTextUtf16Be ? (cp < 0x10000 ? 2 : 4)
                                               : 4;  // pairs are joined before encoding
        }
        ASSERT_EQ(total, expected) << "kind " << kind;
        const WString back = Decoded(bytes, kind);
        ASSERT_EQ(back.length, all.length) << "kind " << kind;
        ASSERT_TRUE(WString::Equals(back, all)) << "kind " << kind;
    }
}

TEST(WStringEncode, ExactBytes) {
    EXPECT_EQ(Encoded(W(u"\U0001F600"), kTextUtf8), (std::vector<u8>{0xF0, 0x9F, 0x98, 0x80}));
    EXPECT_EQ(Encoded(W(u"\U0001F600"), kTextUtf32Be), (std::vector<u8>{0x00, 0x01, 0xF6, 0x00}));
    EXPECT_EQ(Encoded(W(u"\U0001F600"), kTextUtf16Be), (std::vector<u8>{0xD8, 0x3D, 0xDE, 0x00}));
    EXPECT_EQ(Encoded(W(u"a\U0001F600b"), kTextCodePage), (std::vector<u8>{'a', 'b'}));
    EXPECT_EQ(Encoded(W(u"\u20ac"), kTextCodePage), (std::vector<u8>{0xAC}));
    // Lone surrogates keep their unit value, so UTF-8 carries them through.
    const char16_t lone[] = {0xD800, u'x', 0xDC01, 0};
    EXPECT_EQ(Encoded(W(lone), kTextUtf8), (std::vector<u8>{0xED, 0xA0, 0x80, 'x', 0xED, 0xB0, 0x81}));
    EXPECT_EQ(Units(Decoded(Encoded(W(lone), kTextUtf8), kTextUtf8)), std::u16string(lone));
    EXPECT_EQ(W(lone).Encode(nullptr, 0, 17), 0u);
}

TEST(WStringEncode, ShortBufferKeepsACleanPrefix) {
    char buf[8];
    memset(buf, 0x55, sizeof buf);
    EXPECT_EQ(W(u"abcde").Encode(buf, 3, kTextCodePage), 5u);
    EXPECT_EQ(buf[0], 'a');
    EXPECT_EQ(buf[1], 'b');
    EXPECT_EQ(buf[2], 0);
    EXPECT_EQ(buf[3], 0x55);  // nothing past the buffer

    memset(buf, 0x55, sizeof buf);
    EXPECT_EQ(W(u"a\u20acb").Encode(buf, 4, kTextUtf8), 5u);
    EXPECT_STREQ(buf, "a");  // the euro sign did not fit whole, and 'b' may not jump ahead of it
    memset(buf, 0x55, sizeof buf);
    EXPECT_EQ(W(u"a\u20acb").Encode(buf, 5, kTextUtf8), 5u);
    EXPECT_STREQ(buf, "a\xE2\x82\xAC");
    memset(buf, 0x55, sizeof buf);
    EXPECT_EQ(W(u"a\u20acb").Encode(buf, 6, kTextUtf8), 5u);
    EXPECT_STREQ(buf, "a\xE2\x82\xAC" "b");
    memset(buf, 0x55, sizeof buf);
    EXPECT_EQ(W(u"ab").Encode(buf, 1, kTextUtf8), 2u);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[1], 0x55);
    EXPECT_EQ(W(u"ab").Encode(buf, 0, kTextUtf8), 2u);
    EXPECT_EQ(W(u"ab").Encode(nullptr, 100, kTextUtf8), 2u);
    EXPECT_EQ(WString().Encode(buf, 8, kTextUtf8), 0u);
    EXPECT_EQ(buf[0], 0);
}

// ---- text functions ----------------------------------------------------------------------------------

TEST(WStringText, ConcatMidInsertTrim) {
    EXPECT_EQ(Units(WString::Concat(W(u"ab"), W(u"cd"))), u"abcd");
    EXPECT_EQ(Units(WString::ConcatText(W(u"ab"), nullptr)), u"ab");
    EXPECT_EQ(Units(WString::TextConcat(u"x", W(u"y"))), u"xy");
    ExpectEmpty(WString::Concat(WString(), WString()));
    WString s(u"ab");
    s.Append(s);
    EXPECT_EQ(Units(s), u"abab");
    EXPECT_EQ(s.data[4], 0);

    const WString abcd(u"abcd");
    EXPECT_EQ(Units(abcd.Mid(1, 2)), u"bc");
    EXPECT_EQ(Units(abcd.Mid(2, -1)), u"cd");
    EXPECT_EQ(Units(abcd.Mid(-3, 0)), u"a");
    EXPECT_EQ(Units(abcd.Mid(1, 99)), u"bcd");
    ExpectEmpty(abcd.Mid(3, 1));
    ExpectEmpty(abcd.Mid(4, -1));
    ExpectEmpty(abcd.Mid(-9, -4));
    ExpectEmpty(WString().Mid(0, -1));

    EXPECT_EQ(Units(WString::Insert(abcd, 0, W(u"X"))), u"Xabcd");
    EXPECT_EQ(Units(WString::Insert(abcd, 2, W(u"XY"))), u"abXYcd");
    EXPECT_EQ(Units(WString::Insert(abcd, 3, W(u"X"))), u"abcXd");
    EXPECT_EQ(Units(WString::Insert(abcd, 4, W(u"X"))), u"abcdX");
    EXPECT_EQ(Units(WString::Insert(abcd, 99, W(u"X"))), u"abcdX");
    EXPECT_EQ(Units(WString::Insert(abcd, -1, W(u"X"))), u"abcdX");
    EXPECT_EQ(Units(WString::Insert(abcd, -7, W(u"X"))), u"abcdX");
    EXPECT_EQ(Units(WString::Insert(WString(), 0, W(u"X"))), u"X");
    EXPECT_EQ(Units(WString::Insert(abcd, 1, WString())), u"abcd");
    ExpectEmpty(WString::Insert(WString(), 3, WString()));

    EXPECT_EQ(Units(Trim(W(u"  \tab c\t "))), u"ab c");
    ExpectEmpty(Trim(W(u"   ")));
    ExpectEmpty(Trim(WString()));
    EXPECT_EQ(Units(Trim(W(u"x"))), u"x");
}

TEST(WStringText, Find) {
    const WString s(u"abcabc");
    EXPECT_EQ(s.Find(W(u"bc"), false), 1);
    EXPECT_EQ(s.Find(W(u"bc"), true), 4);
    EXPECT_EQ(s.Find(W(u"x"), false), -1);
    EXPECT_EQ(s.Find(W(u"x"), true), -1);
    EXPECT_EQ(s.Find(W(u"abcabcabc"), false), -1);
    EXPECT_EQ(s.Find(W(u"abcabc"), false), 0);
    EXPECT_EQ(s.Find(WString(), false), -1);
    EXPECT_EQ(s.Find(W(u""), true), -1);
    EXPECT_EQ(WString().Find(W(u"a"), false), -1);
    EXPECT_EQ(W(u"a\U0001F600").Find(W(u"\U0001F600"), false), 1);
}

TEST(WStringText, Numbers) {
    const char16_t embedded[] = {u'1', 0, u'2'};
    std::u16string longNumber(300, u'0');  // longer than any scratch on the stack
    longNumber += u"7";
    const struct {
        WString text;
        bool ok;
        double real;  // stored by ToReal in any case
        bool intOk;
        i32 integer;  // 0 whenever ToInt fails
    } cases[] = {
        {W(u"1.5x"), false, 1.5, false, 0},
        {W(u" -2.25"), true, -2.25, true, -2},
        {WString(), true, 0.0, true, 0},
        {W(u"1\u0662"), false, 1.0, false, 0},  // stops at the first unit that is no ASCII
        {W(u"\u00e91"), false, 0.0, false, 0},
        {WString::FromBuffer(const_cast<char16_t*>(embedded), 3, true), false, 1.0, false, 0},
        {W(u"12.9"), true, 12.9, true, 12},
        {W(u"3000000000"), true, 3e9, false, 0},
        {W(u"-2147483648"), true, -2147483648.0, true, -2147483647 - 1},
        {W(longNumber.c_str()), true, 7.0, true, 7},
    };
    for (const auto& c : cases) {
        double d = 99;
        EXPECT_EQ(c.text.ToReal(&d), c.ok);
        EXPECT_EQ(d, c.real);
        i32 i = 99;
        EXPECT_EQ(c.text.ToInt(&i), c.intOk) << c.real;
        EXPECT_EQ(i, c.integer);
    }
    EXPECT_FALSE(W(u"1").ToReal(nullptr));
    EXPECT_FALSE(W(u"1").ToInt(nullptr));
}

TEST(WStringText, Compare) {
    EXPECT_TRUE(WString::Equals(WString(), W(u"")));
    EXPECT_TRUE(WString::EqualsText(WString(), nullptr));
    EXPECT_EQ(WString::Compare(W(u"a"), W(u"b")), -1);
    EXPECT_EQ(WString::Compare(W(u"b"), W(u"a")), 1);
    EXPECT_EQ(WString::Compare(WString(), W(u"a")), -1);
    EXPECT_EQ(WString::CompareText(W(u"\u00e9"), u"z"), 1);
    EXPECT_EQ(WStringOrder()(W(u"abc"), W(u"abd")), -1);
    EXPECT_EQ(WStringOrder()(W(u"abc"), W(u"abc")), 0);
}

}  // namespace
