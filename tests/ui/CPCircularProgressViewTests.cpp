// Protects the circular progress view: line widths, the progress clamp and the
// icons of each state, the done colour animation, spinning, custom icons, the
// arc drawn only for progress within 0...1 (negative and not-a-number progress
// draw none) with radii never below 0, the flat-look colours, and how the four
// states look (reference image at scale 2).
#include <doctest/doctest.h>

#include <cmath>
#include <limits>

#include "platform/quartzcore/CALayerPath.h"
#include "platform/uikit/UIGeometry.h"
#include "platform/UIKitTestSupport.h"
#include "support/ReferenceImage.h"
#include "ui/circularprogress/CPCircularProgressView.h"
#include "ui/circularprogress/UIColoriOS7.h"

using namespace uikittest;

namespace {
// A view of the width in a visible window, drawn once.
struct Scene {
    explicit Scene(CGFloat side = 60) {
        window = visibleWindow(CGSizeMake(side + 20, side + 20));
        view = std::make_shared<CPCircularProgressView>(CGRectMake(10, 10, side, side));
        window->addSubview(view);
        draw();
    }
    void draw() { window->layoutAndDisplayIfNeeded(); }
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<CPCircularProgressView> view;
};

CGRect pathBox(const CAShapeLayerPtr& layer) {
    REQUIRE(layer->path());
    return layer->path()->boundingBox();
}

// The last point of a layer's path: where the arc or circle ends.
CGPoint endPoint(const CAShapeLayerPtr& layer) {
    REQUIRE(layer->path());
    return layer->path()->currentPoint();
}

bool sameColor(const CGColorRef& a, const UIColorPtr& b) { return CGColorEqualToColor(a, b ? b->CGColor() : nullptr); }
}  // namespace

TEST_CASE("line width: 2.5 % of the width, at least 1, the arc twice as wide") {
    struct Case {
        CGFloat width, line;
    };
    for (const Case& c : {Case{20, 1}, Case{100, 2.5}, Case{60, 1.5}}) {
        CPCircularProgressView view(CGRectMake(0, 0, c.width, c.width));
        CHECK(view.lineWidth() == doctest::Approx(c.line));
        CHECK(view.progressBackgroundLayer()->lineWidth() == doctest::Approx(c.line));
        CHECK(view.iconLayer()->lineWidth() == doctest::Approx(c.line));
        CHECK(view.progressLayer()->lineWidth() == doctest::Approx(2 * c.line));
    }
    CPCircularProgressView view(CGRectMake(0, 0, 50, 50));
    view.setLineWidth(0.4);
    CHECK(view.lineWidth() == 1);
    view.setLineWidth(std::nan(""));
    CHECK(view.lineWidth() == 1);
    view.setLineWidth(3);
    CHECK(view.progressLayer()->lineWidth() == 6);
    CHECK(view.progressBackgroundLayer()->lineCap() == kCALineCapRound);
    CHECK(view.progressLayer()->lineCap() == kCALineCapSquare);
    CHECK(view.iconLayer()->lineCap() == kCALineCapButt);
    CHECK(sameColor(view.progressLayer()->strokeColor(), ios7Blue()));
    CHECK(view.layer()->sublayers().size() == 3);
    CHECK(view.layer()->sublayers()[0] == view.progressBackgroundLayer());
    CHECK(view.layer()->sublayers()[2] == view.iconLayer());
}

