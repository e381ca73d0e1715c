// Protects swipe to store: the settings an ad's response carries, the swipe's
// progress rule, and the road on the real web engine against the ad server on
// the phone device screen: a creative that turns the swipe on itself, finger
// paths of the device input outside and inside its rectangle, the store sheet
// following the finger (pixel probes) and finishing or sliding back with the
// page told, "onAdVisible" once per change of its values, a new ad leaving the
// sheet on screen out of the cache, and Done closing the sheet into the
// application's cache.
#include <doctest/doctest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "InterstitialTestSupport.h"
#include "SlotEngineRoad.h"
#include "adkit/foundation/AKApplication.h"
#include "adkit/rendering/AKPercentDrivenUserInteractionAnimationController.h"
#include "adkit/rendering/AKSlotSwipeToViewController.h"
#include "adkit/rendering/AKSwipeToViewControllerConfigurations.h"
#include "adkit/requests/AKBannerView.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/WebViewSupport.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIPanGestureRecognizer.h"

using adkittest::drainMainQueue;
using adkittest::waitFor;
using devicescreentest::near;
using devicescreentest::probe;

TEST_CASE("swipe settings are read from the response's dictionary") {
    using Rects = std::vector<CGRect>;
    const Value good{{"x", 0}, {"y", 0}, {"width", 160}, {"height", 50}};
    struct Row {
        const char* what;
        Value dictionary;
        double duration;
        std::optional<Rects> rectangles;
        bool hasProduct;
    };
    const Row rows[] = {
        {"all given", Value{{"app_store_product_id", 42}, {"swipeable_rectangles", Value(ValueArray{good})},
                            {"swipe_animation_transition_duration", 0.5}},
         0.5, Rects{CGRectMake(0, 0, 160, 50)}, true},
        {"duration 0", Value{{"swipe_animation_transition_duration", 0}}, 1.0, std::nullopt, false},
        {"duration absent", Value::dictionary(), 1.0, std::nullopt, false},
        {"duration negative", Value{{"swipe_animation_transition_duration", -2}}, 1.0, std::nullopt, false},
        {"one malformed rectangle, one good",
         Value{{"swipeable_rectangles", Value(ValueArray{Value{{"x", "1"}, {"y", 0}, {"width", 1}, {"height", 1}},
                                                         Value("no"), good})}},
         1.0, Rects{CGRectMake(0, 0, 160, 50)}, false},
        {"no good rectangle", Value{{"swipeable_rectangles", Value(ValueArray{Value{{"x", 1}}})}}, 1.0, std::nullopt,
         false},
        {"product ID as text", Value{{"app_store_product_id", "42"}}, 1.0, std::nullopt, false},
        {"not a dictionary", Value("text"), 1.0, std::nullopt, false},
    };
    for (const auto& row : rows) {
        CAPTURE(row.what);
        const auto settings = AKSwipeToViewControllerConfigurations::initWithSwipeConfigurations(row.dictionary);
        REQUIRE(settings);
        CHECK(settings->swipeAnimationTransitionDuration() == row.duration);
        CHECK(settings->swipeableRectangles() == row.rectangles);
        CHECK(static_cast<bool>(settings->swipeableInAppStoreProductID()) == row.hasProduct);
        CHECK(settings->swipeDirection() == AKSwipeDirectionNone);
        CHECK_FALSE(settings->isAdDraggable());
    }
}

TEST_CASE("swipe progress runs from the finger's start to the screen's edge, 0 without room, within 0 to 1") {
    using C = AKPercentDrivenUserInteractionAnimationController;
    struct Row {
        AKSwipeDirection direction;
        double y, startY, expected;
    };
    const Row rows[] = {
        {AKSwipeDirectionTopToBottom, 334, 100, 0.5}, {AKSwipeDirectionBottomToTop, 200, 400, 0.5},
        {AKSwipeDirectionNone, 200, 400, 0.5},        {AKSwipeDirectionTopToBottom, 568, 568, 0},  // at the bottom edge
        {AKSwipeDirectionBottomToTop, 0, 0, 0},       // at the top
        {AKSwipeDirectionTopToBottom, 50, 100, 0},    {AKSwipeDirectionBottomToTop, -100, 400, 1},
    };
    for (const auto& row : rows) {
        CAPTURE(row.direction);
        CAPTURE(row.y);
        const double progress = C::progressFor(row.direction, row.y, row.startY, 568);
        CHECK(std::isfinite(progress));
        CHECK(progress == doctest::Approx(row.expected));
    }
}

