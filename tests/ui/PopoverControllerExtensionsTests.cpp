// Protects how navigation and view controllers keep a popover's size in step:
// pushes and stack changes on a navigation controller embedded in a popover,
// children passing their sizes up, and a popover resizing on a push.
#include <doctest/doctest.h>

#include "platform/uikit/UINavigationController.h"
#include "ui/PopoverPlacementSupport.h"
#include "ui/popover/FLPopoverControllerExtensions.h"

namespace {
std::shared_ptr<UIViewController> sized(CGSize size) {
    auto c = std::make_shared<UIViewController>();
    c->setPreferredContentSize(size);
    return c;
}
using Ext = UINavigationControllerFLPopover;
}  // namespace

TEST_CASE("an embedded navigation controller takes the size of what it shows") {
    FLPopoverInstallControllerExtensions();
    FLPopoverInstallControllerExtensions();  // installing twice changes nothing
    auto root = sized({150, 176});
    auto nav = UINavigationController::initWithRootViewController(root);
    CHECK_FALSE(Ext::isEmbedInPopover(*nav));
    CHECK(nav->preferredContentSize() == CGSizeMake(0, 0));

    SUBCASE("not embedded: a push is the platform's own") {
        auto next = sized({300, 400});
        nav->pushViewController(next, false);
        CHECK(nav->topViewController() == next);
        CHECK(nav->preferredContentSize() == CGSizeMake(0, 0));
        CHECK(nav->contentSizeForViewInPopover() == CGSizeMake(0, 0));
        CHECK(next->edgesForExtendedLayout() == UIRectEdgeAll);
    }
    SUBCASE("embedded: before and after the push, extended layout off") {
        Ext::setEmbedInPopover(*nav, true);
        CHECK(Ext::isEmbedInPopover(*nav));
        std::vector<CGSize> seen;
        auto token = nav->observeValueForKey("preferredContentSize", [&](const std::string&) {
            seen.push_back(nav->preferredContentSize());
        });
        auto next = sized({300, 400});
        nav->pushViewController(next, false);
        CHECK(nav->topViewController() == next);
        CHECK(nav->preferredContentSize() == CGSizeMake(300, 400));
        CHECK(nav->contentSizeForViewInPopover() == CGSizeMake(300, 400));
        CHECK(next->edgesForExtendedLayout() == UIRectEdgeNone);
        CHECK(seen == std::vector<CGSize>{{300, 400}, {300, 400}});
        // A refused push still tells the size first (the platform's push refuses it).
        seen.clear();
        nav->pushViewController(next, false);
        CHECK(seen.size() == 2);
    }
    SUBCASE("embedded: a new stack takes the last controller's size; an empty one changes nothing") {
        Ext::setEmbedInPopover(*nav, true);
        auto a = sized({200, 100});
        auto b = sized({250, 300});
        nav->setViewControllers({a, b}, false);
        CHECK(nav->preferredContentSize() == CGSizeMake(250, 300));
        CHECK(a->edgesForExtendedLayout() == UIRectEdgeNone);
        CHECK(b->edgesForExtendedLayout() == UIRectEdgeNone);
        nav->setViewControllers({}, false);
        CHECK(nav->preferredContentSize() == CGSizeMake(250, 300));
    }
    SUBCASE("a child passes its size up, embedded or not; a lone controller keeps it") {
        root->setPreferredContentSize({120, 130});
        CHECK(nav->preferredContentSize() == CGSizeMake(120, 130));
        root->setContentSizeForViewInPopover({140, 150});
        CHECK(nav->contentSizeForViewInPopover() == CGSizeMake(140, 150));
        CHECK(nav->preferredContentSize() == CGSizeMake(120, 130));  // each setter passes its own size
        auto lone = std::make_shared<UIViewController>();
        lone->setPreferredContentSize({10, 10});
        CHECK(lone->preferredContentSize() == CGSizeMake(10, 10));
        // The navigation controller's own setter stops there.
        nav->setPreferredContentSize({1, 2});
        CHECK(root->preferredContentSize() == CGSizeMake(120, 130));
    }
    SUBCASE("before system 7 the size is the one for popovers") {
        UIDevice::currentDevice()->setSystemVersion("6.1");
        CHECK_FALSE(root->respondsToPreferredContentSize());
        Ext::setEmbedInPopover(*nav, true);
        auto next = std::make_shared<UIViewController>();
        next->setContentSizeForViewInPopover({260, 280});
        nav->pushViewController(next, false);
        CHECK(nav->contentSizeForViewInPopover() == CGSizeMake(260, 280));
        CHECK(nav->preferredContentSize() == CGSizeMake(0, 0));
        CHECK(next->edgesForExtendedLayout() == UIRectEdgeAll);  // no such property yet
        UIDevice::currentDevice()->setSystemVersion("7.0");
    }
}

TEST_CASE("a popover around an embedded navigation controller resizes when a 300 x 400 controller is pushed") {
    FLPopoverInstallControllerExtensions();
    popovertest::Scene scene;
    auto nav = UINavigationController::initWithRootViewController(sized({150, 176}));
    Ext::setEmbedInPopover(*nav, true);
    auto& placement = scene.placement;
    placement.contentViewController = nav;
    placement.rect = {155, 235, 10, 10};
    placement.permittedArrowDirections = FLArrowDirectionNone;
    placement.popoverContentSize = Ext::contentSize(*nav->topViewController());
    placement.positionPopover(false);
    auto chromeView = scene.chrome->chromeView();
    CHECK(chromeView->frame() == CGRectMake(85, 162, 150, 176));
    // As the popover does: the content's size is observed and placement follows it, animated.
    auto token = nav->observeValueForKey("preferredContentSize", [&](const std::string&) {
        placement.popoverContentSize = nav->preferredContentSize();
        placement.positionPopover(true);
    });
    chromeView->clearAnimationRecords();
    nav->pushViewController(sized({300, 400}), false);
    CHECK(chromeView->frame() == CGRectMake(10, 50, 300, 400));
    CHECK(scene.chrome->embedded == nav);
    auto record = chromeView->animationRecordForKey("bounds");
    REQUIRE(record);
    CHECK(std::get<CGRect>(record->toValue).size == CGSizeMake(300, 400));
}
