// Protects the public banner and the publisher banner on the real web engine
// against the real ad server: size, frame, alpha and reload rules, the root
// controller a load needs, the refresh of a hidden banner, custom rendering
// with the publisher's reports, valid sizes, app events, and banners released
// mid-load or while shown (destroyed at once, their delegates hear nothing).
#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "SlotEngineRoad.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/requests/AKBannerView.h"
#include "adkit/requests/AKSearchBannerView.h"
#include "adkit/requests/PMABannerView.h"
#include "adkit/requests/PMARawHTMLAd.h"
#include "platform/base/MainThread.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

namespace {

using adkittest::waitFor;
using slotroad::kAdPath;

// Every publisher log line, as the library hands it out.
struct PublisherLog : AKLogChecker {
    std::mutex mutex;
    std::vector<std::string> lines;
    void message(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(text);
    }
    std::size_t count(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), text));
    }
    std::size_t size() {
        std::lock_guard<std::mutex> lock(mutex);
        return lines.size();
    }
};

// Everything a banner's delegates hear, in order.
struct Listener : AKBannerViewDelegate,
                  AKAppEventDelegate,
                  AKAdSizeDelegate,
                  PMARawHTMLBannerViewDelegate,
                  renderingtest::CallLog {
    std::shared_ptr<PMARawHTMLAd> rawAd;

    void adViewDidReceiveAd(AKBannerView&) override { record("didReceiveAd"); }
    void adViewDidFailToReceiveAdWithError(AKBannerView&, const NSErrorPtr& error) override {
        record("didFail " + std::to_string(error ? error->code() : -1));
    }
    void adViewWillPresentScreen(AKBannerView&) override { onMain("willPresent"); }
    void adViewWillDismissScreen(AKBannerView&) override { onMain("willDismiss"); }
    void adViewDidDismissScreen(AKBannerView&) override { onMain("didDismiss"); }
    void adViewWillLeaveApplication(AKBannerView&) override { onMain("willLeave"); }
    void onMain(const std::string& name) { record(isProcessMainThread() ? name : name + " off the main thread"); }
    void adViewDidReceiveAppEvent(PMABannerView&, const std::string& name,
                                  const std::optional<std::string>& info) override {
        record("appEvent " + name + " " + info.value_or("(none)"));
    }
    void adViewWillChangeAdSizeTo(PMABannerView&, AKAdSize size) override {
        record(format("willChangeAdSizeTo %gx%g", size.size.width, size.size.height));
    }
    bool respondsToRenderRawHTMLAd() const override { return true; }
    void bannerViewRenderRawHTMLAd(PMABannerView&, const std::shared_ptr<PMARawHTMLAd>& ad) override {
        rawAd = ad;
        record("renderRawHTMLAd");
    }
};

nlohmann::json unit(nlohmann::json headers, const std::string& body) {
    return {{"status", 200}, {"headers", std::move(headers)}, {"body", body}};
}

const std::string kAppEventBody =
    R"(<!DOCTYPE html><html><head><meta charset="utf-8"><script>window.ADNET_APP_EVENT = )"
    R"({"name": "greeting", "info": "{\"text\":\"hello\"}"};</script>)"
    R"(<script src="{origin}/adnet/static/sdk/native/adnet-page.js"></script>)"
    R"(<script src="{origin}/adnet/static/mad/sdk/native/native_ads.js"></script>)"
    R"(<script src="{origin}/adnet/static/creatives/app-event.js"></script></head>)"
    R"(<body style="margin:0;background:#2E7D32"></body></html>)";

