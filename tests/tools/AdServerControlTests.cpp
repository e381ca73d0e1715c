// The ad server's control endpoint: the request log, units and constants replaced at run time, each fault kind
// for the next requests under a path, reset, refused orders; and the server's end with its parent process.
#include <doctest/doctest.h>

#include <curl/curl.h>
#include <signal.h>
#include <sys/wait.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/AdServerProcess.h"
#include "support/TestEnvironment.h"

using namespace testtools;
using nlohmann::json;

TEST_CASE("the control endpoint logs every request, replaces units and constants, and resets") {
    AdServerProcess server;
    REQUIRE(server.started());
    const std::string origin = server.origin("https");
    CHECK(server.get(origin + "/adnet/ad?slotname=late").status == 404);
    REQUIRE(server.order("units", {{"units", {{"late", {{"body", "now"}, {"headers", {{"X-Adnet-Native", "0"}}}}}}},
                                   {"constants", {{"as_domains", "example.test"}}}}) == 200);
    const HttpReply late = server.get(origin + "/adnet/ad?slotname=late&x=%C3%A9+1");
    CHECK(late.body == "now");
    CHECK(headerValue(late, "X-Adnet-Native") == "0");
    CHECK(server.order("constants", {{"bad_ad_report_path", "{origin}/s/reportAd"}}) == 200);
    const std::string script = server.get(origin + "/adnet/static/sdk/native/sdk-constants.js").body;
    CHECK(script.find(R"(window.ADNET_CONSTANTS = {"bad_ad_report_path":")" + origin + R"(/s/reportAd"};)") !=
          std::string::npos);

    const json log = server.log();
    REQUIRE(log.size() == 3);
    CHECK(log[1]["scheme"] == "https");
    CHECK(log[1]["method"] == "GET");
    CHECK(log[1]["path"] == "/adnet/ad");
    CHECK(log[1]["query"] == json{{"slotname", "late"}, {"x", "\xC3\xA9 1"}});
    CHECK(log[1]["headers"]["Host"] == "127.0.0.1:" + origin.substr(origin.rfind(':') + 1));
    CHECK(!log[1]["headers"].contains("REMOTE_ADDR"));
    CHECK(!log[1].contains("body"));  // only a POST carries one
    CHECK(log[1]["time"].get<long long>() >= log[0]["time"].get<long long>());
    CHECK(log[1]["time"].get<long long>() > 1'600'000'000'000);

    for (const auto& [kind, body] : std::vector<std::pair<std::string, std::string>>{
             {"units", "[]"},
             {"units", R"({"units": {"u": {"status": 99}}})"},
             {"units", R"({"units": {"u": {"body": "a", "file": "b"}}})"},
             {"units", R"({"units": {"u": {"redirects": [{"status": 200}]}}})"},
             {"units", R"({"units": {"u": {"sizes": {"320by50": {}}}}})"},
             {"units", R"({"units": {"u": {"sizes": {"320x50": {"status": 99}}}}})"},
             {"units", R"({"units": {"u": {"sizes": {}, "sequence": [{}]}}})"},
             {"constants", R"({"a": 1})"},
             {"fault", R"({"path": "/adnet/ad", "kind": "explode"})"},
             {"fault", R"({"path": "adnet", "kind": "empty"})"},
             {"fault", R"({"path": "/adnet/ad", "kind": "status", "count": 0})"},
             {"fault", R"({"path": "/adnet/ad", "kind": "delay", "ms": -1})"},
             {"fault", R"({"path": "/adnet/ad", "kind": "status", "usualBody": "yes"})"},
         }) {
        CAPTURE(body);
        CHECK(httpPostJson(server.controlURL(kind), body).status == 400);
    }
    CHECK(server.get(origin + "/adnet/ad?slotname=late").body == "now");  // nothing refused took effect

    CHECK(server.order("reset", json::object()) == 200);
    CHECK(server.log().empty());
    CHECK(server.get(origin + "/adnet/ad?slotname=late").status == 404);
    CHECK(server.get(origin + "/adnet/static/sdk/native/sdk-constants.js").body.find("mraid_banner_path") !=
          std::string::npos);
}

