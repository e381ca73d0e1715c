// Shadows and transparency layers over Cairo.
//
// A shadow is cast by running the drawing step once more on a scratch surface
// of the context's size (unclipped, composited normally), blurring that
// coverage with a separable Gaussian, tinting it with the shadow colour and
// compositing it at the offset, inside the clip, before the step itself.
#include <cmath>
#include <vector>

#include "platform/graphics/CGContextCairo.h"

namespace {

// The Gaussian blur of a plane of width x height values with the standard deviation, in place.
void blurPlane(std::vector<float>& plane, int width, int height, double sigma) {
    if (sigma < 0.05) return;
    int radius = static_cast<int>(std::ceil(3 * sigma));
    std::vector<float> kernel(static_cast<std::size_t>(radius) + 1);
    double sum = 0;
    for (int i = 0; i <= radius; ++i) {
        kernel[static_cast<std::size_t>(i)] = static_cast<float>(std::exp(-double(i * i) / (2 * sigma * sigma)));
        sum += i == 0 ? kernel[0] : 2 * kernel[static_cast<std::size_t>(i)];
    }
    for (float& k : kernel) k = static_cast<float>(k / sum);
    std::vector<float> line(static_cast<std::size_t>(std::max(width, height)));
    auto pass = [&](int count, int length, auto index) {
        for (int n = 0; n < count; ++n) {
            for (int i = 0; i < length; ++i) {
                float acc = 0;
                for (int k = -radius; k <= radius; ++k) {
                    int j = i + k;
                    if (j < 0 || j >= length) continue;
                    acc += kernel[static_cast<std::size_t>(std::abs(k))] * plane[index(n, j)];
                }
                line[static_cast<std::size_t>(i)] = acc;
            }
            for (int i = 0; i < length; ++i) plane[index(n, i)] = line[static_cast<std::size_t>(i)];
        }
    };
    auto w = static_cast<std::size_t>(width);
    pass(height, width, [&](int y, int x) { return static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x); });
    pass(width, height, [&](int x, int y) { return static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x); });
}

}  // namespace

bool CGContext::State::shadowActive() const { return gs.shadowColor[3] > 0 && gs.alpha > 0 && !shadowPass; }

namespace {

// The box of the pixels with some alpha, grown by margin and kept on the surface; empty when none.
struct Box {
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    bool empty() const { return x1 < x0; }
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
};

Box coveredBox(cairo_surface_t* surface, int margin) {
    int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    unsigned char* px = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    Box b{w, h, -1, -1};
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(px + y * stride);
        for (int x = 0; x < w; ++x) {
            if (!(row[x] >> 24)) continue;
            b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x);
            b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
        }
    }
    if (b.empty()) return b;
    return Box{std::max(0, b.x0 - margin), std::max(0, b.y0 - margin), std::min(w - 1, b.x1 + margin),
               std::min(h - 1, b.y1 + margin)};
}

// Replaces the coverage inside the box by its blur, tinted with the colour (straight RGBA).
void tintBlurred(cairo_surface_t* surface, const Box& box, double sigma, const double colour[4]) {
    unsigned char* px = cairo_image_surface_get_data(surface);
    auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
    auto w = static_cast<std::size_t>(box.width()), h = static_cast<std::size_t>(box.height());
    auto row = [&](std::size_t y) {
        return reinterpret_cast<std::uint32_t*>(px + (y + std::size_t(box.y0)) * stride) + box.x0;
    };
    std::vector<float> coverage(w * h);
    for (std::size_t y = 0; y < h; ++y)
        for (std::size_t x = 0; x < w; ++x) coverage[y * w + x] = float(row(y)[x] >> 24) / 255.0f;
    blurPlane(coverage, box.width(), box.height(), sigma);
    for (std::size_t y = 0; y < h; ++y) {
        for (std::size_t x = 0; x < w; ++x) {
            double a = std::clamp(double(coverage[y * w + x]) * colour[3], 0.0, 1.0);
            auto channel = [&](double v) { return static_cast<std::uint32_t>(std::lround(v * a * 255)); };
            row(y)[x] = (channel(1) << 24) | (channel(colour[0]) << 16) | (channel(colour[1]) << 8) | channel(colour[2]);
        }
    }
    cairo_surface_mark_dirty(surface);
}

}  // namespace

