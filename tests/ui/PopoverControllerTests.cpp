// The popover controller end to end in a key window on the virtual clock:
// presenting from a button (fade, appearance calls, dimming), taps inside
// and outside through the window's touch driver, modal content, the centred
// dialog, dismissals that must do nothing, theme observation that ends with
// the popover, presentation from a view in no window, and the storyboard
// segue.
#include <doctest/doctest.h>

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/UIKitTestSupport.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/popover/FLPopoverControllerExtensions.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"
#include "ui/popover/FLPopoverController.h"
#include "ui/popover/FLStoryboardPopoverSegue.h"

namespace {

class RecordingContent : public UIViewController {
public:
    std::vector<std::string> calls;
    std::shared_ptr<UIButton> button;
    int buttonTaps = 0;
    void viewWillAppear(bool) override { calls.push_back("willAppear"); }
    void viewDidAppear(bool) override { calls.push_back("didAppear"); }
    void viewWillDisappear(bool) override { calls.push_back("willDisappear"); }
    void viewDidDisappear(bool) override { calls.push_back("didDisappear"); }
};

class RecordingDelegate : public FLPopoverControllerDelegate {
public:
    int presented = 0, dismissed = 0, asked = 0;
    bool allowDismiss = true;
    bool respondsToShouldDismissPopover() const override { return true; }
    bool popoverControllerShouldDismissPopover(FLPopoverController&) override {
        ++asked;
        return allowDismiss;
    }
    bool respondsToDidPresentPopover() const override { return true; }
    void popoverControllerDidPresentPopover(FLPopoverController&) override { ++presented; }
    bool respondsToDidDismissPopover() const override { return true; }
    void popoverControllerDidDismissPopover(FLPopoverController&) override { ++dismissed; }
};

struct Scene {
    uikittest::VirtualTime time;
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 480));
    std::shared_ptr<UIViewController> root = std::make_shared<UIViewController>();
    std::shared_ptr<UIButton> anchor = std::make_shared<UIButton>(CGRectMake(20, 40, 60, 30));
    std::shared_ptr<RecordingContent> content = std::make_shared<RecordingContent>();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<FLPopoverController> popover;

    Scene() {
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        root->view()->addSubview(anchor);
        content->setPreferredContentSize(CGSizeMake(150, 176));
        content->button = std::make_shared<UIButton>(CGRectMake(0, 0, 150, 44));
        content->view()->addSubview(content->button);
        content->button->addTarget(
            content, [c = content.get()](UIControl&, UIEvent*) { ++c->buttonTaps; }, UIControlEventTouchUpInside);
        popover = FLPopoverController::initWithContentViewController(content);
        auto theme = FLPopoverTheme::theme();
        theme->setAdjustsTintColor(true);
        popover->setTheme(theme);
        popover->setDelegate(delegate);
    }
    ~Scene() { window->setHidden(true); }

    void present(bool animated = true) {
        popover->presentPopoverFromRect(anchor->bounds(), anchor, FLArrowDirectionAny, animated,
                                        FLAnimationOptionFadeWithScale);
    }
    CGPoint contentButtonCentre() const {
        CGRect r = content->button->convertRectToView(content->button->bounds(), window.get());
        return CGPointMake(CGRectGetMidX(r), CGRectGetMidY(r));
    }
};

}  // namespace

