#include "Core/RarArchive.h"

#include "Core/Crc32.h"
#include "Core/Memory.h"
#include "Core/Rar20Crypt.h"
#include "Core/Rar20Unpack.h"

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
// Writers that embed a comment in the header computed it over the fixed fields (and the
// name) alone, `covered` bytes from the start: every field read here is inside either.
bool HeaderCrcHolds(const u8* block, u32 headSize, u32 covered) {
    const u16 stored = Get16(block);
    if (u16(Crc32::Compute(block + 2, headSize - 2)) == stored)
        return true;
    return covered < headSize && u16(Crc32::Compute(block + 2, covered - 2)) == stored;
}

bool MemberHeaderHolds(const RarMemoryFile* archive, const RarMember& member) {
    const u8* block = archive->data + member.headerOffset;
    return HeaderCrcHolds(block, member.headerSize, kFileHeaderSize + Get16(block + 26));
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

// Finds the member by name. In a solid archive every member before it must have a sound
// header of a version the reader knows, as the unpack state runs through all of them.
bool FindMember(RarMemoryFile* archive, const char* name, RarMember* found, bool* solid) {
    u16 mainFlags = 0;
    if (!RarBegin(archive, &mainFlags))
        return false;
    *solid = (mainFlags & kRarMainSolid) != 0;
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
        if (!match && !*solid)
            continue;
        if (!MemberHeaderHolds(archive, member))
            return false;
        if (member.unpVer < kOldestVersion || member.unpVer > kNewestVersion)
            return false;
        if (match) {
            *found = member;
            return true;
        }
    }
}

bool IsCompressionMethod(u8 method) { return method >= kRarMethodFastest && method <= kRarMethodBest; }

// Whether the member's bytes can be produced at all: a complete file (not a directory,
// not split over volumes) of a known method, whose data lies inside the archive, and,
// when encrypted, a password and the RAR 2.0 cipher.
bool MemberReadable(const RarMemoryFile* archive, const RarMember& member, const char* password) {
    if (member.IsDirectory())
        return false;
    if ((member.flags & (kRarFileSplitBefore | kRarFileSplitAfter)) != 0)
        return false;
    if (member.unpVer < kOldestVersion || member.unpVer > kNewestVersion)
        return false;
    if (member.dataOffset > archive->size || member.packSize > archive->size - member.dataOffset)
        return false;
    if (member.IsEncrypted() && (password == nullptr || member.unpVer != kRarVersion20))
        return false;
    if (member.IsStored()) {
        // A stored member's unpacked bytes are its packed bytes (the whole cipher blocks
        // of them when encrypted); it cannot hold more.
        const u32 held = member.IsEncrypted() ? member.packSize & ~(Rar20Cipher::kBlockSize - 1) : member.packSize;
        return member.unpSize <= held;
    }
    return IsCompressionMethod(member.method) && member.unpVer == kRarVersion20;
}

// Everything but the data checksum: the member must be a complete stored file, not
// encrypted, whose bytes lie inside the archive.
bool StoredMemberSound(const RarMemoryFile* archive, const RarMember* member) {
    return member->IsStored() && !member->IsEncrypted() && MemberReadable(archive, *member, nullptr);
}

// Produces one member's bytes into out (limit already set to its size) and checks them
// against its CRC-32. A compressed member continues the unpacker's state when `solid`.
bool ReadMember(const RarMemoryFile* archive, const RarMember& member, const char* password,
                Rar20Unpacker* unpacker, bool solid, Rar20Output& out) {
    const u8* packed = archive->data + member.dataOffset;
    u32 packSize = member.packSize;
    u8* plain = nullptr;
    if (member.IsEncrypted()) {
        packSize &= ~(Rar20Cipher::kBlockSize - 1);
        plain = static_cast<u8*>(MemAlloc(packSize));
        if (plain == nullptr)
            return false;
        if (packSize != 0)
            std::memcpy(plain, packed, packSize);
        Rar20Cipher cipher;
        cipher.SetPassword(password);
        cipher.Decrypt(plain, packSize);
        packed = plain;
    }
    bool ok = true;
    if (member.IsStored()) {
        // Copy and checksum go together in runs small enough to stay in the first-level
        // cache, so the source bytes are fetched from memory once.
        for (u32 done = 0; ok && done < member.unpSize;) {
            const u32 chunk = member.unpSize - done < kCopyChunk ? member.unpSize - done : kCopyChunk;
            ok = out.Append(packed + done, chunk);
            done += chunk;
        }
    } else {
        ok = unpacker != nullptr && unpacker->Unpack(packed, packSize, solid, out);
    }
    MemFree(plain);
    return ok && out.size == member.unpSize && Crc32::Finish(out.crc) == member.fileCrc;
}

