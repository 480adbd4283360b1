#include "Core/UdfText.h"

#include "Core/TextData.h"

namespace {
bool IsLineBreak(char16_t c) { return c == u'\r' || c == u'\n'; }
}  // namespace

bool UdfText::LoadStream(Stream& stream, TextDataTree& document, MemFile* files, int kind) {
    return TextData::LoadForm(stream, document, files, kind, TextData::kLineForm);
}

bool UdfText::ParseStatement(TextDataTree& document, const WString& statement, TextNode*& current,
                             MemFile* files) {
    return TextData::ParseStatementForm(document, statement, current, files, TextData::kLineForm);
}

TextNode* UdfText::ResolvePath(TextDataTree& document, const WString& path, TextNode* scope) {
    return TextData::ResolvePath(document, path, scope);
}

void UdfText::SkipLine(const char16_t* units, u32 length, u32& position) {
    while (position < length && !IsLineBreak(units[position])) ++position;
    while (position < length && IsLineBreak(units[position])) ++position;
}

u32 UdfText::NextStatement(const char16_t* units, u32 length, u32& position, u32* start) {
    for (;;) {
        while (position < length && IsLineBreak(units[position])) ++position;
        if (position < length && units[position] == u';') {
            SkipLine(units, length, position);
            continue;
        }
        break;
    }
    *start = position;
    while (position < length) {
        const char16_t c = units[position];
        if (IsLineBreak(c) || c == u';') break;
        ++position;
    }
    return position - *start;
}

WString UdfText::NextStatement(const WString& text, u32& position) {
    u32 start = 0;
    const u32 n = NextStatement(text.data, text.length, position, &start);
    if (n == 0) return WString();
    return WString::FromBuffer(text.data + start, n, true);
}
