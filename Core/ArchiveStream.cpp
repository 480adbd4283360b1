#include "Core/ArchiveStream.h"

#include "Core/Memory.h"

#include <cstring>
#include <new>

// One node of the rope. Inner nodes have both children; leaves have none and hold a
// piece, linked to their neighbours in byte order.
struct ByteRope::Node {
    Node* parent = nullptr;
    Node* left = nullptr;
    Node* right = nullptr;
    u32 below = 0;  // nodes under this one
    u32 bytes = 0;  // bytes in this subtree; a leaf's piece length
    u8* piece = nullptr;
    u32 capacity = 0;
    Node* prevLeaf = nullptr;
    Node* nextLeaf = nullptr;

    bool IsLeaf() const { return left == nullptr; }
    u32 Leaves() const { return below / 2 + 1; }
};

namespace {

// Leaves of a subtree from its node count: every inner node has two children.
template <class N>
u32 LeavesOf(const N* n) {
    return n->below / 2 + 1;
}

u32 AbsDiff(u32 a, u32 b) { return a > b ? a - b : b - a; }

// Grows a piece so that it holds at least `needed` bytes, keeping its contents.
// Capacity doubles (from 64) up to the piece limit so that many small writes at the
// end of a piece do not each reallocate it.
template <class N>
bool Reserve(N* leaf, u32 needed, u32 limit) {
    if (leaf->capacity >= needed) return true;
    u32 grown = leaf->capacity < 64 ? 64 : leaf->capacity * 2;
    if (grown > limit) grown = limit;
    if (grown < needed) grown = needed;
    u8* piece = static_cast<u8*>(MemAlloc(grown));
    if (!piece) return false;
    if (leaf->bytes) std::memcpy(piece, leaf->piece, leaf->bytes);
    MemFree(leaf->piece);
    leaf->piece = piece;
    leaf->capacity = grown;
    return true;
}

// The bytes being placed by one insertion: the new bytes followed by the tail cut off
// the piece they go into.
struct Sequence {
    const u8* head;
    u32 headLength;
    const u8* tail;
    u32 tailLength;

    void Copy(u8* out, u32 from, u32 n) const {
        if (from < headLength) {
            const u32 k = headLength - from < n ? headLength - from : n;
            std::memcpy(out, head + from, k);
            out += k;
            from += k;
            n -= k;
        }
        if (n) std::memcpy(out, tail + (from - headLength), n);
    }
};

}  // namespace

ByteRope::ByteRope(u32 pieceLimit) : limit(pieceLimit ? pieceLimit : kDefaultPieceLimit) {}

ByteRope::~ByteRope() { Clear(); }

u32 ByteRope::Size() const { return root ? root->bytes : 0; }

void ByteRope::Clear() {
    // Post-order walk without recursion: climb back up through parent links.
    Node* n = root;
    while (n) {
        if (n->left) {
            Node* child = n->left;
            n->left = nullptr;
            n = child;
        } else if (n->right) {
            Node* child = n->right;
            n->right = nullptr;
            n = child;
        } else {
            Node* up = n->parent;
            MemFree(n->piece);
            delete n;
            n = up;
        }
    }
    root = first = last = nullptr;
    leafCount = 0;
}

bool ByteRope::Assign(const void* bytes, u32 n) {
    Clear();
    return Insert(-1, bytes, n);
}

ByteRope::Node* ByteRope::Locate(u32 index, u32* offset) const {
    Node* n = root;
    u32 start = 0;
    while (!n->IsLeaf()) {
        if (index >= start + n->left->bytes) {
            start += n->left->bytes;
            n = n->right;
        } else {
            n = n->left;
        }
    }
    *offset = index - start;
    return n;
}

void ByteRope::ReplaceChild(Node* parent, Node* old, Node* replacement) {
    replacement->parent = parent;
    if (!parent) root = replacement;
    else if (parent->left == old) parent->left = replacement;
    else parent->right = replacement;
}

namespace {
template <class N>
void Recount(N* n) {
    n->below = n->left->below + n->right->below + 2;
    n->bytes = n->left->bytes + n->right->bytes;
}
}  // namespace

