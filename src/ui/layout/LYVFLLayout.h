#pragma once
// A chain that builds a constraint list from a visual format:
//
//     auto layout = std::make_shared<LYVFLLayout>();
//     layout->context()->setFormat("H:|-[title]-[button]-|");
//     auto list = layout->alignAllTop()->fromLeftToRight()->withViews(views)->metrics(metrics)->asArray();
//
// The steps come in stages, each offering the later ones too: an alignment
// (_LYAlignmentOptionSelect), a direction (_LYDirectionOptionSelect), the
// views (_LYViewsPart), the metrics (_LYMetricsPart), then asArray
// (_LYArrayConstrainable), which returns the context's buildConstraints. An
// alignment or direction step replaces the one before. There is no starting
// function: the format is set on the context. Main thread only.
#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "ui/layout/LYAtomicProperty.h"
#include "ui/layout/LYVFLContext.h"

class _LYArrayConstrainable {
public:
    virtual ~_LYArrayConstrainable() = default;
    [[nodiscard]] virtual std::vector<std::shared_ptr<NSLayoutConstraint>> asArray() = 0;
};

class _LYMetricsPart : public _LYArrayConstrainable {
public:
    virtual std::shared_ptr<_LYArrayConstrainable> metrics(const NSLayoutConstraint::Metrics& metrics) = 0;
};

class _LYViewsPart : public _LYMetricsPart {
public:
    virtual std::shared_ptr<_LYMetricsPart> withViews(const NSLayoutConstraint::Views& views) = 0;
};

class _LYDirectionOptionSelect : public _LYViewsPart {
public:
    virtual std::shared_ptr<_LYViewsPart> fromLeadingToTrailing() = 0;
    virtual std::shared_ptr<_LYViewsPart> fromLeftToRight() = 0;
    virtual std::shared_ptr<_LYViewsPart> fromRightToLeft() = 0;
};

class _LYAlignmentOptionSelect : public _LYDirectionOptionSelect {
public:
    virtual std::shared_ptr<_LYDirectionOptionSelect> alignAllLeft() = 0;
    virtual std::shared_ptr<_LYDirectionOptionSelect> alignAllRight() = 0;
    virtual std::shared_ptr<_LYDirectionOptionSelect> alignAllLeftAndRight() = 0;
    virtual std::shared_ptr<_LYDirectionOptionSelect> alignAllTop() = 0;
    virtual std::shared_ptr<_LYDirectionOptionSelect> alignAllBottom() = 0;
    virtual std::shared_ptr<_LYDirectionOptionSelect> alignAllTopAndBottom() = 0;
    virtual std::shared_ptr<_LYDirectionOptionSelect> alignAllLeading() = 0;
    virtual std::shared_ptr<_LYDirectionOptionSelect> alignAllTrailing() = 0;
    virtual std::shared_ptr<_LYDirectionOptionSelect> alignAllLeadingAndTrailing() = 0;
    virtual std::shared_ptr<_LYDirectionOptionSelect> alignAllCenterX() = 0;
    virtual std::shared_ptr<_LYDirectionOptionSelect> alignAllCenterY() = 0;
    virtual std::shared_ptr<_LYDirectionOptionSelect> alignAllBaseline() = 0;
};

class LYVFLLayout : public NSObject, public _LYAlignmentOptionSelect {
public:
    // Makes its own context.
    LYVFLLayout();

    std::shared_ptr<LYVFLContext> context() const { return context_.get(); }
    // A builder always has a context: none given means a fresh one.
    void setContext(std::shared_ptr<LYVFLContext> context) {
        context_.set(context ? std::move(context) : std::make_shared<LYVFLContext>());
    }

    // LYAlignmentOptionSelect: 2, 4, 6, 8, 16, 24, 32, 64, 96, 512, 1024, 2048.
    std::shared_ptr<_LYDirectionOptionSelect> alignAllLeft() override;
    std::shared_ptr<_LYDirectionOptionSelect> alignAllRight() override;
    std::shared_ptr<_LYDirectionOptionSelect> alignAllLeftAndRight() override;
    std::shared_ptr<_LYDirectionOptionSelect> alignAllTop() override;
    std::shared_ptr<_LYDirectionOptionSelect> alignAllBottom() override;
    std::shared_ptr<_LYDirectionOptionSelect> alignAllTopAndBottom() override;
    std::shared_ptr<_LYDirectionOptionSelect> alignAllLeading() override;
    std::shared_ptr<_LYDirectionOptionSelect> alignAllTrailing() override;
    std::shared_ptr<_LYDirectionOptionSelect> alignAllLeadingAndTrailing() override;
    std::shared_ptr<_LYDirectionOptionSelect> alignAllCenterX() override;
    std::shared_ptr<_LYDirectionOptionSelect> alignAllCenterY() override;
    std::shared_ptr<_LYDirectionOptionSelect> alignAllBaseline() override;
    // Replaces the alignment options.
    std::shared_ptr<_LYDirectionOptionSelect> alignmentOptionPart(NSLayoutFormatOptions options);

    // DirectionOptionSelect: 0, 0x10000, 0x20000.
    std::shared_ptr<_LYViewsPart> fromLeadingToTrailing() override;
    std::shared_ptr<_LYViewsPart> fromLeftToRight() override;
    std::shared_ptr<_LYViewsPart> fromRightToLeft() override;
    // Replaces the direction options.
    std::shared_ptr<_LYViewsPart> directionOptionPart(NSLayoutFormatOptions options);

    // ViewsPart and MetricsPart.
    std::shared_ptr<_LYMetricsPart> withViews(const NSLayoutConstraint::Views& views) override;
    std::shared_ptr<_LYArrayConstrainable> metrics(const NSLayoutConstraint::Metrics& metrics) override;

    // ArrayConstrainable: the context's buildConstraints.
    [[nodiscard]] std::vector<std::shared_ptr<NSLayoutConstraint>> asArray() override;

private:
    LYAtomicProperty<std::shared_ptr<LYVFLContext>> context_;
};
