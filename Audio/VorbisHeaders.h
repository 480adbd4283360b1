// The three Vorbis headers of one logical stream (identification, comments, set-up), read
// before the decoder opens the stream. The decoder computes its tables from the set-up
// header's codebooks without bounding them, and some of what a hostile stream claims
// there makes it compute undefined values: a division by a codebook of no dimensions, a
// power or a product beyond int, a shift by 31 or 32. Those codebooks are refused here, as
// are lengths in the comment header beyond their packet, which it would follow out of its
// buffer. Nothing a valid stream holds is refused.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct VorbisFormat {
    uint32_t channels = 0;
    uint32_t rate = 0;
    uint32_t longBlock = 0;  // the longer of the two block sizes, in samples
};

class VorbisHeaders {
public:
    // The most channels and the highest rate a stream may claim.
    static constexpr uint32_t kMaxChannels = 16;
    static constexpr uint32_t kMaxRate = 384000;
    // The most values one codebook's tables may hold (entries times dimensions): valid
    // streams' books hold thousands, and the decoder's sizes and indices are ints.
    static constexpr uint64_t kMaxBookValues = uint64_t(1) << 28;

    // Reads the three header packets, in order. False, with `why` naming the header and
    // what is wrong with it, on anything the decoder must not be given.
    static bool Read(const std::vector<std::vector<uint8_t>>& packets, VorbisFormat& format, std::string& why);

private:
    static bool ReadIdentification(const std::vector<uint8_t>& packet, VorbisFormat& format, std::string& why);
    static bool ReadComments(const std::vector<uint8_t>& packet, std::string& why);
    static bool ReadCodebooks(const std::vector<uint8_t>& packet, std::string& why);
};