TEST_CASE("popover from a button: fades in, calls appearance in order, dims the rest and restores it") {
    Scene s;
    s.present();
    REQUIRE(s.popover->isPopoverVisible());
    // Both fade in from 0.
    for (UIView* view : {static_cast<UIView*>(s.popover->backgroundView().get()),
                         static_cast<UIView*>(s.popover->overlayView().get())}) {
        auto fade = view->animationRecordForKey("opacity");
        REQUIRE(fade);
        CHECK(std::get<double>(fade->fromValue) == doctest::Approx(0));
        CHECK(std::get<double>(fade->toValue) == doctest::Approx(1));
    }
    CHECK(s.popover->backgroundView()->animationRecordForKey("transform"));  // and scales out of the arrow
    CHECK(s.content->calls == std::vector<std::string>{"willAppear"});
    s.time.advance(0.3);
    CHECK(s.popover->backgroundView()->alpha() == doctest::Approx(1));
    CHECK(s.popover->overlayView()->alpha() == doctest::Approx(1));
    CHECK(s.content->calls == std::vector<std::string>{"willAppear", "didAppear"});
    CHECK(s.delegate->presented == 1);
    // The panel lies below the button (arrow Up), within the window.
    CGRect frame = s.popover->backgroundView()->frame();
    CHECK(s.popover->backgroundView()->arrowDirection() == FLArrowDirectionUp);
    CHECK(frame.origin.y >= 70 - 1);
    CHECK(s.root->view()->tintAdjustmentMode() == UIViewTintAdjustmentModeDimmed);
    CHECK(s.popover->backgroundView()->tintAdjustmentMode() != UIViewTintAdjustmentModeDimmed);

    s.popover->dismissPopoverAnimated(true);
    s.time.advance(0.3);
    CHECK_FALSE(s.popover->isPopoverVisible());
    CHECK(s.content->calls ==
          std::vector<std::string>{"willAppear", "didAppear", "willDisappear", "didDisappear"});
    CHECK(s.root->view()->tintAdjustmentMode() != UIViewTintAdjustmentModeDimmed);
    CHECK(s.delegate->dismissed == 0);  // dismissPopoverAnimated never tells the delegate
    CHECK(s.content->view()->window() == nullptr);
}

TEST_CASE("taps: inside reach the content, outside dismiss once and tell the delegate once") {
    Scene s;
    s.present();
    s.time.advance(0.3);
    CHECK(s.window->tap(s.contentButtonCentre()));
    CHECK(s.content->buttonTaps == 1);
    CHECK(s.popover->isPopoverVisible());

    CHECK(s.window->tap(CGPointMake(300, 460)));
    CHECK(s.delegate->asked == 1);
    // A second tap during the exit animation is ignored.
    (void)s.window->tap(CGPointMake(300, 460));
    s.time.advance(0.3);
    CHECK_FALSE(s.popover->isPopoverVisible());
    CHECK(s.delegate->asked == 1);
    CHECK(s.delegate->dismissed == 1);
    CHECK(s.content->calls ==
          std::vector<std::string>{"willAppear", "didAppear", "willDisappear", "didDisappear"});
}

TEST_CASE("outside taps keep the popover when its content is modal or the delegate says no") {
    Scene s;
    s.present(false);
    REQUIRE(s.popover->isPopoverVisible());
    s.content->setModalInPopover(true);
    (void)s.window->tap(CGPointMake(300, 460));
    s.time.advance(0.3);
    CHECK(s.popover->isPopoverVisible());
    CHECK(s.delegate->asked == 0);

    s.content->setModalInPopover(false);
    s.delegate->allowDismiss = false;
    (void)s.window->tap(CGPointMake(300, 460));
    s.time.advance(0.3);
    CHECK(s.popover->isPopoverVisible());
    CHECK(s.delegate->asked == 1);
    CHECK(s.delegate->dismissed == 0);
}

TEST_CASE("a dialog of 276 x 220 is centred with no arrow") {
    Scene s;
    s.popover->setPopoverContentSize(CGSizeMake(276, 220));
    CHECK_FALSE(s.popover->isPopoverVisible());  // the size is kept, nothing shown
    s.popover->presentPopoverAsDialogAnimated(true, FLAnimationOptionFadeWithScale);
    s.time.advance(0.3);
    REQUIRE(s.popover->isPopoverVisible());
    CHECK(s.popover->rect().origin.x == 155);
    CHECK(s.popover->rect().origin.y == 235);
    CHECK(s.popover->backgroundView()->arrowDirection() == FLArrowDirectionNone);
    CGPoint centre = s.popover->backgroundView()->center();
    CHECK(centre.x == doctest::Approx(160).epsilon(0.02));
    CHECK(s.popover->popoverContentSize().width == 276);
}

