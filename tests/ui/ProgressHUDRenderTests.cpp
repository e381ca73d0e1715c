// Protects what the progress overlay and its indicators draw: reference images
// of the overlay in each mode with label and details and dimmed, and pixel
// probes of the pie, ring and bar at the ends of their range, with progress
// outside 0...1 (or not a number) drawn clamped and bars too low for their
// rounded ends drawn without complaint.
#include "ui/ProgressHUDTestSupport.h"

#include <cmath>
#include <limits>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIBezierPath.h"
#include "support/ReferenceImage.h"
#include "ui/progresshud/LOBarProgressView.h"
#include "ui/progresshud/LODrawingScope.h"
#include "ui/progresshud/LORoundProgressView.h"

using namespace hudtest;
using uikittest::near;
using uikittest::probe;

namespace {

// A custom indicator: a white tick in a 37-point square.
class TickView : public UIView {
public:
    TickView() : UIView(CGRectMake(0, 0, 37, 37)) { setOpaque(false); }
    void drawRect(CGRect) override {
        LODrawingScope scope;
        auto tick = UIBezierPath::bezierPath();
        tick->moveToPoint(CGPointMake(7, 19));
        tick->addLineToPoint(CGPointMake(15, 27));
        tick->addLineToPoint(CGPointMake(30, 10));
        tick->setLineWidth(4);
        tick->setLineCapStyle(kCGLineCapRound);
        tick->setLineJoinStyle(kCGLineJoinRound);
        UIColor::whiteColor()->setStroke();
        tick->stroke();
    }
};

void checkReference(const CGImageRef& image, const std::string& name) {
    auto result = testsupport::compareWithReference(image, name);
    INFO(result.message);
    CHECK(result.matched);
}

// Console lines written while the block runs.
std::vector<std::string> consoleLinesOf(const std::function<void()>& block) {
    std::vector<std::string> lines;
    setLogHook([&](const std::string& line) { lines.push_back(line); });
    block();
    setLogHook(nullptr);
    return lines;
}

// An indicator alone on black, rendered at scale 2.
CGImageRef renderOnBlack(const std::shared_ptr<UIView>& view) {
    auto window = uikittest::visibleWindow(view->bounds().size, uikittest::rgb(0, 0, 0));
    window->addSubview(view);
    return render(window);
}

}  // namespace

TEST_CASE("the overlay in each mode, with label and details, matches its reference image") {
    struct Scene {
        long mode;
        const char* name;
    };
    for (Scene scene : {Scene{LOProgressHUDModeIndeterminate, "progresshud-indeterminate@2x"},
                        Scene{LOProgressHUDModeDeterminate, "progresshud-pie@2x"},
                        Scene{LOProgressHUDModeDeterminateHorizontalBar, "progresshud-bar@2x"},
                        Scene{LOProgressHUDModeAnnularDeterminate, "progresshud-ring@2x"},
                        Scene{LOProgressHUDModeCustomView, "progresshud-custom@2x"},
                        Scene{LOProgressHUDModeText, "progresshud-text@2x"}}) {
        const std::string name = scene.name;
        CAPTURE(name);
        auto window = patternedWindow(CGSizeMake(200, 200));
        auto hud = LOProgressHUD::showHUDAddedTo(window, false);
        hud->setCustomView(std::make_shared<TickView>());
        hud->setMode(scene.mode);
        hud->setProgress(0.4f);
        hud->setLabelText("Loading");
        hud->setDetailsLabelText("Fetching the catalogue, one page at a time");
        auto image = render(window);
        checkReference(image, scene.name);
        // The panel is dark and the corners of the window show through untouched.
        CHECK(near(probe(image, 2, 2, 2), 237, 237, 237));
        CHECK(probe(image, 100, hud->detailsLabel()->frame().origin.y - 2, 2).r < 80);
    }
}

TEST_CASE("the dimmed overlay and a coloured, offset panel match their reference images") {
    auto window = patternedWindow(CGSizeMake(200, 200));
    auto hud = LOProgressHUD::showHUDAddedTo(window, false);
    hud->setDimBackground(true);
    hud->setLabelText("Please wait");
    auto image = render(window);
    checkReference(image, "progresshud-dimmed@2x");
    // The dimming darkens towards the corners; even beside the panel the background is dimmed.
    CHECK(probe(image, 2, 2, 2).r < probe(image, 100, 185, 2).r);
    CHECK(probe(image, 100, 185, 2).r < 237);

    auto other = patternedWindow(CGSizeMake(200, 200));
    auto tinted = LOProgressHUD::showHUDAddedTo(other, false);
    tinted->setMode(LOProgressHUDModeText);
    tinted->setLabelText("Saved");
    tinted->setColor(UIColor::colorWithRed(0.1, 0.4, 0.2, 0.9));
    tinted->setCornerRadius(400);  // held to half the panel's shorter side
    tinted->setYOffset(50);
    tinted->setSquare(true);
    auto tintedImage = render(other);
    checkReference(tintedImage, "progresshud-tinted@2x");
    CHECK(probe(tintedImage, 100, 150, 2).g > probe(tintedImage, 100, 150, 2).r);
}

