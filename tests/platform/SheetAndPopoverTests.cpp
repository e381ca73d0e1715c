// Protects the tablet's presentations: the form sheet centred over a dimmed
// presenter (full screen on a phone), and the platform's own popover with its
// placement, chrome, outside taps, pass-through views and content sizes.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "UIKitTestSupport.h"
#include "platform/display/DeviceInput.h"
#include "platform/display/DeviceScene.h"
#include "platform/display/DeviceScreen.h"
#include "platform/display/DeviceTree.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIDimmingView.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIInterfaceRotation.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIPopoverController.h"
#include "platform/uikit/UIPopoverPlacement.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIViewController.h"
#include "support/ReferenceImage.h"

using namespace uikittest;

namespace {

// A device of the idiom with its screen (a phone 320 x 568, a tablet 768 x
// 1024 points); the defaults again afterwards.
struct DeviceKind {
    explicit DeviceKind(UIUserInterfaceIdiom idiom) {
        UIDevice::currentDevice()->setUserInterfaceIdiom(idiom);
        UIScreen::mainScreen()->setBounds(idiom == UIUserInterfaceIdiomPad ? CGRectMake(0, 0, 768, 1024)
                                                                          : CGRectMake(0, 0, 320, 568));
    }
    ~DeviceKind() {
        UIDevice::currentDevice()->resetToDefaults();
        UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
        UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, 320, 568));
    }
};

struct Appearances : UIViewController {
    std::vector<std::string> seen;
    void viewWillAppear(bool) override { seen.push_back("willAppear"); }
    void viewWillDisappear(bool) override { seen.push_back("willDisappear"); }
};

// A shell screen in a navigation controller, filling a key window of the
// screen's size, with a button in its top left corner.
struct Shell {
    std::shared_ptr<UIWindow> window = visibleWindow(UIScreen::mainScreen()->bounds().size);
    std::shared_ptr<Appearances> screen = std::make_shared<Appearances>();
    std::shared_ptr<UINavigationController> nav = UINavigationController::initWithRootViewController(screen);
    std::shared_ptr<UIButton> button = std::make_shared<UIButton>(CGRectMake(0, 0, 100, 100));
    int buttonTaps = 0;
    Shell() {
        nav->setNavigationBarHidden(true);
        screen->view()->setBackgroundColor(rgb(1, 1, 1));
        button->setTitle("Shell button", UIControlStateNormal);
        button->setAccessibilityIdentifier("shellButton");
        button->addTarget(nullptr, [this](UIControl&, UIEvent*) { ++buttonTaps; }, UIControlEventTouchUpInside);
        screen->view()->addSubview(button);
        window->setRootViewController(nav);
        window->makeKeyAndVisible();
        screen->seen.clear();
    }
};

std::size_t indexIn(const UIView& parent, const UIView* child) {
    const auto& subviews = parent.subviews();
    for (std::size_t i = 0; i < subviews.size(); ++i)
        if (subviews[i].get() == child) return i;
    return subviews.size();
}

}  // namespace

