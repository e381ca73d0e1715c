// Bitmap contexts over Cairo image surfaces: creation, the pixel buffer and the
// painting of rectangles and images (graphics state: CGContextCairoState.cpp;
// paths: CGContextCairoPath.cpp; gradients: CGGradientCairo.cpp; shadows and
// layers: CGEffectsCairo.cpp).
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
#include "platform/graphics/CGContextCairo.h"

namespace {


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
// Whether the bitmap already is in cairo's own layout: 32-bit words in the
// machine's order with premultiplied (or skipped) alpha first, rows as cairo pads them.
bool inCairoLayout(const CGImage& image, cairo_format_t format) {
    const CGImageAlphaInfo alpha = image.alphaInfo();
    return image.bitsPerPixel() == 32 && (image.bitmapInfo() & kCGBitmapByteOrderMask) == kCGBitmapByteOrder32Host &&
           (alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaNoneSkipFirst) &&
           static_cast<std::size_t>(cairo_format_stride_for_width(format, static_cast<int>(image.width()))) ==
               image.bytesPerRow();
}

// A source surface for drawing the image: its own pixels read in place when
// they are in cairo's layout (layer backings are), else a converted copy.
cairo_surface_t* surfaceForImage(const CGImage& image) {
    auto w = static_cast<int>(image.width()), h = static_cast<int>(image.height());
    const cairo_format_t format = image.hasAlpha() ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24;
    if (inCairoLayout(image, format)) {
        // Cairo only reads a source surface; the image outlives the drawing call that uses it.
        auto* pixels = const_cast<unsigned char*>(image.data().data());
        cairo_surface_t* s = cairo_image_surface_create_for_data(pixels, format, w, h, static_cast<int>(image.bytesPerRow()));
        if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) return s;
        cairo_surface_destroy(s);  // fall back to a copy
    }
    cairo_surface_t* s = cairo_image_surface_create(format, w, h);
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

CGContext::CGContext(std::unique_ptr<State> state) : state_(std::move(state)) {}
CGContext::~CGContext() = default;

CGContext::State::~State() {
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
}

void CGContext::State::begin() {
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

void CGContext::State::end() {
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

void CGContext::State::setSource(cairo_t* target, const double c[4]) const {
    cairo_set_source_rgba(target, c[0], c[1], c[2], c[3] * gs.alpha);
}

void CGContext::State::setOperator(cairo_t* target) const {
    cairo_set_operator(target, shadowPass ? CAIRO_OPERATOR_OVER : cairoOperator(gs.blend));
}

void CGContext::State::setStroke(cairo_t* target) const {
    cairo_set_line_width(target, gs.lineWidth);
    cairo_set_line_cap(target, gs.lineCap == kCGLineCapRound    ? CAIRO_LINE_CAP_ROUND
                               : gs.lineCap == kCGLineCapSquare ? CAIRO_LINE_CAP_SQUARE
                                                                : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(target, gs.lineJoin == kCGLineJoinRound   ? CAIRO_LINE_JOIN_ROUND
                                : gs.lineJoin == kCGLineJoinBevel ? CAIRO_LINE_JOIN_BEVEL
                                                                  : CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(target, gs.miterLimit);
    cairo_set_dash(target, gs.dash.data(), static_cast<int>(gs.dash.size()), gs.dashPhase);
}

void CGContext::State::paint(const std::function<void(cairo_t*)>& step) {
    begin();
    if (shadowActive()) paintShadow(step);
    step(cr);
    end();
}

void CGContext::State::paintPattern(cairo_pattern_t* pattern) {
    keepingPath([&] {
        paint([&](cairo_t* cr) {
            cairo_save(cr);
            cairo_set_source(cr, pattern);
            setOperator(cr);
            cairo_paint_with_alpha(cr, gs.alpha);
            cairo_restore(cr);
        });
    });
}

bool CGContext::State::makeCairo() {
    if (cr) cairo_destroy(cr);
    cr = cairo_create(surface);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) return false;
    cairo_set_matrix(cr, &base);
    return true;
}

bool CGContext::State::check(const char* function) {
    cairo_status_t status = cairo_status(cr);
    if (status == CAIRO_STATUS_SUCCESS) return true;
    NSLog("%s: drawing failed (%s); the context's state is reset", function, cairo_status_to_string(status));
    gs = CGContextGState{};
    stack.clear();
    layers.clear();
    if (!makeCairo()) NSLog("%s: the context cannot draw any more", function);
    return false;
}

bool finiteValues(std::initializer_list<double> values) {
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

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
    bool nativeOrder = (bitmapInfo & kCGBitmapByteOrderMask) == kCGBitmapByteOrder32Host ||
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
    // The platform's user space: origin bottom left, y up.
    cairo_matrix_init(&st->base, 1, 0, 0, -1, 0, static_cast<double>(height));
    if (!st->makeCairo()) return nullptr;
    return std::make_shared<CGContext>(std::move(st));
}


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

namespace {
void rectPath(cairo_t* cr, CGRect r) { cairo_rectangle(cr, r.origin.x, r.origin.y, r.size.width, r.size.height); }
}  // namespace

void CGContextFillRect(const CGContextRef& c, CGRect rect) {
    CTX_STATE(c);
    REFUSE_UNLESS(CGRectIsFinite(rect));
    s.keepingPath([&] {
        s.paint([&](cairo_t* cr) {
            rectPath(cr, rect);
            s.setSource(cr, s.gs.fill);
            s.setOperator(cr);
            cairo_fill(cr);
        });
    });
    s.check(__func__);
}

void CGContextStrokeRect(const CGContextRef& c, CGRect rect) {
    CTX_STATE(c);
    REFUSE_UNLESS(CGRectIsFinite(rect));
    s.keepingPath([&] {
        s.paint([&](cairo_t* cr) {
            rectPath(cr, rect);
            s.setSource(cr, s.gs.stroke);
            s.setOperator(cr);
            s.setStroke(cr);
            cairo_stroke(cr);
        });
    });
    s.check(__func__);
}

void CGContextStrokeRectWithWidth(const CGContextRef& c, CGRect rect, double width) {
    CTX_STATE(c);
    REFUSE_UNLESS(width >= 0 && std::isfinite(width));
    double saved = s.gs.lineWidth;
    s.gs.lineWidth = width;
    CGContextStrokeRect(c, rect);
    s.gs.lineWidth = saved;
}

void CGContextClearRect(const CGContextRef& c, CGRect rect) {
    CTX_STATE(c);
    REFUSE_UNLESS(CGRectIsFinite(rect));
    s.begin();
    s.keepingPath([&] {
        rectPath(s.cr, rect);
        cairo_save(s.cr);
        cairo_set_operator(s.cr, CAIRO_OPERATOR_CLEAR);
        cairo_fill(s.cr);
        cairo_restore(s.cr);
    });
    s.end();
    s.check(__func__);
}

void CGContextDrawImage(const CGContextRef& c, CGRect rect, const CGImageRef& image) {
    CTX_STATE(c);
    REFUSE_UNLESS(CGRectIsFinite(rect));
    if (!image || CGRectIsEmpty(rect)) return;
    // The image keeps the surface: a huge bitmap is converted once, not on every draw.
    std::shared_ptr<void> backing = image->drawingBacking([&]() -> std::shared_ptr<void> {
        cairo_surface_t* made = surfaceForImage(*image);
        if (!made) return nullptr;
        return std::shared_ptr<void>(made, [](void* p) { cairo_surface_destroy(static_cast<cairo_surface_t*>(p)); });
    });
    auto* src = static_cast<cairo_surface_t*>(backing.get());
    if (!src) return;
    s.keepingPath([&] {
        s.paint([&](cairo_t* cr) {
            cairo_save(cr);
            // The image's top row goes to the top of the rectangle (its larger y).
            cairo_translate(cr, rect.origin.x, rect.origin.y + rect.size.height);
            cairo_scale(cr, rect.size.width / double(image->width()), -rect.size.height / double(image->height()));
            cairo_set_source_surface(cr, src, 0, 0);
            cairo_pattern_t* pattern = cairo_get_source(cr);
            cairo_pattern_set_filter(pattern, cairoFilter(s.gs.quality));
            cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
            cairo_rectangle(cr, 0, 0, double(image->width()), double(image->height()));
            cairo_clip(cr);
            s.setOperator(cr);
            cairo_paint_with_alpha(cr, s.gs.alpha);
            cairo_restore(cr);
        });
    });
    s.check(__func__);
}
