// Protects the application's surroundings: window levels, status-bar
// orientation with its notifications and frame (and the frame-changed
// notification), the recorded idle timer, the keyboard stand-in's
// notifications, appearance proxies, recorded accessibility notifications and
// the one system-version switch.
#include <doctest/doctest.h>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIAccessibility.h"
#include "platform/uikit/UIAppearance.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIGeometry.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UISystemVersion.h"
#include "platform/uikit/UIToolbar.h"
#include "platform/uikit/UIViewController.h"
#include "UIKitTestSupport.h"

using namespace uikittest;

namespace {
// Puts the system version and orientation back after a test.
struct SystemGuard {
    ~SystemGuard() {
        UIDevice::currentDevice()->setSystemVersion("7.0");
        UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
    }
};

struct Listener {
    std::vector<std::pair<std::string, Value>> heard;
    std::vector<std::shared_ptr<NSObject>> tokens;
    explicit Listener(const std::vector<std::string>& names) {
        for (auto& n : names)
            tokens.push_back(NSNotificationCenter::defaultCenter()->addObserverForName(
                n, nullptr, nullptr, [this](const NSNotification& note) { heard.emplace_back(note.name(), note.userInfo()); }));
    }
    ~Listener() {
        for (auto& t : tokens) NSNotificationCenter::defaultCenter()->removeObserver(t.get());
    }
};
}  // namespace

TEST_CASE("windows are listed by level and the key window is the last made key") {
    auto alert = visibleWindow({10, 10});
    alert->setWindowLevel(UIWindowLevelAlert);
    auto normal = visibleWindow({10, 10});
    auto bar = visibleWindow({10, 10});
    bar->setWindowLevel(UIWindowLevelStatusBar);
    auto windows = UIApplication::sharedApplication()->windows();
    auto position = [&](const std::shared_ptr<UIWindow>& w) {
        return std::find(windows.begin(), windows.end(), w) - windows.begin();
    };
    CHECK(position(normal) < position(bar));
    CHECK(position(bar) < position(alert));
    normal->makeKeyAndVisible();
    CHECK(normal->isKeyWindow());
    alert->makeKeyWindow();
    CHECK(alert->isKeyWindow());
    CHECK_FALSE(normal->isKeyWindow());
}

