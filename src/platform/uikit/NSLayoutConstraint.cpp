#include "platform/uikit/NSLayoutConstraint.h"

#include <cmath>
#include <cstdio>

#include "platform/uikit/UIView.h"

namespace {
constexpr const char* kInvalidArgument = "NSInvalidArgumentException";

[[noreturn]] void refuse(const std::string& reason) { throw LayoutConstraintException(kInvalidArgument, reason); }

enum class Kind { None, XLocation, YLocation, Size };
Kind kindOf(NSLayoutAttribute a) {
    switch (a) {
    case NSLayoutAttributeLeft:
    case NSLayoutAttributeRight:
    case NSLayoutAttributeLeading:
    case NSLayoutAttributeTrailing:
    case NSLayoutAttributeCenterX: return Kind::XLocation;
    case NSLayoutAttributeTop:
    case NSLayoutAttributeBottom:
    case NSLayoutAttributeCenterY:
    case NSLayoutAttributeBaseline: return Kind::YLocation;
    case NSLayoutAttributeWidth:
    case NSLayoutAttributeHeight: return Kind::Size;
    case NSLayoutAttributeNotAnAttribute: break;
    }
    return Kind::None;
}
bool isDirectional(NSLayoutAttribute a) { return a == NSLayoutAttributeLeading || a == NSLayoutAttributeTrailing; }
bool isAbsoluteX(NSLayoutAttribute a) { return a == NSLayoutAttributeLeft || a == NSLayoutAttributeRight; }
bool validAttribute(long a) { return a >= NSLayoutAttributeNotAnAttribute && a <= NSLayoutAttributeBaseline; }

std::shared_ptr<UIView> commonAncestor(const std::shared_ptr<UIView>& a, const std::shared_ptr<UIView>& b) {
    if (!b) return a;
    for (auto v = a; v; v = v->superview())
        if (b->isDescendantOfView(v.get())) return v;
    return nullptr;
}
}  // namespace

const char* NSStringFromLayoutAttribute(NSLayoutAttribute a) {
    static const char* const names[] = {"notAnAttribute", "left",  "right",  "top",     "bottom",  "leading",
                                        "trailing",       "width", "height", "centerX", "centerY", "baseline"};
    return validAttribute(a) ? names[a] : "invalid";
}

std::shared_ptr<NSLayoutConstraint> NSLayoutConstraint::constraintWithItem(const ViewPtr& view1, NSLayoutAttribute attr1,
                                                                           NSLayoutRelation relation,
                                                                           const ViewPtr& view2, NSLayoutAttribute attr2,
                                                                           CGFloat multiplier, CGFloat constant) {
    if (!view1) refuse("Constraint items must each be a view, and the first item must not be nil.");
    if (!validAttribute(attr1) || !validAttribute(attr2)) refuse("Unknown layout attribute.");
    if (relation < NSLayoutRelationLessThanOrEqual || relation > NSLayoutRelationGreaterThanOrEqual)
        refuse("Unknown layout relation.");
    if (attr1 == NSLayoutAttributeNotAnAttribute)
        refuse("The first attribute of a constraint must be an attribute, not NSLayoutAttributeNotAnAttribute.");
    if (!std::isfinite(multiplier)) refuse("A constraint's multiplier must be finite.");
    if (!std::isfinite(constant)) refuse("A constraint's constant must be finite.");
    Kind k1 = kindOf(attr1), k2 = kindOf(attr2);
    if (!view2) {
        if (attr2 != NSLayoutAttributeNotAnAttribute)
            refuse("A constraint with no second item must have NSLayoutAttributeNotAnAttribute as its second attribute.");
        if (k1 != Kind::Size)
            refuse(std::string("A constraint cannot be made between the ") + NSStringFromLayoutAttribute(attr1) +
                   " of an item and a constant: location attributes must be specified in pairs.");
    } else {
        if (attr2 == NSLayoutAttributeNotAnAttribute)
            refuse("A constraint with a second item must name an attribute of it.");
        if (multiplier == 0 && k1 != Kind::Size)
            refuse("A multiplier of 0 with a location for the first attribute makes a location equal to a constant.");
        if ((k1 == Kind::Size) != (k2 == Kind::Size))
            refuse(std::string("Invalid pairing of layout attributes: ") + NSStringFromLayoutAttribute(attr1) + " and " +
                   NSStringFromLayoutAttribute(attr2) + " (a size cannot be related to a location).");
        if (k1 != Kind::Size && k1 != k2)
            refuse(std::string("Invalid pairing of layout attributes: ") + NSStringFromLayoutAttribute(attr1) + " and " +
                   NSStringFromLayoutAttribute(attr2) + " lie on different axes.");
        if ((isDirectional(attr1) && isAbsoluteX(attr2)) || (isAbsoluteX(attr1) && isDirectional(attr2)))
            refuse("A constraint cannot be made between a leading/trailing attribute and a right/left attribute. Use "
                   "leading/trailing for both or neither.");
    }
    auto c = std::make_shared<NSLayoutConstraint>();
    c->firstItem_ = view1;
    c->secondItem_ = view2;
    c->firstAttribute_ = attr1;
    c->secondAttribute_ = attr2;
    c->relation_ = relation;
    c->multiplier_ = multiplier;
    c->constant_ = constant;
    return c;
}

