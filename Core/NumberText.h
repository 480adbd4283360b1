// The texts of numbers that the engine writes (logs, settings, clock texts). They are made
// here rather than by the C runtime's _itoa and _gcvt because the runtimes disagree (one
// overruns its stack on a radix it cannot use, another drops the decimal point or pads
// the exponent differently), and a number must read the same on every platform. The form
// is the one the engine has always written: that of the classic Windows runtime library.
#pragma once

#include "Core/Types.h"

// Room that FormatInt needs: 32 binary digits, a sign and the terminator.
constexpr u32 kIntTextSize = 34;
// Room that FormatReal needs for any value and digits 1..40.
constexpr u32 kRealTextSize = 64;

// `value` in radix 2..36 into `buffer` (kIntTextSize bytes); a minus sign only in radix 10
// (other radixes show the two's complement); lower-case digits. A radix outside 2..36
// gives the empty text. Returns buffer.
char* FormatInt(i32 value, char* buffer, int radix);

// `value` with `digits` significant digits (taken within 1..40) into `buffer`
// (kRealTextSize bytes): fixed notation unless the exponent is below -4 or at least
// `digits`; trailing zeros dropped; the decimal point always written, and the locale's
// ("100.", "0.5", "1.e+020"); the exponent has a sign and at least three digits
// ("1.23e-005"). Infinities and NaNs give "inf", "-inf", "nan", "-nan". Returns buffer.
char* FormatReal(double value, int digits, char* buffer);