TEST_CASE("the status-bar orientation is announced before and after, and frames follow the system version") {
    SystemGuard guard;
    auto app = UIApplication::sharedApplication();
    Listener listener({UIApplicationWillChangeStatusBarOrientationNotification,
                       UIApplicationDidChangeStatusBarOrientationNotification});
    UIInterfaceOrientation seenDuringWill = UIInterfaceOrientationUnknown;
    auto probe = NSNotificationCenter::defaultCenter()->addObserverForName(
        UIApplicationWillChangeStatusBarOrientationNotification, nullptr, nullptr,
        [&](const NSNotification&) { seenDuringWill = app->statusBarOrientation(); });
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft);
    NSNotificationCenter::defaultCenter()->removeObserver(probe.get());
    REQUIRE(listener.heard.size() == 2);
    CHECK(listener.heard[0].first == UIApplicationWillChangeStatusBarOrientationNotification);
    CHECK(listener.heard[0].second[UIApplicationStatusBarOrientationUserInfoKey].integerValue() == 4);
    CHECK(listener.heard[1].first == UIApplicationDidChangeStatusBarOrientationNotification);
    CHECK(listener.heard[1].second[UIApplicationStatusBarOrientationUserInfoKey].integerValue() == 1);
    CHECK(seenDuringWill == UIInterfaceOrientationPortrait);
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft);
    CHECK(listener.heard.size() == 2);  // no change, no notification

    struct Case {
        const char* version;
        UIInterfaceOrientation orientation;
        CGRect statusBar;
        CGRect screen;
    };
    const Case cases[] = {
        {"7.0", UIInterfaceOrientationPortrait, CGRectMake(0, 0, 320, 20), CGRectMake(0, 0, 320, 568)},
        {"7.0", UIInterfaceOrientationPortraitUpsideDown, CGRectMake(0, 548, 320, 20), CGRectMake(0, 0, 320, 568)},
        {"7.0", UIInterfaceOrientationLandscapeLeft, CGRectMake(0, 0, 20, 568), CGRectMake(0, 0, 320, 568)},
        {"7.1", UIInterfaceOrientationLandscapeRight, CGRectMake(300, 0, 20, 568), CGRectMake(0, 0, 320, 568)},
        {"8.0", UIInterfaceOrientationLandscapeRight, CGRectMake(0, 0, 568, 20), CGRectMake(0, 0, 568, 320)},
        {"8.0", UIInterfaceOrientationPortrait, CGRectMake(0, 0, 320, 20), CGRectMake(0, 0, 320, 568)},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.version));
        CAPTURE(long(c.orientation));
        UIDevice::currentDevice()->setSystemVersion(c.version);
        app->setStatusBarOrientation(c.orientation);
        CHECK(app->statusBarFrame() == c.statusBar);
        CHECK(UIScreen::mainScreen()->bounds() == c.screen);
    }
    // The frame-changed notification: after a turn and after hiding or showing,
    // with the old frame; not when the frame stays the same.
    UIDevice::currentDevice()->setSystemVersion("7.0");
    Listener frames({UIApplicationDidChangeStatusBarFrameNotification});
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft);
    app->setStatusBarHidden(true);
    app->setStatusBarHidden(true);
    CHECK(app->statusBarFrame() == CGRectZero);
    app->setStatusBarOrientation(UIInterfaceOrientationPortrait);  // hidden: the frame stays zero
    app->setStatusBarHidden(false);
    REQUIRE(frames.heard.size() == 3);
    const auto oldFrame = [&](std::size_t i) {
        const Value& f = frames.heard[i].second[UIApplicationStatusBarFrameUserInfoKey];
        return CGRectMake(f["x"].doubleValue(), f["y"].doubleValue(), f["width"].doubleValue(), f["height"].doubleValue());
    };
    CHECK(oldFrame(0) == CGRectMake(0, 0, 320, 20));
    CHECK(oldFrame(1) == CGRectMake(0, 0, 20, 568));
    CHECK(oldFrame(2) == CGRectZero);

    // The idle timer is recorded as set; controllers remember their transition style.
    CHECK_FALSE(app->isIdleTimerDisabled());
    app->setIdleTimerDisabled(true);
    CHECK(app->isIdleTimerDisabled());
    app->setIdleTimerDisabled(false);
    UIViewController controller;
    CHECK(controller.modalTransitionStyle() == UIModalTransitionStyleCoverVertical);
    controller.setModalTransitionStyle(UIModalTransitionStyleCrossDissolve);
    CHECK(controller.modalTransitionStyle() == UIModalTransitionStyleCrossDissolve);
}

TEST_CASE("the key window's root controller sets the status bar it prefers on request") {
    struct Light : UIViewController {
        UIStatusBarStyle preferredStatusBarStyle() const override { return UIStatusBarStyleLightContent; }
    };
    auto app = UIApplication::sharedApplication();
    app->setStatusBarStyle(UIStatusBarStyleDefault);
    auto root = std::make_shared<Light>();
    auto other = std::make_shared<Light>();
    auto window = visibleWindow({10, 10});
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    other->setNeedsStatusBarAppearanceUpdate();  // not the key window's root: counted only
    CHECK(app->statusBarStyle() == UIStatusBarStyleDefault);
    root->setNeedsStatusBarAppearanceUpdate();
    CHECK(app->statusBarStyle() == UIStatusBarStyleLightContent);
    CHECK(root->statusBarAppearanceUpdateCount() == 1);
    CHECK(other->statusBarAppearanceUpdateCount() == 1);
    app->setStatusBarStyle(UIStatusBarStyleDefault);
}

TEST_CASE("the system-version switch answers the Foundation number and the operating-system version") {
    SystemGuard guard;
    struct Case {
        const char* version;
        double foundation;
        long major, minor, patch;
        bool follows;
    };
    const Case cases[] = {
        {"7.0", 1047.20, 7, 0, 0, false}, {"7.1.2", 1047.25, 7, 1, 2, false}, {"8.0", 1140.11, 8, 0, 0, true},
        {"8.4", 1144.17, 8, 4, 0, true},  {"9.3", 1240.1, 9, 3, 0, true},     {"6.1", 993.0, 6, 1, 0, false},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.version));
        UIDevice::currentDevice()->setSystemVersion(c.version);
        CHECK(NSFoundationVersionNumber() == doctest::Approx(c.foundation));
        auto v = operatingSystemVersion();
        CHECK(v.majorVersion == c.major);
        CHECK(v.minorVersion == c.minor);
        CHECK(v.patchVersion == c.patch);
        CHECK(UIScreenBoundsFollowOrientation() == c.follows);
        CHECK(isOperatingSystemAtLeastVersion({7, 0, 0}) == (c.major >= 7));
    }
    UIDevice::currentDevice()->setSystemVersion("7.0");
    CHECK(NSFoundationVersionNumber() < 1129.15);  // the older rotation path of the overlays
}

