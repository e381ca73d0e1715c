// Protects the library's own network adapter: the nested request it builds from
// the connector's targeting and the entry's data, its class operations, and on
// the real engine against the ad server the nested banner and interstitial it
// loads (from the entry's "ad" without an ad request, or through the core page
// with the mediation parameters), the results and failures it reports to its
// connector, what the nested slot takes from the mediating one, a publisher's
// banner filled through it, and mediation that names itself ending in no fill.
#include <doctest/doctest.h>

#include "SlotEngineRoad.h"
#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/mediation/AKMAdNetworkConnector.h"
#include "adkit/mediation/AKMAdapterAdKitAdNetAds.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/rendering/AKOpener.h"
#include "adkit/requests/AKBannerView.h"
#include "adkit/requests/AKInterstitial.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

using adkittest::waitFor;

namespace {

constexpr const char* kAdapter = AKMAdNetworkAdapter::kAdKitAdapterClassName;

// The glue of a mediating slot, the waterfall and the targeting in one: what a
// connector reports to, recorded; the slot is the one it mediates for.
struct RecordingGlue : AKMToAKGlue, AKMDelegate, AKMAdManaging {
    std::vector<std::string> events;
    std::vector<NSErrorPtr> errors;
    std::string heard() const {
        std::string text;
        for (const auto& error : errors) text += (error ? error->description() : "(null)") + "\n";
        return text;
    }
    std::shared_ptr<UIView> view;
    std::shared_ptr<NSObject> interstitial;
    std::function<void()> onFailure;  // runs inside the failure report
    std::shared_ptr<UIViewController> root = std::make_shared<UIViewController>();
    bool testMode = false;
    AKLocationPtr location;
    std::shared_ptr<AKAdNetExtras> publisherExtras;

    std::shared_ptr<AKMDelegate> delegate() const override {
        return std::dynamic_pointer_cast<AKMDelegate>(std::const_pointer_cast<NSObject>(shared_from_this()));
    }
    void adRequestReturnsFromConnectorWithView(AKMAdNetworkConnector&, const std::shared_ptr<UIView>& v) override {
        view = v;
        events.push_back("banner");
    }
    void adRequestReturnsFromConnectorWithInterstitial(AKMAdNetworkConnector&,
                                                       const std::shared_ptr<NSObject>& ad) override {
        interstitial = ad;
        events.push_back("interstitial");
    }
    void adRequestFailedFromConnectorWithError(AKMAdNetworkConnector&, const NSErrorPtr& error) override {
        errors.push_back(error);
        events.push_back("failed");
        if (onFailure) onFailure();
    }
    std::shared_ptr<UIViewController> viewControllerForPresentingModalView() override { return root; }
    void akmDidReceiveAd(const std::shared_ptr<UIView>&) override {}
    void akmDidReceiveInterstitial(const std::shared_ptr<NSObject>&) override {}
    void akmDidFailToReceiveAdWithError(const NSErrorPtr&) override {}
    void akmBannerAdRefreshFailedWithError(const NSErrorPtr&) override {}
    void akmWillPresentFullScreenModal() override { events.push_back("will present modal"); }
    void akmWillDismissFullScreenModal() override {}
    void akmDidDismissFullScreenModal() override {}
    void akmWillPresentInterstitial() override {}
    void akmWillDismissInterstitial() override {}
    void akmDidDismissInterstitial() override {}
    void akmWillLeaveApplication() override { events.push_back("leave"); }
    bool akmTestMode() override { return testMode; }
    std::shared_ptr<AKAdNetworkExtras> networkExtrasFor(const std::string& extrasClass) override {
        return extrasClass == "AKAdNetExtras" ? publisherExtras : nullptr;
    }
    std::int64_t userGender() override { return 2; }
    std::optional<Date> userBirthday() override { return std::nullopt; }
    AKLocationPtr userLocation() override { return location; }
    Value userKeywords() override { return Value::array({"k1", "k2"}); }
    std::optional<bool> childDirectedTreatment() override { return true; }
    void startTimingAdapter() override {}
    void endTimingAdapterWithExitCode(long) override {}
    void resetTimingAdapters() override {}
    std::optional<std::string> adapterDurationsParameter() override { return std::nullopt; }
    std::optional<std::string> adapterExitCodesParameter() override { return std::nullopt; }
};

// A connector of a parsed configuration whose first entry is `entry`, attached
// to the glue, and its built-in adapter.
struct BuiltInAttempt {
    std::shared_ptr<AKMAdNetworkConnector> connector;
    std::shared_ptr<AKMAdapterAdKitAdNetAds> adapter;

