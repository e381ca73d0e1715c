// The URL-session manager on the wire: data, upload and download tasks with
// their progress, completions and completion notifications; a download that
// cannot be moved; resume and suspend announcements; task lists asked from a
// callback; server trust through the policy; invalidation.
#include <doctest/doctest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "SessionManagerSupport.h"
#include "networking/NLSecurityPolicy.h"
#include "networking/NSURLSessionTaskStateObserving.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/security/SecTrust.h"
#include "support/LoopbackHttpServer.h"
#include "support/LoopbackTlsConnection.h"
#include "support/TestPKI.h"

using namespace managertest;
using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

using Manager = std::shared_ptr<NLURLSessionManager>;

Manager plainManager() {
    auto manager = NLURLSessionManager::initWithSessionConfiguration();
    manager->setResponseSerializer(NLHTTPResponseSerializer::serializer());
    return manager;
}

// Posts of one notification name, counted by object.
class PostCounter {
public:
    explicit PostCounter(const std::string& name) {
        token_ = NSNotificationCenter::defaultCenter()->addObserverForName(
            name, nullptr, nullptr, [this](const NSNotification& note) {
                std::lock_guard lock(mutex_);
                ++counts_[note.object().get()];
                if (!NSThread::isMainThread()) offMain_ = true;
                userInfo_ = note.userInfo();
            });
    }
    ~PostCounter() { NSNotificationCenter::defaultCenter()->removeObserver(token_.get()); }
    int count(const std::shared_ptr<NSObject>& object) {
        std::lock_guard lock(mutex_);
        return counts_[object.get()];
    }
    bool offMain() {
        std::lock_guard lock(mutex_);
        return offMain_;
    }
    Value userInfo() {
        std::lock_guard lock(mutex_);
        return userInfo_;
    }

private:
    std::mutex mutex_;
    std::map<const NSObject*, int> counts_;
    bool offMain_ = false;
    Value userInfo_;
    std::shared_ptr<NSObject> token_;
};

// Lets the main queue run what is queued now (and what that queues).
void settle() {
    for (int round = 0; round < 3; ++round) {
        auto ran = std::make_shared<std::atomic<bool>>(false);
        dispatch_async(dispatch_get_main_queue(), [ran] { *ran = true; });
        REQUIRE_MESSAGE(runMainUntil([&] { return ran->load(); }), "waited for the main queue to drain");
    }
}

}  // namespace

