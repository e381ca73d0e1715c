#include "platform/foundation/NSProgress.h"

std::shared_ptr<NSProgress> NSProgress::progressWithTotalUnitCount(std::int64_t total) {
    return std::make_shared<NSProgress>(total);
}

double NSProgress::fraction(std::int64_t total, std::int64_t completed) {
    return total > 0 ? static_cast<double>(completed) / static_cast<double>(total) : 0.0;
}

std::int64_t NSProgress::totalUnitCount() const {
    std::lock_guard lock(mutex_);
    return total_;
}

std::int64_t NSProgress::completedUnitCount() const {
    std::lock_guard lock(mutex_);
    return completed_;
}

double NSProgress::fractionCompleted() const {
    std::lock_guard lock(mutex_);
    return fraction(total_, completed_);
}

bool NSProgress::isIndeterminate() const {
    std::lock_guard lock(mutex_);
    return total_ <= 0;
}

void NSProgress::setTotalUnitCount(std::int64_t total) { changeCounts(total, completedUnitCount()); }

void NSProgress::setCompletedUnitCount(std::int64_t completed) { changeCounts(totalUnitCount(), completed); }

void NSProgress::changeCounts(std::int64_t total, std::int64_t completed) {
    bool totalChanged, completedChanged, fractionChanged;
    {
        std::lock_guard lock(mutex_);
        totalChanged = total != total_;
        completedChanged = completed != completed_;
        fractionChanged = fraction(total, completed) != fraction(total_, completed_);
        total_ = total;
        completed_ = completed;
    }
    // Told after the change, outside the lock: observers may read the progress.
    if (totalChanged) didChangeValueForKey("totalUnitCount");
    if (completedChanged) didChangeValueForKey("completedUnitCount");
    if (fractionChanged) didChangeValueForKey("fractionCompleted");
}

bool NSProgress::isCancellable() const {
    std::lock_guard lock(mutex_);
    return cancellable_;
}

void NSProgress::setCancellable(bool cancellable) {
    std::lock_guard lock(mutex_);
    cancellable_ = cancellable;
}

bool NSProgress::isPausable() const {
    std::lock_guard lock(mutex_);
    return pausable_;
}

void NSProgress::setPausable(bool pausable) {
    std::lock_guard lock(mutex_);
    pausable_ = pausable;
}

bool NSProgress::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool NSProgress::isPaused() const {
    std::lock_guard lock(mutex_);
    return paused_;
}

void NSProgress::setCancellationHandler(std::function<void()> handler) {
    bool now;
    {
        std::lock_guard lock(mutex_);
        cancellationHandler_ = handler;
        now = cancelled_;
    }
    if (now && handler) handler();
}

void NSProgress::setPausingHandler(std::function<void()> handler) {
    bool now;
    {
        std::lock_guard lock(mutex_);
        pausingHandler_ = handler;
        now = paused_;
    }
    if (now && handler) handler();
}

void NSProgress::setResumingHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    resumingHandler_ = std::move(handler);
}

void NSProgress::cancel() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) return;
        cancelled_ = true;
        handler = cancellationHandler_;
    }
    didChangeValueForKey("cancelled");
    if (handler) handler();
}

void NSProgress::pause() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (paused_ || cancelled_) return;
        paused_ = true;
        handler = pausingHandler_;
    }
    didChangeValueForKey("paused");
    if (handler) handler();
}

void NSProgress::resume() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (!paused_ || cancelled_) return;
        paused_ = false;
        handler = resumingHandler_;
    }
    didChangeValueForKey("paused");
    if (handler) handler();
}
