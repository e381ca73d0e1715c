// What the file downloader does with each answer to a fresh or resumed request:
// only content becomes the file, a changed resource is never spliced onto an
// old partial file, and failures of its own (removal, texts) reach the delegate.
#include <doctest/doctest.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "networking/DownloadFixtures.h"
#include "networking/FDFileDownloadManager.h"
#include "networking/FDFileDownloader.h"
#include "networking/FDPartialFile.h"
#include "networking/NLLocalizedString.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using downloadtests::generatedContent;
using downloadtests::readFile;
using downloadtests::RecordingDelegate;
using downloadtests::writeFile;
using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;
using testsupport::TempHome;

namespace {

struct Fixture {
    TempHome home;
    std::string dir = home.path() + "/downloads";
    Fixture() { std::filesystem::create_directories(dir); }
    std::string file() const { return dir + "/movie"; }

    std::shared_ptr<FDFileDownloader> run(const std::string& url, const std::shared_ptr<RecordingDelegate>& delegate) {
        auto download = FDFileDownloader::initWithURL(NSURL::URLWithString(url), dir, delegate);
        download->setFileName("movie");
        FDFileDownloadManager::sharedInstance()->startDownload(download);
        REQUIRE(runMainUntil([&] { return download->isFinished(); }, 60));
        return download;
    }
};

Reply statusReply(int status, const std::string& body, const std::string& contentRange = {}) {
    Reply reply = Reply::text(body, "application/octet-stream");
    reply.status = status;
    if (!contentRange.empty()) reply.header("Content-Range", contentRange);
    return reply;
}

}  // namespace

