#pragma once
// A stage for the status overlay tests: virtual time, a screen and a visible
// window of a given size, a recorder of the overlay's notifications, and a
// clean hidden overlay, portrait orientation, system 7.0 and no keyboard
// afterwards.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIScreen.h"
#include "platform/UIKitTestSupport.h"
#include "ui/statushud/STProgressHUD.h"

namespace statustest {

struct Posted {
    std::string name;
    double at;  // seconds since the stage began
    Value userInfo;
    std::shared_ptr<NSObject> object;
};

class Stage {
public:
    explicit Stage(CGSize screen = CGSizeMake(320, 480)) {
        previousBounds_ = UIScreen::mainScreen()->portraitBounds();
        UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, screen.width, screen.height));
        UIScreen::mainScreen()->setScale(2);
        start_ = Clock::now();
        window = uikittest::visibleWindow(screen, uikittest::rgb(0.33, 0.55, 0.72));
        window->makeKeyAndVisible();
        for (const char* name : {STProgressHUDWillAppearNotification, STProgressHUDDidAppearNotification,
                                 STProgressHUDWillDisappearNotification, STProgressHUDDidDisappearNotification,
                                 STProgressHUDDidReceiveTouchEventNotification}) {
            observers_.push_back(NSNotificationCenter::defaultCenter()->addObserverForName(
                name, nullptr, nullptr, [this](const NSNotification& n) {
                    posted.push_back({n.name(), Clock::now() - start_, n.userInfo(), n.object()});
                }));
        }
    }
    ~Stage() {
        for (auto& o : observers_) NSNotificationCenter::defaultCenter()->removeObserver(o.get());
        STProgressHUD::sharedView()->instanceDismiss();
        time.advance(1);
        UIKeyboard::hide(0);
        time.advance(0.1);
        STProgressHUD::resetOffsetFromCenter();
        UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
        UIDevice::currentDevice()->setSystemVersion("7.0");
        UIScreen::mainScreen()->setBounds(previousBounds_);
        window->setHidden(true);
    }
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    // The names posted so far, in order.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& p : posted) out.push_back(p.name);
        return out;
    }
    std::size_t count(const std::string& name) const {
        std::size_t n = 0;
        for (const auto& p : posted) n += p.name == name;
        return n;
    }
    // Advances the clock to the stage time `t` and runs what fell due.
    void advanceTo(double t) {
        if (t > now()) time.advance(t - now());
    }
    double now() const { return Clock::now() - start_; }

    uikittest::VirtualTime time;
    std::shared_ptr<UIWindow> window;
    std::vector<Posted> posted;

private:
    double start_ = 0;
    CGRect previousBounds_{};
    std::vector<std::shared_ptr<NSObject>> observers_;
};

}  // namespace statustest
