#include "ui/layout/LYVFLLayout.h"

LYVFLLayout::LYVFLLayout() : context_(std::make_shared<LYVFLContext>()) {}

std::shared_ptr<_LYDirectionOptionSelect> LYVFLLayout::alignmentOptionPart(NSLayoutFormatOptions options) {
    context()->setAlignmentOptions(options);
    return self<LYVFLLayout>();
}

std::shared_ptr<_LYDirectionOptionSelect> LYVFLLayout::alignAllLeft() {
    return alignmentOptionPart(NSLayoutFormatAlignAllLeft);
}
std::shared_ptr<_LYDirectionOptionSelect> LYVFLLayout::alignAllRight() {
    return alignmentOptionPart(NSLayoutFormatAlignAllRight);
}
std::shared_ptr<_LYDirectionOptionSelect> LYVFLLayout::alignAllLeftAndRight() {
    return alignmentOptionPart(NSLayoutFormatAlignAllLeft | NSLayoutFormatAlignAllRight);
}
std::shared_ptr<_LYDirectionOptionSelect> LYVFLLayout::alignAllTop() {
    return alignmentOptionPart(NSLayoutFormatAlignAllTop);
}
std::shared_ptr<_LYDirectionOptionSelect> LYVFLLayout::alignAllBottom() {
    return alignmentOptionPart(NSLayoutFormatAlignAllBottom);
}
std::shared_ptr<_LYDirectionOptionSelect> LYVFLLayout::alignAllTopAndBottom() {
    return alignmentOptionPart(NSLayoutFormatAlignAllTop | NSLayoutFormatAlignAllBottom);
}
std::shared_ptr<_LYDirectionOptionSelect> LYVFLLayout::alignAllLeading() {
    return alignmentOptionPart(NSLayoutFormatAlignAllLeading);
}
std::shared_ptr<_LYDirectionOptionSelect> LYVFLLayout::alignAllTrailing() {
    return alignmentOptionPart(NSLayoutFormatAlignAllTrailing);
}
std::shared_ptr<_LYDirectionOptionSelect> LYVFLLayout::alignAllLeadingAndTrailing() {
    return alignmentOptionPart(NSLayoutFormatAlignAllLeading | NSLayoutFormatAlignAllTrailing);
}
std::shared_ptr<_LYDirectionOptionSelect> LYVFLLayout::alignAllCenterX() {
    return alignmentOptionPart(NSLayoutFormatAlignAllCenterX);
}
std::shared_ptr<_LYDirectionOptionSelect> LYVFLLayout::alignAllCenterY() {
    return alignmentOptionPart(NSLayoutFormatAlignAllCenterY);
}
std::shared_ptr<_LYDirectionOptionSelect> LYVFLLayout::alignAllBaseline() {
    return alignmentOptionPart(NSLayoutFormatAlignAllBaseline);
}

std::shared_ptr<_LYViewsPart> LYVFLLayout::directionOptionPart(NSLayoutFormatOptions options) {
    context()->setDirectionOptions(options);
    return self<LYVFLLayout>();
}

std::shared_ptr<_LYViewsPart> LYVFLLayout::fromLeadingToTrailing() {
    return directionOptionPart(NSLayoutFormatDirectionLeadingToTrailing);
}
std::shared_ptr<_LYViewsPart> LYVFLLayout::fromLeftToRight() {
    return directionOptionPart(NSLayoutFormatDirectionLeftToRight);
}
std::shared_ptr<_LYViewsPart> LYVFLLayout::fromRightToLeft() {
    return directionOptionPart(NSLayoutFormatDirectionRightToLeft);
}

std::shared_ptr<_LYMetricsPart> LYVFLLayout::withViews(const NSLayoutConstraint::Views& views) {
    context()->setViews(views);
    return self<LYVFLLayout>();
}

std::shared_ptr<_LYArrayConstrainable> LYVFLLayout::metrics(const NSLayoutConstraint::Metrics& metrics) {
    context()->setMetrics(metrics);
    return self<LYVFLLayout>();
}

std::vector<std::shared_ptr<NSLayoutConstraint>> LYVFLLayout::asArray() { return context()->buildConstraints(); }
