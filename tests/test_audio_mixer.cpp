// The audio library's decoder and mixer, reached directly: what a decoded tone becomes,
// and what the mixer makes of the global volume, the listener and the playback limit.
#include "Mixer.h"
#include "SampleDecoder.h"
#include "StereoOutput.h"
#include "tests/AudioFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
    EXPECT_FALSE(why.empty()) << name;
    EXPECT_NE(why.find(because), std::string::npos) << name << ": " << why;
}

TEST(AudioDecoder, HostileOggStreamsAreRefusedOrPlayAsTheReferenceDecoderPlaysThem) {
    // Inputs the fuzzer found, each once a crash or undefined behaviour of a decoder. Tried
    // as they are and with their checksums made right, as the fuzz target tries them, so
    // that what lies behind the framing reaches the decoder; the sanitizer builds run this.
    // Each is refused as oggdec refuses it, but one whose empty codebook oggdec decodes too.
    // Every file of the folder has its row.
    const std::filesystem::path folder =
        std::filesystem::path(CORVANE_TEST_DATA).parent_path() / "fuzz" / "regressions" / "fuzz_audio_sample";
    const struct {
        const char* name;
        size_t frames;  // what oggdec plays of it, as it is and repaired; 0: refused
    } rows[] = {
        {"vorbis-codebook-zero-dimensions.ogg", 0},          {"vorbis-codebook-huge-lookup.ogg", 0},
        {"vorbis-codebook-lookup-product.ogg", 0},           {"vorbis-codebook-no-dimensions-no-entries.ogg", 2205},
        {"vorbis-codeword-31-bits-linear-search.ogg", 0},
        // Its set-up fails half way: a decoder asked again went on with the books it had
        // not finished, and divided by a dimension of zero.
        {"vorbis-books-of-a-failed-setup.ogg", 0},
    };
    EXPECT_EQ(static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                 std::filesystem::directory_iterator())),
              std::size(rows));
    for (const auto& row : rows) {
        std::vector<uint8_t> ogg = FileBytes(folder / row.name);
        ASSERT_GT(ogg.size(), 4u) << row.name;
        for (int repaired = 0; repaired < 2; ++repaired) {
            if (repaired) audiofixtures::RepairOggChecksums(ogg);
            if (row.frames == 0) {
                ExpectRefused(ogg, "", row.name);
            } else {
                EXPECT_EQ(Decode(ogg).size(), 2 * row.frames) << row.name;
            }
        }
    }
}

#ifdef CORVANE_AUDIO_TONE_OGG
std::vector<uint8_t> Fixture(const std::string& name) {
    return FileBytes(std::filesystem::path(CORVANE_AUDIO_FIXTURE_DIR) / name);
}

// What the reference decoder, oggdec, made of a fixture at build time, taken through this
// library's own mix and resampling: what the library must play, within the one step of
// rounding that oggdec's 16 bits add. ref/<name>.raw holds oggdec's samples in the
// decoder's order of channels, ref/<name>.wav's header their rate and count.
std::vector<int16_t> ReferenceFrames(const std::string& name) {
    const std::vector<uint8_t> wav = Fixture("ref/" + name + ".wav"), raw = Fixture("ref/" + name + ".raw");
    uint32_t channels = 0, rate = 0;
    if (wav.size() >= 44 && memcmp(wav.data() + 12, "fmt ", 4) == 0) {
        channels = wav[22] | wav[23] << 8;
        rate = wav[24] | wav[25] << 8 | wav[26] << 16 | uint32_t(wav[27]) << 24;
    }
    EXPECT_TRUE(channels > 0 && channels <= 8 && rate > 0) << name;
    if (channels == 0 || channels > 8 || rate == 0) return {};
    // The mix to stereo by the Vorbis order of channels: a centre at -3 dB to both sides,
    // a side or rear channel at -3 dB to its own, the LFE nowhere, each side then scaled
    // so that its weights sum to one.
    constexpr float k = 0.70710678f, h = 0.5f;
    static const std::vector<std::vector<std::array<float, 2>>> kWeights = {
        {}, {{1, 1}}, {{1, 0}, {0, 1}}, {{1, 0}, {k, k}, {0, 1}}, {{1, 0}, {0, 1}, {k, 0}, {0, k}},
        {{1, 0}, {k, k}, {0, 1}, {k, 0}, {0, k}}, {{1, 0}, {k, k}, {0, 1}, {k, 0}, {0, k}, {0, 0}},
        {{1, 0}, {k, k}, {0, 1}, {k, 0}, {0, k}, {h, h}, {0, 0}},
        {{1, 0}, {k, k}, {0, 1}, {k, 0}, {0, k}, {k, 0}, {0, k}, {0, 0}}};
    const auto& weights = kWeights[channels];
    float sums[2] = {0, 0};
    for (const auto& w : weights) sums[0] += w[0], sums[1] += w[1];
    const size_t frames = raw.size() / (2 * channels);
    std::vector<float> left(frames), right(frames);
    for (size_t i = 0; i < frames; ++i) {
        for (size_t c = 0; c < channels; ++c) {
            const uint8_t* p = raw.data() + 2 * (i * channels + c);
            const float v = static_cast<int16_t>(p[0] | p[1] << 8) / 32768.0f;
            left[i] += v * weights[c][0] / sums[0], right[i] += v * weights[c][1] / sums[1];
        }
    }
    std::vector<int16_t> out;
    if (frames == 0) return out;
    StereoOutput output(out, rate, kRate, SampleDecoder::kMaxFrames);
    EXPECT_TRUE(output.Add(left.data(), right.data(), frames) && output.Finish()) << name;
    return out;
}

