// One node of a binary data-description document: an object with named children, an
// array, or a value whose bytes are held in memory. Nodes read from a document start
// empty and are filled on demand by their UdfReader; nodes made in memory fill
// themselves. A node may be shared: owned by one object and referenced by others.
#pragma once

#include "Core/OrderedMap.h"
#include "Core/String.h"
#include "Core/Types.h"

#include <cstdint>

class UdfNode;
class UdfReader;

// Bits of UdfNode::GetKind and of the kind byte of a table entry.
enum UdfKind : u8 {
    kUdfArray = 1,      // the node has an element count
    kUdfReference = 2,  // only in files: the entry designates a node owned elsewhere
    kUdfObject = 4,     // the node has a child table
};

// Sizes that cannot be represented (a product past 32 bits, a type that contains
// itself, nesting past the limit).
constexpr u32 kUdfSizeInvalid = 0xFFFFFFFFu;

// Nesting limit shared by the reader, the value splitter and the writer: a writer never
// produces a document that the reader refuses for its depth.
constexpr u32 kUdfMaxDepth = 256;

struct UdfNodeOrder {
    int operator()(const UdfNode* a, const UdfNode* b) const {
        const std::uintptr_t x = reinterpret_cast<std::uintptr_t>(a);
        const std::uintptr_t y = reinterpret_cast<std::uintptr_t>(b);
        return x < y ? -1 : (y < x ? 1 : 0);
    }
};

using UdfChildMap = StringMapOf<UdfNode*>;
using UdfReferenceMap = OrderedMap<const UdfNode*, u8, UdfNodeOrder>;

// A member of a composite type.
struct UdfMember {
    String type;
    u8 isArray = 0;
    u32 count = 0;
};

// A composite type of a document's type table; members in insertion order.
struct UdfType {
    String name;
    StringMapOf<UdfMember> members;
};

using UdfTypeTable = StringMapOf<UdfType>;

// "int", "real", "char" and "byte" ("string" is not a scalar).
bool IsScalarType(const String& typeName);
// 4 for "int" and "real", 1 for "char" and "byte", 0 for any other name; an array
// takes the unit size times the count. kUdfSizeInvalid when that passes 32 bits.
u32 ScalarSize(const String& typeName, bool isArray, u32 count);
// The byte size of a value of the type, laid out member after member.
u32 TypeSize(const UdfType& type, const UdfTypeTable& types);

// Sizes of the types of one table, each computed once. A type table read from a file
// may name itself through its members or nest very deeply; such types, and sizes
// past 32 bits, come out as kUdfSizeInvalid instead of recursing without end.
class UdfTypeSizes {
public:
    explicit UdfTypeSizes(const UdfTypeTable& table) : types(table) {}
    UdfTypeSizes(const UdfTypeSizes&) = delete;
    UdfTypeSizes& operator=(const UdfTypeSizes&) = delete;

    u32 Of(const UdfType& type);
    // The size of one member (all its elements for an array member); kUdfSizeInvalid
    // for a type that is neither scalar nor in the table.
    u32 OfMember(const UdfMember& member);

private:
    u64 Compute(const UdfType& type, u32 depth);
    u64 Member(const UdfMember& member, u32 depth);

    const UdfTypeTable& types;
    OrderedMap<String, u64, StringOrder> known;  // size by type name, or a state below
};

class UdfNode {
public:
    UdfNode();
    // A filled node. Without copy the node takes over `bytes`, which must come from
    // MemAlloc; with copy it keeps its own copy (none for an empty value).
    UdfNode(const String& nodeName, const String& type, void* bytes, u32 byteCount, bool copy);
    UdfNode(const UdfNode&) = delete;
    UdfNode& operator=(const UdfNode&) = delete;
    ~UdfNode();

