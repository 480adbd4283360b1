// The fuzz input read a byte at a time, zeros once it runs out: what the targets that
// build windows and feed them events draw their choices from.
#pragma once

#include <cstddef>

#include "Core/Types.h"

class FuzzBytes {
public:
    FuzzBytes(const u8* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    u8 Next() { return at_ < size_ ? data_[at_++] : 0; }
    // A coordinate from -64 to 956 in steps of 4.
    i32 Coordinate() { return static_cast<i32>(Next()) * 4 - 64; }

private:
    const u8* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};
