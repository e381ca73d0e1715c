// Protects the HTML mediation adapter through a real network connector: the
// credential failures and the creative's web view, the passback test and the
// navigations a creative may make, the render check on the Clock (a page that
// stays blank gives up at the 101st check; a creative that draws late on the
// real engine is reported at the first check after its painted frame), and
// the adapter staying alive when its report drops it.
#include <doctest/doctest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "AdkitTestSupport.h"
#include "RenderingScope.h"
#include "SlotEngineRoad.h"
#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/mediation/AKMAdNetworkConnector.h"
#include "adkit/mediation/AKMAdapterHTML.h"
#include "adkit/rendering/AKClickTrackerCollection.h"
#include "adkit/requests/AKBannerView.h"
#include "platform/WebViewSupport.h"
#include "platform/graphics/CGImage.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"
#include "platform/webkit/UIWebViewRecorder.h"

using adkittest::waitFor;

namespace {

// Pings are kept, not sent.
struct KeptPings : AKClickTrackerCollection {
    std::vector<std::string> urls;
    void trackURL(const NSURLPtr& url, bool) override { urls.push_back(url->absoluteString()); }
};

// The waterfall and the glue of one attempt, recording what reaches the
// waterfall ("banner", "failed <domain> <code> <message>"); `onResult` runs
// inside the report (as the waterfall drops a connector that answered).
struct RecordingWaterfall : AKMDelegate, AKMAdManaging {
    std::vector<std::string> results;
    std::shared_ptr<UIView> bannerView;
    std::function<void()> onResult;
    void record(std::string entry) {
        results.push_back(std::move(entry));
        if (onResult) onResult();
    }
    static std::string failure(const NSErrorPtr& error) {
        return "failed " + error->domain() + " " + std::to_string(error->code()) + " " + error->localizedDescription();
    }
    std::shared_ptr<AKMDelegate> delegate() const override { return nullptr; }
    void adRequestReturnsFromConnectorWithView(AKMAdNetworkConnector&, const std::shared_ptr<UIView>& view) override {
        bannerView = view;
        record("banner");
    }
    void adRequestReturnsFromConnectorWithInterstitial(AKMAdNetworkConnector&, const std::shared_ptr<NSObject>&) override {
        record("interstitial");
    }
    void adRequestFailedFromConnectorWithError(AKMAdNetworkConnector&, const NSErrorPtr& error) override {
        record(failure(error));
    }
    std::shared_ptr<UIViewController> viewControllerForPresentingModalView() override { return nullptr; }
    void akmDidReceiveAd(const std::shared_ptr<UIView>&) override {}
    void akmDidReceiveInterstitial(const std::shared_ptr<NSObject>&) override {}
    void akmDidFailToReceiveAdWithError(const NSErrorPtr&) override {}
    void akmBannerAdRefreshFailedWithError(const NSErrorPtr&) override {}
    void akmWillPresentFullScreenModal() override {}
    void akmWillDismissFullScreenModal() override {}
    void akmDidDismissFullScreenModal() override {}
    void akmWillPresentInterstitial() override {}
    void akmWillDismissInterstitial() override {}
    void akmDidDismissInterstitial() override {}
    void akmWillLeaveApplication() override {}
    bool akmTestMode() override { return false; }
    std::shared_ptr<AKAdNetworkExtras> networkExtrasFor(const std::string&) override { return nullptr; }
    std::int64_t userGender() override { return 0; }
    std::optional<Date> userBirthday() override { return std::nullopt; }
    AKLocationPtr userLocation() override { return nullptr; }
    Value userKeywords() override { return Value(); }
    std::optional<bool> childDirectedTreatment() override { return std::nullopt; }
    void startTimingAdapter() override {}
    void endTimingAdapterWithExitCode(long) override {}
    void resetTimingAdapters() override {}
    std::optional<std::string> adapterDurationsParameter() override { return std::nullopt; }
    std::optional<std::string> adapterExitCodesParameter() override { return std::nullopt; }
};

// One attempt at an entry served by the HTML adapter, its credentials ("data") given as JSON.
struct HTMLAttempt {
    std::shared_ptr<KeptPings> pings = std::make_shared<KeptPings>();
    AKAdHosts::ScopedOrigin exchange{AKAdHost::exchangeCreative, *AKAdOrigin::parse("http://creative.test:8123", "http")};
    AKAdTypePtr type;
    std::shared_ptr<RecordingWaterfall> waterfall = std::make_shared<RecordingWaterfall>();
    std::shared_ptr<AKMAdNetworkConnector> connector;
    std::shared_ptr<AKMAdapterHTML> adapter;

