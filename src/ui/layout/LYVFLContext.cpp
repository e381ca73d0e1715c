#include "ui/layout/LYVFLContext.h"

#include "platform/foundation/ThreadAssertions.h"

std::optional<std::string> LYVFLContext::format() const {
    std::lock_guard lock(mutex_);
    return format_;
}

void LYVFLContext::setFormat(std::optional<std::string> format) {
    std::lock_guard lock(mutex_);
    format_ = std::move(format);
}

std::optional<LYVFLContext::Views> LYVFLContext::views() const {
    std::lock_guard lock(mutex_);
    return views_;
}

void LYVFLContext::setViews(std::optional<Views> views) {
    std::lock_guard lock(mutex_);
    views_.swap(views);  // the views let go are released outside the lock
}

std::optional<LYVFLContext::Metrics> LYVFLContext::metrics() const {
    std::lock_guard lock(mutex_);
    return metrics_;
}

void LYVFLContext::setMetrics(std::optional<Metrics> metrics) {
    std::lock_guard lock(mutex_);
    metrics_ = std::move(metrics);
}

std::shared_ptr<LYVFLContext> LYVFLContext::copy() const {
    auto other = std::make_shared<LYVFLContext>();
    other->setFormat(format());
    other->setViews(views());
    other->setMetrics(metrics());
    other->setAlignmentOptions(alignmentOptions_);
    other->setDirectionOptions(directionOptions_);
    return other;
}

NSLayoutFormatOptions LYVFLContext::currentOptions() const {
    NSLayoutFormatOptions options = alignmentOptions_ == alignmentNotChosen ? 0 : alignmentOptions_;
    if (directionOptions_ != directionNotChosen) options |= directionOptions_;
    return options;
}

std::vector<std::shared_ptr<NSLayoutConstraint>> LYVFLContext::buildConstraints() const {
    QV_ASSERT_MAIN_THREAD();
    return NSLayoutConstraint::constraintsWithVisualFormat(format().value_or(""), currentOptions(),
                                                           metrics().value_or(Metrics{}), views().value_or(Views{}));
}
