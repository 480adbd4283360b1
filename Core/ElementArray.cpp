#include "Core/ElementArray.h"

#include "Core/Memory.h"

#include <cstring>

ElementArray::ElementArray(const ElementArray& other) { *this = other; }

ElementArray::ElementArray(ElementArray&& other) noexcept
    : data(other.data), count(other.count), elementSize(other.elementSize), owned_(other.owned_) {
    other.data = nullptr;
    other.count = 0;
    other.owned_ = false;
}

ElementArray& ElementArray::operator=(const ElementArray& other) {
    if (this == &other) return *this;
    Free();
    elementSize = other.elementSize;
    if (!other.owned_) {
        data = other.data;
        count = other.count;
        return *this;
    }
    if (Allocate(other.count, other.elementSize) && other.count != 0)
        std::memcpy(data, other.data, static_cast<std::size_t>(other.count) * other.elementSize);
    return *this;
}

ElementArray& ElementArray::operator=(ElementArray&& other) noexcept {
    if (this == &other) return *this;
    Free();
    data = other.data;
    count = other.count;
    elementSize = other.elementSize;
    owned_ = other.owned_;
    other.data = nullptr;
    other.count = 0;
    other.owned_ = false;
    return *this;
}

bool ElementArray::Allocate(u32 n, u32 size) {
    Free();
    if (!ValidSize(size) || n > 0xFFFFFFFFu / size) return false;
    elementSize = size;
    if (n == 0) return true;
    void* block = MemAlloc(static_cast<std::size_t>(n) * size);
    if (!block) return false;
    std::memset(block, 0, static_cast<std::size_t>(n) * size);
    data = block;
    count = n;
    owned_ = true;
    return true;
}

bool ElementArray::View(void* block, u32 n, u32 size) {
    Free();
    if (!ValidSize(size) || (!block && n != 0)) return false;
    data = block;
    count = n;
    elementSize = size;
    return true;
}

bool ElementArray::Adopt(void* block, u32 n, u32 size) {
    Free();
    if (!ValidSize(size) || (!block && n != 0)) {
        MemFree(block);
        return false;
    }
    elementSize = size;
    data = block;
    count = n;
    owned_ = block != nullptr;
    return true;
}

void ElementArray::Free() {
    if (owned_) MemFree(data);
    data = nullptr;
    count = 0;
    owned_ = false;
}

u32 ElementArray::Get(u32 i) const {
    if (i >= count || !data) return 0;
    if (elementSize == 4) return static_cast<const u32*>(data)[i];
    return static_cast<const u16*>(data)[i];
}

bool ElementArray::Set(u32 i, u32 v) {
    if (i >= count || !data) return false;
    if (elementSize == 4)
        static_cast<u32*>(data)[i] = v;
    else
        static_cast<u16*>(data)[i] = static_cast<u16>(v);
    return true;
}

bool ElementArray::CopyData(void* destination, u32 destinationSize, const void* source, u32 sourceSize, u32 n) {
    if (!ValidSize(destinationSize) || !ValidSize(sourceSize)) return false;
    if (n == 0) return true;
    if (!destination || !source) return false;
    if (destinationSize == sourceSize) {
        std::memmove(destination, source, static_cast<std::size_t>(n) * sourceSize);
        return true;
    }
    // Element by element through a local so that converting a block in place works:
    // narrowing runs forwards, widening backwards.
    if (destinationSize == 2) {
        u16* to = static_cast<u16*>(destination);
        const u8* from = static_cast<const u8*>(source);
        for (u32 i = 0; i < n; ++i) {
            u32 v;
            std::memcpy(&v, from + static_cast<std::size_t>(i) * 4, 4);
            to[i] = static_cast<u16>(v);
        }
    } else {
        u32* to = static_cast<u32*>(destination);
        const u8* from = static_cast<const u8*>(source);
        for (u32 i = n; i-- > 0;) {
            u16 v;
            std::memcpy(&v, from + static_cast<std::size_t>(i) * 2, 2);
            to[i] = v;
        }
    }
    return true;
}

bool ElementArray::CopyData(ElementArray& destination, const ElementArray& source) {
    if (destination.count < source.count) return false;
    return CopyData(destination.data, destination.elementSize, source.data, source.elementSize, source.count);
}
