#include "tools/Rar20Pack.h"

#include "Core/Crc32.h"
#include "Core/Rar20Crypt.h"
#include "tools/RarWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <queue>
#include <random>
#include <utility>

using namespace Rar20;

namespace {

// The code slots of a block, as the unpacker keeps them: LZ main, distance and
// repeat-length codes, the table header's bit-length code, and one per channel.
enum Slot : u8 { kMainSlot, kDistanceSlot, kRepeatSlot, kHeaderSlot, kAudioSlot };
constexpr u32 kSlots = kAudioSlot + kMaxChannels;
constexpr u8 kRawBits = 0xFF;  // an entry of plain extra bits, not a code

constexpr u32 kMaxDistance = kWindowSize - 1;
constexpr u32 kHashBits = 16;
constexpr u32 kSlackBytes = 2;  // after the last code: see the end of Rar20Packer::Pack

u32 SlotSize(u32 slot) {
    switch (slot) {
    case kMainSlot: return kMainCodes;
    case kDistanceSlot: return kDistanceCodes;
    case kRepeatSlot: return kRepeatCodes;
    case kHeaderSlot: return kBitLengthCodes;
    default: return kAudioCodes;
    }
}

u32 FarBonus(u32 distance, bool recent) {
    u32 bonus = (distance >= kFarDistance2 ? 1 : 0) + (distance >= kFarDistance3 ? 1 : 0);
    if (recent && distance >= kFarDistance1)
        ++bonus;
    return bonus;
}

// The class of a value in a table of class bases (the last base not above it).
template <std::size_t N, class T>
u32 ClassOf(const T (&base)[N], u32 value) {
    u32 c = 0;
    while (c + 1 < N && base[c + 1] <= value)
        ++c;
    return c;
}

class BitWriter {
public:
    void Put(u32 value, u32 bits) {
        if (bits == 0)
            return;
        acc_ = (acc_ << bits) | (value & ((u64(1) << bits) - 1));
        count_ += bits;
        while (count_ >= 8) {
            count_ -= 8;
            bytes_.push_back(u8(acc_ >> count_));
        }
        acc_ &= (u64(1) << count_) - 1;
    }
    u64 BitCount() const { return u64(bytes_.size()) * 8 + count_; }
    // Fills the last byte, adds the slack and pads to a multiple of `align` bytes, all
    // with one bit value.
    std::vector<u8> Finish(u32 align, u32 padBit) const {
        std::vector<u8> out = bytes_;
        const u8 fill = padBit ? 0xFF : 0x00;
        if (count_ != 0) {
            const u32 free = 8 - count_;
            out.push_back(u8((acc_ << free) | (padBit ? (1u << free) - 1 : 0)));
        }
        for (u32 i = 0; i < kSlackBytes; ++i)
            out.push_back(fill);
        while (align > 1 && out.size() % align != 0)
            out.push_back(fill);
        return out;
    }

private:
    std::vector<u8> bytes_;
    u64 acc_ = 0;
    u32 count_ = 0;
};

u32 PeekBits(const std::vector<u8>& bytes, u64 at, u32 n) {
    u32 v = 0;
    for (u32 i = 0; i < n; ++i) {
        const u64 bit = at + i;
        const u32 b = bit / 8 < bytes.size() ? (bytes[bit / 8] >> (7 - bit % 8)) & 1 : 0;
        v = (v << 1) | b;
    }
    return v;
}

// Code lengths of at most `maxLength` bits for the frequencies. At least two symbols
// always get a code (unused ones are added), so every code is complete.
std::vector<u8> HuffmanLengths(std::vector<u64> freq, u32 maxLength) {
    const u32 n = u32(freq.size());
    u32 used = 0;
    for (u64 f : freq)
        used += f != 0;
    for (u32 i = 0; used < 2 && i < n; ++i)
        if (freq[i] == 0) {
            freq[i] = 1;
            ++used;
        }
    std::vector<u8> lengths(n, 0);
    for (;;) {
        struct Node {
            u64 weight;
            i32 parent;
        };
        std::vector<Node> nodes;
        using Item = std::pair<u64, u32>;  // weight, node (ties go to the lower node)
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
        std::vector<i32> leaf(n, -1);
        for (u32 i = 0; i < n; ++i)
            if (freq[i] != 0) {
                leaf[i] = i32(nodes.size());
                queue.push({freq[i], u32(nodes.size())});
                nodes.push_back({freq[i], -1});
            }
        while (queue.size() > 1) {
            const Item a = queue.top();
            queue.pop();
            const Item b = queue.top();
            queue.pop();
            const u32 joined = u32(nodes.size());
            nodes.push_back({a.first + b.first, -1});
            nodes[a.second].parent = i32(joined);
            nodes[b.second].parent = i32(joined);
            queue.push({a.first + b.first, joined});
        }
        u32 longest = 0;
        for (u32 i = 0; i < n; ++i) {
            u32 depth = 0;
            if (leaf[i] >= 0)
                for (i32 at = leaf[i]; nodes[at].parent >= 0; at = nodes[at].parent)
                    ++depth;
            lengths[i] = u8(depth);
            longest = std::max(longest, depth);
        }
        if (longest <= maxLength)
            return lengths;
        // Too deep: flatten the weights and build again.
        for (u64& f : freq)
            if (f != 0)
                f = (f + 1) / 2;
    }
}

// Canonical codes as the unpacker assigns them: by length, then by symbol.
std::vector<u16> CanonicalCodes(const std::vector<u8>& lengths) {
    u32 perLength[16] = {};
    for (u8 l : lengths)
        ++perLength[l];
    perLength[0] = 0;
    u32 next[16] = {};
    u32 code = 0;
    for (u32 l = 1; l < 16; ++l) {
        code = (code + perLength[l - 1]) << 1;
        next[l] = code;
    }
    std::vector<u16> codes(lengths.size(), 0);
    for (std::size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i] != 0)
            codes[i] = u16(next[lengths[i]]++);
    return codes;
}

