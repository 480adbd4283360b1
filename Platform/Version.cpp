// The version library over a table of the files in the system folder, and the system
// folder itself ("C:\windows\system32", where Wine keeps it too).
//
// A file's version information is the block Windows reads from its version resource: a
// VS_VERSIONINFO record (its length, the length of its value, its type, the UTF-16 key
// "VS_VERSION_INFO" padded to four bytes) whose value is the VS_FIXEDFILEINFO. The table
// holds only the fixed part; there are no string tables, so VerQueryValueA answers the
// root ("\") and nothing else. A file is named by its full path in the system folder or
// by its bare name, which the search finds there, without regard to case.
#include <windows.h>
#include <winver.h>

#include <PlatformTestCom.h>

#include <cstring>
#include <map>
#include <string>
#include <strings.h>

namespace platform {
namespace {

constexpr char kSystemDirectory[] = "C:\\windows\\system32";
constexpr char16_t kVersionKey[] = u"VS_VERSION_INFO";
constexpr size_t kHeaderSize = 3 * sizeof(WORD);                  // wLength, wValueLength, wType
constexpr size_t kKeyBytes = sizeof kVersionKey;                   // with its zero
constexpr size_t kValueOffset = (kHeaderSize + kKeyBytes + 3) & ~size_t(3);  // padded to 32 bits
constexpr size_t kBlockSize = kValueOffset + sizeof(VS_FIXEDFILEINFO);

struct Caseless {
    bool operator()(const std::string& a, const std::string& b) const { return strcasecmp(a.c_str(), b.c_str()) < 0; }
};

struct FileVersion {
    DWORD ms, ls;
};

struct SystemFiles {
    std::map<std::string, FileVersion, Caseless> files;
    bool directoryFails = false;
};

SystemFiles Defaults() {
    SystemFiles s;
    // The DirectX 9.0c files of a Windows XP SP2 system: 5.3.2600.2180, and the
    // DirectShow filter at 6.5.2600.2180.
    const DWORD build = (2600u << 16) | 2180u;
    for (const char* name : {"ddraw.dll", "dplayx.dll", "dinput.dll", "d3d8.dll", "dpnet.dll", "d3d9.dll"})
        s.files[name] = FileVersion{0x00050003, build};
    s.files["mpg2splt.ax"] = FileVersion{0x00060005, build};
    return s;
}

SystemFiles& Files() {
    static SystemFiles files = Defaults();
    return files;
}

// The table's entry for a path, or null.
const FileVersion* Lookup(LPCSTR path) {
    std::string name = path;
    const size_t folder = sizeof kSystemDirectory - 1;
    if (name.size() > folder + 1 && strncasecmp(name.c_str(), kSystemDirectory, folder) == 0 && name[folder] == '\\')
        name = name.substr(folder + 1);
    else if (name.find_first_of("\\/:") != std::string::npos)
        return nullptr;
    const auto it = Files().files.find(name);
    return it == Files().files.end() ? nullptr : &it->second;
}

void WriteWord(BYTE* at, WORD value) { memcpy(at, &value, sizeof value); }
WORD ReadWord(const BYTE* at) {
    WORD value;
    memcpy(&value, at, sizeof value);
    return value;
}

}  // namespace

void ResetSystemFiles() { Files() = Defaults(); }

}  // namespace platform

using namespace platform;

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    if (Files().directoryFails) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    const UINT length = sizeof kSystemDirectory - 1;
    if (!lpBuffer || uSize <= length) return length + 1;
    memcpy(lpBuffer, kSystemDirectory, length + 1);
    return length;
}

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
    if (lpdwHandle) *lpdwHandle = 0;
    if (!lptstrFilename) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!Lookup(lptstrFilename)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    return kBlockSize;
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData) {
    if (!lptstrFilename || !lpData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const FileVersion* version = Lookup(lptstrFilename);
    if (!version) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    BYTE block[kBlockSize] = {};
    WriteWord(block, static_cast<WORD>(kBlockSize));
    WriteWord(block + 2, sizeof(VS_FIXEDFILEINFO));
    WriteWord(block + 4, 0);  // binary value
    memcpy(block + kHeaderSize, kVersionKey, kKeyBytes);
    VS_FIXEDFILEINFO info{};
    info.dwSignature = VS_FFI_SIGNATURE;
    info.dwStrucVersion = VS_FFI_STRUCVERSION;
    info.dwFileVersionMS = info.dwProductVersionMS = version->ms;
    info.dwFileVersionLS = info.dwProductVersionLS = version->ls;
    info.dwFileOS = 0x00040004;  // VOS_NT_WINDOWS32
    info.dwFileType = 2;         // VFT_DLL
    memcpy(block + kValueOffset, &info, sizeof info);
    // A buffer too small takes the beginning of the block.
    memcpy(lpData, block, dwLen < kBlockSize ? dwLen : kBlockSize);
    return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen) {
    if (!pBlock || !lpSubBlock || !lplpBuffer) return FALSE;
    const BYTE* block = static_cast<const BYTE*>(pBlock);
    if (ReadWord(block) < kBlockSize || ReadWord(block + 2) != sizeof(VS_FIXEDFILEINFO) ||
        memcmp(block + kHeaderSize, kVersionKey, kKeyBytes) != 0)
        return FALSE;
    if (strcmp(lpSubBlock, "\\") != 0) return FALSE;  // no string or translation tables
    *lplpBuffer = const_cast<BYTE*>(block + kValueOffset);
    if (puLen) *puLen = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}

// ---- the test interface -----------------------------------------------------------------

void PlatformTest_SetSystemFileVersion(const char* name, DWORD versionMS, DWORD versionLS) {
    if (name) Files().files[name] = FileVersion{versionMS, versionLS};
}
void PlatformTest_RemoveSystemFile(const char* name) {
    if (name) Files().files.erase(name);
}
void PlatformTest_SetSystemDirectoryFails(bool fails) { Files().directoryFails = fails; }
