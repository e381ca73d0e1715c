#include "platform/foundation/Clock.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>

#include "platform/foundation/ProcessLifetime.h"

namespace {

struct ClockState {
    std::mutex mutex;
    std::atomic<bool> virtualTime{false};
    std::int64_t virtualNow = 0;  // nanoseconds
    std::map<Clock::ListenerId, std::function<void()>> listeners;
    Clock::ListenerId nextId = 1;
    std::int64_t wallAtStart;  // nanoseconds
    std::chrono::steady_clock::time_point steadyAtStart;
    ClockState() {
        wallAtStart = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
        steadyAtStart = std::chrono::steady_clock::now();
    }
};

ClockState& state() {
    static ProcessLifetime<ClockState> s;
    return *s;
}

std::int64_t realNow() {
    auto& s = state();
    return s.wallAtStart +
           std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - s.steadyAtStart).count();
}

constexpr std::int64_t kNanosPerSecond = 1000000000;

void wakeAll() {
    std::map<Clock::ListenerId, std::function<void()>> copy;
    {
        std::lock_guard lock(state().mutex);
        copy = state().listeners;
    }
    for (auto& [id, wake] : copy) wake();
}

}  // namespace

double Clock::monotonic() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Clock::now() { return secondsFor(nanoseconds()); }

std::int64_t Clock::nanoseconds() {
    auto& s = state();
    if (!s.virtualTime.load()) return realNow();
    std::lock_guard lock(s.mutex);
    return s.virtualNow;
}

// Whole seconds and the fraction apart, so that equal instants give equal doubles
// and the only rounding is the last one.
double Clock::secondsFor(std::int64_t nanoseconds) {
    const std::int64_t whole = nanoseconds / kNanosPerSecond;
    return static_cast<double>(whole) + static_cast<double>(nanoseconds - whole * kNanosPerSecond) / 1e9;
}

std::int64_t Clock::nanosecondsFor(double seconds) {
    if (std::isnan(seconds)) return 0;
    constexpr double kLimit = 9e9;  // about 285 years: beyond, a time or an interval means never
    const double whole = std::trunc(std::clamp(seconds, -kLimit, kLimit));
    const double fraction = std::abs(whole) < kLimit ? seconds - whole : 0;
    return static_cast<std::int64_t>(whole) * kNanosPerSecond + std::llround(fraction * 1e9);
}

std::int64_t Clock::later(std::int64_t nanoseconds, std::int64_t by) {
    std::int64_t sum;
    if (!__builtin_add_overflow(nanoseconds, by, &sum)) return sum;
    return by > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

bool Clock::isVirtual() { return state().virtualTime.load(); }

void Clock::useVirtualTime(double start) {
    auto& s = state();
    {
        std::lock_guard lock(s.mutex);
        s.virtualNow = start == 0 ? realNow() : nanosecondsFor(start);
        s.virtualTime = true;
    }
    wakeAll();
}

void Clock::useRealTime() {
    state().virtualTime = false;
    wakeAll();
}

void Clock::advance(double seconds) {
    auto& s = state();
    {
        std::lock_guard lock(s.mutex);
        if (!s.virtualTime.load()) throw std::logic_error("Clock::advance needs virtual time");
        s.virtualNow = later(s.virtualNow, nanosecondsFor(seconds));
    }
    wakeAll();
}

Clock::ListenerId Clock::addListener(std::function<void()> wake) {
    std::lock_guard lock(state().mutex);
    auto id = state().nextId++;
    state().listeners.emplace(id, std::move(wake));
    return id;
}

void Clock::removeListener(ListenerId id) {
    std::lock_guard lock(state().mutex);
    state().listeners.erase(id);
}

bool Clock::waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, double deadline,
                      const std::function<bool()>& done) {
    while (!done()) {
        double t = now();
        if (reached(deadline, t)) return done();
        if (isVirtual() || std::isinf(deadline)) {
            // Woken by notify or by a listener when virtual time moves; the bounded
            // slice also covers a switch between real and virtual time.
            cv.wait_for(lock, std::chrono::milliseconds(50));
        } else {
            double wait = std::min(deadline - t, 0.05);
            cv.wait_for(lock, std::chrono::duration<double>(wait));
        }
    }
    return true;
}
