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

// What a failure of the decoder, opening or reading, means to whoever loads the file.
const char* DecoderError(int error) {
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

// The decoded links on their way into the output: each mixed to stereo and converted from
// its own rate, one after another.
class LinkSink {
public:
    LinkSink(std::vector<int16_t>& out, uint32_t rate, size_t maxFrames) : out_(out), rate_(rate), maxFrames_(maxFrames) {}

    // Ends the link being written, if any, and begins one of `info`'s format.
    bool Begin(const vorbis_info* info) {
        if (!info || info->channels < 1 || info->rate < 1) return false;
        End();
        mix_.emplace(static_cast<uint32_t>(info->channels));
        output_.emplace(out_, static_cast<uint32_t>(std::min<long>(info->rate, 0x7FFFFFFF)), rate_, maxFrames_);
        return true;
    }
    // False once the output passes the most frames a sample may hold.
    bool Add(float* const* pcm, size_t frames) {
        const float *left = nullptr, *right = nullptr;
        mix_->Mix(pcm, frames, left, right);
        played_ = true;
        return output_->Add(left, right, frames);
    }
    void End() {
        if (output_) output_->Finish();
        output_.reset();
    }
    bool Open() const { return output_.has_value(); }
    bool Played() const { return played_; }

private:
    std::vector<int16_t>& out_;
    const uint32_t rate_;
    const size_t maxFrames_;
    std::optional<ChannelMix> mix_;
    std::optional<StereoOutput> output_;
    bool played_ = false;
};

// How one decoder's run over the file ended.
struct DecoderRun {
    std::string error;   // empty: it came to the end of the file
    size_t playing;      // where the last link it played begins; the file's size: none
    bool full = false;   // the output holds the most frames a sample may
};

// One decoder from byte `start` of the file to its end, or to where it fails. A page it
// skips (a hole) is played past; any other failure ends the run, as a decoder asked again
// after one would go on from a half-built state.
DecoderRun DecodeFrom(const uint8_t* bytes, size_t size, size_t start, const std::vector<size_t>& links,
                      LinkSink& sink) {
    DecoderRun run{"", size};
    MemoryReader reader{bytes + start, size - start};
    VorbisFile file;
    if (const int opened = file.Open(reader)) {
        run.error = DecoderError(opened);
        return run;
    }
    for (int link = -1;;) {
        float** pcm = nullptr;
        int section = 0;
        const long frames = ov_read_float(file.get(), &pcm, static_cast<int>(kReadFrames), &section);
        if (frames == 0) return run;
        if (frames == OV_HOLE) continue;
        if (frames < 0) {
            run.error = DecoderError(static_cast<int>(frames));
            return run;
        }
        if (section != link || !sink.Open()) {
            if (!sink.Begin(ov_info(file.get(), -1))) {
                run.error = "the decoder reads no format";
                return run;
            }
            link = section;
            // The last byte the decoder has taken (of those read, less those it still holds)
            // lies inside the link it now plays: the page its frames came from.
            const ogg_sync_state& sync = file.get()->oy;
            const size_t taken = start + reader.at - static_cast<size_t>(sync.fill - sync.returned);
            const auto at = std::upper_bound(links.begin(), links.end(), taken - 1);
            run.playing = at == links.begin() ? start : std::max(start, *(at - 1));
        }
        if (!sink.Add(pcm, static_cast<size_t>(frames))) {
            run.full = true;
            return run;
        }
    }
}

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
    LinkSink sink(out, rate, kMaxFrames);
    std::string firstError;
    // A decoder that fails (a link whose headers are damaged, one of another codec) is not
    // asked again. A new one starts at the link after the failed one, by the links the
    // pages show, so that the links after a damaged one still play. The decoder fails where
    // a link begins: in the first it was given, or in the one after the last it played.
    const std::vector<size_t>& links = survey.links;
    auto nextLink = [&](size_t after) {
        const auto next = std::upper_bound(links.begin(), links.end(), after);
        return next == links.end() ? size : *next;
    };
    for (size_t start = 0; start < size;) {
        const DecoderRun run = DecodeFrom(bytes, size, start, links, sink);
        if (run.full) return Refuse(why, "the stream is longer than a sample may be");
        if (run.error.empty()) break;
        if (firstError.empty()) firstError = run.error;
        const size_t failed = run.playing == size ? start : nextLink(run.playing);
        start = failed == size ? size : nextLink(failed);
        if (notes && (sink.Played() || start < size)) {
            notes->push_back("the link at byte " + std::to_string(failed) + " does not decode (" + run.error +
                             (start < size ? "): what follows plays from byte " + std::to_string(start)
                                           : "): the file ends there"));
        }
        sink.End();
    }
    sink.End();
    if (!sink.Played()) return Refuse(why, firstError.empty() ? "the stream holds no frame" : firstError);
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
