// Helpers shared by the test suites.
#pragma once

#include "Core/Object.h"
#include "Core/Path.h"
#include "tools/RarWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A payload that counts its live instances through a counter the test owns, so that a
// container's copies, moves and releases can be checked.
struct LiveCounted {
    int* live = nullptr;
    int tag = 0;
    LiveCounted() = default;
    LiveCounted(int* l, int t) : live(l), tag(t) { ++*live; }
    LiveCounted(const LiveCounted& o) : live(o.live), tag(o.tag) {
        if (live) ++*live;
    }
    LiveCounted& operator=(const LiveCounted& o) {
        if (this != &o) {
            if (live) --*live;
            live = o.live;
            tag = o.tag;
            if (live) ++*live;
        }
        return *this;
    }
    ~LiveCounted() {
        if (live) --*live;
    }
};

// An engine object that counts its destructions, for the handles that share it.
struct DestroyCounted : Object {
    explicit DestroyCounted(int* destroyed) : destroyed_(destroyed) {}
    ~DestroyCounted() override { ++*destroyed_; }
    int* destroyed_;
};

using Members = std::vector<std::pair<std::string, std::string>>;

// An archive of stored members, `prefixed` under "Media\" and `bare` at the top.
inline std::vector<u8> BuildArchive(const Members& prefixed, const Members& bare = {}) {
    RarWriter writer;
    writer.SetPrefix("Media\\");
    for (const auto& [name, bytes] : prefixed) EXPECT_TRUE(writer.AddFile(name, bytes.data(), bytes.size()));
    writer.SetPrefix("");
    for (const auto& [name, bytes] : bare) EXPECT_TRUE(writer.AddFile(name, bytes.data(), bytes.size()));
    writer.AddEndBlock();
    return writer.Take();
}

// A path naming a block of memory.
inline patht BlockPath(const std::vector<u8>& bytes) {
    return patht::FromMemory(bytes.data(), static_cast<u32>(bytes.size()));
}

}  // namespace testsupport
