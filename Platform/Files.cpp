// The runtime library's low-level file calls, over the POSIX descriptors of the C library.
#include <direct.h>
#include <io.h>

#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

extern "C" long _filelength(int fd) {
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) return -1;
    // The Windows long is 32 bits wide: a longer file cannot be reported.
    if (info.st_size < 0 || static_cast<unsigned long long>(info.st_size) > 0x7FFFFFFFull) {
        errno = EOVERFLOW;
        return -1;
    }
    return static_cast<long>(info.st_size);
}

extern "C" int _fileno(FILE* stream) {
    if (!stream) {
        errno = EINVAL;
        return -1;
    }
    return fileno(stream);
}

namespace {
struct FindState {
    DIR* dir = nullptr;
    std::string folder;
    std::string pattern;
};

// Windows wildcard match: * any run, ? any one character, letters without case.
bool WildcardMatch(const char* pattern, const char* name) {
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name) {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' ||
                   tolower(static_cast<unsigned char>(*pattern)) == tolower(static_cast<unsigned char>(*name))) {
            ++pattern;
            ++name;
        } else if (starPattern) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    // "*.*" also matches names without a dot, as on Windows.
    return *pattern == 0 || strcmp(pattern, ".*") == 0;
}

// Fills the entry from the next matching name; false at the end.
bool NextMatch(FindState* state, struct _finddata_t* entry) {
    while (dirent* d = readdir(state->dir)) {
        if (!WildcardMatch(state->pattern.c_str(), d->d_name)) continue;
        const std::string path = state->folder + "/" + d->d_name;
        struct stat info;
        if (stat(path.c_str(), &info) != 0) continue;  // a dangling link is not listed
        memset(entry, 0, sizeof *entry);
        if (S_ISDIR(info.st_mode)) {
            entry->attrib = _A_SUBDIR;
        } else {
            entry->attrib = _A_ARCH;
            entry->size = info.st_size > 0xFFFFFFFF ? 0xFFFFFFFFu : static_cast<_fsize_t>(info.st_size);
        }
        if (access(path.c_str(), W_OK) != 0) entry->attrib |= _A_RDONLY;
        // A symbolic link reads as a reparse point (0x400), as a junction would on Windows,
        // so that recursive scans can leave it alone.
        struct stat link;
        if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) entry->attrib |= 0x400;
        if (d->d_name[0] == '.' && strcmp(d->d_name, ".") != 0 && strcmp(d->d_name, "..") != 0)
            entry->attrib |= _A_HIDDEN;
        entry->time_create = info.st_ctime;
        entry->time_access = info.st_atime;
        entry->time_write = info.st_mtime;
        strncpy(entry->name, d->d_name, sizeof entry->name - 1);
        return true;
    }
    return false;
}
}  // namespace

extern "C" intptr_t _findfirst(const char* search, struct _finddata_t* entry) {
    if (!search || !entry) {
        errno = EINVAL;
        return -1;
    }
    const std::string text(search);
    const size_t slash = text.find_last_of("/\\");
    FindState* state = new FindState;
    if (slash == std::string::npos) {
        state->folder.assign(1, '.');
        state->pattern = text;
    } else {
        state->folder = text.substr(0, slash);
        if (state->folder.empty()) state->folder.assign(1, '/');
        state->pattern = text.substr(slash + 1);
    }
    state->dir = opendir(state->folder.c_str());
    if (!state->dir || !NextMatch(state, entry)) {
        if (state->dir) closedir(state->dir);
        delete state;
        errno = ENOENT;
        return -1;
    }
    return reinterpret_cast<intptr_t>(state);
}

extern "C" int _findnext(intptr_t handle, struct _finddata_t* entry) {
    if (handle == -1 || handle == 0 || !entry) {
        errno = EINVAL;
        return -1;
    }
    FindState* state = reinterpret_cast<FindState*>(handle);
    if (!NextMatch(state, entry)) {
        errno = ENOENT;
        return -1;
    }
    return 0;
}

extern "C" int _findclose(intptr_t handle) {
    if (handle == -1 || handle == 0) {
        errno = EINVAL;
        return -1;
    }
    FindState* state = reinterpret_cast<FindState*>(handle);
    closedir(state->dir);
    delete state;
    return 0;
}

extern "C" int _mkdir(const char* path) {
    if (!path) {
        errno = EINVAL;
        return -1;
    }
    return mkdir(path, 0777) == 0 ? 0 : -1;
}
