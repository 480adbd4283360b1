// Null-safe three-way compares of zero-terminated texts: a null text equals the
// empty text. Results are -1, 0 or 1, by the first differing unsigned unit.
#pragma once

#include "Core/Types.h"

int StrCompare(const char* a, const char* b);
int StrCompareNoCase(const char* a, const char* b);
int WStrCompare(const char16_t* a, const char16_t* b);
int WStrNCompare(const char16_t* a, const char16_t* b, u32 n);

// Length of a zero-terminated UTF-16 text; 0 for null.
u32 WStrLength(const char16_t* text);
