#pragma once
// A readable chain that builds one layout constraint:
//
//     auto c = layoutLeadingOf(grid)->equalTo()->leadingOf(superview)->multipliedTo(1)->plus(8)->asConstraint();
//     superview->addConstraint(c);                   // grid.leading == superview.leading * 1 + 8
//     banner->addConstraint(layoutHeightOf(banner)->equalTo()->constant(50)->asConstraint());
//
// A chain starts with one of the five starting functions below (there are none
// for left, right, bottom, centre or baseline), which set the left view and
// attribute with multiplier 0.0 and constant 0.0 (relation equal, priority 1000).
// The steps then fill the builder's LYConstraintContext and return the builder
// itself, typed as the next stage (LYLayoutStages.h); asConstraint checks the
// parts and builds the constraint, raising the named exceptions of
// LYConstraintContext.h. The constraint belongs to the caller, who adds it to a view.
//
// A right-hand view step sets the view, its attribute and the multiplier 1.0;
// `constant` sets only the constant, for a constraint against a fixed value
// (its multiplier must stay 0). Main thread only, like the layout code using it.
#include <functional>
#include <memory>

#include "platform/foundation/NSObject.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "ui/layout/LYAtomicProperty.h"
#include "ui/layout/LYConstraintContext.h"
#include "ui/layout/LYLayoutStages.h"

class LYLayout : public NSObject,
                 public _LYRelationSelect,
                 public _LYLocationRelationSelect,
                 public LYRelationPartStage,
                 public _LYRightHandPart {
public:
    using ViewPtr = std::shared_ptr<UIView>;
    using RightHandBlock = std::function<std::shared_ptr<_LYRightHandPart>(const ViewPtr& view)>;

    // Makes its own context.
    LYLayout();

    // The parts collected so far; owned by the builder.
    std::shared_ptr<LYConstraintContext> context() const { return context_.get(); }
    // A builder always has a context: none given means a fresh one.
    void setContext(std::shared_ptr<LYConstraintContext> context) {
        context_.set(context ? std::move(context) : std::make_shared<LYConstraintContext>());
    }

    // RelationSelect: relation 0, 1 and -1.
    std::shared_ptr<LYRelationPartStage> equalTo() override;
    std::shared_ptr<LYRelationPartStage> moreThan() override;
    std::shared_ptr<LYRelationPartStage> lessThan() override;

    // RelationPart: attributes 7 and 8, or a fixed value.
    std::shared_ptr<_LYRightHandPart> widthOf(const ViewPtr& view) override;
    std::shared_ptr<_LYRightHandPart> heightOf(const ViewPtr& view) override;
    std::shared_ptr<_LYConstantPart> constant(double value) override;
    // Attributes 1 to 6, 9, 10 and 11.
    std::shared_ptr<_LYRightHandPart> leftOf(const ViewPtr& view) override;
    std::shared_ptr<_LYRightHandPart> rightOf(const ViewPtr& view) override;
    std::shared_ptr<_LYRightHandPart> topOf(const ViewPtr& view) override;
    std::shared_ptr<_LYRightHandPart> bottomOf(const ViewPtr& view) override;
    std::shared_ptr<_LYRightHandPart> leadingOf(const ViewPtr& view) override;
    std::shared_ptr<_LYRightHandPart> trailingOf(const ViewPtr& view) override;
    std::shared_ptr<_LYRightHandPart> centerXOf(const ViewPtr& view) override;
    std::shared_ptr<_LYRightHandPart> centerYOf(const ViewPtr& view) override;
    std::shared_ptr<_LYRightHandPart> baselineOf(const ViewPtr& view) override;
    // The shared maker of the right-hand view steps: a callback that sets the
    // right view, the attribute and the multiplier 1.0 and returns the builder.
    RightHandBlock rightHandBlockWithAttribute(NSLayoutAttribute attribute);

    // RightHandPart.
    std::shared_ptr<_LYMultiplierPart> multipliedTo(double multiplier) override;
    // MultiplierPart.
    std::shared_ptr<_LYConstantPart> plus(double constant) override;
    std::shared_ptr<_LYConstantPart> minus(double constant) override;
    // ConstantPart.
    std::shared_ptr<_LYConstrainable> withPriority(float priority) override;
    // Constrainable: the context's buildConstraint.
    [[nodiscard]] std::shared_ptr<NSLayoutConstraint> asConstraint() override;

private:
    std::shared_ptr<LYLayout> withRelation(NSLayoutRelation relation);

    LYAtomicProperty<std::shared_ptr<LYConstraintContext>> context_;
};

// The starting functions: a new builder on the view's top (3), leading (5),
// trailing (6), width (7) or height (8).
std::shared_ptr<LYLayout> layoutTopOf(const std::shared_ptr<UIView>& view);
std::shared_ptr<LYLayout> layoutLeadingOf(const std::shared_ptr<UIView>& view);
std::shared_ptr<LYLayout> layoutTrailingOf(const std::shared_ptr<UIView>& view);
std::shared_ptr<LYLayout> layoutWidthOf(const std::shared_ptr<UIView>& view);
std::shared_ptr<LYLayout> layoutHeightOf(const std::shared_ptr<UIView>& view);
