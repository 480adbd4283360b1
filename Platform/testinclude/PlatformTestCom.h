// The COM, DxDiag and version-library part of the platform's test interface. The engine
// never includes it.
//
// The DxDiag provider answers the DirectX version a test sets (9, 0, "c" at start, as
// Wine 8 reports); it can be made absent, as on a machine without it. The version library
// reads a table of files in the system folder ("C:\windows\system32"), each with a file
// version; at start the table holds the DirectX 9.0c files.
#pragma once

#include <windows.h>

// The version DxDiag reports in "DxDiag_SystemInfo". A null letter leaves the property
// "szDirectXVersionLetter" out.
void PlatformTest_SetDxDiagVersion(DWORD major, DWORD minor, const char* letter);
// Makes CoCreateInstance(CLSID_DxDiagProvider) fail with REGDB_E_CLASSNOTREG (true) or
// work again (false).
void PlatformTest_SetDxDiagAbsent(bool absent);
// CoInitialize calls that CoUninitialize has not yet balanced.
int PlatformTest_ComInitializations();
// COM objects of the platform that are still referenced.
int PlatformTest_ComLiveObjects();

// Adds a file to the system folder, or replaces its version (MS and LS words of
// VS_FIXEDFILEINFO's file version).
void PlatformTest_SetSystemFileVersion(const char* name, DWORD versionMS, DWORD versionLS);
// Takes a file out of the system folder.
void PlatformTest_RemoveSystemFile(const char* name);
// Makes GetSystemDirectoryA fail (true) or work again (false).
void PlatformTest_SetSystemDirectoryFails(bool fails);

// DxDiag back to 9.0c and present, the system folder back to its first table, the
// apartment count back to zero. Objects a test still holds stay counted.
void PlatformTest_ResetCom();
