#include "ui/layout/LYConstraintContext.h"

#include "platform/foundation/NSException.h"
#include "platform/base/ThreadAssertions.h"

std::shared_ptr<NSLayoutConstraint> LYConstraintContext::buildConstraint() const {
    QV_ASSERT_MAIN_THREAD();
    ViewPtr left = leftView(), right = rightView();
    if (!left) NSException::raise(LYLeftViewNotSet, "");
    if (leftAttribute_ == NSLayoutAttributeNotAnAttribute) NSException::raise(LYLeftViewAttributeNotSet, "");
    if (!right) {
        if (rightAttribute_ != NSLayoutAttributeNotAnAttribute)
            NSException::raise(LYRightViewIsNilButAttributeIsAttribute, "");
        if (rightAtttributeMultiplier_ != 0.0) NSException::raise(LYRightViewIsNilButAttributeMultiplierNotZero, "");
    } else {
        if (rightAttribute_ == NSLayoutAttributeNotAnAttribute)
            NSException::raise(LYRightViewAttributeIsNotAnAttribute, "");
        if (rightAtttributeMultiplier_ == 0.0) NSException::raise(LYRightViewAttributeMultiplierIsZero, "");
    }
    auto constraint = NSLayoutConstraint::constraintWithItem(left, leftAttribute_, relation_, right, rightAttribute_,
                                                             rightAtttributeMultiplier_, rightConstant_);
    constraint->setPriority(priority_);
    return constraint;
}
