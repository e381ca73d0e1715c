// The request-operation manager: the base-URL rule, every verb on the wire,
// requests the serializer cannot build (reported later, never as an
// operation), archiving and copying.
#include <doctest/doctest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "networking/NLHTTPRequestOperationManager.h"
#include "networking/NLSecurityPolicy.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/runloop/NSThread.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

using OperationPtr = NLHTTPRequestOperationManager::OperationPtr;

std::shared_ptr<NLHTTPRequestOperationManager> managerAt(const std::string& base) {
    return NLHTTPRequestOperationManager::initWithBaseURL(base.empty() ? nullptr : NSURL::URLWithString(base));
}

Data data(const std::string& s) { return Data(s.begin(), s.end()); }

}  // namespace

TEST_SUITE("request operation manager") {

TEST_CASE("the base URL gains a trailing slash and the verbs' URL strings resolve against it") {
    struct Row {
        std::string base, storedBase, path, resolved;
    };
    const std::vector<Row> rows = {
        {"http://h.test/api", "http://h.test/api/", "users", "http://h.test/api/users"},
        {"http://h.test/api", "http://h.test/api/", "/users", "http://h.test/users"},
        {"http://h.test/api/", "http://h.test/api/", "users?q=1", "http://h.test/api/users?q=1"},
        {"http://h.test/api/v1", "http://h.test/api/v1/", "../users", "http://h.test/api/users"},
        {"http://h.test", "http://h.test", "users", "http://h.test/users"},
        {"http://h.test/", "http://h.test/", "a/b", "http://h.test/a/b"},
        {"http://h.test:8080/api", "http://h.test:8080/api/", "x", "http://h.test:8080/api/x"},
        {"http://h.test/api", "http://h.test/api/", "https://other.test/z", "https://other.test/z"},
        {"", "", "http://h.test/only", "http://h.test/only"},
    };
    for (const auto& row : rows) {
        CAPTURE(row.base);
        CAPTURE(row.path);
        auto manager = managerAt(row.base);
        CHECK((manager->baseURL() ? manager->baseURL()->absoluteString() : std::string()) == row.storedBase);
        // A suspended queue keeps the operation from running: only its request is looked at.
        manager->operationQueue()->setSuspended(true);
        auto operation = manager->GET(row.path, Value(), nullptr, nullptr);
        REQUIRE(operation);
        CHECK(operation->request()->URL() == row.resolved);
        CHECK(operation->request()->HTTPMethod() == "GET");
        CHECK(manager->operationQueue()->operationCount() == 1);
        // Cancelled, the operation ends without a connection once the queue runs it.
        manager->operationQueue()->cancelAllOperations();
        manager->operationQueue()->setSuspended(false);
        REQUIRE_MESSAGE(runMainUntil([&] { return operation->isFinished(); }), "waited for the cancelled operation");
    }
    auto manager = managerAt("http://h.test/api");
    CHECK(manager->description().rfind("<NLHTTPRequestOperationManager: 0x", 0) == 0);
    CHECK(manager->description().find(", baseURL: http://h.test/api/, operationQueue: <NSOperationQueue: 0x") !=
          std::string::npos);
}

TEST_CASE("every verb reaches the server with its method, path, parameters, body and headers") {
    LoopbackHttpServer server;
    server.setHandler([](const RecordedRequest& request) {
        if (request.method == "HEAD") return Reply::withStatus(200).header("Content-Type", "application/json");
        return Reply::text("{\"method\":\"" + request.method + "\"}", "application/json");
    });
    auto manager = managerAt(server.url("/api"));
    manager->requestSerializer()->setValue("catalogue-tests", "X-Client");
    const Value parameters{{"name", Value("a b&c")}, {"tags", Value::array({Value("x"), Value("y")})}};
    const std::string query = "name=a%20b%26c&tags[]=x&tags[]=y";
    const std::string form = "application/x-www-form-urlencoded";

    struct Seen {
        std::mutex mutex;
        std::map<std::string, Value> objects;  // by the method of the operation's request
        std::vector<std::string> failures;
        std::atomic<int> done{0};
        std::atomic<bool> offMain{false};
    } seen;
    auto success = [&](const OperationPtr& operation, const Value& object) {
        if (!NSThread::isMainThread()) seen.offMain = true;
        std::lock_guard lock(seen.mutex);
        seen.objects[operation->request()->HTTPMethod()] = object;
        ++seen.done;
    };
    auto failure = [&](const OperationPtr& operation, const NSErrorPtr& error) {
        std::lock_guard lock(seen.mutex);
        seen.failures.push_back((operation ? operation->request()->HTTPMethod() : "?") + ": " +
                                (error ? error->description() : "no error"));
        ++seen.done;
    };
    std::atomic<bool> headGotOperation{false};
    REQUIRE(manager->GET("items", parameters, success, failure));
    REQUIRE(manager->HEAD("items", parameters,
                          [&](const OperationPtr& operation) {
                              headGotOperation = operation && operation->response() &&
                                                 operation->response()->statusCode() == 200;
                              ++seen.done;
                          },
                          failure));
    REQUIRE(manager->POST("items", parameters, success, failure));
    REQUIRE(manager->PUT("items/7", parameters, success, failure));
    REQUIRE(manager->PATCH("items/7", parameters, success, failure));
    REQUIRE(manager->DELETE("items/7", parameters, success, failure));
    auto multipart = manager->POST(
        "/upload", Value{{"title", Value("Poster")}},
        [](const std::shared_ptr<NLMultipartFormData>& formData) {
            formData->appendPartWithFileData(data("PNGDATA"), "poster", "poster.png", "image/png");
        },
        success, failure);
    REQUIRE(multipart);
    REQUIRE_MESSAGE(runMainUntil([&] { return seen.done == 7; }), "waited for the seven verbs' callbacks");
    CHECK(seen.failures.empty());
    CHECK_FALSE(seen.offMain);
    CHECK(headGotOperation);

    std::map<std::string, std::vector<RecordedRequest>> byMethod;
    for (const auto& request : server.requests()) byMethod[request.method].push_back(request);
    REQUIRE(server.requestCount() == 7);
    for (const auto& request : server.requests()) {
        CAPTURE(request.method);
        CHECK(request.headers.get("X-Client") == "catalogue-tests");
    }
    for (const std::string method : {"GET", "HEAD", "DELETE"}) {
        CAPTURE(method);
        REQUIRE(byMethod[method].size() == 1);
        const auto& request = byMethod[method][0];
        CHECK(request.path() == (method == "DELETE" ? "/api/items/7" : "/api/items"));
        CHECK(request.query() == query);
        CHECK(request.body.empty());
    }
    for (const std::string method : {"PUT", "PATCH"}) {
        CAPTURE(method);
        REQUIRE(byMethod[method].size() == 1);
        const auto& request = byMethod[method][0];
        CHECK(request.target == "/api/items/7");
        CHECK(request.body == query);
        CHECK(request.headers.get("Content-Type") == form);
    }
    REQUIRE(byMethod["POST"].size() == 2);
    for (const auto& request : byMethod["POST"]) {
        if (request.path() == "/api/items") {
            CHECK(request.body == query);
            CHECK(request.headers.get("Content-Type") == form);
            continue;
        }
        CHECK(request.target == "/upload");
        const std::string type = request.headers.get("Content-Type");
        REQUIRE(type.rfind("multipart/form-data; boundary=", 0) == 0);
        const std::string boundary = type.substr(std::string("multipart/form-data; boundary=").size());
        CHECK(request.body.find("--" + boundary + "\r\n") == 0);
        CHECK(request.body.find("Content-Disposition: form-data; name=\"title\"\r\n\r\nPoster\r\n") !=
              std::string::npos);
        CHECK(request.body.find("name=\"poster\"; filename=\"poster.png\"\r\nContent-Type: image/png\r\n\r\nPNGDATA\r\n") !=
              std::string::npos);
        CHECK(request.body.size() >= boundary.size() + 6);
        CHECK(request.body.substr(request.body.size() - boundary.size() - 6) == "--" + boundary + "--\r\n");
    }
    // The default response serializer parses JSON for the verbs that carry a response object.
    std::lock_guard lock(seen.mutex);
    for (const std::string method : {"GET", "PUT", "PATCH", "DELETE", "POST"}) {
        CAPTURE(method);
        CHECK(seen.objects[method]["method"].stringValue() == method);
    }
}

TEST_CASE("a request the serializer cannot build gets no operation and its failure runs after the verb returned") {
    LoopbackHttpServer server;
    server.setHandler([](const RecordedRequest&) { return Reply::text("{}", "application/json"); });
    auto manager = managerAt(server.url("/api"));
    const NSErrorPtr refusal = NSError::errorWithDomain("com.quorvane.tests", 7);
    manager->requestSerializer()->setQueryStringSerializationWithBlock(
        [&](const std::shared_ptr<NSURLRequest>&, const Value&, NSErrorPtr* error) -> std::optional<std::string> {
            if (error) *error = refusal;
            return std::nullopt;
        });
    auto queue = dispatch_queue_create("com.quorvane.tests.manager.completion");
    auto group = dispatch_group_create();
    manager->setCompletionQueue(queue);
    manager->setCompletionGroup(group);

    struct Failure {
        bool called = false;
        bool withOperation = true;
        std::string queueLabel;
        NSErrorPtr error;
    };
    const int cases = 3;
    std::vector<Failure> failures(cases);
    std::mutex mutex;
    std::atomic<int> reported{0};
    auto failureFor = [&](int index) {
        return [&, index](const OperationPtr& operation, const NSErrorPtr& error) {
            std::lock_guard lock(mutex);
            failures[index] = {true, operation != nullptr, dispatch_queue_get_label(nullptr), error};
            ++reported;
        };
    };
    auto neverSucceeds = [](const OperationPtr&, const Value&) { FAIL("a request that was not built succeeded"); };
    {
        // The calls run inside one block on the completion queue, so no failure
        // can run before all three verbs returned.
        std::lock_guard lock(mutex);
        CHECK_FALSE(manager->GET("items", Value{{"a", Value(1)}}, neverSucceeds, failureFor(0)));
        CHECK_FALSE(manager->POST("items", Value::array({Value(1)}), [](const std::shared_ptr<NLMultipartFormData>&) {},
                                  neverSucceeds, failureFor(1)));
        CHECK_FALSE(manager->PUT("not a url", Value(), neverSucceeds, failureFor(2)));
        for (const auto& failure : failures) CHECK_FALSE(failure.called);
    }
    REQUIRE_MESSAGE(runMainUntil([&] { return reported == cases; }), "waited for the three failures");
    CHECK(dispatch_group_wait(group, DISPATCH_TIME_NOW) == 0);
    std::lock_guard lock(mutex);
    for (int i = 0; i < cases; ++i) {
        CAPTURE(i);
        CHECK_FALSE(failures[i].withOperation);
        CHECK(failures[i].queueLabel == "com.quorvane.tests.manager.completion");
        REQUIRE(failures[i].error);
        if (i == 0) continue;  // the query-string callback's own error, below
        CHECK(failures[i].error->domain() == NLURLRequestSerializationErrorDomain);
        CHECK(failures[i].error->code() == NLURLRequestSerializationErrorCode);
    }
    CHECK(failures[0].error == refusal);
    CHECK(failures[2].error->userInfo()[NSURLErrorFailingURLStringErrorKey].stringValue() == "not a url");
    CHECK(manager->operationQueue()->operationCount() == 0);
    CHECK(server.requestCount() == 0);
}

TEST_CASE("a manager archives and copies its base URL and serializers and nothing else") {
    auto manager = managerAt("http://h.test/api");
    auto requestSerializer = NLJSONRequestSerializer::serializer();
    requestSerializer->setValue("token-1", "X-Token");
    manager->setRequestSerializer(requestSerializer);
    auto responseSerializer = NLPropertyListResponseSerializer::serializerWithFormat(NSPropertyListBinaryFormat_v1_0, 2);
    manager->setResponseSerializer(responseSerializer);
    manager->setShouldUseCredentialStorage(false);
    manager->setCredential(NSURLCredential::credentialWithUser("u", "p", NSURLCredentialPersistenceNone));
    manager->setCompletionQueue(dispatch_queue_create("com.quorvane.tests.manager.archive"));
    CHECK(NLHTTPRequestOperationManager::supportsSecureCoding());

    manager->setSecurityPolicy(NLSecurityPolicy::policyWithPinningMode(1));
    auto decoded = NLHTTPRequestOperationManager::initWithCoder(manager->encodeWithCoder());
    auto copied = manager->copy();
    for (const auto& other : {decoded, copied}) {
        REQUIRE(other);
        REQUIRE(other->baseURL());
        CHECK(other->baseURL()->absoluteString() == "http://h.test/api/");
        auto request = std::dynamic_pointer_cast<NLJSONRequestSerializer>(other->requestSerializer());
        REQUIRE(request);
        CHECK(request != requestSerializer);
        CHECK(request->valueForHTTPHeaderField("X-Token") == std::optional<std::string>("token-1"));
        auto response = std::dynamic_pointer_cast<NLPropertyListResponseSerializer>(other->responseSerializer());
        REQUIRE(response);
        CHECK(response != responseSerializer);
        CHECK(response->format() == NSPropertyListBinaryFormat_v1_0);
        CHECK(response->readOptions() == 2);
        // The rest is at the defaults of a new manager.
        CHECK(other->shouldUseCredentialStorage());
        CHECK_FALSE(other->credential());
        CHECK_FALSE(other->completionQueue());
        CHECK(other->operationQueue() != manager->operationQueue());
        REQUIRE(other->securityPolicy());
        CHECK(other->securityPolicy()->SSLPinningMode() == NLSecurityPolicy::defaultPolicy()->SSLPinningMode());
    }
    // The copy's serializers are its own.
    copied->requestSerializer()->setValue("token-2", "X-Token");
    CHECK(manager->requestSerializer()->valueForHTTPHeaderField("X-Token") == std::optional<std::string>("token-1"));
    // A manager without a base URL archives as one.
    auto bare = NLHTTPRequestOperationManager::initWithCoder(NLHTTPRequestOperationManager::manager()->encodeWithCoder());
    REQUIRE(bare);
    CHECK_FALSE(bare->baseURL());
    CHECK(bare->requestSerializer()->className() == "NLHTTPRequestSerializer");
    CHECK(bare->responseSerializer()->className() == "NLJSONResponseSerializer");
    CHECK_FALSE(NLHTTPRequestOperationManager::initWithCoder(Value("not an archive")));
}

}  // TEST_SUITE
