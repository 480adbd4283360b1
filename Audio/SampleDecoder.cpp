#include "SampleDecoder.h"

#include <string.h>

#include <algorithm>
#include <cmath>

#define STB_VORBIS_HEADER_ONLY 1
#define STB_VORBIS_NO_STDIO 1
#define STB_VORBIS_NO_PUSHDATA_API 1
#include <stb/stb_vorbis.h>

namespace {

constexpr uint32_t kMaxRate = 384000;       // the highest rate a file may claim
constexpr size_t kRiffHeaderSize = 12;      // "RIFF", the size, "WAVE"
constexpr size_t kChunkHeaderSize = 8;      // the chunk's name and its length
constexpr size_t kFormatSize = 16;          // the fixed fields of a "fmt " chunk
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr size_t kExtensibleSubFormat = 24; // the sub-format's first two bytes in "fmt "
// The OGG decoder's working memory: its set-up tables and one packet's buffers. Ordinary
// streams need well under 256 KB; 16 MB is far beyond any sane stream's set-up.
constexpr size_t kFirstArena = size_t(256) << 10;
constexpr size_t kLargestArena = size_t(16) << 20;

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// One stored sample of a WAV file as a float in [-1, 1].
float WavSample(const uint8_t* p, uint16_t format, uint16_t bits) {
    if (format == kFormatFloat) {
        float v;
        memcpy(&v, p, sizeof v);
        return v;
    }
    switch (bits) {
    case 8: return (static_cast<int>(p[0]) - 128) / 128.0f;
    case 16: return static_cast<int16_t>(Read16(p)) / 32768.0f;
    case 24: {
        const int32_t v = static_cast<int32_t>((static_cast<uint32_t>(p[0]) << 8) | (static_cast<uint32_t>(p[1]) << 16) |
                                               (static_cast<uint32_t>(p[2]) << 24));
        return static_cast<float>(v / 2147483648.0);
    }
    default: return static_cast<float>(static_cast<int32_t>(Read32(p)) / 2147483648.0);
    }
}

int16_t ToInt16(float v) {
    // A NaN from a damaged stream would make the conversion undefined: it becomes silence.
    if (!(v == v)) return 0;
    const float scaled = std::clamp(v, -1.0f, 1.0f) * 32767.0f;
    return static_cast<int16_t>(std::lrint(scaled));
}

// The OGG page framing: "OggS", version, flags, granule position (8), serial number (4),
// page number (4), checksum (4), the segment count, then one lacing value per segment.
constexpr size_t kOggPageHeader = 27;
constexpr size_t kVorbisCommonHeader = 7;  // the packet type and "vorbis"

// The second packet of the stream (the comment header), joined from its segments across
// pages. False when the framing breaks off before it is complete.
bool SecondOggPacket(const uint8_t* bytes, size_t size, std::vector<uint8_t>& packet) {
    int index = 0;
    packet.clear();
    size_t at = 0;
    while (size - at >= kOggPageHeader && memcmp(bytes + at, "OggS", 4) == 0) {
        const size_t segments = bytes[at + 26];
        if (size - at - kOggPageHeader < segments) return false;
        const uint8_t* lacing = bytes + at + kOggPageHeader;
        size_t body = at + kOggPageHeader + segments;
        for (size_t i = 0; i < segments; ++i) {
            if (size - body < lacing[i]) return false;
            if (index == 1) packet.insert(packet.end(), bytes + body, bytes + body + lacing[i]);
            body += lacing[i];
            // A lacing value under 255 ends a packet.
            if (lacing[i] < 255 && index++ == 1) return true;
        }
        at = body;
    }
    return false;
}

// Whether every length in the comment header stays inside the packet. The decoder trusts
// them: a length the packet does not hold made it write before the start of its buffer.
bool CommentHeaderIsWhole(const std::vector<uint8_t>& packet) {
    size_t at = kVorbisCommonHeader;
    auto length = [&](uint32_t& value) {
        if (packet.size() < at || packet.size() - at < 4) return false;
        value = Read32(packet.data() + at);
        at += 4;
        return true;
    };
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
}

}  // namespace

bool SampleDecoder::Decode(const uint8_t* bytes, size_t size, uint32_t rate, std::vector<int16_t>& out) {
    out.clear();
    if (!bytes || size < 4 || rate == 0 || rate > kMaxRate) return false;
    Pcm pcm;
    const bool ok = memcmp(bytes, "OggS", 4) == 0 ? DecodeOgg(bytes, size, pcm) : DecodeWav(bytes, size, pcm);
    if (!ok || pcm.samples.empty()) return false;
    return Resample(pcm, rate, out);
}

