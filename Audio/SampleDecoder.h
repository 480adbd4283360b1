// Turns an OGG Vorbis or WAV file held in memory into the one form the mixer plays:
// 16-bit stereo frames at the output rate. Decoding and resampling happen once, when a
// sample is loaded, so that the mixer's thread only adds and scales; the decoder's blocks
// go straight into the final buffer (StereoOutput), which for OGG Vorbis is sized once
// from the frames the stream's pages claim (OggPages) and holds what decodes. OGG Vorbis is
// decoded by the reference decoder, vorbisfile: every link of a chained file, the first
// Vorbis stream of a multiplexed one, trimmed at both ends as the granule positions say; a
// page that fails its checksum is a hole the rest plays past. The input is untrusted: every
// length is checked against the bytes that are there, and a file that would decode to more
// than kMaxFrames frames is refused rather than filling memory.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

class SampleDecoder {
public:
    // About 12 minutes at 44.1 kHz: far longer than any sound the program plays.
    static constexpr size_t kMaxFrames = size_t(32) << 20;

    // Decodes `bytes` (OGG Vorbis by its "OggS" mark, else WAV by "RIFF" "WAVE") into
    // interleaved left/right frames at `rate`. A mono file plays on both sides; a Vorbis
    // stream of more channels is mixed down by the format's order of them (L, C, R for
    // three; L, C, R, rear L, rear R, LFE for 5.1), a WAV file of more keeps its first two.
    // The links of a chained OGG file play one after another, each at its own rate and
    // channel count; a file cut short plays what it holds whole. False (out emptied, `why` saying what was refused where one is
    // given) on anything it cannot read or that holds no frame. The frames are written
    // over `out`, whose memory is kept where it is large enough.
    // `notes`, where one is given, gets a line for every part of a file that decodes but
    // not whole: a page that fails its checksum, bytes that hold no page, a cut last page.
    static bool Decode(const uint8_t* bytes, size_t size, uint32_t rate, std::vector<int16_t>& out,
                       std::string* why = nullptr, std::vector<std::string>* notes = nullptr);

private:
    static bool DecodeOgg(const uint8_t* bytes, size_t size, uint32_t rate, std::vector<int16_t>& out,
                          std::string& why, std::vector<std::string>* notes);
    static bool DecodeWav(const uint8_t* bytes, size_t size, uint32_t rate, std::vector<int16_t>& out,
                          std::string& why);
};
