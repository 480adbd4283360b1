// The executable's resources as the platform layer answers for them, with the tests' own
// resource table (tests/resources.list).
#include "Core/Path.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Bytes(HRSRC found) {
    HGLOBAL loaded = LoadResource(nullptr, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    return data ? std::string(data, SizeofResource(nullptr, found)) : std::string("<none>");
}

}  // namespace

TEST(Resources, IntegerIdentifiersLiveInThePointer) {
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(MAKEINTRESOURCEA(125)), 125u);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(MAKEINTRESOURCEA(0x12345)), 0x2345u);  // cut to 16 bits
    EXPECT_TRUE(IS_INTRESOURCE(MAKEINTRESOURCEA(65535)));
    EXPECT_FALSE(IS_INTRESOURCE("MEMFILE"));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(RT_BITMAP), 2u);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(RT_DIALOG), 5u);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(RT_RCDATA), 10u);
}

TEST(Resources, TypesAndNamesMatchWithoutRegardToCase) {
    for (const char* type : {"MEMFILE", "MemFile", "memfile", "mEmFiLe"}) {
        HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(200), type);
        ASSERT_NE(found, nullptr) << type;
        EXPECT_EQ(Bytes(found), "resource bytes");
    }
    EXPECT_EQ(Bytes(FindResourceA(nullptr, "config", "TEXT")), "width=640");
    EXPECT_EQ(Bytes(FindResourceA(nullptr, "Named", RT_RCDATA)), "named data");
    // "#n" names the integer identifier n, for names and for types.
    EXPECT_EQ(Bytes(FindResourceA(nullptr, "#200", "MemFile")), "resource bytes");
    // A bitmap resource is the image without its file header: the info header comes first.
    const std::string dib = Bytes(FindResourceA(nullptr, "#300", "#2"));
    ASSERT_EQ(dib.size(), 44u);
    EXPECT_EQ(dib.substr(0, 8), std::string("\x28\0\0\0\x01\0\0\0", 8));
    EXPECT_EQ(dib.substr(40), std::string("\x10\x20\x30\0", 4));
    EXPECT_EQ(Bytes(FindResourceA(nullptr, MAKEINTRESOURCEA(300), RT_BITMAP)), dib);
    HRSRC empty = FindResourceA(nullptr, MAKEINTRESOURCEA(201), "MEMFILE");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, empty), 0u);
    EXPECT_NE(LockResource(LoadResource(nullptr, empty)), nullptr);
}

TEST(Resources, AbsentOrMismatchedResourcesAreNotFound) {
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(999), "MemFile"), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(200), "MemFiles"), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(200), RT_RCDATA), nullptr);
    // A text never equals an integer identifier, and the other way round.
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(300), "BITMAP"), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, "200", "MemFile"), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, "#", "MemFile"), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, "#99999999", "MemFile"), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, nullptr, "MemFile"), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(200), nullptr), nullptr);
    // Null and foreign handles give nothing.
    EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
    EXPECT_EQ(LockResource(nullptr), nullptr);
    EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);
    EXPECT_FALSE(FreeResource(nullptr));
}

TEST(Resources, GetResourceBlobHandsOutTheResourceBytes) {
    const u8* data = nullptr;
    u32 size = 0;
    ASSERT_TRUE(GetResourceBlob(200, "MemFile", &data, &size));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), "resource bytes");
    // The same bytes every time: nothing is copied.
    const u8* again = nullptr;
    ASSERT_TRUE(GetResourceBlob(200, "MEMFILE", &again, &size));
    EXPECT_EQ(again, data);
    EXPECT_FALSE(GetResourceBlob(999, "MemFile", &data, &size));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(GetResourceBlob(200, "MemFile", nullptr, &size));
    EXPECT_FALSE(GetResourceBlob(200, "MemFile", &data, nullptr));
}
