#include "Core/NumberText.h"

#include <locale.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <charconv>

char* FormatInt(i32 value, char* buffer, int radix) {
    if (!buffer) return buffer;
    if (radix < 2 || radix > 36) {
        buffer[0] = 0;
        return buffer;
    }
    char digits[kIntTextSize];
    int n = 0;
    const bool negative = radix == 10 && value < 0;
    u32 u = negative ? 0u - static_cast<u32>(value) : static_cast<u32>(value);
    if (radix == 10) {  // the common case, with a constant divisor
        do {
            digits[n++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u != 0);
    } else {
        const u32 r = static_cast<u32>(radix);
        do {
            const u32 d = u % r;
            digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + (d - 10));
            u /= r;
        } while (u != 0);
    }
    char* out = buffer;
    if (negative) *out++ = '-';
    while (n > 0) *out++ = digits[--n];
    *out = 0;
    return buffer;
}

namespace {

// The decimal point of the current locale, which the engine sets at start-up.
char DecimalPoint() {
    const char* dp = localeconv()->decimal_point;
    return dp && dp[0] ? dp[0] : '.';
}

void PutExponent(char*& out, int exponent) {
    *out++ = 'e';
    *out++ = exponent < 0 ? '-' : '+';
    const int m = exponent < 0 ? -exponent : exponent;
    *out++ = static_cast<char>('0' + m / 100);
    *out++ = static_cast<char>('0' + m / 10 % 10);
    *out++ = static_cast<char>('0' + m % 10);
}

}  // namespace

char* FormatReal(double value, int digits, char* buffer) {
    if (!buffer) return buffer;
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
    // The value rounded to `digits` significant digits, as printf's %e gives it:
    // [-]d[.ddd]e(+|-)xx. Its exponent, after rounding, decides the notation.
    char scientific[kRealTextSize];
    const auto converted = std::to_chars(scientific, scientific + sizeof scientific - 1, value,
                                         std::chars_format::scientific, digits - 1);
    *converted.ptr = 0;
    const char* p = scientific;
    const bool negative = *p == '-';
    if (negative) ++p;
    char sig[48];
    int n = 0;
    for (; *p && *p != 'e'; ++p) {
        if (*p != '.') sig[n++] = *p;
    }
    const int exponent = *p == 'e' ? atoi(p + 1) : 0;
    while (n > 1 && sig[n - 1] == '0') --n;  // trailing zeros are dropped

    const char point = DecimalPoint();
    char* out = buffer;
    if (negative) *out++ = '-';
    if (value != 0.0 && (exponent < -4 || exponent >= digits)) {
        *out++ = sig[0];
        *out++ = point;
        for (int i = 1; i < n; ++i) *out++ = sig[i];
        PutExponent(out, exponent);
    } else if (exponent >= 0) {
        for (int i = 0; i <= exponent; ++i) *out++ = i < n ? sig[i] : '0';
        *out++ = point;
        for (int i = exponent + 1; i < n; ++i) *out++ = sig[i];
    } else {
        *out++ = '0';
        *out++ = point;
        for (int i = 0; i < -exponent - 1; ++i) *out++ = '0';
        for (int i = 0; i < n; ++i) *out++ = sig[i];
    }
    *out = 0;
    return buffer;
}
