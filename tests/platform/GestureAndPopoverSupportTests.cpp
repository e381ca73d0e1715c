// Protects what popovers need of the platform: tap recognisers in the window's
// touch driver (with and without cancelling the view's touches; two of one
// touch excluding each other unless a delegate lets them recognise together), pan
// recognisers following the device input's timed finger paths, tint
// dimming, the sizes view controllers give containers and their observation,
// the navigation bar, bar button items and storyboard segues.
#include <doctest/doctest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/display/DeviceInput.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIOptionalOperations.h"
#include "platform/uikit/UIPanGestureRecognizer.h"
#include "platform/uikit/UIStoryboardSegue.h"
#include "platform/uikit/UIWindow.h"
#include "UIKitTestSupport.h"

namespace {
// A view that writes down the touch phases it is told.
class PhaseView : public UIView {
public:
    using UIView::UIView;
    std::vector<std::string> phases;
    void touchesBegan(const UITouchSet&, UIEvent*) override { phases.push_back("began"); }
    void touchesMoved(const UITouchSet&, UIEvent*) override { phases.push_back("moved"); }
    void touchesEnded(const UITouchSet&, UIEvent*) override { phases.push_back("ended"); }
    void touchesCancelled(const UITouchSet&, UIEvent*) override { phases.push_back("cancelled"); }
};

class TintView : public UIView {
public:
    using UIView::UIView;
    int changes = 0;
    void tintColorDidChange() override { ++changes; }
};

struct VersionGuard {
    explicit VersionGuard(const std::string& v) { UIDevice::currentDevice()->setSystemVersion(v); }
    ~VersionGuard() { UIDevice::currentDevice()->setSystemVersion("7.0"); }
};
}  // namespace

