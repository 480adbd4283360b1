// A RAR 2.0 compressor and archive builder for the tools and the tests. It aims at
// coverage, not at size: a greedy parse over hash chains, fresh Huffman tables every
// block, and options that steer it into every construct the unpacker must handle
// (literals; matches of every length and distance class; the last match repeated; the
// four recent distances; 2-byte matches; tables sent afresh and as differences; solid
// members; multimedia blocks of one to four channels; mode changes inside a member;
// RAR 2.0 encryption; comments embedded in headers). Statistics say which were written.
#pragma once

#include "Core/Rar20Unpack.h"
#include "Core/Types.h"

#include <string>
#include <vector>

// A stretch of a member packed in one mode: LZ (channels 0) or multimedia with 1..4
// channels. A stretch of 0 bytes runs to the end of the member.
struct Rar20Segment {
    u32 bytes = 0;
    u32 channels = 0;
};

struct Rar20PackOptions {
    // A block ends after this many codes (LZ) or bytes (multimedia); the next one starts
    // with new tables.
    u32 blockCodes = 0x8000;
    // Every other block sends its tables as differences from the previous ones (where
    // both have the same size); the rest send them afresh.
    bool deltaTables = true;
    // Candidates the match finder tries per position.
    u32 chainDepth = 48;
    // The member's modes in order; empty: LZ throughout.
    std::vector<Rar20Segment> segments;
};

// Counts of what was written, by code.
struct Rar20PackStats {
    u64 main[Rar20::kMainCodes] = {};
    u64 distance[Rar20::kDistanceCodes] = {};
    u64 repeat[Rar20::kRepeatCodes] = {};
    u64 header[Rar20::kBitLengthCodes] = {};
    u64 audioBlocks[Rar20::kMaxChannels + 1] = {};  // by channel count
    u64 lzBlocks = 0;
    u64 freshTables = 0;
    u64 deltaTables = 0;
    u64 modeChanges = 0;  // tables of the other mode (or channel count) than the block before
    u64 solidMembers = 0;
    u64 encryptedMembers = 0;
    u64 storedMembers = 0;
    u64 packedMembers = 0;

    void Add(const Rar20PackStats& other);
};

// The compressor. Its state (window, recent distances, tables, predictors) runs on from
// one member to the next of a solid archive, as the unpacker's does.
class Rar20Packer {
public:
    Rar20Packer();
    ~Rar20Packer();
    Rar20Packer(const Rar20Packer&) = delete;
    Rar20Packer& operator=(const Rar20Packer&) = delete;

    // Packs one member (empty data gives a block of tables alone). With `solid` it
    // continues from the member packed before. `align` pads the result to a multiple of it (16 for
    // the cipher) with bits that can never read as a new table.
    std::vector<u8> Pack(const u8* data, std::size_t size, bool solid, const Rar20PackOptions& options,
                         u32 align = 1);

    const Rar20PackStats& Stats() const { return stats_; }

private:
    struct State;
    State* state_;
    Rar20PackStats stats_;
};

// One entry of an archive to build.
struct Rar20Member {
    std::string name;
    std::vector<u8> data;
    Rar20PackOptions options;
    bool directory = false;
    bool store = false;         // never compressed (but in a solid archive)
    std::string comment;        // a comment embedded in the file header
};

struct Rar20ArchiveOptions {
    bool compress = true;
    bool solid = false;
    // Members whose packed form is not smaller are stored, unless this is set (a solid
    // archive packs every member anyway: it is one stream, which readers that put stored
    // members into the window and readers that do not would read differently).
    bool keepLarger = false;
    std::string password;       // encrypts every file when not empty
    std::string prefix;         // put before every name, as rarpack's --prefix
    std::string comment;        // an archive comment embedded in the main header
    // Headers that embed a comment get the checksum RAR 1.5-2.x wrote for them: over
    // the fixed fields (and the name) only. False checksums the whole header.
    bool fixedPartHeaderCrc = true;
};

// Builds the archive. False when a name is empty or too long or the archive would pass
// 4 GB. Stats (may be null) receives what the packer wrote.
bool Rar20WriteArchive(const std::vector<Rar20Member>& members, const Rar20ArchiveOptions& options,
                       std::vector<u8>* out, Rar20PackStats* stats = nullptr);

// Members whose packing (with their options) writes every construct above, given small
// blocks: text, planted matches of every class over a window larger than 1 MB, 2-byte
// matches, waveforms of one to four channels, a member that changes mode, and the
// smallest members. Deterministic.
std::vector<Rar20Member> Rar20SampleMembers();

// A larger corpus for timing unpackers: text, a two-channel waveform and records of
// numbers, a few MB each. Deterministic.
std::vector<Rar20Member> Rar20BenchMembers();
