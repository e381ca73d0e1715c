// Shape layers drawn with Cairo: the outline is filled and stroked (trimmed to
// the stroke's start and end) into an image surface over the outline's box,
// which becomes the layer's backing bitmap.
#include <cairo.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/foundation/NSLog.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/quartzcore/CAShapeLayer.h"

namespace {

void appendPath(cairo_t* cr, const CALayerPath& path) {
    for (const auto& e : path.elements()) {
        switch (e.kind) {
        case CALayerPath::Kind::Move: cairo_move_to(cr, e.points[0].x, e.points[0].y); break;
        case CALayerPath::Kind::Line: cairo_line_to(cr, e.points[0].x, e.points[0].y); break;
        case CALayerPath::Kind::Curve:
            cairo_curve_to(cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x,
                           e.points[2].y);
            break;
        case CALayerPath::Kind::Close: cairo_close_path(cr); break;
        }
    }
}

struct Polyline {
    std::vector<CGPoint> points;
};

// The flattened outline as polylines (a closed subpath ends where it began).
std::vector<Polyline> flatten(cairo_t* cr) {
    std::vector<Polyline> lines;
    cairo_path_t* flat = cairo_copy_path_flat(cr);
    if (flat->status != CAIRO_STATUS_SUCCESS) {
        cairo_path_destroy(flat);
        return lines;
    }
    CGPoint start{};
    for (int i = 0; i < flat->num_data; i += flat->data[i].header.length) {
        const cairo_path_data_t* d = &flat->data[i];
        switch (d->header.type) {
        case CAIRO_PATH_MOVE_TO:
            start = {d[1].point.x, d[1].point.y};
            lines.push_back({{start}});
            break;
        case CAIRO_PATH_LINE_TO:
            if (lines.empty()) lines.push_back({{start}});
            lines.back().points.push_back({d[1].point.x, d[1].point.y});
            break;
        case CAIRO_PATH_CLOSE_PATH:
            if (!lines.empty()) lines.back().points.push_back(start);
            break;
        case CAIRO_PATH_CURVE_TO: break;  // absent from a flattened path
        }
    }
    cairo_path_destroy(flat);
    return lines;
}

// Replaces the current path with the part between fractions s and e of its length.
void trimPath(cairo_t* cr, double s, double e) {
    auto lines = flatten(cr);
    double total = 0;
    for (auto& l : lines)
        for (std::size_t i = 1; i < l.points.size(); ++i)
            total += std::hypot(l.points[i].x - l.points[i - 1].x, l.points[i].y - l.points[i - 1].y);
    cairo_new_path(cr);
    if (total <= 0) return;
    double from = s * total, to = e * total, at = 0;
    for (auto& l : lines) {
        bool drawing = false;
        for (std::size_t i = 1; i < l.points.size(); ++i) {
            CGPoint a = l.points[i - 1], b = l.points[i];
            double len = std::hypot(b.x - a.x, b.y - a.y);
            double t0 = std::max(from, at), t1 = std::min(to, at + len);
            if (len > 0 && t1 > t0) {
                double f0 = (t0 - at) / len, f1 = (t1 - at) / len;
                if (!drawing) cairo_move_to(cr, a.x + (b.x - a.x) * f0, a.y + (b.y - a.y) * f0);
                cairo_line_to(cr, a.x + (b.x - a.x) * f1, a.y + (b.y - a.y) * f1);
                drawing = t1 >= at + len;
            } else {
                drawing = false;
            }
            at += len;
        }
    }
}

void setSource(cairo_t* cr, const CGColorRef& c) {
    double r, g, b, a;
    c->getRGBA(r, g, b, a);
    cairo_set_source_rgba(cr, r, g, b, a);
}

cairo_line_cap_t capOf(const std::string& cap) {
    if (cap == kCALineCapRound) return CAIRO_LINE_CAP_ROUND;
    if (cap == kCALineCapSquare) return CAIRO_LINE_CAP_SQUARE;
    return CAIRO_LINE_CAP_BUTT;
}

cairo_line_join_t joinOf(const std::string& join) {
    if (join == kCALineJoinRound) return CAIRO_LINE_JOIN_ROUND;
    if (join == kCALineJoinBevel) return CAIRO_LINE_JOIN_BEVEL;
    return CAIRO_LINE_JOIN_MITER;
}

CGImageRef imageOfSurface(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    auto w = static_cast<std::size_t>(cairo_image_surface_get_width(surface));
    auto h = static_cast<std::size_t>(cairo_image_surface_get_height(surface));
    auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
    const unsigned char* base = cairo_image_surface_get_data(surface);
    Data pixels(base, base + stride * h);
    return CGImage::create(w, h, 8, 32, stride, CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                           kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host, std::move(pixels));
}

}  // namespace

CGImageRef CAShapeLayerRasterize(const CALayerPath& path, const CAShapeStyle& style, CGFloat scale, CGRect& rect) {
    bool fill = style.fill && style.fill->alpha() > 0;
    bool stroke = style.stroke && style.stroke->alpha() > 0 && style.lineWidth > 0 && style.strokeEnd > style.strokeStart;
    if (!fill && !stroke) return nullptr;
    CGRect box = path.boundingBox();
    double pad = stroke ? style.lineWidth / 2 * (style.lineJoin == kCALineJoinMiter ? std::min(style.miterLimit, 4.0) : 1.5) + 1
                        : 1;
    double x0 = std::floor((box.origin.x - pad) * scale) / scale, y0 = std::floor((box.origin.y - pad) * scale) / scale;
    double x1 = std::ceil((CGRectGetMaxX(box) + pad) * scale) / scale;
    double y1 = std::ceil((CGRectGetMaxY(box) + pad) * scale) / scale;
    double pw = std::round((x1 - x0) * scale), ph = std::round((y1 - y0) * scale);
    if (!std::isfinite(pw) || !std::isfinite(ph) || pw < 1 || ph < 1 || pw > 32767 || ph > 32767 ||
        pw * ph > double(kCGImageMaxPixelCount)) {
        NSLog("CAShapeLayer: outline of %g x %g points not drawn", x1 - x0, y1 - y0);
        return nullptr;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(pw), int(ph));
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scale, scale);
    cairo_translate(cr, -x0, -y0);
    if (fill) {
        appendPath(cr, path);
        cairo_set_fill_rule(cr, style.fillRule == kCAFillRuleEvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        setSource(cr, style.fill);
        cairo_fill(cr);
    }
    if (stroke) {
        cairo_new_path(cr);
        appendPath(cr, path);
        if (style.strokeStart > 0 || style.strokeEnd < 1) trimPath(cr, style.strokeStart, style.strokeEnd);
        cairo_set_line_width(cr, style.lineWidth);
        cairo_set_line_cap(cr, capOf(style.lineCap));
        cairo_set_line_join(cr, joinOf(style.lineJoin));
        cairo_set_miter_limit(cr, style.miterLimit);
        setSource(cr, style.stroke);
        cairo_stroke(cr);
    }
    bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    CGImageRef image = ok ? imageOfSurface(surface) : nullptr;
    cairo_surface_destroy(surface);
    rect = CGRectMake(x0, y0, x1 - x0, y1 - y0);
    return image;
}
