// Protects slots side by side on the real engine, core page, fetcher and ad
// server: twenty slots built while the core page is held back share its one
// load, get request ids 1..20 and each shows its own unit's creative; the
// rich-media interceptor's count returns to 0 after overlapping loads, a
// refresh, failures and a cancel; "_useOnce" extras travel in the first ad
// request only, whatever reads the request between loads.
#include <string>
#include <vector>

#include "SlotEngineRoad.h"

using adkittest::waitFor;
using slotroad::EngineSlots;

namespace {

std::int64_t interceptorCount() { return AKMRAIDInterceptor::canInitWithRequestCounter(); }

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("slots side by side: twenty built while the core page is held back, each with its own creative") {
    adkittest::QuietLog quiet;
    constexpr int kSlots = 20;
    nlohmann::json units = nlohmann::json::object();
    for (int i = 0; i < kSlots; ++i)
        units["unit-" + std::to_string(i)] = slotroad::htmlUnit(slotroad::titledCreative("creative-" + std::to_string(i)));
    EngineSlots road(units);
    REQUIRE(road.server.order("fault", {{"path", slotroad::kPagePath}, {"kind", "delay"}, {"ms", 1500}}) == 200);

    std::vector<std::shared_ptr<slottest::SlotTestOwner>> owners;
    std::vector<std::shared_ptr<AKAdSlot>> slots;
    for (int i = 0; i < kSlots; ++i) {
        owners.push_back(std::make_shared<slottest::SlotTestOwner>());
        slots.push_back(EngineSlots::makeSlot(owners.back(), "unit-" + std::to_string(i)));
        slots.back()->loadRequest(AKRequest::request());
        CHECK(slots.back()->state() == AKSlotStateRequestingAdURL);
    }
    CHECK(interceptorCount() == kSlots);
    for (int i = 0; i < kSlots; ++i) EngineSlots::waitForEnd(*slots[i], "the load of slot " + std::to_string(i));

    CHECK(road.logged(slotroad::kPagePath).size() == 1);
    for (int i = 0; i < kSlots; ++i) {
        CAPTURE(i);
        CHECK(slots[i]->state() == AKSlotStateValidAd);
        CHECK(slots[i]->requestID() == std::optional<std::string>(std::to_string(i + 1)));
        CHECK(EngineSlots::evaluate(*slots[i], "document.title") == "creative-" + std::to_string(i));
        CHECK(owners[i]->joined() == "adView; finished");
    }
    // Each ad request names its slot's unit under that slot's request id.
    const auto requests = road.logged(slotroad::kAdPath);
    CHECK(requests.size() == kSlots);
    for (const auto& entry : requests) {
        const int id = std::stoi(entry["query"].value("request_id", std::string("0")));
        CHECK(entry["query"].value("slotname", std::string()) == "unit-" + std::to_string(id - 1));
    }
    CHECK(interceptorCount() == 0);
}

TEST_CASE("slots side by side: the interceptor's count is back at 0 after overlapping loads, a refresh, failures and a cancel") {
    adkittest::QuietLog quiet;
    adkittest::VirtualTime time(0);  // the refresh timer's
    const nlohmann::json units = {
        {"unit-refresh", slotroad::htmlUnit(slotroad::titledCreative("refresh"), "", {{"X-Adnet-Refresh-Rate", "30"}})},
        {"unit-errors", {{"page", {{"mode", "errors"}}}}},
        {"unit-500", {{"status", 500}, {"body", "broken"}}},
        {"unit-held", slotroad::htmlUnit(slotroad::titledCreative("held"))},
    };
    EngineSlots road(units);
    auto owner = std::make_shared<slottest::SlotTestOwner>();
    auto refreshing = EngineSlots::makeSlot(owner, "unit-refresh");
    auto failing = EngineSlots::makeSlot(owner, "unit-errors");
    auto cancelled = EngineSlots::makeSlot(owner, "unit-held");
    REQUIRE(road.server.order("fault", {{"path", "/held/"}, {"kind", "hang"}}) == 200);
    auto direct = AKRequest::request();
    direct->setAdditionalParameters(Value{{"_requestUrl", road.server.origin("https") + "/held/ad"}});

    refreshing->loadRequest(AKRequest::request());
    failing->loadRequest(AKRequest::request());
    cancelled->loadRequest(direct);
    CHECK(interceptorCount() == 3);
    EngineSlots::waitForEnd(*refreshing, "the refreshing slot's first load");
    EngineSlots::waitForEnd(*failing, "the failing slot's load");
    waitFor([&] { return !road.logged("/held/ad").empty(); }, "the held ad request");
    CHECK(refreshing->state() == AKSlotStateValidAd);
    CHECK(failing->state() == AKSlotStateFailed);
    CHECK(cancelled->state() == AKSlotStateFetchingAdContent);
    CHECK(interceptorCount() == 1);
    cancelled->cancelPendingActions();
    CHECK(cancelled->state() == AKSlotStateIdle);
    CHECK(interceptorCount() == 0);

    // The refresh overlaps a fetch failure of another slot.
    REQUIRE(refreshing->hasReloadTimer());
    Clock::advance(30.001);
    waitFor([&] { return refreshing->state() != AKSlotStateValidAd; }, "the refresh to start");
    failing->setAdUnitID("unit-500");
    failing->loadRequest(AKRequest::request());
    CHECK(interceptorCount() == 2);
    waitFor([&] { return EngineSlots::ended(*refreshing) && EngineSlots::ended(*failing); }, "both loads to end");
    CHECK(refreshing->state() == AKSlotStateValidAd);
    CHECK(refreshing->hasAutoRefreshed());
    CHECK(failing->state() == AKSlotStateFailed);
    CHECK(road.logged(slotroad::kAdPath).size() == 3);
    CHECK(interceptorCount() == 0);
}

TEST_CASE("slots side by side: \"_useOnce\" extras go with the first ad request only, and descriptions change nothing") {
    adkittest::QuietLog quiet;
    EngineSlots road(nlohmann::json{{"unit-extras", slotroad::htmlUnit(slotroad::titledCreative("extras"))}});
    auto slot = EngineSlots::makeSlot(road.f.owner, "unit-extras");
    auto request = AKRequest::request();
    request->setAdditionalParameters(Value{{"_useOnce", true}, {"color", "blue"}});
    const auto describe = [&] {
        // Reads only: the request's and the slot's descriptions.
        CHECK(request->description().find("additionalParameters") != std::string::npos);
        CHECK(slot->description().find("ad unit ID:unit-extras") != std::string::npos);
    };
    describe();
    road.loadValid(*slot, request);
    CHECK_FALSE(request->additionalParameters());  // taken by the load
    CHECK(request->description().find("additionalParameters") == std::string::npos);
    (void)slot->description();
    road.loadValid(*slot, request);
    const auto extras = road.loggedQuery(slotroad::kAdPath, "extras");
    REQUIRE(extras.size() == 2);
    CHECK(nlohmann::json::parse(extras[0]) == nlohmann::json{{"_useOnce", true}, {"color", "blue"}});
    CHECK(extras[1] == "(none)");
}

TEST_SUITE_END();
