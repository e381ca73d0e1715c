// URL protocols in URL loading: a request a registered class claims is answered
// by its instance (never the network), an unclaimed one goes to the loopback
// server, a failing instance fails the load, and cancelling stops the instance.
#include <doctest/doctest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "URLSessionRecorder.h"
#include "platform/foundation/NSURL.h"
#include "platform/net/NSURLConnection.h"
#include "platform/net/NSURLProtocol.h"
#include "platform/runloop/NSThread.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using testsupport::LoopbackHttpServer;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

const std::string kScript = "window.answeredBy = 'the protocol';";

// What the test's protocol instances did, from whatever thread they ran on.
struct ProtocolLog {
    std::mutex mutex;
    std::vector<std::string> events;
    std::vector<std::shared_ptr<NSThread>> threads;
    std::shared_ptr<NSURLRequest> request;
    std::shared_ptr<NSURLProtocolClient> client;

    void note(std::string event) {
        std::lock_guard lock(mutex);
        events.push_back(std::move(event));
        threads.push_back(NSThread::currentThread());
    }
    std::vector<std::string> copy() {
        std::lock_guard lock(mutex);
        return events;
    }
    std::shared_ptr<NSURLProtocolClient> takeClient() {
        std::lock_guard lock(mutex);
        return std::move(client);
    }
};

// Claims requests whose last path component ends in ".js" and answers by its
// plan: the script (in two pieces), an error, or nothing until stopped.
class ScriptProtocol : public NSURLProtocol {
public:
    enum class Plan { Answer, Fail, Hang };

    ScriptProtocol(std::shared_ptr<NSURLRequest> request, std::shared_ptr<NSURLProtocolClient> client,
                   std::shared_ptr<ProtocolLog> log, Plan plan)
        : NSURLProtocol(std::move(request), nullptr, std::move(client)), log_(std::move(log)), plan_(plan) {}

    void startLoading() override {
        log_->note("start");
        {
            std::lock_guard lock(log_->mutex);
            log_->request = request();
            log_->client = client();
        }
        switch (plan_) {
            case Plan::Answer: {
                auto response = std::make_shared<NSURLResponse>(request()->URL(), "text/javascript",
                                                                static_cast<std::int64_t>(kScript.size()), "utf-8");
                client()->didReceiveResponse(*this, response, NSURLCacheStorageNotAllowed);
                client()->didLoadData(*this, Data(kScript.begin(), kScript.begin() + 10));
                client()->didLoadData(*this, Data(kScript.begin() + 10, kScript.end()));
                client()->didFinishLoading(*this);
                break;
            }
            case Plan::Fail:
                client()->didFailWithError(*this, *NSError::make("ScriptProtocolDomain", 7, "no script here"));
                break;
            case Plan::Hang: break;
        }
    }
    void stopLoading() override { log_->note("stop"); }

private:
    std::shared_ptr<ProtocolLog> log_;
    Plan plan_;
};

// Registers the class for the test's lifetime.
struct RegisteredScriptProtocol {
    std::shared_ptr<ProtocolLog> log = std::make_shared<ProtocolLog>();

    explicit RegisteredScriptProtocol(ScriptProtocol::Plan plan) {
        auto log = this->log;
        NSURLProtocol::Class protocolClass{
            "ScriptProtocol",
            [](const NSURLRequest& request) {
                auto url = NSURL::URLWithString(request.URL());
                return url && url->pathExtension() == "js";
            },
            [log, plan](const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<NSCachedURLResponse>&,
                        const std::shared_ptr<NSURLProtocolClient>& client) {
                return std::make_shared<ScriptProtocol>(request, client, log, plan);
            },
            {"script.js"}};
        REQUIRE(NSURLProtocol::registerClass(std::move(protocolClass)));
    }
    ~RegisteredScriptProtocol() { NSURLProtocol::unregisterClass("ScriptProtocol"); }
};

// Keeps what a connection told its delegate.
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
    void connectionDidFinishLoading(const NSURLConnectionPtr&) override {
        note("finish");
        done = true;
    }
    void connectionDidFailWithError(const NSURLConnectionPtr&, const NSErrorPtr& e) override {
        note("fail");
        error = e;
        done = true;
    }

    std::atomic<bool> done{false};
    std::vector<std::string> calls;
    bool allOnMain = true;
    std::shared_ptr<NSURLResponse> response;
    std::string body;
    NSErrorPtr error;

