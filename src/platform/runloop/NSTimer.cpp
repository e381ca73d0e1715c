// NSTimer (declared with the run loop that fires it).
#include "platform/runloop/NSRunLoop.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/foundation/Clock.h"

// A repeating timer waits at least 0.1 ms between firings, so it cannot spin; a one-shot timer
// of no interval is due at once (on the next pass of its run loop, even while virtual time stands).
NSTimer::NSTimer(double interval, Block block, bool repeats)
    : interval_(interval <= 0 ? 0.0001 : interval), repeats_(repeats), block_(std::move(block)),
      fireNanoseconds_(Clock::later(Clock::nanoseconds(),
                                    Clock::nanosecondsFor(interval <= 0 && !repeats ? 0 : interval_))) {
    fireDate_ = Clock::secondsFor(fireNanoseconds_);
}

std::shared_ptr<NSTimer> NSTimer::timerWithTimeInterval(double interval, Block block, bool repeats) {
    return std::make_shared<NSTimer>(interval, std::move(block), repeats);
}

std::shared_ptr<NSTimer> NSTimer::scheduledTimerWithTimeInterval(double interval, Block block, bool repeats) {
    auto t = timerWithTimeInterval(interval, std::move(block), repeats);
    NSRunLoop::currentRunLoop()->addTimer(t, NSDefaultRunLoopMode);
    return t;
}

void NSTimer::fire() {
    if (!valid_) return;
    auto keep = self<NSTimer>();
    Block b;
    {
        std::lock_guard lock(mutex_);
        b = block_;
    }
    if (b) b(*this);
    if (!repeats_) invalidate();
}

void NSTimer::invalidate() {
    if (!valid_.exchange(false)) return;
    Block released;
    std::shared_ptr<NSRunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        released = std::move(block_);  // drops what the block captured, outside the lock
        block_ = nullptr;
        loop = runLoop_.lock();
    }
    if (loop) loop->timerInvalidated(this);
}

double NSTimer::fireDate() const {
    std::lock_guard lock(mutex_);
    return fireDate_;
}

void NSTimer::setFireDate(double date) {
    std::shared_ptr<NSRunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        fireDate_ = date;
        if (std::isfinite(date)) fireNanoseconds_ = Clock::nanosecondsFor(date);
        loop = runLoop_.lock();
    }
    if (loop) loop->timerMoved(this);
}

void NSTimer::attach(const std::shared_ptr<NSRunLoop>& runLoop) {
    std::lock_guard lock(mutex_);
    runLoop_ = runLoop;
}

std::shared_ptr<NSRunLoop> NSTimer::runLoop() const {
    std::lock_guard lock(mutex_);
    return runLoop_.lock();
}

void NSTimer::advanceAfterFiring(double now) {
    std::lock_guard lock(mutex_);
    if (!std::isfinite(fireDate_)) return;  // no date (or never): stays so
    const std::int64_t step = std::max<std::int64_t>(1, Clock::nanosecondsFor(interval_));
    std::int64_t next = Clock::later(fireNanoseconds_, step);
    // Missed intervals are skipped (a date the clock reached is never near the limits).
    if (Clock::reached(Clock::secondsFor(next), now)) next += step * ((Clock::nanosecondsFor(now) - next) / step + 1);
    // Not due again in the same pass.
    while (Clock::reached(Clock::secondsFor(next), now) && next != std::numeric_limits<std::int64_t>::max())
        next = Clock::later(next, step);
    fireNanoseconds_ = next;
    fireDate_ = Clock::secondsFor(next);
}