    HTMLAttempt(const nlohmann::json& data, AKAdTypePtr adType = AKAdType::bannerAdTypeForSize(kAKAdSizeBanner))
        : type(std::move(adType)) {
        AKClickTrackerCollection::setSharedInstance(pings);
        AKMAdapterHTMLRegister();
        const nlohmann::json response = {
            {"ad_networks", {{{"id", "tym"}, {"adapters", {"AKMAdapterHTML"}}, {"data", data}}}}};
        NSErrorPtr error;
        auto config = AKMMediationConfig::initWithAppKey("unit-h", *AKMacros::readJsonIntoDictionary(response.dump()),
                                                         &error);
        REQUIRE(config);
        connector = AKMAdNetworkConnector::make(type, config, config->adNetworkConfigs().at(0));
        adapter = std::dynamic_pointer_cast<AKMAdapterHTML>(connector->adapter());
        REQUIRE(adapter);
        connector->setGadmDelegate(waterfall);
        connector->setAdManager(waterfall);
    }
    ~HTMLAttempt() { AKClickTrackerCollection::setSharedInstance(nullptr); }
    void start() const { connector->getAdFromAdapterWithType(type); }

    // Advances the Clock to the next render check and waits until it was answered.
    void nextCheck() const {
        INFO("reported so far: " << webtest::joined(waterfall->results));
        const auto before = adapter->checkRenderingCount();
        Clock::advance(AKMAdapterHTML::kRenderCheckInterval);
        waitFor([&] { return adapter->checkRenderingCount() == before + 1; }, "the next render check to be answered");
    }
};

const std::string kFailure = std::string("failed ") + AKErrorDomain + " ";

// What a banner's delegate hears.
struct BannerListener : AKBannerViewDelegate {
    std::vector<std::string> heard;
    void adViewDidReceiveAd(AKBannerView&) override { heard.push_back("didReceiveAd"); }
    void adViewDidFailToReceiveAdWithError(AKBannerView&, const NSErrorPtr& error) override {
        heard.push_back("didFail " + std::to_string(error ? error->code() : -1));
    }
};

}  // namespace

