#include "platform/graphics/EdgeBands.h"

#include "platform/graphics/PixelGrid.h"

void DrawEdgeBands(const CGContextRef& ctx, CGRect interior,
                   const std::function<void(const CGContextRef&)>& draw) {
    if (!ctx || !draw) return;
    auto grid = PixelGrid::of(ctx);
    PixelRect inner = grid ? grid->pixelsInside(interior) : PixelRect{};
    if (inner.empty()) {
        draw(ctx);
        return;
    }
    const long W = grid->width, H = grid->height;
    const PixelRect bands[] = {
        {0, 0, W, inner.y},                                            // above
        {0, inner.y + inner.h, W, H - inner.y - inner.h},              // below
        {0, inner.y, inner.x, inner.h},                                // left
        {inner.x + inner.w, inner.y, W - inner.x - inner.w, inner.h},  // right
    };
    for (const PixelRect& band : bands) {
        if (band.empty()) continue;
        CGContextRef bandContext = grid->makeContext(band);
        if (!bandContext) {
            // No bitmap for the band: drawn in place, clipped to it.
            CGContextSaveGState(ctx);
            CGContextClipToRect(ctx, grid->userRect(band));
            draw(ctx);
            CGContextRestoreGState(ctx);
            continue;
        }
        draw(bandContext);
        grid->layDown(ctx, band, CGBitmapContextCreateImage(bandContext));
    }
}