    BuiltInAttempt(const std::shared_ptr<RecordingGlue>& glue, const AKAdTypePtr& type, const std::string& entry) {
        NSErrorPtr error;
        const auto config = AKMMediationConfig::initWithAppKey(
            "outer", *AKMacros::readJsonIntoDictionary(R"({"ad_networks": [)" + entry +
                                                       R"(, {"id": "n2"}, {"id": "n3", "adapters": ["X", "Y"]}]})"),
            &error);
        REQUIRE(config);
        connector = AKMAdNetworkConnector::make(type, config, config->adNetworkConfigs().at(0));
        adapter = std::dynamic_pointer_cast<AKMAdapterAdKitAdNetAds>(connector->adapter());
        REQUIRE(adapter);
        connector->setGadmDelegate(glue);
        connector->setAdManager(glue);
    }
};

std::string entryJSON(const std::string& data, const std::string& more = "") {
    return R"({"id": "n1", "adapters": ["NoSuchAdapter", ")" + std::string(kAdapter) + R"("], "data": )" + data +
           more + "}";
}

Value json(const std::string& text) { return *AKMacros::readJsonIntoDictionary(text); }

// The entry's "ad" member: a titled creative based on the server's https origin.
std::string inlineAd(const slotroad::EngineSlots& road, const std::string& title) {
    return R"(, "ad": {"ad_html": ")" + slotroad::titledCreative(title) + R"(", "ad_base_url": ")" +
           road.server.origin("https") + R"(/"})";
}

}  // namespace

