#include "Core/MemoryBuffer.h"

#include "Core/ArchiveStream.h"
#include "Core/RarArchive.h"

#include <new>

namespace {
// The name in the form in which the archive reader matches names: at most 512 bytes, up
// to a zero byte, both slashes as '_', ASCII letters in lower case.
String MatchingForm(const char* name, u32 length) {
    u32 n = 0;
    while (n < length && n < 512 && name[n] != 0) ++n;
    char buffer[513];
    for (u32 i = 0; i < n; ++i) {
        char c = name[i];
        if (c == '/' || c == '\\') c = '_';
        else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        buffer[i] = c;
    }
    return String::FromBuffer(buffer, n, true);
}
}  // namespace

MemoryBuffer::~MemoryBuffer() { Unload(); }

bool MemoryBuffer::Load(patht path) {
    Unload();
    bool borrow = true;
    borrowed = 1;
    Blob read;
    if (!path.ReadAll(read, borrow) || read.size() == 0) return false;
    held = static_cast<Blob&&>(read);
    borrowed = held.IsBorrowed() ? 1 : 0;
    BuildIndex();
    return true;
}

void MemoryBuffer::Unload() {
    // A borrowed Blob only forgets its bytes; an owned one frees them.
    held.Free();
    index.Clear();
    members.Resize(0);
    indexComplete = false;
}

void MemoryBuffer::BuildIndex() {
    index.Clear();
    members.Resize(0);
    indexComplete = false;
    RarMemoryFile archive;
    archive.data = held.data();
    archive.size = held.size();
    u16 mainFlags = 0;
    // A solid archive needs every member before the wanted one checked; leave those to
    // the reader's own walk.
    if (!RarBegin(&archive, &mainFlags) || (mainFlags & kRarMainSolid) != 0) return;
    RarMember member;
    for (;;) {
        const RarWalk step = RarNextMember(&archive, &member);
        if (step == RarWalk::End) break;
        if (step == RarWalk::Broken) return;  // names past the break go the long way
        if (member.IsDirectory()) continue;
        String key = MatchingForm(member.name, member.nameLength);
        if (index.Find(key)) continue;  // the first member of a name is the one found
        index.Insert(key, static_cast<u32>(members.count), true);
        members.Add(member);
    }
    indexComplete = true;
}

bool MemoryBuffer::Find(const String& name, const u8** data, u32* size) {
    *data = nullptr;
    *size = 0;
    if (held.size() == 0 || name.IsEmpty()) return false;
    RarMemoryFile archive;
    archive.data = held.data();
    archive.size = held.size();
    archive.offset = 0;
    if (const auto* node = index.Find(MatchingForm(name.c_str(), name.length))) {
        return RarStoredData(&archive, &members.data[node->value], data, size);
    }
    if (indexComplete) return false;
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