struct CodeTable {
    std::vector<u8> lengths;
    std::vector<u16> codes;

    void Make(const std::vector<u64>& freq) {
        lengths = HuffmanLengths(freq, kMaxCodeLength);
        codes = CanonicalCodes(lengths);
    }
    void Put(BitWriter& out, u32 symbol) const { out.Put(codes[symbol], lengths[symbol]); }
    // The symbol whose code starts at bit `at` (for checking what the unpacker would see).
    i32 Read(const std::vector<u8>& bytes, u64 at) const {
        for (std::size_t s = 0; s < lengths.size(); ++s)
            if (lengths[s] != 0 && PeekBits(bytes, at, lengths[s]) == codes[s])
                return i32(s);
        return -1;
    }
};

struct Entry {
    u8 slot;      // a code slot, or kRawBits
    u8 bits;      // extra bits (kRawBits)
    u16 symbol;
    u32 value;    // extra bits' value
};

struct Block {
    bool audio = false;
    u32 channels = 1;
    u32 switchChannel = 0;  // the channel whose code ends the block before
    u32 codes = 0;
    std::vector<Entry> entries;
    std::vector<u64> freq[kSlots];

    Block() {
        for (u32 s = 0; s < kSlots; ++s)
            freq[s].assign(SlotSize(s), 0);
    }
    void Code(u32 slot, u32 symbol) {
        entries.push_back({u8(slot), 0, u16(symbol), 0});
        ++freq[slot][symbol];
    }
    void Bits(u32 value, u32 bits) {
        if (bits != 0)
            entries.push_back({kRawBits, u8(bits), 0, value});
    }
};

// Hash chains over a buffer, positions inserted in order.
class MatchFinder {
public:
    MatchFinder(const u8* data, u32 size)
        : data_(data), size_(size), head_(1u << kHashBits, -1), prev_(size, -1), pairs_(1u << 16, -1) {}

    void Insert(u32 pos) {
        if (pos + 2 <= size_)
            pairs_[u32(data_[pos]) << 8 | data_[pos + 1]] = i32(pos);
        if (pos + 3 > size_)
            return;
        const u32 h = Hash(pos);
        prev_[pos] = head_[h];
        head_[h] = i32(pos);
    }

    u32 Length(u32 pos, u32 from, u32 cap) const {
        u32 n = 0;
        while (n < cap && data_[pos + n] == data_[from + n])
            ++n;
        return n;
    }

    // The longest match of at least 3 bytes (more for far distances) that a distance
    // code can carry.
    u32 Longest(u32 pos, u32 cap, u32 depth, u32* distance) const {
        if (cap < 3 || pos + 3 > size_)
            return 0;
        u32 best = 0;
        for (i32 cand = head_[Hash(pos)]; cand >= 0 && depth > 0; cand = prev_[cand], --depth) {
            const u32 d = pos - u32(cand);
            if (d > kMaxDistance)
                break;
            const u32 bonus = FarBonus(d, false);
            const u32 most = std::min(cap, 258 + bonus);
            if (best >= most || data_[u32(cand) + best] != data_[pos + best])
                continue;
            const u32 n = Length(pos, u32(cand), most);
            if (n >= 3 + bonus && n > best) {
                best = n;
                *distance = d;
            }
        }
        return best;
    }

    // A 2-byte match within 256 bytes, as the last place the pair was seen.
    u32 Pair(u32 pos, u32 cap) const {
        if (cap < 2 || pos + 2 > size_)
            return 0;
        const i32 at = pairs_[u32(data_[pos]) << 8 | data_[pos + 1]];
        if (at < 0 || pos - u32(at) > 256)
            return 0;
        return pos - u32(at);
    }

private:
    u32 Hash(u32 pos) const {
        const u32 v = u32(data_[pos]) << 16 | u32(data_[pos + 1]) << 8 | data_[pos + 2];
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    const u8* data_;
    u32 size_;
    std::vector<i32> head_, prev_, pairs_;
};

} // namespace

