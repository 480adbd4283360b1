// Fuzz target for the RAR archive reader: lists whatever the input holds, then reads every
// listed member (and a few fixed names) through each way in, from a buffer of exactly the
// input's size. The ways must agree: a stored member found in place extracts to the same
// bytes, and whatever extracts matches its header's checksum. Inputs of even length get
// their header checksums recomputed first, so that mutated headers reach the checks of
// the fields behind the checksum; odd ones keep them, so the checksum check is fuzzed too.
#include "Core/Crc32.h"
#include "Core/Memory.h"
#include "Core/RarArchive.h"
#include "tools/RarWriter.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Seals every header whose size lies inside the bytes: the main header, then the chain of
// blocks (as far as it holds together).
void SealHeaders(u8* bytes, std::size_t size) {
    std::size_t pos = 7;
    for (int blocks = 0; blocks < 256 && pos + 7 <= size; ++blocks) {
        const u32 flags = u32(bytes[pos + 3] | (bytes[pos + 4] << 8));
        const u32 headSize = u32(bytes[pos + 5] | (bytes[pos + 6] << 8));
        if (headSize < 7 || pos + headSize > size)
            return;
        RarWriter::SealHeader(bytes + pos);
        u64 next = pos + headSize;
        if ((flags & 0x8000) != 0 && headSize >= 11 && bytes[pos + 2] != 0x73)
            next += u32(bytes[pos + 7] | (bytes[pos + 8] << 8) | (bytes[pos + 9] << 16) | (u32(bytes[pos + 10]) << 24));
        pos = std::size_t(next);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* input, std::size_t size) {
    if (size > (1u << 22))
        return 0;
    std::unique_ptr<u8[]> bytes(new u8[size]);
    if (size != 0)
        std::memcpy(bytes.get(), input, size);
    if (size % 2 == 0)
        SealHeaders(bytes.get(), size);
    RarMemoryFile archive;
    archive.data = bytes.get();
    archive.size = u32(size);

    std::vector<std::string> names = {"a.txt", "Media\\Fonts\\64font.fs", ""};
    std::vector<RarMember> members;
    if (RarBegin(&archive, nullptr)) {
        RarMember m;
        while (members.size() < 64 && RarNextMember(&archive, &m) == RarWalk::Member) {
            if (u64(m.dataOffset) + m.packSize > size || m.name + m.nameLength > reinterpret_cast<const char*>(bytes.get() + size))
                std::abort();
            members.push_back(m);
            names.emplace_back(m.name, m.nameLength);
        }
    }
    for (const RarMember& m : members) {
        const u8* data;
        u32 length;
        if (RarStoredData(&archive, &m, &data, &length) && Crc32::Compute(data, length) != m.fileCrc)
            std::abort();
        u8* out = nullptr;
        u32 outSize = 0;
        if (RarExtractMember(&out, &outSize, &archive, &m, "fuzz") &&
            (outSize != m.unpSize || Crc32::Compute(out, outSize) != m.fileCrc))
            std::abort();
        MemFree(out);
    }
    for (const std::string& name : names) {
        for (const char* password : {static_cast<const char*>(nullptr), "fuzz"}) {
            u8* out = nullptr;
            u32 outSize = 0;
            const bool extracted = RarExtract(&out, &outSize, name.c_str(), &archive, password);
            const u8* view = nullptr;
            u32 viewSize = 0;
            const bool found = RarFindStored(&view, &viewSize, name.c_str(), &archive);
            if (!extracted && (out != nullptr || outSize != 0))
                std::abort();
            // A member found in place extracts, to the same bytes.
            if (found && (!extracted || outSize != viewSize || (outSize != 0 && std::memcmp(out, view, outSize) != 0)))
                std::abort();
            if (out != nullptr)
                MemFree(out);
        }
    }
    return 0;
}