TEST_CASE("progress states: arrow, stop square, tick with the colour animation once") {
    Scene s;
    auto& v = *s.view;
    // Idle: an arrow with no fill, the arc empty.
    auto arrow = pathBox(v.iconLayer());
    CHECK(arrow.size.width > 0);
    CHECK_FALSE(v.iconLayer()->fillColor());

    v.setProgress(0.5);
    s.draw();
    CHECK(pathBox(v.iconLayer()) == CGRectMake(21, 21, 18, 18));  // 0.3 x 60 at 0.35 x 60
    CHECK(sameColor(v.iconLayer()->fillColor(), ios7Blue()));
    // The arc ends at the bottom: half way round from the top, radius (60 - 4.5) / 2.
    CHECK(endPoint(v.progressLayer()).x == doctest::Approx(30).epsilon(0.001));
    CHECK(endPoint(v.progressLayer()).y == doctest::Approx(30 + 27.75).epsilon(0.001));

    v.setProgress(1.5);
    CHECK(v.progress() == 1);
    REQUIRE(v.progressBackgroundLayer()->animationForKey("colorAnimation"));
    s.draw();
    CHECK(sameColor(v.iconLayer()->fillColor(), UIColor::whiteColor()));
    CHECK(CGColorEqualToColor(v.progressBackgroundLayer()->fillColor(), v.progressLayer()->strokeColor()));
    v.progressBackgroundLayer()->removeAnimationForKey("colorAnimation");
    v.setProgress(1);  // unchanged: nothing
    CHECK_FALSE(v.progressBackgroundLayer()->animationForKey("colorAnimation"));

    // Back to 0: the fill clears and the arrow returns.
    v.setProgress(0);
    s.draw();
    CHECK(sameColor(v.progressBackgroundLayer()->fillColor(), UIColor::clearColor()));
    CHECK(pathBox(v.iconLayer()) == arrow);
}

TEST_CASE("hidden progress icons keep the tick, a negative progress is kept and shows the idle icon") {
    Scene s;
    auto& v = *s.view;
    v.setHideProgressIcons(true);
    auto before = v.iconLayer()->path();
    v.setProgress(0.5);
    s.draw();
    CHECK(v.iconLayer()->path() == before);  // no stop square
    v.setProgress(1);
    s.draw();
    CHECK(sameColor(v.iconLayer()->fillColor(), UIColor::whiteColor()));  // the tick

    v.setHideProgressIcons(false);
    v.setProgress(-0.25);
    CHECK(v.progress() == -0.25);
    s.draw();
    CHECK_FALSE(v.iconLayer()->fillColor());  // the arrow
    // Leaving done for idle clears the fill, so the arrow shows on a clear background.
    CHECK(sameColor(v.progressBackgroundLayer()->fillColor(), UIColor::clearColor()));
}

TEST_CASE("the arc is drawn for progress clamped at 0: negative and not-a-number progress draw none") {
    Scene s;
    auto& v = *s.view;
    for (double p : {-0.5, std::numeric_limits<double>::quiet_NaN(), 0.0}) {
        CAPTURE(p);
        v.setProgress(0.3);
        s.draw();
        v.setProgress(p);
        s.draw();
        CGPoint end = endPoint(v.progressLayer());
        CHECK(end.x == doctest::Approx(30));  // still at the top: no sweep
        CHECK(end.y == doctest::Approx(30 - 27.75));
        CGRect box = pathBox(v.progressLayer());
        CHECK(box.size.width < 0.01);
    }
}

TEST_CASE("on a tiny view the radii stay at 0 and the paths stay inside the view") {
    Scene s(2);
    auto& v = *s.view;
    v.setProgress(0.5);
    s.draw();
    // The arc's radius (2 - 3) / 2 becomes 0: a point at the centre.
    REQUIRE(v.progressLayer()->path());
    CHECK_FALSE(v.progressLayer()->path()->isEmpty());
    CGRect arc = pathBox(v.progressLayer());
    CHECK(arc.origin.x == doctest::Approx(1));
    CHECK(arc.origin.y == doctest::Approx(1));
    CHECK(arc.size.width < 0.01);
    // The circle's (2 - 1) / 2 stays 0.5.
    CGRect circle = pathBox(v.progressBackgroundLayer());
    CHECK(circle.origin.x == doctest::Approx(0.5));
    CHECK(circle.size.width == doctest::Approx(1));
}

