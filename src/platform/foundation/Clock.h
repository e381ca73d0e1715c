#pragma once
// The one source of time. Real time by default; tests of timing logic switch to
// virtual time and advance it. Every waiter that sleeps until a Clock time
// (run loops, delayed dispatches, timed waits) is woken when virtual time moves.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

// Time is kept in whole nanoseconds, so that virtual steps add up exactly: a
// clock advanced by a delay in any pieces reaches the date that delay names.
// A date held in double seconds (about 1.8e9 today) is exact to a few hundred
// nanoseconds only, so whether the clock reached a date is asked of reached(),
// which allows for that rounding; every waiter on a Clock date goes through it.
class Clock {
public:
    // Seconds since 1970 (the real clock is monotonic within the process).
    static double now();
    // The same instant in nanoseconds since 1970, exact under virtual time.
    static std::int64_t nanoseconds();
    static double secondsFor(std::int64_t nanoseconds);
    // Rounded to the nearest; beyond 9e9 s (about 285 years) either way, which
    // means never, it saturates. later() adds nanoseconds, saturating likewise.
    static std::int64_t nanosecondsFor(double seconds);
    static std::int64_t later(std::int64_t nanoseconds, std::int64_t by);
    static bool isVirtual();
    static void useVirtualTime(double start = 0);  // 0: start at the current real time
    static void useRealTime();
    static void advance(double seconds);  // virtual time only; the step is rounded to a nanosecond

    // Whether the clock reached `deadline` (a Clock time), when it stood at `at`.
    // Early by no more than kDeadlineSlack, the rounding of dates in double seconds.
    static constexpr double kDeadlineSlack = 5e-7;
    static bool reached(double deadline, double at) { return at >= deadline - kDeadlineSlack; }
    static bool reached(double deadline) { return reached(deadline, now()); }

    // Waiters register to be woken when virtual time advances.
    using ListenerId = std::uint64_t;
    static ListenerId addListener(std::function<void()> wake);
    static void removeListener(ListenerId id);

    // Waits on `cv` until `done()` holds or the Clock reaches `deadline` (a Clock
    // time; infinity waits forever). Returns done(). Under virtual time the wait
    // ends when the clock is advanced to the deadline.
    static bool waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, double deadline,
                          const std::function<bool()>& done);

    // Real seconds on the monotonic clock, for limits that must not follow virtual time.
    static double monotonic();
};
