#include "Core/String.h"

#include <ctype.h>
#include <locale.h>
#include <stdlib.h>
#include <string.h>

#include <charconv>

#include "Core/Array.h"
#include "Core/Memory.h"
#include "Core/NumberText.h"
#include "Core/TextCodec.h"
#include "Core/TextCompare.h"
#include "Core/ValueTypes.h"
#include "Core/WString.h"

namespace {

char* AllocText(u32 length) { return MemAllocArray<char>(static_cast<std::size_t>(length) + 1); }

// A fresh exact buffer holding a then b, terminated; null when both are empty.
char* JoinTexts(const char* a, u32 la, const char* b, u32 lb, u32* total) {
    *total = la + lb;
    if (*total == 0) return nullptr;
    char* p = AllocText(*total);
    if (la) memcpy(p, a, la);
    if (lb) memcpy(p + la, b, lb);
    p[*total] = 0;
    return p;
}

u32 TextLength(const char* text) { return text ? static_cast<u32>(strlen(text)) : 0; }

}  // namespace

// ---- construction ----------------------------------------------------------

String::String(const String& other) : data(nullptr), length(0), borrowed(0) {
    if (other.length == 0) return;
    data = AllocText(other.length);
    memcpy(data, other.data, other.length);
    data[other.length] = 0;
    length = other.length;
}

String::String(String&& other) noexcept : data(nullptr), length(0), borrowed(0) {
    if (other.borrowed) {
        // Not ours to hand on: the new String owns a copy.
        String copy(other);
        data = copy.data;
        length = copy.length;
        copy.data = nullptr;
        copy.length = 0;
        return;
    }
    data = other.data;
    length = other.length;
    other.data = nullptr;
    other.length = 0;
}

String::String(const char* text) : data(nullptr), length(0), borrowed(0) { AssignText(text); }

String& String::operator=(String&& other) noexcept {
    if (this == &other) return *this;
    if (other.borrowed) {
        Assign(other);
        return *this;
    }
    Release();
    borrowed = 0;
    data = other.data;
    length = other.length;
    other.data = nullptr;
    other.length = 0;
    return *this;
}

String String::FromText(const char* text) { return String(text); }

String String::FromBuffer(char* p, u32 n, bool copy) {
    String s;
    if (copy) {
        if (!p || n == 0) return s;
        s.data = AllocText(n);
        memcpy(s.data, p, n);
        s.data[n] = 0;
        s.length = n;
        return s;
    }
    if (p && n == 0) {
        MemFree(p);  // ours now, and an empty String holds no buffer
        return s;
    }
    if (!p) return s;
    s.data = p;
    s.length = n;
    return s;
}

String String::FromChar(char c) {
    String s;
    s.data = AllocText(1);
    s.data[0] = c;
    s.data[1] = 0;
    s.length = 1;
    return s;
}

String String::FromWString(const WString& w) {
    String s;
    if (w.length == 0) return s;
    // One byte per unit at most; characters the code page cannot hold are dropped.
    const u32 room = w.length + 1;
    char* buffer = AllocText(w.length);
    const u32 total = w.Encode(buffer, room, kTextCodePage);
    if (total == 0) {
        MemFree(buffer);
        return s;
    }
    if (total == w.length) {
        s.data = buffer;
        s.length = total;
        return s;
    }
    s = FromBuffer(buffer, total, true);
    MemFree(buffer);
    return s;
}

String String::FromReal(double v, int digits) {
    char buffer[kRealTextSize];
    return String(FormatReal(v, digits, buffer));
}

String String::FromInt(int v, int radix) {
    char buffer[kIntTextSize];
    return String(FormatInt(v, buffer, radix));
}

String String::FromWord(u16 v, int radix) { return FromInt(static_cast<int>(v), radix); }

String String::Borrow(const char* text, u32 n) {
    String s;
    if (!text || n == 0) return s;
    s.data = const_cast<char*>(text);
    s.length = n;
    s.borrowed = 1;
    return s;
}

// ---- release and assignment --------------------------------------------------

void String::Release() {
    if (!borrowed) MemFree(data);
    data = nullptr;
    length = 0;
}

