#include "platform/quartzcore/CALayerPath.h"

#include <cmath>

std::shared_ptr<const CALayerPath> CALayerPath::fromCGPath(const CGPathRef& path) {
    if (!path) return nullptr;
    auto out = std::make_shared<CALayerPath>();
    CGPathApply(path, [&](const CGPathElement& e) {
        switch (e.type) {
        case kCGPathElementMoveToPoint: out->moveTo(e.points[0]); break;
        case kCGPathElementAddLineToPoint: out->lineTo(e.points[0]); break;
        case kCGPathElementAddQuadCurveToPoint: out->quadTo(e.points[0], e.points[1]); break;
        case kCGPathElementAddCurveToPoint: out->curveTo(e.points[0], e.points[1], e.points[2]); break;
        case kCGPathElementCloseSubpath: out->close(); break;
        }
    });
    return out;
}

void CALayerPath::moveTo(CGPoint p) {
    elements_.push_back({Kind::Move, {p, {}, {}}});
    current_ = subpathStart_ = p;
    hasCurrent_ = true;
}

void CALayerPath::lineTo(CGPoint p) {
    if (!hasCurrent_) return moveTo(p);
    elements_.push_back({Kind::Line, {p, {}, {}}});
    current_ = p;
}

void CALayerPath::curveTo(CGPoint c1, CGPoint c2, CGPoint end) {
    if (!hasCurrent_) moveTo(c1);
    elements_.push_back({Kind::Curve, {c1, c2, end}});
    current_ = end;
}

void CALayerPath::quadTo(CGPoint q, CGPoint end) {
    if (!hasCurrent_) moveTo(q);
    CGPoint s = current_;
    curveTo({s.x + 2.0 / 3.0 * (q.x - s.x), s.y + 2.0 / 3.0 * (q.y - s.y)},
            {end.x + 2.0 / 3.0 * (q.x - end.x), end.y + 2.0 / 3.0 * (q.y - end.y)}, end);
}

void CALayerPath::close() {
    if (!hasCurrent_) return;
    elements_.push_back({Kind::Close, {}});
    current_ = subpathStart_;
}

void CALayerPath::addArc(CGPoint c, CGFloat r, CGFloat a0, CGFloat a1, bool clockwise) {
    if (!(r >= 0) || !std::isfinite(r) || !std::isfinite(a0) || !std::isfinite(a1)) return;
    // Sweep in the drawing direction: clockwise on screen is increasing angle.
    CGFloat sweep = a1 - a0;
    const CGFloat full = 2 * M_PI;
    if (clockwise) {
        if (sweep < 0) sweep = std::fmod(sweep, full) + full;
        if (a1 - a0 >= full) sweep = full;
    } else {
        if (sweep > 0) sweep = std::fmod(sweep, full) - full;
        if (a0 - a1 >= full) sweep = -full;
    }
    CGPoint start{c.x + r * std::cos(a0), c.y + r * std::sin(a0)};
    if (hasCurrent_) lineTo(start);
    else moveTo(start);
    int segments = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / (M_PI / 2) - 1e-9)));
    CGFloat step = sweep / segments;
    CGFloat k = 4.0 / 3.0 * std::tan(step / 4);
    CGFloat a = a0;
    for (int i = 0; i < segments; ++i) {
        CGFloat b = a + step;
        CGPoint p0{c.x + r * std::cos(a), c.y + r * std::sin(a)};
        CGPoint p3{c.x + r * std::cos(b), c.y + r * std::sin(b)};
        CGPoint p1{p0.x - k * r * std::sin(a), p0.y + k * r * std::cos(a)};
        CGPoint p2{p3.x + k * r * std::sin(b), p3.y - k * r * std::cos(b)};
        curveTo(p1, p2, p3);
        a = b;
    }
}

void CALayerPath::addRect(CGRect r) {
    r = CGRectStandardize(r);
    moveTo(r.origin);
    lineTo({CGRectGetMaxX(r), r.origin.y});
    lineTo({CGRectGetMaxX(r), CGRectGetMaxY(r)});
    lineTo({r.origin.x, CGRectGetMaxY(r)});
    close();
}

void CALayerPath::addRoundedRect(CGRect r, CGFloat radius) {
    r = CGRectStandardize(r);
    radius = std::min({std::isfinite(radius) ? radius : 0.0, r.size.width / 2, r.size.height / 2});
    if (radius <= 0) return addRect(r);
    CGFloat x0 = r.origin.x, y0 = r.origin.y, x1 = CGRectGetMaxX(r), y1 = CGRectGetMaxY(r);
    moveTo({x0 + radius, y0});
    addArc({x1 - radius, y0 + radius}, radius, -M_PI / 2, 0, true);
    addArc({x1 - radius, y1 - radius}, radius, 0, M_PI / 2, true);
    addArc({x0 + radius, y1 - radius}, radius, M_PI / 2, M_PI, true);
    addArc({x0 + radius, y0 + radius}, radius, M_PI, 3 * M_PI / 2, true);
    close();
}

void CALayerPath::addEllipse(CGRect r) {
    r = CGRectStandardize(r);
    if (CGRectIsEmpty(r)) return;
    CGFloat rx = r.size.width / 2, ry = r.size.height / 2, cx = CGRectGetMidX(r), cy = CGRectGetMidY(r);
    const CGFloat k = 0.5522847498307936;
    moveTo({cx + rx, cy});
    curveTo({cx + rx, cy + k * ry}, {cx + k * rx, cy + ry}, {cx, cy + ry});
    curveTo({cx - k * rx, cy + ry}, {cx - rx, cy + k * ry}, {cx - rx, cy});
    curveTo({cx - rx, cy - k * ry}, {cx - k * rx, cy - ry}, {cx, cy - ry});
    curveTo({cx + k * rx, cy - ry}, {cx + rx, cy - k * ry}, {cx + rx, cy});
    close();
}

CGRect CALayerPath::boundingBox() const {
    bool any = false;
    CGFloat x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    for (const auto& e : elements_) {
        int n = e.kind == Kind::Curve ? 3 : e.kind == Kind::Close ? 0 : 1;
        for (int i = 0; i < n; ++i) {
            CGPoint p = e.points[i];
            if (!any) x0 = x1 = p.x, y0 = y1 = p.y, any = true;
            x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
        }
    }
    return any ? CGRectMake(x0, y0, x1 - x0, y1 - y0) : CGRectZero;
}
