// Protects the bars the screens show: the navigation bar (background per
// metrics, bar tint, title, back item that pops) and the tab bar (bar tint,
// tinted selected item, grey others, red badges, taps that switch tabs), drawn
// in the window's snapshot, and the status bar's animated style and hiding.
#include <doctest/doctest.h>

#include <memory>
#include <string>

#include "UIKitTestSupport.h"
#include "platform/display/DeviceTree.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UITabBarButton.h"
#include "platform/uikit/UITabBarController.h"
#include "platform/uikit/UITabBarItem.h"
#include "support/ReferenceImage.h"

using namespace uikittest;

namespace {

// A plain image of one colour (a bar background or a tab icon's shape).
UIImagePtr solidImage(CGSize size, CGColorRef color, bool disc = false) {
    UIGraphicsBeginImageContextWithOptions(size, false, 2);
    auto c = UIGraphicsGetCurrentContext();
    CGContextSetFillColorWithColor(c, color);
    if (disc) CGContextFillEllipseInRect(c, CGRectMake(0, 0, size.width, size.height));
    else CGContextFillRect(c, CGRectMake(0, 0, size.width, size.height));
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
}

std::shared_ptr<UIViewController> screenTitled(const std::string& title) {
    auto vc = std::make_shared<UIViewController>();
    vc->setTitle(title);
    vc->view()->setBackgroundColor(rgb(1, 1, 1));
    return vc;
}

// Whether some pixel of the rectangle (points) is darker than the level: drawn text.
bool hasInk(const CGImageRef& image, CGRect rect, int level) {
    for (double y = rect.origin.y; y < CGRectGetMaxY(rect); y += 0.5)
        for (double x = rect.origin.x; x < CGRectGetMaxX(rect); x += 0.5)
            if (probe(image, x, y, 2).g < level) return true;
    return false;
}

struct OrientationGuard {
    ~OrientationGuard() { UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait); }
};

}  // namespace

TEST_CASE("the navigation bar draws its background per metrics, the top title and a back item that pops") {
    OrientationGuard guard;
    auto window = visibleWindow({320, 200});
    auto movies = screenTitled("Movies");
    auto nav = UINavigationController::initWithRootViewController(movies);
    window->setRootViewController(nav);
    window->makeKeyAndVisible();
    auto bar = nav->navigationBar();
    CHECK(bar->topItemTitle() == "Movies");
    CHECK_FALSE(bar->backItemTitle());
    CHECK(bar->backButton()->isHidden());

    auto detail = screenTitled("Detail");
    nav->pushViewController(detail, false);
    CHECK(bar->topItemTitle() == "Detail");
    CHECK(bar->backItemTitle() == std::optional<std::string>("Movies"));
    CHECK(bar->titleLabel()->text() == "Detail");
    CHECK(bar->backButton()->currentTitle() == "Movies");
    detail->setTitle("Night Train");
    CHECK(bar->titleLabel()->text() == "Night Train");

    // Background: the platform's near-white, the bar tint, then an image per metrics.
    struct Case {
        const char* what;
        std::function<void()> set;
        int r, g, b;
    };
    const Case cases[] = {
        {"near-white by default", [] {}, 247, 247, 247},
        {"the bar tint", [&] { bar->setBarTintColor(rgb(35 / 255.0, 35 / 255.0, 35 / 255.0)); }, 35, 35, 35},
        {"the default metrics' image over the tint",
         [&] { bar->setBackgroundImage(solidImage({4, 4}, rgb(0, 0, 1)), UIBarMetricsDefault); }, 0, 0, 255},
        {"the default image in landscape without a compact one",
         [] { UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft); }, 0,
         0, 255},
        {"the compact image on a phone in landscape",
         [&] {
             bar->setBackgroundImage(solidImage({4, 4}, rgb(0, 1, 0)), UIBarMetricsCompact);
             bar->setNeedsDisplay();
         },
         0, 255, 0},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.what));
        c.set();
        bar->setNeedsDisplay();
        auto image = window->snapshotImage(2);
        CHECK(near(probe(image, 300, 40, 2), c.r, c.g, c.b));
        CHECK(near(probe(image, 300, 100, 2), 255, 255, 255));  // the content below
    }
    UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
    bar->setBackgroundImage(nullptr, UIBarMetricsDefault);
    bar->setBackgroundImage(nullptr, UIBarMetricsCompact);
    bar->setBarTintColor(nullptr);
    bar->setTintColor(rgb(1, 0, 0));
    CHECK(bar->backButton()->currentTitleColor() == bar->tintColor());
    auto image = window->snapshotImage(2);
    auto result = testsupport::compareWithReference(image, "navigation-bar@2x");
    CHECK_MESSAGE(result.matched, result.message);
    CHECK(hasInk(image, bar->titleLabel()->frame(), 100));  // the title is drawn

    // The back item pops (animated) and the bar follows; a root without a title backs as "Back".
    CHECK(window->tap(CGPointMake(20, 22)));
    REQUIRE(testsupport::runMainUntil([&] { return nav->topViewController() == movies && !detail->isViewVisible(); }, 5));
    CHECK(bar->topItemTitle() == "Movies");
    CHECK(bar->backButton()->isHidden());
    movies->setTitle("");
    nav->pushViewController(screenTitled("Search"), false);
    CHECK(bar->backButton()->currentTitle() == "Back");

    // Hidden, the bar leaves the content showing.
    nav->setNavigationBarHidden(true);
    CHECK(near(probe(window->snapshotImage(2), 300, 40, 2), 255, 255, 255));
}

