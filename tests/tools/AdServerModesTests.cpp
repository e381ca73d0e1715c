// The ad server's shipped units of the application (creatives by size, the mediated built-in banner) and its
// whole-server modes switched mid-session: down (ports refused, then reopened on the same ports), slow (held and
// trickled answers let go by the next mode) and each garbage item.
#include <doctest/doctest.h>

#include <curl/curl.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "support/AdServerProcess.h"
#include "support/TestEnvironment.h"

using namespace testtools;
using nlohmann::json;

namespace {

std::string shippedUnits() { return std::string(QUORVANE_ADSERVER_DOCUMENT_ROOT) + "/units.json"; }

std::string titleOf(const std::string& page) {
    const auto open = page.find("<title>");
    const auto close = page.find("</title>");
    if (open == std::string::npos || close == std::string::npos || close < open) return "";
    return page.substr(open + 7, close - open - 7);
}

// Whether the log holds a request for this path (with this query text, when given).
bool logged(const AdServerProcess& server, const std::string& path, const std::string& rawQuery = "") {
    for (const json& entry : server.log())
        if (entry["path"] == path && (rawQuery.empty() || entry["rawQuery"] == rawQuery)) return true;
    return false;
}

std::string escaped(const std::string& text) {
    char* out = curl_easy_escape(nullptr, text.c_str(), static_cast<int>(text.size()));
    std::string result(out);
    curl_free(out);
    return result;
}

}  // namespace

TEST_CASE("the shipped table answers the application's banner by size, its interstitials and the mediated built-in banner") {
    AdServerProcess server{{"--units", shippedUnits()}};
    REQUIRE(server.started());
    const std::string ad = server.origin("https") + "/adnet/ad?slotname=";
    const std::string frame468 = escaped(R"({"x":0,"y":0,"w":468,"h":60})");
    struct Case {
        std::string query;
        std::string title;
        std::string band;  // the creative's colour and size, as its style writes them
    };
    for (const Case& c : std::vector<Case>{
             {"quorvane-banner-0001", "Quorvane banner 320x50", "width: 320px; height: 50px; overflow: hidden; background: #00897B"},
             {"quorvane-banner-0001&sz=728x90", "Quorvane banner 728x90", "width: 728px; height: 90px; overflow: hidden; background: #EF6C00"},
             {"quorvane-banner-0001&sz=300x250|468x60", "Quorvane banner 468x60", "width: 468px; height: 60px; overflow: hidden; background: #6A1B9A"},
             {"quorvane-banner-0001&ad_frame=" + frame468, "Quorvane banner 468x60", "background: #6A1B9A"},
             {"quorvane-banner-0001&sz=300x250", "Quorvane banner 320x50", "background: #00897B"},
             {"quorvane-interstitial-0001&format=interstitial_mb", "Quorvane interstitial", "background: #283593"},
             {escaped("ca-app-pub-7305118264490321/5820463917"), "Quorvane built-in interstitial", "background: #4E342E"},
         }) {
        CAPTURE(c.query);
        const HttpReply reply = server.get(ad + c.query);
        CHECK(reply.status == 200);
        CHECK(headerValue(reply, "Content-Type") == "text/html; charset=utf-8");
        CHECK(titleOf(reply.body) == c.title);
        CHECK(reply.body.find(c.band) != std::string::npos);
        CHECK(headerValue(reply, "X-Adnet-Tracking-Urls").starts_with(server.origin("https") + "/adnet/ping/impression?unit="));
    }
    CHECK(headerValue(server.get(ad + "quorvane-banner-0001&sz=468x60"), "X-Adnet-Refresh-Rate") == "30");

    const HttpReply waterfall = server.get(ad + escaped("ca-app-pub-7305118264490321/1093847562"));
    REQUIRE(waterfall.status == 200);
    CHECK(headerValue(waterfall, "X-Adnet-Mediation") == "1");
    const json networks = json::parse(waterfall.body)["ad_networks"];
    REQUIRE(networks.size() == 2);
    CHECK(!networks[0].contains("adapters"));
    CHECK(networks[1]["adapters"] == json{"AKMAdapterHTML"});
    CHECK(networks[1]["data"]["adxtym_html"].get<std::string>().find("#1f6fd1") != std::string::npos);
    CHECK(networks[1]["data"]["adxtym_passback_url"] == server.origin("https") + "/tym/passback");
}

TEST_CASE("down refuses connections on both ad ports, and another mode or a reset reopens them on the same ports") {
    AdServerProcess server;
    REQUIRE(server.started());
    const std::string page = "/adnet/landing";
    REQUIRE(server.order("fault", {{"path", "/held"}, {"kind", "hang"}}) == 200);
    auto held = std::async(std::launch::async, [&] { return server.get(server.origin("http") + "/held"); });
    REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return logged(server, "/held"); }, 20),
                    "the held request did not reach the server");
    for (int round = 0; round < 2; ++round) {
        CAPTURE(round);
        REQUIRE(server.order("mode", {{"mode", "down"}}) == 200);
        CHECK(httpGet(server.controlURL("mode")).body == R"({"mode":"down"})");
        for (const std::string scheme : {"http", "https"})
            CHECK(server.get(server.origin(scheme) + page).curlCode == CURLE_COULDNT_CONNECT);
        REQUIRE(server.order(round == 0 ? "mode" : "reset", round == 0 ? json{{"mode", "healthy"}} : json::object()) == 200);
        CHECK(httpGet(server.controlURL("mode")).body == R"({"mode":"healthy"})");
        for (const std::string scheme : {"http", "https"}) CHECK(server.get(server.origin(scheme) + page).status == 200);
    }
    // Going down let the hanging reply go rather than wait for it.
    REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return held.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 20),
                    "the hanging reply did not end when the server went down");
    CHECK(held.get().status == 503);
}