nlohmann::json bannerUnits() {
    const auto pings = [](const std::string& id) {
        return nlohmann::json{{"X-Adnet-Tracking-Urls", "{origin}/adnet/ping/impression?unit=" + id},
                              {"X-Adnet-Click-Tracking-Urls", "{origin}/adnet/ping/click?unit=" + id},
                              {"X-Adnet-Manual-Tracking-Urls", "{origin}/adnet/ping/manual-impression?unit=" + id}};
    };
    auto refreshing = pings("plain");
    refreshing["X-Adnet-Refresh-Rate"] = "30";
    auto raw = pings("raw");
    raw["X-Adnet-Custom-Rendering-Allowed"] = "1";
    auto sized = pings("sized");
    sized["X-Adnet-Ad-Size"] = "300x250";
    return {{"plain", unit(refreshing, slotroad::titledCreative("plain"))},
            {"raw", unit(raw, R"(<div style="width:320px;height:50px;background:#EF6C00">raw</div>)")},
            {"sized", unit(sized, slotroad::titledCreative("sized"))},
            {"events", unit(pings("events"), kAppEventBody)},
            {"held", unit(pings("held"), slotroad::titledCreative("held", R"(<img src="{origin}/held/image.png">)"))}};
}

// The ad server with the banner units, a shown window with a root controller,
// the application active, virtual time, publisher log lines kept.
struct BannerRoad : slotroad::EngineSlots {
    adkittest::VirtualTime time{0};  // from the real now, as the engine's pages count on
    UIApplicationState stateBefore = UIApplication::sharedApplication()->applicationState();
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    std::shared_ptr<UIViewController> root = std::make_shared<UIViewController>();
    std::shared_ptr<Listener> listener = std::make_shared<Listener>();
    std::shared_ptr<PublisherLog> pubLog = std::make_shared<PublisherLog>();

    BannerRoad() : EngineSlots(bannerUnits()) {
        AKMacros::setLogChecker(pubLog);
        UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);
        window->setHidden(false);
    }
    ~BannerRoad() {
        AKMacros::setLogChecker(nullptr);
        window->setHidden(true);
        UIApplication::sharedApplication()->setApplicationState(stateBefore);
    }

    // The banner in the window, for the unit, reporting to the listener.
    template <class T>
    std::shared_ptr<T> place(std::shared_ptr<T> banner, const std::string& unitName, bool withRoot = true) {
        REQUIRE(banner);
        banner->setAdUnitID(unitName);
        banner->setDelegate(listener);
        if (withRoot) banner->setRootViewController(root);
        window->addSubview(banner);
        return banner;
    }
    std::size_t adRequests() const { return logged(kAdPath).size(); }
    bool pinged(const std::string& path, const std::string& unitName) const {
        const auto units = loggedQuery(path, "unit");
        return std::find(units.begin(), units.end(), unitName) != units.end();
    }
    void load(AKBannerView& banner) {
        banner.loadRequest(AKRequest::request());
        waitFor([&] { return ended(*banner.slot()); }, "the banner's load to end");
        INFO("the delegate heard: " << listener->joined());
        REQUIRE(banner.slot()->state() == AKSlotStateValidAd);
    }
};

AKAdSize zeroSize() { return AKAdSize{CGSizeZero, 0}; }

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("banner road: sizes and frames, alpha, a load without a root controller, reloads, and no refresh while hidden") {
    adkittest::QuietLog quiet;
    BannerRoad road;
    const std::string invalidLine =
        "Unable to set adSize property with Custom AKAdSize: {5000, 5000}. Please use one of the standard ad sizes or "
        "create a custom ad size using AKAdSizeFromCGSize.";

    // A storyboard frame of 320 x 50 is the standard banner, silently; an invalid frame logs and keeps 0 x 0.
    const auto decoded = AKBannerView::makeWithCoder(CGRectMake(0, 0, 320, 50));
    CHECK(AKAdSizeIsEqual(decoded->adSize(), kAKAdSizeBanner));
    CHECK(road.pubLog->size() == 0);
    const auto invalid = AKSearchBannerView::makeWithCoder(CGRectMake(0, 0, 5000, 5000));
    CHECK(AKAdSizeIsEqual(invalid->adSize(), zeroSize()));
    CHECK_FALSE(invalid->slot()->isInterstitial());
    CHECK(road.pubLog->count(invalidLine) == 1);
    CHECK(invalid->className() == "AKSearchBannerView");
    // The makers that may give nothing: silently with a frame, logged with a size alone.
    CHECK(AKBannerView::makeWithFrameAdSize(CGRectZero, AKAdSizeFromCGSize(CGSizeMake(5000, 5000))) == nullptr);
    CHECK(road.pubLog->count(invalidLine) == 1);
    CHECK(PMABannerView::makeWithAdSize(AKAdSizeFromCGSize(CGSizeMake(5000, 5000))) == nullptr);
    CHECK(road.pubLog->count(invalidLine) == 2);
    const auto placed = AKBannerView::makeWithAdSizeOrigin(kAKAdSizeMediumRectangle, CGPointMake(10, 20));
    CHECK(placed->UIView::frame() == CGRectMake(10, 20, 300, 250));
    CHECK(placed->intrinsicContentSize() == CGSizeMake(300, 250));

    // Alpha is all or nothing.
    const std::pair<CGFloat, CGFloat> alphas[] = {{0.5, 1.0}, {0.0, 0.0}, {0.01, 1.0}, {1.0, 1.0}};
    for (const auto& [given, shown] : alphas) {
        decoded->setAlpha(given);
        CHECK(decoded->alpha() == shown);
    }

    // Without a root controller: one failure with code 0, the log line, no traffic.
    const auto banner = road.place(AKBannerView::makeWithFrame(CGRectMake(0, 0, 320, 50)), "plain", false);
    banner->loadRequest(AKRequest::request());
    adkittest::drainMainQueue();
    CHECK(road.listener->joined() == "didFail 0");
    CHECK(road.pubLog->count("Must set the rootViewController property of AKBannerView before calling loadRequest:") ==
          1);
    CHECK(banner->slot()->state() == AKSlotStateIdle);  // no load started: no core page, no ad request
    CHECK(road.adRequests() == 0);

    // With one: the ad. The same size, frame or bounds again reload nothing; another size reloads.
    road.listener->calls.clear();
    banner->setRootViewController(road.root);
    CHECK(banner->webView()->viewController() == road.root);
    road.load(*banner);
    CHECK(road.adRequests() == 1);
    banner->setAdSize(kAKAdSizeBanner);
    banner->setFrame(CGRectMake(0, 0, 320, 50));
    banner->setBounds(CGRectMake(0, 0, 320, 50));
    banner->setAdSize(AKAdSizeFromCGSize(CGSizeMake(5000, 5000)));  // refused: logged, nothing changes
    CHECK(road.pubLog->count(invalidLine) == 3);
    CHECK(banner->slot()->state() == AKSlotStateValidAd);
    banner->setFrame(CGRectMake(0, 0, 320, 100));
    CHECK(AKAdSizeIsEqual(banner->adSize(), kAKAdSizeLargeBanner));
    road.load(*banner);
    CHECK(road.adRequests() == 2);
    banner->setAdSize(kAKAdSizeBanner);
    road.load(*banner);
    CHECK(road.adRequests() == 3);
    CHECK(road.listener->joined() == "didReceiveAd; didReceiveAd; didReceiveAd");

    // The slot's other events, also from another thread, become their delegate calls on the main thread.
    road.listener->calls.clear();
    std::atomic<bool> told{false};
    std::thread other([&] {
        auto& slot = *banner->slot();
        banner->slotWillPresentScreen(slot);
        banner->slotWillDismissScreen(slot);
        banner->slotDidDismissScreen(slot);
        banner->slotWillLeaveApplication(slot);
        told = true;
    });
    waitFor([&] { return told.load(); }, "the events from another thread");
    other.join();
    CHECK(road.listener->joined() == "willPresent; willDismiss; didDismiss; willLeave");

    // Shown, the 30 s timer refreshes it; hidden, the timer fires and nothing loads.
    Clock::advance(30);
    waitFor([&] { return road.adRequests() == 4; }, "the timed refresh's ad request");
    waitFor([&] { return road.ended(*banner->slot()); }, "the refreshed load to end");
    CHECK(banner->hasAutoRefreshed());
    REQUIRE(banner->slot()->hasReloadTimer());
    banner->setHidden(true);
    Clock::advance(30);
    waitFor([&] { return !banner->slot()->hasReloadTimer(); }, "the refresh timer to fire");
    adkittest::drainMainQueue();
    CHECK(banner->slot()->state() == AKSlotStateValidAd);
    CHECK(road.adRequests() == 4);
}

TEST_CASE("banner road: the publisher banner renders raw ads itself, reports them, takes its valid sizes and hears app events") {
    adkittest::QuietLog quiet;
    BannerRoad road;
    auto& listener = *road.listener;

    SUBCASE("custom rendering: the publisher's reports ping, finishing makes the ad valid without did-receive") {
        const auto banner = road.place(PMABannerView::makeWithAdSize(kAKAdSizeBanner), "raw");
        banner->setRawHTMLBannerViewDelegate(road.listener);
        banner->loadRequest(AKRequest::request());
        waitFor([&] { return listener.rawAd != nullptr; }, "the raw ad handed to the publisher");
        CHECK(listener.rawAd->adHTML().find(">raw</div>") != std::string::npos);
        CHECK(listener.rawAd->adBaseURL()->absoluteString() == road.server.origin("https") + "/");
        CHECK(banner->slot()->state() == AKSlotStateRendering);
        listener.rawAd->finishedRenderingAdView(std::make_shared<UIView>());
        CHECK(banner->slot()->state() == AKSlotStateValidAd);
        listener.rawAd->recordImpression();
        listener.rawAd->recordClick();
        waitFor([&] { return road.pinged("/adnet/ping/impression", "raw"); }, "the impression ping");
        waitFor([&] { return road.pinged("/adnet/ping/manual-impression", "raw"); }, "the manual impression ping");
        waitFor([&] { return road.pinged("/adnet/ping/click", "raw"); }, "the click ping");
        CHECK(listener.joined() == "renderRawHTMLAd");
        CHECK_FALSE(banner->slot()->hasReloadTimer());
    }

    SUBCASE("valid sizes travel as \"sz\"; an answer of 300 x 250 among them resizes without a reload") {
        const auto banner = road.place(PMABannerView::make(), "sized");
        banner->setAdSizeDelegate(road.listener);
        banner->setValidAdSizesWithSizes({&kAKAdSizeBanner, &kAKAdSizeMediumRectangle, nullptr, &kAKAdSizeLeaderboard});
        REQUIRE(banner->validAdSizes().count() == 2);
        banner->setAdSize(kAKAdSizeBanner);
        road.load(*banner);
        CHECK(road.loggedQuery(kAdPath, "sz") == std::vector<std::string>{"320x50|300x250"});
        CHECK(listener.joined() == "willChangeAdSizeTo 300x250; didReceiveAd");
        CHECK(AKAdSizeIsEqual(banner->adSize(), kAKAdSizeMediumRectangle));
        CHECK(banner->UIView::frame().size == CGSizeMake(300, 250));
        CHECK(banner->slot()->state() == AKSlotStateValidAd);
        // resize and manual impressions: no reload, and the manual URLs on request.
        banner->resize(kAKAdSizeLargeBanner);
        CHECK(AKAdSizeIsEqual(banner->adSize(), kAKAdSizeLargeBanner));
        banner->setEnableManualImpressions(true);
        CHECK(banner->slot()->manualImpressionsEnabled());
        banner->recordImpression();
        waitFor([&] { return road.pinged("/adnet/ping/manual-impression", "sized"); }, "the manual impression ping");
        CHECK(road.adRequests() == 1);
    }

    SUBCASE("app events of the ad page reach the app-event delegate") {
        const auto banner = road.place(PMASwipeableBannerView::makeWithAdSize(kAKAdSizeBanner), "events");
        banner->setAppEventDelegate(road.listener);
        banner->setSwipeDelegate(banner);
        CHECK(banner->swipeDelegate() == nullptr);
        road.load(*banner);
        waitFor([&] { return listener.calls.size() == 2; }, "the app event");
        std::sort(listener.calls.begin(), listener.calls.end());  // the page may send it before it has loaded
        CHECK(listener.joined() == "appEvent greeting {\"text\":\"hello\"}; didReceiveAd");
    }
}

TEST_CASE("banner road: banners released mid-load or while shown are destroyed at once and hear nothing") {
    adkittest::QuietLog quiet;
    BannerRoad road;
    const auto releaseWhen = [&](const std::string& unitName, const std::function<bool(AKBannerView&)>& reached,
                                 const std::string& what) {
        auto banner = road.place(AKBannerView::makeWithAdSize(kAKAdSizeBanner), unitName);
        const std::weak_ptr<AKBannerView> weakBanner = banner;
        const std::weak_ptr<AKAdSlot> weakSlot = banner->slot();
        banner->loadRequest(AKRequest::request());
        waitFor([&] { return reached(*banner); }, what);
        banner->removeFromSuperview();
        banner.reset();
        CHECK(weakBanner.expired());
        CHECK(weakSlot.expired());
    };

    // Asking for the ad, waiting for the ad server, rendering (an image held), shown.
    releaseWhen("plain", [](AKBannerView& b) { return b.slot()->state() == AKSlotStateRequestingAdURL; },
                "the request to start");
    REQUIRE(road.server.order("fault", {{"path", kAdPath}, {"kind", "delay"}, {"ms", 2000}}) == 200);
    releaseWhen("plain", [&](AKBannerView& b) {
        return b.slot()->state() == AKSlotStateFetchingAdContent && road.adRequests() == 1;
    }, "the ad request to reach the server");
    REQUIRE(road.server.order("fault", {{"path", "/held/"}, {"kind", "delay"}, {"ms", 2000}}) == 200);
    releaseWhen("held", [&](AKBannerView& b) {
        return b.slot()->state() == AKSlotStateRendering && !road.logged("/held/image.png").empty();
    }, "the creative's image to be asked for");
    CHECK(road.listener->joined() == "");
    releaseWhen("plain", [&](AKBannerView&) { return !road.listener->calls.empty(); }, "the ad to show");
    CHECK(road.listener->joined() == "didReceiveAd");

    // A banner loaded after them hears only its own ad.
    road.listener->calls.clear();
    const auto later = road.place(AKBannerView::makeWithAdSize(kAKAdSizeBanner), "plain");
    road.load(*later);
    adkittest::drainMainQueue();
    CHECK(road.listener->joined() == "didReceiveAd");
}
