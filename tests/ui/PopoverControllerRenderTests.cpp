// A presented popover as the screen shows it: the dimmed overlay over the
// window, the chrome below its anchor button with the arrow on the button,
// and the content inside.
#include <doctest/doctest.h>

#include "platform/UIKitTestSupport.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"
#include "support/ReferenceImage.h"
#include "ui/PopoverChromeTestSupport.h"
#include "ui/popover/FLPopoverController.h"

TEST_CASE("reference: a popover presented from a button, with its content") {
    popovertest::CleanAppearance clean;
    uikittest::VirtualTime time;
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 220, 240));
    auto root = std::make_shared<UIViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    root->view()->setBackgroundColor(uikittest::rgb(0.93, 0.93, 0.9));
    auto anchor = std::make_shared<UIButton>(CGRectMake(80, 30, 60, 28));
    anchor->setBackgroundColor(uikittest::rgb(0.2, 0.45, 0.8));
    root->view()->addSubview(anchor);

    auto content = std::make_shared<UIViewController>();
    content->setPreferredContentSize(CGSizeMake(150, 90));
    content->view()->setBackgroundColor(uikittest::rgb(1, 1, 1));
    auto label = std::make_shared<UILabel>(CGRectMake(10, 10, 130, 24));
    label->setText("Sort by title");
    content->view()->addSubview(label);

    auto popover = FLPopoverController::initWithContentViewController(content);
    popover->presentPopoverFromRect(anchor->bounds(), anchor, FLArrowDirectionAny, true,
                                    FLAnimationOptionFadeWithScale);
    time.advance(0.3);
    REQUIRE(popover->isPopoverVisible());
    auto image = window->snapshotImage(2);
    REQUIRE(image);
    auto result = testsupport::compareWithReference(image, "popover_controller_presented");
    CHECK_MESSAGE(result.matched, result.message);
    popover->dismissPopoverAnimated(false);
    window->setHidden(true);
}
