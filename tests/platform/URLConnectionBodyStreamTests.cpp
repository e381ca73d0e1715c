// Request bodies read from streams as they go out, against the loopback server.
#include <doctest/doctest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/FoundationErrors.h"
#include "platform/foundation/NSData.h"
#include "platform/runloop/NSThread.h"
#include "platform/net/NSURLConnection.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

std::string pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 2654435761u) >> 13);
    return s;
}

// A stream over bytes that can fail after a given count, and tells on which
// thread it was opened and whether it was closed. It cannot make a fresh copy.
class ScriptedStream : public NSInputStream {
public:
    explicit ScriptedStream(std::string bytes, std::optional<std::size_t> failAfter = std::nullopt)
        : bytes_(std::move(bytes)), failAfter_(failAfter) {}

    void open() override {
        status_ = NSStreamStatusOpen;
        openedOn = NSThread::currentThread();
    }
    void close() override {
        status_ = NSStreamStatusClosed;
        closed = true;
    }
    NSStreamStatus streamStatus() const override { return status_; }
    NSErrorPtr streamError() const override { return error_; }
    bool hasBytesAvailable() const override { return status_ == NSStreamStatusOpen; }
    long read(std::uint8_t* buffer, std::size_t maxLength) override {
        if (status_ != NSStreamStatusOpen && status_ != NSStreamStatusAtEnd) return -1;
        if (failAfter_ && offset_ >= *failAfter_) {
            status_ = NSStreamStatusError;
            error_ = NSError::errorWithDomain(NSPOSIXErrorDomain, 5, Value::dictionary());
            return -1;
        }
        std::size_t end = std::min(bytes_.size(), offset_ + maxLength);
        if (failAfter_) end = std::min(end, *failAfter_);
        std::size_t n = end - offset_;
        std::copy(bytes_.begin() + static_cast<long>(offset_), bytes_.begin() + static_cast<long>(end), buffer);
        offset_ = end;
        if (offset_ == bytes_.size()) status_ = NSStreamStatusAtEnd;
        return static_cast<long>(n);
    }

    std::shared_ptr<NSThread> openedOn;
    bool closed = false;

private:
    std::string bytes_;
    std::optional<std::size_t> failAfter_;
    std::size_t offset_ = 0;
    NSStreamStatus status_ = NSStreamStatusNotOpen;
    NSErrorPtr error_;
};

class UploadRecorder : public NSURLConnectionDelegate {
public:
    std::function<std::shared_ptr<NSInputStream>(const std::shared_ptr<NSURLRequest>&)> onNeedNewBodyStream;

    std::shared_ptr<NSInputStream> connectionNeedNewBodyStream(const NSURLConnectionPtr& connection,
                                                             const std::shared_ptr<NSURLRequest>& request) override {
        ++newStreamsAsked;
        if (onNeedNewBodyStream) return onNeedNewBodyStream(request);
        return NSURLConnectionDelegate::connectionNeedNewBodyStream(connection, request);
    }
    void connectionDidSendBodyData(const NSURLConnectionPtr&, std::int64_t written, std::int64_t totalWritten,
                                   std::int64_t expected) override {
        progress.push_back({written, totalWritten, expected});
        progressThreads.push_back(NSThread::currentThread());
    }
    void connectionDidReceiveResponse(const NSURLConnectionPtr&, const std::shared_ptr<NSURLResponse>& r) override {
        response = std::dynamic_pointer_cast<NSHTTPURLResponse>(r);
    }
    void connectionDidReceiveData(const NSURLConnectionPtr&, const Data& data) override {
        body.append(data.begin(), data.end());
    }
    void connectionDidFinishLoading(const NSURLConnectionPtr&) override { done = true; }
    void connectionDidFailWithError(const NSURLConnectionPtr&, const NSErrorPtr& e) override {
        error = e;
        done = true;
    }

    struct Progress {
        std::int64_t written, total, expected;
    };
    std::atomic<bool> done{false};
    int newStreamsAsked = 0;
    std::vector<Progress> progress;
    std::vector<std::shared_ptr<NSThread>> progressThreads;
    std::shared_ptr<NSHTTPURLResponse> response;
    std::string body;
    NSErrorPtr error;
};

