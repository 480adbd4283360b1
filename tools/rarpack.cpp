// rarpack <folder> <archive.rar> [--prefix Media\] [packing options]
// rarpack --samples <archive.rar> [--prefix ...] [packing options]
// rarpack --write-samples <folder>
// rarpack --unpack-seeds <folder>
// rarpack --write-bench <folder>
// Packs a folder recursively into a RAR 2.0 archive. Members are written in the byte order
// of their archive names and with one fixed time stamp, so the same folder always gives
// the same archive. Directories are written as directory entries (empty ones survive a
// round trip). Without packing options every member is stored (the media archive).
//
// Packing options (any of them packs through tools/Rar20Pack):
//   --compress          RAR 2.0 compression; a member that does not shrink is stored
//   --solid             a solid archive (implies --compress)
//   --multimedia N      multimedia mode with N (1..4) channels for every member
//   --mixed             every member cycles through LZ and multimedia with 1..4 channels
//   --block N           codes per block: each block sends new tables (default 32768)
//   --password TEXT     encrypts every member with the RAR 2.0 cipher
//   --comment TEXT      an archive comment in the main header
//   --file-comment TEXT the same comment in every file header
//   --whole-header-crc  headers with comments checksum all of themselves (by default only
//                       their fixed fields, as RAR 1.5-2.x wrote them)
//   --stats             prints which codes were written
// --samples packs the built-in sample members (the tests' fixtures) instead of a folder,
// each with its own packing options; --write-samples writes them out as files;
// --unpack-seeds writes their packed streams as seeds of tests/fuzz/fuzz_rar_unpack.cpp;
// --write-bench writes the corpus that bench/bench_rar_unpack.cpp unpacks.
#include "Core/Rar20Crypt.h"
#include "tools/Rar20Pack.h"
#include "tools/RarWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

struct Settings {
    std::string folder, archive, prefix;
    bool samples = false;
    bool writeSamples = false;
    bool unpackSeeds = false;
    bool writeBench = false;
    bool packing = false;     // any packing option given
    bool compress = false;
    bool solid = false;
    u32 channels = 0;
    bool mixed = false;
    u32 block = 0x8000;
    std::string password, comment, fileComment;
    bool wholeHeaderCrc = false;
    bool stats = false;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: rarpack <folder> <archive.rar> [--prefix Media\\] [--compress] [--solid]\n"
                 "               [--multimedia 1..4] [--mixed] [--block N] [--password TEXT]\n"
                 "               [--comment TEXT] [--file-comment TEXT] [--whole-header-crc] [--stats]\n"
                 "       rarpack --samples <archive.rar> [the same options]\n"
                 "       rarpack --write-samples <folder>\n"
                 "       rarpack --unpack-seeds <folder>\n"
                 "       rarpack --write-bench <folder>\n");
    return 2;
}

bool ReadWhole(const fs::path& path, std::vector<char>* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteWhole(const std::string& path, const std::vector<u8>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file)
        file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    file.close();
    if (!file) {
        std::error_code ec;
        fs::remove(path, ec);
        return false;
    }
    return true;
}

bool ParseCount(const char* text, u32 low, u32 high, u32* out) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 10);
    if (end == text || *end != 0 || v < low || v > high)
        return false;
    *out = u32(v);
    return true;
}

bool Parse(int argc, char** argv, Settings* s) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--prefix" && hasValue) {
            s->prefix = argv[++i];
        } else if (arg == "--samples") {
            s->samples = true;
        } else if (arg == "--write-samples") {
            s->writeSamples = true;
        } else if (arg == "--unpack-seeds") {
            s->unpackSeeds = true;
        } else if (arg == "--write-bench") {
            s->writeBench = true;
        } else if (arg == "--compress") {
            s->packing = s->compress = true;
        } else if (arg == "--solid") {
            s->packing = s->compress = s->solid = true;
        } else if (arg == "--multimedia" && hasValue) {
            s->packing = s->compress = true;
            if (!ParseCount(argv[++i], 1, 4, &s->channels))
                return false;
        } else if (arg == "--mixed") {
            s->packing = s->compress = s->mixed = true;
        } else if (arg == "--block" && hasValue) {
            if (!ParseCount(argv[++i], 1, 0x7FFFFFFF, &s->block))
                return false;
        } else if (arg == "--password" && hasValue) {
            s->packing = true;
            s->password = argv[++i];
            if (s->password.empty())
                return false;
        } else if (arg == "--comment" && hasValue) {
            s->packing = true;
            s->comment = argv[++i];
        } else if (arg == "--file-comment" && hasValue) {
            s->packing = true;
            s->fileComment = argv[++i];
        } else if (arg == "--whole-header-crc") {
            s->wholeHeaderCrc = true;
        } else if (arg == "--stats") {
            s->stats = true;
        } else if (!arg.empty() && arg[0] == '-' && arg.size() > 1 && arg[1] == '-') {
            return false;
        } else if (s->folder.empty() && !s->samples) {
            s->folder = arg;
        } else if (s->archive.empty()) {
            s->archive = arg;
        } else {
            return false;
        }
    }
    if (int(s->writeSamples) + int(s->unpackSeeds) + int(s->writeBench) > 1)
        return false;
    if (s->writeSamples || s->unpackSeeds || s->writeBench)
        return !s->folder.empty() && s->archive.empty() && !s->samples;
    return !s->archive.empty() && (s->samples || !s->folder.empty());
}

