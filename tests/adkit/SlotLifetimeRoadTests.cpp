// Protects a slot's end in the middle of a load on the real engine, core page,
// fetcher and ad server: released by its owner while waiting for the core page,
// while fetching and while rendering, the slot is destroyed at once, its owner
// hears nothing more, the server sees nothing more of it (its ad request never
// comes when it was still waiting), the pings it had already made due arrive,
// and the loads of other slots go on.
#include <algorithm>
#include <string>
#include <vector>

#include "SlotEngineRoad.h"

using adkittest::waitFor;
using slotroad::EngineSlots;

namespace {

constexpr int kHoldMs = 400;  // each held answer; the witness's own is held as long and comes later

nlohmann::json lifetimeUnits() {
    using slotroad::htmlUnit;
    using slotroad::titledCreative;
    nlohmann::json units = {
        {"life-witness", htmlUnit(titledCreative("witness", "<img src=\"{origin}/held/witness.png\">"), "witness")},
    };
    for (const std::string phase : {"waiting", "fetching", "rendering"}) {
        units["shown-" + phase] = htmlUnit(titledCreative("shown"), "shown-" + phase);
        units["life-" + phase] =
            htmlUnit(titledCreative(phase, "<img src=\"{origin}/held/" + phase + ".png\">"), "late-" + phase);
    }
    return units;
}

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("slot lifetime: released while waiting, fetching or rendering, a slot is gone and leaves nothing behind") {
    enum class Phase { waiting, fetching, rendering };
    struct Row {
        const char* name;
        Phase phase;
        const char* faultPath;  // held answers: the released slot's, then (count 2) the witness's
        int count;
    };
    const std::vector<Row> rows = {
        {"waiting", Phase::waiting, slotroad::kPagePath, 1},  // the witness waits for the same load
        {"fetching", Phase::fetching, slotroad::kAdPath, 2},
        {"rendering", Phase::rendering, "/held/", 2},
    };
    adkittest::QuietLog quiet;
    EngineSlots road(lifetimeUnits());
    auto witnessOwner = std::make_shared<slottest::SlotTestOwner>();
    auto witness = EngineSlots::makeSlot(witnessOwner, "life-witness");
    const auto impressions = [&](const std::string& id) {
        const auto ids = road.loggedQuery(slotroad::kImpressionPath, "id");
        return std::count(ids.begin(), ids.end(), id);
    };

    std::ptrdiff_t witnessLoads = 0;
    for (const Row& row : rows) {
        INFO("released while " << std::string(row.name));
        const std::string phase = row.name;
        auto owner = std::make_shared<slottest::SlotTestOwner>();
        auto slot = EngineSlots::makeSlot(owner, "shown-" + phase);
        road.loadValid(*slot);  // its impression ping is due from here
        slot->setAdUnitID("life-" + phase);
        // The page loads anew, so that it can be held back.
        if (row.phase == Phase::waiting) AKSDKCoreControllerTesting::reset();
        const std::size_t pageLoads = road.logged(slotroad::kPagePath).size();
        REQUIRE(road.server.order("fault", {{"path", row.faultPath}, {"kind", "delay"}, {"ms", kHoldMs}, {"count", row.count}}) ==
                200);
        slot->loadRequest(AKRequest::request());
        switch (row.phase) {
        case Phase::waiting:
            waitFor([&] { return road.logged(slotroad::kPagePath).size() == pageLoads + 1; }, "the held page's request");
            REQUIRE(slot->state() == AKSlotStateRequestingAdURL);
            break;
        case Phase::fetching:
            waitFor([&] { return road.loggedQuery(slotroad::kAdPath, "slotname").back() == "life-fetching"; },
                    "the held ad request");
            REQUIRE(slot->state() == AKSlotStateFetchingAdContent);
            break;
        case Phase::rendering:
            waitFor([&] { return !road.logged("/held/rendering.png").empty(); }, "the creative's held image requested");
            REQUIRE(slot->state() == AKSlotStateRendering);
            break;
        }
        const auto heard = owner->calls;
        const std::size_t logged = road.server.log().size();
        std::weak_ptr<AKAdSlot> weak = slot;
        slot.reset();
        CHECK(weak.expired());

        // Another slot's load goes on, behind the released one's held answer.
        road.loadValid(*witness);
        CHECK(EngineSlots::evaluate(*witness, "document.title") == "witness");
        ++witnessLoads;
        waitFor([&] { return impressions("witness") == witnessLoads; }, "the witness's impression ping");
        waitFor([&] { return impressions("shown-" + phase) == 1; }, "the released slot's due impression ping");
        CHECK(owner->calls == heard);
        const auto log = road.server.log();
        for (std::size_t i = logged; i < log.size(); ++i) {
            CAPTURE(log[i].dump());
            CHECK(log[i]["query"].value("slotname", std::string()) != "life-" + phase);
            CHECK(log[i]["path"] != "/held/" + phase + ".png");
        }
        CHECK(impressions("late-" + phase) == 0);
    }
    CHECK(road.loggedQuery(slotroad::kAdPath, "slotname") ==
          std::vector<std::string>{"shown-waiting", "life-witness", "shown-fetching", "life-fetching", "life-witness",
                                   "shown-rendering", "life-rendering", "life-witness"});
    CHECK(AKMRAIDInterceptor::canInitWithRequestCounter() == 0);
}

TEST_SUITE_END();
