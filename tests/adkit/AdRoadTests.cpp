// Protects the ad road through the real web engine, on the phone device screen:
// a banner creative loaded as the slot loads it shows in its place, a tap on its
// link is a click opened outside the ad, a page's own navigation and a link our
// own script clicks are not clicks, and a thousand page messages reach the
// handlers in order while a message named like an application notification
// reaches only the observers of its web view.
#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "AdkitTestSupport.h"
#include "RenderingScope.h"
#include "RenderingTestDoubles.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/rendering/AKWebViewCacheSet.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/WebViewSupport.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "support/HttpFetch.h"

using namespace adkittest;
using devicescreentest::near;
using devicescreentest::probe;
using renderingtest::RecordingOpener;
using renderingtest::RecordingSlot;

namespace {

constexpr CGPixel kWhite{255, 255, 255, 255};
constexpr CGPixel kBannerGreen{0, 160, 80, 255};
constexpr CGPixel kSelfLinkBlue{0, 80, 160, 255};
constexpr CGRect kBannerFrame{{0, 500}, {320, 50}};

// A slot whose ad becomes valid when the delegate says so, as the slot does.
struct RoadSlot : RecordingSlot {
    void didReceiveValidAd() override {
        RecordingSlot::didReceiveValidAd();
        slotState = AKSlotStateValidAd;
    }
    bool heard(const std::string& call) const { return std::count(calls.begin(), calls.end(), call) > 0; }
};

// The banner delegate, logging what the engine asks it and what it answers.
struct LoggingBannerDelegate : AKBannerWebViewDelegate {
    using AKBannerWebViewDelegate::AKBannerWebViewDelegate;
    std::vector<std::string> asked;
    bool shouldStartLoadWithRequest(AKWebView& webView, const std::shared_ptr<NSURLRequest>& request,
                                    UIWebViewNavigationType type) override {
        const bool allowed = AKBannerWebViewDelegate::shouldStartLoadWithRequest(webView, request, type);
        asked.push_back(std::to_string(type) + " " + request->URL() + (allowed ? " allowed" : " refused"));
        return allowed;
    }
    bool wasAsked(const std::string& entry) const { return std::count(asked.begin(), asked.end(), entry) > 0; }
};

struct Ad {
    std::shared_ptr<RoadSlot> slot = std::make_shared<RoadSlot>();
    std::shared_ptr<LoggingBannerDelegate> delegate;
    std::shared_ptr<RecordingOpener> opener;
    std::string baseURL;
    std::shared_ptr<AKWebView> view() const { return slot->adWebView; }
};

// The real engine behind ad web views, recording openers, an ad peer and a
// phone screen served in process with a white key window. The pool is settled
// (wipes ended, emptied) at both ends.
class AdRoad {
public:
    AdRoad() {
        RenderingScope::emptyPool();
        UIWebView::useBackingFactory(nullptr);
        AKOpener::setFactory([this] {
            openers_.push_back(std::make_shared<RecordingOpener>());
            return openers_.back();
        });
        DeviceScreenServerOptions options;
        options.port = 0;
        std::string error;
        server = DeviceScreenServer::start(options, error);
        REQUIRE_MESSAGE(server, error);
        window->setBackgroundColor(devicescreentest::rgb(1, 1, 1));
        window->makeKeyAndVisible();
    }
    ~AdRoad() {
        for (auto& ad : ads_) drop(ad);
        ads_.clear();  // their web views go back to the pool
        server.reset();
        RenderingScope::emptyPool();
        AKOpener::setFactory(nullptr);
    }

