// Protects the library's own core page through the real web engine, served by
// the ad peer: ADNET_buildAdURL answers each request by its unit's mode (the ad
// endpoint's URL carrying every parameter, the ad inline, errors, an invalid
// request, broken JSON, nothing), every message of one script turn arrives in
// order also beyond the engine's frame limit, ADNET_getSdkConstants answers the
// server's constants or the defaults without them, and Viewability reports and
// library events reach the server's log while visibility changes and the end
// of a unit are answered; served by the real ad server over HTTPS, the page
// builds that server's ad URLs from its script and logs to it.
#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "AdkitTestSupport.h"
#include "support/AdServerProcess.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/rendering/AKNotification.h"
#include "platform/WebViewSupport.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

using adkittest::waitFor;
using testsupport::RecordedRequest;
using testsupport::Reply;

namespace {

constexpr const char* kPagePath = "/adnet/static/sdk/native/sdk-core-v40.html";
constexpr const char* kConstantsPath = "/adnet/static/sdk/native/sdk-constants.js";
constexpr const char* kLogPath = "/adnet/log";

using Parameters = AKNotification::Parameters;

// A page in a library web view, its messages refused and kept in order.
struct PageView {
    // On the engine, whatever backing an earlier test left installed.
    struct OnEngine {
        OnEngine() { UIWebView::useBackingFactory(nullptr); }
    } onEngine;
    webtest::WindowedWebView web{CGSizeMake(10, 10), UIWebViewProcessGroup::Library};
    std::vector<AKNotificationPtr> messages;
    std::size_t taken = 0;

    void load(const std::string& URL) {
        web.delegate->allow = [this](const std::string& target, UIWebViewNavigationType) {
            if (!AKNotification::isNotificationURL(target)) return true;
            messages.push_back(AKNotification::initWithNotificationURL(target));
            return false;
        };
        web.view->loadRequest(NSURLRequest::requestWithURL(URL));
        web.waitForEnd("the core page");
        REQUIRE(web.delegate->log.back() == "finish");
    }
    void run(const std::string& script) { web.view->stringByEvaluatingJavaScriptFromString(script); }
    // The next message the page sent.
    AKNotification& next() {
        waitFor([&] { return messages.size() > taken; }, "message " + std::to_string(taken + 1) + " of the page");
        REQUIRE(messages[taken]);
        return *messages[taken++];
    }
};

// The core page served by the ad peer, the server's log kept as it arrives.
struct CorePage : PageView {
    testsupport::AdPeer peer;

    explicit CorePage(const std::optional<std::string>& constantsScript) {
        if (constantsScript) peer.route(kConstantsPath, Reply::text(*constantsScript, "application/javascript"));
        peer.route(kLogPath, [](const RecordedRequest&) { return Reply::withStatus(204); });
        load(peer.url(kPagePath));
        REQUIRE(peer.receivedRequestFor(kConstantsPath)());
    }
    // The bodies posted to the log, by their "seq".
    std::vector<Value> logEntries(std::size_t count) {
        waitFor([&] { return peer.requestsFor(kLogPath).size() >= count; }, std::to_string(count) + " log entries");
        std::vector<Value> entries;
        for (const auto& request : peer.requestsFor(kLogPath)) {
            CHECK(request.method == "POST");
            CHECK(request.headers.get("Content-Type") == "application/json");
            auto entry = Value::fromJSON(request.body);
            REQUIRE(entry);
            entries.push_back(*entry);
        }
        std::sort(entries.begin(), entries.end(),
                  [](const Value& a, const Value& b) { return a["seq"].integerValue() < b["seq"].integerValue(); });
        return entries;
    }
};

Value query(const std::string& URL) {
    auto parsed = NSURL::URLWithString(URL);
    REQUIRE(parsed);
    return ak_dictionaryFromQueryParametersAndConvertKeysToLowercase(*parsed, false);
}

Value json(const std::string& text) {
    auto value = Value::fromJSON(text);
    REQUIRE_MESSAGE(value, text);
    return *value;
}

constexpr const char* kUnits = R"(
window.ADNET_UNITS = {
  "unit-url": {"request_scenario": "offline_buffer", "enable_auto_click_protection": 1},
  "unit-inline": {"mode": "inline", "ad": {"ad_html": "<p>ad</p>", "ad_base_url": "http://ads.example/"},
                  "header": {"X-Adnet-Refresh-Rate": "30"}},
  "unit-inline-url": {"mode": "inline"},
  "unit-errors": {"mode": "errors", "errors": "no fill"},
  "unit-invalid": {"mode": "invalid"},
  "unit-broken": {"mode": "broken"},
  "unit-silent": {"mode": "silent"},
  "unit-odd": {"mode": "odd"}
};
window.ADNET_CONSTANTS = {
  "mraid_banner_path": "http://media.example/b.js", "mraid_disable_redirect": null,
  "active_view_sampling_intervals": [1, 2, 5], "discardable_storekitcontroller_cache_size": 7,
  "ak_web_view_cache_max_capacity": "9", "extra_constant": "kept"
};
)";

}  // namespace

