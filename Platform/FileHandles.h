// The file handles that CreateFileA gives out, for CloseHandle (Synch.cpp), which owns the
// one handle namespace of the process: file handles are numbered apart from events.
#pragma once

#include <windows.h>

namespace platform {
// True when `handle` was an open file, now closed.
bool CloseFileHandle(HANDLE handle);
}  // namespace platform
