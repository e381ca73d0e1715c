// The tab icons, drawn in a 30-point box in white; the tab bar uses their alpha.
#include <cmath>
#include <numbers>

#include "ArtDrawings.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIBezierPath.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"

namespace art {
namespace {

void beginIcon(CGSize size) {
    CGContextScaleCTM(UIGraphicsGetCurrentContext(), size.width / 30, size.height / 30);
    UIColor::whiteColor()->setFill();
    UIColor::whiteColor()->setStroke();
}

void strokeRound(const UIBezierPathPtr& path, CGFloat width) {
    path->setLineWidth(width);
    path->setLineCapStyle(kCGLineCapRound);
    path->setLineJoinStyle(kCGLineJoinRound);
    path->stroke();
}

UIBezierPathPtr polyline(std::initializer_list<CGPoint> points) {
    auto path = UIBezierPath::bezierPath();
    bool first = true;
    for (CGPoint p : points) {
        if (first) path->moveToPoint(p);
        else path->addLineToPoint(p);
        first = false;
    }
    return path;
}

}  // namespace

// A clapperboard: the board, and the hinged stick with its stripes cut out.
void drawTabMovies(CGSize size) {
    beginIcon(size);
    UIBezierPath::bezierPathWithRoundedRect(CGRectMake(4, 13, 22, 13), 2)->fill();
    auto stick = polyline({CGPointMake(4, 11), CGPointMake(25.5, 6.4), CGPointMake(24.7, 2.8), CGPointMake(3.2, 7.4)});
    stick->closePath();
    stick->fill();
    for (CGFloat x : {8.0, 14.0, 20.0}) {
        auto stripe = polyline({CGPointMake(x, 10.6), CGPointMake(x + 2.2, 10.1), CGPointMake(x + 0.4, 5.6),
                                CGPointMake(x - 1.8, 6.1)});
        stripe->closePath();
        stripe->fillWithBlendMode(kCGBlendModeClear, 1);
    }
    auto band = UIBezierPath::bezierPathWithRect(CGRectMake(4, 16, 22, 1.5));
    band->fillWithBlendMode(kCGBlendModeClear, 1);
}

// A television: the screen, two antennas and the stand.
void drawTabTVShows(CGSize size) {
    beginIcon(size);
    strokeRound(UIBezierPath::bezierPathWithRoundedRect(CGRectMake(3, 8, 24, 16), 3), 2);
    strokeRound(polyline({CGPointMake(10, 2.5), CGPointMake(15, 7), CGPointMake(20, 2.5)}), 1.8);
    strokeRound(polyline({CGPointMake(10, 27), CGPointMake(20, 27)}), 2);
}

// A magnifying glass.
void drawTabSearch(CGSize size) {
    beginIcon(size);
    strokeRound(UIBezierPath::bezierPathWithOvalInRect(CGRectMake(4.5, 4.5, 16, 16)), 2.5);
    strokeRound(polyline({CGPointMake(18.8, 18.8), CGPointMake(26, 26)}), 3.5);
}

// A five-pointed star, outlined.
void drawTabFavorites(CGSize size) {
    beginIcon(size);
    auto star = UIBezierPath::bezierPath();
    const CGPoint centre = CGPointMake(15, 16);
    for (int i = 0; i < 10; ++i) {
        const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        const CGFloat radius = i % 2 == 0 ? 12.5 : 5.2;
        const CGPoint p = CGPointMake(centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle));
        if (i == 0) star->moveToPoint(p);
        else star->addLineToPoint(p);
    }
    star->closePath();
    strokeRound(star, 2);
}

// An arrow into a tray.
void drawTabDownloads(CGSize size) {
    beginIcon(size);
    strokeRound(polyline({CGPointMake(15, 3), CGPointMake(15, 18.5)}), 2.5);
    strokeRound(polyline({CGPointMake(9, 12.5), CGPointMake(15, 18.5), CGPointMake(21, 12.5)}), 2.5);
    strokeRound(polyline({CGPointMake(4, 19.5), CGPointMake(4, 26), CGPointMake(26, 26), CGPointMake(26, 19.5)}), 2.5);
}

// The letter i in a ring.
void drawTabAbout(CGSize size) {
    beginIcon(size);
    strokeRound(UIBezierPath::bezierPathWithOvalInRect(CGRectMake(3, 3, 24, 24)), 2);
    UIBezierPath::bezierPathWithOvalInRect(CGRectMake(13.2, 7.2, 3.6, 3.6))->fill();
    UIBezierPath::bezierPathWithRoundedRect(CGRectMake(13.6, 12.5, 2.8, 10), 1)->fill();
}

}  // namespace art
