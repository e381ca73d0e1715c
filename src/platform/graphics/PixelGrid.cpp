#include "platform/graphics/PixelGrid.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/CGColorSpace.h"

CGContextRef PointsContextCreate(CGSize size, CGFloat scale) {
    if (!(scale > 0) || !std::isfinite(scale)) return nullptr;
    double w = std::ceil(size.width * scale - 1e-9), h = std::ceil(size.height * scale - 1e-9);
    if (!std::isfinite(w) || !std::isfinite(h) || w < 1 || h < 1 || w > 32767 || h > 32767 ||
        w * h > double(kCGImageMaxPixelCount))
        return nullptr;
    constexpr CGBitmapInfo kNativeARGB =
        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host;
    CGContextRef ctx = CGBitmapContextCreate(nullptr, static_cast<std::size_t>(w), static_cast<std::size_t>(h), 8, 0,
                                             CGColorSpaceCreateWithName(kCGColorSpaceSRGB), kNativeARGB);
    if (!ctx) return nullptr;
    // Points, y down; shadows are measured in that space too.
    CGContextSetBaseCTM(ctx, CGAffineTransformMake(scale, 0, 0, -scale, 0, h));
    return ctx;
}

std::optional<PixelGrid> PixelGrid::of(const CGContextRef& ctx) {
    if (!ctx) return std::nullopt;
    CGAffineTransform m = CGContextGetCTM(ctx);
    PixelGrid grid;
    grid.width = static_cast<long>(CGBitmapContextGetWidth(ctx));
    grid.height = static_cast<long>(CGBitmapContextGetHeight(ctx));
    if (m.b != 0 || m.c != 0 || !(m.a > 0) || m.d != -m.a || grid.width < 1 || grid.height < 1)
        return std::nullopt;
    grid.scale = m.a;
    // Device y counts up from the bottom row: top-down pixel y = height - (d * y + ty).
    grid.originX = -m.tx / m.a;
    grid.originY = (m.ty - static_cast<double>(grid.height)) / m.a;
    if (!std::isfinite(grid.originX) || !std::isfinite(grid.originY)) return std::nullopt;
    return grid;
}

CGRect PixelGrid::userRect(const PixelRect& p) const {
    return CGRectMake(originX + double(p.x) / scale, originY + double(p.y) / scale, double(p.w) / scale,
                      double(p.h) / scale);
}

PixelRect PixelGrid::pixelsInside(CGRect rect) const {
    if (!CGRectIsFinite(rect) || CGRectIsEmpty(rect)) return {};
    // A hair of slack so that edges on a pixel boundary count as on it.
    double left = std::max(0.0, std::ceil((CGRectGetMinX(rect) - originX) * scale - 1e-6));
    double top = std::max(0.0, std::ceil((CGRectGetMinY(rect) - originY) * scale - 1e-6));
    double right = std::min(double(width), std::floor((CGRectGetMaxX(rect) - originX) * scale + 1e-6));
    double bottom = std::min(double(height), std::floor((CGRectGetMaxY(rect) - originY) * scale + 1e-6));
    if (right <= left || bottom <= top) return {};
    return PixelRect{long(left), long(top), long(right - left), long(bottom - top)};
}

CGContextRef PixelGrid::makeContext(const PixelRect& pixels) const {
    if (pixels.empty()) return nullptr;
    CGRect rect = userRect(pixels);
    CGContextRef ctx = PointsContextCreate(rect.size, scale);
    if (!ctx) return nullptr;
    if (CGBitmapContextGetWidth(ctx) != std::size_t(pixels.w) || CGBitmapContextGetHeight(ctx) != std::size_t(pixels.h))
        return nullptr;  // a scale that does not land on whole pixels
    CGContextTranslateCTM(ctx, -rect.origin.x, -rect.origin.y);
    return ctx;
}

void PixelGrid::layDown(const CGContextRef& ctx, const PixelRect& pixels,
                                 const CGImageRef& image) const {
    if (!image || pixels.empty()) return;
    CGRect rect = userRect(pixels);
    CGContextSaveGState(ctx);
    CGContextTranslateCTM(ctx, rect.origin.x, rect.origin.y + rect.size.height);
    CGContextScaleCTM(ctx, 1, -1);
    CGContextDrawImage(ctx, CGRectMake(0, 0, rect.size.width, rect.size.height), image);
    CGContextRestoreGState(ctx);
}

CGFloat PixelsPerPoint(const CGContextRef& ctx) {
    CGAffineTransform m = CGContextGetCTM(ctx);
    CGFloat s = std::sqrt(std::fabs(m.a * m.d - m.b * m.c));
    return s > 0 && std::isfinite(s) ? s : 1;
}