TEST_CASE("mediation built-in adapter: the nested request from the targeting, the extras and the configuration") {
    CHECK(ClassRegistry::callClassOperation(kAdapter, kAKMAdapterVersionOperation) == Value(AKRequest::sdkVersion()));
    CHECK(ClassRegistry::callClassOperation(kAdapter, kAKMNetworkExtrasClassOperation) == Value("AKAdNetExtras"));
    CHECK(ClassRegistry::instancesRespondTo(kAdapter, kAKMChangeAdSizeOperation));
    CHECK(AKMAdNetworkAdapter::classIsAdapterClass(kAdapter));

    const auto precise = AKLocation::initWithLatitude(52.5, 13.4, 20);
    const auto described = AKLocation::initWithLocationDescription("Berlin");
    struct Row {
        const char* what;
        std::string data;
        std::string more;
        bool testMode;
        AKLocationPtr location;
        std::string publisher;  // the publisher's additional parameters ("": none registered)
        std::string parameters;
        std::string place;  // "lat,long" of a precise location, the description, or "" for none
    };
    const Row rows[] = {
        {"text credentials, text-only extras, a publisher gw overwritten",
         R"({"pubid": "u", "mad_hac": "h"})", R"(, "extras": {"a": "1", "b": 2})", false, nullptr,
         R"({"gw": "0", "a": "0", "p": "x"})", R"({"gw": "1", "a": "1", "p": "x", "mad_hac": "h"})", ""},
        {"a numeric mad_hac is text, the entry's ad goes under _ad, test mode",
         R"({"mad_hac": 7})", R"(, "ad": {"ad_html": "<p>x</p>"})", true, nullptr, "",
         R"({"gw": "1", "mad_hac": "7", "_ad": {"ad_html": "<p>x</p>"}})", ""},
        {"a mad_hac that is no text is left out, the shared precise location",
         R"({"mad_hac": {"v": 1}, "gwhirl_share_location": "1"})", "", false, precise, "", R"({"gw": "1"})",
         "52.500000,13.400000"},
        {"a location description without a precise location", R"({"gwhirl_share_location": "1"})", "", false,
         described, "", R"({"gw": "1"})", "Berlin"},
        {"a location the entry does not share", R"({"gwhirl_share_location": "0"})", "", false, precise, "",
         R"({"gw": "1"})", ""},
    };
    for (const auto& row : rows) {
        CAPTURE(row.what);
        const auto glue = std::make_shared<RecordingGlue>();
        glue->testMode = row.testMode;
        glue->location = row.location;
        if (!row.publisher.empty()) {
            glue->publisherExtras = std::make_shared<AKAdNetExtras>();
            glue->publisherExtras->setAdditionalParameters(json(row.publisher));
        }
        BuiltInAttempt attempt(glue, AKAdType::bannerAdTypeForSize(kAKAdSizeBanner), entryJSON(row.data, row.more));
        const auto request = attempt.adapter->request();

        CHECK(request->additionalParameters() == json(row.parameters));
        const auto devices = row.testMode ? std::vector<std::string>{"Simulator", AKDevice::currentDevice()->deviceIdentifier()}
                                          : std::vector<std::string>{};
        CHECK(request->testDevices() == devices);
        CHECK(request->isATestDevice() == row.testMode);
        const auto place = request->location();
        CHECK((place ? place->locationDescription() : std::string()) == row.place);
        CHECK(request->childDirectedTreatment() == std::optional<bool>(true));
        CHECK(request->gender() == 2);
        CHECK(request->keywords() == Value::array({"k1", "k2"}));
        CHECK(request->privateMediationExtras() ==
              json(R"({"man": [["NoSuchAdapter", ")" + std::string(kAdapter) + R"("], null, ["X", "Y"]], "mcan": ")" +
                   kAdapter + R"("})"));
        if (glue->publisherExtras)  // the publisher's own object is not changed
            CHECK(glue->publisherExtras->additionalParameters() == json(row.publisher));
    }
    // Without a connector: a plain request.
    AKMAdapterAdKitAdNetAds alone;
    CHECK(alone.request()->additionalParameters().isNull());
    CHECK(AKMAdapterAdKitAdNetAds::slotFromConnector(nullptr) == nullptr);
}

TEST_SUITE_BEGIN("engine");

