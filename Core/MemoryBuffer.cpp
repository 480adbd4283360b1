#include "Core/MemoryBuffer.h"

#include "Core/ArchiveStream.h"
#include "Core/RarArchive.h"

#include <new>

MemoryBuffer::~MemoryBuffer() { Unload(); }

bool MemoryBuffer::Load(patht path) {
    Unload();
    bool borrow = true;
    borrowed = 1;
    Blob read;
    if (!path.ReadAll(read, borrow) || read.size() == 0) return false;
    held = static_cast<Blob&&>(read);
    borrowed = held.IsBorrowed() ? 1 : 0;
    return true;
}

void MemoryBuffer::Unload() {
    // A borrowed Blob only forgets its bytes; an owned one frees them.
    held.Free();
}

bool MemoryBuffer::Find(const String& name, const u8** data, u32* size) {
    *data = nullptr;
    *size = 0;
    if (held.size() == 0 || name.IsEmpty()) return false;
    RarMemoryFile archive;
    archive.data = held.data();
    archive.size = held.size();
    archive.offset = 0;
    return RarFindStored(data, size, name.c_str(), &archive);
}

bool MemoryBuffer::Contains(const String& name) {
    const u8* data = nullptr;
    u32 size = 0;
    return Find(name, &data, &size);
}

Stream* MemoryBuffer::OpenMember(const String& name, u32 mode) {
    const u8* data = nullptr;
    u32 size = 0;
    if (!Find(name, &data, &size)) return nullptr;
    ArchiveStream* stream = new (std::nothrow) ArchiveStream;
    if (!stream) return nullptr;
    stream->Open(String(), mode);
    if (mode & kStreamWrite) {
        if (!stream->AssignBuffer(data, size)) {
            delete stream;
            return nullptr;
        }
    } else {
        stream->BorrowBytes(data, size);
    }
    return stream;
}
