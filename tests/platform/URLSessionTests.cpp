// URL sessions on the wire: data, upload and download tasks against the
// loopback server and nginx, redirects decided later by the delegate, suspend,
// resume data across dropped downloads, server trust, invalidation, and the
// task lifecycle (state, hooks, observation) with NSProgress.
#include <doctest/doctest.h>
#include <openssl/evp.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/NSProgress.h"
#include "platform/foundation/NSThread.h"
#include "platform/net/NSURLSession.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/security/SecTrust.h"
#include "support/LoopbackHttpServer.h"
#include "support/LoopbackTlsConnection.h"
#include "support/NginxServer.h"
#include "support/TestEnvironment.h"
#include "support/TestPKI.h"

using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;
using testsupport::testPKI;

namespace {

std::string sha256(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    std::ostringstream hex;
    for (unsigned i = 0; i < length; ++i) hex << std::hex << (digest[i] >> 4) << (digest[i] & 15);
    return hex.str();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool exists(const std::string& path) { return std::ifstream(path).good(); }

std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t x = 2463534242u;
    for (auto& b : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = static_cast<char>(x);
    }
    return bytes;
}

// Records every delegate event of a session; checks they come one at a time,
// off the main thread. Behaviour is set through the std::function members.
class Recorder : public NSURLSessionDataDelegate, public NSURLSessionDownloadDelegate {
public:
    struct Outcome {
        std::string body;
        std::string downloaded;      // the file's bytes when the download finished
        std::string location;        // where it was
        NSErrorPtr error;
        bool done = false;
        std::vector<std::int64_t> resumedAt;
        std::int64_t written = 0;
    };
    std::function<std::shared_ptr<NSURLRequest>(const std::shared_ptr<NSURLRequest>&)> redirect;
    std::function<void(const std::shared_ptr<NSURLSessionTask>&, std::int64_t)> onBytes;
    std::function<NSURLSessionResponseDisposition(const std::shared_ptr<NSURLResponse>&)> disposition;
    bool answersSessionTrust = false, answersTaskTrust = false, acceptsTrust = false, cancelsTrust = false;

    Outcome outcome(unsigned long id) {
        std::lock_guard lock(mutex);
        return outcomes[id];
    }
    bool done(unsigned long id) {
        std::lock_guard lock(mutex);
        return outcomes[id].done;
    }

