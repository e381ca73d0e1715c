// Drawing an image into the current UIKit context, stretched whole or in nine
// parts around its cap insets.
#include <algorithm>

#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"

namespace {
// Draws the whole bitmap upright into the rectangle of the UIKit context, whose
// y axis points down (the bitmap drawing call draws upright in a y-up space).
void drawUpright(const CGContextRef& ctx, const CGImageRef& image, CGRect rect) {
    CGContextSaveGState(ctx);
    CGContextTranslateCTM(ctx, 0, rect.origin.y + rect.size.height);
    CGContextScaleCTM(ctx, 1, -1);
    CGContextDrawImage(ctx, CGRectMake(rect.origin.x, 0, rect.size.width, rect.size.height), image);
    CGContextRestoreGState(ctx);
}

// Draws the part `source` (points of an image of size `whole`) into `target`.
void drawPart(const CGContextRef& ctx, const CGImageRef& image, CGSize whole, CGRect source, CGRect target) {
    if (!(source.size.width > 0 && source.size.height > 0 && target.size.width > 0 && target.size.height > 0)) return;
    CGFloat sx = target.size.width / source.size.width, sy = target.size.height / source.size.height;
    CGContextSaveGState(ctx);
    CGContextClipToRect(ctx, target);
    drawUpright(ctx, image,
                CGRectMake(target.origin.x - source.origin.x * sx, target.origin.y - source.origin.y * sy,
                           whole.width * sx, whole.height * sy));
    CGContextRestoreGState(ctx);
}
}  // namespace

UIImagePtr UIImage::resizableImageWithCapInsets(const UIEdgeInsets& capInsets) const {
    auto copy = std::make_shared<UIImage>(image_, scale_, orientation_);
    copy->capInsets_ = capInsets;
    return copy;
}

void UIImage::drawInRect(CGRect rect) const {
    auto ctx = UIGraphicsGetCurrentContext();
    if (!ctx || !image_) return;
    CGSize whole = size();
    const UIEdgeInsets& c = capInsets_;
    if (c == UIEdgeInsetsZero) {
        drawUpright(ctx, image_, rect);
        return;
    }
    // Caps larger than the target share it in proportion.
    CGFloat left = c.left, right = c.right, top = c.top, bottom = c.bottom;
    if (left + right > rect.size.width && left + right > 0) {
        CGFloat f = rect.size.width / (left + right);
        left *= f;
        right *= f;
    }
    if (top + bottom > rect.size.height && top + bottom > 0) {
        CGFloat f = rect.size.height / (top + bottom);
        top *= f;
        bottom *= f;
    }
    const CGFloat sxs[4] = {0, c.left, whole.width - c.right, whole.width};
    const CGFloat sys[4] = {0, c.top, whole.height - c.bottom, whole.height};
    const CGFloat txs[4] = {rect.origin.x, rect.origin.x + left, rect.origin.x + rect.size.width - right,
                            rect.origin.x + rect.size.width};
    const CGFloat tys[4] = {rect.origin.y, rect.origin.y + top, rect.origin.y + rect.size.height - bottom,
                            rect.origin.y + rect.size.height};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            drawPart(ctx, image_, whole,
                     CGRectMake(sxs[col], sys[row], sxs[col + 1] - sxs[col], sys[row + 1] - sys[row]),
                     CGRectMake(txs[col], tys[row], txs[col + 1] - txs[col], tys[row + 1] - tys[row]));
}
