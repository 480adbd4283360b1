#include "Core/FileStream.h"

#include "Core/String.h"

#include <io.h>

FileStream::~FileStream() { Close(); }

bool FileStream::Open(const String& name, u32 mode) {
    Close();
    const char* how = nullptr;
    if (mode & kStreamRead) how = "rb";
    else if (mode & kStreamAppend) how = "ab";
    else if (mode & kStreamWrite) how = "wb";
    if (!how || name.IsEmpty()) return false;
    file = fopen(name.c_str(), how);
    return file != nullptr;
}

bool FileStream::Close() {
    if (!file) return false;
    fclose(file);
    file = nullptr;
    return true;
}

i32 FileStream::Tell() {
    if (!file) return -1;
    return static_cast<i32>(ftell(file));
}

i32 FileStream::Size() {
    if (!file) return 0;
    return static_cast<i32>(_filelength(_fileno(file)));
}

bool FileStream::Seek(i32 offset, u32 origin) {
    if (!file) return false;
    const int whence = origin == kSeekCurrent ? SEEK_CUR : origin == kSeekSet ? SEEK_SET : SEEK_END;
    return fseek(file, offset, whence) == 0;
}

bool FileStream::Eof() {
    if (!file) return true;
    return feof(file) != 0;
}

u32 FileStream::Read(void* buffer, u32 count) {
    if (!file || !buffer || count == 0) return 0;
    return static_cast<u32>(fread(buffer, 1, count, file));
}

u32 FileStream::Write(const void* buffer, u32 count) {
    if (!file || !buffer || count == 0) return 0;
    return static_cast<u32>(fwrite(buffer, 1, count, file));
}
