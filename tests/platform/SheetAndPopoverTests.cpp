// Protects the tablet's presentations: the form sheet centred over a dimmed
// presenter (full screen on a phone), and the platform's own popover with its
// placement, chrome, outside taps, pass-through views and content sizes.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "UIKitTestSupport.h"
#include "platform/display/DeviceTree.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIDimmingView.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIInterfaceRotation.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIViewController.h"

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

TEST_CASE("a sheet on a tablet is centred over a dimming view that swallows taps; on a phone it is full screen") {
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
        auto own = std::make_shared<UITapGestureRecognizer>();
        shell.window->addGestureRecognizer(own);
        shell.window->removeGestureRecognizer(shell.window->gestureRecognizers().back());
        CHECK(shell.window->gestureRecognizers().empty());

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
