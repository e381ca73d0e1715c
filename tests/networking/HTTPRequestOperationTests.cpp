// HTTP request operations on the wire: callbacks and their order, serializer errors,
// cancellation, redirects, bad input, loads without a response and the memory
// limit. Pause and resume are in RequestOperationResumeTests.cpp.
#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "OperationTestSupport.h"
#include "platform/dispatch/Dispatch.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using namespace optest;
using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;

TEST_SUITE("http request operation") {

TEST_CASE("a GET succeeds on the main queue with the body and posts start and finish") {
    // The main-queue work of an operation goes over in batches: whatever the
    // batching, the start notification comes first, every progress report
    // before the finish notification, and the success callback last.
    struct Case {
        const char* name;
        std::string body;
        Reply reply;
    };
    const std::string large = sample(48000);
    for (const Case& c : std::vector<Case>{
             {"one piece", "h\xC3\xA9llo", Reply::text("h\xC3\xA9llo")},
             {"in pieces", large, Reply::text(large, "application/octet-stream").trickle(16000, 20)}}) {
        CAPTURE(c.name);
        LoopbackHttpServer server;
        server.route("GET", "/hello", c.reply);
        auto op = get(server.url("/hello"));
        NotificationCounter notes(op);
        std::vector<std::string> order;  // main thread only
        auto center = NSNotificationCenter::defaultCenter();
        auto startToken = center->addObserverForName(NLNetworkingOperationDidStartNotification, op, nullptr,
                                                     [&](const NSNotification&) { order.push_back("start"); });
        auto finishToken = center->addObserverForName(NLNetworkingOperationDidFinishNotification, op, nullptr,
                                                      [&](const NSNotification&) { order.push_back("finish"); });
        Outcome out;
        op->setCompletionBlockWithSuccess(
            [&](const std::shared_ptr<NLHTTPRequestOperation>&, const Value& v) {
                order.push_back("success");
                out.object = v;
                ++out.successes;
            },
            [&](const std::shared_ptr<NLHTTPRequestOperation>&, const NSErrorPtr&) { ++out.failures; });
        std::atomic<bool> progressOffMain{false};
        std::int64_t lastTotal = 0, lastExpected = 0, summed = 0;
        bool totalsGrow = true;
        op->setDownloadProgressBlock([&](std::uint64_t bytes, std::int64_t total, std::int64_t expected) {
            if (!NSThread::isMainThread()) progressOffMain = true;
            order.push_back("progress");
            summed += static_cast<std::int64_t>(bytes);
            totalsGrow = totalsGrow && total > lastTotal && total == summed;
            lastTotal = total;
            lastExpected = expected;
        });
        op->start();
        CHECK(op->isExecuting());
        REQUIRE(runMainUntil([&] { return out.done() && notes.finishes == 1; }));
        center->removeObserver(startToken.get());
        center->removeObserver(finishToken.get());
        CHECK(out.successes == 1);
        CHECK(out.failures == 0);
        REQUIRE(out.object.data());
        CHECK(*out.object.data() == bytes(c.body));
        CHECK(op->isFinished());
        CHECK(notes.starts == 1);
        CHECK_FALSE(notes.offMain);
        CHECK_FALSE(progressOffMain);
        const auto size = static_cast<std::int64_t>(c.body.size());
        CHECK(totalsGrow);
        CHECK(lastTotal == size);
        CHECK(lastExpected == size);
        CHECK(op->totalBytesRead() == size);
        REQUIRE(order.size() >= 4);
        CHECK(order.front() == "start");
        CHECK(std::all_of(order.begin() + 1, order.end() - 2, [](const std::string& e) { return e == "progress"; }));
        CHECK(order[order.size() - 2] == "finish");
        CHECK(order.back() == "success");
        CHECK(op->responseString() == std::optional<std::string>(c.body));
        CHECK(op->responseStringEncoding() == NSUTF8StringEncoding);
    }
}

TEST_CASE("the connection callbacks run on the Netline thread") {
    LoopbackHttpServer server;
    server.route("GET", "/a", Reply::text("a"));
    auto op = get(server.url("/a"));
    std::atomic<bool> onNetworkThread{false};
    op->setRedirectResponseBlock([&](const NSURLConnectionPtr&, const std::shared_ptr<NSURLRequest>& request,
                                     const std::shared_ptr<NSURLResponse>&) {
        onNetworkThread = NSThread::currentThread() == NLURLConnectionOperation::networkRequestThread() &&
                          NSThread::currentThread()->name() == "Netline";
        return request;
    });
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    CHECK(onNetworkThread);
    CHECK(NLURLConnectionOperation::networkRequestThread() == NLURLConnectionOperation::networkRequestThread());
}

TEST_CASE("the body is serialized where the load finished and reaches success once, shared and not copied") {
    // Records the thread each serialization runs on.
    struct RecordingSerializer : NLJSONResponseSerializer {
        std::atomic<int> calls{0};
        std::atomic<bool> onNetworkThread{false};
        Value responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response, const NLResponseBody& data,
                                        NSErrorPtr* error) override {
            ++calls;
            onNetworkThread = NSThread::currentThread() == NLURLConnectionOperation::networkRequestThread();
            return NLJSONResponseSerializer::responseObjectForResponse(response, data, error);
        }
    };
    LoopbackHttpServer server;
    server.route("GET", "/json", Reply::text(R"({"a": 1})", "application/json"));
    const std::string large = sample(3 * 1024 * 1024);
    server.route("GET", "/large", Reply::text(large, "application/octet-stream"));

    auto serializer = std::make_shared<RecordingSerializer>();
    auto json = get(server.url("/json"));
    json->setResponseSerializer(serializer);
    Outcome jsonOut;
    jsonOut.install(json);
    json->start();
    REQUIRE(runMainUntil([&] { return jsonOut.done(); }));
    CHECK(jsonOut.successes == 1);
    CHECK_FALSE(jsonOut.offMain);
    CHECK(jsonOut.object["a"].intValue() == 1);
    CHECK(serializer->calls == 1);
    CHECK(serializer->onNetworkThread);

    // The base serializer's object is the operation's own body.
    auto op = get(server.url("/large"));
    const Data* seen = nullptr;
    op->setCompletionBlockWithSuccess(
        [&](const std::shared_ptr<NLHTTPRequestOperation>&, const Value& object) { seen = object.data(); }, nullptr);
    op->start();
    REQUIRE(runMainUntil([&] { return seen != nullptr; }));
    auto body = op->sharedResponseData();
    REQUIRE(body);
    CHECK(seen == body->data());
    CHECK(*op->responseData() == bytes(large));
}

