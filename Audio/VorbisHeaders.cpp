#include "VorbisHeaders.h"

#include "LittleEndian.h"

#include <string.h>

#include <cmath>

namespace {

// Every header begins with its packet type and "vorbis".
constexpr size_t kCommonHeader = 7;
constexpr uint8_t kIdentificationType = 1;
constexpr uint8_t kCommentType = 3;
constexpr uint8_t kSetupType = 5;
// The identification header: the common part, version (4), channels (1), rate (4), three
// bit rates (12), the two block sizes' exponents (1), the framing bit (1).
constexpr size_t kIdentificationSize = 30;
constexpr size_t kChannelsAt = 11;
constexpr size_t kRateAt = 12;
constexpr size_t kBlockSizesAt = 28;
constexpr size_t kFramingAt = 29;
constexpr uint32_t kSmallestBlockLog = 6;
constexpr uint32_t kLargestBlockLog = 13;
constexpr uint32_t kCodebookSync = 0x564342;  // "BCV" read as a 24-bit number
// A codeword is at most 32 bits long; the decoder builds the mask of a 31- or 32-bit one
// by shifting a signed 1 that far.
constexpr uint32_t kLongestCodeword = 30;
constexpr uint32_t kNoLookup = 0, kLatticeLookup = 1, kListLookup = 2;
constexpr double kBeyondInt = 2147483648.0;  // 2^31


bool IsHeader(const std::vector<uint8_t>& packet, uint8_t type) {
    return packet.size() >= kCommonHeader && packet[0] == type && memcmp(packet.data() + 1, "vorbis", 6) == 0;
}

// The set-up header's bits, least significant first in each byte.
class BitReader {
public:
    explicit BitReader(const std::vector<uint8_t>& packet) : packet_(packet), bit_(kCommonHeader * 8) {}
    // False once the packet has fewer than `count` bits left.
    bool Read(uint32_t count, uint32_t& value) {
        if (count > packet_.size() * 8 - bit_) return false;
        value = 0;
        for (uint32_t i = 0; i < count; ++i, ++bit_)
            value |= static_cast<uint32_t>((packet_[bit_ / 8] >> (bit_ % 8)) & 1) << i;
        return true;
    }
    bool Skip(uint64_t count) {
        if (count > packet_.size() * 8 - bit_) return false;
        bit_ += static_cast<size_t>(count);
        return true;
    }

private:
    const std::vector<uint8_t>& packet_;
    size_t bit_;
};

// The bits needed to write `value`.
uint32_t BitCount(uint32_t value) {
    uint32_t bits = 0;
    for (; value; value >>= 1) ++bits;
    return bits;
}

// One codebook of the set-up header, read through to its end.
class Codebook {
public:
    Codebook(BitReader& bits, uint32_t index) : bits_(bits), index_(index) {}

    bool Read(std::string& why) {
        uint32_t sync = 0;
        if (!bits_.Read(24, sync) || !bits_.Read(16, dimensions_) || !bits_.Read(24, entries_)) return Cut(why);
        if (sync != kCodebookSync) return Fail(why, "has no sync pattern");
        // The decoder divides by the dimension count and steps through vectors by it.
        if (dimensions_ == 0) return Fail(why, "has no dimensions");
        if (static_cast<uint64_t>(entries_) * dimensions_ > VorbisHeaders::kMaxBookValues)
            return Fail(why, "holds more values than any stream's book");
        uint32_t ordered = 0;
        if (!bits_.Read(1, ordered)) return Cut(why);
        if (!(ordered ? ReadOrderedLengths(why) : ReadLengths(why))) return false;
        return ReadLookup(why);
    }

private:
    bool Fail(std::string& why, const char* what) {
        why = "codebook " + std::to_string(index_) + " " + what;
        return false;
    }
    bool Cut(std::string& why) { return Fail(why, "is cut off by the end of the set-up header"); }

    bool ReadOrderedLengths(std::string& why) {
        uint32_t length = 0;
        if (!bits_.Read(5, length)) return Cut(why);
        ++length;
        for (uint32_t entry = 0; entry < entries_; ++length) {
            uint32_t count = 0;
            if (!bits_.Read(BitCount(entries_ - entry), count)) return Cut(why);
            if (count > entries_ - entry) return Fail(why, "gives lengths to more entries than it has");
            if (length > kLongestCodeword && count > 0) return Fail(why, "has a codeword of 31 or 32 bits");
            entry += count;
        }
        return true;
    }

    bool ReadLengths(std::string& why) {
        uint32_t sparse = 0;
        if (!bits_.Read(1, sparse)) return Cut(why);
        for (uint32_t entry = 0; entry < entries_; ++entry) {
            uint32_t present = 1, length = 0;
            if (sparse && !bits_.Read(1, present)) return Cut(why);
            if (!present) continue;
            if (!bits_.Read(5, length)) return Cut(why);
            if (length + 1 > kLongestCodeword) return Fail(why, "has a codeword of 31 or 32 bits");
        }
        return true;
    }

