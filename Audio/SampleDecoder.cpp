#include "SampleDecoder.h"

#include "LittleEndian.h"
#include "OggPages.h"
#include "StbVorbis.h"
#include "StereoOutput.h"
#include "VorbisHeaders.h"

#include <string.h>

#include <algorithm>
#include <array>

namespace {

constexpr uint32_t kMaxRate = VorbisHeaders::kMaxRate;  // the highest rate a file may claim
constexpr size_t kRiffHeaderSize = 12;      // "RIFF", the size, "WAVE"
constexpr size_t kChunkHeaderSize = 8;      // the chunk's name and its length
constexpr size_t kFormatSize = 16;          // the fixed fields of a "fmt " chunk
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr size_t kExtensibleSubFormat = 24; // the sub-format's first two bytes in "fmt "
constexpr size_t kWavBlock = 1024;          // the frames converted to floats at a time
constexpr size_t kVorbisHeaders = 3;        // identification, comments, set-up
// The OGG decoder's working memory: its set-up tables and one packet's buffers. Ordinary
// streams need well under 256 KB; 16 MB is far beyond any sane stream's set-up.
constexpr size_t kFirstArena = size_t(256) << 10;
constexpr size_t kLargestArena = size_t(16) << 20;


bool Refuse(std::string& why, const std::string& what) {
    why = what;
    return false;
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
    case 16: return static_cast<int16_t>(ReadLe16(p)) / 32768.0f;
    case 24: {
        const int32_t v = static_cast<int32_t>((static_cast<uint32_t>(p[0]) << 8) | (static_cast<uint32_t>(p[1]) << 16) |
                                               (static_cast<uint32_t>(p[2]) << 24));
        return static_cast<float>(v / 2147483648.0);
    }
    default: return static_cast<float>(static_cast<int32_t>(ReadLe32(p)) / 2147483648.0);
    }
}

// How much of each Vorbis channel goes to the left and to the right, by the format's
// order of channels for one to eight; of more, whose order is the application's, the
// first two are left and right. A centre goes to both sides at -3 dB, a side or rear
// channel to its own side at -3 dB, the LFE nowhere; each side is then scaled so that
// its weights sum to one, and a full-scale stream cannot clip.
class ChannelMix {
public:
    explicit ChannelMix(uint32_t channels) : channels_(channels) {
        constexpr float k = 0.70710678f, h = 0.5f;
        static constexpr float kWeights[9][8][2] = {
            {},
            {{1, 1}},
            {{1, 0}, {0, 1}},
            {{1, 0}, {k, k}, {0, 1}},                                          // L C R
            {{1, 0}, {0, 1}, {k, 0}, {0, k}},                                  // L R, rear L R
            {{1, 0}, {k, k}, {0, 1}, {k, 0}, {0, k}},                          // L C R, rear L R
            {{1, 0}, {k, k}, {0, 1}, {k, 0}, {0, k}, {0, 0}},                  // and LFE
            {{1, 0}, {k, k}, {0, 1}, {k, 0}, {0, k}, {h, h}, {0, 0}},          // side L R, rear C, LFE
            {{1, 0}, {k, k}, {0, 1}, {k, 0}, {0, k}, {k, 0}, {0, k}, {0, 0}},  // side L R, rear L R, LFE
        };
        const auto& weights = kWeights[std::min<uint32_t>(channels, 8) == channels ? channels : 2];
        float sums[2] = {0, 0};
        for (const auto& w : weights) sums[0] += w[0], sums[1] += w[1];
        for (size_t c = 0; c < 8; ++c)
            for (int side = 0; side < 2; ++side) weights_[c][side] = weights[c][side] / sums[side];
    }

    // Points `left` and `right` at the frames' two sides: the decoder's own channels for
    // one or two, else buffers mixed here.
    void Mix(float* const* pcm, size_t frames, const float*& left, const float*& right) {
        if (channels_ <= 2) {
            left = pcm[0];
            right = pcm[channels_ - 1];
            return;
        }
        left_.assign(frames, 0.0f);
        right_.assign(frames, 0.0f);
        for (size_t c = 0; c < std::min<size_t>(channels_, 8); ++c) {
            const float wl = weights_[c][0], wr = weights_[c][1];
            if (wl == 0 && wr == 0) continue;
            for (size_t i = 0; i < frames; ++i) left_[i] += wl * pcm[c][i], right_[i] += wr * pcm[c][i];
        }
        left = left_.data();
        right = right_.data();
    }

private:
    uint32_t channels_;
    float weights_[8][2];
    std::vector<float> left_, right_;
};

