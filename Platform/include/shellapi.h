// The shell's call that opens a document or an address with its associated program, for
// the Linux build.
#pragma once

#include <windows.h>

// A result above 32 is success; the others are error codes (ERROR_FILE_NOT_FOUND...).
HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters, LPCSTR lpDirectory,
                               INT nShowCmd);