void Rar20PackStats::Add(const Rar20PackStats& o) {
    for (u32 i = 0; i < kMainCodes; ++i)
        main[i] += o.main[i];
    for (u32 i = 0; i < kDistanceCodes; ++i)
        distance[i] += o.distance[i];
    for (u32 i = 0; i < kRepeatCodes; ++i)
        repeat[i] += o.repeat[i];
    for (u32 i = 0; i < kBitLengthCodes; ++i)
        header[i] += o.header[i];
    for (u32 i = 0; i <= kMaxChannels; ++i)
        audioBlocks[i] += o.audioBlocks[i];
    lzBlocks += o.lzBlocks;
    freshTables += o.freshTables;
    deltaTables += o.deltaTables;
    modeChanges += o.modeChanges;
    solidMembers += o.solidMembers;
    encryptedMembers += o.encryptedMembers;
    storedMembers += o.storedMembers;
    packedMembers += o.packedMembers;
}

// What the unpacker will know when it reaches the next code: the same state, stepped
// the same way.
struct Rar20Packer::State {
    std::vector<u8> history;  // bytes since the last reset, at most a window's worth
    u32 ring[4] = {};
    u32 ringIndex = 0;
    u32 lastDistance = 0;
    u32 lastLength = 0;
    Rar20Predictor predictor;
    bool audio = false;
    u32 channels = 1;
    u32 channel = 0;
    bool tablesSent = false;
    u8 oldTable[kMaxTableSize] = {};
    u32 lastTableSize = 0;
    u64 blocks = 0;
    CodeTable codes[kSlots];

    void Reset() {
        history.clear();
        std::memset(ring, 0, sizeof ring);
        ringIndex = 0;
        lastDistance = lastLength = 0;
        predictor.Reset();
        audio = false;
        channels = 1;
        channel = 0;
        tablesSent = false;
        std::memset(oldTable, 0, sizeof oldTable);
        lastTableSize = 0;
        blocks = 0;
    }

    void Match(Block& b, Rar20PackStats& stats, u32 length, u32 distance) {
        if (length == lastLength && distance == lastDistance) {
            b.Code(kMainSlot, kRepeatLast);
            ++stats.main[kRepeatLast];
        } else {
            u32 recent = 0;
            for (u32 k = 1; k <= 4 && recent == 0; ++k)
                if (ring[(ringIndex - k) & 3] == distance)
                    recent = k;
            const u32 bonusRecent = FarBonus(distance, true);
            const u32 bonusNew = FarBonus(distance, false);
            if (recent != 0 && length >= 2 + bonusRecent && length <= 257 + bonusRecent) {
                const u32 v = length - 2 - bonusRecent;
                const u32 lc = ClassOf(kLengthBase, v);
                b.Code(kMainSlot, kRepeatLast + recent);
                b.Code(kRepeatSlot, lc);
                b.Bits(v - kLengthBase[lc], kLengthBits[lc]);
                ++stats.main[kRepeatLast + recent];
                ++stats.repeat[lc];
            } else if (length == 2 && distance <= 256) {
                const u32 v = distance - 1;
                const u32 sc = ClassOf(kShortBase, v);
                b.Code(kMainSlot, kShortDistance + sc);
                b.Bits(v - kShortBase[sc], kShortBits[sc]);
                ++stats.main[kShortDistance + sc];
            } else {
                const u32 v = length - 3 - bonusNew;
                const u32 lc = ClassOf(kLengthBase, v);
                const u32 dv = distance - 1;
                const u32 dc = ClassOf(kDistanceBase, dv);
                b.Code(kMainSlot, kLengthCode + lc);
                b.Bits(v - kLengthBase[lc], kLengthBits[lc]);
                b.Code(kDistanceSlot, dc);
                b.Bits(dv - kDistanceBase[dc], kDistanceBits[dc]);
                ++stats.main[kLengthCode + lc];
                ++stats.distance[dc];
            }
        }
        ring[ringIndex] = distance;
        ringIndex = (ringIndex + 1) & 3;
        lastDistance = distance;
        lastLength = length;
        ++b.codes;
    }