TEST_CASE("custom icons: a path shows from the next redraw, a view alone leaves the icon layer as it was") {
    Scene s;
    auto& v = *s.view;
    auto custom = UIBezierPath::bezierPathWithRect(CGRectMake(25, 25, 10, 10));
    v.setIconPath(custom);
    s.draw();
    CHECK(pathBox(v.iconLayer()) != CGRectMake(25, 25, 10, 10));  // no redraw asked for
    v.setProgress(-0.1);
    s.draw();
    CHECK(pathBox(v.iconLayer()) == CGRectMake(25, 25, 10, 10));

    v.setIconPath(nullptr);
    auto icon = std::make_shared<UIView>(CGRectMake(20, 20, 20, 20));
    v.setIconView(icon);
    CHECK(icon->superview().get() == &v);
    v.setProgress(0.5);
    s.draw();
    CGRect stop = pathBox(v.iconLayer());
    v.setProgress(0);
    s.draw();
    CHECK(pathBox(v.iconLayer()) == stop);  // keeps the stop square
    CHECK_FALSE(icon->isHidden());
    auto other = std::make_shared<UIView>(CGRectMake(0, 0, 5, 5));
    v.setIconView(other);
    CHECK_FALSE(icon->superview());

    v.setTintColor(UIColor::redColor());
    for (const auto& l : {v.progressBackgroundLayer(), v.progressLayer(), v.iconLayer()})
        CHECK(sameColor(l->strokeColor(), UIColor::redColor()));
}

TEST_CASE("spinning gaps the background circle and turns it until stopped") {
    Scene s;
    auto& v = *s.view;
    CGPoint full = endPoint(v.progressBackgroundLayer());
    CHECK(full.x == doctest::Approx(30));  // back at the top
    v.startSpinProgressBackgroundLayer();
    CHECK(v.isSpinning());
    auto spin = std::dynamic_pointer_cast<CABasicAnimation>(v.progressBackgroundLayer()->animationForKey("rotationAnimation"));
    REQUIRE(spin);
    CHECK(spin->keyPath == "transform.rotation.z");
    CHECK(std::get<double>(spin->toValue) == doctest::Approx(6.2831855));
    CHECK(spin->duration == 1);
    CHECK(spin->cumulative);
    CHECK(std::isinf(spin->repeatCount));
    CGPoint gap = endPoint(v.progressBackgroundLayer());
    CHECK(gap.x < 30);  // ends short of the top, on the left
    v.setProgress(1);   // the colour animation joins it
    v.stopSpinProgressBackgroundLayer();
    CHECK_FALSE(v.isSpinning());
    CHECK(v.progressBackgroundLayer()->animationKeys().empty());
    CHECK(endPoint(v.progressBackgroundLayer()).x == doctest::Approx(30));
}

TEST_CASE("the flat-look colours and a view from an archive") {
    CGFloat r, g, b, a;
    REQUIRE(ios7Blue()->getRed(&r, &g, &b, &a));
    CHECK(r == 0);
    CHECK(g == doctest::Approx(122.0 / 255));
    CHECK(b == 1);
    CHECK(a == 1);
    REQUIRE(ios7Gray()->getRed(&r, &g, &b, &a));
    CHECK(r == doctest::Approx(181.0 / 255));
    CHECK(g == doctest::Approx(182.0 / 255));
    CHECK(b == doctest::Approx(183.0 / 255));
    auto view = CPCircularProgressView::initWithCoder(Value{{"frame", Value("{{5, 6}, {40, 40}}")}});
    CHECK(view->frame() == CGRectMake(5, 6, 40, 40));
    CHECK(view->lineWidth() == 1);
    CHECK(view->tickColor()->isEqual(UIColor::whiteColor()));
}

TEST_CASE("the circular view idle, at 0.4, done and spinning") {
    VirtualTime time;
    auto window = visibleWindow(CGSizeMake(272, 68));
    std::vector<std::shared_ptr<CPCircularProgressView>> views;
    for (int i = 0; i < 4; ++i) {
        views.push_back(std::make_shared<CPCircularProgressView>(CGRectMake(8 + 66.0 * i, 8, 52, 52)));
        window->addSubview(views.back());
    }
    views[1]->setProgress(0.4);
    views[2]->setProgress(1);
    views[3]->startSpinProgressBackgroundLayer();
    time.advance(1);  // the done colour has faded in
    auto image = window->snapshotImage(2);
    REQUIRE(image);
    auto result = testsupport::compareWithReference(image, "circular-progress-states@2x");
    CHECK_MESSAGE(result.matched, result.message);
}
