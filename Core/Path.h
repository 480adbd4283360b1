// File descriptors: where a file may be found (a disk file, a member of a mounted
// archive, a resource of the executable, a block of memory) and under which name or
// number; and the operations on path texts.
#pragma once

#include "Core/String.h"
#include "Core/Types.h"

class Blob;
class MemoryBuffer;
class Stream;

// The places a patht may name, as bits of its flags.
enum PathPlace : u32 {
    kPathDisk = 1,      // a disk file by name
    kPathArchive = 2,   // a member of a mounted archive by name
    kPathResource = 4,  // a resource of the executable by number
    kPathMemory = 8,    // a block of memory
};

// The resource type of every file read through a patht (matched without regard to case).
constexpr const char* kPathResourceType = "MemFile";

// A block of memory that a patht names: {pointer, size}. Not owned.
struct MemoryBlock {
    const u8* data = nullptr;
    u32 size = 0;
    bool operator==(const MemoryBlock&) const = default;
};

// Passed and returned by value. Before resolution `flags` may hold several places to
// try; after a successful MemFile::Resolve or Open exactly the one used is left.
class patht {
public:
    u32 flags = 0;
    String name;                     // "/" or "\" separated
    u32 number = 0;                  // resource number; its low 16 bits are the identifier
    MemoryBuffer* archive = nullptr; // the mounted archive, for kPathArchive
    MemoryBlock block;               // for kPathMemory
    u8 borrow = 1;                   // a block or resource may be handed out without a copy

    patht() = default;
    // A disk file by name.
    patht(const char* text);
    patht(const String& text);
    // A block of memory (not copied; it must outlive every stream opened on it).
    static patht FromMemory(const void* data, u32 size) {
        patht path;
        path.flags = kPathMemory;
        path.block.data = static_cast<const u8*>(data);
        path.block.size = size;
        return path;
    }

    // False when the two share no place; else true when they agree on every place they
    // share (disk: names equal with case; archive: archive and name; memory: the block;
    // resource: the number).
    bool Matches(const patht& other) const;
    // A three-way order (the key order of the texture manager): by the flag words, then
    // by number, block, name without case and archive where both name those places.
    int Compare(const patht& other) const;
    // The folder that holds this file, as a place to search beside it.
    patht WithFolder() const;

    // Opens the file as a stream the caller owns, or null; the places are tried in the
    // order resource or memory block, disk, archive. `flags` is left on the one used.
    Stream* Open(u32 mode);
    // Reads the whole file into out. On entry `borrowed` says whether the caller accepts
    // bytes it does not own; on return whether out points into someone else's memory.
    // False only when the file could not be opened.
    bool ReadAll(Blob& out, bool& borrowed);
};

// The bytes of a resource of the running executable, valid for the whole run and never
// freed. False (and null, 0) when there is no such resource.
bool GetResourceBlob(u16 id, const char* type, const u8** data, u32* size);

// Path texts: both "/" and "\" separate folders.
// The part after the last separator; the whole path when there is none.
String GetFileName(const String& path);
// The part before the last separator; empty when there is none or when the last one is
// the first character.
String GetFolder(const String& path);
// GetFolder with "/" appended, unless empty.
String GetFolderWithSlash(const String& path);
// Of the file name, the text after its last "."; empty when it has none.
String GetExtension(const String& path);
// Of the file name, the text before its last "."; empty when that "." is its first
// character; the whole file name when it has none.
String StripExtension(const String& path);
// True when the file can be opened for reading.
bool FileExists(const String& path);
