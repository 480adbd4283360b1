// Engine time: milliseconds from the multimedia clock, or one stored instant while
// the clock is frozen, so that a whole frame's work sees a single time. The multimedia
// clock is a 32-bit count that starts again at 0 every 2^32 ms (49.7 days after the
// machine started); the engine clock counts those wraps and runs on in 64 bits, so every
// difference the engine takes stays right however long the machine stays up. Only the
// engine's thread reads it, so a reading below the last one is a wrap and never a stale
// reading: the clock only runs forward, whatever the step. A step of whole rounds leaves
// no trace in the counter, so a gap unread for more than 49.7 days (a machine asleep that
// long) counts only its rest after the whole rounds; a running program reads it each frame.
#pragma once

#include "Core/Types.h"

class Timer {
public:
    // The engine's current time; while frozen, the instant of the first Freeze(true).
    static u64 Now();
    // On: freezes the clock at this moment unless already frozen. Off: back to the live clock.
    static void Freeze(bool on);
    static bool IsFrozen();
    // Freezes the clock at `time` (tests step a frozen clock with it).
    static void FreezeAt(u64 time);
    // Forgets the wraps counted so far: the clock reads the counter as it stands (a test
    // that sets the platform's counter starts from there).
    static void ForgetWraps();

    Timer();
    void SetStart(u64 start) { start_ = start; }
    u64 Start() const { return start_; }
    void Restart();
    u64 Elapsed() const;
    // True (and restarts) once `period` has passed, or when the clock went back by a period.
    bool CheckPeriod(u64 period);

private:
    u64 start_;
};

// A random value drawn from up to three weighted points (position, weight); a weight
// of -1 marks an absent point. Between two points the density changes linearly.
class RangeValue {
public:
    explicit RangeValue(f32 value = 0.0f);
    void Set(f32 x0, f32 w0, f32 x1, f32 w1);
    void SetAll(f32 x0, f32 w0, f32 x1, f32 w1, f32 x2, f32 w2);
    bool IsConstant() const;
    double Sample() const;

    f32 x0, w0, x1, w1, x2, w2;

private:
    double SampleSegment(f32 a, f32 wa, f32 b, f32 wb) const;
};

// Turns RangeValue samples into a stream of event times (particle emission).
class TimedRange {
public:
    static constexpr u64 kNotStarted = ~0ull;
    static constexpr u64 kNow = ~0ull;

    TimedRange() = default;
    explicit TimedRange(const RangeValue& range) : range(range) {}

    void Restart();
    bool IsStarted() const { return start != kNotStarted; }
    // Appends the event times due up to `time` (kNow = the current time) to `events`,
    // at most until it holds `maxCount`; returns how many were appended. The first events
    // due are the ones kept: once the list is full, the generator drops the rest without
    // walking them and starts its next period at `time`, so that catching up a clock that
    // jumped days ahead costs no more steps than the list has room for.
    template <class List>
    u32 Advance(List& events, u32 maxCount, u64 time);

    RangeValue range;
    u64 start = kNotStarted;
    f32 phase = 0.0f;  // the fraction of a millisecond the schedule stands past start
    f32 period = -1.0f;

private:
    // One step of the event loop: returns true and the event time while one is due, and
    // moves start to it.
    bool NextDue(u64 time, u64* eventTime);
    void JumpTo(u64 time);
};

template <class List>
u32 TimedRange::Advance(List& events, u32 maxCount, u64 time) {
    if (!IsStarted()) return 0;
    if (time == kNow) time = Timer::Now();
    u32 appended = 0;
    u64 eventTime = 0;
    while (static_cast<u32>(events.count) < maxCount) {
        if (!NextDue(time, &eventTime)) return appended;
        events.PushBack(eventTime);
        ++appended;
    }
    JumpTo(time);
    return appended;
}
