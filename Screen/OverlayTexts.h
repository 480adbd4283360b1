// What the full-screen saver's two overlays show: the frame rate, counted over windows of
// one second and estimated inside each window from the frames so far, and the time of day
// in the 12-hour or the 24-hour form. Kept apart from the loop so that both can be checked
// at any instant without running one.
#pragma once

#include "Core/String.h"
#include "Core/Types.h"

class FrameRate {
public:
    static constexpr u64 kWindowMs = 1000;

    // Starts the first window at `now` (milliseconds of the engine clock).
    explicit FrameRate(u64 now) : windowStart_(now) {}

    // One pass of the loop at `now`: at the end of a window the rate is the window's frame
    // count and a new window starts; inside it, frames so far x 1000 / time so far (the
    // rate stays while no time has passed). Returns the rate.
    u64 Pass(u64 now);

    u64 Rate() const { return rate_; }
    u64 Frames() const { return frames_; }

private:
    u64 windowStart_;
    u64 frames_ = 0;
    u64 rate_ = 0;
};

// "h:mm:ss am" (hour 1 to 12, midnight and noon as 12) or, with twentyFourHour,
// "h:mm:ss " (hour 0 to 23) with its trailing blank.
String FormatClockText(u32 hour, u32 minute, u32 second, bool twentyFourHour);
