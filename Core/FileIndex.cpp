#include "Core/FileIndex.h"

#include <io.h>

#include <string.h>

namespace {
void FillRecord(FileRecord& record, const _finddata_t& entry) {
    record.name = String(entry.name);
    record.size = entry.size;
    record.reserved = 0;
    record.attributes = entry.attrib;
    record.accessTime = static_cast<u32>(entry.time_access);
    record.createTime = static_cast<u32>(entry.time_create);
    record.writeTime = static_cast<u32>(entry.time_write);
}

String WithoutTrailingSeparators(const String& folder) {
    u32 n = folder.length;
    while (n > 0 && folder.data[n - 1] == '\\') --n;
    while (n > 0 && folder.data[n - 1] == '/') --n;
    return folder.Substring(0, static_cast<int>(n) - 1);
}
}  // namespace

FileIndex::~FileIndex() { Clear(); }

void FileIndex::Clear() {
    files.Clear();
    auto* node = folders.cursor;
    for (u32 i = 0; i < folders.count; ++i, node = node->next) {
        delete node->value;
        node->value = nullptr;
    }
    folders.Clear();
    scanned = 0;
}

bool FileIndex::Scan(const String& folder_, const String& pattern, bool recursive, u32 mask) {
    return ScanAt(folder_, pattern, recursive, mask, 0);
}

bool FileIndex::ScanAt(const String& folder_, const String& pattern, bool recursive, u32 mask, u32 depth) {
    Clear();
    folder = WithoutTrailingSeparators(folder_);
    const String search = folder + "/" + pattern;
    _finddata_t entry;
    const intptr_t handle = _findfirst(search.c_str(), &entry);
    if (handle == -1) return false;
    do {
        if (strcmp(entry.name, ".") == 0 || strcmp(entry.name, "..") == 0) continue;
        if ((entry.attrib & mask) == 0) continue;
        const String name(entry.name);
        if (entry.attrib & kDirectory) {
            FileIndex* sub = new FileIndex();
            FillRecord(*sub, entry);
            if (auto* old = folders.Find(name)) {
                delete old->value;
                old->value = sub;
            } else {
                if (folders.count) folders.cursor = folders.first->prev;  // at the end of the order
                folders.Insert(name, sub, true);
            }
            if (recursive && !(entry.attrib & kReparsePoint) && depth + 1 < kMaxDepth)
                sub->ScanAt(folder + "/" + name, pattern, recursive, mask, depth + 1);
        } else {
            FileRecord record;
            FillRecord(record, entry);
            files.Insert(name, record, true);
        }
    } while (_findnext(handle, &entry) == 0);
    _findclose(handle);
    scanned = 1;
    return true;
}

const FileRecord* FileIndex::FindFile(const String& name) const {
    const auto* node = files.Find(name);
    return node ? &node->value : nullptr;
}

const FileIndex* FileIndex::FindFolder(const String& name) const {
    const auto* node = folders.Find(name);
    return node ? node->value : nullptr;
}
