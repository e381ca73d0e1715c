// The finished downloads of the downloads screen: playback of the record's own file in the screen's player,
// removal by long press with its sheet, a store that refuses the removal, and files outside the documents.
#include <doctest/doctest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "ShellTestSupport.h"
#include "LibraryTestApp.h"
#include "networking/DownloadFixtures.h"
#include "platform/coredata/NSEntityDescription.h"
#include "platform/media/MPMoviePlayerViewController.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UILongPressGestureRecognizer.h"
#include "screens/DownloadViewController.h"
#include "support/LoopbackHttpServer.h"

using downloadtests::generatedContent;
using downloadtests::readFile;
using downloadtests::writeFile;
using librarytests::chapter;
using librarytests::LibraryApp;
using testsupport::LoopbackHttpServer;
using testsupport::runMainUntil;

namespace {

namespace fs = std::filesystem;

// A finished record as the download manager leaves it; linkLocal "" leaves it unset.
std::shared_ptr<MoviesDownloadModel> storeFinished(LibraryApp& app, const std::string& title,
                                                   const std::string& linkLocal) {
    auto context = app.delegate->managedObjectContext();
    auto record = std::dynamic_pointer_cast<MoviesDownloadModel>(
        NSEntityDescription::insertNewObjectForEntityForName("MoviesDownloadModel", context));
    REQUIRE(record);
    record->setTitle(title);
    record->setLinkUrl("http://127.0.0.1:9/" + title);
    record->setPercentDownload(100);
    record->setIsDownload(true);
    if (!linkLocal.empty()) record->setLinkLocal(linkLocal);
    REQUIRE(context->save(nullptr));
    return record;
}

// The downloads tab shown with the finished list current.
std::shared_ptr<DownloadViewController> showFinished(LibraryApp& app) {
    app.showTab(librarytests::kDownloadsTab);
    auto screen = app.downloads();
    REQUIRE(screen);
    screen->refreshMoviesDownloads();
    app.layout();
    return screen;
}

std::shared_ptr<UITableViewCell> finishedRow(DownloadViewController& screen, long row) {
    auto cell = screen.downloadTable.lock()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0));
    REQUIRE_MESSAGE(cell, "row " << row << " of the finished downloads is not on screen");
    return cell;
}

std::shared_ptr<UILongPressGestureRecognizer> pressRecognizer(const UITableViewCell& cell) {
    REQUIRE(cell.gestureRecognizers().size() == 1);
    auto press = std::dynamic_pointer_cast<UILongPressGestureRecognizer>(cell.gestureRecognizers().back());
    REQUIRE(press);
    return press;
}

}  // namespace

