#pragma once
// The arrow of the pull-to-refresh header, 22 x 48 points: a dashed shaft of
// six 12 x 4 bars and a triangular head, filled with a vertical gradient of
// the arrow colour from transparent at the top to opaque at 80 % of the
// height. The header turns it (by its layer's transform) when the pull is far
// enough.
//
// Main thread only.
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIView.h"

class STPullToRefreshArrow : public UIView {
public:
    explicit STPullToRefreshArrow(CGRect frame = CGRectZero);

    // The platform's grey until a colour is set; null goes back to it.
    UIColorPtr arrowColor() const;
    void setArrowColor(UIColorPtr color);

    void drawRect(CGRect rect) override;

private:
    UIColorPtr arrowColor_;
};
