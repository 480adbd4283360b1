#include "Core/WString.h"

#include <stdlib.h>
#include <string.h>

#include "Core/Memory.h"
#include "Core/NumberText.h"
#include "Core/String.h"
#include "Core/TextCodec.h"
#include "Core/TextCompare.h"
#include "Core/ValueTypes.h"

namespace {

char16_t* AllocUnits(u32 length) { return MemAllocArray<char16_t>(static_cast<std::size_t>(length) + 1); }

char16_t* CopyUnits(const char16_t* p, u32 n) {
    char16_t* q = AllocUnits(n);
    if (n) memcpy(q, p, n * sizeof(char16_t));
    q[n] = 0;
    return q;
}

char16_t* JoinUnits(const char16_t* a, u32 la, const char16_t* b, u32 lb, u32* total) {
    *total = la + lb;
    if (*total == 0) return nullptr;
    char16_t* p = AllocUnits(*total);
    if (la) memcpy(p, a, la * sizeof(char16_t));
    if (lb) memcpy(p + la, b, lb * sizeof(char16_t));
    p[*total] = 0;
    return p;
}

constexpr char16_t kReplacement = 0xFFFD;

// Decodes into out (room for one unit per byte, and two per four-byte UTF-8
// character, so n units always suffice); returns the units written.
u32 DecodeInto(const u8* pos, const u8* end, int kind, char16_t* out) {
    char16_t* o = out;
    const bool asciiFast = kind == kTextUtf8 || kind == kTextCodePage;
    while (pos < end) {
        if (asciiFast) {
            // Plain ASCII (1..0x7F) needs no codec call.
            while (pos < end && static_cast<u8>(*pos - 1) < 0x7F) *o++ = *pos++;
            if (pos == end) break;
        }
        u32 consumed = 0, cp = 0;
        if (!DecodeCodePoint(pos, end, &consumed, &cp, kind)) {
            if (consumed == 0) break;  // an incomplete character at the end
            pos += consumed;
            continue;
        }
        pos += consumed;
        if (cp == 0) break;
        if (cp > kMaxCodePoint) {
            *o++ = kReplacement;
        } else if (cp > 0xFFFF) {
            cp -= 0x10000;
            *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
            *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            *o++ = static_cast<char16_t>(cp);
        }
    }
    return static_cast<u32>(o - out);
}

}  // namespace

// ---- construction --------------------------------------------------------------

WString::WString(const char16_t* text) : data(nullptr), length(0) {
    if (!text) return;
    length = WStrLength(text);
    data = CopyUnits(text, length);
}

WString::WString(const WString& other) : data(nullptr), length(0) {
    if (!other.data) return;
    data = CopyUnits(other.data, other.length);
    length = other.length;
}

WString& WString::operator=(WString&& other) noexcept {
    if (this == &other) return *this;
    Release();
    data = other.data;
    length = other.length;
    other.data = nullptr;
    other.length = 0;
    return *this;
}

WString WString::FromBuffer(char16_t* p, u32 n, bool copy) {
    WString w;
    if (!p) return w;
    if (copy) {
        w.data = CopyUnits(p, n);
    } else {
        w.data = p;
    }
    w.length = n;
    return w;
}

WString WString::FromChar(char c) {
    const char16_t unit = static_cast<char16_t>(static_cast<i16>(static_cast<signed char>(c)));
    return FromBuffer(const_cast<char16_t*>(&unit), 1, true);
}

WString WString::FromUnit(u16 unit) {
    const char16_t u = unit;
    return FromBuffer(const_cast<char16_t*>(&u), 1, true);
}

WString WString::FromNarrow(const char* text) {
    WString w;
    w.AssignNarrow(text);
    return w;
}

WString WString::FromString(const String& s) {
    WString w;
    w.Decode(s.data, s.length, kTextCodePage);
    return w;
}

WString WString::FromInt(i32 v, int radix) {
    char buffer[kIntTextSize];
    return FromNarrow(FormatInt(v, buffer, radix));
}

WString WString::FromReal(double v, int digits) {
    char buffer[kRealTextSize];
    return FromNarrow(FormatReal(v, digits, buffer));
}

