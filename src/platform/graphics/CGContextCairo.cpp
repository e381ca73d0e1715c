// Bitmap contexts over Cairo image surfaces.
//
// Cairo draws into premultiplied native-endian ARGB32 (or RGB24 for the
// NoneSkip kinds). When the context's layout is exactly that, Cairo draws
// straight into the pixel buffer; otherwise the buffer is converted into a
// surface of the context's own before each drawing call and back after it, so
// the buffer is always current and may be written by the caller in between.
#include <cairo.h>

#include <bit>
#include <cmath>
#include <cstring>

#include "platform/foundation/NSLog.h"
#include "platform/graphics/CGContext.h"

namespace {

struct GState {
    double fill[4] = {0, 0, 0, 1};
    double stroke[4] = {0, 0, 0, 1};
    double alpha = 1;
    double lineWidth = 1;
    CGBlendMode blend = kCGBlendModeNormal;
    CGInterpolationQuality quality = kCGInterpolationDefault;
};

bool alphaFirst(CGImageAlphaInfo a) { return a == kCGImageAlphaPremultipliedFirst || a == kCGImageAlphaNoneSkipFirst; }
bool skipsAlpha(CGImageAlphaInfo a) { return a == kCGImageAlphaNoneSkipFirst || a == kCGImageAlphaNoneSkipLast; }

cairo_operator_t cairoOperator(CGBlendMode mode) {
    switch (mode) {
    case kCGBlendModeMultiply: return CAIRO_OPERATOR_MULTIPLY;
    case kCGBlendModeClear: return CAIRO_OPERATOR_CLEAR;
    case kCGBlendModeCopy: return CAIRO_OPERATOR_SOURCE;
    case kCGBlendModeSourceIn: return CAIRO_OPERATOR_IN;
    case kCGBlendModeDestinationOut: return CAIRO_OPERATOR_DEST_OUT;
    case kCGBlendModeNormal: break;
    }
    return CAIRO_OPERATOR_OVER;
}

cairo_filter_t cairoFilter(CGInterpolationQuality q) {
    switch (q) {
    case kCGInterpolationNone: return CAIRO_FILTER_NEAREST;
    case kCGInterpolationLow: return CAIRO_FILTER_FAST;
    case kCGInterpolationHigh: return CAIRO_FILTER_BEST;
    case kCGInterpolationDefault:
    case kCGInterpolationMedium: break;
    }
    return CAIRO_FILTER_GOOD;
}

// The premultiplied ARGB32 word of a 32-bit pixel in the given layout.
std::uint32_t nativeFromLayout(const std::uint8_t* p, CGBitmapInfo info) {
    auto alpha = static_cast<CGImageAlphaInfo>(info & kCGBitmapAlphaInfoMask);
    std::uint8_t q[4];
    if ((info & kCGBitmapByteOrderMask) == kCGBitmapByteOrder32Little) {
        q[0] = p[3], q[1] = p[2], q[2] = p[1], q[3] = p[0];
    } else {
        std::memcpy(q, p, 4);
    }
    std::uint32_t a, r, g, b;
    if (alphaFirst(alpha)) a = q[0], r = q[1], g = q[2], b = q[3];
    else r = q[0], g = q[1], b = q[2], a = q[3];
    if (skipsAlpha(alpha)) a = 255;
    return (a << 24) | (r << 16) | (g << 8) | b;
}

void layoutFromNative(std::uint32_t w, std::uint8_t* p, CGBitmapInfo info) {
    auto alpha = static_cast<CGImageAlphaInfo>(info & kCGBitmapAlphaInfoMask);
    auto a = static_cast<std::uint8_t>(skipsAlpha(alpha) ? 255 : w >> 24);
    auto r = static_cast<std::uint8_t>(w >> 16), g = static_cast<std::uint8_t>(w >> 8), b = static_cast<std::uint8_t>(w);
    std::uint8_t q[4];
    if (alphaFirst(alpha)) q[0] = a, q[1] = r, q[2] = g, q[3] = b;
    else q[0] = r, q[1] = g, q[2] = b, q[3] = a;
    if ((info & kCGBitmapByteOrderMask) == kCGBitmapByteOrder32Little) {
        p[0] = q[3], p[1] = q[2], p[2] = q[1], p[3] = q[0];
    } else {
        std::memcpy(p, q, 4);
    }
}

// A Cairo surface holding the image's pixels (premultiplied); the caller destroys it.
cairo_surface_t* surfaceForImage(const CGImage& image) {
    auto w = static_cast<int>(image.width()), h = static_cast<int>(image.height());
    cairo_surface_t* s = cairo_image_surface_create(image.hasAlpha() ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, w, h);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    cairo_surface_flush(s);
    unsigned char* base = cairo_image_surface_get_data(s);
    auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(s));
    const PixelBuffer& src = image.data();
    bool packed32 = image.bitsPerPixel() == 32;
    for (std::size_t y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(base + y * stride);
        const std::uint8_t* in = src.data() + y * image.bytesPerRow();
        for (std::size_t x = 0; x < image.width(); ++x) {
            if (packed32 && image.alphaInfo() != kCGImageAlphaLast && image.alphaInfo() != kCGImageAlphaFirst) {
                row[x] = nativeFromLayout(in + x * 4, image.bitmapInfo());
                continue;
            }
            CGPixel p = image.pixelAt(x, y);
            std::uint32_t a = p.a;
            std::uint32_t r = (p.r * a + 127) / 255, g = (p.g * a + 127) / 255, b = (p.b * a + 127) / 255;
            row[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(s);
    return s;
}

}  // namespace

struct CGContext::State {
    std::size_t width = 0, height = 0, bytesPerRow = 0;
    CGBitmapInfo info = 0;
    CGColorSpaceRef space;
    std::uint8_t* data = nullptr;  // the buffer in the context's layout
    Data ownData;
    bool direct = false;  // Cairo draws into data itself
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    GState gs;
    std::vector<GState> stack;

    ~State() {
        if (cr) cairo_destroy(cr);
        if (surface) cairo_surface_destroy(surface);
    }

    // Brings the surface up to date with the buffer before drawing.
    void begin() {
        if (direct) {
            cairo_surface_mark_dirty(surface);
            return;
        }
        cairo_surface_flush(surface);
        unsigned char* base = cairo_image_surface_get_data(surface);
        auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
        for (std::size_t y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(base + y * stride);
            const std::uint8_t* in = data + y * bytesPerRow;
            for (std::size_t x = 0; x < width; ++x) row[x] = nativeFromLayout(in + x * 4, info);
        }
        cairo_surface_mark_dirty(surface);
    }

    // Writes what was drawn back into the buffer.
    void end() {
        cairo_surface_flush(surface);
        if (direct) return;
        const unsigned char* base = cairo_image_surface_get_data(surface);
        auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
        for (std::size_t y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(base + y * stride);
            std::uint8_t* out = data + y * bytesPerRow;
            for (std::size_t x = 0; x < width; ++x) layoutFromNative(row[x], out + x * 4, info);
        }
    }

    void setSource(const double c[4]) { cairo_set_source_rgba(cr, c[0], c[1], c[2], c[3] * gs.alpha); }

    // Runs a drawing step that must leave the current path as it was.
    template <class F>
    void keepingPath(F&& f) {
        cairo_path_t* path = cairo_copy_path(cr);
        cairo_new_path(cr);
        f();
        cairo_new_path(cr);
        if (path->status == CAIRO_STATUS_SUCCESS) cairo_append_path(cr, path);
        cairo_path_destroy(path);
    }
};

CGContext::CGContext(std::unique_ptr<State> state) : state_(std::move(state)) {}
CGContext::~CGContext() = default;

CGContextRef CGBitmapContextCreate(void* data, std::size_t width, std::size_t height, std::size_t bitsPerComponent,
                                   std::size_t bytesPerRow, const CGColorSpaceRef& space, CGBitmapInfo bitmapInfo) {
    auto alpha = static_cast<CGImageAlphaInfo>(bitmapInfo & kCGBitmapAlphaInfoMask);
    bool supportedAlpha = alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaPremultipliedLast ||
                          alpha == kCGImageAlphaNoneSkipFirst || alpha == kCGImageAlphaNoneSkipLast;
    if (bytesPerRow == 0 && width <= kCGImageMaxPixelCount) bytesPerRow = width * 4;
    if (!supportedAlpha ||
        !CGImage::layoutIsSupported(width, height, bitsPerComponent, 32, bytesPerRow, space, bitmapInfo) ||
        width > 32767 || height > 32767) {
        NSLog("CGBitmapContextCreate: unsupported parameter combination: %zu x %zu, %zu bits per component, %zu bytes per row, bitmap info %u",
              width, height, bitsPerComponent, bytesPerRow, static_cast<unsigned>(bitmapInfo));
        return nullptr;
    }
    auto st = std::make_unique<CGContext::State>();
    st->width = width, st->height = height, st->bytesPerRow = bytesPerRow, st->info = bitmapInfo, st->space = space;
    if (data) {
        st->data = static_cast<std::uint8_t*>(data);
    } else {
        st->ownData.assign(bytesPerRow * height, 0);
        st->data = st->ownData.data();
    }
    cairo_format_t format = skipsAlpha(alpha) ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32;
    CGBitmapInfo nativeFirst = std::endian::native == std::endian::little ? kCGBitmapByteOrder32Little : kCGBitmapByteOrder32Big;
    bool nativeOrder = (bitmapInfo & kCGBitmapByteOrderMask) == nativeFirst ||
                       (std::endian::native == std::endian::big && (bitmapInfo & kCGBitmapByteOrderMask) == 0);
    st->direct = nativeOrder && alphaFirst(alpha) && bytesPerRow % 4 == 0 &&
                 reinterpret_cast<std::uintptr_t>(st->data) % 4 == 0 && bytesPerRow <= 0x7fffffff;
    if (st->direct) {
        st->surface = cairo_image_surface_create_for_data(st->data, format, static_cast<int>(width),
                                                          static_cast<int>(height), static_cast<int>(bytesPerRow));
    } else {
        st->surface = cairo_image_surface_create(format, static_cast<int>(width), static_cast<int>(height));
    }
    if (cairo_surface_status(st->surface) != CAIRO_STATUS_SUCCESS) return nullptr;
    st->cr = cairo_create(st->surface);
    if (cairo_status(st->cr) != CAIRO_STATUS_SUCCESS) return nullptr;
    // The platform's user space: origin bottom left, y up.
    cairo_translate(st->cr, 0, static_cast<double>(height));
    cairo_scale(st->cr, 1, -1);
    return std::make_shared<CGContext>(std::move(st));
}

#define CTX_STATE(c, ...)                \
    if (!(c)) return __VA_ARGS__;        \
    CGContext::State& s = (c)->state()

std::size_t CGBitmapContextGetWidth(const CGContextRef& c) { CTX_STATE(c, 0); return s.width; }
std::size_t CGBitmapContextGetHeight(const CGContextRef& c) { CTX_STATE(c, 0); return s.height; }
std::size_t CGBitmapContextGetBitsPerComponent(const CGContextRef& c) { return c ? 8 : 0; }
std::size_t CGBitmapContextGetBitsPerPixel(const CGContextRef& c) { return c ? 32 : 0; }
std::size_t CGBitmapContextGetBytesPerRow(const CGContextRef& c) { CTX_STATE(c, 0); return s.bytesPerRow; }
CGBitmapInfo CGBitmapContextGetBitmapInfo(const CGContextRef& c) { CTX_STATE(c, 0); return s.info; }
CGImageAlphaInfo CGBitmapContextGetAlphaInfo(const CGContextRef& c) {
    CTX_STATE(c, kCGImageAlphaNone);
    return static_cast<CGImageAlphaInfo>(s.info & kCGBitmapAlphaInfoMask);
}
CGColorSpaceRef CGBitmapContextGetColorSpace(const CGContextRef& c) { CTX_STATE(c, nullptr); return s.space; }
void* CGBitmapContextGetData(const CGContextRef& c) { CTX_STATE(c, nullptr); return s.data; }

CGImageRef CGBitmapContextCreateImage(const CGContextRef& c) {
    CTX_STATE(c, nullptr);
    cairo_surface_flush(s.surface);
    Data pixels(s.data, s.data + s.bytesPerRow * s.height);
    return CGImage::create(s.width, s.height, 8, 32, s.bytesPerRow, s.space, s.info, std::move(pixels));
}

void CGContextSaveGState(const CGContextRef& c) {
    CTX_STATE(c);
    s.stack.push_back(s.gs);
    cairo_save(s.cr);
}

void CGContextRestoreGState(const CGContextRef& c) {
    CTX_STATE(c);
    if (s.stack.empty()) return;  // unbalanced restore: ignored, as the platform does
    s.gs = s.stack.back();
    s.stack.pop_back();
    // Cairo keeps the path across restore, as the platform does.
    cairo_restore(s.cr);
}

void CGContextTranslateCTM(const CGContextRef& c, double tx, double ty) { CTX_STATE(c); cairo_translate(s.cr, tx, ty); }
void CGContextScaleCTM(const CGContextRef& c, double sx, double sy) {
    CTX_STATE(c);
    if (sx == 0 || sy == 0 || !std::isfinite(sx) || !std::isfinite(sy)) return;  // would make the matrix singular
    cairo_scale(s.cr, sx, sy);
}
void CGContextRotateCTM(const CGContextRef& c, double angle) { CTX_STATE(c); cairo_rotate(s.cr, angle); }

void CGContextConcatCTM(const CGContextRef& c, const CGAffineTransform& t) {
    CTX_STATE(c);
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    if (cairo_matrix_invert(&m) != CAIRO_STATUS_SUCCESS) return;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    cairo_transform(s.cr, &m);
}

CGAffineTransform CGContextGetCTM(const CGContextRef& c) {
    CTX_STATE(c, CGAffineTransform{});
    cairo_matrix_t m, flip, t;
    cairo_get_matrix(s.cr, &m);
    cairo_matrix_init(&flip, 1, 0, 0, -1, 0, static_cast<double>(s.height));
    cairo_matrix_multiply(&t, &m, &flip);
    return CGAffineTransform{t.xx, t.yx, t.xy, t.yy, t.x0, t.y0};
}

void CGContextSetRGBFillColor(const CGContextRef& c, double r, double g, double b, double a) {
    CTX_STATE(c);
    double v[4] = {r, g, b, a};
    for (int i = 0; i < 4; ++i) s.gs.fill[i] = std::clamp(v[i], 0.0, 1.0);
}
void CGContextSetRGBStrokeColor(const CGContextRef& c, double r, double g, double b, double a) {
    CTX_STATE(c);
    double v[4] = {r, g, b, a};
    for (int i = 0; i < 4; ++i) s.gs.stroke[i] = std::clamp(v[i], 0.0, 1.0);
}
void CGContextSetGrayFillColor(const CGContextRef& c, double gray, double a) { CGContextSetRGBFillColor(c, gray, gray, gray, a); }
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
    if (width >= 0 && std::isfinite(width)) s.gs.lineWidth = width;
}
void CGContextSetAlpha(const CGContextRef& c, double alpha) { CTX_STATE(c); s.gs.alpha = std::clamp(alpha, 0.0, 1.0); }
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

namespace {
void rectPath(cairo_t* cr, CGRect r) {
    cairo_rectangle(cr, r.origin.x, r.origin.y, r.size.width, r.size.height);
}
bool finiteRect(CGRect r) {
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
           std::isfinite(r.size.height);
}
}  // namespace

void CGContextFillRect(const CGContextRef& c, CGRect rect) {
    CTX_STATE(c);
    if (!finiteRect(rect)) return;
    s.begin();
    s.keepingPath([&] {
        rectPath(s.cr, rect);
        s.setSource(s.gs.fill);
        cairo_set_operator(s.cr, cairoOperator(s.gs.blend));
        cairo_fill(s.cr);
    });
    s.end();
}

void CGContextStrokeRect(const CGContextRef& c, CGRect rect) {
    CTX_STATE(c);
    if (!finiteRect(rect)) return;
    s.begin();
    s.keepingPath([&] {
        rectPath(s.cr, rect);
        s.setSource(s.gs.stroke);
        cairo_set_operator(s.cr, cairoOperator(s.gs.blend));
        cairo_set_line_width(s.cr, s.gs.lineWidth);
        cairo_stroke(s.cr);
    });
    s.end();
}

void CGContextClearRect(const CGContextRef& c, CGRect rect) {
    CTX_STATE(c);
    if (!finiteRect(rect)) return;
    s.begin();
    s.keepingPath([&] {
        rectPath(s.cr, rect);
        cairo_set_operator(s.cr, CAIRO_OPERATOR_CLEAR);
        cairo_fill(s.cr);
    });
    s.end();
}

void CGContextDrawImage(const CGContextRef& c, CGRect rect, const CGImageRef& image) {
    CTX_STATE(c);
    if (!image || !finiteRect(rect) || CGRectIsEmpty(rect)) return;
    cairo_surface_t* src = surfaceForImage(*image);
    if (!src) return;
    s.begin();
    s.keepingPath([&] {
        cairo_save(s.cr);
        // The image's top row goes to the top of the rectangle (its larger y).
        cairo_translate(s.cr, rect.origin.x, rect.origin.y + rect.size.height);
        cairo_scale(s.cr, rect.size.width / double(image->width()), -rect.size.height / double(image->height()));
        cairo_set_source_surface(s.cr, src, 0, 0);
        cairo_pattern_t* pattern = cairo_get_source(s.cr);
        cairo_pattern_set_filter(pattern, cairoFilter(s.gs.quality));
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
        cairo_rectangle(s.cr, 0, 0, double(image->width()), double(image->height()));
        cairo_clip(s.cr);
        cairo_set_operator(s.cr, cairoOperator(s.gs.blend));
        cairo_paint_with_alpha(s.cr, s.gs.alpha);
        cairo_restore(s.cr);
    });
    s.end();
    cairo_surface_destroy(src);
}

void CGContextBeginPath(const CGContextRef& c) { CTX_STATE(c); cairo_new_path(s.cr); }
void CGContextMoveToPoint(const CGContextRef& c, double x, double y) { CTX_STATE(c); cairo_move_to(s.cr, x, y); }
void CGContextAddLineToPoint(const CGContextRef& c, double x, double y) { CTX_STATE(c); cairo_line_to(s.cr, x, y); }
void CGContextAddCurveToPoint(const CGContextRef& c, double cp1x, double cp1y, double cp2x, double cp2y, double x,
                              double y) {
    CTX_STATE(c);
    cairo_curve_to(s.cr, cp1x, cp1y, cp2x, cp2y, x, y);
}
void CGContextAddQuadCurveToPoint(const CGContextRef& c, double cpx, double cpy, double x, double y) {
    CTX_STATE(c);
    double x0 = x, y0 = y;
    if (cairo_has_current_point(s.cr)) cairo_get_current_point(s.cr, &x0, &y0);
    cairo_curve_to(s.cr, x0 + 2.0 / 3.0 * (cpx - x0), y0 + 2.0 / 3.0 * (cpy - y0), x + 2.0 / 3.0 * (cpx - x),
                   y + 2.0 / 3.0 * (cpy - y), x, y);
}
void CGContextAddArc(const CGContextRef& c, double x, double y, double radius, double startAngle, double endAngle,
                     int clockwise) {
    CTX_STATE(c);
    // With y up, increasing angles turn anticlockwise.
    if (clockwise) cairo_arc_negative(s.cr, x, y, radius, startAngle, endAngle);
    else cairo_arc(s.cr, x, y, radius, startAngle, endAngle);
}
void CGContextAddArcToPoint(const CGContextRef& c, double x1, double y1, double x2, double y2, double radius) {
    CTX_STATE(c);
    double x0 = x1, y0 = y1;
    if (cairo_has_current_point(s.cr)) cairo_get_current_point(s.cr, &x0, &y0);
    // The arc of the radius tangent to the lines (x0,y0)-(x1,y1) and (x1,y1)-(x2,y2).
    double ux = x0 - x1, uy = y0 - y1, vx = x2 - x1, vy = y2 - y1;
    double lu = std::hypot(ux, uy), lv = std::hypot(vx, vy);
    double cross = ux * vy - uy * vx;
    if (lu == 0 || lv == 0 || radius <= 0 || std::fabs(cross) < 1e-12) {
        cairo_line_to(s.cr, x1, y1);
        return;
    }
    ux /= lu, uy /= lu, vx /= lv, vy /= lv;
    double angle = std::acos(std::clamp(ux * vx + uy * vy, -1.0, 1.0));
    double dist = radius / std::tan(angle / 2);
    double t1x = x1 + ux * dist, t1y = y1 + uy * dist, t2x = x1 + vx * dist, t2y = y1 + vy * dist;
    double bx = ux + vx, by = uy + vy, lb = std::hypot(bx, by);
    double centreDist = radius / std::sin(angle / 2);
    double cx = x1 + bx / lb * centreDist, cy = y1 + by / lb * centreDist;
    double a1 = std::atan2(t1y - cy, t1x - cx), a2 = std::atan2(t2y - cy, t2x - cx);
    cairo_line_to(s.cr, t1x, t1y);
    if (cross > 0) cairo_arc_negative(s.cr, cx, cy, radius, a1, a2);
    else cairo_arc(s.cr, cx, cy, radius, a1, a2);
}
void CGContextAddRect(const CGContextRef& c, CGRect rect) { CTX_STATE(c); rectPath(s.cr, rect); }
void CGContextAddEllipseInRect(const CGContextRef& c, CGRect rect) {
    CTX_STATE(c);
    if (rect.size.width == 0 || rect.size.height == 0) return;
    cairo_matrix_t saved;
    cairo_get_matrix(s.cr, &saved);
    cairo_new_sub_path(s.cr);
    cairo_translate(s.cr, CGRectGetMidX(rect), CGRectGetMidY(rect));
    cairo_scale(s.cr, rect.size.width / 2, rect.size.height / 2);
    cairo_arc(s.cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_close_path(s.cr);
    cairo_set_matrix(s.cr, &saved);
}
void CGContextClosePath(const CGContextRef& c) { CTX_STATE(c); cairo_close_path(s.cr); }
bool CGContextIsPathEmpty(const CGContextRef& c) {
    CTX_STATE(c, true);
    cairo_path_t* path = cairo_copy_path(s.cr);
    bool empty = path->num_data == 0;
    cairo_path_destroy(path);
    return empty;
}

void CGContextDrawPath(const CGContextRef& c, CGPathDrawingMode mode) {
    CTX_STATE(c);
    s.begin();
    cairo_set_operator(s.cr, cairoOperator(s.gs.blend));
    bool fill = mode == kCGPathFill || mode == kCGPathEOFill || mode == kCGPathFillStroke || mode == kCGPathEOFillStroke;
    bool stroke = mode == kCGPathStroke || mode == kCGPathFillStroke || mode == kCGPathEOFillStroke;
    if (fill) {
        cairo_set_fill_rule(s.cr, mode == kCGPathEOFill || mode == kCGPathEOFillStroke ? CAIRO_FILL_RULE_EVEN_ODD
                                                                                      : CAIRO_FILL_RULE_WINDING);
        s.setSource(s.gs.fill);
        cairo_fill_preserve(s.cr);
    }
    if (stroke) {
        s.setSource(s.gs.stroke);
        cairo_set_line_width(s.cr, s.gs.lineWidth);
        cairo_stroke_preserve(s.cr);
    }
    cairo_new_path(s.cr);
    s.end();
}
void CGContextFillPath(const CGContextRef& c) { CGContextDrawPath(c, kCGPathFill); }
void CGContextEOFillPath(const CGContextRef& c) { CGContextDrawPath(c, kCGPathEOFill); }
void CGContextStrokePath(const CGContextRef& c) { CGContextDrawPath(c, kCGPathStroke); }

void CGContextClip(const CGContextRef& c) {
    CTX_STATE(c);
    cairo_set_fill_rule(s.cr, CAIRO_FILL_RULE_WINDING);
    cairo_clip(s.cr);
}
void CGContextClipToRect(const CGContextRef& c, CGRect rect) {
    CTX_STATE(c);
    if (!finiteRect(rect)) return;
    s.keepingPath([&] {
        rectPath(s.cr, rect);
        cairo_clip(s.cr);
    });
}
