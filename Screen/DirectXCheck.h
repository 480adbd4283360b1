// The DirectX version check every run mode makes after loading its configuration: the
// version is asked of the DirectX diagnostic provider (DxDiag, through COM) and, when that
// cannot answer, read from the file versions of the system's DirectX libraries. Below 9.0
// dialog 107 offers the download page in the browser. The result is advice only: the
// program goes on either way, and a machine truly without DirectX 9 fails later, at the
// creation of the device. The full-screen modes also need the D3DX library, which comes
// only with the DirectX end-user runtime; without it they offer the same download
// (OfferDirectXDownload) and end.
//
// A packed version is major << 16 | minor << 8 | letter, the letter 0 for none and 1 to 26
// for 'a' to 'z': 9.0c is 0x90003. A file version is VS_FIXEDFILEINFO's file version, the
// most significant word high.
#pragma once

#include <windows.h>

#include "Core/Types.h"

// The texts of dialog 107 and the address its Download button opens (the message table's
// "Mes_NODX_Button_Download", "Mes_Button_Cancel", "Mes_NODX_Text", "Mes_NODX_Title" and
// the "download_dx9_url" setting). Borrowed for the call.
struct NoDirectXTexts {
    const char* download = "";
    const char* cancel = "";
    const char* text = "";
    const char* title = "";
    const char* url = "";
};

// The installed version, packed, and as text ("9.0" or "9.0c", cut to `textSize` bytes and
// always terminated); S_OK, or E_FAIL when neither way finds a version (outputs 0 and "").
HRESULT GetDirectXVersion(DWORD* packed, char* text, int textSize);
// The version DxDiag reports; S_OK only when major, minor and letter were all read. The
// letter is ' ' when there is none.
HRESULT GetDirectXVersionDxDiag(DWORD* major, DWORD* minor, char* letter);
// The version the system's DirectX files show: 9.0 when "d3d9.dll" has a version, else the
// newest release before it whose files are there (0.0 for none); E_FAIL only when the
// system folder is unknown.
HRESULT GetDirectXVersionFromFiles(DWORD* major, DWORD* minor, char* letter);
// A file's version; E_INVALIDARG for a null argument, E_OUTOFMEMORY, or E_FAIL when the
// file has no version information.
HRESULT GetFileVersion(const char* path, u64* version);
// 1 when a is newer than b, -1 when older, 0 when equal.
int CompareVersions(u64 a, u64 b);
// True when DirectX 9.0 or later is found; otherwise shows dialog 107 and, on Download,
// opens the address; false then in any case.
bool CheckDirectXVersion(const NoDirectXTexts& texts);
// The same with the texts of the saver's message table and its "download_dx9_url" (empty
// texts while no saver exists).
bool CheckDirectXVersion();
// Shows dialog 107 and, on Download, opens the address.
void OfferDirectXDownload(const NoDirectXTexts& texts);
// The saver's texts of dialog 107 (empty while no saver exists).
NoDirectXTexts SaverNoDirectXTexts();
// The procedure of dialog 107; its creation parameter is the NoDirectXTexts.
INT_PTR CALLBACK NoDirectXDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