TEST_CASE("a tap recogniser on a superview recognises through the touch driver") {
    auto window = uikittest::visibleWindow({320, 480});
    auto overlay = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
    auto inner = std::make_shared<PhaseView>(CGRectMake(100, 100, 50, 50));
    window->addSubview(overlay);
    overlay->addSubview(inner);
    auto target = std::make_shared<NSObject>();
    std::vector<CGPoint> taps;
    auto tap = std::make_shared<UITapGestureRecognizer>(target, [&](UIGestureRecognizer& r) {
        CHECK(r.state() == UIGestureRecognizerStateEnded);
        taps.push_back(r.locationInView(inner.get()));
    });
    overlay->addGestureRecognizer(tap);
    CHECK(tap->view() == overlay);
    CHECK(tap->cancelsTouchesInView());

    SUBCASE("cancelling: the view hears began, then cancelled") {
        CHECK(window->tap({110, 120}));
        REQUIRE(taps.size() == 1);
        CHECK(taps[0] == CGPointMake(10, 20));
        CHECK(inner->phases == std::vector<std::string>{"began", "cancelled"});
        CHECK(tap->state() == UIGestureRecognizerStatePossible);  // ready for the next touch
    }
    SUBCASE("not cancelling: the view hears the whole touch too") {
        tap->setCancelsTouchesInView(false);
        CHECK(window->tap({110, 120}));
        CHECK(taps.size() == 1);
        CHECK(inner->phases == std::vector<std::string>{"began", "ended"});
    }
    SUBCASE("a touch that moves away is no tap") {
        auto touch = window->touchBegan({110, 120});
        window->touchMoved(touch, {140, 120});
        window->touchEnded(touch, {140, 120});
        CHECK(taps.empty());
        CHECK(inner->phases == std::vector<std::string>{"began", "moved", "ended"});
        CHECK(window->tap({110, 120}));  // the next one recognises again
        CHECK(taps.size() == 1);
    }
    SUBCASE("a double tap asked for") {
        tap->setNumberOfTapsRequired(2);
        CHECK(window->tap({110, 120}));
        CHECK(taps.empty());
        auto touch = window->touchBegan({110, 120}, 2);
        window->touchEnded(touch, {111, 121});
        CHECK(taps.size() == 1);
    }
    SUBCASE("disabled, removed, or with its target gone it does nothing") {
        tap->setEnabled(false);
        CHECK(window->tap({110, 120}));
        tap->setEnabled(true);
        overlay->removeGestureRecognizer(tap);
        CHECK(tap->view() == nullptr);
        CHECK(window->tap({110, 120}));
        overlay->addGestureRecognizer(tap);
        target.reset();
        CHECK(window->tap({110, 120}));
        CHECK(taps.empty());
        CHECK(inner->phases.size() == 6);  // began/ended, began/ended, began/cancelled
        CHECK(inner->phases.back() == "cancelled");
    }
    SUBCASE("an enabled control inside the view takes its own tap; a plain view's tap is the recogniser's") {
        std::size_t pressed = 0;
        auto button = std::make_shared<UIButton>(CGRectMake(0, 0, 40, 40));
        button->addTarget(nullptr, [&](UIControl&, UIEvent*) { ++pressed; }, UIControlEventTouchUpInside);
        inner->addSubview(button);
        CHECK(window->tap({120, 120}));
        CHECK(pressed == 1);
        CHECK(taps.empty());
        button->setEnabled(false);  // a disabled one takes nothing: the tap is the recogniser's
        CHECK(window->tap({120, 120}));
        CHECK(pressed == 1);
        CHECK(taps.size() == 1);
        tap->setNumberOfTapsRequired(2);  // a double tap is still asked for over a control
        button->setEnabled(true);
        auto touch = window->touchBegan({120, 120}, 2);
        window->touchEnded(touch, {120, 120});
        CHECK(taps.size() == 2);
        tap->setNumberOfTapsRequired(1);
        CHECK(window->tap({145, 145}));  // beside the button, on the plain view: the recogniser's
        CHECK(taps.size() == 3);
        CHECK(pressed == 1);
    }
    SUBCASE("two recognisers of one touch: the first to recognise fails the other, unless a delegate lets both") {
        std::size_t innerTaps = 0;
        auto innerTap = std::make_shared<UITapGestureRecognizer>(nullptr, [&](UIGestureRecognizer&) { ++innerTaps; });
        inner->addGestureRecognizer(innerTap);
        CHECK(window->tap({110, 120}));
        CHECK(innerTaps == 1);  // the inner view's recognises first
        CHECK(taps.empty());
        struct Together : UIGestureRecognizerDelegate {
            bool answer = true;
            mutable std::vector<std::pair<const UIGestureRecognizer*, const UIGestureRecognizer*>> asked;
            bool shouldRecognizeSimultaneouslyWithGestureRecognizer(const UIGestureRecognizer& recognizer,
                                                                    const UIGestureRecognizer& other) const override {
                asked.emplace_back(&recognizer, &other);
                return answer;
            }
        };
        auto together = std::make_shared<Together>();
        tap->setDelegate(together);  // the overlay's own delegate, asked about the inner one
        CHECK(window->tap({110, 120}));
        CHECK(innerTaps == 2);
        CHECK(taps.size() == 1);
        REQUIRE_FALSE(together->asked.empty());
        CHECK(together->asked.front() == std::make_pair<const UIGestureRecognizer*, const UIGestureRecognizer*>(
                                             tap.get(), innerTap.get()));
        together->answer = false;
        CHECK(window->tap({110, 120}));
        CHECK(innerTaps == 3);
        CHECK(taps.size() == 1);
        inner->removeGestureRecognizer(innerTap);
        CHECK(window->tap({110, 120}));  // alone again, the overlay's recognises
        CHECK(taps.size() == 2);
    }
    SUBCASE("tests fire it with a state and a location") {
        tap->fireWithState(UIGestureRecognizerStateEnded, {130, 140});
        REQUIRE(taps.size() == 1);
        CHECK(taps[0] == CGPointMake(30, 40));
        CHECK(tap->locationInView(nullptr) == CGPointMake(130, 140));
        tap->fireWithState(UIGestureRecognizerStateFailed, {0, 0});
        CHECK(taps.size() == 1);
    }
}