void String::Assign(const String& source) {
    if (this == &source) return;
    // Copy first: the source may be a view into our own text.
    String copy(source);
    Release();
    borrowed = 0;
    data = copy.data;
    length = copy.length;
    copy.data = nullptr;
    copy.length = 0;
}

void String::AssignText(const char* text) {
    const u32 n = TextLength(text);
    char* p = nullptr;
    if (n) {
        p = AllocText(n);
        memcpy(p, text, n + 1);
    }
    Release();
    borrowed = 0;
    data = p;
    length = n;
}

void String::Append(const String& tail) { SetConcat(*this, tail); }

// ---- concatenation ---------------------------------------------------------

void String::SetConcat(const String& a, const String& b) {
    u32 total;
    char* p = JoinTexts(a.data, a.length, b.data, b.length, &total);
    Release();
    borrowed = 0;  // whatever we held, the new buffer is ours
    data = p;
    length = total;
}

void String::SetConcatText(const String& a, const char* text) {
    u32 total;
    char* p = JoinTexts(a.data, a.length, text, TextLength(text), &total);
    Release();
    borrowed = 0;
    data = p;
    length = total;
}

void String::SetTextConcat(const char* text, const String& b) {
    u32 total;
    char* p = JoinTexts(text, TextLength(text), b.data, b.length, &total);
    Release();
    borrowed = 0;
    data = p;
    length = total;
}

String String::Concat(const String& a, const String& b) {
    String s;
    s.SetConcat(a, b);
    return s;
}

String String::ConcatText(const String& a, const char* text) {
    String s;
    s.SetConcatText(a, text);
    return s;
}

String String::TextConcat(const char* text, const String& b) {
    String s;
    s.SetTextConcat(text, b);
    return s;
}

// ---- search ------------------------------------------------------------------

