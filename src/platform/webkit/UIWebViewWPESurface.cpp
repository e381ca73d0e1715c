// Frames of an engine view: the exportable FDO backend hands over shared-
// memory buffers; each is copied into an image for the view's layer and
// released at once, and the frame is acknowledged from a timer so the page
// paints at up to 60 Hz. Size, scale, activity state and pointer input go to
// the same backend.
#include <glib.h>
#include <wayland-server.h>
#include <wpe/fdo.h>
#include <wpe/unstable/fdo-shm.h>
#include <wpe/webkit.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/base/ThreadAssertions.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/CGImage.h"
#include "platform/webkit/UIWebViewWPE.h"

namespace {
constexpr double kFrameInterval = 1.0 / 60;
constexpr uint32_t kActive =
    wpe_view_activity_state_visible | wpe_view_activity_state_focused | wpe_view_activity_state_in_window;

uint32_t points(double value) { return static_cast<uint32_t>(std::max(1.0, std::round(value))); }

CGImageRef imageOf(wl_shm_buffer* shm) {
    const auto width = static_cast<std::size_t>(wl_shm_buffer_get_width(shm));
    const auto height = static_cast<std::size_t>(wl_shm_buffer_get_height(shm));
    const auto stride = static_cast<std::size_t>(wl_shm_buffer_get_stride(shm));
    const uint32_t format = wl_shm_buffer_get_format(shm);
    if (!width || !height || stride < width * 4) return nullptr;
    wl_shm_buffer_begin_access(shm);
    auto copy = PixelBuffer::copyOf(static_cast<const std::uint8_t*>(wl_shm_buffer_get_data(shm)), stride * height);
    wl_shm_buffer_end_access(shm);
    if (copy.empty()) return nullptr;
    // ARGB8888 and XRGB8888 are 32-bit words in host order, premultiplied.
    const CGBitmapInfo alpha =
        format == WL_SHM_FORMAT_XRGB8888 ? kCGImageAlphaNoneSkipFirst : kCGImageAlphaPremultipliedFirst;
    return CGImage::create(width, height, 8, 32, stride, CGColorSpaceCreateDeviceRGB(),
                           alpha | kCGBitmapByteOrder32Host, std::move(copy));
}
}  // namespace

// The backend outlives the surface while its engine view holds it (the view
// destroys it through the backend's destroy notify).
struct UIWebViewWPESurface::Backend {
    wpe_view_backend_exportable_fdo* exportable = nullptr;
    UIWebViewWPESurface* surface = nullptr;  // null once the surface is gone
    // The geometry last given to the engine view (0: none yet).
    uint32_t width = 0, height = 0;
    float scale = 0;
    bool pendingAck = false;
};

UIWebViewWPESurface::UIWebViewWPESurface(CGSize size, double scale, FrameSink sink)
    : sink_(std::move(sink)), size_(size), scale_(scale) {}

UIWebViewWPESurface::~UIWebViewWPESurface() {
    if (ackSource_) g_source_remove(ackSource_);
    if (backend_) backend_->surface = nullptr;
}

void* UIWebViewWPESurface::makeViewBackend() {
    QV_ASSERT_MAIN_THREAD();
    UIWebViewWPEContext::context();  // the engine is loaded first
    if (backend_) backend_->surface = nullptr;
    static const wpe_view_backend_exportable_fdo_client client = {
        nullptr, nullptr, &UIWebViewWPESurface::exportShmBuffer, nullptr, nullptr};
    auto* holder = new std::shared_ptr<Backend>(std::make_shared<Backend>());
    backend_ = *holder;
    backend_->surface = this;
    backend_->exportable = wpe_view_backend_exportable_fdo_create(&client, holder, points(size_.width),
                                                                  points(size_.height));
    wpe_view_backend* view = wpe_view_backend_exportable_fdo_get_view_backend(backend_->exportable);
    applyState();
    // The size goes with the backend; a scale given before the engine view
    // exists is not heard: it goes again with the view's next geometry.
    backend_->scale = 0;
    return webkit_web_view_backend_new(
        view,
        [](gpointer data) {
            auto* held = static_cast<std::shared_ptr<Backend>*>(data);
            wpe_view_backend_exportable_fdo_destroy((*held)->exportable);
            (*held)->exportable = nullptr;
            delete held;
        },
        holder);
}

