// Protects custom events in mediation (creating the publisher's class, failures
// with their exact texts, extras by label, the relay of every custom-event call
// to the connector, reports inside the request call) and the scripted networks
// every mediation test drives, through real connectors.
#include <doctest/doctest.h>

#include <span>

#include "AdkitTestSupport.h"
#include "MediationTestClasses.h"
#include "SlotTestOwner.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/mediation/AKCustomEventExtras.h"
#include "adkit/mediation/AKMAdNetworkConnector.h"
#include "adkit/mediation/AKMAdapterCustomEvents.h"
#include "adkit/rendering/AKClickTrackerCollection.h"
#include "adkit/requests/AKRequest.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/uikit/UIViewController.h"

using adkittest::waitFor;

namespace {

// Advances virtual time and runs the main queue until everything due by then has run.
void advanceAndSettle(double seconds) {
    Clock::advance(seconds);
    auto settled = std::make_shared<bool>(false);
    dispatch_after(DISPATCH_TIME_NOW, dispatch_get_main_queue(), [settled] { *settled = true; });
    waitFor([&] { return *settled; }, "the main queue ran what was due after " + std::to_string(seconds) + " s");
}

std::string entryWith(const std::string& adapter, const std::string& data) {
    return R"({"id": "n1", "adapters": [")" + adapter + R"("], "data": )" + data + "}";
}

struct PubLogLines : AKLogChecker {
    std::vector<std::string> lines;
    void message(const std::string& text) override { lines.push_back(text); }
};

// The shared click tracker collection, keeping the paths it was handed instead of pinging.
struct PingPaths : AKClickTrackerCollection {
    std::vector<std::string> paths;
    void trackURL(const NSURLPtr& url, bool) override { paths.push_back(url->path()); }
};

// The custom-event adapter, and the pub log and pings kept (none sent) while it lives.
struct MediationScope {
    adkittest::QuietLog quiet;
    std::shared_ptr<PubLogLines> log = std::make_shared<PubLogLines>();
    std::shared_ptr<PingPaths> pings = std::make_shared<PingPaths>();
    AKAdHosts::ScopedOrigin reports{AKAdHost::mediationReports, *AKAdOrigin::parse("http://127.0.0.1:9", "http")};
    MediationScope() {
        AKMacros::setLogChecker(log);
        AKClickTrackerCollection::setSharedInstance(pings);
    }
    ~MediationScope() {
        AKMacros::setLogChecker(nullptr);
        AKClickTrackerCollection::setSharedInstance(nullptr);
    }
};

using Events = std::vector<std::string>;

}  // namespace

TEST_CASE("scripted adapter: answers, delays, failures, refreshes and late answers as its credentials say") {
    MediationScope scope;
    adkittest::VirtualTime clock;
    const auto banner = AKAdType::bannerAdTypeForSize(kAKAdSizeBanner);
    const auto interstitial = AKAdType::initForInterstitial();
    const std::string noFill = "failed com.adkit.ads 1 Scripted: no fill.";
    struct Row {
        const char* data;
        bool interstitial;
        bool stopFirst;  // stopBeingDelegate right after the request
        Events atOnce;
        Events after;  // after three steps of 100 ms
    };
    const Row rows[] = {
        {R"({"fill": "banner"})", false, false, {"banner"}, {"banner"}},
        {R"({"fill": "banner", "after_ms": 150})", false, false, {}, {"banner"}},
        {R"({"fill": "nofill"})", false, false, {noFill}, {noFill}},
        {R"({"fill": "error", "message": "boom"})", true, false, {"failed qv.scripted 2 boom"}, {"failed qv.scripted 2 boom"}},
        {R"({"fill": "never"})", false, false, {}, {}},
        {R"({"fill": "interstitial", "after_ms": "50"})", true, false, {}, {"interstitial"}},
        {R"({"fill": "banner", "refresh_ms": "100"})", false, false, {"banner"}, {"banner", "banner", "banner", "banner"}},
        {R"({"fill": "banner", "refresh_ms": "100", "refresh_fail": "1", "message": "m"})", false, false, {"banner"},
         {"banner", "failed qv.scripted 2 m", "failed qv.scripted 2 m", "failed qv.scripted 2 m"}},
        {R"({"fill": "banner", "after_ms": "100"})", false, true, {}, {}},
        {R"({"fill": "banner", "after_ms": "100", "late": "1"})", false, true, {}, {"banner"}},
    };
    for (const auto& row : rows) {
        CAPTURE(row.data);
        auto waterfall = std::make_shared<QVRecordingWaterfall>();
        auto connector = waterfall->connect(row.interstitial ? interstitial : banner,
                                            entryWith("QVScriptedAdapter", row.data));
        REQUIRE(connector);
        connector->getAdFromAdapterWithType(row.interstitial ? interstitial : banner);
        auto adapter = QVScriptedNetwork::latestAdapter();
        REQUIRE(adapter);
        if (row.stopFirst) connector->askAdapterToStopBeingDelegate();
        CHECK(waterfall->events == row.atOnce);
        for (int step = 0; step < 3; ++step) advanceAndSettle(0.1);
        CHECK(waterfall->events == row.after);
        connector.reset();
        adapter.reset();
        CHECK(QVScriptedNetwork::liveAdapters() == 0);
    }
}

