// The context's current path over Cairo's: building it (arcs and ellipses
// through CGPath's curves, so both give the same shapes), drawing and clipping.
#include <cmath>

#include "platform/graphics/CGContextCairo.h"

void appendPathToCairo(cairo_t* cr, const CGPath& path) {
    for (const CGPathElement& e : path.elements()) {
        const auto& p = e.points;
        switch (e.type) {
        case kCGPathElementMoveToPoint: cairo_move_to(cr, p[0].x, p[0].y); break;
        case kCGPathElementAddLineToPoint: cairo_line_to(cr, p[0].x, p[0].y); break;
        case kCGPathElementAddQuadCurveToPoint: {
            double x0 = p[0].x, y0 = p[0].y;
            if (cairo_has_current_point(cr)) cairo_get_current_point(cr, &x0, &y0);
            cairo_curve_to(cr, x0 + 2.0 / 3.0 * (p[0].x - x0), y0 + 2.0 / 3.0 * (p[0].y - y0),
                           p[1].x + 2.0 / 3.0 * (p[0].x - p[1].x), p[1].y + 2.0 / 3.0 * (p[0].y - p[1].y), p[1].x,
                           p[1].y);
            break;
        }
        case kCGPathElementAddCurveToPoint:
            cairo_curve_to(cr, p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
            break;
        case kCGPathElementCloseSubpath: cairo_close_path(cr); break;
        }
    }
}

namespace {

// A scratch path that starts at the context's current point (when it has one).
CGMutablePathRef continuingPath(cairo_t* cr, bool& continued) {
    auto path = CGPathCreateMutable();
    continued = cairo_has_current_point(cr);
    if (continued) {
        double x, y;
        cairo_get_current_point(cr, &x, &y);
        CGPathMoveToPoint(path, nullptr, x, y);
    }
    return path;
}

// Appends the scratch path, without its opening move when it continues the current point.
void appendContinued(cairo_t* cr, const CGPath& path, bool continued) {
    const auto& elements = path.elements();
    std::size_t first = continued && !elements.empty() ? 1 : 0;
    for (std::size_t i = first; i < elements.size(); ++i) {
        const CGPathElement& e = elements[i];
        const auto& p = e.points;
        switch (e.type) {
        case kCGPathElementMoveToPoint: cairo_move_to(cr, p[0].x, p[0].y); break;
        case kCGPathElementAddLineToPoint: cairo_line_to(cr, p[0].x, p[0].y); break;
        case kCGPathElementAddCurveToPoint:
            cairo_curve_to(cr, p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
            break;
        case kCGPathElementCloseSubpath: cairo_close_path(cr); break;
        case kCGPathElementAddQuadCurveToPoint: break;  // scratch paths hold no quadratic curves
        }
    }
}

}  // namespace

void CGContextBeginPath(const CGContextRef& c) { CTX_STATE(c); cairo_new_path(s.cr); }

void CGContextMoveToPoint(const CGContextRef& c, double x, double y) {
    CTX_STATE(c);
    REFUSE_UNLESS(finiteValues({x, y}));
    cairo_move_to(s.cr, x, y);
}

void CGContextAddLineToPoint(const CGContextRef& c, double x, double y) {
    CTX_STATE(c);
    REFUSE_UNLESS(finiteValues({x, y}));
    cairo_line_to(s.cr, x, y);
}

void CGContextAddCurveToPoint(const CGContextRef& c, double cp1x, double cp1y, double cp2x, double cp2y, double x,
                              double y) {
    CTX_STATE(c);
    REFUSE_UNLESS(finiteValues({cp1x, cp1y, cp2x, cp2y, x, y}));
    cairo_curve_to(s.cr, cp1x, cp1y, cp2x, cp2y, x, y);
}

void CGContextAddQuadCurveToPoint(const CGContextRef& c, double cpx, double cpy, double x, double y) {
    CTX_STATE(c);
    REFUSE_UNLESS(finiteValues({cpx, cpy, x, y}));
    double x0 = cpx, y0 = cpy;
    if (cairo_has_current_point(s.cr)) cairo_get_current_point(s.cr, &x0, &y0);
    else cairo_move_to(s.cr, x0, y0);
    cairo_curve_to(s.cr, x0 + 2.0 / 3.0 * (cpx - x0), y0 + 2.0 / 3.0 * (cpy - y0), x + 2.0 / 3.0 * (cpx - x),
                   y + 2.0 / 3.0 * (cpy - y), x, y);
}

void CGContextAddArc(const CGContextRef& c, double x, double y, double radius, double startAngle, double endAngle,
                     int clockwise) {
    CTX_STATE(c);
    REFUSE_UNLESS(finiteValues({x, y, radius, startAngle, endAngle}) && radius >= 0);
    bool continued = false;
    auto path = continuingPath(s.cr, continued);
    CGPathAddArc(path, nullptr, x, y, radius, startAngle, endAngle, clockwise != 0);
    appendContinued(s.cr, *path, continued);
}

void CGContextAddArcToPoint(const CGContextRef& c, double x1, double y1, double x2, double y2, double radius) {
    CTX_STATE(c);
    REFUSE_UNLESS(finiteValues({x1, y1, x2, y2, radius}) && radius >= 0);
    bool continued = false;
    auto path = continuingPath(s.cr, continued);
    if (!continued) {
        NSLog("CGContextAddArcToPoint: no current point");
        return;
    }
    CGPathAddArcToPoint(path, nullptr, x1, y1, x2, y2, radius);
    appendContinued(s.cr, *path, continued);
}

void CGContextAddRect(const CGContextRef& c, CGRect rect) {
    CTX_STATE(c);
    REFUSE_UNLESS(CGRectIsFinite(rect));
    auto path = CGPathCreateMutable();
    CGPathAddRect(path, nullptr, rect);
    appendPathToCairo(s.cr, *path);
}

void CGContextAddEllipseInRect(const CGContextRef& c, CGRect rect) {
    CTX_STATE(c);
    REFUSE_UNLESS(CGRectIsFinite(rect));
    if (rect.size.width == 0 || rect.size.height == 0) return;
    auto path = CGPathCreateMutable();
    CGPathAddEllipseInRect(path, nullptr, rect);
    appendPathToCairo(s.cr, *path);
}

void CGContextAddPath(const CGContextRef& c, const CGPathRef& path) {
    CTX_STATE(c);
    if (!path) return;
    appendPathToCairo(s.cr, *path);
}

void CGContextClosePath(const CGContextRef& c) { CTX_STATE(c); cairo_close_path(s.cr); }

CGPathRef CGContextCopyPath(const CGContextRef& c) {
    CTX_STATE(c, nullptr);
    cairo_path_t* cp = cairo_copy_path(s.cr);
    if (cp->status != CAIRO_STATUS_SUCCESS || cp->num_data == 0) {
        cairo_path_destroy(cp);
        return nullptr;
    }
    auto path = CGPathCreateMutable();
    for (int i = 0; i < cp->num_data; i += cp->data[i].header.length) {
        const cairo_path_data_t* d = &cp->data[i];
        auto pt = [&](int k) { return CGPoint{d[k].point.x, d[k].point.y}; };
        switch (d->header.type) {
        case CAIRO_PATH_MOVE_TO: path->append(CGPathElement{kCGPathElementMoveToPoint, {pt(1)}}); break;
        case CAIRO_PATH_LINE_TO: path->append(CGPathElement{kCGPathElementAddLineToPoint, {pt(1)}}); break;
        case CAIRO_PATH_CURVE_TO:
            path->append(CGPathElement{kCGPathElementAddCurveToPoint, {pt(1), pt(2), pt(3)}});
            break;
        case CAIRO_PATH_CLOSE_PATH: path->append(CGPathElement{kCGPathElementCloseSubpath, {}}); break;
        }
    }
    cairo_path_destroy(cp);
    return path;
}

bool CGContextIsPathEmpty(const CGContextRef& c) {
    CTX_STATE(c, true);
    cairo_path_t* path = cairo_copy_path(s.cr);
    bool empty = path->num_data == 0;
    cairo_path_destroy(path);
    return empty;
}

CGRect CGContextGetPathBoundingBox(const CGContextRef& c) { return CGPathGetBoundingBox(CGContextCopyPath(c)); }

CGPoint CGContextGetPathCurrentPoint(const CGContextRef& c) {
    CTX_STATE(c, CGPointZero);
    if (!cairo_has_current_point(s.cr)) return CGPointZero;
    double x, y;
    cairo_get_current_point(s.cr, &x, &y);
    return {x, y};
}

void CGContextDrawPath(const CGContextRef& c, CGPathDrawingMode mode) {
    CTX_STATE(c);
    bool fill = mode == kCGPathFill || mode == kCGPathEOFill || mode == kCGPathFillStroke || mode == kCGPathEOFillStroke;
    bool stroke = mode == kCGPathStroke || mode == kCGPathFillStroke || mode == kCGPathEOFillStroke;
    bool evenOdd = mode == kCGPathEOFill || mode == kCGPathEOFillStroke;
    cairo_path_t* path = cairo_copy_path(s.cr);
    cairo_new_path(s.cr);
    if (path->status == CAIRO_STATUS_SUCCESS && path->num_data > 0) {
        s.paint([&](cairo_t* cr) {
            cairo_new_path(cr);
            cairo_append_path(cr, path);
            s.setOperator(cr);
            if (fill) {
                cairo_set_fill_rule(cr, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
                s.setSource(cr, s.gs.fill);
                cairo_fill_preserve(cr);
            }
            if (stroke) {
                s.setSource(cr, s.gs.stroke);
                s.setStroke(cr);
                cairo_stroke_preserve(cr);
            }
            cairo_new_path(cr);
        });
    }
    cairo_path_destroy(path);
    s.check(__func__);
}
void CGContextFillPath(const CGContextRef& c) { CGContextDrawPath(c, kCGPathFill); }
void CGContextEOFillPath(const CGContextRef& c) { CGContextDrawPath(c, kCGPathEOFill); }
void CGContextStrokePath(const CGContextRef& c) { CGContextDrawPath(c, kCGPathStroke); }

void CGContextClip(const CGContextRef& c) {
    CTX_STATE(c);
    cairo_set_fill_rule(s.cr, CAIRO_FILL_RULE_WINDING);
    cairo_clip(s.cr);
    s.check(__func__);
}

void CGContextEOClip(const CGContextRef& c) {
    CTX_STATE(c);
    cairo_set_fill_rule(s.cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_clip(s.cr);
    s.check(__func__);
}

void CGContextClipToRect(const CGContextRef& c, CGRect rect) {
    CTX_STATE(c);
    REFUSE_UNLESS(CGRectIsFinite(rect));
    s.keepingPath([&] {
        cairo_rectangle(s.cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
        cairo_set_fill_rule(s.cr, CAIRO_FILL_RULE_WINDING);
        cairo_clip(s.cr);
    });
    s.check(__func__);
}

CGRect CGContextGetClipBoundingBox(const CGContextRef& c) {
    CTX_STATE(c, CGRectNull);
    double x0, y0, x1, y1;
    cairo_clip_extents(s.cr, &x0, &y0, &x1, &y1);
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

void CGContextFillEllipseInRect(const CGContextRef& c, CGRect rect) {
    CTX_STATE(c);
    REFUSE_UNLESS(CGRectIsFinite(rect));
    s.keepingPath([&] {
        CGContextAddEllipseInRect(c, rect);
        CGContextFillPath(c);
    });
}

void CGContextStrokeEllipseInRect(const CGContextRef& c, CGRect rect) {
    CTX_STATE(c);
    REFUSE_UNLESS(CGRectIsFinite(rect));
    s.keepingPath([&] {
        CGContextAddEllipseInRect(c, rect);
        CGContextStrokePath(c);
    });
}

void CGContextStrokeLineSegments(const CGContextRef& c, const std::vector<CGPoint>& points) {
    CTX_STATE(c);
    for (const CGPoint& p : points) REFUSE_UNLESS(finiteValues({p.x, p.y}));
    s.keepingPath([&] {
        for (std::size_t i = 0; i + 1 < points.size(); i += 2) {
            CGContextMoveToPoint(c, points[i].x, points[i].y);
            CGContextAddLineToPoint(c, points[i + 1].x, points[i + 1].y);
        }
        CGContextStrokePath(c);
    });
}

