// A popover that has gone is never called back by what outlives it: its theme
// (its own or the shared default), its content's size, the keyboard and
// rotation notifications, its chrome and overlay held elsewhere, animations
// still running; and a popover released by its delegate from inside its own
// dismissal finishes that dismissal. Run under the address sanitizer, a call
// into a destroyed popover fails these tests.
#include <doctest/doctest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/UIKitTestSupport.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIKeyboard.h"
#include "ui/PopoverScreenSupport.h"
#include "ui/popover/FLPopoverController.h"

using popovertest::CallLog;

namespace {

class CountingDelegate : public FLPopoverControllerDelegate {
public:
    CallLog& log;
    std::shared_ptr<FLPopoverController> held;  // let go of when told of the dismissal
    explicit CountingDelegate(CallLog& l) : log(l) {}
    bool respondsToDidPresentPopover() const override { return true; }
    void popoverControllerDidPresentPopover(FLPopoverController&) override { log.push_back("didPresent"); }
    bool respondsToShouldDismissPopover() const override { return true; }
    bool popoverControllerShouldDismissPopover(FLPopoverController&) override {
        log.push_back("shouldDismiss");
        return true;
    }
    bool respondsToDidDismissPopover() const override { return true; }
    void popoverControllerDidDismissPopover(FLPopoverController&) override {
        log.push_back("didDismiss");
        held.reset();
    }
    bool respondsToShouldIgnoreKeyboardBounds() const override { return true; }
    bool popoverControllerShouldIgnoreKeyboardBounds(FLPopoverController&) override {
        log.push_back("keyboard?");
        return false;
    }
    bool respondsToWillRepositionPopover() const override { return true; }
    void popoverControllerWillRepositionPopoverToRect(FLPopoverController&, CGRect*,
                                                      std::shared_ptr<UIView>*) override {
        log.push_back("reposition");
    }
};

struct Window {
    uikittest::VirtualTime time;
    popovertest::FreshPopoverDefaults defaults;
    popovertest::PhoneWindow phone;
    std::shared_ptr<UIWindow>& window = phone.window;
    std::shared_ptr<UIViewController>& root = phone.root;
    CallLog log;
    bool holdsPopoverViews() const {
        for (const auto& v : window->subviews())
            if (dynamic_cast<FLPopoverOverlayView*>(v.get()) || dynamic_cast<FLPopoverBackgroundView*>(v.get()))
                return true;
        return false;
    }
};

// Every kind of value a popover observes on a theme, changed.
void changeEveryKind(FLPopoverTheme& theme) {
    theme.setTintColor(UIColor::redColor());
    theme.setFillBottomColor(UIColor::blueColor());
    theme.setArrowHeight(theme.arrowHeight() + 3);
    theme.setOuterShadowOffset(CGSizeMake(0, 1));
    theme.setViewContentInsets(UIEdgeInsets{1, 2, 3, 4});
    theme.setOverlayColor(UIColor::greenColor());
}

void rotate() {
    auto center = NSNotificationCenter::defaultCenter();
    center->postNotificationName(UIApplicationDidChangeStatusBarOrientationNotification);
    center->postNotificationName(UIDeviceOrientationDidChangeNotification);
}

enum class Ending { NeverShown, Shown, Presenting, Dismissing };

}  // namespace

