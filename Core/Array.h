// The engine's growable array. The grow step is also the largest unused tail a
// shrink keeps: growing past the capacity allocates `step` spare elements, and a
// shrink that would leave more than `step` unused elements gives the memory back.
// Elements are built, copied and destroyed with their own C++ semantics.
#pragma once

#include "Core/Container.h"
#include "Core/FColor.h"
#include "Core/List.h"
#include "Core/Memory.h"
#include "Core/Object.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"
#include "Core/Vector.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <utility>

template <class T>
class Array : public Container {
public:
    using Element = T;

    i32 count = 0;
    i32 capacity = 0;
    i32 step = 0;
    T* data = nullptr;  // null when capacity is 0

    // count n, capacity n + step. Negative sizes count as 0; when memory runs out
    // the array is left empty.
    explicit Array(i32 n = 0, i32 growStep = 0) : step(growStep > 0 ? growStep : 0) {
        if (n < 0) n = 0;
        const i64 cap = static_cast<i64>(n) + step;
        if (cap == 0 || cap > kMaxCapacity) return;
        data = Allocate(static_cast<i32>(cap));
        if (!data) return;
        capacity = static_cast<i32>(cap);
        count = n;
    }
    Array(const Array& other) : step(other.step) { CopyFrom(other); }
    Array(Array&& other) noexcept
        : count(other.count), capacity(other.capacity), step(other.step), data(other.data) {
        other.count = other.capacity = 0;
        other.data = nullptr;
    }
    Array& operator=(const Array& other) {
        if (this != &other) {
            Release();
            step = other.step;
            CopyFrom(other);
        }
        return *this;
    }
    Array& operator=(Array&& other) noexcept {
        if (this != &other) {
            Release();
            count = other.count;
            capacity = other.capacity;
            step = other.step;
            data = other.data;
            other.count = other.capacity = 0;
            other.data = nullptr;
        }
        return *this;
    }
    ~Array() override { Release(); }

    void Clear() override { Resize(0); }

    // Sets the element count. Within the capacity, and leaving at most `step`
    // unused, only the count changes (elements dropped from the end are reset so
    // that they let go of what they hold); otherwise the block is reallocated to
    // n + step elements, keeping the first min(count, n). False, with nothing
    // changed, for a negative n or when memory runs out.
    bool Resize(i32 n) {
        if (n < 0) return false;
        if (capacity >= n && capacity - n <= step) {
            for (i32 i = n; i < count; ++i) data[i] = T();
            count = n;
            return true;
        }
        const i64 cap = static_cast<i64>(n) + step;
        if (cap > kMaxCapacity) return false;
        if (cap == 0) {
            Release();
            return true;
        }
        T* block = Allocate(static_cast<i32>(cap));
        if (!block) return false;
        const i32 keep = count < n ? count : n;
        for (i32 i = 0; i < keep; ++i) block[i] = std::move(data[i]);
        Destroy(data, capacity);
        data = block;
        count = n;
        capacity = static_cast<i32>(cap);
        return true;
    }

    // Element i, growing the array to i + 1 elements first when i is past the end.
    // Null for a negative index or when memory runs out.
    T* At(i32 i) {
        if (i < 0 || i >= kMaxCapacity) return nullptr;
        if (i >= count && !Resize(i + 1)) return nullptr;
        return data + i;
    }

    // Element i, or null when i is out of range.
    T* Get(i32 i) { return i >= 0 && i < count ? data + i : nullptr; }
    const T* Get(i32 i) const { return i >= 0 && i < count ? data + i : nullptr; }

    // Unchecked access for loops that already know the bounds.
    T& operator[](i32 i) { return data[i]; }
    const T& operator[](i32 i) const { return data[i]; }

    // Appends a copy of value; null when memory runs out.
    T* Add(const T& value) {
        // value may be one of this array's own elements, which growing would move.
        if (std::less<const T*>()(&value, data + capacity) && !std::less<const T*>()(&value, data)) {
            T copy(value);
            T* slot = At(count);
            if (slot) *slot = std::move(copy);
            return slot;
        }
        T* slot = At(count);
        if (slot) *slot = value;
        return slot;
    }

    T* begin() { return data; }
    T* end() { return data + count; }
    const T* begin() const { return data; }
    const T* end() const { return data + count; }

private:
    // Compared unsigned: for one-byte elements SIZE_MAX itself would turn negative as an
    // i64 and leave such arrays unable to hold anything.
    static constexpr i64 kMaxCapacity = SIZE_MAX / sizeof(T) < static_cast<std::size_t>(INT32_MAX)
                                            ? static_cast<i64>(SIZE_MAX / sizeof(T))
                                            : INT32_MAX;
    static_assert(alignof(T) <= alignof(std::max_align_t), "blocks come from MemAlloc");

    static T* Allocate(i32 n) {
        if (n <= 0) return nullptr;
        T* block = static_cast<T*>(MemAlloc(static_cast<std::size_t>(n) * sizeof(T)));
        if (!block) return nullptr;
        for (i32 i = 0; i < n; ++i) new (block + i) T();
        return block;
    }
    static void Destroy(T* block, i32 n) {
        if (!block) return;
        for (i32 i = 0; i < n; ++i) block[i].~T();
        MemFree(block);
    }
    void Release() {
        Destroy(data, capacity);
        data = nullptr;
        count = capacity = 0;
    }
    // Into an empty array: other's count and capacity, a block of its own.
    void CopyFrom(const Array& other) {
        count = capacity = 0;
        data = nullptr;
        if (other.capacity == 0) return;
        data = Allocate(other.capacity);
        if (!data) return;
        capacity = other.capacity;
        count = other.count;
        for (i32 i = 0; i < count; ++i) data[i] = other.data[i];
    }
};

// Shared handles. Reallocation copies each element by AssignHandle and then releases
// the old block, so every object keeps its count.
template <class T>
class RefHandleArray : public Array<RefHandle<T>> {
public:
    using Array<RefHandle<T>>::Array;

    // Element i shares handle's object, releasing what it held (nothing moves when it
    // holds that object already); the array grows to i + 1 elements when i is past
    // the end. False for a negative index or when memory runs out.
    bool AssignHandle(i32 i, const RefHandle<T>& handle) {
        RefHandle<T>* slot = this->At(i);
        if (!slot) return false;
        slot->Assign(handle);
        return true;
    }
};

// The named instances.
using IntArray = Array<i32>;
using FloatArray = Array<f32>;
using Vec3Array = Array<Vec3>;     // new elements (0, 0, 0)
using ColorArray = Array<FColor>;  // new elements 1.0 in every channel
using DataArray = Array<IntPair>;
using StringArray = Array<String>;
using StringListArray = Array<StringList>;