    bool respondsToWillPerformHTTPRedirection() const override { return static_cast<bool>(redirect); }
    void URLSessionTaskWillPerformHTTPRedirection(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionTask>&,
                                                  const std::shared_ptr<NSHTTPURLResponse>&,
                                                  const std::shared_ptr<NSURLRequest>& request,
                                                  const std::function<void(std::shared_ptr<NSURLRequest>)>& completion) override {
        Call call(*this);
        auto chosen = redirect(request);
        // Answered later, from another thread.
        std::thread([completion, chosen] { completion(chosen); }).detach();
    }
    bool respondsToDidReceiveResponse() const override { return static_cast<bool>(disposition); }
    void URLSessionDataTaskDidReceiveResponse(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionDataTask>&,
                                              const std::shared_ptr<NSURLResponse>& response,
                                              const std::function<void(NSURLSessionResponseDisposition)>& completion) override {
        Call call(*this);
        auto answer = disposition(response);
        std::thread([completion, answer] { completion(answer); }).detach();
    }
    void URLSessionDataTaskDidBecomeDownloadTask(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionDataTask>& from,
                                                 const std::shared_ptr<NSURLSessionDownloadTask>& to) override {
        Call call(*this);
        CHECK(from->state() == NSURLSessionTaskStateCompleted);
        std::lock_guard lock(mutex);
        becameDownload[from->taskIdentifier()] = to;
    }
    void URLSessionTaskNeedNewBodyStream(const NSURLSessionPtr& session, const std::shared_ptr<NSURLSessionTask>& task,
                                         const std::function<void(std::shared_ptr<NSInputStream>)>& completion) override {
        Call call(*this);
        newStreams++;
        NSURLSessionDataDelegate::URLSessionTaskNeedNewBodyStream(session, task, completion);
    }
    bool respondsToDidReceiveChallenge() const override { return answersSessionTrust; }
    void URLSessionDidReceiveChallenge(const NSURLSessionPtr&, const std::shared_ptr<NSURLAuthenticationChallenge>& ch,
                                       const NSURLSessionChallengeCompletion& completion) override {
        Call call(*this);
        sessionChallenges++;
        answer(ch, completion);
    }
    bool respondsToTaskDidReceiveChallenge() const override { return answersTaskTrust; }
    void URLSessionTaskDidReceiveChallenge(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionTask>&,
                                           const std::shared_ptr<NSURLAuthenticationChallenge>& ch,
                                           const NSURLSessionChallengeCompletion& completion) override {
        Call call(*this);
        taskChallenges++;
        answer(ch, completion);
    }
    void URLSessionDataTaskDidReceiveData(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionDataTask>& task,
                                          const Data& data) override {
        Call call(*this);
        std::int64_t total;
        {
            std::lock_guard lock(mutex);
            auto& body = outcomes[task->taskIdentifier()].body;
            body.append(data.begin(), data.end());
            total = static_cast<std::int64_t>(body.size());
        }
        if (onBytes) onBytes(task, total);
    }
    void URLSessionDownloadTaskDidWriteData(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionDownloadTask>& task,
                                            std::int64_t, std::int64_t total, std::int64_t) override {
        Call call(*this);
        {
            std::lock_guard lock(mutex);
            outcomes[task->taskIdentifier()].written = total;
        }
        if (onBytes) onBytes(task, total);
    }
    void URLSessionDownloadTaskDidResumeAtOffset(const NSURLSessionPtr&,
                                                 const std::shared_ptr<NSURLSessionDownloadTask>& task,
                                                 std::int64_t offset, std::int64_t) override {
        Call call(*this);
        std::lock_guard lock(mutex);
        outcomes[task->taskIdentifier()].resumedAt.push_back(offset);
    }
    void URLSessionDownloadTaskDidFinishDownloadingToURL(const NSURLSessionPtr&,
                                                         const std::shared_ptr<NSURLSessionDownloadTask>& task,
                                                         const std::string& location) override {
        Call call(*this);
        std::lock_guard lock(mutex);
        outcomes[task->taskIdentifier()].downloaded = readFile(location);
        outcomes[task->taskIdentifier()].location = location;
    }
    void URLSessionTaskDidCompleteWithError(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionTask>& task,
                                            const NSErrorPtr& error) override {
        Call call(*this);
        CHECK(task->state() == NSURLSessionTaskStateCompleted);
        std::lock_guard lock(mutex);
        outcomes[task->taskIdentifier()].error = error;
        outcomes[task->taskIdentifier()].done = true;
    }
    void URLSessionDidBecomeInvalidWithError(const NSURLSessionPtr&, const NSErrorPtr&) override { invalid = true; }

    std::mutex mutex;
    std::map<unsigned long, Outcome> outcomes;
    std::atomic<int> inCall{0}, overlaps{0}, onMain{0}, sessionChallenges{0}, taskChallenges{0};
    std::atomic<bool> invalid{false};
    std::atomic<int> newStreams{0};
    std::map<unsigned long, std::shared_ptr<NSURLSessionDownloadTask>> becameDownload;

private:
    struct Call {
        explicit Call(Recorder& r) : r_(r) {
            if (r_.inCall++ != 0) r_.overlaps++;
            if (NSThread::isMainThread()) r_.onMain++;
        }
        ~Call() { r_.inCall--; }
        Recorder& r_;
    };
    void answer(const std::shared_ptr<NSURLAuthenticationChallenge>& ch, const NSURLSessionChallengeCompletion& done) {
        if (cancelsTrust)
            done(NSURLSessionAuthChallengeCancelAuthenticationChallenge, nullptr);
        else if (acceptsTrust)
            done(NSURLSessionAuthChallengeUseCredential,
                 NSURLCredential::credentialForTrust(ch->protectionSpace()->serverTrust()));
        else
            done(NSURLSessionAuthChallengePerformDefaultHandling, nullptr);
    }
};

struct SessionFixture {
    testsupport::TempHome home;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    NSURLSessionPtr session = NSURLSession::sessionWithConfiguration(nullptr, recorder);

