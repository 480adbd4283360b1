// The reflected CRC-32 (polynomial 0xEDB88320, the one of zip, PNG and RAR archives).
#pragma once

#include "Core/Types.h"

class Crc32 {
public:
    // The register value before the first byte.
    static constexpr u32 kInitial = 0xFFFFFFFFu;

    // Feeds bytes through the running register. Start with kInitial; the checksum is the
    // complement of the final register (Finish). A null block is only accepted with size 0.
    static u32 Update(u32 running, const void* data, std::size_t size);

    static u32 Finish(u32 running) { return ~running; }

    // The checksum of one block in a single call.
    static u32 Compute(const void* data, std::size_t size) { return Finish(Update(kInitial, data, size)); }
};
