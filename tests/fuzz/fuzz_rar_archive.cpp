// Fuzz target for the RAR archive reader: lists whatever the input holds, then reads every
// listed member (and a few fixed names) through each way in, from a buffer of exactly the
// input's size. The three ways must agree on every member.
#include "Core/Crc32.h"
#include "Core/Memory.h"
#include "Core/RarArchive.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const u8* input, std::size_t size) {
    if (size > (1u << 22))
        return 0;
    std::unique_ptr<u8[]> bytes(new u8[size]);
    if (size != 0)
        std::memcpy(bytes.get(), input, size);
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
    }
    for (const std::string& name : names) {
        u8* out = nullptr;
        u32 outSize = 0;
        const bool extracted = RarExtract(&out, &outSize, name.c_str(), &archive, nullptr);
        const u8* view = nullptr;
        u32 viewSize = 0;
        const bool found = RarFindStored(&view, &viewSize, name.c_str(), &archive);
        if (extracted != found || (!extracted && (out != nullptr || outSize != 0)))
            std::abort();
        if (extracted && (outSize != viewSize || (outSize != 0 && std::memcmp(out, view, outSize) != 0)))
            std::abort();
        if (out != nullptr)
            MemFree(out);
    }
    return 0;
}
