// The engine's keyed container: a height-balanced (AVL) search tree whose nodes are
// also threaded on a circular doubly linked list. The tree gives ordered lookup; the
// thread gives a stable visiting order (insertion order, or key order when
// sortedThread is set), a cursor and an iteration position that survive erasures.
//
// One template serves every payload: the key type, the value type and an ordering
// functor `int operator()(const K&, const K&) const` returning -1, 0 or 1.
#pragma once

#include "Core/Container.h"
#include "Core/Memory.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"
#include "Core/WString.h"

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

// Integer keys compared as unsigned numbers.
struct UnsignedOrder {
    int operator()(u32 a, u32 b) const { return a < b ? -1 : (b < a ? 1 : 0); }
};

// Integer keys compared as signed numbers (time keys of key frames).
struct SignedOrder {
    int operator()(i32 a, i32 b) const { return a < b ? -1 : (b < a ? 1 : 0); }
};

// Float keys. A NaN would compare neither below nor above anything and so would
// overwrite whatever node the search reached first; NaNs therefore sort after
// every number and equal each other.
struct FloatOrder {
    int operator()(f32 a, f32 b) const {
        if (a < b) return -1;
        if (b < a) return 1;
        const bool aNaN = a != a;
        const bool bNaN = b != b;
        if (aNaN == bNaN) return 0;
        return aNaN ? 1 : -1;
    }
};

// The value of a set: takes no room in the node.
struct NoValue {
    bool operator==(const NoValue&) const = default;
};

template <class K, class V>
struct MapNode {
    K key;
    [[no_unique_address]] V value;
    i32 height = 1;  // of the subtree rooted here; a missing child counts 0
    MapNode* left = nullptr;
    MapNode* right = nullptr;
    MapNode* parent = nullptr;
    MapNode* prev;  // circular thread; a lone node points to itself
    MapNode* next;

    MapNode() : key(), value(), prev(this), next(this) {}
    MapNode(const K& k, const V& v) : key(k), value(v), prev(this), next(this) {}
    MapNode(const MapNode&) = delete;
    MapNode& operator=(const MapNode&) = delete;
};

template <class K, class V, class Order>
class OrderedMap : public Container {
public:
    using Node = MapNode<K, V>;
    using Key = K;
    using Value = V;
    using Ordering = Order;

    // iterFlags bits.
    static constexpr u32 kIterForward = 1;   // the walk follows next (else prev)
    static constexpr u32 kIterSkipOnce = 2;  // an erasure already moved the position

    u32 count = 0;
    Node* cursor;          // the node last inserted; thread insertions happen next to it
    Node* root = nullptr;  // null when empty
    Node* first;           // where the visiting order starts
    Node* position;        // the iteration position
    Node sentinel;         // never linked; its value is the map's default
    u32 sortedThread = 0;  // non-zero: the thread keeps key order
    u32 iterFlags = 0;
    Node* iterEnd = nullptr;  // where the current walk stops; null when none is under way

    OrderedMap() : cursor(&sentinel), first(&sentinel), position(&sentinel) {}
    OrderedMap(const OrderedMap& other) : OrderedMap() { Assign(other); }
    OrderedMap& operator=(const OrderedMap& other) {
        Assign(other);
        return *this;
    }
    // Moving hands the nodes over unchanged (thread, cursor, position and walk);
    // the source is left empty.
    OrderedMap(OrderedMap&& other) noexcept : OrderedMap() { TakeOver(other); }
    OrderedMap& operator=(OrderedMap&& other) noexcept {
        if (this != &other) {
            Clear();
            TakeOver(other);
        }
        return *this;
    }
    ~OrderedMap() override { Clear(); }

    // Frees every node, following the thread from the cursor.
    void Clear() override {
        if (count == 0) return;
        Node* node = cursor;
        for (u32 i = 0; i < count; ++i) {
            Node* next = node->next;
            Destroy(node);
            node = next;
        }
        count = 0;
        root = nullptr;
        iterEnd = nullptr;
        cursor = first = position = &sentinel;
    }

    // Adds key with value, or overwrites the value of an existing key (then nothing
    // else changes). Unless the thread is sorted, the new node goes right after the
    // cursor (after = true) or right before it. Null only when memory runs out.
    Node* Insert(const K& key, const V& value = V(), bool after = true) {
        return InsertBy(key, value, after, Order());
    }
    // Insert under the name the float-keyed tables use.
    Node* Set(const K& key, const V& value, bool after = true) { return Insert(key, value, after); }

    Node* Find(const K& key) const { return FindBy(key, Order()); }
    bool Contains(const K& key) const { return Find(key) != nullptr; }