TEST_SUITE("downloads screen") {

TEST_CASE("two downloads of one title: a long press removes one record and its own file, the other file stays") {
    LibraryApp app;
    LoopbackHttpServer server;
    const std::string first = generatedContent(5000, 11), second = generatedContent(7000, 12);
    server.route("GET", "/1.mp4", testsupport::serveBytes(first));
    server.route("GET", "/2.mp4", testsupport::serveBytes(second));
    REQUIRE(app.manager()->startDownloadMovies(chapter(server.url("/1.mp4"), "Twin")));
    REQUIRE(app.manager()->startDownloadMovies(chapter(server.url("/2.mp4"), "Twin")));
    REQUIRE_MESSAGE(runMainUntil([&] { return app.manager()->getListDownloading().empty(); }, 30), "both downloads");
    const std::string twin = app.documents() + "/Twin.mp4", twin2 = app.documents() + "/Twin (2).mp4";
    REQUIRE(readFile(twin) == first);
    REQUIRE(readFile(twin2) == second);

    auto screen = showFinished(app);
    REQUIRE(screen->moviesDownload().size() == 2);
    auto cell = finishedRow(*screen, 1);
    CHECK(cell->textLabel()->text() == "Twin");
    CHECK(pressRecognizer(*cell)->minimumPressDuration() == doctest::Approx(1.2));
    CHECK(app.press(LibraryApp::centreOf(*cell), 1.5));
    REQUIRE(screen->dialog());
    CHECK(screen->dialog()->tag() == kDownloadFinishedSheetTag);
    CHECK(screen->dialog()->title() == "Do you want to remove this movie?");
    CHECK(screen->dialog()->buttonTitleAtIndex(0) == "Remove");
    CHECK(screen->dialog()->buttonTitleAtIndex(1) == "Cancel");
    CHECK_FALSE(screen->moviePlayer());  // the press did not also play the row
    CHECK(UIActionSheet::pressButton("Remove"));
    CHECK_FALSE(screen->dialog());

    CHECK(screen->moviesDownload().size() == 1);
    CHECK_FALSE(fs::exists(twin2));
    CHECK(readFile(twin) == first);
    auto left = app.records();
    REQUIRE(left.size() == 1);
    CHECK(left[0]->linkLocal() == twin);
}

TEST_CASE("two finished downloads of the same chapter are both listed on the tablet, each with its own file") {
    LibraryApp app(true);
    LoopbackHttpServer server;
    const std::string content = generatedContent(6000, 14);
    server.route("GET", "/episode.mp4", testsupport::serveBytes(content));
    // Queued back to back: both are listed while the first runs.
    REQUIRE(app.manager()->startDownloadMovies(chapter(server.url("/episode.mp4"), "Episode")));
    REQUIRE(app.manager()->startDownloadMovies(chapter(server.url("/episode.mp4"), "Episode")));
    REQUIRE_MESSAGE(runMainUntil([&] { return app.manager()->getListDownloading().empty(); }, 30), "both downloads");
    const std::string one = app.documents() + "/Episode.mp4", two = app.documents() + "/Episode (2).mp4";
    REQUIRE(readFile(one) == content);
    REQUIRE(readFile(two) == content);

    auto screen = showFinished(app);
    REQUIRE(screen->moviesDownload().size() == 2);
    CHECK(finishedRow(*screen, 0)->textLabel()->text() == "Episode");
    CHECK(finishedRow(*screen, 1)->textLabel()->text() == "Episode");
    std::vector<std::string> files;
    for (const auto& record : screen->moviesDownload()) files.push_back(record->linkLocal());
    std::sort(files.begin(), files.end());
    CHECK(files == std::vector<std::string>{two, one});
    CHECK(app.records("isDownload == %@", {Value(false)}).empty());
}

TEST_CASE("a store that refuses the removal: the exact alert, and the record and its file stay") {
    LibraryApp app;
    const std::string file = app.documents() + "/Kept.mp4";
    writeFile(file, "movie bytes");
    auto record = storeFinished(app, "Kept", file);
    auto screen = showFinished(app);
    REQUIRE(screen->moviesDownload().size() == 1);
    // The store file goes away under the open store: every later save fails.
    REQUIRE(fs::remove(fs::path(app.documents()) / "Quorvane.sqlite"));

    CHECK(app.press(LibraryApp::centreOf(*finishedRow(*screen, 0)), 1.5));
    CHECK(UIActionSheet::pressButton("Remove"));
    auto alerts = UIAlertView::visibleAlerts();
    REQUIRE(alerts.size() == 1);
    CHECK(alerts[0]->title() == "Alert");
    CHECK(alerts[0]->message() == "Failed to remove this movie. Please retry again.");
    CHECK(alerts[0]->numberOfButtons() == 1);
    CHECK(alerts[0]->buttonTitleAtIndex(0) == "OK");
    CHECK(UIAlertView::pressButton("OK"));

    CHECK(screen->moviesDownload().size() == 1);
    CHECK(readFile(file) == "movie bytes");
    // Nothing of the removal is left pending for a later save.
    CHECK_FALSE(record->isDeleted());
    CHECK(app.delegate->managedObjectContext()->deletedObjects().empty());
    CHECK(record->managedObjectContext() == app.delegate->managedObjectContext());
}

TEST_CASE("a long press acts once, as it begins, and only on a cell still in the table") {
    LibraryApp app;
    for (const char* title : {"One", "Two"}) storeFinished(app, title, "");
    auto screen = showFinished(app);
    auto old = finishedRow(*screen, 0);
    auto oldPress = pressRecognizer(*old);

    for (auto state : {UIGestureRecognizerStateChanged, UIGestureRecognizerStateEnded}) {
        oldPress->fireWithState(state, LibraryApp::centreOf(*old));
        CHECK_FALSE(screen->dialog());
    }
    // Reloading takes the cell out of the table (a new cell shows the row).
    screen->downloadTable.lock()->reloadData();
    app.layout();
    REQUIRE(finishedRow(*screen, 0) != old);
    oldPress->fireWithState(UIGestureRecognizerStateBegan, LibraryApp::centreOf(*old));
    CHECK_FALSE(screen->dialog());

    auto current = finishedRow(*screen, 1);
    pressRecognizer(*current)->fireWithState(UIGestureRecognizerStateBegan, LibraryApp::centreOf(*current));
    REQUIRE(screen->dialog());
    CHECK(UIActionSheet::pressButton("Remove"));
    auto left = app.records();
    REQUIRE(left.size() == 1);
    CHECK(left[0]->title() == "One");
}

TEST_CASE("a finished download plays its own file in the screen's player, which the screen dismisses once") {
    LibraryApp app;
    const std::string file = app.documents() + "/Feature (2).mp4";
    writeFile(file, generatedContent(64 * 1024, 13));
    storeFinished(app, "Feature", file);
    auto screen = showFinished(app);
    auto center = NSNotificationCenter::defaultCenter();
    CHECK(center->observerCount(kUpdateStatusDownloadMovieNotification) == 1);

    CHECK(app.tap(LibraryApp::centreOf(*finishedRow(*screen, 0))));
    auto player = screen->moviePlayer();
    REQUIRE(player);
    CHECK(screen->presentedViewController() == player);
    CHECK(player->moviePlayer()->contentURL() == NSURL::fileURLWithPath(file, false)->absoluteString());
    CHECK(player->moviePlayer()->movieSourceType() == MPMovieSourceTypeFile);
    REQUIRE_MESSAGE(runMainUntil([&] { return player->moviePlayer()->playbackState() == MPMoviePlaybackStatePlaying; }, 10),
                    "the file to play");
    // The player's own dismissal is off: the screen closes it; the download notifications wait while it is up.
    CHECK_FALSE(player->dismissesItselfWhenPlaybackFinishes());
    CHECK(player->moviePlayer()->allowsAirPlay());
    CHECK(center->observerCount(kUpdateStatusDownloadMovieNotification) == 0);
    app.layout();
    CGImageRef image = shelltest::screenSnapshot("downloads-offline-player.png");
    CHECK(shelltest::near(shelltest::pixelAt(image, 160, 400), 0, 0, 0));

    player->moviePlayer()->userExit();
    REQUIRE_MESSAGE(runMainUntil([&] { return !screen->presentedViewController() && !player->isBeingDismissed(); }, 10),
                    "the player to be dismissed");
    CHECK_FALSE(screen->moviePlayer());
    CHECK(center->observerCount(kUpdateStatusDownloadMovieNotification) == 1);
}

TEST_CASE("a record without a file name falls back to the title's, and a path outside the documents is left alone") {
    LibraryApp app;
    const std::string outside = app.home.path() + "/outside.mp4";
    writeFile(outside, "not ours");
    const std::string link = app.documents() + "/Linked.mp4";
    REQUIRE(::symlink(outside.c_str(), link.c_str()) == 0);
    const std::string fallback = app.documents() + "/Plain.mp4";
    writeFile(fallback, "plain");

    auto plain = storeFinished(app, "Plain", "");
    auto escaped = storeFinished(app, "Escaped", app.documents() + "/../outside.mp4");
    auto linked = storeFinished(app, "Linked", link);
    CHECK(DownloadViewController::finishedFilePath(*plain) == fallback);
    CHECK_FALSE(DownloadViewController::finishedFilePath(*escaped));
    CHECK_FALSE(DownloadViewController::finishedFilePath(*linked));
    auto unsafe = storeFinished(app, "../../outside", "");
    CHECK(DownloadViewController::finishedFilePath(*unsafe) == app.documents() + "/._._outside.mp4");

    auto screen = showFinished(app);
    REQUIRE(screen->moviesDownload().size() == 4);
    for (const char* title : {"Escaped", "Linked"}) {
        CAPTURE(title);
        auto cell = finishedRow(*screen, 1);  // each removal moves the next one up
        REQUIRE(cell->textLabel()->text() == title);
        CHECK(app.tap(LibraryApp::centreOf(*cell)));
        CHECK_FALSE(screen->moviePlayer());
        pressRecognizer(*cell)->fireWithState(UIGestureRecognizerStateBegan, CGPointZero);
        CHECK(UIActionSheet::pressButton("Remove"));
        app.layout();
    }
    CHECK(readFile(outside) == "not ours");
    CHECK(app.records().size() == 2);  // the records went, the file they named stayed

    CHECK(app.tap(LibraryApp::centreOf(*finishedRow(*screen, 0))));
    REQUIRE(screen->moviePlayer());
    CHECK(screen->moviePlayer()->moviePlayer()->contentURL() == NSURL::fileURLWithPath(fallback, false)->absoluteString());
}

}  // TEST_SUITE
