// The connection operation: states, notifications, challenges, output streams,
// batches, archiving and copying.
#include <doctest/doctest.h>

#include <atomic>

#include "OperationTestSupport.h"
#include "networking/NLSecurityPolicy.h"
#include "platform/uikit/UIApplication.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"
#include "support/TestPKI.h"

using namespace optest;
using testsupport::LoopbackHttpServer;
using testsupport::Reply;
using testsupport::runMainUntil;
using testsupport::testPKI;

namespace {

std::shared_ptr<NLURLConnectionOperation> plain(const std::string& url) {
    return NLURLConnectionOperation::initWithRequest(NSURLRequest::requestWithURL(url));
}

// Records the one answer given to a hand-made challenge.
class RecordingSender : public NSURLAuthenticationChallengeSender {
public:
    std::string answer;
    std::shared_ptr<NSURLCredential> credential;
    void useCredential(const std::shared_ptr<NSURLCredential>& c,
                       const std::shared_ptr<NSURLAuthenticationChallenge>&) override {
        answer += "use;";
        credential = c;
    }
    void continueWithoutCredentialForAuthenticationChallenge(const std::shared_ptr<NSURLAuthenticationChallenge>&) override {
        answer += "continue;";
    }
    void cancelAuthenticationChallenge(const std::shared_ptr<NSURLAuthenticationChallenge>&) override {
        answer += "cancel;";
    }
    void performDefaultHandlingForAuthenticationChallenge(const std::shared_ptr<NSURLAuthenticationChallenge>&) override {
        answer += "default;";
    }
};

SecTrustRef trustOf(const std::vector<Data>& chain) {
    std::vector<SecCertificateRef> certificates;
    for (const auto& der : chain) certificates.push_back(SecCertificateCreateWithData(der));
    SecTrustRef trust;
    REQUIRE(SecTrustCreateWithCertificates(certificates, SecPolicyCreateBasicX509(), &trust) == errSecSuccess);
    return trust;
}

// The answer an operation gives to a server-trust challenge for 127.0.0.1 with that chain.
std::string answerTrust(const std::shared_ptr<NLSecurityPolicy>& policy, const std::vector<Data>& chain,
                        SecTrustRef* offered = nullptr) {
    auto op = plain("https://127.0.0.1/x");
    if (policy) op->setSecurityPolicy(policy);
    auto sender = std::make_shared<RecordingSender>();
    auto trust = trustOf(chain);
    auto space = std::make_shared<NSURLProtectionSpace>("127.0.0.1", 443, NSURLProtectionSpaceHTTPS, "",
                                                        NSURLAuthenticationMethodServerTrust, trust);
    
    auto challenge = std::make_shared<NSURLAuthenticationChallenge>(space, nullptr, 0, nullptr, nullptr, sender);
    op->connectionWillSendRequestForAuthenticationChallenge(nullptr, challenge);
    if (sender->credential) CHECK(sender->credential->trust() == trust);
    if (offered) *offered = trust;
    return sender->answer;
}

struct TestRootInstalled {
    TestRootInstalled() { SecTrustSetAdditionalSystemAnchors({SecCertificateCreateWithData(testPKI().root.der)}); }
    ~TestRootInstalled() { SecTrustSetAdditionalSystemAnchors({}); }
};

// An output stream that is full until it closes after a few polls.
class FullThenClosedStream : public NSOutputStream {
public:
    void open() override {}
    void close() override {}
    NSStreamStatus streamStatus() const override {
        return ++polls_ > 5 ? NSStreamStatusClosed : NSStreamStatusOpen;
    }
    NSErrorPtr streamError() const override { return nullptr; }
    long write(const std::uint8_t*, std::size_t) override { return 0; }
    bool hasSpaceAvailable() const override { return false; }

private:
    mutable std::atomic<int> polls_{0};
};

}  // namespace

