// The chrome's drawing: outline with its arrow, drop shadow, gradient body,
// gloss along the inner edge and outer stroke.
#include <algorithm>
#include <cmath>

#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/CGGradient.h"
#include "platform/graphics/EdgeBands.h"
#include "platform/graphics/PixelGrid.h"
#include "ui/popover/FLPopoverBackgroundView.h"

namespace {

struct Outline {
    CGRect o{};         // the body, inset by half a line
    FLArrowDirection d = FLArrowDirectionNone;
    CGFloat a = 0;      // arrow offset along the edge
    CGFloat base = 0;   // arrow base
    CGFloat half = 0;   // half the base, in whole points
    CGFloat height = 0; // arrow height
    CGFloat radius = 0; // corner radius
    CGFloat lead = 0;   // radius of the arrow edge's corner toward positive offsets
    CGFloat trail = 0;  // and toward negative ones
};

// The radius of a corner of the arrow's edge: no more than the room between
// the arrow's base and that side, and never below 0. The corner the arrow
// leans towards is the one that shrinks; the other keeps the full radius
// unless the base reaches it too (a body narrower than the arrow).
CGFloat cornerBeside(const Outline& g, bool towardMax) {
    const CGRect& o = g.o;
    bool vertical = g.d == FLArrowDirectionUp || g.d == FLArrowDirectionDown;
    CGFloat mid = vertical ? CGRectGetMidX(o) : CGRectGetMidY(o);
    CGFloat lo = vertical ? CGRectGetMinX(o) : CGRectGetMinY(o);
    CGFloat hi = vertical ? CGRectGetMaxX(o) : CGRectGetMaxY(o);
    CGFloat dist = towardMax ? hi - (mid + g.a + g.half) : (mid + g.a - g.half) - lo;
    return std::max<CGFloat>(0, std::min(g.radius, dist));
}

void arcTo(const CGMutablePathRef& p, CGFloat x1, CGFloat y1, CGFloat x2, CGFloat y2, CGFloat r) {
    CGPathAddArcToPoint(p, nullptr, x1, y1, x2, y2, r);
}

// The body's outline; with straight arrows the arrow's two sides are part of it.
void addOutline(const CGMutablePathRef& p, const Outline& g, bool straight) {
    const CGRect& o = g.o;
    CGFloat minX = CGRectGetMinX(o), maxX = CGRectGetMaxX(o), minY = CGRectGetMinY(o), maxY = CGRectGetMaxY(o);
    CGFloat midX = CGRectGetMidX(o), midY = CGRectGetMidY(o);
    CGFloat R = g.radius;
    CGFloat lead = g.lead, trail = g.trail;
    switch (g.d) {
        case FLArrowDirectionUp: {
            CGFloat x0 = midX + g.a - g.half;
            CGPathMoveToPoint(p, nullptr, x0, minY);
            if (straight) {
                CGPathAddLineToPoint(p, nullptr, midX + g.a, minY - g.height);
                CGPathAddLineToPoint(p, nullptr, midX + g.a + g.half, minY);
            }
            arcTo(p, maxX, minY, maxX, maxY, lead);
            arcTo(p, maxX, maxY, minX, maxY, R);
            arcTo(p, minX, maxY, minX, minY, R);
            arcTo(p, minX, minY, maxX, minY, trail);
            break;
        }
        case FLArrowDirectionDown: {
            CGFloat x0 = midX + g.a - g.half;
            CGPathMoveToPoint(p, nullptr, x0, maxY);
            if (straight) {
                CGPathAddLineToPoint(p, nullptr, midX + g.a, maxY + g.height);
                CGPathAddLineToPoint(p, nullptr, midX + g.a + g.half, maxY);
            }
            arcTo(p, maxX, maxY, maxX, minY, lead);
            arcTo(p, maxX, minY, minX, minY, R);
            arcTo(p, minX, minY, minX, maxY, R);
            arcTo(p, minX, maxY, maxX, maxY, trail);
            break;
        }
        case FLArrowDirectionLeft: {
            CGFloat y0 = midY + g.a - g.half;
            CGPathMoveToPoint(p, nullptr, minX, y0);
            if (straight) {
                CGPathAddLineToPoint(p, nullptr, minX - g.height, midY + g.a);
                CGPathAddLineToPoint(p, nullptr, minX, midY + g.a + g.half);
            }
            arcTo(p, minX, maxY, maxX, maxY, lead);
            arcTo(p, maxX, maxY, maxX, minY, R);
            arcTo(p, maxX, minY, minX, minY, R);
            arcTo(p, minX, minY, minX, maxY, trail);
            break;
        }
        case FLArrowDirectionRight: {
            CGFloat y0 = midY + g.a - g.half;
            CGPathMoveToPoint(p, nullptr, maxX, y0);
            if (straight) {
                CGPathAddLineToPoint(p, nullptr, maxX + g.height, midY + g.a);
                CGPathAddLineToPoint(p, nullptr, maxX, midY + g.a + g.half);
            }
            arcTo(p, maxX, maxY, minX, maxY, lead);
            arcTo(p, minX, maxY, minX, minY, R);
            arcTo(p, minX, minY, maxX, minY, R);
            arcTo(p, maxX, minY, maxX, maxY, trail);
            break;
        }
        default:
            CGPathMoveToPoint(p, nullptr, maxX, midY);
            arcTo(p, maxX, maxY, minX, maxY, R);
            arcTo(p, minX, maxY, minX, minY, R);
            arcTo(p, minX, minY, maxX, minY, R);
            arcTo(p, maxX, minY, maxX, maxY, R);
            break;
    }
    CGPathCloseSubpath(p);
}

// The curved arrow: two cubic curves from one end of the base over the tip to the other.
void addCurvedArrow(const CGMutablePathRef& p, const Outline& g) {
    const CGRect& o = g.o;
    CGFloat minX = CGRectGetMinX(o), maxX = CGRectGetMaxX(o), minY = CGRectGetMinY(o), maxY = CGRectGetMaxY(o);
    CGFloat B = g.base, hB = g.half;
    CGFloat b5 = static_cast<CGFloat>(static_cast<float>(B) / 5.0f);
    auto curve = [&](CGFloat c1x, CGFloat c1y, CGFloat c2x, CGFloat c2y, CGFloat x, CGFloat y) {
        CGPathAddCurveToPoint(p, nullptr, c1x, c1y, c2x, c2y, x, y);
    };
    switch (g.d) {
        case FLArrowDirectionUp: {
            CGFloat x0 = CGRectGetMidX(o) + g.a - hB, t = minY - g.height;
            CGPathMoveToPoint(p, nullptr, x0, minY);
            curve(x0 + b5, t + 12, x0 + hB - 0.75 * b5, t, x0 + hB, t);
            curve(x0 + hB + 0.75 * b5, t, x0 + B - b5, minY, x0 + B, minY);
            break;
        }
        case FLArrowDirectionDown: {
            CGFloat x0 = CGRectGetMidX(o) + g.a - hB, t = maxY + g.height;
            CGPathMoveToPoint(p, nullptr, x0, maxY);
            curve(x0 + b5, maxY, x0 + hB - 0.75 * b5, t, x0 + hB, t);
            curve(x0 + hB + 0.75 * b5, t, x0 + B - b5, maxY, x0 + B, maxY);
            break;
        }
        case FLArrowDirectionLeft: {
            CGFloat y0 = CGRectGetMidY(o) + g.a - hB, t = minX - g.height;
            CGPathMoveToPoint(p, nullptr, minX, y0 + B);
            curve(minX, y0 + B - b5, t, y0 + hB + b5, t, y0 + hB);
            curve(t, y0 + hB - b5, minX, y0 + b5, minX, y0);
            break;
        }
        case FLArrowDirectionRight: {
            CGFloat y0 = CGRectGetMidY(o) + g.a - hB, t = maxX + g.height;
            CGPathMoveToPoint(p, nullptr, maxX, y0 + B);
            curve(maxX, y0 + B - b5, t, y0 + hB + b5, t, y0 + hB);
            curve(t, y0 + hB - b5, maxX, y0 + b5, maxX, y0);
            break;
        }
        default:
            return;
    }
    CGPathCloseSubpath(p);
}

CGColorRef cg(const UIColorPtr& color) { return color ? color->CGColor() : nullptr; }

// Casts the shadow of the shape, filled opaque, without the shape itself: the
// shape is filled a whole number of pixels to the left of everything it could
// touch, and its shadow is cast back by as much.
void castShadowOf(const CGContextRef& ctx, const CGPathRef& shape, CGRect box, CGSize offset, CGFloat blur,
                  const CGColorRef& color) {
    CGFloat scale = PixelsPerPoint(ctx);
    CGFloat away = std::ceil((CGRectGetMaxX(box) + 3 * blur + std::fabs(offset.width) + 2) * scale) / scale;
    CGContextSaveGState(ctx);
    CGContextSetShadowWithColor(ctx, CGSizeMake(offset.width + away, offset.height), blur, color);
    CGContextTranslateCTM(ctx, -away, 0);
    CGContextBeginPath(ctx);
    CGContextAddPath(ctx, shape);
    CGContextSetGrayFillColor(ctx, 0, 1);
    CGContextFillPath(ctx);
    CGContextRestoreGState(ctx);
}

struct Shadow {
    CGColorRef color;
    CGSize offset;
    CGFloat blur;
    bool shows() const { return color && CGColorGetAlpha(color) > 0; }
};

void fillWithGradient(const CGContextRef& ctx, const CGPathRef& shape, const CGGradientRef& gradient) {
    CGRect box = CGPathGetPathBoundingBox(shape);
    CGContextSaveGState(ctx);
    CGContextBeginPath(ctx);
    CGContextAddPath(ctx, shape);
    CGContextClip(ctx);
    CGContextDrawLinearGradient(ctx, gradient, CGPointMake(CGRectGetMidX(box), CGRectGetMinY(box)),
                                CGPointMake(CGRectGetMidX(box), CGRectGetMaxY(box)), 0);
    CGContextRestoreGState(ctx);
}

// The body: the gradient from top to bottom inside the shape, casting the
// drop shadow. An opaque body casts the shadow of its outline: the outline
// filled beside the bitmap casts it back into place, along the edges only
// (nothing of it shows where the body covers it wholly), then the gradient
// covers the shape. A see-through body casts the shadow of what it lets
// through: the gradient drawn as one layer casts it.
void drawBody(const CGContextRef& ctx, const CGPathRef& shape, CGRect covered, const CGColorRef& top,
              const CGColorRef& bottom, const Shadow& drop) {
    auto gradient = CGGradientCreateWithColors(CGColorSpaceCreateDeviceRGB(), {top, bottom}, {0, 1});
    bool opaque = CGColorGetAlpha(top) >= 1 && CGColorGetAlpha(bottom) >= 1;
    if (drop.shows() && !opaque) {
        CGContextSaveGState(ctx);
        CGContextSetShadowWithColor(ctx, drop.offset, drop.blur, drop.color);
        CGContextBeginTransparencyLayer(ctx);
        fillWithGradient(ctx, shape, gradient);
        CGContextEndTransparencyLayer(ctx);
        CGContextRestoreGState(ctx);
        return;
    }
    if (drop.shows()) {
        CGRect box = CGPathGetPathBoundingBox(shape);
        DrawEdgeBands(ctx, covered, [&](const CGContextRef& band) {
            castShadowOf(band, shape, box, drop.offset, drop.blur, drop.color);
        });
    }
    fillWithGradient(ctx, shape, gradient);
}

// The gloss: the shadow of everything around the shape, cast back into it by
// the gloss offset, lights a line along the inner edge; it lands nowhere
// farther inside the body's straight part than the offset and the blur reach.
void drawGloss(const CGContextRef& ctx, const CGPathRef& shape, CGRect straight, const Shadow& gloss) {
    CGRect box = CGPathGetPathBoundingBox(shape);
    CGFloat gb = gloss.blur, ox = gloss.offset.width, oy = gloss.offset.height;
    CGRect grown = CGRectOffset(CGRectInset(box, -gb, -gb), -ox, -oy);
    CGRect frameBox = CGRectInset(CGRectUnion(grown, box), -1, -1);
    CGFloat w = std::round(CGRectGetWidth(frameBox));
    CGMutablePathRef around = CGPathCreateMutable();
    CGPathAddRect(around, nullptr, frameBox);
    CGPathAddPath(around, nullptr, shape);
    CGAffineTransform left = CGAffineTransformMakeTranslation(-w, 0);
    CGPathRef moved = CGPathCreateCopyByTransformingPath(around, &left);
    CGSize offset = CGSizeMake(ox + w + std::copysign(0.1, ox + w), oy + std::copysign(0.1, oy));
    CGFloat reach = std::fabs(ox) + std::fabs(oy) + 2 * gb + 2;
    DrawEdgeBands(ctx, CGRectInset(straight, reach, reach), [&](const CGContextRef& band) {
        CGContextSaveGState(band);
        CGContextSetShadowWithColor(band, offset, gb, gloss.color);
        CGContextBeginPath(band);
        CGContextAddPath(band, shape);
        CGContextClip(band);
        CGContextBeginPath(band);
        CGContextAddPath(band, moved);
        CGContextSetGrayFillColor(band, 0.5, 1);
        CGContextEOFillPath(band);
        CGContextRestoreGState(band);
    });
}

}  // namespace

