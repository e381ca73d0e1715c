// The downloads screen in a tab-bar window with the real download manager, object store and loopback
// servers: the status line, the two tables, the sheets of running downloads and what their choices do.
#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <string>
#include <vector>

#include "ShellTestSupport.h"
#include "LibraryTestApp.h"
#include "core/FDFileDownloaderCustom.h"
#include "networking/DownloadFixtures.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UITabBarController.h"
#include "screens/DownloadViewController.h"
#include "support/LoopbackHttpServer.h"

using downloadtests::generatedContent;
using librarytests::chapter;
using librarytests::LibraryApp;
using testsupport::LoopbackHttpServer;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

const std::string kBullet = "\u2022";

std::string line(const std::string& percent, const std::string& seconds, const std::string& state) {
    return percent + "% " + kBullet + " " + seconds + "s left " + kBullet + " State: " + state;
}

std::shared_ptr<MoviesDownloadModel> recordOf(LibraryApp& app, const std::shared_ptr<FDFileDownloader>& download) {
    auto key = getDownloadURL(download);
    return key ? app.manager()->getMoviesModelByLink(*key) : nullptr;
}

// The status line with its seconds replaced by "N" (the rate moves on its own thread).
std::string withoutSeconds(const std::string& text) {
    return std::regex_replace(text, std::regex(" -?[0-9]+s left "), " Ns left ");
}

}  // namespace