TEST_CASE("dismissals that must do nothing: not shown, already dismissing") {
    Scene s;
    int completions = 0;
    s.popover->dismissPopoverAnimated(true, [&] { ++completions; });
    CHECK(s.content->calls.empty());
    CHECK(completions == 0);

    s.present(false);
    s.content->calls.clear();
    s.popover->dismissPopoverAnimated(true, [&] { ++completions; });
    s.popover->dismissPopoverAnimated(true, [&] { ++completions; });
    s.time.advance(0.3);
    CHECK(s.content->calls == std::vector<std::string>{"willDisappear", "didDisappear"});
    CHECK(completions == 1);
}

TEST_CASE("presenting from a view in no window shows nothing") {
    Scene s;
    auto loose = std::make_shared<UIView>(CGRectMake(0, 0, 40, 40));
    s.popover->presentPopoverFromRect(loose->bounds(), loose, FLArrowDirectionAny, true);
    CHECK_FALSE(s.popover->isPopoverVisible());
    CHECK(s.content->calls.empty());
    s.time.advance(0.3);
    CHECK(s.delegate->presented == 0);
}

TEST_CASE("a popover destroyed while its theme lives on is never called back, setTheme lets go of the old") {
    Scene s;
    auto theme = s.popover->theme();
    auto key = FLPopoverTheme::observableKeypaths().front();
    REQUIRE(theme->observerCount(key) == 1);
    auto other = FLPopoverTheme::theme();
    s.popover->setTheme(other);
    CHECK(theme->observerCount(key) == 0);
    CHECK(other->observerCount(key) == 1);
    s.present(false);
    s.popover.reset();  // destroyed while shown: its views leave the window
    CHECK(other->observerCount(key) == 0);
    other->setArrowHeight(20);  // would reach a destroyed popover
    CHECK(s.root->view()->window() == s.window);
    for (const auto& v : s.window->subviews()) CHECK(dynamic_cast<FLPopoverOverlayView*>(v.get()) == nullptr);
}

TEST_CASE("storyboard segue: bar button items present Up or Down, other senders from the root view, it stays") {
    Scene s;
    auto destination = std::make_shared<RecordingContent>();
    destination->setPreferredContentSize(CGSizeMake(150, 176));
    std::weak_ptr<FLPopoverController> weak;
    {
        auto segue = std::make_shared<FLStoryboardPopoverSegue>("show", s.root, destination);
        auto popover = segue->popoverControllerWithSender(std::make_shared<NSObject>(), FLArrowDirectionAny, false);
        segue->perform();
        weak = popover;
        CHECK(popover->inView() == s.root->view());
        CHECK(popover->rect().origin.x == 155);
    }
    auto popover = weak.lock();
    REQUIRE(popover);
    CHECK(popover->isPopoverVisible());
    popover->dismissPopoverAnimated(false);
    popover.reset();
    CHECK(weak.expired());

    auto segue = std::make_shared<FLStoryboardPopoverSegue>("show", s.root, destination);
    auto fromButton = segue->popoverControllerWithSender(s.anchor, FLArrowDirectionLeft, false);
    segue->perform();
    CHECK(fromButton->inView() == s.anchor);
    CHECK(fromButton->isPopoverVisible());
    fromButton->dismissPopoverAnimated(false);
}

namespace {

class RepositioningDelegate : public RecordingDelegate {
public:
    bool implementsReposition = true;
    std::optional<CGRect> newRect;
    CGRect seenRect{};
    std::shared_ptr<UIView> seenView;
    bool ignoreKeyboard = false;
    bool respondsToWillRepositionPopover() const override { return implementsReposition; }
    void popoverControllerWillRepositionPopoverToRect(FLPopoverController&, CGRect* rect,
                                                      std::shared_ptr<UIView>* view) override {
        seenRect = *rect;
        seenView = *view;
        if (newRect) *rect = *newRect;
    }
    bool respondsToShouldIgnoreKeyboardBounds() const override { return true; }
    bool popoverControllerShouldIgnoreKeyboardBounds(FLPopoverController&) override { return ignoreKeyboard; }
};

void rotate() {
    auto center = NSNotificationCenter::defaultCenter();
    center->postNotificationName(UIApplicationDidChangeStatusBarOrientationNotification);
    center->postNotificationName(UIDeviceOrientationDidChangeNotification);
}

}  // namespace

