// Pause and resume of HTTP request operations on the wire: the range a pause
// sets before it returns, the version named by If-Range, and the answers a
// resumed request may and may not continue the kept bytes with.
#include <doctest/doctest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <vector>

#include "OperationTestSupport.h"
#include "platform/net/NSURLError.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using namespace optest;
using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Serves `content` with ranges; the first answer holds after `stallAfter` body bytes.
testsupport::Handler stallFirstAnswer(testsupport::Handler inner, std::size_t stallAfter) {
    auto count = std::make_shared<std::atomic<int>>(0);
    return [inner, count, stallAfter](const RecordedRequest& request) {
        Reply reply = inner(request);
        if ((*count)++ == 0) reply.stall(stallAfter);
        return reply;
    };
}

// The first answer comes from `first` and holds after `stallAfter` body bytes;
// later ones come from `then`.
testsupport::Handler firstThen(testsupport::Handler first, std::size_t stallAfter, testsupport::Handler then) {
    auto count = std::make_shared<std::atomic<int>>(0);
    return [first, then, count, stallAfter](const RecordedRequest& request) {
        if ((*count)++ == 0) return first(request).stall(stallAfter);
        return then(request);
    };
}

}  // namespace

TEST_SUITE("http request operation") {

TEST_CASE("pause then resume continues a 206 answer with Range and If-Range") {
    LoopbackHttpServer server;
    const std::string content = sample(20000);
    testsupport::StaticOptions options;
    options.etag = "\"v1\"";
    server.setHandler(stallFirstAnswer(testsupport::serveBytes(content, options), 1000));
    auto op = get(server.url("/file"));
    NotificationCounter notes(op);
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return op->totalBytesRead() >= 1000; }));
    op->pause();
    CHECK(op->isPaused());
    // Set before pause returned: the request, an archive and a copy carry the range.
    CHECK(op->request()->valueForHTTPHeaderField("Range") == std::optional<std::string>("bytes=1000-"));
    CHECK(op->request()->valueForHTTPHeaderField("If-Range") == std::optional<std::string>("\"v1\""));
    auto archived = op->encodeWithCoder()["request"].objectAs<NSURLRequest>();
    REQUIRE(archived);
    CHECK(archived->valueForHTTPHeaderField("Range") == std::optional<std::string>("bytes=1000-"));
    CHECK(op->copy()->request()->valueForHTTPHeaderField("Range") == std::optional<std::string>("bytes=1000-"));
    // The pause posts a finish notification although the operation is not finished.
    REQUIRE(runMainUntil([&] { return notes.finishes == 1; }));
    CHECK_FALSE(op->isFinished());
    CHECK(out.done() == false);
    server.releaseStalls();

    op->resume();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    REQUIRE(out.successes == 1);
    REQUIRE(out.object.data());
    CHECK(out.object.data()->size() == content.size());
    CHECK(*out.object.data() == bytes(content));
    CHECK(op->response()->statusCode() == 206);
    auto last = server.lastRequest();
    REQUIRE(last);
    CHECK(last->headers.get("Range") == "bytes=1000-");
    CHECK(last->headers.get("If-Range") == "\"v1\"");
    CHECK(server.requestCount() == 2);
    REQUIRE(runMainUntil([&] { return notes.starts == 2 && notes.finishes == 2; }));
}

TEST_CASE("a 200 answer to a resumed request restarts the body from zero") {
    LoopbackHttpServer server;
    const std::string content = sample(20000);
    testsupport::StaticOptions options;
    options.ignoreRange = true;
    server.setHandler(stallFirstAnswer(testsupport::serveBytes(content, options), 1000));
    auto op = get(server.url("/file"));
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return op->totalBytesRead() >= 1000; }));
    op->pause();
    CHECK(op->request()->valueForHTTPHeaderField("Range") == std::optional<std::string>("bytes=1000-"));
    CHECK_FALSE(op->request()->valueForHTTPHeaderField("If-Range"));  // no validator was sent
    server.releaseStalls();
    op->resume();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    REQUIRE(out.successes == 1);
    CHECK(op->response()->statusCode() == 200);
    CHECK(*out.object.data() == bytes(content));
    CHECK(op->totalBytesRead() == static_cast<std::int64_t>(content.size()));
}

