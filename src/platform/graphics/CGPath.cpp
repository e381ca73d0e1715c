// Path construction and queries. Arcs become cubic curves of at most a quarter
// turn each (control distance 4/3 tan(sweep / 4) of the radius).
#include "platform/graphics/CGPath.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSLog.h"

namespace {

CGPoint apply(const CGAffineTransform* m, CGFloat x, CGFloat y) {
    return m ? CGPointApplyAffineTransform({x, y}, *m) : CGPoint{x, y};
}

bool finite(std::initializer_list<CGFloat> values) {
    for (CGFloat v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

// Checks the path, the transform and the numbers; a console line names what was refused.
bool accepts(const char* function, const CGMutablePathRef& path, const CGAffineTransform* m,
             std::initializer_list<CGFloat> values) {
    if (!path) return false;
    if ((m && !CGAffineTransformIsFinite(*m)) || !finite(values)) {
        NSLog("%s: invalid (non-finite) value ignored", function);
        return false;
    }
    return true;
}

CGPathElement element(CGPathElementType type, CGPoint p0 = {}, CGPoint p1 = {}, CGPoint p2 = {}) {
    return CGPathElement{type, {p0, p1, p2}};
}

int pointCount(CGPathElementType type) {
    switch (type) {
    case kCGPathElementMoveToPoint:
    case kCGPathElementAddLineToPoint: return 1;
    case kCGPathElementAddQuadCurveToPoint: return 2;
    case kCGPathElementAddCurveToPoint: return 3;
    case kCGPathElementCloseSubpath: break;
    }
    return 0;
}

// Appends the arc in user space (centre, radius, start angle, signed sweep) through m.
void addArcSweep(CGPath& path, const CGAffineTransform* m, CGFloat x, CGFloat y, CGFloat r, CGFloat start,
                 CGFloat sweep) {
    CGPoint first = apply(m, x + r * std::cos(start), y + r * std::sin(start));
    path.append(element(path.hasCurrentPoint() ? kCGPathElementAddLineToPoint : kCGPathElementMoveToPoint, first));
    if (sweep == 0 || r == 0) return;
    int segments = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / (M_PI / 2) - 1e-9)));
    CGFloat step = sweep / segments;
    CGFloat k = 4.0 / 3.0 * std::tan(step / 4) * r;
    CGFloat a = start;
    for (int i = 0; i < segments; ++i) {
        CGFloat b = a + step;
        CGFloat ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
        path.append(element(kCGPathElementAddCurveToPoint, apply(m, x + r * ca - k * sa, y + r * sa + k * ca),
                            apply(m, x + r * cb + k * sb, y + r * sb - k * cb), apply(m, x + r * cb, y + r * sb)));
        a = b;
    }
}

// The x or y extremes of a cubic from p0 over p1, p2 to p3, into lo and hi.
void cubicExtent(CGFloat p0, CGFloat p1, CGFloat p2, CGFloat p3, CGFloat& lo, CGFloat& hi) {
    auto at = [&](CGFloat t) {
        CGFloat u = 1 - t;
        return u * u * u * p0 + 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t * p3;
    };
    lo = std::min(lo, p3), hi = std::max(hi, p3);
    // The derivative's roots: a t^2 + b t + c = 0.
    CGFloat a = -p0 + 3 * p1 - 3 * p2 + p3, b = 2 * (p0 - 2 * p1 + p2), c = p1 - p0;
    CGFloat roots[2];
    int n = 0;
    if (std::fabs(a) < 1e-12) {
        if (std::fabs(b) > 1e-12) roots[n++] = -c / b;
    } else {
        CGFloat disc = b * b - 4 * a * c;
        if (disc >= 0) {
            CGFloat sq = std::sqrt(disc);
            roots[n++] = (-b + sq) / (2 * a);
            roots[n++] = (-b - sq) / (2 * a);
        }
    }
    for (int i = 0; i < n; ++i) {
        if (roots[i] <= 0 || roots[i] >= 1) continue;
        CGFloat v = at(roots[i]);
        lo = std::min(lo, v), hi = std::max(hi, v);
    }
}

