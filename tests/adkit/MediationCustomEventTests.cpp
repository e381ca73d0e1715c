// Protects custom events in mediation (creating the publisher's class, failures
// with their exact texts, extras by label, the relay of every custom-event call
// to the connector, reports inside the request call) and the scripted networks
// every mediation test drives, through real connectors.
#include <doctest/doctest.h>

#include "AdkitTestSupport.h"
#include "MediationTestClasses.h"
#include "adkit/mediation/AKMAdNetworkConnector.h"
#include "platform/dispatch/Dispatch.h"

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

using Events = std::vector<std::string>;

}  // namespace

TEST_CASE("scripted adapter: answers, delays, failures, refreshes and late answers as its credentials say") {
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
