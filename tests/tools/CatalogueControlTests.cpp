// The catalogue server's control endpoint: the log of requests received, and faults, replacement data and
// delays ordered for the next replies of one action, checked through the replies the application would get;
// and for stream files a pace, a one-time dropped connection and the log of the files asked for.
#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <curl/curl.h>

#include "CatalogueReplies.h"
#include "support/HttpFetch.h"
#include "support/CatalogueServerProcess.h"
#include "support/TestEnvironment.h"

using namespace testtools;
using nlohmann::json;

namespace {

// A catalogue server with its control endpoint, and the endpoint's address.
struct ControlledServer {
    testsupport::TempHome scratch;
    std::string portFile = scratch.path() + "/control-port";
    CatalogueServerProcess server;
    std::string control;

    std::string titleId;  // of the first movie

    explicit ControlledServer(std::vector<std::string> arguments = {})
        : server([&] {
              arguments.insert(arguments.begin(), {"--control-port-file", portFile});
              return arguments;
          }()) {
        REQUIRE(server.started());
        std::ifstream in(portFile);
        int port = 0;
        in >> port;
        REQUIRE_MESSAGE(port > 0, "the control port file was not written before the main one");
        control = "http://127.0.0.1:" + std::to_string(port) + "/control";
        const json list = fetchData(server, "movies", {{"type", "popular"}, {"page", "1"}});
        REQUIRE(list.is_object());
        titleId = std::to_string(list["films"][0]["id"].get<int>());
        REQUIRE(order("reset", json::object()) == 200);
    }

    long order(const std::string& kind, const json& body) const {
        return httpPostJson(control + "/" + kind, body.dump()).status;
    }
    json log() const {
        HttpReply reply = httpGet(control + "/log");
        REQUIRE(reply.status == 200);
        return json::parse(reply.body)["requests"];
    }
};

}  // namespace

TEST_CASE("the control endpoint logs every request and orders faults, data and delays for the next replies of one action") {
    ControlledServer s;
    const json detail = fetchData(s.server, "detail", {{"id", s.titleId}});
    REQUIRE(detail.is_object());
    CHECK(httpGet(s.server.unsignedApiUrl("getversion", "os=ios")).status == 403);  // logged before it is refused
    json log = s.log();
    REQUIRE(log.size() == 2);
    CHECK(log[0]["action"] == "detail");
    CHECK(log[0]["parameters"]["id"] == s.titleId);
    CHECK(log[0]["parameters"].contains("token"));
    CHECK(log[1]["action"] == "getversion");
    CHECK(log[1]["parameters"] == json{{"os", "ios"}});

    // Faults for the next two detail replies; other actions are left alone.
    CHECK(s.order("fault", {{"action", "detail"}, {"count", 2}, {"fault", "http500"}}) == 200);
    CHECK(httpGet(s.server.apiUrl("detail", {{"id", s.titleId}})).status == 500);
    CHECK(fetchData(s.server, "getversion", {{"os", "ios"}}).is_object());
    CHECK(httpGet(s.server.apiUrl("detail", {{"id", s.titleId}})).status == 500);
    CHECK(fetchData(s.server, "detail", {{"id", s.titleId}}) == detail);

    // Replacement data, still encrypted under the reply key, for one stream reply.
    CHECK(s.order("data", {{"action", "stream"}, {"count", 1}, {"data", json::array()}}) == 200);
    const std::string chapter = std::to_string(detail["chapters"][0]["id"].get<int>());
    CHECK(fetchData(s.server, "stream", {{"chapterid", chapter}}) == json::array());
    const json streams = fetchData(s.server, "stream", {{"chapterid", chapter}});
    CHECK(streams.is_array());
    CHECK(!streams.empty());

    // A fault the request names itself goes with ordered data.
    CHECK(s.order("data", {{"action", "detail"}, {"count", 1}, {"data", {{"id", 9}}}}) == 200);
    const HttpReply lower = httpGet(s.server.apiUrl("detail", {{"id", s.titleId}, {"fault", "lowercase"}}));
    const auto envelope = decryptedJson(lower, s.server.scratch());
    REQUIRE(envelope.has_value());
    CHECK(*envelope == json{{"msg", "success"}, {"data", {{"id", 9}}}});

    // A held reply: not there within a second of a long delay; the next one is not held.
    CHECK(s.order("delay", {{"action", "getversion"}, {"count", 1}, {"ms", 60000}}) == 200);
    CHECK(httpGet(s.server.apiUrl("getversion", {{"os", "ios"}}), {}, 1000).status == 0);
    CHECK(fetchData(s.server, "getversion", {{"os", "ios"}}).is_object());

    // A refused request is logged, and leaves an order to the next reply.
    CHECK(s.order("fault", {{"action", "getversion"}, {"count", 1}, {"fault", "http500"}}) == 200);
    CHECK(httpGet(s.server.unsignedApiUrl("getversion", "os=ios")).status == 403);
    CHECK(httpGet(s.server.apiUrl("getversion", {{"os", "ios"}})).status == 500);
    CHECK(s.log().back()["action"] == "getversion");

    CHECK(s.order("reset", json::object()) == 200);
    CHECK(s.log().empty());
    CHECK(s.server.stop() == 0);  // also while a reply is held back
}

