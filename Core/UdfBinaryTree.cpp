#include "Core/UdfBinaryTree.h"

#include "Core/WalkStack.h"

#include "Core/Memory.h"
#include "Core/Stream.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr u32 kTableHeader = 8;
// name length, type length, kind, offset, size
constexpr u32 kSmallestEntry = 4 + 4 + 1 + 4 + 4;
// A stream position never passes this (Stream reports positions as i32).
constexpr u32 kPositionLimit = 0x7FFFFFFFu;

inline u32 Le32(const u8* p) {
    return static_cast<u32>(p[0]) | static_cast<u32>(p[1]) << 8 | static_cast<u32>(p[2]) << 16 |
           static_cast<u32>(p[3]) << 24;
}

template <class T>
using Stack = WalkStack<T>;

// Reads fields of a table held in memory; every read checks the bytes left.
struct Cursor {
    const u8* p;
    const u8* end;

    bool U8(u8* v) {
        if (end - p < 1) return false;
        *v = *p++;
        return true;
    }
    bool U32(u32* v) {
        if (end - p < 4) return false;
        *v = Le32(p);
        p += 4;
        return true;
    }
    bool Span(const u8** text, u32* n) {
        if (!U32(n)) return false;
        if (static_cast<u64>(end - p) < *n) return false;
        *text = p;
        p += *n;
        return true;
    }
    bool Text(String* out) {
        u32 n;
        if (!U32(&n)) return false;
        if (static_cast<u64>(end - p) < n) return false;
        *out = n ? String::FromBuffer(const_cast<char*>(reinterpret_cast<const char*>(p)), n, true) : String();
        p += n;
        return true;
    }
};

bool IsOwnerOf(const UdfNode* candidate, const UdfNode* node) {
    for (const UdfNode* up = node->GetParent(); up; up = up->GetParent())
        if (up == candidate) return true;
    return false;
}

UdfNode* MakeNode(String&& name, String&& type, u8 kind, u32 count, u32 offset, u32 size) {
    UdfNode* node = new (std::nothrow) UdfNode;
    if (!node) return nullptr;
    node->SetName(static_cast<String&&>(name));
    node->SetTypeName(static_cast<String&&>(type));
    node->SetKind(kind);
    node->SetCount(count);
    node->SetOffset(offset);
    node->SetSize(size);
    return node;
}

}  // namespace

// Bytes in memory standing for the document from position `base` on.
struct UdfBinaryTree::View {
    const u8* bytes = nullptr;
    u32 base = 0;
    u32 length = 0;

    bool Holds(u64 from, u64 n) const { return from >= base && from + n <= static_cast<u64>(base) + length; }
    const u8* At(u32 position) const { return bytes + (position - base); }
};

// The state of one ReadChildren call: shared nodes met on the way, loaded after the
// descent through their owners, and whether a shared entry was met (only then can a
// loop have formed).
class UdfBinaryTree::Walk {
public:
    Stack<UdfNode*> shared;
    bool sharedEdge = false;
};

UdfBinaryTree::~UdfBinaryTree() { Close(); }

u32 UdfBinaryTree::NextEpoch() {
    if (++epoch == 0) epoch = 1;
    return epoch;
}

u32 UdfBinaryTree::Extent(const UdfNode* node) const { return node == root ? rootExtent : node->GetSize(); }

bool UdfBinaryTree::Inside(const UdfNode* node, const UdfNode* outer) const {
    const u64 from = node->GetOffset();
    return from >= outer->GetOffset() &&
           from + Extent(node) <= static_cast<u64>(outer->GetOffset()) + Extent(outer);
}

// The owner holds its block in memory and the node's block lies inside it.
bool UdfBinaryTree::ParentHolds(const UdfNode* node) const {
    const UdfNode* parent = node->GetParent();
    return parent && parent->GetDataLoaded() && parent->GetData() && !parent->IsReference(node) &&
           Inside(node, parent);
}

UdfNode* UdfBinaryTree::FindByOffset(u32 offset) const {
    const auto* found = nodesByOffset.Find(static_cast<i32>(offset));
    return found ? found->value : nullptr;
}

void UdfBinaryTree::ForgetNode(UdfNode* node) {
    if (closing) return;
    const auto* found = nodesByOffset.Find(static_cast<i32>(node->GetOffset()));
    if (found && found->value == node) nodesByOffset.Remove(static_cast<i32>(node->GetOffset()));
}