TEST_CASE("slow holds or trickles every answer until the mode changes, and modes that do not fit are refused") {
    AdServerProcess server;
    REQUIRE(server.started());
    const std::string url = server.origin("https") + "/mraid/v1/mraid_app_banner.js";
    const HttpReply usual = server.get(url);
    REQUIRE(usual.status == 200);
    for (const json& slow : {json{{"mode", "slow"}, {"hold_ms", 600000}, {"trickle_bytes", 0}},
                             json{{"mode", "slow"}, {"trickle_bytes", 16}, {"every_ms", 600000}}}) {
        CAPTURE(slow.dump());
        REQUIRE(server.order("reset", json::object()) == 200);
        REQUIRE(server.order("mode", slow) == 200);
        CHECK(json::parse(httpGet(server.controlURL("mode")).body)["mode"] == "slow");
        auto reply = std::async(std::launch::async, [&] { return server.get(url, 60000); });
        REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return logged(server, "/mraid/v1/mraid_app_banner.js"); }, 20),
                        "the request did not reach the server");
        CHECK(reply.wait_for(std::chrono::seconds(0)) == std::future_status::timeout);  // held for ten minutes
        REQUIRE(server.order("mode", {{"mode", "healthy"}}) == 200);
        REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 20),
                        "the held answer was not let go by the change of mode");
        const HttpReply released = reply.get();
        CHECK(released.status == 200);
        CHECK(released.body == usual.body);
    }
    REQUIRE(server.order("mode", {{"mode", "slow"}, {"trickle_bytes", 7}, {"every_ms", 1}}) == 200);
    CHECK(server.get(url).body == usual.body);  // a trickle that ends on its own

    for (const std::string body : {R"({"mode": "sleepy"})", R"({"mode": "slow", "hold_ms": -1})",
                                   R"({"mode": "slow", "every_ms": 600001})", R"({"mode": "garbage"})",
                                   R"({"mode": "garbage", "item": "confetti"})",
                                   R"({"mode": "garbage", "item": "5xx", "status": 404})", "[]"}) {
        CAPTURE(body);
        CHECK(httpPostJson(server.controlURL("mode"), body).status == 400);
    }
    CHECK(json::parse(httpGet(server.controlURL("mode")).body)["trickle_bytes"] == 7);  // nothing refused took effect
}

TEST_CASE("each garbage item answers as described, on every path or on the ad endpoint alone") {
    AdServerProcess server{{"--units", shippedUnits()}};
    REQUIRE(server.started());
    const std::string origin = server.origin("https");
    const std::string ad = origin + "/adnet/ad?slotname=quorvane-banner-0001";
    const std::string file = origin + "/mraid/v1/mraid_app_banner.js";
    const HttpReply usualAd = server.get(ad);
    const HttpReply usualFile = server.get(file);
    struct Case {
        json mode;
        long status;
        std::size_t size;       // 0: unchecked
        std::string contains;   // in the ad endpoint's body
        bool everywhere;        // the file's answer changes too
        bool hostile = false;   // a creative titled after its item
    };
    for (const Case& c : std::vector<Case>{
             {{{"item", "random"}}, 200, 65536, "", true},
             {{{"item", "random"}, {"bytes", 10}}, 200, 10, "", true},
             {{{"item", "huge"}}, 200, 50u << 20, "", true},
             {{{"item", "redirect-loop"}}, 302, 0, "", true},
             {{{"item", "5xx"}, {"status", 503}}, 503, 0, "garbage: status 503", true},
             {{{"item", "mediation-json"}}, 200, 0, R"({"ad_networks": [)", false},
             {{{"item", "script-loop"}}, 200, 0, "for (;;) {}", false, true},
             {{{"item", "alert-loop"}}, 200, 0, "for (;;) { alert(", false, true},
             {{{"item", "self-navigate"}}, 200, 0, "location.href = '" + origin + "/adnet/click?ai=hostile-self-navigate'", false, true},
             {{{"item", "message-flood"}}, 200, 0, "'amsg://mraid/flood?n=' + k", false, true},
             {{{"item", "open-windows"}}, 200, 0, "window.open('" + origin + "/adnet/landing?w='", false, true},
         }) {
        json mode = c.mode;
        mode["mode"] = "garbage";
        CAPTURE(mode.dump());
        REQUIRE(server.order("mode", mode) == 200);
        const HttpReply reply = server.get(ad);
        CHECK(reply.curlCode == CURLE_OK);
        CHECK(reply.status == c.status);
        if (c.size) CHECK(reply.body.size() == c.size);
        if (!c.contains.empty()) CHECK(reply.body.find(c.contains) != std::string::npos);
        if (c.status == 200 && c.contains.empty()) CHECK(reply.body.find("Quorvane banner") == std::string::npos);
        const std::string item = c.mode["item"];
        if (item == "redirect-loop") CHECK(headerValue(reply, "Location") == ad);
        if (item == "mediation-json") {
            CHECK(headerValue(reply, "X-Adnet-Mediation") == "1");
            CHECK(!json::accept(reply.body));
        }
        if (c.hostile) CHECK(titleOf(reply.body) == "hostile " + item);
        const HttpReply other = server.get(file);
        CHECK((other.body == usualFile.body) == !c.everywhere);
    }
    REQUIRE(server.order("mode", {{"mode", "healthy"}}) == 200);
    CHECK(server.get(ad).body == usualAd.body);
}
