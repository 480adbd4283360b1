// The system's own folders, for the Linux build.
#pragma once

// The length copied without the terminating zero, or, when the buffer is too small, the
// size it needs with the zero; 0 on failure.
UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);
