#include "Core/ValueTypes.h"

#include "Core/Memory.h"

#include <cstring>

TimeRange TimeRange::Union(const TimeRange& a, const TimeRange& b) {
    TimeRange r;
    r.start = a.start < b.start ? a.start : b.start;
    r.end = a.end > b.end ? a.end : b.end;
    return r;
}

Blob::~Blob() { Free(); }

Blob::Blob(Blob&& other) noexcept : bytes_(other.bytes_), size_(other.size_), borrowed_(other.borrowed_) {
    other.bytes_ = nullptr;
    other.size_ = 0;
    other.borrowed_ = false;
}

Blob& Blob::operator=(Blob&& other) noexcept {
    if (this != &other) {
        Free();
        bytes_ = other.bytes_;
        size_ = other.size_;
        borrowed_ = other.borrowed_;
        other.bytes_ = nullptr;
        other.size_ = 0;
        other.borrowed_ = false;
    }
    return *this;
}

void Blob::Free() {
    if (!borrowed_) MemFree(bytes_);
    bytes_ = nullptr;
    size_ = 0;
    borrowed_ = false;
}

void Blob::Resize(u32 n) {
    if (size_ == n && !borrowed_) return;
    Free();
    if (n == 0) return;
    bytes_ = static_cast<u8*>(MemAlloc(n));
    size_ = n;
}

void Blob::Assign(const void* bytes, u32 n) {
    Resize(n);
    if (n) std::memcpy(bytes_, bytes, n);
}

void Blob::Borrow(const void* bytes, u32 n) {
    Free();
    bytes_ = static_cast<u8*>(const_cast<void*>(bytes));
    size_ = bytes ? n : 0;
    borrowed_ = bytes != nullptr;
}

void Blob::Adopt(void* bytes, u32 n) {
    Free();
    bytes_ = static_cast<u8*>(bytes);
    size_ = bytes ? n : 0;
}

bool Blob::NotEquals(const Blob& a, const Blob& b) {
    if (a.size_ != b.size_) return true;
    if (a.bytes_ == nullptr || a.size_ == 0 || b.bytes_ == nullptr) return false;
    return std::memcmp(a.bytes_, b.bytes_, a.size_) != 0;
}

namespace {
inline u32 LowMask(u32 n) { return n >= 32 ? 0xFFFFFFFFu : ((1u << n) - 1u); }
}  // namespace

u32 BitArray::Get(const u32* words, u32 bitIndex, u32 count) {
    if (count == 0) return 0;
    if (count > 32) count = 32;
    const u32 word = bitIndex >> 5, shift = bitIndex & 31u;
    u64 pair = words[word] >> shift;
    if (shift + count > 32) pair |= static_cast<u64>(words[word + 1]) << (32 - shift);
    return static_cast<u32>(pair) & LowMask(count);
}

void BitArray::Set(u32* words, u32 bitIndex, u32 count, u32 value) {
    if (count == 0) return;
    if (count > 32) count = 32;
    const u32 word = bitIndex >> 5, shift = bitIndex & 31u;
    const u32 mask = LowMask(count);
    value &= mask;
    const u32 lowBits = 32 - shift < count ? 32 - shift : count;
    const u32 lowMask = LowMask(lowBits) << shift;
    words[word] = (words[word] & ~lowMask) | ((value << shift) & lowMask);
    if (lowBits < count) {
        const u32 highMask = LowMask(count - lowBits);
        words[word + 1] = (words[word + 1] & ~highMask) | (value >> lowBits);
    }
}
