#include "Core/MemFile.h"

#include "Core/MemoryBuffer.h"

namespace {

bool AnyMatches(const PathList& list, const patht& path) {
    const PathList::Node* node = list.current;
    for (i32 i = 0; i < list.count; ++i, node = node->next)
        if (node->payload.Matches(path)) return true;
    return false;
}

// The folder of a search entry without its trailing back slashes and then its trailing
// slashes, joined to the name by exactly one "/" (just the name beside an empty folder).
String Candidate(const String& folder, const String& name) {
    u32 end = folder.length;
    while (end > 0 && folder.data[end - 1] == '\\') --end;
    while (end > 0 && folder.data[end - 1] == '/') --end;
    if (end == 0) return name;
    String joined = String::FromBuffer(folder.data, end, true);
    joined.Append(String("/"));
    joined.Append(name);
    return joined;
}

}  // namespace

MemFile::~MemFile() { Clear(); }

void MemFile::Clear() {
    archives.Clear();
    disk.Clear();
}

void MemFile::AddSearchPath(const patht& folder) {
    if ((folder.flags & kPathDisk) && !AnyMatches(disk, folder)) disk.PushBack(folder);
    if ((folder.flags & kPathArchive) && folder.archive && !AnyMatches(archives, folder)) archives.PushBack(folder);
}

void MemFile::AddSearchPaths(const MemFile& other) {
    if (&other == this) return;
    const PathList::Node* node = other.disk.current;
    for (i32 i = 0; i < other.disk.count; ++i, node = node->next) AddSearchPath(node->payload);
    node = other.archives.current;
    for (i32 i = 0; i < other.archives.count; ++i, node = node->next) AddSearchPath(node->payload);
}

bool MemFile::Resolve(patht& path) {
    if (path.flags & kPathMemory) {
        path.flags = kPathMemory;
        return true;
    }
    if (path.flags & kPathResource) {
        const u8* data = nullptr;
        u32 size = 0;
        if (GetResourceBlob(static_cast<u16>(path.number & 0xFFFFu), kPathResourceType, &data, &size)) {
            path.flags = kPathResource;
            return true;
        }
    }

    // Leading slashes, then leading back slashes, are dropped; nothing else changes.
    u32 skip = 0;
    while (skip < path.name.length && path.name.data[skip] == '/') ++skip;
    while (skip < path.name.length && path.name.data[skip] == '\\') ++skip;
    const String name = skip ? String::FromBuffer(path.name.data + skip, path.name.length - skip, true) : path.name;

    if (path.flags & kPathDisk) {
        if (FileExists(name)) {
            path.flags = kPathDisk;
            path.name = name;
            return true;
        }
        for (i32 i = 0; i < disk.count; ++i, disk.current = disk.current->next) {
            String candidate = Candidate(disk.current->payload.name, name);
            if (FileExists(candidate)) {
                path.flags = kPathDisk;
                path.name = candidate;
                return true;
            }
        }
    }

    if (path.flags & kPathArchive) {
        if (path.archive && path.archive->Contains(name)) {
            path.flags = kPathArchive;
            path.name = name;
            return true;
        }
        for (i32 i = 0; i < archives.count; ++i, archives.current = archives.current->next) {
            const patht& entry = archives.current->payload;
            String candidate = Candidate(entry.name, name);
            if (entry.archive->Contains(candidate)) {
                path.flags = kPathArchive;
                path.archive = entry.archive;
                path.name = candidate;
                return true;
            }
        }
        for (i32 i = 0; i < archives.count; ++i, archives.current = archives.current->next) {
            const patht& entry = archives.current->payload;
            if (entry.archive->Contains(name)) {
                path.flags = kPathArchive;
                path.archive = entry.archive;
                path.name = name;
                return true;
            }
        }
    }
    return false;
}

i32 MemFile::ForgetArchive(const MemoryBuffer* archive) {
    if (!archive) return 0;
    return archives.RemoveIf([archive](const patht& entry) { return entry.archive == archive; });
}
