// Protects how every failure of a slot's load ends on the real engine, core
// page, fetcher and ad server: the code the owner hears (once), what the
// error's user info carries, the slot's state, whether the refresh timer runs
// again, the publisher log line where there is one, and that the next load of
// the same slot works (a failed core page is loaded again; one answered with an
// error status ran none of its scripts).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "SlotEngineRoad.h"
#include "adkit/requests/AKSDKCoreWebView.h"
#include "platform/foundation/NSString.h"

using adkittest::waitFor;
using slotroad::EngineSlots;

namespace {

// A port of 127.0.0.1 where nothing listens (taken from the system, then let go).
int closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    REQUIRE(fd >= 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(fd);
    REQUIRE(bound);
    return ntohs(address.sin_port);
}

nlohmann::json failureUnits() {
    using slotroad::htmlUnit;
    const nlohmann::json json = {{"adType", "banner"}};
    auto jsonUnit = [&](const char* header) {
        return nlohmann::json{{"headers", {{header, "1"}}}, {"json", json}};
    };
    return {
        {"unit-good", htmlUnit(slotroad::titledCreative("good"), "", {{"X-Adnet-Refresh-Rate", "600"}})},
        {"unit-errors", {{"page", {{"mode", "errors"}, {"errors", "no_fill"}}}}},
        {"unit-invalid", {{"page", {{"mode", "invalid"}}}}},
        {"unit-broken", {{"page", {{"mode", "broken"}}}}},
        {"unit-silent", {{"page", {{"mode", "silent"}}}}},
        {"unit-400", {{"status", 400}, {"body", "rejected"}}},
        {"unit-401", {{"status", 401}, {"body", "unauthorised"}}},
        {"unit-500", {{"status", 500}, {"body", "broken"}}},
        {"unit-empty", {{"status", 200}}},
        {"unit-blank", htmlUnit(" \n\t \r\n ")},
        {"unit-mediation-html", htmlUnit("<p>not JSON</p>", "", {{"X-Adnet-Mediation", "1"}})},
        {"unit-mediation", jsonUnit("X-Adnet-Mediation")},
        {"unit-native", jsonUnit("X-Adnet-Native")},
        {"unit-image", htmlUnit(slotroad::titledCreative("image", "<img src=\"{origin}/held/image.png\">"))},
    };
}

enum class Info { none, status, parameters };
enum class Hold { none, pageRequest, buildSent, image };  // waited for before the page speaks or time moves
struct FailureRow {
    const char* name;
    std::string unit;
    nlohmann::json fault;  // with its path
    std::int64_t code;
    Info info;
    AKSlotState state;
    bool timer;
    const char* logLine = nullptr;
    Hold hold = Hold::none;
    double advance = 0;    // seconds of virtual time once held
    std::string adURL{};   // a "loadAdURL" the page sends for the slot's build
};

const std::string kPage = slotroad::kPagePath;
// The page's first head script, the server's constants (never cached: every shown page asks for it).
const std::string kPageScript = "/adnet/static/sdk/native/sdk-constants.js";

// The failures, each with what the owner hears and the slot keeps.
std::vector<FailureRow> failureRows() {
    const std::string refused = "https://127.0.0.1:" + std::to_string(closedPort()) + "/adnet/ad?slotname=x";
    const AKSlotState failed = AKSlotStateFailed, noPage = AKSlotStateCorePageFailed;
    return {
        {"page 404", "unit-good", {{"path", kPage}, {"kind", "status"}, {"status", 404}}, 2, Info::none, noPage, false},
        // The page itself under an error status: not one of its scripts may run.
        {"page 500", "unit-good", {{"path", kPage}, {"kind", "status"}, {"status", 500}, {"usualBody", true}}, 2,
         Info::none, noPage, false},
        {"page hangs", "unit-good", {{"path", kPage}, {"kind", "hang"}}, 2, Info::none, noPage, false, nullptr,
         Hold::pageRequest, AKSDKCoreWebView::kLoadLimit},
        {"unit errors", "unit-errors", nullptr, 0, Info::parameters, failed, false},
        {"invalid request", "unit-invalid", nullptr, 0, Info::parameters, failed, false, "Invalid Request: "},
        {"broken answer", "unit-broken", nullptr, 13, Info::none, failed, false},
        {"silent page", "unit-silent", nullptr, 5, Info::none, failed, true, nullptr, Hold::buildSent,
         AKSDKCoreController::kBuildAnswerLimit},
        {"ad 400", "unit-400", nullptr, 0, Info::parameters, failed, true, "Server rejected ad parameters."},
        {"ad 401", "unit-401", nullptr, 3, Info::status, failed, true},
        {"ad 500", "unit-500", nullptr, 3, Info::status, failed, true},
        {"connection refused", "unit-silent", nullptr, 2, Info::none, failed, true, nullptr, Hold::buildSent, 0, refused},
        {"empty body", "unit-empty", nullptr, 1, Info::none, failed, true},
        // The HTML answer starts the timer before its HTML is found empty.
        {"blank HTML", "unit-blank", nullptr, 1, Info::none, failed, true},
        {"mediation header on HTML", "unit-mediation-html", nullptr, 3, Info::none, failed, true},
        {"mediation JSON without networks", "unit-mediation", nullptr, 7, Info::none, failed, false},
        {"native, the slot its own response delegate", "unit-native", nullptr, 11, Info::none, failed, true},
        {"file URL from the page", "unit-silent", nullptr, 13, Info::none, failed, false, nullptr, Hold::buildSent, 0,
         "file:///etc/hostname"},
        {"creative image hangs", "unit-image", {{"path", "/held/"}, {"kind", "hang"}}, 5, Info::none, failed, true,
         nullptr, Hold::image, AKAdSlot::kRenderingLimitSeconds},
    };
}

// Waits for what the row holds, lets the page speak for the slot's build when
// the row says so, and moves virtual time past the row's limit.
void holdThenRelease(const EngineSlots& road, const AKAdSlot& slot, const FailureRow& row, std::size_t pageLoads) {
    if (row.hold == Hold::pageRequest)
        waitFor([&] { return road.logged(kPage).size() == pageLoads + 1; }, "the held page's request");
    if (row.hold == Hold::buildSent)
        waitFor([&] { return (*road.controller)->pendingBuildCount() == 1; }, "the build sent to the page");
    if (row.hold == Hold::image)
        waitFor([&] { return !road.logged("/held/image.png").empty(); }, "the creative's image requested");
    if (!row.adURL.empty()) {
        const auto url = stringByAddingPercentEscapes(row.adURL, NSUTF8StringEncoding, ":/?=&");
        REQUIRE(url);
        road.pageSays("amsg://core/loadAdURL?request_id=" + slot.requestID().value_or("") + "&url=" + *url);
    }
    // A millisecond past the limit: whole seconds added to a 1.7e9 s clock may land short by a rounding.
    if (row.advance > 0) Clock::advance(row.advance + 0.001);
}

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("slot failures: each ends with its code, user info, state and refresh timer, and the next load works") {
    adkittest::QuietLog quiet;
    EngineSlots road(failureUnits());
    auto owner = std::make_shared<slotroad::ErrorKeepingOwner>();
    auto slot = EngineSlots::makeSlot(owner, "unit-good");
    road.loadValid(*slot);  // the refresh interval the failures keep: 600 s
    REQUIRE(slot->reloadInterval() == 600);
    const auto logCount = [&](const char* text) {
        return std::count_if(quiet.lines.begin(), quiet.lines.end(),
                             [&](const std::string& line) { return line.find(text) != std::string::npos; });
    };

    for (const FailureRow& row : failureRows()) {
        INFO("row: " << std::string(row.name));
        if (!row.fault.is_null() && row.fault["path"] == kPage) AKSDKCoreControllerTesting::reset();  // the page loads anew
        slot->deactivateReloadTimer();
        owner->errors.clear();
        const auto lines = row.logLine ? logCount(row.logLine) : 0;
        std::optional<adkittest::VirtualTime> time;
        if (row.advance > 0) time.emplace(0);
        if (!row.fault.is_null()) REQUIRE(road.server.order("fault", row.fault) == 200);
        const std::size_t pageLoads = road.logged(kPage).size();
        const std::size_t pageScripts = road.logged(kPageScript).size();
        const auto request = AKRequest::request();
        request->setAdditionalParameters(Value{{"row", row.name}});
        slot->setAdUnitID(row.unit);
        slot->loadRequest(request);

        holdThenRelease(road, *slot, row, pageLoads);
        EngineSlots::waitForEnd(*slot, "the failing load to end");

        CHECK(slot->state() == row.state);
        REQUIRE(owner->errors.size() == 1);
        const NSErrorPtr error = owner->errors[0];
        REQUIRE(error);
        CHECK(error->domain() == AKErrorDomain);
        CHECK(error->code() == row.code);
        const Value info = error->userInfo();
        CHECK(info["HttpStatus"].isString() == (row.info == Info::status));
        CHECK((info["extras"]["row"].stringValue() == row.name) == (row.info == Info::parameters));
        CHECK(slot->hasReloadTimer() == row.timer);
        if (row.logLine) CHECK(logCount(row.logLine) == lines + 1);
        const bool pageFailed = row.state == AKSlotStateCorePageFailed;
        // A failed page's scripts were never fetched: the page was never shown.
        if (pageFailed) CHECK(road.logged(kPageScript).size() == pageScripts);

        slot->setAdUnitID("unit-good");
        road.loadValid(*slot);
        CHECK(owner->errors.size() == 1);  // nothing more of the failed load
        CHECK(owner->last() == "finished");
        if (pageFailed) CHECK(road.logged(kPage).size() == pageLoads + 2);  // the next load loaded the page again
    }
    CHECK(AKMRAIDInterceptor::canInitWithRequestCounter() == 0);
}

TEST_SUITE_END();
