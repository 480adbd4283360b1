// The search context of file loading: a list of disk folders and a list of archive
// folders, against which a patht is resolved to a place where the file exists.
#pragma once

#include "Core/List.h"
#include "Core/Path.h"

// A ring of patht copies with a cursor (`current`) where the next search starts.
using PathList = QueueList<patht>;

class MemoryBuffer;

class MemFile {
public:
    MemFile() = default;
    MemFile(const MemFile&) = delete;
    MemFile& operator=(const MemFile&) = delete;
    ~MemFile();

    // Adds a folder to search: with the disk place to the disk list, with the archive
    // place (and an archive) to the archive list, unless an entry there matches it. The
    // cursor of a list that grew is left on the new entry.
    void AddSearchPath(const patht& folder);
    // Adds every entry of another context's disk list, then of its archive list, each
    // walked once round from its cursor, skipping those already present.
    void AddSearchPaths(const MemFile& other);

    // Rewrites `path` to the first place where the file exists: a memory block, a
    // resource, the name on disk, the name beside each disk folder, the name in its own
    // archive, beside each archive folder, and last the bare name in each archive. The
    // lists are searched from their cursors, and a cursor stays on the entry that found
    // the file. False, with `path` unchanged, when the file exists nowhere.
    bool Resolve(patht& path);
    // Drops every archive entry that searches inside `archive`: an archive that goes
    // away must not be searched again. Returns how many went.
    i32 ForgetArchive(const MemoryBuffer* archive);
    // Forgets every folder of both lists.
    void Clear();
    bool ResolveDefault(patht& path) { return Resolve(path); }

    const PathList& DiskFolders() const { return disk; }
    const PathList& ArchiveFolders() const { return archives; }

private:
    PathList disk;
    PathList archives;
};
