// Protects the core controller end to end on the real web engine, its core
// page served by the real ad server over HTTPS: twenty builds while the page
// is held back share one load and get consecutive ids and each its own unit's
// URL; the page is reused up to an hour after its load and reloaded after;
// every way a build can fail (the page answered 404 or 500, or hanging, the
// unit's errors, an invalid request, a broken answer, no answer, parameters
// that cannot be JSON) reaches the slot once and the next build works;
// builds sent to a page whose web process ended are answered by the page that
// comes back; and the constants the server sends are applied, type-checked.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CoreControllerSupport.h"
#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/rendering/AKMRAIDInterceptor.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/webkit/UIWebViewRecorder.h"
#include "support/AdServerProcess.h"

using adkittest::waitFor;
using coretest::RecordingSlot;

namespace {

constexpr const char* kPagePath = "/adnet/static/sdk/native/sdk-core-v40.html";

// The controller afresh, its page from the ad server's https port, on the engine.
struct EngineCore {
    testsupport::TempHome home;
    testtools::AdServerProcess server;
    std::optional<AKAdHosts::ScopedOrigin> content;
    coretest::FreshController controller;

    explicit EngineCore(const nlohmann::json& table) {
        REQUIRE(server.started());
        REQUIRE(server.order("units", table) == 200);
        UIWebView::trustCertificateAuthorityForHosts(server.caFile(), {"127.0.0.1"});
        content.emplace(AKAdHost::staticContent, AKAdOrigin::parse(server.origin("https"), "https").value());
        UIWebView::useBackingFactory(nullptr);
    }
    ~EngineCore() { UIWebView::useBackingFactory(UIWebViewRecorder::factory()); }

    std::size_t pageLoads() const {
        std::size_t count = 0;
        for (const auto& entry : server.log()) count += entry["path"] == kPagePath;
        return count;
    }
    // One build, waited for to its end.
    std::vector<std::string> build(const std::shared_ptr<RecordingSlot>& slot, const std::string& what) {
        controller->buildAdURL(slot);
        coretest::waitForAnswers(*slot, 1, what);
        return slot->answers();
    }
};

nlohmann::json unitTable(int urlUnits) {
    nlohmann::json units = {{"unit-errors", {{"page", {{"mode", "errors"}, {"errors", "no fill"}}}}},
                            {"unit-invalid", {{"page", {{"mode", "invalid"}}}}},
                            {"unit-broken", {{"page", {{"mode", "broken"}}}}},
                            {"unit-silent", {{"page", {{"mode", "silent"}}}}}};
    for (int i = 0; i < urlUnits; ++i) units["unit-" + std::to_string(i)] = {{"page", {{"mode", "url"}}}};
    return {{"units", units}};
}

// The "slotname" of the ad URL a slot was given.
std::string slotnameOf(const std::string& answer) {
    const std::string prefix = "url ";
    if (answer.rfind(prefix, 0) != 0) return "(" + answer + ")";
    auto URL = NSURL::URLWithString(answer.substr(prefix.size()));
    REQUIRE_MESSAGE(URL, answer);
    return ak_dictionaryFromQueryParametersAndConvertKeysToLowercase(*URL, false)["slotname"].stringValue();
}

struct LogLines : AKLogChecker {
    std::vector<std::string> lines;
    void message(const std::string& text) override { lines.push_back(text); }
};

}  // namespace

// These drive the web engine.
TEST_SUITE_BEGIN("engine");

TEST_CASE("core controller: twenty builds while the page is held back share its one load, each with its own answer") {
    EngineCore core(unitTable(20));
    REQUIRE(core.server.order("fault", {{"path", kPagePath}, {"kind", "delay"}, {"ms", 1500}}) == 200);
    std::vector<std::shared_ptr<RecordingSlot>> slots;
    for (int i = 0; i < 20; ++i) {
        slots.push_back(RecordingSlot::forUnit("unit-" + std::to_string(i)));
        core.controller->buildAdURL(slots.back());
        if (i == 9) waitFor([&] { return core.pageLoads() == 1; }, "the held page's request at the server");
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        CAPTURE(i);
        coretest::waitForAnswers(*slots[i], 1, "the answer of slot " + std::to_string(i));
        CHECK(slots[i]->requestID == std::to_string(i + 1));
        REQUIRE(slots[i]->answers().size() == 1);
        CHECK(slotnameOf(slots[i]->answers()[0]) == "unit-" + std::to_string(i));
        CHECK(slots[i]->offMainCalls == 0);
    }
    CHECK(core.pageLoads() == 1);
}

