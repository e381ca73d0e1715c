// Protects the ad road as the application's screens use it, on the phone
// device screen with the real web engine against the real ad server, tapped
// through the device input: a banner at the bottom of the root controller's
// view shows its creative, one impression, a link tap that is a click (its
// ping, the signed click URL opened outside, the will-leave call) and a
// fragment tap that is none; an interstitial over it records its impression
// only when presented, shows full screen with its close button, opens its link
// inside itself, pauses the banner's refresh while up, and closes once with
// the screen, status bar, idle timer and banner refresh given back; and a
// guarded banner's "open" sent by its script alone opens nothing (the core
// page hears "navigationBlocked") until a real tap.
#include <doctest/doctest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "InterstitialTestSupport.h"
#include "ServedScreenRoad.h"
#include "SlotEngineRoad.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/requests/AKBannerView.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/WebViewSupport.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIButton.h"

using adkittest::drainMainQueue;
using adkittest::waitFor;
using devicescreentest::near;
using devicescreentest::probe;

namespace {

using screenroad::kWhite;
using screenroad::BannerHeard;
using screenroad::kBannerBlue;
using screenroad::kInterstitialRed;

nlohmann::json units() {
    auto banner = screenroad::creativeUnit("banner.html", "banner", "/adnet/ping/click");
    banner["headers"]["X-Adnet-Refresh-Rate"] = "30";
    auto guarded = screenroad::creativeUnit("banner.html", "guarded", "/adnet/ping/click");
    guarded["page"] = {{"mode", "url"}, {"enable_auto_click_protection", "1"}};
    return {{"banner", banner},
            {"guarded", guarded},
            {"interstitial", screenroad::creativeUnit("interstitial.html", "interstitial", "/adnet/ping/click")}};
}

// Starts the library's absolute milliseconds (a click needs 150 of them after
// the load) on the real clock if no test has, then runs virtual time from past
// any start an earlier test's virtual clock gave them, so that they move with it.
struct ScreenRoadTime {
    struct AbsoluteTimeStarted {
        AbsoluteTimeStarted() { (void)AKAbsoluteTime::absoluteTimeInMilliseconds(); }
    } absoluteTimeStarted;
    adkittest::VirtualTime time{5.0e9};
};

// The ad server with a banner and an interstitial unit; real openers; the
// application active; virtual time; a white root view on the served phone screen.
struct ScreenRoad : slotroad::EngineSlots, ScreenRoadTime, screenroad::ServedScreen {
    ScreenRoad() : EngineSlots(units()) {}