// A chain's links, each as oggdec made it alone (oggdec gives up on a chain whose links
// differ in rate or channels), one after another.
std::vector<int16_t> ReferenceLinks(const std::string& name, int links) {
    std::vector<int16_t> out;
    for (int link = 1; link <= links; ++link) {
        const std::vector<int16_t> frames = ReferenceFrames(name + "." + std::to_string(link));
        EXPECT_FALSE(frames.empty()) << name << " link " << link;
        out.insert(out.end(), frames.begin(), frames.end());
    }
    return out;
}

// The largest difference between two sample runs of one length.
int MaxDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    int most = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) most = std::max(most, std::abs(a[i] - b[i]));
    return most;
}

TEST(AudioDecoder, OggStreamsPlayAsTheReferenceDecoderPlaysThem) {
    // Mono, stereo and six channels (a tone in two, and something in every one), 8 to 48 kHz,
    // floor 0 (older encoders' floor) and floor 1, the Vorbis stream of a file multiplexed
    // with another logical stream, and a stream whose first page says to drop frames at its
    // start (the reference drops them from the end of that page's packets): every frame
    // where oggdec has it.
    for (const std::string name : {"tone", "mono-8000", "mono-22050", "stereo-48000", "surround", "surround-all",
                                   "floor0-ball", "muxed", "trimmed-start", "trimmed-start-short"}) {
        const std::vector<uint8_t> ogg = Fixture(name + ".ogg");
        ASSERT_GT(ogg.size(), 4u) << name;
        const std::vector<int16_t> reference = ReferenceFrames(name);
        ASSERT_FALSE(reference.empty()) << name;
        std::string why;
        std::vector<int16_t> out;
        ASSERT_TRUE(SampleDecoder::Decode(ogg.data(), ogg.size(), kRate, out, &why)) << name << ": " << why;
        ASSERT_EQ(out.size(), reference.size()) << name;
        EXPECT_LE(MaxDifference(out, reference), 1) << name;
        // Silence would match silence: every fixture holds a signal on both sides.
        EXPECT_GT(Peak(out.data(), out.size(), 0), 1000) << name;
        EXPECT_GT(Peak(out.data(), out.size(), 1), 1000) << name;
    }
}

TEST(AudioDecoder, GranulePositionsTrimTheStartButNeverRefuseAFile) {
    const std::vector<int16_t> tone = Decode(Fixture("tone.ogg"));
    ASSERT_GT(tone.size(), 2u * 2000);
    // Every granule 100 frames lower, on a first audio page whose first packet decodes to
    // nothing: the stream's first 100 frames are dropped.
    const std::vector<int16_t> trimmed = Decode(Fixture("trimmed-start-short.ogg"));
    EXPECT_EQ(trimmed, std::vector<int16_t>(tone.begin() + 2 * 100, tone.end()));
    // A last page whose granule is far beyond what the stream holds (2^32 + 1423) plays the
    // frames there are: none trimmed at the end, none made up.
    std::vector<uint8_t> bogus = Fixture("tone.ogg");
    const std::vector<audiofixtures::OggSpan> pages = audiofixtures::OggPageSpans(bogus);
    ASSERT_FALSE(pages.empty());
    const uint64_t granule = (uint64_t(1) << 32) + 1423;
    for (int b = 0; b < 8; ++b) bogus[pages.back().at + 6 + b] = static_cast<uint8_t>(granule >> (8 * b));
    audiofixtures::RepairOggChecksums(bogus);
    const std::vector<int16_t> untrimmed = Decode(bogus);
    ASSERT_GE(untrimmed.size(), tone.size());
    EXPECT_LE(untrimmed.size(), tone.size() + 2 * 2048);
    EXPECT_TRUE(std::equal(tone.begin(), tone.end(), untrimmed.begin()));
}

