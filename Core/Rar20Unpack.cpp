#include "Core/Rar20Unpack.h"

#include "Core/Crc32.h"
#include "Core/Memory.h"

#include <cstring>
#include <new>

using namespace Rar20;

namespace {

// Unpacked bytes go to the output in runs of this size: small enough that the checksum
// reads them while they are still in the cache, far below the window so that what is
// not yet flushed is never overwritten.
constexpr u32 kFlushRun = 0x10000;

// Codes of the unpacker's table set, in the block that holds them.
enum CodeSlot { kMainSlot, kDistanceSlot, kRepeatSlot, kBitLengthSlot, kAudioSlot, kSlots = kAudioSlot + kMaxChannels };

inline u32 Abs(i32 v) { return v < 0 ? u32(-v) : u32(v); }

} // namespace

// Rar20Predictor ---------------------------------------------------------------------

void Rar20Predictor::Reset() {
    for (Channel& c : channels)
        c = Channel{};
    channelDelta = 0;
}

u32 Rar20Predictor::Predict(Channel& c) {
    ++c.count;
    c.d4 = c.d3;
    c.d3 = c.d2;
    c.d2 = c.lastDelta - c.d1;
    c.d1 = c.lastDelta;
    const i32 sum = 8 * i32(c.last) + c.weight[0] * c.d1 + c.weight[1] * c.d2 + c.weight[2] * c.d3 +
                    c.weight[3] * c.d4 + c.weight[4] * channelDelta;
    return u32(sum >> 3) & 0xFF;
}

void Rar20Predictor::Learn(Channel& c, u32 delta, u32 value) {
    const i32 d = i32(i8(u8(delta))) * 8;
    c.error[0] += Abs(d);
    c.error[1] += Abs(d - c.d1);
    c.error[2] += Abs(d + c.d1);
    c.error[3] += Abs(d - c.d2);
    c.error[4] += Abs(d + c.d2);
    c.error[5] += Abs(d - c.d3);
    c.error[6] += Abs(d + c.d3);
    c.error[7] += Abs(d - c.d4);
    c.error[8] += Abs(d + c.d4);
    c.error[9] += Abs(d - channelDelta);
    c.error[10] += Abs(d + channelDelta);
    channelDelta = c.lastDelta = i32(i8(u8(value - c.last)));
    c.last = value;
    if ((c.count & 0x1F) != 0)
        return;
    // Every 32 bytes one weight moves one step toward the term that erred least.
    u32 least = c.error[0];
    u32 which = 0;
    c.error[0] = 0;
    for (u32 i = 1; i < 11; ++i) {
        if (c.error[i] < least) {
            least = c.error[i];
            which = i;
        }
        c.error[i] = 0;
    }
    if (which == 0)
        return;
    i32& w = c.weight[(which - 1) / 2];
    if ((which & 1) != 0) {
        if (w >= -16)
            --w;
    } else if (w < 16) {
        ++w;
    }
}

u8 Rar20Predictor::Decode(u32 channel, u32 delta) {
    Channel& c = channels[channel];
    const u32 value = (Predict(c) - delta) & 0xFF;
    Learn(c, delta, value);
    return u8(value);
}

u32 Rar20Predictor::Encode(u32 channel, u8 value) {
    Channel& c = channels[channel];
    const u32 delta = (Predict(c) - value) & 0xFF;
    Learn(c, delta, value);
    return delta;
}

// Rar20Code --------------------------------------------------------------------------

void Rar20Code::Build(const u8* lengths, u32 n) {
    count = n;
    u32 perLength[16] = {};
    for (u32 i = 0; i < n; ++i)
        ++perLength[lengths[i] & 15];
    perLength[0] = 0;
    // Canonical codes: each length starts at twice the end of the one before. Bounds
    // are kept left-aligned in 16 bits; a set of lengths that oversubscribes the code
    // space is cut at the top rather than trusted.
    u64 end = 0;
    u32 next[16];
    limit[0] = 0;
    first[0] = 0;
    next[0] = 0;
    for (u32 len = 1; len < 16; ++len) {
        end = 2 * (end + perLength[len]);
        const u64 bound = end << (15 - len);
        limit[len] = bound > 0xFFFF ? 0xFFFF : u32(bound);
        first[len] = first[len - 1] + perLength[len - 1];
        next[len] = first[len];
    }
    std::memset(symbols, 0, sizeof symbols);
    for (u32 i = 0; i < n; ++i)
        if ((lengths[i] & 15) != 0)
            symbols[next[lengths[i] & 15]++] = u16(i);
    for (u32 p = 0; p < (1u << kQuickBits); ++p) {
        const u32 low = p << (16 - kQuickBits);
        const u32 high = low | ((1u << (16 - kQuickBits)) - 1);
        u32 lowLength, highLength;
        const u32 symbol = Slow(low, &lowLength);
        const u32 other = Slow(high, &highLength);
        quick[p] = (lowLength == highLength && symbol == other && lowLength <= kQuickBits)
                       ? u16(symbol | (lowLength << 9))
                       : u16(0);
    }
}

