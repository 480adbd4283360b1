// The kernel's calls for the resources of a module: find, load, lock and size.
// Included by windows.h.
#pragma once

// A resource name or type is either a text or an integer identifier below 0x10000
// carried in the pointer itself.
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

// The standard resource types.
#define RT_CURSOR MAKEINTRESOURCEA(1)
#define RT_BITMAP MAKEINTRESOURCEA(2)
#define RT_ICON MAKEINTRESOURCEA(3)
#define RT_MENU MAKEINTRESOURCEA(4)
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_FONTDIR MAKEINTRESOURCEA(7)
#define RT_FONT MAKEINTRESOURCEA(8)
#define RT_ACCELERATOR MAKEINTRESOURCEA(9)
#define RT_RCDATA MAKEINTRESOURCEA(10)
#define RT_MESSAGETABLE MAKEINTRESOURCEA(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCEA(12)
#define RT_GROUP_ICON MAKEINTRESOURCEA(14)
#define RT_VERSION MAKEINTRESOURCEA(16)

struct HRSRC__;
typedef HRSRC__* HRSRC;
typedef HANDLE HGLOBAL;

#ifdef __cplusplus
extern "C" {
#endif
// The resource of that name and type in the module (null: the executable); null when
// there is none. Types and names given as texts match without regard to case.
HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType);
// A handle to the resource's data; null for a null resource.
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
// The first byte of the resource's data; it stays valid while the module is loaded.
LPVOID WINAPI LockResource(HGLOBAL hResData);
// The resource's size in bytes; 0 for a null resource.
DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
// Kept for old code: does nothing and returns FALSE.
BOOL WINAPI FreeResource(HGLOBAL hResData);
#ifdef __cplusplus
}
#endif
