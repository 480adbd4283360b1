// The saver's command line: Windows' switches, one row per case with the mode and window
// number beside it.
#include "Screen/ScreenSaver.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Row {
    const char* commandLine;
    i32 mode;
    u32 window;
};

const Row kRows[] = {
    {"", 3, 0},
    {"corvane.scr", 3, 0},
    {"corvane.scr ", 3, 0},
    {"\"C:\\Windows\\corvane.scr\"", 3, 0},
    {"corvane.scr /c:5678", 3, 5678},
    {"corvane.scr -C", 3, 0},
    {"corvane.scr /c", 3, 0},
    {"corvane.scr /p 1234", 1, 1234},
    {"corvane.scr /p:1234", 1, 1234},
    {"corvane.scr /P 77", 1, 77},
    {"corvane.scr /p", 1, 0},
    {"corvane.scr /s", 0, 0},
    {"corvane.scr -S", 0, 0},
    {"corvane.scr -x", 0, 0},
    {"corvane.scr /u", 0, 0},
    {"corvane.scr /1", 0, 0},
    {"corvane.scr /", 0, 0},
    {"corvane.scr /t", 2, 0},
    {"corvane.scr -T 55", 2, 0},
    {"corvane.scr /a 99", 4, 99},
    {"corvane.scr /A", 4, 0},
    {"corvane.scr no switch here", 3, 0},
    {"corvane.scr  /s", 0, 0},
    // A quoted name may hold the switch characters; they do not count.
    {"\"C:\\My-Savers\\a/b.scr\"", 3, 0},
    {"\"C:\\My-Savers\\a/b.scr\" /p 42", 1, 42},
    {"\"C:\\My-Savers\\x-p.scr\" /s", 0, 0},
    // An unquoted name ends at the first blank; a hyphen inside it is skipped with it.
    {"my-saver.scr /c:12", 3, 12},
    // Too many digits for a window handle: the number stays at the largest.
    {"corvane.scr /p 1234567890123456789012345678901234567890", 1, 0xFFFFFFFFu},
    {"corvane.scr /p 4294967295", 1, 0xFFFFFFFFu},
    {"corvane.scr /p 4294967296", 1, 0xFFFFFFFFu},
    // An unterminated quote takes the whole line as the name.
    {"\"corvane.scr /s", 3, 0},
};

}  // namespace

TEST(ScreenCommandLine, EveryRowGivesItsModeAndWindow) {
    for (const Row& row : kRows) {
        u32 window = 12345;
        EXPECT_EQ(ParseCommandLineText(row.commandLine, &window), row.mode) << '"' << row.commandLine << '"';
        EXPECT_EQ(window, row.window) << '"' << row.commandLine << '"';
    }
}

TEST(ScreenCommandLine, NullTextAndNullNumberAreSafe) {
    u32 window = 9;
    EXPECT_EQ(ParseCommandLineText(nullptr, &window), 3);
    EXPECT_EQ(window, 0u);
    EXPECT_EQ(ParseCommandLineText("x /p 5", nullptr), 1);
}

TEST(ScreenCommandLine, LettersAroundTheRangeEdges) {
    // 'A' (65) and 't' (116) are the ends of the switch range; '@' and 'u' lie outside.
    EXPECT_EQ(ParseCommandLineText("x /@", nullptr), 0);
    EXPECT_EQ(ParseCommandLineText("x /u", nullptr), 0);
    EXPECT_EQ(ParseCommandLineText("x /z 3", nullptr), 0);
    u32 window = 0;
    EXPECT_EQ(ParseCommandLineText("x /A 7", &window), 4);
    EXPECT_EQ(window, 7u);
    EXPECT_EQ(ParseCommandLineText("x /t", nullptr), 2);
}