TEST_CASE("HTML adapter: credential failures, interstitials, and the creative's web view") {
    testsupport::TempHome home;
    adkittest::RenderingScope scope;
    adkittest::VirtualTime time;
    AKMAdapterHTMLRegister();
    CHECK(AKMAdNetworkAdapter::classIsAdapterClass("AKMAdapterHTML"));
    CHECK(ClassRegistry::callClassOperation("AKMAdapterHTML", kAKMAdapterVersionOperation) == Value("1.1"));
    CHECK(ClassRegistry::callClassOperation("AKMAdapterHTML", kAKMNetworkExtrasClassOperation) == Value());

    struct Row {
        const char* name;
        nlohmann::json data;
        std::string result;  // "" when the creative renders
    };
    const nlohmann::json html = "<p>ad</p>";
    const Row rows[] = {
        {"empty passback, with HTML", {{"adxtym_html", html}, {"adxtym_passback_url", ""}},
         kFailure + "2 Empty passback URL in TYM response."},
        {"invalid passback", {{"adxtym_html", html}, {"adxtym_passback_url", "http://pass example/"}},
         kFailure + "2 Invalid passback URL in TYM response."},
        {"missing HTML", {{"adxtym_passback_url", "http://pass.example/back"}},
         kFailure + "2 Missing HTML in TYM response."},
        {"empty HTML", {{"adxtym_html", ""}}, kFailure + "2 Missing HTML in TYM response."},
        {"HTML not text", {{"adxtym_html", {{"a", "<p>"}}}}, kFailure + "2 Missing HTML in TYM response."},
        {"passback not text is no passback", {{"adxtym_html", html}, {"adxtym_passback_url", {"x"}}}, ""},
        {"a number is its text", {{"adxtym_html", 5}}, ""},
    };
    for (const auto& row : rows) {
        INFO(row.name);
        HTMLAttempt attempt(row.data);
        std::weak_ptr<AKMAdapterHTML> adapter = attempt.adapter;
        attempt.adapter.reset();
        // The waterfall drops the connector (and so the adapter) inside the report.
        attempt.waterfall->onResult = [&] { attempt.connector.reset(); };
        attempt.start();
        if (!row.result.empty()) {
            CHECK(attempt.waterfall->results == std::vector<std::string>{row.result});
            CHECK(adapter.expired());
            continue;
        }
        CHECK(attempt.waterfall->results.empty());
        auto rendering = adapter.lock();
        REQUIRE(rendering);
        CHECK(rendering->state() == AKMAdapterHTMLState::rendering);
        CHECK(rendering->isRenderTimerRunning());
        CHECK_FALSE(rendering->passbackUrl());
        const auto& view = *rendering->webView();
        REQUIRE(view.loadedData());
        CHECK(view.loadedData()->baseURL == "http://creative.test:8123/");
        CHECK(std::string(view.loadedData()->data.begin(), view.loadedData()->data.end()) ==
              (row.data["adxtym_html"].is_string() ? row.data["adxtym_html"].get<std::string>() : "5"));
        CHECK(view.delegate().get() == static_cast<UIWebViewDelegate*>(rendering.get()));
        CHECK(CGSizeEqualToSize(view.frame().size, CGSizeMake(320, 50)));
        CHECK_FALSE(view.isOpaque());
        CHECK(CGColorEqualToColor(view.backgroundColor(), UIColor::clearColor()->CGColor()));
        CHECK(view.layer()->masksToBounds());
        CHECK(view.autoresizingMask() == (UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight));
        CHECK_FALSE(view.scalesPageToFit());
        CHECK(view.allowsInlineMediaPlayback());
        CHECK(view.mediaPlaybackRequiresUserAction());
        CHECK(view.dataDetectorTypes() == UIDataDetectorTypeNone);
        attempt.connector.reset();  // released: stops being delegate
        CHECK_FALSE(rendering->isRenderTimerRunning());
        CHECK_FALSE(view.delegate());
    }

    HTMLAttempt interstitial(nlohmann::json{{"adxtym_html", html}}, AKAdType::initForInterstitial());
    interstitial.start();
    interstitial.adapter->presentInterstitialFromRootViewController(nullptr);
    const std::string unsupported = kFailure + "0 Interstitials not supported.";
    CHECK(interstitial.waterfall->results == std::vector<std::string>{unsupported, unsupported});
    CHECK_FALSE(interstitial.adapter->webView());
}

