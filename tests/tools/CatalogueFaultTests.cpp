// The faults a test can order from the catalogue server, by query parameter, header or
// path prefix, each checked against what an independent decoder makes of the reply.
#include <doctest/doctest.h>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <curl/curl.h>

#include <functional>

#include "CatalogueReplies.h"
#include "support/CatalogueServerProcess.h"
#include "support/HttpFetch.h"
#include "OpensslCommand.h"

using namespace testtools;
using nlohmann::json;

namespace {

const QueryParameters kListQuery{{"type", "popular"}, {"genres", "0"}, {"page", "1"}, {"count", "30"}};

// The same request with the fault ordered each of the three ways.
std::vector<HttpReply> faultedReplies(const CatalogueServerProcess& server, const std::string& fault,
                                      const std::string& action = "movies", const QueryParameters& query = kListQuery) {
    QueryParameters withFault = query;
    withFault.emplace_back("fault", fault);
    return {httpGet(server.apiUrl(action, withFault)),
            httpGet(server.apiUrl(action, query), {"X-Quorvane-Fault: " + fault}),
            httpGet(server.faultPathUrl(fault, action, query))};
}

}  // namespace

TEST_CASE("fault http500 answers status 500") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    for (const auto& reply : faultedReplies(server, "http500")) {
        CHECK(reply.curlCode == 0);
        CHECK(reply.status == 500);
        CHECK(!decryptedJson(reply, server.scratch()).has_value());
    }
}

TEST_CASE("fault badbase64 gives a body that does not decode to whole cipher blocks") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    const HttpReply good = httpGet(server.apiUrl("movies", kListQuery));
    for (const auto& reply : faultedReplies(server, "badbase64")) {
        CHECK(reply.status == 200);
        CHECK(!reply.body.empty());
        CHECK(reply.body != good.body);
        CHECK(!opensslDecryptReply(reply.body, server.scratch()).has_value());
        // Even a decoder that skips foreign characters is left with a partial block.
        std::string alphabetOnly;
        for (char c : reply.body)
            if (std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/') alphabetOnly.push_back(c);
        CHECK(alphabetOnly.size() * 6 / 8 % 16 != 0);
    }
}

TEST_CASE("fault wrongkey gives whole blocks that do not decrypt to an envelope under the reply key") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    for (const auto& reply : faultedReplies(server, "wrongkey")) {
        CHECK(reply.status == 200);
        const auto raw = opensslBase64Decode(reply.body, server.scratch());
        REQUIRE(raw.has_value());
        CHECK(!raw->empty());
        CHECK(raw->size() % 16 == 0);
        const auto decrypted = decryptedJson(reply, server.scratch());
        CHECK((!decrypted || !decrypted->is_object() || !decrypted->contains("msg")));
    }
}

TEST_CASE("fault lowercase gives msg success in lower case around the same data") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    const json data = fetchData(server, "movies", kListQuery);
    for (const auto& reply : faultedReplies(server, "lowercase")) {
        CHECK(reply.status == 200);
        const auto envelope = decryptedJson(reply, server.scratch());
        REQUIRE(envelope.has_value());
        CHECK((*envelope)["msg"] == "success");
        CHECK((*envelope)["data"] == data);
    }
}

TEST_CASE("fault scalar gives a bare JSON value instead of the envelope") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    for (const auto& reply : faultedReplies(server, "scalar", "getversion", {{"os", "ios"}})) {
        CHECK(reply.status == 200);
        const auto value = decryptedJson(reply, server.scratch());
        REQUIRE(value.has_value());
        CHECK(value->is_primitive());
        CHECK(!value->is_null());
    }
}

TEST_CASE("fault empty gives an empty body with status 200") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    for (const auto& reply : faultedReplies(server, "empty")) {
        CHECK(reply.curlCode == 0);
        CHECK(reply.status == 200);
        CHECK(reply.body.empty());
    }
}

