// Reference images of the popover chrome: both built-in themes in every
// direction, straight and curved arrows off the middle, a dialog over a window
// under the overlay colour; theme changes redraw; narrow bodies keep their shape.
#include <doctest/doctest.h>

#include <vector>

#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "support/ReferenceImage.h"
#include "ui/PopoverChromeTestSupport.h"
#include "ui/popover/FLPopoverOverlayView.h"

using popovertest::placeChrome;
using popovertest::render;

namespace {

CGColorRef backdrop() { return uikittest::rgb(0.78, 0.84, 0.9); }

// The five directions side by side, each chrome holding a 64 x 44 content.
void placeAllDirections(const std::shared_ptr<UIWindow>& window, const FLPopoverTheme& theme) {
    const FLArrowDirection order[] = {FLArrowDirectionUp, FLArrowDirectionDown, FLArrowDirectionLeft,
                                      FLArrowDirectionRight, FLArrowDirectionNone};
    CGFloat x = 6;
    for (FLArrowDirection d : order) {
        auto placed = placeChrome(window, theme, d, CGSizeMake(64, 44), CGPointMake(x, 6));
        x += placed.chrome->bounds().size.width + 6;
    }
}

void checkReference(const CGImageRef& image, const std::string& name) {
    REQUIRE(image);
    auto result = testsupport::compareWithReference(image, name);
    CHECK_MESSAGE(result.matched, result.message);
}

}  // namespace

TEST_CASE("reference: each built-in theme's chrome in all five directions") {
    popovertest::CleanAppearance clean;
    struct Row {
        FLPopoverThemePtr theme;
        CGSize window;
        const char* name;
    };
    const Row rows[] = {
        {FLPopoverTheme::themeForIOS6(), {530, 108}, "popover-chrome-first-theme@2x"},
        {FLPopoverTheme::themeForIOS7(), {400, 76}, "popover-chrome-second-theme@2x"},
    };
    for (const Row& r : rows) {
        auto window = uikittest::visibleWindow(r.window, backdrop());
        placeAllDirections(window, *r.theme);
        checkReference(render(window), r.name);
    }
}

TEST_CASE("reference: straight and curved arrows moved off the middle, toward the corners") {
    popovertest::CleanAppearance clean;
    auto window = uikittest::visibleWindow(CGSizeMake(460, 120), backdrop());
    auto glossyCurved = FLPopoverTheme::themeForIOS6();
    glossyCurved->setUsesRoundedArrow(true);
    auto flatStraight = FLPopoverTheme::themeForIOS7();
    flatStraight->setUsesRoundedArrow(false);
    // Far offsets are clamped next to the corners, whose radius shrinks there.
    placeChrome(window, *glossyCurved, FLArrowDirectionUp, CGSizeMake(80, 60), CGPointMake(6, 6), 1000);
    placeChrome(window, *FLPopoverTheme::themeForIOS6(), FLArrowDirectionLeft, CGSizeMake(80, 70),
                CGPointMake(122, 6), -1000);
    placeChrome(window, *flatStraight, FLArrowDirectionDown, CGSizeMake(80, 60), CGPointMake(256, 6), -20);
    placeChrome(window, *FLPopoverTheme::themeForIOS7(), FLArrowDirectionRight, CGSizeMake(80, 70),
                CGPointMake(350, 6), 1000);
    checkReference(render(window), "popover-chrome-arrows@2x");
}

TEST_CASE("reference: a dialog panel over a window under the overlay colour") {
    popovertest::CleanAppearance clean;
    auto theme = FLPopoverTheme::themeForIOS7();
    auto window = uikittest::visibleWindow(CGSizeMake(180, 240), uikittest::rgb(1, 1, 1));
    const CGColorRef bands[] = {uikittest::rgb(0.2, 0.5, 0.9), uikittest::rgb(0.95, 0.6, 0.2),
                                uikittest::rgb(0.3, 0.7, 0.4)};
    for (int i = 0; i < 3; ++i) {
        auto band = std::make_shared<UIView>(CGRectMake(0, 20 + i * 80, 180, 30));
        band->setBackgroundColor(bands[i]);
        window->addSubview(band);
    }
    auto overlay = FLPopoverOverlayView::initWithFrame(window->bounds());
    overlay->setBackgroundColor(theme->overlayColor()->CGColor());
    window->addSubview(overlay);
    auto placed = placeChrome(window, *theme, FLArrowDirectionNone, CGSizeMake(138, 110), CGPointMake(21, 65));
    auto title = std::make_shared<UILabel>(CGRectMake(0, 0, 138, 12));
    title->setText("Streams");
    title->setFont(UIFont::boldSystemFontOfSize(9));
    title->setTextAlignment(1);
    placed.content->view()->addSubview(title);
    auto image = render(window);
    checkReference(image, "popover-dialog-overlay@2x");
    // Outside the panel the overlay darkens the white window by 15 %.
    CHECK(uikittest::near(uikittest::probe(image, 5, 5, 2), 217, 217, 217));
}

