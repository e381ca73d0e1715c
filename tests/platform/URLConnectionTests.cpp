// URL connections against the loopback server, driven by the main run loop.
#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/runloop/NSThread.h"
#include "platform/net/NSURLConnection.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

std::string sample(std::size_t size) {
    std::string s;
    for (std::size_t i = 0; i < size; ++i) s += static_cast<char>('a' + (i * 11) % 26);
    return s;
}

// Records every delegate call as a line, in order.
class Recorder : public NSURLConnectionDelegate {
public:
    using Redirect = std::function<std::shared_ptr<NSURLRequest>(const std::shared_ptr<NSURLRequest>&,
                                                                 const std::shared_ptr<NSURLResponse>&)>;
    Redirect onWillSend;
    std::function<void(const NSURLConnectionPtr&)> onData;
    std::function<void(const std::shared_ptr<NSURLAuthenticationChallenge>&)> onChallenge;  // set: answers challenges

    bool respondsToWillSendRequestForAuthenticationChallenge() const override { return static_cast<bool>(onChallenge); }
    void connectionWillSendRequestForAuthenticationChallenge(
        const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override {
        note(connection, "challenge " + std::to_string(challenge->previousFailureCount()));
        onChallenge(challenge);
    }

    std::shared_ptr<NSURLRequest> connectionWillSendRequest(const NSURLConnectionPtr& connection,
                                                            const std::shared_ptr<NSURLRequest>& request,
                                                            const std::shared_ptr<NSURLResponse>& redirect) override {
        note(connection, "willSend " + request->URL() + (redirect ? " after " + redirect->URL() : ""));
        return onWillSend ? onWillSend(request, redirect) : request;
    }
    void connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                      const std::shared_ptr<NSURLResponse>& r) override {
        auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(r);
        note(connection, "response " + std::to_string(http ? http->statusCode() : 0));
        std::lock_guard lock(mutex_);
        response = http;
    }
    void connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) override {
        note(connection, "data");
        {
            std::lock_guard lock(mutex_);
            body.append(data.begin(), data.end());
        }
        if (onData) onData(connection);
    }
    void connectionDidSendBodyData(const NSURLConnectionPtr& connection, std::int64_t, std::int64_t total,
                                   std::int64_t expected) override {
        note(connection, "sent");
        std::lock_guard lock(mutex_);
        totalSent = total;
        expectedToSend = expected;
    }
    std::shared_ptr<NSCachedURLResponse> connectionWillCacheResponse(
        const NSURLConnectionPtr& connection, const std::shared_ptr<NSCachedURLResponse>& cached) override {
        note(connection, "cache");
        std::lock_guard lock(mutex_);
        cachedBody = stringFromData(cached->data());
        return cached;
    }
    void connectionDidFinishLoading(const NSURLConnectionPtr& connection) override {
        note(connection, "finish");
        done = true;
    }
    void connectionDidFailWithError(const NSURLConnectionPtr& connection, const NSErrorPtr& e) override {
        note(connection, "fail " + std::to_string(e->code()));
        {
            std::lock_guard lock(mutex_);
            error = e;
        }
        done = true;
    }

    // The calls with consecutive "data" and "sent" lines folded into one.
    std::vector<std::string> folded() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (out.empty() || out.back() != c || (c != "data" && c != "sent")) out.push_back(c);
        return out;
    }
    std::size_t callCount() const {
        std::lock_guard lock(mutex_);
        return calls.size();
    }

    std::atomic<bool> done{false};
    std::atomic<int> callsAfterCancel{0};
    std::atomic<bool> cancelReturned{false};
    mutable std::mutex mutex_;
    std::vector<std::string> calls;
    std::vector<std::shared_ptr<NSThread>> threads;
    std::vector<NSURLConnection*> senders;
    std::shared_ptr<NSHTTPURLResponse> response;
    std::string body;
    std::string cachedBody;
    NSErrorPtr error;
    std::int64_t totalSent = 0, expectedToSend = 0;