CGRect rectFrom(CGFloat x0, CGFloat y0, CGFloat x1, CGFloat y1) { return CGRectMake(x0, y0, x1 - x0, y1 - y0); }

}  // namespace

CGPath::CGPath(const CGPath& other)
    : NSObject(), elements_(other.elements_), current_(other.current_), subpathStart_(other.subpathStart_),
      hasCurrent_(other.hasCurrent_) {}

void CGPath::append(const CGPathElement& e) {
    switch (e.type) {
    case kCGPathElementMoveToPoint:
        // A move after a move replaces it, as the platform keeps only the last.
        if (!elements_.empty() && elements_.back().type == kCGPathElementMoveToPoint) elements_.pop_back();
        subpathStart_ = current_ = e.points[0];
        break;
    case kCGPathElementCloseSubpath:
        if (!hasCurrent_) return;
        current_ = subpathStart_;
        break;
    default:
        if (!hasCurrent_) {
            append(element(kCGPathElementMoveToPoint, e.points[0]));
            if (e.type == kCGPathElementAddLineToPoint) return;
        }
        current_ = e.points[pointCount(e.type) - 1];
        break;
    }
    hasCurrent_ = true;
    elements_.push_back(e);
}

std::string CGPath::description() const {
    std::string text = "<CGPath";
    static const char* names[] = {"move", "line", "quad", "curve", "close"};
    for (const CGPathElement& e : elements_) {
        text += std::string(" ") + names[e.type];
        for (int i = 0; i < pointCount(e.type); ++i) text += format(" %g,%g", e.points[i].x, e.points[i].y);
    }
    return text + ">";
}

CGMutablePathRef CGPathCreateMutable() { return std::make_shared<CGPath>(); }

CGPathRef CGPathCreateCopy(const CGPathRef& path) { return path ? std::make_shared<CGPath>(*path) : nullptr; }

CGMutablePathRef CGPathCreateMutableCopy(const CGPathRef& path) {
    return path ? std::make_shared<CGPath>(*path) : nullptr;
}

CGMutablePathRef CGPathCreateMutableCopyByTransformingPath(const CGPathRef& path, const CGAffineTransform* m) {
    if (!path) return nullptr;
    if (m && !CGAffineTransformIsFinite(*m)) {
        NSLog("CGPathCreateCopyByTransformingPath: invalid (non-finite) transform ignored");
        return nullptr;
    }
    auto copy = CGPathCreateMutable();
    CGPathAddPath(copy, m, path);
    return copy;
}

CGPathRef CGPathCreateCopyByTransformingPath(const CGPathRef& path, const CGAffineTransform* m) {
    return CGPathCreateMutableCopyByTransformingPath(path, m);
}

CGPathRef CGPathCreateWithRect(CGRect rect, const CGAffineTransform* m) {
    auto path = CGPathCreateMutable();
    CGPathAddRect(path, m, rect);
    return path;
}

CGPathRef CGPathCreateWithEllipseInRect(CGRect rect, const CGAffineTransform* m) {
    auto path = CGPathCreateMutable();
    CGPathAddEllipseInRect(path, m, rect);
    return path;
}

CGPathRef CGPathCreateWithRoundedRect(CGRect rect, CGFloat cornerWidth, CGFloat cornerHeight,
                                      const CGAffineTransform* m) {
    auto path = CGPathCreateMutable();
    CGPathAddRoundedRect(path, m, rect, cornerWidth, cornerHeight);
    return path;
}

void CGPathMoveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y) {
    if (!accepts("CGPathMoveToPoint", path, m, {x, y})) return;
    path->append(element(kCGPathElementMoveToPoint, apply(m, x, y)));
}

void CGPathAddLineToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y) {
    if (!accepts("CGPathAddLineToPoint", path, m, {x, y})) return;
    path->append(element(kCGPathElementAddLineToPoint, apply(m, x, y)));
}

void CGPathAddQuadCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat cpx, CGFloat cpy,
                               CGFloat x, CGFloat y) {
    if (!accepts("CGPathAddQuadCurveToPoint", path, m, {cpx, cpy, x, y})) return;
    path->append(element(kCGPathElementAddQuadCurveToPoint, apply(m, cpx, cpy), apply(m, x, y)));
}

void CGPathAddCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat cp1x, CGFloat cp1y,
                           CGFloat cp2x, CGFloat cp2y, CGFloat x, CGFloat y) {
    if (!accepts("CGPathAddCurveToPoint", path, m, {cp1x, cp1y, cp2x, cp2y, x, y})) return;
    path->append(element(kCGPathElementAddCurveToPoint, apply(m, cp1x, cp1y), apply(m, cp2x, cp2y), apply(m, x, y)));
}

void CGPathAddArc(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y, CGFloat radius,
                  CGFloat startAngle, CGFloat endAngle, bool clockwise) {
    if (!accepts("CGPathAddArc", path, m, {x, y, radius, startAngle, endAngle})) return;
    if (radius < 0) {
        NSLog("CGPathAddArc: negative radius %g ignored", radius);
        return;
    }
    constexpr CGFloat kTurn = 2 * M_PI;
    CGFloat sweep = clockwise ? startAngle - endAngle : endAngle - startAngle;
    if (sweep >= kTurn) {
        sweep = kTurn;
    } else {
        sweep = std::fmod(sweep, kTurn);
        if (sweep < 0) sweep += kTurn;
    }
    addArcSweep(*path, m, x, y, radius, startAngle, clockwise ? -sweep : sweep);
}

void CGPathAddRelativeArc(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y,
                          CGFloat radius, CGFloat startAngle, CGFloat delta) {
    if (!accepts("CGPathAddRelativeArc", path, m, {x, y, radius, startAngle, delta})) return;
    if (radius < 0) {
        NSLog("CGPathAddRelativeArc: negative radius %g ignored", radius);
        return;
    }
    addArcSweep(*path, m, x, y, radius, startAngle, std::clamp(delta, -2 * M_PI, 2 * M_PI));
}

void CGPathAddArcToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x1, CGFloat y1, CGFloat x2,
                         CGFloat y2, CGFloat radius) {
    if (!accepts("CGPathAddArcToPoint", path, m, {x1, y1, x2, y2, radius})) return;
    if (radius < 0) {
        NSLog("CGPathAddArcToPoint: negative radius %g ignored", radius);
        return;
    }
    if (!path->hasCurrentPoint()) {
        NSLog("CGPathAddArcToPoint: no current point");
        return;
    }
    // The tangent construction runs in user space: the current point is brought back through m.
    CGPoint p0 = path->currentPoint();
    if (m) p0 = CGPointApplyAffineTransform(p0, CGAffineTransformInvert(*m));
    CGFloat ux = p0.x - x1, uy = p0.y - y1, vx = x2 - x1, vy = y2 - y1;
    CGFloat lu = std::hypot(ux, uy), lv = std::hypot(vx, vy);
    CGFloat cross = ux * vy - uy * vx;
    if (lu == 0 || lv == 0 || radius == 0 || std::fabs(cross) < 1e-12 * lu * lv) {
        path->append(element(kCGPathElementAddLineToPoint, apply(m, x1, y1)));
        return;
    }
    ux /= lu, uy /= lu, vx /= lv, vy /= lv;
    CGFloat angle = std::acos(std::clamp(ux * vx + uy * vy, -1.0, 1.0));
    CGFloat tangent = radius / std::tan(angle / 2);
    CGFloat bx = ux + vx, by = uy + vy, lb = std::hypot(bx, by);
    CGFloat centre = radius / std::sin(angle / 2);
    CGFloat cx = x1 + bx / lb * centre, cy = y1 + by / lb * centre;
    CGFloat t1x = x1 + ux * tangent, t1y = y1 + uy * tangent, t2x = x1 + vx * tangent, t2y = y1 + vy * tangent;
    CGFloat a1 = std::atan2(t1y - cy, t1x - cx), a2 = std::atan2(t2y - cy, t2x - cx);
    CGFloat sweep = a2 - a1;
    while (sweep > M_PI) sweep -= 2 * M_PI;
    while (sweep < -M_PI) sweep += 2 * M_PI;
    addArcSweep(*path, m, cx, cy, radius, a1, sweep);
}

void CGPathAddRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect) {
    if (!accepts("CGPathAddRect", path, m, {rect.origin.x, rect.origin.y, rect.size.width, rect.size.height})) return;
    rect = CGRectStandardize(rect);
    CGFloat x0 = CGRectGetMinX(rect), y0 = CGRectGetMinY(rect), x1 = CGRectGetMaxX(rect), y1 = CGRectGetMaxY(rect);
    path->append(element(kCGPathElementMoveToPoint, apply(m, x0, y0)));
    path->append(element(kCGPathElementAddLineToPoint, apply(m, x1, y0)));
    path->append(element(kCGPathElementAddLineToPoint, apply(m, x1, y1)));
    path->append(element(kCGPathElementAddLineToPoint, apply(m, x0, y1)));
    path->append(element(kCGPathElementCloseSubpath));
}

void CGPathAddRects(const CGMutablePathRef& path, const CGAffineTransform* m, const std::vector<CGRect>& rects) {
    for (const CGRect& r : rects) CGPathAddRect(path, m, r);
}

void CGPathAddLines(const CGMutablePathRef& path, const CGAffineTransform* m, const std::vector<CGPoint>& points) {
    for (const CGPoint& p : points)
        if (!accepts("CGPathAddLines", path, m, {p.x, p.y})) return;
    for (std::size_t i = 0; i < points.size(); ++i)
        path->append(element(i == 0 ? kCGPathElementMoveToPoint : kCGPathElementAddLineToPoint,
                             apply(m, points[i].x, points[i].y)));
}

void CGPathAddEllipseInRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect) {
    if (!accepts("CGPathAddEllipseInRect", path, m, {rect.origin.x, rect.origin.y, rect.size.width, rect.size.height}))
        return;
    rect = CGRectStandardize(rect);
    CGFloat rx = rect.size.width / 2, ry = rect.size.height / 2;
    // A unit circle scaled into the rectangle: the same curves as an arc.
    CGAffineTransform local = CGAffineTransformConcat(
        CGAffineTransformConcat(CGAffineTransformMakeScale(rx, ry),
                                CGAffineTransformMakeTranslation(CGRectGetMidX(rect), CGRectGetMidY(rect))),
        m ? *m : CGAffineTransformIdentity);
    CGPath circle;
    addArcSweep(circle, &local, 0, 0, 1, 0, 2 * M_PI);
    for (const CGPathElement& e : circle.elements()) path->append(e);
    path->append(element(kCGPathElementCloseSubpath));
}

void CGPathAddRoundedRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect, CGFloat cornerWidth,
                          CGFloat cornerHeight) {
    if (!accepts("CGPathAddRoundedRect", path, m,
                 {rect.origin.x, rect.origin.y, rect.size.width, rect.size.height, cornerWidth, cornerHeight}))
        return;
    if (cornerWidth < 0 || cornerHeight < 0) {
        NSLog("CGPathAddRoundedRect: negative corner size %g x %g ignored", cornerWidth, cornerHeight);
        return;
    }
    rect = CGRectStandardize(rect);
    CGFloat cw = std::min(cornerWidth, rect.size.width / 2), ch = std::min(cornerHeight, rect.size.height / 2);
    if (cw == 0 || ch == 0) {
        CGPathAddRect(path, m, rect);
        return;
    }
    CGFloat x0 = CGRectGetMinX(rect), y0 = CGRectGetMinY(rect), x1 = CGRectGetMaxX(rect), y1 = CGRectGetMaxY(rect);
    // Each corner is a quarter of an ellipse of cw x ch: a unit arc scaled through m.
    auto corner = [&](CGFloat cx, CGFloat cy, CGFloat start) {
        CGAffineTransform local = CGAffineTransformConcat(
            CGAffineTransformConcat(CGAffineTransformMakeScale(cw, ch), CGAffineTransformMakeTranslation(cx, cy)),
            m ? *m : CGAffineTransformIdentity);
        addArcSweep(*path, &local, 0, 0, 1, start, M_PI / 2);
    };
    path->append(element(kCGPathElementMoveToPoint, apply(m, x0 + cw, y0)));
    corner(x1 - cw, y0 + ch, -M_PI / 2);
    corner(x1 - cw, y1 - ch, 0);
    corner(x0 + cw, y1 - ch, M_PI / 2);
    corner(x0 + cw, y0 + ch, M_PI);
    path->append(element(kCGPathElementCloseSubpath));
}

void CGPathAddPath(const CGMutablePathRef& path, const CGAffineTransform* m, const CGPathRef& other) {
    if (!other || !accepts("CGPathAddPath", path, m, {})) return;
    // Copied first: the path may be added to itself.
    std::vector<CGPathElement> elements = other->elements();
    for (CGPathElement e : elements) {
        for (int i = 0; i < pointCount(e.type); ++i) e.points[i] = apply(m, e.points[i].x, e.points[i].y);
        path->append(e);
    }
}

void CGPathCloseSubpath(const CGMutablePathRef& path) {
    if (path) path->append(element(kCGPathElementCloseSubpath));
}

bool CGPathIsEmpty(const CGPathRef& path) { return !path || path->elements().empty(); }

bool CGPathEqualToPath(const CGPathRef& a, const CGPathRef& b) {
    if (!a || !b) return a == b;
    return a->elements() == b->elements();
}

CGPoint CGPathGetCurrentPoint(const CGPathRef& path) {
    return path && path->hasCurrentPoint() ? path->currentPoint() : CGPointZero;
}

CGRect CGPathGetBoundingBox(const CGPathRef& path) {
    if (CGPathIsEmpty(path)) return CGRectNull;
    CGFloat x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (const CGPathElement& e : path->elements())
        for (int i = 0; i < pointCount(e.type); ++i) {
            x0 = std::min(x0, e.points[i].x), x1 = std::max(x1, e.points[i].x);
            y0 = std::min(y0, e.points[i].y), y1 = std::max(y1, e.points[i].y);
        }
    return rectFrom(x0, y0, x1, y1);
}

CGRect CGPathGetPathBoundingBox(const CGPathRef& path) {
    if (CGPathIsEmpty(path)) return CGRectNull;
    CGFloat x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    CGPoint last{};
    for (const CGPathElement& e : path->elements()) {
        const auto& p = e.points;
        switch (e.type) {
        case kCGPathElementMoveToPoint:
        case kCGPathElementAddLineToPoint:
            x0 = std::min(x0, p[0].x), x1 = std::max(x1, p[0].x);
            y0 = std::min(y0, p[0].y), y1 = std::max(y1, p[0].y);
            last = p[0];
            break;
        case kCGPathElementAddQuadCurveToPoint: {
            CGPoint c1{last.x + 2.0 / 3.0 * (p[0].x - last.x), last.y + 2.0 / 3.0 * (p[0].y - last.y)};
            CGPoint c2{p[1].x + 2.0 / 3.0 * (p[0].x - p[1].x), p[1].y + 2.0 / 3.0 * (p[0].y - p[1].y)};
            cubicExtent(last.x, c1.x, c2.x, p[1].x, x0, x1);
            cubicExtent(last.y, c1.y, c2.y, p[1].y, y0, y1);
            last = p[1];
            break;
        }
        case kCGPathElementAddCurveToPoint:
            cubicExtent(last.x, p[0].x, p[1].x, p[2].x, x0, x1);
            cubicExtent(last.y, p[0].y, p[1].y, p[2].y, y0, y1);
            last = p[2];
            break;
        case kCGPathElementCloseSubpath: break;
        }
    }
    return rectFrom(x0, y0, x1, y1);
}