    ~SessionFixture() { session->invalidateAndCancel(); }
    void finish(const std::shared_ptr<NSURLSessionTask>& task, double timeout = 30) {
        REQUIRE(task);
        INFO("waiting for task " << task->taskIdentifier() << " to complete");
        REQUIRE(runMainUntil([&] { return recorder->done(task->taskIdentifier()); }, timeout));
    }
    void checkCalls() {
        CHECK(recorder->overlaps == 0);
        CHECK(recorder->onMain == 0);
    }
};

std::shared_ptr<NSMutableURLRequest> post(const std::string& url) {
    auto request = NSMutableURLRequest::requestWithURL(url);
    request->setHTTPMethod("POST");
    return request;
}

Data dataOf(const std::string& s) { return Data(s.begin(), s.end()); }

}  // namespace

TEST_CASE("session tasks move data, uploads and downloads over the wire") {
    SessionFixture f;
    LoopbackHttpServer server;
    const std::string big = pattern(3 << 20);
    server.route("GET", "/text", Reply::text("hello session"));
    server.route("GET", "/big", testsupport::serveBytes(big));
    server.route("POST", "/echo", [](const RecordedRequest& r) { return Reply::text(r.body); });
    auto configuration = NSURLSessionConfiguration::defaultSessionConfiguration();
    CHECK(configuration->timeoutIntervalForRequest() == 60);
    CHECK(configuration->timeoutIntervalForResource() == 604800);

    auto data = f.session->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/text")));
    REQUIRE(data);
    CHECK(data->state() == NSURLSessionTaskStateSuspended);
    CHECK(data->countOfBytesExpectedToReceive() == NSURLSessionTransferSizeUnknown);
    data->resume();
    f.finish(data);
    CHECK(f.recorder->outcome(data->taskIdentifier()).body == "hello session");
    CHECK_FALSE(f.recorder->outcome(data->taskIdentifier()).error);
    CHECK(data->countOfBytesReceived() == 13);
    CHECK(data->countOfBytesExpectedToReceive() == 13);

    // Uploads: exact bytes from a file, from data and from a stream.
    const std::string payload = pattern(300000);
    const std::string file = f.home.path() + "/payload.bin";
    std::ofstream(file, std::ios::binary) << payload;
    auto fromFile = f.session->uploadTaskWithRequest(post(server.url("/echo")), file);
    auto fromData = f.session->uploadTaskWithRequest(post(server.url("/echo")), dataOf(payload));
    auto streamed = post(server.url("/echo"));
    streamed->setHTTPBodyStream(NSInputStream::inputStreamWithData(dataOf(payload)));
    streamed->setValue(std::to_string(payload.size()), "Content-Length");
    auto fromStream = f.session->uploadTaskWithStreamedRequest(streamed);
    for (const auto& task : {fromFile, fromData, fromStream}) {
        REQUIRE(task);
        CHECK(task->countOfBytesExpectedToSend() == static_cast<std::int64_t>(payload.size()));
        task->resume();
    }
    for (const auto& task : {fromFile, fromData, fromStream}) {
        f.finish(task);
        CHECK(f.recorder->outcome(task->taskIdentifier()).body == payload);
        CHECK(task->countOfBytesSent() == static_cast<std::int64_t>(payload.size()));
    }
    for (const auto& request : server.requests())
        if (request.method == "POST") CHECK(request.body == payload);
    CHECK_FALSE(f.session->uploadTaskWithRequest(post(server.url("/echo")), f.home.path() + "/missing"));

    auto download = f.session->downloadTaskWithRequest(NSURLRequest::requestWithURL(server.url("/big")));
    download->resume();
    f.finish(download);
    auto outcome = f.recorder->outcome(download->taskIdentifier());
    CHECK(sha256(outcome.downloaded) == sha256(big));
    CHECK(outcome.location.rfind(f.home.path() + "/tmp/", 0) == 0);
    CHECK_FALSE(exists(outcome.location));  // removed after the finish event
    CHECK(f.session->tasks().dataTasks.empty());
    f.checkCalls();
}