TEST_CASE("a pan recogniser follows a timed finger path and is cancelled by disabling it") {
    uikittest::VirtualTime time;
    auto window = uikittest::visibleWindow({320, 568});
    window->makeKeyAndVisible();
    auto inner = std::make_shared<PhaseView>(CGRectMake(0, 0, 320, 568));
    window->addSubview(inner);
    struct Heard {
        UIGestureRecognizerState state;
        CGPoint location, velocity;
    };
    std::vector<Heard> heard;
    bool disableOnBegan = false;
    auto pan = std::make_shared<UIPanGestureRecognizer>();
    pan->addTarget(nullptr, [&](UIGestureRecognizer& r) {
        heard.push_back({r.state(), r.locationInView(nullptr), static_cast<UIPanGestureRecognizer&>(r).velocityInView(nullptr)});
        if (disableOnBegan && r.state() == UIGestureRecognizerStateBegan) r.setEnabled(false);
    });
    inner->addGestureRecognizer(pan);
    DeviceInput input;
    // Down at y 90, 5 points (not yet a pan), 10 points (it begins), far down,
    // then lifted 6 points lower 50 ms later.
    auto drag = [&] {
        std::optional<DeviceInputResult> result;
        input.dragAlong({{{100, 90}, 0}, {{100, 95}, 0.05}, {{100, 100}, 0.1}, {{100, 334}, 0.2}, {{100, 340}, 0.25}},
                        [&](const DeviceInputResult& r) { result = r; });
        // The clock passes the path's last point; its points are timers a busy machine may hand over late.
        for (int i = 0; i < 30 && !result; ++i) time.advance(0.01);
        REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return result.has_value(); }, 20),
                        "the finger path to be carried out");
        CHECK(result->delivered);
    };

    drag();
    REQUIRE(heard.size() == 3);
    CHECK(heard[0].state == UIGestureRecognizerStateBegan);
    CHECK(heard[0].location == CGPointMake(100, 100));
    CHECK(heard[1].state == UIGestureRecognizerStateChanged);
    CHECK(heard[1].location == CGPointMake(100, 334));
    CHECK(heard[1].velocity.y == doctest::Approx(2340).epsilon(0.01));
    CHECK(heard[2].state == UIGestureRecognizerStateEnded);
    CHECK(heard[2].velocity.y == doctest::Approx(120).epsilon(0.01));  // the last move, downwards
    CHECK(pan->translationInView(inner.get()).y == doctest::Approx(250));
    CHECK(inner->phases == std::vector<std::string>{"began", "moved", "cancelled"});  // the pan took the touch

    // Disabled when it begins: the actions hear Cancelled and nothing more of that touch.
    heard.clear();
    disableOnBegan = true;
    drag();
    REQUIRE(heard.size() == 2);
    CHECK(heard[0].state == UIGestureRecognizerStateBegan);
    CHECK(heard[1].state == UIGestureRecognizerStateCancelled);
    CHECK_FALSE(pan->isEnabled());
    // Enabled again, the next touch pans as before.
    heard.clear();
    disableOnBegan = false;
    pan->setEnabled(true);
    drag();
    CHECK(heard.size() == 3);
}

TEST_CASE("dimming greys the tint of a view and of the subviews that follow it") {
    auto window = uikittest::visibleWindow({320, 480});
    auto parent = std::make_shared<TintView>(CGRectMake(0, 0, 100, 100));
    auto child = std::make_shared<TintView>(CGRectMake(0, 0, 10, 10));
    auto own = std::make_shared<TintView>(CGRectMake(0, 0, 10, 10));
    window->addSubview(parent);
    parent->addSubview(child);
    parent->addSubview(own);
    own->setTintAdjustmentMode(UIViewTintAdjustmentModeNormal);
    parent->setTintColor(uikittest::rgb(1, 0, 0));
    parent->changes = child->changes = own->changes = 0;

    CHECK(window->respondsToSetTintAdjustmentMode());
    CHECK(parent->tintAdjustmentMode() == UIViewTintAdjustmentModeNormal);
    parent->setTintAdjustmentMode(UIViewTintAdjustmentModeDimmed);
    CHECK(parent->tintAdjustmentMode() == UIViewTintAdjustmentModeDimmed);
    CHECK(child->tintAdjustmentMode() == UIViewTintAdjustmentModeDimmed);
    CHECK(own->tintAdjustmentMode() == UIViewTintAdjustmentModeNormal);
    auto grey = child->tintColor();
    REQUIRE(grey);
    CHECK(grey->components().front() == doctest::Approx(0.299));
    CHECK(own->tintColor()->components().size() == 4);  // its own red
    CHECK(parent->changes == 1);
    CHECK(child->changes == 1);
    parent->setTintAdjustmentMode(UIViewTintAdjustmentModeAutomatic);
    CHECK(child->tintColor()->components().size() == 4);
    CHECK(child->changes == 2);

    VersionGuard old("6.1");
    CHECK_FALSE(window->respondsToSetTintAdjustmentMode());
}

