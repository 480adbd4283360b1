#include "Core/TextCompare.h"
#include "Core/ValueTypes.h"

#include <gtest/gtest.h>

TEST(TextCompare, NullEqualsEmptyAndBytesCompareUnsigned) {
    EXPECT_EQ(StrCompare(nullptr, ""), 0);
    EXPECT_EQ(StrCompare(nullptr, nullptr), 0);
    EXPECT_EQ(StrCompare(nullptr, "a"), -1);
    EXPECT_EQ(StrCompare("a", nullptr), 1);
    EXPECT_EQ(StrCompare("\xE9", "z"), 1);
    EXPECT_EQ(StrCompare("abc", "abd"), -1);
    EXPECT_EQ(StrCompare("abc", "ab"), 1);
    EXPECT_EQ(StrCompareNoCase("ABC", "abc"), 0);
    EXPECT_EQ(StrCompareNoCase("", nullptr), 0);
    EXPECT_EQ(StrCompareNoCase("Abd", "abC"), 1);
    EXPECT_EQ(WStrCompare(nullptr, u""), 0);
    EXPECT_EQ(WStrCompare(u"a", nullptr), 1);
    EXPECT_EQ(WStrCompare(u"\xFFFF", u"z"), 1);
    EXPECT_EQ(WStrNCompare(u"abcX", u"abcY", 3), 0);
    EXPECT_EQ(WStrNCompare(u"abcX", u"abcY", 4), -1);
}

TEST(ValueTypes, BoolClampAndTimeRange) {
    Bool b(7);
    EXPECT_TRUE(b.IsTrue());
    b.AndAssign(2);
    EXPECT_TRUE(b.IsFalse());
    Bool c(1);
    c.AndAssign(3);
    EXPECT_EQ(c.value, 1u);
    EXPECT_EQ(Clamp(5, 0, 3), 3);
    EXPECT_EQ(Clamp(-1, 0, 3), 0);
    EXPECT_EQ(Clamp(1, 4, 2), 2);
    TimeRange u = TimeRange::Union({2.0f, 3.0f}, {1.0f, 2.5f});
    EXPECT_EQ(u.start, 1.0f);
    EXPECT_EQ(u.end, 3.0f);
    Flags f;
    f.Set(5);
    EXPECT_TRUE(f.Has(4));
    f.Clear(4);
    EXPECT_FALSE(f.Has(4));
    EXPECT_TRUE(IsBlank(9) && IsBlank(32) && !IsBlank(10));
    EXPECT_TRUE(IsNewline(10) && !IsNewline(13));
}

TEST(ValueTypes, BitArrayStraddlesWords) {
    u32 words[2] = {0, 0};
    BitArray::Set(words, 30, 5, 0x1B);  // 11011b
    EXPECT_EQ(words[0], 0xC0000000u);
    EXPECT_EQ(words[1], 0x6u);
    EXPECT_EQ(BitArray::Get(words, 30, 5), 0x1Bu);
    BitArray::Set(words, 0, 32, 0x12345678);
    EXPECT_EQ(BitArray::Get(words, 0, 32), 0x12345678u);
    EXPECT_EQ(words[1], 0x6u);
    // Every field width at every offset round-trips and leaves its neighbours alone.
    for (u32 width = 1; width <= 32; ++width) {
        for (u32 at = 0; at + width <= 64; ++at) {
            u32 w[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
            BitArray::Set(w, at, width, 0);
            EXPECT_EQ(BitArray::Get(w, at, width), 0u);
            const u64 all = (static_cast<u64>(w[1]) << 32) | w[0];
            const u64 field = (width == 64 ? ~0ull : ((1ull << width) - 1)) << at;
            ASSERT_EQ(all | field, ~0ull) << width << " at " << at;
            ASSERT_EQ(all & field, 0ull);
        }
    }
}

TEST(ValueTypes, BlobReusesBlockAndComparesBytes) {
    Blob a;
    a.Assign("abcd", 4);
    const u8* first = a.data();
    a.Assign("wxyz", 4);
    EXPECT_EQ(a.data(), first);
    Blob b;
    b.Assign("wxyz", 4);
    EXPECT_FALSE(Blob::NotEquals(a, b));
    b.Assign("wxy", 3);
    EXPECT_TRUE(Blob::NotEquals(a, b));
    Blob e1, e2;
    EXPECT_FALSE(Blob::NotEquals(e1, e2));
    static const char foreign[] = "borrowed";
    Blob c;
    c.Borrow(foreign, 8);
    EXPECT_TRUE(c.IsBorrowed());
    EXPECT_EQ(c.data(), reinterpret_cast<const u8*>(foreign));
    c.Resize(2);  // a borrowed block is never freed; resizing makes an owned one
    EXPECT_FALSE(c.IsBorrowed());
    EXPECT_EQ(c.size(), 2u);
}