private:
    void note(const NSURLConnectionPtr& connection, std::string call) {
        if (cancelReturned) ++callsAfterCancel;
        std::lock_guard lock(mutex_);
        calls.push_back(std::move(call));
        threads.push_back(NSThread::currentThread());
        senders.push_back(connection.get());
    }
};

NSURLConnectionPtr load(const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<Recorder>& recorder) {
    auto connection = NSURLConnection::initWithRequest(request, recorder, false);
    connection->scheduleInRunLoop(NSRunLoop::mainRunLoop(), NSRunLoopCommonModes);
    connection->start();
    return connection;
}

NSURLConnectionPtr load(const std::string& url, const std::shared_ptr<Recorder>& recorder, double timeout = 10) {
    return load(NSURLRequest::requestWithURL(url, NSURLRequestUseProtocolCachePolicy, timeout), recorder);
}

}  // namespace

TEST_CASE("URL connection calls its delegate in order on the scheduled thread") {
    LoopbackHttpServer server;
    std::string content = sample(50000);
    server.route("GET", "/data", Reply::text(content, "text/plain; charset=utf-8").header("X-Served-By", "loopback"));
    auto recorder = std::make_shared<Recorder>();
    auto connection = load(server.url("/data"), recorder);
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));

    std::vector<std::string> expected{"willSend " + server.url("/data"), "response 200", "data", "cache", "finish"};
    CHECK(recorder->folded() == expected);
    CHECK(recorder->body == content);
    CHECK(recorder->cachedBody == content);
    REQUIRE(recorder->response);
    CHECK(recorder->response->URL() == server.url("/data"));
    CHECK(recorder->response->MIMEType() == "text/plain");
    CHECK(recorder->response->textEncodingName() == "utf-8");
    CHECK(recorder->response->expectedContentLength() == 50000);
    CHECK(recorder->response->valueForHTTPHeaderField("x-served-by") == "loopback");
    for (const auto& thread : recorder->threads) CHECK(thread == NSThread::mainThread());
    for (auto* sender : recorder->senders) CHECK(sender == connection.get());
    CHECK(connection->currentRequest()->URL() == server.url("/data"));
}

TEST_CASE("URL connection sends method headers and body as the request gives them") {
    LoopbackHttpServer server;
    server.setHandler([](const RecordedRequest& r) { return Reply::withStatus(201, "stored " + r.body); });
    auto request = NSMutableURLRequest::requestWithURL(server.url("/items?x=1"));
    request->setHTTPMethod("PUT");
    request->setValue("application/json", "Content-Type");
    request->setValue("yes", "X-Custom");
    std::string payload = "{\"name\":\"" + sample(3000) + "\"}";
    request->setHTTPBody(dataFromString(payload));
    auto recorder = std::make_shared<Recorder>();
    load(request, recorder);
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));

    CHECK(recorder->body == "stored " + payload);
    CHECK(recorder->response->statusCode() == 201);
    auto folded = recorder->folded();
    REQUIRE(folded.size() >= 4);
    CHECK(folded[1] == "sent");
    CHECK(folded[2] == "response 201");
    CHECK(folded.back() == "finish");
    CHECK(recorder->totalSent == static_cast<std::int64_t>(payload.size()));
    CHECK(recorder->expectedToSend == static_cast<std::int64_t>(payload.size()));
    auto recorded = server.lastRequest();
    REQUIRE(recorded);
    CHECK(recorded->method == "PUT");
    CHECK(recorded->target == "/items?x=1");
    CHECK(recorded->body == payload);
    CHECK(recorded->headers.get("content-type") == "application/json");
    CHECK(recorded->headers.get("X-Custom") == "yes");
    CHECK_FALSE(recorded->headers.has("Expect"));
}

TEST_CASE("URL connection POST without a content type sends none") {
    LoopbackHttpServer server;
    server.setHandler([](const RecordedRequest&) { return Reply::text("ok"); });
    auto request = NSMutableURLRequest::requestWithURL(server.url("/form"));
    request->setHTTPMethod("POST");
    request->setHTTPBody(dataFromString("a=1"));
    auto recorder = std::make_shared<Recorder>();
    load(request, recorder);
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
    CHECK_FALSE(server.lastRequest()->headers.has("Content-Type"));
    CHECK(server.lastRequest()->body == "a=1");
}

