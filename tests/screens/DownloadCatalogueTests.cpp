// A stream from the catalogue server downloaded as the detail page hands it over, dropped part way by the
// server's control endpoint: the downloads screen shows it stopped, offers Resume, and the resumed file holds
// the server's bytes.
#include <doctest/doctest.h>

#include <functional>
#include <regex>
#include <string>

#include <nlohmann/json.hpp>

#include "DetailTestApp.h"
#include "LibraryTestApp.h"
#include "core/NLRestClient.h"
#include "networking/DownloadFixtures.h"
#include "platform/display/DeviceTree.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIActionSheet.h"
#include "screens/DownloadViewController.h"
#include "support/HttpFetch.h"

using librarytests::LibraryApp;
using testsupport::runMainUntil;
using Json = nlohmann::json;

namespace {

// The first stream of the first popular movie's first chapter, asked through the application's own client.
struct FirstStream {
    std::string title;  // the chapter's
    std::string link;   // as the catalogue sends it (escaped)
};

FirstStream firstStream(const std::string& baseURL) {
    auto client = NLRestClient::sharedClient();
    client->setBaseURL(baseURL);
    const Value list = screentest::fetchThroughClient(
        [&](auto ok, auto fail) { client->getListMoviesWithType("popular", 0, 1, ok, fail); }, "the first page");
    const auto id = static_cast<std::int32_t>(list["films"][0]["id"].intValue());
    const Value detail = screentest::fetchThroughClient(
        [&](auto ok, auto fail) { client->getDetailMovies(id, ok, fail); }, "the first title's detail");
    const Value chapter = detail["chapters"][0];
    const Value streams = screentest::fetchThroughClient(
        [&](auto ok, auto fail) {
            client->getListStreamOfChapter(static_cast<std::int32_t>(chapter["id"].intValue()), ok, fail);
        },
        "the first chapter's streams");
    return {chapter["title"].stringValue(), streams[0]["link"].stringValue()};
}

// The detail of the tab button with the title in the device screen's tree.
std::string tabBadge(const std::string& title) {
    std::string found = "(no such tab)";
    const std::function<void(const Json&)> visit = [&](const Json& view) {
        if (view.value("class", "") == "UITabBarButton" && view.value("label", "") == title)
            found = view.value("detail", "");
        for (const auto& child : view.value("children", Json::array())) visit(child);
    };
    const Json tree = DeviceTree::describe();
    for (const auto& view : tree["views"]) visit(view);
    return found;
}

}  // namespace

TEST_SUITE("downloads screen") {

TEST_CASE("a stream dropped part way shows Pause, offers Resume, and resumes to the server's bytes") {
    LibraryApp app;
    screentest::Catalogue catalogue({"--media-size", "600000"});
    const FirstStream stream = firstStream(catalogue.baseURL());
    const std::string url = stringByReplacingPercentEscapes(stream.link).value_or("");
    const std::string file = url.substr(url.rfind('/') + 1);
    REQUIRE(catalogue.order("media-drop", {{"file", file}, {"at", 250000}}) == 200);

    app.showTab(librarytests::kDownloadsTab);
    auto screen = app.downloads();
    auto segment = screen->actionSegment.lock();
    segment->setSelectedSegmentIndex(1);
    screen->changeValue(*segment);
    auto download = app.manager()->startDownloadMovies(librarytests::chapter(url, stream.title));
    REQUIRE(download);
    CHECK(app.downloadsBadge() == std::optional<std::string>("1"));
    CHECK(tabBadge("Downloads") == "1");  // as the device screen's tree tells it
    app.layout();
    auto running = screen->downloadingTable.lock();
    REQUIRE(running->visibleCells().size() == 1);
    auto row = running->visibleCells().front();
    REQUIRE_MESSAGE(runMainUntil([&] { return row->detailTextLabel()->text().find("Pause") != std::string::npos; }, 30),
                    "the row to show the dropped download stopped");
    CHECK(download->state() == FDFileDownloaderStateFailed);
    CHECK(row->textLabel()->text() == stream.title);
    const std::string served = testtools::httpGet(url).body;
    REQUIRE(served.size() > 250000);
    const std::string percent = std::to_string(250000 * 100 / served.size());
    CAPTURE(row->detailTextLabel()->text());
    CHECK(std::regex_match(row->detailTextLabel()->text(),
                           std::regex(percent + "% \u2022 -?[0-9]+s left \u2022 State: Pause")));

    CHECK(app.tap(LibraryApp::centreOf(*row)));
    REQUIRE(screen->dialog());
    CHECK(screen->dialog()->buttonTitleAtIndex(1) == "Resume");
    CHECK(UIActionSheet::pressButton("Resume"));
    REQUIRE_MESSAGE(runMainUntil([&] { return app.manager()->getListDownloading().empty(); }, 30),
                    "the resumed download to finish");
    CHECK_FALSE(app.downloadsBadge());
    CHECK(tabBadge("Downloads").empty());
    REQUIRE(screen->moviesDownload().size() == 1);
    const std::string local = screen->moviesDownload().front()->linkLocal();
    CHECK(local == app.documents() + "/" + FDFileDownloader::safeFileName(stream.title) + ".mp4");
    CHECK(downloadtests::sha256OfFile(local) == downloadtests::sha256(served));

    const Json log = catalogue.mediaLog();
    REQUIRE(log.size() == 3);  // the dropped one, the test's own, the resumed one
    CHECK(log[0]["range"].is_null());
    CHECK(log[2]["range"] == "bytes=250000-");
}

}  // TEST_SUITE
