#pragma once
// The popover background view as placement sees it (FLPopoverPlacementChrome).
// Main thread only.
#include <memory>

#include "ui/popover/FLPopoverBackgroundView.h"
#include "ui/popover/FLPopoverPlacement.h"

class FLPopoverBackgroundChrome : public FLPopoverPlacementChrome {
public:
    explicit FLPopoverBackgroundChrome(std::shared_ptr<FLPopoverBackgroundView> view) : view_(std::move(view)) {}

    std::shared_ptr<UIView> chromeView() const override { return view_; }
    CGFloat arrowHeight() const override { return view_->arrowHeight(); }
    FLArrowDirection arrowDirection() const override { return view_->arrowDirection(); }
    void setArrowDirection(FLArrowDirection direction) override { view_->setArrowDirection(direction); }
    CGFloat arrowOffset() const override { return view_->arrowOffset(); }
    void setArrowOffset(CGFloat offset) override { view_->setArrowOffset(offset); }
    UIEdgeInsets outerShadowInsets() const override { return view_->outerShadowInsets(); }
    CGSize sizeThatFits(CGSize contentSize) const override { return view_->sizeThatFits(contentSize); }
    void setWantsDefaultContentAppearance(bool wants) override { view_->setWantsDefaultContentAppearance(wants); }
    void setViewController(const std::shared_ptr<UIViewController>& controller) override {
        view_->setViewController(controller);
    }
    void setNeedsDisplay() override { view_->setNeedsDisplay(); }

private:
    std::shared_ptr<FLPopoverBackgroundView> view_;
};