TEST_CASE("core controller: the page is reused 3,600,000 ms after its load and reloaded at 3,600,001") {
    adkittest::VirtualTime time(0);  // virtual, from the real now
    (void)AKAbsoluteTime::absoluteTimeInMilliseconds();  // its clock starts (at 0) before the load
    Clock::advance(1);
    EngineCore core(unitTable(1));
    CHECK(slotnameOf(core.build(RecordingSlot::forUnit("unit-0"), "the first build").at(0)) == "unit-0");
    CHECK(core.pageLoads() == 1);
    const std::uint64_t loaded = core.controller->lastWebViewRefreshTimestamp();
    REQUIRE(loaded > 0);
    auto advanceTo = [](std::uint64_t milliseconds) {
        Clock::advance((milliseconds - AKAbsoluteTime::absoluteTimeInMilliseconds()) / 1000.0 - 0.001);
        while (AKAbsoluteTime::absoluteTimeInMilliseconds() < milliseconds) Clock::advance(0.0001);
        REQUIRE(AKAbsoluteTime::absoluteTimeInMilliseconds() == milliseconds);
    };
    advanceTo(loaded + AKSDKCoreController::kRefreshInterval);
    CHECK(slotnameOf(core.build(RecordingSlot::forUnit("unit-0"), "the build an hour on").at(0)) == "unit-0");
    CHECK(core.pageLoads() == 1);
    CHECK(core.controller->lastWebViewRefreshTimestamp() == loaded);
    advanceTo(loaded + AKSDKCoreController::kRefreshInterval + 1);
    CHECK(slotnameOf(core.build(RecordingSlot::forUnit("unit-0"), "the build after the hour").at(0)) == "unit-0");
    CHECK(core.pageLoads() == 2);
    CHECK(core.controller->lastWebViewRefreshTimestamp() == loaded + AKSDKCoreController::kRefreshInterval + 1);
}

