// The sort picker as the movie grid shows it, end to end in the tab-bar
// window on the virtual clock: light grey chrome set on the appearance proxy,
// arrow 13 x 25 on the theme, margins 10, content 150 x 176, the sort button
// as the only pass-through view; fade and scale out of the arrow's tip, the
// appearance calls and the delegate's in order, the rest of the window dimmed
// and restored; taps through the device screen's input inside the content, on
// the sort button, elsewhere and on modal content.
#include <doctest/doctest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <variant>

#include "platform/UIKitTestSupport.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UITabBar.h"
#include "support/TabBarShell.h"
#include "ui/PopoverScreenSupport.h"
#include "ui/popover/FLPopoverController.h"

using popovertest::CallLog;
using popovertest::centreInWindow;
using popovertest::tapScreen;

namespace {

// The picker's table stands for its rows; its first row is a button.
class SortPickerContent : public popovertest::LoggingContent {
public:
    explicit SortPickerContent(CallLog& log) : LoggingContent(log) {}
    std::shared_ptr<UIButton> firstRow;
};

// The movie grid's part in the sort popover: its header's sort action and its
// answers as the popover's delegate.
class MovieGridStandIn : public NSObject, public FLPopoverControllerDelegate {
public:
    explicit MovieGridStandIn(CallLog& log) : log_(log) {}
    std::shared_ptr<FLPopoverController> popoverController;
    std::shared_ptr<SortPickerContent> content;
    bool modalContent = false;

    // The sort button's action.
    void typeSelect(const std::shared_ptr<UIView>& sender) {
        using Proxy = UIAppearance<FLPopoverBackgroundView>;
        using Chrome = FLPopoverBackgroundView;
        auto grey = UIColor::lightGrayColor();
        Proxy::set("fillTopColor", grey, &Chrome::setFillTopColor);
        Proxy::set("fillBottomColor", grey, &Chrome::setFillBottomColor);
        Proxy::set("outerStrokeColor", grey, &Chrome::setOuterStrokeColor);
        Proxy::set("innerStrokeColor", grey, &Chrome::setInnerStrokeColor);
        if (popoverController) {
            popoverController->dismissPopoverAnimated(true);
            popoverController.reset();
            return;
        }
        content = std::make_shared<SortPickerContent>(log_);
        content->setModalInPopover(modalContent);
        content->firstRow = std::make_shared<UIButton>(CGRectMake(0, 0, 150, 44));
        content->firstRow->setAccessibilityIdentifier("Popular");
        content->firstRow->addTarget(
            content, [&log = log_](UIControl&, UIEvent*) { log.push_back("row Popular"); },
            UIControlEventTouchUpInside);
        content->view()->addSubview(content->firstRow);
        popoverController = FLPopoverController::initWithContentViewController(content);
        popoverController->setDelegate(self<MovieGridStandIn>());
        popoverController->setPassthroughViews({sender});
        popoverController->setPopoverLayoutMargins(UIEdgeInsets{10, 10, 10, 10});
        popoverController->setWantsDefaultContentAppearance(false);
        popoverController->theme()->setArrowHeight(13);
        popoverController->theme()->setArrowBase(25);
        content->view()->setFrame(CGRectMake(0, 0, 150, 176));
        popoverController->setPopoverContentSize(CGSizeMake(150, 176));
        popoverController->presentPopoverFromRect(sender->bounds(), sender, FLArrowDirectionAny, true,
                                                  FLAnimationOptionFadeWithScale);
    }

