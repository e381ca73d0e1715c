// The ad server as a mediation peer: units answering a sequence of answers (in order, the last repeating, a
// redirect chain staying on its element), the query logged as sent, the mediation report and passback paths,
// the creative and body marks of a unit's JSON, and the tables it refuses.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "support/AdServerProcess.h"
#include "support/TestEnvironment.h"

using namespace testtools;
using nlohmann::json;

namespace {

const json kUnits = json::parse(R"({"units": {
  "seq": {"page": {"mode": "mediation"}, "sequence": [
    {"headers": {"X-Adnet-Mediation": "1", "Cache-Control": "max-age=60"}, "json": {"k": 0}},
    {"redirects": [{"headers": {"X-Hop": "a"}}], "headers": {"Cache-Control": "no-store"}, "body": "one"},
    {"status": 204}]},
  "marks": {"json": {"data": {"adxtym_html": "{tym:draw-after:250}", "adxtym_passback_url": "{tym:passback-url}"},
                     "list": ["{tym:blank}", "{tym:passback}", "{tym:passback-scheme}", "{tym:draw-after:0}"],
                     "plain": "{tym}", "number": 3}},
  "many": {"headers": {"X-Adnet-Mediation": "1"}, "json": "{mediation:many:10000:AKMAdapterHTML}"}
}})");

}  // namespace

TEST_CASE("mediation peer: sequences, raw queries, report and passback paths, marks, and refused tables") {
    AdServerProcess server;
    REQUIRE(server.started());
    REQUIRE(server.order("units", kUnits) == 200);
    const std::string origin = server.origin("http");

    struct Step {
        std::string path;
        long status;
        std::string body;  // "" unchecked
        std::string header = "", value = "";
    };
    const auto seq = std::string("/adnet/ad?slotname=seq");
    for (const Step& step : std::vector<Step>{
             {seq, 200, R"({"k":0})", "Cache-Control", "max-age=60"},
             {seq, 302, "", "Location", origin + seq + "&hop=1"},
             {seq + "&hop=1", 200, "one", "Cache-Control", "no-store"},  // the chain stays on its element
             {seq, 204, ""},
             {seq, 204, ""},  // the last repeats
             {"/mediation/imp?x=1", 204, ""},
             {"/mediation/a/b/c", 204, ""},
             {"/mediationx", 404, ""},
             {"/tym/passback", 200, "", "Content-Type", "text/html; charset=utf-8"},
             {"/nofill?a=@gw_aec@&q=a%20b%2Fc&s=x+y&e=%C3%A9", 204, ""},
         }) {
        CAPTURE(step.path);
        const HttpReply reply = server.get(origin + step.path);
        CHECK(reply.status == step.status);
        if (!step.body.empty()) CHECK(reply.body == step.body);
        if (!step.header.empty()) CHECK(headerValue(reply, step.header) == step.value);
    }
    const json log = server.log();
    REQUIRE(log.size() == 10);
    CHECK(log[9]["rawQuery"] == "a=@gw_aec@&q=a%20b%2Fc&s=x+y&e=%C3%A9");
    CHECK(log[9]["query"] == json{{"a", "@gw_aec@"}, {"q", "a b/c"}, {"s", "x y"}, {"e", "\xC3\xA9"}});
    CHECK(log[6]["rawQuery"] == "");

    // Setting the units again starts every sequence over.
    REQUIRE(server.order("units", kUnits) == 200);
    CHECK(server.get(origin + seq).body == R"({"k":0})");

    // Marks: creatives whose "{origin}" is the origin asked, and a generated body of many entries.
    const json marks = json::parse(server.get(origin + "/adnet/ad?slotname=marks").body);
    CHECK(marks["data"]["adxtym_passback_url"] == origin + "/tym/passback");
    CHECK(marks["plain"] == "{tym}");
    CHECK(marks["number"] == 3);
    const std::pair<std::string, std::vector<std::string>> creatives[] = {
        {marks["data"]["adxtym_html"], {"<!DOCTYPE html>", "id=\"tym-block\"", "display:none", "},250);</script>"}},
        {marks["list"][0], {"<!DOCTYPE html>", "<body></body>"}},
        {marks["list"][1], {"'load'", "location.href='" + origin + "/tym/passback';"}},
        {marks["list"][2], {"'load'", "location.href='passback://none';"}},
        {marks["list"][3], {"id=\"tym-block\"", "},0);</script>"}},
    };
    for (const auto& [html, parts] : creatives) {
        CAPTURE(html);
        CHECK(html.ends_with("</html>"));
        for (const std::string& part : parts) CHECK(html.find(part) != std::string::npos);
    }
    const HttpReply many = server.get(origin + "/adnet/ad?slotname=many");
    CHECK(headerValue(many, "Content-Type") == "application/json");
    const json body = json::parse(many.body);
    REQUIRE(body["ad_networks"].size() == 10000);
    CHECK(body["ad_networks"][0] == json{{"id", "n0"}, {"adapters", {"AKMAdapterHTML"}}});
    CHECK(body["ad_networks"][9999]["id"] == "n9999");
    CHECK(body.size() == 1);

    for (const std::string units : {
             R"({"u": {"sequence": []}})",
             R"({"u": {"sequence": {"body": "a"}}})",
             R"({"u": {"sequence": [{"body": "a"}], "body": "b"}})",
             R"({"u": {"sequence": [{"sequence": [{}]}]}})",
             R"({"u": {"sequence": [{"status": 99}]}})",
             R"({"u": {"sequence": [{"json": "{tym:draw-after:soon}"}]}})",
             R"({"u": {"json": {"a": ["{tym:bright}"]}}})",
             R"({"u": {"json": "{mediation:many:5}"}})",
             R"({"u": {"json": "{mediation:many:2000000:A}"}})",
             R"({"u": {"json": "{tym:blank"}})",
         }) {
        CAPTURE(units);
        CHECK(httpPostJson(server.controlURL("units"), R"({"units": )" + units + "}").status == 400);
    }
    CHECK(server.order("reset", json::object()) == 200);
    CHECK(server.get(origin + seq).status == 404);  // no start-up units
}