// ---- Custom events ------------------------------------------------------------------------------

namespace {

std::string customEntry(const std::string& data) { return entryWith("AKMAdapterCustomEvents", data); }

}  // namespace

TEST_CASE("custom events that cannot serve fail the attempt with their texts, and a class of neither kind is not made") {
    MediationScope scope;
    const std::string prefix = "failed ad_mediation 1 ";
    struct Row {
        const char* data;
        bool interstitial;
        std::string failure;
        bool logged;
    };
    const Row rows[] = {
        {R"({"parameter": "p"})", false, "No class name for the Custom Event.", false},
        {R"({"class_name": ["QVScriptedCustomEvent"]})", true, "No class name for the Custom Event.", false},
        {R"({"class_name": "NoSuchEvent"})", false, "Cannot find Custom Event class named NoSuchEvent.", true},
        {R"({"class_name": 42})", false, "Cannot find Custom Event class named 42.", true},
        {R"({"class_name": "QVNotACustomEvent"})", false,
         "Custom Event class QVNotACustomEvent does not conform to the AKCustomEventBanner protocol.", true},
        {R"({"class_name": "QVNotACustomEvent"})", true,
         "Custom Event class QVNotACustomEvent does not conform to the AKCustomEventInterstitial protocol.", true},
        {R"({"class_name": "QVInterstitialOnlyCustomEvent"})", false,
         "Custom Event class QVInterstitialOnlyCustomEvent does not conform to the AKCustomEventBanner protocol.", true},
    };
    for (const auto& row : rows) {
        CAPTURE(row.data);
        CAPTURE(row.interstitial);
        scope.log->lines.clear();
        auto type = row.interstitial ? AKAdType::initForInterstitial() : AKAdType::bannerAdTypeForSize(kAKAdSizeBanner);
        auto waterfall = std::make_shared<QVRecordingWaterfall>();
        auto connector = waterfall->connect(type, customEntry(row.data));
        REQUIRE(connector);
        connector->getAdFromAdapterWithType(type);
        CHECK(waterfall->events == Events{prefix + row.failure});
        CHECK(scope.log->lines == (row.logged ? std::vector<std::string>{row.failure} : std::vector<std::string>{}));
    }
    CHECK(QVScriptedNetwork::notACustomEventsMade() == 0);
    CHECK(QVScriptedNetwork::liveCustomEvents() == 0);
    CHECK(ClassRegistry::callClassOperation("AKMAdapterCustomEvents", kAKMAdapterVersionOperation) ==
          std::optional<Value>(Value(AKRequest::sdkVersion())));
    CHECK(AKMAdNetworkAdapter::classIsAdapterClass("AKMAdapterCustomEvents"));
}