TEST_CASE("core controller: each failure of a build reaches its slot once, and the next build works") {
    enum class Wait { none, pageHeld, buildSent };
    struct Row {
        const char* name;
        nlohmann::json fault;  // on the page's path
        Value parameters;
        std::string expected;
        Wait wait = Wait::none;
        double advance = 0;  // seconds of virtual time once waited
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Row> rows = {
        {"the page answers 404", {{"kind", "status"}, {"status", 404}}, {{"slotname", "unit-0"}}, "no core page"},
        {"the page answers 500", {{"kind", "status"}, {"status", 500}}, {{"slotname", "unit-0"}}, "no core page"},
        {"the page hangs", {{"kind", "hang"}}, {{"slotname", "unit-0"}}, "no core page", Wait::pageHeld,
         AKSDKCoreWebView::kLoadLimit},
        {"the unit's errors", nullptr, {{"slotname", "unit-errors"}}, "errors no fill"},
        {"an invalid request", nullptr, {{"slotname", "unit-invalid"}}, "invalid"},
        {"a broken answer", nullptr, {{"slotname", "unit-broken"}}, "error 13"},
        {"no answer", nullptr, {{"slotname", "unit-silent"}}, "error 5", Wait::buildSent,
         AKSDKCoreController::kBuildAnswerLimit},
        {"parameters that cannot be JSON", nullptr, {{"slotname", "unit-0"}, {"uule", Value({{"lat", nan}})}},
         "error 0"},
    };
    EngineCore core(unitTable(1));
    auto logLines = std::make_shared<LogLines>();
    AKMacros::setLogChecker(logLines);
    for (const Row& row : rows) {
        CAPTURE(std::string(row.name));
        AKSDKCoreControllerTesting::reset();
        std::optional<adkittest::VirtualTime> time;
        if (row.wait != Wait::none) time.emplace(0);
        if (!row.fault.is_null()) {
            nlohmann::json fault = row.fault;
            fault["path"] = kPagePath;
            REQUIRE(core.server.order("fault", fault) == 200);
        }
        const std::size_t loads = core.pageLoads();
        auto slot = std::make_shared<RecordingSlot>(row.parameters);
        core.controller->buildAdURL(slot);
        if (row.wait == Wait::pageHeld)
            waitFor([&] { return core.pageLoads() == loads + 1; }, "the held page's request at the server");
        if (row.wait == Wait::buildSent)
            waitFor([&] { return core.controller->pendingBuildCount() == 1; }, "the build sent to the page");
        // A millisecond past the limit: whole seconds added to a 1.7e9 s clock may land short by a rounding.
        if (row.advance > 0) Clock::advance(row.advance + 0.001);
        coretest::waitForAnswers(*slot, 1, "the failure");
        // The next build works; the failed one heard nothing more meanwhile.
        auto next = RecordingSlot::forUnit("unit-0");
        CHECK(slotnameOf(core.build(next, "the next build").at(0)) == "unit-0");
        CHECK(slot->answers() == std::vector<std::string>{row.expected});
        CHECK(slot->offMainCalls == 0);
    }
    AKMacros::setLogChecker(nullptr);
    std::size_t invalidLines = 0;
    for (const auto& line : logLines->lines) invalidLines += line.rfind("Invalid Request: ", 0) == 0;
    CHECK(invalidLines == 1);
}

TEST_CASE("core controller: builds sent to a page whose web process ended are answered by the page that comes back") {
    adkittest::VirtualTime time(0);  // never moved: only an answer can end the builds
    nlohmann::json table = unitTable(1);
    table["units"]["unit-held"] = {{"page", {{"mode", "silent"}}}};
    EngineCore core(table);
    CHECK(slotnameOf(core.build(RecordingSlot::forUnit("unit-0"), "the first build").at(0)) == "unit-0");
    auto page = core.controller->activeSDKCoreWebView();
    const auto evaluate = [&](const std::string& script) {
        return page->webView()->stringByEvaluatingJavaScriptFromString(script);
    };
    // The page counts the builds it is given; this document answers none of the held unit's.
    REQUIRE(evaluate("window.heldBuilds = 0; var build = window.ADNET_buildAdURL; window.ADNET_buildAdURL ="
                     " function (p) { window.heldBuilds++; return build(p); }; 'ready'") == "ready");
    const std::vector<std::shared_ptr<RecordingSlot>> slots = {RecordingSlot::forUnit("unit-held"),
                                                               RecordingSlot::forUnit("unit-held")};
    for (const auto& slot : slots) core.controller->buildAdURL(slot);
    waitFor([&] { return evaluate("String(window.heldBuilds)") == "2"; }, "both builds in the first document");
    CHECK(core.controller->pendingBuildCount() == 2);
    // The next document answers them; this one's process hangs and the watchdog ends it.
    table["units"]["unit-held"] = {{"page", {{"mode", "url"}}}};
    REQUIRE(core.server.order("units", table) == 200);
    (void)evaluate("setTimeout(function () { for (;;) {} }, 0); 1");
    for (std::size_t i = 0; i < slots.size(); ++i) {
        CAPTURE(i);
        coretest::waitForAnswers(*slots[i], 1, "the answer of held build " + std::to_string(i));
        CHECK(slots[i]->requestID == std::to_string(i + 2));
        REQUIRE(slots[i]->answers().size() == 1);
        CHECK(slotnameOf(slots[i]->answers()[0]) == "unit-held");
    }
    CHECK(core.pageLoads() == 2);
    CHECK(core.controller->pendingBuildCount() == 0);
    CHECK(slotnameOf(core.build(RecordingSlot::forUnit("unit-0"), "a build after").at(0)) == "unit-0");
}

TEST_CASE("core controller: the server's constants are applied in order, type-checked, and a missing switch allows") {
    nlohmann::json table = unitTable(1);
    table["constants"] = {{"mraid_banner_path", "{origin}/mraid/v1/custom_banner.js"},
                          {"mraid_interstitial_path", "not a URL"},
                          {"mraid_disable_redirect", "1"},
                          {"active_view_sampling_intervals", "[1,2.5]"},
                          {"discardable_storekitcontroller_cache_size", "3"},
                          {"bad_ad_report_path", "{origin}/s/bad"},
                          {"as_domains", "a.example"},
                          {"native_ad_support_url", ""},
                          {"ak_web_view_cache_max_capacity", "7"}};
    EngineCore core(table);
    const std::string origin = core.server.origin("https");
    CHECK(slotnameOf(core.build(RecordingSlot::forUnit("unit-0"), "a build").at(0)) == "unit-0");
    // The constants came before the build's answer.
    CHECK(AKMRAIDInterceptor::bannerImplementationPath() == std::optional<std::string>(origin + "/mraid/v1/custom_banner.js"));
    CHECK(AKMRAIDInterceptor::interstitialImplementationPath() == std::nullopt);
    CHECK_FALSE(AKMRAIDInterceptor::isAllowed());
    CHECK(core.controller->viewabilityMonitorRefreshIntervals() == std::vector<double>{1, 2.5});
    auto cache = AKApplication::sharedApplication()->discardableStoreProductViewControllerAppCache();
    REQUIRE(cache);
    CHECK(cache->countLimit() == 3);
    auto defaults = NSUserDefaults::standardUserDefaults();
    CHECK(defaults->stringForKey("bad_ad_report_path") == std::optional<std::string>(origin + "/s/bad"));
    CHECK(defaults->stringForKey("as_domains") == std::optional<std::string>("a.example"));
    CHECK_FALSE(defaults->stringForKey("native_ad_support_url"));
    CHECK(defaults->stringForKey("ak_web_view_cache_max_capacity") == std::optional<std::string>("7"));

    // Constants without the switch, with a list holding a non-number and a negative count.
    auto handler = core.controller->activeSDKCoreWebView()->SDKCoreAMSGHandler();
    REQUIRE(handler->handleRequest(NSURLRequest::requestWithURL(
                                       "amsg://core/loadSdkConstants?active_view_sampling_intervals=%5B1%2Ctrue%5D"
                                       "&discardable_storekitcontroller_cache_size=-1&as_domains=b.example"),
                                   nullptr));
    waitFor([&] { return defaults->stringForKey("as_domains") == std::optional<std::string>("b.example"); },
            "the second constants");
    CHECK(AKMRAIDInterceptor::isAllowed());
    CHECK(AKMRAIDInterceptor::bannerImplementationPath() == std::nullopt);
    CHECK(core.controller->viewabilityMonitorRefreshIntervals().empty());
    CHECK(cache->countLimit() == 3);

    AKMRAIDInterceptor::resetToDefaultPaths();
    AKApplication::sharedApplication()->setDiscardableStoreProductViewControllerAppCacheMaxSize(1);
}

TEST_SUITE_END();
