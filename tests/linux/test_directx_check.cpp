// The DirectX check against the platform's DxDiag and system files: the packed version
// and its text, the file method when DxDiag cannot answer, and dialog 107 with its
// Download and Cancel buttons when neither finds DirectX 9.
#include <windows.h>

#include "Screen/DirectXCheck.h"
#include "Screen/DirectXCheckControls.h"

#include <objbase.h>

#include <PlatformTestCom.h>
#include <PlatformTestDialogs.h>
#include <PlatformTestWindows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const NoDirectXTexts kTexts{"Download DirectX 9", "Cancel", "DirectX 9 is required.", "Error",
                            "https://corvane.example/directx"};

class DirectXCheck : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformTest_ResetCom();
        PlatformTest_ResetWindows();
        liveAtStart = PlatformTest_ComLiveObjects();
    }
    void TearDown() override {
        EXPECT_EQ(PlatformTest_ComInitializations(), 0);  // the apartment is left as found
        EXPECT_EQ(PlatformTest_ComLiveObjects(), liveAtStart);
        PlatformTest_ResetCom();
        PlatformTest_ResetWindows();
    }
    // Neither DxDiag nor the system folder can answer.
    static void NoDirectX() {
        PlatformTest_SetDxDiagAbsent(true);
        PlatformTest_SetSystemDirectoryFails(true);
    }
    int liveAtStart = 0;
};

TEST_F(DirectXCheck, DxDiag90cGivesPackedAndText) {
    DWORD packed = 1;
    char text[10] = "xxxxxxxxx";
    EXPECT_EQ(GetDirectXVersion(&packed, text, sizeof text), S_OK);
    EXPECT_EQ(packed, 0x90003u);
    EXPECT_STREQ(text, "9.0c");
    DWORD major = 0, minor = 7;
    char letter = 0;
    EXPECT_EQ(GetDirectXVersionDxDiag(&major, &minor, &letter), S_OK);
    EXPECT_EQ(major, 9u);
    EXPECT_EQ(minor, 0u);
    EXPECT_EQ(letter, 'c');
}

TEST_F(DirectXCheck, TheLetterIsLowerCasedAndCountsFromA) {
    struct Row {
        DWORD major, minor;
        const char* letter;
        DWORD packed;
        const char* text;
    };
    const Row rows[] = {
        {9, 0, "C", 0x90003, "9.0c"}, {9, 0, "a", 0x90001, "9.0a"}, {9, 0, "z", 0x9001A, "9.0z"},
        {9, 0, "", 0x90000, "9.0"},   {9, 0, " ", 0x90000, "9.0"},  {8, 1, "b", 0x80102, "8.1b"},
        {10, 2, "", 0xA0200, "10.2"}, {9, 0, "1", 0x90000, "9.0"},
        // A letter text longer than its buffer cannot be converted: no letter, not garbage.
        {9, 0, "cdefghijklmnopq", 0x90000, "9.0"},
    };
    for (const Row& row : rows) {
        PlatformTest_SetDxDiagVersion(row.major, row.minor, row.letter);
        DWORD packed = 0;
        char text[10];
        EXPECT_EQ(GetDirectXVersion(&packed, text, sizeof text), S_OK) << row.letter;
        EXPECT_EQ(packed, row.packed) << row.letter;
        EXPECT_STREQ(text, row.text) << row.letter;
    }
}

TEST_F(DirectXCheck, TheTextIsCutToItsBufferAndTerminated) {
    char text[8];
    for (int size : {1, 2, 3, 4, 5}) {
        memset(text, 'x', sizeof text);
        EXPECT_EQ(GetDirectXVersion(nullptr, text, size), S_OK);
        EXPECT_EQ(std::string(text), std::string("9.0c").substr(0, static_cast<size_t>(size - 1))) << size;
        EXPECT_EQ(text[size], 'x') << size;  // nothing written past the buffer
    }
    memset(text, 'x', sizeof text);
    EXPECT_EQ(GetDirectXVersion(nullptr, text, 0), S_OK);
    EXPECT_EQ(text[0], 'x');
    DWORD packed = 0;
    EXPECT_EQ(GetDirectXVersion(&packed, nullptr, 10), S_OK);
    EXPECT_EQ(packed, 0x90003u);
}

