#include "SampleDecoder.h"

#include "LittleEndian.h"
#include "OggPages.h"
#include "StereoOutput.h"

#include <string.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <optional>

namespace {

constexpr uint32_t kMaxRate = 384000;      // the highest rate a WAV file or the output may have
constexpr size_t kRiffHeaderSize = 12;      // "RIFF", the size, "WAVE"
constexpr size_t kChunkHeaderSize = 8;      // the chunk's name and its length
constexpr size_t kFormatSize = 16;          // the fixed fields of a "fmt " chunk
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr size_t kExtensibleSubFormat = 24; // the sub-format's first two bytes in "fmt "
constexpr size_t kWavBlock = 1024;          // the frames converted to floats at a time
constexpr size_t kReadFrames = 4096;        // the most frames one call of the Vorbis decoder hands out


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

// vorbisfile's reads, from the file in memory. It is opened as a stream that cannot seek:
// the decoder then takes the pages in the order they lie, a link after another, instead of
// first bisecting the file for links and lengths, which a damaged or cut file may not have.
struct MemoryReader {
    const uint8_t* bytes;
    size_t size;
    size_t at = 0;

    static size_t Read(void* to, size_t itemSize, size_t items, void* self) {
        MemoryReader& r = *static_cast<MemoryReader*>(self);
        if (itemSize == 0) return 0;
        const size_t count = std::min(items, (r.size - r.at) / itemSize);
        memcpy(to, r.bytes + r.at, count * itemSize);
        r.at += count * itemSize;
        return count;
    }
};

const char* OpenError(int error) {
    switch (error) {
    case OV_ENOTVORBIS: return "the file holds no Vorbis stream";
    case OV_EVERSION: return "the Vorbis stream is of an unknown version";
    case OV_EBADHEADER: return "the Vorbis stream's headers are damaged";
    default: return "the decoder cannot read the stream";
    }
}

// One decoder over the whole file, closed however the decode ends.
class VorbisFile {
public:
    ~VorbisFile() {
        if (open_) ov_clear(&file_);
    }
    int Open(MemoryReader& reader) {
        const ov_callbacks callbacks{&MemoryReader::Read, nullptr, nullptr, nullptr};
        const int error = ov_open_callbacks(&reader, &file_, nullptr, 0, callbacks);
        open_ = error == 0;
        return error;
    }
    OggVorbis_File* get() { return &file_; }

private:
    OggVorbis_File file_;
    bool open_ = false;
};

}  // namespace

bool SampleDecoder::Decode(const uint8_t* bytes, size_t size, uint32_t rate, std::vector<int16_t>& out,
                           std::string* why, std::vector<std::string>* notes) {
    // A buffer the caller hands in again is written over where it is large enough.
    out.clear();
    if (notes) notes->clear();
    std::string reason;
    bool ok = false;
    if (!bytes || size < 4) reason = "the file is too short to be a sound";
    else if (rate == 0 || rate > kMaxRate) reason = "the output rate is out of range";
    else if (memcmp(bytes, "OggS", 4) == 0) ok = DecodeOgg(bytes, size, rate, out, reason, notes);
    else ok = DecodeWav(bytes, size, rate, out, reason);
    if (ok) return true;
    std::vector<int16_t>().swap(out);
    if (why) *why = reason;
    return false;
}

bool SampleDecoder::DecodeOgg(const uint8_t* bytes, size_t size, uint32_t rate, std::vector<int16_t>& out,
                              std::string& why, std::vector<std::string>* notes) {
    OggSurvey survey;
    OggPages::Survey(bytes, size, rate, survey);
    if (notes) {
        for (const OggHole& hole : survey.holes) {
            notes->push_back((hole.page ? "the page at byte " + std::to_string(hole.at) + " fails its checksum"
                                        : std::to_string(hole.length) + " bytes at byte " + std::to_string(hole.at) +
                                              " hold no page") +
                             ": skipped");
        }
        if (survey.cutLength > 0)
            notes->push_back("the file ends inside a page at byte " + std::to_string(survey.cutAt) +
                             ": what comes before it plays");
    }
    // Sized once by what the pages claim; a stream that decodes to more grows it.
    out.reserve(static_cast<size_t>(std::min<uint64_t>(survey.frames, kMaxFrames)) * 2);
    std::optional<StereoOutput> output;
    std::optional<ChannelMix> mix;
    std::string firstError;
    bool played = false;
    // A decoder that fails (a link whose headers are damaged, one of another codec) is not
    // asked again: it would go on from its half-built state. A new one starts at the link
    // after the failed one, by the links the pages show, so that the links after a damaged
    // one still play. The decoder fails where a link begins: in the first it was given, or
    // in the one after the last it played.
    const std::vector<size_t>& links = survey.links;
    auto nextLink = [&](size_t after) {
        const auto next = std::upper_bound(links.begin(), links.end(), after);
        return next == links.end() ? size : *next;
    };
    for (size_t start = 0; start < size;) {
        MemoryReader reader{bytes + start, size - start};
        VorbisFile file;
        std::string error;
        size_t playing = size;  // where the link it plays begins; size: none yet
        if (const int opened = file.Open(reader)) {
            error = OpenError(opened);
        } else {
            for (int link = -1;;) {
                float** pcm = nullptr;
                int section = 0;
                const long frames = ov_read_float(file.get(), &pcm, static_cast<int>(kReadFrames), &section);
                if (frames == 0) break;
                if (frames == OV_HOLE) continue;  // a page skipped: the rest plays past it
                if (frames < 0) {
                    error = OpenError(static_cast<int>(frames));
                    break;
                }
                if (section != link || !output) {
                    const vorbis_info* info = ov_info(file.get(), -1);
                    if (!info || info->channels < 1 || info->rate < 1) return Refuse(why, "the decoder reads no format");
                    if (output) output->Finish();
                    link = section;
                    mix.emplace(static_cast<uint32_t>(info->channels));
                    output.emplace(out, static_cast<uint32_t>(std::min<long>(info->rate, 0x7FFFFFFF)), rate,
                                   kMaxFrames);
                    // The last byte the decoder has taken (of those read, less those it still
                    // holds) lies inside the link it now plays: the page its frames came from.
                    const ogg_sync_state& sync = file.get()->oy;
                    const size_t taken = start + reader.at - static_cast<size_t>(sync.fill - sync.returned);
                    const auto at = std::upper_bound(links.begin(), links.end(), taken - 1);
                    playing = at == links.begin() ? start : std::max(start, *(at - 1));
                }
                const float *left = nullptr, *right = nullptr;
                mix->Mix(pcm, static_cast<size_t>(frames), left, right);
                if (!output->Add(left, right, static_cast<size_t>(frames)))
                    return Refuse(why, "the stream is longer than a sample may be");
                played = true;
            }
        }
        if (error.empty()) break;
        if (firstError.empty()) firstError = error;
        const size_t failed = playing == size ? start : nextLink(playing);
        const size_t next = failed == size ? size : nextLink(failed);
        if (notes && (played || next < size)) {
            notes->push_back("the link at byte " + std::to_string(failed) + " does not decode (" + error +
                             (next < size ? "): what follows plays from byte " + std::to_string(next)
                                          : "): the file ends there"));
        }
        start = next;
        if (output) output->Finish(), output.reset();
    }
    if (output) output->Finish();
    if (!played) return Refuse(why, firstError.empty() ? "the stream holds no frame" : firstError);
    // A claim beyond what decoded (a file cut short, a page that lies) gives its memory back.
    if (out.capacity() - out.size() > out.size() / 4) out.shrink_to_fit();
    return true;
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
