// Loading libraries at run time and finding their functions by name. Included by windows.h.
#pragma once

// The address of an exported function; cast to the function's real type before calling.
typedef INT_PTR(WINAPI* FARPROC)();

#ifdef __cplusplus
extern "C" {
#endif
// Loads the library (".dll" is added to a name without an extension) and counts one more
// use of it; null with ERROR_MOD_NOT_FOUND when there is no such library.
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
// The exported function of that name; null with ERROR_PROC_NOT_FOUND when there is none.
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
// Counts one use less; the last unloads the library and its handle becomes invalid.
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
// The handle of a library already loaded, without counting a use; null names the program.
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
#ifdef __cplusplus
}
#endif
