// Protects the mediation ping templates: one-pass placeholder filling, escaped at signs and escaped values, the
// default templates on the mediation reporting origin, and pinging a list of
// templates (defaults, sequence numbers, skipped elements) through the real
// ad server's request log; and the network connectors (what adapters see,
// impressions, clicks, refreshes, detaching).
#include <doctest/doctest.h>

#include <algorithm>
#include <map>

#include "AdkitTestSupport.h"
#include "MediationPings.h"
#include "MediationTestClasses.h"
#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKSession.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/mediation/AKMAdNetworkConnector.h"
#include "adkit/mediation/AKMUtilities.h"
#include "adkit/rendering/AKClickTrackerCollection.h"
#include "adkit/requests/AKRequest.h"
#include "support/AdServerProcess.h"

using adkittest::waitFor;
using AKMUtilities::PingReport;
using AKMUtilities::PingValues;

namespace {

using mediationpings::waitForPings;
using RecordingCollection = mediationpings::PingsSent;

std::string filled(const std::string& urlTemplate, const PingValues& values) {
    auto url = AKMUtilities::mediationURLFrom(urlTemplate, values);
    return url ? url->absoluteString() : "<none>";
}

}  // namespace

TEST_CASE("mediation templates: placeholders, escaped at signs, literal values and absent values") {
    PingValues values{"unit", true, "alloc", "net", "Q$1$0", "77", "5", "2,1", "40,12"};
    const std::pair<const char*, std::string> rows[] = {
        {"x@gw_devid@y", "xy"},
        {"http://h/p?q=@@gw_qdata@", "http://h/p?q=@@gw_qdata@"},
        {"http://h/p?q=@@@gw_qdata@", "http://h/p?q=@@Q$1$0"},
        {"http://h/p?q=@gw_qdata@@x", "http://h/p?q=Q$1$0@x"},
        {"http://h/p?l=@gw_adlocid@&r=@gw_adnetrefresh@&n=@gw_adnetid@&a=@gw_allocid@&s=@gw_sessid@&seq=@gw_seqnum@"
         "&aec=@gw_aec@&adt=@gw_adt@&v=@gw_sdkver@&u=@gw_unknown@",
         "http://h/p?l=unit&r=1&n=net&a=alloc&s=77&seq=5&aec=2,1&adt=40,12&v=" + AKRequest::sdkVersion() +
             "&u=@gw_unknown@"},
        {"@gw_devid@", "<none>"},
        {"not a url@gw_devid@", "<none>"},
    };
    for (const auto& [urlTemplate, expected] : rows) {
        CAPTURE(urlTemplate);
        CHECK(filled(urlTemplate, values) == expected);
    }
    // An absent value leaves its placeholder, whose closing "@" opens nothing; refresh NO gives "0".
    CHECK(filled("http://h/p?n=@gw_adnetid@&r=@gw_adnetrefresh@", PingValues{}) == "http://h/p?n=@gw_adnetid@&r=0");
    CHECK(filled("http://h/p?n=@gw_adnetid@gw_adnetrefresh@", PingValues{}) == "http://h/p?n=@gw_adnetid@gw_adnetrefresh@");

    // One pass from the left: a value is never searched for placeholders, and a placeholder's closing "@"
    // opens no other. Values go in as sent but for what cannot stand in a query.
    const std::pair<std::string, std::string> valueRows[] = {
        {"@gw_sessid@", "q=@gw_sessid@&s=77"},
        {"@@gw_adlocid@@@gw_seqnum@", "q=@@gw_adlocid@@@gw_seqnum@&s=77"},
        {"a b#c", "q=a%20b%23c&s=77"},
        {"\"<>\\^`{|}", "q=%22%3C%3E%5C%5E%60%7B%7C%7D&s=77"},
        {"\x01\x7F\xC3\xA9\t", "q=%01%7F%C3%A9%09&s=77"},
        {"100%25 & 50%", "q=100%25%20&%2050%25&s=77"},
        {"a=1&b=[2]@x;y/z?$'*+,!()~", "q=a=1&b=[2]@x;y/z?$'*+,!()~&s=77"},
    };
    for (const auto& [qdata, query] : valueRows) {
        CAPTURE(qdata);
        CHECK(filled("http://h/p?q=@gw_qdata@&s=@gw_sessid@", PingValues{std::nullopt, false, std::nullopt,
                                                                           std::nullopt, qdata, "77"}) ==
              "http://h/p?" + query);
    }
    CHECK(filled("http://h/p?a=@gw_sessid@gw_qdata@", values) == "http://h/p?a=77gw_qdata@");
}