u32 Rar20Code::Slow(u32 window, u32* length) const {
    const u32 bits = window & 0xFFFE;
    u32 len = 15;
    for (u32 l = 1; l < 15; ++l)
        if (bits < limit[l]) {
            len = l;
            break;
        }
    *length = len;
    // A window past every bound (a code space left incomplete) still names a slot, and
    // a slot past the alphabet names its first symbol: damaged data decodes to
    // something, never to a read outside the table.
    const u32 base = limit[len - 1];
    if (bits < base)
        return symbols[0];
    const u32 index = first[len] + ((bits - base) >> (16 - len));
    return index < count ? symbols[index] : symbols[0];
}

// Rar20Output ------------------------------------------------------------------------

Rar20Output::~Rar20Output() { MemFree(data); }

bool Rar20Output::Append(const u8* bytes, u32 n) {
    if (n > limit - size)
        n = limit - size;
    if (n == 0)
        return true;
    crc = Crc32::Update(crc, bytes, n);
    if (keep) {
        const u32 needed = size + n;
        if (needed > capacity) {
            // Grown with what is decoded, never straight to what the header claims.
            u64 grown = u64(capacity) * 2;
            if (grown < sizeHint)
                grown = sizeHint;
            if (grown < 0x10000)
                grown = 0x10000;
            if (grown < needed)
                grown = needed;
            if (grown > limit)
                grown = limit;
            u8* bigger = static_cast<u8*>(MemAlloc(std::size_t(grown)));
            if (bigger == nullptr)
                return false;
            if (size != 0)
                std::memcpy(bigger, data, size);
            MemFree(data);
            data = bigger;
            capacity = u32(grown);
        }
        std::memcpy(data + size, bytes, n);
    }
    size += n;
    return true;
}

u8* Rar20Output::Release() {
    u8* taken = data;
    data = nullptr;
    capacity = 0;
    return taken;
}

// The bit reader ---------------------------------------------------------------------

// Bits are taken from the top of each byte down. The reader keeps up to 64 bits
// left-aligned; past the end of the input it feeds zero bytes, and counts them, so that
// a stream whose codes run past its end is found out.
struct Rar20Unpacker::Bits {
    const u8* data;
    u32 size;
    u32 next = 0;     // bytes loaded (zero bytes past the end included)
    u64 buffer = 0;
    u32 count = 0;    // bits loaded and not consumed

    Bits(const u8* bytes, u32 n) : data(bytes), size(bytes ? n : 0) {}

    // Afterwards at least 57 bits are loaded: enough for any whole match.
    void Fill() {
        if (count > 56)
            return;
        if (next < size && size - next >= 8) {
            const u8* p = data + next;
            const u64 v = (u64(p[0]) << 56) | (u64(p[1]) << 48) | (u64(p[2]) << 40) | (u64(p[3]) << 32) |
                          (u64(p[4]) << 24) | (u64(p[5]) << 16) | (u64(p[6]) << 8) | u64(p[7]);
            // The bits below the whole bytes taken are the next byte's own, so loading
            // them again later changes nothing.
            buffer |= v >> count;
            const u32 take = (63 - count) >> 3;
            next += take;
            count += take * 8;
            return;
        }
        while (count <= 56) {
            const u64 byte = next < size ? data[next] : 0;
            ++next;
            buffer |= byte << (56 - count);
            count += 8;
        }
    }
    u32 Peek16() const { return u32(buffer >> 48); }
    void Skip(u32 n) {
        buffer <<= n;
        count -= n;
    }
    u32 Take(u32 n) {
        if (n == 0)
            return 0;
        const u32 v = u32(buffer >> (64 - n));
        Skip(n);
        return v;
    }
    u64 Consumed() const { return u64(next) * 8 - count; }
    bool Overrun() const { return Consumed() > u64(size) * 8; }