TEST_CASE("a destroyed popover is never called back by its theme, content, notifications or views") {
    struct Row {
        const char* name;
        Ending ending;
        bool ownTheme;
    };
    const Row rows[] = {
        {"never shown, shared default theme", Ending::NeverShown, false},
        {"shown, its own theme", Ending::Shown, true},
        {"shown, shared default theme", Ending::Shown, false},
        {"during its entrance", Ending::Presenting, true},
        {"dismissed, during its exit", Ending::Dismissing, true},
    };
    for (const Row& row : rows) {
        CAPTURE(row.name);
        Window w;
        auto content = std::make_shared<popovertest::LoggingContent>(w.log);
        content->setPreferredContentSize(CGSizeMake(200, 150));
        auto delegate = std::make_shared<CountingDelegate>(w.log);
        auto popover = FLPopoverController::initWithContentViewController(content);
        popover->setDelegate(delegate);
        auto theme = row.ownTheme ? FLPopoverTheme::theme() : popover->theme();
        if (row.ownTheme) popover->setTheme(theme);
        REQUIRE(popover->theme() == theme);
        const std::size_t keyboardObservers =
            NSNotificationCenter::defaultCenter()->observerCount(UIKeyboardWillShowNotification);

        std::shared_ptr<FLPopoverBackgroundView> chrome;
        std::shared_ptr<FLPopoverOverlayView> overlay;
        if (row.ending != Ending::NeverShown) {
            popover->presentPopoverAsDialogAnimated(row.ending == Ending::Presenting);
            chrome = popover->backgroundView();
            overlay = popover->overlayView();
            REQUIRE(chrome);
            REQUIRE(overlay);
        }
        if (row.ending == Ending::Dismissing) {
            popover->dismissPopoverAnimated(true);
            w.time.advance(0.3);  // the exit holds the popover only until it has played out
        }
        std::weak_ptr<FLPopoverController> weak = popover;
        popover.reset();
        REQUIRE(weak.expired());
        w.log.clear();

        for (const auto& key : FLPopoverTheme::observableKeypaths()) CHECK(theme->observerCount(key) == 0);
        CHECK(content->observerCount("preferredContentSize") == 0);
        CHECK(NSNotificationCenter::defaultCenter()->observerCount(UIKeyboardWillShowNotification) <=
              keyboardObservers);
        CHECK_FALSE(w.holdsPopoverViews());

        // What outlives it moves on.
        changeEveryKind(*theme);
        content->setPreferredContentSize(CGSizeMake(120, 90));
        content->setContentSizeForViewInPopover(CGSizeMake(110, 80));
        UIKeyboard::show(216, 0.25);
        rotate();
        w.time.advance(0.3);
        UIKeyboard::hide(0.25);
        w.time.advance(0.3);
        if (chrome) {
            CHECK(chrome->delegate() == nullptr);
            chrome->tapOut();
            CHECK(chrome->superview() == nullptr);
        }
        if (overlay) {
            CHECK(overlay->delegate() == nullptr);
            CHECK(overlay->superview() == nullptr);
        }
        CHECK(w.log.empty());  // neither the delegate nor the content heard anything
    }
}

TEST_CASE("a popover released by its delegate inside its own dismissal finishes it") {
    for (bool animated : {false, true}) {
        CAPTURE(animated);
        Window w;
        auto content = std::make_shared<popovertest::LoggingContent>(w.log);
        content->setPreferredContentSize(CGSizeMake(200, 150));
        auto delegate = std::make_shared<CountingDelegate>(w.log);
        delegate->held = FLPopoverController::initWithContentViewController(content);
        std::weak_ptr<FLPopoverController> weak = delegate->held;
        delegate->held->setDelegate(delegate);
        delegate->held->presentPopoverFromRect(CGRectMake(150, 400, 20, 20), w.root->view(), FLArrowDirectionAny,
                                               animated, FLAnimationOptionFadeWithScale);
        w.time.advance(0.3);
        REQUIRE(delegate->held->isPopoverVisible());
        w.log.clear();

        // The outside tap removes the overlay that took it while its recogniser runs.
        CHECK(w.window->tap(CGPointMake(20, 60)));
        w.time.advance(0.3);
        CHECK(weak.expired());
        CHECK_FALSE(w.holdsPopoverViews());
        CHECK(w.log == CallLog{"shouldDismiss", "willDisappear", "didDisappear", "didDismiss"});
        CHECK(w.root->view()->tintAdjustmentMode() == UIViewTintAdjustmentModeNormal);
    }
}