private:
    void note(const std::string& call) {
        // Folds consecutive data calls.
        if (calls.empty() || calls.back() != call) calls.push_back(call);
        allOnMain = allOnMain && NSThread::isMainThread();
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
    RegisteredScriptProtocol registered(ScriptProtocol::Plan::Answer);
    CHECK(NSURLProtocol::claimedLastPathComponents().count("script.js") == 1);
    CHECK(NSURLConnection::canHandleRequest(NSURLRequest::requestWithURL("custom-scheme://host/a.js")));
    CHECK_FALSE(NSURLConnection::canHandleRequest(NSURLRequest::requestWithURL("custom-scheme://host/a.html")));

    struct Case {
        std::string url;
        std::string body, MIMEType;
        bool byProtocol;
    };
    const std::vector<Case> cases{
        {server.url("/script.js?v=2"), kScript, "text/javascript", true},
        {"custom-scheme://anywhere/dir/other.js", kScript, "text/javascript", true},
        {server.url("/page.html"), "<p>page</p>", "text/html", false},
    };
    for (const auto& c : cases) {
        CAPTURE(c.url);
        auto before = registered.log->copy().size();
        auto outcome = std::make_shared<Outcome>();
        auto connection = load(c.url, outcome);
        REQUIRE_MESSAGE(runMainUntil([&] { return outcome->done.load(); }), "the load to end");
        CHECK(outcome->calls == std::vector<std::string>{"response", "data", "finish"});
        CHECK(outcome->allOnMain);
        CHECK_FALSE(outcome->error);
        CHECK(outcome->body == c.body);
        REQUIRE(outcome->response);
        CHECK(outcome->response->MIMEType() == c.MIMEType);
        CHECK(outcome->response->URL() == c.url);
        auto events = registered.log->copy();
        if (c.byProtocol) {
            // Started and then stopped once the load ended, on the loading thread.
            CHECK(std::vector<std::string>(events.begin() + static_cast<long>(before), events.end()) ==
                  std::vector<std::string>{"start", "stop"});
            std::lock_guard lock(registered.log->mutex);
            REQUIRE(registered.log->request);
            CHECK(registered.log->request->URL() == c.url);
            for (const auto& thread : registered.log->threads) CHECK(thread == NSThread::mainThread());
        } else {
            CHECK(events.size() == before);
        }
    }
    // The server saw only the unclaimed request.
    REQUIRE(server.requestCount() == 1);
    CHECK(server.requests()[0].target == "/page.html");
}

TEST_CASE("URL connection: a failing protocol fails the load with its error, cancelling stops the protocol") {
    LoopbackHttpServer server;
    {
        RegisteredScriptProtocol registered(ScriptProtocol::Plan::Fail);
        auto outcome = std::make_shared<Outcome>();
        auto connection = load(server.url("/script.js"), outcome);
        REQUIRE_MESSAGE(runMainUntil([&] { return outcome->done.load(); }), "the failing load to end");
        CHECK(outcome->calls == std::vector<std::string>{"fail"});
        REQUIRE(outcome->error);
        CHECK(outcome->error->domain() == "ScriptProtocolDomain");
        CHECK(outcome->error->code() == 7);
        CHECK(registered.log->copy() == std::vector<std::string>{"start", "stop"});
    }
    {
        // The instance hangs; its client is called from another thread only after
        // the cancel, and nothing of that reaches the delegate.
        RegisteredScriptProtocol registered(ScriptProtocol::Plan::Hang);
        auto outcome = std::make_shared<Outcome>();
        std::weak_ptr<NSURLConnection> weak;
        {
            auto connection = load(server.url("/script.js"), outcome);
            weak = connection;
            REQUIRE_MESSAGE(runMainUntil([&] { return registered.log->copy().size() == 1; }), "the protocol to start");
        }
        // Loading keeps the connection alive without the caller's reference.
        auto connection = weak.lock();
        REQUIRE(connection);
        connection->cancel();
        CHECK(registered.log->copy() == std::vector<std::string>{"start", "stop"});
        std::thread late([&] {
            auto client = registered.log->takeClient();
            ScriptProtocol stray(NSURLRequest::requestWithURL(server.url("/script.js")), nullptr, registered.log,
                                 ScriptProtocol::Plan::Hang);
            client->didReceiveResponse(stray, std::make_shared<NSURLResponse>(server.url("/script.js"), "text/plain", 1, ""),
                                       NSURLCacheStorageNotAllowed);
            client->didLoadData(stray, Data{'x'});
            client->didFinishLoading(stray);
        });
        late.join();
        // Whatever the late calls had posted would run before this.
        std::atomic<bool> marker{false};
        NSRunLoop::mainRunLoop()->performBlock([&] { marker = true; });
        REQUIRE_MESSAGE(runMainUntil([&] { return marker.load(); }), "a pass of the main loop");
        CHECK(outcome->calls.empty());
        connection.reset();
        CHECK(weak.expired());
    }
    CHECK(server.requestCount() == 0);
}

TEST_CASE("URL session: a claimed request is answered by the protocol, after the response decision") {
    sessiontest::SessionFixture f;
    RegisteredScriptProtocol registered(ScriptProtocol::Plan::Answer);
    std::atomic<int> decisions{0};
    f.recorder->disposition = [&](const std::shared_ptr<NSURLResponse>& response) {
        CHECK(response->MIMEType() == "text/javascript");
        ++decisions;
        return NSURLSessionResponseAllow;
    };
    auto task = f.session->dataTaskWithRequest(NSURLRequest::requestWithURL("http://127.0.0.1:9/claimed/script.js"));
    task->resume();
    f.finish(task);
    CHECK(decisions == 1);
    CHECK(f.recorder->outcome(task->taskIdentifier()).body == kScript);
    CHECK_FALSE(f.recorder->outcome(task->taskIdentifier()).error);
    CHECK(registered.log->copy() == std::vector<std::string>{"start", "stop"});
    f.checkCalls();
}