TEST_CASE("HTML adapter: passback navigations are refused as no ad, other navigations stay in its web view") {
    testsupport::TempHome home;
    adkittest::RenderingScope scope;
    adkittest::VirtualTime time;
    struct Row {
        const char* passback;  // the credential; null: none
        const char* navigation;
        bool isPassback;
    };
    const Row rows[] = {
        {"http://Pass.Example/back/", "http://pass.EXAMPLE/back", true},
        {"http://pass.example/back", "https://PASS.example/back/?q=1", true},
        {"http://pass.example", "http://pass.example/", true},
        {nullptr, "passback:nothing", true},
        {"http://pass.example/back", "PASSBACK://x", true},
        {"http://pass.example/back", "http://other.example/back", false},
        {"http://pass.example/back", "http://pass.example/back/more", false},
        {nullptr, "http://pass.example/back", false},
    };
    for (const auto& row : rows) {
        INFO(row.navigation << " with passback " << (row.passback ? row.passback : "(none)"));
        nlohmann::json data = {{"adxtym_html", "<p>ad</p>"}};
        if (row.passback) data["adxtym_passback_url"] = row.passback;
        HTMLAttempt attempt(data);
        attempt.start();
        auto& recorder = UIWebViewRecorder::of(*attempt.adapter->webView());
        attempt.nextCheck();
        CHECK(recorder.navigate(row.navigation, UIWebViewNavigationTypeLinkClicked) == !row.isPassback);
        if (row.isPassback) {
            CHECK(attempt.waterfall->results == std::vector<std::string>{kFailure + "1 Ad network returned no ad."});
            CHECK_FALSE(attempt.adapter->isRenderTimerRunning());
            CHECK_FALSE(attempt.adapter->webViewRenderedChecker());
        } else {
            CHECK(attempt.waterfall->results.empty());
            CHECK(attempt.adapter->isRenderTimerRunning());
            CHECK(recorder.request()->URL() == row.navigation);  // loaded in the adapter's own view
        }
    }

    // A navigation the page makes in a frame, and one of a view that is not the adapter's.
    HTMLAttempt attempt(nlohmann::json{{"adxtym_html", "<p>ad</p>"}});
    attempt.start();
    CHECK(UIWebViewRecorder::of(*attempt.adapter->webView()).navigate("http://frame.example/", UIWebViewNavigationTypeOther, false));
    UIWebView stranger(CGRectMake(0, 0, 10, 10));
    CHECK_FALSE(attempt.adapter->shouldStartLoadWithRequest(stranger, NSURLRequest::requestWithURL("http://a.example/"),
                                                            UIWebViewNavigationTypeOther));
    CHECK_FALSE(attempt.adapter->shouldStartLoadWithRequest(*attempt.adapter->webView(), nullptr,
                                                            UIWebViewNavigationTypeOther));
    // After stopBeingDelegate the page's navigations no longer reach the adapter.
    attempt.adapter->stopBeingDelegate();
    CHECK(UIWebViewRecorder::of(*attempt.adapter->webView()).navigate("passback:late", UIWebViewNavigationTypeOther));
    CHECK(attempt.waterfall->results.empty());
    CHECK(attempt.adapter->state() == AKMAdapterHTMLState::stopped);
}

namespace {
// Plays the engine painting a frame of the view: `opaque` of its pixels opaque white, the rest clear.
void paintFrame(UIWebView& view, std::size_t opaque) {
    const auto width = static_cast<std::size_t>(view.bounds().size.width);
    const auto height = static_cast<std::size_t>(view.bounds().size.height);
    Data rgba(width * height * 4, 0);
    std::fill_n(rgba.begin(), std::min(opaque, width * height) * 4, std::uint8_t{255});
    view.backingDidReceiveFrame(CGImageCreateWithRGBA(width, height, std::move(rgba)), 1);
    view.backingDidPaintFrame();
}
}  // namespace

TEST_CASE("HTML adapter: checks every 0.2 s count only frames of the loaded page, a blank page is given up at the 101st") {
    testsupport::TempHome home;
    adkittest::RenderingScope scope;
    adkittest::VirtualTime time;
    HTMLAttempt attempt(nlohmann::json{{"adxtym_html", "<body></body>"}});
    attempt.start();
    auto& view = *attempt.adapter->webView();
    auto& recorder = UIWebViewRecorder::of(view);
    // The engine's own opaque frame while the creative's load is under way is not content.
    paintFrame(view, 320 * 50);
    Clock::advance(AKMAdapterHTML::kRenderCheckInterval / 2);
    adkittest::drainMainQueue();
    CHECK(attempt.adapter->checkRenderingCount() == 0);
    Clock::advance(AKMAdapterHTML::kRenderCheckInterval / 2);
    waitFor([&] { return attempt.adapter->checkRenderingCount() == 1; }, "the first render check at 0.2 s");
    recorder.finishLoad();
    attempt.nextCheck();  // still that frame: none of the page yet
    paintFrame(view, 0);  // the page: clear
    for (int n = 3; n <= 100; ++n) attempt.nextCheck();
    CHECK(attempt.waterfall->results.empty());
    CHECK(attempt.adapter->isRenderTimerRunning());
    CHECK(attempt.adapter->state() == AKMAdapterHTMLState::rendering);
    attempt.nextCheck();
    CHECK(attempt.adapter->checkRenderingCount() == 101);
    CHECK_FALSE(attempt.adapter->isRenderTimerRunning());
    CHECK(attempt.adapter->state() == AKMAdapterHTMLState::gaveUp);
    Clock::advance(1);
    adkittest::drainMainQueue();
    CHECK(attempt.adapter->checkRenderingCount() == 101);
    CHECK(attempt.waterfall->results.empty());

    // A page frame with over 10 % of its pixels drawn is content.
    HTMLAttempt drawn(nlohmann::json{{"adxtym_html", "<p>ad</p>"}});
    drawn.start();
    UIWebViewRecorder::of(*drawn.adapter->webView()).finishLoad();
    paintFrame(*drawn.adapter->webView(), 320 * 50 / 10 + 1);
    drawn.nextCheck();
    CHECK(drawn.waterfall->results == std::vector<std::string>{"banner"});
    CHECK(drawn.waterfall->bannerView == drawn.adapter->webView());
    CHECK_FALSE(drawn.adapter->isRenderTimerRunning());
}