TEST_CASE("view controllers give containers observable sizes and answer by system version") {
    auto c = std::make_shared<UIViewController>();
    std::vector<std::string> heard;
    auto t1 = c->observeValueForKey("preferredContentSize", [&](const std::string& k) { heard.push_back(k); });
    auto t2 = c->observeValueForKey("contentSizeForViewInPopover", [&](const std::string& k) { heard.push_back(k); });
    c->setPreferredContentSize({150, 176});
    c->setContentSizeForViewInPopover({276, 220});
    CHECK(heard == std::vector<std::string>{"preferredContentSize", "contentSizeForViewInPopover"});
    CHECK(c->preferredContentSize() == CGSizeMake(150, 176));
    CHECK(c->contentSizeForViewInPopover() == CGSizeMake(276, 220));
    CHECK_FALSE(c->isModalInPopover());
    c->setModalInPopover(true);
    CHECK(c->isModalInPopover());
    CHECK(c->edgesForExtendedLayout() == UIRectEdgeAll);
    c->setEdgesForExtendedLayout(UIRectEdgeNone);
    CHECK(c->edgesForExtendedLayout() == UIRectEdgeNone);

    struct Row {
        const char* version;
        bool seven, eight;
    };
    for (const Row& row : {Row{"6.1", false, false}, Row{"7.0", true, false}, Row{"8.1", true, true}}) {
        VersionGuard v(row.version);
        CAPTURE(row.version);
        CHECK(c->respondsToPreferredContentSize() == row.seven);
        CHECK(c->respondsToEdgesForExtendedLayout() == row.seven);
        CHECK(UIViewRespondsToTintAdjustmentMode() == row.seven);
        CHECK(NSProcessInfoRespondsToOperatingSystemVersion() == row.eight);
    }
}

TEST_CASE("a navigation controller's bar draws its background image and can be hidden") {
    auto window = uikittest::visibleWindow({320, 480});
    auto root = std::make_shared<UIViewController>();
    auto nav = UINavigationController::initWithRootViewController(root);
    window->setRootViewController(nav);
    auto bar = nav->navigationBar();
    REQUIRE(bar);
    CHECK(bar->superview() == nav->view());
    CHECK(bar->bounds().size == CGSizeMake(320, UINavigationBar::kHeight));
    CHECK(bar->backgroundImageForBarMetrics(UIBarMetricsDefault) == nullptr);

    // A red background image for the default metrics, another for compact bars.
    UIGraphicsBeginImageContextWithOptions({4, 4}, true, 1);
    CGContextSetFillColorWithColor(UIGraphicsGetCurrentContext(), uikittest::rgb(1, 0, 0));
    CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 4, 4));
    auto red = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    REQUIRE(red);
    bar->setBackgroundImage(red, UIBarMetricsDefault);
    bar->setBackgroundImage(UIImage::imageWithCGImage(red->CGImage()), UIBarMetricsCompact);
    CHECK(bar->backgroundImageForBarMetrics(UIBarMetricsDefault) == red);
    CHECK(bar->backgroundImageForBarMetrics(UIBarMetricsCompact) != red);
    // The bar sits below the status bar's 20 points.
    CHECK(bar->frame().origin.y == 20);
    auto image = window->snapshotImage(1);
    CHECK(uikittest::near(uikittest::probe(image, 160, 10, 1), 255, 255, 255));
    CHECK(uikittest::near(uikittest::probe(image, 160, 40, 1), 255, 0, 0));
    CHECK(uikittest::near(uikittest::probe(image, 160, 80, 1), 255, 255, 255));

    nav->setNavigationBarHidden(true, false);
    CHECK(nav->isNavigationBarHidden());
    CHECK(bar->isHidden());
    image = window->snapshotImage(1);
    CHECK(uikittest::near(uikittest::probe(image, 160, 40, 1), 255, 255, 255));
    nav->setNavigationBarHidden(false, false);
    CHECK_FALSE(bar->isHidden());
    window->setHidden(true);
}

