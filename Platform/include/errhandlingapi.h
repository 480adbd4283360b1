// The calling thread's last error code. Included by windows.h.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif
// The code the last failing call of this thread left; calls that succeed mostly leave it
// alone, so read it only right after a failure.
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);
#ifdef __cplusplus
}
#endif