TEST_SUITE_BEGIN("engine");

TEST_CASE("HTML adapter on the engine: a creative drawn 300 ms late is reported at the first check after its frame, a passback by script is refused") {
    testsupport::TempHome home;
    adkittest::VirtualTime time;
    UIWebView::useBackingFactory(nullptr);
    {
        // Draws only when told to, 300 ms later; until then the page is clear.
        HTMLAttempt attempt(nlohmann::json{{"adxtym_html",
                              "<body style='margin:0'><div id=ad style='width:100%;height:50px'></div><script>"
                              "function go(){setTimeout(function(){ad.style.background='#0a0'},300)}</script></body>"}});
        attempt.start();
        auto view = attempt.adapter->webView();
        waitFor([&] { return view->stringByEvaluatingJavaScriptFromString("typeof go") == "function"; },
                "the creative's page to load");
        // (The engine's first frames of a load may still be opaque.)
        waitFor([&] {
            const auto pixel = webtest::layerPixel(*view, 160, 25);
            return pixel && pixel->a == 0;
        }, "a painted frame of the clear page");
        attempt.nextCheck();
        attempt.nextCheck();
        CHECK(attempt.waterfall->results.empty());
        view->stringByEvaluatingJavaScriptFromString("go()");
        waitFor([&] {
            const auto pixel = webtest::layerPixel(*view, 160, 25);
            return pixel && pixel->g > 150 && pixel->r < 40;
        }, "a painted frame with the creative drawn");
        CHECK(attempt.adapter->checkRenderingCount() == 2);  // no check between: the Clock stood still
        attempt.nextCheck();
        CHECK(attempt.waterfall->results == std::vector<std::string>{"banner"});
        CHECK(attempt.waterfall->bannerView == view);
        CHECK(attempt.adapter->checkRenderingCount() == 3);
        CHECK_FALSE(attempt.adapter->isRenderTimerRunning());
        CHECK(attempt.adapter->state() == AKMAdapterHTMLState::reported);
    }
    {
        // The page steers itself to the passback URL (host in other case, no trailing "/").
        HTMLAttempt attempt(nlohmann::json{{"adxtym_html", "<title>kept</title><script>setTimeout(function(){"
                                             "location.href='http://PASS.example/back'},50)</script>"},
                             {"adxtym_passback_url", "http://pass.example/back/"}});
        attempt.start();
        waitFor([&] { return !attempt.waterfall->results.empty(); }, "the passback navigation");
        CHECK(attempt.waterfall->results == std::vector<std::string>{kFailure + "1 Ad network returned no ad."});
        CHECK_FALSE(attempt.adapter->isRenderTimerRunning());
        CHECK(attempt.adapter->webView()->stringByEvaluatingJavaScriptFromString("document.title") == "kept");
    }
    adkittest::RenderingScope::emptyPool();
    UIWebView::useBackingFactory(UIWebViewRecorder::factory());
}