TEST_CASE("a sheet on a tablet is centred over a dimming view that swallows taps, on a phone it is full screen") {
    struct Case {
        const char* what;
        UIUserInterfaceIdiom idiom;
        UIModalPresentationStyle style;
        bool sheet;
    };
    const Case cases[] = {
        {"form sheet on a tablet", UIUserInterfaceIdiomPad, UIModalPresentationFormSheet, true},
        {"page sheet on a tablet", UIUserInterfaceIdiomPad, UIModalPresentationPageSheet, true},
        {"full screen on a tablet", UIUserInterfaceIdiomPad, UIModalPresentationFullScreen, false},
        {"form sheet on a phone", UIUserInterfaceIdiomPhone, UIModalPresentationFormSheet, false},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.what));
        DeviceKind device(c.idiom);
        Shell shell;
        const CGRect screen = UIScreen::mainScreen()->bounds();
        auto sheet = std::make_shared<Appearances>();
        sheet->setModalPresentationStyle(c.style);
        sheet->view()->setBackgroundColor(rgb(1, 0, 0));
        CHECK(DeviceTree::locate({{}, "shellButton", {}}).status == DeviceTargetStatus::Found);
        shell.nav->presentViewController(sheet, false);

        auto dimming = sheet->presentationDimmingView();
        CHECK(sheet->isPresentedAsSheet() == c.sheet);
        CHECK(sheet->view()->superview() == shell.window);
        if (!c.sheet) {
            CHECK(dimming == nullptr);
            CHECK(sheet->view()->frame() == screen);
            CHECK(shell.screen->seen == std::vector<std::string>{"willDisappear"});
            continue;
        }
        // The sheet: 540 x 620 centred, over a black dimming view at 0.4 that
        // covers the window, the shell still on view (and told nothing) below.
        CHECK(sheet->view()->frame() == CGRectMake(114, 202, 540, 620));
        REQUIRE(dimming);
        CHECK(dimming->frame() == screen);
        CHECK(dimming->alpha() == doctest::Approx(0.4));
        CHECK(indexIn(*shell.window, shell.nav->view().get()) < indexIn(*shell.window, dimming.get()));
        CHECK(indexIn(*shell.window, dimming.get()) < indexIn(*shell.window, sheet->view().get()));
        CHECK(shell.screen->seen.empty());
        CHECK(shell.screen->isViewVisible());
        auto image = shell.window->snapshotImage(2);
        CHECK(near(probe(image, 50, 50, 2), 153, 153, 153));  // white under black at 0.4
        CHECK(near(probe(image, 400, 500, 2), 255, 0, 0));     // the sheet itself
        // The tree shows the dimmed shell behind the sheet; the shell's button is covered.
        auto target = DeviceTree::locate({{}, "shellButton", {}});
        CHECK(target.status == DeviceTargetStatus::Covered);
        CHECK(DeviceTree::describe().dump().find("UIDimmingView") != std::string::npos);
        // Taps on the dimming view do nothing, and reach nothing behind it.
        CHECK(shell.window->tap(CGPointMake(50, 50)));
        CHECK(shell.buttonTaps == 0);
        CHECK(sheet->presentingViewController() == shell.nav);
        // The sheet added no recogniser to the window: the detail page's "remove
        // the window's last recogniser" finds none and removes nothing else.
        CHECK(shell.window->gestureRecognizers().empty());
        shell.window->removeGestureRecognizer(shell.window->lastGestureRecognizer());
        CHECK(shell.window->gestureRecognizers().empty());
        auto own = std::make_shared<UITapGestureRecognizer>();
        auto later = std::make_shared<UITapGestureRecognizer>();
        shell.window->addGestureRecognizer(own);
        shell.window->addGestureRecognizer(later);
        shell.window->removeGestureRecognizer(shell.window->lastGestureRecognizer());
        CHECK(shell.window->gestureRecognizers() == std::vector<std::shared_ptr<UIGestureRecognizer>>{own});
        shell.window->removeGestureRecognizer(own);

        // Turned to landscape the sheet stays centred over a dimming view that
        // covers the turned window.
        REQUIRE(UIInterfaceRotation::rotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft, false));
        CHECK(shell.window->bounds() == CGRectMake(0, 0, 1024, 768));
        CHECK(dimming->frame() == CGRectMake(0, 0, 1024, 768));
        CHECK(sheet->view()->frame() == CGRectMake(242, 74, 540, 620));
        CHECK(shell.nav->view()->frame() == CGRectMake(0, 0, 1024, 768));

        // Dismissed, the dimming view goes with it and the shell takes taps again.
        sheet->dismissViewControllerAnimated(false);
        CHECK(dimming->superview() == nullptr);
        CHECK(sheet->view()->superview() == nullptr);
        CHECK_FALSE(sheet->isPresentedAsSheet());
        CHECK(shell.screen->seen.empty());
        CHECK(shell.window->tap(CGPointMake(50, 50)));
        CHECK(shell.buttonTaps == 1);
    }
}