TEST_CASE("mediation built-in adapter road: nested ads from the entry or the core page, results and failures to the connector") {
    slotroad::EngineSlots road(
        nlohmann::json{{"nested-plain", slotroad::htmlUnit(slotroad::titledCreative("nested-plain"))}});
    AKAdHosts::ScopedOrigin reports(AKAdHost::mediationReports,
                                    *AKAdOrigin::parse(road.server.origin("http"), "http"));
    const auto owner = std::make_shared<slotroad::ErrorKeepingOwner>();
    const auto mediating = slotroad::EngineSlots::makeSlot(owner, "outer");
    mediating->setMediationNestingDepth(1);
    mediating->webViewDelegate()->opener()->setAutoClickProtected(true);
    const auto glue = std::make_shared<RecordingGlue>();
    glue->setSlot(mediating);
    const auto banner = AKAdType::bannerAdTypeForSize(kAKAdSizeBanner);

    SUBCASE("the entry's ad renders without an ad request, in a nested slot one level deeper") {
        BuiltInAttempt attempt(glue, banner,
                               entryJSON(R"({"pubid": "nested-inline"})",
                                         inlineAd(road, "from-entry")));
        CHECK(AKMAdapterAdKitAdNetAds::slotFromConnector(attempt.connector) == mediating);
        attempt.connector->getAdFromAdapterWithType(banner);
        waitFor([&] { return !glue->events.empty(); }, "the nested banner's result at the connector", slotroad::kLoadBound);
        INFO(glue->heard());
        REQUIRE(glue->events == std::vector<std::string>{"banner"});
        const auto& nested = attempt.adapter->banner();
        CHECK(glue->view == nested);
        // The title as the engine reports it, a moment after the page shows: no synchronous evaluation, which
        // a busy machine may not answer within the watchdog's limit.
        waitFor([&] { return nested->slot()->webView()->webView()->documentTitle() == "from-entry"; },
                "the nested banner's title");
        CHECK(road.logged(slotroad::kAdPath).empty());
        CHECK(nested->adUnitID() == std::optional<std::string>("nested-inline"));
        CHECK(nested->rootViewController() == glue->root);
        CHECK(nested->createdOnMediationRequest());
        CHECK(nested->slot()->mediationNestingDepth() == 2);
        CHECK(nested->slot()->webViewDelegate()->opener()->autoClickProtected());

        // The banner's user events become the connector's, each with its click.
        attempt.adapter->adViewWillPresentScreen(*nested);
        attempt.adapter->adViewWillLeaveApplication(*nested);
        CHECK(glue->events == std::vector<std::string>{"banner", "will present modal", "leave"});
        attempt.adapter->changeAdSizeTo(kAKAdSizeMediumRectangle);
        CHECK(AKAdSizeIsEqual(nested->adSize(), kAKAdSizeMediumRectangle));

        // Detached from its banner, the adapter hears nothing more.
        attempt.adapter->stopBeingDelegate();
        CHECK(nested->delegate() == nullptr);
    }

    SUBCASE("an entry without an ad is requested through the core page with the mediation parameters") {
        BuiltInAttempt attempt(glue, banner, entryJSON(R"({"pubid": "nested-plain", "mad_hac": "h"})"));
        attempt.connector->getAdFromAdapterWithType(banner);
        waitFor([&] { return !glue->events.empty(); }, "the nested banner's result at the connector", slotroad::kLoadBound);
        INFO(glue->heard());
        REQUIRE(glue->events == std::vector<std::string>{"banner"});
        CHECK(glue->view == attempt.adapter->banner());
        const auto requests = road.logged(slotroad::kAdPath);
        REQUIRE(requests.size() == 1);
        const auto& query = requests[0]["query"];
        CHECK(query["slotname"] == "nested-plain");
        const auto extras = nlohmann::json::parse(query.value("extras", std::string("null")));
        CHECK(extras == nlohmann::json{{"gw", "1"}, {"mad_hac", "h"}});
        const auto signals = nlohmann::json::parse(query.value("quality_signals", std::string("null")));
        CHECK(signals["request"] == nlohmann::json{{"man", {{"NoSuchAdapter", kAdapter}, nullptr, {"X", "Y"}}},
                                                   {"mcan", kAdapter}});
    }

    SUBCASE("a nested failure reaches the connector, which may drop the adapter inside the report") {
        auto attempt = std::make_unique<BuiltInAttempt>(glue, banner, entryJSON(R"({"pubid": "nested-missing"})"));
        std::weak_ptr<AKMAdapterAdKitAdNetAds> adapter = attempt->adapter;
        attempt->adapter.reset();
        glue->onFailure = [&] { attempt.reset(); };  // the waterfall drops the connector as it hears the failure
        attempt->connector->getAdFromAdapterWithType(banner);
        waitFor([&] { return !glue->events.empty(); }, "the nested failure at the connector", slotroad::kLoadBound);
        INFO(glue->heard());
        CHECK(glue->events == std::vector<std::string>{"failed"});
        REQUIRE(glue->errors.size() == 1);
        CHECK(glue->errors[0]->domain() == "com.adkit.ads");
        CHECK(adapter.expired());
        CHECK(road.loggedQuery(slotroad::kAdPath, "slotname") == std::vector<std::string>{"nested-missing"});
    }

    SUBCASE("an interstitial attempt loads a nested interstitial and reports it") {
        const auto interstitial = AKAdType::initForInterstitial();
        BuiltInAttempt attempt(glue, interstitial,
                               entryJSON(R"({"pubid": "nested-full"})",
                                         inlineAd(road, "full")));
        attempt.connector->getAdFromAdapterWithType(interstitial);
        waitFor([&] { return !glue->events.empty(); }, "the nested interstitial's result at the connector", slotroad::kLoadBound);
        REQUIRE(glue->events == std::vector<std::string>{"interstitial"});
        CHECK(glue->interstitial == attempt.adapter->interstitial());
        CHECK(attempt.adapter->interstitial()->adUnitID() == std::optional<std::string>("nested-full"));
        CHECK(attempt.adapter->interstitial()->slot()->mediationNestingDepth() == 2);
        CHECK(road.logged(slotroad::kAdPath).empty());
    }
}

