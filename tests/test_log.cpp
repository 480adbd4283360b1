#include "Core/Log.h"
#include "Core/ProgramObjects.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>
#include <unistd.h>

namespace {
namespace fs = std::filesystem;

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A channel writing to its own file in a fresh folder.
struct ChannelFixture {
    fs::path dir;
    fs::path file;
    ChannelFixture() {
        dir = fs::temp_directory_path() / ("corvane_log_" + std::to_string(getpid()) + "_" +
                                           std::to_string(reinterpret_cast<uintptr_t>(this)));
        fs::create_directories(dir);
        file = dir / "errors.log";
    }
    ~ChannelFixture() { fs::remove_all(dir); }
    String FileName() const { return String(file.string().c_str()); }
};

const char* kDateTime = R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)";
const std::string kIndent(27, ' ');
}  // namespace

TEST(Log, FullRecordLayout) {
    ChannelFixture f;
    LogChannel warnings(String("TEST_WARNINGS"), f.FileName(), String("Warning"), 15, String(" "));
    warnings.Write(LogSite(".\\Effect\\EffectManager.cpp", "bool __thiscall EffectManager::Create(void)", 55))
        .Print("Effect failed to create: ")
        .Print(String("distort"));
    const std::string expected = std::string("\n") + kDateTime +
                                 R"x( Warning:  "\.\\Effect\\EffectManager\.cpp" line 55\n)x" + kIndent +
                                 R"x("bool __thiscall EffectManager::Create\(void\)"\n)x" + kIndent +
                                 "Effect failed to create: distort";
    const std::string text = ReadFile(f.file);
    EXPECT_TRUE(std::regex_match(text, std::regex(expected))) << text;
}

TEST(Log, InfoAndPartialLayouts) {
    ChannelFixture f;
    LogChannel info(String("TEST_INFO"), f.FileName(), String("Info"), 0x31, String(" "));
    info.Write(LOG_SITE("void __cdecl Startup(void)")).Print("Vertex shader ").Print(u8(3)).Print(".").Print(0);
    EXPECT_TRUE(std::regex_match(ReadFile(f.file), std::regex(std::string("\n") + kDateTime + " Info: Vertex shader 3\\.0")))
        << ReadFile(f.file);

    ChannelFixture g;
    LogChannel fileOnly(String("TEST_FILEONLY"), g.FileName(), String("Error"), 2, String(" "));
    fileOnly.Write(LogSite("a.cpp", "void f(void)", -12)).Print("message");
    EXPECT_EQ(ReadFile(g.file), "\n Error:  \"a.cpp\"\n" + kIndent + "message");

    ChannelFixture h;
    LogChannel lineOnly(String("TEST_LINEONLY"), h.FileName(), String("Error"), 8, String(" "));
    lineOnly.Write(LogSite("a.cpp", "void f(void)", -12)).Print(-7);
    EXPECT_EQ(ReadFile(h.file), "\n Error:  line -12\n" + kIndent + "-7");

    ChannelFixture k;
    LogChannel dateOnly(String("TEST_DATEONLY"), k.FileName(), String("<logname>"), 1, String(" "));
    dateOnly.Write(LogSite("a.cpp", "void f(void)", 1)).Print("x");
    EXPECT_TRUE(std::regex_match(ReadFile(k.file), std::regex(std::string("\n") + kDateTime + " TEST_DATEONLY: x")));
}

TEST(Log, RecordsAppendAndEachCallReopensTheFile) {
    ChannelFixture f;
    LogChannel c(String("TEST_APPEND"), f.FileName(), String("E"), 0, String(" "));
    c.Write(LogSite()).Print("one");
    fs::remove(f.file);  // the next call opens the file anew
    c.Write(LogSite()).Print("two");
    c.Write(LogSite()).Print("three");
    EXPECT_EQ(ReadFile(f.file), "\n E: two\n E: three");
}

TEST(Log, MasterSwitchSilencesEveryWriteButKeepsTheChain) {
    ChannelFixture f;
    LogChannel c(String("TEST_SWITCH"), f.FileName(), String("Error"), 15, String(" "));
    SetLogMasterSwitch(false);
    LogChannel& after = c.Write(LOG_SITE("void f(void)")).Print("a").Print(String("b")).Print(3).Print(u8(4));
    SetLogMasterSwitch(true);
    EXPECT_EQ(&after, &c);
    EXPECT_FALSE(fs::exists(f.file));
    c.enabled = 0;
    c.Write(LOG_SITE("void f(void)")).Print("a");
    EXPECT_FALSE(fs::exists(f.file));
    c.enabled = 1;
    c.Print("now");
    EXPECT_EQ(ReadFile(f.file), "now");
}

TEST(Log, ProgramWideChannelsAndLookup) {
    LogRegistry& registry = TheLogRegistry();
    EXPECT_EQ(registry.Find("DEFAULT"), &LogDefault());
    EXPECT_EQ(registry.Find("ERRORS"), &LogErrors());
    EXPECT_EQ(registry.Find("WARNINGS"), &LogWarnings());
    EXPECT_EQ(registry.Find("INFO"), &LogInfo());
    EXPECT_EQ(registry.Find("errors"), &LogDefault());  // case matters: a miss gives DEFAULT
    EXPECT_EQ(registry.Find("NOPE"), &LogDefault());
    EXPECT_TRUE(String::EqualsText(LogDefault().title, "DEFAULT"));
    EXPECT_TRUE(String::EqualsText(LogErrors().title, "Error"));
    EXPECT_TRUE(String::EqualsText(LogInfo().fileName, "errors.log"));
    EXPECT_EQ(LogInfo().flags, 0x31u);

    // Channels register in order at the end of the iteration list.
    std::vector<std::string> names;
    auto* node = registry.channels.first;
    for (u32 i = 0; i < registry.channels.count; ++i, node = node->next) names.push_back(node->key.c_str());
    std::vector<std::string> engine;
    for (const std::string& n : names)
        if (n == "DEFAULT" || n == "ERRORS" || n == "WARNINGS" || n == "INFO") engine.push_back(n);
    EXPECT_EQ(engine, (std::vector<std::string>{"DEFAULT", "ERRORS", "WARNINGS", "INFO"}));

    // A channel built later registers directly and leaves with its destructor.
    {
        ChannelFixture f;
        LogChannel late(String("TEST_LATE"), f.FileName(), String("x"), 0, String(" "));
        EXPECT_EQ(registry.Find("TEST_LATE"), &late);
    }
    EXPECT_EQ(registry.Find("TEST_LATE"), &LogDefault());
}

