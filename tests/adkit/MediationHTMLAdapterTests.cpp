// Protects the HTML mediation adapter through real network connectors: the
// credential failures and the creative's web view, passback navigations, the
// render check on the Clock (only frames of the loaded page count; a blank page
// is given up at the 101st check; on the real engine a creative drawn late is
// reported at the first check after its frame), the adapter outliving a report
// that drops it, and a banner loaded from the ad server through the waterfall.
#include <doctest/doctest.h>

#include <fstream>
#include <iterator>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "MediationTestClasses.h"
#include "RenderingScope.h"
#include "SlotEngineRoad.h"
#include "adkit/mediation/AKMAdNetworkConnector.h"
#include "adkit/mediation/AKMAdapterHTML.h"
#include "adkit/requests/AKBannerView.h"
#include "platform/WebViewSupport.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIViewController.h"

using adkittest::waitFor;
using Json = nlohmann::json;
using Events = std::vector<std::string>;

namespace {

const std::string kNoAd = "failed com.adkit.ads 1 Ad network returned no ad.";

// The recording waterfall, keeping the banner and running `onResult` inside each result.
struct Waterfall : QVRecordingWaterfall {
    std::shared_ptr<UIView> banner;
    std::function<void()> onResult;
    void adRequestReturnsFromConnectorWithView(AKMAdNetworkConnector& c, const std::shared_ptr<UIView>& view) override {
        banner = view;
        QVRecordingWaterfall::adRequestReturnsFromConnectorWithView(c, view);
        if (onResult) onResult();
    }
    void adRequestFailedFromConnectorWithError(AKMAdNetworkConnector& c, const NSErrorPtr& error) override {
        QVRecordingWaterfall::adRequestFailedFromConnectorWithError(c, error);
        if (onResult) onResult();
    }
};

// One attempt of the HTML adapter with the credentials ("data"); pings are not sent.
struct Attempt {
    AKAdHosts::ScopedOrigin exchange{AKAdHost::exchangeCreative, *AKAdOrigin::parse("http://creative.test:81", "http")};
    AKAdHosts::ScopedOrigin reports{AKAdHost::mediationReports, *AKAdOrigin::parse("http://127.0.0.1:9", "http")};
    AKAdTypePtr type;
    std::shared_ptr<Waterfall> waterfall = std::make_shared<Waterfall>();
    std::shared_ptr<AKMAdNetworkConnector> connector;
    std::shared_ptr<AKMAdapterHTML> adapter;

    explicit Attempt(const Json& data, AKAdTypePtr adType = AKAdType::bannerAdTypeForSize(kAKAdSizeBanner))
        : type(std::move(adType)) {
        connector = waterfall->connect(type, Json{{"id", "tym"}, {"adapters", {"AKMAdapterHTML"}}, {"data", data}}.dump());
        REQUIRE(connector);
        adapter = std::dynamic_pointer_cast<AKMAdapterHTML>(connector->adapter());
        REQUIRE(adapter);
        connector->getAdFromAdapterWithType(type);
    }
    UIWebViewRecorder& recorder() const { return UIWebViewRecorder::of(*adapter->webView()); }
    void nextCheck() const {
        const auto before = adapter->checkRenderingCount();
        Clock::advance(AKMAdapterHTML::kRenderCheckInterval);
        waitFor([&] { return adapter->checkRenderingCount() == before + 1; }, "the next render check to be answered");
    }
};

// Plays the engine painting the view: its first `opaque` pixels opaque white, the rest clear.
void paintFrame(UIWebView& view, std::size_t opaque) {
    const std::size_t width = 320, height = 50;
    Data rgba(width * height * 4, 0);
    std::fill_n(rgba.begin(), std::min(opaque, width * height) * 4, std::uint8_t{255});
    view.backingDidReceiveFrame(CGImageCreateWithRGBA(width, height, std::move(rgba)), 1);
    view.backingDidPaintFrame();
}

}  // namespace

