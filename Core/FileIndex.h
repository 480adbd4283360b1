// An index of the files under a folder, built once at start-up for the current folder.
#pragma once

#include "Core/OrderedMap.h"
#include "Core/String.h"

struct FileRecord {
    String name;
    u32 size = 0;
    u32 reserved = 0;
    u32 attributes = 0;  // the platform's attribute bits
    u32 accessTime = 0;
    u32 createTime = 0;
    u32 writeTime = 0;
};

// The entry part describes the folder itself (as its parent listed it).
class FileIndex : public FileRecord {
public:
    static constexpr u32 kDirectory = 0x10;
    // A link to somewhere else (a junction or symbolic link): listed, never descended into.
    static constexpr u32 kReparsePoint = 0x400;
    // Deeper folders are listed but not scanned.
    static constexpr u32 kMaxDepth = 64;

    FileIndex() = default;
    ~FileIndex();
    FileIndex(const FileIndex&) = delete;
    FileIndex& operator=(const FileIndex&) = delete;

    // Lists the entries of `folder` matching `pattern` whose attribute bits share a bit
    // with `mask`; sub-folders get their own index, scanned too when `recursive`. True
    // when the folder could be read.
    bool Scan(const String& folder, const String& pattern, bool recursive, u32 mask);
    void Clear();

    const FileRecord* FindFile(const String& name) const;
    const FileIndex* FindFolder(const String& name) const;

    String folder;  // without a trailing separator
    u8 scanned = 0;
    OrderedMap<String, FileRecord, StringOrderNoCase> files;
    OrderedMap<String, FileIndex*, StringOrderNoCase> folders;  // owned

private:
    bool ScanAt(const String& folder, const String& pattern, bool recursive, u32 mask, u32 depth);
};
