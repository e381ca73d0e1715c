#include "platform/uikit/UIBezierPath.h"

#include <cmath>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIGraphics.h"

UIBezierPath::UIBezierPath() : path_(CGPathCreateMutable()) {}

UIBezierPathPtr UIBezierPath::bezierPath() { return std::make_shared<UIBezierPath>(); }

UIBezierPathPtr UIBezierPath::bezierPathWithRect(CGRect rect) {
    auto p = bezierPath();
    CGPathAddRect(p->path_, nullptr, rect);
    return p;
}

UIBezierPathPtr UIBezierPath::bezierPathWithOvalInRect(CGRect rect) {
    auto p = bezierPath();
    CGPathAddEllipseInRect(p->path_, nullptr, rect);
    return p;
}

UIBezierPathPtr UIBezierPath::bezierPathWithRoundedRect(CGRect rect, CGFloat cornerRadius) {
    return bezierPathWithRoundedRect(rect, UIRectCornerAllCorners, CGSizeMake(cornerRadius, cornerRadius));
}

UIBezierPathPtr UIBezierPath::bezierPathWithRoundedRect(CGRect rect, UIRectCorner corners, CGSize radii) {
    auto p = bezierPath();
    if (!CGRectIsFinite(rect) || !std::isfinite(radii.width) || !std::isfinite(radii.height)) {
        NSLog("UIBezierPath: rounded rectangle with a non-finite value ignored");
        return p;
    }
    rect = CGRectStandardize(rect);
    CGFloat rx = std::clamp(radii.width, 0.0, rect.size.width / 2);
    CGFloat ry = std::clamp(radii.height, 0.0, rect.size.height / 2);
    CGFloat x0 = CGRectGetMinX(rect), y0 = CGRectGetMinY(rect), x1 = CGRectGetMaxX(rect), y1 = CGRectGetMaxY(rect);
    const CGMutablePathRef& path = p->path_;
    // Clockwise on the screen from the top left: each rounded corner is a quarter ellipse.
    auto corner = [&](UIRectCorner which, CGFloat cx, CGFloat cy, CGFloat start, CGFloat px, CGFloat py) {
        if (!(corners & which) || rx == 0 || ry == 0) {
            CGPathAddLineToPoint(path, nullptr, px, py);
            return;
        }
        CGAffineTransform local = CGAffineTransformConcat(CGAffineTransformMakeScale(rx, ry),
                                                          CGAffineTransformMakeTranslation(cx, cy));
        CGPathAddArc(path, &local, 0, 0, 1, start, start + M_PI / 2, false);
    };
    bool topLeft = (corners & UIRectCornerTopLeft) && rx > 0 && ry > 0;
    CGPathMoveToPoint(path, nullptr, topLeft ? x0 + rx : x0, y0);
    corner(UIRectCornerTopRight, x1 - rx, y0 + ry, -M_PI / 2, x1, y0);
    corner(UIRectCornerBottomRight, x1 - rx, y1 - ry, 0, x1, y1);
    corner(UIRectCornerBottomLeft, x0 + rx, y1 - ry, M_PI / 2, x0, y1);
    corner(UIRectCornerTopLeft, x0 + rx, y0 + ry, M_PI, x0, y0);
    CGPathCloseSubpath(path);
    return p;
}

UIBezierPathPtr UIBezierPath::bezierPathWithArcCenter(CGPoint center, CGFloat radius, CGFloat startAngle,
                                                      CGFloat endAngle, bool clockwise) {
    auto p = bezierPath();
    p->addArcWithCenter(center, radius, startAngle, endAngle, clockwise);
    return p;
}

UIBezierPathPtr UIBezierPath::bezierPathWithCGPath(const CGPathRef& path) {
    auto p = bezierPath();
    if (path) CGPathAddPath(p->path_, nullptr, path);
    return p;
}

