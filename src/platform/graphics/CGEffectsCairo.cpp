// Shadows and transparency layers over Cairo.
//
// A shadow is cast by running the drawing step once more on a scratch surface
// of the context's size (unclipped, composited normally), blurring that
// coverage with a separable Gaussian, tinting it with the shadow colour and
// compositing it at the offset, inside the clip, before the step itself.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/graphics/CGContextCairo.h"

namespace {

// The Gaussian blur of a plane of width x height values with the standard deviation, in place.
// Values beyond the edges count as 0. Each output sums its taps from -radius to
// radius in that order; the loops run along rows so that they vectorise, and
// outputs whose taps all read 0, or all read the one value a solid interior
// has, take that window's sum without adding it up again (the same sum).
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
    auto tap = [&](int k) { return kernel[static_cast<std::size_t>(std::abs(k))]; };
    // The sum of a window of taps that all read v.
    auto windowSum = [&](float v) {
        float acc = 0;
        for (int k = -radius; k <= radius; ++k) acc += tap(k) * v;
        return acc;
    };
    auto w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    auto r = static_cast<std::size_t>(radius);
    auto span = 2 * r + 1;
    // The buffers stay with the thread between shadows (no fresh pages for every shadow).
    thread_local std::vector<float> padded, line, out;
    thread_local std::vector<int> zeros, solids;  // counts of 0 and of the solid value
    thread_local std::vector<unsigned char> uniform;

    // Along x: each row padded with zeros on both sides.
    const float one = 1.0f, oneSum = windowSum(one);
    padded.assign(w + 2 * r, 0.0f);
    line.resize(w);
    zeros.resize(w + 2 * r + 1);
    solids.resize(w + 2 * r + 1);
    for (std::size_t y = 0; y < h; ++y) {
        float* row = plane.data() + y * w;
        std::copy(row, row + w, padded.begin() + static_cast<std::ptrdiff_t>(r));
        zeros[0] = solids[0] = 0;
        for (std::size_t j = 0; j < w + 2 * r; ++j) {
            zeros[j + 1] = zeros[j] + (padded[j] == 0.0f);
            solids[j + 1] = solids[j] + (padded[j] == one);
        }
        std::size_t x = 0;
        while (x < w) {
            int z = zeros[x + span] - zeros[x], o = solids[x + span] - solids[x];
            if (z == int(span) || o == int(span)) {
                line[x] = z == int(span) ? 0.0f : oneSum;
                ++x;
                continue;
            }
            std::size_t end = x + 1;
            while (end < w && zeros[end + span] - zeros[end] != int(span) &&
                   solids[end + span] - solids[end] != int(span))
                ++end;
            std::fill(line.begin() + static_cast<std::ptrdiff_t>(x), line.begin() + static_cast<std::ptrdiff_t>(end),
                      0.0f);
            for (int k = -radius; k <= radius; ++k) {
                const float c = tap(k);
                const float* src = padded.data() + static_cast<std::ptrdiff_t>(r) + k;
                for (std::size_t i = x; i < end; ++i) line[i] += c * src[i];
            }
            x = end;
        }
        std::copy(line.begin(), line.end(), row);
    }

    // Along y: whole rows at a time, rows beyond the edges skipped (they add
    // nothing); counts of each column's window move down with the row.
    const float solid = oneSum, solidSum = windowSum(solid);
    out.assign(w * h, 0.0f);
    zeros.assign(w, 0);
    solids.assign(w, 0);
    uniform.resize(w);
    auto count = [&](std::size_t j, int step) {
        const float* src = plane.data() + j * w;
        for (std::size_t x = 0; x < w; ++x) {
            zeros[x] += step * (src[x] == 0.0f);
            solids[x] += step * (src[x] == solid);
        }
    };
    for (std::size_t j = 0; j < std::min(h, r); ++j) count(j, 1);
    for (std::size_t y = 0; y < h; ++y) {
        if (y + r < h) count(y + r, 1);
        if (y > r) count(y - r - 1, -1);
        float* dst = out.data() + y * w;
        bool whole = y >= r && y + r < h;  // a window cut by an edge is summed in full
        for (std::size_t x = 0; x < w; ++x) {
            uniform[x] = whole && (zeros[x] == int(span) || solids[x] == int(span));
            if (uniform[x]) dst[x] = zeros[x] == int(span) ? 0.0f : solidSum;
        }
        std::size_t x = 0;
        while (x < w) {
            if (uniform[x]) {
                ++x;
                continue;
            }
            std::size_t end = x + 1;
            while (end < w && !uniform[end]) ++end;
            for (int k = -radius; k <= radius; ++k) {
                long j = static_cast<long>(y) + k;
                if (j < 0 || j >= static_cast<long>(h)) continue;
                const float c = tap(k);
                const float* src = plane.data() + static_cast<std::size_t>(j) * w;
                for (std::size_t i = x; i < end; ++i) dst[i] += c * src[i];
            }
            x = end;
        }
    }
    std::copy(out.begin(), out.end(), plane.begin());
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
        // Whether the row has any alpha at all (a branch-free pass), then its ends.
        std::uint32_t any = 0;
        for (int x = 0; x < w; ++x) any |= row[x];
        if (!(any >> 24)) continue;
        int first = 0, last = w - 1;
        while (!(row[first] >> 24)) ++first;
        while (!(row[last] >> 24)) --last;
        b.x0 = std::min(b.x0, first), b.x1 = std::max(b.x1, last);
        b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
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
    thread_local std::vector<float> coverage;
    coverage.resize(w * h);
    for (std::size_t y = 0; y < h; ++y)
        for (std::size_t x = 0; x < w; ++x) coverage[y * w + x] = float(row(y)[x] >> 24) / 255.0f;
    blurPlane(coverage, box.width(), box.height(), sigma);
    for (std::size_t y = 0; y < h; ++y) {
        std::uint32_t* out = row(y);
        for (std::size_t x = 0; x < w; ++x) {
            double a = std::clamp(double(coverage[y * w + x]) * colour[3], 0.0, 1.0);
            if (a == 0) {
                out[x] = 0;
                continue;
            }
            // Rounded half up (the values are never negative).
            auto channel = [&](double v) { return static_cast<std::uint32_t>(v * a * 255 + 0.5); };
            out[x] = (channel(1) << 24) | (channel(colour[0]) << 16) | (channel(colour[1]) << 8) | channel(colour[2]);
        }
    }
    cairo_surface_mark_dirty(surface);
}

