#include "Core/EngineStartup.h"
#include "Core/FileIndex.h"
#include "Core/FrameNotifier.h"
#include "Core/ProgramObjects.h"
#include "Core/StatisticsTable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
namespace fs = std::filesystem;

struct TempTree {
    fs::path root;
    TempTree() {
        root = fs::temp_directory_path() / ("corvane_index_" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "Media" / "Fonts");
        fs::create_directories(root / "empty");
        Write("a.txt", "abc");
        Write("Media/Fonts/64font.fs", "font");
        Write("Media/b.bin", std::string(1000, 'x'));
    }
    ~TempTree() { fs::remove_all(root); }
    void Write(const std::string& rel, const std::string& text) { std::ofstream(root / rel, std::ios::binary) << text; }
    String Folder(const std::string& suffix = "") const { return String((root.string() + suffix).c_str()); }
};

std::vector<std::string> Keys(const OrderedMap<String, FileRecord, StringOrderNoCase>& m) {
    std::vector<std::string> keys;
    auto* node = m.first;
    for (u32 i = 0; i < m.count; ++i, node = node->next) keys.push_back(node->key.c_str());
    return keys;
}

// A channel of another source file, built by its own initialiser whichever way the
// initialisers of this file and the engine's are ordered.
LogChannel g_earlyChannel(String("EARLY_TEST"), String("early_test.log"), String("Early"), 0, String(" "));

struct Counter : FrameListener {
    std::vector<u32> frames;
    void OnFrame(u32 frame) override { frames.push_back(frame); }
};
}  // namespace

TEST(FileIndex, ScansFoldersRecursivelyWithRecords) {
    TempTree tree;
    FileIndex index;
    ASSERT_TRUE(index.Scan(tree.Folder("\\"), String("*"), true, 255));  // a trailing backslash is dropped
    EXPECT_TRUE(String::EqualsText(index.folder, tree.root.string().c_str()));
    EXPECT_EQ(index.scanned, 1);
    ASSERT_NE(index.FindFile(String("A.TXT")), nullptr);  // names without regard to case
    EXPECT_EQ(index.FindFile(String("a.txt"))->size, 3u);
    EXPECT_EQ(index.files.count, 1u);
    EXPECT_EQ(index.folders.count, 2u);
    const FileIndex* media = index.FindFolder(String("media"));
    ASSERT_NE(media, nullptr);
    EXPECT_TRUE(media->attributes & FileIndex::kDirectory);
    EXPECT_EQ(media->FindFile(String("b.bin"))->size, 1000u);
    const FileIndex* fonts = media->FindFolder(String("Fonts"));
    ASSERT_NE(fonts, nullptr);
    EXPECT_NE(fonts->FindFile(String("64font.fs")), nullptr);
    EXPECT_EQ(fonts->FindFile(String("64font.fs"))->name.length, 9u);

    // Without recursion the sub-folders are listed but empty; a pattern filters names.
    ASSERT_TRUE(index.Scan(tree.Folder("/"), String("*.TXT"), false, 255));
    EXPECT_EQ(Keys(index.files), (std::vector<std::string>{"a.txt"}));
    EXPECT_EQ(index.folders.count, 0u);
    ASSERT_TRUE(index.Scan(tree.Folder(), String("*"), false, 255));
    EXPECT_EQ(index.FindFolder(String("Media"))->files.count, 0u);

    // A mask without the directory bit lists files only; a missing folder fails empty.
    ASSERT_TRUE(index.Scan(tree.Folder(), String("*"), true, 0x20));
    EXPECT_EQ(index.folders.count, 0u);
    EXPECT_EQ(index.files.count, 1u);
    EXPECT_FALSE(index.Scan(tree.Folder("/missing"), String("*"), true, 255));
    EXPECT_EQ(index.files.count + index.folders.count, 0u);
}

TEST(FileIndex, LinksAreListedButNotFollowed) {
    TempTree tree;
    std::error_code failed;
    fs::create_directory_symlink(tree.root, tree.root / "loop", failed);
    if (failed) GTEST_SKIP() << "this system cannot make a symbolic link here (Wine cannot): " << failed.message();
    FileIndex index;
    ASSERT_TRUE(index.Scan(tree.Folder(), String("*"), true, 255));
    const FileIndex* loop = index.FindFolder(String("loop"));
    ASSERT_NE(loop, nullptr);
    EXPECT_TRUE(loop->attributes & FileIndex::kReparsePoint);
    EXPECT_EQ(loop->files.count + loop->folders.count, 0u);
}

TEST(FrameNotifier, TicksListenersOnceEachInOrder) {
    FrameNotifier n;
    Counter a, b;
    n.Add(&b);
    n.Add(&a);
    n.Add(&b);  // already there
    n.Add(nullptr);
    n.Tick();
    n.Tick();
    EXPECT_EQ(n.Frame(), 2u);
    EXPECT_EQ(a.frames, (std::vector<u32>{1, 2}));
    EXPECT_EQ(b.frames, (std::vector<u32>{1, 2}));
    n.Remove(&b);
    n.Tick();
    EXPECT_EQ(b.frames.size(), 2u);
    EXPECT_EQ(a.frames.back(), 3u);
}

TEST(StatisticsTable, CountsWhileEnabled) {
    StatisticsTable stats;
    EXPECT_EQ(stats.enabled, 1);
    EXPECT_EQ(stats.current, 0u);
    stats.Add(String("tris"), 12);
    stats.Add(String("TRIS"), 30);
    stats.Add(String("nodes"), 1);
    EXPECT_EQ(stats.Get(String("tris")), 42);
    stats.ClearCurrent();
    EXPECT_EQ(stats.Get(String("tris")), 0);
    stats.enabled = 0;
    stats.Add(String("tris"), 5);
    EXPECT_EQ(stats.Get(String("tris")), 0);
}

TEST(EngineStartup, SeedWrapAndCurrentFolderIndex) {
    EXPECT_EQ(StartupSeed(65536), 2u);
    EXPECT_EQ(StartupSeed(32767), 0u);
    EXPECT_FLOAT_EQ(WrapToRange(7.5f, 2.0f, 4.0f), 3.5f);
    EXPECT_FLOAT_EQ(WrapToRange(1.5f, 2.0f, 4.0f), 3.5f);
    EXPECT_FLOAT_EQ(WrapToRange(3.0f, 2.0f, 4.0f), 3.0f);
    EXPECT_EQ(WrapToRange(9.0f, 2.0f, 2.00001f), 2.0f);

    TempTree tree;
    const fs::path previous = fs::current_path();
    fs::current_path(tree.root);
    const std::string locale = setlocale(LC_ALL, nullptr);
    EXPECT_TRUE(EngineStartup());
    setlocale(LC_ALL, locale.c_str());
    fs::current_path(previous);
    EXPECT_TRUE(String::EqualsText(TheFileIndex().folder, "."));
    EXPECT_NE(TheFileIndex().FindFile(String("a.txt")), nullptr);
    ASSERT_NE(TheFileIndex().FindFolder(String("Media")), nullptr);
    TheFileIndex().Clear();
}

TEST(ProgramObjects, BuiltBeforeTheEntryPoint) {
    EXPECT_EQ(TheLogRegistry().Find("EARLY_TEST"), &g_earlyChannel);
    EXPECT_EQ(TheStatistics().enabled, 1);
    EXPECT_EQ(TheFrameNotifier().listeners.count, 0u);
    EXPECT_NE(TheLogRegistry().Find("INFO"), nullptr);
}
