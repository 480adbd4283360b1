// Reading members of a RAR 2.0 archive held in memory (the media archive travels as a
// resource of the executable, always of stored members). Stored members can be handed
// out as views into the archive; compressed ones (RAR 2.0's LZ and multimedia modes, solid
// archives included) and encrypted ones (RAR 2.0's cipher, given the password) are
// unpacked into fresh buffers. Members packed by RAR versions before 2.0 are read only
// when stored and not encrypted.
//
// Every function treats the archive bytes as untrusted: lengths are checked against the
// buffer before anything is read, a malformed block chain ends the walk with a failure,
// and no size a header claims is allocated before the data bears it out.
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
constexpr u16 kRarFileComment = 0x0008;  // a comment follows the name inside the header
constexpr u16 kRarFileSolid = 0x0010;
constexpr u16 kRarFileDirectoryMask = 0x00E0;
constexpr u16 kRarLongBlock = 0x8000;
// Main header flags: a comment follows the fixed fields inside the header; every member
// continues the unpack state of the one before it.
constexpr u16 kRarMainComment = 0x0002;
constexpr u16 kRarMainSolid = 0x0008;
constexpr u8 kRarMethodStored = 0x30;
// Compressed members name a level from fastest to best; all unpack the same way.
constexpr u8 kRarMethodFastest = 0x31;
constexpr u8 kRarMethodBest = 0x35;
// The unpack version of RAR 2.0: older compressed or encrypted members are refused.
constexpr u8 kRarVersion20 = 20;

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
    bool IsStored() const { return method == kRarMethodStored; }
};

enum class RarWalk { Member, End, Broken };

// Reads the signature and the main header and leaves the read position at the first
// block. mainFlags (may be null) receives the main header's flags, 0 without one.
bool RarBegin(RarMemoryFile* archive, u16* mainFlags);

// Reads the next file block (other blocks are stepped over, a sub-block or the end-of-
// archive block ends the walk) and moves the read position past its data. Member means
// member was filled and its header checksum holds; Broken means a block was malformed.
// Header checksums are accepted over the whole header or, as writers of embedded
// comments computed them, over the fixed fields (and the name) alone: either way they
// cover every field the reader uses.
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
// with MemFree); its CRC-32 must be the header's. On failure the buffer is null and the
// size 0. Encrypted members need the password (null: none given). In a solid archive a
// compressed member is unpacked after the members whose state it continues, each checked
// against its own CRC-32; a stored member depends on no other.
bool RarExtract(u8** outData, u32* outSize, const char* name, RarMemoryFile* archive, const char* password);

// Extracts one member of a listing on its own, as RarExtract does for a member of an
// archive that is not solid (a compressed member starts from a fresh unpack state).
bool RarExtractMember(u8** outData, u32* outSize, const RarMemoryFile* archive, const RarMember* member,
                      const char* password);