TEST_F(DirectXCheck, AMissingPropertyFailsDxDiagAndTheFilesAnswer) {
    PlatformTest_SetDxDiagVersion(9, 0, nullptr);  // no letter property
    DWORD major = 0, minor = 0;
    char letter = 0;
    EXPECT_EQ(GetDirectXVersionDxDiag(&major, &minor, &letter), E_FAIL);
    DWORD packed = 0;
    char text[10];
    EXPECT_EQ(GetDirectXVersion(&packed, text, sizeof text), S_OK);
    EXPECT_EQ(packed, 0x90000u);  // d3d9.dll: 9.0 without a letter
    EXPECT_STREQ(text, "9.0");
}

TEST_F(DirectXCheck, AnApartmentTheCallerEnteredIsKept) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    DWORD major = 0, minor = 0;
    char letter = 0;
    EXPECT_EQ(GetDirectXVersionDxDiag(&major, &minor, &letter), S_OK);
    EXPECT_EQ(PlatformTest_ComInitializations(), 1);
    CoUninitialize();
}

TEST_F(DirectXCheck, FilesWithoutD3d9GiveTheNewestOlderRelease) {
    PlatformTest_SetDxDiagAbsent(true);
    PlatformTest_RemoveSystemFile("d3d9.dll");
    DWORD major = 0, minor = 0;
    char letter = 0;
    EXPECT_EQ(GetDirectXVersionFromFiles(&major, &minor, &letter), S_OK);
    EXPECT_EQ(major, 8u);
    EXPECT_EQ(minor, 2u);
    EXPECT_EQ(letter, ' ');
    // An old dpnet.dll no longer shows 8.2; the 8.0a of mpg2splt.ax stands.
    PlatformTest_SetSystemFileVersion("dpnet.dll", 0x00040008, 0x00010881);
    EXPECT_EQ(GetDirectXVersionFromFiles(&major, &minor, &letter), S_OK);
    EXPECT_EQ(major, 8u);
    EXPECT_EQ(minor, 0u);
    EXPECT_EQ(letter, 'a');
    for (const char* file : {"ddraw.dll", "dplayx.dll", "dinput.dll", "d3d8.dll", "mpg2splt.ax", "dpnet.dll"})
        PlatformTest_RemoveSystemFile(file);
    EXPECT_EQ(GetDirectXVersionFromFiles(&major, &minor, &letter), S_OK);
    EXPECT_EQ(major, 0u);
    EXPECT_EQ(minor, 0u);
    PlatformTest_SetSystemDirectoryFails(true);
    EXPECT_EQ(GetDirectXVersionFromFiles(&major, &minor, &letter), E_FAIL);
}

TEST_F(DirectXCheck, NoDxDiagButD3d9GivesNinePointZeroAndNoDialog) {
    PlatformTest_SetDxDiagAbsent(true);
    int dialogs = 0;
    PlatformTest_SetDialogHook([&](HWND) {
        ++dialogs;
        return false;
    });
    EXPECT_TRUE(CheckDirectXVersion(kTexts));
    EXPECT_EQ(dialogs, 0);
    DWORD packed = 0;
    char text[10];
    EXPECT_EQ(GetDirectXVersion(&packed, text, sizeof text), S_OK);
    EXPECT_EQ(packed, 0x90000u);
    EXPECT_STREQ(text, "9.0");
}

TEST_F(DirectXCheck, BothFailingGiveEFailAndEmptyOutputs) {
    NoDirectX();
    DWORD packed = 5;
    char text[10] = "old";
    EXPECT_EQ(GetDirectXVersion(&packed, text, sizeof text), E_FAIL);
    EXPECT_EQ(packed, 0u);
    EXPECT_STREQ(text, "");
}

