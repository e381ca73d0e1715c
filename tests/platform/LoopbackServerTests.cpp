// The loopback test server, exercised with a plain HTTP client.
#include <curl/curl.h>
#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

struct Fetched {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
    std::vector<std::string> headerLines;
    std::size_t writes = 0;

    bool hasHeaderLine(const std::string& prefix) const {
        for (const auto& l : headerLines)
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    }
};

std::size_t collectBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* f = static_cast<Fetched*>(user);
    f->body.append(data, size * count);
    ++f->writes;
    return size * count;
}

std::size_t collectHeader(char* data, std::size_t size, std::size_t count, void* user) {
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    static_cast<Fetched*>(user)->headerLines.push_back(line);
    return size * count;
}

// One transfer on `handle` (kept between calls for connection reuse).
Fetched perform(CURL* handle, const std::string& url, const std::vector<std::string>& headers = {}) {
    Fetched f;
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, collectBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &f);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &f);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_slist* list = nullptr;
    for (const auto& h : headers) list = curl_slist_append(list, h.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, list);
    f.code = curl_easy_perform(handle);
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &f.status);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(list);
    return f;
}

struct Easy {
    CURL* handle = curl_easy_init();
    ~Easy() { curl_easy_cleanup(handle); }
    CURL* operator->() const { return handle; }
    operator CURL*() const { return handle; }
};

Fetched fetch(const std::string& url, const std::vector<std::string>& headers = {}) {
    Easy easy;
    return perform(easy, url, headers);
}

std::string sampleContent(std::size_t size) {
    std::string s;
    for (std::size_t i = 0; i < size; ++i) s += static_cast<char>('A' + (i * 7) % 26);
    return s;
}

}  // namespace

TEST_CASE("loopback server answers routes and 404 for unrouted paths") {
    LoopbackHttpServer server;
    server.route("GET", "/hello", Reply::text("hi there").header("X-Extra", "1"));
    server.route("*", "/any", Reply::text("any method"));

    auto hello = fetch(server.url("/hello?x=1"));
    CHECK(hello.code == CURLE_OK);
    CHECK(hello.status == 200);
    CHECK(hello.body == "hi there");
    CHECK(hello.hasHeaderLine("X-Extra: 1"));
    CHECK(hello.hasHeaderLine("Content-Length: 8"));

    auto missing = fetch(server.url("/nowhere"));
    CHECK(missing.status == 404);

    Easy del;
    curl_easy_setopt(del, CURLOPT_CUSTOMREQUEST, "DELETE");
    auto any = perform(del, server.url("/any"));
    CHECK(any.body == "any method");
    CHECK(server.requests().back().method == "DELETE");
}

TEST_CASE("loopback server records requests with case-insensitive headers and bodies") {
    LoopbackHttpServer server;
    server.setHandler([](const RecordedRequest& r) { return Reply::text("got " + std::to_string(r.body.size())); });

    Easy post;
    curl_easy_setopt(post, CURLOPT_POSTFIELDS, "name=value&x=y");
    auto f = perform(post, server.url("/submit?page=2"), {"X-Custom-Thing: Forty Two"});
    CHECK(f.body == "got 14");

    // A body sent in chunks is recorded decoded.
    Easy chunked;
    std::string payload = sampleContent(5000);
    struct Source {
        std::string data;
        std::size_t at = 0;
    } source{payload, 0};
    curl_easy_setopt(chunked, CURLOPT_POST, 1L);
    curl_easy_setopt(chunked, CURLOPT_READFUNCTION, +[](char* buf, std::size_t size, std::size_t n, void* user) {
        auto* s = static_cast<Source*>(user);
        std::size_t take = std::min({size * n, s->data.size() - s->at, std::size_t{700}});
        std::memcpy(buf, s->data.data() + s->at, take);
        s->at += take;
        return take;
    });
    curl_easy_setopt(chunked, CURLOPT_READDATA, &source);
    auto g = perform(chunked, server.url("/upload"), {"Transfer-Encoding: chunked"});
    CHECK(g.body == "got 5000");

    REQUIRE(runMainUntil(server.receivedRequests(2), 5));
    auto requests = server.requests();
    REQUIRE(requests.size() == 2);
    CHECK(requests[0].method == "POST");
    CHECK(requests[0].target == "/submit?page=2");
    CHECK(requests[0].path() == "/submit");
    CHECK(requests[0].query() == "page=2");
    CHECK(requests[0].version == "HTTP/1.1");
    CHECK(requests[0].headers.get("x-custom-thing") == "Forty Two");
    CHECK(requests[0].headers.get("X-CUSTOM-THING") == "Forty Two");
    CHECK(requests[0].body == "name=value&x=y");
    CHECK_FALSE(requests[0].bodyWasChunked);
    CHECK(requests[1].bodyWasChunked);
    CHECK(requests[1].body == payload);
    CHECK(server.lastRequest()->path() == "/upload");
}

