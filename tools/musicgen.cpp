// musicgen: the product's music, synthesised at build time so that no recording is kept
// in the repository. It writes a 16-bit stereo WAV at 44.1 kHz that the build encodes to
// OGG Vorbis. The piece is the same on every run: no clock, no random seed, only formulas.
//
//   musicgen piece OUT.wav           the ambient piece: a drone, pads over four chords and
//                                    a slow arpeggio in a ping-pong echo, 2 1/2 minutes
//   musicgen tone OUT.wav SEC HZ     a sine at half level on both channels (test fixtures)
//   musicgen surround OUT.wav SEC HZ six channels (5.1), the sine in the centre and the
//                                    rear left alone (test fixtures)
//   musicgen surround-all OUT.wav SEC six channels (5.1), each a sine of its own frequency
//                                    and level, three with a little noise (test fixtures)
//
// Synthesis is additive: every voice is a handful of sines with its own envelope, summed
// in doubles, echoed, faded in and out, and scaled so that the loudest sample is at 80%.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kRate = 44100;
constexpr double kPi = 3.14159265358979323846;
constexpr double kPieceSeconds = 150.0;
constexpr double kChordSeconds = 12.0;   // each chord of the progression
constexpr double kStepSeconds = 0.5;     // one arpeggio note
constexpr double kEchoSeconds = 0.375;   // the ping-pong delay
constexpr double kEchoFeedback = 0.35;
constexpr double kFadeIn = 6.0;
constexpr double kFadeOut = 10.0;
constexpr double kPeak = 0.8;

// MIDI note numbers of the progression D minor, B flat, F, C (i VI III VII).
constexpr int kChords[4][3] = {{62, 65, 69}, {58, 62, 65}, {65, 69, 72}, {60, 64, 67}};

double Frequency(int note) { return 440.0 * pow(2.0, (note - 69) / 12.0); }

// A soft pad tone: a fundamental and two weaker harmonics, twice, detuned against each other.
double Pad(double hz, double t) {
    double v = 0;
    for (double detune : {0.997, 1.003}) {
        const double f = hz * detune;
        v += sin(2 * kPi * f * t) + 0.3 * sin(4 * kPi * f * t) + 0.12 * sin(6 * kPi * f * t);
    }
    return v / 2.84;
}

// How much of chord `index` sounds at `t`: it swells in over 3 s and out over 3 s,
// overlapping its neighbours.
double ChordLevel(int index, double t) {
    const double start = index * kChordSeconds;
    const double end = start + kChordSeconds;
    if (t < start - 3 || t > end + 3) return 0;
    if (t < start + 3) return 0.5 - 0.5 * cos(kPi * (t - start + 3) / 6);
    if (t > end - 3) return 0.5 + 0.5 * cos(kPi * (t - end + 3) / 6);
    return 1;
}

struct Stereo {
    std::vector<double> left, right;
};

Stereo Piece() {
    const size_t frames = static_cast<size_t>(kPieceSeconds * kRate);
    Stereo out{std::vector<double>(frames), std::vector<double>(frames)};
    const int chordCount = static_cast<int>(kPieceSeconds / kChordSeconds) + 1;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        // The drone: D and A an octave and more below, breathing slowly.
        const double breath = 0.75 + 0.25 * sin(2 * kPi * t / 17.0);
        double mono = 0.22 * breath * (sin(2 * kPi * Frequency(38) * t) + 0.5 * sin(2 * kPi * Frequency(45) * t));
        // The pads: each chord one octave down, spread across the field.
        double left = 0, right = 0;
        const int current = static_cast<int>(t / kChordSeconds);
        for (int c = std::max(0, current - 1); c <= std::min(chordCount, current + 1); ++c) {
            const double level = ChordLevel(c, t);
            if (level <= 0) continue;
            const int(&chord)[3] = kChords[c % 4];
            for (int n = 0; n < 3; ++n) {
                const double v = 0.09 * level * Pad(Frequency(chord[n] - 12), t);
                const double pan = 0.5 + 0.3 * (n - 1) * sin(2 * kPi * t / 23.0);
                left += v * (1 - pan);
                right += v * pan;
            }
        }
        // The arpeggio: root, third, fifth, octave of the current chord, plucked.
        const int step = static_cast<int>(t / kStepSeconds);
        const double since = t - step * kStepSeconds;
        const int(&chord)[3] = kChords[current % 4];
        const int pattern[4] = {chord[0], chord[1], chord[2], chord[0] + 12};
        const double hz = Frequency(pattern[step % 4] + 12);
        const double pluck = exp(-since * 3.0) * (1 - exp(-since * 200.0));
        const double note = 0.16 * pluck * (sin(2 * kPi * hz * t) + 0.25 * sin(4 * kPi * hz * t));
        const double side = (step % 2) ? 0.65 : 0.35;
        out.left[i] = mono + left + note * (1 - side);
        out.right[i] = mono + right + note * side;
    }
    // The ping-pong echo: each side hears the other's delayed sound.
    const size_t delay = static_cast<size_t>(kEchoSeconds * kRate);
    for (size_t i = delay; i < frames; ++i) {
        out.left[i] += kEchoFeedback * out.right[i - delay];
        out.right[i] += kEchoFeedback * out.left[i - delay];
    }
    double peak = 1e-9;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double fade = std::min({1.0, t / kFadeIn, (kPieceSeconds - t) / kFadeOut});
        out.left[i] *= fade;
        out.right[i] *= fade;
        peak = std::max({peak, fabs(out.left[i]), fabs(out.right[i])});
    }
    for (size_t i = 0; i < frames; ++i) {
        out.left[i] *= kPeak / peak;
        out.right[i] *= kPeak / peak;
    }
    return out;
}

