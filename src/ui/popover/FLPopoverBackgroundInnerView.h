#pragma once
// The view above a popover's content: it continues the body's gradient into
// the band around the content's rounded corners, casts the inner shadow and
// strokes the inner border. Clear, takes no touches. Its values are copied
// from the chrome (FLPopoverBackgroundView::setNeedsDisplay).
//
// Drawing (rect r; nb and cr are navigationBarHeight and innerCornerRadius,
// both 0 with wantsDefaultContentAppearance): below the bar, a rounded box of
// radius cr + 1; with a border (borderWidth > 0) and no plain content, the
// gradient fills the corners outside it (from -gradientTopPosition to
// gradientHeight - gradientTopPosition, so it lines up with the body's) and
// the stroke casts the inner shadow inside it; the stroke is a rounded box of
// radius cr, rounded at the bottom only when there is no border. All of it
// lies along the edges, so it is drawn band by band (platform/graphics/EdgeBands.h),
// and a drawing with the values of a recent one lays down the bitmap kept
// from it (FLPopoverDrawingCaches.h).
//
// Main thread only.
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIView.h"

class FLPopoverBackgroundInnerView : public UIView {
public:
    explicit FLPopoverBackgroundInnerView(CGRect frame = CGRectZero);
    static std::shared_ptr<FLPopoverBackgroundInnerView> initWithFrame(CGRect frame);

    void drawRect(CGRect rect) override;

    bool wantsDefaultContentAppearance = false;
    CGFloat gradientHeight = 0;
    CGFloat gradientTopPosition = 0;
    CGFloat innerShadowBlurRadius = 0;
    CGFloat innerCornerRadius = 0;
    CGFloat navigationBarHeight = 0;
    CGFloat borderWidth = 0;
    UIColorPtr innerStrokeColor;
    UIColorPtr gradientTopColor;
    UIColorPtr gradientBottomColor;
    UIColorPtr innerShadowColor;
    CGSize innerShadowOffset{};

private:
    // The drawing in bands along the edges of rect, below the bar.
    void drawBands(const CGContextRef& ctx, CGRect rect) const;
    // The drawing itself, below the bar (q) with the corner radius cr.
    void drawFrame(const CGContextRef& ctx, CGRect q, CGFloat cr) const;
};
