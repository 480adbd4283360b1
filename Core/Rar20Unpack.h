// RAR 2.0 decompression: Huffman-coded LZ77 over a 1 MB window, with a multimedia mode that
// codes bytes of one to four interleaved channels as the error of an adaptive linear
// predictor. The packed stream is a sequence of blocks; each starts with its code tables
// (sent as differences from the previous ones) and ends with a code that reads the next.
//
// The unpacker is one object because a solid archive continues the window, the tables,
// the recent distances and the predictors from one member to the next. It treats the
// packed bytes as hostile: every read is bounded by the input (reading past its end fails
// the member), every copy stays inside the window, a match reaching before the first
// byte ever unpacked fails, and the output grows with what is decoded rather than with
// the size a header claims.
#pragma once

#include "Core/Types.h"

// The constants of the format, shared with the archive tools that write it.
namespace Rar20 {

constexpr u32 kWindowSize = 0x100000;
constexpr u32 kWindowMask = kWindowSize - 1;

// Table sizes: main codes, distance codes, length codes after a repeated distance,
// bit-length codes of the table header, and the codes of one multimedia channel.
constexpr u32 kMainCodes = 298;
constexpr u32 kDistanceCodes = 48;
constexpr u32 kRepeatCodes = 28;
constexpr u32 kBitLengthCodes = 19;
constexpr u32 kAudioCodes = 257;
constexpr u32 kMaxChannels = 4;
constexpr u32 kLzTableSize = kMainCodes + kDistanceCodes + kRepeatCodes;
constexpr u32 kMaxTableSize = kAudioCodes * kMaxChannels;
constexpr u32 kMaxCodeLength = 15;

// Main codes: 0..255 literals, then these.
constexpr u32 kRepeatLast = 256;      // the last match again, same length and distance
constexpr u32 kOldDistance = 257;     // 257..260: the 1st..4th most recent distance
constexpr u32 kShortDistance = 261;   // 261..268: a 2-byte match at distance 1..256
constexpr u32 kNewTables = 269;       // a new block: its table header follows
constexpr u32 kLengthCode = 270;      // 270..297: a match length class, a distance code follows
// Multimedia codes: 0..255 predictor errors, then this.
constexpr u32 kAudioNewTables = 256;

// Table header codes: 0..15 add to the previous length (mod 16), then these.
constexpr u32 kRepeatPrevious = 16;   // 3..6 copies of the previous length (2 extra bits)
constexpr u32 kShortZeros = 17;       // 3..10 zero lengths (3 extra bits)
constexpr u32 kLongZeros = 18;        // 11..138 zero lengths (7 extra bits)

// Match lengths, by class: base and extra bits.
inline constexpr u8 kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                                       24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
inline constexpr u8 kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                       2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
// Distances minus one, by class: base and extra bits.
inline constexpr u32 kDistanceBase[48] = {
    0,      1,      2,      3,      4,      6,      8,      12,     16,     24,     32,     48,
    64,     96,     128,    192,    256,    384,    512,    768,    1024,   1536,   2048,   3072,
    4096,   6144,   8192,   12288,  16384,  24576,  32768,  49152,  65536,  98304,  131072, 196608,
    262144, 327680, 393216, 458752, 524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
inline constexpr u8 kDistanceBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                         7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                                         15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
// Distances minus one of the 2-byte matches (codes 261..268).
inline constexpr u8 kShortBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
inline constexpr u8 kShortBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

// Far matches are longer than their length code says: a match on a recent distance
// (codes 257..260) is one byte longer from each of these distances on, a match with a
// distance code one byte longer from each of the last two.
constexpr u32 kFarDistance1 = 0x101;
constexpr u32 kFarDistance2 = 0x2000;
constexpr u32 kFarDistance3 = 0x40000;

} // namespace Rar20

// The multimedia predictor: per channel, a weighted sum of the last byte, its last
// differences and the neighbouring channel's last difference, whose five weights adapt
// every 32 bytes toward the one that would have erred least. Encoder and decoder step it
// the same way.
class Rar20Predictor {
public:
    void Reset();
    // The byte that the predictor's error `delta` stands for on that channel.
    u8 Decode(u32 channel, u32 delta);
    // The error to send for `value` on that channel.
    u32 Encode(u32 channel, u8 value);

private:
    struct Channel {
        i32 weight[5];
        i32 d1, d2, d3, d4;
        i32 lastDelta;
        u32 error[11];
        u32 count;
        u32 last;
    };
    u32 Predict(Channel& c);
    void Learn(Channel& c, u32 delta, u32 value);

