#include "Core/String.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <string.h>

#include <cmath>
#include <string>

#include "Core/Memory.h"
#include "Core/WString.h"

namespace {

std::string Text(const String& s) { return std::string(s.c_str(), s.length); }

void ExpectEmpty(const String& s) {
    EXPECT_EQ(s.data, nullptr);
    EXPECT_EQ(s.length, 0u);
    EXPECT_EQ(s.borrowed, 0u);
}

// ---- construction and ownership -------------------------------------------------------

TEST(StringConstruct, EmptyTextsHoldNoBuffer) {
    ExpectEmpty(String::FromText(nullptr));
    ExpectEmpty(String::FromText(""));
    ExpectEmpty(String::CopyConstruct(String()));
    ExpectEmpty(String::FromBuffer(nullptr, 5, true));
    ExpectEmpty(String::FromBuffer(const_cast<char*>("abc"), 0, true));
    ExpectEmpty(String::FromBuffer(static_cast<char*>(MemAlloc(1)), 0, false));  // freed, not leaked
    ExpectEmpty(String::FromWString(WString()));
    EXPECT_STREQ(String().c_str(), "");
}

TEST(StringConstruct, CopiesAndTakeOvers) {
    String a = String::FromText("hello");
    String b(a);
    EXPECT_NE(b.data, a.data);
    EXPECT_EQ(Text(b), "hello");
    EXPECT_EQ(Text(String::FromBuffer(const_cast<char*>("abcd"), 3, true)), "abc");
    char* heap = static_cast<char*>(MemAlloc(4));
    memcpy(heap, "xyz", 4);
    String taken = String::FromBuffer(heap, 3, false);
    EXPECT_EQ(taken.data, heap);  // ASan reports a leak or double free otherwise
    String z = String::FromChar(0);
    EXPECT_EQ(z.length, 1u);
    EXPECT_EQ(z.data[1], 0);
}

TEST(StringConstruct, FromWStringTakesLowBytesAndDropsPairs) {
    const char16_t units[] = {u'A', 0x00E9, 0x20AC, 0xD83D, 0xDE00, u'b', 0};
    const String s = String::FromWString(WString(units));
    EXPECT_EQ(Text(s), "A\xE9\xAC" "b");
    EXPECT_EQ(s.data[4], 0);
    const char16_t only[] = {0xD83D, 0xDE00, 0};
    ExpectEmpty(String::FromWString(WString(only)));
}

TEST(StringOwnership, BorrowedTextIsNeverFreed) {
    char foreign[] = "outside";
    {
        String view = String::Borrow(foreign, 7);
        EXPECT_EQ(view.borrowed, 1u);
        String copy(view);
        EXPECT_EQ(copy.borrowed, 0u);
        EXPECT_NE(copy.data, foreign);
        copy.Release();
        view.Release();  // frees nothing: ASan would report freeing a stack buffer
        EXPECT_EQ(view.data, nullptr);
        EXPECT_EQ(view.borrowed, 1u);
    }
    EXPECT_STREQ(foreign, "outside");
}

TEST(StringOwnership, ChangingABorrowedStringOwnsTheResult) {
    char foreign[] = "abc";
    String s = String::Borrow(foreign, 3);
    s.Append(String("def"));  // the new buffer must be freed later (LeakSanitizer)
    EXPECT_EQ(s.borrowed, 0u);
    EXPECT_EQ(Text(s), "abcdef");
    String t = String::Borrow(foreign, 3);
    t.Release();
    t.SetConcatText(String("x"), "y");
    EXPECT_EQ(t.borrowed, 0u);
    String u = String::Borrow(foreign, 3);
    u.AssignText("new");
    EXPECT_EQ(u.borrowed, 0u);
    EXPECT_STREQ(foreign, "abc");
}

TEST(StringOwnership, Moves) {
    String a("text");
    char* p = a.data;
    String b(static_cast<String&&>(a));
    EXPECT_EQ(b.data, p);
    ExpectEmpty(a);
    a = static_cast<String&&>(b);
    EXPECT_EQ(a.data, p);
    ExpectEmpty(b);

    char foreign[] = "view";
    String view = String::Borrow(foreign, 4);
    String moved(static_cast<String&&>(view));
    EXPECT_EQ(moved.borrowed, 0u);
    EXPECT_NE(moved.data, foreign);
    EXPECT_EQ(Text(moved), "view");
    EXPECT_EQ(view.data, foreign);  // still a valid view
    moved = static_cast<String&&>(view);
    EXPECT_NE(moved.data, foreign);
}

// ---- assignment and joining ---------------------------------------------------------------

TEST(StringAssign, SelfAndAliasing) {
    String s("abc");
    char* p = s.data;
    s.Assign(s);
    EXPECT_EQ(s.data, p);
    s = s;
    EXPECT_EQ(Text(s), "abc");
    s.AssignText(s.data + 1);  // text inside our own buffer
    EXPECT_EQ(Text(s), "bc");
    s.AssignText(nullptr);
    ExpectEmpty(s);
    s.AssignText("");
    ExpectEmpty(s);
    String e;
    String f("x");
    f.Assign(e);
    ExpectEmpty(f);
}

TEST(StringAssign, AppendAndConcat) {
    String s("ab");
    s.Append(s);
    EXPECT_EQ(Text(s), "abab");
    EXPECT_EQ(s.data[4], 0);
    String e;
    e.Append(String());
    ExpectEmpty(e);
    e.Append(String("z"));
    EXPECT_EQ(Text(e), "z");

    EXPECT_EQ(Text(String::Concat(String("a"), String("b"))), "ab");
    EXPECT_EQ(Text(String::ConcatText(String("a"), "bc")), "abc");
    EXPECT_EQ(Text(String::ConcatText(String("a"), nullptr)), "a");
    EXPECT_EQ(Text(String::TextConcat("xy", String("z"))), "xyz");
    EXPECT_EQ(Text(String::TextConcat(nullptr, String())), "");
    ExpectEmpty(String::Concat(String(), String()));
    EXPECT_EQ(Text(String("a") + "b" + String("c")), "abc");
    EXPECT_EQ(Text("<" + String("a")), "<a");

    String t("mid");
    t.SetTextConcat(t.data, t);  // both operands alias the target
    EXPECT_EQ(Text(t), "midmid");
}

// ---- search -----------------------------------------------------------------------------------

TEST(StringFind, ForwardAndBackward) {
    const String s("abcabc");
    EXPECT_EQ(s.Find(String("bc"), false), 1);
    EXPECT_EQ(s.Find(String("bc"), true), 4);
    EXPECT_EQ(s.Find(String("x"), false), -1);
    EXPECT_EQ(s.Find(String("x"), true), -1);
    EXPECT_EQ(s.Find(String("abcabc"), true), 0);
    EXPECT_EQ(s.Find(String("abcabcd"), true), -1);
    EXPECT_EQ(s.Find(String("c"), true), 5);
    EXPECT_EQ(String().Find(String("a"), false), -1);
    EXPECT_EQ(String().Find(String("a"), true), -1);
    EXPECT_EQ(s.Find(String(), false), -1);
    EXPECT_EQ(s.Find(String(), true), -1);
}

TEST(StringFind, NoCase) {
    const String s("Hello World");
    EXPECT_EQ(s.FindNoCase(String("WORLD"), false), 6);
    EXPECT_EQ(s.FindNoCase(String("o"), true), 7);
    EXPECT_EQ(s.FindNoCase(String("xyz"), false), -1);
    EXPECT_EQ(String().FindNoCase(String("a"), false), -1);
}

TEST(StringSubstring, ClampsAndNeverOverruns) {
    const String s("hello");
    EXPECT_EQ(Text(s.Substring(2, -1)), "llo");
    EXPECT_EQ(Text(s.Substring(-3, 1)), "he");
    ExpectEmpty(s.Substring(3, 1));
    EXPECT_EQ(Text(s.Substring(1, 99)), "ello");
    EXPECT_EQ(Text(s.Substring(0, 0)), "h");
    EXPECT_EQ(Text(s.Substring(4, 4)), "o");
    ExpectEmpty(s.Substring(5, -1));
    ExpectEmpty(s.Substring(-10, -5));  // both ends before the text
    ExpectEmpty(s.Substring(-10, -2));
    ExpectEmpty(s.Substring(0x7FFFFFFF, -1));
    EXPECT_EQ(Text(s.Substring(-0x7FFFFFFF - 1, 0x7FFFFFFF)), "hello");
    ExpectEmpty(String().Substring(0, -1));
}

// ---- numbers ------------------------------------------------------------------------------------

TEST(StringNumbers, FromIntExactTexts) {
    const struct {
        int v, radix;
        const char* text;
    } cases[] = {{-42, 10, "-42"},         {0, 10, "0"},          {255, 16, "ff"},
                 {-1, 16, "ffffffff"},     {-8, 8, "37777777770"}, {35, 36, "z"},
                 {2147483647, 10, "2147483647"}, {-2147483647 - 1, 10, "-2147483648"},
                 {10, 1, ""},              {10, 37, ""},           {10, 0, ""},
                 {10, -10, ""},            {10, 1000, ""}};  // never handed to a runtime library
    for (const auto& c : cases) EXPECT_EQ(Text(String::FromInt(c.v, c.radix)), c.text) << c.v << " " << c.radix;
    EXPECT_EQ(Text(String::FromInt(-1, 2)), std::string(32, '1'));
    EXPECT_EQ(Text(String::FromWord(0xFFFF, 10)), "65535");
    EXPECT_EQ(Text(String::FromWord(0xABCD, 16)), "abcd");
}

TEST(StringNumbers, FromRealExactTexts) {
    const struct {
        double v;
        int digits;
        const char* text;
    } cases[] = {
        {1.5, 7, "1.5"}, {100, 7, "100."}, {1e20, 7, "1.e+020"}, {0.0001234, 3, "0.000123"},
        {0.00001234, 3, "1.23e-005"}, {0, 7, "0."}, {-0.0, 5, "-0."}, {-2.5, 3, "-2.5"},
        {123456789, 4, "1.235e+008"}, {1234567, 7, "1234567."}, {12345678, 7, "1.234568e+007"},
        {9.9999, 3, "10."},  // rounding moves the exponent
        {0.5, 1, "0.5"}, {0.0001, 1, "0.0001"}, {1e300, 3, "1.e+300"}, {-1e-300, 2, "-1.e-300"},
        {0.1, 17, "0.10000000000000001"}, {1e16, 17, "10000000000000000."}, {123.456, 2, "1.2e+002"},
        {3.14159, 0, "3."},  // digits below 1 count as 1
        {1.0 / 3.0, 500, "0.3333333333333333148296162562473909929395"},  // and above 40 as 40
        {INFINITY, 7, "inf"}, {-INFINITY, 7, "-inf"}, {NAN, 7, "nan"},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(String::FromReal(c.v, c.digits)), c.text);
    EXPECT_EQ(Text(String::FromReal(-1.7976931348623157e308, 40)).size(), 47u);
}

TEST(StringNumbers, ToIntTakesOnlyWholeNumbersInRange) {
    const struct {
        const char* text;
        bool ok;
        int value;
    } cases[] = {
        {"", true, 0}, {" 42", true, 42}, {"42 ", false, 0}, {"12.7", true, 12}, {"-12.7", true, -12},
        {"12abc", false, 0}, {"-2147483648", true, -2147483647 - 1}, {"2147483647.9", true, 2147483647},
        {"2147483648", false, 0}, {"-2147483649", false, 0}, {"99999999999", false, 0},
        {"0000000000000000000000042", true, 42}, {"-0", true, 0}, {"+5", true, 5},
        {"0x10", true, 16},  // strtod reads hexadecimal
        {"-", false, 0}, {"--1", false, 0}, {"1-", false, 0}, {"-1e30", false, 0}, {"nan", false, 0},
    };
    for (const auto& c : cases) {
        int v = 99;
        EXPECT_EQ(String(c.text).ToInt(&v), c.ok) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    int v = 99;
    EXPECT_FALSE(String::FromChar(0).ToInt(&v));  // a zero byte is a character too
    EXPECT_FALSE(String::FromBuffer(const_cast<char*>("1\0002"), 3, true).ToInt(&v));
    EXPECT_FALSE(String("1").ToInt(nullptr));
}

TEST(StringNumbers, ToFloatFollowsStrtod) {
    const float inf = INFINITY;
    const struct {
        const char* text;
        bool ok;
        float value;
    } cases[] = {
        {"1.5", true, 1.5f}, {"\t-0.25", true, -0.25f}, {"1e3", true, 1000.0f}, {"1.5f", false, 0.0f},
        {".", false, 0.0f}, {"+.5", true, 0.5f}, {"0x1p3", true, 8.0f},
        {"1e-400", true, 0.0f},  // underflows, as strtod does
        {"-inf", true, -inf}, {"1e300", true, inf}, {"-1e300", true, -inf},
    };
    for (const auto& c : cases) {
        float f = 99;
        EXPECT_EQ(String(c.text).ToFloat(&f), c.ok) << c.text;
        EXPECT_EQ(f, c.value) << c.text;
    }
    EXPECT_FALSE(String("1").ToFloat(nullptr));
}

TEST(StringNumbers, FormatsAndParsesInTheLocale) {
    const char* old = setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    bool found = false;
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "German_Germany.1252", "French_France.1252"})
        if (!found && setlocale(LC_NUMERIC, name)) found = true;
    if (!found) GTEST_SKIP() << "no locale with a decimal comma installed";
    const String s = String::FromReal(1.5, 7);
    const String h = String::FromReal(100, 7);
    float f = 0;
    const bool parsed = s.ToFloat(&f);
    setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(Text(s), "1,5");
    EXPECT_EQ(Text(h), "100,");
    EXPECT_TRUE(parsed);
    EXPECT_EQ(f, 1.5f);
}

