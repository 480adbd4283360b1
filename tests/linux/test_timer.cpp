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
    explicit TestClock(DWORD start) {
        PlatformTest_SetClock(start);
        Timer::ForgetWraps();
    }
    ~TestClock() {
        Timer::Freeze(false);
        PlatformTest_UseSystemClock();
        Timer::ForgetWraps();
    }
    void Advance(DWORD ms) { PlatformTest_AdvanceClock(ms); }
};

constexpr u64 kCounterRound = 1ull << 32;  // timeGetTime starts again at 0 after this

// How many rand() draws were taken since srand(seed): the position of `next` in the
// sequence the seed gives, searched up to `limit` (limit + 1 when it is further on).
u32 DrawsTaken(unsigned seed, int next, u32 limit) {
    srand(seed);
    for (u32 n = 0; n < limit; ++n)
        if (rand() == next) return n;
    return limit + 1;
}

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

TEST(Timer, TheEngineClockRunsOnAcrossTheCounterWrap) {
    TestClock clock(static_cast<DWORD>(kCounterRound - 5000));
    Timer t;
    Timer period;
    EXPECT_EQ(t.Start(), kCounterRound - 5000);
    // A period of 1 s checked every 250 ms fires every fourth check, the wrap included.
    std::vector<u64> fired;
    for (int i = 0; i < 24; ++i) {
        clock.Advance(250);
        if (period.CheckPeriod(1000)) fired.push_back(Timer::Now());
    }
    EXPECT_EQ(Timer::Now(), kCounterRound + 1000);
    EXPECT_EQ(t.Elapsed(), 6000u);
    std::vector<u64> due;
    for (u64 at = kCounterRound - 4000; at <= kCounterRound + 1000; at += 1000) due.push_back(at);
    EXPECT_EQ(fired, due);

    // A clock frozen before the next wrap stays there; back on the live clock it has moved
    // on by the time it was frozen.
    clock.Advance(1u << 31);
    Timer::Now();
    clock.Advance((1u << 31) - 1001);  // 1 ms before the second wrap
    Timer::Freeze(true);
    clock.Advance(500);
    EXPECT_EQ(Timer::Now(), 2 * kCounterRound - 1);
    Timer::Freeze(false);
    EXPECT_EQ(Timer::Now(), 2 * kCounterRound + 499);
    Timer::FreezeAt(7);
    EXPECT_EQ(Timer::Now(), 7u);
}

TEST(Timer, AMachineWokenAfterWeeksAsleepFindsTheClockMovedOnByTheSleep) {
    // Up for more than 49.7 days: the counter has wrapped once.
    TestClock clock(static_cast<DWORD>(kCounterRound - 1000));
    Timer::Now();
    clock.Advance(2000);
    const u64 before = Timer::Now();
    EXPECT_EQ(before, kCounterRound + 1000);
    // Thirty days asleep, more than half the counter's round in one step: the reading is the
    // newest, not one taken before the wrap.
    const DWORD asleep = 30u * 24 * 3600 * 1000;
    clock.Advance(asleep);
    EXPECT_EQ(Timer::Now(), before + asleep);
    // And on from there, frame after frame.
    for (u64 frame = 1; frame <= 3; ++frame) {
        clock.Advance(16);
        EXPECT_EQ(Timer::Now(), before + asleep + 16 * frame);
    }
}

TEST(TimedRange, CatchingUpALongGapWalksNoMoreThanTheEventsItKeeps) {
    TestClock clock(0);
    // Periods of 90 to 110 ms, each drawn with two rand() calls: the draws taken count the
    // events the generator walked.
    RangeValue periods;
    periods.Set(90.0f, 1.0f, 110.0f, 1.0f);
    TimedRange r(periods);
    r.Restart();
    const u64 gap = 1ull << 27;  // 37 hours without a frame
    EventList events;
    srand(5);
    EXPECT_EQ(r.Advance(events, 8, gap), 8u);
    EXPECT_LE(DrawsTaken(5, rand(), 100), 2u * 9u);
    // The first events are kept, then the generator stands at the time it was given.
    ASSERT_EQ(events.times.size(), 8u);
    EXPECT_GE(events.times[0], 90u);
    EXPECT_LE(events.times[7], 8u * 110u);
    EXPECT_EQ(r.start, gap);
    EXPECT_LT(r.phase, 1.0f);
    // From there it goes on one period at a time.
    EventList next;
    EXPECT_EQ(r.Advance(next, 8, gap + 115), 1u);
    ASSERT_EQ(next.times.size(), 1u);
    EXPECT_GE(next.times[0], gap + 90);

    // A list that is full already costs no walk at all.
    srand(6);
    EXPECT_EQ(r.Advance(events, 8, 2 * gap), 0u);
    EXPECT_LE(DrawsTaken(6, rand(), 100), 2u);
    EXPECT_EQ(r.start, 2 * gap);
}

TEST(TimedRange, MillisecondPeriodsCatchUpAWeek) {
    TestClock clock(0);
    // The magic's generator: its phase once stood still at 2^26 ms, where adding 3.68 ms
    // no longer changes a float, and the walk never ended.
    TimedRange r(RangeValue(3.68f));
    r.Restart();
    const u64 week = 7ull * 24 * 3600 * 1000;
    EventList events;
    EXPECT_EQ(r.Advance(events, 1000, week), 1000u);
    EXPECT_NEAR(static_cast<double>(events.times[999]), 3680.0, 1.0);
    EXPECT_EQ(r.start, week);
    EXPECT_LT(r.phase, 1.0f);
}