    // A banner web view in the window as the slot makes one, its slot rendering.
    Ad& makeBanner() {
        auto& ad = ads_.emplace_back();
        ad.slot->slotState = AKSlotStateRendering;
        ad.slot->loadedAt = static_cast<std::int64_t>(AKAbsoluteTime::absoluteTimeInMilliseconds()) - 1000;
        ad.slot->adWebView = AKWebView::make(kBannerFrame);
        ad.delegate = std::make_shared<LoggingBannerDelegate>(ad.slot);
        ad.opener = std::static_pointer_cast<RecordingOpener>(ad.delegate->opener());
        ad.view()->setDelegate(ad.delegate);
        ad.view()->configureAsBannerAdView();
        window->addSubview(ad.view());
        return ad;
    }
    // Loads a creative's bytes from the peer with its URL (and query) as base,
    // as the slot does; waits until the delegate has shown the ad.
    void load(Ad& ad, const std::string& file, const std::string& query = {}) {
        const auto creative = testtools::httpGet(peer.creativeURL(file));
        REQUIRE(creative.status == 200);
        ad.baseURL = peer.creativeURL(file) + query;
        ad.view()->loadHTMLString(creative.body, ad.baseURL);
        waitFor([&] { return ad.slot->heard("adFinishedLoadingContent"); }, file + " loaded and shown by its delegate");
    }
    Ad& showBanner(const std::string& file, const std::string& query = {}) {
        Ad& ad = makeBanner();
        load(ad, file, query);
        return ad;
    }
    // The ad goes away as the slot lets it go: its web view goes back to the pool.
    void drop(Ad& ad) {
        if (!ad.view()) return;
        ad.view()->removeFromSuperview();
        ad.slot->adWebView.reset();
    }
    // "?to=<the peer's URL of the path>" for the creatives' link targets.
    std::string to(const std::string& path) const {
        return "?to=" + stringByAddingPercentEncodingWithAllowedCharacters(peer.url(path), URLUnreservedCharacters());
    }
    // Waits for the ad's web view to paint a frame with the colour at the point (in the banner).
    void waitForPaint(const Ad& ad, CGPoint point, CGPixel colour, const std::string& what) {
        waitFor([&] {
            auto pixel = webtest::layerPixel(*ad.view()->webView(), point.x, point.y);
            return pixel && near(*pixel, colour);
        }, "a painted frame of " + what);
    }
    DeviceInputResult tap(CGPoint point) {
        std::optional<DeviceInputResult> result;
        server->input().tap(point, [&](const DeviceInputResult& r) { result = r; });
        waitFor([&] { return result.has_value(); }, "the tap to be carried out");
        return *result;
    }

    testsupport::TempHome home;
    devicescreentest::SavedDevice saved;
    testsupport::AdPeer peer;
    std::unique_ptr<DeviceScreenServer> server;
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));

private:
    std::vector<std::shared_ptr<RecordingOpener>> openers_;
    std::deque<Ad> ads_;
};

// Every notification of some names, in order, for one sender or (null) any.
struct Heard {
    std::vector<std::string> entries;
    std::vector<std::shared_ptr<NSObject>> tokens;
    Heard(const std::vector<std::string>& names, const std::shared_ptr<NSObject>& sender) {
        for (const auto& name : names)
            tokens.push_back(NSNotificationCenter::defaultCenter()->addObserverForName(
                name, sender, nullptr, [this](const NSNotification& note) {
                    const Value n = note.userInfo()["n"];
                    entries.push_back(note.name() + (n.isString() ? " " + n.stringValue() : ""));
                }));
    }
    ~Heard() {
        for (auto& token : tokens) NSNotificationCenter::defaultCenter()->removeObserver(token.get());
    }
};

}  // namespace

// These drive the web engine.
TEST_SUITE_BEGIN("engine");

