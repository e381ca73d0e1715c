#pragma once
// The stages of a LYLayout chain: each tells what may follow the step before.
//
//   start (layoutLeadingOf ...)  -> _LYRelationSelect / _LYLocationRelationSelect
//     equalTo, moreThan, lessThan -> LYRelationPartStage (_LYRelationPart with _LYLocationRelationPart)
//       widthOf, heightOf, leftOf ... baselineOf (a view) -> _LYRightHandPart
//         multipliedTo (a multiplier)                     -> _LYMultiplierPart
//           plus, minus (a constant)                      -> _LYConstantPart
//       constant (a fixed value)                          -> _LYConstantPart
//             withPriority (a priority)                   -> _LYConstrainable
//               asConstraint                              -> the constraint
//
// Each stage offers its parent's steps too (_LYRightHandPart extends
// _LYMultiplierPart, which extends _LYConstantPart, which extends
// _LYConstrainable), so later steps may be left out. Every stage is the same
// LYLayout object, which answers every step.
#include <memory>

#include "platform/uikit/Forward.h"

class _LYConstrainable {
public:
    virtual ~_LYConstrainable() = default;
    [[nodiscard]] virtual std::shared_ptr<NSLayoutConstraint> asConstraint() = 0;
};

class _LYConstantPart : public _LYConstrainable {
public:
    virtual std::shared_ptr<_LYConstrainable> withPriority(float priority) = 0;
};

class _LYMultiplierPart : public _LYConstantPart {
public:
    // The constant replaces the one before; minus stores the negated value.
    virtual std::shared_ptr<_LYConstantPart> plus(double constant) = 0;
    virtual std::shared_ptr<_LYConstantPart> minus(double constant) = 0;
};

class _LYRightHandPart : public _LYMultiplierPart {
public:
    virtual std::shared_ptr<_LYMultiplierPart> multipliedTo(double multiplier) = 0;
};

// The right-hand size of a view, or a fixed value.
class _LYRelationPart {
public:
    virtual ~_LYRelationPart() = default;
    virtual std::shared_ptr<_LYRightHandPart> widthOf(const std::shared_ptr<UIView>& view) = 0;
    virtual std::shared_ptr<_LYRightHandPart> heightOf(const std::shared_ptr<UIView>& view) = 0;
    virtual std::shared_ptr<_LYConstantPart> constant(double value) = 0;
};

// The right-hand location of a view.
class _LYLocationRelationPart {
public:
    virtual ~_LYLocationRelationPart() = default;
    virtual std::shared_ptr<_LYRightHandPart> leftOf(const std::shared_ptr<UIView>& view) = 0;
    virtual std::shared_ptr<_LYRightHandPart> rightOf(const std::shared_ptr<UIView>& view) = 0;
    virtual std::shared_ptr<_LYRightHandPart> topOf(const std::shared_ptr<UIView>& view) = 0;
    virtual std::shared_ptr<_LYRightHandPart> bottomOf(const std::shared_ptr<UIView>& view) = 0;
    virtual std::shared_ptr<_LYRightHandPart> leadingOf(const std::shared_ptr<UIView>& view) = 0;
    virtual std::shared_ptr<_LYRightHandPart> trailingOf(const std::shared_ptr<UIView>& view) = 0;
    virtual std::shared_ptr<_LYRightHandPart> centerXOf(const std::shared_ptr<UIView>& view) = 0;
    virtual std::shared_ptr<_LYRightHandPart> centerYOf(const std::shared_ptr<UIView>& view) = 0;
    virtual std::shared_ptr<_LYRightHandPart> baselineOf(const std::shared_ptr<UIView>& view) = 0;
};

// What a relation step leads to: both right-hand stages at once.
class LYRelationPartStage : public _LYRelationPart, public _LYLocationRelationPart {};

class _LYRelationSelect {
public:
    virtual ~_LYRelationSelect() = default;
    virtual std::shared_ptr<LYRelationPartStage> equalTo() = 0;
    virtual std::shared_ptr<LYRelationPartStage> moreThan() = 0;
    virtual std::shared_ptr<LYRelationPartStage> lessThan() = 0;
};

class _LYLocationRelationSelect {
public:
    virtual ~_LYLocationRelationSelect() = default;
    virtual std::shared_ptr<LYRelationPartStage> equalTo() = 0;
    virtual std::shared_ptr<LYRelationPartStage> moreThan() = 0;
    virtual std::shared_ptr<LYRelationPartStage> lessThan() = 0;
};