TEST_CASE("URL connection follows redirects after asking the delegate") {
    LoopbackHttpServer server;
    server.route("GET", "/start", Reply::redirect(302, "/next"));
    server.route("GET", "/next", Reply::redirect(301, server.url("/end")));
    server.route("GET", "/end", Reply::text("the end"));
    auto recorder = std::make_shared<Recorder>();
    auto connection = load(server.url("/start"), recorder);
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));

    std::vector<std::string> expected{"willSend " + server.url("/start"),
                                      "willSend " + server.url("/next") + " after " + server.url("/start"),
                                      "willSend " + server.url("/end") + " after " + server.url("/next"),
                                      "response 200", "data", "cache", "finish"};
    CHECK(recorder->folded() == expected);
    CHECK(recorder->body == "the end");
    CHECK(recorder->response->URL() == server.url("/end"));
    CHECK(connection->currentRequest()->URL() == server.url("/end"));
    CHECK(connection->originalRequest()->URL() == server.url("/start"));
    CHECK(server.requestCount() == 3);
}

TEST_CASE("URL connection delivers a vetoed redirect as the final response") {
    LoopbackHttpServer server;
    server.route("GET", "/start", Reply::redirect(307, "/elsewhere"));
    auto recorder = std::make_shared<Recorder>();
    recorder->onWillSend = [](const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<NSURLResponse>& r) {
        return r ? nullptr : request;
    };
    load(server.url("/start"), recorder);
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));

    auto folded = recorder->folded();
    REQUIRE(folded.size() == 5);
    CHECK(folded[1] == "willSend " + server.url("/elsewhere") + " after " + server.url("/start"));
    CHECK(folded[2] == "response 307");
    CHECK(folded[3] == "data");
    CHECK(folded[4] == "finish");
    CHECK(recorder->response->valueForHTTPHeaderField("Location") == "/elsewhere");
    CHECK(recorder->body == "Moved to /elsewhere");
    CHECK(server.requestCount() == 1);
}

TEST_CASE("URL connection keeps at most 1 MiB of a redirect or challenge body aside") {
    LoopbackHttpServer server;
    const std::string large = sample(3 << 20);
    Reply redirect = Reply::redirect(302, "/end");
    redirect.body = large;
    Reply challenge = Reply::basicChallenge("Vault");
    challenge.body = large;
    server.route("GET", "/redirect", redirect);
    server.route("GET", "/challenge", challenge);
    server.route("GET", "/end", Reply::text("the end"));
    struct Case {
        const char* path;
        bool followRedirect;
        long failure;  // 0: finishes
        const char* body;
    };
    const Case cases[] = {
        {"/redirect", true, 0, "the end"},  // the held body is not needed
        {"/redirect", false, NSURLErrorDataLengthExceedsMaximum, ""},
        {"/challenge", false, NSURLErrorDataLengthExceedsMaximum, ""},
    };
    for (const auto& c : cases) {
        CAPTURE(c.path);
        CAPTURE(c.followRedirect);
        auto recorder = std::make_shared<Recorder>();
        recorder->onWillSend = [&](const std::shared_ptr<NSURLRequest>& request,
                                   const std::shared_ptr<NSURLResponse>& r) -> std::shared_ptr<NSURLRequest> {
            return r && !c.followRedirect ? nullptr : request;
        };
        load(server.url(c.path), recorder);
        REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
        if (c.failure) {
            REQUIRE(recorder->error);
            CHECK(recorder->error->code() == c.failure);
        } else {
            CHECK_FALSE(recorder->error);
        }
        CHECK(recorder->body == c.body);
    }
}