TEST_CASE("a 404 reaches failure with the status error and the body stays readable") {
    LoopbackHttpServer server;
    server.route("GET", "/missing", Reply::withStatus(404, "no such thing"));
    auto op = get(server.url("/missing"));
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    CHECK(out.successes == 0);
    REQUIRE(out.failures == 1);
    CHECK(out.error->domain() == "com.netline.error.serialization.response");
    CHECK(out.error->code() == -1011);
    CHECK(out.error->localizedDescription() ==
          "Request failed: " + NSHTTPURLResponse::localizedStringForStatusCode(404) + " (404)");
    REQUIRE(op->responseObject().data());
    CHECK(*op->responseObject().data() == bytes("no such thing"));
    CHECK(op->error() == op->responseSerializationError());
}

TEST_CASE("an empty 200 answer is a success") {
    LoopbackHttpServer server;
    server.route("GET", "/empty", Reply::withStatus(200));
    auto op = get(server.url("/empty"));
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    CHECK(out.successes == 1);
    CHECK(out.failures == 0);
}

TEST_CASE("the JSON serializer on the wire reports wrong status and content type") {
    LoopbackHttpServer server;
    server.route("GET", "/html", Reply::withStatus(500, "<html>down</html>").header("Content-Type", "text/html"));
    server.route("GET", "/json", Reply::text("{\"ok\":true}", "application/json"));
    server.route("GET", "/truncated", Reply::text("{\"a\": [1, 2", "application/json"));

    auto html = get(server.url("/html"));
    html->setResponseSerializer(NLJSONResponseSerializer::serializer());
    Outcome htmlOut;
    htmlOut.install(html);
    html->start();
    auto json = get(server.url("/json"));
    json->setResponseSerializer(NLJSONResponseSerializer::serializer());
    Outcome jsonOut;
    jsonOut.install(json);
    json->start();
    auto truncated = get(server.url("/truncated"));
    truncated->setResponseSerializer(NLJSONResponseSerializer::serializer());
    Outcome truncatedOut;
    truncatedOut.install(truncated);
    truncated->start();

    REQUIRE(runMainUntil([&] { return htmlOut.done() && jsonOut.done() && truncatedOut.done(); }));
    REQUIRE(htmlOut.failures == 1);
    CHECK(htmlOut.error->code() == -1011);
    REQUIRE(htmlOut.error->underlyingError());
    CHECK(htmlOut.error->underlyingError()->code() == -1016);
    REQUIRE(jsonOut.successes == 1);
    CHECK(jsonOut.object["ok"].boolValue());
    REQUIRE(truncatedOut.failures == 1);
    CHECK(truncatedOut.error->domain() == NSCocoaErrorDomain);
    CHECK(truncatedOut.error->code() == 3840);
}