    // Parses LZ codes from pos until the block is full or the stretch ends.
    void CollectLz(Block& b, MatchFinder& finder, u32& pos, u32 end, const Rar20PackOptions& options,
                   Rar20PackStats& stats) {
        b.audio = false;
        b.switchChannel = channel;
        while (pos < end && b.codes < options.blockCodes) {
            const u32 cap = end - pos;
            // The stream holds the bytes since its reset: nothing further back exists.
            const u32 reach = std::min(pos, kMaxDistance);
            u32 repeatLength = 0, repeatDistance = 0;
            for (u32 k = 1; k <= 4; ++k) {
                const u32 d = ring[(ringIndex - k) & 3];
                if (d == 0 || d > reach)
                    continue;
                const u32 bonus = FarBonus(d, true);
                const u32 n = finder.Length(pos, pos - d, std::min(cap, 257 + bonus));
                if (n >= 2 + bonus && n > repeatLength) {
                    repeatLength = n;
                    repeatDistance = d;
                }
            }
            u32 newDistance = 0;
            const u32 newLength = finder.Longest(pos, cap, options.chainDepth, &newDistance);
            u32 length = 0, distance = 0;
            if (newLength != 0 && newLength >= repeatLength + 2) {
                length = newLength;
                distance = newDistance;
            } else if (repeatLength != 0) {
                length = repeatLength;
                distance = repeatDistance;
            } else if (const u32 d = finder.Pair(pos, cap); d != 0) {
                length = 2;
                distance = d;
            }
            if (length == 0) {
                const u8 byte = Byte(pos);
                b.Code(kMainSlot, byte);
                ++stats.main[byte];
                ++b.codes;
                finder.Insert(pos);
                ++pos;
                continue;
            }
            Match(b, stats, length, distance);
            for (u32 i = 0; i < length; ++i)
                finder.Insert(pos + i);
            pos += length;
        }
    }

    // Codes bytes of the stretch as predictor errors, the channels taking turns.
    void CollectAudio(Block& b, MatchFinder& finder, u32& pos, u32 end, u32 blockChannels,
                      const Rar20PackOptions& options) {
        b.audio = true;
        b.channels = blockChannels;
        b.switchChannel = channel;
        if (channel >= blockChannels)
            channel = 0;
        while (pos < end && b.codes < options.blockCodes) {
            const u32 delta = predictor.Encode(channel, Byte(pos));
            b.Code(kAudioSlot + channel, delta);
            ++b.codes;
            if (++channel == blockChannels)
                channel = 0;
            finder.Insert(pos);
            ++pos;
        }
    }

    u8 Byte(u32 pos) const { return (*buffer)[pos]; }
    const std::vector<u8>* buffer = nullptr;

    // The table header: lengths as codes of the header code, against the old lengths.
    void PutTables(BitWriter& out, const Block& b, const std::vector<u8>& table, bool keep,
                   Rar20PackStats& stats) {
        if (!keep)
            std::memset(oldTable, 0, sizeof oldTable);
        const u32 size = u32(table.size());
        std::vector<Entry> codes;
        std::vector<u64> freq(kBitLengthCodes, 0);
        auto code = [&](u32 symbol, u32 value, u32 bits) {
            codes.push_back({u8(kHeaderSlot), u8(bits), u16(symbol), value});
            ++freq[symbol];
        };
        for (u32 i = 0; i < size;) {
            u32 run = 1;
            while (i + run < size && table[i + run] == table[i])
                ++run;
            if (table[i] == 0 && run >= 11) {
                const u32 n = std::min(run, 138u);
                code(kLongZeros, n - 11, 7);
                i += n;
            } else if (table[i] == 0 && run >= 3) {
                const u32 n = std::min(run, 10u);
                code(kShortZeros, n - 3, 3);
                i += n;
            } else if (i > 0 && table[i] == table[i - 1] && run >= 3) {
                const u32 n = std::min(run, 6u);
                code(kRepeatPrevious, n - 3, 2);
                i += n;
            } else {
                code((table[i] - oldTable[i]) & 15, 0, 0);
                ++i;
            }
        }
        CodeTable header;
        header.Make(freq);
        out.Put(b.audio ? 1 : 0, 1);
        out.Put(keep ? 1 : 0, 1);
        if (b.audio)
            out.Put(b.channels - 1, 2);
        for (u32 i = 0; i < kBitLengthCodes; ++i)
            out.Put(header.lengths[i], 4);
        for (const Entry& e : codes) {
            header.Put(out, e.symbol);
            out.Put(e.value, e.bits);
            ++stats.header[e.symbol];
        }
        std::memcpy(oldTable, table.data(), size);
    }

