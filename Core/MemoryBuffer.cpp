#include "Core/MemoryBuffer.h"

#include "Core/ArchiveStream.h"
#include "Core/Memory.h"
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
    RefHandle<Blob> file(new (std::nothrow) Blob(static_cast<Blob&&>(read)));
    if (!file) return false;
    held.Assign(file);
    borrowed = held->IsBorrowed() ? 1 : 0;
    BuildIndex();
    return true;
}

void MemoryBuffer::Unload() {
    // The last owner frees owned bytes: this buffer, or the last stream that views them.
    held.Release();
    index.Clear();
    members.Resize(0);
    indexComplete = false;
    solid = false;
}

void MemoryBuffer::BuildIndex() {
    index.Clear();
    members.Resize(0);
    indexComplete = false;
    RarMemoryFile archive;
    archive.data = Data();
    archive.size = Size();
    u16 mainFlags = 0;
    if (!RarBegin(&archive, &mainFlags)) return;
    solid = (mainFlags & kRarMainSolid) != 0;
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

bool MemoryBuffer::Find(const String& name, Found* found) {
    *found = Found();
    if (Size() == 0 || name.IsEmpty()) return false;
    ++memberLookups;
    RarMemoryFile archive;
    archive.data = Data();
    archive.size = Size();
    archive.offset = 0;
    const RarMember* member = nullptr;
    if (const auto* node = index.Find(MatchingForm(name.c_str(), name.length))) {
        member = &members.data[node->value];
    } else if (indexComplete) {
        return false;
    }
    const bool viewable = member == nullptr || (member->IsStored() && !member->IsEncrypted());
    if (member != nullptr && !solid) {
        if (viewable) return RarStoredData(&archive, member, &found->data, &found->size);
        if (!RarExtractMember(&found->owned, &found->size, &archive, member, nullptr)) return false;
        found->data = found->owned;
        return true;
    }
    // In a solid archive (or past a broken block) the reader's own walk checks every
    // member before this one.
    if (viewable && RarFindStored(&found->data, &found->size, name.c_str(), &archive)) return true;
    if (member != nullptr && viewable) return false;  // a stored member the walk refused
    if (!RarExtract(&found->owned, &found->size, name.c_str(), &archive, nullptr)) return false;
    found->data = found->owned;
    return true;
}

bool MemoryBuffer::Contains(const String& name) {
    Found found;
    const bool present = Find(name, &found);
    MemFree(found.owned);
    return present;
}

Stream* MemoryBuffer::OpenMember(const String& name, u32 mode) {
    Found found;
    if (!Find(name, &found)) return nullptr;
    ArchiveStream* stream = new (std::nothrow) ArchiveStream;
    if (!stream) {
        MemFree(found.owned);
        return nullptr;
    }
    stream->Open(String(), mode);
    if (mode & kStreamWrite) {
        const bool copied = stream->AssignBuffer(found.data, found.size);
        MemFree(found.owned);
        if (!copied) {
            delete stream;
            return nullptr;
        }
    } else if (found.owned) {
        stream->AdoptBytes(found.owned, found.size);
    } else if (borrowed) {
        stream->BorrowBytes(found.data, found.size);
    } else {
        stream->ShareBytes(held, found.data, found.size);
    }
    return stream;
}