    // The key's value, or the map's default (the sentinel's value) when absent.
    V& Get(const K& key) {
        Node* node = Find(key);
        return node ? node->value : sentinel.value;
    }
    const V& Get(const K& key) const {
        const Node* node = Find(key);
        return node ? node->value : sentinel.value;
    }

    // Removes the key's node and returns its value; the default when absent.
    V Erase(const K& key) {
        Node* node = Find(key);
        return node ? EraseNode(node) : V(sentinel.value);
    }
    // Removes the key's node; false when absent.
    bool Remove(const K& key) {
        Node* node = Find(key);
        if (!node) return false;
        EraseNode(node);
        return true;
    }

    // Erases the node at the cursor and returns its value; the cursor lands on the
    // node before it, so a cursor walk that drops nodes continues after it. On an
    // empty map: the default and no change.
    V PopCurrent() { return count ? EraseNode(cursor) : V(sentinel.value); }

    // A copy of the key at the cursor (the sentinel's, empty, when the map is).
    K CursorKey() const { return cursor->key; }

    // floor = the node with the greatest key <= key, ceiling = the one with the
    // smallest key >= key; an exact match gives the same node twice, a side with no
    // such node null.
    void EqualRange(const K& key, Node*& floor, Node*& ceiling) const {
        floor = nullptr;
        ceiling = nullptr;
        const Order order;
        Node* node = root;
        while (node) {
            const int c = order(key, node->key);
            if (c == 0) {
                floor = ceiling = node;
                return;
            }
            if (c < 0) {
                ceiling = node;
                node = node->left;
            } else {
                floor = node;
                node = node->right;
            }
        }
    }

    // Integer-keyed maps filled with signed keys: compare keys as signed numbers.
    // A map must be searched with the same order it was filled with.
    Node* InsertSigned(u32 key, const V& value = V(), bool after = true)
        requires std::is_same_v<K, u32>
    {
        return InsertBy(key, value, after, SignedKeys());
    }
    Node* FindSigned(u32 key) const
        requires std::is_same_v<K, u32>
    {
        return FindBy(key, SignedKeys());
    }
    V EraseSigned(u32 key)
        requires std::is_same_v<K, u32>
    {
        Node* node = FindBy(key, SignedKeys());
        return node ? EraseNode(node) : V(sentinel.value);
    }

    // Lookup by anything the comparison accepts: cmp(probe, nodeKey) -> -1/0/1,
    // which must order keys the same way Order does.
    template <class P, class Cmp>
    Node* FindBy(const P& probe, Cmp cmp) const {
        Node* node = root;
        while (node) {
            const int c = cmp(probe, node->key);
            if (c == 0) return node;
            node = c < 0 ? node->left : node->right;
        }
        return nullptr;
    }

    // Copy: the default, sortedThread and every node, with the source's thread
    // order and first node. False when memory ran out part way.
    bool Assign(const OrderedMap& source) {
        if (&source == this) return true;
        Clear();
        sentinel.key = source.sentinel.key;
        sentinel.value = source.sentinel.value;
        sortedThread = source.sortedThread;
        bool ok = true;
        Node* copyOfFirst = nullptr;
        const Node* from = source.cursor;
        for (u32 i = 0; i < source.count; ++i, from = from->next) {
            Node* node = Insert(from->key, from->value, true);
            if (!node) ok = false;
            if (from == source.first) copyOfFirst = node;
        }
        if (copyOfFirst) first = copyOfFirst;
        return ok;
    }

    // Iteration over the thread with the map's own position. IterBegin starts a
    // walk at `first` and returns it (null when empty); IterNext returns the next
    // node, or null once the walk has come round. Erasing nodes, also the one at
    // the position, is allowed during a walk.
    Node* IterBegin(bool forward = true) {
        cursor = position = first;
        iterFlags = forward ? kIterForward : 0;
        iterEnd = nullptr;
        if (count == 0) return nullptr;
        iterEnd = position;
        return position;
    }
    Node* IterNext() {
        if (!iterEnd || count == 0) {
            iterEnd = nullptr;
            return nullptr;
        }
        if (iterFlags & kIterSkipOnce) {
            iterFlags &= ~kIterSkipOnce;
            return position;
        }
        position = (iterFlags & kIterForward) ? position->next : position->prev;
        if (position == iterEnd) {
            iterEnd = nullptr;
            return nullptr;
        }
        return position;
    }
    // Abandons a walk.
    void IterStop() { iterEnd = nullptr; }
    // Moves the position one step outside a walk (an erasure may already have done so).
    Node* Advance() {
        if (count == 0) return nullptr;
        if (iterFlags & kIterSkipOnce)
            iterFlags &= ~kIterSkipOnce;
        else
            position = (iterFlags & kIterForward) ? position->next : position->prev;
        return position;
    }

