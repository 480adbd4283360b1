// The C library's time.h plus the Windows runtime's local date and time texts.
#pragma once
#include_next <time.h>

#ifdef __cplusplus
extern "C" {
#endif
// The local date as "MM/DD/YY" (9 bytes with the terminator). Returns buffer.
char* _strdate(char* buffer);
// The local time as "HH:MM:SS" on a 24-hour clock (9 bytes). Returns buffer.
char* _strtime(char* buffer);
#ifdef __cplusplus
}
#endif