bool UdfBinaryTree::Close() {
    closing = 1;
    // Nodes that were only ever referenced (their owner never read) belong to nobody:
    // the reader destroys them after the tree.
    Stack<UdfNode*> unowned;
    auto* entry = nodesByOffset.first;
    for (u32 i = 0; i < nodesByOffset.count; ++i, entry = entry->next)
        if (entry->value != root && !entry->value->GetParent()) unowned.Push(entry->value);
    nodesByOffset.Clear();
    UdfReader::Close();
    UdfNode* node;
    while (unowned.Pop(&node)) delete node;
    closing = 0;
    // No node borrows the type names any more.
    typeNames.Clear();
    for (const String*& known : recentTypes) known = nullptr;
    types.Clear();
    documentEnd = rootExtent = 0;
    MemFree(scratch);
    scratch = nullptr;
    scratchCapacity = 0;
    return true;
}

// ---- header ------------------------------------------------------------------------

bool UdfBinaryTree::ReadU32(u32* value) {
    u8 bytes[4];
    if (stream->Read(bytes, 4) != 4) return false;
    *value = Le32(bytes);
    return true;
}

bool UdfBinaryTree::ReadString(String* out, u32 limit) {
    u32 n;
    if (!ReadU32(&n)) return false;
    const i32 at = stream->Tell();
    if (n > limit || at < 0 || static_cast<u64>(at) + n > documentEnd) return false;
    if (n == 0) {
        *out = String();
        return true;
    }
    char* text = static_cast<char*>(MemAlloc(static_cast<std::size_t>(n) + 1));
    if (!text) return false;
    if (stream->Read(text, n) != n) {
        MemFree(text);
        return false;
    }
    text[n] = 0;
    *out = String::FromBuffer(text, n, false);
    return true;
}

bool UdfBinaryTree::ReadTypes() {
    if (!stream) return false;
    u32 typeCount;
    if (!ReadU32(&typeCount)) return false;
    for (u32 t = 0; t < typeCount; ++t) {
        UdfType type;
        u32 memberCount;
        if (!ReadString(&type.name, kPositionLimit) || !ReadU32(&memberCount)) return false;
        for (u32 m = 0; m < memberCount; ++m) {
            String memberName;
            UdfMember member;
            u8 bytes[5];
            if (!ReadString(&memberName, kPositionLimit) || !ReadString(&member.type, kPositionLimit) ||
                stream->Read(bytes, 5) != 5)
                return false;
            member.isArray = bytes[0];
            member.count = Le32(bytes + 1);
            if (!type.members.Insert(memberName, member)) return false;
        }
        if (!types.Insert(type.name, type)) return false;
    }
    return true;
}

UdfNode* UdfBinaryTree::OpenRoot() {
    if (root) return root;
    if (!stream) return nullptr;
    types.Clear();
    const i32 start = stream->Tell();
    const i32 length = stream->Size();
    if (start < 0 || length < 0) {
        Close();
        return nullptr;
    }
    const u64 end = static_cast<u64>(start) + static_cast<u64>(length);
    documentEnd = static_cast<u32>(end > kPositionLimit ? kPositionLimit : end);

    u32 fileSize;  // informational only
    String magic;
    u32 rootSize = 0;
    bool ok = ReadU32(&fileSize) && ReadString(&magic, kMagicLength) && magic == kMagic && ReadTypes() &&
              ReadU32(&rootSize);
    const i32 rootOffset = ok ? stream->Tell() : -1;
    // The size word counts itself, so the root's table and children take size - 4 bytes,
    // of which the table needs at least its header.
    ok = ok && rootOffset >= 0 && rootSize >= 4 + kTableHeader &&
         static_cast<u64>(rootOffset) + rootSize - 4 <= documentEnd;
    if (ok) {
        root = MakeNode(String("_root"), String("_roottype"), kUdfObject, 0, static_cast<u32>(rootOffset), rootSize);
        ok = root != nullptr;
    }
    if (ok) {
        rootExtent = rootSize - 4;
        root->SetReader(this);
        ok = nodesByOffset.Insert(rootOffset, root) != nullptr;
    }
    if (!ok) {
        Close();
        return nullptr;
    }
    return root;
}