void NSLayoutConstraint::setConstant(CGFloat constant) {
    if (!std::isfinite(constant)) refuse("A constraint's constant must be finite.");
    constant_ = constant;
    if (auto v = installedOn_.lock()) v->setNeedsLayout();
}

void NSLayoutConstraint::setPriority(UILayoutPriority priority) {
    if (!(priority >= 1 && priority <= UILayoutPriorityRequired))
        refuse("A constraint's priority must lie between 1 and 1000.");
    bool wasRequired = priority_ == UILayoutPriorityRequired, required = priority == UILayoutPriorityRequired;
    if (isActive() && wasRequired != required)
        throw LayoutConstraintException("NSInternalInconsistencyException",
                                        "Mutating a priority from required to not on an installed constraint (or "
                                        "vice-versa) is not supported.");
    priority_ = priority;
}

void NSLayoutConstraint::setActive(bool active) {
    if (active == isActive()) return;
    auto me = self<NSLayoutConstraint>();
    if (!active) {
        if (auto v = installedOn_.lock()) v->removeConstraint(me);
        return;
    }
    auto first = firstItem(), second = secondItem();
    if (!first) return;  // the item is gone: nothing to constrain
    auto host = commonAncestor(first, second);
    if (!host)
        throw LayoutConstraintException("NSGenericException",
                                        "Unable to activate constraint " + description() +
                                            " because its items have no common ancestor.");
    host->addConstraint(me);
}

void NSLayoutConstraint::activateConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
    for (auto& c : constraints) c->setActive(true);
}

void NSLayoutConstraint::deactivateConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
    for (auto& c : constraints) c->setActive(false);
}

std::string NSLayoutConstraint::description() const {
    auto name = [](const ViewPtr& v) {
        if (!v) return std::string("nil");
        char buf[64];
        std::snprintf(buf, sizeof buf, "%p", static_cast<const void*>(v.get()));
        return v->className() + ":" + buf;
    };
    static const char* const relations[] = {"<=", "==", ">="};
    std::string text = "<NSLayoutConstraint " + (identifier_.empty() ? "" : "'" + identifier_ + "' ") +
                       name(firstItem()) + "." + NSStringFromLayoutAttribute(firstAttribute_) + " " +
                       relations[relation_ + 1] + " ";
    char tail[96];
    if (auto second = secondItem()) {
        text += name(second) + "." + NSStringFromLayoutAttribute(secondAttribute_);
        std::snprintf(tail, sizeof tail, " * %g + %g", multiplier_, constant_);
    } else {
        std::snprintf(tail, sizeof tail, "%g", constant_);
    }
    text += tail;
    if (priority_ != UILayoutPriorityRequired) {
        std::snprintf(tail, sizeof tail, " @%g", double(priority_));
        text += tail;
    }
    return text + ">";
}