    void PutBlock(BitWriter& out, Block& b, const Rar20PackOptions& options, Rar20PackStats& stats) {
        if (tablesSent) {
            if (audio) {
                codes[kAudioSlot + b.switchChannel].Put(out, kAudioNewTables);
            } else {
                codes[kMainSlot].Put(out, kNewTables);
                ++stats.main[kNewTables];
            }
        }
        // Every table can end its block, so its switch code always has a code.
        std::vector<u8> table;
        CodeTable next[kSlots];
        if (b.audio) {
            for (u32 c = 0; c < b.channels; ++c) {
                ++b.freq[kAudioSlot + c][kAudioNewTables];
                next[kAudioSlot + c].Make(b.freq[kAudioSlot + c]);
                table.insert(table.end(), next[kAudioSlot + c].lengths.begin(), next[kAudioSlot + c].lengths.end());
            }
        } else {
            ++b.freq[kMainSlot][kNewTables];
            for (u32 s : {u32(kMainSlot), u32(kDistanceSlot), u32(kRepeatSlot)}) {
                next[s].Make(b.freq[s]);
                table.insert(table.end(), next[s].lengths.begin(), next[s].lengths.end());
            }
        }
        const bool keep = options.deltaTables && lastTableSize == table.size() && (blocks % 2) == 1;
        if (tablesSent && (audio != b.audio || (audio && channels != b.channels)))
            ++stats.modeChanges;
        ++(keep ? stats.deltaTables : stats.freshTables);
        ++(b.audio ? stats.audioBlocks[b.channels] : stats.lzBlocks);
        PutTables(out, b, table, keep, stats);
        for (const Entry& e : b.entries) {
            if (e.slot == kRawBits)
                out.Put(e.value, e.bits);
            else
                next[e.slot].Put(out, e.symbol);
        }
        audio = b.audio;
        if (b.audio)
            channels = b.channels;
        for (u32 s = 0; s < kSlots; ++s)
            if (!next[s].lengths.empty())
                codes[s] = std::move(next[s]);
        lastTableSize = u32(table.size());
        tablesSent = true;
        ++blocks;
    }
};

Rar20Packer::Rar20Packer() : state_(new State) {}

Rar20Packer::~Rar20Packer() { delete state_; }

std::vector<u8> Rar20Packer::Pack(const u8* data, std::size_t size, bool solid, const Rar20PackOptions& options,
                                  u32 align) {
    State& s = *state_;
    if (!solid)
        s.Reset();
    if (data == nullptr)
        size = 0;
    Rar20PackOptions opts = options;
    if (opts.blockCodes == 0)
        opts.blockCodes = 1;

    // The bytes the window holds from earlier members, then this member's.
    std::vector<u8> buffer;
    const u8 none = 0;
    if (size == 0)
        data = &none;
    const std::size_t kept = std::min<std::size_t>(s.history.size(), kWindowSize);
    buffer.reserve(kept + size);
    buffer.insert(buffer.end(), s.history.end() - std::ptrdiff_t(kept), s.history.end());
    buffer.insert(buffer.end(), data, data + size);
    const u32 base = u32(kept);
    s.buffer = &buffer;
    MatchFinder finder(buffer.data(), u32(buffer.size()));
    for (u32 i = 0; i < base; ++i)
        finder.Insert(i);

    std::vector<Rar20Segment> segments = opts.segments;
    if (segments.empty())
        segments.push_back({0, 0});
    BitWriter out;
    u32 pos = base;
    const u32 total = u32(buffer.size());
    if (pos == total) {
        // Nothing to pack: one block of tables alone.
        Block b;
        b.switchChannel = s.channel;
        s.PutBlock(out, b, opts, stats_);
    }
    for (std::size_t i = 0; i < segments.size() && pos < total; ++i) {
        const bool last = i + 1 == segments.size();
        u32 end = total;
        if (!last && segments[i].bytes != 0 && segments[i].bytes < total - pos)
            end = pos + segments[i].bytes;
        const u32 channels = std::min(segments[i].channels, kMaxChannels);
        while (pos < end) {
            Block b;
            if (channels == 0)
                s.CollectLz(b, finder, pos, end, opts, stats_);
            else
                s.CollectAudio(b, finder, pos, end, channels, opts);
            s.PutBlock(out, b, opts, stats_);
        }
    }
    s.buffer = nullptr;

    // Unpackers look one code past the end of a member for new tables that would serve
    // the next member of a solid archive: some only when five bytes are left, some
    // always. The slack gives them whole bits to read, and its bits (all zeros, or all
    // ones when zeros would read as new tables) never read as that code.
    const u64 end = out.BitCount();
    std::vector<u8> packed;
    for (u32 padBit = 0; padBit < 2; ++padBit) {
        packed = out.Finish(align, padBit);
        const i32 next = s.audio ? s.codes[kAudioSlot + s.channel].Read(packed, end)
                                 : s.codes[kMainSlot].Read(packed, end);
        if (next != i32(s.audio ? kAudioNewTables : kNewTables))
            break;
    }

    s.history.insert(s.history.end(), data, data + size);
    if (s.history.size() > kWindowSize)
        s.history.erase(s.history.begin(), s.history.end() - kWindowSize);
    return packed;
}

// Archives -------------------------------------------------------------------------------

