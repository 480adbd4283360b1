// The runtime library's low-level file calls, over the POSIX descriptors of the C library.
#include <io.h>

#include <errno.h>
#include <limits.h>
#include <sys/stat.h>

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
