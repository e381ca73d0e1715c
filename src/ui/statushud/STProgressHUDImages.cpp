#include "ui/statushud/STProgressHUDImages.h"

#include <functional>
#include <map>

#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIBezierPath.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIScreen.h"
#include "ui/statushud/STProgressHUD.h"

namespace {
constexpr CGFloat kCircleWidth = 1.5;
constexpr CGFloat kGlyphWidth = 2;

// A 28-point image: the thin circle, then the glyph the block adds to its path.
UIImagePtr drawBadge(CGFloat scale, const std::function<void(UIBezierPath&)>& glyph) {
    const CGFloat side = STProgressHUDImageSide;
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(side, side), false, scale);
    if (!UIGraphicsGetCurrentContext()) {
        UIGraphicsEndImageContext();
        return nullptr;
    }
    UIColor::blackColor()->setStroke();
    CGFloat inset = kCircleWidth / 2 + 0.5;
    auto circle = UIBezierPath::bezierPathWithOvalInRect(CGRectMake(inset, inset, side - 2 * inset, side - 2 * inset));
    circle->setLineWidth(kCircleWidth);
    circle->stroke();
    auto mark = UIBezierPath::bezierPath();
    glyph(*mark);
    mark->setLineWidth(kGlyphWidth);
    mark->setLineCapStyle(kCGLineCapRound);
    mark->setLineJoinStyle(kCGLineJoinRound);
    mark->stroke();
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
}
}  // namespace

UIImagePtr STProgressHUDDrawSuccessImage(CGFloat scale) {
    return drawBadge(scale, [](UIBezierPath& p) {
        p.moveToPoint(CGPointMake(8.5, 14.5));
        p.addLineToPoint(CGPointMake(12.5, 18.5));
        p.addLineToPoint(CGPointMake(19.5, 10));
    });
}

UIImagePtr STProgressHUDDrawErrorImage(CGFloat scale) {
    return drawBadge(scale, [](UIBezierPath& p) {
        p.moveToPoint(CGPointMake(10, 10));
        p.addLineToPoint(CGPointMake(18, 18));
        p.moveToPoint(CGPointMake(18, 10));
        p.addLineToPoint(CGPointMake(10, 18));
    });
}

UIImagePtr STProgressHUDNamedImage(const std::string& name) {
    // Loaded once per name: every showing shows the same image object.
    static ProcessLifetime<std::map<std::string, UIImagePtr>> loaded;
    auto& image = (*loaded)[name];
    if (image) return image;
    image = UIImage::imageNamed(name);
    if (image) return image;
    NSLog("STProgressHUD: image %@ is missing; drawing it instead", name);
    CGFloat scale = UIScreen::mainScreen()->scale();
    image = name == STProgressHUDErrorImageName ? STProgressHUDDrawErrorImage(scale) : STProgressHUDDrawSuccessImage(scale);
    return image;
}
