// The poster placeholder and the favourite button's hearts.
#include "ArtDrawings.h"

#include <cmath>
#include <numbers>

#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGradient.h"
#include "platform/uikit/UIBezierPath.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"

namespace art {
namespace {

void fillGray(CGFloat white, const UIBezierPathPtr& path) {
    UIColor::colorWithWhite(white, 1)->setFill();
    path->fill();
}

// A frame of the strip, with the film's rounded corners.
void drawFilmFrame(CGRect rect) {
    auto frame = UIBezierPath::bezierPathWithRoundedRect(rect, 4);
    fillGray(0.19, frame);
    frame->setLineWidth(1.5);
    UIColor::colorWithWhite(0.36, 1)->setStroke();
    frame->stroke();
}

// A reel: a disc with five holes around a hub.
void drawReel(CGPoint centre, CGFloat radius) {
    auto disc = UIBezierPath::bezierPathWithOvalInRect(
        CGRectMake(centre.x - radius, centre.y - radius, 2 * radius, 2 * radius));
    for (int i = 0; i < 5; ++i) {
        double angle = -std::numbers::pi / 2 + i * 2 * std::numbers::pi / 5;
        CGFloat r = radius * 0.26, d = radius * 0.56;
        CGPoint c = CGPointMake(centre.x + d * std::cos(angle), centre.y + d * std::sin(angle));
        disc->appendPath(UIBezierPath::bezierPathWithOvalInRect(CGRectMake(c.x - r, c.y - r, 2 * r, 2 * r)));
    }
    CGFloat hub = radius * 0.12;
    disc->appendPath(UIBezierPath::bezierPathWithOvalInRect(CGRectMake(centre.x - hub, centre.y - hub, 2 * hub, 2 * hub)));
    disc->setUsesEvenOddFillRule(true);
    fillGray(0.42, disc);
}

UIBezierPathPtr heartPath() {
    auto heart = UIBezierPath::bezierPath();
    heart->moveToPoint(CGPointMake(15, 26));
    heart->addCurveToPoint(CGPointMake(3, 11), CGPointMake(15, 26), CGPointMake(3, 18.5));
    heart->addCurveToPoint(CGPointMake(9.25, 4.5), CGPointMake(3, 7), CGPointMake(6, 4.5));
    heart->addCurveToPoint(CGPointMake(15, 8.5), CGPointMake(12, 4.5), CGPointMake(14, 6.5));
    heart->addCurveToPoint(CGPointMake(20.75, 4.5), CGPointMake(16, 6.5), CGPointMake(18, 4.5));
    heart->addCurveToPoint(CGPointMake(27, 11), CGPointMake(24, 4.5), CGPointMake(27, 7));
    heart->addCurveToPoint(CGPointMake(15, 26), CGPointMake(27, 18.5), CGPointMake(15, 26));
    heart->closePath();
    return heart;
}

// The hearts are drawn in a 30-point box and scaled to the image.
void scaleToBox(CGSize size) {
    CGContextScaleCTM(UIGraphicsGetCurrentContext(), size.width / 30, size.height / 30);
}

}  // namespace

void drawMovieThumb(CGSize size) {
    auto c = UIGraphicsGetCurrentContext();
    CGContextScaleCTM(c, size.width / 100, size.height / 150);
    auto gradient = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(),
                                                        {0.24, 0.24, 0.25, 1, 0.14, 0.14, 0.15, 1}, {0, 1});
    CGContextDrawLinearGradient(c, gradient, CGPointMake(0, 0), CGPointMake(0, 150),
                                kCGGradientDrawsBeforeStartLocation | kCGGradientDrawsAfterEndLocation);
    // The strip's edges with their sprocket holes.
    for (CGFloat x : {0.0, 86.0}) {
        fillGray(0.09, UIBezierPath::bezierPathWithRect(CGRectMake(x, 0, 14, 150)));
        for (int i = 0; i < 11; ++i)
            fillGray(0.30, UIBezierPath::bezierPathWithRoundedRect(CGRectMake(x + 4, 3 + 14 * i, 6, 8), 1.5));
    }
    // Three frames: the middle one whole, its neighbours cut by the poster's edges.
    for (CGFloat y : {-52.0, 40.0, 132.0}) drawFilmFrame(CGRectMake(20, y, 60, 70));
    drawReel(CGPointMake(50, 75), 20);
}

void drawFavoriteNormal(CGSize size) {
    scaleToBox(size);
    auto heart = heartPath();
    heart->setLineWidth(2);
    heart->setLineJoinStyle(kCGLineJoinRound);
    UIColor::whiteColor()->setStroke();
    heart->stroke();
}

void drawFavoriteSelected(CGSize size) {
    scaleToBox(size);
    auto heart = heartPath();
    heart->setLineWidth(2);
    heart->setLineJoinStyle(kCGLineJoinRound);
    UIColor::colorWithRed(0.91, 0.18, 0.25, 1)->setFill();
    heart->fill();
    UIColor::colorWithRed(0.98, 0.36, 0.42, 1)->setStroke();
    heart->stroke();
}

}  // namespace art