void ByteRope::RotateRight(Node* n) {
    Node* l = n->left;
    ReplaceChild(n->parent, n, l);
    n->left = l->right;
    n->left->parent = n;
    l->right = n;
    n->parent = l;
    Recount(n);
    Recount(l);
}

void ByteRope::RotateLeft(Node* n) {
    Node* r = n->right;
    ReplaceChild(n->parent, n, r);
    n->right = r->left;
    n->right->parent = n;
    r->left = n;
    n->parent = r;
    Recount(n);
    Recount(r);
}

// Turns the node toward its lighter side while one child has more than 2 nodes more
// below it than the other. A single rotation, or a double one when the heavy child's
// inner grandchild carries the weight, is taken only when it narrows the difference,
// so the loop ends. The nodes moved down are balanced the same way. Returns the node
// now at the top of the subtree; the subtree's totals do not change.
ByteRope::Node* ByteRope::Rebalance(Node* n) {
    while (!n->IsLeaf() && AbsDiff(n->left->below, n->right->below) > 2) {
        const bool leftHeavy = n->left->below > n->right->below;
        Node* heavy = leftHeavy ? n->left : n->right;
        Node* light = leftHeavy ? n->right : n->left;
        Node* outer = leftHeavy ? heavy->left : heavy->right;
        Node* inner = leftHeavy ? heavy->right : heavy->left;
        const u32 now = AbsDiff(LeavesOf(heavy), LeavesOf(light));
        const u32 single = AbsDiff(LeavesOf(outer), LeavesOf(inner) + LeavesOf(light));
        u32 twice = now;
        if (!inner->IsLeaf()) {
            Node* innerOuter = leftHeavy ? inner->left : inner->right;
            Node* innerInner = leftHeavy ? inner->right : inner->left;
            twice = AbsDiff(LeavesOf(outer) + LeavesOf(innerOuter), LeavesOf(innerInner) + LeavesOf(light));
        }
        if (single >= now && twice >= now) break;
        if (twice < single) {
            // Bring the inner grandchild up first, then over the top.
            if (leftHeavy) RotateLeft(heavy);
            else RotateRight(heavy);
            Node* lowered = leftHeavy ? n->left->left : n->right->right;  // the old heavy child
            if (leftHeavy) RotateRight(n);
            else RotateLeft(n);
            Rebalance(lowered);
        } else {
            if (leftHeavy) RotateRight(n);
            else RotateLeft(n);
        }
        Node* up = n->parent;  // the new top of this subtree
        Rebalance(n);
        n = up;
    }
    return n;
}

void ByteRope::FixUp(Node* from) {
    Node* n = from;
    while (n) {
        if (!n->IsLeaf()) {
            Recount(n);
            n = Rebalance(n);
        }
        n = n->parent;
    }
}

void ByteRope::AttachAfter(Node* leaf, Node* added, Node* inner) {
    ReplaceChild(leaf->parent, leaf, inner);
    inner->left = leaf;
    inner->right = added;
    leaf->parent = inner;
    added->parent = inner;
    added->prevLeaf = leaf;
    added->nextLeaf = leaf->nextLeaf;
    if (leaf->nextLeaf) leaf->nextLeaf->prevLeaf = added;
    else last = added;
    leaf->nextLeaf = added;
    ++leafCount;
    FixUp(inner);
}

void ByteRope::Detach(Node* leaf) {
    if (leaf->prevLeaf) leaf->prevLeaf->nextLeaf = leaf->nextLeaf;
    else first = leaf->nextLeaf;
    if (leaf->nextLeaf) leaf->nextLeaf->prevLeaf = leaf->prevLeaf;
    else last = leaf->prevLeaf;
    --leafCount;
    Node* parent = leaf->parent;
    MemFree(leaf->piece);
    delete leaf;
    if (!parent) {
        root = nullptr;
        return;
    }
    Node* sibling = parent->left == leaf ? parent->right : parent->left;
    Node* grand = parent->parent;
    ReplaceChild(grand, parent, sibling);
    delete parent;
    FixUp(grand);
}

