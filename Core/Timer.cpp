#include "Core/Timer.h"

#include <windows.h>

#include <cmath>
#include <stdlib.h>

namespace {
struct EngineClock {
    u64 time = 0;  // the frozen instant
    bool frozen = false;
    u64 counter = 0;  // the last reading of the counter, with its wraps
};
EngineClock& Clock() {
    static EngineClock clock;
    return clock;
}

constexpr f32 kEpsilon = 0.0001f;

// The counter read now, in 64 bits. Only the engine's thread reads the clock, so every
// reading is newer than the last one: the clock moves forward by the counter's distance
// from the last reading, modulo the 32-bit round. A reading below the last is the counter
// having started again (one round more), one above it the same round further on; either
// way the clock never goes back, however long the machine slept between two readings.
// What the counter cannot tell is how many whole rounds (49.7 days each) went by unread:
// a sleep of longer than a round counts only what is left over after the whole rounds.
u64 CounterNow() {
    u64& last = Clock().counter;
    const DWORD reading = timeGetTime();
    last += static_cast<DWORD>(reading - static_cast<DWORD>(last));
    return last;
}

// Uniform in [0, 1]: rand() mod 32767 over 32766.
double Uniform() { return static_cast<f32>(rand() % 32767) * (1.0f / 32766.0f); }

// Truncates a float number of milliseconds toward zero without undefined behaviour
// for values outside the 64-bit range.
i64 TruncateMs(double v) {
    if (!(v == v)) return 0;
    if (v >= 9.2e18) return static_cast<i64>(9.2e18);
    if (v <= -9.2e18) return static_cast<i64>(-9.2e18);
    return static_cast<i64>(v);
}
}  // namespace

u64 Timer::Now() {
    const EngineClock& c = Clock();
    return c.frozen ? c.time : CounterNow();
}

void Timer::Freeze(bool on) {
    EngineClock& c = Clock();
    if (on) {
        if (!c.frozen) c.time = CounterNow();
        c.frozen = true;
    } else {
        c.frozen = false;
    }
}

bool Timer::IsFrozen() { return Clock().frozen; }

void Timer::FreezeAt(u64 time) {
    EngineClock& c = Clock();
    c.time = time;
    c.frozen = true;
}

void Timer::ForgetWraps() { Clock().counter = timeGetTime(); }

Timer::Timer() : start_(Now()) {}

void Timer::Restart() { start_ = Now(); }

u64 Timer::Elapsed() const { return Now() - start_; }

bool Timer::CheckPeriod(u64 period) {
    const u64 now = Now();
    // Signed distances: the clock may have gone back, and an unsigned difference would
    // make every check succeed.
    const i64 ahead = static_cast<i64>(now - start_);
    const i64 behind = static_cast<i64>(start_ - now);
    const i64 p = static_cast<i64>(period);
    if (ahead >= p || behind >= p) {
        start_ = now;
        return true;
    }
    return false;
}

RangeValue::RangeValue(f32 value) : x0(value), w0(1.0f), x1(0.0f), w1(-1.0f), x2(0.0f), w2(-1.0f) {}

void RangeValue::Set(f32 a, f32 wa, f32 b, f32 wb) { SetAll(a, wa, b, wb, 0.0f, -1.0f); }

void RangeValue::SetAll(f32 a, f32 wa, f32 b, f32 wb, f32 c, f32 wc) {
    x0 = a;
    w0 = wa;
    x1 = b;
    w1 = wb;
    x2 = c;
    w2 = wc;
}

bool RangeValue::IsConstant() const { return w1 == -1.0f && w2 == -1.0f; }

double RangeValue::SampleSegment(f32 a, f32 wa, f32 b, f32 wb) const {
    const double r1 = Uniform();
    const double r2 = Uniform();
    if (std::fabs(wa - wb) < kEpsilon) return a + (b - a) * r1;
    // Rejection by mirroring: a candidate under the density line is kept, one above
    // it is reflected to the other end, which gives a linearly rising density.
    const double x = r2 * (b - a) + a;
    const double threshold = (wb + wa) * r1;
    const double divisor = wa < wb ? (b - a) : (a - b);
    if (divisor == 0.0) return a;
    const double y = std::fabs(wa - wb) / divisor * (x - a) + wa;
    return y <= threshold ? b + a - x : x;
}

double RangeValue::Sample() const {
    if (w1 == -1.0f) return x0;
    if (w2 != -1.0f) {
        const double area1 = (x1 - x0) * (w1 + w0);
        const double total = (x2 - x1) * (w2 + w1) + area1;
        if (total < kEpsilon) return x0;
        const double u = Uniform();
        if (area1 / total <= u) return SampleSegment(x1, w1, x2, w2);
        return SampleSegment(x0, w0, x1, w1);
    }
    return SampleSegment(x0, w0, x1, w1);
}

void TimedRange::Restart() {
    period = -1.0f;
    phase = 0.0f;
    start = Timer::Now();
}

bool TimedRange::NextDue(u64 time, u64* eventTime) {
    if (period == -1.0f) period = static_cast<f32>(range.Sample());
    if (period == 0.0f) {
        period = -1.0f;  // draw anew next time; a zero period would never advance
        return false;
    }
    // A negative period would make the loop run backwards forever; treat it as no event.
    if (period < 0.0f) return false;
    // Start moves to each event's whole millisecond and the phase keeps only the fraction
    // left over, so no float ever holds more than a period's milliseconds.
    const double ahead = static_cast<double>(period) + phase;
    const i64 whole = TruncateMs(ahead);
    const u64 due = start + static_cast<u64>(whole);
    if (time < due) return false;
    start = due;
    phase = static_cast<f32>(ahead - static_cast<double>(whole));
    *eventTime = due;
    period = static_cast<f32>(range.Sample());
    return true;
}

void TimedRange::JumpTo(u64 time) {
    if (time <= start) return;
    start = time;
    phase = 0.0f;
}
