// A stack of plain values that grows by doubling, for walks over trees and graphs that
// must not recurse (a deep or hostile document would overflow the call stack).
#pragma once

#include "Core/Memory.h"
#include "Core/Types.h"

#include <cstring>
#include <type_traits>

template <class T>
class WalkStack {
    static_assert(std::is_trivially_copyable_v<T>, "items are moved with memcpy");

public:
    WalkStack() = default;
    WalkStack(const WalkStack&) = delete;
    WalkStack& operator=(const WalkStack&) = delete;
    ~WalkStack() { MemFree(items); }

    // False when memory runs out (the stack is then unchanged).
    bool Push(const T& item) {
        if (size == capacity) {
            if (capacity > 0x7FFFFFFFu / sizeof(T)) return false;
            const u32 grown = capacity ? capacity * 2 : 32;
            T* bigger = static_cast<T*>(MemAlloc(sizeof(T) * grown));
            if (!bigger) return false;
            if (size) std::memcpy(static_cast<void*>(bigger), items, sizeof(T) * size);
            MemFree(items);
            items = bigger;
            capacity = grown;
        }
        items[size++] = item;
        return true;
    }
    // The top item, or a value-initialised one (null for pointers) when empty.
    T Pop() { return size ? items[--size] : T(); }
    bool Pop(T* out) {
        if (!size) return false;
        *out = items[--size];
        return true;
    }
    T* Top() { return size ? items + size - 1 : nullptr; }
    u32 Size() const { return size; }
    bool IsEmpty() const { return size == 0; }
    const T& At(u32 i) const { return items[i]; }
    T& operator[](u32 i) { return items[i]; }
    void Reset() { size = 0; }

private:
    T* items = nullptr;
    u32 size = 0;
    u32 capacity = 0;
};
