// Protects rich-media expansion and web apps end to end, on the phone device
// screen with the real web engine, slot, banner, interstitial and core page
// against the real ad server: a banner's expand() moves its own web view full
// screen with its snapshot in the banner's place and close() brings it back
// (events, notifications and slot calls once each), a custom close is an
// invisible top-right tap target, expand(url) opens a second page that gets
// the expanded script and closes itself, resize opens nothing, an
// interstitial is viewable from "onshow" until closed, and many web apps and
// expansions leave no controller, web view or web process behind.
#include <doctest/doctest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "InterstitialTestSupport.h"
#include "ServedScreenRoad.h"
#include "SlotEngineRoad.h"
#include "adkit/foundation/AKViewUtilities.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/rendering/AKIntrinsicImages.h"
#include "adkit/rendering/AKMRAIDInterceptor.h"
#include "adkit/requests/AKBannerView.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/WebViewSupport.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "support/AdPeer.h"
#include "support/WebProcesses.h"

using adkittest::drainMainQueue;
using adkittest::waitFor;
using devicescreentest::near;
using devicescreentest::probe;
using screenroad::kBannerFrame;
using screenroad::kWhite;

namespace {

constexpr CGPixel kBannerGreen{0x2a, 0x7a, 0x4a, 255};
constexpr CGPixel kExpandedPurple{0x7a, 0x2a, 0x6a, 255};
constexpr CGPixel kSecondPageWine{0x6b, 0x24, 0x47, 255};

// A rich-media test creative with its reporter inline (the ad server serves
// the page's body; the fixtures folder is not under its document root).
std::string creative(const std::string& file, const std::string& extraScript = "") {
    const auto read = [](const std::string& name) {
        const auto data = dataWithContentsOfFile(testsupport::AdPeer::creativesRoot() + "/" + name);
        REQUIRE(data);
        return stringFromData(*data);
    };
    std::string page = read(file);
    const std::string include = "<script src=\"mraid-probe.js\"></script>";
    const auto at = page.find(include);
    REQUIRE(at != std::string::npos);
    page.replace(at, include.size(), "<script>" + read("mraid-probe.js") + "</script><script>" + extraScript + "</script>");
    return page;
}

nlohmann::json units() {
    // The banner's page turns purple while expanded, so the expanded screen
    // and the snapshot left in the banner differ.
    const std::string purpleWhenExpanded =
        "mraid.addEventListener('stateChange', function (s) {"
        " document.body.style.background = s === 'expanded' ? '#7a2a6a' : ''; });";
    return {{"mraid-banner", slotroad::htmlUnit(creative("mraid-banner.html", purpleWhenExpanded))},
            {"mraid-second", slotroad::htmlUnit(creative("mraid-expanded.html"))},
            {"mraid-interstitial", slotroad::htmlUnit(creative("mraid-interstitial.html"))}};
}

// One report of a creative ("mraidProbe" page message) and the web view that sent it.
struct Probe {
    const NSObject* page;
    Value fields;
    std::string operator[](const char* key) const { return fields[key].stringValue(); }
};

// The ad server with the rich-media units; the library's own openers; a white
// root view on the served phone screen; every creative's reports kept.
struct ExpandRoad : slotroad::EngineSlots {
    devicescreentest::SavedDevice saved;
    UIApplicationState stateBefore = UIApplication::sharedApplication()->applicationState();
    interstitialtest::Screen screen;
    screenroad::PhoneScreen phone;
    std::shared_ptr<screenroad::BannerHeard> heard = std::make_shared<screenroad::BannerHeard>();
    std::shared_ptr<NSObject> observer = std::make_shared<NSObject>();
    std::vector<Probe> probes;
    std::vector<std::weak_ptr<AKWebAppViewController>> presented;  // every web-app controller presented

