#include "ui/popover/UIImageFLPopover.h"

#include <cmath>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIBezierPath.h"
#include "platform/uikit/UIGraphics.h"

namespace {

// The key under which an image keeps its cap insets.
const char kCapInsetsKey = 0;

}  // namespace

UIImagePtr UIImageFLPopover::imageWithColor(const UIColorPtr& color, CGSize size, float cornerRadius) {
    if (!color || !std::isfinite(cornerRadius) || cornerRadius < 0) {
        NSLog("UIImageFLPopover: no image for a null colour or a bad corner radius");
        return nullptr;
    }
    UIGraphicsBeginImageContextWithOptions(size, false, 0);
    CGContextRef ctx = UIGraphicsGetCurrentContext();
    if (!ctx) {
        UIGraphicsEndImageContext();
        return nullptr;
    }
    auto path = UIBezierPath::bezierPathWithRoundedRect(CGRectMake(0, 0, size.width, size.height), cornerRadius);
    path->setLineWidth(0);
    color->setFill();
    path->fill();
    UIImagePtr image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    if (!image) return nullptr;
    image->setAssociatedObject(&kCapInsetsKey, std::make_shared<UIEdgeInsets>(UIEdgeInsetsMake(
                                                   cornerRadius, cornerRadius, cornerRadius, cornerRadius)));
    return image;
}

UIImagePtr UIImageFLPopover::imageWithColor(const UIColorPtr& color, float cornerRadius) {
    CGFloat side = 2.0 * cornerRadius + 1.0;
    return imageWithColor(color, CGSizeMake(side, side), cornerRadius);
}

UIImagePtr UIImageFLPopover::imageWithColor(const UIColorPtr& color) {
    return imageWithColor(color, CGSizeMake(8, 8), 0);
}

UIEdgeInsets UIImageFLPopover::capInsets(const UIImagePtr& image) {
    if (!image) return UIEdgeInsetsZero;
    auto insets = image->associated<UIEdgeInsets>(&kCapInsetsKey);
    return insets ? *insets : UIEdgeInsetsZero;
}