std::shared_ptr<NSMutableURLRequest> postStream(const std::string& url, std::shared_ptr<NSInputStream> stream,
                                                std::optional<std::size_t> contentLength) {
    auto request = NSMutableURLRequest::requestWithURL(url);
    request->setHTTPMethod("POST");
    request->setValue("application/octet-stream", "Content-Type");
    if (contentLength) request->setValue(std::to_string(*contentLength), "Content-Length");
    request->setHTTPBodyStream(std::move(stream));
    return request;
}

void send(const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<UploadRecorder>& recorder) {
    auto connection = NSURLConnection::initWithRequest(request, recorder, false);
    connection->scheduleInRunLoop(NSRunLoop::mainRunLoop(), NSRunLoopCommonModes);
    connection->start();
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }, 30));
}

void checkProgress(const UploadRecorder& recorder, std::int64_t total, std::int64_t expected) {
    REQUIRE_FALSE(recorder.progress.empty());
    std::int64_t sum = 0, previous = 0;
    for (const auto& p : recorder.progress) {
        CHECK(p.written > 0);
        sum += p.written;
        CHECK(p.total == sum);
        CHECK(p.total > previous);
        CHECK(p.expected == expected);
        previous = p.total;
    }
    CHECK(recorder.progress.back().total == total);
    for (const auto& thread : recorder.progressThreads) CHECK(thread == NSThread::mainThread());
}

struct EchoServer {
    EchoServer() {
        server.route("*", "/upload", [](const RecordedRequest& r) {
            return Reply::withStatus(201, std::to_string(r.body.size()) + (r.bodyWasChunked ? " chunked" : " sized"));
        });
    }
    LoopbackHttpServer server;
};

}  // namespace

TEST_CASE("Body stream from a 3 MiB file goes out whole with its Content-Length") {
    testsupport::TempHome home;
    std::string content = pattern(3 * 1024 * 1024);
    std::string path = home.path() + "/upload.bin";
    REQUIRE(writeToFile(dataFromString(content), path, true));
    EchoServer echo;
    auto recorder = std::make_shared<UploadRecorder>();
    send(postStream(echo.server.url("/upload"), NSInputStream::inputStreamWithFileAtPath(path), content.size()),
         recorder);

    CHECK_FALSE(recorder->error);
    CHECK(recorder->body == std::to_string(content.size()) + " sized");
    auto recorded = echo.server.lastRequest();
    REQUIRE(recorded);
    CHECK(recorded->headers.get("Content-Length") == std::to_string(content.size()));
    CHECK_FALSE(recorded->headers.has("Transfer-Encoding"));
    CHECK(recorded->headers.get("Content-Type") == "application/octet-stream");
    CHECK(recorded->body == content);
    checkProgress(*recorder, static_cast<std::int64_t>(content.size()), static_cast<std::int64_t>(content.size()));
}

TEST_CASE("Body stream from a 3 MiB file without a length goes out chunked") {
    testsupport::TempHome home;
    std::string content = pattern(3 * 1024 * 1024 + 17);
    std::string path = home.path() + "/upload.bin";
    REQUIRE(writeToFile(dataFromString(content), path, true));
    EchoServer echo;
    auto recorder = std::make_shared<UploadRecorder>();
    auto request = postStream(echo.server.url("/upload"), NSInputStream::inputStreamWithFileAtPath(path), std::nullopt);
    request->setHTTPMethod("PUT");
    send(request, recorder);

    CHECK_FALSE(recorder->error);
    CHECK(recorder->body == std::to_string(content.size()) + " chunked");
    auto recorded = echo.server.lastRequest();
    REQUIRE(recorded);
    CHECK(recorded->method == "PUT");
    CHECK_FALSE(recorded->headers.has("Content-Length"));
    CHECK(recorded->body == content);
    checkProgress(*recorder, static_cast<std::int64_t>(content.size()), -1);
}

TEST_CASE("Body stream is opened on the scheduled thread and closed at the end") {
    EchoServer echo;
    auto stream = std::make_shared<ScriptedStream>(pattern(70000));
    auto recorder = std::make_shared<UploadRecorder>();
    send(postStream(echo.server.url("/upload"), stream, 70000), recorder);
    CHECK_FALSE(recorder->error);
    CHECK(stream->openedOn == NSThread::mainThread());
    CHECK(stream->closed);
    REQUIRE(echo.server.lastRequest());
    CHECK(echo.server.lastRequest()->body == pattern(70000));
}

