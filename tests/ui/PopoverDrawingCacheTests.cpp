// The drawing caches of the chrome and of its inner view never hand back a
// stale drawing: after a change of any value either drawing reads, the
// redrawn view is the very image a new view with those values draws with
// the caches emptied; a redraw with nothing changed reuses the kept bitmap;
// a memory warning empties them.
#include <doctest/doctest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIViewController.h"
#include "support/ReferenceImage.h"
#include "support/TestEnvironment.h"
#include "ui/popover/FLPopoverBackgroundView.h"
#include "ui/popover/FLPopoverDrawingCache.h"
#include "ui/popover/FLPopoverThemeAppearance.h"

namespace {

struct Step {
    const char* name;
    std::function<void()> change;
};

bool sameImage(const CGImageRef& a, const CGImageRef& b) {
    auto d = testsupport::comparePixels(a, b, 0);
    return d.sameSize && d.offPixels == 0;
}

CGImageRef drawn(UIView& view, CGFloat scale) {
    view.setNeedsDisplay();
    view.layer()->displayIfNeeded(scale);
    return view.layer()->backingImage();
}

void emptyCaches() {
    FLPopoverDrawingCache::chrome().removeAll();
    FLPopoverDrawingCache::innerView().removeAll();
}

// The chrome's values as the steps change them.
struct ChromeState {
    FLPopoverThemePtr theme = FLPopoverTheme::themeForIOS6();
    CGSize content = CGSizeMake(90, 60);
    FLArrowDirection direction = FLArrowDirectionUp;
    CGFloat offset = 0;
    CGFloat scale = 2;

    void applyTo(FLPopoverBackgroundView& chrome) const {
        FLPopoverThemeApplyToChrome(*theme, chrome);
        chrome.setContentSize(content);
        chrome.setArrowDirection(direction);
        chrome.sizeToFit();
        chrome.setArrowOffset(offset);
    }
};

}  // namespace

TEST_CASE("the chrome's drawing cache: every value it draws from counts") {
    ChromeState s;
    auto shown = FLPopoverBackgroundView::initWithContentSize(s.content);
    auto colour = [](double r, double g, double b, double a = 1) { return UIColor::colorWithRed(r, g, b, a); };
    const std::vector<Step> steps = {
        {"as it is", [] {}},
        {"content size", [&] { s.content = CGSizeMake(100, 60); }},
        {"arrow direction", [&] { s.direction = FLArrowDirectionLeft; }},
        {"arrow offset", [&] { s.offset = 12; }},
        {"arrow base", [&] { s.theme->setArrowBase(30); }},
        {"arrow height", [&] { s.theme->setArrowHeight(12); }},
        {"corner radius", [&] { s.theme->setOuterCornerRadius(12); }},
        {"curved arrow", [&] { s.theme->setUsesRoundedArrow(true); }},
        {"fill top", [&] { s.theme->setFillTopColor(colour(0.6, 0.2, 0.2)); }},
        {"fill bottom", [&] { s.theme->setFillBottomColor(colour(0.1, 0.3, 0.6)); }},
        {"shadow colour", [&] { s.theme->setOuterShadowColor(colour(0.5, 0, 0, 0.6)); }},
        {"shadow blur", [&] { s.theme->setOuterShadowBlurRadius(5); }},
        {"shadow offset", [&] { s.theme->setOuterShadowOffset(CGSizeMake(2, 3)); }},
        {"gloss colour", [&] { s.theme->setGlossShadowColor(colour(1, 1, 0.5)); }},
        {"gloss blur", [&] { s.theme->setGlossShadowBlurRadius(2); }},
        {"gloss offset", [&] { s.theme->setGlossShadowOffset(CGSizeMake(1, 3)); }},
        {"outer stroke", [&] { s.theme->setOuterStrokeColor(colour(0, 0.8, 0)); }},
        {"see-through fill", [&] { s.theme->setFillTopColor(colour(0.6, 0.2, 0.2, 0.5)); }},
        {"scale", [&] { s.scale = 1; }},
    };
    CGImageRef previous;
    for (const Step& step : steps) {
        std::string name = step.name;
        CAPTURE(name);
        step.change();
        s.applyTo(*shown);
        CGImageRef image = drawn(*shown, s.scale);
        REQUIRE(image);
        if (previous) CHECK_FALSE(sameImage(image, previous));  // the step changes the drawing
        previous = image;

        emptyCaches();
        auto fresh = FLPopoverBackgroundView::initWithContentSize(s.content);
        s.applyTo(*fresh);
        std::size_t misses = FLPopoverDrawingCache::chrome().misses();
        CHECK(sameImage(image, drawn(*fresh, s.scale)));
        CHECK(FLPopoverDrawingCache::chrome().misses() == misses + 1);
    }
    // Nothing changed: the kept bitmap comes back, the same image.
    std::size_t hits = FLPopoverDrawingCache::chrome().hits();
    CHECK(sameImage(drawn(*shown, s.scale), previous));
    CHECK(FLPopoverDrawingCache::chrome().hits() == hits + 1);

    // Short of memory, the kept drawings go.
    (void)drawn(*FLPopoverBackgroundInnerView::initWithFrame(CGRectMake(0, 0, 40, 30)), 2);
    CHECK(FLPopoverDrawingCache::chrome().count() > 0);
    CHECK(FLPopoverDrawingCache::innerView().count() > 0);
    UIApplication::sharedApplication()->simulateMemoryWarning();
    REQUIRE_MESSAGE(testsupport::runMainUntil([] { return FLPopoverDrawingCache::chrome().count() == 0; }, 5),
                    "the memory warning did not empty the chrome's drawing cache");
    CHECK(FLPopoverDrawingCache::innerView().count() == 0);
}

