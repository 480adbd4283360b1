// One node of a parsed data-description text: a name, a value text and its children.
// Values stay text until a reader asks for them as a number.
#pragma once

#include "Core/TextDataTree.h"
#include "Core/Types.h"
#include "Core/WString.h"

class TextNode : public TextDataTree {
public:
    // What the parser made of the node. Readers do not depend on it.
    enum Kind : u32 {
        kValue = 0,
        kObject = 1,
        kArray = 2,
    };

    u32 kind = kValue;
    // The next index tried when an element without a name is added; reset whenever the
    // node is assigned.
    u32 indexCounter = 0;
    WString name;
    WString value;  // empty for objects and arrays

    TextNode() = default;
    // Deletes the children (through TextDataTree).
    ~TextNode() override = default;

    WString GetString() const { return value; }
    // The value as a whole number, truncated toward zero; 0 when the text is empty, not
    // wholly a number, or out of the 32-bit range.
    i32 GetInt() const;
    // The value as a real number; a numeric beginning followed by other characters
    // gives the number of the beginning; 0 when there is none.
    double GetReal() const;
    // The children "0", "1" and "2" read with GetReal; a missing child reads 0.
    void GetVec3(float* xyz) const;

    // Makes this node a copy of other: kind, index counter, name, value and a deep copy
    // of every child, in the same order and with the cursor on the same child. Each
    // copy owns its children, so the two trees live and die independently. The old
    // children of this node are deleted; other may be this node, or lie above or below
    // it. False, with this node unchanged, when the copy would take more than
    // nodeLimit nodes or memory runs out; *made (when given) receives the number of
    // nodes the copy created.
    bool CopyFrom(const TextNode& other, u64 nodeLimit = ~u64(0), u64* made = nullptr);

    // Readers that accept a missing node: empty text, 0 and 0.0.
    static WString StringOf(const TextNode* node) { return node ? node->value : WString(); }
    static i32 IntOf(const TextNode* node) { return node ? node->GetInt() : 0; }
    static double RealOf(const TextNode* node) { return node ? node->GetReal() : 0.0; }
};
