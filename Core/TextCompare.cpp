#include "Core/TextCompare.h"

#include <string.h>

namespace {
inline int Sign(int v) { return (v > 0) - (v < 0); }
inline bool IsEmpty(const char* t) { return t == nullptr || *t == 0; }
inline bool IsEmpty(const char16_t* t) { return t == nullptr || *t == 0; }

// Orders a null or empty text before any other; returns 2 when both are non-empty.
template <class C>
int CompareEmpty(const C* a, const C* b) {
    const bool ea = IsEmpty(a), eb = IsEmpty(b);
    if (ea && eb) return 0;
    if (ea) return -1;
    if (eb) return 1;
    return 2;
}
}  // namespace

int StrCompare(const char* a, const char* b) {
    const int e = CompareEmpty(a, b);
    if (e != 2) return e;
    return Sign(strcmp(a, b));  // strcmp compares as unsigned char
}

int StrCompareNoCase(const char* a, const char* b) {
    const int e = CompareEmpty(a, b);
    if (e != 2) return e;
    return Sign(_stricmp(a, b));
}

int WStrNCompare(const char16_t* a, const char16_t* b, u32 n) {
    if (n == 0) return 0;
    const int e = CompareEmpty(a, b);
    if (e != 2) return e;
    for (u32 i = 0; i < n; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
        if (a[i] == 0) return 0;
    }
    return 0;
}

int WStrCompare(const char16_t* a, const char16_t* b) { return WStrNCompare(a, b, 0xFFFFFFFFu); }

u32 WStrLength(const char16_t* text) {
    if (!text) return 0;
    u32 n = 0;
    while (text[n]) ++n;
    return n;
}