TEST_SUITE("file downloader") {

TEST_CASE("answers that hold no content for the file fail and leave the file as it was") {
    const std::string resource = generatedContent(3000, 31);
    struct Case {
        const char* name;
        std::size_t held;  // bytes of the partial file before the download (0: no file)
        Reply reply;
    };
    const std::vector<Case> cases = {
        {"300 to a fresh request", 0, statusReply(300, "<html>choose a format</html>")},
        {"300 to a resume", 1000, statusReply(300, "<html>choose a format</html>")},
        {"304 to a resume", 1000, statusReply(304, "")},
        {"204 to a resume", 1000, statusReply(204, "")},
        {"205 to a resume", 1000, statusReply(205, "")},
        {"206 to a request without a range", 0, statusReply(206, resource.substr(0, 1000), "bytes 0-999/3000")},
        {"headers cut short on a fresh request", 0,
         Reply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 3000\r\nContent-Type: application/octet-stream\r\n")},
        {"headers cut short on a resume", 1000,
         Reply::rawBytes("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 1000-2999/3000\r\n")},
    };
    for (const auto& c : cases) {
        INFO(std::string(c.name));
        Fixture f;
        LoopbackHttpServer server;
        if (c.held) downloadtests::writePartial(f.file(), resource.substr(0, c.held), server.url("/movie.bin"), "\"a\"");
        server.route("GET", "/movie.bin", c.reply);
        auto delegate = std::make_shared<RecordingDelegate>();
        auto download = f.run(server.url("/movie.bin"), delegate);
        CHECK(delegate->success == false);
        CHECK(download->state() == FDFileDownloaderStateFailed);
        REQUIRE(delegate->error);
        CHECK(delegate->error->domain() == FDFileDownloadErrorDomain);
        CHECK(delegate->events.back() == "finish no");
        CHECK(readFile(f.file()) == resource.substr(0, c.held));
        REQUIRE(server.requestCount() >= 1);
        CHECK(server.requests()[0].headers.has("Range") == (c.held > 0));
    }
}

TEST_CASE("an empty partial file asks for the whole resource without a range") {
    Fixture f;
    writeFile(f.file(), "");
    const std::string content = generatedContent(5000, 32);
    LoopbackHttpServer server;
    server.route("GET", "/movie.bin", testsupport::serveBytes(content));
    auto delegate = std::make_shared<RecordingDelegate>();
    f.run(server.url("/movie.bin"), delegate);
    CHECK(delegate->success == true);
    REQUIRE(server.requestCount() == 1);
    CHECK_FALSE(server.lastRequest()->headers.has("Range"));
    CHECK(readFile(f.file()) == content);
}

TEST_CASE("a resource that changed between attempts restarts from zero instead of being spliced") {
    struct Case {
        const char* name;
        testsupport::StaticOptions before, after;
        std::string ifRange;
    };
    testsupport::StaticOptions etagA, etagB, dateA, dateB, weakA, weakB;
    etagA.etag = "\"version-a\"";
    etagB.etag = "\"version-b\"";
    dateA.lastModified = "Mon, 07 Dec 2026 10:00:00 GMT";
    dateB.lastModified = "Mon, 07 Dec 2026 11:00:00 GMT";
    // A weak tag cannot guard a range: the date is sent instead.
    weakA.etag = "W/\"a\"";
    weakA.lastModified = dateA.lastModified;
    weakB.etag = "W/\"b\"";
    weakB.lastModified = dateB.lastModified;
    const std::vector<Case> cases = {
        {"by its ETag", etagA, etagB, etagA.etag},
        {"by its Last-Modified date", dateA, dateB, dateA.lastModified},
        {"with a weak ETag, by its date", weakA, weakB, dateA.lastModified},
        // Nothing to check the bytes held against: the whole resource is asked for.
        {"with no validator at all", {}, {}, ""},
    };
    const std::string first = generatedContent(200000, 33);
    const std::string second = generatedContent(200000, 34);
    for (const auto& c : cases) {
        INFO(std::string(c.name));
        Fixture f;
        LoopbackHttpServer server;
        server.route("GET", "/cut.bin", [&](const RecordedRequest& request) {
            return testsupport::serveBytes(first, c.before)(request).drop(70000);
        });
        // The first attempt is cut off after 70000 bytes of version A.
        auto delegate = std::make_shared<RecordingDelegate>();
        f.run(server.url("/cut.bin"), delegate);
        REQUIRE(delegate->success == false);
        REQUIRE(readFile(f.file()) == first.substr(0, 70000));
        CHECK(std::filesystem::exists(FDPartialFile::sidePath(f.file())) == !c.ifRange.empty());
        // Resumed on the same URL after the resource changed (to as many bytes).
        server.route("GET", "/cut.bin", testsupport::serveBytes(second, c.after));
        delegate = std::make_shared<RecordingDelegate>();
        f.run(server.url("/cut.bin"), delegate);
        CHECK(delegate->success == true);
        auto requests = server.requests();
        REQUIRE(requests.size() == 2);
        CHECK(requests[1].headers.get("Range") == (c.ifRange.empty() ? "" : "bytes=70000-"));
        CHECK(requests[1].headers.get("If-Range") == c.ifRange);
        CHECK(readFile(f.file()) == second);
        CHECK_FALSE(std::filesystem::exists(FDPartialFile::sidePath(f.file())));
    }
}

TEST_CASE("an unchanged resource resumes under If-Range and the kept validators go with the finish") {
    Fixture f;
    const std::string content = generatedContent(300000, 35);
    testsupport::StaticOptions options;
    options.etag = "\"same\"";
    LoopbackHttpServer server;
    bool cut = true;
    std::mutex mutex;
    server.route("GET", "/movie.bin", [&](const RecordedRequest& request) {
        Reply reply = testsupport::serveBytes(content, options)(request);
        std::lock_guard lock(mutex);
        if (cut) reply.drop(123456);
        cut = false;
        return reply;
    });
    auto delegate = std::make_shared<RecordingDelegate>();
    f.run(server.url("/movie.bin"), delegate);
    REQUIRE(delegate->success == false);
    CHECK(std::filesystem::exists(FDPartialFile::sidePath(f.file())));
    delegate = std::make_shared<RecordingDelegate>();
    auto download = f.run(server.url("/movie.bin"), delegate);
    CHECK(delegate->success == true);
    CHECK(download->resumeOffset() == 123456);
    CHECK(server.lastRequest()->headers.get("If-Range") == "\"same\"");
    CHECK(readFile(f.file()) == content);
    CHECK_FALSE(std::filesystem::exists(FDPartialFile::sidePath(f.file())));
}

TEST_CASE("a file that cannot be removed on cancel is reported before the completion") {
    // A file of the process's own /proc folder: it exists, and no one may delete it.
    auto delegate = std::make_shared<RecordingDelegate>();
    auto download = FDFileDownloader::initWithURL(NSURL::URLWithString("http://127.0.0.1:9/status"), "/proc/self",
                                                  delegate);
    download->setFileName("status");
    REQUIRE(NSFileManager::defaultManager()->fileExistsAtPath(download->pathToFile()));
    download->cancelDownloadAndRemoveFile(true);
    REQUIRE(runMainUntil([&] { return download->isFinished(); }, 10));
    REQUIRE(delegate->error);
    CHECK(delegate->error->domain() == NSCocoaErrorDomain);
    CHECK(delegate->events.size() == 2);
    CHECK(delegate->events.back() == "finish no");
    CHECK(delegate->path == std::nullopt);
    CHECK(download->state() == FDFileDownloaderStateFailed);
}

TEST_CASE("the texts of HTTP and free-space errors come from the default string table") {
    TempHome bundleHome;
    writeFile(bundleHome.path() + "/Localizable.strings.json",
              R"({"HTTP error code %d (%@) ": "Fehler %d beim Laden (%@) ",)"
              R"( "Not enough free disk space": "Zu wenig freier Speicher"})");
    struct Restore {
        std::shared_ptr<NSBundle> previous;
        ~Restore() { NLSetStringTableBundle(previous); }
    } restore{NLSetStringTableBundle(std::make_shared<NSBundle>(bundleHome.path()))};

    Fixture f;
    LoopbackHttpServer server;
    server.route("GET", "/missing", Reply::withStatus(404, "no such file"));
    server.route("GET", "/huge", Reply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 999999999999999999\r\n\r\nabc"));
    auto delegate = std::make_shared<RecordingDelegate>();
    f.run(server.url("/missing"), delegate);
    REQUIRE(delegate->error);
    CHECK(delegate->error->localizedDescription() ==
          "Fehler 404 beim Laden (" + NSHTTPURLResponse::localizedStringForStatusCode(404) + ") ");
    delegate = std::make_shared<RecordingDelegate>();
    f.run(server.url("/huge"), delegate);
    REQUIRE(delegate->error);
    CHECK(delegate->error->localizedDescription() == "Zu wenig freier Speicher");
}

}  // TEST_SUITE
