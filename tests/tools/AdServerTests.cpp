// The local ad server as its clients meet it: the document root and constants script over HTTP and verified
// HTTPS, units answering by slot name (redirect chains included), pings and clicks, the control endpoint's log,
// unit replacement and faults, its end with the process that started it, and the shipped units and creatives.
#include <doctest/doctest.h>

#include <curl/curl.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/AdServerProcess.h"
#include "support/TestEnvironment.h"

using namespace testtools;
using nlohmann::json;

namespace {

std::string shippedFile(const std::string& relative) {
    std::ifstream in(std::filesystem::path(QUORVANE_ADSERVER_DOCUMENT_ROOT) / relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Units of every kind of answer; "{origin}" stands for the origin asked.
const json kTable = json::parse(R"({
  "constants": {"mraid_banner_path": "{origin}/mraid/v1/mraid_app_banner.js", "as_domains": "127.0.0.1"},
  "units": {
    "html": {"headers": {"x-adnet-REFRESH-rate": "30", "X-Adnet-Tracking-Urls": "{origin}/adnet/ping/impression?i=1",
                         "Cache-Control": "max-age=60"},
             "body": "<p>ad of {origin}</p>", "page": {"answer": "url"}},
    "mediation": {"headers": {"X-Adnet-Mediation": "1"}, "json": {"networks": ["a"]}},
    "creative": {"file": "mraid/v1/mraid_app_banner.js", "contentType": "text/html"},
    "rejected": {"status": 400, "body": ""},
    "chain": {"redirects": [{"headers": {"X-Adnet-Click-Tracking-Urls": "{origin}/adnet/ping/click?hop=0"}},
                            {"status": 307, "headers": {"X-Adnet-Tracking-Urls": "{origin}/adnet/ping/impression?hop=1"}}],
              "headers": {"X-Adnet-Manual-Tracking-Urls": "{origin}/adnet/ping/manual-impression"}, "body": "end"}
  }})");

// A started server with the table above as its --units file.
struct TableServer {
    testsupport::TempHome home;
    std::string unitsFile = [this] {
        const std::string path = home.path() + "/units.json";
        std::ofstream(path) << kTable.dump();
        return path;
    }();
    AdServerProcess server{{"--units", unitsFile}};
};

}  // namespace

TEST_CASE("both schemes serve the document root and the constants script, HTTPS only to clients of its authority") {
    AdServerProcess server;
    REQUIRE(server.started());
    const std::string banner = shippedFile("mraid/v1/mraid_app_banner.js");
    REQUIRE(!banner.empty());
    for (const auto& [scheme, host] : std::vector<std::pair<std::string, std::string>>{
             {"http", "127.0.0.1"}, {"https", "127.0.0.1"}, {"https", "localhost"}}) {
        const std::string origin = server.origin(scheme, host);
        CAPTURE(origin);
        const HttpReply file = server.get(origin + "/mraid/v1/mraid_app_banner.js");
        CHECK(file.curlCode == CURLE_OK);
        CHECK(file.body == banner);
        CHECK(headerValue(file, "Content-Type").starts_with("application/javascript"));
        const HttpReply script = server.get(origin + "/adnet/static/sdk/native/sdk-constants.js");
        CHECK(script.status == 200);
        // Both schemes' origins under the host asked, whichever scheme the script came on.
        CHECK(script.body.find("window.ADNET_SERVER = " +
                               json{{"ad_path", "/adnet/ad"}, {"log_path", "/adnet/log"},
                                    {"http_origin", server.origin("http", host)},
                                    {"https_origin", server.origin("https", host)}}.dump() + ";") != std::string::npos);
        CHECK(script.body.find("window.ADNET_CONSTANTS = {") != std::string::npos);
        CHECK(script.body.find("\"mraid_banner_path\":\"" + origin + "/mraid/v1/mraid_app_banner.js\"") !=
              std::string::npos);
        CHECK(script.body.find("\"bad_ad_report_path\":\"" + origin + "/s/reportAd\"") != std::string::npos);
        CHECK(script.body.find("window.ADNET_UNITS = {};") != std::string::npos);
        CHECK(server.get(origin + "/mraid/v1/missing.js").status == 404);
        CHECK(server.get(origin + "/mraid/v1/").status == 404);
        CHECK(server.get(origin + "/%2e%2e/CMakeLists.txt").status == 404);
    }
    // Without the authority the certificate is refused.
    CHECK(httpsGet(server.origin("https") + "/mraid/v1/mraid_app_banner.js", "").curlCode == CURLE_PEER_FAILED_VERIFICATION);
}

TEST_CASE("a unit answers its status, headers and body by slot name, and a redirect chain carries each hop's headers") {
    TableServer s;
    REQUIRE(s.server.started());
    const std::string origin = s.server.origin("https");
    const auto ad = [&](const std::string& slot) { return s.server.get(origin + "/adnet/ad?slotname=" + slot); };
    struct Case {
        std::string slot;
        long status;
        std::string header, value, contentType, body;
    };
    for (const Case& c : std::vector<Case>{
             {"html", 200, "x-adnet-REFRESH-rate", "30", "text/html; charset=utf-8", "<p>ad of " + origin + "</p>"},
             {"html", 200, "X-Adnet-Tracking-Urls", origin + "/adnet/ping/impression?i=1", "", ""},
             {"html", 200, "Cache-Control", "max-age=60", "", ""},
             {"mediation", 200, "X-Adnet-Mediation", "1", "application/json", R"({"networks":["a"]})"},
             {"creative", 200, "", "", "text/html", shippedFile("mraid/v1/mraid_app_banner.js")},
             {"rejected", 400, "", "", "", ""},
             {"nobody", 404, "", "", "", ""},
         }) {
        CAPTURE(c.slot);
        CAPTURE(c.header);
        const HttpReply reply = ad(c.slot);
        CHECK(reply.status == c.status);
        if (!c.header.empty()) {
            CHECK(std::count(reply.headerNames.begin(), reply.headerNames.end(), c.header) == 1);  // as written
            CHECK(headerValue(reply, c.header) == c.value);
        }
        if (!c.contentType.empty()) CHECK(headerValue(reply, "Content-Type") == c.contentType);
        if (!c.body.empty()) CHECK(reply.body == c.body);
    }

    const HttpReply first = ad("chain");
    CHECK(first.status == 302);
    CHECK(headerValue(first, "X-Adnet-Click-Tracking-Urls") == origin + "/adnet/ping/click?hop=0");
    REQUIRE(headerValue(first, "Location") == origin + "/adnet/ad?slotname=chain&hop=1");
    const HttpReply second = s.server.get(headerValue(first, "Location"));
    CHECK(second.status == 307);
    CHECK(headerValue(second, "X-Adnet-Tracking-Urls") == origin + "/adnet/ping/impression?hop=1");
    CHECK(headerValue(second, "X-Adnet-Click-Tracking-Urls").empty());
    const HttpReply last = s.server.get(headerValue(second, "Location"));
    CHECK(last.status == 200);
    CHECK(headerValue(last, "X-Adnet-Manual-Tracking-Urls") == origin + "/adnet/ping/manual-impression");
    CHECK(last.body == "end");

    // The script hands the page the table's constants and each unit's "page" members.
    const HttpReply script = s.server.get(origin + "/adnet/static/sdk/native/sdk-constants.js");
    CHECK(script.body.find(R"("as_domains":"127.0.0.1")") != std::string::npos);
    CHECK(script.body.find(R"("html":{"answer":"url"})") != std::string::npos);
}

TEST_CASE("pings and log entries answer 204 and a click 302 to its landing page, each logged with its query or body") {
    AdServerProcess server;
    REQUIRE(server.started());
    const std::string origin = server.origin("http");
    for (const auto& [path, status, location] : std::vector<std::tuple<std::string, long, std::string>>{
             {"/adnet/ping/impression?id=a%20b", 204, ""},
             {"/adnet/ping/click?id=a%20b", 204, ""},
             {"/adnet/ping/manual-impression?id=a%20b", 204, ""},
             {"/adnet/purchase/report?id=a%20b", 204, ""},
             {"/adnet/click?id=a%20b", 302, origin + "/adnet/landing"},
             {"/adnet/click?id=a%20b&landing=https%3A%2F%2Flocalhost%2Fx", 302, "https://localhost/x"},
         }) {
        CAPTURE(path);
        const HttpReply reply = server.get(origin + path);
        CHECK(reply.status == status);
        CHECK(headerValue(reply, "Location") == location);
        CHECK(server.log().back()["query"]["id"] == "a b");
    }
    const std::string entry = R"({"kind":"receiveMessage","name":"e","payload":null,"seq":1})";
    CHECK(httpPostJson(origin + "/adnet/log", entry).status == 204);
    const json logged = server.log().back();
    CHECK(logged["method"] == "POST");
    CHECK(logged["path"] == "/adnet/log");
    CHECK(json::parse(logged["body"].get<std::string>()) == json::parse(entry));
    const HttpReply landing = server.get(origin + "/adnet/landing");
    CHECK(landing.status == 200);
    CHECK(landing.body.find("<html>") != std::string::npos);
}

TEST_CASE("the shipped unit table loads, and its creatives, native support page and image assets are served") {
    AdServerProcess server{{"--units", std::string(QUORVANE_ADSERVER_DOCUMENT_ROOT) + "/units.json"}};
    REQUIRE(server.started());
    const std::string origin = server.origin("http");
    const std::string html = "text/html; charset=utf-8";
    const std::string js = "application/javascript; charset=utf-8";
    for (const auto& [path, status, contentType] : std::vector<std::tuple<std::string, long, std::string>>{
             {"/adnet/static/mad/sdk/native/native_ads.html", 200, html},
             {"/adnet/static/mad/sdk/native/native_ads.js", 200, js},
             {"/adnet/static/creatives/banner.html", 200, html},
             {"/adnet/static/creatives/interstitial.html", 200, html},
             {"/adnet/static/creatives/app-event.html", 200, html},
             {"/adnet/static/creatives/app-event.js", 200, js},
             {"/adnet/static/creatives/purchase.html", 200, html},
             {"/adnet/static/creatives/purchase.js", 200, js},
             {"/adnet/static/creatives/native/content.json", 200, "application/json"},
             {"/adnet/static/creatives/native/image.png", 200, "image/png"},
             {"/adnet/static/creatives/native/icon.png", 200, "image/png"},
             {"/adnet/static/creatives/native/logo.png", 200, "image/png"},
             {"/adnet/static/creatives/native/attribution.png", 200, "image/png"},
             {"/adnet/static/creatives/native/missing.png", 404, "text/plain; charset=utf-8"},
         }) {
        CAPTURE(path);
        const HttpReply reply = server.get(origin + path);
        CHECK(reply.status == status);
        CHECK(headerValue(reply, "Content-Type") == contentType);
        if (status == 200) CHECK(reply.body == shippedFile(path.substr(1)));
    }
    // The 404 variants name the missing image; the native units answer their configuration as JSON.
    CHECK(shippedFile("adnet/static/creatives/native/app-install-404.json").find("/missing.png") != std::string::npos);
    const HttpReply native = server.get(origin + "/adnet/ad?slotname=native-preprocess-rewrite");
    CHECK(headerValue(native, "X-Adnet-Native") == "1");
    const json configuration = json::parse(native.body);
    CHECK(configuration["ads"][0]["image"]["url"] == origin + "/adnet/static/creatives/native/image.png");
    CHECK(configuration["preprocess"]["answer"] == "rewrite");
    CHECK(headerValue(server.get(origin + "/adnet/ad?slotname=custom-rendering"), "X-Adnet-Custom-Rendering-Allowed") == "1");
    CHECK(server.get(origin + "/adnet/ad?slotname=native-content").body.find(
              origin + "/adnet/static/creatives/native/content.json") != std::string::npos);
}
