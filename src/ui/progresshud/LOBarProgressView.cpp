#include "ui/progresshud/LOBarProgressView.h"

#include <cmath>

#include "ui/progresshud/LODrawingScope.h"

namespace {

constexpr CGFloat kLineWidth = 2;

// An angle that is not a number counts as 0.
double angleOrZero(double angle) { return std::isnan(angle) ? 0 : angle; }

// The capsule outline inside a 2-point inset, with ends of radius R.
void addOutline(const CGContextRef& c, CGFloat w, CGFloat h, CGFloat R) {
    CGContextMoveToPoint(c, 2, h / 2);
    CGContextAddArcToPoint(c, 2, 2, R + 2, 2, R);
    CGContextAddLineToPoint(c, w - R - 2, 2);
    CGContextAddArcToPoint(c, w - 2, 2, w - 2, h / 2, R);
    CGContextAddArcToPoint(c, w - 2, h - 2, w - R - 2, h - 2, R);
    CGContextAddLineToPoint(c, R + 2, h - 2);
    CGContextAddArcToPoint(c, 2, h - 2, 2, h / 2, R);
}

// The left quarter arcs of the fill (4-point inset, radius r), upper then lower.
void addLeftTop(const CGContextRef& c, CGFloat h, CGFloat r) {
    CGContextMoveToPoint(c, 4, h / 2);
    CGContextAddArcToPoint(c, 4, 4, r + 4, 4, r);
}
void addLeftBottom(const CGContextRef& c, CGFloat h, CGFloat r) {
    CGContextMoveToPoint(c, 4, h / 2);
    CGContextAddArcToPoint(c, 4, h - 4, r + 4, h - 4, r);
}

// The filled part for an amount a (points from the left) of the width w.
void addFill(const CGContextRef& c, CGFloat w, CGFloat h, CGFloat r, CGFloat a) {
    if (a >= r + 4 && a <= w - r - 4) {  // the middle
        addLeftTop(c, h, r);
        CGContextAddLineToPoint(c, a, 4);
        CGContextAddLineToPoint(c, a, r + 4);
        addLeftBottom(c, h, r);
        CGContextAddLineToPoint(c, a, h - 4);
        CGContextAddLineToPoint(c, a, r + 4);
    } else if (a > r + 4) {  // into the right end
        const CGFloat x = a - (w - r - 4);
        addLeftTop(c, h, r);
        CGContextAddLineToPoint(c, w - r - 4, 4);
        CGContextAddArc(c, w - r - 4, h / 2, r, M_PI, angleOrZero(-std::acos(x / r)), 0);
        CGContextAddLineToPoint(c, a, h / 2);
        addLeftBottom(c, h, r);
        CGContextAddLineToPoint(c, w - r - 4, h - 4);
        CGContextAddArc(c, w - r - 4, h / 2, r, -M_PI, angleOrZero(std::acos(x / r)), 1);
        CGContextAddLineToPoint(c, a, h / 2);
    } else if (a > 0) {  // within the left end
        addLeftTop(c, h, r);
        CGContextAddLineToPoint(c, r + 4, h / 2);
        addLeftBottom(c, h, r);
        CGContextAddLineToPoint(c, r + 4, h / 2);
    }
}

}  // namespace

LOBarProgressView::LOBarProgressView() : LOBarProgressView(CGRectMake(0, 0, 120, 20)) {}

LOBarProgressView::LOBarProgressView(CGRect frame)
    : UIView(frame),
      lineColor_(UIColor::whiteColor()),
      progressRemainingColor_(UIColor::clearColor()),
      progressColor_(UIColor::whiteColor()) {
    setBackgroundColor(UIColor::clearColor()->CGColor());
    setOpaque(false);
}

void LOBarProgressView::changed(const char* key) {
    setNeedsDisplay();
    didChangeValueForKey(key);
}

void LOBarProgressView::setProgress(float progress) {
    progress_ = progress;
    changed("progress");
}

void LOBarProgressView::setLineColor(UIColorPtr color) {
    lineColor_ = std::move(color);
    changed("lineColor");
}

void LOBarProgressView::setProgressRemainingColor(UIColorPtr color) {
    progressRemainingColor_ = std::move(color);
    changed("progressRemainingColor");
}

void LOBarProgressView::setProgressColor(UIColorPtr color) {
    progressColor_ = std::move(color);
    changed("progressColor");
}

void LOBarProgressView::drawRect(CGRect rect) {
    LODrawingScope scope;
    if (!scope) return;
    const CGContextRef& c = scope.context();
    const CGFloat w = rect.size.width, h = rect.size.height;
    if (!(w > 0) || !(h > 0)) return;
    CGContextSetLineWidth(c, kLineWidth);
    CGContextSetStrokeColorWithColor(c, LOColorOrClear(lineColor_));
    CGContextSetFillColorWithColor(c, LOColorOrClear(progressRemainingColor_));

    const CGFloat R = std::max(0.0f, static_cast<float>(h / 2 - 2));
    CGContextBeginPath(c);
    addOutline(c, w, h, R);
    CGContextFillPath(c);
    CGContextBeginPath(c);
    addOutline(c, w, h, R);
    CGContextStrokePath(c);

    const CGFloat r = std::max<CGFloat>(0, R - 2);
    const CGFloat a = static_cast<float>(drawnProgress(progress_) * w);
    CGContextSetFillColorWithColor(c, LOColorOrClear(progressColor_));
    CGContextBeginPath(c);
    addFill(c, w, h, r, a);
    CGContextFillPath(c);
}