// These drive the web engine.
TEST_SUITE_BEGIN("engine");

TEST_CASE("core page: each request is answered by its unit's mode, every answer of one turn in order") {
    CorePage page(kUnits);
    const std::string origin = page.peer.origin();
    const std::string common = R"("kw": ["a", "b"], "uule": {"lat": 1.5}, "js": "adnet-sdk-i-v6.12.2")";
    struct Case {
        const char* name;
        std::string parameters;  // besides request_id
        std::string message;
        Parameters expected;     // besides request_id and url; "?" values only present
    };
    const std::vector<Case> cases = {
        {"a listed unit by URL", R"("slotname": "unit-url", "force_https": "0", )" + common, "loadAdURL",
         {{"request_scenario", "offline_buffer"}, {"enable_auto_click_protection", "1"}, {"url", "?"}}},
        {"an unlisted unit by URL over https", R"("slotname": "unit-other", "force_https": "1", )" + common,
         "loadAdURL", {{"url", "?"}}},
        {"an ad inline", R"("slotname": "unit-inline")", "loadAd", {{"ad", "?"}, {"header", "?"}}},
        {"an inline ad by URL", R"("slotname": "unit-inline-url")", "loadAd", {{"ad", "?"}, {"header", "?"}}},
        {"errors", R"("slotname": "unit-errors")", "loadAdURL", {{"errors", "no fill"}}},
        {"an invalid request", R"("slotname": "unit-invalid")", "invalidRequest", {}},
        {"a request without a slot name", R"("sz": "320x50")", "invalidRequest", {}},
        {"a unit of an unknown mode", R"("slotname": "unit-odd")", "invalidRequest", {}},
        {"broken JSON", R"("slotname": "unit-broken")", "loadAd", {{"ad", "?"}, {"header", "{}"}}},
        {"no answer", R"("slotname": "unit-silent")", "", {}},
    };
    std::string script;
    for (std::size_t i = 0; i < cases.size(); ++i)
        script += "ADNET_buildAdURL({\"request_id\": \"" + std::to_string(i + 1) + "\", " + cases[i].parameters + "});";
    script += R"(ADNET_getSdkConstants({"js": "adnet-sdk-i-v6.12.2"});)";
    page.run(script);

    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        CAPTURE(std::string(c.name));
        if (c.message.empty()) continue;  // the next answer is the next case's
        AKNotification& message = page.next();
        CHECK(message.name() == c.message);
        Parameters expected = c.expected;
        expected["request_id"] = std::to_string(i + 1);
        for (auto& [key, value] : expected) {
            CAPTURE(key);
            REQUIRE(message.parameter(key));
            if (value != "?") CHECK(*message.parameter(key) == value);
        }
        CHECK(message.parameters().size() == expected.size());
    }
    CHECK(page.next().name() == "loadSdkConstants");

    // The ad endpoint's URL carries every parameter, objects as JSON text.
    const std::string plainURL = *page.messages[0]->parameter("url");
    const std::string secureURL = *page.messages[1]->parameter("url");
    CHECK(plainURL.rfind(origin + "/adnet/ad?", 0) == 0);
    CHECK(secureURL.rfind("https://" + origin.substr(7) + "/adnet/ad?", 0) == 0);
    const Value sent = query(plainURL);
    CHECK(sent.count() == 6);
    CHECK(sent["request_id"] == Value("1"));
    CHECK(sent["slotname"] == Value("unit-url"));
    CHECK(sent["force_https"] == Value("0"));
    CHECK(sent["js"] == Value("adnet-sdk-i-v6.12.2"));
    CHECK(json(sent["kw"].stringValue()) == Value::array({"a", "b"}));
    CHECK(json(sent["uule"].stringValue()) == Value({{"lat", 1.5}}));
    CHECK(query(secureURL)["slotname"] == Value("unit-other"));

    // Inline: the unit's ad and headers, or the ad endpoint's URL; broken: no JSON.
    CHECK(json(*page.messages[2]->parameter("ad")) ==
          Value({{"ad_html", "<p>ad</p>"}, {"ad_base_url", "http://ads.example/"}}));
    CHECK(json(*page.messages[2]->parameter("header")) == Value({{"X-Adnet-Refresh-Rate", "30"}}));
    const Value byURL = json(*page.messages[3]->parameter("ad"));
    CHECK(byURL["ad_url"].stringValue().rfind(origin + "/adnet/ad?request_id=4&slotname=unit-inline-url", 0) == 0);
    CHECK_FALSE(Value::fromJSON(*page.messages[8]->parameter("ad")));
}