TEST_CASE("the tab bar draws its tint, the selected item tinted, the others grey, red badges, and taps switch tabs") {
    auto window = visibleWindow({320, 120});
    auto tabs = std::make_shared<UITabBarController>();
    std::vector<std::shared_ptr<UIViewController>> screens;
    const char* titles[] = {"Movies", "Downloads", "About"};
    for (int i = 0; i < 3; ++i) {
        auto vc = screenTitled(titles[i]);
        vc->tabBarItem()->setImage(solidImage({24, 24}, rgb(0, 0, 0), true));
        screens.push_back(vc);
    }
    tabs->setViewControllers(screens);
    window->setRootViewController(tabs);
    window->makeKeyAndVisible();
    auto bar = tabs->tabBar();
    bar->setBarTintColor(rgb(35 / 255.0, 35 / 255.0, 35 / 255.0));
    bar->setTintColor(rgb(1, 0.6, 0));
    screens[1]->tabBarItem()->setBadgeValue("1");

    auto image = window->snapshotImage(2);
    auto result = testsupport::compareWithReference(image, "tab-bar@2x");
    CHECK_MESSAGE(result.matched, result.message);
    const CGFloat top = 120 - UITabBar::kHeight;
    CHECK(near(probe(image, 5, top + 45, 2), 35, 35, 35));           // the bar tint
    CHECK(near(probe(image, 53, top + 19, 2), 255, 153, 0, 255, 8));  // the selected icon, tinted
    CHECK(near(probe(image, 160, top + 19, 2), 145, 145, 145, 255, 8));  // an unselected icon, grey
    auto badge = bar->buttonForItem(screens[1]->tabBarItem());
    REQUIRE(badge);
    CGRect badgeFrame = badge->convertRectToView(badge->badgeFrame(), nullptr);
    REQUIRE_FALSE(CGRectIsEmpty(badgeFrame));
    CHECK(near(probe(image, badgeFrame.origin.x + 3, CGRectGetMidY(badgeFrame), 2), 255, 59, 48, 255, 8));
    bool whiteText = false;
    for (double x = badgeFrame.origin.x; x < CGRectGetMaxX(badgeFrame); x += 0.5)
        if (probe(image, x, CGRectGetMidY(badgeFrame), 2).g > 200) whiteText = true;
    CHECK(whiteText);

    // A tap on an item (found by its title, as the device screen finds it) shows that tab.
    auto about = DeviceTree::locate({"About", {}, {}});
    REQUIRE(about.status == DeviceTargetStatus::Found);
    CHECK(window->tap(about.point));
    CHECK(tabs->selectedIndex() == 2);
    CHECK(screens[2]->isViewVisible());
    CHECK(bar->selectedItem() == screens[2]->tabBarItem());
    CHECK(bar->buttonForItem(screens[2]->tabBarItem())->isSelected());
    CHECK_FALSE(bar->buttonForItem(screens[0]->tabBarItem())->isSelected());
    image = window->snapshotImage(2);
    CHECK(near(probe(image, 267, top + 19, 2), 255, 153, 0, 255, 8));
    CHECK(near(probe(image, 53, top + 19, 2), 145, 145, 145, 255, 8));

    // The badge follows its item: gone, nothing red is left; the title follows too.
    screens[1]->tabBarItem()->setBadgeValue(std::nullopt);
    CHECK(CGRectIsEmpty(badge->badgeFrame()));
    image = window->snapshotImage(2);
    CHECK(near(probe(image, badgeFrame.origin.x + 3, CGRectGetMidY(badgeFrame), 2), 35, 35, 35));
    screens[1]->setTitle("Saved");
    CHECK(badge->accessibilityLabel() == "Saved");
}

TEST_CASE("the status bar's style and visibility remember how they were changed") {
    auto app = UIApplication::sharedApplication();
    struct Case {
        const char* what;
        std::function<void()> change;
        bool hidden;
        UIStatusBarAnimation animation;
        bool animated;
    };
    const Case cases[] = {
        {"hidden with the slide", [&] { app->setStatusBarHidden(true, UIStatusBarAnimationSlide); }, true,
         UIStatusBarAnimationSlide, true},
        {"shown with the fade", [&] { app->setStatusBarHidden(false, UIStatusBarAnimationFade); }, false,
         UIStatusBarAnimationFade, true},
        {"hidden, animated", [&] { app->setStatusBarHidden(true, true); }, true, UIStatusBarAnimationFade, true},
        {"shown at once", [&] { app->setStatusBarHidden(false); }, false, UIStatusBarAnimationNone, false},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.what));
        c.change();
        CHECK(app->isStatusBarHidden() == c.hidden);
        CHECK(app->lastStatusBarAnimation() == c.animation);
        CHECK(app->lastStatusBarChangeAnimated() == c.animated);
    }
    app->setStatusBarStyle(UIStatusBarStyleLightContent, true);
    CHECK(app->statusBarStyle() == UIStatusBarStyleLightContent);
    CHECK(app->lastStatusBarChangeAnimated());
    app->setStatusBarStyle(UIStatusBarStyleDefault);
    CHECK_FALSE(app->lastStatusBarChangeAnimated());
}
