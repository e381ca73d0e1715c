// The download manager with the real object store, the tab-bar shell's badge,
// real loopback and nginx hosts, and a second process killed mid-transfer.
#include <doctest/doctest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/AppDelegate.h"
#include "core/DownloadManager.h"
#include "DownloadTestApp.h"
#include "networking/DownloadFixtures.h"
#include "platform/coredata/NSFetchRequest.h"
#include "platform/coredata/NSPredicate.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/runloop/NSThread.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UITabBarItem.h"
#include "support/LoopbackHttpServer.h"
#include "support/NginxServer.h"
#include "support/TabBarShell.h"
#include "support/TestEnvironment.h"

extern char** environ;

using downloadtests::generatedContent;
using downloadtests::readFile;
using downloadtests::sha256;
using downloadtests::sha256OfFile;
using downloadtests::writeFile;
using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;
using testsupport::TempHome;

using coretest::App;
using coretest::chapter;
using coretest::exists;
using coretest::fileSize;
using coretest::NotificationLog;

TEST_SUITE("download manager") {

TEST_CASE("three queued downloads run one after another with the badge and the notifications in order") {
    TempHome home;
    App app;
    NotificationLog log;
    std::string a = generatedContent(1500000, 21), b = generatedContent(900000, 22), c = generatedContent(700000, 23);
    LoopbackHttpServer server;
    server.route("GET", "/a.mp4", Reply::text(a, "video/mp4").stall(100000));
    server.route("GET", "/b.mp4", testsupport::serveBytes(b));
    server.route("GET", "/c.mp4", testsupport::serveBytes(c));

    auto da = app.manager->startDownloadMovies(chapter(server.url("/a.mp4"), "Alpha"));
    auto db = app.manager->startDownloadMovies(chapter(server.url("/b.mp4"), "Beta"));
    auto dc = app.manager->startDownloadMovies(chapter(server.url("/c.mp4"), "Gamma"));
    REQUIRE(da);
    REQUIRE(db);
    REQUIRE(dc);
    CHECK(app.badge() == std::optional<std::string>("3"));
    CHECK(app.manager->getListDownloading() == std::vector<std::shared_ptr<FDFileDownloader>>{da, db, dc});
    CHECK(app.records("isDownload == %@", {Value(false)}).size() == 3);

    // While the first is held, the others have not asked for anything.
    REQUIRE(runMainUntil(server.stalledConnections(1), 30));
    CHECK(server.requestCount() == 1);
    CHECK(db->state() == FDFileDownloaderStateReady);
    server.releaseStalls();

    REQUIRE(runMainUntil([&] { return app.manager->getListDownloading().empty(); }, 60));
    CHECK_FALSE(app.badge());
    auto requests = server.requests();
    REQUIRE(requests.size() == 3);
    CHECK(requests[0].path() == "/a.mp4");
    CHECK(requests[1].path() == "/b.mp4");
    CHECK(requests[2].path() == "/c.mp4");

    CHECK(log.allOnMain());
    CHECK(log.sequence({{da, "a"}, {db, "b"}, {dc, "c"}}) ==
          std::vector<std::string>{
              "kStartDownloadMovieNotification a", "kStartDownloadMovieNotification b",
              "kStartDownloadMovieNotification c", "kUpdateStatusDownloadMovieNotification a",
              "kFinishDownloadMovieNotification a", "kUpdateStatusDownloadMovieNotification b",
              "kFinishDownloadMovieNotification b", "kUpdateStatusDownloadMovieNotification c",
              "kFinishDownloadMovieNotification c"});

    auto finished = app.records("isDownload == %@", {Value(true)});
    REQUIRE(finished.size() == 3);
    for (const auto& [title, content] : std::vector<std::pair<std::string, std::string>>{{"Alpha", a}, {"Beta", b}, {"Gamma", c}}) {
        std::string path = app.documents() + "/" + title + ".mp4";
        CHECK(readFile(path) == content);
        CHECK_FALSE(exists(app.documents() + "/" + title));
    }
    for (const auto& r : finished) {
        CHECK(r->percentDownload() == doctest::Approx(100));
        CHECK(r->linkLocal() == app.documents() + "/" + r->title() + ".mp4");
        CHECK(r->byteDownload() == 1.0f);
    }
}

TEST_CASE("a file served by nginx is renamed into place without a copy") {
    TempHome home;
    App app;
    std::string www = home.path() + "/www";
    std::filesystem::create_directories(www);
    std::string content = generatedContent(4 * 1024 * 1024, 24);
    writeFile(www + "/episode.mp4", content);
    testsupport::NginxServer nginx(www);

    std::string partial = app.documents() + "/Episode";
    // The first progress report comes while the bytes are in the partial file (it is
    // renamed on the main queue after the last report), however fast the transfer is.
    struct stat before {};
    bool sawPartial = false;
    auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
        kUpdateStatusDownloadMovieNotification, nullptr, nullptr, [&](const NSNotification&) {
            if (!sawPartial) sawPartial = ::stat(partial.c_str(), &before) == 0;
        });
    auto download = app.manager->startDownloadMovies(chapter(nginx.url("/episode.mp4"), "Episode"));
    REQUIRE(download);
    bool done = runMainUntil([&] { return app.manager->getListDownloading().empty(); }, 60);
    NSNotificationCenter::defaultCenter()->removeObserver(token.get());
    REQUIRE(done);
    REQUIRE(sawPartial);
    struct stat after {};
    REQUIRE(::stat((partial + ".mp4").c_str(), &after) == 0);
    CHECK(after.st_ino == before.st_ino);
    CHECK(sha256OfFile(partial + ".mp4") == sha256(content));
    CHECK_FALSE(exists(partial));
}