TEST_CASE("a redirect is vetoed or rewritten by an answer given later") {
    SessionFixture f;
    LoopbackHttpServer server;
    server.route("GET", "/from", Reply::redirect(302, "/to"));
    server.route("GET", "/to", Reply::text("proposed"));
    server.route("GET", "/other", Reply::text("rewritten"));
    const std::string other = server.url("/other");
    bool veto = true;
    f.recorder->redirect = [&](const std::shared_ptr<NSURLRequest>& proposed) -> std::shared_ptr<NSURLRequest> {
        if (veto) return nullptr;
        auto next = proposed->mutableCopy();
        next->setURL(other);
        return next;
    };
    auto vetoed = f.session->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/from")));
    vetoed->resume();
    f.finish(vetoed);
    auto response = std::dynamic_pointer_cast<NSHTTPURLResponse>(vetoed->response());
    REQUIRE(response);
    CHECK(response->statusCode() == 302);

    veto = false;
    auto rewritten = f.session->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/from")));
    rewritten->resume();
    f.finish(rewritten);
    CHECK(f.recorder->outcome(rewritten->taskIdentifier()).body == "rewritten");
    CHECK(rewritten->currentRequest()->URL() == other);
    CHECK(server.requestCount() == 3);  // /from, /from, /other: never /to
    f.checkCalls();
}

TEST_CASE("later answers: a response cancelled or turned into a download, a body stream sent again") {
    SessionFixture f;
    LoopbackHttpServer server;
    const std::string body = pattern(1 << 20);
    server.route("GET", "/cancel", Reply::text("not wanted"));
    server.route("GET", "/download", testsupport::serveBytes(body));
    server.route("POST", "/again", Reply::redirect(307, "/echo"));
    server.route("POST", "/echo", [](const RecordedRequest& r) { return Reply::text(r.body); });
    f.recorder->disposition = [](const std::shared_ptr<NSURLResponse>& response) {
        if (response->URL().find("/cancel") != std::string::npos) return NSURLSessionResponseCancel;
        if (response->URL().find("/download") != std::string::npos) return NSURLSessionResponseBecomeDownload;
        return NSURLSessionResponseAllow;
    };
    auto cancelled = f.session->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/cancel")));
    cancelled->resume();
    f.finish(cancelled);
    CHECK(f.recorder->outcome(cancelled->taskIdentifier()).error->code() == NSURLErrorCancelled);
    CHECK(f.recorder->outcome(cancelled->taskIdentifier()).body.empty());

    auto data = f.session->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/download")));
    data->resume();
    std::shared_ptr<NSURLSessionDownloadTask> download;
    REQUIRE(runMainUntil([&] {
        std::lock_guard lock(f.recorder->mutex);
        auto it = f.recorder->becameDownload.find(data->taskIdentifier());
        if (it != f.recorder->becameDownload.end()) download = it->second;
        return download != nullptr;
    }));
    f.finish(download);
    CHECK(sha256(f.recorder->outcome(download->taskIdentifier()).downloaded) == sha256(body));
    CHECK_FALSE(f.recorder->done(data->taskIdentifier()));  // the data task ended without a completion
    CHECK(f.recorder->outcome(data->taskIdentifier()).body.empty());

    const std::string payload = pattern(70000);
    auto streamed = post(server.url("/again"));
    streamed->setHTTPBodyStream(NSInputStream::inputStreamWithData(dataOf(payload)));
    streamed->setValue(std::to_string(payload.size()), "Content-Length");
    auto upload = f.session->uploadTaskWithStreamedRequest(streamed);
    upload->resume();
    f.finish(upload);
    CHECK(f.recorder->newStreams == 1);
    CHECK(f.recorder->outcome(upload->taskIdentifier()).body == payload);
    f.checkCalls();
}

