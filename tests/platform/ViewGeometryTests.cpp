// Protects the view geometry: frames derived from bounds, centre and transform,
// conversion between views, hit testing by the platform's rules, autoresizing
// and inherited tint; geometry read from text reads finite numbers only.
#include <doctest/doctest.h>

#include <cmath>

#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIGeometry.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"
#include "UIKitTestSupport.h"

using namespace uikittest;

namespace {
CGAffineTransform rotation(double angle) {
    return {std::cos(angle), std::sin(angle), -std::sin(angle), std::cos(angle), 0, 0};
}
void checkRect(CGRect r, CGRect want) {
    CHECK(r.origin.x == doctest::Approx(want.origin.x));
    CHECK(r.origin.y == doctest::Approx(want.origin.y));
    CHECK(r.size.width == doctest::Approx(want.size.width));
    CHECK(r.size.height == doctest::Approx(want.size.height));
}
void checkPoint(CGPoint p, CGPoint want) {
    CHECK(p.x == doctest::Approx(want.x));
    CHECK(p.y == doctest::Approx(want.y));
}
}  // namespace

TEST_CASE("frames derive from bounds, centre and transform, and conversion applies them") {
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 480));
    auto parent = std::make_shared<UIView>(CGRectMake(10, 20, 200, 100));
    auto child = std::make_shared<UIView>(CGRectMake(5, 5, 50, 50));
    window->addSubview(parent);
    parent->addSubview(child);

    checkPoint(child->convertPointToView({0, 0}, nullptr), {15, 25});
    // Scrolling the parent's bounds moves what it shows.
    parent->setBounds(CGRectMake(0, 10, 200, 100));
    checkRect(parent->frame(), CGRectMake(10, 20, 200, 100));
    checkPoint(child->convertPointToView({0, 0}, window.get()), {15, 15});
    checkPoint(window->convertPointToView({15, 15}, child.get()), {0, 0});
    checkPoint(parent->convertPointFromView({0, 0}, child.get()), {5, 5});

    // A quarter turn about the centre: the frame is the turned box.
    auto turned = std::make_shared<UIView>(CGRectMake(50, 75, 100, 50));
    window->addSubview(turned);
    turned->setTransform(rotation(M_PI / 2));
    checkRect(turned->frame(), CGRectMake(75, 50, 50, 100));
    checkPoint(turned->center(), {100, 100});
    checkRect(turned->bounds(), CGRectMake(0, 0, 100, 50));
    checkPoint(turned->convertPointToView({0, 0}, nullptr), {125, 50});
    checkPoint(turned->convertPointFromView({125, 50}, window.get()), {0, 0});
    CHECK(turned->description().find("; frame = (75 50; 50 100)>") != std::string::npos);
    checkRect(turned->convertRectToView(turned->bounds(), window.get()), CGRectMake(75, 50, 50, 100));

    // Scaling twice about the centre; setting the frame back under identity.
    auto scaled = std::make_shared<UIView>(CGRectMake(0, 0, 40, 40));
    scaled->setTransform({2, 0, 0, 2, 0, 0});
    checkRect(scaled->frame(), CGRectMake(-20, -20, 80, 80));
    scaled->setTransform({});
    scaled->setFrame(CGRectMake(10, 10, 30, 20));
    checkPoint(scaled->center(), {25, 20});
    checkRect(scaled->bounds(), CGRectMake(0, 0, 30, 20));
}

TEST_CASE("hit testing skips hidden, transparent and non-interactive views and asks the front-most first") {
    struct Case {
        const char* name;
        void (*setUp)(UIView& front);
        bool frontWins;
    };
    const Case cases[] = {
        {"plain", [](UIView&) {}, true},
        {"hidden", [](UIView& v) { v.setHidden(true); }, false},
        {"alpha below 0.01", [](UIView& v) { v.setAlpha(0.005); }, false},
        {"alpha 0.02 still takes touches", [](UIView& v) { v.setAlpha(0.02); }, true},
        {"interaction off", [](UIView& v) { v.setUserInteractionEnabled(false); }, false},
        {"disabled control", [](UIView& v) { static_cast<UIControl&>(v).setEnabled(false); }, false},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.name));
        auto window = visibleWindow({200, 200});
        auto back = std::make_shared<UIView>(CGRectMake(0, 0, 100, 100));
        auto front = std::make_shared<UIControl>(CGRectMake(50, 50, 100, 100));
        window->addSubview(back);
        window->addSubview(front);
        c.setUp(*front);
        auto hit = window->hitTest({75, 75}, nullptr);
        CHECK(hit.get() == (c.frontWins ? static_cast<UIView*>(front.get()) : back.get()));
    }

    // Turned views are hit inside their turned shape only; subviews outside
    // their superview's bounds are not hit.
    auto window = visibleWindow({300, 300});
    auto turned = std::make_shared<UIView>(CGRectMake(50, 75, 100, 50));
    window->addSubview(turned);
    turned->setTransform(rotation(M_PI / 2));
    CHECK(window->hitTest({120, 140}, nullptr) == turned);
    CHECK(window->hitTest({140, 100}, nullptr) == window);
    auto outside = std::make_shared<UIView>(CGRectMake(120, 0, 40, 40));
    turned->addSubview(outside);
    CHECK(window->hitTest(turned->convertPointToView({130, 10}, window.get()), nullptr) != outside);
    CHECK(turned->pointInside({99, 49}, nullptr));
    CHECK_FALSE(turned->pointInside({100, 10}, nullptr));
}

