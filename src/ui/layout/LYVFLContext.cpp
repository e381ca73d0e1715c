#include "ui/layout/LYVFLContext.h"

#include "platform/base/ThreadAssertions.h"

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
