// The executable's resources with the build's packed media archive as resource 125, as
// the saver finds it in the program: what the saver soaks and the product scene's frame
// benchmark start the whole saver on. Without an archive in the build the table is the
// executable's own, less resource 125. Only builds that pack the archive define
// CORVANE_MEDIA_ARCHIVE. Given a module's file, the table carries it as the audio library
// (resource "BASS" 126), as the program does; without one the saver runs silent.
#pragma once

#include "Core/Types.h"

#include <PlatformResources.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class MediaResources {
public:
    explicit MediaResources(const char* audioLibrary = nullptr) {
        for (u32 i = 0; i < CorvaneResourceTable.count; ++i)
            if (CorvaneResourceTable.entries[i].name || CorvaneResourceTable.entries[i].nameId != 125)
                entries.push_back(CorvaneResourceTable.entries[i]);
#ifdef CORVANE_MEDIA_ARCHIVE
        std::ifstream in(CORVANE_MEDIA_ARCHIVE, std::ios::binary);
        archive.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        const auto* bytes = reinterpret_cast<const unsigned char*>(archive.data());
        if (!archive.empty()) entries.push_back(PlatformResource{"MEMFILE", 0, nullptr, 125, bytes, bytes + archive.size()});
#endif
        if (audioLibrary) {
            std::ifstream module(audioLibrary, std::ios::binary);
            library.assign(std::istreambuf_iterator<char>(module), std::istreambuf_iterator<char>());
            const auto* bytes = reinterpret_cast<const unsigned char*>(library.data());
            if (!library.empty()) entries.push_back(PlatformResource{"BASS", 0, nullptr, 126, bytes, bytes + library.size()});
        }
        table = PlatformResourceTable{entries.data(), static_cast<uint32_t>(entries.size())};
        PlatformResources_Override(&table);
    }
    ~MediaResources() { PlatformResources_Override(nullptr); }
    MediaResources(const MediaResources&) = delete;
    MediaResources& operator=(const MediaResources&) = delete;
    bool HasArchive() const { return !archive.empty(); }
    bool HasAudioLibrary() const { return !library.empty(); }

private:
    std::string archive;
    std::string library;
    std::vector<PlatformResource> entries;
    PlatformResourceTable table{};
};
