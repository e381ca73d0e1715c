// Hostile and broken replies, and exceptions inside the transfer's callbacks: a
// URL connection fails the load with a clear error, never reports it as loaded
// and never takes the process down; a load that could not find its host leaves
// nothing behind that fails the next loads.
#include <doctest/doctest.h>

#include <atomic>
#include <stdexcept>
#include <mutex>
#include <string>
#include <vector>

#include "platform/net/NSURLConnection.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using testsupport::LoopbackHttpServer;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

// Keeps the outcome of one load: whether a response came, the body, and how it ended.
class Outcome : public NSURLConnectionDelegate {
public:
    bool answersChallenges = false;
    bool respondsToWillSendRequestForAuthenticationChallenge() const override { return answersChallenges; }
    void connectionWillSendRequestForAuthenticationChallenge(
        const NSURLConnectionPtr&, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override {
        realm = challenge->protectionSpace()->realm();
        challenge->sender()->cancelAuthenticationChallenge(challenge);
    }
    void connectionDidReceiveResponse(const NSURLConnectionPtr&, const std::shared_ptr<NSURLResponse>& r) override {
        response = std::dynamic_pointer_cast<NSHTTPURLResponse>(r);
    }
    void connectionDidReceiveData(const NSURLConnectionPtr&, const Data& data) override {
        body.append(data.begin(), data.end());
    }
    void connectionDidFinishLoading(const NSURLConnectionPtr&) override {
        finished = true;
        done = true;
    }
    void connectionDidFailWithError(const NSURLConnectionPtr&, const NSErrorPtr& e) override {
        error = e;
        done = true;
    }

    std::atomic<bool> done{false};
    bool finished = false;
    std::shared_ptr<NSHTTPURLResponse> response;
    std::string body;
    std::string realm;
    NSErrorPtr error;
};

std::shared_ptr<Outcome> loadRaw(const std::string& bytes, bool answersChallenges = false) {
    LoopbackHttpServer server;
    server.setHandler([bytes](const testsupport::RecordedRequest&) { return Reply::rawBytes(bytes); });
    auto outcome = std::make_shared<Outcome>();
    outcome->answersChallenges = answersChallenges;
    auto connection = NSURLConnection::initWithRequest(
        NSURLRequest::requestWithURL(server.url("/reply"), NSURLRequestUseProtocolCachePolicy, 10), outcome, false);
    connection->scheduleInRunLoop(NSRunLoop::mainRunLoop(), NSRunLoopCommonModes);
    connection->start();
    REQUIRE_MESSAGE(runMainUntil([&] { return outcome->done.load(); }), "the load of a raw reply to end");
    return outcome;
}

std::string repeated(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

std::string errorText(const NSErrorPtr& error) {
    return error ? error->userInfo().objectForKey(NSLocalizedDescriptionKey).stringValue() + " / " +
                       error->userInfo().objectForKey(NSLocalizedFailureReasonErrorKey).stringValue()
                 : std::string("(none)");
}

}  // namespace

TEST_CASE("URL connection fails replies that are not whole HTTP answers") {
    const std::string hugeField = "X-Filler: " + std::string(200 * 1024, 'f') + "\r\n";
    const std::string manyFields = repeated("X-Filler: " + std::string(8 * 1024, 'f') + "\r\n", 40);
    struct Case {
        std::string what;
        std::string bytes;
        long code;
    };
    const std::vector<Case> cases{
        {"ends inside the header block", "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n",
         NSURLErrorNetworkConnectionLost},
        {"ends after the status line", "HTTP/1.1 200 OK\r\n", NSURLErrorNetworkConnectionLost},
        {"ends inside a redirect's header block", "HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\n",
         NSURLErrorNetworkConnectionLost},
        {"status line of another protocol", "ICY 200 OK\r\nContent-Length: 2\r\n\r\nok", NSURLErrorBadServerResponse},
        {"no status line at all", "hello there\r\n\r\n", NSURLErrorBadServerResponse},
        {"status code that is not a number", "HTTP/1.1 2x0 OK\r\nContent-Length: 2\r\n\r\nok",
         NSURLErrorBadServerResponse},
        {"two different lengths", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 2\r\n\r\nhello",
         NSURLErrorBadServerResponse},
        {"two different lengths in one field", "HTTP/1.1 200 OK\r\nContent-Length: 2, 5\r\n\r\nhello",
         NSURLErrorBadServerResponse},
        {"a header line larger than any sane reply", "HTTP/1.1 200 OK\r\n" + hugeField + "Content-Length: 2\r\n\r\nok",
         NSURLErrorBadServerResponse},
        {"a header block larger than any sane reply",
         "HTTP/1.1 200 OK\r\n" + manyFields + "Content-Length: 2\r\n\r\nok", NSURLErrorBadServerResponse},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        auto outcome = loadRaw(c.bytes);
        CHECK_FALSE(outcome->finished);
        REQUIRE(outcome->error);
        CHECK(outcome->error->domain() == NSURLErrorDomain);
        CHECK_MESSAGE(outcome->error->code() == c.code, errorText(outcome->error));
        CHECK(outcome->body.empty());
    }
    // A length repeated with the same value is no disagreement.
    auto repeatedLength = loadRaw("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 5, 5\r\n\r\nhello");
    CHECK(repeatedLength->finished);
    CHECK(repeatedLength->body == "hello");
}

TEST_CASE("URL connection reads a Basic realm after bytes that are not UTF-8") {
    // Bytes whose lower-case form would have another length than theirs lie
    // before the scheme: the realm is still found, and the process goes on.
    struct Case {
        std::string challenge, realm;
    };
    const std::vector<Case> cases{
        {"\xFF, Basic realm=a", "a"},
        {"\xC3\x28, BASIC Realm=\"Vault\"", "Vault"},
        {"\xE2\x82 x, basic realm=\"Vault\", Digest realm=\"other\"", "Vault"},
        {repeated("\xC4\xB0", 12) + ", Basic realm=\"V\"", "V"},  // a capital I with a dot, twelve times
    };
    for (const auto& c : cases) {
        CAPTURE(c.challenge);
        const std::string reply = "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: " + c.challenge +
                                  "\r\nContent-Length: 4\r\n\r\nnope";
        auto offered = loadRaw(reply, true);
        CHECK(offered->realm == c.realm);
        REQUIRE(offered->error);
        CHECK(offered->error->code() == NSURLErrorUserCancelledAuthentication);
        // A delegate that does not answer challenges gets the 401 as the answer.
        auto handed = loadRaw(reply);
        CHECK(handed->finished);
        REQUIRE(handed->response);
        CHECK(handed->response->statusCode() == 401);
        CHECK(handed->body == "nope");
    }
}

namespace {
// A request body that throws once read.
class ThrowingStream : public NSInputStream {
public:
    void open() override { status_ = NSStreamStatusOpen; }
    void close() override { status_ = NSStreamStatusClosed; }
    NSStreamStatus streamStatus() const override { return status_; }
    NSErrorPtr streamError() const override { return nullptr; }
    bool hasBytesAvailable() const override { return true; }
    long read(std::uint8_t*, std::size_t) override { throw std::runtime_error("the disk went away"); }

private:
    NSStreamStatus status_ = NSStreamStatusNotOpen;
};
}  // namespace

TEST_CASE("URL connection fails a load whose body stream throws inside the transfer") {
    LoopbackHttpServer server;
    server.setHandler([](const testsupport::RecordedRequest&) { return Reply::text("stored"); });
    auto request = NSMutableURLRequest::requestWithURL(server.url("/upload"));
    request->setHTTPMethod("PUT");
    request->setHTTPBodyStream(std::make_shared<ThrowingStream>());
    auto outcome = std::make_shared<Outcome>();
    NSURLConnection::connectionWithRequest(request, outcome);
    REQUIRE_MESSAGE(runMainUntil([&] { return outcome->done.load(); }), "the upload to end");
    CHECK_FALSE(outcome->finished);
    REQUIRE(outcome->error);
    CHECK(outcome->error->code() == NSURLErrorUnknown);
    CHECK(errorText(outcome->error).find("the disk went away") != std::string::npos);
}

TEST_CASE("URL connection loads on after a load whose host name could not be found") {
    LoopbackHttpServer server;
    server.setHandler([](const testsupport::RecordedRequest&) { return Reply::text("fine"); });
    const auto load = [](const std::string& url) {
        auto outcome = std::make_shared<Outcome>();
        auto connection = NSURLConnection::initWithRequest(
            NSURLRequest::requestWithURL(url, NSURLRequestUseProtocolCachePolicy, 10), outcome, false);
        connection->scheduleInRunLoop(NSRunLoop::mainRunLoop(), NSRunLoopCommonModes);
        connection->start();
        REQUIRE_MESSAGE(runMainUntil([&] { return outcome->done.load(); }), "the load of " << url << " to end");
        return outcome;
    };
    const auto lost = load("http://nowhere.invalid/reply");
    CHECK_FALSE(lost->finished);
    // The next loads take the transfer handles the failed one gave back.
    for (int i = 0; i < 2; ++i) {
        const auto next = load(server.url("/reply"));
        CHECK_MESSAGE(next->finished, errorText(next->error));
        CHECK(next->body == "fine");
    }
}
