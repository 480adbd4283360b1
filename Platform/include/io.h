// The low-level file calls of the Windows runtime library that the engine uses.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif
// Length in bytes of the open file behind a descriptor; -1 on error (a bad descriptor,
// or a length that a long cannot hold).
long _filelength(int fd);
// The descriptor behind a runtime-library stream; -1 for a null stream.
int _fileno(FILE* stream);

// File attribute bits of a directory entry.
#define _A_NORMAL 0x00
#define _A_RDONLY 0x01
#define _A_HIDDEN 0x02
#define _A_SYSTEM 0x04
#define _A_SUBDIR 0x10
#define _A_ARCH 0x20

typedef uint32_t _fsize_t;

struct _finddata_t {
    unsigned attrib;
    time_t time_create;
    time_t time_access;
    time_t time_write;
    _fsize_t size;
    char name[260];
};

// Directory enumeration: "folder/pattern", where the pattern may hold * and ? and letters
// match without regard to case. _findfirst returns a handle (-1 when nothing matches or
// the folder cannot be read); _findnext returns 0 while entries follow, -1 at the end.
intptr_t _findfirst(const char* search, struct _finddata_t* entry);
int _findnext(intptr_t handle, struct _finddata_t* entry);
int _findclose(intptr_t handle);
#ifdef __cplusplus
}
#endif
