// The stream dialog as the detail page shows it (276 x 220, a centred dialog,
// fade and scale) on a phone window: a text input in it that takes the first
// responder brings the platform's keyboard up, and the dialog moves into the
// room above it and back when it goes; a navigation controller shown in a
// popover keeps its bar above the content and resizes the popover when a
// 300 x 400 controller is pushed, through the start-up size hooks.
#include <doctest/doctest.h>

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/UIKitTestSupport.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIFirstResponder.h"
#include "platform/uikit/UIGeometry.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITextView.h"
#include "ui/PopoverScreenSupport.h"
#include "ui/popover/FLPopoverController.h"
#include "ui/popover/FLPopoverControllerExtensions.h"

using popovertest::CallLog;
using popovertest::centreInWindow;
using popovertest::tapScreen;

namespace {

// The detail page on a phone.
struct PhoneScene {
    uikittest::VirtualTime time;
    popovertest::FreshPopoverDefaults defaults;
    popovertest::PhoneWindow phone;  // its root stands for the detail page
    DeviceInput input;
    CallLog log;

    ~PhoneScene() {
        if (auto responder = UIFirstResponder::current()) (void)responder->resignFirstResponder();
        time.advance(0.3);
    }

    // As the detail page shows its stream dialog.
    std::shared_ptr<FLPopoverController> presentDialog(const std::shared_ptr<UIViewController>& content,
                                                       CGSize size) {
        auto popover = FLPopoverController::initWithContentViewController(content);
        popover->setPopoverLayoutMargins(UIEdgeInsets{10, 10, 10, 10});
        popover->setWantsDefaultContentAppearance(false);
        content->view()->setFrame(CGRect{CGPointZero, size});
        popover->setPopoverContentSize(size);
        popover->presentPopoverAsDialogAnimated(true, FLAnimationOptionFadeWithScale);
        time.advance(0.3);
        return popover;
    }
};

// The stream picker with a line to type a name into.
class StreamDialogContent : public popovertest::LoggingContent {
public:
    explicit StreamDialogContent(CallLog& log) : LoggingContent(log) {}
    std::shared_ptr<UITextView> nameField = std::make_shared<UITextView>(CGRectMake(10, 170, 256, 36));

    void viewDidLoad() override {
        nameField->setAccessibilityIdentifier("name");
        view()->addSubview(nameField);
    }
};

// The room the dialog is centred in: below the status bar and the top margin,
// above the bottom margin and the keyboard's top.
CGFloat centredTop(CGFloat keyboardTop, CGFloat height) {
    CGFloat minY = 20 + 10, maxY = keyboardTop - 10;
    return minY + (maxY - minY) / 2 - height / 2;
}

}  // namespace

TEST_CASE("stream dialog: a text input taking the keyboard moves it into the room above, and back") {
    PhoneScene s;
    auto content = std::make_shared<StreamDialogContent>(s.log);
    auto popover = s.presentDialog(content, CGSizeMake(276, 220));
    REQUIRE(popover->isPopoverVisible());
    auto chrome = popover->backgroundView();
    CHECK(chrome->arrowDirection() == FLArrowDirectionNone);
    const CGRect centred = CGRectMake(22, centredTop(568, 220), 276, 220);
    REQUIRE(chrome->frame() == centred);
    CHECK(s.log == CallLog{"willAppear", "didAppear"});

    // The keyboard announces itself before it is up; the dialog moves at once, in 0.1 s.
    std::vector<CGRect> announced;
    auto center = NSNotificationCenter::defaultCenter();
    auto registration = center->addObserverForName(UIKeyboardWillShowNotification, nullptr, nullptr,
                                                   [&](const NSNotification& n) {
                                                       announced.push_back(
                                                           CGRectValue(n.userInfo()[UIKeyboardFrameEndUserInfoKey]));
                                                   });
    chrome->clearAnimationRecords();
    auto tap = tapScreen(s.input, centreInWindow(*content->nameField));
    CHECK(tap.receiver.find("\"name\"") != std::string::npos);
    REQUIRE(content->nameField->isFirstResponder());
    REQUIRE(announced.size() == 1);
    const CGFloat keyboardTop = CGRectGetMinY(announced[0]);
    CHECK(keyboardTop == 568 - 216);
    const CGRect raised = CGRectMake(22, centredTop(keyboardTop, 220), 276, 220);
    CHECK(chrome->frame() == raised);
    CHECK(CGRectGetMaxY(raised) <= keyboardTop);
    CHECK(CGRectGetMaxY(centred) > keyboardTop);  // it was covered before
    auto move = chrome->animationRecordForKey("position");
    REQUIRE(move);
    CHECK(move->duration == doctest::Approx(0.1));
    CHECK(std::get<CGPoint>(move->fromValue).y == doctest::Approx(CGRectGetMidY(centred)));
    CHECK(content->view()->frame().size == CGSizeMake(276, 220));  // moved, not squeezed

    // Typing reaches the field inside the popover and moves nothing.
    std::optional<DeviceInputResult> typed;
    s.input.type("HD", [&](const DeviceInputResult& r) { typed = r; });
    REQUIRE(testsupport::runMainUntil([&] { return typed.has_value(); }, 5));
    CHECK(typed->delivered);
    CHECK(content->nameField->text() == "HD");
    s.time.advance(0.3);
    CHECK(chrome->frame() == raised);

    // The field lets go: the keyboard goes down and the dialog comes back.
    REQUIRE(content->nameField->resignFirstResponder());
    CHECK_FALSE(UIKeyboard::isVisible());
    s.time.advance(0.3);
    CHECK(chrome->frame() == centred);
    center->removeObserver(registration.get());

    // Dismissed, it no longer follows the keyboard.
    popover->dismissPopoverAnimated(true, {});
    s.time.advance(0.3);
    CHECK_FALSE(popover->isPopoverVisible());
    UIKeyboard::show(216, 0.25);
    s.time.advance(0.3);
    UIKeyboard::hide(0.25);
    s.time.advance(0.3);
    CHECK(s.log == CallLog{"willAppear", "didAppear", "willDisappear", "didDisappear"});
}

