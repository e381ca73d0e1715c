// HTTPS loads against the loopback server speaking TLS with the test PKI:
// real handshakes, server-trust challenges and their answers.
#include <doctest/doctest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/runloop/NSThread.h"
#include "platform/net/NSURLConnection.h"
#include "platform/security/SecTrust.h"
#include "support/LoopbackHttpServer.h"
#include "support/LoopbackTlsConnection.h"
#include "support/TestEnvironment.h"
#include "support/TestPKI.h"

using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;
using testsupport::testPKI;
using testsupport::tlsConnectionFactory;

namespace {

using ChallengePtr = std::shared_ptr<NSURLAuthenticationChallenge>;

// Keeps the outcome of one load and hands challenges to `onChallenge` when set.
class TrustRecorder : public NSURLConnectionDelegate {
public:
    std::function<void(const ChallengePtr&)> onChallenge;

    bool respondsToWillSendRequestForAuthenticationChallenge() const override { return static_cast<bool>(onChallenge); }
    void connectionWillSendRequestForAuthenticationChallenge(const NSURLConnectionPtr&,
                                                             const ChallengePtr& challenge) override {
        challenges.push_back(challenge);
        onChallenge(challenge);
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

    std::atomic<bool> done{false};
    std::vector<ChallengePtr> challenges;
    std::shared_ptr<NSHTTPURLResponse> response;
    std::string body;
    NSErrorPtr error;
};

NSURLConnectionPtr load(const std::string& url, const std::shared_ptr<TrustRecorder>& recorder) {
    auto connection = NSURLConnection::initWithRequest(NSURLRequest::requestWithURL(url), recorder, false);
    connection->scheduleInRunLoop(NSRunLoop::mainRunLoop(), NSRunLoopCommonModes);
    connection->start();
    return connection;
}

void runToEnd(const std::shared_ptr<TrustRecorder>& recorder) {
    REQUIRE(runMainUntil([&] { return recorder->done.load(); }));
}

long failureCode(const std::shared_ptr<TrustRecorder>& recorder) {
    REQUIRE(recorder->error);
    CHECK(recorder->error->domain() == NSURLErrorDomain);
    return recorder->error->code();
}

void acceptTrust(const ChallengePtr& challenge) {
    challenge->sender()->useCredential(NSURLCredential::credentialForTrust(challenge->protectionSpace()->serverTrust()),
                                       challenge);
}

std::vector<Data> chainOf(const ChallengePtr& challenge) {
    std::vector<Data> chain;
    const auto& trust = challenge->protectionSpace()->serverTrust();
    for (long i = 0; i < SecTrustGetCertificateCount(trust); ++i)
        chain.push_back(SecCertificateCopyData(SecTrustGetCertificateAtIndex(trust, i)));
    return chain;
}

struct TestRootInstalled {
    TestRootInstalled() { SecTrustSetAdditionalSystemAnchors({SecCertificateCreateWithData(testPKI().root.der)}); }
    ~TestRootInstalled() { SecTrustSetAdditionalSystemAnchors({}); }
};

struct TlsServer {
    explicit TlsServer(const std::string& chainPem, const std::string& keyPem)
        : server(tlsConnectionFactory(chainPem, keyPem), "https") {
        server.route("GET", "/hello", Reply::text("hello over TLS"));
    }
    LoopbackHttpServer server;
};

}  // namespace

TEST_CASE("TLS loopback server gives https URLs") {
    const auto& pki = testPKI();
    TlsServer tls(pki.leafChainPem(), pki.leaf.keyPem);
    CHECK(tls.server.url("/a") == "https://127.0.0.1:" + std::to_string(tls.server.port()) + "/a");
    CHECK_THROWS(tlsConnectionFactory(pki.leafChainPem(), pki.otherHostLeaf.keyPem));
}

TEST_CASE("HTTPS default handling refuses the test chain until its root is a system anchor") {
    const auto& pki = testPKI();
    TlsServer tls(pki.leafChainPem(), pki.leaf.keyPem);
    {
        auto recorder = std::make_shared<TrustRecorder>();
        load(tls.server.url("/hello"), recorder);
        runToEnd(recorder);
        CHECK(failureCode(recorder) == NSURLErrorServerCertificateUntrusted);
        CHECK_FALSE(recorder->response);
        CHECK(tls.server.requestCount() == 0);
    }
    TestRootInstalled root;
    auto recorder = std::make_shared<TrustRecorder>();
    load(tls.server.url("/hello"), recorder);
    runToEnd(recorder);
    CHECK_FALSE(recorder->error);
    REQUIRE(recorder->response);
    CHECK(recorder->response->statusCode() == 200);
    CHECK(recorder->body == "hello over TLS");
    CHECK(tls.server.requestCount() == 1);
}

TEST_CASE("HTTPS challenge carries the host and port and the chain leaf first") {
    const auto& pki = testPKI();
    TlsServer tls(pki.leafChainPem(), pki.leaf.keyPem);
    auto recorder = std::make_shared<TrustRecorder>();
    recorder->onChallenge = acceptTrust;
    auto connection = load(tls.server.url("/hello"), recorder);
    runToEnd(recorder);
    CHECK(recorder->body == "hello over TLS");
    REQUIRE(recorder->challenges.size() == 1);
    const auto& space = *recorder->challenges[0]->protectionSpace();
    CHECK(space.authenticationMethod() == "NSURLAuthenticationMethodServerTrust");
    CHECK(space.host() == "127.0.0.1");
    CHECK(space.port() == tls.server.port());
    CHECK(space.protocol() == "https");
    CHECK(recorder->challenges[0]->previousFailureCount() == 0);
    CHECK(recorder->challenges[0]->sender().get() == static_cast<NSURLAuthenticationChallengeSender*>(connection.get()));
    std::vector<Data> expected{pki.leaf.der, pki.intermediate.der};
    CHECK(chainOf(recorder->challenges[0]) == expected);
}

TEST_CASE("HTTPS delegate accepting the trust proceeds even with a self-signed leaf") {
    const auto& pki = testPKI();
    TlsServer tls(pki.selfSigned.pem, pki.selfSigned.keyPem);
    auto recorder = std::make_shared<TrustRecorder>();
    recorder->onChallenge = acceptTrust;
    load(tls.server.url("/hello"), recorder);
    runToEnd(recorder);
    CHECK_FALSE(recorder->error);
    CHECK(recorder->body == "hello over TLS");
    REQUIRE(recorder->challenges.size() == 1);
    CHECK(chainOf(recorder->challenges[0]) == std::vector<Data>{pki.selfSigned.der});
    CHECK(tls.server.requestCount() == 1);
}

TEST_CASE("HTTPS delegate cancelling the challenge fails the load before any request") {
    const auto& pki = testPKI();
    TestRootInstalled root;  // trusted or not, a cancelled challenge ends the load
    TlsServer tls(pki.leafChainPem(), pki.leaf.keyPem);
    auto recorder = std::make_shared<TrustRecorder>();
    recorder->onChallenge = [](const ChallengePtr& challenge) {
        challenge->sender()->cancelAuthenticationChallenge(challenge);
    };
    load(tls.server.url("/hello"), recorder);
    runToEnd(recorder);
    CHECK(failureCode(recorder) == NSURLErrorUserCancelledAuthentication);
    CHECK(recorder->body.empty());
    CHECK(tls.server.requestCount() == 0);
}

TEST_CASE("HTTPS default handling refuses a trusted leaf that names another host") {
    const auto& pki = testPKI();
    TestRootInstalled root;
    TlsServer tls(pki.otherHostChainPem(), pki.otherHostLeaf.keyPem);
    SUBCASE("delegate without challenge handling") {
        auto recorder = std::make_shared<TrustRecorder>();
        load(tls.server.url("/hello"), recorder);
        runToEnd(recorder);
        CHECK(failureCode(recorder) == NSURLErrorServerCertificateUntrusted);
    }
    SUBCASE("delegate asking for default handling") {
        auto recorder = std::make_shared<TrustRecorder>();
        recorder->onChallenge = [](const ChallengePtr& challenge) {
            challenge->sender()->performDefaultHandlingForAuthenticationChallenge(challenge);
        };
        load(tls.server.url("/hello"), recorder);
        runToEnd(recorder);
        CHECK(recorder->challenges.size() == 1);
        CHECK(failureCode(recorder) == NSURLErrorServerCertificateUntrusted);
    }
    SUBCASE("delegate continuing without a credential") {
        auto recorder = std::make_shared<TrustRecorder>();
        recorder->onChallenge = [](const ChallengePtr& challenge) {
            challenge->sender()->continueWithoutCredentialForAuthenticationChallenge(challenge);
        };
        load(tls.server.url("/hello"), recorder);
        runToEnd(recorder);
        CHECK(failureCode(recorder) == NSURLErrorServerCertificateUntrusted);
    }
    CHECK(tls.server.requestCount() == 0);
}

TEST_CASE("HTTPS default handling after the delegate changed the offered trust still checks the host") {
    const auto& pki = testPKI();
    TestRootInstalled root;
    TlsServer tls(pki.otherHostChainPem(), pki.otherHostLeaf.keyPem);
    auto recorder = std::make_shared<TrustRecorder>();
    recorder->onChallenge = [](const ChallengePtr& challenge) {
        // A policy that would not look at the host name, then no decision of its own.
        SecTrustSetPolicies(challenge->protectionSpace()->serverTrust(), {SecPolicyCreateBasicX509()});
        challenge->sender()->performDefaultHandlingForAuthenticationChallenge(challenge);
    };
    load(tls.server.url("/hello"), recorder);
    runToEnd(recorder);
    CHECK(failureCode(recorder) == NSURLErrorServerCertificateUntrusted);
}

TEST_CASE("HTTPS credential for another server's trust counts as default handling") {
    const auto& pki = testPKI();
    TlsServer tls(pki.selfSigned.pem, pki.selfSigned.keyPem);
    auto recorder = std::make_shared<TrustRecorder>();
    recorder->onChallenge = [&](const ChallengePtr& challenge) {
        SecTrustRef other;
        REQUIRE(SecTrustCreateWithCertificates({SecCertificateCreateWithData(pki.leaf.der)}, SecPolicyCreateBasicX509(),
                                               &other) == errSecSuccess);
        challenge->sender()->useCredential(NSURLCredential::credentialForTrust(other), challenge);
    };
    load(tls.server.url("/hello"), recorder);
    runToEnd(recorder);
    CHECK(failureCode(recorder) == NSURLErrorServerCertificateUntrusted);
    CHECK(tls.server.requestCount() == 0);
}

TEST_CASE("HTTPS challenge answered later from another thread") {
    const auto& pki = testPKI();
    TlsServer tls(pki.selfSigned.pem, pki.selfSigned.keyPem);
    auto recorder = std::make_shared<TrustRecorder>();
    ChallengePtr pending;
    recorder->onChallenge = [&](const ChallengePtr& challenge) { pending = challenge; };
    load(tls.server.url("/hello"), recorder);
    REQUIRE(runMainUntil([&] { return pending != nullptr; }));
    CHECK(tls.server.requestCount() == 0);
    std::thread answering([challenge = pending] { acceptTrust(challenge); });
    answering.join();
    runToEnd(recorder);
    CHECK(recorder->body == "hello over TLS");
}

TEST_CASE("HTTPS decision holds for the redirects of one load but not for the next load") {
    const auto& pki = testPKI();
    TlsServer tls(pki.selfSigned.pem, pki.selfSigned.keyPem);
    tls.server.route("GET", "/start", Reply::redirect(302, "/hello"));
    auto accepting = std::make_shared<TrustRecorder>();
    accepting->onChallenge = acceptTrust;
    load(tls.server.url("/start"), accepting);
    runToEnd(accepting);
    CHECK(accepting->body == "hello over TLS");
    CHECK(accepting->challenges.size() == 1);
    CHECK(tls.server.requestCount() == 2);

    // The next load is asked again and its default handling refuses the server.
    auto defaulting = std::make_shared<TrustRecorder>();
    load(tls.server.url("/hello"), defaulting);
    runToEnd(defaulting);
    CHECK(failureCode(defaulting) == NSURLErrorServerCertificateUntrusted);
    CHECK(tls.server.requestCount() == 2);
}

TEST_CASE("HTTPS to a server that does not speak TLS fails as a secure connection failure") {
    LoopbackHttpServer plain;
    plain.route("GET", "/hello", Reply::text("plain"));
    auto recorder = std::make_shared<TrustRecorder>();
    load("https://127.0.0.1:" + std::to_string(plain.port()) + "/hello", recorder);
    runToEnd(recorder);
    CHECK(failureCode(recorder) == NSURLErrorSecureConnectionFailed);
}

TEST_CASE("HTTPS POST with a body stream goes out after the trust is accepted") {
    const auto& pki = testPKI();
    TlsServer tls(pki.selfSigned.pem, pki.selfSigned.keyPem);
    tls.server.route("POST", "/upload", [](const RecordedRequest& r) { return Reply::text(std::to_string(r.body.size())); });
    std::string payload(200000, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>((i * 7919) >> 3);
    auto request = NSMutableURLRequest::requestWithURL(tls.server.url("/upload"));
    request->setHTTPMethod("POST");
    request->setHTTPBodyStream(NSInputStream::inputStreamWithData(dataFromString(payload)));
    auto recorder = std::make_shared<TrustRecorder>();
    recorder->onChallenge = acceptTrust;
    auto connection = NSURLConnection::initWithRequest(request, recorder);
    runToEnd(recorder);
    CHECK_FALSE(recorder->error);
    CHECK(recorder->body == std::to_string(payload.size()));
    auto recorded = tls.server.lastRequest();
    REQUIRE(recorded);
    CHECK(recorded->bodyWasChunked);
    CHECK(recorded->body == payload);
}

namespace {
class CountingStream : public NSInputStream {
public:
    explicit CountingStream(std::string bytes) : inner_(NSInputStream::inputStreamWithData(dataFromString(bytes))) {}
    void open() override {
        openedOn = NSThread::currentThread();
        inner_->open();
    }
    void close() override { inner_->close(); }
    NSStreamStatus streamStatus() const override { return inner_->streamStatus(); }
    NSErrorPtr streamError() const override { return inner_->streamError(); }
    bool hasBytesAvailable() const override { return inner_->hasBytesAvailable(); }
    long read(std::uint8_t* buffer, std::size_t maxLength) override {
        if (NSThread::currentThread() != openedOn) readElsewhere = true;
        return inner_->read(buffer, maxLength);
    }
    std::shared_ptr<NSThread> openedOn;
    bool readElsewhere = false;

private:
    std::shared_ptr<NSInputStream> inner_;
};

class ThreadNoting : public TrustRecorder {
public:
    void connectionDidSendBodyData(const NSURLConnectionPtr&, std::int64_t, std::int64_t total,
                                   std::int64_t expected) override {
        sentThreads.push_back(NSThread::currentThread());
        totalSent = total;
        expectedToSend = expected;
    }
    std::vector<std::shared_ptr<NSThread>> sentThreads;
    std::int64_t totalSent = 0, expectedToSend = 0;
};
}  // namespace

TEST_CASE("HTTPS challenge and body stream run on the scheduled thread") {
    const auto& pki = testPKI();
    TlsServer tls(pki.selfSigned.pem, pki.selfSigned.keyPem);
    tls.server.route("PUT", "/upload", [](const RecordedRequest& r) { return Reply::text(std::to_string(r.body.size())); });
    auto worker = std::make_shared<NSThread>([] { NSRunLoop::currentRunLoop()->run(); });
    worker->start();
    REQUIRE(runMainUntil([&] { return worker->isExecuting(); }));

    std::string payload(300000, 'q');
    auto stream = std::make_shared<CountingStream>(payload);
    auto request = NSMutableURLRequest::requestWithURL(tls.server.url("/upload"));
    request->setHTTPMethod("PUT");
    request->setValue(std::to_string(payload.size()), "Content-Length");
    request->setHTTPBodyStream(stream);
    auto recorder = std::make_shared<ThreadNoting>();
    std::shared_ptr<NSThread> challengedOn;
    recorder->onChallenge = [&](const ChallengePtr& challenge) {
        challengedOn = NSThread::currentThread();
        acceptTrust(challenge);
    };
    auto connection = NSURLConnection::initWithRequest(request, recorder, false);
    connection->scheduleInRunLoop(worker->runLoop(), NSDefaultRunLoopMode);
    connection->start();
    runToEnd(recorder);

    CHECK_FALSE(recorder->error);
    CHECK(recorder->body == std::to_string(payload.size()));
    CHECK(challengedOn == worker);
    CHECK(stream->openedOn == worker);
    CHECK_FALSE(stream->readElsewhere);
    REQUIRE_FALSE(recorder->sentThreads.empty());
    for (const auto& thread : recorder->sentThreads) CHECK(thread == worker);
    CHECK(recorder->totalSent == static_cast<std::int64_t>(payload.size()));
    CHECK(recorder->expectedToSend == static_cast<std::int64_t>(payload.size()));
    REQUIRE(tls.server.lastRequest());
    CHECK(tls.server.lastRequest()->body == payload);

    worker->runLoop()->performBlock([] { NSRunLoop::currentRunLoop()->stop(); });
    REQUIRE(runMainUntil([&] { return worker->isFinished(); }));
}
