// Files by handle and temporary file names, as Windows gives them: the music player writes
// the audio library through these calls. Runs under Wine too, against the real ones.
#include "tests/TestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {
std::string Contents(const std::string& file) {
    std::ifstream in(fs::path(file), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
}  // namespace

TEST(PlatformFiles, TheTemporaryFolderEndsInASeparatorAndReportsTheSizeItNeeds) {
    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
    EXPECT_EQ(strlen(folder), length);
    EXPECT_TRUE(folder[length - 1] == '\\' || folder[length - 1] == '/');
    char tiny[2];
    EXPECT_EQ(GetTempPathA(sizeof tiny, tiny), length + 1);
}

TEST(PlatformFiles, ATemporaryNameIsCreatedOnceWithItsPrefixAndNumber) {
    const fs::path folder = testsupport::FreshTestFolder("corvane-files");
    const std::string base = folder.string() + "/";
    char first[MAX_PATH], second[MAX_PATH];
    const UINT a = GetTempFileNameA(base.c_str(), "basin", 0, first);
    const UINT b = GetTempFileNameA(base.c_str(), "basin", 0, second);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_NE(std::string(first), std::string(second));
    const std::string name = fs::path(first).filename().string();
    EXPECT_EQ(name.substr(0, 3), "bas");  // three characters of the prefix
    char hex[16];
    snprintf(hex, sizeof hex, "%X", a);
    // File names compare without case on Windows, and runtimes differ in the case they
    // write the number and the extension in.
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(upper, std::string("BAS") + hex + ".TMP");
    EXPECT_TRUE(fs::exists(first));
    EXPECT_EQ(fs::file_size(first), 0u);
    // With a number of its own nothing is created.
    char named[MAX_PATH];
    EXPECT_EQ(GetTempFileNameA(base.c_str(), "x", 0x1A2B, named), 0x1A2Bu);
    EXPECT_FALSE(fs::exists(named));
    // A folder that does not exist gives no name.
    EXPECT_EQ(GetTempFileNameA((base + "absent/").c_str(), "bas", 0, named), 0u);
    fs::remove_all(folder);
}

TEST(PlatformFiles, WrittenBytesLandAndTheFileCanBeDeletedOnce) {
    const fs::path folder = testsupport::FreshTestFolder("corvane-files");
    const std::string file = (folder / "out.bin").string();
    std::ofstream(file) << "old contents that are longer";
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, "new\0bytes", 9, &written, nullptr));
    EXPECT_EQ(written, 9u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_FALSE(WriteFile(h, "x", 1, &written, nullptr));
    EXPECT_EQ(Contents(file), std::string("new\0bytes", 9));
    EXPECT_EQ(CreateFileA((folder / "none" / "x").string().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_TRUE(DeleteFileA(file.c_str()));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(DeleteFileA(file.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    fs::remove_all(folder);
}