namespace {

constexpr CGPixel kYellow{0xFF, 0xEB, 0x3B, 255};
constexpr CGPixel kWhite{255, 255, 255, 255};
constexpr CGPixel kGreen{0x2E, 0x7D, 0x32, 255};
constexpr const char* kProductID = "364709193";

nlohmann::json swipeOrder() {
    const nlohmann::json settings = {
        {"app_store_product_id", 364709193},
        {"swipeable_rectangles", {{{"x", 0}, {"y", 0}, {"width", 160}, {"height", 50}}, {{"x", "bad"}}}},
        {"swipe_event_creative_metadata", {{"campaign", "c1"}}},
        {"swipe_animation_transition_duration", 0.5}};
    const nlohmann::json unit = {{"file", "adnet/static/creatives/swipe.html"},
                                 {"headers", {{"X-Adnet-Swipe-To-View-Controller", settings.dump()}}}};
    nlohmann::json intervals = nlohmann::json::array();
    for (int i = 0; i < 60; ++i) intervals.push_back(1);
    return {{"units", {{"swipe", unit}}}, {"constants", {{"active_view_sampling_intervals", intervals.dump()}}}};
}

struct BannerHeard : AKBannerViewDelegate {
    int received = 0;
    void adViewDidReceiveAd(AKBannerView&) override { ++received; }
};

// The ad server with the swipe unit; the application active; virtual time; a
// yellow root view on the served phone screen with the banner at y 75.
struct SwipeRoad : slotroad::EngineRoadBase {
    adkittest::VirtualTime time{5.0e9};
    devicescreentest::SavedDevice saved;
    UIApplicationState stateBefore = UIApplication::sharedApplication()->applicationState();
    interstitialtest::Screen screen;
    std::unique_ptr<DeviceScreenServer> device;
    std::shared_ptr<BannerHeard> heard = std::make_shared<BannerHeard>();
    std::shared_ptr<AKBannerView> banner;

    SwipeRoad() : EngineRoadBase(swipeOrder()) {
        UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);
        AKApplication::sharedApplication()->setDiscardableStoreProductViewControllerAppCacheMaxSize(2);
        screen.root->view()->setBackgroundColor(devicescreentest::rgb(1, 0xEB / 255.0, 0x3B / 255.0));
        DeviceScreenServerOptions options;
        options.port = 0;
        std::string error;
        device = DeviceScreenServer::start(options, error);
        REQUIRE_MESSAGE(device, error);
        banner = AKBannerView::makeWithAdSizeOrigin(kAKAdSizeBanner, CGPointMake(0, 75));
        REQUIRE(banner);
        banner->setAdUnitID("swipe");
        banner->setDelegate(heard);
        banner->setRootViewController(screen.root);
        screen.root->view()->addSubview(banner);
        banner->loadRequest(AKRequest::request());
        waitFor([&] { return heard->received == 1; }, "the banner's ad");
        waitFor([&] {
            const auto pixel = webtest::layerPixel(*banner->webView()->webView(), 100, 25);
            return pixel && near(*pixel, kGreen);
        }, "a painted frame of the swipe creative");
    }
    ~SwipeRoad() {
        banner->removeFromSuperview();
        banner.reset();
        device.reset();
        AKApplication::sharedApplication()->setDiscardableStoreProductViewControllerAppCacheMaxSize(0);
        UIApplication::sharedApplication()->setApplicationState(stateBefore);
    }