namespace {
// Winding contribution of the segment a-b to a ray from p towards +x.
int crossing(CGPoint a, CGPoint b, CGPoint p) {
    if ((a.y <= p.y) == (b.y <= p.y)) return 0;
    CGFloat x = a.x + (p.y - a.y) / (b.y - a.y) * (b.x - a.x);
    if (x <= p.x) return 0;
    return b.y > a.y ? 1 : -1;
}
}  // namespace

bool CGPathContainsPoint(const CGPathRef& path, const CGAffineTransform* m, CGPoint point, bool eoFill) {
    if (CGPathIsEmpty(path) || !std::isfinite(point.x) || !std::isfinite(point.y)) return false;
    if (m) point = CGPointApplyAffineTransform(point, *m);
    int winding = 0, crossings = 0;
    CGPoint start{}, last{};
    auto segment = [&](CGPoint a, CGPoint b) {
        int w = crossing(a, b, point);
        winding += w;
        crossings += w != 0;
    };
    auto cubic = [&](CGPoint p0, CGPoint p1, CGPoint p2, CGPoint p3) {
        constexpr int kSteps = 32;
        CGPoint prev = p0;
        for (int i = 1; i <= kSteps; ++i) {
            CGFloat t = CGFloat(i) / kSteps, u = 1 - t;
            CGPoint q{u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x,
                      u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y + t * t * t * p3.y};
            segment(prev, q);
            prev = q;
        }
    };
    for (const CGPathElement& e : path->elements()) {
        const auto& p = e.points;
        switch (e.type) {
        case kCGPathElementMoveToPoint:
            segment(last, start);  // open subpaths are filled as if closed
            start = last = p[0];
            break;
        case kCGPathElementAddLineToPoint: segment(last, p[0]), last = p[0]; break;
        case kCGPathElementAddQuadCurveToPoint:
            cubic(last, {last.x + 2.0 / 3.0 * (p[0].x - last.x), last.y + 2.0 / 3.0 * (p[0].y - last.y)},
                  {p[1].x + 2.0 / 3.0 * (p[0].x - p[1].x), p[1].y + 2.0 / 3.0 * (p[0].y - p[1].y)}, p[1]);
            last = p[1];
            break;
        case kCGPathElementAddCurveToPoint: cubic(last, p[0], p[1], p[2]), last = p[2]; break;
        case kCGPathElementCloseSubpath: segment(last, start), last = start; break;
        }
    }
    segment(last, start);
    return eoFill ? crossings % 2 == 1 : winding != 0;
}

bool CGPathIsRect(const CGPathRef& path, CGRect* rect) {
    if (!path) return false;
    const auto& e = path->elements();
    if (e.size() != 5 || e[0].type != kCGPathElementMoveToPoint || e[4].type != kCGPathElementCloseSubpath) return false;
    for (int i = 1; i < 4; ++i)
        if (e[i].type != kCGPathElementAddLineToPoint) return false;
    CGPoint a = e[0].points[0], b = e[1].points[0], c = e[2].points[0], d = e[3].points[0];
    bool axis = (a.y == b.y && b.x == c.x && c.y == d.y && d.x == a.x) || (a.x == b.x && b.y == c.y && c.x == d.x && d.y == a.y);
    if (!axis) return false;
    if (rect) *rect = CGRectStandardize(CGRectMake(a.x, a.y, c.x - a.x, c.y - a.y));
    return true;
}

void CGPathApply(const CGPathRef& path, const std::function<void(const CGPathElement&)>& function) {
    if (!path || !function) return;
    for (const CGPathElement& e : path->elements()) function(e);
}
