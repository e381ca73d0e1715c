#include "platform/uikit/UIPopoverChromeView.h"

#include "platform/graphics/CGColor.h"

UIPopoverChromeView::UIPopoverChromeView(CGRect frame) : UIView(frame) {
    setOpaque(false);
    setBackgroundColor(nullptr);
}

CGColorRef UIPopoverChromeView::fillColor() { return CGColorCreateSRGB(0.1, 0.1, 0.1, 0.96); }

CGColorRef UIPopoverChromeView::rimColor() { return CGColorCreateSRGB(0.4, 0.4, 0.4, 1); }

void UIPopoverChromeView::applyPlacement(const UIPopoverPlacement& placement, const std::shared_ptr<UIView>& content) {
    setFrame(placement.frame);
    arrowDirection_ = placement.direction;
    arrowOffset_ = placement.arrowOffset;
    if (content) content->setFrame(placement.contentFrame);
    setNeedsDisplay();
}

// The body's rounded rectangle, clockwise from its top left corner, with the
// arrow let into the edge it sits on.
void UIPopoverChromeView::addOutline(const CGContextRef& c) const {
    using P = UIPopoverPlacement;
    CGRect body = bounds();
    switch (arrowDirection_) {
    case UIPopoverArrowDirectionUp: body.origin.y += P::kArrowHeight; body.size.height -= P::kArrowHeight; break;
    case UIPopoverArrowDirectionDown: body.size.height -= P::kArrowHeight; break;
    case UIPopoverArrowDirectionLeft: body.origin.x += P::kArrowHeight; body.size.width -= P::kArrowHeight; break;
    case UIPopoverArrowDirectionRight: body.size.width -= P::kArrowHeight; break;
    default: break;
    }
    const double r = P::kCornerRadius, half = P::kArrowBase / 2, h = P::kArrowHeight, at = arrowOffset_;
    const double x0 = CGRectGetMinX(body), y0 = CGRectGetMinY(body), x1 = CGRectGetMaxX(body), y1 = CGRectGetMaxY(body);
    CGContextMoveToPoint(c, x0 + r, y0);
    if (arrowDirection_ == UIPopoverArrowDirectionUp) {
        CGContextAddLineToPoint(c, at - half, y0);
        CGContextAddLineToPoint(c, at, y0 - h);
        CGContextAddLineToPoint(c, at + half, y0);
    }
    CGContextAddArcToPoint(c, x1, y0, x1, y0 + r, r);
    if (arrowDirection_ == UIPopoverArrowDirectionRight) {
        CGContextAddLineToPoint(c, x1, at - half);
        CGContextAddLineToPoint(c, x1 + h, at);
        CGContextAddLineToPoint(c, x1, at + half);
    }
    CGContextAddArcToPoint(c, x1, y1, x1 - r, y1, r);
    if (arrowDirection_ == UIPopoverArrowDirectionDown) {
        CGContextAddLineToPoint(c, at + half, y1);
        CGContextAddLineToPoint(c, at, y1 + h);
        CGContextAddLineToPoint(c, at - half, y1);
    }
    CGContextAddArcToPoint(c, x0, y1, x0, y1 - r, r);
    if (arrowDirection_ == UIPopoverArrowDirectionLeft) {
        CGContextAddLineToPoint(c, x0, at + half);
        CGContextAddLineToPoint(c, x0 - h, at);
        CGContextAddLineToPoint(c, x0, at - half);
    }
    CGContextAddArcToPoint(c, x0, y0, x0 + r, y0, r);
    CGContextClosePath(c);
}

void UIPopoverChromeView::drawRect(CGRect) {
    auto c = UIView::currentDrawingContext();
    if (!c) return;
    CGContextSaveGState(c);
    addOutline(c);
    CGContextSetFillColorWithColor(c, fillColor());
    CGContextFillPath(c);
    addOutline(c);
    CGContextSetStrokeColorWithColor(c, rimColor());
    CGContextSetLineWidth(c, 1);
    CGContextStrokePath(c);
    CGContextRestoreGState(c);
}
