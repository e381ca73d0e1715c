// Protects UIKit drawing: the per-thread context stack and image contexts
// (scale, flipped space, refused sizes that leave the stack balanced), colours
// in their spaces, Bezier paths in the views' space, and one reference scene.
#include <doctest/doctest.h>

#include <cmath>
#include <thread>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIBezierPath.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIEdgeInsets.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIScreen.h"
#include "support/ReferenceImage.h"
#include "support/SampleImages.h"

namespace {

// The pixel under a point of an image taken from an image context (views' space, y down).
CGPixel at(const UIImagePtr& image, double x, double y) {
    return image->CGImage()->pixelAt(static_cast<std::size_t>(x * image->scale()),
                                     static_cast<std::size_t>(y * image->scale()));
}

const CGPixel kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kWhite{255, 255, 255, 255};

}  // namespace

TEST_SUITE("uikit drawing") {

TEST_CASE("image contexts draw in the views' space at their scale, 0 meaning the screen's") {
    auto screen = UIScreen::mainScreen();
    CGFloat saved = screen->scale();
    for (CGFloat scale : {0.0, 1.0, 2.0, 3.0}) {
        CAPTURE(scale);
        screen->setScale(3);
        UIGraphicsBeginImageContextWithOptions(CGSizeMake(20, 10), false, scale);
        REQUIRE(UIGraphicsGetCurrentContext());
        UIColor::redColor()->setFill();
        UIRectFill(CGRectMake(0, 0, 20, 4));  // the top rows
        auto image = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        CHECK_FALSE(UIGraphicsGetCurrentContext());
        REQUIRE(image);
        CGFloat expected = scale == 0 ? 3 : scale;
        CHECK(image->scale() == expected);
        CHECK(image->size() == CGSizeMake(20, 10));
        CHECK(CGImageGetWidth(image->CGImage()) == std::size_t(20 * expected));
        CHECK(at(image, 1, 1) == kRed);
        CHECK(at(image, 1, 8).a == 0);
    }
    screen->setScale(saved);
    // Opaque contexts start black and carry no alpha.
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(4, 4), true, 1);
    auto opaque = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    CHECK(at(opaque, 1, 1) == CGPixel{0, 0, 0, 255});
    CHECK_FALSE(opaque->CGImage()->hasAlpha());
}

TEST_CASE("shadows in image contexts fall the same way and distance in points at every scale") {
    for (CGFloat scale : {1.0, 2.0}) {
        CAPTURE(scale);
        UIGraphicsBeginImageContextWithOptions(CGSizeMake(40, 40), false, scale);
        CGContextSetShadowWithColor(UIGraphicsGetCurrentContext(), CGSizeMake(6, 8), 0, UIColor::greenColor()->CGColor());
        UIColor::redColor()->setFill();
        UIRectFill(CGRectMake(10, 10, 10, 10));
        auto image = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        CHECK(at(image, 12, 12) == kRed);
        CHECK(at(image, 24, 26) == kGreen);  // right and down, as a positive height means in the views' space
        CHECK(at(image, 24, 16) == CGPixel{});
        CHECK(at(image, 27, 12) == CGPixel{});
    }
}