TEST(Log, ChannelsBuiltBeforeTheRegistryWaitWithoutALimit) {
    ChannelFixture f;
    LogRegistry* programWide = ExchangeProgramLogRegistry(nullptr);
    const i32 waitingBefore = LogPendingChannels().count;
    constexpr int kEarly = 45;  // past the ten of the list's first block, and past 32
    {
        std::vector<std::unique_ptr<LogChannel>> early;
        for (int i = 0; i < kEarly; ++i)
            early.push_back(std::make_unique<LogChannel>(String(("PENDING_" + std::to_string(i)).c_str()),
                                                         f.FileName(), String("x"), 0, String(" ")));
        ASSERT_EQ(LogPendingChannels().count, waitingBefore + kEarly);
        EXPECT_EQ(LogPendingChannels()[waitingBefore + 32].channel, early[32].get());
        EXPECT_TRUE(String::EqualsText(LogPendingChannels()[waitingBefore + 44].name, "PENDING_44"));
        {
            LogRegistry registry(true);
            for (int i = 0; i < kEarly; ++i)
                EXPECT_EQ(registry.Find(("PENDING_" + std::to_string(i)).c_str()), early[i].get()) << i;
            // Taken in the order they were built, each at the end.
            std::vector<std::string> order;
            auto* node = registry.channels.first;
            for (u32 i = 0; i < registry.channels.count; ++i, node = node->next)
                if (std::string(node->key.c_str()).rfind("PENDING_", 0) == 0) order.push_back(node->key.c_str());
            ASSERT_EQ(order.size(), static_cast<size_t>(kEarly));
            for (int i = 0; i < kEarly; ++i) EXPECT_EQ(order[i], "PENDING_" + std::to_string(i));
            // A channel built now registers directly and waits nowhere.
            LogChannel late(String("PENDING_LATE"), f.FileName(), String("x"), 0, String(" "));
            EXPECT_EQ(registry.Find("PENDING_LATE"), &late);
            EXPECT_EQ(LogPendingChannels().count, waitingBefore + kEarly);
            // Channels go before their registry, and leave it as they go.
            early.pop_back();
            EXPECT_EQ(registry.Find("PENDING_44"), nullptr);  // no DEFAULT here to fall back to
            early.clear();
        }
        // The list stays, its channels gone.
        for (i32 i = waitingBefore; i < LogPendingChannels().count; ++i)
            EXPECT_EQ(LogPendingChannels()[i].channel, nullptr);
    }
    EXPECT_EQ(ExchangeProgramLogRegistry(programWide), nullptr);
    EXPECT_EQ(TheLogRegistry().Find("ERRORS"), &LogErrors());
    LogChannel after(String("PENDING_AFTER"), f.FileName(), String("x"), 0, String(" "));
    EXPECT_EQ(TheLogRegistry().Find("PENDING_AFTER"), &after);
}

TEST(Log, LookupPolicies) {
    ChannelFixture f;
    LogRegistry local;
    LogChannel deflt(String("LOCAL_DEFAULT"), f.FileName(), String("<logname>"), 0, String(" "));
    LogChannel errors(String("LOCAL_ERRORS"), f.FileName(), String("Error"), 0, String(" "));
    local.Add(String("DEFAULT"), &deflt);
    local.Add(String("ERRORS"), &errors);
    EXPECT_EQ(local.Find("ERRORS"), &errors);
    EXPECT_EQ(local.Find("WARNINGS"), &deflt);
    local.lookupPolicy = kLogLookupDefault;
    EXPECT_EQ(local.Find("ERRORS"), &deflt);
    local.lookupPolicy = kLogLookupSwitchOff;
    EXPECT_EQ(local.Find("ERRORS"), &errors);
    EXPECT_EQ(deflt.enabled, 1);
    EXPECT_EQ(local.Find("MISSING"), &deflt);
    EXPECT_EQ(deflt.enabled, 0);
    local.Add(String("ERRORS"), &deflt);  // an existing name is replaced
    EXPECT_EQ(local.Find("ERRORS"), &deflt);
    EXPECT_EQ(local.channels.count, 2u);
}

TEST(Log, DebugLogAppendsPlainLines) {
    ChannelFixture f;
    const fs::path previous = fs::current_path();
    fs::current_path(f.dir);
    SetLogMasterSwitch(false);  // the plain log ignores the channels' switch
    DebugLog(String("Error: Charset 'x' loading failed\n"), String());
    DebugLog(String("second\n"), String("> "));
    DebugLog(String("two\nlines, no end"), String("\n"));
    SetLogMasterSwitch(true);
    fs::current_path(previous);
    // The same bytes on every platform: a line feed is written as CR LF, as a Windows
    // text-mode file writes it.
    EXPECT_EQ(ReadFile(f.dir / "log"), "Error: Charset 'x' loading failed\r\n> second\r\n\r\ntwo\r\nlines, no end");
}
