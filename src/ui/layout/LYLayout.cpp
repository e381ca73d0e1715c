#include "ui/layout/LYLayout.h"

namespace {
// Makes a builder, sets the left view and attribute, and clears the multiplier
// and the constant (the relation stays equal, the priority 1000).
std::shared_ptr<LYLayout> layoutAttributeOf(const std::shared_ptr<UIView>& view, NSLayoutAttribute attribute) {
    auto layout = std::make_shared<LYLayout>();
    auto context = layout->context();
    context->setLeftView(view);
    context->setLeftAttribute(attribute);
    context->setRightAtttributeMultiplier(0.0);
    context->setRightConstant(0.0);
    return layout;
}
}  // namespace

std::shared_ptr<LYLayout> layoutTopOf(const std::shared_ptr<UIView>& view) {
    return layoutAttributeOf(view, NSLayoutAttributeTop);
}
std::shared_ptr<LYLayout> layoutLeadingOf(const std::shared_ptr<UIView>& view) {
    return layoutAttributeOf(view, NSLayoutAttributeLeading);
}
std::shared_ptr<LYLayout> layoutTrailingOf(const std::shared_ptr<UIView>& view) {
    return layoutAttributeOf(view, NSLayoutAttributeTrailing);
}
std::shared_ptr<LYLayout> layoutWidthOf(const std::shared_ptr<UIView>& view) {
    return layoutAttributeOf(view, NSLayoutAttributeWidth);
}
std::shared_ptr<LYLayout> layoutHeightOf(const std::shared_ptr<UIView>& view) {
    return layoutAttributeOf(view, NSLayoutAttributeHeight);
}

LYLayout::LYLayout() : context_(std::make_shared<LYConstraintContext>()) {}

std::shared_ptr<LYLayout> LYLayout::withRelation(NSLayoutRelation relation) {
    context()->setRelation(relation);
    return self<LYLayout>();
}

std::shared_ptr<LYRelationPartStage> LYLayout::equalTo() { return withRelation(NSLayoutRelationEqual); }
std::shared_ptr<LYRelationPartStage> LYLayout::moreThan() { return withRelation(NSLayoutRelationGreaterThanOrEqual); }
std::shared_ptr<LYRelationPartStage> LYLayout::lessThan() { return withRelation(NSLayoutRelationLessThanOrEqual); }

LYLayout::RightHandBlock LYLayout::rightHandBlockWithAttribute(NSLayoutAttribute attribute) {
    return [self = self<LYLayout>(), attribute](const ViewPtr& view) -> std::shared_ptr<_LYRightHandPart> {
        auto context = self->context();
        context->setRightView(view);
        context->setRightAttribute(attribute);
        context->setRightAtttributeMultiplier(1.0);
        return self;
    };
}

std::shared_ptr<_LYRightHandPart> LYLayout::leftOf(const ViewPtr& view) {
    return rightHandBlockWithAttribute(NSLayoutAttributeLeft)(view);
}
std::shared_ptr<_LYRightHandPart> LYLayout::rightOf(const ViewPtr& view) {
    return rightHandBlockWithAttribute(NSLayoutAttributeRight)(view);
}
std::shared_ptr<_LYRightHandPart> LYLayout::topOf(const ViewPtr& view) {
    return rightHandBlockWithAttribute(NSLayoutAttributeTop)(view);
}
std::shared_ptr<_LYRightHandPart> LYLayout::bottomOf(const ViewPtr& view) {
    return rightHandBlockWithAttribute(NSLayoutAttributeBottom)(view);
}
std::shared_ptr<_LYRightHandPart> LYLayout::leadingOf(const ViewPtr& view) {
    return rightHandBlockWithAttribute(NSLayoutAttributeLeading)(view);
}
std::shared_ptr<_LYRightHandPart> LYLayout::trailingOf(const ViewPtr& view) {
    return rightHandBlockWithAttribute(NSLayoutAttributeTrailing)(view);
}
std::shared_ptr<_LYRightHandPart> LYLayout::widthOf(const ViewPtr& view) {
    return rightHandBlockWithAttribute(NSLayoutAttributeWidth)(view);
}
std::shared_ptr<_LYRightHandPart> LYLayout::heightOf(const ViewPtr& view) {
    return rightHandBlockWithAttribute(NSLayoutAttributeHeight)(view);
}
std::shared_ptr<_LYRightHandPart> LYLayout::centerXOf(const ViewPtr& view) {
    return rightHandBlockWithAttribute(NSLayoutAttributeCenterX)(view);
}
std::shared_ptr<_LYRightHandPart> LYLayout::centerYOf(const ViewPtr& view) {
    return rightHandBlockWithAttribute(NSLayoutAttributeCenterY)(view);
}
std::shared_ptr<_LYRightHandPart> LYLayout::baselineOf(const ViewPtr& view) {
    return rightHandBlockWithAttribute(NSLayoutAttributeBaseline)(view);
}

std::shared_ptr<_LYConstantPart> LYLayout::constant(double value) {
    context()->setRightConstant(value);
    return self<LYLayout>();
}

std::shared_ptr<_LYMultiplierPart> LYLayout::multipliedTo(double multiplier) {
    context()->setRightAtttributeMultiplier(multiplier);
    return self<LYLayout>();
}

std::shared_ptr<_LYConstantPart> LYLayout::plus(double constant) {
    context()->setRightConstant(constant);
    return self<LYLayout>();
}

std::shared_ptr<_LYConstantPart> LYLayout::minus(double constant) {
    context()->setRightConstant(-constant);
    return self<LYLayout>();
}

std::shared_ptr<_LYConstrainable> LYLayout::withPriority(float priority) {
    context()->setPriority(priority);
    return self<LYLayout>();
}

std::shared_ptr<NSLayoutConstraint> LYLayout::asConstraint() { return context()->buildConstraint(); }