TEST_CASE("changing the serializer after the finish serializes again") {
    LoopbackHttpServer server;
    server.route("GET", "/json", Reply::text("[1,2,3]", "application/json"));
    auto op = get(server.url("/json"));
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    CHECK(op->responseObject().isData());
    op->setResponseSerializer(NLJSONResponseSerializer::serializer());
    CHECK(op->responseObject().count() == 3);
}

TEST_CASE("success and failure run on the completion queue when one is set") {
    LoopbackHttpServer server;
    server.route("GET", "/a", Reply::text("a"));
    auto op = get(server.url("/a"));
    auto queue = dispatch_queue_create("test.completion");
    auto group = dispatch_group_create();
    op->setCompletionQueue(queue);
    op->setCompletionGroup(group);
    std::atomic<bool> ran{false};
    std::string label;
    std::mutex mutex;
    op->setCompletionBlockWithSuccess(
        [&](const std::shared_ptr<NLHTTPRequestOperation>&, const Value&) {
            std::lock_guard lock(mutex);
            if (auto current = DispatchQueue::current()) label = current->label();
            ran = true;
        },
        nullptr);
    op->start();
    REQUIRE(runMainUntil([&] { return ran.load(); }));
    REQUIRE(runMainUntil([&] { return dispatch_group_wait(group, DISPATCH_TIME_NOW) == 0; }));
    std::lock_guard lock(mutex);
    CHECK(label == "test.completion");
}

TEST_CASE("a cancel from another thread ends in the cancellation failure and nothing after it") {
    LoopbackHttpServer server;
    // Held after 2000 bytes: the cancel always finds the transfer running.
    server.route("GET", "/slow", Reply::text(sample(200000), "application/octet-stream").stall(2000));
    auto op = get(server.url("/slow"));
    Outcome out;
    out.install(op);
    std::atomic<bool> cancelReturned{false};
    std::atomic<int> progressAfterCancel{0};
    op->setDownloadProgressBlock([&](std::uint64_t, std::int64_t, std::int64_t) {
        if (cancelReturned) ++progressAfterCancel;
    });
    op->start();
    REQUIRE(runMainUntil([&] { return op->totalBytesRead() > 0; }));
    std::thread canceller([&] {
        op->cancel();
        cancelReturned = true;
    });
    canceller.join();
    REQUIRE(runMainUntil([&] { return out.done() && op->isFinished(); }));
    CHECK(out.successes == 0);
    REQUIRE(out.failures == 1);
    CHECK(out.error->domain() == NSURLErrorDomain);
    CHECK(out.error->code() == NSURLErrorCancelled);
    CHECK(out.error->userInfo()[NSURLErrorFailingURLErrorKey].stringValue() == server.url("/slow"));
    CHECK(progressAfterCancel == 0);
    CHECK(op->isCancelled());
}