TEST_CASE("HTML adapter: credential failures, interstitials, and the creative's web view") {
    testsupport::TempHome home;
    adkittest::RenderingScope scope;
    adkittest::VirtualTime time;
    AKAdHosts::ScopedOrigin exchange(AKAdHost::exchangeCreative, *AKAdOrigin::parse("creative.test:81", "http"));
    CHECK(ClassRegistry::callClassOperation("AKMAdapterHTML", kAKMAdapterVersionOperation) == Value("1.1"));
    CHECK(ClassRegistry::callClassOperation("AKMAdapterHTML", kAKMNetworkExtrasClassOperation) == Value());
    const std::string failed = "failed com.adkit.ads 2 ";
    const std::pair<Json, std::string> rows[] = {
        {{{"adxtym_html", "<p>ad</p>"}, {"adxtym_passback_url", ""}}, failed + "Empty passback URL in TYM response."},
        {{{"adxtym_html", "<p>ad</p>"}, {"adxtym_passback_url", "http://pass example/"}},
         failed + "Invalid passback URL in TYM response."},
        {{{"adxtym_passback_url", "http://pass.example/back"}}, failed + "Missing HTML in TYM response."},
        {{{"adxtym_html", ""}}, failed + "Missing HTML in TYM response."},
        {{{"adxtym_html", {{"a", "<p>"}}}}, failed + "Missing HTML in TYM response."},
        {{{"adxtym_html", "<p>ad</p>"}, {"adxtym_passback_url", {"x"}}}, ""},  // not text: no passback
        {{{"adxtym_html", 5}}, ""},                                             // a number is its text
    };
    for (const auto& [data, result] : rows) {
        INFO(data.dump());
        // The waterfall drops the connector, and with it the adapter, inside the report.
        std::shared_ptr<AKMAdNetworkConnector> connector;
        std::weak_ptr<AKMAdapterHTML> adapter;
        {
            auto waterfall = std::make_shared<Waterfall>();
            waterfall->onResult = [&] { connector.reset(); };
            connector = waterfall->connect(AKAdType::bannerAdTypeForSize(kAKAdSizeBanner),
                                           Json{{"id", "tym"}, {"adapters", {"AKMAdapterHTML"}}, {"data", data}}.dump());
            adapter = std::dynamic_pointer_cast<AKMAdapterHTML>(connector->adapter());
            connector->getAdFromAdapterWithType(AKAdType::bannerAdTypeForSize(kAKAdSizeBanner));
            CHECK(waterfall->events == (result.empty() ? Events{} : Events{result}));
        }
        CHECK(adapter.expired() == !result.empty());
        if (!result.empty()) continue;
        const auto rendering = adapter.lock();
        CHECK(rendering->isRenderTimerRunning());
        CHECK_FALSE(rendering->passbackUrl());
        const auto& view = *rendering->webView();
        CHECK(view.loadedData()->baseURL == "http://creative.test:81/");
        CHECK(std::string(view.loadedData()->data.begin(), view.loadedData()->data.end()) ==
              (data["adxtym_html"].is_string() ? "<p>ad</p>" : "5"));
        CHECK(view.frame().size == CGSizeMake(320, 50));
        CHECK((!view.isOpaque() && CGColorEqualToColor(view.backgroundColor(), UIColor::clearColor()->CGColor())));
        CHECK((view.layer()->masksToBounds() && !view.scalesPageToFit() && view.allowsInlineMediaPlayback() &&
               view.mediaPlaybackRequiresUserAction() && view.dataDetectorTypes() == UIDataDetectorTypeNone));
        CHECK(view.autoresizingMask() == (UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight));
        connector.reset();  // released: stops being delegate
        CHECK_FALSE(rendering->isRenderTimerRunning());
        CHECK_FALSE(view.delegate());
    }
    Attempt interstitial(Json{{"adxtym_html", "<p>ad</p>"}}, AKAdType::initForInterstitial());
    interstitial.adapter->presentInterstitialFromRootViewController(nullptr);
    CHECK(interstitial.waterfall->events == Events(2, "failed com.adkit.ads 0 Interstitials not supported."));
}