TEST_CASE("mediation pings reach the reporting server: defaults, sequence numbers, and lists that send nothing") {
    mediationpings::ReportingServer peer;
    const auto& server = peer.server;
    const auto& collection = peer.collection;
    CHECK(AKMUtilities::defaultNoFillTemplate().rfind(server.origin("http") + "/nofill?", 0) == 0);

    // Lists that send nothing: present but empty (even with a default), no default at all, or templates that
    // fill to nothing, to no text or to no web URL.
    AKMUtilities::trackMediationURLsFromTemplates(PingReport{Value::array(), AKMUtilities::defaultClickTemplate()});
    AKMUtilities::trackMediationURLsFromTemplates(PingReport{Value(), std::nullopt});
    AKMUtilities::trackMediationURLsFromTemplates(
        PingReport{Value::array({"@gw_devid@", 5, "file:///etc/hosts?q=@gw_qdata@", "data:,@gw_qdata@"})});
    CHECK(collection->urls.empty());

    // The default impression template with every value, then two listed no-fill templates.
    AKMUtilities::trackMediationURLsFromTemplates(PingReport{Value(), AKMUtilities::defaultImpressionTemplate(), "net-1",
                                                             "alloc-1", "q d#@gw_sessid@", "unit-1", true, "40,12", "2,1"});
    const std::string listed = server.origin("http") + "/nofill?case=@gw_adlocid@&seq=@gw_seqnum@&n=@gw_adnetid@";
    AKMUtilities::trackMediationURLsFromTemplates(
        PingReport{Value::array({listed, Value(), listed}), AKMUtilities::defaultNoFillTemplate(), std::nullopt,
                   std::nullopt, "q", "list", false, std::nullopt, std::nullopt});
    CHECK(collection->urls.size() == 3);

    auto pings = waitForPings(server, {{"/imp", 1}, {"/nofill", 2}},
                              "one impression and two no-fill pings at the reporting server");
    const auto& imp = pings["/imp"];
    const auto& nofill = pings["/nofill"];
    const auto session = AKApplication::sharedApplication()->currentSession();
    const nlohmann::json expected = {{"ad_loc", "unit-1"}, {"qdata", "q d#@gw_sessid@"}, {"ad_network_id", "net-1"},
                                     {"js", AKRequest::sdkVersion()},       {"nr", "1"},
                                     {"adt", "40,12"},     {"aec", "2,1"},
                                     {"session_id", session ? session->sessionIDAsString() : "@gw_sessid@"}};
    for (const auto& [key, value] : expected.items()) {
        CAPTURE(key);
        CHECK(imp[0]["query"][key] == value);
    }
    // The value arrives escaped where a query cannot hold it, and unfilled.
    CHECK(imp[0]["rawQuery"].get<std::string>().find("&qdata=q%20d%23@gw_sessid@&") != std::string::npos);
    CHECK_FALSE(imp[0]["query"]["seq_num"].get<std::string>().empty());
    std::vector<long> sequence;
    for (const auto& entry : nofill) {
        const auto& query = entry["query"];
        CHECK(query["case"] == "list");
        CHECK(query["n"] == "@gw_adnetid@");  // no network ID in a no-fill report
        sequence.push_back(std::stol(query["seq"].get<std::string>()));
    }
    std::sort(sequence.begin(), sequence.end());
    CHECK(sequence[1] == sequence[0] + 1);
    CHECK(sequence[0] == std::stol(imp[0]["query"]["seq_num"].get<std::string>()) + 1);
}

// ---- Connectors -------------------------------------------------------------------------------

namespace {

struct RecordingAdapter : AKMAdNetworkAdapting {
    std::weak_ptr<AKMAdNetworkConnector> connector;
    std::vector<std::string> calls;
    void initWithAKMAdNetworkConnector(const std::shared_ptr<AKMAdNetworkConnector>& c) override { connector = c; }
    void getBannerWithSize(AKAdSize size) override { calls.push_back("banner " + AKAdSizeDescription(size)); }
    void getInterstitial() override { calls.push_back("interstitial"); }
    void stopBeingDelegate() override { calls.push_back("stop"); }
    bool isBannerAnimationOK(std::int64_t type) override { return type == 3; }
    void presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>&) override {}
};

struct ConnectorScope {
    std::shared_ptr<QVRecordingWaterfall> parties = std::make_shared<QVRecordingWaterfall>();
    std::shared_ptr<AKMAdNetworkConnector> connector;
    std::shared_ptr<RecordingAdapter> adapter;

    ConnectorScope(const AKAdTypePtr& type, const std::string& entry, const std::string& settings = "{}") {
        ClassRegistry::registerClass({"MediationPingAdapter", "NSObject", {kAKMAdNetworkAdapterProtocol},
                                      [] { return std::make_shared<RecordingAdapter>(); }, nullptr,
                                      {kAKMGetBannerWithSizeOperation}});
        parties->testMode = true;
        parties->location = AKLocation::initWithLatitude(52.5, 13.4, 20);
        parties->childDirected = true;
        parties->durations = "40";
        parties->exitCodes = "0";
        parties->recordTimingResets = true;
        connector = parties->connect(type, entry, settings);
        REQUIRE(connector);
        adapter = std::dynamic_pointer_cast<RecordingAdapter>(connector->adapter());
        REQUIRE(adapter);
    }
};

const char* const kEntry =
    R"({"id": "n7", "allocation_id": "a7", "adapters": ["MediationPingAdapter"],
        "data": {"pubid": "x", "gwhirl_share_location": "1"}})";

}  // namespace

