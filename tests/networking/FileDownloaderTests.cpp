// The resumable file downloader against a real nginx (byte ranges as a web
// server answers them) and the scriptable loopback server (faults).
#include <doctest/doctest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "networking/DownloadFixtures.h"
#include "networking/FDFileDownloadManager.h"
#include "networking/FDFileDownloader.h"
#include "networking/FDFileManagerExtension.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "support/HttpFetch.h"
#include "support/LoopbackHttpServer.h"
#include "support/NginxServer.h"
#include "support/TestEnvironment.h"

using downloadtests::generatedContent;
using downloadtests::readFile;
using downloadtests::RecordingDelegate;
using downloadtests::sha256;
using downloadtests::sha256OfFile;
using downloadtests::writeFile;
using downloadtests::writePartial;
using testsupport::LoopbackHttpServer;
using testsupport::NginxServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;
using testsupport::TempHome;

namespace {

struct Fixture {
    TempHome home;
    std::string dir = home.path() + "/downloads";
    std::string www = home.path() + "/www";
    Fixture() { std::filesystem::create_directories(www); }

    std::shared_ptr<FDFileDownloader> start(const std::string& url, const std::shared_ptr<RecordingDelegate>& delegate,
                                            const std::string& name = "movie") {
        auto download = FDFileDownloader::initWithURL(NSURL::URLWithString(url), dir, delegate);
        download->setFileName(name);
        FDFileDownloadManager::sharedInstance()->startDownload(download);
        return download;
    }
};

// The ETag nginx gives the file at `url`.
std::string nginxETag(const std::string& url) {
    auto reply = testtools::httpGet(url, {"Range: bytes=0-0"});
    REQUIRE_MESSAGE(!reply.header("etag").empty(), "nginx names an ETag");
    return reply.header("etag");
}

bool finished(const std::shared_ptr<FDFileDownloader>& d, double seconds = 60) {
    return runMainUntil([&] { return d->isFinished(); }, seconds);
}

std::uint64_t fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// Serves `content` with ranges; the i-th request is cut off when the body
// reaches the i-th absolute offset of `drops` (later requests go through).
testsupport::Handler droppingAt(const std::string& content, std::vector<std::size_t> drops) {
    auto state = std::make_shared<std::pair<std::mutex, std::vector<std::size_t>>>();
    state->second = std::move(drops);
    testsupport::StaticOptions options;
    options.etag = "\"dropped\"";  // kept by each attempt, so the next one resumes
    auto inner = testsupport::serveBytes(content, options);
    return [state, inner](const RecordedRequest& request) {
        Reply reply = inner(request);
        std::size_t from = 0;
        std::string range = request.headers.get("Range");
        if (range.rfind("bytes=", 0) == 0) from = std::stoull(range.substr(6));
        std::lock_guard lock(state->first);
        if (!state->second.empty()) {
            std::size_t at = state->second.front();
            state->second.erase(state->second.begin());
            if (at > from) reply.drop(at - from);
        }
        return reply;
    };
}

}  // namespace