    u32 Decode(const Rar20Code& code) {
        const u32 window = Peek16();
        const u32 q = code.quick[window >> (16 - Rar20Code::kQuickBits)];
        if (q != 0) {
            Skip(q >> 9);
            return q & 0x1FF;
        }
        u32 length;
        const u32 symbol = code.Slow(window, &length);
        Skip(length);
        return symbol;
    }
};

// Rar20Unpacker ----------------------------------------------------------------------

Rar20Unpacker::Rar20Unpacker() {
    window = static_cast<u8*>(MemAlloc(kWindowSize));
    Rar20Code* codes = new (std::nothrow) Rar20Code[kSlots];
    if (window == nullptr || codes == nullptr) {
        MemFree(window);
        window = nullptr;
        delete[] codes;
        return;
    }
    // Codes that no table has set decode every window as symbol 0 (the unpacker reads
    // tables before it decodes anything, so this only keeps the contents defined).
    std::memset(static_cast<void*>(codes), 0, sizeof(Rar20Code) * kSlots);
    main = codes + kMainSlot;
    distance = codes + kDistanceSlot;
    repeat = codes + kRepeatSlot;
    bitLengths = codes + kBitLengthSlot;
    audioCodes = codes + kAudioSlot;
    Reset();
}

Rar20Unpacker::~Rar20Unpacker() {
    MemFree(window);
    delete[] main;
}

void Rar20Unpacker::Reset() {
    pos = 0;
    flushed = 0;
    history = 0;
    tablesRead = false;
    audio = false;
    channels = 1;
    channel = 0;
    lastDistance = 0;
    lastLength = 0;
    std::memset(oldDistances, 0, sizeof oldDistances);
    oldIndex = 0;
    std::memset(oldTable, 0, sizeof oldTable);
    predictor.Reset();
}

bool Rar20Unpacker::ReadTables(Bits& in) {
    in.Fill();
    const u32 head = in.Peek16();
    in.Skip(2);
    const bool multimedia = (head & 0x8000) != 0;
    // Without the keep bit the new lengths are not differences from the old ones.
    if ((head & 0x4000) == 0)
        std::memset(oldTable, 0, sizeof oldTable);
    u32 size = kLzTableSize;
    if (multimedia) {
        channels = ((head >> 12) & 3) + 1;
        if (channel >= channels)
            channel = 0;
        in.Skip(2);
        size = kAudioCodes * channels;
    }
    audio = multimedia;

    u8 header[kBitLengthCodes];
    for (u32 i = 0; i < kBitLengthCodes; ++i) {
        in.Fill();
        header[i] = u8(in.Take(4));
    }
    bitLengths->Build(header, kBitLengthCodes);

    u8 table[kMaxTableSize];
    for (u32 i = 0; i < size;) {
        in.Fill();
        if (in.Overrun())
            return false;
        const u32 code = in.Decode(*bitLengths);
        if (code < 16) {
            table[i] = u8((code + oldTable[i]) & 15);
            ++i;
        } else if (code == kRepeatPrevious) {
            // Nothing precedes the first length.
            if (i == 0)
                return false;
            u32 n = in.Take(2) + 3;
            for (; n > 0 && i < size; --n, ++i)
                table[i] = table[i - 1];
        } else {
            u32 n = code == kShortZeros ? in.Take(3) + 3 : in.Take(7) + 11;
            for (; n > 0 && i < size; --n)
                table[i++] = 0;
        }
    }
    if (in.Overrun())
        return false;
    if (multimedia) {
        for (u32 c = 0; c < channels; ++c)
            audioCodes[c].Build(table + c * kAudioCodes, kAudioCodes);
    } else {
        main->Build(table, kMainCodes);
        distance->Build(table + kMainCodes, kDistanceCodes);
        repeat->Build(table + kMainCodes + kDistanceCodes, kRepeatCodes);
    }
    std::memcpy(oldTable, table, size);
    tablesRead = true;
    return true;
}

// A member may end with the code that reads new tables while at least five bytes of it
// are left: those tables then serve the next member of a solid archive.
void Rar20Unpacker::ReadTrailingTables(Bits& in) {
    const u64 at = in.Consumed() / 8;
    if (u64(in.size) < at + 5)
        return;
    in.Fill();
    bool wanted;
    if (audio)
        wanted = in.Decode(audioCodes[channel]) == kAudioNewTables;
    else
        wanted = in.Decode(*main) == kNewTables;
    if (wanted && !ReadTables(in))
        tablesRead = false;  // the next member must bring its own
}

