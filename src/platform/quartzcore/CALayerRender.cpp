// Display and compositing of layer trees through the drawing contexts.
#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/PixelGrid.h"
#include "platform/quartzcore/CALayer.h"

namespace {

constexpr CGBitmapInfo kNativeARGB =
    kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host;

}  // namespace

void CAContextAddRoundedRect(const CGContextRef& ctx, CGRect r, CGFloat radius) {
    radius = std::min({radius, r.size.width / 2, r.size.height / 2});
    if (!(radius > 0)) {
        CGContextAddRect(ctx, r);
        return;
    }
    CGFloat x0 = CGRectGetMinX(r), y0 = CGRectGetMinY(r), x1 = CGRectGetMaxX(r), y1 = CGRectGetMaxY(r);
    CGContextMoveToPoint(ctx, x0 + radius, y0);
    CGContextAddArcToPoint(ctx, x1, y0, x1, y1, radius);
    CGContextAddArcToPoint(ctx, x1, y1, x0, y1, radius);
    CGContextAddArcToPoint(ctx, x0, y1, x0, y0, radius);
    CGContextAddArcToPoint(ctx, x0, y0, x1, y0, radius);
    CGContextClosePath(ctx);
}

namespace {

// Draws the image upright into a rectangle of the y-down user space.
void drawImageFlipped(const CGContextRef& ctx, CGRect r, const CGImageRef& image) {
    CGContextSaveGState(ctx);
    CGContextTranslateCTM(ctx, r.origin.x, r.origin.y + r.size.height);
    CGContextScaleCTM(ctx, 1, -1);
    CGContextDrawImage(ctx, CGRectMake(0, 0, r.size.width, r.size.height), image);
    CGContextRestoreGState(ctx);
}

// Where contents of the size go in the bounds under the gravity.
CGRect gravityRect(const std::string& g, CGRect b, CGSize s) {
    if (g == kCAGravityResize || s.width <= 0 || s.height <= 0) return b;
    if (g == kCAGravityResizeAspect || g == kCAGravityResizeAspectFill) {
        CGFloat fx = b.size.width / s.width, fy = b.size.height / s.height;
        CGFloat f = g == kCAGravityResizeAspect ? std::min(fx, fy) : std::max(fx, fy);
        s = {s.width * f, s.height * f};
        return CGRectMake(CGRectGetMidX(b) - s.width / 2, CGRectGetMidY(b) - s.height / 2, s.width, s.height);
    }
    CGFloat x = CGRectGetMidX(b) - s.width / 2, y = CGRectGetMidY(b) - s.height / 2;
    if (g.find("Left") != std::string::npos || g == kCAGravityLeft) x = b.origin.x;
    if (g.find("Right") != std::string::npos || g == kCAGravityRight) x = CGRectGetMaxX(b) - s.width;
    // The platform's gravity names follow a y-up layer; views flip them, so
    // "top" is the top of the screen here.
    if (g.rfind("top", 0) == 0) y = b.origin.y;
    if (g.rfind("bottom", 0) == 0) y = CGRectGetMaxY(b) - s.height;
    return CGRectMake(x, y, s.width, s.height);
}

CGFloat contextScale(const CGContextRef& ctx) {
    CGAffineTransform m = CGContextGetCTM(ctx);
    CGFloat s = std::sqrt(std::fabs(m.a * m.d - m.b * m.c));
    return s > 0 && std::isfinite(s) ? s : 1;
}

}  // namespace

struct CALayerRenderer {
    static CGRect backingRectOf(const CALayer& l) { return l.backingFollowsBounds() ? l.bounds_ : l.backingRect_; }

    static void layer(CALayer& l, const CGContextRef& ctx, CGFloat scale) {
        if (l.hidden_ || l.opacity_ <= 0) return;
        if (l.opacity_ < 1) group(l, ctx, scale);
        else content(l, ctx, scale);
    }

    // first then second.
    static CGAffineTransform concat(const CGAffineTransform& m, const CGAffineTransform& t) {
        return {m.a * t.a + m.b * t.c, m.a * t.b + m.b * t.d, m.c * t.a + m.d * t.c, m.c * t.b + m.d * t.d,
                m.tx * t.a + m.ty * t.c + t.tx, m.tx * t.b + m.ty * t.d + t.ty};
    }

    // The box the subtree can paint, in the device space the transform leads to.
    static CGRect paintedBox(const CALayer& l, const CGAffineTransform& toDevice) {
        if (l.hidden_) return CGRectZero;
        CGRect box = ca::applyAffineToRect(toDevice, l.bounds_);
        if (l.backing_) box = CGRectUnion(box, ca::applyAffineToRect(toDevice, backingRectOf(l)));
        if (l.masksToBounds_) return box;
        for (auto& s : l.sublayers_) box = CGRectUnion(box, paintedBox(*s, concat(s->transformToSuperlayer(), toDevice)));
        return box;
    }