TEST_SUITE("file downloader") {

TEST_CASE("a file served by nginx arrives whole with its events on the main thread in order") {
    Fixture f;
    std::string content = generatedContent(3 * 1024 * 1024 + 17, 1);
    writeFile(f.www + "/movie.bin", content);
    NginxServer nginx(f.www);

    auto delegate = std::make_shared<RecordingDelegate>();
    auto download = f.start(nginx.url("/movie.bin"), delegate);
    REQUIRE(finished(download));

    CHECK_FALSE(delegate->offMainThread);
    REQUIRE(delegate->events.size() == 3);
    CHECK(delegate->events == std::vector<std::string>{"response", "data", "finish yes"});
    CHECK(delegate->finishedWhenCompleted == false);
    CHECK(delegate->path == download->pathToFile());
    CHECK(download->pathToFile() == f.dir + "/movie");
    CHECK(download->state() == FDFileDownloaderStateDone);
    CHECK(delegate->lastReceived == content.size());
    CHECK(delegate->lastTotal == static_cast<std::int64_t>(content.size()));
    CHECK(delegate->lastProgress == doctest::Approx(1.0));
    CHECK(sha256OfFile(download->pathToFile()) == sha256(content));
}

TEST_CASE("a partial file is resumed from its size through nginx") {
    Fixture f;
    std::string content = generatedContent(2 * 1024 * 1024, 2);
    writeFile(f.www + "/movie.bin", content);
    std::filesystem::create_directories(f.dir);
    NginxServer nginx(f.www);
    writePartial(f.dir + "/movie", content.substr(0, 777777), nginx.url("/movie.bin"), nginxETag(nginx.url("/movie.bin")));

    auto delegate = std::make_shared<RecordingDelegate>();
    auto download = f.start(nginx.url("/movie.bin"), delegate);
    REQUIRE(finished(download));
    CHECK(delegate->success == true);
    CHECK(download->resumeOffset() == 777777);
    CHECK(download->receivedDataLength() == content.size() - 777777);
    CHECK(download->totalFileLength() == static_cast<std::int64_t>(content.size()));
    CHECK(sha256OfFile(download->pathToFile()) == sha256(content));
}

TEST_CASE("a complete file answered with 416 by nginx counts as finished and stays unchanged") {
    Fixture f;
    std::string content = generatedContent(300000, 3);
    writeFile(f.www + "/movie.bin", content);
    std::filesystem::create_directories(f.dir);
    NginxServer nginx(f.www);
    writePartial(f.dir + "/movie", content, nginx.url("/movie.bin"), nginxETag(nginx.url("/movie.bin")));

    auto delegate = std::make_shared<RecordingDelegate>();
    auto download = f.start(nginx.url("/movie.bin"), delegate);
    REQUIRE(finished(download));
    CHECK(delegate->success == true);
    CHECK(download->state() == FDFileDownloaderStateDone);
    CHECK(readFile(download->pathToFile()) == content);
}

TEST_CASE("a partial file longer than the resource is fetched again from zero") {
    Fixture f;
    std::string content = generatedContent(200000, 4);
    writeFile(f.www + "/movie.bin", content);
    std::filesystem::create_directories(f.dir);
    NginxServer nginx(f.www);
    writePartial(f.dir + "/movie", generatedContent(250000, 99), nginx.url("/movie.bin"),
                 nginxETag(nginx.url("/movie.bin")));

    auto delegate = std::make_shared<RecordingDelegate>();
    auto download = f.start(nginx.url("/movie.bin"), delegate);
    REQUIRE(finished(download));
    CHECK(delegate->success == true);
    CHECK(readFile(download->pathToFile()) == content);
}

TEST_CASE("the resume request carries the partial size as its range and appends after it") {
    Fixture f;
    std::string content = generatedContent(5000, 5);
    std::filesystem::create_directories(f.dir);
    LoopbackHttpServer server;
    testsupport::StaticOptions options;
    options.etag = "\"v5\"";
    server.route("GET", "/movie.bin", testsupport::serveBytes(content, options));
    writePartial(f.dir + "/movie", content.substr(0, 1000), server.url("/movie.bin"), options.etag);

    auto delegate = std::make_shared<RecordingDelegate>();
    auto download = f.start(server.url("/movie.bin"), delegate);
    REQUIRE(finished(download));
    REQUIRE(server.requestCount() == 1);
    CHECK(server.lastRequest()->headers.get("Range") == "bytes=1000-");
    CHECK(delegate->lastTotal == 4000);
    CHECK(readFile(download->pathToFile()) == content);
}

TEST_CASE("a server that ignores the range makes the download start over instead of appending") {
    Fixture f;
    std::string content = generatedContent(50000, 6);
    std::filesystem::create_directories(f.dir);
    LoopbackHttpServer server;
    testsupport::StaticOptions options;
    options.ignoreRange = true;
    options.etag = "\"v6\"";
    server.route("GET", "/movie.bin", testsupport::serveBytes(content, options));
    writePartial(f.dir + "/movie", content.substr(0, 20000), server.url("/movie.bin"), options.etag);

    auto delegate = std::make_shared<RecordingDelegate>();
    auto download = f.start(server.url("/movie.bin"), delegate);
    REQUIRE(finished(download));
    CHECK(delegate->success == true);
    CHECK(download->resumeOffset() == 0);
    CHECK(fileSize(download->pathToFile()) == content.size());
    CHECK(readFile(download->pathToFile()) == content);
}

TEST_CASE("a 206 whose content range starts elsewhere is refetched without a range") {
    Fixture f;
    std::string content = generatedContent(40000, 8);
    std::filesystem::create_directories(f.dir);
    LoopbackHttpServer server;
    writePartial(f.dir + "/movie", content.substr(0, 10000), server.url("/movie.bin"), "\"v8\"");
    server.setHandler([content](const RecordedRequest& request) {
        if (request.headers.has("Range")) {
            Reply reply = Reply::text(content.substr(5000), "application/octet-stream");
            reply.status = 206;
            reply.header("Content-Range", "bytes 5000-39999/40000");
            return reply;
        }
        return Reply::text(content, "application/octet-stream");
    });

    auto delegate = std::make_shared<RecordingDelegate>();
    auto download = f.start(server.url("/movie.bin"), delegate);
    REQUIRE(finished(download));
    auto requests = server.requests();
    REQUIRE(requests.size() == 2);
    CHECK(requests[0].headers.get("Range") == "bytes=10000-");
    CHECK_FALSE(requests[1].headers.has("Range"));
    CHECK(delegate->success == true);
    CHECK(readFile(download->pathToFile()) == content);
}

TEST_CASE("a response without a length reports unknown progress and time and finishes when the transfer ends") {
    Fixture f;
    std::string content = generatedContent(100000, 9);
    LoopbackHttpServer server;
    server.route("GET", "/movie.bin", Reply::text(content, "application/octet-stream").chunked(8192));

    auto delegate = std::make_shared<RecordingDelegate>();
    auto download = f.start(server.url("/movie.bin"), delegate);
    REQUIRE(finished(download));
    CHECK(delegate->progressCalls > 0);
    CHECK(delegate->lastTotal == -1);
    CHECK(delegate->lastProgress == -1.0f);
    CHECK(download->expectedDataLength() == -1);
    CHECK(download->remainingTime() == -1);
    CHECK(download->totalFileLength() == -1);
    CHECK(delegate->success == true);
    CHECK(readFile(download->pathToFile()) == content);
}

TEST_CASE("a dropped connection keeps every counted byte in the partial file") {
    Fixture f;
    std::string content = generatedContent(3 * 1024 * 1024, 10);
    LoopbackHttpServer server;
    // Dropped past one flush of the buffer and in the middle of the next.
    server.route("GET", "/movie.bin", Reply::text(content, "application/octet-stream").drop(1700000));

    auto delegate = std::make_shared<RecordingDelegate>();
    auto download = f.start(server.url("/movie.bin"), delegate);
    REQUIRE(finished(download));
    CHECK(delegate->events.back() == "finish no");
    REQUIRE(delegate->error);
    CHECK(delegate->error->domain() == FDFileDownloadErrorDomain);
    CHECK(delegate->error->code() == FDFileDownloadErrorConnectionFailed);
    CHECK(delegate->error->localizedDescription().rfind("Download failed for file: movie. Reason: ", 0) == 0);
    CHECK(delegate->path == std::optional<std::string>("movie"));
    CHECK(download->state() == FDFileDownloaderStateFailed);
    std::string partial = readFile(download->pathToFile());
    CHECK(partial.size() == download->receivedDataLength());
    CHECK(partial.size() == 1700000);
    CHECK(partial == content.substr(0, partial.size()));
}

TEST_CASE("64 MiB dropped at five random offsets and resumed each time ends with the source digest") {
    Fixture f;
    const std::size_t size = 64u * 1024 * 1024;
    std::string content = generatedContent(size, 11);
    std::random_device device;
    std::uint32_t seed = device();
    INFO("offset seed " << seed);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::size_t> pick(1, size - 1);
    std::vector<std::size_t> drops;
    while (drops.size() < 5) {
        std::size_t at = pick(rng);
        if (std::find(drops.begin(), drops.end(), at) == drops.end()) drops.push_back(at);
    }
    std::sort(drops.begin(), drops.end());
    LoopbackHttpServer server;
    server.route("GET", "/movie.bin", droppingAt(content, drops));

    std::shared_ptr<FDFileDownloader> download;
    std::shared_ptr<RecordingDelegate> delegate;
    for (int attempt = 0; attempt <= 5; ++attempt) {
        delegate = std::make_shared<RecordingDelegate>();
        download = f.start(server.url("/movie.bin"), delegate);
        REQUIRE(finished(download, 120));
        if (attempt < 5) {
            CAPTURE(attempt);
            REQUIRE(delegate->success == false);
            // The partial file ends exactly where the connection was cut.
            CHECK(fileSize(download->pathToFile()) == drops[static_cast<std::size_t>(attempt)]);
        }
    }
    CHECK(delegate->success == true);
    auto requests = server.requests();
    REQUIRE(requests.size() == 6);
    CHECK_FALSE(requests[0].headers.has("Range"));
    for (std::size_t i = 1; i < 6; ++i) CHECK(requests[i].headers.get("Range") == "bytes=" + std::to_string(drops[i - 1]) + "-");
    CHECK(sha256OfFile(download->pathToFile()) == sha256(content));
}

TEST_CASE("the buffer is written only once it holds more than one MiB") {
    Fixture f;
    std::string content = generatedContent(FDFileDownloaderFlushThreshold + 1, 12);

    SUBCASE("exactly one MiB stays in memory") {
        LoopbackHttpServer server;
        server.route("GET", "/movie.bin",
                     Reply::text(content, "application/octet-stream").stall(FDFileDownloaderFlushThreshold));
        auto delegate = std::make_shared<RecordingDelegate>();
        auto download = f.start(server.url("/movie.bin"), delegate);
        REQUIRE(runMainUntil([&] { return delegate->lastReceived == FDFileDownloaderFlushThreshold; }, 30));
        CHECK(fileSize(download->pathToFile()) == 0);
        server.releaseStalls();
        REQUIRE(finished(download));
        CHECK(readFile(download->pathToFile()) == content);
    }
    SUBCASE("one byte more writes the whole buffer") {
        std::string longer = content + "xyz";
        LoopbackHttpServer server;
        server.route("GET", "/movie.bin",
                     Reply::text(longer, "application/octet-stream").stall(FDFileDownloaderFlushThreshold + 1));
        auto delegate = std::make_shared<RecordingDelegate>();
        auto download = f.start(server.url("/movie.bin"), delegate);
        // Held by the server after that byte: only the flush can put it on disk.
        CHECK(runMainUntil([&] { return fileSize(download->pathToFile()) == FDFileDownloaderFlushThreshold + 1; }, 30));
        CHECK(download->receivedDataLength() == FDFileDownloaderFlushThreshold + 1);
        server.releaseStalls();
        REQUIRE(finished(download));
        CHECK(readFile(download->pathToFile()) == longer);
    }
}

TEST_CASE("HTTP errors and the free space check") {
    Fixture f;
    LoopbackHttpServer server;
    server.route("GET", "/missing", Reply::withStatus(404, "no such file"));
    // A length no file system here can hold.
    server.route("GET", "/huge",
                 Reply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 999999999999999999\r\n\r\nabc"));
    server.route("GET", "/huge-missing",
                 Reply::rawBytes("HTTP/1.1 404 Not Found\r\nContent-Length: 999999999999999999\r\n\r\nabc"));

    SUBCASE("status 404 with ample space") {
        auto delegate = std::make_shared<RecordingDelegate>();
        auto download = f.start(server.url("/missing"), delegate);
        REQUIRE(finished(download));
        REQUIRE(delegate->error);
        CHECK(delegate->error->code() == FDFileDownloadErrorHTTPStatus);
        CHECK(delegate->error->userInfo()["httpStatus"].intValue() == 404);
        CHECK(delegate->error->localizedDescription() ==
              "HTTP error code 404 (" + NSHTTPURLResponse::localizedStringForStatusCode(404) + ") ");
        CHECK(delegate->events == std::vector<std::string>{"error 2", "finish no"});
        CHECK(download->state() == FDFileDownloaderStateFailed);
    }
    SUBCASE("a length larger than the free space") {
        auto delegate = std::make_shared<RecordingDelegate>();
        auto download = f.start(server.url("/huge"), delegate);
        REQUIRE(finished(download));
        REQUIRE(delegate->error);
        CHECK(delegate->error->code() == FDFileDownloadErrorNotEnoughFreeDiskSpace);
        CHECK(delegate->error->localizedDescription() == "Not enough free disk space");
        CHECK(fileSize(download->pathToFile()) == 0);
    }
    SUBCASE("status 404 with too little space reports the space only") {
        auto delegate = std::make_shared<RecordingDelegate>();
        auto download = f.start(server.url("/huge-missing"), delegate);
        REQUIRE(finished(download));
        REQUIRE(delegate->error);
        CHECK(delegate->error->code() == FDFileDownloadErrorNotEnoughFreeDiskSpace);
        CHECK(delegate->events == std::vector<std::string>{"error 3", "finish no"});
    }
}

TEST_CASE("an URL the connection cannot load reports error 0 and creates no file") {
    Fixture f;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto download = f.start("ftp://127.0.0.1/movie.bin", delegate);
    REQUIRE(finished(download));
    REQUIRE(delegate->error);
    CHECK(delegate->error->code() == FDFileDownloadErrorInvalidURL);
    CHECK(delegate->error->localizedDescription() == "Invalid URL provided: ftp://127.0.0.1/movie.bin");
    CHECK(delegate->events == std::vector<std::string>{"error 0", "finish no"});
    CHECK_FALSE(NSFileManager::defaultManager()->fileExistsAtPath(download->pathToFile()));
}

TEST_CASE("cancel keeps every counted byte and no callback follows except its completion") {
    Fixture f;
    std::string content = generatedContent(400000, 13);
    LoopbackHttpServer server;
    // Held after 32768 bytes, so every cancel below comes while the transfer runs.
    server.route("GET", "/movie.bin", Reply::text(content, "application/octet-stream").stall(32768));

    SUBCASE("keeping the file") {
        auto delegate = std::make_shared<RecordingDelegate>();
        auto download = f.start(server.url("/movie.bin"), delegate);
        REQUIRE(runMainUntil([&] { return delegate->lastReceived > 20000; }, 30));
        download->cancelDownloadAndRemoveFile(false);
        auto eventsAtCancel = delegate->events.size();
        int progressAtCancel = delegate->progressCalls;
        REQUIRE(finished(download));
        CHECK(delegate->progressCalls == progressAtCancel);
        CHECK(delegate->events.size() == eventsAtCancel + 1);
        CHECK(delegate->events.back() == "finish no");
        CHECK(delegate->path == std::optional<std::string>("movie"));
        CHECK(download->state() == FDFileDownloaderStateCancelled);
        std::string partial = readFile(download->pathToFile());
        CHECK(partial.size() == download->receivedDataLength());
        CHECK(partial == content.substr(0, partial.size()));
    }
    SUBCASE("removing the file") {
        auto delegate = std::make_shared<RecordingDelegate>();
        auto download = f.start(server.url("/movie.bin"), delegate);
        REQUIRE(runMainUntil([&] { return delegate->lastReceived > 8000; }, 30));
        download->cancelDownloadAndRemoveFile(true);
        REQUIRE(finished(download));
        CHECK(delegate->path == std::nullopt);
        CHECK(delegate->success == false);
        CHECK_FALSE(NSFileManager::defaultManager()->fileExistsAtPath(download->pathToFile()));
    }
}

TEST_CASE("the transfer rate is the mean of the last six one-second samples and gives the remaining time") {
    Fixture f;
    const std::size_t size = 600000, sent = 60000;
    std::string content = generatedContent(size, 14);
    LoopbackHttpServer server;
    // 60000 bytes arrive in the first second, then nothing until released.
    server.route("GET", "/movie.bin", Reply::text(content, "application/octet-stream").stall(sent));
    struct VirtualTime {
        VirtualTime() { Clock::useVirtualTime(1000000); }
        ~VirtualTime() { Clock::useRealTime(); }
    } virtualTime;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto download = f.start(server.url("/movie.bin"), delegate);
    REQUIRE(runMainUntil([&] { return delegate->lastReceived == sent; }, 30));
    // No sample yet during the first second.
    CHECK(download->speedRate() == 0);
    CHECK(download->remainingTime() == -1);

    // One sample per second: 60000, then five seconds without bytes; the seventh
    // sample pushes the first one out of the window.
    const std::vector<std::int64_t> rates = {60000, 30000, 20000, 15000, 12000, 10000, 0};
    for (std::size_t second = 0; second < rates.size(); ++second) {
        CAPTURE(second);
        Clock::advance(1.0);
        std::int64_t expected = rates[second];
        REQUIRE(runMainUntil([&] { return download->speedRate() == expected; }, 10));
        std::int64_t left = expected > 0 ? static_cast<std::int64_t>(size - sent) / expected : -1;
        CHECK(download->remainingTime() == left);
    }
    server.releaseStalls();
    REQUIRE(finished(download));
    CHECK(delegate->success == true);
}

TEST_CASE("chained downloads run one after another and a cancelled waiting one never starts") {
    Fixture f;
    LoopbackHttpServer server;
    std::string a = generatedContent(60000, 15), b = generatedContent(60000, 16), c = generatedContent(60000, 17);
    server.route("GET", "/a", Reply::text(a, "application/octet-stream").stall(1000));
    server.route("GET", "/b", testsupport::serveBytes(b));
    server.route("GET", "/c", testsupport::serveBytes(c));

    auto da = std::make_shared<RecordingDelegate>(), db = std::make_shared<RecordingDelegate>(),
         dc = std::make_shared<RecordingDelegate>();
    auto first = FDFileDownloader::initWithURL(NSURL::URLWithString(server.url("/a")), f.dir, da);
    auto second = FDFileDownloader::initWithURL(NSURL::URLWithString(server.url("/b")), f.dir, db);
    auto third = FDFileDownloader::initWithURL(NSURL::URLWithString(server.url("/c")), f.dir, dc);
    second->addDependentDownload(first);
    third->addDependentDownload(second);
    auto manager = FDFileDownloadManager::sharedInstance();
    manager->startDownload(third);
    manager->startDownload(second);
    manager->startDownload(first);

    REQUIRE(runMainUntil(server.stalledConnections(1), 30));
    CHECK(server.requestCount() == 1);
    CHECK(second->state() == FDFileDownloaderStateReady);
    CHECK_FALSE(second->isExecuting());
    CHECK_FALSE(third->isExecuting());

    SUBCASE("in order") {
        server.releaseStalls();
        REQUIRE(finished(third));
        auto requests = server.requests();
        REQUIRE(requests.size() == 3);
        CHECK(requests[0].path() == "/a");
        CHECK(requests[1].path() == "/b");
        CHECK(requests[2].path() == "/c");
        CHECK(readFile(third->pathToFile()) == c);
    }
    SUBCASE("the waiting second is cancelled") {
        second->cancelDownloadAndRemoveFile(false);
        REQUIRE(finished(second));
        CHECK(db->events == std::vector<std::string>{"finish no"});
        CHECK(second->state() == FDFileDownloaderStateCancelled);
        // The third waits only for the second, which has finished without starting.
        REQUIRE(finished(third));
        server.releaseStalls();
        REQUIRE(finished(first));
        for (const auto& r : server.requests()) CHECK(r.path() != "/b");
        CHECK(dc->success == true);
    }
}

TEST_CASE("the download queue limits concurrency counts its downloads and cancels them all") {
    Fixture f;
    std::string content = generatedContent(100000, 20);
    LoopbackHttpServer server;
    server.route("GET", "/one", Reply::text(content, "application/octet-stream").stall(5000));
    server.route("GET", "/two", Reply::text(content, "application/octet-stream").stall(5000));
    auto manager = std::make_shared<FDFileDownloadManager>();
    manager->setMaxConcurrentDownloads(1);
    auto d1 = std::make_shared<RecordingDelegate>(), d2 = std::make_shared<RecordingDelegate>();
    auto one = manager->startDownloadWithURL(NSURL::URLWithString(server.url("/one")), f.dir, d1);
    auto two = manager->startDownloadWithURL(NSURL::URLWithString(server.url("/two")), std::nullopt, d2);
    CHECK(two->pathToDownloadDirectory() == manager->defaultDownloadPath());
    REQUIRE(runMainUntil([&] { return std::filesystem::exists(one->pathToFile()); }, 30));
    REQUIRE(runMainUntil(server.stalledConnections(1), 30));
    CHECK(manager->downloadCount() == 2);
    CHECK(server.requestCount() == 1);

    manager->cancelAllDownloadsAndRemoveFiles(true);
    REQUIRE(finished(one));
    REQUIRE(finished(two));
    CHECK(runMainUntil([&] { return manager->downloadCount() == 0; }, 10));
    CHECK(server.requestCount() == 1);
    CHECK(d1->path == std::nullopt);
    CHECK(d2->events == std::vector<std::string>{"finish no"});
    CHECK_FALSE(std::filesystem::exists(one->pathToFile()));
    server.releaseStalls();
}

TEST_CASE("a delegate that takes part in nothing still gets its file") {
    Fixture f;
    std::string content = generatedContent(10000, 18);
    LoopbackHttpServer server;
    server.route("GET", "/movie.bin", testsupport::serveBytes(content));
    auto silent = std::make_shared<FDFileDownloaderDelegate>();
    auto download = FDFileDownloader::initWithURL(NSURL::URLWithString(server.url("/movie.bin")), f.dir, silent);
    FDFileDownloadManager::sharedInstance()->startDownload(download);
    REQUIRE(finished(download));
    CHECK(download->fileName() == "movie.bin");
    CHECK(readFile(download->pathToFile()) == content);
}

TEST_CASE("the callback variant reports through its blocks on the main thread") {
    Fixture f;
    std::string content = generatedContent(20000, 19);
    LoopbackHttpServer server;
    server.route("GET", "/movie.bin", testsupport::serveBytes(content));
    std::vector<std::string> seen;
    bool offMain = false;
    std::uint64_t receivedSeen = 0;
    std::int64_t expectedSeen = 0;
    float progressSeen = 0;
    auto note = [&](const std::string& what) {
        if (!NSThread::isMainThread()) offMain = true;
        if (seen.empty() || seen.back() != what) seen.push_back(what);
    };
    auto download = FDFileDownloadManager::sharedInstance()->startDownloadWithURL(
        NSURL::URLWithString(server.url("/movie.bin")), f.dir,
        [&](const std::shared_ptr<NSURLResponse>&) { note("response"); },
        [&](std::uint64_t received, std::int64_t expected, std::int64_t, float progress) {
            note("progress");
            receivedSeen = received;
            expectedSeen = expected;
            progressSeen = progress;
        },
        [&](const NSErrorPtr&) { note("error"); },
        [&](bool ok, const std::optional<std::string>&) { note(ok ? "done" : "failed"); });
    REQUIRE(finished(download));
    CHECK_FALSE(offMain);
    CHECK(seen == std::vector<std::string>{"response", "progress", "done"});
    CHECK(receivedSeen == content.size());
    CHECK(expectedSeen == static_cast<std::int64_t>(content.size()));
    CHECK(progressSeen == doctest::Approx(1.0));
    CHECK(readFile(download->pathToFile()) == content);
}

TEST_CASE("download folders and file names") {
    Fixture f;
    NSErrorPtr error;
    SUBCASE("an empty path is refused without an error") {
        CHECK_FALSE(NSFileManagerFDFileDownload::createDirFromPath("", &error));
        CHECK_FALSE(error);
    }
    SUBCASE("nested folders are made and an existing one is fine") {
        CHECK(NSFileManagerFDFileDownload::createDirFromPath(f.dir + "/a/b", &error));
        CHECK(NSFileManagerFDFileDownload::createDirFromPath(f.dir + "/a/b", &error));
        CHECK(std::filesystem::is_directory(f.dir + "/a/b"));
    }
    SUBCASE("a folder below a file fails with the file error and the downloader reports it") {
        writeFile(f.home.path() + "/plain", "x");
        CHECK_FALSE(NSFileManagerFDFileDownload::createDirFromPath(f.home.path() + "/plain/sub", &error));
        CHECK(error);
        auto delegate = std::make_shared<RecordingDelegate>();
        auto download = FDFileDownloader::initWithURL(NSURL::URLWithString("http://127.0.0.1:9/x"),
                                                      f.home.path() + "/plain/sub", delegate);
        CHECK(download->pathToDownloadDirectory().empty());
        REQUIRE(runMainUntil([&] { return download->isFinished(); }, 10));
        CHECK(delegate->events.size() == 2);
        CHECK(delegate->events.back() == "finish no");
    }
    SUBCASE("the default folder keeps its value when the new one cannot be made") {
        auto manager = std::make_shared<FDFileDownloadManager>();
        CHECK(manager->defaultDownloadPath() == NSTemporaryDirectory());
        manager->setDefaultDownloadPath(f.dir + "/default");
        CHECK(manager->defaultDownloadPath() == f.dir + "/default");
        writeFile(f.home.path() + "/plain", "x");
        manager->setDefaultDownloadPath(f.home.path() + "/plain/sub");
        CHECK(manager->defaultDownloadPath() == f.dir + "/default");
    }
    SUBCASE("names are made safe as one path component") {
        CHECK(FDFileDownloader::safeFileName("Episode 1") == "Episode 1");
        CHECK(FDFileDownloader::safeFileName("../../etc/passwd") == "._._etc_passwd");
        CHECK(FDFileDownloader::safeFileName("..") == "download");
        CHECK(FDFileDownloader::safeFileName("") == "download");
        CHECK(FDFileDownloader::safeFileName("a\nb\tc\x7f") == "a_b_c_");
        CHECK(FDFileDownloader::safeFileName("Épisode 2") == "Épisode 2");
        CHECK(FDFileDownloader::safeFileName(std::string(300, 'x')).size() == 200);
        auto download = FDFileDownloader::initWithURL(NSURL::URLWithString("http://127.0.0.1:9/x"), f.dir, nullptr);
        download->setFileName("../outside");
        CHECK(download->pathToFile() == f.dir + "/._outside");
    }
}

}  // TEST_SUITE