TEST_CASE("a suspended task moves no byte, then finishes when resumed") {
    SessionFixture f;
    LoopbackHttpServer server;
    const std::string body = pattern(48 << 20);
    server.route("GET", "/big", testsupport::serveBytes(body));
    std::atomic<bool> suspended{false};
    f.recorder->onBytes = [&](const std::shared_ptr<NSURLSessionTask>& task, std::int64_t) {
        if (!suspended.exchange(true)) task->suspend();
    };
    // An idle time-out shorter than the suspension: suspended, it does not run.
    auto request = NSMutableURLRequest::requestWithURL(server.url("/big"));
    request->setTimeoutInterval(0.4);
    auto task = f.session->dataTaskWithRequest(request);
    task->resume();
    REQUIRE(runMainUntil([&] { return suspended.load(); }));
    CHECK(task->state() == NSURLSessionTaskStateSuspended);
    // The bytes already on their way arrive; then nothing moves while suspended.
    NSRunLoop::mainRunLoop()->runFor(0.5);
    const std::int64_t before = task->countOfBytesReceived();
    NSRunLoop::mainRunLoop()->runFor(0.5);
    CHECK(task->countOfBytesReceived() == before);
    CHECK(before < static_cast<std::int64_t>(body.size()));
    task->resume();
    f.finish(task);
    CHECK_FALSE(f.recorder->outcome(task->taskIdentifier()).error);
    CHECK(sha256(f.recorder->outcome(task->taskIdentifier()).body) == sha256(body));
    f.checkCalls();
}

namespace {

// Downloads `url` in four tasks: the first three stop once past each offset
// (cancelled with resume data, or dropped by the server) and the next goes on
// from the resume data. Returns the finished file's bytes and where each resumed.
struct ResumedDownload {
    std::string bytes;
    std::vector<std::int64_t> resumedAt;
};

ResumedDownload downloadInPieces(SessionFixture& f, const std::string& url, const std::vector<std::int64_t>& offsets,
                                 bool cancelWithResumeData) {
    std::mutex m;
    std::optional<Data> resumeData;
    std::atomic<std::size_t> piece{0};
    std::atomic<bool> stopped{false};
    f.recorder->onBytes = [&](const std::shared_ptr<NSURLSessionTask>& task, std::int64_t written) {
        if (!cancelWithResumeData || piece >= offsets.size() || written < offsets[piece] || stopped.exchange(true))
            return;
        std::static_pointer_cast<NSURLSessionDownloadTask>(task)->cancelByProducingResumeData(
            [&](std::optional<Data> data) {
                std::lock_guard lock(m);
                resumeData = std::move(data);
            });
    };
    ResumedDownload result;
    auto task = f.session->downloadTaskWithRequest(NSURLRequest::requestWithURL(url));
    for (std::size_t i = 0;; ++i) {
        REQUIRE(task);
        task->resume();
        f.finish(task, 60);
        auto outcome = f.recorder->outcome(task->taskIdentifier());
        result.resumedAt.insert(result.resumedAt.end(), outcome.resumedAt.begin(), outcome.resumedAt.end());
        if (i == offsets.size()) {
            CHECK_FALSE(outcome.error);
            result.bytes = outcome.downloaded;
            return result;
        }
        REQUIRE(outcome.error);
        Data next;
        if (cancelWithResumeData) {
            CHECK(outcome.error->code() == NSURLErrorCancelled);
            std::lock_guard lock(m);
            REQUIRE(resumeData);
            next = *resumeData;
        } else {
            // A dropped download's error carries its resume data.
            CHECK(outcome.error->code() == NSURLErrorNetworkConnectionLost);
            const Value resume = outcome.error->userInfo()[NSURLSessionDownloadTaskResumeData];
            const Data* carried = resume.data();
            REQUIRE(carried);
            next = *carried;
        }
        piece++;
        stopped = false;
        task = f.session->downloadTaskWithResumeData(next);
    }
}

}  // namespace

