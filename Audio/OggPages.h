// A walk over the pages of an Ogg file held in memory, with libogg's own page sync, before
// the file is decoded. The decoder passes over a page whose checksum fails, and over bytes
// that hold no page, without a word: this walk names where each such hole lies, so that a
// damaged file says where it is damaged. It also finds what the Vorbis streams' pages claim
// to hold, which sizes the output once; the decoder itself counts nothing in advance.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

// Bytes the decoder skips: a page that fails its checksum (or is otherwise not a page
// although it begins like one), or bytes between pages that hold none.
struct OggHole {
    size_t at = 0;
    size_t length = 0;
    bool page = false;  // the hole begins with a capture pattern
};

struct OggSurvey {
    std::vector<OggHole> holes;
    // Where each link begins (its first page), in order: a decoder that fails in one link
    // starts again at the next.
    std::vector<size_t> links;
    // Bytes at the end of the file that begin a page the file does not hold whole (a file
    // cut short); zero when it ends with a whole page.
    size_t cutAt = 0, cutLength = 0;
    // The frames the file's Vorbis links decode to at the output rate, as far as their pages
    // say: each link's last granule position, bounded by what its packets can hold (each at
    // most half a long block), so that a page that lies reserves no more than that.
    uint64_t frames = 0;
};

class OggPages {
public:
    // Walks every page of `bytes`, in the order the decoder meets them, for output at `rate`.
    static void Survey(const uint8_t* bytes, size_t size, uint32_t rate, OggSurvey& survey);
};