TEST_SUITE("downloads screen") {

TEST_CASE("the status line: the record's percentage or the progress, kept within 0 to 100, the seconds left and the state") {
    LibraryApp app;
    app.showTab(librarytests::kDownloadsTab);
    auto screen = app.downloads();
    REQUIRE(screen);
    LoopbackHttpServer server;
    server.route("GET", "/unknown.mp4", Reply::text(generatedContent(5000, 1), "video/mp4").closeDelimited().stall(2000));
    server.route("GET", "/alpha.mp4", Reply::text(generatedContent(1000000, 2), "video/mp4").stall(456000));
    server.route("GET", "/beta.mp4", Reply::text(generatedContent(100000, 3), "video/mp4").drop(1000));
    server.route("GET", "/gamma.mp4", testsupport::serveBytes(generatedContent(3000, 4)));

    auto unknown = app.manager()->startDownloadMovies(chapter(server.url("/unknown.mp4"), "Unknown"));
    auto alpha = app.manager()->startDownloadMovies(chapter(server.url("/alpha.mp4"), "Alpha"));
    auto beta = app.manager()->startDownloadMovies(chapter(server.url("/beta.mp4"), "Beta"));
    auto gamma = app.manager()->startDownloadMovies(chapter(server.url("/gamma.mp4"), "Gamma"));
    REQUIRE((unknown && alpha && beta && gamma));

    // No length announced: the progress reads -1, shown as 0, and no time can be told.
    REQUIRE_MESSAGE(runMainUntil([&] { return unknown->totalBytesInFile() == 2000; }, 30), "2000 bytes of the first");
    CHECK(screen->subtitleForDownload(unknown) == line("0", "-1", "Downloading"));
    CHECK(screen->subtitleForDownload(alpha) == line("0", "-1", "Ready"));

    app.manager()->deleteMovieDownloading(unknown);
    auto record = recordOf(app, alpha);
    REQUIRE(record);
    REQUIRE_MESSAGE(runMainUntil([&] { return record->percentDownload() > 45.5f; }, 30), "45.6 % of the second");
    CHECK(alpha->totalBytesInFile() == 456000);
    struct Case {
        float recordPercent;
        const char* shown;
    };
    for (const Case& c : std::vector<Case>{{45.6f, "45"}, {0, "45"}, {103.7f, "100"}, {-5, "45"}, {12.9f, "12"}}) {
        CAPTURE(c.recordPercent);
        record->setPercentDownload(c.recordPercent);
        CHECK(withoutSeconds(screen->subtitleForDownload(alpha)) == line(c.shown, "N", "Downloading"));
    }
    record->setPercentDownload(45.6f);

    alpha->cancelDownloadAndRemoveFile(false);
    REQUIRE_MESSAGE(runMainUntil([&] { return beta->state() == FDFileDownloaderStateFailed; }, 30),
                    "the third to fail");
    CHECK(withoutSeconds(screen->subtitleForDownload(alpha)) == line("45", "N", "Cancelled"));
    CHECK(withoutSeconds(screen->subtitleForDownload(beta)) == line("1", "N", "Pause"));
    REQUIRE_MESSAGE(runMainUntil([&] { return gamma->state() == FDFileDownloaderStateDone; }, 30), "the last to finish");
    CHECK(withoutSeconds(screen->subtitleForDownload(gamma)) == line("100", "N", "Done"));
}

TEST_CASE("both tables count the selected segment's list, and switching the segment shows and reloads the other table") {
    LibraryApp app;
    app.showTab(librarytests::kDownloadsTab);
    auto screen = app.downloads();
    LoopbackHttpServer server;
    server.route("GET", "/done.mp4", testsupport::serveBytes(generatedContent(4000, 5)));
    server.route("GET", "/held.mp4", Reply::text(generatedContent(40000, 6), "video/mp4").stall(1000));
    REQUIRE(app.manager()->startDownloadMovies(chapter(server.url("/done.mp4"), "Done One")));
    REQUIRE_MESSAGE(runMainUntil([&] { return screen->moviesDownload().size() == 1; }, 30), "the first to finish");
    REQUIRE(app.manager()->startDownloadMovies(chapter(server.url("/held.mp4?n=1"), "Held One")));
    REQUIRE(app.manager()->startDownloadMovies(chapter(server.url("/held.mp4?n=2"), "Held Two")));
    REQUIRE_MESSAGE(runMainUntil(server.stalledConnections(1), 30), "the second to be held");

    auto segment = screen->actionSegment.lock();
    auto finished = screen->downloadTable.lock();
    auto running = screen->downloadingTable.lock();
    REQUIRE((segment && finished && running));
    CHECK(segment->selectedSegmentIndex() == 0);
    CHECK(segment->frame() == CGRectMake(10, 28, 300, 29));
    // The content ends on the shell's tab bar, which lies over the foot of the screen's view.
    REQUIRE(screen->tabBarController());
    const CGFloat tabBar = screen->tabBarController()->tabBar()->frame().size.height;
    CHECK(tabBar > 0);
    CHECK(screen->contentView.lock()->frame() == CGRectMake(0, 65, 320, screen->view()->bounds().size.height - 65 - tabBar));
    CHECK_FALSE(finished->isHidden());
    CHECK(running->isHidden());
    // With segment 0 selected both tables count the finished downloads.
    CHECK(screen->numberOfRowsInSection(*finished, 0) == 1);
    CHECK(screen->numberOfRowsInSection(*running, 0) == 1);
    CHECK(finished->frame().origin.y == 0);  // lifted into place at load
    CHECK(running->frame().origin.y == 0);
    const CGPoint left = CGPointMake(LibraryApp::centreOf(*segment).x - segment->bounds().size.width / 4,
                                     LibraryApp::centreOf(*segment).y - 8);
    const CGPoint right = CGPointMake(LibraryApp::centreOf(*segment).x + segment->bounds().size.width / 4, left.y);
    CGImageRef image = shelltest::screenSnapshot("downloads-finished.png");
    CHECK(shelltest::near(shelltest::pixelAt(image, left.x, left.y), 0, 122, 255));  // selected: the tint
    CHECK(shelltest::near(shelltest::pixelAt(image, right.x, right.y), 35, 35, 35));
    CHECK(shelltest::near(shelltest::pixelAt(image, 300, 250), 35, 35, 35));  // below the rows

    CHECK(app.tap(CGPointMake(LibraryApp::centreOf(*segment).x + segment->bounds().size.width / 4,
                              LibraryApp::centreOf(*segment).y)));
    CHECK(segment->selectedSegmentIndex() == 1);
    // With segment 1 both count the running ones.
    CHECK(screen->numberOfRowsInSection(*finished, 0) == 2);
    CHECK(screen->numberOfRowsInSection(*running, 0) == 2);
    app.layout();
    CHECK(finished->isHidden());
    CHECK_FALSE(running->isHidden());
    REQUIRE(running->visibleCells().size() == 2);
    auto cell = running->visibleCells().front();
    CHECK(cell->textLabel()->text() == "Held One");
    CHECK(withoutSeconds(cell->detailTextLabel()->text()) == line("2", "N", "Downloading"));
    CHECK(running->visibleCells().back()->detailTextLabel()->text() == line("0", "-1", "Ready"));
    CHECK(cell->textLabel()->font()->pointSize() == 10);
    CHECK(cell->detailTextLabel()->font()->pointSize() == 9);
    CHECK(finished->visibleCells().front()->textLabel()->text() == "Done One");
    image = shelltest::screenSnapshot("downloads-running.png");
    CHECK(shelltest::near(shelltest::pixelAt(image, left.x, left.y), 35, 35, 35));
    CHECK(shelltest::near(shelltest::pixelAt(image, right.x, right.y), 0, 122, 255));
    CHECK(finished->visibleCells().front()->textLabel()->font()->pointSize() == 15);
}

TEST_CASE("a running download offers Remove, and Resume only once it has stopped, one sheet at a time") {
    LibraryApp app;
    app.showTab(librarytests::kDownloadsTab);
    auto screen = app.downloads();
    LoopbackHttpServer server;
    const std::string content = generatedContent(300000, 7);
    auto first = std::make_shared<std::atomic<bool>>(true);
    auto serve = testsupport::serveBytes(content, testsupport::withETag("\"broken\""));
    server.route("GET", "/broken.mp4", [serve, first](const testsupport::RecordedRequest& request) {
        Reply reply = serve(request);
        if (first->exchange(false)) reply.drop(120000);
        return reply;
    });
    server.route("GET", "/held.mp4", Reply::text(generatedContent(40000, 8), "video/mp4").stall(1000));
    auto broken = app.manager()->startDownloadMovies(chapter(server.url("/broken.mp4"), "Broken"));
    auto held = app.manager()->startDownloadMovies(chapter(server.url("/held.mp4"), "Held"));
    REQUIRE_MESSAGE(runMainUntil(server.stalledConnections(1), 30), "the first to fail and the second to be held");
    auto segment = screen->actionSegment.lock();
    segment->setSelectedSegmentIndex(1);
    screen->changeValue(*segment);
    app.layout();
    auto running = screen->downloadingTable.lock();
    REQUIRE(running->visibleCells().size() == 2);
    CHECK(withoutSeconds(running->visibleCells()[0]->detailTextLabel()->text()) == line("40", "N", "Pause"));

    // Downloading: remove only.
    CHECK(app.tap(LibraryApp::centreOf(*running->visibleCells()[1])));
    REQUIRE(screen->dialog());
    CHECK(screen->dialog()->tag() == kDownloadRunningSheetTag);
    CHECK(screen->dialog()->title() == "Do you want to remove the downloading this movie?");
    CHECK(screen->dialog()->numberOfButtons() == 2);
    CHECK(screen->dialog()->buttonTitleAtIndex(0) == "Remove");
    CHECK(screen->dialog()->buttonTitleAtIndex(1) == "Cancel");
    // A second tap while the sheet is open shows nothing more.
    auto sheet = screen->dialog();
    (void)app.tap(LibraryApp::centreOf(*running->visibleCells()[0]));
    screen->didSelectRowAtIndexPath(*running, NSIndexPath::indexPathForRow(0, 0));
    CHECK(screen->dialog() == sheet);
    CHECK(UIActionSheet::visibleSheets().size() == 1);
    CHECK(UIActionSheet::pressButton("Cancel"));
    CHECK_FALSE(screen->dialog());

    // Failed ("Pause"): remove or resume; resuming continues the partial file.
    CHECK(app.tap(LibraryApp::centreOf(*running->visibleCells()[0])));
    REQUIRE(screen->dialog());
    CHECK(screen->dialog()->title() == "Do you want to remove or resume the downloading this movie?");
    CHECK(screen->dialog()->buttonTitleAtIndex(1) == "Resume");
    CGImageRef image = shelltest::screenSnapshot("downloads-sheet-running.png");
    CHECK(shelltest::near(shelltest::pixelAt(image, 160, 100), 0, 0, 0, 40));  // the screen dimmed behind the sheet
    const CGPixel light = shelltest::pixelAt(image, 30, 440);                  // the sheet's light buttons
    CHECK((light.r > 230 && light.g > 230 && light.b > 230));
    CHECK(UIActionSheet::pressButton("Resume"));
    CHECK_FALSE(screen->dialog());
    server.releaseStalls();
    REQUIRE_MESSAGE(runMainUntil([&] { return app.manager()->getListDownloading().empty(); }, 30),
                    "both downloads to finish");
    CHECK(downloadtests::readFile(app.documents() + "/Broken.mp4") == content);
    auto requests = server.requests();
    CHECK(std::any_of(requests.begin(), requests.end(), [](const auto& r) {
        return r.path() == "/broken.mp4" && r.headers.get("Range") == "bytes=120000-";
    }));
    CHECK(screen->moviesDownload().size() == 2);
    (void)held;
    (void)broken;
}

TEST_CASE("Remove and Resume are carried out half a second later even when the screen has gone") {
    auto app = std::make_unique<LibraryApp>();
    app->showTab(librarytests::kDownloadsTab);
    LoopbackHttpServer server;
    server.route("GET", "/held.mp4", Reply::text(generatedContent(40000, 9), "video/mp4").stall(1000));
    auto held = app->manager()->startDownloadMovies(chapter(server.url("/held.mp4"), "Held"));
    REQUIRE_MESSAGE(runMainUntil(server.stalledConnections(1), 30), "the download to be held");
    std::weak_ptr<DownloadViewController> weak;
    {
        auto screen = app->downloads();
        weak = screen;
        auto running = screen->downloadingTable.lock();
        screen->didSelectRowAtIndexPath(*running, NSIndexPath::indexPathForRow(0, 0));
        REQUIRE(screen->dialog());
        CHECK(UIActionSheet::pressButton("Remove"));
    }
    // The downloads tab is replaced: the screen goes before the half second is over.
    app->navigations[librarytests::kDownloadsTab]->setViewControllers({std::make_shared<UIViewController>()});
    REQUIRE_MESSAGE(runMainUntil([&] { return weak.expired(); }, 5), "the screen to go");
    CHECK(app->manager()->getListDownloading().size() == 1);
    REQUIRE_MESSAGE(runMainUntil([&] { return app->manager()->getListDownloading().empty(); }, 5),
                    "the removal to be carried out");
    CHECK(app->records().empty());
    CHECK_FALSE(app->downloadsBadge());
    CHECK(runMainUntil([&] { return held->state() == FDFileDownloaderStateCancelled; }, 5));
}

}  // TEST_SUITE
