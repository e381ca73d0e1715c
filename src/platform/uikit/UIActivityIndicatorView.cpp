#include "platform/uikit/UIActivityIndicatorView.h"

#include <cmath>

#include "platform/quartzcore/CAAnimation.h"

namespace {
constexpr int kSpokes = 12;

// A bar along +x from x0 to x1, its ends rounded.
void fillRoundedBar(const CGContextRef& ctx, CGFloat x0, CGFloat x1, CGFloat width) {
    CGContextBeginPath(ctx);
    CAContextAddRoundedRect(ctx, CGRectMake(x0, -width / 2, x1 - x0, width), width / 2);
    CGContextFillPath(ctx);
}
}  // namespace

UIActivityIndicatorView::UIActivityIndicatorView(UIActivityIndicatorViewStyle style)
    : UIView(CGRectMake(0, 0, sideForStyle(style), sideForStyle(style))), style_(style) {
    setOpaque(false);
    setHidden(true);
}

UIActivityIndicatorView::UIActivityIndicatorView(CGRect frame)
    : UIView(frame), style_(UIActivityIndicatorViewStyleWhite) {
    setOpaque(false);
    setHidden(true);
}

CGFloat UIActivityIndicatorView::sideForStyle(UIActivityIndicatorViewStyle style) {
    return style == UIActivityIndicatorViewStyleWhiteLarge ? 37 : 20;
}

void UIActivityIndicatorView::setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style) {
    if (style == style_) return;
    style_ = style;
    setNeedsDisplay();
}

CGColorRef UIActivityIndicatorView::color() const {
    if (color_) return color_;
    static auto* white = new CGColorRef(CGColorCreateSRGB(1, 1, 1, 1));
    static auto* gray = new CGColorRef(CGColorCreateSRGB(0.5, 0.5, 0.5, 1));
    return style_ == UIActivityIndicatorViewStyleGray ? *gray : *white;
}

void UIActivityIndicatorView::setColor(CGColorRef color) {
    color_ = std::move(color);
    setNeedsDisplay();
}

void UIActivityIndicatorView::setHidesWhenStopped(bool value) {
    hidesWhenStopped_ = value;
    if (!animating_) setHidden(value);
}

void UIActivityIndicatorView::startAnimating() {
    if (animating_) return;
    animating_ = true;
    setHidden(false);
    auto spin = CABasicAnimation::animationWithKeyPath("transform.rotation.z");
    spin->fromValue = 0.0;
    spin->toValue = 2 * M_PI;
    spin->duration = 1;
    spin->repeatCount = std::numeric_limits<double>::infinity();
    spin->timingFunction = kCAMediaTimingFunctionLinear;
    layer()->addAnimation(spin, "spin");
}

void UIActivityIndicatorView::stopAnimating() {
    if (!animating_) return;
    animating_ = false;
    layer()->removeAnimationForKey("spin");
    if (hidesWhenStopped_) setHidden(true);
}

CGSize UIActivityIndicatorView::sizeThatFits(CGSize) const {
    CGFloat side = sideForStyle(style_);
    return {side, side};
}

void UIActivityIndicatorView::drawRect(CGRect) {
    auto ctx = currentDrawingContext();
    if (!ctx) return;
    CGRect b = bounds();
    CGFloat side = sideForStyle(style_);
    CGFloat outer = side / 2, inner = outer * 0.45, width = side * (style_ == UIActivityIndicatorViewStyleWhiteLarge ? 0.09 : 0.1);
    double r, g, bl, a;
    color()->getRGBA(r, g, bl, a);
    CGContextTranslateCTM(ctx, CGRectGetMidX(b), CGRectGetMidY(b));
    for (int i = 0; i < kSpokes; ++i) {
        // The leading spoke points up; the ones behind it fade.
        double fade = 1.0 - 0.75 * double(i) / kSpokes;
        CGContextSaveGState(ctx);
        CGContextRotateCTM(ctx, -M_PI / 2 - i * (2 * M_PI / kSpokes));
        CGContextSetRGBFillColor(ctx, r, g, bl, a * fade);
        fillRoundedBar(ctx, inner, outer, width);
        CGContextRestoreGState(ctx);
    }
}
