// Protects Viewability end to end on the real web engine, with slots loading
// from the ad server over HTTPS and the measurement pages posting what they
// get to the server's log, the library's timers on the virtual clock: a slot's
// web view in a clipping scroll view dragged half and then fully out reports
// the visible half and "1", then a zero box and "0", sampled 1, 3 and 5 s
// after the first on intervals (1, 2), the last report marked "u"; after ten
// refreshes at most one measurement page besides the current run's is alive
// when the pages answer "untrackViewabilityUnit", four when they never do; an
// ad without Viewability, rich media or a swipe header starts no page.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CoreControllerSupport.h"
#include "SlotEngineRoad.h"
#include "SlotTestOwner.h"
#include "adkit/requests/AKSDKCoreWebView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UIWindow.h"
#include "support/AdServerProcess.h"

using adkittest::drainMainQueue;
using adkittest::waitFor;

namespace {

constexpr const char* kPagePath = "/adnet/static/sdk/native/sdk-core-v40.html";
constexpr const char* kLogPath = "/adnet/log";

nlohmann::json unit(const nlohmann::json& headers) {
    return {{"status", 200},
            {"contentType", "text/html; charset=utf-8"},
            {"headers", headers},
            {"body", "<html><body style='margin:0;background:#2a6'><p>measured</p></body></html>"}};
}

nlohmann::json viewabilityOrder() {
    const nlohmann::json units = {
        {"unit-measured", unit({{"X-Adnet-Viewability", R"({"vendor":"q"})"}})},
        {"unit-never", unit({{"X-Adnet-Viewability", R"({"untrack":"never"})"}})},
        {"unit-plain", unit(nlohmann::json::object())}};
    return {{"units", units}, {"constants", {{"active_view_sampling_intervals", "[1,2]"}}}};
}

// The ad server with measured units ("unit-measured"; "unit-never", whose
// pages never answer the last report; "unit-plain", which asks for nothing),
// sampling intervals (1, 2), trusted by the engine and the library; a slot in
// a clipping scroll view of a visible window; the application active; the
// controller afresh; virtual time.
struct ViewabilityRoad : slotroad::EngineRoadBase {
    adkittest::VirtualTime time{0};  // from the real now: report timestamps count on from earlier ones
    UIApplicationState stateBefore = UIApplication::sharedApplication()->applicationState();
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    std::shared_ptr<UIScrollView> scroll = std::make_shared<UIScrollView>(CGRectMake(0, 100, 320, 100));

    ViewabilityRoad() : EngineRoadBase(viewabilityOrder()) {
        UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);
        window->setHidden(false);
        scroll->setContentSize(CGSizeMake(320, 400));
        window->addSubview(scroll);
        f.slot = newSlot();
    }
    ~ViewabilityRoad() {
        f.slot.reset();
        window->setHidden(true);
        UIApplication::sharedApplication()->setApplicationState(stateBefore);
    }

    // A slot whose web view is at the top of the scroll view's content.
    std::shared_ptr<AKAdSlot> newSlot() {
        auto slot = f.makeSlot();
        slot->webView()->setFrame(CGRectMake(0, 0, 320, 50));
        scroll->addSubview(slot->webView());
        return slot;
    }
    void load(const std::string& unitName) {
        f.slot->setAdUnitID(unitName);
        f.slot->loadRequest(AKRequest::request());
        INFO("the owner heard: " << f.owner->joined() << "; the slot's state: " << f.slot->state());
        waitFor([&] { return f.slot->state() == AKSlotStateValidAd || f.slot->state() == AKSlotStateFailed; },
                "the load of " + unitName + " to end", slotroad::kLoadBound);
        REQUIRE(f.slot->state() == AKSlotStateValidAd);
    }
    std::size_t pageLoads() const {
        std::size_t count = 0;
        for (const auto& entry : server.log()) count += entry["path"] == kPagePath;
        return count;
    }
    // The units of the reports of run `hashCode` in the server's log, in the order its page made them.
    std::vector<nlohmann::json> reports(std::uint64_t hashCode) const {
        std::vector<std::pair<std::int64_t, nlohmann::json>> found;
        for (const auto& entry : server.log()) {
            if (entry["path"] != kLogPath || !entry.contains("body")) continue;
            const auto body = nlohmann::json::parse(entry["body"].get<std::string>(), nullptr, false);
            if (!body.is_object() || body.value("kind", "") != "updateViewability") continue;
            const auto& units = body["report"]["units"];
            if (!units.is_array() || units.size() != 1 || units[0]["hashCode"] != hashCode) continue;
            found.emplace_back(body["seq"].get<std::int64_t>(), units[0]);
        }
        std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<nlohmann::json> units;
        for (auto& [seq, reported] : found) units.push_back(std::move(reported));
        return units;
    }
    bool lastReportLogged(std::uint64_t hashCode) const {
        const auto logged = reports(hashCode);
        return !logged.empty() && logged.back().contains("doneReasonCode");
    }
};

