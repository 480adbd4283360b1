#include "Core/UdfNode.h"

#include "Core/WalkStack.h"

#include "Core/Memory.h"
#include "Core/UdfReader.h"

#include <cstring>
#include <new>

namespace {

// A type whose size is being computed further up: meeting it again is a cycle.
constexpr u64 kSizeActive = ~0ull;

u32 ScalarUnit(const String& typeName) {
    if (typeName == "int" || typeName == "real") return 4;
    if (typeName == "char" || typeName == "byte") return 1;
    return 0;
}

u64 Clamp(u64 value) { return value >= kUdfSizeInvalid ? kUdfSizeInvalid : value; }

using NodeStack = WalkStack<UdfNode*>;

}  // namespace

bool IsScalarType(const String& typeName) { return ScalarUnit(typeName) != 0; }

u32 ScalarSize(const String& typeName, bool isArray, u32 count) {
    const u64 unit = ScalarUnit(typeName);
    return static_cast<u32>(Clamp(isArray ? unit * count : unit));
}

u32 TypeSize(const UdfType& type, const UdfTypeTable& types) {
    UdfTypeSizes sizes(types);
    return sizes.Of(type);
}

// ---- UdfTypeSizes -----------------------------------------------------------------

u32 UdfTypeSizes::Of(const UdfType& type) { return static_cast<u32>(Clamp(Compute(type, 0))); }

u32 UdfTypeSizes::OfMember(const UdfMember& member) {
    if (!types.Find(member.type) && !IsScalarType(member.type)) return kUdfSizeInvalid;
    return static_cast<u32>(Clamp(Member(member, 0)));
}

u64 UdfTypeSizes::Compute(const UdfType& type, u32 depth) {
    if (type.name == "int" || type.name == "real") return 4;
    if (type.name == "char") return 1;
    if (depth > kUdfMaxDepth) return kUdfSizeInvalid;
    u64 sum = 0;
    const auto* member = type.members.first;
    for (u32 i = 0; i < type.members.count; ++i, member = member->next) {
        const u64 part = Member(member->value, depth);
        if (part >= kUdfSizeInvalid) return kUdfSizeInvalid;
        sum += part;
        if (sum >= kUdfSizeInvalid) return kUdfSizeInvalid;
    }
    return sum;
}

u64 UdfTypeSizes::Member(const UdfMember& member, u32 depth) {
    const auto* found = types.Find(member.type);
    if (!found) return ScalarSize(member.type, member.isArray != 0, member.count);
    u64 unit;
    if (auto* memo = known.Find(member.type)) {
        if (memo->value == kSizeActive) return kUdfSizeInvalid;  // the type contains itself
        unit = memo->value;
    } else {
        if (!known.Insert(member.type, kSizeActive)) return kUdfSizeInvalid;
        unit = Clamp(Compute(found->value, depth + 1));
        known.Insert(member.type, unit);
    }
    if (unit >= kUdfSizeInvalid) return kUdfSizeInvalid;
    return Clamp(member.isArray ? unit * member.count : unit);
}

// ---- UdfNode ----------------------------------------------------------------------

UdfNode::UdfNode() = default;

UdfNode::UdfNode(const String& nodeName, const String& type, void* bytes, u32 byteCount, bool copy)
    : typeName(type), name(nodeName), childrenLoaded(1), dataLoaded(1), size(byteCount) {
    if (!copy) {
        data = static_cast<u8*>(bytes);
    } else if (byteCount != 0 && bytes) {
        // An empty value gets no buffer: a copy of nothing would otherwise keep (and
        // later free) the caller's pointer.
        data = static_cast<u8*>(MemAlloc(byteCount));
        if (data) std::memcpy(data, bytes, byteCount);
        else size = 0;
    }
}

UdfNode::~UdfNode() {
    Clear();
    if (reader) reader->ForgetNode(this);
}

bool UdfNode::AddChild(UdfNode* child, bool reference) {
    if (!child) return false;
    kind = static_cast<u8>(kind | kUdfObject);
    const u8 flag = reference ? 1 : 0;
    if (auto* existing = children.Find(child->name)) {
        UdfNode* old = existing->value;
        if (old != child) {
            const bool ownedOld = references.Get(old) == 0;
            references.Remove(old);
            existing->value = child;
            if (ownedOld) delete old;
        }
        return references.Insert(child, flag) != nullptr;
    }
    return Append(child, flag);
}

bool UdfNode::AddNewChild(UdfNode* child, bool reference) {
    if (!child || children.Find(child->name)) return false;
    kind = static_cast<u8>(kind | kUdfObject);
    return Append(child, reference ? 1 : 0);
}

bool UdfNode::Append(UdfNode* child, u8 flag) {
    // New names go at the end of the order, wherever the cursor was left.
    if (children.count) children.cursor = children.first->prev;
    if (!children.Insert(child->name, child, true)) return false;
    if (!references.Insert(child, flag)) {
        children.Remove(child->name);
        return false;
    }
    return true;
}

UdfNode* UdfNode::DetachChild(const String& childName) {
    auto* found = children.Find(childName);
    if (!found) return nullptr;
    UdfNode* child = found->value;
    children.Remove(childName);
    references.Remove(child);
    return child;
}

bool UdfNode::IsReference(const String& childName) const {
    const auto* found = children.Find(childName);
    return found && IsReference(found->value);
}

UdfNode* UdfNode::FindChild(const String& childName) const {
    const auto* found = children.Find(childName);
    return found ? found->value : nullptr;
}

UdfNode* UdfNode::FindChild(const char* childName) const {
    return FindChild(String::Borrow(childName, childName ? static_cast<u32>(std::strlen(childName)) : 0));
}

bool UdfNode::ReadChild(const String& childName, void* buffer, u32 n) const {
    const UdfNode* child = FindChild(childName);
    return child && child->ReadData(buffer, n);
}

String UdfNode::GetDataString() const {
    // A copy: value bytes carry no terminator (and may lie inside a larger block), while
    // a String's text must end in one.
    if (!data || size == 0) return String();
    return String::FromBuffer(reinterpret_cast<char*>(data), size, true);
}

bool UdfNode::ReadData(void* buffer, u32 n) const {
    if (!data) return false;
    const u32 k = n < size ? n : size;
    if (k) std::memcpy(buffer, data, k);
    return true;
}

bool UdfNode::Load(u32 mode, u32 extra) { return reader ? reader->ReadChildren(this, mode, extra) : false; }

void UdfNode::Clear() {
    // Owned descendants are taken apart with a stack of our own rather than by nested
    // destructor calls, so that a deep tree cannot exhaust the call stack.
    NodeStack doomed;
    auto takeOwned = [&](UdfNode* from) {
        auto* node = from->children.first;
        for (u32 i = 0; i < from->children.count; ++i, node = node->next) {
            UdfNode* child = node->value;
            if (from->references.Get(child) != 0 || child == from) continue;
            if (!doomed.Push(child)) delete child;  // out of memory: nested destruction
        }
        from->children.Clear();
        from->references.Clear();
    };
    takeOwned(this);
    while (UdfNode* node = doomed.Pop()) {
        takeOwned(node);
        delete node;
    }

    // Bytes inside the parent's buffer, or someone else's, are never freed here.
    if (!dataNotOwned && !dataFromParent) MemFree(data);
    data = nullptr;
    dataFromParent = 0;
    dataLoaded = 0;
    childrenLoaded = 0;
}
