// The audio library's decoder and mixer, reached directly: what a decoded tone becomes,
// and what the mixer makes of the global volume, the listener and the playback limit.
#include "Mixer.h"
#include "SampleDecoder.h"
#include "StbVorbis.h"
#include "VorbisHeaders.h"
#include "tests/AudioFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

using audiofixtures::Peak;
using audiofixtures::ToneWav;

namespace {

constexpr uint32_t kRate = 44100;

std::vector<int16_t> Decode(const std::vector<uint8_t>& bytes, uint32_t rate = kRate) {
    std::vector<int16_t> out;
    EXPECT_TRUE(SampleDecoder::Decode(bytes.data(), bytes.size(), rate, out));
    return out;
}

// A mixer with one sample of a square wave at `level` (every sample +-level), one
// playback started.
struct OneTone {
    explicit OneTone(bool positional, DWORD flags = BASS_SAMPLE_3D, DWORD max = 1) {
        mixer.Reset(positional);
        sample = mixer.AddSample(Decode(ToneWav(kRate, 1, 16, 4410, 441, 0.5, true)), max, flags);
        EXPECT_NE(sample, 0u);
        channel = mixer.NewChannel(sample, true);
        EXPECT_TRUE(mixer.Play(channel, true));
    }
    std::vector<int16_t> Mix(size_t frames = 512) {
        std::vector<int16_t> out(frames * 2);
        mixer.Mix(out.data(), frames);
        return out;
    }
    Mixer mixer;
    HSAMPLE sample = 0;
    HCHANNEL channel = 0;
};

constexpr int kHalf = 16383;  // 0.5 in 16 bits

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(AudioDecoder, WavFormatsDecodeToTheSameStereoLevels) {
    struct Row {
        uint16_t channels, bits;
        bool floats;
    };
    for (const Row& row : {Row{1, 8, false}, Row{1, 16, false}, Row{2, 16, false}, Row{2, 24, false},
                           Row{2, 32, false}, Row{2, 32, true}}) {
        const std::vector<int16_t> out = Decode(ToneWav(kRate, row.channels, row.bits, 1000, 441, 0.5, true, row.floats));
        ASSERT_EQ(out.size(), 2000u) << row.bits;
        // A mono file plays on both sides; 8 bits lose some precision.
        EXPECT_NEAR(Peak(out.data(), out.size(), 0), kHalf, row.bits == 8 ? 260 : 2) << row.bits;
        EXPECT_NEAR(Peak(out.data(), out.size(), 1), kHalf, row.bits == 8 ? 260 : 2) << row.bits;
        EXPECT_EQ(out[0], out[1]);
    }
}

TEST(AudioDecoder, AnotherRateIsResampledToTheOutputRate) {
    const std::vector<int16_t> out = Decode(ToneWav(22050, 1, 16, 22050, 441, 0.5));
    EXPECT_EQ(out.size(), 2u * 44100);
    // Halfway between two source samples lies their mean.
    const std::vector<int16_t> source = Decode(ToneWav(22050, 1, 16, 22050, 441, 0.5), 22050);
    EXPECT_EQ(out[2 * 2], source[2 * 1]);
    EXPECT_NEAR(out[3 * 2], (source[2 * 1] + source[2 * 2]) / 2, 1);
}

TEST(AudioDecoder, ACutDataChunkPlaysWhatIsThere) {
    std::vector<uint8_t> wav = ToneWav(kRate, 2, 16, 1000, 441, 0.5);
    wav.resize(wav.size() - 401);  // 100 frames and a byte of one more gone: 899 whole ones left
    EXPECT_EQ(Decode(wav).size(), 2u * 899);
}

TEST(AudioDecoder, DamagedOrForeignFilesAreRefused) {
    const std::vector<uint8_t> good = ToneWav(kRate, 2, 16, 100, 441, 0.5);
    std::vector<int16_t> out{1, 2};
    auto refused = [&](std::vector<uint8_t> bytes) {
        return !SampleDecoder::Decode(bytes.data(), bytes.size(), kRate, out) && out.empty();
    };
    EXPECT_TRUE(refused({}));
    EXPECT_TRUE(refused({'R', 'I', 'F', 'F'}));
    EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.begin() + 44)));  // no frame
    EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.begin() + 30)));  // fmt cut short
    std::vector<uint8_t> bad = good;
    bad[22] = 0;  // no channel
    EXPECT_TRUE(refused(bad));
    bad = good;
    bad[34] = 12;  // 12 bits a sample
    EXPECT_TRUE(refused(bad));
    bad = good;
    bad[32] = 3;  // a block size that is not the frame's
    EXPECT_TRUE(refused(bad));
    bad = good;
    bad[16] = 0xFF, bad[17] = 0xFF, bad[18] = 0xFF, bad[19] = 0xFF;  // fmt runs past the end
    EXPECT_TRUE(refused(bad));
    bad = good;
    bad[0] = 'O', bad[1] = 'g', bad[2] = 'g', bad[3] = 'S';  // not an OGG stream after all
    EXPECT_TRUE(refused(bad));
    EXPECT_FALSE(SampleDecoder::Decode(good.data(), good.size(), 0, out));
}