namespace {

constexpr u16 kMainComment = 0x0002;
constexpr u16 kMainSolid = 0x0008;
constexpr u16 kFileEncrypted = 0x0004;
constexpr u16 kFileComment = 0x0008;
constexpr u16 kFileSolid = 0x0010;
constexpr u16 kFileWindow1M = 0x0080;  // dictionary size field: 1024 KB
constexpr u8 kMethodNormal = 0x33;
constexpr std::size_t kMainHeaderAt = 7;
constexpr std::size_t kMainHeaderSize = 13;
constexpr std::size_t kFileHeaderSize = 32;
constexpr std::size_t kCommentHeaderSize = 13;

u16 Get16(const u8* p) { return u16(p[0] | (p[1] << 8)); }
void Set16(u8* p, u32 v) {
    p[0] = u8(v);
    p[1] = u8(v >> 8);
}

// An embedded comment: a comment block (type 0x75) holding the text packed as a member
// of its own, the form RAR 2.x wrote (readers take a version-20 comment as packed).
bool CommentBlock(const std::string& text, std::vector<u8>* out) {
    Rar20Packer packer;
    const std::vector<u8> packed =
        packer.Pack(reinterpret_cast<const u8*>(text.data()), text.size(), false, Rar20PackOptions());
    if (text.size() > 0xFFFF || kCommentHeaderSize + packed.size() > 0xFFFF)
        return false;
    std::vector<u8>& b = *out;
    b.assign(kCommentHeaderSize, 0);
    b[2] = 0x75;
    Set16(&b[5], u32(kCommentHeaderSize + packed.size()));
    Set16(&b[7], u32(text.size()));
    b[9] = 20;  // version to unpack
    b[10] = kMethodNormal;
    Set16(&b[11], Crc32::Compute(text.data(), text.size()) & 0xFFFF);
    b.insert(b.end(), packed.begin(), packed.end());
    RarWriter::SealHeader(b.data());
    return true;
}

// Puts a comment block into the header at `at` after its first `fixed` bytes, sets the
// flag and seals the header over the fixed part or the whole of it.
bool EmbedComment(std::vector<u8>& bytes, std::size_t at, std::size_t fixed, u16 flag, const std::string& text,
                  bool fixedPartCrc) {
    std::vector<u8> block;
    if (!CommentBlock(text, &block))
        return false;
    u8* head = bytes.data() + at;
    const std::size_t headSize = Get16(head + 5) + block.size();
    if (headSize > 0xFFFF)
        return false;
    bytes.insert(bytes.begin() + std::ptrdiff_t(at + fixed), block.begin(), block.end());
    head = bytes.data() + at;
    Set16(head + 3, Get16(head + 3) | flag);
    Set16(head + 5, u32(headSize));
    if (fixedPartCrc)
        Set16(head, Crc32::Compute(head + 2, fixed - 2) & 0xFFFF);
    else
        RarWriter::SealHeader(head);
    return true;
}

} // namespace

bool Rar20WriteArchive(const std::vector<Rar20Member>& members, const Rar20ArchiveOptions& options,
                       std::vector<u8>* out, Rar20PackStats* stats) {
    if (out == nullptr)
        return false;
    out->clear();
    RarWriter writer(options.solid ? kMainSolid : 0);
    writer.SetPrefix(options.prefix);
    Rar20Packer packer;
    Rar20PackStats counts;
    const bool encrypt = !options.password.empty();
    bool afterFirst = false;
    struct Comment {
        std::size_t at;
        std::size_t fixed;
        std::string text;
    };
    std::vector<Comment> comments;
    // Readers that see a solid archive as one stream of every entry break the run at a
    // directory entry: in a solid archive the directories come before the first file.
    std::vector<const Rar20Member*> order;
    for (const Rar20Member& m : members)
        if (m.directory || !options.solid)
            order.push_back(&m);
    if (options.solid)
        for (const Rar20Member& m : members)
            if (!m.directory)
                order.push_back(&m);
    for (const Rar20Member* entry : order) {
        const Rar20Member& m = *entry;
        if (m.directory) {
            if (!writer.AddDirectory(m.name))
                return false;
            continue;
        }
        if (m.data.size() > 0xFFFFFFFFu)
            return false;
        RarFileFields f;
        f.name = writer.ArchiveName(m.name);
        if (f.name.empty() || f.name.size() > RarWriter::kMaxName || f.name.find('\0') != std::string::npos)
            return false;
        f.unpSize = u32(m.data.size());
        f.fileCrc = Crc32::Compute(m.data.data(), m.data.size());
        const bool continues = options.solid && afterFirst;
        afterFirst = true;
        const u32 align = encrypt ? Rar20Cipher::kBlockSize : 1;
        std::vector<u8> packed;
        bool compressed = false;
        // A solid archive is one stream: every member of it is packed, an empty one as a
        // block of tables alone, so the member after it has tables to go on with.
        if (options.compress && options.solid) {
            packed = packer.Pack(m.data.data(), m.data.size(), continues, m.options, align);
            compressed = true;
        } else if (options.compress && !m.store && !m.data.empty()) {
            packed = packer.Pack(m.data.data(), m.data.size(), continues, m.options, align);
            compressed = options.keepLarger || packed.size() < m.data.size();
        }
        if (compressed) {
            f.method = kMethodNormal;
            f.flags = u16(f.flags | kFileWindow1M);
            ++counts.packedMembers;
        } else {
            packed = m.data;
            while (encrypt && packed.size() % Rar20Cipher::kBlockSize != 0)
                packed.push_back(0);
            ++counts.storedMembers;
        }
        if (continues) {
            f.flags = u16(f.flags | kFileSolid);
            ++counts.solidMembers;
        }
        if (encrypt) {
            f.flags = u16(f.flags | kFileEncrypted);
            Rar20Cipher cipher;
            cipher.SetPassword(options.password.c_str());
            for (std::size_t i = 0; i + Rar20Cipher::kBlockSize <= packed.size(); i += Rar20Cipher::kBlockSize)
                cipher.EncryptBlock(packed.data() + i);
            ++counts.encryptedMembers;
        }
        if (packed.size() > 0xFFFFFFFFu)
            return false;
        f.packSize = u32(packed.size());
        const std::size_t at = writer.Bytes().size();
        if (!writer.AddFileBlock(f, packed.data(), packed.size()))
            return false;
        if (!m.comment.empty())
            comments.push_back({at, kFileHeaderSize + f.name.size(), m.comment});
    }
    std::vector<u8> bytes = writer.Take();
    // Later blocks first, so the places of earlier ones stay where they were.
    for (auto c = comments.rbegin(); c != comments.rend(); ++c)
        if (!EmbedComment(bytes, c->at, c->fixed, kFileComment, c->text, options.fixedPartHeaderCrc))
            return false;
    if (!options.comment.empty() &&
        !EmbedComment(bytes, kMainHeaderAt, kMainHeaderSize, kMainComment, options.comment, options.fixedPartHeaderCrc))
        return false;
    if (bytes.size() > 0xFFFFFFFFu)
        return false;
    counts.Add(packer.Stats());
    if (stats != nullptr)
        *stats = counts;
    *out = std::move(bytes);
    return true;
}