TEST_CASE("banner connector: impressions per delivery with refresh, one click per banner, nothing once detached") {
    mediationpings::ReportingServer peer;
    const auto& server = peer.server;
    const auto& collection = peer.collection;
    ConnectorScope scope(AKAdType::bannerAdTypeForSize(kAKAdSizeBanner), kEntry);
    auto& connector = *scope.connector;
    auto& adapter = *scope.adapter;

    // What the adapter sees: stripped credentials, the shared location, the request's targeting.
    CHECK(connector.credentials() == Value({{"pubid", Value("x")}}));
    CHECK(connector.publisherId() == std::optional<std::string>("x"));
    CHECK(connector.userHasLocation());
    CHECK(connector.userLatitude() == 52.5);
    CHECK(connector.testMode());
    CHECK(connector.childDirectedTreatment() == std::optional<bool>(true));
    CHECK(connector.askAdapterIsBannerAnimationOK(3));
    connector.getAdFromAdapterWithType(AKAdType::bannerAdTypeForSize(kAKAdSizeInvalid));
    connector.getAdFromAdapterWithType(AKAdType::bannerAdTypeForSize(kAKAdSizeBanner));
    CHECK(adapter.calls == std::vector<std::string>{"banner " + AKAdSizeDescription(kAKAdSizeBanner)});

    RecordingAdapter stranger;
    connector.adapterDidReceiveAdView(stranger, nullptr);  // not its adapter: ignored
    connector.adapterDidReceiveAdView(adapter, nullptr);
    connector.adapterClickDidOccurInBanner(adapter, nullptr);
    connector.adapterWillLeaveApplication(adapter);  // a second click on the same banner: no ping
    connector.adapterDidReceiveAdView(adapter, nullptr);
    connector.adapterWillPresentFullScreenModal(adapter);
    connector.adapterDidReceiveAdView(adapter, nullptr);
    CHECK(scope.parties->events ==
          std::vector<std::string>{"banner", "reset timings", "leave", "banner", "reset timings", "will present modal",
                                   "banner", "reset timings"});
    CHECK(collection->urls.size() == 5);

    // Detached: no result, no event, no ping.
    connector.setAdManager(nullptr);
    connector.adapterDidReceiveAdView(adapter, nullptr);
    connector.adapterDidFailAd(adapter, nullptr);
    connector.adapterWillLeaveApplication(adapter);
    CHECK(scope.parties->events.size() == 8);
    CHECK(collection->urls.size() == 5);

    auto pings = waitForPings(server, {{"/imp", 3}, {"/clk", 2}}, "three impression and two click pings");
    const auto& imp = pings["/imp"];
    std::vector<std::string> refreshes;
    for (const auto& entry : imp) {
        const auto& query = entry["query"];
        CHECK(query["ad_network_id"] == "n7");
        CHECK(query["qdata"] == "q");
        CHECK(query["aec"] == "0");
        refreshes.push_back(query["nr"]);
    }
    std::sort(refreshes.begin(), refreshes.end());
    CHECK(refreshes == std::vector<std::string>{"0", "1", "1"});
    scope.connector.reset();
    CHECK(scope.adapter->calls.back() == "stop");
}

TEST_CASE("interstitial connector: impression when shown, will-dismiss supplied, no location unless shared") {
    auto collection = std::make_shared<RecordingCollection>();
    AKClickTrackerCollection::setSharedInstance(collection);
    AKAdHosts::ScopedOrigin reports(AKAdHost::mediationReports, *AKAdOrigin::parse("http://127.0.0.1:9", "http"));
    ConnectorScope scope(AKAdType::initForInterstitial(),
                         R"({"id": "n8", "adapters": ["MediationPingAdapter"], "imp_urls": [],
                             "data": {"gwhirl_share_location": "0"}})",
                         R"({"imp_urls": ["http://127.0.0.1:9/never"]})");
    auto& connector = *scope.connector;
    CHECK_FALSE(connector.userHasLocation());
    CHECK(connector.userLongitude() == 0.0);
    CHECK_FALSE(connector.userLocationDescription().has_value());
    connector.getAdFromAdapterWithType(AKAdType::initForInterstitial());
    CHECK(scope.adapter->calls == std::vector<std::string>{"interstitial"});

    connector.adapterDidReceiveInterstitial(*scope.adapter, nullptr);
    connector.adapterWillPresentInterstitial(*scope.adapter);
    CHECK(collection->urls.empty());  // the entry's own empty list wins over the configuration's
    connector.adapterDidDismissInterstitial(*scope.adapter);
    connector.adapterWillLeaveApplication(*scope.adapter);
    CHECK(scope.parties->events == std::vector<std::string>{"interstitial", "will present", "reset timings",
                                                            "will dismiss", "did dismiss", "leave"});
    CHECK(collection->urls.empty());  // leaving from an interstitial sends no click ping
    AKClickTrackerCollection::setSharedInstance(nullptr);
}
