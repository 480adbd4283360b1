// Waiting. Included by windows.h.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif
// Suspends the calling thread for at least the given milliseconds; 0 gives up the rest of
// its time slice.
void WINAPI Sleep(DWORD dwMilliseconds);
#ifdef __cplusplus
}
#endif