namespace {

// The HTML adapter as the road's handle on its attempt: the latest instance made.
struct WatchedHTMLAdapter : AKMAdapterHTML {
    static std::weak_ptr<WatchedHTMLAdapter>& latest() {
        static std::weak_ptr<WatchedHTMLAdapter> made;
        return made;
    }
};

nlohmann::json mediationUnit(const nlohmann::json& response) {
    return {{"status", 200},
            {"contentType", "application/json"},
            {"headers", {{"X-Adnet-Mediation", "1"}}},
            {"body", response.dump()}};
}

nlohmann::json htmlEntry(const std::string& id, nlohmann::json data) {
    return {{"id", id}, {"adapters", {NSStringFromClass<WatchedHTMLAdapter>()}}, {"data", std::move(data)}};
}

nlohmann::json roadUnits() {
    const nlohmann::json passback = htmlEntry(
        "tym", {{"adxtym_html", "<script>location.href='http://PASS.example/back'</script>"},
                {"adxtym_passback_url", "http://pass.example/back/"}});
    const nlohmann::json next = {{"id", "next"}, {"adapters", {"QVScriptedAdapter"}}, {"data", {{"fill", "banner"}}}};
    return {{"passback", mediationUnit({{"ad_type", "banner"}, {"ad_networks", {passback, next}}})},
            {"blank", mediationUnit({{"ad_type", "banner"},
                                     {"settings", {{"ad_network_timeout_millis", 1000}}},
                                     {"ad_networks", {htmlEntry("blank", {{"adxtym_html", "<body></body>"}})}}})}};
}

// A banner view in a shown window loading mediation units of the ad server, the
// mediation reports going to the server. Real time: the waterfall's next
// network starts from a timed perform.
struct MediationRoad : slotroad::EngineSlots {
    AKAdHosts::ScopedOrigin reports;
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    std::shared_ptr<UIViewController> root = std::make_shared<UIViewController>();
    std::shared_ptr<BannerListener> listener = std::make_shared<BannerListener>();

    MediationRoad()
        : EngineSlots(roadUnits()),
          reports(AKAdHost::mediationReports, *AKAdOrigin::parse(server.origin("http"), "http")) {
        AKMAdNetworkAdapter::registerAdapterClass({NSStringFromClass<WatchedHTMLAdapter>(), AKMAdapterHTML::kClassName,
                                                   [] {
                                                       auto made = std::make_shared<WatchedHTMLAdapter>();
                                                       WatchedHTMLAdapter::latest() = made;
                                                       return made;
                                                   },
                                                   AKMAdapterHTML::adapterVersion(), ""});
        window->setHidden(false);
    }
    ~MediationRoad() { window->setHidden(true); }

    std::shared_ptr<AKBannerView> load(const std::string& unit) {
        auto banner = AKBannerView::makeWithFrame(CGRectMake(0, 0, 320, 50));
        banner->setAdUnitID(unit);
        banner->setDelegate(listener);
        banner->setRootViewController(root);
        window->addSubview(banner);
        banner->loadRequest(AKRequest::request());
        return banner;
    }
    // The query of the one report the server got on a path.
    nlohmann::json report(const std::string& path) const {
        waitFor([&] { return logged(path).size() == 1; }, "one report at " + path);
        return logged(path).front()["query"];
    }
};

}  // namespace

TEST_CASE("HTML adapter road: a banner's passback is exit code 1 and the next network fills, a blank page times out") {
    adkittest::QuietLog quiet;
    MediationRoad road;

    auto banner = road.load("passback");
    waitFor([&] { return slotroad::EngineSlots::ended(*banner->slot()); }, "the passback unit's load to end");
    CHECK(road.listener->heard == std::vector<std::string>{"didReceiveAd"});
    CHECK(banner->slot()->state() == AKSlotStateValidAd);
    const auto imp = road.report("/imp");
    CHECK(imp["ad_network_id"] == "next");
    CHECK(imp["aec"] == "1,0");

    road.listener->heard.clear();
    banner = road.load("blank");
    waitFor([&] {
        auto adapter = WatchedHTMLAdapter::latest().lock();
        return adapter && adapter->isRenderTimerRunning();
    }, "the blank creative's render check to run");
    std::weak_ptr<WatchedHTMLAdapter> blank = WatchedHTMLAdapter::latest();
    waitFor([&] { return slotroad::EngineSlots::ended(*banner->slot()); }, "the blank unit's load to end by the network's time-out");
    CHECK(road.listener->heard == std::vector<std::string>{"didFail 9"});
    CHECK(road.report("/nofill")["aec"] == "3");
    if (const auto adapter = blank.lock()) {  // stopped at the time-out, freed with its connector
        CHECK(adapter->state() == AKMAdapterHTMLState::stopped);
        CHECK_FALSE(adapter->isRenderTimerRunning());
    }
    waitFor([&] { return blank.expired(); }, "the timed-out adapter to be freed");
}

TEST_SUITE_END();