// The decoder over one link's bytes. It works in an arena of ours: on a damaged stream it
// can give up half way through its set-up without freeing what it had allocated, which
// from its own heap would be lost for good. An arena too small for the stream's set-up is
// grown and the stream opened again.
class VorbisStream {
public:
    bool Open(const uint8_t* bytes, size_t size, std::string& why) {
        for (size_t arenaSize = kFirstArena; !vorbis_ && arenaSize <= kLargestArena; arenaSize *= 4) {
            arena_.resize(arenaSize);
            const stb_vorbis_alloc alloc{arena_.data(), static_cast<int>(arena_.size())};
            int error = 0;
            vorbis_ = stb_vorbis_open_memory(bytes, static_cast<int>(size), &error, &alloc);
            if (!vorbis_ && error != VORBIS_outofmem)
                return Refuse(why, "the decoder refuses the stream (error " + std::to_string(error) + ")");
        }
        return vorbis_ || Refuse(why, "the stream's set-up needs more than 16 MB");
    }
    ~VorbisStream() {
        if (vorbis_) stb_vorbis_close(vorbis_);
    }
    stb_vorbis* operator->() const { return vorbis_; }
    stb_vorbis* get() const { return vorbis_; }

private:
    std::vector<char> arena_;
    stb_vorbis* vorbis_ = nullptr;
};

}  // namespace

bool SampleDecoder::Decode(const uint8_t* bytes, size_t size, uint32_t rate, std::vector<int16_t>& out,
                           std::string* why) {
    // A buffer the caller hands in again is written over where it is large enough.
    out.clear();
    std::string reason;
    bool ok = false;
    if (!bytes || size < 4) reason = "the file is too short to be a sound";
    else if (rate == 0 || rate > kMaxRate) reason = "the output rate is out of range";
    else if (memcmp(bytes, "OggS", 4) == 0) ok = DecodeOgg(bytes, size, rate, out, reason);
    else ok = DecodeWav(bytes, size, rate, out, reason);
    if (ok) return true;
    std::vector<int16_t>().swap(out);
    if (why) *why = reason;
    return false;
}

bool SampleDecoder::DecodeOgg(const uint8_t* bytes, size_t size, uint32_t rate, std::vector<int16_t>& out,
                              std::string& why) {
    if (size > 0x7FFFFFFF) return Refuse(why, "the file is larger than the decoder reads");  // it counts in an int
    std::vector<OggLink> links;
    if (!OggPages::Links(bytes, size, links, why)) return false;
    // Every link's headers are checked before any is decoded, and the frames they claim at
    // the output rate size the buffer once. The claim is bounded by what the link's packets
    // can hold (each at most half a long block), so a lying page reserves no more.
    std::vector<VorbisFormat> formats(links.size());
    std::vector<std::vector<uint8_t>> headers;
    uint64_t claimed = 0;
    for (size_t i = 0; i < links.size(); ++i) {
        const std::string where = links.size() > 1 ? "link " + std::to_string(i) + ": " : "";
        if (!OggPages::FirstPackets(bytes, links[i], kVorbisHeaders, headers))
            return Refuse(why, where + "the stream ends before its three headers");
        if (!VorbisHeaders::Read(headers, formats[i], why)) return Refuse(why, where + why);
        // The decoder would compute a sample count from the last page's position, and a
        // stream that claims no samples has none to play.
        if (links[i].lastGranule == 0) return Refuse(why, where + "the last page's granule position counts no samples");
        if (links[i].lastGranule > kMaxFrames) return Refuse(why, where + "the stream is longer than a sample may be");
        const uint64_t frames = std::min<uint64_t>(links[i].lastGranule, links[i].packets * (formats[i].longBlock / 2));
        claimed += (frames * rate + formats[i].rate - 1) / formats[i].rate;
    }
    out.reserve(static_cast<size_t>(std::min<uint64_t>(claimed, kMaxFrames)) * 2);
    for (size_t i = 0; i < links.size(); ++i) {
        if (DecodeLink(bytes, links[i], formats[i], rate, out, why)) continue;
        if (links.size() > 1) why = "link " + std::to_string(i) + ": " + why;
        return false;
    }
    return true;
}