TEST_CASE("a navigation controller in a popover: its bar counts, and a pushed 300 x 400 controller resizes it") {
    FLPopoverInstallControllerExtensions();  // start-up installs the size hooks once
    FLPopoverInstallControllerExtensions();
    PhoneScene s;
    auto list = std::make_shared<popovertest::LoggingContent>(s.log);
    list->setPreferredContentSize(CGSizeMake(276, 220));
    auto navigation = UINavigationController::initWithRootViewController(list);
    auto popover = FLPopoverController::initWithContentViewController(navigation);
    popover->presentPopoverAsDialogAnimated(true, FLAnimationOptionFadeWithScale);
    s.time.advance(0.3);
    REQUIRE(popover->isPopoverVisible());
    auto chrome = popover->backgroundView();
    CHECK(UINavigationControllerFLPopover::isEmbedInPopover(*navigation));
    CHECK(chrome->frame() == CGRectMake(22, centredTop(568, 220), 276, 220));
    // The bar is part of the content: the chrome knows its height, the inner view draws below it.
    CHECK(chrome->navigationBarHeight() == UINavigationBar::kHeight);
    REQUIRE(chrome->innerView());
    CHECK(chrome->innerView()->navigationBarHeight == UINavigationBar::kHeight);
    CHECK(navigation->view()->superview() == chrome);

    int sizeChanges = 0;
    auto token = navigation->observeValueForKey("preferredContentSize", [&](const std::string&) { ++sizeChanges; });
    auto details = std::make_shared<UIViewController>();
    details->setPreferredContentSize(CGSizeMake(300, 400));
    chrome->clearAnimationRecords();
    navigation->pushViewController(details, false);
    CHECK(sizeChanges == 2);  // before and after the push, the hooks installed once
    CHECK(navigation->preferredContentSize() == CGSizeMake(300, 400));
    CHECK(details->edgesForExtendedLayout() == UIRectEdgeNone);
    CHECK(popover->popoverContentSize() == CGSizeMake(300, 400));
    const CGRect grown = CGRectMake(10, centredTop(568, 400), 300, 400);
    CHECK(chrome->frame() == grown);
    auto resize = chrome->animationRecordForKey("bounds");
    REQUIRE(resize);
    CHECK(std::get<CGRect>(resize->fromValue).size == CGSizeMake(276, 220));
    CHECK(std::get<CGRect>(resize->toValue).size == CGSizeMake(300, 400));
    CHECK(resize->duration == doctest::Approx(0.1));
    s.time.advance(0.2);
    CHECK(navigation->view()->frame() == CGRectMake(0, 0, 300, 400));
    CHECK(navigation->topViewController() == details);

    // With the bar hidden the chrome counts none.
    navigation->setNavigationBarHidden(true, false);
    popover->setPopoverContentSize(CGSizeMake(300, 380));
    CHECK(chrome->navigationBarHeight() == 0);
    popover->dismissPopoverAnimated(false);
    CHECK_FALSE(popover->isPopoverVisible());
}