// Refused, out emptied, and the reason holds `because`.
void ExpectRefused(const std::vector<uint8_t>& bytes, const std::string& because, const std::string& name) {
    std::vector<int16_t> out{1, 2};
    std::string why;
    EXPECT_FALSE(SampleDecoder::Decode(bytes.data(), bytes.size(), kRate, out, &why)) << name;
    EXPECT_TRUE(out.empty()) << name;
    EXPECT_NE(why.find(because), std::string::npos) << name << ": " << why;
}

TEST(AudioDecoder, OggStreamsWithImpossibleCodebooksAreRefused) {
    // Inputs the fuzzer found: the decoder computed undefined values from each, which the
    // sanitizer builds report. Their checksums are made right, as the fuzz target makes
    // them, so that each is refused by what is wrong behind its framing.
    const std::filesystem::path folder =
        std::filesystem::path(CORVANE_TEST_DATA).parent_path() / "fuzz" / "regressions" / "fuzz_audio_sample";
    const struct {
        const char* name;
        const char* because;
    } rows[] = {
        // The fuzzer's changes to these two broke their framing too.
        {"vorbis-codebook-zero-dimensions.ogg", "has no capture pattern"},
        {"vorbis-codebook-huge-lookup.ogg", "has no capture pattern"},
        {"vorbis-codebook-lookup-product.ogg", "holds more values than any stream's book"},
        {"vorbis-codebook-no-dimensions-no-entries.ogg", "has no dimensions"},
        {"vorbis-codeword-31-bits-linear-search.ogg", "has a codeword of 31 or 32 bits"},
    };
    for (const auto& row : rows) {
        std::vector<uint8_t> ogg = FileBytes(folder / row.name);
        ASSERT_GT(ogg.size(), 4u) << row.name;
        ExpectRefused(ogg, "", row.name);
        audiofixtures::RepairOggChecksums(ogg);
        ExpectRefused(ogg, row.because, row.name);
    }
}

// Vorbis headers written bit by bit, least significant first: a valid identification
// and comment header, and a set-up header of one codebook.
struct SetupWriter {
    void Put(uint64_t value, int bits) {
        for (int i = 0; i < bits; ++i, ++bit) {
            if (bit % 8 == 0) packet.push_back(0);
            packet.back() |= static_cast<uint8_t>(((value >> i) & 1) << (bit % 8));
        }
    }
    // A codebook of `entries` entries, every codeword `length` bits long, listed one by one
    // or (`ordered`) as one run; with a lattice lookup of 4-bit values when `lattice`.
    void Book(uint32_t dimensions, uint32_t entries, uint32_t length, bool ordered, bool lattice, size_t values) {
        Put(0x564342, 24), Put(dimensions, 16), Put(entries, 24), Put(ordered, 1);
        if (ordered) {
            Put(length - 1, 5);
            int bits = 0;
            for (uint32_t e = entries; e; e >>= 1) ++bits;
            Put(entries, bits);
        } else {
            Put(0, 1);
            for (uint32_t i = 0; i < entries; ++i) Put(length - 1, 5);
        }
        Put(lattice ? 1 : 0, 4);
        if (lattice) Put(0, 64), Put(3, 4), Put(0, 1), Put(0, 4 * values);
    }
    std::vector<uint8_t> packet{5, 'v', 'o', 'r', 'b', 'i', 's'};
    size_t bit = 7 * 8;
};