TEST_CASE("a transfer that breaks near its end is not finished and its partial file stays") {
    TempHome home;
    App app;
    NotificationLog log;
    std::string content = generatedContent(2000000, 25);
    LoopbackHttpServer server;
    server.route("GET", "/m.mp4", Reply::text(content, "video/mp4").drop(1960000));  // 98 %

    auto download = app.manager->startDownloadMovies(chapter(server.url("/m.mp4"), "Movie"));
    REQUIRE(runMainUntil([&] { return download->isFinished(); }, 30));
    CHECK(app.manager->getListDownloading().size() == 1);
    CHECK(app.badge() == std::optional<std::string>("1"));
    CHECK(log.count(kFinishDownloadMovieNotification) == 0);
    CHECK(log.count(kStopDownloadMovieNotification) == 2);  // the error, then the end
    std::string partial = app.documents() + "/Movie";
    CHECK(fileSize(partial) == 1960000);
    CHECK_FALSE(exists(partial + ".mp4"));
    auto record = app.manager->getMoviesModelByLink(*getDownloadURL(download));
    REQUIRE(record);
    CHECK_FALSE(record->isDownload());
    CHECK(record->percentDownload() == doctest::Approx(98.0));
}

TEST_CASE("resume continues the partial file with a new downloader in the old one's place") {
    TempHome home;
    App app;
    NotificationLog log;
    std::string content = generatedContent(3000000, 26), next = generatedContent(50000, 27);
    LoopbackHttpServer server;
    auto first = std::make_shared<std::atomic<bool>>(true);
    auto serve = testsupport::serveBytes(content, testsupport::withETag("\"m\""));
    server.route("GET", "/m.mp4", [first, serve](const RecordedRequest& r) {
        Reply reply = serve(r);
        if (first->exchange(false)) reply.drop(1200000);
        return reply;
    });
    server.route("GET", "/n.mp4", Reply::text(next, "video/mp4").stall(1000));

    auto download = app.manager->startDownloadMovies(chapter(server.url("/m.mp4"), "Movie"));
    auto follower = app.manager->startDownloadMovies(chapter(server.url("/n.mp4"), "Next"));
    REQUIRE(runMainUntil([&] { return download->isFinished(); }, 30));
    REQUIRE(download->state() == FDFileDownloaderStateFailed);
    // The follower started after the failure; it is held by the server.
    REQUIRE(runMainUntil(server.stalledConnections(1), 30));
    CHECK(app.manager->resumeMovieDownloading(follower) == nullptr);  // running: not stopped

    auto fresh = app.manager->resumeMovieDownloading(download);
    REQUIRE(fresh);
    CHECK(fresh != download);
    CHECK(app.manager->getListDownloading() == std::vector<std::shared_ptr<FDFileDownloader>>{fresh, follower});
    CHECK(app.manager->resumeMovieDownloading(download) == nullptr);  // replaced: no longer listed
    auto deps = follower->dependencies();
    CHECK(std::find(deps.begin(), deps.end(), download) == deps.end());
    CHECK(std::find(deps.begin(), deps.end(), fresh) != deps.end());
    CHECK(app.badge() == std::optional<std::string>("2"));

    REQUIRE(runMainUntil([&] { return fresh->isFinished(); }, 30));
    CHECK(fresh->state() == FDFileDownloaderStateDone);
    CHECK(fresh->resumeOffset() == 1200000);
    CHECK(sha256OfFile(app.documents() + "/Movie.mp4") == sha256(content));
    auto requests = server.requests();
    CHECK(requests.back().headers.get("Range") == "bytes=1200000-");
    CHECK(app.badge() == std::optional<std::string>("1"));
    CHECK(log.count(kResumeDownloadingMovieNotification) == 1);
    CHECK(log.count(kFinishDownloadMovieNotification) == 1);
    auto record = app.records("isDownload == %@", {Value(true)});
    REQUIRE(record.size() == 1);
    CHECK(record[0]->byteDownloading() == doctest::Approx(1200000.0));
    server.releaseStalls();
    REQUIRE(runMainUntil([&] { return app.manager->getListDownloading().empty(); }, 30));
    CHECK_FALSE(app.badge());
}