// The geometry goes to the engine view only when it changed: each change of a
// visible page makes the engine's host side wait on the main thread (up to half
// a second) for the page's answer (see UIWebViewWPE.h).
void UIWebViewWPESurface::applyState() {
    if (!backend_ || !backend_->exportable) return;
    wpe_view_backend* view = wpe_view_backend_exportable_fdo_get_view_backend(backend_->exportable);
    const uint32_t width = points(size_.width), height = points(size_.height);
    const auto scale = static_cast<float>(scale_);
    Backend& sent = *backend_;
    if (scale != sent.scale) wpe_view_backend_dispatch_set_device_scale_factor(view, scale);
    if (width != sent.width || height != sent.height) wpe_view_backend_dispatch_set_size(view, width, height);
    sent.width = width;
    sent.height = height;
    sent.scale = scale;
    if (visible_)
        wpe_view_backend_add_activity_state(view, kActive);
    else
        wpe_view_backend_remove_activity_state(view, wpe_view_activity_state_visible);
}

void UIWebViewWPESurface::setSize(CGSize size, double scale) {
    QV_ASSERT_MAIN_THREAD();
    size_ = size;
    scale_ = scale > 0 ? scale : 1;
    applyState();
}

void UIWebViewWPESurface::setVisible(bool visible) {
    QV_ASSERT_MAIN_THREAD();
    if (visible == visible_) return;
    visible_ = visible;
    applyState();
}

void UIWebViewWPESurface::pointer(CGPoint point, int phase) {
    QV_ASSERT_MAIN_THREAD();
    if (!backend_ || !backend_->exportable) return;
    wpe_view_backend* view = wpe_view_backend_exportable_fdo_get_view_backend(backend_->exportable);
    const auto time = static_cast<uint32_t>(g_get_monotonic_time() / 1000);
    const int x = static_cast<int>(std::lround(point.x * scale_));
    const int y = static_cast<int>(std::lround(point.y * scale_));
    const bool pressed = phase == 0 || phase == 1;
    wpe_input_pointer_event motion = {wpe_input_pointer_event_type_motion, time, x, y, 0, 0,
                                      pressed && phase == 1 ? static_cast<uint32_t>(wpe_input_pointer_modifier_button1) : 0u};
    wpe_view_backend_dispatch_pointer_event(view, &motion);
    if (phase == 1) return;
    wpe_input_pointer_event button = {wpe_input_pointer_event_type_button, time, x, y, 1, phase == 0 ? 1u : 0u,
                                      phase == 0 ? static_cast<uint32_t>(wpe_input_pointer_modifier_button1) : 0u};
    wpe_view_backend_dispatch_pointer_event(view, &button);
}

void UIWebViewWPESurface::exportShmBuffer(void* data, wpe_fdo_shm_exported_buffer* buffer) {
    auto& backend = *static_cast<std::shared_ptr<Backend>*>(data);
    CGImageRef image;
    if (backend->surface && backend->surface->sink_) image = imageOf(wpe_fdo_shm_exported_buffer_get_shm_buffer(buffer));
    wpe_view_backend_exportable_fdo_dispatch_release_shm_exported_buffer(backend->exportable, buffer);
    backend->pendingAck = true;
    if (!backend->surface) {
        // No surface any more: acknowledge at once so the engine view winds down.
        wpe_view_backend_exportable_fdo_dispatch_frame_complete(backend->exportable);
        backend->pendingAck = false;
        return;
    }
    UIWebViewWPESurface& surface = *backend->surface;
    surface.scheduleAcknowledge();
    if (image && surface.sink_) surface.sink_(std::move(image), surface.scale_);
}

void UIWebViewWPESurface::scheduleAcknowledge() {
    if (ackSource_) return;
    const double next = lastAck_ + kFrameInterval;
    const double wait = std::max(0.001, next - UIWebViewWPEContext::now());
    ackSource_ = g_timeout_add(static_cast<guint>(std::ceil(wait * 1000)), &UIWebViewWPESurface::acknowledge, this);
}

int UIWebViewWPESurface::acknowledge(void* data) {
    auto& surface = *static_cast<UIWebViewWPESurface*>(data);
    surface.ackSource_ = 0;
    surface.lastAck_ = UIWebViewWPEContext::now();
    if (surface.backend_ && surface.backend_->exportable && surface.backend_->pendingAck) {
        surface.backend_->pendingAck = false;
        wpe_view_backend_exportable_fdo_dispatch_frame_complete(surface.backend_->exportable);
    }
    return G_SOURCE_REMOVE;
}
