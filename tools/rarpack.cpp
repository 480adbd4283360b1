// rarpack <folder> <archive.rar> [--prefix Media\]
// Packs a folder recursively into a RAR 2.0 archive of stored members. Members are
// written in the byte order of their archive names and with one fixed time stamp, so the
// same folder always gives the same archive. Directories are written as directory
// entries (empty ones survive a round trip).
#include "tools/RarWriter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Entry {
    std::string name;         // relative path with '/' separators
    std::string archiveName;  // as stored: prefix and back slashes
    fs::path path;
    bool directory = false;
};

int Usage() {
    std::fprintf(stderr, "usage: rarpack <folder> <archive.rar> [--prefix Media\\]\n");
    return 2;
}

bool ReadWhole(const fs::path& path, std::vector<char>* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

int main(int argc, char** argv) {
    std::string folder, archive, prefix;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--prefix") {
            if (++i >= argc)
                return Usage();
            prefix = argv[i];
        } else if (folder.empty()) {
            folder = arg;
        } else if (archive.empty()) {
            archive = arg;
        } else {
            return Usage();
        }
    }
    if (folder.empty() || archive.empty())
        return Usage();

    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        std::fprintf(stderr, "rarpack: %s is not a folder\n", folder.c_str());
        return 1;
    }

    std::vector<Entry> entries;
    fs::recursive_directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& e = *it;
        Entry entry;
        entry.path = e.path();
        entry.name = fs::relative(e.path(), folder, ec).generic_string();
        if (ec)
            break;
        if (e.is_directory(ec))
            entry.directory = true;
        else if (!e.is_regular_file(ec))
            continue;  // sockets, devices and broken links have no bytes to pack
        entries.push_back(std::move(entry));
    }
    if (ec) {
        std::fprintf(stderr, "rarpack: cannot read %s: %s\n", folder.c_str(), ec.message().c_str());
        return 1;
    }

    RarWriter writer;
    writer.SetPrefix(prefix);
    for (Entry& entry : entries)
        entry.archiveName = writer.ArchiveName(entry.name);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.archiveName < b.archiveName; });

    std::vector<char> bytes;
    for (const Entry& entry : entries) {
        bool ok;
        if (entry.directory) {
            ok = writer.AddDirectory(entry.name);
        } else {
            if (!ReadWhole(entry.path, &bytes)) {
                std::fprintf(stderr, "rarpack: cannot read %s\n", entry.path.string().c_str());
                return 1;
            }
            ok = writer.AddFile(entry.name, bytes.data(), bytes.size());
        }
        if (!ok) {
            std::fprintf(stderr, "rarpack: cannot pack %s (name too long or archive over 4 GB)\n",
                         entry.archiveName.c_str());
            return 1;
        }
    }

    const std::vector<u8>& out = writer.Bytes();
    std::ofstream file(archive, std::ios::binary | std::ios::trunc);
    if (file)
        file.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "rarpack: cannot write %s\n", archive.c_str());
        fs::remove(archive, ec);
        return 1;
    }
    return 0;
}