TEST_CASE("a refused image context leaves the stack as it was and its end pops nothing") {
    auto outer = CGBitmapContextCreate(nullptr, 4, 4, 8, 0, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
    UIGraphicsPushContext(outer);
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(5, 5), false, 1);
    auto image = UIGraphicsGetCurrentContext();
    struct Bad {
        CGSize size;
        CGFloat scale;
    };
    for (Bad b : {Bad{{0, 10}, 1}, Bad{{10, 0}, 1}, Bad{{-5, 10}, 1}, Bad{{NAN, 10}, 1}, Bad{{10, INFINITY}, 2},
                  Bad{{40000, 1}, 1}, Bad{{10000, 10000}, 1}, Bad{{10, 10}, -1}, Bad{{10, 10}, NAN},
                  Bad{{1e300, 1e300}, 2}}) {
        CAPTURE(b.size.width);
        CAPTURE(b.size.height);
        CAPTURE(b.scale);
        std::vector<std::string> lines;
        setLogHook([&](const std::string& l) { lines.push_back(l); });
        UIGraphicsBeginImageContextWithOptions(b.size, false, b.scale);
        setLogHook(nullptr);
        CHECK(lines.size() == 1);
        // Nothing meant for the refused image lands in the context below it.
        CHECK_FALSE(UIGraphicsGetCurrentContext());
        UIRectFill(CGRectMake(0, 0, 5, 5));
        CHECK_FALSE(UIGraphicsGetImageFromCurrentImageContext());
        UIGraphicsEndImageContext();
        CHECK(UIGraphicsGetCurrentContext() == image);
    }
    CHECK(UIGraphicsGetImageFromCurrentImageContext()->CGImage()->pixelAt(1, 1).a == 0);
    UIGraphicsEndImageContext();
    CHECK(UIGraphicsGetCurrentContext() == outer);
    // An end with no image context on top is refused rather than popping the view's context.
    UIGraphicsEndImageContext();
    CHECK(UIGraphicsGetCurrentContext() == outer);
    // A refused begin whose end never comes is forgotten once its level is popped.
    UIGraphicsBeginImageContextWithOptions(CGSizeZero, false, 1);
    UIGraphicsPopContext();
    CHECK_FALSE(UIGraphicsGetCurrentContext());
    UIGraphicsPushContext(outer);
    CHECK(UIGraphicsGetCurrentContext() == outer);
    UIGraphicsPopContext();
}

TEST_CASE("each thread has its own context stack") {
    UIGraphicsBeginImageContext(CGSizeMake(2, 2));
    CGContextRef mine = UIGraphicsGetCurrentContext();
    CGContextRef seen = mine;
    std::thread([&] { seen = UIGraphicsGetCurrentContext(); }).join();
    CHECK(mine);
    CHECK_FALSE(seen);
    UIGraphicsEndImageContext();
}

TEST_CASE("colours keep the platform's spaces and answer for their components") {
    CGFloat r = -1, g = -1, b = -1, a = -1, w = -1;
    auto red = UIColor::colorWithRed(1, 0, 0, 0.5);
    CHECK(red->getRed(&r, &g, &b, &a));
    CHECK((r == 1 && g == 0 && b == 0 && a == 0.5));
    CHECK_FALSE(red->getWhite(&w, &a));
    CHECK(CGColorSpaceGetModel(CGColorGetColorSpace(red->CGColor())) == kCGColorSpaceModelRGB);
    CHECK(red->description() == "UIDeviceRGBColorSpace 1 0 0 0.5");

    auto grey = UIColor::colorWithWhite(0.25, 1);
    CHECK(grey->getWhite(&w, &a));
    CHECK((w == 0.25 && a == 1));
    CHECK(grey->getRed(&r, &g, &b, &a));
    CHECK((r == 0.25 && g == 0.25 && b == 0.25));
    CHECK(CGColorGetNumberOfComponents(grey->CGColor()) == 2);
    CHECK(grey->description() == "UIDeviceWhiteColorSpace 0.25 1");

    auto faded = grey->colorWithAlphaComponent(0.2);
    CHECK(faded->getWhite(&w, &a));
    CHECK((w == 0.25 && a == 0.2));
    CHECK(UIColor::colorWithRed(2, NAN, -1, 1)->isEqual(UIColor::colorWithRed(1, 0, 0, 1)));

    struct Named {
        UIColorPtr colour;
        bool grey;
        double r, g, b, a;
    };
    for (const Named& n : {Named{UIColor::blackColor(), true, 0, 0, 0, 1},
                           Named{UIColor::darkGrayColor(), true, 1.0 / 3, 1.0 / 3, 1.0 / 3, 1},
                           Named{UIColor::lightGrayColor(), true, 2.0 / 3, 2.0 / 3, 2.0 / 3, 1},
                           Named{UIColor::whiteColor(), true, 1, 1, 1, 1}, Named{UIColor::grayColor(), true, 0.5, 0.5, 0.5, 1},
                           Named{UIColor::clearColor(), true, 0, 0, 0, 0}, Named{UIColor::redColor(), false, 1, 0, 0, 1},
                           Named{UIColor::greenColor(), false, 0, 1, 0, 1}, Named{UIColor::blueColor(), false, 0, 0, 1, 1},
                           Named{UIColor::cyanColor(), false, 0, 1, 1, 1}, Named{UIColor::yellowColor(), false, 1, 1, 0, 1},
                           Named{UIColor::magentaColor(), false, 1, 0, 1, 1},
                           Named{UIColor::orangeColor(), false, 1, 0.5, 0, 1},
                           Named{UIColor::purpleColor(), false, 0.5, 0, 0.5, 1},
                           Named{UIColor::brownColor(), false, 0.6, 0.4, 0.2, 1}}) {
        CAPTURE(n.colour->description());
        CHECK(n.colour->isEqual(UIColor::colorWithCGColor(n.colour->CGColor())));
        CHECK(n.colour->getWhite(nullptr, nullptr) == n.grey);
        n.colour->getRed(&r, &g, &b, &a);
        CHECK((std::fabs(r - n.r) < 1e-9 && std::fabs(g - n.g) < 1e-9 && std::fabs(b - n.b) < 1e-9 && a == n.a));
    }
    CHECK(UIColor::redColor() == UIColor::redColor());
    CGFloat h, s, v;
    UIColor::colorWithHue(1.0 / 3, 1, 1, 1)->getRed(&r, &g, &b, &a);
    CHECK((std::fabs(r) < 1e-9 && std::fabs(g - 1) < 1e-9 && std::fabs(b) < 1e-9));
    UIColor::orangeColor()->getHue(&h, &s, &v, &a);
    CHECK((std::fabs(h - 30.0 / 360) < 1e-9 && s == 1 && v == 1));
}

