#pragma once
// The parts of one constraint under construction, collected by the steps of a
// LYLayout chain, and the checks that turn them into an NSLayoutConstraint.
//
// buildConstraint checks, in this order, and raises an NSException whose name
// is the text given (with an empty reason); nothing is built then:
//   no left view                                   "LeftViewNotSet"
//   left attribute 0                               "LeftViewAttributeNotSet"
//   no right view, right attribute not 0           "RightViewIsNilButAttributeIsAttribute"
//   no right view, multiplier not 0.0              "RightViewIsNilButAttributeMultiplierNotZero"
//   a right view, right attribute 0                "RightViewAttributeIsNotAnAttribute"
//   a right view, multiplier 0.0                   "RightViewAttributeMultiplierIsZero"
// Otherwise the platform makes the constraint (its own refusals, such as a
// location against a constant or a priority outside 1...1000, pass through as
// "NSInvalidArgumentException") and the priority is set on it. The constraint
// is returned without being added to any view: the caller adds it.
//
// The views are held strongly here (the constraint itself holds them weakly);
// the object-valued properties are read and written whole, from any thread.
// Building runs on the main thread.
#include <memory>

#include "platform/foundation/NSObject.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "ui/layout/LYAtomicProperty.h"

inline constexpr const char* LYLeftViewNotSet = "LeftViewNotSet";
inline constexpr const char* LYLeftViewAttributeNotSet = "LeftViewAttributeNotSet";
inline constexpr const char* LYRightViewIsNilButAttributeIsAttribute = "RightViewIsNilButAttributeIsAttribute";
inline constexpr const char* LYRightViewIsNilButAttributeMultiplierNotZero =
    "RightViewIsNilButAttributeMultiplierNotZero";
inline constexpr const char* LYRightViewAttributeIsNotAnAttribute = "RightViewAttributeIsNotAnAttribute";
inline constexpr const char* LYRightViewAttributeMultiplierIsZero = "RightViewAttributeMultiplierIsZero";

class LYConstraintContext : public NSObject {
public:
    using ViewPtr = std::shared_ptr<UIView>;

    // The first item; initially none.
    ViewPtr leftView() const { return leftView_.get(); }
    void setLeftView(ViewPtr view) { leftView_.set(std::move(view)); }
    // Initially 0, not an attribute.
    NSLayoutAttribute leftAttribute() const { return leftAttribute_; }
    void setLeftAttribute(NSLayoutAttribute attribute) { leftAttribute_ = attribute; }
    // -1 less than or equal, 0 equal, 1 greater than or equal; initially 0.
    NSLayoutRelation relation() const { return relation_; }
    void setRelation(NSLayoutRelation relation) { relation_ = relation; }
    // The second item; none for a constraint against a fixed value.
    ViewPtr rightView() const { return rightView_.get(); }
    void setRightView(ViewPtr view) { rightView_.set(std::move(view)); }
    // Initially 0, not an attribute.
    NSLayoutAttribute rightAttribute() const { return rightAttribute_; }
    void setRightAttribute(NSLayoutAttribute attribute) { rightAttribute_ = attribute; }
    // The multiplier (the name keeps its three t); initially 0.0.
    double rightAtttributeMultiplier() const { return rightAtttributeMultiplier_; }
    void setRightAtttributeMultiplier(double multiplier) { rightAtttributeMultiplier_ = multiplier; }
    // Initially 0.0.
    double rightConstant() const { return rightConstant_; }
    void setRightConstant(double constant) { rightConstant_ = constant; }
    // Initially 1000.
    float priority() const { return priority_; }
    void setPriority(float priority) { priority_ = priority; }

    // Checks the parts (see above) and makes the constraint.
    [[nodiscard]] std::shared_ptr<NSLayoutConstraint> buildConstraint() const;

private:
    LYAtomicProperty<ViewPtr> leftView_;
    LYAtomicProperty<ViewPtr> rightView_;
    NSLayoutAttribute leftAttribute_ = NSLayoutAttributeNotAnAttribute;
    NSLayoutRelation relation_ = NSLayoutRelationEqual;
    NSLayoutAttribute rightAttribute_ = NSLayoutAttributeNotAnAttribute;
    double rightAtttributeMultiplier_ = 0.0;
    double rightConstant_ = 0.0;
    float priority_ = 1000;
};