    std::size_t pings(const std::string& path, const std::string& unit) const {
        return static_cast<std::size_t>(std::ranges::count(loggedQuery(path, "unit"), unit));
    }
    std::size_t adRequests(const std::string& unit) const {
        return static_cast<std::size_t>(std::ranges::count(loggedQuery(slotroad::kAdPath, "slotname"), unit));
    }
    // The core page's log entries of page events of a name.
    std::vector<nlohmann::json> corePageEvents(const std::string& name) const {
        return pageLogEntries("receiveMessage", "name", name, "payload");
    }
    static void advance(double seconds) {
        Clock::advance(seconds);
        drainMainQueue();
    }
};

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("screen road: a banner at the bottom and an interstitial over it, shown, tapped and closed on the phone screen") {
    ScreenRoad road;
    const auto app = UIApplication::sharedApplication();
    const auto bannerHeard = std::make_shared<BannerHeard>();
    const auto banner = road.showBanner("banner", bannerHeard);
    CHECK(bannerHeard->joined() == "didReceiveAd");
    waitFor([&] { return road.pings(slotroad::kImpressionPath, "banner") == 1; }, "the banner's impression ping");
    auto shot = road.frame("screen-road-banner");
    CHECK(near(probe(shot, 100, 543), kBannerBlue));
    CHECK(near(probe(shot, 100, 510), kWhite));  // just above it

    // A tap on its link: a click, opened outside with the signed click URL.
    const std::string click = road.server.origin("https") + "/adnet/click?ai=banner-320x50";
    road.advance(1);  // a person's tap comes after the ad shows (a tap at once is no click)
    road.tap(CGPointMake(100, 543));
    waitFor([&] { return road.pings("/adnet/ping/click", "banner") == 1; }, "the banner's click ping");
    REQUIRE(road.opened().size() == 1);
    const std::string opened = road.opened().back();
    CHECK(opened.starts_with(click + "&"));  // the signal parameter follows "ai"
    CHECK(bannerHeard->count("willLeave") == 1);
    // A tap on its fragment link: no click.
    road.tap(CGPointMake(290, 543));
    waitFor([&] { return slotroad::EngineSlots::evaluate(*banner->slot(), "location.hash") == "#details"; },
            "the banner's page at its fragment");
    drainMainQueue();
    CHECK(road.opened().size() == 1);
    CHECK(road.pings("/adnet/ping/click", "banner") == 1);
    CHECK(bannerHeard->count("willLeave") == 1);

    // The interstitial: ready, but no impression until it is presented.
    const bool barHidden = app->isStatusBarHidden(), idleOff = app->isIdleTimerDisabled();
    const auto heard = std::make_shared<interstitialtest::Heard>();
    auto interstitial = AKInterstitial::make();
    interstitial->setAdUnitID("interstitial");
    interstitial->setDelegate(heard);
    interstitial->loadRequest(AKRequest::request());
    waitFor([&] { return heard->count("didReceive") == 1; }, "the interstitial's ad");
    CHECK(interstitial->isReady());
    drainMainQueue();
    CHECK(road.pings(slotroad::kImpressionPath, "interstitial") == 0);
    interstitial->presentFromRootViewController(road.screen.root);
    CHECK(heard->joined() == "didReceive; willPresent");
    auto controller = interstitialtest::shown(road.screen);
    REQUIRE(controller);
    waitFor([&] { return controller->isViewVisible(); }, "the interstitial on screen");
    waitFor([&] { return road.pings(slotroad::kImpressionPath, "interstitial") == 1; }, "the interstitial's impression");
    CHECK_FALSE(banner->slot()->hasReloadTimer());  // the banner's refresh waits
    CHECK(app->isStatusBarHidden());
    CHECK(app->isIdleTimerDisabled());

    // Full screen, over the banner, with its close button in the top left corner.
    road.waitForPaint(*controller->webView()->webView(), {160, 100}, kInterstitialRed, "the interstitial");
    shot = road.frame("screen-road-interstitial");
    CHECK(near(probe(shot, 160, 100), kInterstitialRed));
    CHECK(near(probe(shot, 160, 543), kInterstitialRed));
    CHECK(controller->closeButton()->frame() == CGRectMake(0, 0, 32, 32));
    CHECK_FALSE(near(probe(shot, 16, 16), kInterstitialRed));

    // A tap on its link opens the landing page inside it, not outside.
    road.tap(CGPointMake(160, 0.4 * 568 + 30));
    waitFor([&] { return !road.logged("/adnet/landing").empty(); }, "the landing page inside the interstitial");
    CHECK(road.loggedQuery("/adnet/click", "ai") == std::vector<std::string>{"interstitial"});
    CHECK(road.opened().size() == 1);
    road.advance(31);  // past the banner's refresh interval: it waits while the interstitial is up
    CHECK(road.adRequests("banner") == 1);

    // The close button: the screen given back once, with the status bar and idle timer.
    road.tap(interstitialtest::centre(*controller->closeButton()));
    waitFor([&] { return heard->count("willDismiss") == 1; }, "the interstitial's will-dismiss");
    waitFor([&] { return !road.screen.root->presentedViewController(); }, "the interstitial to go");
    controller.reset();
    waitFor([&] { return heard->last() == "didDismiss"; }, "the interstitial's did-dismiss");
    CHECK(heard->joined() == "didReceive; willPresent; willDismiss; didDismiss");
    CHECK(road.screen.count(kAdModalViewControllerWillPresentFullScreen) == 1);
    CHECK(road.screen.count(kAdModalViewControllerDidDismissFullScreen) == 1);
    CHECK(app->isStatusBarHidden() == barHidden);
    CHECK(app->isIdleTimerDisabled() == idleOff);
    CHECK(banner->slot()->hasReloadTimer());
    road.advance(31);
    waitFor([&] { return bannerHeard->count("didReceiveAd") == 2; }, "the banner's refresh");
    CHECK(road.adRequests("banner") == 2);
    road.waitForPaint(*banner->webView()->webView(), {100, 25}, kBannerBlue, "the refreshed banner");
    shot = road.frame("screen-road-after");
    CHECK(near(probe(shot, 100, 543), kBannerBlue));
    CHECK(near(probe(shot, 160, 100), kWhite));
}

TEST_CASE("screen road: an open message a banner's script sends by itself is blocked and told to the core page, one after a tap opens") {
    ScreenRoad road;
    const auto app = UIApplication::sharedApplication();
    const auto heard = std::make_shared<BannerHeard>();
    const auto banner = road.showBanner("guarded", heard);
    REQUIRE(banner->slot()->webViewDelegate()->opener()->autoClickProtected());
    const std::string landing = road.server.origin("https") + "/adnet/landing";
    const std::string send = "location.href = 'amsg://x/open?u=' + encodeURIComponent('" + landing + "'); 'sent'";
    const std::string sent = "amsg://x/open?u=" + stringByAddingPercentEncodingWithAllowedCharacters(landing, URLUnreservedCharacters());

    road.advance(1);
    CHECK(slotroad::EngineSlots::evaluate(*banner->slot(), send) == "sent");
    waitFor([&] { return !road.corePageEvents("navigationBlocked").empty(); }, "the core page told of the blocked open");
    CHECK(road.corePageEvents("navigationBlocked").front() == nlohmann::json{{"navigationURL", sent}});
    CHECK(road.opened().empty());
    CHECK(heard->count("willLeave") == 0);

    // A tap on the page (its fragment link, itself no click): the same message now opens.
    road.tap(CGPointMake(290, 543));
    waitFor([&] { return slotroad::EngineSlots::evaluate(*banner->slot(), "location.hash") == "#details"; },
            "the banner's page at its fragment");
    CHECK(road.opened().empty());
    CHECK(slotroad::EngineSlots::evaluate(*banner->slot(), send) == "sent");
    waitFor([&] { return road.opened().size() == 1; }, "the application to open the landing page");
    CHECK(road.opened().front() == landing);
    CHECK(heard->count("willLeave") == 1);
    CHECK(road.corePageEvents("navigationBlocked").size() == 1);
}

TEST_SUITE_END();