TEST_CASE("Bezier paths draw in the views' space: clockwise turns clockwise on the screen") {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(40, 40), false, 2);
    // A quarter wedge from 3 o'clock clockwise to 6 o'clock: the lower right quarter.
    auto wedge = UIBezierPath::bezierPathWithArcCenter(CGPointMake(20, 20), 15, 0, M_PI / 2, true);
    wedge->addLineToPoint(CGPointMake(20, 20));
    wedge->closePath();
    UIColor::redColor()->setFill();
    wedge->fill();
    auto ring = UIBezierPath::bezierPathWithOvalInRect(CGRectMake(0, 0, 40, 40));
    ring->appendPath(UIBezierPath::bezierPathWithOvalInRect(CGRectMake(4, 4, 32, 32)));
    ring->setUsesEvenOddFillRule(true);
    UIColor::blueColor()->setFill();
    ring->fill();
    auto line = UIBezierPath::bezierPath();
    line->moveToPoint(CGPointMake(5, 20));
    line->addLineToPoint(CGPointMake(12, 20));
    line->setLineWidth(4);
    line->setLineCapStyle(kCGLineCapSquare);
    UIColor::greenColor()->setStroke();
    line->stroke();
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    CHECK(at(image, 26, 26) == kRed);
    CHECK(at(image, 14, 14).a == 0);
    CHECK(at(image, 26, 14).a == 0);
    CHECK(at(image, 20, 1) == kBlue);
    CHECK(at(image, 20, 5).a == 0);  // the ring's hole is inside the outer oval but outside the ring
    CHECK(at(image, 6, 21) == kGreen);
    CHECK(at(image, 13.5, 21) == kGreen);  // square cap past the end
    CHECK(wedge->containsPoint(CGPointMake(26, 26)));
    CHECK_FALSE(ring->containsPoint(CGPointMake(20, 20)));
    auto rounded = UIBezierPath::bezierPathWithRoundedRect(CGRectMake(0, 0, 30, 20),
                                                           UIRectCorner(UIRectCornerTopLeft | UIRectCornerBottomRight),
                                                           CGSizeMake(8, 8));
    CHECK_FALSE(rounded->containsPoint(CGPointMake(0.5, 0.5)));
    CHECK(rounded->containsPoint(CGPointMake(29.5, 0.5)));  // square corner
    CHECK_FALSE(rounded->containsPoint(CGPointMake(29.5, 19.5)));
    CHECK(rounded->bounds() == CGRectMake(0, 0, 30, 20));
    CHECK(UIEdgeInsetsInsetRect(CGRectMake(0, 0, 100, 50), UIEdgeInsetsMake(10, 5, 20, 15)) == CGRectMake(5, 10, 80, 20));
}