TEST_CASE("custom events get the extras of their entry's label and a snapshot of the targeting") {
    MediationScope scope;
    auto extras = std::make_shared<AKCustomEventExtras>();
    extras->setExtras(Value({{"k", Value("for L")}}), "L");
    extras->setExtras(Value({{"k", Value("for M")}}), "M");
    extras->setExtras(Value({{"k", Value("gone")}}), "N");
    extras->setExtras(Value(), "N");  // a null dictionary removes the label
    extras->setExtras(Value({{"k", Value("unlabelled")}}), std::nullopt);
    CHECK(scope.log->lines == std::vector<std::string>{"Must specify a label for extras."});
    CHECK(extras->allExtras().count() == 2);

    const std::pair<const char*, Value> rows[] = {
        {R"("label": "L")", Value({{"k", Value("for L")}})},
        {R"("label": "M")", Value({{"k", Value("for M")}})},
        {R"("label": "N")", Value()},
        {R"("label": "l")", Value()},
        {R"("label": {"L": 1})", Value()},
        {R"("other": "L")", Value()},
    };
    for (const auto& [label, expected] : rows) {
        CAPTURE(label);
        auto waterfall = std::make_shared<QVRecordingWaterfall>();
        waterfall->extras["AKCustomEventExtras"] = extras;
        waterfall->testMode = true;
        waterfall->location = AKLocation::initWithLatitude(48.1, 11.6, 30);
        auto type = AKAdType::bannerAdTypeForSize(kAKAdSizeBanner);
        auto connector = waterfall->connect(
            type, customEntry(R"({"class_name": "QVScriptedCustomEvent", "parameter": "p", "gwhirl_share_location": "1", )" +
                              std::string(label) + "}"));
        REQUIRE(connector);
        connector->getAdFromAdapterWithType(type);
        auto event = std::dynamic_pointer_cast<QVScriptedCustomEvent>(QVScriptedNetwork::latestCustomEvent());
        REQUIRE(event);
        REQUIRE(event->request());
        const auto& request = *event->request();
        CHECK(request.additionalParameters() == expected);
        CHECK(event->parameter() == std::optional<std::string>("p"));
        CHECK(request.isTesting());
        CHECK(request.userGender() == 1);
        CHECK(request.userHasLocation());
        CHECK(request.userLatitude() == 48.1);
        CHECK(request.userKeywords() == Value::array({"kw"}));
        CHECK(event->calls() == std::vector<std::string>{"banner " + AKAdSizeDescription(kAKAdSizeBanner)});
    }
    extras->removeAllExtras();
    CHECK(extras->allExtras().count() == 0);
}