TEST_CASE("core page: a turn's messages beyond the engine's thousand frames all arrive, in order") {
    const webtest::LongTurnsAllowed longTurns;
    CorePage page(kUnits);
    constexpr int kRequests = 2500;
    page.run("for (var i = 1; i <= " + std::to_string(kRequests) +
             "; i++) ADNET_buildAdURL({request_id: String(i), slotname: 'unit-invalid'});");
    waitFor([&] { return page.messages.size() >= kRequests; }, "every answer", 120);
    std::vector<std::string> ids;
    for (const auto& message : page.messages) ids.push_back(message->parameter("request_id").value_or("?"));
    std::vector<std::string> expected;
    for (int i = 1; i <= kRequests; ++i) expected.push_back(std::to_string(i));
    CHECK(ids == expected);
}

TEST_CASE("core page: the constants are the server's, or the defaults when it has none") {
    for (const bool served : {true, false}) {
        CAPTURE(served);
        CorePage page(served ? std::optional<std::string>(kUnits) : std::nullopt);
        page.run(R"(ADNET_getSdkConstants({"js": "adnet-sdk-i-v6.12.2"});)");
        AKNotification& message = page.next();
        CHECK(message.name() == "loadSdkConstants");
        const std::string origin = page.peer.origin();
        Parameters expected = {
            {"mraid_banner_path", origin + "/mraid/v1/mraid_app_banner.js"},
            {"mraid_interstitial_path", origin + "/mraid/v1/mraid_app_interstitial.js"},
            {"mraid_expanded_banner_path", origin + "/mraid/v1/mraid_app_expanded_banner.js"},
            {"mraid_disable_redirect", "0"},
            {"active_view_sampling_intervals", "[0.5,1,2]"},
            {"discardable_storekitcontroller_cache_size", "1"},
            {"bad_ad_report_path", origin + "/s/reportAd"},
            {"as_domains", "127.0.0.1"},
            {"native_ad_support_url", origin + "/adnet/static/mad/sdk/native/native_ads.html"},
            {"ak_web_view_cache_max_capacity", "4"},
        };
        if (served) {
            expected["mraid_banner_path"] = "http://media.example/b.js";
            expected.erase("mraid_disable_redirect");
            expected["active_view_sampling_intervals"] = "[1,2,5]";
            expected["discardable_storekitcontroller_cache_size"] = "7";
            expected["ak_web_view_cache_max_capacity"] = "9";
            expected["extra_constant"] = "kept";
        }
        CHECK(message.parameters() == expected);
        // Without the server's units every request goes by the ad endpoint's URL.
        page.run(R"(ADNET_buildAdURL({"request_id": "1", "slotname": "unit-broken"});)");
        CHECK(page.next().name() == (served ? "loadAd" : "loadAdURL"));
    }
}