bool ByteRope::Insert(i64 at, const void* data, u32 n) {
    if (n == 0) return true;
    if (!data) return false;
    const u32 size = Size();
    if (size > 0xFFFFFFFFu - n) return false;

    // Where the bytes go: the piece holding byte `at`, cut at `offset`; or the end.
    Node* leaf = nullptr;
    u32 offset = 0;
    if (root) {
        if (at < 0 || at >= static_cast<i64>(size)) {
            leaf = last;
            offset = last->bytes;
        } else {
            leaf = Locate(static_cast<u32>(at), &offset);
        }
    }
    const u32 tailLength = leaf ? leaf->bytes - offset : 0;
    const u32 total = n + tailLength;
    // The first part refills the cut piece up to the limit (an empty rope has none).
    const u32 room = leaf ? limit - offset : 0;
    const u32 inPlace = total < room ? total : room;
    const u32 rest = total - inPlace;
    const u32 fullPieces = rest / limit;
    const u32 remainder = rest % limit;
    Node* next = leaf ? leaf->nextLeaf : nullptr;
    const bool prepend = remainder > 0 && next && remainder + next->bytes < limit;
    const u32 newPieces = fullPieces + (remainder > 0 && !prepend ? 1u : 0u);

    // Everything that can fail is allocated before the rope changes.
    u8* tailCopy = nullptr;
    Node** added = nullptr;
    bool ok = true;
    if (newPieces) {
        added = static_cast<Node**>(MemAlloc(sizeof(Node*) * 2u * newPieces));
        ok = added != nullptr;
        for (u32 i = 0; ok && i < 2u * newPieces; ++i) added[i] = nullptr;
        for (u32 i = 0; ok && i < newPieces; ++i) {
            const u32 length = i < fullPieces ? limit : remainder;
            added[2 * i] = new (std::nothrow) Node;
            // Every new piece but the root of an empty rope turns a leaf into an inner node.
            const bool needsInner = root || i > 0;
            added[2 * i + 1] = needsInner ? new (std::nothrow) Node : nullptr;
            ok = added[2 * i] && (!needsInner || added[2 * i + 1]);
            if (ok) {
                added[2 * i]->piece = static_cast<u8*>(MemAlloc(length));
                added[2 * i]->capacity = length;
                ok = added[2 * i]->piece != nullptr;
            }
        }
    }
    if (ok && rest > 0 && tailLength > 0) {
        tailCopy = static_cast<u8*>(MemAlloc(tailLength));
        ok = tailCopy != nullptr;
    }
    if (ok && leaf && inPlace > 0) ok = Reserve(leaf, offset + inPlace, limit);
    if (ok && prepend) ok = Reserve(next, next->bytes + remainder, limit);
    if (!ok) {
        for (u32 i = 0; added && i < 2u * newPieces; ++i) {
            if (added[i]) MemFree(added[i]->piece);
            delete added[i];
        }
        MemFree(added);
        MemFree(tailCopy);
        return false;
    }

    const u8* bytes = static_cast<const u8*>(data);
    if (rest == 0) {
        // Everything fits in the piece: shift its tail and drop the bytes in.
        std::memmove(leaf->piece + offset + n, leaf->piece + offset, tailLength);
        std::memcpy(leaf->piece + offset, bytes, n);
        leaf->bytes += n;
        FixUp(leaf);
        return true;
    }

    if (tailLength) std::memcpy(tailCopy, leaf->piece + offset, tailLength);
    const Sequence sequence{bytes, n, tailCopy, tailLength};
    u32 placed = 0;
    if (leaf) {
        sequence.Copy(leaf->piece + offset, 0, inPlace);
        leaf->bytes = offset + inPlace;
        placed = inPlace;
        FixUp(leaf);
    }
    Node* previous = leaf;
    for (u32 i = 0; i < newPieces; ++i) {
        Node* piece = added[2 * i];
        piece->bytes = piece->capacity;
        sequence.Copy(piece->piece, placed, piece->bytes);
        placed += piece->bytes;
        if (!previous) {
            // The first piece of an empty rope is its root.
            root = first = last = piece;
            leafCount = 1;
        } else {
            AttachAfter(previous, piece, added[2 * i + 1]);
        }
        previous = piece;
    }
    if (prepend) {
        std::memmove(next->piece + remainder, next->piece, next->bytes);
        sequence.Copy(next->piece, placed, remainder);
        next->bytes += remainder;
        FixUp(next);
    }
    MemFree(added);
    MemFree(tailCopy);
    return true;
}