TEST_CASE("Body stream that fails fails the request with the stream's error") {
    EchoServer echo;
    SUBCASE("with a length") {
        auto recorder = std::make_shared<UploadRecorder>();
        send(postStream(echo.server.url("/upload"), std::make_shared<ScriptedStream>(pattern(500000), 200000), 500000),
             recorder);
        REQUIRE(recorder->error);
        CHECK(recorder->error->domain() == NSPOSIXErrorDomain);
        CHECK(recorder->error->code() == 5);
    }
    SUBCASE("chunked") {
        auto recorder = std::make_shared<UploadRecorder>();
        send(postStream(echo.server.url("/upload"), std::make_shared<ScriptedStream>(pattern(500000), 1000),
                        std::nullopt),
             recorder);
        REQUIRE(recorder->error);
        CHECK(recorder->error->domain() == NSPOSIXErrorDomain);
    }
    SUBCASE("a file that cannot be opened") {
        auto recorder = std::make_shared<UploadRecorder>();
        send(postStream(echo.server.url("/upload"), NSInputStream::inputStreamWithFileAtPath("/nonexistent/quorvane"),
                        std::nullopt),
             recorder);
        REQUIRE(recorder->error);
        CHECK(recorder->error->domain() != NSURLErrorDomain);
    }
    CHECK(echo.server.requestCount() == 0);
}

TEST_CASE("Body stream shorter than its Content-Length fails as exhausted") {
    EchoServer echo;
    auto recorder = std::make_shared<UploadRecorder>();
    send(postStream(echo.server.url("/upload"), std::make_shared<ScriptedStream>(pattern(1000)), 5000), recorder);
    REQUIRE(recorder->error);
    CHECK(recorder->error->domain() == NSURLErrorDomain);
    CHECK(recorder->error->code() == NSURLErrorRequestBodyStreamExhausted);
    CHECK(echo.server.requestCount() == 0);
}

TEST_CASE("Body stream longer than its Content-Length sends only that many bytes") {
    EchoServer echo;
    auto recorder = std::make_shared<UploadRecorder>();
    send(postStream(echo.server.url("/upload"), std::make_shared<ScriptedStream>(pattern(9000)), 4000), recorder);
    CHECK_FALSE(recorder->error);
    REQUIRE(echo.server.lastRequest());
    CHECK(echo.server.lastRequest()->body == pattern(9000).substr(0, 4000));
}

TEST_CASE("Body stream is sent again on a 307 from a fresh copy") {
    EchoServer echo;
    echo.server.route("POST", "/moved", Reply::redirect(307, "/upload"));
    std::string content = pattern(100000);
    SUBCASE("the stream's own copy") {
        auto recorder = std::make_shared<UploadRecorder>();
        send(postStream(echo.server.url("/moved"), NSInputStream::inputStreamWithData(dataFromString(content)),
                        content.size()),
             recorder);
        CHECK_FALSE(recorder->error);
        CHECK(recorder->newStreamsAsked == 1);
        CHECK(recorder->body == std::to_string(content.size()) + " sized");
        auto requests = echo.server.requests();
        REQUIRE(requests.size() == 2);
        CHECK(requests[0].body == content);
        CHECK(requests[1].body == content);
        CHECK(requests[1].method == "POST");
    }
    SUBCASE("a stream that cannot copy itself and a delegate that gives none") {
        auto recorder = std::make_shared<UploadRecorder>();
        send(postStream(echo.server.url("/moved"), std::make_shared<ScriptedStream>(content), content.size()),
             recorder);
        REQUIRE(recorder->error);
        CHECK(recorder->error->code() == NSURLErrorRequestBodyStreamExhausted);
        CHECK(echo.server.requestCount() == 1);
    }
    SUBCASE("the delegate's new stream") {
        auto recorder = std::make_shared<UploadRecorder>();
        recorder->onNeedNewBodyStream = [&](const std::shared_ptr<NSURLRequest>& request) {
            CHECK(request->URL() == echo.server.url("/upload"));
            return std::make_shared<ScriptedStream>(content);
        };
        send(postStream(echo.server.url("/moved"), std::make_shared<ScriptedStream>(content), content.size()),
             recorder);
        CHECK_FALSE(recorder->error);
        auto requests = echo.server.requests();
        REQUIRE(requests.size() == 2);
        CHECK(requests[1].body == content);
    }
}