TEST_CASE("HTML adapter: passback navigations are refused as no ad, others load in its own web view") {
    testsupport::TempHome home;
    adkittest::RenderingScope scope;
    adkittest::VirtualTime time;
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"http://Pass.Example/back/", "http://pass.EXAMPLE/back", true},
        {"http://pass.example/back", "https://PASS.example/back/?q=1", true},
        {"http://pass.example", "http://pass.example/", true},
        {nullptr, "passback:nothing", true},
        {"http://pass.example/back", "http://other.example/back", false},
        {"http://pass.example/back", "http://pass.example/back/more", false},
    };
    for (const auto& [passback, navigation, isPassback] : rows) {
        INFO(navigation << " with passback " << (passback ? passback : "(none)"));
        Json data = {{"adxtym_html", "<p>ad</p>"}};
        if (passback) data["adxtym_passback_url"] = passback;
        Attempt attempt(data);
        attempt.nextCheck();
        CHECK(attempt.recorder().navigate(navigation, UIWebViewNavigationTypeLinkClicked) == !isPassback);
        CHECK(attempt.waterfall->events == (isPassback ? Events{kNoAd} : Events{}));
        CHECK(attempt.adapter->isRenderTimerRunning() == !isPassback);
        if (!isPassback) CHECK(attempt.recorder().request()->URL() == navigation);
    }
    // Another view's navigation is refused; after stopBeingDelegate the page's no longer reach the adapter.
    Attempt attempt(Json{{"adxtym_html", "<p>ad</p>"}});
    UIWebView stranger(CGRectMake(0, 0, 10, 10));
    CHECK_FALSE(attempt.adapter->shouldStartLoadWithRequest(stranger, NSURLRequest::requestWithURL("http://a.example/"),
                                                            UIWebViewNavigationTypeOther));
    attempt.adapter->stopBeingDelegate();
    CHECK(attempt.recorder().navigate("passback:late", UIWebViewNavigationTypeOther));
    CHECK(attempt.waterfall->events.empty());
    CHECK_FALSE(attempt.adapter->isRenderTimerRunning());
}

TEST_CASE("HTML adapter: checks every 0.2 s count only frames of the loaded page, a blank page is given up at the 101st") {
    testsupport::TempHome home;
    adkittest::RenderingScope scope;
    adkittest::VirtualTime time;
    Attempt attempt(Json{{"adxtym_html", "<body></body>"}});
    auto& view = *attempt.adapter->webView();
    paintFrame(view, 320 * 50);  // the engine's own opaque frame while the load is under way: not content
    Clock::advance(AKMAdapterHTML::kRenderCheckInterval / 2);
    adkittest::drainMainQueue();
    CHECK(attempt.adapter->checkRenderingCount() == 0);
    Clock::advance(AKMAdapterHTML::kRenderCheckInterval / 2);
    waitFor([&] { return attempt.adapter->checkRenderingCount() == 1; }, "the first render check at 0.2 s");
    attempt.recorder().finishLoad();
    attempt.nextCheck();  // still that frame: none of the page yet
    paintFrame(view, 0);  // the page, blank
    for (int n = 3; n <= 100; ++n) attempt.nextCheck();
    CHECK(attempt.adapter->isRenderTimerRunning());
    attempt.nextCheck();
    CHECK_FALSE(attempt.adapter->isRenderTimerRunning());
    CHECK(attempt.adapter->state() == AKMAdapterHTMLState::gaveUp);
    Clock::advance(1);
    adkittest::drainMainQueue();
    CHECK(attempt.adapter->checkRenderingCount() == 101);
    CHECK(attempt.waterfall->events.empty());

    Attempt drawn(Json{{"adxtym_html", "<p>ad</p>"}});
    drawn.recorder().finishLoad();
    paintFrame(*drawn.adapter->webView(), 320 * 50 / 10 + 1);  // over 10 % drawn
    drawn.nextCheck();
    CHECK(drawn.waterfall->events == Events{"banner"});
    CHECK(drawn.waterfall->banner == drawn.adapter->webView());
    CHECK_FALSE(drawn.adapter->isRenderTimerRunning());
}