// ---- loading -----------------------------------------------------------------------

bool UdfBinaryTree::ReadBlock(const UdfNode* node, u8** out) {
    const u32 extent = Extent(node);
    const u32 size = node->GetSize();
    if (static_cast<u64>(node->GetOffset()) + extent > documentEnd) return false;
    u8* buffer = static_cast<u8*>(MemAlloc(size));
    if (!buffer) return false;
    if ((extent && (!stream->Seek(static_cast<i32>(node->GetOffset()), kSeekSet) ||
                    stream->Read(buffer, extent) != extent))) {
        MemFree(buffer);
        return false;
    }
    if (size > extent) std::memset(buffer + extent, 0, size - extent);
    *out = buffer;
    return true;
}

bool UdfBinaryTree::CopyFromView(UdfNode* node, const View& view) {
    const u32 size = node->GetSize();
    if (!view.Holds(node->GetOffset(), size)) return false;
    u8* buffer = static_cast<u8*>(MemAlloc(size));
    if (!buffer) return false;
    if (size) std::memcpy(buffer, view.At(node->GetOffset()), size);
    node->SetData(buffer);
    node->SetDataLoaded(1);
    return true;
}

namespace {
void PointIntoParent(UdfNode* node) {
    UdfNode* parent = node->GetParent();
    node->SetData(parent->GetData() + (node->GetOffset() - parent->GetOffset()));
    node->SetDataLoaded(1);
    node->SetDataFromParent(1);
}
}  // namespace

bool UdfBinaryTree::ReadChildren(UdfNode* node, u32 mode, u32 extra) {
    if (!node || !stream || !root) return false;
    NextEpoch();
    Walk walk;
    bool ok = Visit(node, mode, extra, 0, walk);
    // Shared nodes met on the way, unless their owner's descent has reached them since.
    // A node nobody owns yet is left for its owner (or a direct Load).
    u32 sharedMode = mode;
    if (mode & kUdfLoadOneLevel) sharedMode = (mode & ~kUdfLoadOneLevel) | kUdfLoadNodeOnly;
    if (mode & kUdfLoadKeepBytes) sharedMode |= kUdfLoadFromParent;
    // Loading the whole document reaches every owner, so a reference that is still
    // unowned then names a block no entry of the document holds.
    const bool whole = node == root && !(mode & (kUdfLoadNodeOnly | kUdfLoadOneLevel));
    UdfNode* next;
    while (ok && walk.shared.Pop(&next)) {
        if (next->walkMark == epoch) continue;
        if (!next->GetParent() && next != root) {
            if (whole) ok = false;
            continue;
        }
        ok = Visit(next, sharedMode, extra, 0, walk);
    }
    if (walk.sharedEdge && !BreakCycles(node)) ok = false;
    return ok;
}