TEST_CASE("a 64 MiB download stopped three times and resumed has the source's bytes") {
    SessionFixture f;
    const std::string source = pattern(64 << 20);
    const std::vector<std::int64_t> offsets = {5 << 20, 23 << 20, 50 << 20};

    SUBCASE("against nginx, which answers the ranges") {
        if (!testsupport::NginxServer::binary()) {
            MESSAGE("nginx is not installed: skipped");
            return;
        }
        const std::string root = f.home.path() + "/www";
        REQUIRE(system(("mkdir -p '" + root + "'").c_str()) == 0);
        std::ofstream(root + "/movie.bin", std::ios::binary) << source;
        testsupport::NginxServer nginx(root);
        auto result = downloadInPieces(f, nginx.url("/movie.bin"), offsets, true);
        CHECK(sha256(result.bytes) == sha256(source));
        // Each resumed piece went on where the previous one stopped.
        REQUIRE(result.resumedAt.size() == 3);
        for (std::size_t i = 0; i < 3; ++i) CHECK(result.resumedAt[i] >= offsets[i]);
    }
    SUBCASE("against a server that drops the connection and ignores ranges") {
        LoopbackHttpServer server;
        testsupport::StaticOptions options;
        options.etag = "\"v1\"";
        options.ignoreRange = true;
        auto serve = testsupport::serveBytes(source, options);
        std::atomic<std::size_t> attempt{0};
        server.setHandler([&](const RecordedRequest& request) {
            Reply reply = serve(request);
            if (std::size_t n = attempt++; n < offsets.size()) reply.drop(static_cast<std::size_t>(offsets[n]));
            return reply;
        });
        auto result = downloadInPieces(f, server.url("/movie.bin"), offsets, false);
        CHECK(sha256(result.bytes) == sha256(source));
        // Range was asked for each time, and each time the download started over.
        auto requests = server.requests();
        REQUIRE(requests.size() == 4);
        for (std::size_t i = 1; i < 4; ++i) CHECK(requests[i].headers.get("If-Range") == "\"v1\"");
        CHECK(result.resumedAt == std::vector<std::int64_t>{0, 0, 0});
    }
    f.checkCalls();
}

TEST_CASE("resume data answered with a part at another offset starts the download over") {
    SessionFixture f;
    LoopbackHttpServer server;
    const std::string source = pattern(4 << 20);
    testsupport::StaticOptions options;
    options.etag = "\"v2\"";
    auto serve = testsupport::serveBytes(source, options);
    std::atomic<int> attempt{0};
    server.setHandler([&](const RecordedRequest& request) {
        const int n = attempt++;
        if (n == 0) return serve(request).drop(1 << 20);
        if (request.headers.has("Range"))  // a part, but not the one asked for
            return Reply::withStatus(206, source.substr(0, 1000))
                .header("Content-Range", "bytes 0-999/" + std::to_string(source.size()))
                .header("ETag", "\"v2\"");
        return serve(request);
    });
    auto first = f.session->downloadTaskWithRequest(NSURLRequest::requestWithURL(server.url("/f")));
    first->resume();
    f.finish(first);
    auto error = f.recorder->outcome(first->taskIdentifier()).error;
    REQUIRE(error);
    const Value resume = error->userInfo()[NSURLSessionDownloadTaskResumeData];
    REQUIRE(resume.data());
    auto second = f.session->downloadTaskWithResumeData(*resume.data());
    second->resume();
    f.finish(second);
    auto outcome = f.recorder->outcome(second->taskIdentifier());
    CHECK_FALSE(outcome.error);
    CHECK(sha256(outcome.downloaded) == sha256(source));
    auto requests = server.requests();
    REQUIRE(requests.size() == 3);
    CHECK(requests[1].headers.get("Range") == "bytes=" + std::to_string(1 << 20) + "-");
    CHECK_FALSE(requests[2].headers.has("Range"));
    CHECK(outcome.resumedAt == std::vector<std::int64_t>{0});
    CHECK_FALSE(f.session->downloadTaskWithResumeData(dataOf("not resume data")));
}

