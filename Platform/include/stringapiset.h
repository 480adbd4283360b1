// Conversion between UTF-16 and the code pages, for the Linux build.
#pragma once

typedef const WCHAR* LPCWCH;
typedef const CHAR* LPCCH;
typedef BOOL* LPBOOL;

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar);