TEST_CASE("a bar button item is shown by a view, a segue holds its ends") {
    auto custom = std::make_shared<UIView>(CGRectMake(0, 0, 30, 30));
    auto item = UIBarButtonItem::initWithCustomView(custom);
    CHECK(item->view() == custom);
    int actions = 0;
    auto titled = UIBarButtonItem::initWithTitle("Sort", [&](UIBarButtonItem&) { ++actions; });
    CHECK(titled->view() == nullptr);
    auto button = std::make_shared<UIView>(CGRectMake(0, 0, 44, 44));
    titled->setView(button);
    CHECK(titled->view() == button);
    titled->sendAction();
    titled->setEnabled(false);
    titled->sendAction();
    CHECK(actions == 1);

    struct Counting : UIStoryboardSegue {
        using UIStoryboardSegue::UIStoryboardSegue;
        int performed = 0;
        void perform() override { ++performed; }
    };
    auto source = std::make_shared<UIViewController>();
    auto destination = std::make_shared<UIViewController>();
    auto segue = std::make_shared<Counting>("ShowSort", source, destination);
    CHECK(segue->identifier() == "ShowSort");
    CHECK(segue->sourceViewController() == source);
    CHECK(segue->destinationViewController() == destination);
    segue->perform();
    CHECK(segue->performed == 1);
}

TEST_CASE("a resizable image draws its corners as they are and stretches the rest") {
    // A 9 x 9 image of nine 3 x 3 cells: red corners, green edges, a blue middle.
    UIGraphicsBeginImageContextWithOptions({9, 9}, true, 1);
    auto ctx = UIGraphicsGetCurrentContext();
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            bool corner = row != 1 && col != 1, middle = row == 1 && col == 1;
            CGContextSetFillColorWithColor(ctx, corner   ? uikittest::rgb(1, 0, 0)
                                                : middle ? uikittest::rgb(0, 0, 1)
                                                         : uikittest::rgb(0, 1, 0));
            CGContextFillRect(ctx, CGRectMake(col * 3, row * 3, 3, 3));
        }
    auto cells = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    REQUIRE(cells);
    auto resizable = cells->resizableImageWithCapInsets({3, 3, 3, 3});
    CHECK(resizable->capInsets() == UIEdgeInsets{3, 3, 3, 3});
    CHECK(resizable->CGImage() == cells->CGImage());
    CHECK(cells->capInsets() == UIEdgeInsetsZero);

    auto render = [](const UIImagePtr& image) {
        UIGraphicsBeginImageContextWithOptions({30, 30}, true, 1);
        image->drawInRect(CGRectMake(0, 0, 30, 30));
        auto out = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        REQUIRE(out);
        return out->CGImage();
    };
    auto nine = render(resizable);
    struct Probe {
        double x, y;
        int r, g, b;
    };
    for (const Probe& p : {Probe{1, 1, 255, 0, 0}, Probe{28, 28, 255, 0, 0}, Probe{9, 1, 0, 255, 0},
                           Probe{15, 1, 0, 255, 0}, Probe{1, 15, 0, 255, 0}, Probe{9, 9, 0, 0, 255},
                           Probe{15, 15, 0, 0, 255}, Probe{21, 21, 0, 0, 255}}) {
        CAPTURE(p.x);
        CAPTURE(p.y);
        CHECK(uikittest::near(uikittest::probe(nine, p.x, p.y, 1), p.r, p.g, p.b));
    }
    // Without caps the whole image scales: its corner cell reaches 10 points in.
    auto whole = render(cells);
    CHECK(uikittest::near(uikittest::probe(whole, 5, 5, 1), 255, 0, 0));
}

