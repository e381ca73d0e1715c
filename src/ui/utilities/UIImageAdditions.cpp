#include "ui/utilities/UIImageAdditions.h"

#include <cmath>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIBezierPath.h"
#include "platform/uikit/UIGeometry.h"
#include "platform/uikit/UIGraphics.h"

namespace {

bool drawable(CGSize size) {
    const double side = static_cast<double>(kUIGraphicsMaxImageSide);
    return std::isfinite(size.width) && std::isfinite(size.height) && size.width > 0 && size.height > 0 &&
           size.width <= side && size.height <= side;
}

}  // namespace

UIImagePtr UIImageAdditions::imageWithColor(const UIColorPtr& color) {
    return imageWithColor(color, CGSizeMake(1, 1), 0);
}

UIImagePtr UIImageAdditions::imageWithColor(const UIColorPtr& color, CGSize size, CGFloat andRoundSize) {
    if (!color) {
        NSLog("imageWithColor: no colour given; no image");
        return nullptr;
    }
    if (!drawable(size)) {
        NSLog("imageWithColor: no image of size %@", NSStringFromCGSize(size));
        return nullptr;
    }
    UIGraphicsBeginImageContext(size);
    const CGContextRef context = UIGraphicsGetCurrentContext();
    if (!context) {
        // The bitmap could not be made (too many pixels): the refused begin still gets its end.
        UIGraphicsEndImageContext();
        return nullptr;
    }
    const CGRect rect = CGRectMake(0, 0, size.width, size.height);
    if (andRoundSize > 0) {
        auto path = UIBezierPath::bezierPathWithRoundedRect(rect, andRoundSize);
        color->setFill();
        path->fill();
    } else {
        CGContextSetFillColorWithColor(context, color->CGColor());
        CGContextFillRect(context, rect);
    }
    UIImagePtr image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
}
