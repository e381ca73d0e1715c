#pragma once
// Colours as views and drawing use them. As the platform keeps them, a colour
// made from red, green and blue lives in the device RGB space and one made from
// a white level (and the greys among the named colours) in the device grey space;
// getRed answers for both, getWhite only for grey colours.
//
// Colours are immutable and may be shared between threads. setFill, setStroke
// and set act on the current UIKit context (UIGraphicsGetCurrentContext).
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGGeometry.h"

class UIColor;
using UIColorPtr = std::shared_ptr<UIColor>;
class UIImage;

class UIColor : public NSObject {
public:
    explicit UIColor(CGColorRef color);

    // Components are clamped to 0...1 (NaN reads as 0).
    static UIColorPtr colorWithRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
    static UIColorPtr colorWithWhite(CGFloat white, CGFloat alpha);
    // Hue, saturation and brightness from 0 to 1 (hue wraps), kept as RGB.
    static UIColorPtr colorWithHue(CGFloat hue, CGFloat saturation, CGFloat brightness, CGFloat alpha);
    // Null for a null colour.
    static UIColorPtr colorWithCGColor(const CGColorRef& color);

    // The named colours: grey-space black (0), darkGray (1/3), lightGray (2/3),
    // white (1), gray (0.5) and clear (0 with alpha 0); RGB-space red, green,
    // blue, cyan, yellow, magenta, orange (1, 0.5, 0), purple (0.5, 0, 0.5) and
    // brown (0.6, 0.4, 0.2). The same object on every call.
    static UIColorPtr blackColor();
    static UIColorPtr darkGrayColor();
    static UIColorPtr lightGrayColor();
    static UIColorPtr whiteColor();
    static UIColorPtr grayColor();
    static UIColorPtr redColor();
    static UIColorPtr greenColor();
    static UIColorPtr blueColor();
    static UIColorPtr cyanColor();
    static UIColorPtr yellowColor();
    static UIColorPtr magentaColor();
    static UIColorPtr orangeColor();
    static UIColorPtr purpleColor();
    static UIColorPtr brownColor();
    static UIColorPtr clearColor();

    const CGColorRef& CGColor() const { return color_; }
    // The same colour in the same space with another alpha (clamped).
    UIColorPtr colorWithAlphaComponent(CGFloat alpha) const;

    // True with the components for RGB and grey colours (grey spreads to all
    // three); false for pattern colours, leaving the outputs alone. A null
    // out-pointer is skipped.
    bool getRed(CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) const;
    // True only for grey colours.
    bool getWhite(CGFloat* white, CGFloat* alpha) const;
    // As getRed.
    bool getHue(CGFloat* hue, CGFloat* saturation, CGFloat* brightness, CGFloat* alpha) const;
    CGFloat alpha() const { return color_->alpha(); }

    // Same space and components.
    bool isEqual(const UIColorPtr& other) const;

    // Make the colour the current context's fill colour, stroke colour, or both.
    void setFill() const;
    void setStroke() const;
    void set() const;

    // "UIDeviceRGBColorSpace 1 0 0 1" or "UIDeviceWhiteColorSpace 0.5 1".
    std::string description() const override;

    // A colour that paints by tiling the image (UIColorPattern.cpp); null for a
    // null image. Its CGColor is in the pattern space (model
    // kCGColorSpaceModelPattern) with alpha 0, so a layer, which cannot hold a
    // pattern, paints nothing with it; paint it with fillRect. Component reads
    // (getRed, getWhite, getHue) answer false.
    static UIColorPtr colorWithPatternImage(const std::shared_ptr<UIImage>& image);
    const std::shared_ptr<UIImage>& patternImage() const { return patternImage_; }
    // Fills the rectangle of the current UIKit context: with the colour, or by
    // tiling the pattern image from the context's origin at the image's size.
    void fillRect(CGRect rect) const;

private:
    std::shared_ptr<UIImage> patternImage_;
    CGColorRef color_;
};
