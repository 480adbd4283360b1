// Win32 basic types, and the headers of the calls the engine makes, for the Linux build.
// Declarations are added to the header of their library when the first caller needs them.
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(__i386__)
#define WINAPI __attribute__((stdcall))
#else
#define WINAPI
#endif
#define CALLBACK WINAPI
#define APIENTRY WINAPI

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef int INT;
typedef char CHAR;
typedef char16_t WCHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HANDLE;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef unsigned short USHORT;
typedef unsigned char UCHAR;
typedef short SHORT;
typedef float FLOAT;

typedef struct _LUID {
    DWORD LowPart;
    LONG HighPart;
} LUID, *PLUID;

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
} LARGE_INTEGER;

typedef LONG HRESULT;
typedef void VOID;
typedef void* PVOID;
typedef WORD ATOM;
typedef DWORD COLORREF;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;

// The program's entry point, written by the program; the platform's main calls it.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);

#include <winerror.h>
#include <windef.h>
#include <errhandlingapi.h>
#include <libloaderapi.h>
#include <handleapi.h>
#include <synchapi.h>
#include <fileapi.h>
#include <processthreadsapi.h>
#include <winuser.h>
#include <wingdi.h>
#include <winbase_resources.h>
#include <winreg.h>
#include <mmsystem.h>
#include <stringapiset.h>
#include <sysinfoapi.h>
