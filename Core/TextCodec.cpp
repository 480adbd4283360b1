#include "Core/TextCodec.h"

#include <stdlib.h>

namespace {

bool IsContinuation(u8 b) { return (b & 0xC0) == 0x80; }

u32 ReadUnit16(const u8* p, bool bigEndian) {
    return bigEndian ? (u32(p[0]) << 8 | p[1]) : (u32(p[1]) << 8 | p[0]);
}

void WriteUnit16(u8* p, u32 unit, bool bigEndian) {
    const u8 hi = static_cast<u8>(unit >> 8), lo = static_cast<u8>(unit);
    p[0] = bigEndian ? hi : lo;
    p[1] = bigEndian ? lo : hi;
}

bool DecodeCodePage(const u8* pos, u32* consumed, u32* codePoint) {
    const u8 b = *pos;
    *consumed = 1;
    if (b < 0x80) {  // the basic character set is the same in every code page
        *codePoint = b;
        return true;
    }
    // Only this one byte is ours to read, whatever the locale's longest character.
    wchar_t wc = 0;
    const char c = static_cast<char>(b);
    if (mbtowc(&wc, &c, 1) == 1 && static_cast<u32>(wc) <= kMaxCodePoint) {
        *codePoint = static_cast<u32>(wc);
    } else {
        mbtowc(nullptr, nullptr, 0);  // forget any half-read shift state
        *codePoint = b;               // read the byte as Latin-1
    }
    return true;
}

bool DecodeUtf8(const u8* pos, u32 avail, u32* consumed, u32* codePoint) {
    const u8 b0 = pos[0];
    if (b0 < 0x80) {
        *consumed = 1;
        *codePoint = b0;
        return true;
    }
    if (avail >= 3 && b0 == 0xEF && pos[1] == 0xBB && pos[2] == 0xBF) {
        *consumed = 3;
        *codePoint = 0;
        return true;
    }
    u32 need;
    u32 value;
    u8 low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 2;
        value = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 3;
        value = b0 & 0x0F;
        if (b0 == 0xE0) low = 0xA0;  // no overlong forms
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 4;
        value = b0 & 0x07;
        if (b0 == 0xF0) low = 0x90;
        if (b0 == 0xF4) high = 0x8F;  // nothing above 0x10FFFF
    } else {
        *consumed = 1;
        *codePoint = kInvalidCodePoint;
        return true;
    }
    // Check what is there before deciding whether the sequence is merely cut off.
    for (u32 i = 1; i < need && i < avail; ++i) {
        const u8 b = pos[i];
        const bool ok = i == 1 ? (b >= low && b <= high) : IsContinuation(b);
        if (!ok) {
            *consumed = 1;
            *codePoint = kInvalidCodePoint;
            return true;
        }
        value = value << 6 | (b & 0x3F);
    }
    if (avail < need) {
        *consumed = 0;
        return false;
    }
    *consumed = need;
    *codePoint = value;
    return true;
}

bool DecodeUtf16(const u8* pos, u32 avail, bool bigEndian, u32* consumed, u32* codePoint) {
    if (avail < 2) {
        *consumed = 0;
        return false;
    }
    const u32 first = ReadUnit16(pos, bigEndian);
    if (first < 0xD800 || first > 0xDFFF) {
        *consumed = 2;
        *codePoint = first;
        return true;
    }
    if (first >= 0xDC00) {  // a low surrogate without its high one
        *consumed = 2;
        *codePoint = kInvalidCodePoint;
        return true;
    }
    if (avail < 4) {
        *consumed = 2;
        return false;
    }
    const u32 second = ReadUnit16(pos + 2, bigEndian);
    if (second < 0xDC00 || second > 0xDFFF) {
        *consumed = 2;
        *codePoint = kInvalidCodePoint;
        return true;
    }
    *consumed = 4;
    *codePoint = ((first - 0xD800) << 10) + (second - 0xDC00) + 0x10000;
    return true;
}