// The folder's files and directories, sorted by archive name.
bool ListFolder(const Settings& s, std::vector<Entry>* entries) {
    std::error_code ec;
    if (!fs::is_directory(s.folder, ec)) {
        std::fprintf(stderr, "rarpack: %s is not a folder\n", s.folder.c_str());
        return false;
    }
    fs::recursive_directory_iterator it(s.folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& e = *it;
        Entry entry;
        entry.path = e.path();
        entry.name = fs::relative(e.path(), s.folder, ec).generic_string();
        if (ec)
            break;
        if (e.is_directory(ec))
            entry.directory = true;
        else if (!e.is_regular_file(ec))
            continue;  // sockets, devices and broken links have no bytes to pack
        entries->push_back(std::move(entry));
    }
    if (ec) {
        std::fprintf(stderr, "rarpack: cannot read %s: %s\n", s.folder.c_str(), ec.message().c_str());
        return false;
    }
    RarWriter namer;
    namer.SetPrefix(s.prefix);
    for (Entry& entry : *entries)
        entry.archiveName = namer.ArchiveName(entry.name);
    std::sort(entries->begin(), entries->end(),
              [](const Entry& a, const Entry& b) { return a.archiveName < b.archiveName; });
    return true;
}

// Stored members through the plain writer: the media archive of the build.
int PackStored(const Settings& s, const std::vector<Entry>& entries) {
    RarWriter writer;
    writer.SetPrefix(s.prefix);
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
    if (!WriteWhole(s.archive, writer.Bytes())) {
        std::fprintf(stderr, "rarpack: cannot write %s\n", s.archive.c_str());
        return 1;
    }
    return 0;
}

void PrintStats(const Rar20PackStats& st) {
    auto missing = [](const char* what, const u64* counts, u32 n) {
        std::string gaps;
        for (u32 i = 0; i < n; ++i)
            if (counts[i] == 0)
                gaps += " " + std::to_string(i);
        std::printf("%s codes never written:%s\n", what, gaps.empty() ? " none" : gaps.c_str());
    };
    missing("main", st.main, Rar20::kMainCodes);
    missing("distance", st.distance, Rar20::kDistanceCodes);
    missing("repeat length", st.repeat, Rar20::kRepeatCodes);
    missing("table header", st.header, Rar20::kBitLengthCodes);
    std::printf("blocks: LZ %llu, multimedia by channels %llu %llu %llu %llu; tables fresh %llu, as "
                "differences %llu; mode changes %llu\n",
                (unsigned long long)st.lzBlocks, (unsigned long long)st.audioBlocks[1],
                (unsigned long long)st.audioBlocks[2], (unsigned long long)st.audioBlocks[3],
                (unsigned long long)st.audioBlocks[4], (unsigned long long)st.freshTables,
                (unsigned long long)st.deltaTables, (unsigned long long)st.modeChanges);
    std::printf("members: packed %llu, stored %llu, solid %llu, encrypted %llu\n",
                (unsigned long long)st.packedMembers, (unsigned long long)st.storedMembers,
                (unsigned long long)st.solidMembers, (unsigned long long)st.encryptedMembers);
}

// Every member's options from the command line: mode, block size.
void ApplyOptions(const Settings& s, Rar20Member* m) {
    m->options.blockCodes = s.block;
    if (s.channels != 0) {
        m->options.segments = {{0, s.channels}};
    } else if (s.mixed) {
        m->options.segments.clear();
        for (u32 i = 0; i < 64; ++i)
            m->options.segments.push_back({4096, i % (Rar20::kMaxChannels + 1)});
    }
    if (!s.fileComment.empty() && !m->directory)
        m->comment = s.fileComment;
}

int PackWith20(const Settings& s, std::vector<Rar20Member> members) {
    Rar20ArchiveOptions options;
    options.compress = s.compress || s.samples;
    options.solid = s.solid;
    options.password = s.password;
    options.prefix = s.prefix;
    options.comment = s.comment;
    options.fixedPartHeaderCrc = !s.wholeHeaderCrc;
    std::vector<u8> bytes;
    Rar20PackStats stats;
    if (!Rar20WriteArchive(members, options, &bytes, &stats)) {
        std::fprintf(stderr, "rarpack: cannot pack (a name too long, a comment over 64 KB or the archive over 4 GB)\n");
        return 1;
    }
    if (!WriteWhole(s.archive, bytes)) {
        std::fprintf(stderr, "rarpack: cannot write %s\n", s.archive.c_str());
        return 1;
    }
    if (s.stats)
        PrintStats(stats);
    return 0;
}

