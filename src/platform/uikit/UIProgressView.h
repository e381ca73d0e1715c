#pragma once
// A bar showing a fraction from 0 to 1 (values outside are clamped). Records
// whether the last change was animated; "progress" is observable. Main thread only.
#include "platform/uikit/UIView.h"

class UIProgressView : public UIView {
public:
    using UIView::UIView;
    float progress() const { return progress_; }
    void setProgress(float progress) { setProgress(progress, false); }
    void setProgress(float progress, bool animated);
    bool lastChangeAnimated() const { return lastAnimated_; }

private:
    float progress_ = 0;
    bool lastAnimated_ = false;
};
