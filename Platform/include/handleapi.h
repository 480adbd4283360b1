// Kernel object handles. Included by windows.h.
#pragma once

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#ifdef __cplusplus
extern "C" {
#endif
// Closes a kernel object handle (an event or a file); FALSE with ERROR_INVALID_HANDLE for anything else.
BOOL WINAPI CloseHandle(HANDLE hObject);
#ifdef __cplusplus
}
#endif
