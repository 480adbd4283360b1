#include "Core/UdfWriter.h"

#include "Core/WalkStack.h"

#include "Core/ArchiveStream.h"
#include "Core/FileStream.h"
#include "Core/Memory.h"
#include "Core/Stream.h"

#include <cstring>
#include <new>

namespace {

constexpr const char* kMagic = "UDF Binary 1.0";

template <class T, class Fn>
void ForEachInOrder(const List<T>& list, Fn&& fn) {
    const typename List<T>::Node* node = list.current->next;
    for (i32 i = 0; i < list.count; ++i, node = node->next) fn(node->payload);
}

// Whether a loop runs through the children, owned or referenced, of the tree under
// top. Walked with a stack of our own: a long chain of references must not recurse.
bool HasLoop(const UdfNode* top) {
    struct Frame {
        const UdfNode* node;
        const UdfChildMap::Node* next;
        u32 left;
    };
    OrderedMap<const UdfNode*, u8, UdfNodeOrder> state;  // 1 on the path, 2 done
    WalkStack<Frame> frames;
    auto push = [&](const UdfNode* node) {
        if (!frames.Push(Frame{node, node->Children().first, node->Children().count})) return false;
        return state.Insert(node, 1) != nullptr;
    };
    bool loop = !push(top);
    while (!loop && !frames.IsEmpty()) {
        Frame& frame = *frames.Top();
        if (frame.left == 0) {
            state.Insert(frame.node, 2);
            frames.Pop();
            continue;
        }
        const UdfNode* child = frame.next->value;
        frame.next = frame.next->next;
        --frame.left;
        const u8 seen = state.Get(child);
        if (seen == 1) loop = true;
        else if (seen == 0 && !push(child)) loop = true;
    }
    return loop;
}

}  // namespace

void UdfBinaryWriter::ListTypes(const UdfTypeTable& table, UdfTypeList* out) {
    const auto* entry = table.first;
    for (u32 i = 0; i < table.count; ++i, entry = entry->next) out->PushBack(&entry->value);
}

void UdfBinaryWriter::Reset() {
    written.Clear();
    patches.Clear();
    pendingEntries.Clear();
    active.Clear();
}

u32 UdfBinaryWriter::Position() {
    const i32 at = stream->Tell();
    if (at < 0) {
        failed = 1;
        return 0;
    }
    return static_cast<u32>(at);
}

bool UdfBinaryWriter::PutBytes(const void* bytes, u32 n) {
    if (n == 0) return true;
    if (stream->Write(bytes, n) != n) failed = 1;
    return !failed;
}

bool UdfBinaryWriter::Put8(u8 value) { return PutBytes(&value, 1); }

bool UdfBinaryWriter::Put32(u32 value) {
    const u8 bytes[4] = {static_cast<u8>(value), static_cast<u8>(value >> 8), static_cast<u8>(value >> 16),
                         static_cast<u8>(value >> 24)};
    return PutBytes(bytes, 4);
}

u32 UdfBinaryWriter::WriteString(const String& text) {
    if (!Put32(text.length) || !PutBytes(text.data, text.length)) return 0;
    return 4 + text.length;
}

bool UdfBinaryWriter::WriteTypes(const UdfTypeList* types) {
    Put32(types ? static_cast<u32>(types->count) : 0);
    if (types) {
        ForEachInOrder(*types, [&](const UdfType* type) {
            if (!type) {
                failed = 1;
                return;
            }
            WriteString(type->name);
            Put32(type->members.count);
            const auto* member = type->members.first;
            for (u32 i = 0; i < type->members.count; ++i, member = member->next) {
                WriteString(member->key);
                WriteString(member->value.type);
                Put8(member->value.isArray);
                Put32(member->value.count);
            }
        });
    }
    return !failed;
}

bool UdfBinaryWriter::WriteObject(UdfNode* node) { return node && WriteNode(node, 0); }

bool UdfBinaryWriter::WriteNode(UdfNode* node, u32 depth) {
    // The reader's limit, so that every document written here can be read back.
    if (depth > kUdfMaxDepth) return false;
    // A node already written, or being written further up, is owned twice or owns
    // itself: the format gives each node one owner.
    if (written.Contains(node) || active.Contains(node)) return false;
    if (node->GetKind() & ~(kUdfArray | kUdfObject)) return false;
    if (!active.Insert(node)) return false;
    const u32 start = Position();

    if (node->IsObject()) {
        const UdfChildMap& children = node->Children();
        const u32 table = Position();
        Put32(0);
        Put32(children.count);
        const auto* entry = children.first;
        for (u32 i = 0; i < children.count; ++i, entry = entry->next) {
            const UdfNode* child = entry->value;
            // The reader files a child under its own name.
            if (!(entry->key == child->GetName())) return false;
            if (child->GetKind() & ~(kUdfArray | kUdfObject)) return false;
            const bool reference = node->IsReference(child);
            WriteString(child->GetName());
            WriteString(child->GetTypeName());
            Put8(static_cast<u8>(child->GetKind() | (reference ? kUdfReference : 0)));
            if (child->IsArray()) Put32(child->GetCount());
            if (const auto* place = written.Find(child)) {
                Put32(place->value.offset);
                Put32(place->value.size);
            } else {
                if (!pendingEntries.PushBack(UdfPendingEntry{Position(), child})) return false;
                PutBytes("DataArea", 8);
            }
        }
        if (!patches.PushBack(UdfPatch{table, 1, Position() - table})) return false;
        entry = children.first;
        for (u32 i = 0; i < children.count; ++i, entry = entry->next) {
            if (node->IsReference(entry->value)) continue;
            if (!WriteNode(entry->value, depth + 1)) return false;
        }
    } else if (node->GetSize() != 0) {
        if (!node->GetData()) return false;
        PutBytes(node->GetData(), node->GetSize());
    }

    active.Remove(node);
    if (!written.Insert(node, UdfPlace{start, Position() - start})) return false;
    return !failed;
}