Stereo Tone(double seconds, double hz) {
    const size_t frames = static_cast<size_t>(seconds * kRate);
    Stereo out{std::vector<double>(frames), std::vector<double>(frames)};
    for (size_t i = 0; i < frames; ++i) out.left[i] = out.right[i] = 0.5 * sin(2 * kPi * hz * i / kRate);
    return out;
}

void Put(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A 16-bit WAV at kRate of the given channels, in the WAV order of channels.
bool WriteWav(const char* path, const std::vector<std::vector<double>>& channels) {
    const uint32_t frames = static_cast<uint32_t>(channels[0].size());
    const uint32_t frameBytes = static_cast<uint32_t>(channels.size()) * 2;
    const uint32_t dataBytes = frames * frameBytes;
    std::vector<uint8_t> bytes;
    bytes.reserve(44 + dataBytes);
    auto text = [&](const char* t) { bytes.insert(bytes.end(), t, t + 4); };
    text("RIFF");
    Put(bytes, 36 + dataBytes, 4);
    text("WAVE");
    text("fmt ");
    Put(bytes, 16, 4);
    Put(bytes, 1, 2);  // PCM
    Put(bytes, static_cast<uint32_t>(channels.size()), 2);
    Put(bytes, kRate, 4);
    Put(bytes, kRate * frameBytes, 4);
    Put(bytes, frameBytes, 2);
    Put(bytes, 16, 2);
    text("data");
    Put(bytes, dataBytes, 4);
    for (uint32_t i = 0; i < frames; ++i)
        for (const std::vector<double>& channel : channels)
            Put(bytes, static_cast<uint16_t>(static_cast<int16_t>(lrint(std::clamp(channel[i], -1.0, 1.0) * 32767))), 2);
    FILE* f = fopen(path, "wb");
    if (!f) {
        fprintf(stderr, "musicgen: cannot write %s\n", path);
        return false;
    }
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool WriteWav(const char* path, const Stereo& sound) {
    return WriteWav(path, std::vector<std::vector<double>>{sound.left, sound.right});
}

// Six channels in the WAV order (front left, front right, centre, LFE, rear left, rear
// right): the tone at half level in the centre and the rear left, the rest silent, so
// that a mix to stereo shows which channel went where.
std::vector<std::vector<double>> Surround(double seconds, double hz) {
    const Stereo tone = Tone(seconds, hz);
    const std::vector<double> silence(tone.left.size());
    return {silence, silence, tone.left, silence, tone.left, silence};
}

// A sine of its own in each of the six channels (WAV order), lowest in the LFE, so that a
// decoder's channel order shows in the frequencies; white noise from a fixed seed in the
// front left, the centre and the rear right gives the encoder something besides tones.
// The levels, noise included, add up to less than 1: no mix of the six can clip.
struct SurroundVoice {
    double hz, level, noise;
};
constexpr SurroundVoice kSurroundVoices[6] = {{330, 0.20, 0.02}, {440, 0.17, 0}, {550, 0.15, 0.02},
                                              {70, 0.13, 0},     {660, 0.11, 0}, {880, 0.09, 0.02}};

// xorshift32: the same noise on every run, whatever the C library's rand().
struct Noise {
    uint32_t state = 0x2545f491;
    double Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state / 2147483648.0 - 1.0;
    }
};

std::vector<std::vector<double>> SurroundAll(double seconds) {
    const size_t frames = static_cast<size_t>(seconds * kRate);
    std::vector<std::vector<double>> out(6, std::vector<double>(frames));
    Noise noise;
    for (size_t i = 0; i < frames; ++i)
        for (size_t c = 0; c < 6; ++c) {
            const SurroundVoice& voice = kSurroundVoices[c];
            out[c][i] = voice.level * sin(2 * kPi * voice.hz * i / kRate) + (voice.noise ? voice.noise * noise.Next() : 0);
        }
    return out;
}

int Usage() {
    fprintf(stderr,
            "usage: musicgen piece OUT.wav | musicgen tone|surround OUT.wav SECONDS HZ | musicgen surround-all OUT.wav SECONDS\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "piece") == 0) return WriteWav(argv[2], Piece()) ? 0 : 1;
    if (argc == 5 && (strcmp(argv[1], "tone") == 0 || strcmp(argv[1], "surround") == 0)) {
        const double seconds = atof(argv[3]), hz = atof(argv[4]);
        if (!(seconds > 0 && seconds <= 60 && hz > 0 && hz < kRate / 2)) return Usage();
        const bool written = argv[1][0] == 't' ? WriteWav(argv[2], Tone(seconds, hz)) : WriteWav(argv[2], Surround(seconds, hz));
        return written ? 0 : 1;
    }
    if (argc == 4 && strcmp(argv[1], "surround-all") == 0) {
        const double seconds = atof(argv[3]);
        if (!(seconds > 0 && seconds <= 60)) return Usage();
        return WriteWav(argv[2], SurroundAll(seconds)) ? 0 : 1;
    }
    return Usage();
}