TEST_CASE("URL connection sends the delegate's rewritten redirect") {
    LoopbackHttpServer server;
    server.route("GET", "/start", Reply::redirect(302, "/wrong"));
    server.route("GET", "/right", Reply::text("right place"));
    auto recorder = std::make_shared<Recorder>();
    recorder->onWillSend = [&](const std::shared_ptr<NSURLRequest>& request,
                               const std::shared_ptr<NSURLResponse>& r) -> std::shared_ptr<NSURLRequest> {
        if (!r) return request;
        auto rewritten = request->mutableCopy();
        rewritten->setURL(server.url("/right"));
        rewritten->setValue("rewritten", "X-Hop");
        return rewritten;
    };
    load(server.url("/start"), recorder);
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
    CHECK(recorder->body == "right place");
    auto requests = server.requests();
    REQUIRE(requests.size() == 2);
    CHECK(requests[1].path() == "/right");
    CHECK(requests[1].headers.get("x-hop") == "rewritten");
}

TEST_CASE("URL connection turns a POST into a GET on 303 and keeps it on 307") {
    LoopbackHttpServer server;
    server.route("POST", "/see-other", Reply::redirect(303, "/result"));
    server.route("POST", "/temporary", Reply::redirect(307, "/result"));
    server.setHandler([](const RecordedRequest& r) { return Reply::text(r.method + ":" + r.body); });
    for (auto [path, expected] : {std::pair{"/see-other", "GET:"}, std::pair{"/temporary", "POST:payload"}}) {
        auto request = NSMutableURLRequest::requestWithURL(server.url(path));
        request->setHTTPMethod("POST");
        request->setHTTPBody(dataFromString("payload"));
        auto recorder = std::make_shared<Recorder>();
        load(request, recorder);
        REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
        CHECK(recorder->body == expected);
    }
}

TEST_CASE("URL connection times out after an idle second with a stalled server") {
    LoopbackHttpServer server;
    server.route("GET", "/stall", Reply::text(sample(1000)).stall(100));
    auto recorder = std::make_shared<Recorder>();
    load(server.url("/stall"), recorder, 1);
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }, 15));
    auto folded = recorder->folded();
    REQUIRE(folded.size() == 4);
    CHECK(folded[1] == "response 200");
    CHECK(folded[2] == "data");
    CHECK(folded[3] == "fail -1001");
    CHECK(recorder->body.size() == 100);
    CHECK(recorder->error->domain() == NSURLErrorDomain);
    CHECK(*recorder->error->userInfo()[NSURLErrorFailingURLErrorKey].string() == server.url("/stall"));
}

TEST_CASE("URL connection times out when no answer comes at all") {
    LoopbackHttpServer server;
    server.route("GET", "/silent", Reply::text("late").stallFirst());
    auto recorder = std::make_shared<Recorder>();
    load(server.url("/silent"), recorder, 1);
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }, 15));
    std::vector<std::string> expected{"willSend " + server.url("/silent"), "fail -1001"};
    CHECK(recorder->folded() == expected);
}

TEST_CASE("URL connection idle time-out lets a slow but moving body finish") {
    LoopbackHttpServer server;
    std::string content = sample(120);
    // Twelve pieces 200 ms apart: well over the one-second time-out in total.
    server.route("GET", "/trickle", Reply::text(content).trickle(10, 200));
    auto recorder = std::make_shared<Recorder>();
    load(server.url("/trickle"), recorder, 1);
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }, 20));
    CHECK(recorder->folded().back() == "finish");
    CHECK(recorder->body == content);
    CHECK_FALSE(recorder->error);
}