TEST_CASE("loopback server answers Expect 100-continue before reading the body") {
    LoopbackHttpServer server;
    server.setHandler([](const RecordedRequest& r) { return Reply::text(r.body); });
    Easy post;
    curl_easy_setopt(post, CURLOPT_POSTFIELDS, "continued body");
    // A long client-side wait: the body must go because the interim answer arrived.
    curl_easy_setopt(post, CURLOPT_EXPECT_100_TIMEOUT_MS, 15000L);
    auto f = perform(post, server.url("/expect"), {"Expect: 100-continue"});
    CHECK(f.code == CURLE_OK);
    CHECK(f.hasHeaderLine("HTTP/1.1 100 Continue"));
    CHECK(f.body == "continued body");
    CHECK(server.lastRequest()->headers.get("expect") == "100-continue");
}

TEST_CASE("loopback server can leave Expect 100-continue unanswered") {
    LoopbackHttpServer server;
    server.setAnswersContinue(false);
    server.setHandler([](const RecordedRequest& r) { return Reply::text(r.body); });
    Easy post;
    curl_easy_setopt(post, CURLOPT_POSTFIELDS, "sent anyway");
    // The client gives up waiting for the interim answer and sends the body.
    curl_easy_setopt(post, CURLOPT_EXPECT_100_TIMEOUT_MS, 100L);
    auto f = perform(post, server.url("/expect"), {"Expect: 100-continue"});
    CHECK(f.code == CURLE_OK);
    CHECK_FALSE(f.hasHeaderLine("HTTP/1.1 100"));
    CHECK(f.body == "sent anyway");
}

TEST_CASE("loopback server sends chunked and close-delimited bodies") {
    LoopbackHttpServer server;
    std::string content = sampleContent(1000);
    server.route("GET", "/chunked", Reply::text(content).chunked(64));
    server.route("GET", "/closed", Reply::text(content).closeDelimited());

    auto chunked = fetch(server.url("/chunked"));
    CHECK(chunked.code == CURLE_OK);
    CHECK(chunked.body == content);
    CHECK(chunked.hasHeaderLine("Transfer-Encoding: chunked"));
    CHECK_FALSE(chunked.hasHeaderLine("Content-Length"));

    auto closed = fetch(server.url("/closed"));
    CHECK(closed.code == CURLE_OK);
    CHECK(closed.body == content);
    CHECK(closed.hasHeaderLine("Connection: close"));
    CHECK_FALSE(closed.hasHeaderLine("Content-Length"));
    CHECK_FALSE(closed.hasHeaderLine("Transfer-Encoding"));
}

TEST_CASE("loopback server trickles a body in paced pieces, and holds one sent in pieces after each") {
    LoopbackHttpServer server;
    std::string content = sampleContent(200);
    server.route("GET", "/slow", Reply::text(content).trickle(20, 10));
    auto f = fetch(server.url("/slow"));
    CHECK(f.code == CURLE_OK);
    CHECK(f.body == content);

    // How the client's reads fall is up to the machine; what the server holds is not.
    server.route("GET", "/pieces", Reply::text(content).inPieces(20));
    Fetched pieces;
    std::atomic<bool> done{false};
    std::thread client([&] {
        pieces = fetch(server.url("/pieces"));
        done = true;
    });
    for (std::size_t held = 1; held <= 9; ++held) {
        REQUIRE_MESSAGE(runMainUntil([&] { return server.holdCount() == held; }), "the hold after piece " << held);
        CHECK_FALSE(done);
        server.releaseStalls();
    }
    REQUIRE_MESSAGE(runMainUntil([&] { return done.load(); }), "the last piece");
    client.join();
    CHECK(pieces.body == content);
    CHECK(server.holdCount() == 9);
}

