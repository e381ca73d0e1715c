// The catalogue server as the application meets it: signed requests, the encrypted
// envelope, the server configuration, bursts of connections, and the life of the process.
#include <doctest/doctest.h>

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "CatalogueReplies.h"
#include "support/CatalogueServerProcess.h"
#include "support/HttpFetch.h"
#include "support/TestEnvironment.h"
#include "OpensslCommand.h"

using namespace testtools;
using nlohmann::json;

namespace {

bool isBase64Text(const std::string& text) {
    if (text.empty() || text.size() % 4 != 0) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/' && c != '=') return false;
    return true;
}

}  // namespace

TEST_CASE("catalogue server refuses requests without a valid token") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    const std::string good = signedSuffix(now);

    SUBCASE("no signed suffix at all") {
        CHECK(httpGet(server.unsignedApiUrl("getversion", "os=ios")).status == 403);
        CHECK(httpGet(server.unsignedApiUrl("movies", "type=popular&genres=0&page=1&count=30")).status == 403);
    }
    SUBCASE("token without time and time without token") {
        const std::string token = good.substr(good.find("token="), good.find("&time") - good.find("token="));
        CHECK(httpGet(server.unsignedApiUrl("getversion", "os=ios&" + token)).status == 403);
        CHECK(httpGet(server.unsignedApiUrl("getversion", "os=ios&time=" + std::to_string(now))).status == 403);
    }
    SUBCASE("token made for another time") {
        std::string other = signedSuffix(now - 1);
        other = other.substr(0, other.find("&time=")) + "&time=" + std::to_string(now);
        CHECK(httpGet(server.unsignedApiUrl("getversion", "os=ios" + other)).status == 403);
    }
    SUBCASE("token in lower-case hexadecimal") {
        std::string lower = good;
        const auto start = lower.find("token=") + 6;
        for (std::size_t i = start; i < start + 32; ++i) lower[i] = static_cast<char>(std::tolower(lower[i]));
        REQUIRE(lower != good);
        CHECK(httpGet(server.unsignedApiUrl("getversion", "os=ios" + lower)).status == 403);
    }
    SUBCASE("a fault request is checked like any other") {
        CHECK(httpGet(server.unsignedApiUrl("getversion", "os=ios&fault=lowercase")).status == 403);
        CHECK(httpGet(server.origin() + "/fault/wrapped/admin/index.php/apiios_final/getversion?os=ios").status == 403);
    }
    SUBCASE("a good token is accepted whatever the time") {
        CHECK(httpGet(server.unsignedApiUrl("getversion", "os=ios" + good)).status == 200);
        // The client signs with its own clock; the server checks the pairing only.
        CHECK(httpGet(server.unsignedApiUrl("getversion", "os=ios" + signedSuffix(1500000000))).status == 200);
    }
    SUBCASE("a clock past 2038 whose time no longer fits is still recognised") {
        const std::string wrapped = signedSuffix(3000000000);
        CHECK(wrapped.find("&time=-1294967296") != std::string::npos);
        CHECK(httpGet(server.unsignedApiUrl("getversion", "os=ios" + wrapped)).status == 200);
        const std::string twiceWrapped = signedSuffix(5000000000);
        CHECK(twiceWrapped.find("&time=705032704") != std::string::npos);
        CHECK(httpGet(server.unsignedApiUrl("getversion", "os=ios" + twiceWrapped)).status == 200);
        // The low bits must still agree with the digested clock.
        std::string mismatched = signedSuffix(3000000000);
        mismatched = mismatched.substr(0, mismatched.find("&time=")) + "&time=-1294967295";
        CHECK(httpGet(server.unsignedApiUrl("getversion", "os=ios" + mismatched)).status == 403);
    }
}

TEST_CASE("catalogue replies decrypt with the openssl command line to a Success envelope") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    for (const std::string action : {"getversion", "movies", "tvshow", "search"}) {
        CAPTURE(action);
        QueryParameters parameters;
        if (action == "getversion") parameters = {{"os", "ios"}};
        else if (action == "search") parameters = {{"keyword", "the"}, {"page", "1"}, {"count", "30"}};
        else parameters = {{"type", "popular"}, {"genres", "0"}, {"page", "1"}, {"count", "30"}};
        const HttpReply reply = httpGet(server.apiUrl(action, parameters));
        REQUIRE(reply.status == 200);
        CHECK(isBase64Text(reply.body));
        const auto raw = opensslBase64Decode(reply.body, server.scratch());
        REQUIRE(raw.has_value());
        CHECK(raw->size() % 16 == 0);
        const auto envelope = decryptedJson(reply, server.scratch());
        REQUIRE(envelope.has_value());
        REQUIRE(envelope->is_object());
        CHECK((*envelope)["msg"] == "Success");
        CHECK((*envelope)["data"].is_object());
    }
}