bool DecodeUtf32(const u8* pos, u32 avail, bool bigEndian, u32* consumed, u32* codePoint) {
    if (avail < 4) {
        *consumed = 0;
        return false;
    }
    const u32 v = bigEndian ? (u32(pos[0]) << 24 | u32(pos[1]) << 16 | u32(pos[2]) << 8 | pos[3])
                            : (u32(pos[3]) << 24 | u32(pos[2]) << 16 | u32(pos[1]) << 8 | pos[0]);
    *consumed = 4;
    *codePoint = v <= kMaxCodePoint ? v : kInvalidCodePoint;
    return true;
}

}  // namespace

bool DecodeCodePoint(const u8* pos, const u8* end, u32* consumed, u32* codePoint, int kind) {
    if (!consumed || !codePoint) return false;
    *consumed = 0;
    if (!pos || !end || end <= pos) return false;
    const u32 avail = static_cast<u32>(end - pos);
    switch (kind) {
        case kTextCodePage: return DecodeCodePage(pos, consumed, codePoint);
        case kTextUtf8: return DecodeUtf8(pos, avail, consumed, codePoint);
        case kTextUtf16Le: return DecodeUtf16(pos, avail, false, consumed, codePoint);
        case kTextUtf16Be: return DecodeUtf16(pos, avail, true, consumed, codePoint);
        case kTextUtf32Le: return DecodeUtf32(pos, avail, false, consumed, codePoint);
        case kTextUtf32Be: return DecodeUtf32(pos, avail, true, consumed, codePoint);
        default: return false;
    }
}

bool EncodeCodePoint(u8* pos, u8* end, u32* written, u32 cp, int kind) {
    if (!written) return false;
    *written = 0;
    if (!pos || !end || end < pos) return false;
    const u32 room = static_cast<u32>(end - pos);
    u8 out[4];
    u32 n = 0;
    switch (kind) {
        case kTextCodePage:
            if (cp >= 0x10000) return false;
            out[n++] = static_cast<u8>(cp);
            break;
        case kTextUtf8:
            if (cp > kMaxCodePoint) return false;
            if (cp < 0x80) {
                out[n++] = static_cast<u8>(cp);
            } else if (cp < 0x800) {
                out[n++] = static_cast<u8>(0xC0 | cp >> 6);
                out[n++] = static_cast<u8>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                out[n++] = static_cast<u8>(0xE0 | cp >> 12);
                out[n++] = static_cast<u8>(0x80 | (cp >> 6 & 0x3F));
                out[n++] = static_cast<u8>(0x80 | (cp & 0x3F));
            } else {
                out[n++] = static_cast<u8>(0xF0 | cp >> 18);
                out[n++] = static_cast<u8>(0x80 | (cp >> 12 & 0x3F));
                out[n++] = static_cast<u8>(0x80 | (cp >> 6 & 0x3F));
                out[n++] = static_cast<u8>(0x80 | (cp & 0x3F));
            }
            break;
        case kTextUtf16Le:
        case kTextUtf16Be: {
            if (cp > kMaxCodePoint) return false;
            const bool be = kind == kTextUtf16Be;
            if (cp < 0x10000) {
                WriteUnit16(out, cp, be);
                n = 2;
            } else {
                WriteUnit16(out, ((cp - 0x10000) >> 10) + 0xD800, be);
                WriteUnit16(out + 2, (cp & 0x3FF) + 0xDC00, be);
                n = 4;
            }
            break;
        }
        case kTextUtf32Le:
        case kTextUtf32Be:
            for (int i = 0; i < 4; ++i) {
                const int shift = kind == kTextUtf32Be ? 24 - 8 * i : 8 * i;
                out[i] = static_cast<u8>(cp >> shift);
            }
            n = 4;
            break;
        default:
            return false;
    }
    if (n > room) return false;
    for (u32 i = 0; i < n; ++i) pos[i] = out[i];
    *written = n;
    return true;
}
