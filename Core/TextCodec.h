// Single-character conversions between code points and bytes in the engine's six
// text encodings. Each call returns success and reports the bytes it consumed or
// produced.
#pragma once

#include "Core/Types.h"

// Encoding kinds, passed to every codec call.
constexpr int kTextCodePage = 1;  // the current code page, one byte per character
constexpr int kTextUtf8 = 2;
constexpr int kTextUtf16Le = 3;
constexpr int kTextUtf16Be = 4;
constexpr int kTextUtf32Le = 5;
constexpr int kTextUtf32Be = 6;

// Reported (with success) for bytes that do not form a character.
constexpr u32 kInvalidCodePoint = 0xFFFFFFFFu;
constexpr u32 kMaxCodePoint = 0x10FFFFu;

// Decodes the character at pos; end is one past the last byte.
// - Failure with *consumed == 0: no complete character is left (the bytes left
//   are the start of a character that runs past end), or bad arguments.
// - UTF-8: the BOM EF BB BF decodes to 0 consuming 3; a bad lead byte, a bad
//   continuation byte, an overlong form or a value above 0x10FFFF decodes to
//   kInvalidCodePoint consuming 1.
// - UTF-16: a surrogate pair is joined; a high surrogate cut off by the end fails
//   consuming 2; a surrogate without its partner is kInvalidCodePoint consuming 2.
// - UTF-32: values above 0x10FFFF are kInvalidCodePoint.
bool DecodeCodePoint(const u8* pos, const u8* end, u32* consumed, u32* codePoint, int kind);

// Encodes one code point at pos; end is one past the room. Every failure writes
// nothing and reports 0 bytes. Code points above 0x10FFFF fail in every kind but
// UTF-32; the code page takes code points below 0x10000 as their low byte.
bool EncodeCodePoint(u8* pos, u8* end, u32* written, u32 codePoint, int kind);
