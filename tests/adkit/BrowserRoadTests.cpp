// Protects the in-app browser and the click roads end to end, on the phone
// device screen with the real web engine against the real ad server, tapped
// through the device input: a banner link's click (the click chain followed
// once by the click ping, the click URL opened after the leave reports); the
// browser opened by the banner's page with the ad page's host as "Referer",
// its spinner and disabled open-outside button while a trickled page loads,
// reload, back and forward after a followed link, open outside (the URL opened
// and "pcbo"), with snapshots of its toolbar; over an interstitial, the status
// bar and idle timer given back exactly and the ad kept on the first return
// from outside and closed on the next; and fifty open and close cycles that
// leave no controller, web view or web process behind.
#include <doctest/doctest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "InterstitialTestSupport.h"
#include "ServedScreenRoad.h"
#include "SlotEngineRoad.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/rendering/AKBrowserViewController.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/requests/AKBannerView.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/WebViewSupport.h"
#include "platform/display/DeviceTree.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "support/HttpFetch.h"
#include "support/WebProcesses.h"

using adkittest::drainMainQueue;
using adkittest::waitFor;
using devicescreentest::Json;
using devicescreentest::near;
using devicescreentest::probe;

namespace {

constexpr CGPixel kOrange{0xEF, 0x6C, 0x00, 255};
constexpr CGPixel kBlue{0x15, 0x65, 0xC0, 255};
using screenroad::BannerHeard;
using screenroad::kInterstitialRed;

nlohmann::json units() {
    return {{"banner", screenroad::creativeUnit("banner.html", "banner", "/click/chain")},
            {"interstitial", screenroad::creativeUnit("interstitial.html", "interstitial", "/click/chain")}};
}

// The ad server with the two units on the served phone screen.
struct BrowserRoad : slotroad::EngineSlots, screenroad::ServedScreen {
    BrowserRoad() : EngineSlots(units()) {}

