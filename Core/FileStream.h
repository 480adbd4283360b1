// A Stream over a disk file, through the runtime library's buffered FILE calls.
#pragma once

#include "Core/Stream.h"

#include <stdio.h>

class FileStream : public Stream {
public:
    FileStream() = default;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    ~FileStream() override;

    // Mode bits pick the runtime library's mode, first match winning: read ("rb"), else
    // append ("ab"), else write ("wb"). A stream that is already open is closed first.
    bool Open(const String& name, u32 mode) override;
    // True when a file was open.
    bool Close() override;
    i32 Tell() override;
    i32 Size() override;
    // Origin 1 is from the current position, 0 from the start, any other value from the end.
    bool Seek(i32 offset, u32 origin) override;
    bool Eof() override;
    u32 Read(void* buffer, u32 count) override;
    u32 Write(const void* buffer, u32 count) override;

    bool IsOpen() const { return file != nullptr; }

private:
    FILE* file = nullptr;
};
