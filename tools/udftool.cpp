// udftool: converts binary data-description documents ("UDF Binary 1.0": models,
// camera paths) to their text form and back.
//
//   udftool dump  <document> [<text>]   binary to text (standard output without <text>)
//   udftool build <text> <document>     text to binary
//   udftool check <document>            reads the document, writes it again and compares
#include "tools/UdfDump.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool ReadFile(const char* path, std::string* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteFile(const char* path, const void* bytes, std::size_t n) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(n));
    return static_cast<bool>(out);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: udftool dump <document> [<text>]\n"
                 "       udftool build <text> <document>\n"
                 "       udftool check <document>\n");
    return 2;
}

int Fail(const char* what, const char* path, const std::string& why) {
    std::fprintf(stderr, "udftool: %s %s: %s\n", what, path, why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    std::string input;
    if (!ReadFile(argv[2], &input)) return Fail("cannot read", argv[2], std::strerror(errno));
    std::string error;

    if (command == "dump" && (argc == 3 || argc == 4)) {
        std::string text;
        if (!UdfBinaryToText(input.data(), input.size(), &text, &error)) return Fail("cannot dump", argv[2], error);
        if (argc == 3) {
            std::fwrite(text.data(), 1, text.size(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (!WriteFile(argv[3], text.data(), text.size())) return Fail("cannot write", argv[3], std::strerror(errno));
        return 0;
    }
    if (command == "build" && argc == 4) {
        std::vector<u8> bytes;
        if (!UdfTextToBinary(input, &bytes, &error)) return Fail("cannot build", argv[2], error);
        if (!WriteFile(argv[3], bytes.data(), bytes.size())) return Fail("cannot write", argv[3], std::strerror(errno));
        return 0;
    }
    if (command == "check" && argc == 3) {
        std::string text;
        std::vector<u8> bytes;
        if (!UdfBinaryToText(input.data(), input.size(), &text, &error)) return Fail("cannot read", argv[2], error);
        if (!UdfTextToBinary(text, &bytes, &error)) return Fail("cannot rewrite", argv[2], error);
        if (bytes.size() != input.size() || std::memcmp(bytes.data(), input.data(), bytes.size()) != 0)
            return Fail("differs when written again:", argv[2], "the writer lays it out differently");
        return 0;
    }
    return Usage();
}