TEST_SUITE("URL session manager") {

TEST_CASE("data, upload and download tasks move exact bytes, reach full progress and report every completion key") {
    testsupport::TempHome home;
    LoopbackHttpServer server;
    const std::string big = pattern(3 << 20);
    const std::string payload = pattern(300000, 7);
    server.route("GET", "/text", Reply::text("hello manager"));
    server.route("GET", "/big", testsupport::serveBytes(big));
    server.route("POST", "/echo", [](const RecordedRequest& r) { return Reply::text(r.body, "application/octet-stream"); });
    auto manager = plainManager();
    auto serializer = manager->responseSerializer();
    CHECK(manager->operationQueue()->maxConcurrentOperationCount() == 1);
    CHECK(manager->lock()->name() == "com.netline.networking.session.manager.lock");
    CHECK(dispatch_queue_get_label(NLURLSessionManager::taskCreationQueue()) ==
          "com.netline.networking.session.manager.creation");
    CHECK(dispatch_queue_get_label(NLURLSessionManager::processingQueue()) ==
          "com.netline.networking.session.manager.processing");
    CHECK(manager->session()->delegateQueue() == manager->operationQueue());

    // Every event arrives one at a time, off the main thread.
    CallChecker events;
    manager->setDataTaskDidReceiveDataBlock([&](auto&&...) { CallChecker::Scope s(events); });
    manager->setTaskDidSendBodyDataBlock([&](auto&&...) { CallChecker::Scope s(events); });
    manager->setDownloadTaskDidWriteDataBlock([&](auto&&...) { CallChecker::Scope s(events); });
    manager->setTaskDidCompleteBlock([&](auto&&...) { CallChecker::Scope s(events); });

    Completions completions;
    auto plain = manager->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/text")), completions.handler("text"));
    REQUIRE(plain);
    CHECK(plain->state() == NSURLSessionTaskStateSuspended);  // the caller resumes
    const std::string file = home.path() + "/payload.bin";
    std::ofstream(file, std::ios::binary) << payload;
    std::shared_ptr<NSProgress> fileProgress, dataProgress, streamProgress, downloadProgress;
    auto fromFile = manager->uploadTaskWithRequest(post(server.url("/echo")), file, &fileProgress, completions.handler("file"));
    auto fromData = manager->uploadTaskWithRequest(post(server.url("/echo")), data(payload), &dataProgress,
                                                   completions.handler("data"));
    auto streamed = post(server.url("/echo"));
    streamed->setHTTPBodyStream(NSInputStream::inputStreamWithData(data(payload)));
    streamed->setValue(std::to_string(payload.size()), "Content-Length");
    auto fromStream = manager->uploadTaskWithStreamedRequest(streamed, &streamProgress, completions.handler("stream"));
    const std::string destination = home.path() + "/big.bin";
    auto download = manager->downloadTaskWithRequest(
        NSURLRequest::requestWithURL(server.url("/big")), &downloadProgress,
        [&](const NSURLPtr& location, const std::shared_ptr<NSURLResponse>& response) {
            CHECK(location->isFileURL());
            CHECK(response);
            return NSURL::fileURLWithPath(destination);
        },
        completions.handler("download"));
    REQUIRE(fromFile);
    REQUIRE(fromData);
    REQUIRE(fromStream);
    REQUIRE(download);
    for (const auto& progress : {fileProgress, dataProgress, streamProgress})
        CHECK(progress->totalUnitCount() == static_cast<std::int64_t>(payload.size()));
    CHECK(manager->uploadProgressForTask(fromFile) == fileProgress);
    CHECK(manager->downloadProgressForTask(download) == downloadProgress);
    CHECK(manager->tasks().size() == 5);

    const std::vector<std::pair<std::string, std::shared_ptr<NSURLSessionTask>>> all = {
        {"text", plain}, {"file", fromFile}, {"data", fromData}, {"stream", fromStream}, {"download", download}};
    for (const auto& [name, task] : all) task->resume();
    for (const auto& [name, task] : all) {
        CAPTURE(name);
        auto done = completions.wait(name, task);
        CHECK(done.onMain);
        CHECK_FALSE(done.error);
        REQUIRE(done.response);
        Value info = completions.userInfo(task);
        CHECK(info[NLNetworkingTaskDidCompleteResponseSerializerKey].object() == serializer);
        CHECK_FALSE(info[NLNetworkingTaskDidCompleteErrorKey]);
        CHECK(info[NLNetworkingTaskDidCompleteSerializedResponseKey] == done.object);
        if (name == "download") {
            auto url = done.object.objectAs<NSURL>();
            REQUIRE(url);
            CHECK(url->path() == destination);
            CHECK(info[NLNetworkingTaskDidCompleteAssetPathKey].objectAs<NSURL>() == url);
            CHECK_FALSE(info[NLNetworkingTaskDidCompleteResponseDataKey]);
            CHECK(readFile(destination) == big);
            CHECK(downloadProgress->fractionCompleted() == 1.0);
            continue;
        }
        const std::string expected = name == "text" ? "hello manager" : payload;
        REQUIRE(done.object.data());
        CHECK(text(*done.object.data()) == expected);
        REQUIRE(info[NLNetworkingTaskDidCompleteResponseDataKey].data());
        CHECK(text(*info[NLNetworkingTaskDidCompleteResponseDataKey].data()) == expected);
        CHECK_FALSE(info[NLNetworkingTaskDidCompleteAssetPathKey]);
        CHECK(manager->downloadProgressForTask(task) == nullptr);  // the record went with the task
    }
    for (const auto& progress : {fileProgress, dataProgress, streamProgress}) CHECK(progress->fractionCompleted() == 1.0);
    for (const auto& request : server.requests())
        if (request.method == "POST") CHECK(request.body == payload);
    CHECK(events.calls > 0);
    CHECK(events.overlaps == 0);
    CHECK(events.onMain == 0);
    CHECK_FALSE(completions.notifiedOffMain());
    CHECK(manager->tasks().empty());
    manager->invalidateSessionCancelingTasks(true);
}

TEST_CASE("failures reach the completion with no response object and the error in the notification") {
    testsupport::TempHome home;
    LoopbackHttpServer server;
    server.route("GET", "/missing", Reply::withStatus(404, "{\"gone\":true}").header("Content-Type", "application/json"));
    server.route("GET", "/json", Reply::text("{\"a\":1}", "application/json"));
    auto manager = NLURLSessionManager::initWithSessionConfiguration();  // JSON by default
    Completions completions;
    auto refusedURL = server.url("/x");
    {
        LoopbackHttpServer closed;  // a port that refuses once this one stopped
        refusedURL = closed.url("/refused");
    }
    auto refused = manager->dataTaskWithRequest(NSURLRequest::requestWithURL(refusedURL), completions.handler("refused"));
    auto missing = manager->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/missing")),
                                                completions.handler("missing"));
    auto json = manager->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/json")), completions.handler("json"));
    for (const auto& task : {refused, missing, json}) task->resume();

    auto transport = completions.wait("refused", refused);
    REQUIRE(transport.error);
    CHECK(transport.error->domain() == NSURLErrorDomain);
    CHECK_FALSE(transport.object);
    Value info = completions.userInfo(refused);
    CHECK(info[NLNetworkingTaskDidCompleteErrorKey].object() == transport.error);
    CHECK_FALSE(info[NLNetworkingTaskDidCompleteSerializedResponseKey]);
    CHECK(info[NLNetworkingTaskDidCompleteResponseDataKey].data());  // the (empty) body is there

    auto validation = completions.wait("missing", missing);
    REQUIRE(validation.error);
    CHECK(validation.error->domain() == NLURLResponseSerializationErrorDomain);
    CHECK(validation.error->code() == NLURLErrorBadServerResponse);
    CHECK(completions.userInfo(missing)[NLNetworkingTaskDidCompleteErrorKey].object() == validation.error);

    auto parsed = completions.wait("json", json);
    CHECK_FALSE(parsed.error);
    CHECK(parsed.object["a"].intValue() == 1);
    manager->invalidateSessionCancelingTasks(true);
}