void CGContext::State::paintShadow(const std::function<void(cairo_t*)>& step) {
    // Offset and blur from the base space into device pixels.
    double dx = base.xx * gs.shadowOffset.width + base.xy * gs.shadowOffset.height;
    double dy = base.yx * gs.shadowOffset.width + base.yy * gs.shadowOffset.height;
    double scale = std::sqrt(std::fabs(base.xx * base.yy - base.xy * base.yx));
    double sigma = gs.shadowBlur / 2 * scale;
    int reach = static_cast<int>(std::ceil(3 * sigma));
    // Drawing just outside the bitmap casts shadows into it: the scratch surface has a margin.
    int margin = std::min(2048, reach + static_cast<int>(std::ceil(std::max(std::fabs(dx), std::fabs(dy)))) + 1);
    int w = static_cast<int>(width) + 2 * margin, h = static_cast<int>(height) + 2 * margin;
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(scratch) != CAIRO_STATUS_SUCCESS) {
        NSLog("shadow: no scratch surface of %d x %d; drawn without its shadow", w, h);
        cairo_surface_destroy(scratch);
        return;
    }
    cairo_surface_set_device_offset(scratch, margin, margin);
    cairo_t* t = cairo_create(scratch);
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    cairo_set_matrix(t, &m);
    cairo_set_antialias(t, cairo_get_antialias(cr));
    shadowPass = true;
    step(t);
    shadowPass = false;
    cairo_destroy(t);
    cairo_surface_flush(scratch);
    Box box = coveredBox(scratch, reach + 1);
    if (!box.empty()) {
        tintBlurred(scratch, box, sigma, gs.shadowColor);
        cairo_save(cr);
        cairo_identity_matrix(cr);
        cairo_new_path(cr);
        // The device offset already maps scratch pixels back onto the bitmap's.
        cairo_set_source_surface(cr, scratch, dx, dy);
        setOperator(cr);
        cairo_rectangle(cr, box.x0 - margin + dx, box.y0 - margin + dy, box.width(), box.height());
        cairo_fill(cr);
        cairo_restore(cr);
    }
    cairo_surface_destroy(scratch);
}

void CGContextSetShadowWithColor(const CGContextRef& c, CGSize offset, double blur, const CGColorRef& color) {
    CTX_STATE(c);
    REFUSE_UNLESS(finiteValues({offset.width, offset.height, blur}) && blur >= 0);
    s.gs.shadowOffset = offset;
    s.gs.shadowBlur = blur;
    double* col = s.gs.shadowColor;
    if (color) color->getRGBA(col[0], col[1], col[2], col[3]);
    else col[0] = col[1] = col[2] = col[3] = 0;
}

void CGContextSetShadow(const CGContextRef& c, CGSize offset, double blur) {
    static const CGColorRef kDefault = CGColorCreate(CGColorSpaceCreateDeviceRGB(), {0, 0, 0, 1.0 / 3.0});
    CGContextSetShadowWithColor(c, offset, blur, kDefault);
}

namespace {
void beginLayer(CGContext::State& s) {
    s.layers.push_back({s.gs, s.stack.size()});
    s.gs.alpha = 1;
    s.gs.blend = kCGBlendModeNormal;
    s.gs.shadowOffset = {};
    s.gs.shadowBlur = 0;
    s.gs.shadowColor[3] = 0;
    cairo_push_group(s.cr);
}
}  // namespace

void CGContextBeginTransparencyLayer(const CGContextRef& c) {
    CTX_STATE(c);
    beginLayer(s);
    s.check(__func__);
}

void CGContextBeginTransparencyLayerWithRect(const CGContextRef& c, CGRect rect) {
    CTX_STATE(c);
    REFUSE_UNLESS(CGRectIsFinite(rect));
    beginLayer(s);
    s.keepingPath([&] {
        cairo_rectangle(s.cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
        cairo_clip(s.cr);
    });
    s.check(__func__);
}

void CGContextEndTransparencyLayer(const CGContextRef& c) {
    CTX_STATE(c);
    if (s.layers.empty()) {
        NSLog("CGContextEndTransparencyLayer: no transparency layer to end");
        return;
    }
    CGContext::State::Layer layer = s.layers.back();
    // State saved inside the layer ends with it.
    while (s.stack.size() > layer.depth) {
        s.stack.pop_back();
        cairo_restore(s.cr);
    }
    cairo_pattern_t* pattern = cairo_pop_group(s.cr);
    s.layers.pop_back();
    s.gs = layer.saved;
    s.paintPattern(pattern);
    cairo_pattern_destroy(pattern);
    s.check(__func__);
}
