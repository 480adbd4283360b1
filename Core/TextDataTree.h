// The children of a node of a parsed data-description text: an ordered map from a wide
// name to a child node, compared case-sensitively, whose entry thread keeps the order in
// which the children were created. A bare TextDataTree is the root of a document; every
// node below it is a TextNode, which is a TextDataTree itself.
#pragma once

#include "Core/OrderedMap.h"
#include "Core/WalkStack.h"
#include "Core/Types.h"
#include "Core/WString.h"

class TextNode;

class TextDataTree : public OrderedMap<WString, TextNode*, WStringOrder> {
public:
    using Entry = Node;

    // A growable stack of node pointers for the walks over a tree: trees may be far
    // deeper than the machine stack allows a recursion to go.
    using NodeStack = WalkStack<TextNode*>;

    TextDataTree() = default;
    TextDataTree(const TextDataTree&) = delete;
    TextDataTree& operator=(const TextDataTree&) = delete;
    // Deletes the child nodes too: a document owns what was parsed into it.
    ~TextDataTree() override;

    // Clear (inherited) frees the entries and their names but not the child nodes.

    // Deletes every child node, and their children, and empties the map.
    void ClearChildren();

    // Enters child under name. A new entry is linked right after the cursor entry when
    // `after` is 1, else right before it, and the cursor moves to it. For a name that
    // is present only the child pointer changes; the child it held is not deleted and
    // stays the caller's. Null when memory runs out.
    Entry* InsertChild(const WString& name, TextNode* child, u32 after = 1);

    Entry* FindChild(const WString& name) const;
    Entry* FindChild(const char16_t* name, u32 length) const;
    // A zero-terminated narrow key; its bytes are widened one to one.
    Entry* FindChild(const char* name) const;

    // The child node of a name, or null when there is none.
    TextNode* GetChild(const WString& name) const;
    TextNode* GetChild(const char* name) const;
    // The array element named by the decimal text of index.
    TextNode* GetChild(i32 index) const;

    // The name of the entry at the cursor (empty when there are no children). After an
    // "array" or "object" value is filled that is the first element.
    WString FirstChildKey() const;

    u32 ChildCount() const { return count; }

    // Deletes a node with everything below it, without recursion.
    static void DeleteTree(TextNode* node);
    // Whether node is root or lies below it.
    static bool TreeContains(const TextNode* root, const TextNode* node);

    // The decimal text of an index, as array elements are named; returns its length.
    // out needs room for 12 units.
    static u32 IndexName(i32 index, char16_t* out);
};