bool UdfBinaryTree::Visit(UdfNode* node, u32 mode, u32 extra, u32 depth, Walk& walk) {
    if (depth > kUdfMaxDepth) return false;
    node->walkMark = epoch;

    // 1. Where the bytes come from: the owner's loaded block, a block read at once, or
    // the stream field by field.
    View view;
    bool haveView = false;
    u8* temporary = nullptr;
    const bool parentHolds = (mode & (kUdfLoadFromParent | kUdfLoadPointIntoParent)) && ParentHolds(node);
    if ((mode & kUdfLoadFromParent) && parentHolds) {
        const UdfNode* parent = node->GetParent();
        view.bytes = parent->GetData();
        view.base = parent->GetOffset();
        view.length = Extent(parent);
        haveView = true;
        if (!node->GetDataLoaded()) {
            if (mode & kUdfLoadPointIntoParent) PointIntoParent(node);
            else if ((mode & kUdfLoadKeepBytes) && !CopyFromView(node, view)) return false;
        }
    } else if ((mode & kUdfLoadBlock) || ((mode & kUdfLoadKeepBytes) && !node->GetDataLoaded())) {
        u8* block;
        if (node->GetDataLoaded() && node->GetData()) {
            block = node->GetData();  // the node's bytes are its block already
        } else {
            if (!ReadBlock(node, &block)) return false;
            if (mode & kUdfLoadKeepBytes) {
                node->SetData(block);
                node->SetDataLoaded(1);
            } else {
                temporary = block;
            }
        }
        view.bytes = block;
        view.base = node->GetOffset();
        view.length = Extent(node);
        haveView = true;
    }

    // 2.
    node->SetReader(this);

    // 3, 4. The table of an object, the bytes of a value.
    bool ok = true;
    if (node->IsObject()) {
        if (!node->GetChildrenLoaded()) ok = ReadTable(node, haveView ? &view : nullptr, walk);
    } else if (!node->GetDataLoaded()) {
        if ((mode & kUdfLoadPointIntoParent) && parentHolds) {
            PointIntoParent(node);
        } else if (haveView) {
            ok = CopyFromView(node, view);
        } else {
            u8* bytes;
            ok = ReadBlock(node, &bytes);
            if (ok) {
                node->SetData(bytes);
                node->SetDataLoaded(1);
            }
        }
    }
    MemFree(temporary);  // the children read from their own blocks, or from the stream

    // 5. The caller reads the value's children itself when it asks for them; a value
    // that cannot be split fully is still usable as bytes.
    if (ok && (mode & kUdfLoadSplitValues)) ReadValue(node, extra);

    // 6. Descent along ownership; shared children wait until the descent is done.
    if (ok && node->IsObject() && !(mode & kUdfLoadNodeOnly)) {
        u32 childMode = mode;
        if (mode & kUdfLoadOneLevel) childMode = (mode & ~kUdfLoadOneLevel) | kUdfLoadNodeOnly;
        if (mode & kUdfLoadKeepBytes) childMode |= kUdfLoadFromParent;
        const UdfChildMap& children = node->Children();
        const auto* entry = children.first;
        for (u32 i = 0; ok && i < children.count; ++i, entry = entry->next) {
            UdfNode* child = entry->value;
            if (child->walkMark == epoch) continue;
            if (node->IsReference(child) || child->GetParent() != node) {
                if (!walk.shared.Push(child)) ok = false;
                continue;
            }
            ok = Visit(child, childMode, extra, depth + 1, walk);
        }
    }
    return ok;
}

bool UdfBinaryTree::ReadTable(UdfNode* node, const View* view, Walk& walk) {
    const u32 extent = Extent(node);
    const u32 start = node->GetOffset();
    if (extent < kTableHeader) return false;
    if (view) {
        if (!view->Holds(start, kTableHeader)) return false;
        const u32 tableSize = Le32(view->At(start));
        if (tableSize < kTableHeader || tableSize > extent || !view->Holds(start, tableSize)) return false;
        return ReadEntries(node, view->At(start), tableSize, walk);
    }
    u8 header[kTableHeader];
    if (static_cast<u64>(start) + extent > documentEnd || !stream->Seek(static_cast<i32>(start), kSeekSet) ||
        stream->Read(header, kTableHeader) != kTableHeader)
        return false;
    const u32 tableSize = Le32(header);
    if (tableSize < kTableHeader || tableSize > extent) return false;
    if (scratchCapacity < tableSize) {
        u8* bigger = static_cast<u8*>(MemAlloc(tableSize));
        if (!bigger) return false;
        MemFree(scratch);
        scratch = bigger;
        scratchCapacity = tableSize;
    }
    std::memcpy(scratch, header, kTableHeader);
    const u32 rest = tableSize - kTableHeader;
    if (rest && stream->Read(scratch + kTableHeader, rest) != rest) return false;
    return ReadEntries(node, scratch, tableSize, walk);
}

