// The chrome's geometry, content embedding, taps and the overlay's hit testing.
#include <doctest/doctest.h>

#include "platform/uikit/UINavigationController.h"
#include "ui/PopoverChromeTestSupport.h"
#include "ui/popover/FLPopoverOverlayView.h"

using popovertest::placeChrome;

namespace {

std::shared_ptr<FLPopoverBackgroundView> chromeFor(const FLPopoverTheme& theme, FLArrowDirection d, CGSize content) {
    auto chrome = FLPopoverBackgroundView::initWithContentSize(content);
    FLPopoverThemeApplyToChrome(theme, *chrome);
    chrome->setArrowDirection(d);
    chrome->sizeToFit();
    return chrome;
}

struct RecordingChromeDelegate : FLPopoverBackgroundViewDelegate {
    int touches = 0;
    void popoverBackgroundViewDidTouchOutside(FLPopoverBackgroundView&) override { ++touches; }
};

}  // namespace

TEST_CASE("chrome rectangles for each arrow direction of the first theme") {
    auto theme = FLPopoverTheme::themeForIOS6();  // border 6, blur 8, offset (0, 2), arrow 42 x 18
    struct Row {
        FLArrowDirection d;
        CGSize size;
        CGRect outer, inner, arrow;
    };
    const Row rows[] = {
        {FLArrowDirectionDown, {128, 106}, {8, 6, 112, 72}, {13, 14, 102, 59}, {43, 78, 42, 18}},
        {FLArrowDirectionUp, {128, 106}, {8, 24, 112, 72}, {13, 32, 102, 59}, {43, 6, 42, 18}},
        {FLArrowDirectionLeft, {146, 88}, {26, 6, 112, 72}, {31, 14, 102, 59}, {8, 21, 18, 42}},
        {FLArrowDirectionRight, {146, 88}, {8, 6, 112, 72}, {13, 14, 102, 59}, {120, 21, 18, 42}},
        {FLArrowDirectionNone, {128, 88}, {8, 6, 112, 72}, {13, 14, 102, 59}, {0, 0, 0, 0}},
    };
    for (const Row& r : rows) {
        CAPTURE(r.d);
        auto chrome = chromeFor(*theme, r.d, CGSizeMake(100, 60));
        CHECK(chrome->bounds().size == r.size);
        CHECK(chrome->outerRect() == r.outer);
        CHECK(chrome->innerRect() == r.inner);
        CHECK(chrome->arrowRect() == r.arrow);
        CHECK(chrome->outerShadowInsets() == UIEdgeInsetsMake(6, 8, 10, 8));
    }
    // The borderless theme: the content fills the body.
    auto flat = chromeFor(*FLPopoverTheme::themeForIOS7(), FLArrowDirectionUp, CGSizeMake(100, 60));
    CHECK(flat->bounds().size == CGSizeMake(100, 73));
    CHECK(flat->innerRect() == CGRectMake(0, 13, 100, 60));
    CHECK(flat->arrowRect() == CGRectMake(37.5, 0, 25, 13));
}