TEST_CASE("a downloaded file that cannot be moved fails the task and is still announced") {
    testsupport::TempHome home;
    LoopbackHttpServer server;
    server.route("GET", "/file", testsupport::serveBytes(pattern(100000)));
    const std::string nowhere = home.path() + "/no/such/folder/file.bin";
    for (const bool throughSlot : {false, true}) {
        CAPTURE(throughSlot);
        auto manager = plainManager();
        PostCounter moveErrors(NLURLSessionDownloadTaskDidFailToMoveFileNotification);
        Completions completions;
        NLURLSessionManager::DestinationBlock destination;
        if (throughSlot)
            manager->setDownloadTaskDidFinishDownloadingBlock(
                [&](auto&&...) { return NSURL::fileURLWithPath(nowhere); });
        else
            destination = [&](auto&&...) { return NSURL::fileURLWithPath(nowhere); };
        auto task = manager->downloadTaskWithRequest(NSURLRequest::requestWithURL(server.url("/file")), nullptr,
                                                     destination, completions.handler("download"));
        task->resume();
        auto done = completions.wait("download", task);
        CHECK(moveErrors.count(task) == 1);
        CHECK(moveErrors.offMain());  // posted on the delegate queue
        CHECK(moveErrors.userInfo()[NSFilePathErrorKey]);
        REQUIRE(done.error);
        CHECK(done.error->domain() == NSCocoaErrorDomain);
        CHECK_FALSE(done.object);  // no URL of a file that is not there
        Value info = completions.userInfo(task);
        CHECK(info[NLNetworkingTaskDidCompleteErrorKey].object() == done.error);
        CHECK_FALSE(info[NLNetworkingTaskDidCompleteAssetPathKey]);
        CHECK_FALSE(NSFileManager::defaultManager()->fileExistsAtPath(nowhere));
        manager->invalidateSessionCancelingTasks(true);
    }
}