int String::Find(const String& needle, bool fromEnd) const {
    if (length == 0 || needle.length == 0) return -1;
    if (!fromEnd) {
        const char* hit = strstr(data, needle.data);
        return hit ? static_cast<int>(hit - data) : -1;
    }
    if (needle.length > length) return -1;
    for (i64 i = static_cast<i64>(length) - needle.length; i >= 0; --i) {
        if (data[i] == needle.data[0] && memcmp(data + i, needle.data, needle.length) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

int String::FindNoCase(const String& needle, bool fromEnd) const {
    if (length == 0) return -1;
    return ToLower(*this).Find(ToLower(needle), fromEnd);
}

String String::Substring(int first, int last) const {
    String s;
    if (length == 0) return s;
    const i64 lastIndex = static_cast<i64>(length) - 1;
    i64 f = first, l = last;
    if (l == -1) l = lastIndex;
    if (f > lastIndex || l < f) return s;
    if (l > lastIndex) l = lastIndex;
    if (f < 0) f = 0;
    if (l < f) return s;  // both ends before the text
    return FromBuffer(data + f, static_cast<u32>(l - f + 1), true);
}

bool String::Split(char separator, Array<String>& parts) const {
    parts.Clear();
    const char* text = c_str();
    u32 start = 0;
    for (u32 i = 0; i <= length; ++i) {
        if (i < length && text[i] != separator) continue;
        // FromBuffer gives the empty String for an empty piece and when memory runs out;
        // only a non-empty piece that came back empty tells the two apart.
        String piece = FromBuffer(const_cast<char*>(text + start), i - start, true);
        if ((piece.length != i - start) || !parts.Add(piece)) {
            parts.Clear();
            return false;
        }
        start = i + 1;
    }
    return true;
}

// ---- numbers -------------------------------------------------------------------

bool String::ParseWholeNumber(const char* text, u32 n, double* value) {
    *value = 0.0;
    if (!text) return false;
    const char* end = text + n;
    // Where strtod and from_chars agree (a '.' decimal point, a text that from_chars
    // takes whole, in range), the latter is several times faster; blanks, plus
    // signs, hexadecimal and everything else go to strtod.
    const char* point = localeconv()->decimal_point;
    if (n && point && point[0] == '.' && point[1] == 0) {
        const auto r = std::from_chars(text, end, *value);
        if (r.ec == std::errc() && r.ptr == end) return true;
    }
    char* stop = nullptr;
    *value = strtod(text, &stop);
    return stop == end;
}

namespace {
bool ParseWhole(const String& s, double* value) { return String::ParseWholeNumber(s.data, s.length, value); }
}  // namespace

bool String::ToFloat(float* out) const {
    if (!out) return false;
    *out = 0.0f;
    if (length == 0) return true;
    double v;
    if (!ParseWhole(*this, &v)) return false;
    constexpr double kMaxFloat = 3.4028234663852886e38;
    if (v > kMaxFloat) {
        *out = __builtin_huge_valf();
    } else if (v < -kMaxFloat) {
        *out = -__builtin_huge_valf();
    } else {
        *out = static_cast<float>(v);
    }
    return true;
}

namespace {
// A plain decimal integer ("-123"): the same result as strtod and truncation,
// without either. False for any other text.
bool ParsePlainInteger(const char* text, u32 n, i64* value) {
    u32 i = text[0] == '-' ? 1 : 0;
    if (n == i || n - i > 18) return false;
    i64 v = 0;
    for (u32 k = i; k < n; ++k) {
        const unsigned d = static_cast<unsigned char>(text[k]) - '0';
        if (d > 9) return false;
        v = v * 10 + d;
    }
    *value = i ? -v : v;
    return true;
}
}  // namespace

bool String::ToInt(int* out) const {
    if (!out) return false;
    *out = 0;
    if (length == 0) return true;
    i64 plain;
    if (ParsePlainInteger(data, length, &plain)) {
        if (plain < -2147483647 - 1 || plain > 2147483647) return false;
        *out = static_cast<int>(plain);
        return true;
    }
    double v;
    if (!ParseWhole(*this, &v)) return false;
    // Anything whose truncation does not fit (and NaN) is refused.
    if (!(v > -2147483649.0 && v < 2147483648.0)) return false;
    *out = static_cast<int>(v);
    return true;
}

// ---- comparison ----------------------------------------------------------------

bool String::Equals(const String& a, const String& b) { return StrCompare(a.data, b.data) == 0; }
bool String::EqualsText(const String& a, const char* text) { return StrCompare(a.data, text) == 0; }
int String::Compare(const String& a, const String& b) { return StrCompare(a.data, b.data); }
int String::CompareText(const String& a, const char* text) { return StrCompare(a.data, text); }
bool String::Less(const String& a, const String& b) { return StrCompare(a.data, b.data) < 0; }
bool String::Greater(const String& a, const String& b) { return StrCompare(a.data, b.data) > 0; }
bool TextEqualsString(const char* text, const String& b) { return StrCompare(text, b.data) == 0; }

int StringOrder::operator()(const String& a, const String& b) const { return StrCompare(a.data, b.data); }
int StringOrderNoCase::operator()(const String& a, const String& b) const {
    return StrCompareNoCase(a.data, b.data);
}

// ---- free text functions ---------------------------------------------------------

const String& EmptyString() {
    static const String empty;
    return empty;
}

String Trim(const String& s) {
    if (s.length == 0) return EmptyString();
    u32 front = 0;
    while (front < s.length && IsBlank(static_cast<u8>(s.data[front]))) ++front;
    u32 back = s.length - 1;
    while (back > 0 && IsBlank(static_cast<u8>(s.data[back]))) --back;
    if (front > back) return String();
    return String::FromBuffer(s.data + front, back - front + 1, true);
}

String TrimLeading(const String& s, char c) {
    u32 front = 0;
    while (front < s.length && s.data[front] == c) ++front;
    return String::FromBuffer(s.data + front, s.length - front, true);
}

String TrimTrailing(const String& s, char c) {
    if (s.length == 0) return String();
    u32 back = s.length - 1;
    while (back > 0 && s.data[back] == c) --back;
    return String::FromBuffer(s.data, back + 1, true);
}

String ToLower(const String& s) {
    String r(s);
    for (u32 i = 0; i < r.length; ++i) r.data[i] = static_cast<char>(tolower(static_cast<u8>(r.data[i])));
    return r;
}
