// The Windows runtime library's text conversions that the C library lacks.
#include <stdlib.h>
#include <string.h>

#include <ctype.h>
#include <math.h>
#include <stdio.h>

extern "C" char* _itoa(int value, char* buffer, int radix) {
    if (radix < 2 || radix > 36) {
        buffer[0] = 0;
        return buffer;
    }
    char digits[40];
    int n = 0;
    const bool negative = radix == 10 && value < 0;
    unsigned int u = negative ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
    do {
        const unsigned int d = u % static_cast<unsigned int>(radix);
        digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + (d - 10));
        u /= static_cast<unsigned int>(radix);
    } while (u != 0);
    char* out = buffer;
    if (negative) *out++ = '-';
    while (n > 0) *out++ = digits[--n];
    *out = 0;
    return buffer;
}

namespace {
// Drops trailing zeros of the fraction but keeps the decimal point.
void StripFractionZeros(char* text) {
    char* dot = strchr(text, '.');
    if (!dot) return;
    char* end = dot + strlen(dot);
    while (end > dot + 1 && end[-1] == '0') --end;
    *end = 0;
}
}  // namespace

extern "C" char* _gcvt(double value, int digits, char* buffer) {
    if (digits < 1) digits = 1;
    if (digits > 40) digits = 40;
    if (isnan(value)) {
        strcpy(buffer, signbit(value) ? "-nan" : "nan");
        return buffer;
    }
    if (isinf(value)) {
        strcpy(buffer, value < 0 ? "-inf" : "inf");
        return buffer;
    }
    char scientific[80];
    snprintf(scientific, sizeof scientific, "%.*e", digits - 1, value);
    const char* e = strchr(scientific, 'e');
    const int exponent = e ? atoi(e + 1) : 0;
    if (value != 0.0 && (exponent < -4 || exponent >= digits)) {
        char mantissa[64];
        const size_t mlen = static_cast<size_t>(e - scientific);
        memcpy(mantissa, scientific, mlen);
        mantissa[mlen] = 0;
        if (!strchr(mantissa, '.')) strcat(mantissa, ".");
        StripFractionZeros(mantissa);
        snprintf(buffer, static_cast<size_t>(digits) + 16, "%se%c%02d", mantissa, exponent < 0 ? '-' : '+',
                 exponent < 0 ? -exponent : exponent);
        return buffer;
    }
    const int decimals = value == 0.0 ? 0 : (digits - 1 - exponent > 0 ? digits - 1 - exponent : 0);
    char fixed[96];
    snprintf(fixed, sizeof fixed, "%.*f", decimals, value);
    if (!strchr(fixed, '.')) strcat(fixed, ".");
    StripFractionZeros(fixed);
    strcpy(buffer, fixed);
    return buffer;
}

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
