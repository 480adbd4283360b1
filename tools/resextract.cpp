// resextract: copies the data of one resource out of a compiled resource file (".res", as
// the resource compiler writes it) into a file of its own. The Linux build embeds dialog
// templates this way: the resource compiler turns the script into the binary templates
// Windows reads, and the platform layer reads the same bytes.
//
//     resextract input.res TYPE NAME output.bin
//
// TYPE and NAME are numbers (identifiers) or texts (matched without regard to case).
// A ".res" file is a run of entries, each a header and its data, both padded to four
// bytes: DataSize and HeaderSize (32-bit), then the type and the name (each 0xFFFF and a
// 16-bit identifier, or a zero-terminated UTF-16 text), padding to four bytes, and five
// fields (version, flags, language, version, characteristics) that this tool skips.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

uint32_t Read32(const std::vector<unsigned char>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

uint16_t Read16(const std::vector<unsigned char>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

// An identifier or a text read from the header at `at`, never past `end`; false when the
// header ends inside it.
bool ReadId(const std::vector<unsigned char>& b, size_t& at, size_t end, std::string& text, int& id) {
    if (at + 2 > end) return false;
    if (Read16(b, at) == 0xFFFF) {
        if (at + 4 > end) return false;
        id = Read16(b, at + 2);
        text.clear();
        at += 4;
        return true;
    }
    id = -1;
    text.clear();
    for (;;) {
        if (at + 2 > end) return false;
        const uint16_t c = Read16(b, at);
        at += 2;
        if (c == 0) return true;
        text += static_cast<char>(c < 0x80 ? std::toupper(c) : '?');
    }
}

bool Matches(const std::string& wanted, const std::string& text, int id) {
    const bool number = !wanted.empty() && wanted.find_first_not_of("0123456789") == std::string::npos;
    if (number) return id == std::atoi(wanted.c_str());
    if (id >= 0) return false;
    std::string upper;
    for (char c : wanted) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper == text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: resextract input.res TYPE NAME output.bin\n");
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    if (!in) {
        std::fprintf(stderr, "resextract: cannot open %s\n", argv[1]);
        return 1;
    }
    std::vector<unsigned char> bytes;
    unsigned char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(in);

    // The standard type names of the resource script, by identifier.
    static const char* const kStandard[] = {"", "CURSOR", "BITMAP", "ICON", "MENU", "DIALOG", "STRING",
                                            "FONTDIR", "FONT", "ACCELERATOR", "RCDATA", "MESSAGETABLE"};
    std::string wantedType = argv[2];
    for (int i = 1; i < 12; ++i) {
        std::string upper;
        for (const char* c = argv[2]; *c; ++c) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
        if (upper == kStandard[i]) wantedType = std::to_string(i);
    }

    size_t at = 0;
    while (at + 8 <= bytes.size()) {
        const uint32_t dataSize = Read32(bytes, at);
        const uint32_t headerSize = Read32(bytes, at + 4);
        // A header shorter than its two sizes, or an entry past the end, would make the walk
        // stand still or read outside the file.
        if (headerSize < 8 || headerSize > bytes.size() - at || dataSize > bytes.size() - at - headerSize) break;
        size_t field = at + 8;
        std::string typeText, nameText;
        int typeId = -1, nameId = -1;
        if (!ReadId(bytes, field, at + headerSize, typeText, typeId) ||
            !ReadId(bytes, field, at + headerSize, nameText, nameId))
            break;
        if (Matches(wantedType, typeText, typeId) && Matches(argv[3], nameText, nameId)) {
            std::FILE* out = std::fopen(argv[4], "wb");
            const unsigned char* data = bytes.data() + at + headerSize;
            if (!out || std::fwrite(data, 1, dataSize, out) != dataSize || std::fclose(out) != 0) {
                std::fprintf(stderr, "resextract: cannot write %s\n", argv[4]);
                return 1;
            }
            return 0;
        }
        at += headerSize + ((dataSize + 3u) & ~3u);
    }
    std::fprintf(stderr, "resextract: %s holds no resource %s %s\n", argv[1], argv[2], argv[3]);
    return 1;
}