TEST_CASE("getversion answers the configured server configuration") {
    CatalogueServerProcess server({"--app-version", "2.10", "--app-link", "http://updates.invalid/quorvane", "--adv-type",
                                   "2", "--adv-count", "5", "--adv-id-banner", "banner-unit-123", "--adv-id-inter",
                                   "inter-unit-4567"});
    REQUIRE(server.started());
    const json data = fetchData(server, "getversion", {{"os", "ios"}});
    REQUIRE(data.is_object());
    CHECK(data["AppVersion"] == "2.10");
    CHECK(data["AppLink"] == "http://updates.invalid/quorvane");
    CHECK(data["AdvType"] == 2);
    CHECK(data["AdvCount"] == 5);
    CHECK(data["AdvIDBaner"] == "banner-unit-123");
    CHECK(data["AdvIDInter"] == "inter-unit-4567");
}

TEST_CASE("getversion defaults link to an update page the server serves") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    const json data = fetchData(server, "getversion", {{"os", "ios"}});
    REQUIRE(data.is_object());
    CHECK(data["AppVersion"].is_string());
    CHECK(data["AdvType"].is_number_integer());
    CHECK(data["AdvCount"].is_number_integer());
    const std::string link = data["AppLink"].get<std::string>();
    CHECK(link == server.origin() + "/update");
    const HttpReply page = httpGet(link);
    CHECK(page.status == 200);
    CHECK(page.header("content-type").find("text/html") == 0);
    CHECK(page.body.find(data["AppVersion"].get<std::string>()) != std::string::npos);
}

TEST_CASE("--config-json serves the file's object as the configuration, as it stands, and refuses anything else") {
    testsupport::TempHome scratch;
    const std::string path = scratch.path() + "/configuration.json";
    const json served = {{"AppVersion", 1.1}, {"AppLink", nullptr}, {"AdvType", "0"},
                         {"Nested", {{"list", {1, nullptr, "two"}}, {"gone", nullptr}}}};
    std::ofstream(path) << served.dump();
    {
        CatalogueServerProcess server({"--config-json", path, "--app-version", "9.9"});
        REQUIRE(server.started());
        CHECK(fetchData(server, "getversion", {{"os", "ios"}}) == served);
    }
    std::ofstream(path, std::ios::trunc) << "[1, 2]";
    CHECK(runServerToCompletion({"--port", "0", "--config-json", path}) == 1);
    std::ofstream(path, std::ios::trunc) << "{not json";
    CHECK(runServerToCompletion({"--port", "0", "--config-json", path}) == 1);
    CHECK(runServerToCompletion({"--port", "0", "--config-json", scratch.path() + "/missing.json"}) == 1);
}

TEST_CASE("unknown actions and ids answer an Error envelope and other paths 404") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    const auto envelopeOf = [&](const std::string& action, const QueryParameters& parameters) {
        const HttpReply reply = httpGet(server.apiUrl(action, parameters));
        CHECK(reply.status == 200);
        return decryptedJson(reply, server.scratch()).value_or(json());
    };
    const json missingTitle = envelopeOf("detail", {{"id", "999999"}});
    CHECK(missingTitle["msg"] == "Error");
    CHECK(missingTitle["data"].is_null());
    CHECK(envelopeOf("stream", {{"chapterid", "7"}})["msg"] == "Error");
    CHECK(envelopeOf("nonsense", {})["msg"] == "Error");

    CHECK(httpGet(server.origin() + "/admin/index.php/other/getversion").status == 404);
    CHECK(httpGet(server.origin() + "/posters/999999.png").status == 404);
    CHECK(httpGet(server.origin() + "/media/nothing-here.mp4").status == 404);
    // A malformed escape in the query is refused outright.
    CHECK(httpGet(server.unsignedApiUrl("search", "keyword=%zz" + signedSuffix(std::time(nullptr)))).status == 400);
}

TEST_CASE("the port file names the port and a signal stops the server cleanly") {
    SUBCASE("SIGTERM") {
        CatalogueServerProcess server;
        REQUIRE(server.started());
        CHECK(server.portFileText() == std::to_string(server.port()));
        CHECK(httpGet(server.apiUrl("getversion", {{"os", "ios"}})).status == 200);
        CHECK(server.stop(SIGTERM) == 0);
        // The process is gone (its port may already serve another test's server).
        CHECK_FALSE(server.running());
    }
    SUBCASE("SIGINT") {
        CatalogueServerProcess server;
        REQUIRE(server.started());
        CHECK(server.stop(SIGINT) == 0);
    }
}

