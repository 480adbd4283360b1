// The markup parser: turns a marked-up wide text (tags in angle brackets with attributes,
// plain text between them, raw blocks) into a tree of text elements. The text is split
// with the tokenizer's markup table, the attributes inside a tag with its script table.
//
// Problems do not stop a parse: they clear one program-wide success flag and the parser
// reads on, so a damaged document still shows what can be shown. Nesting is bounded
// (kMaxDepth levels), so hostile input cannot run the recursion out of stack; a tag
// deeper than that keeps no children and what follows it is read beside it.
#pragma once

#include "Core/Types.h"
#include "Core/WString.h"

class Lexer;
class TextElement;

class Markup {
public:
    // Tags nested deeper than this below the document keep no children.
    static constexpr u32 kMaxDepth = 256;

    // Appends the top-level elements of the text to the document's children (nothing is
    // replaced), sets the document's cursor to its first child and returns the flag.
    // Every element made takes the inline object factory of the element it is read into.
    static bool Parse(TextElement* document, const WString& text);
    // Fills `element` (whose parent is already set) from the lexer, a markup lexer over
    // the source: true when an element was read, false at the end of the input or at a
    // closing tag.
    static bool ParseElement(TextElement* element, Lexer& lexer);
    // Reads `name = value` pairs (and names alone, with empty values) into the element's
    // attributes. False on "=" without a name before it or a value after it, and on an
    // unterminated quote; what was entered before stays.
    static bool ParseAttributes(TextElement* element, const WString& attributeText);

    // The program-wide success flag of the last parse.
    static bool Succeeded();
    // Sets the flag back to true (tests start from a known state with it).
    static void ResetSuccess();

private:
    struct Context;
    static bool ParseElementAt(TextElement* element, Context& context, u32 depth);
    static bool ReadAttributes(TextElement* element, const char16_t* text, u32 length, Lexer& script);
};