    std::string https(const std::string& path) const { return server.origin("https") + path; }
    using ServedScreen::tap;
    // A tap on the view the screen shows with the label (a toolbar item's accessibility label).
    void tap(const std::string& label) {
        DeviceTargetQuery query;
        query.label = label;
        const DeviceTarget target = DeviceTree::locate(query);
        REQUIRE_MESSAGE(target.status == DeviceTargetStatus::Found, target.message);
        tap(target.point);
    }
    // The node of the device screen's JSON tree with the label, or null.
    Json node(const std::string& label) {
        const Json tree = devicescreentest::fetch(device->port(), "GET", "/api/tree").json();
        std::function<const Json*(const Json&)> find = [&](const Json& n) -> const Json* {
            if (n.value("label", "") == label) return &n;
            if (n.contains("children"))
                for (const auto& child : n["children"])
                    if (const auto* found = find(child)) return found;
            return nullptr;
        };
        for (const auto& view : tree["views"])
            if (const auto* found = find(view)) return *found;
        return nullptr;
    }
    // The browser on top of the root's presentations.
    std::shared_ptr<AKBrowserViewController> browser() const {
        auto top = screen.root->presentedViewController();
        while (top && top->presentedViewController()) top = top->presentedViewController();
        return std::dynamic_pointer_cast<AKBrowserViewController>(top);
    }
    // The toolbar as the screen serves it: what stands in the middle and whether open-outside is on.
    void waitForToolbar(bool loading, const std::string& what) {
        // Taps reach it once it has appeared.
        waitFor([&] { return browser() && browser()->hasViewAppeared(); }, "the browser on screen");
        waitFor([&] {
            const Json middle = node(loading ? "Spinner" : "Reload");
            const Json outside = node("View in Safari");
            return !middle.is_null() && node(loading ? "Reload" : "Spinner").is_null() && !outside.is_null() &&
                   outside.value("enabled", !loading) == !loading;
        }, what);
    }
    // The browser showing the page, loaded, its toolbar following. The web view names the request
    // once it is let through, before its load starts: the document's status tells that it arrived.
    void waitForPage(const std::string& URL) {
        waitFor([&] {
            const auto shown = browser();
            const auto webView = shown ? shown->webView() : nullptr;
            const auto request = webView ? webView->request() : nullptr;
            return request && request->URL() == URL && !webView->isLoading() &&
                   webView->webView()->mainDocumentStatusCode().has_value();
        }, "the browser to show " + URL);
        waitForToolbar(false, "the toolbar of " + URL);
    }
    std::size_t requests(const std::string& path) const { return logged(path).size(); }
    // Whether the toolbar item's place on the served frame has ink of the black tint.
    bool inked(const CGImageRef& shot, const std::string& label) {
        const Json item = node(label);
        REQUIRE_MESSAGE(!item.is_null(), "no " << label << " on screen");
        // Within the screen: the toolbar reaches a point below its bottom edge.
        const CGRect place = CGRectInset(devicescreentest::rectOf(item["frame"]), 0, 2);
        return devicescreentest::anyPixel(shot, place,
                                          [](CGPixel p) { return p.r < 90 && p.g < 90 && p.b < 90; });
    }
    // The banner shown a moment (a person's tap comes after the ad shows: a tap at once is no click).
    std::shared_ptr<AKBannerView> showBanner(const std::shared_ptr<BannerHeard>& heard) {
        auto banner = ServedScreen::showBanner("banner", heard);
        const auto slot = banner->slot();
        waitFor([&] { return AKAbsoluteTime::absoluteTimeInMilliseconds() - slot->timeLastLoaded() > 300; },
                "the banner to have been shown a moment");
        return banner;
    }
    // The page of a web view sends an "open" message for the in-app browser.
    static void pageOpensBrowser(UIWebView& view, const std::string& URL) {
        const std::string message =
            "amsg://x/open?a=browser&u=" + stringByAddingPercentEncodingWithAllowedCharacters(URL, URLUnreservedCharacters());
        view.stringByEvaluatingJavaScriptFromString("location.href = '" + message + "'; 'sent'");
    }
};

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("browser road: a banner's click, then its browser loading a trickled page, reloading, going back and forth and opening outside") {
    BrowserRoad road;
    const auto heard = std::make_shared<BannerHeard>();
    const auto banner = road.showBanner(heard);
    const auto slot = banner->slot();

    // A tap on the banner's link: the click ping follows its chain once, the
    // click URL opens after the leave reports.
    road.tap(CGPointMake(100, 543));
    waitFor([&] { return road.requests("/click/cookie") == 1; }, "the click ping's chain to its end");
    CHECK(road.requests("/click/chain") == 1);
    CHECK(road.logged("/click/chain")[0]["scheme"] == "https");
    waitFor([&] { return road.opened().size() == 1; }, "the click URL opened");
    CHECK(road.opened()[0].starts_with(road.https("/adnet/click?ai=banner-320x50&")));
    CHECK(heard->joined() == "didReceiveAd; willLeave");
    CHECK(heard->openedAtLeave == std::vector<std::size_t>{0});
    drainMainQueue();
    CHECK(road.requests("/click/chain") == 1);

    // The page opens the browser on a trickled page: "Referer" is the ad page's host.
    const std::string trickle = road.https("/click/trickle?hold=road");
    BrowserRoad::pageOpensBrowser(*banner->webView()->webView(), trickle);
    waitFor([&] { return road.browser() != nullptr; }, "the browser presented");
    CHECK(heard->count("willPresent") == 1);
    waitFor([&] { return road.requests("/click/trickle") == 1; }, "the trickled page asked for");
    CHECK(road.logged("/click/trickle")[0]["headers"].value("Referer", "(none)") == "127.0.0.1");
    road.waitForToolbar(true, "the spinner while the page trickles in");
    CHECK(road.node("Back")["enabled"] == false);
    CHECK(road.node("Forward")["enabled"] == false);
    CHECK(road.node("Done")["accessibilityElement"] == true);
    auto shot = road.frame("browser-toolbar-loading");
    CHECK_FALSE(road.inked(shot, "View in Safari"));  // greyed while loading
    CHECK(road.inked(shot, "Done"));

    // The rest of the page: reload stands again, open-outside is on.
    CHECK(testtools::httpGet(road.server.origin("http") + "/click/release?hold=road").status == 204);
    road.waitForToolbar(false, "reload once the page has loaded");
    auto browser = road.browser();
    road.waitForPaint(*browser->webView()->webView(), {160, 300}, kOrange, "the trickled page");
    road.tap("Reload");
    waitFor([&] { return road.requests("/click/trickle") == 2; }, "the page asked for again");
    road.waitForToolbar(false, "the reloaded page");

    // A followed link, then back and forward.
    road.tap(CGPointMake(160, 100));
    waitFor([&] { return road.requests("/click/page/2") == 1; }, "the linked page");
    road.waitForPaint(*browser->webView()->webView(), {160, 300}, kBlue, "the linked page");
    road.waitForPage(road.https("/click/page/2"));
    road.waitForPaint(*browser->webView()->webView(), {160, 300}, kBlue, "the linked page");
    CHECK(road.node("Back")["enabled"] == true);
    CHECK(road.node("Forward")["enabled"] == false);
    shot = road.frame("browser-toolbar-back");
    CHECK(road.inked(shot, "Back"));
    CHECK_FALSE(road.inked(shot, "Forward"));
    CHECK(road.inked(shot, "Reload"));
    CHECK(road.inked(shot, "View in Safari"));
    CHECK(near(probe(shot, 160, 300), kBlue));
    road.tap("Back");
    road.waitForPaint(*browser->webView()->webView(), {160, 300}, kOrange, "the first page again");
    waitFor([&] { return road.node("Forward").value("enabled", false); }, "forward enabled");
    CHECK(road.node("Back")["enabled"] == false);
    road.tap("Forward");
    road.waitForPaint(*browser->webView()->webView(), {160, 300}, kBlue, "the linked page again");
    waitFor([&] { return road.node("Back").value("enabled", false); }, "back enabled again");

    // Open outside: the page opens in the platform, counted as "pcbo".
    road.tap("View in Safari");
    waitFor([&] { return road.opened().size() == 2; }, "the page opened outside");
    CHECK(road.opened()[1] == road.https("/click/page/2"));
    CHECK(slot->adStatistic("pcbo").boolValue());
    CHECK(heard->joined() == "didReceiveAd; willLeave; willPresent; willLeave");
    CHECK(heard->openedAtLeave == std::vector<std::size_t>{0, 1});

    road.tap("Done");
    waitFor([&] { return !road.screen.root->presentedViewController(); }, "the browser to go");
    browser.reset();
    waitFor([&] { return heard->count("didDismiss") == 1; }, "the banner's did-dismiss");
    CHECK(heard->count("willDismiss") == 1);
}

TEST_CASE("browser road: over an interstitial the status bar and idle timer come back exactly, and after opening outside the first return keeps the ad") {
    BrowserRoad road;
    const auto app = UIApplication::sharedApplication();
    app->setStatusBarHidden(false);
    app->setIdleTimerDisabled(false);
    const auto heard = std::make_shared<interstitialtest::Heard>();
    auto interstitial = AKInterstitial::make();
    interstitial->setAdUnitID("interstitial");
    interstitial->setDelegate(heard);
    interstitial->loadRequest(AKRequest::request());
    waitFor([&] { return heard->count("didReceive") == 1; }, "the interstitial's ad");
    interstitial->presentFromRootViewController(road.screen.root);
    auto controller = interstitialtest::shown(road.screen);
    REQUIRE(controller);
    waitFor([&] { return controller->isViewVisible(); }, "the interstitial on screen");
    road.waitForPaint(*controller->webView()->webView(), {160, 100}, kInterstitialRed, "the interstitial");
    UIWebView& page = *controller->webView()->webView();

    // A browser over it and closed: the ad's screen, status bar and idle timer stay as the ad set them.
    BrowserRoad::pageOpensBrowser(page, road.https("/click/page/1"));
    road.waitForPage(road.https("/click/page/1"));
    const std::weak_ptr<AKBrowserViewController> firstBrowser = road.browser();
    CHECK(road.screen.count(kAdModalViewControllerWillPresentFullScreen) == 2);
    CHECK(app->isStatusBarHidden());
    CHECK(app->isIdleTimerDisabled());
    road.tap("Done");
    waitFor([&] { return !road.browser() && road.screen.root->presentedViewController() == controller; },
            "the browser to go, the interstitial to stay");
    CHECK(road.screen.count(kAdModalViewControllerDidDismissFullScreen) == 1);
    CHECK(app->isStatusBarHidden());
    CHECK(app->isIdleTimerDisabled());
    // Released, the browser tells the slot it went; the publisher, who heard no
    // will-present of it, hears no did-dismiss while the interstitial stays.
    waitFor([&] { return firstBrowser.expired(); }, "the closed browser released");
    drainMainQueue();
    CHECK(heard->joined() == "didReceive; willPresent");

    // Again, and out to the platform's browser: back once the ad stays, back again it closes.
    BrowserRoad::pageOpensBrowser(page, road.https("/click/page/1?again"));
    road.waitForPage(road.https("/click/page/1?again"));
    road.tap("View in Safari");
    waitFor([&] { return road.opened().size() == 1; }, "the landing page opened outside");
    CHECK(road.opened()[0] == road.https("/click/page/1?again"));
    const auto backToTheApplication = [&] {
        app->setApplicationState(UIApplicationStateBackground);
        app->setApplicationState(UIApplicationStateInactive);
        NSNotificationCenter::defaultCenter()->postNotificationName(UIApplicationWillEnterForegroundNotification);
        app->setApplicationState(UIApplicationStateActive);
        // What the controllers queued on the main operation queue has run.
        bool reached = false;
        NSOperationQueue::mainQueue()->addOperationWithBlock([&] { reached = true; });
        waitFor([&] { return reached; }, "the main operation queue to run what was queued before");
        drainMainQueue();
    };
    backToTheApplication();
    CHECK(road.screen.root->presentedViewController() == controller);
    CHECK(road.browser() != nullptr);
    CHECK(heard->joined() == "didReceive; willPresent; willLeave");
    backToTheApplication();
    waitFor([&] { return !road.screen.root->presentedViewController(); }, "the interstitial to go");
    controller.reset();
    waitFor([&] { return heard->last() == "didDismiss"; }, "the interstitial's did-dismiss");
    CHECK(heard->joined() == "didReceive; willPresent; willLeave; willDismiss; didDismiss");
    CHECK(road.screen.count(kAdModalViewControllerWillPresentFullScreen) == 3);
    // The browser did not relinquish (the interstitial's dismissal took it
    // away), yet each presentation's notifications pair up.
    CHECK(road.screen.count(kAdModalViewControllerDidDismissFullScreen) == 3);
    CHECK_FALSE(app->isStatusBarHidden());
    CHECK_FALSE(app->isIdleTimerDisabled());
}

TEST_CASE("browser road: fifty open and close cycles leave no browser, web view or web process behind") {
    BrowserRoad road;
    const auto heard = std::make_shared<BannerHeard>();
    const auto banner = road.showBanner(heard);
    const auto opener = banner->slot()->webViewDelegate()->opener();
    opener->setViewController(road.screen.root);
    const std::size_t processes = testsupport::webProcessCount();
    const std::size_t engineViews = UIWebView::liveEngineViewCount();
    std::vector<std::weak_ptr<AKBrowserViewController>> controllers;
    std::vector<std::weak_ptr<AKWebView>> webViews;
    constexpr int kCycles = 50;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        CAPTURE(cycle);
        opener->openBrowserToURL(road.https("/click/page/2?cycle=" + std::to_string(cycle)), AKSupportedOrientationsAny);
        auto browser = road.browser();
        REQUIRE(browser);
        waitFor([&] {
            return road.requests("/click/page/2") == static_cast<std::size_t>(cycle + 1) && browser->webView() &&
                   !browser->webView()->isLoading();
        }, "the page loaded in the browser");
        controllers.push_back(browser);
        webViews.push_back(browser->webView());
        browser->relinquishScreen();  // what Done does
        browser.reset();
        waitFor([&] { return !road.screen.root->presentedViewController(); }, "the browser to go");
    }
    const auto allGone = [](const auto& weaks) {
        return std::ranges::all_of(weaks, [](const auto& weak) { return weak.expired(); });
    };
    waitFor([&] { return allGone(controllers); }, "every browser controller released");
    waitFor([&] { return allGone(webViews); }, "every browser web view released");
    adkittest::RenderingScope::emptyPool();  // the pooled engine views the browsers gave back
    waitFor([&] { return UIWebView::liveEngineViewCount() <= engineViews; }, "the engine views back to their count");
    waitFor([&] { return testsupport::webProcessCount() <= processes; }, "the web processes back to their count");
    CHECK(heard->count("willPresent") == static_cast<std::size_t>(kCycles));
    waitFor([&] { return heard->count("didDismiss") == static_cast<std::size_t>(kCycles); }, "every did-dismiss");
}

TEST_SUITE_END();
