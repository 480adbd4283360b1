// The settings table over the registry. Each test redirects the registry to a file of
// its own through the platform's test interface, so these run on Linux only.
#include "Core/ParamTable.h"
#include "Core/Parameter.h"
#include "Core/TextData.h"
#include "Core/TextDataTree.h"
#include "Core/TextNode.h"

#include <windows.h>
#include <PlatformTestRegistry.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A document parsed from the line form of the text language.
struct Doc {
    explicit Doc(const char16_t* text) { ok = TextData::LoadText(WString(text), tree, nullptr, TextData::kLineForm); }
    TextDataTree tree;
    bool ok;
};

}  // namespace

// ---- the settings table and the registry -------------------------------------------------

namespace {

class SettingsTable : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("corvane-settings-" + std::to_string(getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        PlatformTest_SetRegistryFile((folder / "registry").c_str());
    }
    void TearDown() override {
        // The state forgotten before the folder goes, and the default file back.
        PlatformTest_SetRegistryFile(nullptr);
        fs::remove_all(folder);
    }
    static long long Stored(const char* path, const char* name, DWORD* typeOut = nullptr) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
        DWORD type = 0, size = 8;
        unsigned char bytes[8] = {};
        const LSTATUS status = RegQueryValueExA(key, name, nullptr, &type, bytes, &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS || size != 4) return -2;
        if (typeOut) *typeOut = type;
        return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<long long>(bytes[3]) << 24;
    }
    static void Put(const char* path, const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    fs::path folder;
};

}  // namespace

TEST_F(SettingsTable, LoadingFromAMissingKeyCreatesItAndChangesNothing) {
    ParamTable table;
    i32 width = 800;
    BOOL sound = TRUE;
    table.Add(String("Width"), new RegistryValue(&width));
    table.Add(String("Sound"), new RegistryValue(&sound));
    EXPECT_TRUE(table.LoadFromRegistry(String("Software\\Corvane\\Settings")));
    EXPECT_EQ(width, 800);
    EXPECT_EQ(sound, TRUE);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\corvane\\settings", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    // A path the registry refuses: nothing is read or written.
    width = 1;
    EXPECT_FALSE(table.LoadFromRegistry(String("\\Bad")));
    EXPECT_FALSE(table.SaveToRegistry(String("a\\\\b")));
    EXPECT_EQ(width, 1);
}

TEST_F(SettingsTable, SavedValuesLoadBackInANewState) {
    i32 width = 1024, negative = -5;
    BOOL flag = TRUE;
    u32 big = 0xFFFFFFF0u;
    {
        ParamTable table;
        table.Add(String("Width"), new RegistryValue(&width));
        table.Add(String("Negative"), new RegistryValue(&negative));
        table.Add(String("Flag"), new RegistryValue(&flag));
        table.Add(String("Big"), new RegistryValue(&big));
        ASSERT_TRUE(table.SaveToRegistry(String("Software\\Corvane")));
    }
    DWORD type = 0;
    EXPECT_EQ(Stored("Software\\Corvane", "Flag", &type), 1);  // a boolean is 0 or 1 in four bytes
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(Stored("Software\\Corvane", "Negative"), 0xFFFFFFFBll);

    PlatformTest_ReloadRegistry();
    width = negative = 0;
    flag = FALSE;
    big = 0;
    ParamTable table;
    table.Add(String("Width"), new RegistryValue(&width));
    table.Add(String("Negative"), new RegistryValue(&negative));
    table.Add(String("Flag"), new RegistryValue(&flag));
    table.Add(String("Big"), new RegistryValue(&big));
    ASSERT_TRUE(table.LoadFromRegistry(String("SOFTWARE\\CORVANE")));
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(negative, -5);
    EXPECT_EQ(flag, TRUE);
    EXPECT_EQ(big, 0xFFFFFFF0u);
}

