// The resources of the test executable, standing in for those the build embeds into the
// program. test_resources.cpp and test_memfile.cpp rely on exactly these entries.
#include <PlatformResources.h>

namespace {

const unsigned char kGreeting[] = "resource bytes";
const unsigned char kConfig[] = "width=640";
const unsigned char kBitmap[] = {0x42, 0x4D, 0x01, 0x02, 0x03};
const unsigned char kNamed[] = "named data";
const unsigned char kEmpty[] = "";

const PlatformResource kEntries[] = {
    // Type "MEMFILE", identifier 200: what a patht with flags 4 and number 200 reads.
    {"MEMFILE", 0, nullptr, 200, kGreeting, kGreeting + 14},
    // Type "Text", name "Config".
    {"Text", 0, "Config", 0, kConfig, kConfig + 9},
    // The standard bitmap type (2), identifier 300.
    {nullptr, 2, nullptr, 300, kBitmap, kBitmap + 5},
    // The standard raw-data type (10), name "NAMED".
    {nullptr, 10, "NAMED", 0, kNamed, kNamed + 10},
    // An empty resource: type "MemFile", identifier 201.
    {"MemFile", 0, nullptr, 201, kEmpty, kEmpty},
};

}  // namespace

extern "C" const PlatformResourceTable CorvaneResourceTable = {kEntries, sizeof kEntries / sizeof kEntries[0]};
