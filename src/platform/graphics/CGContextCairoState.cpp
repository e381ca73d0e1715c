// The graphics state of contexts over Cairo: the save stack, the transform,
// colours, stroke settings, alpha and blend mode.
#include <algorithm>
#include <cmath>

#include "platform/graphics/CGContextCairo.h"

void CGContextSaveGState(const CGContextRef& c) {
    CTX_STATE(c);
    s.stack.push_back(s.gs);
    cairo_save(s.cr);
}

void CGContextRestoreGState(const CGContextRef& c) {
    CTX_STATE(c);
    std::size_t floor = s.layers.empty() ? 0 : s.layers.back().depth;
    if (s.stack.size() <= floor) {
        NSLog("CGContextRestoreGState: no saved state to restore");
        return;
    }
    s.gs = s.stack.back();
    s.stack.pop_back();
    // Cairo keeps the path across restore, as the platform does.
    cairo_restore(s.cr);
    s.check(__func__);
}

void CGContextTranslateCTM(const CGContextRef& c, double tx, double ty) {
    CTX_STATE(c);
    REFUSE_UNLESS(finiteValues({tx, ty}));
    cairo_translate(s.cr, tx, ty);
}
void CGContextScaleCTM(const CGContextRef& c, double sx, double sy) {
    CTX_STATE(c);
    REFUSE_UNLESS(sx != 0 && sy != 0 && finiteValues({sx, sy}));  // would make the matrix singular
    cairo_scale(s.cr, sx, sy);
}
void CGContextRotateCTM(const CGContextRef& c, double angle) {
    CTX_STATE(c);
    REFUSE_UNLESS(std::isfinite(angle));
    cairo_rotate(s.cr, angle);
}

namespace {
bool invertible(const CGAffineTransform& t) {
    double det = t.a * t.d - t.b * t.c;
    return CGAffineTransformIsFinite(t) && det != 0 && std::isfinite(det);
}
}  // namespace

void CGContextConcatCTM(const CGContextRef& c, const CGAffineTransform& t) {
    CTX_STATE(c);
    REFUSE_UNLESS(invertible(t));
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    cairo_transform(s.cr, &m);
    s.check(__func__);
}

void CGContextSetBaseCTM(const CGContextRef& c, const CGAffineTransform& t) {
    CTX_STATE(c);
    REFUSE_UNLESS(invertible(t));
    cairo_matrix_t m, combined;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    cairo_matrix_multiply(&combined, &m, &s.base);
    s.base = combined;
    cairo_transform(s.cr, &m);
    s.check(__func__);
}

CGAffineTransform CGContextGetCTM(const CGContextRef& c) {
    CTX_STATE(c, CGAffineTransform{});
    // Cairo's device space has y down; the platform's device space of a bitmap has y up.
    cairo_matrix_t m, flip, t;
    cairo_get_matrix(s.cr, &m);
    cairo_matrix_init(&flip, 1, 0, 0, -1, 0, static_cast<double>(s.height));
    cairo_matrix_multiply(&t, &m, &flip);
    return CGAffineTransform{t.xx, t.yx, t.xy, t.yy, t.x0, t.y0};
}

namespace {
void setColour(double target[4], double r, double g, double b, double a) {
    double v[4] = {r, g, b, a};
    for (int i = 0; i < 4; ++i) target[i] = std::clamp(std::isnan(v[i]) ? 0.0 : v[i], 0.0, 1.0);
}
}  // namespace

void CGContextSetRGBFillColor(const CGContextRef& c, double r, double g, double b, double a) {
    CTX_STATE(c);
    setColour(s.gs.fill, r, g, b, a);
}
void CGContextSetRGBStrokeColor(const CGContextRef& c, double r, double g, double b, double a) {
    CTX_STATE(c);
    setColour(s.gs.stroke, r, g, b, a);
}
void CGContextSetGrayFillColor(const CGContextRef& c, double gray, double a) { CGContextSetRGBFillColor(c, gray, gray, gray, a); }
void CGContextSetGrayStrokeColor(const CGContextRef& c, double gray, double a) {
    CGContextSetRGBStrokeColor(c, gray, gray, gray, a);
}
void CGContextSetFillColorWithColor(const CGContextRef& c, const CGColorRef& color) {
    if (!color) return;
    double r, g, b, a;
    color->getRGBA(r, g, b, a);
    CGContextSetRGBFillColor(c, r, g, b, a);
}
void CGContextSetStrokeColorWithColor(const CGContextRef& c, const CGColorRef& color) {
    if (!color) return;
    double r, g, b, a;
    color->getRGBA(r, g, b, a);
    CGContextSetRGBStrokeColor(c, r, g, b, a);
}
void CGContextSetLineWidth(const CGContextRef& c, double width) {
    CTX_STATE(c);
    REFUSE_UNLESS(width >= 0 && std::isfinite(width));
    s.gs.lineWidth = width;
}
void CGContextSetLineCap(const CGContextRef& c, CGLineCap cap) {
    CTX_STATE(c);
    REFUSE_UNLESS(cap >= kCGLineCapButt && cap <= kCGLineCapSquare);
    s.gs.lineCap = cap;
}
void CGContextSetLineJoin(const CGContextRef& c, CGLineJoin join) {
    CTX_STATE(c);
    REFUSE_UNLESS(join >= kCGLineJoinMiter && join <= kCGLineJoinBevel);
    s.gs.lineJoin = join;
}
void CGContextSetMiterLimit(const CGContextRef& c, double limit) {
    CTX_STATE(c);
    REFUSE_UNLESS(std::isfinite(limit) && limit >= 0);
    s.gs.miterLimit = limit;
}
void CGContextSetLineDash(const CGContextRef& c, double phase, const std::vector<double>& lengths) {
    CTX_STATE(c);
    double total = 0;
    for (double l : lengths) {
        REFUSE_UNLESS(std::isfinite(l) && l >= 0);
        total += l;
    }
    REFUSE_UNLESS(std::isfinite(phase) && (lengths.empty() || total > 0));
    s.gs.dash = lengths;
    s.gs.dashPhase = phase;
}
void CGContextSetAlpha(const CGContextRef& c, double alpha) {
    CTX_STATE(c);
    REFUSE_UNLESS(!std::isnan(alpha));
    s.gs.alpha = std::clamp(alpha, 0.0, 1.0);
}
void CGContextSetBlendMode(const CGContextRef& c, CGBlendMode mode) { CTX_STATE(c); s.gs.blend = mode; }
void CGContextSetInterpolationQuality(const CGContextRef& c, CGInterpolationQuality q) { CTX_STATE(c); s.gs.quality = q; }
CGInterpolationQuality CGContextGetInterpolationQuality(const CGContextRef& c) {
    CTX_STATE(c, kCGInterpolationDefault);
    return s.gs.quality;
}
void CGContextSetShouldAntialias(const CGContextRef& c, bool antialias) {
    CTX_STATE(c);
    cairo_set_antialias(s.cr, antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}

