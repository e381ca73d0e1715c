#include "ui/layout/LYGroupContext.h"

std::optional<LYGroupContext::Views> LYGroupContext::views() const {
    std::lock_guard lock(mutex_);
    return views_;
}

void LYGroupContext::setViews(std::optional<Views> views) {
    std::lock_guard lock(mutex_);
    views_.swap(views);  // the views let go are released outside the lock
}

std::optional<LYGroupContext::Metrics> LYGroupContext::metrics() const {
    std::lock_guard lock(mutex_);
    return metrics_;
}

void LYGroupContext::setMetrics(std::optional<Metrics> metrics) {
    std::lock_guard lock(mutex_);
    metrics_ = std::move(metrics);
}