bool ByteRope::Clamp(i64* from, i64* to) const {
    const i64 size = Size();
    if (size == 0) return false;
    if (*from < 0) *from += size;
    if (*to < 0) *to += size;
    if (*from < 0) *from = 0;
    if (*from >= size) return false;
    if (*to >= size) *to = size - 1;
    return *to >= *from;
}

void ByteRope::Remove(i64 from, i64 to) {
    if (!Clamp(&from, &to)) return;
    u32 offset = 0;
    Node* leaf = Locate(static_cast<u32>(from), &offset);
    u32 remaining = static_cast<u32>(to - from + 1);
    while (remaining > 0 && leaf) {
        Node* following = leaf->nextLeaf;
        const u32 here = leaf->bytes - offset;
        const u32 k = here < remaining ? here : remaining;
        if (offset == 0 && k == leaf->bytes) {
            Detach(leaf);
        } else {
            std::memmove(leaf->piece + offset, leaf->piece + offset + k, leaf->bytes - offset - k);
            leaf->bytes -= k;
            FixUp(leaf);
        }
        remaining -= k;
        offset = 0;
        leaf = following;
    }
}

u32 ByteRope::CopyOut(u32 at, void* out, u32 n) const {
    const u32 size = Size();
    if (!out || n == 0 || at >= size) return 0;
    if (n > size - at) n = size - at;
    u32 offset = 0;
    const Node* leaf = Locate(at, &offset);
    u8* to = static_cast<u8*>(out);
    u32 done = 0;
    while (done < n && leaf) {
        const u32 here = leaf->bytes - offset;
        const u32 k = here < n - done ? here : n - done;
        std::memcpy(to + done, leaf->piece + offset, k);
        done += k;
        offset = 0;
        leaf = leaf->nextLeaf;
    }
    return done;
}

String ByteRope::Take(i64 from, i64 to) const {
    if (!Clamp(&from, &to)) return String();
    const u32 n = static_cast<u32>(to - from + 1);
    char* text = static_cast<char*>(MemAlloc(static_cast<std::size_t>(n) + 1));
    if (!text) return String();
    CopyOut(static_cast<u32>(from), text, n);
    text[n] = 0;
    return String::FromBuffer(text, n, false);
}

namespace {
template <class N>
u32 HeightOf(const N* n) {
    if (!n) return 0;
    if (n->IsLeaf()) return 1;
    const u32 l = HeightOf(n->left);
    const u32 r = HeightOf(n->right);
    return 1 + (l > r ? l : r);
}

// Checks the subtree and appends its leaves, in order, to `order`.
template <class N>
bool VerifyNode(const N* n, const N* parent, u32 limit, const N*** order) {
    if (!n || n->parent != parent) return false;
    if (n->IsLeaf()) {
        if (n->right || n->below != 0 || n->bytes == 0 || n->bytes > limit || n->bytes > n->capacity || !n->piece)
            return false;
        *(*order)++ = n;
        return true;
    }
    if (!n->right || n->piece) return false;
    if (!VerifyNode(n->left, n, limit, order) || !VerifyNode(n->right, n, limit, order)) return false;
    return n->below == n->left->below + n->right->below + 2 && n->bytes == n->left->bytes + n->right->bytes;
}
}  // namespace

u32 ByteRope::Height() const { return HeightOf(root); }

bool ByteRope::Verify() const {
    if (!root) return !first && !last && leafCount == 0;
    if (root->Leaves() != leafCount) return false;
    const Node** leaves = static_cast<const Node**>(MemAlloc(sizeof(Node*) * leafCount));
    if (!leaves) return false;
    const Node** end = leaves;
    bool ok = VerifyNode<Node>(root, nullptr, limit, &end) && end == leaves + leafCount;
    // The thread must visit the same leaves in the same order, both ways.
    const Node* walk = first;
    for (u32 i = 0; ok && i < leafCount; ++i) {
        ok = walk == leaves[i] && walk->prevLeaf == (i ? leaves[i - 1] : nullptr);
        walk = walk ? walk->nextLeaf : nullptr;
    }
    ok = ok && walk == nullptr && last == leaves[leafCount - 1];
    MemFree(leaves);
    return ok;
}