TEST_SUITE_BEGIN("engine");

TEST_CASE("HTML adapter on the engine: a creative drawn 300 ms late is reported at the first check after its frame") {
    testsupport::TempHome home;
    adkittest::VirtualTime time;
    UIWebView::useBackingFactory(nullptr);
    {
        // Draws only when told to, 300 ms later; until then the page is clear.
        Attempt attempt(Json{{"adxtym_html", "<body style='margin:0'><div id=ad style='height:50px'></div><script>"
                                             "function go(){setTimeout(function(){ad.style.background='#0a0'},300)}"
                                             "</script></body>"}});
        auto view = attempt.adapter->webView();
        waitFor([&] { return view->stringByEvaluatingJavaScriptFromString("typeof go") == "function"; },
                "the creative's page to load");
        auto shows = [&](auto test) {
            const auto pixel = webtest::layerPixel(*view, 160, 25);
            return pixel && test(*pixel);
        };
        waitFor([&] { return shows([](const CGPixel& p) { return p.a == 0; }); }, "a painted frame of the clear page");
        attempt.nextCheck();
        attempt.nextCheck();
        CHECK(attempt.waterfall->events.empty());
        view->stringByEvaluatingJavaScriptFromString("go()");
        waitFor([&] { return shows([](const CGPixel& p) { return p.g > 150 && p.r < 40; }); },
                "a painted frame with the creative drawn");
        CHECK(attempt.adapter->checkRenderingCount() == 2);  // the Clock stood still: no check between
        attempt.nextCheck();
        CHECK(attempt.waterfall->events == Events{"banner"});
        CHECK(attempt.waterfall->banner == view);
        CHECK_FALSE(attempt.adapter->isRenderTimerRunning());
    }
    adkittest::RenderingScope::emptyPool();
    UIWebView::useBackingFactory(UIWebViewRecorder::factory());
}

namespace {

// The HTML adapter, the latest made kept as the road's handle on its attempt.
struct WatchedHTMLAdapter : AKMAdapterHTML {
    static inline std::weak_ptr<WatchedHTMLAdapter> latest;
};

Json mediationUnit(const Json& networks, int timeoutMillis = 10000) {
    const Json body = {{"ad_type", "banner"},
                       {"settings", {{"ad_network_timeout_millis", timeoutMillis}}},
                       {"ad_networks", networks}};
    return {{"status", 200}, {"contentType", "application/json"}, {"headers", {{"X-Adnet-Mediation", "1"}}},
            {"body", body.dump()}};
}

Json htmlEntry(const Json& data) {
    return {{"id", "tym"}, {"adapters", {NSStringFromClass<WatchedHTMLAdapter>()}}, {"data", data}};
}

struct BannerListener : AKBannerViewDelegate {
    Events heard;
    void adViewDidReceiveAd(AKBannerView&) override { heard.push_back("didReceiveAd"); }
    void adViewDidFailToReceiveAdWithError(AKBannerView&, const NSErrorPtr& error) override {
        heard.push_back("didFail " + std::to_string(error->code()));
    }
};

}  // namespace