// A first capacity for a member's output: the whole of a stored member, and for a
// compressed one what its packed size makes likely (the buffer grows from there).
u32 OutputHint(const RarMember& member) {
    if (member.IsStored())
        return member.unpSize;
    const u64 likely = u64(member.packSize) * 4;
    return likely < member.unpSize ? u32(likely) : member.unpSize;
}

// In a solid archive, brings the unpacker to the state the target member starts from:
// the compressed members before it are unpacked (and checked) from the last one that
// starts afresh. Stored members and directories never touch the state.
bool UnpackEarlier(const RarMemoryFile* archive, const RarMember& target, const char* password,
                   Rar20Unpacker* unpacker) {
    if ((target.flags & kRarFileSolid) == 0)
        return true;  // the target resets the state itself
    RarMemoryFile walk = *archive;
    if (!RarBegin(&walk, nullptr))
        return false;
    const u32 afterMain = walk.offset;
    u32 start = 0;
    bool any = false;
    RarMember member;
    while (ParseNext(&walk, &member) == RarWalk::Member && member.headerOffset < target.headerOffset) {
        if (member.IsDirectory() || member.IsStored())
            continue;
        if (!any || (member.flags & kRarFileSolid) == 0)
            start = member.headerOffset;
        any = true;
    }
    if (!any)
        return true;
    walk.offset = afterMain;
    bool first = true;
    while (ParseNext(&walk, &member) == RarWalk::Member && member.headerOffset < target.headerOffset) {
        if (member.headerOffset < start || member.IsDirectory() || member.IsStored())
            continue;
        if (!MemberReadable(archive, member, password))
            return false;
        Rar20Output check;
        check.keep = false;
        check.limit = member.unpSize;
        const bool continues = !first && (member.flags & kRarFileSolid) != 0;
        first = false;
        if (!ReadMember(archive, member, password, unpacker, continues, check))
            return false;
    }
    return true;
}

bool Extract(u8** outData, u32* outSize, const RarMemoryFile* archive, const RarMember& target,
             const char* password, bool solid) {
    if (!MemberReadable(archive, target, password))
        return false;
    Rar20Output out;
    out.limit = target.unpSize;
    out.sizeHint = OutputHint(target);
    bool ok;
    if (target.IsStored()) {
        ok = ReadMember(archive, target, password, nullptr, false, out);
    } else {
        Rar20Unpacker unpacker;
        ok = unpacker.Ready() && (!solid || UnpackEarlier(archive, target, password, &unpacker)) &&
             ReadMember(archive, target, password, &unpacker, solid && (target.flags & kRarFileSolid) != 0, out);
    }
    if (!ok)
        return false;
    // An empty member still gets a buffer of its own, as every success does.
    u8* bytes = out.Release();
    if (bytes == nullptr && (bytes = static_cast<u8*>(MemAlloc(1))) == nullptr)
        return false;
    *outData = bytes;
    *outSize = out.size;
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
    if (!HeaderCrcHolds(archive->data + kSignatureSize, headSize, kMainHeaderSize))
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
    if (walk == RarWalk::Member && !MemberHeaderHolds(archive, *member))
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
    bool solid = false;
    if (!FindMember(archive, name, &member, &solid))
        return false;
    return RarStoredData(archive, &member, data, size);
}

bool RarExtract(u8** outData, u32* outSize, const char* name, RarMemoryFile* archive, const char* password) {
    if (outData == nullptr || outSize == nullptr)
        return false;
    *outData = nullptr;
    *outSize = 0;
    if (name == nullptr || !ArchiveUsable(archive))
        return false;
    RarMember member;
    bool solid = false;
    if (!FindMember(archive, name, &member, &solid))
        return false;
    return Extract(outData, outSize, archive, member, password, solid);
}

bool RarExtractMember(u8** outData, u32* outSize, const RarMemoryFile* archive, const RarMember* member,
                      const char* password) {
    if (outData == nullptr || outSize == nullptr)
        return false;
    *outData = nullptr;
    *outSize = 0;
    if (!ArchiveUsable(archive) || member == nullptr)
        return false;
    return Extract(outData, outSize, archive, *member, password, false);
}
