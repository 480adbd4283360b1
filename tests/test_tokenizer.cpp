#include "Core/Tokenizer.h"

#include "Core/Stream.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// The tokens of a text as "number:text" words, then "END" or "ERR@<byte position>".
// Units beyond ASCII show as "?".
std::string Lex(Lexer& lexer, const std::u16string& text) {
    lexer.SetSource(text.data(), static_cast<u32>(text.size()));
    std::string out;
    for (;;) {
        LexToken token;
        LexError error;
        const int status = lexer.NextToken(token, error, false);
        if (status == kLexEnd) return out + "END";
        if (status == kLexError) return out + "ERR@" + std::to_string(error.position);
        out += std::to_string(token.number) + ":";
        for (u32 i = 0; i < token.text.length; ++i) out += token.text.data[i] < 128 ? char(token.text.data[i]) : '?';
        out += " ";
    }
}

std::string Script(const std::u16string& text) {
    Lexer lexer;
    lexer.LoadScriptTable();
    return Lex(lexer, text);
}

std::string Markup(const std::u16string& text) {
    Lexer lexer;
    lexer.LoadMarkupTable();
    return Lex(lexer, text);
}

}  // namespace

TEST(Tokenizer, ScriptTable) {
    // One operator of each group, with the blanks of the table around and between.
    EXPECT_EQ(Script(u" (\t]\r{ -- $ :: => ^ >> ~ || >= === != = %= #= <<= ~=\n"),
              "1:( 4:] 5:{ 28:-- 31:$ 82::: 90:=> 37:^ 39:>> 41:~ 46:|| 54:>= 57:=== 56:!= 61:= 68:%= 69:#= 71:<<= "
              "73:~= END");
    // Keywords are case-sensitive, whole words, and carry no text.
    EXPECT_EQ(Script(u"class Class classy subclass continue run(break)"),
              "214: 404:Class 404:classy 215: 235: 232: 1:( 234: 2:) END");
    EXPECT_EQ(Script(u"entity skill signal action throw catch allow deny exact block return"),
              "201: 202: 203: 204: 210: 211: 212: 213: 216: 231: 233: END");
}

TEST(Tokenizer, LongestOperatorWins) {
    EXPECT_EQ(Script(u"<<= <<<= !=== !=!"), "71:<<= 38:<< 55:<= 58:!== 61:= 56:!= 42:! END");
    EXPECT_EQ(Script(u"a<=b x+++y"), "404:a 55:<= 404:b 404:x 27:++ 21:+ 404:y END");
    EXPECT_EQ(Markup(u"</RAW> </RAW <RAW>"), "-2:</RAW> 2:</ 404:RAW -1:<RAW> END");
}

TEST(Tokenizer, NumbersAndWords) {
    EXPECT_EQ(Script(u"12.75 12abc 7. x"), "403:12.75 404:12abc 403:7. 404:x END");
    // A number at the very end keeps its last digit; a second "." ends it.
    EXPECT_EQ(Script(u"42"), "403:42 END");
    EXPECT_EQ(Script(u"1.2.3 5+6"), "403:1.2 33:. 403:3 403:5 21:+ 403:6 END");
    // Digits directly before a quote stay a number.
    EXPECT_EQ(Script(u"9\"a\""), "403:9 401:a END");
    // A word runs on over letters of any script and digits.
    EXPECT_EQ(Script(u"na\u00efve_2\u4e2d"), "404:na?ve_2? END");
}

TEST(Tokenizer, QuotedTexts) {
    EXPECT_EQ(Script(u"\"a b\" 'it\\'s' \"\" \"a\\\\\"b ab\"c\""), "401:a b 402:it's 401: 401:a\\ 404:b 404:ab 401:c END");
    // Unterminated: the byte position of the opening quote, then the end.
    EXPECT_EQ(Script(u"x = \"open"), "404:x 61:= ERR@8");
    EXPECT_EQ(Script(u"'ends in escape\\'"), "ERR@0");
    Lexer lexer;
    lexer.LoadScriptTable();
    const std::u16string text = u"  'abc";
    lexer.SetSource(text.data(), static_cast<u32>(text.size()));
    LexToken token;
    LexError error;
    EXPECT_EQ(lexer.NextToken(token, error, false), kLexError);
    EXPECT_EQ(error.set, 1u);
    EXPECT_EQ(lexer.NextToken(token, error, false), kLexEnd);
}

