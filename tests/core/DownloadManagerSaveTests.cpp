// The download manager when the object store refuses its saves: every failed save
// is logged, the downloads go on, and a download finalised without its record saved
// keeps its badge.
#include <doctest/doctest.h>

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "DownloadTestApp.h"
#include "core/DownloadManager.h"
#include "networking/DownloadFixtures.h"
#include "platform/coredata/NSEntityDescription.h"
#include "platform/foundation/NSLog.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using coretest::App;
using coretest::chapter;
using coretest::NotificationLog;
using downloadtests::generatedContent;
using downloadtests::readFile;
using downloadtests::writePartial;
using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;
using testsupport::TempHome;

namespace {

// Counts the log lines of failed record saves, from whichever thread logs.
class SaveFailureLog {
public:
    SaveFailureLog() {
        setLogHook([this](const std::string& line) {
            if (line.rfind("The download record could not be saved", 0) != 0) return;
            std::lock_guard lock(mutex_);
            ++count_;
        });
    }
    ~SaveFailureLog() { setLogHook(nullptr); }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    mutable std::mutex mutex_;
    std::size_t count_ = 0;
};

// The store file goes away under the open store: reads still work, every save fails.
void loseStore(const App& app) {
    REQUIRE(std::filesystem::remove(std::filesystem::path(app.documents()) / "Quorvane.sqlite"));
}

std::shared_ptr<MoviesDownloadModel> recordOf(const App& app, const std::shared_ptr<FDFileDownloader>& download) {
    auto key = getDownloadURL(download);
    return key ? app.manager->getMoviesModelByLink(*key) : nullptr;
}

// One road through the manager: `before` runs with a working store, `act` after the
// store is lost and must log a failed save; `after` checks that the download went on.
struct Road {
    const char* name;
    std::function<void(App&, LoopbackHttpServer&)> before;
    std::function<void(App&, LoopbackHttpServer&)> act;
    std::function<void(App&, LoopbackHttpServer&, const NotificationLog&)> after;
};

const std::string kContent = generatedContent(2000000, 41);

std::vector<Road> roads() {
    return {
        {"a progress save, then the finalising save",
         [](App& app, LoopbackHttpServer& server) {
             server.route("GET", "/m.mp4", Reply::text(kContent, "video/mp4").stall(1200000));  // 60 %
             REQUIRE(app.manager->startDownloadMovies(chapter(server.url("/m.mp4"), "Movie")));
         },
         [](App& app, LoopbackHttpServer&) {
             auto download = app.manager->getListDownloading().front();
             REQUIRE(runMainUntil([&] { return recordOf(app, download)->percentDownload() >= 59.0f; }, 30));
         },
         [](App& app, LoopbackHttpServer& server, const NotificationLog& log) {
             server.releaseStalls();
             REQUIRE(runMainUntil([&] { return app.manager->getListDownloading().empty(); }, 30));
             CHECK(readFile(app.documents() + "/Movie.mp4") == kContent);
             CHECK(log.count(kFinishDownloadMovieNotification) == 1);
             // The stored record still says unfinished, so the badge still counts it.
             CHECK(app.badge() == std::optional<std::string>("1"));
         }},
        {"removing a download",
         [](App& app, LoopbackHttpServer& server) {
             server.route("GET", "/m.mp4", Reply::text(kContent, "video/mp4").stall(1000));
             REQUIRE(app.manager->startDownloadMovies(chapter(server.url("/m.mp4"), "Movie")));
             REQUIRE(runMainUntil(server.stalledConnections(1), 30));
         },
         [](App& app, LoopbackHttpServer&) {
             app.manager->deleteMovieDownloading(app.manager->getListDownloading().front());
         },
         [](App& app, LoopbackHttpServer&, const NotificationLog& log) {
             CHECK(app.manager->getListDownloading().empty());
             CHECK_FALSE(app.badge());
             CHECK(log.count(kRemoveDownloadingMovieNotification) == 1);
         }},
        {"resuming a broken download",
         [](App& app, LoopbackHttpServer& server) {
             auto first = std::make_shared<std::atomic<bool>>(true);
             auto serve = testsupport::serveBytes(kContent, testsupport::withETag("\"m\""));
             server.route("GET", "/m.mp4", [first, serve](const RecordedRequest& r) {
                 Reply reply = serve(r);
                 if (first->exchange(false)) reply.drop(700000);
                 return reply;
             });
             auto download = app.manager->startDownloadMovies(chapter(server.url("/m.mp4"), "Movie"));
             REQUIRE(runMainUntil([&] { return download->isFinished(); }, 30));
         },
         [](App& app, LoopbackHttpServer&) {
             REQUIRE(app.manager->resumeMovieDownloading(app.manager->getListDownloading().front()));
         },
         [](App& app, LoopbackHttpServer& server, const NotificationLog&) {
             REQUIRE(runMainUntil([&] { return app.manager->getListDownloading().empty(); }, 30));
             CHECK(server.requests().back().headers.get("Range") == "bytes=700000-");
             CHECK(readFile(app.documents() + "/Movie.mp4") == kContent);
             CHECK(app.badge() == std::optional<std::string>("1"));
         }},
        {"resuming the unfinished downloads of a previous run",
         [](App& app, LoopbackHttpServer& server) {
             server.route("GET", "/m.mp4", testsupport::serveBytes(kContent, testsupport::withETag("\"m\"")));
             auto context = app.delegate->managedObjectContext();
             auto record = std::dynamic_pointer_cast<MoviesDownloadModel>(
                 NSEntityDescription::insertNewObjectForEntityForName("MoviesDownloadModel", context));
             REQUIRE(record);
             record->setTitle("Movie");
             record->setLinkUrl(server.url("/m.mp4"));
             record->setLinkLocal(app.documents() + "/Movie.mp4");
             record->setIsDownload(false);
             REQUIRE(context->save(nullptr));
             writePartial(app.documents() + "/Movie", kContent.substr(0, 500000), server.url("/m.mp4"), "\"m\"");
         },
         [](App& app, LoopbackHttpServer&) {
             app.manager->resumeDownloads();
             REQUIRE(app.manager->getListDownloading().size() == 1);
         },
         [](App& app, LoopbackHttpServer& server, const NotificationLog&) {
             REQUIRE(runMainUntil([&] { return app.manager->getListDownloading().empty(); }, 30));
             CHECK(server.requests().back().headers.get("Range") == "bytes=500000-");
             CHECK(readFile(app.documents() + "/Movie.mp4") == kContent);
             CHECK(app.badge() == std::optional<std::string>("1"));
         }},
    };
}

}  // namespace

TEST_CASE("every failed save of a download record is logged and the download goes on") {
    for (const auto& road : roads()) {
        std::string name = road.name;
        CAPTURE(name);
        TempHome home;
        App app;
        LoopbackHttpServer server;
        SaveFailureLog failures;
        road.before(app, server);
        loseStore(app);
        CHECK(failures.count() == 0);
        NotificationLog log;
        road.act(app, server);
        CHECK(failures.count() >= 1);
        road.after(app, server, log);
    }
}
