// A whole archive file held in memory (the mounted media archive), whose members open as
// streams. Buffer is the interface; MemoryBuffer reads RAR 2.0 archives of stored members.
#pragma once

#include "Core/Array.h"
#include "Core/OrderedMap.h"
#include "Core/Path.h"
#include "Core/RarArchive.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"

class Stream;

class Buffer {
public:
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    // Replaces the held file by the whole file `path` names.
    virtual bool Load(patht path) = 0;
    virtual void Unload() {}
    // Whether the file holds a member of that name.
    virtual bool Contains(const String& name) = 0;
    // A new stream over the member, owned by the caller; null when it is absent.
    virtual Stream* OpenMember(const String& name, u32 mode) = 0;
    virtual ~Buffer() = default;
};

class MemoryBuffer : public Buffer {
public:
    MemoryBuffer() = default;
    ~MemoryBuffer() override;

    // Reads the whole file, borrowing its bytes where the place allows it (a resource of
    // the executable is never copied). False when nothing could be read; the previous
    // file is gone either way.
    bool Load(patht path) override;
    void Unload() override;
    // Finds the member without copying it (its checksum is verified).
    bool Contains(const String& name) override;
    // Read-only streams view the member's bytes inside the held file without a copy:
    // they must not outlive this buffer's current file. With the write bit, the stream
    // gets a copy in its write buffer.
    Stream* OpenMember(const String& name, u32 mode) override;

    const u8* Data() const { return held.data(); }
    u32 Size() const { return held.size(); }
    // True while the bytes are not owned (for example the executable's own resource).
    bool IsBorrowed() const { return borrowed != 0; }

private:
    bool Find(const String& name, const u8** data, u32* size);
    // Lists the members once per file, so that finding one costs a lookup instead of a
    // walk over every header before it.
    void BuildIndex();

    Blob held;       // the whole file, owned or borrowed
    u8 borrowed = 1;
    Array<RarMember> members;
    StringMapOf<u32> index;  // member name in matching form -> position in members
    bool indexComplete = false;  // every member is listed (else unlisted names walk the file)
};
