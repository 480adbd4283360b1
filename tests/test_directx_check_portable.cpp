// The DirectX check on whatever answers it: the platform's DxDiag on Linux, the real one
// under Wine. Both report DirectX 9.0 or later, so the check passes without its dialog.
#include <windows.h>

#include "Screen/DirectXCheck.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

TEST(DirectXCheckPortable, TheInstalledVersionIsNineOrLater) {
    DWORD major = 0, minor = 0;
    char letter = 0;
    ASSERT_EQ(GetDirectXVersionDxDiag(&major, &minor, &letter), S_OK);
    EXPECT_GE(major, 9u);

    DWORD packed = 0;
    char text[10];
    ASSERT_EQ(GetDirectXVersion(&packed, text, sizeof text), S_OK);
    EXPECT_GE(packed, 0x90000u);
    // The text and the packed value say the same.
    char expected[32];
    const unsigned packedMajor = static_cast<unsigned>(packed >> 16), packedMinor = static_cast<unsigned>((packed >> 8) & 0xFF);
    const unsigned letterCode = static_cast<unsigned>(packed & 0xFF);
    if (letterCode)
        snprintf(expected, sizeof expected, "%u.%u%c", packedMajor, packedMinor, static_cast<char>('a' + letterCode - 1));
    else
        snprintf(expected, sizeof expected, "%u.%u", packedMajor, packedMinor);
    EXPECT_STREQ(text, expected);
    // At or above 9.0 no dialog opens.
    EXPECT_TRUE(CheckDirectXVersion(NoDirectXTexts{}));
}

TEST(DirectXCheckPortable, TheSystemFolderHoldsD3d9WithAVersion) {
    DWORD major = 0, minor = 0;
    char letter = 0;
    ASSERT_EQ(GetDirectXVersionFromFiles(&major, &minor, &letter), S_OK);
    EXPECT_EQ(major, 9u);
    EXPECT_EQ(minor, 0u);
    EXPECT_EQ(letter, ' ');
    u64 version = 0;
    EXPECT_EQ(GetFileVersion(nullptr, &version), E_INVALIDARG);
}
