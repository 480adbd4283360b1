// Files by handle over POSIX descriptors, and Windows' temporary file names. A handle is a
// number from a table of the process (never a descriptor itself, so that a stale handle
// is refused rather than reaching a descriptor opened since). Paths may use "\" or "/".
#include "FileHandles.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>

namespace {

struct FileTable {
    std::mutex lock;
    std::map<ULONG_PTR, int> files;   // handle -> descriptor
    ULONG_PTR next = 0x40000000;      // multiples of 4, apart from the events' numbers
    UINT lastUnique = 0;
};

FileTable& Files() {
    static FileTable table;
    return table;
}

std::string LocalPath(LPCSTR name) {
    std::string path(name);
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOSPC: return ERROR_DISK_FULL;
    default: return ERROR_ACCESS_DENIED;
    }
}

bool IsFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

namespace platform {
bool CloseFileHandle(HANDLE handle) {
    FileTable& table = Files();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.files.find(reinterpret_cast<ULONG_PTR>(handle));
    if (it == table.files.end()) return false;
    close(it->second);
    table.files.erase(it);
    return true;
}
}  // namespace platform

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    const char* folder = getenv("TMPDIR");
    std::string path = folder && *folder ? folder : "/tmp";
    if (path.back() != '/') path += '/';
    const DWORD length = static_cast<DWORD>(path.size());
    if (!lpBuffer || nBufferLength <= length) return length + 1;
    memcpy(lpBuffer, path.c_str(), path.size() + 1);
    return length;
}

UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique, LPSTR lpTempFileName) {
    if (!lpPathName || !lpTempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string folder(lpPathName);
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    if (!IsFolder(LocalPath(folder.c_str()))) {
        SetLastError(ERROR_DIRECTORY);
        return 0;
    }
    const std::string prefix = lpPrefixString ? std::string(lpPrefixString).substr(0, 3) : std::string();
    auto nameFor = [&](UINT number) {
        char digits[16];
        snprintf(digits, sizeof digits, "%X", number & 0xFFFF);
        return folder + prefix + digits + ".TMP";
    };
    auto store = [&](const std::string& name) {
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return false;
        }
        memcpy(lpTempFileName, name.c_str(), name.size() + 1);
        return true;
    };
    if (uUnique != 0) return store(nameFor(uUnique)) ? (uUnique & 0xFFFF) : 0;
    FileTable& table = Files();
    UINT start;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        start = (table.lastUnique + static_cast<UINT>(getpid())) & 0xFFFF;
    }
    // Each of the 65,535 numbers is tried once, starting after the last one given out.
    for (UINT i = 0; i < 0xFFFF; ++i) {
        const UINT number = (start + i) % 0xFFFF + 1;
        const std::string name = nameFor(number);
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        const int fd = open(LocalPath(name.c_str()).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            SetLastError(ErrorFromErrno(errno));
            return 0;
        }
        close(fd);
        {
            std::lock_guard<std::mutex> guard(table.lock);
            table.lastUnique = number;
        }
        store(name);
        return number;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD, HANDLE) {
    if (!lpFileName || !*lpFileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const bool read = (dwDesiredAccess & GENERIC_READ) != 0;
    const bool write = (dwDesiredAccess & GENERIC_WRITE) != 0;
    int flags = O_CLOEXEC | (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY);
    const std::string path = LocalPath(lpFileName);
    struct stat info;
    const bool existed = stat(path.c_str(), &info) == 0;
    switch (dwCreationDisposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
        if (!write) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        flags |= O_TRUNC;
        break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }
    const int fd = open(path.c_str(), flags, 0644);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    FileTable& table = Files();
    std::lock_guard<std::mutex> guard(table.lock);
    const ULONG_PTR handle = table.next;
    table.next += 4;
    table.files[handle] = fd;
    const bool reported = existed && (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS);
    SetLastError(reported ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return reinterpret_cast<HANDLE>(handle);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED) {
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    int fd = -1;
    {
        FileTable& table = Files();
        std::lock_guard<std::mutex> guard(table.lock);
        auto it = table.files.find(reinterpret_cast<ULONG_PTR>(hFile));
        if (it != table.files.end()) fd = it->second;
    }
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (nNumberOfBytesToWrite && !lpBuffer) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    const char* bytes = static_cast<const char*>(lpBuffer);
    DWORD written = 0;
    while (written < nNumberOfBytesToWrite) {
        const ssize_t n = write(fd, bytes + written, nNumberOfBytesToWrite - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            SetLastError(n < 0 ? ErrorFromErrno(errno) : ERROR_DISK_FULL);
            if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = written;
            return FALSE;
        }
        written += static_cast<DWORD>(n);
    }
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = written;
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    if (!lpFileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const std::string path = LocalPath(lpFileName);
    if (IsFolder(path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(path.c_str()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}
