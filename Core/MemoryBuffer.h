// A whole archive file held in memory (the mounted media archive), whose members open as
// streams. Buffer is the interface; MemoryBuffer reads RAR 2.0 archives.
//
// A stream never outlives the bytes it reads. A stored member opens as a view into the
// held file without a copy: where the bytes are borrowed (the executable's own resource,
// there for the whole run) the view is plain; where the buffer owns them (a file read
// from disk) every view shares their ownership, so unloading or reloading the buffer
// frees them only when the last stream on them is gone. A compressed or encrypted member
// is unpacked into bytes of its stream's own.
#pragma once

#include "Core/Array.h"
#include "Core/Object.h"
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
    // Finds the member, its checksum verified: a stored one without copying it, a
    // compressed one by unpacking it (and freeing the result again).
    bool Contains(const String& name) override;
    // Read-only streams view a stored member's bytes inside the held file (see above) or
    // own a compressed member's unpacked bytes. With the write bit, the stream gets a
    // copy in its write buffer.
    Stream* OpenMember(const String& name, u32 mode) override;

    // How many times a member was looked for (by OpenMember or Contains; a compressed one
    // is unpacked each time it is found) since the buffer was made.
    u32 MemberLookups() const { return memberLookups; }

    const u8* Data() const { return held ? held->data() : nullptr; }
    u32 Size() const { return held ? held->size() : 0; }
    // True while the bytes are not owned (for example the executable's own resource).
    bool IsBorrowed() const { return borrowed != 0; }

private:
    // A member's bytes: a view into the held file, or a MemAlloc'd block of their own.
    struct Found {
        const u8* data = nullptr;
        u32 size = 0;
        u8* owned = nullptr;
    };
    bool Find(const String& name, Found* found);
    // Lists the members once per file, so that finding one costs a lookup instead of a
    // walk over every header before it.
    void BuildIndex();

    RefHandle<Blob> held;  // the whole file, owned or borrowed; streams share an owned one
    u8 borrowed = 1;
    bool solid = false;    // members are unpacked in one run, so they are found by name
    Array<RarMember> members;
    StringMapOf<u32> index;  // member name in matching form -> position in members
    bool indexComplete = false;  // every member is listed (else unlisted names walk the file)
    u32 memberLookups = 0;
};
