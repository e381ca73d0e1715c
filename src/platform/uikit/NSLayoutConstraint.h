#pragma once
// Layout constraints: "item1.attribute1 relation multiplier x item2.attribute2 +
// constant" with a priority, kept on views. This is the model only; solving
// constraints is left to the layout engine of the screens.
//
// Refusals throw LayoutConstraintException named "NSInvalidArgumentException":
// a missing first item, a first attribute that is not an attribute, a second
// item without an attribute (or an attribute without a second item), a location
// attribute (left ... baseline) against a constant, a multiplier of 0 with a
// location, location attributes of different axes, leading/trailing against
// left/right, a size against a location, non-finite multipliers or constants,
// and priorities outside 1...1000. Changing an installed constraint between
// required and optional is an "NSInternalInconsistencyException".
//
// The visual format follows the platform's grammar:
//   (H:|V:)? (| connection)? [view] (connection [view])* (connection |)?
//   connection: nothing (flush), "-" (standard space: 8 between views, 20 to
//   the superview) or -predicate- / -(predicate, ...)-
//   view: name, optionally with (predicate, ...) on its width (H) or height (V)
//   predicate: (==|<=|>=)? (number | metric name | view name) (@ priority)?
// Parse errors are "NSInvalidArgumentException" whose reason reads
// "Unable to parse constraint format: \n<what> \n<format> \n<spaces>^" with the
// caret under the offset, also given by position().
//
// Main thread only.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/LayoutConstraintException.h"

class UIView;

enum NSLayoutAttribute : long {
    NSLayoutAttributeNotAnAttribute = 0,
    NSLayoutAttributeLeft = 1,
    NSLayoutAttributeRight = 2,
    NSLayoutAttributeTop = 3,
    NSLayoutAttributeBottom = 4,
    NSLayoutAttributeLeading = 5,
    NSLayoutAttributeTrailing = 6,
    NSLayoutAttributeWidth = 7,
    NSLayoutAttributeHeight = 8,
    NSLayoutAttributeCenterX = 9,
    NSLayoutAttributeCenterY = 10,
    NSLayoutAttributeBaseline = 11,
};

enum NSLayoutRelation : long {
    NSLayoutRelationLessThanOrEqual = -1,
    NSLayoutRelationEqual = 0,
    NSLayoutRelationGreaterThanOrEqual = 1,
};

using UILayoutPriority = float;
inline constexpr UILayoutPriority UILayoutPriorityRequired = 1000;
inline constexpr UILayoutPriority UILayoutPriorityDefaultHigh = 750;
inline constexpr UILayoutPriority UILayoutPriorityDefaultLow = 250;
inline constexpr UILayoutPriority UILayoutPriorityFittingSizeLevel = 50;

using NSLayoutFormatOptions = unsigned long;
inline constexpr NSLayoutFormatOptions NSLayoutFormatAlignAllLeft = 1 << NSLayoutAttributeLeft;
inline constexpr NSLayoutFormatOptions NSLayoutFormatAlignAllRight = 1 << NSLayoutAttributeRight;
inline constexpr NSLayoutFormatOptions NSLayoutFormatAlignAllTop = 1 << NSLayoutAttributeTop;
inline constexpr NSLayoutFormatOptions NSLayoutFormatAlignAllBottom = 1 << NSLayoutAttributeBottom;
inline constexpr NSLayoutFormatOptions NSLayoutFormatAlignAllLeading = 1 << NSLayoutAttributeLeading;
inline constexpr NSLayoutFormatOptions NSLayoutFormatAlignAllTrailing = 1 << NSLayoutAttributeTrailing;
inline constexpr NSLayoutFormatOptions NSLayoutFormatAlignAllCenterX = 1 << NSLayoutAttributeCenterX;
inline constexpr NSLayoutFormatOptions NSLayoutFormatAlignAllCenterY = 1 << NSLayoutAttributeCenterY;
inline constexpr NSLayoutFormatOptions NSLayoutFormatAlignAllBaseline = 1 << NSLayoutAttributeBaseline;
inline constexpr NSLayoutFormatOptions NSLayoutFormatAlignmentMask = 0xFFFF;
inline constexpr NSLayoutFormatOptions NSLayoutFormatDirectionLeadingToTrailing = 0 << 16;
inline constexpr NSLayoutFormatOptions NSLayoutFormatDirectionLeftToRight = 1 << 16;
inline constexpr NSLayoutFormatOptions NSLayoutFormatDirectionRightToLeft = 2 << 16;
inline constexpr NSLayoutFormatOptions NSLayoutFormatDirectionMask = 0x3 << 16;

class NSLayoutConstraint : public NSObject {
public:
    using ViewPtr = std::shared_ptr<UIView>;
    using Views = std::map<std::string, ViewPtr>;
    using Metrics = std::map<std::string, CGFloat>;

    // Throws on the refusals listed above. The items are held weakly.
    static std::shared_ptr<NSLayoutConstraint> constraintWithItem(const ViewPtr& view1, NSLayoutAttribute attr1,
                                                                  NSLayoutRelation relation, const ViewPtr& view2,
                                                                  NSLayoutAttribute attr2, CGFloat multiplier,
                                                                  CGFloat constant);
    // Throws parse errors (with position) and option refusals.
    static std::vector<std::shared_ptr<NSLayoutConstraint>> constraintsWithVisualFormat(
        const std::string& format, NSLayoutFormatOptions options, const Metrics& metrics, const Views& views);

    // Activation installs the constraint on the items' nearest common ancestor
    // ("NSGenericException" when they have none).
    static void activateConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);
    static void deactivateConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);

    ViewPtr firstItem() const { return firstItem_.lock(); }
    ViewPtr secondItem() const { return secondItem_.lock(); }
    NSLayoutAttribute firstAttribute() const { return firstAttribute_; }
    NSLayoutAttribute secondAttribute() const { return secondAttribute_; }
    NSLayoutRelation relation() const { return relation_; }
    CGFloat multiplier() const { return multiplier_; }
    CGFloat constant() const { return constant_; }
    void setConstant(CGFloat constant);  // not finite: refused
    UILayoutPriority priority() const { return priority_; }
    void setPriority(UILayoutPriority priority);
    bool isActive() const { return !installedOn_.expired(); }
    void setActive(bool active);
    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
    // The view the constraint is installed on.
    ViewPtr installedOn() const { return installedOn_.lock(); }

    // "first.attribute relation second.attribute * multiplier + constant @priority".
    std::string description() const override;

private:
    friend class UIView;
    std::weak_ptr<UIView> firstItem_, secondItem_;
    NSLayoutAttribute firstAttribute_ = NSLayoutAttributeNotAnAttribute;
    NSLayoutAttribute secondAttribute_ = NSLayoutAttributeNotAnAttribute;
    NSLayoutRelation relation_ = NSLayoutRelationEqual;
    CGFloat multiplier_ = 1;
    CGFloat constant_ = 0;
    UILayoutPriority priority_ = UILayoutPriorityRequired;
    std::string identifier_;
    std::weak_ptr<UIView> installedOn_;
};

const char* NSStringFromLayoutAttribute(NSLayoutAttribute attribute);
