#include "Core/Path.h"

#include "Core/ArchiveStream.h"
#include "Core/FileStream.h"
#include "Core/MemoryBuffer.h"
#include "Core/Memory.h"
#include "Core/TextCompare.h"
#include "Core/ValueTypes.h"

#include <new>
#include <stdio.h>
#include <windows.h>

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Index of the last separator, or -1.
i32 LastSeparator(const String& path) {
    for (u32 i = path.length; i > 0; --i)
        if (IsSeparator(path.data[i - 1])) return static_cast<i32>(i - 1);
    return -1;
}

String Slice(const String& s, u32 from, u32 to) {
    if (to <= from) return String();
    return String::FromBuffer(s.data + from, to - from, true);
}

int Order(u32 a, u32 b) { return a < b ? -1 : a > b ? 1 : 0; }

int OrderPointers(const void* a, const void* b) {
    const auto x = reinterpret_cast<std::uintptr_t>(a);
    const auto y = reinterpret_cast<std::uintptr_t>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace

patht::patht(const char* text) : flags(kPathDisk), name(String::FromText(text)) {}

patht::patht(const String& text) : flags(kPathDisk), name(text) {}

bool patht::Matches(const patht& other) const {
    const u32 shared = flags & other.flags;
    if (shared == 0) return false;
    if ((shared & kPathDisk) && !String::Equals(name, other.name)) return false;
    if ((shared & kPathArchive) && (archive != other.archive || !String::Equals(name, other.name))) return false;
    if ((shared & kPathMemory) && !(block == other.block)) return false;
    if ((shared & kPathResource) && number != other.number) return false;
    return true;
}

int patht::Compare(const patht& other) const {
    const u32 both = flags & other.flags;
    int result = Order(flags, other.flags);
    if (both & kPathResource) {
        if (number == other.number) return 0;
        return Order(number, other.number);
    }
    if (both & kPathMemory) {
        if (block.data == other.block.data) return 0;
        return OrderPointers(block.data, other.block.data);
    }
    if (both & kPathDisk) {
        const int names = StrCompareNoCase(name.data, other.name.data);
        if (names == 0) return 0;
        result = names;
    }
    if (!(both & kPathArchive)) return result;
    if (archive != other.archive) return OrderPointers(archive, other.archive);
    return StrCompareNoCase(name.data, other.name.data);
}

patht patht::WithFolder() const {
    patht folder;
    if ((flags & kPathDisk) && !name.IsEmpty()) {
        folder.flags |= kPathDisk;
        folder.name = GetFolder(name);
    }
    if ((flags & kPathArchive) && archive) {
        folder.flags |= kPathArchive;
        folder.name = GetFolder(name);
        folder.archive = archive;
    }
    return folder;
}

Stream* patht::Open(u32 mode) {
    if (flags & (kPathResource | kPathMemory)) {
        // A resource is tried first; one that is absent goes on to the disk and the archive.
        const u8* data = nullptr;
        u32 size = 0;
        bool fromResource = false;
        bool usable = true;
        if (flags & kPathResource) {
            fromResource = true;
            usable = GetResourceBlob(static_cast<u16>(number & 0xFFFFu), kPathResourceType, &data, &size);
        } else {
            data = block.data;
            size = data ? block.size : 0;
        }
        if (usable) {
            ArchiveStream* stream = new (std::nothrow) ArchiveStream;
            if (!stream) return nullptr;
            stream->Open(String(), mode);
            bool filled = true;
            if (mode & kStreamWrite) filled = stream->AssignBuffer(data, size);
            else if (fromResource || borrow) stream->BorrowBytes(data, size);
            else filled = stream->CopyBytes(data, size);
            if (filled) {
                flags = fromResource ? kPathResource : kPathMemory;
                return stream;
            }
            delete stream;
        }
    }
    if (flags & kPathDisk) {
        FileStream* stream = new (std::nothrow) FileStream;
        if (stream && stream->Open(name, mode)) {
            flags = kPathDisk;
            return stream;
        }
        delete stream;
    }
    if ((flags & kPathArchive) && archive) {
        flags = kPathArchive;
        return archive->OpenMember(name, mode);
    }
    return nullptr;
}

bool patht::ReadAll(Blob& out, bool& borrowed) {
    if (flags & kPathResource) {
        const u8* data = nullptr;
        u32 size = 0;
        if (GetResourceBlob(static_cast<u16>(number & 0xFFFFu), kPathResourceType, &data, &size)) {
            if (borrowed) out.Borrow(data, size);
            else out.Assign(data, size);
            return true;
        }
    }
    if (!(flags & kPathMemory)) {
        Stream* stream = Open(kStreamRead);
        if (!stream) return false;
        const i32 size = stream->Size();
        const u32 wanted = size > 0 ? static_cast<u32>(size) : 0u;
        borrowed = false;
        // A file that shrank since its size was taken hands out only what was read.
        u8* bytes = static_cast<u8*>(MemAlloc(wanted));
        const u32 got = bytes ? stream->ReadBlock(bytes, wanted) : 0;
        out.Adopt(bytes, got);
        stream->Close();
        delete stream;
        return true;
    }
    const u8* data = block.data;
    const u32 size = data ? block.size : 0;
    if (borrowed && borrow) {
        out.Borrow(data, size);
    } else {
        borrowed = false;
        out.Assign(data, size);
    }
    return true;
}

bool GetResourceBlob(u16 id, const char* type, const u8** data, u32* size) {
    if (data) *data = nullptr;
    if (size) *size = 0;
    if (!data || !size) return false;
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
    if (!found) return false;
    HGLOBAL loaded = LoadResource(nullptr, found);
    if (!loaded) return false;
    const void* bytes = LockResource(loaded);
    if (!bytes) return false;
    *data = static_cast<const u8*>(bytes);
    *size = SizeofResource(nullptr, found);
    return true;
}

String GetFileName(const String& path) {
    const i32 slash = LastSeparator(path);
    if (slash < 0) return path;
    return Slice(path, static_cast<u32>(slash) + 1, path.length);
}

String GetFolder(const String& path) {
    const i32 slash = LastSeparator(path);
    if (slash <= 0) return String();
    return Slice(path, 0, static_cast<u32>(slash));
}

String GetFolderWithSlash(const String& path) {
    String folder = GetFolder(path);
    if (!folder.IsEmpty()) folder.Append(String("/"));
    return folder;
}

String GetExtension(const String& path) {
    const String file = GetFileName(path);
    for (u32 i = file.length; i > 0; --i)
        if (file.data[i - 1] == '.') return Slice(file, i, file.length);
    return String();
}

String StripExtension(const String& path) {
    const String file = GetFileName(path);
    for (u32 i = file.length; i > 0; --i)
        if (file.data[i - 1] == '.') return Slice(file, 0, i - 1);
    return file;
}

bool FileExists(const String& path) {
    if (path.IsEmpty()) return false;
    FILE* file = fopen(path.c_str(), "r");
    if (!file) return false;
    fclose(file);
    return true;
}