TEST_CASE("a popover goes beside its anchor on the first permitted side with room, inside its area") {
    using P = UIPopoverPlacement;
    const CGRect area = CGRectMake(10, 30, 748, 984);  // a tablet window less margins and status bar
    const CGSize content{320, 480};
    struct Case {
        const char* what;
        CGRect anchor;
        UIPopoverArrowDirection permitted;
        UIPopoverArrowDirection direction;
        CGRect frame;
        CGRect contentFrame;
        CGFloat arrowOffset;
    };
    const Case cases[] = {
        {"below, pushed in from the left edge", CGRectMake(100, 100, 40, 30), UIPopoverArrowDirectionAny,
         UIPopoverArrowDirectionUp, CGRectMake(10, 130, 336, 509), CGRectMake(8, 21, 320, 480), 110},
        {"above when there is no room below", CGRectMake(100, 900, 40, 30), UIPopoverArrowDirectionAny,
         UIPopoverArrowDirectionDown, CGRectMake(10, 391, 336, 509), CGRectMake(8, 8, 320, 480), 110},
        {"to the right, centred on the anchor", CGRectMake(10, 500, 40, 30),
         UIPopoverArrowDirectionLeft | UIPopoverArrowDirectionRight, UIPopoverArrowDirectionLeft,
         CGRectMake(50, 267, 349, 496), CGRectMake(21, 8, 320, 480), 248},
        {"to the left", CGRectMake(700, 500, 40, 30), UIPopoverArrowDirectionRight, UIPopoverArrowDirectionRight,
         CGRectMake(351, 267, 349, 496), CGRectMake(8, 8, 320, 480), 248},
        {"shrunk when the only side permitted is short", CGRectMake(100, 900, 40, 30), UIPopoverArrowDirectionUp,
         UIPopoverArrowDirectionUp, CGRectMake(10, 930, 336, 84), CGRectMake(8, 21, 320, 55), 110},
        {"the arrow kept clear of the corner", CGRectMake(0, 100, 10, 10), UIPopoverArrowDirectionUp,
         UIPopoverArrowDirectionUp, CGRectMake(10, 110, 336, 509), CGRectMake(8, 21, 320, 480), 21},
        {"no direction counts as any", CGRectMake(100, 100, 40, 30), 0, UIPopoverArrowDirectionUp,
         CGRectMake(10, 130, 336, 509), CGRectMake(8, 21, 320, 480), 110},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.what));
        auto p = P::place(c.anchor, content, c.permitted, area);
        CHECK(p.direction == c.direction);
        CHECK(p.frame == c.frame);
        CHECK(p.contentFrame == c.contentFrame);
        CHECK(p.arrowOffset == c.arrowOffset);
        CHECK(CGRectContainsRect(area, p.frame));
    }
}

namespace {

struct PopoverDelegate : UIPopoverControllerDelegate {
    bool answer = true;
    int asked = 0;
    int dismissed = 0;
    bool popoverControllerShouldDismissPopover(UIPopoverController&) override {
        ++asked;
        return answer;
    }
    void popoverControllerDidDismissPopover(UIPopoverController&) override { ++dismissed; }
};

// Content that sizes itself as its view loads (as the genre picker does on a tablet).
struct SizedContent : Appearances {
    void viewDidLoad() override {
        setPreferredContentSize(CGSizeMake(200, 300));
        view()->setBackgroundColor(rgb(0, 1, 0));
    }
};

CGRect inWindow(const std::shared_ptr<UIView>& view) { return view->convertRectToView(view->bounds(), nullptr); }

}  // namespace