    ExpandRoad() : EngineSlots(units()) {
        AKOpener::setFactory(nullptr);
        UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);
        screen.root->view()->setBackgroundColor(devicescreentest::rgb(1, 1, 1));
        // A web app's page is watched from its presentation on, before it loads.
        NSNotificationCenter::defaultCenter()->addObserver(
            observer,
            [this](const NSNotification& note) {
                if (const auto webApp = std::dynamic_pointer_cast<AKWebAppViewController>(note.object())) {
                    watch(webApp->webView());
                    presented.push_back(webApp);
                }
            },
            kAdModalViewControllerWillPresentFullScreen);
    }
    // Keeps the reports of a page (a page's messages reach only observers of its own web view).
    void watch(const std::shared_ptr<AKWebView>& page) {
        NSNotificationCenter::defaultCenter()->removeObserver(observer.get(), "mraidProbe", page.get());
        NSNotificationCenter::defaultCenter()->addObserver(
            observer, [this](const NSNotification& note) { probes.push_back({note.object().get(), note.userInfo()}); },
            "mraidProbe", page);
    }
    ~ExpandRoad() {
        NSNotificationCenter::defaultCenter()->removeObserver(observer.get());
        UIApplication::sharedApplication()->setApplicationState(stateBefore);
    }

    // Waits for a report of a page with the step (and the field at the value)
    // at index `from` or later; its index.
    std::size_t waitForProbe(const UIView& page, const std::string& step, std::size_t from = 0,
                             const char* field = nullptr, const std::string& value = "") {
        std::size_t at = from;
        waitFor([&] {
            for (; at < probes.size(); ++at)
                if (probes[at].page == &page && probes[at]["step"] == step && (!field || probes[at][field] == value))
                    return true;
            return false;
        }, "the creative's \"" + step + "\" report" + (field ? std::string(" with ") + field + "=" + value : ""));
        return at;
    }
    // The library's events a page reported from `from` on, one blank apart;
    // the viewability measurement's own reports ("onAdVisibilityChanged", on
    // its sampling schedule) are left out.
    std::string events(const UIView& page, std::size_t from = 0) const {
        std::string names;
        for (std::size_t i = from; i < probes.size(); ++i) {
            if (probes[i].page != &page || probes[i]["step"] != "event") continue;
            if (probes[i]["name"] == "onAdVisibilityChanged") continue;
            names += (names.empty() ? "" : " ") + probes[i]["name"];
        }
        return names;
    }
    static void run(AKWebView& page, const std::string& script) { (void)evaluate(page, script); }
    static std::string evaluate(AKWebView& page, const std::string& script) {
        return page.stringByEvaluatingJavaScriptFromString(script);
    }

