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
// Loads the archive once per run and mounts it. The texture manager's search places
// cannot be taken back, so the archive they point into stays for the rest of the run.
inline bool MountMediaArchive() {
    static MemoryBuffer archive;
    static const bool loaded = archive.Load(patht(CORVANE_MEDIA_ARCHIVE));
    if (!loaded) return false;
    patht media("Media");
    media.flags = kPathArchive;
    media.archive = &archive;
    TheTextureManager().SearchPaths().AddSearchPath(media);
    return true;
}
#endif