DrawingCache::Recipe FLPopoverBackgroundView::drawingRecipe() const {
    DrawingCache::Recipe r;
    r.add(bounds()).add(double(arrowDirection_)).add(arrowOffset_);
    r.add(double(arrowBase_)).add(double(arrowHeight_)).add(double(outerCornerRadius_)).add(usesRoundedArrow_ ? 1.0 : 0.0);
    r.add(FLPopoverRecipeColor(fillTopColor_)).add(FLPopoverRecipeColor(fillBottomColor_));
    r.add(FLPopoverRecipeColor(outerShadowColor_)).add(double(outerShadowBlurRadius_)).add(outerShadowOffset_);
    r.add(FLPopoverRecipeColor(glossShadowColor_)).add(double(glossShadowBlurRadius_)).add(glossShadowOffset_);
    r.add(FLPopoverRecipeColor(outerStrokeColor_));
    return r;
}

void FLPopoverBackgroundView::drawChrome(const CGContextRef& ctx) const {
    Outline g;
    g.o = CGRectInset(outerRect(), 0.5, 0.5);
    if (CGRectIsEmpty(g.o)) return;
    g.d = arrowDirection_;
    g.a = arrowOffset_;
    g.base = static_cast<CGFloat>(arrowBase_);
    g.half = static_cast<CGFloat>(arrowBase_ / 2);
    g.height = static_cast<CGFloat>(arrowHeight_);
    g.radius = std::min<CGFloat>(static_cast<CGFloat>(outerCornerRadius_),
                                 std::min(CGRectGetWidth(g.o), CGRectGetHeight(g.o)) / 2);
    bool arrowEdge = g.d != FLArrowDirectionNone;
    g.lead = arrowEdge ? cornerBeside(g, true) : g.radius;
    g.trail = arrowEdge ? cornerBeside(g, false) : g.radius;
    bool hasArrow = g.height > 0 && g.d != FLArrowDirectionNone;
    bool curved = usesRoundedArrow_ && hasArrow;

    // 1-4. The shape: the outline, after the curved arrow when there is one.
    CGMutablePathRef shape = CGPathCreateMutable();
    if (curved) {
        addCurvedArrow(shape, g);
        CGContextBeginPath(ctx);
        CGContextAddPath(ctx, shape);
        CGContextSetRGBFillColor(ctx, 1, 1, 1, 1);
        CGContextFillPath(ctx);
    }
    addOutline(shape, g, !curved && hasArrow);

    // 5. The body: the gradient inside the shape, over its drop shadow.
    if (fillTopColor_ && fillBottomColor_) {
        Shadow drop{cg(outerShadowColor_), outerShadowOffset_, static_cast<CGFloat>(outerShadowBlurRadius_)};
        // Where the body covers it wholly, the shadow below does not show.
        CGRect covered = CGRectInset(g.o, g.radius + 1, g.radius + 1);
        drawBody(ctx, shape, covered, fillTopColor_->CGColor(), fillBottomColor_->CGColor(), drop);
    }

    // 6. The gloss along the inner edge.
    if (glossShadowColor_) {
        Shadow gloss{glossShadowColor_->CGColor(), glossShadowOffset_, static_cast<CGFloat>(glossShadowBlurRadius_)};
        drawGloss(ctx, shape, CGRectInset(g.o, g.radius, g.radius), gloss);
    }

    // 7. The outer line.
    if (outerStrokeColor_) {
        CGContextBeginPath(ctx);
        CGContextAddPath(ctx, shape);
        CGContextSetStrokeColorWithColor(ctx, outerStrokeColor_->CGColor());
        CGContextSetLineWidth(ctx, 1);
        CGContextStrokePath(ctx);
    }
}
