#pragma once
// The outline a shape layer draws: moves, lines, cubic curves and closes, in the
// layer's own coordinates (y down, as views draw). Arcs and rounded corners are
// turned into cubic curves when added.
//
// This is the shape layers' own path value. The drawing layer's CGPath converts
// into it element by element (CAShapeLayer::setPath takes either), so the shape
// layer's renderer depends on nothing but this list.
#include <memory>
#include <vector>

#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/CGPath.h"

class CALayerPath {
public:
    // The drawing layer's path element by element (null for a null path).
    static std::shared_ptr<const CALayerPath> fromCGPath(const CGPathRef& path);

    enum class Kind { Move, Line, Curve, Close };
    struct Element {
        Kind kind;
        CGPoint points[3];  // Move/Line: points[0]; Curve: control 1, control 2, end
    };

    void moveTo(CGPoint p);
    void lineTo(CGPoint p);
    void curveTo(CGPoint c1, CGPoint c2, CGPoint end);
    void quadTo(CGPoint control, CGPoint end);
    void close();
    // An arc around the centre from startAngle to endAngle (radians, 0 along +x);
    // clockwise as seen on the screen (angles grow clockwise with y down).
    // A line joins the current point to the arc's start. A negative or
    // non-finite radius adds nothing.
    void addArc(CGPoint centre, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise);
    void addRect(CGRect rect);
    // Corner radius limited to half the shorter side; 0 gives a plain rectangle.
    void addRoundedRect(CGRect rect, CGFloat cornerRadius);
    void addEllipse(CGRect rect);

    const std::vector<Element>& elements() const { return elements_; }
    bool isEmpty() const { return elements_.empty(); }
    // The points' box (control points included, so it may be larger than the curve).
    CGRect boundingBox() const;
    bool hasCurrentPoint() const { return hasCurrent_; }
    CGPoint currentPoint() const { return current_; }

private:
    std::vector<Element> elements_;
    CGPoint current_{};
    CGPoint subpathStart_{};
    bool hasCurrent_ = false;
};