    // The subtree drawn apart over the box it paints, then laid down with the
    // layer's opacity.
    static void group(CALayer& l, const CGContextRef& ctx, CGFloat scale) {
        double w = double(CGBitmapContextGetWidth(ctx)), h = double(CGBitmapContextGetHeight(ctx));
        CGAffineTransform ctm = CGContextGetCTM(ctx), inverse;
        if (!ca::invertAffine(ctm, inverse)) return;
        if (l.needsDisplay_ || l.backingScale_ != scale) l.displayIfNeeded(scale);  // the backing's box counts
        CGRect box = CGRectIntersection(paintedBox(l, ctm), CGRectMake(0, 0, w, h));
        if (CGRectIsEmpty(box)) return;
        double x0 = std::floor(box.origin.x), y0 = std::floor(box.origin.y);
        double x1 = std::ceil(CGRectGetMaxX(box)), y1 = std::ceil(CGRectGetMaxY(box));
        CGContextRef off = CGBitmapContextCreate(nullptr, std::size_t(x1 - x0), std::size_t(y1 - y0), 8, 0,
                                                 CGColorSpaceCreateWithName(kCGColorSpaceSRGB), kNativeARGB);
        if (!off) return;  // the context logged why
        CGContextTranslateCTM(off, -x0, -y0);
        CGContextConcatCTM(off, ctm);
        content(l, off, scale);
        CGImageRef image = CGBitmapContextCreateImage(off);
        CGContextSaveGState(ctx);
        CGContextConcatCTM(ctx, inverse);
        CGContextSetAlpha(ctx, l.opacity_);
        CGContextDrawImage(ctx, CGRectMake(x0, y0, x1 - x0, y1 - y0), image);
        CGContextRestoreGState(ctx);
    }

    static void content(CALayer& l, const CGContextRef& ctx, CGFloat scale) {
        CGRect b = l.bounds_;
        CGContextSaveGState(ctx);
        if (l.masksToBounds_) {
            CGContextBeginPath(ctx);
            CAContextAddRoundedRect(ctx, b, l.cornerRadius_);
            CGContextClip(ctx);
        }
        if (l.backgroundColor_ && l.backgroundColor_->alpha() > 0) {
            CGContextSetFillColorWithColor(ctx, l.backgroundColor_);
            CGContextBeginPath(ctx);
            CAContextAddRoundedRect(ctx, b, l.cornerRadius_);
            CGContextFillPath(ctx);
        }
        if (l.contents_) {
            CGSize size{double(l.contents_->width()) / l.contentsScale_, double(l.contents_->height()) / l.contentsScale_};
            drawImageFlipped(ctx, gravityRect(l.contentsGravity_, b, size), l.contents_);
        }
        if (l.backingScale_ != scale) l.needsDisplay_ = l.needsDisplay_ || l.backing_ != nullptr;
        l.displayIfNeeded(scale);
        if (l.backing_) drawImageFlipped(ctx, backingRectOf(l), l.backing_);
        auto subs = l.sublayers_;
        std::stable_sort(subs.begin(), subs.end(), [](const CALayerPtr& a, const CALayerPtr& c) {
            return a->zPosition_ < c->zPosition_;
        });
        for (auto& s : subs) {
            CGContextSaveGState(ctx);
            CGContextConcatCTM(ctx, s->transformToSuperlayer());
            layer(*s, ctx, scale);
            CGContextRestoreGState(ctx);
        }
        CGContextRestoreGState(ctx);
        if (l.borderWidth_ > 0) {
            CGFloat bw = l.borderWidth_;
            if (l.borderColor_) CGContextSetStrokeColorWithColor(ctx, l.borderColor_);
            else CGContextSetRGBStrokeColor(ctx, 0, 0, 0, 1);
            CGContextSetLineWidth(ctx, bw);
            CGContextBeginPath(ctx);
            CAContextAddRoundedRect(ctx, CGRectInset(b, bw / 2, bw / 2), std::max(0.0, l.cornerRadius_ - bw / 2));
            CGContextStrokePath(ctx);
        }
    }
};

CGImageRef CALayer::makeBacking(CGFloat scale, CGRect& rect) {
    rect = bounds_;
    if (!delegate_ && typeid(*this) == typeid(CALayer)) return nullptr;  // a plain layer draws nothing of its own
    if (delegate_ && !delegate_->mayDrawLayer(*this)) return nullptr;
    CGContextRef ctx = CALayerCreateRenderContext(bounds_.size, scale);
    if (!ctx) return nullptr;
    CGContextTranslateCTM(ctx, -bounds_.origin.x, -bounds_.origin.y);
    bool drew = delegate_ ? delegate_->drawLayer(*this, ctx) : drawInContext(ctx);
    return drew ? CGBitmapContextCreateImage(ctx) : nullptr;
}

bool CALayer::drawInContext(const CGContextRef&) { return false; }

void CALayer::setNeedsDisplay() {
    needsDisplay_ = true;
    bumpGeneration();
}

void CALayer::displayIfNeeded(CGFloat scale) {
    if (!needsDisplay_ && backingScale_ == scale) return;
    needsDisplay_ = false;
    backingScale_ = scale;
    if (drawsNothing_) return;
    CGRect rect{};
    backing_ = makeBacking(scale, rect);
    backingRect_ = rect;
    if (backing_) ++displayCount_;
    else if (delegate_) drawsNothing_ = true;  // the view has no drawing of its own; never asked again
    bumpGeneration();
}

void CALayer::displayTreeIfNeeded(CGFloat scale) {
    if (hidden_) return;
    displayIfNeeded(scale);
    auto subs = sublayers_;
    for (auto& s : subs) s->displayTreeIfNeeded(scale);
}

void CALayer::renderInContext(const CGContextRef& ctx) {
    if (!ctx) return;
    CGFloat scale = contextScale(ctx);
    CGContextSaveGState(ctx);
    CGContextTranslateCTM(ctx, -bounds_.origin.x, -bounds_.origin.y);
    CALayerRenderer::layer(*this, ctx, scale);
    CGContextRestoreGState(ctx);
}

CGContextRef CALayerCreateRenderContext(CGSize size, CGFloat scale) { return PointsContextCreate(size, scale); }

CGImageRef CALayerRenderImage(CALayer& layer, CGFloat scale) {
    CGContextRef ctx = CALayerCreateRenderContext(layer.bounds().size, scale);
    if (!ctx) return nullptr;
    layer.renderInContext(ctx);
    return CGBitmapContextCreateImage(ctx);
}
