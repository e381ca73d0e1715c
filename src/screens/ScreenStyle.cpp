#include "screens/ScreenStyle.h"

#include "platform/dispatch/Dispatch.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UITabBarController.h"

UIColorPtr screenColor() { return UIColor::colorWithRed(35.0 / 255.0, 35.0 / 255.0, 35.0 / 255.0, 1.0); }

bool isTablet() { return UIDevice::currentDevice()->userInterfaceIdiom() == UIUserInterfaceIdiomPad; }

CGFloat tabBarOverlap(const UIViewController& screen) {
    auto tabs = screen.tabBarController();
    return tabs ? tabs->tabBar()->frame().size.height : 0;
}

void showFailureAlert(const std::string& message) {
    UIAlertView::initWithTitle("Alert", message, {}, std::string("OK"))->show();
}

void runAfterHalfSecond(std::function<void()> block) {
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, static_cast<std::int64_t>(NSEC_PER_SEC / 2)),
                   dispatch_get_main_queue(), std::move(block));
}
