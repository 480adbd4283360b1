// The audio library's decoder and mixer, reached directly: what a decoded tone becomes,
// and what the mixer makes of the global volume, the listener and the playback limit.
#include "Mixer.h"
#include "SampleDecoder.h"
#include "tests/AudioFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

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

TEST(AudioDecoder, OggStreamsWithImpossibleCodebooksAreRefused) {
    // Codebooks of no dimensions, and of so many that the count of lookup values (a power of
    // the dimension count, or entries times dimensions) lies beyond int: inputs the fuzzer
    // found and relatives of them. Decoding them computed undefined values, which the
    // sanitizer builds report; the product one was even accepted, with a table too short.
    const std::filesystem::path folder =
        std::filesystem::path(CORVANE_TEST_DATA).parent_path() / "fuzz" / "regressions" / "fuzz_audio_sample";
    for (const char* name : {"vorbis-codebook-zero-dimensions.ogg", "vorbis-codebook-huge-lookup.ogg",
                             "vorbis-codebook-lookup-product.ogg", "vorbis-codebook-no-dimensions-no-entries.ogg"}) {
        const std::vector<uint8_t> ogg = FileBytes(folder / name);
        ASSERT_GT(ogg.size(), 4u) << name;
        std::vector<int16_t> out{1, 2};
        EXPECT_FALSE(SampleDecoder::Decode(ogg.data(), ogg.size(), kRate, out)) << name;
        EXPECT_TRUE(out.empty()) << name;
    }
}

#ifdef CORVANE_AUDIO_TONE_OGG
TEST(AudioDecoder, AnOggVorbisToneDecodes) {
    const std::vector<uint8_t> ogg = FileBytes(CORVANE_AUDIO_TONE_OGG);
    ASSERT_GT(ogg.size(), 4u);
    const std::vector<int16_t> out = Decode(ogg);
    // Half a second of a 441 Hz sine at half level; the encoder keeps the level within a few percent.
    EXPECT_NEAR(static_cast<double>(out.size()), 2.0 * 22050, 2.0 * 1024);
    EXPECT_NEAR(Peak(out.data(), out.size(), 0), kHalf, kHalf / 10);
    EXPECT_NEAR(Peak(out.data(), out.size(), 1), kHalf, kHalf / 10);
    // Cut short, it still decodes, or is refused; never more than the whole.
    std::vector<int16_t> part;
    if (SampleDecoder::Decode(ogg.data(), ogg.size() / 2, kRate, part)) {
        EXPECT_LT(part.size(), out.size());
    }
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
        std::vector<int16_t> out;
        EXPECT_FALSE(SampleDecoder::Decode(bad.data(), bad.size(), kRate, out)) << length;
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
