#pragma once
// What a popover looks like around its content: a rounded dark frame with a
// small arrow on one edge pointing at the anchor. The content's view is a
// subview laid inside the frame; the chrome itself draws only the frame and
// the arrow (UIPopoverPlacement gives their geometry).
//
// Main thread only.
#include "platform/uikit/UIPopoverPlacement.h"
#include "platform/uikit/UIView.h"

class UIPopoverChromeView : public UIView {
public:
    explicit UIPopoverChromeView(CGRect frame = CGRectZero);

    // Takes the placement's frame, arrow and content frame (for `content`, when given).
    void applyPlacement(const UIPopoverPlacement& placement, const std::shared_ptr<UIView>& content);
    UIPopoverArrowDirection arrowDirection() const { return arrowDirection_; }
    CGFloat arrowOffset() const { return arrowOffset_; }

    // The frame's colours: a near-black fill and a lighter rim.
    static CGColorRef fillColor();
    static CGColorRef rimColor();

    void drawRect(CGRect rect) override;

private:
    void addOutline(const CGContextRef& c) const;
    UIPopoverArrowDirection arrowDirection_ = UIPopoverArrowDirectionUnknown;
    CGFloat arrowOffset_ = 0;
};
