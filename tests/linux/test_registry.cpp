// The registry of the platform layer: Windows' semantics for keys and values, and the
// file behind it (persistence, atomic replacement, damaged files).
#include <windows.h>
#include <PlatformTestRegistry.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("corvane-registry-" + std::to_string(getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        file = folder / "config" / "registry";
        PlatformTest_SetRegistryFile(file.c_str());
    }
    void TearDown() override {
        PlatformTest_CrashDuringRegistrySave(-1, 0);
        // Forget the state before the folder goes, so that nothing is saved at exit, and
        // put back the default file.
        PlatformTest_SetRegistryFile(nullptr);
        fs::remove_all(folder);
    }

    HKEY Create(const char* path, REGSAM access = KEY_ALL_ACCESS, HKEY parent = HKEY_CURRENT_USER) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, 0, access, nullptr, &key, nullptr), ERROR_SUCCESS) << path;
        return key;
    }
    static void SetDword(HKEY key, const char* name, DWORD value) {
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
    }
    // The value, or the error code as a negative number.
    static long long GetDword(HKEY key, const char* name) {
        DWORD value = 0, type = 0, size = 4;
        const LSTATUS status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        if (status != ERROR_SUCCESS) return -static_cast<long long>(status);
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(size, 4u);
        return value;
    }
    // Reads one DWORD below HKEY_CURRENT_USER\path, opening and closing the key.
    long long ReadBack(const char* path, const char* name) {
        HKEY key = nullptr;
        const LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key);
        if (status != ERROR_SUCCESS) return -static_cast<long long>(status);
        const long long value = GetDword(key, name);
        RegCloseKey(key);
        return value;
    }

    fs::path folder;
    fs::path file;
};

}  // namespace