TEST_CASE("server trust: wrong host refused, session-level answer first, pinned self-signed accepted") {
    SessionFixture f;
    const auto& pki = testPKI();
    SecTrustSetAdditionalSystemAnchors({SecCertificateCreateWithData(pki.root.der)});
    struct Anchors {
        ~Anchors() { SecTrustSetAdditionalSystemAnchors({}); }
    } anchors;
    LoopbackHttpServer wrongHost(testsupport::tlsConnectionFactory(pki.otherHostChainPem(), pki.otherHostLeaf.keyPem),
                                 "https");
    wrongHost.route("GET", "/x", Reply::text("secret"));
    LoopbackHttpServer selfSigned(testsupport::tlsConnectionFactory(pki.selfSigned.pem, pki.selfSigned.keyPem), "https");
    selfSigned.route("GET", "/x", Reply::text("pinned"));

    f.recorder->answersTaskTrust = true;
    auto refused = f.session->dataTaskWithRequest(NSURLRequest::requestWithURL(wrongHost.url("/x")));
    refused->resume();
    f.finish(refused);
    auto error = f.recorder->outcome(refused->taskIdentifier()).error;
    REQUIRE(error);
    CHECK(error->code() == NSURLErrorServerCertificateUntrusted);
    CHECK(wrongHost.requestCount() == 0);
    CHECK(f.recorder->taskChallenges == 1);

    // Cancelling the challenge cancels the task.
    f.recorder->cancelsTrust = true;
    auto cancelled = f.session->dataTaskWithRequest(NSURLRequest::requestWithURL(wrongHost.url("/x")));
    cancelled->resume();
    f.finish(cancelled);
    CHECK(f.recorder->outcome(cancelled->taskIdentifier()).error->code() == NSURLErrorCancelled);
    CHECK(cancelled->state() == NSURLSessionTaskStateCompleted);
    f.recorder->cancelsTrust = false;

    f.recorder->answersSessionTrust = true;
    f.recorder->acceptsTrust = true;
    auto pinned = f.session->dataTaskWithRequest(NSURLRequest::requestWithURL(selfSigned.url("/x")));
    pinned->resume();
    f.finish(pinned);
    CHECK(f.recorder->outcome(pinned->taskIdentifier()).body == "pinned");
    CHECK(f.recorder->sessionChallenges == 1);
    CHECK(f.recorder->taskChallenges == 2);  // not asked for the session-level one
    f.checkCalls();
}

