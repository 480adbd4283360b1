// What a configuration gives one layout: its width and height rules and its eight anchors,
// read from the same shapes wherever windows are configured (a window tree's children and
// a skin's tiles): an integer N meaning b = N, k = 0, or an object with "b" and "k"; anchor
// names "X1" to "H2". Targets are resolved by the reader, which knows what names mean.
#pragma once

#include "Core/String.h"
#include "Core/Types.h"
#include "Gui/ClientLayout.h"

class TextNode;

struct AnchorRules {
    LayoutRule width{0.0f, 1.0f};
    LayoutRule height{0.0f, 1.0f};
    ClientLayout* targets[kAnchorCount] = {};
    i32 sides[kAnchorCount] = {};
    LayoutRule offsets[kAnchorCount];

    // Sets the size rules and every anchor (a null target clears it). W1 and W2 are set
    // together as the width pair, H1 and H2 as the height pair.
    void ApplyTo(ClientLayout& layout) const;

    // The anchor kind of a name; any other name counts as X1.
    static i32 KindOf(const WString& name);
    // The anchor kind of a name, or -1 for a name that is none.
    static i32 FindKind(const WString& name);
    // A rule given as an integer N (b = N, k = 0) or as an object with "b" and "k";
    // `missing` without a node.
    static LayoutRule ReadRule(const TextNode* node, LayoutRule missing);
    // Points one anchor of a layout at a target, keeping its side and offset.
    static void Retarget(ClientLayout& layout, i32 kind, ClientLayout* target);
    // Takes a key out of a node, deleting what it held.
    static void RemoveKey(TextNode* node, const char* key);
};
