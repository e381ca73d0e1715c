// NSTimer (declared with the run loop that fires it).
#include "platform/runloop/NSRunLoop.h"

#include <cmath>
#include <limits>

#include "platform/foundation/Clock.h"

NSTimer::NSTimer(double interval, Block block, bool repeats)
    : interval_(interval <= 0 ? 0.0001 : interval), repeats_(repeats), block_(std::move(block)),
      fireDate_(Clock::now() + interval_) {}

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
    double next = fireDate_ + interval_;
    if (next <= now) next += interval_ * std::ceil((now - next) / interval_ + 1e-9);
    // Rounding must not leave it due again in the same pass.
    if (!(next > now)) next = std::nextafter(now, std::numeric_limits<double>::infinity());
    fireDate_ = next;
}
