#include "Core/Tokenizer.h"

#include "Core/ArchiveStream.h"
#include "Core/Memory.h"

#include <cstring>

namespace {

u32 TextLength(const char16_t* text) {
    u32 n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

}  // namespace

Lexer::Lexer() : pool(0, 64), operators(0, 16), keywords(0, 16) { std::memset(asciiClass, 0, sizeof asciiClass); }

Lexer::~Lexer() { delete input; }

// ---- tables ----------------------------------------------------------------------

void Lexer::SetClass(char16_t c, u8 cls) {
    if (c < 128)
        asciiClass[c] = static_cast<u8>((asciiClass[c] & kQuoteBit) | cls);
    else if (cls == kLexPlain)
        wideClasses.Remove(c);
    else
        wideClasses.Insert(c, cls);
}

u8 Lexer::ClassOf(char16_t c) const {
    if (c < 128) return asciiClass[c] & kClassMask;
    if (wideClasses.count == 0) return kLexPlain;
    return static_cast<u8>(wideClasses.Get(c));
}

bool Lexer::IsQuote(char16_t c) const {
    if (c < 128) return (asciiClass[c] & kQuoteBit) != 0;
    return quotes.count != 0 && quotes.Find(c) != nullptr;
}

void Lexer::SetBlanks(const char16_t* text) {
    for (u32 i = 0, n = TextLength(text); i < n; ++i) SetClass(text[i], kLexBlank);
}

void Lexer::SetDigits(const char16_t* text) {
    for (u32 i = 0, n = TextLength(text); i < n; ++i) SetClass(text[i], kLexDigit);
}

void Lexer::AddQuote(char16_t open, char16_t close, i32 number, bool escapes) {
    Quote q;
    q.close = close;
    q.escapes = escapes ? 1 : 0;
    q.number = number;
    if (!quotes.Insert(open, q)) return;
    if (open < 128) asciiClass[open] |= kQuoteBit;
}

int Lexer::Compare(const PoolText& entry, const char16_t* text, u32 length) const {
    const char16_t* a = pool.data + entry.offset;
    const u32 n = entry.length < length ? entry.length : length;
    for (u32 i = 0; i < n; ++i)
        if (a[i] != text[i]) return a[i] < text[i] ? -1 : 1;
    if (entry.length == length) return 0;
    return entry.length < length ? -1 : 1;
}

bool Lexer::AddPooled(Array<PoolText>& table, const char16_t* text, u32 length, i32 number) {
    // Binary search for the text's place; an existing text only changes its number.
    i32 lo = 0, hi = table.count;
    while (lo < hi) {
        const i32 mid = lo + (hi - lo) / 2;
        const int c = Compare(table[mid], text, length);
        if (c == 0) {
            table[mid].number = number;
            return true;
        }
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    const u32 offset = static_cast<u32>(pool.count);
    if (static_cast<u64>(offset) + length > 0x7FFFFFFFu || !pool.Resize(static_cast<i32>(offset + length))) return false;
    std::memcpy(pool.data + offset, text, length * sizeof(char16_t));
    if (!table.Resize(table.count + 1)) {
        pool.Resize(static_cast<i32>(offset));
        return false;
    }
    for (i32 i = table.count - 1; i > lo; --i) table[i] = table[i - 1];
    table[lo].offset = offset;
    table[lo].length = length;
    table[lo].number = number;
    return true;
}

bool Lexer::AddToken(const char16_t* text, i32 number) {
    const u32 n = TextLength(text);
    if (n == 0 || !AddPooled(operators, text, n, number)) return false;
    SetClass(text[0], kLexOperatorStart);
    return true;
}

bool Lexer::AddToken(const WString& text, i32 number) { return AddToken(text.data, number); }

bool Lexer::AddKeyword(const char16_t* text, i32 number) {
    const u32 n = TextLength(text);
    return n != 0 && AddPooled(keywords, text, n, number);
}

bool Lexer::AddKeyword(const WString& text, i32 number) { return AddKeyword(text.data, number); }

void Lexer::LoadScriptTable() {
    SetBlanks(u" \n\t\r");
    SetDigits(u"0123456789");
    AddQuote(u'"', u'"', kScriptDoubleQuoted, true);
    AddQuote(u'\'', u'\'', kScriptSingleQuoted, true);
    static const struct {
        const char16_t* text;
        i32 number;
    } kOperators[] = {
        {u"(", 1},    {u")", 2},    {u"[", 3},    {u"]", 4},    {u"{", 5},    {u"}", 6},    {u"+", 21},
        {u"-", 22},   {u"*", 23},   {u"/", 24},   {u"%", 26},   {u"++", 27},  {u"--", 28},  {u"$", 31},
        {u"#", 32},   {u".", 33},   {u",", 34},   {u"?", 35},   {u";", 36},   {u":", 81},   {u"::", 82},
        {u"=>", 90},  {u"^", 37},   {u"<<", 38},  {u">>", 39},  {u"~", 41},   {u"!", 42},   {u"&", 43},
        {u"&&", 44},  {u"|", 45},   {u"||", 46},  {u"==", 51},  {u">", 52},   {u"<", 53},   {u">=", 54},
        {u"<=", 55},  {u"!=", 56},  {u"===", 57}, {u"!==", 58}, {u"=", 61},   {u"&=", 62},  {u"|=", 63},
        {u"+=", 64},  {u"-=", 65},  {u"*=", 66},  {u"/=", 67},  {u"%=", 68},  {u"#=", 69},  {u"<<=", 71},
        {u">>=", 72}, {u"~=", 73},
    };
    for (const auto& op : kOperators) AddToken(op.text, op.number);
    static const struct {
        const char16_t* text;
        i32 number;
    } kKeywords[] = {
        {u"entity", 201}, {u"skill", 202},    {u"signal", 203}, {u"action", 204}, {u"throw", 210},  {u"catch", 211},
        {u"allow", 212},  {u"deny", 213},     {u"class", 214},  {u"subclass", 215}, {u"exact", 216}, {u"block", 231},
        {u"run", 232},    {u"return", 233},   {u"break", 234},  {u"continue", 235},
    };
    for (const auto& kw : kKeywords) AddKeyword(kw.text, kw.number);
}

void Lexer::LoadMarkupTable() {
    SetBlanks(u" ");
    AddToken(u"<", kMarkupOpen);
    AddToken(u"</", kMarkupOpenClose);
    AddToken(u">", kMarkupEnd);
    AddToken(u"/>", kMarkupEmptyEnd);
    AddToken(u"<RAW>", kMarkupRawBegin);
    AddToken(u"</RAW>", kMarkupRawEnd);
}

// ---- input -----------------------------------------------------------------------

bool Lexer::SetSource(const char16_t* text, u32 count) {
    delete input;
    input = nullptr;
    source = nullptr;
    sourceLength = 0;
    if (!text) count = 0;
    // Positions are reported as 32-bit signed byte offsets.
    if (count > 0x3FFFFFFFu) return false;
    input = new ArchiveStream();
    input->Open(String(), kStreamRead);
    input->BorrowBytes(text, count * 2);
    source = text;
    sourceLength = count;
    return true;
}

Stream* Lexer::Input() { return input; }

u32 Lexer::Cursor() const {
    // The stream's position is the reading position of record; a stream moved onto an
    // odd byte counts from the character that byte belongs to.
    if (!input) return 0;
    const i32 bytes = input->Tell();
    if (bytes <= 0) return 0;
    const u32 unit = static_cast<u32>(bytes) / 2;
    return unit < sourceLength ? unit : sourceLength;
}

i32 Lexer::Position() const { return static_cast<i32>(Cursor() * 2); }

bool Lexer::SetPosition(i32 bytePosition) {
    if (!input || bytePosition < 0 || (bytePosition & 1) != 0) return false;
    if (static_cast<u32>(bytePosition) / 2 > sourceLength) return false;
    return input->Seek(bytePosition, kSeekSet);
}

void Lexer::Commit(u32 at) { input->Seek(static_cast<i32>(at * 2), kSeekSet); }

// ---- matching --------------------------------------------------------------------

u32 Lexer::MatchOperator(u32 at, i32* number) const {
    const char16_t first = source[at];
    // Lower bound of the operators whose first unit is `first`.
    i32 lo = 0, hi = operators.count;
    while (lo < hi) {
        const i32 mid = lo + (hi - lo) / 2;
        if (pool.data[operators[mid].offset] < first)
            lo = mid + 1;
        else
            hi = mid;
    }
    const u32 left = sourceLength - at;
    u32 best = 0;
    for (i32 i = lo; i < operators.count; ++i) {
        const PoolText& op = operators[i];
        const char16_t* text = pool.data + op.offset;
        if (text[0] != first) break;
        if (op.length <= best || op.length > left) continue;
        if (std::memcmp(text, source + at, op.length * sizeof(char16_t)) == 0) {
            best = op.length;
            *number = op.number;
        }
    }
    return best;
}

const Lexer::PoolText* Lexer::FindKeyword(const char16_t* text, u32 length) const {
    i32 lo = 0, hi = keywords.count;
    while (lo < hi) {
        const i32 mid = lo + (hi - lo) / 2;
        const int c = Compare(keywords[mid], text, length);
        if (c == 0) return &keywords[mid];
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return nullptr;
}

// ---- reading ---------------------------------------------------------------------

int Lexer::NextToken(LexToken& token, LexError& error, bool peek) {
    token.number = 0;
    token.text.Release();
    if (!input) return kLexEnd;
    const u32 end = sourceLength;
    const char16_t* s = source;
    u32 pos = Cursor();

    while (pos < end && ClassOf(s[pos]) == kLexBlank) ++pos;
    if (pos >= end) {
        if (!peek) Commit(end);
        return kLexEnd;
    }

    const char16_t c = s[pos];
    if (IsQuote(c)) {
        const Quote& q = quotes.Get(c);
        const u32 open = pos;
        // First pass: find the closing character and count what the text keeps.
        u32 kept = 0;
        u32 at = pos + 1;
        bool closed = false;
        while (at < end) {
            char16_t ch = s[at++];
            if (ch == q.close) {
                closed = true;
                break;
            }
            if (q.escapes && ch == u'\\') {
                if (at >= end) break;
                ++at;
            }
            ++kept;
        }
        if (!closed) {
            error.set = 1;
            error.position = open * 2;
            if (!peek) Commit(end);
            return kLexError;
        }
        char16_t* text = kept ? MemAllocArray<char16_t>(kept + 1) : nullptr;
        if (text) {
            u32 n = 0;
            for (u32 i = open + 1; n < kept; ++i) {
                char16_t ch = s[i];
                if (q.escapes && ch == u'\\') ch = s[++i];
                text[n++] = ch;
            }
            text[kept] = 0;
            token.text = WString::FromBuffer(text, kept, false);
        }
        token.number = q.number;
        if (!peek) Commit(at);
        return kLexToken;
    }

    u8 cls = ClassOf(c);
    const u32 start = pos;
    if (cls == kLexDigit) {
        while (pos < end && ClassOf(s[pos]) == kLexDigit) ++pos;
        if (pos < end && s[pos] == u'.') {
            ++pos;
            while (pos < end && ClassOf(s[pos]) == kLexDigit) ++pos;
        }
        // A plain character right after the digits makes the run a word. A quote does
        // not: the word would end there at once, so the digits stay a number.
        const bool wordFollows = pos < end && ClassOf(s[pos]) == kLexPlain && !IsQuote(s[pos]);
        if (!wordFollows) {
            token.number = kTokenNumber;
            token.text = WString::FromBuffer(const_cast<char16_t*>(s + start), pos - start, true);
            if (!peek) Commit(pos);
            return kLexToken;
        }
    } else if (cls == kLexOperatorStart && operators.count != 0) {
        i32 number = 0;
        const u32 length = MatchOperator(pos, &number);
        if (length != 0) {
            token.number = number;
            token.text = WString::FromBuffer(const_cast<char16_t*>(s + pos), length, true);
            if (!peek) Commit(pos + length);
            return kLexToken;
        }
        ++pos;  // an operator start that begins no operator is part of a word
    } else {
        ++pos;
    }

    // A word: everything up to a blank, a quote, a matching operator or the end.
    i32 unused = 0;
    while (pos < end) {
        const char16_t ch = s[pos];
        const u8 k = ClassOf(ch);
        if (k == kLexBlank || IsQuote(ch)) break;
        if (k == kLexOperatorStart && MatchOperator(pos, &unused) != 0) break;
        ++pos;
    }
    const u32 length = pos - start;
    if (const PoolText* keyword = keywords.count ? FindKeyword(s + start, length) : nullptr) {
        token.number = keyword->number;
    } else {
        token.number = kTokenWord;
        token.text = WString::FromBuffer(const_cast<char16_t*>(s + start), length, true);
    }
    if (!peek) Commit(pos);
    return kLexToken;
}