// ArchiveStream ---------------------------------------------------------------------

bool ArchiveStream::Open(const String&, u32 openMode) {
    mode = openMode;
    position = 0;
    return true;
}

bool ArchiveStream::Close() { return true; }

i32 ArchiveStream::Tell() { return static_cast<i32>(position + base); }

u32 ArchiveStream::SizeNow() const { return (mode & kStreamWrite) ? buffer.Size() : bytes.length; }

i32 ArchiveStream::Size() { return static_cast<i32>(SizeNow()); }

bool ArchiveStream::Seek(i32 offset, u32 origin) {
    atEnd = 0;
    const i64 size = SizeNow();
    i64 target;
    if (origin == kSeekCurrent) target = static_cast<i64>(position) + offset;
    else if (origin == kSeekSet) target = static_cast<i64>(offset) - base;
    else target = size + offset;
    if (target < 0 || target > size) return false;
    position = static_cast<u32>(target);
    return true;
}

bool ArchiveStream::Eof() { return atEnd != 0; }

u32 ArchiveStream::Read(void* out, u32 count) {
    const u32 size = SizeNow();
    if (position >= size) {
        atEnd = 1;
        return 0;
    }
    if (!out || count == 0) return 0;
    if (count > size - position) count = size - position;
    if (mode & kStreamWrite) buffer.CopyOut(position, out, count);
    else std::memcpy(out, bytes.data + position, count);
    position += count;
    return count;
}

u32 ArchiveStream::Write(const void* in, u32 count) {
    if (!in || count == 0) return 0;
    // Sizes and positions are reported as signed 32-bit values: stay within them.
    const u32 ropeSize = buffer.Size();
    const u32 at = position < ropeSize ? position : ropeSize;
    const u32 overwritten = ropeSize - at < count ? ropeSize - at : count;
    if (static_cast<u64>(ropeSize) - overwritten + count > 0x7FFFFFFFu) return 0;
    if (static_cast<u64>(position) + count > 0x7FFFFFFFu) return 0;
    // The new bytes go in first, so that a failure leaves the buffer as it was; the
    // bytes they replace, now right behind them, are then taken out.
    if (!buffer.Insert(at, in, count)) return 0;
    if (overwritten) buffer.Remove(static_cast<i64>(at) + count, static_cast<i64>(at) + count + overwritten - 1);
    position += count;
    return count;
}

void ArchiveStream::BorrowBytes(const void* data, u32 n) {
    bytes.Release();
    keeper.Release();
    bytes.data = static_cast<char*>(const_cast<void*>(data));
    bytes.length = data ? n : 0;
    bytes.borrowed = 1;
}

void ArchiveStream::AdoptBytes(void* data, u32 n) {
    bytes.Release();
    keeper.Release();
    bytes.data = static_cast<char*>(data);
    bytes.length = data ? n : 0;
    bytes.borrowed = 0;
}

bool ArchiveStream::CopyBytes(const void* data, u32 n) {
    if (!data || n == 0) {
        AdoptBytes(nullptr, 0);
        return data != nullptr || n == 0;
    }
    char* copy = static_cast<char*>(MemAlloc(static_cast<std::size_t>(n) + 1));
    if (!copy) return false;
    std::memcpy(copy, data, n);
    copy[n] = 0;  // texts read from memory may rely on a terminator
    AdoptBytes(copy, n);
    return true;
}

void ArchiveStream::ShareBytes(const RefHandle<Blob>& owner, const void* data, u32 n) {
    BorrowBytes(data, n);
    keeper.Assign(owner);
}

bool ArchiveStream::AssignBuffer(const String& text) { return buffer.Assign(text.data, text.length); }

bool ArchiveStream::AssignBuffer(const void* data, u32 n) { return buffer.Assign(data, n); }
