// The program-wide allocator. Texts and blocks that change hands (String::FromBuffer
// taking over a buffer, Blob) must come from here so that their new owner can free them.
#pragma once

#include <cstdlib>

inline void* MemAlloc(std::size_t bytes) { return std::malloc(bytes ? bytes : 1); }
inline void MemFree(void* block) { std::free(block); }

template <class T>
inline T* MemAllocArray(std::size_t count) {
    return static_cast<T*>(MemAlloc(count * sizeof(T)));
}