TEST(AudioDecoder, AnOggStreamCutShortPlaysWhatItHoldsWhole) {
    // Cut inside a page, twice: the shorter cut's frames are the first of the longer's.
    const std::vector<uint8_t> ogg = Fixture("minute.ogg");
    std::vector<int16_t> shorter, longer;
    ASSERT_TRUE(SampleDecoder::Decode(ogg.data(), ogg.size() / 10, kRate, shorter));
    ASSERT_TRUE(SampleDecoder::Decode(ogg.data(), ogg.size() / 5, kRate, longer));
    ASSERT_LT(shorter.size(), longer.size());
    EXPECT_TRUE(std::equal(shorter.begin(), shorter.end(), longer.begin()));
    // A chained file cut inside its second link: the first link whole, then the whole pages
    // of the second before the cut, as oggdec plays each link, and a line that says where
    // the file ends.
    const std::vector<uint8_t> cut = Fixture("chained-cut.ogg");
    std::vector<int16_t> out;
    std::string why;
    std::vector<std::string> notes;
    ASSERT_TRUE(SampleDecoder::Decode(cut.data(), cut.size(), kRate, out, &why, &notes)) << why;
    const std::vector<int16_t> reference = ReferenceLinks("chained-cut", 2), first = Decode(Fixture("tone.ogg"));
    ASSERT_EQ(out.size(), reference.size());
    EXPECT_LE(MaxDifference(out, reference), 1);
    ASSERT_GT(out.size(), first.size());
    EXPECT_TRUE(std::equal(first.begin(), first.end(), out.begin()));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("the file ends inside a page"), std::string::npos) << notes[0];
}