    UdfNode* GetParent() const { return parent; }
    void SetParent(UdfNode* node) { parent = node; }
    UdfReader* GetReader() const { return reader; }
    void SetReader(UdfReader* source) { reader = source; }
    const String& GetName() const { return name; }
    void SetName(const String& value) { name = value; }
    void SetName(String&& value) { name = static_cast<String&&>(value); }
    const String& GetTypeName() const { return typeName; }
    void SetTypeName(const String& value) { typeName = value; }
    void SetTypeName(String&& value) { typeName = static_cast<String&&>(value); }
    // The type name as a view of text that outlives the node (a reader's shared names).
    void BorrowTypeName(const String& shared) {
        typeName.Release();
        typeName.data = shared.data;
        typeName.length = shared.length;
        typeName.borrowed = shared.data ? 1 : 0;
    }
    u8 GetKind() const { return kind; }
    void SetKind(u8 value) { kind = value; }
    void AddKind(u8 bits) { kind = static_cast<u8>(kind | bits); }
    void SetArray(bool on) { kind = static_cast<u8>(on ? (kind | kUdfArray) : (kind & ~kUdfArray)); }
    bool IsArray() const { return (kind & kUdfArray) != 0; }
    bool IsObject() const { return (kind & kUdfObject) != 0; }
    u32 GetCount() const { return count; }
    void SetCount(u32 value) { count = value; }
    u32 GetOffset() const { return offset; }
    void SetOffset(u32 value) { offset = value; }
    u32 GetSize() const { return size; }
    void SetSize(u32 value) { size = value; }
    // The node frees its data on Clear unless dataNotOwned or dataFromParent is set.
    u8* GetData() const { return data; }
    void SetData(void* bytes) { data = static_cast<u8*>(bytes); }
    u8 GetDataNotOwned() const { return dataNotOwned; }
    void SetDataNotOwned(u8 on) { dataNotOwned = on; }
    u8 GetDataFromParent() const { return dataFromParent; }
    void SetDataFromParent(u8 on) { dataFromParent = on; }
    u8 GetChildrenLoaded() const { return childrenLoaded; }
    void SetChildrenLoaded(u8 on) { childrenLoaded = on; }
    u8 GetDataLoaded() const { return dataLoaded; }
    void SetDataLoaded(u8 on) { dataLoaded = on; }
    UdfChildMap& Children() { return children; }
    const UdfChildMap& Children() const { return children; }

    // Makes the node an object and adds the child under its name, at the end of the
    // order. A child of the same name as an earlier one takes its place; the earlier
    // one is destroyed when this node owned it. False only when memory runs out.
    bool AddChild(UdfNode* child, bool reference);
    // AddChild for a name not yet present: false (and nothing changes) when a child of
    // that name exists.
    bool AddNewChild(UdfNode* child, bool reference);
    // Takes the child out of the maps without destroying it; null when absent.
    UdfNode* DetachChild(const String& childName);
    bool IsReference(const UdfNode* child) const { return references.Get(child) != 0; }
    bool IsReference(const String& childName) const;
    UdfNode* FindChild(const String& childName) const;
    UdfNode* FindChild(const char* childName) const;
    // Copies min(n, the child's size) bytes of the child's data.
    bool ReadChild(const String& childName, void* buffer, u32 n) const;
    // The data as a String of `size` bytes (empty without data).
    String GetDataString() const;
    // Copies min(n, size) bytes of the data.
    bool ReadData(void* buffer, u32 n) const;
    // Asks the node's reader to fill it (see UdfReader::ReadChildren).
    bool Load(u32 mode, u32 extra);
    // Destroys the owned children, forgets the referenced ones, frees the data it owns
    // and marks the node as not loaded.
    void Clear();

    // Bookkeeping of a reader's walks over the tree (which walk last reached the node,
    // and whether that walk is still below it).
    u32 walkMark = 0;
    u8 walkActive = 0;

private:
    bool Append(UdfNode* child, u8 flag);

    UdfNode* parent = nullptr;
    UdfReader* reader = nullptr;
    String typeName;
    String name;
    u8 kind = 0;
    u32 count = 0;
    u8 dataNotOwned = 0;
    u8 dataFromParent = 0;
    u8 childrenLoaded = 0;
    u8 dataLoaded = 0;
    u32 offset = 0;
    u32 size = 0;
    u8* data = nullptr;
    UdfChildMap children;
    UdfReferenceMap references;
};
