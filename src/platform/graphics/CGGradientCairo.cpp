// Gradients over Cairo patterns.
//
// The platform's options extend each side on its own, which Cairo's extend
// modes cannot (they pad both sides or none). So the pattern is laid over a
// wider range of the gradient's parameter t, [lo, hi], reaching as far beyond
// 0 and 1 as the clip needs on the sides that extend; the gradient's stops are
// mapped into it with the first and last colours held out to its ends, and
// nothing is drawn outside it.
#include <cmath>

#include "platform/graphics/CGContextCairo.h"

namespace {

// Stops of the gradient mapped from t in [lo, hi] onto the pattern's 0...1.
void addStops(cairo_pattern_t* pattern, const CGGradient& g, double lo, double hi) {
    const auto& stops = g.stops();
    auto add = [&](double t, const double* c) { cairo_pattern_add_color_stop_rgba(pattern, (t - lo) / (hi - lo), c[0], c[1], c[2], c[3]); };
    add(lo, stops.front().rgba);
    for (const CGGradient::Stop& s : stops) add(s.location, s.rgba);
    add(hi, stops.back().rgba);
}

// The user-space corners of the clip's bounds.
std::vector<CGPoint> clipCorners(cairo_t* cr) {
    double x0, y0, x1, y1;
    cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
    return {{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}};
}

void paintPattern(CGContext::State& s, cairo_pattern_t* pattern) {
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_NONE);
    s.paintPattern(pattern);
    cairo_pattern_destroy(pattern);
}

// How far past a circle's end the range must reach so that the circles cover the clip.
double reach(double radiusGrowth, double centreShift, double extent) {
    double speed = std::max({radiusGrowth, centreShift, 1e-9});
    return std::min(1e4, 3 * (extent + 1) / speed);
}

}  // namespace

void CGContextDrawLinearGradient(const CGContextRef& c, const CGGradientRef& gradient, CGPoint startPoint,
                                 CGPoint endPoint, CGGradientDrawingOptions options) {
    CTX_STATE(c);
    REFUSE_UNLESS(gradient && finiteValues({startPoint.x, startPoint.y, endPoint.x, endPoint.y}));
    double dx = endPoint.x - startPoint.x, dy = endPoint.y - startPoint.y, len2 = dx * dx + dy * dy;
    if (len2 == 0) return;  // no direction: nothing to draw
    double lo = 0, hi = 1;
    for (const CGPoint& p : clipCorners(s.cr)) {
        double t = ((p.x - startPoint.x) * dx + (p.y - startPoint.y) * dy) / len2;
        if (options & kCGGradientDrawsBeforeStartLocation) lo = std::min(lo, t - 0.01);
        if (options & kCGGradientDrawsAfterEndLocation) hi = std::max(hi, t + 0.01);
    }
    cairo_pattern_t* pattern = cairo_pattern_create_linear(startPoint.x + lo * dx, startPoint.y + lo * dy,
                                                           startPoint.x + hi * dx, startPoint.y + hi * dy);
    addStops(pattern, *gradient, lo, hi);
    paintPattern(s, pattern);
    s.check(__func__);
}

void CGContextDrawRadialGradient(const CGContextRef& c, const CGGradientRef& gradient, CGPoint startCenter,
                                 double startRadius, CGPoint endCenter, double endRadius,
                                 CGGradientDrawingOptions options) {
    CTX_STATE(c);
    REFUSE_UNLESS(gradient && startRadius >= 0 && endRadius >= 0 &&
                  finiteValues({startCenter.x, startCenter.y, endCenter.x, endCenter.y, startRadius, endRadius}));
    double dx = endCenter.x - startCenter.x, dy = endCenter.y - startCenter.y, shift = std::hypot(dx, dy);
    double dr = endRadius - startRadius;
    if (shift == 0 && dr == 0) return;  // one circle: nothing between start and end
    double extent = 0;
    for (const CGPoint& p : clipCorners(s.cr))
        extent = std::max({extent, std::hypot(p.x - startCenter.x, p.y - startCenter.y),
                           std::hypot(p.x - endCenter.x, p.y - endCenter.y)});
    extent += std::max(startRadius, endRadius);
    double lo = 0, hi = 1;
    // Before the start the circles shrink to a point (when the radius grows
    // towards the end) or keep growing until they cover the clip.
    if (options & kCGGradientDrawsBeforeStartLocation)
        lo = dr > 0 ? -startRadius / dr : -reach(-dr, shift, extent);
    if (options & kCGGradientDrawsAfterEndLocation)
        hi = dr < 0 ? 1 + endRadius / -dr : 1 + reach(dr, shift, extent);
    auto radiusAt = [&](double t) { return std::max(0.0, startRadius + t * dr); };
    cairo_pattern_t* pattern =
        cairo_pattern_create_radial(startCenter.x + lo * dx, startCenter.y + lo * dy, radiusAt(lo),
                                    startCenter.x + hi * dx, startCenter.y + hi * dy, radiusAt(hi));
    addStops(pattern, *gradient, lo, hi);
    paintPattern(s, pattern);
    s.check(__func__);
}