TEST_CASE("every custom-event call reaches the connector as its adapter event, and nothing once the adapter stopped") {
    MediationScope scope;
    auto root = std::make_shared<UIViewController>();
    using Step = std::function<void(QVScriptedCustomEvent&, AKMAdNetworkConnector&)>;
    struct Row {
        const char* what;
        Step step;
        std::optional<std::string> event;  // what the waterfall records next, if anything
        std::optional<std::string> ping;   // the path pinged next, if any
    };
    const NSErrorPtr failure = NSError::make(kQVScriptedErrorDomain, 5, "relayed");
    const std::string failed = "failed qv.scripted 5 relayed";
    // The scripted event is "late": it keeps reporting to the adapter after the adapter stopped.
    const Step stopThenReport = [](QVScriptedCustomEvent& e, AKMAdNetworkConnector& c) {
        c.askAdapterToStopBeingDelegate();
        e.click();
        e.present();
        e.leaveApplication();
    };
    const Row banner[] = {
        {"received inside the request", {}, "banner", "/imp"},
        {"click", [](auto& e, auto&) { e.click(); }, std::nullopt, "/clk"},
        {"will present modal", [](auto& e, auto&) { e.present(); }, "will present modal", std::nullopt},
        {"will dismiss modal", [](auto& e, auto&) { e.willDismiss(); }, "will dismiss modal", std::nullopt},
        {"did dismiss modal", [](auto& e, auto&) { e.dismiss(); }, "did dismiss modal", std::nullopt},
        {"leave", [](auto& e, auto&) { e.leaveApplication(); }, "leave", std::nullopt},
        {"failed", [&](auto& e, auto&) { e.bannerDelegate()->customEventBannerDidFailAd(e, failure); }, failed,
         std::nullopt},
        {"stopped, then late events", stopThenReport, std::nullopt, std::nullopt},
    };
    const Row interstitial[] = {
        {"received inside the request", {}, "interstitial", std::nullopt},
        {"will present", [&](auto&, auto& c) { c.adapter()->presentInterstitialFromRootViewController(root); },
         "will present", "/imp"},
        {"will dismiss", [](auto& e, auto&) { e.willDismiss(); }, "will dismiss", std::nullopt},
        {"did dismiss", [](auto& e, auto&) { e.dismiss(); }, "did dismiss", std::nullopt},
        {"leave", [](auto& e, auto&) { e.leaveApplication(); }, "leave", std::nullopt},
        {"failed", [&](auto& e, auto&) { e.interstitialDelegate()->customEventInterstitialDidFailAd(e, failure); },
         failed, std::nullopt},
        {"stopped, then late events", stopThenReport, std::nullopt, std::nullopt},
    };
    const std::pair<AKAdTypePtr, std::span<const Row>> kinds[] = {
        {AKAdType::bannerAdTypeForSize(kAKAdSizeBanner), banner},
        {AKAdType::initForInterstitial(), interstitial},
    };
    const std::string entry =
        customEntry(R"({"class_name": "QVScriptedCustomEvent", "parameter": "{\"fill\": \"banner\", \"late\": 1}"})");
    for (const auto& [type, steps] : kinds) {
        CAPTURE(type->isInterstitial());
        scope.pings->paths.clear();
        auto waterfall = std::make_shared<QVRecordingWaterfall>();
        waterfall->rootViewController = root;
        auto connector = waterfall->connect(type, entry);
        REQUIRE(connector);
        connector->getAdFromAdapterWithType(type);
        auto event = std::dynamic_pointer_cast<QVScriptedCustomEvent>(QVScriptedNetwork::latestCustomEvent());
        REQUIRE(event);
        if (!type->isInterstitial()) {
            REQUIRE(event->bannerDelegate());
            CHECK(event->bannerDelegate()->viewControllerForPresentingModalView() == root);
        }
        CHECK(connector->askAdapterIsBannerAnimationOK(5));
        Events events;
        std::vector<std::string> pings;
        for (const auto& row : steps) {
            CAPTURE(row.what);
            if (row.step) row.step(*event, *connector);
            if (row.event) events.push_back(*row.event);
            if (row.ping) pings.push_back(*row.ping);
            CHECK(waterfall->events == events);
            CHECK(scope.pings->paths == pings);
        }
        CHECK(event->bannerDelegate() == nullptr);
        CHECK(event->interstitialDelegate() == nullptr);
        event.reset();
        connector.reset();
        CHECK(QVScriptedNetwork::liveCustomEvents() == 0);
    }
}

TEST_CASE("a custom event that reports inside its request call is handled like a later report") {
    MediationScope scope;
    auto type = AKAdType::bannerAdTypeForSize(kAKAdSizeBanner);
    // The waterfall lets the connector go as soon as the result arrives, inside the request call.
    struct DroppingWaterfall : QVRecordingWaterfall {
        std::shared_ptr<AKMAdNetworkConnector> held;
        void adRequestReturnsFromConnectorWithView(AKMAdNetworkConnector& c, const std::shared_ptr<UIView>& v) override {
            QVRecordingWaterfall::adRequestReturnsFromConnectorWithView(c, v);
            held.reset();
        }
        void adRequestFailedFromConnectorWithError(AKMAdNetworkConnector& c, const NSErrorPtr& e) override {
            QVRecordingWaterfall::adRequestFailedFromConnectorWithError(c, e);
            held.reset();
        }
    };
    // The custom event's own reports, and the adapter's failure, each inside the asking call
    // (under a memory checker, the last row also shows the adapter outlives that call).
    const std::pair<const char*, Events> rows[] = {
        {R"({"class_name": "QVScriptedCustomEvent", "parameter": "{\"fill\": \"banner\"}"})", {"banner"}},
        {R"({"class_name": "QVScriptedCustomEvent", "parameter": "{\"fill\": \"nofill\", \"message\": \"none\"}"})",
         {"failed com.adkit.ads 1 none"}},
        {R"({"parameter": "{\"fill\": \"banner\"}"})", {"failed ad_mediation 1 No class name for the Custom Event."}},
    };
    for (const auto& [data, expected] : rows) {
        CAPTURE(data);
        scope.pings->paths.clear();
        auto waterfall = std::make_shared<DroppingWaterfall>();
        waterfall->held = waterfall->connect(type, customEntry(data));
        REQUIRE(waterfall->held);
        std::weak_ptr<AKMAdNetworkConnector> connector = waterfall->held;
        waterfall->held->getAdFromAdapterWithType(type);
        CHECK(waterfall->events == expected);
        CHECK(scope.pings->paths.size() == (expected[0] == "banner" ? 1u : 0u));  // the impression of a banner
        CHECK(connector.expired());
        CHECK(QVScriptedNetwork::liveCustomEvents() == 0);
    }
}

