// The drawing caches of the chrome and of its inner view never hand back a
// stale drawing: after a change of any value either drawing reads, the
// redrawn view is the very image a new view with those values draws with
// the caches emptied; a redraw with nothing changed reuses the kept bitmap;
// a memory warning empties them.
#include <doctest/doctest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIViewController.h"
#include "support/ReferenceImage.h"
#include "support/TestEnvironment.h"
#include "ui/popover/FLPopoverBackgroundView.h"
#include "ui/popover/FLPopoverDrawingCaches.h"
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

UIColorPtr colour(double r, double g, double b, double a = 1) { return UIColor::colorWithRed(r, g, b, a); }

// Runs the steps: after each, the shown view redrawn through its cache differs
// from before and is the image a new view with the same values draws with the
// caches emptied. Answers the last image.
template <class View>
CGImageRef runSteps(const std::vector<Step>& steps, View& shown, const std::function<void(View&)>& apply,
                    const std::function<std::shared_ptr<View>()>& make, const CGFloat& scale,
                    DrawingCache& cache) {
    CGImageRef previous;
    for (const Step& step : steps) {
        std::string name = step.name;
        CAPTURE(name);
        step.change();
        apply(shown);
        CGImageRef image = drawn(shown, scale);
        REQUIRE(image);
        if (previous) CHECK_FALSE(sameImage(image, previous));  // the step changes the drawing
        previous = image;

        FLPopoverChromeDrawingCache().removeAll();
        FLPopoverInnerViewDrawingCache().removeAll();
        auto fresh = make();
        apply(*fresh);
        std::size_t misses = cache.misses();
        CHECK(sameImage(image, drawn(*fresh, scale)));
        CHECK(cache.misses() == misses + 1);
    }
    return previous;
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

// The inner view's values as the steps change them.
struct InnerState {
    CGRect frame = CGRectMake(0, 0, 96, 70);
    bool wantsDefaultContentAppearance = false;
    CGFloat gradientHeight = 100, gradientTopPosition = 20, innerShadowBlurRadius = 2, innerCornerRadius = 6;
    CGFloat navigationBarHeight = 0, borderWidth = 6;
    UIColorPtr innerStrokeColor, gradientTopColor, gradientBottomColor, innerShadowColor;
    CGSize innerShadowOffset{};

    void applyTo(FLPopoverBackgroundInnerView& v) const {
        v.setFrame(frame);
        v.wantsDefaultContentAppearance = wantsDefaultContentAppearance;
        v.gradientHeight = gradientHeight;
        v.gradientTopPosition = gradientTopPosition;
        v.innerShadowBlurRadius = innerShadowBlurRadius;
        v.innerCornerRadius = innerCornerRadius;
        v.navigationBarHeight = navigationBarHeight;
        v.borderWidth = borderWidth;
        v.innerStrokeColor = innerStrokeColor;
        v.gradientTopColor = gradientTopColor;
        v.gradientBottomColor = gradientBottomColor;
        v.innerShadowColor = innerShadowColor;
        v.innerShadowOffset = innerShadowOffset;
    }
};

}  // namespace

TEST_CASE("the chrome's drawing cache: every value it draws from counts, a memory warning empties it") {
    ChromeState s;
    auto shown = FLPopoverBackgroundView::initWithContentSize(s.content);
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
    CGImageRef last = runSteps<FLPopoverBackgroundView>(
        steps, *shown, [&](FLPopoverBackgroundView& view) { s.applyTo(view); },
        [&] { return FLPopoverBackgroundView::initWithContentSize(s.content); }, s.scale,
        FLPopoverChromeDrawingCache());

    // Nothing changed: the kept bitmap comes back, the same image.
    std::size_t hits = FLPopoverChromeDrawingCache().hits();
    CHECK(sameImage(drawn(*shown, s.scale), last));
    CHECK(FLPopoverChromeDrawingCache().hits() == hits + 1);

    // Short of memory, the kept drawings go.
    (void)drawn(*FLPopoverBackgroundInnerView::initWithFrame(CGRectMake(0, 0, 40, 30)), 2);
    CHECK(FLPopoverChromeDrawingCache().count() > 0);
    CHECK(FLPopoverInnerViewDrawingCache().count() > 0);
    UIApplication::sharedApplication()->simulateMemoryWarning();
    REQUIRE_MESSAGE(testsupport::runMainUntil([] { return FLPopoverChromeDrawingCache().count() == 0; }, 5),
                    "the memory warning did not empty the chrome's drawing cache");
    CHECK(FLPopoverInnerViewDrawingCache().count() == 0);
}

TEST_CASE("the inner view's drawing cache: every value it draws from counts") {
    auto theme = FLPopoverTheme::themeForIOS6();
    InnerState s;
    s.gradientTopColor = theme->fillTopColor();
    s.gradientBottomColor = theme->fillBottomColor();
    s.innerShadowColor = theme->innerShadowColor();
    s.innerStrokeColor = theme->innerStrokeColor();
    s.innerShadowOffset = theme->innerShadowOffset();
    auto shown = FLPopoverBackgroundInnerView::initWithFrame(s.frame);
    const std::vector<Step> steps = {
        {"as it is", [] {}},
        {"size", [&] { s.frame = CGRectMake(0, 0, 110, 70); }},
        {"corner radius", [&] { s.innerCornerRadius = 10; }},
        {"gradient top", [&] { s.gradientTopColor = colour(0.8, 0.1, 0.1); }},
        {"gradient bottom", [&] { s.gradientBottomColor = colour(0.1, 0.8, 0.1); }},
        {"gradient position", [&] { s.gradientTopPosition = 40; }},
        {"gradient height", [&] { s.gradientHeight = 60; }},
        {"shadow colour", [&] { s.innerShadowColor = colour(0, 0, 1, 0.9); }},
        {"shadow offset", [&] { s.innerShadowOffset = CGSizeMake(2, 2); }},
        {"shadow blur", [&] { s.innerShadowBlurRadius = 4; }},
        {"stroke colour", [&] { s.innerStrokeColor = colour(1, 0.5, 0); }},
        {"navigation bar", [&] { s.navigationBarHeight = 20; }},
        {"no border", [&] { s.borderWidth = 0; }},
        {"plain content", [&] { s.wantsDefaultContentAppearance = true; }},
    };
    const CGFloat scale = 2;
    CGImageRef last = runSteps<FLPopoverBackgroundInnerView>(
        steps, *shown, [&](FLPopoverBackgroundInnerView& view) { s.applyTo(view); },
        [] { return FLPopoverBackgroundInnerView::initWithFrame(CGRectZero); }, scale,
        FLPopoverInnerViewDrawingCache());
    std::size_t hits = FLPopoverInnerViewDrawingCache().hits();
    CHECK(sameImage(drawn(*shown, scale), last));
    CHECK(FLPopoverInnerViewDrawingCache().hits() == hits + 1);
}
