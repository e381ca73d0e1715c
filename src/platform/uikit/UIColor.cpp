#include "platform/uikit/UIColor.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSLog.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIGraphics.h"

namespace {

CGFloat unit(CGFloat v) { return CGColorClampComponent(v); }

bool isGrey(const CGColorRef& c) { return c->colorSpace()->model() == kCGColorSpaceModelMonochrome; }
bool isPattern(const CGColorRef& c) { return c->colorSpace()->model() == kCGColorSpaceModelPattern; }

}  // namespace

UIColor::UIColor(CGColorRef color) : color_(std::move(color)) {}

UIColorPtr UIColor::colorWithRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
    return std::make_shared<UIColor>(
        CGColorCreate(CGColorSpaceCreateDeviceRGB(), {unit(red), unit(green), unit(blue), unit(alpha)}));
}

UIColorPtr UIColor::colorWithWhite(CGFloat white, CGFloat alpha) {
    return std::make_shared<UIColor>(CGColorCreate(CGColorSpaceCreateDeviceGray(), {unit(white), unit(alpha)}));
}

UIColorPtr UIColor::colorWithHue(CGFloat hue, CGFloat saturation, CGFloat brightness, CGFloat alpha) {
    CGFloat h = std::isfinite(hue) ? hue - std::floor(hue) : 0, s = unit(saturation), v = unit(brightness);
    CGFloat sector = h * 6;
    int i = static_cast<int>(std::floor(sector)) % 6;
    CGFloat f = sector - std::floor(sector);
    CGFloat p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    CGFloat rgb[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
    return colorWithRed(rgb[i][0], rgb[i][1], rgb[i][2], alpha);
}

UIColorPtr UIColor::colorWithCGColor(const CGColorRef& color) {
    return color ? std::make_shared<UIColor>(color) : nullptr;
}

// A named colour is made once and kept for the life of the process.
#define NAMED_COLOUR(name, expr)                                  \
    UIColorPtr UIColor::name() {                                  \
        static const UIColorPtr* colour = new UIColorPtr(expr);   \
        return *colour;                                           \
    }

NAMED_COLOUR(blackColor, colorWithWhite(0, 1))
NAMED_COLOUR(darkGrayColor, colorWithWhite(1.0 / 3.0, 1))
NAMED_COLOUR(lightGrayColor, colorWithWhite(2.0 / 3.0, 1))
NAMED_COLOUR(whiteColor, colorWithWhite(1, 1))
NAMED_COLOUR(grayColor, colorWithWhite(0.5, 1))
NAMED_COLOUR(clearColor, colorWithWhite(0, 0))
NAMED_COLOUR(redColor, colorWithRed(1, 0, 0, 1))
NAMED_COLOUR(greenColor, colorWithRed(0, 1, 0, 1))
NAMED_COLOUR(blueColor, colorWithRed(0, 0, 1, 1))
NAMED_COLOUR(cyanColor, colorWithRed(0, 1, 1, 1))
NAMED_COLOUR(yellowColor, colorWithRed(1, 1, 0, 1))
NAMED_COLOUR(magentaColor, colorWithRed(1, 0, 1, 1))
NAMED_COLOUR(orangeColor, colorWithRed(1, 0.5, 0, 1))
NAMED_COLOUR(purpleColor, colorWithRed(0.5, 0, 0.5, 1))
NAMED_COLOUR(brownColor, colorWithRed(0.6, 0.4, 0.2, 1))

UIColorPtr UIColor::colorWithAlphaComponent(CGFloat alpha) const {
    std::vector<double> components = color_->components();
    components.back() = unit(alpha);
    return std::make_shared<UIColor>(CGColorCreate(color_->colorSpace(), components));
}

bool UIColor::getRed(CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) const {
    if (isPattern(color_)) return false;
    double r, g, b, a;
    color_->getRGBA(r, g, b, a);
    if (red) *red = r;
    if (green) *green = g;
    if (blue) *blue = b;
    if (alpha) *alpha = a;
    return true;
}

bool UIColor::getWhite(CGFloat* white, CGFloat* alpha) const {
    if (!isGrey(color_)) return false;
    if (white) *white = color_->components()[0];
    if (alpha) *alpha = color_->alpha();
    return true;
}

bool UIColor::getHue(CGFloat* hue, CGFloat* saturation, CGFloat* brightness, CGFloat* alpha) const {
    if (isPattern(color_)) return false;
    double r, g, b, a;
    color_->getRGBA(r, g, b, a);
    double max = std::max({r, g, b}), min = std::min({r, g, b}), delta = max - min;
    double h = 0;
    if (delta > 0) {
        if (max == r) h = std::fmod((g - b) / delta + 6, 6);
        else if (max == g) h = (b - r) / delta + 2;
        else h = (r - g) / delta + 4;
        h /= 6;
    }
    if (hue) *hue = h;
    if (saturation) *saturation = max > 0 ? delta / max : 0;
    if (brightness) *brightness = max;
    if (alpha) *alpha = a;
    return true;
}

bool UIColor::isEqual(const UIColorPtr& other) const {
    return other && CGColorEqualToColor(color_, other->color_);
}

void UIColor::setFill() const { CGContextSetFillColorWithColor(UIGraphicsGetCurrentContext(), color_); }
void UIColor::setStroke() const { CGContextSetStrokeColorWithColor(UIGraphicsGetCurrentContext(), color_); }
void UIColor::set() const {
    setFill();
    setStroke();
}

std::string UIColor::description() const {
    std::string text = isGrey(color_) ? "UIDeviceWhiteColorSpace" : "UIDeviceRGBColorSpace";
    for (double c : color_->components()) text += format(" %g", c);
    return text;
}
