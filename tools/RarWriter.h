// Builds RAR 2.0 archives of stored members in memory: the media archive of the build
// and the small archives of the tests.
#pragma once

#include "Core/Types.h"

#include <string>
#include <vector>

// 2001-01-01 00:00:00 as a DOS date and time: one fixed stamp keeps archives reproducible.
constexpr u32 kRarWriterFileTime = (((2001u - 1980u) << 9 | 1u << 5 | 1u) << 16);

// The fields of one file block, written as they stand (only the header checksum is
// computed). The defaults describe a stored file of a Windows host.
struct RarFileFields {
    u16 flags = 0x8000;  // data follows the header
    u32 packSize = 0;
    u32 unpSize = 0;
    u8 hostOs = 2;
    u32 fileCrc = 0;
    u32 fileTime = kRarWriterFileTime;
    u8 unpVer = 20;
    u8 method = 0x30;
    u32 attr = 0x20;
    std::string name;
};

class RarWriter {
public:
    // Names longer than this cannot be found by the reader's callers.
    static constexpr std::size_t kMaxName = 259;

    // Starts the archive: signature and main header with the given flags.
    explicit RarWriter(u16 mainFlags = 0);

    // Text put before every later member name, such as "Media\".
    void SetPrefix(const std::string& prefix);
    void Reserve(std::size_t bytes) { bytes_.reserve(bytes); }

    // A stored file. Forward slashes in the name become back slashes. Fails on an empty
    // or overlong name, or when the archive would pass 4 GB.
    bool AddFile(const std::string& name, const void* data, std::size_t size);
    // A directory entry (no data).
    bool AddDirectory(const std::string& name);
    // A file block exactly as described, followed by dataSize bytes of data.
    bool AddFileBlock(const RarFileFields& fields, const void* data, std::size_t dataSize);
    // The block that marks the end of the archive.
    void AddEndBlock();

    const std::vector<u8>& Bytes() const { return bytes_; }
    std::vector<u8> Take() { return std::move(bytes_); }

    // Recomputes the header checksum of the block at `block` from its HEAD_SIZE.
    static void SealHeader(u8* block);
    // The name as stored: prefix, then the name with back slashes and no leading slash.
    std::string ArchiveName(const std::string& name) const;

private:
    bool Fits(std::size_t more) const;

    std::vector<u8> bytes_;
    std::string prefix_;
};
