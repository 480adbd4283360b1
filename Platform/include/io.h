// The low-level file calls of the Windows runtime library that the engine uses.
#pragma once

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif
// Length in bytes of the open file behind a descriptor; -1 on error (a bad descriptor,
// or a length that a long cannot hold).
long _filelength(int fd);
// The descriptor behind a runtime-library stream; -1 for a null stream.
int _fileno(FILE* stream);
#ifdef __cplusplus
}
#endif