TEST_CASE("URL connection cancelled from another thread calls the delegate no more") {
    LoopbackHttpServer server;
    // Paced while the cancel runs, then held: the body can never end before the cancel.
    server.route("GET", "/long", Reply::text(sample(4000)).trickle(50, 20).stall(2000));
    server.route("GET", "/short", Reply::text("short").trickle(1, 20));
    auto recorder = std::make_shared<Recorder>();
    auto connection = load(server.url("/long"), recorder);
    REQUIRE(runMainUntil([&] { return recorder->body.size() >= 100; }));

    std::thread canceller([&] {
        connection->cancel();
        recorder->cancelReturned = true;
    });
    // The main loop keeps delivering while the other thread cancels.
    REQUIRE(runMainUntil([&] { return recorder->cancelReturned.load(); }));
    canceller.join();

    // A second load on the same loop, paced over the first one's remaining time.
    auto other = std::make_shared<Recorder>();
    load(server.url("/short"), other);
    REQUIRE(runMainUntil([&] { return other->done.load(); }));
    CHECK(other->body == "short");
    CHECK(recorder->callsAfterCancel == 0);
    CHECK_FALSE(recorder->done);
    CHECK(recorder->body.size() < 4000);
}

TEST_CASE("URL connection cancelled inside its data callback stops at once") {
    LoopbackHttpServer server;
    server.route("GET", "/long", Reply::text(sample(2000)).trickle(100, 10));
    server.route("GET", "/short", Reply::text("x").trickle(1, 10));
    auto recorder = std::make_shared<Recorder>();
    int dataCalls = 0;
    recorder->onData = [&](const NSURLConnectionPtr& c) {
        ++dataCalls;
        c->cancel();
    };
    load(server.url("/long"), recorder);
    REQUIRE(runMainUntil([&] { return dataCalls == 1; }));
    auto other = std::make_shared<Recorder>();
    load(server.url("/short"), other);
    REQUIRE(runMainUntil([&] { return other->done.load(); }));
    CHECK(dataCalls == 1);
    CHECK_FALSE(recorder->done);
}

TEST_CASE("URL connection cancelled before start never loads") {
    LoopbackHttpServer server;
    server.setHandler([](const RecordedRequest&) { return Reply::text("x"); });
    auto recorder = std::make_shared<Recorder>();
    auto connection = NSURLConnection::initWithRequest(NSURLRequest::requestWithURL(server.url("/never")), recorder, false);
    connection->scheduleInRunLoop(NSRunLoop::mainRunLoop(), NSDefaultRunLoopMode);
    connection->cancel();
    connection->start();
    auto other = std::make_shared<Recorder>();
    load(server.url("/after"), other);
    REQUIRE(runMainUntil([&] { return other->done.load(); }));
    CHECK(recorder->callCount() == 0);
    REQUIRE(server.requestCount() == 1);
    CHECK(server.lastRequest()->path() == "/after");
}

TEST_CASE("URL connection to a closed port fails with cannot connect") {
    std::string url;
    {
        LoopbackHttpServer gone;
        url = gone.url("/nothing");
    }
    auto recorder = std::make_shared<Recorder>();
    load(url, recorder);
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
    std::vector<std::string> expected{"willSend " + url, "fail -1004"};
    CHECK(recorder->folded() == expected);
}

TEST_CASE("URL connection reports a body cut short as a lost connection") {
    LoopbackHttpServer server;
    server.route("GET", "/sized", Reply::text(sample(5000)).drop(1000));
    server.route("GET", "/chunked", Reply::text(sample(5000)).chunked(500).drop(1200));
    for (const char* path : {"/sized", "/chunked"}) {
        CAPTURE(path);
        auto recorder = std::make_shared<Recorder>();
        load(server.url(path), recorder);
        REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
        auto folded = recorder->folded();
        CHECK(folded[1] == "response 200");
        CHECK(folded.back() == "fail -1005");
        CHECK(recorder->body.size() < 5000);
    }
}

TEST_CASE("URL connection refuses unsupported and malformed URLs") {
    for (auto [url, code] : {std::pair{"ftp://127.0.0.1/file", -1002L}, std::pair{"no-scheme/path", -1002L},
                             std::pair{"http://exa mple.test/", -1000L}}) {
        CAPTURE(url);
        auto recorder = std::make_shared<Recorder>();
        load(url, recorder);
        REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
        REQUIRE(recorder->error);
        CHECK(recorder->error->code() == code);
    }
}

