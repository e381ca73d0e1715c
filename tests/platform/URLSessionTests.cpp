// URL sessions on the wire: data, upload and download tasks against the
// loopback server, redirects and responses decided later by the delegate,
// suspend, server trust, invalidation, and the task lifecycle (state, hooks,
// observation) with NSProgress.
#include <doctest/doctest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "URLSessionRecorder.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSProgress.h"
#include "platform/runloop/NSRunLoop.h"
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
using namespace sessiontest;


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
    std::atomic<int> countChanges{0};
    auto countToken = download->observeValueForKey("countOfBytesReceived", [&](const std::string&) { countChanges++; });
    download->resume();
    f.finish(download);
    CHECK(countChanges > 0);
    CHECK(download->countOfBytesReceived() == static_cast<std::int64_t>(big.size()));
    auto outcome = f.recorder->outcome(download->taskIdentifier());
    CHECK(sha256(outcome.downloaded) == sha256(big));
    CHECK(outcome.location.rfind(f.home.path() + "/tmp/", 0) == 0);
    CHECK_FALSE(exists(outcome.location));  // removed after the finish event
    CHECK(f.session->tasks().dataTasks.empty());

    // Finishing and invalidating lets a running task end as it would.
    auto last = f.session->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/text")));
    last->resume();
    f.session->finishTasksAndInvalidate();
    CHECK_FALSE(f.session->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/text"))));
    REQUIRE(runMainUntil([&] { return f.recorder->invalid.load(); }));
    CHECK(f.recorder->outcome(last->taskIdentifier()).body == "hello session");
    CHECK_FALSE(f.recorder->outcome(last->taskIdentifier()).error);
    CHECK_FALSE(f.session->delegate());
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

    // While a redirect waits for its answer, other transfers go on.
    f.recorder->holdsRedirects = true;
    auto waiting = f.session->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/from")));
    waiting->resume();
    REQUIRE(runMainUntil([&] {
        std::lock_guard lock(f.recorder->mutex);
        return static_cast<bool>(f.recorder->heldRedirect);
    }));
    auto moving = f.session->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/to")));
    moving->resume();
    f.finish(moving);
    CHECK(f.recorder->outcome(moving->taskIdentifier()).body == "proposed");
    CHECK_FALSE(f.recorder->done(waiting->taskIdentifier()));
    std::function<void()> answer;
    {
        std::lock_guard lock(f.recorder->mutex);
        answer = f.recorder->heldRedirect;
    }
    answer();  // from the main thread
    f.finish(waiting);
    CHECK(f.recorder->outcome(waiting->taskIdentifier()).body == "rewritten");
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
    request->setTimeoutInterval(3);
    auto task = f.session->dataTaskWithRequest(request);
    task->resume();
    REQUIRE(runMainUntil([&] { return suspended.load(); }, 60));
    CHECK(task->state() == NSURLSessionTaskStateSuspended);
    // The bytes already on their way arrive; then nothing moves while suspended.
    NSRunLoop::mainRunLoop()->runFor(1.0);
    const std::int64_t before = task->countOfBytesReceived();
    NSRunLoop::mainRunLoop()->runFor(3.0);
    CHECK(task->countOfBytesReceived() == before);
    CHECK(before < static_cast<std::int64_t>(body.size()));
    task->resume();
    f.finish(task);
    CHECK_FALSE(f.recorder->outcome(task->taskIdentifier()).error);
    CHECK(sha256(f.recorder->outcome(task->taskIdentifier()).body) == sha256(body));
    f.checkCalls();
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
    // Asked and waited for on the delegate queue itself, the list still comes.
    std::atomic<int> answered{-1};
    session->delegateQueue()->addOperationWithBlock([&] {
        auto done = dispatch_semaphore_create(0);
        session->getTasksWithCompletionHandler([&](const NSURLSession::TaskLists&) { dispatch_semaphore_signal(done); });
        answered = dispatch_semaphore_wait(done, dispatch_time(DISPATCH_TIME_NOW, 5 * NSEC_PER_SEC)) == 0 ? 1 : 0;
    });
    REQUIRE(runMainUntil([&] { return answered >= 0; }));
    CHECK(answered == 1);
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

TEST_CASE("task lifecycle: hooks get the prior state, state is observable, progress") {
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
