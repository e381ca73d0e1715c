#include "platform/uikit/UIProgressView.h"

#include <algorithm>
#include <cmath>

#include "platform/base/ThreadAssertions.h"

void UIProgressView::setProgress(float progress, bool animated) {
    QV_ASSERT_MAIN_THREAD();
    willChangeValueForKey("progress");
    progress_ = std::isnan(progress) ? 0.0f : std::clamp(progress, 0.0f, 1.0f);
    lastAnimated_ = animated;
    didChangeValueForKey("progress");
    setNeedsDisplay();
}

void UIProgressView::setProgressTintColor(CGColorRef color) {
    QV_ASSERT_MAIN_THREAD();
    progressTintColor_ = std::move(color);
    setNeedsDisplay();
}

void UIProgressView::setTrackTintColor(CGColorRef color) {
    QV_ASSERT_MAIN_THREAD();
    trackTintColor_ = std::move(color);
    setNeedsDisplay();
}

void UIProgressView::drawRect(CGRect) {
    CGContextRef context = currentDrawingContext();
    if (!context) return;
    const CGRect box = bounds();
    CGContextSetFillColorWithColor(context, trackTintColor_ ? trackTintColor_ : CGColorCreateSRGB(0.72, 0.72, 0.72, 1.0));
    CGContextFillRect(context, box);
    const CGFloat done = box.size.width * static_cast<CGFloat>(progress_);
    if (done <= 0) return;
    CGContextSetFillColorWithColor(context, progressTintColor_ ? progressTintColor_ : tintColor());
    CGContextFillRect(context, CGRectMake(box.origin.x, box.origin.y, done, box.size.height));
}
