#pragma once
// Paths with their drawing settings, drawn into the current UIKit context in
// the views' space (y down: a clockwise arc turns clockwise on the screen).
// Invalid input is refused with a console line by the path underneath (see CGPath.h).
#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGPath.h"

enum UIRectCorner : unsigned long {
    UIRectCornerTopLeft = 1 << 0,
    UIRectCornerTopRight = 1 << 1,
    UIRectCornerBottomLeft = 1 << 2,
    UIRectCornerBottomRight = 1 << 3,
    UIRectCornerAllCorners = 0xF,
};

class UIBezierPath;
using UIBezierPathPtr = std::shared_ptr<UIBezierPath>;

class UIBezierPath : public NSObject {
public:
    UIBezierPath();

    static UIBezierPathPtr bezierPath();
    static UIBezierPathPtr bezierPathWithRect(CGRect rect);
    static UIBezierPathPtr bezierPathWithOvalInRect(CGRect rect);
    // Corner radius clamped to half the shorter side.
    static UIBezierPathPtr bezierPathWithRoundedRect(CGRect rect, CGFloat cornerRadius);
    static UIBezierPathPtr bezierPathWithRoundedRect(CGRect rect, UIRectCorner byRoundingCorners, CGSize cornerRadii);
    static UIBezierPathPtr bezierPathWithArcCenter(CGPoint center, CGFloat radius, CGFloat startAngle,
                                                   CGFloat endAngle, bool clockwise);
    // A copy of the path (null gives an empty path).
    static UIBezierPathPtr bezierPathWithCGPath(const CGPathRef& path);

    void moveToPoint(CGPoint point);
    void addLineToPoint(CGPoint point);
    void addCurveToPoint(CGPoint endPoint, CGPoint controlPoint1, CGPoint controlPoint2);
    void addQuadCurveToPoint(CGPoint endPoint, CGPoint controlPoint);
    void addArcWithCenter(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise);
    void closePath();
    void removeAllPoints();
    void appendPath(const UIBezierPathPtr& path);
    void applyTransform(const CGAffineTransform& transform);

    // A copy of the path as it stands.
    CGPathRef CGPath() const;
    bool isEmpty() const;
    // The bounds including control points (CGRectNull when empty).
    CGRect bounds() const;
    CGPoint currentPoint() const;
    bool containsPoint(CGPoint point) const;

    CGFloat lineWidth() const { return lineWidth_; }
    void setLineWidth(CGFloat width);
    CGLineCap lineCapStyle() const { return lineCap_; }
    void setLineCapStyle(CGLineCap cap) { lineCap_ = cap; }
    CGLineJoin lineJoinStyle() const { return lineJoin_; }
    void setLineJoinStyle(CGLineJoin join) { lineJoin_ = join; }
    CGFloat miterLimit() const { return miterLimit_; }
    void setMiterLimit(CGFloat limit) { miterLimit_ = limit; }
    bool usesEvenOddFillRule() const { return evenOdd_; }
    void setUsesEvenOddFillRule(bool evenOdd) { evenOdd_ = evenOdd; }
    void setLineDash(const std::vector<CGFloat>& pattern, CGFloat phase);

    // Draw into the current context with the path's settings and the context's
    // colours; the context's state is left as it was.
    void fill() const;
    void stroke() const;
    void fillWithBlendMode(CGBlendMode blendMode, CGFloat alpha) const;
    void strokeWithBlendMode(CGBlendMode blendMode, CGFloat alpha) const;
    // Intersects the current context's clip with the path (by its fill rule).
    void addClip() const;

    std::string description() const override;

private:
    void draw(CGPathDrawingMode mode, CGBlendMode blendMode, CGFloat alpha) const;

    CGMutablePathRef path_;
    CGFloat lineWidth_ = 1;
    CGLineCap lineCap_ = kCGLineCapButt;
    CGLineJoin lineJoin_ = kCGLineJoinMiter;
    CGFloat miterLimit_ = 10;
    bool evenOdd_ = false;
    std::vector<CGFloat> dash_;
    CGFloat dashPhase_ = 0;
};
