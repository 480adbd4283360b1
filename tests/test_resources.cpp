// The executable's resources as the platform layer answers for them, with the tests' own
// resource table (TestResources.cpp).
#include "Core/Path.h"

#include <PlatformResources.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Bytes(HRSRC found) {
    HGLOBAL loaded = LoadResource(nullptr, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    return data ? std::string(data, SizeofResource(nullptr, found)) : std::string("<none>");
}

// Puts another table in place of the executable's for one scope.
class TableOverride {
public:
    explicit TableOverride(const PlatformResourceTable* table) { PlatformResources_Override(table); }
    ~TableOverride() { PlatformResources_Override(nullptr); }
};

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
    EXPECT_EQ(Bytes(FindResourceA(nullptr, "#300", "#2")), std::string("BM\x01\x02\x03"));
    EXPECT_EQ(Bytes(FindResourceA(nullptr, MAKEINTRESOURCEA(300), RT_BITMAP)), std::string("BM\x01\x02\x03"));
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
    int foreign = 0;
    EXPECT_EQ(LoadResource(nullptr, reinterpret_cast<HRSRC>(&foreign)), nullptr);
    EXPECT_EQ(LockResource(&foreign), nullptr);
    EXPECT_EQ(SizeofResource(nullptr, reinterpret_cast<HRSRC>(&foreign)), 0u);
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

TEST(Resources, AnotherTableCanStandInForAWhile) {
    static const unsigned char archive[] = "not really an archive";
    const PlatformResource entries[] = {{"MEMFILE", 0, nullptr, 125, archive, archive + 21}};
    const PlatformResourceTable table = {entries, 1};
    {
        TableOverride use(&table);
        EXPECT_EQ(Bytes(FindResourceA(nullptr, MAKEINTRESOURCEA(125), "MemFile")), "not really an archive");
        EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(200), "MemFile"), nullptr);
    }
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(125), "MemFile"), nullptr);
    EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(200), "MemFile"), nullptr);
    const PlatformResourceTable empty = {nullptr, 0};
    TableOverride none(&empty);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(200), "MemFile"), nullptr);
}