bool UdfBinaryTree::ReadEntries(UdfNode* node, const u8* table, u32 tableSize, Walk& walk) {
    const u32 entryCount = Le32(table + 4);
    // The table is read once, also when it turns out malformed part way.
    node->SetChildrenLoaded(1);
    if (entryCount > (tableSize - kTableHeader) / kSmallestEntry) return false;

    Cursor in{table + kTableHeader, table + tableSize};
    // Owned blocks follow the table in entry order, inside the node's block.
    u64 next = static_cast<u64>(node->GetOffset()) + tableSize;
    const u64 blockEnd = static_cast<u64>(node->GetOffset()) + Extent(node);
    String name;
    for (u32 i = 0; i < entryCount; ++i) {
        u8 kind;
        u32 count = 0;
        u32 offset;
        u32 size;
        const u8* typeText;
        u32 typeLength;
        if (!in.Text(&name) || !in.Span(&typeText, &typeLength) || !in.U8(&kind)) return false;
        if (kind & ~(kUdfArray | kUdfReference | kUdfObject)) return false;
        if ((kind & kUdfArray) && !in.U32(&count)) return false;
        if (!in.U32(&offset) || !in.U32(&size)) return false;

        bool reference = (kind & kUdfReference) != 0;
        const u8 plainKind = static_cast<u8>(kind & ~kUdfReference);
        const u64 end = static_cast<u64>(offset) + size;
        // An empty block, or one at offset 0, is never shared: its offset may be that
        // of the next block.
        const bool shareable = offset != 0 && size != 0;
        UdfNode* child = shareable ? FindByOffset(offset) : nullptr;
        bool owned;
        if (child) {
            walk.sharedEdge = true;
            if (child->GetSize() != size) return false;
            // A node that contains itself, directly or through its owners.
            if (child == node || IsOwnerOf(child, node)) return false;
            // The first entry that claims an unowned node owns it; any later claim on an
            // owned node can only be a reference.
            owned = !reference && !child->GetParent() && child != root;
        } else {
            if (end > documentEnd) return false;
            if (reference && !shareable) {
                // Nobody else can designate this block: it stays with this entry.
                if (size != 0) return false;
                reference = false;
            }
            owned = !reference;
        }
        if (owned && ((plainKind & kUdfObject) || size != 0)) {
            if (offset < next || end > blockEnd) return false;
            next = end;
        }
        const bool created = child == nullptr;
        if (created) {
            const String* type = SharedTypeName(typeText, typeLength);
            if (!type) return false;
            child = MakeNode(static_cast<String&&>(name), String(), plainKind, count, offset, size);
            if (!child) return false;
            child->BorrowTypeName(*type);
            child->SetReader(this);
            if (shareable && !nodesByOffset.Insert(static_cast<i32>(offset), child)) {
                delete child;
                return false;
            }
        }
        // A second child of the same name would replace the first: malformed.
        if (!node->AddNewChild(child, !owned)) {
            if (created) delete child;
            return false;
        }
        if (owned) child->SetParent(node);
    }
    node->Children().cursor = node->Children().first;
    return true;
}

const String* UdfBinaryTree::SharedTypeName(const u8* text, u32 n) {
    for (const String* known : recentTypes)
        if (known && known->length == n && (n == 0 || std::memcmp(known->data, text, n) == 0)) return known;
    auto* kept = typeNames.PushBack(
        n ? String::FromBuffer(const_cast<char*>(reinterpret_cast<const char*>(text)), n, true) : String());
    if (!kept) return nullptr;
    recentTypes[nextRecent++ % kRecentTypes] = &kept->payload;
    return &kept->payload;
}

// Walks everything reachable from the node over the loaded children, without
// recursion; an edge back to a node still on the walk's path closes a loop. Such edges
// are taken out (a node that loses its owner this way is left to Close).
bool UdfBinaryTree::BreakCycles(UdfNode* top) {
    struct Frame {
        UdfNode* node;
        const UdfChildMap::Node* next;
        u32 left;
    };
    struct Edge {
        UdfNode* from;
        UdfNode* to;
    };
    const u32 mark = NextEpoch();
    Stack<Frame> path;
    Stack<Edge> loops;
    top->walkMark = mark;
    top->walkActive = 1;
    if (!path.Push(Frame{top, top->Children().first, top->Children().count})) return false;
    bool ok = true;
    while (Frame* frame = path.Top()) {
        if (frame->left == 0) {
            frame->node->walkActive = 0;
            Frame done;
            path.Pop(&done);
            continue;
        }
        UdfNode* child = frame->next->value;
        UdfNode* from = frame->node;
        frame->next = frame->next->next;
        --frame->left;
        if (child->walkMark == mark) {
            if (child->walkActive && !loops.Push(Edge{from, child})) ok = false;
            continue;
        }
        child->walkMark = mark;
        child->walkActive = 1;
        if (!path.Push(Frame{child, child->Children().first, child->Children().count})) {
            child->walkActive = 0;
            ok = false;
            break;
        }
    }
    // Leave no node marked as on the path after a failed push.
    for (u32 i = 0; i < path.Size(); ++i) path[i].node->walkActive = 0;
    Edge edge;
    while (loops.Pop(&edge)) {
        ok = false;
        const bool owned = !edge.from->IsReference(edge.to);
        if (edge.from->DetachChild(edge.to->GetName()) && owned) edge.to->SetParent(nullptr);
    }
    return ok;
}

