// The timer and timed values on a clock the test drives through the platform's test
// interface (Linux only).
#include "Core/List.h"
#include "Core/Timer.h"

#include <PlatformTest.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <vector>

namespace {
// Drives the platform clock for one test and hands it back afterwards.
struct TestClock {
    explicit TestClock(DWORD start) { PlatformTest_SetClock(start); }
    ~TestClock() {
        Timer::Freeze(false);
        PlatformTest_UseSystemClock();
    }
    void Advance(DWORD ms) { PlatformTest_AdvanceClock(ms); }
};

struct EventList {
    i32 count = 0;
    std::vector<u64> times;
    void PushBack(u64 t) {
        times.push_back(t);
        ++count;
    }
};
}  // namespace

TEST(Timer, ElapsedFollowsTheClockAndFreezes) {
    TestClock clock(1000);
    Timer t;
    EXPECT_EQ(t.Start(), 1000u);
    clock.Advance(250);
    EXPECT_EQ(t.Elapsed(), 250u);

    Timer::Freeze(true);
    clock.Advance(100);
    Timer::Freeze(true);  // a second freeze keeps the first instant
    clock.Advance(100);
    EXPECT_EQ(Timer::Now(), 1250u);
    EXPECT_EQ(t.Elapsed(), 250u);
    EXPECT_FALSE(t.CheckPeriod(300));
    EXPECT_FALSE(t.CheckPeriod(300));

    Timer::Freeze(false);
    EXPECT_EQ(Timer::Now(), 1450u);
    EXPECT_TRUE(t.CheckPeriod(300));
    EXPECT_EQ(t.Start(), 1450u);
    EXPECT_EQ(t.Elapsed(), 0u);
}

TEST(Timer, CheckPeriodAcceptsAClockThatWentBack) {
    TestClock clock(5000);
    Timer t;
    t.SetStart(5400);  // the clock is 400 ms behind the start
    EXPECT_TRUE(t.CheckPeriod(300));
    EXPECT_EQ(t.Start(), 5000u);
    t.SetStart(5100);
    EXPECT_FALSE(t.CheckPeriod(300));
}

TEST(TimedRange, ConstantPeriodEmitsEventTimes) {
    TestClock clock(10000);
    TimedRange r(RangeValue(100.0f));
    EventList events;
    EXPECT_EQ(r.Advance(events, 10, 20000), 0u);  // not started: nothing
    EXPECT_EQ(events.count, 0);

    r.Restart();
    EXPECT_EQ(r.Advance(events, 10, 10350), 3u);
    EXPECT_EQ(events.times, (std::vector<u64>{10100, 10200, 10300}));
    EXPECT_EQ(r.start, 10300u);
    EXPECT_EQ(r.phase, 0.0f);

    // The list limit stops appending but not the schedule.
    EventList capped;
    EXPECT_EQ(r.Advance(capped, 1, 10600), 1u);
    EXPECT_EQ(capped.times, (std::vector<u64>{10400}));
    EXPECT_EQ(r.start, 10600u);
}

TEST(TimedRange, FractionalPeriodsCarryTheirPhase) {
    TestClock clock(0);
    TimedRange r(RangeValue(2.5f));
    r.Restart();
    EventList events;
    r.Advance(events, 100, 10);
    EXPECT_EQ(events.times, (std::vector<u64>{2, 5, 7, 10}));
    EXPECT_EQ(r.start, 10u);
    EXPECT_EQ(r.phase, 0.0f);
}

TEST(TimedRange, ZeroAndNegativePeriodsNeverHang) {
    TestClock clock(0);
    TimedRange zero(RangeValue(0.0f));
    zero.Restart();
    EventList events;
    EXPECT_EQ(zero.Advance(events, 1000, 100000), 0u);
    EXPECT_EQ(zero.period, -1.0f);

    // A range that can draw 0 in the middle of a run must not loop on one instant.
    RangeValue maybeZero;
    maybeZero.Set(0.0f, 1.0f, 2.0f, 1.0f);
    TimedRange r(maybeZero);
    r.Restart();
    for (int i = 0; i < 50; ++i) r.Advance(events, 1000000, 100000);
    EXPECT_LE(events.count, 1000000);

    TimedRange negative(RangeValue(-5.0f));
    negative.Restart();
    EXPECT_EQ(negative.Advance(events, 1000, 100000), 0u);
}

TEST(TimedRange, AppendsToTheEngineList) {
    TestClock clock(0);
    TimedRange r(RangeValue(40.0f));
    r.Restart();
    List<u64> events;
    EXPECT_EQ(r.Advance(events, 2, 130), 2u);
    ASSERT_EQ(events.count, 2);
    // PushBack leaves current on the last event; one step on reaches the first.
    EXPECT_EQ(events.current->payload, 80u);
    EXPECT_EQ(events.current->next->payload, 40u);
}