TEST_CASE("URL connection refused at its first request fails as cancelled") {
    LoopbackHttpServer server;
    auto recorder = std::make_shared<Recorder>();
    recorder->onWillSend = [](const std::shared_ptr<NSURLRequest>&, const std::shared_ptr<NSURLResponse>&) {
        return std::shared_ptr<NSURLRequest>();
    };
    load(server.url("/x"), recorder);
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
    CHECK(recorder->error->code() == NSURLErrorCancelled);
    CHECK(server.requestCount() == 0);
}

TEST_CASE("URL connections on one loop share kept-alive connections") {
    LoopbackHttpServer server;
    server.setHandler([](const RecordedRequest& r) { return Reply::text(r.path()); });
    for (const char* path : {"/one", "/two", "/three"}) {
        auto recorder = std::make_shared<Recorder>();
        load(server.url(path), recorder);
        REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
        CHECK(recorder->body == path);
    }
    CHECK(server.connectionCount() == 1);
}

TEST_CASE("URL connections one after another carry nothing of the earlier load") {
    LoopbackHttpServer server;
    server.setHandler([](const RecordedRequest& r) { return Reply::text(r.method + " " + r.path()); });
    struct Step {
        const char* method;
        const char* body;  // sent; null: none
        const char* header;  // an X-Step value; null: none
        const char* answer;  // the body received
    };
    const Step steps[] = {
        {"PUT", "payload", "one", "PUT /0"}, {"GET", nullptr, nullptr, "GET /1"}, {"HEAD", nullptr, "three", ""},
        {"GET", nullptr, nullptr, "GET /3"}, {"POST", "", nullptr, "POST /4"}, {"DELETE", nullptr, nullptr, "DELETE /5"},
        {"GET", nullptr, nullptr, "GET /6"},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const Step& step = steps[i];
        CAPTURE(i);
        auto request = NSMutableURLRequest::requestWithURL(server.url("/" + std::to_string(i)));
        request->setHTTPMethod(step.method);
        if (step.body) request->setHTTPBody(dataFromString(step.body));
        if (step.header) request->setValue(step.header, "X-Step");
        auto recorder = std::make_shared<Recorder>();
        load(request, recorder);
        REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
        CHECK_FALSE(recorder->error);
        CHECK(recorder->body == step.answer);
        auto recorded = server.lastRequest();
        REQUIRE(recorded);
        CHECK(recorded->method == step.method);
        CHECK(recorded->body == (step.body ? step.body : ""));
        CHECK(recorded->headers.find("X-Step") == (step.header ? std::optional<std::string>(step.header) : std::nullopt));
        CHECK(recorded->headers.has("Content-Length") == (step.body != nullptr));
    }
    CHECK(server.connectionCount() == 1);
}

TEST_CASE("URL connection runs only in its scheduled modes") {
    LoopbackHttpServer server;
    server.setHandler([](const RecordedRequest& r) { return Reply::text(r.path()); });
    const NSRunLoopMode privateMode = "URLConnectionTestMode";
    auto inPrivate = std::make_shared<Recorder>();
    auto privateConnection =
        NSURLConnection::initWithRequest(NSURLRequest::requestWithURL(server.url("/private")), inPrivate, false);
    privateConnection->scheduleInRunLoop(NSRunLoop::mainRunLoop(), privateMode);
    privateConnection->start();
    auto inDefault = std::make_shared<Recorder>();
    load(server.url("/default"), inDefault);

    REQUIRE(runMainUntil([&] { return inDefault->done.load(); }));
    CHECK(inPrivate->callCount() == 0);
    REQUIRE(NSRunLoop::mainRunLoop()->runUntil([&] { return inPrivate->done.load(); }, 10, privateMode));
    CHECK(inPrivate->body == "/private");
}

