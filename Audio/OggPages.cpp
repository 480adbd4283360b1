#include "OggPages.h"

#include "LittleEndian.h"

#include <ogg/ogg.h>
#include <string.h>

#include <algorithm>

namespace {

// The bytes handed to the page sync at a time.
constexpr size_t kChunk = size_t(64) << 10;
// The Vorbis identification header: packet type 1 and "vorbis", then the version (4), the
// channels (1), the rate (4), three bit rates (12) and the two block sizes' exponents.
constexpr size_t kIdentificationSize = 30;
constexpr size_t kRateAt = 12;
constexpr size_t kBlockSizesAt = 28;

bool IsVorbisStart(const ogg_page& page) {
    return ogg_page_bos(&page) && page.body_len >= static_cast<long>(kIdentificationSize) &&
           memcmp(page.body, "\x01vorbis", 7) == 0;
}

// One link's Vorbis stream as its pages describe it.
struct Link {
    bool open = false;
    int serial = 0;
    uint32_t rate = 0;
    uint64_t longBlock = 0;
    uint64_t packets = 0;
    uint64_t lastGranule = 0;

    uint64_t Frames(uint32_t to) const {
        if (!open || rate == 0) return 0;
        const uint64_t frames = std::min(lastGranule, packets * (longBlock / 2));
        return (frames * to + rate - 1) / rate;
    }
};

}  // namespace

void OggPages::Survey(const uint8_t* bytes, size_t size, uint32_t rate, OggSurvey& survey) {
    survey = OggSurvey{};
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    Link link;
    bool inHeaders = false;  // the pages seen since the last link began are all first pages
    size_t fed = 0, at = 0;  // bytes handed to the sync; the offset of the next page
    // Hands the sync its next chunk; false at the end of the file.
    auto feed = [&] {
        if (fed == size) return false;
        const size_t chunk = std::min(kChunk, size - fed);
        char* buffer = ogg_sync_buffer(&sync, static_cast<long>(chunk));
        if (!buffer) return false;
        memcpy(buffer, bytes + fed, chunk);
        ogg_sync_wrote(&sync, static_cast<long>(chunk));
        fed += chunk;
        return true;
    };
    for (bool more = feed(); more;) {
        ogg_page page;
        const long seek = ogg_sync_pageseek(&sync, &page);
        if (seek == 0) {
            more = feed();
            continue;
        }
        if (seek < 0) {
            const size_t skipped = static_cast<size_t>(-seek);
            if (!survey.holes.empty() && survey.holes.back().at + survey.holes.back().length == at) {
                survey.holes.back().length += skipped;
            } else {
                survey.holes.push_back({at, skipped, size - at >= 4 && memcmp(bytes + at, "OggS", 4) == 0});
            }
            at += skipped;
            continue;
        }
        const size_t pageAt = at;
        at += static_cast<size_t>(seek);
        if (ogg_page_bos(&page)) {
            // A run of first pages begins a link; its first Vorbis stream is the one played.
            if (!inHeaders) {
                survey.links.push_back(pageAt);
                survey.frames += link.Frames(rate);
                link = Link{};
                inHeaders = true;
            }
            if (!link.open && IsVorbisStart(page)) {
                link.open = true;
                link.serial = ogg_page_serialno(&page);
                link.rate = ReadLe32(page.body + kRateAt);
                link.longBlock = uint64_t(1) << (page.body[kBlockSizesAt] >> 4);
            }
            continue;
        }
        inHeaders = false;
        if (!link.open || ogg_page_serialno(&page) != link.serial) continue;
        link.packets += static_cast<uint64_t>(ogg_page_packets(&page));
        const ogg_int64_t granule = ogg_page_granulepos(&page);
        if (granule > 0) link.lastGranule = static_cast<uint64_t>(granule);
    }
    survey.frames += link.Frames(rate);
    if (at < size) survey.cutAt = at, survey.cutLength = size - at;
    ogg_sync_clear(&sync);
}