void UIBezierPath::moveToPoint(CGPoint point) { CGPathMoveToPoint(path_, nullptr, point.x, point.y); }
void UIBezierPath::addLineToPoint(CGPoint point) { CGPathAddLineToPoint(path_, nullptr, point.x, point.y); }
void UIBezierPath::addCurveToPoint(CGPoint endPoint, CGPoint controlPoint1, CGPoint controlPoint2) {
    CGPathAddCurveToPoint(path_, nullptr, controlPoint1.x, controlPoint1.y, controlPoint2.x, controlPoint2.y,
                          endPoint.x, endPoint.y);
}
void UIBezierPath::addQuadCurveToPoint(CGPoint endPoint, CGPoint controlPoint) {
    CGPathAddQuadCurveToPoint(path_, nullptr, controlPoint.x, controlPoint.y, endPoint.x, endPoint.y);
}
void UIBezierPath::addArcWithCenter(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle,
                                    bool clockwise) {
    // In the y-down space increasing angles turn clockwise on the screen, which
    // the path's y-up convention calls anticlockwise.
    CGPathAddArc(path_, nullptr, center.x, center.y, radius, startAngle, endAngle, !clockwise);
}
void UIBezierPath::closePath() { CGPathCloseSubpath(path_); }
void UIBezierPath::removeAllPoints() { path_ = CGPathCreateMutable(); }
void UIBezierPath::appendPath(const UIBezierPathPtr& path) {
    if (path) CGPathAddPath(path_, nullptr, path->CGPath());
}
void UIBezierPath::applyTransform(const CGAffineTransform& transform) {
    auto transformed = CGPathCreateMutableCopyByTransformingPath(path_, &transform);
    if (transformed) path_ = transformed;
}

CGPathRef UIBezierPath::CGPath() const { return CGPathCreateCopy(path_); }
bool UIBezierPath::isEmpty() const { return CGPathIsEmpty(path_); }
CGRect UIBezierPath::bounds() const { return CGPathGetBoundingBox(path_); }
CGPoint UIBezierPath::currentPoint() const { return CGPathGetCurrentPoint(path_); }
bool UIBezierPath::containsPoint(CGPoint point) const { return CGPathContainsPoint(path_, nullptr, point, evenOdd_); }

void UIBezierPath::setLineWidth(CGFloat width) {
    if (!std::isfinite(width) || width < 0) {
        NSLog("UIBezierPath: line width %g ignored", width);
        return;
    }
    lineWidth_ = width;
}

void UIBezierPath::setLineDash(const std::vector<CGFloat>& pattern, CGFloat phase) {
    dash_ = pattern;
    dashPhase_ = phase;
}

void UIBezierPath::draw(CGPathDrawingMode mode, CGBlendMode blendMode, CGFloat alpha) const {
    CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c) return;
    CGContextSaveGState(c);
    CGContextSetBlendMode(c, blendMode);
    CGContextSetAlpha(c, alpha);
    CGContextSetLineWidth(c, lineWidth_);
    CGContextSetLineCap(c, lineCap_);
    CGContextSetLineJoin(c, lineJoin_);
    CGContextSetMiterLimit(c, miterLimit_);
    CGContextSetLineDash(c, dashPhase_, dash_);
    CGContextBeginPath(c);
    CGContextAddPath(c, path_);
    CGContextDrawPath(c, mode);
    CGContextRestoreGState(c);
}

void UIBezierPath::fill() const { fillWithBlendMode(kCGBlendModeNormal, 1); }
void UIBezierPath::stroke() const { strokeWithBlendMode(kCGBlendModeNormal, 1); }
void UIBezierPath::fillWithBlendMode(CGBlendMode blendMode, CGFloat alpha) const {
    draw(evenOdd_ ? kCGPathEOFill : kCGPathFill, blendMode, alpha);
}
void UIBezierPath::strokeWithBlendMode(CGBlendMode blendMode, CGFloat alpha) const {
    draw(kCGPathStroke, blendMode, alpha);
}

void UIBezierPath::addClip() const {
    CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c) return;
    CGContextBeginPath(c);
    CGContextAddPath(c, path_);
    if (evenOdd_) CGContextEOClip(c);
    else CGContextClip(c);
}

std::string UIBezierPath::description() const { return "<UIBezierPath " + path_->description() + ">"; }
