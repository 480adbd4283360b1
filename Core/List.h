// The engine's sequence list: a circular doubly linked ring with a movable current
// position. New nodes go right after `current`; removals take the node at
// `current`. A list filled only by PushBack holds its nodes in insertion order with
// `current` on the last one, so one step along next from it reaches the first.
#pragma once

#include "Core/Container.h"
#include "Core/Memory.h"
#include "Core/Object.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"

#include <cstddef>
#include <new>
#include <utility>

template <class T>
struct ListNode {
    ListNode* next;
    ListNode* prev;
    T payload;

    ListNode() : next(this), prev(this), payload() {}
    explicit ListNode(const T& value) : next(this), prev(this), payload(value) {}
    ListNode(const ListNode&) = delete;
    ListNode& operator=(const ListNode&) = delete;
};

// Two payload words; `first` is the key that RemoveAll matches.
template <class A, class B>
struct ListPair {
    A first{};
    B second{};
    bool operator==(const ListPair&) const = default;
};

template <class T>
class List : public Container {
public:
    using Node = ListNode<T>;
    using Payload = T;

    i32 count = 0;
    Node* current;  // insertions go after it, removals take it
    Node* anchor;   // a second position kept valid by removals
    Node sentinel;  // never linked; its payload is what a removal from an empty list returns

    List() : current(&sentinel), anchor(&sentinel) {}
    List(const List& other) : List() { CopyFrom(other); }
    List(List&& other) noexcept : List() { TakeOver(other); }
    List& operator=(const List& other) {
        CopyFrom(other);
        return *this;
    }
    List& operator=(List&& other) noexcept {
        if (this != &other) {
            Clear();
            TakeOver(other);
        }
        return *this;
    }
    ~List() override { Clear(); }

    // Links a new node right after `current` and makes it current (and the anchor,
    // in an empty list). Null only when memory runs out.
    Node* PushBack(const T& payload) {
        void* block = MemAlloc(sizeof(Node));
        if (!block) return nullptr;
        Node* node = new (block) Node(payload);
        if (count == 0) {
            current = anchor = node;
        } else {
            node->prev = current;
            node->next = current->next;
            current->next->prev = node;
            current->next = node;
            current = node;
        }
        ++count;
        return node;
    }

    // Removes the node at `current` while walking the ring and returns its payload:
    // `current` moves back to the previous node, so that the walk's next step lands
    // on the node after the removed one. The anchor moves on to the next node when
    // it was the removed one. On an empty list: the sentinel's payload and no change.
    // (The named instances below take the node and move on instead.)
    T PopFront() { return TakeCurrent(true); }

    // A copy of the payload at `current` (the sentinel's when empty).
    T Current() const { return current->payload; }

    // Whether any node holds a payload equal to value.
    bool Contains(const T& value) const {
        const Node* node = current;
        for (i32 i = 0; i < count; ++i, node = node->next)
            if (node->payload == value) return true;
        return false;
    }

    // Visits every node once, starting at `current`, without moving it.
    template <class Fn>
    void ForEach(Fn&& fn) const {
        const Node* node = current;
        for (i32 i = 0; i < count; ++i, node = node->next) fn(node->payload);
    }

    // Walks once round from `current` and removes every node whose payload
    // satisfies pred; returns how many went.
    template <class Pred>
    i32 RemoveIf(Pred&& pred) {
        i32 removed = 0;
        const i32 steps = count;
        for (i32 i = 0; i < steps && count > 0; ++i) {
            if (pred(static_cast<const T&>(current->payload))) {
                List::PopFront();
                ++removed;
                if (count == 0) break;
            }
            current = current->next;
        }
        return removed;
    }

    // Pair lists: removes every node whose first word equals key.
    template <class K>
    i32 RemoveAll(const K& key)
        requires requires(const T& t, const K& k) { t.first == k; }
    {
        return RemoveIf([&key](const T& payload) { return payload.first == key; });
    }

    // Makes this list a copy of source: the payloads in the source's order from its
    // `current`, the anchor on the copy of the source's anchor, `current` on the
    // first copied node. False when memory ran out part way.
    bool CopyFrom(const List& source) {
        if (&source == this) return true;
        Clear();
        sentinel.payload = source.sentinel.payload;
        Node* firstCopy = nullptr;
        Node* anchorCopy = nullptr;
        const Node* from = source.current;
        for (i32 i = 0; i < source.count; ++i, from = from->next) {
            Node* node = PushBack(from->payload);
            if (!node) break;
            if (!firstCopy) firstCopy = node;
            if (from == source.anchor) anchorCopy = node;
        }
        if (firstCopy) current = firstCopy;
        if (anchorCopy) anchor = anchorCopy;
        return count == source.count;
    }

    // Frees every node, following next from `current`.
    void Clear() override {
        Node* node = current;
        for (i32 i = 0; i < count; ++i) {
            Node* next = node->next;
            Destroy(node);
            node = next;
        }
        count = 0;
        current = anchor = &sentinel;
    }

protected:
    T TakeCurrent(bool stepBack) {
        if (count == 0) return sentinel.payload;
        Node* node = current;
        T payload(std::move(node->payload));
        if (count == 1) {
            current = anchor = &sentinel;
        } else {
            node->prev->next = node->next;
            node->next->prev = node->prev;
            current = stepBack ? node->prev : node->next;
            if (anchor == node) anchor = node->next;
        }
        --count;
        Destroy(node);
        return payload;
    }

private:
    static_assert(alignof(Node) <= alignof(std::max_align_t), "nodes come from MemAlloc");

    static void Destroy(Node* node) {
        node->~Node();
        MemFree(node);
    }

    // Moves other's nodes here; other is left empty. This list must be empty.
    void TakeOver(List& other) {
        sentinel.payload = std::move(other.sentinel.payload);
        if (other.count == 0) return;
        count = other.count;
        current = other.current == &other.sentinel ? &sentinel : other.current;
        anchor = other.anchor == &other.sentinel ? &sentinel : other.anchor;
        other.count = 0;
        other.current = other.anchor = &other.sentinel;
    }
};

// The list as a queue, the form of the named instances: PopFront takes the node at
// `current` and moves on to the next one, so once `current` stands on the first node
// of a list filled by PushBack, repeated calls hand the payloads out in that order.
// The walking form stays reachable as List<T>::PopFront (RemoveIf uses it).
template <class T>
class QueueList : public List<T> {
public:
    using List<T>::List;

    // Removes the node at `current` and returns its payload; `current` moves on to
    // the next node. On an empty list: the sentinel's payload and no change.
    T PopFront() { return this->TakeCurrent(false); }
};

// The named instances.
using PtrList = QueueList<void*>;
template <class T>
using PtrListOf = QueueList<T*>;
template <class A = u32, class B = u32>
using PairListOf = QueueList<ListPair<A, B>>;
using PairList = PairListOf<>;
using StringList = QueueList<String>;
// Named shared handles (the lights of a light set, keyed by the light object).
template <class T = Object>
using HandleList = QueueList<NamedHandle<T>>;
// A shared handle to a whole HandleList: its last Release destroys the list, and with
// it the list's own handles.
template <class T = Object>
using HandleListRef = RefHandle<HandleList<T>>;