int WriteMembers(const Settings& s, const std::vector<Rar20Member>& members) {
    std::error_code ec;
    for (const Rar20Member& m : members) {
        const fs::path path = fs::path(s.folder) / m.name;
        if (m.directory) {
            fs::create_directories(path, ec);
        } else {
            fs::create_directories(path.parent_path(), ec);
            if (!ec && !WriteWhole(path.string(), m.data))
                ec = std::make_error_code(std::errc::io_error);
        }
        if (ec) {
            std::fprintf(stderr, "rarpack: cannot write %s: %s\n", path.string().c_str(), ec.message().c_str());
            return 1;
        }
    }
    return 0;
}

// Seeds for the unpack fuzz target: flags, two sizes of 3 bytes, the split, then the
// packed bytes of one member, of two members of a solid run, or of one encrypted member.
int WriteUnpackSeeds(const Settings& s) {
    constexpr std::size_t kMaxSeed = 60000;
    std::error_code ec;
    fs::create_directories(s.folder, ec);
    std::vector<Rar20Member> members;
    for (Rar20Member& m : Rar20SampleMembers())
        if (!m.directory && m.data.size() < kMaxSeed)
            members.push_back(std::move(m));
    auto seed = [&](const std::string& name, u8 flags, u32 first, u32 second, const std::vector<u8>& a,
                    const std::vector<u8>& b) {
        std::vector<u8> out = {flags, u8(first), u8(first >> 8), u8(first >> 16), u8(second), u8(second >> 8),
                               u8(second >> 16), u8(a.size()), u8(a.size() >> 8)};
        out.insert(out.end(), a.begin(), a.end());
        out.insert(out.end(), b.begin(), b.end());
        return out.size() <= kMaxSeed + 9 && a.size() <= 0xFFFF && WriteWhole((fs::path(s.folder) / name).string(), out);
    };
    for (std::size_t i = 0; i < members.size(); ++i) {
        const Rar20Member& m = members[i];
        const u32 size = u32(m.data.size());
        Rar20Packer one;
        const std::vector<u8> packed = one.Pack(m.data.data(), m.data.size(), false, m.options);
        seed("single-" + std::to_string(i), 0, size, 0, packed, {});
        if (i + 1 < members.size()) {
            const Rar20Member& n = members[i + 1];
            Rar20Packer run;
            const std::vector<u8> a = run.Pack(m.data.data(), m.data.size(), false, m.options);
            const std::vector<u8> b = run.Pack(n.data.data(), n.data.size(), true, n.options);
            seed("solid-" + std::to_string(i), 1, size, u32(n.data.size()), a, b);
        }
        Rar20Packer sealedPacker;
        std::vector<u8> sealed = sealedPacker.Pack(m.data.data(), m.data.size(), false, m.options, Rar20Cipher::kBlockSize);
        Rar20Cipher cipher;
        cipher.SetPassword("fuzz");
        for (std::size_t at = 0; at + Rar20Cipher::kBlockSize <= sealed.size(); at += Rar20Cipher::kBlockSize)
            cipher.EncryptBlock(sealed.data() + at);
        seed("encrypted-" + std::to_string(i), 2, size, 0, sealed, {});
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Settings s;
    if (!Parse(argc, argv, &s))
        return Usage();
    if (s.writeSamples)
        return WriteMembers(s, Rar20SampleMembers());
    if (s.writeBench)
        return WriteMembers(s, Rar20BenchMembers());
    if (s.unpackSeeds)
        return WriteUnpackSeeds(s);
    if (s.samples) {
        std::vector<Rar20Member> members = Rar20SampleMembers();
        // The samples carry their own modes; only what the command line names changes.
        for (Rar20Member& m : members) {
            if (s.channels != 0 || s.mixed)
                ApplyOptions(s, &m);
            else if (!s.fileComment.empty() && !m.directory)
                m.comment = s.fileComment;
        }
        return PackWith20(s, std::move(members));
    }
    std::vector<Entry> entries;
    if (!ListFolder(s, &entries))
        return 1;
    if (!s.packing)
        return PackStored(s, entries);
    std::vector<Rar20Member> members;
    std::vector<char> bytes;
    for (const Entry& entry : entries) {
        Rar20Member m;
        m.name = entry.name;
        m.directory = entry.directory;
        if (!entry.directory) {
            if (!ReadWhole(entry.path, &bytes)) {
                std::fprintf(stderr, "rarpack: cannot read %s\n", entry.path.string().c_str());
                return 1;
            }
            m.data.assign(bytes.begin(), bytes.end());
        }
        ApplyOptions(s, &m);
        members.push_back(std::move(m));
    }
    return PackWith20(s, std::move(members));
}
