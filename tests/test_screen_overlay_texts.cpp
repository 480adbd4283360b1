// The overlays' texts: the clock in both forms at the day's edges, and the frame rate
// inside and across its one-second windows.
#include "Screen/OverlayTexts.h"

#include <gtest/gtest.h>

#include <string>

TEST(ClockText, ShowsBothFormsAtTheEdgesOfTheDay) {
    struct Row {
        u32 hour, minute, second;
        bool h24;
        const char* expected;
    } rows[] = {
        {0, 0, 0, false, "12:00:00 am"},
        {0, 0, 0, true, "0:00:00 "},
        {0, 59, 59, false, "12:59:59 am"},
        {1, 2, 3, false, "1:02:03 am"},
        {11, 59, 59, false, "11:59:59 am"},
        {12, 0, 0, false, "12:00:00 pm"},
        {12, 30, 0, false, "12:30:00 pm"},
        {13, 5, 9, false, "1:05:09 pm"},
        {13, 5, 9, true, "13:05:09 "},
        {23, 59, 59, false, "11:59:59 pm"},
        {23, 59, 59, true, "23:59:59 "},
        {9, 10, 10, true, "9:10:10 "},
    };
    for (const Row& row : rows) {
        const String text = FormatClockText(row.hour, row.minute, row.second, row.h24);
        EXPECT_EQ(std::string(text.data ? text.data : ""), row.expected) << row.hour << ":" << row.minute;
    }
}

TEST(FrameRateWindow, EstimatesInsideAWindowAndCountsAtItsEnd) {
    FrameRate rate(1000);
    EXPECT_EQ(rate.Pass(1000), 0u);  // no time yet: the rate stays
    EXPECT_EQ(rate.Frames(), 1u);
    EXPECT_EQ(rate.Pass(1010), 200u);  // 2 frames in 10 ms
    EXPECT_EQ(rate.Pass(1500), 6u);    // 3 frames in 500 ms
    for (u64 t = 1600; t < 2000; t += 100) rate.Pass(t);
    EXPECT_EQ(rate.Frames(), 7u);
    EXPECT_EQ(rate.Pass(2000), 7u);  // the window's end: its frame count, a new window
    EXPECT_EQ(rate.Frames(), 0u);
    EXPECT_EQ(rate.Pass(2000), 7u);  // the new window has no time yet
    EXPECT_EQ(rate.Pass(2250), 8u);  // 2 frames in 250 ms
    EXPECT_EQ(rate.Pass(9000), 2u);  // a long stall ends the window with its two frames
}

TEST(FrameRateWindow, AClockThatStepsBackEndsTheWindow) {
    FrameRate rate(5000);
    rate.Pass(5100);
    EXPECT_EQ(rate.Pass(4000), 1u);   // the window's one frame
    EXPECT_EQ(rate.Pass(4100), 10u);  // 1 frame in 100 ms since the step back
}
