// Downloads that stop and go on from resume data: a 64 MiB file stopped at
// three offsets against nginx (ranges answered) and against a server that
// drops the connection and ignores ranges, and a part at another offset.
#include <doctest/doctest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "URLSessionRecorder.h"
#include "support/LoopbackHttpServer.h"
#include "support/NginxServer.h"
#include "support/TestEnvironment.h"

using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;
using namespace sessiontest;

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
        // A bound for a download that hangs, not a speed check: under the
        // thread checker a whole 64 MiB piece takes over a minute.
        f.finish(task, 240);
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

