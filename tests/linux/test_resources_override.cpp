// Another resource table standing in for the executable's, through the platform's test
// interface (Linux only).
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

// Windows trusts the handles it is given; the platform layer checks them against its table,
// so a foreign pointer gives nothing instead of a read of stray memory.
TEST(Resources, ForeignHandlesGiveNothing) {
    int foreign = 0;
    EXPECT_EQ(LoadResource(nullptr, reinterpret_cast<HRSRC>(&foreign)), nullptr);
    EXPECT_EQ(LockResource(&foreign), nullptr);
    EXPECT_EQ(SizeofResource(nullptr, reinterpret_cast<HRSRC>(&foreign)), 0u);
}
