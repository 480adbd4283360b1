// The reader of "UDF Binary 1.0" documents.
//
// Layout (all integers 32-bit little-endian; a string is a length and that many bytes):
//   u32 file size, string "UDF Binary 1.0", u32 type count and the type definitions,
//   u32 root size (from this word to the end), then the root's object block.
// An object block is a table {u32 table size, u32 entry count, entries} followed by the
// blocks of the children; an entry is {string name, string type, u8 kind, [u32 count
// when the kind is an array], u32 absolute offset, u32 size}. Entries with the same
// offset (and a nonzero size) designate one shared node.
//
// Every count, offset and size is checked against the bytes that hold it before it is
// used: a table lies inside its node's block, an owned child's block inside its owner's
// block after the previous owned sibling, every block inside the document. Shared
// entries must agree on the size, may not name the node itself or one of its owners,
// and a load that closes a loop through shared nodes removes the closing edge and
// fails. Descent follows ownership with a depth limit; shared nodes are loaded through
// their owners, so no input leads to unbounded recursion, a hang or a read outside the
// data.
#pragma once

#include "Core/List.h"
#include "Core/OrderedMap.h"
#include "Core/UdfReader.h"

class UdfBinaryTree : public UdfReader {
public:
    static constexpr const char* kMagic = "UDF Binary 1.0";
    static constexpr u32 kMagicLength = 14;

    UdfBinaryTree() = default;
    ~UdfBinaryTree() override;

    bool Close() override;
    UdfNode* OpenRoot() override;
    bool ReadChildren(UdfNode* node, u32 mode, u32 extra) override;
    bool ReadTypes() override;
    bool ReadValue(UdfNode* node, u32 flags) override;
    void ForgetNode(UdfNode* node) override;

    // The node registered for a block offset, or null.
    UdfNode* FindByOffset(u32 offset) const;
    // Where the document's bytes end, in stream positions.
    u32 DocumentEnd() const { return documentEnd; }

private:
    struct View;
    class Walk;

    u32 Extent(const UdfNode* node) const;
    bool Inside(const UdfNode* node, const UdfNode* outer) const;
    bool ParentHolds(const UdfNode* node) const;
    bool Visit(UdfNode* node, u32 mode, u32 extra, u32 depth, Walk& walk);
    bool ReadTable(UdfNode* node, const View* view, Walk& walk);
    bool ReadEntries(UdfNode* node, const u8* table, u32 tableSize, Walk& walk);
    bool ReadBlock(const UdfNode* node, u8** out);
    bool CopyFromView(UdfNode* node, const View& view);
    bool BreakCycles(UdfNode* top);
    bool Split(UdfNode* node, u32 flags, UdfTypeSizes& sizes, u64& budget, u32 depth);
    bool ReadU32(u32* value);
    bool ReadString(String* out, u32 limit);
    u32 NextEpoch();
    const String* SharedTypeName(const u8* text, u32 n);

    IntKeyMap<UdfNode*> nodesByOffset;
    u32 documentEnd = 0;
    u32 rootExtent = 0;  // the root's size word counts itself: its block is 4 bytes shorter
    u32 epoch = 0;
    u8 closing = 0;
    u8* scratch = nullptr;  // the table being parsed, when read from the stream
    u32 scratchCapacity = 0;
    // Type names repeat from entry to entry: nodes borrow them from here, kept until
    // the tree is gone.
    static constexpr u32 kRecentTypes = 8;
    StringList typeNames;
    const String* recentTypes[kRecentTypes] = {};
    u32 nextRecent = 0;
};
