// Byte-level helpers shared by the image readers and writers: little- and big-endian
// fields at an offset, a writer that appends them, and the failure that every reader
// reports. The readers check lengths before they read, so these read exactly where told.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace PlatformImage {

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
inline int32_t LeI32(const uint8_t* p) { return static_cast<int32_t>(Le32(p)); }
inline uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           static_cast<uint32_t>(p[3]);
}

// Appends little-endian fields to a growing file.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>* out) : out_(out) {}
    void U8(uint32_t v) { out_->push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v) {
        U8(v);
        U8(v >> 8);
    }
    void U32(uint32_t v) {
        U16(v);
        U16(v >> 16);
    }
    void Bytes(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        out_->insert(out_->end(), b, b + n);
    }
    void Zeros(size_t n) { out_->insert(out_->end(), n, 0); }
    size_t Size() const { return out_->size(); }
    // Overwrites a field written earlier (a size known only at the end).
    void PatchU32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) (*out_)[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }

private:
    std::vector<uint8_t>* out_;
};

// Records the reason of a failure and returns false, so that a reader can `return Fail(...)`.
inline bool Fail(std::string* error, const char* reason) {
    if (error) *error = reason;
    return false;
}
inline bool Fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

}  // namespace PlatformImage