    std::shared_ptr<AKSlotSwipeToViewController> swipe() const {
        return AKSlotSwipeToViewController::forSlot(*banner->slot());
    }
    // The page events the creative heard, of one name.
    std::vector<nlohmann::json> pageHeard(const std::string& name) const {
        const auto all = nlohmann::json::parse(
            slotroad::EngineSlots::evaluate(*banner->slot(), "JSON.stringify(window.heard)"), nullptr, false);
        std::vector<nlohmann::json> found;
        if (all.is_array())
            for (const auto& event : all)
                if (event.value("name", "") == name) found.push_back(event["payload"]);
        return found;
    }
    void waitForPage(const std::string& name, std::size_t count) {
        waitFor([&] { return pageHeard(name).size() == count; },
                "\"" + name + "\" heard " + std::to_string(count) + " times by the page");
    }
    void advance(double seconds) {
        Clock::advance(seconds);
        drainMainQueue();
    }
    // Starts a finger path; the test moves the clock.
    std::shared_ptr<std::optional<DeviceInputResult>> drag(std::vector<DeviceDragPoint> path) {
        auto result = std::make_shared<std::optional<DeviceInputResult>>();
        device->input().dragAlong(std::move(path), [result](const DeviceInputResult& r) { *result = r; });
        return result;
    }
    // Moves the clock in steps of 50 ms past the path's last point (2 s), then waits for the path's end: each point
    // is a timer the timer thread hands to the main queue once the clock reaches it, which a busy machine may delay
    // past any number of quick steps (a point whose time has passed is delivered as soon as it is handed over).
    void finish(const std::shared_ptr<std::optional<DeviceInputResult>>& result) {
        for (int i = 0; i < 50 && !result->has_value(); ++i) advance(0.05);
        waitFor([&] { return result->has_value(); }, "the finger path to be carried out");
        CHECK((*result)->delivered);
    }
    CGImageRef frame(const std::string& name) { return devicescreentest::servedFrame(*device, name).first; }
};

