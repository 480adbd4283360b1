// Small plain value types passed by value throughout the engine, the two character
// classes of the text scanners, and a clamp.
#pragma once

#include "Core/Types.h"

struct IntPair {
    i32 x = 0;
    i32 y = 0;
    IntPair() = default;
    IntPair(i32 x_, i32 y_) : x(x_), y(y_) {}
    bool operator==(const IntPair&) const = default;
};

// A single 32-bit value; the engine's header constants are Words.
struct Word {
    u32 value = 0;
    Word() = default;
    explicit Word(u32 v) : value(v) {}
    bool Equals(u32 v) const { return value == v; }
};

// A truth value of which only bit 0 counts.
struct Bool {
    u32 value = 0;
    Bool() = default;
    explicit Bool(u8 b) : value(b != 0 ? 1u : 0u) {}
    bool IsTrue() const { return (value & 1u) != 0; }
    bool IsFalse() const { return (value & 1u) == 0; }
    // Accumulates success over several steps: stays 1 only while both have bit 0.
    Bool& AndAssign(u32 other) {
        value = (value & other & 1u);
        return *this;
    }
};

struct Flags {
    u32 bits = 0;
    void Set(u32 mask) { bits |= mask; }
    bool Has(u32 mask) const { return (bits & mask) != 0; }
    void Clear(u32 mask) { bits &= ~mask; }
};

struct TimeRange {
    f32 start = 0.0f;
    f32 end = 0.0f;
    static TimeRange Union(const TimeRange& a, const TimeRange& b);
};

// An owned byte block, {null, 0} when empty. A Blob may also be pointed at bytes
// that belong to someone else (Borrow); it never frees those.
class Blob {
public:
    Blob() = default;
    ~Blob();
    Blob(const Blob&) = delete;
    Blob& operator=(const Blob&) = delete;
    Blob(Blob&& other) noexcept;
    Blob& operator=(Blob&& other) noexcept;

    // Reallocates to n bytes unless the size is already n; contents are not kept.
    void Resize(u32 n);
    // Copies n bytes in, reallocating only when the size differs.
    void Assign(const void* bytes, u32 n);
    // Points at foreign bytes without owning them.
    void Borrow(const void* bytes, u32 n);
    // Takes over a block from MemAlloc.
    void Adopt(void* bytes, u32 n);
    void Free();

    static bool NotEquals(const Blob& a, const Blob& b);

    u8* data() { return bytes_; }
    const u8* data() const { return bytes_; }
    u32 size() const { return size_; }
    bool IsBorrowed() const { return borrowed_; }

private:
    u8* bytes_ = nullptr;
    u32 size_ = 0;
    bool borrowed_ = false;
};

// Bit fields packed least significant bit first in an array of 32-bit words that
// the caller owns. count is 1 to 32; a field may straddle two words.
struct BitArray {
    static u32 Get(const u32* words, u32 bitIndex, u32 count);
    static void Set(u32* words, u32 bitIndex, u32 count, u32 value);
};

inline bool IsBlank(u16 c) { return c == 32 || c == 9; }
inline bool IsNewline(u16 c) { return c == 10; }

// min(max(v, lo), hi): when lo > hi the result is hi.
template <class T>
inline T Clamp(T v, T lo, T hi) {
    const T up = v < lo ? lo : v;
    return hi < up ? hi : up;
}