// Samples --------------------------------------------------------------------------------

namespace {

std::vector<u8> Text(std::mt19937& rng, std::size_t size) {
    static const char* const kWords[] = {
        "the",    "sand",   "moves",  "under",  "a",       "pale",    "moon",   "while",  "statues",
        "watch",  "over",   "palm",   "trees",  "and",     "ancient", "walls",  "of",     "Dunmerrow",
        "light",  "falls",  "across", "dunes",  "shadows", "stretch", "toward", "night",  "wind",
        "carries", "songs", "from",   "distant", "towers", "in",      "silence", "camera", "glides"};
    std::string text;
    while (text.size() < size) {
        text += kWords[rng() % (sizeof kWords / sizeof *kWords)];
        const u32 r = rng() % 16;
        text += r == 0 ? ".\r\n" : r == 1 ? ", " : " ";
    }
    text.resize(size);
    return std::vector<u8>(text.begin(), text.end());
}

// Interleaved 8-bit samples of smooth tones with a little noise, one tone per channel.
std::vector<u8> Wave(std::mt19937& rng, u32 channels, std::size_t frames) {
    std::vector<u8> out;
    out.reserve(frames * channels);
    for (std::size_t t = 0; t < frames; ++t)
        for (u32 c = 0; c < channels; ++c) {
            const double x = double(t);
            const double v = 128.0 + 70.0 * std::sin(x * (0.021 + 0.013 * c)) + 25.0 * std::sin(x * (0.0037 + 0.002 * c)) +
                             double(int(rng() % 7) - 3);
            out.push_back(u8(std::clamp(v, 0.0, 255.0)));
        }
    return out;
}

// Random bytes with copies planted at every length and distance class, repeats of the
// last match, reuses of each of the four recent distances, 2-byte matches at every short
// distance class, and matches longer than one code can carry. The random base is longer
// than the window, so the farthest classes have something to reach.
std::vector<u8> Planted(std::mt19937& rng) {
    std::vector<u8> d;
    d.reserve(0x140000);
    auto random = [&](std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            d.push_back(u8(rng()));
    };
    auto copy = [&](u32 length, u32 distance) {
        for (u32 i = 0; i < length; ++i)
            d.push_back(d[d.size() - distance]);
    };
    random(kWindowSize + 4096);
    // New distances: every class, at its bottom and its top, lengths past the far bonus.
    for (u32 dc = 0; dc < kDistanceCodes; ++dc)
        for (u32 top = 0; top < 2; ++top) {
            const u32 distance = kDistanceBase[dc] + 1 + (top ? (1u << kDistanceBits[dc]) - 1 : 0);
            copy(6 + rng() % 20, std::min(distance, kMaxDistance));
            random(5);
        }
    // Every length class of a new distance, at its bottom and its top, near and far.
    for (u32 far = 0; far < 2; ++far)
        for (u32 lc = 0; lc < 28; ++lc)
            for (u32 top = 0; top < 2; ++top) {
                const u32 distance = far ? 0x50000 + rng() % 0x1000 : 300 + rng() % 3000;
                const u32 length = kLengthBase[lc] + 3 + FarBonus(distance, false) + (top ? (1u << kLengthBits[lc]) - 1 : 0);
                copy(length, distance);
                random(5);
            }
    // The last match again: the same length at the same distance, one byte later.
    for (u32 i = 0; i < 12; ++i) {
        const u32 distance = 1000 + rng() % 60000;
        const u32 length = 3 + rng() % 40;
        copy(length, distance);
        random(1);
        copy(length, distance);
        random(6);
    }
    // Four recent distances, then reuses of each with lengths of every repeat class.
    const u32 kFar[4] = {0x60, 0x300, 0x3000, 0x50000};
    for (u32 lc = 0; lc < 28; ++lc)
        for (u32 k = 0; k < 4; ++k) {
            u32 set[4];
            for (u32 j = 0; j < 4; ++j) {
                set[j] = kFar[j] + rng() % 0x40;
                copy(8 + j, set[j]);
                random(3);
            }
            // The k-th most recent of the four, with a length of class lc.
            const u32 distance = set[3 - k];
            const u32 length = kLengthBase[lc] + 2 + FarBonus(distance, true) + (rng() % (1u << kLengthBits[lc]));
            copy(length, distance);
            random(3);
        }
    // 2-byte matches at every short distance class.
    for (u32 i = 0; i < 4; ++i)
        for (u32 sc = 0; sc < 8; ++sc) {
            random(300);
            copy(2, kShortBase[sc] + 1 + rng() % (1u << kShortBits[sc]));
        }
    // Runs and long copies: overlapping matches and lengths beyond one code.
    random(50);
    copy(700, 1);
    random(10);
    copy(900, 3);
    random(10);
    copy(2000, 40000);
    random(100);
    return d;
}

} // namespace