    // Visits every node once in thread order starting at the cursor and leaves the
    // cursor where it started: fn(key, value). fn may erase the node it is given
    // (the walk then goes on with the node after it) but no other node.
    template <class Fn>
    void CursorWalk(Fn&& fn) {
        const u32 steps = count;
        for (u32 i = 0; i < steps && count != 0; ++i) {
            Node* node = cursor;
            fn(static_cast<const K&>(node->key), node->value);
            cursor = cursor == node ? node->next : cursor->next;
        }
    }

private:
    struct SignedKeys {
        int operator()(u32 a, u32 b) const { return SignedOrder()(static_cast<i32>(a), static_cast<i32>(b)); }
    };

    static_assert(alignof(Node) <= alignof(std::max_align_t), "nodes come from MemAlloc");

    // Into an empty map.
    void TakeOver(OrderedMap& other) {
        sentinel.key = std::move(other.sentinel.key);
        sentinel.value = std::move(other.sentinel.value);
        sortedThread = other.sortedThread;
        iterFlags = other.iterFlags;
        if (other.count == 0) return;
        count = other.count;
        root = other.root;
        cursor = other.cursor;
        first = other.first;
        position = other.position;
        iterEnd = other.iterEnd;
        other.count = 0;
        other.root = nullptr;
        other.iterEnd = nullptr;
        other.cursor = other.first = other.position = &other.sentinel;
    }

    static Node* Make(const K& key, const V& value) {
        void* block = MemAlloc(sizeof(Node));
        if (!block) return nullptr;
        return new (block) Node(key, value);
    }
    static void Destroy(Node* node) {
        node->~Node();
        MemFree(node);
    }
    static i32 H(const Node* node) { return node ? node->height : 0; }
    static void FixHeight(Node* node) {
        const i32 hl = H(node->left);
        const i32 hr = H(node->right);
        node->height = (hl > hr ? hl : hr) + 1;
    }

    void ReplaceChild(Node* parent, Node* old, Node* replacement) {
        if (!parent)
            root = replacement;
        else if (parent->left == old)
            parent->left = replacement;
        else
            parent->right = replacement;
    }

    Node* RotateLeft(Node* n) {
        Node* r = n->right;
        Node* inner = r->left;
        n->right = inner;
        if (inner) inner->parent = n;
        Node* parent = n->parent;
        r->parent = parent;
        ReplaceChild(parent, n, r);
        r->left = n;
        n->parent = r;
        FixHeight(n);
        FixHeight(r);
        return r;
    }
    Node* RotateRight(Node* n) {
        Node* l = n->left;
        Node* inner = l->right;
        n->left = inner;
        if (inner) inner->parent = n;
        Node* parent = n->parent;
        l->parent = parent;
        ReplaceChild(parent, n, l);
        l->right = n;
        n->parent = l;
        FixHeight(n);
        FixHeight(l);
        return l;
    }

    // Restores balance at n (single rotation when the heavy child leans outward or
    // not at all, double when it leans inward) and returns the subtree's new top,
    // already hung into n's old parent.
    Node* Rebalance(Node* n) {
        const i32 hl = H(n->left);
        const i32 hr = H(n->right);
        if (hr - hl >= 2) {
            Node* r = n->right;
            if (H(r->left) > H(r->right)) RotateRight(r);
            return RotateLeft(n);
        }
        if (hl - hr >= 2) {
            Node* l = n->left;
            if (H(l->right) > H(l->left)) RotateLeft(l);
            return RotateRight(n);
        }
        n->height = (hl > hr ? hl : hr) + 1;
        return n;
    }

    // Rebalances from node up towards the root. Once a subtree ends with the height
    // it had before the change, nothing above it can have changed.
    void RebalanceUp(Node* node) {
        while (node) {
            Node* parent = node->parent;
            const i32 before = node->height;
            Node* top = Rebalance(node);
            if (top->height == before) break;
            node = parent;
        }
    }

    static void LinkAfter(Node* at, Node* node) {
        node->prev = at;
        node->next = at->next;
        at->next->prev = node;
        at->next = node;
    }
    static void LinkBefore(Node* at, Node* node) {
        node->next = at;
        node->prev = at->prev;
        at->prev->next = node;
        at->prev = node;
    }