TEST_CASE("redirects can be vetoed and rewritten") {
    LoopbackHttpServer server;
    server.route("GET", "/old", Reply::redirect(302, "/new"));
    server.route("GET", "/new", Reply::text("new"));
    server.route("GET", "/other", Reply::text("other"));

    auto vetoed = get(server.url("/old"));
    vetoed->setRedirectResponseBlock([](const NSURLConnectionPtr&, const std::shared_ptr<NSURLRequest>& request,
                                        const std::shared_ptr<NSURLResponse>& redirect) {
        return redirect ? nullptr : request;
    });
    Outcome vetoedOut;
    vetoedOut.install(vetoed);
    vetoed->start();
    REQUIRE(runMainUntil([&] { return vetoedOut.done(); }));
    REQUIRE(vetoedOut.failures == 1);
    CHECK(vetoedOut.error->code() == -1011);
    CHECK(vetoed->response()->statusCode() == 302);

    auto rewritten = get(server.url("/old"));
    const std::string other = server.url("/other");
    rewritten->setRedirectResponseBlock([other](const NSURLConnectionPtr&, const std::shared_ptr<NSURLRequest>& request,
                                                const std::shared_ptr<NSURLResponse>& redirect) {
        if (!redirect) return request;
        auto changed = request->mutableCopy();
        changed->setURL(other);
        return std::static_pointer_cast<NSURLRequest>(changed);
    });
    Outcome rewrittenOut;
    rewrittenOut.install(rewritten);
    rewritten->start();
    REQUIRE(runMainUntil([&] { return rewrittenOut.done(); }));
    REQUIRE(rewrittenOut.successes == 1);
    CHECK(*rewrittenOut.object.data() == bytes("other"));
    for (const auto& r : server.requests()) CHECK(r.path() != "/new");
}

TEST_CASE("malformed URLs and a missing request fail with a URL error") {
    for (const std::string url : {"not a url", "http://[bad", "ftp://127.0.0.1/x", ""}) {
        CAPTURE(url);
        auto op = get(url);
        Outcome out;
        out.install(op);
        op->start();
        REQUIRE(runMainUntil([&] { return out.done(); }));
        REQUIRE(out.failures == 1);
        CHECK(out.error->domain() == NSURLErrorDomain);
        CHECK((out.error->code() == NSURLErrorBadURL || out.error->code() == NSURLErrorUnsupportedURL));
    }
    auto none = NLHTTPRequestOperation::initWithRequest(nullptr);
    Outcome out;
    out.install(none);
    none->start();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    REQUIRE(out.failures == 1);
    CHECK(out.error->code() == NSURLErrorBadURL);
}