TEST_CASE("every reply closes its connection, so a stop never waits for an idle client") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    const int socketFd = socket(AF_INET, SOCK_STREAM, 0);
    REQUIRE(socketFd >= 0);
    timeval safety{20, 0};  // only against a hang: the close comes right after the reply
    REQUIRE(setsockopt(socketFd, SOL_SOCKET, SO_RCVTIMEO, &safety, sizeof safety) == 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    REQUIRE(connect(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    // A client that asks to keep the connection and then sits on it.
    const std::string request = "GET /update HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: keep-alive\r\n\r\n";
    REQUIRE(send(socketFd, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size()));
    std::string reply;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = recv(socketFd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<std::size_t>(n));
    CHECK(n == 0);  // the server closed the connection
    const std::string head = reply.substr(0, reply.find("\r\n\r\n"));
    CHECK(head.rfind("HTTP/1.1 200", 0) == 0);
    std::string lowerHead = head;
    for (auto& c : lowerHead) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    CHECK(lowerHead.find("\r\nconnection: close") != std::string::npos);
    CHECK(server.stop(SIGTERM) == 0);
    close(socketFd);
}

TEST_CASE("a burst of parallel connections is taken in while the server is not accepting, and every one answered") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    // Stopped, the server accepts nothing: only its listening backlog takes connections in.
    REQUIRE(kill(server.pid(), SIGSTOP) == 0);
    struct Resume {
        int pid;
        ~Resume() { kill(pid, SIGCONT); }
    } resume{server.pid()};
    constexpr std::size_t kBurst = 100;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<pollfd> sockets;
    for (std::size_t i = 0; i < kBurst; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        REQUIRE(fd >= 0);
        const int connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        REQUIRE((connected == 0 || errno == EINPROGRESS));
        sockets.push_back({fd, POLLOUT, 0});
    }
    // A connection the backlog has no room for stays unanswered until the server accepts again.
    std::vector<pollfd> pending = sockets;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pending.empty() && std::chrono::steady_clock::now() < deadline) {
        poll(pending.data(), pending.size(), 100);
        std::erase_if(pending, [](const pollfd& p) { return (p.revents & POLLOUT) && !(p.revents & POLLERR); });
    }
    CHECK_MESSAGE(pending.empty(), "the backlog took " << kBurst - pending.size() << " of " << kBurst << " connections");

    kill(server.pid(), SIGCONT);
    const std::string request = "GET /update HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    std::size_t answered = 0;
    for (auto& s : sockets) {
        const int blocking = 0;
        ioctl(s.fd, FIONBIO, &blocking);
        timeval safety{20, 0};  // only against a hang
        setsockopt(s.fd, SOL_SOCKET, SO_RCVTIMEO, &safety, sizeof safety);
        std::string reply;
        if (send(s.fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            ssize_t n = 0;
            while ((n = recv(s.fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<std::size_t>(n));
        }
        answered += reply.rfind("HTTP/1.1 200", 0) == 0;
        close(s.fd);
    }
    CHECK(answered == kBurst);
}

TEST_CASE("the same seed gives the same catalogue and another seed a different one") {
    CatalogueServerProcess first({"--seed", "7"});
    CatalogueServerProcess again({"--seed", "7"});
    CatalogueServerProcess other({"--seed", "8"});
    REQUIRE(first.started());
    REQUIRE(again.started());
    REQUIRE(other.started());
    const QueryParameters parameters{{"type", "rating"}, {"genres", "0"}, {"page", "1"}, {"count", "30"}};
    const auto titles = [&](const CatalogueServerProcess& server) {
        std::vector<std::string> names;
        const json data = fetchData(server, "movies", parameters);
        for (const auto& film : data["films"]) names.push_back(film["title"]);
        return names;
    };
    const auto firstTitles = titles(first);
    CHECK(firstTitles.size() == 30);
    CHECK(titles(again) == firstTitles);
    CHECK(titles(other) != firstTitles);
}

TEST_CASE("the server refuses a broken genre list and a bad command line") {
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("quorvane-genres-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(folder);
    const std::string broken = folder + "/genres.json";
    std::ofstream(broken) << R"([{"genresID": 0, "name": "All"}, {"genresID": "x", "name": "Bad"}])";
    CHECK(runServerToCompletion({"--port", "0", "--genres", broken}) == 1);
    std::ofstream(broken, std::ios::trunc) << R"([{"genresID": 0, "name": "All"}])";
    CHECK(runServerToCompletion({"--port", "0", "--genres", broken}) == 1);
    // Numeric strings are ids too, as the application reads them.
    std::ofstream(broken, std::ios::trunc) << R"([{"genresID": "0", "name": "All"}, {"genresID": "4", "name": "Drama"}])";
    {
        CatalogueServerProcess server({"--genres", broken});
        REQUIRE(server.started());
        const json detail = fetchData(server, "detail", {{"id", "1001"}});
        CHECK(detail["genre"] == "Drama");
    }
    CHECK(runServerToCompletion({"--port", "not-a-number"}) == 2);
    CHECK(runServerToCompletion({"--no-such-option"}) == 2);
    std::filesystem::remove_all(folder);
}
