#include "ui/progresshud/LORoundProgressView.h"

#include <cmath>

#include "platform/uikit/UIBezierPath.h"
#include "platform/uikit/UISystemVersion.h"
#include "ui/progresshud/LODrawingScope.h"

namespace {

// Systems from this Foundation version on draw the thin, square-capped ring.
constexpr double kThinRingFoundationVersion = 847.2;
constexpr float kStartAngle = -static_cast<float>(M_PI) / 2;
constexpr float kFullTurn = 2 * static_cast<float>(M_PI);

}  // namespace

LORoundProgressView::LORoundProgressView() : LORoundProgressView(CGRectMake(0, 0, 37, 37)) {}

LORoundProgressView::LORoundProgressView(CGRect frame)
    : UIView(frame),
      progressTintColor_(UIColor::colorWithWhite(1, 1)),
      backgroundTintColor_(UIColor::colorWithWhite(1, 0.1)) {
    setBackgroundColor(UIColor::clearColor()->CGColor());
    setOpaque(false);
}

void LORoundProgressView::changed(const char* key) {
    setNeedsDisplay();
    didChangeValueForKey(key);
}

void LORoundProgressView::setProgress(float progress) {
    progress_ = progress;
    changed("progress");
}

void LORoundProgressView::setProgressTintColor(UIColorPtr color) {
    progressTintColor_ = std::move(color);
    changed("progressTintColor");
}

void LORoundProgressView::setBackgroundTintColor(UIColorPtr color) {
    backgroundTintColor_ = std::move(color);
    changed("backgroundTintColor");
}

void LORoundProgressView::setAnnular(bool annular) {
    annular_ = annular;
    changed("annular");
}

void LORoundProgressView::drawRect(CGRect) {
    LODrawingScope scope;
    if (!scope) return;
    const float done = drawnProgress(progress_);
    if (annular_) drawRing(scope.context(), bounds(), done);
    else drawPie(scope.context(), bounds(), done);
}

void LORoundProgressView::drawRing(const CGContextRef& ctx, CGRect b, float done) const {
    const bool thin = NSFoundationVersionNumber() >= kThinRingFoundationVersion;
    const CGFloat lineWidth = thin ? 2 : 5;
    const CGPoint center = CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b));
    const CGFloat radius = std::max<CGFloat>(0, (b.size.width - lineWidth) / 2);

    auto track = UIBezierPath::bezierPath();
    track->setLineWidth(lineWidth);
    track->setLineCapStyle(kCGLineCapButt);
    track->addArcWithCenter(center, radius, kStartAngle, kStartAngle + kFullTurn, true);
    CGContextSetStrokeColorWithColor(ctx, LOColorOrClear(backgroundTintColor_));
    track->stroke();

    auto arc = UIBezierPath::bezierPath();
    arc->setLineWidth(lineWidth);
    arc->setLineCapStyle(thin ? kCGLineCapSquare : kCGLineCapRound);
    arc->addArcWithCenter(center, radius, kStartAngle, kStartAngle + done * kFullTurn, true);
    CGContextSetStrokeColorWithColor(ctx, LOColorOrClear(progressTintColor_));
    arc->stroke();
}

void LORoundProgressView::drawPie(const CGContextRef& ctx, CGRect b, float done) const {
    const CGRect circle = CGRectInset(b, 2, 2);
    if (circle.size.width > 0 && circle.size.height > 0) {
        CGContextSetFillColorWithColor(ctx, LOColorOrClear(backgroundTintColor_));
        CGContextSetStrokeColorWithColor(ctx, LOColorOrClear(progressTintColor_));
        CGContextSetLineWidth(ctx, 2);
        CGContextFillEllipseInRect(ctx, circle);
        CGContextStrokeEllipseInRect(ctx, circle);
    }
    const CGPoint center = CGPointMake(b.size.width / 2, b.size.height / 2);
    const CGFloat radius = std::max<CGFloat>(0, (b.size.width - 4) / 2);
    if (!(done > 0) || radius <= 0) return;
    CGContextSetRGBFillColor(ctx, 1, 1, 1, 1);
    CGContextBeginPath(ctx);
    CGContextMoveToPoint(ctx, center.x, center.y);
    CGContextAddArc(ctx, center.x, center.y, radius, kStartAngle, kStartAngle + done * kFullTurn, 0);
    CGContextClosePath(ctx);
    CGContextFillPath(ctx);
}
