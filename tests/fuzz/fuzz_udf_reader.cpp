// Feeds arbitrary bytes to the binary data-description reader in each of its load
// modes, with value splitting. Whatever it accepts as a whole document must be written
// back by the writer and read again to the same bytes.
#include "Core/ArchiveStream.h"
#include "Core/UdfBinaryTree.h"
#include "Core/UdfWriter.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

bool Rewrite(UdfBinaryTree& reader, UdfNode* root, ArchiveStream* out) {
    UdfTypeList types;
    UdfBinaryWriter::ListTypes(reader.Types(), &types);
    out->Open(String(), kStreamWrite);
    UdfBinaryWriter writer;
    return writer.WriteRoot(out, root, &types);
}

u8* Take(ArchiveStream& stream, u32* n) {
    const i32 size = stream.Size();
    u8* bytes = static_cast<u8*>(MemAlloc(static_cast<u32>(size)));
    stream.Seek(0, kSeekSet);
    *n = stream.Read(bytes, static_cast<u32>(size));
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    static const u32 kModes[] = {0, 0x10, 0x40, 0x50, 0xC0, 0xD0, 0x01, 0x04, 0x08, 0xD8};
    for (u32 mode : kModes) {
        ArchiveStream in;
        in.Open(String(), kStreamRead);
        in.BorrowBytes(data, static_cast<u32>(size));
        UdfBinaryTree reader;
        UdfNode* root = reader.Open(&in);
        if (!root) return 0;
        const u32 extra = size ? data[size - 1] & 7 : 0;
        const bool loaded = root->Load(mode, extra);
        if (mode != 0 || !loaded) continue;

        ArchiveStream first;
        if (!Rewrite(reader, root, &first)) __builtin_trap();
        u32 n1;
        u8* bytes1 = Take(first, &n1);
        ArchiveStream again;
        again.Open(String(), kStreamRead);
        again.BorrowBytes(bytes1, n1);
        UdfBinaryTree reader2;
        UdfNode* root2 = reader2.Open(&again);
        if (!root2 || !root2->Load(0, 0)) __builtin_trap();
        ArchiveStream second;
        if (!Rewrite(reader2, root2, &second)) __builtin_trap();
        u32 n2;
        u8* bytes2 = Take(second, &n2);
        if (n1 != n2 || std::memcmp(bytes1, bytes2, n1) != 0) __builtin_trap();
        reader2.Close();
        MemFree(bytes1);
        MemFree(bytes2);
    }
    return 0;
}
