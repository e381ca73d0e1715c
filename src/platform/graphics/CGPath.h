#pragma once
// Paths: subpaths of lines and Bézier curves in a user space, built from the
// platform's elements (moves, lines, arcs, arcs to a point, quadratic and cubic
// curves, rectangles, rounded rectangles, ellipses, other paths). Every adding
// function takes an optional transform applied to its points before they are
// stored. Arcs and ellipses are stored as cubic curves.
//
// Invalid input (a non-finite coordinate or transform, a negative radius or
// corner size, an arc to a point without a current point) is ignored with a
// console line; the path stays as it was.
//
// A path is a plain value behind shared ownership: not safe to change from two
// threads at once, safe to read from many.
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGAffineTransform.h"
#include "platform/graphics/CGGeometry.h"

enum CGPathElementType : int {
    kCGPathElementMoveToPoint = 0,
    kCGPathElementAddLineToPoint = 1,
    kCGPathElementAddQuadCurveToPoint = 2,
    kCGPathElementAddCurveToPoint = 3,
    kCGPathElementCloseSubpath = 4,
};

// points holds 1 (move, line), 2 (quadratic: control, end), 3 (cubic: control 1,
// control 2, end) or 0 (close) meaningful points.
struct CGPathElement {
    CGPathElementType type = kCGPathElementMoveToPoint;
    std::array<CGPoint, 3> points{};
    bool operator==(const CGPathElement&) const = default;
};

class CGPath : public NSObject {
public:
    CGPath() = default;
    // A copy of the elements (the object's identity is new).
    CGPath(const CGPath& other);
    const std::vector<CGPathElement>& elements() const { return elements_; }
    bool hasCurrentPoint() const { return hasCurrent_; }
    CGPoint currentPoint() const { return current_; }
    std::string description() const override;

    // Appends an element as it is (points already in the path's space).
    void append(const CGPathElement& element);

private:
    std::vector<CGPathElement> elements_;
    CGPoint current_{}, subpathStart_{};
    bool hasCurrent_ = false;
};

using CGPathRef = std::shared_ptr<const CGPath>;
using CGMutablePathRef = std::shared_ptr<CGPath>;

CGMutablePathRef CGPathCreateMutable();
CGPathRef CGPathCreateCopy(const CGPathRef& path);
CGMutablePathRef CGPathCreateMutableCopy(const CGPathRef& path);
// Null for a null path or a non-finite transform.
CGPathRef CGPathCreateCopyByTransformingPath(const CGPathRef& path, const CGAffineTransform* m);
CGMutablePathRef CGPathCreateMutableCopyByTransformingPath(const CGPathRef& path, const CGAffineTransform* m);
CGPathRef CGPathCreateWithRect(CGRect rect, const CGAffineTransform* m);
CGPathRef CGPathCreateWithEllipseInRect(CGRect rect, const CGAffineTransform* m);
CGPathRef CGPathCreateWithRoundedRect(CGRect rect, CGFloat cornerWidth, CGFloat cornerHeight,
                                      const CGAffineTransform* m);

void CGPathMoveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y);
// Lines and curves without a current point start one at their first point.
void CGPathAddLineToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y);
void CGPathAddQuadCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat cpx, CGFloat cpy,
                               CGFloat x, CGFloat y);
void CGPathAddCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat cp1x, CGFloat cp1y,
                           CGFloat cp2x, CGFloat cp2y, CGFloat x, CGFloat y);
// An arc of the circle, angles in radians from the positive x axis; clockwise as
// seen in a y-up space (decreasing angles). With a current point a line joins it
// to the arc's start; otherwise the arc starts a subpath. A sweep of 2 pi or more
// is one full circle.
void CGPathAddArc(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y, CGFloat radius,
                  CGFloat startAngle, CGFloat endAngle, bool clockwise);
// An arc of delta radians (positive: increasing angles) from startAngle.
void CGPathAddRelativeArc(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y,
                          CGFloat radius, CGFloat startAngle, CGFloat delta);
// A line from the current point towards (x1, y1) and the arc of the radius
// tangent to it and to the line from (x1, y1) to (x2, y2). Collinear points or a
// zero radius give a line to (x1, y1).
void CGPathAddArcToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x1, CGFloat y1, CGFloat x2,
                         CGFloat y2, CGFloat radius);
// A closed subpath: (minX, minY), (maxX, minY), (maxX, maxY), (minX, maxY).
void CGPathAddRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect);
void CGPathAddRects(const CGMutablePathRef& path, const CGAffineTransform* m, const std::vector<CGRect>& rects);
// A move to the first point and lines to the others.
void CGPathAddLines(const CGMutablePathRef& path, const CGAffineTransform* m, const std::vector<CGPoint>& points);
// A closed subpath of four curves, from (maxX, midY) with increasing angles.
void CGPathAddEllipseInRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect);
// Corner sizes above half the rectangle's side are taken as half of it.
void CGPathAddRoundedRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect, CGFloat cornerWidth,
                          CGFloat cornerHeight);
void CGPathAddPath(const CGMutablePathRef& path, const CGAffineTransform* m, const CGPathRef& other);
void CGPathCloseSubpath(const CGMutablePathRef& path);

bool CGPathIsEmpty(const CGPathRef& path);
bool CGPathEqualToPath(const CGPathRef& a, const CGPathRef& b);
// CGPointZero without a current point.
CGPoint CGPathGetCurrentPoint(const CGPathRef& path);
// The bounds of every point including control points; CGRectNull when empty.
CGRect CGPathGetBoundingBox(const CGPathRef& path);
// The tight bounds of the drawn curves (control points excluded); CGRectNull when empty.
CGRect CGPathGetPathBoundingBox(const CGPathRef& path);
// Whether the point (transformed by m) is inside the path filled by the winding or even-odd rule.
bool CGPathContainsPoint(const CGPathRef& path, const CGAffineTransform* m, CGPoint point, bool eoFill);
// Whether the path is exactly one rectangle as CGPathAddRect makes it (then its rectangle).
bool CGPathIsRect(const CGPathRef& path, CGRect* rect);
void CGPathApply(const CGPathRef& path, const std::function<void(const CGPathElement&)>& function);

// Lengths and trimming (for shape layers' stroke start and end). Curves are
// measured along 64 chords each, which keeps the error far below a pixel.
// The length of every segment, closing lines included; 0 for a null path.
CGFloat CGPathGetLength(const CGPathRef& path);
// The part of the path from `start` to `end`, as fractions of its length
// (clamped to 0...1): curves are cut at those points, subpaths keep their
// order, a closing line is kept as a line. An empty path when end <= start.
CGPathRef CGPathCreateCopyByTrimming(const CGPathRef& path, CGFloat start, CGFloat end);
