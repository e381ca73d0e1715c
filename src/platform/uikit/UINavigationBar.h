#pragma once
// The bar at the top of a navigation controller's view, 44 points high, over
// the top of the content (the content extends under it). It draws the
// background image set for the default bar metrics, stretched to its bounds,
// and nothing when none is set.
//
// Main thread only.
#include <map>

#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIView.h"

enum UIBarMetrics : long {
    UIBarMetricsDefault = 0,
    UIBarMetricsCompact = 1,
    UIBarMetricsDefaultPrompt = 101,
    UIBarMetricsCompactPrompt = 102,
};

class UINavigationBar : public UIView {
public:
    static constexpr CGFloat kHeight = 44;
    explicit UINavigationBar(CGRect frame = CGRectMake(0, 0, 320, kHeight));

    // The image for the metrics; null when none was set for them.
    UIImagePtr backgroundImageForBarMetrics(UIBarMetrics metrics) const;
    void setBackgroundImage(UIImagePtr image, UIBarMetrics metrics);

    void drawRect(CGRect rect) override;

private:
    std::map<UIBarMetrics, UIImagePtr> backgroundImages_;
};
