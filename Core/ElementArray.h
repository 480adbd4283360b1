// A block of index elements of 2 or 4 bytes each: the index data of mesh data and
// the view over a locked index buffer. An ElementArray either owns its block
// (Allocate) or only describes someone else's (View); it frees only what it owns.
#pragma once

#include "Core/Types.h"

class ElementArray {
public:
    void* data = nullptr;
    u32 count = 0;
    u32 elementSize = 2;  // 2 or 4

    ElementArray() = default;
    ElementArray(const ElementArray& other);
    ElementArray(ElementArray&& other) noexcept;
    ElementArray& operator=(const ElementArray& other);
    ElementArray& operator=(ElementArray&& other) noexcept;
    ~ElementArray() { Free(); }

    // A zeroed block of its own of n elements of the given size (2 or 4); false,
    // leaving the array empty, for another size or when memory runs out.
    bool Allocate(u32 n, u32 size);
    // Describes n elements at block without owning them.
    bool View(void* block, u32 n, u32 size);
    // Takes over a MemAlloc block of at least n elements of the given size (2 or 4); it
    // is freed with the array. False for another size, with the block freed at once so
    // that it still has an owner.
    bool Adopt(void* block, u32 n, u32 size);
    // Frees an owned block; either way the array becomes empty (element size kept).
    void Free();
    bool OwnsData() const { return owned_; }

    u32 ByteSize() const { return count * elementSize; }
    // Element i widened to 32 bits; 0 out of range.
    u32 Get(u32 i) const;
    // Stores v at i (its low 16 bits in a 2-byte array); false out of range.
    bool Set(u32 i, u32 v);

    // Copies n elements between two blocks of the given element sizes: equal sizes
    // copy the bytes, 4 to 2 keeps the low 16 bits, 2 to 4 widens with zeros. False
    // for a size other than 2 or 4, or a null block with n > 0.
    static bool CopyData(void* destination, u32 destinationSize, const void* source, u32 sourceSize, u32 n);
    // Copies source's count elements into destination, which must have room for
    // them (its count), converting between the two element sizes.
    static bool CopyData(ElementArray& destination, const ElementArray& source);

private:
    static bool ValidSize(u32 size) { return size == 2 || size == 4; }

    bool owned_ = false;
};