TEST_CASE("a 206 answer for another range than the one asked fails the resumed load") {
    LoopbackHttpServer server;
    const std::string content = sample(8000);
    auto count = std::make_shared<std::atomic<int>>(0);
    server.setHandler([&, count](const RecordedRequest&) {
        if ((*count)++ == 0) return Reply::text(content, "application/octet-stream").stall(1000);
        return Reply::withStatus(206, content).header("Content-Range", "bytes 0-7999/8000");
    });
    auto op = get(server.url("/file"));
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return op->totalBytesRead() >= 1000; }));
    op->pause();
    server.releaseStalls();
    op->resume();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    REQUIRE(out.failures == 1);
    CHECK(out.error->domain() == NSURLErrorDomain);
    CHECK(out.error->code() == NSURLErrorBadServerResponse);
}

TEST_CASE("pause and resume into a file keep the file whole") {
    testsupport::TempHome home;
    LoopbackHttpServer server;
    const std::string content = sample(30000);
    testsupport::StaticOptions options;
    options.etag = "\"f\"";
    server.setHandler(stallFirstAnswer(testsupport::serveBytes(content, options), 4096));
    const std::string path = home.path() + "/body.bin";
    auto op = get(server.url("/file"));
    auto stream = NSOutputStream::outputStreamToFileAtPath(path, false);
    op->setOutputStream(stream);
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return op->totalBytesRead() >= 4096; }));
    op->pause();
    CHECK(op->request()->valueForHTTPHeaderField("Range") == std::optional<std::string>("bytes=4096-"));
    server.releaseStalls();
    op->resume();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    CHECK(out.successes == 1);
    CHECK_FALSE(op->responseData());
    CHECK(op->outputStream() == stream);
    CHECK(readFile(path) == content);
}

TEST_CASE("a 200 answer to a resumed request into a file fails instead of corrupting it") {
    testsupport::TempHome home;
    LoopbackHttpServer server;
    const std::string content = sample(30000);
    testsupport::StaticOptions options;
    options.ignoreRange = true;
    server.setHandler(stallFirstAnswer(testsupport::serveBytes(content, options), 4096));
    auto op = get(server.url("/file"));
    op->setOutputStream(NSOutputStream::outputStreamToFileAtPath(home.path() + "/body.bin", false));
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return op->totalBytesRead() >= 4096; }));
    op->pause();
    server.releaseStalls();
    op->resume();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    REQUIRE(out.failures == 1);
    CHECK(out.error->domain() == NSCocoaErrorDomain);
    CHECK(readFile(home.path() + "/body.bin").size() == 4096);
}

TEST_CASE("a pause before any byte came asks for the whole resource again") {
    LoopbackHttpServer server;
    const std::string content = sample(5000);
    auto count = std::make_shared<std::atomic<int>>(0);
    server.setHandler([&, count](const RecordedRequest& request) {
        Reply reply = testsupport::serveBytes(content)(request);
        if ((*count)++ == 0) reply.stallFirst();
        return reply;
    });
    auto op = get(server.url("/file"));
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil(server.stalledConnections(1)));
    op->pause();
    CHECK_FALSE(op->request()->valueForHTTPHeaderField("Range"));
    CHECK_FALSE(op->request()->valueForHTTPHeaderField("If-Range"));
    server.releaseStalls();
    op->resume();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    REQUIRE(out.successes == 1);
    CHECK(*out.object.data() == bytes(content));
    CHECK_FALSE(server.lastRequest()->headers.has("Range"));
}

