#pragma once
// A group of constraint builders turned into one constraint list:
//
//     auto group = std::make_shared<LYGroupImpl>();
//     group->setArray({existingConstraints, oneConstraint, layoutWidthOf(v)->equalTo()->constant(40), vflLayout});
//     auto list = group->fromLeftToRight()->withViews(views)->withMetrics(metrics)->asArray();
//
// Members are taken in order: an array of constraints adds all of them, a
// constraint adds itself, a LYLayout adds its built constraint (raising its
// named exceptions), a LYVFLLayout adds its built list, and anything else is
// skipped. A visual-format member is built from a copy of its context into
// which the group was merged (applyGroupContext): the group's views and
// metrics overlaid with the member's own (the member's entry wins), and the
// group's direction when the member chose none. The member itself is left as
// it was, so building again, or in another group, starts from the same parts.
// There is no starting function. Main thread only.
#include <memory>
#include <variant>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "ui/layout/LYAtomicProperty.h"
#include "ui/layout/LYGroupContext.h"
#include "ui/layout/LYVFLContext.h"

class _LYGroupProtocol;

class _LYGroupDirectionChooseProtocol {
public:
    virtual ~_LYGroupDirectionChooseProtocol() = default;
    virtual std::shared_ptr<_LYGroupProtocol> fromLeadingToTrailing() = 0;
    virtual std::shared_ptr<_LYGroupProtocol> fromLeftToRight() = 0;
    virtual std::shared_ptr<_LYGroupProtocol> fromRightToLeft() = 0;
};

class _LYGroupArrayConversionProtocol {
public:
    virtual ~_LYGroupArrayConversionProtocol() = default;
    [[nodiscard]] virtual std::vector<std::shared_ptr<NSLayoutConstraint>> asArray() = 0;
};

class _LYGroupWithViewsProtocol {
public:
    virtual ~_LYGroupWithViewsProtocol() = default;
    virtual std::shared_ptr<_LYGroupProtocol> withViews(const NSLayoutConstraint::Views& views) = 0;
};

class _LYGroupWithMetricsProtocol {
public:
    virtual ~_LYGroupWithMetricsProtocol() = default;
    virtual std::shared_ptr<_LYGroupProtocol> withMetrics(const NSLayoutConstraint::Metrics& metrics) = 0;
};

class _LYGroupProtocol : public _LYGroupDirectionChooseProtocol,
                         public _LYGroupArrayConversionProtocol,
                         public _LYGroupWithViewsProtocol,
                         public _LYGroupWithMetricsProtocol {};

class LYGroupImpl : public NSObject, public _LYGroupProtocol {
public:
    using Constraints = std::vector<std::shared_ptr<NSLayoutConstraint>>;
    // An array of constraints, or an object: a constraint, a LYLayout, a
    // LYVFLLayout (anything else is skipped).
    using Member = std::variant<Constraints, std::shared_ptr<NSObject>>;

    // Makes its own context.
    LYGroupImpl();

    std::shared_ptr<LYGroupContext> context() const { return context_.get(); }
    // A builder always has a context: none given means a fresh one.
    void setContext(std::shared_ptr<LYGroupContext> context) {
        context_.set(context ? std::move(context) : std::make_shared<LYGroupContext>());
    }
    // The members, kept as a copy of the list given.
    std::vector<Member> array() const { return array_.get(); }
    void setArray(std::vector<Member> array) { array_.set(std::move(array)); }

    // Direction 0, 0x10000 and 0x20000.
    std::shared_ptr<_LYGroupProtocol> fromLeadingToTrailing() override;
    std::shared_ptr<_LYGroupProtocol> fromLeftToRight() override;
    std::shared_ptr<_LYGroupProtocol> fromRightToLeft() override;
    std::shared_ptr<_LYGroupProtocol> applyDirection(NSLayoutFormatOptions direction);
    std::shared_ptr<_LYGroupProtocol> withViews(const NSLayoutConstraint::Views& views) override;
    std::shared_ptr<_LYGroupProtocol> withMetrics(const NSLayoutConstraint::Metrics& metrics) override;

    // The members' constraints in order (see above).
    [[nodiscard]] Constraints asArray() override;

    // Merges the group into a visual-format context: views and metrics
    // overlaid (the member's entries win), the direction when the member chose none.
    static void applyGroupContext(const LYGroupContext& groupContext, LYVFLContext& toVFLContxt);

private:
    LYAtomicProperty<std::shared_ptr<LYGroupContext>> context_;
    LYAtomicProperty<std::vector<Member>> array_;
};