// Down at y 90 in the ad's left half, a pan from y 100, held at 334, then
// lifted moving down or up.
std::vector<DeviceDragPoint> swipePath(double x, bool releaseDown) {
    return {{{x, 90}, 0}, {{x, 100}, 0.05}, {{x, 334}, 0.1}, {{x, releaseDown ? 340.0 : 320.0}, 2.0}};
}

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("swipe road: the creative turns the swipe on, the store sheet follows the finger and is closed into the cache") {
    adkittest::QuietLog quiet;
    SwipeRoad road;
    const auto swipe = road.swipe();
    // "onAdVisible": once for the first sample, again only when a value changes.
    road.advance(1);
    road.waitForPage("onAdVisible", 1);
    const auto first = road.pageHeard("onAdVisible")[0];
    CHECK(first["creativeFrame"] == nlohmann::json{{"x", 0}, {"y", 75}, {"width", 320}, {"height", 50}});
    CHECK(first["deviceOrientation"] == "portrait");
    CHECK(first["anySuperViewScrollable"] == "0");
    // The creative answers it by turning the swipe on.
    waitFor([&] { return swipe->swipeToViewControllerEnabled(); }, "the creative's message turning the swipe on");
    REQUIRE(swipe->swipeGestureRecognizer());
    CHECK(swipe->swipeGestureRecognizer()->view() == road.banner);
    CHECK(swipe->animation()->direction == AKSwipeDirectionTopToBottom);
    CHECK(swipe->animation()->draggableView == road.banner);
    for (int i = 0; i < 3; ++i) road.advance(1);
    CHECK(road.pageHeard("onAdVisible").size() == 1);
    road.banner->setFrame(CGRectMake(0, 80, 320, 50));
    road.advance(1);
    road.waitForPage("onAdVisible", 2);
    CHECK(road.pageHeard("onAdVisible")[1]["creativeFrame"]["y"] == 80);
    road.banner->setFrame(CGRectMake(0, 75, 320, 50));
    road.advance(1);
    road.waitForPage("onAdVisible", 3);
    for (int i = 0; i < 3; ++i) road.advance(1);
    CHECK(road.pageHeard("onAdVisible").size() == 3);

    // Outside the rectangles (the ad's right half): the gesture is cancelled and re-armed.
    road.finish(road.drag(swipePath(250, true)));
    waitFor([&] { return swipe->swipeGestureRecognizer()->isEnabled(); }, "the recogniser armed again");
    CHECK_FALSE(road.screen.root->presentedViewController());
    CHECK(road.pageHeard("onSwipeableViewControllerPresentationCanceled").empty());

    // Inside, released moving up: the sheet follows the finger half-way, then slides back.
    const auto& controller = swipe->animationController();
    auto up = road.drag(swipePath(80, false));
    road.advance(0.15);  // past the move to 334; the finger stays there until 2 s
    waitFor([&] { return controller->transitionContext() && std::abs(controller->percentComplete() - 0.5) < 1e-9; },
            "the sheet's transition under way at the finger's 0.5");
    REQUIRE(swipe->swipeableStoreProductViewController());
    CHECK(road.screen.root->presentedViewController() == swipe->swipeableStoreProductViewController());
    CHECK(controller->percentComplete() == doctest::Approx(0.5));
    CHECK(swipe->animation()->startY == 100);
    // The began state's cancel branch: the page heard it, the slot let itself go,
    // and the sheet still follows the finger.
    road.waitForPage("onSwipeableViewControllerPresentationCanceled", 1);
    CHECK_FALSE(swipe->strongSlotForSwipeToViewController());
    auto shot = road.frame("swipe-half-way");
    CHECK(near(probe(shot, 300, 200), kWhite));   // the sheet, down to 568 * 0.5 - 493 + 568
    CHECK(near(probe(shot, 300, 345), kGreen));   // the ad's snapshot on its way down
    CHECK(near(probe(shot, 300, 450), kYellow));  // the screen below
    road.finish(up);
    road.waitForPage("onSwipeableViewControllerPresentationCanceled", 2);
    CHECK(road.pageHeard("onSwipeableViewControllerPresentationCanceled")[1] == nlohmann::json{{"campaign", "c1"}});
    road.advance(0.5);
    waitFor([&] { return !road.screen.root->presentedViewController(); }, "the sheet slid back");
    shot = road.frame("swipe-slid-back");
    CHECK(near(probe(shot, 300, 200), kYellow));
    CHECK(near(probe(shot, 100, 100), kGreen));  // the ad itself

    // Inside, released moving down: the sheet stays.
    road.finish(road.drag(swipePath(80, true)));
    road.waitForPage("onSwipeableViewControllerPresentationFinished", 1);
    CHECK(road.pageHeard("onSwipeableViewControllerPresentationFinished")[0] == nlohmann::json{{"campaign", "c1"}});
    road.advance(0.5);
    waitFor([&] { return !controller->transitionContext(); }, "the sheet's transition finished");
    const auto sheet = swipe->swipeableStoreProductViewController();
    REQUIRE(sheet);
    CHECK(road.screen.root->presentedViewController() == sheet);
    CHECK(sheet->productID() == kProductID);
    shot = road.frame("swipe-sheet-up");
    CHECK(near(probe(shot, 300, 450), kWhite));
    CHECK(road.pageHeard("onSwipeableViewControllerPresentationCanceled").size() == 3);  // its began

    // A new ad while the sheet is up: the sheet stays with the swipe, not in the
    // cache where another ad could take it, until it is closed.
    road.banner->loadRequest(AKRequest::request());
    waitFor([&] { return road.heard->received == 2; }, "the banner's second ad");
    CHECK_FALSE(AKApplication::sharedApplication()->cachedStoreProductViewControllerForProductID(kProductID));
    CHECK(swipe->swipeableStoreProductViewController() == sheet);
    CHECK_FALSE(swipe->swipeToViewControllerEnabled());

    // Done: dismissed, the page told, the sheet back in the application's cache.
    const auto done = sheet->doneButton();
    const CGRect doneFrame = done->convertRectToView(done->bounds(), nullptr);
    std::optional<DeviceInputResult> tapped;
    road.device->input().tap(CGPointMake(CGRectGetMidX(doneFrame), CGRectGetMidY(doneFrame)),
                             [&](const DeviceInputResult& r) { tapped = r; });
    waitFor([&] { return tapped.has_value(); }, "the tap on Done");
    road.waitForPage("onSwipeToViewControllerDismissed", 1);
    CHECK(road.pageHeard("onSwipeToViewControllerDismissed")[0] == nlohmann::json{{"campaign", "c1"}});
    CHECK_FALSE(swipe->swipeableStoreProductViewController());
    road.advance(0.5);
    waitFor([&] { return !road.screen.root->presentedViewController() && !sheet->view()->window(); },
            "the sheet dismissed");
    CHECK(AKApplication::sharedApplication()->cachedStoreProductViewControllerForProductID(kProductID) == sheet);
    shot = road.frame("swipe-closed");
    CHECK(near(probe(shot, 300, 450), kYellow));
    CHECK(near(probe(shot, 100, 100), kGreen));
}

TEST_SUITE_END();