TEST_CASE("removing downloads takes their records and files and keeps the chain in order") {
    TempHome home;
    App app;
    NotificationLog log;
    std::string a = generatedContent(400000, 28), b = generatedContent(30000, 29), c = generatedContent(30000, 30);
    LoopbackHttpServer server;
    server.route("GET", "/a.mp4", Reply::text(a, "video/mp4").stall(200000));
    server.route("GET", "/b.mp4", testsupport::serveBytes(b));
    server.route("GET", "/c.mp4", testsupport::serveBytes(c));
    auto da = app.manager->startDownloadMovies(chapter(server.url("/a.mp4"), "A"));
    auto db = app.manager->startDownloadMovies(chapter(server.url("/b.mp4"), "B"));
    auto dc = app.manager->startDownloadMovies(chapter(server.url("/c.mp4"), "C"));
    REQUIRE(runMainUntil(server.stalledConnections(1), 30));

    // The waiting middle one goes; the last still waits for the first.
    app.manager->deleteMovieDownloading(db);
    CHECK(app.badge() == std::optional<std::string>("2"));
    CHECK(app.records().size() == 2);
    CHECK(app.manager->getListDownloading() == std::vector<std::shared_ptr<FDFileDownloader>>{da, dc});
    REQUIRE(runMainUntil([&] { return db->isFinished(); }, 30));
    CHECK(server.requestCount() == 1);
    CHECK_FALSE(dc->isExecuting());

    // The running first one goes with its partial file; the last then runs.
    REQUIRE(runMainUntil([&] { return exists(app.documents() + "/A"); }, 30));
    app.manager->deleteMovieDownloading(da);
    CHECK(app.badge() == std::optional<std::string>("1"));
    REQUIRE(runMainUntil([&] { return da->isFinished(); }, 30));
    CHECK_FALSE(exists(app.documents() + "/A"));
    REQUIRE(runMainUntil([&] { return app.manager->getListDownloading().empty(); }, 30));
    CHECK_FALSE(app.badge());
    CHECK(readFile(app.documents() + "/C.mp4") == c);
    CHECK(log.count(kRemoveDownloadingMovieNotification) == 2);
    // Nothing is reported for the removed downloads after their removal.
    CHECK(log.sequence({{da, "a"}, {db, "b"}, {dc, "c"}}).back() == "kFinishDownloadMovieNotification c");
    CHECK(log.count(kStopDownloadMovieNotification) == 0);
}

