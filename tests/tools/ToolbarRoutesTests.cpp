// Protects the ad server's toolbar and report routes: the toolbar script with the
// origin asked written into it, on both schemes, never cached; the sign-in pages
// as files; a bad-ad report answered 204 with its body kept in the log.
#include <doctest/doctest.h>

#include <string>

#include "support/AdServerProcess.h"

using namespace testtools;
using nlohmann::json;

TEST_CASE("the toolbar script names the origin asked, and a bad-ad report is answered 204 and logged") {
    AdServerProcess server;
    REQUIRE(server.started());
    for (const auto& [scheme, host] : std::vector<std::pair<std::string, std::string>>{
             {"http", "127.0.0.1"}, {"https", "localhost"}}) {
        const std::string origin = server.origin(scheme, host);
        CAPTURE(origin);
        const HttpReply script = server.get(origin + "/toolbar/sdk-publisher-toolbar.js");
        CHECK(script.status == 200);
        CHECK(headerValue(script, "Content-Type").starts_with("application/javascript"));
        CHECK(headerValue(script, "Cache-Control") == "no-store");
        CHECK(script.body.find("var ORIGIN = \"" + origin + "\";") != std::string::npos);
        CHECK(script.body.find("{origin}") == std::string::npos);
        CHECK(script.body.find("window.ADNET_initializeToolbar") != std::string::npos);
        CHECK(script.body.find("window.ADNET_decodeImpression") != std::string::npos);
        const HttpReply signedIn = server.get(origin + "/toolbar/signed-in.html");
        CHECK(signedIn.status == 200);
        CHECK(signedIn.body.find("<title>Success: ") != std::string::npos);
    }
    const std::string report = "{\n    \"debugHeader\": \"creative 42\"\n}";
    CHECK(httpPostJson(server.origin("http") + "/s/reportAd?via=test", report).status == 204);
    const json logged = server.log().back();
    CHECK(logged["method"] == "POST");
    CHECK(logged["path"] == "/s/reportAd");
    CHECK(logged["query"] == json{{"via", "test"}});
    CHECK(logged["body"] == report);
}
