#include "Core/RarArchive.h"

#include "Core/Crc32.h"
#include "Core/Memory.h"

#include <cstring>

namespace {

constexpr u8 kSignature[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
constexpr u8 kOldSignature[7] = {'U', 'n', 'i', 'q', 'u', 'E', '!'};

constexpr u32 kSignatureSize = 7;
constexpr u32 kMainHeaderSize = 13;
constexpr u32 kBaseHeaderSize = 7;    // HEAD_CRC, HEAD_TYPE, HEAD_FLAGS, HEAD_SIZE
constexpr u32 kLongHeaderSize = 11;   // ... and the size of the data that follows
constexpr u32 kFileHeaderSize = 32;   // the fixed fields of a file block, before the name

constexpr u8 kTypeMain = 0x73;
constexpr u8 kTypeFile = 0x74;
constexpr u8 kTypeSubBlock = 0x77;
constexpr u8 kTypeEndOfArchive = 0x7B;

constexpr u8 kOldestVersion = 13;
constexpr u8 kNewestVersion = 20;

constexpr u32 kNameCompareLimit = 512;

// Copy and checksum are interleaved in blocks small enough to stay in the first-level
// cache, so the source bytes are fetched from memory once.
constexpr u32 kCopyChunk = 16 * 1024;

inline u16 Get16(const u8* p) { return u16(p[0] | (p[1] << 8)); }
inline u32 Get32(const u8* p) {
    return u32(p[0]) | (u32(p[1]) << 8) | (u32(p[2]) << 16) | (u32(p[3]) << 24);
}

// The header checksum is the low half of the CRC-32 of the header from HEAD_TYPE on.
bool HeaderCrcHolds(const u8* block, u32 headSize) {
    return u16(Crc32::Compute(block + 2, headSize - 2)) == Get16(block);
}

bool ArchiveUsable(const RarMemoryFile* archive) {
    return archive != nullptr && (archive->data != nullptr || archive->size == 0);
}

// Steps to the next file block from the read position, checking every length against
// the buffer but not the header checksum (the callers decide when that is needed).
RarWalk ParseNext(RarMemoryFile* archive, RarMember* member) {
    const u8* data = archive->data;
    const u32 size = archive->size;
    for (;;) {
        const u32 pos = archive->offset;
        if (pos == size)
            return RarWalk::End;
        if (pos > size || size - pos < kBaseHeaderSize)
            return RarWalk::Broken;
        const u8* block = data + pos;
        const u8 type = block[2];
        const u16 flags = Get16(block + 3);
        const u16 headSize = Get16(block + 5);
        // A header shorter than its own fixed fields would make the walk stand still.
        if (headSize < kBaseHeaderSize || headSize > size - pos)
            return RarWalk::Broken;
        if (type == kTypeSubBlock || type == kTypeEndOfArchive)
            return RarWalk::End;
        u32 follows = 0;
        if ((flags & kRarLongBlock) != 0) {
            if (headSize < kLongHeaderSize)
                return RarWalk::Broken;
            follows = Get32(block + 7);
        }
        const u64 next = u64(pos) + headSize + follows;
        if (next > size)
            return RarWalk::Broken;
        if (type == kTypeFile) {
            if (headSize < kFileHeaderSize)
                return RarWalk::Broken;
            const u16 nameSize = Get16(block + 26);
            if (kFileHeaderSize + nameSize > headSize)
                return RarWalk::Broken;
            const char* name = reinterpret_cast<const char*>(block + kFileHeaderSize);
            const void* end = std::memchr(name, 0, nameSize);
            member->name = name;
            member->nameLength = end ? u32(static_cast<const char*>(end) - name) : nameSize;
            member->flags = flags;
            member->packSize = follows;
            member->unpSize = Get32(block + 11);
            member->hostOs = block[15];
            member->fileCrc = Get32(block + 16);
            member->fileTime = Get32(block + 20);
            member->unpVer = block[24];
            member->method = block[25];
            member->attr = Get32(block + 28);
            member->headerOffset = pos;
            member->headerSize = headSize;
            member->dataOffset = pos + headSize;
            archive->offset = u32(next);
            return RarWalk::Member;
        }
        archive->offset = u32(next);
    }
}

// Finds the member by name. Every member before it in a solid archive has to be
// readable too, since its unpack state would carry over into the wanted one.
bool FindMember(RarMemoryFile* archive, const char* name, RarMember* found) {
    u16 mainFlags = 0;
    if (!RarBegin(archive, &mainFlags))
        return false;
    const bool solid = (mainFlags & kRarMainSolid) != 0;
    u32 nameLength = 0;
    while (nameLength < kNameCompareLimit && name[nameLength] != 0)
        ++nameLength;
    RarMember member;
    for (;;) {
        if (ParseNext(archive, &member) != RarWalk::Member)
            return false;
        if (member.IsDirectory())
            continue;
        const bool match = RarNamesMatch(member.name, member.nameLength, name, nameLength);
        if (!match && !solid)
            continue;
        if (!HeaderCrcHolds(archive->data + member.headerOffset, member.headerSize))
            return false;
        if (member.unpVer < kOldestVersion || member.unpVer > kNewestVersion)
            return false;
        // Only stored members can be read; a compressed one, wanted or feeding the solid
        // state, cannot be reproduced.
        if (member.method != kRarMethodStored)
            return false;
        if (match) {
            *found = member;
            return true;
        }
    }
}

// Everything but the data checksum: the member must be a complete stored file whose
// bytes lie inside the archive.
bool StoredMemberSound(const RarMemoryFile* archive, const RarMember* member) {
    if (member->IsDirectory() || member->IsEncrypted())
        return false;
    if ((member->flags & (kRarFileSplitBefore | kRarFileSplitAfter)) != 0)
        return false;
    if (member->method != kRarMethodStored)
        return false;
    if (member->unpVer < kOldestVersion || member->unpVer > kNewestVersion)
        return false;
    // A stored member's unpacked bytes are its packed bytes; it cannot hold more.
    if (member->unpSize > member->packSize)
        return false;
    if (member->dataOffset > archive->size || member->packSize > archive->size - member->dataOffset)
        return false;
    return true;
}

} // namespace

u32 RarRead(RarMemoryFile* file, void* out, u32 n) {
    if (file == nullptr || out == nullptr || n == 0 || file->data == nullptr)
        return 0;
    if (file->offset > file->size || n > file->size - file->offset)
        return 0;
    std::memcpy(out, file->data + file->offset, n);
    file->offset += n;
    return n;
}

bool RarBegin(RarMemoryFile* archive, u16* mainFlags) {
    if (mainFlags != nullptr)
        *mainFlags = 0;
    if (!ArchiveUsable(archive))
        return false;
    archive->offset = 0;
    u8 signature[kSignatureSize];
    if (RarRead(archive, signature, kSignatureSize) != kSignatureSize)
        return false;
    // Any other seven bytes are let through: the blocks then start right after them.
    if (std::memcmp(signature, kSignature, kSignatureSize) != 0 &&
        std::memcmp(signature, kOldSignature, kSignatureSize) != 0)
        return true;
    u8 header[kMainHeaderSize];
    if (RarRead(archive, header, kMainHeaderSize) != kMainHeaderSize)
        return false;
    const u16 headSize = Get16(header + 5);
    if (header[2] != kTypeMain || headSize < kMainHeaderSize || headSize > archive->size - kSignatureSize)
        return false;
    if (!HeaderCrcHolds(archive->data + kSignatureSize, headSize))
        return false;
    archive->offset = kSignatureSize + headSize;
    if (mainFlags != nullptr)
        *mainFlags = Get16(header + 3);
    return true;
}

RarWalk RarNextMember(RarMemoryFile* archive, RarMember* member) {
    if (!ArchiveUsable(archive) || member == nullptr)
        return RarWalk::Broken;
    const RarWalk walk = ParseNext(archive, member);
    if (walk == RarWalk::Member && !HeaderCrcHolds(archive->data + member->headerOffset, member->headerSize))
        return RarWalk::Broken;
    return walk;
}

bool RarNamesMatch(const char* a, u32 aLength, const char* b, u32 bLength) {
    if (aLength > kNameCompareLimit)
        aLength = kNameCompareLimit;
    if (bLength > kNameCompareLimit)
        bLength = kNameCompareLimit;
    if (aLength != bLength)
        return false;
    for (u32 i = 0; i < aLength; ++i) {
        u8 x = u8(a[i]);
        u8 y = u8(b[i]);
        if (x == y)
            continue;
        x = (x == '\\' || x == '/') ? u8('_') : (x >= 'A' && x <= 'Z') ? u8(x + 32) : x;
        y = (y == '\\' || y == '/') ? u8('_') : (y >= 'A' && y <= 'Z') ? u8(y + 32) : y;
        if (x != y)
            return false;
    }
    return true;
}

bool RarStoredData(const RarMemoryFile* archive, const RarMember* member, const u8** data, u32* size) {
    if (data == nullptr || size == nullptr)
        return false;
    *data = nullptr;
    *size = 0;
    if (!ArchiveUsable(archive) || member == nullptr || !StoredMemberSound(archive, member))
        return false;
    const u8* bytes = archive->data + member->dataOffset;
    if (Crc32::Compute(bytes, member->unpSize) != member->fileCrc)
        return false;
    *data = bytes;
    *size = member->unpSize;
    return true;
}

bool RarFindStored(const u8** data, u32* size, const char* name, RarMemoryFile* archive) {
    if (data == nullptr || size == nullptr)
        return false;
    *data = nullptr;
    *size = 0;
    if (name == nullptr || !ArchiveUsable(archive))
        return false;
    RarMember member;
    if (!FindMember(archive, name, &member))
        return false;
    return RarStoredData(archive, &member, data, size);
}

bool RarExtract(u8** outData, u32* outSize, const char* name, RarMemoryFile* archive, const char* password) {
    (void)password;  // decryption is not offered; encrypted members are refused below
    if (outData == nullptr || outSize == nullptr)
        return false;
    *outData = nullptr;
    *outSize = 0;
    if (name == nullptr || !ArchiveUsable(archive))
        return false;
    RarMember member;
    if (!FindMember(archive, name, &member) || !StoredMemberSound(archive, &member))
        return false;
    u8* out = static_cast<u8*>(MemAlloc(member.unpSize));
    if (out == nullptr)
        return false;
    const u8* from = archive->data + member.dataOffset;
    u32 crc = Crc32::kInitial;
    for (u32 done = 0; done < member.unpSize;) {
        const u32 chunk = member.unpSize - done < kCopyChunk ? member.unpSize - done : kCopyChunk;
        crc = Crc32::Update(crc, from + done, chunk);
        std::memcpy(out + done, from + done, chunk);
        done += chunk;
    }
    if (Crc32::Finish(crc) != member.fileCrc) {
        MemFree(out);
        return false;
    }
    *outData = out;
    *outSize = member.unpSize;
    return true;
}
