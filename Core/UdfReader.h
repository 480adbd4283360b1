// The reader side of binary data-description documents: opens a document on a Stream,
// makes its root node and fills nodes on demand (UdfNode::Load). UdfBinaryTree is the
// reader of the "UDF Binary 1.0" form.
#pragma once

#include "Core/String.h"
#include "Core/Types.h"
#include "Core/UdfNode.h"

class Stream;

// Mode bits of UdfReader::ReadChildren (and UdfNode::Load).
enum UdfLoadMode : u32 {
    kUdfLoadNodeOnly = 0x01,         // this node only, no descent
    kUdfLoadOneLevel = 0x04,         // this node and one level below
    kUdfLoadSplitValues = 0x08,      // ReadValue on each visited node, with `extra` as flags
    kUdfLoadBlock = 0x10,            // read the node's whole block at once, parse it from memory
    kUdfLoadFromParent = 0x20,       // serve the node from its parent's loaded bytes
    kUdfLoadKeepBytes = 0x40,        // keep the loaded block as the node's data
    kUdfLoadPointIntoParent = 0x80,  // let data point into the parent's bytes instead of copying
};

// Flags of UdfReader::ReadValue.
enum UdfSplitFlags : u32 {
    kUdfSplitScalarArrays = 0x01,  // also split arrays of scalar types
    kUdfSplitPointIntoData = 0x02,  // new children point into the node's data
    kUdfSplitOneLevel = 0x04,      // do not split the new children further
};

class UdfReader {
public:
    UdfReader() = default;
    UdfReader(const UdfReader&) = delete;
    UdfReader& operator=(const UdfReader&) = delete;

    // Closes the stream (destroying it when owned) and destroys the tree.
    virtual bool Close();
    // The root; on the first call reads the header and makes it. Null on failure.
    virtual UdfNode* OpenRoot() = 0;
    // Fills a node as the mode bits say (UdfLoadMode); false on a malformed document.
    virtual bool ReadChildren(UdfNode* node, u32 mode, u32 extra) = 0;
    // Reads the document's type table.
    virtual bool ReadTypes() = 0;
    // Splits a typed value into member or element children (UdfSplitFlags).
    virtual bool ReadValue(UdfNode* node, u32 flags) = 0;
    virtual ~UdfReader();
    // Told by each node this reader filled when the node is destroyed.
    virtual void ForgetNode(UdfNode* node);

    // Reads from the stream, which stays the caller's; returns OpenRoot's result. On
    // failure the reader is closed.
    UdfNode* Open(Stream* source);
    // Opens the disk file and reads from it; the reader owns that stream.
    UdfNode* OpenFile(const String& path);

    UdfNode* GetRoot() const { return root; }
    Stream* GetStream() const { return stream; }
    const UdfTypeTable& Types() const { return types; }
    void SetOwnsStream(u8 on) { ownsStream = on; }

protected:
    u8 ownsStream = 0;
    Stream* stream = nullptr;
    UdfNode* root = nullptr;
    UdfTypeTable types;
};