TEST_CASE("a theme change reaches an observing chrome and redraws it") {
    popovertest::CleanAppearance clean;
    auto theme = FLPopoverTheme::themeForIOS6();
    auto window = uikittest::visibleWindow(CGSizeMake(140, 120), backdrop());
    auto placed = placeChrome(window, *theme, FLArrowDirectionUp, CGSizeMake(80, 50), CGPointMake(10, 6));
    auto chrome = placed.chrome;
    // As a popover does: one token per observed key path, each change copied onto the chrome.
    std::vector<ObservationToken> tokens;
    for (const auto& key : FLPopoverTheme::observableKeypaths()) {
        tokens.push_back(theme->observeValueForKey(key, [&](const std::string&) {
            FLPopoverThemeApplyToChrome(*theme, *chrome);
            chrome->setNeedsDisplay();
        }));
    }
    auto before = render(window);
    std::size_t draws = chrome->layer()->displayCount();
    CHECK(draws >= 1);
    // A point of the body's border below the content, near the bottom of the gradient.
    CGRect outer = chrome->outerRect();
    CGPoint band = CGPointMake(10 + CGRectGetMidX(outer), 6 + CGRectGetMaxY(outer) - 2.5);
    CHECK(uikittest::probe(before, band.x, band.y, 2).r < 40);

    theme->setFillBottomColor(UIColor::colorWithRed(0.9, 0.1, 0.1, 1));
    auto after = render(window);
    CHECK(chrome->layer()->displayCount() == draws + 1);
    CHECK(uikittest::probe(after, band.x, band.y, 2).r > 150);

    theme->setArrowHeight(30);  // the arrow grows on the next draw
    render(window);
    CHECK(chrome->arrowHeight() == 30);
    CHECK(chrome->layer()->displayCount() == draws + 2);

    tokens.clear();
    theme->setTintColor(UIColor::greenColor());
    render(window);
    CHECK(chrome->layer()->displayCount() == draws + 2);
}

TEST_CASE("a body narrower than the arrow keeps square corners beside it instead of losing them") {
    popovertest::CleanAppearance clean;
    auto theme = FLPopoverTheme::themeForIOS7();
    theme->setUsesRoundedArrow(false);
    theme->setTintColor(UIColor::colorWithRed(0.2, 0.2, 0.8, 1));
    auto window = uikittest::visibleWindow(CGSizeMake(60, 60), uikittest::rgb(1, 1, 1));
    auto placed = placeChrome(window, *theme, FLArrowDirectionUp, CGSizeMake(12, 30), CGPointMake(20, 10));
    placed.chrome->contentView()->setHidden(true);
    auto image = render(window);
    CGRect outer = placed.chrome->outerRect();
    // Just inside the body's top corners, below the wider arrow's base: filled, no notch.
    for (CGFloat x : {CGRectGetMinX(outer) + 1.5, CGRectGetMaxX(outer) - 1.5}) {
        for (CGFloat y : {CGRectGetMinY(outer) + 0.75, CGRectGetMinY(outer) + 2.5}) {
            CAPTURE(x);
            CAPTURE(y);
            CHECK(uikittest::near(uikittest::probe(image, 20 + x, 10 + y, 2), 51, 51, 204, 255, 40));
        }
    }
    // Nothing spills beside the body below the arrow's base.
    CHECK(uikittest::near(uikittest::probe(image, 20 + CGRectGetMaxX(outer) + 2, 10 + CGRectGetMinY(outer) + 3, 2),
                          255, 255, 255));
    CHECK(uikittest::near(uikittest::probe(image, 20 + CGRectGetMinX(outer) - 2, 10 + CGRectGetMinY(outer) + 3, 2),
                          255, 255, 255));
}