TEST_CASE("a drawn scene matches its reference image") {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(160, 100), false, 2);
    CGContextRef c = UIGraphicsGetCurrentContext();
    UIColor::colorWithWhite(0.95, 1)->setFill();
    UIRectFill(CGRectMake(0, 0, 160, 100));
    // A panel with a vertical gradient, rounded corners and a soft shadow.
    CGContextSaveGState(c);
    CGContextSetShadowWithColor(c, CGSizeMake(0, 3), 6, UIColor::colorWithWhite(0, 0.5)->CGColor());
    CGContextBeginTransparencyLayer(c);
    UIBezierPath::bezierPathWithRoundedRect(CGRectMake(10, 10, 90, 60), 10)->addClip();
    auto gradient = CGGradientCreateWithColors(nullptr, {UIColor::colorWithRed(0.2, 0.5, 0.9, 1)->CGColor(),
                                                         UIColor::colorWithRed(0.1, 0.2, 0.5, 1)->CGColor()}, {});
    CGContextDrawLinearGradient(c, gradient, CGPointMake(0, 10), CGPointMake(0, 70), 0);
    CGContextEndTransparencyLayer(c);
    CGContextRestoreGState(c);
    // A progress ring: a grey track and a round-capped arc, as the circular indicators draw.
    auto track = UIBezierPath::bezierPathWithArcCenter(CGPointMake(130, 40), 18, 0, 2 * M_PI, true);
    track->setLineWidth(5);
    UIColor::lightGrayColor()->setStroke();
    track->stroke();
    auto arc = UIBezierPath::bezierPathWithArcCenter(CGPointMake(130, 40), 18, -M_PI / 2, -M_PI / 2 + 0.4 * 2 * M_PI, true);
    arc->setLineWidth(5);
    arc->setLineCapStyle(kCGLineCapRound);
    UIColor::orangeColor()->setStroke();
    arc->stroke();
    // Text in the panel and below it.
    NSParagraphStyle centred;
    centred.alignment = NSTextAlignmentCenter;
    drawInRect("Loading", CGRectMake(10, 30, 90, 22), {UIFont::boldSystemFontOfSize(16), UIColor::whiteColor(), centred});
    NSParagraphStyle tail;
    tail.lineBreakMode = NSLineBreakByTruncatingTail;
    drawInRect("Last Updated: 12/7/26, 12:24 PM", CGRectMake(10, 78, 140, 16),
               {UIFont::systemFontOfSize(12), UIColor::darkGrayColor(), tail});
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    auto result = testsupport::compareWithReference(image->CGImage(), "drawing-scene@2x");
    INFO(result.message);
    CHECK(result.matched);
    // The reference itself is checked in a few places, so a rewritten one cannot drift unseen.
    CHECK(at(image, 55, 14).b > at(image, 55, 66).b);   // the gradient darkens downwards
    CHECK(at(image, 11, 11) != at(image, 55, 14));      // the rounded corner is not painted
    CHECK(at(image, 130, 22.5).r == 255);               // the arc starts at 12 o'clock
    CHECK(at(image, 112.5, 40) != at(image, 147.5, 40)); // track on the left, arc on the right
}

TEST_CASE("the reference comparison tolerates small differences and reports large ones") {
    Data a(40 * 40 * 4, 200);
    for (std::size_t i = 0; i < 40 * 40; ++i) a[i * 4 + 3] = 255;
    Data b = a;
    for (std::size_t i = 0; i < 7; ++i) b[i * 4] = 100;  // 7 of 1600 pixels: under 0.5 %
    auto ia = CGImageCreateWithRGBA(40, 40, a), ib = CGImageCreateWithRGBA(40, 40, b);
    auto d = testsupport::comparePixels(ia, ib);
    CHECK(d.offPixels == 7);
    CHECK(d.largestDifference == 100);
    for (std::size_t i = 0; i < 40 * 40; ++i) b[i * 4 + 1] = 207;  // off by 7 everywhere: within the tolerance
    CHECK(testsupport::comparePixels(ia, CGImageCreateWithRGBA(40, 40, b)).offPixels == 7);
    for (std::size_t i = 7; i < 9; ++i) b[i * 4] = 100;
    CHECK(testsupport::comparePixels(ia, CGImageCreateWithRGBA(40, 40, b)).offPixels == 9);
    CHECK_FALSE(testsupport::comparePixels(ia, CGImageCreateWithRGBA(40, 41, Data(40 * 41 * 4))).sameSize);
}

}  // TEST_SUITE
