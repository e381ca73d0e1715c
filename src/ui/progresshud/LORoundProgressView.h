#pragma once
// A determinate progress indicator drawn as a pie (a filled wedge growing
// clockwise from twelve o'clock inside an outlined disc) or, when annular, as
// a ring (a thin track with an arc over it).
//
// Plain construction makes a 37 x 37 point view; the view is transparent.
// Every change of a property redraws it (and is announced to key-value
// observers under the property's name). The progress is drawn within 0...1
// (not a number as 0); the stored value is kept as set.
//
// Main thread only.
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIView.h"
#include "ui/progresshud/LOProgressIndicator.h"

class LORoundProgressView : public UIView, public LOProgressIndicator {
public:
    LORoundProgressView();                       // 37 x 37 points
    explicit LORoundProgressView(CGRect frame);

    float progress() const override { return progress_; }
    void setProgress(float progress) override;
    // The filled part (default opaque white).
    const UIColorPtr& progressTintColor() const { return progressTintColor_; }
    void setProgressTintColor(UIColorPtr color);
    // The unfilled part (default white at alpha 0.1).
    const UIColorPtr& backgroundTintColor() const { return backgroundTintColor_; }
    void setBackgroundTintColor(UIColorPtr color);
    // A ring instead of a pie (default NO).
    bool isAnnular() const { return annular_; }
    void setAnnular(bool annular);

    void drawRect(CGRect rect) override;

private:
    void changed(const char* key);
    void drawRing(const CGContextRef& ctx, CGRect bounds, float done) const;
    void drawPie(const CGContextRef& ctx, CGRect bounds, float done) const;

    float progress_ = 0;
    UIColorPtr progressTintColor_;
    UIColorPtr backgroundTintColor_;
    bool annular_ = false;
};
