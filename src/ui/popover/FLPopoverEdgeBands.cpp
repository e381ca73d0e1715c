#include "ui/popover/FLPopoverEdgeBands.h"

#include <cassert>

#include "platform/base/ThreadAssertions.h"
#include "ui/popover/FLPopoverPixelGrid.h"

void FLPopoverDrawEdgeBands(const CGContextRef& ctx, CGRect interior,
                            const std::function<void(const CGContextRef&)>& draw) {
    QV_ASSERT_MAIN_THREAD();
    if (!ctx || !draw) return;
    auto grid = FLPopoverPixelGrid::of(ctx);
    FLPopoverPixelRect inner = grid ? grid->pixelsInside(interior) : FLPopoverPixelRect{};
    if (inner.empty()) {
        draw(ctx);
        return;
    }
    const long W = grid->width, H = grid->height;
    const FLPopoverPixelRect bands[] = {
        {0, 0, W, inner.y},                                            // above
        {0, inner.y + inner.h, W, H - inner.y - inner.h},              // below
        {0, inner.y, inner.x, inner.h},                                // left
        {inner.x + inner.w, inner.y, W - inner.x - inner.w, inner.h},  // right
    };
    for (const FLPopoverPixelRect& band : bands) {
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