TEST(AudioDecoder, CodebooksTheDecoderCannotComputeAreRefused) {
    const std::vector<uint8_t> identification{1, 'v', 'o', 'r', 'b', 'i', 's', 0, 0, 0, 0, 2, 0x44, 0xAC, 0, 0,
                                              0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xB8, 1};
    const std::vector<uint8_t> comments{3, 'v', 'o', 'r', 'b', 'i', 's', 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const struct {
        const char* what;
        uint32_t dimensions, entries, length;
        bool ordered, lattice;
        size_t values;  // the lattice's values written
        const char* because;  // empty: accepted
    } rows[] = {
        {"a lattice of 2 x 2", 2, 4, 2, false, true, 2, ""},
        {"an ordered book", 1, 3, 2, true, false, 0, ""},
        {"no dimensions", 0, 4, 2, false, false, 0, "has no dimensions"},
        {"entries x dimensions above 2^28", 0x4000, 0x4001, 2, false, false, 0, "holds more values"},
        // One entry in 31 dimensions: the power the decoder converts, 2^31, is beyond int.
        {"a lattice beyond int", 31, 1, 2, false, true, 1, "has a lattice beyond int"},
        {"a 31-bit codeword", 1, 2, 31, false, false, 0, "has a codeword of 31 or 32 bits"},
        {"a 32-bit codeword", 1, 2, 32, false, false, 0, "has a codeword of 31 or 32 bits"},
        {"an ordered run of 31 bits", 1, 2, 31, true, false, 0, "has a codeword of 31 or 32 bits"},
        {"a lattice cut short", 2, 4, 2, false, true, 0, "is cut off"},
    };
    for (const auto& row : rows) {
        SetupWriter setup;
        setup.Put(0, 8);  // one codebook
        setup.Book(row.dimensions, row.entries, row.length, row.ordered, row.lattice, row.values);
        VorbisFormat format;
        std::string why;
        const bool read = VorbisHeaders::Read({identification, comments, setup.packet}, format, why);
        EXPECT_EQ(read, *row.because == 0) << row.what << ": " << why;
        EXPECT_NE(why.find(row.because), std::string::npos) << row.what << ": " << why;
        if (read) {
            EXPECT_EQ(format.channels * 100000 + format.rate, 244100u) << row.what;
        }
    }
}

#ifdef CORVANE_AUDIO_TONE_OGG
std::vector<uint8_t> Fixture(const char* name) {
    return FileBytes(std::filesystem::path(CORVANE_AUDIO_FIXTURE_DIR) / name);
}

// The decoder alone: its float output, at the stream's own rate, every sample clamped,
// scaled and rounded by lrint; mono on both sides.
struct Reference {
    explicit Reference(const std::vector<uint8_t>& ogg) {
        int error = 0;
        stb_vorbis* vorbis = stb_vorbis_open_memory(ogg.data(), static_cast<int>(ogg.size()), &error, nullptr);
        EXPECT_NE(vorbis, nullptr);
        if (!vorbis) return;
        rate = stb_vorbis_get_info(vorbis).sample_rate;
        float block[2 * 1024];
        for (int frames; (frames = stb_vorbis_get_samples_float_interleaved(vorbis, 2, block, 2 * 1024)) > 0;) {
            const bool mono = stb_vorbis_get_info(vorbis).channels == 1;
            for (int i = 0; i < frames; ++i) {
                left.push_back(block[2 * i]);
                right.push_back(block[2 * i + (mono ? 0 : 1)]);
            }
        }
        stb_vorbis_close(vorbis);
    }
    static int16_t ToInt16(float v) { return static_cast<int16_t>(std::lrint(std::clamp(v, -1.0f, 1.0f) * 32767.0f)); }
    // Every frame at the stream's rate.
    std::vector<int16_t> Frames() const {
        std::vector<int16_t> out;
        for (size_t i = 0; i < left.size(); ++i) out.insert(out.end(), {ToInt16(left[i]), ToInt16(right[i])});
        return out;
    }
    // Linear interpolation of the whole stream to `to`, in one pass over all of it.
    std::vector<int16_t> Resampled(uint32_t to) const {
        const size_t in = left.size(), frames = static_cast<size_t>((uint64_t(in) * to + rate - 1) / rate);
        const double step = static_cast<double>(rate) / to;
        std::vector<int16_t> out;
        for (size_t i = 0; i < frames; ++i) {
            const double position = i * step;
            const size_t a = std::min(static_cast<size_t>(position), in - 1), b = a + 1 < in ? a + 1 : a;
            const float t = static_cast<float>(position - static_cast<double>(a));
            out.push_back(ToInt16(left[a] + (left[b] - left[a]) * t));
            out.push_back(ToInt16(right[a] + (right[b] - right[a]) * t));
        }
        return out;
    }
    uint32_t rate = 0;
    std::vector<float> left, right;
};

TEST(AudioDecoder, OggStreamsDecodeExactlyAsTheDecoderAloneDoes) {
    // Mono and stereo, 8 to 48 kHz: at the stream's own rate every sample is the decoder's
    // own, converted; at 44.1 kHz, what one pass of interpolation over the whole makes.
    for (const char* name : {"tone.ogg", "mono-8000.ogg", "mono-22050.ogg", "stereo-48000.ogg"}) {
        const std::vector<uint8_t> ogg = Fixture(name);
        const Reference reference(ogg);
        ASSERT_FALSE(reference.left.empty()) << name;
        EXPECT_EQ(Decode(ogg, reference.rate), reference.Frames()) << name;
        EXPECT_EQ(Decode(ogg, kRate), reference.Resampled(kRate)) << name;
    }
}

TEST(AudioDecoder, AnOggVorbisToneDecodes) {
    const std::vector<uint8_t> ogg = FileBytes(CORVANE_AUDIO_TONE_OGG);
    ASSERT_GT(ogg.size(), 4u);
    const std::vector<int16_t> out = Decode(ogg);
    // Half a second of a 441 Hz sine at half level; the encoder keeps the level within a few percent.
    EXPECT_NEAR(static_cast<double>(out.size()), 2.0 * 22050, 2.0 * 1024);
    EXPECT_NEAR(Peak(out.data(), out.size(), 0), kHalf, kHalf / 10);
    EXPECT_NEAR(Peak(out.data(), out.size(), 1), kHalf, kHalf / 10);
}

TEST(AudioDecoder, AnOggStreamCutShortPlaysThePagesBeforeTheCut) {
    // Cut inside a page, twice: the shorter cut's frames are the first of the longer's.
    const std::vector<uint8_t> ogg = Fixture("minute.ogg");
    std::vector<int16_t> shorter, longer;
    ASSERT_TRUE(SampleDecoder::Decode(ogg.data(), ogg.size() / 10, kRate, shorter));
    ASSERT_TRUE(SampleDecoder::Decode(ogg.data(), ogg.size() / 5, kRate, longer));
    ASSERT_LT(shorter.size(), longer.size());
    EXPECT_TRUE(std::equal(shorter.begin(), shorter.end(), longer.begin()));
}

TEST(AudioDecoder, ChainedStreamsPlayEveryLinkAtItsOwnRate) {
    // The stereo tone at 44.1 kHz, then the mono one at 22.05 kHz: each link read anew.
    const std::vector<int16_t> first = Decode(Fixture("tone.ogg")), second = Decode(Fixture("mono-22050.ogg"));
    std::vector<int16_t> both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(Decode(Fixture("chained.ogg")), both);
}

TEST(AudioDecoder, SixChannelsAreMixedToStereoByTheFormatsOrder) {
    // The tone in the centre and the rear left alone: the centre goes to both sides, the
    // rear left to the left, each at -3 dB and scaled by 1 + 2 * 0.707. Taking the first
    // two channels instead would leave the left silent (front left) and the whole centre
    // on the right.
    const std::vector<int16_t> out = Decode(Fixture("surround.ogg"));
    const double k = 0.70710678, scale = 1 + 2 * k;
    EXPECT_NEAR(Peak(out.data(), out.size(), 0), kHalf * 2 * k / scale, kHalf / 20);
    EXPECT_NEAR(Peak(out.data(), out.size(), 1), kHalf * k / scale, kHalf / 20);
}

TEST(AudioDecoder, DamagedOrInconsistentOggFramingIsRefusedWithThePageNamed) {
    const std::vector<uint8_t> ogg = Fixture("minute.ogg");
    const std::vector<audiofixtures::OggSpan> pages = audiofixtures::OggPageSpans(ogg);
    ASSERT_GE(pages.size(), 4u);
    const size_t last = pages.size() - 1;
    const auto& lastPage = pages[last];
    const std::string lastName = "page " + std::to_string(last) + " (byte " + std::to_string(lastPage.at) + ")";
    const struct {
        const char* what;
        size_t at;  // the byte changed
        uint8_t value;
        bool repaired;  // the checksums written anew
        std::string because;
    } rows[] = {
        {"a sample byte", lastPage.at + lastPage.length - 5, static_cast<uint8_t>(~ogg[lastPage.at + lastPage.length - 5]),
         false, lastName + " fails its checksum"},
        {"the capture pattern", pages[2].at, 'X', true, "page 2 (byte " + std::to_string(pages[2].at) + ") has no capture pattern"},
        {"the version", lastPage.at + 4, 1, true, "is of an unknown version"},
        {"an unknown flag", lastPage.at + 5, 0x84, true, "has unknown flags"},
        {"another stream's serial", lastPage.at + 14, 0x55, true, "belongs to another logical stream"},
        {"a second first page", lastPage.at + 5, 0x06, true, "begins a logical stream while another is still open"},
        {"a continued packet that is not", pages[1].at + 5, 0x01, true, "breaks off a packet"},
    };
    for (const auto& row : rows) {
        std::vector<uint8_t> bad = ogg;
        bad[row.at] = row.value;
        if (row.repaired) audiofixtures::RepairOggChecksums(bad);
        ExpectRefused(bad, row.because, row.what);
    }
    // A last page that claims no samples: the decoder would count them from nothing.
    std::vector<uint8_t> bad = ogg;
    for (size_t i = 0; i < 8; ++i) bad[lastPage.at + 6 + i] = 0;
    audiofixtures::RepairOggChecksums(bad);
    ExpectRefused(bad, "counts no samples", "granule 0");
}

TEST(AudioDecoder, AnOggCommentLengthBeyondItsPacketIsRefused) {
    const std::vector<uint8_t> ogg = FileBytes(CORVANE_AUDIO_TONE_OGG);
    const uint8_t mark[] = {3, 'v', 'o', 'r', 'b', 'i', 's'};
    const auto comments = std::search(ogg.begin(), ogg.end(), std::begin(mark), std::end(mark));
    ASSERT_NE(comments, ogg.end());
    const size_t vendorLength = static_cast<size_t>(comments - ogg.begin()) + sizeof mark;
    // The decoder would write before the start of its buffer for a length of -1 (or
    // anything the packet does not hold); the stream is refused before it gets there.
    for (uint32_t length : {0xFFFFFFFFu, 0x80000000u, 0x00100000u}) {
        std::vector<uint8_t> bad = ogg;
        for (int i = 0; i < 4; ++i) bad[vendorLength + i] = static_cast<uint8_t>(length >> (8 * i));
        audiofixtures::RepairOggChecksums(bad);
        ExpectRefused(bad, "the comment header has a length beyond its packet", std::to_string(length));
    }
}
#endif

TEST(AudioMixer, ATonePlaysAtItsLevelAndTheGlobalVolumeScalesIt) {
    OneTone tone(false);
    std::vector<int16_t> out = tone.Mix();
    EXPECT_NEAR(Peak(out.data(), out.size(), 0), kHalf, 2);
    EXPECT_NEAR(Peak(out.data(), out.size(), 1), kHalf, 2);
    EXPECT_TRUE(tone.mixer.SetVolume(50));
    out = tone.Mix();
    EXPECT_NEAR(Peak(out.data(), out.size(), 0), kHalf / 2, 2);
    EXPECT_TRUE(tone.mixer.SetVolume(0));
    out = tone.Mix();
    EXPECT_EQ(Peak(out.data(), out.size(), 0), 0);
    EXPECT_FALSE(tone.mixer.SetVolume(101));
    EXPECT_EQ(tone.mixer.Volume(), 0u);
}

TEST(AudioMixer, TwoPlaybacksAddUpAndClampInsteadOfWrapping) {
    OneTone tone(false, 0, 4);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(tone.mixer.Play(tone.mixer.NewChannel(tone.sample, true), true));
    const std::vector<int16_t> out = tone.Mix();
    // Four times +-0.5 is +-2: the output holds at full scale.
    EXPECT_EQ(Peak(out.data(), out.size(), 0), 32768);
    for (int16_t v : out) EXPECT_TRUE(v == 32767 || v == -32768) << v;
}

TEST(AudioMixer, ASourceOnTheListenersRightIsLouderOnTheRight) {
    OneTone tone(true);
    // Facing +z with +y up, the listener's right is +x: the origin lies to the right of a
    // listener at x = -10.
    const BASS_3DVECTOR position{-10, 0, 0}, front{0, 0, 1}, top{0, 1, 0};
    tone.mixer.Set3DPosition(&position, &front, &top);
    tone.mixer.Apply3D();
    std::vector<int16_t> out = tone.Mix();
    EXPECT_NEAR(Peak(out.data(), out.size(), 1), kHalf, 2);
    EXPECT_LT(Peak(out.data(), out.size(), 0), 100);
    // Turned round, it is on the left.
    const BASS_3DVECTOR back{0, 0, -1};
    tone.mixer.Set3DPosition(nullptr, &back, nullptr);
    tone.mixer.Apply3D();
    out = tone.Mix();
    EXPECT_NEAR(Peak(out.data(), out.size(), 0), kHalf, 2);
    EXPECT_LT(Peak(out.data(), out.size(), 1), 100);
}

TEST(AudioMixer, ThreeDChangesWaitForApply3D) {
    OneTone tone(true);
    const BASS_3DVECTOR position{-10, 0, 0};
    tone.mixer.Set3DPosition(&position, nullptr, nullptr);
    tone.mixer.Set3DFactors(-1, 0.5f, -1);
    std::vector<int16_t> out = tone.Mix();
    EXPECT_NEAR(Peak(out.data(), out.size(), 0), kHalf, 2);
    tone.mixer.Apply3D();
    out = tone.Mix();
    EXPECT_LT(Peak(out.data(), out.size(), 0), 100);
}

TEST(AudioMixer, RollOffBeginsBeyondTheMinimumDistance) {
    Mixer::Listener listener;
    listener.rolloff = 0.1f;
    listener.position = {0, 0, -kAudioMinDistance};
    EXPECT_FLOAT_EQ(Mixer::GainsFor(listener).left, 1.0f);
    // Where the camera flies, some 10,000 units out, the music is still well audible.
    listener.position = {0, 0, -10000};
    const Mixer::Gains distant = Mixer::GainsFor(listener);
    EXPECT_NEAR(distant.left, 2000.0 / 2800.0, 1e-5);
    EXPECT_NEAR(distant.right, distant.left, 1e-6);
    EXPECT_GT(20 * std::log10(distant.left), -6.0);
    // Roll-off 0 never attenuates; a listener at the source hears it centred.
    listener.rolloff = 0;
    EXPECT_FLOAT_EQ(Mixer::GainsFor(listener).left, 1.0f);
    listener.position = {0, 0, 0};
    EXPECT_FLOAT_EQ(Mixer::GainsFor(listener).right, 1.0f);
}

TEST(AudioMixer, NotANumberInTheListenerIsIgnored) {
    OneTone tone(true);
    const BASS_3DVECTOR bad{std::nanf(""), 0, 0};
    tone.mixer.Set3DPosition(&bad, &bad, &bad);
    tone.mixer.Set3DFactors(std::nanf(""), std::nanf(""), -1);
    tone.mixer.Apply3D();
    const std::vector<int16_t> out = tone.Mix();
    EXPECT_NEAR(Peak(out.data(), out.size(), 0), kHalf, 2);
}

TEST(AudioMixer, WithoutThreeDOnTheDeviceA3DSamplePlaysCentred) {
    OneTone tone(false);
    const BASS_3DVECTOR position{-10, 0, 0};
    tone.mixer.Set3DPosition(&position, nullptr, nullptr);
    tone.mixer.Apply3D();
    const std::vector<int16_t> out = tone.Mix();
    EXPECT_NEAR(Peak(out.data(), out.size(), 0), kHalf, 2);
}

TEST(AudioMixer, PlaybacksStopAtTheMaximum) {
    Mixer mixer;
    mixer.Reset(false);
    const HSAMPLE sample = mixer.AddSample(Decode(ToneWav(kRate, 1, 16, 100, 441, 0.5)), 2, 0);
    const HCHANNEL a = mixer.NewChannel(sample, true);
    const HCHANNEL b = mixer.NewChannel(sample, true);
    EXPECT_NE(a, 0u);
    EXPECT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_EQ(mixer.NewChannel(sample, true), 0u);
    EXPECT_EQ(mixer.Channels(sample), 2u);
    // Without onlynew the one furthest along is taken over.
    EXPECT_TRUE(mixer.Play(a, true));
    std::vector<int16_t> out(2 * 10);
    mixer.Mix(out.data(), 10);
    EXPECT_EQ(mixer.NewChannel(sample, false), a);
    // A playback that reaches the end frees its place.
    EXPECT_TRUE(mixer.Play(b, true));
    out.resize(2 * 200);
    mixer.Mix(out.data(), 200);
    EXPECT_EQ(mixer.Channels(sample), 1u);
    EXPECT_FALSE(mixer.Play(b, true));
    EXPECT_NE(mixer.NewChannel(sample, true), 0u);
}

TEST(AudioMixer, HandlesThatNameNothingAreRefused) {
    Mixer mixer;
    mixer.Reset(false);
    EXPECT_EQ(mixer.AddSample(Decode(ToneWav(kRate, 1, 16, 100, 441, 0.5)), 0, 0), 0u);
    EXPECT_EQ(mixer.AddSample({}, 1, 0), 0u);
    const HSAMPLE sample = mixer.AddSample(Decode(ToneWav(kRate, 1, 16, 100, 441, 0.5)), 1, 0);
    EXPECT_EQ(mixer.NewChannel(sample + 1, true), 0u);
    EXPECT_EQ(mixer.NewChannel(sample + 0x10000, true), 0u);
    EXPECT_EQ(mixer.NewChannel(0, true), 0u);
    EXPECT_FALSE(mixer.Play(sample, true));
    EXPECT_FALSE(mixer.Play(sample | 2, true));
    mixer.Reset(false);
    EXPECT_EQ(mixer.NewChannel(sample, true), 0u);
}
