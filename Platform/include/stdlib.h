// The C library's stdlib.h plus the conversions of the Windows runtime library
// (_itoa, _gcvt) that the engine's text code uses.
#pragma once
#include_next <stdlib.h>

#ifdef __cplusplus
extern "C" {
#endif
// Integer to text in radix 2..36; a minus sign only in radix 10 (other radixes
// show the two's complement). Lower-case digits; buffer holds at least 34 bytes.
// An unknown radix gives the empty text. Returns buffer.
char* _itoa(int value, char* buffer, int radix);
// Double to text with `digits` significant digits: fixed notation unless the
// exponent is below -4 or at least `digits`; trailing zeros dropped, the decimal
// point always kept ("100.", "1.e+20"); the locale's decimal point. digits is
// taken within 1..40; buffer holds at least 64 bytes. Returns buffer.
char* _gcvt(double value, int digits, char* buffer);
#ifdef __cplusplus
}
#endif
