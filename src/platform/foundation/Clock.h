#pragma once
// The one source of time. Real time by default; tests of timing logic switch to
// virtual time and advance it. Every waiter that sleeps until a Clock time
// (run loops, delayed dispatches, timed waits) is woken when virtual time moves.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

class Clock {
public:
    // Seconds since 1970 (the real clock is monotonic within the process).
    static double now();
    static bool isVirtual();
    static void useVirtualTime(double start = 0);  // 0: start at the current real time
    static void useRealTime();
    static void advance(double seconds);  // virtual time only

    // Waiters register to be woken when virtual time advances.
    using ListenerId = std::uint64_t;
    static ListenerId addListener(std::function<void()> wake);
    static void removeListener(ListenerId id);

    // Waits on `cv` until `done()` holds or the Clock reaches `deadline` (a Clock
    // time; infinity waits forever). Returns done(). Under virtual time the wait
    // ends when the clock is advanced past the deadline.
    static bool waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, double deadline,
                          const std::function<bool()>& done);

    // Real seconds on the monotonic clock, for limits that must not follow virtual time.
    static double monotonic();
};