nlohmann::json box(double top, double bottom, double left, double right) {
    return {{"top", top}, {"bottom", bottom}, {"left", left}, {"right", right}};
}

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("viewability road: dragged half and then fully out of a clipping scroll view, sampled 1, 3 and 5 s after the first, the last report marked") {
    adkittest::QuietLog quiet;
    ViewabilityRoad road;
    road.load("unit-measured");
    const std::uint64_t run = road.f.slot->viewabilityMonitorSequenceNumber();
    REQUIRE(run == 1);
    waitFor([&] { return road.reports(run).size() == 1; }, "the first report in the server's log");

    // Half a second at a time: dragged half out at 0.5 s, fully out at 1.5 s.
    for (int step = 1; step <= 11; ++step) {
        Clock::advance(0.5);
        if (step == 1) road.scroll->beginDragging();
        if (step == 1) road.scroll->dragToContentOffset(CGPointMake(0, 25));
        if (step == 3) road.scroll->dragToContentOffset(CGPointMake(0, 60));
        drainMainQueue();
    }
    road.load("unit-plain");  // the next ad ends the run
    // The page posts each report on its own request, and requests may overtake each other on the way: the
    // marked one may arrive before the one made before it. Wait for all five.
    waitFor([&] { return road.lastReportLogged(run) && road.reports(run).size() >= 5; },
            "the run's five reports, the last one marked, in the server's log");

    const auto reports = road.reports(run);
    INFO("the reports: " << nlohmann::json(reports).dump());
    REQUIRE(reports.size() == 5);
    const nlohmann::json zero = box(0, 0, 0, 0);
    const std::vector<std::pair<nlohmann::json, std::string>> expected = {
        {box(100, 150, 0, 320), "1"}, {box(100, 125, 0, 320), "1"}, {zero, "0"}, {zero, "0"}, {zero, "0"}};
    const std::int64_t first = reports[0]["timestamp"].get<std::int64_t>();
    const std::int64_t after[] = {0, 1000, 3000, 5000};
    for (std::size_t i = 0; i < reports.size(); ++i) {
        CAPTURE(i);
        CHECK(reports[i]["globalVisibleBox"] == expected[i].first);
        CHECK(reports[i]["isVisible"] == expected[i].second);
        CHECK(reports[i]["isSubViewOfVisibleWindow"] == "1");
        CHECK(reports[i]["viewabilityJSON"] == nlohmann::json{{"vendor", "q"}});
        CHECK(reports[i].contains("doneReasonCode") == (i == 4));
        if (i < 4) CHECK(std::llabs(reports[i]["timestamp"].get<std::int64_t>() - first - after[i]) <= 1);
    }
    CHECK(reports[4]["doneReasonCode"] == "u");
    // The ad that asks for nothing started no run.
    CHECK_FALSE(road.f.slot->SDKCoreWebView());
    CHECK(road.f.slot->viewabilityMonitorSequenceNumber() == run);
}

TEST_CASE("viewability road: after ten refreshes one finished page at most besides the current run's when pages answer, four when they never do, and an ad that asks for nothing starts no page") {
    adkittest::QuietLog quiet;
    ViewabilityRoad road;
    road.load("unit-plain");
    CHECK(road.pageLoads() == 1);  // the core page only
    CHECK_FALSE(road.f.slot->SDKCoreWebView());
    CHECK_FALSE(road.f.slot->viewabilityMonitor());

    struct Row {
        const char* unit;
        bool answers;
    };
    for (const Row row : {Row{"unit-measured", true}, Row{"unit-never", false}}) {
        CAPTURE(std::string(row.unit));
        const std::uint64_t base = road.f.slot->viewabilityMonitorSequenceNumber();
        std::vector<std::weak_ptr<AKSDKCoreWebView>> pages;
        for (std::uint64_t i = 1; i <= 11; ++i) {
            road.load(row.unit);  // the first load, then ten refreshes
            const std::uint64_t run = base + i;
            REQUIRE(road.f.slot->viewabilityMonitorSequenceNumber() == run);
            pages.push_back(road.f.slot->SDKCoreWebView());
            if (i == 1) continue;
            // The run before has ended: its page got the last report and, when it answers, said so.
            // A page's report is a load of its own: bounded like one (a checked build takes over 20 s here).
            waitFor([&] { return road.lastReportLogged(run - 1); }, "the last report of the run before",
                    slotroad::kLoadBound);
            if (!row.answers) continue;
            const auto& before = pages[i - 2];
            waitFor([&] {
                const auto page = before.lock();
                return !page || page->webView()->viewabilityUnloadPingReceived();
            }, "the page of the run before to answer", slotroad::kLoadBound);
        }
        std::size_t alive = 0;
        for (const auto& page : pages) alive += !page.expired();
        CHECK_FALSE(pages.back().expired());
        const auto kept = AKSDKCoreController::sharedInstance()->viewabilitySDKCoreWebViews();
        if (row.answers) {
            CHECK(alive <= 2);
            CHECK(kept.size() <= 1);
        } else {
            CHECK(alive == 5);
            REQUIRE(kept.size() == 4);
            for (const auto& page : kept) CHECK_FALSE(page->webView()->viewabilityUnloadPingReceived());
        }
    }
}

TEST_SUITE_END();
