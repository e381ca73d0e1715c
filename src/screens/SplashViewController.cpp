#include "screens/SplashViewController.h"

#include "core/AppDelegate.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSURL.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIStoryboard.h"
#include "platform/uikit/UIWindow.h"
#include "screens/MainStoryboard.h"

void SplashViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    if (auto spinner = activityLoading()) {
        spinner->setHidden(false);
        spinner->startAnimating();
    }
}

void SplashViewController::viewDidAppear(bool animated) {
    UIViewController::viewDidAppear(animated);
    dispatch_async(dispatch_get_main_queue(), [weak = weakSelf<SplashViewController>()] {
        if (auto splash = weak.lock()) splash->leaveUnlessHeld();
    });
}

void SplashViewController::didReceiveMemoryWarning() { UIViewController::didReceiveMemoryWarning(); }

// Leaves for the tab shell, unless the screen has already gone or its update
// alert waits for an answer (which leaves in its own time).
void SplashViewController::leaveUnlessHeld() {
    if (!isViewVisible()) return;
    if (auto alert = updateAlert_.lock(); alert && alert->isVisible()) return;
    goMainView();
}

void SplashViewController::showRequireUpdateAlert() {
    QV_ASSERT_MAIN_THREAD();
    if (auto shown = updateAlert_.lock(); shown && shown->isVisible()) return;
    auto alert = UIAlertView::initWithTitle(
        "Update Required",
        "The version of Quorvane you are using is no longer supported.  Download the latest version to access all "
        "new features!",
        weakSelf<SplashViewController>(), std::nullopt, {"OK"});
    alert->setTag(kRequireUpdateAlertTag);
    updateAlert_ = alert;
    alert->show();
}

void SplashViewController::clickedButtonAtIndex(UIAlertView& alertView, long /*buttonIndex*/) {
    QV_ASSERT_MAIN_THREAD();
    auto keep = self<SplashViewController>();  // the window lets go of the screen in goMainView
    goMainView();
    if (alertView.tag() == kRequireUpdateAlertTag) openAppLink();
}

void SplashViewController::goMainView() {
    QV_ASSERT_MAIN_THREAD();
    auto keep = self<SplashViewController>();
    auto storyboard = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr);
    auto shell = storyboard ? storyboard->instantiateViewControllerWithIdentifier("MyTabbarViewController") : nullptr;
    if (!shell) return;  // the storyboard said why
    auto delegate = AppDelegate::shared();
    auto window = delegate ? delegate->window() : nullptr;
    if (!window) {
        NSLog("SplashViewController: the application has no window to show the tabs in");
        return;
    }
    window->setRootViewController(shell);
}

// Opens the server's application link: only a string that is an absolute URL.
void SplashViewController::openAppLink() {
    auto delegate = AppDelegate::shared();
    if (!delegate) return;
    const Value link = delegate->defaultInfo()["AppLink"];
    const std::string* text = link.string();
    const NSURLPtr url = text ? NSURL::URLWithString(*text) : nullptr;
    if (!url || !url->scheme()) {
        NSLog("SplashViewController: no application link to open (%@)", link);
        return;
    }
    UIApplication::sharedApplication()->openURL(url->absoluteString());
}