// ---- release and assignment --------------------------------------------------------

void WString::Release() {
    MemFree(data);
    data = nullptr;
    length = 0;
}

void WString::Assign(const WString& source) {
    if (this == &source) return;
    if (source.length == 0) {
        Release();
        return;
    }
    WString copy(source);
    *this = static_cast<WString&&>(copy);
}

void WString::AssignText(const char16_t* text) {
    WString copy(text);  // text may point into our own buffer
    *this = static_cast<WString&&>(copy);
}

void WString::AssignNarrow(const char* text) {
    const u32 n = text ? static_cast<u32>(strlen(text)) : 0;
    Decode(text, n, kTextCodePage);
}

void WString::Append(const WString& tail) { SetConcat(*this, tail); }

// ---- codecs --------------------------------------------------------------------------

void WString::Decode(const void* bytes, u32 n, int kind) {
    if (!bytes || n == 0) {
        Release();
        return;
    }
    const u8* pos = static_cast<const u8*>(bytes);
    char16_t stackUnits[256];
    char16_t* scratch = n <= 256 ? stackUnits : AllocUnits(n);
    const u32 count = DecodeInto(pos, pos + n, kind, scratch);
    // The bytes may be our own buffer: build the result before releasing it.
    char16_t* result = count ? CopyUnits(scratch, count) : nullptr;
    if (scratch != stackUnits) MemFree(scratch);
    Release();
    data = result;
    length = count;
}

u32 WString::Encode(void* buffer, u32 size, int kind) const {
    u8* out = static_cast<u8*>(buffer);
    if (!out) size = 0;
    u32 total = 0, written = 0;
    bool copying = size > 0;
    const bool asciiFast = kind == kTextUtf8 || kind == kTextCodePage;
    for (u32 i = 0; i < length; ++i) {
        u32 cp = data[i];
        if (asciiFast && cp < 0x80) {
            ++total;
            if (copying) {
                if (written + 1 < size) {
                    out[written++] = static_cast<u8>(cp);
                } else {
                    copying = false;
                }
            }
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && data[i + 1] >= 0xDC00 && data[i + 1] <= 0xDFFF) {
            cp = ((cp - 0xD800) << 10) + (data[i + 1] - 0xDC00) + 0x10000;
            ++i;
        }
        u8 one[4];
        u32 n = 0;
        if (!EncodeCodePoint(one, one + 4, &n, cp, kind)) continue;  // not representable
        total += n;
        if (!copying) continue;
        // Keep room for the terminator; after the first character that does not
        // fit, stop writing so that the text is a clean prefix.
        if (written + n < size) {
            memcpy(out + written, one, n);
            written += n;
        } else {
            copying = false;
        }
    }
    if (size > 0) out[written] = 0;
    return total;
}

// ---- concatenation ---------------------------------------------------------------------

void WString::SetConcat(const WString& a, const WString& b) {
    u32 total;
    char16_t* p = JoinUnits(a.data, a.length, b.data, b.length, &total);
    Release();
    data = p;
    length = total;
}

void WString::SetConcatText(const WString& a, const char16_t* text) {
    u32 total;
    char16_t* p = JoinUnits(a.data, a.length, text, WStrLength(text), &total);
    Release();
    data = p;
    length = total;
}

void WString::SetTextConcat(const char16_t* text, const WString& b) {
    u32 total;
    char16_t* p = JoinUnits(text, WStrLength(text), b.data, b.length, &total);
    Release();
    data = p;
    length = total;
}

WString WString::Concat(const WString& a, const WString& b) {
    WString w;
    w.SetConcat(a, b);
    return w;
}

WString WString::ConcatText(const WString& a, const char16_t* text) {
    WString w;
    w.SetConcatText(a, text);
    return w;
}

WString WString::TextConcat(const char16_t* text, const WString& b) {
    WString w;
    w.SetTextConcat(text, b);
    return w;
}

