// Reading members of a RAR 2.0 archive held in memory (the media archive travels as a
// resource of the executable). Only stored members (method 0x30) can be read: the media
// archive is always written that way. Compressed and encrypted members are refused.
//
// Every function treats the archive bytes as untrusted: lengths are checked against the
// buffer before anything is read, and a malformed block chain ends the walk with a failure.
#pragma once

#include "Core/Types.h"

// An archive in memory: the bytes, their count and the read position.
struct RarMemoryFile {
    const u8* data = nullptr;
    u32 size = 0;
    u32 offset = 0;
};

// Copies n bytes at the read position into out and advances past them. Succeeds when
// n > 0 and offset + n <= size, returning n; otherwise copies nothing and returns 0.
u32 RarRead(RarMemoryFile* file, void* out, u32 n);

// Header flags of a file block.
constexpr u16 kRarFileSplitBefore = 0x0001;
constexpr u16 kRarFileSplitAfter = 0x0002;
constexpr u16 kRarFileEncrypted = 0x0004;
constexpr u16 kRarFileSolid = 0x0010;
constexpr u16 kRarFileDirectoryMask = 0x00E0;
constexpr u16 kRarLongBlock = 0x8000;
// Main header flag: every member continues the unpack state of the one before it.
constexpr u16 kRarMainSolid = 0x0008;
constexpr u8 kRarMethodStored = 0x30;

// One file block as found in the archive. The name points into the archive bytes and is
// not terminated; it ends at its first zero byte (a second, wide form may follow that).
struct RarMember {
    const char* name = nullptr;
    u32 nameLength = 0;
    u16 flags = 0;
    u32 packSize = 0;  // bytes of data that follow the header (0 without kRarLongBlock)
    u32 unpSize = 0;
    u8 hostOs = 0;
    u32 fileCrc = 0;
    u32 fileTime = 0;  // DOS date and time
    u8 unpVer = 0;
    u8 method = 0;
    u32 attr = 0;
    u32 headerOffset = 0;  // where the block starts in the archive
    u16 headerSize = 0;
    u32 dataOffset = 0;    // where its data starts

    bool IsDirectory() const { return (flags & kRarFileDirectoryMask) == kRarFileDirectoryMask; }
    bool IsEncrypted() const { return (flags & kRarFileEncrypted) != 0; }
};

enum class RarWalk { Member, End, Broken };

// Reads the signature and the main header and leaves the read position at the first
// block. mainFlags (may be null) receives the main header's flags, 0 without one.
bool RarBegin(RarMemoryFile* archive, u16* mainFlags);

// Reads the next file block (other blocks are stepped over, a sub-block or the end-of-
// archive block ends the walk) and moves the read position past its data. Member means
// member was filled and its header checksum holds; Broken means a block was malformed.
RarWalk RarNextMember(RarMemoryFile* archive, RarMember* member);

// The member name rule: both names cut to 512 bytes, both kinds of slash equal to '_',
// letters compared without case.
bool RarNamesMatch(const char* a, u32 aLength, const char* b, u32 bLength);

// Points data and size at a stored member's bytes inside the archive after checking that
// they are complete and that their CRC-32 is the member's. Refuses directories,
// compressed, encrypted and split members.
bool RarStoredData(const RarMemoryFile* archive, const RarMember* member, const u8** data, u32* size);

// Finds a stored member by name and hands out its bytes inside the archive (no copy),
// after the same checks as RarStoredData. On failure data and size are null and 0.
bool RarFindStored(const u8** data, u32* size, const char* name, RarMemoryFile* archive);

// Extracts a member found by name into a fresh buffer from MemAlloc (the caller frees it
// with MemFree). On failure the buffer is null and the size 0. The password is accepted
// for the interface's sake; encrypted members are refused.
bool RarExtract(u8** outData, u32* outSize, const char* name, RarMemoryFile* archive, const char* password);
