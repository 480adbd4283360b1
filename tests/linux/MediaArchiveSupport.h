// The packed media archive of this build as the saver mounts it: a search place "Media"
// of the texture manager. Only builds that pack the archive define CORVANE_MEDIA_ARCHIVE.
#pragma once

#include "Core/MemFile.h"
#include "Core/MemoryBuffer.h"
#include "Core/ValueTypes.h"
#include "D3d/TextureManager.h"

#include <string>

// The bytes of one member of a loaded archive, by its path there ("Media/..."); false
// when the archive does not hold it.
inline bool ReadMediaMember(MemoryBuffer& archive, const std::string& name, std::string& out) {
    patht path(name.c_str());
    path.flags = kPathArchive;
    path.archive = &archive;
    Blob bytes;
    bool borrowed = false;
    if (!path.ReadAll(bytes, borrowed)) return false;
    out.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return true;
}

#ifdef CORVANE_MEDIA_ARCHIVE
// The archive, loaded once per run; null when it cannot be read.
inline MemoryBuffer* PackedMediaArchive() {
    static MemoryBuffer archive;
    static const bool loaded = archive.Load(patht(CORVANE_MEDIA_ARCHIVE));
    return loaded ? &archive : nullptr;
}

// The archive mounted for as long as the mount lives: a search place "Media" of the
// program-wide texture manager, taken back when the mount goes. False when the archive
// cannot be read.
class MediaMount {
public:
    MediaMount() : archive_(PackedMediaArchive()) {
        if (!archive_) return;
        patht media("Media");
        media.flags = kPathArchive;
        media.archive = archive_;
        TheTextureManager().SearchPaths().AddSearchPath(media);
    }
    ~MediaMount() {
        if (archive_) TheTextureManager().SearchPaths().ForgetArchive(archive_);
    }
    MediaMount(const MediaMount&) = delete;
    MediaMount& operator=(const MediaMount&) = delete;
    explicit operator bool() const { return archive_ != nullptr; }

private:
    MemoryBuffer* archive_;
};
#endif
