#include "Core/Crc32.h"

namespace {

// Sixteen tables let the loop fold sixteen input bytes per step: table k holds the
// register contribution of a byte that still has k further bytes to pass through.
constexpr int kSlices = 16;

struct Crc32Tables {
    u32 t[kSlices][256];
};

constexpr Crc32Tables MakeTables() {
    Crc32Tables tables{};
    for (u32 i = 0; i < 256; ++i) {
        u32 c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : (c >> 1);
        tables.t[0][i] = c;
    }
    for (int k = 1; k < kSlices; ++k)
        for (u32 i = 0; i < 256; ++i) {
            const u32 prev = tables.t[k - 1][i];
            tables.t[k][i] = (prev >> 8) ^ tables.t[0][prev & 0xFFu];
        }
    return tables;
}

constexpr Crc32Tables kTables = MakeTables();

inline u32 Load32(const u8* p) {
    return u32(p[0]) | (u32(p[1]) << 8) | (u32(p[2]) << 16) | (u32(p[3]) << 24);
}

} // namespace

u32 Crc32::Update(u32 running, const void* data, std::size_t size) {
    if (data == nullptr)
        return running;
    const u8* p = static_cast<const u8*>(data);
    const auto& t = kTables.t;
    u32 c = running;
    while (size >= kSlices) {
        const u32 a = c ^ Load32(p);
        c = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
            t[11][p[4]] ^ t[10][p[5]] ^ t[9][p[6]] ^ t[8][p[7]] ^
            t[7][p[8]] ^ t[6][p[9]] ^ t[5][p[10]] ^ t[4][p[11]] ^
            t[3][p[12]] ^ t[2][p[13]] ^ t[1][p[14]] ^ t[0][p[15]];
        p += kSlices;
        size -= kSlices;
    }
    while (size-- > 0)
        c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
    return c;
}