    // The rich-media banner at the bottom of the root view, loaded and ready.
    std::shared_ptr<AKBannerView> showBanner() {
        auto banner = AKBannerView::makeWithAdSizeOrigin(kAKAdSizeBanner, kBannerFrame.origin);
        REQUIRE(banner);
        banner->setAdUnitID("mraid-banner");
        banner->setDelegate(heard);
        banner->setRootViewController(screen.root);
        watch(banner->webView());
        screen.root->view()->addSubview(banner);
        banner->loadRequest(AKRequest::request());
        waitFor([&] { return heard->calls == std::vector<std::string>{"didReceiveAd"}; }, "the banner's ad");
        waitForProbe(*banner->webView(), "ready");
        screenroad::waitForPaint(*banner->webView()->webView(), {20, 10}, kBannerGreen, "the banner");
        return banner;
    }
    // The web-app controller on screen once it has appeared.
    std::shared_ptr<AKWebAppViewController> waitForWebApp() {
        std::shared_ptr<AKWebAppViewController> controller;
        waitFor([&] {
            controller = interstitialtest::shown(screen);
            return controller && controller->isViewVisible() && controller->hasViewAppeared();
        }, "a web-app controller on screen");
        return controller;
    }
    void waitForScreenBack() {
        waitFor([&] { return !screen.root->presentedViewController(); }, "the web-app controller to go");
    }
    void waitForEveryControllerGone() {
        waitFor([&] { return std::ranges::all_of(presented, [](const auto& c) { return c.expired(); }); },
                "every web-app controller's release");
    }
    // After the one full-screen view of a banner's test has gone: every
    // controller released, and one of each notification and banner event.
    void checkOnePresentation() {
        waitForEveryControllerGone();
        CHECK(presented.size() == 1);
        CHECK(screen.count(kAdModalViewControllerWillPresentFullScreen) == 1);
        CHECK(screen.count(kAdModalViewControllerDidDismissFullScreen) == 1);
        waitFor([&] { return heard->count("didDismiss") > 0; }, "the banner's did-dismiss");
        CHECK(heard->joined() == "didReceiveAd; willPresent; willDismiss; didDismiss");
    }
};

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("rich media expand road: a banner expands in its own web view, its snapshot holds its place, close brings it back") {
    ExpandRoad road;
    const auto banner = road.showBanner();
    const auto page = banner->webView();
    const std::size_t start = road.probes.size();

    // resize is no part of version 1.0: an error, and nothing opens.
    road.run(*page, "probe.resize()");
    CHECK(road.probes[road.waitForProbe(*page, "error", start)]["action"] == "resize");
    drainMainQueue();
    CHECK_FALSE(road.screen.root->presentedViewController());

    road.run(*page, "probe.expand()");
    auto controller = road.waitForWebApp();
    road.waitForProbe(*page, "stateChange", start, "to", "expanded");
    CHECK(controller->webView() == page);
    CHECK(controller->isExpandable());
    CHECK(page->superview() == controller->view());
    CHECK(page->frame() == controller->view()->bounds());
    const auto snapshot = controller->renderedBanner();
    REQUIRE(snapshot);
    CHECK(snapshot->superview() == banner);
    CHECK(snapshot->frame() == CGRectMake(0, 0, 320, 50));
    CHECK(controller->closeButton()->frame() == CGRectMake(270, 0, 50, 50));

    // On screen: the expanded page; under it, the banner's place keeps its snapshot.
    screenroad::waitForPaint(*page->webView(), {160, 300}, kExpandedPurple, "the expanded banner");
    const CGImageRef shot = road.phone.frame("expand-road-expanded");
    CHECK(near(probe(shot, 20, 10), kBannerGreen));  // the creative's own 320 x 50 block, at the top now
    CHECK(near(probe(shot, 160, 300), kExpandedPurple));
    CHECK(near(probe(shot, 160, 543), kExpandedPurple));
    CHECK_FALSE(near(probe(shot, 295, 25), kBannerGreen));  // the close button
    const auto underneath = ak_render(*road.screen.root->view());
    REQUIRE(underneath);
    const auto png = UIImagePNGRepresentation(underneath);
    REQUIRE(png);
    std::filesystem::create_directories(QUORVANE_SNAPSHOT_DIR);
    std::ofstream(std::string(QUORVANE_SNAPSHOT_DIR) + "/expand-road-banner-area.png", std::ios::binary)
        << stringFromData(*png);
    const CGImageRef below = underneath->CGImage();
    CHECK(near(below->pixelAt(20, 528), kBannerGreen));
    CHECK(near(below->pixelAt(160, 300), kWhite));

    // close(): "onhide", then "collapsed"; the web view back in the banner.
    const std::size_t beforeClose = road.probes.size();
    road.run(*page, "probe.close()");
    road.waitForProbe(*page, "stateChange", beforeClose, "to", "default");
    road.waitForScreenBack();
    controller.reset();
    road.checkOnePresentation();
    CHECK(road.events(*page, beforeClose) == "onhide collapsed");
    CHECK(road.events(*page, start) == "expanding onshow onhide collapsed");
    CHECK(page->superview() == banner);
    CHECK(page->frame() == CGRectMake(0, 0, 320, 50));
    CHECK(std::dynamic_pointer_cast<AKBannerWebViewDelegate>(page->delegate()));
    CHECK_FALSE(snapshot->superview());
    screenroad::waitForPaint(*page->webView(), {20, 10}, kBannerGreen, "the banner back in place");
    // The screen shows it once the dismissal has finished drawing.
    waitFor([&] { return near(probe(road.phone.frame(), 20, 528), kBannerGreen); }, "the banner back on the screen");
}

