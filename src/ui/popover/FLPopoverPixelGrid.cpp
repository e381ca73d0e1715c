#include "ui/popover/FLPopoverPixelGrid.h"

#include <algorithm>
#include <cmath>

#include "platform/quartzcore/CALayer.h"

std::optional<FLPopoverPixelGrid> FLPopoverPixelGrid::of(const CGContextRef& ctx) {
    if (!ctx) return std::nullopt;
    CGAffineTransform m = CGContextGetCTM(ctx);
    FLPopoverPixelGrid grid;
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

CGRect FLPopoverPixelGrid::userRect(const FLPopoverPixelRect& p) const {
    return CGRectMake(originX + double(p.x) / scale, originY + double(p.y) / scale, double(p.w) / scale,
                      double(p.h) / scale);
}

FLPopoverPixelRect FLPopoverPixelGrid::pixelsInside(CGRect rect) const {
    if (!CGRectIsFinite(rect) || CGRectIsEmpty(rect)) return {};
    // A hair of slack so that edges on a pixel boundary count as on it.
    double left = std::max(0.0, std::ceil((CGRectGetMinX(rect) - originX) * scale - 1e-6));
    double top = std::max(0.0, std::ceil((CGRectGetMinY(rect) - originY) * scale - 1e-6));
    double right = std::min(double(width), std::floor((CGRectGetMaxX(rect) - originX) * scale + 1e-6));
    double bottom = std::min(double(height), std::floor((CGRectGetMaxY(rect) - originY) * scale + 1e-6));
    if (right <= left || bottom <= top) return {};
    return FLPopoverPixelRect{long(left), long(top), long(right - left), long(bottom - top)};
}

CGContextRef FLPopoverPixelGrid::makeContext(const FLPopoverPixelRect& pixels) const {
    if (pixels.empty()) return nullptr;
    CGRect rect = userRect(pixels);
    CGContextRef ctx = CALayerCreateRenderContext(rect.size, scale);
    if (!ctx) return nullptr;
    if (CGBitmapContextGetWidth(ctx) != std::size_t(pixels.w) || CGBitmapContextGetHeight(ctx) != std::size_t(pixels.h))
        return nullptr;  // a scale that does not land on whole pixels
    CGContextTranslateCTM(ctx, -rect.origin.x, -rect.origin.y);
    return ctx;
}

void FLPopoverPixelGrid::layDown(const CGContextRef& ctx, const FLPopoverPixelRect& pixels,
                                 const CGImageRef& image) const {
    if (!image || pixels.empty()) return;
    CGRect rect = userRect(pixels);
    CGContextSaveGState(ctx);
    CGContextTranslateCTM(ctx, rect.origin.x, rect.origin.y + rect.size.height);
    CGContextScaleCTM(ctx, 1, -1);
    CGContextDrawImage(ctx, CGRectMake(0, 0, rect.size.width, rect.size.height), image);
    CGContextRestoreGState(ctx);
}

CGFloat FLPopoverPixelsPerPoint(const CGContextRef& ctx) {
    CGAffineTransform m = CGContextGetCTM(ctx);
    CGFloat s = std::sqrt(std::fabs(m.a * m.d - m.b * m.c));
    return s > 0 && std::isfinite(s) ? s : 1;
}
