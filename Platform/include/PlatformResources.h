// The table of the resources embedded in a Linux executable. The build generates one
// from the program's resource list; an executable without one has no resources. Tests
// bring their own table, and may put another in its place for a while.
#pragma once

#include <stdint.h>

// One resource. A type or name given as a text has its text set (matched without regard
// to case); otherwise its integer identifier counts.
struct PlatformResource {
    const char* type;
    uint16_t typeId;
    const char* name;
    uint16_t nameId;
    const unsigned char* data;  // first byte
    const unsigned char* end;   // one past the last byte
};

struct PlatformResourceTable {
    const PlatformResource* entries;
    uint32_t count;
};

// Defined by the executable that has resources (generated, or a test's own table).
extern "C" const PlatformResourceTable CorvaneResourceTable;

// Makes FindResourceA search `table` instead of the executable's own table; null goes
// back to the executable's. For tests.
void PlatformResources_Override(const PlatformResourceTable* table);