std::vector<Rar20Member> Rar20SampleMembers() {
    std::mt19937 rng(2001);
    std::vector<Rar20Member> members;
    auto add = [&](const std::string& name, std::vector<u8> data, u32 blockCodes, std::vector<Rar20Segment> segments = {}) {
        Rar20Member m;
        m.name = name;
        m.data = std::move(data);
        m.options.blockCodes = blockCodes;
        m.options.segments = std::move(segments);
        members.push_back(std::move(m));
    };
    add("Docs/readme.txt", Text(rng, 48000), 1500);
    members.back().comment = "The readme of the samples";
    add("Data/planted.bin", Planted(rng), 4000);
    for (u32 c = 1; c <= kMaxChannels; ++c)
        add("Sound/wave" + std::to_string(c) + ".raw", Wave(rng, c, 9000 / c + 500), 2500, {{0, c}});
    // One member through every mode, changing between them at block ends.
    std::vector<u8> mixed;
    std::vector<Rar20Segment> segments;
    auto part = [&](std::vector<u8> bytes, u32 channels) {
        segments.push_back({u32(bytes.size()), channels});
        mixed.insert(mixed.end(), bytes.begin(), bytes.end());
    };
    part(Text(rng, 3000), 0);
    part(Wave(rng, 1, 3000), 1);
    part(Wave(rng, 2, 1500), 2);
    part(Text(rng, 2000), 0);
    part(Wave(rng, 4, 1000), 4);
    part(Wave(rng, 3, 1000), 3);
    part(Wave(rng, 4, 500), 4);
    part(Text(rng, 2500), 0);
    add("Sound/mixed.bin", mixed, 1200, segments);
    std::vector<u8> noise(3000);
    for (u8& b : noise)
        b = u8(rng());
    add("Tiny/noise.bin", noise, 4000);
    add("Tiny/empty.txt", {}, 4000);
    add("Tiny/one.txt", {'x'}, 4000);
    add("Tiny/two.txt", {'a', 'b'}, 4000);
    add("Tiny/ten.txt", {'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b'}, 4000);
    Rar20Member folder;
    folder.name = "Empty Folder";
    folder.directory = true;
    members.push_back(folder);
    return members;
}

std::vector<Rar20Member> Rar20BenchMembers() {
    std::mt19937 rng(2002);
    std::vector<Rar20Member> members(3);
    members[0].name = "text.txt";
    members[0].data = Text(rng, 3000000);
    members[1].name = "wave.raw";
    members[1].data = Wave(rng, 2, 1500000);
    // Records of a vertex format: positions on a slowly changing grid, a normal, a colour.
    members[2].name = "model.bin";
    std::vector<u8>& model = members[2].data;
    for (u32 i = 0; model.size() < 2000000; ++i) {
        const float record[7] = {float(i % 64), float(i / 64 % 64), float(std::sin(i * 0.01)), 0.0f, 0.0f, 1.0f,
                                 float(rng() % 4)};
        const u8* bytes = reinterpret_cast<const u8*>(record);
        model.insert(model.end(), bytes, bytes + sizeof record);
    }
    return members;
}
