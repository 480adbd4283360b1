#include "Core/Stream.h"

#include "Core/Memory.h"
#include "Core/WString.h"

#include <cstring>

namespace {
// The first block a text read allocates when the stream cannot say how much is left.
constexpr u32 kTextFirstBlock = 65536;
}  // namespace

u32 Stream::ReadText(WString& out, u32 units, u32 kind) {
    // Two bytes per unit asked for; the product may not fit 32 bits.
    const u64 wanted64 = static_cast<u64>(units) * 2u;
    const u32 wanted = wanted64 > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<u32>(wanted64);
    if (wanted == 0) {
        out.Decode(nullptr, 0, static_cast<int>(kind));
        return 0;
    }
    // A caller's count is only an upper bound: the block starts at what the stream holds
    // (never less than one read's worth) and grows only while reads keep filling it, so a
    // large count over a short stream does not allocate its full size.
    const i32 size = Size();
    u32 capacity = size > 0 ? static_cast<u32>(size) : kTextFirstBlock;
    if (capacity > wanted) capacity = wanted;
    u8* block = static_cast<u8*>(MemAlloc(capacity));
    if (!block) return 0;
    u32 got = 0;
    for (;;) {
        const u32 n = Read(block + got, capacity - got);
        got += n;
        if (n == 0 || got < capacity || got == wanted) break;
        const u32 grown = capacity > wanted - capacity ? wanted : capacity * 2;
        u8* bigger = static_cast<u8*>(MemAlloc(grown));
        if (!bigger) break;
        std::memcpy(bigger, block, got);
        MemFree(block);
        block = bigger;
        capacity = grown;
    }
    out.Decode(block, got, static_cast<int>(kind));
    MemFree(block);
    return got;
}
