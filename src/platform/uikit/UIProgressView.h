#pragma once
// A bar showing a fraction from 0 to 1 (values outside are clamped, NaN reads
// as 0). Records whether the last change was animated; "progress" is
// observable. Drawn as a track across the bounds (trackTintColor, a light grey
// by default) with the done part from the left edge (progressTintColor, the
// view's tint by default). Main thread only.
#include "platform/uikit/UIView.h"

class UIProgressView : public UIView {
public:
    using UIView::UIView;
    float progress() const { return progress_; }
    void setProgress(float progress) { setProgress(progress, false); }
    void setProgress(float progress, bool animated);
    bool lastChangeAnimated() const { return lastAnimated_; }

    // Null stands for the default colour.
    const CGColorRef& progressTintColor() const { return progressTintColor_; }
    void setProgressTintColor(CGColorRef color);
    const CGColorRef& trackTintColor() const { return trackTintColor_; }
    void setTrackTintColor(CGColorRef color);

    void drawRect(CGRect rect) override;

private:
    float progress_ = 0;
    bool lastAnimated_ = false;
    CGColorRef progressTintColor_;
    CGColorRef trackTintColor_;
};
