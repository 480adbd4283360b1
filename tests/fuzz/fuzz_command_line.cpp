// Fuzz target for the saver's command-line parser: any text (cut at its first zero, as a
// command line is) gives one of the five run modes, and a window number only for the
// switches that take one.
#include "Screen/ScreenSaver.h"

#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* input, std::size_t size) {
    if (size > (1u << 16)) return 0;
    const std::string text(reinterpret_cast<const char*>(input), size);
    u32 window = 0xDEADBEEFu;
    const i32 mode = ParseCommandLineText(text.c_str(), &window);
    if (mode < 0 || mode > 4) std::abort();
    if ((mode == ScreenSaver::kModeFull || mode == ScreenSaver::kModeTest) && window != 0) std::abort();
    if (ParseCommandLineText(text.c_str(), nullptr) != mode) std::abort();
    return 0;
}