    bool respondsToDidPresentPopover() const override { return true; }
    void popoverControllerDidPresentPopover(FLPopoverController&) override { log_.push_back("didPresent"); }
    bool respondsToShouldDismissPopover() const override { return true; }
    bool popoverControllerShouldDismissPopover(FLPopoverController&) override {
        log_.push_back("shouldDismiss");
        return true;
    }
    bool respondsToDidDismissPopover() const override { return true; }
    void popoverControllerDidDismissPopover(FLPopoverController&) override {
        log_.push_back("didDismiss");
        popoverController.reset();
    }
    bool respondsToShouldIgnoreKeyboardBounds() const override { return true; }
    bool popoverControllerShouldIgnoreKeyboardBounds(FLPopoverController&) override { return true; }
    bool respondsToWillTranslatePopover() const override { return true; }
    void popoverControllerWillTranslatePopoverWithYOffset(FLPopoverController&, float* offset) override {
        *offset = 0;
    }

private:
    CallLog& log_;
};

// The movies tab with its header bar (the navigation bar hidden, as the grid
// hides it), the sort button at the header's right and a poster below.
struct SortScene {
    uikittest::VirtualTime time;
    popovertest::FreshPopoverDefaults defaults;
    testsupport::TabBarShell shell = testsupport::installTabBarShell(nullptr);
    CallLog log;
    std::shared_ptr<MovieGridStandIn> grid = std::make_shared<MovieGridStandIn>(log);
    std::shared_ptr<UIButton> sortButton = std::make_shared<UIButton>(CGRectMake(262, 6, 50, 32));
    std::shared_ptr<UIButton> poster = std::make_shared<UIButton>(CGRectMake(10, 300, 98, 148));
    DeviceInput input;

    SortScene() {
        // The tabs' content above the 49-point tab bar, as the shell lays it out on a phone.
        CGRect content = CGRectMake(0, 0, 320, 568 - 49);
        for (std::size_t i = 0; i < shell.navigations.size(); ++i) {
            for (const auto& view : {shell.navigations[i]->view(), shell.screens[i]->view()}) view->setFrame(content);
        }
        shell.tabBar->tabBar()->setFrame(CGRectMake(0, content.size.height, 320, 49));
        shell.navigations[0]->setNavigationBarHidden(true, false);
        auto screen = shell.screens[0]->view();
        auto header = std::make_shared<UIView>(CGRectMake(0, 20, 320, 44));
        screen->addSubview(header);
        header->addSubview(sortButton);
        sortButton->setAccessibilityIdentifier("sort");
        std::weak_ptr<UIButton> sender = sortButton;
        sortButton->addTarget(
            grid,
            [g = grid.get(), sender](UIControl&, UIEvent*) {
                if (auto s = sender.lock()) g->typeSelect(s);
            },
            UIControlEventTouchUpInside);
        screen->addSubview(poster);
        poster->setAccessibilityIdentifier("poster");
        poster->addTarget(grid, [this](UIControl&, UIEvent*) { log.push_back("poster"); }, UIControlEventTouchUpInside);
        shell.window->layoutAndDisplayIfNeeded();
    }
    ~SortScene() {
        if (grid->popoverController) grid->popoverController->dismissPopoverAnimated(false);
        shell.window->setHidden(true);
    }

    std::shared_ptr<FLPopoverController> popover() const { return grid->popoverController; }
    // A point of the screen's background with no control under it.
    CGPoint emptySpot() const { return CGPointMake(250, 470); }
};

}  // namespace