TEST_CASE("images draw upright, whole and in nine parts") {
    // A 6 x 6 image: red top half, blue bottom half.
    UIGraphicsBeginImageContextWithOptions({6, 6}, true, 1);
    CGContextSetFillColorWithColor(UIGraphicsGetCurrentContext(), uikittest::rgb(1, 0, 0));
    CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 6, 3));
    CGContextSetFillColorWithColor(UIGraphicsGetCurrentContext(), uikittest::rgb(0, 0, 1));
    CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 3, 6, 3));
    auto halves = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    REQUIRE(halves);

    for (const auto& image : {halves, halves->resizableImageWithCapInsets({2, 2, 2, 2})}) {
        CAPTURE(image->capInsets().top);
        UIGraphicsBeginImageContextWithOptions({30, 30}, true, 1);
        image->drawInRect(CGRectMake(0, 0, 30, 30));
        auto out = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        REQUIRE(out);
        CHECK(uikittest::near(uikittest::probe(out->CGImage(), 15, 1, 1), 255, 0, 0));
        CHECK(uikittest::near(uikittest::probe(out->CGImage(), 1, 1, 1), 255, 0, 0));
        CHECK(uikittest::near(uikittest::probe(out->CGImage(), 15, 28, 1), 0, 0, 255));
        CHECK(uikittest::near(uikittest::probe(out->CGImage(), 28, 28, 1), 0, 0, 255));
    }
}

TEST_CASE("a pattern colour fills by tiling its image from the origin") {
    // A 4 x 4 tile: red left half, blue right half.
    UIGraphicsBeginImageContextWithOptions({4, 4}, true, 1);
    CGContextSetFillColorWithColor(UIGraphicsGetCurrentContext(), uikittest::rgb(1, 0, 0));
    CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 2, 4));
    CGContextSetFillColorWithColor(UIGraphicsGetCurrentContext(), uikittest::rgb(0, 0, 1));
    CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(2, 0, 2, 4));
    auto tile = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    auto pattern = UIColor::colorWithPatternImage(tile);
    REQUIRE(pattern);
    CHECK(pattern->patternImage() == tile);
    CHECK(pattern->alpha() == 0);
    // Component reads know it is no plain colour.
    CHECK(CGColorSpaceGetModel(CGColorGetColorSpace(pattern->CGColor())) == kCGColorSpaceModelPattern);
    CGFloat red = -1, white = -1, hue = -1;
    CHECK_FALSE(pattern->getRed(&red, nullptr, nullptr, nullptr));
    CHECK_FALSE(pattern->getWhite(&white, nullptr));
    CHECK_FALSE(pattern->getHue(&hue, nullptr, nullptr, nullptr));
    CHECK(red == -1);
    CHECK(UIColor::colorWithPatternImage(nullptr) == nullptr);

    UIGraphicsBeginImageContextWithOptions({20, 10}, true, 1);
    CGContextSetFillColorWithColor(UIGraphicsGetCurrentContext(), uikittest::rgb(1, 1, 1));
    CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 20, 10));
    pattern->fillRect(CGRectMake(5, 0, 12, 10));
    auto out = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    REQUIRE(out);
    auto image = out->CGImage();
    struct Probe {
        double x;
        int r, g, b;
    };
    // The grid starts at 0, not at the filled rectangle: tiles at 4, 8, 12 and 16, red then blue.
    for (const Probe& p : {Probe{2, 255, 255, 255}, Probe{5, 255, 0, 0}, Probe{7, 0, 0, 255}, Probe{8, 255, 0, 0}, Probe{10, 0, 0, 255},
                           Probe{16, 255, 0, 0}, Probe{18, 255, 255, 255}}) {
        CAPTURE(p.x);
        CHECK(uikittest::near(uikittest::probe(image, p.x + 0.5, 5, 1), p.r, p.g, p.b));
    }
}