WString WString::Mid(int first, int last) const {
    WString w;
    if (length == 0) return w;
    const i64 lastIndex = static_cast<i64>(length) - 1;
    i64 f = first, l = last;
    if (l == -1) l = lastIndex;
    if (f > lastIndex || l < f) return w;
    if (l > lastIndex) l = lastIndex;
    if (f < 0) f = 0;
    if (l < f) return w;
    return FromBuffer(data + f, static_cast<u32>(l - f + 1), true);
}

WString WString::Insert(const WString& source, int position, const WString& text) {
    const u32 at = (position < 0 || static_cast<u32>(position) > source.length) ? source.length
                                                                                 : static_cast<u32>(position);
    const u32 total = source.length + text.length;
    WString w;
    if (total == 0) return w;
    char16_t* p = AllocUnits(total);
    if (at) memcpy(p, source.data, at * sizeof(char16_t));
    if (text.length) memcpy(p + at, text.data, text.length * sizeof(char16_t));
    if (source.length > at) memcpy(p + at + text.length, source.data + at, (source.length - at) * sizeof(char16_t));
    p[total] = 0;
    w.data = p;
    w.length = total;
    return w;
}

// ---- search --------------------------------------------------------------------------------

int WString::Find(const WString& needle, bool fromEnd) const {
    if (length == 0 || needle.length == 0 || needle.length > length) return -1;
    const u32 n = needle.length;
    const char16_t first = needle.data[0];
    const size_t bytes = n * sizeof(char16_t);
    if (!fromEnd) {
        for (u32 i = 0; i + n <= length; ++i) {
            if (data[i] == first && memcmp(data + i, needle.data, bytes) == 0) return static_cast<int>(i);
        }
        return -1;
    }
    for (i64 i = static_cast<i64>(length) - n; i >= 0; --i) {
        if (data[i] == first && memcmp(data + i, needle.data, bytes) == 0) return static_cast<int>(i);
    }
    return -1;
}

// ---- numbers -----------------------------------------------------------------------------------

namespace {
// strtod over the ASCII prefix of the text; true when it used every unit.
bool ParseWhole(const WString& w, double* value) {
    char stackText[128];
    char* text = w.length < sizeof stackText ? stackText : MemAllocArray<char>(static_cast<std::size_t>(w.length) + 1);
    u32 n = 0;
    while (n < w.length && w.data[n] != 0 && w.data[n] < 0x80) {
        text[n] = static_cast<char>(w.data[n]);
        ++n;
    }
    text[n] = 0;
    // Stopping early at a unit that is no ASCII leaves characters over.
    const bool whole = String::ParseWholeNumber(text, n, value) && n == w.length;
    if (text != stackText) MemFree(text);
    return whole;
}
}  // namespace

bool WString::ToReal(double* out) const {
    if (!out) return false;
    *out = 0.0;
    if (length == 0) return true;
    return ParseWhole(*this, out);
}

bool WString::ToInt(i32* out) const {
    if (!out) return false;
    *out = 0;
    if (length == 0) return true;
    double v;
    if (!ParseWhole(*this, &v)) return false;
    if (!(v > -2147483649.0 && v < 2147483648.0)) return false;
    *out = static_cast<i32>(v);
    return true;
}

// ---- comparison --------------------------------------------------------------------------------

bool WString::Equals(const WString& a, const WString& b) { return WStrCompare(a.data, b.data) == 0; }
bool WString::EqualsText(const WString& a, const char16_t* text) { return WStrCompare(a.data, text) == 0; }
int WString::Compare(const WString& a, const WString& b) { return WStrCompare(a.data, b.data); }
int WString::CompareText(const WString& a, const char16_t* text) { return WStrCompare(a.data, text); }

int WStringOrder::operator()(const WString& a, const WString& b) const { return WStrCompare(a.data, b.data); }

WString Trim(const WString& s) {
    if (s.length == 0) return WString();
    u32 front = 0;
    while (front < s.length && IsBlank(s.data[front])) ++front;
    u32 back = s.length - 1;
    while (back > 0 && IsBlank(s.data[back])) --back;
    if (front > back) return WString();
    return WString::FromBuffer(s.data + front, back - front + 1, true);
}
