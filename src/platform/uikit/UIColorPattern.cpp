// Pattern colours: an image repeated over what they fill.
#include <cmath>

#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"

UIColorPtr UIColor::colorWithPatternImage(const std::shared_ptr<UIImage>& image) {
    if (!image || !image->CGImage()) return nullptr;
    // As a plain colour it paints nothing: alpha 0 in the pattern space.
    auto color = std::make_shared<UIColor>(CGColorCreate(CGColorSpaceCreatePattern(), {0}));
    color->patternImage_ = image;
    return color;
}

void UIColor::fillRect(CGRect rect) const {
    auto ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    if (!patternImage_) {
        CGContextSetFillColorWithColor(ctx, color_);
        CGContextFillRect(ctx, rect);
        return;
    }
    CGSize tile = patternImage_->size();
    if (!(tile.width > 0 && tile.height > 0)) return;
    rect = CGRectStandardize(rect);
    CGContextSaveGState(ctx);
    CGContextClipToRect(ctx, rect);
    // Tiles sit on the grid that starts at the context's origin.
    double x0 = std::floor(rect.origin.x / tile.width) * tile.width;
    double y0 = std::floor(rect.origin.y / tile.height) * tile.height;
    for (double y = y0; y < CGRectGetMaxY(rect); y += tile.height)
        for (double x = x0; x < CGRectGetMaxX(rect); x += tile.width)
            CGContextDrawImage(ctx, CGRectMake(x, y, tile.width, tile.height), patternImage_->CGImage());
    CGContextRestoreGState(ctx);
}