TEST_F(Registry, KeysAreCreatedOpenedAndMatchedWithoutCase) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Corvane\\Saver", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Corvane\\Saver", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\corvane\\SAVER\\", 0, nullptr, 0, KEY_READ, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);

    // Opening relative to an open key, and with an empty path (a new handle to it).
    HKEY software = nullptr, saver = nullptr, again = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software", 0, KEY_READ, &software), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(software, "Corvane\\Saver", 0, KEY_READ, &saver), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(saver, "", 0, KEY_READ, &again), ERROR_SUCCESS);
    EXPECT_NE(again, saver);
    EXPECT_EQ(RegOpenKeyExA(software, "Corvane\\Missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    // Keys of one root are not keys of another.
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    // A key opened for reading cannot create subkeys.
    EXPECT_EQ(RegCreateKeyExA(software, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_ACCESS_DENIED);
    // But it can open an existing one through create.
    EXPECT_EQ(RegCreateKeyExA(software, "Corvane", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
    RegCloseKey(again);
    RegCloseKey(saver);
    RegCloseKey(software);
}

TEST_F(Registry, BadPathsHandlesAndRights) {
    HKEY key = nullptr;
    const auto create = [&key](const char* path) {
        return RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    };
    EXPECT_EQ(create("\\Software"), ERROR_BAD_PATHNAME);
    EXPECT_EQ(create("a\\\\b"), ERROR_BAD_PATHNAME);
    EXPECT_EQ(create(std::string(256, 'k').c_str()), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(create(nullptr), ERROR_INVALID_PARAMETER);
    std::string deep = "k";
    for (int i = 0; i < 600; ++i) deep += "\\k";
    EXPECT_EQ(create(deep.c_str()), ERROR_INVALID_PARAMETER);

    int notAKey = 0;
    const HKEY bogus = reinterpret_cast<HKEY>(&notAKey);
    EXPECT_EQ(RegOpenKeyExA(bogus, "x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetDword(bogus, "x"), -ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);

    // A handle to a key deleted since it was opened; a key with subkeys is not deleted.
    HKEY doomed = Create("Doomed");
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Doomed"), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(doomed, "x"), -ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Doomed"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(doomed);
    RegCloseKey(Create("Parent\\Child"));
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Parent"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "parent\\CHILD"), ERROR_SUCCESS);

    // What a handle was opened for is what it may do.
    HKEY reader = Create("Parent", KEY_READ);
    HKEY writer = Create("Parent", KEY_WRITE);
    DWORD value = 3;
    EXPECT_EQ(RegSetValueExA(reader, "V", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(reader, "V"), ERROR_ACCESS_DENIED);
    SetDword(writer, "V", 3);
    EXPECT_EQ(GetDword(writer, "V"), -ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetDword(reader, "V"), 3);
    RegCloseKey(reader);
    RegCloseKey(writer);
}

TEST_F(Registry, DwordValuesAndNames) {
    HKEY key = Create("Software\\Corvane");
    SetDword(key, "Speed", 0x12345678u);
    EXPECT_EQ(GetDword(key, "SPEED"), 0x12345678);
    // Stored little-endian, whatever the reader's buffer type.
    BYTE bytes[4] = {};
    DWORD size = sizeof bytes;
    ASSERT_EQ(RegQueryValueExA(key, "speed", nullptr, nullptr, bytes, &size), ERROR_SUCCESS);
    EXPECT_EQ((std::vector<BYTE>(bytes, bytes + 4)), (std::vector<BYTE>{0x78, 0x56, 0x34, 0x12}));
    // A name written again in another case replaces the value.
    SetDword(key, "SPEED", 7);
    EXPECT_EQ(GetDword(key, "Speed"), 7);
    EXPECT_EQ(GetDword(key, "Missing"), -ERROR_FILE_NOT_FOUND);
    // The unnamed value: null and empty names are the same.
    SetDword(key, nullptr, 99);
    EXPECT_EQ(GetDword(key, ""), 99);
    EXPECT_EQ(RegDeleteValueA(key, "speed"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "speed"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetDword(key, "Speed"), -ERROR_FILE_NOT_FOUND);
    // Wide calls see the same values.
    SetDword(key, "Wide", 5);
    DWORD value = 0, type = 0;
    size = 4;
    ASSERT_EQ(RegQueryValueExW(key, u"wIDE", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 5u);
    value = 6;
    ASSERT_EQ(RegSetValueExW(key, u"WIDE", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, "wide"), 6);
    RegCloseKey(key);
}

TEST_F(Registry, BuffersSizesAndTypes) {
    HKEY key = Create("Types");
    const char text[] = "hello";
    ASSERT_EQ(RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text), ERROR_SUCCESS);
    const BYTE blob[7] = {1, 2, 3, 0, 255, 254, 9};
    ASSERT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);

    // Size only: a null data pointer.
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "Blob", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 7u);
    // Too small a buffer: ERROR_MORE_DATA, the size needed and the buffer untouched.
    BYTE small[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Blob", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(small[0], 0xAA);
    BYTE big[16] = {};
    size = sizeof big;
    ASSERT_EQ(RegQueryValueExA(key, "Blob", nullptr, nullptr, big, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(std::memcmp(big, blob, 7), 0);
    size = 3;
    EXPECT_EQ(RegQueryValueExA(key, "Empty", nullptr, &type, big, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);

    // Texts: narrow for the A calls, UTF-16 for the W calls.
    char narrow[16] = {};
    size = sizeof narrow;
    ASSERT_EQ(RegQueryValueExA(key, "text", nullptr, &type, reinterpret_cast<BYTE*>(narrow), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, sizeof text);
    EXPECT_STREQ(narrow, "hello");
    char16_t wide[16] = {};
    size = sizeof wide;
    ASSERT_EQ(RegQueryValueExW(key, u"Text", nullptr, &type, reinterpret_cast<BYTE*>(wide), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 2 * sizeof text);
    EXPECT_EQ(std::u16string(wide), u"hello");

    // A 4-byte buffer for a longer value, as a DWORD reader would pass.
    EXPECT_EQ(GetDword(key, "Text"), -ERROR_MORE_DATA);

    // Parameters Windows refuses.
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Blob", &reserved, nullptr, nullptr, &size), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "Blob", nullptr, nullptr, big, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "Bad", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, std::string(16384, 'v').c_str(), 0, REG_BINARY, blob, 1), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(Registry, ValuesSurviveInTheFile) {
    HKEY key = Create("Software\\Corvane\\Saver");
    SetDword(key, "Mode", 2);
    // Nothing is written while the key is open; closing it saves.
    EXPECT_FALSE(fs::exists(file));
    RegCloseKey(key);
    ASSERT_TRUE(fs::exists(file));

    // A fresh state reads the file.
    PlatformTest_ReloadRegistry();
    EXPECT_EQ(ReadBack("software\\corvane\\saver", "MODE"), 2);
    // Another file knows nothing of it; back to the first, the value is there again.
    PlatformTest_SetRegistryFile((folder / "other").c_str());
    EXPECT_EQ(ReadBack("Software\\Corvane\\Saver", "Mode"), -ERROR_FILE_NOT_FOUND);
    PlatformTest_SetRegistryFile(file.c_str());
    EXPECT_EQ(ReadBack("Software\\Corvane\\Saver", "Mode"), 2);
    // Handles do not outlive a reset of the state.
    HKEY stale = Create("Software");
    PlatformTest_ReloadRegistry();
    EXPECT_EQ(RegCloseKey(stale), ERROR_INVALID_HANDLE);
    // RegFlushKey writes at once.
    key = Create("Flushed");
    SetDword(key, "F", 11);
    EXPECT_EQ(RegFlushKey(key), ERROR_SUCCESS);
    PlatformTest_ReloadRegistry();  // drops the handle without closing it
    EXPECT_EQ(ReadBack("Flushed", "F"), 11);
}

TEST_F(Registry, AChangeMadeByAnotherProcessIsSeen) {
    RegCloseKey(Create("Shared"));
    // The child writes without closing the key: its exit saves the change.
    EXPECT_EXIT(
        {
            HKEY key = nullptr;
            RegOpenKeyExA(HKEY_CURRENT_USER, "Shared", 0, KEY_WRITE, &key);
            DWORD value = 4242;
            RegSetValueExA(key, "FromChild", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    // No reset here: the replaced file is noticed on the next call.
    EXPECT_EQ(ReadBack("Shared", "FromChild"), 4242);
}

TEST_F(Registry, ACrashWhileSavingLeavesTheOldFile) {
    HKEY key = Create("Crash");
    SetDword(key, "Value", 1);
    RegCloseKey(key);
    const std::string before = ReadFile(file);
    ASSERT_FALSE(before.empty());
    EXPECT_EXIT(
        {
            PlatformTest_CrashDuringRegistrySave(static_cast<long>(before.size() / 2), 3);
            HKEY k = nullptr;
            RegOpenKeyExA(HKEY_CURRENT_USER, "Crash", 0, KEY_WRITE, &k);
            DWORD value = 2;
            RegSetValueExA(k, "Value", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4);
            RegSetValueExA(k, "Other", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4);
            RegCloseKey(k);
            std::exit(0);
        },
        ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(ReadFile(file), before);
    PlatformTest_ReloadRegistry();
    EXPECT_EQ(ReadBack("Crash", "Value"), 1);
    EXPECT_EQ(ReadBack("Crash", "Other"), -ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, DamagedFilesReadAsFarAsTheyAreValid) {
    HKEY key = Create("A\\B");
    for (DWORD i = 0; i < 8; ++i) SetDword(key, ("V" + std::to_string(i)).c_str(), 100 + i);
    RegCloseKey(key);
    RegCloseKey(Create("C"));
    const std::string whole = ReadFile(file);
    ASSERT_GT(whole.size(), 16u);

    // Every truncation: no crash, and every value that is read is the one written.
    for (size_t n = 0; n < whole.size(); ++n) {
        WriteFile(file, whole.substr(0, n));
        PlatformTest_ReloadRegistry();
        for (DWORD i = 0; i < 8; ++i) {
            const long long v = ReadBack("A\\B", ("V" + std::to_string(i)).c_str());
            EXPECT_TRUE(v == 100 + i || v == -ERROR_FILE_NOT_FOUND) << "cut at " << n;
        }
    }
    // Garbage, with and without a valid beginning, reads as empty or as a valid part.
    std::mt19937 random(77);
    for (int round = 0; round < 200; ++round) {
        std::string bytes = round & 1 ? whole.substr(0, 8) : std::string();
        const size_t n = random() % 200;
        for (size_t i = 0; i < n; ++i) bytes += static_cast<char>(random());
        if (round % 3 == 0 && bytes.size() > 12) bytes[8] = bytes[9] = bytes[10] = bytes[11] = '\xff';
        WriteFile(file, bytes);
        PlatformTest_ReloadRegistry();
        const long long v = ReadBack("A\\B", "V0");
        EXPECT_TRUE(v == 100 || v < 0);
    }
    // The next save replaces a damaged file with a whole one.
    WriteFile(file, "not a registry at all");
    PlatformTest_ReloadRegistry();
    key = Create("Fresh");
    SetDword(key, "X", 5);
    RegCloseKey(key);
    PlatformTest_ReloadRegistry();
    EXPECT_EQ(ReadBack("Fresh", "X"), 5);
    EXPECT_NE(ReadFile(file).find("CVREG"), std::string::npos);
}

TEST_F(Registry, WhereTheFileLives) {
    // The variables are put back as they were at the end.
    struct Saved {
        const char* name;
        bool had;
        std::string value;
    } saved[] = {{"CORVANE_REGISTRY_FILE", false, ""}, {"XDG_CONFIG_HOME", false, ""}, {"HOME", false, ""}};
    for (Saved& v : saved)
        if (const char* now = std::getenv(v.name)) v.had = true, v.value = now;
    PlatformTest_SetRegistryFile(nullptr);
    setenv("CORVANE_REGISTRY_FILE", file.c_str(), 1);
    EXPECT_EQ(PlatformTest_RegistryFile(), file.string());
    unsetenv("CORVANE_REGISTRY_FILE");
    setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(PlatformTest_RegistryFile(), "/xdg/config/corvane/registry");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(PlatformTest_RegistryFile(), "/home/someone/.config/corvane/registry");
    for (const Saved& v : saved) v.had ? setenv(v.name, v.value.c_str(), 1) : unsetenv(v.name);
    PlatformTest_SetRegistryFile(file.c_str());
    EXPECT_EQ(PlatformTest_RegistryFile(), file.string());
}
