// The C library's string.h plus the case-insensitive compares of the Windows runtime library.
#pragma once
#include_next <string.h>

#ifdef __cplusplus
extern "C" {
#endif
// Byte-wise compare after lower-casing ASCII letters; <0, 0 or >0.
int _stricmp(const char* a, const char* b);
int _strnicmp(const char* a, const char* b, size_t n);
#ifdef __cplusplus
}
#endif
