// The saver's command line is Windows' own: the program name (quoted when it holds
// blanks), then a switch, a slash or a hyphen and a letter, with a window number after
// some letters. Nothing here but the text is read, so the parser stands alone.
#include "Screen/ScreenSaver.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal number at the first digit from p; 0 when there is none. A number past the
// 32 bits of a window handle stays at the largest one.
u32 NumberAfter(const char* p) {
    while (*p && !IsDigit(*p)) ++p;
    u32 value = 0;
    for (; IsDigit(*p); ++p) {
        const u32 digit = static_cast<u32>(*p - '0');
        value = value > (0xFFFFFFFFu - digit) / 10 ? 0xFFFFFFFFu : value * 10 + digit;
    }
    return value;
}

}  // namespace

i32 ParseCommandLineText(const char* commandLine, u32* window) {
    u32 number = 0;
    if (window) *window = 0;
    const char* p = commandLine ? commandLine : "";
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && !IsBlank(*p)) ++p;
        if (*p) ++p;
    }
    if (!*p) return ScreenSaver::kModeConfig;
    while (*p && *p != '/' && *p != '-') ++p;
    if (!*p) return ScreenSaver::kModeConfig;
    const char letter = p[1];
    if (letter < 'A' || letter > 't') return ScreenSaver::kModeFull;
    i32 mode = ScreenSaver::kModeFull;
    switch (letter) {
    case 'a':
    case 'A':
        number = NumberAfter(p + 2);
        mode = ScreenSaver::kModePassword;
        break;
    case 'c':
    case 'C':
        number = NumberAfter(p + 2);
        mode = ScreenSaver::kModeConfig;
        break;
    case 'p':
    case 'P':
        number = NumberAfter(p + 2);
        mode = ScreenSaver::kModePreview;
        break;
    case 't':
    case 'T':
        mode = ScreenSaver::kModeTest;
        break;
    default:
        break;
    }
    if (window) *window = number;
    return mode;
}

i32 ParseCommandLine(u32* window) { return ParseCommandLineText(GetCommandLineA(), window); }