TEST_CASE("pie and ring draw their progress clamped to 0...1 and keep the value set") {
    auto pieAt = [](float progress, bool annular) {
        auto view = std::make_shared<LORoundProgressView>();
        view->setAnnular(annular);
        view->setProgress(progress);
        return view;
    };
    // The pie at 1 fills the whole inner circle in white.
    auto full = renderOnBlack(pieAt(1, false));
    for (CGPoint p : {CGPointMake(18.5, 18.5), CGPointMake(10, 18.5), CGPointMake(27, 18.5), CGPointMake(18.5, 6)})
        CHECK(near(probe(full, p.x, p.y, 2), 255, 255, 255));
    // At 0 only the faint disc and its outline.
    auto empty = renderOnBlack(pieAt(0, false));
    CHECK(probe(empty, 18.5, 18.5, 2).r < 40);
    CHECK(probe(empty, 18.5, 2, 2).r > 200);  // the outline

    std::vector<std::string> lines;
    lines = consoleLinesOf([&] {
        auto nan = pieAt(std::numeric_limits<float>::quiet_NaN(), false);
        CHECK(std::isnan(nan->progress()));
        CHECK(testsupport::comparePixels(renderOnBlack(nan), empty).offPixels == 0);
        auto above = pieAt(7, false);
        CHECK(above->progress() == 7);
        CHECK(testsupport::comparePixels(renderOnBlack(above), full).offPixels == 0);
        auto below = pieAt(-3, true);
        CHECK(testsupport::comparePixels(renderOnBlack(below), renderOnBlack(pieAt(0, true))).offPixels == 0);
    });
    CHECK(lines.empty());

    // The ring at a quarter: done from twelve to three o'clock, the track elsewhere.
    auto ring = renderOnBlack(pieAt(0.25f, true));
    CHECK(probe(ring, 35.5, 18.5, 2).r > 200);   // three o'clock, on the arc's end
    CHECK(probe(ring, 31, 6, 2).r > 200);        // between twelve and three
    CHECK(probe(ring, 18.5, 35.5, 2).r < 60);    // six o'clock: the faint track
    CHECK(probe(ring, 18.5, 18.5, 2).a == 255);  // the window behind the transparent middle
    CHECK(probe(ring, 18.5, 18.5, 2).r == 0);
}

TEST_CASE("the bar draws its outline, its fill clamped to 0...1, and stays whole when too low") {
    auto barAt = [](float progress, CGRect frame = CGRectMake(0, 0, 120, 20)) {
        auto view = std::make_shared<LOBarProgressView>(frame);
        view->setProgress(progress);
        return view;
    };
    auto empty = renderOnBlack(barAt(0));
    CHECK(probe(empty, 60, 10, 2).r == 0);   // nothing filled
    CHECK(probe(empty, 60, 2, 2).r > 200);   // the outline
    CHECK(probe(empty, 60, 18, 2).r > 200);
    auto half = renderOnBlack(barAt(0.5f));
    CHECK(probe(half, 30, 10, 2).r > 200);
    CHECK(probe(half, 90, 10, 2).r == 0);
    auto full = renderOnBlack(barAt(1));
    CHECK(probe(full, 110, 10, 2).r > 200);
    CHECK(probe(full, 60, 10, 2).r > 200);

    auto lines = consoleLinesOf([&] {
        CHECK(testsupport::comparePixels(renderOnBlack(barAt(std::nanf(""))), empty).offPixels == 0);
        CHECK(testsupport::comparePixels(renderOnBlack(barAt(3)), full).offPixels == 0);
        for (CGFloat height : {7.0, 5.0, 3.0, 1.0})
            for (float progress : {0.02f, 0.5f, 0.99f}) renderOnBlack(barAt(progress, CGRectMake(0, 0, 60, height)));
    });
    CHECK(lines.empty());

    // Every property change redraws.
    auto bar = barAt(0);
    auto window = uikittest::visibleWindow(bar->bounds().size, uikittest::rgb(0, 0, 0));
    window->addSubview(bar);
    render(window);
    const auto count = bar->layer()->displayCount();
    bar->setProgressColor(UIColor::redColor());
    CHECK(bar->layer()->needsDisplay());
    render(window);
    CHECK(bar->layer()->displayCount() == count + 1);
}
