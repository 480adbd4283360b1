// Writes a tree of UdfNode objects and a list of composite types as a "UDF Binary 1.0"
// document (the layout UdfBinaryTree reads). Tables are written before the blocks they
// describe, so each offset and size is first a placeholder and patched once the block
// it names has been written.
#pragma once

#include "Core/List.h"
#include "Core/OrderedMap.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/UdfNode.h"

class Stream;

// Where a node's block went.
struct UdfPlace {
    u32 offset = 0;
    u32 size = 0;
};

// A u32 to be written over a placeholder once the document is complete.
struct UdfPatch {
    u32 position = 0;
    u32 width = 1;  // in 32-bit words
    u32 value = 0;
    bool operator==(const UdfPatch&) const = default;
};

// A table entry whose block had not been written when the entry was.
struct UdfPendingEntry {
    u32 position = 0;
    const UdfNode* node = nullptr;
    bool operator==(const UdfPendingEntry&) const = default;
};

using UdfTypeList = List<const UdfType*>;
using UdfNodeList = PtrListOf<UdfNode>;

class UdfBinaryWriter {
public:
    // Flag of Write: build the whole document in memory, then store it with one write.
    static constexpr u32 kWriteInMemory = 1;

    UdfBinaryWriter() = default;
    UdfBinaryWriter(const UdfBinaryWriter&) = delete;
    UdfBinaryWriter& operator=(const UdfBinaryWriter&) = delete;

    // Writes the document to the named file. The nodes (null: header and types only)
    // become the root's children and the types the type table, both in list order,
    // that is from the node after the list's `current` on (insertion order for a list
    // filled with PushBack). The nodes stay the caller's. False when the file cannot be
    // written, the tree cannot be written as a document (see WriteObject) or a
    // reference names a node that no object of the tree owns; in that last case the
    // file is still written, with "DataArea" in place of the missing offset and size.
    bool Write(const String& fileName, const UdfNodeList* nodes, const UdfTypeList* types, u32 flags);
    // The same document, written to an open stream from its current position (which
    // must be 0 for the offsets to be those of the file).
    bool WriteTo(Stream* out, const UdfNodeList* nodes, const UdfTypeList* types);
    // The document of a tree whose root object is given: its children, owned and
    // referenced as the root holds them, become the document root's children. This is
    // how a tree read from a document (whose root may hold references) is written back.
    bool WriteRoot(Stream* out, UdfNode* root, const UdfTypeList* types);

    // Length and bytes; returns the number of bytes written.
    u32 WriteString(const String& text);
    bool WriteTypes(const UdfTypeList* types);
    // The node's block: an object's table followed by its owned children's blocks, or
    // a value's bytes. False when the node was already written (owned twice), lies on
    // its own path, nests deeper than the reader accepts, holds a kind the format does
    // not know, or is a value with a size but no data.
    bool WriteObject(UdfNode* node);

    // Lists a type table in its own order, for Write.
    static void ListTypes(const UdfTypeTable& table, UdfTypeList* out);

private:
    bool WriteDocument(Stream* out, UdfNode* root, const UdfTypeList* types);
    bool WriteNode(UdfNode* node, u32 depth);
    bool Put8(u8 value);
    bool Put32(u32 value);
    bool PutBytes(const void* bytes, u32 n);
    u32 Position();
    bool ApplyPatches();
    void Reset();

    Stream* stream = nullptr;
    OrderedMap<const UdfNode*, UdfPlace, UdfNodeOrder> written;
    List<UdfPatch> patches;
    List<UdfPendingEntry> pendingEntries;
    OrderedMap<const UdfNode*, NoValue, UdfNodeOrder> active;  // the nodes being written
    u8 failed = 0;
};