TEST_CASE("the platform's popover shows its content beside the anchor, follows its size, and closes on outside taps") {
    DeviceKind device(UIUserInterfaceIdiomPad);
    Shell shell;
    shell.button->setFrame(CGRectMake(20, 100, 80, 30));
    auto other = std::make_shared<UIButton>(CGRectMake(600, 900, 100, 40));
    int otherTaps = 0;
    other->addTarget(nullptr, [&](UIControl&, UIEvent*) { ++otherTaps; }, UIControlEventTouchUpInside);
    shell.screen->view()->addSubview(other);
    auto content = std::make_shared<SizedContent>();
    auto delegate = std::make_shared<PopoverDelegate>();
    auto popover = UIPopoverController::initWithContentViewController(content);
    CHECK(popover->popoverContentSize() == CGSizeMake(320, 480));  // nothing preferred yet
    popover->setDelegate(delegate);
    popover->setPassthroughViews({shell.button});
    std::weak_ptr<UIPopoverController> weakPopover = popover;

    popover->presentPopoverFromRect(shell.button->frame(), shell.button->superview(), UIPopoverArrowDirectionAny, false);
    REQUIRE(popover->isPopoverVisible());
    CHECK(popover->popoverContentSize() == CGSizeMake(200, 300));  // set as the content's view loaded
    CHECK(popover->popoverArrowDirection() == UIPopoverArrowDirectionUp);
    auto chrome = popover->popoverView();
    REQUIRE(chrome);
    CHECK(chrome->frame() == CGRectMake(10, 130, 216, 329));
    CHECK(inWindow(content->view()) == CGRectMake(18, 151, 200, 300));
    CHECK(content->isViewVisible());
    CHECK(shell.window->subviews().back() == chrome);  // above everything in the window
    CHECK(UIPopoverController::visiblePopovers().back() == popover);
    auto image = shell.window->snapshotImage(2);
    CHECK(near(probe(image, 14, 147, 2), 26, 26, 26, 255, 8));  // the dark frame beside the content
    CHECK(near(probe(image, 100, 300, 2), 0, 255, 0));           // the content
    CHECK(near(probe(image, 400, 700, 2), 255, 255, 255));       // the shell, not dimmed

    // The popover holds itself while visible.
    popover.reset();
    REQUIRE_FALSE(weakPopover.expired());
    popover = weakPopover.lock();

    // A pass-through view takes its taps; the popover stays and nobody is asked.
    CHECK(shell.window->tap(CGPointMake(60, 115)));
    CHECK(shell.buttonTaps == 1);
    CHECK(popover->isPopoverVisible());
    CHECK(delegate->asked == 0);

    // The content's preferred size resizes it; turning the window places it again inside.
    content->setPreferredContentSize(CGSizeMake(250, 200));
    CHECK(chrome->frame().size == CGSizeMake(266, 229));
    REQUIRE(UIInterfaceRotation::rotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft, false));
    CHECK(popover->dimmingView()->frame() == CGRectMake(0, 0, 1024, 768));
    CHECK(CGRectContainsRect(CGRectMake(0, 0, 1024, 768), chrome->frame()));
    CHECK(chrome->frame().origin.y == 130);

    // Outside taps ask the delegate, which may keep it; a modal content keeps it without asking.
    delegate->answer = false;
    CHECK(shell.window->tap(CGPointMake(700, 600)));
    CHECK(delegate->asked == 1);
    CHECK(otherTaps == 0);
    CHECK(popover->isPopoverVisible());
    content->setModalInPopover(true);
    CHECK(shell.window->tap(CGPointMake(700, 600)));
    CHECK(delegate->asked == 1);
    CHECK(popover->isPopoverVisible());
    content->setModalInPopover(false);
    delegate->answer = true;
    CHECK(shell.window->tap(CGPointMake(700, 600)));
    CHECK(delegate->asked == 2);
    CHECK(delegate->dismissed == 1);
    CHECK_FALSE(popover->isPopoverVisible());
    CHECK(chrome->superview() == nullptr);
    CHECK(content->view()->superview() == nullptr);
    CHECK(popover->popoverArrowDirection() == UIPopoverArrowDirectionUnknown);
    REQUIRE(testsupport::runMainUntil([&] { return !content->isViewVisible(); }, 5));
    CHECK(UIPopoverController::visiblePopovers().empty());

    // From a bar button item's view; a programmatic dismissal tells the delegate nothing.
    auto item = UIBarButtonItem::initWithTitle("Genres");
    popover->presentPopoverFromBarButtonItem(item, UIPopoverArrowDirectionAny, false);
    CHECK_FALSE(popover->isPopoverVisible());  // the item is on no bar
    item->setView(other);
    popover->presentPopoverFromBarButtonItem(item, UIPopoverArrowDirectionAny, false);
    REQUIRE(popover->isPopoverVisible());
    CHECK(popover->popoverArrowDirection() == UIPopoverArrowDirectionDown);
    popover->dismissPopoverAnimated(false);
    CHECK(delegate->dismissed == 1);
    CHECK(delegate->asked == 2);
    // A view in no window is refused.
    popover->presentPopoverFromRect(CGRectMake(0, 0, 10, 10), std::make_shared<UIView>(), UIPopoverArrowDirectionAny,
                                    false);
    CHECK_FALSE(popover->isPopoverVisible());
    popover.reset();
    CHECK(weakPopover.expired());
}