TEST_CASE("fault wrapped breaks the Base64 text at 76 columns with CRLF") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    const HttpReply plain = httpGet(server.apiUrl("movies", kListQuery));
    REQUIRE(plain.body.size() > 3 * 76);
    for (const auto& reply : faultedReplies(server, "wrapped")) {
        CHECK(reply.status == 200);
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = reply.body.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(reply.body.substr(start, end - start));
        lines.push_back(reply.body.substr(start));
        REQUIRE(lines.size() >= 4);
        std::string joined;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            CHECK(lines[i].find('\n') == std::string::npos);
            CHECK(lines[i].find('\r') == std::string::npos);
            if (i + 1 < lines.size()) CHECK(lines[i].size() == 76);
            else CHECK((!lines[i].empty() && lines[i].size() <= 76));
            joined += lines[i];
        }
        // The same cipher text as the unwrapped reply (the zero IV makes it repeatable),
        // and openssl reads it as multi-line Base64.
        CHECK(joined == plain.body);
        const auto envelope = decryptedJson(reply, server.scratch(), false);
        REQUIRE(envelope.has_value());
        CHECK((*envelope)["msg"] == "Success");
    }
}

TEST_CASE("fault delay holds the reply back and then answers normally") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    QueryParameters held = kListQuery;
    held.emplace_back("fault", "delay");
    held.emplace_back("delay_ms", "30000");
    const HttpReply timedOut = httpGet(server.apiUrl("movies", held), {}, 300);
    CHECK(timedOut.curlCode == CURLE_OPERATION_TIMEDOUT);
    CHECK(httpGet(server.faultPathUrl("delay:30000", "movies", kListQuery), {}, 300).curlCode == CURLE_OPERATION_TIMEDOUT);
    CHECK(httpGet(server.apiUrl("movies", kListQuery), {"X-Quorvane-Fault: delay", "X-Quorvane-Delay-Ms: 30000"}, 300)
              .curlCode == CURLE_OPERATION_TIMEDOUT);

    // A short delay ends in the ordinary reply; with another fault, in that fault.
    const HttpReply late = httpGet(server.faultPathUrl("delay:20", "movies", kListQuery));
    CHECK(late.status == 200);
    CHECK(decryptedJson(late, server.scratch()).value_or(json())["msg"] == "Success");
    const HttpReply lateLower = httpGet(server.faultPathUrl("delay:20,lowercase", "movies", kListQuery));
    CHECK(decryptedJson(lateLower, server.scratch()).value_or(json())["msg"] == "success");
}

TEST_CASE("stopping the server does not wait for a delayed reply") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    // A raw connection whose request is fully sent before the server is asked to stop.
    const int socketFd = socket(AF_INET, SOCK_STREAM, 0);
    REQUIRE(socketFd >= 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    REQUIRE(connect(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    const std::string url = server.faultPathUrl("delay:600000", "getversion", {{"os", "ios"}});
    const std::string target = url.substr(server.origin().size());
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    REQUIRE(send(socketFd, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size()));
    // A later request is answered, so the server has taken the connection before it.
    CHECK(httpGet(server.apiUrl("getversion", {{"os", "ios"}})).status == 200);

    CHECK(server.stop(SIGTERM) == 0);
    close(socketFd);
}

TEST_CASE("an unknown fault name is refused with 400") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    QueryParameters query = kListQuery;
    query.emplace_back("fault", "gremlins");
    CHECK(httpGet(server.apiUrl("movies", query)).status == 400);
    CHECK(httpGet(server.apiUrl("movies", kListQuery), {"X-Quorvane-Fault: http500,empty"}).status == 400);
    CHECK(httpGet(server.faultPathUrl("delay:soon", "movies", kListQuery)).status == 400);
    // "none" and an empty list are no fault at all.
    CHECK(httpGet(server.faultPathUrl("none", "movies", kListQuery)).status == 200);
}