TEST_CASE("rotation: the delegate starts from the current anchor, and what it leaves becomes the anchor") {
    Scene s;
    auto delegate = std::make_shared<RepositioningDelegate>();
    s.popover->setDelegate(delegate);
    s.present(false);
    CGRect before = s.popover->backgroundView()->frame();
    rotate();
    CHECK(delegate->seenView == s.anchor);
    CHECK(CGRectEqualToRect(delegate->seenRect, s.anchor->bounds()));
    CHECK(CGRectEqualToRect(s.popover->backgroundView()->frame(), before));  // left as it was: nothing moves

    delegate->newRect = CGRectMake(200, 300, 40, 40);
    rotate();
    CHECK(CGRectEqualToRect(s.popover->rect(), CGRectMake(200, 300, 40, 40)));
    CHECK(s.popover->backgroundView()->arrowDirection() == FLArrowDirectionDown);  // now above the new anchor

    // A status bar change alone does nothing; a device change alone neither.
    delegate->seenView.reset();
    NSNotificationCenter::defaultCenter()->postNotificationName(UIDeviceOrientationDidChangeNotification);
    CHECK(delegate->seenView == nullptr);
    s.popover->dismissPopoverAnimated(false);
    rotate();  // no longer listening
    CHECK(delegate->seenView == nullptr);
}

TEST_CASE("bar button items present Up or Down whatever is asked, and follow the item on rotation") {
    Scene s;
    auto itemView = std::make_shared<UIView>(CGRectMake(250, 420, 44, 44));
    s.root->view()->addSubview(itemView);
    auto item = UIBarButtonItem::initWithCustomView(itemView);
    int completions = 0;
    s.popover->presentPopoverFromBarButtonItem(item, FLArrowDirectionLeft, false, FLAnimationOptionFade,
                                               [&] { ++completions; });
    REQUIRE(s.popover->isPopoverVisible());
    CHECK(completions == 1);
    CHECK(s.delegate->presented == 0);  // a completion replaces the delegate's call
    CHECK(s.popover->backgroundView()->arrowDirection() == FLArrowDirectionDown);
    CHECK(s.popover->inView() == itemView);

    itemView->setFrame(CGRectMake(250, 60, 50, 44));
    rotate();
    CHECK(CGRectEqualToRect(s.popover->rect(), CGRectMake(0, 0, 50, 44)));
    CHECK(s.popover->backgroundView()->arrowDirection() == FLArrowDirectionUp);
}

TEST_CASE("keyboard: the panel moves above it unless the delegate ignores its bounds") {
    Scene s;
    auto delegate = std::make_shared<RepositioningDelegate>();
    s.popover->setDelegate(delegate);
    s.popover->setPopoverContentSize(CGSizeMake(150, 300));
    s.popover->presentPopoverFromRect(s.anchor->bounds(), s.anchor, FLArrowDirectionAny, false);
    CGRect before = s.popover->backgroundView()->frame();
    REQUIRE(CGRectGetMaxY(before) > 480 - 216);
    UIKeyboard::show(216, 0.25);
    s.time.advance(0.5);
    CGRect raised = s.popover->backgroundView()->frame();
    CHECK(CGRectGetMaxY(raised) <= 480 - 216 + 1);
    UIKeyboard::hide(0.25);
    s.time.advance(0.5);
    CHECK(CGRectEqualToRect(s.popover->backgroundView()->frame(), before));

    delegate->ignoreKeyboard = true;
    UIKeyboard::show(216, 0.25);
    s.time.advance(0.5);
    CHECK(CGRectEqualToRect(s.popover->backgroundView()->frame(), before));
    UIKeyboard::hide(0.25);
    s.time.advance(0.5);
}

TEST_CASE("a popover destroyed during its animations runs no completion and leaves nothing behind") {
    Scene s;
    int completions = 0;
    s.popover->presentPopoverFromRect(s.anchor->bounds(), s.anchor, FLArrowDirectionAny, true,
                                      FLAnimationOptionFade, [&] { ++completions; });
    s.popover.reset();
    s.time.advance(0.3);
    CHECK(completions == 0);
    CHECK(s.content->calls == std::vector<std::string>{"willAppear"});
    CHECK(s.window->subviews().size() == 1);  // the root view alone
}