// A cleared scratch surface of a size. A few surfaces stay with the thread
// between shadows (each shadow of a redraw needs one of the same size as last
// time), so no fresh pages are faulted in for every shadow; a surface still in
// use by an outer shadow is never handed out twice.
class ScratchSurface {
public:
    ScratchSurface(int w, int h) {
        auto& slots = cache();
        for (auto& slot : slots) {
            if (slot.inUse || cairo_image_surface_get_width(slot.surface) != w ||
                cairo_image_surface_get_height(slot.surface) != h)
                continue;
            slot.inUse = true;
            slot_ = &slot;
            surface_ = cairo_surface_reference(slot.surface);
            cairo_surface_flush(surface_);
            std::memset(cairo_image_surface_get_data(surface_), 0,
                        static_cast<std::size_t>(cairo_image_surface_get_stride(surface_)) * std::size_t(h));
            cairo_surface_mark_dirty(surface_);
            return;
        }
        surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) return;
        if (slots.size() < kSlots) {
            slots.push_back(Slot{cairo_surface_reference(surface_), true});
            slot_ = &slots.back();
            return;
        }
        for (auto& slot : slots) {  // replaces a free one
            if (slot.inUse) continue;
            cairo_surface_destroy(slot.surface);
            slot = Slot{cairo_surface_reference(surface_), true};
            slot_ = &slot;
            return;
        }
    }
    ~ScratchSurface() {
        if (slot_) slot_->inUse = false;
        cairo_surface_destroy(surface_);
    }
    ScratchSurface(const ScratchSurface&) = delete;
    ScratchSurface& operator=(const ScratchSurface&) = delete;
    bool ok() const { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
    cairo_surface_t* get() const { return surface_; }

private:
    struct Slot {
        cairo_surface_t* surface = nullptr;
        bool inUse = false;
    };
    struct Slots : std::vector<Slot> {
        Slots() { reserve(kSlots); }  // slots never move while handed out
        ~Slots() {
            for (auto& slot : *this) cairo_surface_destroy(slot.surface);
        }
    };
    static constexpr std::size_t kSlots = 4;
    static Slots& cache() {
        thread_local Slots slots;
        return slots;
    }
    Slot* slot_ = nullptr;
    cairo_surface_t* surface_ = nullptr;
};

}  // namespace

void CGContext::State::paintShadow(const std::function<void(cairo_t*)>& step) {
    // Offset and blur from the base space into device pixels.
    double dx = base.xx * gs.shadowOffset.width + base.xy * gs.shadowOffset.height;
    double dy = base.yx * gs.shadowOffset.width + base.yy * gs.shadowOffset.height;
    double scale = std::sqrt(std::fabs(base.xx * base.yy - base.xy * base.yx));
    double sigma = gs.shadowBlur / 2 * scale;
    int reach = static_cast<int>(std::ceil(3 * sigma));
    // The scratch surface covers what lands on the bitmap once moved by the
    // offset, with a margin of the blur's reach: drawing just outside it casts
    // shadows into it, and nothing farther away can.
    int margin = std::min(2048, reach + 2);
    int ox = margin + static_cast<int>(std::lround(std::clamp(dx, -1e6, 1e6)));
    int oy = margin + static_cast<int>(std::lround(std::clamp(dy, -1e6, 1e6)));
    int w = static_cast<int>(width) + 2 * margin, h = static_cast<int>(height) + 2 * margin;
    ScratchSurface holder(w, h);
    if (!holder.ok()) {
        NSLog("shadow: no scratch surface of %d x %d; drawn without its shadow", w, h);
        return;
    }
    cairo_surface_t* scratch = holder.get();
    cairo_surface_set_device_offset(scratch, ox, oy);
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
        cairo_rectangle(cr, box.x0 - ox + dx, box.y0 - oy + dy, box.width(), box.height());
        cairo_fill(cr);
        cairo_restore(cr);
    }
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