bool UdfBinaryWriter::ApplyPatches() {
    bool ok = true;
    ForEachInOrder(pendingEntries, [&](const UdfPendingEntry& pending) {
        const auto* place = written.Find(pending.node);
        if (!place) {
            ok = false;  // a reference to a node no owner wrote: the placeholder stays
            return;
        }
        if (!stream->Seek(static_cast<i32>(pending.position), kSeekSet)) failed = 1;
        Put32(place->value.offset);
        Put32(place->value.size);
    });
    ForEachInOrder(patches, [&](const UdfPatch& patch) {
        if (!stream->Seek(static_cast<i32>(patch.position), kSeekSet)) failed = 1;
        Put32(patch.value);
    });
    return ok && !failed;
}

bool UdfBinaryWriter::WriteDocument(Stream* out, UdfNode* root, const UdfTypeList* types) {
    if (!out) return false;
    Reset();
    stream = out;
    failed = 0;
    Put32(0);
    WriteString(String::Borrow(kMagic, 14));
    WriteTypes(types);
    bool ok = !failed;
    if (ok && root) {
        ok = root->IsObject() && !HasLoop(root);
        if (ok) {
            const u32 rootSizeAt = Position();
            Put32(0);
            ok = WriteNode(root, 0);
            if (ok) {
                const u32 end = Position();
                ok = patches.PushBack(UdfPatch{rootSizeAt, 1, end - rootSizeAt}) &&
                     patches.PushBack(UdfPatch{0, 1, end});
            }
            if (ok) ok = ApplyPatches();
        }
    }
    Reset();
    stream = nullptr;
    return ok && !failed;
}

bool UdfBinaryWriter::WriteRoot(Stream* out, UdfNode* root, const UdfTypeList* types) {
    return root && WriteDocument(out, root, types);
}

bool UdfBinaryWriter::WriteTo(Stream* out, const UdfNodeList* nodes, const UdfTypeList* types) {
    if (!nodes) return WriteDocument(out, nullptr, types);
    UdfNode rootNode(String("_root"), String("_roottype"), nullptr, 0, false);
    rootNode.SetKind(kUdfObject);
    // The listed nodes become the root's owned children for the time of the write.
    UdfNodeList added;
    bool ok = true;
    ForEachInOrder(*nodes, [&](UdfNode* node) {
        if (!ok) return;
        if (!node || rootNode.FindChild(node->GetName()) || !added.PushBack(node) || !rootNode.AddChild(node, false))
            ok = false;
    });
    if (ok) ok = WriteDocument(out, &rootNode, types);
    ForEachInOrder(added, [&](UdfNode* node) { rootNode.DetachChild(node->GetName()); });
    return ok;
}

bool UdfBinaryWriter::Write(const String& fileName, const UdfNodeList* nodes, const UdfTypeList* types,
                            u32 flags) {
    Stream* out;
    if (flags & kWriteInMemory) out = new (std::nothrow) ArchiveStream;
    else out = new (std::nothrow) FileStream;
    if (!out) return false;
    if (!out->Open(fileName, kStreamWrite)) {
        delete out;
        return false;
    }
    bool ok = WriteTo(out, nodes, types);
    if (flags & kWriteInMemory) {
        // The document is complete in memory: store it with one write. A reference
        // without an owner still gives a file, as when writing straight to disk.
        const i32 size = out->Size();
        u8* bytes = size > 0 ? static_cast<u8*>(MemAlloc(static_cast<u32>(size))) : nullptr;
        bool stored = size > 0 && bytes && out->Seek(0, kSeekSet) &&
                      out->Read(bytes, static_cast<u32>(size)) == static_cast<u32>(size);
        if (stored) {
            FileStream file;
            stored = file.Open(fileName, kStreamWrite) &&
                     file.WriteBlock(bytes, static_cast<u32>(size)) == static_cast<u32>(size);
            file.Close();
        }
        MemFree(bytes);
        if (!stored) ok = false;
    }
    out->Close();
    delete out;
    return ok;
}