TEST_SUITE("connection operation") {

TEST_CASE("a new operation is ready with its defaults") {
    auto op = plain("http://127.0.0.1:1/x");
    CHECK(op->state() == NLOperationReadyState);
    CHECK(op->isReady());
    CHECK(op->isConcurrent());
    CHECK(op->shouldUseCredentialStorage());
    CHECK(op->runLoopModes() == std::set<NSRunLoopMode>{NSRunLoopCommonModes});
    CHECK(op->lock()->name() == "com.netline.networking.operation.lock");
    CHECK(op->securityPolicy());
    CHECK_FALSE(op->completionQueue());
    CHECK(op->outputStream() == op->outputStream());
    CHECK(op->outputStream()->propertyForKey(NSStreamDataWrittenToMemoryStreamKey).isData());
    CHECK(op->description().find("state: isReady, cancelled: NO request: ") != std::string::npos);
    CHECK(op->description().rfind("<NLURLConnectionOperation: 0x", 0) == 0);
}

TEST_CASE("refused state transitions change nothing") {
    auto op = plain("http://127.0.0.1:1/x");
    int changes = 0;
    auto token = op->observeValueForKey("isFinished", [&](const std::string&) { ++changes; });
    op->setState(NLOperationFinishedState);
    CHECK(op->state() == NLOperationReadyState);
    CHECK(changes == 0);
    op->setState(NLOperationPausedState);
    CHECK(op->isPaused());
    op->setState(NLOperationExecutingState);
    CHECK(op->isPaused());
    op->setState(NLOperationReadyState);
    CHECK(op->isReady());
}

TEST_CASE("start waits for dependencies and does nothing while paused") {
    auto op = plain("http://127.0.0.1:1/x");
    auto dependency = NSBlockOperation::blockOperationWithBlock([] {});
    op->addDependency(dependency);
    CHECK_FALSE(op->isReady());
    op->start();
    CHECK(op->state() == NLOperationReadyState);
    op->removeDependency(dependency);
    op->pause();
    CHECK(op->isPaused());
    op->start();
    CHECK(op->isPaused());
}

TEST_CASE("cancel before start finishes with the cancellation error and no start notification") {
    auto op = plain("http://127.0.0.1:1/never");
    NotificationCounter notes(op);
    op->cancel();
    op->start();
    REQUIRE(runMainUntil([&] { return op->isFinished() && notes.finishes == 1; }));
    CHECK(notes.starts == 0);
    REQUIRE(op->error());
    CHECK(op->error()->domain() == NSURLErrorDomain);
    CHECK(op->error()->code() == -999);
    CHECK(op->error()->userInfo()[NSURLErrorFailingURLErrorKey].stringValue() == "http://127.0.0.1:1/never");
}

TEST_CASE("cancel on a finished operation does nothing") {
    LoopbackHttpServer server;
    server.route("GET", "/a", Reply::text("a"));
    auto op = plain(server.url("/a"));
    op->start();
    REQUIRE(runMainUntil([&] { return op->isFinished(); }));
    op->cancel();
    CHECK_FALSE(op->isCancelled());
    CHECK_FALSE(op->error());
    CHECK(op->responseData() == std::optional<Data>(bytes("a")));
}

TEST_CASE("pause posts a finish notification and resume starts again") {
    LoopbackHttpServer server;
    std::atomic<int> answers{0};
    server.route("GET", "/held", [&](const testsupport::RecordedRequest&) {
        Reply reply = Reply::text(sample(5000));
        if (answers++ == 0) reply.stall(100);
        return reply;
    });
    auto op = plain(server.url("/held"));
    NotificationCounter notes(op);
    op->start();
    REQUIRE(runMainUntil([&] { return op->totalBytesRead() >= 100 && notes.starts == 1; }));
    op->pause();
    REQUIRE(runMainUntil([&] { return notes.finishes == 1; }));
    CHECK(op->isPaused());
    CHECK_FALSE(op->isFinished());
    op->resume();
    CHECK(op->isExecuting());
    REQUIRE(runMainUntil([&] { return op->isFinished() && notes.finishes == 2 && notes.starts == 2; }));
    CHECK(op->responseData() == std::optional<Data>(bytes(sample(5000))));
    // The plain operation sends the same request again from the start.
    CHECK_FALSE(op->request()->valueForHTTPHeaderField("Range"));
}

TEST_CASE("the response text uses the named charset and UTF-8 for unknown ones") {
    auto none = plain("http://127.0.0.1:1/x");
    CHECK(none->responseStringEncoding() == 0);
    CHECK_FALSE(none->responseString());

    LoopbackHttpServer server;
    server.route("GET", "/unknown", Reply::text("caf\xC3\xA9", "text/plain; charset=x-unheard-of"));
    server.route("GET", "/latin", Reply::text("caf\xE9", "text/plain; charset=ISO-8859-1"));
    server.route("GET", "/cp1252", Reply::text("\x93" "caf\xE9\x94 \x80", "text/plain; charset=windows-1252"));
    server.route("GET", "/broken", Reply::text("caf\xE9", "text/plain; charset=utf-8"));
    auto unknown = plain(server.url("/unknown"));
    auto latin = plain(server.url("/latin"));
    auto cp1252 = plain(server.url("/cp1252"));
    auto broken = plain(server.url("/broken"));
    for (const auto& op : {unknown, latin, cp1252, broken}) op->start();
    REQUIRE(runMainUntil([&] {
        return unknown->isFinished() && latin->isFinished() && cp1252->isFinished() && broken->isFinished();
    }));
    CHECK(cp1252->responseStringEncoding() == NSWindowsCP1252StringEncoding);
    CHECK(cp1252->responseString() ==
          std::optional<std::string>("\xE2\x80\x9C" "caf\xC3\xA9\xE2\x80\x9D \xE2\x82\xAC"));
    CHECK(broken->responseData());
    CHECK_FALSE(broken->responseString());
    CHECK(unknown->responseStringEncoding() == NSUTF8StringEncoding);
    CHECK(unknown->responseString() == std::optional<std::string>("caf\xC3\xA9"));
    CHECK(latin->responseStringEncoding() == NSISOLatin1StringEncoding);
    CHECK(latin->responseString() == std::optional<std::string>("caf\xC3\xA9"));
}

TEST_CASE("a closed or full output stream fails the load instead of spinning") {
    LoopbackHttpServer server;
    server.route("GET", "/a", Reply::text(sample(3000)));
    auto closed = plain(server.url("/a"));
    auto stream = NSOutputStream::outputStreamToMemory();
    stream->open();
    stream->close();
    closed->setOutputStream(stream);
    auto full = plain(server.url("/a"));
    full->setOutputStream(std::make_shared<FullThenClosedStream>());
    closed->start();
    full->start();
    REQUIRE(runMainUntil([&] { return closed->isFinished() && full->isFinished(); }));
    for (const auto& op : {closed, full}) {
        REQUIRE(op->error());
        CHECK(op->error()->domain() == NSCocoaErrorDomain);
    }
}

TEST_CASE("the built-in challenge handling evaluates server trust with the policy") {
    const auto& pki = testPKI();
    TestRootInstalled installed;
    const std::vector<Data> good = {pki.leaf.der, pki.intermediate.der};
    CHECK(answerTrust(nullptr, good) == "use;");
    CHECK(answerTrust(nullptr, {pki.otherHostLeaf.der, pki.intermediate.der}) == "cancel;");
    CHECK(answerTrust(nullptr, {pki.selfSigned.der}) == "cancel;");
    auto lenient = NLSecurityPolicy::defaultPolicy();
    auto relaxed = std::make_shared<NLSecurityPolicy>();
    relaxed->setAllowInvalidCertificates(true);
    CHECK(answerTrust(relaxed, {pki.selfSigned.der}) == "use;");

    auto pinnedCertificates = NLSecurityPolicy::policyWithPinningMode(NLSSLPinningModeCertificate);
    pinnedCertificates->setPinnedCertificates(std::vector<Data>{pki.leaf.der, pki.intermediate.der, pki.root.der});
    CHECK(answerTrust(pinnedCertificates, good) == "use;");
    pinnedCertificates->setPinnedCertificates(std::vector<Data>{pki.selfSigned.der});
    CHECK(answerTrust(pinnedCertificates, good) == "cancel;");

    auto pinnedKeys = NLSecurityPolicy::policyWithPinningMode(NLSSLPinningModePublicKey);
    pinnedKeys->setPinnedCertificates(std::vector<Data>{pki.leaf.der, pki.intermediate.der, pki.root.der});
    CHECK(answerTrust(pinnedKeys, good) == "use;");
    pinnedKeys->setPinnedCertificates(std::vector<Data>{pki.otherHostLeaf.der});
    CHECK(answerTrust(pinnedKeys, good) == "cancel;");
}

TEST_CASE("a server-trust challenge without a trust object is cancelled") {
    auto op = plain("https://127.0.0.1/x");
    auto sender = std::make_shared<RecordingSender>();
    auto space = std::make_shared<NSURLProtectionSpace>("127.0.0.1", 443, NSURLProtectionSpaceHTTPS, "",
                                                        NSURLAuthenticationMethodServerTrust);
    op->connectionWillSendRequestForAuthenticationChallenge(
        nullptr, std::make_shared<NSURLAuthenticationChallenge>(space, nullptr, 0, nullptr, nullptr, sender));
    CHECK(sender->answer == "cancel;");
}

TEST_CASE("other challenges get the credential once and then go on without one") {
    auto op = plain("http://127.0.0.1/x");
    auto space = std::make_shared<NSURLProtectionSpace>("127.0.0.1", 80, NSURLProtectionSpaceHTTP, "films",
                                                        NSURLAuthenticationMethodHTTPBasic);
    auto ask = [&](long failures) {
        auto sender = std::make_shared<RecordingSender>();
        op->connectionWillSendRequestForAuthenticationChallenge(
            nullptr, std::make_shared<NSURLAuthenticationChallenge>(space, nullptr, failures, nullptr, nullptr, sender));
        return sender;
    };
    CHECK(ask(0)->answer == "continue;");
    auto credential = NSURLCredential::credentialWithUser("u", "p", NSURLCredentialPersistenceNone);
    op->setCredential(credential);
    auto first = ask(0);
    CHECK(first->answer == "use;");
    CHECK(first->credential == credential);
    CHECK(ask(1)->answer == "continue;");

    int hookCalls = 0;
    op->setWillSendRequestForAuthenticationChallengeBlock(
        [&](const NSURLConnectionPtr&, const std::shared_ptr<NSURLAuthenticationChallenge>&) { ++hookCalls; });
    CHECK(ask(0)->answer.empty());
    CHECK(hookCalls == 1);
}

TEST_CASE("the cache hook and the cancelled flag decide what is cached") {
    auto op = plain("http://127.0.0.1/x");
    auto cached = std::make_shared<NSCachedURLResponse>(nullptr, bytes("x"));
    CHECK(op->connectionWillCacheResponse(nullptr, cached) == cached);
    op->setCacheResponseBlock([](const NSURLConnectionPtr&, const std::shared_ptr<NSCachedURLResponse>&) {
        return std::shared_ptr<NSCachedURLResponse>();
    });
    CHECK_FALSE(op->connectionWillCacheResponse(nullptr, cached));
    op->setCacheResponseBlock(nullptr);
    op->cancel();
    CHECK_FALSE(op->connectionWillCacheResponse(nullptr, cached));
    op->setShouldUseCredentialStorage(false);
    CHECK_FALSE(op->connectionShouldUseCredentialStorage(nullptr));
}

TEST_CASE("a batch of no operations completes with an empty list on the main queue") {
    std::atomic<int> calls{0};
    std::atomic<bool> onMain{false};
    auto ops = NLURLConnectionOperation::batchOfRequestOperations(
        {}, nullptr, [&](const std::vector<std::shared_ptr<NLURLConnectionOperation>>& list) {
            onMain = NSThread::isMainThread() && list.empty();
            ++calls;
        });
    REQUIRE(ops.size() == 1);
    auto queue = std::make_shared<NSOperationQueue>();
    queue->addOperations(ops, false);
    REQUIRE(runMainUntil([&] { return calls == 1; }));
    CHECK(onMain);
}

TEST_CASE("a batch reports progress and completes after every operation") {
    LoopbackHttpServer server;
    server.route("GET", "/a", Reply::text("a"));
    server.route("GET", "/b", Reply::text("b"));
    auto a = plain(server.url("/a"));
    auto b = plain(server.url("/b"));
    std::atomic<int> ownCompletions{0};
    a->setCompletionBlock([&] { ++ownCompletions; });
    std::mutex mutex;
    std::vector<std::pair<std::size_t, std::size_t>> progress;
    std::atomic<bool> completed{false};
    std::size_t finishedAtCompletion = 0;
    auto ops = NLURLConnectionOperation::batchOfRequestOperations(
        {a, b},
        [&](std::size_t done, std::size_t total) {
            std::lock_guard lock(mutex);
            progress.emplace_back(done, total);
        },
        [&](const std::vector<std::shared_ptr<NLURLConnectionOperation>>& list) {
            std::lock_guard lock(mutex);
            for (const auto& op : list)
                if (op->isFinished()) ++finishedAtCompletion;
            completed = true;
        });
    REQUIRE(ops.size() == 3);
    auto queue = std::make_shared<NSOperationQueue>();
    queue->addOperations(ops, false);
    REQUIRE(runMainUntil([&] { return completed.load(); }));
    std::lock_guard lock(mutex);
    CHECK(finishedAtCompletion == 2);
    REQUIRE(progress.size() == 2);
    CHECK(progress.back() == std::make_pair(std::size_t(2), std::size_t(2)));
    CHECK(ownCompletions == 1);
}

TEST_CASE("the completion block runs once on the main queue and is then cleared") {
    LoopbackHttpServer server;
    server.route("GET", "/a", Reply::text("a"));
    auto op = plain(server.url("/a"));
    std::atomic<int> runs{0};
    std::atomic<bool> onMain{false};
    op->setCompletionBlock([&] {
        onMain = NSThread::isMainThread();
        ++runs;
    });
    op->start();
    REQUIRE(runMainUntil([&] { return runs == 1 && !op->completionBlock(); }));
    CHECK(onMain);
}

TEST_CASE("encoding an executing operation pauses it and archives it as ready") {
    LoopbackHttpServer server;
    server.route("GET", "/held", Reply::text(sample(4000)).stall(10));
    auto op = NLHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(server.url("/held")));
    op->setResponseSerializer(NLJSONResponseSerializer::serializer());
    op->start();
    REQUIRE(runMainUntil([&] { return op->totalBytesRead() >= 10; }));
    Value archive = op->encodeWithCoder();
    CHECK(op->isPaused());
    CHECK(archive["state"].integerValue() == NLOperationReadyState);
    CHECK(archive["totalBytesRead"].integerValue() == 10);
    CHECK(archive["responseSerializer"]["$class"].stringValue() == "NLJSONResponseSerializer");

    auto decoded = NLHTTPRequestOperation::initWithCoder(archive);
    REQUIRE(decoded);
    CHECK(decoded->request()->URL() == server.url("/held"));
    CHECK(decoded->isReady());
    CHECK(decoded->totalBytesRead() == 10);
    CHECK(std::dynamic_pointer_cast<NLJSONResponseSerializer>(decoded->responseSerializer()));
    CHECK(decoded->response() == op->response());
    server.releaseStalls();
}

