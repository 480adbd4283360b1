// The runtime library's folder calls that the engine uses.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif
// Makes one folder (its parent must exist); 0 on success, -1 with errno set otherwise
// (EEXIST when it is there already, ENOENT when the parent is missing).
int _mkdir(const char* path);
#ifdef __cplusplus
}
#endif