TEST_CASE("loopback server serves byte ranges from a buffer") {
    LoopbackHttpServer server;
    std::string content = sampleContent(100);
    testsupport::StaticOptions options;
    options.etag = "\"v1\"";
    options.lastModified = "Wed, 21 Oct 2026 07:28:00 GMT";
    server.route("GET", "/file", testsupport::serveBytes(content, options));
    options.ignoreRange = true;
    server.route("GET", "/norange", testsupport::serveBytes(content, options));

    auto whole = fetch(server.url("/file"));
    CHECK(whole.status == 200);
    CHECK(whole.body == content);
    CHECK(whole.hasHeaderLine("Accept-Ranges: bytes"));
    CHECK(whole.hasHeaderLine("ETag: \"v1\""));

    auto middle = fetch(server.url("/file"), {"Range: bytes=10-19"});
    CHECK(middle.status == 206);
    CHECK(middle.body == content.substr(10, 10));
    CHECK(middle.hasHeaderLine("Content-Range: bytes 10-19/100"));

    auto open = fetch(server.url("/file"), {"Range: bytes=90-"});
    CHECK(open.status == 206);
    CHECK(open.body == content.substr(90));
    CHECK(open.hasHeaderLine("Content-Range: bytes 90-99/100"));

    auto beyondEnd = fetch(server.url("/file"), {"Range: bytes=95-500"});
    CHECK(beyondEnd.status == 206);
    CHECK(beyondEnd.body == content.substr(95));

    auto suffix = fetch(server.url("/file"), {"Range: bytes=-5"});
    CHECK(suffix.status == 206);
    CHECK(suffix.body == content.substr(95));
    CHECK(suffix.hasHeaderLine("Content-Range: bytes 95-99/100"));

    auto unsatisfiable = fetch(server.url("/file"), {"Range: bytes=100-"});
    CHECK(unsatisfiable.status == 416);
    CHECK(unsatisfiable.hasHeaderLine("Content-Range: bytes */100"));
    CHECK(unsatisfiable.body.empty());

    auto malformed = fetch(server.url("/file"), {"Range: bytes=20-10"});
    CHECK(malformed.status == 200);
    CHECK(malformed.body == content);

    auto ignored = fetch(server.url("/norange"), {"Range: bytes=10-19"});
    CHECK(ignored.status == 200);
    CHECK(ignored.body == content);
}

TEST_CASE("loopback server honours If-Range with ETag and Last-Modified") {
    LoopbackHttpServer server;
    std::string content = sampleContent(50);
    testsupport::StaticOptions options;
    options.etag = "\"abc\"";
    options.lastModified = "Wed, 21 Oct 2026 07:28:00 GMT";
    server.route("GET", "/f", testsupport::serveBytes(content, options));

    auto sameTag = fetch(server.url("/f"), {"Range: bytes=40-", "If-Range: \"abc\""});
    CHECK(sameTag.status == 206);
    CHECK(sameTag.body == content.substr(40));

    auto otherTag = fetch(server.url("/f"), {"Range: bytes=40-", "If-Range: \"old\""});
    CHECK(otherTag.status == 200);
    CHECK(otherTag.body == content);

    auto sameDate = fetch(server.url("/f"), {"Range: bytes=40-", "If-Range: Wed, 21 Oct 2026 07:28:00 GMT"});
    CHECK(sameDate.status == 206);

    auto otherDate = fetch(server.url("/f"), {"Range: bytes=40-", "If-Range: Tue, 20 Oct 2026 07:28:00 GMT"});
    CHECK(otherDate.status == 200);
}

TEST_CASE("loopback server serves a file with ranges and HEAD without a body") {
    testsupport::TempHome home;
    std::string path = home.path() + "/content.bin";
    std::string content = sampleContent(300);
    std::ofstream(path, std::ios::binary) << content;
    LoopbackHttpServer server;
    server.route("*", "/content.bin", testsupport::serveFile(path));
    server.route("GET", "/gone", testsupport::serveFile(home.path() + "/missing"));

    auto part = fetch(server.url("/content.bin"), {"Range: bytes=100-199"});
    CHECK(part.status == 206);
    CHECK(part.body == content.substr(100, 100));

    Easy head;
    curl_easy_setopt(head, CURLOPT_NOBODY, 1L);
    auto h = perform(head, server.url("/content.bin"));
    CHECK(h.code == CURLE_OK);
    CHECK(h.status == 200);
    CHECK(h.hasHeaderLine("Content-Length: 300"));
    CHECK(h.body.empty());
    CHECK(server.lastRequest()->method == "HEAD");

    CHECK(fetch(server.url("/gone")).status == 404);
}

TEST_CASE("loopback server dropping mid-body makes the client fail") {
    LoopbackHttpServer server;
    std::string content = sampleContent(1000);
    server.route("GET", "/drop", Reply::text(content).drop(100));
    server.route("GET", "/dropchunked", Reply::text(content).chunked(50).drop(120));

    auto sized = fetch(server.url("/drop"));
    CHECK(sized.code != CURLE_OK);
    CHECK(sized.body == content.substr(0, 100));

    auto chunked = fetch(server.url("/dropchunked"));
    CHECK(chunked.code != CURLE_OK);
    CHECK(chunked.body.size() < content.size());
}