namespace {

// What the publisher's banner delegate hears, in order.
struct BannerListener : AKBannerViewDelegate {
    std::vector<std::string> heard;
    void adViewDidReceiveAd(AKBannerView&) override { heard.push_back("received"); }
    void adViewDidFailToReceiveAdWithError(AKBannerView&, const NSErrorPtr& error) override {
        heard.push_back("failed " + std::to_string(error ? error->code() : -1));
    }
};

// A unit answering mediation through the built-in adapter for `inner`.
nlohmann::json builtInMediationUnit(const std::string& inner) {
    return {{"headers", {{"X-Adnet-Mediation", "1"}}},
            {"json",
             {{"ad_type", "banner"},
              {"settings", {{"ad_network_timeout_millis", 60000}}},
              {"ad_networks", {{{"id", "own"}, {"adapters", {kAdapter}}, {"data", {{"pubid", inner}}}}}}}}};
}

}  // namespace

TEST_CASE("mediation built-in adapter road: a banner fills from the library's own network, self-naming mediation ends in no fill") {
    slotroad::EngineSlots road(nlohmann::json{{"outer", builtInMediationUnit("inner")},
                                              {"inner", slotroad::htmlUnit(slotroad::titledCreative("inner"))},
                                              {"loop", builtInMediationUnit("loop")}});
    AKAdHosts::ScopedOrigin reports(AKAdHost::mediationReports,
                                    *AKAdOrigin::parse(road.server.origin("http"), "http"));
    const auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    window->setHidden(false);
    const auto root = std::make_shared<UIViewController>();
    const auto listener = std::make_shared<BannerListener>();
    const auto load = [&](const std::string& unit) {
        auto banner = AKBannerView::makeWithAdSize(kAKAdSizeBanner);
        banner->setAdUnitID(unit);
        banner->setDelegate(listener);
        banner->setRootViewController(root);
        window->addSubview(banner);
        banner->loadRequest(AKRequest::request());
        waitFor([&] { return !listener->heard.empty(); }, "the banner of " + unit + " to load or fail", slotroad::kLoadBound);
        return banner;
    };

    SUBCASE("the nested banner of the inner unit fills the outer banner") {
        const auto banner = load("outer");
        CHECK(listener->heard == std::vector<std::string>{"received"});
        CHECK(banner->adNetworkClassName() == std::optional<std::string>(kAdapter));
        const auto nested = std::dynamic_pointer_cast<AKBannerView>(banner->mediatedAdView());
        REQUIRE(nested);
        CHECK(nested->adUnitID() == std::optional<std::string>("inner"));
        CHECK(nested->slot()->mediationNestingDepth() == 1);
        waitFor([&] { return nested->slot()->webView()->webView()->documentTitle() == "inner"; },
                "the nested banner's title");
        CHECK(road.loggedQuery(slotroad::kAdPath, "slotname") == std::vector<std::string>{"outer", "inner"});
    }

    SUBCASE("a unit whose mediation names itself nests twice, then ends in no fill") {
        load("loop");
        CHECK(listener->heard == std::vector<std::string>{"failed 9"});
        CHECK(road.loggedQuery(slotroad::kAdPath, "slotname") == std::vector<std::string>{"loop", "loop", "loop"});
    }
    window->setHidden(true);
}

TEST_SUITE_END();