bool SampleDecoder::DecodeOgg(const uint8_t* bytes, size_t size, Pcm& pcm) {
    if (size > 0x7FFFFFFF) return false;  // the decoder counts bytes in an int
    std::vector<uint8_t> comments;
    if (!SecondOggPacket(bytes, size, comments) || !CommentHeaderIsWhole(comments)) return false;
    // The decoder works in an arena of ours: on a damaged stream it can give up half way
    // through its set-up without freeing what it had allocated, which from its own heap
    // would be lost for good. An arena too small for the stream's set-up is grown and the
    // stream opened again.
    std::vector<char> arena;
    stb_vorbis* vorbis = nullptr;
    for (size_t arenaSize = kFirstArena; !vorbis && arenaSize <= kLargestArena; arenaSize *= 4) {
        arena.assign(arenaSize, 0);
        const stb_vorbis_alloc alloc{arena.data(), static_cast<int>(arena.size())};
        int error = 0;
        vorbis = stb_vorbis_open_memory(bytes, static_cast<int>(size), &error, &alloc);
        if (!vorbis && error != VORBIS_outofmem) return false;
    }
    if (!vorbis) return false;
    const stb_vorbis_info info = stb_vorbis_get_info(vorbis);
    bool ok = info.channels > 0 && info.sample_rate > 0 && info.sample_rate <= kMaxRate;
    if (ok) {
        pcm.channels = info.channels >= 2 ? 2 : 1;
        pcm.rate = info.sample_rate;
        float block[4096];
        const int perCall = static_cast<int>(sizeof block / sizeof block[0]);
        for (;;) {
            const int frames = stb_vorbis_get_samples_float_interleaved(vorbis, static_cast<int>(pcm.channels), block,
                                                                          perCall);
            if (frames <= 0) break;
            pcm.samples.insert(pcm.samples.end(), block, block + static_cast<size_t>(frames) * pcm.channels);
            if (pcm.samples.size() / pcm.channels > kMaxFrames) {
                ok = false;
                break;
            }
        }
    }
    stb_vorbis_close(vorbis);
    return ok;
}

bool SampleDecoder::DecodeWav(const uint8_t* bytes, size_t size, Pcm& pcm) {
    if (size < kRiffHeaderSize || memcmp(bytes, "RIFF", 4) != 0 || memcmp(bytes + 8, "WAVE", 4) != 0) return false;
    uint16_t format = 0, channels = 0, bits = 0, blockAlign = 0;
    uint32_t rate = 0;
    bool haveFormat = false;
    size_t at = kRiffHeaderSize;
    while (size - at >= kChunkHeaderSize) {
        const uint8_t* chunk = bytes + at;
        const size_t length = Read32(chunk + 4);
        const size_t body = at + kChunkHeaderSize;
        // A data chunk cut short by the end of the file still plays what is there.
        const size_t present = std::min(length, size - body);
        if (memcmp(chunk, "fmt ", 4) == 0) {
            if (present < kFormatSize) return false;
            const uint8_t* f = bytes + body;
            format = Read16(f);
            channels = Read16(f + 2);
            rate = Read32(f + 4);
            blockAlign = Read16(f + 12);
            bits = Read16(f + 14);
            if (format == kFormatExtensible) {
                if (present < kExtensibleSubFormat + 2) return false;
                format = Read16(f + kExtensibleSubFormat);
            }
            haveFormat = true;
        } else if (memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat || channels == 0 || rate == 0 || rate > kMaxRate) return false;
            const bool pcmBits = format == kFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
            const bool floatBits = format == kFormatFloat && bits == 32;
            if (!pcmBits && !floatBits) return false;
            const size_t sampleBytes = bits / 8;
            // The stored frame is what the format says, however the header's block size reads.
            const size_t frameBytes = sampleBytes * channels;
            if (blockAlign != frameBytes) return false;
            const size_t frames = present / frameBytes;
            if (frames == 0 || frames > kMaxFrames) return false;
            pcm.channels = channels >= 2 ? 2 : 1;
            pcm.rate = rate;
            pcm.samples.resize(frames * pcm.channels);
            const uint8_t* p = bytes + body;
            for (size_t i = 0; i < frames; ++i, p += frameBytes)
                for (uint32_t c = 0; c < pcm.channels; ++c)
                    pcm.samples[i * pcm.channels + c] = WavSample(p + c * sampleBytes, format, bits);
            return true;
        }
        // Chunks are padded to an even length.
        const size_t advance = kChunkHeaderSize + length + (length & 1);
        if (advance > size - at) break;
        at += advance;
    }
    return false;
}

bool SampleDecoder::Resample(const Pcm& pcm, uint32_t rate, std::vector<int16_t>& out) {
    const size_t inFrames = pcm.samples.size() / pcm.channels;
    const uint64_t outFrames64 = (static_cast<uint64_t>(inFrames) * rate + pcm.rate - 1) / pcm.rate;
    if (outFrames64 == 0 || outFrames64 > kMaxFrames) return false;
    const size_t outFrames = static_cast<size_t>(outFrames64);
    out.resize(outFrames * 2);
    const double step = static_cast<double>(pcm.rate) / rate;
    for (size_t i = 0; i < outFrames; ++i) {
        const double position = i * step;
        size_t a = static_cast<size_t>(position);
        if (a >= inFrames) a = inFrames - 1;
        const size_t b = a + 1 < inFrames ? a + 1 : a;
        const float t = static_cast<float>(position - static_cast<double>(a));
        for (uint32_t c = 0; c < 2; ++c) {
            const uint32_t from = pcm.channels == 2 ? c : 0;
            const float va = pcm.samples[a * pcm.channels + from];
            const float vb = pcm.samples[b * pcm.channels + from];
            out[i * 2 + c] = ToInt16(va + (vb - va) * t);
        }
    }
    return true;
}