    template <class Cmp>
    Node* InsertBy(const K& key, const V& value, bool after, Cmp cmp) {
        if (!root) {
            Node* node = Make(key, value);
            if (!node) return nullptr;
            root = first = cursor = position = node;
            count = 1;
            return node;
        }
        Node* parent = root;
        int c;
        for (;;) {
            c = cmp(key, parent->key);
            if (c == 0) {
                parent->value = value;
                return parent;
            }
            Node* next = c < 0 ? parent->left : parent->right;
            if (!next) break;
            parent = next;
        }
        Node* node = Make(key, value);
        if (!node) return nullptr;
        node->parent = parent;
        if (c < 0)
            parent->left = node;
        else
            parent->right = node;

        if (sortedThread) {
            // A leaf's in-order neighbour on the side of its parent is the parent.
            if (c > 0) {
                LinkAfter(parent, node);
            } else {
                LinkBefore(parent, node);
                if (first == parent) first = node;
            }
        } else if (after) {
            LinkAfter(cursor, node);
        } else {
            LinkBefore(cursor, node);
            if (first == cursor) first = node;
        }
        ++count;
        cursor = node;
        RebalanceUp(parent);
        return node;
    }

    // Takes a node out of tree and thread, frees it and returns its value. A node
    // with two children is replaced by its in-order successor node (relinked, not
    // copied, so that no other node's identity changes).
    V EraseNode(Node* z) {
        V value(std::move(z->value));

        Node* parent = z->parent;
        Node* start;
        if (z->left && z->right) {
            Node* y = z->right;
            while (y->left) y = y->left;
            if (y->parent == z) {
                start = y;
            } else {
                start = y->parent;
                start->left = y->right;
                if (y->right) y->right->parent = start;
                y->right = z->right;
                z->right->parent = y;
            }
            y->left = z->left;
            z->left->parent = y;
            y->height = z->height;
            y->parent = parent;
            ReplaceChild(parent, z, y);
        } else {
            Node* child = z->left ? z->left : z->right;
            if (child) child->parent = parent;
            ReplaceChild(parent, z, child);
            start = parent;
        }
        RebalanceUp(start);

        --count;
        if (count == 0) {
            cursor = first = position = &sentinel;
            iterEnd = nullptr;
        } else {
            Node* prev = z->prev;
            Node* next = z->next;
            prev->next = next;
            next->prev = prev;
            if (cursor == z) cursor = prev;
            if (first == z) first = next;
            const bool forward = (iterFlags & kIterForward) != 0;
            Node* ahead = forward ? next : prev;
            Node* behind = forward ? prev : next;
            if (position == z) {
                if (!iterEnd || iterEnd == z) {
                    // Outside a walk, or on the node the walk started from (which
                    // is also its end mark): stand on the successor and let the
                    // next advance stay there.
                    position = ahead;
                    iterFlags |= kIterSkipOnce;
                } else {
                    // The walk's next advance lands on the successor.
                    position = behind;
                }
            }
            // The end mark moves on with the erasure, so that the walk still stops
            // after one round of the nodes that are left.
            if (iterEnd == z) iterEnd = ahead;
        }
        Destroy(z);
        return value;
    }
};

// The named instances.
using IntMap = OrderedMap<u32, u32, UnsignedOrder>;
using IntSet = OrderedMap<u32, NoValue, UnsignedOrder>;
using PairMap = OrderedMap<u32, IntPair, UnsignedOrder>;
using FloatMap = OrderedMap<f32, u32, FloatOrder>;
template <class V>
using FloatMapOf = OrderedMap<f32, V, FloatOrder>;
// Maps keyed by a u32 with a payload of their own (records, pointers).
template <class V>
using IntMapOf = OrderedMap<u32, V, UnsignedOrder>;
// The records of overlay tracks, lights and containers under a u32 key.
template <class Record>
using ObjectMap = IntMapOf<Record>;
// Key-frame tracks: signed time keys.
template <class V = u32>
using IntKeyMap = OrderedMap<i32, V, SignedOrder>;

// Text-keyed maps. Null texts equal the empty text.
using StringMap = OrderedMap<String, u32, StringOrder>;
using NoCaseStringMap = OrderedMap<String, u32, StringOrderNoCase>;
using WStringMap = OrderedMap<WString, u32, WStringOrder>;
using WStringDictMap = OrderedMap<WString, WString, WStringOrder>;
using WStringDictNode = WStringDictMap::Node;
template <class V>
using StringMapOf = OrderedMap<String, V, StringOrder>;
// Named one-word values, copied whole by Assign (the copy keeps the source's order).
using ParamGroup = StringMap;

// A case-sensitive String-keyed map that is looked up by zero-terminated text,
// without building a String for the probe.
class NameMap : public OrderedMap<String, u32, StringOrder> {
public:
    using OrderedMap::Find;
    using OrderedMap::Get;

    Node* Find(const char* name) const { return FindBy(name, TextOrder()); }
    u32& Get(const char* name) {
        Node* node = Find(name);
        return node ? node->value : sentinel.value;
    }
    const u32& Get(const char* name) const {
        const Node* node = Find(name);
        return node ? node->value : sentinel.value;
    }

private:
    struct TextOrder {
        int operator()(const char* text, const String& key) const { return -String::CompareText(key, text); }
    };
};
