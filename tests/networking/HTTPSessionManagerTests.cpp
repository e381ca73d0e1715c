// The HTTP session manager: the base-URL rule, every verb on the wire (the
// multipart POST streamed with exact bytes), errors with their task, requests
// the serializer cannot build (reported later, never as a task), archiving
// and copying.
#include <doctest/doctest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "SessionManagerSupport.h"
#include "networking/NLHTTPSessionManager.h"
#include "platform/dispatch/Dispatch.h"
#include "support/LoopbackHttpServer.h"

using namespace managertest;
using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

using TaskPtr = NLHTTPSessionManager::DataTaskPtr;

std::shared_ptr<NLHTTPSessionManager> managerAt(const std::string& base) {
    return NLHTTPSessionManager::initWithBaseURL(base.empty() ? nullptr : NSURL::URLWithString(base));
}

// All bytes of a stream (a copy of a request's body stream).
std::string drain(const std::shared_ptr<NSInputStream>& stream) {
    REQUIRE(stream);
    stream->open();
    std::string bytes;
    std::uint8_t buffer[4096];
    long n;
    while ((n = stream->read(buffer, sizeof buffer)) > 0) bytes.append(buffer, buffer + n);
    stream->close();
    return bytes;
}

}  // namespace

TEST_SUITE("HTTP session manager") {

TEST_CASE("the base URL gains a trailing slash and the verbs' URL strings resolve against it") {
    struct Row {
        std::string base, storedBase, path, resolved;
    };
    const std::vector<Row> rows = {
        {"http://h.test/api", "http://h.test/api/", "items", "http://h.test/api/items"},
        {"http://h.test/api", "http://h.test/api/", "/items", "http://h.test/items"},
        {"http://h.test/api/", "http://h.test/api/", "items?q=1", "http://h.test/api/items?q=1"},
        {"http://h.test", "http://h.test", "items", "http://h.test/items"},
        {"http://h.test:8080/api", "http://h.test:8080/api/", "x", "http://h.test:8080/api/x"},
        {"", "", "http://h.test/only", "http://h.test/only"},
    };
    for (const auto& row : rows) {
        CAPTURE(row.base);
        CAPTURE(row.path);
        auto manager = managerAt(row.base);
        CHECK((manager->baseURL() ? manager->baseURL()->absoluteString() : std::string()) == row.storedBase);
        auto task = manager->dataTaskWithHTTPMethod("GET", row.path, Value(), nullptr, nullptr);
        REQUIRE(task);
        CHECK(task->state() == NSURLSessionTaskStateSuspended);  // the internal maker does not resume
        CHECK(task->originalRequest()->URL() == row.resolved);
        manager->invalidateSessionCancelingTasks(true);
    }
    auto manager = managerAt("http://h.test/api");
    CHECK(manager->description().rfind("<NLHTTPSessionManager: 0x", 0) == 0);
    CHECK(manager->description().find(", baseURL: http://h.test/api/, session: <NSURLSession: 0x") != std::string::npos);
    CHECK(manager->description().find(", operationQueue: <NSOperationQueue: 0x") != std::string::npos);
    manager->invalidateSessionCancelingTasks(true);
}

TEST_CASE("every verb reaches the server as a session task and reports through its callbacks") {
    LoopbackHttpServer server;
    server.setHandler([](const RecordedRequest& request) {
        if (request.method == "HEAD") return Reply::withStatus(200).header("Content-Type", "application/json");
        if (request.path() == "/api/fail") return Reply::text("{\"error\":1}", "application/json").header("X", "y");
        return Reply::text("{\"method\":\"" + request.method + "\"}", "application/json");
    });
    server.route("GET", "/api/broken", Reply::withStatus(500, "{}").header("Content-Type", "application/json"));
    auto manager = managerAt(server.url("/api"));
    manager->requestSerializer()->setValue("session-tests", "X-Client");
    const Value parameters{{"name", Value("a b&c")}};
    const std::string query = "name=a%20b%26c";

    struct Seen {
        std::mutex mutex;
        std::map<std::string, Value> objects;  // by method
        std::vector<std::string> failures;
        std::atomic<int> done{0};
        std::atomic<bool> offMain{false};
        std::atomic<bool> tasksGiven{true};
    } seen;
    auto success = [&](const TaskPtr& task, const Value& object) {
        if (!NSThread::isMainThread()) seen.offMain = true;
        if (!task) seen.tasksGiven = false;
        std::lock_guard lock(seen.mutex);
        seen.objects[task ? task->originalRequest()->HTTPMethod() : "?"] = object;
        ++seen.done;
    };
    auto failure = [&](const TaskPtr& task, const NSErrorPtr& error) {
        std::lock_guard lock(seen.mutex);
        seen.failures.push_back((task ? task->originalRequest()->URL() : "no task") + ": " +
                                (error ? std::to_string(error->code()) : "no error"));
        ++seen.done;
    };
    std::atomic<bool> headGotTask{false};
    std::vector<TaskPtr> tasks = {
        manager->GET("items", parameters, success, failure),
        manager->HEAD("items", parameters, [&](const TaskPtr& task) { headGotTask = task != nullptr; ++seen.done; },
                      failure),
        manager->POST("items", parameters, success, failure),
        manager->PUT("items/7", parameters, success, failure),
        manager->PATCH("items/7", parameters, success, failure),
        manager->DELETE("items/7", parameters, success, failure),
        manager->GET("broken", Value(), success, failure),
    };
    std::string expectedMultipart;
    auto multipart = manager->POST(
        "/upload", Value{{"title", Value("Poster")}},
        [](const std::shared_ptr<NLMultipartFormData>& formData) {
            formData->appendPartWithFileData(data(pattern(200000)), "poster", "poster.png", "image/png");
        },
        success, failure);
    REQUIRE(multipart);
    expectedMultipart = drain(multipart->originalRequest()->HTTPBodyStream()->copyStream());
    for (const auto& task : tasks) {
        REQUIRE(task);
        CHECK(task->state() != NSURLSessionTaskStateSuspended);  // the verbs resume
    }
    REQUIRE_MESSAGE(runMainUntil([&] { return seen.done == 8; }), "waited for the eight verbs' callbacks");
    CHECK_FALSE(seen.offMain);
    CHECK(seen.tasksGiven);
    CHECK(headGotTask);

    std::map<std::string, std::vector<RecordedRequest>> byMethod;
    for (const auto& request : server.requests()) byMethod[request.method].push_back(request);
    REQUIRE(server.requestCount() == 8);
    for (const auto& request : server.requests()) CHECK(request.headers.get("X-Client") == "session-tests");
    for (const std::string method : {"HEAD", "DELETE"}) {
        CAPTURE(method);
        REQUIRE(byMethod[method].size() == 1);
        CHECK(byMethod[method][0].query() == query);
        CHECK(byMethod[method][0].body.empty());
    }
    for (const std::string method : {"PUT", "PATCH"}) {
        CAPTURE(method);
        REQUIRE(byMethod[method].size() == 1);
        CHECK(byMethod[method][0].target == "/api/items/7");
        CHECK(byMethod[method][0].body == query);
    }
    REQUIRE(byMethod["POST"].size() == 2);
    for (const auto& request : byMethod["POST"]) {
        if (request.path() == "/api/items") {
            CHECK(request.body == query);
            continue;
        }
        CHECK(request.target == "/upload");
        CHECK(request.headers.get("Content-Type").rfind("multipart/form-data; boundary=", 0) == 0);
        CHECK(request.body.size() > 200000);
        CHECK(request.body == expectedMultipart);  // the streamed body, byte for byte
    }
    std::lock_guard lock(seen.mutex);
    for (const std::string method : {"GET", "PUT", "PATCH", "DELETE"}) {
        CAPTURE(method);
        CHECK(seen.objects[method]["method"].stringValue() == method);
    }
    // The 500 arrives as a failure with its task and the validation error.
    REQUIRE(seen.failures.size() == 1);
    CHECK(seen.failures[0] == server.url("/api/broken") + ": -1011");
    manager->invalidateSessionCancelingTasks(true);
}

TEST_CASE("a request the serializer cannot build gets no task and its failure runs after the verb returned") {
    LoopbackHttpServer server;
    server.setHandler([](const RecordedRequest&) { return Reply::text("{}", "application/json"); });
    auto manager = managerAt(server.url("/api"));
    const NSErrorPtr refusal = NSError::errorWithDomain("com.quorvane.tests", 7);
    manager->requestSerializer()->setQueryStringSerializationWithBlock(
        [&](const std::shared_ptr<NSURLRequest>&, const Value&, NSErrorPtr* error) -> std::optional<std::string> {
            if (error) *error = refusal;
            return std::nullopt;
        });
    auto queue = dispatch_queue_create("com.quorvane.tests.session.completion");
    auto group = dispatch_group_create();
    manager->setCompletionQueue(queue);
    manager->setCompletionGroup(group);

    struct Failure {
        bool called = false;
        bool withTask = true;
        std::string queueLabel;
        NSErrorPtr error;
    };
    std::vector<Failure> failures(3);
    std::mutex mutex;
    std::atomic<int> reported{0};
    auto failureFor = [&](int index) {
        return [&, index](const TaskPtr& task, const NSErrorPtr& error) {
            std::lock_guard lock(mutex);
            failures[index] = {true, task != nullptr, dispatch_queue_get_label(nullptr), error};
            ++reported;
        };
    };
    auto neverSucceeds = [](const TaskPtr&, const Value&) { FAIL("a request that was not built succeeded"); };
    {
        // The verbs run while the failures' lock is held, so none can report before all returned.
        std::lock_guard lock(mutex);
        CHECK_FALSE(manager->GET("items", Value{{"a", Value(1)}}, neverSucceeds, failureFor(0)));
        CHECK_FALSE(manager->POST("items", Value::array({Value(1)}), [](const std::shared_ptr<NLMultipartFormData>&) {},
                                  neverSucceeds, failureFor(1)));
        CHECK_FALSE(manager->PUT("not a url", Value(), neverSucceeds, failureFor(2)));
        for (const auto& failure : failures) CHECK_FALSE(failure.called);
    }
    REQUIRE_MESSAGE(runMainUntil([&] { return reported == 3; }), "waited for the three failures");
    CHECK(dispatch_group_wait(group, DISPATCH_TIME_NOW) == 0);
    std::lock_guard lock(mutex);
    for (int i = 0; i < 3; ++i) {
        CAPTURE(i);
        CHECK_FALSE(failures[i].withTask);
        CHECK(failures[i].queueLabel == "com.quorvane.tests.session.completion");
        REQUIRE(failures[i].error);
        if (i > 0) CHECK(failures[i].error->domain() == NLURLRequestSerializationErrorDomain);
    }
    CHECK(failures[0].error == refusal);
    CHECK(manager->tasks().empty());
    CHECK(server.requestCount() == 0);
    manager->invalidateSessionCancelingTasks(true);
}

TEST_CASE("a manager archives and copies its configuration, base URL and serializers") {
    auto configuration = NSURLSessionConfiguration::ephemeralSessionConfiguration();
    configuration->setHTTPAdditionalHeaders({{"X-Session", "7"}});
    auto manager = NLHTTPSessionManager::initWithBaseURL(NSURL::URLWithString("http://h.test/api"), configuration);
    auto requestSerializer = NLJSONRequestSerializer::serializer();
    requestSerializer->setValue("token-1", "X-Token");
    manager->setRequestSerializer(requestSerializer);
    manager->setResponseSerializer(NLPropertyListResponseSerializer::serializer());
    manager->setAttemptsToRecreateUploadTasksForBackgroundSessions(true);

    const Value archive = manager->encodeWithCoder();
    for (const auto& restored : {NLHTTPSessionManager::initWithCoder(archive),
                                 std::dynamic_pointer_cast<NLHTTPSessionManager>(manager->copy())}) {
        REQUIRE(restored);
        CHECK(restored != manager);
        CHECK(restored->className() == "NLHTTPSessionManager");
        CHECK(restored->baseURL()->absoluteString() == "http://h.test/api/");
        CHECK(restored->session()->configuration()->isEphemeral());
        CHECK(restored->session()->configuration()->HTTPAdditionalHeaders().at("X-Session") == "7");
        CHECK(restored->requestSerializer() != requestSerializer);
        CHECK(restored->requestSerializer()->className() == "NLJSONRequestSerializer");
        CHECK(restored->requestSerializer()->valueForHTTPHeaderField("X-Token") == "token-1");
        CHECK(restored->responseSerializer()->className() == "NLPropertyListResponseSerializer");
        CHECK_FALSE(restored->attemptsToRecreateUploadTasksForBackgroundSessions());
        restored->invalidateSessionCancelingTasks(true);
    }
    // An archive with an identifier and no configuration: a background session of that identifier.
    Value identifierOnly = Value::dictionary();
    identifierOnly.setObject("identifier", Value("com.quorvane.tests.background"));
    auto background = NLHTTPSessionManager::initWithCoder(identifierOnly);
    REQUIRE(background);
    CHECK(background->session()->configuration()->identifier() == "com.quorvane.tests.background");
    CHECK_FALSE(background->baseURL());
    // The base manager keeps its configuration through archiving and copying too.
    auto base = NLURLSessionManager::initWithSessionConfiguration(configuration);
    auto decoded = NLURLSessionManager::initWithCoder(base->encodeWithCoder());
    REQUIRE(decoded);
    CHECK(decoded->session()->configuration()->isEphemeral());
    CHECK(base->copy()->session()->configuration()->HTTPAdditionalHeaders().at("X-Session") == "7");
    CHECK_FALSE(NLURLSessionManager::initWithCoder(Value::dictionary()));
    for (const auto& m : {manager, background}) m->invalidateSessionCancelingTasks(true);
    base->invalidateSessionCancelingTasks(true);
    decoded->invalidateSessionCancelingTasks(true);
}

}  // TEST_SUITE
