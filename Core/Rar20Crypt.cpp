#include "Core/Rar20Crypt.h"

#include "Core/Crc32.h"

#include <cstring>

namespace {

constexpr int kRounds = 32;

// The key words every password starts from.
constexpr u32 kInitialKey[4] = {0xD3A3B879u, 0x3F6D12F7u, 0x7515A235u, 0xA4E7F123u};

// The substitution table every password starts from (a permutation of 0..255).
constexpr u8 kInitialTable[256] = {
    215, 19,  149, 35,  73,  197, 192, 205, 249, 28,  16,  119, 48,  221, 2,   42,
    232, 1,   177, 233, 14,  88,  219, 25,  223, 195, 244, 90,  87,  239, 153, 137,
    255, 199, 147, 70,  92,  66,  246, 13,  216, 40,  62,  29,  217, 230, 86,  6,
    71,  24,  171, 196, 101, 113, 218, 123, 93,  91,  163, 178, 202, 67,  44,  235,
    107, 250, 75,  234, 49,  167, 125, 211, 83,  114, 157, 144, 32,  193, 143, 36,
    158, 124, 247, 187, 89,  214, 141, 47,  121, 228, 61,  130, 213, 194, 174, 251,
    97,  110, 54,  229, 115, 57,  152, 94,  105, 243, 212, 55,  209, 245, 63,  11,
    164, 200, 31,  156, 81,  176, 227, 21,  76,  99,  139, 188, 127, 17,  248, 51,
    207, 120, 189, 210, 8,   226, 41,  72,  183, 203, 135, 165, 166, 60,  98,  7,
    122, 38,  155, 170, 69,  172, 252, 238, 39,  134, 59,  128, 236, 27,  240, 80,
    131, 3,   85,  206, 145, 79,  154, 142, 159, 220, 201, 133, 74,  64,  20,  129,
    224, 185, 138, 103, 173, 182, 43,  34,  254, 82,  198, 151, 231, 180, 58,  10,
    118, 26,  102, 12,  50,  132, 22,  191, 136, 111, 162, 179, 45,  4,   148, 108,
    161, 56,  78,  126, 242, 222, 15,  175, 146, 23,  33,  241, 181, 190, 77,  225,
    0,   46,  169, 186, 68,  95,  237, 65,  53,  208, 253, 168, 9,   18,  100, 52,
    116, 184, 160, 96,  109, 37,  30,  106, 140, 104, 150, 5,   204, 117, 112, 84,
};

// The entries of the CRC-32 table (the key stirring and the table shuffle use them, not
// a checksum): an entry is the register after one byte fed into a zero register.
struct CrcTable {
    u32 t[256];
    CrcTable() {
        for (u32 i = 0; i < 256; ++i) {
            const u8 byte = u8(i);
            t[i] = Crc32::Update(0, &byte, 1);
        }
    }
};

const CrcTable& Crc() {
    static const CrcTable table;
    return table;
}

inline u32 Rotl(u32 x, int n) { return (x << n) | (x >> (32 - n)); }

inline u32 Load32(const u8* p) {
    return u32(p[0]) | (u32(p[1]) << 8) | (u32(p[2]) << 16) | (u32(p[3]) << 24);
}

inline void Store32(u8* p, u32 v) {
    p[0] = u8(v);
    p[1] = u8(v >> 8);
    p[2] = u8(v >> 16);
    p[3] = u8(v >> 24);
}

} // namespace

void Rar20Cipher::Clear() {
    // volatile keeps the compiler from dropping the stores as dead.
    volatile u8* k = reinterpret_cast<volatile u8*>(key);
    for (u32 i = 0; i < sizeof key; ++i)
        k[i] = 0;
    volatile u8* t = table;
    for (u32 i = 0; i < sizeof table; ++i)
        t[i] = 0;
}