TEST_CASE("arrow offsets keep off the corners and keep their sign, zero follows the shadow") {
    auto theme = FLPopoverTheme::themeForIOS6();
    struct Row {
        FLArrowDirection d;
        CGFloat asked, stored;
    };
    // Up/Down: half of 112 - 2 x 21.5 is 34.5; Left/Right: half of 72 - 43 is 14.5.
    const Row rows[] = {
        {FLArrowDirectionUp, 1000, 34.5},   {FLArrowDirectionUp, -1000, -34.5}, {FLArrowDirectionUp, 10, 10},
        {FLArrowDirectionDown, -12, -12},   {FLArrowDirectionUp, 0, 0},         {FLArrowDirectionLeft, 0, 2},
        {FLArrowDirectionRight, 0, 2},      {FLArrowDirectionLeft, 1000, 14.5}, {FLArrowDirectionLeft, -5, -3},
        {FLArrowDirectionLeft, -1, 0},      {FLArrowDirectionNone, 77, 77},     {FLArrowDirectionNone, 0, 0},
    };
    for (const Row& r : rows) {
        CAPTURE(r.d);
        CAPTURE(r.asked);
        auto chrome = chromeFor(*theme, r.d, CGSizeMake(100, 60));
        chrome->setArrowOffset(r.asked);
        CHECK(chrome->arrowOffset() == r.stored);
    }
    // The arrow's base: 25 halves to 12 either side of the middle plus the offset.
    auto flat = chromeFor(*FLPopoverTheme::themeForIOS7(), FLArrowDirectionDown, CGSizeMake(100, 60));
    flat->setArrowOffset(7);
    CHECK(flat->arrowRect() == CGRectMake(50 - 12.5 + 7, 60, 25, 13));
    // A body narrower than the arrow and its corners centres the arrow.
    auto narrow = chromeFor(*theme, FLArrowDirectionUp, CGSizeMake(20, 60));
    narrow->setArrowOffset(15);
    CHECK(narrow->arrowOffset() == 0);
    narrow->setArrowOffset(-15);
    CHECK(narrow->arrowOffset() == 0);
}

TEST_CASE("content sits in the inner frame with the inner view above it, bar or no bar") {
    auto theme = FLPopoverTheme::themeForIOS6();
    auto window = uikittest::visibleWindow(CGSizeMake(200, 200));
    auto placed = placeChrome(window, *theme, FLArrowDirectionUp, CGSizeMake(100, 60), CGPointMake(10, 10));
    auto& chrome = *placed.chrome;
    auto content = placed.content->view();
    CHECK(chrome.contentView() == content);
    CHECK(content->frame() == CGRectMake(13, 32, 102, 59));
    auto inner = chrome.innerView();
    REQUIRE(inner);
    REQUIRE(chrome.subviews().size() == 2);
    CHECK(chrome.subviews()[0] == content);
    CHECK(chrome.subviews()[1] == inner);
    CHECK(inner->frame() == content->frame());
    CHECK_FALSE(inner->isUserInteractionEnabled());
    CHECK(inner->gradientTopColor == chrome.fillTopColor());
    CHECK(inner->gradientBottomColor == chrome.fillBottomColor());
    CHECK(inner->borderWidth == 6);
    CHECK(inner->innerCornerRadius == 6);
    CHECK(inner->gradientHeight == 106 - 16);
    CHECK(inner->gradientTopPosition == 32 - 6);

    // Theme values reach the inner view with the next redraw request.
    chrome.setFillTopColor(UIColor::redColor());
    chrome.setInnerCornerRadius(3);
    CHECK(inner->gradientTopColor != UIColor::redColor());
    chrome.setNeedsDisplay();
    CHECK(inner->gradientTopColor == UIColor::redColor());
    CHECK(inner->innerCornerRadius == 3);

    // A visible navigation bar: the content starts at the body's top.
    FLPopoverBackgroundView::setNavigationBarHeightSource([](const UIViewController& vc) -> CGFloat {
        return dynamic_cast<const UINavigationController*>(&vc) ? 44 : 0;
    });
    auto nav = UINavigationController::initWithRootViewController(std::make_shared<UIViewController>());
    chrome.setViewController(nav);
    FLPopoverBackgroundView::setNavigationBarHeightSource(nullptr);
    CHECK(chrome.navigationBarHeight() == 44);
    CHECK(nav->view()->frame() == CGRectMake(13, 26, 102, 65));
    CHECK(chrome.innerView() == inner);  // made once
    CHECK(inner->navigationBarHeight == 44);
    CHECK(inner->frame() == nav->view()->frame());
}

