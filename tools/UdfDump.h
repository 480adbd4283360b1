// A readable text form of binary data-description documents, for authoring models and
// camera paths and for looking into them. Text and binary convert into each other
// without loss: every byte of every value, the kinds and counts, the order of children,
// the type table and the sharing of nodes.
//
//   udf-text 1
//   type "pos"                          // composite types, members in order:
//     member "x" "real" 0 0             //   name, type, isArray, count
//   end
//   node "Scene" "Node" {               // an object; "node ... [3] {" an array of objects
//     value "keys" "real" [2] = real 1.5 -0 0x7fc00000
//     value "title" "string" = text "a \"quoted\" line\n"
//     value "mask" "byte" = hex 00ff10
//     value "ids" "int" = int -1 7
//     node "mat" "Material" @1 { }     // @1 labels a node that is shared
//   }
//   ref @1                              // a reference to the labelled node
//
// A value's bytes are the concatenation of its segments: "real" words (printed so
// that they read back to the same bits, or as 0x and the bits), "int" words, "hex"
// bytes and "text" strings (escapes \" \\ \n \r \t \xHH). "//" starts a comment.
#pragma once

#include "Core/Types.h"
#include "Core/UdfNode.h"
#include "Core/UdfWriter.h"

#include <string>
#include <vector>

// The tree and types of a parsed text, owned here.
class UdfTextDocument {
public:
    UdfTextDocument();
    ~UdfTextDocument();
    UdfTextDocument(const UdfTextDocument&) = delete;
    UdfTextDocument& operator=(const UdfTextDocument&) = delete;

    // An in-memory root whose children are the top-level nodes (UdfBinaryWriter::WriteRoot
    // writes it).
    UdfNode& Root() { return *root; }
    UdfTypeTable& Types() { return types; }
    void Clear();

private:
    UdfNode* root;
    UdfTypeTable types;
};

// The children of root and the types as text. False (with a message) for a tree the
// text cannot express: a reference to a node that nothing owns, a value with a size and
// no data, nesting past the depth limit.
bool UdfDumpText(const UdfNode& root, const UdfTypeTable& types, std::string* out, std::string* error);
// Parses text into doc (emptied first). False with a message naming the line.
bool UdfParseText(const std::string& text, UdfTextDocument* doc, std::string* error);

// Whole conversions: a binary document in memory to text, text to a binary document.
bool UdfBinaryToText(const void* bytes, std::size_t n, std::string* text, std::string* error);
bool UdfTextToBinary(const std::string& text, std::vector<u8>* bytes, std::string* error);