TEST_CASE("the keyboard stand-in posts will and did notifications with frames and duration") {
    VirtualTime time;
    SystemGuard guard;
    Listener listener({UIKeyboardWillShowNotification, UIKeyboardDidShowNotification, UIKeyboardWillHideNotification,
                       UIKeyboardDidHideNotification});
    UIKeyboard::show(216, 0.25);
    REQUIRE(listener.heard.size() == 1);
    CHECK(listener.heard[0].first == UIKeyboardWillShowNotification);
    const Value& info = listener.heard[0].second;
    CHECK(CGRectValue(info[UIKeyboardFrameBeginUserInfoKey]) == CGRectMake(0, 568, 320, 216));
    CHECK(CGRectValue(info[UIKeyboardFrameEndUserInfoKey]) == CGRectMake(0, 352, 320, 216));
    CHECK(info[UIKeyboardAnimationDurationUserInfoKey].doubleValue() == doctest::Approx(0.25));
    CHECK(UIKeyboard::visibleHeight() == 216);
    time.advance(0.2);
    CHECK(listener.heard.size() == 1);
    time.advance(0.1);
    REQUIRE(listener.heard.size() == 2);
    CHECK(listener.heard[1].first == UIKeyboardDidShowNotification);

    UIKeyboard::hide(0.3);
    time.advance(0.31);
    REQUIRE(listener.heard.size() == 4);
    CHECK(listener.heard[2].first == UIKeyboardWillHideNotification);
    CHECK(listener.heard[3].first == UIKeyboardDidHideNotification);
    CHECK(CGRectValue(listener.heard[3].second[UIKeyboardFrameEndUserInfoKey]) == CGRectMake(0, 568, 320, 216));
    CHECK(UIKeyboard::visibleHeight() == 0);
    UIKeyboard::hide();  // already hidden: nothing
    CHECK(listener.heard.size() == 4);

    // In landscape before 8.0 the frame lies along the portrait screen's side.
    UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft);
    UIKeyboard::show(162, 0.25);
    CHECK(CGRectValue(listener.heard.back().second[UIKeyboardFrameEndUserInfoKey]) == CGRectMake(158, 0, 162, 568));
    UIKeyboard::hide(0);
    time.advance(0.3);
}

TEST_CASE("appearance proxies reach new instances as they enter a window, accessibility posts are recorded") {
    UIAppearanceReset();
    UIAppearance<UIToolbar>::set<CGColorRef>("barTintColor", rgb(1, 0, 0), &UIToolbar::setBarTintColor);
    UIAppearance<UILabel>::set<long>("numberOfLines", 3, &UILabel::setNumberOfLines);
    auto window = visibleWindow({100, 100});
    auto toolbar = std::make_shared<UIToolbar>(CGRectMake(0, 0, 100, 44));
    auto label = std::make_shared<UILabel>();
    CHECK_FALSE(toolbar->barTintColor());
    window->addSubview(toolbar);
    toolbar->addSubview(label);
    CHECK(CGColorEqualToColor(toolbar->barTintColor(), rgb(1, 0, 0)));
    CHECK(label->numberOfLines() == 3);
    // Values the instance sets afterwards stay; a later proxy set reaches only newer instances.
    label->setNumberOfLines(1);
    UIAppearance<UILabel>::set<long>("numberOfLines", 5, &UILabel::setNumberOfLines);
    label->removeFromSuperview();
    window->addSubview(label);
    CHECK(label->numberOfLines() == 1);
    CHECK(UIAppearance<UILabel>::value<long>("numberOfLines") == 5);
    CHECK_FALSE(UIAppearance<UIToolbar>::value<long>("numberOfLines"));
    UIAppearanceReset();

    UIAccessibilityResetPostedNotifications();
    UIAccessibilityPostNotification(UIAccessibilityScreenChangedNotification);
    UIAccessibilityPostNotification(UIAccessibilityAnnouncementNotification, Value("Done"));
    auto posted = UIAccessibilityPostedNotifications();
    REQUIRE(posted.size() == 2);
    CHECK(posted[0].notification == UIAccessibilityScreenChangedNotification);
    CHECK(posted[0].argument.isNull());
    CHECK(posted[1].argument.stringValue() == "Done");
}