TEST_CASE("the control endpoint refuses orders it cannot carry out") {
    ControlledServer s;
    for (const auto& [kind, body] : std::vector<std::pair<std::string, std::string>>{
             {"fault", "not json"},
             {"fault", R"(["detail"])"},
             {"fault", R"({"count":1,"fault":"http500"})"},
             {"fault", R"({"action":"detail","count":0,"fault":"http500"})"},
             {"fault", R"({"action":"detail","count":1,"fault":"explode"})"},
             {"fault", R"({"action":"detail","count":1,"fault":"http500,empty"})"},
             {"data", R"({"action":"detail","count":1})"},
             {"delay", R"({"action":"detail","count":1,"ms":-5})"},
             {"delay", R"({"action":"detail","count":1,"ms":"5"})"},
         }) {
        CAPTURE(body);
        CHECK(httpPostJson(s.control + "/" + kind, body).status == 400);
    }
    CHECK(fetchData(s.server, "detail", {{"id", s.titleId}}).is_object());  // nothing was ordered
}

TEST_CASE("stream files: a pace per file, one dropped connection at a chosen byte, and the log of files asked for") {
    ControlledServer s({"--media-size", "300000"});
    const json detail = fetchData(s.server, "detail", {{"id", s.titleId}});
    const std::string chapter = std::to_string(detail["chapters"][0]["id"].get<int>());
    const json streams = fetchData(s.server, "stream", {{"chapterid", chapter}});
    REQUIRE(streams.size() >= 2);
    const std::string url = unescapedLink(streams[0]["link"].get<std::string>());
    const std::string otherUrl = unescapedLink(streams[1]["link"].get<std::string>());
    const std::string file = url.substr(url.rfind('/') + 1);
    const std::string whole = httpGet(url).body;
    REQUIRE(whole.size() > 200000);

    // A drop waits for a reply that carries its byte, then cuts that one reply only.
    CHECK(s.order("media-drop", {{"file", file}, {"at", 100000}}) == 200);
    const HttpReply after = httpGet(url, {"Range: bytes=150000-"});
    CHECK(after.curlCode == CURLE_OK);
    CHECK(after.body == whole.substr(150000));
    const HttpReply cut = httpGet(url);
    CHECK(cut.status == 200);
    CHECK(cut.curlCode == CURLE_PARTIAL_FILE);
    CHECK(cut.body == whole.substr(0, 100000));
    CHECK(httpGet(url).body == whole);
    // "*" stands for every file; a resumed range is cut at the same byte of the file.
    CHECK(s.order("media-drop", {{"file", "*"}, {"at", 50000}}) == 200);
    const HttpReply resumed = httpGet(otherUrl, {"Range: bytes=1000-"});
    CHECK(resumed.status == 206);
    CHECK(resumed.curlCode == CURLE_PARTIAL_FILE);
    CHECK(resumed.body.size() == 49000);

    // A pace of 20000 bytes a second: a 300 kB file is far from whole after a second,
    // while another file goes at full speed; 0 lifts the pace.
    CHECK(s.order("media-rate", {{"file", file}, {"bytesPerSecond", 20000}}) == 200);
    const HttpReply slow = httpGet(url, {}, 1000);
    CHECK(slow.curlCode == CURLE_OPERATION_TIMEDOUT);
    CHECK(slow.body.size() < whole.size() / 2);
    CHECK(slow.body == whole.substr(0, slow.body.size()));
    CHECK(httpGet(otherUrl).curlCode == CURLE_OK);
    CHECK(s.order("media-rate", {{"file", file}, {"bytesPerSecond", 0}}) == 200);
    CHECK(httpGet(url).body == whole);

    const HttpReply logReply = httpGet(s.control + "/media-log");
    REQUIRE(logReply.status == 200);
    const json log = json::parse(logReply.body)["requests"];
    REQUIRE(log.size() == 8);
    CHECK(log[0] == json{{"file", file}, {"range", nullptr}});
    CHECK(log[1] == json{{"file", file}, {"range", "bytes=150000-"}});
    CHECK(log[4]["range"] == "bytes=1000-");
    CHECK(s.order("reset", json::object()) == 200);
    CHECK(json::parse(httpGet(s.control + "/media-log").body)["requests"].empty());
}

TEST_CASE("the control endpoint refuses stream-file orders it cannot carry out") {
    ControlledServer s;
    for (const auto& [kind, body] : std::vector<std::pair<std::string, std::string>>{
             {"media-rate", "[]"},
             {"media-rate", R"({"bytesPerSecond":100})"},
             {"media-rate", R"({"file":"","bytesPerSecond":100})"},
             {"media-rate", R"({"file":"a.mp4","bytesPerSecond":-1})"},
             {"media-rate", R"({"file":"a.mp4","bytesPerSecond":"fast"})"},
             {"media-drop", R"({"file":"a.mp4"})"},
             {"media-drop", R"({"file":7,"at":5})"},
             {"media-drop", R"({"file":"a.mp4","at":1.5})"},
         }) {
        CAPTURE(body);
        CHECK(httpPostJson(s.control + "/" + kind, body).status == 400);
    }
}