void Rar20Unpacker::CopyMatch(u32 length, u32 dist) {
    lastDistance = oldDistances[oldIndex] = dist;
    oldIndex = (oldIndex + 1) & 3;
    lastLength = length;
    u32 from = (pos - dist) & kWindowMask;
    if (from + length <= kWindowSize && pos + length <= kWindowSize && dist != 0) {
        u8* to = window + pos;
        const u8* src = window + from;
        if (dist >= length) {
            // Not overlapping behind the destination; a source just ahead of it (a
            // distance near the window's size, wrapped) is read before it is overwritten,
            // which memmove does too.
            std::memmove(to, src, length);
        } else {
            for (u32 i = 0; i < length; ++i)
                to[i] = src[i];
        }
        pos += length;
    } else {
        for (u32 i = 0; i < length; ++i) {
            window[pos] = window[from];
            pos = (pos + 1) & kWindowMask;
            from = (from + 1) & kWindowMask;
        }
    }
    pos &= kWindowMask;
    history += length;
}

bool Rar20Unpacker::Flush(Rar20Output& out) {
    const u32 n = (pos - flushed) & kWindowMask;
    bool ok = true;
    if (flushed + n <= kWindowSize) {
        ok = out.Append(window + flushed, n);
    } else {
        const u32 head = kWindowSize - flushed;
        ok = out.Append(window + flushed, head) && out.Append(window, n - head);
    }
    flushed = pos;
    return ok;
}

bool Rar20Unpacker::Run(Bits& in, Rar20Output& out) {
    const u64 target = u64(out.limit) - out.size;
    u64 produced = 0;
    while (produced < target) {
        if (in.Overrun())
            return false;
        if (((pos - flushed) & kWindowMask) >= kFlushRun && !Flush(out))
            return false;
        in.Fill();
        if (audio) {
            const u32 code = in.Decode(audioCodes[channel]);
            if (code == kAudioNewTables) {
                if (!ReadTables(in))
                    return false;
                continue;
            }
            PutByte(predictor.Decode(channel, code));
            ++produced;
            if (++channel == channels)
                channel = 0;
            continue;
        }
        const u32 code = in.Decode(*main);
        if (code < 256) {
            PutByte(u8(code));
            ++produced;
            continue;
        }
        u32 length;
        u32 dist;
        if (code >= kLengthCode) {
            const u32 lc = code - kLengthCode;
            length = kLengthBase[lc] + 3 + in.Take(kLengthBits[lc]);
            const u32 dc = in.Decode(*distance);
            dist = kDistanceBase[dc] + 1 + in.Take(kDistanceBits[dc]);
            if (dist >= kFarDistance2)
                ++length;
            if (dist >= kFarDistance3)
                ++length;
        } else if (code == kNewTables) {
            if (!ReadTables(in))
                return false;
            continue;
        } else if (code == kRepeatLast) {
            length = lastLength;
            dist = lastDistance;
        } else if (code < kShortDistance) {
            dist = oldDistances[(oldIndex - (code - kRepeatLast)) & 3];
            const u32 lc = in.Decode(*repeat);
            length = kLengthBase[lc] + 2 + in.Take(kLengthBits[lc]);
            if (dist >= kFarDistance1)
                ++length;
            if (dist >= kFarDistance2)
                ++length;
            if (dist >= kFarDistance3)
                ++length;
        } else {
            const u32 sc = code - kShortDistance;
            dist = kShortBase[sc] + 1 + in.Take(kShortBits[sc]);
            length = 2;
        }
        // A match may only reach bytes this stream has put in the window.
        if (length != 0 && (dist == 0 || dist > history))
            return false;
        CopyMatch(length, dist);
        produced += length;
    }
    return !in.Overrun();
}

bool Rar20Unpacker::Unpack(const u8* packed, u32 packSize, bool solid, Rar20Output& out) {
    if (window == nullptr)
        return false;
    if (!solid)
        Reset();
    Bits in(packed, packSize);
    bool ok = tablesRead || ReadTables(in);
    if (!ok && out.size >= out.limit) {
        // An empty member needs no tables of its own; the next one must bring them.
        tablesRead = false;
        return true;
    }
    // Even an empty member goes through: its data may end with tables for the next.
    ok = ok && Run(in, out);
    if (ok)
        ReadTrailingTables(in);
    if (!Flush(out))
        ok = false;
    return ok && out.size == out.limit;
}
