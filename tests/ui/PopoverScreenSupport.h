#pragma once
// Shared pieces of the popover tests that run a popover the way the screens
// do: a fresh shared default theme and appearance proxy for one test, taps
// through the device screen's input, and content that logs its appearance
// calls into one list with everything else that happens.
#include <doctest/doctest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/display/DeviceInput.h"
#include "platform/uikit/UIAppearance.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"
#include "support/TestEnvironment.h"
#include "ui/popover/FLPopoverController.h"

namespace popovertest {

// What happened, in order, across content, delegate and controls.
using CallLog = std::vector<std::string>;

// The start-up state of the popover class for one test: a new default theme
// from the running system, seeded on a clean appearance proxy. The previous
// default theme comes back afterwards and the proxy is cleared, so what a
// test sets on the shared theme (as the screens do) stays in it.
struct FreshPopoverDefaults {
    FLPopoverThemePtr previous = FLPopoverController::defaultTheme();
    FreshPopoverDefaults() {
        UIAppearanceReset();
        FLPopoverController::setDefaultTheme(FLPopoverTheme::theme());
    }
    ~FreshPopoverDefaults() {
        FLPopoverController::setDefaultTheme(previous);
        UIAppearanceReset();
    }
    FreshPopoverDefaults(const FreshPopoverDefaults&) = delete;
    FreshPopoverDefaults& operator=(const FreshPopoverDefaults&) = delete;
};

// A content controller that logs its appearance calls.
class LoggingContent : public UIViewController {
public:
    explicit LoggingContent(CallLog& log) : log_(log) {}
    void viewWillAppear(bool) override { log_.push_back("willAppear"); }
    void viewDidAppear(bool) override { log_.push_back("didAppear"); }
    void viewWillDisappear(bool) override { log_.push_back("willDisappear"); }
    void viewDidDisappear(bool) override { log_.push_back("didDisappear"); }

private:
    CallLog& log_;
};

// A key window of a phone's screen (320 x 568, so the keyboard's frames fall
// on it) showing a root controller; hidden again at the end.
struct PhoneWindow {
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    std::shared_ptr<UIViewController> root = std::make_shared<UIViewController>();
    PhoneWindow() {
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    ~PhoneWindow() { window->setHidden(true); }
    PhoneWindow(const PhoneWindow&) = delete;
    PhoneWindow& operator=(const PhoneWindow&) = delete;
};

// A tap on the device screen at a point of the key window, carried out to the end.
inline DeviceInputResult tapScreen(DeviceInput& input, CGPoint point) {
    std::optional<DeviceInputResult> result;
    input.tap(point, [&](const DeviceInputResult& r) { result = r; });
    bool finished = testsupport::runMainUntil([&] { return result.has_value(); }, 5);
    INFO("tap at (" << point.x << ", " << point.y << ")");
    REQUIRE_MESSAGE(finished, "the device screen's tap did not finish");
    return *result;
}

inline CGPoint centreInWindow(const UIView& view) {
    CGRect r = view.convertRectToView(view.bounds(), nullptr);
    return CGPointMake(CGRectGetMidX(r), CGRectGetMidY(r));
}

}  // namespace popovertest