TEST_CASE("invalidating a session cancels its tasks and lets its delegate go") {
    testsupport::TempHome home;
    LoopbackHttpServer server;
    server.route("GET", "/stall", Reply::text("never").stallFirst());
    auto recorder = std::make_shared<Recorder>();
    std::weak_ptr<Recorder> weak = recorder;
    auto session = NSURLSession::sessionWithConfiguration(nullptr, recorder);
    auto task = session->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/stall")));
    task->resume();
    REQUIRE(runMainUntil(server.stalledConnections(1)));
    std::atomic<bool> listed{false};
    session->getTasksWithCompletionHandler([&](const NSURLSession::TaskLists& lists) {
        CHECK(lists.dataTasks.size() == 1);
        listed = true;
    });
    REQUIRE(runMainUntil([&] { return listed.load(); }));
    session->invalidateAndCancel();
    CHECK_FALSE(session->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/stall"))));
    REQUIRE(runMainUntil([&] { return recorder->invalid.load(); }));
    auto outcome = recorder->outcome(task->taskIdentifier());
    REQUIRE(outcome.error);
    CHECK(outcome.error->code() == NSURLErrorCancelled);
    CHECK(task->state() == NSURLSessionTaskStateCompleted);
    recorder.reset();
    REQUIRE(runMainUntil([&] { return weak.expired(); }));
    CHECK(session->tasks().dataTasks.empty());
}

TEST_CASE("task lifecycle: hooks get the prior state, state is observable; progress") {
    static std::mutex m;
    static std::vector<std::pair<std::string, long>> seen;
    static std::once_flag installed;
    std::call_once(installed, [] {
        NSURLSessionTask::addResumeHook([](const std::shared_ptr<NSURLSessionTask>&, NSURLSessionTaskState prior) {
            std::lock_guard lock(m);
            seen.emplace_back("resume", prior);
        });
        NSURLSessionTask::addSuspendHook([](const std::shared_ptr<NSURLSessionTask>&, NSURLSessionTaskState prior) {
            std::lock_guard lock(m);
            seen.emplace_back("suspend", prior);
        });
    });
    SessionFixture f;
    LoopbackHttpServer server;
    server.route("GET", "/stall", Reply::text("never").stallFirst());
    auto task = f.session->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/stall")));
    int stateChanges = 0;
    auto token = task->observeValueForKey("state", [&](const std::string&) { ++stateChanges; });
    {
        std::lock_guard lock(m);
        seen.clear();
    }
    task->resume();
    task->resume();
    task->suspend();
    task->suspend();
    task->resume();
    task->cancel();
    f.finish(task);
    task->resume();
    task->suspend();
    {
        std::lock_guard lock(m);
        CHECK(seen == std::vector<std::pair<std::string, long>>{{"resume", 1}, {"resume", 0}, {"suspend", 0},
                                                               {"suspend", 1}, {"resume", 1}, {"resume", 3},
                                                               {"suspend", 3}});
    }
    CHECK(stateChanges == 5);  // running, suspended, running, canceling, completed
    CHECK(f.recorder->outcome(task->taskIdentifier()).error->code() == NSURLErrorCancelled);

    auto progress = NSProgress::progressWithTotalUnitCount(200);
    std::vector<double> fractions;
    auto fractionToken = progress->observeValueForKey("fractionCompleted",
                                                      [&](const std::string&) { fractions.push_back(progress->fractionCompleted()); });
    int cancelled = 0, paused = 0;
    progress->setCancellationHandler([&] { ++cancelled; });
    progress->setPausingHandler([&] { ++paused; });
    progress->setCompletedUnitCount(50);
    progress->setCompletedUnitCount(50);
    progress->setCompletedUnitCount(200);
    progress->pause();
    progress->pause();
    progress->cancel();
    progress->cancel();
    CHECK(fractions == std::vector<double>{0.25, 1.0});
    CHECK(paused == 1);
    CHECK(cancelled == 1);
    CHECK(NSProgress(-1).fractionCompleted() == 0.0);
}

TEST_CASE("session configurations archive and copy") {
    auto background = NSURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier("com.example.bg");
    background->setHTTPAdditionalHeaders({{"X-App", "quorvane"}});
    background->setTimeoutIntervalForRequest(12);
    auto back = NSURLSessionConfiguration::initWithCoder(background->encodeWithCoder());
    REQUIRE(back);
    CHECK(back->identifier() == std::optional<std::string>("com.example.bg"));
    CHECK(back->HTTPAdditionalHeaders().at("x-app") == "quorvane");
    CHECK(back->timeoutIntervalForRequest() == 12);
    CHECK(back->timeoutIntervalForResource() == 604800);
    CHECK(NSURLSessionConfiguration::ephemeralSessionConfiguration()->copy()->isEphemeral());
    CHECK_FALSE(NSURLSessionConfiguration::initWithCoder(Value("nonsense")));
    auto request = back->requestForTask(NSURLRequest::requestWithURL("http://127.0.0.1/"));
    CHECK(request->valueForHTTPHeaderField("X-App") == std::optional<std::string>("quorvane"));
    CHECK(request->timeoutInterval() == 12);
}
