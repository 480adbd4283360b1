// The engine's byte stream. Every byte the engine reads or writes passes through it:
// disk files (FileStream), bytes in memory (ArchiveStream) and archive members.
#pragma once

#include "Core/Types.h"

class String;
class WString;

// Mode bits given to Open.
enum StreamMode : u32 {
    kStreamRead = 1,
    kStreamWrite = 2,
    kStreamAppend = 4,
};

// Seek origins.
enum StreamOrigin : u32 {
    kSeekSet = 0,
    kSeekCurrent = 1,
    kSeekEnd = 2,
};

class Stream {
public:
    virtual bool Open(const String& name, u32 mode) = 0;
    virtual bool Close() = 0;
    virtual i32 Tell() = 0;
    virtual i32 Size() = 0;
    virtual bool Seek(i32 offset, u32 origin) = 0;
    virtual bool Eof() = 0;
    virtual ~Stream() = default;
    virtual u32 Read(void* buffer, u32 count) = 0;
    virtual u32 Write(const void* buffer, u32 count) = 0;

    u32 ReadBlock(void* buffer, u32 count) { return Read(buffer, count); }
    u32 WriteBlock(const void* buffer, u32 count) { return Write(buffer, count); }
    // Reads up to 2 * units bytes and decodes the bytes actually read with the given
    // text encoding kind into `out`; returns the number of bytes read.
    u32 ReadText(WString& out, u32 units, u32 kind);
};
