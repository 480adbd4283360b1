// Fuzz target for the tokenizer: the input's first byte picks the table, the rest is
// read as UTF-16 units. Every token must move the reading forward, lie inside the text
// and, for operators and words, be the very characters of the source.
#include "Core/Tokenizer.h"

#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const u8* input, std::size_t size) {
    if (size < 1 || size > (1u << 20)) return 0;
    const u8 mode = input[0];
    const u32 units = static_cast<u32>((size - 1) / 2);
    // A buffer of exactly the text's size, so that any read past it is caught.
    std::unique_ptr<char16_t[]> text(new char16_t[units ? units : 1]);
    if (units) std::memcpy(text.get(), input + 1, units * 2);

    Lexer lexer;
    if (mode & 1)
        lexer.LoadScriptTable();
    else
        lexer.LoadMarkupTable();
    if (mode & 2) {
        // A few extra entries whose texts overlap the built-in ones.
        lexer.AddToken(u"<<<", 900);
        lexer.AddQuote(u'<', u'>', 901, (mode & 4) != 0);
        lexer.AddKeyword(u"RAW", 902);
    }
    if (!lexer.SetSource(text.get(), units)) std::abort();

    i32 last = 0;
    for (u32 steps = 0;; ++steps) {
        LexToken token;
        LexError error;
        const bool peek = (mode & 8) && (steps & 1);
        const int status = lexer.NextToken(token, error, peek);
        if (status == kLexEnd) break;
        if (status == kLexError) {
            if (!error.set || error.position >= units * 2 || (error.position & 1)) std::abort();
            // A peek leaves the reading in front of the quote, a read at the end.
            if (lexer.NextToken(token, error, false) != (peek ? kLexError : kLexEnd)) std::abort();
            break;
        }
        if (status != kLexToken || steps > 2 * units + 2) std::abort();
        const i32 now = lexer.Position();
        if (peek) {
            if (now != last) std::abort();
            continue;
        }
        if (now <= last || now > static_cast<i32>(units * 2)) std::abort();
        if (token.number == kTokenWord || token.number == kTokenNumber) {
            const u32 n = token.text.length;
            if (n == 0 || 2 * n > static_cast<u32>(now)) std::abort();
            if (std::memcmp(token.text.data, text.get() + now / 2 - n, n * 2) != 0) std::abort();
        }
        last = now;
    }
    return 0;
}