TEST_F(DirectXCheck, DialogDownloadOpensTheAddress) {
    NoDirectX();
    int dialogs = 0;
    PlatformTest_SetDialogHook([&](HWND dialog) {
        ++dialogs;
        char caption[32] = {};
        GetWindowTextA(dialog, caption, sizeof caption);
        EXPECT_STREQ(caption, "Error");
        char text[64] = {};
        GetDlgItemTextA(dialog, IDOK, text, sizeof text);
        EXPECT_STREQ(text, "Download DirectX 9");
        GetDlgItemTextA(dialog, IDCANCEL, text, sizeof text);
        EXPECT_STREQ(text, "Cancel");
        GetDlgItemTextA(dialog, IDC_NO_DIRECTX_TEXT, text, sizeof text);
        EXPECT_STREQ(text, "DirectX 9 is required.");
        RECT r{};
        GetWindowRect(dialog, &r);
        EXPECT_EQ(r.left, 300);
        EXPECT_EQ(r.top, 300);
        EXPECT_EQ(r.right - r.left, 390);
        EXPECT_EQ(r.bottom - r.top, 131);
        EXPECT_TRUE(PlatformTest_ClickButton(GetDlgItem(dialog, IDOK)));
        return false;
    });
    EXPECT_FALSE(CheckDirectXVersion(kTexts));
    EXPECT_EQ(dialogs, 1);
    const auto opened = PlatformTest_ShellExecutes();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].operation, "open");
    EXPECT_EQ(opened[0].file, kTexts.url);
    EXPECT_EQ(opened[0].show, SW_SHOWNORMAL);
}

TEST_F(DirectXCheck, DialogCancelOpensNothing) {
    NoDirectX();
    PlatformTest_SetDialogHook([](HWND dialog) {
        EXPECT_TRUE(PlatformTest_ClickButton(GetDlgItem(dialog, IDCANCEL)));
        return false;
    });
    EXPECT_FALSE(CheckDirectXVersion(kTexts));
    EXPECT_TRUE(PlatformTest_ShellExecutes().empty());
    // Closed by its close box: Cancel too.
    PlatformTest_SetDialogHook(nullptr);
    EXPECT_FALSE(CheckDirectXVersion(kTexts));
    EXPECT_TRUE(PlatformTest_ShellExecutes().empty());
}

TEST_F(DirectXCheck, BelowNineShowsTheDialogToo) {
    PlatformTest_SetDxDiagVersion(8, 1, "");
    int dialogs = 0;
    PlatformTest_SetDialogHook([&](HWND) {
        ++dialogs;
        return false;
    });
    EXPECT_FALSE(CheckDirectXVersion(kTexts));
    EXPECT_EQ(dialogs, 1);
}

TEST_F(DirectXCheck, FileVersionArgumentsAndMissingFiles) {
    u64 version = 0;
    EXPECT_EQ(GetFileVersion(nullptr, &version), E_INVALIDARG);
    EXPECT_EQ(GetFileVersion("C:\\windows\\system32\\d3d9.dll", nullptr), E_INVALIDARG);
    EXPECT_EQ(GetFileVersion("C:\\windows\\system32\\nothing.dll", &version), E_FAIL);
    PlatformTest_SetSystemFileVersion("d3d9.dll", 0x00060001, 0x00020003);
    EXPECT_EQ(GetFileVersion("C:\\windows\\system32\\d3d9.dll", &version), S_OK);
    EXPECT_EQ(version, 0x0006000100020003ull);
}

TEST(DirectXVersions, CompareHighWordFirst) {
    struct Row {
        u64 a, b;
        int expected;
    };
    const Row rows[] = {
        {0x0004000900000086ull, 0x0004000900000086ull, 0},
        {0x0005000000000000ull, 0x00040009FFFFFFFFull, 1},
        {0x0004000900000085ull, 0x0004000900000086ull, -1},
        {0x0000000100000000ull, 0x00000000FFFFFFFFull, 1},
    };
    for (const Row& row : rows) EXPECT_EQ(CompareVersions(row.a, row.b), row.expected);
}

}  // namespace
