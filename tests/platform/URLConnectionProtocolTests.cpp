// URL protocols in URL loading: a request a registered class claims is answered
// by its instance (never the network), an unclaimed one goes to the loopback
// server, a failing instance fails the load, and cancelling stops the instance.
#include <doctest/doctest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ScriptedURLProtocol.h"
#include "URLSessionRecorder.h"
#include "platform/net/NSURLConnection.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using protocoltest::kScript;
using protocoltest::Plan;
using protocoltest::Registered;
using testsupport::LoopbackHttpServer;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

// Keeps what a connection told its delegate (consecutive data calls as one).
class Outcome : public NSURLConnectionDelegate {
public:
    void connectionDidReceiveResponse(const NSURLConnectionPtr&, const std::shared_ptr<NSURLResponse>& r) override {
        note("response");
        response = r;
    }
    void connectionDidReceiveData(const NSURLConnectionPtr&, const Data& data) override {
        note("data");
        body.append(data.begin(), data.end());
    }
    void connectionDidFinishLoading(const NSURLConnectionPtr&) override { note("finish"); }
    void connectionDidFailWithError(const NSURLConnectionPtr&, const NSErrorPtr& e) override {
        note("fail");
        error = e;
    }

    std::atomic<bool> done{false};
    std::vector<std::string> calls;
    bool allOnMain = true;
    std::shared_ptr<NSURLResponse> response;
    std::string body;
    NSErrorPtr error;

private:
    void note(const std::string& call) {
        if (calls.empty() || calls.back() != call) calls.push_back(call);
        allOnMain = allOnMain && NSThread::isMainThread();
        done = call == "finish" || call == "fail";
    }
};

NSURLConnectionPtr load(const std::string& url, const std::shared_ptr<Outcome>& outcome) {
    auto connection = NSURLConnection::initWithRequest(NSURLRequest::requestWithURL(url), outcome, false);
    connection->scheduleInRunLoop(NSRunLoop::mainRunLoop(), NSDefaultRunLoopMode);
    connection->start();
    return connection;
}

}  // namespace

TEST_CASE("URL connection: a claimed request is answered by the protocol, an unclaimed one by the server") {
    LoopbackHttpServer server;
    server.route("GET", "/script.js", Reply::text("from the server", "application/javascript"));
    server.route("GET", "/page.html", Reply::text("<p>page</p>", "text/html"));
    Registered registered({{"/script.js", Plan::Answer}, {"/dir/other.js", Plan::Answer}}, {"script.js"});
    CHECK(NSURLProtocol::claimedLastPathComponents().count("script.js") == 1);
    CHECK(NSURLConnection::canHandleRequest(NSURLRequest::requestWithURL("custom-scheme://host/dir/other.js")));
    CHECK_FALSE(NSURLConnection::canHandleRequest(NSURLRequest::requestWithURL("custom-scheme://host/a.js")));

    struct Case {
        std::string url, body, MIMEType;
        bool byProtocol;
    };
    const std::vector<Case> cases{
        {server.url("/script.js?v=2"), kScript, "text/javascript", true},
        {"custom-scheme://anywhere/dir/other.js", kScript, "text/javascript", true},
        {server.url("/page.html"), "<p>page</p>", "text/html", false},
    };
    for (const auto& c : cases) {
        CAPTURE(c.url);
        registered.log->events.clear();
        auto outcome = std::make_shared<Outcome>();
        auto connection = load(c.url, outcome);
        REQUIRE_MESSAGE(runMainUntil([&] { return outcome->done.load(); }), "the load to end");
        CHECK(outcome->calls == std::vector<std::string>{"response", "data", "finish"});
        CHECK(outcome->allOnMain);
        CHECK(outcome->body == c.body);
        REQUIRE(outcome->response);
        CHECK(outcome->response->MIMEType() == c.MIMEType);
        CHECK(outcome->response->URL() == c.url);
        // Started, then stopped once the load ended, on the loading thread.
        const auto expected = c.byProtocol ? std::vector<std::string>{"start " + c.url + " referer (none)",
                                                                      "stop " + protocoltest::pathOf(c.url)}
                                           : std::vector<std::string>{};
        CHECK(registered.log->copy() == expected);
        for (const auto& thread : registered.log->threads) CHECK(thread == NSThread::mainThread());
    }
    // The server saw only the unclaimed request.
    REQUIRE(server.requestCount() == 1);
    CHECK(server.requests()[0].target == "/page.html");
}

