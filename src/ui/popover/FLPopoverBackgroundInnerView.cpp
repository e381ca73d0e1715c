#include "ui/popover/FLPopoverBackgroundInnerView.h"

#include <cmath>

#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/CGGradient.h"
#include "platform/uikit/UIBezierPath.h"
#include "platform/uikit/UIGraphics.h"
#include "ui/popover/FLPopoverDrawingCaches.h"
#include "platform/graphics/EdgeBands.h"

FLPopoverBackgroundInnerView::FLPopoverBackgroundInnerView(CGRect frame) : UIView(frame) {
    setBackgroundColor(UIColor::clearColor()->CGColor());
    setOpaque(false);
    setUserInteractionEnabled(false);
}

std::shared_ptr<FLPopoverBackgroundInnerView> FLPopoverBackgroundInnerView::initWithFrame(CGRect frame) {
    return std::make_shared<FLPopoverBackgroundInnerView>(frame);
}

void FLPopoverBackgroundInnerView::drawRect(CGRect rect) {
    CGContextRef ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    DrawingCache::Recipe recipe;
    recipe.add(rect).add(wantsDefaultContentAppearance ? 1.0 : 0.0).add(navigationBarHeight).add(innerCornerRadius);
    recipe.add(borderWidth).add(FLPopoverRecipeColor(gradientTopColor)).add(FLPopoverRecipeColor(gradientBottomColor)).add(gradientTopPosition).add(gradientHeight);
    recipe.add(FLPopoverRecipeColor(innerShadowColor)).add(innerShadowOffset).add(innerShadowBlurRadius).add(FLPopoverRecipeColor(innerStrokeColor));
    FLPopoverInnerViewDrawingCache().drawInto(ctx, recipe, [&](const CGContextRef& c) { drawBands(c, rect); });
}

void FLPopoverBackgroundInnerView::drawBands(const CGContextRef& ctx, CGRect rect) const {
    bool plain = wantsDefaultContentAppearance;
    CGFloat nb = plain ? 0 : navigationBarHeight;
    CGFloat cr = plain ? 0 : innerCornerRadius;
    CGRect q = rect;
    q.origin.y += nb;
    q.size.height -= nb;
    if (q.size.height < 0) q.size.height = 0;
    // Everything lies along q's edges: the corners' gradient within cr + 1,
    // the stroke and its shadow within cr, the line, the offset and the blur.
    CGFloat reach = cr + 2 + std::fabs(innerShadowOffset.width) + std::fabs(innerShadowOffset.height) +
                    2 * innerShadowBlurRadius + 2;
    DrawEdgeBands(ctx, CGRectInset(q, reach, reach), [&](const CGContextRef& band) {
        UIGraphicsPushContext(band);
        drawFrame(band, q, cr);
        UIGraphicsPopContext();
    });
}

void FLPopoverBackgroundInnerView::drawFrame(const CGContextRef& ctx, CGRect q, CGFloat cr) const {
    bool plain = wantsDefaultContentAppearance;
    CGPathRef rounded = CGPathCreateWithRoundedRect(q, cr + 1, cr + 1, nullptr);
    bool bordered = !plain && borderWidth > 0;

    if (bordered && gradientTopColor && gradientBottomColor) {
        CGContextSaveGState(ctx);
        CGContextBeginPath(ctx);
        CGContextAddRect(ctx, q);
        CGContextAddPath(ctx, rounded);
        CGContextEOClip(ctx);
        auto gradient = CGGradientCreateWithColors(CGColorSpaceCreateDeviceRGB(),
                                                   {gradientTopColor->CGColor(), gradientBottomColor->CGColor()},
                                                   {0, 1});
        CGContextDrawLinearGradient(ctx, gradient, CGPointMake(0, -gradientTopPosition),
                                    CGPointMake(0, gradientHeight - gradientTopPosition), 0);
        CGContextRestoreGState(ctx);
    }

    CGContextSaveGState(ctx);
    if (bordered) {
        CGContextBeginPath(ctx);
        CGContextAddPath(ctx, rounded);
        CGContextClip(ctx);
        CGContextSetShadowWithColor(ctx, innerShadowOffset, innerShadowBlurRadius,
                                    innerShadowColor ? innerShadowColor->CGColor() : nullptr);
    }
    CGRect box = CGRectInset(q, 0.5, 0.5);
    UIBezierPathPtr stroke = borderWidth == 0
                                 ? UIBezierPath::bezierPathWithRoundedRect(
                                       box, UIRectCorner(UIRectCornerBottomLeft | UIRectCornerBottomRight),
                                       CGSizeMake(cr, cr))
                                 : UIBezierPath::bezierPathWithRoundedRect(box, cr);
    stroke->setLineWidth(1);
    if (innerStrokeColor) innerStrokeColor->setStroke();
    else CGContextSetRGBStrokeColor(ctx, 0, 0, 0, 0);
    stroke->stroke();
    CGContextRestoreGState(ctx);
}
