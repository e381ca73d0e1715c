#pragma once
// The full-window view below a popover's chrome: it catches touches outside
// the popover (the popover attaches a tap recogniser that dismisses it) and
// lets touches through to the passthrough views and their subviews.
//
// hitTest: a subview under the point answers as usual; where the overlay
// itself would answer, the window is asked what lies under the point (the
// overlay answering none meanwhile) and that view answers when it is a
// passthrough view or inside one, else the overlay.
//
// Main thread only.
#include <memory>
#include <vector>

#include "platform/uikit/UIView.h"

class FLPopoverOverlayView;

class FLPopoverOverlayViewDelegate {
public:
    virtual ~FLPopoverOverlayViewDelegate() = default;
    virtual void popoverOverlayViewDidTouch(FLPopoverOverlayView& /*view*/) {}
};

class FLPopoverOverlayView : public UIView {
public:
    explicit FLPopoverOverlayView(CGRect frame = CGRectZero);
    static std::shared_ptr<FLPopoverOverlayView> initWithFrame(CGRect frame);

    std::shared_ptr<UIView> hitTest(CGPoint point, UIEvent* event) override;
    // NO for none; YES for a passthrough view or a view inside one.
    bool isPassthroughView(const UIView* view) const;
    // Gives the overlay its spoken hint ("Double-tap to dismiss pop-up window.").
    void accessibilityElementDidBecomeFocused();

    std::shared_ptr<FLPopoverOverlayViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<FLPopoverOverlayViewDelegate>& d) { delegate_ = d; }
    const std::vector<std::shared_ptr<UIView>>& passthroughViews() const { return passthroughViews_; }
    void setPassthroughViews(std::vector<std::shared_ptr<UIView>> views) { passthroughViews_ = std::move(views); }
    bool testHits() const { return testHits_; }

private:
    bool testHits_ = false;
    std::weak_ptr<FLPopoverOverlayViewDelegate> delegate_;
    std::vector<std::shared_ptr<UIView>> passthroughViews_;
};
