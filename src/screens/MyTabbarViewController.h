#pragma once
// The application's root: a tab-bar controller whose tabs hold navigation
// controllers (storyboard "Main", identifier "MyTabbarViewController"). Its
// item at index 3 is the downloads tab, whose badge the download manager keeps.
// It always allows rotation; which orientations is the rotation policy's answer.
// Main thread only.
#include "platform/uikit/UITabBarController.h"

class MyTabbarViewController : public UITabBarController {
public:
    static constexpr long kDownloadsTabIndex = 3;

    void viewDidLoad() override;
    void didReceiveMemoryWarning() override;
    bool shouldAutorotate() const override { return true; }
};