TEST_CASE("rich media expand road: with a custom close nothing shows, yet a tap in the top-right corner closes") {
    ExpandRoad road;
    const auto banner = road.showBanner();
    const auto page = banner->webView();
    const std::size_t start = road.probes.size();
    // Asked twice in one turn (the second before the first is on screen): one expansion.
    road.run(*page, "probe.useCustomClose(true); probe.expand(); probe.expand()");
    auto controller = road.waitForWebApp();
    road.waitForProbe(*page, "stateChange", start, "to", "expanded");
    CHECK(controller->useCustomClose());
    CHECK(controller->closeButton()->superview() == controller->view());
    CHECK(controller->closeButton()->frame() == CGRectMake(270, 0, 50, 50));
    screenroad::waitForPaint(*page->webView(), {160, 300}, kExpandedPurple, "the expanded banner");
    const CGImageRef shot = road.phone.frame("expand-road-custom-close");
    for (const CGPoint corner : {CGPointMake(295, 25), CGPointMake(275, 5), CGPointMake(315, 45)})
        CHECK(near(probe(shot, corner.x, corner.y), kBannerGreen));  // the page itself, nothing over it

    road.phone.tap(CGPointMake(300, 10));
    road.waitForScreenBack();
    road.waitForProbe(*page, "stateChange", start, "to", "default");
    CHECK(road.events(*page, start) == "expanding onshow onhide collapsed");
    CHECK(page->superview() == banner);
    CHECK(page->frame() == CGRectMake(0, 0, 320, 50));
    controller.reset();
    road.checkOnePresentation();
}

TEST_CASE("rich media expand road: expand(url) opens a second page with the expanded script that closes itself") {
    ExpandRoad road;
    const auto banner = road.showBanner();
    const auto page = banner->webView();
    const std::size_t start = road.probes.size();
    const std::string second = road.server.origin("https") + "/adnet/ad?slotname=mraid-second";
    road.run(*page, "probe.expand('" + second + "'); probe.expand('" + second + "')");  // twice: one web app
    auto controller = road.waitForWebApp();
    const auto secondPage = controller->webView();
    REQUIRE(secondPage);
    CHECK(secondPage != page);
    CHECK_FALSE(controller->isExpandable());
    const std::size_t ready = road.waitForProbe(*secondPage, "ready");
    CHECK(road.probes[ready]["state"] == "expanded");
    CHECK(road.probes[ready]["placement"] == "inline");
    CHECK(road.logged(AKMRAIDInterceptor::kExpandedBannerScriptPath).size() == 1);
    screenroad::waitForPaint(*secondPage->webView(), {160, 300}, kSecondPageWine, "the second page");
    CHECK(near(probe(road.phone.frame("expand-road-second-page"), 160, 300), kSecondPageWine));

    road.run(*secondPage, "probe.close()");
    road.waitForProbe(*secondPage, "stateChange", ready, "to", "hidden");
    road.waitForScreenBack();
    controller.reset();
    road.checkOnePresentation();
    CHECK(road.loggedQuery(slotroad::kAdPath, "slotname") == std::vector<std::string>{"mraid-banner", "mraid-second"});
    // The banner itself never left its place or its state.
    CHECK(page->superview() == banner);
    CHECK(road.events(*page, start).empty());
    CHECK(slotroad::EngineSlots::evaluate(*banner->slot(), "mraid.getState()") == "default");
}