TEST_CASE("resume and suspend are announced on real state changes, by the task's own manager only") {
    NLInstallSessionTaskStateObserving();
    LoopbackHttpServer server;
    server.route("GET", "/held", Reply::text("held").stallFirst());
    PostCounter rawResume(NLNetworkingSessionTaskDidResumeNotification);
    PostCounter rawSuspend(NLNetworkingSessionTaskDidSuspendNotification);
    PostCounter ownResume(NLNetworkingTaskDidResumeNotification);
    PostCounter ownSuspend(NLNetworkingTaskDidSuspendNotification);
    auto a = plainManager();
    auto b = plainManager();
    Completions completions;
    auto taskA = a->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/held")), completions.handler("a"));
    auto taskB = b->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/held")), completions.handler("b"));
    REQUIRE(taskA->taskIdentifier() == taskB->taskIdentifier());  // two sessions, the same identifier

    taskA->suspend();  // suspended already: nothing
    taskA->resume();
    taskA->resume();  // running already: nothing
    CHECK(rawResume.count(taskA) == 1);  // synchronously, on the calling thread
    REQUIRE(runMainUntil(server.stalledConnections(1)));
    taskA->suspend();
    taskA->suspend();
    CHECK(rawSuspend.count(taskA) == 1);
    taskB->resume();
    settle();
    CHECK(ownResume.count(taskA) == 1);
    CHECK(ownSuspend.count(taskA) == 1);
    CHECK(ownResume.count(taskB) == 1);  // from b alone, though a has a task of that identifier
    CHECK_FALSE(ownResume.offMain());

    taskA->resume();
    REQUIRE_MESSAGE(runMainUntil(server.stalledConnections(2)), "waited for both tasks to be held by the server");
    server.releaseStalls();
    completions.wait("a", taskA);
    completions.wait("b", taskB);
    // A completed task neither starts nor stops running again.
    taskA->resume();
    taskA->suspend();
    settle();
    CHECK(rawResume.count(taskA) == 2);
    CHECK(rawSuspend.count(taskA) == 1);
    CHECK(ownResume.count(taskA) == 2);
    CHECK(ownSuspend.count(taskA) == 1);
    a->invalidateSessionCancelingTasks(true);
    b->invalidateSessionCancelingTasks(true);
}

TEST_CASE("task lists come in kind order and answer from inside a delegate callback") {
    testsupport::TempHome home;
    LoopbackHttpServer server;
    server.route("GET", "/text", Reply::text("x"));
    server.route("POST", "/echo", [](const RecordedRequest& r) { return Reply::text(r.body); });
    auto manager = plainManager();
    auto download = manager->downloadTaskWithRequest(NSURLRequest::requestWithURL(server.url("/text")), nullptr,
                                                     nullptr, nullptr);
    auto upload = manager->uploadTaskWithRequest(post(server.url("/echo")), data("up"), nullptr, nullptr);
    auto dataTask = manager->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/text")), nullptr);
    const std::vector<std::shared_ptr<NSURLSessionTask>> expected = {dataTask, upload, download};
    CHECK(manager->tasks() == expected);
    CHECK(manager->dataTasks().size() == 1);
    CHECK(manager->uploadTasks().front() == upload);
    CHECK(manager->downloadTasks().front() == download);

    std::atomic<int> seenInCallback{-1};
    std::atomic<bool> completed{false};
    manager->setDataTaskDidReceiveDataBlock([&](const NSURLSessionPtr&, const auto&, const Data&) {
        seenInCallback = static_cast<int>(manager->tasks().size() + manager->dataTasks().size());
    });
    manager->setTaskDidCompleteBlock([&](auto&&...) { completed = true; });
    dataTask->resume();
    REQUIRE_MESSAGE(runMainUntil([&] { return completed.load(); }), "waited for the data task (a lock-up fails here)");
    CHECK(seenInCallback == 4);  // three tasks, one of them a data task
    manager->invalidateSessionCancelingTasks(true);
}