TEST_CASE("taps: the body and arrow count as inside, tapOut tells the delegate") {
    auto chrome = chromeFor(*FLPopoverTheme::themeForIOS6(), FLArrowDirectionUp, CGSizeMake(100, 60));
    CHECK(chrome->isTouchedAtPoint(CGPointMake(64, 60)));   // body
    CHECK(chrome->isTouchedAtPoint(CGPointMake(64, 10)));   // arrow
    CHECK_FALSE(chrome->isTouchedAtPoint(CGPointMake(3, 60)));  // shadow margin
    CHECK_FALSE(chrome->isTouchedAtPoint(CGPointMake(20, 10)));  // beside the arrow
    auto delegate = std::make_shared<RecordingChromeDelegate>();
    chrome->setDelegate(delegate);
    chrome->tapOut();
    CHECK(delegate->touches == 1);
    delegate.reset();
    chrome->tapOut();  // a delegate that has gone is not called
}

TEST_CASE("the chrome draws only its layer named parent") {
    popovertest::CleanAppearance clean;
    auto window = uikittest::visibleWindow(CGSizeMake(200, 200));
    auto placed = placeChrome(window, *FLPopoverTheme::themeForIOS6(), FLArrowDirectionDown, CGSizeMake(60, 40),
                              CGPointMake(10, 10));
    window->layoutAndDisplayIfNeeded();
    CHECK(placed.chrome->layer()->name() == "parent");
    CHECK(placed.chrome->layer()->displayCount() == 1);
    CHECK(placed.chrome->layer()->contentsScale() == 2);

    auto other = FLPopoverBackgroundView::initWithContentSize(CGSizeMake(60, 40));
    FLPopoverThemeApplyToChrome(*FLPopoverTheme::themeForIOS6(), *other);
    other->sizeToFit();
    other->layer()->setName("other");
    window->addSubview(other);
    other->setNeedsDisplay();
    window->layoutAndDisplayIfNeeded();
    CHECK(other->layer()->displayCount() == 0);
    CHECK_FALSE(other->layer()->backingImage());
}

TEST_CASE("overlay: outside touches hit the overlay, passthrough views and their subviews take theirs") {
    auto window = uikittest::visibleWindow(CGSizeMake(200, 200));
    auto pass = std::make_shared<UIView>(CGRectMake(10, 10, 60, 60));
    auto inside = std::make_shared<UIView>(CGRectMake(10, 10, 20, 20));
    pass->addSubview(inside);
    auto other = std::make_shared<UIView>(CGRectMake(100, 10, 60, 60));
    window->addSubview(pass);
    window->addSubview(other);
    auto overlay = FLPopoverOverlayView::initWithFrame(window->bounds());
    auto onOverlay = std::make_shared<UIView>(CGRectMake(100, 120, 40, 40));
    overlay->addSubview(onOverlay);
    overlay->setPassthroughViews({pass});
    window->addSubview(overlay);

    CHECK(window->hitTest(CGPointMake(25, 25), nullptr) == inside);
    CHECK(window->hitTest(CGPointMake(15, 65), nullptr) == pass);
    CHECK(window->hitTest(CGPointMake(120, 30), nullptr) == overlay);
    CHECK(window->hitTest(CGPointMake(50, 150), nullptr) == overlay);
    CHECK(window->hitTest(CGPointMake(110, 130), nullptr) == onOverlay);
    CHECK_FALSE(overlay->testHits());

    CHECK_FALSE(overlay->isPassthroughView(nullptr));
    CHECK(overlay->isPassthroughView(inside.get()));
    CHECK_FALSE(overlay->isPassthroughView(other.get()));

    // Through the touch driver too: a tap on the passthrough view's subview reaches it.
    auto touch = window->touchBegan(CGPointMake(25, 25));
    REQUIRE(touch);
    CHECK(touch->view() == inside);
    window->touchEnded(touch, CGPointMake(25, 25));

    overlay->accessibilityElementDidBecomeFocused();
    CHECK(overlay->accessibilityLabel() == "Double-tap to dismiss pop-up window.");
}