TEST_CASE("faults change the next requests under a path, each kind as ordered, then the usual answers return") {
    AdServerProcess server;
    REQUIRE(server.started());
    const std::string url = server.origin("https") + "/mraid/v1/mraid_app_banner.js";
    const HttpReply usual = server.get(url);
    REQUIRE(usual.status == 200);
    REQUIRE(usual.body.size() > 100);
    struct Case {
        json order;
        int curlCode;
        long status;
        std::string body;  // "*": the usual body; "?" unchecked
        std::size_t size = 0;
    };
    const std::string invalid = "\xC3\x28\xFF\xFE";
    for (const Case& c : std::vector<Case>{
             {{{"kind", "status"}, {"status", 503}, {"count", 2}}, CURLE_OK, 503, "fault: status 503\n"},
             {{{"kind", "status"}, {"status", 500}, {"usualBody", true}}, CURLE_OK, 500, "*"},
             {{{"kind", "delay"}, {"ms", 50}}, CURLE_OK, 200, "*"},
             {{{"kind", "delay"}, {"ms", 600000}}, CURLE_OPERATION_TIMEDOUT, 0, "?"},
             {{{"kind", "hang"}}, CURLE_OPERATION_TIMEDOUT, 0, "?"},
             {{{"kind", "close"}}, CURLE_PARTIAL_FILE, 200, "?", usual.body.size() / 2},
             {{{"kind", "empty"}}, CURLE_OK, 200, ""},
             {{{"kind", "oversized"}, {"bytes", 5000000}}, CURLE_OK, 200, "?", 5000000},
             {{{"kind", "invalid-utf8"}}, CURLE_OK, 200, invalid + usual.body + invalid},
         }) {
        CAPTURE(c.order.dump());
        json order = c.order;
        order["path"] = "/mraid/";
        REQUIRE(server.order("fault", order) == 200);
        const int times = order.value("count", 1);
        for (int i = 0; i < times; ++i) {
            const bool held = c.curlCode == CURLE_OPERATION_TIMEDOUT;
            const HttpReply reply = server.get(url, held ? 1000 : 20000);
            CHECK(reply.curlCode == c.curlCode);
            CHECK(reply.status == c.status);
            if (c.body == "*") CHECK(reply.body == usual.body);
            if (c.body != "*" && c.body != "?") CHECK(reply.body == c.body);
            if (c.size) CHECK(reply.body.size() == c.size);
        }
        CHECK(server.get(url).body == usual.body);  // used up
    }
    CHECK(server.stop() == 0);  // also while a reply hangs
}

TEST_CASE("the server ends with the process that started it") {
    testsupport::TempHome home;
    const std::string ports = home.path() + "/ports";
    const std::string pidFile = home.path() + "/pid";
    // A shell starts the server in the background and waits; the shell is then killed.
    const int shell = spawnProcess({"/bin/sh", "-c", "\"$0\" --port-file \"$1\" --exit-with-parent & echo $! > \"$2\"; wait",
                                    adServerExecutable(), ports, pidFile});
    REQUIRE(shell > 0);
    REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return std::filesystem::exists(ports) && std::filesystem::exists(pidFile); }, 20),
                    "the server did not write its port file within 20 s");
    int server = 0;
    std::ifstream(pidFile) >> server;
    REQUIRE(server > 0);
    CHECK(!processEnded(server));
    kill(shell, SIGKILL);
    CHECK_MESSAGE(testsupport::runMainUntil([&] { return processEnded(server); }, 10),
                  "the server did not end within 10 s of its parent");
    int status = 0;
    waitpid(shell, &status, 0);
}

TEST_CASE("the server refuses a bad command line (status 2) and a unit table it cannot use (status 1)") {
    testsupport::TempHome home;
    const std::string badTable = home.path() + "/units.json";
    std::ofstream(badTable) << R"({"units": {"u": {"status": "200"}}})";
    for (const auto& [arguments, expected] : std::vector<std::pair<std::vector<std::string>, int>>{
             {{"--bogus"}, 2},
             {{"--http-port", "70000"}, 2},
             {{"--units"}, 2},
             {{"--units", home.path() + "/missing.json"}, 1},
             {{"--units", badTable}, 1},
         }) {
        CAPTURE(arguments.front());
        std::vector<std::string> command{adServerExecutable()};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const int pid = spawnProcess(command);
        REQUIRE(pid > 0);
        int status = 0;
        REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10),
                        "the server did not end within 10 s");
        CHECK(WIFEXITED(status));
        CHECK(WEXITSTATUS(status) == expected);
    }
}
