// The Ogg framing of a file held in memory, read before the Vorbis decoder sees any of it.
// The decoder trusts the pages it is given: it checks no checksum, and it stops without a
// word where one logical stream ends and the next begins. So every page is walked here
// first (capture pattern, version, flags, segment table, body, checksum), a file with a
// damaged page is refused with the page named, and the file is cut into its links (the
// logical streams of a chained file, one after another), each of which the decoder opens
// on its own bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// One logical stream: its pages lie in [begin, end) of the file.
struct OggLink {
    size_t begin = 0;
    size_t end = 0;
    uint32_t serial = 0;
    // The last granule position a page of the link carries: for Vorbis, the frames the
    // link decodes to. Zero when no page carries one.
    uint64_t lastGranule = 0;
    size_t packets = 0;  // the packets that end inside the link
};

class OggPages {
public:
    // Cuts `bytes` into its links. False, with `why` saying which page is wrong and how, on
    // a damaged page, on pages of two logical streams interleaved, or on no page at all. A
    // page cut off by the end of the file ends the walk (the file was cut short: the pages
    // before it are played), and so do bytes after the last page that hold no page.
    static bool Links(const uint8_t* bytes, size_t size, std::vector<OggLink>& links, std::string& why);

    // The first `count` packets of `link`, each joined from its segments across pages.
    // False when the link ends before they are complete.
    static bool FirstPackets(const uint8_t* bytes, const OggLink& link, size_t count,
                             std::vector<std::vector<uint8_t>>& packets);

    // The page checksum: CRC-32 (polynomial 0x04C11DB7, most significant bit first, no
    // inversion) of the whole page with its own checksum field read as zero.
    static uint32_t Checksum(const uint8_t* page, size_t size);
};