TEST_CASE("URL connection scheduled on another thread calls back there") {
    LoopbackHttpServer server;
    server.setHandler([](const RecordedRequest&) { return Reply::text(sample(20000)); });
    auto worker = std::make_shared<NSThread>([] { NSRunLoop::currentRunLoop()->run(); });
    worker->setName("url-loader");
    worker->start();
    REQUIRE(runMainUntil([&] { return worker->isExecuting(); }));

    auto recorder = std::make_shared<Recorder>();
    auto connection = NSURLConnection::initWithRequest(NSURLRequest::requestWithURL(server.url("/far")), recorder, false);
    connection->scheduleInRunLoop(worker->runLoop(), NSDefaultRunLoopMode);
    connection->start();  // from the main thread
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
    CHECK(recorder->body == sample(20000));
    {
        std::lock_guard lock(recorder->mutex_);
        for (const auto& thread : recorder->threads) CHECK(thread == worker);
    }
    worker->runLoop()->performBlock([] { NSRunLoop::currentRunLoop()->stop(); });
    REQUIRE(runMainUntil([&] { return worker->isFinished(); }));
}

namespace {
testsupport::Handler guarded() {
    return testsupport::requireBasicAuth("ann", "s3cret", "Vault",
                                         [](const RecordedRequest&) { return Reply::text("the secret"); });
}
}  // namespace

TEST_CASE("URL connection answers a Basic challenge with the delegate's credential") {
    LoopbackHttpServer server;
    server.route("GET", "/secret", guarded());
    auto recorder = std::make_shared<Recorder>();
    std::shared_ptr<NSURLAuthenticationChallenge> seen;
    recorder->onChallenge = [&](const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
        seen = challenge;
        challenge->sender()->useCredential(
            NSURLCredential::credentialWithUser("ann", "s3cret", NSURLCredentialPersistenceForSession), challenge);
    };
    load(server.url("/secret"), recorder);
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));

    std::vector<std::string> expected{"willSend " + server.url("/secret"), "challenge 0", "response 200", "data",
                                      "cache", "finish"};
    CHECK(recorder->folded() == expected);
    CHECK(recorder->body == "the secret");
    REQUIRE(seen);
    CHECK(seen->protectionSpace()->authenticationMethod() == NSURLAuthenticationMethodHTTPBasic);
    CHECK(seen->protectionSpace()->realm() == "Vault");
    CHECK(seen->protectionSpace()->host() == "127.0.0.1");
    CHECK(seen->protectionSpace()->port() == server.port());
    CHECK(seen->protectionSpace()->protocol() == "http");
    auto failure = std::dynamic_pointer_cast<NSHTTPURLResponse>(seen->failureResponse());
    REQUIRE(failure);
    CHECK(failure->statusCode() == 401);
    auto requests = server.requests();
    REQUIRE(requests.size() == 2);
    CHECK_FALSE(requests[0].headers.has("Authorization"));
    CHECK(requests[1].headers.get("Authorization") == "Basic " + testsupport::base64Encode("ann:s3cret"));
}

TEST_CASE("URL connection counts refused credentials and fails when the challenge is cancelled") {
    LoopbackHttpServer server;
    server.route("GET", "/secret", guarded());
    auto recorder = std::make_shared<Recorder>();
    std::vector<std::shared_ptr<NSURLAuthenticationChallenge>> challenges;
    recorder->onChallenge = [&](const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
        challenges.push_back(challenge);
        if (challenge->previousFailureCount() == 0)
            challenge->sender()->useCredential(
                NSURLCredential::credentialWithUser("ann", "wrong", NSURLCredentialPersistenceNone), challenge);
        else
            challenge->sender()->cancelAuthenticationChallenge(challenge);
    };
    load(server.url("/secret"), recorder);
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
    std::vector<std::string> expected{"willSend " + server.url("/secret"), "challenge 0", "challenge 1", "fail -1012"};
    CHECK(recorder->folded() == expected);
    REQUIRE(challenges.size() == 2);
    REQUIRE(challenges[1]->proposedCredential());
    CHECK(challenges[1]->proposedCredential()->password() == "wrong");
}