TEST_CASE("ad road: a banner shows in its place once loaded, and a tap on its link is a click opened outside the ad") {
    AdRoad road;
    Ad& ad = road.makeBanner();
    CHECK(ad.view()->isHidden());
    road.load(ad, "banner-320x50.html", road.to("/landing/banner"));
    CHECK_FALSE(ad.view()->isHidden());
    CHECK(ad.slot->calls == std::vector<std::string>{"didReceiveValidAd", "didLoadAdHTMLInWebView",
                                                     "didMakeAdImpression", "startViewabilityForLoadedAd",
                                                     "adFinishedLoadingContent"});
    road.waitForPaint(ad, {300, 25}, kSelfLinkBlue, "the banner with its blue self link");

    auto [frame, number] = devicescreentest::servedFrame(*road.server, "ad-road-banner");
    CAPTURE(number);
    CHECK(near(probe(frame, 100, 525), kBannerGreen));
    CHECK(near(probe(frame, 300, 525), kSelfLinkBlue));
    CHECK(near(probe(frame, 100, 495), kWhite));  // just above the banner
    CHECK(near(probe(frame, 100, 555), kWhite));  // just below it

    const std::string landing = road.peer.url("/landing/banner");
    CHECK_FALSE(ad.view()->touched());
    CHECK(road.tap(CGPointMake(100, 525)).delivered);
    CHECK(ad.view()->touched());
    waitFor([&] { return !ad.opener->calls.empty(); }, "the opener to be asked to open the click");
    CHECK(ad.delegate->wasAsked("0 " + landing + " refused"));
    CHECK(ad.slot->heard("adWasClicked"));
    CHECK(ad.opener->calls == std::vector<std::string>{"openApp " + ad.slot->clickURLPrefix + landing});
    CHECK(ad.view()->request()->URL() == ad.baseURL);
    CHECK(road.peer.requestsFor("/landing/banner").empty());

    // The blue link jumps within the page: refused, and no click, though touched.
    ad.slot->calls.clear();
    CHECK(road.tap(CGPointMake(300, 525)).delivered);
    const std::string jump = ad.baseURL + "#top";
    waitFor([&] { return ad.delegate->wasAsked("0 " + jump + " refused"); }, "the jump within the page to be asked");
    CHECK_FALSE(ad.slot->heard("adWasClicked"));
    CHECK(ad.opener->calls.size() == 1);

    // The next banner takes the wiped web view from the pool, with no picture of this ad.
    const auto webView = ad.view()->webView();
    road.drop(ad);
    waitFor([&] { return AKWebView::webViewCache()->count() == 1; }, "the banner's web view wiped into the pool");
    Ad& next = road.makeBanner();
    CHECK(next.view()->webView() == webView);
    CHECK_FALSE(webView->layer()->contents());
}

TEST_CASE("ad road: a page's own navigation and a link clicked by our own script are no clicks and load in the ad") {
    struct Case {
        const char* creative;
        const char* landing;
        const char* script;  // evaluated once the ad shows (none: the page navigates by itself)
        UIWebViewNavigationType type;
    };
    const Case cases[] = {
        {"script-navigation.html", "/landing/script", nullptr, UIWebViewNavigationTypeOther},
        {"handler-click.html", "/landing/handler", "clickLink()", UIWebViewNavigationTypeLinkClicked},
    };
    AdRoad road;
    for (const auto& c : cases) {
        CAPTURE(std::string(c.creative));
        Ad& ad = road.showBanner(c.creative, road.to(c.landing));
        if (c.script) CHECK(ad.view()->stringByEvaluatingJavaScriptFromString(c.script) == "true");
        waitFor(road.peer.receivedRequestFor(c.landing), std::string("the ad's own view to load ") + c.landing);
        CHECK(ad.delegate->wasAsked(std::to_string(c.type) + " " + road.peer.url(c.landing) + " allowed"));
        CHECK_FALSE(ad.view()->touched());
        CHECK_FALSE(ad.slot->heard("adWasClicked"));
        CHECK(ad.opener->calls.empty());
    }
}

TEST_CASE("ad road: a thousand page messages reach the handlers in order, an application's notification name only its web view's observers") {
    const webtest::LongTurnsAllowed longTurns;
    AdRoad road;
    const std::vector<std::string> names{"seq", "kStartDownloadMovieNotification"};
    Heard application(names, nullptr);
    Ad& ad = road.makeBanner();
    Heard ofView(names, ad.view());
    road.load(ad, "messages-1000.html");
    waitFor([&] { return ofView.entries.size() == 1001; }, "1,001 page messages posted to the web view's observers");
    std::vector<std::string> expected;
    for (int i = 0; i < 1000; ++i) expected.push_back("seq " + std::to_string(i));
    expected.push_back("kStartDownloadMovieNotification");
    CHECK(ofView.entries == expected);
    CHECK(application.entries.empty());
    CHECK(ad.view()->stringByEvaluatingJavaScriptFromString("window.messagesSent") == "1001");
}

TEST_SUITE_END();