TEST_CASE("sort picker: fades in, grows out of the arrow's tip under the sort button, in light grey") {
    SortScene s;
    auto tap = tapScreen(s.input, centreInWindow(*s.sortButton));
    CHECK(tap.receiver.find("\"sort\"") != std::string::npos);
    auto popover = s.popover();
    REQUIRE(popover);
    REQUIRE(popover->isPopoverVisible());
    auto chrome = popover->backgroundView();
    auto overlay = popover->overlayView();
    CHECK(s.log == CallLog{"willAppear"});

    // The screen's values reached the chrome: the theme's arrow, the proxy's grey.
    CHECK(chrome->arrowHeight() == 13);
    CHECK(chrome->arrowBase() == 25);
    auto grey = UIColor::lightGrayColor()->CGColor();
    for (const auto& colour : {chrome->fillTopColor(), chrome->fillBottomColor(), chrome->outerStrokeColor(),
                               chrome->innerStrokeColor()}) {
        REQUIRE(colour);
        CHECK(CGColorEqualToColor(colour->CGColor(), grey));
    }
    // Below the button with the arrow up, pushed in by the right margin; the
    // content is 150 x 176 under the arrow.
    CGRect button = s.sortButton->convertRectToView(s.sortButton->bounds(), nullptr);
    CHECK(chrome->arrowDirection() == FLArrowDirectionUp);
    CHECK(chrome->frame() == CGRectMake(320 - 10 - 150, CGRectGetMaxY(button), 150, 176 + 13));
    CHECK(s.grid->content->view()->frame() == CGRectMake(0, 13, 150, 176));

    // Both fade from 0 to 1 over the popover's 0.25 s.
    for (UIView* view : {static_cast<UIView*>(chrome.get()), static_cast<UIView*>(overlay.get())}) {
        auto fade = view->animationRecordForKey("opacity");
        REQUIRE(fade);
        CHECK(std::get<double>(fade->fromValue) == 0);
        CHECK(std::get<double>(fade->toValue) == 1);
        CHECK(fade->duration == doctest::Approx(0.25));
    }
    // The chrome starts shrunk to a point at the arrow's tip, which sits on the
    // middle of the button's bottom edge, and grows back to its own size.
    auto grow = chrome->animationRecordForKey("transform");
    REQUIRE(grow);
    CGAffineTransform start = CATransform3DGetAffineTransform(std::get<CATransform3D>(grow->fromValue));
    CHECK(CGAffineTransformIsIdentity(CATransform3DGetAffineTransform(std::get<CATransform3D>(grow->toValue))));
    CGPoint centre = chrome->center();
    CGSize half = CGSizeMake(chrome->bounds().size.width / 2, chrome->bounds().size.height / 2);
    CGPoint middle = CGPointApplyAffineTransform(CGPointZero, start);
    CHECK(centre.x + middle.x == doctest::Approx(CGRectGetMidX(button)));
    CHECK(centre.y + middle.y == doctest::Approx(CGRectGetMaxY(button)));
    for (CGPoint corner : {CGPointMake(-half.width, -half.height), CGPointMake(half.width, half.height)}) {
        CGPoint p = CGPointApplyAffineTransform(corner, start);
        CHECK(std::fabs(centre.x + p.x - CGRectGetMidX(button)) < 1);
        CHECK(std::fabs(centre.y + p.y - CGRectGetMaxY(button)) < 1);
    }

    // Half way the chrome is part faded in; at the end it is whole.
    s.time.advance(0.125);
    double midway = std::get<double>(chrome->layer()->presentationValueForKey("opacity"));
    CHECK(midway > 0.05);
    CHECK(midway < 0.95);
    CHECK(s.log == CallLog{"willAppear"});
    s.time.advance(0.2);
    CHECK(std::get<double>(chrome->layer()->presentationValueForKey("opacity")) == 1);
    CHECK(s.log == CallLog{"willAppear", "didAppear", "didPresent"});

    // On screen: the arrow is drawn in the proxy's grey over the dimmed window.
    auto image = s.shell.window->snapshotImage(2);
    auto inArrow = uikittest::probe(image, CGRectGetMidX(button), CGRectGetMaxY(button) + 10, 2);
    CHECK(uikittest::near(inArrow, 170, 170, 170));
    auto besideArrow = uikittest::probe(image, CGRectGetMidX(button) - 30, CGRectGetMaxY(button) + 6, 2);
    CHECK(besideArrow.r < 170);

    // The keyboard changes nothing: the grid ignores its bounds.
    CGRect shown = chrome->frame();
    UIKeyboard::show(216, 0.25);
    s.time.advance(0.3);
    CHECK(chrome->frame() == shown);
    UIKeyboard::hide(0.25);
    s.time.advance(0.3);
}

TEST_CASE("sort picker: dims the rest of the window while shown and gives it back") {
    SortScene s;
    auto tabBar = s.shell.tabBar->tabBar();
    CHECK(s.sortButton->tintAdjustmentMode() == UIViewTintAdjustmentModeNormal);
    (void)tapScreen(s.input, centreInWindow(*s.sortButton));
    auto popover = s.popover();
    REQUIRE(popover);
    s.time.advance(0.3);
    for (UIView* view : {static_cast<UIView*>(s.sortButton.get()), static_cast<UIView*>(tabBar.get()),
                         static_cast<UIView*>(s.poster.get()), static_cast<UIView*>(popover->overlayView().get())}) {
        CHECK(view->tintAdjustmentMode() == UIViewTintAdjustmentModeDimmed);
    }
    CHECK(s.grid->content->firstRow->tintAdjustmentMode() == UIViewTintAdjustmentModeNormal);
    CHECK(popover->backgroundView()->tintAdjustmentMode() == UIViewTintAdjustmentModeNormal);

    (void)tapScreen(s.input, s.emptySpot());
    s.time.advance(0.3);
    REQUIRE_FALSE(popover->isPopoverVisible());
    for (UIView* view : {static_cast<UIView*>(s.sortButton.get()), static_cast<UIView*>(tabBar.get()),
                         static_cast<UIView*>(s.poster.get())}) {
        CHECK(view->tintAdjustmentMode() == UIViewTintAdjustmentModeNormal);
    }
}