TEST_CASE("custom event road: a slot's mediation response passes a failing entry and shows the custom event's banner") {
    adkittest::QuietLog quiet;
    slottest::SlotFixture f;
    auto& slot = *f.slot;
    const std::string body = R"({"ad_type": "banner", "qdata": "qd", "ad_networks": [
        {"id": "ce-a", "adapters": ["AKMAdapterCustomEvents"], "data": {"parameter": "x"}},
        {"id": "ce-b", "adapters": ["AKMAdapterCustomEvents"],
         "data": {"class_name": "QVScriptedCustomEvent", "label": "L",
                  "parameter": "{\"fill\": \"banner\", \"after_ms\": 30}"}}]})";
    auto request = slottest::SlotFixture::adRequest(Value{{"ad_html", Value(body)}},
                                                    Value{{"Content-Type", Value("application/json")},
                                                          {"X-Adnet-Mediation", Value("1")}});
    auto extras = std::make_shared<AKCustomEventExtras>();
    extras->setExtras(Value({{"k", Value("for L")}}), "L");
    request->registerAdNetworkExtras(extras);
    slot.loadRequest(request);
    waitFor([&] { return slot.state() == AKSlotStateValidAd || slot.state() == AKSlotStateFailed; },
            "the mediated load to end");
    INFO("the owner heard: " << f.owner->joined());
    REQUIRE(slot.state() == AKSlotStateValidAd);
    CHECK(f.owner->joined().find("adView") != std::string::npos);
    CHECK(slot.adNetworkClassName() == std::optional<std::string>("AKMAdapterCustomEvents"));
    auto event = std::dynamic_pointer_cast<QVScriptedCustomEvent>(QVScriptedNetwork::latestCustomEvent());
    REQUIRE(event);
    REQUIRE(event->request());
    CHECK(event->request()->additionalParameters() == Value({{"k", Value("for L")}}));
    REQUIRE(f.trackers->tracked.size() == 1);
    const std::string impression = f.trackers->tracked[0];
    CHECK(impression.find("/imp?") != std::string::npos);
    CHECK(impression.find("ad_network_id=ce-b") != std::string::npos);
    CHECK(impression.find("aec=2,0") != std::string::npos);  // the first entry failed, the second delivered

    // The custom event's user events reach the slot's owner; its click is pinged once.
    const std::pair<std::function<void()>, const char*> rows[] = {
        {[&] { event->click(); }, "finished"},  // a click alone tells the owner nothing
        {[&] { event->present(); }, "willPresent"},
        {[&] { event->dismiss(); }, "didDismiss"},
        {[&] { event->leaveApplication(); }, "willLeave"},
    };
    for (const auto& [run, heard] : rows) {
        CAPTURE(heard);
        run();
        CHECK(f.owner->last() == heard);
    }
    REQUIRE(f.trackers->tracked.size() == 2);
    CHECK(f.trackers->tracked[1].find("/clk?") != std::string::npos);
}