TEST_CASE("rich media expand road: an interstitial is viewable from onshow until it closes") {
    ExpandRoad road;
    const auto heard = std::make_shared<interstitialtest::Heard>();
    auto interstitial = AKInterstitial::make();
    interstitial->setAdUnitID("mraid-interstitial");
    interstitial->setDelegate(heard);
    const auto page = interstitial->slot()->webView();
    REQUIRE(page);
    road.watch(page);
    interstitial->loadRequest(AKRequest::request());
    waitFor([&] { return heard->count("didReceive") == 1; }, "the interstitial's ad");
    const std::size_t ready = road.waitForProbe(*page, "ready");
    CHECK(road.probes[ready]["placement"] == "interstitial");
    CHECK(road.probes[ready]["viewable"] == "0");

    interstitial->presentFromRootViewController(road.screen.root);
    const std::size_t shown = road.waitForProbe(*page, "event", ready, "name", "onshow");
    CHECK(road.probes[shown]["viewable"] == "1");
    CHECK(ExpandRoad::evaluate(*page, "String(mraid.isViewable())") == "true");
    {
        const auto controller = interstitialtest::shown(road.screen);  // let go before the did-dismiss
        REQUIRE(controller);
        CHECK(controller->useCustomClose());  // the creative's own close button, asked for at load
        CHECK(controller->closeButton()->imageForState(UIControlStateNormal) ==
              AKIntrinsicImages::sharedInstance()->transparentImage());
    }

    // Closed by the creative: the page's messages have no one to hear them
    // once the controller is gone, so the page itself is asked.
    road.run(*page, "probe.close()");
    road.waitForScreenBack();
    waitFor([&] { return heard->last() == "didDismiss"; }, "the interstitial's did-dismiss");
    CHECK(heard->joined() == "didReceive; willPresent; willDismiss; didDismiss");
    waitFor([&] { return ExpandRoad::evaluate(*page, "mraid.getState()") == "hidden"; }, "the page's \"onhide\"");
    CHECK(ExpandRoad::evaluate(*page, "String(mraid.isViewable())") == "false");
    CHECK(road.screen.count(kAdModalViewControllerWillPresentFullScreen) == 1);
    CHECK(road.screen.count(kAdModalViewControllerDidDismissFullScreen) == 1);
}

TEST_CASE("rich media expand road: fifty web apps and fifty expansions leave no controller, web view or web process") {
    ExpandRoad road;
    const auto banner = road.showBanner();
    const auto page = banner->webView();
    const std::size_t engineViews = UIWebView::liveEngineViewCount();
    const std::size_t processes = testsupport::webProcessCount();
    const std::string second = road.server.origin("https") + "/adnet/ad?slotname=mraid-second";
    constexpr int kCycles = 50;
    std::vector<std::weak_ptr<AKWebView>> webApps;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        CAPTURE(cycle);
        // A web app: its own page, closed with its close button.
        road.run(*page, "probe.expand('" + second + "')");
        auto controller = road.waitForWebApp();
        road.waitForProbe(*controller->webView(), "ready");
        webApps.push_back(controller->webView());
        controller->closeButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        road.waitForScreenBack();
        controller.reset();

        // An expansion of the banner's own web view, closed by the creative.
        const std::size_t from = road.probes.size();
        road.run(*page, "probe.expand()");
        controller = road.waitForWebApp();
        road.waitForProbe(*page, "stateChange", from, "to", "expanded");
        road.run(*page, "probe.close()");
        road.waitForProbe(*page, "stateChange", from, "to", "default");
        road.waitForScreenBack();
    }
    road.waitForEveryControllerGone();
    CHECK(road.presented.size() == 2 * kCycles);
    CHECK(std::ranges::all_of(webApps, [](const auto& w) { return w.expired(); }));
    waitFor([&] { return road.heard->calls.size() == 1 + 3 * 2 * kCycles; }, "every did-dismiss of the banner");
    CHECK(road.heard->count("willPresent") == 2 * kCycles);
    CHECK(road.heard->count("didDismiss") == 2 * kCycles);
    CHECK(road.screen.count(kAdModalViewControllerWillPresentFullScreen) == 2 * kCycles);
    CHECK(road.screen.count(kAdModalViewControllerDidDismissFullScreen) == 2 * kCycles);
    CHECK(page->superview() == banner);
    CHECK(page->frame() == CGRectMake(0, 0, 320, 50));
    // The pool keeps a few engine views for the next ads; emptied, the count is back.
    adkittest::RenderingScope::emptyPool();
    waitFor([&] { return UIWebView::liveEngineViewCount() == engineViews; }, "the engine views back to the count before");
    waitFor([&] { return testsupport::webProcessCount() <= processes; }, "the web processes back to the count before");
}

TEST_SUITE_END();