TEST_CASE("a copy carries the request, the hooks and the queues and nothing else") {
    auto op = NLHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL("http://127.0.0.1:1/x"));
    int redirects = 0;
    op->setRedirectResponseBlock([&](const NSURLConnectionPtr&, const std::shared_ptr<NSURLRequest>& r,
                                     const std::shared_ptr<NSURLResponse>&) {
        ++redirects;
        return r;
    });
    auto queue = dispatch_queue_create("copy.queue");
    op->setCompletionQueue(queue);
    op->setResponseSerializer(NLJSONResponseSerializer::serializer());
    op->setCredential(NSURLCredential::credentialWithUser("u", "p", NSURLCredentialPersistenceNone));
    auto copy = std::dynamic_pointer_cast<NLHTTPRequestOperation>(op->copy());
    REQUIRE(copy);
    CHECK(copy.get() != op.get());
    CHECK(copy->isReady());
    CHECK(copy->request() == op->request());
    CHECK(copy->completionQueue() == queue);
    CHECK_FALSE(copy->credential());
    CHECK(copy->lock() != op->lock());
    auto serializer = std::dynamic_pointer_cast<NLJSONResponseSerializer>(copy->responseSerializer());
    REQUIRE(serializer);
    CHECK(serializer != op->responseSerializer());
    copy->connectionWillSendRequest(nullptr, copy->request(), nullptr);
    CHECK(redirects == 1);
}

TEST_CASE("an expiring background task cancels the operation") {
    auto op = plain("http://127.0.0.1:1/x");
    std::atomic<int> handlerCalls{0};
    op->setShouldExecuteAsBackgroundTaskWithExpirationHandler([&] { ++handlerCalls; });
    CHECK(op->backgroundTaskIdentifier() != 0);
    auto first = op->backgroundTaskIdentifier();
    op->setShouldExecuteAsBackgroundTaskWithExpirationHandler(nullptr);
    CHECK(op->backgroundTaskIdentifier() == first);
    UIApplication::sharedApplication()->expireBackgroundTasksForTesting();
    CHECK(handlerCalls == 1);
    CHECK(op->isCancelled());
    CHECK(op->backgroundTaskIdentifier() == 0);
}

}  // TEST_SUITE