TEST_CASE("sort picker taps: inside reach the row, the sort button passes through, elsewhere dismisses once") {
    SortScene s;
    (void)tapScreen(s.input, centreInWindow(*s.sortButton));
    s.time.advance(0.3);
    REQUIRE(s.popover());
    s.log.clear();

    // Inside: the content's row takes it; the popover stays.
    auto row = tapScreen(s.input, centreInWindow(*s.grid->content->firstRow));
    CHECK(row.receiver.find("\"Popular\"") != std::string::npos);
    CHECK(s.log == CallLog{"row Popular"});
    CHECK(s.popover()->isPopoverVisible());

    // The sort button passes through the overlay: the grid closes its popover
    // itself, which tells its delegate nothing, and lets go of it at once; the
    // popover still fades out and tells its content.
    s.log.clear();
    std::weak_ptr<FLPopoverController> first = s.popover();
    std::weak_ptr<FLPopoverBackgroundView> firstChrome = s.popover()->backgroundView();
    auto sort = tapScreen(s.input, centreInWindow(*s.sortButton));
    CHECK(sort.receiver.find("\"sort\"") != std::string::npos);
    CHECK(s.popover() == nullptr);
    auto fading = firstChrome.lock();
    REQUIRE(fading);
    CHECK(fading->window() == s.shell.window);
    auto fade = fading->animationRecordForKey("opacity");
    REQUIRE(fade);
    CHECK(std::get<double>(fade->toValue) == 0);
    fading.reset();
    s.time.advance(0.3);
    CHECK(first.expired());
    CHECK(firstChrome.expired());
    CHECK(s.log == CallLog{"willDisappear", "didDisappear"});

    // Shown again, a tap elsewhere lands on the overlay, not on the poster under
    // it: the delegate is asked, the popover goes, the delegate hears it once.
    (void)tapScreen(s.input, centreInWindow(*s.sortButton));
    s.time.advance(0.3);
    REQUIRE(s.popover());
    auto second = s.popover();
    s.log.clear();
    auto outside = tapScreen(s.input, centreInWindow(*s.poster));
    CHECK(outside.receiver.find("FLPopoverOverlayView") != std::string::npos);
    CHECK(s.log == CallLog{"shouldDismiss", "willDisappear"});
    // Another tap while it fades out does not dismiss it again.
    (void)tapScreen(s.input, s.emptySpot());
    s.time.advance(0.3);
    CHECK_FALSE(second->isPopoverVisible());
    CHECK(s.log == CallLog{"shouldDismiss", "willDisappear", "didDisappear", "didDismiss"});
    CHECK(s.popover() == nullptr);  // the grid let go of it when told
    for (const auto& view : s.shell.window->subviews()) {
        CHECK(dynamic_cast<FLPopoverOverlayView*>(view.get()) == nullptr);
        CHECK(dynamic_cast<FLPopoverBackgroundView*>(view.get()) == nullptr);
    }

    // With the popover gone the poster takes taps again.
    s.log.clear();
    (void)tapScreen(s.input, centreInWindow(*s.poster));
    CHECK(s.log == CallLog{"poster"});
}

TEST_CASE("sort picker with modal content: outside taps keep it, the sort button still closes it") {
    SortScene s;
    s.grid->modalContent = true;
    (void)tapScreen(s.input, centreInWindow(*s.sortButton));
    s.time.advance(0.3);
    auto popover = s.popover();
    REQUIRE(popover);
    s.log.clear();
    for (CGPoint p : {centreInWindow(*s.poster), s.emptySpot()}) {
        (void)tapScreen(s.input, p);
        s.time.advance(0.3);
        CHECK(popover->isPopoverVisible());
    }
    CHECK(s.log.empty());  // neither the delegate nor the poster heard of them
    (void)tapScreen(s.input, centreInWindow(*s.sortButton));
    s.time.advance(0.3);
    CHECK_FALSE(popover->isPopoverVisible());
    CHECK(s.log == CallLog{"willDisappear", "didDisappear"});
}