// ---- values ------------------------------------------------------------------------

bool UdfBinaryTree::ReadValue(UdfNode* node, u32 flags) {
    if (!node) return false;
    UdfTypeSizes sizes(types);
    // Splitting makes at most a few nodes per byte of the value: a type table cannot
    // make a small value explode into an unbounded number of nodes.
    u64 budget = 64 + 4 * static_cast<u64>(node->GetSize());
    return Split(node, flags, sizes, budget, 0);
}

bool UdfBinaryTree::Split(UdfNode* node, u32 flags, UdfTypeSizes& sizes, u64& budget, u32 depth) {
    const String& type = node->GetTypeName();
    const bool scalar = IsScalarType(type);
    const bool isArray = node->IsArray();
    if (scalar && !((flags & kUdfSplitScalarArrays) && isArray)) return true;
    if (node->IsObject()) return false;
    const UdfType* record = nullptr;
    if (!scalar) {
        const auto* found = types.Find(type);
        if (!found) return false;
        record = &found->value;
    }
    if (depth >= kUdfMaxDepth) return false;

    u32 elementSize = 0;
    if (isArray) {
        elementSize = scalar ? ScalarSize(type, false, 0) : sizes.Of(*record);
        // Elements of no size carry nothing and could be counted in billions.
        if (elementSize == kUdfSizeInvalid || (elementSize == 0 && node->GetCount() != 0)) return false;
    }
    node->AddKind(kUdfObject);
    node->SetChildrenLoaded(1);

    u8* const data = node->GetData();
    const u64 total = data ? node->GetSize() : 0;
    bool ok = true;
    u64 position = 0;
    // One child of `partSize` bytes at `position`, or without data when it does not fit.
    auto makePart = [&](const String& partName, const String& partType, u32 partSize) -> UdfNode* {
        if (budget == 0) return nullptr;
        --budget;
        UdfNode* part = MakeNode(String(partName), String(partType), 0, 0,
                                 static_cast<u32>(node->GetOffset() + position), 0);
        if (!part) return nullptr;
        part->SetDataLoaded(1);
        part->SetChildrenLoaded(1);
        if (position + partSize <= total) {
            part->SetSize(partSize);
            if (flags & kUdfSplitPointIntoData) {
                part->SetData(data + position);
                part->SetDataFromParent(1);
            } else {
                u8* copy = static_cast<u8*>(MemAlloc(partSize));
                if (!copy) {
                    delete part;
                    return nullptr;
                }
                if (partSize) std::memcpy(copy, data + position, partSize);
                part->SetData(copy);
            }
        } else {
            ok = false;
        }
        if (!node->AddChild(part, false)) {
            delete part;
            return nullptr;
        }
        part->SetParent(node);
        return part;
    };

    if (isArray) {
        const u32 count = node->GetCount();
        for (u32 i = 0; i < count; ++i) {
            // Elements past the data would all be empty: stop at the first.
            if (position + elementSize > total) {
                ok = false;
                break;
            }
            char digits[12];
            std::snprintf(digits, sizeof digits, "%u", i);
            UdfNode* part = makePart(String(digits), type, elementSize);
            if (!part) {
                ok = false;
                break;
            }
            if (!(flags & kUdfSplitOneLevel) && !Split(part, flags, sizes, budget, depth + 1)) ok = false;
            position += elementSize;
        }
        return ok;
    }

    const auto* entry = record->members.first;
    for (u32 i = 0; i < record->members.count; ++i, entry = entry->next) {
        const UdfMember& member = entry->value;
        const u32 memberSize = sizes.OfMember(member);
        if (memberSize == kUdfSizeInvalid) {
            ok = false;
            continue;
        }
        UdfNode* part = makePart(entry->key, member.type, memberSize);
        if (!part) {
            ok = false;
            break;
        }
        if (member.isArray) {
            part->SetArray(true);
            part->SetCount(member.count);
        }
        if (!(flags & kUdfSplitOneLevel) && !Split(part, flags, sizes, budget, depth + 1)) ok = false;
        position += memberSize;
    }
    return ok;
}