TEST_CASE("the inner view's drawing cache: every value it draws from counts") {
    auto theme = FLPopoverTheme::themeForIOS6();
    auto make = [] { return FLPopoverBackgroundInnerView::initWithFrame(CGRectMake(0, 0, 96, 70)); };
    auto shown = make();
    auto& v = *shown;
    v.gradientTopColor = theme->fillTopColor();
    v.gradientBottomColor = theme->fillBottomColor();
    v.innerShadowColor = theme->innerShadowColor();
    v.innerStrokeColor = theme->innerStrokeColor();
    v.innerShadowOffset = theme->innerShadowOffset();
    v.innerShadowBlurRadius = 2;
    v.innerCornerRadius = 6;
    v.borderWidth = 6;
    v.gradientHeight = 100;
    v.gradientTopPosition = 20;
    auto colour = [](double r, double g, double b, double a = 1) { return UIColor::colorWithRed(r, g, b, a); };
    const std::vector<Step> steps = {
        {"as it is", [] {}},
        {"size", [&] { v.setFrame(CGRectMake(0, 0, 110, 70)); }},
        {"corner radius", [&] { v.innerCornerRadius = 10; }},
        {"gradient top", [&] { v.gradientTopColor = colour(0.8, 0.1, 0.1); }},
        {"gradient bottom", [&] { v.gradientBottomColor = colour(0.1, 0.8, 0.1); }},
        {"gradient position", [&] { v.gradientTopPosition = 40; }},
        {"gradient height", [&] { v.gradientHeight = 60; }},
        {"shadow colour", [&] { v.innerShadowColor = colour(0, 0, 1, 0.9); }},
        {"shadow offset", [&] { v.innerShadowOffset = CGSizeMake(2, 2); }},
        {"shadow blur", [&] { v.innerShadowBlurRadius = 4; }},
        {"stroke colour", [&] { v.innerStrokeColor = colour(1, 0.5, 0); }},
        {"navigation bar", [&] { v.navigationBarHeight = 20; }},
        {"no border", [&] { v.borderWidth = 0; }},
        {"plain content", [&] { v.wantsDefaultContentAppearance = true; }},
    };
    CGImageRef previous;
    for (const Step& step : steps) {
        std::string name = step.name;
        CAPTURE(name);
        step.change();
        CGImageRef image = drawn(v, 2);
        REQUIRE(image);
        if (previous) CHECK_FALSE(sameImage(image, previous));
        previous = image;

        emptyCaches();
        auto fresh = make();
        fresh->setFrame(v.frame());
        fresh->wantsDefaultContentAppearance = v.wantsDefaultContentAppearance;
        fresh->gradientHeight = v.gradientHeight;
        fresh->gradientTopPosition = v.gradientTopPosition;
        fresh->innerShadowBlurRadius = v.innerShadowBlurRadius;
        fresh->innerCornerRadius = v.innerCornerRadius;
        fresh->navigationBarHeight = v.navigationBarHeight;
        fresh->borderWidth = v.borderWidth;
        fresh->innerStrokeColor = v.innerStrokeColor;
        fresh->gradientTopColor = v.gradientTopColor;
        fresh->gradientBottomColor = v.gradientBottomColor;
        fresh->innerShadowColor = v.innerShadowColor;
        fresh->innerShadowOffset = v.innerShadowOffset;
        CHECK(sameImage(image, drawn(*fresh, 2)));
    }
    std::size_t hits = FLPopoverDrawingCache::innerView().hits();
    CHECK(sameImage(drawn(v, 2), previous));
    CHECK(FLPopoverDrawingCache::innerView().hits() == hits + 1);
}