TEST_CASE("records are saved once per five per cent band and not on every chunk") {
    TempHome home;
    App app;
    std::string content = generatedContent(2 * 1024 * 1024, 31);
    LoopbackHttpServer server;
    server.route("GET", "/m.mp4", Reply::text(content, "video/mp4").inPieces(16384));
    int saves = 0;
    auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
        NSManagedObjectContextDidSaveNotification, nullptr, nullptr, [&](const NSNotification&) { ++saves; });
    int updates = 0;
    auto updatesToken = NSNotificationCenter::defaultCenter()->addObserverForName(
        kUpdateStatusDownloadMovieNotification, nullptr, nullptr, [&](const NSNotification&) { ++updates; });

    auto download = app.manager->startDownloadMovies(chapter(server.url("/m.mp4"), "Movie"));
    REQUIRE(server.deliverPieces([&] { return app.manager->getListDownloading().empty(); },
                                 [&] { return std::size_t(updates); }, 60));
    NSNotificationCenter::defaultCenter()->removeObserver(token.get());
    NSNotificationCenter::defaultCenter()->removeObserver(updatesToken.get());
    CHECK(updates >= 10);
    // The record's insertion, at most one save per band (20 bands) and the finish.
    CHECK(saves >= 3);
    CHECK(saves <= 22);
    CHECK(saves < updates);
    (void)download;
}

TEST_CASE("a download of unknown length keeps its percentage and finishes when the transfer ends") {
    TempHome home;
    App app;
    NotificationLog log;
    std::string content = generatedContent(300000, 32);
    LoopbackHttpServer server;
    server.route("GET", "/m.mp4", Reply::text(content, "video/mp4").chunked(16384));
    auto download = app.manager->startDownloadMovies(chapter(server.url("/m.mp4"), "Movie"));
    auto record = app.manager->getMoviesModelByLink(*getDownloadURL(download));
    REQUIRE(record);
    REQUIRE(runMainUntil([&] { return app.manager->getListDownloading().empty(); }, 30));
    CHECK(log.count(kUpdateStatusDownloadMovieNotification) > 0);
    CHECK(record->isDownload());
    CHECK(readFile(app.documents() + "/Movie.mp4") == content);
}

TEST_CASE("titles become safe and distinct file names inside the documents") {
    TempHome home;
    App app;
    LoopbackHttpServer server;
    std::string one = generatedContent(20000, 33), two = generatedContent(20000, 34), three = generatedContent(20000, 35);
    server.route("GET", "/1.mp4", testsupport::serveBytes(one));
    server.route("GET", "/2.mp4", testsupport::serveBytes(two));
    server.route("GET", "/3.mp4", testsupport::serveBytes(three));
    auto d1 = app.manager->startDownloadMovies(chapter(server.url("/1.mp4"), "Chapter 1"));
    auto d2 = app.manager->startDownloadMovies(chapter(server.url("/2.mp4"), "Chapter 1"));
    auto d3 = app.manager->startDownloadMovies(chapter(server.url("/3.mp4"), "../../escape\n"));
    CHECK(d1->fileName() == "Chapter 1");
    CHECK(d2->fileName() == "Chapter 1 (2)");
    CHECK(d3->fileName() == "._._escape_");
    REQUIRE(runMainUntil([&] { return app.manager->getListDownloading().empty(); }, 30));
    CHECK(readFile(app.documents() + "/Chapter 1.mp4") == one);
    CHECK(readFile(app.documents() + "/Chapter 1 (2).mp4") == two);
    CHECK(readFile(app.documents() + "/._._escape_.mp4") == three);
    auto records = app.records("isDownload == %@", {Value(true)});
    REQUIRE(records.size() == 3);
    for (const auto& r : records) {
        CHECK(r->linkLocal().rfind(app.documents() + "/", 0) == 0);
        CHECK(r->linkLocal().find('/', app.documents().size() + 1) == std::string::npos);
        CHECK(exists(r->linkLocal()));
    }
    // A fourth with a finished title already on disk gets the next free name.
    auto d4 = app.manager->startDownloadMovies(chapter(server.url("/1.mp4"), "Chapter 1"));
    CHECK(d4->fileName() == "Chapter 1 (3)");
}

