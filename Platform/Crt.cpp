// The Windows runtime library's case-insensitive compares, which the C library lacks.
#include <string.h>

#include <ctype.h>

extern "C" int _strnicmp(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const int ca = tolower(static_cast<unsigned char>(a[i]));
        const int cb = tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca - cb;
        if (ca == 0) return 0;
    }
    return 0;
}

extern "C" int _stricmp(const char* a, const char* b) { return _strnicmp(a, b, static_cast<size_t>(-1)); }
