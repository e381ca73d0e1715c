#include "platform/graphics/CGImage.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>

#include "platform/foundation/NSLog.h"

namespace {

bool alphaFirst(CGImageAlphaInfo a) {
    return a == kCGImageAlphaPremultipliedFirst || a == kCGImageAlphaFirst || a == kCGImageAlphaNoneSkipFirst;
}
bool premultiplied(CGImageAlphaInfo a) {
    return a == kCGImageAlphaPremultipliedFirst || a == kCGImageAlphaPremultipliedLast;
}

std::uint8_t unpremultiply(std::uint8_t c, std::uint8_t a) {
    if (a == 0) return 0;
    if (a == 255) return c;
    unsigned v = (unsigned(c) * 255 + a / 2) / a;
    return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

}  // namespace

CGImage::CGImage(std::size_t width, std::size_t height, std::size_t bitsPerPixel, std::size_t bytesPerRow,
                 CGColorSpaceRef space, CGBitmapInfo bitmapInfo, PixelBuffer pixels)
    : width_(width), height_(height), bitsPerPixel_(bitsPerPixel), bytesPerRow_(bytesPerRow),
      space_(std::move(space)), bitmapInfo_(bitmapInfo), pixels_(std::move(pixels)) {}

namespace {
std::atomic<std::uint64_t> backingsMade{0};
}  // namespace

std::shared_ptr<void> CGImage::drawingBacking(const std::function<std::shared_ptr<void>()>& make) const {
    std::lock_guard lock(drawingMutex_);
    if (!drawingBacking_) {
        drawingBacking_ = make();
        if (drawingBacking_) ++backingsMade;
    }
    return drawingBacking_;
}

std::uint64_t CGImage::drawingBackingsMade() { return backingsMade.load(); }

bool CGImage::layoutIsSupported(std::size_t width, std::size_t height, std::size_t bitsPerComponent,
                                std::size_t bitsPerPixel, std::size_t bytesPerRow, const CGColorSpaceRef& space,
                                CGBitmapInfo bitmapInfo) {
    if (width == 0 || height == 0 || bitsPerComponent != 8) return false;
    if (std::uint64_t(width) * height > kCGImageMaxPixelCount) return false;
    if (!space || space->model() != kCGColorSpaceModelRGB) return false;
    if (bitmapInfo & ~(kCGBitmapAlphaInfoMask | kCGBitmapByteOrderMask)) return false;
    auto alpha = static_cast<CGImageAlphaInfo>(bitmapInfo & kCGBitmapAlphaInfoMask);
    CGBitmapInfo order = bitmapInfo & kCGBitmapByteOrderMask;
    if (alpha > kCGImageAlphaNoneSkipFirst) return false;
    std::size_t wanted = alpha == kCGImageAlphaNone ? 24 : 32;
    if (bitsPerPixel != wanted) return false;
    if (order != kCGBitmapByteOrderDefault && order != kCGBitmapByteOrder32Big &&
        !(order == kCGBitmapByteOrder32Little && wanted == 32))
        return false;
    return bytesPerRow >= width * (wanted / 8);
}

CGImageRef CGImage::create(std::size_t width, std::size_t height, std::size_t bitsPerComponent,
                           std::size_t bitsPerPixel, std::size_t bytesPerRow, CGColorSpaceRef space,
                           CGBitmapInfo bitmapInfo, PixelBuffer pixels) {
    if (!layoutIsSupported(width, height, bitsPerComponent, bitsPerPixel, bytesPerRow, space, bitmapInfo)) return nullptr;
    if (pixels.size() / bytesPerRow < height) return nullptr;
    return std::make_shared<CGImage>(width, height, bitsPerPixel, bytesPerRow, std::move(space), bitmapInfo,
                                     std::move(pixels));
}

bool CGImage::hasAlpha() const {
    auto a = alphaInfo();
    return a != kCGImageAlphaNone && a != kCGImageAlphaNoneSkipFirst && a != kCGImageAlphaNoneSkipLast;
}

CGPixel CGImage::pixelAt(std::size_t x, std::size_t y) const {
    if (x >= width_ || y >= height_) return {};
    const std::uint8_t* p = pixels_.data() + y * bytesPerRow_ + x * (bitsPerPixel_ / 8);
    auto alpha = alphaInfo();
    if (alpha == kCGImageAlphaNone) return {p[0], p[1], p[2], 255};
    std::uint8_t q[4];
    if ((bitmapInfo_ & kCGBitmapByteOrderMask) == kCGBitmapByteOrder32Little) {
        q[0] = p[3], q[1] = p[2], q[2] = p[1], q[3] = p[0];
    } else {
        std::memcpy(q, p, 4);
    }
    CGPixel px = alphaFirst(alpha) ? CGPixel{q[1], q[2], q[3], q[0]} : CGPixel{q[0], q[1], q[2], q[3]};
    if (!hasAlpha()) px.a = 255;
    if (premultiplied(alpha)) {
        px.r = unpremultiply(px.r, px.a);
        px.g = unpremultiply(px.g, px.a);
        px.b = unpremultiply(px.b, px.a);
    }
    return px;
}

Data CGImage::copyRGBA(bool premultiply) const {
    Data out(width_ * height_ * 4);
    std::uint8_t* o = out.data();
    bool straightLast = alphaInfo() == kCGImageAlphaLast && (bitmapInfo_ & kCGBitmapByteOrderMask) != kCGBitmapByteOrder32Little;
    for (std::size_t y = 0; y < height_; ++y) {
        if (straightLast && !premultiply) {
            std::memcpy(o, pixels_.data() + y * bytesPerRow_, width_ * 4);
            o += width_ * 4;
            continue;
        }
        for (std::size_t x = 0; x < width_; ++x, o += 4) {
            CGPixel p = pixelAt(x, y);
            if (premultiply && p.a != 255) {
                p.r = static_cast<std::uint8_t>((p.r * p.a + 127) / 255);
                p.g = static_cast<std::uint8_t>((p.g * p.a + 127) / 255);
                p.b = static_cast<std::uint8_t>((p.b * p.a + 127) / 255);
            }
            o[0] = p.r, o[1] = p.g, o[2] = p.b, o[3] = p.a;
        }
    }
    return out;
}

std::string CGImage::description() const {
    return format("<CGImage %zux%zu bpc 8 bpp %zu row %zu alpha %u>", width_, height_, bitsPerPixel_, bytesPerRow_,
                  static_cast<unsigned>(alphaInfo()));
}

CGImageRef CGImageCreateWithRGBA(std::size_t width, std::size_t height, PixelBuffer rgba, bool hasAlpha) {
    std::size_t bpp = hasAlpha ? 4 : 3;
    return CGImage::create(width, height, 8, bpp * 8, width * bpp, CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                           hasAlpha ? kCGImageAlphaLast : kCGImageAlphaNone, std::move(rgba));
}

CGImageRef CGImageCreateWithImageInRect(const CGImageRef& image, CGRect rect) {
    if (!image) return nullptr;
    double x0 = std::floor(CGRectGetMinX(rect)), y0 = std::floor(CGRectGetMinY(rect));
    double x1 = std::ceil(CGRectGetMaxX(rect)), y1 = std::ceil(CGRectGetMaxY(rect));
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return nullptr;
    x0 = std::max(x0, 0.0), y0 = std::max(y0, 0.0);
    x1 = std::min(x1, double(image->width())), y1 = std::min(y1, double(image->height()));
    if (x1 <= x0 || y1 <= y0) return nullptr;
    auto left = static_cast<std::size_t>(x0), top = static_cast<std::size_t>(y0);
    auto w = static_cast<std::size_t>(x1 - x0), h = static_cast<std::size_t>(y1 - y0);
    std::size_t pixelBytes = image->bitsPerPixel() / 8, rowBytes = w * pixelBytes;
    PixelBuffer pixels = PixelBuffer::allocate(rowBytes * h);
    if (pixels.empty()) return nullptr;
    for (std::size_t y = 0; y < h; ++y)
        std::memcpy(pixels.data() + y * rowBytes, image->data().data() + (top + y) * image->bytesPerRow() + left * pixelBytes,
                    rowBytes);
    return CGImage::create(w, h, 8, image->bitsPerPixel(), rowBytes, image->colorSpace(), image->bitmapInfo(),
                           std::move(pixels));
}
