#pragma once
// The launch screen: the application's name over a spinning activity
// indicator, the initial scene of the storyboard "Main".
//
// It leaves by itself on the first main-loop pass after it appeared: the block
// viewDidAppear puts on the main queue holds the screen weakly and runs
// goMainView only while the screen is still shown and no update alert of its
// own is up. The update alert (showRequireUpdateAlert, tag 500, one "OK"),
// once answered, runs goMainView and then opens the configuration's "AppLink"
// through the application, when that is an absolute URL string; anything else
// there (missing, not text, not a URL) opens nothing.
//
// goMainView makes the storyboard's "MyTabbarViewController" the root of the
// application delegate's window, which releases the splash screen.
// Main thread only.
#include <memory>

#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIViewController.h"

class UIActivityIndicatorView;
class UILabel;

inline constexpr long kRequireUpdateAlertTag = 500;

class SplashViewController : public UIViewController, public UIAlertViewDelegate {
public:
    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void didReceiveMemoryWarning() override;

    void showRequireUpdateAlert();
    void clickedButtonAtIndex(UIAlertView& alertView, long buttonIndex) override;
    void goMainView();

    // Outlets (the view hierarchy owns them).
    std::shared_ptr<UILabel> nameAppLabel() const { return nameAppLabel_.lock(); }
    void setNameAppLabel(const std::shared_ptr<UILabel>& label) { nameAppLabel_ = label; }
    std::shared_ptr<UIActivityIndicatorView> activityLoading() const { return activityLoading_.lock(); }
    void setActivityLoading(const std::shared_ptr<UIActivityIndicatorView>& view) { activityLoading_ = view; }

private:
    void leaveUnlessHeld();
    void openAppLink();

    std::weak_ptr<UILabel> nameAppLabel_;
    std::weak_ptr<UIActivityIndicatorView> activityLoading_;
    std::weak_ptr<UIAlertView> updateAlert_;  // the update alert while it is up
};