TEST_CASE("URL connection: a failing protocol fails the load with its error, cancelling stops the protocol") {
    const std::string url = "http://127.0.0.1:9/script.js";
    {
        Registered registered({{"/script.js", Plan::Fail}}, {});
        auto outcome = std::make_shared<Outcome>();
        auto connection = load(url, outcome);
        REQUIRE_MESSAGE(runMainUntil([&] { return outcome->done.load(); }), "the failing load to end");
        CHECK(outcome->calls == std::vector<std::string>{"fail"});
        REQUIRE(outcome->error);
        CHECK(outcome->error->domain() == protocoltest::kErrorDomain);
        CHECK(outcome->error->code() == 7);
        CHECK(registered.log->copy().back() == "stop /script.js");
    }
    // The instance hangs; its client is called from another thread only after
    // the cancel, and none of that reaches the delegate.
    Registered registered({{"/script.js", Plan::Hang}}, {});
    auto outcome = std::make_shared<Outcome>();
    std::weak_ptr<NSURLConnection> weak = load(url, outcome);
    REQUIRE_MESSAGE(runMainUntil([&] { return registered.log->copy().size() == 1; }), "the protocol to start");
    // Loading keeps the connection alive without the caller's reference.
    auto connection = weak.lock();
    REQUIRE(connection);
    connection->cancel();
    CHECK(registered.log->copy() == std::vector<std::string>{"start " + url + " referer (none)", "stop /script.js"});
    std::thread late([&] {
        protocoltest::ScriptedProtocol stray(NSURLRequest::requestWithURL(url), nullptr, registered.log, Plan::Hang);
        auto client = registered.log->client;
        client->didReceiveResponse(stray, std::make_shared<NSURLResponse>(url, "text/plain", 1, std::nullopt),
                                   NSURLCacheStorageNotAllowed);
        client->didLoadData(stray, Data{'x'});
        client->didFinishLoading(stray);
    });
    late.join();
    // Whatever the late calls had posted would run before this.
    std::atomic<bool> passed{false};
    NSRunLoop::mainRunLoop()->performBlock([&] { passed = true; });
    REQUIRE_MESSAGE(runMainUntil([&] { return passed.load(); }), "a pass of the main loop");
    CHECK(outcome->calls.empty());
    connection.reset();
    CHECK(weak.expired());
}

TEST_CASE("URL session: a claimed request is answered by the protocol, after the response decision") {
    sessiontest::SessionFixture f;
    Registered registered({{"/claimed/script.js", Plan::Answer}}, {});
    std::atomic<int> decisions{0};
    f.recorder->disposition = [&](const std::shared_ptr<NSURLResponse>& response) {
        CHECK(response->MIMEType() == "text/javascript");
        ++decisions;
        return NSURLSessionResponseAllow;  // the body waited for this answer
    };
    auto task = f.session->dataTaskWithRequest(NSURLRequest::requestWithURL("http://127.0.0.1:9/claimed/script.js"));
    task->resume();
    f.finish(task);
    CHECK(decisions == 1);
    CHECK(f.recorder->outcome(task->taskIdentifier()).body == kScript);
    CHECK_FALSE(f.recorder->outcome(task->taskIdentifier()).error);
    CHECK(registered.log->copy().back() == "stop /claimed/script.js");
    f.checkCalls();
}
