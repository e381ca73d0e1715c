// The asynchronous send of a URL connection: one completion on the given queue with the response and body or the error, and the body limit.
#include <doctest/doctest.h>

#include <optional>
#include <string>

#include "platform/base/MainThread.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/net/NSURLConnection.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using testsupport::LoopbackHttpServer;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

struct Completion {
    int calls = 0;
    bool onMainThread = false;
    long status = 0;
    std::string body;
    std::optional<long> errorCode;
};

}  // namespace

TEST_CASE("URL connection's asynchronous send completes once on the queue with the body or the error") {
    LoopbackHttpServer server;
    const std::string large(4096, 'x');
    server.route("GET", "/ok", Reply::text("hello"));
    server.route("GET", "/missing", Reply::withStatus(404, "nope"));
    server.route("GET", "/large", Reply::text(large));
    server.route("GET", "/large-chunked", Reply::text(large).chunked(512));
    server.route("GET", "/at-limit", Reply::text(std::string(1024, 'y')));
    std::string closedURL;
    {
        LoopbackHttpServer gone;
        closedURL = gone.url("/nothing");
    }
    struct Row {
        const char* name;
        std::string url;
        std::int64_t limit;
        long status;
        std::string body;
        std::optional<long> error;
    };
    const Row rows[] = {
        {"a body", server.url("/ok"), -1, 200, "hello", std::nullopt},
        {"an HTTP error status is an answer", server.url("/missing"), -1, 404, "nope", std::nullopt},
        {"a body at the limit", server.url("/at-limit"), 1024, 200, std::string(1024, 'y'), std::nullopt},
        {"a declared length over the limit", server.url("/large"), 1024, 200, "", NSURLErrorDataLengthExceedsMaximum},
        {"an undeclared length over the limit", server.url("/large-chunked"), 1024, 200, "",
         NSURLErrorDataLengthExceedsMaximum},
        {"no server", closedURL, -1, 0, "", NSURLErrorCannotConnectToHost},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.name));
        Completion seen;
        NSURLConnection::sendAsynchronousRequest(
            NSURLRequest::requestWithURL(row.url), NSOperationQueue::mainQueue(),
            [&seen](const std::shared_ptr<NSURLResponse>& response, const Data& data, const NSErrorPtr& error) {
                ++seen.calls;
                seen.onMainThread = isProcessMainThread();
                const auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
                seen.status = http ? http->statusCode() : 0;
                seen.body.assign(data.begin(), data.end());
                if (error) seen.errorCode = error->code();
            },
            row.limit);
        REQUIRE(runMainUntil([&] { return seen.calls > 0; }));
        CHECK(seen.calls == 1);
        CHECK(seen.onMainThread);
        CHECK(seen.status == row.status);
        CHECK(seen.body == row.body);
        CHECK(seen.errorCode == row.error);
    }
}
