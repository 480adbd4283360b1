#include "OggPages.h"

#include "LittleEndian.h"

#include <string.h>

#include <algorithm>
#include <array>

namespace {

// The page header: "OggS", version, flags, granule position (8), serial number (4), page
// sequence number (4), checksum (4), the segment count, then one lacing value per segment.
constexpr size_t kPageHeader = 27;
constexpr size_t kVersionAt = 4;
constexpr size_t kFlagsAt = 5;
constexpr size_t kGranuleAt = 6;
constexpr size_t kSerialAt = 14;
constexpr size_t kChecksumAt = 22;
constexpr size_t kSegmentsAt = 26;
constexpr uint8_t kContinued = 0x01;  // the page's first packet began on the page before
constexpr uint8_t kFirstPage = 0x02;  // the first page of a logical stream
constexpr uint8_t kLastPage = 0x04;   // the last page of a logical stream
constexpr uint8_t kKnownFlags = kContinued | kFirstPage | kLastPage;
constexpr uint64_t kNoGranule = ~uint64_t(0);  // no packet ends on the page
constexpr uint8_t kLastLacing = 255;           // a lacing value of 255 continues its packet
constexpr uint32_t kPolynomial = 0x04C11DB7;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i << 24;
        for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000u) ? (r << 1) ^ kPolynomial : r << 1;
        table[i] = r;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint64_t Read64(const uint8_t* p) { return ReadLe32(p) | (static_cast<uint64_t>(ReadLe32(p + 4)) << 32); }

bool HasPage(const uint8_t* bytes, size_t size) {
    return size >= 4 && std::search(bytes, bytes + size, "OggS", "OggS" + 4) != bytes + size;
}

// The walk over the pages, one link open at a time.
class Walk {
public:
    Walk(const uint8_t* bytes, size_t size, std::vector<OggLink>& links, std::string& why)
        : bytes_(bytes), size_(size), links_(links), why_(why) {}

    bool Run() {
        links_.clear();
        while (at_ < size_) {
            size_t length = 0;
            if (!PageLength(length)) {
                if (!why_.empty()) return false;
                break;
            }
            if (!Check(length) || !Take(length)) return false;
            at_ += length;
            ++index_;
        }
        if (links_.empty()) return Fail("holds no Ogg page");
        return true;
    }

private:
    bool Fail(const std::string& what) {
        why_ = what;
        return false;
    }
    bool FailPage(const char* what) {
        return Fail("page " + std::to_string(index_) + " (byte " + std::to_string(at_) + ") " + what);
    }

    // The length of the page at at_, header and body. False with why_ empty where the walk
    // ends without fault: at the end of a file cut short, or before trailing bytes that
    // hold no page.
    bool PageLength(size_t& length) {
        const uint8_t* page = bytes_ + at_;
        const size_t left = size_ - at_;
        if (left < 4 || memcmp(page, "OggS", 4) != 0) {
            if (HasPage(page, left)) return FailPage("has no capture pattern");
            return false;
        }
        if (left < kPageHeader || left - kPageHeader < page[kSegmentsAt]) return false;
        length = kPageHeader + page[kSegmentsAt];
        for (size_t i = 0; i < page[kSegmentsAt]; ++i) length += page[kPageHeader + i];
        return length <= left;
    }

    bool Check(size_t length) {
        const uint8_t* page = bytes_ + at_;
        if (page[kVersionAt] != 0) return FailPage("is of an unknown version");
        if (page[kFlagsAt] & ~kKnownFlags) return FailPage("has unknown flags");
        if (OggPages::Checksum(page, length) != ReadLe32(page + kChecksumAt)) return FailPage("fails its checksum");
        return true;
    }

    // Adds the page to the link it belongs to, or begins a link with it.
    bool Take(size_t length) {
        const uint8_t* page = bytes_ + at_;
        const uint8_t flags = page[kFlagsAt];
        const uint32_t serial = ReadLe32(page + kSerialAt);
        if (flags & kFirstPage) {
            if (open_) return FailPage("begins a logical stream while another is still open");
            links_.push_back(OggLink{at_, at_, serial, 0, 0});
            open_ = true;
            packetOpen_ = false;
        } else if (!open_) {
            return FailPage("belongs to no logical stream begun before it");
        } else if (serial != links_.back().serial) {
            return FailPage("belongs to another logical stream");
        }
        // A packet left open by the page before is continued by this one, and only then.
        if (((flags & kContinued) != 0) != packetOpen_) return FailPage("breaks off a packet");
        OggLink& link = links_.back();
        const uint8_t* lacing = page + kPageHeader;
        for (size_t i = 0; i < page[kSegmentsAt]; ++i)
            if (lacing[i] < kLastLacing) ++link.packets;
        packetOpen_ = page[kSegmentsAt] > 0 && lacing[page[kSegmentsAt] - 1] == kLastLacing;
        const uint64_t granule = Read64(page + kGranuleAt);
        if (granule != kNoGranule) link.lastGranule = granule;
        link.end = at_ + length;
        if (flags & kLastPage) open_ = false;
        return true;
    }

    const uint8_t* bytes_;
    size_t size_;
    std::vector<OggLink>& links_;
    std::string& why_;
    size_t at_ = 0;
    size_t index_ = 0;
    bool open_ = false;        // a link has begun and not ended
    bool packetOpen_ = false;  // the last page ended inside a packet
};

}  // namespace

uint32_t OggPages::Checksum(const uint8_t* page, size_t size) {
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = i >= kChecksumAt && i < kChecksumAt + 4 ? 0 : page[i];
        crc = (crc << 8) ^ kCrcTable[(crc >> 24) ^ byte];
    }
    return crc;
}

bool OggPages::Links(const uint8_t* bytes, size_t size, std::vector<OggLink>& links, std::string& why) {
    why.clear();
    return Walk(bytes, size, links, why).Run();
}

bool OggPages::FirstPackets(const uint8_t* bytes, const OggLink& link, size_t count,
                            std::vector<std::vector<uint8_t>>& packets) {
    packets.assign(1, {});
    // The walk has checked every page of the link: each lies whole inside it.
    for (size_t at = link.begin; at < link.end;) {
        const uint8_t* page = bytes + at;
        const uint8_t* lacing = page + kPageHeader;
        size_t body = at + kPageHeader + page[kSegmentsAt];
        for (size_t i = 0; i < page[kSegmentsAt]; ++i) {
            packets.back().insert(packets.back().end(), bytes + body, bytes + body + lacing[i]);
            body += lacing[i];
            if (lacing[i] < kLastLacing) {
                if (packets.size() == count) return true;
                packets.emplace_back();
            }
        }
        at = body;
    }
    return false;
}
