// The block cipher of RAR 2.0 encrypted members: 16-byte blocks, 32 rounds of a Feistel
// network over four 32-bit words, with a byte substitution table and a four-word key that
// both come from the password. After every block the key words are stirred with the
// CRC-32 table entries of that block's cipher text, so a member must be decrypted from
// its first block on, and each member starts again from the password.
//
// Encryption lives here too because setting up the key encrypts the password itself;
// the archive tools use it to write encrypted members.
#pragma once

#include "Core/Types.h"

class Rar20Cipher {
public:
    static constexpr u32 kBlockSize = 16;
    // Password bytes that take part in the key; longer passwords are cut here.
    static constexpr u32 kMaxPassword = 127;

    Rar20Cipher() = default;
    ~Rar20Cipher() { Clear(); }
    Rar20Cipher(const Rar20Cipher&) = delete;
    Rar20Cipher& operator=(const Rar20Cipher&) = delete;

    // Sets the key and the substitution table from a zero-terminated password (null is
    // the empty password).
    void SetPassword(const char* password);
    // Works in place on one 16-byte block.
    void EncryptBlock(u8* block);
    void DecryptBlock(u8* block);
    // Whole blocks only: a trailing part shorter than a block is left as it is.
    void Decrypt(u8* data, u32 size);
    // Forgets the key material.
    void Clear();

private:
    void Round(u32* a, u32* b, u32* c, u32* d, int round) const;
    void Transform(u8* block, bool backwards) const;
    u32 Substitute(u32 word) const;
    void StirKey(const u8* cipherText);

    u32 key[4] = {};
    u8 table[256] = {};
};