TEST_CASE("Body stream is dropped when a 303 turns the POST into a GET") {
    EchoServer echo;
    echo.server.route("POST", "/form", Reply::redirect(303, "/upload"));
    auto recorder = std::make_shared<UploadRecorder>();
    send(postStream(echo.server.url("/form"), std::make_shared<ScriptedStream>(pattern(3000)), 3000), recorder);
    CHECK_FALSE(recorder->error);
    CHECK(recorder->newStreamsAsked == 0);
    auto requests = echo.server.requests();
    REQUIRE(requests.size() == 2);
    CHECK(requests[0].body == pattern(3000));
    CHECK(requests[1].method == "GET");
    CHECK(requests[1].body.empty());
}

TEST_CASE("Body stream replaces the body data of a request and the other way round") {
    auto request = NSMutableURLRequest::requestWithURL("http://127.0.0.1/x");
    request->setHTTPBody(dataFromString("abc"));
    auto stream = NSInputStream::inputStreamWithData(dataFromString("def"));
    request->setHTTPBodyStream(stream);
    CHECK_FALSE(request->HTTPBody());
    CHECK(request->HTTPBodyStream() == stream);
    auto copy = request->copy();
    CHECK(copy->HTTPBodyStream() == stream);
    CHECK(copy->isEqual(*request));
    auto other = request->mutableCopy();
    other->setHTTPBodyStream(NSInputStream::inputStreamWithData(dataFromString("def")));
    CHECK_FALSE(other->isEqual(*request));
    request->setHTTPBody(dataFromString("abc"));
    CHECK_FALSE(request->HTTPBodyStream());
}

TEST_CASE("URL connection unscheduled from its only mode starts in the current loop's default mode") {
    EchoServer echo;
    auto recorder = std::make_shared<UploadRecorder>();
    auto connection = NSURLConnection::initWithRequest(NSURLRequest::requestWithURL(echo.server.url("/upload")),
                                                       recorder, false);
    connection->scheduleInRunLoop(NSRunLoop::mainRunLoop(), "never-run");
    connection->unscheduleFromRunLoop(NSRunLoop::mainRunLoop(), "never-run");
    connection->start();
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
    CHECK_FALSE(recorder->error);
    CHECK(recorder->body == "0 sized");
}

namespace {
class BasicUploader : public UploadRecorder {
public:
    bool respondsToWillSendRequestForAuthenticationChallenge() const override { return true; }
    void connectionWillSendRequestForAuthenticationChallenge(
        const NSURLConnectionPtr&, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override {
        ++challenges;
        challenge->sender()->useCredential(
            NSURLCredential::credentialWithUser("ann", "s3cret", NSURLCredentialPersistenceNone), challenge);
    }
    int challenges = 0;
};
}  // namespace

TEST_CASE("Body stream is sent again with the credential after a Basic challenge") {
    LoopbackHttpServer server;
    server.route("POST", "/vault",
                 testsupport::requireBasicAuth("ann", "s3cret", "Vault", [](const RecordedRequest& r) {
                     return Reply::text("stored " + std::to_string(r.body.size()));
                 }));
    std::string content = pattern(40000);
    auto recorder = std::make_shared<BasicUploader>();
    send(postStream(server.url("/vault"), NSInputStream::inputStreamWithData(dataFromString(content)), std::nullopt),
         recorder);
    CHECK_FALSE(recorder->error);
    CHECK(recorder->challenges == 1);
    CHECK(recorder->newStreamsAsked == 1);
    CHECK(recorder->body == "stored 40000");
    auto requests = server.requests();
    REQUIRE(requests.size() == 2);
    CHECK(requests[0].body == content);
    CHECK(requests[1].body == content);
    CHECK(requests[1].headers.has("Authorization"));
}