TEST(Tokenizer, CustomTables) {
    Lexer lexer;
    lexer.SetBlanks(u",");
    lexer.SetDigits(u"01");
    lexer.AddQuote(u'[', u']', 7, false);
    EXPECT_TRUE(lexer.AddToken(u"->", 9));
    EXPECT_FALSE(lexer.AddToken(u"", 10));
    EXPECT_TRUE(lexer.AddToken(u"->", 11));  // entered again: the new number
    EXPECT_EQ(Lex(lexer, u"[a\\]->,10,12"), "7:a\\ 11:-> 403:10 404:12 END");
    // An operator start that begins no operator belongs to a word.
    EXPECT_EQ(Lex(lexer, u"a-b->c,-"), "404:a-b 11:-> 404:c 404:- END");
    lexer.SetBlanks(u"\u3000");
    lexer.AddQuote(u'\u00ab', u'\u00bb', 8, true);
    EXPECT_EQ(Lex(lexer, u"\u00abq\u00bb\u3000w"), "8:q 404:w END");
}

TEST(Tokenizer, MarkupTable) {
    EXPECT_EQ(Markup(u"<b>bold</b>"), "1:< 404:b 3:> 404:bold 2:</ 404:b 3:> END");
    // Digits are plain, line breaks are no blanks, quotes are plain characters.
    EXPECT_EQ(Markup(u"<br/> 12\n\"x\" a/b"), "1:< 404:br 4:/> 404:12\n\"x\" 404:a/b END");
}

TEST(Tokenizer, EndOfInputPeekAndPositions) {
    EXPECT_EQ(Script(u""), "END");
    EXPECT_EQ(Script(u" \t\r\n  "), "END");
    Lexer lexer;
    LexToken token;
    LexError error;
    EXPECT_EQ(lexer.NextToken(token, error, false), kLexEnd);  // no source at all
    lexer.LoadScriptTable();
    const std::u16string text = u"ab  == cd";
    lexer.SetSource(text.data(), static_cast<u32>(text.size()));
    ASSERT_EQ(lexer.NextToken(token, error, true), kLexToken);
    EXPECT_EQ(lexer.Position(), 0);
    ASSERT_EQ(lexer.NextToken(token, error, false), kLexToken);
    ASSERT_EQ(lexer.NextToken(token, error, false), kLexToken);
    EXPECT_EQ(lexer.Position(), 12);
    // Stepping back by the length of a token's text reads it again.
    EXPECT_TRUE(lexer.SetPosition(lexer.Position() - 2 * static_cast<i32>(token.text.length)));
    ASSERT_EQ(lexer.NextToken(token, error, false), kLexToken);
    EXPECT_EQ(token.number, 51);
    EXPECT_FALSE(lexer.SetPosition(3));
    EXPECT_FALSE(lexer.SetPosition(20));
    // The stream moved onto an odd byte reads from that character.
    ASSERT_TRUE(lexer.Input()->Seek(15, kSeekSet));
    ASSERT_EQ(lexer.NextToken(token, error, false), kLexToken);
    EXPECT_EQ(token.text.length, 2u);
    EXPECT_EQ(lexer.NextToken(token, error, false), kLexEnd);
}

TEST(Tokenizer, GarbageAlwaysMakesProgressAndEnds) {
    std::mt19937 random(1234);
    const std::u16string alphabet = u" \t\r\n\"'\\<>/=!&|.0123456789abcRAW\u00ab\xd800\xffff";
    for (int round = 0; round < 300; ++round) {
        std::u16string text;
        const u32 n = random() % 64;
        for (u32 i = 0; i < n; ++i)
            text += (round & 1) ? static_cast<char16_t>(random()) : alphabet[random() % alphabet.size()];
        for (int table = 0; table < 2; ++table) {
            Lexer lexer;
            if (table) lexer.LoadScriptTable(); else lexer.LoadMarkupTable();
            lexer.SetSource(text.data(), static_cast<u32>(text.size()));
            LexToken token;
            LexError error;
            for (i32 last = -1; lexer.NextToken(token, error, false) == kLexToken; last = lexer.Position())
                ASSERT_GT(lexer.Position(), last) << "no progress in round " << round;
        }
    }
}
