// Files by handle, and the temporary folder. Included by windows.h.
#pragma once

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100

struct _OVERLAPPED;
typedef _OVERLAPPED* LPOVERLAPPED;
typedef DWORD* LPDWORD;

#ifdef __cplusplus
extern "C" {
#endif
// The folder for temporary files, ending in a separator. The length written (without the
// terminating zero), or the size needed (with it) when the buffer is too small.
DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer);
// Names a file "<path><up to 3 characters of prefix><hex number>.TMP" in lpTempFileName
// (MAX_PATH characters). With uUnique 0 the number is chosen so that no such file exists
// and the file is created empty; otherwise uUnique is the number and nothing is created.
// The number used, or 0 on failure.
UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique, LPSTR lpTempFileName);
// Opens or creates a file; INVALID_HANDLE_VALUE on failure. CREATE_ALWAYS and OPEN_ALWAYS
// over an existing file succeed with last error ERROR_ALREADY_EXISTS.
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped);
BOOL WINAPI DeleteFileA(LPCSTR lpFileName);
#ifdef __cplusplus
}
#endif