    Channel channels[Rar20::kMaxChannels] = {};
    i32 channelDelta = 0;
};

// A canonical Huffman code as the decoder reads it: lengths 0..15, codes assigned in
// order of length and then of symbol. A first-level table answers codes of up to 10 bits.
struct Rar20Code {
    static constexpr u32 kQuickBits = 10;
    u32 limit[16];     // left-aligned 16-bit bound of the codes of each length
    u32 first[16];     // index in `symbols` of the first code of each length
    u16 symbols[Rar20::kMainCodes];
    u16 quick[1u << kQuickBits];  // symbol | length << 9, 0 when the code is longer
    u32 count;                    // symbols in the alphabet

    void Build(const u8* lengths, u32 n);
    // The symbol of the code at the top of a 16-bit window, and its length.
    u32 Slow(u32 window, u32* length) const;
};

// Where unpacked bytes go: checked and counted always, kept when `keep` is set.
struct Rar20Output {
    bool keep = true;
    u32 limit = 0;         // the size the header promises: never more is produced
    u32 size = 0;          // bytes produced so far
    u32 crc = 0xFFFFFFFFu; // running CRC-32 register over them
    u8* data = nullptr;    // MemAlloc'd, when kept; the caller takes it over
    u32 capacity = 0;
    u32 sizeHint = 0;      // a first capacity (the packed size bounds nothing)

    ~Rar20Output();
    bool Append(const u8* bytes, u32 n);
    // Hands the kept bytes over (null when none), leaving this empty.
    u8* Release();
};

class Rar20Unpacker {
public:
    Rar20Unpacker();
    ~Rar20Unpacker();
    Rar20Unpacker(const Rar20Unpacker&) = delete;
    Rar20Unpacker& operator=(const Rar20Unpacker&) = delete;

    // False when the window could not be allocated.
    bool Ready() const { return window != nullptr; }

    // Unpacks one member into out (out.limit bytes). `solid` continues the state of the
    // member before (window, tables, distances, predictors); otherwise it starts afresh.
    // False on damaged data: a bad table, a match before the first byte, or a read past
    // the end of the packed bytes. The window is left consistent either way.
    bool Unpack(const u8* packed, u32 packSize, bool solid, Rar20Output& out);

private:
    struct Bits;

    void Reset();
    bool ReadTables(Bits& in);
    void ReadTrailingTables(Bits& in);
    bool Flush(Rar20Output& out);
    bool Run(Bits& in, Rar20Output& out);
    void CopyMatch(u32 length, u32 distance);
    void PutByte(u8 value) {
        window[pos] = value;
        pos = (pos + 1) & Rar20::kWindowMask;
        ++history;
    }

    u8* window = nullptr;
    u32 pos = 0;        // where the next byte goes
    u32 flushed = 0;    // bytes before pos up to here have gone to the output
    u64 history = 0;    // bytes unpacked since the state was last reset

    bool tablesRead = false;
    bool audio = false;
    u32 channels = 1;
    u32 channel = 0;
    u32 lastDistance = 0;
    u32 lastLength = 0;
    u32 oldDistances[4] = {};
    u32 oldIndex = 0;
    u8 oldTable[Rar20::kMaxTableSize] = {};
    Rar20Predictor predictor;

    Rar20Code* main = nullptr;      // LZ: main, distance and repeat-length codes
    Rar20Code* distance = nullptr;
    Rar20Code* repeat = nullptr;
    Rar20Code* audioCodes = nullptr;  // one per channel
    Rar20Code* bitLengths = nullptr;
};