TEST_CASE("the session asks about redirects and responses only once a slot is set, and the slot decides") {
    LoopbackHttpServer server;
    server.route("GET", "/from", Reply::redirect(302, "/to"));
    server.route("GET", "/to", Reply::text("proposed"));
    server.route("GET", "/other", Reply::text("rewritten"));
    server.route("GET", "/refused", Reply::text("never delivered"));
    auto manager = plainManager();
    CHECK_FALSE(manager->respondsToWillPerformHTTPRedirection());
    CHECK_FALSE(manager->respondsToDidReceiveResponse());
    CHECK_FALSE(manager->respondsToWillCacheResponse());
    Completions completions;
    auto followed = manager->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/from")),
                                                 completions.handler("followed"));
    followed->resume();
    CHECK(text(*completions.wait("followed", followed).object.data()) == "proposed");

    const std::string other = server.url("/other");
    manager->setTaskWillPerformHTTPRedirectionBlock([&](auto&&, auto&&, auto&&, const std::shared_ptr<NSURLRequest>& proposed) {
        auto next = proposed->mutableCopy();
        next->setURL(other);
        return std::shared_ptr<NSURLRequest>(next);
    });
    manager->setDataTaskDidReceiveResponseBlock([](auto&&, auto&&, const std::shared_ptr<NSURLResponse>& response) {
        return response->URL().find("/refused") != std::string::npos ? NSURLSessionResponseCancel
                                                                       : NSURLSessionResponseAllow;
    });
    CHECK(manager->respondsToWillPerformHTTPRedirection());
    CHECK(manager->respondsToDidReceiveResponse());
    auto rewritten = manager->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/from")),
                                                  completions.handler("rewritten"));
    auto refused = manager->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/refused")),
                                                completions.handler("refused"));
    rewritten->resume();
    refused->resume();
    CHECK(text(*completions.wait("rewritten", rewritten).object.data()) == "rewritten");
    auto cancelled = completions.wait("refused", refused);
    REQUIRE(cancelled.error);
    CHECK(cancelled.error->code() == NSURLErrorCancelled);
    manager->invalidateSessionCancelingTasks(true);
}

TEST_CASE("server trust is decided by the manager's security policy") {
    const auto& pki = testsupport::testPKI();
    LoopbackHttpServer tls(testsupport::tlsConnectionFactory(pki.selfSigned.pem, pki.selfSigned.keyPem), "https");
    tls.route("GET", "/hello", Reply::text("over TLS"));
    struct Row {
        bool relaxed;
        bool succeeds;
    };
    for (const Row row : {Row{false, false}, Row{true, true}}) {
        CAPTURE(row.relaxed);
        auto manager = plainManager();
        if (row.relaxed) {
            auto policy = NLSecurityPolicy::policyWithPinningMode(NLSSLPinningModeCertificate);
            policy->setPinnedCertificates(std::vector<Data>{pki.selfSigned.der});
            policy->setAllowInvalidCertificates(true);
            manager->setSecurityPolicy(policy);
        }
        Completions completions;
        auto task = manager->dataTaskWithRequest(NSURLRequest::requestWithURL(tls.url("/hello")), completions.handler("t"));
        task->resume();
        auto done = completions.wait("t", task);
        CHECK(static_cast<bool>(done.error) != row.succeeds);
        if (row.succeeds) CHECK(text(*done.object.data()) == "over TLS");
        manager->invalidateSessionCancelingTasks(true);
    }
    CHECK(tls.requestCount() == 1);  // the refused handshake sent no request
}

TEST_CASE("invalidation ends the tasks, posts, and lets the manager go") {
    for (const bool cancel : {true, false}) {
        CAPTURE(cancel);
        LoopbackHttpServer server;
        server.route("GET", "/held", Reply::text("finished").stallFirst());
        PostCounter invalidated(NLURLSessionDidInvalidateNotification);
        Completions completions;
        auto manager = plainManager();
        std::weak_ptr<NLURLSessionManager> weak = manager;
        std::atomic<bool> slotCalled{false};
        manager->setSessionDidBecomeInvalidBlock([&](auto&&...) { slotCalled = true; });
        auto session = manager->session();
        auto task = manager->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/held")),
                                                 completions.handler("held"));
        task->resume();
        REQUIRE(runMainUntil(server.stalledConnections(1)));
        manager->invalidateSessionCancelingTasks(cancel);
        manager.reset();
        CHECK_FALSE(weak.expired());  // the session holds it until it is invalid
        if (!cancel) {
            settle();
            CHECK_FALSE(completions["held"].done);  // a running task may end first
            server.releaseStalls();
        }
        auto done = completions.wait("held", task);
        if (cancel) {
            REQUIRE(done.error);
            CHECK(done.error->code() == NSURLErrorCancelled);
        } else {
            CHECK_FALSE(done.error);
            CHECK(text(*done.object.data()) == "finished");
        }
        REQUIRE_MESSAGE(runMainUntil([&] { return invalidated.count(session) == 1 && weak.expired(); }),
                        "waited for the invalidation notice and the manager to go");
        CHECK(slotCalled);
        CHECK(invalidated.offMain());
        CHECK_FALSE(session->delegate());
    }
}

}  // TEST_SUITE
