// The registry's part of the platform's test interface. The engine never includes it.
//
// The registry lives in a file of its own. Its place is, in this order: the path given
// to PlatformTest_SetRegistryFile; the environment variable CORVANE_REGISTRY_FILE;
// $XDG_CONFIG_HOME/corvane/registry; $HOME/.config/corvane/registry.
#pragma once

#include <windows.h>

#include <string>

// Points the registry at another file (null: back to the places above) and forgets
// everything held in memory, as a new process would: unsaved changes are dropped and
// open key handles become invalid. The file is read on the next registry call.
void PlatformTest_SetRegistryFile(const char* path);
// The same forgetting, keeping the file.
void PlatformTest_ReloadRegistry();
// The file the registry reads and writes; empty when no place can be found.
std::string PlatformTest_RegistryFile();
// Simulates a crash while the file is saved: the next save writes only the first
// `bytes` bytes of the new file and then ends the process with _exit(exitCode).
// A negative byte count switches this off.
void PlatformTest_CrashDuringRegistrySave(long bytes, int exitCode);