TEST_CASE("a chapter without a loadable link is refused without a record or badge") {
    TempHome home;
    App app;
    CHECK(app.manager->startDownloadMovies(chapter("not a url at all", "X")) == nullptr);
    Value missing = Value::dictionary();
    missing.setObject("title", "X");
    CHECK(app.manager->startDownloadMovies(missing) == nullptr);
    CHECK(app.records().empty());
    CHECK_FALSE(app.badge());
    CHECK(app.manager->getListDownloading().empty());
}

// Run only as the second process of the test below.
TEST_CASE("download child process" * doctest::skip()) {
    const char* url = std::getenv("QUORVANE_DOWNLOAD_CHILD_URL");
    REQUIRE(url);
    App app;
    REQUIRE(app.manager->startDownloadMovies(chapter(url, "Killed Movie")));
    // Downloads until the parent kills this process.
    runMainUntil([] { return false; }, 120);
    FAIL("the parent did not end this process");
}

TEST_CASE("a process killed mid-transfer is resumed by a new one from its record and partial file") {
    TempHome home;
    const std::size_t size = 64u * 1024 * 1024;
    std::string content = generatedContent(size, 36);
    LoopbackHttpServer server;
    auto serve = testsupport::serveBytes(content, testsupport::withETag("\"killed\""));
    server.route("GET", "/movie.mp4", [serve](const RecordedRequest& r) {
        Reply reply = serve(r);
        // The first transfer is held after 12 MiB, so that the parent kills the child mid-way.
        if (!r.headers.has("Range")) reply.stall(12u * 1024 * 1024);
        return reply;
    });

    std::string exe = testsupport::selfExecutable();
    std::vector<std::string> args = {exe, "-tc=download child process", "--no-skip", "--no-version"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("QUORVANE_HOME=", 0) == 0 || entry.rfind("QUORVANE_DOWNLOAD_CHILD_URL=", 0) == 0) continue;
        envStrings.push_back(entry);
    }
    envStrings.push_back("QUORVANE_HOME=" + home.path());
    envStrings.push_back("QUORVANE_DOWNLOAD_CHILD_URL=" + server.url("/movie.mp4"));
    std::vector<char*> envp;
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    pid_t child = -1;
    REQUIRE(::posix_spawn(&child, exe.c_str(), nullptr, nullptr, argv.data(), envp.data()) == 0);

    std::string documents = DownloadManager::documentsDirectory();
    std::string partial = documents + "/Killed Movie";
    int status = 0;
    bool exitedEarly = false;
    bool midway = runMainUntil(
        [&] {
            if (::waitpid(child, &status, WNOHANG) == child) {
                exitedEarly = true;
                return true;
            }
            return fileSize(partial) >= 8u * 1024 * 1024;
        },
        120);
    if (!exitedEarly) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    REQUIRE_FALSE(exitedEarly);
    REQUIRE(midway);
    REQUIRE(WIFSIGNALED(status));
    std::uint64_t left = fileSize(partial);
    CHECK(left < size);
    CHECK(readFile(partial) == content.substr(0, left));

    // A new process: the same home, its store and the partial file.
    App app;
    auto unfinished = app.records("isDownload == %@", {Value(false)});
    REQUIRE(unfinished.size() == 1);
    CHECK(unfinished[0]->title() == "Killed Movie");
    CHECK(unfinished[0]->linkLocal() == partial + ".mp4");
    NotificationLog log;
    app.manager->resumeDownloads();
    REQUIRE(app.manager->getListDownloading().size() == 1);
    CHECK(app.badge() == std::optional<std::string>("1"));
    REQUIRE(runMainUntil([&] { return app.manager->getListDownloading().empty(); }, 120));
    CHECK(server.requests().back().headers.get("Range") == "bytes=" + std::to_string(left) + "-");
    CHECK(sha256OfFile(partial + ".mp4") == sha256(content));
    CHECK_FALSE(exists(partial));
    CHECK(app.records("isDownload == %@", {Value(true)}).size() == 1);
    CHECK_FALSE(app.badge());
    CHECK(log.count(kFinishDownloadMovieNotification) == 1);
}

}  // TEST_SUITE