    bool ReadLookup(std::string& why) {
        uint32_t type = 0, valueBits = 0, sequence = 0;
        if (!bits_.Read(4, type)) return Cut(why);
        if (type == kNoLookup) return true;
        if (type > kListLookup) return Fail(why, "has an unknown lookup type");
        if (!bits_.Skip(64) || !bits_.Read(4, valueBits) || !bits_.Read(1, sequence)) return Cut(why);
        uint64_t values = static_cast<uint64_t>(entries_) * dimensions_;
        if (type == kLatticeLookup && !LatticeValues(values)) return Fail(why, "has a lattice beyond int");
        if (!bits_.Skip(values * (valueBits + 1))) return Cut(why);
        return true;
    }

    // The lattice's value count: the largest r with r^dimensions <= entries. The decoder
    // finds it from a floating-point root, corrected by one either way, and converts the
    // powers it compares to int. Its own steps are taken here, in the same types, so that
    // the count is the one it will find and the bits read past the book are the ones it
    // will read; a power that int cannot hold refuses the book.
    bool LatticeValues(uint64_t& values) const {
        const int dimensions = static_cast<int>(dimensions_), entries = static_cast<int>(entries_);
        int r = static_cast<int>(std::floor(std::exp(static_cast<float>(std::log(static_cast<float>(entries))) / dimensions)));
        const double above = std::floor(std::pow(static_cast<float>(r) + 1, dimensions));
        if (!(above < kBeyondInt)) return false;
        if (static_cast<int>(above) <= entries) ++r;
        const double power = std::floor(std::pow(static_cast<float>(r), dimensions));
        if (!(power < kBeyondInt)) return false;
        if (static_cast<int>(power) > entries) --r;
        values = static_cast<uint64_t>(r);
        return true;
    }

    BitReader& bits_;
    uint32_t index_;
    uint32_t dimensions_ = 0;
    uint32_t entries_ = 0;
};

}  // namespace

bool VorbisHeaders::Read(const std::vector<std::vector<uint8_t>>& packets, VorbisFormat& format, std::string& why) {
    if (packets.size() < 3) {
        why = "the stream ends before its three headers";
        return false;
    }
    return ReadIdentification(packets[0], format, why) && ReadComments(packets[1], why) &&
           ReadCodebooks(packets[2], why);
}

bool VorbisHeaders::ReadIdentification(const std::vector<uint8_t>& packet, VorbisFormat& format, std::string& why) {
    why = "the identification header ";
    if (packet.size() != kIdentificationSize || !IsHeader(packet, kIdentificationType)) {
        why += "is not one";
        return false;
    }
    const uint8_t* p = packet.data();
    const uint32_t shortLog = p[kBlockSizesAt] & 15, longLog = p[kBlockSizesAt] >> 4;
    format.channels = p[kChannelsAt];
    format.rate = ReadLe32(p + kRateAt);
    format.longBlock = uint32_t(1) << longLog;
    if (ReadLe32(p + kCommonHeader) != 0) why += "is of an unknown version";
    else if (format.channels == 0 || format.channels > kMaxChannels) why += "claims a channel count out of range";
    else if (format.rate == 0 || format.rate > kMaxRate) why += "claims a rate out of range";
    else if (shortLog < kSmallestBlockLog || longLog > kLargestBlockLog || shortLog > longLog)
        why += "claims block sizes out of range";
    else if (!(p[kFramingAt] & 1)) why += "has no framing bit";
    else return true;
    return false;
}

// Every length in the comment header stays inside the packet: the decoder follows them
// and wrote before the start of its buffer for a length the packet does not hold.
bool VorbisHeaders::ReadComments(const std::vector<uint8_t>& packet, std::string& why) {
    size_t at = kCommonHeader;
    auto length = [&](uint32_t& value) {
        if (packet.size() < at || packet.size() - at < 4) return false;
        value = ReadLe32(packet.data() + at);
        at += 4;
        return true;
    };
    auto whole = [&] {
        if (!IsHeader(packet, kCommentType)) return false;
        uint32_t vendor = 0, count = 0;
        if (!length(vendor) || vendor > packet.size() - at) return false;
        at += vendor;
        if (!length(count)) return false;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t comment = 0;
            if (!length(comment) || comment > packet.size() - at) return false;
            at += comment;
        }
        return true;
    };
    if (whole()) return true;
    why = "the comment header has a length beyond its packet";
    return false;
}

bool VorbisHeaders::ReadCodebooks(const std::vector<uint8_t>& packet, std::string& why) {
    if (!IsHeader(packet, kSetupType)) {
        why = "the set-up header is not one";
        return false;
    }
    BitReader bits(packet);
    uint32_t count = 0;
    if (!bits.Read(8, count)) {
        why = "the set-up header holds no codebook";
        return false;
    }
    for (uint32_t i = 0; i <= count; ++i) {
        if (Codebook(bits, i).Read(why)) continue;
        why = "the set-up header's " + why;
        return false;
    }
    return true;
}