TEST_F(SettingsTable, ValuesThatAreNotOneWordLeaveTheirVariable) {
    Put("S", "Text", REG_SZ, "1", 2);
    Put("S", "Two", REG_DWORD, "\x01\0", 2);
    Put("S", "Eight", REG_BINARY, "\x01\0\0\0\0\0\0\0", 8);
    Put("S", "BigEndian", REG_DWORD_BIG_ENDIAN, "\0\0\0\x07", 4);
    Put("S", "Binary", REG_BINARY, "\x07\0\0\0", 4);
    const char* names[] = {"Text", "Two", "Eight", "BigEndian", "Missing", "Binary"};
    i32 values[6] = {-1, -1, -1, -1, -1, -1};
    ParamTable table;
    for (int i = 0; i < 6; ++i) table.Add(String(names[i]), new RegistryValue(&values[i]));
    ASSERT_TRUE(table.LoadFromRegistry(String("S")));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(values[i], -1) << names[i];
    EXPECT_EQ(values[5], 7);

    // The wide calls of a binding.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "S", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    i32 wide = 31;
    RegistryValue binding(&wide);
    EXPECT_TRUE(binding.WriteW(key, u"Wide"));
    wide = 0;
    EXPECT_TRUE(binding.ReadW(key, u"WIDE"));
    EXPECT_EQ(wide, 31);
    EXPECT_FALSE(binding.ReadW(key, u"Nothing"));
    RegCloseKey(key);
}

TEST_F(SettingsTable, BindingsAreOwnedAndReplaced) {
    i32 first = 0, second = 0;
    ParamTable table;
    EXPECT_FALSE(table.Add(String("X"), nullptr));
    EXPECT_TRUE(table.Add(String("X"), new RegistryValue(&first)));
    RegistryValue* replacement = new RegistryValue(&second);
    EXPECT_TRUE(table.Add(String("X"), replacement));
    EXPECT_TRUE(table.Add(String("X"), replacement));  // the same binding again is kept
    EXPECT_TRUE(table.Add(String("x"), new RegistryValue(&first)));  // names are case-sensitive
    EXPECT_EQ(table.Count(), 2u);
    EXPECT_EQ(table.Find(String("X")), replacement);
    Put("T", "X", REG_DWORD, "\x09\0\0\0", 4);
    ASSERT_TRUE(table.LoadFromRegistry(String("T")));
    EXPECT_EQ(second, 9);
    EXPECT_EQ(first, 9);  // two bindings in the table, one value in the registry
}

TEST_F(SettingsTable, DocumentThenRegistryForOneVariable) {
    // How the screensaver binds a setting twice: the document sets it, the registry
    // then overrides it where it holds a value.
    i32 speed = 1, detail = 1;
    ASSERT_TRUE(g_paramRegistry.Own(String("Speed"), new IntRefParameter(String("Speed"), false, &speed)));
    ASSERT_TRUE(g_paramRegistry.Own(String("Detail"), new IntRefParameter(String("Detail"), false, &detail)));
    ParamTable table;
    table.Add(String("Speed"), new RegistryValue(&speed));
    table.Add(String("Detail"), new RegistryValue(&detail));
    Put("App", "Speed", REG_DWORD, "\x05\0\0\0", 4);

    Doc doc(u"Speed = 3\nDetail = 4\n");
    ASSERT_TRUE(doc.ok);
    g_paramRegistry.ReadDocument(doc.tree);
    EXPECT_EQ(speed, 3);
    table.LoadFromRegistry(String("App"));
    EXPECT_EQ(speed, 5);
    EXPECT_EQ(detail, 4);
    detail = 6;
    table.SaveToRegistry(String("App"));
    EXPECT_EQ(Stored("App", "Detail"), 6);
    // Unbound before the variables go out of scope, and the registry left as it was.
    EXPECT_TRUE(g_paramRegistry.Disown(String("Speed")));
    EXPECT_TRUE(g_paramRegistry.Disown(String("Detail")));
}
