#pragma once
// The view laid over a window behind a form sheet or a popover. It covers what
// it is given (the whole window), takes every touch that reaches it, so nothing
// behind reacts, and runs its tap handler (when it has one) once a touch that
// began on it ends. Pass-through views let touches through: a point inside one
// of them (shown and in the same window) is not taken, so the view below gets it.
//
// A form sheet's dimming view is black at alpha 0.4 and does nothing on taps;
// a popover's is clear, with the popover's outside-tap handler.
//
// Main thread only.
#include <functional>
#include <memory>
#include <vector>

#include "platform/uikit/UIView.h"

class UIDimmingView : public UIView {
public:
    static constexpr CGFloat kFormSheetAlpha = 0.4;

    explicit UIDimmingView(CGRect frame = CGRectZero);
    // Black at alpha 0.4, no tap handler.
    static std::shared_ptr<UIDimmingView> formSheetDimmingView(CGRect frame);

    using TapHandler = std::function<void()>;
    void setTapHandler(TapHandler handler) { tapHandler_ = std::move(handler); }
    // Runs after each layout of the view (it follows the window's size, so this
    // is where what sits on it is placed again).
    using LayoutHandler = std::function<void()>;
    void setLayoutHandler(LayoutHandler handler) { layoutHandler_ = std::move(handler); }
    void layoutSubviews() override;
    // Held weakly: a view that goes away stops letting touches through.
    void setPassthroughViews(const std::vector<std::shared_ptr<UIView>>& views);
    std::vector<std::shared_ptr<UIView>> passthroughViews() const;

    std::shared_ptr<UIView> hitTest(CGPoint point, UIEvent* event) override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

private:
    bool letsThrough(CGPoint point) const;
    TapHandler tapHandler_;
    LayoutHandler layoutHandler_;
    std::vector<std::weak_ptr<UIView>> passthrough_;
};
