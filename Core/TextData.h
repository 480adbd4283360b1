// The data-description text language: named values, objects and arrays, parsed into a
// tree of TextNode objects. One grammar for a statement, two ways of cutting a text into
// statements: the line form (UdfText) and the statement form read here, where
// statements end with ";", line breaks carry no meaning, "//" starts a comment,
// backslashes escape, and an unquoted value that is no number names a node to copy.
//
// The parser writes no log records: it answers true or false and its callers decide
// what a failure means. Failures: a statement that is blank, an unterminated list, a
// quote left open in the statement form, an include that fails, an include cycle and
// the limits below. What a load never fails on, since real files have it: bytes after
// a zero character (the text ends there), bytes that are no character in the encoding
// (read as U+FFFD), an included file that is not there (nothing is added), and a line
// form quote cut by its line's ";" (the value is the text up to it, quote included).
#pragma once

#include "Core/Types.h"
#include "Core/WString.h"

class MemFile;
class Stream;
class TextDataTree;
class TextNode;

class TextData {
public:
    // How a text is cut into statements, and what an unquoted word value means.
    enum Form : u32 {
        kLineForm = 0,       // one statement per line, ";" comments, words are values
        kStatementForm = 1,  // ";" ends statements, "//" comments, words name nodes
    };

    // Guards against texts that would never end: array and object lists (and includes)
    // open inside one another at most this deep; a chain of includes at most this
    // long; at most this many includes in one load. Going past any of them fails the
    // load at once.
    static constexpr u32 kMaxNesting = 64;
    static constexpr u32 kMaxIncludeDepth = 16;
    static constexpr u32 kMaxIncludes = 1024;
    // Nodes one load may create (copies of nodes included): this many for each unit of
    // text read, plus kNodeAllowance.
    static constexpr u32 kNodesPerUnit = 16;
    static constexpr u32 kNodeAllowance = 65536;

    // Reads the rest of the stream, decodes it with the encoding kind (TextCodec.h) and
    // parses its statements into document, adding to what it holds. files, when given,
    // resolves the names of included files. False when the stream yields no bytes (the
    // document is then unchanged) or when any statement failed.
    static bool Load(Stream& stream, TextDataTree& document, MemFile* files, int kind);

    // Parses one statement. current is the node that names are resolved below (null:
    // the document root); "using" changes it. When the statement makes the node that
    // current points at go away, current is set to null.
    static bool ParseStatement(TextDataTree& document, const WString& statement, TextNode*& current,
                               MemFile* files);

    // Finds or creates the node a path names (a.b, a[0], a["key"], [0].b ...) below
    // scope, or below the document root when scope is null. Null only when memory runs
    // out or the load's node allowance is spent.
    static TextNode* ResolvePath(TextDataTree& document, const WString& path, TextNode* scope);

    // The statement that starts at position, with comments, line breaks and escaping
    // backslashes removed; position moves past its ";". Empty at the end of the text.
    static WString NextStatement(const WString& text, u32& position);

    // The same for any text and form: LoadText parses decoded text as Load does.
    static bool LoadForm(Stream& stream, TextDataTree& document, MemFile* files, int kind, Form form);
    static bool LoadText(const WString& text, TextDataTree& document, MemFile* files, Form form);
    static bool ParseStatementForm(TextDataTree& document, const WString& statement, TextNode*& current,
                                   MemFile* files, Form form);

    // Cuts one statement-form statement from units[position..length) into out, which
    // has room for length - position units; returns the units written. *unterminated
    // is set when the text ends inside quotes.
    static u32 CutStatement(const char16_t* units, u32 length, u32& position, char16_t* out, bool* unterminated);

    // The units at the start of text up to the first stop text that stands outside
    // quoted, bracketed and parenthesized runs. *unclosed (when given) is set when a
    // run that was entered never closes (the scan then took the rest of the text).
    static u32 ScanUntil(const char16_t* text, u32 length, const char16_t* stop, u32 stopLength,
                         bool* unclosed = nullptr);
    // The balanced run at the start of text between open and close (both included),
    // nested runs counted; 0 when text does not begin with open; the whole text when
    // the run never closes (*closed then false).
    static u32 ExtractBalanced(const char16_t* text, u32 length, char16_t open, char16_t close,
                               bool* closed = nullptr);
    // The text between an opening character at its start and the first closing
    // character that follows no backslash (backslashes stay). The text unchanged when
    // it does not begin with open or the closing character is missing; *closed tells
    // which.
    static WString Unquote(const WString& text, char16_t open, char16_t close, bool* closed = nullptr);
};