bool SampleDecoder::DecodeLink(const uint8_t* bytes, const OggLink& link, const VorbisFormat& format, uint32_t rate,
                               std::vector<int16_t>& out, std::string& why) {
    VorbisStream vorbis;
    if (!vorbis.Open(bytes + link.begin, link.end - link.begin, why)) return false;
    const stb_vorbis_info info = stb_vorbis_get_info(vorbis.get());
    if (info.channels != static_cast<int>(format.channels) || info.sample_rate != format.rate)
        return Refuse(why, "the decoder reads another format than the identification header's");
    ChannelMix mix(format.channels);
    StereoOutput output(out, format.rate, rate, kMaxFrames);
    for (;;) {
        float** pcm = nullptr;
        const int frames = stb_vorbis_get_frame_float(vorbis.get(), nullptr, &pcm);
        if (frames <= 0) break;
        const float *left = nullptr, *right = nullptr;
        mix.Mix(pcm, static_cast<size_t>(frames), left, right);
        if (!output.Add(left, right, static_cast<size_t>(frames)))
            return Refuse(why, "the stream is longer than a sample may be");
    }
    return output.Finish() || Refuse(why, "the stream holds no frame");
}

bool SampleDecoder::DecodeWav(const uint8_t* bytes, size_t size, uint32_t rate, std::vector<int16_t>& out,
                              std::string& why) {
    if (size < kRiffHeaderSize || memcmp(bytes, "RIFF", 4) != 0 || memcmp(bytes + 8, "WAVE", 4) != 0)
        return Refuse(why, "the file is neither OGG nor WAV");
    uint16_t format = 0, channels = 0, bits = 0, blockAlign = 0;
    uint32_t fileRate = 0;
    bool haveFormat = false;
    size_t at = kRiffHeaderSize;
    while (size - at >= kChunkHeaderSize) {
        const uint8_t* chunk = bytes + at;
        const size_t length = ReadLe32(chunk + 4);
        const size_t body = at + kChunkHeaderSize;
        // A data chunk cut short by the end of the file still plays what is there.
        const size_t present = std::min(length, size - body);
        if (memcmp(chunk, "fmt ", 4) == 0) {
            if (present < kFormatSize) return Refuse(why, "the WAV format chunk is cut short");
            const uint8_t* f = bytes + body;
            format = ReadLe16(f);
            channels = ReadLe16(f + 2);
            fileRate = ReadLe32(f + 4);
            blockAlign = ReadLe16(f + 12);
            bits = ReadLe16(f + 14);
            if (format == kFormatExtensible) {
                if (present < kExtensibleSubFormat + 2) return Refuse(why, "the WAV format chunk is cut short");
                format = ReadLe16(f + kExtensibleSubFormat);
            }
            haveFormat = true;
        } else if (memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat || channels == 0 || fileRate == 0 || fileRate > kMaxRate)
                return Refuse(why, "the WAV data has no valid format before it");
            const bool pcmBits = format == kFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
            const bool floatBits = format == kFormatFloat && bits == 32;
            if (!pcmBits && !floatBits) return Refuse(why, "the WAV sample format is not one that plays");
            const size_t sampleBytes = bits / 8;
            // The stored frame is what the format says, however the header's block size reads.
            const size_t frameBytes = sampleBytes * channels;
            if (blockAlign != frameBytes) return Refuse(why, "the WAV block size is not the frame's");
            const size_t frames = present / frameBytes;
            if (frames == 0 || frames > kMaxFrames) return Refuse(why, "the WAV data holds no frame, or too many");
            out.reserve(static_cast<size_t>((static_cast<uint64_t>(frames) * rate + fileRate - 1) / fileRate) * 2);
            StereoOutput output(out, fileRate, rate, kMaxFrames);
            const size_t right = channels >= 2 ? sampleBytes : 0;
            float left[kWavBlock], rightSide[kWavBlock];
            const uint8_t* p = bytes + body;
            for (size_t done = 0; done < frames;) {
                const size_t block = std::min(kWavBlock, frames - done);
                for (size_t i = 0; i < block; ++i, p += frameBytes) {
                    left[i] = WavSample(p, format, bits);
                    rightSide[i] = WavSample(p + right, format, bits);
                }
                if (!output.Add(left, rightSide, block)) return Refuse(why, "the WAV data holds too many frames");
                done += block;
            }
            return output.Finish();
        }
        // Chunks are padded to an even length.
        const size_t advance = kChunkHeaderSize + length + (length & 1);
        if (advance > size - at) break;
        at += advance;
    }
    return Refuse(why, "the WAV file holds no data chunk");
}