TEST_CASE("core page: Viewability reports and library events reach the log, and changes and ends are answered") {
    CorePage page(std::nullopt);
    auto report = [](const char* visible, const char* done) {
        return std::string("ADNET_updateViewability({\"units\": [{\"hashCode\": 3, \"isVisible\": \"") + visible +
               "\", \"adFormat\": \"banner_mb\"" + (done ? std::string(", \"doneReasonCode\": \"") + done + "\"" : "") +
               "}]});";
    };
    page.run(report("0", nullptr) + report("1", nullptr));
    page.run(report("1", nullptr));
    page.run(report("0", "u") + R"(ADNET_ReceiveMessage('navigationBlocked', {"navigationURL": "http://x.example/"});)");
    page.run(R"(ADNET_getSdkConstants({"js": "v"});)");

    std::vector<std::string> heard;
    for (int i = 0; i < 4; ++i) {
        AKNotification& message = page.next();
        std::string entry = message.name();
        for (const auto& [key, value] : message.parameters()) entry += " " + key + "=" + value;
        heard.push_back(message.name() == "loadSdkConstants" ? message.name() : entry);
    }
    CHECK(heard == std::vector<std::string>{"visibilityChanged hashCode=3 isVisible=1",
                                            "visibilityChanged hashCode=3 isVisible=0",
                                            "untrackViewabilityUnit doneReasonCode=u hashCode=3", "loadSdkConstants"});

    const auto entries = page.logEntries(5);
    REQUIRE(entries.size() == 5);
    for (std::size_t i = 0; i < entries.size(); ++i) CHECK(entries[i]["seq"].integerValue() == static_cast<long>(i + 1));
    for (std::size_t i = 0; i < 4; ++i) {
        CHECK(entries[i]["kind"] == Value("updateViewability"));
        CHECK(entries[i]["report"]["units"][std::size_t{0}]["hashCode"] == Value(3));
    }
    CHECK(entries[1]["report"]["units"][std::size_t{0}]["isVisible"] == Value("1"));
    CHECK(entries[3]["report"]["units"][std::size_t{0}]["doneReasonCode"] == Value("u"));
    CHECK(entries[4] == Value({{"seq", 5}, {"kind", "receiveMessage"}, {"name", "navigationBlocked"},
                               {"payload", Value({{"navigationURL", "http://x.example/"}})}}));
}

TEST_CASE("core page: served by the real ad server over HTTPS, it requests the server's ads and logs to it") {
    testtools::AdServerProcess server;
    REQUIRE(server.started());
    const nlohmann::json units = {{"unit-url", {{"page", {{"request_scenario", "online_request"}}}}}};
    REQUIRE(server.order("units", {{"units", units}}) == 200);
    UIWebView::trustCertificateAuthorityForHosts(server.caFile(), {"127.0.0.1"});
    PageView page;
    page.load(server.origin("https") + kPagePath);

    // The https origin is the page's own, the http one (another port) only the server's script knows.
    page.run(R"(ADNET_buildAdURL({"request_id": "1", "slotname": "unit-url", "force_https": "1"});
                ADNET_buildAdURL({"request_id": "2", "slotname": "unit-url", "force_https": "0"});)");
    for (const std::string scheme : {"https", "http"}) {
        CAPTURE(scheme);
        AKNotification& message = page.next();
        REQUIRE(message.name() == "loadAdURL");
        CHECK(message.parameter("request_scenario") == std::optional<std::string>("online_request"));
        const std::string url = message.parameter("url").value_or("");
        CHECK(url.rfind(server.origin(scheme) + "/adnet/ad?", 0) == 0);
        CHECK(query(url)["slotname"] == Value("unit-url"));
    }

    page.run(R"(ADNET_ReceiveMessage('navigationBlocked', {"navigationURL": "http://x.example/"});)");
    nlohmann::json posted;
    waitFor(
        [&] {
            for (const auto& entry : server.log())
                if (entry["path"] == kLogPath) posted = entry;
            return !posted.is_null();
        },
        "the page's log entry in the ad server's log");
    CHECK(posted["scheme"] == "https");
    CHECK(posted["method"] == "POST");
    const auto body = nlohmann::json::parse(posted.value("body", std::string()), nullptr, false);
    CHECK(body["kind"] == "receiveMessage");
    CHECK(body["name"] == "navigationBlocked");
    CHECK(body["payload"] == nlohmann::json{{"navigationURL", "http://x.example/"}});
}

TEST_SUITE_END();
