// Protects the mediation waterfall end to end: real banners and interstitials
// loaded from the ad server, networks tried in turn on the virtual clock, the
// exit codes and durations the servers bill by, refreshes, clicks, no fill,
// and the slot staying alive through cancels and hostile responses.
#include <doctest/doctest.h>

#include "MediationRoad.h"
#include "adkit/mediation/AKMToAKGlue.h"

using mediationroad::customEvent;
using mediationroad::MediationRoad;
using mediationroad::mediationUnit;
using mediationroad::scripted;
using nlohmann::json;

namespace {

json body(const json& networks, const json& settings = json::object(), const char* type = "banner") {
    json b = {{"qdata", "q1"}, {"settings", settings}, {"ad_networks", networks}};
    if (type) b["ad_type"] = type;
    return b;
}

void settle() { adkittest::drainMainQueue(); }

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("mediation waterfall: unknown names, a time-out, a no fill and a custom event, timed on the virtual clock") {
    const json networks = {{{"id", "u1"}, {"adapters", {"NoSuchAdapterOne"}}},
                           {{"id", "u2"}, {"adapters", {"NoSuchAdapterTwo"}}},
                           {{"id", "u3"}, {"adapters", {"NoSuchAdapterThree"}}},
                           scripted("slow", {{"fill", "banner"}, {"after_ms", "5000"}, {"late", "1"}}),
                           scripted("empty", {{"fill", "nofill"}, {"after_ms", "400"}}),
                           customEvent("custom", {{"fill", "banner"}, {"after_ms", "700"}})};
    MediationRoad road(json{{"mediated", mediationUnit(body(networks, {{"ad_network_timeout_millis", 2500}}))}});
    auto& banner = road.loadBanner("mediated");
    const auto slow = road.waitForAsk(nullptr, "the fourth network to be asked");
    const double start = Clock::now();

    Clock::advance(2.4999);
    settle();
    CHECK(QVScriptedNetwork::latestAdapter() == slow);
    CHECK_FALSE(slow->stopped());
    CHECK(road.heard->calls.empty());

    Clock::advance(0.0001);
    const auto empty = road.waitForAsk(slow, "the next network at 2.5 s");
    CHECK(slow->stopped());
    Clock::advance(0.4);
    adkittest::waitFor([] { return QVScriptedNetwork::latestCustomEvent() != nullptr; }, "the custom event at 2.9 s");
    CHECK(road.heard->calls.empty());
    Clock::advance(0.7);
    adkittest::waitFor([&] { return !road.heard->calls.empty(); }, "the banner's delegate to hear");
    CHECK(road.heard->calls == std::vector<std::string>{"didReceiveAd"});
    CHECK(Clock::now() - start == doctest::Approx(3.6));
    CHECK(banner.adNetworkClassName() == std::optional<std::string>("AKMAdapterCustomEvents"));

    const auto queries = road.waitForPings({{"/imp", 1}}, "the impression ping");
    const auto& imp = queries.at("/imp").at(0);
    CHECK(imp.value("aec", "") == "4,4,4,3,1,0");
    CHECK(imp.value("adt", "") == "0,0,0,2500,400,700");
    CHECK(imp.value("nr", "") == "0");
    CHECK(imp.value("qdata", "") == "q1");
    CHECK(imp.value("ad_network_id", "") == "custom");

    // The network that timed out answers at 5 s: no one hears it, nothing is pinged.
    Clock::advance(5.0 - 3.6);
    adkittest::waitFor([&] { return slow->bannersDelivered() == 1; }, "the late network to answer");
    settle();
    CHECK(road.heard->calls == std::vector<std::string>{"didReceiveAd"});
    CHECK(road.pings->count("/imp") == 1);

    // Every ad request carries the adapters the build knows.
    const auto adapters = road.loggedQuery(slotroad::kAdPath, "adapters");
    REQUIRE_FALSE(adapters.empty());
    for (const char* name : {"AKMAdapterAdKitAdNetAds", "AKMAdapterHTML", "AKMAdapterCustomEvents",
                             "QVScriptedAdapter", "QVConformingSubclass"})
        CHECK_MESSAGE(adapters.back().find(name) != std::string::npos, std::string(name) << " in " << adapters.back());
}

TEST_CASE("mediation refresh and clicks: impressions per refresh, one click per banner, a failed refresh stops") {
    const json refreshing = scripted("net", {{"fill", "banner"}, {"refresh_ms", "1000"}});
    const json failing = scripted("net", {{"fill", "banner"}, {"refresh_ms", "1000"}, {"refresh_fail", "1"},
                                          {"message", "the network is gone"}});
    MediationRoad road(json{{"refreshing", mediationUnit(body(json::array({refreshing})))},
                        {"failing", mediationUnit(body(json::array({failing, scripted("next", {{"fill", "banner"}})})))}});

    SUBCASE("two refreshes are two more impressions with nr=1, clicks ping once per banner, a new size goes to the network") {
        auto& banner = road.loadBanner("refreshing");
        const auto network = road.waitForAsk(nullptr, "the network to be asked");
        adkittest::waitFor([&] { return road.heard->count("didReceiveAd") == 1; }, "the first banner");
        network->click();
        network->click();
        Clock::advance(1);
        adkittest::waitFor([&] { return network->bannersDelivered() == 2; }, "the first refresh");
        network->click();
        Clock::advance(1);
        adkittest::waitFor([&] { return network->bannersDelivered() == 3; }, "the second refresh");
        road.waitForPings({{"/imp", 3}, {"/clk", 2}}, "three impressions and two clicks at the server");
        // In the order they left (the server may take parallel pings in any order).
        CHECK(road.pings->refreshFlags("/imp") == std::vector<std::string>{"0", "1", "1"});
        CHECK(road.pings->refreshFlags("/clk") == std::vector<std::string>{"0", "1"});
        // The network that delivered is given the new size, and nothing is asked of the server.
        const std::size_t adRequests = road.logged(slotroad::kAdPath).size();
        banner.setAdSize(kAKAdSizeMediumRectangle);
        CHECK(network->calls().back() == "change " + AKAdSizeDescription(kAKAdSizeMediumRectangle));
        settle();
        CHECK(road.logged(slotroad::kAdPath).size() == adRequests);
    }
    SUBCASE("a failed refresh reaches the delegate as code 3 with the network's message, no other network runs") {
        road.loadBanner("failing");
        const auto network = road.waitForAsk(nullptr, "the network to be asked");
        adkittest::waitFor([&] { return road.heard->count("didReceiveAd") == 1; }, "the first banner");
        Clock::advance(1);
        adkittest::waitFor([&] { return road.heard->heardFailure(); }, "the failed refresh");
        settle();
        CHECK(road.heard->calls.back() == "didFail 3 the network is gone");
        CHECK(QVScriptedNetwork::latestAdapter() == network);
    }
}

TEST_CASE("mediation: a refresh during the next waterfall, and a type change mid-waterfall, leave it intact") {
    const json refreshing = scripted("old", {{"fill", "banner"}, {"refresh_ms", "1000"}});
    const json next = body(json::array({scripted("never", {{"fill", "never"}}), scripted("fills", {{"fill", "banner"}, {"after_ms", "300"}})}),
                           {{"ad_network_timeout_millis", 2500}}, nullptr);
    MediationRoad road(json{{"unit", mediationUnit(body(json::array({refreshing})))}});

    SUBCASE("the old ad's refreshes neither end nor time the newer attempt") {
        auto& banner = road.loadBanner("unit");
        const auto old = road.waitForAsk(nullptr, "the first network");
        adkittest::waitFor([&] { return road.heard->count("didReceiveAd") == 1; }, "the first banner");
        road.waitForPings({{"/imp", 1}}, "the first impression");
        REQUIRE(road.server.order("units", {{"units", {{"unit", mediationUnit(next)}}}}) == 200);
        banner.loadRequest(AKRequest::request());
        const auto never = road.waitForAsk(old, "the next waterfall's first network");
        const double start = Clock::now();
        Clock::advance(1);
        adkittest::waitFor([&] { return old->bannersDelivered() == 2; }, "the old network's refresh");
        Clock::advance(1);
        adkittest::waitFor([&] { return old->bannersDelivered() == 3; }, "the old network's second refresh");
        settle();
        CHECK(QVScriptedNetwork::latestAdapter() == never);
        CHECK(road.pings->count("/imp") == 1);
        Clock::advance(0.5);
        road.waitForAsk(never, "the second network at 2.5 s");
        CHECK(Clock::now() - start == doctest::Approx(2.5));
        Clock::advance(0.3);
        const auto queries = road.waitForPings({{"/imp", 2}}, "the new ad's impression");
        CHECK(queries.at("/imp").at(1).value("aec", "") == "3,0");
        CHECK(queries.at("/imp").at(1).value("adt", "") == "2500,300");
        CHECK(road.heard->count("didReceiveAd") == 2);
    }
    SUBCASE("after a type change mid-waterfall the reloaded mediation fills") {
        REQUIRE(road.server.order("units", {{"units", {{"unit", mediationUnit(next)}}}}) == 200);
        auto& banner = road.loadBanner("unit");
        const auto never = road.waitForAsk(nullptr, "the first network");
        banner.setAdSize(kAKAdSizeMediumRectangle);
        const auto again = road.waitForAsk(never, "the reloaded waterfall's first network");
        CHECK(again->calls().front() == "banner " + AKAdSizeDescription(kAKAdSizeMediumRectangle));
        Clock::advance(2.5);
        road.waitForAsk(again, "the second network");
        Clock::advance(0.3);
        adkittest::waitFor([&] { return road.heard->count("didReceiveAd") == 1; }, "the reloaded mediation to fill");
        CHECK(banner.slot()->state() == AKSlotStateValidAd);
    }
}

TEST_CASE("mediation no fill: every network failing pings once with its codes, an empty list at once") {
    json failing = json::array();
    for (int i = 0; i < 200; ++i) failing.push_back(scripted("f" + std::to_string(i), {{"fill", i % 2 ? "error" : "nofill"}}));
    MediationRoad road(json{{"failing", mediationUnit(body(failing))},
                        {"two", mediationUnit(body(json::array({scripted("a", {{"fill", "nofill"}, {"after_ms", "100"}}),
                                                    scripted("b", {{"fill", "error"}, {"after_ms", "50"}})})))},
                        {"none", mediationUnit(body(json::array()))}});

    SUBCASE("two networks") {
        road.loadBanner("two");
        const auto first = road.waitForAsk(nullptr, "the first network");
        Clock::advance(0.1);
        road.waitForAsk(first, "the second network");
        Clock::advance(0.05);
        adkittest::waitFor([&] { return road.heard->heardFailure(); }, "the no fill");
        CHECK(road.heard->calls == std::vector<std::string>{"didFail 9 Request Error: No ad to show from all configured ad networks."});
        const auto queries = road.waitForPings({{"/nofill", 1}}, "the no-fill ping");
        CHECK(queries.at("/nofill").at(0).value("aec", "") == "1,2");
        CHECK(queries.at("/nofill").at(0).value("adt", "") == "100,50");
        CHECK(queries.at("/nofill").at(0).value("qdata", "") == "q1");
    }
    SUBCASE("200 networks failing inside their own call, one after another from the main queue") {
        road.loadBanner("failing");
        adkittest::waitFor([&] { return road.heard->heardFailure(); }, "the no fill after 200 networks");
        const auto queries = road.waitForPings({{"/nofill", 1}}, "the no-fill ping");
        const std::string codes = queries.at("/nofill").at(0).value("aec", "");
        CHECK(std::ranges::count(codes, ',') == 199);
        CHECK(codes.starts_with("1,2,1,2"));
        CHECK(QVScriptedNetwork::liveAdapters() <= 1);
    }
    SUBCASE("no networks: the ping leaves the codes' placeholders unfilled") {
        road.loadBanner("none");
        adkittest::waitFor([&] { return road.heard->heardFailure(); }, "the no fill");
        CHECK(road.heard->calls == std::vector<std::string>{"didFail 9 Request Error: No ad to show from all configured ad networks."});
        const auto queries = road.waitForPings({{"/nofill", 1}}, "the no-fill ping");
        CHECK(queries.at("/nofill").at(0).value("aec", "") == "@gw_aec@");
        CHECK(queries.at("/nofill").at(0).value("adt", "") == "@gw_adt@");
    }
}

TEST_CASE("mediated interstitial: impression at presentation, a lone did-dismiss, mismatched types, nothing to present") {
    const json interstitial = body(json::array({scripted("i", {{"fill", "interstitial"}})}), json::object(), "interstitial");
    MediationRoad road(json{{"interstitial", mediationUnit(interstitial)},
                        {"banner-config", mediationUnit(body(json::array({scripted("b", {{"fill", "banner"}})})))}});
    const auto make = [&](const std::string& unit) {
        auto ad = AKInterstitial::make();
        ad->setAdUnitID(unit);
        ad->setDelegate(road.heard);
        ad->loadRequest(AKRequest::request());
        return ad;
    };

    SUBCASE("shown, dismissed by a did-dismiss only") {
        const auto ad = make("interstitial");
        adkittest::waitFor([&] { return ad->isReady(); }, "the mediated interstitial to be ready");
        const auto network = QVScriptedNetwork::latestAdapter();
        REQUIRE(network);
        settle();
        CHECK(road.pings->count("/imp") == 0);
        // An interstitial slot's type is not changed: NO, and the waterfall is not asked.
        CHECK_FALSE(ad->slot()->adMediationGlue()->changeAdTypeTo(AKAdType::bannerAdTypeForSize(kAKAdSizeBanner)));
        CHECK(network->calls() == std::vector<std::string>{"interstitial"});
        ad->presentFromRootViewController(road.root);
        CHECK(network->calls().back() == "present");
        road.waitForPings({{"/imp", 1}}, "the impression at presentation");
        network->dismiss();
        CHECK(road.heard->calls ==
              std::vector<std::string>{"didReceiveAd", "willPresent", "willDismiss", "didDismiss"});
    }
    SUBCASE("an interstitial asked of a banner configuration, a banner of an interstitial one: code 10") {
        const auto ad = make("banner-config");
        adkittest::waitFor([&] { return road.heard->heardFailure(); }, "the mismatch");
        CHECK(road.heard->calls.back() ==
              "didFail 10 Unable to request an interstitial when mediation configuration was for kAKAdSizeBanner.");
        road.loadBanner("interstitial");
        adkittest::waitFor([&] { return road.heard->calls.size() == 2; }, "the banner's mismatch");
        CHECK(road.heard->calls.back() ==
              "didFail 10 Unable to request kAKAdSizeBanner when mediation configuration was for an interstitial.");
        // No requested type, no configured type, a banner of no valid size: each fails with its text.
        const auto glue = std::dynamic_pointer_cast<AKMWaterfallGlue>(ad->slot()->adMediationGlue());
        REQUIRE(glue);
        const auto bannerConfig = glue->mediationConfig();
        REQUIRE(bannerConfig);
        glue->requestAdWithType(nullptr, bannerConfig);
        CHECK(road.heard->calls.back() == "didFail 0 Invalid requested AKAdType: (null).");
        glue->requestAdWithType(AKAdType::bannerAdTypeForSize(kAKAdSizeBanner), nullptr);
        CHECK(road.heard->calls.back() == "didFail 7 Invalid mediation configuration AKAdType: (null).");
        glue->requestAdWithType(AKAdType::bannerAdTypeForSize(kAKAdSizeInvalid), bannerConfig);
        CHECK(road.heard->calls.back() == "didFail 10 Unable to request ad with invalid size: kAKAdSizeInvalid.");
        CHECK(road.heard->calls.size() == 5);
    }
    SUBCASE("nothing to present: code 11") {
        const auto ad = make("none");
        adkittest::waitFor([&] { return road.heard->heardFailure(); }, "the unknown unit to fail");
        const auto glue = ad->slot()->adMediationGlue();
        glue->presentInterstitialFromRootViewController(road.root);
        CHECK(road.heard->calls.back() == "didFail 11 Request Error: Internal error.");
    }
}

TEST_SUITE_END();