TEST_CASE("the platform's popover matches its reference image") {
    auto window = visibleWindow({360, 300}, rgb(0.85, 0.88, 0.92));
    auto root = std::make_shared<UIViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    root->view()->setBackgroundColor(rgb(0.85, 0.88, 0.92));
    auto anchor = std::make_shared<UIButton>(CGRectMake(150, 40, 60, 30));
    anchor->setBackgroundColor(rgb(0.3, 0.5, 0.8));
    root->view()->addSubview(anchor);
    auto content = std::make_shared<UIViewController>();
    content->setPreferredContentSize(CGSizeMake(200, 150));
    content->view()->setBackgroundColor(rgb(1, 1, 1));
    auto label = std::make_shared<UILabel>(CGRectMake(10, 10, 180, 20));
    label->setText("Popover content");
    content->view()->addSubview(label);
    auto popover = UIPopoverController::initWithContentViewController(content);
    popover->presentPopoverFromRect(anchor->bounds(), anchor, UIPopoverArrowDirectionAny, false);
    REQUIRE(popover->isPopoverVisible());
    auto image = window->snapshotImage(2);
    auto result = testsupport::compareWithReference(image, "platform-popover@2x");
    CHECK_MESSAGE(result.matched, result.message);
    popover->dismissPopoverAnimated(false);
}

TEST_CASE("the device screen's rotate turns a tablet's interface, and its frames turn with it") {
    DeviceKind device(UIUserInterfaceIdiomPad);
    Shell shell;
    DeviceScreen screen(DeviceScreen::Options{0.05, false});
    DeviceInput input;
    bool done = false;
    input.rotate(UIDeviceOrientationLandscapeRight, [&](const DeviceInputResult&) { done = true; });
    REQUIRE(testsupport::runMainUntil([&] { return done; }, 5));
    CHECK(UIApplication::sharedApplication()->statusBarOrientation() == UIInterfaceOrientationLandscapeLeft);
    CHECK(shell.window->bounds() == CGRectMake(0, 0, 1024, 768));
    CHECK(shell.screen->view()->frame() == CGRectMake(0, 0, 1024, 768));
    CHECK(DeviceScene::screenSize() == CGSizeMake(1024, 768));
    const auto number = screen.renderNow();
    auto frame = screen.frames()->waitNewer(number - 1, 10);
    CHECK(frame.number == number);
    CHECK(frame.pixelWidth == 2048);
    CHECK(frame.pixelHeight == 1536);
    // The shell's button keeps its place in the turned window and takes taps there.
    CHECK(DeviceTree::locate({{}, "shellButton", {}}).status == DeviceTargetStatus::Found);
}
