// The rate is integer arithmetic on 64-bit milliseconds, so it never overflows however long
// the saver runs; a clock that steps back gives an elapsed time past any window (unsigned),
// which simply ends the window.
#include "Screen/OverlayTexts.h"

#include <string>

namespace {

void AppendTwoDigits(std::string& out, u32 value) {
    if (value < 10) out += '0';
    out += std::to_string(value);
}

}  // namespace

u64 FrameRate::Pass(u64 now) {
    const u64 elapsed = now - windowStart_;
    if (elapsed >= kWindowMs) {
        rate_ = frames_;
        windowStart_ = now;
        frames_ = 0;
    } else {
        ++frames_;
        if (elapsed != 0) rate_ = frames_ * 1000 / elapsed;
    }
    return rate_;
}

String FormatClockText(u32 hour, u32 minute, u32 second, bool twentyFourHour) {
    const char* suffix = "";
    if (!twentyFourHour) {
        suffix = hour < 12 ? "am" : "pm";
        if (hour > 12) hour -= 12;
        // Midnight reads 12 on a 12-hour clock, as such clocks show it.
        if (hour == 0) hour = 12;
    }
    std::string text = std::to_string(hour);
    text += ':';
    AppendTwoDigits(text, minute);
    text += ':';
    AppendTwoDigits(text, second);
    text += ' ';
    text += suffix;
    return String(text.c_str());
}