TEST(AudioDecoder, ChainedStreamsPlayEveryLinkAtItsOwnRate) {
    // The stereo tone at 44.1 kHz, then the mono one at 22.05 kHz: each link read anew, as
    // oggdec plays each alone.
    const std::vector<int16_t> first = Decode(Fixture("tone.ogg")), second = Decode(Fixture("mono-22050.ogg"));
    std::vector<int16_t> both = first;
    both.insert(both.end(), second.begin(), second.end());
    const std::vector<int16_t> chained = Decode(Fixture("chained.ogg")), reference = ReferenceLinks("chained", 2);
    EXPECT_EQ(chained, both);
    ASSERT_EQ(chained.size(), reference.size());
    EXPECT_LE(MaxDifference(chained, reference), 1);
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

TEST(AudioDecoder, ADamagedPageIsAHoleTheRestPlaysPast) {
    // One byte of one audio page flipped, at pages all through the stream: the page is
    // skipped and named by its byte, what lies before it plays as before, the rest plays on,
    // and nothing of the damaged page comes out as noise. Where the hole closes, the decoder
    // overlaps the halves of two blocks that did not lie side by side, as oggdec does (the
    // same samples): of a tone that is at most a click of sqrt(2) times its level, where a
    // damaged packet decoded would be noise at full scale.
    const std::vector<uint8_t> ogg = Fixture("minute.ogg");
    const std::vector<int16_t> whole = Decode(ogg);
    const int level = std::max(Peak(whole.data(), whole.size(), 0), Peak(whole.data(), whole.size(), 1));
    const std::vector<audiofixtures::OggSpan> pages = audiofixtures::OggPageSpans(ogg);
    ASSERT_GE(pages.size(), 20u);
    for (size_t page = 3; page + 1 < pages.size(); page += pages.size() / 8) {
        std::vector<uint8_t> bad = ogg;
        bad[pages[page].at + pages[page].length / 2] ^= 0x5A;
        std::vector<int16_t> out;
        std::string why;
        std::vector<std::string> notes;
        ASSERT_TRUE(SampleDecoder::Decode(bad.data(), bad.size(), kRate, out, &why, &notes)) << page << ": " << why;
        ASSERT_EQ(notes.size(), 1u) << page;
        EXPECT_EQ(notes[0], "the page at byte " + std::to_string(pages[page].at) + " fails its checksum: skipped");
        // The frames of at most the damaged page and the packet it ends are missing.
        EXPECT_LT(out.size(), whole.size()) << page;
        EXPECT_GT(out.size(), whole.size() - whole.size() / 20) << page;
        size_t same = 0;
        while (same < out.size() && out[same] == whole[same]) ++same;
        EXPECT_GT(same, whole.size() * (page - 2) / pages.size()) << page;
        EXPECT_LE(std::max(Peak(out.data(), out.size(), 0), Peak(out.data(), out.size(), 1)), level * 3 / 2) << page;
    }
}

TEST(AudioDecoder, TheLinksAfterOneWhoseHeadersAreDamagedStillPlay) {
    // Three links, the second's set-up header page damaged: the decoder cannot set that link
    // up, and a new one starts at the third.
    const std::vector<uint8_t> first = Fixture("tone.ogg"), third = Fixture("mono-8000.ogg");
    std::vector<uint8_t> second = Fixture("mono-22050.ogg");
    const std::vector<audiofixtures::OggSpan> pages = audiofixtures::OggPageSpans(second);
    ASSERT_GE(pages.size(), 3u);
    second[pages[1].at + pages[1].length - 3] ^= 0x40;
    std::vector<uint8_t> chain = first;
    chain.insert(chain.end(), second.begin(), second.end());
    chain.insert(chain.end(), third.begin(), third.end());
    std::vector<int16_t> out;
    std::string why;
    std::vector<std::string> notes;
    ASSERT_TRUE(SampleDecoder::Decode(chain.data(), chain.size(), kRate, out, &why, &notes)) << why;
    std::vector<int16_t> expected = Decode(first);
    const std::vector<int16_t> last = Decode(third);
    expected.insert(expected.end(), last.begin(), last.end());
    EXPECT_EQ(out, expected);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0], "the page at byte " + std::to_string(first.size() + pages[1].at) + " fails its checksum: skipped");
    EXPECT_NE(notes[1].find("what follows plays from byte " + std::to_string(first.size() + second.size())),
              std::string::npos)
        << notes[1];
}

TEST(AudioDecoder, DamagedOrForeignOggFilesAreRefusedWithAReason) {
    const std::vector<uint8_t> ogg = FileBytes(CORVANE_AUDIO_TONE_OGG);
    const uint8_t mark[] = {3, 'v', 'o', 'r', 'b', 'i', 's'};
    const auto comments = std::search(ogg.begin(), ogg.end(), std::begin(mark), std::end(mark));
    ASSERT_NE(comments, ogg.end());
    const size_t vendorLength = static_cast<size_t>(comments - ogg.begin()) + sizeof mark;
    // A comment length beyond its packet (the decoder must not follow it out of its buffer).
    for (uint32_t length : {0xFFFFFFFFu, 0x80000000u, 0x00100000u}) {
        std::vector<uint8_t> bad = ogg;
        for (int i = 0; i < 4; ++i) bad[vendorLength + i] = static_cast<uint8_t>(length >> (8 * i));
        audiofixtures::RepairOggChecksums(bad);
        ExpectRefused(bad, "headers are damaged", std::to_string(length));
    }
    // Not Vorbis: the identification header renamed.
    std::vector<uint8_t> other = ogg;
    const uint8_t identification[] = {1, 'v', 'o', 'r', 'b', 'i', 's'};
    const auto first = std::search(other.begin(), other.end(), std::begin(identification), std::end(identification));
    ASSERT_NE(first, other.end());
    first[1] = 'X';
    audiofixtures::RepairOggChecksums(other);
    ExpectRefused(other, "holds no Vorbis stream", "renamed");
    // Nothing but the first page.
    const std::vector<audiofixtures::OggSpan> pages = audiofixtures::OggPageSpans(ogg);
    ASSERT_GE(pages.size(), 2u);
    ExpectRefused(std::vector<uint8_t>(ogg.begin(), ogg.begin() + static_cast<long>(pages[1].at)), "", "headers only");
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
