// A table-driven tokenizer over UTF-16 text. A Lexer is filled with tables (blank
// characters, digits, quote characters, operator texts and keywords, each with a token
// number) and then hands out one token at a time. Two tables are built in: the script
// table (attributes inside a tag) and the markup table (tags and text).
#pragma once

#include "Core/Array.h"
#include "Core/OrderedMap.h"
#include "Core/Types.h"
#include "Core/WString.h"

class ArchiveStream;
class Stream;

// Character classes. Quote characters live in a map of their own.
enum LexClass : u8 {
    kLexPlain = 0,
    kLexBlank = 2,
    kLexDigit = 3,
    kLexOperatorStart = 4,
};

// What NextToken reports.
enum LexStatus : int {
    kLexError = 0,  // an unterminated quote; the error record says where it opened
    kLexToken = 1,
    kLexEnd = 2,
};

// Token numbers the lexer gives itself, and those of the two built-in tables that
// callers test for.
enum LexTokenNumber : i32 {
    kTokenNumber = 403,
    kTokenWord = 404,

    kScriptDoubleQuoted = 401,
    kScriptSingleQuoted = 402,
    kScriptAssign = 61,

    kMarkupOpen = 1,        // "<"
    kMarkupOpenClose = 2,   // "</"
    kMarkupEnd = 3,         // ">"
    kMarkupEmptyEnd = 4,    // "/>"
    kMarkupRawBegin = -1,   // "<RAW>"
    kMarkupRawEnd = -2,     // "</RAW>"
};

struct LexToken {
    i32 number = 0;
    WString text;  // empty for keywords
};

struct LexError {
    u32 set = 0;       // 1 once an error has been recorded
    u32 position = 0;  // byte position of the opening quote
};

class Lexer {
public:
    Lexer();
    Lexer(const Lexer&) = delete;
    Lexer& operator=(const Lexer&) = delete;
    ~Lexer();

    // Every character of the text gets class kLexBlank or kLexDigit.
    void SetBlanks(const char16_t* text);
    void SetDigits(const char16_t* text);
    // A quoted text runs from `open` to `close`; with escapes a backslash makes the
    // character after it literal and is dropped.
    void AddQuote(char16_t open, char16_t close, i32 number, bool escapes);
    // An operator text; its first character becomes an operator start. Entering a text
    // again changes its number. False for an empty text or when memory runs out.
    bool AddToken(const char16_t* text, i32 number);
    bool AddToken(const WString& text, i32 number);
    // Case-sensitive keywords; a word equal to one gives its number and no text.
    bool AddKeyword(const char16_t* text, i32 number);
    bool AddKeyword(const WString& text, i32 number);

    // The built-in tables, added to whatever the lexer already holds.
    void LoadScriptTable();
    void LoadMarkupTable();

    // Reads `count` units at `text`, which are not copied and must outlive the reading.
    // Any earlier input is dropped. False (and no input) when the text is too long for
    // byte positions to fit in 31 bits.
    bool SetSource(const char16_t* text, u32 count);

    // The next token. With peek the reading position stays where it was. On an
    // unterminated quote the reading stands at the end of the input, so the next call
    // reports kLexEnd.
    int NextToken(LexToken& token, LexError& error, bool peek = false);

    // The input stream and the reading position in bytes from the start of the text.
    Stream* Input();
    i32 Position() const;
    // False for a position outside the text or inside a character.
    bool SetPosition(i32 bytePosition);
    const char16_t* Source() const { return source; }
    u32 SourceLength() const { return sourceLength; }

    u8 ClassOf(char16_t c) const;
    bool IsQuote(char16_t c) const;

private:
    struct Quote {
        char16_t close = 0;
        u8 escapes = 0;
        i32 number = 0;
    };
    // A text in the pool: offset and length in units.
    struct PoolText {
        u32 offset = 0;
        u32 length = 0;
        i32 number = 0;
    };

    void SetClass(char16_t c, u8 cls);
    bool AddPooled(Array<PoolText>& table, const char16_t* text, u32 length, i32 number);
    int Compare(const PoolText& entry, const char16_t* text, u32 length) const;
    // Length of the longest operator that matches at unit `at`, 0 when none; its
    // number goes to *number.
    u32 MatchOperator(u32 at, i32* number) const;
    const PoolText* FindKeyword(const char16_t* text, u32 length) const;
    u32 Cursor() const;
    void Commit(u32 at);

    static constexpr u8 kQuoteBit = 0x80;
    static constexpr u8 kClassMask = 0x07;

    u8 asciiClass[128];          // class, plus kQuoteBit for quote openers
    IntMap wideClasses;          // characters from 128 on; absent means plain
    IntMapOf<Quote> quotes;
    Array<char16_t> pool;        // the operator and keyword texts, back to back
    Array<PoolText> operators;   // sorted by text, so texts with one first unit lie together
    Array<PoolText> keywords;    // sorted by text
    ArchiveStream* input = nullptr;
    const char16_t* source = nullptr;
    u32 sourceLength = 0;
};
