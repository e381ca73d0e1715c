// Protects the ad slot's whole load road on the real web engine, core page,
// fetcher and ad server over HTTPS: the states of a load in order, one load of
// the core page for several requests, the ad request's query as the slot's
// parameters make it, the impression ping in the server's log, the next
// request over http once a response did not ask for HTTPS, and the roads that
// skip the core page ("inline" answers, "_ad" and "_requestUrl" extras).
#include <doctest/doctest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CoreControllerSupport.h"
#include "SlotEngineRoad.h"
#include "SlotTestOwner.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/requests/AKSlotServices.h"
#include "support/AdServerProcess.h"

using adkittest::waitFor;
using slottest::SlotFixture;

namespace {

constexpr const char* kPagePath = "/adnet/static/sdk/native/sdk-core-v40.html";
constexpr const char* kAdPath = "/adnet/ad";
constexpr const char* kImpressionPath = "/adnet/ping/impression";

// The road's units on the engine (see EngineRoadBase), the slot's states recorded.
nlohmann::json roadUnits() {
    const nlohmann::json page = {{"request_scenario", "online_request"}};
    return {
        {"unit-road",
         {{"status", 200},
          {"contentType", "text/html; charset=utf-8"},
          {"headers", {{"X-Adnet-Tracking-Urls", "{origin}/adnet/ping/impression?id=road"}}},
          {"body", "<html><body><p>road</p></body></html>"},
          {"page", page}}},
        {"unit-inline",
         {{"page",
           {{"mode", "inline"},
            {"ad", {{"ad_html", "<p>inline</p>"}, {"ad_base_url", "http://creatives.example/inline"}}}}}}}};
}

struct Road : slotroad::EngineSlots {
    std::vector<AKSlotState> states;
    ObservationToken observation;

    Road() : EngineSlots(roadUnits()) {
        observation = f.slot->observeValueForKey("state", [this, slot = f.slot.get()](const std::string&) {
            states.push_back(slot->state());
        });
    }
    ~Road() { observation.disconnect(); }

    void load(const std::string& unit, const std::shared_ptr<AKRequest>& request = AKRequest::request()) {
        states.clear();
        f.slot->setAdUnitID(unit);
        f.slot->loadRequest(request);
        INFO("the owner heard: " << f.owner->joined() << "; the slot's states: " << nlohmann::json(states).dump()
                                 << "; the server's log: " << server.log().dump());
        waitForEnd(*f.slot, "the load of " + unit + " to end");
        REQUIRE(f.slot->state() == AKSlotStateValidAd);
    }
};

// The query the server logged, as a dictionary of texts.
Value queryOf(const nlohmann::json& entry) {
    const auto query = Value::fromJSON(entry["query"].dump());
    REQUIRE(query);
    return *query;
}

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("slot road: through the core page, the fetcher and the ad server over HTTPS, and the roads around them") {
    adkittest::QuietLog quiet;
    Road road;
    road.load("unit-road");
    CHECK(road.states == std::vector<AKSlotState>{AKSlotStateRequestingAdURL, AKSlotStateReceivedAdURL,
                                                  AKSlotStateIdle, AKSlotStateFetchingAdContent,
                                                  AKSlotStateRendering, AKSlotStateValidAd});
    waitFor([&] { return !road.logged(kImpressionPath).empty(); }, "the impression ping in the server's log");
    CHECK(queryOf(road.logged(kImpressionPath).front()) == Value{{"id", "road"}});

    // The ad request carries the slot's parameters, each as the core page writes it.
    const auto requests = road.logged(kAdPath);
    REQUIRE(requests.size() == 1);
    CHECK(requests[0]["scheme"] == "https");
    const Value query = queryOf(requests[0]);
    Value reference = AKDevice::currentDevice()->parameters().copy();
    if (auto names = AKMAdNetworkAdapter::availableAdapterNames()) reference.setObject("adapters", names);
    const auto text = [](const Value& v) { return v.isString() ? v : Value(v.toJSON().value_or("")); };
    for (const auto& [key, value] : *reference.dictionaryRef()) reference.setObject(key, text(value));
    reference.setObject("js", AKRequest::sdkVersion());
    reference.setObject("slotname", "unit-road");
    reference.setObject("sz", Value());
    reference.setObject("request_id", "1");
    reference.setObject("force_https", "1");
    reference.setObject("ad_frame", R"({"h":50,"w":320,"x":0,"y":0})");
    reference.setObject("ad_bounds", R"({"h":50,"w":320,"x":0,"y":0})");
    for (const char* unread : {"ms", "net", "net_last", "quality_signals"}) {
        CAPTURE(unread);  // values the slot passes on without making them: present and not empty
        CHECK_FALSE(query[unread].stringValue().empty());
        reference.setObject(unread, query[unread]);
    }
    CHECK(query == reference);

    // The response did not ask for HTTPS: the next request goes over http; the page loaded once.
    road.load("unit-road");
    const auto second = road.logged(kAdPath);
    REQUIRE(second.size() == 2);
    CHECK(second[1]["scheme"] == "http");
    CHECK(queryOf(second[1])["force_https"].isNull());
    CHECK(road.logged(kPagePath).size() == 1);

    // An inline answer and an "_ad" extra skip state 3 and fetch nothing; "_requestUrl" skips the page.
    road.load("unit-inline");
    CHECK(road.states == std::vector<AKSlotState>{AKSlotStateRequestingAdURL, AKSlotStateIdle,
                                                  AKSlotStateFetchingAdContent, AKSlotStateRendering,
                                                  AKSlotStateValidAd});
    road.load("unit-road", SlotFixture::adRequest());
    CHECK(road.states == std::vector<AKSlotState>{AKSlotStateRequestingAdURL, AKSlotStateIdle,
                                                  AKSlotStateFetchingAdContent, AKSlotStateRendering,
                                                  AKSlotStateValidAd});
    CHECK(road.logged(kAdPath).size() == 2);
    auto direct = AKRequest::request();
    direct->setAdditionalParameters(Value{{"_requestUrl", road.server.origin("https") + "/adnet/ad?slotname=unit-road"}});
    road.load("unit-road", direct);
    CHECK(road.logged(kAdPath).size() == 3);
    CHECK(road.logged(kPagePath).size() == 1);
    CHECK(AKMRAIDInterceptor::canInitWithRequestCounter() == 0);
    road.f.slot.reset();  // a slot released at once: the pings it started still arrive
    waitFor([&] { return road.logged(kImpressionPath).size() == 3; }, "every impression ping in the server's log");
}

TEST_SUITE_END();
