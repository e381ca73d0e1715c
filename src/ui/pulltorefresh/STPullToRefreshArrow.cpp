#include "ui/pulltorefresh/STPullToRefreshArrow.h"

#include <vector>

#include "platform/graphics/CGGradient.h"
#include "platform/uikit/UISystemVersion.h"

STPullToRefreshArrow::STPullToRefreshArrow(CGRect frame) : UIView(frame) {}

UIColorPtr STPullToRefreshArrow::arrowColor() const { return arrowColor_ ? arrowColor_ : UIColor::grayColor(); }

void STPullToRefreshArrow::setArrowColor(UIColorPtr color) { arrowColor_ = std::move(color); }

namespace {

// The transparent-to-opaque gradient of the colour. Systems before 5.0 build
// it from the colour's components: grey and alpha, or red, green, blue and
// alpha; any other kind of colour gives black.
CGGradientRef arrowGradient(const UIColor& color) {
    const std::vector<double> locations{0, 0.8};
    if (isOperatingSystemAtLeastVersion({5, 0, 0})) {
        return CGGradientCreateWithColors(CGColorSpaceCreateDeviceRGB(),
                                          {color.colorWithAlphaComponent(0)->CGColor(),
                                           color.colorWithAlphaComponent(1)->CGColor()},
                                          locations);
    }
    double rgb[3] = {0, 0, 0};
    const auto& cg = color.CGColor();
    auto components = CGColorGetComponents(cg);
    switch (CGColorSpaceGetModel(CGColorGetColorSpace(cg))) {
    case kCGColorSpaceModelMonochrome:
        if (components.size() == 2) rgb[0] = rgb[1] = rgb[2] = components[0];
        break;
    case kCGColorSpaceModelRGB:
        if (components.size() == 4) rgb[0] = components[0], rgb[1] = components[1], rgb[2] = components[2];
        break;
    default:
        break;
    }
    return CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(),
                                               {rgb[0], rgb[1], rgb[2], 0, rgb[0], rgb[1], rgb[2], 1}, locations);
}

}  // namespace

void STPullToRefreshArrow::drawRect(CGRect rect) {
    CGContextRef c = UIView::currentDrawingContext();
    if (!c) return;
    CGContextSaveGState(c);
    // The shaft: six bars with gaps of 2; the head below it.
    for (int i = 0; i < 6; ++i) CGContextAddRect(c, CGRectMake(5, i * 6, 12, 4));
    CGContextMoveToPoint(c, 0, 34);
    CGContextAddLineToPoint(c, 11, 48);
    CGContextAddLineToPoint(c, 22, 34);
    CGContextAddLineToPoint(c, 0, 34);
    CGContextClosePath(c);
    CGContextClip(c);
    if (auto gradient = arrowGradient(*arrowColor()))
        CGContextDrawLinearGradient(c, gradient, CGPointMake(0, 0), CGPointMake(0, rect.size.height), 0);
    CGContextRestoreGState(c);
}