TEST_CASE("hidden popovers touch no views: theme changes, placement and content size before and after showing") {
    uikittest::VirtualTime time;
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 480));
    auto root = std::make_shared<UIViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    auto content = std::make_shared<UIViewController>();
    auto popover = FLPopoverController::initWithContentViewController(content);
    auto theme = FLPopoverTheme::theme();
    popover->setTheme(theme);
    theme->setArrowHeight(20);
    popover->beginThemeUpdates();
    popover->endThemeUpdates();
    popover->setPopoverContentSize(CGSizeMake(200, 120));
    popover->positionPopover(true);
    CHECK_FALSE(content->isViewLoaded());
    CHECK(window->subviews().size() == 1);
    CHECK(popover->popoverContentSize().width == 200);

    popover->presentPopoverAsDialogAnimated(false);
    REQUIRE(popover->isPopoverVisible());
    CHECK(popover->backgroundView()->arrowHeight() == 20);
    popover->dismissPopoverAnimated(false);
    auto subviews = window->subviews().size();
    theme->setArrowHeight(14);
    popover->setPopoverContentSize(CGSizeMake(100, 100));
    CHECK(window->subviews().size() == subviews);
    CHECK(popover->popoverContentSize().width == 100);
    window->setHidden(true);
}

TEST_CASE("a shown popover follows its content's preferred size and its theme") {
    Scene s;
    s.present(false);
    CGRect before = s.popover->backgroundView()->frame();
    s.content->setPreferredContentSize(CGSizeMake(200, 100));
    s.time.advance(0.3);
    CGRect after = s.popover->backgroundView()->frame();
    CHECK(after.size.width > before.size.width);
    CHECK(after.size.height < before.size.height);
    s.popover->theme()->setArrowHeight(30);
    CHECK(s.popover->backgroundView()->arrowHeight() == 30);
    s.popover->dismissPopoverAnimated(false);
    s.content->setPreferredContentSize(CGSizeMake(120, 100));  // no longer observed
    CHECK(s.popover->popoverContentSize().width == 200);
}

TEST_CASE("navigation content: marked as embedded, clear bar, clipped and rounded") {
    Scene s;
    auto top = std::make_shared<RecordingContent>();
    top->setPreferredContentSize(CGSizeMake(150, 176));
    auto navigation = UINavigationController::initWithRootViewController(top);
    auto popover = FLPopoverController::initWithContentViewController(navigation);
    auto theme = FLPopoverTheme::theme();
    theme->setBorderWidth(0);
    theme->setOuterCornerRadius(8);
    popover->setTheme(theme);
    popover->presentPopoverFromRect(s.anchor->bounds(), s.anchor, FLArrowDirectionAny, false);
    REQUIRE(popover->isPopoverVisible());
    CHECK(UINavigationControllerFLPopover::isEmbedInPopover(*navigation));
    CHECK(navigation->navigationBar()->backgroundImageForBarMetrics(UIBarMetricsDefault) != nullptr);
    CHECK(navigation->view()->layer()->masksToBounds());
    CHECK(navigation->view()->layer()->cornerRadius() == 8);
    CHECK(top->edgesForExtendedLayout() == UIRectEdgeNone);
    popover->dismissPopoverAnimated(false);
    CHECK_FALSE(popover->isPopoverVisible());
}

TEST_CASE("storyboard segue with a bar button item presents from the item's view, Up or Down") {
    Scene s;
    auto itemView = std::make_shared<UIView>(CGRectMake(250, 420, 44, 44));
    s.root->view()->addSubview(itemView);
    auto item = UIBarButtonItem::initWithCustomView(itemView);
    auto destination = std::make_shared<RecordingContent>();
    destination->setPreferredContentSize(CGSizeMake(150, 176));
    auto segue = std::make_shared<FLStoryboardPopoverSegue>("sort", s.root, destination);
    auto popover = segue->popoverControllerWithSender(item, FLArrowDirectionRight, false, FLAnimationOptionFade);
    segue->perform();
    REQUIRE(popover->isPopoverVisible());
    CHECK(popover->inView() == itemView);
    CHECK(popover->backgroundView()->arrowDirection() == FLArrowDirectionDown);
    popover->dismissPopoverAnimated(false);
}