TEST_CASE("loopback server redirects with Location") {
    LoopbackHttpServer server;
    server.route("GET", "/old", Reply::redirect(301, "/middle"));
    server.route("GET", "/middle", Reply::redirect(307, server.url("/new")));
    server.route("GET", "/new", Reply::text("arrived"));

    auto first = fetch(server.url("/old"));
    CHECK(first.status == 301);
    CHECK(first.hasHeaderLine("Location: /middle"));

    Easy follow;
    curl_easy_setopt(follow, CURLOPT_FOLLOWLOCATION, 1L);
    auto f = perform(follow, server.url("/old"));
    CHECK(f.status == 200);
    CHECK(f.body == "arrived");
    auto requests = server.requests();
    REQUIRE(requests.size() == 4);
    CHECK(requests[1].path() == "/old");
    CHECK(requests[2].path() == "/middle");
    CHECK(requests[3].path() == "/new");
}

TEST_CASE("loopback server challenges for Basic credentials") {
    LoopbackHttpServer server;
    server.route("GET", "/secret",
                 testsupport::requireBasicAuth("ann", "s3cret", "Vault", [](const RecordedRequest&) {
                     return Reply::text("the secret");
                 }));

    auto anonymous = fetch(server.url("/secret"));
    CHECK(anonymous.status == 401);
    CHECK(anonymous.hasHeaderLine("WWW-Authenticate: Basic realm=\"Vault\""));

    Easy wrong;
    curl_easy_setopt(wrong, CURLOPT_USERPWD, "ann:wrong");
    curl_easy_setopt(wrong, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    CHECK(perform(wrong, server.url("/secret")).status == 401);

    // Asked to pick any scheme, the client first goes without and answers the challenge.
    std::size_t before = server.requestCount();
    Easy right;
    curl_easy_setopt(right, CURLOPT_USERPWD, "ann:s3cret");
    curl_easy_setopt(right, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
    auto ok = perform(right, server.url("/secret"));
    CHECK(ok.status == 200);
    CHECK(ok.body == "the secret");
    auto requests = server.requests();
    REQUIRE(requests.size() == before + 2);
    CHECK_FALSE(requests[before].headers.has("Authorization"));
    CHECK(requests[before + 1].headers.get("authorization") == "Basic " + testsupport::base64Encode("ann:s3cret"));
}

TEST_CASE("loopback server keeps connections alive unless told to close") {
    LoopbackHttpServer server;
    server.route("GET", "/a", Reply::text("a"));
    server.route("GET", "/closing", Reply::text("c").close());

    Easy easy;
    CHECK(perform(easy, server.url("/a")).body == "a");
    CHECK(perform(easy, server.url("/a")).body == "a");
    CHECK(server.connectionCount() == 1);
    auto requests = server.requests();
    REQUIRE(requests.size() == 2);
    CHECK(requests[0].connectionId == requests[1].connectionId);
    CHECK(requests[1].indexOnConnection == 1);

    auto closing = perform(easy, server.url("/closing"));
    CHECK(closing.hasHeaderLine("Connection: close"));
    CHECK(perform(easy, server.url("/a")).body == "a");
    CHECK(server.connectionCount() == 2);
    CHECK(server.lastRequest()->indexOnConnection == 0);
}

TEST_CASE("loopback server holds a stalled reply until released") {
    LoopbackHttpServer server;
    std::string content = sampleContent(400);
    server.route("GET", "/stall", Reply::text(content).stall(150));

    Fetched result;
    std::thread client([&] { result = fetch(server.url("/stall")); });
    bool stalled = runMainUntil(server.stalledConnections(1), 10);
    server.releaseStalls();
    client.join();
    CHECK(stalled);
    CHECK(server.stalledCount() == 0);
    CHECK(result.code == CURLE_OK);
    CHECK(result.body == content);
}

TEST_CASE("loopback server releases stalled connections when it stops") {
    auto server = std::make_unique<LoopbackHttpServer>();
    server->route("GET", "/stall", Reply::text("never").stallFirst());
    server->route("GET", "/stallbody", Reply::text(sampleContent(100)).stall(10));

    Fetched first, second;
    std::thread a([&, url = server->url("/stall")] { first = fetch(url); });
    std::thread b([&, url = server->url("/stallbody")] { second = fetch(url); });
    bool stalled = runMainUntil(server->stalledConnections(2), 10);
    server.reset();  // must return: the stalled connections are ended
    a.join();
    b.join();
    CHECK(stalled);
    CHECK(first.code != CURLE_OK);
    CHECK(second.code != CURLE_OK);
    CHECK(second.body.size() == 10);
}

TEST_CASE("loopback server sends a raw reply verbatim") {
    LoopbackHttpServer server;
    server.route("GET", "/raw", Reply::rawBytes("HTTP/1.1 203 Odd Things\r\nContent-Length: 3\r\n\r\nabc"));
    auto f = fetch(server.url("/raw"));
    CHECK(f.status == 203);
    CHECK(f.hasHeaderLine("HTTP/1.1 203 Odd Things"));
    CHECK(f.body == "abc");
}
