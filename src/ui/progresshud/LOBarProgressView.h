#pragma once
// A determinate progress indicator drawn as a horizontal capsule: an outline,
// the space inside it, and a rounded fill growing from the left.
//
// Plain construction makes a 120 x 20 point view; the view is transparent.
// Every change of a property redraws it (and is announced to key-value
// observers under the property's name). The progress is drawn within 0...1
// (not a number as 0), the stored value kept as set; on a view too low for
// its rounded ends the radii stay at 0 instead of turning negative.
//
// Main thread only.
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIView.h"
#include "ui/progresshud/LOProgressIndicator.h"

class LOBarProgressView : public UIView, public LOProgressIndicator {
public:
    LOBarProgressView();                       // 120 x 20 points
    explicit LOBarProgressView(CGRect frame);

    float progress() const override { return progress_; }
    void setProgress(float progress) override;
    // The outline (default white).
    const UIColorPtr& lineColor() const { return lineColor_; }
    void setLineColor(UIColorPtr color);
    // The inside of the outline (default clear).
    const UIColorPtr& progressRemainingColor() const { return progressRemainingColor_; }
    void setProgressRemainingColor(UIColorPtr color);
    // The done part (default white).
    const UIColorPtr& progressColor() const { return progressColor_; }
    void setProgressColor(UIColorPtr color);

    void drawRect(CGRect rect) override;

private:
    void changed(const char* key);

    float progress_ = 0;
    UIColorPtr lineColor_;
    UIColorPtr progressRemainingColor_;
    UIColorPtr progressColor_;
};