// ---- comparison ----------------------------------------------------------------------------------

TEST(StringCompare, NullSafeThreeWay) {
    String assigned;
    assigned.AssignText("");
    EXPECT_TRUE(String::Equals(String(), assigned));
    EXPECT_TRUE(String::Less(String(), String("a")));
    EXPECT_FALSE(String::Less(String("a"), String()));
    EXPECT_TRUE(String::Greater(String("b"), String("a")));
    EXPECT_EQ(String::Compare(String("abc"), String("abd")), -1);
    EXPECT_EQ(String::Compare(String("\xE9"), String("z")), 1);  // unsigned bytes
    EXPECT_EQ(String::CompareText(String(), nullptr), 0);
    EXPECT_EQ(String::CompareText(String("a"), nullptr), 1);
    EXPECT_TRUE(TextEqualsString(nullptr, String()));
    EXPECT_FALSE(TextEqualsString("a", String("A")));
    EXPECT_EQ(StringOrder()(String("B"), String("a")), -1);
    EXPECT_EQ(StringOrderNoCase()(String("B"), String("a")), 1);
    EXPECT_EQ(StringOrderNoCase()(String("ABC"), String("abc")), 0);
}

// ---- free text functions ---------------------------------------------------------------------------

TEST(StringTextFunctions, Trim) {
    EXPECT_EQ(Text(Trim(String("  \tab c\t "))), "ab c");
    ExpectEmpty(Trim(String("   ")));
    ExpectEmpty(Trim(String()));
    EXPECT_EQ(Text(Trim(String("x"))), "x");
    EXPECT_EQ(Text(Trim(String(" x"))), "x");
    EXPECT_EQ(Text(Trim(String("x "))), "x");
    EXPECT_EQ(Text(Trim(String("\nx\n"))), "\nx\n");  // only spaces and tabs
    EXPECT_EQ(EmptyString().length, 0u);
    EXPECT_EQ(EmptyString().data, nullptr);
}

TEST(StringTextFunctions, TrimRunsAndLower) {
    EXPECT_EQ(Text(TrimLeading(String("xxabx"), 'x')), "abx");
    ExpectEmpty(TrimLeading(String("xxx"), 'x'));
    ExpectEmpty(TrimLeading(String(), 'x'));
    EXPECT_EQ(Text(TrimTrailing(String("xabxx"), 'x')), "xab");
    EXPECT_EQ(Text(TrimTrailing(String("xxx"), 'x')), "x");
    ExpectEmpty(TrimTrailing(String(), 'x'));
    EXPECT_EQ(Text(TrimTrailing(String("a.000"), '0')), "a.");
    EXPECT_EQ(Text(ToLower(String("MiXeD 123"))), "mixed 123");
    ExpectEmpty(ToLower(String()));
}

TEST(StringAccess, CharAtStopsAtTheEnd) {
    const String s("ab");
    EXPECT_EQ(s.CharAt(1), 'b');
    EXPECT_EQ(s.CharAt(2), 0);
    EXPECT_EQ(s.CharAt(1000), 0);
    EXPECT_EQ(String().CharAt(0), 0);
    EXPECT_EQ(*s.At(1), 'b');
}

}  // namespace