TEST_CASE("a resource that changed during a pause answers 200 to If-Range and the body starts over") {
    struct Case {
        const char* name;
        testsupport::StaticOptions before, after;
        std::string ifRange;
    };
    testsupport::StaticOptions etag1, etag2, date1, date2, weak1, weak2;
    etag1.etag = "\"one\"";
    etag2.etag = "\"two\"";
    date1.lastModified = "Mon, 07 Dec 2026 10:00:00 GMT";
    date2.lastModified = "Mon, 07 Dec 2026 12:00:00 GMT";
    weak1.etag = "W/\"one\"";
    weak1.lastModified = date1.lastModified;
    weak2.etag = "W/\"two\"";
    weak2.lastModified = date2.lastModified;
    const std::vector<Case> cases = {
        {"named by its ETag", etag1, etag2, etag1.etag},
        {"named by its Last-Modified date", date1, date2, date1.lastModified},
        {"with a weak ETag, named by its date", weak1, weak2, date1.lastModified},
    };
    const std::string before = sample(20000);
    const std::string after = std::string(20000, 'Z');
    for (const auto& c : cases) {
        INFO(std::string(c.name));
        LoopbackHttpServer server;
        server.setHandler(firstThen(testsupport::serveBytes(before, c.before), 3000,
                                    testsupport::serveBytes(after, c.after)));
        auto op = get(server.url("/file"));
        Outcome out;
        out.install(op);
        op->start();
        REQUIRE(runMainUntil([&] { return op->totalBytesRead() >= 3000; }));
        op->pause();
        CHECK(op->request()->valueForHTTPHeaderField("If-Range") == std::optional<std::string>(c.ifRange));
        server.releaseStalls();
        op->resume();
        REQUIRE(runMainUntil([&] { return out.done(); }));
        REQUIRE(out.successes == 1);
        CHECK(op->response()->statusCode() == 200);
        CHECK(*out.object.data() == bytes(after));
    }
}

TEST_CASE("answers that cannot continue the kept bytes fail and leave them as they were") {
    struct Case {
        const char* name;
        Reply reply;
    };
    const std::string content = sample(8000);
    const std::vector<Case> cases = {
        {"300", Reply::withStatus(300, "<html>choose</html>")},
        {"304", Reply::withStatus(304)},
        {"204", Reply::withStatus(204)},
        {"203", Reply::withStatus(203, content)},
    };
    for (const auto& c : cases) {
        INFO(std::string(c.name));
        testsupport::TempHome home;
        const std::string path = home.path() + "/body.bin";
        LoopbackHttpServer server;
        auto count = std::make_shared<std::atomic<int>>(0);
        server.setHandler([&, count](const RecordedRequest&) {
            if ((*count)++ == 0) return Reply::text(content, "application/octet-stream").stall(1000);
            return c.reply;
        });
        for (bool intoFile : {false, true}) {
            CAPTURE(intoFile);
            count->store(0);
            auto op = get(server.url("/file"));
            if (intoFile) op->setOutputStream(NSOutputStream::outputStreamToFileAtPath(path, false));
            Outcome out;
            out.install(op);
            op->start();
            REQUIRE(runMainUntil([&] { return op->totalBytesRead() >= 1000; }));
            op->pause();
            server.releaseStalls();
            op->resume();
            REQUIRE(runMainUntil([&] { return out.done(); }));
            REQUIRE(out.failures == 1);
            CHECK(out.error->domain() == NSURLErrorDomain);
            CHECK(out.error->code() == NSURLErrorBadServerResponse);
            if (intoFile) CHECK(readFile(path) == content.substr(0, 1000));
        }
    }
}

TEST_CASE("a partial answer that no range asked for fails") {
    LoopbackHttpServer server;
    server.route("GET", "/file", Reply::withStatus(206, sample(1000)).header("Content-Range", "bytes 0-999/8000"));
    auto op = get(server.url("/file"));
    Outcome out;
    out.install(op);
    op->start();
    REQUIRE(runMainUntil([&] { return out.done(); }));
    REQUIRE(out.failures == 1);
    CHECK(out.error->code() == NSURLErrorBadServerResponse);

    // A range the caller asked for itself is answered as asked.
    auto ranged = NSMutableURLRequest::requestWithURL(server.url("/file"));
    ranged->setValue("bytes=0-999", "Range");
    auto own = NLHTTPRequestOperation::initWithRequest(ranged);
    Outcome ownOut;
    ownOut.install(own);
    own->start();
    REQUIRE(runMainUntil([&] { return ownOut.done(); }));
    CHECK(ownOut.successes == 1);
}

}  // TEST_SUITE