TEST_CASE("URL connection hands over the 401 answer without a credential") {
    LoopbackHttpServer server;
    server.route("GET", "/secret", guarded());
    SUBCASE("delegate that does not answer challenges") {
        auto recorder = std::make_shared<Recorder>();
        load(server.url("/secret"), recorder);
        REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
        std::vector<std::string> expected{"willSend " + server.url("/secret"), "response 401", "data", "finish"};
        CHECK(recorder->folded() == expected);
        CHECK(recorder->body == "Authentication required");
        CHECK(recorder->response->valueForHTTPHeaderField("www-authenticate") == "Basic realm=\"Vault\"");
    }
    SUBCASE("delegate that continues without a credential") {
        auto recorder = std::make_shared<Recorder>();
        recorder->onChallenge = [](const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
            challenge->sender()->continueWithoutCredentialForAuthenticationChallenge(challenge);
        };
        load(server.url("/secret"), recorder);
        REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
        std::vector<std::string> expected{"willSend " + server.url("/secret"), "challenge 0", "response 401", "data",
                                          "finish"};
        CHECK(recorder->folded() == expected);
    }
    CHECK(server.requestCount() == 1);
}

TEST_CASE("URL connection waits for a challenge answered later from another thread") {
    LoopbackHttpServer server;
    server.route("GET", "/secret", guarded());
    auto recorder = std::make_shared<Recorder>();
    std::shared_ptr<NSURLAuthenticationChallenge> pending;
    recorder->onChallenge = [&](const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) { pending = challenge; };
    load(server.url("/secret"), recorder);
    REQUIRE(runMainUntil([&] { return pending != nullptr; }));
    std::thread answering([challenge = pending] {
        challenge->sender()->useCredential(
            NSURLCredential::credentialWithUser("ann", "s3cret", NSURLCredentialPersistenceForSession), challenge);
    });
    answering.join();
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
    CHECK(recorder->body == "the secret");
}

TEST_CASE("URL connection keeps itself and its delegate alive while loading and lets go after") {
    LoopbackHttpServer server;
    server.route("GET", "/x", Reply::text(sample(3000)).trickle(1000, 5));
    std::atomic<bool> finished{false};
    struct Finisher : NSURLConnectionDelegate {
        std::atomic<bool>* flag;
        void connectionDidFinishLoading(const NSURLConnectionPtr&) override { *flag = true; }
    };
    auto delegate = std::make_shared<Finisher>();
    delegate->flag = &finished;
    std::weak_ptr<Finisher> weakDelegate = delegate;
    std::weak_ptr<NSURLConnection> weakConnection =
        NSURLConnection::connectionWithRequest(NSURLRequest::requestWithURL(server.url("/x")), delegate);
    delegate.reset();
    CHECK_FALSE(weakDelegate.expired());
    CHECK_FALSE(weakConnection.expired());
    REQUIRE(runMainUntil([&] { return finished.load(); }));
    // Both are let go once loading ended.
    REQUIRE(runMainUntil([&] { return weakDelegate.expired() && weakConnection.expired(); }));
}

TEST_CASE("URL connection offers only storable GET answers to the cache") {
    LoopbackHttpServer server;
    server.route("GET", "/nostore", Reply::text("private").header("Cache-Control", "no-store"));
    server.route("GET", "/missing", Reply::withStatus(404, "nope"));
    server.route("HEAD", "/head", Reply::text("not sent"));
    for (const char* path : {"/nostore", "/missing"}) {
        CAPTURE(path);
        auto recorder = std::make_shared<Recorder>();
        load(server.url(path), recorder);
        REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
        auto folded = recorder->folded();
        CHECK(std::find(folded.begin(), folded.end(), "cache") == folded.end());
        CHECK(folded.back() == "finish");
    }
    auto head = NSMutableURLRequest::requestWithURL(server.url("/head"));
    head->setHTTPMethod("HEAD");
    auto recorder = std::make_shared<Recorder>();
    load(head, recorder);
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
    std::vector<std::string> expected{"willSend " + server.url("/head"), "response 200", "finish"};
    CHECK(recorder->folded() == expected);
    CHECK(recorder->response->expectedContentLength() == 8);
}
