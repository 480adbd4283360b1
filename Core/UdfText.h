// The line form of the data-description text language (see TextData.h for the
// statement form and the grammar both share): one statement per line, ";" starts a
// comment, no escapes, and an unquoted value is kept as it is written. Quotes do not
// protect a ";", and a statement cannot go on to the next line.
#pragma once

#include "Core/Types.h"
#include "Core/WString.h"

class MemFile;
class Stream;
class TextDataTree;
class TextNode;

class UdfText {
public:
    // Reads the rest of the stream, decodes it with the encoding kind and parses it line
    // by line into document, adding to what it holds. False when the stream yields no
    // bytes (the document is then unchanged) or when any statement failed.
    static bool LoadStream(Stream& stream, TextDataTree& document, MemFile* files, int kind);

    // One statement; see TextData::ParseStatement.
    static bool ParseStatement(TextDataTree& document, const WString& statement, TextNode*& current,
                               MemFile* files);
    static TextNode* ResolvePath(TextDataTree& document, const WString& path, TextNode* scope);

    // The statement that starts at position after line breaks and comment lines: the
    // units up to the next CR, LF or ";". position stays on that character. Empty at
    // the end of the text.
    static WString NextStatement(const WString& text, u32& position);
    // The same over units[position..length): returns the statement's length and its
    // start in *start.
    static u32 NextStatement(const char16_t* units, u32 length, u32& position, u32* start);
    // Moves position past the end of its line and the line breaks after it.
    static void SkipLine(const char16_t* units, u32 length, u32& position);
};