TEST_CASE("a server that closes early gives a connection error") {
    LoopbackHttpServer server;
    server.route("GET", "/cut", Reply::text(sample(5000)).drop(1000));
    server.route("GET", "/nothing", Reply::rawBytes(""));
    // Closed inside the header block: no response was delivered.
    server.route("GET", "/headers", Reply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n"));
    server.route("GET", "/status-line", Reply::rawBytes("HTTP/1.1 200 OK\r\n"));
    for (const char* path : {"/cut", "/nothing", "/headers", "/status-line"}) {
        CAPTURE(path);
        auto op = get(server.url(path));
        Outcome out;
        out.install(op);
        op->start();
        REQUIRE(runMainUntil([&] { return out.done(); }));
        CHECK(out.successes == 0);
        REQUIRE(out.failures == 1);
        CHECK(out.error->domain() == NSURLErrorDomain);
    }
}

TEST_CASE("a body kept in memory is limited and a body streamed to a file is not") {
    testsupport::TempHome home;
    LoopbackHttpServer server;
    const std::string body = sample(300000);
    server.route("GET", "/announced", Reply::text(body, "application/octet-stream"));
    server.route("GET", "/chunked", Reply::text(body, "application/octet-stream").chunked(16384));
    struct Case {
        const char* path;
        std::uint64_t limit;
        bool intoFile;
        bool fits;
    };
    const std::vector<Case> cases = {
        {"/announced", 100000, false, false},  // refused at the response
        {"/chunked", 100000, false, false},    // refused once the bytes pass the limit
        {"/chunked", 300000, false, true},     // exactly the limit
        {"/announced", 300000, false, true},
        {"/chunked", 100000, true, true},      // a file is not limited
    };
    for (const auto& c : cases) {
        CAPTURE(c.path);
        CAPTURE(c.limit);
        CAPTURE(c.intoFile);
        auto op = get(server.url(c.path));
        CHECK(op->maximumResponseSize() == 64ull * 1024 * 1024);
        op->setMaximumResponseSize(c.limit);
        const std::string path = home.path() + "/body.bin";
        if (c.intoFile) op->setOutputStream(NSOutputStream::outputStreamToFileAtPath(path, false));
        Outcome out;
        out.install(op);
        op->start();
        REQUIRE(runMainUntil([&] { return out.done(); }));
        if (c.fits) {
            REQUIRE(out.successes == 1);
            if (!c.intoFile) CHECK(*out.object.data() == bytes(body));
        } else {
            REQUIRE(out.failures == 1);
            CHECK(out.error->domain() == NSURLErrorDomain);
            CHECK(out.error->code() == NLURLErrorDataLengthExceedsMaximum);
            CHECK(out.error->userInfo()[NSURLErrorFailingURLErrorKey].stringValue() == server.url(c.path));
            CHECK_FALSE(op->responseData());
        }
    }
}

TEST_CASE("Basic challenges on the wire are answered with the operation's credential") {
    LoopbackHttpServer server;
    server.setHandler(testsupport::requireBasicAuth("user", "secret", "films", [](const RecordedRequest&) {
        return Reply::text("inside");
    }));
    auto op = get(server.url("/private"));
    op->setCredential(NSURLCredential::credentialWithUser("user", "secret", NSURLCredentialPersistenceNone));
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    REQUIRE(out.successes == 1);
    CHECK(*out.object.data() == bytes("inside"));

    auto anonymous = get(server.url("/private"));
    Outcome anonymousOut;
    anonymousOut.install(anonymous);
    anonymous->start();
    REQUIRE(runMainUntil([&] { return anonymousOut.done(); }));
    REQUIRE(anonymousOut.failures == 1);
    CHECK(anonymous->response()->statusCode() == 401);
}

TEST_CASE("an operation started and let go by its caller still completes") {
    LoopbackHttpServer server;
    server.route("GET", "/a", Reply::text("kept alive"));
    Outcome out;
    std::weak_ptr<NLHTTPRequestOperation> weak;
    {
        auto op = get(server.url("/a"));
        weak = op;
        out.install(op);
        op->start();
    }
    REQUIRE(runMainUntil([&] { return out.done(); }));
    REQUIRE(out.successes == 1);
    CHECK(*out.object.data() == bytes("kept alive"));
    // Once its callbacks ran and were cleared, nothing holds the operation.
    CHECK(runMainUntil([&] { return weak.expired(); }));
}

TEST_CASE("upload progress is reported on the main queue up to the body size") {
    LoopbackHttpServer server;
    server.route("POST", "/upload", Reply::text("thanks"));
    auto request = NSMutableURLRequest::requestWithURL(server.url("/upload"));
    request->setHTTPMethod("POST");
    request->setHTTPBody(bytes(sample(100000)));
    auto op = NLHTTPRequestOperation::initWithRequest(request);
    std::atomic<std::int64_t> written{0}, expected{0};
    std::atomic<bool> offMain{false};
    op->setUploadProgressBlock([&](std::uint64_t, std::int64_t total, std::int64_t totalExpected) {
        if (!NSThread::isMainThread()) offMain = true;
        written = total;
        expected = totalExpected;
    });
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return out.done() && written == 100000; }));
    CHECK(out.successes == 1);
    CHECK(expected == 100000);
    CHECK_FALSE(offMain);
    CHECK(server.lastRequest()->body.size() == 100000);
}

TEST_CASE("a body stream set as the input stream is sent") {
    LoopbackHttpServer server;
    server.route("PUT", "/stream", Reply::text("got it"));
    auto request = NSMutableURLRequest::requestWithURL(server.url("/stream"));
    request->setHTTPMethod("PUT");
    auto op = NLHTTPRequestOperation::initWithRequest(request);
    CHECK_FALSE(op->inputStream());
    auto stream = NSInputStream::inputStreamWithData(bytes(sample(5000)));
    op->setInputStream(stream);
    CHECK(op->inputStream() == stream);
    CHECK(op->request() != request);
    CHECK(op->request()->HTTPMethod() == "PUT");
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    CHECK(out.successes == 1);
    REQUIRE(server.lastRequest());
    CHECK(server.lastRequest()->body == sample(5000));
}

TEST_CASE("operations run from an operation queue") {
    LoopbackHttpServer server;
    server.route("GET", "/q", Reply::text("queued"));
    auto queue = std::make_shared<NSOperationQueue>();
    auto op = get(server.url("/q"));
    Outcome out;
    out.install(op);
    queue->addOperation(op);
    REQUIRE(runMainUntil([&] { return out.done(); }));
    CHECK(out.successes == 1);
    REQUIRE(runMainUntil([&] { return queue->operationCount() == 0; }));
}

}  // TEST_SUITE