void Rar20Cipher::SetPassword(const char* password) {
    u8 padded[kMaxPassword + 1 + kBlockSize] = {};
    u32 length = 0;
    if (password != nullptr)
        while (length < kMaxPassword && password[length] != 0) {
            padded[length] = u8(password[length]);
            ++length;
        }
    const CrcTable& crc = Crc();
    std::memcpy(key, kInitialKey, sizeof key);
    std::memcpy(table, kInitialTable, sizeof table);
    // The table is shuffled by pairs of password bytes (the terminator pairs with an odd
    // last byte); each pair and round gives a run of swaps between two CRC-chosen places.
    for (u32 round = 0; round < 256; ++round)
        for (u32 i = 0; i < length; i += 2) {
            u32 n1 = u8(crc.t[(padded[i] - round) & 0xFF]);
            const u32 n2 = u8(crc.t[(padded[i + 1] + round) & 0xFF]);
            for (u32 k = 1; n1 != n2; n1 = (n1 + 1) & 0xFF, ++k) {
                const u32 other = (n1 + i + k) & 0xFF;
                const u8 swap = table[n1];
                table[n1] = table[other];
                table[other] = swap;
            }
        }
    // Encrypting the zero-padded password stirs the key with it.
    for (u32 i = 0; i < length; i += kBlockSize)
        EncryptBlock(padded + i);
    volatile u8* wipe = padded;
    for (u32 i = 0; i < sizeof padded; ++i)
        wipe[i] = 0;
}

u32 Rar20Cipher::Substitute(u32 w) const {
    return u32(table[w & 0xFF]) | (u32(table[(w >> 8) & 0xFF]) << 8) | (u32(table[(w >> 16) & 0xFF]) << 16) |
           (u32(table[w >> 24]) << 24);
}

// One Feistel round: the two right words mix into the two left words, and the halves swap.
void Rar20Cipher::Round(u32* a, u32* b, u32* c, u32* d, int round) const {
    const u32 k = key[round & 3];
    const u32 ta = *a ^ Substitute((*c + Rotl(*d, 11)) ^ k);
    const u32 tb = *b ^ Substitute((*d ^ Rotl(*c, 17)) + k);
    *a = *c;
    *b = *d;
    *c = ta;
    *d = tb;
}

void Rar20Cipher::StirKey(const u8* cipherText) {
    const CrcTable& crc = Crc();
    for (u32 i = 0; i < kBlockSize; i += 4) {
        key[0] ^= crc.t[cipherText[i]];
        key[1] ^= crc.t[cipherText[i + 1]];
        key[2] ^= crc.t[cipherText[i + 2]];
        key[3] ^= crc.t[cipherText[i + 3]];
    }
}

// Whitening with the key, the rounds in either order, the halves swapped back, and the
// key whitening again: decryption is the same network run backwards.
void Rar20Cipher::Transform(u8* block, bool backwards) const {
    u32 a = Load32(block) ^ key[0];
    u32 b = Load32(block + 4) ^ key[1];
    u32 c = Load32(block + 8) ^ key[2];
    u32 d = Load32(block + 12) ^ key[3];
    for (int r = 0; r < kRounds; ++r)
        Round(&a, &b, &c, &d, backwards ? kRounds - 1 - r : r);
    Store32(block, c ^ key[0]);
    Store32(block + 4, d ^ key[1]);
    Store32(block + 8, a ^ key[2]);
    Store32(block + 12, b ^ key[3]);
}

void Rar20Cipher::EncryptBlock(u8* block) {
    Transform(block, false);
    StirKey(block);
}

void Rar20Cipher::DecryptBlock(u8* block) {
    u8 cipherText[kBlockSize];
    std::memcpy(cipherText, block, kBlockSize);
    Transform(block, true);
    StirKey(cipherText);
}

void Rar20Cipher::Decrypt(u8* data, u32 size) {
    for (u32 done = 0; size - done >= kBlockSize; done += kBlockSize)
        DecryptBlock(data + done);
}
