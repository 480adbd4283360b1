// Fuzz target for the RAR 2.0 unpacker and cipher. The input is
//   flags (1) | first size (3, LE) | second size (3, LE) | split (2, LE) | packed bytes
// flags bit 0: the bytes from `split` on are a second member continuing the first (solid);
// flags bit 1: the packed bytes are first decrypted with the password "fuzz".
// Sizes are cut to 1 MB. Whatever the bytes, an unpack never produces more than its size,
// a success produces exactly its size, and the running checksum is that of the bytes.
#include "Core/Crc32.h"
#include "Core/Rar20Crypt.h"
#include "Core/Rar20Unpack.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kHeader = 9;

u32 Size24(const u8* p) { return (u32(p[0]) | (u32(p[1]) << 8) | (u32(p[2]) << 16)) & 0xFFFFF; }

void UnpackOne(Rar20Unpacker& unpacker, const u8* packed, u32 size, u32 limit, bool solid) {
    Rar20Output out;
    out.limit = limit;
    const bool ok = unpacker.Unpack(packed, size, solid, out);
    if (out.size > limit || (ok && out.size != limit))
        std::abort();
    if (out.data != nullptr && Crc32::Finish(out.crc) != Crc32::Compute(out.data, out.size))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* input, std::size_t size) {
    if (size < kHeader || size > (1u << 20))
        return 0;
    const u8 flags = input[0];
    const u32 first = Size24(input + 1);
    const u32 second = Size24(input + 4);
    const u32 length = u32(size - kHeader);
    u32 split = u32(input[7] | (input[8] << 8));
    if (split > length || (flags & 1) == 0)
        split = length;
    // A heap copy of exactly the packed bytes, so any read past them is seen.
    std::vector<u8> packed(input + kHeader, input + size);
    if ((flags & 2) != 0) {
        Rar20Cipher cipher;
        cipher.SetPassword("fuzz");
        cipher.Decrypt(packed.data(), split);
        cipher.SetPassword("fuzz");
        cipher.Decrypt(packed.data() + split, length - split);
    }
    std::vector<u8> one(packed.begin(), packed.begin() + split);
    std::vector<u8> two(packed.begin() + split, packed.end());
    Rar20Unpacker unpacker;
    if (!unpacker.Ready())
        return 0;
    UnpackOne(unpacker, one.data(), u32(one.size()), first, false);
    if ((flags & 1) != 0)
        UnpackOne(unpacker, two.data(), u32(two.size()), second, true);
    return 0;
}
