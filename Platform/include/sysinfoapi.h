// The system's own folders and the wall clock, for the Linux build.
#pragma once

// The length copied without the terminating zero, or, when the buffer is too small, the
// size it needs with the zero; 0 on failure.
UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);

// A calendar date and time of day, as the wall clock gives it.
typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;

// The current local time and the current time in UTC.
VOID WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
VOID WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime);