TEST_CASE("autoresizing masks share a superview's size change among the flexible parts") {
    struct Case {
        const char* name;
        UIViewAutoresizing mask;
        CGRect start;
        CGSize newSize;
        CGRect expected;
    };
    const Case cases[] = {
        {"none", UIViewAutoresizingNone, CGRectMake(10, 10, 80, 20), {200, 150}, CGRectMake(10, 10, 80, 20)},
        {"flexible width and bottom margin", UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleBottomMargin,
         CGRectMake(10, 10, 80, 20), {200, 150}, CGRectMake(10, 10, 180, 20)},
        {"all margins (45) keep it centred", 45, CGRectMake(40, 40, 20, 20), {200, 200}, CGRectMake(90, 90, 20, 20)},
        {"width and height (18) fill", 18, CGRectMake(0, 0, 100, 100), {320, 480}, CGRectMake(0, 0, 320, 480)},
        {"left margin and width in proportion",
         UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleWidth, CGRectMake(10, 0, 80, 10),
         {190, 100}, CGRectMake(20, 0, 160, 10)},
        {"shrinking never goes below zero", UIViewAutoresizingFlexibleWidth, CGRectMake(10, 0, 80, 10), {10, 100},
         CGRectMake(10, 0, 0, 10)},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.name));
        auto parent = std::make_shared<UIView>(CGRectMake(0, 0, 100, 100));
        auto child = std::make_shared<UIView>(c.start);
        child->setAutoresizingMask(c.mask);
        parent->addSubview(child);
        parent->setFrame(CGRectMake(0, 0, c.newSize.width, c.newSize.height));
        checkRect(child->frame(), c.expected);
        CHECK(parent->needsLayout());
    }
}

TEST_CASE("tint is inherited until a view sets its own, and changes are announced down the tree") {
    struct Counting : UIView {
        int changes = 0;
        void tintColorDidChange() override { ++changes; }
    };
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 100, 100));
    auto middle = std::make_shared<Counting>();
    auto leaf = std::make_shared<Counting>();
    auto own = std::make_shared<Counting>();
    window->addSubview(middle);
    middle->addSubview(leaf);
    middle->addSubview(own);
    own->setTintColor(rgb(0, 0, 1));
    CHECK(CGColorEqualToColor(leaf->tintColor(), UIViewDefaultTintColor()));
    int leafBefore = leaf->changes, ownBefore = own->changes;
    window->setTintColor(rgb(1, 0, 0));
    CHECK(CGColorEqualToColor(leaf->tintColor(), rgb(1, 0, 0)));
    CHECK(CGColorEqualToColor(own->tintColor(), rgb(0, 0, 1)));
    CHECK(leaf->changes == leafBefore + 1);
    CHECK(own->changes == ownBefore);
}

TEST_CASE("geometry text reads two finite numbers, anything else is the zero value") {
    struct Row {
        const char* text;
        CGSize size;
    };
    const Row rows[] = {
        {"{320, 50}", {320, 50}},         {"{-1.5e2,7}", {-150, 7}},  {"{+infx50}", {}},
        {"{+inf,50}", {}},                {"{1e999,50}", {}},         {"{50, -1e999}", {}},
        {"{+nan, 5}", {}},                {"{1, 2, 3}", {}},          {"banner", {}},
        {"{0.5,.25}", {0.5, 0.25}},
    };
    for (const Row& row : rows) {
        CAPTURE(row.text);
        CHECK(CGSizeFromString(row.text) == row.size);
    }
    CHECK(CGSizeFromString(NSStringFromCGSize({320.5, 50})) == CGSize{320.5, 50});
    CHECK(CGRectFromString("{{0, 0}, {inf, 1}}") == CGRectZero);
    CHECK(CGPointFromString("{1e999, 0}") == CGPointZero);
}