// Real time: the waterfall's next network starts from a timed perform.
TEST_CASE("HTML adapter road: a banner's passback is exit code 1 and the next network fills, a blank page times out") {
    adkittest::QuietLog quiet;
    const Json passback = htmlEntry({{"adxtym_html", "<script>location.href='http://PASS.example/back'</script>"},
                                     {"adxtym_passback_url", "http://pass.example/back/"}});
    const Json next = {{"id", "next"}, {"adapters", {"QVScriptedAdapter"}}, {"data", {{"fill", "banner"}}}};
    slotroad::EngineSlots road(Json{{"passback", mediationUnit(Json::array({passback, next}))},
                                    {"blank", mediationUnit(Json::array({htmlEntry({{"adxtym_html", "<body></body>"}})}), 1000)}});
    AKAdHosts::ScopedOrigin reports(AKAdHost::mediationReports, *AKAdOrigin::parse(road.server.origin("http"), "http"));
    AKMAdNetworkAdapter::registerAdapterClass({NSStringFromClass<WatchedHTMLAdapter>(), AKMAdapterHTML::kClassName, [] {
                                                   auto made = std::make_shared<WatchedHTMLAdapter>();
                                                   WatchedHTMLAdapter::latest = made;
                                                   return made;
                                               }, "1.1", ""});
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    window->setHidden(false);
    auto listener = std::make_shared<BannerListener>();
    auto root = std::make_shared<UIViewController>();
    auto load = [&](const std::string& unit) {
        auto banner = AKBannerView::makeWithFrame(CGRectMake(0, 0, 320, 50));
        banner->setAdUnitID(unit);
        banner->setDelegate(listener);
        banner->setRootViewController(root);
        window->addSubview(banner);
        banner->loadRequest(AKRequest::request());
        return banner;
    };
    auto report = [&](const std::string& path) {
        waitFor([&] { return road.logged(path).size() == 1; }, "one report at " + path);
        return road.logged(path).front()["query"];
    };

    auto banner = load("passback");
    waitFor([&] { return slotroad::EngineSlots::ended(*banner->slot()); }, "the passback unit's load to end");
    CHECK(listener->heard == Events{"didReceiveAd"});
    CHECK(report("/imp")["ad_network_id"] == "next");
    CHECK(report("/imp")["aec"] == "1,0");

    listener->heard.clear();
    banner = load("blank");
    waitFor([&] { return WatchedHTMLAdapter::latest.lock() && WatchedHTMLAdapter::latest.lock()->isRenderTimerRunning(); },
            "the blank creative's render check to run");
    const std::weak_ptr<WatchedHTMLAdapter> blank = WatchedHTMLAdapter::latest;
    waitFor([&] { return slotroad::EngineSlots::ended(*banner->slot()); }, "the blank unit's load to end by time-out");
    CHECK(listener->heard == Events{"didFail 9"});
    CHECK(report("/nofill")["aec"] == "3");
    if (const auto adapter = blank.lock()) CHECK_FALSE(adapter->isRenderTimerRunning());  // stopped at the time-out
    waitFor([&] { return blank.expired(); }, "the timed-out adapter to be freed");
    window->setHidden(true);
}

// The detail page's built-in banner as the shipped unit table answers it: an entry without adapter is passed
// over (exit code 4), the HTML adapter fills (0) once its creative has painted.
TEST_CASE("HTML adapter road: the shipped built-in banner unit passes over its first entry and the HTML adapter fills") {
    adkittest::QuietLog quiet;
    const std::string unit = "ca-app-pub-7305118264490321/1093847562";
    std::ifstream in(testsupport::AdPeer::adServerRoot() + "/units.json");
    const Json shipped = Json::parse(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    slotroad::EngineSlots road(Json{{unit, shipped["units"][unit]}});
    AKAdHosts::ScopedOrigin reports(AKAdHost::mediationReports, *AKAdOrigin::parse(road.server.origin("http"), "http"));
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    window->setHidden(false);
    auto listener = std::make_shared<BannerListener>();
    auto root = std::make_shared<UIViewController>();
    auto banner = AKBannerView::makeWithFrame(CGRectMake(0, 0, 320, 50));
    banner->setAdUnitID(unit);
    banner->setDelegate(listener);
    banner->setRootViewController(root);
    window->addSubview(banner);
    banner->loadRequest(AKRequest::request());
    waitFor([&] { return slotroad::EngineSlots::ended(*banner->slot()); }, "the built-in unit's load to end");
    CHECK(listener->heard == Events{"didReceiveAd"});
    waitFor([&] { return road.logged("/imp").size() == 1; }, "one impression report");
    CHECK(road.logged("/imp").front()["query"]["aec"] == "4,0");
    CHECK(road.logged("/imp").front()["query"]["ad_network_id"] == "tym");
    window->setHidden(true);
}

TEST_SUITE_END();
